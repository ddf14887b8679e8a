// The field prediction as a whole: when it runs and when not, the offset VoC of
// balanced, unbalanced and three-kind lines, floating conductors, the gap-filling flood, and the
// predicted solves of open lines against physics and against long runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "csolver/capacitance.h"
#include "csolver/capacitance_job.h"
#include "csolver/prediction.h"
#include "csolver/prediction_fixture.h"
#include "csolver/prediction_stages.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/script.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

using testing::kEpsilon0;
// The prediction fixture over the application's records.
using PredictionFixture = testing::BasicPredictionFixture<Context>;

constexpr std::uint8_t kFree = NodeFree | NodeFreeMixed;

double SolveC(PredictionFixture& f) {
  EXPECT_TRUE(f.Setup());
  SolveCapacitance(f.Job());
  return f.ctx.results.C;
}

// The relaxation is skipped (switch 3): the grid holds what the prediction left.
void PredictOnly(PredictionFixture& f) {
  f.ctx.state.switches[Switch::SkipRelaxation] = true;
  SolveC(f);
}

int FreeNodesAt(const std::vector<double>& volts, const std::vector<std::uint8_t>& code,
                double value) {
  int n = 0;
  for (std::size_t i = 0; i < volts.size(); ++i)
    if ((code[i] & kFree) && volts[i] == value) ++n;
  return n;
}

int FreeNodes(const std::vector<std::uint8_t>& code) {
  int n = 0;
  for (std::uint8_t c : code) n += (c & kFree) ? 1 : 0;
  return n;
}

TEST(FieldPrediction, ClosedCrossSectionNeverPredicts) {
  PredictionFixture f;
  f.DrawCoax(10, 20, 24, testing::kBlack);
  f.ctx.prediction.seconds = -1.0;
  EXPECT_GT(SolveC(f), 0.0);
  EXPECT_FALSE(f.ctx.grid.apronActive);
  EXPECT_EQ(f.ctx.prediction.seconds, -1.0) << "PredictField was not called";
  EXPECT_EQ(f.ctx.prediction.islandCount, 0);
}

TEST(FieldPrediction, OpenLineStartsFromThePredictedField) {
  PredictionFixture f;
  f.DrawTwinlead();
  PredictOnly(f);
  const SolverGrid& g = f.ctx.grid;
  ASSERT_TRUE(g.apronActive);
  EXPECT_EQ(g.plan.roundCount, 0u);
  // Every free node of the core and the apron has a potential; by symmetry the +1 side is
  // positive, the -1 side negative. In the apron, where the field is that of two line charges
  // +-q at the wires' electrical centres a = sqrt(52^2 - 13^2) from the middle, V = ln(r- / r+)
  // / acosh 4: 0.31 beside the core's edge next to a wire, less further out.
  EXPECT_LT(FreeNodesAt(g.Cvolts, g.Ccode, 0.0), FreeNodes(g.Ccode) / 1000);
  EXPECT_LT(FreeNodesAt(g.Avolts, g.Acode, 0.0), FreeNodes(g.Acode) / 1000);
  const int y = 16 + g.UtoCY;
  EXPECT_GT(f.VoltsAt(16 + g.UtoCX + 20, y), 0.3);
  EXPECT_LT(f.VoltsAt(120 + g.UtoCX - 20, y), -0.3);
  EXPECT_NEAR(f.VoltsAt(68 + g.UtoCX, y), 0.0, 0.01);
  for (std::size_t i = 0; i < g.Avolts.size(); ++i)
    if (g.Acode[i] & kFree) {
      ASSERT_LT(std::abs(g.Avolts[i]), 0.35) << i;
    }
  // A balanced line floats symmetrically; its conductors carry the offset.
  EXPECT_NEAR(f.ctx.results.VoC, 0.0, 0.01);
  EXPECT_TRUE(f.ctx.prediction.balanceVo);
  EXPECT_NEAR(f.Node(16 + g.UtoCX, y), 1.0 + f.ctx.results.VoC, 1e-12);
  EXPECT_NEAR(f.Node(120 + g.UtoCX, y), -1.0 + f.ctx.results.VoC, 1e-12);
  // With switch 3 the prediction's code bits stay for the display (walkways and all).
  EXPECT_TRUE(f.ctx.display.fieldReady);
  EXPECT_TRUE(f.ctx.state.abortRequested);
  EXPECT_GT(std::count_if(g.Ccode.begin(), g.Ccode.end(),
                          [](std::uint8_t c) { return (c & NodeWalkway) != 0; }),
            100);
  EXPECT_FALSE(f.ctx.state.predictionFailed);

  // Without switch 3 the prediction ends with the codes reduced to their low four bits.
  PredictionFixture d;
  d.DrawTwinlead();
  ASSERT_TRUE(d.Distribute());
  EXPECT_TRUE(PredictField(d.Job()));
  EXPECT_FALSE(d.ctx.state.abortRequested);
  for (std::uint8_t c : d.ctx.grid.Ccode) ASSERT_LT(c, 16);
  for (std::uint8_t c : d.ctx.grid.Acode) ASSERT_LT(c, 16);
  EXPECT_EQ(d.ctx.grid.Cvolts, g.Cvolts) << "the same prediction as within the solve";
}

TEST(FieldPrediction, SkipPredictionStartsFromZero) {
  PredictionFixture f;
  f.DrawTwinlead();
  f.ctx.panel.checks[CheckBoxNoPrediction] = true;
  EXPECT_TRUE(CapacitanceJobOf(f.ctx).options.noPrediction);
  PredictOnly(f);
  const SolverGrid& g = f.ctx.grid;
  EXPECT_EQ(FreeNodesAt(g.Cvolts, g.Ccode, 0.0), FreeNodes(g.Ccode));
  EXPECT_EQ(FreeNodesAt(g.Avolts, g.Acode, 0.0), FreeNodes(g.Acode));
  EXPECT_EQ(f.ctx.results.VoC, 0.0);
  EXPECT_EQ(f.ctx.prediction.offsetRounds, 0);

  // The script's BOX 3 T checks the box.
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / "zolva-box3";
  fs::create_directories(folder);
  const fs::path script = folder / "box.txt";
  std::ofstream(script, std::ios::binary) << "BOX 3 F\r\nBOX 3 T\r\n";
  PredictionFixture s;
  StartMainWindow(s.ctx);
  CreatePanel(s.ctx);
  s.ctx.state.ready = true;
  s.ctx.state.startupScriptChecked = true;
  RunScriptFile(s.ctx, script.string());
  EXPECT_TRUE(CapacitanceJobOf(s.ctx).options.noPrediction);
  fs::remove_all(folder);
}

TEST(FieldPrediction, UnbalancedLineKeepsItsOffsetAtZero) {
  // +1 volt over a ground plane: no offset is searched or adjusted.
  PredictionFixture f;
  f.Size(80, 40);
  for (int y = 30; y < 36; ++y)
    for (int x = 10; x < 70; ++x) f.Paint(x, y, testing::kGreen);
  f.FillDisc(40, 15, 5, testing::kRed);
  PredictOnly(f);
  EXPECT_FALSE(f.ctx.prediction.balanceVo);
  EXPECT_EQ(f.ctx.results.VoC, 0.0);
  const SolverGrid& g = f.ctx.grid;
  EXPECT_EQ(f.Node(40 + g.UtoCX, 15 + g.UtoCY), 1.0);
  EXPECT_EQ(f.Node(40 + g.UtoCX, 32 + g.UtoCY), 0.0);
  // Between the wire and the plane the potential falls from 1 to 0.
  const double mid = f.Node(40 + g.UtoCX, 25 + g.UtoCY);
  EXPECT_GT(mid, 0.05);
  EXPECT_LT(mid, 0.6);
  f.ctx.state.switches[Switch::SkipRelaxation] = false;
  f.ctx.panel.checks[CheckBoxUnending] = true;
  f.ctx.panel.checks[CheckBoxClassicRelaxation] = true;
  f.platform.onPendingEvents = [&f] {
    if (f.ctx.grid.plan.roundCount >= 10) f.ctx.state.abortRequested = true;
  };
  SolveC(f);
  EXPECT_EQ(f.ctx.results.VoC, 0.0);
}

// +1 and -1 volt wires beside a grounded wire.
void DrawThreeKinds(PredictionFixture& f) {
  f.Size(100, 40);
  f.FillDisc(20, 20, 6, testing::kRed);
  f.FillDisc(80, 20, 6, testing::kBlue);
  f.FillDisc(50, 32, 4, testing::kGreen);
}

TEST(FieldPrediction, ThreeKindsSearchTheOffsetForFourToThirtyRounds) {
  PredictionFixture f;
  DrawThreeKinds(f);
  PredictOnly(f);
  const PredictionState& p = f.ctx.prediction;
  EXPECT_TRUE(p.balanceVo);
  EXPECT_GE(p.offsetRounds, 4);
  EXPECT_LE(p.offsetRounds, 30);
  // The ground wire sits below the middle: it pulls the field towards it, the line floats near
  // 0, the mix weights stay within their limits.
  EXPECT_LT(std::abs(f.ctx.results.VoC), 0.2);
  for (double m : {p.mixRB, p.mixRG, p.mixGB}) {
    EXPECT_GE(m, -3.0);
    EXPECT_LE(m, 3.0);
  }
  const SolverGrid& g = f.ctx.grid;
  EXPECT_EQ(f.Node(50 + g.UtoCX, 32 + g.UtoCY), 0.0);
  EXPECT_NEAR(f.Node(20 + g.UtoCX, 20 + g.UtoCY), 1.0 + f.ctx.results.VoC, 1e-12);
  EXPECT_EQ(f.ctx.panel.capacitanceMode, true) << "the monitor is back to capacitance";

  // "Vo zero": VoC stays 0 and the search ends at its 4th round.
  PredictionFixture z;
  DrawThreeKinds(z);
  z.ctx.panel.checks[CheckBoxVoZero] = true;
  PredictOnly(z);
  EXPECT_FALSE(z.ctx.prediction.balanceVo);
  EXPECT_EQ(z.ctx.results.VoC, 0.0);
  EXPECT_EQ(z.ctx.prediction.offsetRounds, 4);
}

TEST(FieldPrediction, FloatingConductorsTakeTheirSurroundings) {
  // A floating disc in the field takes the mean potential beside its surface; a floating colour
  // buried inside the ground plane has no surface link and keeps its voltage, which its nodes
  // take.
  PredictionFixture f;
  const std::uint32_t buried = PackColor(0, 128, 128);
  RegisterColor(f.ctx.materials, f.ctx.reporter, buried, KindFloat, 1.7241, 1, 0, 1, "copper");
  f.Size(80, 40);
  for (int y = 30; y < 38; ++y)
    for (int x = 10; x < 70; ++x) f.Paint(x, y, testing::kGreen);
  for (int y = 33; y < 36; ++y)
    for (int x = 30; x < 33; ++x) f.Paint(x, y, buried);
  f.FillDisc(40, 12, 5, testing::kRed);
  f.FillDisc(40, 22, 2, testing::kCyan);
  ASSERT_TRUE(f.Setup());
  const int cyan = FindPaletteIndex(f.ctx.materials, testing::kCyan);
  const int deep = FindPaletteIndex(f.ctx.materials, buried);
  f.ctx.results.floatVolts.at(static_cast<std::size_t>(deep)) = 0.3;
  f.ctx.state.switches[Switch::SkipRelaxation] = true;
  SolveCapacitance(f.Job());
  EXPECT_GT(f.ctx.prediction.floatSurfaces, 0);
  const SolverGrid& g = f.ctx.grid;
  EXPECT_EQ(f.ctx.results.floatVolts[static_cast<std::size_t>(deep)], 0.3);
  EXPECT_EQ(f.Node(31 + g.UtoCX, 34 + g.UtoCY), 0.3);
  double sum = 0.0;
  int n = 0;
  for (int j = 0; j < g.surfaceCount; ++j) {
    const SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
    if (r.sM != cyan) continue;
    sum += f.Node(r.insX, r.insY);
    ++n;
  }
  ASSERT_GT(n, 0);
  const double v = f.ctx.results.floatVolts[static_cast<std::size_t>(cyan)];
  EXPECT_DOUBLE_EQ(v, sum / n);
  EXPECT_GT(v, 0.05);
  EXPECT_LT(v, 0.95);
  EXPECT_EQ(f.Node(40 + g.UtoCX, 22 + g.UtoCY), v);
}

TEST(PredictionFlood, FillsHiddenNodesAndSurfaceNodesLast) {
  // Two pockets behind a wall, joined only through one node next to a surface (bit 64): the
  // flood fills each pocket from its own reached node first, and the surface node only after
  // every other reachable node, from its first neighbour in the sweep's order.
  PredictionFixture f;
  f.HandMadeCore(9, 7);
  const CapacitanceJob job = f.Job();
  for (int y = 0; y < 7; ++y) f.CodeAt(4, y) = NodeConductor;
  f.CodeAt(4, 3) = NodeFree | NodeNearSurface;
  f.VoltsAt(1, 1) = 1.0;
  f.CodeAt(1, 1) |= NodeMarked;
  f.VoltsAt(7, 5) = 2.0;
  f.CodeAt(7, 5) |= NodeMarked;
  FloodWindow(job, f.w);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 9; ++x) {
      if (x == 4) continue;
      EXPECT_TRUE(f.CodeAt(x, y) & NodeMarked) << x << "," << y;
      EXPECT_EQ(f.VoltsAt(x, y), x < 4 ? 1.0 : 2.0) << x << "," << y;
    }
  }
  EXPECT_TRUE(f.CodeAt(4, 3) & NodeMarked);
  EXPECT_EQ(f.VoltsAt(4, 3), 1.0) << "from the left pocket, swept first";
}

TEST(PredictionFlood, LargeWindowNeedsNoDeepRecursion) {
  // One reached node floods a window of a million nodes depth first: a recursive flood would
  // nest a million calls.
  PredictionFixture f;
  const int n = 1001;
  f.HandMadeCore(n, n);
  const CapacitanceJob job = f.Job();
  f.VoltsAt(1, 1) = 0.5;
  f.CodeAt(1, 1) |= NodeMarked;
  FloodWindow(job, f.w);
  const SolverGrid& g = f.ctx.grid;
  int reached = 0;
  for (std::size_t i = 0; i < g.Cvolts.size(); ++i) {
    if (!(g.Ccode[i] & NodeMarked)) continue;
    ++reached;
    ASSERT_EQ(g.Cvolts[i], 0.5) << i;
  }
  EXPECT_EQ(reached, n * n);
}

TEST(FieldPrediction, BalancedUsermapAgainstPhysics) {
  // A 400 x 400 Usermap of two round wires, +1 and -1 volt, of diameter d = 72 pixels with
  // centres S = 288 pixels apart, the vacuum reaching every edge: C = pi eps0 / acosh(S / d)
  // (Ramo, Whinnery & Van Duzer, "Fields and Waves", sec. 1.19), 13.4805 pF/m. From the
  // prediction the automatic stop lands within 0.5 % (the painted wires, the finite apron) and
  // the balanced line floats at VoC near 0.
  const double physics = std::numbers::pi * kEpsilon0 / std::acosh(4.0);
  PredictionFixture f;
  f.Size(400, 400);
  f.FillDisc(200 - 144, 200, 36, testing::kRed);
  f.FillDisc(200 + 144, 200, 36, testing::kBlue);
  f.ctx.panel.threadCount = 2;
  const double C = SolveC(f);
  EXPECT_TRUE(f.ctx.grid.apronActive);
  EXPECT_NEAR(C / physics, 1.0, 0.005) << C * 1e12 << " pF/m";
  EXPECT_NEAR(f.ctx.results.VoC, 0.0, 0.01);
  EXPECT_LT(f.ctx.grid.plan.roundCount, 400u);
}

TEST(FieldPrediction, AutomaticStopAgreesWithALongRun) {
#if !defined(__OPTIMIZE__)
  GTEST_SKIP() << "thousands of rounds: slow without optimisation";
#endif
  // The fixture's twinlead (radius 13 pixels, 104 apart): the automatic stop after the
  // prediction against 1500 rounds of "Unending run" from the same start, within 0.1 %.
  PredictionFixture stop, run;
  stop.DrawTwinlead();
  run.DrawTwinlead();
  stop.ctx.panel.checks[CheckBoxClassicRelaxation] = true;
  run.ctx.panel.checks[CheckBoxClassicRelaxation] = true;
  run.ctx.panel.checks[CheckBoxUnending] = true;
  run.platform.onPendingEvents = [&run] {
    if (run.ctx.grid.plan.roundCount >= 1500) run.ctx.state.abortRequested = true;
  };
  const double C = SolveC(stop);
  const double longC = SolveC(run);
  EXPECT_EQ(run.ctx.grid.plan.roundCount, 1500u);
  EXPECT_NEAR(C / longC, 1.0, 0.001) << C * 1e12 << " against " << longC * 1e12 << " pF/m";
  EXPECT_LT(stop.ctx.grid.plan.roundCount, 400u);
}

}  // namespace
}  // namespace zolva
