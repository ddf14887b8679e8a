// The cause named after "These dimensions give no usable pixel width.": the panel field whose
// value leaves a generated cross-section without a finite pixel width or map size.
#pragma once

#include <string>

#include "geometry/geometry_job.h"

namespace zolva {

struct TwinleadFrame;

// Too few conductor pixels for the conductors to be drawn at all.
std::string PixelTotalFault();
// The field of the first frame distance that is not a finite number of pixels, or an empty text
// when the whole frame is finite.
std::string FrameFault(const TwinleadFrame& frame);
// "Restrict to skin depth" made the layer too thin: the frequency, or a +1 volt conductor
// without resistivity, which has no skin depth at any frequency.
std::string SkinDepthFault(const GeometryJob& job);
// Field a is smaller (or larger) than field b, as the geometry needs the other way round.
std::string FieldFault(const std::string& field, const std::string& relation,
                       const std::string& other);

}  // namespace zolva
