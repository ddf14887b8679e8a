#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/materials.h"
#include "geometry/geometry.h"
#include "geometry/map_ops.h"
#include "platform/headless_platform.h"
#include "support/solver_records.h"

namespace zolva {
namespace {

constexpr std::uint32_t kBlack = PackColor(0, 0, 0);
constexpr std::uint32_t kRed = PackColor(255, 0, 0);
constexpr std::uint32_t kGreen = PackColor(0, 255, 0);
constexpr std::uint32_t kBlue = PackColor(0, 0, 255);

// A loaded map as the colour analysis leaves it: colours, palette indices, material records and
// the unrestricted conductor count. Copper at 1 MHz has a skin depth of 66.1 um.
class SkinRestrictionTest : public ::testing::Test {
 protected:
  SkinRestrictionTest() : ctx(platform) {
    platform.echoMessages = false;
    ctx.programFolder = "/nonexistent-zolva-folder/";
    InitMaterialTables(ctx.materials, ctx.reporter, ctx.programFolder);
    ctx.state.frequencyMHz = 1;
    ctx.state.omega = kOmegaPerMHz;
    ctx.state.geometryKind = GeomUsermap;
    ctx.inputs.restrict = true;
  }

  void Load(int w, int h, const std::vector<std::uint32_t>& colours) {
    // A fresh palette in a fixed order, so that every colour has its record whether the map
    // holds it or not.
    ctx.materials.palette.count = 0;
    ClearPaletteProperties(GeometryJobOf(ctx));
    for (std::uint32_t c : {kBlack, kRed, kBlue, kGreen}) FindPaletteIndex(ctx.materials, c);
    PixelMap& m = ctx.map;
    m.Uwid = w;
    m.Uhei = h;
    m.Ucolor = colours;
    m.analysedPixels = colours;
    m.Uindex.assign(colours.size(), 0);
    int conductors = 0;
    for (std::size_t i = 0; i < colours.size(); ++i) {
      const int p = FindPaletteIndex(ctx.materials, colours[i]);
      m.Uindex[i] = static_cast<std::uint8_t>(p);
      conductors += ctx.materials.palette.entries[p].kind != KindInsul;
    }
    m.conductorPixelsUnrestricted = conductors;
    m.condCount = conductors;
    FillPaletteProperties(GeometryJobOf(ctx));
  }

  int SkinDepthOf(std::uint32_t colour) {
    return ctx.materials.recs.at(FindPaletteIndex(ctx.materials, colour)).SkinDepth;
  }

  HeadlessPlatform platform;
  testing::SolverRecords ctx;
};

// The map: a blue block on the left that runs off the top, bottom and left edges; a red
// rectangle in open space; a small green square whose every pixel is close to the vacuum.
std::vector<std::uint32_t> TestMap() {
  std::vector<std::uint32_t> px(40 * 22, kBlack);
  auto paint = [&](int x0, int y0, int x1, int y1, std::uint32_t c) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) px[x + y * 40] = c;
  };
  paint(0, 0, 8, 22, kBlue);
  paint(13, 5, 33, 17, kRed);
  paint(34, 2, 39, 7, kGreen);
  return px;
}

TEST_F(SkinRestrictionTest, KeepsALayerAlongInsulatorsOnly) {
  const std::vector<std::uint32_t> original = TestMap();
  for (const auto& [pixelWidth, n] : {std::pair{100e-6, 3}, std::pair{50e-6, 4}}) {
    // 3 skin depths = 198 um: 1.98 pixels of 100 um (less than ring: the layer is 3 pixels),
    // 3.97 pixels of 50 um (4 pixels).
    Load(40, 22, original);
    const std::vector<std::uint8_t> index = ctx.map.Uindex;
    ctx.state.pixelWidth = pixelWidth;
    RestrictToSkinDepth(GeometryJobOf(ctx));
    EXPECT_EQ(SkinDepthOf(kRed), n);
    EXPECT_EQ(SkinDepthOf(kBlue), n);

    // The blue block's boundary with vacuum is its right side only; the map edges are none.
    // The red rectangle keeps a band n wide; the green square is all within n of vacuum.
    int expected = 0;
    for (int y = 0; y < 22; ++y)
      for (int x = 0; x < 40; ++x) {
        const std::uint32_t c = original[x + y * 40];
        bool deep = false;
        if (c == kBlue) deep = 8 - x > n;
        if (c == kRed) deep = std::min({x - 12, 33 - x, y - 4, 17 - y}) > n;
        expected += deep;
        ASSERT_EQ(ctx.map.Ucolor[x + y * 40], deep ? NoCurrentMetalColor : c)
            << x << "," << y << " n " << n;
      }
    EXPECT_EQ(ctx.map.restrictedPixels, expected);
    EXPECT_EQ(ctx.map.condCount, ctx.map.conductorPixelsUnrestricted - expected);
    EXPECT_EQ(ctx.reporter.Label(Label31), std::to_string(ctx.map.condCount));
    EXPECT_EQ(ctx.map.analysedPixels, ctx.map.Ucolor);
    EXPECT_EQ(ctx.map.Uindex, index) << "the palette indices describe the map before the pass";
  }

  // Off, or with the pixel width unknown, the map stays as it is.
  for (bool restrict : {false, true}) {
    Load(40, 22, original);
    ctx.inputs.restrict = restrict;
    ctx.state.pixelWidth = restrict ? 0.0 : 100e-6;
    ctx.map.condCount = 0;
    RestrictToSkinDepth(GeometryJobOf(ctx));
    EXPECT_EQ(ctx.map.Ucolor, original);
    EXPECT_EQ(ctx.map.condCount, ctx.map.conductorPixelsUnrestricted);
    EXPECT_EQ(ctx.map.restrictedPixels, 0);
  }
}

// The literal rule: a conductor pixel is repainted when no pixel of the map within Euclidean
// distance n (its colour's layer depth) had an insulator colour before the pass.
std::vector<std::uint32_t> Reference(const testing::SolverRecords& ctx,
                                     std::vector<std::uint32_t> out,
                                     const std::vector<int>& depthOf) {
  const PixelMap& m = ctx.map;
  auto insul = [&](int x, int y) {
    return ctx.materials.palette.entries[m.Uindex[x + y * m.Uwid]].kind == KindInsul;
  };
  for (int y = 0; y < m.Uhei; ++y)
    for (int x = 0; x < m.Uwid; ++x) {
      if (insul(x, y)) continue;
      const int n = depthOf[m.Uindex[x + y * m.Uwid]];
      bool near = false;
      for (int yy = std::max(0, y - n); yy <= std::min(m.Uhei - 1, y + n) && !near; ++yy)
        for (int xx = std::max(0, x - n); xx <= std::min(m.Uwid - 1, x + n) && !near; ++xx)
          near = std::sqrt(double((xx - x) * (xx - x) + (yy - y) * (yy - y))) <= n && insul(xx, yy);
      if (!near) out[x + y * m.Uwid] = NoCurrentMetalColor;
    }
  return out;
}

TEST_F(SkinRestrictionTest, MatchesTheNeighbourhoodRuleOnRandomMaps) {
  std::mt19937 rng(12345);
  std::int64_t repainted = 0, kept = 0;
  const std::uint32_t colours[] = {kBlack, kRed, kBlue, kGreen, PackColor(130, 53, 239)};
  for (int trial = 0; trial < 20; ++trial) {
    const int w = 20 + static_cast<int>(rng() % 50), h = 15 + static_cast<int>(rng() % 40);
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h, kBlack);
    // Overlapping blobs of metal (some cut by the edges, some covering most of the map) with
    // dielectric blobs inside.
    for (int b = 0; b < 6; ++b) {
      const std::uint32_t c = colours[1 + rng() % 4];
      const int cx = static_cast<int>(rng() % w), cy = static_cast<int>(rng() % h);
      const int r = 2 + static_cast<int>(rng() % 25);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) px[x + y * w] = c;
    }
    if (trial == 0) std::fill(px.begin(), px.end(), kRed);  // no insulator at all
    Load(w, h, px);
    // Different layer depths per colour: copper 3 pixels, blue 4 (4 times the resistivity gives
    // twice the skin depth), green 10 (25 times).
    ctx.materials.recs.at(FindPaletteIndex(ctx.materials, kBlue)).Resistivity *= 4;
    ctx.materials.recs.at(FindPaletteIndex(ctx.materials, kGreen)).Resistivity *= 25;
    ctx.state.pixelWidth = 100e-6;
    RestrictToSkinDepth(GeometryJobOf(ctx));
    std::vector<int> depthOf(256, 0);
    for (int i = 0; i < ctx.materials.palette.count; ++i)
      depthOf[i] = ctx.materials.recs.at(i).SkinDepth;
    ASSERT_EQ(depthOf[FindPaletteIndex(ctx.materials, kRed)], 3);
    ASSERT_EQ(depthOf[FindPaletteIndex(ctx.materials, kBlue)], 4);
    ASSERT_EQ(depthOf[FindPaletteIndex(ctx.materials, kGreen)], 10);
    const std::vector<std::uint32_t> expected = Reference(ctx, px, depthOf);
    ASSERT_EQ(ctx.map.Ucolor, expected) << "trial " << trial;
    repainted += ctx.map.restrictedPixels;
    kept += ctx.map.condCount;
    if (trial == 0) {
      EXPECT_EQ(ctx.map.condCount, 0);
    }
  }
  // The maps exercise both outcomes in quantity.
  EXPECT_GT(repainted, 5000);
  EXPECT_GT(kept, 5000);
}

}  // namespace
}  // namespace zolva
