// The answers of the solvers and the derived figures shown on the results page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zolva {

struct Context;

// Speed of light in vacuum, metres per second.
inline constexpr double kSpeedOfLight = 299792458.0;

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

// Redraws the results page from the results record.
void DrawResults(Context& ctx);
// The ruled lines of a page of the given size: a column rule at x = 200 over the full height and
// a frame from (410, 0) down to (410, 66) and across to the right edge.
std::vector<ResultsRule> ResultsPageRules(int pageWidth, int pageHeight);
// The page as plain text for the headless front end: one text line per page row, top to bottom,
// each text placed at a column proportional to its x.
std::string ResultsPageText(const Context& ctx);

// A page value: Str with one more digit of width and of decimals, or three more with switch 29.
std::string Fmt(const Context& ctx, double x, int w, int d);
// The assumed velocity factor as the page and the summaries write it.
std::string VfText(const Context& ctx);
// A run time of t whole seconds: "60 seconds", "   1.0 minutes".
std::string TimeText(int t);

// The one-line summaries after an L and Rs solve and after a C and Gp solve; each is logged
// when the solve took a minute or more. SummarizeC reports program error 1 when C is 0.
void SummarizeL(Context& ctx);
void SummarizeC(Context& ctx);
// Appends summary (and, with both results, the combined figures) to "zolva log.txt" in the
// program folder when seconds >= 60. Returns false after a message when the log cannot be
// written; the results themselves are kept.
bool AppendLog(Context& ctx, int seconds);

}  // namespace zolva
