// The conductors of a line of coupled conductors: every separate region of signal metal (a +1 or
// -1 colour) is a conductor with its own number, the ground (every ground pixel together) is the
// common reference. Floating metal stays floating, one body per colour, as in a two-conductor
// solve. The numbers run in reading order (rows from the top, each row from the left) of a
// region's first pixel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zolva {

struct MaterialTables;
struct PixelMap;

struct NumberedConductor {
  int firstX = 0, firstY = 0;           // the region's first pixel in reading order
  int colour = 0;                       // palette index
  int pixels = 0;                       // signal-metal pixels of the region
  double centreX = 0.0, centreY = 0.0;  // mean pixel position (pixel centres)
};

struct ConductorNumbering {
  int width = 0, height = 0;
  // Per pixel (x + y * width): the conductor number 1..count, 0 for every other pixel.
  std::vector<std::int16_t> number;
  std::vector<NumberedConductor> conductors;  // conductor k is conductors[k - 1]
  bool hasGround = false;
  // 0: the ground is the reference. Else the number of the conductor held as the reference
  // (a map without ground): the matrices then leave it out.
  int reference = 0;

  int count() const { return static_cast<int>(conductors.size()); }
  // Signal conductors, the reference excluded: the order of the matrices.
  int signalCount() const { return count() - (reference > 0 ? 1 : 0); }
  // Row of conductor k (1..count) in the matrices, -1 for the reference.
  int SignalOf(int k) const {
    if (k == reference) return -1;
    return reference > 0 && k > reference ? k - 2 : k - 1;
  }
  // Conductor number of matrix row i.
  int ConductorOf(int i) const { return reference > 0 && i + 1 >= reference ? i + 2 : i + 1; }
};

// Numbers the signal conductors of a map whose palette indices (Uindex) are built. Pixels the
// skin-depth restriction repainted as no-current metal join the region they lie in, so that the
// numbers are those of the map before the restriction. chosenReference (0: none) picks the
// reference conductor of a map without ground; without a choice it is the last conductor.
// Returns false, with the message for the user in `refusal`, when two conductors of different
// colours touch (a short circuit), when a chosen reference does not exist, or when no signal
// conductor is left beside the reference.
bool NumberConductors(const PixelMap& map, const MaterialTables& materials, int chosenReference,
                      ConductorNumbering& out, std::string& refusal);

// The colour as "name (RRGGBB)", or "RRGGBB" when the colour table names none.
std::string ColourLabel(const MaterialTables& materials, int paletteIndex);

}  // namespace zolva
