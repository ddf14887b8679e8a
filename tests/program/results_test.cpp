#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/utility.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/results_report.h"
#include "support/read_file.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;

struct ResultsFixture : ::testing::Test {
  HeadlessPlatform p;
  Context ctx{p};
  fs::path folder;

  void SetUp() override {
    p.echoMessages = false;
    p.nowOverride = 45000.5;  // a fixed date-time, so log lines are predictable
    folder = fs::temp_directory_path() /
             ("zolva-results-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    ctx.state.programFolder = folder.string() + "/";
    ctx.panel.runName = "Default";
  }
  void TearDown() override { fs::remove_all(folder); }

  const ResultsLine* At(int x, int y) const {
    for (const ResultsLine& line : ctx.results.page)
      if (line.x == x && line.y == y) return &line;
    return nullptr;
  }
  std::string Log() const { return testing::ReadWholeFile(folder / "zolva log.txt"); }
  void AddPalette(std::uint32_t color, MaterialKind kind) {
    UsermapPalette& palette = ctx.materials.palette;
    palette.entries[palette.count].color = color;
    palette.entries[palette.count].kind = kind;
    ++palette.count;
  }
};

TEST_F(ResultsFixture, NumberTexts) {
  // One extra digit of width and of decimals on the page, three with switch 29.
  EXPECT_EQ(Fmt(ctx, 0.25, 6, 3), " 0.2500");
  ctx.state.switches[Switch::WideResults] = true;
  EXPECT_EQ(Fmt(ctx, 0.25, 6, 3), " 0.250000");
  EXPECT_EQ(Fmt(ctx, 0.25, 6, 3).size(), 9u);

  // A minute is still written in seconds; one second more switches to minutes.
  EXPECT_EQ(TimeText(0), "0 seconds");
  EXPECT_EQ(TimeText(60), "60 seconds");
  EXPECT_EQ(TimeText(61), "   1.0 minutes");
  EXPECT_EQ(TimeText(3600), "  60.0 minutes");

  ctx.results.vfAssumed = 2.0 / 3.0;
  EXPECT_EQ(VfText(ctx), "0.667");
  ctx.results.vfAssumed = 123456.789;  // never meant to happen, but the text stays bounded
  EXPECT_EQ(VfText(ctx), "123456.7");
}

TEST_F(ResultsFixture, PageColumnsAndColours) {
  Results& r = ctx.results;
  r.vfAssumed = 1.0;

  // Nothing solved: only the three headings.
  DrawResults(ctx);
  EXPECT_EQ(r.page.size(), 3u);
  ASSERT_NE(At(10, 3), nullptr);
  EXPECT_TRUE(At(10, 3)->bold);
  EXPECT_EQ(At(420, 3)->text, "Combined results :");

  // Only C and Gp: estimates in black, no combined column.
  r.C = 100e-12;
  r.Gp = 1e-6;
  r.VoC = 0.5;
  r.Qdif = 1.25;
  r.runSecondsC = 61;
  DrawResults(ctx);
  ASSERT_NE(At(220, 20), nullptr);
  EXPECT_EQ(At(220, 20)->text, "C = 100.000  pF");
  EXPECT_EQ(At(220, 34)->text, "Gp = 0.000001000000");
  EXPECT_EQ(At(220, 48)->text, "Zo =   33.36  Ohms if vf=1.000");
  EXPECT_EQ(At(220, 48)->color, kResultsBlack);
  EXPECT_EQ(At(220, 62)->color, kResultsBlack);
  EXPECT_EQ(At(220, 76)->text, "Vo = 0.5000  V       Qdif =  1.25 %");
  EXPECT_EQ(At(220, 90)->text, "Run time =    1.0 minutes,  41 MB");
  EXPECT_EQ(At(430, 20), nullptr);
  EXPECT_EQ(At(20, 20), nullptr);

  // Both: every estimate turns grey and the combined column appears.
  r.L = 250e-9;
  r.Rs = 0.5;
  r.runSecondsL = 5;
  ctx.map.condCount = 2000;
  DrawResults(ctx);
  EXPECT_EQ(At(20, 20)->text, "L =  0.2500  uH");
  EXPECT_EQ(At(20, 34)->color, kResultsBlack);
  EXPECT_EQ(At(20, 48)->color, kResultsGrey);
  EXPECT_EQ(At(20, 62)->color, kResultsGrey);
  EXPECT_EQ(At(220, 48)->color, kResultsGrey);
  EXPECT_EQ(At(220, 62)->color, kResultsGrey);
  // sqrt(L / C) = 50 ohms; 1 / (sqrt(LC) c0) = 0.667.
  EXPECT_EQ(At(430, 20)->text, "Zo =   50.00  Ohms");
  EXPECT_EQ(At(430, 34)->text, "vf = 0.6671");
  // round((2000 / 1000)^2 * 17) = 68 MB for the L and Rs solution.
  EXPECT_EQ(At(20, 90)->text, "Run time = 5 seconds,  68 MB");

  // Without ground the Ignd figure never shows; without both polarities no Vo line at all.
  EXPECT_EQ(At(20, 76), nullptr);
  ctx.cindex.hasPlus = ctx.cindex.hasMinus = true;
  r.VoL = 0.25;
  r.Ignd = 0.125;
  DrawResults(ctx);
  EXPECT_EQ(At(20, 76)->text, "Vo = 0.2500  V");
  ctx.cindex.hasAllThree = true;
  DrawResults(ctx);
  EXPECT_EQ(At(20, 76)->text, "Vo = 0.2500  V   Ignd = 12.50 %");

  // A doubtful Rs is drawn in red.
  r.rsWarning = true;
  DrawResults(ctx);
  EXPECT_EQ(At(20, 34)->color, kResultsRed);

  // Two floating colours share one place; the lower palette index stays visible.
  AddPalette(0x000000, KindInsul);
  AddPalette(0xFFFF00, KindFloat);
  AddPalette(0xFEFE00, KindFloat);
  r.floatVolts[1] = 0.125;
  r.floatVolts[2] = -0.5;
  DrawResults(ctx);
  int floats = 0;
  for (const ResultsLine& line : r.page) floats += line.x == 430 && line.y == 76;
  EXPECT_EQ(floats, 1);
  EXPECT_EQ(At(430, 76)->text, "Float = 0.1250  volts");

  // The plain-text page reads row by row, each row's columns left to right.
  std::string text = ResultsPageText(ctx);
  // Five design units per character: x = 10, 210 and 420 become columns 2, 42 and 84.
  EXPECT_EQ(text.substr(0, text.find('\n')),
            std::string(2, ' ') + "L and Rs results :" + std::string(22, ' ') +
                "C and Gp results :" + std::string(24, ' ') + "Combined results :");
  EXPECT_LT(text.find("L =  0.2500  uH"), text.find("C = 100.000  pF"));
  EXPECT_LT(text.find("C = 100.000  pF"), text.find("Zo =   50.00  Ohms"));
  EXPECT_LT(text.find("Zo =   50.00  Ohms"), text.find("Rs ="));
}

TEST_F(ResultsFixture, Summaries) {
  Results& r = ctx.results;
  r.vfAssumed = 1.0;
  r.L = 250e-9;
  r.Rs = 0.5;
  r.Ignd = 0.125;
  ctx.cindex.hasAllThree = true;
  ctx.panel.runName = "twin";
  SummarizeL(ctx);
  EXPECT_EQ(r.summary,
            "L= 0.250 uH, Rs= 0.50000 Ohms, Ignd=12.5%. If vf=1.000 then Zo=  74.9 and C= "
            "44.51.  twin");
  ctx.cindex.hasAllThree = false;
  SummarizeL(ctx);
  EXPECT_EQ(r.summary.find("Ignd"), std::string::npos);

  // Floating voltages are listed from the highest palette index down.
  AddPalette(0x000000, KindInsul);
  AddPalette(0xFFFF00, KindFloat);
  AddPalette(0xFEFE00, KindFloat);
  r.floatVolts[1] = 0.125;
  r.floatVolts[2] = -0.5;
  r.C = 100e-12;
  r.Gp = 0.0;
  SummarizeC(ctx);
  EXPECT_EQ(r.summary,
            "C=100.00pF, Gp=0.000000000000, float=-0.500 volts, float=0.125 volts. If vf=1.000 "
            "then Zo=  33.4 and L=0.111 uH  twin");

  // A long run name is cut with the rest at 255 characters.
  ctx.panel.runName = std::string(400, 'n');
  SummarizeC(ctx);
  EXPECT_EQ(r.summary.size(), 255u);

  // C = 0 after a capacitance solve cannot come from valid data: program error 1, and the
  // previous summary stays.
  std::string before = r.summary;
  r.C = 0.0;
  r.runSecondsC = 100;
  p.queuedAnswers.push_back(AnswerCancel);
  SummarizeC(ctx);
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_EQ(p.messages[0].text,
            "Program error 1. (Zolva has detected a situation that should be impossible.)");
  EXPECT_EQ(p.messages[0].caption, "zolva stop");
  EXPECT_TRUE(ctx.state.abortRequested);
  EXPECT_EQ(r.summary, before);
  EXPECT_FALSE(fs::exists(folder / "zolva log.txt"));
}

TEST_F(ResultsFixture, LogTakesLongSolvesAndReportsFailure) {
  Results& r = ctx.results;
  r.summary = "short";
  EXPECT_TRUE(AppendLog(ctx, 59));
  EXPECT_FALSE(fs::exists(folder / "zolva log.txt"));

  const std::string stamp = p.ShortDateText(45000.5) + " " + p.LongTimeText(45000.5) + "  ";
  r.summary = "first";
  EXPECT_TRUE(AppendLog(ctx, 60));
  EXPECT_EQ(Log(), stamp + "first\r\n");

  // With both results a second line gives the combined figures; the file grows.
  r.L = 250e-9;
  r.C = 100e-12;
  r.summary = "second";
  EXPECT_TRUE(AppendLog(ctx, 3600));
  EXPECT_EQ(Log(), stamp + "first\r\n" + stamp + "second\r\nCombined: Zo=  50.0, vf=0.667\r\n");

  // A C solve of a minute or more logs its own summary.
  r.vfAssumed = 1.0;
  r.runSecondsC = 60;
  SummarizeC(ctx);
  EXPECT_NE(Log().find(stamp + "C=100.00pF"), std::string::npos);
  EXPECT_TRUE(p.messages.empty());

  // A log that cannot be written is named in a message; the results and summary stay.
  ctx.state.programFolder = (folder / "no such folder").string() + "/";
  r.runSecondsC = 120;
  SummarizeC(ctx);
  ASSERT_EQ(p.messages.size(), 1u);
  EXPECT_NE(p.messages[0].text.find(ctx.state.programFolder + "zolva log.txt"), std::string::npos);
  EXPECT_EQ(p.messages[0].caption, "zolva");
  EXPECT_EQ(r.C, 100e-12);
  EXPECT_EQ(r.summary.substr(0, 10), "C=100.00pF");
  EXPECT_FALSE(AppendLog(ctx, 120));
}

}  // namespace
}  // namespace zolva
