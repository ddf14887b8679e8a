// The "Solve for C and Gp" stage in its order: grid, charge distribution, prediction,
// relaxation and summation; and the resume of a stopped relaxation.
#include "csolver/capacitance.h"
#include "csolver/charge_distribution.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"
#include "csolver/summation.h"
#include "prediction/prediction.h"
#include "setup/control_panel.h"
#include "shell/context.h"
#include "shell/reporting.h"
#include "shell/solve_control.h"

namespace zolva {

void SolveCapacitance(Context& ctx) {
  ProgramState& s = ctx.state;
  SolverGrid& g = ctx.grid;
  g.solveStartTime = ctx.platform->Now();
  s.windowClosing = false;
  ctx.display.fieldReady = false;
  s.abortRequested = false;
  ctx.results.C = 0.0;

  ResetGrid(ctx);
  g.surfaceCount = 0;
  RefreshDisplay(ctx);
  ctx.panel.convergence.fill(0.0);
  ShowConvergence(ctx, 0.0);
  BuildEdgeFactors(g);

  if (!SizeGrid(ctx)) return;
  RefreshDisplay(ctx);
  ShowStep(ctx, "Distributing charge.  ");
  if (!DistributeCharge(ctx)) return;

  if (g.apronActive) {
    CountSurfaces(ctx);
    ctx.results.VoC = 0.0;
    PredictField(ctx);
    if (s.abortRequested) return;
  }

  ctx.display.fieldReady = true;
  RefreshDisplay(ctx);
  ShowProgress(ctx, " ");
  if (s.switches[13]) RefreshDisplay(ctx);
  ShowStep(ctx, "Relaxing electric fields.  ");
  ShowPanel(ctx, TabConverging);
  PrepareRelaxation(ctx);
}

void ResumeRelaxation(Context& ctx) {
  ProgramState& s = ctx.state;
  // A resume that arrives while another solve runs, or after a rebuild has discarded the grid,
  // has nothing of its own to continue.
  if (SolveBusy(ctx) || !PlanMatchesGrid(ctx.grid)) {
    ctx.panel.resumeEnabled = PlanMatchesGrid(ctx.grid) && ctx.panel.resumeEnabled;
    return;
  }
  StageScope stage(s);
  // A resumed relaxation runs until the user stops it.
  ctx.panel.checks[CheckBoxUnending] = true;
  ctx.panel.resumeEnabled = false;
  ctx.panel.stopEnabled = true;
  s.startTime = ctx.platform->Now();
  ctx.grid.solveStartTime = s.startTime;
  s.solveInProgress = true;
  ShowPanel(ctx, TabConverging);
  s.abortRequested = false;
  Relax(ctx);
  ctx.panel.stopEnabled = false;
  s.solveInProgress = false;
  FinishCapacitance(ctx);
}

}  // namespace zolva
