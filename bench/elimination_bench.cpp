// The elimination of the current equations alone, for h = 1000, 2000 and 4000 unknowns on 1 and
// 2 participants. When LAPACKE over OpenBLAS was found, every iteration also solves the same
// matrix with LAPACK's zgesv (partial pivoting; the matrix is diagonally dominant, so no row is
// exchanged) on as many OpenBLAS threads, and the counters give both median times, the median of
// the ratios (ours / zgesv) of each iteration, the largest such ratio, and the largest relative
// difference of the two solutions.
//
//   zolva_bench --benchmark_filter=Elimination
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstddef>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/worker_pool.h"
#include "lsolver/current_system.h"
#include "lsolver/elimination.h"
#include "lsolver/tile_kernels.h"

#if defined(ZOLVA_HAVE_LAPACKE)
#define lapack_complex_float std::complex<float>
#define lapack_complex_double std::complex<double>
#include <lapacke.h>
extern "C" void openblas_set_num_threads(int);
#endif

namespace zolva {
namespace {

using Clock = std::chrono::steady_clock;

// A dense complex system like the current equations: unit-scale couplings everywhere and a
// dominant diagonal; column-major, right-hand sides in column h.
struct BenchSystem {
  int h = 0;
  std::vector<double> re, im;
};

const BenchSystem& SystemOf(int h) {
  static std::map<int, BenchSystem> cache;
  BenchSystem& s = cache[h];
  if (s.h == h) return s;
  s.h = h;
  const std::size_t n = static_cast<std::size_t>(h) * (static_cast<std::size_t>(h) + 1);
  s.re.resize(n);
  s.im.resize(n);
  std::mt19937_64 rng(static_cast<unsigned>(h));
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (std::size_t i = 0; i < n; ++i) {
    s.re[i] = u(rng);
    s.im[i] = u(rng);
  }
  for (int e = 0; e < h; ++e) {
    const std::size_t d = static_cast<std::size_t>(e) * h + e;
    s.re[d] += 2.0 * h;
    s.im[d] += 0.5 * h;
  }
  return s;
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Processor time of the whole process: on a machine shared with other work it shows the work
// done, where the wall-clock time also holds the waits for a processor.
double ProcessSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Our elimination of system `sys` on `threads` participants; returns the wall-clock seconds, or
// a negative number when it did not complete.
double TimeOurs(const BenchSystem& sys, const EliminationTuning& tuning, int threads,
                WorkerPool& pool, double* re, double* im, double* cpuSeconds) {
  std::copy(sys.re.begin(), sys.re.end(), re);
  std::copy(sys.im.begin(), sys.im.end(), im);
  const double c0 = ProcessSeconds();
  const Clock::time_point t0 = Clock::now();
  const EliminationResult r = EliminateCurrentSystem(re, im, sys.h, pool, threads, nullptr, tuning);
  const Clock::time_point t1 = Clock::now();
  *cpuSeconds += ProcessSeconds() - c0;
  return r.status == EliminationStatus::Completed ? Seconds(t0, t1) : -1.0;
}

#if defined(ZOLVA_HAVE_LAPACKE)
// LAPACK's zgesv of the same system on `threads` OpenBLAS threads; the solution is left in b.
double TimeZgesv(const BenchSystem& sys, int threads, std::complex<double>* a,
                 std::vector<std::complex<double>>& b, double* cpuSeconds) {
  const int h = sys.h;
  for (std::size_t i = 0; i < static_cast<std::size_t>(h) * h; ++i) a[i] = {sys.re[i], sys.im[i]};
  b.resize(static_cast<std::size_t>(h));
  const std::size_t rhs = static_cast<std::size_t>(h) * h;
  for (int e = 0; e < h; ++e) b[static_cast<std::size_t>(e)] = {sys.re[rhs + e], sys.im[rhs + e]};
  std::vector<lapack_int> pivots(static_cast<std::size_t>(h));
  openblas_set_num_threads(threads);
  const double c0 = ProcessSeconds();
  const Clock::time_point t0 = Clock::now();
  const lapack_int info = LAPACKE_zgesv(LAPACK_COL_MAJOR, h, 1, a, h, pivots.data(), b.data(), h);
  const Clock::time_point t1 = Clock::now();
  *cpuSeconds += ProcessSeconds() - c0;
  return info == 0 ? Seconds(t0, t1) : -1.0;
}
#endif

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// Each iteration times both solvers on the same matrix, one after the other, in alternating order,
// each after a pause: OpenBLAS's idle threads spin for a while after a call, and a solve that
// starts while they do (or while the other solver's pages are still being returned) would be
// charged for them. On a machine shared with other work the speed drifts from one second to the
// next; the ratio of the two times of one iteration is taken, and the median over the iterations
// reported, so that a disturbed iteration does not decide the figure.
void RunElimination(benchmark::State& state, const EliminationTuning& tuning, bool compare) {
  const int h = static_cast<int>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  const BenchSystem& sys = SystemOf(h);
  const std::size_t n = sys.re.size();
  // Both solvers get their matrix in memory allocated the same way as the solver's own.
  SystemArray re = AllocateSystemArray(n);
  SystemArray im = AllocateSystemArray(n);
  SystemArray lapackMatrix = AllocateSystemArray(compare ? 2 * static_cast<std::size_t>(h) * h : 1);
  if (!re || !im || !lapackMatrix) {
    state.SkipWithError("out of memory");
    return;
  }
  WorkerPool pool;
  std::vector<double> ours, lapack, ratios;
  double oursCpu = 0.0;
  double lapackCpu = 0.0;
  double worst = 0.0;
  long iteration = 0;
  const auto pause = [&] {
    if (compare) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  };
  for (auto _ : state) {
    double o = 0.0;
    double z = 0.0;
    const bool oursFirst = iteration++ % 2 == 0;
    if (oursFirst) {
      pause();
      o = TimeOurs(sys, tuning, threads, pool, re.get(), im.get(), &oursCpu);
    }
#if defined(ZOLVA_HAVE_LAPACKE)
    std::vector<std::complex<double>> b;
    if (compare) {
      pause();
      z = TimeZgesv(sys, threads, reinterpret_cast<std::complex<double>*>(lapackMatrix.get()), b,
                    &lapackCpu);
      if (z < 0) state.SkipWithError("zgesv failed");
    }
#endif
    if (!oursFirst) {
      pause();
      o = TimeOurs(sys, tuning, threads, pool, re.get(), im.get(), &oursCpu);
    }
    if (o < 0) {
      state.SkipWithError("elimination failed");
      break;
    }
    state.SetIterationTime(o);
    ours.push_back(o);
#if defined(ZOLVA_HAVE_LAPACKE)
    if (z > 0) {
      lapack.push_back(z);
      ratios.push_back(o / z);
      const std::size_t rhs = static_cast<std::size_t>(h) * h;
      for (int e = 0; e < h; ++e) {
        const std::size_t d = static_cast<std::size_t>(e) * h + e;
        const std::complex<double> x =
            std::complex<double>(re[rhs + e], im[rhs + e]) / std::complex<double>(re[d], im[d]);
        const std::complex<double> y = b[static_cast<std::size_t>(e)];
        worst = std::max(worst, std::abs(x - y) / std::max(std::abs(y), 1e-300));
      }
    }
#endif
  }
  state.SetLabel(TileKernelName(tuning.kernel) + " block " + std::to_string(tuning.block) +
                 " rows " + std::to_string(tuning.rowBlock));
  if (!ours.empty()) {
    state.counters["ours_s"] = Median(ours);
    // h^3 / 3 complex multiply-subtracts.
    state.counters["Gupd/s"] = static_cast<double>(h) * h * h / 3 / Median(ours) / 1e9;
  }
  if (!ratios.empty()) {
    state.counters["zgesv_s"] = Median(lapack);
    state.counters["ratio"] = Median(ratios);
    state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
    state.counters["cpu_ratio"] = oursCpu / lapackCpu;
    state.counters["max_rel_diff"] = worst;
  }
}

void BM_Elimination(benchmark::State& state) {
  RunElimination(state, EliminationTuning{}, true);
}
BENCHMARK(BM_Elimination)
    ->ArgsProduct({{1000, 2000, 4000}, {1, 2}})
    ->ArgNames({"h", "threads"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

// The block width, the kernel and the poll interval (which sets the length of the pool rounds)
// at h = 2000, for tuning.
void BM_EliminationTuning(benchmark::State& state) {
  EliminationTuning tuning;
  tuning.block = static_cast<int>(state.range(2));
  tuning.rowBlock = static_cast<int>(state.range(3));
  tuning.kernel = static_cast<TileKernelChoice>(state.range(4));
  tuning.pollInterval = std::chrono::milliseconds(state.range(5));
  RunElimination(state, tuning, false);
}
BENCHMARK(BM_EliminationTuning)
    ->ArgsProduct({{2000},
                   {1, 2},
                   {64, 128},
                   {192, 384, 768},
                   {static_cast<int>(TileKernelChoice::Avx2),
                    static_cast<int>(TileKernelChoice::Avx512),
                    static_cast<int>(TileKernelChoice::Avx512Fused),
                    static_cast<int>(TileKernelChoice::Avx2Fused)},
                   {20, 30}})
    ->ArgNames({"h", "threads", "block", "rows", "kernel", "poll_ms"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// One tile kernel alone, on data that stays in the level-1 and level-2 caches: the ceiling of the
// update rate of the elimination on this processor (0 generic, 1 AVX2, 2 AVX-512, 3 AVX-512
// fused, 4 AVX2 fused), on one and on two threads at once.
void BM_TileKernelAlone(benchmark::State& state) {
  const TileKernel k = state.range(0) == 0   ? GenericTileKernel()
                       : state.range(0) == 1 ? Avx2TileKernel()
                       : state.range(0) == 2 ? Avx512TileKernel()
                       : state.range(0) == 3 ? Avx512FusedTileKernel()
                                             : Avx2FusedTileKernel();
  if (k.fn == nullptr) {
    state.SkipWithError("not on this processor");
    return;
  }
  constexpr int b = 64;
  constexpr int rows = 384;
  std::vector<double> lre(static_cast<std::size_t>(rows) * b, 1e-3), lim = lre;
  std::vector<double> ure(static_cast<std::size_t>(b) * k.nr, 2e-3), uim = ure;
  std::vector<double> cre(static_cast<std::size_t>(rows) * k.nr, 1.0), cim = cre;
  std::vector<const double*> ur(static_cast<std::size_t>(k.nr)), ui(ur.size());
  std::vector<double*> cr(ur.size()), ci(ur.size());
  for (int c = 0; c < k.nr; ++c) {
    ur[static_cast<std::size_t>(c)] = ure.data() + c * b;
    ui[static_cast<std::size_t>(c)] = uim.data() + c * b;
  }
  long long updates = 0;
  for (auto _ : state) {
    for (int r = 0; r + k.mr <= rows; r += k.mr) {
      for (int c = 0; c < k.nr; ++c) {
        cr[static_cast<std::size_t>(c)] = cre.data() + c * rows + r;
        ci[static_cast<std::size_t>(c)] = cim.data() + c * rows + r;
      }
      const std::size_t at = static_cast<std::size_t>(r) * b;
      k.fn(b, lre.data() + at, lim.data() + at, ur.data(), ui.data(), cr.data(), ci.data());
      updates += static_cast<long long>(k.mr) * k.nr * b;
    }
    benchmark::ClobberMemory();
  }
  state.SetLabel(k.name);
  state.counters["Gupd/s"] =
      benchmark::Counter(static_cast<double>(updates) / 1e9, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TileKernelAlone)->DenseRange(0, 4)->ThreadRange(1, 2);

}  // namespace
}  // namespace zolva
