#include "program/error_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "core/materials.h"
#include "core/text_reader.h"
#include "core/utility.h"
#include "csolver/solver_grid.h"
#include "geometry/map_ops.h"
#include "geometry/map_refine.h"
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
// The solver's core must hold a refined map with the margins it adds around the conductors
// (100 nodes a side for an open field) and the apron ring (16 nodes).
constexpr int kCoreMargins = 2 * 100 + 16 + 20;

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

// The figures of one solve of the series, and its pixel size relative to the raw solve's.
struct Level {
  double h = 0.0;
  double C = 0.0, Gp = 0.0, L = 0.0, Rs = 0.0;
};

Level LevelOf(const Context& ctx, double h) {
  const Results& r = ctx.results;
  return Level{h, r.C, r.Gp, r.L, r.Rs};
}

// x in fixed-point notation with 15 significant digits: the length reader takes no exponent.
std::string ExactTextFixed(double x) {
  const int decimals = std::clamp(14 - static_cast<int>(std::floor(std::log10(x))), 0, 30);
  std::string written = Str(x, 0, decimals);
  while (written.size() > 1 && written.back() == '0') written.pop_back();
  if (written.back() == '.') written.pop_back();
  return written;
}

// A length text scaled by a factor, in its own unit: "0.1mm" times 0.5 gives "0.05mm". Texts
// without a number stay as they are (the pixel width is then unknown, which a C solve allows).
std::string ScaledLengthText(const std::string& text, double factor) {
  const std::size_t lastDigit = text.find_last_of("0123456789");
  if (lastDigit == std::string::npos) return text;
  std::string digits;
  for (char ch : text.substr(0, lastDigit + 1))
    if (ch != ' ') digits += ch;
  double value = 0.0;
  if (!ParseReal(digits, value)) return text;
  const double scaled = value * factor;
  if (!(scaled > 0.0) || !std::isfinite(scaled)) return text;
  return ExactTextFixed(scaled) + text.substr(lastDigit + 1);
}

// Whether the map redrawn at the factor fits the solvers: the pixel limit of a map, and for a
// C solve the core of the capacitance solver with its margins.
bool Fits(const Context& ctx, double factor, bool cAndGp) {
  const double w = std::round(ctx.map.Uwid * factor), h = std::round(ctx.map.Uhei * factor);
  if (w * h > static_cast<double>(MapPixelLimit(ctx.state))) return false;
  return !cAndGp || std::max(w, h) + kCoreMargins <= kMaxCoreNodes;
}

// Builds the map at the linear factor against the raw one (above 1: finer); false with the
// reason when it cannot be made.
bool BuildMapAt(Context& ctx, const Snapshot& base, double factor, std::string& problem) {
  ProgramState& s = ctx.state;
  s.solveInProgress = false;  // the rebuild waits for no solve
  // A generated geometry is generated again: its generator draws the true shape at any pixel
  // width (rounding radii and layers to whole pixels).
  if (s.geometryKind != GeomUsermap) {
    const double target = base.state.pixelWidth / factor;
    const int start = static_cast<int>(std::clamp(
        static_cast<double>(base.panel.totalConductorPixels) * factor * factor, 2.0, 2e9));
    if (!(RefineGeneratedMap(ctx, start, target) > 0.0)) {
      problem = "no map of this geometry could be drawn at that pixel width";
      return false;
    }
    return true;
  }
  // A Usermap: the drawing, as the raw solve saw it, redrawn from its reconstructed boundaries.
  // It takes the place of the picture at 100 %, so that the rebuild reads it as drawn.
  RedrawnPicture picture = RedrawMap(base.map, factor);
  ctx.map.sourceImage = std::move(picture.pixels);
  ctx.map.sourceWidth = picture.width;
  ctx.map.sourceHeight = picture.height;
  ctx.map.rescaleIndex = 1;
  const std::string& width = base.panel.edits[EditBoxPixelWidth].text;
  SetField(ctx, EditBoxPixelWidth, ScaledLengthText(width, 1.0 / factor));
  s.requestedPixelWidth = ReadLength(ctx.panel.edits[EditBoxPixelWidth].text);
  if (RebuildCrossSection(ctx) != 0) {
    problem = "the redrawn map could not be rebuilt";
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

// The levels ordered coarsest first, and the index of the raw solve among them.
struct Series {
  std::vector<Level> levels;
  std::size_t raw = 0;
};

Series Ordered(std::vector<Level> levels) {
  const double rawH = levels.front().h;
  std::sort(levels.begin(), levels.end(), [](const Level& a, const Level& b) { return a.h > b.h; });
  Series series{std::move(levels), 0};
  for (std::size_t i = 0; i < series.levels.size(); ++i)
    if (series.levels[i].h == rawH) series.raw = i;
  return series;
}

SeriesEstimate SeriesOf(const Series& series, double Level::*figure) {
  std::vector<double> h, x;
  for (const Level& l : series.levels) {
    h.push_back(l.h);
    x.push_back(l.*figure);
  }
  return EstimateSeries(h, x, series.raw);
}

// The estimate of one figure from its values over the series.
FigureEstimate EstimateOf(const Series& series, double Level::*figure) {
  const SeriesEstimate se = SeriesOf(series, figure);
  const double raw = series.levels[series.raw].*figure;
  if (!se.valid || raw == 0.0 || se.extrapolated == 0.0) return FigureEstimate{};
  return FigureEstimate{true, raw, se.extrapolated, se.statedError};
}

EstimateBasis BasisOf(const Series& series, double Level::*figure, double rawPixelWidth,
                      double seconds) {
  const SeriesEstimate se = SeriesOf(series, figure);
  EstimateBasis b;
  b.solves = static_cast<int>(series.levels.size());
  b.order = se.order;
  b.observedOrder = se.observed;
  b.finestPixelWidth = rawPixelWidth * series.levels.back().h;
  b.seconds = seconds;
  b.downward = series.raw + 1 == series.levels.size() && series.levels.size() > 1;
  return b;
}

// The thinnest skin depth of the conductors at the working frequency, in pixels of the given
// width; 0 when unknown.
double SkinDepthPixels(const Context& ctx, double pixelWidth) {
  if (!(pixelWidth > 0.0)) return 0.0;
  MaterialTables materials = ctx.materials;  // the lookup may add to the palette
  double least = 0.0;
  for (int i = 0; i < ctx.materials.palette.count && i < kPaletteCapacity; ++i) {
    const PaletteEntry& e = ctx.materials.palette.entries[static_cast<std::size_t>(i)];
    if (e.kind > KindFloat) continue;
    const double d = SkinDepthMetres(materials, ctx.state.omega, e.color);
    if (d > 0.0 && std::isfinite(d) && (least == 0.0 || d < least)) least = d;
  }
  return least / pixelWidth;
}

// Zo and vf follow from the estimates of L and C when both belong to the figures on record.
// Zo = sqrt(L / C) and vf = 1 / (c sqrt(L C)) carry half the difference and half the sum of the
// two relative errors.
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
  // Errors of opposite sign in L and C add up in Zo; of the same sign, in vf. Neither is stated
  // below the distance of the raw figure from the extrapolated one.
  auto stated = [](double raw, double limit, double combined) {
    const double shown = RelativeError(raw, limit);
    return std::fabs(combined) >= std::fabs(shown) ? std::copysign(combined, shown) : shown;
  };
  r.estimate[FigureZo] = FigureEstimate{
      true, rawZo, zo, stated(rawZo, zo, 0.5 * (L->relativeError - C->relativeError))};
  r.estimate[FigureVf] = FigureEstimate{
      true, rawVf, vf, stated(rawVf, vf, 0.5 * (L->relativeError + C->relativeError))};
}

}  // namespace

std::string PercentWords(double fraction) {
  return ExactText(std::round(std::fabs(fraction) * 1e4) / 100.0) + " %";
}

std::string UnsteadyNote(const SeriesEstimate& se, int solves, const std::string& name) {
  if (!se.valid || !se.unsteady) return "";
  const std::string why =
      se.observed ? "the order observed is " + ExactText(std::round(se.order * 100) / 100)
                  : "no order from 0.5 to 4 fits them";
  return "Note: the " + IntText(solves) +
         " solves of the error estimate do not converge steadily for " + name + " (" + why +
         "); the error stated covers the largest difference between them, " +
         PercentWords(se.largestDifference) + ".";
}

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

SeriesEstimate EstimateSeries(const std::vector<double>& h, const std::vector<double>& x,
                              std::size_t raw) {
  SeriesEstimate se;
  const std::size_t n = std::min(h.size(), x.size());
  if (raw >= n || n < 2) return se;
  // The limit: the two finest solves extrapolated with the expected order. Three solves a
  // factor sqrt 2 apart place their staircases differently against the shape, so that each
  // figure strays from the first-order trend by some tenths of its error; the order measured
  // from them strays much more, and is reported rather than used.
  const Extrapolation limit = Richardson({h[n - 2], h[n - 1]}, {x[n - 2], x[n - 1]});
  const Extrapolation observed = Richardson(h, x);
  if (!limit.valid || limit.value == 0.0) return se;
  se.valid = true;
  se.extrapolated = limit.value;
  se.observed = observed.valid && observed.observed;
  se.order = se.observed ? observed.order : kAssumedOrder;
  if (n >= 3) {
    se.unsteady =
        !se.observed || se.order < kLeastExpectedOrder || se.order > kGreatestExpectedOrder;
  }
  const double magnitude = std::fabs(se.extrapolated);
  double shown = 0.0;  // the raw figure's largest distance from another solve
  for (std::size_t i = 0; i < n; ++i) {
    shown = std::max(shown, std::fabs(x[raw] - x[i]) / magnitude);
    for (std::size_t j = i + 1; j < n; ++j)
      se.largestDifference = std::max(se.largestDifference, std::fabs(x[i] - x[j]) / magnitude);
  }
  const double distance = RelativeError(x[raw], se.extrapolated);
  double size = kStatedErrorFactor * std::fabs(distance);
  if (se.unsteady) size = std::max(size, se.largestDifference);
  size = std::max(size, shown);
  se.statedError = std::copysign(size, distance);
  return se;
}

std::string EstimateError(Context& ctx, bool lAndRs, bool cAndGp) {
  if (!lAndRs && !cAndGp) return "";
  const int solves = std::clamp(ctx.panel.estimateSolves, 2, 3);
  const double step = solves == 3 ? kThreeSolveFactor : kTwoSolveFactor;
  // Finer where the finest map fits, else coarser copies of the raw map.
  const double finest = solves == 3 ? step * step : step;
  const bool downward = !Fits(ctx, finest, cAndGp);
  std::vector<double> factors;
  for (int k = 1; k < solves; ++k) {
    const double f = std::pow(step, k);
    factors.push_back(downward ? 1.0 / f : f);
  }
  const double start = ctx.platform->Now();
  std::vector<Level> levels{LevelOf(ctx, 1.0)};
  Snapshot base = Take(ctx);
  const double rawPixelWidth = base.state.pixelWidth;
  std::string problem;
  ctx.reports.refining = true;
  try {
    for (std::size_t k = 0; k < factors.size(); ++k) {
      ShowStatus(ctx, "Estimating the error: solve " + IntText(static_cast<long long>(k) + 2) +
                          " of " + IntText(solves));
      if (!BuildMapAt(ctx, base, factors[k], problem)) break;
      if (!SolveFinerMap(ctx, lAndRs, cAndGp)) {
        problem = "a solve at another pixel size did not run to its end";
        break;
      }
      // A generated map reaches the pixel width its whole pixels allow.
      const double h = base.state.geometryKind == GeomUsermap || !(rawPixelWidth > 0.0)
                           ? 1.0 / factors[k]
                           : ctx.state.pixelWidth / rawPixelWidth;
      levels.push_back(LevelOf(ctx, h));
    }
  } catch (...) {
    ctx.reports.refining = false;
    Restore(ctx, std::move(base));
    throw;
  }
  ctx.reports.refining = false;
  Restore(ctx, std::move(base));
  const double seconds = (ctx.platform->Now() - start) * 86400.0;
  // Each figure's estimate is made anew or forgotten with the solve it belongs to.
  Results& r = ctx.results;
  if (lAndRs) {
    r.estimate[FigureL] = FigureEstimate{};
    r.estimate[FigureRs] = FigureEstimate{};
    r.notesL.clear();
  }
  if (cAndGp) {
    r.estimate[FigureC] = FigureEstimate{};
    r.estimate[FigureGp] = FigureEstimate{};
  }
  if (levels.size() >= 2) {
    const Series series = Ordered(std::move(levels));
    auto note = [&](std::vector<std::string>& notes, const std::string& text) {
      if (!text.empty()) notes.push_back(text);
    };
    if (lAndRs) {
      r.estimate[FigureL] = EstimateOf(series, &Level::L);
      r.estimateL = BasisOf(series, &Level::L, rawPixelWidth, seconds);
      note(r.notesL,
           UnsteadyNote(SeriesOf(series, &Level::L), static_cast<int>(series.levels.size()), "L"));
      const SeriesEstimate rs = SeriesOf(series, &Level::Rs);
      if (rs.valid && rs.unsteady) {
        // Rs in the pixel model depends on how the skin depth falls on the pixels: a series
        // that does not settle is reported, not extrapolated.
        const double depth = SkinDepthPixels(ctx, rawPixelWidth);
        std::string text = "Note: Rs does not converge with the pixel size";
        if (depth > 0.0)
          text += " at a skin depth of " + ExactText(std::round(depth * 100) / 100) + " pixels";
        note(r.notesL, text + "; the solves differ by up to " + PercentWords(rs.largestDifference) +
                           " and no extrapolated Rs is given.");
      } else {
        r.estimate[FigureRs] = EstimateOf(series, &Level::Rs);
      }
    }
    if (cAndGp) {
      r.estimate[FigureC] = EstimateOf(series, &Level::C);
      if (r.Gp != 0.0) r.estimate[FigureGp] = EstimateOf(series, &Level::Gp);
      r.estimateC = BasisOf(series, &Level::C, rawPixelWidth, seconds);
      note(r.notes,
           UnsteadyNote(SeriesOf(series, &Level::C), static_cast<int>(series.levels.size()), "C"));
    }
  }
  CombineEstimates(ctx);
  RefreshDisplay(ctx);
  return problem.empty() ? problem : "No error estimate: " + problem + ".";
}

}  // namespace zolva
