// The settings of the field display that the solvers and the application read or clear, and the
// 3200 x 3200 colour field that the capacitance solver paints and the display resamples.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace zolva {

// What the field display shows, in the order of the Fields menu (keys U, V, E, D, T, L, B, N).
enum DisplayMode : int {
  DisplayNoField = 0,  // the map's colours only
  DisplayVField = 1,   // the potential
  DisplayEField = 2,   // the field strength
  DisplayDField = 3,   // the field strength weighed by the permittivity
  DisplayLoss = 4,     // the field strength weighed by the permittivity and the loss tangent
  DisplayVLines = 5,   // equipotential lines
  DisplayEVLines = 6,  // equipotential and field lines
  DisplayELines = 7,   // field lines
  kDisplayModeCount = 8
};

struct DisplaySettings {
  bool fieldReady = false;    // the grid holds a potential field the display may show
  bool copyToScreen = false;  // a refresh copies its result to the screen only while set
  bool fullView = false;      // the next refresh paints the whole field, not only the window
  bool plotCurrents = true;
  bool highIntensity = false;
  int displayMode = DisplayNoField;  // a DisplayMode
  int fieldLineDensity = 4;
  int zoomIndex = 2;  // 100 %
  double zoomFactor = 1.0;
};

// Edge length of the display field in field pixels; the map's centre lies at (1600, 1600).
inline constexpr int kFieldSize = 3200;
inline constexpr int kFieldCentre = kFieldSize / 2;
// A flux value that has not been integrated yet.
inline constexpr double kFluxUnset = 1e7;

// The painted field and what the painting leaves for the resampling and the status line. The
// pixel array is allocated by the first painting (41 MB), so a context that never paints never
// holds it. Field pixel (fx, fy) is pixels[fy * 3200 + fx], packed R + 256 G + 65536 B.
struct DisplayField {
  std::vector<std::uint32_t> pixels;
  // The part of the field the next painting fills (each bound within 0..3199).
  int windowLeft = 0, windowRight = kFieldSize - 1;
  int windowTop = 0, windowBottom = kFieldSize - 1;
  // Line colours of the last painting; the shrinking of the display gives them priority.
  std::uint32_t lineColorMajor = 0xFFFFFF;
  std::uint32_t lineColorZero = 0xB0FFB0;
  std::uint32_t contrastColor = 0x555555;
  std::uint32_t currentLineColor = 0;
  // Set by every painting that drew E lines: Cflux and Aflux hold the flux of the shown field.
  bool fluxReady = false;

  // The flux function: one value per core node and per apron node, in -1..1 once scaled.
  std::vector<double> Cflux = std::vector<double>(1, 0.0);
  std::vector<double> Aflux = std::vector<double>(1, 0.0);
  double periodScale = 0.0;  // flux scale of the apron runs: 0.5 / mean jump
  bool periodFound = false;
  int fluxNodes = 0;  // nodes set by the integration so far
  int freeNodes = 0;  // free core nodes
  bool seedFound = false;
  int seedX = 0, seedY = 0;
  std::array<std::uint32_t, 256> fluxWheel{};
};

// Allocates the pixel array when it is missing.
inline void EnsureFieldPixels(DisplayField& field) {
  const std::size_t n = static_cast<std::size_t>(kFieldSize) * kFieldSize;
  if (field.pixels.size() != n) field.pixels.assign(n, 0);
}

}  // namespace zolva
