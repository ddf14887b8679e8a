// A minimal pool of spinning worker threads. The main thread is participant 1; workers 2..N each
// spin on their own flag: 0 idle, 1 run the kernel once, 2 end. A round costs one flag store and
// one flag load per participant on each side: no lock, no condition variable, and no system call
// while rounds follow each other closely. A thread that has waited longer gives its processor up
// at every turn of its wait, so that more participants than free processors slow a stage down
// instead of stalling it.
//
// Threading contract: StartWorkers, Dispatch and StopWorkers are called from the main thread
// only. Kernels of one round run at the same time on different participants and must write
// disjoint data.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace zolva {

inline constexpr int kMaxParticipants = 64;

class WorkerPool {
 public:
  using Kernel = std::function<void(int participant)>;

  WorkerPool();
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Starts threads 2..n (none for n < 2), each spinning on its flag, and returns without waiting
  // for them to run. Throws std::runtime_error (after stopping the threads already made) when a
  // thread cannot be created, so that the stage fails instead of waiting forever on it.
  void StartWorkers(int n, Kernel kernel);
  // One round on participants 1..n: raise the flags of 2..n, run kernel(1) here, wait until
  // every raised flag is lowered. Afterwards every participant's writes are visible.
  void Dispatch(int n);
  // A round on the threads that have begun to run: participantStride := workersRunning + 1,
  // then participants 1..participantStride. Returns participantStride.
  int DispatchRunning();
  // Tells every thread of the pool to end and waits for them, so that no thread of an earlier
  // stage can ever pick up a round of a later one.
  void StopWorkers();

  int workersRunning() const { return running_.load(std::memory_order_acquire); }
  int participantStride() const { return participantStride_; }
  int participantCount() const { return started_; }

 private:
  struct alignas(64) Flag {
    std::atomic<double> value{0.0};
  };
  void WorkerLoop(int id);

  std::unique_ptr<Flag[]> workerFlag_;  // index 1..64
  Kernel workerKernel_;
  std::atomic<int> running_{0};
  int participantStride_ = 1;
  int started_ = 1;
  std::vector<std::thread> threads_;
};

}  // namespace zolva
