#include "export_options.h"

#include <charconv>
#include <complex>
#include <ostream>

#include "core/utility.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/coupled_files.h"
#include "program/coupled_solve.h"
#include "program/rlgc_files.h"
#include "program/rlgc_sweep.h"
#include "program/script_words.h"

namespace zolva {

namespace {

// A frequency list "1,10,100": positive reals in MHz, separated by commas.
bool ReadFrequencies(const std::string& text, std::vector<double>& out) {
  out.clear();
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    double f = 0.0;
    if (!ParseScriptReal(std::string_view(text).substr(start, comma - start), f) || !(f > 0)) {
      return false;
    }
    out.push_back(f);
    start = comma + 1;
  }
  return !out.empty();
}

}  // namespace

const char* const kExportUsage =
    " [--snap] [--frequencies F1,F2,... --rlgc FILE [--length LEN] [--z0 OHMS] [--spice F]]"
    " [--coupled [--frequencies F1,F2,... [--rlgc FILE ...]]]";

OptionReading ReadExportOption(int argc, const char* const* argv, int& i, ExportOptions& options,
                               std::ostream& err) {
  const std::string arg = argv[i];
  if (arg == "--snap") {
    options.snap = true;
    return OptionReading::Taken;
  }
  if (arg == "--coupled") {
    options.coupled = true;
    return OptionReading::Taken;
  }
  if (arg != "--frequencies" && arg != "--rlgc" && arg != "--length" && arg != "--z0" &&
      arg != "--spice") {
    return OptionReading::NotOurs;
  }
  if (i + 1 >= argc) {
    err << "zolva-batch: " << arg << " needs a value\n";
    return OptionReading::Bad;
  }
  const std::string value = argv[++i];
  auto bad = [&](const char* what) {
    err << "zolva-batch: " << arg << " needs " << what << "; got \"" << value << "\"\n";
    return OptionReading::Bad;
  };
  if (arg == "--frequencies") {
    if (!ReadFrequencies(value, options.frequenciesMHz))
      return bad("frequencies in MHz above 0, separated by commas");
  } else if (arg == "--rlgc") {
    if (value.empty()) return bad("a file name");
    options.rlgcPath = value;
  } else if (arg == "--length") {
    // A length as the panel reads it: a number and a unit M, CM, MM or IN (inches when none).
    const double length = ReadLength(value);
    if (!(length > 0)) return bad("a line length above 0, such as 1m");
    options.lineLength = length;
  } else if (arg == "--z0") {
    double z0 = 0.0;
    if (!ParseScriptReal(value, z0) || !(z0 > 0)) return bad("a reference impedance above 0 ohms");
    options.referenceImpedance = z0;
    options.referenceGiven = true;
  } else {
    double f = 0.0;
    if (!ParseScriptReal(value, f) || !(f > 0)) return bad("a frequency in MHz above 0");
    options.spiceFrequencyMHz = f;
  }
  return OptionReading::Taken;
}

bool CheckExportOptions(const ExportOptions& o, std::ostream& err) {
  if (!WantsRlgc(o)) {
    if (!o.frequenciesMHz.empty() || o.lineLength > 0 || o.referenceGiven ||
        o.spiceFrequencyMHz > 0) {
      err << "zolva-batch: --frequencies, --length, --z0 and --spice belong to --rlgc FILE\n";
      return false;
    }
    return true;
  }
  if (o.frequenciesMHz.empty()) {
    err << "zolva-batch: --rlgc needs --frequencies\n";
    return false;
  }
  if (o.coupled && o.rlgcPath.empty() &&
      (o.lineLength > 0 || o.referenceGiven || o.spiceFrequencyMHz > 0)) {
    err << "zolva-batch: --length, --z0 and --spice belong to --rlgc FILE\n";
    return false;
  }
  if (o.referenceGiven && !(o.lineLength > 0)) {
    err << "zolva-batch: --z0 needs --length, the line of the Touchstone file\n";
    return false;
  }
  return true;
}

void ApplyExportOptions(Context& ctx, const ExportOptions& options) {
  if (options.snap) SetCheckBox(ctx, CheckBoxSnapColours, true);
  if (options.coupled) SetCheckBox(ctx, CheckBoxCoupled, true);
}

namespace {

// Six significant digits, whatever the locale.
std::string Figure(double x) {
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 6);
  return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

std::string Column(double x, int width) {
  std::string text = Figure(x);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
  return text + " ";
}

}  // namespace

std::string RlgcRowsText(const std::vector<RlgcPoint>& points) {
  std::string text =
      "RLGC table, per metre:\n"
      "  f (MHz)  R (ohm/m)   L (uH/m)    G (S/m)    C (pF/m)   |Zo| (ohm)  vf\n";
  for (const RlgcPoint& p : points) {
    const Propagation line = LinePropagation(p);
    text += Column(p.frequency * 1e-6, 9) + Column(p.R, 10) + Column(p.L * 1e6, 10) +
            Column(p.G, 10) + Column(p.C * 1e12, 10) + Column(std::abs(line.Zo), 11) +
            Figure(line.velocityFactor) + "\n";
  }
  return text;
}

bool RunRlgcExport(Context& ctx, const ExportOptions& options, std::ostream& out, std::ostream& err,
                   std::string& rows) {
  std::vector<RlgcPoint> points;
  std::string failure;
  if (options.coupled) {
    // The matrices at every frequency; the results page that follows shows the last, the
    // rows every one.
    if (!SolveCoupledSweep(ctx, options.frequenciesMHz, failure)) {
      err << "zolva-batch: no coupled matrices: " << failure << "\n";
      return false;
    }
    ReportCoupledSolve(ctx);
    rows = CoupledSweepText(ctx);
    if (options.rlgcPath.empty()) return true;
    CoupledExportSettings settings;
    settings.tablePath = options.rlgcPath;
    settings.lineLength = options.lineLength;
    settings.referenceImpedance = options.referenceImpedance;
    settings.spiceFrequencyHz = options.spiceFrequencyMHz * 1e6;
    CoupledExportResult result;
    // A refusal has shown its message box, which the caller prints.
    if (!WriteCoupledFiles(ctx, ctx.coupled.sweep, settings, result)) return false;
    for (const std::string& file : result.files) out << "written: " << file << "\n";
    if (!result.fitSummary.empty()) out << result.fitSummary << "\n";
    return true;
  }
  if (!SolveRlgcSweep(ctx, options.frequenciesMHz, points, failure)) {
    err << "zolva-batch: no RLGC table: " << failure << "\n";
    return false;
  }
  RlgcExportSettings settings;
  settings.tablePath = options.rlgcPath;
  settings.lineLength = options.lineLength;
  settings.referenceImpedance = options.referenceImpedance;
  settings.spiceFrequencyMHz = options.spiceFrequencyMHz;
  RlgcExportResult result;
  // A refusal has shown its message box, which the caller prints.
  if (!WriteRlgcFiles(ctx, points, settings, result)) return false;
  rows = RlgcRowsText(points);
  for (const std::string& file : result.files) out << "written: " << file << "\n";
  if (!result.fitSummary.empty()) out << result.fitSummary << "\n";
  return true;
}

}  // namespace zolva
