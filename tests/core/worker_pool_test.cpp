#include "core/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace zolva {
namespace {

// Each participant fills the slice of rows id, id + N, id + 2N, ... (counted from 1) with its
// own number; after a round every row must carry the participant that owns it.
void CheckDisjointSlices(int n, int rounds) {
  WorkerPool pool;
  const int rows = 1000;
  std::vector<int> owner(rows, 0);
  std::vector<int> visits(rows, 0);
  pool.StartWorkers(n, [&](int id) {
    for (int r = id - 1; r < rows; r += n) {
      owner[r] = id;
      ++visits[r];
    }
  });
  for (int round = 0; round < rounds; ++round) pool.Dispatch(n);
  pool.StopWorkers();
  for (int r = 0; r < rows; ++r) {
    ASSERT_EQ(owner[r], r % n + 1) << "row " << r << " with " << n << " participants";
    ASSERT_EQ(visits[r], rounds) << "row " << r;
  }
}

TEST(WorkerPool, RoundsFillDisjointSlices) {
  CheckDisjointSlices(1, 5);
  CheckDisjointSlices(2, 50);
  CheckDisjointSlices(64, 3);
}

TEST(WorkerPool, SingleParticipantMakesNoThread) {
  WorkerPool pool;
  int calls = 0;
  pool.StartWorkers(1, [&](int id) {
    EXPECT_EQ(id, 1);
    ++calls;
  });
  pool.Dispatch(1);
  EXPECT_EQ(pool.workersRunning(), 0);
  EXPECT_EQ(pool.DispatchRunning(), 1);
  pool.StopWorkers();
  EXPECT_EQ(calls, 2);
}

TEST(WorkerPool, StopRightAfterStartLeavesNoThreadBehind) {
  // The next stage must not see a straggler of the previous one run its kernel.
  std::atomic<int> oldKernelCalls{0};
  WorkerPool pool;
  for (int repeat = 0; repeat < 20; ++repeat) {
    pool.StartWorkers(8, [&](int) { ++oldKernelCalls; });
    pool.StopWorkers();
  }
  EXPECT_EQ(oldKernelCalls.load(), 0);
  std::atomic<int> calls{0};
  pool.StartWorkers(4, [&](int) { ++calls; });
  pool.Dispatch(4);
  pool.StopWorkers();
  EXPECT_EQ(calls.load(), 4);
  EXPECT_EQ(oldKernelCalls.load(), 0);
}

TEST(WorkerPool, DispatchRunningUsesOnlyStartedThreads) {
  WorkerPool pool;
  std::vector<int> hits(kMaxParticipants + 1, 0);
  pool.StartWorkers(3, [&](int id) { ++hits[id]; });
  // Rounds before the threads have run go to the main thread alone; later ones spread.
  int total = 0;
  for (int round = 0; round < 2000; ++round) total += pool.DispatchRunning();
  pool.StopWorkers();
  int sum = 0;
  for (int id = 1; id <= 3; ++id) sum += hits[id];
  EXPECT_EQ(sum, total);
  EXPECT_EQ(hits[1], 2000);
  EXPECT_EQ(hits[4], 0);
}

TEST(WorkerPool, RefusesMoreThanSixtyFourParticipants) {
  WorkerPool pool;
  EXPECT_THROW(pool.StartWorkers(65, [](int) {}), std::out_of_range);
}

}  // namespace
}  // namespace zolva
