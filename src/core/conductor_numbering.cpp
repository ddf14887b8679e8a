// Region labelling of the signal metal of a map, for the coupled solves.
#include "core/conductor_numbering.h"

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/materials.h"
#include "core/pixel_map.h"

namespace zolva {

namespace {

char HexDigit(unsigned v) {
  return "0123456789ABCDEF"[v & 15u];
}

std::string Where(int x, int y) {
  return std::to_string(x) + "," + std::to_string(y);
}

}  // namespace

std::string ColourLabel(const MaterialTables& materials, int paletteIndex) {
  if (paletteIndex < 0 || paletteIndex >= kPaletteCapacity)
    throw std::out_of_range("ColourLabel: palette index " + std::to_string(paletteIndex));
  const PaletteEntry& e = materials.palette.entries[static_cast<std::size_t>(paletteIndex)];
  // Colours are packed red in the low byte; the label reads red, green, blue.
  std::string hex;
  for (int shift : {0, 8, 16}) {
    const unsigned byte = (e.color >> shift) & 0xFFu;
    hex += HexDigit(byte >> 4);
    hex += HexDigit(byte);
  }
  std::string name;
  if (e.tableIndex < materials.table.count)
    name = materials.table.entries[static_cast<std::size_t>(e.tableIndex)].name;
  return name.empty() ? hex : name + " (" + hex + ")";
}

bool NumberConductors(const PixelMap& map, const MaterialTables& materials, int chosenReference,
                      ConductorNumbering& out, std::string& refusal) {
  const int W = map.Uwid, H = map.Uhei;
  const std::size_t total =
      static_cast<std::size_t>(W < 0 ? 0 : W) * static_cast<std::size_t>(H < 0 ? 0 : H);
  if (W < 0 || H < 0 || map.Uindex.size() != total || map.Ucolor.size() != total)
    throw std::out_of_range("NumberConductors: the palette indices do not match the map size " +
                            std::to_string(W) + " x " + std::to_string(H));
  refusal.clear();
  ConductorNumbering n;
  n.width = W;
  n.height = H;
  n.number.assign(total, 0);

  std::array<MaterialKind, kPaletteCapacity> kinds;
  kinds.fill(KindInsul);
  const int paletteCount = materials.palette.count;
  for (int i = 0; i < paletteCount && i < kPaletteCapacity; ++i)
    kinds[static_cast<std::size_t>(i)] =
        materials.palette.entries[static_cast<std::size_t>(i)].kind;
  auto kindAt = [&](std::size_t p) { return kinds[map.Uindex[p]]; };
  auto isSignal = [&](MaterialKind k) { return k == KindPlus || k == KindMinus; };
  auto isMetal = [&](MaterialKind k) {
    return k == KindPlus || k == KindMinus || k == KindGround || k == KindFloat;
  };
  // The restriction repaints a conductor's inside as no-current metal, an insulator to the
  // solvers; for the numbering it is still part of the conductor around it.
  auto isRestricted = [&](std::size_t p) { return map.Ucolor[p] == NoCurrentMetalColor; };

  const std::size_t w = static_cast<std::size_t>(W);
  std::vector<std::size_t> stack;
  for (std::size_t start = 0; start < total; ++start) {
    if (kindAt(start) == KindGround) n.hasGround = true;
    if (n.number[start] != 0 || !isSignal(kindAt(start))) continue;
    if (n.conductors.size() >= 32767) {
      refusal = "The map holds more than 32767 separate conductors.";
      return false;
    }
    const std::int16_t label = static_cast<std::int16_t>(n.conductors.size() + 1);
    NumberedConductor c;
    c.firstX = static_cast<int>(start % w);
    c.firstY = static_cast<int>(start / w);
    c.colour = map.Uindex[start];
    double sumX = 0.0, sumY = 0.0;
    n.number[start] = label;
    stack.assign(1, start);
    while (!stack.empty()) {
      const std::size_t p = stack.back();
      stack.pop_back();
      const int x = static_cast<int>(p % w), y = static_cast<int>(p / w);
      if (!isRestricted(p)) {
        ++c.pixels;
        sumX += x + 0.5;
        sumY += y + 0.5;
      }
      // Pixels that touch at an edge or a corner share a node of the field grid: one region.
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx, ny = y + dy;
          if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= W || ny >= H) continue;
          const std::size_t q = static_cast<std::size_t>(ny) * w + static_cast<std::size_t>(nx);
          if (n.number[q] != 0) continue;
          const bool same = map.Uindex[q] == c.colour || isRestricted(q);
          if (same) {
            n.number[q] = label;
            stack.push_back(q);
          } else if (isMetal(kindAt(q))) {
            refusal = "Short circuit: conductors of the colours " +
                      ColourLabel(materials, c.colour) + " and " +
                      ColourLabel(materials, map.Uindex[q]) + " touch at Usermap " + Where(nx, ny) +
                      ". In coupled mode each conductor is a region of one colour.";
            return false;
          }
        }
      }
    }
    if (c.pixels > 0) {
      c.centreX = sumX / c.pixels;
      c.centreY = sumY / c.pixels;
    }
    n.conductors.push_back(c);
  }
  // No-current metal reached from no signal region is not numbered.
  if (chosenReference < 0) {
    refusal = "The reference conductor " + std::to_string(chosenReference) + " does not exist.";
    return false;
  }
  if (!n.hasGround) {
    if (chosenReference > n.count()) {
      refusal = "The reference conductor " + std::to_string(chosenReference) +
                " does not exist: the map holds " + std::to_string(n.count()) + " conductors.";
      return false;
    }
    n.reference = chosenReference > 0 ? chosenReference : n.count();
  }
  if (n.signalCount() < 1) {
    refusal = n.hasGround ? "Usermap deficient: no signal conductor beside the ground."
                          : "Usermap deficient: a map without ground needs two conductors.";
    return false;
  }
  out = std::move(n);
  return true;
}

}  // namespace zolva
