// The RLGC table and its companions end to end: zolva-batch --rlgc on the generated coax, checked
// against the closed forms, and the script commands RLG, LIN and SPI.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch_main.h"
#include "core/materials.h"
#include "platform/headless_platform.h"
#include "platform/image_codec.h"
#include "support/read_file.h"

namespace zolva {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;

constexpr double kPi = 3.141592653589793;
constexpr double kMu0 = 4e-7 * kPi;
constexpr double kEpsilon0 = 8.854187817e-12;

struct Batch {
  fs::path folder;
  std::string out, err;

  explicit Batch(const std::string& tag)
      : folder(fs::temp_directory_path() / ("zolva-rlgc-" + tag)) {
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  ~Batch() { fs::remove_all(folder); }
  fs::path Write(const std::string& name, const std::string& text) const {
    std::ofstream(folder / name, std::ios::binary) << text;
    return folder / name;
  }
  int Run(std::vector<std::string> args) {
    HeadlessPlatform platform;
    platform.processorCountOverride = 2;
    args.insert(args.begin(), {"zolva-batch", "--no-startup", "--folder", folder.string()});
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream o, e;
    const int code = RunBatch(static_cast<int>(argv.size()), argv.data(), platform, o, e);
    out = o.str();
    err = e.str();
    return code;
  }
};

// The rows of the CSV table, each as its ten numbers.
std::vector<std::vector<double>> TableRows(const std::string& text) {
  std::vector<std::vector<double>> rows;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);  // the header
  while (std::getline(lines, line)) {
    std::vector<double> row;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) row.push_back(std::stod(cell));
    rows.push_back(row);
  }
  return rows;
}

// The coax of the example (centre 1 mm, shield 3.5 mm inside, air) at 1, 10 and 100 MHz, about
// 400 conductor pixels. Closed forms of the ideal coax: C = 2 pi e0 / ln(b/a) = 44.4 pF/m;
// L = mu0 / (2 pi) ln(b/a) = 0.251 uH/m once the current keeps to the surfaces; under the skin
// effect R = sqrt(pi f mu0 rho) / (2 pi) (1/a + 1/b) for copper. This coarse map gives C within
// 1 %, L some 7 % high (the pixel staircase of the surfaces) and R at 100 MHz within 2 %; the
// bounds below are those, with room. Air has no loss: G is 0. The velocity factor is that of
// the solved L and C, slowed a little by the loss. The Touchstone, LTRA and W-element files come
// beside the table.
TEST(RlgcExport, BatchTableOfTheCoaxMatchesTheClosedForms) {
  Batch b("coax");
  const fs::path script =
      b.Write("coax.txt", "COA\nCEN 1mm\nINN 3.5mm\nOUT 4mm\nBOX 30 T\nTOT 400\n");
  const std::string table = (b.folder / "coax.csv").string();
  ASSERT_EQ(b.Run({script.string(), "--frequencies", "1,10,100", "--rlgc", table, "--length", "1m",
                   "--z0", "50", "--spice", "100"}),
            0)
      << b.err;
  const auto rows = TableRows(ReadWholeFile(table));
  ASSERT_EQ(rows.size(), 3u);
  const double a = 0.5e-3, bb = 1.75e-3;
  const double C = 2 * kPi * kEpsilon0 / std::log(bb / a);
  const double L = kMu0 / (2 * kPi) * std::log(bb / a);
  const double rho = 1.7241379e-8;
  const double freqs[] = {1e6, 1e7, 1e8};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(freqs[i]);
    const std::vector<double>& r = rows[i];
    ASSERT_EQ(r.size(), 10u);
    EXPECT_DOUBLE_EQ(r[0], freqs[i]);
    EXPECT_NEAR(r[4] / C, 1.0, 0.02);
    EXPECT_NEAR(r[2] / L, 1.07, 0.05);
    EXPECT_EQ(r[3], 0.0);
    // The loss slows the wave by about (R / wL)^2 / 8: 5e-4 at 1 MHz.
    EXPECT_NEAR(r[9], 1.0 / (299792458.0 * std::sqrt(r[2] * r[4])), 1e-3);
    EXPECT_NEAR(r[5], std::sqrt(r[2] / r[4]), 0.02 * r[5]);
  }
  const double skin = std::sqrt(kPi * 1e8 * kMu0 * rho) / (2 * kPi) * (1 / a + 1 / bb);
  EXPECT_NEAR(rows[2][1] / skin, 1.0, 0.03);
  // R grows with frequency, less than sqrt(f) at 1 MHz where the skin is 66 um deep.
  EXPECT_LT(rows[0][1], rows[1][1]);
  EXPECT_LT(rows[1][1], rows[2][1]);

  for (const char* ext : {".s2p", ".lib", ".rlgc"}) {
    // Which files were written is progress, on standard error; standard output holds results.
    EXPECT_NE(b.err.find("written: " + (b.folder / ("coax" + std::string(ext))).string()),
              std::string::npos)
        << ext << "\n"
        << b.err;
  }
  EXPECT_NE(ReadWholeFile(b.folder / "coax.s2p").find("# Hz S RI R 50\n"), std::string::npos);
  EXPECT_NE(ReadWholeFile(b.folder / "coax.lib").find(".model coax LTRA R="), std::string::npos);
  EXPECT_NE(b.err.find("W-element fit: worst relative error R "), std::string::npos) << b.err;
}

TEST(RlgcExport, BatchRefusesOptionsThatDoNotFit) {
  Batch b("options");
  const std::string table = (b.folder / "t.csv").string();
  EXPECT_EQ(b.Run({"--frequencies", "1,10"}), 2);
  EXPECT_NE(b.err.find("belong to --rlgc"), std::string::npos) << b.err;
  EXPECT_EQ(b.Run({"--rlgc", table}), 2);
  EXPECT_NE(b.err.find("needs --frequencies"), std::string::npos) << b.err;
  EXPECT_EQ(b.Run({"--rlgc", table, "--frequencies", "1,,3"}), 2);
  EXPECT_EQ(b.Run({"--rlgc", table, "--frequencies", "1,-3"}), 2);
  EXPECT_EQ(b.Run({"--rlgc", table, "--frequencies", "1", "--z0", "50"}), 2);
  EXPECT_NE(b.err.find("--z0 needs --length"), std::string::npos) << b.err;
  EXPECT_EQ(b.Run({"--rlgc", table, "--frequencies", "1", "--length", "x"}), 2);
  EXPECT_EQ(b.Run({"--rlgc", table, "--frequencies", "1", "--spice"}), 2);
  // The LTRA card is made at a solved frequency only; nothing is written then.
  const fs::path script = b.Write("s.txt", "COA\nBOX 30 T\nTOT 100\n");
  EXPECT_EQ(b.Run({script.string(), "--rlgc", table, "--frequencies", "1,10", "--spice", "5"}), 1);
  EXPECT_NE(b.err.find("none of the table's frequencies"), std::string::npos) << b.err;
  EXPECT_FALSE(fs::exists(table));
}

// In a script: RLG refuses to write before it has a frequency sweep and a C and Gp solve; then it
// writes the table of the sweep's steps with the C of the CGP, and the files LIN and SPI ask for.
// A relative name lies in the program folder. Under the dry run it writes nothing.
TEST(RlgcExport, ScriptWritesTheTableOfItsFrequencySweep) {
  Batch b("script");
  const std::string setup = "COA\nBOX 30 T\nTOT 100\n";
  ASSERT_EQ(b.Run({b.Write("a.txt", setup + "RLG early.csv\n").string()}), 1);
  EXPECT_NE(b.err.find("frequency sweep"), std::string::npos) << b.err;
  ASSERT_EQ(b.Run({b.Write("b.txt", setup + "FRE 1\nSWE FRE 3 1\nRLG early.csv\n").string()}), 1);
  EXPECT_NE(b.err.find("C and Gp solve"), std::string::npos) << b.err;
  EXPECT_FALSE(fs::exists(b.folder / "early.csv"));

  ASSERT_EQ(b.Run({b.Write("c.txt", setup + "FRE 1\nSWE FRE 3 1\nCGP\nLIN 0.5m 75\nSPI 10\n"
                                            "RLG line table.csv\n")
                       .string()}),
            0)
      << b.err;
  const auto rows = TableRows(ReadWholeFile(b.folder / "line table.csv"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_DOUBLE_EQ(rows[0][0], 1e6);
  EXPECT_DOUBLE_EQ(rows[2][0], 1e8);
  EXPECT_EQ(rows[0][4], rows[2][4]);  // one C for every row
  EXPECT_NE(ReadWholeFile(b.folder / "line table.s2p").find("! 0.5 m of line"), std::string::npos);
  EXPECT_NE(ReadWholeFile(b.folder / "line table.s2p").find("# Hz S RI R 75\n"), std::string::npos);
  EXPECT_NE(ReadWholeFile(b.folder / "line table.lib").find("at 1e+07 Hz"), std::string::npos);
  EXPECT_NE(ReadWholeFile(b.folder / "line table.rlgc").find("* Rs (ohm/(m sqrt(Hz)))\n"),
            std::string::npos);

  fs::remove(b.folder / "line table.csv");
  ASSERT_EQ(b.Run({b.Write("d.txt", "DEB 24 T\n" + setup +
                                        "FRE 1\nSWE FRE 3 1\nCGP\n"
                                        "RLG line table.csv\n")
                       .string()}),
            0)
      << b.err;
  EXPECT_FALSE(fs::exists(b.folder / "line table.csv"));
}

// zolva-batch --snap opens a blended drawing that is refused without it, and says what it snapped.
TEST(RlgcExport, BatchSnapOpensABlendedDrawing) {
  Batch b("snap");
  RgbImage image{20, 20, {}};
  for (int i = 0; i < 400; ++i)
    image.pixels.push_back(i % 2 ? PackColor(255, 0, 0) : PackColor(255, 10 + i / 4, 10 + i / 4));
  const std::string path = (b.folder / "Usermap blend (1mm).png").string();
  EncodePngFile(path, image);
  EXPECT_EQ(b.Run({"--load", path}), 0);  // 201 colours: loads as it always did
  EXPECT_EQ(b.out.find("snapping:"), std::string::npos);
  EXPECT_EQ(b.Run({"--snap", "--load", path}), 0) << b.err;
  // Red, and the no-current metal of the skin-depth restriction.
  EXPECT_NE(b.out.find("palette colours: 2\n"), std::string::npos) << b.out;
  EXPECT_NE(b.out.find("snapping: 200 pixels of 100 colors snapped"), std::string::npos) << b.out;
}

}  // namespace
}  // namespace zolva
