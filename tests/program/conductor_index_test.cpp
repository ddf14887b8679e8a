#include "core/conductor_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/materials.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/solve_control.h"
#include "support/sketch_map.h"

namespace zolva {
namespace {

using sketch::kBlue;
using sketch::kCyan;
using sketch::kGreen;
using sketch::kRed;
using sketch::kWhite;

// A context with the copper colours of each conductor kind and white vacuum, and a map drawn
// from rows of characters: '+' red, 'g' green, '-' blue, 'f' cyan, anything else white.
struct IndexFixture {
  HeadlessPlatform platform;
  Context ctx{platform};

  IndexFixture() {
    platform.echoMessages = false;
    sketch::RegisterCopperAndVacuum(ctx);
  }

  void Draw(const std::vector<std::string>& rows) { sketch::Draw(ctx, rows); }
};

TEST(ConductorIndex, RefusesMapsWithoutTwoFixedVoltages) {
  // Red and a single ground pixel: one ground pixel does not make a second conductor.
  {
    IndexFixture f;
    f.Draw({"..+..", ".....", "..g.."});
    EXPECT_FALSE(IndexConductors(f.ctx));
    ASSERT_EQ(f.platform.messages.size(), 1u);
    EXPECT_EQ(f.platform.messages[0].text, "Usermap deficient: Insufficient conductors.");
    EXPECT_EQ(f.platform.messages[0].caption, "Solve");
    EXPECT_TRUE(f.ctx.state.abortRequested);
    EXPECT_TRUE(f.ctx.state.operationFailed);
    // The counts are kept for the report, the index is empty.
    EXPECT_EQ(f.ctx.cindex.plusPixels, 1);
    EXPECT_EQ(f.ctx.cindex.groundPixels, 1);
    EXPECT_EQ(f.ctx.cindex.size(), 0u);
  }
  // Two ground pixels are enough.
  {
    IndexFixture f;
    f.Draw({"..+..", ".....", "..gg."});
    EXPECT_TRUE(IndexConductors(f.ctx));
    EXPECT_TRUE(f.platform.messages.empty());
    EXPECT_FALSE(f.ctx.state.abortRequested);
    EXPECT_EQ(f.ctx.cindex.size(), 3u);
  }
  // Floating bodies never count as a conductor of their own.
  {
    IndexFixture f;
    f.Draw({"++...", ".....", "..fff"});
    EXPECT_FALSE(IndexConductors(f.ctx));
    EXPECT_TRUE(f.ctx.state.abortRequested);
    EXPECT_TRUE(f.ctx.cindex.hasFloat);
    EXPECT_EQ(f.ctx.cindex.floatPixels, 3);
  }
  // A refusal after a good map leaves no stale entries of the old map behind.
  {
    IndexFixture f;
    f.Draw({"+.-"});
    ASSERT_TRUE(IndexConductors(f.ctx));
    f.Draw({"+.+"});
    EXPECT_FALSE(IndexConductors(f.ctx));
    EXPECT_EQ(f.ctx.cindex.size(), 0u);
  }
}

TEST(ConductorIndex, RefusesConductorsAtDifferentVoltagesThatTouch) {
  // Sharing an edge or only a corner node shorts the two conductors, and so does a floating
  // body that touches both; the message names a touching pair in Usermap coordinates (column,
  // row): the first met row by row, or the pixel that meets the floating body and its neighbour.
  struct Case {
    std::vector<std::string> rows;
    const char* where;
  };
  const Case shorted[] = {
      {{"......", ".++...", ".++g..", "...gg."}, "2,1 and 3,2"},  // corner to corner
      {{"......", "..+...", ".g....", "....gg"}, "2,1 and 1,2"},  // the other diagonal
      {{"......", ".+-...", "......", "....gg"}, "1,1 and 2,1"},  // side by side
      {{"..+...", "..g...", "..g...", "......"}, "2,0 and 2,1"},  // one above the other
      {{"+f-...", "+f-...", "......"}, "2,0 and 1,0"},            // through a floating body
      {{"+.....", ".f....", "..ff..", "....f.", ".....g", ".....g"}, "5,4 and 4,3"},
  };
  for (const Case& c : shorted) {
    IndexFixture f;
    f.Draw(c.rows);
    EXPECT_FALSE(IndexConductors(f.ctx)) << c.where;
    ASSERT_EQ(f.platform.messages.size(), 1u) << c.where;
    EXPECT_EQ(f.platform.messages[0].text,
              std::string("Usermap deficient: Conductors at different voltages touch at Usermap ") +
                  c.where + ".");
    EXPECT_EQ(f.platform.messages[0].caption, "Solve");
    EXPECT_TRUE(f.ctx.state.abortRequested);
    EXPECT_TRUE(f.ctx.state.operationFailed);
  }
  // A gap of one pixel, a floating body touching one of them, two floating bodies each
  // touching its own, and one conductor touching itself diagonally are all sound.
  const std::vector<std::string> sound[] = {
      {"+.g...", "+.g...", "......"},
      {"+f.-..", "+f.-..", "......"},
      {"+f.f-.", "+f.f-.", "......"},
      {"+.....", ".+....", "....gg"},
  };
  for (const auto& rows : sound) {
    IndexFixture f;
    f.Draw(rows);
    EXPECT_TRUE(IndexConductors(f.ctx)) << rows[0];
    EXPECT_TRUE(f.platform.messages.empty()) << rows[0];
  }
}

TEST(ConductorIndex, CountsFlagsAndSolveState) {
  IndexFixture f;
  f.ctx.state.abortRequested = true;  // left over from an earlier stopped solve
  f.ctx.state.solveSucceeded = true;
  f.Draw({"++..-", "++..-", "....f"});
  ASSERT_TRUE(IndexConductors(f.ctx));
  const ConductorIndex& ci = f.ctx.cindex;
  EXPECT_EQ(ci.plusPixels, 4);
  EXPECT_EQ(ci.minusPixels, 2);
  EXPECT_EQ(ci.groundPixels, 0);
  EXPECT_EQ(ci.floatPixels, 1);
  EXPECT_TRUE(ci.hasPlus && ci.hasMinus && ci.hasFloat);
  EXPECT_FALSE(ci.hasGround);
  EXPECT_FALSE(ci.hasAllThree);
  EXPECT_EQ(f.ctx.map.condCount, 7);
  EXPECT_EQ(f.ctx.panel.labels[Label31], "7");
  // The solve is now running and its inputs are locked.
  EXPECT_TRUE(f.ctx.state.solveInProgress);
  EXPECT_FALSE(f.ctx.state.abortRequested);
  EXPECT_FALSE(f.ctx.state.solveSucceeded);
  EXPECT_TRUE(f.ctx.panel.stopEnabled);
  EXPECT_FALSE(f.ctx.panel.edits[EditBoxPixelWidth].enabled);
  EXPECT_FALSE(f.ctx.panel.edits[EditBoxFrequency].enabled);
  EXPECT_FALSE(f.ctx.panel.edits[EditBoxTotalConductorPixels].enabled);
  EXPECT_EQ(f.ctx.state.statusText, "3. Building map index for 7 conductor pixels");

  // Adding a ground pixel makes all three fixed voltages present.
  f.Draw({"++..-", "++..-", ".....", "g...f"});
  ASSERT_TRUE(IndexConductors(f.ctx));
  EXPECT_TRUE(f.ctx.cindex.hasAllThree);
}

TEST(ConductorIndex, PixelMapsAndEntryOrder) {
  IndexFixture f;
  // Colours first seen in row order: white, red, blue, green, cyan.
  f.Draw({
      ".+..-..",
      "......g",
      "f.+....",
      "....-..",
      "..+...g",
  });
  ASSERT_TRUE(IndexConductors(f.ctx));
  const PixelMap& map = f.ctx.map;
  const UsermapPalette& palette = f.ctx.materials.palette;
  ASSERT_EQ(palette.count, 5);
  EXPECT_EQ(palette.entries[0].color, kWhite);
  EXPECT_EQ(palette.entries[1].color, kRed);
  EXPECT_EQ(palette.entries[2].color, kBlue);
  EXPECT_EQ(palette.entries[3].color, kGreen);
  EXPECT_EQ(palette.entries[4].color, kCyan);
  for (std::size_t p = 0; p < map.Ucolor.size(); ++p) {
    EXPECT_EQ(palette.entries[map.Uindex[p]].color, map.Ucolor[p]) << "pixel " << p;
    EXPECT_EQ(map.Ukind[p], palette.entries[map.Uindex[p]].kind) << "pixel " << p;
  }

  // Entries run up each column from the bottom, columns from the right.
  const std::vector<std::vector<int>> expected = {
      {6, 4, KindGround}, {6, 1, KindGround}, {4, 3, KindMinus}, {4, 0, KindMinus},
      {2, 4, KindPlus},   {2, 2, KindPlus},   {1, 0, KindPlus},  {0, 2, KindFloat}};
  const ConductorIndex& ci = f.ctx.cindex;
  ASSERT_EQ(ci.size(), expected.size());
  for (std::size_t j = 0; j < expected.size(); ++j) {
    EXPECT_EQ(ci.x[j], expected[j][0]) << "entry " << j;
    EXPECT_EQ(ci.y[j], expected[j][1]) << "entry " << j;
    EXPECT_EQ(ci.kind[j], expected[j][2]) << "entry " << j;
    EXPECT_EQ(ci.depth[j], 0) << "entry " << j;
    EXPECT_EQ(ci.surfaceKind[j], 0) << "entry " << j;
  }
}

TEST(ConductorIndex, FullPaletteAndBadMapsAreRefusedCleanly) {
  IndexFixture f;
  // Fill the palette with 256 colours; the map then brings a 257th.
  for (int i = 0; i < kPaletteCapacity; ++i)
    ASSERT_GE(FindPaletteIndex(f.ctx.materials, PackColor(i, 7, 7)), 0);
  f.Draw({"+.-"});
  EXPECT_FALSE(IndexConductors(f.ctx));
  ASSERT_EQ(f.platform.messages.size(), 1u);
  EXPECT_EQ(f.platform.messages[0].text, "More than 255 colors found");
  EXPECT_EQ(f.platform.messages[0].caption, "zolva");
  EXPECT_TRUE(f.ctx.state.abortRequested);
  EXPECT_TRUE(f.ctx.state.operationFailed);
  EXPECT_EQ(f.ctx.cindex.size(), 0u);

  // A colour array that does not match the map size is a range error, not a stray read.
  IndexFixture g;
  g.Draw({"+.-"});
  g.ctx.map.Uwid = 4;
  EXPECT_THROW(IndexConductors(g.ctx), std::out_of_range);
}

}  // namespace
}  // namespace zolva
