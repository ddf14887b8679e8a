#include "csolver/charge_distribution.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "csolver/csolver_fixture.h"
#include "csolver/solver_grid.h"

namespace zolva {
namespace {

using testing::SolverFixture;

constexpr std::uint8_t kFree = NodeFree | NodeFreeMixed;

TEST(ChargeDistribution, MarksNodesAndCouplesTheApron) {
  SolverFixture f;
  f.Draw({
      "..............",
      "..+.....pppp..",
      "........pppp..",
      "..-.....g.....",
      "..............",
  });
  ASSERT_TRUE(f.Setup());
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(f.ctx)));
  const SolverGrid& g = f.ctx.grid;
  ASSERT_TRUE(g.apronActive);

  // A conductor pixel's four corners are conductor nodes at its voltage, also where they touch
  // field pixels.
  const int x0 = 2 + g.UtoCX, y0 = 1 + g.UtoCY;
  for (int dy = 0; dy <= 1; ++dy)
    for (int dx = 0; dx <= 1; ++dx) {
      EXPECT_EQ(f.Code(x0 + dx, y0 + dy), NodeConductor);
      EXPECT_EQ(f.Node(x0 + dx, y0 + dy), 1.0);
      EXPECT_EQ(f.Node(x0 + dx, y0 + 2 + dy), -1.0);
    }
  // Inside the polyethylene the permittivity is uniform: plain nodes; on its edge, weighted.
  EXPECT_EQ(f.Code(9 + g.UtoCX, 2 + g.UtoCY), NodeFree);
  EXPECT_EQ(f.Code(8 + g.UtoCX, 2 + g.UtoCY), NodeFreeMixed);
  EXPECT_EQ(f.Code(12 + g.UtoCX, 1 + g.UtoCY), NodeFreeMixed);
  EXPECT_EQ(f.Code(5 + g.UtoCX, 2 + g.UtoCY), NodeFree);

  // Every free core edge node reads the apron; the apron's own border and the footprint's
  // boundary never hold plain nodes; the footprint's interior is left to the core.
  for (int x = 0; x < g.Cwid; ++x)
    for (int y : {0, g.Chei - 1}) EXPECT_EQ(f.Code(x, y), NodeFreeMixed) << x << "," << y;
  for (int y = 0; y < g.Chei; ++y)
    for (int x : {0, g.Cwid - 1}) EXPECT_EQ(f.Code(x, y), NodeFreeMixed) << x << "," << y;
  int plainApron = 0;
  for (int aY = 0; aY < g.Ahei; ++aY) {
    for (int aX = 0; aX < g.Awid; ++aX) {
      const std::uint8_t c = f.ApronCode(aX, aY);
      const bool border = aX == 0 || aY == 0 || aX == g.Awid - 1 || aY == g.Ahei - 1;
      const bool inFoot =
          aX >= g.footLeft && aX <= g.footRight && aY >= g.footTop && aY <= g.footBottom;
      const bool ring = inFoot && (aX == g.footLeft || aX == g.footRight || aY == g.footTop ||
                                   aY == g.footBottom);
      if (inFoot && !ring) {
        EXPECT_EQ(c, NodeOutside);
      }
      if (border || ring) {
        EXPECT_EQ(c, NodeFreeMixed) << aX << "," << aY;
      }
      if (c == NodeFree) ++plainApron;
    }
  }
  EXPECT_GT(plainApron, 150000);
}

TEST(ChargeDistribution, SurfaceLinks) {
  // An isolated conductor pixel: each of its four corner nodes has two free neighbours (the two
  // links along the pixel's edges lead to conductor nodes), so eight links, two per node.
  SolverFixture f;
  f.Draw({
      ".......",
      ".+.....",
      ".......",
      "....gg.",
      ".......",
  });
  ASSERT_TRUE(f.Setup());
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(f.ctx)));
  const SolverGrid& g = f.ctx.grid;
  std::map<std::pair<int, int>, int> perNode;
  int plus = 0;
  for (int j = 0; j < g.surfaceCount; ++j) {
    const SurfaceRecord& r = g.surfaceList.at(static_cast<std::size_t>(j));
    EXPECT_LE(std::abs(r.conX - r.insX) + std::abs(r.conY - r.insY), 1);
    EXPECT_TRUE(f.Code(r.insX, r.insY) & kFree);
    EXPECT_TRUE(f.Code(r.conX, r.conY) & NodeConductor);
    if (r.sType != KindPlus) continue;
    ++plus;
    EXPECT_EQ(r.sCharge, 1.0);
    EXPECT_EQ(r.surfaces, 2);
    EXPECT_EQ(r.sM, FindPaletteIndex(f.ctx.materials, testing::kRed));
    ++perNode[{r.conX, r.conY}];
  }
  EXPECT_EQ(plus, 8);
  EXPECT_EQ(perNode.size(), 4u);
  // The two ground pixels side by side: six corner nodes, the two middle ones with one link.
  int ground = 0;
  for (int j = 0; j < g.surfaceCount; ++j)
    if (g.surfaceList[static_cast<std::size_t>(j)].sType == KindGround) ++ground;
  EXPECT_EQ(ground, 2 * 4 + 2 * 1);
  EXPECT_EQ(f.ctx.reporter.Label(Label36), std::to_string(g.surfaceCount) + "  surface pixels");

  // A map of many colours: the conductors' palette indices lie above 127 and are kept whole.
  SolverFixture many;
  many.Size(140, 6);
  for (int x = 0; x < 140; ++x) many.Paint(x, 0, PackColor(10, 20, x));
  many.Paint(20, 3, testing::kRed);
  many.Paint(60, 3, testing::kGreen);
  many.Paint(61, 3, testing::kGreen);
  ASSERT_TRUE(many.Setup());
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(many.ctx)));
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(many.ctx)));
  const int red = FindPaletteIndex(many.ctx.materials, testing::kRed);
  ASSERT_GT(red, 127);
  int redLinks = 0;
  for (int j = 0; j < many.ctx.grid.surfaceCount; ++j) {
    const SurfaceRecord& r = many.ctx.grid.surfaceList[static_cast<std::size_t>(j)];
    if (r.sType == KindPlus) {
      EXPECT_EQ(r.sM, red);
      ++redLinks;
    }
  }
  EXPECT_EQ(redLinks, 8);

  // A closed cross-section gets its surface list too, for its floating conductors.
  SolverFixture closed;
  closed.DrawCoax(6, 12, 14, testing::kBlack);
  closed.FillDisc(closed.ctx.map.Uwid / 2 + 9, closed.ctx.map.Uhei / 2, 1, testing::kCyan);
  ASSERT_TRUE(closed.Setup());
  ASSERT_FALSE(closed.ctx.grid.openBoundary);
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(closed.ctx)));
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(closed.ctx)));
  int floating = 0;
  for (int j = 0; j < closed.ctx.grid.surfaceCount; ++j)
    if (closed.ctx.grid.surfaceList[static_cast<std::size_t>(j)].sType == KindFloat) ++floating;
  // A 2 x 2 pixel disc: two links at each outer corner, one at each edge's middle node.
  EXPECT_EQ(floating, 12);
}

TEST(ChargeDistribution, SurfaceChains) {
  // The four corners of an isolated pixel form one closed chain of four links.
  SolverFixture f;
  f.Draw({
      ".......",
      ".+.....",
      ".......",
      "....gg.",
      ".......",
  });
  f.ctx.state.switches[Switch::ChainAnalysis] = true;
  ASSERT_TRUE(f.Setup());
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(f.ctx)));
  const SolverGrid& g = f.ctx.grid;
  // Plus pixel: 4 nodes; ground pair: 6 nodes.
  EXPECT_EQ(g.chainStats.records, 10);
  EXPECT_EQ(g.surfaceCount, 10);
  // The records run row by row from the top: the plus pixel's top-left corner is record 0,
  // its top-right 1, bottom-left 2, bottom-right 3, walked 0 -> 1 -> 3 -> 2 -> 0.
  EXPECT_EQ(g.surfaceList[0].link, 1);
  EXPECT_EQ(g.surfaceList[1].link, 3);
  EXPECT_EQ(g.surfaceList[3].link, 2);
  EXPECT_EQ(g.surfaceList[2].link, 0);
  EXPECT_EQ(g.chainStats.link1, 3);
  EXPECT_EQ(g.surfaceList[0].sCharge, 5.0);
  // The analysis leaves the voltages and codes as it found them.
  EXPECT_EQ(f.Node(g.surfaceList[0].conX, g.surfaceList[0].conY), 1.0);
  for (std::uint8_t c : g.Ccode) EXPECT_EQ(c & NodeMarked, 0);
  EXPECT_EQ(g.chainStats.chains, 2);

  // Fewer than two surface nodes: a clear message instead of a range error.
  SolverFixture one;
  SolverGrid& h = one.ctx.grid;
  h.Cwid = h.Chei = 3;
  h.Ccode.assign(9, NodeFree);
  h.Cvolts.assign(9, 0.0);
  h.Ccode[4] = NodeConductor;
  EXPECT_FALSE(AnalyseSurfaceChains(CapacitanceJobOf(one.ctx)));
  ASSERT_TRUE(one.ctx.failure.has_value());
  EXPECT_TRUE(one.ctx.state.abortRequested);
  EXPECT_EQ(h.Ccode[4], NodeConductor);
}

}  // namespace
}  // namespace zolva
