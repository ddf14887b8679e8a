#include "lsolver/lsolver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "geometry/map_ops.h"
#include "lsolver/current_system.h"
#include "lsolver/literal_elimination.h"
#include "lsolver/lsolver_fixture.h"
#include "lsolver/surface_classification.h"
#include "support/read_file.h"

namespace zolva {
namespace {

using testing::LFixture;
using testing::Relative;

double MaxCurrent(const testing::SolverRecords& ctx) {
  double m = 0;
  for (const complex& z : ctx.lsolver.pixelCurrents) m = std::max(m, Magnitude(z));
  return m;
}

TEST(LandRsSolve, MirroredPairsAndAllThreeKinds) {
  {
    // Two +1 and two -1 pixels, mirror images of each other: four currents, V+ and V-.
    LFixture f;
    f.Draw({".........", "..+...-..", "..+...-..", "........."});
    ASSERT_TRUE(f.Solve());
    const UnknownNumbering& n = f.ctx.lsolver.numbering;
    EXPECT_EQ(n.h, 6);
    EXPECT_EQ(n.plusIndex, 4);
    EXPECT_EQ(n.minusIndex, 5);
    // The drive holds V+ - V- = 2; symmetry splits it evenly, so Vo = |V+| - 1 vanishes.
    EXPECT_NEAR(f.ctx.results.VoL, 0.0, 1e-9);
    EXPECT_EQ(f.ctx.results.Ignd, 0.0);
    for (int y : {1, 2}) {
      const complex a = f.Current(2, y);
      const complex b = f.Current(6, y);
      EXPECT_NEAR(a.re, -b.re, 1e-9 * Magnitude(a));
      EXPECT_NEAR(a.im, -b.im, 1e-9 * Magnitude(a));
    }
    EXPECT_GT(f.ctx.results.L, 0.0);
    EXPECT_GT(f.ctx.results.Rs, 0.0);
    EXPECT_TRUE(f.ctx.state.solveSucceeded);
    EXPECT_EQ(f.Status(), "done");
    ASSERT_FALSE(f.ctx.reporter.tabs.empty());
    EXPECT_EQ(f.ctx.reporter.tabs.back(), TabResults);
    // The currents are painted: red for the reference phase, and the -1 volt pixels, in
    // opposite phase, in the complementary colours.
    const std::uint32_t plus = f.ctx.map.analysedPixels.at(1 * 9 + 2);
    const std::uint32_t minus = f.ctx.map.analysedPixels.at(1 * 9 + 6);
    EXPECT_NE(plus, testing::kPlus);
    EXPECT_NE(plus, minus);
    EXPECT_EQ(f.ctx.map.analysedPixels.at(0), testing::kVacuum);
  }
  {
    // All three fixed kinds: one more unknown and one more equation, the ground at 0 volt.
    LFixture f;
    f.Draw({"...........", ".++..gg..-.", ".++..gg..-.", "..........."});
    ASSERT_TRUE(f.Solve());
    const UnknownNumbering& n = f.ctx.lsolver.numbering;
    EXPECT_EQ(n.h, static_cast<int>(f.ctx.cindex.size()) + 3);
    EXPECT_EQ(n.groundIndex, n.N + 2);
    EXPECT_GT(f.ctx.results.L, 0.0);
  }
}

// The system of a solve, rebuilt as the driver builds it and eliminated row by row.
struct LiteralSolution {
  std::vector<complex> values;
};

LiteralSolution SolveRowByRow(LFixture& f) {
  testing::SolverRecords& ctx = f.ctx;
  PrepareLoopInductance(LSolverJobOf(ctx));
  ctx.lsolver.numbering = NumberUnknowns(LSolverJobOf(ctx));
  const int h = ctx.lsolver.numbering.h;
  EXPECT_TRUE(AllocateCurrentSystem(ctx.lsolver.system, h));
  ClassifySurface(LSolverJobOf(ctx));
  BuildSurfaceResistanceTable(LSolverJobOf(ctx));
  EXPECT_TRUE(AssembleCurrentSystem(LSolverJobOf(ctx)));
  testing::SplitSystem m(h);
  std::copy_n(ctx.lsolver.system.re.get(), m.re.size(), m.re.begin());
  std::copy_n(ctx.lsolver.system.im.get(), m.im.size(), m.im.begin());
  ShrinkCurrentSystem(ctx.lsolver.system);
  testing::EliminateLiterally(m);
  LiteralSolution s;
  for (int e = 0; e < h; ++e) s.values.push_back(m.Solution(e));
  return s;
}

TEST(LandRsSolve, FloatingColoursAndGround) {
  // A +1 and a -1 wire, a ground strip and two floating bodies of different colours: one more
  // unknown and one zero-current equation per floating colour.
  LFixture f;
  f.Draw({"..............", ".++..ff..FF.-.", ".++..ff..FF.-.", ".++.........-.", "..............",
          ".gggggggggggg.", ".............."});
  ASSERT_TRUE(f.Setup());
  // A floating colour known to the palette but absent from the map takes no number: with one,
  // the system would hold an unknown that no equation names.
  FindPaletteIndex(f.ctx.materials, PackColor(1, 2, 3));
  f.ctx.materials.palette.entries
      .at(static_cast<std::size_t>(FindPaletteIndex(f.ctx.materials, PackColor(1, 2, 3))))
      .kind = KindFloat;
  FillPaletteProperties(GeometryJobOf(f.ctx));

  const LiteralSolution literal = SolveRowByRow(f);
  SolveLandRs(LSolverJobOf(f.ctx));
  ASSERT_TRUE(f.ctx.state.solveSucceeded);
  const UnknownNumbering& n = f.ctx.lsolver.numbering;
  const int N = n.N;
  EXPECT_EQ(n.F, 2);
  EXPECT_EQ(n.h, N + 3 + 2);
  // Numbered backwards through the palette: the later of the two colours is number 1.
  const int a = FindPaletteIndex(f.ctx.materials, testing::kFloatA);
  const int b = FindPaletteIndex(f.ctx.materials, testing::kFloatB);
  EXPECT_EQ(n.floatNumber.at(static_cast<std::size_t>(std::max(a, b))), 1);
  EXPECT_EQ(n.floatNumber.at(static_cast<std::size_t>(std::min(a, b))), 2);
  EXPECT_EQ(n.floatNumber.at(
                static_cast<std::size_t>(FindPaletteIndex(f.ctx.materials, PackColor(1, 2, 3)))),
            0);

  // No net current in either floating body.
  complex sumA, sumB;
  for (int y = 1; y <= 2; ++y) {
    sumA = sumA + f.Current(5, y) + f.Current(6, y);
    sumB = sumB + f.Current(9, y) + f.Current(10, y);
  }
  EXPECT_LT(Magnitude(sumA), 1e-9 * MaxCurrent(f.ctx));
  EXPECT_LT(Magnitude(sumB), 1e-9 * MaxCurrent(f.ctx));
  EXPECT_GT(Magnitude(f.Current(5, 1)), 1e-6 * MaxCurrent(f.ctx));  // eddy currents do flow

  // The blocked elimination gives the row-by-row solution.
  ASSERT_EQ(literal.values.size(), static_cast<std::size_t>(n.h));
  for (int j = 0; j < N; ++j) {
    const complex x = literal.values[static_cast<std::size_t>(j)];
    const complex y = f.ctx.lsolver.pixelCurrents[static_cast<std::size_t>(j)];
    EXPECT_LT(Relative(x.re, y.re) + Relative(x.im, y.im), 1e-9) << j;
  }
  EXPECT_NEAR(Magnitude(literal.values.at(static_cast<std::size_t>(n.groundIndex))), 0.0, 1e-12);
}

TEST(LandRsSolve, MatchesRowByRowEliminationUpTo300) {
  // A twin line of two discs, +1 and -1, with a ground plane below: about 290 unknowns.
  LFixture f;
  f.Blank(60, 30);
  f.Disc(15, 12, 5.5, testing::kPlus);
  f.Disc(45, 12, 5.5, testing::kMinus);
  for (int x = 5; x < 55; ++x) f.Paint(x, 26, testing::kGround);
  f.SetFrequency(10.0);
  ASSERT_TRUE(f.Setup());
  const LiteralSolution literal = SolveRowByRow(f);
  const int h = f.ctx.lsolver.numbering.h;
  EXPECT_GT(h, 200);
  EXPECT_LE(h, 300);
  f.ctx.threadCount = 2;
  SolveLandRs(LSolverJobOf(f.ctx));
  ASSERT_TRUE(f.ctx.state.solveSucceeded);

  const UnknownNumbering& n = f.ctx.lsolver.numbering;
  auto at = [&](int e) { return literal.values.at(static_cast<std::size_t>(e)); };
  complex sPlus, sMinus;
  for (int j = 0; j < n.N; ++j) {
    const std::size_t u = static_cast<std::size_t>(j);
    const complex y = f.ctx.lsolver.pixelCurrents[u];
    EXPECT_LT(Relative(at(j).re, y.re) + Relative(at(j).im, y.im), 1e-9) << j;
    if (f.ctx.cindex.kind[u] == KindPlus) sPlus = sPlus + at(j);
    if (f.ctx.cindex.kind[u] == KindMinus) sMinus = sMinus + at(j);
  }
  const complex Z = (at(n.plusIndex) - at(n.minusIndex)) / ((sPlus - sMinus) / complex{2, 0});
  EXPECT_LT(Relative(Z.re, f.ctx.results.Rs), 1e-9);
  EXPECT_LT(Relative(Z.im / f.ctx.state.omega, f.ctx.results.L), 1e-9);
}

TEST(LandRsSolve, SymmetricTwinCoaxAndGroundReturn) {
  {
    // Mirror-image wires: V+ = -V-, so Vo = |V+| - 1 vanishes. The alternating sweep of the
    // surface classification settles a few ties differently on the two wires, which leaves a
    // trace of asymmetry (about 1e-5 on wires this coarse); with every pixel resisted as a flat
    // side (switch 32) the two wires are exact mirror images.
    LFixture f;
    f.Blank(50, 24);
    f.Disc(12, 12, 6, testing::kPlus);
    f.Disc(38, 12, 6, testing::kMinus);
    f.ctx.state.switches[Switch::AllLettersC] = true;
    ASSERT_TRUE(f.Solve());
    EXPECT_LT(std::abs(f.ctx.results.VoL), 1e-12);
    f.ctx.state.switches[Switch::AllLettersC] = false;
    ASSERT_TRUE(f.Solve());
    EXPECT_LT(std::abs(f.ctx.results.VoL), 1e-4);
    EXPECT_EQ(f.ctx.results.Ignd, 0.0);
  }
  {
    // A coaxial line: the whole current returns through the shield.
    LFixture f;
    f.Blank(40, 40);
    f.Disc(20, 20, 16, testing::kGround);
    f.Disc(20, 20, 13, testing::kVacuum);
    f.Disc(20, 20, 5, testing::kPlus);
    ASSERT_TRUE(f.Solve());
    EXPECT_NEAR(f.ctx.results.Ignd, 1.0, 1e-9);
  }
  {
    // Only -1 volt and ground: the ground is the + terminal; Vo and Ignd keep their values.
    LFixture f;
    f.Draw({"..........", ".gg...--..", ".gg...--..", ".........."});
    f.ctx.results.VoL = 0.125;
    f.ctx.results.Ignd = 0.5;
    ASSERT_TRUE(f.Solve());
    EXPECT_EQ(f.ctx.results.VoL, 0.125);
    EXPECT_EQ(f.ctx.results.Ignd, 0.5);
    EXPECT_GT(f.ctx.results.L, 0.0);
    EXPECT_GT(f.ctx.results.Rs, 0.0);
  }
}

TEST(LandRsSolve, LowFrequenciesReachTheDirectCurrentLimit) {
  // Far below the frequency where the skin depth reaches the wire, the current spreads
  // uniformly: L tends to its direct-current value and Rs to the resistance of the two wires'
  // cross-sections. Neither may drift as the frequency falls, however far.
  LFixture f;
  f.Blank(50, 24);
  f.Disc(12, 12, 6, testing::kPlus);
  f.Disc(38, 12, 6, testing::kMinus);
  f.SetFrequency(1e-3);  // 1 kHz
  ASSERT_TRUE(f.Solve());
  const double L1k = f.ctx.results.L;
  EXPECT_GT(L1k, 0.0);
  const double w = f.ctx.state.pixelWidth;
  const double rho = testing::kCopper * 1e-8;
  const double Rdc =
      rho / (w * w) * (1.0 / f.ctx.cindex.plusPixels + 1.0 / f.ctx.cindex.minusPixels);
  for (double mhz : {1e-4, 1e-5, 1e-6, 1e-9, 1e-12, 1e-17}) {
    f.SetFrequency(mhz);
    ASSERT_TRUE(f.Solve()) << mhz;
    EXPECT_NEAR(f.ctx.results.L / L1k, 1.0, 0.005) << mhz << " MHz: L " << f.ctx.results.L;
    // A pixel w wide, in a metal of skin depth delta, is resisted about k w / (2 delta) above
    // its direct-current value (decay factors k up to 0.51); the elimination's rounding adds
    // a few parts in 1e8.
    const double omega = mhz * kOmegaPerMHz;
    const double delta = std::sqrt(2 * rho / (omega * kMu0));
    EXPECT_NEAR(f.ctx.results.Rs / Rdc, 1.0, 0.3 * w / delta + 1e-7)
        << mhz << " MHz: Rs " << f.ctx.results.Rs;
  }
}

TEST(LandRsSolve, NonPhysicalMetalIsRefused) {
  // A metal whose permeability is not above zero has no skin depth: refused, naming the colour.
  LFixture f;
  RegisterColor(f.ctx.materials, f.ctx.reporter, testing::kPlus, KindPlus, testing::kCopper, 1, 0,
                0, "copper");
  f.Draw({".........", "..+...-..", "..+...-..", "........."});
  EXPECT_FALSE(f.Solve());
  ASSERT_TRUE(f.ctx.failure.has_value());
  EXPECT_EQ(f.ctx.failure->message,
            "Material values out of range: the color 255, 0, 0 (copper) has permeability 0.");
  EXPECT_EQ(f.ctx.failure->caption, "Solving for L and Rs");
  EXPECT_TRUE(f.platform.messages.empty());
  EXPECT_TRUE(f.ctx.state.abortRequested);
  EXPECT_EQ(f.ctx.lsolver.numbering.h, 0);
}

TEST(LandRsSolve, RefusalsStopAndSingularSystem) {
  const std::vector<std::string> map = {".........", "..+...-..", "..+...-..", "........."};
  for (const char* text : {"", "0", "-1"}) {
    // No width, or a width of 0 or below: nothing can be computed per metre.
    LFixture f;
    f.Draw(map);
    f.ctx.currents.pixelWidthText = text;
    if (std::string(text) != "") f.ctx.state.pixelWidth = std::stod(text) * testing::kInch;
    EXPECT_FALSE(f.Solve());
    ASSERT_TRUE(f.ctx.failure.has_value()) << text;
    EXPECT_EQ(f.ctx.failure->message, "Pixel width not supplied");
    EXPECT_EQ(f.ctx.failure->caption, "Solving for L and Rs");
    EXPECT_TRUE(f.ctx.state.abortRequested);
    EXPECT_TRUE(f.ctx.state.operationFailed);
  }
  {
    // h = 6 needs h (h + 1) / 4 = 10 units of 64 bytes of free memory.
    LFixture f;
    f.Draw(map);
    f.platform.freeMemoryOverride = 639;
    EXPECT_FALSE(f.Solve());
    ASSERT_TRUE(f.ctx.failure.has_value());
    EXPECT_EQ(f.ctx.failure->kind, FailureKind::Memory);
    EXPECT_EQ(f.ctx.failure->message, "Memory request denied");
    EXPECT_EQ(f.ctx.failure->caption, "Solving for L and Rs");
    EXPECT_EQ(f.Status(), "");
    EXPECT_EQ(f.ctx.lsolver.system.size, 1u);
    f.platform.freeMemoryOverride = 640;
    f.ctx.failure.reset();
    EXPECT_TRUE(f.Solve());
    EXPECT_TRUE(f.platform.messages.empty());
  }
  {
    // Stop during the elimination: the status goes blank, and the results, the currents and
    // the picture of the previous solve stay.
    LFixture f;
    f.Blank(60, 40);
    f.Disc(15, 20, 9, testing::kPlus);
    f.Disc(45, 20, 9, testing::kMinus);
    ASSERT_TRUE(f.Solve());
    const double L = f.ctx.results.L;
    const std::vector<complex> currents = f.ctx.lsolver.pixelCurrents;
    const std::vector<std::uint32_t> picture = f.ctx.map.analysedPixels;
    f.SetFrequency(7.0);
    bool stopped = false;
    f.platform.onPendingEvents = [&] {
      if (!stopped && f.Status().find("Solving") != std::string::npos) {
        stopped = true;
        f.ctx.state.abortRequested = true;
      }
    };
    EXPECT_FALSE(f.Solve());
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(f.ctx.state.abortRequested);
    EXPECT_FALSE(f.ctx.state.solveSucceeded);
    EXPECT_FALSE(f.ctx.state.operationFailed);
    EXPECT_EQ(f.Status(), "");
    EXPECT_EQ(f.ctx.results.L, L);
    EXPECT_EQ(f.ctx.lsolver.pixelCurrents.size(), currents.size());
    EXPECT_EQ(f.ctx.lsolver.pixelCurrents[3].re, currents[3].re);
    EXPECT_EQ(f.ctx.map.analysedPixels, picture);
    EXPECT_EQ(f.ctx.lsolver.system.size, 1u);
    EXPECT_EQ(f.ctx.pool.workersRunning(), 0);
  }
  {
    // A pivot of zero ends the solve with a message instead of filling it with infinities.
    LFixture f;
    ASSERT_TRUE(AllocateCurrentSystem(f.ctx.lsolver.system, 3));
    std::fill_n(f.ctx.lsolver.system.re.get(), 12, 0.0);
    std::fill_n(f.ctx.lsolver.system.im.get(), 12, 0.0);
    EXPECT_FALSE(SolveCurrentSystem(LSolverJobOf(f.ctx)));
    ASSERT_TRUE(f.ctx.failure.has_value());
    EXPECT_EQ(f.ctx.failure->kind, FailureKind::Singular);
    EXPECT_EQ(f.ctx.failure->message, "Equations are singular.");
    EXPECT_EQ(f.ctx.failure->caption, "Solving for L and Rs");
    EXPECT_TRUE(f.ctx.state.operationFailed);
  }
}

TEST(LandRsSolve, ProgressText) {
  LFixture f;
  f.ctx.lsolver.system.h = 1002;
  f.ctx.state.stepNumber = 4;
  f.platform.nowOverride = 100.0;
  f.ctx.lsolver.eliminationStart = 100.0;
  f.ctx.lsolver.lastPercent = 777;
  // Pivot 0 of 1002: 0.3 % of the work; the first text is always shown.
  ShowSolveProgress(LSolverJobOf(f.ctx), 0);
  ASSERT_EQ(f.statuses.size(), 1u);
  EXPECT_EQ(f.statuses.back(), "4. Solving 1002 equations   0%");
  ShowSolveProgress(LSolverJobOf(f.ctx), 0);
  EXPECT_EQ(f.statuses.size(), 1u);  // nothing changed
  // Half the rows done, seven minutes gone: 87.5 % of the work, one more minute to go.
  f.platform.nowOverride = 100.0 + 7.0 / 1440;
  ShowSolveProgress(LSolverJobOf(f.ctx), 499);
  EXPECT_EQ(f.statuses.back(), "4. Solving 1002 equations   87%    Time remaining:  1 minute");
  f.platform.nowOverride = 100.0 + 70.0 / 1440;
  ShowSolveProgress(LSolverJobOf(f.ctx), 499);
  EXPECT_EQ(f.statuses.back(), "4. Solving 1002 equations   87%    Time remaining:  10 minutes");
}

TEST(LandRsSolve, CurrentsTableAndPicture) {
  LFixture f;
  // Before any solve there is nothing to tabulate.
  EXPECT_EQ(CurrentsTable(f.ctx.lsolver), "");

  // Three pixels: the strongest (reference, phase 0), one at half its magnitude and 30
  // degrees, one at a quarter in phase with the reference.
  f.Blank(130, 90);
  f.ctx.map.analysedPixels = f.ctx.map.Ucolor;
  LSolverState& ls = f.ctx.lsolver;
  const double c30 = std::cos(kPi / 6), s30 = std::sin(kPi / 6);
  ls.pixelCurrents = {{0.25, 0.0}, {0.5 * c30, 0.5 * s30}, {1.0, 0.0}};
  ls.currentX = {3, 120, 7};
  ls.currentY = {4, 85, 9};
  ls.currentKind = {-1, 1, 0};
  ls.solvedWidth = 130;
  ls.solvedHeight = 90;
  EXPECT_EQ(CurrentsTable(ls),
            "X\tY\ttype\tJ magnitude\tJ angle (degrees)\r\n\r\n"
            "7\t9\t0\t 1.000000000\t   0.0000000\r\n"
            "120\t85\t1\t 0.500000000\t  30.0000000\r\n"
            "3\t4\t-1\t 0.250000000\t   0.0000000\r\n");

  // Brightness is the magnitude against the strongest pixel: a quarter gives 25 %, and with
  // high intensity (square root) 50 %. The reference phase is red.
  auto at = [&](int x, int y) {
    return f.ctx.map.analysedPixels.at(static_cast<std::size_t>(y * 130 + x));
  };
  RenderCurrentDensity(f.ctx.lsolver, f.ctx.map, f.ctx.display.highIntensity);
  EXPECT_EQ(at(7, 9), PackColor(255, 64, 64));
  EXPECT_EQ(at(3, 4), PackColor(64, 16, 16));
  f.ctx.display.highIntensity = true;
  RenderCurrentDensity(f.ctx.lsolver, f.ctx.map, f.ctx.display.highIntensity);
  EXPECT_EQ(at(3, 4), PackColor(128, 32, 32));
  EXPECT_EQ(at(0, 0), testing::kVacuum);
  // A map of another size no longer matches the currents: the picture is left alone.
  f.Blank(20, 20);
  f.ctx.map.analysedPixels = f.ctx.map.Ucolor;
  RenderCurrentDensity(f.ctx.lsolver, f.ctx.map, f.ctx.display.highIntensity);
  EXPECT_EQ(f.ctx.map.analysedPixels, f.ctx.map.Ucolor);
}

}  // namespace
}  // namespace zolva
