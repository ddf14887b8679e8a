// The answers of the solvers: the figures of the last L and Rs and C and Gp solves, and the
// texts of the results page drawn from them.
#pragma once

#include <array>
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

// The figures an error estimate covers, in the order the reports list them.
enum EstimatedFigure : int {
  FigureC,
  FigureGp,
  FigureL,
  FigureRs,
  FigureZo,
  FigureVf,
  kFigureCount
};
inline constexpr const char* kFigureNames[kFigureCount] = {"C", "Gp", "L", "Rs", "Zo", "vf"};

// The discretisation error of one figure, from solves of the same cross-section at finer pixel
// sizes: the figure extrapolated to a vanishing pixel size, and the error of the raw figure as a
// fraction of it (positive when the raw figure is too large). An estimate belongs to the value it
// was made for (raw); once the record holds another value it no longer applies.
struct FigureEstimate {
  bool valid = false;
  double raw = 0.0;
  double extrapolated = 0.0;
  double relativeError = 0.0;
};

// How the last estimate of a kind of solve was made.
struct EstimateBasis {
  int solves = 0;              // solves at different pixel sizes, the raw one included
  double order = 0.0;          // order in the pixel size used for the extrapolation
  bool observedOrder = false;  // measured from three solves rather than assumed
  double finestPixelWidth = 0.0;
  double seconds = 0.0;   // the time of the estimate's own solves
  bool downward = false;  // refined to coarser copies: a finer map would not fit
};

// The strongest field of the last C and Gp solve, per volt between the conductors.
struct PeakField {
  bool valid = false;
  double voltsPerMetre = 0.0;   // V/m per volt of drive
  int x = 0, y = 0;             // Usermap pixel of the cell where it lies
  std::string material;         // name of the insulator there
  double strength = 0.0;        // its dielectric strength, V/m
  double breakdownVolts = 0.0;  // drive at which the peak reaches the strength
};

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
  // The estimate, notes and peak field at the end of the summary, in full (the summary may cut
  // them); the log writes what the summary had no room for on a line of its own.
  std::string summaryExtra;
  // Things the user should know about the last C and Gp solve; empty when there is nothing.
  std::vector<std::string> notes;
  // What the user should know about the last estimate of L and Rs (its solves did not converge
  // steadily); empty when there is nothing.
  std::vector<std::string> notesL;
  PeakField peak;
  std::array<FigureEstimate, kFigureCount> estimate{};
  EstimateBasis estimateL, estimateC;  // of the last estimated L and Rs and C and Gp solves
  // The texts of the results page as last drawn; a later text at the same place replaces an
  // earlier one, as it would cover it on the page.
  std::vector<ResultsLine> page;
};

}  // namespace zolva
