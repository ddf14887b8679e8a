// Surface charges, islands and walkways of the field prediction: the charge iteration
// of one drive, the island set-up with its walkways, and the walks that carry potentials along
// the walkways from one island to the others.
#pragma once

#include <cstdint>

#include "csolver/prediction.h"
#include "csolver/prediction_field.h"

namespace zolva {

struct CapacitanceJob;

// An island number of a surface record while it has none.
inline constexpr std::int8_t kNoIsland = 127;
// A conductor node labelled during the island set-up holds 2000 + its record number.
inline constexpr double kLabelBase = 2000.0;

// The step of side s (1 up, 2 down, 3 left, 4 right).
constexpr int SideDx(int s) {
  return s == SideLeft ? -1 : (s == SideRight ? 1 : 0);
}
constexpr int SideDy(int s) {
  return s == SideUp ? -1 : (s == SideDown ? 1 : 0);
}

// The charge iteration for the drive with conductors of kind a at one pole (+0.5 in all) and of
// kind b at the other (-0.5), twenty rounds, then scaled so that the a island lies 1 volt above
// the b island (chargeScale). Returns at once, the charges half done, when abortRequested.
void IterateCharges(const CapacitanceJob& job, PredictionWork& w, int a, int b);

// The island set-up: labels and traces, extents and start points, the walkway ring, straight and
// bent walkways, new starts on the ring, joining and outward walkways. Sets islandFailed (and
// stops) when an island gets no walkway.
void FindIslands(const CapacitanceJob& job, PredictionWork& w);

// Carries potentials along the walkways from island i, whose own potential is start: every node
// reached takes its potential and NodeMarked, and every island whose walkway end is reached takes
// its iV. Does nothing for an island without a walkway.
void WalkIslands(const CapacitanceJob& job, PredictionWork& w, int i, double start);

// The lowest-numbered island of the kind, or -1.
int FirstIslandOfKind(const PredictionState& p, int kind);

}  // namespace zolva
