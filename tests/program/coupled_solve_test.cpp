// Coupled lines from the script: BOX 7 and REF, a Usermap solved into its matrices.
#include "program/coupled_solve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "batch_main.h"
#include "platform/image_codec.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/results_report.h"
#include "program/script.h"
#include "support/program_rig.h"

namespace zolva {
namespace {

constexpr std::uint32_t kRedPixel = 0x0000FFu;    // +1 copper
constexpr std::uint32_t kGreenPixel = 0x00FF00u;  // ground copper
constexpr std::uint32_t kWhitePixel = 0xFFFFFFu;  // vacuum

struct CoupledRig : testing::ProgramRig {
  explicit CoupledRig(const std::string& tag) : ProgramRig("zolva-coupled-" + tag, 1) { Start(); }

  // Square wires of 3 x 3 pixels at the given columns, their tops at row `top`, in a map of
  // vacuum; with a ground plane of two rows at the bottom when `plane`.
  void WriteMap(int width, int height, std::vector<int> columns, int top, bool plane) {
    RgbImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                        kWhitePixel);
    auto set = [&](int x, int y, std::uint32_t c) {
      image.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                   static_cast<std::size_t>(x)] = c;
    };
    for (int x0 : columns)
      for (int y = top; y < top + 3; ++y)
        for (int x = x0; x < x0 + 3; ++x) set(x, y, kRedPixel);
    if (plane)
      for (int y = height - 2; y < height; ++y)
        for (int x = 0; x < width; ++x) set(x, y, kGreenPixel);
    EncodePngFile((folder / "Usermap wires (1mm).png").string(), image);
  }
};

TEST(CoupledSolve, APairFarApartBarelyCouples) {
  CoupledRig rig("far");
  rig.WriteMap(300, 14, {20, 277}, 7, true);
  const ScriptResult r = RunScriptFile(
      rig.ctx, rig.Write("s.txt", "OPE %Usermap wires (1mm).png\nBOX 7 T\nSOL\n").string());
  ASSERT_EQ(r.outcome, ScriptOutcome::Completed)
      << r.message << (rig.p.messages.empty() ? "" : rig.p.messages.back().text);
  const CoupledResults& c = rig.ctx.coupled;
  ASSERT_TRUE(c.valid);
  const LineMatrices& m = c.matrices;
  ASSERT_EQ(m.n, 2);
  EXPECT_EQ(c.numbering.reference, 0);
  EXPECT_LT(-m.At(m.C, 0, 1) / m.At(m.C, 0, 0), 1e-3);
  EXPECT_GT(-m.At(m.C, 0, 1), 0.0);
  EXPECT_LT(m.At(m.L, 0, 1) / m.At(m.L, 0, 0), 1e-3);
  EXPECT_GT(m.At(m.L, 0, 0), 0.0);
  EXPECT_GT(m.At(m.R, 0, 0), 0.0);
  // The results text carries the matrices.
  EXPECT_NE(ResultsPageText(rig.ctx).find("C (pF/m)"), std::string::npos);
}

TEST(CoupledSolve, ARibbonWithoutGroundTakesTheScriptsReference) {
  CoupledRig rig("ribbon");
  rig.WriteMap(40, 12, {5, 15, 25}, 4, false);
  const ScriptResult r = RunScriptFile(
      rig.ctx, rig.Write("s.txt", "OPE %Usermap wires (1mm).png\nBOX 7 T\nREF 1\nSOL\n").string());
  ASSERT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  const CoupledResults& c = rig.ctx.coupled;
  ASSERT_TRUE(c.valid);
  EXPECT_EQ(c.numbering.reference, 1);
  ASSERT_EQ(c.matrices.n, 2);
  EXPECT_EQ(c.matrices.names, (std::vector<std::string>{"2", "3"}));
  const LineMatrices& m = c.matrices;
  // 2 sits between 1 and 3, so it holds more charge at 1 volt than 3 does, and the loop of 3
  // against 1 is the longer one; the mutual term keeps Maxwell's sign.
  EXPECT_LT(m.At(m.C, 0, 1), 0.0);
  EXPECT_GT(m.At(m.C, 0, 0), m.At(m.C, 1, 1));
  EXPECT_NEAR(m.At(m.C, 0, 1), m.At(m.C, 1, 0), 1e-12 * m.At(m.C, 0, 0));
  EXPECT_GT(m.At(m.L, 1, 1), m.At(m.L, 0, 0));
  EXPECT_FALSE(c.notes.empty());
}

// zolva-batch --coupled --frequencies: one JSON object with the matrices of every frequency and
// the modes; with --rlgc the N-conductor files, and --spice at a frequency not solved writes none.
TEST(CoupledSolve, BatchPrintsTheMatricesOfEveryFrequency) {
  CoupledRig rig("batch");
  rig.WriteMap(40, 14, {10, 27}, 6, true);
  const std::string script = rig.Write("s.txt", "OPE %Usermap wires (1mm).png\n").string();
  const std::string folder = rig.folder.string() + "/";
  auto batch = [&](std::vector<const char*> extra, std::string& out) {
    HeadlessPlatform platform;
    std::ostringstream o, e;
    std::vector<const char*> argv = {"zolva-batch",  script.c_str(), "--folder",
                                     folder.c_str(), "--no-startup", "--coupled"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    const int code = RunBatch(static_cast<int>(argv.size()), argv.data(), platform, o, e);
    out = o.str() + e.str();
    return code;
  };
  std::string out;
  ASSERT_EQ(batch({"--json", "--frequencies", "1,100"}, out), 0) << out;
  EXPECT_NE(out.find("\"kind\": \"coupled\""), std::string::npos) << out;
  EXPECT_NE(
      out.find("\"matrices\": {\"n\": 2, \"conductors\": [\"1\", \"2\"], \"frequency\": 1e+08"),
      std::string::npos)
      << out;
  const std::size_t sweep = out.find("\"sweep\": [");
  ASSERT_NE(sweep, std::string::npos) << out;
  EXPECT_NE(out.find("\"frequency\": 1e+06", sweep), std::string::npos);
  EXPECT_NE(out.find("\"modes\": {\"Zodd\": "), std::string::npos) << out;
  EXPECT_NE(out.find("\"Kf_1_2\": \"s/m\""), std::string::npos) << out;
  const std::string table = (rig.folder / "pair.csv").string();
  EXPECT_EQ(batch({"--rlgc", table.c_str(), "--frequencies", "1,100", "--spice", "50"}, out), 1);
  EXPECT_NE(out.find("none of the table's frequencies"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(table));
  ASSERT_EQ(batch({"--rlgc", table.c_str(), "--frequencies", "1,100", "--length", "5cm"}, out), 0)
      << out;
  for (const char* extension : {".csv", ".s4p", ".rlgc", ".lib"})
    EXPECT_TRUE(std::filesystem::exists(rig.folder / (std::string("pair") + extension)))
        << extension;
  // The results page carries the modes of the last frequency.
  EXPECT_NE(out.find("Zdiff = "), std::string::npos) << out;
  EXPECT_NE(out.find("Kb 1-2 = "), std::string::npos) << out;
  EXPECT_EQ(batch({"--length", "5cm", "--frequencies", "1"}, out), 2);
}

// A script's RLG with "Coupled lines" on writes the files of its coupled solves, one row per
// frequency, and refuses before any.
TEST(CoupledSolve, ScriptRlgWritesTheCoupledFilesOfItsSolves) {
  CoupledRig rig("rlg");
  rig.WriteMap(40, 14, {10, 27}, 6, true);
  const ScriptResult early = RunScriptFile(
      rig.ctx, rig.Write("a.txt", "OPE %Usermap wires (1mm).png\nBOX 7 T\nRLG a.csv\n").string());
  EXPECT_NE(early.outcome, ScriptOutcome::Completed);
  EXPECT_NE(early.message.find("RLG of coupled lines needs their solves"), std::string::npos)
      << early.message;
  const ScriptResult r = RunScriptFile(
      rig.ctx, rig.Write("b.txt",
                         "OPE %Usermap wires (1mm).png\nBOX 7 T\nFRE 10\nSOL\nFRE 100\nSOL\n"
                         "FRE 10\nSOL\nLIN 5cm\nRLG pair.csv\n")
                   .string());
  ASSERT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  EXPECT_TRUE(std::filesystem::exists(rig.folder / "pair.s4p"));
  EXPECT_TRUE(std::filesystem::exists(rig.folder / "pair.lib"));
  std::ifstream table(rig.folder / "pair.csv");
  int rows = 0;
  for (std::string line; std::getline(table, line);) ++rows;
  EXPECT_EQ(rows, 3);  // the header and two frequencies: the third SOL replaced the first
}

// The panel's "coupled" page: the matrices and modes of a pair, and of five conductors only the
// files that hold them once written.
TEST(CoupledSolve, PanelPageShowsFourConductorsAtMostAndNamesTheFilesBeyond) {
  CoupledRig rig("page");
  rig.WriteMap(40, 14, {10, 27}, 6, true);
  ASSERT_EQ(
      RunScriptFile(rig.ctx,
                    rig.Write("a.txt", "OPE %Usermap wires (1mm).png\nBOX 7 T\nSOL\n").string())
          .outcome,
      ScriptOutcome::Completed);
  EXPECT_EQ(rig.ctx.panel.tab, TabCoupled);
  std::string page = CoupledPageText(rig.ctx);
  for (const char* part : {"2 conductors against ground", "C (pF/m)", "R (ohm/m)", "Zdiff = "})
    EXPECT_NE(page.find(part), std::string::npos) << part << "\n" << page;

  rig.WriteMap(60, 14, {4, 14, 24, 34, 44}, 6, true);
  const ScriptResult r = RunScriptFile(
      rig.ctx,
      rig.Write("b.txt", "OPE %Usermap wires (1mm).png\nBOX 7 T\nSOL\nRLG five.csv\n").string());
  ASSERT_EQ(r.outcome, ScriptOutcome::Completed) << r.message;
  page = CoupledPageText(rig.ctx);
  EXPECT_EQ(page.find("C (pF/m)"), std::string::npos) << page;
  EXPECT_NE(page.find("Too many conductors"), std::string::npos) << page;
  EXPECT_NE(page.find((rig.folder / "five.lib").string()), std::string::npos) << page;
}

}  // namespace
}  // namespace zolva
