// The control panel's operations on the program state. A window, a script or a test calls them.
#pragma once

#include <string>
#include <string_view>

#include "program/panel_model.h"

namespace zolva {

struct Context;

// The length reader: a number with an optional unit IN (default), M, CM, MM or AWG; spaces are
// removed. Returns metres, or -0.0254 (minus one inch) when the text does not convert.
double ReadLength(std::string_view text);
// Integer and real fields: -1 when the text does not convert.
int ReadIntegerField(std::string_view text);
double ReadRealField(std::string_view text);

void CreatePanel(Context& ctx);
// Shows the always-visible controls and those of the current tab (after a resize as well).
void LayoutPanel(Context& ctx);
void SetField(Context& ctx, EditBox control, std::string_view text);
// Leaving a field: geometry fields (and the frequency, on which the skin-depth layer and omega
// depend) set setupChanged; the materials fields are written to their colour.
void LeaveField(Context& ctx, EditBox control);
void SetCheckBox(Context& ctx, CheckBox control, bool on);
void ShowPanel(Context& ctx, int index);
void ClosePanel(Context& ctx);
void ShowPixelWidth(Context& ctx, double metres, bool editable);
void ShowConductorTotal(Context& ctx);
void ShowSwitches(Context& ctx);
void SetThreadCount(Context& ctx, bool up);
// Sets the thread count to n, clamped to 1 .. the processor count (the script's THR).
void SetThreadCountTo(Context& ctx, int n);
void ClearStatus(Context& ctx);
void RequestStop(Context& ctx);
void RequestResume(Context& ctx);
void ToggleRhoSigma(Context& ctx);
void PickColor(Context& ctx, int x, int y);
void ShowStandardColors(Context& ctx, bool on);
void DrawMaterials(Context& ctx);
// Writes the materials fields typed into since the page was drawn to the colour they were drawn
// for. A text that is not a valid value is refused with a status message; the material keeps
// its value. Returns whether any field had been typed into.
bool CommitMaterialsFields(Context& ctx);
void ShowConvergence(Context& ctx, double value);
void SetLabel(Context& ctx, PanelLabel label, std::string_view text);

// The command code a key-down on the panel passes to the main window's command handler, or -1
// when the panel keeps the key. code is the virtual key code: page keys, arrows, insert and delete
// (33..46) and numeric-pad divide and F1..F11 (111..122) pass with 0xF000 added; inside a text
// field only 111..122 pass, so the field keeps its editing keys. Typed characters are passed
// unchanged outside text fields by the window itself.
int PanelKeyToCommand(int code, bool inTextField);

}  // namespace zolva
