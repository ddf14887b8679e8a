#include "program/studies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_reader.h"
#include "core/utility.h"
#include "lsolver/pixel_impedance.h"
#include "platform/headless_platform.h"
#include "program/commands.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/result_tables.h"
#include "program/script.h"
#include "program/solve_control.h"
#include "support/program_rig.h"
#include "support/read_file.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;

constexpr double kCopperOhmMetres = 1.7241e-8;

// A started program without windows and a fresh program folder. Every L and Rs solve is counted
// as it creates its equations, with the fields it was made with; duringSolve runs there, inside
// the solve, as a window's event would.
struct StudyRig : testing::ProgramRig {
  int solves = 0;
  std::vector<std::string> frequencies;  // the frequency field at each solve
  std::vector<std::string> names;        // the name field at each solve
  std::function<void()> duringSolve;

  explicit StudyRig(const std::string& tag) : ProgramRig("zolva-studies-" + tag, 2) {
    ctx.state.ShowStatusHook = [this](const std::string& text) {
      if (text.find(". Create ") == std::string::npos) return;
      ++solves;
      frequencies.push_back(ctx.panel.edits[EditBoxFrequency].text);
      names.push_back(ctx.panel.edits[EditBoxName].text);
      if (duringSolve) duringSolve();
    };
    InstallCommandHooks(ctx);
    Start();
    SetField(ctx, EditBoxTotalConductorPixels, "100");
  }

  void Type(const std::u16string& keys) {
    for (char16_t k : keys) HandleCommandKey(ctx, k);
  }
  // A target file: the values one per line, with all their digits.
  void WriteTargets(char letter, const std::vector<double>& values) const {
    std::ostringstream text;
    text << std::setprecision(17);
    for (double v : values) text << v << "\r\n";
    Write(std::string("target ") + letter + ".txt", text.str());
  }
  bool Idle() const {
    return !ctx.state.solveInProgress && !ctx.panel.stopEnabled &&
           ctx.panel.edits[EditBoxFrequency].enabled && ctx.state.calibrationKind == 0;
  }
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

double Number(const std::string& text) {
  const std::string line = text.substr(0, text.find('\r'));
  WordCursor words(line);
  double v = std::nan("");
  EXPECT_TRUE(ParseReal(words.Rest(true), v)) << "\"" << text << "\"";
  return v;
}

TEST(ParameterStudies, TwinleadSeparationFromTheRunName) {
  EXPECT_EQ(TwinleadSeparationText("3"), "13");
  EXPECT_EQ(TwinleadSeparationText("0"), "10.5");
  EXPECT_EQ(TwinleadSeparationText("000"), "10.5");
  EXPECT_EQ(TwinleadSeparationText("00"), "10.25");
  EXPECT_EQ(TwinleadSeparationText("2147483647"), "2147483657") << "no overflow";
  for (const char* bad : {"", "abc", "3a", "3.5", " 3"}) EXPECT_FALSE(TwinleadSeparationText(bad));
}

// Two round wires of 10 mm, 13 mm apart, from 1 GHz down to 1 Hz. With the skin depth far below
// the radius, Rs of a pair of round wires is 2 rho / (pi d delta) raised by the proximity
// factor 1 / sqrt(1 - (d / s)^2) (Ramo, Whinnery and Van Duzer, "Fields and Waves in
// Communication Electronics", the two-wire line): 0.822 ohm per metre at 1 GHz, growing as the
// square root of the frequency. 5 % allows for a skin of a few pixels; the square-root law holds
// far better.
TEST(ParameterStudies, TwinleadStudyWritesTenRowsNamedByItsSeparation) {
  StudyRig rig("twinlead");
  Context& ctx = rig.ctx;
  SetField(ctx, EditBoxName, "3");
  rig.Write("Twinlead Inductances 13.txt", "an older table\r\n");
  const std::size_t waves = rig.p.waves.size();
  StudyTwinlead(ctx);
  ASSERT_EQ(rig.p.messages.size(), 0u) << rig.p.messages[0].text;
  EXPECT_EQ(ctx.panel.edits[EditBoxWireSeparation].text, "13mm");
  EXPECT_EQ(ctx.panel.edits[EditBoxWireDiameter].text, "10mm");
  EXPECT_TRUE(ctx.panel.checks[CheckBoxRestrict]);
  EXPECT_EQ(ctx.state.geometryKind, GeomTwinlead);
  ASSERT_EQ(rig.solves, 10);
  // Whole MHz down to 1 MHz, six decimals below 500 kHz.
  EXPECT_EQ(rig.frequencies.front(), "1000");
  EXPECT_EQ(rig.frequencies[3], "1");
  EXPECT_EQ(rig.frequencies[4], "0.100000");
  EXPECT_EQ(rig.frequencies.back(), "0.000001");
  EXPECT_TRUE(rig.Idle());
  EXPECT_EQ(rig.p.waves.size(), waves + 2) << "the end tone, once";
  EXPECT_EQ(rig.p.beeps, 0);

  const std::string inductances = rig.Read("Twinlead Inductances 13.txt");
  const std::string resistances = rig.Read("Twinlead Resistances 13.txt");
  EXPECT_EQ(inductances.find("older"), std::string::npos) << "row 1 replaced the older table";
  std::vector<std::string> L = Split(inductances, '\n');
  std::vector<std::string> R = Split(resistances, '\n');
  ASSERT_EQ(L.size(), 11u);
  ASSERT_EQ(R.size(), 11u);
  EXPECT_EQ(L.back(), "");
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(L[i].size(), 11u) << "Str(L 1e6, 10, 8) and CR LF: " << L[i];
    EXPECT_EQ(L[i].back(), '\r');
  }
  const double d = 0.010, s = 0.013;
  const double delta = std::sqrt(kCopperOhmMetres / (kPi * 1e9 * kMu0));
  const double rs1GHz = 2 * kCopperOhmMetres / (kPi * d * delta) / std::sqrt(1 - (d / s) * (d / s));
  EXPECT_NEAR(Number(R[0]), rs1GHz, 0.05 * rs1GHz);
  for (int i = 1; i < 4; ++i) {
    EXPECT_NEAR(Number(R[i - 1]) / Number(R[i]), std::sqrt(10.0), 0.05) << "decade " << i;
  }
  // The internal inductance grows as the current fills the wires.
  EXPECT_LT(Number(L[0]), Number(L[9]) - 0.1);
}

// The 39 pairs of square 1 mm wires are drawn finely enough that each stands for one pixel of a
// coarser map: their loop inductances are the near entries of the loop inductance table, and the
// pair 900 mm apart is the entry the far-field fit passes through. Each pair's Rs at 1 hertz is
// the direct-current resistance of 2 mm^2 of copper. Step 0 is a coaxial line whose inductance
// at direct current (thick shield, Grover's formula) is 0.19695 uH/m.
TEST(ParameterStudies, LandRsStudyReplacesAnOlderFileWithOneLineOfForty) {
  StudyRig rig("landrs");
  Context& ctx = rig.ctx;
  SetField(ctx, EditBoxName, "run");
  SetField(ctx, EditBoxTotalConductorPixels, "110");
  SetField(ctx, EditBoxVerticalSkew, "0.5mm");
  SetCheckBox(ctx, CheckBoxRestrict, true);
  rig.Write("LandRs run Inductances.txt", "1,2,3");
  rig.Write("LandRs run Resistances.txt", "an older table\r\n");
  StudyLandRs(ctx);
  ASSERT_EQ(rig.p.messages.size(), 0u) << rig.p.messages[0].text;
  EXPECT_TRUE(rig.Idle());
  EXPECT_FALSE(ctx.panel.checks[CheckBoxRestrict]);
  EXPECT_EQ(ctx.panel.edits[EditBoxFrequency].text, "0.000001");
  EXPECT_EQ(rig.solves, 38) << "the two pairs that touch are not solved";
  EXPECT_NE(ctx.state.statusText.find("entries 2, 20 are empty"), std::string::npos)
      << ctx.state.statusText;

  const std::string inductances = rig.Read("LandRs run Inductances.txt");
  const std::string resistances = rig.Read("LandRs run Resistances.txt");
  EXPECT_EQ(inductances.find_first_of("\r\n"), std::string::npos) << "one line, no line end";
  EXPECT_EQ(resistances.find("older"), std::string::npos);
  const std::vector<std::string> L = Split(inductances, ',');
  const std::vector<std::string> R = Split(resistances, ',');
  ASSERT_EQ(L.size(), 40u) << inductances;
  ASSERT_EQ(R.size(), 40u) << resistances;
  EXPECT_EQ(L[0].size(), 10u) << "the first entry has no comma before it";
  EXPECT_EQ(L[1], "");
  EXPECT_EQ(L[19], "");

  EXPECT_NEAR(Number(L[0]), 0.19695, 0.05 * 0.19695);
  LoopModel model;
  PrepareLoopInductance(model);
  // Entries 1..39 of the table: row distances 1..17, 900, then the off-axis pairs in order.
  std::vector<std::pair<int, int>> offsets;
  for (int dist = 1; dist <= 17; ++dist) offsets.emplace_back(dist, 0);
  offsets.emplace_back(900, 0);
  for (int dv = 1; dv <= 6; ++dv)
    for (int du = dv; du <= 6; ++du) offsets.emplace_back(du, dv);
  ASSERT_EQ(offsets.size(), 39u);
  for (std::size_t e = 1; e < 40; ++e) {
    const auto [du, dv] = offsets[e - 1];
    if (L[e].empty()) continue;
    // Beyond 6 pixels the model has the fit, not the table: it is checked at 900 only.
    if (du > 6 && du != 900) continue;
    const double table = LoopInductance(model, du, dv) * 1e6;
    EXPECT_NEAR(Number(L[e]), table, 2e-3 * table)
        << "entry " << e << " (" << du << ", " << dv << ")";
    const double rsDc = 2 * kCopperOhmMetres / 1e-6;
    EXPECT_NEAR(Number(R[e]), rsDc, 5e-3 * rsDc) << "entry " << e;
  }
}

TEST(ParameterStudies, ListRowsKeepASeriesOnOneLine) {
  StudyRig rig("lists");
  Context& ctx = rig.ctx;
  const std::string path = (rig.folder / "list.txt").string();
  EXPECT_TRUE(AppendRows(ctx, {{path, "1"}}, 1, TableLayout::List));
  EXPECT_TRUE(AppendRows(ctx, {{path, "2"}}, 2, TableLayout::List));
  EXPECT_EQ(rig.Read("list.txt"), "1,2");
  // Always appending (switch 23): a second series starts a line of its own.
  ctx.state.switches[Switch::AlwaysAppend] = true;
  EXPECT_TRUE(AppendRows(ctx, {{path, "3"}}, 1, TableLayout::List));
  EXPECT_TRUE(AppendRows(ctx, {{path, "4"}}, 2, TableLayout::List));
  EXPECT_EQ(rig.Read("list.txt"), "1,2\r\n3,4");
  // The dry run (switch 24) writes nothing.
  ctx.state.switches[Switch::DryRun] = true;
  EXPECT_TRUE(AppendRows(ctx, {{path, "5"}}, 3, TableLayout::List));
  EXPECT_EQ(rig.Read("list.txt"), "1,2\r\n3,4");
}

// The fitting studies calibrate letters A..F only: a run name that ends otherwise is refused
// with a message before anything is read or solved, and so are target files that cannot be used.
TEST(ParameterStudies, FittingStudiesRefuseBadLettersAndTargetsBeforeAnySolve) {
  StudyRig rig("refusals");
  Context& ctx = rig.ctx;
  rig.WriteTargets('G', std::vector<double>(29, 1.0));
  int beeps = 0;
  for (const char* name : {"run G", "run 7", ""}) {
    for (auto* study : {&StudyTarget, &StudyFunction}) {
      SetField(ctx, EditBoxName, name);
      const std::size_t before = rig.p.messages.size();
      study(ctx);
      ASSERT_EQ(rig.p.messages.size(), before + 1) << name;
      EXPECT_NE(rig.p.messages.back().text.find("A..F"), std::string::npos)
          << rig.p.messages.back().text;
      EXPECT_EQ(rig.p.beeps, ++beeps);
      EXPECT_EQ(rig.solves, 0) << name;
      EXPECT_TRUE(rig.Idle());
    }
  }
  EXPECT_FALSE(fs::exists(rig.folder / "Function G.txt"));

  // Target files that cannot be used: none, too few numbers, a word, a target the solve cannot
  // reach (the target study reads the last one).
  SetField(ctx, EditBoxName, "fit d");
  const std::vector<std::pair<std::string, std::string>> files = {
      {"", "cannot be read"},
      {"1\r\n2\r\n", "holds 2 numbers"},
      {"1\r\nabc\r\n", "line 2 \"abc\" is no number"},
  };
  for (const auto& [text, reason] : files) {
    fs::remove(rig.folder / "target D.txt");
    if (!text.empty()) rig.Write("target D.txt", text);
    StudyTarget(ctx);
    EXPECT_NE(rig.p.messages.back().text.find(reason), std::string::npos)
        << rig.p.messages.back().text;
  }
  std::vector<double> targets(29, 1.0);
  targets[28] = 0;
  rig.WriteTargets('D', targets);
  StudyTarget(ctx);
  EXPECT_NE(rig.p.messages.back().text.find("must be positive"), std::string::npos)
      << rig.p.messages.back().text;
  // The Function study checks all of its targets before its first fit.
  targets[28] = 1;
  targets[20] = -1;
  rig.WriteTargets('E', targets);
  SetField(ctx, EditBoxName, "fit e");
  StudyFunction(ctx);
  EXPECT_NE(rig.p.messages.back().text.find("target 20"), std::string::npos)
      << rig.p.messages.back().text;
  EXPECT_FALSE(fs::exists(rig.folder / "Function E.txt"));
  EXPECT_EQ(rig.solves, 0);
  EXPECT_TRUE(rig.Idle());
}

// The target study's secant steps on the decay factor of the letter until the solved Rs at
// 10 GHz meets the last target. The target here is the Rs solved with the factor 0.45 for the
// round wires' letter D, so the fit must find 0.45 again.
TEST(ParameterStudies, TargetStudyFindsTheDecayFactorOfItsTarget) {
  StudyRig rig("target");
  Context& ctx = rig.ctx;
  SetField(ctx, EditBoxFrequency, "10000");
  ctx.state.calibrationKind = u'D';
  ctx.state.switches[Switch::FitDecay] = true;
  const std::optional<double> rs = SolveRs(ctx, 0.45);
  ASSERT_TRUE(rs);
  EndSolve(ctx);
  ctx.state.calibrationKind = 0;
  ctx.state.switches[Switch::FitDecay] = false;
  std::vector<double> targets(29, 1.0);
  targets[28] = *rs;
  rig.WriteTargets('D', targets);

  SetField(ctx, EditBoxFrequency, "1");
  SetField(ctx, EditBoxName, "fit d");
  rig.solves = 0;
  rig.names.clear();
  rig.duringSolve = [&ctx] {
    EXPECT_TRUE(ctx.state.switches[Switch::FitDecay]);
    EXPECT_EQ(ctx.state.calibrationKind, u'D');
    EXPECT_FALSE(ctx.state.switches[Switch::AllLettersC]) << "all letters C only for letter C";
  };
  StudyTarget(ctx);
  ASSERT_EQ(rig.p.messages.size(), 0u) << rig.p.messages[0].text;
  EXPECT_EQ(rig.p.beeps, 0) << "the fit settled";
  EXPECT_GE(rig.solves, 3);
  EXPECT_LE(rig.solves, 8);
  EXPECT_EQ(rig.names[0], "fit d") << "the start value is solved under the user's name";
  EXPECT_EQ(rig.names[1], "  0.4612758943.   trying   0.4617371702");
  const std::string result = ctx.panel.edits[EditBoxName].text;
  ASSERT_EQ(result.rfind("D ", 0), 0u) << result;
  EXPECT_NEAR(Number(result.substr(2)), 0.45, 1e-6) << result;
  EXPECT_EQ(ctx.panel.edits[EditBoxFrequency].text, "10000");
  EXPECT_FALSE(ctx.state.switches[Switch::FitDecay]);
  EXPECT_TRUE(rig.Idle());

  // Letter C is fitted with every surface taken as C and without skin correction. A letter with
  // no effect on Rs cannot be fitted: two equal trials end the fit with a beep. A stop gives the
  // user's name back.
  rig.WriteTargets('C', targets);
  SetField(ctx, EditBoxName, "fit C");
  rig.duringSolve = [&ctx] {
    EXPECT_TRUE(ctx.state.switches[Switch::AllLettersC] &&
                ctx.state.switches[Switch::NoSkinCorrection] &&
                ctx.state.switches[Switch::FitDecay]);
    ctx.state.abortRequested = true;
  };
  StudyTarget(ctx);
  EXPECT_EQ(ctx.panel.edits[EditBoxName].text, "fit C");
  EXPECT_FALSE(ctx.state.switches[Switch::AllLettersC] ||
               ctx.state.switches[Switch::NoSkinCorrection] ||
               ctx.state.switches[Switch::FitDecay]);
  EXPECT_TRUE(rig.Idle());
  rig.WriteTargets('A', targets);
  SetField(ctx, EditBoxName, "fit A");
  rig.duringSolve = nullptr;
  rig.solves = 0;
  StudyTarget(ctx);
  EXPECT_EQ(rig.solves, 2);
  EXPECT_EQ(rig.p.beeps, 1);
  EXPECT_EQ(ctx.panel.edits[EditBoxName].text, "A   0.5065826454");
}

// The Function study with a stand-in for the solver whose Rs is twice the trial value: the
// secant lands on each target's half at once and confirms it. Every fit starts from the letter's
// column of the correction table; the fitted values are clipped to 0.1 .. 2.
TEST(ParameterStudies, FunctionStudyFitsEveryStepAndWritesOneLine) {
  StudyRig rig("function");
  Context& ctx = rig.ctx;
  SetField(ctx, EditBoxTotalConductorPixels, "8");
  SetField(ctx, EditBoxName, "fit e");
  ctx.state.switches[Switch::SkipLowSteps] = true;  // the first 11 steps are written as 1 unsolved
  std::vector<double> targets(29);
  for (int i = 0; i < 29; ++i) targets[static_cast<std::size_t>(i)] = 1.2 + 0.01 * i;
  targets[20] = 5.0;  // 2.5, clipped to 2
  targets[21] = 0.1;  // 0.05, written as 0.1
  rig.WriteTargets('E', targets);
  std::vector<double> firstTrials;
  std::string lastFrequency;
  rig.duringSolve = [&] {
    EXPECT_TRUE(ctx.state.switches[Switch::FitCorrection]);
    if (ctx.panel.edits[EditBoxFrequency].text != lastFrequency) {
      lastFrequency = ctx.panel.edits[EditBoxFrequency].text;
      firstTrials.push_back(ctx.state.calibrationValue);
    }
  };
  rig.p.onPendingEvents = [&ctx] {
    if (ctx.state.solveInProgress) ctx.results.Rs = 2 * ctx.state.calibrationValue;
  };
  rig.Write("Function E.txt", "an older line");
  StudyFunction(ctx);
  ASSERT_EQ(rig.p.messages.size(), 0u) << rig.p.messages[0].text;
  EXPECT_EQ(rig.p.beeps, 0);
  EXPECT_TRUE(rig.Idle());
  EXPECT_FALSE(ctx.state.switches[Switch::FitCorrection]);

  ASSERT_EQ(firstTrials.size(), 18u);
  for (int i = 11; i < 29; ++i) {
    EXPECT_EQ(firstTrials[static_cast<std::size_t>(i - 11)], SkinCorrectionColumn(4, i)) << i;
  }
  EXPECT_EQ(rig.frequencies.front(), CompactText(0.001 * std::pow(10.0, 11 / 4.0)));
  EXPECT_NEAR(ctx.state.frequencyMHz, 10000, 1e-9) << "the last step is 10 GHz";

  const std::string line = rig.Read("Function E.txt");
  EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
  const std::vector<std::string> rows = Split(line, ',');
  ASSERT_EQ(rows.size(), 29u) << line;
  for (int i = 0; i < 29; ++i) {
    const std::string& row = rows[static_cast<std::size_t>(i)];
    EXPECT_EQ(row.size(), 13u) << row;
    double expected = i < 11 ? 1.0 : targets[static_cast<std::size_t>(i)] / 2;
    if (i == 20) expected = 2.0;
    if (i == 21) expected = 0.1;
    EXPECT_NEAR(Number(row), expected, 1e-8) << "step " << i;
  }
}

// "Stop" ends a study after the current solve: that solve writes no row, the panel goes back to
// idle without the end tone, and the next study starts afresh. While a study runs, every other
// study, script and new cross-section is denied.
TEST(ParameterStudies, StopEndsAStudyWithoutTheStoppedRow) {
  StudyRig rig("stop");
  Context& ctx = rig.ctx;
  SetField(ctx, EditBoxName, "3");
  rig.Write("3.txt", "BEE\n");
  rig.duringSolve = [&] {
    if (rig.solves == 2) {
      StudyLandRs(ctx);
      NewGeometry(ctx, GeomCoaxial);
      RunScript(ctx);
      rig.Type(u"&G");
    }
    if (rig.solves == 4) RequestStop(ctx);
  };
  const std::size_t waves = rig.p.waves.size();
  rig.Type(u"&T");
  EXPECT_EQ(rig.solves, 4);
  int denied = 0;
  for (const auto& m : rig.p.messages)
    denied += m.text == "Request denied.  A solve is in progress.";
  EXPECT_EQ(denied, 3);
  EXPECT_EQ(rig.p.beeps, 3) << "one with each denial; the script is refused silently";
  EXPECT_EQ(ctx.state.geometryKind, GeomTwinlead);
  EXPECT_FALSE(fs::exists(rig.folder / "LandRs 3 Inductances.txt"));
  EXPECT_EQ(rig.Read("Twinlead Inductances 13.txt").size(), 3 * 12u) << "three rows";
  EXPECT_EQ(rig.Read("Twinlead Resistances 13.txt").size(), 3 * 12u);
  EXPECT_TRUE(rig.Idle());
  EXPECT_EQ(rig.p.waves.size(), waves) << "no end tone";

  rig.duringSolve = nullptr;
  rig.solves = 0;
  rig.Type(u"&T");
  EXPECT_EQ(rig.solves, 10);
  EXPECT_EQ(rig.Read("Twinlead Inductances 13.txt").size(), 10 * 12u) << "a new series";
}

// The studies that tabulate do not start on an invalid panel; a study that a script typed and
// that failed ends the script.
TEST(ParameterStudies, InvalidInputsEndTheStudyAndTheScriptThatTypedIt) {
  StudyRig rig("invalid");
  Context& ctx = rig.ctx;
  SetField(ctx, EditBoxTotalConductorPixels, "1");
  rig.Type(u"&L");
  ASSERT_EQ(rig.p.messages.size(), 1u);
  EXPECT_EQ(rig.p.messages[0].text, "The LandRs study was not run: the pixel total is not valid.");
  EXPECT_EQ(rig.solves, 0);
  EXPECT_TRUE(rig.Idle());
  EXPECT_TRUE(fs::is_empty(rig.folder));

  SetField(ctx, EditBoxTotalConductorPixels, "100");
  rig.Write("script.txt", "NAM twelve\nKEY &T\nBEE\n");
  const ScriptResult r = RunScriptFile(ctx, (rig.folder / "script.txt").string());
  EXPECT_EQ(r.outcome, ScriptOutcome::Failed);
  EXPECT_EQ(r.stopLine, 2);
  EXPECT_NE(rig.p.messages.back().text.find("\"twelve\" is none"), std::string::npos)
      << rig.p.messages.back().text;
  EXPECT_EQ(rig.solves, 0);
  EXPECT_EQ(rig.p.beeps, 1) << "the failed study's beep; BEE did not run";
}

}  // namespace
}  // namespace zolva
