#include <algorithm>
#include <cmath>
#include <numbers>

#include "setup/control_panel.h"
#include "setup/geometry.h"
#include "setup/paint.h"
#include "shell/context.h"

namespace zolva {

namespace {

double Rnd(double v) {
  return std::nearbyint(v);
}

}  // namespace

CoaxSize CoaxConductorSize(double b, double c, double o, int centreConductors, double totalPixels,
                           bool restrict, double layerMetres, int ring) {
  const double n = centreConductors;
  const double T = totalPixels;
  // The radius in pixels of r when the area A (square metres) holds T pixels.
  auto countRadius = [T](double A, double r) {
    return Rnd(r / std::sqrt(A * std::numbers::pi / T));
  };
  CoaxSize s;
  s.g = countRadius(o * o - c * c + n * b * b, b);
  s.pw = b / s.g;
  s.i = 0;
  if (restrict) {
    const double L = layerMetres;
    s.i = b > L ? b - L : 0;
    // Only the inner layer of the shield carries current; the rest of it is not drawn.
    if (L < o - c) o = c + L;
    s.g = countRadius(o * o - c * c + n * (b * b - s.i * s.i), b);
    s.pw = b / s.g;
    // A shield thinner than ring pixels does not resolve its skin effect: thicken the shield and
    // the centre conductor's layer by the fourth root of the shortfall and count again, a few
    // times at most.
    for (int k = 0; k < 10 && ring > (o - c) / s.pw; ++k) {
      const double v = L / s.pw;
      const double scale = std::pow(ring / v, 0.25);
      s.i = std::max(0.0, b - (o - c) * scale);
      o = c + (o - c) * scale;
      s.g = countRadius(o * o - c * c + b * b - s.i * s.i, b);
      s.pw = b / s.g;
    }
  }
  s.o = o;
  return s;
}

bool GenerateCoax(Context& ctx) {
  const PaletteSnapshot before = TakePaletteSnapshot(ctx);
  ResetGeneratedMap(ctx);
  const PanelModel& p = ctx.panel;
  const auto& c = p.checks;
  const int ring = RingWidth(ctx);
  const bool restrict = c[CheckBoxRestrict];
  // On the coaxial tab the "1 Wire" box reads "2 wire": two centre conductors.
  const bool twoCentres = c[CheckBoxOneWire];
  const double layer = restrict ? SkinDepthMetres(ctx, kRed) * ring : 0.0;
  const double b = p.centerConductorDia / 2;
  const double ci = p.shieldInnerDia / 2;
  const CoaxSize size = CoaxConductorSize(b, ci, p.shieldOuterDia / 2, twoCentres ? 2 : 1,
                                          p.totalConductorPixels, restrict, layer, ring);
  const double g = size.g, pw = size.pw;
  const double ri = Rnd(g * ci / b);
  const double ro = Rnd(g * size.o / b);
  const double S = 2 * ro + 20;
  const double skewPx = Rnd(p.verticalSkew / pw);
  const double rInner = Rnd(size.i / pw);
  if (!(g >= 1) || !std::isfinite(g) || !std::isfinite(pw) || !(pw > 0) || !std::isfinite(ri) ||
      !std::isfinite(ro) || !std::isfinite(skewPx) || !std::isfinite(rInner)) {
    RestorePaletteSnapshot(ctx, before);
    RefuseUnusableDimensions(ctx);
    return false;
  }
  if (!AcceptGeneratedMapSize(ctx, S, S)) {
    RestorePaletteSnapshot(ctx, before);
    return false;
  }

  ShowPixelWidth(ctx, pw, false);
  SetMapSize(ctx, static_cast<int>(S), static_cast<int>(S));
  FindPaletteIndex(ctx, kMagenta);
  const std::int64_t cx = ctx.map.Uwid / 2, cy = ctx.map.Uhei / 2;
  // The map leaves room for the shield only; a skew beyond it puts the centre conductors
  // (partly) outside, where the painting clips them.
  const std::int64_t skew = PixelCoord(skewPx);
  DrawWire(ctx, kGreen, c[CheckBoxAirDielectric] ? kBlack : kMagenta, cx, cy, ro, ri);
  DrawWire(ctx, kRed, NoCurrentMetalColor, cx, cy + skew, g, rInner);
  if (twoCentres) DrawWire(ctx, kBlue, NoCurrentMetalColor, cx, cy - skew, g, rInner);
  FillPaletteProperties(ctx);
  PublishMap(ctx);
  return true;
}

}  // namespace zolva
