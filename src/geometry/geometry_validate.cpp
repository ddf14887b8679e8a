#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "geometry/geometry.h"
#include "geometry/map_ops.h"
#include "geometry/paint.h"

namespace zolva {

namespace {

bool AllFinite(std::initializer_list<double> values) {
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

std::string SizeText(double v) {
  if (std::fabs(v) < 1e15) return std::to_string(static_cast<long long>(v));
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 3);
  return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

}  // namespace

int RingWidth(const GeometryJob& job) {
  return job.state.switches.at(33) ? 5 : 3;
}

int ValidateGeometry(const GeometryJob& job) {
  const GeometryInputs& p = job.inputs;
  // The comparisons are written so that a NaN fails them: a dimension that is not a number is
  // as invalid as a negative one, and an infinite one cannot be drawn either.
  switch (job.state.geometryKind) {
    case GeomTwinlead:
      if (!(p.wireDiameter > 0) || !(p.insulationDiameter >= 0)) return 1;
      if (!AllFinite({p.wireSeparation, p.wireDiameter, p.insulationDiameter, p.verticalSkew,
                      p.topDistance, p.bottomDistance, p.sideDistance}))
        return 1;
      break;
    case GeomSquareTwinlead:
      if (!(p.wireWidth > 0) || !(p.wireHeight > 0) || !(p.bottomDistance >= 0)) return 1;
      if (!AllFinite({p.wireSeparation, p.wireWidth, p.wireHeight, p.verticalSkew, p.topDistance,
                      p.bottomDistance, p.sideDistance}))
        return 1;
      break;
    case GeomCoaxial:
      if (!(p.centerConductorDia > 0) || !(p.centerConductorDia < p.shieldInnerDia)) return 1;
      if (!AllFinite({p.centerConductorDia, p.shieldInnerDia, p.shieldOuterDia, p.verticalSkew}))
        return 1;
      break;
    default:
      break;
  }
  if (p.totalConductorPixels <= 1) return 3;
  const double f = job.state.frequencyMHz;
  if (!(f >= 1e-20) || !std::isfinite(f)) return 2;
  return 0;
}

void ResetGeneratedMap(const GeometryJob& job) {
  ClearPaletteProperties(job);
  job.map.condCount = 0;
  job.map.restrictedPixels = 0;
  FindPaletteIndex(job.materials, kBlack);
  FindPaletteIndex(job.materials, kRed);
  FindPaletteIndex(job.materials, kBlue);
}

PaletteSnapshot TakePaletteSnapshot(const GeometryJob& job) {
  return {job.materials.palette, job.materials.recs, job.materials.paletteReady, job.map.condCount,
          job.map.restrictedPixels};
}

void RestorePaletteSnapshot(const GeometryJob& job, const PaletteSnapshot& snapshot) {
  job.materials.palette = snapshot.palette;
  job.materials.recs = snapshot.recs;
  job.materials.paletteReady = snapshot.paletteReady;
  job.map.condCount = snapshot.condCount;
  job.map.restrictedPixels = snapshot.restrictedPixels;
}

bool AcceptGeneratedMapSize(const GeometryJob& job, double W, double H) {
  if (!std::isfinite(W) || !std::isfinite(H) || W < 1 || H < 1) {
    RefuseUnusableDimensions(job, "The distances are too large against the pixel width.");
    return false;
  }
  const double limit = static_cast<double>(kMaxGeneratedDimension);
  if (W <= limit && H <= limit && W * H <= static_cast<double>(MapPixelLimit(job.state)))
    return true;
  const std::string text = "Map too large: " + SizeText(W) + " x " + SizeText(H) +
                           " pixels.  Use fewer conductor pixels or smaller distances.";
  job.report.MessageBox(text, "zolva");
  job.state.operationFailed = true;
  return false;
}

void RefuseUnusableDimensions(const GeometryJob& job, const std::string& cause) {
  std::string text = "These dimensions give no usable pixel width.";
  if (!cause.empty()) text += " " + cause;
  job.report.MessageBox(text, "zolva");
  job.state.operationFailed = true;
}

}  // namespace zolva
