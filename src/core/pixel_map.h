// The current cross-section as a picture: one packed colour per pixel, the palette index of each
// pixel, its placement in the 3200 x 3200 display field, and the Usermap loader that fills it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/image_codec.h"

namespace zolva {

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
  // The colour snapping of the last picture loaded: whether it ran, and how many pixels and
  // distinct colours it replaced.
  bool snapped = false;
  std::int64_t snappedPixels = 0;
  std::int64_t snappedColours = 0;
  // Colours of the map that no colour definition names, and their pixels: they are solved as
  // vacuum. Counted by the colour analysis of a Usermap.
  int unknownColours = 0;
  std::int64_t unknownPixels = 0;
};

inline constexpr int kRescaleFactors[4] = {50, 100, 200, 300};
// Largest map held, in pixels: the largest image the decoders accept.
inline constexpr std::int64_t kMaxImagePixels = kMaxDecodedPixels;
// The map limit while the solves are stubbed (SolveState::solvesStubbed).
inline constexpr std::int64_t kStubbedMapPixels = 1'000'000;

}  // namespace zolva
