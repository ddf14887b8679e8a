// What the capacitance solver does with a cross-section it cannot solve: material values that no
// physical material has are refused before anything is computed, and a relaxation that cannot
// converge stops by itself with a message instead of running for ever, leaving no result.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "csolver/capacitance.h"
#include "csolver/charge_distribution.h"
#include "csolver/csolver_fixture.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"

namespace zolva {
namespace {

using testing::SolverFixture;

constexpr std::uint32_t kOdd = PackColor(10, 20, 30);
// Rounds after which a test gives up on a relaxation that has not stopped by itself.
constexpr std::uint32_t kPatience = 3000;

// A coax filled with a dielectric of the given values.
void OddCoax(SolverFixture& f, double permittivity, double tanDelta, double permeability = 1.0) {
  RegisterColor(f.ctx.materials, f.ctx.reporter, kOdd, KindInsul, 0, permittivity, tanDelta,
                permeability, "odd");
  f.DrawCoax(6, 12, 15, kOdd);
  f.platform.onPendingEvents = [&f] {
    if (f.ctx.grid.plan.roundCount >= kPatience) f.ctx.state.abortRequested = true;
  };
}

TEST(RelaxationGuards, NonPhysicalMaterialsAreRefusedBeforeSolving) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double eps, tan, mu;
    const char* says;
  } cases[] = {
      {0.0, 0.0, 1.0, "has permittivity 0."},   {-2.0, 0.0, 1.0, "has permittivity -2."},
      {nan, 0.0, 1.0, "has permittivity NaN."}, {2.0, -0.01, 1.0, "has loss tangent -0.01."},
      {2.0, 0.0, 0.0, "has permeability 0."},
  };
  for (const auto& c : cases) {
    SolverFixture f;
    OddCoax(f, c.eps, c.tan, c.mu);
    ASSERT_TRUE(f.Setup());
    SolveCapacitance(CapacitanceJobOf(f.ctx));
    ASSERT_TRUE(f.ctx.failure.has_value()) << c.says;
    EXPECT_EQ(f.ctx.failure->message,
              std::string("Material values out of range: the color 10, 20, 30 (odd) ") + c.says);
    EXPECT_EQ(f.ctx.failure->caption, "Solve");
    EXPECT_TRUE(f.platform.messages.empty()) << "the solver shows no message box itself";
    EXPECT_TRUE(f.ctx.state.operationFailed);
    EXPECT_TRUE(f.ctx.state.abortRequested);
    EXPECT_FALSE(f.ctx.state.solveSucceeded);
    EXPECT_EQ(f.ctx.grid.plan.roundCount, 0u);
    EXPECT_EQ(f.ctx.results.C, 0.0);
  }
}

TEST(RelaxationGuards, ARelaxationThatCannotConvergeStopsWithAMessage) {
  // Values that slip past the entry (the stages run directly here): a dielectric without
  // permittivity stores no energy, a negative one a negative energy, and rows of both signs
  // weight a node's neighbours by up to ten times and with opposite signs, which makes the
  // iteration run away. Each stops within a few rounds; none reports C.
  const struct {
    double eps;
    bool stripes;
    const char* why;
  } cases[] = {
      {0.0, false, "the field holds no energy"},
      {-1.0, false, "the estimate of C is negative"},
      {-0.9, true, nullptr},
  };
  for (const auto& c : cases) {
    SolverFixture f;
    OddCoax(f, c.eps, 0.0);
    if (c.stripes) {
      for (int y = 0; y < f.ctx.map.Uhei; y += 2)
        for (int x = 0; x < f.ctx.map.Uwid; ++x) {
          const std::size_t p =
              static_cast<std::size_t>(y) * static_cast<std::size_t>(f.ctx.map.Uwid) +
              static_cast<std::size_t>(x);
          if (f.ctx.map.Ucolor[p] == kOdd) f.ctx.map.Ucolor[p] = testing::kBlack;
        }
    }
    ASSERT_TRUE(f.Setup());
    const CapacitanceJob job = CapacitanceJobOf(f.ctx);
    ASSERT_TRUE(SizeGrid(job));
    ASSERT_TRUE(DistributeCharge(job));
    PrepareRelaxation(job);
    EXPECT_LT(f.ctx.grid.plan.roundCount, kPatience) << c.eps;
    EXPECT_TRUE(f.ctx.grid.plan.diverged) << c.eps;
    ASSERT_TRUE(f.ctx.failure.has_value()) << c.eps;
    const std::string& text = f.ctx.failure->message;
    EXPECT_EQ(text.rfind("The relaxation cannot converge: ", 0), 0u) << text;
    if (c.why) {
      EXPECT_NE(text.find(c.why), std::string::npos) << text;
    }
    EXPECT_TRUE(f.ctx.state.operationFailed);
    EXPECT_FALSE(f.ctx.state.solveSucceeded);
    EXPECT_EQ(f.ctx.results.C, 0.0);
    EXPECT_TRUE(f.ctx.reporter.solved.empty()) << "no figures to resume from";
  }
}

}  // namespace
}  // namespace zolva
