// The field prediction's entry point and the two small operations of it that run after every
// relaxation round: the floating conductors follow their surroundings, and a balanced line
// floats against the open boundary.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace zolva {

struct CapacitanceJob;

// Sides of an island, and the directions of the walkways that leave them.
enum IslandSideId : int { SideNone = 0, SideUp = 1, SideDown = 2, SideLeft = 3, SideRight = 4 };

// Four 16-bit coordinates indexed by the side 1..4 (entry 0 unused).
using IslandSide = std::array<std::int16_t, 5>;

// One island of the prediction: a chain of surface conductor nodes traced through their eight
// neighbours, normally the surface of one conductor body.
struct IslandRecord {
  std::int8_t iType = 0;      // conductor kind at the start point of side 1 (1, -1, 0, 2)
  std::int8_t iWalkSide = 0;  // 0 none, else the side whose start point the walkway leaves
  double iV = 0.0;            // the island's potential under the current charges
  IslandSide iX{}, iY{};      // start point of the walkway that would leave each side
  IslandSide iHX{}, iHY{};    // greatest coordinate along the extreme row (1, 2) or column (3, 4)
  IslandSide iLX{}, iLY{};    // least coordinate along it
};

// What the prediction knows about the surface list of the current solve, and what it leaves for
// the display and the next solve.
struct PredictionState {
  // Surface records per conductor kind.
  int plusSurfaces = 0;
  int minusSurfaces = 0;
  int groundSurfaces = 0;
  int floatSurfaces = 0;
  // The line has +1 and -1 volt surfaces and "Vo zero" is not checked: only then is the common
  // offset VoC of the two conductors searched and adjusted.
  bool balanceVo = false;
  // Weights of the three basic charge distributions when all three fixed kinds are present.
  double mixRB = 0.0, mixRG = 0.0, mixGB = 0.0;

  // Islands of the current prediction, rebuilt by every island set-up.
  std::vector<IslandRecord> islands;
  int islandCount = 0;
  bool islandFailed = false;
  double chargeScale = 1.0;
  // Rounds of the offset search of the last prediction with all three fixed kinds.
  int offsetRounds = 0;
  // Elapsed seconds of the last prediction, for the benchmarks.
  double seconds = 0.0;
};

// Counts the surface records per kind and decides balanceVo for the current solve. Called before
// PredictField, whether or not the prediction runs, so that the per-round adjustment never acts
// on the figures of an earlier solve.
void CountSurfaces(const CapacitanceJob& job);

// Starts the free voltages of an open cross-section from a predicted field: surface
// charges, islands and walkways, the offset VoC of a balanced line, line integrations over the
// core and the apron, and the floating conductors' mean potentials. Returns true when a
// prediction was made; false leaves every free node at 0 volt, as "Skip E prediction" does (also
// after a failed island set-up, with the notice, or after program error 3). May set
// abortRequested.
bool PredictField(const CapacitanceJob& job);

// Every floating colour takes the mean voltage of the free nodes beside its surface,
// over-relaxed by 1.5 against its previous voltage, and its conductor nodes are set to it.
void UpdateFloatingConductors(const CapacitanceJob& job);

// The four corner nodes in the core of every conductor pixel of palette colour `colour` take the
// voltage v.
void SetConductorNodes(const CapacitanceJob& job, int colour, double v);

// For a balanced line in open space: moves the common offset VoC of the +1 and -1 volt
// conductors so that the apron's border averages 0 volt, and shifts the field with it.
void AdjustOpenBoundary(const CapacitanceJob& job);

}  // namespace zolva
