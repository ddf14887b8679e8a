#include "program/rlgc_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "program/rlgc_files.h"

namespace zolva {
namespace {

constexpr double kPi = 3.141592653589793;

// A lossless line of L = 250 nH/m and C = 100 pF/m: Zo = 50 ohms, v = 2e8 m/s.
RlgcPoint Lossless(double f) {
  RlgcPoint p;
  p.frequency = f;
  p.L = 250e-9;
  p.C = 100e-12;
  return p;
}

// A lossless line between ports of its own impedance passes everything and reflects nothing:
// |S21| = 1, S11 = S22 = 0, and S21 lags by beta l = w sqrt(LC) l.
TEST(RlgcModel, MatchedLosslessLinePassesEverything) {
  for (double f : {1e6, 37e6, 1e9}) {
    SCOPED_TRACE(f);
    const RlgcPoint p = Lossless(f);
    const Propagation line = LinePropagation(p);
    EXPECT_NEAR(line.Zo.real(), 50.0, 1e-12);
    EXPECT_NEAR(line.Zo.imag(), 0.0, 1e-12);
    EXPECT_EQ(line.attenuationDb, 0.0);
    EXPECT_NEAR(line.velocityFactor, 2e8 / 299792458.0, 1e-14);
    const SParameters s = LineSParameters(p, 1.7, 50.0);
    EXPECT_NEAR(std::abs(s.s21), 1.0, 1e-12);
    EXPECT_NEAR(std::abs(s.s12), 1.0, 1e-12);
    EXPECT_LT(std::abs(s.s11), 1e-12);
    EXPECT_LT(std::abs(s.s22), 1e-12);
    const double lag = 2 * kPi * f * 1.7 / 2e8;
    EXPECT_NEAR(std::abs(s.s21 - std::polar(1.0, -lag)), 0.0, 1e-9);
  }
}

// A quarter-wave line of 50 ohms between 100-ohm ports transforms the load to 50^2 / 100 =
// 25 ohms: S11 = (25 - 100) / (25 + 100) = -0.6, S21 = -0.8 j (a quarter cycle late, and what the
// reflection leaves: 0.6^2 + 0.8^2 = 1).
TEST(RlgcModel, QuarterWaveLineTransformsTheImpedance) {
  const RlgcPoint p = Lossless(100e6);  // wavelength 2 m
  const SParameters s = LineSParameters(p, 0.5, 100.0);
  EXPECT_NEAR(std::abs(s.s11 - std::complex<double>(-0.6, 0)), 0.0, 1e-12);
  EXPECT_NEAR(std::abs(s.s22 - std::complex<double>(-0.6, 0)), 0.0, 1e-12);
  EXPECT_NEAR(std::abs(s.s21 - std::complex<double>(0, -0.8)), 0.0, 1e-12);
  EXPECT_EQ(s.s12, s.s21);
}

// A low-loss line: alpha = R / (2 Zo) + G Zo / 2 (the first-order expansion of
// sqrt((R + jwL)(G + jwC)); its error is of order (R / wL)^2 here 1e-6). A line too long for
// cosh to hold stays finite: nothing comes through and S11 is the mismatch (Zo - z0)/(Zo + z0).
TEST(RlgcModel, LossesAttenuateAndLongLinesStayFinite) {
  RlgcPoint p = Lossless(100e6);
  p.R = 0.2;
  p.G = 4e-5;
  const Propagation line = LinePropagation(p);
  const double alpha = 0.2 / 100 + 4e-5 * 50 / 2;
  EXPECT_NEAR(line.attenuationDb, 8.685889638065037 * alpha, 1e-6 * line.attenuationDb);
  EXPECT_GT(line.gamma.imag(), 0);

  const SParameters s = LineSParameters(p, 1e6, 75.0);
  EXPECT_TRUE(std::isfinite(s.s11.real()) && std::isfinite(s.s11.imag()));
  EXPECT_EQ(std::abs(s.s21), 0.0);
  const std::complex<double> mismatch = (line.Zo - 75.0) / (line.Zo + 75.0);
  EXPECT_NEAR(std::abs(s.s11 - mismatch), 0.0, 1e-12);

  EXPECT_THROW(LinePropagation(Lossless(0.0)), std::invalid_argument);
  EXPECT_THROW(LineSParameters(p, 1.0, 0.0), std::invalid_argument);
}

std::vector<RlgcPoint> ModelTable(const WElementModel& m, const std::vector<double>& freqs) {
  std::vector<RlgcPoint> points;
  for (double f : freqs) {
    RlgcPoint p;
    p.frequency = f;
    p.R = m.R0 + m.Rs * std::sqrt(f);
    p.L = m.L0 + m.Rs / (2 * kPi * std::sqrt(f));
    p.G = m.G0 + m.Gd * f;
    p.C = m.C0;
    points.push_back(p);
  }
  return points;
}

// The fit reproduces the table a W-element model makes of itself, to rounding; one frequency
// gives the frequency terms alone; a table whose straight line would need a negative constant
// keeps it at 0 and says how far it misses.
TEST(RlgcModel, WElementFitReproducesItsOwnTable) {
  WElementModel truth;
  truth.R0 = 0.012;
  truth.Rs = 1.1e-4;
  truth.L0 = 2.5e-7;
  truth.G0 = 3e-7;
  truth.Gd = 2e-13;
  truth.C0 = 1e-10;
  const WElementModel fit = FitWElement(ModelTable(truth, {1e6, 3e6, 1e7, 1e8, 1e9}));
  EXPECT_NEAR(fit.R0, truth.R0, 1e-9 * truth.R0);
  EXPECT_NEAR(fit.Rs, truth.Rs, 1e-9 * truth.Rs);
  EXPECT_NEAR(fit.L0, truth.L0, 1e-9 * truth.L0);
  EXPECT_NEAR(fit.G0, truth.G0, 1e-9 * truth.G0);
  EXPECT_NEAR(fit.Gd, truth.Gd, 1e-9 * truth.Gd);
  EXPECT_NEAR(fit.C0, truth.C0, 1e-15 * truth.C0);
  EXPECT_LT(fit.worstR, 1e-9);
  EXPECT_LT(fit.worstL, 1e-9);
  EXPECT_LT(fit.worstG, 1e-9);

  const WElementModel one = FitWElement(ModelTable(truth, {1e8}));
  EXPECT_EQ(one.R0, 0.0);
  EXPECT_EQ(one.G0, 0.0);
  EXPECT_LT(one.worstR, 1e-12);
  EXPECT_LT(one.worstG, 1e-12);

  std::vector<RlgcPoint> steep = ModelTable(truth, {1e6, 1e8});
  steep[0].R = 1e-6;  // below the line through zero: the constant would be negative
  const WElementModel clamped = FitWElement(steep);
  EXPECT_EQ(clamped.R0, 0.0);
  EXPECT_GT(clamped.Rs, 0.0);
  EXPECT_GT(clamped.worstR, 0.1);
  EXPECT_THROW(FitWElement({}), std::invalid_argument);
}

// The texts other programs read: one header and one row of ten columns per frequency, the
// Touchstone option line, the SPICE names; numbers with "." whatever the locale.
TEST(RlgcFiles, TextsAndNames) {
  const std::vector<RlgcPoint> points = {Lossless(1e6), Lossless(2.5e6)};
  const std::string table = RlgcTableText(points);
  EXPECT_EQ(table.rfind("frequency (Hz),R (ohm/m),L (H/m),G (S/m),C (F/m),|Zo| (ohm),", 0), 0u);
  EXPECT_NE(table.find("\n2500000,0,2.5e-07,0,1e-10,50,"), std::string::npos) << table;
  const std::string s2p = TouchstoneText(points, 1.0, 50.0, "x");
  EXPECT_NE(s2p.find("\n# Hz S RI R 50\n1e+06 "), std::string::npos) << s2p;
  const std::string card = LtraCardText(points[1], 2.0, "coax_1");
  EXPECT_NE(card.find(".model coax_1 LTRA R=0 L=2.5e-07 G=0 C=1e-10 LEN=2\n"), std::string::npos)
      << card;
  EXPECT_EQ(CompanionPath("/a/b/coax.CSV", ".s2p"), "/a/b/coax.s2p");
  EXPECT_EQ(CompanionPath("/a/b/coax", ".lib"), "/a/b/coax.lib");
  EXPECT_EQ(SpiceModelName("/a/my line-2.csv"), "my_line_2");
  EXPECT_EQ(SpiceModelName("7.csv"), "line_7");
}

}  // namespace
}  // namespace zolva
