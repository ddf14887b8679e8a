// The answers of the solvers and the derived figures shown on the results page.
#pragma once

#include <string>
#include <vector>

namespace zolva {

struct Results {
  double L = 0.0;    // H/m; 0: no L and Rs result
  double Rs = 0.0;   // ohm/m
  double C = 0.0;    // F/m; 0: no C and Gp result
  double Gp = 0.0;   // S/m
  double VoL = 0.0;  // V
  double Ignd = 0.0; // fraction of the current returning through ground
  double VoC = 0.0;  // V
  double Qdif = 0.0; // percent
  std::vector<double> floatVolts;  // per palette colour
  int runSecondsL = 0;
  int runSecondsC = 0;
  double vfAssumed = 1.0;
  bool rsWarning = false;
  std::string summary;
};

}  // namespace zolva
