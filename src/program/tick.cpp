#include <climits>
#include <cmath>
#include <filesystem>
#include <string>

#include "core/utility.h"
#include "csolver/capacitance.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/results_report.h"
#include "program/script_entry.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

constexpr int kTickCountLimit = 1000000;
constexpr double kSecondsPerDay = 86400.0;
// Date-times count days from 1899, so a difference of a few seconds carries a round-off of some
// 1e-7 seconds; a microsecond more keeps a whole second from truncating to the one before.
constexpr double kRoundOffSeconds = 1e-6;
// How long the "Prediction failed" notice stays on the display.
constexpr int kPredictionNoticeSeconds = 2;

// Holds tickGuard for the tick's whole length, also when work inside it throws: a guard left
// raised would silence the control loop for the rest of the run.
class TickGuard {
 public:
  explicit TickGuard(ProgramState& s) : s_(s) { ++s_.tickGuard; }
  ~TickGuard() { --s_.tickGuard; }
  TickGuard(const TickGuard&) = delete;
  TickGuard& operator=(const TickGuard&) = delete;

 private:
  ProgramState& s_;
};

// One tick of a countdown: true on the tick that takes it from 1 to 0.
bool CountDown(int& countdown) {
  if (countdown <= 0) return false;
  --countdown;
  return countdown == 0;
}

void CallHook(const std::function<void()>& hook) {
  if (hook) hook();
}

bool StartupScriptExists(const Context& ctx) {
  std::error_code ec;
  return std::filesystem::is_regular_file(ctx.state.programFolder + "StartupScript.txt", ec);
}

int SecondsSince(double startDays, double nowDays) {
  double seconds = std::trunc((nowDays - startDays) * kSecondsPerDay + kRoundOffSeconds);
  if (!(seconds > INT_MIN)) return INT_MIN;
  if (!(seconds < INT_MAX)) return INT_MAX;
  return static_cast<int>(seconds);
}

std::string ElapsedText(int seconds) {
  if (seconds < 0) seconds = 0;
  int minutes = seconds / 60;
  return IntText(minutes) + ":" + IntTextZ(seconds - 60 * minutes, 2);
}

// The first look at the unbuilt cross-section: runs the start-up script once, when allowed and
// present. True when it ran.
bool RunStartupScriptIfDue(Context& ctx, bool allowed) {
  ProgramState& s = ctx.state;
  if (s.startupScriptChecked) return false;
  if (!allowed || !StartupScriptExists(ctx)) {
    s.startupScriptChecked = true;
    return false;
  }
  // Cleared before the script runs, so that a change the script leaves pending survives.
  // startupScriptChecked stays false meanwhile: it tells the interpreter to read the start-up
  // script.
  s.setupChanged = false;
  RunStartupScript(ctx);
  s.startupScriptChecked = true;
  return true;
}

}  // namespace

void BuildFirstCrossSection(Context& ctx, bool runStartupScript) {
  ProgramState& s = ctx.state;
  if (s.setupChanged) RunStartupScriptIfDue(ctx, runStartupScript);
  // What the script left pending (or the panel's defaults, without a script) is built now, as the
  // tick after it would.
  if (s.setupChanged && !SolveBusy(ctx)) RebuildCrossSection(ctx);
}

void Tick(Context& ctx) {
  ProgramState& s = ctx.state;
  if (!s.ready) return;
  // An earlier tick is still running: it started a script, a rebuild, a resumed relaxation or a
  // message box, and this tick arrived through that work's event handling.
  if (s.tickGuard != 0) return;
  TickGuard guard(s);
  if (++s.tickCount > kTickCountLimit) s.tickCount = 0;

  if (CountDown(s.redrawCountdown)) CallHook(s.RedrawMainWindowHook);
  if (CountDown(s.panelLayoutCountdown)) {
    CallHook(s.LayoutPanelHook);
    DrawResults(ctx);
  }
  // Resume is enabled only while the grid holds a finished relaxation; a rebuild or a new solve
  // disables it, and a request made before that has lapsed with it.
  if (CountDown(s.resumeCountdown) && ctx.panel.resumeEnabled) {
    if (SolveBusy(ctx)) {
      // The grid is in use by a running or unwinding solve; resume once it has let go.
      s.resumeCountdown = 1;
    } else {
      // The resumed relaxation marks itself as a running stage.
      ResumeRelaxation(ctx);
    }
  }
  if (CountDown(s.focusReleaseCountdown)) CallHook(s.ReleasePanelFocusHook);

  if (s.setupChanged) {
    if (RunStartupScriptIfDue(ctx, !s.startupShiftState.shift)) return;
    if (s.solveInProgress) {
      // A change made during a solve is dropped; the user makes it again afterwards.
      s.setupChanged = false;
      return;
    }
    // While a stopped stage unwinds, the rebuild stays pending for a later tick.
    if (s.stageDepth == 0) RebuildCrossSection(ctx);
  }

  s.elapsedSeconds = SecondsSince(s.startTime, ctx.platform->Now());
  if (s.solveInProgress && s.elapsedSeconds != s.shownSeconds) {
    s.shownSeconds = s.elapsedSeconds;
    SetLabel(ctx, Label39, ElapsedText(s.elapsedSeconds));
  }
  if (s.predictionFailed &&
      static_cast<long long>(s.elapsedSeconds) >
          static_cast<long long>(s.predictionFailedAt) + kPredictionNoticeSeconds) {
    s.predictionFailed = false;
    RefreshDisplay(ctx);
  }
}

}  // namespace zolva
