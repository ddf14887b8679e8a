#include "program/display.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "core/display.h"
#include "core/utility.h"
#include "csolver/field_painting.h"
#include "lsolver/lsolver.h"
#include "program/context.h"
#include "program/jobs.h"
#include "program/reporting.h"

namespace zolva {

namespace {

// Rounding to the nearest integer with ties to the even one, as window bounds and mouse
// read-outs expect.
int Round(double x) {
  return static_cast<int>(std::nearbyint(x));
}

// Integer division truncating toward zero.
int Div(int a, int b) {
  return a / b;
}

void PutPixel(std::uint8_t* p, std::uint32_t colour) {
  p[0] = static_cast<std::uint8_t>(colour >> 16);
  p[1] = static_cast<std::uint8_t>(colour >> 8);
  p[2] = static_cast<std::uint8_t>(colour);
}

void FillRow(std::uint8_t* row, int width, std::uint32_t colour) {
  for (int x = 0; x < width; ++x) PutPixel(row + 3 * x, colour);
}

void DrawNotice(DisplayView& view) {
  const int x0 = std::max(0, view.dispCentreX - 120),
            x1 = std::min(view.dispWidth - 1, view.dispCentreX + 120);
  const int y0 = std::max(0, view.dispCentreY - 30),
            y1 = std::min(view.dispHeight - 1, view.dispCentreY + 30);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      PutPixel(view.bitmap.data() + 3 * (static_cast<std::size_t>(y) * view.dispWidth + x),
               0xFFFFFF);
}

std::string Coordinates(int x, int y) {
  return IntText(x) + "," + IntText(y);
}

}  // namespace

FieldWindow FieldWindowFor(int dispWidth, int dispHeight, double zoomFactor) {
  const int hw = std::min(Round((dispWidth + 9) / (2.0 * zoomFactor)) + 1, kFieldCentre);
  const int hh = std::min(Round((dispHeight + 9) / (2.0 * zoomFactor)) + 1, kFieldCentre);
  auto limit = [](int v) { return std::clamp(v, 0, kFieldSize - 1); };
  return FieldWindow{limit(kFieldCentre - hw), limit(kFieldCentre + hw), limit(kFieldCentre - hh),
                     limit(kFieldCentre + hh)};
}

void ResampleField(const DisplayField& field, int zoomIndex, DisplayView& view) {
  if (zoomIndex < 0 || zoomIndex > 5)
    throw std::out_of_range("ResampleField: zoom step must be 0 to 5; got " +
                            std::to_string(zoomIndex));
  const int W = view.dispWidth, H = view.dispHeight;
  view.bitmap.resize(static_cast<std::size_t>(W) * H * 3);
  if (field.pixels.size() != static_cast<std::size_t>(kFieldSize) * kFieldSize) {
    for (int y = 0; y < H; ++y)
      FillRow(view.bitmap.data() + 3 * static_cast<std::size_t>(y) * W, W, kOutsideFieldColor);
    return;
  }
  const double zoom = kZoomFactors[zoomIndex];
  const int halfW = Round(W / (2 * zoom)), halfH = Round(H / (2 * zoom));
  const std::uint32_t* F = field.pixels.data();
  const std::uint32_t major = field.lineColorMajor, zero = field.lineColorZero;
  const std::uint32_t contrast = field.contrastColor;
  auto inField = [](int v) { return v >= 0 && v < kFieldSize; };
  if (zoomIndex <= 1) {
    const int s = Round(1 / zoom);
    for (int y = H - 1; y >= 0; --y) {
      std::uint8_t* row = view.bitmap.data() + 3 * static_cast<std::size_t>(y) * W;
      const int fy = y * s - halfH + kFieldCentre;
      if (!inField(fy)) {
        FillRow(row, W, kOutsideFieldColor);
        continue;
      }
      for (int x = 0; x < W; ++x) {
        const int fx = x * s + kFieldCentre - halfW;
        if (!inField(fx)) {
          PutPixel(row + 3 * x, kOutsideFieldColor);
          continue;
        }
        // The block's lines win over its first pixel, so a one-pixel line survives shrinking.
        const std::uint32_t* block = F + static_cast<std::size_t>(fy) * kFieldSize + fx;
        std::uint32_t pixel = block[0];
        const int bw = std::min(s, kFieldSize - fx), bh = std::min(s, kFieldSize - fy);
        for (int by = 0; by < bh; ++by, block += kFieldSize)
          for (int bx = 0; bx < bw; ++bx) {
            const std::uint32_t p = block[bx];
            if (p == major || p == zero) pixel = p;
            if (p == contrast && pixel != major && pixel != zero) pixel = p;
          }
        PutPixel(row + 3 * x, pixel);
      }
    }
  } else if (zoomIndex == 2) {
    for (int y = 0; y < H; ++y) {
      std::uint8_t* row = view.bitmap.data() + 3 * static_cast<std::size_t>(y) * W;
      const int fy = y - halfH + kFieldCentre;
      if (!inField(fy)) {
        FillRow(row, W, kOutsideFieldColor);
        continue;
      }
      const std::uint32_t* frow = F + static_cast<std::size_t>(fy) * kFieldSize;
      for (int x = 0; x < W; ++x) {
        const int fx = x - halfW + kFieldCentre;
        PutPixel(row + 3 * x, inField(fx) ? frow[fx] : kOutsideFieldColor);
      }
    }
  } else {
    const int f = Round(zoom);
    const int fy0 = kFieldCentre - Round(view.dispCentreY / zoom - 1e-6);
    const int fx0 = kFieldCentre - Round(view.dispCentreX / zoom);
    std::vector<std::uint32_t> buffer(static_cast<std::size_t>(W / f + 2));
    for (int y = 0; y < H; ++y) {
      std::uint8_t* row = view.bitmap.data() + 3 * static_cast<std::size_t>(y) * W;
      const int fy = fy0 + y / f;
      if (!inField(fy)) {
        FillRow(row, W, kOutsideFieldColor);
        continue;
      }
      const std::uint32_t* frow = F + static_cast<std::size_t>(fy) * kFieldSize;
      for (std::size_t k = 0; k < buffer.size(); ++k) {
        const int fx = fx0 + static_cast<int>(k);
        buffer[k] = inField(fx) ? frow[fx] : kOutsideFieldColor;
      }
      for (int x = 0; x < W; ++x) PutPixel(row + 3 * x, buffer[static_cast<std::size_t>(x / f)]);
    }
  }
}

void RefreshFieldDisplay(Context& ctx) {
  DisplaySettings& ds = ctx.display;
  DisplayField& field = ctx.field;
  DisplayView& view = ctx.view;
  ds.copyToScreen = true;
  if (ds.fullView) {
    field.windowLeft = field.windowTop = 0;
    field.windowRight = field.windowBottom = kFieldSize - 1;
  } else {
    const FieldWindow w = FieldWindowFor(view.dispWidth, view.dispHeight, ds.zoomFactor);
    field.windowLeft = w.left;
    field.windowRight = w.right;
    field.windowTop = w.top;
    field.windowBottom = w.bottom;
  }
  PaintField(FieldPaintJobOf(ctx), field);
  ShowTrace(ctx, "_____B_");
  ResampleField(field, ds.zoomIndex, view);
  ShowTrace(ctx, "______S");
  view.noticeText.clear();
  if (ctx.state.predictionFailed) {
    if (ctx.state.predictionFailedAt + 2 < ctx.state.elapsedSeconds) {
      ctx.state.predictionFailed = false;
    } else {
      DrawNotice(view);
      view.noticeText = "Prediction failed, will be skipped.";
    }
  }
  if (ds.copyToScreen) ++view.framesShown;
  ds.fullView = false;
  ds.copyToScreen = false;
  ShowTrace(ctx, "");
}

void ResizeDisplay(Context& ctx, int clientWidth, int clientHeight) {
  DisplayView& v = ctx.view;
  v.dispWidth = std::max(clientWidth, 0) & ~1;
  v.dispHeight = std::max(clientHeight - kStatusLineHeight, 0) & ~1;
  v.dispCentreX = v.dispWidth / 2;
  v.dispCentreY = v.dispHeight / 2;
  v.bitmap.assign(static_cast<std::size_t>(v.dispWidth) * v.dispHeight * 3, 0);
}

void RedrawMainWindow(Context& ctx, int clientWidth, int clientHeight) {
  DisplayView& v = ctx.view;
  if (clientWidth != v.clientWidth || clientHeight != v.clientHeight) {
    ResizeDisplay(ctx, clientWidth, clientHeight);
    v.clientWidth = clientWidth;
    v.clientHeight = clientHeight;
  }
  RefreshStatusLine(ctx);
  RefreshDisplay(ctx);
}

void SetDisplayMode(Context& ctx, int mode) {
  if (mode < DisplayNoField || mode >= kDisplayModeCount)
    throw std::out_of_range("SetDisplayMode: mode must be 0 to 7; got " + std::to_string(mode));
  ctx.display.displayMode = mode;
  RefreshDisplay(ctx);
}

void SetZoom(Context& ctx, int index) {
  if (index < 0 || index > 5)
    throw std::out_of_range("SetZoom: zoom step must be 0 to 5; got " + std::to_string(index));
  ctx.display.zoomIndex = index;
  ctx.display.zoomFactor = kZoomFactors[index];
  if (!ctx.state.ready) return;
  if (ctx.view.clientWidth > 0) ResizeDisplay(ctx, ctx.view.clientWidth, ctx.view.clientHeight);
  RefreshStatusLine(ctx);
  RefreshDisplay(ctx);
}

void StepZoom(Context& ctx, int delta) {
  SetZoom(ctx, std::clamp(ctx.display.zoomIndex + delta, 0, 5));
}

void TogglePlotCurrents(Context& ctx) {
  ctx.display.plotCurrents = !ctx.display.plotCurrents;
  if (!ctx.state.solveInProgress) RefreshDisplay(ctx);
}

void ToggleHighIntensity(Context& ctx) {
  ctx.display.highIntensity = !ctx.display.highIntensity;
  if (ctx.state.solveInProgress) return;
  if (ctx.results.L != 0 && !ctx.lsolver.pixelCurrents.empty())
    RenderCurrentDensity(ctx.lsolver, ctx.map, ctx.display.highIntensity);
  RefreshDisplay(ctx);
}

void StepLineDensity(Context& ctx, int delta) {
  int d = ctx.display.fieldLineDensity + delta;
  if (d > 9) d = 9;
  if (d <= 0) d = 1;
  ctx.display.fieldLineDensity = d;
  RefreshDisplay(ctx);
}

std::vector<ConductorLabel> ConductorLabels(const Context& ctx) {
  std::vector<ConductorLabel> labels;
  const ConductorNumbering& n = ctx.coupled.numbering;
  const PixelMap& map = ctx.map;
  if (!ctx.panel.checks[CheckBoxCoupled] || n.width != map.Uwid || n.height != map.Uhei ||
      n.number.size() != static_cast<std::size_t>(map.Uwid) * static_cast<std::size_t>(map.Uhei))
    return labels;
  const DisplayView& v = ctx.view;
  const double zoom = ctx.display.zoomFactor;
  if (!(zoom > 0.0)) return labels;
  const double ux0 = map.fieldToMapX + kFieldCentre - v.dispCentreX / zoom;
  const double uy0 = map.fieldToMapY + kFieldCentre - v.dispCentreY / zoom;
  for (int k = 1; k <= n.count(); ++k) {
    const NumberedConductor& c = n.conductors[static_cast<std::size_t>(k - 1)];
    double px = c.centreX, py = c.centreY;
    const int cx = static_cast<int>(px), cy = static_cast<int>(py);
    const bool centreInside =
        cx >= 0 && cy >= 0 && cx < n.width && cy < n.height &&
        n.number[static_cast<std::size_t>(cy) * static_cast<std::size_t>(n.width) +
                 static_cast<std::size_t>(cx)] == k;
    if (!centreInside) {
      px = c.firstX + 0.5;
      py = c.firstY + 0.5;
    }
    ConductorLabel label;
    label.x = Round((px - ux0) * zoom);
    label.y = Round((py - uy0) * zoom);
    if (label.x < 0 || label.y < 0 || label.x >= v.dispWidth || label.y >= v.dispHeight) continue;
    label.text = std::to_string(k);
    if (k == n.reference) label.text += " ref";
    labels.push_back(label);
  }
  return labels;
}

void RefreshStatusLineAt(Context& ctx, int mx, int my) {
  DisplayView& v = ctx.view;
  const DisplaySettings& ds = ctx.display;
  const PixelMap& map = ctx.map;
  const SolverGrid& g = ctx.grid;
  v.mouseX = mx;
  v.mouseY = my;
  const double zoom = ds.zoomFactor;
  const int h = Round(0.49 * zoom);
  const bool sw11 = ctx.state.switches[Switch::DebugOverlay];
  const int a = sw11 ? h : 0, b = sw11 ? 0 : h;
  if (zoom >= 1.0) {
    const int z = Round(zoom);
    const int ux0 = map.fieldToMapX + kFieldCentre - Div(v.dispCentreX, z);
    const int uy0 = map.fieldToMapY + kFieldCentre - Div(v.dispCentreY, z);
    v.uX = Div(mx + a, z) + ux0;
    v.uY = Div(my + a, z) + uy0;
    v.cX = Div(mx + b, z) + ux0 + g.UtoCX;
    v.cY = Div(my + b, z) + uy0 + g.UtoCY;
  } else {
    const int ux0 = map.fieldToMapX + kFieldCentre - Round(v.dispCentreX / zoom);
    const int uy0 = map.fieldToMapY + kFieldCentre - Round(v.dispCentreY / zoom);
    v.uX = Round(mx / zoom) + ux0;
    v.uY = Round(my / zoom) + uy0;
    v.cX = Round(mx / zoom) + ux0 + g.UtoCX;
    v.cY = Round(my / zoom) + uy0 + g.UtoCY;
  }
  v.labelM1 = {IntText(Round(zoom * 100)) + " %   Usermap: ", 0};
  const bool inMap = v.uX >= 0 && v.uX < map.Uwid && v.uY >= 0 && v.uY < map.Uhei;
  v.labelM2 = {Coordinates(v.uX, v.uY), inMap ? 0u : kOutsideLabelColor};
  if (ds.fieldReady) {
    const bool inCore = v.cX >= 0 && v.cX < g.Cwid && v.cY >= 0 && v.cY < g.Chei;
    v.labelM3 = {"  (", 0};
    v.labelM4 = {Coordinates(v.cX, v.cY), inCore ? 0u : kOutsideLabelColor};
    const bool edges = ctx.state.switches[Switch::VoltageAtCoreEdges];
    const int m = edges ? 0 : 1;
    const bool interior = v.cX >= m && v.cY >= m && v.cX < g.Cwid - m && v.cY < g.Chei - m;
    const std::size_t cn = static_cast<std::size_t>(g.Cwid) * g.Chei;
    double value = 0.0;
    bool fromApron = false;
    if (interior && g.Cvolts.size() == cn) {
      value = g.Cvolts[static_cast<std::size_t>(v.cY) * g.Cwid + v.cX];
    } else {
      const int ax = (v.cX + g.CtoAX) >> 3, ay = (v.cY + g.CtoAY) >> 3;
      if (ax >= 0 && ay >= 0 && ax <= g.Awid - 2 && ay <= g.Ahei - 2 &&
          g.Avolts.size() == static_cast<std::size_t>(g.Awid) * g.Ahei) {
        value = InterpolateApron(g, v.cX, v.cY);
        v.apronCellX = ax;
        v.apronCellY = ay;
        fromApron = true;
      }
    }
    if (ctx.state.switches[Switch::ShowFluxValues] && ctx.field.fluxReady) {
      value = 0.0;
      if (inCore && ctx.field.Cflux.size() == cn) {
        value = ctx.field.Cflux[static_cast<std::size_t>(v.cY) * g.Cwid + v.cX];
      } else if (fromApron && ctx.field.Aflux.size() == static_cast<std::size_t>(g.Awid) * g.Ahei) {
        value = ctx.field.Aflux[static_cast<std::size_t>(v.apronCellY) * g.Awid + v.apronCellX];
      }
    }
    v.labelM5 = {")   Voltage: " + Str(value, 8, 5), 0};
  } else {
    v.labelM3 = v.labelM4 = v.labelM5 = {"", 0};
  }
  const std::size_t pixels =
      static_cast<std::size_t>(std::max(map.Uwid, 0)) * std::max(map.Uhei, 0);
  if (map.Uindex.size() > 10 && map.Uindex.size() == pixels) {
    int index = map.Uindex[static_cast<std::size_t>(std::clamp(v.uY, 0, map.Uhei - 1)) * map.Uwid +
                           std::clamp(v.uX, 0, map.Uwid - 1)];
    const int pcX = v.uX + g.UtoCX, pcY = v.uY + g.UtoCY;
    const bool apron =
        g.Awid * g.Ahei > 2 && g.Amat.size() == static_cast<std::size_t>(g.Awid) * g.Ahei;
    if (apron && (pcX < 0 || pcY < 0 || pcX >= g.Cwid || pcY >= g.Chei)) {
      const int ax = std::clamp((pcX + g.CtoAX) >> 3, 0, g.Awid - 1);
      const int ay = std::clamp((pcY + g.CtoAY) >> 3, 0, g.Ahei - 1);
      index = g.Amat[static_cast<std::size_t>(ay) * g.Awid + ax];
    }
    const PaletteEntry& entry = ctx.materials.palette.entries.at(static_cast<std::size_t>(index));
    std::string name;
    if (entry.tableIndex != kNoTableEntry && entry.tableIndex < ctx.materials.table.count) {
      name = ctx.materials.table.entries.at(entry.tableIndex).name;
    } else {
      name = "unnamed " + IntText(index);
    }
    if (name.size() > 32) name.resize(32);
    v.label3 = {name, 0};
  }
  ProcessPendingEvents(ctx);
}

void RefreshStatusLineNow(Context& ctx) {
  RefreshStatusLineAt(ctx, ctx.view.mouseX, ctx.view.mouseY);
}

void InstallDisplayHooks(Context& ctx) {
  ctx.state.RefreshDisplayHook = [&ctx]() { RefreshFieldDisplay(ctx); };
  ctx.state.RefreshStatusLineHook = [&ctx]() { RefreshStatusLineNow(ctx); };
}

}  // namespace zolva
