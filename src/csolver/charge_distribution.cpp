// Distribution of the fixed voltages over the core and the apron, the coupling of the two
// lattices along the core's edge, and the surface links of the conductors.
#include "csolver/charge_distribution.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/materials.h"
#include "csolver/capacitance_job.h"
#include "csolver/solver_grid.h"

namespace zolva {

namespace {

constexpr std::uint8_t kFreeBits = NodeFree | NodeFreeMixed;
constexpr std::int32_t kUnlinked = 77777777;

int Clamp(int v, int lo, int hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

std::size_t At(int x, int y, int width) {
  return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
         static_cast<std::size_t>(x);
}

// The Usermap pixel under core cell (cX, cY), both coordinates clamped into the map, so that the
// core's margin continues the map's edge pixels.
std::size_t PixelUnder(const CapacitanceJob& job, int cX, int cY) {
  const PixelMap& map = job.map;
  const int uX = Clamp(cX + job.grid.CtoUX, 0, map.Uwid - 1);
  const int uY = Clamp(cY + job.grid.CtoUY, 0, map.Uhei - 1);
  return At(uX, uY, map.Uwid);
}

void CheckMap(const CapacitanceJob& job) {
  const PixelMap& map = job.map;
  const std::size_t pixels = static_cast<std::size_t>(std::max(map.Uwid, 0)) *
                             static_cast<std::size_t>(std::max(map.Uhei, 0));
  if (pixels == 0 || map.Ukind.size() != pixels || map.Uindex.size() != pixels)
    throw std::out_of_range("charge distribution: the per-pixel maps do not match the map size " +
                            std::to_string(map.Uwid) + " x " + std::to_string(map.Uhei));
}

// Permittivity of every palette colour, looked up once for the classification of all nodes.
std::array<double, 256> PermittivityTable(const CapacitanceJob& job) {
  std::array<double, 256> eps{};
  for (int i = 0; i < 256; ++i)
    eps[static_cast<std::size_t>(i)] = PalettePermittivity(job.materials, i);
  return eps;
}

void MarkCoreNodes(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  const PixelMap& map = job.map;
  const int W = g.Cwid, H = g.Chei;
  std::fill(g.Ccode.begin(), g.Ccode.end(), NodeOutside);

  // Clamped Usermap column and row of every core cell.
  std::vector<int> ux(static_cast<std::size_t>(W)), uy(static_cast<std::size_t>(H));
  for (int x = 0; x < W; ++x) ux[static_cast<std::size_t>(x)] = Clamp(x + g.CtoUX, 0, map.Uwid - 1);
  for (int y = 0; y < H; ++y) uy[static_cast<std::size_t>(y)] = Clamp(y + g.CtoUY, 0, map.Uhei - 1);
  auto pixel = [&](int x, int y) {
    return At(ux[static_cast<std::size_t>(x)], uy[static_cast<std::size_t>(y)], map.Uwid);
  };

  // Field cells free their four corners. The order does not matter: all set the same values.
  for (int y = 0; y < H - 1; ++y) {
    for (int x = 0; x < W - 1; ++x) {
      if (map.Ukind[pixel(x, y)] != KindInsulInField) continue;
      const std::size_t i = At(x, y, W);
      for (std::size_t k : {i, i + 1, i + static_cast<std::size_t>(W), i + W + 1u}) {
        g.Cvolts[k] = 0.0;
        g.Ccode[k] = NodeFree;
      }
    }
  }

  // Conductor cells come after the field cells, so that a node shared by a conductor pixel and
  // a field pixel is a conductor node. Where conductors of different voltage share a corner the
  // cell visited last wins; the visiting order (columns and rows descending) is kept for that.
  for (int x = W - 1; x >= 0; --x) {
    for (int y = H - 1; y >= 0; --y) {
      const std::size_t p = pixel(x, y);
      const std::size_t i = At(x, y, W);
      g.Cmat[i] = map.Uindex[p];
      if (x >= W - 1 || y >= H - 1) continue;
      const std::int8_t k = map.Ukind[p];
      if (k >= KindInsul) continue;
      const double v = k == KindPlus ? 1.0 : (k == KindMinus ? -1.0 : 0.0);
      for (std::size_t n : {i, i + 1, i + static_cast<std::size_t>(W), i + W + 1u}) {
        g.Ccode[n] = NodeConductor;
        g.Cvolts[n] = v;
      }
    }
  }
}

// A free node whose four cells have equal permittivity takes the plain average; any other free
// node the weighted one.
void ClassifyFreeNodes(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  const std::array<double, 256> eps = PermittivityTable(job);
  const int W = g.Cwid, H = g.Chei;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const std::size_t i = At(x, y, W);
      if (g.Ccode[i] != NodeFree) continue;
      bool uniform;
      if (x >= 1 && y >= 1) {
        const double e = eps[g.Cmat[i]];
        uniform = eps[g.Cmat[i - 1]] == e && eps[g.Cmat[i - static_cast<std::size_t>(W)]] == e &&
                  eps[g.Cmat[i - W - 1u]] == e;
      } else {
        uniform = CellsUniform(job, x, y);
      }
      if (!uniform) g.Ccode[i] = NodeFreeMixed;
    }
  }
}

void SetUpApron(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  const int AW = g.Awid, AH = g.Ahei;
  const int fl = g.footLeft, fr = g.footRight, ft = g.footTop, fb = g.footBottom;

  // The open space around the picture is made of the map's background.
  int background = FindPaletteIndex(job.materials, job.map.backgroundColor);
  if (background < 0) background = g.Cmat.at(0);  // palette full: the material of the corner
  std::fill(g.Amat.begin(), g.Amat.end(), static_cast<std::uint8_t>(background));

  for (int aY = ft; aY <= fb; ++aY)
    for (int aX = fl; aX <= fr; ++aX) g.Acode.at(At(aX, aY, AW)) = NodeOutside;

  // Eight core nodes map to one apron node; the loops run downwards so that the last call for
  // an apron node is the core node that lies on it.
  for (int cX = g.Cwid - 1; cX >= 0; --cX) {
    CoupleEdge(job, cX, 0, (cX + g.CtoAX) >> 3, ft);
    CoupleEdge(job, cX, g.Chei - 1, (cX + g.CtoAX) >> 3, fb);
  }
  for (int cY = g.Chei - 2; cY >= 1; --cY) {
    CoupleEdge(job, 0, cY, fl, (cY + g.CtoAY) >> 3);
    CoupleEdge(job, g.Cwid - 1, cY, fr, (cY + g.CtoAY) >> 3);
  }

  // Material steps along the boundary need the weighted update.
  for (int aX = fl; aX <= fr; ++aX) {
    for (int aY : {ft, fb}) {
      const std::size_t i = At(aX, aY, AW);
      if ((g.Acode.at(i) & kFreeBits) && g.Amat.at(i) != g.Amat.at(i - 1))
        g.Acode[i] = NodeFreeMixed;
    }
  }
  for (int aY = ft; aY <= fb; ++aY) {
    for (int aX : {fl, fr}) {
      const std::size_t i = At(aX, aY, AW);
      if ((g.Acode.at(i) & kFreeBits) &&
          g.Amat.at(i) != g.Amat.at(i - static_cast<std::size_t>(AW)))
        g.Acode[i] = NodeFreeMixed;
    }
  }

  // Outside the footprint every node continues the boundary node nearest to it.
  for (int aY = 0; aY < AH; ++aY) {
    for (int aX = 0; aX < AW; ++aX) {
      if (aX >= fl && aX <= fr && aY >= ft && aY <= fb) continue;
      const std::size_t src = At(Clamp(aX, fl, fr), Clamp(aY, ft, fb), AW);
      const std::size_t i = At(aX, aY, AW);
      g.Amat[i] = g.Amat[src];
      g.Acode[i] = g.Acode[src];
      g.Avolts[i] = g.Avolts[src];
    }
  }

  // Conductor nodes take the dielectric next to them as their cell's material, so that the
  // apron cells beside a conductor count as dielectric.
  for (int aX = 0; aX <= AW - 2; ++aX) {
    for (int aY = 0; aY <= AH - 2; ++aY) {
      if (aX > fl && aX < fr && aY > ft && aY < fb) continue;
      const std::size_t i = At(aX, aY, AW);
      if (!(g.Acode[i] & NodeConductor)) continue;
      const std::size_t below = i + static_cast<std::size_t>(AW);
      if (g.Acode[below] & kFreeBits) g.Amat[i] = g.Amat[below];
      if (g.Acode[i + 1] & kFreeBits) g.Amat[i] = g.Amat[i + 1];
    }
  }

  // Outside the footprint, a node among four cells of equal permittivity takes the plain update.
  for (int aY = 0; aY < AH; ++aY) {
    for (int aX = 0; aX < AW; ++aX) {
      if (aX >= fl && aX <= fr && aY >= ft && aY <= fb) continue;
      const std::size_t i = At(aX, aY, AW);
      if (!(g.Acode[i] & NodeFreeMixed)) continue;
      const double e = ApronCellPermittivityOrZero(job, aX, aY);
      if (ApronCellPermittivityOrZero(job, aX - 1, aY - 1) == e &&
          ApronCellPermittivityOrZero(job, aX - 1, aY) == e &&
          ApronCellPermittivityOrZero(job, aX, aY - 1) == e)
        g.Acode[i] = NodeFree;
    }
  }

  // The footprint's boundary ring and the apron's outer border take the careful update: their
  // neighbours lie in the core or beyond the apron.
  auto careful = [&](int aX, int aY) {
    std::uint8_t& c = g.Acode.at(At(aX, aY, AW));
    if (c == NodeFree) c = NodeFreeMixed;
  };
  for (int aX = fl; aX <= fr; ++aX) {
    careful(aX, ft);
    careful(aX, fb);
  }
  for (int aY = ft; aY <= fb; ++aY) {
    careful(fl, aY);
    careful(fr, aY);
  }
  for (int aX = 0; aX < AW; ++aX) {
    careful(aX, 0);
    careful(aX, AH - 1);
  }
  for (int aY = 0; aY < AH; ++aY) {
    careful(0, aY);
    careful(AW - 1, aY);
  }
}

}  // namespace

bool CellsUniform(const CapacitanceJob& job, int cX, int cY) {
  const double e = CellPermittivity(job, cX, cY);
  return CellPermittivity(job, cX - 1, cY - 1) == e && CellPermittivity(job, cX, cY - 1) == e &&
         CellPermittivity(job, cX - 1, cY) == e;
}

void CoupleEdge(const CapacitanceJob& job, int cX, int cY, int aX, int aY) {
  SolverGrid& g = job.grid;
  if (cX < 0 || cY < 0 || cX >= g.Cwid || cY >= g.Chei || aX < 0 || aY < 0 || aX >= g.Awid ||
      aY >= g.Ahei)
    throw std::out_of_range("CoupleEdge: core node " + std::to_string(cX) + "," +
                            std::to_string(cY) + " to apron node " + std::to_string(aX) + "," +
                            std::to_string(aY));
  const std::size_t ci = At(cX, cY, g.Cwid);
  const std::size_t i = At(aX, aY, g.Awid);
  const int f = job.map.Uindex.at(PixelUnder(job, cX, cY));
  const std::uint8_t c = g.Ccode[ci];
  const double v = g.Cvolts[ci];
  const std::uint8_t a = g.Acode[i];

  int o = 0;
  if (!(c & NodeConductor)) o = CellsUniform(job, cX, cY) ? 1 : 2;
  int t;
  if (a & NodeConductor) {
    t = 4;
  } else {
    t = (c & kFreeBits) ? o : 0;
  }
  if (t == 1 && (a & NodeFreeMixed)) t = 2;
  if ((c & NodeConductor) && PaletteIsConductor(job.materials, f)) {
    t = 4;
    g.Amat[i] = static_cast<std::uint8_t>(f);
    g.Avolts[i] = v;
  }
  if (t == 1 || t == 2) {
    if (!(a & (NodeFree | NodeFreeMixed | NodeConductor))) {
      g.Amat[i] = static_cast<std::uint8_t>(f);
    } else if ((a & kFreeBits) && PalettePermittivity(job.materials, f) >
                                      PalettePermittivity(job.materials, g.Amat[i])) {
      // Along the edge the highest permittivity wins.
      g.Amat[i] = static_cast<std::uint8_t>(f);
    }
    g.Avolts[i] = v;
  }
  g.Acode[i] = static_cast<std::uint8_t>(t == 2 ? 1 : t);
  // Every free core edge node takes the update that reads the apron beyond the edge.
  if (c & NodeFree) g.Ccode[ci] = static_cast<std::uint8_t>((c & 0xFC) | NodeFreeMixed);
}

void BuildSurfaceList(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  const int W = g.Cwid, H = g.Chei;
  static constexpr int kDx[4] = {1, -1, 0, 0};
  static constexpr int kDy[4] = {0, 0, 1, -1};
  auto linked = [&](int x, int y, int d) {
    const int nx = x + kDx[d], ny = y + kDy[d];
    return nx >= 0 && ny >= 0 && nx < W && ny < H && (g.Ccode[At(nx, ny, W)] & kFreeBits);
  };

  std::size_t count = 0;
  for (int x = W - 1; x >= 0; --x)
    for (int y = H - 1; y >= 0; --y)
      if (g.Ccode[At(x, y, W)] & NodeConductor)
        for (int d = 0; d < 4; ++d) count += linked(x, y, d) ? 1 : 0;

  std::vector<SurfaceRecord>(std::max<std::size_t>(count, 1)).swap(g.surfaceList);
  g.surfaceCount = 0;
  for (int x = W - 1; x >= 0; --x) {
    for (int y = H - 1; y >= 0; --y) {
      if (!(g.Ccode[At(x, y, W)] & NodeConductor)) continue;
      int links = 0;
      for (int d = 0; d < 4; ++d) {
        if (!linked(x, y, d)) continue;
        SurfaceRecord& r = g.surfaceList.at(static_cast<std::size_t>(g.surfaceCount));
        // The conductor is the one of the cells around the node; the last of this order wins.
        for (const auto& [dx, dy] : {std::pair{0, 0}, {0, -1}, {-1, 0}, {-1, -1}}) {
          const int h = job.map.Uindex.at(PixelUnder(job, x + dx, y + dy));
          if (PaletteIsConductor(job.materials, h)) {
            r.sType = job.materials.palette.entries[static_cast<std::size_t>(h)].kind;
            r.sM = static_cast<std::uint8_t>(h);
          }
        }
        r.conX = static_cast<std::int16_t>(x);
        r.conY = static_cast<std::int16_t>(y);
        r.insX = static_cast<std::int16_t>(x + kDx[d]);
        r.insY = static_cast<std::int16_t>(y + kDy[d]);
        r.sCharge = r.sType == KindPlus ? 1.0 : (r.sType == KindMinus ? -1.0 : 0.0);
        ++links;
        for (int k = 0; k < links; ++k)
          g.surfaceList[static_cast<std::size_t>(g.surfaceCount - k)].surfaces =
              static_cast<std::int8_t>(links);
        ++g.surfaceCount;
      }
    }
  }
}

bool AnalyseSurfaceChains(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  const int W = g.Cwid, H = g.Chei;
  auto freeAt = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < W && y < H && (g.Ccode[At(x, y, W)] & kFreeBits);
  };
  auto freeNeighbours = [&](int x, int y) {
    int n = 0;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if ((dx != 0 || dy != 0) && freeAt(x + dx, y + dy)) ++n;
    return n;
  };

  int marked = 0;
  for (int y = H - 1; y >= 0; --y) {
    for (int x = W - 1; x >= 0; --x) {
      std::uint8_t& c = g.Ccode[At(x, y, W)];
      if ((c & NodeConductor) && freeNeighbours(x, y) > 0) {
        c |= NodeMarked;
        ++marked;
      }
    }
  }

  // While the chains are walked, a marked node's voltage holds its record number.
  std::vector<SurfaceRecord>(static_cast<std::size_t>(std::max(marked, 1))).swap(g.surfaceList);
  g.surfaceCount = marked;
  int next = 0;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const std::size_t i = At(x, y, W);
      if (!(g.Ccode[i] & NodeMarked)) continue;
      SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(next)];
      r.LastCharge1 = g.Cvolts[i];
      g.Cvolts[i] = next;
      r.conX = static_cast<std::int16_t>(x);
      r.conY = static_cast<std::int16_t>(y);
      r.sCharge = freeNeighbours(x, y);
      r.link = kUnlinked;
      ++next;
    }
  }

  auto recordAt = [&](int x, int y) -> int {
    if (x < 0 || y < 0 || x >= W || y >= H) return -1;
    const std::size_t i = At(x, y, W);
    if (!(g.Ccode[i] & NodeMarked)) return -1;
    return static_cast<int>(g.Cvolts[i]);
  };
  int links = 0, chains = 0;
  for (int j = 0; j < marked; ++j) {
    std::vector<SurfaceRecord>& list = g.surfaceList;
    if (list[static_cast<std::size_t>(j)].link != kUnlinked) continue;
    ++chains;
    int a = j, walkLinks = 0;
    std::int32_t remembered = 0;
    bool reopened = false;
    for (;;) {
      const SurfaceRecord& ra = list[static_cast<std::size_t>(a)];
      int pick = -1;
      double best = 0.0;
      for (const auto& [dx, dy] : {std::pair{0, -1}, {-1, 0}, {1, 0}, {0, 1}}) {
        const int r = recordAt(ra.conX + dx, ra.conY + dy);
        if (r < 0 || list.at(static_cast<std::size_t>(r)).link != kUnlinked) continue;
        if (list[static_cast<std::size_t>(r)].sCharge > best) {
          best = list[static_cast<std::size_t>(r)].sCharge;
          pick = r;
        }
      }
      if (pick < 0) break;
      ++links;
      ++walkLinks;
      list[static_cast<std::size_t>(a)].link = pick;
      if (walkLinks == 2) {
        // The chain may close on its start: record j is offered again until the walk ends.
        remembered = list[static_cast<std::size_t>(j)].link;
        list[static_cast<std::size_t>(j)].link = kUnlinked;
        reopened = true;
      }
      a = pick;
    }
    if (reopened) list[static_cast<std::size_t>(j)].link = remembered;
  }

  for (int r = 0; r < marked; ++r) {
    const SurfaceRecord& rec = g.surfaceList[static_cast<std::size_t>(r)];
    const std::size_t i = At(rec.conX, rec.conY, W);
    g.Cvolts[i] = rec.LastCharge1;
    g.Ccode[i] = static_cast<std::uint8_t>(g.Ccode[i] & ~NodeMarked);
  }

  if (marked < 2) {
    Fail(job.failure, FailureKind::Input,
         "Surface analysis needs at least two conductor surface nodes; found " +
             std::to_string(marked) + ".",
         "zolva");
    job.state.operationFailed = true;
    job.state.abortRequested = true;
    return false;
  }
  g.chainStats.records = marked;
  g.chainStats.links = links;
  g.chainStats.chains = chains;
  g.chainStats.link1 = g.surfaceList[1].link;
  return true;
}

bool DistributeCharge(const CapacitanceJob& job) {
  CheckMap(job);
  SolverGrid& g = job.grid;
  MarkCoreNodes(job);
  job.results.VoC = 0.0;
  if (job.state.abortRequested) return false;
  ClassifyFreeNodes(job);
  if (job.state.switches[Switch::RepaintChargeSteps]) job.report.RefreshDisplay();

  g.apronActive = g.openBoundary;
  if (!g.apronActive) {
    // A closed cross-section has no apron and no prediction, but its floating conductors still
    // follow their surroundings through the surface links.
    BuildSurfaceList(job);
    return true;
  }

  SetUpApron(job);
  BuildSurfaceList(job);
  if (job.state.switches[Switch::ChainAnalysis]) {
    AnalyseSurfaceChains(job);
    job.report.RefreshDisplay();
    if (job.state.abortRequested) return false;
  }
  job.report.SetLabel(Label36, std::to_string(g.surfaceCount) + "  surface pixels");
  if (job.state.switches[Switch::RepaintChargeSteps]) job.report.RefreshDisplay();
  job.report.ShowTab(TabConverging);
  job.report.ProcessPendingEvents();
  return !job.state.abortRequested;
}

}  // namespace zolva
