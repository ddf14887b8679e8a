// The capacitance solver's entry points: the "Solve for C and Gp" stage, the resume of a stopped
// relaxation, and the discarding of the grid when the cross-section changes.
#pragma once

namespace zolva {

struct Context;

// Relaxes the potential of the current map and sums C and Gp into the results record. The solve
// control calls it after SolveSetup has found the field regions.
void SolveCapacitance(Context& ctx);
// Continues a stopped relaxation on the grid as it stands (the Resume button, via the tick).
void ResumeRelaxation(Context& ctx);
// Discards the previous solution: every grid array shrinks to one node, the apron is inactive
// and the display no longer has a field to show.
void ResetGrid(Context& ctx);

}  // namespace zolva
