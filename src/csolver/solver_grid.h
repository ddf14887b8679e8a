// The capacitance solver's two lattices of voltage nodes: the core (one node per pixel corner)
// and the apron (one node every 8 core nodes) around it, with the offsets between the frames.
#pragma once

#include <cstdint>
#include <vector>

namespace zolva {

// Node codes: bit sets, tested by bit.
inline constexpr std::uint8_t NodeFree = 1;
inline constexpr std::uint8_t NodeFreeMixed = 2;
inline constexpr std::uint8_t NodeConductor = 4;
inline constexpr std::uint8_t NodeOutside = 8;
inline constexpr std::uint8_t NodeMarked = 16;

struct SolverGrid {
  int Cwid = 1, Chei = 1, Awid = 1, Ahei = 1;
  int UtoCX = 0, UtoCY = 0, CtoUX = 0, CtoUY = 0;
  int AtoCX = 0, AtoCY = 0, CtoAX = 0, CtoAY = 0;
  int AtoUX = 0, AtoUY = 0;
  int footLeft = 0, footRight = 0, footTop = 0, footBottom = 0;
  int predictLeft = 0, predictRight = 0, predictTop = 0, predictBottom = 0;
  int predictWidth = 0, predictHeight = 0;
  bool openBoundary = false;
  bool apronActive = false;
  std::vector<double> Cvolts = std::vector<double>(1, 0.0);
  std::vector<double> Avolts = std::vector<double>(1, 0.0);
  std::vector<std::uint8_t> Ccode = std::vector<std::uint8_t>(1, 0);
  std::vector<std::uint8_t> Acode = std::vector<std::uint8_t>(1, 0);
  std::vector<std::uint8_t> Cmat = std::vector<std::uint8_t>(1, 0);
  std::vector<std::uint8_t> Amat = std::vector<std::uint8_t>(1, 0);
};

}  // namespace zolva
