// The current cross-section as a picture: one packed colour per pixel, the palette index of each
// pixel, its placement in the 3200 x 3200 display field, and the Usermap loader that fills it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zolva {

struct Context;

inline constexpr int kDisplayFieldSize = 3200;

struct PixelMap {
  int Uwid = 0;
  int Uhei = 0;
  std::vector<std::uint32_t> Ucolor;          // x + y * Uwid
  std::vector<std::uint32_t> analysedPixels;  // same layout
  std::vector<std::uint8_t> Uindex;           // palette index per pixel
  std::vector<std::int8_t> Ukind;             // per-pixel kind map of the current solve
  int mapCentreX = 0, mapCentreY = 0;
  int mapToFieldX = 0, mapToFieldY = 0;
  int fieldToMapX = 0, fieldToMapY = 0;
  std::vector<std::uint32_t> sourceImage;  // decoded Usermap, sourceWidth x sourceHeight
  int sourceWidth = 0, sourceHeight = 0;
  int rescaleIndex = 1;  // 0: 50 %, 1: 100 %, 2: 200 %, 3: 300 %
  int condCount = 0;
  int conductorPixelsUnrestricted = 0;
  std::vector<int> pixelCounts;  // per palette entry
  std::uint32_t backgroundColor = 0;
  std::string pixelWidthText;
  std::string mapExtensionUpper = "BMP";
};

inline constexpr int kRescaleFactors[4] = {50, 100, 200, 300};
// Largest image the decoders accept, in pixels.
inline constexpr std::int64_t kMaxImagePixels = 100'000'000;

void SetMapSize(Context& ctx, int w, int h);
void PublishMap(Context& ctx);
// Returns false when the load failed (the message has been shown).
bool LoadUsermap(Context& ctx, const std::string& path);
bool LoadImageFile(Context& ctx, const std::string& path);
void RescaleMap(Context& ctx);
// Returns false when the map holds more colours than the palette can (message shown).
bool AnalyseColours(Context& ctx);
void FillPaletteProperties(Context& ctx);
void ClearPaletteProperties(Context& ctx);
void RebuildUsermap(Context& ctx);
void SetRescale(Context& ctx, int index);
void StepRescale(Context& ctx, int delta);
// The pixel-width text rescaled from one rescale index to another ("0.1mm", 1 -> 2 gives "0.05mm").
std::string RescalePixelWidthText(const std::string& text, int fromIndex, int toIndex);

}  // namespace zolva
