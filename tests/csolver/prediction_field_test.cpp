// The predicted field and its line integration: the direct sum and its single-link
// weights, the coarse lattice, the program error at a charge's own node, the threaded apron
// cache, the step rule and the mean potential of the apron's border.
#include "csolver/prediction_field.h"

#include <gtest/gtest.h>

#include <cmath>

#include "csolver/capacitance_job.h"
#include "csolver/prediction_fixture.h"

namespace zolva {
namespace {

using testing::PredictionFixture;

SurfaceRecord Charge(int x, int y, double q, int links) {
  SurfaceRecord r;
  r.conX = static_cast<std::int16_t>(x);
  r.conY = static_cast<std::int16_t>(y);
  r.insX = static_cast<std::int16_t>(x + 1);
  r.insY = static_cast<std::int16_t>(y);
  r.sCharge = q;
  r.surfaces = static_cast<std::int8_t>(links);
  return r;
}

TEST(PredictedField, SingleLinkWeightsNearTheirCharge) {
  // A line charge q in two dimensions gives the field q / d pointing away from it. A charge on
  // a node with a single link acts with weight 0.962424 up to distance 1.1 and 1.009114 between
  // 1.1 and 1.9; a node with two links, and every charge further away, with weight 1.
  SolverGrid g;
  g.surfaceList = {Charge(10, 10, 1.0, 1), Charge(30, 10, 2.0, 2)};
  g.surfaceCount = 2;
  ChargeArrays charges;
  LoadCharges(g, charges);
  struct Case {
    int x, y;
    double ex, ey;
  };
  const Case cases[] = {
      {11, 10, 0.962424 / 1.0 + 2.0 * (-19.0) / (19.0 * 19.0), 0.0},  // d = 1 from the first
      {11, 11, 1.009114 * 1.0 / 2.0 + 2.0 * (-19.0) / (19.0 * 19.0 + 1.0),
       1.009114 * 1.0 / 2.0 + 2.0 * 1.0 / (19.0 * 19.0 + 1.0)},  // d = sqrt 2
      {12, 10, 1.0 / 2.0 + 2.0 * (-18.0) / (18.0 * 18.0), 0.0},  // d = 2: weight 1
      {29, 10, 1.0 / 19.0 + 2.0 * (-1.0), 0.0},                  // two links: weight 1
  };
  for (const Case& c : cases) {
    const FieldVector e = DirectField(charges, c.x, c.y);
    EXPECT_NEAR(e.x, c.ex, 1e-14) << c.x << "," << c.y;
    EXPECT_NEAR(e.y, c.ey, 1e-14) << c.x << "," << c.y;
    const FieldVector literal = LiteralField(g, c.x, c.y);
    EXPECT_NEAR(literal.x, c.ex, 1e-14);
    EXPECT_NEAR(literal.y, c.ey, 1e-14);
  }
  // On a charge's own node the sum is not finite.
  EXPECT_FALSE(std::isfinite(DirectField(charges, 10, 10).x));
}

TEST(PredictedField, FlatSumAgreesWithTheLiteralSum) {
  // The blocked sum reassociates the additions; over the twinlead's links it agrees with the
  // record-by-record sum to rounding.
  PredictionFixture f;
  f.DrawTwinlead();
  ASSERT_TRUE(f.Distribute());
  SolverGrid& g = f.ctx.grid;
  for (int j = 0; j < g.surfaceCount; ++j)
    g.surfaceList[static_cast<std::size_t>(j)].sCharge = std::sin(0.37 * j) * 0.01;
  ChargeArrays charges;
  LoadCharges(g, charges);
  ASSERT_EQ(charges.count, g.surfaceCount);
  int checked = 0;
  for (int y = 0; y < g.Chei; y += 7) {
    for (int x = 0; x < g.Cwid; x += 5) {
      if (!(f.CodeAt(x, y) & (NodeFree | NodeFreeMixed))) continue;
      const FieldVector a = DirectField(charges, x, y), b = LiteralField(g, x, y);
      const double scale = std::abs(b.x) + std::abs(b.y) + 1e-3;
      ASSERT_NEAR(a.x, b.x, 1e-12 * scale) << x << "," << y;
      ASSERT_NEAR(a.y, b.y, 1e-12 * scale) << x << "," << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, 500);
}

TEST(PredictedField, CoarseLatticeAndNodesNearTheSurface) {
  PredictionFixture f;
  f.DrawTwinlead();
  ASSERT_TRUE(f.Distribute());
  const CapacitanceJob job = f.Job();
  f.Islands();
  IterateCharges(job, f.w, 1, -1);
  const SolverGrid& g = f.ctx.grid;
  BuildCoarseLattice(job, f.w);
  ASSERT_TRUE(f.w.useCoarse);
  EXPECT_EQ(f.w.coarseWidth, g.Cwid / 3 + 2);
  EXPECT_EQ(f.w.coarseHeight, g.Chei / 3 + 2);

  // At a lattice node without bit 64 FieldAt returns the entry, which is the direct sum there.
  const int lx = 3 * 20, ly = 3 * 10;
  ASSERT_FALSE(f.CodeAt(lx, ly) & (NodeNearSurface | NodeConductor));
  const FieldVector e = FieldAt(job, f.w, lx, ly);
  const std::size_t entry = static_cast<std::size_t>(10 * f.w.coarseWidth + 20);
  EXPECT_EQ(e.x, f.w.coarseEx[entry]);
  EXPECT_EQ(e.y, f.w.coarseEy[entry]);
  const FieldVector direct = DirectField(f.w.charges, lx, ly);
  EXPECT_EQ(e.x, direct.x);
  EXPECT_EQ(e.y, direct.y);

  // Between lattice nodes: the bilinear interpolation of the four entries around.
  const FieldVector m = FieldAt(job, f.w, lx + 1, ly + 2);
  const double fx = 1.0 / 3.0, fy = 2.0 / 3.0;
  const std::size_t cw = static_cast<std::size_t>(f.w.coarseWidth);
  auto mix = [&](const std::vector<double>& v) {
    return (v[entry] * (1 - fx) + v[entry + 1] * fx) * (1 - fy) +
           (v[entry + cw] * (1 - fx) + v[entry + cw + 1] * fx) * fy;
  };
  EXPECT_EQ(m.x, mix(f.w.coarseEx));
  EXPECT_EQ(m.y, mix(f.w.coarseEy));

  // At a node next to a surface the direct sum is taken.
  const SurfaceRecord& r = g.surfaceList[0];
  ASSERT_TRUE(f.CodeAt(r.insX, r.insY) & NodeNearSurface);
  const FieldVector near = FieldAt(job, f.w, r.insX, r.insY);
  const FieldVector nearDirect = DirectField(f.w.charges, r.insX, r.insY);
  EXPECT_EQ(near.x, nearDirect.x);
  EXPECT_EQ(near.y, nearDirect.y);

  // A conductor lattice node repeats the entry before it in the lattice's order.
  bool foundConductor = false;
  for (int i = 0; i < f.w.coarseWidth && !foundConductor; ++i) {
    for (int j = 1; j < f.w.coarseHeight; ++j) {
      if (3 * i >= g.Cwid || 3 * j >= g.Chei || !(f.CodeAt(3 * i, 3 * j) & NodeConductor)) continue;
      const std::size_t k = static_cast<std::size_t>(j) * cw + static_cast<std::size_t>(i);
      EXPECT_EQ(f.w.coarseEx[k], f.w.coarseEx[k - cw]);
      foundConductor = true;
      break;
    }
  }
  EXPECT_TRUE(foundConductor);

  // Switch 30 leaves the lattice unused.
  f.ctx.state.switches[Switch::NoCoarseLattice] = true;
  BuildCoarseLattice(job, f.w);
  EXPECT_FALSE(f.w.useCoarse);
}

TEST(PredictedField, ChargeNodeIsProgramErrorThreeOnce) {
  PredictionFixture f;
  f.DrawTwinlead();
  ASSERT_TRUE(f.Distribute());
  const CapacitanceJob job = f.Job();
  LoadCharges(f.ctx.grid, f.w.charges);
  const SurfaceRecord& r = f.ctx.grid.surfaceList[0];
  const FieldVector e = FieldAt(job, f.w, r.conX, r.conY);
  EXPECT_EQ(e.x, 0.0);
  EXPECT_EQ(e.y, 0.0);
  EXPECT_EQ(f.ctx.reporter.programErrors, std::vector<int>{3});
  EXPECT_TRUE(f.w.chargeNodeHit);
  FieldAt(job, f.w, r.conX, r.conY);
  EXPECT_EQ(f.ctx.reporter.programErrors.size(), 1u) << "reported once per prediction";
  // With the field off nothing is summed, and so nothing can be hit.
  PredictionWork off;
  off.fieldOff = true;
  EXPECT_EQ(FieldAt(job, off, r.conX, r.conY).x, 0.0);
  EXPECT_FALSE(off.chargeNodeHit);
}

TEST(PredictedField, IntegrateLineStopsAtTheFirstNodeThatIsNotFree) {
  PredictionFixture f;
  f.HandMadeCore(20, 5);
  const CapacitanceJob job = f.Job();
  f.CodeAt(8, 2) = NodeConductor;
  f.VoltsAt(8, 2) = 1.0;
  f.VoltsAt(2, 2) = 0.7;
  f.VoltsAt(9, 2) = -0.3;
  // With the field off every node reached keeps the start's potential.
  f.w.fieldOff = true;
  IntegrateLine(job, f.w, 2, 2, 1, 0, 15);
  for (int x = 3; x <= 7; ++x) {
    EXPECT_EQ(f.VoltsAt(x, 2), 0.7) << x;
    EXPECT_TRUE(f.CodeAt(x, 2) & NodeMarked) << x;
  }
  EXPECT_EQ(f.VoltsAt(8, 2), 1.0);
  EXPECT_FALSE(f.CodeAt(8, 2) & NodeMarked);
  EXPECT_EQ(f.VoltsAt(9, 2), -0.3);
  EXPECT_FALSE(f.CodeAt(9, 2) & NodeMarked);
  EXPECT_EQ(f.VoltsAt(2, 2), 0.7);
  EXPECT_FALSE(f.CodeAt(2, 2) & NodeMarked) << "the start is not reached";

  // With a field: one step is V - (E(next) + E(here)) along the step.
  SolverGrid& g = f.ctx.grid;
  g.surfaceList = {Charge(10, 0, 0.25, 2)};
  g.surfaceCount = 1;
  LoadCharges(g, f.w.charges);
  f.w.fieldOff = false;
  f.VoltsAt(10, 4) = 0.5;
  IntegrateLine(job, f.w, 10, 4, 0, -1, 1);
  const double e4 = 0.25 / 4.0, e3 = 0.25 / 3.0;  // both pointing down, away from the charge
  EXPECT_DOUBLE_EQ(f.VoltsAt(10, 3), 0.5 - (e3 + e4) * -1.0);
}

TEST(PredictedField, ThreadedApronCacheEqualsOneParticipant) {
  PredictionFixture f;
  f.DrawTwinlead();
  ASSERT_TRUE(f.Distribute());
  const CapacitanceJob job = f.Job();
  f.Islands();
  IterateCharges(job, f.w, 1, -1);
  const SolverGrid& g = f.ctx.grid;
  auto fill = [&](int participants) {
    PredictionWork& w = f.w;
    w.apronEx.assign(g.Avolts.size(), 0.0);
    w.apronEy.assign(g.Avolts.size(), 0.0);
    f.ctx.pool.StartWorkers(participants, [&job, &w](int t) {
      CacheApronRows(job, w, t, job.pool.participantStride());
    });
    CacheApronField(job, w, 0, g.Awid - 1, 0, g.Ahei - 1);
    f.ctx.pool.StopWorkers();
    return std::pair{w.apronEx, w.apronEy};
  };
  const auto one = fill(1);
  const auto two = fill(2);
  const auto three = fill(3);
  EXPECT_EQ(one.first, two.first);
  EXPECT_EQ(one.second, two.second);
  EXPECT_EQ(one.first, three.first);
  // Every free apron node outside the footprint has its field.
  const std::size_t corner = ApronIndex(g, 0, 0);
  EXPECT_NE(one.first[corner], 0.0);
  EXPECT_EQ(one.first[corner], DirectField(f.w.charges, g.AtoCX, g.AtoCY).x);
}

TEST(PredictedField, MeanBorderPotentialCarriesTheWalkwaysOut) {
  // With the field off, a potential carried from a walkway node of the core's outer ring along
  // the apron to its outer ring and around it is the same everywhere.
  PredictionFixture f;
  f.DrawTwinlead();
  ASSERT_TRUE(f.Distribute());
  const CapacitanceJob job = f.Job();
  SolverGrid& g = f.ctx.grid;
  const int x = 8 * 20;  // on a line of apron nodes
  f.CodeAt(x, 0) |= NodeWalkway;
  f.VoltsAt(x, 0) = 0.25;
  f.w.fieldOff = true;
  EXPECT_DOUBLE_EQ(MeanBorderPotential(job, f.w), 0.25);
  const int aX = (x + g.CtoAX) >> 3;
  EXPECT_EQ(g.Avolts[ApronIndex(g, aX, 0)], 0.25);
  EXPECT_EQ(g.Avolts[ApronIndex(g, g.Awid - 1, g.Ahei - 1)], 0.25);
  // No walkway on the core's edge: nothing reaches the border, whose nodes keep their 0.
  f.CodeAt(x, 0) &= static_cast<std::uint8_t>(~NodeWalkway);
  for (double& v : g.Avolts) v = 0.0;
  EXPECT_EQ(MeanBorderPotential(job, f.w), 0.0);
}

}  // namespace
}  // namespace zolva
