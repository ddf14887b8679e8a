// The field display: the window a display needs, the resampling at every zoom, the settings the
// keys step, and the status line.
#include "program/display.h"

#include <gtest/gtest.h>

#include "core/display.h"
#include "core/utility.h"
#include "csolver/capacitance.h"
#include "csolver/csolver_fixture.h"
#include "program/context.h"
#include "program/jobs.h"
#include "program/reporting.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

// The solver fixture over the application's records.
using SolverFixture = testing::BasicSolverFixture<Context>;

std::uint32_t BitmapPixel(const DisplayView& v, int x, int y) {
  const std::uint8_t* p = v.bitmap.data() + 3 * (static_cast<std::size_t>(y) * v.dispWidth + x);
  return p[2] + 256u * p[1] + 65536u * p[0];  // stored blue, green, red
}

void SetField(DisplayField& f, int x, int y, std::uint32_t c) {
  f.pixels.at(static_cast<std::size_t>(y) * kFieldSize + x) = c;
}

TEST(FieldDisplay, WindowOfA620By474ClientArea) {
  HeadlessPlatform platform;
  Context ctx(platform);
  ResizeDisplay(ctx, 620, 474);
  EXPECT_EQ(ctx.view.dispWidth, 620);
  EXPECT_EQ(ctx.view.dispHeight, 456);
  EXPECT_EQ(ctx.view.dispCentreX, 310);
  // hw = round(629 / 2) + 1: the tie 314.5 rounds to the even 314.
  const FieldWindow w = FieldWindowFor(620, 456, 1.0);
  EXPECT_EQ(w.left, 1285);
  EXPECT_EQ(w.right, 1915);
  EXPECT_EQ(w.top, 1367);
  EXPECT_EQ(w.bottom, 1833);
  // Odd client sizes lose their last column and row.
  ResizeDisplay(ctx, 621, 475);
  EXPECT_EQ(ctx.view.dispWidth, 620);
  EXPECT_EQ(ctx.view.dispHeight, 456);
  // At 25 % the window would pass the field's edges: it is limited to 0..3199.
  const FieldWindow all = FieldWindowFor(1000, 1000, 0.25);
  EXPECT_EQ(all.left, 0);
  EXPECT_EQ(all.right, 3199);
}

TEST(FieldDisplay, ResamplingAtEveryZoom) {
  DisplayField field;
  EnsureFieldPixels(field);
  for (int y = 0; y < kFieldSize; ++y)
    for (int x = 0; x < kFieldSize; ++x)
      SetField(field, x, y, static_cast<std::uint32_t>(x + 7 * y));
  DisplayView v;
  v.dispWidth = 40;
  v.dispHeight = 20;
  v.dispCentreX = 20;
  v.dispCentreY = 10;
  // 100 %: one field pixel per display pixel, the field's centre in the display's centre.
  ResampleField(field, 2, v);
  EXPECT_EQ(BitmapPixel(v, 0, 0), 1580u + 7 * 1590);
  EXPECT_EQ(BitmapPixel(v, 20, 10), 1600u + 7 * 1600);
  // 200 %: each field pixel covers 2 x 2 display pixels.
  ResampleField(field, 3, v);
  EXPECT_EQ(BitmapPixel(v, 20, 10), 1600u + 7 * 1600);
  EXPECT_EQ(BitmapPixel(v, 21, 11), 1600u + 7 * 1600);
  EXPECT_EQ(BitmapPixel(v, 22, 10), 1601u + 7 * 1600);
  EXPECT_EQ(BitmapPixel(v, 0, 0), 1590u + 7 * 1595);
  // 800 %.
  ResampleField(field, 5, v);
  EXPECT_EQ(BitmapPixel(v, 20, 10), 1600u + 7 * 1600);
  // The first field column is 1600 - round(20 / 8) = 1598 (the tie 2.5 goes to 2), the first row
  // 1600 - round(10 / 8) = 1599: the centre's field pixel covers display columns 16..23 and
  // rows 8..15.
  EXPECT_EQ(BitmapPixel(v, 16, 8), 1600u + 7 * 1600);
  EXPECT_EQ(BitmapPixel(v, 23, 15), 1600u + 7 * 1600);
  EXPECT_EQ(BitmapPixel(v, 24, 10), 1601u + 7 * 1600);
  EXPECT_EQ(BitmapPixel(v, 23, 16), 1600u + 7 * 1601);

  // 25 % in a tall, wide display: the rows and columns beyond the field are dark grey.
  v.dispWidth = 1000;
  v.dispHeight = 1000;
  ResampleField(field, 0, v);
  // halfH = 2000: display row y shows field row 4 y - 400; rows 0..99 lie above the field.
  EXPECT_EQ(BitmapPixel(v, 500, 99), kOutsideFieldColor);
  EXPECT_EQ(BitmapPixel(v, 999, 0), kOutsideFieldColor);
  EXPECT_EQ(BitmapPixel(v, 500, 100), 1600u);  // field (1600, 0)
  EXPECT_EQ(BitmapPixel(v, 99, 500), kOutsideFieldColor);
  EXPECT_EQ(BitmapPixel(v, 100, 500), 0u + 7 * 1600);
  EXPECT_EQ(BitmapPixel(v, 899, 500), 3196u + 7 * 1600);
  EXPECT_EQ(BitmapPixel(v, 900, 500), kOutsideFieldColor);
  EXPECT_THROW(ResampleField(field, 6, v), std::out_of_range);
}

TEST(FieldDisplay, ShrinkingKeepsLinePixels) {
  DisplayField field;
  EnsureFieldPixels(field);
  field.lineColorMajor = 0xFFFFFF;
  field.lineColorZero = 0xB0FFB0;
  field.contrastColor = 0x555555;
  DisplayView v;
  v.dispWidth = v.dispHeight = 8;
  v.dispCentreX = v.dispCentreY = 4;
  // At 50 % display pixel (x, y) covers the block with corner (2 x + 1592, 2 y + 1592).
  auto corner = [](int d) { return 2 * d + 1592; };
  SetField(field, corner(1) + 1, corner(1) + 1, 0xFFFFFF);  // a major line pixel, block's last
  SetField(field, corner(2) + 1, corner(2), 0x555555);      // minor line
  SetField(field, corner(3), corner(3), 0x555555);          // minor first, then zero line
  SetField(field, corner(3) + 1, corner(3) + 1, 0xB0FFB0);
  SetField(field, corner(4), corner(4), 0xFFFFFF);  // major first, then minor
  SetField(field, corner(4) + 1, corner(4), 0x555555);
  SetField(field, corner(5), corner(5), 0x123456);  // other colours: the first pixel
  SetField(field, corner(5) + 1, corner(5) + 1, 0x654321);
  ResampleField(field, 1, v);
  EXPECT_EQ(BitmapPixel(v, 1, 1), 0xFFFFFFu);
  EXPECT_EQ(BitmapPixel(v, 2, 2), 0x555555u);
  EXPECT_EQ(BitmapPixel(v, 3, 3), 0xB0FFB0u);
  EXPECT_EQ(BitmapPixel(v, 4, 4), 0xFFFFFFu);
  EXPECT_EQ(BitmapPixel(v, 5, 5), 0x123456u);
  EXPECT_EQ(BitmapPixel(v, 0, 0), 0u);
  // 25 %: a line pixel in the last row of a 4 x 4 block.
  SetField(field, 1600 + 3, 1600 + 3, 0xB0FFB0);
  v.dispWidth = v.dispHeight = 4;
  v.dispCentreX = v.dispCentreY = 2;
  ResampleField(field, 0, v);  // display (2, 2) covers field 1600..1603
  EXPECT_EQ(BitmapPixel(v, 2, 2), 0xB0FFB0u);
}

TEST(FieldDisplay, SettingsStepWithinTheirLimits) {
  HeadlessPlatform platform;
  Context ctx(platform);
  int refreshes = 0;
  ctx.state.RefreshDisplayHook = [&refreshes]() { ++refreshes; };
  ctx.display.fieldLineDensity = 1;
  StepLineDensity(ctx, -1);
  EXPECT_EQ(ctx.display.fieldLineDensity, 1);
  ctx.display.fieldLineDensity = 9;
  StepLineDensity(ctx, 1);
  EXPECT_EQ(ctx.display.fieldLineDensity, 9);
  StepLineDensity(ctx, -3);
  EXPECT_EQ(ctx.display.fieldLineDensity, 6);
  EXPECT_EQ(refreshes, 3);
  // Before the program is ready a zoom change only stores the factor.
  SetZoom(ctx, 5);
  EXPECT_DOUBLE_EQ(ctx.display.zoomFactor, 8.0);
  EXPECT_EQ(refreshes, 3);
  ctx.state.ready = true;
  StepZoom(ctx, 1);
  EXPECT_EQ(ctx.display.zoomIndex, 5);
  StepZoom(ctx, -7);
  EXPECT_EQ(ctx.display.zoomIndex, 0);
  EXPECT_DOUBLE_EQ(ctx.display.zoomFactor, 0.25);
  EXPECT_EQ(refreshes, 5);
  EXPECT_THROW(SetZoom(ctx, 6), std::out_of_range);
  EXPECT_THROW(SetDisplayMode(ctx, 8), std::out_of_range);
  SetDisplayMode(ctx, 7);
  EXPECT_EQ(ctx.display.displayMode, 7);
  // While a solve runs, the currents' switch changes without a repaint.
  ctx.state.solveInProgress = true;
  TogglePlotCurrents(ctx);
  EXPECT_FALSE(ctx.display.plotCurrents);
  EXPECT_EQ(refreshes, 6);
}

TEST(FieldDisplay, HeadlessRefreshPaintsNothingButTheHookedOneDoes) {
  SolverFixture f;
  f.DrawTwinlead();
  RefreshDisplay(f.ctx);  // no hook installed: nothing painted, nothing allocated
  EXPECT_TRUE(f.ctx.field.pixels.empty());
  InstallDisplayHooks(f.ctx);
  ResizeDisplay(f.ctx, 620, 474);
  f.ctx.map.mapToFieldX = kFieldCentre - 68;
  f.ctx.map.mapToFieldY = kFieldCentre - 16;
  RefreshDisplay(f.ctx);
  EXPECT_EQ(f.ctx.view.framesShown, 1);
  EXPECT_FALSE(f.ctx.display.copyToScreen);
  // The map's left wire (red) sits 52 pixels left of the centre.
  EXPECT_EQ(BitmapPixel(f.ctx.view, 310 - 52, 228), testing::kRed);
  // The refresh painted the window a 620 x 456 display needs.
  EXPECT_EQ(f.ctx.field.windowLeft, 1285);
  // The prediction's notice shows for two seconds after a failure, then goes.
  f.ctx.state.predictionFailed = true;
  f.ctx.state.predictionFailedAt = 10;
  f.ctx.state.elapsedSeconds = 12;
  RefreshDisplay(f.ctx);
  EXPECT_EQ(f.ctx.view.noticeText, "Prediction failed, will be skipped.");
  EXPECT_EQ(BitmapPixel(f.ctx.view, 310, 228), 0xFFFFFFu);
  f.ctx.state.elapsedSeconds = 13;
  RefreshDisplay(f.ctx);
  EXPECT_EQ(f.ctx.view.noticeText, "");
  EXPECT_FALSE(f.ctx.state.predictionFailed);
}

struct StatusFixture : SolverFixture {
  StatusFixture() {
    DrawTwinlead();
    ctx.map.mapCentreX = 68;
    ctx.map.mapCentreY = 16;
    ctx.map.mapToFieldX = kFieldCentre - 68;
    ctx.map.mapToFieldY = kFieldCentre - 16;
    ctx.map.fieldToMapX = -ctx.map.mapToFieldX;
    ctx.map.fieldToMapY = -ctx.map.mapToFieldY;
    ResizeDisplay(ctx, 620, 474);
  }
};

TEST(StatusLine, CoordinatesWithoutAField) {
  StatusFixture f;
  f.ctx.display.zoomFactor = 1.0;
  RefreshStatusLineAt(f.ctx, 310, 228);
  const DisplayView& v = f.ctx.view;
  EXPECT_EQ(v.labelM1.text, "100 %   Usermap: ");
  EXPECT_EQ(v.labelM2.text, "68,16");
  EXPECT_EQ(v.labelM2.color, 0u);
  EXPECT_EQ(v.labelM3.text, "");
  EXPECT_EQ(v.labelM4.text, "");
  EXPECT_EQ(v.labelM5.text, "");
  // Outside the map the coordinates turn dark red.
  RefreshStatusLineAt(f.ctx, 0, 0);
  EXPECT_EQ(v.labelM2.text, "-242,-212");
  EXPECT_EQ(v.labelM2.color, kOutsideLabelColor);
  // At 400 % a display pixel is a quarter of a map pixel.
  f.ctx.display.zoomFactor = 4.0;
  RefreshStatusLineAt(f.ctx, 310 + 7, 228 - 1);
  EXPECT_EQ(v.labelM1.text, "400 %   Usermap: ");
  EXPECT_EQ(v.labelM2.text, "70,15");  // (317 div 4) + 68 - (310 div 4)
  // At 25 %.
  f.ctx.display.zoomFactor = 0.25;
  RefreshStatusLineAt(f.ctx, 310 + 3, 228);
  EXPECT_EQ(v.labelM1.text, "25 %   Usermap: ");
  EXPECT_EQ(v.labelM2.text, "80,16");
}

TEST(StatusLine, VoltageAndMaterialName) {
  SolverFixture f;
  f.DrawCoax(10, 20, 24, testing::kMagenta);  // 68 x 68, axis at map corner (34, 34)
  f.ctx.map.fieldToMapX = 34 - kFieldCentre;
  f.ctx.map.fieldToMapY = 34 - kFieldCentre;
  ResizeDisplay(f.ctx, 620, 474);
  ASSERT_TRUE(f.Setup());
  SolveCapacitance(CapacitanceJobOf(f.ctx));
  ASSERT_TRUE(f.ctx.display.fieldReady);
  f.ctx.display.zoomFactor = 1.0;
  const DisplayView& v = f.ctx.view;
  // The mouse over map pixel (49, 34), in the polyethylene between the conductors.
  RefreshStatusLineAt(f.ctx, 310 + 15, 228);
  EXPECT_EQ(v.labelM2.text, "49,34");
  EXPECT_EQ(v.labelM3.text, "  (");
  EXPECT_EQ(v.labelM4.text, IntText(49 + f.ctx.grid.UtoCX) + "," + IntText(34 + f.ctx.grid.UtoCY));
  EXPECT_EQ(v.labelM4.color, 0u);
  const double V = f.Node(49 + f.ctx.grid.UtoCX, 34 + f.ctx.grid.UtoCY);
  EXPECT_GT(V, 0.05);
  EXPECT_LT(V, 0.95);
  EXPECT_EQ(v.labelM5.text, ")   Voltage: " + Str(V, 8, 5));
  EXPECT_EQ(v.labelM5.text.size(), std::string(")   Voltage: ").size() + 8);  // " 0.xxxxx"
  EXPECT_EQ(v.label3.text, "polyethylene");
  RefreshStatusLineAt(f.ctx, 310, 228);
  EXPECT_EQ(v.label3.text, "copper");
  // A colour without a table entry is named by its palette index.
  const int vacuum = FindPaletteIndex(f.ctx.materials, testing::kBlack);
  f.ctx.materials.palette.entries[static_cast<std::size_t>(vacuum)].tableIndex = kNoTableEntry;
  RefreshStatusLineAt(f.ctx, 310 - 33, 228 - 33);  // map pixel (1, 1), outside the shield
  EXPECT_EQ(v.label3.text, "unnamed " + IntText(vacuum));
  // Far outside the core: dark red core coordinates, the voltage 0.
  RefreshStatusLineAt(f.ctx, 0, 0);
  EXPECT_EQ(v.labelM4.color, kOutsideLabelColor);
  EXPECT_EQ(v.labelM5.text, ")   Voltage:  0.00000");
}

}  // namespace
}  // namespace zolva
