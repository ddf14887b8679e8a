// The list of conductor pixels that both solvers walk, built once per solve with the per-pixel
// kind map. The L and Rs solver classifies every entry by its surface shape and depth
// (lsolver/surface_classification.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/solve_failure.h"

namespace zolva {

class Reporter;
struct MaterialTables;
struct PixelMap;
struct SolveState;

// Letters of the surface shape. A to F carry their own resistance data; G and H (line ends and
// lone diagonal contacts) are resisted like C; I is the interior, where no surface was assigned.
using SurfaceKind = char16_t;
inline constexpr SurfaceKind SurfaceInterior = u'I';
// Deepest layer counted below a surface; pixels farther inside keep depth 0.
inline constexpr int kMaxSurfaceDepth = 32;

// One entry per conductor pixel, as five parallel arrays. Entry j is the j-th conductor pixel met
// when the map is scanned column by column from the right, each column from the bottom up; every
// other part of the solvers names a conductor pixel by this entry number.
struct ConductorIndex {
  std::vector<std::int32_t> x;
  std::vector<std::int32_t> y;
  std::vector<std::int8_t> kind;         // KindPlus, KindMinus, KindGround or KindFloat
  std::vector<std::uint8_t> depth;       // 1 on the surface, 2..32 inside, 0 deeper or unset
  std::vector<SurfaceKind> surfaceKind;  // 'A'..'I', 0 until classified

  int plusPixels = 0;
  int minusPixels = 0;
  int groundPixels = 0;
  int floatPixels = 0;
  bool hasPlus = false;
  bool hasMinus = false;
  bool hasGround = false;
  bool hasFloat = false;
  bool hasAllThree = false;  // +1, -1 and ground all present

  std::size_t size() const { return x.size(); }
};

// A place where conductors held at different fixed voltages touch: pixel (x, y) and its
// neighbour (nx, ny), which shares an edge or a corner node with it.
struct ShortCircuit {
  bool found = false;
  int x = 0, y = 0, nx = 0, ny = 0;
};

// The first touching pair of different fixed voltages met in a row-by-row scan of Ukind
// (Uwid x Uhei); else a pixel of one voltage touching a floating body that also touches another
// voltage, with the floating pixel it touches.
ShortCircuit FindShortCircuit(const PixelMap& map);

// Rebuilds Uindex, Ukind, the counts and flags and the index from Ucolor. Returns false, with
// abortRequested and operationFailed set and the reason in failure, when the map holds fewer than
// two fixed-voltage conductors, when two of them touch, or more colours than the palette can hold.
// For coupled lines (`coupled`) neither of the first two is checked here: the numbering of the
// conductors does it by region.
bool BuildConductorIndex(PixelMap& map, MaterialTables& materials, ConductorIndex& index,
                         SolveState& state, Reporter& report, FailureSlot& failure,
                         bool coupled = false);

}  // namespace zolva
