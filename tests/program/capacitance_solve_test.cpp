// End-to-end capacitance solves against closed-form physics, and the solve's life: stop,
// resume, threads, floating conductors.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "csolver/capacitance.h"
#include "csolver/charge_distribution.h"
#include "csolver/csolver_fixture.h"
#include "csolver/prediction.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"
#include "csolver/summation.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

using testing::kEpsilon0;
// The solver fixture over the application's records.
using SolverFixture = testing::BasicSolverFixture<Context>;

// Default coax of the generator: centre radius 18 pixels inside a shield of inner radius 36.
constexpr int kCoaxA = 18, kCoaxB = 36, kCoaxO = 44;

double SolveC(SolverFixture& f) {
  EXPECT_TRUE(f.Setup());
  SolveCapacitance(CapacitanceJobOf(f.ctx));
  return f.ctx.results.C;
}

// The program's own start, with the panel's default dimensions.
void StartProgram(SolverFixture& f) {
  StartMainWindow(f.ctx);
  CreatePanel(f.ctx);
  f.ctx.state.startupScriptChecked = true;
}

// A generated cross-section solved by "Solve for C and Gp".
double SolveGenerated(SolverFixture& f, GeometryKind kind) {
  f.ctx.state.geometryKind = kind;
  f.ctx.state.setupChanged = true;
  SolveCAndGp(f.ctx);
  return f.ctx.results.C;
}

TEST(CapacitanceSolve, GeneratedCoaxAgainstPhysics) {
  // Coaxial line: C = 2 pi eps0 eps_r / ln(b/a) (Ramo, Whinnery & Van Duzer, "Fields and
  // Waves", sec. 1.19); the default 0.2 in inside 0.4 in gives 80.26 pF/m in air. A conductor
  // painted in square pixels acts as if its surface lay about 0.2 pixel further into the field,
  // which puts the 18-pixel centre conductor about 1.5 % high; 3 % allows for that.
  const double air = 2 * std::numbers::pi * kEpsilon0 / std::log(2.0);
  SolverFixture f;
  StartProgram(f);
  SetCheckBox(f.ctx, CheckBoxAirDielectric, true);
  const double C = SolveGenerated(f, GeomCoaxial);
  EXPECT_NEAR(C / air, 1.0, 0.03) << C * 1e12 << " pF/m";
  EXPECT_GT(C, air);  // the pixel surfaces err on the high side
  EXPECT_FALSE(f.ctx.grid.apronActive);
  EXPECT_EQ(f.ctx.results.Qdif, 0.0);  // no apron, no border flux
  EXPECT_EQ(f.ctx.results.Gp, 0.0);    // no loss
  EXPECT_TRUE(f.ctx.state.solveSucceeded);
  EXPECT_TRUE(f.ctx.panel.resumeEnabled);
  EXPECT_EQ(f.ctx.panel.tab, TabResults);
  EXPECT_TRUE(f.platform.messages.empty());

  // Polyethylene (2.26) filling the line multiplies C by 2.26.
  SetCheckBox(f.ctx, CheckBoxAirDielectric, false);
  const double Cpe = SolveGenerated(f, GeomCoaxial);
  EXPECT_NEAR(Cpe / (2.26 * air), 1.0, 0.03) << Cpe * 1e12 << " pF/m";
  EXPECT_NEAR(Cpe / C, 2.26, 2.26 * 2e-3);
}

TEST(CapacitanceSolve, GeneratedTwinleadAgainstPhysics) {
  // Two round wires of diameter d, centres D apart, in open space: C = pi eps0 / acosh(D / d)
  // (ibid.); the default 0.05 in wires 0.2 in apart give 13.4805 pF/m. Started from the
  // predicted field, the automatic stop comes within a few hundred rounds and leaves the line
  // about 0.1 % low; 0.3 % allows for the pixel surfaces and the finite apron.
  const double physics = std::numbers::pi * kEpsilon0 / std::acosh(4.0);
  SolverFixture f;
  StartProgram(f);
  const double C = SolveGenerated(f, GeomTwinlead);
  EXPECT_TRUE(f.ctx.grid.apronActive);
  EXPECT_NEAR(C / physics, 1.0, 0.003) << C * 1e12 << " pF/m";
  EXPECT_LT(f.ctx.grid.plan.roundCount, 400u);
  // A balanced line floats symmetrically: its offset stays near 0.
  EXPECT_NEAR(f.ctx.results.VoC, 0.0, 0.01);
}

TEST(CapacitanceSolve, PaintingsMaterialsAndLoss) {
  // In a closed cross-section +1 / -1 volt conductors give the same C as +1 / ground: the
  // energy of the 2-volt field is divided by 4.
  SolverFixture ground, minus;
  ground.DrawCoax(10, 20, 24, testing::kBlack);
  minus.DrawCoax(10, 20, 24, testing::kBlack);
  minus.FillDisc(minus.ctx.map.Uwid / 2, minus.ctx.map.Uhei / 2, 24, testing::kBlue);
  minus.FillDisc(minus.ctx.map.Uwid / 2, minus.ctx.map.Uhei / 2, 20, testing::kBlack);
  minus.FillDisc(minus.ctx.map.Uwid / 2, minus.ctx.map.Uhei / 2, 10, testing::kRed);
  const double Cg = SolveC(ground);
  const double Cm = SolveC(minus);
  EXPECT_NEAR(Cm / Cg, 1.0, 2e-3);

  // Permittivity 2 everywhere doubles C; a lossy dielectric gives Gp = omega C tan(delta),
  // proportional to the frequency, and no loss gives no Gp.
  SolverFixture two, lossy;
  two.DrawCoax(10, 20, 24, testing::kWhite);
  lossy.DrawCoax(10, 20, 24, testing::kGrey);
  const double C2 = SolveC(two);
  EXPECT_NEAR(C2 / Cg, 2.0, 2e-3);
  EXPECT_EQ(two.ctx.results.Gp, 0.0);
  lossy.ctx.state.frequencyMHz = 3.0;
  const double C4 = SolveC(lossy);
  EXPECT_NEAR(C4 / Cg, 4.0, 4e-3);
  const double omega = 3.0 * kOmegaPerMHz;
  EXPECT_NEAR(lossy.ctx.results.Gp / (omega * C4 * testing::kLossTangent), 1.0, 1e-9);
  const double Gp3 = lossy.ctx.results.Gp;
  lossy.ctx.state.frequencyMHz = 6.0;
  EstimateCapacitance(CapacitanceJobOf(lossy.ctx));
  EXPECT_NEAR(lossy.ctx.results.Gp / Gp3, 2.0, 1e-12);
}

TEST(CapacitanceSolve, StopReportsAndResumeContinuesTheSameArrays) {
  // A relaxation stopped after 20 rounds and resumed for 15 more ends exactly where one
  // stopped after 35 rounds does: the resume continues the same arrays, with nothing reset.
  auto stopAfter = [](SolverFixture& f, std::uint32_t rounds) {
    f.platform.onPendingEvents = [&f, rounds]() {
      if (f.ctx.grid.plan.roundCount >= rounds) {
        f.ctx.state.solveInProgress = false;  // the Stop button
        f.ctx.state.abortRequested = true;
      }
    };
  };
  // The open twin line: apron, open-boundary adjustment and all.
  SolverFixture once, twice;
  for (SolverFixture* f : {&once, &twice}) {
    f->DrawTwinlead();
    f->ctx.panel.checks[CheckBoxUnending] = true;
    f->ctx.panel.checks[CheckBoxClassicRelaxation] = true;
  }
  stopAfter(once, 35);
  SolveC(once);
  stopAfter(twice, 20);
  SolveC(twice);
  // Stopped early, the solve still reports its results and offers Resume, but it has not
  // succeeded: nothing takes its figures for a finished result.
  EXPECT_GT(twice.ctx.results.C, 0.0);
  EXPECT_FALSE(twice.ctx.state.solveSucceeded);
  EXPECT_TRUE(twice.ctx.panel.resumeEnabled);
  EXPECT_EQ(twice.ctx.grid.plan.roundCount, 20u);
  const double* arrays = twice.ctx.grid.Cvolts.data();
  const double C20 = twice.ctx.results.C;

  twice.ctx.state.solveInProgress = false;
  twice.ctx.state.stageDepth = 0;
  stopAfter(twice, 35);
  ResumeRelaxation(twice.ctx);
  EXPECT_EQ(twice.ctx.grid.plan.roundCount, 35u);
  EXPECT_EQ(twice.ctx.grid.Cvolts.data(), arrays);
  EXPECT_EQ(twice.ctx.grid.Cvolts, once.ctx.grid.Cvolts);
  EXPECT_EQ(twice.ctx.grid.Avolts, once.ctx.grid.Avolts);
  EXPECT_EQ(twice.ctx.results.C, once.ctx.results.C);
  EXPECT_EQ(twice.ctx.results.VoC, once.ctx.results.VoC);
  EXPECT_TRUE(std::isfinite(twice.ctx.results.Qdif));
  EXPECT_NE(twice.ctx.results.C, C20);
  EXPECT_FALSE(twice.ctx.state.solveInProgress);
  EXPECT_FALSE(twice.ctx.panel.stopEnabled);
  EXPECT_TRUE(twice.ctx.panel.resumeEnabled);

  // After a rebuild has discarded the grid there is nothing to resume.
  ResetGrid(twice.ctx.grid, twice.ctx.display.fieldReady);
  ResumeRelaxation(twice.ctx);
  EXPECT_EQ(twice.ctx.grid.plan.roundCount, 0u);
  EXPECT_FALSE(twice.ctx.panel.resumeEnabled);

  // Switch 3 skips the relaxation; the summation reports the field as distributed.
  SolverFixture skip;
  skip.DrawCoax(10, 20, 24, testing::kBlack);
  skip.ctx.state.switches[Switch::SkipRelaxation] = true;
  SolveC(skip);
  EXPECT_EQ(skip.ctx.grid.plan.roundCount, 0u);
  EXPECT_GT(skip.ctx.results.C, 0.0);  // energy next to the conductors
  EXPECT_TRUE(skip.ctx.state.solveSucceeded);
}

TEST(CapacitanceSolve, TwoParticipantsAgreeWithOne) {
  SolverFixture one, two;
  for (SolverFixture* f : {&one, &two}) f->DrawCoax(10, 20, 24, testing::kMagenta);
  two.ctx.panel.threadCount = 2;
  const double C1 = SolveC(one);
  const double C2 = SolveC(two);
  EXPECT_NEAR(C2 / C1, 1.0, 1e-3);
}

TEST(FloatingConductors, FollowTheirSurroundings) {
  // One round's update: a floating colour whose surface neighbours average m, from p, takes
  // 1.5 m - 0.5 p, and so do all four corner nodes of its pixels.
  SolverFixture f;
  f.DrawCoax(10, 20, 24, testing::kBlack);
  f.FillDisc(f.ctx.map.Uwid / 2 + 15, f.ctx.map.Uhei / 2, 1, testing::kCyan);
  ASSERT_TRUE(f.Setup());
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(f.ctx)));
  SolverGrid& g = f.ctx.grid;
  const int cyan = FindPaletteIndex(f.ctx.materials, testing::kCyan);
  double sum = 0.0;
  int n = 0;
  for (int j = 0; j < g.surfaceCount; ++j) {
    SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
    if (r.sM != cyan) continue;
    const double v = 0.1 * (j % 7);
    g.Cvolts[static_cast<std::size_t>(r.insY) * static_cast<std::size_t>(g.Cwid) +
             static_cast<std::size_t>(r.insX)] = v;
    sum += v;
    ++n;
  }
  // A node shared by two links is written twice above; recount what the nodes now hold.
  sum = 0.0;
  for (int j = 0; j < g.surfaceCount; ++j) {
    const SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
    if (r.sM == cyan) sum += f.Node(r.insX, r.insY);
  }
  ASSERT_EQ(n, 12);
  f.ctx.results.floatVolts.at(static_cast<std::size_t>(cyan)) = 0.8;
  UpdateFloatingConductors(CapacitanceJobOf(f.ctx));
  const double expected = 1.5 * (sum / n) - 0.5 * 0.8;
  EXPECT_DOUBLE_EQ(f.ctx.results.floatVolts[static_cast<std::size_t>(cyan)], expected);
  const int cx = f.ctx.map.Uwid / 2 + 15 + g.UtoCX, cy = f.ctx.map.Uhei / 2 + g.UtoCY;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) EXPECT_EQ(f.Node(cx + dx, cy + dy), expected);

  // A small floating disc halfway between a coax's conductors settles near the potential of
  // its radius, ln(b/r) / ln(b/a), and hardly changes C. Without the surface list of the
  // closed cross-section it would stay at 0 volt and act as a ground.
  SolverFixture plain, floating;
  plain.DrawCoax(kCoaxA, kCoaxB, kCoaxO, testing::kBlack);
  floating.DrawCoax(kCoaxA, kCoaxB, kCoaxO, testing::kBlack);
  const int S = floating.ctx.map.Uwid;
  floating.FillDisc(S / 2 + 27, S / 2, 2, testing::kCyan);
  const double C0 = SolveC(plain);
  const double Cf = SolveC(floating);
  const double v = floating.ctx.results.floatVolts.at(
      static_cast<std::size_t>(FindPaletteIndex(floating.ctx.materials, testing::kCyan)));
  const double expectedV = std::log(36.0 / 27.0) / std::log(2.0);
  EXPECT_NEAR(v / expectedV, 1.0, 0.05) << v;
  EXPECT_NEAR(Cf / C0, 1.0, 0.01);
}

TEST(FloatingConductors, BalancedLineFloatsAgainstTheBorder) {
  SolverFixture f;
  f.DrawTwinlead();
  ASSERT_TRUE(f.Setup());
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
  BuildEdgeFactors(f.ctx.grid);
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(f.ctx)));
  CountSurfaces(CapacitanceJobOf(f.ctx));
  const PredictionState& p = f.ctx.prediction;
  EXPECT_GT(p.plusSurfaces, 0);
  EXPECT_GT(p.minusSurfaces, 0);
  EXPECT_EQ(p.groundSurfaces, 0);
  ASSERT_TRUE(p.balanceVo);

  // Lift every free apron node to 0.1 volt: the border mean is 0.1, the offset moves by -0.19
  // and everything but the ground moves with it.
  SolverGrid& g = f.ctx.grid;
  for (std::size_t i = 0; i < g.Avolts.size(); ++i)
    if (g.Acode[i] & (NodeFree | NodeFreeMixed)) g.Avolts[i] = 0.1;
  const std::vector<double> before = g.Cvolts;
  AdjustOpenBoundary(CapacitanceJobOf(f.ctx));
  EXPECT_NEAR(g.borderMean, 0.1, 1e-12);
  EXPECT_NEAR(f.ctx.results.VoC, -0.19, 1e-12);
  const double d = f.ctx.results.VoC;
  for (std::size_t i = 0; i < g.Cvolts.size(); ++i) {
    const bool moves = (g.Ccode[i] & (NodeFree | NodeFreeMixed)) ||
                       ((g.Ccode[i] & NodeConductor) && before[i] != 0.0);
    ASSERT_EQ(g.Cvolts[i], before[i] + (moves ? d : 0.0)) << i;
  }

  // "Vo zero" keeps the line where it is; so does a line of +1 volt and ground.
  f.ctx.panel.checks[CheckBoxVoZero] = true;
  CountSurfaces(CapacitanceJobOf(f.ctx));
  EXPECT_FALSE(p.balanceVo);
  const double VoC = f.ctx.results.VoC;
  AdjustOpenBoundary(CapacitanceJobOf(f.ctx));
  EXPECT_EQ(f.ctx.results.VoC, VoC);
}

// The multigrid solve stopped by the Stop button and continued by Resume.
TEST(CapacitanceSolve, StopReportsWhatItReachedAndResumeFinishes) {
  SolverFixture f, straight;
  // An open balanced line, wires of unequal size.
  for (SolverFixture* g : {&f, &straight}) {
    g->Size(137, 33);
    g->FillDisc(16, 16, 13, testing::kRed);
    g->FillDisc(120, 16, 7, testing::kBlue);
  }
  const double want = SolveC(straight);
  // The Stop button after three iterations of the main solve.
  f.platform.onPendingEvents = [&f] {
    if (f.ctx.grid.solveStats.iterations >= 3) {
      f.ctx.state.solveInProgress = false;
      f.ctx.state.abortRequested = true;
    }
  };
  SolveC(f);
  EXPECT_EQ(f.ctx.grid.solveStats.iterations, 3);
  EXPECT_FALSE(f.ctx.grid.solveStats.converged);
  EXPECT_GT(f.ctx.results.C, 0.0);
  EXPECT_FALSE(f.ctx.state.solveSucceeded);  // no table row takes it
  EXPECT_TRUE(f.ctx.panel.resumeEnabled);
  EXPECT_GT(std::fabs(f.ctx.results.C / want - 1.0), 1e-9);

  // Resume continues from the arrays as they stand; it runs on ("Unending run") past the
  // tolerance until stopped.
  f.ctx.state.solveInProgress = false;
  f.ctx.state.stageDepth = 0;
  const double* arrays = f.ctx.grid.Cvolts.data();
  f.platform.onPendingEvents = [&f] {
    if (f.ctx.grid.solveStats.iterations >= 150) f.ctx.state.abortRequested = true;
  };
  ResumeRelaxation(f.ctx);
  EXPECT_EQ(f.ctx.grid.Cvolts.data(), arrays);
  EXPECT_TRUE(f.ctx.panel.checks[CheckBoxUnending]);
  EXPECT_TRUE(f.ctx.state.solveSucceeded);
  EXPECT_NEAR(f.ctx.results.C / want, 1.0, 1e-9);
  EXPECT_NEAR(f.ctx.results.VoC, straight.ctx.results.VoC, 1e-8);
}

}  // namespace
}  // namespace zolva
