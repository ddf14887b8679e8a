#include "geometry/map_refine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace zolva {

namespace {

// The boundaries of a map as runs of pixel edges, and the curve they are read as.
//
// Orientation 0 holds the horizontal edges: edge (i, j) lies between pixels (i, j - 1) and
// (i, j), "along" is x and "across" is y. Orientation 1 holds the vertical edges with the roles
// of x and y exchanged. A run is a maximal row of edges at the same across position with the
// same colour on each side. Two runs one after the other whose across positions differ by less
// than kSquareCornerPixels are steps of a staircase: the boundary is read as the line joining
// the runs' centres. A run whose end meets no such step ends in a corner or a junction, and its
// boundary stays on the pixel edges there.
class Boundaries {
 public:
  explicit Boundaries(const PixelMap& map) : map_(map) {
    const std::size_t n = static_cast<std::size_t>(std::max(map.Uwid, 0)) *
                          static_cast<std::size_t>(std::max(map.Uhei, 0));
    if (map.Uwid < 1 || map.Uhei < 1 || map.Ucolor.size() != n)
      throw std::invalid_argument("the map of " + std::to_string(map.Uwid) + " x " +
                                  std::to_string(map.Uhei) + " pixels holds " +
                                  std::to_string(map.Ucolor.size()) + " colours");
    for (int o = 0; o < 2; ++o) FindRuns(o);
  }

  // The colour of the point (u, v) of the old map, pixel (i, j) spanning [i, i + 1) x [j, j + 1).
  std::uint32_t ColourAt(double u, double v) const {
    const int pi = std::clamp(static_cast<int>(std::floor(u)), 0, map_.Uwid - 1);
    const int pj = std::clamp(static_cast<int>(std::floor(v)), 0, map_.Uhei - 1);
    const std::uint32_t own = Colour(0, pi, pj);
    std::uint32_t chosen = own;
    int longest = 0;
    for (int o = 0; o < 2; ++o) {
      const double s = o == 0 ? u : v, q = o == 0 ? v : u;
      const int pa = o == 0 ? pi : pj, pq = o == 0 ? pj : pi;
      // The edge before the pixel (across pq) and the one after it (across pq + 1): the point
      // goes to the neighbour when the boundary read there passes beyond it.
      for (int side = 0; side < 2; ++side) {
        const int edge = pq + side;
        const int other = side == 0 ? pq - 1 : pq + 1;
        if (other < 0 || other >= Across(o)) continue;
        const std::uint32_t c = Colour(o, pa, other);
        if (c == own) continue;
        const double b = BoundaryAt(o, pa, edge, s);
        const bool beyond = side == 0 ? q < b : q > b;
        const int length = RunEnd(o, pa, edge) - RunStart(o, pa, edge) + 1;
        if (beyond && length > longest) {
          longest = length;
          chosen = c;
        }
      }
    }
    return chosen;
  }

 private:
  int Along(int o) const { return o == 0 ? map_.Uwid : map_.Uhei; }
  int Across(int o) const { return o == 0 ? map_.Uhei : map_.Uwid; }
  std::uint32_t Colour(int o, int along, int across) const {
    const int x = o == 0 ? along : across, y = o == 0 ? across : along;
    return map_.Ucolor[static_cast<std::size_t>(y) * static_cast<std::size_t>(map_.Uwid) +
                       static_cast<std::size_t>(x)];
  }
  std::size_t Key(int o, int along, int across) const {
    return static_cast<std::size_t>(across) * static_cast<std::size_t>(Along(o)) +
           static_cast<std::size_t>(along);
  }
  // Whether edge (along, across) separates colours a (before) and b (after).
  bool Separates(int o, int along, int across, std::uint32_t a, std::uint32_t b) const {
    if (along < 0 || along >= Along(o) || across < 1 || across >= Across(o)) return false;
    return Colour(o, along, across - 1) == a && Colour(o, along, across) == b;
  }
  int RunStart(int o, int along, int across) const { return start_[o][Key(o, along, across)]; }
  int RunEnd(int o, int along, int across) const { return end_[o][Key(o, along, across)]; }

  void FindRuns(int o) {
    const std::size_t n = static_cast<std::size_t>(Along(o)) * static_cast<std::size_t>(Across(o));
    start_[o].assign(n, 0);
    end_[o].assign(n, 0);
    for (int q = 1; q < Across(o); ++q) {
      int s = 0;
      while (s < Along(o)) {
        const std::uint32_t a = Colour(o, s, q - 1), b = Colour(o, s, q);
        int e = s;
        if (a != b) {
          while (e + 1 < Along(o) && Separates(o, e + 1, q, a, b)) ++e;
          for (int k = s; k <= e; ++k) {
            start_[o][Key(o, k, q)] = s;
            end_[o][Key(o, k, q)] = e;
          }
        }
        s = e + 1;
      }
    }
  }

  // The centre and across position of the run that continues run (along, across) as a step
  // beyond its end at along position next (one past its last edge, or one before its first);
  // false when its end meets no step.
  bool StepBeyond(int o, int along, int across, int next, double& centre, int& position) const {
    const std::uint32_t a = Colour(o, along, across - 1), b = Colour(o, along, across);
    if (next < 0 || next >= Along(o)) return false;
    for (int d : {1, -1, 2, -2}) {
      if (std::abs(d) >= kSquareCornerPixels) continue;
      const int q = across + d;
      if (!Separates(o, next, q, a, b)) continue;
      // The riser between the two runs is of one colour: after the boundary for a step back,
      // before it for a step forward.
      bool riser = true;
      for (int k = std::min(q, across); k < std::max(q, across); ++k)
        riser = riser && Colour(o, next, k) == (d < 0 ? b : a);
      if (!riser) continue;
      centre = 0.5 * (RunStart(o, next, q) + RunEnd(o, next, q) + 1);
      position = q;
      return true;
    }
    return false;
  }

  // The across position of the boundary read at along position s over edge (along, across).
  // Between the centres of two runs the line crosses half way between them where the step is
  // drawn: not before the last pixel centre of the one run nor after the first of the next, so
  // that the boundary passes every pixel centre on the side its colour says.
  double BoundaryAt(int o, int along, int across, double s) const {
    const int first = RunStart(o, along, across), last = RunEnd(o, along, across);
    const double centre = 0.5 * (first + last + 1);
    const bool forward = s >= centre;
    double other = 0.0;
    int position = across;
    if (!StepBeyond(o, along, across, forward ? last + 1 : first - 1, other, position))
      return across;
    const double edge = forward ? last + 1 : first;
    const double half = std::clamp(0.5 * (centre + other), edge - 0.5, edge + 0.5);
    const double d = position - across;
    const double t = std::fabs(s - centre), tHalf = std::fabs(half - centre),
                 tOther = std::fabs(other - centre);
    if (t <= tHalf) return across + 0.5 * d * t / tHalf;
    return across + 0.5 * d + 0.5 * d * std::min(1.0, (t - tHalf) / (tOther - tHalf));
  }

  const PixelMap& map_;
  std::array<std::vector<int>, 2> start_, end_;
};

}  // namespace

RedrawnPicture RedrawnSize(int width, int height, double factor) {
  if (!(factor > 0.0) || !std::isfinite(factor))
    throw std::invalid_argument("redraw factor " + std::to_string(factor));
  RedrawnPicture p;
  p.width = static_cast<int>(std::max(1.0, std::round(width * factor)));
  p.height = static_cast<int>(std::max(1.0, std::round(height * factor)));
  return p;
}

RedrawnPicture RedrawMap(const PixelMap& map, double factor) {
  RedrawnPicture p = RedrawnSize(map.Uwid, map.Uhei, factor);
  const Boundaries boundaries(map);
  p.pixels.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
  for (int Y = 0; Y < p.height; ++Y) {
    const double v = (Y + 0.5) / factor;
    for (int X = 0; X < p.width; ++X) {
      p.pixels[static_cast<std::size_t>(Y) * static_cast<std::size_t>(p.width) +
               static_cast<std::size_t>(X)] = boundaries.ColourAt((X + 0.5) / factor, v);
    }
  }
  return p;
}

}  // namespace zolva
