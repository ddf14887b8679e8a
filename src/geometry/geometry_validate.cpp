#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>

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

std::string Millimetres(double metres) {
  char buffer[32];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, metres * 1000, std::chars_format::general, 6);
  return (ec == std::errc() ? std::string(buffer, end) : std::string("?")) + " mm";
}

std::string NotPositive(const char* field, double v) {
  return std::string(field) + " " + Millimetres(v) + " is not above 0";
}

std::string NotFinite(const char* field) {
  return std::string(field) + " is not a finite length";
}

}  // namespace

std::string DimensionFaultText(const GeometryJob& job) {
  const GeometryInputs& p = job.inputs;
  auto firstInfinite =
      [](std::initializer_list<std::pair<const char*, double>> fields) -> std::string {
    for (const auto& [name, v] : fields)
      if (!std::isfinite(v)) return NotFinite(name);
    return {};
  };
  switch (job.state.geometryKind) {
    case GeomTwinlead:
      if (!(p.wireDiameter > 0)) return NotPositive("wire diameter", p.wireDiameter);
      if (!(p.insulationDiameter >= 0))
        return "insulation diameter " + Millimetres(p.insulationDiameter) + " is negative";
      return firstInfinite({{"wire separation", p.wireSeparation},
                            {"wire diameter", p.wireDiameter},
                            {"insulation diameter", p.insulationDiameter},
                            {"vertical skew", p.verticalSkew},
                            {"top distance", p.topDistance},
                            {"bottom distance", p.bottomDistance},
                            {"side distance", p.sideDistance}});
    case GeomSquareTwinlead:
      if (!(p.wireWidth > 0)) return NotPositive("wire width", p.wireWidth);
      if (!(p.wireHeight > 0)) return NotPositive("wire height", p.wireHeight);
      if (!(p.bottomDistance >= 0))
        return "bottom distance " + Millimetres(p.bottomDistance) + " is negative";
      return firstInfinite({{"wire separation", p.wireSeparation},
                            {"wire width", p.wireWidth},
                            {"wire height", p.wireHeight},
                            {"vertical skew", p.verticalSkew},
                            {"top distance", p.topDistance},
                            {"bottom distance", p.bottomDistance},
                            {"side distance", p.sideDistance}});
    case GeomCoaxial:
      if (!(p.centerConductorDia > 0))
        return NotPositive("centre conductor diameter", p.centerConductorDia);
      if (!(p.centerConductorDia < p.shieldInnerDia))
        return "centre conductor diameter " + Millimetres(p.centerConductorDia) +
               " is not smaller than the shield's inner diameter " + Millimetres(p.shieldInnerDia);
      return firstInfinite({{"centre conductor diameter", p.centerConductorDia},
                            {"shield inner diameter", p.shieldInnerDia},
                            {"shield outer diameter", p.shieldOuterDia},
                            {"vertical skew", p.verticalSkew}});
    default:
      return {};
  }
}

int RingWidth(const GeometryJob& job) {
  return job.state.switches[Switch::FivePixelRing] ? 5 : 3;
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
  Fail(job.failure, FailureKind::TooLarge, text, "zolva");
  job.state.operationFailed = true;
  return false;
}

void RefuseUnusableDimensions(const GeometryJob& job, const std::string& cause) {
  std::string text = "These dimensions give no usable pixel width.";
  if (!cause.empty()) text += " " + cause;
  Fail(job.failure, FailureKind::Input, text, "zolva");
  job.state.operationFailed = true;
}

}  // namespace zolva
