// Painting of the 3200 x 3200 display field: the cross-section (the map or the current-density
// picture, continued over the core's margin and the apron), then the chosen view of the solved
// field: potential, E field, D field, loss, equipotentials, E lines or both kinds of lines. Core
// cells paint one field pixel each, apron cells 8 x 8.
#pragma once

#include <array>
#include <cstdint>

#include "core/display.h"
#include "core/materials.h"
#include "core/pixel_map.h"
#include "core/reporter.h"
#include "core/solve_state.h"
#include "csolver/solver_grid.h"

namespace zolva {

// What painting the display from a solved grid reads: the grid, the map and its materials, the
// display settings, the solved L (a current-density picture exists only after an L and Rs solve),
// the switches of the debug views, and the trace. The application builds it for each repaint; no
// solve takes display settings.
struct FieldPaintJob {
  const SolverGrid& grid;
  const PixelMap& map;
  const MaterialTables& materials;
  const DisplaySettings& display;
  double L = 0.0;
  const SwitchBank& switches;
  Reporter& report;
};

// Levels per volt of the field lines for a line density 1..9; throws std::out_of_range outside.
int LevelsPerVolt(int fieldLineDensity);

// The line colours for a background: major lines in its inverse, zero lines green (light green
// on black), minor lines in the background's contrast colour.
void SetLineColors(DisplayField& field, std::uint32_t backgroundColor);

// The cross-section layer over the whole field (and, with a field, over the window's margin and
// apron cells).
void PaintBase(const FieldPaintJob& job, DisplayField& field);

// Paints the field inside its window for the job's display settings. Allocates the field's
// pixels at the first call.
void PaintField(const FieldPaintJob& job, DisplayField& field);

// One contour segment at `level` across the 8 x 8 apron cell whose top-left field pixel is
// (fx, fy), in field.currentLineColor. A level that crosses fewer than two edges draws nothing.
void DrawCellContour(DisplayField& field, double vTL, double vTR, double vBL, double vBR,
                     double level, int fx, int fy);

// The node codes, surface links and prediction marks over the field (Switch::DebugOverlay).
void DebugOverlay(const FieldPaintJob& job, DisplayField& field);

}  // namespace zolva
