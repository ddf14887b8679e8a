#include "program/coupled_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/utility.h"
#include "program/rlgc_files.h"
#include "program/rlgc_model.h"
#include "support/coupled_lines.h"
#include "support/read_file.h"

namespace zolva {
namespace {

using Complex = std::complex<double>;
using testing::InhomogeneousPair;
using testing::WiresOverPlane;
using testing::WithLoss;

LineMatrices LossyPair(double f) {
  return WithLoss(
      InhomogeneousPair(WiresOverPlane({{-1e-3, 1e-3}, {1e-3, 1e-3}}, 0.25e-3, f), 3.0, 2.6), 5.0,
      0.01);
}

LineMatrices ThreeLines(double f) {
  LineMatrices m = WiresOverPlane({{0, 1e-3}, {2e-3, 1.5e-3}, {3.5e-3, 0.8e-3}}, 0.2e-3, f);
  const double e[3] = {2.2, 4.0, 3.0};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.C[static_cast<std::size_t>(i * 3 + j)] *= std::sqrt(e[i] * e[j]);
  return m;
}

// The numbers of a Touchstone file after its option line, in order.
std::vector<double> TouchstoneNumbers(const std::string& text) {
  std::istringstream in(text.substr(text.find('#')));
  std::string skip;
  std::getline(in, skip);
  std::vector<double> numbers;
  for (double x; in >> x;) numbers.push_back(x);
  return numbers;
}

// One conductor is the two-conductor line of today's exports: the same S-parameters, the same
// numbers in the file, for a lossy line long enough to attenuate.
TEST(CoupledModel, OneConductorIsTheTwoConductorLine) {
  std::vector<LineMatrices> points;
  std::vector<RlgcPoint> line;
  for (double f : {1e6, 3e8, 2e9}) {
    LineMatrices m = WithLoss(WiresOverPlane({{0, 1e-3}}, 0.3e-3, f), 8.0, 0.02);
    m.C[0] *= 3.3;
    points.push_back(m);
    line.push_back({f, m.R[0], m.L[0], m.G[0], m.C[0]});
  }
  const std::vector<double> ours = TouchstoneNumbers(CoupledTouchstoneText(points, 2.5, 75, "x"));
  const std::vector<double> theirs = TouchstoneNumbers(TouchstoneText(line, 2.5, 75, "x"));
  ASSERT_EQ(ours.size(), theirs.size());
  for (std::size_t k = 0; k < ours.size(); ++k) EXPECT_NEAR(ours[k], theirs[k], 1e-9) << k;
}

// A symmetric pair splits into an even and an odd line, each a two-conductor line of the
// matrices' sums or differences between the same per-conductor ports. The four-port's entries
// are then half sums and differences of the two modes' S-parameters (the losses included).
TEST(CoupledModel, SymmetricPairIsItsEvenAndOddLines) {
  for (double f : {1e7, 7.3e8, 3e9}) {
    SCOPED_TRACE(f);
    const LineMatrices m = LossyPair(f);
    const std::vector<Complex> S = CoupledSParameters(m, 0.37, 50);
    const RlgcPoint even{f, m.R[0] + m.R[1], m.L[0] + m.L[1], m.G[0] + m.G[1], m.C[0] + m.C[1]};
    const RlgcPoint odd{f, m.R[0] - m.R[1], m.L[0] - m.L[1], m.G[0] - m.G[1], m.C[0] - m.C[1]};
    const SParameters e = LineSParameters(even, 0.37, 50), o = LineSParameters(odd, 0.37, 50);
    const auto s = [&](int i, int j) { return S[static_cast<std::size_t>((i - 1) * 4 + j - 1)]; };
    EXPECT_LT(std::abs(s(1, 1) - (e.s11 + o.s11) / 2.0), 1e-9);
    EXPECT_LT(std::abs(s(1, 2) - (e.s11 - o.s11) / 2.0), 1e-9);  // near-end crosstalk
    EXPECT_LT(std::abs(s(3, 1) - (e.s21 + o.s21) / 2.0), 1e-9);  // through
    EXPECT_LT(std::abs(s(4, 1) - (e.s21 - o.s21) / 2.0), 1e-9);  // far-end crosstalk
    EXPECT_LT(std::abs(s(4, 4) - (e.s22 + o.s22) / 2.0), 1e-9);
  }
}

// Three coupled lines without symmetry: a lossless line is reciprocal and passes all power
// (S^T = S, S^H S = I); with losses it is reciprocal and passive (no column carries out more
// power than came in). Zero length is a through connection.
TEST(CoupledModel, MultiportIsReciprocalAndPassive) {
  for (bool lossy : {false, true}) {
    for (double f : {1e6, 4.4e8, 5e9}) {
      SCOPED_TRACE(std::to_string(f) + (lossy ? " lossy" : ""));
      const LineMatrices m = lossy ? WithLoss(ThreeLines(f), 20.0, 0.02) : ThreeLines(f);
      const std::vector<Complex> S = CoupledSParameters(m, 0.8, 42);
      for (int j = 0; j < 6; ++j) {
        double power = 0;
        for (int i = 0; i < 6; ++i) {
          EXPECT_LT(std::abs(S[i * 6 + j] - S[j * 6 + i]), 1e-10);
          power += std::norm(S[i * 6 + j]);
          if (lossy) continue;
          Complex product = 0;
          for (int k = 0; k < 6; ++k) product += std::conj(S[k * 6 + i]) * S[k * 6 + j];
          EXPECT_LT(std::abs(product - (i == j ? 1.0 : 0.0)), 1e-10);
        }
        if (lossy) {
          EXPECT_LT(power, 1.0);
        }
      }
    }
  }
  const std::vector<Complex> through = CoupledSParameters(ThreeLines(1e8), 0, 50);
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j)
      EXPECT_LT(std::abs(through[i * 6 + j] - (std::abs(i - j) == 3 ? 1.0 : 0.0)), 1e-12);
}

// The entries of R = r sqrt(f / 1 GHz) and G = w C tan(delta) fit R0 + Rs sqrt(f) and
// G0 + Gd f exactly, the mutual terms with their signs.
TEST(CoupledFiles, WElementFitKeepsTheSignsOfTheMutualTerms) {
  std::vector<LineMatrices> points;
  for (double f : {1e8, 1e9, 4e9}) points.push_back(LossyPair(f));
  const WElementMatrices fit = FitWElementMatrices(points);
  EXPECT_NEAR(fit.Rs[0], 5.0 / std::sqrt(1e9), 1e-9 * fit.Rs[0]);
  EXPECT_NEAR(fit.Rs[1], 0.5 / std::sqrt(1e9), 1e-9 * fit.Rs[0]);
  EXPECT_NEAR(fit.Gd[1], 2 * testing::kPiValue * 0.01 * points[0].C[1], 1e-9 * fit.Gd[0]);
  EXPECT_LT(fit.Gd[1], 0);
  EXPECT_LT(fit.worstR, 1e-9);
  EXPECT_LT(fit.worstG, 1e-9);
  const std::string text = CoupledWElementText(fit, points, 0.2, "pair");
  EXPECT_NE(text.find("* number of conductors\n2\n* L0 (H/m)\n"), std::string::npos);
}

// The files: written together, named after the table; the Touchstone header names the port
// order; the CPL card gives upper triangles. A refused point writes nothing.
TEST(CoupledFiles, WritesAllFilesOrNone) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("zolva-coupled-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::vector<LineMatrices> points = {ThreeLines(1e9), ThreeLines(1e8)};
  CoupledExportSettings settings;
  settings.tablePath = (folder / "bus.csv").string();
  settings.lineLength = 0.1;
  CoupledExportResult result;
  ASSERT_EQ(WriteCoupledFiles(points, settings, result), "");
  ASSERT_EQ(result.files.size(), 4u);
  const std::string table = testing::ReadWholeFile(folder / "bus.csv");
  EXPECT_EQ(table.substr(0, 46), "frequency (Hz),R1_1 (ohm/m),R1_2 (ohm/m),R1_3 ");
  EXPECT_EQ(table.substr(table.find('\n') + 1, 10), "1e+08,0,0,");  // sorted by frequency
  const std::string s6p = testing::ReadWholeFile(folder / "bus.s6p");
  EXPECT_NE(s6p.find("! port order: ports 1..3 at the near end, ports 4..6 at the far end\n"),
            std::string::npos);
  // Per frequency 6 rows of 6 entries, four to a line: 12 lines.
  const std::size_t option = s6p.find("# Hz S RI R 50\n");
  ASSERT_NE(option, std::string::npos);
  EXPECT_EQ(std::count(s6p.begin() + static_cast<long>(option), s6p.end(), '\n'), 1 + 2 * 12);
  EXPECT_EQ(TouchstoneNumbers(s6p).size(), 2u * (1 + 72));
  const std::string lib = testing::ReadWholeFile(folder / "bus.lib");
  const LineMatrices& high = points[0];
  EXPECT_NE(lib.find("+ L=" + ExactText(high.L[0]) + " " + ExactText(high.L[1]) + " " +
                     ExactText(high.L[2]) + " " + ExactText(high.L[4]) + " " +
                     ExactText(high.L[5]) + " " + ExactText(high.L[8]) + "\n"),
            std::string::npos);
  EXPECT_NE(lib.find("* use: P1 n1 n2 n3 0 f1 f2 f3 0 bus"), std::string::npos);

  points[1].C[4] = -1e-12;
  settings.lineLength = 0.2;
  const std::string refusal = WriteCoupledFiles(points, settings, result);
  EXPECT_NE(refusal.find("C(2,2) is -1e-12 F/m at 1e+08 Hz"), std::string::npos);
  EXPECT_EQ(testing::ReadWholeFile(folder / "bus.s6p"), s6p);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace zolva
