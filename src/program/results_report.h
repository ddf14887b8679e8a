// The results page, the one-line summaries and the log, drawn from the results record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/results.h"

namespace zolva {

struct Context;

// Redraws the results page from the results record.
void DrawResults(Context& ctx);
// The ruled lines of a page of the given size: a column rule at x = 200 over the full height and
// a frame from (410, 0) down to (410, 66) and across to the right edge.
std::vector<ResultsRule> ResultsPageRules(int pageWidth, int pageHeight);
// The page as plain text for the headless front end: one text line per page row, top to bottom,
// each text placed at a column proportional to its x.
std::string ResultsPageText(const Context& ctx);

// A page value: Str with one more digit of width and of decimals, or three more with
// Switch::WideResults.
std::string Fmt(const Context& ctx, double x, int w, int d);
// The assumed velocity factor as the page and the summaries write it.
std::string VfText(const Context& ctx);
// A run time of t whole seconds: "60 seconds", "   1.0 minutes".
std::string TimeText(int t);

// The one-line summaries after an L and Rs solve and after a C and Gp solve; each is logged
// when the solve took a minute or more. SummarizeC reports program error 1 when C is 0.
// With log false the summary is built but not yet logged (an error estimate is to follow).
void SummarizeL(Context& ctx, bool log = true);
void SummarizeC(Context& ctx, bool log = true);
// The texts that follow the results page's own lines: the estimate of each figure and the peak
// field, each of them also part of the summaries, the log and the JSON.
std::string EstimateText(const Context& ctx, EstimatedFigure figure);
std::string PeakFieldText(const Context& ctx);
// The short form of EstimateText for the page's narrow columns.
std::string PageEstimateText(const Context& ctx, EstimatedFigure figure);
std::string BreakdownText(const Context& ctx);
// The estimate of a figure when it belongs to the figure's current value, else nullptr.
const FigureEstimate* CurrentEstimate(const Context& ctx, EstimatedFigure figure);
// The current value of a figure (Zo and vf need both L and C), 0 when there is none.
double FigureValue(const Results& r, EstimatedFigure figure);
// Appends summary (and, with both results, the combined figures) to "zolva log.txt" in the
// program folder when seconds >= 60. Returns false after a message when the log cannot be
// written; the results themselves are kept.
bool AppendLog(Context& ctx, int seconds);
// Appends the date, the time and the lines (ended by CR LF each) to the log on the same terms.
bool AppendLogLines(Context& ctx, int seconds, const std::string& lines);

}  // namespace zolva
