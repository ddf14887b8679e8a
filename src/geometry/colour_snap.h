// Snapping the colours of a drawing to the materials it shows. Paint programs smooth the edge
// between two areas with blended colours that no material has; a JPEG changes every colour a
// little. Snapping gives each such pixel the nearest colour of a material drawn in the picture,
// so that the palette holds only the materials.
#pragma once

#include <cstdint>
#include <vector>

#include "core/materials.h"

namespace zolva {

// How a lossy picture recognises a material it shows: a 2 x 2 block of pixels all within this
// distance (Euclidean, in RGB steps) of the colour's definition, and nearer to it than to any
// other definition. The built-in metal colours lie 31 steps or more apart.
inline constexpr int kLossyColourTolerance = 12;

struct SnapOutcome {
  bool ok = false;             // false: no defined colour occurs in the picture
  std::int64_t pixels = 0;     // pixels whose colour was replaced
  std::int64_t colours = 0;    // distinct colours that were replaced
  std::int64_t materials = 0;  // defined colours the picture shows, which the pixels keep
};

// Replaces, in place, the colour of every pixel (row-major, width x height) that is not one of
// the defined colours the picture shows by the nearest of them; among equally near ones the
// first in the colour table. With exactColours (PNG, BMP, TIFF) a defined colour is shown when
// some pixel has it; otherwise (JPEG) when a 2 x 2 block of pixels lies near it (see
// kLossyColourTolerance). When no defined colour is shown, nothing changes and ok is false.
SnapOutcome SnapColours(std::vector<std::uint32_t>& pixels, int width, int height,
                        const ColorTable& table, bool exactColours);

}  // namespace zolva
