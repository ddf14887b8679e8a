// The field display on the solved default round twinlead: one refresh of a 620 x 456 window
// (a 620 x 474 client area) at 100 % and at 25 % in the modes 1 (potential), 5 (equipotentials)
// and 6 (both kinds of lines, with the flux function), the flux function on its own, and one
// export of the whole 3200 x 3200 field as PNG. The solve runs once, before the first
// benchmark; a refresh should stay under 30 ms so that the display can follow the relaxation.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "csolver/flux.h"
#include "platform/headless_platform.h"
#include "program/bitmap_export.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/display.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

struct SolvedTwinlead {
  HeadlessPlatform platform;
  std::unique_ptr<Context> ctx;
  SolvedTwinlead() {
    platform.echoMessages = false;
    ctx = std::make_unique<Context>(platform);
    StartMainWindow(*ctx);
    CreatePanel(*ctx);
    ctx->state.startupScriptChecked = true;
    ctx->state.geometryKind = GeomTwinlead;
    ctx->state.setupChanged = true;
    SolveCAndGp(*ctx);
    ctx->state.ready = true;
    ResizeDisplay(*ctx, 620, 474);
  }
};

Context& Solved() {
  static SolvedTwinlead solved;
  return *solved.ctx;
}

void BM_RefreshDisplay(benchmark::State& state) {
  Context& ctx = Solved();
  if (!ctx.display.fieldReady) {
    state.SkipWithError("the default twinlead did not solve");
    return;
  }
  const int zoomIndex = static_cast<int>(state.range(0));
  ctx.display.zoomIndex = zoomIndex;
  ctx.display.zoomFactor = kZoomFactors[zoomIndex];
  ctx.display.displayMode = static_cast<int>(state.range(1));
  for (auto _ : state) {
    RefreshFieldDisplay(ctx);
    benchmark::DoNotOptimize(ctx.view.bitmap.data());
  }
  state.counters["window_px"] = static_cast<double>(ctx.field.windowRight - ctx.field.windowLeft) *
                                (ctx.field.windowBottom - ctx.field.windowTop);
}
BENCHMARK(BM_RefreshDisplay)
    ->ArgNames({"zoom", "mode"})
    ->Args({2, 1})
    ->Args({2, 5})
    ->Args({2, 6})
    ->Args({0, 1})
    ->Args({0, 5})
    ->Args({0, 6})
    ->Unit(benchmark::kMillisecond);

void BM_ComputeFlux(benchmark::State& state) {
  Context& ctx = Solved();
  for (auto _ : state) {
    ComputeFlux(FieldPaintJobOf(ctx), ctx.field);
    benchmark::DoNotOptimize(ctx.field.Cflux.data());
  }
  state.counters["core_nodes"] = static_cast<double>(ctx.grid.Cwid) * ctx.grid.Chei;
}
BENCHMARK(BM_ComputeFlux)->Unit(benchmark::kMillisecond);

void BM_SaveDisplayedBitmapPng(benchmark::State& state) {
  Context& ctx = Solved();
  ctx.display.displayMode = 6;
  ctx.map.mapExtensionUpper = "PNG";
  const std::string path =
      (std::filesystem::temp_directory_path() / "zolva-bench lines.png").string();
  for (auto _ : state) {
    if (!SaveDisplayedBitmapAs(ctx, path)) state.SkipWithError("the picture was not written");
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  std::filesystem::remove(path);
}
BENCHMARK(BM_SaveDisplayedBitmapPng)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace zolva
