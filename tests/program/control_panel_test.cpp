#include "program/control_panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/materials.h"
#include "core/utility.h"
#include "platform/headless_platform.h"
#include "program/context.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;
constexpr double kInch = 0.0254;

// Records whether start-up had already declared itself finished whenever the panel's creation
// reached out to the system.
class WatchingPlatform : public HeadlessPlatform {
 public:
  int ShowMessageBox(const std::string& text, const std::string& caption, int buttons) override {
    if (ctx) readyAtMessage.push_back(ctx->state.ready);
    return HeadlessPlatform::ShowMessageBox(text, caption, buttons);
  }
  double Now() override {
    if (ctx) readyAtNow.push_back(ctx->state.ready);
    return HeadlessPlatform::Now();
  }
  const Context* ctx = nullptr;
  std::vector<bool> readyAtMessage, readyAtNow;
};

class ControlPanelTest : public ::testing::Test {
 protected:
  ControlPanelTest() : ctx(platform) {
    platform.echoMessages = false;
    platform.ctx = &ctx;
    platform.processorCountOverride = 6;
    platform.nowOverride = 45000.5;
    folder = fs::temp_directory_path() /
             ("zolva-panel-" +
              std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    platform.programFileOverride = (folder / "zolva").string();
  }
  ~ControlPanelTest() override { fs::remove_all(folder); }

  // A palette as a generator leaves it: copper at +1 volt, polyethelene and an unknown colour,
  // with material records.
  void FillPalette() {
    FindPaletteIndex(ctx.materials, PackColor(255, 0, 0));
    FindPaletteIndex(ctx.materials, PackColor(255, 0, 255));
    FindPaletteIndex(ctx.materials, 0x123456);
    ctx.materials.recs.assign(3, MaterialRec{});
    ctx.materials.recs[0].Resistivity = 1.7241379;
    ctx.materials.recs[1].Permittivity = 2.26;
    ctx.materials.recs[1].TanDelta = 0.00064;
    ctx.materials.paletteReady = true;
  }
  // A click in the middle of chart cell k.
  void Pick(int k) { PickColor(ctx, 20 * (k / 5) + 12, 20 * (k % 5) + 10); }
  const EditField& Edit(EditBox e) const { return ctx.panel.edits[e]; }
  const std::string& Label(PanelLabel l) const { return ctx.panel.labels[l]; }

  WatchingPlatform platform;
  Context ctx;
  fs::path folder;
};

TEST_F(ControlPanelTest, CreatePanelSetsTheDefaultsAndDeclaresReadinessLast) {
  {
    std::ofstream out(folder / "MoreColors.txt");
    out << "300 0 0 INSUL 0 1 0 1 bad red\n";
  }
  ctx.state.switches[Switch::PermittivityInLines] = true;
  ctx.state.tickGuard = 3;
  ctx.state.minimized = true;
  ctx.results.L = 1e-6;
  CreatePanel(ctx);

  // The material tables and the start time were made while start-up was still running.
  ASSERT_EQ(platform.readyAtMessage.size(), 1u);
  EXPECT_FALSE(platform.readyAtMessage[0]);
  ASSERT_FALSE(platform.readyAtNow.empty());
  EXPECT_FALSE(platform.readyAtNow.back());
  EXPECT_TRUE(ctx.state.ready);

  const ProgramState& s = ctx.state;
  EXPECT_EQ(s.programFolder, folder.string() + "/");
  EXPECT_EQ(s.geometryKind, GeomTwinlead);
  EXPECT_TRUE(s.setupChanged);
  for (const SwitchRow& row : kSwitchTable) EXPECT_FALSE(s.switches[row.id]) << row.name;
  EXPECT_EQ(s.tickGuard, 0);
  EXPECT_FALSE(s.minimized);
  EXPECT_DOUBLE_EQ(s.startTime, 45000.5);
  EXPECT_EQ(ctx.display.displayMode, 5);
  EXPECT_EQ(ctx.display.fieldLineDensity, 4);
  EXPECT_EQ(ctx.materials.table.count, 46);

  // Every field holds its default text and has been read once.
  EXPECT_EQ(Edit(EditBoxName).text, "Default");
  EXPECT_EQ(Edit(EditBoxPixelWidth).text, "");
  EXPECT_EQ(ctx.panel.runName, "Default");
  EXPECT_DOUBLE_EQ(ctx.panel.wireSeparation, 0.2 * kInch);
  EXPECT_DOUBLE_EQ(ctx.panel.shieldOuterDia, 0.45 * kInch);
  EXPECT_EQ(ctx.panel.totalConductorPixels, 1000);
  EXPECT_DOUBLE_EQ(s.frequencyMHz, 1.0);
  EXPECT_DOUBLE_EQ(s.requestedPixelWidth, -kInch);
  EXPECT_EQ(ctx.results.L, 0.0);
  EXPECT_TRUE(ctx.panel.checks[CheckBoxRestrict]);
  EXPECT_TRUE(ctx.panel.checks[CheckBoxAirDielectric]);
  EXPECT_FALSE(Edit(EditBoxMu).enabled);

  EXPECT_EQ(ctx.panel.threadMax, 6);
  EXPECT_EQ(ctx.panel.threadCount, 6);
  EXPECT_EQ(Label(LabelThreads), " - 6 threads");
  EXPECT_TRUE(std::all_of(ctx.panel.convergence.begin(), ctx.panel.convergence.end(),
                          [](double e) { return e == -1.0; }));
  EXPECT_TRUE(ctx.panel.visible);
}

TEST_F(ControlPanelTest, FieldsAreReReadOnEveryChangeAndGeometryEditsAskForARebuild) {
  CreatePanel(ctx);
  ctx.state.setupChanged = false;

  SetField(ctx, EditBoxWireDiameter, "12 AWG");
  EXPECT_NEAR(ctx.panel.wireDiameter, 0.00205, 1e-5);
  EXPECT_FALSE(ctx.state.setupChanged);  // only leaving the field asks for the rebuild
  LeaveField(ctx, EditBoxWireDiameter);
  EXPECT_TRUE(ctx.state.setupChanged);

  ctx.state.setupChanged = false;
  LeaveField(ctx, EditBoxName);
  LeaveField(ctx, EditBoxPixelWidth);  // a changed pixel width is handled before the solve
  EXPECT_FALSE(ctx.state.setupChanged);

  // A new frequency invalidates the inductance result and, once left, the map built for the
  // old skin depth.
  ctx.results.L = 2.5e-7;
  SetField(ctx, EditBoxFrequency, "10");
  EXPECT_DOUBLE_EQ(ctx.state.frequencyMHz, 10.0);
  EXPECT_EQ(ctx.results.L, 0.0);
  LeaveField(ctx, EditBoxFrequency);
  EXPECT_TRUE(ctx.state.setupChanged);

  SetField(ctx, EditBoxTotalConductorPixels, "lots");
  EXPECT_EQ(ctx.panel.totalConductorPixels, -1);
  SetField(ctx, EditBoxFrequency, "fast");
  EXPECT_EQ(ctx.state.frequencyMHz, -1.0);
  SetField(ctx, EditBoxShieldInnerDia, "3 ft");
  EXPECT_DOUBLE_EQ(ctx.panel.shieldInnerDia, -kInch);

  SetField(ctx, EditBoxName, std::string(40, 'n'));
  EXPECT_EQ(ctx.panel.runName, std::string(32, 'n'));
  SetField(ctx, EditBoxName, std::string(300, 'x'));
  EXPECT_EQ(Edit(EditBoxName).text.size(), 255u);

  ctx.state.setupChanged = false;
  SetCheckBox(ctx, CheckBoxUnending, true);
  SetCheckBox(ctx, CheckBoxShortGroundPlane, true);  // stored only
  EXPECT_TRUE(ctx.panel.checks[CheckBoxShortGroundPlane]);
  EXPECT_FALSE(ctx.state.setupChanged);
  SetCheckBox(ctx, CheckBoxAddTopPlane, true);
  EXPECT_TRUE(ctx.state.setupChanged);

  EXPECT_THROW(SetField(ctx, kEditBoxCount, "1"), std::out_of_range);
  EXPECT_THROW(SetCheckBox(ctx, static_cast<CheckBox>(-1), true), std::out_of_range);
  EXPECT_THROW(SetLabel(ctx, kPanelLabelCount, "x"), std::out_of_range);
}

TEST_F(ControlPanelTest, EachTabShowsItsOwnControls) {
  CreatePanel(ctx);
  EXPECT_TRUE(ControlVisible(ctx.panel, EditBoxWireDiameter));
  EXPECT_FALSE(ControlVisible(ctx.panel, EditBoxWireWidth));
  EXPECT_TRUE(ControlVisible(ctx.panel, CheckBoxAddFloatingWire));
  EXPECT_FALSE(ControlVisible(ctx.panel, CheckBoxShortGroundPlane));
  EXPECT_EQ(OneWireCaption(ctx.panel), "1 Wire");

  ShowPanel(ctx, TabSquareTwinlead);
  EXPECT_TRUE(Edit(EditBoxWireHeight).visible);
  EXPECT_TRUE(ControlVisible(ctx.panel, CheckBoxHalfGroundPlane));

  ShowPanel(ctx, TabCoaxial);
  EXPECT_TRUE(Edit(EditBoxShieldOuterDia).visible);
  EXPECT_FALSE(Edit(EditBoxTopDistance).visible);
  EXPECT_TRUE(ControlVisible(ctx.panel, CheckBoxAirDielectric));
  EXPECT_FALSE(ControlVisible(ctx.panel, CheckBoxAddTopPlane));
  EXPECT_EQ(OneWireCaption(ctx.panel), "2 wire");
  EXPECT_TRUE(ctx.panel.totalPixelsEnabled);

  // The pixel budget means nothing for the materials page; the read-only pages leave it alone.
  ShowPanel(ctx, TabMaterials);
  EXPECT_FALSE(ctx.panel.totalPixelsEnabled);
  EXPECT_FALSE(Edit(EditBoxTotalConductorPixels).enabled);
  EXPECT_TRUE(Edit(EditBoxRho).visible);
  EXPECT_TRUE(ControlVisible(ctx.panel, CheckBoxShowStandardColors));
  // "Snap colours" belongs to the Usermap page; it is off until asked for and asks no rebuild.
  EXPECT_TRUE(ControlVisible(ctx.panel, CheckBoxSnapColours));
  EXPECT_FALSE(ctx.panel.checks[CheckBoxSnapColours]);
  ctx.state.setupChanged = false;
  SetCheckBox(ctx, CheckBoxSnapColours, true);
  EXPECT_TRUE(ctx.panel.checks[CheckBoxSnapColours]);
  EXPECT_FALSE(ctx.state.setupChanged);
  SetCheckBox(ctx, CheckBoxSnapColours, false);
  ShowPanel(ctx, TabConverging);
  EXPECT_FALSE(ControlVisible(ctx.panel, CheckBoxSnapColours));
  EXPECT_FALSE(ctx.panel.totalPixelsEnabled);
  for (EditBox always :
       {EditBoxName, EditBoxPixelWidth, EditBoxTotalConductorPixels, EditBoxFrequency}) {
    EXPECT_TRUE(Edit(always).visible) << always;
  }
  EXPECT_FALSE(Edit(EditBoxRho).visible);

  ClosePanel(ctx);
  EXPECT_FALSE(ctx.panel.visible);
  EXPECT_FALSE(ctx.panel.enabled);
  ShowPanel(ctx, -1);
  EXPECT_TRUE(ctx.panel.visible);
  EXPECT_EQ(ctx.panel.tab, TabConverging);
  ShowPanel(ctx, TabResults);
  EXPECT_TRUE(ctx.panel.enabled);
  EXPECT_THROW(ShowPanel(ctx, kPanelTabCount), std::out_of_range);
}

TEST_F(ControlPanelTest, PixelWidthThreadsSwitchesAndButtons) {
  CreatePanel(ctx);
  ShowPixelWidth(ctx, 0.01 * kInch, false);
  EXPECT_EQ(Edit(EditBoxPixelWidth).text, Str(0.01, 9, 8) + " in");
  EXPECT_FALSE(Edit(EditBoxPixelWidth).enabled);
  EXPECT_DOUBLE_EQ(ctx.state.pixelWidth, 0.01 * kInch);
  EXPECT_NEAR(ctx.state.requestedPixelWidth, 0.01 * kInch, 1e-12);  // the shown text is read

  SetField(ctx, EditBoxPixelWidth, "0.1mm");
  ShowPixelWidth(ctx, -kInch, true);  // the reading of an empty field
  EXPECT_EQ(ctx.state.pixelWidth, 0.0);
  EXPECT_EQ(Edit(EditBoxPixelWidth).text, "0.1mm");
  EXPECT_TRUE(Edit(EditBoxPixelWidth).enabled);
  ShowPixelWidth(ctx, 0.0, true);
  EXPECT_EQ(Edit(EditBoxPixelWidth).text, "");
  EXPECT_DOUBLE_EQ(ctx.state.requestedPixelWidth, -kInch);

  platform.processorCountOverride = 2;
  CreatePanel(ctx);
  SetThreadCount(ctx, true);
  EXPECT_EQ(ctx.panel.threadCount, 2);
  SetThreadCount(ctx, false);
  EXPECT_EQ(ctx.panel.threadCount, 1);
  EXPECT_EQ(Label(LabelThreads), " - 1 thread");
  SetThreadCount(ctx, false);
  EXPECT_EQ(ctx.panel.threadCount, 1);
  SetThreadCount(ctx, true);
  EXPECT_EQ(Label(LabelThreads), " - 2 threads");
  SetThreadCountTo(ctx, 99);
  EXPECT_EQ(ctx.panel.threadCount, 2);
  SetThreadCountTo(ctx, -4);
  EXPECT_EQ(ctx.panel.threadCount, 1);

  ctx.state.switches[Switch::SkipRelaxation] = ctx.state.switches[Switch::DryRun] =
      ctx.state.switches[Switch::Unused49] = true;
  ShowSwitches(ctx);
  EXPECT_EQ(Label(LabelSwitches), "3,24,49");
  ctx.map.condCount = 1234;
  ShowConductorTotal(ctx);
  EXPECT_EQ(Label(Label31), "1234");

  SetLabel(ctx, Label36, "17  surface pixels");
  SetLabel(ctx, Label18, "draw");
  SetLabel(ctx, Label40, std::string(40, 'v'));
  EXPECT_EQ(Label(Label40).size(), 32u);
  ClearStatus(ctx);
  EXPECT_EQ(Label(Label36), "");
  EXPECT_EQ(Label(Label40), "");
  EXPECT_EQ(Label(Label18), "draw");  // the draw label is not part of the status

  ctx.state.solveInProgress = true;
  RequestStop(ctx);
  EXPECT_FALSE(ctx.state.solveInProgress);
  EXPECT_TRUE(ctx.state.abortRequested);
  RequestResume(ctx);
  EXPECT_EQ(ctx.state.resumeCountdown, 2);
}

TEST_F(ControlPanelTest, MaterialsPageShowsTheSelectedColour) {
  CreatePanel(ctx);
  FillPalette();
  ShowPanel(ctx, TabMaterials);
  const MaterialsPage& page = ctx.panel.materialsPage;
  ASSERT_EQ(page.cells.size(), 3u);
  EXPECT_EQ(page.cells[1].left, 5);
  EXPECT_EQ(page.cells[1].top, 23);
  EXPECT_EQ(page.cells[1].bottom, 38);
  EXPECT_EQ(page.cells[1].color, PackColor(255, 0, 255));

  // Copper at +1 volt, the first colour: a conductor shows its resistivity.
  EXPECT_TRUE(page.hasSelection);
  EXPECT_EQ(Edit(EditBoxRho).text, Str(1.7241379, 7, 4));
  EXPECT_TRUE(Edit(EditBoxRho).enabled);
  EXPECT_EQ(Edit(EditBoxEpsilon).text, "");
  EXPECT_FALSE(Edit(EditBoxEpsilon).enabled);
  EXPECT_EQ(Edit(EditBoxMu).text, "");
  EXPECT_EQ(Label(LabelRhoSymbol), "ρ");
  EXPECT_EQ(Label(LabelMaterialName), "copper");
  EXPECT_EQ(Label(LabelHexColor), "x0000FF");
  EXPECT_EQ(page.litKind, std::optional<std::int8_t>(KindPlus));

  ToggleRhoSigma(ctx);
  EXPECT_EQ(Edit(EditBoxRho).text, Str(1.0 / 1.7241379, 7, 5));
  EXPECT_EQ(Label(LabelRhoSymbol), "σ");
  ctx.materials.recs[0].Resistivity = 0.0;
  DrawMaterials(ctx);
  EXPECT_EQ(Edit(EditBoxRho).text, "infinity");

  // Polyethelene: an insulator shows permittivity and loss tangent.
  Pick(1);
  EXPECT_EQ(ctx.materials.SelectedColor, 1);
  EXPECT_EQ(Edit(EditBoxEpsilon).text, Str(2.26, 6, 3));
  EXPECT_EQ(Edit(EditBoxTd).text, Str(0.00064, 13, 10));
  EXPECT_EQ(Edit(EditBoxRho).text, "");
  EXPECT_FALSE(Edit(EditBoxRho).enabled);
  EXPECT_EQ(Label(LabelRed), "255");
  EXPECT_EQ(page.swatchColor, PackColor(255, 0, 255));
  EXPECT_EQ(page.litKind, std::optional<std::int8_t>(KindInsul));

  Pick(2);
  EXPECT_EQ(Label(LabelMaterialName), "unnamed 2");
  EXPECT_EQ(Label(LabelHexColor), "x123456");

  // Beyond the last entry: selected, but nothing to show.
  Pick(3);
  EXPECT_EQ(ctx.materials.SelectedColor, 3);
  EXPECT_FALSE(page.hasSelection);
  EXPECT_FALSE(page.litKind.has_value());
  EXPECT_EQ(Edit(EditBoxEpsilon).text, "");
  EXPECT_EQ(Label(LabelMaterialName), "");
  // Beyond the 70th cell, and outside the chart: no change.
  PickColor(ctx, 300, 10);
  PickColor(ctx, -50, 10);
  PickColor(ctx, 10, 400);
  EXPECT_EQ(ctx.materials.SelectedColor, 3);

  ShowStandardColors(ctx, true);
  EXPECT_TRUE(ctx.panel.checks[CheckBoxShowStandardColors]);
  EXPECT_EQ(ctx.materials.SelectedColor, 0);
  EXPECT_EQ(page.cells.size(), 46u);
  EXPECT_EQ(Label(LabelMaterialName), "copper");
}

TEST_F(ControlPanelTest, MaterialsEditsAreWrittenToTheirColourOnly) {
  CreatePanel(ctx);
  FillPalette();
  ctx.materials.recs[1].Permittivity = 2.2617;
  ShowPanel(ctx, TabMaterials);

  // Looking at a colour never rewrites it with the rounded texts of its fields.
  Pick(1);
  EXPECT_EQ(Edit(EditBoxEpsilon).text, Str(2.2617, 6, 3));
  LeaveField(ctx, EditBoxEpsilon);
  Pick(0);
  EXPECT_EQ(ctx.materials.recs[1].Permittivity, 2.2617);

  Pick(1);
  SetField(ctx, EditBoxEpsilon, "3.5");
  LeaveField(ctx, EditBoxEpsilon);
  EXPECT_EQ(ctx.materials.recs[1].Permittivity, 3.5);
  EXPECT_EQ(ctx.materials.recs[1].TanDelta, 0.00064);
  EXPECT_EQ(Edit(EditBoxEpsilon).text, Str(3.5, 6, 3));

  // A text that is no valid value is refused; the material keeps its value.
  SetField(ctx, EditBoxEpsilon, "abc");
  SetField(ctx, EditBoxTd, "0.002");
  LeaveField(ctx, EditBoxTd);
  EXPECT_EQ(ctx.materials.recs[1].Permittivity, 3.5);
  EXPECT_EQ(ctx.materials.recs[1].TanDelta, 0.002);
  EXPECT_NE(ctx.state.statusText.find("abc"), std::string::npos);
  EXPECT_EQ(Edit(EditBoxEpsilon).text, Str(3.5, 6, 3));

  // Picking another colour first writes the edit to the colour it was typed for.
  Pick(0);
  ToggleRhoSigma(ctx);
  SetField(ctx, EditBoxRho, "0.5");
  Pick(1);
  EXPECT_DOUBLE_EQ(ctx.materials.recs[0].Resistivity, 2.0);
  Pick(0);
  SetField(ctx, EditBoxRho, "Infinity");
  ToggleRhoSigma(ctx);
  EXPECT_EQ(ctx.materials.recs[0].Resistivity, 0.0);

  // While the page draws itself its fields ignore change notifications.
  ctx.panel.materialsBusy = true;
  SetField(ctx, EditBoxRho, "9");
  ctx.panel.materialsBusy = false;
  EXPECT_EQ(Edit(EditBoxRho).text, Str(0.0, 7, 4));
}

TEST(PanelKeys, OnlyCommandKeysPassToTheMainWindow) {
  EXPECT_EQ(PanelKeyToCommand(116, true), 0xF074);   // F5 in the frequency field
  EXPECT_EQ(PanelKeyToCommand(111, true), 0xF06F);   // numeric-pad divide
  EXPECT_EQ(PanelKeyToCommand(122, false), 0xF07A);  // F11
  EXPECT_EQ(PanelKeyToCommand(123, false), -1);      // F12
  EXPECT_EQ(PanelKeyToCommand(37, false), 0xF025);   // left arrow
  EXPECT_EQ(PanelKeyToCommand(46, false), 0xF02E);
  EXPECT_EQ(PanelKeyToCommand(37, true), -1);  // the field keeps its editing keys
  EXPECT_EQ(PanelKeyToCommand('A', true), -1);
  EXPECT_EQ(PanelKeyToCommand(32, false), -1);
  EXPECT_EQ(PanelKeyToCommand(47, false), -1);
}

}  // namespace
}  // namespace zolva
