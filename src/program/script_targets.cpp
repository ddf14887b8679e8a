// The targets of the script commands that reach other subsystems. JMA and the key state are not
// part of this build yet: the commands say so in the status line and the script goes on. KEY
// already reaches a command interpreter when a front end has installed one.
#include "program/script_targets.h"

#include "program/bitmap_export.h"
#include "program/context.h"
#include "program/reporting.h"

namespace zolva {

bool SaveDisplayedBitmapForScript(Context& ctx) {
  return SaveDisplayedBitmap(ctx, false);
}

void TypeCommandKey(Context& ctx, int key) {
  if (ctx.state.HandleCommandKeyHook) {
    ctx.state.HandleCommandKeyHook(key);
  } else {
    ShowStatus(ctx, "KEY: no command interpreter in this build.");
  }
}

bool WriteCurrentsFileForScript(Context& ctx) {
  ShowStatus(ctx, "JMA: writing the current table is not available in this build.");
  return false;
}

void ClearPendingKeyPrefix(Context& ctx) {
  (void)ctx;
}

void ReleaseScriptPrefix(Context& ctx) {
  (void)ctx;
}

}  // namespace zolva
