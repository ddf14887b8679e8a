// The painted field: colours of the potential and field views, line colours, and the field
// lines of a solved coaxial line against its closed-form potential and flux.
#include "csolver/field_painting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "csolver/capacitance.h"
#include "csolver/csolver_fixture.h"
#include "csolver/flux.h"

namespace zolva {
namespace {

using testing::SolverFixture;

constexpr std::uint32_t kCyan = 0xFFFF00;     // R 0, G 255, B 255 packed
constexpr std::uint32_t kMagenta = 0xFF00FF;  // R 255, G 0, B 255

// A hand-made core of w x h free nodes over a (w-1) x (h-1) map of field-region pixels, with
// the voltages of v(x, y). Core node (x, y) paints field pixel (x, y).
void HandGrid(SolverFixture& f, int w, int h, double (*v)(int, int),
              std::uint32_t background = testing::kBlack) {
  f.Size(w - 1, h - 1, background);
  const int index = FindPaletteIndex(f.ctx.materials, background);
  f.ctx.map.Uindex.assign(f.ctx.map.Ucolor.size(), static_cast<std::uint8_t>(index));
  SolverGrid& g = f.ctx.grid;
  g.Cwid = w;
  g.Chei = h;
  g.UtoCX = g.UtoCY = g.CtoUX = g.CtoUY = 0;
  g.apronActive = false;
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  g.Cvolts.resize(n);
  g.Ccode.assign(n, NodeFree);
  g.Cmat.assign(n, static_cast<std::uint8_t>(index));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g.Cvolts[static_cast<std::size_t>(y) * w + x] = v(x, y);
  f.ctx.map.Ukind.assign(f.ctx.map.Ucolor.size(), KindInsulInField);
  f.ctx.map.mapToFieldX = f.ctx.map.mapToFieldY = 0;
  f.ctx.display.fieldReady = true;
  f.ctx.display.plotCurrents = false;
}

std::uint32_t Paint(SolverFixture& f, int mode, int x, int y) {
  f.ctx.display.displayMode = mode;
  PaintField(FieldPaintJobOf(f.ctx), f.ctx.field);
  return f.ctx.field.pixels.at(static_cast<std::size_t>(y) * kFieldSize + x);
}

TEST(FieldPainting, PotentialColoursAndHighIntensity) {
  SolverFixture plus, minus, quarter;
  HandGrid(plus, 4, 4, [](int, int) { return 1.0; });
  HandGrid(minus, 4, 4, [](int, int) { return -1.0; });
  HandGrid(quarter, 4, 4, [](int, int) { return 0.25; });
  EXPECT_EQ(Paint(plus, 1, 1, 1), kCyan);
  EXPECT_EQ(Paint(minus, 1, 1, 1), kMagenta);
  // Beyond +-1 the colour stays at full brightness.
  SolverFixture over;
  HandGrid(over, 4, 4, [](int, int) { return 1.7; });
  EXPECT_EQ(Paint(over, 1, 1, 1), kCyan);
  EXPECT_EQ(Paint(quarter, 1, 1, 1), 64u * 256 + 64u * 65536);  // round(63.75)
  quarter.ctx.display.highIntensity = true;
  EXPECT_EQ(Paint(quarter, 1, 1, 1), 128u * 256 + 128u * 65536);  // round(255 sqrt(0.25))
  // The window's upper bounds are exclusive for cells: nothing beyond them is painted.
  quarter.ctx.field.windowRight = 2;
  EXPECT_EQ(Paint(quarter, 1, 2, 1), testing::kBlack);
}

TEST(FieldPainting, FieldScalesRunFromBlackToWhite) {
  // V = x^2 / 400: the gradient grows along x, the strongest cell at the right edge of the
  // cells that set the scale (x < Cwid - 2) paints white.
  SolverFixture f;
  HandGrid(f, 22, 6, [](int x, int) { return x * x / 400.0; });
  for (int mode : {2, 3}) {
    EXPECT_EQ(Paint(f, mode, 19, 2), 0xFFFFFFu) << mode;
    // Cell 9 has the gradient 19/39 of cell 19's: grey round(255 * 19 / 39) = 124.
    EXPECT_EQ(Paint(f, mode, 9, 2), 124u * 0x010101u) << mode;
  }
  // Beyond the scale's area the colour is limited to white, not wrapped.
  EXPECT_EQ(Paint(f, 2, 20, 2), 0xFFFFFFu);
  // Vacuum has no loss: the loss view is black, as is a field of zero everywhere.
  EXPECT_EQ(Paint(f, 4, 19, 2), 0u);
  SolverFixture flat;
  HandGrid(flat, 8, 8, [](int, int) { return 0.5; });
  for (int mode : {2, 3, 4}) EXPECT_EQ(Paint(flat, mode, 3, 3), 0u) << mode;
}

TEST(FieldPainting, LineColoursOnBlackAndWhiteBackgrounds) {
  // V falls linearly by 1/48 volt per cell from 0.99 to -0.99: at 24 levels per volt each level
  // 1..47 is crossed in exactly one cell (no corner sits on a level), the zero line in the middle
  // between the +1 and the -1 side.
  auto ramp = [](int x, int) { return 0.99 - x / 48.0; };
  for (std::uint32_t background : {testing::kBlack, testing::kWhite}) {
    SolverFixture f;
    HandGrid(f, 97, 4, ramp, background);
    f.ctx.display.fieldLineDensity = 4;
    std::map<std::uint32_t, int> counts;
    f.ctx.display.displayMode = 5;
    PaintField(FieldPaintJobOf(f.ctx), f.ctx.field);
    const DisplayField& d = f.ctx.field;
    for (int x = 0; x < 96; ++x) ++counts[d.pixels[static_cast<std::size_t>(kFieldSize) + x]];
    EXPECT_EQ(d.lineColorMajor, background ^ 0xFFFFFFu);
    EXPECT_EQ(d.lineColorZero, background == 0 ? 0xB0FFB0u : 0x00CC00u);
    EXPECT_EQ(d.contrastColor, background ^ 0x555555u);
    // The zero line, ten other major lines (every fourth level), and no minor ones: a spread of
    // 1/48 volt per cell is too steep for both kinds of minor level.
    EXPECT_EQ(counts[d.lineColorZero], 1);
    EXPECT_EQ(d.pixels[static_cast<std::size_t>(kFieldSize) + 47], d.lineColorZero);
    EXPECT_EQ(counts[d.lineColorMajor], 10);
    EXPECT_EQ(counts[d.contrastColor], 0);
  }
  // A gentler ramp keeps the half-way levels (2 mod 4) but not the odd ones.
  SolverFixture gentle;
  HandGrid(gentle, 128, 4, [](int x, int) { return 0.99 - x / 64.0; });
  gentle.ctx.display.displayMode = 5;
  PaintField(FieldPaintJobOf(gentle.ctx), gentle.ctx.field);
  int minor = 0;
  for (int x = 0; x < 127; ++x)
    minor += gentle.ctx.field.pixels[static_cast<std::size_t>(kFieldSize) + x] ==
             gentle.ctx.field.contrastColor;
  EXPECT_EQ(minor, 12);  // levels 2, 6, .., 46 between 0.99 and -1
}

TEST(FieldPainting, LevelsAndContours) {
  EXPECT_THROW(LevelsPerVolt(0), std::out_of_range);
  EXPECT_THROW(LevelsPerVolt(10), std::out_of_range);

  DisplayField d;
  EnsureFieldPixels(d);
  d.lineColorMajor = 0xFFFFFF;
  d.currentLineColor = 0x123456;
  auto count = [&d]() {
    int n = 0;
    for (int y = 100; y <= 108; ++y)
      for (int x = 100; x <= 108; ++x)
        n += d.pixels[static_cast<std::size_t>(y) * kFieldSize + x] == 0x123456;
    return n;
  };
  // A level crossing the top and bottom edges at their middles draws a vertical segment.
  DrawCellContour(d, 0, 1, 0, 1, 0.5, 100, 100);
  EXPECT_EQ(count(), 9);
  EXPECT_EQ(d.pixels[static_cast<std::size_t>(104) * kFieldSize + 104], 0x123456u);
  // A level equal to a corner crosses only one edge: nothing is drawn.
  std::fill(d.pixels.begin(), d.pixels.end(), 0);
  DrawCellContour(d, 0.5, 1, 0, 0, 0.5, 100, 100);
  EXPECT_EQ(count(), 0);
  // Dots near the field's end are skipped, not written beyond it.
  DrawCellContour(d, 0, 1, 0, 1, 0.5, kFieldSize - 4, kFieldSize - 4);
}

// A solved coaxial line: centre conductor of radius a at +1 volt, shield of radius b at 0. The
// potential is V(r) = ln(b/r) / ln(b/a), so level V lies at r = b (a/b)^V; the flux grows evenly
// with the angle, and its levels are radial lines.
struct SolvedCoax : SolverFixture {
  static constexpr int a = 18, b = 36, o = 44;
  int cx = 0, cy = 0;  // field position of the axis (a pixel corner)
  SolvedCoax() {
    DrawCoax(a, b, o, testing::kBlack);
    ctx.map.mapCentreX = ctx.map.Uwid / 2;
    ctx.map.mapCentreY = ctx.map.Uhei / 2;
    ctx.map.mapToFieldX = kFieldCentre - ctx.map.mapCentreX;
    ctx.map.mapToFieldY = kFieldCentre - ctx.map.mapCentreY;
    EXPECT_TRUE(Setup());
    SolveCapacitance(CapacitanceJobOf(ctx));
    ctx.display.plotCurrents = false;
    cx = ctx.map.Uwid / 2 + ctx.map.mapToFieldX;
    cy = ctx.map.Uhei / 2 + ctx.map.mapToFieldY;
  }
  std::uint32_t At(int x, int y) const {
    return ctx.field.pixels.at(static_cast<std::size_t>(y) * kFieldSize + x);
  }
};

TEST(FieldPainting, CoaxEquipotentialsAreCirclesAtTheirRadii) {
  SolvedCoax f;
  ASSERT_TRUE(f.ctx.display.fieldReady);
  f.ctx.display.displayMode = 5;
  f.ctx.display.fieldLineDensity = 4;  // majors every 1/6 volt
  PaintField(FieldPaintJobOf(f.ctx), f.ctx.field);
  const std::uint32_t major = f.ctx.field.lineColorMajor;
  // Along four rays from the axis, each major level 1/6 .. 5/6 volt appears as a run of line
  // pixels whose middle (pixel centre, +0.5) lies within a pixel of its predicted radius.
  const int dirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  for (const auto& d : dirs) {
    std::vector<double> runs;
    double sum = 0;
    int len = 0;
    for (int r = f.a + 1; r < f.b - 1; ++r) {
      // A ray to the left or up meets the pixels whose far corner is r away.
      const int px = f.cx + d[0] * r - (d[0] < 0 ? 1 : 0);
      const int py = f.cy + d[1] * r - (d[1] < 0 ? 1 : 0);
      if (f.At(px, py) == major) {
        sum += r + 0.5;
        ++len;
      } else if (len > 0) {
        runs.push_back(sum / len);
        sum = 0;
        len = 0;
      }
    }
    ASSERT_EQ(runs.size(), 5u) << d[0] << "," << d[1];
    for (int k = 0; k < 5; ++k) {
      const double V = (5 - k) / 6.0;  // nearest the centre first
      const double r = f.b * std::pow(static_cast<double>(f.a) / f.b, V);
      EXPECT_NEAR(runs[static_cast<std::size_t>(k)], r, 1.0) << "level " << V;
    }
  }
}

TEST(FieldPainting, CoaxFluxSpansTwoPerTurnAndELinesAreEvenlySpacedRays) {
  SolvedCoax f;
  f.ctx.display.displayMode = 7;
  f.ctx.display.fieldLineDensity = 1;  // 8 levels per volt: 16 lines per turn, 4 of them major
  PaintField(FieldPaintJobOf(f.ctx), f.ctx.field);
  const DisplayField& d = f.ctx.field;
  ASSERT_TRUE(d.fluxReady);
  ASSERT_TRUE(d.seedFound);
  ASSERT_TRUE(d.periodFound);
  // The seed is the nearest free node to the axis, which lies inside the centre conductor.
  const int seedR2 = (d.seedX + f.ctx.grid.CtoUX - f.ctx.map.Uwid / 2) *
                         (d.seedX + f.ctx.grid.CtoUX - f.ctx.map.Uwid / 2) +
                     (d.seedY + f.ctx.grid.CtoUY - f.ctx.map.Uhei / 2) *
                         (d.seedY + f.ctx.grid.CtoUY - f.ctx.map.Uhei / 2);
  EXPECT_NEAR(std::sqrt(seedR2), f.a, 1.5);

  // Around a circle in the dielectric the flux, unwrapped step by step across its cut, grows
  // by 2 in one turn, at an even rate; every stored value lies within -1..1.
  const SolverGrid& g = f.ctx.grid;
  auto psi = [&](double angle, double r) {
    const int ux = static_cast<int>(std::nearbyint(f.ctx.map.Uwid / 2 + r * std::cos(angle)));
    const int uy = static_cast<int>(std::nearbyint(f.ctx.map.Uhei / 2 + r * std::sin(angle)));
    return d.Cflux.at(static_cast<std::size_t>(uy + g.UtoCY) * g.Cwid + (ux + g.UtoCX));
  };
  for (double v : d.Cflux) ASSERT_LE(std::abs(v), 1.0 + 1e-12);
  constexpr int kSteps = 720;
  constexpr double kPi = 3.141592653589793;
  double total = 0, prev = psi(0, 27);
  std::vector<double> unwrapped{0.0};
  for (int k = 1; k <= kSteps; ++k) {
    const double now = psi(2 * kPi * k / kSteps, 27);
    double step = now - prev;
    if (step > 1) step -= 2;
    if (step < -1) step += 2;
    total += step;
    unwrapped.push_back(total);
    prev = now;
  }
  EXPECT_NEAR(std::abs(total), 2.0, 0.02);
  for (int q = 1; q < 4; ++q)  // a quarter turn carries a quarter of the flux
    EXPECT_NEAR(std::abs(unwrapped[static_cast<std::size_t>(q * kSteps / 4)]), 0.5 * q, 0.05);

  // The E lines on the circle of radius 27: the flux changes by 2 / (2 pi 27) = 0.012 per pixel
  // there, too steep for the odd levels, so 8 separate runs of line pixels show, evenly spaced,
  // 4 of them major and a quarter turn apart; no extra line where the flux wraps.
  std::vector<std::pair<double, bool>> lines;  // angle of a run's middle, major
  bool inRun = false;
  double runStart = 0;
  bool runMajor = false;
  const int kRing = 2000;
  auto onLine = [&](int k, bool& major) {
    const double t = 2 * kPi * k / kRing;
    const int px = static_cast<int>(std::floor(f.cx + 27 * std::cos(t)));
    const int py = static_cast<int>(std::floor(f.cy + 27 * std::sin(t)));
    const std::uint32_t c = f.At(px, py);
    major = c == d.lineColorMajor;
    return major || c == d.contrastColor;
  };
  int first = 0;  // start the walk off a line so that no run is split
  for (bool m = false; onLine(first, m);) ++first;
  for (int k = first; k <= first + kRing; ++k) {
    bool major = false;
    const bool on = onLine(k, major);
    if (on && !inRun) {
      inRun = true;
      runStart = k;
      runMajor = false;
    }
    if (on) runMajor = runMajor || major;
    if (!on && inRun) {
      inRun = false;
      lines.emplace_back(2 * kPi * ((runStart + k - 1) / 2.0) / kRing, runMajor);
    }
  }
  ASSERT_EQ(lines.size(), 8u);
  std::vector<double> majors;
  for (const auto& [angle, major] : lines)
    if (major) majors.push_back(angle);
  ASSERT_EQ(majors.size(), 4u);
  for (std::size_t k = 1; k < majors.size(); ++k)
    EXPECT_NEAR(majors[k] - majors[k - 1], kPi / 2, 0.12);
  for (std::size_t k = 1; k < lines.size(); ++k)
    EXPECT_NEAR(lines[k].first - lines[k - 1].first, kPi / 4, 0.12);
}

TEST(FieldPainting, WithoutAFieldOnlyTheMapIsPainted) {
  SolvedCoax f;
  f.ctx.display.fieldReady = false;
  f.ctx.display.displayMode = 6;
  PaintField(FieldPaintJobOf(f.ctx), f.ctx.field);
  EXPECT_FALSE(f.ctx.field.fluxReady);
  // The map's pixels stand in the field; the rest is background.
  int differing = 0;
  for (int y = 0; y < f.ctx.map.Uhei; ++y)
    for (int x = 0; x < f.ctx.map.Uwid; ++x)
      differing += f.At(x + f.ctx.map.mapToFieldX, y + f.ctx.map.mapToFieldY) !=
                   f.ctx.map.Ucolor[static_cast<std::size_t>(y) * f.ctx.map.Uwid + x];
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(f.At(10, 10), f.ctx.map.backgroundColor);
}

TEST(FluxFunction, RunsStopAtConductorsAndRejectBadLines) {
  // One row of five nodes: free, free, conductor, free, free, with V rising along a second row.
  const double V[10] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1};
  const std::uint8_t code[10] = {1, 1, 4, 1, 1, 1, 1, 1, 1, 1};
  const double eps[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  double psi[10];
  std::fill(psi, psi + 10, kFluxUnset);
  int nodes = 0;
  FluxLattice L{V, code, eps, psi, 5, 2, 0.25, &nodes};
  // Nothing happens without a value at the start.
  EXPECT_EQ(IntegrateFluxRun(L, 0, 4, 0, true), 0);
  psi[0] = 0;
  // The run writes nodes 1 and 2 and ends at the conductor, counting only the free node.
  EXPECT_EQ(IntegrateFluxRun(L, 0, 4, 0, true), 2);
  EXPECT_EQ(nodes, 1);
  EXPECT_EQ(psi[3], kFluxUnset);
  // Flux across the link between two nodes of row 0: 0.25 (1 + 1) for the cell below.
  EXPECT_DOUBLE_EQ(psi[1], 0.5);
  EXPECT_THROW(IntegrateFluxRun(L, 0, 5, 0, true), std::out_of_range);
  EXPECT_THROW(IntegrateFluxRun(L, 0, 1, 2, true), std::out_of_range);
}

}  // namespace
}  // namespace zolva
