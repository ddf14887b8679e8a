// The walks of the field prediction: from one island along the walkways to every other island
// and out to the window's border ring and the core's edge, integrating the predicted field on
// the way. Branches are walked depth first from an explicit list of pending walks, so that no
// walkway network can overflow the call stack.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "csolver/capacitance_job.h"
#include "csolver/prediction_islands.h"

namespace zolva {

namespace {

// A walk about to step from (x, y) in direction (dx, dy), with its running potential and the
// field at its current node.
struct PendingWalk {
  int x, y, dx, dy;
  double V;
  FieldVector eOld;
};

}  // namespace

void WalkIslands(const CapacitanceJob& job, PredictionWork& w, int i, double start) {
  SolverGrid& g = job.grid;
  PredictionState& p = job.prediction;
  for (std::uint8_t& c : g.Ccode) c = static_cast<std::uint8_t>(c & ~NodeMarked);
  if (i < 0 || i >= p.islandCount) return;
  const IslandRecord& from = p.islands[static_cast<std::size_t>(i)];
  const int side = from.iWalkSide;
  if (side == SideNone) return;

  auto inCore = [&](int x, int y) { return x >= 0 && y >= 0 && x < g.Cwid && y < g.Chei; };
  // The island whose walkway ends at (x, y), one step beyond one of its side start points; the
  // lowest-numbered one.
  auto islandEndingAt = [&](int x, int y) {
    for (int k = 0; k < p.islandCount; ++k) {
      const IslandRecord& isl = p.islands[static_cast<std::size_t>(k)];
      for (int s = SideUp; s <= SideRight; ++s)
        if (isl.iX[s] + SideDx(s) == x && isl.iY[s] + SideDy(s) == y) return k;
    }
    return -1;
  };

  std::vector<PendingWalk> pending;
  pending.push_back({from.iX[side], from.iY[side], SideDx(side), SideDy(side), 0.0, {}});
  bool firstStep = true;
  // Neighbours up, down, left, right.
  static constexpr int kDx[4] = {0, 0, -1, 1};
  static constexpr int kDy[4] = {-1, 1, 0, 0};
  while (!pending.empty()) {
    PendingWalk walk = pending.back();
    pending.pop_back();
    for (;;) {
      const int x = walk.x + walk.dx, y = walk.y + walk.dy;
      if (!inCore(x, y)) break;
      const std::size_t n = CoreIndex(g, x, y);
      const double before = walk.V;
      if (!(g.Ccode[n] & NodeMarked)) {
        const FieldVector e = FieldAt(job, w, x, y);
        const double eps = CoreStepPermittivity(job, x, y);
        walk.V = walk.dx != 0 ? walk.V - (e.x + walk.eOld.x) * eps * walk.dx
                              : walk.V - (e.y + walk.eOld.y) * eps * walk.dy;
        // The step off the conductor counts the free node's field twice.
        if (firstStep) walk.V = 2.0 * walk.V + start;
        firstStep = false;
        g.Cvolts[n] = walk.V;
        g.Ccode[n] |= NodeMarked;
        walk.eOld = e;
        CountStep(job, w);
      }
      walk.x = x;
      walk.y = y;
      int next[4], count = 0;
      for (int d = 0; d < 4; ++d) {
        const int nx = x + kDx[d], ny = y + kDy[d];
        if (!inCore(nx, ny)) continue;
        const std::uint8_t c = g.Ccode[CoreIndex(g, nx, ny)];
        if ((c & NodeWalkway) && !(c & NodeMarked)) next[count++] = d;
      }
      if (count == 0) {
        const int k = islandEndingAt(x, y);
        if (k >= 0) p.islands[static_cast<std::size_t>(k)].iV = 2.0 * walk.V - before;
        break;
      }
      // The first neighbour continues this walk after the branches to the others, which run in
      // their order, each to its end.
      pending.push_back({x, y, kDx[next[0]], kDy[next[0]], walk.V, walk.eOld});
      for (int b = count - 1; b >= 1; --b)
        pending.push_back({x, y, kDx[next[b]], kDy[next[b]], walk.V, walk.eOld});
      break;
    }
  }
}

}  // namespace zolva
