#include "program/rlgc_files.h"

#include <cmath>
#include <complex>
#include <exception>
#include <utility>

#include "core/utility.h"
#include "platform/atomic_file.h"
#include "program/context.h"
#include "program/reporting.h"

namespace zolva {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Row(std::initializer_list<double> values, const char* separator) {
  std::string text;
  for (double v : values) {
    if (!text.empty()) text += separator;
    text += ExactText(v);
  }
  return text + "\n";
}

std::string Percent(double fraction) {
  return Str(100.0 * fraction, 1, 4) + " %";
}

// Why the point cannot describe a line, or empty.
std::string ProblemOf(const RlgcPoint& p) {
  const std::string at = " at " + ExactText(p.frequency) + " Hz";
  if (!std::isfinite(p.frequency) || p.frequency <= 0)
    return "the frequency " + ExactText(p.frequency) + " Hz is not above 0";
  if (!std::isfinite(p.L) || p.L <= 0) return "L is " + ExactText(p.L) + " H/m" + at;
  if (!std::isfinite(p.C) || p.C <= 0) return "C is " + ExactText(p.C) + " F/m" + at;
  if (!std::isfinite(p.R) || p.R < 0) return "R is " + ExactText(p.R) + " ohm/m" + at;
  if (!std::isfinite(p.G) || p.G < 0) return "G is " + ExactText(p.G) + " S/m" + at;
  return {};
}

}  // namespace

std::string RlgcTableText(const std::vector<RlgcPoint>& points) {
  std::string text =
      "frequency (Hz),R (ohm/m),L (H/m),G (S/m),C (F/m),|Zo| (ohm),angle of Zo (degrees),"
      "attenuation (dB/m),phase constant (rad/m),velocity factor\n";
  for (const RlgcPoint& p : points) {
    const Propagation line = LinePropagation(p);
    text += Row(
        {p.frequency, p.R, p.L, p.G, p.C, std::abs(line.Zo), std::arg(line.Zo) * kDegreesPerRadian,
         line.attenuationDb, line.phaseConstant, line.velocityFactor},
        ",");
  }
  return text;
}

std::string TouchstoneText(const std::vector<RlgcPoint>& points, double length, double z0,
                           const std::string& title) {
  std::string text = "! " + title + "\n! " + ExactText(length) +
                     " m of line; S11 S21 S12 S22, each as real and imaginary part\n";
  text += "# Hz S RI R " + ExactText(z0) + "\n";
  for (const RlgcPoint& p : points) {
    const SParameters s = LineSParameters(p, length, z0);
    text += Row({p.frequency, s.s11.real(), s.s11.imag(), s.s21.real(), s.s21.imag(), s.s12.real(),
                 s.s12.imag(), s.s22.real(), s.s22.imag()},
                " ");
  }
  return text;
}

std::string LtraCardText(const RlgcPoint& p, double length, const std::string& modelName) {
  std::string text = "* " + modelName + ": the line's constants per metre at " +
                     ExactText(p.frequency) + " Hz, " + ExactText(length) + " m long\n";
  text += "* G = " + ExactText(p.G) +
          " S/m is left out: LTRA takes no shunt conductance together with R\n";
  text += "* use: O1 in 0 out 0 " + modelName + "\n";
  text += ".model " + modelName + " LTRA R=" + ExactText(p.R) + " L=" + ExactText(p.L) +
          " G=0 C=" + ExactText(p.C) + " LEN=" + ExactText(length) + "\n";
  return text;
}

std::string WElementText(const WElementModel& m, const std::vector<RlgcPoint>& points,
                         const std::string& title) {
  double low = points.empty() ? 0 : points.front().frequency;
  double high = low;
  for (const RlgcPoint& p : points) {
    low = std::min(low, p.frequency);
    high = std::max(high, p.frequency);
  }
  std::string text = "* " + title + ": W-element RLGC model fitted from " + ExactText(low) +
                     " Hz to " + ExactText(high) + " Hz\n";
  text += "* R = R0 + Rs sqrt(f), G = G0 + Gd f; worst relative error R " + Percent(m.worstR) +
          ", L " + Percent(m.worstL) + ", G " + Percent(m.worstG) + "\n";
  text += "* use: W1 in 0 out 0 N=1 RLGCfile=" + title + ".rlgc L=1\n";
  const std::pair<const char*, double> entries[] = {
      {"L0 (H/m)", m.L0},
      {"C0 (F/m)", m.C0},
      {"R0 (ohm/m)", m.R0},
      {"G0 (S/m)", m.G0},
      {"Rs (ohm/(m sqrt(Hz)))", m.Rs},
      {"Gd (S/(m Hz))", m.Gd},
  };
  text += "* number of conductors\n1\n";
  for (const auto& [name, value] : entries)
    text += std::string("* ") + name + "\n" + ExactText(value) + "\n";
  return text;
}

std::string CompanionPath(const std::string& tablePath, const std::string& extension) {
  std::string base = tablePath;
  if (base.size() > 4) {
    std::string tail = base.substr(base.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (tail == ".csv") base.resize(base.size() - 4);
  }
  return base + extension;
}

std::string SpiceModelName(const std::string& tablePath) {
  const std::string name = FileNameOf(CompanionPath(tablePath, ""));
  std::string model;
  for (char c : name) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    model += word ? c : '_';
  }
  // A model name starts with a letter.
  if (model.empty() ||
      !((model[0] >= 'a' && model[0] <= 'z') || (model[0] >= 'A' && model[0] <= 'Z')))
    model = "line_" + model;
  return model;
}

bool WriteRlgcFiles(Context& ctx, const std::vector<RlgcPoint>& points,
                    const RlgcExportSettings& settings, RlgcExportResult& result) {
  auto refuse = [&](const std::string& text) {
    MessageBox(ctx, text, "zolva", ButtonsOk);
    ctx.state.operationFailed = true;
    return false;
  };
  const std::string& table = settings.tablePath;
  if (points.empty()) return refuse("The RLGC table \"" + table + "\" has no frequency to show.");
  for (const RlgcPoint& p : points) {
    const std::string problem = ProblemOf(p);
    if (!problem.empty())
      return refuse("The RLGC table \"" + table + "\" is not written: " + problem + ".");
  }
  const bool touchstone = settings.lineLength > 0;
  if (touchstone &&
      !(settings.referenceImpedance > 0 && std::isfinite(settings.referenceImpedance)))
    return refuse("The Touchstone file needs a reference impedance above 0 ohms.");
  const bool spice = settings.spiceFrequencyMHz > 0;
  const RlgcPoint* chosen = nullptr;
  if (spice) {
    // The LTRA card is made at one of the solved frequencies, never between them.
    const double wanted = settings.spiceFrequencyMHz * 1e6;
    for (const RlgcPoint& p : points)
      if (std::fabs(p.frequency - wanted) <= 1e-6 * wanted) chosen = &p;
    if (chosen == nullptr)
      return refuse("The LTRA card's frequency " + ExactText(settings.spiceFrequencyMHz) +
                    " MHz is none of the table's frequencies.");
  }

  const std::string title = FileNameOf(CompanionPath(table, ""));
  const std::string model = SpiceModelName(table);
  const double length = touchstone ? settings.lineLength : 1.0;
  std::vector<std::pair<std::string, std::string>> files;
  WElementModel fit;
  try {
    files.emplace_back(table, RlgcTableText(points));
    if (touchstone)
      files.emplace_back(
          CompanionPath(table, ".s2p"),
          TouchstoneText(points, settings.lineLength, settings.referenceImpedance, title));
    if (spice) {
      files.emplace_back(CompanionPath(table, ".lib"), LtraCardText(*chosen, length, model));
      fit = FitWElement(points);
      files.emplace_back(CompanionPath(table, ".rlgc"), WElementText(fit, points, title));
    }
  } catch (const std::exception& e) {
    return refuse("The RLGC table \"" + table + "\" is not written: " + e.what() + ".");
  }
  result = RlgcExportResult{};
  for (const auto& [path, text] : files) {
    std::string error;
    if (!WriteFileAtomically(path, text, error))
      return refuse("Cannot write \"" + path + "\": " + (error.empty() ? "write failed" : error) +
                    ".");
    result.files.push_back(path);
  }
  if (spice) {
    result.fitSummary = "W-element fit: worst relative error R " + Percent(fit.worstR) + ", L " +
                        Percent(fit.worstL) + ", G " + Percent(fit.worstG);
  }
  return true;
}

}  // namespace zolva
