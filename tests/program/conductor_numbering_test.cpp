// The numbering of coupled conductors: regions by 8-connectivity in reading order, the refusal of
// touching colours, and the reference of a map without ground.
#include "core/conductor_numbering.h"

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

struct NumberingFixture {
  HeadlessPlatform platform;
  Context ctx{platform};
  ConductorNumbering numbering;
  std::string refusal;

  NumberingFixture() {
    platform.echoMessages = false;
    sketch::RegisterCopperAndVacuum(ctx);
    // A second +1 colour, gold.
    RegisterColor(ctx.materials, ctx.reporter, PackColor(255, 200, 0), KindPlus, 2.44, 1, 0, 1,
                  "gold");
  }

  // '+' red (+1), '-' blue (-1), 'g' ground, 'f' floating, 'o' gold (+1), else vacuum.
  bool Number(const std::vector<std::string>& rows, int reference = 0) {
    sketch::Draw(ctx, rows);
    for (int y = 0; y < ctx.map.Uhei; ++y)
      for (int x = 0; x < ctx.map.Uwid; ++x)
        if (rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == 'o')
          sketch::Fill(ctx, x, y, x, y, PackColor(255, 200, 0));
    EXPECT_TRUE(IndexConductors(ctx, true));
    return NumberConductors(ctx.map, ctx.materials, reference, numbering, refusal);
  }
  int At(int x, int y) const {
    return numbering.number.at(static_cast<std::size_t>(y) *
                                   static_cast<std::size_t>(ctx.map.Uwid) +
                               static_cast<std::size_t>(x));
  }
};

TEST(ConductorNumbering, RegionsByCornerContactInReadingOrder) {
  NumberingFixture f;
  // Region 1 starts top right; the diagonal step joins its two halves. The blue block's first
  // pixel comes second in reading order, the separate red pixels on the last row third and
  // fourth: one colour, separate regions, separate conductors.
  ASSERT_TRUE(f.Number(
      {"......++", ".--..+..", ".--.+...", "........", "+.....+.", "........", "gggggggg"}))
      << f.refusal;
  ASSERT_EQ(f.numbering.count(), 4);
  EXPECT_EQ(f.At(6, 0), 1);
  EXPECT_EQ(f.At(4, 2), 1);  // touches region 1 at a corner only
  EXPECT_EQ(f.At(1, 1), 2);
  EXPECT_EQ(f.At(2, 2), 2);
  EXPECT_EQ(f.At(0, 4), 3);
  EXPECT_EQ(f.At(6, 4), 4);
  EXPECT_EQ(f.At(0, 6), 0);  // the ground carries no number
  EXPECT_EQ(f.numbering.conductors[0].pixels, 4);
  EXPECT_EQ(f.numbering.conductors[1].firstX, 1);
  EXPECT_EQ(f.numbering.conductors[1].firstY, 1);
  EXPECT_TRUE(f.numbering.hasGround);
  EXPECT_EQ(f.numbering.reference, 0);
  EXPECT_EQ(f.numbering.signalCount(), 4);
}

TEST(ConductorNumbering, TouchingColoursAreAShortCircuit) {
  {
    NumberingFixture f;
    // Red and gold (both +1) meet at a corner: pixel 3,2 is gold.
    EXPECT_FALSE(f.Number({"......", "..+...", "...o..", "gggggg"}));
    EXPECT_NE(f.refusal.find("copper (FF0000)"), std::string::npos) << f.refusal;
    EXPECT_NE(f.refusal.find("gold (FFC800)"), std::string::npos) << f.refusal;
    EXPECT_NE(f.refusal.find("3,2"), std::string::npos) << f.refusal;
  }
  {
    NumberingFixture f;
    // A signal conductor touching a floating body is refused too.
    EXPECT_FALSE(f.Number({"..+f..", "......", "gggggg"}));
    EXPECT_NE(f.refusal.find("00FFFF"), std::string::npos) << f.refusal;
  }
}

TEST(ConductorNumbering, WithoutGroundTheLastOrAChosenConductorIsTheReference) {
  const std::vector<std::string> ribbon = {"+.+.+", "+.+.+"};
  {
    NumberingFixture f;
    ASSERT_TRUE(f.Number(ribbon)) << f.refusal;
    EXPECT_FALSE(f.numbering.hasGround);
    EXPECT_EQ(f.numbering.reference, 3);
    EXPECT_EQ(f.numbering.signalCount(), 2);
    EXPECT_EQ(f.numbering.ConductorOf(1), 2);
  }
  {
    NumberingFixture f;
    ASSERT_TRUE(f.Number(ribbon, 1)) << f.refusal;
    EXPECT_EQ(f.numbering.reference, 1);
    EXPECT_EQ(f.numbering.SignalOf(1), -1);
    EXPECT_EQ(f.numbering.SignalOf(2), 0);
    EXPECT_EQ(f.numbering.ConductorOf(1), 3);
  }
  {
    NumberingFixture f;
    EXPECT_FALSE(f.Number(ribbon, 4));
    EXPECT_NE(f.refusal.find("holds 3 conductors"), std::string::npos) << f.refusal;
  }
  {
    NumberingFixture f;
    // One conductor and no ground leaves nothing to solve.
    EXPECT_FALSE(f.Number({"++..", "++.."}));
  }
}

}  // namespace
}  // namespace zolva
