// One relaxation round on a 1600 x 1600 core of uniform dielectric and on the default round
// twinlead's grid (core and apron), with 1 and 2 participants, in node updates per second; next
// to a minimal reference kernel on the same array: a plain in-place 5-point over-relaxation,
// row by row, the neighbours summed left, right, up, down. Each of our runs also times the
// reference on its own core array and reports the ratio of the two rates. The plain sweeps
// alone (reference, the plain update node by node, the run kernel's blocks of four) are timed
// on the uniform core as well.
//
// On a machine shared with other work the wall-clock rates understate what the kernels do; the
// counters cpu_Mnode/s and cpu_ratio divide by the processor time each participant spent in its
// kernel (the slowest participant for a round), which is what the rates would be with a core
// to each participant.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <ctime>
#include <memory>
#include <vector>

#include "core/materials.h"
#include "core/pixel_map.h"
#include "csolver/charge_distribution.h"
#include "csolver/field_regions.h"
#include "csolver/flush_denormals.h"
#include "csolver/relax_kernel.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"
#include "geometry/map_ops.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

constexpr std::uint32_t kBlack = PackColor(0, 0, 0);
constexpr std::uint32_t kRed = PackColor(255, 0, 0);
constexpr std::uint32_t kGreen = PackColor(0, 255, 0);

enum class GridKind { UniformCore, DefaultTwinlead };

// A context whose grid is distributed and planned, ready for rounds.
struct BenchGrid {
  HeadlessPlatform platform;
  std::unique_ptr<Context> ctx;
  bool ok = false;
};

// 1580 x 1580 pixels of vacuum inside a grounded frame with a +1 volt pixel in the middle: a
// core of 1600 x 1600 cells, the margin held by the frame's voltage.
void DrawUniform(Context& ctx) {
  RegisterColor(ctx.materials, ctx.reporter, kRed, KindPlus, 1.7241, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kGreen, KindGround, 1.7241, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kBlack, KindInsul, 0, 1, 0, 1, "vacuum");
  const int n = 1580;
  ctx.map.Uwid = ctx.map.Uhei = n;
  ctx.map.Ucolor.assign(static_cast<std::size_t>(n) * n, kBlack);
  ctx.map.backgroundColor = kBlack;
  for (int i = 0; i < n; ++i) {
    ctx.map.Ucolor[static_cast<std::size_t>(i)] = kGreen;
    ctx.map.Ucolor[static_cast<std::size_t>(n - 1) * n + static_cast<std::size_t>(i)] = kGreen;
    ctx.map.Ucolor[static_cast<std::size_t>(i) * n] = kGreen;
    ctx.map.Ucolor[static_cast<std::size_t>(i) * n + static_cast<std::size_t>(n - 1)] = kGreen;
  }
  ctx.map.Ucolor[static_cast<std::size_t>(n / 2) * n + static_cast<std::size_t>(n / 2)] = kRed;
}

void Build(BenchGrid& b, GridKind kind) {
  b.platform.echoMessages = false;
  b.ctx = std::make_unique<Context>(b.platform);
  Context& ctx = *b.ctx;
  if (kind == GridKind::UniformCore) {
    DrawUniform(ctx);
    if (!IndexConductors(ctx)) return;
    FillPaletteProperties(GeometryJobOf(ctx));
    FindFieldRegions(CapacitanceJobOf(ctx));
  } else {
    // The program's own start: the panel's defaults and the default round twinlead.
    StartMainWindow(ctx);
    CreatePanel(ctx);
    ctx.state.startupScriptChecked = true;
    if (RebuildCrossSection(ctx) != 0) return;
    SolveSetup(ctx);
  }
  if (ctx.state.abortRequested) return;
  BuildEdgeFactors(ctx.grid);
  if (!SizeGrid(CapacitanceJobOf(ctx)) || !DistributeCharge(CapacitanceJobOf(ctx))) return;
  for (std::uint8_t& c : ctx.grid.Acode) c &= 0xF;
  for (std::uint8_t& c : ctx.grid.Ccode)
    c = (c & (NodeFree | NodeFreeMixed | NodeConductor)) ? static_cast<std::uint8_t>(c & 0xF)
                                                         : NodeOutside;
  BuildRelaxPlan(CapacitanceJobOf(ctx));
  b.ok = true;
}

// Free nodes one sweep of each lattice updates.
double FreeNodes(const std::vector<std::uint8_t>& code) {
  return static_cast<double>(std::count_if(code.begin(), code.end(), [](std::uint8_t c) {
    return (c & (NodeFree | NodeFreeMixed)) != 0;
  }));
}

// The reference: every interior node of the array, in place, left + right + up + down.
void ReferenceSweep(std::vector<double>& v, int W, int H) {
  const std::size_t w = static_cast<std::size_t>(W);
  for (int y = 1; y < H - 1; ++y) {
    double* row = v.data() + static_cast<std::size_t>(y) * w;
    for (int x = 1; x < W - 1; ++x) {
      row[x] = 0.375 * (((row[x - 1] + row[x + 1]) + row[x - W]) + row[x + W]) - 0.5 * row[x];
    }
  }
  benchmark::DoNotOptimize(v.data());
}

// The plain update one node at a time, the just-updated neighbour added last, with the round's
// relaxed atomic accesses: what the run kernel's blocks of four are measured against.
void NodeByNodeSweep(std::vector<double>& v, int W, int H) {
  const std::ptrdiff_t w = W;
  for (int y = 1; y < H - 1; ++y) {
    double* row = v.data() + static_cast<std::ptrdiff_t>(y) * w;
    double nearV = LoadVolts(row[0]);
    for (std::ptrdiff_t x = 1; x < w - 1; ++x) {
      double* p = row + x;
      nearV =
          PlainUpdate(nearV, LoadVolts(p[1]), LoadVolts(p[-w]), LoadVolts(p[w]), LoadVolts(p[0]));
      StoreVolts(p[0], nearV);
    }
  }
  benchmark::DoNotOptimize(v.data());
}

void BlockSweep(std::vector<double>& v, int W, int H) {
  for (int y = 1; y < H - 1; ++y)
    RelaxPlainRun<1>(v.data() + static_cast<std::ptrdiff_t>(y) * W, W, 1, W - 2);
  benchmark::DoNotOptimize(v.data());
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Rates {
  double wall = 0.0;  // node updates per second of elapsed time
  double cpu = 0.0;   // node updates per second of processor time
};

// Node updates per second of the reference on a copy of the grid's core, best of a few runs.
Rates ReferenceRate(const SolverGrid& g) {
  std::vector<double> v = g.Cvolts;
  DenormalsOff denormalsOff;
  Rates best;
  const double nodes = static_cast<double>(g.Cwid - 2) * static_cast<double>(g.Chei - 2);
  for (int run = 0; run < 5; ++run) {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = ThreadCpuSeconds();
    for (int sweep = 0; sweep < 4; ++sweep) ReferenceSweep(v, g.Cwid, g.Chei);
    const double cpu = ThreadCpuSeconds() - c0;
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    best.wall = std::max(best.wall, 4 * nodes / s);
    best.cpu = std::max(best.cpu, 4 * nodes / cpu);
  }
  return best;
}

BenchGrid& Cached(GridKind kind) {
  static BenchGrid uniform, twinlead;
  BenchGrid& b = kind == GridKind::UniformCore ? uniform : twinlead;
  if (!b.ctx) Build(b, kind);
  return b;
}

// One sweep of a plain kernel over the whole uniform core, every interior node.
void BM_PlainSweep(benchmark::State& state, void (*sweep)(std::vector<double>&, int, int)) {
  BenchGrid& b = Cached(GridKind::UniformCore);
  if (!b.ok) {
    state.SkipWithError("grid not built");
    return;
  }
  const SolverGrid& g = b.ctx->grid;
  std::vector<double> v = g.Cvolts;
  DenormalsOff denormalsOff;
  for (auto _ : state) sweep(v, g.Cwid, g.Chei);
  const double nodes = static_cast<double>(g.Cwid - 2) * static_cast<double>(g.Chei - 2);
  state.counters["Mnode/s"] = benchmark::Counter(
      nodes * 1e-6 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_RelaxationRound(benchmark::State& state, GridKind kind) {
  BenchGrid& b = Cached(kind);
  if (!b.ok) {
    state.SkipWithError("grid not built");
    return;
  }
  Context& ctx = *b.ctx;
  SolverGrid& g = ctx.grid;
  const int n = static_cast<int>(state.range(0));
  const Rates reference = ReferenceRate(g);

  RelaxPlan& plan = g.plan;
  plan.participants = n;
  SplitEvenly(plan, n);
  SplitByCost(plan, n);
  struct alignas(64) KernelTime {
    double seconds = 0.0;
  };
  std::array<KernelTime, kMaxRelaxParticipants + 1> kernelTime{};
  DenormalsOff denormalsOff;
  ctx.pool.StartWorkers(n, [&g, &kernelTime](int k) {
    DenormalsOff workerDenormalsOff;
    const double c0 = ThreadCpuSeconds();
    RelaxPass(g, k);
    kernelTime[static_cast<std::size_t>(k)].seconds += ThreadCpuSeconds() - c0;
  });
  for (auto _ : state) ctx.pool.Dispatch(n);
  ctx.pool.StopWorkers();
  double slowest = 0.0;
  for (int k = 1; k <= n; ++k)
    slowest = std::max(slowest, kernelTime[static_cast<std::size_t>(k)].seconds);

  // Each participant relaxes one pass per round: four sweeps of each active lattice.
  const double perRound =
      n * 4.0 * (FreeNodes(g.Ccode) + (g.apronActive ? FreeNodes(g.Acode) : 0.0));
  const double rate = perRound * static_cast<double>(state.iterations());
  state.counters["Mnode/s"] = benchmark::Counter(rate * 1e-6, benchmark::Counter::kIsRate);
  state.counters["ref_Mnode/s"] = reference.wall * 1e-6;
  // The ratio to the reference needs the elapsed time; kIsRate divides by it.
  state.counters["ratio"] = benchmark::Counter(rate / reference.wall, benchmark::Counter::kIsRate);
  if (slowest > 0.0) {
    state.counters["cpu_Mnode/s"] = rate / slowest * 1e-6;
    state.counters["cpu_ref_Mnode/s"] = reference.cpu * 1e-6;
    state.counters["cpu_ratio"] = rate / slowest / reference.cpu;
  }
  state.SetLabel(std::to_string(g.Cwid) + "x" + std::to_string(g.Chei) + " core" +
                 (g.apronActive ? " + apron" : ""));
}

BENCHMARK_CAPTURE(BM_PlainSweep, reference, ReferenceSweep)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_PlainSweep, node_by_node, NodeByNodeSweep)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_PlainSweep, blocks_of_four, BlockSweep)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_RelaxationRound, uniform_1600, GridKind::UniformCore)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_RelaxationRound, default_twinlead, GridKind::DefaultTwinlead)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace zolva
