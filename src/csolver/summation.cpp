// The capacitance and the dielectric conductance from the energy of the relaxed field, the
// figures of the apron's border, and the report at the end of a capacitance solve.
#include "csolver/summation.h"

#include <cmath>
#include <cstddef>
#include <stdexcept>

#include "csolver/capacitance_job.h"
#include "csolver/peak_field.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"

namespace zolva {

namespace {

constexpr double kEpsilon0 = 8.854187827e-12;  // farad per metre
constexpr std::uint8_t kFreeBits = NodeFree | NodeFreeMixed;

struct EnergySums {
  double S = 0.0;  // sum of squared voltage differences times permittivity
  double T = 0.0;  // the same times the loss tangent
};

// Each cell contributes its two squared diagonal voltage differences, weighted by the material
// of its run. Four partial sums keep the additions of a run independent of one another.
EnergySums SumCells(const std::vector<double>& V, const std::vector<EstimateRun>& runs, int W,
                    const RelaxPlan& plan) {
  EnergySums e;
  const std::size_t w = static_cast<std::size_t>(W);
  for (const EstimateRun& run : runs) {
    const double* a = V.data() + run.start;  // top-left corners of the run's cells
    const double* b = a + w;                 // bottom-left corners
    const int n = run.length;
    double q0 = 0.0, q1 = 0.0, q2 = 0.0, q3 = 0.0;
    int k = 0;
    auto cell = [a, b](int x) {
      const double d1 = a[x] - b[x + 1];
      const double d2 = a[x + 1] - b[x];
      return d1 * d1 + d2 * d2;
    };
    for (; k + 4 <= n; k += 4) {
      q0 += cell(k);
      q1 += cell(k + 1);
      q2 += cell(k + 2);
      q3 += cell(k + 3);
    }
    for (; k < n; ++k) q0 += cell(k);
    const double q = (q0 + q1) + (q2 + q3);
    e.S += q * plan.slotEps[run.slot];
    e.T += q * plan.slotEpsTan[run.slot];
  }
  return e;
}

}  // namespace

void EstimateCapacitance(const CapacitanceJob& job) {
  job.report.ShowTrace("C");
  SolverGrid& g = job.grid;
  if (!PlanMatchesGrid(g)) BuildRelaxPlan(job);
  const RelaxPlan& plan = g.plan;
  const EnergySums core = SumCells(g.Cvolts, plan.coreRuns, g.Cwid, plan);
  EnergySums apron;
  if (g.apronActive) apron = SumCells(g.Avolts, plan.apronRuns, g.Awid, plan);
  double C = (core.S + apron.S) * kEpsilon0 / 2;
  double Gp = (core.T + apron.T) * kEpsilon0 * job.state.frequencyMHz * kOmegaPerMHz / 2;
  // Conductors at +1 and -1 volt are 2 volts apart: the energy is four times that of 1 volt.
  if (job.cindex.plusPixels > 0 && job.cindex.minusPixels > 0) {
    C /= 4;
    Gp /= 4;
  }
  job.results.C = C;
  job.results.Gp = Gp;
  job.report.ShowTrace("");
}

FieldCellSums SumFieldCells(const CapacitanceJob& job, const std::vector<double>& core,
                            const std::vector<double>& apron) {
  SolverGrid& g = job.grid;
  if (!PlanMatchesGrid(g)) BuildRelaxPlan(job);
  if (core.size() != g.Cvolts.size() || (g.apronActive && apron.size() != g.Avolts.size()))
    throw std::out_of_range("SumFieldCells: the field does not match the grid");
  const EnergySums c = SumCells(core, g.plan.coreRuns, g.Cwid, g.plan);
  EnergySums a;
  if (g.apronActive) a = SumCells(apron, g.plan.apronRuns, g.Awid, g.plan);
  return {c.S + a.S, c.T + a.T};
}

void BorderFlux(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  const int W = g.Awid, H = g.Ahei;
  if (g.Acode.size() != static_cast<std::size_t>(W) * static_cast<std::size_t>(H) ||
      g.Avolts.size() != g.Acode.size())
    return;
  int count = 0;
  double sumB = 0.0, sumI = 0.0;
  auto side = [&](int x, int y, int ix, int iy) {
    if (ix < 0 || iy < 0 || ix >= W || iy >= H) return;
    const std::size_t i =
        static_cast<std::size_t>(y) * static_cast<std::size_t>(W) + static_cast<std::size_t>(x);
    if (!(g.Acode[i] & kFreeBits)) return;
    ++count;
    sumB += g.Avolts[i];
    sumI += g.Avolts[static_cast<std::size_t>(iy) * static_cast<std::size_t>(W) +
                     static_cast<std::size_t>(ix)];
  };
  // Corner nodes count once for each side they lie on.
  for (int r = 0; r < H; ++r) {
    side(0, r, 1, r);
    side(W - 1, r, W - 2, r);
  }
  for (int c = 0; c < W; ++c) {
    side(c, 0, c, 1);
    side(c, H - 1, c, H - 2);
  }
  g.borderFlux = sumB - sumI;
  if (count > 0) g.borderMean = sumB / count;
}

void FinishCapacitance(const CapacitanceJob& job) {
  SolveState& s = job.state;
  if (s.windowClosing) return;
  if (job.grid.plan.diverged) {
    // The voltages of a relaxation that ran away give no capacitance: no result, no Resume.
    job.results.C = 0.0;
    job.results.Gp = 0.0;
    job.report.ShowStatus("");
    return;
  }
  job.report.ShowStep("Summing capacitance terms.  ");
  EstimateCapacitance(job);
  Results& r = job.results;
  r.Qdif = 0.0;
  if (job.grid.apronActive) {
    BorderFlux(job);
    // Without a capacitance there is no charge to compare the border flux with.
    r.Qdif = r.C != 0.0 ? job.grid.borderFlux * kChargeDifferenceFactor / r.C : 0.0;
  }
  FindPeakField(job);
  job.report.ShowTab(TabResults);
  r.runSecondsC =
      static_cast<int>(std::lrint((job.platform.Now() - job.grid.solveStartTime) * 86400.0));
  job.report.ShowSolvedFigures(SolvedFigures::CandGp);
  // A relaxation stopped before it settled is reported, so that it can be resumed, but it is
  // no finished solve: no table takes its figures.
  s.solveSucceeded = s.relaxationSettled;
  job.report.ShowStatus("done");
}

}  // namespace zolva
