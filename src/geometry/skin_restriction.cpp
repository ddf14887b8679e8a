#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "geometry/geometry.h"
#include "geometry/map_ops.h"

namespace zolva {

namespace {

// Layer depths are capped where their square is still exact in a double; that is far beyond the
// diagonal of any map, so the cap never changes which pixels are kept.
constexpr std::int64_t kMaxLayerDepth = std::int64_t{1} << 26;
constexpr double kNoInsulator = std::numeric_limits<double>::infinity();

// Calls decide(i, d2) for every pixel i with d2 the squared Euclidean distance to the nearest
// pixel for which insulator(i) holds (infinite when the map has none). This is the lower-envelope
// method of Felzenszwalb and Huttenlocher: exact distances in two linear passes, so the cost does
// not grow with the layer depth, and only a row distance per pixel is stored.
template <class IsInsulator, class Decide>
void ForEachInsulatorDistance(int W, int H, IsInsulator insulator, Decide decide) {
  constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
  const auto w = static_cast<std::size_t>(W);
  // Along each row: the distance to the nearest insulator in the same row.
  std::vector<std::uint32_t> rowDist(w * static_cast<std::size_t>(H), kNone);
  for (int y = 0; y < H; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * w;
    std::int64_t last = -1;
    for (int x = 0; x < W; ++x) {
      if (insulator(row + x)) last = x;
      if (last >= 0) rowDist[row + x] = static_cast<std::uint32_t>(x - last);
    }
    last = -1;
    for (int x = W - 1; x >= 0; --x) {
      if (insulator(row + x)) last = x;
      if (last >= 0)
        rowDist[row + x] = std::min(rowDist[row + x], static_cast<std::uint32_t>(last - x));
    }
  }
  // Down each column: the lower envelope of the parabolas f(q) + (y - q)^2 over the rows q that
  // hold an insulator.
  std::vector<double> f(static_cast<std::size_t>(H));
  std::vector<int> v(static_cast<std::size_t>(H));
  std::vector<double> z(static_cast<std::size_t>(H) + 1);
  for (int x = 0; x < W; ++x) {
    int k = -1;
    for (int q = 0; q < H; ++q) {
      const std::uint32_t g = rowDist[static_cast<std::size_t>(q) * w + x];
      if (g == kNone) continue;
      f[q] = static_cast<double>(g) * g;
      if (k < 0) {
        k = 0;
        v[0] = q;
        z[0] = -kNoInsulator;
        z[1] = kNoInsulator;
        continue;
      }
      double s;
      for (;;) {
        const double p = v[k];
        s = ((f[q] + double(q) * q) - (f[v[k]] + p * p)) / (2.0 * q - 2.0 * p);
        if (s > z[k]) break;
        --k;  // z[0] is minus infinity, so k never drops below 0
      }
      ++k;
      v[k] = q;
      z[k] = s;
      z[k + 1] = kNoInsulator;
    }
    int j = 0;
    for (int y = 0; y < H; ++y) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      if (k < 0) {
        decide(i, kNoInsulator);
        continue;
      }
      while (z[j + 1] < y) ++j;
      const double dy = y - v[j];
      decide(i, dy * dy + f[v[j]]);
    }
  }
}

}  // namespace

void RestrictToSkinDepth(const GeometryJob& job) {
  PixelMap& map = job.map;
  const int ring = RingWidth(job);
  map.restrictedPixels = 0;
  const double pw = job.state.pixelWidth;
  if (pw == 0 || !job.inputs.restrict) {
    map.condCount = map.conductorPixelsUnrestricted;
    return;
  }

  // Kinds and layer depths per palette index, so that every index a byte can hold is covered.
  const UsermapPalette& palette = job.materials.palette;
  const int count = std::clamp(palette.count, 0, kPaletteCapacity);
  std::array<MaterialKind, kPaletteCapacity> kinds;
  kinds.fill(KindInsul);
  std::array<std::int64_t, kPaletteCapacity> depth{};
  for (int i = 0; i < count; ++i) kinds[i] = palette.entries[i].kind;
  for (int i = count - 1; i >= 0; --i) {
    if (kinds[i] == KindInsul) continue;
    const std::uint32_t colour = palette.entries[i].color;
    const double v = SkinDepthMetres(job.materials, job.state.omega, colour) * ring / pw;
    std::int64_t n;
    if (v < ring)
      n = ring;
    else if (v < static_cast<double>(kMaxLayerDepth))
      n = static_cast<std::int64_t>(std::trunc(v)) + 1;
    else
      n = kMaxLayerDepth;  // also a skin depth that is not a number
    depth[i] = n;
    if (static_cast<std::size_t>(i) < job.materials.recs.size())
      job.materials.recs[i].SkinDepth = static_cast<int>(n);
  }

  const int W = std::max(map.Uwid, 0), H = std::max(map.Uhei, 0);
  const std::size_t total = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
  if (map.Ucolor.size() < total || map.Uindex.size() < total)
    throw std::out_of_range("pixel map arrays smaller than the map");

  // Every test reads the palette indices made before this pass, so the repainting never affects
  // a later decision. A conductor pixel keeps carrying current when an insulator pixel lies
  // within its colour's layer depth n (Euclidean, inside the map); deeper pixels become
  // no-current metal. The map edge is no boundary: metal cut by it is taken to go on beyond it.
  auto isInsulator = [&](std::size_t i) { return kinds[map.Uindex[i]] == KindInsul; };
  std::int64_t restricted = 0;
  ForEachInsulatorDistance(W, H, isInsulator, [&](std::size_t i, double d2) {
    if (isInsulator(i)) return;
    const auto n = static_cast<double>(depth[map.Uindex[i]]);
    if (d2 > n * n) {
      map.Ucolor[i] = NoCurrentMetalColor;
      ++restricted;
    }
  });
  if (restricted > 0) FindPaletteIndex(job.materials, NoCurrentMetalColor);
  map.analysedPixels = map.Ucolor;
  map.restrictedPixels = static_cast<int>(restricted);
  map.condCount = static_cast<int>(std::max<std::int64_t>(
      static_cast<std::int64_t>(map.conductorPixelsUnrestricted) - restricted,
      std::numeric_limits<int>::min()));
  job.report.SetLabel(Label31, std::to_string(job.map.condCount));
}

}  // namespace zolva
