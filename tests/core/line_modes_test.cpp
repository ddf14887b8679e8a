#include "core/line_modes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/coupled_lines.h"

namespace zolva {
namespace {

using testing::InhomogeneousPair;
using testing::WiresOverPlane;

double Entry(const std::vector<double>& m, int n, int i, int j) {
  return m[static_cast<std::size_t>(i * n + j)];
}

// Wires 0.5 mm across, 1 mm over the plane, 2 mm apart; even mode in e = 3, odd in e = 2.6.
LineMatrices Pair() {
  return InhomogeneousPair(WiresOverPlane({{-1e-3, 1e-3}, {1e-3, 1e-3}}, 0.25e-3, 1e9), 3.0, 2.6);
}

// The general decomposition (Jacobi on W^T L W) must find the odd and even modes of a
// symmetric pair, with the velocities of the closed forms v = 1 / sqrt((L -+ Lm)(C11 -+ C12)),
// and the impedance matrix whose eigenvalues are Zeven and Zodd.
TEST(LineModes, SymmetricPairHasOddAndEvenModes) {
  const CoupledModes modes = LosslessModes(Pair());
  ASSERT_TRUE(modes.symmetricPair);
  // The odd mode sees e = 2.6 and is the faster.
  EXPECT_NEAR(modes.velocityFactor[0], 1 / std::sqrt(2.6), 1e-12);
  EXPECT_NEAR(modes.velocityFactor[1], 1 / std::sqrt(3.0), 1e-12);
  EXPECT_NEAR(modes.vfOdd, modes.velocityFactor[0], 1e-12);
  EXPECT_NEAR(modes.vfEven, modes.velocityFactor[1], 1e-12);
  EXPECT_NEAR(Entry(modes.voltages, 2, 0, 0), 1.0, 1e-12);
  EXPECT_NEAR(Entry(modes.voltages, 2, 1, 0), -1.0, 1e-12);
  EXPECT_NEAR(Entry(modes.voltages, 2, 0, 1), 1.0, 1e-12);
  EXPECT_NEAR(Entry(modes.voltages, 2, 1, 1), 1.0, 1e-12);
  EXPECT_NEAR(Entry(modes.Zc, 2, 0, 0), (modes.Zeven + modes.Zodd) / 2, 1e-9);
  EXPECT_NEAR(Entry(modes.Zc, 2, 0, 1), (modes.Zeven - modes.Zodd) / 2, 1e-9);
  EXPECT_DOUBLE_EQ(modes.Zdiff, 2 * modes.Zodd);
  EXPECT_DOUBLE_EQ(modes.Zcomm, modes.Zeven / 2);
  EXPECT_GT(modes.Zeven, modes.Zodd);
  // Weak coupling: Kb is about ln(Zeven / Zodd) / 4. The odd mode is the faster, so the
  // capacitive coupling is the weaker and Kf is negative, as on a microstrip pair.
  EXPECT_NEAR(Entry(modes.Kb, 2, 0, 1), std::log(modes.Zeven / modes.Zodd) / 4, 2e-3);
  EXPECT_LT(Entry(modes.Kf, 2, 0, 1), 0);
  EXPECT_EQ(Entry(modes.Kb, 2, 0, 1), Entry(modes.Kb, 2, 1, 0));
}

// In a uniform medium both modes travel at one speed and the forward coefficient vanishes; a
// pair drawn far apart barely couples.
TEST(LineModes, UniformMediumAndDistantPair) {
  const CoupledModes air =
      LosslessModes(WiresOverPlane({{-1e-3, 1e-3}, {1e-3, 1e-3}}, 0.25e-3, 1e9));
  EXPECT_NEAR(air.vfOdd, 1.0, 1e-9);
  EXPECT_NEAR(air.vfEven, 1.0, 1e-9);
  EXPECT_NEAR(Entry(air.Kf, 2, 0, 1), 0.0, 1e-20);
  const CoupledModes far =
      LosslessModes(WiresOverPlane({{-50e-3, 1e-3}, {50e-3, 1e-3}}, 0.25e-3, 1e9));
  EXPECT_LT(Entry(far.Kb, 2, 0, 1), 1e-3);
  EXPECT_GT(Entry(far.Kb, 2, 0, 1), 0);
}

// Three wires at different heights, the middle one in a denser medium: no symmetry. Each mode's
// voltages must be an eigenvector of L C with eigenvalue 1 / v^2, and Zc the symmetric matrix with
// Zc C Zc = L (a wave's V = Zc I follows from dV/dz = -jwL I and dI/dz = -jwC V).
TEST(LineModes, AsymmetricLinesDecompose) {
  LineMatrices m = WiresOverPlane({{0, 1e-3}, {2e-3, 1.5e-3}, {3.5e-3, 0.8e-3}}, 0.2e-3, 1e9);
  const double e[3] = {2.2, 4.0, 3.0};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.C[static_cast<std::size_t>(i * 3 + j)] *= std::sqrt(e[i] * e[j]);
  const CoupledModes modes = LosslessModes(m);
  EXPECT_FALSE(modes.symmetricPair);
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      EXPECT_GT(modes.velocity[static_cast<std::size_t>(k - 1)],
                modes.velocity[static_cast<std::size_t>(k)]);
    }
    const double mu = 1 / (modes.velocity[static_cast<std::size_t>(k)] *
                           modes.velocity[static_cast<std::size_t>(k)]);
    for (int i = 0; i < 3; ++i) {
      double lcx = 0;
      for (int j = 0; j < 3; ++j)
        for (int l = 0; l < 3; ++l)
          lcx += Entry(m.L, 3, i, j) * Entry(m.C, 3, j, l) * Entry(modes.voltages, 3, l, k);
      EXPECT_NEAR(lcx, mu * Entry(modes.voltages, 3, i, k), 1e-12 * mu);
    }
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double zcz = 0;
      for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
          zcz += Entry(modes.Zc, 3, i, a) * Entry(m.C, 3, a, b) * Entry(modes.Zc, 3, b, j);
      EXPECT_NEAR(zcz, Entry(m.L, 3, i, j), 1e-12 * Entry(m.L, 3, 0, 0));
      EXPECT_NEAR(Entry(modes.Zc, 3, i, j), Entry(modes.Zc, 3, j, i), 1e-9);
    }
}

TEST(LineModes, MatricesThatDescribeNoLineAreNamed) {
  LineMatrices m = Pair();
  m.L[3] = -1e-7;
  EXPECT_EQ(LineMatricesProblem(m), "L(2,2) is -1e-07 H/m at 1e+09 Hz");
  EXPECT_THROW(LosslessModes(m), std::invalid_argument);
  m = Pair();
  m.C[1] = m.C[2] = -2 * m.C[0];  // |C12| > C11: not positive definite
  EXPECT_EQ(LineMatricesProblem(m), "the matrix C is not positive definite at 1e+09 Hz");
  m = Pair();
  m.G.pop_back();
  EXPECT_EQ(LineMatricesProblem(m), "the matrix G has 3 entries for 2 conductors");
}

}  // namespace
}  // namespace zolva
