// The coupled solve: the set-up of a two-conductor solve with the conductors counted by region,
// the capacitance matrices, then the impedance matrices, and their texts.
#include "program/coupled_solve.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "core/utility.h"
#include "csolver/capacitance_matrix.h"
#include "csolver/field_regions.h"
#include "lsolver/impedance_matrix.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/coupled_files.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/results_report.h"
#include "program/rlgc_sweep.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

// Ends the solve (Stop disabled, the fields opened again) however the set-up or a stage left.
struct SolveEnder {
  Context& ctx;
  ~SolveEnder() { EndSolve(ctx); }
};

void RefuseSolve(Context& ctx, const std::string& text) {
  MessageBox(ctx, text, "Solve", ButtonsOk);
  ctx.state.operationFailed = true;
  ctx.state.abortRequested = true;
}

// The modes of the matrices just solved; none when they describe no line (the text of the
// results then shows the matrices alone).
void FindModes(CoupledResults& r) {
  r.modes = CoupledModes{};
  if (LineMatricesProblem(r.matrices).empty()) r.modes = LosslessModes(r.matrices);
}

// One coupled solve at the panel's frequency: the capacitance matrices when `capacitance`, the
// impedance matrices always. r receives the numbering and the matrices solved.
bool RunCoupled(Context& ctx, bool capacitance, CoupledResults& r) {
  ProgramState& s = ctx.state;
  if (SolveBusy(ctx)) return false;
  if (capacitance && ctx.panel.checks[CheckBoxClassicRelaxation]) {
    RefuseSolve(ctx,
                "Coupled lines are solved by the multigrid solver: switch off \"Classic "
                "relaxation\" (BOX 5) first.");
    return false;
  }
  s.requestedPixelWidth = ReadLength(ctx.panel.edits[EditBoxPixelWidth].text);
  CheckPixelWidth(ctx);
  if (CheckSetupForSolve(ctx)) return false;
  StageScope stage(s);
  SolveEnder ender{ctx};
  s.startTime = ctx.platform->Now();
  ctx.panel.resumeEnabled = false;
  s.resumeCountdown = 0;
  if (s.mapUnusable) {
    RefuseSolve(ctx, "Usermap unusable: it holds more than 256 colours.");
    return false;
  }
  if (!IndexConductors(ctx, true) || s.abortRequested) return false;
  std::string refusal;
  if (!NumberConductors(ctx.map, ctx.materials, ctx.panel.coupledReference, r.numbering, refusal)) {
    RefuseSolve(ctx, refusal);
    return false;
  }
  // The picture shows the numbers from here on, also when a solve below fails.
  ctx.coupled.numbering = r.numbering;
  ctx.display.copyToScreen = false;
  // The field regions of coupled lines are bounded by different conductors, not kinds.
  struct NumbersInRegions {
    FieldRegions& regions;
    ~NumbersInRegions() { std::vector<std::int16_t>().swap(regions.coupledNumbers); }
  } numbersInRegions{ctx.regions};
  ctx.regions.coupledNumbers = r.numbering.number;
  if (!FindFieldRegions(CapacitanceJobOf(ctx)) || s.abortRequested) return false;
  LineMatrices& m = r.matrices;
  m.n = r.numbering.signalCount();
  m.names.clear();
  for (int i = 0; i < m.n; ++i) m.names.push_back(std::to_string(r.numbering.ConductorOf(i)));
  m.frequencyHz = s.frequencyMHz * 1e6;
  if (capacitance) {
    CapacitanceMatrices cm;
    if (!SolveCapacitanceMatrices(CapacitanceJobOf(ctx), r.numbering, cm)) return false;
    m.C = cm.C;
    m.G = cm.G;
    r.asymmetryC = cm.asymmetry;
    r.notes.insert(r.notes.end(), cm.notes.begin(), cm.notes.end());
  }
  for (std::int8_t& k : ctx.map.Ukind) {
    if (k == KindInsulInField) k = KindInsul;
  }
  ImpedanceMatrices zm;
  if (!SolveImpedanceMatrices(LSolverJobOf(ctx), r.numbering, zm)) return false;
  m.L = zm.L;
  m.R = zm.R;
  r.asymmetryZ = zm.asymmetry;
  r.seconds = static_cast<int>(std::lrint((ctx.platform->Now() - s.startTime) * 86400.0));
  return true;
}

std::string Number(double x, int digits = 6) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, x, std::chars_format::general, digits);
  return std::string(text, end.ptr);
}

std::string MatrixText(const LineMatrices& m, const std::vector<double>& a, double scale,
                       const std::string& title) {
  if (a.size() != static_cast<std::size_t>(m.n) * static_cast<std::size_t>(m.n)) return "";
  std::string text = title + "\n";
  for (int i = 0; i < m.n; ++i) {
    text += "  ";
    for (int j = 0; j < m.n; ++j) {
      std::string v = Number(m.At(a, i, j) * scale);
      if (v.size() < 13) v.insert(0, 13 - v.size(), ' ');
      text += v;
    }
    text += "\n";
  }
  return text;
}

// Two matrices side by side, each entry right-aligned in 10 columns, the conductors' labels first.
std::string MatrixPair(const LineMatrices& m, const std::vector<std::string>& names,
                       const std::vector<double>& a, double scaleA, const std::string& titleA,
                       const std::vector<double>& b, double scaleB, const std::string& titleB) {
  const std::size_t entries = static_cast<std::size_t>(m.n) * static_cast<std::size_t>(m.n);
  if (a.size() != entries || b.size() != entries) return "";
  const auto column = [](std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
  };
  const std::size_t width = 10 * static_cast<std::size_t>(m.n);
  std::string text = "    " + titleA +
                     std::string(width + 4 - std::min(width + 3, titleA.size()), ' ') + titleB +
                     "\n";
  for (int i = 0; i < m.n; ++i) {
    text += column(names[static_cast<std::size_t>(i)], 3) + " ";
    for (int j = 0; j < m.n; ++j) text += column(Number(m.At(a, i, j) * scaleA, 5), 10);
    text += "    ";
    for (int j = 0; j < m.n; ++j) text += column(Number(m.At(b, i, j) * scaleB, 5), 10);
    text += "\n";
  }
  return text;
}

std::string ReferenceText(const ConductorNumbering& n) {
  return n.reference > 0 ? "conductor " + std::to_string(n.reference) + " (the map has no ground)"
                         : "ground";
}

}  // namespace

bool SolveCoupled(Context& ctx) {
  ProgramState& s = ctx.state;
  if (s.solvesStubbed) {
    s.solveSucceeded = true;
    return true;
  }
  s.solveSucceeded = false;
  CoupledResults r;
  const bool ran = RunCoupled(ctx, true, r);
  ShowFailure(ctx);  // what a computing call refused, in its own words
  if (!ran) return false;
  r.valid = true;
  FindModes(r);
  ctx.coupled = std::move(r);
  s.solveSucceeded = true;
  ShowStatus(ctx, "done");
  return true;
}

bool SolveCoupledSweep(Context& ctx, const std::vector<double>& frequenciesMHz,
                       std::string& failure) {
  if (frequenciesMHz.empty()) {
    failure = "no frequency to solve at";
    return false;
  }
  const auto [lowest, highest] = std::minmax_element(frequenciesMHz.begin(), frequenciesMHz.end());
  const SweepResolution resolution(ctx, *lowest, *highest);
  std::vector<LineMatrices> sweep;
  CoupledResults first;
  for (std::size_t k = 0; k < frequenciesMHz.size(); ++k) {
    const double f = frequenciesMHz[k];
    SetField(ctx, EditBoxFrequency, ExactText(f));
    CoupledResults r;
    const bool ran = RunCoupled(ctx, k == 0, r);
    ShowFailure(ctx);
    if (!ran) {
      failure = "the coupled solve at " + ExactText(f) + " MHz did not complete";
      return false;
    }
    if (k == 0) {
      first = r;
    } else {
      if (r.matrices.n != first.matrices.n) {
        failure = "the map at " + ExactText(f) + " MHz holds other conductors than at " +
                  ExactText(frequenciesMHz.front()) + " MHz";
        return false;
      }
      // C does not change with the frequency; G grows in proportion to it.
      r.matrices.C = first.matrices.C;
      r.matrices.G = first.matrices.G;
      const double ratio = r.matrices.frequencyHz / first.matrices.frequencyHz;
      for (double& g : r.matrices.G) g *= ratio;
      r.asymmetryC = first.asymmetryC;
    }
    sweep.push_back(r.matrices);
    if (k + 1 == frequenciesMHz.size()) {
      r.valid = true;
      FindModes(r);
      r.sweep = std::move(sweep);
      for (const std::string& note : first.notes)
        if (std::find(r.notes.begin(), r.notes.end(), note) == r.notes.end())
          r.notes.push_back(note);
      ctx.coupled = std::move(r);
    }
  }
  ctx.state.solveSucceeded = true;
  return true;
}

void ReportCoupledSolve(Context& ctx) {
  const std::string summary = CoupledSummary(ctx);
  if (summary.empty()) return;
  // The panel turns to the page of the matrices, as a two-conductor solve turns to its results.
  ShowPanel(ctx, TabCoupled);
  AppendLogLines(ctx, ctx.coupled.seconds, summary);
  if (ctx.reports.onCoupledReported) ctx.reports.onCoupledReported();
}

std::string CoupledText(const Context& ctx) {
  const CoupledResults& r = ctx.coupled;
  if (!r.valid) return "";
  const LineMatrices& m = r.matrices;
  std::string text = "Coupled lines: " + std::to_string(m.n) + " signal conductor" +
                     (m.n == 1 ? "" : "s") + ", reference " + ReferenceText(r.numbering) + ", at " +
                     Number(m.frequencyHz / 1e6) + " MHz\n";
  for (int k = 1; k <= r.numbering.count(); ++k) {
    const NumberedConductor& c = r.numbering.conductors[static_cast<std::size_t>(k - 1)];
    text += "  conductor " + std::to_string(k) + ": " + ColourLabel(ctx.materials, c.colour) +
            ", first pixel " + std::to_string(c.firstX) + "," + std::to_string(c.firstY) + ", " +
            std::to_string(c.pixels) + " pixels" +
            (k == r.numbering.reference ? ", reference" : "") + "\n";
  }
  text += MatrixText(m, m.C, 1e12, "C (pF/m)");
  text += MatrixText(m, m.G, 1e6, "G (uS/m)");
  text += MatrixText(m, m.L, 1e9, "L (nH/m)");
  text += MatrixText(m, m.R, 1.0, "R (ohm/m)");
  if (r.modes.n > 0)
    for (const std::string& line : CoupledResultLines(r.modes, CoupledLabels(r)))
      text += line + "\n";
  text += "Asymmetry: C " + Number(r.asymmetryC) + ", R + jwL " + Number(r.asymmetryZ) + "\n";
  for (const std::string& note : r.notes) text += note + "\n";
  return text;
}

std::string CoupledSweepText(const Context& ctx) {
  const CoupledResults& r = ctx.coupled;
  if (!r.valid || r.sweep.empty()) return "";
  std::string text = "Coupled matrices per frequency (row-major, per metre):\n";
  for (const LineMatrices& m : r.sweep) {
    text += "  f=" + Number(m.frequencyHz / 1e6) + " MHz";
    auto all = [&](const char* name, const std::vector<double>& a, double scale) {
      text += std::string("  ") + name + "=";
      for (std::size_t i = 0; i < a.size(); ++i) {
        if (i) text += ",";
        text += Number(a[i] * scale);
      }
    };
    all("R(ohm)", m.R, 1.0);
    all("L(nH)", m.L, 1e9);
    all("G(uS)", m.G, 1e6);
    all("C(pF)", m.C, 1e12);
    text += "\n";
  }
  return text;
}

std::string CoupledPageText(const Context& ctx) {
  const CoupledResults& r = ctx.coupled;
  if (!ctx.panel.checks[CheckBoxCoupled])
    return "\"Coupled lines\" is off. With it on, a solve gives every conductor its own port, and "
           "this page shows their matrices and modes.\n";
  if (!r.valid) return "No coupled solve yet: solve with \"Coupled lines\" on.\n";
  const LineMatrices& m = r.matrices;
  std::string text = std::to_string(m.n) + " conductor" + (m.n == 1 ? "" : "s") + " against " +
                     ReferenceText(r.numbering) + ", per metre at " + Number(m.frequencyHz / 1e6) +
                     " MHz\n";
  if (m.n > kCoupledPageConductors) {
    text += "Too many conductors to show here: the results page lists the matrices and modes";
    if (r.files.empty())
      return text +
             ".\nThe coupled export (RLG in a script, zolva-batch --coupled --rlgc FILE) writes "
             "them as FILE.csv, FILE" +
             TouchstoneExtension(m.n) + ", FILE.rlgc and FILE.lib.\n";
    text += ", and these files hold them:\n";
    for (const std::string& file : r.files) text += "  " + file + "\n";
    return text;
  }
  const std::vector<std::string> names = CoupledLabels(r);
  text += MatrixPair(m, names, m.C, 1e12, "C (pF/m)", m.L, 1e9, "L (nH/m)");
  text += MatrixPair(m, names, m.G, 1e6, "G (uS/m)", m.R, 1.0, "R (ohm/m)");
  if (r.modes.n > 0)
    for (const std::string& line : CoupledResultLines(r.modes, names)) text += line + "\n";
  return text;
}

std::vector<std::string> CoupledLabels(const CoupledResults& r) {
  if (!r.matrices.names.empty()) return r.matrices.names;
  std::vector<std::string> names;
  for (int k = 1; k <= r.matrices.n; ++k) names.push_back(std::to_string(k));
  return names;
}

std::string CoupledSummary(const Context& ctx) {
  const CoupledResults& r = ctx.coupled;
  if (!r.valid) return "";
  const LineMatrices& m = r.matrices;
  std::string text =
      "Coupled " + std::to_string(m.n) + " x " + std::to_string(m.n) + " at " +
      Number(m.frequencyHz / 1e6) + " MHz, reference " +
      (r.numbering.reference > 0 ? std::to_string(r.numbering.reference) : std::string("ground")) +
      ":";
  auto diagonal = [&](const char* name, const std::vector<double>& a, double scale,
                      const char* unit) {
    if (a.size() != static_cast<std::size_t>(m.n) * static_cast<std::size_t>(m.n)) return;
    text += std::string(" ") + name + "=";
    for (int i = 0; i < m.n; ++i) {
      if (i) text += ",";
      text += Number(m.At(a, i, i) * scale);
    }
    text += unit;
  };
  diagonal("Cii", m.C, 1e12, "pF/m");
  diagonal("Lii", m.L, 1e9, "nH/m");
  diagonal("Rii", m.R, 1.0, "ohm/m");
  const CoupledModes& modes = r.modes;
  if (modes.symmetricPair)
    text += " Zdiff=" + Number(modes.Zdiff) + " Zcomm=" + Number(modes.Zcomm) + "ohm";
  if (modes.n == 2) text += " Kb=" + Number(modes.Kb[1]) + " Kf=" + Number(modes.Kf[1]) + "s/m";
  text += " asymmetry C=" + Number(r.asymmetryC);
  return text;
}

}  // namespace zolva
