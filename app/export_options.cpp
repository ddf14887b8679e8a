#include "export_options.h"

#include <ostream>

#include "program/context.h"
#include "program/control_panel.h"

namespace zolva {

const char* const kExportUsage = " [--snap]";

OptionReading ReadExportOption(int /*argc*/, const char* const* argv, int& i,
                               ExportOptions& options, std::ostream& /*err*/) {
  const std::string arg = argv[i];
  if (arg == "--snap") {
    options.snap = true;
    return OptionReading::Taken;
  }
  return OptionReading::NotOurs;
}

void ApplyExportOptions(Context& ctx, const ExportOptions& options) {
  if (options.snap) SetCheckBox(ctx, CheckBoxSnapColours, true);
}

}  // namespace zolva
