// The one program-wide context: every record that lives for the whole run. There are no mutable
// globals; each test builds its own context. Only the application floor sees it whole; the floors
// below take the records they work on (see jobs.h) and the reporting interface.
#pragma once

#include "core/conductor_index.h"
#include "core/display.h"
#include "core/materials.h"
#include "core/pixel_map.h"
#include "core/results.h"
#include "core/solve_failure.h"
#include "core/worker_pool.h"
#include "csolver/field_regions.h"
#include "csolver/prediction.h"
#include "csolver/solver_grid.h"
#include "lsolver/lsolver.h"
#include "platform/platform.h"
#include "program/commands.h"
#include "program/coupled_solve.h"
#include "program/display.h"
#include "program/panel_model.h"
#include "program/program_state.h"
#include "program/reporting.h"
#include "program/solve_report.h"

namespace zolva {

struct Context {
  explicit Context(Platform& p) : platform(&p) {}
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  Platform* platform;
  ProgramState state;
  PixelMap map;
  MaterialTables materials;
  PanelModel panel;
  DisplaySettings display;
  DisplayField field;  // the painted 3200 x 3200 field and the flux function
  DisplayView view;    // the display bitmap and the status line
  Results results;
  WorkerPool pool;
  SolverGrid grid;
  ConductorIndex cindex;       // conductor pixels and per-kind counts of the current solve
  FieldRegions regions;        // field regions of the current solve
  LSolverState lsolver;        // impedance model, current system and pixel currents of L and Rs
  PredictionState prediction;  // surface counts and balance of the field prediction
  KeyState keys;               // the main window's key interpreter between keys
  SoundMode toneMode = SoundMode::Async;  // play flags of the tone generator
  PanelReporter reporter{*this};          // how the floors below reach the panel and windows
  SolveReports reports;                   // what each finished solve hands to its reader
  CoupledResults coupled;                 // the matrices of the last coupled solve
  // The failure the last computing call left, until ShowFailure shows it.
  FailureSlot failure;
};

}  // namespace zolva
