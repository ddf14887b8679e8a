#include "lsolver/surface_classification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/conductor_index.h"
#include "core/materials.h"
#include "platform/headless_platform.h"
#include "support/sketch_map.h"
#include "support/solver_records.h"

namespace zolva {
namespace {

using sketch::kBlue;
using sketch::kRed;
using sketch::kWhite;

// Maps drawn on a white canvas: '+' red (+1 volt copper), '-' blue (-1 volt copper), 'n' the
// no-current paint, anything else white.
struct SurfaceFixture {
  HeadlessPlatform platform;
  testing::SolverRecords ctx{platform};

  SurfaceFixture() {
    platform.echoMessages = false;
    RegisterColor(ctx.materials, ctx.reporter, kRed, KindPlus, 1.7241379, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kBlue, KindMinus, 1.7241379, 1, 0, 1, "copper");
    RegisterColor(ctx.materials, ctx.reporter, kWhite, KindInsul, 0, 1, 0, 1, "vacuum");
    RegisterColor(ctx.materials, ctx.reporter, NoCurrentMetalColor, KindInsul, 0, 1, 0, 1,
                  "no-current metal");
  }

  void Canvas(int w, int h) { sketch::Canvas(ctx, w, h); }
  void Fill(int x0, int y0, int x1, int y1, std::uint32_t color) {
    sketch::Fill(ctx, x0, y0, x1, y1, color);
  }
  void Classify() {
    ASSERT_TRUE(IndexConductors(ctx));
    ClassifySurface(LSolverJobOf(ctx));
    const ConductorIndex& ci = ctx.cindex;
    entryAt.assign(ctx.map.Ucolor.size(), -1);
    for (std::size_t j = 0; j < ci.size(); ++j)
      entryAt[static_cast<std::size_t>(ci.y[j] * ctx.map.Uwid + ci.x[j])] = static_cast<int>(j);
  }
  // Letter and depth of the conductor pixel at (x, y).
  std::pair<char, int> At(int x, int y) const {
    const int j = entryAt.at(static_cast<std::size_t>(y * ctx.map.Uwid + x));
    if (j < 0) {
      ADD_FAILURE() << "no conductor pixel at " << x << "," << y;
      return {'?', -1};
    }
    const std::size_t e = static_cast<std::size_t>(j);
    return {static_cast<char>(ctx.cindex.surfaceKind[e]), ctx.cindex.depth[e]};
  }

  std::vector<int> entryAt;  // entry of each pixel, -1 for insulators
};

TEST(SurfaceClassification, SolidBlockSidesCornersAndLayers) {
  SurfaceFixture f;
  // A 70 x 70 block: deeper than 32 layers at its centre. A blue pixel far away makes the map
  // solvable.
  f.Canvas(80, 80);
  f.Fill(5, 5, 74, 74, kRed);
  f.Fill(78, 78, 78, 78, kBlue);
  f.Classify();

  EXPECT_EQ(f.At(40, 5), std::make_pair('A', 1));  // straight sides
  EXPECT_EQ(f.At(5, 40), std::make_pair('A', 1));
  EXPECT_EQ(f.At(74, 30), std::make_pair('A', 1));
  EXPECT_EQ(f.At(5, 5), std::make_pair('D', 1));  // convex corners
  EXPECT_EQ(f.At(74, 74), std::make_pair('D', 1));
  EXPECT_EQ(f.At(40, 6), std::make_pair('A', 2));  // layers below the middle of a side
  EXPECT_EQ(f.At(40, 7), std::make_pair('A', 3));
  // Inside a corner the first pixel to arrive decides. The second layer is spread in entry order
  // (rightmost column first, each from the bottom): the bottom-right corner pixel comes before
  // its side neighbours, while at the top-left corner a top-side pixel comes first.
  EXPECT_EQ(f.At(73, 73), std::make_pair('D', 2));
  EXPECT_EQ(f.At(6, 6), std::make_pair('A', 2));
  EXPECT_EQ(f.At(40, 36), std::make_pair('A', 32));
  // Beyond 32 layers nothing is assigned: the centre keeps the interior letter and depth 0.
  EXPECT_EQ(f.At(40, 37), std::make_pair('I', 0));
  EXPECT_EQ(f.At(39, 39), std::make_pair('I', 0));
  // The isolated blue pixel has no surface shape of its own.
  EXPECT_EQ(f.At(78, 78), std::make_pair('I', 0));

  // Every layer is one step of the 8-neighbour distance from the outside, and its letter is
  // inherited from a pixel of the layer above it.
  const ConductorIndex& ci = f.ctx.cindex;
  for (std::size_t j = 0; j < ci.size(); ++j) {
    const int x = ci.x[j], y = ci.y[j];
    if (x > 74) continue;
    const int ring = std::min(std::min(x - 5, 74 - x), std::min(y - 5, 74 - y)) + 1;
    const int depth = ring <= kMaxSurfaceDepth ? ring : 0;
    ASSERT_EQ(ci.depth[j], depth) << "pixel " << x << "," << y;
    if (depth < 2) continue;
    bool inherited = false;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        std::pair<char, int> n = f.At(x + dx, y + dy);
        if (n.second == depth - 1 && n.first == static_cast<char>(ci.surfaceKind[j]))
          inherited = true;
      }
    EXPECT_TRUE(inherited) << "pixel " << x << "," << y;
  }
}

TEST(SurfaceClassification, LinesIsolatedPixelsAndTheMapBorder) {
  SurfaceFixture f;
  f.Canvas(20, 12);
  f.Fill(3, 5, 9, 5, kRed);     // a one-pixel line
  f.Fill(14, 0, 14, 4, kRed);   // a line hanging from the top border
  f.Fill(17, 8, 17, 8, kBlue);  // an isolated pixel
  f.Fill(0, 11, 4, 11, kBlue);  // a line lying on the bottom border
  f.Classify();
  EXPECT_EQ(f.At(3, 5), std::make_pair('G', 1));  // line ends
  EXPECT_EQ(f.At(9, 5), std::make_pair('G', 1));
  for (int x = 4; x <= 8; ++x) EXPECT_EQ(f.At(x, 5), std::make_pair('A', 1)) << x;
  EXPECT_EQ(f.At(17, 8), std::make_pair('I', 0));
  // A border pixel is never classified itself; it takes the letter of the pixel next to it.
  EXPECT_EQ(f.At(14, 1), std::make_pair('A', 1));
  EXPECT_EQ(f.At(14, 0), std::make_pair('A', 2));
  EXPECT_EQ(f.At(14, 4), std::make_pair('G', 1));
  // A line wholly on the border has no inner pixel to receive anything from.
  for (int x = 0; x <= 4; ++x) EXPECT_EQ(f.At(x, 11), std::make_pair('I', 0)) << x;
}

TEST(SurfaceClassification, NoCurrentPaintAndSwitch32) {
  // A 11 x 11 conductor whose inside (5 x 5) is painted as no-current metal: the ring is 3 pixels
  // thick and its inner edge is no surface, so the layers run 1, 2, 3 from the outside in.
  {
    SurfaceFixture f;
    f.Canvas(20, 20);
    f.Fill(2, 2, 12, 12, kRed);
    f.Fill(5, 5, 9, 9, NoCurrentMetalColor);
    f.Fill(17, 17, 17, 17, kBlue);
    f.Classify();
    EXPECT_EQ(f.At(7, 2).second, 1);
    EXPECT_EQ(f.At(7, 3).second, 2);
    EXPECT_EQ(f.At(7, 4), std::make_pair('A', 3));  // next to the paint
    EXPECT_EQ(f.At(4, 4).second, 3);                // diagonal to the paint's corner
    EXPECT_EQ(f.ctx.cindex.size(), 121u - 25u + 1u);
  }
  // The same ring around a hole of plain insulator has a surface on both edges.
  {
    SurfaceFixture f;
    f.Canvas(20, 20);
    f.Fill(2, 2, 12, 12, kRed);
    f.Fill(5, 5, 9, 9, kWhite);
    f.Fill(17, 17, 17, 17, kBlue);
    f.Classify();
    EXPECT_EQ(f.At(7, 4), std::make_pair('A', 1));
    EXPECT_EQ(f.At(7, 3).second, 2);
  }
  // Switch 32: every classified pixel is a flat side at depth 1, whatever its shape; only border
  // pixels are left for the spread, at depth 2.
  {
    SurfaceFixture f;
    f.ctx.state.switches[Switch::AllLettersC] = true;
    f.Canvas(20, 20);
    f.Fill(0, 0, 9, 9, kRed);
    f.Fill(17, 17, 17, 17, kBlue);
    f.Classify();
    EXPECT_EQ(f.At(5, 5), std::make_pair('C', 1));    // deep inside
    EXPECT_EQ(f.At(9, 9), std::make_pair('C', 1));    // corner
    EXPECT_EQ(f.At(17, 17), std::make_pair('C', 1));  // isolated
    EXPECT_EQ(f.At(0, 5), std::make_pair('C', 2));
    EXPECT_EQ(f.At(5, 0), std::make_pair('C', 2));
    EXPECT_EQ(f.At(0, 0), std::make_pair('C', 2));
  }
}

TEST(SurfaceClassification, ProximityWarningNeedsCoarsePixelsAndCloseCurvedSurfaces) {
  // Two 2 x 2 blocks (all convex corners) of opposite voltage 4 pixels apart.
  auto run = [](double pixelWidth, double frequencyMHz, int gap) {
    SurfaceFixture f;
    f.Canvas(30, 10);
    f.Fill(3, 3, 4, 4, kRed);
    f.Fill(5 + gap, 3, 6 + gap, 4, kBlue);
    f.ctx.state.pixelWidth = pixelWidth;
    f.ctx.state.omega = frequencyMHz * kOmegaPerMHz;
    f.ctx.results.rsWarning = !f.ctx.results.rsWarning;  // any old value must be replaced
    f.Classify();
    EXPECT_EQ(f.At(3, 3).first, 'D');
    return f.ctx.results.rsWarning;
  };
  // Copper at 1 MHz has a skin depth of about 66 micrometres.
  EXPECT_TRUE(run(1e-3, 1.0, 4));   // pixel 15 skin depths wide
  EXPECT_FALSE(run(1e-6, 1.0, 4));  // pixel 0.015 skin depths wide: fine enough
  EXPECT_FALSE(run(1e-3, 0.0, 4));  // direct current: no skin effect at all
  // Curved surfaces on both sides reach 16 pixels: 15 apart warns, 16 apart does not.
  EXPECT_TRUE(run(1e-3, 1.0, 14));
  EXPECT_FALSE(run(1e-3, 1.0, 15));
}

// Random conductor lists, tested by the bucketed proximity test and by the plain double loop.
TEST(SurfaceClassification, BucketedProximityMatchesThePlainLoop) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 200; ++trial) {
    ConductorIndex ci;
    const int n = 1 + static_cast<int>(rng() % 300);
    const int span = 1 + static_cast<int>(rng() % 80);
    std::vector<std::uint8_t> coarse;
    for (int j = 0; j < n; ++j) {
      ci.x.push_back(static_cast<std::int32_t>(rng() % span));
      ci.y.push_back(static_cast<std::int32_t>(rng() % (span + 7)));
      ci.kind.push_back(static_cast<std::int8_t>(static_cast<int>(rng() % 4) - 1));
      ci.depth.push_back(static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() % 4 : 1));
      ci.surfaceKind.push_back(static_cast<SurfaceKind>(u'A' + rng() % 9));
      coarse.push_back(static_cast<std::uint8_t>(rng() % 5 != 0));
    }
    ASSERT_EQ(ProximityFlags(ci, coarse), ProximityFlagsReference(ci, coarse)) << "trial " << trial;
  }
  // The exact reach: 8 pixels to a flat surface, 16 to a curved one, both excluded; coordinates
  // may lie anywhere, even left of the map.
  ConductorIndex ci;
  auto add = [&](int x, int y, std::int8_t kind, char letter) {
    ci.x.push_back(x);
    ci.y.push_back(y);
    ci.kind.push_back(kind);
    ci.depth.push_back(1);
    ci.surfaceKind.push_back(static_cast<SurfaceKind>(letter));
  };
  add(-40, 0, KindPlus, 'D');  // 0: flat neighbour 8 away, curved one 16 away -> not close
  add(-32, 0, KindMinus, 'A');
  add(-40, 16, KindMinus, 'E');
  add(100, 0, KindPlus, 'H');  // 3: flat neighbour at (7, 0) -> close
  add(107, 0, KindGround, 'B');
  add(200, 0, KindPlus, 'F');  // 5: curved neighbour at (11, 11), 15.6 away -> close
  add(211, 11, KindFloat, 'G');
  std::vector<std::uint8_t> coarse(ci.size(), 1);
  const std::vector<std::uint8_t> flags = ProximityFlags(ci, coarse);
  EXPECT_EQ(flags, ProximityFlagsReference(ci, coarse));
  EXPECT_EQ(flags[0], 0);
  EXPECT_EQ(flags[3], 1);
  EXPECT_EQ(flags[5], 1);
  EXPECT_EQ(flags[1], 0);  // flat surfaces are not tested themselves
  EXPECT_THROW(ProximityFlags(ci, std::vector<std::uint8_t>(2, 1)), std::out_of_range);

  // Coordinates far apart need no giant bucket table and give the same answer.
  ci = ConductorIndex{};
  add(2000000000, 0, KindPlus, 'D');
  add(2000000005, 0, KindMinus, 'A');
  add(-2000000000, 0, KindMinus, 'D');
  coarse.assign(ci.size(), 1);
  EXPECT_EQ(ProximityFlags(ci, coarse), (std::vector<std::uint8_t>{1, 0, 0}));
}

// A lattice of 2 x 2 blocks, one pixel apart: over 20000 surface pixels, all convex corners,
// +1 volt on the left half and -1 volt on the right half.
TEST(SurfaceClassification, LargeSurfaceLattice) {
  SurfaceFixture f;
  const int blocks = 71;
  const int size = blocks * 3 + 2;
  f.Canvas(size, size);
  for (int by = 0; by < blocks; ++by)
    for (int bx = 0; bx < blocks; ++bx) {
      const int x = 2 + 3 * bx, y = 2 + 3 * by;
      f.Fill(x, y, x + 1, y + 1, bx < blocks / 2 ? kRed : kBlue);
    }
  f.ctx.state.pixelWidth = 1e-3;
  f.ctx.state.omega = kOmegaPerMHz;
  f.Classify();
  const ConductorIndex& ci = f.ctx.cindex;
  ASSERT_EQ(ci.size(), static_cast<std::size_t>(blocks * blocks * 4));
  for (std::size_t j = 0; j < ci.size(); ++j) {
    ASSERT_EQ(ci.surfaceKind[j], u'D') << j;
    ASSERT_EQ(ci.depth[j], 1) << j;
  }
  EXPECT_TRUE(f.ctx.results.rsWarning);
  // Only pixels within 16 pixels of the boundary between the two halves are close to the other
  // voltage.
  const std::vector<std::uint8_t> flags =
      ProximityFlags(ci, std::vector<std::uint8_t>(ci.size(), 1));
  const int boundary = 2 + 3 * (blocks / 2);  // first blue column
  for (std::size_t j = 0; j < ci.size(); ++j) {
    const int reach = ci.kind[j] == KindPlus ? boundary - ci.x[j] : ci.x[j] - (boundary - 2);
    ASSERT_EQ(flags[j], reach < 16 ? 1 : 0) << "pixel " << ci.x[j] << "," << ci.y[j];
  }
}

}  // namespace
}  // namespace zolva
