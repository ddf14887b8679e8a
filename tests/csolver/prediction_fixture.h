// The capacitance fixture taken as far as the field prediction starts: grid sized, charge
// distributed, surfaces counted; and a hand-made grid for the line and flood tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "csolver/charge_distribution.h"
#include "csolver/csolver_fixture.h"
#include "csolver/prediction.h"
#include "csolver/prediction_field.h"
#include "csolver/prediction_islands.h"
#include "csolver/relaxation.h"
#include "csolver/solver_grid.h"

namespace zolva::testing {

template <class Records>
struct BasicPredictionFixture : BasicSolverFixture<Records> {
  PredictionWork w;

  CapacitanceJob Job() { return CapacitanceJobOf(this->ctx); }

  // Everything SolveCapacitance does before it calls the prediction.
  bool Distribute() {
    if (!this->Setup()) return false;
    const CapacitanceJob job = Job();
    BuildEdgeFactors(this->ctx.grid);
    if (!SizeGrid(job) || !DistributeCharge(job)) return false;
    CountSurfaces(job);
    return this->ctx.grid.apronActive;
  }

  // The island set-up as the prediction runs it (the field switched back on afterwards).
  void Islands() {
    FindIslands(Job(), w);
    w.fieldOff = false;
  }

  std::uint8_t& CodeAt(int x, int y) {
    return this->ctx.grid.Ccode.at(CoreIndex(this->ctx.grid, x, y));
  }
  double& VoltsAt(int x, int y) {
    return this->ctx.grid.Cvolts.at(CoreIndex(this->ctx.grid, x, y));
  }
  const IslandRecord& Island(int k) const {
    return this->ctx.prediction.islands.at(static_cast<std::size_t>(k));
  }

  // Replaces the grid by a core of w x h free nodes (no apron, no charges) whose prediction
  // window is the whole core.
  void HandMadeCore(int width, int height) {
    SolverGrid& g = this->ctx.grid;
    g.Cwid = width;
    g.Chei = height;
    g.Awid = g.Ahei = 1;
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    g.Ccode.assign(n, NodeFree);
    g.Cvolts.assign(n, 0.0);
    g.Cmat.assign(n, 0);
    g.Acode.assign(1, 0);
    g.Avolts.assign(1, 0.0);
    g.Amat.assign(1, 0);
    g.surfaceCount = 0;
    g.predictLeft = 0;
    g.predictTop = 0;
    g.predictRight = width - 1;
    g.predictBottom = height - 1;
    g.predictWidth = width;
    g.predictHeight = height;
    LoadCharges(g, w.charges);
  }
};

using PredictionFixture = BasicPredictionFixture<SolverRecords>;

// Sum of the charges of the surface records of one kind.
inline double PoleCharge(const SolverGrid& g, int kind) {
  double sum = 0.0;
  for (int j = 0; j < g.surfaceCount; ++j) {
    const SurfaceRecord& r = g.surfaceList[static_cast<std::size_t>(j)];
    if (r.sType == kind) sum += r.sCharge;
  }
  return sum;
}

}  // namespace zolva::testing
