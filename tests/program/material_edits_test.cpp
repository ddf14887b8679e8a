// The materials tab's edits of the selected colour.
#include "program/material_edits.h"

#include <gtest/gtest.h>

#include "core/materials.h"
#include "platform/headless_platform.h"
#include "program/context.h"

namespace zolva {
namespace {

TEST(MaterialEdits, MaterialsTabEditsTheSelectedColour) {
  HeadlessPlatform platform;
  platform.echoMessages = false;
  Context ctx(platform);
  ctx.state.programFolder = "/nonexistent-zolva-folder/";  // no MoreColors.txt
  InitMaterialTables(ctx.materials, ctx.reporter, ctx.state.programFolder);
  ctx.panel.materialsBusy = true;  // the chart itself is drawn elsewhere
  ctx.panel.checks[CheckBoxShowStandardColors] = true;

  ctx.materials.SelectedColor = 1;  // pure green, copper at 0 volt
  SetKind(ctx, KindMinus);
  EXPECT_EQ(ctx.materials.table.entries[1].kind, KindMinus);
  EXPECT_TRUE(ctx.state.setupChanged);
  SetResistivity(ctx, 2.5);
  EXPECT_EQ(ctx.materials.table.entries[1].Resistivity, 2.5);
  SetProperties(ctx, 7.0, 0.5);  // not an insulator: ignored
  EXPECT_EQ(ctx.materials.table.entries[1].Permittivity, 1.0);
  SetKind(ctx, KindInsul);
  SetProperties(ctx, 7.0, 0.5);
  EXPECT_EQ(ctx.materials.table.entries[1].Permittivity, 7.0);
  EXPECT_EQ(ctx.materials.table.entries[1].TanDelta, 0.5);

  // Palette mode writes the palette entry and its material record, never the table.
  ctx.panel.checks[CheckBoxShowStandardColors] = false;
  FindPaletteIndex(ctx.materials, PackColor(255, 0, 0));
  ctx.materials.recs.assign(1, MaterialRec{});
  ctx.materials.SelectedColor = 0;
  SetResistivity(ctx, 9.0);
  EXPECT_EQ(ctx.materials.recs[0].Resistivity, 9.0);
  EXPECT_EQ(ctx.materials.table.entries[0].Resistivity, static_cast<double>(1.7241379f));
  SetKind(ctx, KindFloat);
  EXPECT_EQ(ctx.materials.palette.entries[0].kind, KindFloat);
  EXPECT_EQ(ctx.materials.table.entries[0].kind, KindPlus);

  // A selection outside the chart's source changes nothing.
  ctx.state.setupChanged = false;
  for (int selected : {-1, 1, 70, 100000}) {
    ctx.materials.SelectedColor = selected;
    SetKind(ctx, KindGround);
    SetResistivity(ctx, 1.0);
    SetProperties(ctx, 1.0, 1.0);
  }
  EXPECT_FALSE(ctx.state.setupChanged);
  EXPECT_EQ(ctx.materials.palette.count, 1);
  EXPECT_EQ(ctx.materials.palette.entries[0].kind, KindFloat);
}

}  // namespace
}  // namespace zolva
