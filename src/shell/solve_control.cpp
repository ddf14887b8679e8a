#include "shell/solve_control.h"

#include "shell/context.h"
#include "shell/reporting.h"

namespace zolva {

void EndSolve(Context& ctx) {
  ctx.state.solveInProgress = false;
  ctx.panel.stopEnabled = false;
  if (ctx.state.abortRequested) ShowStatus(ctx, " ");
}

void FinishSolve(Context& ctx) { EndSolve(ctx); }

}  // namespace zolva
