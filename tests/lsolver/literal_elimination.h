// The elimination of the current equations written the plain way, one row operation at a time:
// for every pivot i and every later equation r, the multiplier f = M[i][r] / M[i][i] and then
// M[k][r] -= M[k][i] f for every unknown k >= i and the right-hand side; afterwards the same
// backwards for the right-hand sides. It is slow (one pass over a whole column stride per row
// operation) and kept only as the reference that the blocked elimination must reproduce.
#pragma once

#include <vector>

#include "lsolver/pixel_impedance.h"

namespace zolva::testing {

// A system as the solver holds it: coefficient of unknown k in equation e at k h + e, column h
// the right-hand sides.
struct SplitSystem {
  int h = 0;
  std::vector<double> re, im;

  explicit SplitSystem(int n = 0)
      : h(n),
        re(static_cast<std::size_t>(n) * (n + 1)),
        im(static_cast<std::size_t>(n) * (n + 1)) {}
  complex At(int k, int e) const {
    const std::size_t o = static_cast<std::size_t>(k) * h + e;
    return {re[o], im[o]};
  }
  void Set(int k, int e, complex z) {
    const std::size_t o = static_cast<std::size_t>(k) * h + e;
    re[o] = z.re;
    im[o] = z.im;
  }
  complex Solution(int e) const { return At(h, e) / At(e, e); }
};

inline void EliminateLiterally(SplitSystem& m) {
  const int h = m.h;
  for (int i = 0; i <= h - 2; ++i) {
    for (int r = i + 1; r <= h - 1; ++r) {
      const complex f = m.At(i, r) / m.At(i, i);
      m.Set(h, r, m.At(h, r) - m.At(h, i) * f);
      for (int k = i; k <= h - 1; ++k) m.Set(k, r, m.At(k, r) - m.At(k, i) * f);
    }
  }
  for (int i = h - 1; i >= 1; --i) {
    for (int r = i - 1; r >= 0; --r) {
      const complex f = m.At(i, r) / m.At(i, i);
      m.Set(h, r, m.At(h, r) - m.At(h, i) * f);
      m.Set(i, r, m.At(i, r) - m.At(i, i) * f);
    }
  }
}

}  // namespace zolva::testing
