// Work that script commands hand to other subsystems: the picture export, the command keys and
// the current table. Each entry point is the one place a command reaches that work through, so
// that the script language does not change when the work behind it does.
#pragma once

namespace zolva {

struct Context;

// SAV: saves the displayed field picture without the save dialog. Returns false when the picture
// could not be saved (a status text says why); the script goes on.
bool SaveDisplayedBitmapForScript(Context& ctx);

// KEY: hands one character to the main window's command interpreter as if it had been typed.
void TypeCommandKey(Context& ctx, int key);

// JMA: writes the run's current table " currents.txt" of the last L and Rs solve. Returns false
// when it could not be written (a status text says why); the script goes on.
bool WriteCurrentsFileForScript(Context& ctx);

// Key state of the command interpreter around a script: a script starts without a pending prefix
// of a two-key command, and a "*" left as the last prefix is blanked at its end.
void ClearPendingKeyPrefix(Context& ctx);
void ReleaseScriptPrefix(Context& ctx);

}  // namespace zolva
