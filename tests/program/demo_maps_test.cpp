// The demonstration Usermaps: every one loads through its "~" letter and solves fully headless,
// from the copies the build puts beside zolva-batch.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "batch_main.h"
#include "core/line_figures.h"
#include "core/materials.h"
#include "platform/headless_platform.h"
#include "program/commands.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "program/script.h"
#include "program/services.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

constexpr double kEpsilon0 = 8.8541878128e-12;
const fs::path kProgramDir = ZOLVA_PROGRAM_DIR;

struct DemoCase {
  char letter;
  const char* mapName;
  double largestPermittivity;  // 1 for a line in vacuum
};

// Every letter of the command table, with the permittivity of the densest dielectric drawn.
const DemoCase kCases[] = {
    {'A', "multi-dielectric", 3.7},
    {'D', "Stripline", 2.2},
    {'E', "4 to 1 wires B", 2.26},
    {'F', "Stripline2", 2.07},
    {'G', "Stripline3", 3.7},
    {'H', "Stripline4", 10.2},
    {'I', "Long double plane", 1.0},
    {'J', "Stripline5", 3.7},
    {'K', "multi-dielectric 3-wire B", 4.5},
    {'L', "multi-dielectric B", 10.2},
    {'O', "Two plate", 1.0},
    {'P', "Small two plate", 1.0},
    {'Q', "Medium plane", 1.0},
    {'R', "Two ellipses", 1.0},
    {'S', "multi-dielectric 3-wire", 4.5},
    {'T', "5 Wire", 1.0},
    {'U', "Very long plane", 1.0},
    {'W', "4 to 1 wires A", 1.0},
    {'Y', "Long plane", 1.0},
};

void PrintTo(const DemoCase& c, std::ostream* os) {
  *os << "\"~" << c.letter << "\" " << c.mapName;
}

// A started program without windows whose folder holds a copy of the installed maps, so that the
// log it writes lands in a scratch folder rather than in the build.
struct DemoRig {
  HeadlessPlatform p;
  std::unique_ptr<Context> owned;
  Context& ctx;
  fs::path folder;

  explicit DemoRig(const std::string& tag) : owned(std::make_unique<Context>(p)), ctx(*owned) {
    p.echoMessages = false;
    p.processorCountOverride = 2;
    folder = fs::temp_directory_path() / ("zolva-demo-" + tag);
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy(kProgramDir / "maps", folder / "maps", fs::copy_options::recursive);
    p.programFileOverride = (folder / "zolva").string();
    InstallCommandHooks(ctx);
    StartMainWindow(ctx);
    CreatePanel(ctx);
    ctx.state.ready = true;
    ctx.state.startupScriptChecked = true;
    ctx.panel.threadCount = 2;
  }
  ~DemoRig() { fs::remove_all(folder); }

  ScriptResult Run(const std::string& text) {
    const fs::path path = folder / "demo.txt";
    std::ofstream(path, std::ios::binary) << text;
    return RunScriptFile(ctx, path.string());
  }
};

class DemonstrationMap : public ::testing::TestWithParam<DemoCase> {};

TEST_P(DemonstrationMap, LoadsByItsKeyAndSolvesFully) {
  const DemoCase& c = GetParam();
#if !defined(__OPTIMIZE__)
  // Without optimisation the L and Rs eliminations of the larger maps take minutes; three small
  // ones still take the whole road: plates, unequal wires, a board of two dielectrics.
  if (c.letter != 'P' && c.letter != 'W' && c.letter != 'L')
    GTEST_SKIP() << "L and Rs of a few thousand pixels: slow without optimisation";
#endif
  DemoRig rig(std::string(1, c.letter));
  Context& ctx = rig.ctx;
  const std::string key(1, c.letter);
  // The maps carry no pixel width in their names; they are drawn for 0.1 mm pixels.
  ScriptResult r = rig.Run("KEY ~9~" + key + "\nPIX 0.1mm\nSOL\n");
  ASSERT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  for (const auto& m : rig.p.messages) ADD_FAILURE() << m.caption << ": " << m.text;
  EXPECT_EQ(ctx.state.geometryKind, GeomUsermap);
  EXPECT_EQ(ctx.state.mapName, c.mapName);
  EXPECT_EQ(DemonstrationMapName(static_cast<char16_t>(c.letter)),
            std::string("Usermap ") + c.mapName + ".bmp");
  EXPECT_LE(ctx.map.Uwid, 400);
  EXPECT_LE(ctx.map.Uhei, 400);

  // Drawn in the program's own colours only, with a line of two conductor kinds.
  bool plus = false, other = false;
  for (int i = 0; i < ctx.materials.palette.count; ++i) {
    const PaletteEntry& e = ctx.materials.palette.entries[static_cast<std::size_t>(i)];
    EXPECT_NE(e.tableIndex, kNoTableEntry) << "colour " << std::hex << e.color;
    plus = plus || e.kind == KindPlus;
    other = other || e.kind == KindMinus || e.kind == KindGround;
  }
  EXPECT_TRUE(plus && other);

  const Results& res = ctx.results;
  ASSERT_TRUE(std::isfinite(res.L) && std::isfinite(res.C) && std::isfinite(res.Rs));
  EXPECT_GT(res.L, 0.0);
  EXPECT_GT(res.Rs, 0.0);
  EXPECT_GT(res.C, 0.0);
  // Every dielectric drawn has a loss tangent; vacuum has none.
  if (c.largestPermittivity > 1.0) {
    EXPECT_GT(res.Gp, 0.0);
  } else {
    EXPECT_EQ(res.Gp, 0.0);
  }
  const double zo = CharacteristicImpedance(res.L, res.C);
  const double vf = VelocityFactor(res.L, res.C);
  EXPECT_GT(zo, 20.0);
  EXPECT_LT(zo, 300.0);
  // The wave cannot be slower than in the densest dielectric nor faster than in vacuum; the
  // staircase edges of the pixels leave a few per cent of slack below.
  EXPECT_LE(vf, 1.0);
  EXPECT_GE(vf, 0.95 / std::sqrt(c.largestPermittivity));
  if (c.largestPermittivity == 1.0) {
    EXPECT_GE(vf, 0.95);
  }

  // Two maps have closed forms for C. Both are drawn with at least 8 pixels on every radius,
  // so the staircase and the finite plane keep the error below 3 %.
  if (c.letter == 'W') {
    // Two parallel round wires of radii a, b, centres D apart (image charges, as in Ramo,
    // Whinnery and Van Duzer, "Fields and Waves"): C = 2 pi e0 / acosh((D^2-a^2-b^2)/(2ab)).
    const double a = 32, b = 8, d = 80;
    const double physics =
        2 * std::numbers::pi * kEpsilon0 / std::acosh((d * d - a * a - b * b) / (2 * a * b));
    EXPECT_NEAR(res.C / physics, 1.0, 0.03) << res.C * 1e12 << " pF/m";
  }
  if (c.letter == 'U') {
    // A wire of radius r whose centre is h above a ground plane: C = 2 pi e0 / acosh(h / r).
    // The plane is 19 diameters wide; an infinite one would differ by less than 1 %.
    const double physics = 2 * std::numbers::pi * kEpsilon0 / std::acosh(30.0 / 10.0);
    EXPECT_NEAR(res.C / physics, 1.0, 0.03) << res.C * 1e12 << " pF/m";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryLetter, DemonstrationMap, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DemoCase>& info) {
                           return std::string(1, info.param.letter);
                         });

TEST(DemonstrationMaps, TheBuildPutsEveryMapAndTheManualBesideTheProgram) {
  int maps = 0;
  for (const auto& entry : fs::directory_iterator(kProgramDir / "maps")) {
    if (entry.path().extension() == ".bmp") ++maps;
  }
  EXPECT_EQ(maps, 19);
  for (const DemoCase& c : kCases) {
    EXPECT_TRUE(fs::is_regular_file(kProgramDir / "maps" /
                                    DemonstrationMapName(static_cast<char16_t>(c.letter))))
        << c.letter;
  }
  EXPECT_TRUE(fs::is_regular_file(kProgramDir / kManualPath));
}

TEST(DemonstrationMaps, ManualOpensFromF1AndFromTheKeyPair) {
  DemoRig rig("manual");
  Context& ctx = rig.ctx;
  // The program folder of zolva-batch in the build, where the manual is installed.
  rig.p.programFileOverride = (kProgramDir / "zolva-batch").string();
  ctx.state.programFolder = ProgramFolder(ctx);
  HandleCommandKey(ctx, 0xF070);  // F1
  HandleCommandKey(ctx, u'F');
  HandleCommandKey(ctx, u'1');
  ASSERT_EQ(rig.p.documents.size(), 2u);
  for (const auto& d : rig.p.documents) {
    EXPECT_EQ(d.path, kProgramDir.string() + "docs/manual.html");
    EXPECT_EQ(d.show, 1);
    EXPECT_TRUE(fs::is_regular_file(d.path)) << d.path;
  }
  EXPECT_TRUE(rig.p.messages.empty());
  EXPECT_EQ(rig.p.beeps, 0);
}

TEST(DemonstrationMaps, ZolvaBatchSolvesAMapTypedByItsKey) {
  DemoRig rig("batch");
  const fs::path script = rig.folder / "plates.txt";
  std::ofstream(script, std::ios::binary) << "KEY ~9~P\nPIX 0.1mm\nSOL\n";
  const std::string folder = rig.folder.string();
  const std::string path = script.string();
  const char* argv[] = {"zolva-batch",  "--folder", folder.c_str(),
                        "--no-startup", "--json",   path.c_str()};
  HeadlessPlatform platform;
  std::ostringstream out, err;
  EXPECT_EQ(RunBatch(6, argv, platform, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("\"name\": \"Small two plate\""), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\"Zo\": "), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\"succeeded\": true"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace zolva
