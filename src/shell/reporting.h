// Status messages, program-error reports and the handler of unexpected errors.
#pragma once

#include <string>
#include <string_view>

namespace zolva {

struct Context;

// Texts are bounded: status texts to 255 characters, label texts to 32.
inline constexpr std::size_t kMaxStatusText = 255;
inline constexpr std::size_t kMaxLabelText = 32;
inline constexpr std::size_t kMaxErrorCaption = 64;

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
void SetMainCaption(Context& ctx, std::string_view name, bool allowRescale);
void RefreshDisplay(Context& ctx);
void RefreshStatusLine(Context& ctx);
// Modal message box through the platform; buttons 0 OK, 1 OK and Cancel; 2 answers Cancel.
int MessageBox(Context& ctx, std::string_view text, std::string_view caption, int buttons = 0);

// Start-up as far as it runs without windows: the main window's share of it (map size, names,
// modifier keys, countdowns). CreatePanel completes it.
void StartMainWindow(Context& ctx);

}  // namespace zolva
