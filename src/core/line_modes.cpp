#include "core/line_modes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <stdexcept>

#include "core/line_figures.h"
#include "core/small_matrix.h"
#include "core/utility.h"

namespace zolva {

namespace {

std::size_t At(int i, int j, int n) {
  return static_cast<std::size_t>(i) * static_cast<std::size_t>(n) + static_cast<std::size_t>(j);
}

std::vector<double> Symmetrised(const std::vector<double>& a, int n) {
  std::vector<double> s(a.size());
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) s[At(i, j, n)] = 0.5 * (a[At(i, j, n)] + a[At(j, i, n)]);
  return s;
}

// X with W^T X = B for the lower triangular W: back substitution on the upper triangle W^T.
std::vector<double> SolveTransposedLower(const std::vector<double>& w, std::vector<double> b,
                                         int n) {
  for (int i = n - 1; i >= 0; --i)
    for (int k = 0; k < n; ++k) {
      double sum = b[At(i, k, n)];
      for (int j = i + 1; j < n; ++j) sum -= w[At(j, i, n)] * b[At(j, k, n)];
      b[At(i, k, n)] = sum / w[At(i, i, n)];
    }
  return b;
}

}  // namespace

std::string LineMatricesProblem(const LineMatrices& m) {
  if (m.n < 1) return "there is no signal conductor";
  const std::size_t entries = static_cast<std::size_t>(m.n) * static_cast<std::size_t>(m.n);
  const struct {
    const char* name;
    const std::vector<double>* values;
    const char* unit;
  } matrices[] = {{"C", &m.C, "F/m"}, {"L", &m.L, "H/m"}, {"R", &m.R, "ohm/m"}, {"G", &m.G, "S/m"}};
  for (const auto& matrix : matrices) {
    if (matrix.values->size() != entries)
      return std::string("the matrix ") + matrix.name + " has " +
             IntText(static_cast<long long>(matrix.values->size())) + " entries for " +
             IntText(m.n) + " conductors";
    for (int i = 0; i < m.n; ++i)
      for (int j = 0; j < m.n; ++j) {
        const double v = m.At(*matrix.values, i, j);
        // Diagonal entries: C and L above 0, R and G not below; off the diagonal any sign.
        bool wrong = !std::isfinite(v);
        if (i == j)
          wrong = wrong || v < 0 || (v == 0 && (matrix.name[0] == 'C' || matrix.name[0] == 'L'));
        if (wrong)
          return std::string(matrix.name) + "(" + IntText(i + 1) + "," + IntText(j + 1) + ") is " +
                 ExactText(v) + " " + matrix.unit + " at " + ExactText(m.frequencyHz) + " Hz";
      }
  }
  for (const char* name : {"C", "L"}) {
    try {
      CholeskyLower(Symmetrised(name[0] == 'C' ? m.C : m.L, m.n), m.n);
    } catch (const std::invalid_argument&) {
      return std::string("the matrix ") + name + " is not positive definite at " +
             ExactText(m.frequencyHz) + " Hz";
    }
  }
  return {};
}

CoupledModes LosslessModes(const LineMatrices& m) {
  const std::string problem = LineMatricesProblem(m);
  if (!problem.empty()) throw std::invalid_argument(problem);
  const int n = m.n;
  const std::vector<double> C = Symmetrised(m.C, n);
  const std::vector<double> L = Symmetrised(m.L, n);
  // With C = W W^T, L C x = mu x becomes (W^T L W) y = mu y for y = W^T x: a symmetric problem
  // whose mu = 1 / v^2 are positive, with orthonormal y.
  const std::vector<double> W = CholeskyLower(C, n);
  const std::vector<double> M = Symmetrised(Multiply(Multiply(Transposed(W, n), L, n), W, n), n);
  const SymmetricEigen<double> eigen = SymmetricJacobi(M, n);
  std::vector<int> order(static_cast<std::size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    return eigen.values[static_cast<std::size_t>(a)] < eigen.values[static_cast<std::size_t>(b)];
  });
  std::vector<double> Q(eigen.vectors.size());
  std::vector<double> mu;
  for (int k = 0; k < n; ++k) {
    const int from = order[static_cast<std::size_t>(k)];
    mu.push_back(eigen.values[static_cast<std::size_t>(from)]);
    for (int i = 0; i < n; ++i) Q[At(i, k, n)] = eigen.vectors[At(i, from, n)];
  }
  // The voltage vectors x = W^-T y. The characteristic impedance matrix is
  // W^-T Q diag(sqrt(mu)) Q^T W^-1 = E diag(sqrt(mu)) E^T with E = W^-T Q.
  const std::vector<double> E = SolveTransposedLower(W, Q, n);

  CoupledModes out;
  out.n = n;
  out.voltages = E;
  out.Zc.assign(E.size(), 0.0);
  for (int k = 0; k < n; ++k) {
    const double root = std::sqrt(mu[static_cast<std::size_t>(k)]);
    out.velocity.push_back(1.0 / root);
    out.velocityFactor.push_back(1.0 / (root * kSpeedOfLight));
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) out.Zc[At(i, j, n)] += E[At(i, k, n)] * root * E[At(j, k, n)];
    // The largest entry +1; of entries equal in size, the first.
    int largest = 0;
    for (int i = 1; i < n; ++i)
      if (std::fabs(E[At(i, k, n)]) > std::fabs(E[At(largest, k, n)]) * (1 + 1e-9)) largest = i;
    const double scale = E[At(largest, k, n)];
    for (int i = 0; i < n; ++i) out.voltages[At(i, k, n)] /= scale;
  }

  out.Kb.assign(E.size(), 0.0);
  out.Kf.assign(E.size(), 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      if (i == j) continue;
      const double self = std::sqrt(L[At(i, i, n)] * L[At(j, j, n)]);
      const double selfC = std::sqrt(C[At(i, i, n)] * C[At(j, j, n)]);
      const double kL = L[At(i, j, n)] / self;
      const double kC = -C[At(i, j, n)] / selfC;
      const double v = 1.0 / std::sqrt(self * selfC);
      out.Kb[At(i, j, n)] = (kL + kC) / 4.0;
      out.Kf[At(i, j, n)] = (kC - kL) / (2.0 * v);
    }

  if (n == 2) {
    const auto close = [](double a, double b) {
      return std::fabs(a - b) <= kPairSymmetryTolerance * 0.5 * (a + b);
    };
    out.symmetricPair = close(L[0], L[3]) && close(C[0], C[3]);
    if (out.symmetricPair) {
      const double Ls = 0.5 * (L[0] + L[3]), Cs = 0.5 * (C[0] + C[3]);
      const double Lm = L[1], C12 = C[1];
      // Odd: the conductors at +V and -V; each sees L - Lm and C11 - C12 = C11 + Cm.
      // Even: both at +V; each sees L + Lm and C11 + C12 = C11 - Cm.
      const double Lodd = Ls - Lm, Codd = Cs - C12, Leven = Ls + Lm, Ceven = Cs + C12;
      out.Zodd = std::sqrt(Lodd / Codd);
      out.Zeven = std::sqrt(Leven / Ceven);
      out.Zdiff = 2.0 * out.Zodd;
      out.Zcomm = out.Zeven / 2.0;
      out.vfOdd = 1.0 / (std::sqrt(Lodd * Codd) * kSpeedOfLight);
      out.vfEven = 1.0 / (std::sqrt(Leven * Ceven) * kSpeedOfLight);
    }
  }
  return out;
}

}  // namespace zolva
