// The program-wide run flags, countdowns and shared settings. Everything here lives on the main
// thread; the worker threads never touch it.
#pragma once

#include <array>
#include <cmath>
#include <functional>
#include <string>

#include "core/switches.h"
#include "platform/platform.h"

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

struct ProgramState {
  // Run flags.
  bool ready = false;
  bool solveInProgress = false;
  bool abortRequested = false;
  bool setupChanged = false;
  bool startupScriptChecked = false;
  bool scriptRunning = false;
  bool solveSucceeded = false;
  // The convergence monitor ended the last relaxation because its estimates had settled (not a
  // stop request, an error or a relaxation that ran away).
  bool relaxationSettled = false;
  bool operationFailed = false;
  bool windowClosing = false;
  bool minimized = false;
  bool predictionFailed = false;
  // A script asked the program to end: every running script stops at once, without its
  // end-of-script steps.
  bool terminateRequested = false;
  // Scripts on the call stack (a script may run another through the key pair F, 8).
  int scriptNesting = 0;

  // Counters and times.
  int tickGuard = 0;
  int tickCount = 0;
  int redrawCountdown = 0;
  int panelLayoutCountdown = 0;
  int resumeCountdown = 0;
  int focusReleaseCountdown = 0;
  double startTime = 0.0;  // days
  int elapsedSeconds = 0;
  int shownSeconds = 0;
  int predictionFailedAt = 0;
  int stepNumber = 0;
  // Solver stages (set-up, L and Rs, capacitance, resumed relaxation) still on the call stack.
  // After Stop, solveInProgress is false while a stage unwinds; rebuilds wait until this is 0.
  int stageDepth = 0;
  ModifierKeys startupShiftState;
  ModifierKeys lastShiftState;

  // Shared settings.
  GeometryKind geometryKind = GeomTwinlead;
  double frequencyMHz = 0.0;
  double omega = 0.0;
  double requestedPixelWidth = 0.0;  // metres, as last read from EditBoxPixelWidth
  double pixelWidth = 0.0;           // metres; 0 means unknown
  SwitchBank switches;
  // Tuning inputs of the pixel resistance model, written by the parameter studies: the surface
  // letter ('A'..'F', 0 for none) whose decay factor or skin correction is replaced, and the value.
  char16_t calibrationKind = 0;
  double calibrationValue = 0.0;
  std::string programFolder;
  std::string mapName = "Default";
  std::string mapExtension = "bmp";

  // Reporting state.
  std::string statusText;  // the remembered status text
  // Why the last rebuild of the cross-section was refused, naming the field and its value;
  // empty after a rebuild that succeeded. For the front ends' messages.
  std::string lastFault;
  std::string errorCaption = "zolva stop";
  std::string mainCaption = "zolva  -  Twinlead";
  bool rescaleMenuEnabled = false;
  // Set while the current map cannot be solved (a Usermap with too many colours).
  bool mapUnusable = false;
  // Set by the fuzzing harness of the script interpreter only: every solve command returns at
  // once as if it had solved, and no map above kStubbedMapPixels is drawn, so that hostile
  // scripts exercise the interpreter without running the solvers or filling the memory.
  bool solvesStubbed = false;

  // Constants set by the control panel's creation.
  double metresPerInch = kMetresPerInch;
  double mu0 = kMu0;
  double copperResistivity = kCopperOhmMetres;

  // Hooks installed by the main window (or a headless front end). Each may be empty.
  std::function<void(const std::string&)> ShowStatusHook;
  std::function<void()> RefreshDisplayHook;
  std::function<void()> RefreshStatusLineHook;
  std::function<void(int)> HandleCommandKeyHook;
  // Window work of the control loop's countdowns: redraw the main window at its current size,
  // lay the control panel out again when its size changed, release the panel's focused control.
  std::function<void()> RedrawMainWindowHook;
  std::function<void()> LayoutPanelHook;
  std::function<void()> ReleasePanelFocusHook;
};

}  // namespace zolva
