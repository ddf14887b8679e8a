#include "program/error_estimate.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/utility.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/map_commands.h"
#include "program/reporting.h"
#include "program/results_report.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

// Attempts at a pixel total whose pixel width lies within kWidthTolerance of the target: the
// generators round radii and layers to whole pixels, so the width follows the total in steps.
constexpr int kRefineAttempts = 10;
constexpr double kWidthTolerance = 0.05;
// Linear refinement of each finer solve against the one before.
constexpr double kRefinement = 2.0;

// Everything a rebuild and a solve change, so that the estimate can put it back.
struct Snapshot {
  ProgramState state;
  PixelMap map;
  MaterialTables materials;
  PanelModel panel;
  DisplaySettings display;
  Results results;
  SolverGrid grid;
  ConductorIndex cindex;
  FieldRegions regions;
  LoopModel loop;
  UnknownNumbering numbering;
  std::vector<complex> pixelCurrents;
  std::vector<std::int32_t> currentX, currentY;
  std::vector<std::int8_t> currentKind;
  int solvedWidth = 0, solvedHeight = 0;
  PredictionState prediction;
};

// The current system of the L and Rs solver exists only during a solve and is not kept.
Snapshot Take(const Context& ctx) {
  const LSolverState& ls = ctx.lsolver;
  return Snapshot{ctx.state,      ctx.map,          ctx.materials, ctx.panel,   ctx.display,
                  ctx.results,    ctx.grid,         ctx.cindex,    ctx.regions, ls.loop,
                  ls.numbering,   ls.pixelCurrents, ls.currentX,   ls.currentY, ls.currentKind,
                  ls.solvedWidth, ls.solvedHeight,  ctx.prediction};
}

void Restore(Context& ctx, Snapshot&& snap) {
  // A stop or the end of the program asked for during the finer solves still holds.
  const bool abort = ctx.state.abortRequested;
  const bool terminate = ctx.state.terminateRequested;
  const bool closing = ctx.state.windowClosing;
  ctx.state = std::move(snap.state);
  ctx.state.abortRequested = ctx.state.abortRequested || abort;
  ctx.state.terminateRequested = ctx.state.terminateRequested || terminate;
  ctx.state.windowClosing = ctx.state.windowClosing || closing;
  ctx.map = std::move(snap.map);
  ctx.materials = std::move(snap.materials);
  ctx.panel = std::move(snap.panel);
  ctx.display = snap.display;
  ctx.results = std::move(snap.results);
  ctx.grid = std::move(snap.grid);
  ctx.cindex = std::move(snap.cindex);
  ctx.regions = std::move(snap.regions);
  LSolverState& ls = ctx.lsolver;
  ls.loop = std::move(snap.loop);
  ls.numbering = std::move(snap.numbering);
  ls.pixelCurrents = std::move(snap.pixelCurrents);
  ls.currentX = std::move(snap.currentX);
  ls.currentY = std::move(snap.currentY);
  ls.currentKind = std::move(snap.currentKind);
  ls.solvedWidth = snap.solvedWidth;
  ls.solvedHeight = snap.solvedHeight;
  ctx.prediction = std::move(snap.prediction);
}

// The figures of one solve of the series, and its pixel size.
struct Level {
  double h = 0.0;
  double C = 0.0, Gp = 0.0, L = 0.0, Rs = 0.0;
};

Level LevelOf(const Context& ctx, double h) {
  const Results& r = ctx.results;
  return Level{h, r.C, r.Gp, r.L, r.Rs};
}

// The pixel size of the map in a unit common to the series: metres for a generated map, the
// inverse of the rescale factor for a Usermap (whose width may be unknown).
double PixelSize(const Context& ctx) {
  if (ctx.state.geometryKind == GeomUsermap) {
    return 100.0 / kRescaleFactors[std::clamp(ctx.map.rescaleIndex, 0, 3)];
  }
  return ctx.state.pixelWidth;
}

// The next rescale index of a Usermap for the k-th finer solve, or -1 when there is none.
int FinerRescale(int baseIndex, int k) {
  // 50 % -> 100 % -> 200 %; 100 % -> 200 % -> 300 %; 200 % -> 300 %.
  const int index = baseIndex + k;
  return index <= 3 ? index : -1;
}

// Builds the k-th finer map; false with the reason when it cannot be made.
bool BuildFinerMap(Context& ctx, const Snapshot& base, int k, std::string& problem) {
  ProgramState& s = ctx.state;
  s.solveInProgress = false;  // the rescale and the rebuild wait for no solve
  if (s.geometryKind == GeomUsermap) {
    const int index = FinerRescale(base.map.rescaleIndex, k);
    if (index < 0) {
      problem = "the Usermap is already shown at its largest rescale";
      return false;
    }
    SetRescale(ctx, index);
    if (ctx.map.rescaleIndex != index || s.operationFailed) {
      problem = "the Usermap cannot be enlarged further";
      return false;
    }
    s.requestedPixelWidth = ReadLength(ctx.panel.edits[EditBoxPixelWidth].text);
    if (RebuildCrossSection(ctx) != 0) {
      problem = "the enlarged Usermap could not be rebuilt";
      return false;
    }
    return true;
  }
  const double target = base.state.pixelWidth / std::pow(kRefinement, k);
  const int start = static_cast<int>(
      std::min(2e9, static_cast<double>(base.panel.totalConductorPixels) * std::pow(4.0, k)));
  const double reached = RefineGeneratedMap(ctx, start, target);
  if (!(reached > 0.0)) {
    problem = "no finer map of this geometry could be drawn";
    return false;
  }
  return true;
}

// Solves the finer map for the kinds the estimate covers; false when a stage did not run to
// its end.
bool SolveFinerMap(Context& ctx, bool lAndRs, bool cAndGp) {
  ProgramState& s = ctx.state;
  if (lAndRs) {
    SolveSetup(ctx);
    if (s.abortRequested) return false;
    LandRsStage(ctx);
    if (!s.solveSucceeded || s.abortRequested || ctx.results.L == 0.0) return false;
  }
  if (cAndGp) {
    SolveSetup(ctx);
    if (s.abortRequested) return false;
    CapacitanceStage(ctx);
    if (!s.solveSucceeded || ctx.results.C == 0.0) return false;
  }
  return true;
}

// The estimate of one figure from its values over the series.
FigureEstimate EstimateOf(const std::vector<Level>& levels, double Level::*figure) {
  std::vector<double> h, x;
  for (const Level& l : levels) {
    h.push_back(l.h);
    x.push_back(l.*figure);
  }
  FigureEstimate e;
  const Extrapolation ex = Richardson(h, x);
  if (!ex.valid || x.front() == 0.0 || ex.value == 0.0) return e;
  e.valid = true;
  e.raw = x.front();
  e.extrapolated = ex.value;
  e.relativeError = StatedError(e.raw, ex);
  return e;
}

EstimateBasis BasisOf(const std::vector<Level>& levels) {
  std::vector<double> h, x;
  for (const Level& l : levels) {
    h.push_back(l.h);
    x.push_back(l.C != 0.0 ? l.C : l.L);
  }
  const Extrapolation ex = Richardson(h, x);
  return EstimateBasis{static_cast<int>(levels.size()), ex.order, ex.observed, levels.back().h};
}

// Zo and vf follow from the estimates of L and C when both belong to the figures on record.
void CombineEstimates(Context& ctx) {
  Results& r = ctx.results;
  const FigureEstimate* L = CurrentEstimate(ctx, FigureL);
  const FigureEstimate* C = CurrentEstimate(ctx, FigureC);
  r.estimate[FigureZo] = FigureEstimate{};
  r.estimate[FigureVf] = FigureEstimate{};
  if (!L || !C || !(L->extrapolated > 0.0) || !(C->extrapolated > 0.0)) return;
  const double zo = CharacteristicImpedance(L->extrapolated, C->extrapolated);
  const double vf = VelocityFactor(L->extrapolated, C->extrapolated);
  const double rawZo = FigureValue(r, FigureZo);
  const double rawVf = FigureValue(r, FigureVf);
  // Zo and vf carry the safety factor of the figures they come from.
  const double factor = r.estimateL.observedOrder && r.estimateC.observedOrder
                            ? kStatedErrorFactorObserved
                            : kStatedErrorFactor;
  r.estimate[FigureZo] = FigureEstimate{true, rawZo, zo, factor * RelativeError(rawZo, zo)};
  r.estimate[FigureVf] = FigureEstimate{true, rawVf, vf, factor * RelativeError(rawVf, vf)};
}

}  // namespace

Extrapolation Richardson(const std::vector<double>& h, const std::vector<double>& x,
                         double assumedOrder) {
  Extrapolation e;
  const std::size_t n = std::min(h.size(), x.size());
  if (n < 2) return e;
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(x[i]) || !(h[i] > 0.0)) return e;
    if (i > 0 && !(h[i] < h[i - 1])) return e;
  }
  double p = assumedOrder;
  if (n >= 3) {
    const double h0 = h[n - 3], h1 = h[n - 2], h2 = h[n - 1];
    const double d01 = x[n - 3] - x[n - 2], d12 = x[n - 2] - x[n - 1];
    // With x(h) = X + a h^p the differences keep their sign and their ratio is
    // (h0^p - h1^p) / (h1^p - h2^p), which grows with p: a bisection finds p.
    if (d01 != 0.0 && d12 != 0.0 && (d01 > 0.0) == (d12 > 0.0)) {
      const double ratio = d01 / d12;
      auto f = [&](double q) {
        return (std::pow(h0, q) - std::pow(h1, q)) / (std::pow(h1, q) - std::pow(h2, q)) - ratio;
      };
      if (f(kLeastOrder) <= 0.0 && f(kGreatestOrder) >= 0.0) {
        double lo = kLeastOrder, hi = kGreatestOrder;
        for (int i = 0; i < 60; ++i) {
          const double mid = 0.5 * (lo + hi);
          (f(mid) < 0.0 ? lo : hi) = mid;
        }
        p = 0.5 * (lo + hi);
        e.observed = true;
      }
    }
  }
  const double hc = h[n - 2], hf = h[n - 1];
  const double xc = x[n - 2], xf = x[n - 1];
  const double denominator = std::pow(hc / hf, p) - 1.0;
  if (!(denominator > 0.0)) return e;
  e.value = xf + (xf - xc) / denominator;
  e.order = p;
  e.valid = std::isfinite(e.value);
  return e;
}

double RelativeError(double raw, double extrapolated) {
  return extrapolated != 0.0 ? (raw - extrapolated) / extrapolated : 0.0;
}

double StatedError(double raw, const Extrapolation& e) {
  const double factor = e.observed ? kStatedErrorFactorObserved : kStatedErrorFactor;
  return factor * RelativeError(raw, e.value);
}

double RefineGeneratedMap(Context& ctx, int startTotal, double targetPixelWidth) {
  ProgramState& s = ctx.state;
  auto build = [&](double total) {
    SetField(ctx, EditBoxTotalConductorPixels, IntText(std::llround(total)));
    ctx.materials.palette.count = 0;
    s.solveInProgress = false;
    return RebuildCrossSection(ctx) == 0 ? s.pixelWidth : 0.0;
  };
  auto distance = [&](double width) { return std::fabs(std::log(width / targetPixelWidth)); };
  double total = std::max(2, startTotal);
  double bestWidth = 0.0, bestTotal = total;
  // Totals known to give too coarse (below) and too fine (above) a pixel width.
  double below = 0.0, above = 0.0;
  for (int attempt = 0; attempt < kRefineAttempts; ++attempt) {
    const double width = build(total);
    if (!(width > 0.0)) break;
    if (bestWidth == 0.0 || distance(width) < distance(bestWidth)) {
      bestWidth = width;
      bestTotal = total;
    }
    if (std::fabs(width / targetPixelWidth - 1.0) <= kWidthTolerance) return width;
    (width > targetPixelWidth ? below : above) = total;
    // Between two bracketing totals the geometric mean; else the conductor pixels grow about as
    // the square of the linear resolution.
    double next = below > 0.0 && above > 0.0 ? std::sqrt(below * above)
                                             : total * std::pow(width / targetPixelWidth, 2.0);
    next = std::min(2e9, std::max(2.0, next));
    if (std::llround(next) == std::llround(total) ||
        (below > 0.0 && above > 0.0 && std::llround(above) - std::llround(below) <= 1))
      break;
    total = next;
  }
  if (bestWidth == 0.0) return 0.0;
  if (s.pixelWidth != bestWidth && !(build(bestTotal) > 0.0)) return 0.0;
  return s.pixelWidth;
}

std::string EstimateError(Context& ctx, bool lAndRs, bool cAndGp) {
  if (!lAndRs && !cAndGp) return "";
  const int solves = std::clamp(ctx.panel.estimateSolves, 2, 3);
  std::vector<Level> levels{LevelOf(ctx, PixelSize(ctx))};
  Snapshot base = Take(ctx);
  std::string problem;
  ctx.reports.refining = true;
  try {
    for (int k = 1; k < solves; ++k) {
      ShowStatus(ctx, "Estimating the error: solve " + IntText(k + 1) + " of " + IntText(solves));
      if (!BuildFinerMap(ctx, base, k, problem)) break;
      if (!SolveFinerMap(ctx, lAndRs, cAndGp)) {
        problem = "a finer solve did not run to its end";
        break;
      }
      levels.push_back(LevelOf(ctx, PixelSize(ctx)));
    }
  } catch (...) {
    ctx.reports.refining = false;
    Restore(ctx, std::move(base));
    throw;
  }
  ctx.reports.refining = false;
  Restore(ctx, std::move(base));
  // Each figure's estimate is made anew or forgotten with the solve it belongs to.
  Results& r = ctx.results;
  if (lAndRs) {
    r.estimate[FigureL] = FigureEstimate{};
    r.estimate[FigureRs] = FigureEstimate{};
  }
  if (cAndGp) {
    r.estimate[FigureC] = FigureEstimate{};
    r.estimate[FigureGp] = FigureEstimate{};
  }
  if (levels.size() >= 2) {
    if (lAndRs) {
      r.estimate[FigureL] = EstimateOf(levels, &Level::L);
      r.estimate[FigureRs] = EstimateOf(levels, &Level::Rs);
      r.estimateL = BasisOf(levels);
    }
    if (cAndGp) {
      r.estimate[FigureC] = EstimateOf(levels, &Level::C);
      if (r.Gp != 0.0) r.estimate[FigureGp] = EstimateOf(levels, &Level::Gp);
      std::vector<Level> cLevels = levels;
      for (Level& l : cLevels) l.L = 0.0;
      r.estimateC = BasisOf(cLevels);
    }
  }
  CombineEstimates(ctx);
  RefreshDisplay(ctx);
  return problem.empty() ? problem : "No error estimate: " + problem + ".";
}

}  // namespace zolva
