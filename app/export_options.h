// The options of zolva-batch that connect it to other tools: colour snapping of the pictures it
// opens, and the RLGC table with its Touchstone and SPICE companions.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zolva {

struct Context;

struct ExportOptions {
  bool snap = false;  // --snap: "Snap colours" on
};

enum class OptionReading {
  NotOurs,  // the option is none of these; the caller goes on looking
  Taken,    // read, with its value
  Bad,      // ours, but its value is missing or wrong (the message is written)
};

// Reads argv[i] (and its value, advancing i) when it is one of the export options.
OptionReading ReadExportOption(int argc, const char* const* argv, int& i, ExportOptions& options,
                               std::ostream& err);
// The usage text of these options, to follow the others'.
extern const char* const kExportUsage;

// Sets the panel as the options ask, before anything is loaded or run.
void ApplyExportOptions(Context& ctx, const ExportOptions& options);

}  // namespace zolva
