// Coupled lines whose matrices are known in closed form, for the tests of the modes and of the
// coupled files: thin round wires over a ground plane, by the images of their charges.
#pragma once

#include <cmath>
#include <complex>
#include <string>
#include <utility>
#include <vector>

#include "core/line_matrices.h"
#include "core/small_matrix.h"

namespace zolva::testing {

inline constexpr double kEpsilon0 = 8.8541878128e-12;
inline constexpr double kMu0 = 1.25663706212e-6;
inline constexpr double kPiValue = 3.141592653589793;

// Wires of radius a at (x, height) over a ground plane, in air. The charge q_j on wire j and
// -q_j on its image give the potential coefficients P_ii = ln(2 h_i / a) / (2 pi e0) and
// P_ij = ln(d'_ij / d_ij) / (2 pi e0) (d to the wire, d' to its image): C = P^-1 with the
// Maxwell signs and L = mu0 e0 P, the TEM relation of a uniform medium. Thin wires: the charge of
// each wire sits at its centre. R and G are 0.
inline LineMatrices WiresOverPlane(const std::vector<std::pair<double, double>>& wires,
                                   double radius, double frequencyHz) {
  const int n = static_cast<int>(wires.size());
  const auto at = [n](int i, int j) { return static_cast<std::size_t>(i * n + j); };
  std::vector<double> P(static_cast<std::size_t>(n * n));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const auto [xi, hi] = wires[static_cast<std::size_t>(i)];
      const auto [xj, hj] = wires[static_cast<std::size_t>(j)];
      const double direct = i == j ? radius : std::hypot(xi - xj, hi - hj);
      const double image = std::hypot(xi - xj, hi + hj);
      P[at(i, j)] = std::log(image / direct) / (2 * kPiValue * kEpsilon0);
    }
  // C = P^-1.
  std::vector<std::complex<double>> coefficients(P.begin(), P.end()), unit(P.size(), 0.0);
  for (int i = 0; i < n; ++i) unit[at(i, i)] = 1.0;
  const std::vector<std::complex<double>> inverse = SolveLinear(coefficients, n, unit, n);
  LineMatrices m;
  m.n = n;
  for (int i = 0; i < n; ++i) m.names.push_back(std::to_string(i + 1));
  m.frequencyHz = frequencyHz;
  for (const std::complex<double>& c : inverse) m.C.push_back(c.real());
  for (double p : P) m.L.push_back(kMu0 * kEpsilon0 * p);
  m.R.assign(P.size(), 0.0);
  m.G.assign(P.size(), 0.0);
  return m;
}

// A symmetric pair in a medium that is not uniform, as a pair on a board is: the even mode sees
// the relative permittivity eEven, the odd mode eOdd (L stays as in air).
inline LineMatrices InhomogeneousPair(LineMatrices m, double eEven, double eOdd) {
  const double even = (m.C[0] + m.C[1]) * eEven, odd = (m.C[0] - m.C[1]) * eOdd;
  m.C = {(even + odd) / 2, (even - odd) / 2, (even - odd) / 2, (even + odd) / 2};
  return m;
}

// Skin-effect resistance R = rSelf sqrt(f / 1 GHz) on the diagonal and a tenth of it between
// conductors (the shared return), and dielectric loss G = w C tan(delta).
inline LineMatrices WithLoss(LineMatrices m, double rSelf, double tanDelta) {
  const double scale = std::sqrt(m.frequencyHz / 1e9);
  const double w = 2 * kPiValue * m.frequencyHz;
  for (int i = 0; i < m.n; ++i)
    for (int j = 0; j < m.n; ++j) {
      const std::size_t e = static_cast<std::size_t>(i * m.n + j);
      m.R[e] = rSelf * scale * (i == j ? 1.0 : 0.1);
      m.G[e] = w * tanDelta * m.C[e];
    }
  return m;
}

}  // namespace zolva::testing
