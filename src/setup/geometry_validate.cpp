#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "setup/geometry.h"
#include "setup/paint.h"
#include "shell/context.h"
#include "shell/reporting.h"

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
  std::snprintf(buffer, sizeof buffer, "%.3g", v);
  return buffer;
}

}  // namespace

int RingWidth(const Context& ctx) {
  return ctx.state.switches.at(33) ? 5 : 3;
}

int ValidateGeometry(Context& ctx) {
  const PanelModel& p = ctx.panel;
  // The comparisons are written so that a NaN fails them: a dimension that is not a number is
  // as invalid as a negative one, and an infinite one cannot be drawn either.
  switch (ctx.state.geometryKind) {
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
  const double f = ctx.state.frequencyMHz;
  if (!(f >= 1e-20) || !std::isfinite(f)) return 2;
  return 0;
}

void ResetGeneratedMap(Context& ctx) {
  ClearPaletteProperties(ctx);
  ctx.map.condCount = 0;
  ctx.map.restrictedPixels = 0;
  FindPaletteIndex(ctx, kBlack);
  FindPaletteIndex(ctx, kRed);
  FindPaletteIndex(ctx, kBlue);
}

PaletteSnapshot TakePaletteSnapshot(const Context& ctx) {
  return {ctx.materials.palette, ctx.materials.recs, ctx.materials.paletteReady, ctx.map.condCount,
          ctx.map.restrictedPixels};
}

void RestorePaletteSnapshot(Context& ctx, const PaletteSnapshot& snapshot) {
  ctx.materials.palette = snapshot.palette;
  ctx.materials.recs = snapshot.recs;
  ctx.materials.paletteReady = snapshot.paletteReady;
  ctx.map.condCount = snapshot.condCount;
  ctx.map.restrictedPixels = snapshot.restrictedPixels;
}

bool AcceptGeneratedMapSize(Context& ctx, double W, double H) {
  if (!std::isfinite(W) || !std::isfinite(H) || W < 1 || H < 1) {
    RefuseUnusableDimensions(ctx);
    return false;
  }
  const double limit = static_cast<double>(kMaxGeneratedDimension);
  if (W <= limit && H <= limit && W * H <= static_cast<double>(kMaxImagePixels)) return true;
  const std::string text = "Map too large: " + SizeText(W) + " x " + SizeText(H) +
                           " pixels.  Use fewer conductor pixels or smaller distances.";
  MessageBox(ctx, text, "zolva");
  ctx.state.operationFailed = true;
  return false;
}

void RefuseUnusableDimensions(Context& ctx) {
  MessageBox(ctx, "These dimensions give no usable pixel width.", "zolva");
  ctx.state.operationFailed = true;
}

}  // namespace zolva
