// The round kernel against the relaxation written the plain way: the run kernel reassociates the
// plain update (four nodes at a time from the value before them), so its rounding differs from
// summing the four neighbours node by node. It must be the same update where nothing rounds,
// follow the literal round to the last few bits, and converge to the same capacitance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "csolver/capacitance.h"
#include "csolver/csolver_fixture.h"
#include "csolver/literal_relaxation.h"
#include "csolver/prediction.h"
#include "csolver/relax_kernel.h"
#include "csolver/relax_plan.h"
#include "csolver/relaxation.h"
#include "csolver/relaxation_fixture.h"
#include "csolver/solver_grid.h"
#include "csolver/summation.h"

namespace zolva {
namespace {

using testing::SolverFixture;

double MaxDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double d = 0.0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    d = std::max(d, std::fabs(a[i] - b[i]));
  return d;
}

// The plain update of `count` nodes of the middle row of a three-row array, node by node.
void LiteralRun(std::vector<double>& v, std::ptrdiff_t W, std::ptrdiff_t first,
                std::ptrdiff_t count, int step) {
  for (std::ptrdiff_t j = 0; j < count; ++j) {
    const std::size_t i = static_cast<std::size_t>(W + first + step * j);
    v[i] = 0.375 * (((v[i - 1] + v[i + 1]) + v[i - W]) + v[i + W]) - 0.5 * v[i];
  }
}

TEST(RelaxationKernel, PlainRunIsTheNodeByNodeUpdate) {
  // Small integer voltages: node j of a run then has a denominator of at most 8^(j + 1) and
  // stays below 11 volts, so every sum and product of a run of up to 13 nodes fits the 53-bit
  // mantissa and nothing rounds. The reassociated block update must then give bit for bit what
  // the node-by-node sum gives. Runs of every length cover whole blocks, remainders and both
  // directions, and nothing outside the run may move.
  const std::ptrdiff_t W = 20;
  std::mt19937 random(5);
  std::uniform_int_distribution<int> small(-4, 4);
  std::uniform_real_distribution<double> volts(-1.0, 1.0);
  for (const int step : {1, -1}) {
    for (std::ptrdiff_t count = 1; count <= 13; ++count) {
      const std::ptrdiff_t first = step == 1 ? 2 : W - 3;
      std::vector<double> kernel(3 * W);
      for (double& x : kernel) x = small(random);
      std::vector<double> literal = kernel;
      if (step == 1)
        RelaxPlainRun<1>(kernel.data() + W, W, first, count);
      else
        RelaxPlainRun<-1>(kernel.data() + W, W, first, count);
      LiteralRun(literal, W, first, count, step);
      EXPECT_EQ(kernel, literal) << "step " << step << ", " << count << " nodes";

      // Any voltages: the same to rounding.
      for (double& x : kernel) x = volts(random);
      literal = kernel;
      if (step == 1)
        RelaxPlainRun<1>(kernel.data() + W, W, first, count);
      else
        RelaxPlainRun<-1>(kernel.data() + W, W, first, count);
      LiteralRun(literal, W, first, count, step);
      EXPECT_LT(MaxDifference(kernel, literal), 1e-15) << "step " << step << ", " << count;
    }
  }
}

TEST(RelaxationKernel, RoundFollowsTheLiteralRound) {
  // Random voltages on an open map with dielectrics: a wrong neighbour, sweep order or weight
  // would change nodes by tenths of a volt; the reassociation changes them in the last bits.
  SolverFixture fast, literal;
  testing::PrepareMixedGrid(fast, 11);
  testing::PrepareMixedGrid(literal, 11);
  ASSERT_TRUE(fast.ctx.grid.apronActive);
  const std::vector<double> start = fast.ctx.grid.Cvolts;
  SplitEvenly(fast.ctx.grid.plan, 1);
  for (int round = 0; round < 3; ++round) {
    RelaxPass(fast.ctx.grid, 1);
    testing::LiteralRound(CapacitanceJobOf(literal.ctx));
    EXPECT_LT(MaxDifference(fast.ctx.grid.Cvolts, literal.ctx.grid.Cvolts), 1e-13) << round;
    EXPECT_LT(MaxDifference(fast.ctx.grid.Avolts, literal.ctx.grid.Avolts), 1e-13) << round;
  }
  EXPECT_GT(MaxDifference(start, fast.ctx.grid.Cvolts), 0.1);
}

// A closed line with a floating conductor and two dielectrics.
void DrawClosedMap(SolverFixture& f) {
  f.Draw({
      "gggggggggggggggggggggg",
      "g....................g",
      "g..+++....pppp.......g",
      "g..+++....ppllll..f..g",
      "g.........llllll.ff..g",
      "g.................f..g",
      "g.lllll....---.......g",
      "g.lllll..............g",
      "gggggggggggggggggggggg",
  });
}

// The map distributed (and predicted, when open) as a solve starts its relaxation, then
// `rounds` rounds with the steps that follow every round of Relax; the literal round or one
// participant of the kernel. Returns the estimate of C after the last round.
double RoundsC(SolverFixture& f, int rounds, bool literal) {
  EXPECT_TRUE(f.Setup());
  const CapacitanceJob job = CapacitanceJobOf(f.ctx);
  // Switch 3 runs the solve up to the relaxation and skips it; after a prediction it stops
  // even before the relaxation's preparation, which then runs on its own (with no rounds).
  f.ctx.state.switches[Switch::SkipRelaxation] = true;
  SolveCapacitance(job);
  SolverGrid& g = f.ctx.grid;
  if (!PlanMatchesGrid(g)) PrepareRelaxation(job);
  f.ctx.state.switches[Switch::SkipRelaxation] = false;
  EXPECT_TRUE(PlanMatchesGrid(g));
  EXPECT_EQ(g.plan.roundCount, 0u);
  SplitEvenly(g.plan, 1);
  for (int r = 0; r < rounds; ++r) {
    if (literal)
      testing::LiteralRound(job);
    else
      RelaxPass(g, 1);
    UpdateFloatingConductors(job);
    EstimateCapacitance(job);
    if (g.openBoundary) AdjustOpenBoundary(job);
  }
  return f.ctx.results.C;
}

TEST(RelaxationKernel, ConvergesToTheLiteralCapacitance) {
  // Closed: both iterations settle completely; the threaded solve (two participants racing
  // over the same voltages) and the literal rounds reach the same C within 1e-9.
  constexpr int kRounds = 400;
  SolverFixture settled, earlier, threaded;
  for (SolverFixture* f : {&settled, &earlier, &threaded}) DrawClosedMap(*f);
  const double literalC = RoundsC(settled, kRounds, true);
  const double earlierC = RoundsC(earlier, kRounds - 100, true);
  ASSERT_FALSE(settled.ctx.grid.apronActive);
  ASSERT_GT(literalC, 0.0);
  EXPECT_NEAR(earlierC / literalC, 1.0, 1e-12) << "the literal rounds have not settled";
  threaded.ctx.threadCount = 2;
  threaded.ctx.capacitance.unending = true;
  threaded.ctx.capacitance.classicRelaxation = true;
  threaded.platform.onPendingEvents = [&threaded] {
    if (threaded.ctx.grid.plan.roundCount >= kRounds) threaded.ctx.state.abortRequested = true;
  };
  ASSERT_TRUE(threaded.Setup());
  SolveCapacitance(CapacitanceJobOf(threaded.ctx));
  EXPECT_GE(threaded.ctx.grid.plan.roundCount, static_cast<std::uint32_t>(kRounds));
  EXPECT_NEAR(threaded.ctx.results.C / literalC, 1.0, 1e-9);

  // Open, from the predicted field, with the open boundary's offset moving every round: after
  // the same rounds both are still on their way, and on the same way to the last bits.
  constexpr int kOpenRounds = 40;
  SolverFixture open, openLiteral;
  testing::DrawMixedMap(open);
  testing::DrawMixedMap(openLiteral);
  const double C = RoundsC(open, kOpenRounds, false);
  const double expected = RoundsC(openLiteral, kOpenRounds, true);
  ASSERT_TRUE(open.ctx.grid.apronActive);
  EXPECT_NEAR(C / expected, 1.0, 1e-9);
  EXPECT_LT(MaxDifference(open.ctx.grid.Avolts, openLiteral.ctx.grid.Avolts), 1e-12);
  EXPECT_LT(MaxDifference(open.ctx.grid.Cvolts, openLiteral.ctx.grid.Cvolts), 1e-12);
}

}  // namespace
}  // namespace zolva
