#include "shell/reporting.h"

#include <string>

#include "setup/control_panel.h"
#include "shell/context.h"
#include "shell/solve_control.h"

namespace zolva {

namespace {

std::string Cut(std::string_view text, std::size_t limit) {
  return std::string(text.substr(0, std::min(text.size(), limit)));
}

}  // namespace

void ShowStatus(Context& ctx, std::string_view text) {
  ctx.state.statusText = Cut(text, kMaxStatusText);
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
  SetLabel(ctx, Label17, Cut(text, kMaxLabelText));
  ProcessPendingEvents(ctx);
}

void ShowTrace(Context& ctx, std::string_view text) {
  if (!ctx.state.switches[9]) return;
  SetLabel(ctx, Label18, Cut(text, kMaxLabelText));
  ProcessPendingEvents(ctx);
}

void ProcessPendingEvents(Context& ctx) {
  ctx.platform->ProcessPendingEvents();
}

int MessageBox(Context& ctx, std::string_view text, std::string_view caption, int buttons) {
  return ctx.platform->ShowMessageBox(std::string(text), std::string(caption), buttons);
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
  const int CtoUX = ctx.grid.CtoUX;
  const int CtoUY = ctx.grid.CtoUY;
  std::string caption = "Usermap " + std::to_string(cX + CtoUX) + "," + std::to_string(cY + CtoUY) +
                        "  (" + std::to_string(cX) + "," + std::to_string(cY) + ")";
  ctx.state.errorCaption = Cut(caption, kMaxErrorCaption);
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

void StartMainWindow(Context& ctx) {
  // The hooks are installed by the front end before this runs.
  ctx.display.zoomIndex = 2;  // two places up from the first: 100 %
  SetMapSize(ctx, 600, 400);
  ctx.display.plotCurrents = true;
  ctx.map.rescaleIndex = 1;
  ctx.state.mapName = "Default";
  ctx.state.mapExtension = "bmp";
  ctx.state.startupShiftState = ctx.platform->ModifierKeysNow();
  ctx.state.redrawCountdown = 2;
  ctx.platform->Sleep(500, true);
}

}  // namespace zolva
