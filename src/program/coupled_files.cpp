#include "program/coupled_files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <complex>
#include <exception>
#include <utility>

#include "core/utility.h"
#include "platform/atomic_file.h"
#include "program/context.h"
#include "program/reporting.h"
#include "program/rlgc_files.h"

namespace zolva {

namespace {

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Pair(int i, int j) {
  return IntText(i + 1) + "_" + IntText(j + 1);
}

// x with `digits` significant digits, locale-free ("90.124", "-1.2346e-11").
std::string Significant(double x, int digits) {
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, digits);
  return ec == std::errc() ? std::string(buffer, end) : ExactText(x);
}

std::string Percent(double fraction) {
  return Str(100.0 * fraction, 1, 4) + " %";
}

std::string Label(const std::vector<std::string>& names, int i) {
  return static_cast<std::size_t>(i) < names.size() && !names[static_cast<std::size_t>(i)].empty()
             ? names[static_cast<std::size_t>(i)]
             : IntText(i + 1);
}

// The entries of a symmetric matrix's triangle, row by row: the upper (i <= j) or the lower.
std::string Triangle(const LineMatrices& m, const std::vector<double>& v, bool upper,
                     const char* rowSeparator) {
  std::string text;
  for (int i = 0; i < m.n; ++i) {
    if (i > 0) text += rowSeparator;
    const int from = upper ? i : 0, to = upper ? m.n : i + 1;
    for (int j = from; j < to; ++j) {
      if (j > from) text += ' ';
      text += ExactText(0.5 * (m.At(v, i, j) + m.At(v, j, i)));
    }
  }
  return text;
}

}  // namespace

std::string TouchstoneExtension(int conductors) {
  return ".s" + IntText(2 * conductors) + "p";
}

std::string CoupledTableText(const std::vector<LineMatrices>& points) {
  const int n = points.empty() ? 0 : points.front().n;
  std::string text = "frequency (Hz)";
  const std::pair<const char*, const char*> matrices[] = {
      {"R", "ohm/m"}, {"L", "H/m"}, {"G", "S/m"}, {"C", "F/m"}};
  for (const auto& [name, unit] : matrices)
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) text += std::string(",") + name + Pair(i, j) + " (" + unit + ")";
  text += "\n";
  for (const LineMatrices& p : points) {
    text += ExactText(p.frequencyHz);
    for (const std::vector<double>* v : {&p.R, &p.L, &p.G, &p.C})
      for (double x : *v) {
        text += ',';
        text += ExactText(x);
      }
    text += "\n";
  }
  return text;
}

std::string CoupledTouchstoneText(const std::vector<LineMatrices>& points, double length, double z0,
                                  const std::string& title) {
  const int n = points.empty() ? 0 : points.front().n;
  const int ports = 2 * n;
  const std::vector<std::string> names =
      points.empty() ? std::vector<std::string>{} : points.front().names;
  std::string text = "! " + title + "\n! " + ExactText(length) + " m of a line of " + IntText(n) +
                     " coupled conductors\n";
  text += "! port order: ports 1.." + IntText(n) + " at the near end, ports " + IntText(n + 1) +
          ".." + IntText(ports) + " at the far end\n";
  for (int i = 0; i < n; ++i)
    text += "! port " + IntText(i + 1) + ": near end of conductor " + Label(names, i) + "; port " +
            IntText(i + 1 + n) + ": its far end\n";
  text += ports == 2 ? "! S11 S21 S12 S22, each as real and imaginary part\n"
                     : "! S row by row, each entry as real and imaginary part\n";
  text += "# Hz S RI R " + ExactText(z0) + "\n";
  const auto entry = [](const std::complex<double>& s) {
    return ExactText(s.real()) + " " + ExactText(s.imag());
  };
  for (const LineMatrices& p : points) {
    const std::vector<std::complex<double>> S = CoupledSParameters(p, length, z0);
    text += ExactText(p.frequencyHz);
    if (ports == 2) {
      for (int k : {0, 2, 1, 3}) {
        text += ' ';
        text += entry(S[static_cast<std::size_t>(k)]);
      }
      text += "\n";
      continue;
    }
    for (int i = 0; i < ports; ++i) {
      for (int j = 0; j < ports; ++j) {
        // At most four entries to a line; a row's continuation lines are indented.
        if (j > 0 && j % 4 == 0) text += "\n ";
        text += ' ';
        text += entry(S[static_cast<std::size_t>(i * ports + j)]);
      }
      text += "\n";
    }
  }
  return text;
}

std::string CplModelText(const LineMatrices& m, double length, const std::string& modelName) {
  std::string near, far;
  for (int i = 0; i < m.n; ++i) {
    near += "n" + IntText(i + 1) + " ";
    far += "f" + IntText(i + 1) + " ";
  }
  std::string text = "* " + modelName + ": " + IntText(m.n) +
                     " coupled conductors, constants per metre at " + ExactText(m.frequencyHz) +
                     " Hz, " + ExactText(length) + " m long\n";
  text += "* conductors in order:";
  for (int i = 0; i < m.n; ++i) text += " " + Label(m.names, i);
  text += "\n* use: P1 " + near + "0 " + far + "0 " + modelName +
          " (near ends, their reference, far ends, theirs)\n";
  text += "* R, L, G, C: upper triangles row by row; C and G with the Maxwell signs\n";
  text += ".model " + modelName + " CPL\n";
  const std::pair<const char*, const std::vector<double>*> matrices[] = {
      {"R", &m.R}, {"L", &m.L}, {"G", &m.G}, {"C", &m.C}};
  for (const auto& [name, values] : matrices)
    text += std::string("+ ") + name + "=" + Triangle(m, *values, true, " ") + "\n";
  text += "+ length=" + ExactText(length) + "\n";
  return text;
}

std::string CoupledWElementText(const WElementMatrices& fit,
                                const std::vector<LineMatrices>& points, double length,
                                const std::string& title) {
  double low = points.empty() ? 0 : points.front().frequencyHz;
  double high = low;
  for (const LineMatrices& p : points) {
    low = std::min(low, p.frequencyHz);
    high = std::max(high, p.frequencyHz);
  }
  std::string near, far;
  for (int i = 0; i < fit.n; ++i) {
    near += "n" + IntText(i + 1) + " ";
    far += "f" + IntText(i + 1) + " ";
  }
  std::string text = "* " + title + ": W-element RLGC model of " + IntText(fit.n) +
                     " coupled conductors fitted from " + ExactText(low) + " Hz to " +
                     ExactText(high) + " Hz\n";
  text +=
      "* R = R0 + Rs sqrt(f), G = G0 + Gd f, entry by entry; worst difference, relative to "
      "the diagonal, R " +
      Percent(fit.worstR) + ", L " + Percent(fit.worstL) + ", G " + Percent(fit.worstG) + "\n";
  text += "* matrices as lower triangles, row by row\n";
  text += "* use: W1 " + near + "0 " + far + "0 N=" + IntText(fit.n) + " RLGCfile=" + title +
          ".rlgc L=" + ExactText(length) + "\n";
  text += "* number of conductors\n" + IntText(fit.n) + "\n";
  LineMatrices shape;
  shape.n = fit.n;
  const std::pair<const char*, const std::vector<double>*> entries[] = {
      {"L0 (H/m)", &fit.L0},
      {"C0 (F/m)", &fit.C0},
      {"R0 (ohm/m)", &fit.R0},
      {"G0 (S/m)", &fit.G0},
      {"Rs (ohm/(m sqrt(Hz)))", &fit.Rs},
      {"Gd (S/(m Hz))", &fit.Gd},
  };
  for (const auto& [name, values] : entries)
    text += std::string("* ") + name + "\n" + Triangle(shape, *values, false, "\n") + "\n";
  return text;
}

std::string WriteCoupledFiles(const std::vector<LineMatrices>& given,
                              const CoupledExportSettings& settings, CoupledExportResult& result) {
  const std::string& table = settings.tablePath;
  const std::string refusal = "The coupled RLGC table \"" + table + "\" is not written: ";
  if (given.empty()) return refusal + "there is no frequency.";
  std::vector<LineMatrices> points = given;
  std::stable_sort(points.begin(), points.end(), [](const LineMatrices& a, const LineMatrices& b) {
    return a.frequencyHz < b.frequencyHz;
  });
  for (std::size_t k = 0; k < points.size(); ++k) {
    const LineMatrices& p = points[k];
    const std::string problem = LineMatricesProblem(p);
    if (!problem.empty()) return refusal + problem + ".";
    if (!(p.frequencyHz > 0) || !std::isfinite(p.frequencyHz))
      return refusal + "the frequency " + ExactText(p.frequencyHz) + " Hz is not above 0.";
    if (p.n != points.front().n)
      return refusal + "there are " + IntText(p.n) + " conductors at " + ExactText(p.frequencyHz) +
             " Hz and " + IntText(points.front().n) + " at " +
             ExactText(points.front().frequencyHz) + " Hz.";
    if (k > 0 && p.frequencyHz == points[k - 1].frequencyHz)
      return refusal + "the frequency " + ExactText(p.frequencyHz) + " Hz comes twice.";
  }
  const bool touchstone = settings.lineLength > 0;
  if (!(settings.lineLength >= 0) || !std::isfinite(settings.lineLength))
    return refusal + "the line length " + ExactText(settings.lineLength) + " m is not valid.";
  if (touchstone &&
      !(settings.referenceImpedance > 0 && std::isfinite(settings.referenceImpedance)))
    return "The Touchstone file needs a reference impedance above 0 ohms, not " +
           ExactText(settings.referenceImpedance) + ".";
  const LineMatrices* spice = &points.back();
  if (settings.spiceFrequencyHz != 0) {
    // The CPL model is made at one of the solved frequencies, never between them.
    const double wanted = settings.spiceFrequencyHz;
    spice = nullptr;
    for (const LineMatrices& p : points)
      if (std::fabs(p.frequencyHz - wanted) <= 1e-6 * std::fabs(wanted)) spice = &p;
    if (spice == nullptr)
      return refusal + "the CPL model's frequency " + ExactText(wanted) +
             " Hz is none of the table's frequencies.";
  }

  const std::string title = FileNameOf(CompanionPath(table, ""));
  const std::string model = SpiceModelName(table);
  const double length = touchstone ? settings.lineLength : 1.0;
  std::vector<std::pair<std::string, std::string>> files;
  WElementMatrices fit;
  try {
    files.emplace_back(table, CoupledTableText(points));
    if (touchstone)
      files.emplace_back(
          CompanionPath(table, TouchstoneExtension(points.front().n)),
          CoupledTouchstoneText(points, settings.lineLength, settings.referenceImpedance, title));
    fit = FitWElementMatrices(points);
    files.emplace_back(CompanionPath(table, ".rlgc"),
                       CoupledWElementText(fit, points, length, title));
    files.emplace_back(CompanionPath(table, ".lib"), CplModelText(*spice, length, model));
  } catch (const std::exception& e) {
    return refusal + e.what() + ".";
  }
  // Every file is finished before the first takes its name, so that a failure leaves all the
  // earlier files as they were.
  std::vector<AtomicFile> pending;
  pending.reserve(files.size());
  for (const auto& [path, text] : files) {
    pending.emplace_back(path);
    AtomicFile& file = pending.back();
    if (!file.Open() || !file.Write(text) || !file.Finish())
      return "Cannot write \"" + path +
             "\": " + (file.error().empty() ? std::string("write failed") : file.error()) + ".";
  }
  result = CoupledExportResult{};
  for (AtomicFile& file : pending) {
    if (!file.Commit())
      return "Cannot write \"" + file.path() +
             "\": " + (file.error().empty() ? std::string("write failed") : file.error()) + ".";
    result.files.push_back(file.path());
  }
  result.fitSummary = "W-element fit: worst difference relative to the diagonal R " +
                      Percent(fit.worstR) + ", L " + Percent(fit.worstL) + ", G " +
                      Percent(fit.worstG);
  return {};
}

bool WriteCoupledFiles(Context& ctx, const std::vector<LineMatrices>& points,
                       const CoupledExportSettings& settings, CoupledExportResult& result) {
  const std::string message = WriteCoupledFiles(points, settings, result);
  if (message.empty()) {
    if (ctx.coupled.valid) ctx.coupled.files = result.files;
    return true;
  }
  MessageBox(ctx, message, "zolva", ButtonsOk);
  ctx.state.operationFailed = true;
  return false;
}

std::vector<CoupledFigure> CoupledFigures(const CoupledModes& modes) {
  std::vector<CoupledFigure> figures;
  if (modes.symmetricPair) {
    figures.push_back({"Zodd", modes.Zodd, "ohm"});
    figures.push_back({"Zeven", modes.Zeven, "ohm"});
    figures.push_back({"Zdiff", modes.Zdiff, "ohm"});
    figures.push_back({"Zcomm", modes.Zcomm, "ohm"});
    figures.push_back({"vfOdd", modes.vfOdd, ""});
    figures.push_back({"vfEven", modes.vfEven, ""});
  }
  const int n = modes.n;
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      const std::size_t e = static_cast<std::size_t>(i * n + j);
      figures.push_back({"Kb_" + Pair(i, j), modes.Kb[e], ""});
      figures.push_back({"Kf_" + Pair(i, j), modes.Kf[e], "s/m"});
    }
  for (int k = 0; k < n; ++k)
    figures.push_back(
        {"vf_mode_" + IntText(k + 1), modes.velocityFactor[static_cast<std::size_t>(k)], ""});
  return figures;
}

std::vector<std::string> CoupledResultLines(const CoupledModes& modes,
                                            const std::vector<std::string>& names) {
  std::vector<std::string> lines;
  const int n = modes.n;
  const auto at = [n](int i, int j) { return static_cast<std::size_t>(i * n + j); };
  if (modes.symmetricPair) {
    lines.push_back("Zodd = " + Significant(modes.Zodd, 6) +
                    " ohms, Zeven = " + Significant(modes.Zeven, 6) + " ohms");
    lines.push_back("Zdiff = " + Significant(modes.Zdiff, 6) +
                    " ohms, Zcomm = " + Significant(modes.Zcomm, 6) + " ohms");
    lines.push_back("vf odd = " + Significant(modes.vfOdd, 5) +
                    ", vf even = " + Significant(modes.vfEven, 5));
  }
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      lines.push_back("Kb " + Label(names, i) + "-" + Label(names, j) + " = " +
                      Significant(modes.Kb[at(i, j)], 5) + ", Kf " + Label(names, i) + "-" +
                      Label(names, j) + " = " + Significant(modes.Kf[at(i, j)], 5) + " s/m");
  for (int k = 0; k < n; ++k) {
    std::string line = "mode " + IntText(k + 1) + ": vf = " +
                       Significant(modes.velocityFactor[static_cast<std::size_t>(k)], 5) +
                       ", voltages";
    for (int i = 0; i < n; ++i)
      line += (i == 0 ? " " : ", ") + Significant(modes.voltages[at(i, k)], 4);
    lines.push_back(line);
  }
  for (int i = 0; i < n; ++i) {
    std::string line = i == 0 ? "Zc (ohms) = " : "            ";
    for (int j = 0; j < n; ++j) line += (j == 0 ? "" : " ") + Significant(modes.Zc[at(i, j)], 5);
    lines.push_back(line);
  }
  return lines;
}

}  // namespace zolva
