#include "lsolver/elimination.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "core/worker_pool.h"
#include "lsolver/literal_elimination.h"
#include "lsolver/lsolver_fixture.h"

namespace zolva {
namespace {

using testing::Relative;
using testing::SplitSystem;

// Random coefficients with a strong diagonal, so that the natural order of pivots is safe.
SplitSystem RandomSystem(int h, unsigned seed) {
  SplitSystem m(h);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int k = 0; k <= h; ++k)
    for (int e = 0; e < h; ++e) m.Set(k, e, {u(rng), u(rng)});
  for (int e = 0; e < h; ++e) m.Set(e, e, m.At(e, e) + complex{2.0 * h, 0.5 * h});
  return m;
}

// The unknowns of both, compared to 1e-9 relative; with an exact kernel, on x86-64 without fused
// multiply-add in the compiled code, they must agree to the last bit, since every coefficient
// sees the same operations.
void ExpectSameSolution(const SplitSystem& literal, const SplitSystem& fast, bool exact,
                        const char* what) {
  double worst = 0;
  int differing = 0;
  for (int e = 0; e < literal.h; ++e) {
    const complex a = literal.Solution(e);
    const complex b = fast.Solution(e);
    worst = std::max({worst, Relative(a.re, b.re), Relative(a.im, b.im)});
    if (a.re != b.re || a.im != b.im) ++differing;
  }
  EXPECT_LT(worst, 1e-9) << what;
#if defined(__x86_64__) && !defined(__FMA__)
  if (exact) {
    EXPECT_EQ(differing, 0) << what;
  }
#else
  (void)exact;
#endif
}

SplitSystem EliminateFast(SplitSystem m, int threads, const EliminationTuning& tuning) {
  WorkerPool pool;
  const EliminationResult r =
      EliminateCurrentSystem(m.re.data(), m.im.data(), m.h, pool, threads, nullptr, tuning);
  EXPECT_EQ(r.status, EliminationStatus::Completed);
  return m;
}

TEST(Elimination, BlockedOrderEqualsRowByRowOrder) {
  // Sizes around the block and tile edges, every kernel, one to six participants, blocks
  // from one pivot (the plain order) to wider than the system, and row blocks shorter than the
  // equations below a block, so that a tile's later row blocks wait for its first one.
  struct Case {
    int h;
    int block;
    TileKernelChoice kernel;
    int threads;
    int rowBlock = 384;
  };
  const Case cases[] = {
      {1, 64, TileKernelChoice::Auto, 1},
      {2, 64, TileKernelChoice::Auto, 2},
      {5, 3, TileKernelChoice::Generic, 1},
      {17, 4, TileKernelChoice::Avx2, 2},
      {40, 1, TileKernelChoice::Auto, 1},
      {64, 64, TileKernelChoice::Avx512, 3},
      {65, 7, TileKernelChoice::Avx512, 2},
      {130, 16, TileKernelChoice::Generic, 2},
      {131, 64, TileKernelChoice::Avx2, 1},
      {300, 64, TileKernelChoice::Auto, 2},
      {300, 13, TileKernelChoice::Avx512, 1},
      {131, 64, TileKernelChoice::Avx512Fused, 2},
      {300, 64, TileKernelChoice::Avx512Fused, 1},
      {47, 5, TileKernelChoice::Avx512Fused, 3},
      {300, 64, TileKernelChoice::Avx2Fused, 2},
      {66, 9, TileKernelChoice::Avx2Fused, 1},
      // More participants than this machine's processors: the waits must give way.
      {257, 32, TileKernelChoice::Avx512, 6},
      {300, 64, TileKernelChoice::Avx512, 2, 12},
      {211, 16, TileKernelChoice::Avx2, 3, 8},
      {200, 32, TileKernelChoice::Auto, 2, 40},
  };
  for (const Case& c : cases) {
    const SplitSystem original = RandomSystem(c.h, static_cast<unsigned>(c.h * 31 + c.block));
    SplitSystem literal = original;
    testing::EliminateLiterally(literal);
    EliminationTuning tuning;
    tuning.block = c.block;
    tuning.kernel = c.kernel;
    tuning.rowBlock = c.rowBlock;
    // Small rounds, so that every size is split over several rounds and participants.
    tuning.roundWork = 20000;
    const SplitSystem fast = EliminateFast(original, c.threads, tuning);
    ExpectSameSolution(literal, fast, TileKernelIsExact(c.kernel),
                       ("h " + std::to_string(c.h) + " block " + std::to_string(c.block) +
                        " rows " + std::to_string(c.rowBlock) + " " + TileKernelName(c.kernel) +
                        " threads " + std::to_string(c.threads))
                           .c_str());
  }
}

TEST(Elimination, SameBitsWhateverTheParticipantsAndRounds) {
  // The kernel a coefficient goes through depends only on its position, never on how the work
  // was cut into rounds or dealt: every run gives the same bits, also with the fused kernel.
  const SplitSystem original = RandomSystem(223, 11);
  EliminationTuning one;
  one.roundWork = 1LL << 40;
  EliminationTuning many;
  many.roundWork = 3000;
  many.rowBlock = 24;
  const SplitSystem a = EliminateFast(original, 1, one);
  const SplitSystem b = EliminateFast(original, 3, many);
  for (int e = 0; e < original.h; ++e) {
    EXPECT_EQ(a.Solution(e).re, b.Solution(e).re) << e;
    EXPECT_EQ(a.Solution(e).im, b.Solution(e).im) << e;
  }
}

TEST(Elimination, UnusablePivotsAndStop) {
  WorkerPool pool;
  // A zero pivot in the middle, then one that is not a number: the elimination names it.
  SplitSystem m = RandomSystem(20, 5);
  for (int e = 0; e < 20; ++e) m.Set(7, e, {0.0, 0.0});
  for (int k = 0; k <= 20; ++k) m.Set(k, 7, {0.0, 0.0});
  EliminationResult r = EliminateCurrentSystem(m.re.data(), m.im.data(), 20, pool, 2, nullptr);
  EXPECT_EQ(r.status, EliminationStatus::Singular);
  EXPECT_EQ(r.pivot, 7);
  m = RandomSystem(9, 6);
  m.Set(8, 8, {NAN, 0.0});
  r = EliminateCurrentSystem(m.re.data(), m.im.data(), 9, pool, 1, nullptr);
  EXPECT_EQ(r.status, EliminationStatus::Singular);
  EXPECT_EQ(r.pivot, 8);
  EXPECT_EQ(pool.workersRunning(), 0);

  // Stop: the poll is asked at the start and then between rounds; the elimination returns as
  // soon as it answers false, with the pool stopped. A zero interval makes every round end with
  // a poll, and small rounds make many of them, so the count depends on the rounds alone, not
  // on the speed of the machine. (How often it polls in time is measured by the benchmark.)
  m = RandomSystem(300, 7);
  int calls = 0;
  EliminationTuning tuning;
  tuning.pollInterval = std::chrono::microseconds(0);
  tuning.roundWork = 1000;
  r = EliminateCurrentSystem(
      m.re.data(), m.im.data(), 300, pool, 2,
      [&](int pivot) {
        ++calls;
        EXPECT_GE(pivot, 0);
        return calls < 4;
      },
      tuning);
  EXPECT_EQ(r.status, EliminationStatus::Stopped);
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(pool.workersRunning(), 0);

  // A poll that always answers true is asked after every round, with the pivot reached, and
  // the elimination completes.
  m = RandomSystem(300, 7);
  calls = 0;
  bool inRange = true;
  r = EliminateCurrentSystem(
      m.re.data(), m.im.data(), 300, pool, 2,
      [&](int pivot) {
        ++calls;
        inRange = inRange && pivot >= 0 && pivot <= 300;
        return true;
      },
      tuning);
  EXPECT_EQ(r.status, EliminationStatus::Completed);
  EXPECT_GT(calls, r.rounds);
  EXPECT_TRUE(inRange);
}

}  // namespace
}  // namespace zolva
