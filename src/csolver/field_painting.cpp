#include "csolver/field_painting.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "csolver/flux.h"
#include "csolver/solver_grid.h"

namespace zolva {

namespace {

bool Free(std::uint8_t code) {
  return (code & (NodeFree | NodeFreeMixed)) != 0;
}

std::uint32_t Level255(double b) {
  // Cells beyond the area that sets the scale (the margin, the apron) may exceed it; their
  // brightness is limited to white.
  return static_cast<std::uint32_t>(std::clamp(std::nearbyint(255.0 * b), 0.0, 255.0));
}

std::uint32_t Grey(double b) {
  return Level255(b) * 0x010101u;
}

// Mode 1: cyan for positive potentials, magenta for negative ones.
std::uint32_t PotentialColor(double v, bool highIntensity) {
  v = std::clamp(v, -1.0, 1.0);
  if (highIntensity) v = (v < 0 ? -1.0 : 1.0) * std::sqrt(std::abs(v));
  const std::uint32_t F = Level255(std::abs(v));
  return v < 0 ? F + 65536u * F : 256u * F + 65536u * F;
}

// Per-palette lookups, once per painting.
struct PaletteLookups {
  std::array<std::uint32_t, kPaletteCapacity> colour{};
  std::array<double, kPaletteCapacity> perm{};
  std::array<double, kPaletteCapacity> loss{};
  explicit PaletteLookups(const MaterialTables& m) {
    for (int i = 0; i < kPaletteCapacity; ++i) {
      const auto u = static_cast<std::size_t>(i);
      colour[u] = m.palette.entries[u].color;
      perm[u] = PalettePermittivity(m, i);
      loss[u] = perm[u] * PaletteTanDelta(m, i);
    }
  }
  double Weight(int mode, std::uint8_t index) const {
    return mode == DisplayDField ? perm[index] : mode == DisplayLoss ? loss[index] : 1.0;
  }
};

// The line a cell of equipotentials (or of flux) shows: 0 for none, else the colour. lo and hi
// are the levels below the least and the greatest corner; s the spread of the corners. Minor
// levels fade out where the field is steep so that the picture does not fill up.
bool LineColor(const DisplayField& f, int lo, int hi, double s, std::uint32_t& colour) {
  int B = hi % 4;
  if (std::abs(hi - lo) >= 2 && (lo + 1) % 4 == 0) B = 0;
  if (B == 0) {
    colour = f.lineColorMajor;
    return true;
  }
  if (std::abs(B) == 2 && s > 0.02) return false;
  if (std::abs(B) % 2 == 1 && s > 0.01) return false;
  colour = f.contrastColor;
  return true;
}

// Flux corners unwrapped across the cut relative to the first.
void Unwrap(double& d00, double& d10, double& d01, double& d11) {
  if (d00 > 0.5) {
    if (d10 < 0) d10 += 2;
    if (d01 < 0) d01 += 2;
    if (d11 < 0) d11 += 2;
  } else if (d00 < -0.5) {
    if (d10 > 0) d10 -= 2;
    if (d01 > 0) d01 -= 2;
    if (d11 > 0) d11 -= 2;
  }
}

// The E, D or loss scale: 1 over the strongest cell of the field regions inside the map.
double FieldScale(const FieldPaintJob& job, const PaletteLookups& pal, int mode) {
  const SolverGrid& g = job.grid;
  const PixelMap& map = job.map;
  const std::size_t pixels =
      static_cast<std::size_t>(std::max(map.Uwid, 0)) * std::max(map.Uhei, 0);
  if (map.Ukind.size() != pixels || map.Uindex.size() != pixels) return 0.0;
  const double* V = g.Cvolts.data();
  const std::size_t W = static_cast<std::size_t>(g.Cwid);
  double best = 0.0;
  for (int y = 0; y < map.Uhei; ++y) {
    const int cY = y + g.UtoCY;
    if (cY < 0 || cY >= g.Chei - 2) continue;
    const int x0 = std::max(0, -g.UtoCX), x1 = std::min(map.Uwid, g.Cwid - 2 - g.UtoCX);
    for (int x = x0; x < x1; ++x) {
      const std::size_t p = static_cast<std::size_t>(y) * map.Uwid + x;
      if (map.Ukind[p] != KindInsulInField) continue;
      const double d = pal.Weight(mode, map.Uindex[p]);
      const std::size_t i =
          static_cast<std::size_t>(cY) * W + static_cast<std::size_t>(x + g.UtoCX);
      const double v00 = d * V[i], v10 = d * V[i + 1], v01 = d * V[i + W], v11 = d * V[i + W + 1];
      const double gx = ((v11 - v00) + (v10 - v01)) / 2, gy = ((v11 - v00) + (v01 - v10)) / 2;
      best = std::max(best, std::sqrt(gx * gx + gy * gy));
    }
  }
  return best > 0 ? 1.0 / best : 0.0;
}

void FillBlock(DisplayField& f, int fx, int fy, std::uint32_t colour) {
  for (int y = std::max(fy, 0); y < std::min(fy + 8, kFieldSize); ++y) {
    std::uint32_t* row = f.pixels.data() + static_cast<std::size_t>(y) * kFieldSize;
    for (int x = std::max(fx, 0); x < std::min(fx + 8, kFieldSize); ++x) row[x] = colour;
  }
}

bool InField(int fx, int fy) {
  return fx >= 0 && fy >= 0 && fx < kFieldSize && fy < kFieldSize;
}

}  // namespace

int LevelsPerVolt(int density) {
  static constexpr int kLevels[9] = {8, 12, 16, 24, 32, 48, 64, 96, 128};
  if (density < 1 || density > 9)
    throw std::out_of_range("LevelsPerVolt: line density must be 1 to 9; got " +
                            std::to_string(density));
  return kLevels[density - 1];
}

void SetLineColors(DisplayField& f, std::uint32_t background) {
  f.lineColorMajor = background ^ 0xFFFFFFu;
  f.lineColorZero = background == 0 ? 0xB0FFB0u : 0x00CC00u;
  f.contrastColor = background ^ 0x555555u;
}

void PaintBase(const FieldPaintJob& job, DisplayField& f) {
  job.report.ShowTrace("__U____");
  EnsureFieldPixels(f);
  const PixelMap& map = job.map;
  std::fill(f.pixels.begin(), f.pixels.end(), map.backgroundColor);

  const std::size_t pixels =
      static_cast<std::size_t>(std::max(map.Uwid, 0)) * std::max(map.Uhei, 0);
  const bool currents =
      job.L != 0 && job.display.plotCurrents && map.analysedPixels.size() == pixels;
  const std::vector<std::uint32_t>& source = currents ? map.analysedPixels : map.Ucolor;
  if (source.size() == pixels) {
    const int x0 = std::max(0, -map.mapToFieldX);
    const int x1 = std::min(map.Uwid, kFieldSize - map.mapToFieldX);
    for (int y = 0; y < map.Uhei && x1 > x0; ++y) {
      const int fy = y + map.mapToFieldY;
      if (fy < 0 || fy >= kFieldSize) continue;
      std::copy(
          source.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * map.Uwid + x0),
          source.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * map.Uwid + x1),
          f.pixels.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(fy) * kFieldSize +
                                                         x0 + map.mapToFieldX));
    }
  }
  if (!job.display.fieldReady) return;

  const SolverGrid& g = job.grid;
  const PaletteLookups pal(job.materials);
  // The core's margin continues the map's edge pixels.
  if (map.Uwid > 0 && map.Uhei > 0 && map.Uindex.size() == pixels) {
    const int offX = g.CtoUX + map.mapToFieldX, offY = g.CtoUY + map.mapToFieldY;
    const int cy0 = std::max(0, f.windowTop - offY),
              cy1 = std::min(g.Chei - 1, f.windowBottom - offY);
    const int cx0 = std::max(0, f.windowLeft - offX),
              cx1 = std::min(g.Cwid - 1, f.windowRight - offX);
    for (int cY = cy0; cY <= cy1; ++cY) {
      const int uY = cY + g.CtoUY;
      const bool rowInside = uY >= 0 && uY < map.Uhei;
      const int cuY = std::clamp(uY, 0, map.Uhei - 1);
      for (int cX = cx0; cX <= cx1; ++cX) {
        const int uX = cX + g.CtoUX;
        if (rowInside && uX >= 0 && uX < map.Uwid) {
          cX = std::max(cX, map.Uwid - g.CtoUX - 1);  // jump over the map's own pixels
          continue;
        }
        const int fx = cX + offX, fy = cY + offY;
        if (!InField(fx, fy)) continue;
        const int cuX = std::clamp(uX, 0, map.Uwid - 1);
        f.pixels[static_cast<std::size_t>(fy) * kFieldSize + fx] =
            pal.colour[map.Uindex[static_cast<std::size_t>(cuY) * map.Uwid + cuX]];
      }
    }
  }
  const std::size_t an = static_cast<std::size_t>(g.Awid) * g.Ahei;
  if (g.apronActive && g.Amat.size() == an) {
    const int offX = g.AtoUX + map.mapToFieldX, offY = g.AtoUY + map.mapToFieldY;
    // The potential and field views fill every apron cell with a free corner inside the window
    // themselves; their material blocks would only be painted over.
    const int mode = job.display.displayMode;
    const bool overpainted = mode >= DisplayVField && mode <= DisplayLoss && g.Acode.size() == an &&
                             g.Avolts.size() == an && g.Cvolts.size() >= 2 &&
                             g.Cvolts.size() == static_cast<std::size_t>(g.Cwid) * g.Chei &&
                             g.Ccode.size() == g.Cvolts.size();
    const std::size_t AW = static_cast<std::size_t>(g.Awid);
    auto painted = [&](int aX, int aY, int fx, int fy) {
      if (!overpainted || aX > g.Awid - 2 || aY > g.Ahei - 2) return false;
      if (fx >= f.windowRight || fy >= f.windowBottom) return false;
      const std::size_t i = static_cast<std::size_t>(aY) * AW + aX;
      const std::uint8_t* c = g.Acode.data();
      return Free(c[i]) || Free(c[i + 1]) || Free(c[i + AW]) || Free(c[i + AW + 1]);
    };
    for (int aY = 0; aY < g.Ahei; ++aY) {
      const int fy = 8 * aY + offY;
      if (fy < f.windowTop || fy > f.windowBottom) continue;
      const int cY = 8 * aY + g.AtoCY;
      for (int aX = 0; aX < g.Awid; ++aX) {
        const int fx = 8 * aX + offX;
        if (fx < f.windowLeft || fx > f.windowRight) continue;
        const int cX = 8 * aX + g.AtoCX;
        if (cX >= 0 && cY >= 0 && cX < g.Cwid - 1 && cY < g.Chei - 1) continue;
        if (painted(aX, aY, fx, fy)) continue;
        FillBlock(f, fx, fy, pal.colour[g.Amat[static_cast<std::size_t>(aY) * g.Awid + aX]]);
      }
    }
  }
}

void DrawCellContour(DisplayField& f, double vTL, double vTR, double vBL, double vBR, double L,
                     int fx, int fy) {
  struct Edge {
    bool crossed = false;
    int x = 0, y = 0;
  };
  // A crossing lies where the level falls strictly between an edge's two corner values.
  auto edge = [L](double p, double q, bool horizontal, int fixed) {
    Edge e;
    if (!((p < L && L < q) || (q < L && L < p))) return e;
    e.crossed = true;
    const int t = static_cast<int>(std::nearbyint(8.0 * (L - p) / (q - p)));
    e.x = horizontal ? t : fixed;
    e.y = horizontal ? fixed : t;
    return e;
  };
  const Edge top = edge(vTL, vTR, true, 0), left = edge(vTL, vBL, false, 0);
  const Edge right = edge(vTR, vBR, false, 8), bottom = edge(vBL, vBR, true, 8);
  const Edge* p1 = nullptr;
  const Edge* p2 = nullptr;
  if (top.crossed) {
    p1 = &top;
    p2 = left.crossed ? &left : right.crossed ? &right : bottom.crossed ? &bottom : nullptr;
  } else if (left.crossed) {
    p1 = &left;
    p2 = bottom.crossed ? &bottom : right.crossed ? &right : nullptr;
  } else if (bottom.crossed) {
    p1 = &bottom;
    p2 = right.crossed ? &right : nullptr;
  }
  if (!p1 || !p2) return;
  const double x1 = fx + p1->x, y1 = fy + p1->y, x2 = fx + p2->x, y2 = fy + p2->y;
  const int n = static_cast<int>(std::nearbyint(1.5 * std::hypot(x2 - x1, y2 - y1)));
  if (n == 0) return;
  auto dot = [&f](int x, int y) {
    if (!InField(x, y)) return;
    std::uint32_t& p = f.pixels[static_cast<std::size_t>(y) * kFieldSize + x];
    if (p != f.lineColorMajor) p = f.currentLineColor;
  };
  for (int k = 0; k < n; ++k)
    dot(static_cast<int>(std::nearbyint(x1 + k * (x2 - x1) / n)),
        static_cast<int>(std::nearbyint(y1 + k * (y2 - y1) / n)));
  dot(static_cast<int>(x2), static_cast<int>(y2));
}

void DebugOverlay(const FieldPaintJob& job, DisplayField& f) {
  const SolverGrid& g = job.grid;
  const int offX = g.CtoUX + job.map.mapToFieldX, offY = g.CtoUY + job.map.mapToFieldY;
  auto pixel = [&](int cX, int cY) -> std::uint32_t* {
    const int fx = cX + offX, fy = cY + offY;
    return InField(fx, fy) ? &f.pixels[static_cast<std::size_t>(fy) * kFieldSize + fx] : nullptr;
  };
  if (g.Ccode.size() == static_cast<std::size_t>(g.Cwid) * g.Chei) {
    for (int cY = 0; cY < g.Chei; ++cY)
      for (int cX = 0; cX < g.Cwid; ++cX) {
        const std::uint8_t c = g.Ccode[static_cast<std::size_t>(cY) * g.Cwid + cX];
        if (c == 0) continue;
        std::uint32_t colour = 0;
        if (c & 1) colour = 0x111111;
        if (c & 2) colour |= 0x222222;
        if (c & 4) colour |= 0x00FF00;
        if (c & 8) colour |= 0x444444;
        if (c & 16) colour |= 0x880000;
        if (c & 64) colour ^= 0x444444;
        if (c & 32) colour |= 0x000088;
        if (std::uint32_t* p = pixel(cX, cY)) *p = colour;
      }
  }
  const int records = std::min<int>(g.surfaceCount, static_cast<int>(g.surfaceList.size()));
  for (int i = 0; i < records; ++i) {
    const SurfaceRecord& s = g.surfaceList[static_cast<std::size_t>(i)];
    if (std::uint32_t* p = pixel(s.conX, s.conY)) *p |= 0x880088;
    if (std::uint32_t* p = pixel(s.insX, s.insY)) *p &= 0xCCCCCC;
  }
  // The prediction window's outline.
  if (g.predictRight > g.predictLeft && g.predictBottom > g.predictTop) {
    for (int x = g.predictLeft; x <= g.predictRight; ++x) {
      if (std::uint32_t* p = pixel(x, g.predictTop)) *p |= 0x444444;
      if (std::uint32_t* p = pixel(x, g.predictBottom)) *p |= 0x444444;
    }
    for (int y = g.predictTop; y <= g.predictBottom; ++y) {
      if (std::uint32_t* p = pixel(g.predictLeft, y)) *p |= 0x444444;
      if (std::uint32_t* p = pixel(g.predictRight, y)) *p |= 0x444444;
    }
  }
}

void PaintField(const FieldPaintJob& job, DisplayField& f) {
  PaintBase(job, f);
  const SolverGrid& g = job.grid;
  const DisplaySettings& ds = job.display;
  const PixelMap& map = job.map;
  f.fluxReady = false;
  SetLineColors(f, map.backgroundColor);
  const std::size_t cn = static_cast<std::size_t>(g.Cwid) * g.Chei;
  if (!ds.fieldReady || g.Cvolts.size() < 2 || g.Cvolts.size() != cn || g.Ccode.size() != cn)
    return;
  const auto& sw = job.switches;
  if (sw[Switch::DebugOverlay]) DebugOverlay(job, f);
  job.report.ShowTrace("_E_____");
  const int mode = ds.displayMode;
  const int a = LevelsPerVolt(ds.fieldLineDensity);
  const double ad = a;
  f.fluxReady = mode >= DisplayEVLines;
  if (f.fluxReady) ComputeFlux(job, f);
  const bool flux = f.fluxReady && f.Cflux.size() == cn;
  const bool bright = ds.highIntensity;
  const PaletteLookups pal(job.materials);
  const double scale =
      (mode >= DisplayEField && mode <= DisplayLoss) ? FieldScale(job, pal, mode) : 0.0;
  const std::uint32_t background = map.backgroundColor;

  job.report.ShowTrace("___C___");
  const std::size_t W = static_cast<std::size_t>(g.Cwid);
  const double* V = g.Cvolts.data();
  const std::uint8_t* code = g.Ccode.data();
  const int offX = g.CtoUX + map.mapToFieldX, offY = g.CtoUY + map.mapToFieldY;
  const std::size_t pixels =
      static_cast<std::size_t>(std::max(map.Uwid, 0)) * std::max(map.Uhei, 0);
  const bool haveIndex = map.Uindex.size() == pixels && pixels > 0;
  if (mode >= DisplayVField && mode <= DisplayELines) {
    const int cy0 = std::max(0, f.windowTop - offY),
              cy1 = std::min(g.Chei - 2, f.windowBottom - offY - 1);
    const int cx0 = std::max(0, f.windowLeft - offX),
              cx1 = std::min(g.Cwid - 2, f.windowRight - offX - 1);
    for (int cY = cy0; cY <= cy1; ++cY) {
      const int fy = cY + offY;
      if (fy < 0 || fy >= kFieldSize) continue;
      std::uint32_t* row = f.pixels.data() + static_cast<std::size_t>(fy) * kFieldSize;
      const int uY = haveIndex ? std::clamp(cY + g.CtoUY, 0, map.Uhei - 1) : 0;
      for (int cX = cx0; cX <= cx1; ++cX) {
        const int fx = cX + offX;
        if (fx < 0 || fx >= kFieldSize) continue;
        const std::size_t i = static_cast<std::size_t>(cY) * W + cX;
        if (!(Free(code[i]) || Free(code[i + 1]) || Free(code[i + W]) || Free(code[i + W + 1])))
          continue;
        double gw = 1.0;
        if ((mode == DisplayDField || mode == DisplayLoss) && haveIndex) {
          const int uX = std::clamp(cX + g.CtoUX, 0, map.Uwid - 1);
          gw = pal.Weight(mode, map.Uindex[static_cast<std::size_t>(uY) * map.Uwid + uX]);
        }
        const double o = gw * V[i], u = gw * V[i + 1], w = gw * V[i + W], A = gw * V[i + W + 1];
        std::uint32_t& px = row[fx];
        if (mode == DisplayVField) {
          px = PotentialColor((o + u + w + A) / 4, bright);
        } else if (mode <= DisplayLoss) {
          const double gx = (w - o + A - u) / 2, gy = (u - o + A - w) / 2;
          double B = scale * std::sqrt(gx * gx + gy * gy);
          if (bright) B = std::sqrt(B);
          px = Grey(B);
        }
        if (mode == DisplayVLines || mode == DisplayEVLines) {
          const double mn = std::min(std::min(o, u), std::min(w, A));
          const double mx = std::max(std::max(o, u), std::max(w, A));
          const int lo = static_cast<int>(std::trunc(ad + ad * mn));
          const int hi = static_cast<int>(std::trunc(ad + ad * mx));
          std::uint32_t colour = 0;
          if (mn > -2.1 && mx < 2.1 && hi != lo && LineColor(f, lo, hi, mx - mn, colour)) {
            if (colour == f.lineColorMajor && std::abs(mn + mx) < 0.04) colour = f.lineColorZero;
            if (colour != background) px = colour;
          }
        }
        if ((mode == DisplayEVLines || mode == DisplayELines) && flux) {
          const double* F = f.Cflux.data();
          double d00 = F[i], d10 = F[i + 1], d01 = F[i + W], d11 = F[i + W + 1];
          Unwrap(d00, d10, d01, d11);
          const double mn = std::min(std::min(d00, d10), std::min(d01, d11));
          const double mx = std::max(std::max(d00, d10), std::max(d01, d11));
          if (mn > -2.1 && mx < 2.1 && std::abs(mx - mn) < 0.0625) {
            const int lo = static_cast<int>(std::trunc(ad + ad * mn + 3)) - 3;
            const int hi = static_cast<int>(std::trunc(ad + ad * mx + 3)) - 3;
            std::uint32_t colour = 0;
            if (hi != lo && LineColor(f, lo, hi, mx - mn, colour) && colour != background &&
                px != f.lineColorMajor)
              px = colour;
          }
        }
      }
    }
  }

  job.report.ShowTrace("____A__");
  const std::size_t an = static_cast<std::size_t>(g.Awid) * g.Ahei;
  if (!g.apronActive || g.Avolts.size() != an || g.Acode.size() != an || g.Amat.size() != an)
    return;
  const std::size_t AW = static_cast<std::size_t>(g.Awid);
  const double* AV = g.Avolts.data();
  const std::uint8_t* acode = g.Acode.data();
  const bool aflux = flux && f.Aflux.size() == an;
  const int aoffX = g.AtoUX + map.mapToFieldX, aoffY = g.AtoUY + map.mapToFieldY;
  for (int aX = g.Awid - 2; aX >= 0; --aX) {
    const int fx = 8 * aX + aoffX;
    const int cX = 8 * aX + g.AtoCX;
    for (int aY = g.Ahei - 2; aY >= 0; --aY) {
      const int fy = 8 * aY + aoffY;
      const std::size_t i = static_cast<std::size_t>(aY) * AW + aX;
      if (sw[Switch::ApronCodeMarkers] && InField(fx, fy)) {
        std::uint32_t marker = 0xFF0000;  // blue
        if (acode[i] & 1) marker = 0x00FF00;
        if (acode[i] & 2) marker = 0x0000FF;
        f.pixels[static_cast<std::size_t>(fy) * kFieldSize + fx] = marker;
      }
      const int cY = 8 * aY + g.AtoCY;
      const bool outsideCore = cX < 0 || cY < 0 || cX > g.Cwid - 2 || cY > g.Chei - 2;
      if (!outsideCore) continue;
      if (!(Free(acode[i]) || Free(acode[i + 1]) || Free(acode[i + AW]) || Free(acode[i + AW + 1])))
        continue;
      if (fx < f.windowLeft || fx >= f.windowRight || fy < f.windowTop || fy >= f.windowBottom)
        continue;
      const double gw =
          (mode == DisplayDField || mode == DisplayLoss) ? pal.Weight(mode, g.Amat[i]) : 1.0;
      const double o = gw * AV[i], u = gw * AV[i + 1], w = gw * AV[i + AW], A = gw * AV[i + AW + 1];
      if (mode == DisplayVField) {
        FillBlock(f, fx, fy, PotentialColor((o + u + w + A) / 4, bright));
      } else if (mode >= DisplayEField && mode <= DisplayLoss) {
        const double gx = (w - o + A - u) / 2, gy = (u - o + A - w) / 2;
        double B = scale * std::sqrt(gx * gx + gy * gy) * 0.125;
        if (bright) B = std::sqrt(B);
        FillBlock(f, fx, fy, Grey(B));
      }
      if (mode == DisplayVLines || mode == DisplayEVLines) {
        const double mn = std::min(std::min(o, u), std::min(w, A));
        const double mx = std::max(std::max(o, u), std::max(w, A));
        const int lo = static_cast<int>(std::trunc(ad + ad * mn));
        const int hi = static_cast<int>(std::trunc(ad + ad * mx));
        if (mn > -2.1 && mx < 2.1 && std::abs(mx - mn) < 0.0625 && hi != lo) {
          for (int Z = hi; Z > lo; --Z) {
            f.currentLineColor = Z % 4 == 0 ? f.lineColorMajor : f.contrastColor;
            if (Z % 4 == 0 && std::abs(mn + mx) < 0.04) f.currentLineColor = f.lineColorZero;
            DrawCellContour(f, o, u, w, A, (Z - ad) / ad, fx, fy);
          }
        }
      }
      if ((mode == DisplayEVLines || mode == DisplayELines) && aflux) {
        const double* F = f.Aflux.data();
        double d00 = F[i], d10 = F[i + 1], d01 = F[i + AW], d11 = F[i + AW + 1];
        Unwrap(d00, d10, d01, d11);
        const double mn = std::min(std::min(d00, d10), std::min(d01, d11));
        const double mx = std::max(std::max(d00, d10), std::max(d01, d11));
        const int lo = static_cast<int>(std::trunc(ad + ad * mn + 3)) - 3;
        const int hi = static_cast<int>(std::trunc(ad + ad * mx + 3)) - 3;
        if (mn > -2.1 && mx < 2.1 && std::abs(mx - mn) < 0.0625 && hi != lo) {
          for (int Z = hi; Z > lo; --Z) {
            f.currentLineColor = Z % 4 == 0 ? f.lineColorMajor : f.contrastColor;
            DrawCellContour(f, d00, d10, d01, d11, (Z - ad) / ad, fx, fy);
          }
        }
      }
    }
  }
}

}  // namespace zolva
