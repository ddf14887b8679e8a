#include "program/results_report.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <map>
#include <utility>

#include "core/utility.h"
#include "program/context.h"
#include "program/reporting.h"

namespace zolva {

namespace {

constexpr std::size_t kMaxSummary = 255;
// Design units per character of the plain-text page.
constexpr int kUnitsPerColumn = 5;
// Fixed memory figure of the capacitance grid, in megabytes: round(40969784 / 1e6).
constexpr int kCapacitanceMegabytes = 41;

std::string Cut(std::string text, std::size_t limit) {
  if (text.size() > limit) text.resize(limit);
  return text;
}

void Put(Results& r, int x, int y, std::string text, std::uint32_t color, bool bold = false) {
  for (ResultsLine& line : r.page) {
    if (line.x == x && line.y == y) {
      line = {x, y, std::move(text), color, bold};
      return;
    }
  }
  r.page.push_back({x, y, std::move(text), color, bold});
}

// The L and Rs solution's memory grows with the square of the conductor pixel total: about 17 MB
// per million squared pixels of the complex system.
long long LSolverMegabytes(int condCount) {
  double k = condCount / 1000.0;
  return static_cast<long long>(std::nearbyint(k * k * 17.0));
}

// Floating colours of the palette, from the highest palette index down: the order in which the
// page and the summary list their voltages.
std::vector<int> FloatColoursDescending(const Context& ctx) {
  std::vector<int> found;
  const UsermapPalette& palette = ctx.materials.palette;
  int count = std::clamp(palette.count, 0, kPaletteCapacity);
  for (int n = count - 1; n >= 0; --n) {
    if (palette.entries[n].kind == KindFloat) found.push_back(n);
  }
  return found;
}

struct FigureUnit {
  double scale;  // of the SI value, for the text
  const char* unit;
};

constexpr FigureUnit kFigureUnits[kFigureCount] = {
    {1e12, " pF"}, {1.0, " S"}, {1e6, " uH"}, {1.0, " Ohms"}, {1.0, " Ohms"}, {1.0, ""},
};

// x with about four significant digits: the estimates are not worth more.
std::string Significant(double x) {
  if (x == 0.0 || !std::isfinite(x)) return Str(x, 0, 2);
  const int decimals =
      std::clamp(3 - static_cast<int>(std::floor(std::log10(std::fabs(x)))), 0, 12);
  return Str(x, 0, decimals);
}

// A relative error as a signed percentage.
std::string PercentText(double fraction) {
  const double percent = fraction * 100.0;
  const int decimals = std::fabs(percent) < 1.0 ? 2 : 1;
  std::string text = Str(percent, 0, decimals);
  if (percent >= 0.0) text.insert(text.begin(), '+');
  return text + " %";
}

std::string VoltsText(double volts) {
  if (volts >= 1e6) return Significant(volts / 1e6) + " MV";
  if (volts >= 1e3) return Significant(volts / 1e3) + " kV";
  return Significant(volts) + " V";
}

// The estimate, peak field and notes as they follow the summary of a solve.
std::string SummaryExtras(const Context& ctx, std::initializer_list<EstimatedFigure> figures,
                          bool capacitance) {
  std::string text;
  bool estimated = false;
  for (EstimatedFigure f : figures) {
    if (CurrentEstimate(ctx, f)) {
      text += "  " + EstimateText(ctx, f);
      estimated = true;
    }
  }
  // How the estimate was made and what its solves took, beside the solve's own run time.
  const EstimateBasis& basis = capacitance ? ctx.results.estimateC : ctx.results.estimateL;
  if (estimated && basis.solves > 0) {
    text += "  (" + IntText(basis.solves) + " solves" + (basis.downward ? ", coarser" : "") +
            ", order " + Str(basis.order, 0, 2) + (basis.observedOrder ? " observed" : " assumed") +
            ", estimate " + Str(basis.seconds, 0, 1) + " s)";
  }
  if (!capacitance) {
    for (const std::string& note : ctx.results.notesL) text += "  " + note;
  } else {
    for (const std::string& note : ctx.results.notes) text += "  " + note;
    if (ctx.results.peak.valid) text += "  " + PeakFieldText(ctx) + ", " + BreakdownText(ctx);
  }
  return text;
}

}  // namespace

double FigureValue(const Results& r, EstimatedFigure figure) {
  switch (figure) {
    case FigureC:
      return r.C;
    case FigureGp:
      return r.Gp;
    case FigureL:
      return r.L;
    case FigureRs:
      return r.Rs;
    case FigureZo:
      return r.L > 0.0 && r.C > 0.0 ? CharacteristicImpedance(r.L, r.C) : 0.0;
    case FigureVf:
      return r.L > 0.0 && r.C > 0.0 ? VelocityFactor(r.L, r.C) : 0.0;
    default:
      return 0.0;
  }
}

const FigureEstimate* CurrentEstimate(const Context& ctx, EstimatedFigure figure) {
  const Results& r = ctx.results;
  const FigureEstimate& e = r.estimate.at(static_cast<std::size_t>(figure));
  const double value = FigureValue(r, figure);
  if (!e.valid || value == 0.0 || e.raw != value) return nullptr;
  return &e;
}

std::string EstimateText(const Context& ctx, EstimatedFigure figure) {
  const FigureEstimate* e = CurrentEstimate(ctx, figure);
  if (!e) return "";
  const FigureUnit& u = kFigureUnits[figure];
  return std::string(kFigureNames[figure]) + " = " + Significant(e->raw * u.scale) + u.unit +
         "  (extrapolated " + Significant(e->extrapolated * u.scale) + ", error " +
         PercentText(e->relativeError) + ")";
}

std::string PeakFieldText(const Context& ctx) {
  const PeakField& p = ctx.results.peak;
  if (!p.valid) return "";
  return "Emax = " + Significant(p.voltsPerMetre) + " V/m per V at (" + IntText(p.x) + ", " +
         IntText(p.y) + ")";
}

std::string BreakdownText(const Context& ctx) {
  const PeakField& p = ctx.results.peak;
  if (!p.valid) return "";
  return "in " + p.material + ": breakdown at " + VoltsText(p.breakdownVolts);
}

std::string PageEstimateText(const Context& ctx, EstimatedFigure figure) {
  const FigureEstimate* e = CurrentEstimate(ctx, figure);
  if (!e) return "";
  // Short enough for a column of the page: a conductance in microsiemens, the error bare.
  const FigureUnit u = figure == FigureGp ? FigureUnit{1e6, " uS"} : kFigureUnits[figure];
  return std::string(kFigureNames[figure]) +
         " extrap. = " + Significant(e->extrapolated * u.scale) + u.unit + ", " +
         PercentText(e->relativeError);
}

std::string Fmt(const Context& ctx, double x, int w, int d) {
  int k = ctx.state.switches[Switch::WideResults] ? 3 : 1;
  return Str(x, w + k, d + k);
}

std::string VfText(const Context& ctx) {
  return Cut(Str(ctx.results.vfAssumed, 5, 3), 8);
}

std::string TimeText(int t) {
  if (t <= 60) return IntText(t) + " seconds";
  return Str(t / 60.0, 6, 1) + " minutes";
}

std::vector<ResultsRule> ResultsPageRules(int pageWidth, int pageHeight) {
  return {{200, 0, 200, pageHeight}, {410, 0, 410, 66}, {410, 66, pageWidth, 66}};
}

void DrawResults(Context& ctx) {
  Results& r = ctx.results;
  const double c0 = kSpeedOfLight;
  const double vf = r.vfAssumed;
  const std::string vfText = VfText(ctx);
  const bool both = r.L != 0.0 && r.C != 0.0;
  // The single-solution estimates assume vfAssumed; once both solutions exist the combined
  // column gives the real figures and the estimates fade to grey.
  const std::uint32_t estimate = both ? kResultsGrey : kResultsBlack;

  r.page.clear();
  Put(r, 10, 3, "L and Rs results :", kResultsBlack, true);
  Put(r, 210, 3, "C and Gp results :", kResultsBlack, true);
  Put(r, 420, 3, "Combined results :", kResultsBlack, true);

  if (r.L != 0.0) {
    const double L = r.L;
    Put(r, 20, 20, "L = " + Fmt(ctx, L * 1e6, 6, 3) + "  uH", kResultsBlack);
    Put(r, 20, 34, "Rs = " + Fmt(ctx, r.Rs, 8, 5) + "  Ohms",
        r.rsWarning ? kResultsRed : kResultsBlack);
    Put(r, 20, 48, "Zo = " + Fmt(ctx, ImpedanceFromInductance(L, vf), 6, 1) + "  if vf=" + vfText,
        estimate);
    Put(r, 20, 62,
        "C = " + Fmt(ctx, 1e12 / (L * (vf * c0) * (vf * c0)), 7, 3) + "  pF if vf=" + vfText,
        estimate);
    if (ctx.cindex.hasPlus && ctx.cindex.hasMinus) {
      std::string vo = "Vo = " + Fmt(ctx, r.VoL, 5, 3) + "  V";
      if (ctx.cindex.hasAllThree) vo += "   Ignd = " + Fmt(ctx, r.Ignd * 100.0, 4, 1) + " %";
      Put(r, 20, 76, vo, kResultsBlack);
    }
    Put(r, 20, 90,
        "Run time = " + TimeText(r.runSecondsL) + ",  " +
            IntText(LSolverMegabytes(ctx.map.condCount)) + " MB",
        kResultsBlack);
  }

  if (r.C != 0.0) {
    const double C = r.C;
    Put(r, 220, 20, "C = " + Fmt(ctx, C * 1e12, 6, 2) + "  pF", kResultsBlack);
    Put(r, 220, 34, "Gp = " + Str(r.Gp, 12, 12), kResultsBlack);
    Put(r, 220, 48,
        "Zo = " + Fmt(ctx, ImpedanceFromCapacitance(C, vf), 6, 1) + "  Ohms if vf=" + vfText,
        estimate);
    Put(r, 220, 62,
        "L = " + Fmt(ctx, 1e6 / (C * (vf * c0) * (vf * c0)), 5, 3) + "  uH if vf=" + vfText,
        estimate);
    Put(r, 220, 76,
        "Vo = " + Fmt(ctx, r.VoC, 5, 3) + "  V       Qdif = " + Fmt(ctx, r.Qdif, 4, 1) + " %",
        kResultsBlack);
    Put(r, 220, 90,
        "Run time = " + TimeText(r.runSecondsC) + ",  " + IntText(kCapacitanceMegabytes) + " MB",
        kResultsBlack);
    // Every floating colour is written at the same place; the lowest palette index is drawn
    // last and is the one that stays visible.
    for (int n : FloatColoursDescending(ctx)) {
      Put(r, 430, 76, "Float = " + Fmt(ctx, r.floatVolts.at(n), 5, 3) + "  volts", kResultsBlack);
    }
  }

  // Below the page's own lines: the estimate of each figure in its column, the peak field under
  // the C and Gp column.
  if (r.L != 0.0) {
    if (CurrentEstimate(ctx, FigureL))
      Put(r, 20, 104, PageEstimateText(ctx, FigureL), kResultsBlack);
    if (CurrentEstimate(ctx, FigureRs))
      Put(r, 20, 118, PageEstimateText(ctx, FigureRs), kResultsBlack);
  }
  if (r.C != 0.0) {
    if (CurrentEstimate(ctx, FigureC))
      Put(r, 220, 104, PageEstimateText(ctx, FigureC), kResultsBlack);
    if (CurrentEstimate(ctx, FigureGp))
      Put(r, 220, 118, PageEstimateText(ctx, FigureGp), kResultsBlack);
    if (r.peak.valid) {
      Put(r, 220, 132, PeakFieldText(ctx), kResultsBlack);
      Put(r, 220, 146, BreakdownText(ctx), kResultsBlack);
    }
  }
  if (both) {
    if (CurrentEstimate(ctx, FigureZo))
      Put(r, 430, 104, PageEstimateText(ctx, FigureZo), kResultsBlack);
    if (CurrentEstimate(ctx, FigureVf))
      Put(r, 430, 118, PageEstimateText(ctx, FigureVf), kResultsBlack);
  }

  if (both) {
    Put(r, 430, 20, "Zo = " + Fmt(ctx, CharacteristicImpedance(r.L, r.C), 6, 1) + "  Ohms",
        kResultsBlack);
    Put(r, 430, 34, "vf = " + Fmt(ctx, VelocityFactor(r.L, r.C), 5, 3), kResultsBlack);
  }
}

std::string ResultsPageText(const Context& ctx) {
  std::map<int, std::vector<const ResultsLine*>> rows;
  for (const ResultsLine& line : ctx.results.page) rows[line.y].push_back(&line);
  std::string text;
  for (auto& [y, lines] : rows) {
    std::sort(lines.begin(), lines.end(),
              [](const ResultsLine* a, const ResultsLine* b) { return a->x < b->x; });
    std::string row;
    for (const ResultsLine* line : lines) {
      std::size_t column = static_cast<std::size_t>(std::max(0, line->x / kUnitsPerColumn));
      // Texts that would run into each other keep two blanks between them.
      if (!row.empty()) column = std::max(column, row.size() + 2);
      row.resize(std::max(row.size(), column), ' ');
      row += line->text;
    }
    text += row;
    text += '\n';
  }
  if (ctx.coupled.valid && ctx.panel.checks[CheckBoxCoupled]) text += CoupledText(ctx);
  return text;
}

void SummarizeL(Context& ctx, bool log) {
  Results& r = ctx.results;
  const double c0 = kSpeedOfLight;
  const double vf = r.vfAssumed;
  std::string s = "L=" + Str(r.L * 1e6, 6, 3) + " uH, Rs=" + Str(r.Rs, 8, 5) + " Ohms";
  if (ctx.cindex.hasAllThree) s += ", Ignd=" + Str(r.Ignd * 100.0, 4, 1) + "%";
  s += ". If vf=" + VfText(ctx) + " then Zo=" + Str(ImpedanceFromInductance(r.L, vf), 6, 1) +
       " and C=" + Str(1e12 / (r.L * (vf * c0) * (vf * c0)), 6, 2) + ".  ";
  s += ctx.panel.runName;
  r.summaryExtra = SummaryExtras(ctx, {FigureL, FigureRs, FigureZo, FigureVf}, false);
  r.summary = Cut(std::move(s) + r.summaryExtra, kMaxSummary);
  if (log) AppendLog(ctx, r.runSecondsL);
}

void SummarizeC(Context& ctx, bool log) {
  Results& r = ctx.results;
  // A finished capacitance solve always has a charge on its conductors; C = 0 here means the
  // summation went wrong, and there is nothing sensible to log.
  if (r.C == 0.0) {
    ReportProgramError(ctx, 1);
    return;
  }
  const double c0 = kSpeedOfLight;
  const double vf = r.vfAssumed;
  std::string s = "C=" + Str(r.C * 1e12, 6, 2) + "pF, Gp=" + Str(r.Gp, 12, 12);
  for (int n : FloatColoursDescending(ctx)) {
    s += ", float=" + Str(r.floatVolts.at(n), 5, 3) + " volts";
  }
  s += ". If vf=" + VfText(ctx) + " then Zo=" + Str(ImpedanceFromCapacitance(r.C, vf), 6, 1) +
       " and L=" + Str(1e6 / (r.C * (vf * c0) * (vf * c0)), 5, 3) + " uH  ";
  s += ctx.panel.runName;
  r.summaryExtra = SummaryExtras(ctx, {FigureC, FigureGp, FigureZo, FigureVf}, true);
  r.summary = Cut(std::move(s) + r.summaryExtra, kMaxSummary);
  if (log) AppendLog(ctx, r.runSecondsC);
}

}  // namespace zolva
