// Surface charges, islands and walkways: the charge iteration's pole sums, the traces
// and start points, straight and bent walkways, the failure of the set-up, the walkways on the
// window's border ring and the walks.
#include "csolver/prediction_islands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "csolver/capacitance_job.h"
#include "csolver/prediction_fixture.h"

namespace zolva {
namespace {

using testing::PoleCharge;
using testing::PredictionFixture;

TEST(SurfaceCharges, EachPoleCarriesHalfAfterEveryRound) {
  PredictionFixture f;
  f.DrawTwinlead();
  ASSERT_TRUE(f.Distribute());
  f.Islands();
  ASSERT_FALSE(f.ctx.prediction.islandFailed);
  // The pending events of every round after the first see the charges the round before left.
  int checkedRounds = 0;
  double worst = 0.0;
  f.ctx.reporter.onProgress = [&](const std::string& stage) {
    if (stage.empty() || stage[0] != 'B' || stage == "B1") return;
    worst = std::max(worst, std::abs(PoleCharge(f.ctx.grid, KindPlus) - 0.5));
    worst = std::max(worst, std::abs(PoleCharge(f.ctx.grid, KindMinus) + 0.5));
    ++checkedRounds;
  };
  IterateCharges(f.Job(), f.w, 1, -1);
  f.ctx.reporter.onProgress = nullptr;
  EXPECT_GE(checkedRounds, 20);
  EXPECT_LT(worst, 1e-12);
  // Only the charge scale changes the sums afterwards: the +1 island then lies 1 volt above the
  // -1 island.
  const double scale = f.ctx.prediction.chargeScale;
  EXPECT_GT(scale, 0.0);
  EXPECT_NEAR(PoleCharge(f.ctx.grid, KindPlus), 0.5 * scale, 1e-12);
  EXPECT_NEAR(PoleCharge(f.ctx.grid, KindMinus), -0.5 * scale, 1e-12);
  // Charges follow the field: the inner faces of the wires, facing each other, carry more than
  // the outer faces.
  const SolverGrid& g = f.ctx.grid;
  double inner = 0.0, outer = 0.0;
  const int middle = g.Cwid / 2;
  for (int j = 0; j < g.surfaceCount; ++j) {
    const SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
    if (r.sType != KindPlus || r.conY != 16 + g.UtoCY) continue;
    (r.insX > r.conX ? inner : outer) += r.sCharge;
    EXPECT_LT(r.conX, middle);
  }
  EXPECT_GT(inner, 1.5 * outer);
}

TEST(Islands, TwinleadTracesTwoIslandsWithStraightWalkways) {
  PredictionFixture f;
  f.DrawTwinlead();
  ASSERT_TRUE(f.Distribute());
  f.Islands();
  const PredictionState& p = f.ctx.prediction;
  const SolverGrid& g = f.ctx.grid;
  ASSERT_FALSE(p.islandFailed);
  ASSERT_EQ(p.islandCount, 2);
  // Every record belongs to the island of its own wire.
  for (int j = 0; j < g.surfaceCount; ++j) {
    const SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
    ASSERT_GE(r.island, 0);
    ASSERT_LT(r.island, 2);
    EXPECT_EQ(f.Island(r.island).iType, r.sType) << j;
  }
  for (int k = 0; k < 2; ++k) {
    const IslandRecord& isl = f.Island(k);
    EXPECT_NE(isl.iWalkSide, SideNone);
    // Side 1 starts in the middle of the island's top row, a conductor node of its surface.
    EXPECT_EQ(isl.iX[SideUp], (isl.iLX[SideUp] + isl.iHX[SideUp]) / 2);
    EXPECT_TRUE(f.CodeAt(isl.iX[SideUp], isl.iY[SideUp]) & NodeConductor);
    EXPECT_TRUE(f.CodeAt(isl.iX[SideUp], isl.iY[SideUp] - 1) & (NodeFree | NodeFreeMixed));
    // The winning straight walkway leads from the start point to the window's border ring.
    const int s = isl.iWalkSide;
    int x = isl.iX[s], y = isl.iY[s];
    for (;;) {
      x += SideDx(s);
      y += SideDy(s);
      ASSERT_TRUE(f.CodeAt(x, y) & NodeWalkway) << x << "," << y;
      if (x == g.predictLeft || x == g.predictRight || y == g.predictTop || y == g.predictBottom)
        break;
    }
  }
  // The labels are gone: conductor nodes hold their voltages again.
  const SurfaceRecord& r = g.surfaceList[0];
  EXPECT_EQ(f.VoltsAt(r.conX, r.conY), r.sType);
  EXPECT_TRUE(f.CodeAt(r.insX, r.insY) & NodeNearSurface);

  // The whole ring is free: only its top side gets an outward walkway, from its middle, on a
  // line of apron nodes, up to the core's edge.
  int columns = 0;
  for (int x = 0; x < g.Cwid; ++x) {
    if (!(f.CodeAt(x, 0) & NodeWalkway)) continue;
    ++columns;
    EXPECT_EQ(x % 8, 0);
    EXPECT_LE(std::abs(x - (g.predictLeft + g.predictWidth - g.predictWidth / 2)), 4);
    for (int y = 0; y < g.predictTop; ++y) EXPECT_TRUE(f.CodeAt(x, y) & NodeWalkway);
  }
  EXPECT_EQ(columns, 1);
  for (int x = 0; x < g.Cwid; ++x) EXPECT_FALSE(f.CodeAt(x, g.Chei - 1) & NodeWalkway);
  for (int y = 0; y < g.Chei; ++y) {
    EXPECT_FALSE(f.CodeAt(0, y) & NodeWalkway);
    EXPECT_FALSE(f.CodeAt(g.Cwid - 1, y) & NodeWalkway);
  }
}

TEST(Islands, IslandOnTheWindowEdgeStartsAgainBesideAWalkway) {
  // A ground plane along the map's whole bottom reaches the core's left and right edges, and so
  // the window's: its leftmost column lies on the window's edge, wins side 3 with a walkway of
  // no step, and the island then starts from the conductor node of its lowest-numbered link
  // whose free node lies on a walkway, here the plane's top face at the core's right edge.
  PredictionFixture f;
  std::vector<std::string> rows(30, std::string(60, '.'));
  for (int y = 24; y < 30; ++y) rows[static_cast<std::size_t>(y)] = std::string(60, 'g');
  for (int y = 8; y < 14; ++y)
    for (int x = 27; x < 33; ++x)
      rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = '+';
  f.Draw(rows);
  ASSERT_TRUE(f.Distribute());
  const SolverGrid& g = f.ctx.grid;
  ASSERT_EQ(g.predictLeft, 0);
  ASSERT_EQ(g.predictRight, g.Cwid - 1);
  f.Islands();
  const PredictionState& p = f.ctx.prediction;
  ASSERT_FALSE(p.islandFailed);
  const int plane = FirstIslandOfKind(p, KindGround);
  ASSERT_GE(plane, 0);
  const IslandRecord& isl = f.Island(plane);
  const int top = 24 + g.UtoCY;
  EXPECT_EQ(isl.iWalkSide, SideUp);
  EXPECT_EQ(isl.iX[SideUp], g.Cwid - 1);
  EXPECT_EQ(isl.iY[SideUp], top);
  EXPECT_EQ(isl.iX[SideLeft], 0);  // the side that won, on the window's edge
  EXPECT_TRUE(f.CodeAt(g.Cwid - 1, top - 1) & NodeWalkway);
}

TEST(Islands, BlockedProbesFallBackToBentWalkways) {
  // A +1 volt block boxed in by four short ground bars: every straight probe meets a bar's
  // surface, so the block's walkway leaves upwards and bends at the 4th step, where the node
  // is free and clear of every surface, to the right, past the end of the top bar, to the
  // window's border ring.
  PredictionFixture f;
  std::vector<std::string> rows(41, std::string(61, '.'));
  auto fill = [&](int x0, int y0, int x1, int y1, char c) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = c;
  };
  fill(29, 19, 31, 21, '+');
  fill(26, 11, 34, 11, 'g');  // top bar: nodes of rows 11 and 12
  fill(26, 29, 34, 29, 'g');  // bottom bar
  fill(21, 17, 21, 23, 'g');  // left bar, its top end clear of the bend's row
  fill(39, 17, 39, 23, 'g');  // right bar
  f.Draw(rows);
  ASSERT_TRUE(f.Distribute());
  f.Islands();
  const PredictionState& p = f.ctx.prediction;
  ASSERT_FALSE(p.islandFailed);
  ASSERT_EQ(p.islandCount, 5);
  const int block = FirstIslandOfKind(p, KindPlus);
  const IslandRecord& isl = f.Island(block);
  ASSERT_EQ(isl.iWalkSide, SideUp);
  const int x0 = isl.iX[SideUp], y0 = isl.iY[SideUp];
  for (int s = 1; s <= 4; ++s) EXPECT_TRUE(f.CodeAt(x0, y0 - s) & NodeWalkway) << s;
  EXPECT_FALSE(f.CodeAt(x0, y0 - 5) & NodeWalkway);
  EXPECT_FALSE(f.CodeAt(x0, y0 - 4) & NodeNearSurface);
  const SolverGrid& g = f.ctx.grid;
  for (int x = x0 + 1; x <= g.predictRight; ++x)
    EXPECT_TRUE(f.CodeAt(x, y0 - 4) & NodeWalkway) << x;
  EXPECT_FALSE(f.CodeAt(x0 - 1, y0 - 4) & NodeWalkway);
}

TEST(Islands, IslandWithoutAWalkwayStopsTheSetUp) {
  // A +1 volt wire inside a grounded ring, a -1 volt wire outside: the inner wire can reach no
  // walkway, so the set-up fails before its joining and outward walkways.
  PredictionFixture f;
  f.Size(90, 50);
  f.FillDisc(30, 25, 16, testing::kGreen);
  f.FillDisc(30, 25, 12, testing::kBlack);
  f.FillDisc(30, 25, 4, testing::kRed);
  f.FillDisc(70, 25, 6, testing::kBlue);
  ASSERT_TRUE(f.Distribute());
  f.Islands();
  EXPECT_TRUE(f.ctx.prediction.islandFailed);
  const SolverGrid& g = f.ctx.grid;
  for (int x = 0; x < g.Cwid; ++x) {
    EXPECT_FALSE(f.CodeAt(x, 0) & NodeWalkway);
    EXPECT_FALSE(f.CodeAt(x, g.Chei - 1) & NodeWalkway);
  }
  for (std::uint8_t c : g.Ccode) ASSERT_FALSE(c & NodeMarked) << "no marking walk";

  // The prediction gives up with its notice and the relaxation starts from zero.
  for (std::uint8_t& c : f.ctx.grid.Ccode) c &= 0xF;
  f.ctx.state.elapsedSeconds = 17;
  f.ctx.state.switches[Switch::SkipRelaxation] = false;
  EXPECT_FALSE(PredictField(f.Job()));
  EXPECT_TRUE(f.ctx.state.predictionFailed);
  EXPECT_EQ(f.ctx.state.predictionFailedAt, 17);
  EXPECT_FALSE(f.ctx.state.abortRequested);
  for (std::size_t i = 0; i < g.Cvolts.size(); ++i) {
    ASSERT_LT(g.Ccode[i], 16) << "codes reduced";
    if (g.Ccode[i] & (NodeFree | NodeFreeMixed)) {
      ASSERT_EQ(g.Cvolts[i], 0.0);
    }
  }
}

TEST(IslandWalks, FirstStepOffTheConductorCountsTwice) {
  // V = start - 2 E eps step for the first node of a walk; then the trapezoid rule.
  PredictionFixture f;
  f.DrawTwinlead();
  ASSERT_TRUE(f.Distribute());
  const CapacitanceJob job = f.Job();
  f.Islands();
  IterateCharges(job, f.w, 1, -1);
  const PredictionState& p = f.ctx.prediction;
  const int minus = FirstIslandOfKind(p, KindMinus);
  const IslandRecord& isl = f.Island(minus);
  const int s = isl.iWalkSide;
  const int x1 = isl.iX[s] + SideDx(s), y1 = isl.iY[s] + SideDy(s);
  WalkIslands(job, f.w, minus, 1.0);
  const FieldVector e1 = DirectField(f.w.charges, x1, y1);
  const double along1 = SideDx(s) != 0 ? e1.x * SideDx(s) : e1.y * SideDy(s);
  EXPECT_DOUBLE_EQ(f.VoltsAt(x1, y1), 1.0 - 2.0 * along1);
  EXPECT_TRUE(f.CodeAt(x1, y1) & NodeMarked);
  // The second node, if the walk went on straight: the trapezoid rule from the first.
  const int x2 = x1 + SideDx(s), y2 = y1 + SideDy(s);
  ASSERT_TRUE(f.CodeAt(x2, y2) & NodeWalkway);
  const FieldVector e2 = DirectField(f.w.charges, x2, y2);
  const double along = SideDx(s) != 0 ? (e2.x + e1.x) * SideDx(s) : (e2.y + e1.y) * SideDy(s);
  EXPECT_DOUBLE_EQ(f.VoltsAt(x2, y2), f.VoltsAt(x1, y1) - along);

  // The walk reaches the +1 island, which takes the potential extrapolated to its start point;
  // with the charges scaled by the charge iteration that is 1 volt above the -1 island.
  const int plus = FirstIslandOfKind(p, KindPlus);
  WalkIslands(job, f.w, minus, 0.0);
  EXPECT_NEAR(f.Island(plus).iV, 1.0, 1e-12);
}

}  // namespace
}  // namespace zolva
