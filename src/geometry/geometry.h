// The generated cross-sections: round twinlead, square twinlead and coax, drawn from the
// dimensions the user set into the pixel map, and the skin-depth restriction of conductor
// interiors.
#pragma once

#include <cstdint>

#include "geometry/geometry_job.h"

namespace zolva {

// 0: the dimensions can be drawn; otherwise a code naming what is wrong.
int ValidateGeometry(const GeometryJob& job);
void ResetGeneratedMap(const GeometryJob& job);
// Each returns true when it drew a new map. A map too large to hold (see kMaxGeneratedDimension)
// is refused with a message box; the previous map and palette stay and operationFailed is set.
bool GenerateRoundTwinlead(const GeometryJob& job);
bool GenerateSquareTwinlead(const GeometryJob& job);
bool GenerateCoax(const GeometryJob& job);
// Paints "no-current metal" into conductor interiors deeper than their current-carrying layer
// when "Restrict to skin depth" is on, and lowers condCount accordingly.
void RestrictToSkinDepth(const GeometryJob& job);

// Largest width or height, in pixels, of a generated map (its area is bounded by kMaxImagePixels).
inline constexpr std::int64_t kMaxGeneratedDimension = 1'000'000;

// The least thickness, in pixels, of a current-carrying layer (3, or 5 with Switch::FivePixelRing);
// the layer is also this many skin depths thick.
int RingWidth(const GeometryJob& job);

// Why ValidateGeometry finds the dimensions in error (its result 1), naming the field and its
// value, for instance "centre conductor diameter 5 mm is not smaller than the shield's inner
// diameter 3.5 mm"; empty when they are not.
std::string DimensionFaultText(const GeometryJob& job);

// Pixel sizes chosen so that the conductors hold about totalPixels pixels. All values are whole
// numbers held as doubles (or NaN/infinite for inputs that give no usable size), except where
// noted; layerMetres is the current-carrying layer (ring skin depths) used when restrict is true.
// A fixedWidth above 0 (the pixel width a frequency sweep keeps for all its frequencies) takes
// the place of the pixel total: the conductor is drawn as near that width as whole pixels allow,
// the same width at every frequency, and the current-carrying layer stays at least ring pixels.
struct RoundWireSize {
  double e = 0;   // outer radius of a wire in pixels
  double f = 0;   // radius of its no-current core in pixels (real; 0 for a solid wire)
  double pw = 0;  // pixel width in metres
};
RoundWireSize RoundTwinleadWireSize(double wireDiameter, double totalPixels, bool restrict,
                                    double layerMetres, int ring, double fixedWidth = 0);

struct SquareWireSize {
  double pw = 0;  // pixel width in metres
  double wp = 0;  // conductor width in pixels
  double hp = 0;  // conductor height in pixels
  double d = 0;   // thickness of the current-carrying band in pixels (10000: solid)
};
SquareWireSize SquareTwinleadWireSize(double width, double height, double totalPixels,
                                      bool restrict, double layerMetres, int ring,
                                      double fixedWidth = 0);

struct CoaxSize {
  double g = 0;   // centre conductor radius in pixels
  double pw = 0;  // pixel width in metres
  double i = 0;   // radius of the centre conductor's no-current core in metres
  double o = 0;   // outer radius of the drawn shield in metres
};
// b, c, o: centre conductor radius, shield inner and outer radius in metres.
CoaxSize CoaxConductorSize(double b, double c, double o, int centreConductors, double totalPixels,
                           bool restrict, double layerMetres, int ring, double fixedWidth = 0);

// The pixel frame of a twinlead map: distances in pixels, map size and centre line.
struct TwinleadFrame {
  double topPx = 0, bottomPx = 0, sidePx = 0, skewPx = 0, halfSkewPx = 0;
  double sepPx = 0, extraPx = 0, extraHalf = 0, pitch = 0;
  double W = 0, H = 0, yc = 0;
};
// halfW, halfH: half width and height of one conductor in pixels, insulation included.
TwinleadFrame ComputeTwinleadFrame(const GeometryJob& job, double pw, double halfW, double halfH,
                                   bool roundTwinlead);

}  // namespace zolva
