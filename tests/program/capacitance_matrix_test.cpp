// The capacitance matrices of coupled conductors against an exact reference: two wires over a
// ground plane, whose exact matrices are computed here by charge simulation.
#include "csolver/capacitance_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/conductor_numbering.h"
#include "csolver/capacitance.h"
#include "csolver/csolver_fixture.h"
#include "program/jobs.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

using testing::SolverFixture;

// The Maxwell matrix of two round wires of radius a, centres (x[i], h) above a grounded plane
// y = 0, in vacuum, by charge simulation: m line charges on a circle of radius 0.6 a inside each
// wire with their images below the plane, matched to the wire's potential at m points of its
// surface. With m = 48 the matching error is below 1e-9 for the spacings used here, far below
// the thin-wire formulas' error (about 1 % in the mutual term at a few radii).
std::vector<double> WiresOverPlane(double a, double h, const std::vector<double>& x) {
  constexpr int m = 48;
  constexpr double kPi = 3.141592653589793;
  const int w = static_cast<int>(x.size());
  const int n = w * m;
  std::vector<double> sx(static_cast<std::size_t>(n)), sy(sx.size()), px(sx.size()), py(sx.size());
  for (int i = 0; i < w; ++i)
    for (int k = 0; k < m; ++k) {
      const double t = 2 * kPi * k / m;
      const std::size_t j = static_cast<std::size_t>(i * m + k);
      sx[j] = x[static_cast<std::size_t>(i)] + 0.6 * a * std::cos(t);
      sy[j] = h + 0.6 * a * std::sin(t);
      px[j] = x[static_cast<std::size_t>(i)] + a * std::cos(t);
      py[j] = h + a * std::sin(t);
    }
  // Potential at point p of unit charge (per 2 pi epsilon0) at source s with its image.
  std::vector<double> P(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
  for (std::size_t p = 0; p < sx.size(); ++p)
    for (std::size_t s = 0; s < sx.size(); ++s) {
      const double direct = std::hypot(px[p] - sx[s], py[p] - sy[s]);
      const double image = std::hypot(px[p] - sx[s], py[p] + sy[s]);
      P[p * sx.size() + s] = std::log(image / direct);
    }
  std::vector<double> C(static_cast<std::size_t>(w * w));
  for (int drive = 0; drive < w; ++drive) {
    std::vector<double> A = P, b(sx.size());
    for (int k = 0; k < m; ++k) b[static_cast<std::size_t>(drive * m + k)] = 1.0;
    // Gaussian elimination with partial pivoting.
    const std::size_t N = sx.size();
    for (std::size_t c = 0; c < N; ++c) {
      std::size_t piv = c;
      for (std::size_t r = c + 1; r < N; ++r)
        if (std::fabs(A[r * N + c]) > std::fabs(A[piv * N + c])) piv = r;
      for (std::size_t j = 0; j < N; ++j) std::swap(A[c * N + j], A[piv * N + j]);
      std::swap(b[c], b[piv]);
      for (std::size_t r = c + 1; r < N; ++r) {
        const double f = A[r * N + c] / A[c * N + c];
        for (std::size_t j = c; j < N; ++j) A[r * N + j] -= f * A[c * N + j];
        b[r] -= f * b[c];
      }
    }
    for (std::size_t r = N; r-- > 0;) {
      for (std::size_t j = r + 1; j < N; ++j) b[r] -= A[r * N + j] * b[j];
      b[r] /= A[r * N + r];
    }
    for (int i = 0; i < w; ++i) {
      double q = 0.0;
      for (int k = 0; k < m; ++k) q += b[static_cast<std::size_t>(i * m + k)];
      C[static_cast<std::size_t>(drive * w + i)] = 2 * kPi * testing::kEpsilon0 * q;
    }
  }
  return C;
}

struct MatrixRun {
  SolverFixture f;
  ConductorNumbering numbering;
  CapacitanceMatrices m;

  bool Solve() {
    if (!IndexConductors(f.ctx, true)) return false;
    FillPaletteProperties(GeometryJobOf(f.ctx));
    std::string refusal;
    if (!NumberConductors(f.ctx.map, f.ctx.materials, 0, numbering, refusal)) return false;
    f.ctx.regions.coupledNumbers = numbering.number;
    if (!FindFieldRegions(CapacitanceJobOf(f.ctx))) return false;
    return SolveCapacitanceMatrices(CapacitanceJobOf(f.ctx), numbering, m);
  }
};

// Wires of radius 8 pixels, 24 pixels above the plane (to their centres), 32 apart; the plane
// spans the map and, through the open boundary, continues beyond it.
TEST(CapacitanceMatrix, TwoWiresOverAPlaneMatchChargeSimulation) {
  MatrixRun run;
  SolverFixture& f = run.f;
  const int W = 200, H = 70, plane = 60;
  f.Size(W, H);
  for (int y = plane; y < H; ++y)
    for (int x = 0; x < W; ++x) f.Paint(x, y, testing::kGreen);
  f.FillDisc(84, plane - 24, 8, testing::kRed);
  f.FillDisc(116, plane - 24, 8, testing::kBlue);
  ASSERT_TRUE(run.Solve()) << (f.platform.messages.empty() ? "" : f.platform.messages.back().text);
  ASSERT_EQ(run.m.n, 2);
  const std::vector<double> exact = WiresOverPlane(8, 24, {84, 116});
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(run.m.C[static_cast<std::size_t>(i)] / exact[static_cast<std::size_t>(i)], 1.0,
                0.02)
        << run.m.C[static_cast<std::size_t>(i)] << " " << exact[static_cast<std::size_t>(i)];
  }
  // Maxwell's signs, diagonal dominance, and the symmetry of the charges as solved.
  EXPECT_GT(run.m.C[0], -run.m.C[1]);
  EXPECT_LT(run.m.C[1], 0.0);
  EXPECT_LT(run.m.asymmetry, 1e-6);
  EXPECT_EQ(run.m.solves, 2);
}

// A closed box: the symmetry of the charges follows the solver's tolerance, also with a floating
// pixel one pixel from a conductor and beside a dielectric (placed by its vanishing charge).
TEST(CapacitanceMatrix, ClosedMapIsSymmetricToTheTolerance) {
  MatrixRun run;
  SolverFixture& f = run.f;
  // clang-format off
  f.Draw({"gggggggggggggggggg",
          "g................g",
          "g.++....--..+l...g",
          "g.++....--...l...g",
          "g................g",
          "g..ll........lf..g",
          "g................g",
          "g...........---..g",
          "g................g",
          "gggggggggggggggggg"});
  // clang-format on
  ASSERT_TRUE(run.Solve()) << (f.platform.messages.empty() ? "" : f.platform.messages.back().text);
  ASSERT_EQ(run.m.n, 4);
  EXPECT_LT(run.m.asymmetry, 1e-8);
  for (int i = 0; i < 4; ++i) {
    double off = 0.0;
    for (int j = 0; j < 4; ++j)
      if (j != i) {
        EXPECT_LE(run.m.C[static_cast<std::size_t>(4 * i + j)], 0.0);
        off += std::fabs(run.m.C[static_cast<std::size_t>(4 * i + j)]);
      }
    EXPECT_GT(run.m.C[static_cast<std::size_t>(5 * i)], off);
  }
}

// G from the power lost in the dielectrics: a coax half filled with a lossy dielectric gives the
// two-conductor solve's Gp (the same cell sums of the same field). The charge is the field's
// energy over the cell edges, which exceeds the energy over the cell diagonals that the
// two-conductor C sums by the squares of (V00 - V10 - V01 + V11): never less, and close.
TEST(CapacitanceMatrix, ConductanceIsTheLossOfTheField) {
  MatrixRun run;
  SolverFixture& f = run.f;
  f.DrawCoax(5, 12, 15, testing::kGrey);
  const int S = f.ctx.map.Uwid;
  for (int y = 0; y < S / 2; ++y)
    for (int x = 0; x < S; ++x)
      if (f.ctx.map.Ucolor[static_cast<std::size_t>(y * S + x)] == testing::kGrey)
        f.Paint(x, y, testing::kMagenta);
  ASSERT_TRUE(f.Setup());
  SolveCapacitance(CapacitanceJobOf(f.ctx));
  const double Gp = f.ctx.results.Gp, C = f.ctx.results.C;
  ASSERT_GT(Gp, 0.0);
  ASSERT_TRUE(run.Solve());
  ASSERT_EQ(run.m.n, 1);
  EXPECT_NEAR(run.m.G[0] / Gp, 1.0, 1e-7);
  EXPECT_GE(run.m.C[0], C);
  EXPECT_LT(run.m.C[0] / C, 1.05);
}

}  // namespace
}  // namespace zolva
