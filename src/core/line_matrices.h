// The per-metre matrices of a line of N signal conductors over a common reference (ground, or
// the conductor chosen as the reference where the map has no ground), at one frequency.
#pragma once

#include <string>
#include <vector>

namespace zolva {

struct LineMatrices {
  int n = 0;                       // signal conductors, the reference excluded
  std::vector<std::string> names;  // one label per conductor, "1", "2", ... unless named
  double frequencyHz = 0.0;
  // n x n, row-major. C and G are Maxwell matrices: positive diagonal, negative off-diagonal
  // entries, so that the mutual capacitance between i and j is -C[i*n+j].
  std::vector<double> C;  // F/m
  std::vector<double> G;  // S/m
  std::vector<double> L;  // H/m
  std::vector<double> R;  // ohm/m

  double At(const std::vector<double>& m, int i, int j) const {
    return m[static_cast<std::size_t>(i) * static_cast<std::size_t>(n) +
             static_cast<std::size_t>(j)];
  }
};

}  // namespace zolva
