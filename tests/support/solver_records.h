// The records the computing components work on, held directly, and the jobs over them: what the
// application would hand a generator or a solver, without the application. The reporter records,
// shows message boxes on the platform and reads the program's stop flag as a stop request, as the
// panel does.
#pragma once

#include <string>

#include "core/conductor_index.h"
#include "core/display.h"
#include "core/materials.h"
#include "core/pixel_map.h"
#include "core/results.h"
#include "core/solve_failure.h"
#include "core/solve_state.h"
#include "core/worker_pool.h"
#include "csolver/capacitance_job.h"
#include "csolver/field_painting.h"
#include "csolver/field_regions.h"
#include "csolver/prediction.h"
#include "csolver/solver_grid.h"
#include "geometry/geometry_job.h"
#include "lsolver/lsolver.h"
#include "lsolver/lsolver_job.h"
#include "platform/platform.h"
#include "support/recording_reporter.h"

namespace zolva::testing {

struct SolverRecords {
  explicit SolverRecords(Platform& p) : platform(&p) {
    reporter.stopFlag = &state.abortRequested;
    reporter.platform = &p;
  }
  SolverRecords(const SolverRecords&) = delete;
  SolverRecords& operator=(const SolverRecords&) = delete;

  Platform* platform;
  SolveState state;
  // The failure the last computing call left; the application would show it.
  FailureSlot failure;
  PixelMap map;
  MaterialTables materials;
  DisplaySettings display;
  DisplayField field;
  Results results;
  WorkerPool pool;
  SolverGrid grid;
  ConductorIndex cindex;
  FieldRegions regions;
  LSolverState lsolver;
  PredictionState prediction;
  RecordingReporter reporter;

  // What the jobs are given besides the records: the dimensions and options of a generated
  // cross-section, the solvers' options, and the participants of both solvers.
  GeometryInputs inputs;
  CapacitanceOptions capacitance;
  LSolverOptions currents;
  int threadCount = 1;
  std::string programFolder;  // where "MoreColors.txt" is looked for
};

inline GeometryJob GeometryJobOf(SolverRecords& r) {
  return GeometryJob{r.state,    r.map,     r.materials, r.results, r.display.fieldReady,
                     r.reporter, r.failure, r.inputs};
}

inline CapacitanceJob CapacitanceJobOf(SolverRecords& r) {
  CapacitanceOptions options = r.capacitance;
  options.threadCount = r.threadCount;
  return CapacitanceJob{
      r.state,      r.map,     r.materials,          r.cindex, r.regions,   r.grid,
      r.prediction, r.results, r.display.fieldReady, r.pool,   *r.platform, r.reporter,
      r.failure,    options};
}

inline LSolverJob LSolverJobOf(SolverRecords& r) {
  LSolverOptions options = r.currents;
  options.threadCount = r.threadCount;
  return LSolverJob{r.state, r.map,       r.materials, r.cindex,  r.lsolver, r.results,
                    r.pool,  *r.platform, r.reporter,  r.failure, options};
}

inline FieldPaintJob FieldPaintJobOf(SolverRecords& r) {
  return FieldPaintJob{r.grid,           r.map,     r.materials, r.display, r.results.L,
                       r.state.switches, r.reporter};
}

// The start of a solve: the run flags a solve sets, then the index of the conductor pixels (for
// coupled lines every signal region is its own conductor, so +1 and -1 are not both required).
inline bool IndexConductors(SolverRecords& r, bool coupled = false) {
  r.state.stepNumber = 1;
  r.state.solveSucceeded = false;
  r.state.abortRequested = false;
  return BuildConductorIndex(r.map, r.materials, r.cindex, r.state, r.reporter, r.failure, coupled);
}

}  // namespace zolva::testing
