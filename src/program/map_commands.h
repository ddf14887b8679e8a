// The commands that replace or rescale the map: opening a Usermap and the rescale menu.
#pragma once

#include <string>

#include "geometry/map_ops.h"

namespace zolva {

struct Context;

// Returns false when the load failed (the message has been shown).
bool LoadUsermap(Context& ctx, const std::string& path);
// The same for a picture in memory, under the name (and pixel width text) given.
bool LoadUsermapImage(Context& ctx, const UsermapName& name, RgbImage image);
// What the colour snapping of the last picture loaded did ("1234 pixels of 56 colors snapped"),
// empty when it did not run.
std::string SnapSummary(const Context& ctx);
// How many pixels of how many colours no colour definition names (solved as vacuum), and how to
// snap them; empty when there are none.
std::string UnknownColoursText(const Context& ctx);
// Index 0..3: 50 %, 100 %, 200 %, 300 % of the source image.
void SetRescale(Context& ctx, int index);
void StepRescale(Context& ctx, int delta);

}  // namespace zolva
