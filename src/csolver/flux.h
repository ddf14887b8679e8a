// The flux function: the two-dimensional companion of the potential whose contour lines are the
// E field lines. The difference of psi between two nodes is the electric flux that crosses any
// path between them, so equally spaced levels of psi carry equal flux. psi is integrated along
// grid lines from a seed node and scaled so that one turn around the charged conductor spans 2;
// kept within -1..1, it wraps, and its unavoidable cut does not show as a line.
#pragma once

#include <cstdint>
#include <vector>

#include "core/display.h"

namespace zolva {

struct FieldPaintJob;

// One lattice the integration walks: the core or the apron. eps holds the permittivity of each
// cell, named by its top-left node (same layout as the voltages).
struct FluxLattice {
  const double* V = nullptr;
  const std::uint8_t* code = nullptr;
  const double* eps = nullptr;
  double* psi = nullptr;
  int width = 0, height = 0;
  double k = 0.25;  // flux per unit of permittivity times the two-sided voltage differences
  int* fluxNodes = nullptr;
};

// One integration run along row `fixed` (alongRow) or column `fixed` from `start` towards `end`:
// nothing unless the start node holds psi; a node that already holds psi ends the run untouched;
// a node that is not free ends it after receiving its value. Returns the number of nodes written.
// Throws std::out_of_range for a start, end or line outside the lattice.
int IntegrateFluxRun(const FluxLattice& lattice, int start, int end, int fixed, bool alongRow);

// Fills field.Cflux (and field.Aflux when the apron is active) from the solved potential, and
// paints the flux as colours under Switch::ShowFluxValues. Without a free node near the map's
// centre no psi is set and nothing fails.
void ComputeFlux(const FieldPaintJob& job, DisplayField& field);

// The colour of a flux value for the colour view: grey, or the colour wheel under
// Switch::FluxColourWheel.
std::uint32_t FluxColor(const DisplayField& field, double psi, bool wheel);
// The 256 colours of the wheel: three cosines a third of a turn apart.
void BuildFluxWheel(DisplayField& field);

}  // namespace zolva
