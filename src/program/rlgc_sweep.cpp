#include "program/rlgc_sweep.h"

#include <algorithm>

#include "core/utility.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

// One solve as a script makes it, ended as every solve is; true when it ran to its end.
bool SolveOnce(Context& ctx, bool lAndRs) {
  ProgramState& s = ctx.state;
  if (lAndRs) {
    // The map is rebuilt for every L and Rs solve, at the pixel width last typed.
    s.requestedPixelWidth = ReadLength(ctx.panel.edits[EditBoxPixelWidth].text);
    ShowPixelWidth(ctx, s.requestedPixelWidth, true);
    s.setupChanged = true;
  }
  SolveForScript(ctx, s.geometryKind, lAndRs);
  const bool ok = s.solveSucceeded && !s.operationFailed;
  FinishSolve(ctx);
  if (ok) s.abortRequested = false;
  return ok;
}

}  // namespace

std::vector<RlgcPoint> CombineRlgc(std::vector<RlgcPoint> points, const CapacitanceSolve& c) {
  for (RlgcPoint& p : points) {
    p.C = c.C;
    p.G = c.GpPerHertz * p.frequency;
  }
  return points;
}

namespace {

// The pixel width and conductor pixels of the map built at f MHz, from the pixel total or at the
// fixed width; 0 when no map could be built.
struct TrialBuild {
  double width = 0.0;
  int conductorPixels = 0;
};

TrialBuild BuildTrial(Context& ctx, double fMHz, int total, double fixedWidth) {
  PanelModel& panel = ctx.panel;
  SetField(ctx, EditBoxFrequency, ExactText(fMHz));
  const int savedTotal = panel.totalConductorPixels;
  panel.totalConductorPixels = total;
  panel.sweepPixelWidth = fixedWidth;
  ctx.state.setupChanged = true;
  const bool built = RebuildCrossSection(ctx) == 0;
  panel.totalConductorPixels = savedTotal;
  panel.sweepPixelWidth = 0.0;
  if (!built) return {};
  return {ctx.state.pixelWidth, ctx.map.condCount};
}

}  // namespace

SweepResolution::SweepResolution(Context& ctx, double lowestMHz, double highestMHz) : ctx_(ctx) {
  ProgramState& s = ctx.state;
  if (s.geometryKind == GeomUsermap || !(lowestMHz > 0.0) || !(highestMHz >= lowestMHz)) return;
  if (SolveBusy(ctx) || s.solvesStubbed) return;
  const std::string frequencyText = ctx.panel.edits[EditBoxFrequency].text;
  const int total = ctx.panel.totalConductorPixels;
  const TrialBuild high = BuildTrial(ctx, highestMHz, total, 0.0);
  double width = high.width;
  if (width > 0.0) {
    const TrialBuild low = BuildTrial(ctx, lowestMHz, total, width);
    if (low.conductorPixels > 2 * static_cast<double>(total)) {
      const int doubled = static_cast<int>(std::min(2.0 * total, 2e9));
      width = std::max(width, BuildTrial(ctx, lowestMHz, doubled, 0.0).width);
    }
  }
  SetField(ctx, EditBoxFrequency, frequencyText);
  s.setupChanged = true;
  if (!(width > 0.0)) return;  // the sweep's own first solve names what is wrong
  width_ = width;
  ctx.panel.sweepPixelWidth = width;
  ShowStatus(ctx,
             "Frequency sweep: every frequency at one pixel width, " + ExactText(width) + " m");
}

SweepResolution::~SweepResolution() {
  ctx_.panel.sweepPixelWidth = 0.0;
  // The next solve outside the sweep draws the map from the panel's pixel total again.
  if (width_ > 0.0) ctx_.state.setupChanged = true;
}

bool SolveRlgcSweep(Context& ctx, const std::vector<double>& frequenciesMHz,
                    std::vector<RlgcPoint>& points, std::string& failure) {
  points.clear();
  if (frequenciesMHz.empty()) {
    failure = "no frequency to solve at";
    return false;
  }
  const auto [lowest, highest] = std::minmax_element(frequenciesMHz.begin(), frequenciesMHz.end());
  const SweepResolution resolution(ctx, *lowest, *highest);
  SetField(ctx, EditBoxFrequency, ExactText(frequenciesMHz.front()));
  if (!SolveOnce(ctx, false)) {
    failure =
        "the C and Gp solve at " + ExactText(frequenciesMHz.front()) + " MHz did not complete";
    return false;
  }
  CapacitanceSolve c;
  c.C = ctx.results.C;
  if (ctx.state.frequencyMHz > 0) c.GpPerHertz = ctx.results.Gp / (ctx.state.frequencyMHz * 1e6);
  std::vector<RlgcPoint> solved;
  for (double f : frequenciesMHz) {
    SetField(ctx, EditBoxFrequency, ExactText(f));
    if (!SolveOnce(ctx, true)) {
      failure = "the L and Rs solve at " + ExactText(f) + " MHz did not complete";
      points = CombineRlgc(solved, c);
      return false;
    }
    RlgcPoint p;
    p.frequency = ctx.state.frequencyMHz * 1e6;
    p.R = ctx.results.Rs;
    p.L = ctx.results.L;
    solved.push_back(p);
  }
  points = CombineRlgc(solved, c);
  return true;
}

}  // namespace zolva
