// The generated coaxial line and round twinlead against the textbook values of L and Rs. The
// pixel model is a discretisation: with about 1000 conductor pixels it lands a few per cent above
// the continuum values, so L is checked within 4 % and Rs within 5 %.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "lsolver/lsolver.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/results_report.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

constexpr double kInch = 0.0254;
constexpr double kRhoCopper = 1.7241e-8;  // ohm metres, the built-in copper

// Surface resistance of copper, Rsurf = sqrt(pi f mu0 rho), in ohms.
double SurfaceResistance(double fHz) {
  return std::sqrt(kPi * fHz * kMu0 * kRhoCopper);
}

// A started program without windows, in a fresh folder, with the default panel.
struct Program {
  HeadlessPlatform platform;
  std::unique_ptr<Context> owned = std::make_unique<Context>(platform);
  Context& ctx = *owned;
  fs::path folder;

  explicit Program(const std::string& tag) {
    platform.echoMessages = false;
    folder = fs::temp_directory_path() / ("zolva-accuracy-" + tag);
    fs::remove_all(folder);
    fs::create_directories(folder);
    platform.programFileOverride = (folder / "zolva").string();
    StartMainWindow(ctx);
    CreatePanel(ctx);
  }
  ~Program() { fs::remove_all(folder); }

  // "Solve for L and Rs" on the given geometry at f MHz, with "Restrict to skin depth" as given.
  void Solve(GeometryKind kind, double mhz, bool restrict) {
    ctx.state.geometryKind = kind;
    SetField(ctx, EditBoxFrequency, std::to_string(mhz));
    SetCheckBox(ctx, CheckBoxRestrict, restrict);
    ctx.state.setupChanged = true;
    SolveLAndRs(ctx);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text;
    ASSERT_TRUE(ctx.state.solveSucceeded);
  }
};

TEST(LandRsAccuracy, CoaxialLine) {
  // Coax, centre 0.2 in, shield 0.4 in, copper, air. External inductance mu0/2pi ln(b/a)
  // (0.13863 uH/m) plus the internal inductance of the skin layers, whose reactance equals
  // their resistance; Rs = Rsurf/2pi (1/a + 1/b) (Ramo, Whinnery and Van Duzer, "Fields and
  // Waves in Communication Electronics", coaxial line with skin-effect losses).
  const double a = 0.1 * kInch;
  const double b = 0.2 * kInch;
  const double Lext = kMu0 / (2 * kPi) * std::log(b / a);
  EXPECT_NEAR(Lext * 1e6, 0.13863, 1e-5);
  Program p("coax");
  for (double mhz : {1.0, 100.0}) {
    const double omega = 2 * kPi * mhz * 1e6;
    const double Rs = SurfaceResistance(mhz * 1e6) / (2 * kPi) * (1 / a + 1 / b);
    EXPECT_NEAR(Rs, 0.024521 * std::sqrt(mhz), 2e-6 * std::sqrt(mhz));
    for (bool restrict : {true, false}) {
      p.Solve(GeomCoaxial, mhz, restrict);
      const Results& r = p.ctx.results;
      const double L = Lext + Rs / omega;
      const std::string figures = std::to_string(mhz) + " MHz, restrict " +
                                  std::to_string(restrict) + ": L " + std::to_string(r.L * 1e6) +
                                  " uH/m, Rs " + std::to_string(r.Rs) + " ohm/m";
      EXPECT_NEAR(r.L / L, 1.0, 0.04) << figures;
      EXPECT_NEAR(r.Rs / Rs, 1.0, 0.05) << figures;
      EXPECT_NEAR(r.Ignd, 1.0, 1e-9);
    }
  }
}

TEST(LandRsAccuracy, RoundTwinlead) {
  // Two copper wires of d = 0.05 in, D = 0.2 in apart: L = mu0/pi acosh(D/d) = 0.82537 uH/m;
  // Rs of both wires with the proximity factor (D/d) / sqrt((D/d)^2 - 1):
  // Rs = 2 Rsurf / (pi d) (D/d) / sqrt((D/d)^2 - 1) (Ramo, Whinnery and Van Duzer, two-wire line).
  const double d = 0.05 * kInch;
  const double D = 0.2 * kInch;
  const double L = kMu0 / kPi * std::acosh(D / d);
  EXPECT_NEAR(L * 1e6, 0.82537, 1e-5);
  Program p("twin");
  for (bool restrict : {true, false}) {
    const double mhz = 1.0;
    const double Rs =
        2 * SurfaceResistance(mhz * 1e6) / (kPi * d) * (D / d) / std::sqrt((D / d) * (D / d) - 1);
    EXPECT_NEAR(Rs, 0.13507, 2e-5);
    p.Solve(GeomTwinlead, mhz, restrict);
    const Results& r = p.ctx.results;
    const std::string figures = "restrict " + std::to_string(restrict) + ": L " +
                                std::to_string(r.L * 1e6) + " uH/m, Rs " + std::to_string(r.Rs) +
                                " ohm/m";
    EXPECT_NEAR(r.L / L, 1.0, 0.04) << figures;
    EXPECT_NEAR(r.Rs / Rs, 1.0, 0.05) << figures;
    // Mirror-image wires: V+ = -V- up to the classification's tie-breaks.
    EXPECT_LT(std::abs(r.VoL), 1e-6);
    EXPECT_EQ(r.Ignd, 0.0);
  }
}

}  // namespace
}  // namespace zolva
