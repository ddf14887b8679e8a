// The surface classification of a map with about 20000 surface pixels of curved shape, all
// coarse against the skin depth, so that the proximity test runs over every one of them.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/conductor_index.h"
#include "core/materials.h"
#include "lsolver/surface_classification.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/jobs.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

constexpr std::uint32_t kWhite = PackColor(255, 255, 255);
constexpr std::uint32_t kRed = PackColor(255, 0, 0);
constexpr std::uint32_t kBlue = PackColor(0, 0, 255);

// A lattice of 2 x 2 blocks one pixel apart (every pixel a convex corner), +1 volt on the left
// half and -1 volt on the right, so that most pixels search their whole neighbourhood in vain.
void DrawLattice(Context& ctx, int blocks) {
  const int size = blocks * 3 + 2;
  ctx.map.Uwid = size;
  ctx.map.Uhei = size;
  ctx.map.Ucolor.assign(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), kWhite);
  for (int by = 0; by < blocks; ++by)
    for (int bx = 0; bx < blocks; ++bx)
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
          const int x = 2 + 3 * bx + dx, y = 2 + 3 * by + dy;
          ctx.map.Ucolor[static_cast<std::size_t>(y * size + x)] = bx < blocks / 2 ? kRed : kBlue;
        }
}

void BM_ClassifySurface(benchmark::State& state) {
  HeadlessPlatform platform;
  platform.echoMessages = false;
  Context ctx(platform);
  RegisterColor(ctx.materials, ctx.reporter, kRed, KindPlus, 1.7241379, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kBlue, KindMinus, 1.7241379, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kWhite, KindInsul, 0, 1, 0, 1, "vacuum");
  DrawLattice(ctx, static_cast<int>(state.range(0)));
  ctx.state.pixelWidth = 1e-3;
  ctx.state.omega = kOmegaPerMHz;
  if (!IndexConductors(ctx)) {
    state.SkipWithError("map refused");
    return;
  }
  for (auto _ : state) {
    ClassifySurface(LSolverJobOf(ctx));
    benchmark::DoNotOptimize(ctx.results.rsWarning);
  }
  state.counters["surface_pixels"] = static_cast<double>(ctx.cindex.size());
}
BENCHMARK(BM_ClassifySurface)->Arg(71)->Unit(benchmark::kMillisecond);

// The proximity test alone, bucketed, on the same lattice.
void BM_ProximityFlags(benchmark::State& state) {
  HeadlessPlatform platform;
  platform.echoMessages = false;
  Context ctx(platform);
  RegisterColor(ctx.materials, ctx.reporter, kRed, KindPlus, 1.7241379, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kBlue, KindMinus, 1.7241379, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kWhite, KindInsul, 0, 1, 0, 1, "vacuum");
  DrawLattice(ctx, static_cast<int>(state.range(0)));
  if (!IndexConductors(ctx)) {
    state.SkipWithError("map refused");
    return;
  }
  ClassifySurface(LSolverJobOf(ctx));
  const std::vector<std::uint8_t> coarse(ctx.cindex.size(), 1);
  for (auto _ : state) benchmark::DoNotOptimize(ProximityFlags(ctx.cindex, coarse));
}
BENCHMARK(BM_ProximityFlags)->Arg(71)->Unit(benchmark::kMillisecond);

// The short-circuit scan of the solve's start over the largest map, 3200 x 3200 pixels, two
// conductors filling a third of it each, a gap of one pixel between them: every conductor pixel
// looks at its four forward neighbours.
void BM_FindShortCircuit(benchmark::State& state) {
  HeadlessPlatform platform;
  platform.echoMessages = false;
  Context ctx(platform);
  RegisterColor(ctx.materials, ctx.reporter, kRed, KindPlus, 1.7241379, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kBlue, KindMinus, 1.7241379, 1, 0, 1, "copper");
  RegisterColor(ctx.materials, ctx.reporter, kWhite, KindInsul, 0, 1, 0, 1, "vacuum");
  const int size = 3200;
  ctx.map.Uwid = size;
  ctx.map.Uhei = size;
  ctx.map.Ucolor.assign(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), kWhite);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      if (x < size / 2 - 1 && y < 2 * size / 3) {
        ctx.map.Ucolor[static_cast<std::size_t>(y) * size + static_cast<std::size_t>(x)] = kRed;
      } else if (x > size / 2 && y < 2 * size / 3) {
        ctx.map.Ucolor[static_cast<std::size_t>(y) * size + static_cast<std::size_t>(x)] = kBlue;
      }
  if (!IndexConductors(ctx)) {
    state.SkipWithError("map refused");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(FindShortCircuit(ctx.map));
  state.counters["pixels"] = static_cast<double>(ctx.map.Ucolor.size());
}
BENCHMARK(BM_FindShortCircuit)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zolva
