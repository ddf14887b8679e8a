// Status messages, program-error reports and the handler of unexpected errors, and the reporting
// interface of the floors below as the panel and the main window carry it out.
#pragma once

#include <string>
#include <string_view>

#include "core/reporter.h"

namespace zolva {

struct Context;

// The reporting interface of the floors below, as the control panel and the main window's status
// line carry it out.
class PanelReporter final : public Reporter {
 public:
  explicit PanelReporter(Context& ctx) : ctx_(ctx) {}
  void ShowStatus(std::string_view text) override;
  void ShowStep(std::string_view text) override;
  void ShowProgress(std::string_view text) override;
  void ShowTrace(std::string_view text) override;
  void SetLabel(PanelLabel label, std::string_view text) override;
  void ShowTab(int tab) override;
  void ShowPixelWidth(double metres, bool editable) override;
  int MessageBox(std::string_view text, std::string_view caption, int buttons = 0) override;
  void ReportProgramError(int code, std::string_view caption = {}) override;
  void ShowConvergence(double value) override;
  void ShowConvergenceVolts(double value) override;
  void ShowResidual(double relative) override;
  void ShowSolvedFigures(SolvedFigures which) override;
  void RefreshDisplay() override;
  void RefreshStatusLine() override;
  void ProcessPendingEvents() override;
  bool StopRequested() const override;

 private:
  Context& ctx_;
};

void ShowStatus(Context& ctx, std::string_view text);
// "<stepNumber>. <text>", then a 300 ms pause for the reader.
void ShowStep(Context& ctx, std::string_view text);
void ShowProgress(Context& ctx, std::string_view text);
void ShowTrace(Context& ctx, std::string_view text);
void ProcessPendingEvents(Context& ctx);
void RequestDenied(Context& ctx);
void ReportProgramError(Context& ctx, int errorCode);
// The caption names the Usermap point of core node (cX, cY), then the node itself.
void ReportProgramErrorAt(Context& ctx, int errorCode, int cX, int cY);
void OnUnexpectedError(Context& ctx);
// An error that reached the front end's event loop: ends a running solve as OnUnexpectedError does,
// then shows what the error says in a message box captioned "zolva".
void ShowUnexpectedError(Context& ctx, std::string_view what);
void SetMainCaption(Context& ctx, std::string_view name, bool allowRescale);
void RefreshDisplay(Context& ctx);
void RefreshStatusLine(Context& ctx);
// Modal message box through the platform; buttons 0 OK, 1 OK and Cancel; 2 answers Cancel.
int MessageBox(Context& ctx, std::string_view text, std::string_view caption, int buttons = 0);
// Shows the failure a computing call left in ctx.failure as its message box, and clears it.
// Every call of the floors below that can fail is followed by this. Returns whether there was one.
bool ShowFailure(Context& ctx);

// The share of the main window's start-up that is no window: the zoom, the default map's size
// and names. The desktop program and the headless session start the same records this way.
void StartRecords(Context& ctx);
// The main window's start-up: StartRecords, then the modifier keys held at start and the first
// redraw. CreatePanel completes it.
void StartMainWindow(Context& ctx);
// Start-up without any window (the headless session): StartRecords, then CreatePanel. The first
// cross-section is built by BuildFirstCrossSection.
void StartWithoutWindows(Context& ctx);

}  // namespace zolva
