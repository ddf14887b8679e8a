// The main window's commands and its key interpreter. Every typed key of either window, every
// KEY of a script and every menu item ends here; the work itself is done by the display, the
// solve control, the map commands and the scripts.
#pragma once

#include <span>
#include <string>

#include "program/program_state.h"

namespace zolva {

struct Context;

// Special keys reach the interpreter as 0xF000 plus their virtual key code.
inline constexpr int kSpecialKeyBase = 0xF000;
enum CommandKeyCode : int {
  KeyEnter = 13,
  KeyPageUp = 0xF021,
  KeyPageDown = 0xF022,
  KeyEnd = 0xF023,
  KeyHome = 0xF024,
  KeyLeft = 0xF025,
  KeyUp = 0xF026,
  KeyRight = 0xF027,
  KeyDown = 0xF028,
  KeyInsert = 0xF02D,
  KeyDelete = 0xF02E,
  KeyF1 = 0xF070,
  KeyF2 = 0xF071,
  KeyF4 = 0xF073,
  KeyF5 = 0xF074,
  KeyF6 = 0xF075,
  KeyF8 = 0xF077,
};

// The interpreter's state between keys.
struct KeyState {
  char16_t commandKey = 0;     // the key being interpreted
  char16_t keyPrefix = u' ';   // pending prefix of a two-key command; blank when none
  char16_t lastPrefix = u' ';  // prefix of the last completed two-key command
  bool unknownKey = false;     // the last command was not recognised
};

inline constexpr const char* kOpenDialogFilter =
    "Usermaps|Usermap*.bmp;Usermap*.png;Usermap*.dib;Usermap*.tif;Usermap*.tiff|all "
    "maps|*.bmp;*.dib;"
    "*.png;*.tif;*.tiff|all files|*.*";
inline constexpr const char* kAboutText = "zolva version 1.04";
// Relative to the program folder, in the build as in the installed layout.
inline constexpr const char* kManualPath = "docs/manual.html";
inline constexpr const char* kDemonstrationFolder = "maps/";
inline constexpr int kClickToneHz = 130;
inline constexpr int kClickToneMs = 600;

// A command of one key (or of its second key, alias, when not 0): its one-line help and its work.
struct KeyCommand {
  char16_t key;
  char16_t alias;
  const char* help;
  void (*run)(Context&);
};
// The one-key commands, in the order of the manual's table. A key that is none of them and no
// prefix of a two-key command is unknown.
std::span<const KeyCommand> OneKeyCommands();

// Interprets ctx.keys.commandKey: a one-key command, a prefix, or the second key of a two-key
// command.
void InterpretKey(Context& ctx);
// Types one key: interprets it and beeps once when it was not recognised (not after a prefix).
void HandleCommandKey(Context& ctx, int key);
// Makes the main window's key hook reach HandleCommandKey.
void InstallCommandHooks(Context& ctx);

// File menu.
void NewGeometry(Context& ctx, GeometryKind kind);
// The open dialog through the platform; a cancel beeps and changes nothing. Returns whether a
// map was loaded.
bool OpenUsermap(Context& ctx);
// Help menu.
void ShowManual(Context& ctx);
void ShowAbout(Context& ctx);

// File name of the demonstration Usermap of a capital letter; empty when the letter has none.
std::string DemonstrationMapName(char16_t letter);
// Loads the demonstration Usermap from the maps folder beside the program; a missing file is
// named in a message and changes nothing.
bool LoadDemonstrationMap(Context& ctx, char16_t letter);

// The short sound after a switch toggle, once the program has started.
void PlayClickSound(Context& ctx);

}  // namespace zolva
