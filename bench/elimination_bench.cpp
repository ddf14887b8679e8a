// The elimination of the current equations alone, for h = 1000, 2000 and 4000 unknowns on 1 and
// 2 participants. When LAPACKE over OpenBLAS was found, every iteration also solves the same
// matrix with LAPACK's zgesv (partial pivoting; the matrix is diagonally dominant, so no row is
// exchanged) on as many OpenBLAS threads, and the counters give both times, their ratio
// (ours / zgesv) and the largest relative difference of the two solutions.
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
#include <thread>
#include <vector>

#include "lsolver/current_system.h"
#include "lsolver/elimination.h"
#include "shell/worker_pool.h"

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

void RunElimination(benchmark::State& state, const EliminationTuning& tuning, bool compare) {
  const int h = static_cast<int>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  const BenchSystem& sys = SystemOf(h);
  const std::size_t n = sys.re.size();
  // Both solvers get their matrix in memory allocated the same way as the solver's own.
  SystemArray re = AllocateSystemArray(n);
  SystemArray im = AllocateSystemArray(n);
  SystemArray lapackMatrix = AllocateSystemArray(2 * static_cast<std::size_t>(h) * h);
  if (!re || !im || !lapackMatrix) {
    state.SkipWithError("out of memory");
    return;
  }
  WorkerPool pool;
  double ours = 0.0;
  double lapack = 0.0;
  double oursCpu = 0.0;
  double lapackCpu = 0.0;
  double worst = 0.0;
  long runs = 0;
  long rounds = 0;
  for (auto _ : state) {
    std::copy(sys.re.begin(), sys.re.end(), re.get());
    std::copy(sys.im.begin(), sys.im.end(), im.get());
    // OpenBLAS's idle threads spin for a while after a call; let them settle first.
    if (compare) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double c0 = ProcessSeconds();
    const Clock::time_point t0 = Clock::now();
    const EliminationResult r =
        EliminateCurrentSystem(re.get(), im.get(), h, pool, threads, nullptr, tuning);
    const Clock::time_point t1 = Clock::now();
    oursCpu += ProcessSeconds() - c0;
    if (r.status != EliminationStatus::Completed) state.SkipWithError("elimination failed");
    rounds = r.rounds;
    state.SetIterationTime(Seconds(t0, t1));
    ours += Seconds(t0, t1);
    ++runs;
#if defined(ZOLVA_HAVE_LAPACKE)
    if (compare) {
      auto* a = reinterpret_cast<std::complex<double>*>(lapackMatrix.get());
      for (std::size_t i = 0; i < static_cast<std::size_t>(h) * h; ++i)
        a[i] = {sys.re[i], sys.im[i]};
      std::vector<std::complex<double>> b(static_cast<std::size_t>(h));
      const std::size_t rhs = static_cast<std::size_t>(h) * h;
      for (int e = 0; e < h; ++e)
        b[static_cast<std::size_t>(e)] = {sys.re[rhs + e], sys.im[rhs + e]};
      std::vector<lapack_int> pivots(static_cast<std::size_t>(h));
      openblas_set_num_threads(threads);
      const double c2 = ProcessSeconds();
      const Clock::time_point t2 = Clock::now();
      const lapack_int info =
          LAPACKE_zgesv(LAPACK_COL_MAJOR, h, 1, a, h, pivots.data(), b.data(), h);
      const Clock::time_point t3 = Clock::now();
      lapackCpu += ProcessSeconds() - c2;
      if (info != 0) state.SkipWithError("zgesv failed");
      lapack += Seconds(t2, t3);
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
  if (runs > 0) {
    state.counters["ours_s"] = ours / runs;
    state.counters["rounds"] = static_cast<double>(rounds);
    // h^3 / 3 complex multiply-subtracts.
    state.counters["Gupd/s"] = static_cast<double>(h) * h * h / 3 / (ours / runs) / 1e9;
    if (lapack > 0) {
      state.counters["zgesv_s"] = lapack / runs;
      state.counters["ratio"] = ours / lapack;
      state.counters["cpu_ratio"] = oursCpu / lapackCpu;
      state.counters["max_rel_diff"] = worst;
    }
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
    ->MinTime(1.0);

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
                   {64, 96, 128},
                   {256},
                   {static_cast<int>(TileKernelChoice::Avx2),
                    static_cast<int>(TileKernelChoice::Avx512)},
                   {20, 30}})
    ->ArgNames({"h", "threads", "block", "rows", "kernel", "poll_ms"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace
}  // namespace zolva
