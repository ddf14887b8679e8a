#include "core/worker_pool.h"

#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace zolva {

namespace {

// Tells the processor that this is a spin-wait loop: it saves power and lets the sibling
// hyper-thread run, without giving up the core.
inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// Waits until ready() holds: spins for a short while (a round's start or end is usually
// microseconds away), then gives the processor up at every turn, so that when threads outnumber
// the free processors a spinning thread does not keep a working one from running.
template <typename Ready>
void SpinUntil(Ready ready) {
  for (int spins = 0; !ready(); ++spins) {
    if (spins < 2048) {
      CpuRelax();
    } else {
      std::this_thread::yield();
    }
  }
}

}  // namespace

WorkerPool::WorkerPool() : workerFlag_(new Flag[kMaxParticipants + 1]) {}

WorkerPool::~WorkerPool() {
  StopWorkers();
}

void WorkerPool::StartWorkers(int n, Kernel kernel) {
  // A previous stage must have stopped its threads; make sure, so that none of them can run
  // this stage's kernel.
  StopWorkers();
  if (n > kMaxParticipants) {
    throw std::out_of_range("worker pool: participant count " + std::to_string(n) + " exceeds " +
                            std::to_string(kMaxParticipants));
  }
  for (int id = 2; id <= kMaxParticipants; ++id) {
    workerFlag_[id].value.store(0.0, std::memory_order_relaxed);
  }
  workerKernel_ = std::move(kernel);
  running_.store(0, std::memory_order_relaxed);
  participantStride_ = 1;
  started_ = n < 1 ? 1 : n;
  for (int id = 2; id <= n; ++id) {
    try {
      threads_.emplace_back(&WorkerPool::WorkerLoop, this, id);
    } catch (const std::system_error& e) {
      started_ = id - 1;
      StopWorkers();
      throw std::runtime_error("Could not start worker thread " + std::to_string(id) + ": " +
                               e.what());
    }
  }
}

void WorkerPool::WorkerLoop(int id) {
  running_.fetch_add(1, std::memory_order_acq_rel);
  std::atomic<double>& flag = workerFlag_[id].value;
  for (;;) {
    double command = 0.0;
    SpinUntil([&] {
      command = flag.load(std::memory_order_acquire);
      return command != 0.0;
    });
    if (command == 1.0) {
      workerKernel_(id);
      flag.store(0.0, std::memory_order_release);
    } else if (command == 2.0) {
      break;
    }
  }
}

void WorkerPool::Dispatch(int n) {
  if (n > started_) n = started_;
  for (int id = 2; id <= n; ++id) workerFlag_[id].value.store(1.0, std::memory_order_release);
  workerKernel_(1);
  for (int id = 2; id <= n; ++id) {
    SpinUntil([&] { return workerFlag_[id].value.load(std::memory_order_acquire) != 1.0; });
  }
}

int WorkerPool::DispatchRunning() {
  participantStride_ = running_.load(std::memory_order_acquire) + 1;
  if (participantStride_ > started_) participantStride_ = started_;
  const int n = participantStride_;
  for (int id = 2; id <= n; ++id) workerFlag_[id].value.store(1.0, std::memory_order_release);
  workerKernel_(1);
  for (int id = 2; id <= kMaxParticipants; ++id) {
    SpinUntil([&] { return workerFlag_[id].value.load(std::memory_order_acquire) != 1.0; });
  }
  return n;
}

void WorkerPool::StopWorkers() {
  // Every thread made by this pool is told to end, counted or not: a thread that had not yet
  // begun to run when the stage ended would otherwise spin on and could take the rounds of a
  // later stage under the same participant number.
  for (std::size_t i = 0; i < threads_.size(); ++i) {
    workerFlag_[static_cast<int>(i) + 2].value.store(2.0, std::memory_order_release);
  }
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
  threads_.clear();
  running_.store(0, std::memory_order_release);
  started_ = 1;
}

}  // namespace zolva
