// The extrapolation behind the error estimate, on figures whose limit is known exactly.
#include "program/error_estimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace zolva {
namespace {

TEST(Richardson, TwoSolvesRemoveAFirstOrderError) {
  // x(h) = X + a h is extrapolated exactly with the assumed first order, also for a refinement
  // that is not exactly 2 (the generators round radii to whole pixels).
  const double X = 80.26, a = 25.0;
  for (double r : {2.0, 1.9, 2.3}) {
    const std::vector<double> h{0.01, 0.01 / r};
    const Extrapolation e = Richardson(h, {X + a * h[0], X + a * h[1]});
    ASSERT_TRUE(e.valid);
    EXPECT_NEAR(e.value, X, 1e-9);
    EXPECT_FALSE(e.observed);
    EXPECT_DOUBLE_EQ(e.order, kAssumedOrder);
    // The stated error of the raw figure is its true error, 0.25 / 80.26, times the safety
    // factor: never smaller than the true error.
    const double trueError = (X + a * h[0] - X) / X;
    EXPECT_NEAR(StatedError(X + a * h[0], e), kStatedErrorFactor * trueError, 1e-12);
    EXPECT_GE(StatedError(X + a * h[0], e), trueError);
  }
}

TEST(Richardson, ThreeSolvesObserveTheOrder) {
  // x(h) = X + b h^2 with refinements 2 and 3 (a Usermap at 100, 200 and 300 %): the order 2 is
  // found and the limit reached.
  const double X = 1.0, b = -3.0;
  const std::vector<double> h{1.0, 0.5, 1.0 / 3.0};
  std::vector<double> x;
  for (double s : h) x.push_back(X + b * s * s * 0.01);
  const Extrapolation e = Richardson(h, x);
  ASSERT_TRUE(e.valid);
  EXPECT_TRUE(e.observed);
  EXPECT_NEAR(e.order, 2.0, 1e-6);
  EXPECT_NEAR(e.value, X, 1e-9);
}

TEST(Richardson, UnevenOrInvalidSeriesFallBackOrFail) {
  // Differences of opposite sign show no asymptotic range: the two finest are extrapolated with
  // the assumed order.
  const Extrapolation e = Richardson({1.0, 0.5, 0.25}, {10.0, 9.0, 9.2});
  ASSERT_TRUE(e.valid);
  EXPECT_FALSE(e.observed);
  EXPECT_NEAR(e.value, 9.2 + (9.2 - 9.0), 1e-12);
  EXPECT_FALSE(Richardson({1.0}, {1.0}).valid);
  EXPECT_FALSE(Richardson({1.0, 1.0}, {1.0, 2.0}).valid);  // no refinement
  EXPECT_FALSE(Richardson({0.5, 1.0}, {1.0, 2.0}).valid);  // coarser, not finer
  EXPECT_FALSE(Richardson({1.0, 0.5}, {1.0, NAN}).valid);
  EXPECT_FALSE(Richardson({1.0, 0.0}, {1.0, 2.0}).valid);
  EXPECT_NEAR(RelativeError(1.02, 1.0), 0.02, 1e-12);
  EXPECT_DOUBLE_EQ(RelativeError(1.0, 0.0), 0.0);
}

}  // namespace
}  // namespace zolva
