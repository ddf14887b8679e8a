// The parameter studies: long series of L and Rs solves started from the main window's keys
// ("&" and L, T, G or K), without a script. Two tabulate L and Rs over a fixed set of geometries
// or frequencies; two fit the trial parameter of the pixel resistance model until the solved Rs
// meets target values read from a file, which is how the model's tables are calibrated.
//
// Each study runs its solves inside the call, as a script does, and handles window events
// between their stages; "Stop" ends it after the current solve, and a solve that was stopped or
// failed writes no row. A study started while a solve (or another study) runs is denied.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace zolva {

struct Context;

inline constexpr int kTargetCount = 29;  // one target per frequency step of the fitting studies
using Targets = std::array<double, kTargetCount>;

// Key L: the coaxial line and 39 square twinleads of 1 mm wires, at 1 hertz, written to
// "LandRs <name> Inductances.txt" and "LandRs <name> Resistances.txt" as one comma-separated
// line each.
void StudyLandRs(Context& ctx);
// Key T: the round twinlead of 10 mm wires at ten frequencies from 1 GHz down to 1 Hz, the
// separation taken from the run name, written to "Twinlead Inductances <sep>.txt" and
// "Twinlead Resistances <sep>.txt" one row per line.
void StudyTwinlead(Context& ctx);
// Key G: fits the skin correction of the study letter at the 29 frequencies of its table and
// writes the fitted values to "Function <letter>.txt" as one comma-separated line.
void StudyFunction(Context& ctx);
// Key K: fits the decay factor of the study letter at 10 GHz and shows it in the name field.
void StudyTarget(Context& ctx);

// The study letter: the last character of the run name, a..z as capitals; 0 for an empty name.
char16_t StudyLetter(const Context& ctx);
// The targets of a letter, from "target <letter>.txt" in the program folder: 29 real numbers, one
// per line (blank lines are skipped). A missing file, a line that is no number, or fewer or more
// than 29 numbers is named in a message and gives nothing.
std::optional<Targets> ReadTargets(Context& ctx, char16_t letter);
// One L and Rs solve of the current cross-section with the trial parameter x (calibrationValue;
// the caller sets the letter and the switches it tunes): the Rs solved, or nothing when the panel
// is invalid (after its message; operationFailed is set), the solve failed or was stopped, or the
// dry run (Switch::DryRun) skipped it. The caller ends the solve (FinishSolve).
std::optional<double> SolveRs(Context& ctx, double x);

// The separation text of the Twinlead study for a run name, without its unit: the name n plus 10,
// "10.5" for 0 and "10.25" for the name "00"; nothing when the name is no whole number.
std::optional<std::string> TwinleadSeparationText(const std::string& runName);
// The frequency field of the Twinlead study for b hertz, in MHz: six decimals up to 500 kHz, the
// whole number of MHz above.
std::string TwinleadFrequencyText(double hertz);

}  // namespace zolva
