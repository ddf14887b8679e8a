#include "program/reporting.h"

#include <charconv>
#include <string>
#include <utility>

#include "geometry/map_ops.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/results_report.h"
#include "program/solve_control.h"
#include "program/solve_report.h"

namespace zolva {

void ShowStatus(Context& ctx, std::string_view text) {
  ctx.state.statusText = CutText(text, kMaxStatusText);
  if (ctx.state.ShowStatusHook) ctx.state.ShowStatusHook(ctx.state.statusText);
}

void ShowStep(Context& ctx, std::string_view text) {
  std::string message = std::to_string(ctx.state.stepNumber) + ". " + std::string(text);
  ShowStatus(ctx, message);
  ++ctx.state.stepNumber;
  // The pause only gives a reader time to see the phase message.
  ctx.platform->Sleep(300, true);
}

void ShowProgress(Context& ctx, std::string_view text) {
  SetLabel(ctx, Label17, CutText(text, kMaxLabelText));
  ProcessPendingEvents(ctx);
}

void ShowTrace(Context& ctx, std::string_view text) {
  if (!ctx.state.switches[Switch::KeyboardSwitches]) return;
  SetLabel(ctx, Label18, CutText(text, kMaxLabelText));
  ProcessPendingEvents(ctx);
}

void ProcessPendingEvents(Context& ctx) {
  ctx.platform->ProcessPendingEvents();
}

int MessageBox(Context& ctx, std::string_view text, std::string_view caption, int buttons) {
  return ctx.platform->ShowMessageBox(std::string(text), std::string(caption), buttons);
}

bool ShowFailure(Context& ctx) {
  if (!ctx.failure) return false;
  const SolveFailure failure = std::move(*ctx.failure);
  ctx.failure.reset();
  MessageBox(ctx, failure.message, failure.caption, ButtonsOk);
  return true;
}

void RequestDenied(Context& ctx) {
  ctx.platform->Beep();
  MessageBox(ctx, "Request denied.  A solve is in progress.", "zolva", ButtonsOk);
}

void ReportProgramError(Context& ctx, int errorCode) {
  if (ctx.state.lastShiftState.alt) return;
  std::string text = "Program error " + std::to_string(errorCode) +
                     ". (Zolva has detected a situation that should be impossible.)";
  int answer = MessageBox(ctx, text, ctx.state.errorCaption, ButtonsOkCancel);
  ctx.state.errorCaption = "zolva stop";
  // Holding Alt while dismissing the message silences the later ones.
  ctx.state.lastShiftState = ctx.platform->ModifierKeysNow();
  if (answer == AnswerCancel) ctx.state.abortRequested = true;
  ctx.platform->Sleep(1);
}

void ReportProgramErrorAt(Context& ctx, int errorCode, int cX, int cY) {
  ctx.state.errorCaption = ProgramErrorCaption(cX, cY, ctx.grid.CtoUX, ctx.grid.CtoUY);
  ReportProgramError(ctx, errorCode);
}

void OnUnexpectedError(Context& ctx) {
  ctx.display.copyToScreen = false;
  if (ctx.state.solveInProgress) {
    ctx.state.abortRequested = true;
    EndSolve(ctx);
    ShowProgress(ctx, "");
    ShowTrace(ctx, "");
  }
  ctx.state.abortRequested = false;
}

void ShowUnexpectedError(Context& ctx, std::string_view what) {
  OnUnexpectedError(ctx);
  MessageBox(ctx, "The command stopped on an unexpected error: " + std::string(what), "zolva",
             ButtonsOk);
}

void SetMainCaption(Context& ctx, std::string_view name, bool allowRescale) {
  ctx.state.mainCaption = "zolva  -  " + std::string(name);
  ctx.state.rescaleMenuEnabled = allowRescale;
}

void RefreshDisplay(Context& ctx) {
  if (ctx.state.RefreshDisplayHook) ctx.state.RefreshDisplayHook();
}

void RefreshStatusLine(Context& ctx) {
  if (ctx.state.RefreshStatusLineHook) ctx.state.RefreshStatusLineHook();
}

void StartRecords(Context& ctx) {
  ctx.display.zoomIndex = 2;  // two places up from the first: 100 %
  SetMapSize(GeometryJobOf(ctx), 600, 400);
  ctx.display.plotCurrents = true;
  ctx.map.rescaleIndex = 1;
  ctx.state.mapName = "Default";
  ctx.state.mapExtension = "bmp";
}

void StartMainWindow(Context& ctx) {
  // The hooks are installed by the front end before this runs.
  StartRecords(ctx);
  ctx.state.startupShiftState = ctx.platform->ModifierKeysNow();
  ctx.state.redrawCountdown = 2;
  ctx.platform->Sleep(500, true);
}

void StartWithoutWindows(Context& ctx) {
  StartRecords(ctx);
  CreatePanel(ctx);
}

// The reporting interface.

void PanelReporter::ShowStatus(std::string_view text) {
  zolva::ShowStatus(ctx_, text);
}
void PanelReporter::ShowStep(std::string_view text) {
  zolva::ShowStep(ctx_, text);
}
void PanelReporter::ShowProgress(std::string_view text) {
  zolva::ShowProgress(ctx_, text);
}
void PanelReporter::ShowTrace(std::string_view text) {
  zolva::ShowTrace(ctx_, text);
}
void PanelReporter::SetLabel(PanelLabel label, std::string_view text) {
  zolva::SetLabel(ctx_, label, text);
}
void PanelReporter::ShowTab(int tab) {
  ShowPanel(ctx_, tab);
}
void PanelReporter::ShowPixelWidth(double metres, bool editable) {
  zolva::ShowPixelWidth(ctx_, metres, editable);
}
int PanelReporter::MessageBox(std::string_view text, std::string_view caption, int buttons) {
  return zolva::MessageBox(ctx_, text, caption, buttons);
}
void PanelReporter::ReportProgramError(int code, std::string_view caption) {
  if (!caption.empty()) ctx_.state.errorCaption = CutText(caption, kMaxErrorCaption);
  zolva::ReportProgramError(ctx_, code);
}
void PanelReporter::ShowConvergence(double value) {
  zolva::ShowConvergence(ctx_, value);
}
void PanelReporter::ShowConvergenceVolts(double value) {
  ctx_.panel.capacitanceMode = false;
  zolva::ShowConvergence(ctx_, value);
}
void PanelReporter::ShowResidual(double relative) {
  ctx_.panel.convergenceResidual = relative;
  char text[32];
  // to_chars writes the C locale's digits whatever the user's locale.
  const auto end =
      std::to_chars(text, text + sizeof text, relative, std::chars_format::scientific, 2);
  zolva::SetLabel(ctx_, Label17, "residual " + std::string(text, end.ptr));
}
void PanelReporter::ShowSolvedFigures(SolvedFigures which) {
  NoteSolvedFigures(ctx_, which);
  // A relaxation that has ended may be continued from where it stands.
  if (which == SolvedFigures::CandGp) ctx_.panel.resumeEnabled = true;
}
void PanelReporter::RefreshDisplay() {
  zolva::RefreshDisplay(ctx_);
}
void PanelReporter::RefreshStatusLine() {
  zolva::RefreshStatusLine(ctx_);
}
void PanelReporter::ProcessPendingEvents() {
  zolva::ProcessPendingEvents(ctx_);
}
bool PanelReporter::StopRequested() const {
  return ctx_.state.abortRequested;
}

}  // namespace zolva
