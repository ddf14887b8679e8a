// The error estimate: the same cross-section solved again at finer pixel sizes, and every figure
// extrapolated to a vanishing pixel size (Richardson). The figures of the solve itself, its map
// and its grid stay as they were; only the estimate is added to the results record.
#pragma once

#include <string>
#include <vector>

namespace zolva {

struct Context;

// The order in the pixel size assumed with two solves. Conductor and dielectric edges drawn as
// pixel staircases misplace the boundary by a fraction of a pixel, which shifts every figure in
// proportion to the pixel size; the five-point relaxation's own error, of second order, is the
// smaller part at the resolutions used. Measured on coaxes, twin lines and a wire over a plane.
inline constexpr double kAssumedOrder = 1.0;
// The observed order is searched in this range; outside it three solves are not in the
// asymptotic range and the assumed order is used.
inline constexpr double kLeastOrder = 0.5;
inline constexpr double kGreatestOrder = 4.0;

// The stated error is the distance of the raw figure from the extrapolated one times a safety
// factor (as in Roache's grid convergence index): the staircases of curved boundaries shift as
// the pixels shrink, so that successive figures approach the limit unevenly; on coaxes the raw
// figure's true error reached 1.4 times the bare Richardson difference. With an observed order
// the unevenness shows in the order itself, and the smaller factor suffices.
inline constexpr double kStatedErrorFactor = 1.5;
inline constexpr double kStatedErrorFactorObserved = 1.25;

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

// The relative error of a raw figure: its distance from the extrapolated value as a fraction of
// it (positive when the raw figure is too large).
double RelativeError(double raw, double extrapolated);
// The error the estimate states for the raw figure: RelativeError times the safety factor.
double StatedError(double raw, const Extrapolation& e);

// Solves the current cross-section again at finer pixel sizes (a generated geometry with about
// four times the conductor pixels, a Usermap at the next rescale up) for the figures of the
// given kinds, and writes their estimates into the results record. A refinement that cannot be
// made or solved leaves no estimate; the answer then says why (else it is empty). Everything
// else the solves changed (map, grid, panel, results) is put back as it was.
std::string EstimateError(Context& ctx, bool lAndRs, bool cAndGp);

// The conductor pixel total of a generated geometry that gives about the target pixel width,
// searched by regenerating the map (cheap against a solve). Returns the pixel width reached.
double RefineGeneratedMap(Context& ctx, int startTotal, double targetPixelWidth);

}  // namespace zolva
