#include "program/script_entry.h"

#include "program/context.h"
#include "program/script.h"

namespace zolva {

// The control loop calls this while startupScriptChecked is still false, which makes the
// interpreter read the start-up script rather than the script named on the panel.
void RunStartupScript(Context& ctx) {
  const ScriptResult result = RunScript(ctx);
  // The status line soon shows other texts; a start-up script that stopped must not pass unseen.
  if (result.outcome == ScriptOutcome::Failed) ctx.platform->Warn(result.message);
}

}  // namespace zolva
