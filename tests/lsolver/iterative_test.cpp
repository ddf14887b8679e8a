// The iterative solve of the current equations against the dense elimination, and the convolution
// it rests on against the direct sum.
#include "lsolver/iterative.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/worker_pool.h"
#include "lsolver/lsolver_fixture.h"
#include "lsolver/pixel_convolution.h"

namespace zolva {
namespace {

using testing::LFixture;
using testing::Relative;
using Method = LSolverOptions::Method;

constexpr std::uint32_t kBrass = PackColor(200, 100, 0);

struct Figures {
  double L = 0, Rs = 0, VoL = 0, Ignd = 0;
  std::vector<complex> currents;
  bool iterative = false;
};

// The same map solved by the given method.
Figures SolveBy(LFixture& f, Method method) {
  f.ctx.results.VoL = f.ctx.results.Ignd = 0;
  EXPECT_TRUE(f.Setup());
  LSolverJob job = LSolverJobOf(f.ctx);
  job.options.method = method;
  SolveLandRs(job);
  EXPECT_TRUE(f.ctx.state.solveSucceeded);
  EXPECT_TRUE(f.platform.messages.empty()) << f.platform.messages.at(0).text;
  return {f.ctx.results.L,
          f.ctx.results.Rs,
          f.ctx.results.VoL,
          f.ctx.results.Ignd,
          f.ctx.lsolver.pixelCurrents,
          f.ctx.lsolver.lastIterative};
}

// Both methods on the map of f, at 1 MHz and 1 GHz (a pixel of 0.001 in is a tenth of the skin
// depth of copper at 1 MHz and eleven skin depths at 1 GHz).
void ExpectSameAnswer(LFixture& f, const std::string& what) {
  for (double mhz : {1.0, 1000.0}) {
    SCOPED_TRACE(what + " at " + std::to_string(mhz) + " MHz");
    f.SetFrequency(mhz);
    const Figures e = SolveBy(f, Method::Elimination);
    const Figures i = SolveBy(f, Method::Iterative);
    EXPECT_FALSE(e.iterative);
    EXPECT_TRUE(i.iterative);
    EXPECT_LT(Relative(e.L, i.L), 1e-8) << e.L << " " << i.L;
    EXPECT_LT(Relative(e.Rs, i.Rs), 1e-8) << e.Rs << " " << i.Rs;
    EXPECT_NEAR(e.VoL, i.VoL, 1e-10);
    EXPECT_NEAR(e.Ignd, i.Ignd, 1e-10);
    ASSERT_EQ(e.currents.size(), i.currents.size());
    double diff = 0, norm = 0;
    for (std::size_t j = 0; j < e.currents.size(); ++j) {
      const complex d = e.currents[j] - i.currents[j];
      diff += d.re * d.re + d.im * d.im;
      norm += e.currents[j].re * e.currents[j].re + e.currents[j].im * e.currents[j].im;
    }
    EXPECT_LT(std::sqrt(diff / norm), 1e-8);
  }
}

TEST(IterativeCurrents, MatchesTheEliminationOnSmallMaps) {
  {
    LFixture f;  // closed: a centre conductor inside a ground ring
    f.Blank(40, 40);
    f.Disc(20, 20, 17, testing::kGround);
    f.Disc(20, 20, 14, testing::kVacuum);
    f.Disc(20, 20, 6, testing::kPlus);
    ExpectSameAnswer(f, "coax");
  }
  {
    LFixture f;  // open: two wires of opposite drive
    f.Blank(44, 20);
    f.Disc(10, 10, 7, testing::kPlus);
    f.Disc(33, 10, 7, testing::kMinus);
    ExpectSameAnswer(f, "twin line");
  }
  {
    LFixture f;  // all three fixed kinds, not symmetric, with a strip of ground
    f.Blank(40, 24);
    f.Disc(9, 9, 6, testing::kPlus);
    f.Disc(30, 8, 4, testing::kMinus);
    for (int x = 2; x < 38; ++x)
      for (int y = 19; y < 22; ++y) f.Paint(x, y, testing::kGround);
    ExpectSameAnswer(f, "three kinds");
  }
  {
    LFixture f;  // two floating conductors beside a driven pair
    f.Blank(44, 30);
    f.Disc(8, 8, 5, testing::kPlus);
    f.Disc(34, 8, 5, testing::kGround);
    f.Disc(14, 22, 4, testing::kFloatA);
    f.Disc(28, 22, 5, testing::kFloatB);
    ExpectSameAnswer(f, "floating");
  }
  {
    LFixture f;  // two metals: a brass wire against a copper one
    RegisterColor(f.ctx.materials, f.ctx.reporter, kBrass, KindMinus, 7.0, 1, 0, 1, "brass");
    f.Blank(40, 20);
    f.Disc(10, 10, 6, testing::kPlus);
    f.Disc(29, 10, 6, kBrass);
    ExpectSameAnswer(f, "copper and brass");
  }
  {
    // Two small wires far apart: few pixels in a large box, which the convolution pays for.
    LFixture f;
    f.Blank(400, 12);
    f.Disc(5, 6, 4, testing::kPlus);
    f.Disc(394, 6, 4, testing::kMinus);
    ExpectSameAnswer(f, "far apart");
  }
}

TEST(IterativeCurrents, SameBitsOnEveryRun) {
  LFixture f;
  f.Blank(30, 20);
  f.Disc(8, 10, 6, testing::kPlus);
  f.Disc(22, 10, 6, testing::kMinus);
  f.SetFrequency(100.0);
  const Figures a = SolveBy(f, Method::Iterative);
  const Figures b = SolveBy(f, Method::Iterative);
  EXPECT_EQ(std::memcmp(&a.L, &b.L, sizeof a.L), 0);
  EXPECT_EQ(std::memcmp(&a.Rs, &b.Rs, sizeof a.Rs), 0);
  ASSERT_EQ(a.currents.size(), b.currents.size());
  EXPECT_EQ(std::memcmp(a.currents.data(), b.currents.data(), a.currents.size() * sizeof(complex)),
            0);
}

TEST(IterativeCurrents, StopBetweenIterationsKeepsThePreviousResults) {
  LFixture f;
  f.Blank(30, 20);
  f.Disc(8, 10, 6, testing::kPlus);
  f.Disc(22, 10, 6, testing::kMinus);
  const Figures before = SolveBy(f, Method::Iterative);
  // The first iteration's status text presses Stop.
  f.statuses.clear();
  f.ctx.reporter.onStatus = [&f](const std::string& s) {
    if (s.find("iteration") != std::string::npos) f.ctx.state.abortRequested = true;
  };
  f.SetFrequency(50.0);
  ASSERT_TRUE(f.Setup());
  LSolverJob job = LSolverJobOf(f.ctx);
  job.options.method = Method::Iterative;
  SolveLandRs(job);
  EXPECT_TRUE(f.ctx.state.abortRequested);
  EXPECT_FALSE(f.ctx.state.solveSucceeded);
  EXPECT_TRUE(f.platform.messages.empty());
  ASSERT_GE(f.statuses.size(), 2u);
  EXPECT_NE(f.statuses[f.statuses.size() - 2].find("iteration 1, residual "), std::string::npos)
      << f.statuses[f.statuses.size() - 2];
  EXPECT_EQ(f.statuses.back(), "");
  EXPECT_EQ(f.ctx.results.L, before.L);
  EXPECT_EQ(f.ctx.lsolver.pixelCurrents.size(), before.currents.size());
}

TEST(IterativeCurrents, ChoiceFollowsSizeAndBox) {
  // Small systems are eliminated, large compact ones iterated.
  EXPECT_EQ(ChooseCurrentMethod(500, 1, 40, 40), CurrentMethod::Elimination);
  EXPECT_EQ(ChooseCurrentMethod(8000, 1, 160, 160), CurrentMethod::Iterative);
  // Few pixels in a vast box: the transforms would cost more than the elimination.
  EXPECT_EQ(ChooseCurrentMethod(2000, 1, 3000, 3000), CurrentMethod::Elimination);
  // Three solves cost three times one.
  EXPECT_EQ(ChooseCurrentMethod(1500, 1, 100, 100), CurrentMethod::Iterative);
  EXPECT_EQ(ChooseCurrentMethod(1500, 3, 100, 100), CurrentMethod::Elimination);
  // The iteration's memory follows the box, not the square of the unknowns.
  EXPECT_LT(IterativeMemoryBytes(100000, 2, 600, 600), std::size_t{200} << 20);
}

TEST(PixelConvolution, MatchesTheDirectSum) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const auto kernel = [](int du, int dv) { return 1.0 / (1.0 + du + 0.37 * dv * dv) + 0.1 * du; };
  // Boxes of odd and even size, one a single row, pixels scattered with gaps.
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{{17, 9}, {1, 12}, {30, 1}, {24, 31}}) {
    std::vector<std::int32_t> x, y;
    for (int py = 0; py < h; ++py)
      for (int px = 0; px < w; ++px)
        if (u(rng) > -0.3 || (px == 0 && py == 0) || (px == w - 1 && py == h - 1)) {
          x.push_back(px + 5);
          y.push_back(py + 3);
        }
    const int n = static_cast<int>(x.size());
    std::vector<complex> in(static_cast<std::size_t>(n)), out(in.size()), direct(in.size());
    for (complex& z : in) z = {u(rng), u(rng)};
    PixelConvolution conv(x.data(), y.data(), n, kernel);
    EXPECT_EQ(conv.BoxWidth(), w);
    EXPECT_EQ(conv.BoxHeight(), h);
    conv.Apply(in.data(), out.data(), nullptr, 1);
    double scale = 0;
    for (int e = 0; e < n; ++e) {
      complex s{};
      for (int k = 0; k < n; ++k)
        s = s + complex{kernel(std::abs(x[e] - x[k]), std::abs(y[e] - y[k])), 0} * in[k];
      direct[e] = s;
      scale = std::max(scale, Magnitude(s));
    }
    double worst = 0;
    for (int e = 0; e < n; ++e) worst = std::max(worst, Magnitude(out[e] - direct[e]));
    EXPECT_LT(worst / scale, 1e-13) << w << " x " << h;
    // Applying again gives the same product: nothing of the last one is left in the grid.
    std::vector<complex> again(in.size());
    conv.Apply(in.data(), again.data(), nullptr, 1);
    EXPECT_EQ(std::memcmp(again.data(), out.data(), out.size() * sizeof(complex)), 0);
    // Shared over three participants of a pool, each with its own rows and columns.
    WorkerPool pool;
    pool.StartWorkers(3, [&conv](int t) { conv.Participate(t); });
    conv.Apply(in.data(), again.data(), &pool, 3);
    pool.StopWorkers();
    worst = 0;
    for (int e = 0; e < n; ++e) worst = std::max(worst, Magnitude(again[e] - direct[e]));
    EXPECT_LT(worst / scale, 1e-13) << w << " x " << h << " on three participants";
  }
}

}  // namespace
}  // namespace zolva
