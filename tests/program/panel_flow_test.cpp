// The control panel driven as a user drives it, through to the rebuilt map.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

int CountColour(const Context& ctx, std::uint32_t colour) {
  return static_cast<int>(std::count(ctx.map.Ucolor.begin(), ctx.map.Ucolor.end(), colour));
}

bool PaletteHas(const Context& ctx, std::uint32_t colour) {
  for (int i = 0; i < ctx.materials.palette.count; ++i) {
    if (ctx.materials.palette.entries[i].color == colour) return true;
  }
  return false;
}

struct Desk {
  HeadlessPlatform p;
  Context ctx{p};
  Desk() {
    p.echoMessages = false;
    p.programFileOverride = std::filesystem::temp_directory_path().string() + "/zolva-flow/x";
    StartMainWindow(ctx);
    CreatePanel(ctx);
    Tick(ctx);  // builds the default round twinlead
  }
  void Type(EditBox box, const char* text) {
    SetField(ctx, box, text);
    LeaveField(ctx, box);
  }
};

TEST(PanelFlow, CoaxTwoWiresPolyethyleneAndNewPixelTotal) {
  Desk d;
  Context& ctx = d.ctx;
  ASSERT_EQ(ctx.state.geometryKind, GeomTwinlead);
  ASSERT_GT(ctx.map.condCount, 0);

  // "New coaxial", then the coax tab's fields, "2 wire" on, "Air dielectric" off.
  ctx.state.geometryKind = GeomCoaxial;
  ctx.state.setupChanged = true;
  ShowPanel(ctx, TabCoaxial);
  EXPECT_EQ(OneWireCaption(ctx.panel), "2 wire");
  d.Type(EditBoxCenterConductorDia, "2mm");
  d.Type(EditBoxShieldInnerDia, "10mm");
  d.Type(EditBoxShieldOuterDia, "11mm");
  // The two centre conductors sit the vertical skew above and below the centre.
  d.Type(EditBoxVerticalSkew, "2.5mm");
  SetCheckBox(ctx, CheckBoxOneWire, true);
  SetCheckBox(ctx, CheckBoxAirDielectric, false);
  SetCheckBox(ctx, CheckBoxRestrict, false);
  d.Type(EditBoxTotalConductorPixels, "1500");
  Tick(ctx);
  ASSERT_FALSE(ctx.state.setupChanged);
  EXPECT_TRUE(d.p.messages.empty());

  // A square map around the shield, two centre conductors (+1 red, -1 blue) of equal size,
  // the shield at 0 volt (green), the rest polyethylene (magenta).
  EXPECT_EQ(ctx.map.Uwid, ctx.map.Uhei);
  const int red = CountColour(ctx, 0x0000FF);
  const int blue = CountColour(ctx, 0xFF0000);
  const int green = CountColour(ctx, 0x00FF00);
  EXPECT_GT(red, 0);
  EXPECT_EQ(red, blue);
  EXPECT_GT(green, red);
  EXPECT_GT(CountColour(ctx, 0xFF00FF), 0);
  EXPECT_EQ(CountColour(ctx, 0x000000) > 0, true);  // outside the shield
  EXPECT_TRUE(PaletteHas(ctx, 0xFF00FF));
  EXPECT_EQ(ctx.map.condCount, red + blue + green);
  EXPECT_NEAR(ctx.map.condCount, 1500, 300);
  EXPECT_EQ(ctx.panel.labels[Label31], std::to_string(ctx.map.condCount));
  // The pixel width of a generated map is shown in inches and is not editable.
  const std::string& pw = ctx.panel.edits[EditBoxPixelWidth].text;
  ASSERT_GE(pw.size(), 3u);
  EXPECT_EQ(pw.substr(pw.size() - 3), " in");
  EXPECT_FALSE(ctx.panel.edits[EditBoxPixelWidth].enabled);
  EXPECT_GT(ctx.state.pixelWidth, 0.0);

  // Doubling the pixel total shrinks the pixels and roughly doubles the conductor count.
  const double oldWidth = ctx.state.pixelWidth;
  const int oldCount = ctx.map.condCount;
  d.Type(EditBoxTotalConductorPixels, "3000");
  Tick(ctx);
  EXPECT_LT(ctx.state.pixelWidth, oldWidth);
  EXPECT_NEAR(ctx.map.condCount, 2 * oldCount, oldCount / 2);
  EXPECT_EQ(ctx.panel.labels[Label31], std::to_string(ctx.map.condCount));
}

TEST(PanelFlow, RefusedMapIsNeverSolved) {
  Desk d;
  Context& ctx = d.ctx;
  const int oldWidth = ctx.map.Uwid;
  // A separation of a kilometre at this wire size cannot be drawn.
  d.Type(EditBoxWireSeparation, "1000m");
  SolveFully(ctx);
  EXPECT_FALSE(ctx.state.solveInProgress);
  EXPECT_FALSE(ctx.state.solveSucceeded);
  EXPECT_EQ(ctx.map.Uwid, oldWidth);
  ASSERT_FALSE(d.p.messages.empty());
  EXPECT_EQ(d.p.messages.back().caption, "zolva");
}

}  // namespace
}  // namespace zolva
