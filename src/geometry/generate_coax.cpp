#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "geometry/dimension_faults.h"
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
                           bool restrict, double layerMetres, int ring, double fixedWidth) {
  const double n = centreConductors;
  const double T = totalPixels;
  if (fixedWidth > 0) {
    CoaxSize s;
    s.g = Rnd(b / fixedWidth);
    s.pw = b / s.g;
    s.i = 0;
    if (restrict) {
      // The layer, but never thinner than ring pixels, so that the skin effect stays resolved.
      const double L = std::max(layerMetres, ring * s.pw);
      s.i = b > L ? b - L : 0;
      // The shield as well: its current-carrying layer, at least ring pixels even where the
      // metal is thinner, as the drawing from the pixel total thickens it.
      o = c + std::max(std::min(L, o - c), ring * s.pw);
    }
    s.o = o;
    return s;
  }
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

namespace {

// The pixel sizes of a coax, and why they cannot be drawn (an empty text when they can).
struct CoaxLayout {
  CoaxSize size;
  double ri = 0, ro = 0, S = 0, skewPx = 0, rInner = 0;
  std::string fault;
};

CoaxLayout LayOutCoax(const GeometryJob& job, bool restrict, double layer, int ring) {
  const GeometryInputs& p = job.inputs;
  // On the coaxial tab the "1 Wire" box reads "2 wire": two centre conductors.
  const bool twoCentres = p.oneWire;
  const double b = p.centerConductorDia / 2;
  const double ci = p.shieldInnerDia / 2;
  CoaxLayout l;
  l.size = CoaxConductorSize(b, ci, p.shieldOuterDia / 2, twoCentres ? 2 : 1,
                             p.totalConductorPixels, restrict, layer, ring, p.sweepPixelWidth);
  const double g = l.size.g, pw = l.size.pw;
  l.ri = Rnd(g * ci / b);
  l.ro = Rnd(g * l.size.o / b);
  l.S = 2 * l.ro + 20;
  l.skewPx = Rnd(p.verticalSkew / pw);
  l.rInner = Rnd(l.size.i / pw);
  if (!(g >= 1) || !std::isfinite(g) || !std::isfinite(pw) || !(pw > 0) || !std::isfinite(l.ri) ||
      !std::isfinite(l.ro))
    l.fault = PixelTotalFault();
  else if (!std::isfinite(l.skewPx))
    l.fault = FieldFault("Vertical skew :", "too large against", "Center conductor dia :");
  else if (!std::isfinite(l.rInner))
    l.fault = PixelTotalFault();
  return l;
}

}  // namespace

bool GenerateCoax(const GeometryJob& job) {
  const PaletteSnapshot before = TakePaletteSnapshot(job);
  ResetGeneratedMap(job);
  const GeometryInputs& p = job.inputs;
  // A shield whose outside lies within its inside has no metal to draw.
  if (!(p.shieldOuterDia >= p.shieldInnerDia)) {
    RestorePaletteSnapshot(job, before);
    RefuseUnusableDimensions(
        job, FieldFault("Shield outer dia :", "smaller than", "Shield inner dia :"));
    return false;
  }
  const int ring = RingWidth(job);
  const bool restrict = p.restrict;
  const bool twoCentres = p.oneWire;
  const double layer =
      restrict ? SkinDepthMetres(job.materials, job.state.omega, kRed) * ring : 0.0;
  const CoaxLayout layout = LayOutCoax(job, restrict, layer, ring);
  const double g = layout.size.g, pw = layout.size.pw;
  const double ri = layout.ri, ro = layout.ro, S = layout.S;
  const double skewPx = layout.skewPx, rInner = layout.rInner;
  if (!layout.fault.empty()) {
    // A layout that only the skin depth spoils names the frequency, not the dimensions.
    const bool skin = restrict && LayOutCoax(job, false, 0.0, ring).fault.empty();
    RestorePaletteSnapshot(job, before);
    RefuseUnusableDimensions(job, skin ? SkinDepthFault(job) : layout.fault);
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
