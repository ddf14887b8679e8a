// The field prediction's field: the two-dimensional field of the surface charges at
// core and apron nodes, directly or from a coarse lattice and a cache, and the step rule that
// turns it into potentials along straight lines of nodes.
//
// The charges sit on the conductor nodes of the surface links. A link's charge acts as a line
// charge: its field at distance d is charge / d, pointing away from it. Potentials are found by
// integrating that field step by step with the trapezoid rule (without the factor 1/2, which
// the charge scale of the charge iteration absorbs): V(next) = V - (E(next) + E(here)) . step.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "csolver/solver_grid.h"

namespace zolva {

struct CapacitanceJob;

struct FieldVector {
  double x = 0.0, y = 0.0;
};

// The weights of a charge whose conductor node has a single link, for points close to it: the
// charge of such a corner node acts as if it sat a little further from its nearest free nodes.
inline constexpr double kSingleLinkNear = 0.962424;  // distance up to 1.1
inline constexpr double kSingleLinkMid = 1.009114;   // distance above 1.1 and below 1.9

// Charges in blocks of four, structure of arrays, padded with charges of zero far away: the sum
// over them is one pass over contiguous memory with no branch and no lookup. The block holds
// each charge three times, already weighted for the near (d <= 1.1, that is d^2 <= 1), the middle
// (d^2 <= 3) and the far distances, since node coordinates are integers.
struct alignas(32) ChargeBlock {
  double x[4], y[4];
  double qNear[4], qMid[4], qFar[4];
};

struct ChargeArrays {
  std::vector<ChargeBlock> blocks;
  int count = 0;
};

// Copies the charges (sCharge) and positions of all surface records into flat blocks.
void LoadCharges(const SolverGrid& g, ChargeArrays& charges);
// The direct sum of the field of the charges at the point (x, y) in core coordinates. A point on
// a charge's own node gives a field that is not finite.
FieldVector DirectField(const ChargeArrays& charges, double x, double y);
// The same sum formed literally, record by record in list order, for the tests.
FieldVector LiteralField(const SolverGrid& g, int x, int y);

// The per-prediction data of the field: the charges, the coarse lattice and the apron cache.
// Lives for one prediction.
struct PredictionWork {
  ChargeArrays charges;

  bool fieldOff = false;   // FieldAt returns 0 (the marking walk of the island set-up)
  bool useCoarse = false;  // FieldAt interpolates the coarse lattice away from the surfaces
  int coarseWidth = 0, coarseHeight = 0;
  std::vector<double> coarseEx, coarseEy;  // node (3i, 3j) at j * coarseWidth + i
  std::vector<double> apronEx, apronEy;    // apron-sized; valid at the cached free nodes

  // Events are processed after every progressInterval integration steps.
  int progressInterval = 1;
  int stepsSinceEvents = 0;

  // The area CacheApronField is filling, read by every participant.
  int cacheX1 = 0, cacheX2 = -1, cacheY1 = 0, cacheY2 = -1;

  // A field was asked for on a charge's own node (program error 3): the first such node, and
  // whether it has been reported. Set by any participant, reported by the main thread.
  std::atomic<bool> chargeNodeHit{false};
  int hitX = 0, hitY = 0;
  bool hitReported = false;
};

// The predicted field at core node (x, y): 0 while fieldOff; the coarse lattice's interpolation
// when useCoarse is set, the node lies in the core and lacks NodeNearSurface; else the direct
// sum. On a charge's own node it reports program error 3 (once) and gives 0.
FieldVector FieldAt(const CapacitanceJob& job, PredictionWork& w, int x, int y);
// The cached field at an apron node while useCoarse is set, else the direct field at the core
// position the apron node lies on.
FieldVector ApronFieldAt(const CapacitanceJob& job, PredictionWork& w, int aX, int aY);

// Fills the coarse lattice (every third core node, beyond the core too) and sets useCoarse
// unless Switch::NoCoarseLattice is on.
void BuildCoarseLattice(const CapacitanceJob& job, PredictionWork& w);

// The pool kernel of CacheApronField: participant t of T fills rows cacheY1 + t - 1, + T, ...
// Thread-safe for distinct t: each participant writes the cache entries of its own rows only.
void CacheApronRows(const CapacitanceJob& job, PredictionWork& w, int t, int T);
// Fills apronEx, apronEy at the free apron nodes of columns x1..x2 and rows y1..y2 on every
// participant of the pool, whose workers must run the kernel CacheApronRows.
void CacheApronField(const CapacitanceJob& job, PredictionWork& w, int x1, int x2, int y1, int y2);

// The permittivity a step into core node (x, y) (apron node (aX, aY)) is weighted by: that of the
// node's cell colour with Switch::PermittivityInLines on, else 1.
double CoreStepPermittivity(const CapacitanceJob& job, int x, int y);
double ApronStepPermittivity(const CapacitanceJob& job, int aX, int aY);

// Integrates the field from core node (x, y), whose voltage is the start, for up to n steps of
// (dx, dy), one of them 0 and the other +-1: every free node reached takes its potential and
// NodeMarked; the line stops at the first node that is not free and leaves it unchanged.
void IntegrateLine(const CapacitanceJob& job, PredictionWork& w, int x, int y, int dx, int dy,
                   int n);
// The same on the apron, each step 8 core nodes long.
void IntegrateApronLine(const CapacitanceJob& job, PredictionWork& w, int aX, int aY, int dx,
                        int dy, int n);
// A stage text of the panel: the letter followed by the number ("B7", "F12").
std::string ProgressText(char letter, int n);
// Counts one integration step; processes pending events every progressInterval steps.
void CountStep(const CapacitanceJob& job, PredictionWork& w);

// The mean predicted potential on the apron's outer ring, carried out from the walkway nodes of
// the core's outermost ring.
double MeanBorderPotential(const CapacitanceJob& job, PredictionWork& w);

// Index of core node (x, y); of apron node (aX, aY).
inline std::size_t CoreIndex(const SolverGrid& g, int x, int y) {
  return static_cast<std::size_t>(y) * static_cast<std::size_t>(g.Cwid) +
         static_cast<std::size_t>(x);
}
inline std::size_t ApronIndex(const SolverGrid& g, int aX, int aY) {
  return static_cast<std::size_t>(aY) * static_cast<std::size_t>(g.Awid) +
         static_cast<std::size_t>(aX);
}

}  // namespace zolva
