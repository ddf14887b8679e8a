#include "program/studies_run.h"

#include <stdexcept>
#include <utility>

#include "geometry/geometry.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/solve_control.h"

namespace zolva {

namespace {

// What ValidateGeometry's code says is wrong with the panel.
const char* PanelFault(int code) {
  switch (code) {
    case 1:
      return "a dimension of the cross-section is not valid";
    case 2:
      return "the frequency is not valid";
    case 3:
      return "the pixel total is not valid";
    default:
      return "the panel's inputs are not valid";
  }
}

}  // namespace

bool StudyPanelValid(Context& ctx, const std::string& what) {
  const int code = ValidateGeometry(GeometryJobOf(ctx));
  if (code == 0) return true;
  MessageBox(ctx, what + " was not run: " + PanelFault(code) + ".", "zolva", ButtonsOk);
  return false;
}

StudyRun::StudyRun(Context& ctx, std::string name) : ctx_(ctx), name_(std::move(name)) {
  savedSwitches_.fill(-1);
}

StudyRun::~StudyRun() {
  ProgramState& s = ctx_.state;
  for (int n = 0; n < kSwitchCount; ++n) {
    const signed char saved = savedSwitches_[static_cast<std::size_t>(n)];
    if (saved >= 0) s.switches.SetNumbered(n, saved != 0);
  }
  s.calibrationKind = 0;
}

bool StudyRun::Start(bool checkPanel) {
  ProgramState& s = ctx_.state;
  if (SolveBusy(ctx_)) {
    RequestDenied(ctx_);
    ended_ = true;
    return false;
  }
  if (checkPanel && !StudyPanelValid(ctx_, "The " + name_ + " study")) {
    ended_ = true;
    return false;
  }
  // A failure left by an earlier command belongs to it. From here to the end of the study the
  // program is solving: other solves, scripts, studies and new cross-sections are denied, and a
  // Stop pressed while the first map is drawn is not lost.
  s.operationFailed = false;
  s.abortRequested = false;
  s.solveInProgress = true;
  ctx_.panel.stopEnabled = true;
  return true;
}

void StudyRun::SetSwitch(Switch which, bool on) {
  const std::size_t i = static_cast<std::size_t>(SwitchNumber(which));
  if (savedSwitches_[i] < 0) savedSwitches_[i] = ctx_.state.switches[which] ? 1 : 0;
  ctx_.state.switches[which] = on;
  ShowSwitches(ctx_);
}

void StudyRun::SetCalibrationLetter(char16_t letter) {
  ctx_.state.calibrationKind = letter;
}

StudyStep SolveStudyStep(Context& ctx, GeometryKind kind) {
  ProgramState& s = ctx.state;
  // The L and Rs solve depends on the pixel width: the field is read as a window's change handler
  // would, and the map is always rebuilt, as for a scripted L and Rs solve.
  s.requestedPixelWidth = ReadLength(ctx.panel.edits[EditBoxPixelWidth].text);
  ShowPixelWidth(ctx, s.requestedPixelWidth, true);
  s.setupChanged = true;
  s.solveSucceeded = false;
  SolveForScript(ctx, kind, true);
  // The set-up may have found the map unusable and asked for a stop of its own: that is a
  // failure, not the user's Stop.
  if (s.operationFailed) return StudyStep::Failed;
  if (s.solveSucceeded) return StudyStep::Solved;
  if (StudyStopRequested(ctx)) return StudyStep::Stopped;
  if (s.switches[Switch::DryRun]) return StudyStep::Skipped;
  return StudyStep::Failed;
}

bool StudyStopRequested(const Context& ctx) {
  const ProgramState& s = ctx.state;
  return s.abortRequested || s.windowClosing || s.terminateRequested;
}

StudyStep StudyRun::Solve(GeometryKind kind) {
  if (StopRequested()) return StudyStep::Stopped;
  return SolveStudyStep(ctx_, kind);
}

void StudyRun::Complete() {
  if (ended_) return;
  ended_ = true;
  FinishSolve(ctx_);
}

void StudyRun::Fail() {
  if (ended_) return;
  ended_ = true;
  ProgramState& s = ctx_.state;
  s.operationFailed = true;
  FinishSolve(ctx_);  // the beep; clears the failure
  // A script that typed the study's keys ends at that line, as after a failed solve of its own.
  if (s.scriptRunning) s.operationFailed = true;
}

void StudyRun::Stop() {
  if (ended_) return;
  ended_ = true;
  ProgramState& s = ctx_.state;
  // The buttons and fields go back to idle; the study's own end sound is left out.
  s.abortRequested = true;
  EndSolve(ctx_);
  ShowStatus(ctx_, "The " + name_ + " study was stopped.");
  if (s.scriptRunning) s.operationFailed = true;
}

void StudyRun::EndAfter(StudyStep step) {
  switch (step) {
    case StudyStep::Failed:
      Fail();
      return;
    case StudyStep::Stopped:
      Stop();
      return;
    default:
      Complete();
      return;
  }
}

void StudyRun::Refuse(const std::string& text) {
  MessageBox(ctx_, "The " + name_ + " study: " + text, "zolva", ButtonsOk);
  ctx_.state.operationFailed = true;
}

}  // namespace zolva
