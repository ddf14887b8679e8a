// The program-wide run flags, countdowns and settings of the application: the state the
// computing floors share (SolveState), and what only the application and its windows use.
// Everything here lives on the main thread; the worker threads never touch it.
#pragma once

#include <functional>
#include <string>

#include "core/solve_state.h"
#include "platform/platform.h"

namespace zolva {

struct ProgramState : SolveState {
  // Run flags.
  bool ready = false;
  bool solveInProgress = false;
  bool setupChanged = false;
  bool startupScriptChecked = false;
  bool scriptRunning = false;
  bool minimized = false;
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
  int shownSeconds = 0;
  // Solver stages (set-up, L and Rs, capacitance, resumed relaxation) still on the call stack.
  // After Stop, solveInProgress is false while a stage unwinds; rebuilds wait until this is 0.
  int stageDepth = 0;
  ModifierKeys startupShiftState;
  ModifierKeys lastShiftState;

  // Shared settings.
  double requestedPixelWidth = 0.0;  // metres, as last read from EditBoxPixelWidth
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
