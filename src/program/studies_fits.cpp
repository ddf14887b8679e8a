// The two fitting studies. The pixel resistance model carries, for each surface letter A..F, a
// decay factor (how steeply the current density falls off below that kind of surface) and a
// table of skin corrections over 29 ratios of pixel width to skin depth. Both were calibrated by
// solving a cross-section whose Rs is known and tuning one value until the solved Rs meets it:
// the "target" study fits the decay factor at 10 GHz, deep in the skin effect; the "Function"
// study fits the skin correction at the 29 frequencies of the table, 1 kHz to 10 GHz. Both use
// the secant method, since each solve is costly and Rs is smooth and nearly linear in the value.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <string_view>

#include "core/text_reader.h"
#include "core/utility.h"
#include "lsolver/pixel_impedance.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/result_tables.h"
#include "program/studies.h"
#include "program/studies_run.h"

namespace zolva {

namespace {

constexpr int kSkippedLowSteps = 11;
constexpr int kFunctionIterations = 7;
constexpr int kTargetIterations = 10;
constexpr double kFirstStep = 1.001;  // the second trial value, relative to the first
constexpr std::size_t kMaxTargetLine = 255;

bool IsStudyLetter(char16_t letter) {
  return letter >= u'A' && letter <= u'F';
}

// The letter as the messages and file names show it.
std::string LetterText(char16_t letter) {
  if (letter > 32 && letter < 127) return std::string(1, static_cast<char>(letter));
  return "?";
}

// The refusal of a run name whose letter indexes no surface kind.
void RefuseLetter(StudyRun& run) {
  const std::string& name = run.ctx().panel.runName;
  std::string text = "the run name must end in a letter A..F, the surface kind to calibrate";
  text += name.empty()
              ? " (the name is empty)."
              : " (\"" + name + "\" ends in \"" + LetterText(StudyLetter(run.ctx())) + "\").";
  run.Refuse(text);
  run.Fail();
}

// A trial solve of the current cross-section at the trial value x; rs is its Rs when Solved.
StudyStep TrialSolve(Context& ctx, const std::string& what, double x, double& rs) {
  if (!StudyPanelValid(ctx, what)) {
    ctx.state.operationFailed = true;
    return StudyStep::Failed;
  }
  ctx.state.calibrationValue = x;
  const StudyStep step = SolveStudyStep(ctx, ctx.state.geometryKind);
  if (step != StudyStep::Solved) return step;
  rs = ctx.results.Rs;
  if (!std::isfinite(rs)) {
    MessageBox(ctx, what + " gave no finite Rs at the trial value " + CompactText(x) + ".", "zolva",
               ButtonsOk);
    ctx.state.operationFailed = true;
    return StudyStep::Failed;
  }
  return step;
}

StudyStep TrialSolve(StudyRun& run, double x, double& rs) {
  if (run.StopRequested()) return StudyStep::Stopped;
  return TrialSolve(run.ctx(), "The " + run.name() + " study's solve", x, rs);
}

// A target must be an Rs the solve can reach: positive.
bool UsableTarget(StudyRun& run, char16_t letter, int step, double target) {
  if (target > 0) return true;
  run.Refuse("target " + IntText(step) + " of \"target " + LetterText(letter) + ".txt\" (line " +
             IntText(step + 1) + ") is " + CompactText(target) +
             "; an Rs target must be positive.");
  run.Fail();
  return false;
}

// Ends the study after a trial that did not come to a usable Rs, or after a Stop that arrived
// during one that did; true when the study goes on.
bool GoOn(StudyRun& run, StudyStep step) {
  if (step != StudyStep::Solved) {
    run.EndAfter(step);
    return false;
  }
  if (run.StopRequested()) {
    run.Stop();
    return false;
  }
  return true;
}

// The secant fit of one frequency step of the Function study, from the table's value e towards
// Rs = d. Returns false when the study ended inside it.
bool FitCorrection(StudyRun& run, double e, double d, double& a) {
  double g = 0;
  if (!GoOn(run, TrialSolve(run, e, g))) return false;
  a = kFirstStep * e;
  for (int iteration = 0; iteration < kFunctionIterations; ++iteration) {
    double m = 0;
    if (!GoOn(run, TrialSolve(run, a, m))) return false;
    // The same Rs from two values: the value does not reach the cross-section's Rs (no surface
    // of this letter), and no further trial can tell more.
    if (m == g) break;
    const double o = (a - e) * (d - g) / (m - g) + e;
    if (!std::isfinite(o)) break;
    if (std::fabs(o - a) < 1e-6 || o > 100 || o < 0) {
      a = o;
      return true;
    }
    e = a;
    a = o;
    g = m;
  }
  // Not settled: a keeps its last value, and the beep says so.
  run.ctx().platform->Beep();
  return true;
}

}  // namespace

char16_t StudyLetter(const Context& ctx) {
  const std::string& name = ctx.panel.runName;
  if (name.empty()) return 0;
  char16_t letter = static_cast<unsigned char>(name.back());
  if (letter >= u'a' && letter <= u'z') letter = static_cast<char16_t>(letter - u'a' + u'A');
  return letter;
}

std::optional<Targets> ReadTargets(Context& ctx, char16_t letter) {
  const std::string path = ctx.state.programFolder + "target " + LetterText(letter) + ".txt";
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    MessageBox(ctx, "The targets \"" + path + "\" cannot be read.", "zolva", ButtonsOk);
    return std::nullopt;
  }
  Targets targets{};
  int count = 0;
  int lineNumber = 0;
  std::string fault;
  ForEachLine(in, kMaxTargetLine, [&](const std::string& line) {
    ++lineNumber;
    WordCursor words(line);
    const std::string_view text = words.Rest(true);
    if (text.empty()) return true;
    double value = 0;
    if (!ParseReal(text, value)) {
      fault = "line " + IntText(lineNumber) + " \"" + std::string(text) + "\" is no number";
      return false;
    }
    if (count == kTargetCount) {
      fault = "it holds more than " + IntText(kTargetCount) + " numbers";
      return false;
    }
    targets[static_cast<std::size_t>(count++)] = value;
    return true;
  });
  if (fault.empty() && count < kTargetCount) {
    fault = "it holds " + IntText(count) + " numbers, not " + IntText(kTargetCount);
  }
  if (!fault.empty()) {
    MessageBox(ctx, "The targets \"" + path + "\" cannot be used: " + fault + ".", "zolva",
               ButtonsOk);
    return std::nullopt;
  }
  return targets;
}

std::optional<double> SolveRs(Context& ctx, double x) {
  double rs = 0;
  if (TrialSolve(ctx, "The trial solve", x, rs) != StudyStep::Solved) return std::nullopt;
  return rs;
}

void StudyFunction(Context& ctx) {
  StudyRun run(ctx, "Function");
  if (!run.Start(false)) return;
  const char16_t letter = StudyLetter(ctx);
  if (!IsStudyLetter(letter)) return RefuseLetter(run);
  const std::optional<Targets> targets = ReadTargets(ctx, letter);
  if (!targets) return run.Fail();
  const bool skipLow = ctx.state.switches[Switch::SkipLowSteps];
  // Every target the fits will use is checked before the first solve.
  for (int i = skipLow ? kSkippedLowSteps : 0; i < kTargetCount; ++i) {
    if (!UsableTarget(run, letter, i, (*targets)[static_cast<std::size_t>(i)])) return;
  }
  run.SetCalibrationLetter(letter);
  run.SetSwitch(Switch::FitCorrection, true);
  const int column = letter - u'A';
  const std::string path = ctx.state.programFolder + "Function " + LetterText(letter) + ".txt";
  for (int i = 0; i < kSkinCorrectionColumns; ++i) {
    double a = 1;
    if (!(skipLow && i < kSkippedLowSteps)) {
      // Four steps per decade of frequency are eight per decade of w / delta, one column of the
      // correction table each: with copper pixels about 0.04 mm wide, step i meets column i.
      SetField(ctx, EditBoxFrequency, CompactText(0.001 * Pow10(i / 4.0)));
      const double target = (*targets)[static_cast<std::size_t>(i)];
      if (!FitCorrection(run, SkinCorrectionColumn(column, i), target, a)) return;
    }
    a = std::min(a, 2.0);
    if (!AppendRows(ctx, {{path, Str(std::max(a, 0.1), 13, 8)}}, i + 1, TableLayout::List)) {
      return run.Fail();
    }
  }
  run.Complete();
}

void StudyTarget(Context& ctx) {
  StudyRun run(ctx, "target");
  if (!run.Start(false)) return;
  const char16_t letter = StudyLetter(ctx);
  if (!IsStudyLetter(letter)) return RefuseLetter(run);
  const std::optional<Targets> targets = ReadTargets(ctx, letter);
  if (!targets) return run.Fail();
  const double t = (*targets)[kTargetCount - 1];
  if (!UsableTarget(run, letter, kTargetCount - 1, t)) return;
  run.SetCalibrationLetter(letter);
  run.SetSwitch(Switch::FitDecay, true);
  if (letter == u'C') {
    // Letter C is calibrated alone: every surface pixel is a C, without skin correction.
    run.SetSwitch(Switch::AllLettersC, true);
    run.SetSwitch(Switch::NoSkinCorrection, true);
  }
  SetField(ctx, EditBoxFrequency, "10000");
  // The name field shows the progress of the fit and then its result; a fit that does not end
  // gives the user's name back.
  const std::string name = ctx.panel.edits[EditBoxName].text;
  const auto endEarly = [&](StudyStep step) {
    SetField(ctx, EditBoxName, name);
    if (step == StudyStep::Solved) step = StudyStep::Stopped;  // a Stop after the solve
    run.EndAfter(step);
  };

  double b = DecayFactor(letter - u'A');
  double e = 0;
  StudyStep step = TrialSolve(run, b, e);
  if (step != StudyStep::Solved || run.StopRequested()) return endEarly(step);
  double d = kFirstStep * b;
  for (int i = 1;; ++i) {
    SetField(ctx, EditBoxName, Str(b, 14, 10) + ".   trying " + Str(d, 14, 10));
    double g = 0;
    step = TrialSolve(run, d, g);
    if (step != StudyStep::Solved || run.StopRequested()) return endEarly(step);
    double h = d;
    if (g != e) {
      h = (d - b) * (t - e) / (g - e) + b;
      b = d;
    }
    if (std::fabs(g / t - 1) < 1e-8) break;
    // Two trials with the same Rs (the letter has no surface in this cross-section), a step
    // that is no number, or the last trial: the fit ends unsettled, with a beep.
    if (g == e || !std::isfinite(h) || i >= kTargetIterations) {
      ctx.platform->Beep();
      break;
    }
    d = h;
    e = g;
  }
  SetField(ctx, EditBoxName, LetterText(letter) + " " + Str(b, 14, 10));
  run.Complete();
}

}  // namespace zolva
