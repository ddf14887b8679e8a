// Drawing a map again at another resolution by a factor that need not be a whole number, from
// the material boundaries reconstructed below the pixel. Used to solve the same shape at finer
// (or coarser) pixel sizes, so that the solves converge to the shape the user drew and not to
// its staircase.
#pragma once

#include <cstdint>
#include <vector>

#include "core/pixel_map.h"

namespace zolva {

// A picture of packed colours, x + y * width.
struct RedrawnPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// The size of the map redrawn at the factor: each side times the factor, rounded, at least 1.
// Throws std::invalid_argument for a factor that is not a positive finite number.
RedrawnPicture RedrawnSize(int width, int height, double factor);

// The map's colours (Ucolor) redrawn at the factor, each new pixel taking the colour found at its
// centre in the shape reconstructed from the drawing:
// - every colour is a material, and its boundaries are runs of pixel edges with one colour on
//   each side;
// - runs that follow each other in steps of one or two pixels are a staircase drawn from a
//   curve: the boundary is read as the line through the centres of the runs, so that a circle
//   drawn in pixels is redrawn as a finer circle, not as an enlarged staircase;
// - a run that ends without such a step ends where it was drawn: a straight edge on pixel edges
//   stays where it is, a strip one or two pixels thick keeps its thickness in metres, and where
//   two straight edges of at least kSquareCornerPixels pixels meet the corner stays square.
// At a factor that is not a whole number an edge generally falls between the new pixels and is
// drawn at the nearest new pixel edge, as any drawing at that resolution would place it.
RedrawnPicture RedrawMap(const PixelMap& map, double factor);

inline constexpr int kSquareCornerPixels = 3;

}  // namespace zolva
