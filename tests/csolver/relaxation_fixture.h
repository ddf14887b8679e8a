// A small open cross-section, distributed and planned, for the relaxation's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <random>

#include "csolver/charge_distribution.h"
#include "csolver/csolver_fixture.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"

namespace zolva::testing {

// Conductors of all three fixed voltages, dielectric interfaces and a conductor reaching the
// map's edge, so that the apron is active.
inline void DrawMixedMap(SolverFixture& f) {
  f.Draw({
      "................",
      "..+....pppp.....",
      "..+....pppp..ll.",
      ".......pgpp..ll.",
      "..--...........g",
      "...............g",
  });
}

// The mixed map distributed and planned; free nodes hold random voltages so that every update
// does something.
inline void PrepareMixedGrid(SolverFixture& f, unsigned seed) {
  DrawMixedMap(f);
  ASSERT_TRUE(f.Setup());
  ASSERT_TRUE(SizeGrid(CapacitanceJobOf(f.ctx)));
  BuildEdgeFactors(f.ctx.grid);
  ASSERT_TRUE(DistributeCharge(CapacitanceJobOf(f.ctx)));
  BuildRelaxPlan(CapacitanceJobOf(f.ctx));
  SolverGrid& g = f.ctx.grid;
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> volts(-1.0, 1.0);
  constexpr std::uint8_t kFree = NodeFree | NodeFreeMixed;
  for (std::size_t i = 0; i < g.Cvolts.size(); ++i)
    if (g.Ccode[i] & kFree) g.Cvolts[i] = volts(random);
  for (std::size_t i = 0; i < g.Avolts.size(); ++i)
    if (g.Acode[i] & kFree) g.Avolts[i] = volts(random);
}

}  // namespace zolva::testing
