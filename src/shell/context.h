// The one program-wide context: every record that lives for the whole run. There are no mutable
// globals; each test builds its own context.
#pragma once

#include "csolver/field_regions.h"
#include "csolver/solver_grid.h"
#include "lsolver/conductor_index.h"
#include "lsolver/lsolver.h"
#include "platform/platform.h"
#include "prediction/prediction.h"
#include "setup/materials.h"
#include "setup/panel_model.h"
#include "setup/results.h"
#include "shell/display.h"
#include "shell/pixel_map.h"
#include "shell/program_state.h"
#include "shell/worker_pool.h"

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
  Results results;
  WorkerPool pool;
  SolverGrid grid;
  ConductorIndex cindex;       // conductor pixels and per-kind counts of the current solve
  FieldRegions regions;        // field regions of the current solve
  LSolverState lsolver;        // impedance model, current system and pixel currents of L and Rs
  PredictionState prediction;  // surface counts and balance of the field prediction
  SoundMode toneMode = SoundMode::Async;  // play flags of the tone generator
};

}  // namespace zolva
