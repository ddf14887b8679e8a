// The "Solve for C and Gp" stage in its order: grid, charge distribution, prediction,
// relaxation and summation.
#include <string>

#include "core/material_check.h"
#include "csolver/capacitance.h"
#include "csolver/capacitance_job.h"
#include "csolver/charge_distribution.h"
#include "csolver/field_solve.h"
#include "csolver/prediction.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"
#include "csolver/summation.h"

namespace zolva {

void SolveCapacitance(const CapacitanceJob& job) {
  SolveState& s = job.state;
  SolverGrid& g = job.grid;
  g.solveStartTime = job.platform.Now();
  // A field solve that fails keeps the figures of the solve before it.
  const Results before = job.results;
  s.windowClosing = false;
  job.fieldReady = false;
  s.abortRequested = false;
  job.results.C = 0.0;
  job.results.peak = PeakField{};
  // Values that reached the tables without a check would make the relaxation diverge or never
  // settle.
  if (const std::string bad = NonPhysicalMaterialText(job.materials); !bad.empty()) {
    Fail(job.failure, FailureKind::Input, bad, "Solve");
    s.operationFailed = true;
    s.abortRequested = true;
    return;
  }

  ResetGrid(job.grid, job.fieldReady);
  g.surfaceCount = 0;
  job.report.RefreshDisplay();
  job.report.ShowConvergence(0.0);
  BuildEdgeFactors(g);

  if (!SizeGrid(job)) return;
  job.report.RefreshDisplay();
  job.report.ShowStep("Distributing charge.  ");
  if (!DistributeCharge(job)) return;

  if (g.apronActive) {
    CountSurfaces(job);
    job.results.VoC = 0.0;
    PredictField(job);
    if (s.abortRequested) return;
  }

  job.fieldReady = true;
  job.report.RefreshDisplay();
  job.report.ShowProgress(" ");
  if (s.switches[Switch::RepaintChargeSteps]) job.report.RefreshDisplay();
  job.report.ShowStep("Relaxing electric fields.  ");
  job.report.ShowTab(TabConverging);
  if (job.options.classicRelaxation)
    PrepareRelaxation(job);
  else
    PrepareFieldSolve(job, before);
}

}  // namespace zolva
