// The capacitance solver's entry point: the "Solve for C and Gp" stage.
#pragma once

namespace zolva {

struct CapacitanceJob;

// Relaxes the potential of the current map and sums C and Gp into the results record. The solve
// control calls it after SolveSetup has found the field regions. A stopped relaxation is
// continued by Relax and FinishCapacitance (relaxation.h, summation.h) on the grid as it stands.
void SolveCapacitance(const CapacitanceJob& job);

}  // namespace zolva
