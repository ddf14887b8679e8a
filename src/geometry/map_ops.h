// What makes and changes the pixel map: its size, the Usermap loader, the rescale and the colour
// analysis that finds every pixel's palette colour.
#pragma once

#include <cstdint>
#include <string>

#include "core/pixel_map.h"
#include "core/solve_state.h"
#include "geometry/geometry_job.h"
#include "platform/image_codec.h"

namespace zolva {

// A map of w x h pixels of the background colour, placed on the display field.
void SetMapSize(const GeometryJob& job, int w, int h);
// The drawn map becomes the analysed picture and the panel shows its conductor total.
void PublishMap(const GeometryJob& job);
// Decodes the image file into the map's source image; false (after a message) when it cannot.
bool LoadImageFile(const GeometryJob& job, const std::string& path);
// A picture already in memory (decoded, or handed in by the headless session) becomes the map's
// source image, snapped when asked; false (after a message naming path) when it cannot.
bool AcceptImage(const GeometryJob& job, RgbImage image, const std::string& path);
void RescaleMap(const GeometryJob& job);
// Returns false when the map holds more colours than the palette can (message shown).
bool AnalyseColours(const GeometryJob& job);
void FillPaletteProperties(const GeometryJob& job);
void ClearPaletteProperties(const GeometryJob& job);
void RebuildUsermap(const GeometryJob& job);
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
// A map of this size can be held: not empty and at most `limit` pixels.
bool FitsPixelLimit(const MapSize& size, std::int64_t limit = kMaxImagePixels);
// The largest map the program draws: kMaxImagePixels, or kStubbedMapPixels under a fuzz run.
inline std::int64_t MapPixelLimit(const SolveState& state) {
  return state.solvesStubbed ? kStubbedMapPixels : kMaxImagePixels;
}
// The pixel-width text rescaled from one rescale index to another ("0.1mm", 1 -> 2 gives "0.05mm").
std::string RescalePixelWidthText(const std::string& text, int fromIndex, int toIndex);

}  // namespace zolva
