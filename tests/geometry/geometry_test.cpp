#include "geometry/geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <vector>

#include "core/materials.h"
#include "geometry/map_ops.h"
#include "geometry/paint.h"
#include "platform/headless_platform.h"
#include "support/solver_records.h"

namespace zolva {
namespace {

constexpr double kInch = 0.0254;

class GeometryTest : public ::testing::Test {
 protected:
  GeometryTest() : ctx(platform) {
    platform.echoMessages = false;
    ctx.programFolder = "/nonexistent-zolva-folder/";  // no MoreColors.txt
    InitMaterialTables(ctx.materials, ctx.reporter, ctx.programFolder);
    GeometryInputs& p = ctx.inputs;
    p.wireSeparation = 0.2 * kInch;
    p.wireDiameter = 0.05 * kInch;
    p.insulationDiameter = 0.0;
    p.wireWidth = 0.06 * kInch;
    p.wireHeight = 0.02 * kInch;
    p.centerConductorDia = 0.2 * kInch;
    p.shieldInnerDia = 0.4 * kInch;
    p.shieldOuterDia = 0.45 * kInch;
    p.verticalSkew = 0.0;
    p.topDistance = 0.05 * kInch;
    p.bottomDistance = 0.05 * kInch;
    p.sideDistance = 0.2 * kInch;
    p.totalConductorPixels = 1000;
    p.airDielectric = true;
    SetFrequency(1.0);
  }

  void SetFrequency(double mhz) {
    ctx.state.frequencyMHz = mhz;
    ctx.state.omega = mhz * kOmegaPerMHz;
  }

  std::uint32_t At(int x, int y) const {
    return ctx.map.Ucolor.at(static_cast<std::size_t>(x) +
                             static_cast<std::size_t>(y) * ctx.map.Uwid);
  }
  std::int64_t Count(std::uint32_t colour) const {
    return std::count(ctx.map.Ucolor.begin(), ctx.map.Ucolor.end(), colour);
  }
  int RowCount(int y, std::uint32_t colour) const {
    int n = 0;
    for (int x = 0; x < ctx.map.Uwid; ++x) n += At(x, y) == colour;
    return n;
  }
  // Bounding box of a colour: left, top, right, bottom (inclusive); left > right when absent.
  std::array<int, 4> Box(std::uint32_t colour) const {
    std::array<int, 4> b{ctx.map.Uwid, ctx.map.Uhei, -1, -1};
    for (int y = 0; y < ctx.map.Uhei; ++y)
      for (int x = 0; x < ctx.map.Uwid; ++x)
        if (At(x, y) == colour) {
          b[0] = std::min(b[0], x);
          b[1] = std::min(b[1], y);
          b[2] = std::max(b[2], x);
          b[3] = std::max(b[3], y);
        }
    return b;
  }
  // Every colour of the map has a palette entry with a material record, so that a solver finds
  // the permittivity of every insulator and the resistivity of every conductor.
  void ExpectEveryColourHasRecord() const {
    std::map<std::uint32_t, bool> seen;
    for (std::uint32_t c : ctx.map.Ucolor) seen[c] = true;
    const auto& pal = ctx.materials.palette;
    for (const auto& [c, unused] : seen) {
      int index = -1;
      for (int i = 0; i < pal.count; ++i)
        if (pal.entries[i].color == c) index = i;
      ASSERT_GE(index, 0) << "colour " << c << " has no palette entry";
      EXPECT_LT(static_cast<std::size_t>(index), ctx.materials.recs.size()) << "colour " << c;
    }
    EXPECT_TRUE(ctx.materials.paletteReady);
  }

  HeadlessPlatform platform;
  testing::SolverRecords ctx;
};

TEST_F(GeometryTest, ValidateGeometryReportsTheFirstFailingCode) {
  GeometryInputs& p = ctx.inputs;
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  struct Case {
    GeometryKind kind;
    double GeometryInputs::*field;
    double value;
    int code;
  };
  const Case cases[] = {
      {GeomTwinlead, &GeometryInputs::wireDiameter, 0, 1},
      {GeomTwinlead, &GeometryInputs::wireDiameter, nan, 1},
      {GeomTwinlead, &GeometryInputs::insulationDiameter, -1e-3, 1},
      {GeomTwinlead, &GeometryInputs::verticalSkew, inf, 1},
      {GeomTwinlead, &GeometryInputs::wireSeparation, -0.1, 0},
      {GeomTwinlead, &GeometryInputs::bottomDistance, -1e-3, 0},
      {GeomSquareTwinlead, &GeometryInputs::wireHeight, 0, 1},
      {GeomSquareTwinlead, &GeometryInputs::wireWidth, -kInch, 1},
      {GeomSquareTwinlead, &GeometryInputs::bottomDistance, -1e-3, 1},
      {GeomCoaxial, &GeometryInputs::centerConductorDia, 0.4 * kInch, 1},  // the shield's inner
      {GeomCoaxial, &GeometryInputs::centerConductorDia, 0, 1},
      {GeomUsermap, &GeometryInputs::wireDiameter, -1, 0},
  };
  for (const Case& c : cases) {
    ctx.state.geometryKind = c.kind;
    const double old = p.*c.field;
    p.*c.field = c.value;
    EXPECT_EQ(ValidateGeometry(GeometryJobOf(ctx)), c.code) << c.kind << " value " << c.value;
    p.*c.field = old;
  }
  // Geometry first, then the pixel total, then the frequency; a user-drawn map skips the first.
  for (GeometryKind kind : {GeomTwinlead, GeomUsermap}) {
    ctx.state.geometryKind = kind;
    p.wireDiameter = -1;
    p.totalConductorPixels = 1;
    SetFrequency(1e-21);
    if (kind == GeomTwinlead) {
      EXPECT_EQ(ValidateGeometry(GeometryJobOf(ctx)), 1);
    }
    p.wireDiameter = 0.05 * kInch;
    EXPECT_EQ(ValidateGeometry(GeometryJobOf(ctx)), 3);
    p.totalConductorPixels = 2;
    EXPECT_EQ(ValidateGeometry(GeometryJobOf(ctx)), 2);
    SetFrequency(nan);
    EXPECT_EQ(ValidateGeometry(GeometryJobOf(ctx)), 2);
    SetFrequency(1e-20);
    EXPECT_EQ(ValidateGeometry(GeometryJobOf(ctx)), 0);
  }
}

TEST_F(GeometryTest, RoundTwinleadDefaultsWithoutRestriction) {
  // e = round(sqrt(1000 / 2 pi)) = 13 pixels for a radius of 0.025 in; the separation is then
  // round(0.2 / (0.025 / 13)) = 104 pixels; the map is 2 (52 + 13 + 3) + 1 wide and 2 (13 + 3) + 1
  // high with the centre line on row 16.
  ASSERT_TRUE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  EXPECT_NEAR(ctx.state.pixelWidth, 0.025 * kInch / 13, 1e-18);
  EXPECT_FALSE(ctx.reporter.pixelWidthEditable);
  EXPECT_EQ(ctx.map.Uwid, 137);
  EXPECT_EQ(ctx.map.Uhei, 33);

  // xl = round((137 - 104) / 2) = 16 (16.5 goes to the even neighbour); discs 26 pixels wide on
  // the two middle rows, each centred on a pixel corner.
  EXPECT_EQ((Box(kRed)), (std::array<int, 4>{3, 3, 28, 28}));
  EXPECT_EQ((Box(kBlue)), (std::array<int, 4>{107, 3, 132, 28}));
  EXPECT_EQ(RowCount(16, kRed), 26);

  // The blue wire is the red one moved by the separation; only the two wires and vacuum occur.
  for (int y = 0; y < ctx.map.Uhei; ++y)
    for (int x = 0; x + 104 < ctx.map.Uwid; ++x)
      ASSERT_EQ(At(x, y) == kRed, At(x + 104, y) == kBlue) << x << "," << y;
  const std::int64_t red = Count(kRed), blue = Count(kBlue);
  EXPECT_EQ(red + blue + Count(kBlack), ctx.map.Uwid * ctx.map.Uhei);
  EXPECT_EQ(ctx.map.condCount, red + blue);
  EXPECT_NEAR(ctx.map.condCount, 1000, 100);
  EXPECT_EQ(ctx.map.analysedPixels, ctx.map.Ucolor);
  ExpectEveryColourHasRecord();
}

TEST_F(GeometryTest, RoundTwinleadRestrictedToSkinDepth) {
  ctx.inputs.restrict = true;
  // At 1 MHz copper's skin depth is 66.1 um, so the layer is 3 skin depths = 198 um of the
  // 635 um radius: the two rings of that thickness hold 1000 pixels for e = 17 and an inner
  // no-current radius f = 17 - 17 * 198 / 635 = 11.7.
  ASSERT_TRUE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  const int yc = ctx.map.Uhei / 2;
  EXPECT_EQ(RowCount(yc, kRed), 34 - 24);
  EXPECT_EQ(RowCount(yc, kBlue), 34 - 24);
  EXPECT_EQ(RowCount(yc, NoCurrentMetalColor), 2 * 24);
  EXPECT_NEAR(ctx.state.pixelWidth, 0.025 * kInch / 17, 1e-18);
  EXPECT_EQ(ctx.map.condCount, Count(kRed) + Count(kBlue));
  EXPECT_NEAR(ctx.map.condCount, 1000, 100);
  ExpectEveryColourHasRecord();

  // At 1 GHz the layer would be under 3 pixels thick at this pixel budget; the ring is then
  // exactly ring pixels thick: 3, or 5 with switch 33 (which also makes the layer 5 skin depths).
  for (bool wide : {false, true}) {
    ctx.state.switches[Switch::FivePixelRing] = wide;
    SetFrequency(1000);
    ASSERT_TRUE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
    const int ring = wide ? 5 : 3;
    const auto box = Box(kRed);
    const int y = (box[1] + box[3]) / 2;
    int x = box[0];
    int thickness = 0;
    while (At(x, y) == kRed) ++x, ++thickness;
    EXPECT_EQ(thickness, ring) << "switch 33 " << wide;
    EXPECT_EQ(At(x, y), NoCurrentMetalColor);
    EXPECT_NEAR(ctx.map.condCount, 1000, 150) << "switch 33 " << wide;
  }
}

TEST_F(GeometryTest, OneWireIgnoresSeparationAndSkew) {
  ctx.inputs.oneWire = true;
  ctx.inputs.verticalSkew = 0.01 * kInch;
  ctx.inputs.insulationDiameter = 0.08 * kInch;
  ASSERT_TRUE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  EXPECT_EQ(Count(kBlue), 0);
  // Insulation radius 0.04 in = 20.8 pixels: e = 21 and the map is 2 (21 + 3) + 1 square.
  EXPECT_EQ(ctx.map.Uwid, 49);
  EXPECT_EQ(ctx.map.Uhei, 49);
  // The wire is centred on the corner point (24, 24): rows and columns 11..36.
  EXPECT_EQ((Box(kRed)), (std::array<int, 4>{11, 11, 36, 36}));
  // The insulation forms one disc around the wire, not a second one displaced by the skew.
  EXPECT_EQ((Box(kMagenta)), (std::array<int, 4>{3, 3, 44, 44}));
  EXPECT_EQ(ctx.map.condCount, Count(kRed));
  ExpectEveryColourHasRecord();
  const int magenta = FindPaletteIndex(ctx.materials, kMagenta);
  EXPECT_FLOAT_EQ(static_cast<float>(ctx.materials.recs.at(magenta).Permittivity), 2.26f);
}

TEST_F(GeometryTest, ExtraWiresCoilAndSlabsGetPaletteRecords) {
  GeometryInputs& p = ctx.inputs;
  p.addGroundedWire = true;
  p.addFloatingWire = true;
  p.insulationVertical = true;
  p.insulationDiameter = 0.08 * kInch;
  ASSERT_TRUE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  for (std::uint32_t c : {kGreen, kCyan, kMagenta, kPcbColor}) EXPECT_GT(Count(c), 0) << c;
  ExpectEveryColourHasRecord();
  const int pcb = FindPaletteIndex(ctx.materials, kPcbColor);
  EXPECT_FLOAT_EQ(static_cast<float>(ctx.materials.recs.at(pcb).Permittivity), 4.8f);

  ctx.state.switches[Switch::FloatingCoilWires] = true;
  ASSERT_TRUE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  // Sixteen coil wires, each in a floating copper colour of its own, counting down from cyan.
  for (int c = 255; c >= 240; --c) {
    const std::uint32_t colour = PackColor(0, c, c);
    EXPECT_GT(Count(colour), 0) << c;
    const int t = FindTableIndex(ctx.materials.table, colour);
    ASSERT_GE(t, 0);
    EXPECT_EQ(ctx.materials.table.entries[t].kind, KindFloat);
    EXPECT_EQ(ctx.materials.table.entries[t].name, "copper");
  }
  EXPECT_EQ(Count(PackColor(0, 239, 239)), 0);
  ExpectEveryColourHasRecord();
}

TEST_F(GeometryTest, CoaxWithAndWithoutAirDielectric) {
  ctx.state.geometryKind = GeomCoaxial;
  // g = round(0.1 / sqrt((0.225^2 - 0.2^2 + 0.1^2) pi / 1000)) = 12; shield radii 24 and 27;
  // the map is 2 * 27 + 20 = 74 square.
  ASSERT_TRUE(GenerateCoax(GeometryJobOf(ctx)));
  EXPECT_EQ(ctx.map.Uwid, 74);
  EXPECT_EQ(ctx.map.Uhei, 74);
  EXPECT_NEAR(ctx.state.pixelWidth, 0.1 * kInch / 12, 1e-18);
  EXPECT_EQ(Count(kMagenta), 0);
  EXPECT_EQ(RowCount(37, kRed), 24);
  EXPECT_EQ(RowCount(37, kGreen), 6);
  EXPECT_EQ(At(37 - 18, 37), kBlack);
  EXPECT_EQ(ctx.map.condCount, Count(kRed) + Count(kGreen));
  const std::int64_t airBlack = Count(kBlack);

  ctx.inputs.airDielectric = false;
  ASSERT_TRUE(GenerateCoax(GeometryJobOf(ctx)));
  EXPECT_EQ(At(37 - 18, 37), kMagenta);
  // The dielectric fills the gap exactly: the vacuum left is only outside the shield.
  EXPECT_EQ(Count(kBlack) + Count(kMagenta), airBlack);
  EXPECT_EQ(RowCount(37, kMagenta), 2 * 12);
  ExpectEveryColourHasRecord();

  // "2 wire" with a skew: the blue centre conductor mirrors the red one about the centre.
  ctx.inputs.oneWire = true;
  ctx.inputs.verticalSkew = 0.12 * kInch;
  ASSERT_TRUE(GenerateCoax(GeometryJobOf(ctx)));
  const int H = ctx.map.Uhei, cy = H / 2;
  ASSERT_GT(Count(kBlue), 0);
  EXPECT_EQ(Count(kBlue), Count(kRed));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < ctx.map.Uwid; ++x)
      ASSERT_EQ(At(x, y) == kRed, At(x, 2 * cy - 1 - y) == kBlue) << x << "," << y;
}

TEST_F(GeometryTest, SquareTwinleadTakesThePixelFromTheSmallerSide) {
  ctx.state.geometryKind = GeomSquareTwinlead;
  // p = sqrt(0.06 * 0.02 * 2 / 1000) in: the height is round(0.02 / p) = 13 whole pixels and the
  // width round(13 * 3) = 39.
  ASSERT_TRUE(GenerateSquareTwinlead(GeometryJobOf(ctx)));
  EXPECT_DOUBLE_EQ(ctx.state.pixelWidth, 0.02 * kInch / 13);
  auto red = Box(kRed), blue = Box(kBlue);
  EXPECT_EQ(red[2] - red[0] + 1, 39);
  EXPECT_EQ(red[3] - red[1] + 1, 13);
  EXPECT_EQ(Count(kRed), 39 * 13);
  EXPECT_EQ(Count(kBlue), 39 * 13);
  EXPECT_EQ(ctx.map.condCount, 2 * 39 * 13);
  EXPECT_EQ(blue[0] - red[0], 130);  // round(0.2 / (0.02 / 13))
  EXPECT_EQ(blue[1], red[1]);
  // Centred left to right within a 3-pixel margin.
  EXPECT_EQ(red[0], ctx.map.Uwid - 1 - blue[2]);
  EXPECT_GE(red[0], 3);

  // Taller than wide: the width sets the pixel.
  std::swap(ctx.inputs.wireWidth, ctx.inputs.wireHeight);
  ASSERT_TRUE(GenerateSquareTwinlead(GeometryJobOf(ctx)));
  EXPECT_DOUBLE_EQ(ctx.state.pixelWidth, 0.02 * kInch / 13);
  EXPECT_EQ(Box(kRed)[3] - Box(kRed)[1] + 1, 39);

  // Restricted: a band of equal thickness on all four sides around no-current metal.
  std::swap(ctx.inputs.wireWidth, ctx.inputs.wireHeight);
  ctx.inputs.restrict = true;
  ASSERT_TRUE(GenerateSquareTwinlead(GeometryJobOf(ctx)));
  red = Box(kRed);
  ASSERT_GT(Count(NoCurrentMetalColor), 0);
  const int midY = (red[1] + red[3]) / 2, midX = (red[0] + red[2]) / 2;
  auto run = [&](int x, int y, int dx, int dy) {
    int n = 0;
    while (At(x, y) == kRed) x += dx, y += dy, ++n;
    return n;
  };
  const int d = run(red[0], midY, 1, 0);
  EXPECT_GE(d, 3);
  EXPECT_EQ(run(red[2], midY, -1, 0), d);
  EXPECT_EQ(run(midX, red[1], 0, 1), d);
  EXPECT_EQ(run(midX, red[3], 0, -1), d);
  EXPECT_EQ(ctx.map.condCount, Count(kRed) + Count(kBlue));
  ExpectEveryColourHasRecord();
}

TEST_F(GeometryTest, SlabsAndPlanes) {
  GeometryInputs& p = ctx.inputs;
  // Ordinary planes 26 pixels above and below the centre line, side planes 104 pixels out.
  p.insulationHorizontal = true;
  p.addTopPlane = true;
  p.addBottomPlane = true;
  p.addSidePlanes = true;
  ASSERT_TRUE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  EXPECT_EQ(ctx.map.Uhei, 53);   // 26 + 26 + 1
  EXPECT_EQ(ctx.map.Uwid, 209);  // 2 * 104 + 1
  // A closed box of one-pixel planes on the map's border, the slab between top and bottom.
  EXPECT_EQ(RowCount(0, kGreen), 209);
  EXPECT_EQ(RowCount(52, kGreen), 209);
  EXPECT_EQ(At(0, 26), kGreen);
  EXPECT_EQ(At(208, 26), kGreen);
  EXPECT_EQ(At(1, 1), kPcbColor);
  EXPECT_EQ(At(1, 51), kPcbColor);
  EXPECT_EQ(Count(kBlack), 0);

  // Crossed planes: the top plane 52 pixels below the centre line, the bottom one 26 below.
  // "Insulation horizontal" then fills the two outer parts and leaves the gap between them.
  p.addSidePlanes = false;
  p.topDistance = -0.1 * kInch;
  ASSERT_TRUE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  const int yc = 16;  // above = h = 13 + 3
  ASSERT_EQ(ctx.map.Uhei, yc + 52 + 1);
  const int y1 = yc + 52, y2 = yc + 26;
  EXPECT_EQ(RowCount(y1, kGreen), ctx.map.Uwid);
  EXPECT_EQ(RowCount(y2, kGreen), ctx.map.Uwid);
  for (int y = 0; y < ctx.map.Uhei; ++y) {
    const std::uint32_t expected = (y == y1 || y == y2) ? kGreen : (y < y2 ? kPcbColor : kBlack);
    EXPECT_EQ(At(0, y), expected) << "row " << y;
  }
}

TEST_F(GeometryTest, ExtremeValuesClipWithoutCrashing) {
  // Primitives far outside, across the edge, and with absurd radii.
  SetMapSize(GeometryJobOf(ctx), 30, 30);
  FillDisc(ctx.map, -1'000'000'000'000, 5, 10, kRed);
  EXPECT_EQ(Count(kRed), 0);
  FillBox(ctx.map, -5, -5, 1'000'000'000'000'000, 2, kBlue);
  EXPECT_EQ(Count(kBlue), 30 * 2);
  FillDisc(ctx.map, 15, 15, std::nan(""), kGreen);
  EXPECT_EQ(Count(kGreen), 0);
  FillDisc(ctx.map, 0, 0, 1e300, kGreen);
  EXPECT_EQ(Count(kGreen), 30 * 30);

  // A disc cut by the edge is exactly the in-map part of the whole disc drawn on a larger map.
  SetMapSize(GeometryJobOf(ctx), 130, 130);
  FillDisc(ctx.map, 52, 53, 10.4, kRed);
  std::vector<std::uint32_t> whole = ctx.map.Ucolor;
  SetMapSize(GeometryJobOf(ctx), 30, 30);
  FillDisc(ctx.map, 2, 3, 10.4, kRed);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x)
      ASSERT_EQ(At(x, y), whole[(x + 50) + (y + 50) * 130]) << x << "," << y;

  // A coax skew far beyond the shield puts the centre conductor off the map; a smaller one cuts
  // it at the edge.
  ctx.state.geometryKind = GeomCoaxial;
  ctx.inputs.verticalSkew = 1e6;
  ASSERT_TRUE(GenerateCoax(GeometryJobOf(ctx)));
  EXPECT_EQ(Count(kRed), 0);
  ctx.inputs.verticalSkew = -0.35 * kInch;
  ASSERT_TRUE(GenerateCoax(GeometryJobOf(ctx)));
  EXPECT_GT(Count(kRed), 0);
  EXPECT_EQ(Box(kRed)[1], 0);

  // A top plane far below the map (a huge negative distance that no sizing rule takes in) is
  // clamped onto its last row; a negative side distance leaves the vertical slab empty.
  ctx.state.geometryKind = GeomTwinlead;
  ctx.inputs.verticalSkew = 0;
  ctx.inputs.insulationVertical = true;
  ctx.inputs.sideDistance = -0.01 * kInch;
  ctx.inputs.topDistance = -1e5;
  ctx.inputs.addTopPlane = true;
  ASSERT_TRUE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  EXPECT_EQ(ctx.map.Uhei, 33);
  EXPECT_EQ(RowCount(32, kGreen), ctx.map.Uwid);
  EXPECT_EQ(Count(kGreen), ctx.map.Uwid);
  EXPECT_EQ(Count(kPcbColor), 0);
}

TEST_F(GeometryTest, OversizedMapIsRefusedAndThePreviousMapStays) {
  ASSERT_TRUE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  const PixelMap before = ctx.map;
  const int paletteCount = ctx.materials.palette.count;
  const double pixelWidth = ctx.state.pixelWidth;

  // Two billion pixels: discs of radius 17841 and a map of 178417 x 35689 pixels.
  ctx.inputs.totalConductorPixels = 2'000'000'000;
  EXPECT_FALSE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  ASSERT_TRUE(ctx.failure.has_value());
  EXPECT_EQ(ctx.failure->kind, FailureKind::TooLarge);
  EXPECT_EQ(ctx.failure->caption, "zolva");
  EXPECT_NE(ctx.failure->message.find("178417 x 35689"), std::string::npos) << ctx.failure->message;
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_TRUE(ctx.state.operationFailed);
  EXPECT_EQ(ctx.map.Ucolor, before.Ucolor);
  EXPECT_EQ(ctx.map.condCount, before.condCount);
  EXPECT_EQ(ctx.materials.palette.count, paletteCount);
  EXPECT_TRUE(ctx.materials.paletteReady);
  EXPECT_EQ(ctx.state.pixelWidth, pixelWidth);

  // A separation of a kilometre gives a map too wide; a negative pixel total no pixel width.
  // Each refusal comes back with its failure.
  const auto refused = [this](bool drawn) {
    const bool failed = !drawn && ctx.failure.has_value();
    ctx.failure.reset();
    return failed;
  };
  ctx.failure.reset();
  ctx.state.operationFailed = false;
  ctx.inputs.totalConductorPixels = 1000;
  ctx.inputs.wireSeparation = 1000;
  EXPECT_TRUE(refused(GenerateRoundTwinlead(GeometryJobOf(ctx))));
  ctx.inputs.wireSeparation = 0.2 * kInch;
  ctx.state.geometryKind = GeomSquareTwinlead;
  ctx.inputs.totalConductorPixels = -5;
  EXPECT_TRUE(refused(GenerateSquareTwinlead(GeometryJobOf(ctx))));
  ctx.state.geometryKind = GeomCoaxial;
  EXPECT_TRUE(refused(GenerateCoax(GeometryJobOf(ctx))));
  EXPECT_TRUE(ctx.state.operationFailed);
  EXPECT_EQ(ctx.map.Ucolor, before.Ucolor);
}

TEST_F(GeometryTest, UnusableDimensionsNameTheFieldThatCausesThem) {
  // The text of the failure the last generator left (the generators show no message).
  const auto lastMessage = [this] { return ctx.failure ? ctx.failure->message : std::string(); };
  const std::string lead = "These dimensions give no usable pixel width. ";

  // A shield whose outer diameter is below its inner one.
  ctx.state.geometryKind = GeomCoaxial;
  ctx.inputs.shieldOuterDia = 0.3 * kInch;
  ctx.failure.reset();
  EXPECT_FALSE(GenerateCoax(GeometryJobOf(ctx)));
  EXPECT_EQ(lastMessage(), lead + "\"Shield outer dia :\" is smaller than \"Shield inner dia :\".");
  EXPECT_TRUE(ctx.state.operationFailed);
  ctx.inputs.shieldOuterDia = 0.45 * kInch;

  // A frequency whose skin depth no pixel width resolves, in each generator that restricts.
  ctx.inputs.restrict = true;
  SetFrequency(1e300);
  const std::string frequency = lead + "\"- Frequency in MHz\": at 1e300 MHz the skin depth (";
  ctx.failure.reset();
  EXPECT_FALSE(GenerateCoax(GeometryJobOf(ctx)));
  EXPECT_EQ(lastMessage().rfind(frequency, 0), 0u) << lastMessage();
  ctx.state.geometryKind = GeomTwinlead;
  ctx.failure.reset();
  EXPECT_FALSE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  EXPECT_EQ(lastMessage().rfind(frequency, 0), 0u) << lastMessage();
  EXPECT_NE(lastMessage().find("too thin for \"Restrict to skin depth\"."), std::string::npos);

  // A conductor without resistivity has no skin depth at any frequency: the frequency is not
  // the field to change.
  SetFrequency(1.0);
  const int red = FindTableIndex(ctx.materials.table, kRed);
  ASSERT_GE(red, 0);
  ctx.materials.table.entries[static_cast<std::size_t>(red)].Resistivity = 0;
  ctx.failure.reset();
  EXPECT_FALSE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  EXPECT_NE(lastMessage().find("has no resistivity"), std::string::npos) << lastMessage();
  ctx.inputs.restrict = false;

  // Too few pixels, an insulation out of all proportion, a distance beyond every pixel count.
  ctx.inputs.totalConductorPixels = -5;
  ctx.failure.reset();
  EXPECT_FALSE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  EXPECT_EQ(lastMessage(),
            lead + "\"- Total conductor pixels\" is too small to draw the conductors.");
  ctx.inputs.totalConductorPixels = 1000;
  ctx.inputs.insulationDiameter = 1e308;
  ctx.failure.reset();
  EXPECT_FALSE(GenerateRoundTwinlead(GeometryJobOf(ctx)));
  EXPECT_EQ(lastMessage(),
            lead + "\"Insulation diameter :\" is too large against \"Wire diameter :\".");
  ctx.inputs.insulationDiameter = 0;
  ctx.state.geometryKind = GeomSquareTwinlead;
  ctx.inputs.bottomDistance = 1e307;
  ctx.failure.reset();
  EXPECT_FALSE(GenerateSquareTwinlead(GeometryJobOf(ctx)));
  EXPECT_EQ(lastMessage(), lead + "\"Bottom distance :\" is too large against the pixel width.");
}

}  // namespace
}  // namespace zolva
