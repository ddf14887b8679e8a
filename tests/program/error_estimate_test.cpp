// The extrapolation behind the error estimate, on figures whose limit is known exactly.
#include "program/error_estimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
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

TEST(EstimateSeries, StatesTheErrorOfTheRawSolveWithItsSign) {
  // x(h) = X + a h at h = 1, 1/sqrt 2, 1/2 (finer solves) and at 2, sqrt 2, 1 (coarser copies,
  // the raw solve the finest): the limit is found, the order 1 observed, and the stated error
  // has the sign of the true one and 1.5 times its size.
  const double X = 50.0, a = 0.4, s = 1.0 / std::sqrt(2.0);
  for (double scale : {1.0, 2.0}) {
    const std::vector<double> h{scale, scale * s, scale * 0.5};
    std::vector<double> x;
    for (double v : h) x.push_back(X + a * v);
    const std::size_t raw = scale == 1.0 ? 0 : 2;
    const SeriesEstimate e = EstimateSeries(h, x, raw);
    ASSERT_TRUE(e.valid);
    EXPECT_FALSE(e.unsteady);
    EXPECT_NEAR(e.order, 1.0, 1e-6);
    EXPECT_NEAR(e.extrapolated, X, 1e-9);
    EXPECT_NEAR(e.statedError, kStatedErrorFactor * (x[raw] - X) / X, 1e-12);
    EXPECT_EQ(UnsteadyNote(e, 3, "C"), "");
  }
}

TEST(EstimateSeries, UnsteadySolvesStateTheLargestDifferenceWithANote) {
  // The middle solve overshoots: the differences change sign, so no order can be observed. The
  // stated error covers the largest difference between the solves (1.0), has the sign of the
  // raw figure against the limit, and the note says so.
  const std::vector<double> h{1.0, 0.7071, 0.5};
  const SeriesEstimate e = EstimateSeries(h, {100.5, 99.5, 99.52}, 0);
  ASSERT_TRUE(e.valid);
  EXPECT_TRUE(e.unsteady);
  EXPECT_FALSE(e.observed);
  EXPECT_NEAR(e.largestDifference, 1.0 / e.extrapolated, 1e-12);
  EXPECT_GE(e.statedError, e.largestDifference);
  const std::string note = UnsteadyNote(e, 3, "C");
  EXPECT_EQ(
      note.rfind("Note: the 3 solves of the error estimate do not converge steadily for C (", 0),
      0u);
  EXPECT_NE(note.find("covers the largest difference between them, 1 %"), std::string::npos)
      << note;
  // An order far above the first (the finest step barely moves) is unsteady too; the largest
  // difference is stated when the extrapolation would show less.
  const SeriesEstimate fast = EstimateSeries(h, {101.0, 100.0, 99.999}, 0);
  ASSERT_TRUE(fast.valid);
  EXPECT_TRUE(fast.unsteady);
  EXPECT_GE(fast.statedError, (101.0 - 99.999) / fast.extrapolated);
  // Two solves: never less than their difference, whatever the safety factor.
  const SeriesEstimate two = EstimateSeries({1.0, 0.5}, {10.0, 10.2}, 0);
  ASSERT_TRUE(two.valid);
  EXPECT_LT(two.statedError, 0.0);
  EXPECT_GE(std::fabs(two.statedError), 0.2 / two.extrapolated);
  EXPECT_FALSE(EstimateSeries(h, {1.0, 2.0, 3.0}, 3).valid);
}

}  // namespace
}  // namespace zolva
