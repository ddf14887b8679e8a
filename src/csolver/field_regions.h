// Where an electric field can exist. An insulator area carries field only when it touches
// conductors of at least two different fixed voltages; an area enclosed by one conductor, or
// touching one voltage and floating bodies only, is field-free and left out of the solution.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/materials.h"

namespace zolva {

struct CapacitanceJob;

inline constexpr int kMaxFieldRegions = 100;

// One field region: the insulator pixel its fill started from and its bounding box, in Usermap
// coordinates.
struct RegionRecord {
  int seedX = 0, seedY = 0;
  int minX = 0, maxX = 0, minY = 0, maxY = 0;
};

// Ukind codes of the fill. An insulator pixel not yet filled holds KindInsul (6); a pixel on the
// fill's current path holds the move that entered it; a finished pixel holds RegionFilled.
inline constexpr std::int8_t RegionFilled = KindInsulInField;  // also the seed's move
inline constexpr std::int8_t MoveRight = 9;
inline constexpr std::int8_t MoveLeft = 10;
inline constexpr std::int8_t MoveDown = 11;
inline constexpr std::int8_t MoveUp = 12;

struct FieldRegions {
  std::array<RegionRecord, kMaxFieldRegions> table{};
  int regionCount = 0;

  // What the last collecting fill met: conductors of kind +1, -1, 0 and floating, and the box of
  // the pixels it filled.
  bool metPlus = false, metMinus = false, metGround = false, metFloat = false;
  int minX = 0, maxX = 0, minY = 0, maxY = 0;

  // Coupled lines: the conductor number of every pixel (conductor_numbering.h), set before the
  // regions are found; empty otherwise. An area is then a field region when it meets two
  // different conductors (the ground counting as one), or reaches the map's edge and meets one:
  // every conductor is driven in turn, whatever its kind.
  std::vector<std::int16_t> coupledNumbers;
  int metConductor = 0;  // the first conductor met (-1 the ground), 0 none
  bool metTwo = false;   // and another one
};

// Fills the 4-connected insulator area around (x, y) with RegionFilled, without a stack: each
// pixel on the path keeps the move that entered it, so the fill can retrace its way back. With
// collect set, records what the area touches and its box.
void FloodRegion(const CapacitanceJob& job, int x, int y, bool collect);
// Fills the area around (x, y) and appends it to the table when it is a field region. Returns
// false (after a message) when the table is already full.
// `edge`: the seed lies on the map's edge.
bool TryRegion(const CapacitanceJob& job, int x, int y, bool edge = false);
// Finds every field region, leaves their pixels at RegionFilled in Ukind, and sets openBoundary
// when one of them reaches the edge of the map. Returns false, with abortRequested and
// operationFailed set, when there are more field regions than the solver can hold.
bool FindFieldRegions(const CapacitanceJob& job);

}  // namespace zolva
