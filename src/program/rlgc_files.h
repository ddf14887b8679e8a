// The files that carry a line's constants into other tools: the RLGC table (CSV), a Touchstone
// file of a length of the line, an ngspice LTRA model card and a W-element RLGC file.
#pragma once

#include <string>
#include <vector>

#include "program/rlgc_model.h"

namespace zolva {

struct Context;

// What to write besides the table.
struct RlgcExportSettings {
  std::string tablePath;             // the CSV table; the other files are named after it
  double lineLength = 0.0;           // metres; above 0: the Touchstone file of that length
  double referenceImpedance = 50.0;  // ohms, of both Touchstone ports
  double spiceFrequencyMHz = 0.0;    // above 0: the LTRA card at this sweep frequency, and the
                                     // W-element RLGC file
};

// The table: a header row, then per frequency: frequency (Hz), R (ohm/m), L (H/m), G (S/m),
// C (F/m), |Zo| (ohm), angle of Zo (degrees), attenuation (dB/m), phase constant (rad/m),
// velocity factor.
std::string RlgcTableText(const std::vector<RlgcPoint>& points);
// Touchstone 1.1, "# Hz S RI R z0": per frequency S11, S21, S12, S22 as real and imaginary parts.
std::string TouchstoneText(const std::vector<RlgcPoint>& points, double length, double z0,
                           const std::string& title);
// ".model NAME LTRA R= L= G= C= LEN=". ngspice's LTRA takes no shunt conductance together with a
// series resistance, so G is written 0 and its value given in a comment.
std::string LtraCardText(const RlgcPoint& point, double length, const std::string& modelName);
// The W-element RLGC file of one conductor: its number, then L0, C0, R0, G0, Rs and Gd.
std::string WElementText(const WElementModel& model, const std::vector<RlgcPoint>& points,
                         const std::string& title);

// The files beside the table: its path without a ".csv" ending, followed by ".s2p", ".lib"
// (the LTRA card) and ".rlgc".
std::string CompanionPath(const std::string& tablePath, const std::string& extension);
// A SPICE model name made of the letters, digits and "_" of the table's file name.
std::string SpiceModelName(const std::string& tablePath);

// What was written, for the status and the command line.
struct RlgcExportResult {
  std::vector<std::string> files;
  std::string fitSummary;  // the W-element fit's worst relative errors, when it was written
};

// Checks the points (positive frequencies, L and C; R and G not negative; the SPICE frequency
// among them) and writes the table and the files the settings ask for, each whole or not at
// all. False, after a message that names the file or the value, with operationFailed set.
bool WriteRlgcFiles(Context& ctx, const std::vector<RlgcPoint>& points,
                    const RlgcExportSettings& settings, RlgcExportResult& result);

}  // namespace zolva
