#include <algorithm>
#include <cmath>
#include <numbers>

#include "geometry/geometry.h"
#include "geometry/map_ops.h"
#include "geometry/paint.h"

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

bool GenerateCoax(const GeometryJob& job) {
  const PaletteSnapshot before = TakePaletteSnapshot(job);
  ResetGeneratedMap(job);
  const GeometryInputs& p = job.inputs;
  const int ring = RingWidth(job);
  const bool restrict = p.restrict;
  // On the coaxial tab the "1 Wire" box reads "2 wire": two centre conductors.
  const bool twoCentres = p.oneWire;
  const double layer =
      restrict ? SkinDepthMetres(job.materials, job.state.omega, kRed) * ring : 0.0;
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
    RestorePaletteSnapshot(job, before);
    RefuseUnusableDimensions(job);
    return false;
  }
  if (!AcceptGeneratedMapSize(job, S, S)) {
    RestorePaletteSnapshot(job, before);
    return false;
  }

  job.state.pixelWidth = KnownPixelWidth(pw);
  job.report.ShowPixelWidth(pw, false);
  SetMapSize(job, static_cast<int>(S), static_cast<int>(S));
  FindPaletteIndex(job.materials, kMagenta);
  const std::int64_t cx = job.map.Uwid / 2, cy = job.map.Uhei / 2;
  // The map leaves room for the shield only; a skew beyond it puts the centre conductors
  // (partly) outside, where the painting clips them.
  const std::int64_t skew = PixelCoord(skewPx);
  DrawWire(job, kGreen, p.airDielectric ? kBlack : kMagenta, cx, cy, ro, ri);
  DrawWire(job, kRed, NoCurrentMetalColor, cx, cy + skew, g, rInner);
  if (twoCentres) DrawWire(job, kBlue, NoCurrentMetalColor, cx, cy - skew, g, rInner);
  FillPaletteProperties(job);
  PublishMap(job);
  return true;
}

}  // namespace zolva
