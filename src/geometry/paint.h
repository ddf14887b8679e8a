// Painting primitives of the generated cross-sections: discs, boxes, round wires, dielectric slabs
// and ground planes. Every primitive clips to the map, so coordinates far outside it (huge skews
// or offsets) paint nothing there and never touch memory beyond the map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/materials.h"
#include "geometry/geometry_job.h"

namespace zolva {

struct PixelMap;
struct TwinleadFrame;

inline constexpr std::uint32_t kBlack = PackColor(0, 0, 0);          // vacuum, the background
inline constexpr std::uint32_t kRed = PackColor(255, 0, 0);          // copper at +1 volt
inline constexpr std::uint32_t kGreen = PackColor(0, 255, 0);        // copper at 0 volt
inline constexpr std::uint32_t kBlue = PackColor(0, 0, 255);         // copper at -1 volt
inline constexpr std::uint32_t kCyan = PackColor(0, 255, 255);       // floating copper
inline constexpr std::uint32_t kMagenta = PackColor(255, 0, 255);    // "polyethelene"
inline constexpr std::uint32_t kPcbColor = PackColor(26, 239, 179);  // "fiberglass/epoxy PCB"

// A pixel coordinate from a whole-numbered double, limited to a range far beyond any map so that
// the painting arithmetic cannot overflow; clipping then discards it as it would the true value.
std::int64_t PixelCoord(double v);

// A disc of radius r centred on the corner point between columns x-1, x and rows y-1, y. It is
// built from horizontal and vertical spans, 2 round(sqrt(r^2 - d^2)) pixels long at distance d
// from the centre, for d up to round(0.8 r); on its middle rows it is 2 round(r) pixels wide.
void FillDisc(PixelMap& map, std::int64_t x, std::int64_t y, double r, std::uint32_t colour);
// Columns left..right-1 and rows top..bottom-1.
void FillBox(PixelMap& map, std::int64_t left, std::int64_t top, std::int64_t right,
             std::int64_t bottom, std::uint32_t colour);
// Pixels of the colour in columns left..right-1 and rows top..bottom-1 (the part inside the map).
std::int64_t CountColor(const PixelMap& map, std::int64_t left, std::int64_t top,
                        std::int64_t right, std::int64_t bottom, std::uint32_t colour);
// Adds to condCount, saturating at the largest count it can hold.
void AddConductorPixels(PixelMap& map, std::int64_t n);

// A round conductor: the colour joins the palette, a disc of radius r is painted and, when
// rInner > 0, its core in innerColour; the conductor's pixels found in the square of half side
// round(r + 1) around the centre are added to condCount.
void DrawWire(const GeometryJob& job, std::uint32_t colour, std::uint32_t innerColour,
              std::int64_t x, std::int64_t y, double r, double rInner);

// The dielectric slabs ("Insulation vertical", "Insulation horizontal") and the ground planes
// ("Add top plane", "Add bottom plane", "Add side planes") of a twinlead, placed around the map
// centre column and the centre line frame.yc at the frame's distances.
void DrawSlabs(const GeometryJob& job, const TwinleadFrame& frame);
void DrawPlanes(const GeometryJob& job, const TwinleadFrame& frame);

// The palette part of the map state as a generator found it; restored when the generator refuses
// to draw, so that the previous map keeps the palette and records that describe it.
struct PaletteSnapshot {
  UsermapPalette palette;
  std::vector<MaterialRec> recs;
  bool paletteReady = false;
  int condCount = 0;
  int restrictedPixels = 0;
};
PaletteSnapshot TakePaletteSnapshot(const GeometryJob& job);
void RestorePaletteSnapshot(const GeometryJob& job, const PaletteSnapshot& snapshot);

// True when a W x H map can be drawn: both whole numbers from 1 to kMaxGeneratedDimension and
// at most kMaxImagePixels in all. Otherwise a message box (caption "zolva") names the size,
// operationFailed is set, and false is returned.
bool AcceptGeneratedMapSize(const GeometryJob& job, double W, double H);
// The message for dimensions that give no finite pixel width or map size, followed by its cause
// (see dimension_faults.h); operationFailed is set.
void RefuseUnusableDimensions(const GeometryJob& job, const std::string& cause);

}  // namespace zolva
