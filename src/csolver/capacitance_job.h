// What the capacitance solver works on: the map and its materials, the conductor index of the
// solve, its own grid, field regions and prediction figures, the results record, the worker pool
// and the reporting interface. The application builds a job from its records for each stage.
#pragma once

#include "core/conductor_index.h"
#include "core/display.h"
#include "core/materials.h"
#include "core/pixel_map.h"
#include "core/reporter.h"
#include "core/results.h"
#include "core/solve_failure.h"
#include "core/solve_state.h"
#include "core/worker_pool.h"
#include "csolver/field_regions.h"
#include "csolver/prediction.h"
#include "csolver/solver_grid.h"
#include "platform/platform.h"

namespace zolva {

// The settings of the panel a capacitance solve reads, taken when the stage starts.
struct CapacitanceOptions {
  int threadCount = 1;             // participants of the relaxation
  bool voZero = false;             // "Vo zero": no common offset of a balanced line is searched
  bool noPrediction = false;       // "Skip E prediction": an open line relaxes from zero
  bool classicRelaxation = false;  // "Classic relaxation" instead of the multigrid solve
  bool unending = false;           // "Unending run": the solve goes on until stopped
  int iterationLimit = 2000;       // iterations of one multigrid solve before it gives up
};

struct CapacitanceJob {
  SolveState& state;
  PixelMap& map;
  MaterialTables& materials;
  const ConductorIndex& cindex;
  FieldRegions& regions;
  SolverGrid& grid;
  PredictionState& prediction;
  Results& results;
  bool& fieldReady;  // the grid holds a potential field the display may show
  WorkerPool& pool;
  Platform& platform;
  Reporter& report;
  FailureSlot& failure;  // why the call could not do its work
  CapacitanceOptions options;
};

}  // namespace zolva
