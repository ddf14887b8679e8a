// The targets of the script commands that reach other subsystems: the picture export, the main
// window's key interpreter and the current table of the L and Rs solve.
#include "program/script_targets.h"

#include "lsolver/lsolver.h"
#include "program/bitmap_export.h"
#include "program/commands.h"
#include "program/context.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/result_tables.h"

namespace zolva {

bool SaveDisplayedBitmapForScript(Context& ctx) {
  return SaveDisplayedBitmap(ctx, false);
}

void TypeCommandKey(Context& ctx, int key) {
  // A front end may wrap the interpreter (to redraw its menus after a key); without one the key
  // goes to the interpreter directly.
  if (ctx.state.HandleCommandKeyHook) {
    ctx.state.HandleCommandKeyHook(key);
  } else {
    HandleCommandKey(ctx, key);
  }
}

bool WriteCurrentsFileForScript(Context& ctx) {
  return WriteCurrentsFile(ctx);
}

void ClearPendingKeyPrefix(Context& ctx) {
  ctx.keys.keyPrefix = u' ';
}

void ReleaseScriptPrefix(Context& ctx) {
  if (ctx.keys.lastPrefix == u'*') ctx.keys.lastPrefix = u' ';
}

}  // namespace zolva
