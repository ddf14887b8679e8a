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

// Nearest whole number, halfway cases to the even neighbour (the default rounding mode).
double Rnd(double v) {
  return std::nearbyint(v);
}
// Integer division by two, truncating toward zero, of a whole number held as a double.
double Div2(double v) {
  return std::trunc(v / 2);
}

bool CoilVariant(const GeometryJob& job) {
  return job.state.switches[Switch::FloatingCoilWires] || job.state.switches[Switch::NineTurnCoil];
}

// One conductor only: "1 Wire", unless the round twinlead's floating wire needs the right-hand
// position (and with it the separation and the skew).
bool SingleConductor(const GeometryJob& job, bool roundTwinlead) {
  const GeometryInputs& c = job.inputs;
  return c.oneWire && !(roundTwinlead && c.addFloatingWire);
}

bool PixelWidthUsable(double pw) {
  return std::isfinite(pw) && pw > 0;
}

// A rectangle of no-current metal with a current-carrying band d pixels thick along its sides.
void FillBandedRect(PixelMap& map, std::int64_t A, std::int64_t v, std::int64_t wp, std::int64_t hp,
                    std::int64_t d, std::uint32_t colour) {
  FillBox(map, A, v, A + wp, v + hp, NoCurrentMetalColor);
  FillBox(map, A, v, A + wp, v + d, colour);
  FillBox(map, A, v + hp - d, A + wp, v + hp, colour);
  FillBox(map, A, v, A + d, v + hp, colour);
  FillBox(map, A + wp - d, v, A + wp, v + hp, colour);
}

}  // namespace

RoundWireSize RoundTwinleadWireSize(double wireDiameter, double totalPixels, bool restrict,
                                    double layerMetres, int ring, double fixedWidth) {
  const double a = wireDiameter / 2;
  const double T = totalPixels;
  RoundWireSize s;
  if (fixedWidth > 0) {
    s.e = Rnd(a / fixedWidth);
    s.f = 0;
    if (restrict && a > layerMetres) s.f = std::min(s.e - layerMetres * s.e / a, s.e - ring);
    if (s.f < 0) s.f = 0;
    s.pw = a / s.e;
    return s;
  }
  // Two full discs of radius e hold T pixels.
  s.e = Rnd(std::sqrt(T / (2 * std::numbers::pi)));
  s.f = 0;
  const double g = layerMetres;
  if (restrict && a > g) {
    // Two rings of thickness g hold T pixels.
    const double p = std::sqrt((a * a - (a - g) * (a - g)) * 2 * std::numbers::pi / T);
    s.e = Rnd(a / p);
    s.f = s.e - g * s.e / a;
    // The current-carrying ring must stay at least ring pixels thick, or the skin effect is not
    // resolved; then the radius is chosen so that two rings of that thickness hold T pixels.
    if (s.e - s.f < ring) {
      s.e = Rnd(ring / 2.0 + T / (ring * 4 * std::numbers::pi));
      s.f = s.e - ring;
    }
  }
  s.pw = a / s.e;
  return s;
}

SquareWireSize SquareTwinleadWireSize(double width, double height, double totalPixels,
                                      bool restrict, double layerMetres, int ring,
                                      double fixedWidth) {
  const double Wd = width, Hd = height, T = totalPixels;
  const double q = Hd / Wd;
  SquareWireSize s;
  double p;
  if (fixedWidth > 0) {
    p = fixedWidth;
    s.d = restrict ? std::max(static_cast<double>(ring), Rnd(layerMetres / p)) : 10000;
  } else if (restrict) {
    const double L = layerMetres;
    const double Lw = Wd < 2 * L ? Wd / 2 : L;
    const double Lh = 2 * L > Hd ? Hd / 2 : L;
    // The bands of both conductors hold T pixels.
    p = std::sqrt(((Wd - Lw) * Lh + (Hd - Lh) * Lw) * 4 / T);
    s.d = Rnd(L / p);
    if (s.d < ring) {
      // A band ring pixels thick all round both conductors holds T pixels.
      p = 2 * ring * (Hd + Wd) / (4.0 * ring * ring + T / 2);
      s.d = ring;
    }
  } else {
    p = std::sqrt(Wd * Hd * 2 / T);
    s.d = 10000;
  }
  if (!PixelWidthUsable(p)) {
    s.pw = s.wp = s.hp = std::nan("");
    return s;
  }
  // The smaller side is a whole number of pixels, the pixel width taken from it exactly.
  if (Wd > Hd) {
    s.hp = std::max(1.0, Rnd(Hd / p));
    s.pw = Hd / s.hp;
    s.wp = Rnd(s.hp / q);
  } else {
    s.wp = std::max(1.0, Rnd(Wd / p));
    s.pw = Wd / s.wp;
    s.hp = Rnd(s.wp * q);
  }
  return s;
}

TwinleadFrame ComputeTwinleadFrame(const GeometryJob& job, double pw, double halfW, double halfH,
                                   bool roundTwinlead) {
  const GeometryInputs& p = job.inputs;
  const bool coil = CoilVariant(job);
  const bool single = SingleConductor(job, roundTwinlead);
  TwinleadFrame f;
  f.topPx = Rnd(p.topDistance / pw);
  f.bottomPx = Rnd(p.bottomDistance / pw);
  f.sidePx = Rnd(p.sideDistance / pw);
  f.skewPx = Rnd(p.verticalSkew / pw);
  if (coil) {
    // The coil variants stack their turns at the side distance and draw no side structure.
    f.pitch = std::fabs(f.sidePx);
    f.sidePx = 0;
  }
  f.halfSkewPx = Rnd(p.verticalSkew / pw / 2);
  if (single) {
    // A lone conductor sits on the centre line: the skew, like the separation, does not apply.
    f.halfSkewPx = 0;
    f.skewPx = 0;
  }
  const bool extraWire = (roundTwinlead && p.addGroundedWire) || p.addFloatingWire;
  f.extraPx = extraWire ? Rnd(p.wireSeparation / pw) : 0;
  f.extraHalf = Div2(f.extraPx);

  const double h = halfH + std::fabs(f.halfSkewPx) + std::fabs(f.extraHalf) + 3;
  double above = coil ? h + 4 * f.pitch : h;
  if (p.addTopPlane || p.insulationHorizontal) {
    above = std::max(above, f.topPx);
    above = std::max(above, -f.bottomPx);
  }
  double below = coil ? h + 4 * f.pitch : h;
  if (p.addBottomPlane || p.insulationHorizontal) {
    below = std::max(below, f.bottomPx);
    below = std::max(below, -f.topPx);
  }
  f.sepPx = single ? 0 : Rnd(p.wireSeparation / pw);
  double X = std::fabs(Rnd(f.sepPx / 2)) + halfW + 3;
  if (p.addSidePlanes || p.insulationVertical) X = std::max(X, std::fabs(f.sidePx));
  f.W = 2 * X + 1;
  f.H = above + below + 1;
  f.yc = above;
  return f;
}

namespace {

// The sizes of a round twinlead, and why they cannot be drawn (an empty text when they can).
struct RoundLayout {
  RoundWireSize size;
  double e = 0;  // outer radius in pixels, insulation included
  TwinleadFrame frame;
  std::string fault;
};

RoundLayout LayOutRoundTwinlead(const GeometryJob& job, bool restrict, double layer, int ring) {
  const GeometryInputs& p = job.inputs;
  RoundLayout l;
  l.size = RoundTwinleadWireSize(p.wireDiameter, p.totalConductorPixels, restrict, layer, ring,
                                 p.sweepPixelWidth);
  l.e = l.size.e;
  if (p.wireDiameter < p.insulationDiameter)
    l.e = Rnd(l.size.e * p.insulationDiameter / p.wireDiameter);
  l.frame = ComputeTwinleadFrame(job, l.size.pw, l.e, l.e, true);
  if (!PixelWidthUsable(l.size.pw) || !(l.size.e >= 1))
    l.fault = PixelTotalFault();
  else if (!std::isfinite(l.e))
    l.fault = FieldFault("Insulation diameter :", "too large against", "Wire diameter :");
  else
    l.fault = FrameFault(l.frame);
  return l;
}

}  // namespace

bool GenerateRoundTwinlead(const GeometryJob& job) {
  const PaletteSnapshot before = TakePaletteSnapshot(job);
  ResetGeneratedMap(job);
  const GeometryInputs& p = job.inputs;
  const int ring = RingWidth(job);
  const bool restrict = p.restrict;
  const double layer =
      restrict ? SkinDepthMetres(job.materials, job.state.omega, kRed) * ring : 0.0;
  const RoundLayout layout = LayOutRoundTwinlead(job, restrict, layer, ring);
  const double pw = layout.size.pw;
  const double rOut = layout.size.e;
  const double f = layout.size.f;
  const TwinleadFrame& frame = layout.frame;
  if (!layout.fault.empty()) {
    // A layout that only the skin depth spoils names the frequency, not the dimensions.
    const bool skin = restrict && LayOutRoundTwinlead(job, false, 0.0, ring).fault.empty();
    RestorePaletteSnapshot(job, before);
    RefuseUnusableDimensions(job, skin ? SkinDepthFault(job) : layout.fault);
    return false;
  }
  if (!AcceptGeneratedMapSize(job, frame.W, frame.H)) {
    RestorePaletteSnapshot(job, before);
    return false;
  }

  job.state.pixelWidth = KnownPixelWidth(pw);
  job.report.ShowPixelWidth(pw, false);
  SetMapSize(job, static_cast<int>(frame.W), static_cast<int>(frame.H));
  DrawSlabs(job, frame);

  const double xl = Rnd((job.map.Uwid - frame.sepPx) / 2);
  const double yl = frame.yc + frame.halfSkewPx - frame.extraHalf;
  const double xr = xl + frame.sepPx;
  const double yr = yl - frame.skewPx;
  const std::int64_t XL = PixelCoord(xl), YL = PixelCoord(yl);
  const std::int64_t XR = PixelCoord(xr), YR = PixelCoord(yr);
  const std::int64_t extra = PixelCoord(frame.extraPx);
  const std::int64_t pitch = PixelCoord(frame.pitch);

  if (p.insulationDiameter > p.wireDiameter) {
    // The insulation's permittivity needs a palette entry and so a material record.
    FindPaletteIndex(job.materials, kMagenta);
    const double rIns = p.insulationDiameter / 2 / pw;
    FillDisc(job.map, XL, YL, rIns, kMagenta);
    FillDisc(job.map, XR, YR, rIns, kMagenta);
  }
  if (p.addGroundedWire) DrawWire(job, kGreen, NoCurrentMetalColor, XL, YL + extra, rOut, f);
  if (p.addFloatingWire) DrawWire(job, kCyan, NoCurrentMetalColor, XR, YR + extra, rOut, f);

  const bool single = SingleConductor(job, true);
  const int turns = job.state.switches[Switch::NineTurnCoil] ? 4 : 0;
  for (int k = -turns; k <= turns; ++k) {
    DrawWire(job, kRed, NoCurrentMetalColor, XL, YL + k * pitch, rOut, f);
    if (!single) DrawWire(job, kBlue, NoCurrentMetalColor, XR, YR + k * pitch, rOut, f);
  }
  if (job.state.switches[Switch::FloatingCoilWires]) {
    // Sixteen floating copper wires, each in a colour of its own so that each floats alone.
    // The resistivity is the built-in copper's, held as a 32-bit float like the table's.
    const double copper = static_cast<double>(1.7241379f);
    int shade = 255;
    for (int n = 4; n >= 1; --n) {
      const std::int64_t positions[4][2] = {
          {XL, YL - n * pitch}, {XL, YL + n * pitch}, {XR, YR - n * pitch}, {XR, YR + n * pitch}};
      for (const auto& at : positions) {
        const std::uint32_t colour = PackColor(0, shade, shade);
        --shade;
        RegisterColor(job.materials, job.report, colour, KindFloat, copper, 1.0, 0.0, 1.0,
                      "copper");
        DrawWire(job, colour, NoCurrentMetalColor, at[0], at[1], rOut, f);
      }
    }
  }
  DrawPlanes(job, frame);
  FillPaletteProperties(job);
  PublishMap(job);
  return true;
}

namespace {

// The sizes of a square twinlead, and why they cannot be drawn (an empty text when they can).
struct SquareLayout {
  SquareWireSize size;
  TwinleadFrame frame;
  std::string fault;
};

SquareLayout LayOutSquareTwinlead(const GeometryJob& job, bool restrict, double layer, int ring) {
  const GeometryInputs& p = job.inputs;
  SquareLayout l;
  l.size = SquareTwinleadWireSize(p.wireWidth, p.wireHeight, p.totalConductorPixels, restrict,
                                  layer, ring, p.sweepPixelWidth);
  l.frame = ComputeTwinleadFrame(job, l.size.pw, Div2(l.size.wp), Div2(l.size.hp), false);
  if (!PixelWidthUsable(l.size.pw) || !(l.size.wp >= 1) || !(l.size.hp >= 1))
    l.fault = PixelTotalFault();
  else
    l.fault = FrameFault(l.frame);
  return l;
}

}  // namespace

bool GenerateSquareTwinlead(const GeometryJob& job) {
  const PaletteSnapshot before = TakePaletteSnapshot(job);
  ResetGeneratedMap(job);
  const GeometryInputs& p = job.inputs;
  const int ring = RingWidth(job);
  const bool restrict = p.restrict;
  const double layer =
      restrict ? SkinDepthMetres(job.materials, job.state.omega, kRed) * ring : 0.0;
  const SquareLayout layout = LayOutSquareTwinlead(job, restrict, layer, ring);
  const SquareWireSize& size = layout.size;
  const double pw = size.pw;
  const double Wd = p.wireWidth;
  const TwinleadFrame& frame = layout.frame;
  if (!layout.fault.empty()) {
    const bool skin = restrict && LayOutSquareTwinlead(job, false, 0.0, ring).fault.empty();
    RestorePaletteSnapshot(job, before);
    RefuseUnusableDimensions(job, skin ? SkinDepthFault(job) : layout.fault);
    return false;
  }
  if (!AcceptGeneratedMapSize(job, frame.W, frame.H)) {
    RestorePaletteSnapshot(job, before);
    return false;
  }
  const double skewFull = Rnd(p.verticalSkew / pw);

  job.state.pixelWidth = KnownPixelWidth(pw);
  job.report.ShowPixelWidth(pw, false);
  SetMapSize(job, static_cast<int>(frame.W), static_cast<int>(frame.H));
  DrawSlabs(job, frame);

  // Both sizes are at most the map's side here, so they fit the coordinate type exactly.
  const auto wp = static_cast<std::int64_t>(size.wp);
  const auto hp = static_cast<std::int64_t>(size.hp);
  const std::int64_t d = std::min({PixelCoord(size.d), hp, wp});
  const std::int64_t A = PixelCoord(Rnd((job.map.Uwid - frame.sepPx - Wd / pw) / 2));
  const std::int64_t v = PixelCoord(frame.yc + frame.halfSkewPx - Div2(size.hp));
  FillBandedRect(job.map, A, v, wp, hp, d, kRed);
  AddConductorPixels(job.map, CountColor(job.map, A, v, A + wp + 1, v + hp + 1, kRed));
  if (!SingleConductor(job, false)) {
    const std::int64_t A2 = A + PixelCoord(frame.sepPx);
    const std::int64_t v2 = v - PixelCoord(skewFull);
    FillBandedRect(job.map, A2, v2, wp, hp, d, kBlue);
    AddConductorPixels(job.map, CountColor(job.map, A2, v2, A2 + wp + 1, v2 + hp + 1, kBlue));
  }
  DrawPlanes(job, frame);
  FillPaletteProperties(job);
  PublishMap(job);
  return true;
}

}  // namespace zolva
