#include "lsolver/pixel_impedance.h"

#include <gtest/gtest.h>

#include <cmath>

#include "lsolver/lsolver_fixture.h"
#include "lsolver/surface_classification.h"

namespace zolva {
namespace {

using testing::LFixture;

TEST(LoopInductance, FitTableAndClosedForm) {
  LoopModel m;
  PrepareLoopInductance(m);
  // The offset of the fit comes out negative with these tables and is limited to 0; the slope
  // then makes the curve pass through the value at distance 900.
  EXPECT_EQ(m.loopOffset, 0.0);
  EXPECT_NEAR(m.loopSlope, 1.1186280, 1e-6);
  EXPECT_NEAR(LoopInductance(m, 900, 0), 3.04305786e-6, 1e-12);

  // Distances 7, 100 and 900 by the closed form; 6,6 still from the table.
  EXPECT_NEAR(LoopInductance(m, 7, 0) * 1e6, 1.0998, 5e-5);
  EXPECT_NEAR(LoopInductance(m, 0, 100) * 1e6, 2.1642, 5e-5);
  EXPECT_NEAR(LoopInductance(m, 900, 0) * 1e6, 3.0431, 5e-5);
  EXPECT_EQ(LoopInductance(m, 6, 6), 1.17743196e-6);
  EXPECT_EQ(LoopInductance(m, 1, 0), 0.32469679e-6);
  EXPECT_EQ(LoopInductance(m, 2, 3), LoopInductance(m, 3, 2));
  EXPECT_EQ(LoopInductance(m, 30, 40), LoopInductance(m, 50, 0));
  // A wider loop encloses more flux: the value grows with the distance, also where the table
  // hands over to the closed form.
  EXPECT_GT(LoopInductance(m, 7, 0), LoopInductance(m, 6, 0));
  EXPECT_LT(LoopInductance(m, 7, 0), LoopInductance(m, 8, 0));
  EXPECT_THROW(LoopInductance(m, -1, 3), std::out_of_range);
}

TEST(SkinCorrection, InterpolationAndLimits) {
  // At w / delta = 1 the column is 13.744...: 0.256 of column 14 and 0.744 of column 13.
  EXPECT_NEAR(SkinCorrection(0, 1.0), 0.73848849 * 0.25563088 + 0.73915904 * 0.74436912, 1e-12);
  EXPECT_NEAR(SkinCorrection(0, 1.0), 0.738988, 1e-6);
  // Column 28 exactly, and outside the table on both sides (also for a ratio of 0 or infinity).
  EXPECT_NEAR(SkinCorrection(1, std::pow(10.0, (28 - 13.74436912) / 8)), 0.99999999, 1e-9);
  EXPECT_EQ(SkinCorrection(2, 1e-3), 1.0);
  EXPECT_EQ(SkinCorrection(2, 1e3), 1.0);
  EXPECT_EQ(SkinCorrection(2, 0.0), 1.0);
  EXPECT_EQ(SkinCorrection(2, INFINITY), 1.0);
  EXPECT_THROW(SkinCorrection(6, 1.0), std::out_of_range);

  EXPECT_NEAR(ConductingFraction(0.5065826454), 0.784569, 1e-6);
  EXPECT_EQ(ConductingFraction(0.0), 1.0);
  EXPECT_EQ(ConductingFraction(INFINITY), 0.0);
}

// A block of copper 12 x 12 pixels and a far -1 volt pixel: letters A (sides), D (corners) and
// depths up to 6 occur.
struct BlockFixture : LFixture {
  BlockFixture() {
    Blank(30, 20);
    for (int y = 3; y < 15; ++y)
      for (int x = 3; x < 15; ++x) Paint(x, y, testing::kPlus);
    Paint(25, 10, testing::kMinus);
    Paint(25, 11, testing::kMinus);
  }
  void Build() {
    ASSERT_TRUE(Setup());
    PrepareLoopInductance(LSolverJobOf(ctx));
    ClassifySurface(LSolverJobOf(ctx));
    BuildSurfaceResistanceTable(LSolverJobOf(ctx));
  }
  double R(int x, int y) { return PixelResistance(LSolverJobOf(ctx), Entry(x, y)).re; }
  double Row1(char letter) const {
    return ctx.materials.recs.at(ctx.map.Uindex.at(3 * 30 + 3))
        .Rpixel.at(static_cast<std::size_t>(letter - 'A'));
  }
};

TEST(PixelResistance, SkinEffectBlendAndSwitches) {
  BlockFixture f;
  const double w = f.ctx.state.pixelWidth;
  // Choose the frequency at which the pixel is one skin depth wide: delta = w.
  const double rho = testing::kCopper * 1e-8;
  const double fHz = rho / (kPi * kMu0 * w * w);
  f.SetFrequency(fHz / 1e6);
  f.Build();
  ASSERT_NEAR(SkinDepthMetres(f.ctx.materials, f.ctx.state.omega, testing::kPlus), w, 1e-12 * w);

  const double Rdc = rho / (w * w);
  const double cA = 0.73848849 * 0.25563088 + 0.73915904 * 0.74436912;
  const double FA = (1 - std::exp(-0.5065826454)) / 0.5065826454;
  EXPECT_NEAR(f.Row1('A') / (Rdc * cA / FA), 1.0, 1e-9);
  EXPECT_EQ(f.ctx.cindex.surfaceKind.at(f.Entry(8, 3)), u'A');
  EXPECT_NEAR(f.R(8, 3) / f.Row1('A'), 1.0, 1e-12);  // depth 1
  EXPECT_NEAR(f.R(8, 4) / f.Row1('A'), 1.0, 1e-12);  // depth 2 keeps the letter's value
  EXPECT_EQ(f.ctx.cindex.surfaceKind.at(f.Entry(3, 3)), u'D');
  EXPECT_NEAR(f.R(3, 3) / f.Row1('D'), 1.0, 1e-12);

  // Depth 20, letter A: weight 1 - 18/31 of A and 18/31 of C. Set by hand: the block is too
  // small to have such a layer.
  const int j = f.Entry(8, 8);
  f.ctx.cindex.surfaceKind.at(static_cast<std::size_t>(j)) = u'A';
  f.ctx.cindex.depth.at(static_cast<std::size_t>(j)) = 20;
  const double x = 1 - 18.0 / 31;
  EXPECT_NEAR(f.R(8, 8), f.Row1('A') * x + f.Row1('C') * (1 - x), 1e-12 * Rdc);
  // G, H and I are resisted as C; depth 0 (interior) therefore takes the C value.
  f.ctx.cindex.surfaceKind.at(static_cast<std::size_t>(j)) = u'I';
  f.ctx.cindex.depth.at(static_cast<std::size_t>(j)) = 0;
  EXPECT_NEAR(f.R(8, 8), f.Row1('C'), 1e-12 * Rdc);

  // Switch 34: no skin correction; switch 31: the plain direct-current value everywhere.
  f.ctx.state.switches[Switch::NoSkinCorrection] = true;
  BuildSurfaceResistanceTable(LSolverJobOf(f.ctx));
  EXPECT_NEAR(f.Row1('A'), Rdc / FA, 1e-9 * Rdc);
  f.ctx.state.switches[Switch::NoSkinCorrection] = false;
  f.ctx.state.switches[Switch::PlainDcResistance] = true;
  BuildSurfaceResistanceTable(LSolverJobOf(f.ctx));
  for (char L = 'A'; L <= 'F'; ++L) EXPECT_EQ(f.Row1(L), Rdc) << L;
  f.ctx.state.switches[Switch::PlainDcResistance] = false;

  // Calibration: switch 33 replaces the correction of the chosen letter only; switch 36 its
  // decay factor, with no correction.
  f.ctx.state.calibrationKind = u'B';
  f.ctx.state.calibrationValue = 0.5;
  f.ctx.state.switches[Switch::FitCorrection] = true;
  BuildSurfaceResistanceTable(LSolverJobOf(f.ctx));
  const double FB = ConductingFraction(0.3444734361);
  EXPECT_NEAR(f.Row1('B'), Rdc * 0.5 / FB, 1e-9 * Rdc);
  EXPECT_NEAR(f.Row1('A'), Rdc * cA / FA, 1e-9 * Rdc);
  f.ctx.state.switches[Switch::FitCorrection] = false;
  f.ctx.state.switches[Switch::FitDecay] = true;
  BuildSurfaceResistanceTable(LSolverJobOf(f.ctx));
  EXPECT_NEAR(f.Row1('B'), Rdc / ConductingFraction(0.5), 1e-9 * Rdc);
  f.ctx.state.switches[Switch::FitDecay] = false;

  // A metal without resistivity resists nothing at any frequency (the formula alone gives 0/0).
  const std::size_t colour = f.ctx.map.Uindex.at(3 * 30 + 3);
  f.ctx.materials.recs.at(colour).Resistivity = 0.0;
  BuildSurfaceResistanceTable(LSolverJobOf(f.ctx));
  for (char L = 'A'; L <= 'F'; ++L) EXPECT_EQ(f.Row1(L), 0.0) << L;
  f.ctx.materials.recs.at(colour).Resistivity = testing::kCopper;

  // Switch 32: every pixel is C.
  f.ctx.state.switches[Switch::AllLettersC] = true;
  BuildSurfaceResistanceTable(LSolverJobOf(f.ctx));
  EXPECT_NEAR(f.R(3, 3), f.Row1('C'), 1e-12 * Rdc);
}

TEST(PixelResistance, LayeredRule) {
  BlockFixture f;
  const double w = f.ctx.state.pixelWidth;
  const double rho = testing::kCopper * 1e-8;
  const double Rdc = rho / (w * w);
  f.ctx.state.switches[Switch::LayeredResistance] = true;
  auto row = [&](int n, char L) {
    return f.ctx.materials.recs.at(f.ctx.map.Uindex.at(3 * 30 + 3))
        .Rpixel.at(static_cast<std::size_t>(6 * (n - 1) + (L - 'A')));
  };
  // Far below the frequency at which the skin depth shrinks to the pixel, every layer carries a
  // uniform current: the direct-current value (0.834 of it for C).
  f.SetFrequency(1e-6);
  f.Build();
  EXPECT_NEAR(row(1, 'A') / Rdc, 1.0, 1e-3);
  EXPECT_NEAR(row(32, 'F') / Rdc, 1.0, 1e-3);
  EXPECT_NEAR(row(1, 'C') / Rdc, 0.834, 1e-3);
  // Deep in a conductor at a high frequency the layers carry almost nothing: their rows are no
  // longer computed but keep the surface layer's value, and the rows stay finite.
  f.SetFrequency(1e4);
  BuildSurfaceResistanceTable(LSolverJobOf(f.ctx));
  for (int n = 1; n <= 32; ++n) EXPECT_TRUE(std::isfinite(row(n, 'A'))) << n;
  EXPECT_GT(row(1, 'A'), Rdc);
  // With switch 46 every pixel reads row 1; without, depth 0 reads row 32.
  const int j = f.Entry(8, 8);
  f.ctx.cindex.depth.at(static_cast<std::size_t>(j)) = 0;
  f.ctx.cindex.surfaceKind.at(static_cast<std::size_t>(j)) = u'A';
  EXPECT_EQ(f.R(8, 8), row(32, 'A'));
  f.ctx.state.switches[Switch::FirstDepthRow] = true;
  EXPECT_EQ(f.R(8, 8), row(1, 'A'));
}

}  // namespace
}  // namespace zolva
