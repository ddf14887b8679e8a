#include "csolver/solver_grid.h"

#include <gtest/gtest.h>

#include <cmath>

#include "csolver/charge_distribution.h"
#include "csolver/csolver_fixture.h"
#include "csolver/relaxation.h"

namespace zolva {
namespace {

using testing::SolverFixture;

// A closed box: a green frame around a red block, both well inside the map, so that the only
// field region lies between them and reaches no further than the conductors.
void DrawClosedBox(SolverFixture& f, int w, int h, int inset) {
  f.Size(w, h);
  for (int x = inset; x < w - inset; ++x) {
    f.Paint(x, inset, testing::kGreen);
    f.Paint(x, h - 1 - inset, testing::kGreen);
  }
  for (int y = inset; y < h - inset; ++y) {
    f.Paint(inset, y, testing::kGreen);
    f.Paint(w - 1 - inset, y, testing::kGreen);
  }
  f.Paint(w / 2, h / 2, testing::kRed);
}

TEST(SolverGrid, SizesOffsetsAndLimits) {
  // Conductors more than 8 pixels from every edge and field regions no further than they: a
  // margin of 10 pixels all round, R8(620) + 1 by R8(420) + 1 nodes, no apron.
  {
    SolverFixture f;
    DrawClosedBox(f, 600, 400, 50);
    ASSERT_TRUE(f.Setup());
    EXPECT_FALSE(f.ctx.grid.openBoundary);
    ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
    const SolverGrid& g = f.ctx.grid;
    EXPECT_EQ(g.Cwid, 625);
    EXPECT_EQ(g.Chei, 425);
    EXPECT_EQ(g.CtoUX, -10);
    EXPECT_EQ(g.CtoUY, -10);
    EXPECT_EQ(g.UtoCX, 10);
    EXPECT_EQ(g.Awid, 1);
    EXPECT_EQ(g.Ahei, 1);
    EXPECT_EQ(g.Cvolts.size(), 625u * 425u);
    EXPECT_EQ(f.ctx.reporter.Label(LabelCoreSize), "core: 624 x 424");

    // The same core with the 400 x 400 apron of the relaxation is centred on an 8-node boundary.
    f.ctx.grid.openBoundary = true;
    f.ctx.capacitance.classicRelaxation = true;
    ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
    EXPECT_EQ(g.CtoAX, 1280);
    EXPECT_EQ(g.AtoCX, -1280);
    EXPECT_EQ(g.footLeft, 160);
    EXPECT_EQ(g.footRight, 238);
    EXPECT_EQ(g.AtoUX, g.AtoCX + g.CtoUX);
    EXPECT_EQ(g.Avolts.size(), 400u * 400u);
    // Every core edge node of every eighth row and column lies on an apron node.
    EXPECT_EQ(((g.Cwid - 1) % 8), 0);
    EXPECT_EQ((8 * g.footRight + g.AtoCX), g.Cwid - 1);
  }
  // A conductor at x = 50 with a field region reaching as far: 100 pixels of margin.
  {
    SolverFixture f;
    f.Size(600, 400);
    f.Paint(50, 200, testing::kRed);
    f.Paint(60, 200, testing::kGreen);
    f.Paint(61, 200, testing::kGreen);
    ASSERT_TRUE(f.Setup());
    EXPECT_TRUE(f.ctx.grid.openBoundary);
    ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
    EXPECT_EQ(f.ctx.grid.CtoUX, -50);
    EXPECT_EQ(f.ctx.grid.Awid, 400);
  }
  // The core is at least R8(Uwid + 20) + 1 nodes wide: 3172 pixels fit, 3173 do not.
  for (int w : {3172, 3173}) {
    SolverFixture f;
    DrawClosedBox(f, w, 24, 2);
    ASSERT_TRUE(f.Setup());
    const bool fits = SizeGrid(CapacitanceJobOf(f.ctx));
    EXPECT_EQ(fits, w == 3172) << w;
    if (fits) {
      EXPECT_EQ(f.ctx.grid.Cwid, 3193);
      EXPECT_FALSE(f.ctx.failure.has_value());
    } else {
      ASSERT_TRUE(f.ctx.failure.has_value());
      EXPECT_EQ(f.ctx.failure->kind, FailureKind::TooLarge);
      EXPECT_EQ(f.ctx.failure->message, "Aborted.  Usermap too large.");
      EXPECT_EQ(f.ctx.failure->caption, "Solving for C and Gp");
      EXPECT_TRUE(f.ctx.state.abortRequested);
      EXPECT_TRUE(f.ctx.state.operationFailed);
      EXPECT_EQ(f.ctx.grid.Cvolts.size(), 1u);  // nothing allocated
    }
  }
  // With the apron, the core must leave a ring of apron nodes around its footprint, since its
  // edge nodes read the apron one cell beyond it: a 3185-node core does not, a 3177-node one
  // does, and the apron beyond both of its edges can be read.
  for (int w : {3150, 3160}) {
    SolverFixture f;
    DrawClosedBox(f, w, 24, 2);
    ASSERT_TRUE(f.Setup());
    f.ctx.grid.openBoundary = true;
    f.ctx.capacitance.classicRelaxation = true;
    const bool fits = SizeGrid(CapacitanceJobOf(f.ctx));
    EXPECT_EQ(fits, w == 3150) << w;
    if (fits) {
      const SolverGrid& g = f.ctx.grid;
      EXPECT_EQ(g.Cwid, 3177);
      EXPECT_EQ(g.footLeft, 1);
      EXPECT_EQ(g.footRight, 398);
      EXPECT_NO_THROW(InterpolateApron(g, -1, 5));
      EXPECT_NO_THROW(InterpolateApron(g, g.Cwid, 5));
    } else {
      ASSERT_TRUE(f.ctx.failure.has_value());
      EXPECT_EQ(f.ctx.failure->message, "Aborted.  Usermap too large.");
    }
  }
}

TEST(SolverGrid, LookupsAcrossTheFrames) {
  SolverFixture f;
  f.Draw({
      "..........",
      "..+...pp..",
      "......pp..",
      "....g.....",
      "....g.....",
  });
  ASSERT_TRUE(f.Setup());
  ASSERT_TRUE(f.ctx.grid.openBoundary);
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(f.ctx)));
  SolverGrid& g = f.ctx.grid;

  // The apron column left of the footprint and the footprint's first column hold 1 and 9 volts
  // on two rows; one core node left of the core's edge lies 7/8 of the way between them.
  const int fl = g.footLeft, ft = g.footTop;
  auto apron = [&](int aX, int aY) -> double& {
    return g.Avolts.at(static_cast<std::size_t>(aY) * static_cast<std::size_t>(g.Awid) +
                       static_cast<std::size_t>(aX));
  };
  apron(fl - 1, ft) = 1.0;
  apron(fl, ft) = 9.0;
  apron(fl - 1, ft + 1) = 3.0;
  apron(fl, ft + 1) = 11.0;
  EXPECT_DOUBLE_EQ(InterpolateApron(g, -1, 0), 1.0 / 8 + 9.0 * 7 / 8);
  // Half-way down to the next apron row: the mean of the two rows.
  EXPECT_DOUBLE_EQ(InterpolateApron(g, -1, 4), 0.5 * (8.0 + 10.0));
  EXPECT_THROW(InterpolateApron(g, -8 * (fl + 2), 0), std::out_of_range);

  // ApronValue: 0 outside, a free node its own voltage, a footprint node the core's.
  EXPECT_EQ(ApronValue(g, -1, 0), 0.0);
  EXPECT_EQ(ApronValue(g, 0, g.Ahei), 0.0);
  EXPECT_EQ(ApronValue(g, fl - 1, ft), 1.0);
  const int innerX = fl + 1, innerY = ft + 1;
  ASSERT_TRUE(f.ApronCode(innerX, innerY) & NodeOutside);
  g.Cvolts.at(static_cast<std::size_t>(8 * innerY + g.AtoCY) * static_cast<std::size_t>(g.Cwid) +
              static_cast<std::size_t>(8 * innerX + g.AtoCX)) = 0.25;
  EXPECT_EQ(ApronValue(g, innerX, innerY), 0.25);
  EXPECT_EQ(CoreValue(g, -1, 3), 0.0);
  EXPECT_EQ(CoreValue(g, 3, g.Chei), 0.0);

  // Cells: polyethylene pixel (6, 1) is core cell (6 + UtoCX, 1 + UtoCY). Cells left of or
  // above the core fold onto its first column and row; the margin continues the map's edge.
  EXPECT_DOUBLE_EQ(CellPermittivity(CapacitanceJobOf(f.ctx), 6 + g.UtoCX, 1 + g.UtoCY), 2.26);
  EXPECT_DOUBLE_EQ(CellPermittivity(CapacitanceJobOf(f.ctx), 5 + g.UtoCX, 1 + g.UtoCY), 1.0);
  EXPECT_DOUBLE_EQ(CellPermittivity(CapacitanceJobOf(f.ctx), -1, 1 + g.UtoCY),
                   CellPermittivity(CapacitanceJobOf(f.ctx), 0, 1 + g.UtoCY));
  EXPECT_DOUBLE_EQ(CellPermittivity(CapacitanceJobOf(f.ctx), -3, -3),
                   CellPermittivity(CapacitanceJobOf(f.ctx), 0, 0));
  // Above the core at the polyethylene's column: the map's top row there is vacuum.
  EXPECT_DOUBLE_EQ(CellPermittivity(CapacitanceJobOf(f.ctx), 6 + g.UtoCX, -1), 1.0);

  // Apron cells: the footprint's interior reads the Usermap pixel near the cell's middle, the
  // rest the apron's own material; a conductor cell counts as 0 for the classification.
  EXPECT_DOUBLE_EQ(ApronCellPermittivity(CapacitanceJobOf(f.ctx), 0, 0), 1.0);
  EXPECT_DOUBLE_EQ(ApronCellPermittivityOrZero(CapacitanceJobOf(f.ctx), -5, -5), 1.0);
  EXPECT_DOUBLE_EQ(
      PalettePermittivity(f.ctx.materials, FindPaletteIndex(f.ctx.materials, testing::kMagenta)),
      2.26);
  EXPECT_TRUE(
      PaletteIsConductor(f.ctx.materials, FindPaletteIndex(f.ctx.materials, testing::kGreen)));
}

TEST(SolverGrid, TheMultigridApronReachesAsFarInMetresAtEveryResolution) {
  // A conductor box drawn at two resolutions: the multigrid solve's open boundary lies at least
  // 8 diagonals of the box from its centre (half the apron's span is 4 core nodes per apron
  // node), so the same line drawn twice as fine gets an apron about twice as many nodes wide.
  // The relaxation keeps 400 nodes.
  int width[2] = {0, 0};
  for (int k : {1, 2}) {
    SolverFixture f;
    DrawClosedBox(f, 300 * k, 200 * k, 25 * k);
    ASSERT_TRUE(f.Setup());
    f.ctx.grid.openBoundary = true;
    ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
    const double diagonal = std::hypot(250.0 * k, 150.0 * k);
    EXPECT_GE(4.0 * f.ctx.grid.Awid, kApronReach * diagonal) << k;
    EXPECT_EQ(f.ctx.grid.Avolts.size(),
              static_cast<std::size_t>(f.ctx.grid.Awid) * f.ctx.grid.Ahei);
    EXPECT_GE(f.ctx.grid.edgeFactor.size(), static_cast<std::size_t>(f.ctx.grid.Awid));
    width[k - 1] = f.ctx.grid.Awid;
    f.ctx.capacitance.classicRelaxation = true;
    ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
    EXPECT_EQ(f.ctx.grid.Awid, 400);
  }
  EXPECT_NEAR(width[1], 2 * width[0], 4);
  // A reach the apron needs no more for keeps 400 nodes; a huge one is bounded.
  EXPECT_EQ(ApronNodesFor(100.0), kApronSize);
  EXPECT_EQ(ApronNodesFor(1e9), kMaxApronNodes);
}

}  // namespace
}  // namespace zolva
