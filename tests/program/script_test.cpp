#include "program/script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "batch_main.h"
#include "platform/headless_platform.h"
#include "platform/image_codec.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/script_commands.h"
#include "support/program_rig.h"
#include "support/read_file.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

using testing::ReadWholeFile;

// Table rows as the tables hold them: a fixed-point number with 8 decimals and CR LF.
int CountRows(const std::string& table) {
  static const std::regex row(R"( *-?\d+\.\d{8}\r\n)");
  int n = 0;
  for (auto it = std::sregex_iterator(table.begin(), table.end(), row);
       it != std::sregex_iterator(); ++it) {
    ++n;
  }
  return n;
}

// A started program without windows: main window and control panel created, ready, four
// processors, the start-up script already checked, a fresh program folder.
struct ScriptRig : testing::ProgramRig {
  std::vector<std::string> statuses;
  // Stands in for the solvers: every solve that reaches its set-up counts as finished, with an L
  // that tells the solves apart. The DIA field is recorded at each solve.
  bool fakeSolves = false;
  int fakeCount = 0;
  std::vector<std::string> solvedDiameters;

  explicit ScriptRig(const std::string& tag) : ProgramRig("zolva-script-" + tag, 4) {
    ctx.state.ShowStatusHook = [this](const std::string& s) { statuses.push_back(s); };
    p.onPendingEvents = [this] {
      if (!fakeSolves || !ctx.state.solveInProgress) return;
      const std::string& dia = ctx.panel.edits[EditBoxWireDiameter].text;
      if (!ctx.state.solveSucceeded) {
        ++fakeCount;
        solvedDiameters.push_back(dia);
      }
      ctx.state.solveSucceeded = true;
      ctx.results.L = 1e-6 * fakeCount;
      ctx.results.Rs = 0.5 * fakeCount;
    };
    Start();
    // A small map keeps the real solve set-ups quick.
    SetField(ctx, EditBoxTotalConductorPixels, "100");
  }
  ScriptResult Run(const std::string& text, const std::string& name = "script.txt") {
    return RunScriptFile(ctx, Write(name, text).string());
  }
};

// The script keeps its reading of every word, and says where it read something other than what
// was written: a cut word, a word that is no number, words left over, a number out of range. A
// byte-order mark in front of the first line is no text.
TEST(ScriptLanguage, ReadingsThatDifferFromTheTextAreNamed) {
  ScriptRig rig("warnings");
  rig.p.echoWarnings = false;
  const ScriptResult result = rig.Run(
      "\xEF\xBB\xBF"
      "FRE 1.000000000000000e+03\nDIA 1 mm\nDEB 2x T\nTHR abc\nBOX 99 T\n"
      "THR 500\nNAM quiet | a comment is no left-over word\nDEB 5 T\n");
  EXPECT_EQ(result.outcome, ScriptOutcome::Completed);
  const std::vector<std::string>& w = rig.p.warnings;
  // A field command reads the rest of its line as the panel reads its field: the long number and
  // "1 mm" are whole values, not cut or left-over words.
  ASSERT_EQ(w.size(), 4u) << ::testing::PrintToString(w);
  EXPECT_NE(w[0].find("line 3 \"DEB 2x T\": \"2x\" is not a whole number"), std::string::npos);
  EXPECT_NE(w[1].find("line 4 \"THR abc\": \"abc\" is not a whole number"), std::string::npos);
  EXPECT_NE(w[2].find("line 5 \"BOX 99 T\": \"99\" is out of range"), std::string::npos);
  EXPECT_NE(w[3].find("line 6 \"THR 500\": \"500\" is out of range; the thread count is 4"),
            std::string::npos)
      << w[3];
  // The readings themselves are kept: 1000 MHz, one millimetre, switch 0 cleared by the failed
  // number, one thread from "abc".
  EXPECT_EQ(rig.ctx.panel.edits[EditBoxFrequency].text, "1.000000000000000e+03");
  EXPECT_NEAR(rig.ctx.panel.wireDiameter, 0.001, 1e-12);
  EXPECT_FALSE(rig.ctx.state.switches[Switch::SkipPrediction]);
  EXPECT_TRUE(rig.ctx.state.switches[Switch::Unused5]);
  EXPECT_EQ(rig.ctx.panel.edits[EditBoxName].text, "quiet");
}

TEST(ScriptLanguage, FieldsSwitchesThreadsAndLinesThatDoNothing) {
  ScriptRig rig("fields");
  Context& ctx = rig.ctx;
  fs::path other = rig.folder / "other";
  ScriptResult r = rig.Run(
      "frequency 10 | ten megahertz\r\n"
      "| a comment only\r\n"
      "\r\n"
      "\t\t\r\n"
      "THR 2\r\n"
      "THR +\r\n"
      "BEE\r\n"
      "deb 9 t\r\n"
      "BOX 10 T\r\n"
      "BOX 5 T\r\n"
      "BOX 99 T\r\n"
      "RES F\r\n"
      "WIN 2\r\n"
      "WIN 7\r\n"
      "SEP 7mm\r\n"
      "FOL " +
      other.string() + "\r\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed);
  EXPECT_EQ(r.stopLine, 0);
  EXPECT_EQ(ctx.panel.edits[EditBoxFrequency].text, "10");
  EXPECT_DOUBLE_EQ(ctx.state.frequencyMHz, 10.0);
  EXPECT_EQ(ctx.panel.threadCount, 3);
  EXPECT_EQ(ctx.panel.labels[LabelThreads], " - 3 threads");
  EXPECT_EQ(rig.p.beeps, 2) << "BEE and the unknown check box";
  EXPECT_TRUE(ctx.state.switches[Switch::KeyboardSwitches]);
  EXPECT_NE(ctx.panel.labels[LabelSwitches].find('9'), std::string::npos);
  EXPECT_TRUE(ctx.panel.checks[CheckBoxAddTopPlane]);
  EXPECT_TRUE(ctx.panel.checks[CheckBoxClassicRelaxation]);
  EXPECT_TRUE(CapacitanceJobOf(ctx).options.classicRelaxation);
  EXPECT_FALSE(ctx.panel.checks[CheckBoxRestrict]);
  EXPECT_EQ(rig.p.windowStates, std::vector<int>{2});
  EXPECT_NEAR(ctx.panel.wireSeparation, 0.007, 1e-12);
  EXPECT_EQ(ctx.state.programFolder, other.string() + "/");
  // The end steps: the changed panel is built, the script flag is down, a redraw is due.
  EXPECT_FALSE(ctx.state.setupChanged);
  EXPECT_FALSE(ctx.state.scriptRunning);
  EXPECT_EQ(ctx.state.redrawCountdown, 2);

  // A number that does not convert reads as 0 and empties the rest of its line only; the
  // thread count is kept within 1 .. the processor count.
  ctx.state.programFolder = rig.folder.string() + "/";
  ctx.state.switches[Switch::SkipPrediction] = true;
  r = rig.Run("DEB 2x T\nTHR x\nTHR +\nTHR 99\nTHR +\nLAU 1x %notes.txt\nLAU 3 %notes.txt\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed);
  EXPECT_FALSE(ctx.state.switches[Switch::SkipPrediction]);
  EXPECT_FALSE(ctx.state.switches[Switch::StopAfterPredictedField]);
  EXPECT_EQ(ctx.panel.threadCount, 4);
  ASSERT_EQ(rig.p.documents.size(), 2u);
  EXPECT_EQ(rig.p.documents[0].path, "");
  EXPECT_EQ(rig.p.documents[0].show, 0);
  EXPECT_EQ(rig.p.documents[1].path, rig.folder.string() + "/notes.txt");
  EXPECT_EQ(rig.p.documents[1].parameters, " ");
  EXPECT_EQ(rig.p.documents[1].show, 3);
}

TEST(ScriptLanguage, SweepStepsByDecadesAndWritesOneSeries) {
  // The step texts: Str(v, 10, 10) cut to 11 characters, then the unit in capitals.
  EXPECT_EQ(SweepFieldText(EditBoxWireDiameter, 0.05, "IN"), "0.050000000IN");
  EXPECT_EQ(SweepFieldText(EditBoxFrequency, 10.0, ""), "10.00000000");
  EXPECT_EQ(SweepFieldText(EditBoxFrequency, 123456789012.0, ""), "123456789012");
  EXPECT_EQ(SweepFieldText(EditBoxTotalConductorPixels, 1258.9, ""), "1259");
  double v = 0;
  std::string unit;
  EXPECT_TRUE(SplitDimension("0.05 in", v, unit));
  EXPECT_DOUBLE_EQ(v, 0.05);
  EXPECT_EQ(unit, "IN");
  EXPECT_TRUE(SplitDimension("12awg", v, unit));
  EXPECT_EQ(unit, "AWG");
  EXPECT_FALSE(SplitDimension("in", v, unit));

  ScriptRig rig("sweep");
  rig.fakeSolves = true;
  Context& ctx = rig.ctx;
  SetField(ctx, EditBoxWireDiameter, "0.05 in");
  rig.Write("test Inductances.txt", "an older table\r\n");
  ScriptResult r = rig.Run("NAM test\nSWE DIA 3 10\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  // Three steps a tenth of a decade apart: 0.05, 0.0629 and 0.0792 inches.
  ASSERT_EQ(rig.solvedDiameters.size(), 3u);
  EXPECT_EQ(rig.solvedDiameters[0], "0.050000000IN");
  EXPECT_EQ(rig.solvedDiameters[1], "0.062946270IN");
  EXPECT_EQ(rig.solvedDiameters[2], "0.079244659IN");
  // The first row of the script's first series replaced the older table.
  std::string inductances = ReadWholeFile(rig.folder / "test Inductances.txt");
  EXPECT_EQ(CountRows(inductances), 3);
  EXPECT_EQ(inductances.find("older"), std::string::npos);
  EXPECT_EQ(CountRows(ReadWholeFile(rig.folder / "test Resistances.txt")), 3);

  // NAM starts new L and Rs tables: two LRS lines give two rows in each, replacing the three.
  r = rig.Run("NAM test\nLRS\nLRS\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  EXPECT_EQ(CountRows(ReadWholeFile(rig.folder / "test Inductances.txt")), 2);
  EXPECT_EQ(CountRows(ReadWholeFile(rig.folder / "test Resistances.txt")), 2);

  // Bad sweeps end the script at their line.
  for (const char* line : {"SWE XYZ 3 10", "SWE DIA 0 10", "SWE DIA 3 -1", "SWE DIA 3 0"}) {
    r = rig.Run(std::string("NAM test\n") + line + "\nBEE\n");
    EXPECT_EQ(r.outcome, ScriptOutcome::Failed) << line;
    EXPECT_EQ(r.stopLine, 2) << line;
  }
  EXPECT_EQ(rig.p.beeps, 0);
}

TEST(ScriptLanguage, DryRunSweepChangesTheFieldOnceAndWritesNothing) {
  ScriptRig rig("dry");
  Context& ctx = rig.ctx;
  ScriptResult r = rig.Run("NAM dry\nDEB 24 T\nFRE 10\nSWE FRE 5 1\nLRS\nBEE\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  // One step: 10 MHz, written as the sweep writes it; the second step would have been 100.
  EXPECT_EQ(ctx.panel.edits[EditBoxFrequency].text, "10.00000000");
  EXPECT_FALSE(fs::exists(rig.folder / "dry Inductances.txt"));
  EXPECT_FALSE(fs::exists(rig.folder / "dry Resistances.txt"));
  // The rest of the script ran; the sweep's stop request ended with the sweep.
  EXPECT_EQ(rig.p.beeps, 1);
  EXPECT_FALSE(ctx.state.abortRequested);
  EXPECT_FALSE(ctx.state.operationFailed);
}

TEST(ScriptLanguage, ALineThatEndsTheScriptIsNamed) {
  ScriptRig rig("stops");
  Context& ctx = rig.ctx;
  ScriptResult r = rig.Run("BEE\nFOO 1\nBEE\n", "unknown.txt");
  EXPECT_EQ(r.outcome, ScriptOutcome::Failed);
  EXPECT_EQ(r.stopLine, 2);
  EXPECT_EQ(rig.p.beeps, 1);
  EXPECT_TRUE(ctx.state.operationFailed);
  EXPECT_FALSE(ctx.state.scriptRunning);
  EXPECT_NE(r.message.find("unknown.txt"), std::string::npos) << r.message;
  EXPECT_NE(r.message.find("line 2 (FOO 1)"), std::string::npos) << r.message;
  ASSERT_FALSE(rig.statuses.empty());
  EXPECT_EQ(rig.statuses.back(), r.message);

  // A switch number outside 0..49.
  r = rig.Run("DEB 50 T\nBEE\n");
  EXPECT_EQ(r.stopLine, 1);
  EXPECT_NE(r.message.find("50"), std::string::npos) << r.message;
  EXPECT_EQ(rig.p.beeps, 1);

  // A solve that cannot start (the panel's pixel total is invalid).
  r = rig.Run("TOT 1\nLRS\nBEE\n");
  EXPECT_EQ(r.stopLine, 2) << r.message;
  EXPECT_EQ(rig.p.beeps, 2) << "the beep of the failed solve";

  // A dump into a folder that does not exist: the message names the file.
  SetField(ctx, EditBoxTotalConductorPixels, "100");
  const std::size_t before = rig.p.messages.size();
  r = rig.Run("FOL " + (rig.folder / "missing").string() + "\nNAM gone\nVMA\nBEE\n");
  EXPECT_EQ(r.stopLine, 3);
  ASSERT_GT(rig.p.messages.size(), before);
  EXPECT_NE(rig.p.messages.back().text.find("missing/gone Cvolts.txt"), std::string::npos);
  ctx.state.programFolder = rig.folder.string() + "/";

  // A Usermap that cannot be loaded.
  r = rig.Run("OPE %no such map.png\nBEE\n");
  EXPECT_EQ(r.stopLine, 1);
  EXPECT_NE(r.message.find("no such map.png"), std::string::npos) << r.message;
}

TEST(ScriptLanguage, AStoppedSolveWritesNoRowAndEndsTheScript) {
  // A coax of 100 conductor pixels: the closed line's solve ends by itself and its row is
  // written. The same solve stopped after a few iterations (the "S" key) reports what it reached
  // on the results page, but it is no result: no table row, no success, and the script ends.
  ScriptRig rig("stopped");
  Context& ctx = rig.ctx;
  ScriptResult r = rig.Run("NAM coax\nCOA\nCGP\n");
  ASSERT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  EXPECT_EQ(CountRows(ReadWholeFile(rig.folder / "coax Capacitances.txt")), 1);

  int events = 0;
  rig.p.onPendingEvents = [&ctx, &events] {
    if (ctx.state.solveInProgress && ++events >= 5) ctx.state.abortRequested = true;
  };
  r = rig.Run("NAM halted\nCOA\nCGP\nBEE\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Failed);
  EXPECT_EQ(r.stopLine, 3);
  EXPECT_NE(r.message.find("did not complete"), std::string::npos) << r.message;
  EXPECT_FALSE(fs::exists(rig.folder / "halted Capacitances.txt"));
  EXPECT_FALSE(ctx.state.solveSucceeded);
  EXPECT_GT(ctx.results.C, 0.0);
}

TEST(ScriptLanguage, RefusalsLineLimitAndAFreshStart) {
  ScriptRig rig("refusals");
  Context& ctx = rig.ctx;
  ctx.state.scriptRunning = true;
  ScriptResult r = rig.Run("BEE\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::NotRun);
  ASSERT_EQ(rig.p.messages.size(), 1u);
  EXPECT_EQ(rig.p.messages[0].text, "Denied.  A script is running.");
  EXPECT_EQ(rig.p.messages[0].caption, "zolva");
  ctx.state.scriptRunning = false;

  // A missing file does nothing, silently.
  r = RunScriptFile(ctx, (rig.folder / "absent.txt").string());
  EXPECT_EQ(r.outcome, ScriptOutcome::NotRun);
  EXPECT_EQ(rig.p.messages.size(), 1u);

  // 1000 lines run; 1001 are refused before any runs, naming the file and the limit.
  std::string thousand;
  for (int i = 0; i < 1000; ++i) thousand += "BEE\r\n";
  r = rig.Run(thousand);
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed);
  EXPECT_EQ(rig.p.beeps, 1000);
  r = rig.Run(thousand + "BEE", "long.txt");
  EXPECT_EQ(r.outcome, ScriptOutcome::Failed);
  EXPECT_EQ(rig.p.beeps, 1000);
  ASSERT_EQ(rig.p.messages.size(), 2u);
  EXPECT_NE(rig.p.messages[1].text.find("long.txt"), std::string::npos);
  EXPECT_NE(rig.p.messages[1].text.find("1000"), std::string::npos);

  // A failure left over from an earlier script does not stop the next one.
  ctx.state.operationFailed = true;
  r = rig.Run("BEE\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed);
  EXPECT_EQ(rig.p.beeps, 1001);

  // A solve in progress refuses the script without a word.
  ctx.state.solveInProgress = true;
  r = rig.Run("BEE\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::NotRun);
  EXPECT_EQ(rig.p.beeps, 1001);
  ctx.state.solveInProgress = false;

  // The start-up script, then the script named on the panel.
  ctx.state.startupScriptChecked = false;
  rig.Write("StartupScript.txt", "THR 1\n");
  rig.Write("named.txt", "THR 2\n");
  SetField(ctx, EditBoxName, "named");
  RunScript(ctx);
  EXPECT_EQ(ctx.panel.threadCount, 1);
  ctx.state.startupScriptChecked = true;
  RunScript(ctx);
  EXPECT_EQ(ctx.panel.threadCount, 2);
}

TEST(ScriptLanguage, KeyF8RunsTheNamedScriptNestedAndTerEndsEverything) {
  ScriptRig rig("nested");
  Context& ctx = rig.ctx;
  // The key pair F, 8 reaches the command interpreter itself.
  rig.Write("next.txt", "THR 2\nBEE\n");
  ScriptResult r = rig.Run("NAM next\nKEY F8\nTHR 1\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  EXPECT_EQ(rig.p.beeps, 1);
  EXPECT_EQ(ctx.panel.threadCount, 1) << "the outer script went on after the inner one";
  EXPECT_FALSE(ctx.state.scriptRunning);
  EXPECT_TRUE(ctx.state.startupScriptChecked);
  EXPECT_EQ(ctx.state.scriptNesting, 0);

  // A script that runs itself stops at the nesting limit with a message, not with the stack.
  rig.Write("self.txt", "KEY F8\nBEE\n");
  r = rig.Run("NAM self\nKEY F8\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed);
  EXPECT_EQ(rig.p.beeps, 1 + kMaxScriptNesting - 1);
  ASSERT_EQ(rig.p.messages.size(), 1u);
  EXPECT_NE(rig.p.messages[0].text.find("Denied."), std::string::npos);

  // TER inside the inner script ends the outer one too, without the end steps.
  rig.Write("stop.txt", "TER\nBEE\n");
  const std::size_t waves = rig.p.waves.size();
  r = rig.Run("NAM stop\nKEY F8\nBEE\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Terminated);
  EXPECT_TRUE(rig.p.quitRequested);
  EXPECT_EQ(rig.p.beeps, kMaxScriptNesting);
  EXPECT_EQ(rig.p.waves.size(), waves) << "no end-of-script tone";
  EXPECT_FALSE(ctx.state.scriptRunning);

  // ERA deletes its own file before it ends the program.
  ctx.state.terminateRequested = false;
  r = rig.Run("ERA\nBEE\n", "erase.txt");
  EXPECT_EQ(r.outcome, ScriptOutcome::Terminated);
  EXPECT_FALSE(fs::exists(rig.folder / "erase.txt"));
}

TEST(ScriptLanguage, OpenLoadsAUsermapFromTheProgramFolder) {
  ScriptRig rig("open");
  Context& ctx = rig.ctx;
  // A ground ring round a +1 volt pixel block, in the built-in copper colours.
  const RgbImage image = testing::RingAroundBlock();
  EncodePngFile((rig.folder / "Usermap tiny (1mm).png").string(), image);
  ScriptResult r = rig.Run("OPE %Usermap tiny (1mm).png\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  EXPECT_EQ(ctx.state.geometryKind, GeomUsermap);
  EXPECT_EQ(ctx.state.mapName, "tiny");
  EXPECT_EQ(ctx.map.Uwid, 20);
  EXPECT_NEAR(ctx.state.pixelWidth, 0.001, 1e-12);
}

// zolva-batch SCRIPT: exit status 0 for a script that ran to its end, non-zero with a message that
// names the line or the file otherwise. The examples run to their end (here as a dry run, through
// a start-up script that sets switch 24, so that no solver is needed).
TEST(ScriptLanguage, BatchRunsScriptsAndTheExamples) {
  ScriptRig rig("batch");
  const std::string folder = rig.folder.string() + "/";
  auto batch = [&](const std::string& script, std::string& out, std::string& err) {
    HeadlessPlatform platform;
    platform.processorCountOverride = 2;
    std::ostringstream o, e;
    const char* argv[] = {"zolva-batch", script.c_str(), "--folder", folder.c_str()};
    int code = RunBatch(4, argv, platform, o, e);
    out = o.str();
    err = e.str();
    return code;
  };
  std::string out, err;
  EXPECT_NE(batch(rig.Write("bad.txt", "BEE\nXYZ\n").string(), out, err), 0);
  EXPECT_NE(err.find("line 2"), std::string::npos) << err;
  EXPECT_NE(
      batch(rig.Write("table.txt", "FOL /nonexistent-zolva-folder\nVMA\n").string(), out, err), 0);
  EXPECT_NE(err.find("/nonexistent-zolva-folder/Default Cvolts.txt"), std::string::npos) << err;
  EXPECT_NE(batch((rig.folder / "absent.txt").string(), out, err), 0);
  EXPECT_EQ(batch(rig.Write("good.txt", "THR 1\nNAM fine\n").string(), out, err), 0) << err;

  rig.Write("StartupScript.txt", "DEB 24 T | dry run: set-ups only\n");
  const fs::path top = fs::path(ZOLVA_FIXTURES).parent_path().parent_path();
  const fs::path cwd = fs::current_path();
  fs::current_path(top);  // the examples open their Usermap by a path from the top folder
  for (const char* example : {"coax-solve.txt", "twinlead-sweep.txt", "usermap-solve.txt",
                              "coax-rlgc.txt", "coax-setup.txt", "microstrip-solve.txt"}) {
    EXPECT_EQ(batch((top / "examples" / example).string(), out, err), 0) << example << "\n" << err;
  }
  fs::current_path(cwd);
}

TEST(ScriptLanguage, BatchRefusesBadOptionsAndStopsOnCtrlC) {
  ScriptRig rig("batch-options");
  const std::string folder = rig.folder.string() + "/";
  const std::string script = rig.Write("sweep.txt", "COA\nTOT 300\nCGP\nNAM after\n").string();
  const std::string file = script;  // a file, not a folder
  auto batch = [&](std::vector<const char*> args, std::string& out, std::string& err) {
    HeadlessPlatform platform;
    platform.processorCountOverride = 2;
    std::ostringstream o, e;
    args.insert(args.begin(), "zolva-batch");
    int code = RunBatch(static_cast<int>(args.size()), args.data(), platform, o, e);
    out = o.str();
    err = e.str();
    return code;
  };
  std::string out, err;
  EXPECT_EQ(batch({"--help"}, out, err), 0);
  EXPECT_NE(out.find("usage: zolva-batch"), std::string::npos);
  EXPECT_EQ(batch({"--load", ""}, out, err), 2);
  EXPECT_NE(err.find("--load needs a file name"), std::string::npos) << err;
  EXPECT_EQ(batch({""}, out, err), 2);
  EXPECT_NE(err.find("empty script name"), std::string::npos) << err;
  EXPECT_EQ(batch({"--folder", "/nonexistent-zolva-folder"}, out, err), 2);
  EXPECT_EQ(batch({"--folder", file.c_str()}, out, err), 2);
  EXPECT_NE(err.find("needs an existing folder"), std::string::npos) << err;

  // Ctrl-C: the script does not run to its end, nothing of it is written, the status says so.
  SignalInterrupt();
  const int code = batch({script.c_str(), "--folder", folder.c_str(), "--json"}, out, err);
  ClearInterrupts();
  EXPECT_EQ(code, 1);
  EXPECT_NE(err.find("interrupted (Ctrl-C or SIGTERM)"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(rig.folder / "after Capacitances.txt"));
  EXPECT_FALSE(fs::exists(rig.folder / "Default Capacitances.txt"));
}

// The manual's table of script commands names every command the interpreter knows, and only
// those; each has its line of help.
TEST(ScriptLanguage, ManualListsEveryCommand) {
  const std::string manual =
      testing::ReadWholeFile(std::filesystem::path(ZOLVA_PROGRAM_DIR) / "docs/manual.html");
  const std::size_t from = manual.find("<h3>The commands</h3>");
  ASSERT_NE(from, std::string::npos);
  const std::string table = manual.substr(from, manual.find("</table>", from) - from);
  std::set<std::string> documented;
  for (std::size_t at = table.find("<tr><td>"); at != std::string::npos;
       at = table.find("<tr><td>", at + 1)) {
    const std::size_t start = at + 8;
    std::string codes = table.substr(start, table.find("</td>", start) - start);
    for (std::size_t p = 0; p < codes.size(); p += 5) documented.insert(codes.substr(p, 3));
  }
  std::set<std::string> known;
  for (const ScriptCommand& command : ScriptCommands()) {
    EXPECT_TRUE(known.insert(command.code).second) << command.code << " twice";
    EXPECT_NE(command.help[0], '\0') << command.code;
  }
  EXPECT_EQ(known, documented);
}

}  // namespace
}  // namespace zolva
