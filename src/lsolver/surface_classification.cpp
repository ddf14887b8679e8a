// Surface shape and depth of every conductor pixel. Under the skin effect the current crowds into
// the outer layers of a conductor, and how much it crowds depends on whether the nearest surface
// is a flat side, a convex corner, a thin strip or a line end. Each surface pixel is given a
// letter for that shape, and the letter is then carried inwards layer by layer, so that a pixel
// deep inside a conductor is resisted as the layer it lies in below the surface it belongs to.
#include "lsolver/surface_classification.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/conductor_index.h"
#include "core/materials.h"
#include "lsolver/lsolver_job.h"

namespace zolva {

namespace {

// Letter of a surface pixel by its count of diagonal (row) and orthogonal (column) neighbours of
// its own conductor: 3 orthogonal and 2 diagonal is a straight side (A), 2 and 1 a convex corner
// (D), 2 orthogonal and none diagonal a one-pixel line (A), 1 and none a line end (G). A pixel
// with no neighbour at all, or one that is all but enclosed, stays interior (I).
constexpr char kShapeLetters[] = "IGAIHFDIBECAIIBC";

// The shapes whose surface is strongly curved against the pixel: convex corners, thin strips and
// ends. Near such a surface a coarse pixel misjudges the current when another conductor is close.
constexpr bool IsCurvedSurface(SurfaceKind s) {
  return s >= u'D' && s <= u'H';
}

// A neighbouring conductor surface counts as close within 8 pixels, or within 16 when it is
// curved too (its own crowding doubles the reach).
constexpr std::int64_t kCloseSquared = 8 * 8;
constexpr std::int64_t kCloseCurvedSquared = 16 * 16;
// Side of the buckets of the proximity test: no close pair can lie more than one bucket apart.
constexpr int kCellShift = 4;  // 16 pixels
constexpr std::int64_t kMaxCells = std::int64_t{1} << 22;

void CheckSameSize(const ConductorIndex& index, const std::vector<std::uint8_t>& coarse) {
  const std::size_t n = index.size();
  if (index.y.size() != n || index.kind.size() != n || index.depth.size() != n ||
      index.surfaceKind.size() != n || coarse.size() != n)
    throw std::out_of_range("proximity test: " + std::to_string(n) +
                            " conductor entries with arrays of unequal length");
}

bool IsCoarseCurvedSurface(const ConductorIndex& index, const std::vector<std::uint8_t>& coarse,
                           std::size_t e) {
  return index.depth[e] == 1 && IsCurvedSurface(index.surfaceKind[e]) && coarse[e] != 0;
}

}  // namespace

std::vector<std::uint8_t> ProximityFlagsReference(const ConductorIndex& index,
                                                  const std::vector<std::uint8_t>& coarse) {
  CheckSameSize(index, coarse);
  const std::size_t n = index.size();
  std::vector<std::uint8_t> flags(n, 0);
  for (std::size_t e = 0; e < n; ++e) {
    if (!IsCoarseCurvedSurface(index, coarse, e)) continue;
    for (std::size_t i = 0; i < n; ++i) {
      if (index.depth[i] != 1 || index.kind[i] == index.kind[e]) continue;
      const double dx = static_cast<double>(index.x[i]) - static_cast<double>(index.x[e]);
      const double dy = static_cast<double>(index.y[i]) - static_cast<double>(index.y[e]);
      double r = std::sqrt(dx * dx + dy * dy);
      if (IsCurvedSurface(index.surfaceKind[i])) r /= 2.0;
      if (r < 8.0) flags[e] = 1;
    }
  }
  return flags;
}

std::vector<std::uint8_t> ProximityFlags(const ConductorIndex& index,
                                         const std::vector<std::uint8_t>& coarse) {
  CheckSameSize(index, coarse);
  const std::size_t n = index.size();
  std::vector<std::uint8_t> flags(n, 0);

  bool anyTested = false;
  std::int32_t minX = std::numeric_limits<std::int32_t>::max();
  std::int32_t minY = minX;
  std::int32_t maxX = std::numeric_limits<std::int32_t>::min();
  std::int32_t maxY = maxX;
  for (std::size_t i = 0; i < n; ++i) {
    if (index.depth[i] != 1) continue;
    anyTested = anyTested || IsCoarseCurvedSurface(index, coarse, i);
    minX = std::min(minX, index.x[i]);
    maxX = std::max(maxX, index.x[i]);
    minY = std::min(minY, index.y[i]);
    maxY = std::max(maxY, index.y[i]);
  }
  if (!anyTested) return flags;

  // Bucket the surface pixels by 16 x 16 cells (counting sort into one flat array), so that each
  // tested pixel looks only at the 3 x 3 cells around its own.
  const std::int64_t cellsX = ((static_cast<std::int64_t>(maxX) - minX) >> kCellShift) + 1;
  const std::int64_t cellsY = ((static_cast<std::int64_t>(maxY) - minY) >> kCellShift) + 1;
  // Coordinates spread far beyond any map would need an absurd table of buckets; the plain loop
  // gives the same answer without one.
  if (cellsX * cellsY > kMaxCells) return ProximityFlagsReference(index, coarse);
  auto cellOf = [&](std::size_t i) {
    const std::int64_t cx = (static_cast<std::int64_t>(index.x[i]) - minX) >> kCellShift;
    const std::int64_t cy = (static_cast<std::int64_t>(index.y[i]) - minY) >> kCellShift;
    return static_cast<std::size_t>(cy * cellsX + cx);
  };
  std::vector<std::uint32_t> cellStart(static_cast<std::size_t>(cellsX * cellsY) + 1, 0);
  for (std::size_t i = 0; i < n; ++i)
    if (index.depth[i] == 1) ++cellStart[cellOf(i) + 1];
  for (std::size_t c = 1; c < cellStart.size(); ++c) cellStart[c] += cellStart[c - 1];
  std::vector<std::uint32_t> members(cellStart.back());
  {
    std::vector<std::uint32_t> fill(cellStart.begin(), cellStart.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
      if (index.depth[i] == 1) members[fill[cellOf(i)]++] = static_cast<std::uint32_t>(i);
  }

  for (std::size_t e = 0; e < n; ++e) {
    if (!IsCoarseCurvedSurface(index, coarse, e)) continue;
    const std::int64_t ex = index.x[e];
    const std::int64_t ey = index.y[e];
    const std::int8_t ekind = index.kind[e];
    const std::int64_t cx = (ex - minX) >> kCellShift;
    const std::int64_t cy = (ey - minY) >> kCellShift;
    bool close = false;
    for (std::int64_t by = std::max<std::int64_t>(cy - 1, 0);
         !close && by <= std::min(cy + 1, cellsY - 1); ++by) {
      for (std::int64_t bx = std::max<std::int64_t>(cx - 1, 0);
           !close && bx <= std::min(cx + 1, cellsX - 1); ++bx) {
        const std::size_t c = static_cast<std::size_t>(by * cellsX + bx);
        for (std::uint32_t m = cellStart[c]; m < cellStart[c + 1]; ++m) {
          const std::uint32_t i = members[m];
          if (index.kind[i] == ekind) continue;
          const std::int64_t dx = index.x[i] - ex;
          const std::int64_t dy = index.y[i] - ey;
          const std::int64_t limit =
              IsCurvedSurface(index.surfaceKind[i]) ? kCloseCurvedSquared : kCloseSquared;
          if (dx * dx + dy * dy < limit) {
            close = true;
            break;
          }
        }
      }
    }
    flags[e] = close ? 1 : 0;
  }
  return flags;
}

void ClassifySurface(const LSolverJob& job) {
  const PixelMap& map = job.map;
  ConductorIndex& index = job.cindex;
  const int W = map.Uwid;
  const int H = map.Uhei;
  const std::size_t pixels =
      static_cast<std::size_t>(std::max(W, 0)) * static_cast<std::size_t>(std::max(H, 0));
  if (map.Ukind.size() != pixels || map.Ucolor.size() != pixels || map.Uindex.size() != pixels)
    throw std::out_of_range("ClassifySurface: per-pixel maps do not match the map size " +
                            std::to_string(W) + " x " + std::to_string(H));
  const std::size_t N = index.size();
  if (index.y.size() != N || index.kind.size() != N || index.depth.size() != N ||
      index.surfaceKind.size() != N)
    throw std::out_of_range("ClassifySurface: conductor index arrays of unequal length");

  // Positions of the entries that are not on the map's border, in entry order. Border pixels
  // lack a full ring of neighbours; they are never classified themselves and only receive a
  // letter from inside. Every neighbour of a listed position lies inside the map.
  std::vector<std::size_t> inner;
  inner.reserve(N);
  for (std::size_t j = 0; j < N; ++j) {
    const int x = index.x[j];
    const int y = index.y[j];
    if (x < 0 || x >= W || y < 0 || y >= H)
      throw std::out_of_range("ClassifySurface: entry " + std::to_string(j) + " at (" +
                              std::to_string(x) + ", " + std::to_string(y) +
                              ") lies outside the map");
    if (x == 0 || x >= W - 1 || y == 0 || y >= H - 1) continue;
    inner.push_back(static_cast<std::size_t>(y) * static_cast<std::size_t>(W) +
                    static_cast<std::size_t>(x));
  }

  std::vector<SurfaceKind> surface(pixels, SurfaceInterior);
  std::vector<std::uint8_t> depthMap(pixels, 0);
  const std::int8_t* kind = map.Ukind.data();
  const std::uint32_t* color = map.Ucolor.data();
  const std::ptrdiff_t w = W;
  // Orthogonal neighbours first, then diagonal ones; the spread below tries them in this order.
  const std::array<std::ptrdiff_t, 8> step = {1, -1, w, -w, w + 1, w - 1, -w + 1, -w - 1};

  // Pass 1: the shape of the surface at every pixel. Metal painted with the no-current colour is
  // still metal for the orthogonal count, so the inside edge of a hollowed conductor is no
  // surface; diagonals count only metal of the pixel's own kind.
  const bool allFlat = job.state.switches[Switch::AllLettersC];
  for (const std::size_t p : inner) {
    const std::int8_t c = kind[p];
    int o = 0;
    for (int s = 0; s < 4; ++s) {
      const std::size_t q = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(p) + step[s]);
      if (kind[q] == c || color[q] == NoCurrentMetalColor) ++o;
    }
    SurfaceKind letter = SurfaceInterior;
    if (o < 4) {
      int d = 0;
      for (int s = 4; s < 8; ++s)
        if (kind[static_cast<std::size_t>(static_cast<std::ptrdiff_t>(p) + step[s])] == c) ++d;
      if (d < 4) letter = static_cast<SurfaceKind>(kShapeLetters[d * 4 + o]);
    }
    if (allFlat) letter = u'C';
    if (letter != SurfaceInterior) depthMap[p] = 1;
    surface[p] = letter;
  }

  // Passes 2..32: each pass carries the letters one layer inwards, into conductor pixels of any
  // kind not yet reached. The first pixel to reach a neighbour decides its letter; the sweep
  // direction alternates so that ties are not always settled from the same side. A pass that
  // reaches nothing leaves nothing for the later passes either.
  const std::size_t count = inner.size();
  for (int k = 2; k <= kMaxSurfaceDepth; ++k) {
    bool reached = false;
    const bool downwards = (k % 2) == 1;
    for (std::size_t n = 0; n < count; ++n) {
      const std::size_t p = inner[downwards ? count - 1 - n : n];
      const SurfaceKind letter = surface[p];
      if (letter == SurfaceInterior || depthMap[p] >= k) continue;
      for (const std::ptrdiff_t s : step) {
        const std::size_t q = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(p) + s);
        if (surface[q] != SurfaceInterior || kind[q] > 5) continue;
        surface[q] = letter;
        depthMap[q] = static_cast<std::uint8_t>(k);
        reached = true;
      }
    }
    if (!reached) break;
  }

  for (std::size_t j = 0; j < N; ++j) {
    const std::size_t p = static_cast<std::size_t>(index.y[j]) * static_cast<std::size_t>(W) +
                          static_cast<std::size_t>(index.x[j]);
    const SurfaceKind letter = surface[p];
    const std::uint8_t depth = depthMap[p];
    if (letter < u'A' || letter > u'I' || depth > kMaxSurfaceDepth)
      throw std::out_of_range("ClassifySurface: entry " + std::to_string(j) +
                              " got an impossible surface letter or depth");
    index.surfaceKind[j] = letter;
    index.depth[j] = depth;
  }

  job.report.RefreshDisplay();
  surface = {};
  depthMap = {};

  // Proximity test. Where a pixel is wider than a fifth of the skin depth, the resistance model
  // cannot follow the current that a nearby conductor pulls towards a curved surface; the report
  // then marks Rs as doubtful. The skin depth depends only on the colour, so it is looked up once
  // per palette entry.
  job.results.rsWarning = false;
  std::array<std::int8_t, kPaletteCapacity> paletteCoarse;
  paletteCoarse.fill(-1);  // not looked up yet
  std::vector<std::uint8_t> coarse(N, 0);
  bool anyCoarse = false;
  for (std::size_t e = 0; e < N; ++e) {
    if (index.depth[e] != 1 || !IsCurvedSurface(index.surfaceKind[e])) continue;
    const std::uint8_t pi =
        map.Uindex[static_cast<std::size_t>(index.y[e]) * static_cast<std::size_t>(W) +
                   static_cast<std::size_t>(index.x[e])];
    std::int8_t& known = paletteCoarse[pi];
    if (known < 0) {
      const double delta = SkinDepthMetres(job.materials, job.state.omega,
                                           job.materials.palette.entries.at(pi).color);
      known = (job.state.pixelWidth / delta > 0.2) ? 1 : 0;
    }
    coarse[e] = static_cast<std::uint8_t>(known);
    anyCoarse = anyCoarse || known != 0;
  }
  if (!anyCoarse) return;
  const std::vector<std::uint8_t> flags = ProximityFlags(index, coarse);
  job.results.rsWarning = std::find(flags.begin(), flags.end(), 1) != flags.end();
}

}  // namespace zolva
