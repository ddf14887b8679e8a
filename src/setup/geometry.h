// The generated cross-sections: round twinlead, square twinlead and coax, drawn from the control
// panel's dimensions into the pixel map, and the skin-depth restriction of conductor interiors.
#pragma once

namespace zolva {

struct Context;

// 0: the dimensions can be drawn; otherwise a code naming what is wrong.
int ValidateGeometry(Context& ctx);
void ResetGeneratedMap(Context& ctx);
void GenerateRoundTwinlead(Context& ctx);
void GenerateSquareTwinlead(Context& ctx);
void GenerateCoax(Context& ctx);
// Paints "no-current metal" into conductor interiors deeper than their current-carrying layer
// when "Restrict to skin depth" is on, and lowers condCount accordingly.
void RestrictToSkinDepth(Context& ctx);

}  // namespace zolva
