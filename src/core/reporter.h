// The one narrow way by which code below the application reaches the user: status and phase
// texts, panel labels and tabs, message boxes, the convergence monitor, repaints, pending events
// and the stop request. The control panel model implements it; a test implements it with a
// recorder. Nothing below the application floor sees the panel or the windows in any other way.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace zolva {

// Texts are bounded: status texts to 255 characters, label texts to 32.
inline constexpr std::size_t kMaxStatusText = 255;
inline constexpr std::size_t kMaxLabelText = 32;
inline constexpr std::size_t kMaxErrorCaption = 64;

// The labels of the control panel that the solvers and generators write.
enum PanelLabel : int {
  Label17,        // stage (ShowProgress)
  Label18,        // draw (ShowTrace)
  Label31,        // actual conductor pixel total
  Label36,        // surface
  Label39,        // time
  Label40,        // float voltages
  LabelThreads,   // " - 6 threads"
  LabelSwitches,  // numbers of the switches that are on
  LabelCoreSize,  // size of the capacitance grid's core
  LabelValue,     // current value of the convergence monitor
  LabelMaterialName,
  LabelRed,
  LabelGreen,
  LabelBlue,
  LabelHexColor,
  LabelRhoSymbol,
  kPanelLabelCount
};

// The tabs of the control panel. ShowTab(TabCurrent) shows the panel on the tab it is on.
enum PanelTab : int {
  TabCurrent = -1,
  TabRoundTwinlead = 0,
  TabSquareTwinlead = 1,
  TabCoaxial = 2,
  TabMaterials = 3,
  TabConverging = 4,
  TabResults = 5,
  TabCoupled = 6,  // the matrices and modes of coupled lines
  kPanelTabCount = 7
};

// Which solve's figures have just been written into the results record.
enum class SolvedFigures { LandRs, CandGp };

class Reporter {
 public:
  virtual ~Reporter() = default;

  // The status line of the main window (cut to kMaxStatusText).
  virtual void ShowStatus(std::string_view text) = 0;
  // "<step>. <text>" in the status line, then a short pause for the reader.
  virtual void ShowStep(std::string_view text) = 0;
  // The stage label of the panel (Label17), then pending events.
  virtual void ShowProgress(std::string_view text) = 0;
  // The draw label of the panel (Label18) while Switch::KeyboardSwitches is on, then pending
  // events.
  virtual void ShowTrace(std::string_view text) = 0;
  virtual void SetLabel(PanelLabel label, std::string_view text) = 0;
  virtual void ShowTab(int tab) = 0;
  // The pixel width field: shows metres (0 empties it); editable leaves it open to the user.
  // The caller has made metres the map's width (SolveState::pixelWidth, see KnownPixelWidth).
  virtual void ShowPixelWidth(double metres, bool editable) = 0;
  // Modal message box; buttons 0 OK, 1 OK and Cancel; returns AnswerOk or AnswerCancel.
  virtual int MessageBox(std::string_view text, std::string_view caption, int buttons = 0) = 0;
  // "Program error <code>": OK goes on, Cancel requests a stop. caption, when given, names the
  // place (see ProgramErrorCaption).
  virtual void ReportProgramError(int code, std::string_view caption = {}) = 0;
  // One sample of the convergence monitor: 0 starts a new series, a positive value is the
  // current estimate. May request the automatic stop when the estimates have settled.
  virtual void ShowConvergence(double value) = 0;
  // Switches the convergence monitor out of its capacitance mode (no automatic stop) and shows
  // value as a voltage (" Vo"): the offset search of the field prediction.
  virtual void ShowConvergenceVolts(double value) = 0;
  // The relative residual of the multigrid field solve after an iteration, beside the estimate
  // of ShowConvergence.
  virtual void ShowResidual(double relative) { (void)relative; }
  // The results record holds new figures: the results page and the summary follow them.
  virtual void ShowSolvedFigures(SolvedFigures which) = 0;
  virtual void RefreshDisplay() = 0;
  virtual void RefreshStatusLine() = 0;
  virtual void ProcessPendingEvents() = 0;
  // Stop button, "S" key, Cancel on a program error, closing, or the automatic stop.
  virtual bool StopRequested() const = 0;
};

// The caption of a program error at core node (cX, cY): the Usermap point, then the node.
std::string ProgramErrorCaption(int cX, int cY, int CtoUX, int CtoUY);

// Empties the surface, time, float-voltage and stage labels of the panel.
void ClearStatusLabels(Reporter& report);

// text cut to at most limit characters.
std::string CutText(std::string_view text, std::size_t limit);

}  // namespace zolva
