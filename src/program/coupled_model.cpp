#include "program/coupled_model.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "core/line_modes.h"
#include "core/small_matrix.h"
#include "program/rlgc_model.h"

namespace zolva {

namespace {

using Complex = std::complex<double>;
constexpr double kTwoPi = 6.283185307179586;

std::size_t At(int i, int j, int n) {
  return static_cast<std::size_t>(i) * static_cast<std::size_t>(n) + static_cast<std::size_t>(j);
}

// R + jw L (or G + jw C), with the two triangles averaged.
std::vector<Complex> Immittance(const std::vector<double>& real, const std::vector<double>& perW,
                                double w, int n) {
  std::vector<Complex> z(real.size());
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      z[At(i, j, n)] = 0.5 * Complex(real[At(i, j, n)] + real[At(j, i, n)],
                                     w * (perW[At(i, j, n)] + perW[At(j, i, n)]));
  return z;
}

}  // namespace

std::vector<Complex> CoupledSParameters(const LineMatrices& m, double length, double z0) {
  const std::string problem = LineMatricesProblem(m);
  if (!problem.empty()) throw std::invalid_argument(problem);
  if (!(m.frequencyHz > 0) || !std::isfinite(m.frequencyHz))
    throw std::invalid_argument("a coupled line's S-parameters need a frequency above 0");
  if (!(length >= 0) || !std::isfinite(length) || !(z0 > 0) || !std::isfinite(z0))
    throw std::invalid_argument("a multiport needs a length of at least 0 and a positive z0");
  const int n = m.n;
  const double w = kTwoPi * m.frequencyHz;
  const std::vector<Complex> Z = Immittance(m.R, m.L, w, n);
  const std::vector<Complex> Y = Immittance(m.G, m.C, w, n);

  // The telegrapher's equations dV/dz = -Z I, dI/dz = -Y V. With Y = W W^T (W lower
  // triangular, no conjugation) the modes are the eigenvectors of the complex symmetric
  // W^T Z W = Q diag(gamma^2) Q^T, Q^T Q = I: mode k has the conductor voltages column k of
  // E = W^-T Q and the currents column k of H = W Q diag(1/gamma), and it travels as
  // exp(-gamma_k z).
  const std::vector<Complex> W = CholeskyLower(Y, n);
  std::vector<Complex> M = Multiply(Multiply(Transposed(W, n), Z, n), W, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j)
      M[At(i, j, n)] = M[At(j, i, n)] = 0.5 * (M[At(i, j, n)] + M[At(j, i, n)]);
  const SymmetricEigen<Complex> eigen = SymmetricJacobi(M, n);
  const std::vector<Complex>& Q = eigen.vectors;
  std::vector<Complex> gamma, P;
  for (const Complex& lambda : eigen.values) {
    Complex g = std::sqrt(lambda);
    // The root of the wave travelling forwards: it lags (and decays).
    if (g.imag() < 0 || (g.imag() == 0 && g.real() < 0)) g = -g;
    gamma.push_back(g);
    P.push_back(std::exp(-g * length));
  }
  std::vector<Complex> E = Q;  // W^T E = Q, back substitution on the upper triangle W^T
  for (int i = n - 1; i >= 0; --i)
    for (int k = 0; k < n; ++k) {
      Complex sum = E[At(i, k, n)];
      for (int j = i + 1; j < n; ++j) sum -= W[At(j, i, n)] * E[At(j, k, n)];
      E[At(i, k, n)] = sum / W[At(i, i, n)];
    }
  std::vector<Complex> H = Multiply(W, Q, n);
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < n; ++k) H[At(i, k, n)] /= gamma[static_cast<std::size_t>(k)];

  // Per mode, f the forward wave at the near end and h the backward wave at the far end, so that
  // nothing grows however long or lossy the line (P = exp(-gamma l) carries each across):
  //   near end V1 = E (f + P h),  current into the line I1 = H (f - P h)
  //   far end  V2 = E (P f + h),  current into the line I2 = -H (P f - h).
  // The incident waves a = (V + z0 I) / (2 sqrt z0) and the reflected b = (V - z0 I) / (2 sqrt z0)
  // at the 2n ports are then [a1; a2] ~ K [f; h] and [b1; b2] ~ N [f; h] with
  //   K = [E + z0 H, (E - z0 H) P; (E - z0 H) P, E + z0 H],
  //   N = [E - z0 H, (E + z0 H) P; (E + z0 H) P, E - z0 H],
  // and S = N K^-1. K is regular: a line between resistors has no undriven wave.
  const int ports = 2 * n;
  std::vector<Complex> K(static_cast<std::size_t>(ports) * static_cast<std::size_t>(ports));
  std::vector<Complex> N(K.size());
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < n; ++k) {
      const Complex plus = E[At(i, k, n)] + z0 * H[At(i, k, n)];
      const Complex minus = E[At(i, k, n)] - z0 * H[At(i, k, n)];
      const Complex p = P[static_cast<std::size_t>(k)];
      K[At(i, k, ports)] = K[At(i + n, k + n, ports)] = plus;
      K[At(i, k + n, ports)] = K[At(i + n, k, ports)] = minus * p;
      N[At(i, k, ports)] = N[At(i + n, k + n, ports)] = minus;
      N[At(i, k + n, ports)] = N[At(i + n, k, ports)] = plus * p;
    }
  // S K = N, solved as K^T S^T = N^T.
  const std::vector<Complex> St =
      SolveLinear(Transposed(K, ports), ports, Transposed(N, ports), ports);
  return Transposed(St, ports);
}

WElementMatrices FitWElementMatrices(const std::vector<LineMatrices>& points) {
  if (points.empty()) throw std::invalid_argument("a W-element fit needs at least one frequency");
  const int n = points.front().n;
  for (const LineMatrices& p : points) {
    const std::string problem = LineMatricesProblem(p);
    if (!problem.empty()) throw std::invalid_argument(problem);
    if (p.n != n) throw std::invalid_argument("the frequencies have different conductor counts");
  }
  WElementMatrices out;
  out.n = n;
  const std::size_t entries = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  for (std::vector<double>* v : {&out.R0, &out.L0, &out.C0, &out.G0, &out.Rs, &out.Gd})
    v->assign(entries, 0.0);
  const auto mean = [](const LineMatrices& p, const std::vector<double>& v, int i, int j) {
    return 0.5 * (p.At(v, i, j) + p.At(v, j, i));
  };
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) {
      double sumR = 0, sumG = 0;
      for (const LineMatrices& p : points) {
        sumR += mean(p, p.R, i, j);
        sumG += mean(p, p.G, i, j);
      }
      const double signR = sumR < 0 ? -1.0 : 1.0, signG = sumG < 0 ? -1.0 : 1.0;
      std::vector<RlgcPoint> entry;
      for (const LineMatrices& p : points) {
        RlgcPoint e;
        e.frequency = p.frequencyHz;
        // L goes with R: the skin effect's internal inductance is Rs / (2 pi sqrt(f)) of the
        // same sign as the resistance.
        e.R = signR * mean(p, p.R, i, j);
        e.L = signR * mean(p, p.L, i, j);
        e.G = signG * mean(p, p.G, i, j);
        e.C = mean(p, p.C, i, j);
        entry.push_back(e);
      }
      const WElementModel fit = FitWElement(entry);
      const double values[6] = {signR * fit.R0, signR * fit.L0, fit.C0,
                                signG * fit.G0, signR * fit.Rs, signG * fit.Gd};
      std::vector<double>* targets[6] = {&out.R0, &out.L0, &out.C0, &out.G0, &out.Rs, &out.Gd};
      for (int k = 0; k < 6; ++k)
        (*targets[k])[At(i, j, n)] = (*targets[k])[At(j, i, n)] = values[k];
    }
  const auto relative = [](double difference, double scale) {
    return scale > 0 ? std::fabs(difference) / scale : 0.0;
  };
  for (const LineMatrices& p : points) {
    const double root = std::sqrt(p.frequencyHz);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        const std::size_t e = At(i, j, n);
        const double scaleR = std::sqrt(std::fabs(p.At(p.R, i, i) * p.At(p.R, j, j)));
        const double scaleL = std::sqrt(std::fabs(p.At(p.L, i, i) * p.At(p.L, j, j)));
        const double scaleG = std::sqrt(std::fabs(p.At(p.G, i, i) * p.At(p.G, j, j)));
        const double R = out.R0[e] + out.Rs[e] * root;
        const double L = out.L0[e] + out.Rs[e] / (kTwoPi * root);
        const double G = out.G0[e] + out.Gd[e] * p.frequencyHz;
        out.worstR = std::max(out.worstR, relative(R - mean(p, p.R, i, j), scaleR));
        out.worstL = std::max(out.worstL, relative(L - mean(p, p.L, i, j), scaleL));
        out.worstG = std::max(out.worstG, relative(G - mean(p, p.G, i, j), scaleG));
      }
  }
  return out;
}

}  // namespace zolva
