// The answers of the solvers: the figures of the last L and Rs and C and Gp solves, and the
// texts of the results page drawn from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/line_figures.h"

namespace zolva {

// One text of the results page: its top left corner in design units and its packed colour.
struct ResultsLine {
  int x = 0, y = 0;
  std::string text;
  std::uint32_t color = 0;
  bool bold = false;
};

// One ruled line of the results page, in design units.
struct ResultsRule {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

inline constexpr std::uint32_t kResultsBlack = 0x000000;
inline constexpr std::uint32_t kResultsGrey = 0xAAAAAA;  // R170 G170 B170: estimates
inline constexpr std::uint32_t kResultsRed = 0x0000FF;   // R255: a doubtful Rs
inline constexpr std::uint32_t kResultsBackground = 0xFFFFFF;

struct Results {
  double L = 0.0;     // H/m; 0: no L and Rs result
  double Rs = 0.0;    // ohm/m
  double C = 0.0;     // F/m; 0: no C and Gp result
  double Gp = 0.0;    // S/m
  double VoL = 0.0;   // V
  double Ignd = 0.0;  // fraction of the current returning through ground
  double VoC = 0.0;   // V
  double Qdif = 0.0;  // percent
  std::vector<double> floatVolts = std::vector<double>(256, 0.0);  // per palette colour
  int runSecondsL = 0;
  int runSecondsC = 0;
  double vfAssumed = 1.0;
  bool rsWarning = false;
  std::string summary;  // the last one-line summary, at most 255 characters
  // The texts of the results page as last drawn; a later text at the same place replaces an
  // earlier one, as it would cover it on the page.
  std::vector<ResultsLine> page;
};

}  // namespace zolva
