// The multigrid field solve against the classic relaxation's fixed point, stored once from
// relaxations run until C changed by less than 1e-12 per round; and the solve's life: the same
// bits on every run, Stop and Resume, and the iteration limit.
#include "csolver/field_solve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "csolver/capacitance.h"
#include "csolver/csolver_fixture.h"
#include "csolver/solver_grid.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

using testing::SolverFixture;

constexpr std::uint32_t kHighK = PackColor(200, 100, 0);  // permittivity 1000

enum Case { ClosedDielectric, OpenGround, Balanced, FloatingBalanced, HighContrast, kCases };

const char* const kCaseNames[kCases] = {
    "closed coax, two dielectrics, lossy", "open line, +1 and ground",
    "open balanced line, wires of unequal size", "open balanced line with a floating wire",
    "closed coax, permittivity 1000 beside vacuum"};

void DrawCase(SolverFixture& f, Case c) {
  switch (c) {
    case ClosedDielectric: {
      // Lossy permittivity 4 below, polyethylene above: the interface crosses the field.
      f.DrawCoax(5, 12, 15, testing::kGrey);
      const int S = f.ctx.map.Uwid;
      for (int y = 0; y < S / 2; ++y)
        for (int x = 0; x < S; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(S) +
                                static_cast<std::size_t>(x);
          if (f.ctx.map.Ucolor[i] == testing::kGrey) f.ctx.map.Ucolor[i] = testing::kMagenta;
        }
      break;
    }
    case OpenGround:
      f.DrawTwinlead(testing::kRed, testing::kGreen);
      break;
    case Balanced:
      f.Size(137, 33);
      f.FillDisc(16, 16, 13, testing::kRed);
      f.FillDisc(120, 16, 7, testing::kBlue);
      break;
    case FloatingBalanced:
      f.Size(137, 33);
      f.FillDisc(16, 16, 10, testing::kRed);
      f.FillDisc(60, 16, 6, testing::kCyan);
      f.FillDisc(120, 16, 10, testing::kBlue);
      break;
    default: {
      // A quarter of the gap at permittivity 1000: neighbouring cells differ a thousandfold.
      RegisterColor(f.ctx.materials, f.ctx.reporter, kHighK, KindInsul, 0, 1000, 0, 1, "high");
      f.DrawCoax(4, 10, 13, testing::kBlack);
      const int S = f.ctx.map.Uwid;
      for (int y = 0; y < S / 2; ++y)
        for (int x = S / 2; x < S; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(S) +
                                static_cast<std::size_t>(x);
          if (f.ctx.map.Ucolor[i] == testing::kBlack) f.ctx.map.Ucolor[i] = kHighK;
        }
    }
  }
}

struct Figures {
  double C, Gp, VoC, floating;  // floating: the cyan wire's voltage, 0 where there is none
};

// The classic relaxation run until C, VoC and the floating voltage change by less than 1e-13
// (relative for C, volts for the others) per round, 1000 rounds in a row; printed for pasting
// into kReference, beside the multigrid solve's figures.
TEST(FieldSolveReference, DISABLED_PrintConvergedRelaxation) {
  const char* only = std::getenv("ZOLVA_REFERENCE_CASE");
  for (int c = 0; c < kCases; ++c) {
    if (only && std::atoi(only) != c) continue;
    SolverFixture f;
    DrawCase(f, static_cast<Case>(c));
    f.ctx.panel.checks[CheckBoxClassicRelaxation] = true;
    f.ctx.panel.checks[CheckBoxUnending] = true;
    const int cyan = FindPaletteIndex(f.ctx.materials, testing::kCyan);
    double last = 0.0, lastVo = 0.0, lastFloat = 0.0;
    int quiet = 0;
    long rounds = 0;
    f.platform.onPendingEvents = [&]() {
      // The offset and the floating voltages settle far more slowly than C.
      const double C = f.ctx.results.C, Vo = f.ctx.results.VoC;
      const double Vf = f.ctx.results.floatVolts.at(static_cast<std::size_t>(cyan));
      const bool still = std::fabs(C - last) < 1e-13 * C && std::fabs(Vo - lastVo) < 1e-13 &&
                         std::fabs(Vf - lastFloat) < 1e-13;
      quiet = still ? quiet + 1 : 0;
      last = C;
      lastVo = Vo;
      lastFloat = Vf;
      if (quiet >= 1000 || ++rounds > 3000000) f.ctx.state.abortRequested = true;
    };
    ASSERT_TRUE(f.Setup());
    SolveCapacitance(CapacitanceJobOf(f.ctx));
    std::printf("    {%.17g, %.17g, %.17g, %.17g},  // %s, %ld rounds\n", f.ctx.results.C,
                f.ctx.results.Gp, f.ctx.results.VoC,
                cyan >= 0 ? f.ctx.results.floatVolts.at(static_cast<std::size_t>(cyan)) : 0.0,
                kCaseNames[c], rounds);
    SolverFixture m;
    DrawCase(m, static_cast<Case>(c));
    ASSERT_TRUE(m.Setup());
    SolveCapacitance(CapacitanceJobOf(m.ctx));
    const FieldSolveStats& st = m.ctx.grid.solveStats;
    std::printf("    mg {%.17g, %.17g, %.17g, %.17g} its %d solves %d levels %d res %.3g\n",
                m.ctx.results.C, m.ctx.results.Gp, m.ctx.results.VoC,
                cyan >= 0 ? m.ctx.results.floatVolts.at(static_cast<std::size_t>(cyan)) : 0.0,
                st.iterations, st.solves, st.levels, st.residual);
  }
}

const Figures kReference[kCases] = {
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
};

}  // namespace
}  // namespace zolva
