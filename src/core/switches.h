// The 50 numbered switches: diagnostic stops, debugging pictures, table habits and the tuning
// modes of the pixel resistance model. The user sets them by number (the script command DEB and
// the key banks); the code reads them only by the names of this table.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zolva {

inline constexpr int kSwitchCount = 50;

// The value of each name is the switch's number.
enum class Switch : int {
  SkipPrediction = 0,
  StopBeforePrediction = 1,
  StopAfterPredictedField = 2,
  SkipRelaxation = 3,
  Unused4 = 4,
  Unused5 = 5,
  Unused6 = 6,
  PermittivityInLines = 7,
  Unused8 = 8,
  KeyboardSwitches = 9,
  PauseScriptedSolves = 10,
  DebugOverlay = 11,
  ApronCodeMarkers = 12,
  RepaintChargeSteps = 13,
  PaintRegionSearch = 14,
  PaintFilledRegions = 15,
  FluxColourWheel = 16,
  ShowFluxValues = 17,
  Unused18 = 18,
  VoltageAtCoreEdges = 19,
  Unused20 = 20,
  Unused21 = 21,
  Unused22 = 22,
  AlwaysAppend = 23,
  DryRun = 24,
  Unused25 = 25,
  NoBorderBalance = 26,
  Unused27 = 27,
  Unused28 = 28,
  WideResults = 29,
  NoCoarseLattice = 30,
  PlainDcResistance = 31,
  AllLettersC = 32,
  // Switch 33 has two effects that the Function study needs together (see its row).
  FivePixelRing = 33,
  FitCorrection = 33,
  NoSkinCorrection = 34,
  SkipLowSteps = 35,
  FitDecay = 36,
  MarkSourceCorner = 37,
  FloatingCoilWires = 38,
  NineTurnCoil = 39,
  Unused40 = 40,
  Unused41 = 41,
  Unused42 = 42,
  Unused43 = 43,
  LayeredResistance = 44,
  ChainAnalysis = 45,
  FirstDepthRow = 46,
  Unused47 = 47,
  Unused48 = 48,
  Unused49 = 49,
};

struct SwitchRow {
  Switch id;
  std::string_view name;
  std::string_view meaning;
};

// Row n describes switch n.
inline constexpr std::array<SwitchRow, kSwitchCount> kSwitchTable{{
    {Switch::SkipPrediction, "SkipPrediction",
     "no islands and no prediction: the field solve starts from zero"},
    {Switch::StopBeforePrediction, "StopBeforePrediction",
     "the solve stops with the zeroed field, before the prediction"},
    {Switch::StopAfterPredictedField, "StopAfterPredictedField",
     "the solve stops once the prediction has set the conductors' voltages"},
    {Switch::SkipRelaxation, "SkipRelaxation",
     "no field solve: the capacitance is summed from the distributed and predicted field"},
    {Switch::Unused4, "Unused4", "no effect"},
    {Switch::Unused5, "Unused5", "no effect"},
    {Switch::Unused6, "Unused6", "no effect"},
    {Switch::PermittivityInLines, "PermittivityInLines",
     "the prediction's line integration weighs each step by the cell's permittivity"},
    {Switch::Unused8, "Unused8", "no effect"},
    {Switch::KeyboardSwitches, "KeyboardSwitches",
     "the key banks may toggle switches and load demonstration maps; the trace label and the "
     "relaxation's stage are shown"},
    {Switch::PauseScriptedSolves, "PauseScriptedSolves",
     "each scripted solve waits, checking every 3 seconds, until the switch is off again"},
    {Switch::DebugOverlay, "DebugOverlay",
     "node codes painted over the field, repaints during the island set-up, the status line's "
     "half-pixel shift moved to the map"},
    {Switch::ApronCodeMarkers, "ApronCodeMarkers",
     "the field painting marks the apron's node codes"},
    {Switch::RepaintChargeSteps, "RepaintChargeSteps",
     "the display is repainted at each step of the charge distribution"},
    {Switch::PaintRegionSearch, "PaintRegionSearch",
     "the search of the field regions paints the pixels it visits"},
    {Switch::PaintFilledRegions, "PaintFilledRegions",
     "the pixels of the filled field regions are painted light blue"},
    {Switch::FluxColourWheel, "FluxColourWheel", "the flux function is shown in colour, not grey"},
    {Switch::ShowFluxValues, "ShowFluxValues",
     "every cell paints its flux value, and the status line shows the flux, not the potential"},
    {Switch::Unused18, "Unused18", "no effect"},
    {Switch::VoltageAtCoreEdges, "VoltageAtCoreEdges",
     "the status line reads the potential on the core's outermost rows and columns too"},
    {Switch::Unused20, "Unused20", "no effect"},
    {Switch::Unused21, "Unused21", "no effect"},
    {Switch::Unused22, "Unused22", "no effect"},
    {Switch::AlwaysAppend, "AlwaysAppend",
     "result tables are always appended to, never started afresh"},
    {Switch::DryRun, "DryRun",
     "scripted solves are skipped, no table rows are written, a sweep stops after its first "
     "step"},
    {Switch::Unused25, "Unused25", "no effect"},
    {Switch::NoBorderBalance, "NoBorderBalance",
     "the open boundary's offset is not balanced against the border's mean potential"},
    {Switch::Unused27, "Unused27", "no effect"},
    {Switch::Unused28, "Unused28", "no effect"},
    {Switch::WideResults, "WideResults",
     "the results page's values get two more digits of width and decimals"},
    {Switch::NoCoarseLattice, "NoCoarseLattice",
     "the prediction evaluates every field directly, without the coarse lattice"},
    {Switch::PlainDcResistance, "PlainDcResistance",
     "every pixel's resistance is the plain direct-current one"},
    {Switch::AllLettersC, "AllLettersC",
     "every conductor pixel is classified and resisted as surface letter C"},
    {Switch::FivePixelRing, "FivePixelRing / FitCorrection",
     "current layers of at least 5 pixels and 5 skin depths (not 3), and the calibrated "
     "letter's skin correction is the trial value: one switch, since the Function study fits "
     "the correction on the thicker layers"},
    {Switch::NoSkinCorrection, "NoSkinCorrection", "every skin correction is 1"},
    {Switch::SkipLowSteps, "SkipLowSteps",
     "the Function study writes 1 for its first 11 frequencies without solving"},
    {Switch::FitDecay, "FitDecay",
     "the calibrated letter's decay factor is the trial value and its skin correction 1"},
    {Switch::MarkSourceCorner, "MarkSourceCorner",
     "a loaded picture's top-left pixel is painted magenta"},
    {Switch::FloatingCoilWires, "FloatingCoilWires",
     "the round twinlead gets sixteen floating wires above and below its wires, at the side "
     "distance's pitch"},
    {Switch::NineTurnCoil, "NineTurnCoil",
     "each wire of the round twinlead is a coil of nine turns at the side distance's pitch"},
    {Switch::Unused40, "Unused40", "no effect"},
    {Switch::Unused41, "Unused41", "no effect"},
    {Switch::Unused42, "Unused42", "no effect"},
    {Switch::Unused43, "Unused43", "no effect"},
    {Switch::LayeredResistance, "LayeredResistance",
     "pixel resistances by the layered rule, a value for every depth row"},
    {Switch::ChainAnalysis, "ChainAnalysis",
     "the chain analysis replaces the surface list of the charge distribution"},
    {Switch::FirstDepthRow, "FirstDepthRow",
     "with the layered rule, every pixel takes the value of depth row 1"},
    {Switch::Unused47, "Unused47", "no effect"},
    {Switch::Unused48, "Unused48", "no effect"},
    {Switch::Unused49, "Unused49", "no effect"},
}};

constexpr int SwitchNumber(Switch s) {
  return static_cast<int>(s);
}

// The switches' states. Code reads and sets them by name; only the commands that take a number
// from the user (DEB, the key banks, the panel's list) use the numbered calls, which refuse a
// number outside 0..49.
class SwitchBank {
 public:
  bool operator[](Switch s) const { return on_[Index(s)]; }
  bool& operator[](Switch s) { return on_[Index(s)]; }

  bool Numbered(int n) const { return on_[Checked(n)]; }
  void SetNumbered(int n, bool on) { on_[Checked(n)] = on; }
  void Clear() { on_.fill(false); }

 private:
  static constexpr std::size_t Index(Switch s) { return static_cast<std::size_t>(s); }
  static std::size_t Checked(int n) {
    if (n < 0 || n >= kSwitchCount)
      throw std::out_of_range("switch " + std::to_string(n) + " is outside 0 to 49");
    return static_cast<std::size_t>(n);
  }
  std::array<bool, kSwitchCount> on_{};
};

}  // namespace zolva
