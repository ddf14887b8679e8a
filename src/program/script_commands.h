// The command table of the script language: what each command does to the program.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/line_matrices.h"
#include "program/panel_model.h"
#include "program/rlgc_sweep.h"

namespace zolva {

struct Context;

// The state of one running script. Each run has its own, so a script run from inside another
// (KEY F8) starts its own series of rows and leaves the outer one's alone.
struct ScriptRun {
  std::string path;  // the script file (ERA deletes it)
  int rowL = 0;      // row number of the last L and Rs table row of this series
  int rowC = 0;      // row number of the last C and Gp table row
  int lineNumber = 0;
  // Why the current line ends the script, when the reason is more than a failed flag.
  std::string stopReason;

  // For RLG: R and L at each step of the last frequency sweep (SWE FRE), the last C and Gp
  // solve, and what LIN and SPI asked for.
  std::vector<RlgcPoint> frequencySweep;
  bool capacitanceSolved = false;
  CapacitanceSolve capacitance;
  double lineLength = 0.0;           // metres; 0: no Touchstone file
  double referenceImpedance = 50.0;  // ohms
  double spiceFrequencyMHz = 0.0;    // 0: no SPICE files
  // For RLG of coupled lines ("Coupled lines" on): the matrices of each coupled SOL, one per
  // frequency (a later solve at the same frequency replaces the earlier).
  std::vector<LineMatrices> coupledPoints;
};

// The panel field that a field command (and a sweep parameter) of this code sets, if any.
std::optional<EditBox> ScriptFieldOf(std::string_view code);

// A script command: its three-letter code and one line of help.
struct ScriptCommand {
  const char* code;
  const char* help;
};
// Every command the interpreter knows: the field commands, then the others, as dispatched.
std::vector<ScriptCommand> ScriptCommands();

// Runs one cleaned, non-empty line. A word that is no command sets operationFailed (and the
// stop reason); so do the commands that fail.
void ExecuteScriptLine(Context& ctx, ScriptRun& run, const std::string& line);

// The text a sweep writes into its field for the value v: Str(v, 10, 10) cut to 11 characters
// (never inside the whole-number part), or v rounded to an integer for the pixel total, which
// reads only whole numbers; then the unit.
std::string SweepFieldText(EditBox field, double v, const std::string& unit);

// Splits a dimension text into its number and its unit: spaces are removed, the unit is the
// text after the last digit, in capitals. False when there is no digit or the number part does
// not convert.
bool SplitDimension(std::string_view text, double& value, std::string& unit);

}  // namespace zolva
