// The blocked elimination. For a block of b pivots starting at i0 (rows and columns i0..i0+b-1):
//
//   1. the diagonal block is eliminated on the dispatching thread, pivot by pivot, and its
//      pivots are checked;
//   2. the multipliers of every later equation are computed (a pool round over the equations,
//      which are independent once the diagonal block is done) and packed tile by tile;
//   3. every later unknown (and the right-hand side) is updated, in pool rounds over the
//      unknowns: first the block's own equations, a small triangle in which pivot i needs the
//      values left by pivots i0..i-1, then all later equations by the tile kernel.
//
// In each of these steps a coefficient takes the products of the block's pivots in increasing
// order, with the multiplier and the pivot-row coefficient that the plain order would use at that
// moment; only the order in which different coefficients are visited changes.
#include "lsolver/elimination.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "core/worker_pool.h"
#include "lsolver/elimination_codegen.h"
#include "lsolver/tile_kernels.h"

namespace zolva {

namespace {

using Clock = std::chrono::steady_clock;

// Equations per chunk of the multiplier round; a multiple of every kernel's tile height (4, 12).
constexpr int kPanelChunk = 96;
// Widest tile (unknowns) of any kernel.
constexpr int kMaxTileWidth = 4;

struct AlignedFree {
  void operator()(double* p) const { std::free(p); }
};
using AlignedBuffer = std::unique_ptr<double[], AlignedFree>;

AlignedBuffer AllocateAligned(std::size_t count) {
  const std::size_t bytes = ((count * sizeof(double) + 63) / 64) * 64;
  void* p = std::aligned_alloc(64, bytes == 0 ? 64 : bytes);
  if (p == nullptr) throw std::bad_alloc();
  return AlignedBuffer(static_cast<double*>(p));
}

TileKernel ResolveKernel(TileKernelChoice choice) {
  const auto orGeneric = [](TileKernel k) { return k.fn != nullptr ? k : GenericTileKernel(); };
  switch (choice) {
    case TileKernelChoice::Generic:
      return GenericTileKernel();
    case TileKernelChoice::Avx2:
      return orGeneric(Avx2TileKernel());
    case TileKernelChoice::Avx512:
      return orGeneric(Avx512TileKernel());
    case TileKernelChoice::Avx2Fused:
      return orGeneric(Avx2FusedTileKernel());
    case TileKernelChoice::Avx512Fused:
      return orGeneric(Avx512FusedTileKernel());
    case TileKernelChoice::Auto:
    default:
      for (TileKernel k : {Avx512FusedTileKernel(), Avx2FusedTileKernel(), Avx2TileKernel()})
        if (k.fn != nullptr) return k;
      return GenericTileKernel();
  }
}

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

// The short loops around the tile kernel, each over a contiguous run of one column, compiled for
// AVX2 as well where the processor has it (chosen at load time). Neither clone may contract a
// product and a sum into one rounding. ThreadSanitizer's runtime is not yet set up when the
// loader runs the clones' resolvers, so a build under it keeps the plain versions.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define ZOLVA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZOLVA_VECTOR_CLONES
#endif

// c[r] -= u l[r] for r < n.
ZOLVA_VECTOR_CLONES void SubtractMultiple(double* __restrict cr, double* __restrict ci,
                                          const double* __restrict lr, const double* __restrict li,
                                          double ur, double ui, int n) {
  for (int r = 0; r < n; ++r) {
    cr[r] -= ur * lr[r] - ui * li[r];
    ci[r] -= ur * li[r] + ui * lr[r];
  }
}

// l[r] = l[r] / (c + jd) for r < n; den = c^2 + d^2.
ZOLVA_VECTOR_CLONES void DivideByPivot(double* __restrict lr, double* __restrict li, double c,
                                       double d, double den, int n) {
  for (int r = 0; r < n; ++r) {
    const double a = lr[r];
    const double b = li[r];
    lr[r] = (a * c + b * d) / den;
    li[r] = (b * c - a * d) / den;
  }
}

// rhs[r] -= x (col[r] / (c + jd)) for r < n: the back substitution of one unknown.
ZOLVA_VECTOR_CLONES void SubstituteBack(double* __restrict rhsRe, double* __restrict rhsIm,
                                        const double* __restrict cr, const double* __restrict ci,
                                        double c, double d, double den, double xr, double xi,
                                        int n) {
  for (int r = 0; r < n; ++r) {
    const double fr = (cr[r] * c + ci[r] * d) / den;
    const double fi = (ci[r] * c - cr[r] * d) / den;
    rhsRe[r] -= xr * fr - xi * fi;
    rhsIm[r] -= xr * fi + xi * fr;
  }
}

bool UsablePivot(double re, double im) {
  return std::isfinite(re) && std::isfinite(im) && (re != 0.0 || im != 0.0);
}

}  // namespace

std::string TileKernelName(TileKernelChoice choice) {
  return ResolveKernel(choice).name;
}

bool TileKernelIsExact(TileKernelChoice choice) {
  return !ResolveKernel(choice).fused;
}

struct CurrentEliminator::Impl {
  enum class RoundKind { Multipliers = 0, Update = 1 };

  double* re;
  double* im;
  int h;
  std::size_t ld;  // column stride: h
  int nb;
  int rowBlock;  // a multiple of the tile height
  TileKernel kernel;
  EliminationTuning tuning;
  AlignedBuffer packedRe;
  AlignedBuffer packedIm;

  // The block being eliminated and its pivots (filled by the diagonal step).
  int i0 = 0;
  int b = 0;
  std::vector<double> pivRe, pivIm, pivDen;

  // The current round, published before the pool's flags are raised.
  RoundKind kind = RoundKind::Update;
  int first = 0;  // Multipliers: first chunk; Update: first column
  int last = 0;   // exclusive
  int tiles = 0;  // Update: tiles of unknowns in [first, last)
  long units = 0;
  long roundId = 0;
  const WorkerPool* pool = nullptr;
  double roundSeconds = 0.0;      // length of the last round, seen by participant 1
  std::atomic<long> nextUnit{0};  // the next unit to deal
  std::atomic<int> finished{0};   // participants done with the current round
  // Per tile of unknowns: the round whose block equations the tile has brought up to date.
  std::unique_ptr<std::atomic<long>[]> tileReady;

  Impl(double* r, double* i, int n, const EliminationTuning& t)
      : re(r), im(i), h(n), ld(static_cast<std::size_t>(n)), tuning(t) {
    if (n < 1) throw std::out_of_range("elimination: " + std::to_string(n) + " unknowns");
    nb = std::clamp(t.block, 1, 1024);
    kernel = ResolveKernel(t.kernel);
    if (kernel.nr > kMaxTileWidth || kPanelChunk % kernel.mr != 0)
      throw std::logic_error(std::string("elimination: tile kernel ") + kernel.name +
                             " does not fit");
    rowBlock = std::max(kernel.mr, (std::clamp(t.rowBlock, 1, 1 << 20) / kernel.mr) * kernel.mr);
    const std::size_t tiles = (static_cast<std::size_t>(h) + kernel.mr - 1) / kernel.mr + 1;
    const std::size_t packed = tiles * static_cast<std::size_t>(kernel.mr) * nb;
    packedRe = AllocateAligned(packed);
    packedIm = AllocateAligned(packed);
    pivRe.resize(static_cast<std::size_t>(nb));
    pivIm.resize(static_cast<std::size_t>(nb));
    pivDen.resize(static_cast<std::size_t>(nb));
    const std::size_t columnTiles = static_cast<std::size_t>(h + 1) / kernel.nr + 2;
    tileReady = std::make_unique<std::atomic<long>[]>(columnTiles);
    for (std::size_t t = 0; t < columnTiles; ++t) tileReady[t].store(0, std::memory_order_relaxed);
  }

  double* ColRe(int k) const { return re + static_cast<std::size_t>(k) * ld; }
  double* ColIm(int k) const { return im + static_cast<std::size_t>(k) * ld; }
  int RowStart() const { return i0 + b; }  // first equation below the block

  // Step 1: the diagonal block, on the calling thread. Returns the first unusable pivot or -1.
  int FactorDiagonal() {
    const int end = i0 + b;
    for (int p = 0; p < b; ++p) {
      const int col = i0 + p;
      const double c = ColRe(col)[col];
      const double d = ColIm(col)[col];
      if (!UsablePivot(c, d)) return col;
      const double den = c * c + d * d;
      pivRe[static_cast<std::size_t>(p)] = c;
      pivIm[static_cast<std::size_t>(p)] = d;
      pivDen[static_cast<std::size_t>(p)] = den;
      double* lr = ColRe(col) + col + 1;
      double* li = ColIm(col) + col + 1;
      DivideByPivot(lr, li, c, d, den, end - col - 1);
      for (int k = p + 1; k < b; ++k) {
        double* cr = ColRe(i0 + k);
        double* ci = ColIm(i0 + k);
        SubtractMultiple(cr + col + 1, ci + col + 1, lr, li, cr[col], ci[col], end - col - 1);
      }
    }
    return -1;
  }

  // Step 2 for the equations [ra, rb) below the block: multipliers, their effect on the block's
  // later columns, and the packed copy for the tile kernel.
  void MultiplierChunk(int ra, int rb) {
    for (int p = 0; p < b; ++p) {
      const int col = i0 + p;
      double* lr = ColRe(col) + ra;
      double* li = ColIm(col) + ra;
      DivideByPivot(lr, li, pivRe[static_cast<std::size_t>(p)], pivIm[static_cast<std::size_t>(p)],
                    pivDen[static_cast<std::size_t>(p)], rb - ra);
      for (int k = p + 1; k < b; ++k) {
        double* cr = ColRe(i0 + k);
        double* ci = ColIm(i0 + k);
        SubtractMultiple(cr + ra, ci + ra, lr, li, cr[col], ci[col], rb - ra);
      }
    }
    // Pack the whole tiles of the chunk: tile t holds, pivot by pivot, its mr multipliers.
    const int mr = kernel.mr;
    const int R0 = RowStart();
    for (int r = ra; r + mr <= rb; r += mr) {
      const std::size_t tile = static_cast<std::size_t>((r - R0) / mr);
      double* pr = packedRe.get() + tile * static_cast<std::size_t>(mr) * b;
      double* pi = packedIm.get() + tile * static_cast<std::size_t>(mr) * b;
      for (int p = 0; p < b; ++p) {
        const double* lr = ColRe(i0 + p) + r;
        const double* li = ColIm(i0 + p) + r;
        for (int lane = 0; lane < mr; ++lane) {
          pr[p * mr + lane] = lr[lane];
          pi[p * mr + lane] = li[lane];
        }
      }
    }
  }

  // Step 3, first part, for unknown k: the block's own equations.
  void UpdateBlockRows(int k) {
    double* cr = ColRe(k);
    double* ci = ColIm(k);
    const int end = i0 + b;
    for (int p = 0; p < b; ++p) {
      const int row = i0 + p;
      SubtractMultiple(cr + row + 1, ci + row + 1, ColRe(row) + row + 1, ColIm(row) + row + 1,
                       cr[row], ci[row], end - row - 1);
    }
  }

  // Step 3, second part, with plain loops: unknowns [k0, k1), equations [ra, rb).
  void UpdateEdge(int k0, int k1, int ra, int rb) {
    for (int k = k0; k < k1; ++k) {
      double* cr = ColRe(k);
      double* ci = ColIm(k);
      for (int p = 0; p < b; ++p) {
        const int row = i0 + p;
        SubtractMultiple(cr + ra, ci + ra, ColRe(row) + ra, ColIm(row) + ra, cr[row], ci[row],
                         rb - ra);
      }
    }
  }

  // The rows [rb0, rb1) of the tile of unknowns [k0, k1): the block's update by the tile kernel,
  // with plain loops at the edges.
  void UpdateTileRows(int k0, int k1, int rb0, int rb1) {
    const int nr = kernel.nr;
    const int mr = kernel.mr;
    if (k1 - k0 < nr) {
      UpdateEdge(k0, k1, rb0, rb1);
      return;
    }
    const int R0 = RowStart();
    const int fullRows = R0 + ((h - R0) / mr) * mr;
    const int tileEnd = std::min(rb1, fullRows);
    const double* uRe[kMaxTileWidth];
    const double* uIm[kMaxTileWidth];
    double* cRe[kMaxTileWidth];
    double* cIm[kMaxTileWidth];
    for (int c = 0; c < nr; ++c) {
      uRe[c] = ColRe(k0 + c) + i0;
      uIm[c] = ColIm(k0 + c) + i0;
    }
    for (int r = rb0; r < tileEnd; r += mr) {
      const std::size_t tile = static_cast<std::size_t>((r - R0) / mr);
      const double* pr = packedRe.get() + tile * static_cast<std::size_t>(mr) * b;
      const double* pi = packedIm.get() + tile * static_cast<std::size_t>(mr) * b;
      for (int c = 0; c < nr; ++c) {
        cRe[c] = ColRe(k0 + c) + r;
        cIm[c] = ColIm(k0 + c) + r;
      }
      kernel.fn(b, pr, pi, uRe, uIm, cRe, cIm);
    }
    if (tileEnd < rb1) UpdateEdge(k0, k1, std::max(tileEnd, rb0), rb1);
  }

  // Waits until another participant has published `flag` as `value` (it is working on it).
  static void AwaitFlag(const std::atomic<long>& flag, long value) {
    for (int spins = 0; flag.load(std::memory_order_acquire) != value; ++spins) {
      if (spins < 1024) {
        CpuRelax();
      } else {
        std::this_thread::yield();
      }
    }
  }

  // Step 3, unit j of the round: row block j / tiles of one tile of unknowns. The tiles are
  // counted from the top (the right-hand side first). A tile's first unit also brings its
  // coefficients in the block's own equations up to date, which every later row block of the tile
  // reads; it publishes them through the tile's flag.
  void UpdateUnit(long j) {
    const int nr = kernel.nr;
    const int t = tiles - 1 - static_cast<int>(j % tiles);
    const int rowBlockIndex = static_cast<int>(j / tiles);
    const int k0 = first + t * nr;
    const int k1 = std::min(k0 + nr, last);
    if (rowBlockIndex == 0) {
      for (int k = k0; k < k1; ++k) UpdateBlockRows(k);
      tileReady[static_cast<std::size_t>(t)].store(roundId, std::memory_order_release);
    } else {
      AwaitFlag(tileReady[static_cast<std::size_t>(t)], roundId);
    }
    const int R0 = RowStart();
    if (R0 >= h) return;
    const int rb0 = R0 + rowBlockIndex * rowBlock;
    UpdateTileRows(k0, k1, rb0, std::min(rb0 + rowBlock, h));
  }

  // Step 2, unit j of the round: one chunk of equations, counted from the last.
  void MultiplierUnit(long j) {
    const int chunk = last - 1 - static_cast<int>(j);
    const int ra = RowStart() + chunk * kPanelChunk;
    MultiplierChunk(ra, std::min(ra + kPanelChunk, h));
  }

  // The units of a round are dealt one at a time, from the top down, to whichever participant is
  // free. With participants of equal speed this is the interleaving of the unknowns over the
  // participants (participant t takes the (t-1)-th from the top, then every S-th below); when a
  // processor is also busy with other work, its participant simply takes fewer units, and the
  // round does not wait for it.
  void Kernel(int participant) {
    const int stride = pool != nullptr ? pool->participantStride() : 1;
    if (participant < 1 || participant > stride) return;
    const Clock::time_point start = Clock::now();
    for (;;) {
      const long j = nextUnit.fetch_add(1, std::memory_order_relaxed);
      if (j >= units) break;
      if (kind == RoundKind::Multipliers) {
        MultiplierUnit(j);
      } else {
        UpdateUnit(j);
      }
    }
    finished.fetch_add(1, std::memory_order_acq_rel);
    if (participant != 1) return;
    // The dispatching participant waits here for the others rather than in the pool's spin: after
    // a short spin it gives its processor up, so that on a machine with more runnable threads
    // than processors a worker queued behind it can run its last unit.
    for (int spins = 0; finished.load(std::memory_order_acquire) < stride; ++spins) {
      if (spins < 256) {
        CpuRelax();
      } else {
        std::this_thread::yield();
      }
    }
    roundSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  }
};

CurrentEliminator::CurrentEliminator(double* re, double* im, int h, const EliminationTuning& tuning)
    : impl_(std::make_unique<Impl>(re, im, h, tuning)) {}

CurrentEliminator::~CurrentEliminator() = default;

void CurrentEliminator::RowUpdateKernel(int participant) {
  impl_->Kernel(participant);
}

EliminationResult CurrentEliminator::Forward(WorkerPool& pool, const EliminationPoll& poll) {
  Impl& s = *impl_;
  s.pool = &pool;
  const int h = s.h;
  Clock::time_point lastPoll = Clock::now();
  if (poll && !poll(0)) return {EliminationStatus::Stopped, -1};
  // Polls when the interval has passed, with the pivot reached so far.
  auto due = [&](int pivot) {
    if (!poll) return true;
    const Clock::time_point now = Clock::now();
    if (now - lastPoll < s.tuning.pollInterval) return true;
    lastPoll = now;
    return poll(pivot);
  };
  // Rounds are sized so that each takes about half the poll interval, by the speed measured on
  // the previous round of the same kind (its work over its length, per participant). Since the
  // units are dealt to whoever is free, a participant slowed by other work lowers the measured
  // speed only by the share it did not do.
  const double target = std::chrono::duration<double>(s.tuning.pollInterval).count() / 2;
  const long long cap = std::max<long long>(s.tuning.roundWork, 1);
  double rate[2] = {1e8, 1e8};  // updates per second of one participant, per round kind
  auto budget = [&](Impl::RoundKind kind, int participants) {
    const double byTime = rate[static_cast<int>(kind)] * target;
    return static_cast<long long>(std::max(1.0, std::min(byTime, static_cast<double>(cap)))) *
           participants;
  };
  long rounds = 0;
  auto run = [&](long long work) {
    ++rounds;
    ++s.roundId;
    s.roundSeconds = 0.0;
    s.nextUnit.store(0, std::memory_order_relaxed);
    s.finished.store(0, std::memory_order_release);
    const int participants = pool.DispatchRunning();
    if (s.roundSeconds > 20e-6)
      rate[static_cast<int>(s.kind)] = static_cast<double>(work) / participants / s.roundSeconds;
  };

  for (s.i0 = 0; s.i0 < h; s.i0 += s.nb) {
    s.b = std::min(s.nb, h - s.i0);
    const int bad = s.FactorDiagonal();
    if (bad >= 0) return {EliminationStatus::Singular, bad, rounds};
    const int R0 = s.RowStart();
    const int rows = h - R0;
    const int participants =
        std::max(1, std::min(pool.workersRunning() + 1, std::max(pool.participantCount(), 1)));

    // Step 2: the multipliers of the equations below the block.
    if (rows > 0) {
      const int chunks = (rows + kPanelChunk - 1) / kPanelChunk;
      const long long chunkWork = static_cast<long long>(kPanelChunk) * s.b * (s.b + 1) / 2 + 1;
      for (int c = 0; c < chunks;) {
        const int perRound = static_cast<int>(std::clamp<long long>(
            budget(Impl::RoundKind::Multipliers, participants) / chunkWork, 1, chunks));
        s.kind = Impl::RoundKind::Multipliers;
        s.first = c;
        s.last = std::min(c + perRound, chunks);
        s.units = s.last - s.first;
        run(chunkWork * (s.last - s.first));
        c = s.last;
        if (!due(s.i0)) return {EliminationStatus::Stopped, -1, rounds};
      }
    }

    // Step 3: every later unknown and the right-hand side (column h).
    const int columns = h + 1 - R0;
    const long long columnWork = static_cast<long long>(s.b) * rows + s.b * s.b / 2 + 1;
    const int nr = s.kernel.nr;
    const int rowBlocks = std::max(1, (rows + s.rowBlock - 1) / s.rowBlock);
    for (int k = R0; k < h + 1;) {
      long long width = budget(Impl::RoundKind::Update, participants) / columnWork;
      width = std::max<long long>(nr, (width / nr) * nr);
      s.kind = Impl::RoundKind::Update;
      s.first = k;
      s.last = static_cast<int>(std::min<long long>(k + width, h + 1));
      s.tiles = (s.last - s.first + nr - 1) / nr;
      s.units = static_cast<long>(s.tiles) * rowBlocks;
      run(columnWork * (s.last - s.first));
      k = s.last;
      const double done = static_cast<double>(s.last - R0) / columns;
      if (!due(s.i0 + static_cast<int>(done * s.b)))
        return {EliminationStatus::Stopped, -1, rounds};
    }
  }
  return {EliminationStatus::Completed, -1, rounds};
}

EliminationResult CurrentEliminator::Backward(const EliminationPoll& poll) {
  Impl& s = *impl_;
  const int h = s.h;
  double* rhsRe = s.ColRe(h);
  double* rhsIm = s.ColIm(h);
  Clock::time_point lastPoll = Clock::now();
  for (int i = h - 1; i >= 1; --i) {
    if (poll && (i & 63) == 0) {
      const Clock::time_point now = Clock::now();
      if (now - lastPoll >= s.tuning.pollInterval) {
        lastPoll = now;
        if (!poll(h - 1)) return {EliminationStatus::Stopped, -1};
      }
    }
    const double* cr = s.ColRe(i);
    const double* ci = s.ColIm(i);
    const double c = cr[i];
    const double d = ci[i];
    if (!UsablePivot(c, d)) return {EliminationStatus::Singular, i};
    // Equation i now holds unknown i alone; remove it from every equation above.
    SubstituteBack(rhsRe, rhsIm, cr, ci, c, d, c * c + d * d, rhsRe[i], rhsIm[i], i);
  }
  return {EliminationStatus::Completed, -1};
}

EliminationResult EliminateCurrentSystem(double* re, double* im, int h, WorkerPool& pool,
                                         int threads, const EliminationPoll& poll,
                                         const EliminationTuning& tuning) {
  CurrentEliminator eliminator(re, im, h, tuning);
  struct PoolStopper {
    WorkerPool& pool;
    ~PoolStopper() { pool.StopWorkers(); }
  } stopper{pool};
  pool.StartWorkers(std::max(threads, 1),
                    [&eliminator](int participant) { eliminator.RowUpdateKernel(participant); });
  EliminationResult forward = eliminator.Forward(pool, poll);
  pool.StopWorkers();
  if (forward.status != EliminationStatus::Completed) return forward;
  EliminationResult backward = eliminator.Backward(poll);
  backward.rounds = forward.rounds;
  return backward;
}

}  // namespace zolva
