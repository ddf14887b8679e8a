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
  int restrictedPixels = 0;      // conductor pixels the skin-depth restriction repainted
  std::vector<int> pixelCounts;  // per palette entry
  std::uint32_t backgroundColor = 0;
  std::string pixelWidthText;
  std::string mapExtensionUpper = "BMP";
  std::string sourcePath;  // file the source image was decoded from, for messages
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
// What a Usermap's file name says about the map: the file name proper (after the last '/' or
// '\\'), its extension without the dot (at most 8 characters) and in capitals, the pixel width
// written between the last "(" and the last ")", and the map's name that remains.
struct UsermapName {
  std::string fileName;
  std::string extension;
  std::string extensionUpper;
  std::string mapName;
  std::string pixelWidthText;
};
UsermapName ParseUsermapFileName(const std::string& path);
// Size of the map made from a w x h source at a rescale index (0..3, else std::out_of_range);
// never below 1 x 1, so that 50 % of a one-pixel-wide image still leaves a map.
struct MapSize {
  std::int64_t width = 0;
  std::int64_t height = 0;
};
MapSize RescaledSize(int w, int h, int index);
// A map of this size can be held: not empty and at most kMaxImagePixels pixels.
bool FitsPixelLimit(const MapSize& size);
// The pixel-width text rescaled from one rescale index to another ("0.1mm", 1 -> 2 gives "0.05mm").
std::string RescalePixelWidthText(const std::string& text, int fromIndex, int toIndex);

}  // namespace zolva
