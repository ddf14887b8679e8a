#include "core/pixel_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/materials.h"
#include "geometry/map_ops.h"
#include "platform/headless_platform.h"
#include "support/solver_records.h"

namespace zolva {
namespace {

constexpr std::uint32_t kRed = PackColor(255, 0, 0);        // copper at +1 volt
constexpr std::uint32_t kWhite = PackColor(255, 255, 255);  // vacuum

TEST(UsermapFileName, NameWidthAndExtensionFromTable) {
  struct Row {
    const char* path;
    const char* fileName;
    const char* extension;
    const char* upper;
    const char* mapName;
    const char* width;
  };
  const Row rows[] = {
      {"C:\\maps\\Usermap Two plate (0.1mm).bmp", "Usermap Two plate (0.1mm).bmp", "bmp", "BMP",
       "Two plate", "0.1mm"},
      // The last "(" and the last ")" hold the width; earlier parentheses stay in the name.
      {"D:\\x\\coax(2 mm)(3 mm).png", "coax(2 mm)(3 mm).png", "png", "PNG", "coax(2 mm)", "3 mm"},
      {"D:\\x\\strip.tiff", "strip.tiff", "tiff", "TIFF", "strip", ""},
      {"D:\\x\\Usermapper.bmp", "Usermapper.bmp", "bmp", "BMP", "per", ""},
      {"/home/u/maps/Usermap Coax (2mm).dib", "Usermap Coax (2mm).dib", "dib", "DIB", "Coax",
       "2mm"},
      // Whichever separator comes last ends the folder.
      {"/tmp/a\\b/Usermap x.Tif", "Usermap x.Tif", "Tif", "TIF", "x", ""},
      // Only the exact capitals are the prefix.
      {"/m/usermap q.bmp", "usermap q.bmp", "bmp", "BMP", "usermap q", ""},
      // A ")" before the "(" is no width.
      {"/m/a)b(c.bmp", "a)b(c.bmp", "bmp", "BMP", "a)b(c", ""},
      // No extension: the point of the width does not start one, and nothing is cut.
      {"/m.d/Usermap z (0.5mm)", "Usermap z (0.5mm)", "", "", "z", "0.5mm"},
      {"/m.d/noext", "noext", "", "", "noext", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    UsermapName n = ParseUsermapFileName(row.path);
    EXPECT_EQ(n.fileName, row.fileName);
    EXPECT_EQ(n.extension, row.extension);
    EXPECT_EQ(n.extensionUpper, row.upper);
    EXPECT_EQ(n.mapName, row.mapName);
    EXPECT_EQ(n.pixelWidthText, row.width);
  }
  // The width text is bounded like every name.
  UsermapName longWidth = ParseUsermapFileName("/m/a (" + std::string(40, '7') + "mm).bmp");
  EXPECT_EQ(longWidth.pixelWidthText, std::string(32, '7'));
}

TEST(UsermapRescale, PixelWidthTextFollowsTheScale) {
  struct Row {
    const char* text;
    int from;
    int to;
    const char* expected;
  };
  const Row rows[] = {
      {"0.1mm", 1, 2, "0.05mm"},
      {"0.1mm", 1, 3, "0.0333333333mm"},
      // 0.0999999999 ends in 9 and is written as the round value.
      {"0.0333333333mm", 3, 1, "0.1mm"},
      {"0.1 mm", 1, 0, "0.2 mm"},  // the unit part keeps its blank
      {"0.01", 1, 1, "0.01"},
      // A whole result loses its point too: "20.mm" would not read as a length.
      {"10mm", 1, 0, "20mm"},
      {"3", 3, 1, "9"},
      {"", 1, 2, ""},
      {"mm", 1, 2, "mm"},
      {"1/8in", 1, 2, "1/8in"},  // not a number: left alone
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(RescalePixelWidthText(row.text, row.from, row.to), row.expected);
  }
  EXPECT_THROW(RescalePixelWidthText("1mm", 1, 4), std::out_of_range);
}

class PixelMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.echoMessages = false;
    InitMaterialTables(ctx.materials, ctx.reporter, ctx.programFolder);
  }
  // Loads a picture given as rows of characters: 'R' red, '.' white.
  void SetSource(const std::vector<std::string>& rows) {
    PixelMap& m = ctx.map;
    m.sourceHeight = static_cast<int>(rows.size());
    m.sourceWidth = static_cast<int>(rows[0].size());
    m.sourceImage.clear();
    for (const std::string& row : rows)
      for (char ch : row) m.sourceImage.push_back(ch == 'R' ? kRed : kWhite);
  }
  std::vector<std::string> MapRows() const {
    std::vector<std::string> rows;
    for (int y = 0; y < ctx.map.Uhei; ++y) {
      std::string row;
      for (int x = 0; x < ctx.map.Uwid; ++x)
        row +=
            ctx.map.Ucolor.at(static_cast<std::size_t>(x + y * ctx.map.Uwid)) == kRed ? 'R' : '.';
      rows.push_back(row);
    }
    return rows;
  }

  HeadlessPlatform platform;
  testing::SolverRecords ctx{platform};
};

TEST_F(PixelMapTest, SetMapSizeKeepsEveryArrayAtTheMapSize) {
  SetMapSize(GeometryJobOf(ctx), 7, 5);
  const PixelMap& m = ctx.map;
  EXPECT_EQ(m.Uwid, 7);
  EXPECT_EQ(m.Uhei, 5);
  EXPECT_EQ(m.Ucolor, std::vector<std::uint32_t>(35, 0));
  EXPECT_EQ(m.analysedPixels.size(), 35u);
  EXPECT_EQ(m.Uindex.size(), 35u);
  EXPECT_EQ(m.sourceImage.size(), 35u);
  EXPECT_EQ(m.sourceWidth * m.sourceHeight, 35);
  EXPECT_EQ(m.mapCentreX, 3);
  EXPECT_EQ(m.mapCentreY, 2);
  EXPECT_EQ(m.mapToFieldX, 1597);
  EXPECT_EQ(m.mapToFieldY, 1598);
  EXPECT_EQ(m.fieldToMapY, -1598);

  // The same size again only clears the picture.
  ctx.map.Ucolor[3] = kRed;
  ctx.map.backgroundColor = kWhite;
  SetMapSize(GeometryJobOf(ctx), 7, 5);
  EXPECT_EQ(m.Ucolor, std::vector<std::uint32_t>(35, 0));
  EXPECT_EQ(m.backgroundColor, 0u);

  EXPECT_THROW(SetMapSize(GeometryJobOf(ctx), 0, 5), std::out_of_range);
  EXPECT_THROW(SetMapSize(GeometryJobOf(ctx), 20000, 20000), std::out_of_range);
  EXPECT_EQ(m.Uwid, 7);
}

TEST_F(PixelMapTest, HalfScaleTakesEverySecondPixel) {
  PixelMap& m = ctx.map;
  m.sourceWidth = 5;
  m.sourceHeight = 3;
  m.sourceImage.clear();
  for (std::uint32_t i = 0; i < 15; ++i) m.sourceImage.push_back(100 + i);
  m.rescaleIndex = 0;
  RescaleMap(GeometryJobOf(ctx));
  EXPECT_EQ(m.Uwid, 2);
  EXPECT_EQ(m.Uhei, 1);
  EXPECT_EQ(m.Ucolor, (std::vector<std::uint32_t>{100, 102}));
  EXPECT_EQ(m.Uindex.size(), 2u);
  EXPECT_EQ(m.mapToFieldX, 1599);

  // A one-pixel-wide image still leaves a map at 50 %.
  m.sourceWidth = 1;
  m.sourceHeight = 3;
  m.sourceImage = {7, 8, 9};
  RescaleMap(GeometryJobOf(ctx));
  EXPECT_EQ(m.Uwid, 1);
  EXPECT_EQ(m.Uhei, 1);
  EXPECT_EQ(m.Ucolor, std::vector<std::uint32_t>{7});

  // A source that does not match its size is refused, not read beyond its end.
  m.sourceWidth = 4;
  EXPECT_THROW(RescaleMap(GeometryJobOf(ctx)), std::out_of_range);

  // The pixel limit holds for the rescaled size too, without overflowing on large sides.
  EXPECT_TRUE(FitsPixelLimit(RescaledSize(10000, 10000, 1)));
  EXPECT_FALSE(FitsPixelLimit(RescaledSize(10000, 10000, 2)));
  EXPECT_FALSE(FitsPixelLimit(RescaledSize(2'000'000'000, 2'000'000'000, 3)));
}

TEST_F(PixelMapTest, EnlargedDiagonalLineIsClosed) {
  // At 200 % the white corners between the 2 x 2 blocks take the line's colour.
  SetSource({"R..", ".R.", "..R"});
  ctx.map.rescaleIndex = 2;
  RescaleMap(GeometryJobOf(ctx));
  EXPECT_EQ(MapRows(), (std::vector<std::string>{
                           "RR....",
                           "RRR...",
                           ".RRR..",
                           "..RRR.",
                           "...RRR",
                           "....RR",
                       }));

  // At 300 % each gap gets a plus-shaped patch, centred on the white pixels (2,3) and (3,2)
  // beside the touching corners. Pixels a patch has painted are no insulators any more and are
  // not patched again when the upward pass reaches them.
  SetSource({"R.", ".R"});
  ctx.map.rescaleIndex = 3;
  RescaleMap(GeometryJobOf(ctx));
  EXPECT_EQ(MapRows(), (std::vector<std::string>{
                           "RRR...",
                           "RRRR..",
                           "RRRRR.",
                           ".RRRRR",
                           "..RRRR",
                           "...RRR",
                       }));

  // The map is rebuilt from the source, never from the scaled map.
  ctx.map.rescaleIndex = 1;
  RescaleMap(GeometryJobOf(ctx));
  EXPECT_EQ(MapRows(), (std::vector<std::string>{"R.", ".R"}));
}

}  // namespace
}  // namespace zolva
