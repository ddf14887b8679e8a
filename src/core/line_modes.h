// The modes of a lossless coupled line from its L and C matrices: the waves that travel along
// it without changing shape, their velocities and voltage patterns, the characteristic
// impedance matrix, and for a symmetric pair the odd and even modes and the crosstalk
// coefficients.
#pragma once

#include <string>
#include <vector>

#include "core/line_matrices.h"

namespace zolva {

// Two diagonal entries of a pair closer than this fraction make it symmetric: its modes are then
// reported as odd and even.
inline constexpr double kPairSymmetryTolerance = 0.005;

struct CoupledModes {
  int n = 0;
  // Per mode, the fastest first: the velocity (m/s) and velocity factor of the wave whose
  // conductor voltages are column k of `voltages` (n x n, row-major), scaled so that the entry of
  // largest magnitude is +1.
  std::vector<double> velocity;
  std::vector<double> velocityFactor;
  std::vector<double> voltages;
  // The characteristic impedance matrix (n x n, ohm): the conductor voltages of any wave
  // travelling one way are Zc times its conductor currents. A line ends without reflection in a
  // resistor network of this impedance matrix.
  std::vector<double> Zc;
  // Per pair i != j (n x n, 0 on the diagonal), with Lm = L_ij, Cm = -C_ij and L, C, v those of
  // the two conductors (geometric means of the pair's diagonal entries, v = 1 / sqrt(L C)):
  // the backward (near-end) coefficient Kb = (Lm/L + Cm/C) / 4, no unit, and the forward
  // (far-end) coefficient Kf = (Cm/C - Lm/L) / (2 v), seconds per metre of coupled length.
  std::vector<double> Kb;
  std::vector<double> Kf;
  // Two conductors with equal diagonal entries (within kPairSymmetryTolerance): the odd mode
  // (+1, -1) and the even mode (+1, +1), from the means of the diagonal entries.
  bool symmetricPair = false;
  double Zodd = 0.0, Zeven = 0.0;  // ohm, per conductor
  double Zdiff = 0.0;              // 2 Zodd, between the two conductors
  double Zcomm = 0.0;              // Zeven / 2, of the two conductors tied together
  double vfOdd = 0.0, vfEven = 0.0;
};

// Why the matrices cannot describe a line (naming the entry and its value), or empty: at least
// one conductor, n x n entries, finite numbers, C and L positive definite, R and the diagonal of
// G not negative.
std::string LineMatricesProblem(const LineMatrices& m);

// The lossless modes: the eigenvectors of L C, found as those of the symmetric W^T L W where
// C = W W^T. The matrices' small asymmetry, which measures the solve, is averaged out. Throws
// std::invalid_argument with LineMatricesProblem's text.
CoupledModes LosslessModes(const LineMatrices& m);

}  // namespace zolva
