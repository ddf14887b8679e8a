#include "core/small_matrix.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace zolva {

using Complex = std::complex<double>;

namespace {

std::size_t At(int i, int j, int n) {
  return static_cast<std::size_t>(i) * static_cast<std::size_t>(n) + static_cast<std::size_t>(j);
}

double Magnitude(double x) {
  return std::fabs(x);
}
double Magnitude(const Complex& x) {
  return std::abs(x);
}

// The root r of tau^2 + 1 that makes |tau + r| the larger, so that the rotation's tangent
// t = 1 / (tau + r) is the smaller root of t^2 + 2 tau t - 1 = 0: the rotation by less than 45
// degrees, which keeps Jacobi's sweeps converging.
double LargerSum(double tau) {
  const double r = std::sqrt(tau * tau + 1.0);
  return tau >= 0 ? tau + r : tau - r;
}
Complex LargerSum(const Complex& tau) {
  const Complex r = std::sqrt(tau * tau + 1.0);
  return std::abs(tau + r) >= std::abs(tau - r) ? tau + r : tau - r;
}

}  // namespace

template <class T>
SymmetricEigen<T> SymmetricJacobi(std::vector<T> a, int n) {
  if (n < 1 || a.size() != static_cast<std::size_t>(n) * static_cast<std::size_t>(n))
    throw std::invalid_argument("a symmetric eigenproblem needs a square matrix");
  std::vector<T> q(a.size(), T(0));
  for (int i = 0; i < n; ++i) q[At(i, i, n)] = T(1);
  double total = 0;
  for (const T& x : a) total += Magnitude(x) * Magnitude(x);
  const auto offDiagonal = [&] {
    double sum = 0;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        if (i != j) sum += Magnitude(a[At(i, j, n)]) * Magnitude(a[At(i, j, n)]);
    return sum;
  };
  constexpr int kSweeps = 60;
  bool converged = false;
  for (int sweep = 0; sweep < kSweeps && !converged; ++sweep) {
    if (offDiagonal() <= 1e-30 * total) {
      converged = true;
      break;
    }
    for (int p = 0; p < n - 1; ++p) {
      for (int r = p + 1; r < n; ++r) {
        const T apr = a[At(p, r, n)];
        // An entry below the rounding of the diagonal is let go without a rotation.
        if (Magnitude(apr) <= 1e-18 * (Magnitude(a[At(p, p, n)]) + Magnitude(a[At(r, r, n)]))) {
          a[At(p, r, n)] = a[At(r, p, n)] = T(0);
          continue;
        }
        const T tau = (a[At(r, r, n)] - a[At(p, p, n)]) / (2.0 * apr);
        const T t = 1.0 / LargerSum(tau);
        const T c = 1.0 / std::sqrt(t * t + 1.0);
        // An isotropic pair (1 + t^2 = 0) has no complex orthogonal rotation.
        if (!(Magnitude(c) < 1e8))
          throw std::runtime_error("the line's matrices have no modes (an isotropic pair)");
        const T s = t * c;
        // A <- J^T A J and Q <- Q J with the rotation J in the plane (p, r).
        for (int k = 0; k < n; ++k) {
          const T kp = a[At(k, p, n)], kr = a[At(k, r, n)];
          a[At(k, p, n)] = c * kp - s * kr;
          a[At(k, r, n)] = s * kp + c * kr;
        }
        for (int k = 0; k < n; ++k) {
          const T pk = a[At(p, k, n)], rk = a[At(r, k, n)];
          a[At(p, k, n)] = c * pk - s * rk;
          a[At(r, k, n)] = s * pk + c * rk;
        }
        a[At(p, r, n)] = T(0);
        a[At(r, p, n)] = T(0);
        for (int k = 0; k < n; ++k) {
          const T kp = q[At(k, p, n)], kr = q[At(k, r, n)];
          q[At(k, p, n)] = c * kp - s * kr;
          q[At(k, r, n)] = s * kp + c * kr;
        }
      }
    }
  }
  if (!converged && offDiagonal() > 1e-24 * total)
    throw std::runtime_error("the eigenvalues of the line's matrices did not converge");
  SymmetricEigen<T> out;
  for (int i = 0; i < n; ++i) out.values.push_back(a[At(i, i, n)]);
  out.vectors = std::move(q);
  return out;
}

template <class T>
std::vector<T> CholeskyLower(const std::vector<T>& a, int n) {
  std::vector<T> w(a.size(), T(0));
  double scale = 0;
  for (int i = 0; i < n; ++i) scale = std::max(scale, Magnitude(a[At(i, i, n)]));
  for (int j = 0; j < n; ++j) {
    T pivot = a[At(j, j, n)];
    for (int k = 0; k < j; ++k) pivot -= w[At(j, k, n)] * w[At(j, k, n)];
    bool bad = !(Magnitude(pivot) > 1e-14 * scale);
    if constexpr (std::is_same_v<T, double>) bad = bad || !(pivot > 0);
    if (bad) throw std::invalid_argument("the matrix is not positive definite");
    w[At(j, j, n)] = std::sqrt(pivot);
    for (int i = j + 1; i < n; ++i) {
      T sum = a[At(i, j, n)];
      for (int k = 0; k < j; ++k) sum -= w[At(i, k, n)] * w[At(j, k, n)];
      w[At(i, j, n)] = sum / w[At(j, j, n)];
    }
  }
  return w;
}

std::vector<Complex> SolveLinear(std::vector<Complex> a, int n, std::vector<Complex> b, int m) {
  for (int col = 0; col < n; ++col) {
    int pivot = col;
    for (int i = col + 1; i < n; ++i)
      if (std::abs(a[At(i, col, n)]) > std::abs(a[At(pivot, col, n)])) pivot = i;
    if (std::abs(a[At(pivot, col, n)]) == 0.0)
      throw std::invalid_argument("the linear system is singular");
    if (pivot != col) {
      for (int k = 0; k < n; ++k) std::swap(a[At(col, k, n)], a[At(pivot, k, n)]);
      for (int k = 0; k < m; ++k) std::swap(b[At(col, k, m)], b[At(pivot, k, m)]);
    }
    for (int i = col + 1; i < n; ++i) {
      const Complex f = a[At(i, col, n)] / a[At(col, col, n)];
      if (f == Complex(0)) continue;
      for (int k = col; k < n; ++k) a[At(i, k, n)] -= f * a[At(col, k, n)];
      for (int k = 0; k < m; ++k) b[At(i, k, m)] -= f * b[At(col, k, m)];
    }
  }
  for (int i = n - 1; i >= 0; --i) {
    for (int k = 0; k < m; ++k) {
      Complex sum = b[At(i, k, m)];
      for (int j = i + 1; j < n; ++j) sum -= a[At(i, j, n)] * b[At(j, k, m)];
      b[At(i, k, m)] = sum / a[At(i, i, n)];
    }
  }
  return b;
}

template <class T>
std::vector<T> Multiply(const std::vector<T>& a, const std::vector<T>& b, int n) {
  std::vector<T> c(a.size(), T(0));
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < n; ++k)
      for (int j = 0; j < n; ++j) c[At(i, j, n)] += a[At(i, k, n)] * b[At(k, j, n)];
  return c;
}

template <class T>
std::vector<T> Transposed(const std::vector<T>& a, int n) {
  std::vector<T> t(a.size());
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) t[At(j, i, n)] = a[At(i, j, n)];
  return t;
}

template SymmetricEigen<double> SymmetricJacobi(std::vector<double>, int);
template SymmetricEigen<Complex> SymmetricJacobi(std::vector<Complex>, int);
template std::vector<double> CholeskyLower(const std::vector<double>&, int);
template std::vector<Complex> CholeskyLower(const std::vector<Complex>&, int);
template std::vector<double> Multiply(const std::vector<double>&, const std::vector<double>&, int);
template std::vector<Complex> Multiply(const std::vector<Complex>&, const std::vector<Complex>&,
                                       int);
template std::vector<double> Transposed(const std::vector<double>&, int);
template std::vector<Complex> Transposed(const std::vector<Complex>&, int);

}  // namespace zolva
