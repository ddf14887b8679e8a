#include "geometry/paint.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "geometry/geometry.h"
#include "geometry/map_ops.h"

namespace zolva {

namespace {

// Coordinates are kept within +-kCoordLimit: far beyond any map (at most 1e6 pixels on a side),
// yet small enough that sums of a few of them stay exact and never overflow 64 bits.
constexpr double kCoordLimit = 1e15;
// Radii beyond this cover any map from any admissible centre.
constexpr double kRadiusLimit = 4e15;

void CheckMapArrays(const PixelMap& map) {
  const auto need = static_cast<std::size_t>(std::max(map.Uwid, 0)) *
                    static_cast<std::size_t>(std::max(map.Uhei, 0));
  if (map.Ucolor.size() < need) throw std::out_of_range("pixel map smaller than its size");
}

struct Span {
  std::int64_t lo, hi;  // half-open
};

// The box clipped to the map; empty when lo >= hi in either direction.
void Clip(const PixelMap& map, std::int64_t& left, std::int64_t& top, std::int64_t& right,
          std::int64_t& bottom) {
  left = std::max<std::int64_t>(left, 0);
  top = std::max<std::int64_t>(top, 0);
  right = std::min<std::int64_t>(right, map.Uwid);
  bottom = std::min<std::int64_t>(bottom, map.Uhei);
}

}  // namespace

std::int64_t PixelCoord(double v) {
  if (std::isnan(v)) return static_cast<std::int64_t>(kCoordLimit);  // nowhere on the map
  return static_cast<std::int64_t>(std::clamp(v, -kCoordLimit, kCoordLimit));
}

void FillBox(PixelMap& map, std::int64_t left, std::int64_t top, std::int64_t right,
             std::int64_t bottom, std::uint32_t colour) {
  CheckMapArrays(map);
  Clip(map, left, top, right, bottom);
  if (left >= right || top >= bottom) return;
  for (std::int64_t y = top; y < bottom; ++y) {
    auto row = map.Ucolor.begin() + static_cast<std::ptrdiff_t>(y * map.Uwid);
    std::fill(row + left, row + right, colour);
  }
}

std::int64_t CountColor(const PixelMap& map, std::int64_t left, std::int64_t top,
                        std::int64_t right, std::int64_t bottom, std::uint32_t colour) {
  CheckMapArrays(map);
  Clip(map, left, top, right, bottom);
  if (left >= right || top >= bottom) return 0;
  std::int64_t n = 0;
  for (std::int64_t y = top; y < bottom; ++y) {
    auto row = map.Ucolor.begin() + static_cast<std::ptrdiff_t>(y * map.Uwid);
    n += std::count(row + left, row + right, colour);
  }
  return n;
}

void AddConductorPixels(PixelMap& map, std::int64_t n) {
  const std::int64_t sum = static_cast<std::int64_t>(map.condCount) + n;
  map.condCount = static_cast<int>(std::clamp<std::int64_t>(sum, std::numeric_limits<int>::min(),
                                                            std::numeric_limits<int>::max()));
}

void FillDisc(PixelMap& map, std::int64_t x, std::int64_t y, double r, std::uint32_t colour) {
  CheckMapArrays(map);
  if (!(r > 0)) return;  // also NaN
  r = std::min(r, kRadiusLimit);
  x = std::clamp<std::int64_t>(x, -kCoordLimit, kCoordLimit);
  y = std::clamp<std::int64_t>(y, -kCoordLimit, kCoordLimit);
  const auto D = static_cast<std::int64_t>(std::nearbyint(0.8 * r));
  const double r2 = r * r;
  auto paint = [&](std::int64_t d) {
    const double dd = static_cast<double>(d);
    const auto f =
        static_cast<std::int64_t>(std::nearbyint(std::sqrt(std::max(0.0, r2 - dd * dd))));
    if (f <= 0) return;
    FillBox(map, x - f, y + d - 1, x + f, y + d, colour);
    FillBox(map, x - f, y - d, x + f, y - d + 1, colour);
    FillBox(map, x + d - 1, y - f, x + d, y + f, colour);
    FillBox(map, x - d, y - f, x - d + 1, y + f, colour);
  };
  // Only the distances d whose rows or columns meet the map can paint anything; visiting just
  // those keeps the work bounded by the map size however large or remote the disc is.
  const std::int64_t W = map.Uwid, H = map.Uhei;
  const Span wanted[4] = {
      {1 - y, H - y + 1}, {y - H + 1, y + 1}, {1 - x, W - x + 1}, {x - W + 1, x + 1}};
  for (const Span& s : wanted) {
    const std::int64_t lo = std::max<std::int64_t>(s.lo, 0);
    const std::int64_t hi = std::min<std::int64_t>(s.hi, D + 1);
    for (std::int64_t d = lo; d < hi; ++d) paint(d);
  }
}

void DrawWire(const GeometryJob& job, std::uint32_t colour, std::uint32_t innerColour,
              std::int64_t x, std::int64_t y, double r, double rInner) {
  FindPaletteIndex(job.materials, colour);
  FillDisc(job.map, x, y, r, colour);
  if (rInner > 0) FillDisc(job.map, x, y, rInner, innerColour);
  const std::int64_t R = PixelCoord(std::nearbyint(r + 1));
  AddConductorPixels(job.map, CountColor(job.map, x - R, y - R, x + R + 1, y + R + 1, colour));
}

namespace {

// The frame's reference lines clamped into the map.
struct FrameLines {
  std::int64_t x1, x2, y1, y2;
};

std::int64_t ClampInto(double v, std::int64_t size) {
  return std::clamp<std::int64_t>(PixelCoord(v), 0, std::max<std::int64_t>(size - 1, 0));
}

}  // namespace

void DrawSlabs(const GeometryJob& job, const TwinleadFrame& frame) {
  PixelMap& map = job.map;
  const GeometryInputs& checks = job.inputs;
  const bool vertical = checks.insulationVertical;
  const bool horizontal = checks.insulationHorizontal;
  if (!vertical && !horizontal) return;
  // The slab colour joins the palette so that its permittivity gets a material record.
  FindPaletteIndex(job.materials, kPcbColor);
  const double cx = map.Uwid / 2;
  const std::int64_t x1 = ClampInto(cx - frame.sidePx, map.Uwid);
  const std::int64_t x2 = ClampInto(cx + frame.sidePx, map.Uwid);
  const std::int64_t y1 = ClampInto(frame.yc - frame.topPx, map.Uhei);
  const std::int64_t y2 = ClampInto(frame.yc + frame.bottomPx, map.Uhei);
  if (vertical) FillBox(map, x1 + 1, y1, x2, y2 + 1, kPcbColor);
  if (horizontal) {
    if (frame.topPx + frame.bottomPx < 0) {
      // Crossed planes: the dielectric lies outside them, above the bottom one and below the top.
      FillBox(map, x1, 0, x2 + 1, y2 + 1, kPcbColor);
      FillBox(map, x1, y1, x2 + 1, map.Uhei, kPcbColor);
    } else {
      FillBox(map, x1, y1 + 1, x2 + 1, y2, kPcbColor);
    }
  }
}

void DrawPlanes(const GeometryJob& job, const TwinleadFrame& frame) {
  PixelMap& map = job.map;
  const GeometryInputs& checks = job.inputs;
  const bool top = checks.addTopPlane;
  const bool bottom = checks.addBottomPlane;
  const bool sides = checks.addSidePlanes;
  if (!top && !bottom && !sides) return;
  const double cx = map.Uwid / 2;
  const std::int64_t y1 = top ? ClampInto(frame.yc - frame.topPx, map.Uhei) : 0;
  const std::int64_t y2 = bottom ? ClampInto(frame.yc + frame.bottomPx, map.Uhei) : map.Uhei - 1;
  const std::int64_t x1 = sides ? ClampInto(cx - frame.sidePx, map.Uwid) : 0;
  const std::int64_t x2 = sides ? ClampInto(cx + frame.sidePx, map.Uwid) : map.Uwid - 1;
  FindPaletteIndex(job.materials, kGreen);
  // Planes one pixel thick at 0 volt; the inclusive ranges are empty when the planes cross.
  if (sides) {
    FillBox(map, x1, y1, x1 + 1, y2 + 1, kGreen);
    FillBox(map, x2, y1, x2 + 1, y2 + 1, kGreen);
  }
  if (top) FillBox(map, x1, y1, x2 + 1, y1 + 1, kGreen);
  if (bottom) FillBox(map, x1, y2, x2 + 1, y2 + 1, kGreen);
}

}  // namespace zolva
