// The field prediction's entry point and the two small operations of it that run after every
// relaxation round: the floating conductors follow their surroundings, and a balanced line
// floats against the open boundary.
#pragma once

namespace zolva {

struct CapacitanceJob;

// What the prediction knows about the surface list of the current solve.
struct PredictionState {
  // Surface records per conductor kind.
  int plusSurfaces = 0;
  int minusSurfaces = 0;
  int groundSurfaces = 0;
  int floatSurfaces = 0;
  // The line has +1 and -1 volt surfaces and "Vo zero" is not checked: only then is the common
  // offset VoC of the two conductors searched and adjusted.
  bool balanceVo = false;
};

// Counts the surface records per kind and decides balanceVo for the current solve. Called before
// PredictField, whether or not the prediction runs, so that the per-round adjustment never acts
// on the figures of an earlier solve.
void CountSurfaces(const CapacitanceJob& job);

// Starts the free voltages of an open cross-section from a predicted field. Returns true when a
// prediction was made; false leaves every free node at 0 volt, as "Skip E prediction" does.
// May set abortRequested.
bool PredictField(const CapacitanceJob& job);

// Every floating colour takes the mean voltage of the free nodes beside its surface,
// over-relaxed by 1.5 against its previous voltage, and its conductor nodes are set to it.
void UpdateFloatingConductors(const CapacitanceJob& job);

// For a balanced line in open space: moves the common offset VoC of the +1 and -1 volt
// conductors so that the apron's border averages 0 volt, and shifts the field with it.
void AdjustOpenBoundary(const CapacitanceJob& job);

}  // namespace zolva
