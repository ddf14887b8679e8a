// Sizing of the core and the apron, the coordinate offsets between Usermap, core and apron, and
// the value and permittivity lookups that every later stage of the capacitance solver shares.
#include "csolver/solver_grid.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "core/materials.h"
#include "csolver/capacitance_job.h"
#include "csolver/relaxation.h"

namespace zolva {

namespace {

int Clamp(int v, int lo, int hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

const PaletteEntry& PaletteAt(const MaterialTables& materials, int paletteIndex) {
  if (paletteIndex < 0 || paletteIndex >= kPaletteCapacity)
    throw std::out_of_range("palette index " + std::to_string(paletteIndex));
  return materials.palette.entries[static_cast<std::size_t>(paletteIndex)];
}

// The table entry behind a palette colour that has no material record yet, or null.
const ColorDefinition* TableEntryOf(const MaterialTables& materials, int paletteIndex) {
  const PaletteEntry& e = PaletteAt(materials, paletteIndex);
  if (e.tableIndex == kNoTableEntry || e.tableIndex >= kColorTableCapacity) return nullptr;
  return &materials.table.entries[e.tableIndex];
}

}  // namespace

int ApronNodesFor(double reachNodes) {
  // Half the apron's span is 4 nodes of the core per apron node, plus the border ring.
  if (!(reachNodes > 0.0) || !std::isfinite(reachNodes)) return kApronSize;
  const double nodes = std::ceil(reachNodes / 4.0) + 2.0;
  if (nodes <= kApronSize) return kApronSize;
  // Limited so that the apron's arrays stay within the memory of a large core.
  return static_cast<int>(std::min(nodes, static_cast<double>(kMaxApronNodes)));
}

void ResetGrid(SolverGrid& g, bool& fieldReady) {
  // Fresh one-element vectors give the memory of a large grid back at once.
  std::vector<double>(1, 0.0).swap(g.Cvolts);
  std::vector<double>(1, 0.0).swap(g.Avolts);
  std::vector<std::uint8_t>(1, 0).swap(g.Ccode);
  std::vector<std::uint8_t>(1, 0).swap(g.Acode);
  std::vector<std::uint8_t>(1, 0).swap(g.Cmat);
  std::vector<std::uint8_t>(1, 0).swap(g.Amat);
  std::vector<SurfaceRecord>(1).swap(g.surfaceList);
  g.surfaceCount = 0;
  // The sizes follow the arrays, so that nothing indexes a one-element array with the old ones.
  g.Cwid = g.Chei = g.Awid = g.Ahei = 1;
  g.apronActive = false;
  // The plan refers to the old arrays: nothing may be resumed on it.
  g.plan = RelaxPlan{};
  fieldReady = false;
}

bool SizeGrid(const CapacitanceJob& job) {
  SolverGrid& g = job.grid;
  const PixelMap& map = job.map;
  const ConductorIndex& ci = job.cindex;

  // Extent of the conductors and of the field regions; empty lists leave the start values.
  int condMinX = 1000000, condMinY = 1000000, condMaxX = -1000000, condMaxY = -1000000;
  const std::size_t n = std::min(ci.x.size(), ci.y.size());
  for (std::size_t j = 0; j < n; ++j) {
    condMinX = std::min(condMinX, ci.x[j]);
    condMaxX = std::max(condMaxX, ci.x[j]);
    condMinY = std::min(condMinY, ci.y[j]);
    condMaxY = std::max(condMaxY, ci.y[j]);
  }
  int regMinX = 1000000, regMinY = 1000000, regMaxX = -1000000, regMaxY = -1000000;
  const int regions = std::clamp(job.regions.regionCount, 0, kMaxFieldRegions);
  for (int r = 0; r < regions; ++r) {
    const RegionRecord& rec = job.regions.table[static_cast<std::size_t>(r)];
    regMinX = std::min(regMinX, rec.minX);
    regMaxX = std::max(regMaxX, rec.maxX);
    regMinY = std::min(regMinY, rec.minY);
    regMaxY = std::max(regMaxY, rec.maxY);
  }

  // A side where the conductors reach further than any field region needs only a small margin;
  // where a field region reaches as far, the field spreads beyond the conductors.
  int left = regMinX > condMinX ? condMinX - 8 : condMinX - 100;
  int top = regMinY > condMinY ? condMinY - 8 : condMinY - 100;
  int right = regMaxX < condMaxX ? condMaxX + 8 : condMaxX + 100;
  int bottom = regMaxY < condMaxY ? condMaxY + 8 : condMaxY + 100;
  // The core covers the whole Usermap with at least 10 pixels to spare.
  if (left > -10) left = -10;
  if (top > -10) top = -10;
  if (right < map.Uwid + 9) right = map.Uwid + 9;
  if (bottom < map.Uhei + 9) bottom = map.Uhei + 9;

  // Computed in 64 bits: a side can lie a million pixels out when a list is empty.
  const long long wideW = static_cast<long long>(right) - left + 1;
  const long long wideH = static_cast<long long>(bottom) - top + 1;
  const bool fits = wideW <= kMaxCoreNodes && wideH <= kMaxCoreNodes;
  const int Cwid = fits ? RoundUp8(static_cast<int>(wideW)) + 1 : kMaxCoreNodes + 1;
  const int Chei = fits ? RoundUp8(static_cast<int>(wideH)) + 1 : kMaxCoreNodes + 1;

  // The multigrid solve keeps the open boundary at a fixed distance in metres; the relaxation
  // keeps the 400-node apron.
  int A = g.openBoundary ? kApronSize : 1;
  if (g.openBoundary && !job.options.classicRelaxation && n > 0) {
    const double diagonal = std::hypot(condMaxX - condMinX + 1.0, condMaxY - condMinY + 1.0);
    // The core is centred in the apron: the box's centre lies off the core's by at most the
    // difference of their margins.
    const double offset = std::hypot((left + right) / 2.0 - (condMinX + condMaxX + 1) / 2.0,
                                     (top + bottom) / 2.0 - (condMinY + condMaxY + 1) / 2.0);
    A = ApronNodesFor(kApronReach * diagonal + offset);
  }
  // The offsets centre the core in the apron's span on an 8-node boundary. With the 1 x 1 apron
  // they are formed the same way and mean nothing.
  const int CtoAX = static_cast<int>(static_cast<std::uint32_t>((8 * A - Cwid) / 2) & 0xFFFF8u);
  const int CtoAY = static_cast<int>(static_cast<std::uint32_t>((8 * A - Chei) / 2) & 0xFFFF8u);
  const int footLeft = CtoAX >> 3, footRight = (Cwid + CtoAX - 1) >> 3;
  const int footTop = CtoAY >> 3, footBottom = (Chei + CtoAY - 1) >> 3;

  // The apron must keep at least one ring of its own nodes around the core's footprint: the
  // core's edge nodes interpolate the apron one cell beyond the footprint. A core within 16
  // nodes of the 3200 limit leaves no such ring, and is refused like a larger one.
  const bool apronRing = !g.openBoundary || (footLeft >= 1 && footTop >= 1 && footRight <= A - 2 &&
                                             footBottom <= A - 2);
  if (Cwid > kMaxCoreNodes || Chei > kMaxCoreNodes || !apronRing) {
    Fail(job.failure, FailureKind::TooLarge, "Aborted.  Usermap too large.",
         "Solving for C and Gp");
    job.state.operationFailed = true;
    job.state.abortRequested = true;
    return false;
  }

  ResetGrid(job.grid, job.fieldReady);
  g.Cwid = Cwid;
  g.Chei = Chei;
  g.CtoUX = left;
  g.CtoUY = top;
  g.UtoCX = -left;
  g.UtoCY = -top;
  g.Awid = g.Ahei = A;
  BuildEdgeFactors(g);
  g.CtoAX = CtoAX;
  g.CtoAY = CtoAY;
  g.AtoCX = -CtoAX;
  g.AtoCY = -CtoAY;
  g.AtoUX = g.AtoCX + g.CtoUX;
  g.AtoUY = g.AtoCY + g.CtoUY;
  g.footLeft = footLeft;
  g.footRight = footRight;
  g.footTop = footTop;
  g.footBottom = footBottom;

  const std::size_t coreNodes = static_cast<std::size_t>(Cwid) * static_cast<std::size_t>(Chei);
  const std::size_t apronNodes = static_cast<std::size_t>(A) * static_cast<std::size_t>(A);
  g.Amat.assign(apronNodes, 0);
  g.Acode.assign(apronNodes, 0);
  g.Cvolts.assign(coreNodes, 0.0);
  g.Ccode.assign(coreNodes, 0);
  g.Cmat.assign(coreNodes, 0);
  g.Avolts.assign(apronNodes, 0.0);

  // The window around the conductors in which the field prediction integrates its lines; it
  // reaches the core's edge where conductors and a field region both touch the map's edge.
  g.predictLeft = condMinX - 4 + g.UtoCX;
  g.predictRight = condMaxX + 4 + g.UtoCX + 1;
  g.predictTop = condMinY - 4 + g.UtoCY;
  g.predictBottom = condMaxY + 4 + g.UtoCY + 1;
  if (regMinX == 0 && condMinX == 0) g.predictLeft = 0;
  if (regMinY == 0 && condMinY == 0) g.predictTop = 0;
  if (condMaxX == map.Uwid - 1 && regMaxX == map.Uwid - 1) g.predictRight = Cwid - 1;
  if (condMaxY == map.Uhei - 1 && regMaxY == map.Uhei - 1) g.predictBottom = Chei - 1;
  if (g.predictLeft < 1) g.predictLeft = 0;
  if (g.predictTop < 1) g.predictTop = 0;
  if (g.predictRight > Cwid - 2) g.predictRight = Cwid - 1;
  if (g.predictBottom > Chei - 2) g.predictBottom = Chei - 1;
  g.predictWidth = g.predictRight - g.predictLeft + 1;
  g.predictHeight = g.predictBottom - g.predictTop + 1;

  job.report.SetLabel(LabelCoreSize,
                      "core: " + std::to_string(Cwid - 1) + " x " + std::to_string(Chei - 1));
  return true;
}

double CoreValue(const SolverGrid& g, int cX, int cY) {
  if (cX < 0 || cY < 0 || cX >= g.Cwid || cY >= g.Chei) return 0.0;
  return g.Cvolts.at(static_cast<std::size_t>(cY) * static_cast<std::size_t>(g.Cwid) +
                     static_cast<std::size_t>(cX));
}

double ApronValue(const SolverGrid& g, int aX, int aY) {
  if (aX < 0 || aY < 0 || aX >= g.Awid || aY >= g.Ahei) return 0.0;
  const std::size_t i = static_cast<std::size_t>(aY) * static_cast<std::size_t>(g.Awid) +
                        static_cast<std::size_t>(aX);
  if (g.Acode.at(i) & (NodeFree | NodeFreeMixed)) return g.Avolts.at(i);
  const int cX = 8 * aX + g.AtoCX;
  const int cY = 8 * aY + g.AtoCY;
  if (cX >= 0 && cY >= 0 && cX < g.Cwid && cY < g.Chei) return CoreValue(g, cX, cY);
  return g.Avolts.at(i);
}

double InterpolateApron(const SolverGrid& g, int cX, int cY) {
  // Arithmetic shifts and two's-complement ANDs: a position one node left of an apron node
  // lies 7/8 of the way from the apron node before it.
  int aX = (cX + g.CtoAX) >> 3;
  int aY = (cY + g.CtoAY) >> 3;
  if (aX > g.Awid - 1) aX = g.Awid - 1;
  if (aY > g.Ahei - 1) aY = g.Ahei - 1;
  if (aX < 0 || aY < 0 || aX + 1 >= g.Awid || aY + 1 >= g.Ahei)
    throw std::out_of_range("InterpolateApron: core node " + std::to_string(cX) + "," +
                            std::to_string(cY) + " lies outside the apron");
  const double fx = static_cast<double>(cX & 7) / 8.0;
  const double fy = static_cast<double>(cY & 7) / 8.0;
  const std::size_t W = static_cast<std::size_t>(g.Awid);
  const std::size_t i = static_cast<std::size_t>(aY) * W + static_cast<std::size_t>(aX);
  const double a = g.Avolts.at(i), b = g.Avolts.at(i + 1);
  const double c = g.Avolts.at(i + W), d = g.Avolts.at(i + W + 1);
  const double topV = a + fx * (b - a);
  const double bottomV = c + fx * (d - c);
  return topV + fy * (bottomV - topV);
}

double PalettePermittivity(const MaterialTables& materials, int paletteIndex) {
  PaletteAt(materials, paletteIndex);
  const std::vector<MaterialRec>& recs = materials.recs;
  if (static_cast<std::size_t>(paletteIndex) < recs.size())
    return recs[static_cast<std::size_t>(paletteIndex)].Permittivity;
  const ColorDefinition* t = TableEntryOf(materials, paletteIndex);
  return t ? t->Permittivity : 1.0;
}

double PaletteTanDelta(const MaterialTables& materials, int paletteIndex) {
  PaletteAt(materials, paletteIndex);
  const std::vector<MaterialRec>& recs = materials.recs;
  if (static_cast<std::size_t>(paletteIndex) < recs.size())
    return recs[static_cast<std::size_t>(paletteIndex)].TanDelta;
  const ColorDefinition* t = TableEntryOf(materials, paletteIndex);
  return t ? t->TanDelta : 0.0;
}

bool PaletteIsConductor(const MaterialTables& materials, int paletteIndex) {
  return PaletteAt(materials, paletteIndex).kind < KindInsul;
}

double CellPermittivity(const CapacitanceJob& job, int cX, int cY) {
  const SolverGrid& g = job.grid;
  long long index;
  if (cX < 0) {
    index = static_cast<long long>(cY) * g.Cwid;
  } else if (cY < 0) {
    index = cX;
  } else {
    index = static_cast<long long>(cY) * g.Cwid + cX;
  }
  if (index < 0) index = 0;
  return PalettePermittivity(job.materials, g.Cmat.at(static_cast<std::size_t>(index)));
}

double ApronCellPermittivity(const CapacitanceJob& job, int aX, int aY) {
  const SolverGrid& g = job.grid;
  const std::size_t i = static_cast<std::size_t>(aY) * static_cast<std::size_t>(g.Awid) +
                        static_cast<std::size_t>(aX);
  if (aX < 0 || aY < 0 || aX >= g.Awid || aY >= g.Ahei)
    throw std::out_of_range("ApronCellPermittivity: apron cell " + std::to_string(aX) + "," +
                            std::to_string(aY));
  if (g.Acode.at(i) & NodeOutside) {
    // Inside the core's footprint the apron cell stands for 8 x 8 Usermap pixels; the pixel
    // near its middle speaks for them.
    const PixelMap& map = job.map;
    if (map.Uwid < 1 || map.Uhei < 1) throw std::out_of_range("ApronCellPermittivity: no map");
    const int uX = Clamp(8 * aX + g.AtoUX + 3, 0, map.Uwid - 1);
    const int uY = Clamp(8 * aY + g.AtoUY + 3, 0, map.Uhei - 1);
    return PalettePermittivity(job.materials, map.Uindex.at(static_cast<std::size_t>(uY) *
                                                                static_cast<std::size_t>(map.Uwid) +
                                                            static_cast<std::size_t>(uX)));
  }
  return PalettePermittivity(job.materials, g.Amat.at(i));
}

double ApronCellPermittivityOrZero(const CapacitanceJob& job, int aX, int aY) {
  const SolverGrid& g = job.grid;
  aX = Clamp(aX, 0, g.Awid - 1);
  aY = Clamp(aY, 0, g.Ahei - 1);
  const int m = g.Amat.at(static_cast<std::size_t>(aY) * static_cast<std::size_t>(g.Awid) +
                          static_cast<std::size_t>(aX));
  if (PaletteIsConductor(job.materials, m)) return 0.0;
  return PalettePermittivity(job.materials, m);
}

}  // namespace zolva
