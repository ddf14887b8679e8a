#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/materials.h"
#include "core/pixel_map.h"
#include "geometry/map_ops.h"
#include "platform/headless_platform.h"
#include "platform/image_codec.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/map_commands.h"
#include "program/solve_control.h"

namespace zolva {
namespace {

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

namespace fs = std::filesystem;

constexpr std::uint32_t kWhite = PackColor(255, 255, 255);  // vacuum
constexpr std::uint32_t kRed = PackColor(255, 0, 0);        // copper, +1 volt
constexpr std::uint32_t kGreen = PackColor(0, 255, 0);      // copper, ground
constexpr std::uint32_t kAir = PackColor(255, 202, 202);    // air
constexpr std::uint32_t kUnknown = 0x123456;                // no definition: vacuum insulator

class UsermapLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.echoMessages = false;
    InitMaterialTables(ctx.materials, ctx.reporter, ctx.state.programFolder);
    SetMapSize(GeometryJobOf(ctx), 600, 400);
    dir = fs::temp_directory_path() /
          ("zolva-umap-" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string WritePng(const std::string& name, int w, int h, std::vector<std::uint32_t> pixels) {
    std::string path = (dir / name).string();
    EncodePngFile(path, RgbImage{w, h, std::move(pixels)});
    return path;
  }

  HeadlessPlatform platform;
  Context ctx{platform};
  fs::path dir;
};

TEST_F(UsermapLoaderTest, LoadAnalysesNamePaletteAndBackground) {
  ctx.results.C = 1e-10;
  ctx.results.L = 1e-7;
  // Palette in order of first sight: white 0, red 1, air 2, green 3, unknown 4. White and air
  // both cover four pixels; the higher index, air, becomes the background.
  const std::string path = WritePng("Usermap Test line (0.5mm).png", 4, 3,
                                    {kWhite, kWhite, kRed, kAir,  //
                                     kAir, kGreen, kWhite, kAir,  //
                                     kUnknown, kAir, kWhite, kGreen});
  ASSERT_TRUE(LoadUsermap(ctx, path));
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_FALSE(ctx.state.operationFailed);

  EXPECT_EQ(ctx.state.geometryKind, GeomUsermap);
  EXPECT_EQ(ctx.state.mainCaption, "zolva  -  Usermap Test line (0.5mm).png");
  EXPECT_TRUE(ctx.state.rescaleMenuEnabled);
  EXPECT_EQ(ctx.state.mapName, "Test line");
  EXPECT_EQ(ctx.state.mapExtension, "png");
  EXPECT_EQ(ctx.map.mapExtensionUpper, "PNG");
  EXPECT_EQ(ctx.map.pixelWidthText, "0.5mm");
  EXPECT_DOUBLE_EQ(ctx.state.pixelWidth, 0.0005);
  EXPECT_EQ(ctx.panel.edits[EditBoxPixelWidth].text, "0.5mm");
  EXPECT_EQ(ctx.results.C, 0.0);
  EXPECT_EQ(ctx.results.L, 0.0);
  // One pixel of the picture is in a colour no material has: it is named, with the cure.
  EXPECT_EQ(ctx.state.statusText,
            "5 colors found; 1 pixel of 1 color are no material and will be vacuum; snap them with "
            "--snap or \"Snap colours\"");
  EXPECT_EQ(ctx.map.unknownColours, 1);

  const PixelMap& m = ctx.map;
  EXPECT_EQ(m.Uwid, 4);
  EXPECT_EQ(m.Uhei, 3);
  EXPECT_EQ(m.rescaleIndex, 1);
  EXPECT_EQ(m.analysedPixels, m.Ucolor);
  EXPECT_EQ(m.Uindex, (std::vector<std::uint8_t>{0, 0, 1, 2, 2, 3, 0, 2, 4, 2, 0, 3}));
  ASSERT_EQ(ctx.materials.palette.count, 5);
  EXPECT_EQ(m.pixelCounts.at(0), 4);
  EXPECT_EQ(m.pixelCounts.at(1), 1);
  EXPECT_EQ(m.pixelCounts.at(2), 4);
  EXPECT_EQ(m.pixelCounts.at(3), 2);
  EXPECT_EQ(m.pixelCounts.at(4), 1);
  EXPECT_EQ(m.condCount, 3);
  EXPECT_EQ(m.backgroundColor, kAir);

  // One material record per palette colour: copper's values, and vacuum for the unknown one.
  ASSERT_TRUE(ctx.materials.paletteReady);
  ASSERT_EQ(ctx.materials.recs.size(), 5u);
  EXPECT_NEAR(ctx.materials.recs[1].Resistivity, 1.7241379, 1e-6);
  EXPECT_EQ(ctx.materials.recs[4].Resistivity, 0.0);
  EXPECT_EQ(ctx.materials.recs[4].Permittivity, 1.0);
}

TEST_F(UsermapLoaderTest, UnreadableFileKeepsThePreviousMap) {
  ctx.state.geometryKind = GeomCoaxial;
  ctx.state.mainCaption = "zolva  -  Coaxial";
  ctx.state.pixelWidth = 0.001;
  ctx.map.Ucolor[5] = kRed;
  const std::vector<std::uint32_t> before = ctx.map.Ucolor;

  const std::string bad = (dir / "Usermap bad (1mm).png").string();
  std::ofstream(bad) << "not an image at all";
  const std::string missing = (dir / "Usermap none.bmp").string();
  for (const std::string& path : {bad, missing}) {
    SCOPED_TRACE(path);
    platform.messages.clear();
    EXPECT_FALSE(LoadUsermap(ctx, path));
    ASSERT_EQ(platform.messages.size(), 1u);
    // The message as it always read, then the decoder's reason.
    const std::string& text = platform.messages[0].text;
    EXPECT_EQ(text.rfind("Exception Raised on file " + path + "\n(", 0), 0u) << text;
    EXPECT_NE(text.find(path == missing ? "cannot open" : "unrecognised image format"),
              std::string::npos)
        << text;
    EXPECT_EQ(platform.messages[0].caption, "zolva");
    EXPECT_TRUE(ctx.state.operationFailed);
    EXPECT_EQ(ctx.state.geometryKind, GeomCoaxial);
    EXPECT_EQ(ctx.state.mainCaption, "zolva  -  Coaxial");
    EXPECT_EQ(ctx.state.mapName, "Default");
    EXPECT_EQ(ctx.state.pixelWidth, 0.001);
    EXPECT_EQ(ctx.map.Uwid, 600);
    EXPECT_EQ(ctx.map.Ucolor, before);
  }

  // The next good load clears the failure.
  ASSERT_TRUE(LoadUsermap(ctx, WritePng("strip.png", 2, 1, {kRed, kWhite})));
  EXPECT_FALSE(ctx.state.operationFailed);
  EXPECT_EQ(ctx.state.pixelWidth, 0.0);
  EXPECT_EQ(ctx.panel.edits[EditBoxPixelWidth].text, "");
}

TEST_F(UsermapLoaderTest, PaletteHoldsAtMost256Colours) {
  // 256 distinct colours fill the palette exactly.
  std::vector<std::uint32_t> colours;
  for (std::uint32_t i = 0; i < 256; ++i) colours.push_back(0x010000u + i * 7);
  ASSERT_TRUE(LoadUsermap(ctx, WritePng("full.png", 16, 16, colours)));
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(ctx.materials.palette.count, 256);
  EXPECT_FALSE(ctx.state.mapUnusable);

  // One more: the message, and a map that is consistent but marked unusable.
  colours.push_back(0x020000u);
  while (colours.size() < 17 * 16) colours.push_back(colours[3]);
  EXPECT_FALSE(LoadUsermap(ctx, WritePng("over.png", 17, 16, colours)));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(FirstLine(platform.messages[0].text), "More than 255 colors found");
  EXPECT_EQ(platform.messages[0].caption, "zolva");
  EXPECT_TRUE(ctx.state.mapUnusable);
  EXPECT_EQ(ctx.materials.palette.count, 256);
  ASSERT_EQ(ctx.map.Uindex.size(), 17u * 16u);
  EXPECT_EQ(ctx.map.Uindex[255], 255);
  EXPECT_EQ(ctx.map.Uindex[256], 0);  // not analysed
  EXPECT_EQ(ctx.map.Uindex[300], 0);
  EXPECT_EQ(ctx.materials.recs.size(), 256u);
  EXPECT_EQ(ctx.map.pixelCounts.at(3), 1 + 17 * 16 - 257);

  // A usable map lifts the mark, and so does a generated map.
  platform.messages.clear();
  ASSERT_TRUE(LoadUsermap(ctx, WritePng("small.png", 2, 2, {kRed, kWhite, kWhite, kRed})));
  EXPECT_FALSE(ctx.state.mapUnusable);
  EXPECT_TRUE(platform.messages.empty());
  ctx.state.mapUnusable = true;
  SetMapSize(GeometryJobOf(ctx), 20, 10);
  EXPECT_FALSE(ctx.state.mapUnusable);
}

// "Snap colours": a drawing of red and white whose edge holds 300 blended colours is refused
// without snapping and loads with it, with only its two materials in the palette and the status
// line telling what was snapped. Off, the same drawing is refused as before; a drawing of no
// defined colour is refused with snapping too, and leaves the map as it was.
TEST_F(UsermapLoaderTest, SnappingTurnsBlendsIntoTheMaterialsShown) {
  std::vector<std::uint32_t> pixels;
  for (int i = 0; i < 300; ++i) {
    pixels.push_back(kRed);
    // 300 distinct pinks: the first 150 nearer red, the others nearer white.
    const int j = i % 150;
    pixels.push_back(i < 150 ? PackColor(255, 10 + j % 50, 10 + j / 50)
                             : PackColor(255, 200 + j % 50, 240 + j / 50));
    pixels.push_back(kWhite);
  }
  const std::string path = WritePng("Usermap blended (1mm).png", 30, 30, pixels);
  EXPECT_FALSE(LoadUsermap(ctx, path));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(FirstLine(platform.messages[0].text), "More than 255 colors found");

  platform.messages.clear();
  ctx.panel.checks[CheckBoxSnapColours] = true;
  ASSERT_TRUE(LoadUsermap(ctx, path));
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_FALSE(ctx.state.mapUnusable);
  EXPECT_EQ(ctx.materials.palette.count, 2);
  EXPECT_TRUE(ctx.map.snapped);
  EXPECT_EQ(ctx.map.snappedPixels, 300);
  EXPECT_EQ(ctx.map.snappedColours, 300);
  EXPECT_EQ(ctx.state.statusText, "2 colors found, 300 pixels of 300 colors snapped");
  EXPECT_EQ(ctx.map.Ucolor[1], kRed);
  EXPECT_EQ(ctx.map.Ucolor[3 * 149 + 1], kRed);
  EXPECT_EQ(ctx.map.Ucolor[3 * 150 + 1], kWhite);

  // A picture already made of materials loads unchanged.
  ASSERT_TRUE(LoadUsermap(ctx, WritePng("plain.png", 2, 1, {kRed, kWhite})));
  EXPECT_EQ(ctx.state.statusText, "2 colors found, no color snapped");

  const std::vector<std::uint32_t> before = ctx.map.Ucolor;
  const std::string none = WritePng("none.png", 2, 1, {kUnknown, 0x654321});
  EXPECT_FALSE(LoadUsermap(ctx, none));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_NE(platform.messages[0].text.find("needs a material's colour"), std::string::npos)
      << platform.messages[0].text;
  EXPECT_TRUE(ctx.state.operationFailed);
  EXPECT_EQ(ctx.map.Ucolor, before);

  // Off again: the blended drawing is refused as before.
  platform.messages.clear();
  ctx.panel.checks[CheckBoxSnapColours] = false;
  EXPECT_FALSE(LoadUsermap(ctx, path));
  EXPECT_FALSE(ctx.map.snapped);
}

// A JPEG always snaps: the drawing's three materials come back exactly, whatever the compression
// did to their colours; pictures saved from it are PNG files. A JPEG in which no material shows
// as an area (single pixels of eight colours) is refused.
TEST_F(UsermapLoaderTest, JpegFilesAlwaysSnap) {
  const std::string path = (dir / "Usermap drawing (1mm).jpg").string();
  fs::copy_file(fs::path(ZOLVA_FIXTURES) / "drawing.jpg", path);
  ASSERT_TRUE(LoadUsermap(ctx, path));
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_TRUE(ctx.map.snapped);
  EXPECT_GT(ctx.map.snappedPixels, 0);
  EXPECT_EQ(ctx.materials.palette.count, 3);
  EXPECT_EQ(ctx.map.mapExtensionUpper, "JPG");
  const PixelMap& m = ctx.map;
  ASSERT_EQ(m.Uwid, 16);
  for (int y = 0; y < m.Uhei; ++y) {
    for (int x = 0; x < m.Uwid; ++x) {
      const bool frame = x < 2 || y < 2 || x > 13 || y > 9;
      const bool strip = x >= 6 && x <= 9 && y >= 4 && y <= 7;
      EXPECT_EQ(m.Ucolor[static_cast<std::size_t>(x + y * m.Uwid)], frame   ? kGreen
                                                                    : strip ? kRed
                                                                            : kWhite)
          << x << ", " << y;
    }
  }
  EXPECT_EQ(m.condCount, 16 * 12 - 12 * 8 + 16);

  const std::string scattered = (dir / "scattered.jpg").string();
  fs::copy_file(fs::path(ZOLVA_FIXTURES) / "rgb.jpg", scattered);
  EXPECT_FALSE(LoadUsermap(ctx, scattered));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_NE(platform.messages[0].text.find("an area of a material's colour"), std::string::npos)
      << platform.messages[0].text;
}

TEST_F(UsermapLoaderTest, RescaleCommands) {
  ASSERT_TRUE(LoadUsermap(
      ctx, WritePng("Usermap d (0.1mm).png", 3, 2, {kRed, kWhite, kWhite, kWhite, kRed, kWhite})));
  ctx.state.ready = true;
  ctx.display.fieldReady = true;

  SetRescale(ctx, 2);
  EXPECT_EQ(ctx.map.rescaleIndex, 2);
  EXPECT_EQ(ctx.map.Uwid, 6);
  EXPECT_EQ(ctx.map.Uhei, 4);
  EXPECT_EQ(ctx.map.Uindex.size(), 24u);
  EXPECT_FALSE(ctx.display.fieldReady);
  EXPECT_EQ(ctx.panel.edits[EditBoxPixelWidth].text, "0.05mm");
  // The diagonal pair was closed: two more red pixels than the eight of the two blocks.
  EXPECT_EQ(ctx.map.condCount, 10);

  StepRescale(ctx, +5);  // limited to 300 %
  EXPECT_EQ(ctx.map.rescaleIndex, 3);
  EXPECT_EQ(ctx.map.Uwid, 9);
  EXPECT_EQ(ctx.panel.edits[EditBoxPixelWidth].text, "0.0333333333mm");
  StepRescale(ctx, -1);
  EXPECT_EQ(ctx.map.Uwid, 6);
  EXPECT_EQ(ctx.panel.edits[EditBoxPixelWidth].text, "0.05mm");
  EXPECT_TRUE(platform.messages.empty());

  // Refused during a solve.
  ctx.state.solveInProgress = true;
  SetRescale(ctx, 0);
  StepRescale(ctx, -1);
  EXPECT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[0].text, "Request denied.  A solve is in progress.");
  EXPECT_EQ(platform.beeps, 2);
  EXPECT_EQ(ctx.map.rescaleIndex, 2);
  ctx.state.solveInProgress = false;

  // A rescale beyond the pixel limit is refused like an unusable file; nothing changes.
  platform.messages.clear();
  ctx.map.sourceWidth = 8000;
  ctx.map.sourceHeight = 8000;
  SetRescale(ctx, 3);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "Exception Raised on file " + ctx.map.sourcePath +
                                           "\n(the rescaled map of 24000 x 24000 pixels is above "
                                           "the limit of 100000000 pixels)");
  EXPECT_EQ(ctx.map.rescaleIndex, 2);
  EXPECT_EQ(ctx.map.Uwid, 6);
  EXPECT_EQ(ctx.panel.edits[EditBoxPixelWidth].text, "0.05mm");

  // A generated map has nothing to rescale.
  ctx.state.geometryKind = GeomCoaxial;
  StepRescale(ctx, -1);
  SetRescale(ctx, 1);
  EXPECT_EQ(ctx.map.rescaleIndex, 2);
}

// A closed line of 24 x 24 pixels: a ground ring on the border around an 8 x 8 centre conductor,
// in white with `extra` further colours of no definition (vacuum) in the space between.
std::vector<std::uint32_t> ClosedLineWithColours(int extra) {
  std::vector<std::uint32_t> pixels(24 * 24, kWhite);
  int added = 0;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 24; ++x) {
      std::uint32_t& p = pixels[static_cast<std::size_t>(x + 24 * y)];
      if (x == 0 || y == 0 || x == 23 || y == 23)
        p = kGreen;
      else if (x >= 8 && x < 16 && y >= 8 && y < 16)
        p = kRed;
      else if (added < extra)
        p = 0x010000u + static_cast<std::uint32_t>(added++) * 7;
    }
  }
  return pixels;
}

TEST_F(UsermapLoaderTest, A256ColourMapSolvesOrIsRefusedAtLoad) {
  CreatePanel(ctx);
  ctx.state.ready = true;
  ctx.state.programFolder = (dir / "").string();
  SetField(ctx, EditBoxTotalConductorPixels, "1000");
  const std::string full = WritePng("Usermap full (0.1mm).png", 24, 24, ClosedLineWithColours(253));
  const std::string lead = "More than 255 colors found: the map has 256 colors, and \"Restrict";

  // The skin-depth restriction needs a palette entry for no-current metal, which a map of 256
  // colours of its own has no room for: refused at load, with the way out named.
  SetCheckBox(ctx, CheckBoxRestrict, true);
  EXPECT_FALSE(LoadUsermap(ctx, full));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text.rfind(lead, 0), 0u) << platform.messages[0].text;
  EXPECT_TRUE(ctx.state.mapUnusable);

  // Without the restriction the same map loads and solves.
  platform.messages.clear();
  SetCheckBox(ctx, CheckBoxRestrict, false);
  ASSERT_TRUE(LoadUsermap(ctx, full));
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(ctx.materials.palette.count, 256);
  SolveFully(ctx);
  EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
  EXPECT_GT(ctx.results.C, 0.0);
  EXPECT_GT(ctx.results.L, 0.0);

  // Switched on afterwards, the restriction makes the rebuild refuse the map, and the solve says
  // why instead of solving it.
  ctx.results.C = ctx.results.L = 0.0;
  SetCheckBox(ctx, CheckBoxRestrict, true);
  SolveFully(ctx);
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[0].text.rfind(lead, 0), 0u);
  EXPECT_EQ(platform.messages[1].text,
            "Usermap unusable: it holds more than 256 colours. \"Restrict to skin depth\" counts "
            "no-current metal as one of them.");
  EXPECT_EQ(ctx.results.C, 0.0);
  EXPECT_EQ(ctx.results.L, 0.0);

  // With 255 colours of its own the map keeps the last entry for no-current metal and solves
  // restricted.
  platform.messages.clear();
  ASSERT_TRUE(
      LoadUsermap(ctx, WritePng("Usermap room (0.1mm).png", 24, 24, ClosedLineWithColours(252))));
  SolveFully(ctx);
  EXPECT_TRUE(platform.messages.empty()) << platform.messages[0].text;
  EXPECT_EQ(ctx.materials.palette.count, 256);
  EXPECT_GT(ctx.map.restrictedPixels, 0);
  EXPECT_TRUE(PaletteCanHold(ctx.materials.palette, NoCurrentMetalColor));
  EXPECT_GT(ctx.results.C, 0.0);
  EXPECT_GT(ctx.results.L, 0.0);
}

}  // namespace
}  // namespace zolva
