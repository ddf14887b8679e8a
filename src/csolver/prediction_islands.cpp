// The island set-up of the field prediction: surface links grouped into islands by tracing the
// conductor surface, a start point on each island's four extreme sides, and walkways of free
// nodes that join every island to the prediction window's border ring and the ring to the core's
// edge. The walks later carry potentials along these walkways.
#include "csolver/prediction_islands.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "csolver/capacitance_job.h"

namespace zolva {

namespace {

constexpr std::uint8_t kFreeBits = NodeFree | NodeFreeMixed;

struct IslandSetup {
  const CapacitanceJob& job;
  SolverGrid& g;
  PredictionState& p;
  std::vector<SurfaceRecord>& list;
  int n;
  PredictionWork* w_;

  bool InCore(int x, int y) const { return x >= 0 && y >= 0 && x < g.Cwid && y < g.Chei; }
  std::uint8_t& Code(int x, int y) { return g.Ccode[CoreIndex(g, x, y)]; }
  double& Volts(int x, int y) { return g.Cvolts[CoreIndex(g, x, y)]; }
  bool Free(int x, int y) { return (Code(x, y) & kFreeBits) != 0; }

  // The record labelled at a conductor node, or -1.
  int LabelAt(int x, int y) {
    if (!InCore(x, y) || !(Code(x, y) & NodeConductor)) return -1;
    const double v = Volts(x, y);
    if (v < kLabelBase - 0.5) return -1;
    const int j = static_cast<int>(std::nearbyint(v - kLabelBase));
    return j >= 0 && j < n ? j : -1;
  }
  // The kind found at a node: that of the record labelled there, else 6.
  int KindAt(int x, int y) {
    const int j = LabelAt(x, y);
    return j >= 0 ? list[static_cast<std::size_t>(j)].sType : 6;
  }
  IslandRecord& Island(int k) { return p.islands[static_cast<std::size_t>(k)]; }

  // Marks a free node as walkway; events are processed at every node of a walkway being laid.
  void Lay(int x, int y) {
    if (!InCore(x, y) || !Free(x, y)) return;
    Code(x, y) |= NodeWalkway;
    job.report.ProcessPendingEvents();
  }
  // Lays the nodes 1..steps of the line from (x, y) in direction (dx, dy).
  void LayLine(int x, int y, int dx, int dy, int steps) {
    for (int s = 1; s <= steps; ++s) Lay(x + s * dx, y + s * dy);
  }

  bool OnWindowEdge(int s, int x, int y) const {
    switch (s) {
      case SideUp:
        return y <= g.predictTop;
      case SideDown:
        return y >= g.predictBottom;
      case SideLeft:
        return x <= g.predictLeft;
      default:
        return x >= g.predictRight;
    }
  }
  bool OnRing(int x, int y) const {
    return x == g.predictLeft || x == g.predictRight || y == g.predictTop || y == g.predictBottom;
  }

  void Labels();
  void Traces();
  void Trace(int k, int x, int y);
  void Extents();
  void StartPoints();
  void Ring();
  int StraightProbe(int k, int s);
  void StraightWalkways();
  bool BentWalkway(int k, int s);
  void BentWalkways();
  void NewStarts();
  void JoiningWalkways();
  void OutwardWalkways();
};

void IslandSetup::Labels() {
  // The label of the lowest-numbered record of a node is written last.
  for (int j = n - 1; j >= 0; --j) {
    SurfaceRecord& r = list[static_cast<std::size_t>(j)];
    Volts(r.conX, r.conY) = kLabelBase + j;
    r.island = kNoIsland;
  }
}

void IslandSetup::Trace(int k, int x, int y) {
  static constexpr int kDx[8] = {1, -1, 0, 0, 1, -1, 1, -1};
  static constexpr int kDy[8] = {0, 0, 1, -1, 1, 1, -1, -1};
  const int first = LabelAt(x, y);
  if (first >= 0 && list[static_cast<std::size_t>(first)].island == kNoIsland)
    list[static_cast<std::size_t>(first)].island = static_cast<std::int8_t>(k);
  for (;;) {
    int next = -1, nx = 0, ny = 0;
    for (int d = 0; d < 8 && next < 0; ++d) {
      nx = x + kDx[d];
      ny = y + kDy[d];
      const int j = LabelAt(nx, ny);
      if (j >= 0 && list[static_cast<std::size_t>(j)].island == kNoIsland) next = j;
    }
    if (next < 0) return;
    x = nx;
    y = ny;
    // The links of one node lie next to each other in the list.
    for (int m = std::max(0, next - 3); m <= std::min(n - 1, next + 3); ++m) {
      SurfaceRecord& r = list[static_cast<std::size_t>(m)];
      if (r.island == kNoIsland && r.conX == x && r.conY == y)
        r.island = static_cast<std::int8_t>(k);
    }
  }
}

void IslandSetup::Traces() {
  for (int j = n - 1; j >= 0 && !p.islandFailed; --j) {
    SurfaceRecord& r = list[static_cast<std::size_t>(j)];
    if (r.island != kNoIsland) continue;
    // Island numbers are held in 8 bits beside the "none" mark 127.
    if (p.islandCount >= kNoIsland) {
      p.islandFailed = true;
      return;
    }
    const int k = p.islandCount++;
    p.islands.emplace_back();
    r.island = static_cast<std::int8_t>(k);
    // Two traces follow the surface away from the start in both directions.
    Trace(k, r.conX, r.conY);
    Trace(k, r.conX, r.conY);
  }
}

void IslandSetup::Extents() {
  for (IslandRecord& isl : p.islands) {
    isl.iY[SideUp] = 10000;
    isl.iY[SideDown] = -10000;
    isl.iX[SideLeft] = 10000;
    isl.iX[SideRight] = -10000;
  }
  auto widen = [](std::int16_t& lo, std::int16_t& hi, int v) {
    lo = static_cast<std::int16_t>(std::min<int>(lo, v));
    hi = static_cast<std::int16_t>(std::max<int>(hi, v));
  };
  for (int j = 0; j < n; ++j) {
    const SurfaceRecord& r = list[static_cast<std::size_t>(j)];
    if (r.island < 0 || r.island >= p.islandCount) continue;
    IslandRecord& isl = Island(r.island);
    const std::int16_t x = r.conX, y = r.conY;
    for (int s : {SideUp, SideDown}) {
      const bool passes = s == SideUp ? y < isl.iY[s] : y > isl.iY[s];
      if (passes) {
        isl.iY[s] = y;
        isl.iLX[s] = isl.iHX[s] = x;
      } else if (y == isl.iY[s]) {
        widen(isl.iLX[s], isl.iHX[s], x);
      }
    }
    for (int s : {SideLeft, SideRight}) {
      const bool passes = s == SideLeft ? x < isl.iX[s] : x > isl.iX[s];
      if (passes) {
        isl.iX[s] = x;
        isl.iLY[s] = isl.iHY[s] = y;
      } else if (x == isl.iX[s]) {
        widen(isl.iLY[s], isl.iHY[s], y);
      }
    }
  }
}

void IslandSetup::StartPoints() {
  for (IslandRecord& isl : p.islands) {
    for (int s : {SideUp, SideDown}) {
      const int mid = (isl.iLX[s] + isl.iHX[s]) / 2;
      const int y = isl.iY[s];
      isl.iX[s] =
          static_cast<std::int16_t>(KindAt(mid, y) != KindAt(isl.iHX[s], y) ? isl.iLX[s] : mid);
    }
    for (int s : {SideLeft, SideRight}) {
      const int mid = (isl.iLY[s] + isl.iHY[s]) / 2;
      const int x = isl.iX[s];
      isl.iY[s] =
          static_cast<std::int16_t>(KindAt(x, mid) != KindAt(x, isl.iHY[s]) ? isl.iLY[s] : mid);
    }
    isl.iType = static_cast<std::int8_t>(KindAt(isl.iX[SideUp], isl.iY[SideUp]));
    isl.iV = isl.iType;
    isl.iWalkSide = SideNone;
  }
  // The labels give way to the conductors' voltages (2 for a floating one, set at the end).
  for (int j = 0; j < n; ++j) {
    const SurfaceRecord& r = list[static_cast<std::size_t>(j)];
    const int label = LabelAt(r.conX, r.conY);
    if (label >= 0) Volts(r.conX, r.conY) = list[static_cast<std::size_t>(label)].sType;
  }
}

void IslandSetup::Ring() {
  for (int x = g.predictLeft; x <= g.predictRight; ++x) {
    for (int y : {g.predictTop, g.predictBottom})
      if (InCore(x, y) && Free(x, y)) Code(x, y) |= NodeWalkway;
  }
  for (int y = g.predictTop; y <= g.predictBottom; ++y) {
    for (int x : {g.predictLeft, g.predictRight})
      if (InCore(x, y) && Free(x, y)) Code(x, y) |= NodeWalkway;
  }
}

// Steps from side s's start point to a walkway or the window's edge; -1 when blocked.
int IslandSetup::StraightProbe(int k, int s) {
  const IslandRecord& isl = Island(k);
  int x = isl.iX[s], y = isl.iY[s];
  if (OnWindowEdge(s, x, y)) return 0;
  for (int steps = 1;; ++steps) {
    x += SideDx(s);
    y += SideDy(s);
    if (!InCore(x, y)) return -1;
    const std::uint8_t c = Code(x, y);
    if (!(c & kFreeBits)) return -1;
    if ((c & NodeWalkway) || OnWindowEdge(s, x, y)) return steps;
    // Beyond its first node the probe must keep clear of every surface.
    if ((c & NodeNearSurface) && steps > 1) return -1;
  }
}

void IslandSetup::StraightWalkways() {
  for (int k = p.islandCount - 1; k >= 0; --k) {
    int best = SideNone, bestSteps = 0;
    for (int s = SideUp; s <= SideRight; ++s) {
      const int steps = StraightProbe(k, s);
      if (steps >= 0 && (best == SideNone || steps < bestSteps)) {
        best = s;
        bestSteps = steps;
      }
    }
    if (best == SideNone) continue;
    IslandRecord& isl = Island(k);
    isl.iWalkSide = static_cast<std::int8_t>(best);
    LayLine(isl.iX[best], isl.iY[best], SideDx(best), SideDy(best), bestSteps);
  }
}

bool IslandSetup::BentWalkway(int k, int s) {
  const IslandRecord& isl = Island(k);
  const int x0 = isl.iX[s], y0 = isl.iY[s];
  const int dx = SideDx(s), dy = SideDy(s);
  int x = x0, y = y0;
  for (int steps = 1;; ++steps) {
    if (!InCore(x + dx, y + dy)) return false;
    x += dx;
    y += dy;
    const std::uint8_t c = Code(x, y);
    if (c & NodeConductor) return false;
    if (steps % 4 != 0 || !(c & kFreeBits) || (c & NodeNearSurface)) continue;
    // A second leg at right angles, positive direction first.
    for (int sign : {1, -1}) {
      const int ex = dx == 0 ? sign : 0, ey = dx == 0 ? 0 : sign;
      int bx = x, by = y, m = 0;
      bool met = false;
      for (;;) {
        if (!InCore(bx + ex, by + ey)) break;
        bx += ex;
        by += ey;
        ++m;
        const std::uint8_t c2 = Code(bx, by);
        if ((c2 & kFreeBits) && (c2 & NodeWalkway)) {
          met = true;
          break;
        }
        if ((c2 & NodeConductor) || (c2 & NodeNearSurface)) break;
      }
      if (!met) continue;
      LayLine(x0, y0, dx, dy, steps);
      LayLine(x, y, ex, ey, m);
      Island(k).iWalkSide = static_cast<std::int8_t>(s);
      return true;
    }
  }
}

void IslandSetup::BentWalkways() {
  for (int k = p.islandCount - 1; k >= 0; --k) {
    if (Island(k).iWalkSide != SideNone) continue;
    for (int s = SideUp; s <= SideRight; ++s)
      if (BentWalkway(k, s)) break;
  }
}

void IslandSetup::NewStarts() {
  for (int k = 0; k < p.islandCount; ++k) {
    IslandRecord& isl = Island(k);
    const int s = isl.iWalkSide;
    if (!OnRing(isl.iX[s], isl.iY[s])) continue;
    // The lowest-numbered link of the island whose free node lies on a walkway.
    for (int j = n - 1; j >= 0; --j) {
      const SurfaceRecord& r = list[static_cast<std::size_t>(j)];
      if (r.island != k || !(Code(r.insX, r.insY) & NodeWalkway)) continue;
      const int side = r.insY > r.conY   ? SideDown
                       : r.insY < r.conY ? SideUp
                       : r.insX > r.conX ? SideRight
                                         : SideLeft;
      isl.iWalkSide = static_cast<std::int8_t>(side);
      isl.iX[side] = r.conX;
      isl.iY[side] = r.conY;
    }
  }
}

// One side of the window's border ring, scanned node by node: position t of length nodes, and
// the direction into the window.
struct RingSide {
  int x0, y0, dx, dy, length, inX, inY;
};

std::array<RingSide, 4> RingSides(const SolverGrid& g) {
  return {RingSide{g.predictLeft, g.predictTop, 1, 0, g.predictWidth, 0, 1},
          RingSide{g.predictRight, g.predictTop, 0, 1, g.predictHeight, -1, 0},
          RingSide{g.predictRight, g.predictBottom, -1, 0, g.predictWidth, 0, -1},
          RingSide{g.predictLeft, g.predictBottom, 0, -1, g.predictHeight, 1, 0}};
}

void IslandSetup::JoiningWalkways() {
  // The walk from the reference island marks every walkway node it reaches; the field is off,
  // so it integrates nothing.
  const int ref =
      p.minusSurfaces > 0 ? FirstIslandOfKind(p, KindMinus) : FirstIslandOfKind(p, KindGround);
  w_->fieldOff = true;
  WalkIslands(job, *w_, ref, 0.0);

  for (const RingSide& side : RingSides(g)) {
    // How far a probe may go inwards: to the opposite side of the ring.
    const int reach = side.inX != 0 ? g.predictWidth - 1 : g.predictHeight - 1;
    auto at = [&](int t) { return std::pair{side.x0 + t * side.dx, side.y0 + t * side.dy}; };
    int runStart = -1;
    bool reached = false;
    for (int t = 0; t < side.length; ++t) {
      const auto [x, y] = at(t);
      const std::uint8_t c = InCore(x, y) ? Code(x, y) : 0;
      if (c & NodeWalkway) {
        if (runStart < 0) {
          runStart = t;
          reached = false;
        }
        if (c & NodeMarked) reached = true;
        continue;
      }
      if (runStart < 0) continue;
      const int runEnd = t - 1;
      const int first = runStart;
      runStart = -1;
      if (reached) continue;
      // Probes inwards from the run's last node and every fourth node before it; the one made
      // last that meets a walkway decides.
      int bestQ = -1, bestM = 0;
      for (int q = runEnd; q >= first; q -= 4) {
        const auto [qx, qy] = at(q);
        for (int m = 1; m <= reach; ++m) {
          const int px = qx + m * side.inX, py = qy + m * side.inY;
          if (!InCore(px, py)) break;
          const std::uint8_t pc = Code(px, py);
          if ((pc & kFreeBits) && (pc & NodeWalkway)) {
            bestQ = q;
            bestM = m;
            break;
          }
          if (!(pc & kFreeBits) || (pc & NodeNearSurface)) break;
        }
      }
      if (bestQ < 0) continue;
      const auto [qx, qy] = at(bestQ);
      LayLine(qx, qy, side.inX, side.inY, bestM);
    }
  }
}

void IslandSetup::OutwardWalkways() {
  auto round8 = [](int v) { return 8 * static_cast<int>(std::nearbyint(v / 8.0)); };
  // Straight out from ring node (x, y) of the side to the core's edge, on a line of apron nodes.
  auto layOut = [&](const RingSide& side, int x, int y) {
    if (side.inX == 0) {
      const int col = std::clamp(round8(x), 0, g.Cwid - 1);
      const int dy = -side.inY;
      for (int r = y + dy; r >= 0 && r < g.Chei; r += dy) Lay(col, r);
    } else {
      const int row = std::clamp(round8(y), 0, g.Chei - 1);
      const int dx = -side.inX;
      for (int c = x + dx; c >= 0 && c < g.Cwid; c += dx) Lay(c, row);
    }
  };
  bool laid = false;
  for (const RingSide& side : RingSides(g)) {
    int run = 0;
    for (int t = 0; t < side.length; ++t) {
      const int x = side.x0 + t * side.dx, y = side.y0 + t * side.dy;
      if (InCore(x, y) && Free(x, y)) {
        ++run;
        continue;
      }
      if (run > 8) {
        const int m = t - run / 2;
        layOut(side, side.x0 + m * side.dx, side.y0 + m * side.dy);
      }
      run = 0;
      laid = false;
    }
    if (run == side.length && run > 0 && !laid) {
      const int m = side.length - run / 2;
      layOut(side, side.x0 + m * side.dx, side.y0 + m * side.dy);
      laid = true;
    }
  }
}

}  // namespace

void FindIslands(const CapacitanceJob& job, PredictionWork& w) {
  SolverGrid& g = job.grid;
  PredictionState& p = job.prediction;
  p.islands.clear();
  p.islandCount = 0;
  p.islandFailed = false;
  IslandSetup setup{
      job, g, p, g.surfaceList, std::min(g.surfaceCount, static_cast<int>(g.surfaceList.size())),
      &w};
  const bool show = job.state.switches[Switch::DebugOverlay];

  // The free nodes of the links: potential 0, and marked as near a surface.
  for (int j = 0; j < setup.n; ++j) {
    const SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
    setup.Volts(r.insX, r.insY) = 0.0;
    setup.Code(r.insX, r.insY) |= NodeNearSurface;
  }
  if (show) job.report.RefreshDisplay();
  setup.Labels();
  setup.Traces();
  if (p.islandFailed) return;
  setup.Extents();
  if (show) job.report.RefreshDisplay();
  setup.StartPoints();
  setup.Ring();
  setup.StraightWalkways();
  setup.BentWalkways();
  for (const IslandRecord& isl : p.islands) {
    if (isl.iWalkSide == SideNone) {
      p.islandFailed = true;
      if (show) job.report.RefreshDisplay();
      return;
    }
  }
  setup.NewStarts();
  setup.JoiningWalkways();
  setup.OutwardWalkways();
  if (show) job.report.RefreshDisplay();
}

}  // namespace zolva
