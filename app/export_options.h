// The options of zolva-batch that connect it to other tools: colour snapping of the pictures it
// opens, and the RLGC table with its Touchstone and SPICE companions.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "program/rlgc_model.h"

namespace zolva {

struct Context;

struct ExportOptions {
  bool snap = false;                   // --snap: "Snap colours" on
  std::vector<double> frequenciesMHz;  // --frequencies 1,10,100
  std::string rlgcPath;                // --rlgc FILE
  double lineLength = 0.0;             // --length 1m, metres
  double referenceImpedance = 50.0;    // --z0 50, ohms
  bool referenceGiven = false;
  double spiceFrequencyMHz = 0.0;  // --spice 100
  // --coupled: "Coupled lines" on; with --frequencies, the matrices at every frequency.
  bool coupled = false;
};

enum class OptionReading {
  NotOurs,  // the option is none of these; the caller goes on looking
  Taken,    // read, with its value
  Bad,      // ours, but its value is missing or wrong (the message is written)
};

// Reads argv[i] (and its value, advancing i) when it is one of the export options.
OptionReading ReadExportOption(int argc, const char* const* argv, int& i, ExportOptions& options,
                               std::ostream& err);
// After all options are read: the ones that only mean something together. False after a
// message.
bool CheckExportOptions(const ExportOptions& options, std::ostream& err);
// The usage text of these options, to follow the others'.
extern const char* const kExportUsage;

// Sets the panel as the options ask, before anything is loaded or run.
void ApplyExportOptions(Context& ctx, const ExportOptions& options);

// The rows of an RLGC table as aligned text: frequency, R, L, G, C, |Zo| and vf.
std::string RlgcRowsText(const std::vector<RlgcPoint>& points);

// Whether an RLGC table (or, for coupled lines, the matrices at a list of frequencies) was asked
// for.
inline bool WantsRlgc(const ExportOptions& options) {
  return !options.rlgcPath.empty() || (options.coupled && !options.frequenciesMHz.empty());
}
// Solves the current cross-section at every frequency and writes the table and the files asked
// for; what was written goes to out, and the table's rows, as text for the results, to rows.
// False after a message on err.
bool RunRlgcExport(Context& ctx, const ExportOptions& options, std::ostream& out, std::ostream& err,
                   std::string& rows);

}  // namespace zolva
