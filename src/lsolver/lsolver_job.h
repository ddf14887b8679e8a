// What the L and Rs solver works on: the map and its materials, the conductor index of the solve,
// its own impedance model, current system and solved currents, the results record, the worker
// pool and the reporting interface. The application builds a job from its records for each stage.
#pragma once

#include <string>

#include "core/conductor_index.h"
#include "core/display.h"
#include "core/materials.h"
#include "core/pixel_map.h"
#include "core/reporter.h"
#include "core/results.h"
#include "core/solve_failure.h"
#include "core/solve_state.h"
#include "core/worker_pool.h"
#include "lsolver/iterative.h"
#include "lsolver/lsolver.h"
#include "platform/platform.h"

namespace zolva {

// The settings of the panel an L and Rs solve reads, taken when the stage starts.
struct LSolverOptions {
  int threadCount = 1;         // participants of the elimination
  std::string pixelWidthText;  // the pixel width field as the user left it; empty: no width
  // How the current equations are solved: by the measured choice, or always one way (the
  // elimination for comparisons, BOX 6; the iteration for tests).
  enum class Method { Automatic, Elimination, Iterative };
  Method method = Method::Automatic;
  IterativeTuning iterative;   // the iteration's tolerance and preconditioner
  bool highIntensity = false;  // the current-density picture shows the square root of |J|
};

struct LSolverJob {
  SolveState& state;
  PixelMap& map;
  MaterialTables& materials;
  ConductorIndex& cindex;
  LSolverState& lsolver;
  Results& results;
  WorkerPool& pool;
  Platform& platform;
  Reporter& report;
  FailureSlot& failure;  // why the call could not do its work
  LSolverOptions options;
};

}  // namespace zolva
