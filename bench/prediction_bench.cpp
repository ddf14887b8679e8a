// The field prediction of an open line, alone and as part of the whole capacitance solve, with
// and without it ("Skip E prediction"), on 2 threads, for two maps:
//   Twinlead: the program's default round twinlead, built by its own start;
//   TwinWire: a 400 x 400 Usermap drawn here, +1 and -1 volt round wires of diameter 72 pixels,
//             centres 288 pixels apart (S/d = 4), vacuum background reaching every edge.
// A whole solve runs once per benchmark (it takes seconds); its counters give the relaxation's
// rounds to the automatic stop, the prediction's share of the time, C in pF/m against the
// two-wire formula pi eps0 / acosh(S/d), and VoC.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>

#include "core/materials.h"
#include "csolver/capacitance.h"
#include "csolver/charge_distribution.h"
#include "csolver/field_regions.h"
#include "csolver/prediction.h"
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
constexpr std::uint32_t kBlue = PackColor(0, 0, 255);
constexpr double kEpsilon0 = 8.854187827e-12;
constexpr int kThreads = 2;

enum class MapKind { Twinlead, TwinWire };

struct Solver {
  HeadlessPlatform platform;
  std::unique_ptr<Context> ctx;
  double physics = 0.0;  // pi eps0 / acosh(S/d), F/m
};

// The generators' disc: radius r centred on the corner between columns x-1, x and rows y-1, y.
void FillDisc(Context& ctx, int x, int y, double r, std::uint32_t colour) {
  const int dMax = static_cast<int>(std::nearbyint(0.8 * r));
  auto paint = [&](int px, int py) {
    ctx.map.Ucolor.at(static_cast<std::size_t>(py) * static_cast<std::size_t>(ctx.map.Uwid) +
                      static_cast<std::size_t>(px)) = colour;
  };
  for (int d = 0; d <= dMax; ++d) {
    const int f = static_cast<int>(std::nearbyint(std::sqrt(r * r - d * d)));
    for (int row : {y + d - 1, y - d})
      for (int c = x - f; c <= x + f - 1; ++c) paint(c, row);
    for (int col : {x + d - 1, x - d})
      for (int rr = y - f; rr <= y + f - 1; ++rr) paint(col, rr);
  }
}

// A solver whose field regions are found, ready for SolveCapacitance.
std::unique_ptr<Solver> MakeSolver(MapKind kind, bool predict) {
  auto s = std::make_unique<Solver>();
  s->platform.echoMessages = false;
  s->ctx = std::make_unique<Context>(s->platform);
  Context& ctx = *s->ctx;
  if (kind == MapKind::Twinlead) {
    StartMainWindow(ctx);
    CreatePanel(ctx);
    ctx.state.startupScriptChecked = true;
    if (RebuildCrossSection(ctx) != 0) return nullptr;
    SolveSetup(ctx);
    s->physics = std::numbers::pi * kEpsilon0 / std::acosh(4.0);
  } else {
    RegisterColor(ctx.materials, ctx.reporter, kRed, KindPlus, 1.7241, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kBlue, KindMinus, 1.7241, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kBlack, KindInsul, 0, 1, 0, 1, "vacuum");
    ctx.state.frequencyMHz = 1.0;
    const int n = 400;
    ctx.map.Uwid = ctx.map.Uhei = n;
    ctx.map.Ucolor.assign(static_cast<std::size_t>(n) * n, kBlack);
    ctx.map.backgroundColor = kBlack;
    FillDisc(ctx, 200 - 144, 200, 36, kRed);
    FillDisc(ctx, 200 + 144, 200, 36, kBlue);
    if (!IndexConductors(ctx)) return nullptr;
    FillPaletteProperties(GeometryJobOf(ctx));
    if (!FindFieldRegions(CapacitanceJobOf(ctx))) return nullptr;
    s->physics = std::numbers::pi * kEpsilon0 / std::acosh(288.0 / 72.0);
  }
  ctx.panel.threadCount = kThreads;
  ctx.panel.checks[CheckBoxNoPrediction] = !predict;
  ctx.state.abortRequested = false;
  return s;
}

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The prediction alone: the grid is sized and distributed outside the timing.
void BM_Prediction(benchmark::State& state, MapKind kind) {
  std::unique_ptr<Solver> s = MakeSolver(kind, true);
  if (!s) {
    state.SkipWithError("map not set up");
    return;
  }
  Context& ctx = *s->ctx;
  for (auto _ : state) {
    state.PauseTiming();
    const CapacitanceJob job = CapacitanceJobOf(ctx);
    ResetGrid(ctx.grid, ctx.display.fieldReady);
    BuildEdgeFactors(ctx.grid);
    const bool ready = SizeGrid(job) && DistributeCharge(job);
    CountSurfaces(job);
    state.ResumeTiming();
    if (!ready || !PredictField(job)) {
      state.SkipWithError("no prediction");
      return;
    }
  }
  state.counters["surfaces"] = ctx.grid.surfaceCount;
  state.counters["VoC"] = ctx.results.VoC;
}

// The whole solve to the automatic stop.
void BM_CapacitanceSolve(benchmark::State& state, MapKind kind, bool predict) {
  double rounds = 0.0, seconds = 0.0, C = 0.0, VoC = 0.0, physics = 0.0, prediction = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<Solver> s = MakeSolver(kind, predict);
    if (!s) {
      state.SkipWithError("map not set up");
      return;
    }
    Context& ctx = *s->ctx;
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    SolveCapacitance(CapacitanceJobOf(ctx));
    seconds = Seconds(t0);
    rounds = ctx.grid.plan.roundCount;
    C = ctx.results.C;
    VoC = ctx.results.VoC;
    physics = s->physics;
    prediction = predict ? ctx.prediction.seconds : 0.0;
  }
  state.counters["rounds"] = rounds;
  state.counters["seconds"] = seconds;
  state.counters["prediction_s"] = prediction;
  state.counters["C_pF"] = C * 1e12;
  state.counters["C_dev_pct"] = 100.0 * (C / physics - 1.0);
  state.counters["VoC"] = VoC;
}

BENCHMARK_CAPTURE(BM_Prediction, Twinlead, MapKind::Twinlead)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Prediction, TwinWire, MapKind::TwinWire)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CapacitanceSolve, Twinlead_Predicted, MapKind::Twinlead, true)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CapacitanceSolve, Twinlead_Skipped, MapKind::Twinlead, false)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CapacitanceSolve, TwinWire_Predicted, MapKind::TwinWire, true)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CapacitanceSolve, TwinWire_Skipped, MapKind::TwinWire, false)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zolva
