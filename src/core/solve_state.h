// The run flags and settings the computing floors share with the application, the kinds of
// cross-section and the physical constants. Everything here lives on the main thread; the worker
// threads never touch it.
#pragma once

#include <array>
#include <cmath>

#include "core/switches.h"

namespace zolva {

enum GeometryKind : int {
  GeomTwinlead = 0,
  GeomSquareTwinlead = 1,
  GeomCoaxial = 2,
  GeomUsermap = 3,
};

inline constexpr double kMetresPerInch = 0.0254;
inline constexpr double kMu0 = 1.2566370614359173e-06;
inline constexpr double kCopperOhmMetres = 1.7241e-8;
// omega = 2 pi 1e6 f for f in MHz.
inline constexpr double kOmegaPerMHz = 6283185.307179586;

// The pixel width a map is solved with: a width that is not known (not a positive finite number)
// is held as 0.
inline double KnownPixelWidth(double metres) {
  return (metres > 0.0 && std::isfinite(metres)) ? metres : 0.0;
}

// What a generator or a solver reads and writes of the program's state while it runs: the stop
// and failure flags (the application sets abortRequested and windowClosing from the events the
// reporter handles during a call, so they are shared, not copied), the cross-section's kind,
// frequency and pixel width, and the switches. The application's own state (countdowns, captions,
// the main window's hooks) extends it above, out of the computing floors' sight.
struct SolveState {
  // Run flags.
  bool abortRequested = false;
  bool solveSucceeded = false;
  // The convergence monitor ended the last relaxation because its estimates had settled (not a
  // stop request, an error or a relaxation that ran away).
  bool relaxationSettled = false;
  bool operationFailed = false;
  bool windowClosing = false;
  bool predictionFailed = false;

  int elapsedSeconds = 0;
  int predictionFailedAt = 0;
  int stepNumber = 0;

  // Shared settings.
  GeometryKind geometryKind = GeomTwinlead;
  double frequencyMHz = 0.0;
  double omega = 0.0;
  double pixelWidth = 0.0;  // metres; 0 means unknown
  SwitchBank switches;
  // Tuning inputs of the pixel resistance model, written by the parameter studies: the surface
  // letter ('A'..'F', 0 for none) whose decay factor or skin correction is replaced, and the value.
  char16_t calibrationKind = 0;
  double calibrationValue = 0.0;

  // Set while the current map cannot be solved (a Usermap with too many colours).
  bool mapUnusable = false;
  // Set by the fuzzing harness of the script interpreter only: every solve command returns at
  // once as if it had solved, and no map above kStubbedMapPixels is drawn, so that hostile
  // scripts exercise the interpreter without running the solvers or filling the memory.
  bool solvesStubbed = false;
};

}  // namespace zolva
