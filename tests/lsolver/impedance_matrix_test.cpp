// The impedance matrix of coupled conductors: the fast iterative solve against the elimination.
#include "lsolver/impedance_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/conductor_numbering.h"
#include "lsolver/lsolver_fixture.h"
#include "lsolver/lsolver_job.h"

namespace zolva {
namespace {

using testing::LFixture;
using Method = LSolverOptions::Method;

ImpedanceMatrices SolveBy(LFixture& f, Method method) {
  EXPECT_TRUE(IndexConductors(f.ctx, true));
  FillPaletteProperties(GeometryJobOf(f.ctx));
  f.ctx.map.analysedPixels = f.ctx.map.Ucolor;
  ConductorNumbering numbering;
  std::string refusal;
  EXPECT_TRUE(NumberConductors(f.ctx.map, f.ctx.materials, 0, numbering, refusal)) << refusal;
  LSolverJob job = LSolverJobOf(f.ctx);
  job.options.method = method;
  ImpedanceMatrices z;
  EXPECT_TRUE(SolveImpedanceMatrices(job, numbering, z))
      << (f.platform.messages.empty() ? "" : f.platform.messages.back().text);
  return z;
}

// Two separate +1 regions, a -1 wire, a floating strip and a ground plane: three ports, at a
// frequency where the pixels are a tenth of a skin depth and at one where they are eleven.
TEST(ImpedanceMatrix, IterativeSolveMatchesTheElimination) {
  LFixture f;
  f.Draw({"................", ".++....--....+..", ".++....--....+..", "................",
          "....ffffff......", "................", "gggggggggggggggg"});
  for (double mhz : {1.0, 1000.0}) {
    SCOPED_TRACE(mhz);
    f.SetFrequency(mhz);
    const ImpedanceMatrices e = SolveBy(f, Method::Elimination);
    const ImpedanceMatrices i = SolveBy(f, Method::Iterative);
    ASSERT_EQ(e.n, 3);
    ASSERT_EQ(i.n, 3);
    EXPECT_TRUE(i.iterative);
    EXPECT_FALSE(e.iterative);
    for (std::size_t k = 0; k < 9; ++k) {
      EXPECT_NEAR(i.L[k], e.L[k], 1e-7 * e.L[0]) << k;
      EXPECT_NEAR(i.R[k], e.R[k], 1e-7 * e.R[0]) << k;
    }
    // Reciprocity: both solves give a symmetric Z; mutual inductances are positive and below
    // the self terms.
    EXPECT_LT(e.asymmetry, 1e-9);
    EXPECT_GT(e.L[1], 0.0);
    EXPECT_LT(e.L[1], e.L[0]);
    EXPECT_GT(e.R[0], 0.0);
  }
}

}  // namespace
}  // namespace zolva
