// The coupled line that the per-metre matrices describe, with its losses: the scattering
// parameters of a length of it, and the W-element model fitted to a frequency sweep.
#pragma once

#include <complex>
#include <vector>

#include "core/line_matrices.h"

namespace zolva {

// The scattering matrix of `length` metres of the line between ports of reference impedance z0
// (each conductor against the reference): 2n x 2n, row-major; ports 1..n are the near ends of
// conductors 1..n, ports n+1..2n their far ends. Exact for the lossy line at the matrices'
// frequency (above 0). Throws std::invalid_argument for matrices that describe no line, a
// negative length or a z0 not above 0.
std::vector<std::complex<double>> CoupledSParameters(const LineMatrices& m, double length,
                                                     double z0);

// The W-element's frequency-dependent matrices, entry by entry as for one conductor:
// R = R0 + Rs sqrt(f), G = G0 + Gd f, L = L0 + Rs / (2 pi sqrt(f)), C = C0, each n x n. An entry
// whose values are mostly negative (the mutual terms of G, sometimes of R) is fitted by its
// magnitude with the sign put back.
struct WElementMatrices {
  int n = 0;
  std::vector<double> R0, L0, C0, G0, Rs, Gd;
  // The largest difference of the model from the points, relative to the geometric mean of the
  // two diagonal entries of the same row and column (0 where those are 0).
  double worstR = 0.0, worstL = 0.0, worstG = 0.0;
};
// Needs at least one point; all of the same size and valid (LineMatricesProblem).
WElementMatrices FitWElementMatrices(const std::vector<LineMatrices>& points);

}  // namespace zolva
