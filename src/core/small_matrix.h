// Dense linear algebra for the few conductors of a coupled line: square matrices of order n,
// stored row by row in a vector. The symmetric forms are symmetric without conjugation (A = A^T),
// which is what the per-metre matrices of a reciprocal line are, complex ones included.
#pragma once

#include <complex>
#include <vector>

namespace zolva {

// The eigenvalues and eigenvectors of a symmetric matrix A = Q diag(values) Q^T, Q^T Q = I;
// eigenvector k is column k of Q (vectors[i * n + k]).
template <class T>
struct SymmetricEigen {
  std::vector<T> values;
  std::vector<T> vectors;
};

// Jacobi's method: plane rotations, each of which zeroes one off-diagonal pair, until the
// off-diagonal part is rounding. For a complex symmetric matrix the rotations are complex
// orthogonal ones; they exist unless a pair is isotropic, which the matrices of a line with
// loss small against its reactance are far from. Throws std::runtime_error when the sweeps do not
// converge.
template <class T>
SymmetricEigen<T> SymmetricJacobi(std::vector<T> a, int n);

// The lower triangular W with W W^T = A (no conjugation). A must have no zero leading minor: a
// positive definite A, or jw C + G with C positive definite. Throws std::invalid_argument when a
// pivot vanishes or is not positive for a real A.
template <class T>
std::vector<T> CholeskyLower(const std::vector<T>& a, int n);

// X with A X = B, B of n rows and m columns; Gaussian elimination with row pivoting. Throws
// std::invalid_argument when A is singular.
std::vector<std::complex<double>> SolveLinear(std::vector<std::complex<double>> a, int n,
                                              std::vector<std::complex<double>> b, int m);

template <class T>
std::vector<T> Multiply(const std::vector<T>& a, const std::vector<T>& b, int n);
template <class T>
std::vector<T> Transposed(const std::vector<T>& a, int n);

}  // namespace zolva
