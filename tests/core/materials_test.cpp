#include "core/materials.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/solve_state.h"
#include "platform/headless_platform.h"
#include "support/recording_reporter.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

// A context whose program folder is a fresh temporary folder, so that each test controls whether
// "MoreColors.txt" exists and what it holds.
class MaterialsTest : public ::testing::Test {
 protected:
  MaterialsTest() : ctx(platform) {
    platform.echoMessages = false;
    folder = fs::temp_directory_path() /
             ("zolva-mat-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    ctx.programFolder = folder.string() + "/";
  }
  ~MaterialsTest() override { fs::remove_all(folder); }

  void WriteMoreColors(const std::string& bytes) {
    std::ofstream out(folder / "MoreColors.txt", std::ios::binary);
    out << bytes;
  }
  const ColorDefinition& Entry(std::uint32_t color) {
    int i = FindTableIndex(ctx.materials.table, color);
    EXPECT_GE(i, 0) << std::hex << color;
    return ctx.materials.table.entries.at(static_cast<std::size_t>(i < 0 ? 0 : i));
  }

  HeadlessPlatform platform;
  // The records the material tables are read into, and a reporter that shows its messages on
  // the platform.
  struct Records {
    explicit Records(Platform& p) { reporter.platform = &p; }
    SolveState state;
    std::string programFolder;
    MaterialTables materials;
    testing::RecordingReporter reporter;
  } ctx;
  fs::path folder;
};

TEST_F(MaterialsTest, BuiltInTableHoldsFortySixColoursInRegistrationOrder) {
  InitMaterialTables(ctx.materials, ctx.reporter, ctx.programFolder);
  const ColorTable& t = ctx.materials.table;
  ASSERT_EQ(t.count, 46);
  EXPECT_TRUE(platform.messages.empty());
  // Each metal registers its +1, 0, -1 and floating colours in that order; resistivities are
  // single-precision values widened, not the decimal literals.
  const MaterialKind kinds[] = {KindPlus, KindGround, KindMinus, KindFloat};
  for (int i = 0; i < 28; ++i) EXPECT_EQ(t.entries[i].kind, kinds[i % 4]) << i;
  const std::uint32_t copper[] = {PackColor(255, 0, 0), PackColor(0, 255, 0), PackColor(0, 0, 255),
                                  PackColor(0, 255, 255)};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(t.entries[k].color, copper[k]);
  EXPECT_EQ(t.entries[0].Resistivity, static_cast<double>(1.7241379f));
  EXPECT_EQ(t.entries[4].name, "aluminum");
  EXPECT_EQ(t.entries[27].name, "60/40 PbSn solder");
  EXPECT_EQ(t.entries[27].color, PackColor(63, 255, 224));
  EXPECT_EQ(t.entries[27].Resistivity, static_cast<double>(14.5f));
  // Then the insulators: black and white vacuum first, glass last, "no-current metal" at 45.
  for (int i = 28; i < 46; ++i) EXPECT_EQ(t.entries[i].kind, KindInsul) << i;
  EXPECT_EQ(t.entries[28].color, 0u);
  EXPECT_EQ(t.entries[29].color, 0xFFFFFFu);
  EXPECT_EQ(t.entries[31].name, "teflon");
  EXPECT_EQ(t.entries[31].TanDelta, static_cast<double>(0.0002f));
  EXPECT_EQ(t.entries[42].name, "distilled water");
  EXPECT_EQ(t.entries[44].name, "glass");
  EXPECT_EQ(t.entries[45].name, "no-current metal");
  EXPECT_EQ(t.entries[45].color, PackColor(25, 24, 23));
}

TEST(MoreColorsLineTest, ReadsLinesWordByWord) {
  struct Good {
    const char* line;
    std::uint32_t color;
    MaterialKind kind;
    double rho, eps, td, mu;
    const char* name;
  };
  // clang-format off
  const Good goods[] = {
      {"200 100 50 FLOAT 5.0 1 0 1 brass body", PackColor(200, 100, 50), KindFloat,
       5, 1, 0, 1, "brass body"},
      {"10 20 30 insul 0 3.0 0.001 1 my resin  | x", PackColor(10, 20, 30), KindInsul,
       0, 3, 0.001, 1, "my resin  "},
      {"\t$ff\t0x10 0 +1 1.5e0 1 0 2.5", PackColor(255, 16, 0), KindPlus, 1.5, 1, 0, 2.5, ""},
      {"1 2 3 -1 .5 1. 0 1 a   b", PackColor(1, 2, 3), KindMinus, 0.5, 1, 0, 1, "a   b"},
      // Words are cut to 16 characters: 1.00000000000000999 reads as 1.00000000000000.
      {"0 0 0 0 1.00000000000000999 1 0 1", 0, KindGround, 1, 1, 0, 1, ""}};
  // clang-format on
  for (const Good& r : goods) {
    SCOPED_TRACE(r.line);
    MoreColorsLine got = ParseMoreColorsLine(r.line);
    ASSERT_EQ(got.status, MoreColorsLine::Status::Good);
    EXPECT_EQ(got.color, r.color);
    EXPECT_EQ(got.kind, r.kind);
    const double values[] = {got.Resistivity, got.Permittivity, got.TanDelta, got.Permeability};
    const double expected[] = {r.rho, r.eps, r.td, r.mu};
    for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(values[i], expected[i]) << i;
    EXPECT_EQ(got.name, r.name);
  }
  for (const char* line : {"", "| only a comment 256 0 0", "\t\t  \t"})
    EXPECT_EQ(ParseMoreColorsLine(line).status, MoreColorsLine::Status::Empty) << line;
  for (const char* line :
       {"256 0 0 INSUL 0 1 0 1 x", "$100 0 0 INSUL 0 1 0 1 x", "1 2 3 FLOATING 1 1 0 1 x",
        "1 2 3 FLOAT 1 1 0", "1 2 3 FLOAT 1 1 0 | 1 name", "1 2 3 FLOAT inf 1 0 1",
        "1 2 3 FLOAT 1e999 1 0 1", "1 2 3 FLOAT 1 1 0 1x name", "\x01\xff\x80 garbage\x7f"})
    EXPECT_EQ(ParseMoreColorsLine(line).status, MoreColorsLine::Status::Bad) << line;

  // A bad line says which field is wrong; values no material has are refused where they are read.
  const std::pair<const char*, const char*> problems[] = {
      {"1 2", "the blue value is missing"},
      {"1 2 300 INSUL 0 1 0 1", "the blue value \"300\" is not valid"},
      {"1 2 3 SOLID 0 1 0 1", "the kind \"SOLID\" is not valid"},
      {"1 2 3 INSUL 0 abc 0 1", "the permittivity \"abc\" is not valid"},
      {"1 2 3 INSUL 0 0 0 1 vacuum-ish", "the permittivity 0 is out of range"},
      {"1 2 3 INSUL 0 -2 0 1", "the permittivity -2 is out of range"},
      {"1 2 3 INSUL 0 2 -0.1 1", "the loss tangent -0.1 is out of range"},
      {"1 2 3 1 1.7 1 0 0 copper", "the permeability 0 is out of range"},
      {"1 2 3 -1 -1.7 1 0 1 copper", "the resistivity -1.7 is out of range"},
  };
  for (const auto& [line, problem] : problems) {
    MoreColorsLine got = ParseMoreColorsLine(line);
    EXPECT_EQ(got.status, MoreColorsLine::Status::Bad) << line;
    EXPECT_EQ(got.problem, problem) << line;
  }
  // A metal's permittivity and a dielectric's permeability mean nothing and are not judged.
  EXPECT_EQ(ParseMoreColorsLine("1 2 3 0 1.7 0 0 1 copper").status, MoreColorsLine::Status::Good);
  EXPECT_EQ(ParseMoreColorsLine("1 2 3 INSUL 0 2 0 0 foam").status, MoreColorsLine::Status::Good);

  // Only the first 255 characters of a line count: a comment bar beyond them is never seen.
  std::string longLine = "1 2 3 INSUL 0 2 0 1 " + std::string(300, 'n') + "|";
  MoreColorsLine got = ParseMoreColorsLine(longLine);
  ASSERT_EQ(got.status, MoreColorsLine::Status::Good);
  EXPECT_EQ(got.name.size(), 255u - 20u);
}

TEST_F(MaterialsTest, MoreColorsRedefinesAddsAndReportsBadLinesOnce) {
  WriteMoreColors(
      "| user colours\r\n"
      "0 255 0 INSUL 0 4.0 0.01 1 green resin\r\n"
      "200 100 50 FLOAT 5.0 1 0 1 brass\r\n"
      "256 0 0 INSUL 0 1 0 1 too red\r\n"
      "1 2 3 FLOATING 1 1 0 1 x\r\n"
      "\t\t\r\n"
      "1 2 3 FLOAT 1 1 0\n"
      "0 0 255 0 3.5 1 0 1\n"
      "7 8 9 INSUL 0 2 0 1 " +
      std::string(300, 'z') +
      "\n"
      "11 12 13 insul 0 2.5 0 1 last");  // no final line end
  InitMaterialTables(ctx.materials, ctx.reporter, ctx.programFolder);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text.rfind("An error was found in MoreColors.txt\n(line ", 0), 0u)
      << platform.messages[0].text;
  EXPECT_EQ(platform.messages[0].caption, "Startup");
  EXPECT_EQ(platform.messages[0].buttons, ButtonsOk);

  // Pure green redefined in place: same index, new kind, values and name.
  EXPECT_EQ(FindTableIndex(ctx.materials.table, PackColor(0, 255, 0)), 1);
  EXPECT_EQ(Entry(PackColor(0, 255, 0)).kind, KindInsul);
  EXPECT_EQ(Entry(PackColor(0, 255, 0)).Permittivity, 4.0);
  EXPECT_EQ(Entry(PackColor(0, 255, 0)).name, "green resin");
  // Pure blue redefined without a name keeps "copper".
  EXPECT_EQ(Entry(PackColor(0, 0, 255)).kind, KindGround);
  EXPECT_EQ(Entry(PackColor(0, 0, 255)).Resistivity, 3.5);
  EXPECT_EQ(Entry(PackColor(0, 0, 255)).name, "copper");
  // New colours around the bad lines are still registered; names are cut to 32 characters.
  EXPECT_EQ(Entry(PackColor(200, 100, 50)).kind, KindFloat);
  EXPECT_EQ(Entry(PackColor(7, 8, 9)).name, std::string(32, 'z'));
  EXPECT_EQ(Entry(PackColor(11, 12, 13)).Permittivity, 2.5);
  EXPECT_EQ(ctx.materials.table.count, 49);
  EXPECT_EQ(FindTableIndex(ctx.materials.table, PackColor(1, 2, 3)), -1);
}

TEST_F(MaterialsTest, MoreColorsMissingOrGarbage) {
  InitMaterialTables(ctx.materials, ctx.reporter, ctx.programFolder);  // no file at all
  EXPECT_EQ(ctx.materials.table.count, 46);
  EXPECT_TRUE(platform.messages.empty());

  // Binary garbage (NUL bytes, stray CR and LF, long runs without a line end) followed by lone-CR
  // line ends: no crash, one message, and the good line after the garbage still counts.
  std::string garbage(100000, '\x00');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919) % 251);
  WriteMoreColors(garbage + "\n5 6 7 INSUL 0 9 0 1 after\r| c\r\r");
  InitMaterialTables(ctx.materials, ctx.reporter, ctx.programFolder);
  EXPECT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(Entry(PackColor(5, 6, 7)).name, "after");
}

TEST_F(MaterialsTest, RegisterColorRefusesTheFiveHundredAndFirstColour) {
  InitMaterialTables(ctx.materials, ctx.reporter, ctx.programFolder);
  for (int i = ctx.materials.table.count; i < kColorTableCapacity; ++i)
    ASSERT_TRUE(RegisterColor(ctx.materials, ctx.reporter,
                              0x800000u + static_cast<std::uint32_t>(i), KindInsul, 0, 1, 0, 1,
                              "filler"));
  EXPECT_EQ(ctx.materials.table.count, kColorTableCapacity);
  EXPECT_TRUE(platform.messages.empty());

  EXPECT_FALSE(RegisterColor(ctx.materials, ctx.reporter, PackColor(1, 2, 3), KindInsul, 0, 1, 0, 1,
                             "one too many"));
  EXPECT_EQ(ctx.materials.table.count, kColorTableCapacity);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].caption, "zolva");
  EXPECT_NE(platform.messages[0].text.find("one too many"), std::string::npos);
  EXPECT_NE(platform.messages[0].text.find("500"), std::string::npos);
  // Redefining an existing colour still works in a full table.
  EXPECT_TRUE(
      RegisterColor(ctx.materials, ctx.reporter, PackColor(255, 0, 0), KindFloat, 2, 1, 0, 1, ""));
  EXPECT_EQ(Entry(PackColor(255, 0, 0)).kind, KindFloat);

  // A file that overflows the table reports it once, not once per line.
  platform.messages.clear();
  std::string lines;
  for (int i = 0; i < 600; ++i)
    lines += std::to_string(i % 256) + " " + std::to_string(i / 256) + " 77 INSUL 0 1 0 1\n";
  WriteMoreColors(lines);
  InitMaterialTables(ctx.materials, ctx.reporter, ctx.programFolder);
  EXPECT_EQ(ctx.materials.table.count, kColorTableCapacity);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].caption, "Startup");
}

TEST_F(MaterialsTest, PaletteLookupAndSkinDepth) {
  InitMaterialTables(ctx.materials, ctx.reporter, ctx.programFolder);
  EXPECT_EQ(FindPaletteIndex(ctx.materials, PackColor(255, 0, 0)), 0);
  EXPECT_EQ(FindPaletteIndex(ctx.materials, PackColor(9, 9, 9)), 1);
  EXPECT_EQ(FindPaletteIndex(ctx.materials, PackColor(255, 0, 0)), 0);
  EXPECT_EQ(ctx.materials.palette.count, 2);
  EXPECT_EQ(ctx.materials.palette.entries[0].tableIndex, 0);
  EXPECT_EQ(ctx.materials.palette.entries[0].kind, KindPlus);
  EXPECT_EQ(ctx.materials.palette.entries[1].tableIndex, kNoTableEntry);
  EXPECT_EQ(ctx.materials.palette.entries[1].kind, KindInsul);

  for (int i = ctx.materials.palette.count; i < kPaletteCapacity; ++i)
    ASSERT_EQ(FindPaletteIndex(ctx.materials, 0x10000u + static_cast<std::uint32_t>(i)), i);
  EXPECT_EQ(FindPaletteIndex(ctx.materials, 0xABCDEFu), kPaletteFull);
  EXPECT_EQ(ctx.materials.palette.count, kPaletteCapacity);
  EXPECT_EQ(FindPaletteIndex(ctx.materials, PackColor(9, 9, 9)), 1);

  // Skin depth delta = sqrt(rho / (pi f mu0 mur)); annealed copper (IACS, 1.7241 micro-ohm cm)
  // at 1 MHz gives 66.09 micrometres, so 0.05 um of slack only allows for rounding.
  ctx.materials.palette = UsermapPalette{};
  ctx.state.omega = kOmegaPerMHz * 1.0;
  EXPECT_NEAR(SkinDepthMetres(ctx.materials, ctx.state.omega, PackColor(255, 0, 0)), 66.1e-6,
              0.05e-6);
  EXPECT_EQ(SkinDepthMetres(ctx.materials, ctx.state.omega, PackColor(9, 9, 9)),
            0.0);  // no table entry: no resistivity
  // With material records the palette colour's own values count: four times rho and mu 4
  // leave the depth unchanged.
  ctx.materials.recs.assign(static_cast<std::size_t>(ctx.materials.palette.count), MaterialRec{});
  ctx.materials.recs[0].Resistivity = 4 * 1.7241379;
  ctx.materials.recs[0].Permeability = 4;
  ctx.materials.paletteReady = true;
  EXPECT_NEAR(SkinDepthMetres(ctx.materials, ctx.state.omega, PackColor(255, 0, 0)), 66.1e-6,
              0.05e-6);
  // At zero frequency the depth is unbounded.
  ctx.state.omega = 0.0;
  EXPECT_TRUE(std::isinf(SkinDepthMetres(ctx.materials, ctx.state.omega, PackColor(255, 0, 0))));
}

}  // namespace
}  // namespace zolva
