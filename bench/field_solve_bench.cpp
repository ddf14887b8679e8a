// Whole "Solve for C and Gp" runs, the multigrid field solve against the classic relaxation:
// coaxial lines drawn in memory as a user would draw them (red centre, green shield, vacuum,
// b/a = 2) at 400, 800, 1600 and 3100 pixels, and the default round twinlead (core and apron).
// Each run reports its iterations (relaxation rounds, or BiCGStab iterations of two multigrid
// cycles each), the memory of the solve (grid arrays, hierarchy and Krylov vectors) per core
// node, the error of C against 2 pi eps0 / ln(b/a) for the coax, and the load average of the
// machine while it ran. Sizes and solvers are picked by the benchmark filter, e.g.
//   zolva_bench --benchmark_filter='FieldSolve/coax.*/1600'
// The thread count is ZOLVA_BENCH_THREADS (2 by default).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <string>

#include "core/materials.h"
#include "csolver/capacitance.h"
#include "csolver/field_regions.h"
#include "csolver/solver_grid.h"
#include "geometry/map_ops.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

constexpr double kEps0 = 8.854187827e-12;
constexpr std::uint32_t kVacuum = PackColor(255, 255, 255);
constexpr std::uint32_t kInner = PackColor(255, 0, 0);
constexpr std::uint32_t kShield = PackColor(0, 255, 0);

int Threads() {
  const char* t = std::getenv("ZOLVA_BENCH_THREADS");
  return t ? std::max(1, std::atoi(t)) : 2;
}

// A coax drawn n x n: shield of outer radius 0.49 n and inner radius b = 0.45 n, centre
// conductor of radius b / 2, all about the map's centre.
void DrawCoax(Context& ctx, int n, double& b, double& a) {
  RegisterColor(ctx.materials, ctx.reporter, kInner, KindPlus, 1.7241, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kShield, KindGround, 1.7241, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kVacuum, KindInsul, 0, 1, 0, 1, "vacuum");
  ctx.map.Uwid = ctx.map.Uhei = n;
  ctx.map.Ucolor.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), kVacuum);
  ctx.map.backgroundColor = kVacuum;
  const double c = n / 2.0, o = 0.49 * n;
  b = 0.45 * n;
  a = b / 2;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double r = std::hypot(x + 0.5 - c, y + 0.5 - c);
      std::uint32_t& p = ctx.map.Ucolor[static_cast<std::size_t>(y) * static_cast<std::size_t>(n) +
                                        static_cast<std::size_t>(x)];
      if (r <= a)
        p = kInner;
      else if (r >= b && r <= o)
        p = kShield;
    }
}

std::size_t GridBytes(const SolverGrid& g) {
  return g.Cvolts.size() * 8 + g.Ccode.size() + g.Cmat.size() + g.Avolts.size() * 8 +
         g.Acode.size() + g.Amat.size();
}

void Report(benchmark::State& state, Context& ctx, double seconds, bool classic) {
  const SolverGrid& g = ctx.grid;
  const double coreNodes = static_cast<double>(g.Cwid) * static_cast<double>(g.Chei);
  state.counters["iterations"] = classic ? static_cast<double>(g.plan.roundCount)
                                         : static_cast<double>(g.solveStats.iterations);
  state.counters["seconds"] = seconds;
  const double bytes = static_cast<double>(GridBytes(g)) +
                       (classic ? 0.0 : static_cast<double>(g.solveStats.memoryBytes));
  state.counters["MB"] = bytes / 1e6;
  state.counters["bytes/node"] = bytes / coreNodes;
  if (!classic) {
    state.counters["levels"] = g.solveStats.levels;
    state.counters["residual"] = g.solveStats.residual;
  }
  double load[1] = {0.0};
  if (getloadavg(load, 1) == 1) state.counters["load"] = load[0];
  state.counters["C_pF"] = ctx.results.C * 1e12;
}

void BM_Coax(benchmark::State& state, bool classic) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    HeadlessPlatform platform;
    platform.echoMessages = false;
    auto ctx = std::make_unique<Context>(platform);
    double b = 0, a = 0;
    DrawCoax(*ctx, n, b, a);
    ctx->panel.threadCount = Threads();
    ctx->panel.checks[CheckBoxClassicRelaxation] = classic;
    ctx->state.frequencyMHz = 1.0;
    if (!IndexConductors(*ctx)) {
      state.SkipWithError("no conductors");
      return;
    }
    FillPaletteProperties(GeometryJobOf(*ctx));
    FindFieldRegions(CapacitanceJobOf(*ctx));
    const auto t0 = std::chrono::steady_clock::now();
    SolveCapacitance(CapacitanceJobOf(*ctx));
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Report(state, *ctx, s, classic);
    // The drawn radii (the discrete discs' area radii would differ by a fraction of a pixel).
    const double exact = 2 * std::numbers::pi * kEps0 / std::log(b / a);
    state.counters["C_error_%"] = 100.0 * (ctx->results.C / exact - 1.0);
  }
}

void BM_DefaultTwinlead(benchmark::State& state, bool classic) {
  for (auto _ : state) {
    HeadlessPlatform platform;
    platform.echoMessages = false;
    auto ctx = std::make_unique<Context>(platform);
    StartMainWindow(*ctx);
    CreatePanel(*ctx);
    ctx->state.startupScriptChecked = true;
    ctx->panel.threadCount = Threads();
    ctx->panel.checks[CheckBoxClassicRelaxation] = classic;
    if (RebuildCrossSection(*ctx) != 0) {
      state.SkipWithError("no twinlead");
      return;
    }
    SolveSetup(*ctx);
    const auto t0 = std::chrono::steady_clock::now();
    SolveCapacitance(CapacitanceJobOf(*ctx));
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Report(state, *ctx, s, classic);
  }
}

BENCHMARK_CAPTURE(BM_Coax, multigrid, false)
    ->Name("FieldSolve/coax/multigrid")
    ->Arg(400)
    ->Arg(800)
    ->Arg(1600)
    ->Arg(3100)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Coax, classic, true)
    ->Name("FieldSolve/coax/classic")
    ->Arg(400)
    ->Arg(800)
    ->Arg(1600)
    ->Arg(3100)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_DefaultTwinlead, multigrid, false)
    ->Name("FieldSolve/twinlead/multigrid")
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_DefaultTwinlead, classic, true)
    ->Name("FieldSolve/twinlead/classic")
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
}  // namespace zolva
