#include "csolver/field_regions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
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

using sketch::ColorOf;
using sketch::kBlue;
using sketch::kCyan;
using sketch::kGreen;
using sketch::kRed;
using sketch::kWhite;

struct RegionFixture {
  HeadlessPlatform platform;
  testing::SolverRecords ctx{platform};

  RegionFixture() {
    platform.echoMessages = false;
    sketch::RegisterCopperAndVacuum(ctx);
  }

  void Canvas(int w, int h) { sketch::Canvas(ctx, w, h); }
  void Fill(int x0, int y0, int x1, int y1, char c) {
    sketch::Fill(ctx, x0, y0, x1, y1, ColorOf(c));
  }
  // A square ring of conductor c, `t` pixels thick, around the box (x0, y0)..(x1, y1).
  void Ring(int x0, int y0, int x1, int y1, int t, char c) {
    Fill(x0, y0, x1, y0 + t - 1, c);
    Fill(x0, y1 - t + 1, x1, y1, c);
    Fill(x0, y0, x0 + t - 1, y1, c);
    Fill(x1 - t + 1, y0, x1, y1, c);
  }
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(ctx.map.Uwid) +
           static_cast<std::size_t>(x);
  }
  int KindAt(int x, int y) const { return ctx.map.Ukind.at(Index(x, y)); }
  bool Find() {
    EXPECT_TRUE(IndexConductors(ctx));
    return FindFieldRegions(CapacitanceJobOf(ctx));
  }
};

TEST(FieldRegions, ClosedCoaxHasOneEnclosedRegion) {
  RegionFixture f;
  f.Canvas(21, 21);
  f.Ring(3, 3, 17, 17, 2, 'g');  // the shield
  f.Fill(9, 9, 11, 11, '+');     // the centre conductor
  ASSERT_TRUE(f.Find());
  ASSERT_EQ(f.ctx.regions.regionCount, 1);
  EXPECT_FALSE(f.ctx.grid.openBoundary);
  const RegionRecord& r = f.ctx.regions.table[0];
  EXPECT_EQ(r.minX, 5);
  EXPECT_EQ(r.maxX, 15);
  EXPECT_EQ(r.minY, 5);
  EXPECT_EQ(r.maxY, 15);
  EXPECT_EQ(f.KindAt(r.seedX, r.seedY), RegionFilled);
  // Between the conductors the field region; outside the shield nothing.
  EXPECT_EQ(f.KindAt(5, 5), RegionFilled);
  EXPECT_EQ(f.KindAt(8, 10), RegionFilled);
  EXPECT_EQ(f.KindAt(0, 0), KindInsul);
  EXPECT_EQ(f.KindAt(20, 10), KindInsul);
  EXPECT_EQ(f.KindAt(10, 10), KindPlus);
  EXPECT_EQ(f.KindAt(3, 3), KindGround);
  EXPECT_EQ(f.ctx.reporter.steps.back(), "Looking for field regions");
  // Every palette colour starts at its fixed voltage; floating and insulating ones at 0.
  ASSERT_GE(f.ctx.results.floatVolts.size(), 256u);
  const UsermapPalette& pal = f.ctx.materials.palette;
  for (int i = 0; i < pal.count; ++i) {
    const double expected = pal.entries[i].kind == KindPlus    ? 1.0
                            : pal.entries[i].kind == KindMinus ? -1.0
                                                               : 0.0;
    EXPECT_EQ(f.ctx.results.floatVolts[static_cast<std::size_t>(i)], expected) << i;
  }
}

TEST(FieldRegions, OpenTwinleadReachesTheBorder) {
  RegionFixture f;
  f.Canvas(20, 10);
  f.Fill(3, 3, 5, 5, '+');
  f.Fill(12, 3, 14, 5, '-');
  ASSERT_TRUE(f.Find());
  ASSERT_EQ(f.ctx.regions.regionCount, 1);
  EXPECT_TRUE(f.ctx.grid.openBoundary);
  const RegionRecord& r = f.ctx.regions.table[0];
  EXPECT_EQ(r.seedX, 19);  // the first border seed
  EXPECT_EQ(r.seedY, 0);
  EXPECT_EQ(r.minX, 0);
  EXPECT_EQ(r.maxX, 19);
  EXPECT_EQ(r.minY, 0);
  EXPECT_EQ(r.maxY, 9);
  int filled = 0;
  for (std::int8_t k : f.ctx.map.Ukind) filled += k == RegionFilled;
  EXPECT_EQ(filled, 200 - 18);
}

TEST(FieldRegions, EnclosedAndFloatingOnlyAreasAreFieldFree) {
  for (bool paint : {false, true}) {
    RegionFixture f;
    f.ctx.state.switches[Switch::PaintRegionSearch] = paint;
    f.ctx.state.switches[Switch::PaintFilledRegions] = paint;
    f.Canvas(40, 14);
    f.Ring(2, 2, 10, 10, 2, '+');   // an island inside +1 volt only
    f.Ring(14, 2, 24, 12, 2, 'g');  // ground around a floating body
    f.Fill(18, 6, 20, 8, 'f');
    f.Ring(28, 2, 38, 12, 2, 'g');  // ground around +1 volt: a field region
    f.Fill(32, 6, 34, 8, '+');
    ASSERT_TRUE(f.Find());
    EXPECT_EQ(f.ctx.regions.regionCount, 2);
    EXPECT_TRUE(f.ctx.grid.openBoundary);  // the outside meets +1 volt and ground
    EXPECT_EQ(f.KindAt(0, 0), RegionFilled);
    EXPECT_EQ(f.KindAt(6, 6), KindInsul);   // the island
    EXPECT_EQ(f.KindAt(16, 4), KindInsul);  // beside the floating body
    EXPECT_EQ(f.KindAt(30, 4), RegionFilled);
    const std::vector<std::uint32_t>& color = f.ctx.map.Ucolor;
    if (paint) {
      // Switch 15 shows the field regions, switch 14 every area a fill passed.
      EXPECT_EQ(color[f.Index(0, 0)], PackColor(100, 200, 255));
      EXPECT_EQ(color[f.Index(30, 4)], PackColor(100, 200, 255));
      EXPECT_EQ(color[f.Index(6, 6)], PackColor(213, 160, 77));
      EXPECT_EQ(color[f.Index(2, 2)], kRed);
    } else {
      EXPECT_EQ(color[f.Index(6, 6)], kWhite);
      EXPECT_EQ(color[f.Index(0, 0)], kWhite);
    }
  }
}

// Random maps checked against a plain breadth-first labelling of the insulator areas: an area is
// a field region when its pixels touch at least two of the three fixed voltages.
TEST(FieldRegions, MatchesComponentLabellingOnRandomMaps) {
  std::mt19937 rng(2024);
  const char kinds[] = {'+', '-', 'g', 'f'};
  int refused = 0, accepted = 0;
  for (int trial = 0; trial < 300; ++trial) {
    RegionFixture f;
    const int w = 1 + static_cast<int>(rng() % 40);
    const int h = 1 + static_cast<int>(rng() % 40);
    const unsigned density = 20 + rng() % 50;
    f.Canvas(w, h);
    // Two fixed conductors so that every map is accepted by the index.
    f.ctx.map.Ucolor[0] = kRed;
    f.ctx.map.Ucolor.back() = kBlue;
    for (std::size_t p = 1; p + 1 < f.ctx.map.Ucolor.size(); ++p)
      if (rng() % 100 < density) f.ctx.map.Ucolor[p] = ColorOf(kinds[rng() % 4]);
    if (f.ctx.map.Ucolor.size() == 1) continue;
    // Conductors at different fixed voltages must not touch, directly or through a floating
    // body (the index refuses the short circuit): a fixed pixel that touches another of a
    // different voltage becomes insulator, and so does every floating body that still touches
    // two voltages.
    auto fixed = [](std::uint32_t c) { return c == kRed || c == kBlue || c == kGreen; };
    auto inside = [w, h](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h; };
    const std::size_t last = f.ctx.map.Ucolor.size() - 1;
    bool shorted = false;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint32_t& c = f.ctx.map.Ucolor[f.Index(x, y)];
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            if (!fixed(c) || !inside(x + dx, y + dy)) continue;
            const std::size_t q = f.Index(x + dx, y + dy);
            const std::uint32_t n = f.ctx.map.Ucolor[q];
            if (!fixed(n) || n == c) continue;
            if (f.Index(x, y) == 0 || f.Index(x, y) == last) {
              shorted = shorted || q == 0 || q == last;
            } else {
              c = kWhite;
            }
          }
      }
    if (shorted) continue;
    std::vector<bool> flooded(f.ctx.map.Ucolor.size(), false);
    for (std::size_t s = 0; s < flooded.size(); ++s) {
      if (flooded[s] || f.ctx.map.Ucolor[s] != kCyan) continue;
      std::vector<std::size_t> body{s};
      flooded[s] = true;
      std::uint32_t voltage = 0;
      bool two = false;
      for (std::size_t i = 0; i < body.size(); ++i) {
        const int x = static_cast<int>(body[i] % static_cast<std::size_t>(w));
        const int y = static_cast<int>(body[i] / static_cast<std::size_t>(w));
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            if (!inside(x + dx, y + dy)) continue;
            const std::size_t q = f.Index(x + dx, y + dy);
            const std::uint32_t c = f.ctx.map.Ucolor[q];
            if (fixed(c)) {
              if (voltage == 0) voltage = c;
              two = two || c != voltage;
            } else if (c == kCyan && !flooded[q]) {
              flooded[q] = true;
              body.push_back(q);
            }
          }
      }
      if (two)
        for (std::size_t p : body) f.ctx.map.Ucolor[p] = kWhite;
    }

    // Reference labelling.
    const std::size_t n = f.ctx.map.Ucolor.size();
    std::vector<int> label(n, -1);
    std::vector<bool> isField;
    std::vector<bool> onBorder;
    for (std::size_t s = 0; s < n; ++s) {
      if (f.ctx.map.Ucolor[s] != kWhite || label[s] >= 0) continue;
      const int id = static_cast<int>(isField.size());
      bool plus = false, minus = false, ground = false, border = false;
      std::deque<std::size_t> queue{s};
      label[s] = id;
      while (!queue.empty()) {
        const std::size_t p = queue.front();
        queue.pop_front();
        const int x = static_cast<int>(p % static_cast<std::size_t>(w));
        const int y = static_cast<int>(p / static_cast<std::size_t>(w));
        border = border || x == 0 || y == 0 || x == w - 1 || y == h - 1;
        const int dx[4] = {1, -1, 0, 0}, dy[4] = {0, 0, 1, -1};
        for (int d = 0; d < 4; ++d) {
          const int nx = x + dx[d], ny = y + dy[d];
          if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
          const std::size_t q = f.Index(nx, ny);
          const std::uint32_t c = f.ctx.map.Ucolor[q];
          plus = plus || c == kRed;
          minus = minus || c == kBlue;
          ground = ground || c == kGreen;
          if (c == kWhite && label[q] < 0) {
            label[q] = id;
            queue.push_back(q);
          }
        }
      }
      isField.push_back((plus && minus) || (plus && ground) || (minus && ground));
      onBorder.push_back(border);
    }
    const int fieldCount = static_cast<int>(std::count(isField.begin(), isField.end(), true));
    bool open = false;
    for (std::size_t i = 0; i < isField.size(); ++i) open = open || (isField[i] && onBorder[i]);

    const bool ok = f.Find();
    if (fieldCount > kMaxFieldRegions) {
      ++refused;
      EXPECT_FALSE(ok) << "trial " << trial;
      EXPECT_TRUE(f.ctx.state.abortRequested);
      EXPECT_EQ(f.ctx.regions.regionCount, 0);
      continue;
    }
    ++accepted;
    ASSERT_TRUE(ok) << "trial " << trial;
    ASSERT_EQ(f.ctx.regions.regionCount, fieldCount) << "trial " << trial;
    EXPECT_EQ(f.ctx.grid.openBoundary, open) << "trial " << trial;
    for (std::size_t p = 0; p < n; ++p) {
      const bool expectFilled = label[p] >= 0 && isField[static_cast<std::size_t>(label[p])];
      ASSERT_EQ(f.ctx.map.Ukind[p] == RegionFilled, expectFilled)
          << "trial " << trial << " p " << p;
      if (label[p] >= 0 && !expectFilled) {
        ASSERT_EQ(f.ctx.map.Ukind[p], KindInsul);
      }
    }
    // Each table entry is a different field region, seeded inside it, with that region's box.
    std::vector<bool> seen(isField.size(), false);
    for (int i = 0; i < f.ctx.regions.regionCount; ++i) {
      const RegionRecord& r = f.ctx.regions.table[static_cast<std::size_t>(i)];
      const int id = label.at(f.Index(r.seedX, r.seedY));
      ASSERT_GE(id, 0);
      ASSERT_TRUE(isField[static_cast<std::size_t>(id)]);
      ASSERT_FALSE(seen[static_cast<std::size_t>(id)]);
      seen[static_cast<std::size_t>(id)] = true;
      int minX = w, maxX = -1, minY = h, maxY = -1;
      for (std::size_t p = 0; p < n; ++p) {
        if (label[p] != id) continue;
        const int x = static_cast<int>(p % static_cast<std::size_t>(w));
        const int y = static_cast<int>(p / static_cast<std::size_t>(w));
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
      EXPECT_EQ(r.minX, minX);
      EXPECT_EQ(r.maxX, maxX);
      EXPECT_EQ(r.minY, minY);
      EXPECT_EQ(r.maxY, maxY);
    }
  }
  EXPECT_GT(accepted, 100);
}

TEST(FieldRegions, MoreThanOneHundredRegionsAreRefused) {
  // Columns of +1 and -1 volt conductors by turns, from the top of the map to the bottom, with
  // an insulator column between each two: every insulator column is a field region of its own.
  auto build = [](RegionFixture& f, int gaps) {
    const int w = 2 * gaps + 1;
    f.Canvas(w, 3);
    for (int x = 0; x < w; x += 2) f.Fill(x, 0, x, 2, (x / 2) % 2 == 0 ? '+' : '-');
  };

  {
    RegionFixture f;
    build(f, 100);
    ASSERT_TRUE(f.Find());
    EXPECT_EQ(f.ctx.regions.regionCount, 100);
    EXPECT_FALSE(f.ctx.failure.has_value());
  }
  {
    RegionFixture f;
    build(f, 101);
    EXPECT_FALSE(f.Find());
    ASSERT_TRUE(f.ctx.failure.has_value());
    EXPECT_EQ(f.ctx.failure->message, "Aborted.  More than 100 field regions.");
    EXPECT_EQ(f.ctx.failure->caption, "zolva");
    EXPECT_TRUE(f.ctx.state.abortRequested);
    EXPECT_TRUE(f.ctx.state.operationFailed);
    EXPECT_EQ(f.ctx.regions.regionCount, 0);
    EXPECT_FALSE(f.ctx.grid.openBoundary);
    for (std::int8_t k : f.ctx.map.Ukind) ASSERT_NE(k, RegionFilled);
  }
}

TEST(FieldRegions, LargeOpenAreaNeedsNoStack) {
  // The fill's path winds through every pixel of a large open area; it must live in the map.
  RegionFixture f;
  f.Canvas(1500, 1000);
  f.Fill(700, 500, 701, 501, '+');
  f.Fill(800, 500, 801, 501, '-');
  ASSERT_TRUE(f.Find());
  EXPECT_EQ(f.ctx.regions.regionCount, 1);
  const auto filled = std::count(f.ctx.map.Ukind.begin(), f.ctx.map.Ukind.end(), RegionFilled);
  EXPECT_EQ(filled, 1500 * 1000 - 8);
  // A seed outside the map or on a conductor fills nothing.
  FloodRegion(CapacitanceJobOf(f.ctx), -1, 0, true);
  FloodRegion(CapacitanceJobOf(f.ctx), 1500, 999, true);
  f.ctx.regions.metPlus = false;
  FloodRegion(CapacitanceJobOf(f.ctx), 700, 500, true);
  EXPECT_TRUE(f.ctx.regions.metPlus);
  EXPECT_EQ(std::count(f.ctx.map.Ukind.begin(), f.ctx.map.Ukind.end(), RegionFilled), filled);
}

}  // namespace
}  // namespace zolva
