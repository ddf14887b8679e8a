#include "program/commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless_platform.h"
#include "platform/image_codec.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/script.h"
#include "program/solve_control.h"
#include "support/program_rig.h"
#include "support/read_file.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

// A started program without windows, its keys typed as the main window would type them.
// Relaxations are cut short after a few rounds: these tests are about which command runs.
struct KeyRig : testing::ProgramRig {
  std::vector<std::string> statuses;
  int relaxRounds = 0;

  explicit KeyRig(const std::string& tag) : ProgramRig("zolva-keys-" + tag, 2) {
    ctx.state.ShowStatusHook = [this](const std::string& s) {
      statuses.push_back(s);
      relaxRounds = 0;
    };
    p.onPendingEvents = [this] {
      bool relaxing = ctx.state.statusText.find("Relaxing") != std::string::npos;
      if (relaxing && ++relaxRounds >= 3) ctx.state.abortRequested = true;
    };
    InstallCommandHooks(ctx);
    Start();
    SetField(ctx, EditBoxTotalConductorPixels, "100");
  }

  void Type(const std::u16string& keys) {
    for (char16_t k : keys) HandleCommandKey(ctx, k);
  }
  // A small Usermap: a ground ring round a +1 volt block, in the built-in copper colours.
  fs::path WriteMap(const std::string& name) const {
    fs::create_directories((folder / name).parent_path());
    EncodeBmpFile((folder / name).string(), testing::RingAroundBlock());
    return folder / name;
  }
};

TEST(CommandKeys, OneKeyCommandsAndTheUnknownKeyBeep) {
  KeyRig rig("one");
  Context& ctx = rig.ctx;

  rig.Type(u"v");
  EXPECT_EQ(ctx.display.displayMode, 1) << "a small letter acts as its capital";
  rig.Type(u"N");
  EXPECT_EQ(ctx.display.displayMode, 7);
  rig.Type(u"U");
  EXPECT_EQ(ctx.display.displayMode, 0);

  rig.Type(u"+");
  EXPECT_EQ(ctx.display.zoomIndex, 3);
  rig.Type(u"--");
  EXPECT_EQ(ctx.display.zoomIndex, 1);
  rig.Type(u"=");
  EXPECT_EQ(ctx.display.zoomIndex, 2);

  const bool currents = ctx.display.plotCurrents;
  rig.Type(u"jh");
  EXPECT_NE(ctx.display.plotCurrents, currents);
  EXPECT_TRUE(ctx.display.highIntensity);

  // Known keys never beep, an unknown one beeps exactly once and is forgotten after it.
  rig.Type(u"M\r");
  EXPECT_EQ(rig.p.beeps, 0);
  rig.Type(u"Q");
  EXPECT_EQ(rig.p.beeps, 1);
  EXPECT_FALSE(ctx.keys.unknownKey);
  rig.Type(u"V");
  EXPECT_EQ(rig.p.beeps, 1);

  rig.Type(u"S");
  EXPECT_TRUE(ctx.state.abortRequested);
  EXPECT_FALSE(rig.p.quitRequested);
  rig.Type(u"x");
  EXPECT_TRUE(rig.p.quitRequested);

  // F1 and the Help menu.
  HandleCommandKey(ctx, KeyF1);
  ASSERT_EQ(rig.p.documents.size(), 1u);
  EXPECT_EQ(rig.p.documents[0].path, ctx.state.programFolder + "docs/manual.html");
  ShowAbout(ctx);
  ASSERT_EQ(rig.p.messages.size(), 1u);
  EXPECT_EQ(rig.p.messages[0].text, "zolva version 1.04");
  EXPECT_EQ(rig.p.messages[0].caption, "zolva");

  // End and Home change the panel text only in the keyboard switch mode; otherwise they are
  // unknown keys.
  HandleCommandKey(ctx, KeyEnd);
  EXPECT_EQ(rig.p.beeps, 2);
  EXPECT_EQ(ctx.panel.textScaleIndex, 2);
  ctx.state.switches[Switch::KeyboardSwitches] = true;
  for (int i = 0; i < 9; ++i) HandleCommandKey(ctx, KeyHome);
  EXPECT_EQ(ctx.panel.textScaleIndex, 6) << "held at the largest step";
  HandleCommandKey(ctx, KeyEnd);
  EXPECT_EQ(ctx.panel.textScaleIndex, 5);
  EXPECT_EQ(rig.p.beeps, 2);
}

TEST(CommandKeys, FunctionPrefixSolvesAndIgnoresOtherKeys) {
  KeyRig rig("fkeys");
  Context& ctx = rig.ctx;
  Tick(ctx);  // builds the default twinlead

  // A pending prefix does not beep; "F" "3" is no command and does not beep either.
  rig.Type(u"F");
  EXPECT_EQ(ctx.keys.keyPrefix, u'F');
  rig.Type(u"3");
  EXPECT_EQ(ctx.keys.keyPrefix, u' ');
  EXPECT_EQ(ctx.keys.lastPrefix, u'F');
  EXPECT_EQ(rig.p.beeps, 0);
  EXPECT_EQ(ctx.results.L, 0.0);

  // "f" "5" is F5: L and Rs only.
  rig.Type(u"f5");
  EXPECT_GT(ctx.results.L, 0.0);
  EXPECT_GT(ctx.results.Rs, 0.0);
  EXPECT_EQ(ctx.results.C, 0.0);
  EXPECT_FALSE(ctx.state.solveInProgress);

  // The "^" prefix swallows any key, even an unknown one.
  rig.Type(u"^Q");
  EXPECT_EQ(rig.p.beeps, 0);
  // "&" with an unknown second key beeps once, after the command.
  rig.Type(u"&");
  EXPECT_EQ(rig.p.beeps, 0);
  rig.Type(u"Z");
  EXPECT_EQ(rig.p.beeps, 1);
}

TEST(CommandKeys, SwitchTogglesOnlyInTheKeyboardSwitchMode) {
  KeyRig rig("switches");
  Context& ctx = rig.ctx;
  const auto& sw = ctx.state.switches;

  // With switch 9 off the bank prefixes do nothing at all: no toggle, no sound, no beep.
  rig.Type(u"@7!X~3~A");
  EXPECT_FALSE(sw[Switch::Unused27]);
  EXPECT_FALSE(sw[Switch::SkipRelaxation]);
  EXPECT_FALSE(rig.p.quitRequested);
  EXPECT_TRUE(rig.p.waves.empty());
  EXPECT_TRUE(rig.p.messages.empty()) << "no demonstration map is looked for";
  EXPECT_EQ(rig.p.beeps, 0);

  rig.Type(u"~9");
  EXPECT_TRUE(sw[Switch::KeyboardSwitches]);
  EXPECT_FALSE(rig.p.waves.empty()) << "the click tone";
  rig.Type(u"@7");
  EXPECT_TRUE(sw[Switch::Unused27]);
  rig.Type(u"!0#9$5~3");
  EXPECT_TRUE(sw[Switch::PauseScriptedSolves] && sw[Switch::NineTurnCoil] &&
              sw[Switch::ChainAnalysis] && sw[Switch::SkipRelaxation]);
  EXPECT_EQ(ctx.panel.labels[LabelSwitches], "3,9,10,27,39,45");
  rig.Type(u"@7");
  EXPECT_FALSE(sw[Switch::Unused27]) << "a second toggle switches it off";

  // An unknown second key beeps once and still shows the switches.
  ctx.panel.labels[LabelSwitches].clear();
  rig.Type(u"!Q");
  EXPECT_EQ(rig.p.beeps, 1);
  EXPECT_EQ(ctx.panel.labels[LabelSwitches], "3,9,10,39,45");
  rig.Type(u"~Z");
  EXPECT_EQ(rig.p.beeps, 2) << "Z names no demonstration map";

  // No click sound before the program is ready.
  ctx.state.ready = false;
  const std::size_t waves = rig.p.waves.size();
  rig.Type(u"~1");
  EXPECT_TRUE(sw[Switch::StopBeforePrediction]);
  EXPECT_EQ(rig.p.waves.size(), waves);

  rig.Type(u"~9");
  EXPECT_FALSE(sw[Switch::KeyboardSwitches]);
  rig.Type(u"!X");
  EXPECT_FALSE(rig.p.quitRequested);
  rig.Type(u"~9!X");
  EXPECT_TRUE(rig.p.quitRequested);
}

TEST(CommandKeys, NewGeometryOpenDialogAndDemonstrationMaps) {
  KeyRig rig("files");
  Context& ctx = rig.ctx;
  ProgramState& s = ctx.state;

  NewGeometry(ctx, GeomCoaxial);
  EXPECT_EQ(s.mainCaption, "zolva  -  Coaxial");
  EXPECT_EQ(s.geometryKind, GeomCoaxial);
  EXPECT_TRUE(s.setupChanged);
  EXPECT_EQ(ctx.panel.tab, static_cast<int>(GeomCoaxial));
  EXPECT_FALSE(s.rescaleMenuEnabled);

  // During a solve the cross-section cannot be replaced.
  s.solveInProgress = true;
  NewGeometry(ctx, GeomTwinlead);
  EXPECT_FALSE(OpenUsermap(ctx));
  ASSERT_EQ(rig.p.messages.size(), 2u);
  EXPECT_EQ(rig.p.messages[0].text, "Request denied.  A solve is in progress.");
  EXPECT_EQ(rig.p.messages[1].text, "Request denied.  A solve is in progress.");
  EXPECT_EQ(s.geometryKind, GeomCoaxial);
  EXPECT_EQ(rig.p.openDialogs, 0);
  s.solveInProgress = false;
  rig.p.messages.clear();
  rig.p.beeps = 0;

  // A cancelled dialog beeps and changes nothing.
  Tick(ctx);
  const int width = ctx.map.Uwid;
  EXPECT_FALSE(OpenUsermap(ctx));
  EXPECT_EQ(rig.p.openDialogs, 1);
  EXPECT_EQ(rig.p.openDialogFolder, s.programFolder);
  EXPECT_EQ(rig.p.openDialogFilter.substr(0, 13), "Usermaps|User");
  EXPECT_EQ(rig.p.beeps, 1);
  EXPECT_EQ(s.geometryKind, GeomCoaxial);
  EXPECT_EQ(s.mainCaption, "zolva  -  Coaxial");
  EXPECT_EQ(ctx.map.Uwid, width);

  rig.p.openDialogPaths.push_back(rig.WriteMap("Usermap tiny (1mm).bmp").string());
  EXPECT_TRUE(OpenUsermap(ctx));
  EXPECT_EQ(s.geometryKind, GeomUsermap);
  EXPECT_EQ(ctx.map.Uwid, 20);
  EXPECT_EQ(s.mapName, "tiny");

  // A demonstration map that is not installed is named and changes nothing.
  rig.Type(u"~9~D");
  ASSERT_EQ(rig.p.messages.size(), 1u);
  EXPECT_NE(rig.p.messages[0].text.find(s.programFolder + "maps/Usermap Stripline.bmp"),
            std::string::npos);
  EXPECT_EQ(s.mapName, "tiny");
  EXPECT_TRUE(s.operationFailed) << "a script that asked for it must not go on";
  // One that is there loads from the maps folder.
  rig.WriteMap("maps/Usermap Two plate.bmp");
  rig.Type(u"~o");
  EXPECT_EQ(s.mapName, "Two plate");
  EXPECT_FALSE(s.operationFailed);
  EXPECT_EQ(DemonstrationMapName(u'Y'), "Usermap Long plane.bmp");
  EXPECT_TRUE(DemonstrationMapName(u'B').empty());
}

TEST(CommandKeys, ScriptKeysReachTheInterpreter) {
  KeyRig rig("script");
  Context& ctx = rig.ctx;
  auto run = [&](const std::string& name, const std::string& text) {
    std::ofstream(rig.folder / name, std::ios::binary) << text;
    return RunScriptFile(ctx, (rig.folder / name).string());
  };

  ScriptResult r = run("keys.txt", "KEY ~9@7v\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  EXPECT_TRUE(ctx.state.switches[Switch::Unused27]);
  EXPECT_EQ(ctx.display.displayMode, 1);

  // F, 8 runs the script named on the panel inside the running one, which then goes on.
  std::ofstream(rig.folder / "inner.txt", std::ios::binary) << "KEY E\n";
  r = run("outer.txt", "NAM inner\nKEY F8\nKEY T\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  EXPECT_EQ(ctx.display.displayMode, 4);
  EXPECT_FALSE(ctx.state.scriptRunning);
  EXPECT_EQ(ctx.state.scriptNesting, 0);

  // A script starts without a prefix left pending by the keys typed before it.
  rig.Type(u"&");
  r = run("after.txt", "KEY B\n");
  EXPECT_EQ(ctx.display.displayMode, 6);

  // JMA writes the current table of the last L and Rs solve.
  const fs::path table = rig.folder / "inner currents.txt";
  r = run("currents.txt", "TWI\nKEY F5\nJMA\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  EXPECT_GT(ctx.results.L, 0.0);
  EXPECT_TRUE(fs::exists(table));
  EXPECT_GT(fs::file_size(table), 0u);

  // A demonstration map that is not installed stops the script at its line.
  const int mode = ctx.display.displayMode;
  r = run("demo.txt", "KEY ~D\nKEY U\n");
  EXPECT_EQ(r.outcome, ScriptOutcome::Failed);
  EXPECT_EQ(r.stopLine, 1);
  EXPECT_EQ(ctx.display.displayMode, mode);
}

// The manual's table of one-key commands names every key of the command table, and only those.
TEST(CommandKeys, ManualListsEveryOneKeyCommand) {
  const std::string manual =
      testing::ReadWholeFile(std::filesystem::path(ZOLVA_PROGRAM_DIR) / "docs/manual.html");
  const std::size_t from = manual.find("<h3>One key</h3>");
  ASSERT_NE(from, std::string::npos);
  const std::string table = manual.substr(from, manual.find("</table>", from) - from);
  auto name = [](char16_t key) -> std::string {
    switch (key) {
      case KeyF1:
        return "<kbd>F1</kbd>";
      case KeyF2:
        return "<kbd>F2</kbd>";
      case KeyF4:
        return "<kbd>F4</kbd>";
      case KeyF5:
        return "<kbd>F5</kbd>";
      case KeyF6:
        return "<kbd>F6</kbd>";
      case KeyF8:
        return "<kbd>F8</kbd>";
      case KeyEnter:
        return "<kbd>Enter</kbd>";
      case KeyDelete:
        return "Delete";
      case KeyInsert:
        return "Insert";
      case KeyPageDown:
        return "Page Down";
      case KeyPageUp:
        return "Page Up";
      case KeyEnd:
        return "End";
      case KeyHome:
        return "Home";
      case KeyLeft:
      case KeyUp:
      case KeyRight:
      case KeyDown:
        return "arrow keys";
      case u'<':
        return "<kbd>&lt;</kbd>";
      case u'>':
        return "<kbd>&gt;</kbd>";
      default:
        return "<kbd>" + std::string(1, static_cast<char>(key)) + "</kbd>";
    }
  };
  std::size_t kbds = 0;
  for (std::size_t at = table.find("<kbd>"); at != std::string::npos;
       at = table.find("<kbd>", at + 1))
    ++kbds;
  std::size_t named = 0;
  for (const KeyCommand& command : OneKeyCommands()) {
    EXPECT_NE(command.help[0], '\0');
    for (char16_t key : {command.key, command.alias}) {
      if (key == 0) continue;
      const std::string text = name(key);
      EXPECT_NE(table.find(text), std::string::npos) << text << " is not in the manual";
      named += text.rfind("<kbd>", 0) == 0 ? 1 : 0;
    }
  }
  EXPECT_EQ(kbds, named) << "the manual lists a key the interpreter does not know";
}

}  // namespace
}  // namespace zolva
