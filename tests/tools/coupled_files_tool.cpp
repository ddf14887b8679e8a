// Writes the coupled-line files of a pair of wires over a ground plane whose matrices are known
// in closed form, and prints the result lines of its modes, for the scripts that read the files
// with other programs (scikit-rf, ngspice).
//   zolva_coupled_files TABLE.csv LENGTH_M Z0 pair|lossy-pair
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "program/coupled_files.h"
#include "support/coupled_lines.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s TABLE.csv LENGTH_M Z0 pair|lossy-pair\n", argv[0]);
    return 2;
  }
  const std::string kind = argv[4];
  if (kind != "pair" && kind != "lossy-pair") {
    std::fprintf(stderr, "unknown line \"%s\"\n", kind.c_str());
    return 2;
  }
  // Wires 0.5 mm across, 1 mm above the plane and 2 mm apart, in a medium that gives the even
  // mode a relative permittivity of 3 and the odd mode 2.6.
  std::vector<zolva::LineMatrices> points;
  for (double f : {1e7, 1e8, 2e8, 5e8, 1e9}) {
    zolva::LineMatrices m = zolva::testing::InhomogeneousPair(
        zolva::testing::WiresOverPlane({{-1e-3, 1e-3}, {1e-3, 1e-3}}, 0.25e-3, f), 3.0, 2.6);
    if (kind == "lossy-pair") m = zolva::testing::WithLoss(m, 5.0, 0.002);
    points.push_back(m);
  }
  zolva::CoupledExportSettings settings;
  settings.tablePath = argv[1];
  settings.lineLength = std::strtod(argv[2], nullptr);
  settings.referenceImpedance = std::strtod(argv[3], nullptr);
  zolva::CoupledExportResult result;
  const std::string failure = zolva::WriteCoupledFiles(points, settings, result);
  if (!failure.empty()) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    return 1;
  }
  const zolva::CoupledModes modes = zolva::LosslessModes(points.back());
  for (const std::string& line : zolva::CoupledResultLines(modes, points.back().names))
    std::printf("%s\n", line.c_str());
  for (const std::string& file : result.files) std::printf("wrote %s\n", file.c_str());
  return 0;
}
