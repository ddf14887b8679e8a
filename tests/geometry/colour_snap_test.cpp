#include "geometry/colour_snap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/materials.h"
#include "core/reporter.h"
#include "support/recording_reporter.h"

namespace zolva {
namespace {

constexpr std::uint32_t kWhite = PackColor(255, 255, 255);  // vacuum
constexpr std::uint32_t kRed = PackColor(255, 0, 0);        // copper, +1 volt
constexpr std::uint32_t kGreen = PackColor(0, 255, 0);      // copper, ground
constexpr std::uint32_t kBlack = PackColor(0, 0, 0);        // vacuum, first in the table

ColorTable BuiltInTable() {
  MaterialTables materials;
  testing::RecordingReporter report;
  InitMaterialTables(materials, report, "/nonexistent-zolva-folder/");
  return materials.table;
}

// Exact pictures keep every defined colour they show; each blend goes to the nearest of those,
// never to a defined colour the picture does not show. A colour exactly between two of them goes
// to the one first in the colour table. The counts name the replaced pixels and colours.
TEST(ColourSnap, BlendsGoToTheNearestShownMaterial) {
  const ColorTable table = BuiltInTable();
  const std::uint32_t pinkish = PackColor(255, 90, 90);     // nearer red than white
  const std::uint32_t palePink = PackColor(255, 180, 180);  // nearer white; air is nearer still
  const std::uint32_t halfway = PackColor(128, 128, 0);     // as near red as green
  std::vector<std::uint32_t> pixels = {kWhite,   kRed,    kGreen,  pinkish,
                                       palePink, halfway, pinkish, kWhite | 0xFF000000u};
  const SnapOutcome out = SnapColours(pixels, 4, 2, table, true);
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.materials, 3);
  EXPECT_EQ(out.colours, 3);
  EXPECT_EQ(out.pixels, 4);
  // Red comes before green in the table (copper +1, then 0 volt).
  EXPECT_EQ(pixels, (std::vector<std::uint32_t>{kWhite, kRed, kGreen, kRed, kWhite, kRed, kRed,
                                                kWhite | 0xFF000000u}));
}

TEST(ColourSnap, APictureWithoutDefinedColoursIsLeftAlone) {
  const ColorTable table = BuiltInTable();
  std::vector<std::uint32_t> pixels = {0x123456, 0x654321, 0x123457, 0x111111};
  const std::vector<std::uint32_t> before = pixels;
  const SnapOutcome out = SnapColours(pixels, 2, 2, table, true);
  EXPECT_FALSE(out.ok);
  EXPECT_EQ(out.materials, 0);
  EXPECT_EQ(pixels, before);
  EXPECT_FALSE(SnapColours(pixels, 2, 2, table, false).ok);
  EXPECT_THROW(SnapColours(pixels, 3, 2, table, true), std::invalid_argument);
}

// A lossy picture shows a material where a 2 x 2 block lies near its colour; a lone pixel near
// a colour (black here), however near, is no area of it and goes to the nearest area's colour.
TEST(ColourSnap, LossyPicturesShowMaterialsByAreas) {
  const ColorTable table = BuiltInTable();
  const std::uint32_t nearRed[] = {PackColor(250, 3, 2), PackColor(255, 6, 0), PackColor(247, 0, 4),
                                   PackColor(253, 2, 7)};
  const std::uint32_t nearWhite = PackColor(251, 249, 253);
  const std::uint32_t nearBlack = PackColor(4, 3, 2);
  // 4 x 3: a near-red block in the left half, near-white elsewhere, one near-black pixel.
  std::vector<std::uint32_t> pixels = {nearRed[0], nearRed[1], nearWhite, nearWhite,
                                       nearRed[2], nearRed[3], nearWhite, nearWhite,
                                       nearWhite,  nearWhite,  nearWhite, nearBlack};
  const SnapOutcome out = SnapColours(pixels, 4, 3, table, false);
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.materials, 2);
  for (int i : {0, 1, 4, 5}) EXPECT_EQ(pixels[static_cast<std::size_t>(i)], kRed) << i;
  for (int i : {2, 3, 6, 7, 8, 9, 10}) EXPECT_EQ(pixels[static_cast<std::size_t>(i)], kWhite) << i;
  // Black is not shown: the pixel nearest it goes to the nearest shown colour, red.
  EXPECT_EQ(pixels[11], kRed);
  EXPECT_NE(pixels[11], kBlack);
  EXPECT_EQ(out.pixels, 12);
  EXPECT_EQ(out.colours, 6);

  // A picture of one column still has blocks, cut by its edges.
  std::vector<std::uint32_t> column = {nearWhite, nearWhite, nearRed[0]};
  ASSERT_TRUE(SnapColours(column, 1, 3, table, false).ok);
  EXPECT_EQ(column, (std::vector<std::uint32_t>{kWhite, kWhite, kWhite}));
}

}  // namespace
}  // namespace zolva
