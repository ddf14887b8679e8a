#include "program/solve_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/results_report.h"
#include "support/program_rig.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

// A started program without windows: main window and control panel created, ready set, the
// program folder a fresh temporary one. Status texts are recorded.
struct Rig : testing::ProgramRig {
  std::vector<std::string> statuses;
  int redraws = 0;
  std::function<void()> onEvents;  // a test's own reaction to event handling
  // Relaxations are cut short after a few rounds, as the "S" key would: the tests are about
  // the order of the stages, not about converged fields.
  int relaxRounds = 0;

  explicit Rig(const std::string& tag, bool shiftHeld = false)
      : ProgramRig("zolva-ctl-" + tag, std::nullopt) {
    p.modifierKeys.shift = shiftHeld;
    ctx.state.ShowStatusHook = [this](const std::string& s) {
      statuses.push_back(s);
      relaxRounds = 0;
    };
    p.onPendingEvents = [this] {
      if (onEvents) onEvents();
      bool relaxing = ctx.state.statusText.find("Relaxing") != std::string::npos;
      if (relaxing && ++relaxRounds >= 3) ctx.state.abortRequested = true;
    };
    ctx.state.RedrawMainWindowHook = [this] { ++redraws; };
    Start(/*scriptChecked=*/false);
  }

  int Count(const std::string& part) const {
    return static_cast<int>(std::count_if(statuses.begin(), statuses.end(), [&](const auto& s) {
      return s.find(part) != std::string::npos;
    }));
  }
};

TEST(SolveControl, FirstTickRunsStartupScriptOrBuilds) {
  // An invalid frequency makes a rebuild attempt visible through its message. Without a start-up
  // script the first tick rebuilds; with one it runs the script instead, unless Shift was held.
  struct Case {
    const char* tag;
    bool script, shift, rebuilds;
  };
  for (Case c : {Case{"plain", false, false, true}, Case{"script", true, false, false},
                 Case{"shift", true, true, true}}) {
    Rig rig(c.tag, c.shift);
    if (c.script) std::ofstream(rig.folder / "StartupScript.txt") << "| nothing to do\r\n";
    SetField(rig.ctx, EditBoxFrequency, "0");
    Tick(rig.ctx);
    Tick(rig.ctx);
    EXPECT_TRUE(rig.ctx.state.startupScriptChecked) << c.tag;
    EXPECT_FALSE(rig.ctx.state.setupChanged) << c.tag;
    EXPECT_EQ(rig.ctx.state.tickGuard, 0) << c.tag;
    ASSERT_EQ(rig.p.messages.size(), c.rebuilds ? 1u : 0u) << c.tag;
    if (c.rebuilds) {
      EXPECT_EQ(rig.p.messages[0].text, "Invalid frequency");
    }
  }
}

TEST(SolveControl, AStartupScriptThatStopsSaysSo) {
  Rig rig("startup-stops");
  rig.p.echoWarnings = false;
  std::ofstream(rig.folder / "StartupScript.txt") << "NAM fine\r\nBOGUS word\r\n";
  Tick(rig.ctx);
  Tick(rig.ctx);
  ASSERT_FALSE(rig.p.warnings.empty());
  EXPECT_EQ(
      rig.p.warnings.back().rfind("Script \"StartupScript.txt\" stopped at line 2 (BOGUS word)", 0),
      0u)
      << rig.p.warnings.back();
}

TEST(SolveControl, TickCountersLabelsAndGuard) {
  Rig rig("counters");
  Context& ctx = rig.ctx;
  ProgramState& s = ctx.state;
  s.setupChanged = false;

  // Nothing happens before start-up has finished or inside another tick.
  s.ready = false;
  Tick(ctx);
  EXPECT_EQ(s.tickCount, 0);
  s.ready = true;
  s.tickGuard = 1;
  Tick(ctx);
  EXPECT_EQ(s.tickCount, 0);
  s.tickGuard = 0;

  // The count is compared after its increment: the tick that passes 1000000 restarts it.
  s.tickCount = 999999;
  Tick(ctx);
  EXPECT_EQ(s.tickCount, 1000000);
  Tick(ctx);
  EXPECT_EQ(s.tickCount, 0);

  // A countdown acts once, on the second tick after the request.
  rig.redraws = 0;
  s.redrawCountdown = 2;
  Tick(ctx);
  EXPECT_EQ(rig.redraws, 0);
  Tick(ctx);
  Tick(ctx);
  EXPECT_EQ(rig.redraws, 1);

  // The elapsed time shows only while a solve runs.
  const double start = 45000.25;
  s.startTime = start;
  s.solveInProgress = true;
  rig.p.nowOverride = start + 5.0 / 86400.0;
  Tick(ctx);
  EXPECT_EQ(ctx.panel.labels[Label39], "0:05");
  rig.p.nowOverride = start + 727.0 / 86400.0;
  Tick(ctx);
  EXPECT_EQ(ctx.panel.labels[Label39], "12:07");
  s.solveInProgress = false;
  rig.p.nowOverride = start + 800.0 / 86400.0;
  Tick(ctx);
  EXPECT_EQ(ctx.panel.labels[Label39], "12:07");
  EXPECT_EQ(s.elapsedSeconds, 800);

  // The prediction notice expires once more than two seconds have passed.
  int refreshes = 0;
  s.RefreshDisplayHook = [&] { ++refreshes; };
  s.predictionFailed = true;
  s.predictionFailedAt = 798;
  Tick(ctx);
  EXPECT_TRUE(s.predictionFailed);
  rig.p.nowOverride = start + 801.0 / 86400.0;
  Tick(ctx);
  EXPECT_FALSE(s.predictionFailed);
  EXPECT_EQ(refreshes, 1);

  // An error inside a tick must not leave the guard raised, or the loop would stay silent.
  s.RedrawMainWindowHook = [] { throw std::runtime_error("redraw failed"); };
  s.redrawCountdown = 1;
  EXPECT_THROW(Tick(ctx), std::runtime_error);
  EXPECT_EQ(s.tickGuard, 0);
  int before = s.tickCount;
  Tick(ctx);
  EXPECT_EQ(s.tickCount, before + 1);

  // A start time of 0 (days since 1899) must not overflow the seconds counter.
  s.startTime = 0.0;
  rig.p.nowOverride = 1e9;
  Tick(ctx);
  EXPECT_GT(s.elapsedSeconds, 0);
}

TEST(SolveControl, ResumeOnceAndNeverUnderARunningStage) {
  Rig rig("resume");
  Context& ctx = rig.ctx;
  ctx.state.setupChanged = false;

  // Two clicks within one tick resume once, on the second tick.
  ctx.panel.resumeEnabled = true;
  RequestResume(ctx);
  RequestResume(ctx);
  Tick(ctx);
  EXPECT_TRUE(ctx.panel.resumeEnabled);
  Tick(ctx);
  EXPECT_FALSE(ctx.panel.resumeEnabled);  // a resumed relaxation disables Resume
  ctx.panel.resumeEnabled = true;
  Tick(ctx);
  Tick(ctx);
  EXPECT_TRUE(ctx.panel.resumeEnabled);

  // While a stopped stage is still unwinding, the resume waits for it.
  RequestResume(ctx);
  ctx.state.stageDepth = 1;
  Tick(ctx);
  Tick(ctx);
  Tick(ctx);
  EXPECT_TRUE(ctx.panel.resumeEnabled);
  ctx.state.stageDepth = 0;
  Tick(ctx);
  EXPECT_FALSE(ctx.panel.resumeEnabled);

  // A rebuild discards the grid, and with it a pending resume.
  ctx.panel.resumeEnabled = true;
  RequestResume(ctx);
  EXPECT_EQ(RebuildCrossSection(ctx), 0);
  EXPECT_EQ(ctx.state.resumeCountdown, 0);
  EXPECT_FALSE(ctx.panel.resumeEnabled);
}

TEST(SolveControl, RebuildMessagesDeferralAndPixelWidth) {
  Rig rig("rebuild");
  Context& ctx = rig.ctx;
  ProgramState& s = ctx.state;
  auto& msgs = rig.p.messages;

  SetField(ctx, EditBoxWireDiameter, "0");
  SetField(ctx, EditBoxTotalConductorPixels, "1");
  SetField(ctx, EditBoxFrequency, "0");
  // Geometry first, then the pixel total, then the frequency.
  EXPECT_EQ(RebuildCrossSection(ctx), 1);
  EXPECT_EQ(msgs.back().text, "Error in dimension");
  EXPECT_EQ(msgs.back().caption, "Invalid geometry");
  SetField(ctx, EditBoxWireDiameter, "0.05");
  EXPECT_EQ(RebuildCrossSection(ctx), 3);
  EXPECT_EQ(msgs.back().text, "Invalid pixel total");
  EXPECT_EQ(msgs.back().caption, "zolva");  // a message box always names the program
  SetField(ctx, EditBoxTotalConductorPixels, "1000");
  s.setupChanged = true;
  EXPECT_EQ(RebuildCrossSection(ctx), 2);
  EXPECT_EQ(msgs.back().text, "Invalid frequency");
  EXPECT_EQ(msgs.back().caption, "zolva");
  EXPECT_FALSE(s.setupChanged);
  EXPECT_EQ(msgs.size(), 3u);

  // With no rebuild pending an invalid panel refuses the solve silently.
  EXPECT_TRUE(CheckSetupForSolve(ctx));
  EXPECT_EQ(msgs.size(), 3u);
  SetField(ctx, EditBoxFrequency, "1");

  // A change made during a solve is dropped by the tick.
  s.startupScriptChecked = true;
  s.setupChanged = true;
  s.solveInProgress = true;
  Tick(ctx);
  EXPECT_FALSE(s.setupChanged);
  s.solveInProgress = false;

  // While a stopped stage unwinds, a rebuild waits in setupChanged and refuses solves.
  s.stageDepth = 1;
  s.setupChanged = true;
  ctx.results.C = 5e-11;
  EXPECT_EQ(RebuildCrossSection(ctx), kRebuildDeferred);
  Tick(ctx);
  EXPECT_TRUE(s.setupChanged);
  EXPECT_TRUE(CheckSetupForSolve(ctx));
  EXPECT_EQ(ctx.results.C, 5e-11);
  s.stageDepth = 0;
  Tick(ctx);
  EXPECT_FALSE(s.setupChanged);
  EXPECT_EQ(ctx.results.C, 0.0);
  EXPECT_EQ(msgs.size(), 3u);

  // Only an exactly equal pixel width leaves the map alone.
  s.setupChanged = false;
  s.pixelWidth = 0.001;
  s.requestedPixelWidth = 0.001;
  CheckPixelWidth(ctx);
  EXPECT_FALSE(s.setupChanged);
  s.requestedPixelWidth = std::nextafter(0.001, 1.0);
  CheckPixelWidth(ctx);
  EXPECT_TRUE(s.setupChanged);
}

// The whole default road: start-up ticks build the round twinlead, F4 solves it fully.
TEST(SolveControl, DefaultFlowAndStop) {
  Rig rig("flow");
  Context& ctx = rig.ctx;
  ProgramState& s = ctx.state;

  // No start-up script and no Shift: the first tick builds the default twinlead at once; the
  // second redraws the main window.
  Tick(ctx);
  ASSERT_TRUE(rig.p.messages.empty()) << rig.p.messages[0].text;
  EXPECT_FALSE(s.setupChanged);
  EXPECT_TRUE(s.startupScriptChecked);
  EXPECT_GT(ctx.map.condCount, 0);
  EXPECT_EQ(rig.redraws, 0);
  Tick(ctx);
  EXPECT_EQ(rig.redraws, 1);

  SolveFully(ctx);
  EXPECT_TRUE(rig.p.messages.empty());
  EXPECT_EQ(rig.Count("Searching map"), 2);  // one set-up per stage
  // Both stages ran and left their results; the page shows the combined column.
  EXPECT_GT(ctx.results.L, 0.0);
  EXPECT_GT(ctx.results.C, 0.0);
  EXPECT_NE(ResultsPageText(ctx).find("vf = "), std::string::npos);
  EXPECT_FALSE(s.solveInProgress);
  EXPECT_EQ(s.stageDepth, 0);
  EXPECT_FALSE(ctx.panel.stopEnabled);
  EXPECT_TRUE(ctx.panel.edits[EditBoxFrequency].enabled);
  EXPECT_TRUE(ctx.cindex.hasPlus && ctx.cindex.hasMinus);
  EXPECT_TRUE(ctx.grid.openBoundary);
  // Two wires in vacuum: the field regions hold only vacuum.
  EXPECT_EQ(ctx.results.vfAssumed, 1.0);
  // The end tone: a looping 200 Hz tone, 600 ms, then the short tone that stops it.
  ASSERT_EQ(rig.p.waves.size(), 2u);
  EXPECT_EQ(rig.p.waves[0].mode, SoundMode::AsyncLoop);
  EXPECT_EQ(rig.p.waves[1].mode, SoundMode::Async);
  EXPECT_EQ(rig.p.beeps, 0);

  // "Solve for C and Gp" ignores the pixel width; "Solve for L and Rs" rebuilds for a new one
  // (a rebuild clears C, which the L and Rs stage never writes).
  SetField(ctx, EditBoxPixelWidth, "0.001m");
  s.pixelWidth = ReadLength("0.001m");
  ctx.results.C = 5e-11;
  ctx.panel.resumeEnabled = true;
  SolveLAndRs(ctx);
  EXPECT_EQ(ctx.results.C, 5e-11);
  EXPECT_FALSE(ctx.panel.resumeEnabled);  // a new solve leaves nothing to resume
  SetField(ctx, EditBoxPixelWidth, "0.002m");
  ctx.results.L = 1e-7;
  SolveCAndGp(ctx);
  EXPECT_EQ(ctx.results.L, 1e-7);
  SolveLAndRs(ctx);
  EXPECT_EQ(ctx.results.C, 0.0);

  // Stop pressed during the L and Rs stage: the capacitance stage is skipped, the status is a
  // blank, and a rebuild asked for meanwhile waits until the stage has returned.
  rig.statuses.clear();
  bool pressed = false;
  bool deferred = false;
  rig.onEvents = [&] {
    // The L and Rs stage runs after the set-up's region search and without its marks.
    bool inLandRs = s.stageDepth > 0 && s.solveInProgress && rig.Count("field regions") == 1 &&
                    std::none_of(ctx.map.Ukind.begin(), ctx.map.Ukind.end(),
                                 [](std::int8_t k) { return k == 8; });
    if (pressed || !inLandRs) return;
    pressed = true;
    RequestStop(ctx);
    s.setupChanged = true;
    ctx.results.L = 1e-7;
    Tick(ctx);
    deferred = s.setupChanged && ctx.results.L == 1e-7;
  };
  SolveFully(ctx);
  rig.onEvents = nullptr;
  EXPECT_TRUE(pressed);
  EXPECT_TRUE(deferred);
  EXPECT_EQ(rig.Count("Searching map"), 1);
  EXPECT_EQ(s.statusText, " ");
  EXPECT_TRUE(s.setupChanged);
  Tick(ctx);
  EXPECT_FALSE(s.setupChanged);
  EXPECT_EQ(ctx.results.L, 0.0);

  // A solve command during a solve is ignored without a word.
  s.solveInProgress = true;
  rig.statuses.clear();
  SolveFully(ctx);
  SolveCAndGp(ctx);
  EXPECT_TRUE(rig.statuses.empty());
  s.solveInProgress = false;
}

TEST(SolveControl, RefusedMapsAndScriptedSolves) {
  Rig rig("refused");
  Context& ctx = rig.ctx;
  ProgramState& s = ctx.state;
  Tick(ctx);
  ASSERT_TRUE(rig.p.messages.empty());

  // A map with more colours than the palette holds is never solved.
  s.mapUnusable = true;
  SolveCAndGp(ctx);
  ASSERT_EQ(rig.p.messages.size(), 1u);
  EXPECT_NE(rig.p.messages[0].text.find("256"), std::string::npos);
  EXPECT_EQ(rig.Count("Searching map"), 0);
  EXPECT_EQ(rig.p.beeps, 1);
  EXPECT_FALSE(s.operationFailed);  // FinishSolve cleared it after the beep
  s.mapUnusable = false;

  // A scripted solve whose rebuild the panel refuses fails instead of solving the old map.
  SetField(ctx, EditBoxWireDiameter, "0");
  s.setupChanged = true;
  s.solveSucceeded = true;
  SolveForScript(ctx, GeomTwinlead, true);
  EXPECT_FALSE(s.solveSucceeded);
  EXPECT_TRUE(s.operationFailed);
  EXPECT_EQ(rig.p.messages.back().text, "Error in dimension");
  EXPECT_EQ(rig.Count("Searching map"), 0);
  FinishSolve(ctx);

  // Switch 10 holds a scripted solve, checking every 3 seconds, until it is switched off;
  // switch 24 then stops the run after its set-up.
  SetField(ctx, EditBoxWireDiameter, "0.05");
  s.setupChanged = true;
  s.abortRequested = false;  // as at the start of a script
  int checks = 0;
  s.switches[Switch::PauseScriptedSolves] = true;
  s.switches[Switch::DryRun] = true;
  rig.onEvents = [&] {
    if (++checks == 2) s.switches[Switch::PauseScriptedSolves] = false;
  };
  rig.p.sleeps.clear();
  SolveForScript(ctx, GeomTwinlead, false);
  rig.onEvents = nullptr;
  EXPECT_EQ(std::count(rig.p.sleeps.begin(), rig.p.sleeps.end(), 3000), 2);
  EXPECT_EQ(rig.Count("Searching map"), 1);
  EXPECT_EQ(rig.Count("field regions"), 1);
  EXPECT_TRUE(s.solveInProgress);
  FinishSolve(ctx);
  EXPECT_FALSE(s.solveInProgress);

  // Stop during the wait ends this scripted solve; it does not go on to solve.
  s.switches[Switch::PauseScriptedSolves] = true;
  s.solveSucceeded = true;
  rig.onEvents = [&] { RequestStop(ctx); };
  SolveForScript(ctx, GeomTwinlead, true);
  rig.onEvents = nullptr;
  EXPECT_FALSE(s.solveSucceeded);
  EXPECT_EQ(rig.Count("Searching map"), 1);

  // A coax filled with polyethylene: every field-region pixel is that dielectric, so the
  // assumed velocity factor is 1 / sqrt(its permittivity).
  s.switches[Switch::PauseScriptedSolves] = false;
  s.abortRequested = false;
  SetCheckBox(ctx, CheckBoxAirDielectric, false);
  s.setupChanged = true;
  SolveForScript(ctx, GeomCoaxial, false);
  FinishSolve(ctx);
  const MaterialRec* pe = nullptr;
  for (int n = 0; n < ctx.materials.palette.count; ++n) {
    if (ctx.materials.palette.entries[n].color == 0xFF00FF) pe = &ctx.materials.recs.at(n);
  }
  ASSERT_NE(pe, nullptr);
  EXPECT_DOUBLE_EQ(ctx.results.vfAssumed, 1.0 / std::sqrt(pe->Permittivity));
  EXPECT_NEAR(ctx.results.vfAssumed, 0.665, 0.001);
}

TEST(SolveControl, StubbedSolvesReturnAtOnceAndMapsStaySmall) {
  Rig rig("stubbed");
  Context& ctx = rig.ctx;
  ctx.state.solvesStubbed = true;
  ctx.state.solveSucceeded = false;
  SolveFully(ctx);
  EXPECT_TRUE(ctx.state.solveSucceeded);
  SolveCAndGp(ctx);
  SolveLAndRs(ctx);
  SolveForScript(ctx, GeomCoaxial, true);
  EXPECT_EQ(rig.Count("Searching map"), 0);
  EXPECT_EQ(ctx.results.C, 0.0);
  EXPECT_TRUE(rig.p.messages.empty());

  // A generated map above kStubbedMapPixels is refused as one above the program's limit is.
  SetField(ctx, EditBoxTotalConductorPixels, "2000000");
  ctx.state.setupChanged = true;
  EXPECT_EQ(RebuildCrossSection(ctx), kRebuildRefused);
  ASSERT_EQ(rig.p.messages.size(), 1u);
  EXPECT_EQ(rig.p.messages[0].text.rfind("Map too large", 0), 0u) << rig.p.messages[0].text;
  ctx.state.solvesStubbed = false;
  ctx.state.setupChanged = true;
  EXPECT_EQ(RebuildCrossSection(ctx), 0);
  EXPECT_GT(static_cast<std::int64_t>(ctx.map.Uwid) * ctx.map.Uhei, kStubbedMapPixels);
}

}  // namespace
}  // namespace zolva
