// The field display: which part of the 3200 x 3200 field a window needs, its resampling into the
// display bitmap at 25 % to 800 %, the line of text above the picture, and the display settings
// the menus and keys change. Everything here works without a window: a desktop front end shows
// the bitmap and the label texts, and installs RefreshFieldDisplay and RefreshStatusLineNow as
// the RefreshDisplay and RefreshStatusLine hooks. The headless front end installs neither, so a
// refresh there paints nothing; the picture export paints for itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zolva {

struct Context;
struct DisplayField;

inline constexpr int kStatusLineHeight = 18;
inline constexpr double kZoomFactors[6] = {0.25, 0.5, 1.0, 2.0, 4.0, 8.0};
// Drawn where the display shows no part of the field.
inline constexpr std::uint32_t kOutsideFieldColor = 0x333333;
// Dark red of coordinates outside the map or the core.
inline constexpr std::uint32_t kOutsideLabelColor = 170;

struct StatusLabel {
  std::string text;
  std::uint32_t color = 0;
};

// What the main window shows: the bitmap below the status line and the status line's labels.
struct DisplayView {
  int dispWidth = 300, dispHeight = 300;
  int dispCentreX = 150, dispCentreY = 150;
  // dispWidth x dispHeight pixels, three bytes each in the order blue, green, red.
  std::vector<std::uint8_t> bitmap = std::vector<std::uint8_t>(300 * 300 * 3, 0);
  int clientWidth = 0, clientHeight = 0;  // size at the last redraw
  int framesShown = 0;                    // refreshes whose result went to the screen
  // The notice over the picture after a failed prediction; empty when none is drawn.
  std::string noticeText;
  // Status line: mouse position over the picture and what it points at.
  int mouseX = 0, mouseY = 0;
  int uX = 0, uY = 0, cX = 0, cY = 0;
  int apronCellX = 0, apronCellY = 0;  // apron cell of the last interpolated potential
  StatusLabel labelM1, labelM2, labelM3, labelM4, labelM5, label3;
};

// The part of the field a display of the given size needs at a zoom factor, each bound limited
// to 0..3199.
struct FieldWindow {
  int left = 0, right = 0, top = 0, bottom = 0;
};
FieldWindow FieldWindowFor(int dispWidth, int dispHeight, double zoomFactor);

// Resamples the field into the bitmap at the zoom step (0..5); the shrinking steps keep major,
// zero and minor line colours that a plain subsampling would drop.
void ResampleField(const DisplayField& field, int zoomIndex, DisplayView& view);

// Paints the window's part of the field (all of it when fullView is set) for the display mode
// and resamples it into the bitmap.
void RefreshFieldDisplay(Context& ctx);
// Size of the client area of the main window; the picture takes all but the status line.
void ResizeDisplay(Context& ctx, int clientWidth, int clientHeight);
void RedrawMainWindow(Context& ctx, int clientWidth, int clientHeight);

void SetDisplayMode(Context& ctx, int mode);  // 0..7; throws std::out_of_range outside
void SetZoom(Context& ctx, int index);        // 0..5; throws std::out_of_range outside
void StepZoom(Context& ctx, int delta);
void TogglePlotCurrents(Context& ctx);
void ToggleHighIntensity(Context& ctx);
void StepLineDensity(Context& ctx, int delta);

// The status line for a mouse position relative to the picture; the position is remembered.
void RefreshStatusLineAt(Context& ctx, int mx, int my);
// The status line for the remembered mouse position.
void RefreshStatusLineNow(Context& ctx);

// A conductor's number as the picture shows it in coupled mode: the text and its centre, in
// picture pixels.
struct ConductorLabel {
  int x = 0, y = 0;
  std::string text;
};
// The numbers of the conductors of the last coupled numbering, placed on the picture at the
// zoom and position shown; none outside coupled mode or when the map has changed size since.
// A conductor's number stands on its centre when that is one of its pixels, else on its first
// pixel.
std::vector<ConductorLabel> ConductorLabels(const Context& ctx);

// Installs the two hooks, for a front end that has a window.
void InstallDisplayHooks(Context& ctx);

}  // namespace zolva
