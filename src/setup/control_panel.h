// The control panel's operations on the program state. A window, a script or a test calls them.
#pragma once

#include <string>
#include <string_view>

#include "setup/panel_model.h"

namespace zolva {

struct Context;

// The length reader: a number with an optional unit IN (default), M, CM, MM or AWG; spaces are
// removed. Returns metres, or -0.0254 (minus one inch) when the text does not convert.
double ReadLength(std::string_view text);
// Integer and real fields: -1 when the text does not convert.
int ReadIntegerField(std::string_view text);
double ReadRealField(std::string_view text);

void CreatePanel(Context& ctx);
void SetField(Context& ctx, EditBox control, std::string_view text);
// Leaving a field: geometry fields also set setupChanged.
void LeaveField(Context& ctx, EditBox control);
void SetCheckBox(Context& ctx, CheckBox control, bool on);
void ShowPanel(Context& ctx, int index);
void ClosePanel(Context& ctx);
void ShowPixelWidth(Context& ctx, double metres, bool editable);
void ShowConductorTotal(Context& ctx);
void ShowSwitches(Context& ctx);
void SetThreadCount(Context& ctx, bool up);
void ClearStatus(Context& ctx);
void RequestStop(Context& ctx);
void RequestResume(Context& ctx);
void ToggleRhoSigma(Context& ctx);
void PickColor(Context& ctx, int x, int y);
void ShowStandardColors(Context& ctx, bool on);
void DrawMaterials(Context& ctx);
void ShowConvergence(Context& ctx, double value);
void SetLabel(Context& ctx, PanelLabel label, std::string_view text);

}  // namespace zolva
