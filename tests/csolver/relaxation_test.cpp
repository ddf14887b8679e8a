#include "csolver/relaxation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "csolver/charge_distribution.h"
#include "csolver/csolver_fixture.h"
#include "csolver/relaxation_fixture.h"
#include "csolver/solver_grid.h"
#include "csolver/summation.h"

namespace zolva {
namespace {

using testing::PrepareMixedGrid;
using testing::SolverFixture;

constexpr std::uint8_t kFree = NodeFree | NodeFreeMixed;

// The sweeps of a round in the table's order, columns as lines where it says columns, with the
// node update of RelaxedValue.
void ColumnOrderSweep(SolverGrid& g, int sweep) {
  auto core = [&](int x, int y, bool xDescending) {
    const double v = RelaxedValue(g, LatticeCore, x, y, xDescending);
    g.Cvolts[static_cast<std::size_t>(y) * static_cast<std::size_t>(g.Cwid) +
             static_cast<std::size_t>(x)] = v;
  };
  auto apron = [&](int x, int y, bool xDescending) {
    const double v = RelaxedValue(g, LatticeApron, x, y, xDescending);
    g.Avolts[static_cast<std::size_t>(y) * static_cast<std::size_t>(g.Awid) +
             static_cast<std::size_t>(x)] = v;
  };
  const int CW = g.Cwid, CH = g.Chei, AW = g.Awid, AH = g.Ahei;
  switch (sweep) {
    case 1:  // core columns descending, rows descending
      for (int x = CW - 1; x >= 0; --x)
        for (int y = CH - 1; y >= 0; --y) core(x, y, true);
      break;
    case 2:  // apron columns descending, rows ascending
      for (int x = AW - 1; x >= 0; --x)
        for (int y = 0; y < AH; ++y) apron(x, y, true);
      break;
    case 3:  // core rows descending, columns descending
      for (int y = CH - 1; y >= 0; --y)
        for (int x = CW - 1; x >= 0; --x) core(x, y, true);
      break;
    case 4:  // apron rows descending, columns ascending
      for (int y = AH - 1; y >= 0; --y)
        for (int x = 0; x < AW; ++x) apron(x, y, false);
      break;
    case 5:  // core columns ascending, rows ascending
      for (int x = 0; x < CW; ++x)
        for (int y = 0; y < CH; ++y) core(x, y, false);
      break;
    case 6:  // apron columns ascending, rows descending
      for (int x = 0; x < AW; ++x)
        for (int y = AH - 1; y >= 0; --y) apron(x, y, false);
      break;
    case 7:  // core rows ascending, columns ascending
      for (int y = 0; y < CH; ++y)
        for (int x = 0; x < CW; ++x) core(x, y, false);
      break;
    default:  // apron rows ascending, columns descending
      for (int y = 0; y < AH; ++y)
        for (int x = AW - 1; x >= 0; --x) apron(x, y, true);
      break;
  }
}

TEST(Relaxation, NodeUpdatesFollowThePermittivities) {
  SolverGrid edge;
  BuildEdgeFactors(edge);
  EXPECT_NEAR(edge.edgeFactor[200], 0.99611, 5e-6);
  EXPECT_NEAR(edge.edgeFactor[0], 0.994, 1e-9);
  EXPECT_NEAR(edge.edgeFactor[399], 0.994, 1e-4);

  // A node with vacuum above and permittivity 4 below weights its upper neighbour by 2, its lower
  // one by 8 and each side by 5, over 20.
  SolverFixture f;
  f.Draw({
      "........",
      ".+......",
      "........",
      "lllggll.",
      "........",
  });
  ASSERT_TRUE(f.Setup());
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
  BuildEdgeFactors(f.ctx.grid);
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(f.ctx)));
  SolverGrid& g = f.ctx.grid;
  const int x = 2 + g.UtoCX, y = 3 + g.UtoCY;
  ASSERT_EQ(f.Code(x, y), NodeFreeMixed);
  auto at = [&](int cx, int cy) -> double& {
    return g.Cvolts[static_cast<std::size_t>(cy) * static_cast<std::size_t>(g.Cwid) +
                    static_cast<std::size_t>(cx)];
  };
  at(x, y - 1) = 1.0;
  at(x, y + 1) = 2.0;
  at(x - 1, y) = 3.0;
  at(x + 1, y) = 4.0;
  at(x, y) = 0.5;
  EXPECT_DOUBLE_EQ(CoreWeighted(CapacitanceJobOf(f.ctx), x, y),
                   (2 * 1.0 + 8 * 2.0 + 5 * 3.0 + 5 * 4.0) / 20);
  BuildRelaxPlan(CapacitanceJobOf(f.ctx));
  EXPECT_DOUBLE_EQ(RelaxedValue(g, LatticeCore, x, y, true), 1.5 * 53.0 / 20 - 0.25);

  // Every weighted node of core and apron, with random voltages, updates as the literal
  // formulas do, up to rounding: the precomputed weights, the apron interpolation at the core's
  // edge and the edge factors beyond the apron's border.
  SolverFixture m;
  PrepareMixedGrid(m, 7);
  SolverGrid& h = m.ctx.grid;
  int checked = 0;
  for (const auto& [plan, lattice] :
       {std::pair{&h.plan.core, LatticeCore}, {&h.plan.apron, LatticeApron}}) {
    for (const WeightedNode& n : plan->weighted) {
      const int nx = n.index % plan->width, ny = n.index / plan->width;
      const double old = lattice == LatticeCore ? h.Cvolts[static_cast<std::size_t>(n.index)]
                                                : h.Avolts[static_cast<std::size_t>(n.index)];
      const double W = lattice == LatticeCore ? CoreWeighted(CapacitanceJobOf(m.ctx), nx, ny)
                                              : ApronWeighted(CapacitanceJobOf(m.ctx), nx, ny);
      EXPECT_NEAR(RelaxedValue(h, lattice, nx, ny, false), 1.5 * W - 0.5 * old, 1e-14)
          << (lattice == LatticeCore ? "core " : "apron ") << nx << "," << ny;
      ++checked;
    }
  }
  EXPECT_GT(checked, 1500);
  // An apron node on the top border: its missing upper neighbour is its own value times the
  // edge factor of its column, and the four are simply averaged.
  const int ax = 200;
  ASSERT_TRUE(m.ApronCode(ax, 0) & NodeFreeMixed);
  const double self = h.Avolts[ax], below = h.Avolts[static_cast<std::size_t>(h.Awid) + ax];
  EXPECT_DOUBLE_EQ(ApronWeighted(CapacitanceJobOf(m.ctx), ax, 0),
                   (self * h.edgeFactor[ax] + below + h.Avolts[ax - 1] + h.Avolts[ax + 1]) / 4);
}

TEST(Relaxation, RowWiseRoundOfWeightedNodesEqualsColumnSweepsBitForBit) {
  // A closed line in a checkerboard of two dielectrics: every free node has cells of both
  // permittivities around it and takes the weighted update, whose arithmetic the kernel keeps
  // node for node. The column sweeps, run row by row along the memory, must then give exactly
  // what the column-by-column order gives.
  SolverFixture f;
  std::vector<std::string> rows(14, std::string(20, '.'));
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 20; ++x) {
      char& c = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
      c = (x + y) % 2 ? 'p' : 'l';
      if (x == 0 || y == 0 || x == 19 || y == 13) c = 'g';
    }
  rows[6].replace(5, 3, "+++");
  rows[7].replace(12, 2, "--");
  f.Draw(rows);
  ASSERT_TRUE(f.Setup());
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
  BuildEdgeFactors(f.ctx.grid);
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(f.ctx)));
  BuildRelaxPlan(CapacitanceJobOf(f.ctx));
  SolverGrid& fast = f.ctx.grid;
  ASSERT_FALSE(fast.apronActive);
  std::size_t plain = 0;
  for (const RelaxSegment& s : fast.plan.core.segments) plain += s.weighted < 0 ? 1 : 0;
  ASSERT_EQ(plain, 0u);
  ASSERT_GT(fast.plan.core.weighted.size(), 150u);
  std::mt19937 random(11);
  std::uniform_real_distribution<double> volts(-1.0, 1.0);
  for (std::size_t i = 0; i < fast.Cvolts.size(); ++i)
    if (fast.Ccode[i] & kFree) fast.Cvolts[i] = volts(random);
  const std::vector<double> start = fast.Cvolts;
  SolverGrid literal = fast;
  SplitEvenly(fast.plan, 1);
  for (int round = 0; round < 2; ++round) {
    // One participant's round is sweeps 1 to 8 in order; without the apron only the odd ones.
    RelaxPass(fast, 1);
    for (int sweep = 1; sweep <= 8; sweep += 2) ColumnOrderSweep(literal, sweep);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < fast.Cvolts.size(); ++i)
      if (fast.Cvolts[i] != literal.Cvolts[i]) ++differ;
    EXPECT_EQ(differ, 0u) << "round " << round;
  }
  EXPECT_NE(start, fast.Cvolts);  // the round did relax
}

// The (sweep, line) pairs a participant starting at `offset` relaxes in one round, with the
// given numbers of lines in sweeps 1 to 8.
std::vector<std::pair<int, int>> Visits(const std::vector<int>& lines, int offset) {
  int linesPerPass = 0;
  for (int n : lines) linesPerPass += n;
  ParticipantState p;
  p.passOffset = offset;
  std::vector<std::pair<int, int>> visits;
  for (int s = 0; s < 16; ++s) {
    const int n = lines[static_cast<std::size_t>(s % 8)];
    if (!SweepWindow(p, linesPerPass, 0, n - 1)) continue;
    for (int line = p.windowFrom; line <= p.windowTo; ++line) visits.emplace_back(s, line);
  }
  return visits;
}

TEST(Relaxation, WorkSplit) {
  // Every participant relaxes one pass: the lines from its offset on, in the order of the
  // sixteen-sweep sequence, counted from the low end of each sweep's range.
  const std::vector<int> lines = {5, 3, 4, 3, 5, 3, 4, 3};
  const int pass = 30;
  for (int offset = 0; offset <= pass; ++offset) {
    const std::vector<std::pair<int, int>> v = Visits(lines, offset);
    ASSERT_EQ(static_cast<int>(v.size()), pass) << offset;
    int position = 0, k = 0;
    for (int s = 0; s < 16; ++s) {
      for (int line = 0; line < lines[static_cast<std::size_t>(s % 8)]; ++line, ++position) {
        if (position < offset || position >= offset + pass) continue;
        ASSERT_EQ(v[static_cast<std::size_t>(k)], std::make_pair(s, line)) << offset;
        ++k;
      }
    }
  }
  // Participant 1 runs sweeps 1 to 8 and nothing of 9 to 16.
  const std::vector<std::pair<int, int>> first = Visits(lines, 0);
  EXPECT_EQ(first.front(), std::make_pair(0, 0));
  EXPECT_EQ(first.back(), std::make_pair(7, 2));

  // Without the apron, participant k starts at round(2 (Cwid + Chei) / n) (k - 1), ties to even.
  RelaxPlan plan;
  plan.linesPerPass = 2 * (3 + 2);
  SplitEvenly(plan, 4);
  EXPECT_EQ(plan.part[1].passOffset, 0);
  EXPECT_EQ(plan.part[2].passOffset, 2);
  EXPECT_EQ(plan.part[4].passOffset, 6);
  plan.linesPerPass = 2 * (625 + 425);
  SplitEvenly(plan, 3);
  EXPECT_EQ(plan.part[2].passOffset, 700);
  EXPECT_EQ(plan.part[3].passOffset, 1400);
  SplitByCost(plan, 3);  // no apron: the even split stands
  EXPECT_EQ(plan.part[3].passOffset, 1400);

  // With the apron, the participants start at equal shares of the cost of a pass.
  SolverFixture f;
  PrepareMixedGrid(f, 3);
  RelaxPlan& p = f.ctx.grid.plan;
  const int n = 5;
  SplitEvenly(p, n);
  SplitByCost(p, n);
  std::vector<long long> cost;  // line costs in sequence order
  for (int s = 0; s < 16; ++s) {
    const int sweep = s % 8 + 1;
    const std::vector<std::int32_t>& c = (sweep == 1 || sweep == 5)   ? p.CcolCost
                                         : (sweep == 2 || sweep == 6) ? p.AcolCost
                                         : (sweep == 3 || sweep == 7) ? p.CrowCost
                                                                      : p.ArowCost;
    for (std::size_t j = 0; j < c.size(); ++j) cost.push_back(c[sweep <= 4 ? c.size() - 1 - j : j]);
  }
  long long total = 0;
  for (std::size_t j = 0; j < cost.size() / 2; ++j) total += cost[j];
  EXPECT_EQ(p.part[1].passOffset, 0);
  for (int k = 2; k <= n; ++k) {
    long long before = 0;
    for (int j = 0; j < p.part[static_cast<std::size_t>(k)].passOffset; ++j)
      before += cost[static_cast<std::size_t>(j)];
    const double share = static_cast<double>(before) / static_cast<double>(total);
    EXPECT_NEAR(share, (k - 1.0) / n, 0.02) << k;
  }
}

// The estimate as the energy sum states it, cell by cell through the Usermap.
std::pair<double, double> LiteralEstimate(const testing::SolverRecords& ctx) {
  const SolverGrid& g = ctx.grid;
  const PixelMap& map = ctx.map;
  auto pixel = [&](int uX, int uY) {
    uX = std::clamp(uX, 0, map.Uwid - 1);
    uY = std::clamp(uY, 0, map.Uhei - 1);
    return static_cast<std::size_t>(uY) * static_cast<std::size_t>(map.Uwid) +
           static_cast<std::size_t>(uX);
  };
  auto sum = [&](const std::vector<double>& V, const std::vector<std::uint8_t>* code, int W, int H,
                 auto pixelOf) {
    double S = 0.0, T = 0.0;
    for (int x = W - 2; x >= 0; --x) {
      for (int y = H - 2; y >= 0; --y) {
        const std::size_t p = pixelOf(x, y);
        if (map.Ukind[p] != 8) continue;
        const std::size_t i =
            static_cast<std::size_t>(y) * static_cast<std::size_t>(W) + static_cast<std::size_t>(x);
        const std::size_t w = static_cast<std::size_t>(W);
        if (code && !(((*code)[i] & kFree) && ((*code)[i + 1] & kFree) &&
                      ((*code)[i + w] & kFree) && ((*code)[i + w + 1] & kFree)))
          continue;
        const double e = PalettePermittivity(ctx.materials, map.Uindex[p]);
        const double wgt = ((V[i] - V[i + w + 1]) * (V[i] - V[i + w + 1]) +
                            (V[i + 1] - V[i + w]) * (V[i + 1] - V[i + w])) *
                           e;
        S += wgt;
        T += wgt * PaletteTanDelta(ctx.materials, map.Uindex[p]);
      }
    }
    return std::pair{S, T};
  };
  const auto core = sum(g.Cvolts, nullptr, g.Cwid, g.Chei,
                        [&](int x, int y) { return pixel(x + g.CtoUX, y + g.CtoUY); });
  const auto apron = sum(g.Avolts, &g.Acode, g.Awid, g.Ahei,
                         [&](int x, int y) { return pixel(8 * x + g.AtoUX, 8 * y + g.AtoUY); });
  return {
      (core.first + apron.first) * 8.854187827e-12 / 2,
      (core.second + apron.second) * 8.854187827e-12 * ctx.state.frequencyMHz * kOmegaPerMHz / 2};
}

TEST(Relaxation, EstimateSumsTheFieldRegionCells) {
  SolverFixture f;
  PrepareMixedGrid(f, 5);
  f.ctx.state.frequencyMHz = 2.5;
  EstimateCapacitance(CapacitanceJobOf(f.ctx));
  const auto [C, Gp] = LiteralEstimate(f.ctx);
  // +1 and -1 volt conductors: the 2-volt energy counts a quarter.
  EXPECT_NEAR(f.ctx.results.C / (C / 4), 1.0, 1e-12);
  EXPECT_NEAR(f.ctx.results.Gp / (Gp / 4), 1.0, 1e-12);
  EXPECT_GT(Gp, 0.0);
}

}  // namespace
}  // namespace zolva
