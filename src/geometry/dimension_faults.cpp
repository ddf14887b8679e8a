#include "geometry/dimension_faults.h"

#include <cmath>
#include <utility>

#include "core/materials.h"
#include "core/solve_state.h"
#include "core/utility.h"
#include "geometry/geometry.h"
#include "geometry/paint.h"

namespace zolva {

namespace {

std::string Quoted(const std::string& field) {
  return "\"" + field + "\"";
}

}  // namespace

std::string PixelTotalFault() {
  return Quoted("- Total conductor pixels") + " is too small to draw the conductors.";
}

std::string FrameFault(const TwinleadFrame& f) {
  const std::pair<double, const char*> distances[] = {
      {f.topPx, "Top distance :"},       {f.bottomPx, "Bottom distance :"},
      {f.sidePx, "Side distance :"},     {f.pitch, "Side distance :"},
      {f.skewPx, "Vertical skew :"},     {f.halfSkewPx, "Vertical skew :"},
      {f.sepPx, "Wire separation :"},    {f.extraPx, "Wire separation :"},
      {f.extraHalf, "Wire separation :"}};
  for (const auto& [pixels, field] : distances)
    if (!std::isfinite(pixels)) return Quoted(field) + " is too large against the pixel width.";
  for (double v : {f.W, f.H, f.yc})
    if (!std::isfinite(v)) return "The distances are too large against the pixel width.";
  return {};
}

std::string SkinDepthFault(const GeometryJob& job) {
  const double depth = SkinDepthMetres(job.materials, job.state.omega, kRed);
  if (!(depth > 0) && !(SkinDepthMetres(job.materials, kOmegaPerMHz, kRed) > 0))
    return "The +1 volt conductor has no resistivity, so no skin depth for " +
           Quoted("Restrict to skin depth") + ".";
  return Quoted("- Frequency in MHz") + ": at " + CompactText(job.state.frequencyMHz) +
         " MHz the skin depth (" + CompactText(depth) + " m) is too thin for " +
         Quoted("Restrict to skin depth") + ".";
}

std::string FieldFault(const std::string& field, const std::string& relation,
                       const std::string& other) {
  return Quoted(field) + " is " + relation + " " + Quoted(other) + ".";
}

}  // namespace zolva
