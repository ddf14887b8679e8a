// The error estimate: the same cross-section solved again at finer pixel sizes, and every figure
// extrapolated to a vanishing pixel size (Richardson). The figures of the solve itself, its map
// and its grid stay as they were; only the estimate is added to the results record.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zolva {

struct Context;

// The order in the pixel size assumed with two solves. Conductor and dielectric edges drawn as
// pixel staircases misplace the boundary by a fraction of a pixel, which shifts every figure in
// proportion to the pixel size; the five-point difference equations' own error, of second order,
// is the smaller part at the resolutions used. Measured on coaxes, twin lines and a wire over a
// plane.
inline constexpr double kAssumedOrder = 1.0;
// The observed order is searched in this range; outside it three solves are not in the
// asymptotic range and the assumed order is used.
inline constexpr double kLeastOrder = 0.5;
inline constexpr double kGreatestOrder = 4.0;
// Orders three solves of a staircase boundary show when they converge steadily: about the first,
// with room for the unevenness of staircases that shift as the pixels shrink. Outside it the
// solves are not converging steadily, and the stated error covers the largest difference between
// them. (Drawn coaxes whose error halves as the drawing doubles showed orders of 2.3 to 3.7 from
// three solves a factor sqrt 2 apart: each resolution places the staircase differently against
// the shape. The order is therefore reported, and the extrapolation assumes the first.)
inline constexpr double kLeastExpectedOrder = 0.6;
inline constexpr double kGreatestExpectedOrder = 2.0;

// The stated error is the distance of the raw figure from the extrapolated one times a safety
// factor (as in Roache's grid convergence index): the staircases of curved boundaries shift as
// the pixels shrink, so that successive figures approach the limit unevenly; on coaxes the raw
// figure's true error reached 1.4 times the bare Richardson difference. With an observed order
// the unevenness shows in the order itself, and the smaller factor suffices.
inline constexpr double kStatedErrorFactor = 1.5;
inline constexpr double kStatedErrorFactorObserved = 1.25;

// The linear refinement between the solves of an estimate: three solves a factor sqrt 2 apart
// cost 2 + 4 times the raw solve, two solves a factor 2 apart 4 times.
inline constexpr double kThreeSolveFactor = 1.4142135623730951;
inline constexpr double kTwoSolveFactor = 2.0;

// A figure extrapolated from its values at several pixel sizes.
struct Extrapolation {
  bool valid = false;
  double value = 0.0;
  double order = 0.0;
  bool observed = false;  // the order was measured from three values
};

// h: the pixel sizes, coarsest first, each smaller than the one before; x: the figure at each.
// With two values the assumed order is used; with three the order is solved from the ratio of
// the two differences when they shrink in the same direction, else the assumed order extrapolates
// the two finest. Invalid with fewer than two values, sizes that do not shrink, or non-finite
// figures.
Extrapolation Richardson(const std::vector<double>& h, const std::vector<double>& x,
                         double assumedOrder = kAssumedOrder);

// The estimate of one figure from its series: the extrapolated value (the two finest solves with
// the assumed order), the order observed from three, and the error stated for the value at
// index raw (of h and x, ordered as for Richardson): the safety factor times the raw figure's
// distance from the limit.
struct SeriesEstimate {
  bool valid = false;
  double extrapolated = 0.0;
  double statedError = 0.0;  // relative to the extrapolated value; the sign of raw - limit
  double order = 0.0;
  bool observed = false;
  // Three solves that do not converge steadily: differences of opposite signs, or an order
  // outside the expected range. The stated error then covers the largest difference between
  // them.
  bool unsteady = false;
  double largestDifference = 0.0;  // largest relative difference between any two solves
};
// The stated error is never smaller than the raw figure's distance from any other solve of the
// series: an estimate never states less than it can show.
SeriesEstimate EstimateSeries(const std::vector<double>& h, const std::vector<double>& x,
                              std::size_t raw);

// The note on a series that does not converge steadily (empty for a steady one), naming the
// figure; and a fraction as a percentage with two decimals at most, without sign.
std::string UnsteadyNote(const SeriesEstimate& se, int solves, const std::string& name);
std::string PercentWords(double fraction);

// The relative error of a raw figure: its distance from the extrapolated value as a fraction of
// it (positive when the raw figure is too large).
double RelativeError(double raw, double extrapolated);
// The error the estimate states for the raw figure: RelativeError times the safety factor.
double StatedError(double raw, const Extrapolation& e);

// Solves the current cross-section again at other pixel sizes for the figures of the given
// kinds, and writes their estimates into the results record: three solves a factor sqrt 2 apart
// (two a factor 2 apart when the panel asks for two). A generated geometry is generated again at
// the finer pixel width; a Usermap is redrawn from its reconstructed boundaries (RedrawMap).
// Where a finer map would not fit the solver, coarser copies are solved instead. A series that
// does not converge steadily adds a note to the results. A refinement that cannot be made or
// solved leaves no estimate; the answer then says why (else it is empty). Everything else the
// solves changed (map, grid, panel, results) is put back as it was.
std::string EstimateError(Context& ctx, bool lAndRs, bool cAndGp);

// The conductor pixel total of a generated geometry that gives about the target pixel width,
// searched by regenerating the map (cheap against a solve). Returns the pixel width reached.
double RefineGeneratedMap(Context& ctx, int startTotal, double targetPixelWidth);

}  // namespace zolva
