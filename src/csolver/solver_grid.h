// The capacitance solver's two lattices of voltage nodes: the core (one node per pixel corner)
// and the apron (one node every 8 core nodes) around it, with the offsets between the frames.
//
// Coordinates: core node (cX, cY) is the top-left corner of Usermap pixel (cX + CtoUX,
// cY + CtoUY); apron node (aX, aY) lies on core node (8 aX + AtoCX, 8 aY + AtoCY). Every array
// is flat and row-major (index = y * width + x), so a kernel reaches the four neighbours of a
// node at index +-1 and +-width.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "csolver/relax_plan.h"

namespace zolva {

struct CapacitanceJob;
struct MaterialTables;

// Node codes: bit sets, tested by bit. "Free" means code & 3 != 0.
inline constexpr std::uint8_t NodeFree = 1;       // plain four-neighbour average
inline constexpr std::uint8_t NodeFreeMixed = 2;  // permittivity-weighted or edge update
inline constexpr std::uint8_t NodeConductor = 4;  // held voltage
inline constexpr std::uint8_t NodeOutside = 8;    // core: no field; apron: inside the footprint
inline constexpr std::uint8_t NodeMarked = 16;    // transient mark: surface analysis, prediction
// Bits of the field prediction, cleared when it ends.
inline constexpr std::uint8_t NodeWalkway = 32;      // on a walkway between islands
inline constexpr std::uint8_t NodeNearSurface = 64;  // free node of a surface link

// The apron is 400 x 400 nodes when a field region reaches the map's edge, 1 x 1 otherwise; its
// 3200 x 3200 core-node span also bounds the core. The multigrid solve widens it so that the
// open boundary lies at least kApronReach times the diagonal of the conductors' bounding box
// from the box's centre: measured in metres, a reach that does not shrink as the pixels do.
inline constexpr int kApronSize = 400;
inline constexpr double kApronReach = 8.0;
inline constexpr int kMaxApronNodes = 1600;
// Apron nodes a side for the multigrid solve: kApronSize, or more for the reach above.
int ApronNodesFor(double reachNodes);
inline constexpr int kMaxCoreNodes = 3200;
inline constexpr int kEdgeFactorCount = 400;

// One link between a conductor node and a free core node next to it. The fields the field
// prediction owns are zero here.
struct SurfaceRecord {
  std::int32_t link = 0;  // chain link of the surface analysis; 0 otherwise
  std::int16_t conX = 0, conY = 0;
  std::int16_t insX = 0, insY = 0;
  std::int8_t sType = 0;     // MaterialKind of the conductor
  std::uint8_t sM = 0;       // palette index of the conductor's colour (any of the 256)
  std::int8_t surfaces = 0;  // number of links of the same conductor node
  std::int8_t island = 0;
  float chargeX = 0.0f, chargeY = 0.0f;
  double EfieldX = 0.0, EfieldY = 0.0;
  double sCharge = 0.0;  // +1 for a +1 volt conductor, -1 for a -1 volt one, else 0
  double sRBcharge = 0.0, sRGcharge = 0.0, sGBcharge = 0.0;
  double LastCharge1 = 0.0, LastCharge2 = 0.0;
};

// What the chain analysis of the surface (Switch::ChainAnalysis) found, for the debug display.
struct ChainStatistics {
  int records = 0;
  int links = 0;
  int chains = 0;
  int link1 = 0;  // link of the second record
};

// What the last multigrid field solve did, for the benchmarks and the tests.
struct FieldSolveStats {
  int iterations = 0;     // BiCGStab iterations of every solve, two cycles each
  int solves = 0;         // linear solves: the main one, one per superposed voltage, the last one
  int levels = 0;         // levels of the multigrid hierarchy, the finest included
  double residual = 0.0;  // relative residual of the last solve
  std::size_t memoryBytes = 0;  // hierarchy and Krylov vectors
  bool converged = false;
};

struct SolverGrid {
  int Cwid = 1, Chei = 1, Awid = 1, Ahei = 1;
  int UtoCX = 0, UtoCY = 0, CtoUX = 0, CtoUY = 0;
  int AtoCX = 0, AtoCY = 0, CtoAX = 0, CtoAY = 0;
  int AtoUX = 0, AtoUY = 0;
  int footLeft = 0, footRight = 0, footTop = 0, footBottom = 0;
  int predictLeft = 0, predictRight = 0, predictTop = 0, predictBottom = 0;
  int predictWidth = 0, predictHeight = 0;
  bool openBoundary = false;
  bool apronActive = false;
  std::vector<double> Cvolts = std::vector<double>(1, 0.0);
  std::vector<double> Avolts = std::vector<double>(1, 0.0);
  std::vector<std::uint8_t> Ccode = std::vector<std::uint8_t>(1, 0);
  std::vector<std::uint8_t> Acode = std::vector<std::uint8_t>(1, 0);
  std::vector<std::uint8_t> Cmat = std::vector<std::uint8_t>(1, 0);
  std::vector<std::uint8_t> Amat = std::vector<std::uint8_t>(1, 0);

  // Surface links between conductor nodes and free core nodes.
  std::vector<SurfaceRecord> surfaceList = std::vector<SurfaceRecord>(1);
  int surfaceCount = 0;
  ChainStatistics chainStats;

  // Decay of the potential beyond the apron's border, per border column or row (at least
  // kEdgeFactorCount, else Awid entries).
  std::vector<double> edgeFactor = std::vector<double>(kEdgeFactorCount, 0.0);

  // Open-boundary figures of the apron's outer border.
  double borderFlux = 0.0;
  double borderMean = 0.0;

  // Start of the current capacitance solve or resumed relaxation (date-time in days).
  double solveStartTime = 0.0;

  // The per-solve coefficients and the work split of the relaxation.
  RelaxPlan plan;
  FieldSolveStats solveStats;
};

// Empties the grid: every shared array shrinks to one node, the surface list to one record, the
// apron is inactive and no relaxation can be resumed.
void ResetGrid(SolverGrid& grid, bool& fieldReady);
// Sizes and places the core and the apron for the current map and field regions and allocates
// the shared arrays, zero-filled. Returns false, after "Aborted.  Usermap too large.", when the
// core (with the apron ring it needs) does not fit the 3200-node limit.
bool SizeGrid(const CapacitanceJob& job);

// R8(n): n rounded up to a multiple of 8.
constexpr int RoundUp8(int n) {
  return (n + 7) & ~7;
}

// Voltage of a core node; 0 outside the core.
double CoreValue(const SolverGrid& g, int cX, int cY);
// What the apron sees at (aX, aY): 0 outside the apron, the node's own voltage when it is free,
// else the voltage of the core node it lies on when that is inside the core.
double ApronValue(const SolverGrid& g, int aX, int aY);
// The apron's field at a core position just outside the core's edge, interpolated bilinearly
// between the four apron nodes around it. Throws std::out_of_range when those nodes are not all
// inside the apron.
double InterpolateApron(const SolverGrid& g, int cX, int cY);

// Permittivity and loss tangent of a palette colour: its material record, else its colour-table
// entry (a colour added after the records were filled), else vacuum.
double PalettePermittivity(const MaterialTables& materials, int paletteIndex);
double PaletteTanDelta(const MaterialTables& materials, int paletteIndex);
// True when the palette colour is a conductor (kind below 6).
bool PaletteIsConductor(const MaterialTables& materials, int paletteIndex);

// Permittivity of the core cell whose top-left node is (cX, cY); coordinates left of or above
// the core fold onto its first column or row.
double CellPermittivity(const CapacitanceJob& job, int cX, int cY);
// Permittivity of an apron cell for the weighted update: inside the core's footprint the
// material of the Usermap pixel near the cell's middle, else the cell's own material.
double ApronCellPermittivity(const CapacitanceJob& job, int aX, int aY);
// Permittivity of an apron cell for the classification: 0 for a conductor cell.
double ApronCellPermittivityOrZero(const CapacitanceJob& job, int aX, int aY);

}  // namespace zolva
