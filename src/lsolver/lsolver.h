// The inductance and skin-effect resistance solver: one complex current per conductor pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lsolver/current_system.h"
#include "lsolver/pixel_impedance.h"

namespace zolva {

struct LSolverJob;
struct PixelMap;

// Everything the L and Rs solver keeps between and during its solves.
struct LSolverState {
  LoopModel loop;
  UnknownNumbering numbering;
  CurrentSystem system;  // exists only during a solve
  // The solved current of every conductor pixel, with the pixel's place and kind as they were
  // when it was solved, so that the picture and the current table never mix the currents of one
  // map with the pixels of another. Replaced only by a successful solve.
  std::vector<complex> pixelCurrents;
  std::vector<std::int32_t> currentX;
  std::vector<std::int32_t> currentY;
  std::vector<std::int8_t> currentKind;
  int solvedWidth = 0;  // map size the currents belong to
  int solvedHeight = 0;
  // Progress of the elimination.
  double eliminationStart = 0.0;  // date-time in days
  int lastPercent = 777;
  int lastMinutes = 0;
  // The method of the last solve and, when it iterated, its iterations (over all voltage
  // unknowns) and final relative residual.
  bool lastIterative = false;
  int lastIterations = 0;
  double lastResidual = 0.0;
  std::size_t lastGridCells = 0;
};

// Solves L and Rs of the current map at the working frequency and hands them to the results
// report. The solve control calls it after SolveSetup, with every field-region mark (kind 8) of
// Ukind turned back into an insulator (kind 6). On failure or stop it leaves abortRequested set
// and the previous results, currents and picture as they were.
void SolveLandRs(const LSolverJob& job);

// Repaints the conductor pixels of analysedPixels from the last solved currents: brightness is
// the current's magnitude against the strongest pixel's (its square root with highIntensity),
// hue its phase against the strongest pixel whose current has a positive real part. Does nothing
// when no currents exist or the map has changed size since they were solved.
void RenderCurrentDensity(const LSolverState& ls, PixelMap& map, bool highIntensity);

// The table of the last solved currents: every pixel's position, kind, relative current
// magnitude and phase, one line each. Empty when no currents exist (or all are zero).
std::string CurrentsTable(const LSolverState& ls);

}  // namespace zolva
