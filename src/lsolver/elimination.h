// Gauss elimination, without pivoting and in the natural order of the unknowns, of a dense complex
// system held column by column in split real and imaginary arrays: coefficient of unknown k in
// equation e at k h + e, right-hand sides in column h.
//
// The elimination is right-looking and blocked: the pivots are taken in blocks; each block's
// multipliers are computed once and its update of all later equations is applied column by
// column in tiles held in registers. Every coefficient still receives the updates of the pivots
// in increasing order, with the multiplier and pivot-row coefficient the row-by-row order would
// use. With the exact tile kernels each update is also rounded as one row operation at a time
// rounds it (textbook product and quotient, no fused multiply-add), so the result equals that of
// the plain order to the last bit; the fused kernel, taken where the processor has it, rounds
// each product once and agrees with the plain order to rounding error.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace zolva {

class WorkerPool;

enum class EliminationStatus { Completed, Stopped, Singular };

struct EliminationResult {
  EliminationStatus status = EliminationStatus::Completed;
  int pivot = -1;   // the pivot that was zero or not finite
  long rounds = 0;  // pool rounds of the forward elimination
};

// Which register-tile kernel applies the block updates. Auto takes the fused AVX-512 kernel where
// the processor has it, else the fused AVX2 one, else the exact AVX2 one, else the generic one;
// the others are for tests and benchmarks. Generic, Avx2 and Avx512 are exact (see above).
enum class TileKernelChoice { Auto, Generic, Avx2, Avx512, Avx512Fused, Avx2Fused };

// Whether a choice resolves, on this processor, to a kernel that rounds exactly as the plain
// row operations.
bool TileKernelIsExact(TileKernelChoice choice);

struct EliminationTuning {
  int block = 64;  // pivots per block
  // Equations per row block of the update: one row block's packed multipliers (rowBlock block
  // complex values) should stay in the level-2 cache while a participant's unknowns pass over it.
  int rowBlock = 384;
  TileKernelChoice kernel = TileKernelChoice::Auto;
  // Longest time between two calls of the poll function on the dispatching thread. Pool rounds
  // are sized by the measured speed to take about half of it.
  std::chrono::microseconds pollInterval{20000};
  // Most updates one participant does in one pool round, whatever the speed.
  long long roundWork = 1LL << 26;
};

// The name of the tile kernel a choice resolves to on this processor ("avx512", "avx2",
// "generic").
std::string TileKernelName(TileKernelChoice choice);

// Called on the dispatching thread between pool rounds and during the back substitution, at
// least every pollInterval, with the pivot the elimination has reached; returning false stops
// the elimination.
using EliminationPoll = std::function<bool(int pivot)>;

class CurrentEliminator {
 public:
  // re and im hold h (h + 1) elements each. Allocates the packed multiplier buffer (throws
  // std::bad_alloc when it cannot).
  CurrentEliminator(double* re, double* im, int h, const EliminationTuning& tuning = {});
  ~CurrentEliminator();
  CurrentEliminator(const CurrentEliminator&) = delete;
  CurrentEliminator& operator=(const CurrentEliminator&) = delete;

  // Participant t's part of the current pool round: it takes the round's units one at a time
  // until none are left. Threading contract: called by all participants of a round at the same
  // time; a unit (a block of coefficients) is dealt to exactly one of them, which alone writes it.
  void RowUpdateKernel(int participant);

  // Forward elimination on a pool started with a kernel that calls RowUpdateKernel. On
  // Completed the system is upper triangular in the coefficients that matter (the multipliers
  // are left below the diagonal) and every pivot is non-zero and finite.
  EliminationResult Forward(WorkerPool& pool, const EliminationPoll& poll);
  // Back substitution on the right-hand sides, on the calling thread. Afterwards unknown e is
  // rhs[e] / diagonal[e].
  EliminationResult Backward(const EliminationPoll& poll);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The whole elimination: starts `threads` participants on the pool, eliminates forward, stops
// the pool (also when an exception leaves), substitutes back.
EliminationResult EliminateCurrentSystem(double* re, double* im, int h, WorkerPool& pool,
                                         int threads, const EliminationPoll& poll,
                                         const EliminationTuning& tuning = {});

}  // namespace zolva
