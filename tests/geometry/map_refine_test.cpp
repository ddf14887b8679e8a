// The redrawing of a map at another resolution: curves stay curves of the same size, straight
// edges and thin strips keep their place and thickness, long-edged corners stay square.
#include "geometry/map_refine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <stdexcept>

namespace zolva {
namespace {

constexpr std::uint32_t kBack = 0xFFFFFF;
constexpr std::uint32_t kMetal = 0x0000FF;

// A w x h map whose pixel (x, y) is metal when inside(x + 0.5, y + 0.5) holds for its centre.
PixelMap Drawn(int w, int h, const std::function<bool(double, double)>& inside) {
  PixelMap m;
  m.Uwid = w;
  m.Uhei = h;
  m.Ucolor.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), kBack);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (inside(x + 0.5, y + 0.5)) m.Ucolor[static_cast<std::size_t>(y * w + x)] = kMetal;
  return m;
}

bool MetalAt(const RedrawnPicture& p, int x, int y) {
  return p.pixels.at(static_cast<std::size_t>(y * p.width + x)) == kMetal;
}

double MetalArea(const RedrawnPicture& p, double factor) {
  std::size_t n = 0;
  for (std::uint32_t c : p.pixels) n += c == kMetal ? 1 : 0;
  return static_cast<double>(n) / (factor * factor);
}

TEST(RedrawMap, ACircleKeepsItsAreaAndBecomesRounder) {
  // A disc of radius 40 drawn by its pixel centres, redrawn at sqrt 2, 2 and 1 / sqrt 2: the
  // area in old pixels stays that of the disc within 0.6 % (the lines joining the centres of the
  // staircase's runs are chords, a little inside the circle), and the redrawn boundary lies
  // closer to the circle than the old staircase allows (half a pixel at a step).
  const double R = 40.0, c = 50.0;
  const PixelMap m =
      Drawn(100, 100, [&](double x, double y) { return std::hypot(x - c, y - c) < R; });
  for (double f : {std::numbers::sqrt2, 2.0, 1.0 / std::numbers::sqrt2}) {
    SCOPED_TRACE(f);
    const RedrawnPicture p = RedrawMap(m, f);
    EXPECT_NEAR(MetalArea(p, f) / (std::numbers::pi * R * R), 1.0, 6e-3);
    if (f < 1.0) continue;
    double worst = 0.0;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) {
        const double r = std::hypot((x + 0.5) / f - c, (y + 0.5) / f - c);
        if (MetalAt(p, x, y) != (r < R)) worst = std::max(worst, std::fabs(r - R));
      }
    EXPECT_LT(worst, 0.5);
  }
  // A whole factor of 1 gives the map back unchanged.
  EXPECT_EQ(RedrawMap(m, 1.0).pixels, m.Ucolor);
}

TEST(RedrawMap, SquaresStripsAndLShapesKeepTheirEdges) {
  // A 10 x 10 square at (5, 5), a one-pixel strip on row 30, and an L with 4-pixel arms whose
  // inner corner is at (24, 14): at a whole factor every one is exactly the old pixels enlarged,
  // except the strip's two ends, whose one-pixel edges make them a curve.
  const PixelMap m = Drawn(40, 40, [](double x, double y) {
    const bool square = x > 5 && x < 15 && y > 5 && y < 15;
    const bool strip = y > 30 && y < 31 && x > 2 && x < 38;
    const bool ell = x > 20 && y > 5 && y < 25 && (x < 24 || (y > 10 && y < 14) || y > 21);
    return square || strip || (ell && x < 35);
  });
  for (int f : {2, 3}) {
    const RedrawnPicture p = RedrawMap(m, f);
    ASSERT_EQ(p.width, 40 * f);
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        if (y / f == 30 && (x / f == 2 || x / f == 37)) continue;
        ASSERT_EQ(p.pixels[static_cast<std::size_t>(y * p.width + x)],
                  m.Ucolor[static_cast<std::size_t>((y / f) * 40 + x / f)])
            << "factor " << f << " at (" << x << ", " << y << ")";
      }
    }
  }
  // At sqrt 2 the edges land on the nearest new pixel edge: the square is 14 x 14 new pixels
  // (10 sqrt 2 = 14.1), and the strip spans one or two new rows over its
  // whole length, never a gap.
  const double f = std::numbers::sqrt2;
  const RedrawnPicture p = RedrawMap(m, f);
  int squareRows = 0, squareCols = 0;
  for (int k = 0; k < p.width; ++k) {
    squareCols += MetalAt(p, k, static_cast<int>(10 * f)) && k < 18 * f ? 1 : 0;
    squareRows += MetalAt(p, static_cast<int>(10 * f), k) && k < 18 * f ? 1 : 0;
  }
  EXPECT_EQ(squareCols, 14);
  EXPECT_EQ(squareRows, 14);
  for (int x = static_cast<int>(4 * f); x < static_cast<int>(36 * f); ++x) {
    int rows = 0;
    for (int y = static_cast<int>(29 * f); y < static_cast<int>(32 * f); ++y)
      rows += MetalAt(p, x, y) ? 1 : 0;
    ASSERT_GE(rows, 1) << x;
    ASSERT_LE(rows, 2) << x;
  }
  // Corners with long edges stay square: at 2.89 the new pixel (14, 14) has its centre 0.017
  // old pixels inside the square's corner at (5, 5), where a rounded corner would leave it
  // outside; likewise (69, 40) lies 0.05 and 0.014 inside the notch of the L's inner corner at
  // (24, 14), which rounding would fill with metal.
  const RedrawnPicture q = RedrawMap(m, 2.89);
  EXPECT_TRUE(MetalAt(q, 14, 14));
  EXPECT_FALSE(MetalAt(q, 69, 40));
  EXPECT_TRUE(MetalAt(q, 68, 40));
  EXPECT_TRUE(MetalAt(q, 69, 39));
  EXPECT_THROW(RedrawMap(m, 0.0), std::invalid_argument);
  EXPECT_THROW(RedrawMap(PixelMap{}, 2.0), std::invalid_argument);
}

}  // namespace
}  // namespace zolva
