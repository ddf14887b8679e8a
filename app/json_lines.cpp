#include "json_lines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <locale>
#include <sstream>
#include <vector>

#include "core/pixel_map.h"
#include "core/utility.h"
#include "program/context.h"
#include "program/coupled_files.h"
#include "program/results_report.h"

namespace zolva {

namespace {

// Builds one object: members are added in order, each with its name.
class JsonObject {
 public:
  JsonObject& Raw(const std::string& name, const std::string& value) {
    text_.append(text_.empty() ? "{" : ", ").append(JsonString(name)).append(": ").append(value);
    return *this;
  }
  JsonObject& Number(const std::string& name, double x) { return Raw(name, JsonNumber(x)); }
  JsonObject& Integer(const std::string& name, long long n) { return Raw(name, std::to_string(n)); }
  JsonObject& Text(const std::string& name, const std::string& s) {
    return Raw(name, JsonString(s));
  }
  JsonObject& Bool(const std::string& name, bool b) { return Raw(name, b ? "true" : "false"); }
  // A figure and its unit.
  JsonObject& Figure(const std::string& name, double x, const char* unit) {
    return Raw(name, JsonObject().Number("value", x).Text("unit", unit).Str());
  }
  std::string Str() const { return text_.empty() ? "{}" : text_ + "}"; }

 private:
  std::string text_;
};

const char* GeometryName(GeometryKind kind) {
  switch (kind) {
    case GeomTwinlead:
      return "round twinlead";
    case GeomSquareTwinlead:
      return "square twinlead";
    case GeomCoaxial:
      return "coaxial";
    case GeomUsermap:
      return "usermap";
  }
  return "unknown";
}

// The panel fields the geometry is drawn from, as typed.
std::vector<EditBox> InputFields(GeometryKind kind) {
  switch (kind) {
    case GeomTwinlead:
      return {EditBoxWireSeparation, EditBoxWireDiameter,        EditBoxInsulationDiameter,
              EditBoxVerticalSkew,   EditBoxTopDistance,         EditBoxBottomDistance,
              EditBoxSideDistance,   EditBoxTotalConductorPixels};
    case GeomSquareTwinlead:
      return {EditBoxWireSeparation, EditBoxWireWidth,           EditBoxWireHeight,
              EditBoxVerticalSkew,   EditBoxTopDistance,         EditBoxBottomDistance,
              EditBoxSideDistance,   EditBoxTotalConductorPixels};
    case GeomCoaxial:
      return {EditBoxCenterConductorDia, EditBoxShieldInnerDia, EditBoxShieldOuterDia,
              EditBoxVerticalSkew, EditBoxTotalConductorPixels};
    case GeomUsermap:
      return {EditBoxPixelWidth};
  }
  return {};
}

const char* FieldName(EditBox field) {
  switch (field) {
    case EditBoxWireSeparation:
      return "wireSeparation";
    case EditBoxWireDiameter:
      return "wireDiameter";
    case EditBoxInsulationDiameter:
      return "insulationDiameter";
    case EditBoxWireWidth:
      return "wireWidth";
    case EditBoxWireHeight:
      return "wireHeight";
    case EditBoxCenterConductorDia:
      return "centerConductorDia";
    case EditBoxShieldInnerDia:
      return "shieldInnerDia";
    case EditBoxShieldOuterDia:
      return "shieldOuterDia";
    case EditBoxVerticalSkew:
      return "verticalSkew";
    case EditBoxTopDistance:
      return "topDistance";
    case EditBoxBottomDistance:
      return "bottomDistance";
    case EditBoxSideDistance:
      return "sideDistance";
    case EditBoxTotalConductorPixels:
      return "totalConductorPixels";
    case EditBoxPixelWidth:
      return "pixelWidth";
    default:
      return "field";
  }
}

std::string GeometryObject(const Context& ctx) {
  const GeometryKind kind = ctx.state.geometryKind;
  JsonObject inputs;
  for (EditBox field : InputFields(kind))
    inputs.Text(FieldName(field), ctx.panel.edits[field].text);
  JsonObject g;
  g.Text("kind", GeometryName(kind)).Text("name", ctx.state.mapName);
  if (kind == GeomUsermap) {
    g.Text("file", ctx.map.sourcePath)
        .Integer("rescalePercent", kRescaleFactors[std::clamp(ctx.map.rescaleIndex, 0, 3)])
        .Integer("noMaterialColours", ctx.map.unknownColours)
        .Integer("noMaterialPixels", ctx.map.unknownPixels);
  }
  return g.Raw("inputs", inputs.Str())
      .Number("frequencyMHz", ctx.state.frequencyMHz)
      .Number("pixelWidth", ctx.state.pixelWidth)
      .Integer("Uwid", ctx.map.Uwid)
      .Integer("Uhei", ctx.map.Uhei)
      .Integer("condCount", ctx.map.condCount)
      .Str();
}

std::string FloatVoltsObject(const Context& ctx) {
  JsonObject o;
  const int count = std::clamp(ctx.materials.palette.count, 0, kPaletteCapacity);
  for (int i = 0; i < count && i < static_cast<int>(ctx.results.floatVolts.size()); ++i) {
    if (ctx.materials.palette.entries[static_cast<std::size_t>(i)].kind != KindFloat) continue;
    o.Number(std::to_string(i), ctx.results.floatVolts[static_cast<std::size_t>(i)]);
  }
  return o.Str();
}

std::string ResultsObject(const Context& ctx, SolvedFigures which) {
  const Results& r = ctx.results;
  JsonObject o;
  if (which == SolvedFigures::LandRs) {
    o.Figure("L", r.L, "H/m").Figure("Rs", r.Rs, "ohm/m").Bool("rsWarning", r.rsWarning);
    if (ctx.cindex.hasPlus && ctx.cindex.hasMinus) o.Figure("VoL", r.VoL, "V");
    if (ctx.cindex.hasAllThree) o.Figure("Ignd", r.Ignd, "fraction");
    o.Figure("runSeconds", r.runSecondsL, "s");
  } else {
    o.Figure("C", r.C, "F/m")
        .Figure("Gp", r.Gp, "S/m")
        .Figure("VoC", r.VoC, "V")
        .Figure("Qdif", r.Qdif, "%")
        .Figure("runSeconds", r.runSecondsC, "s")
        .Raw("floatVolts", FloatVoltsObject(ctx));
  }
  o.Figure("vfAssumed", r.vfAssumed, "");
  // Zo and the velocity factor need both line constants of a lossless line.
  if (r.L > 0.0 && r.C > 0.0) {
    o.Figure("Zo", CharacteristicImpedance(r.L, r.C), "ohm")
        .Figure("vf", VelocityFactor(r.L, r.C), "");
  }
  return o.Str();
}

std::string EstimateObject(const Context& ctx) {
  JsonObject o;
  for (int f = 0; f < kFigureCount; ++f) {
    const FigureEstimate* e = CurrentEstimate(ctx, static_cast<EstimatedFigure>(f));
    if (!e) continue;
    o.Raw(kFigureNames[f], JsonObject()
                               .Number("extrapolated", e->extrapolated)
                               .Number("relativeError", e->relativeError)
                               .Str());
  }
  return o.Str();
}

std::string NotesArray(const std::vector<std::string>& notes) {
  std::string text = "[";
  for (const std::string& note : notes) {
    text.append(text.size() > 1 ? ", " : "").append(JsonString(note));
  }
  return text + "]";
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string JsonNumber(double x) {
  if (!std::isfinite(x)) return "null";
  // The shortest text that reads back as the same double: 5e-05, not 5.0000000000000002e-05.
  return ExactText(x);
}

std::string SolveObject(const Context& ctx, SolvedFigures which, int number) {
  const SolveReports& reports = ctx.reports;
  JsonObject o;
  o.Text("type", "solve")
      .Integer("solve", number)
      .Text("kind", which == SolvedFigures::LandRs ? "L and Rs" : "C and Gp")
      .Bool("succeeded", ctx.state.solveSucceeded);
  if (reports.scriptLineNumber > 0) {
    o.Raw("script", JsonObject()
                        .Text("file", reports.scriptPath)
                        .Integer("line", reports.scriptLineNumber)
                        .Text("text", reports.scriptLine)
                        .Str());
  } else {
    o.Raw("script", "null");
  }
  o.Raw("geometry", GeometryObject(ctx)).Raw("results", ResultsObject(ctx, which));
  if (ctx.panel.checks[CheckBoxEstimateError]) o.Raw("estimate", EstimateObject(ctx));
  if (which == SolvedFigures::CandGp) {
    const PeakField& p = ctx.results.peak;
    if (p.valid) {
      o.Number("peakField", p.voltsPerMetre)
          .Raw("peakFieldAt", std::string("[")
                                  .append(std::to_string(p.x))
                                  .append(", ")
                                  .append(std::to_string(p.y))
                                  .append("]"))
          .Text("peakMaterial", p.material)
          .Number("dielectricStrength", p.strength)
          .Number("breakdownVolts", p.breakdownVolts);
    } else {
      o.Raw("peakField", "null").Raw("peakFieldAt", "null").Raw("breakdownVolts", "null");
    }
    o.Raw("notes", NotesArray(ctx.results.notes));
  } else {
    o.Raw("notes", NotesArray(ctx.results.notesL));
  }
  return o.Str();
}

namespace {

// A matrix as rows of numbers.
std::string MatrixArray(const LineMatrices& m, const std::vector<double>& a) {
  if (a.size() != static_cast<std::size_t>(m.n) * static_cast<std::size_t>(m.n)) return "null";
  std::string text = "[";
  for (int i = 0; i < m.n; ++i) {
    text += i ? ", [" : "[";
    for (int j = 0; j < m.n; ++j) {
      if (j) text += ", ";
      text += JsonNumber(m.At(a, i, j));
    }
    text += "]";
  }
  return text + "]";
}

}  // namespace

std::string MatricesObject(const LineMatrices& m) {
  std::string names = "[";
  for (std::size_t i = 0; i < m.names.size(); ++i) {
    if (i) names += ", ";
    names += JsonString(m.names[i]);
  }
  names += "]";
  return JsonObject()
      .Integer("n", m.n)
      .Raw("conductors", names)
      .Number("frequency", m.frequencyHz)
      .Raw("C", MatrixArray(m, m.C))
      .Raw("G", MatrixArray(m, m.G))
      .Raw("L", MatrixArray(m, m.L))
      .Raw("R", MatrixArray(m, m.R))
      .Raw("units", JsonObject()
                        .Text("frequency", "Hz")
                        .Text("C", "F/m")
                        .Text("G", "S/m")
                        .Text("L", "H/m")
                        .Text("R", "ohm/m")
                        .Str())
      .Str();
}

std::string ModesObject(const CoupledModes& modes) {
  JsonObject o;
  JsonObject units;
  for (const CoupledFigure& f : CoupledFigures(modes)) {
    o.Number(f.name, f.value);
    if (!f.unit.empty()) units.Text(f.name, f.unit);
  }
  return o.Raw("units", units.Str()).Str();
}

std::string CoupledObject(const Context& ctx, int number) {
  const CoupledResults& r = ctx.coupled;
  std::string notes = "[";
  for (std::size_t i = 0; i < r.notes.size(); ++i) {
    if (i) notes += ", ";
    notes += JsonString(r.notes[i]);
  }
  notes += "]";
  JsonObject o;
  o.Text("type", "solve")
      .Integer("solve", number)
      .Text("kind", "coupled")
      .Bool("succeeded", r.valid)
      .Raw("geometry", GeometryObject(ctx))
      .Raw("reference", r.numbering.reference > 0 ? std::to_string(r.numbering.reference)
                                                  : std::string("\"ground\""))
      .Raw("matrices", MatricesObject(r.matrices));
  if (r.modes.n > 0) o.Raw("modes", ModesObject(r.modes));
  if (!r.sweep.empty()) {
    std::string sweep = "[";
    for (std::size_t i = 0; i < r.sweep.size(); ++i) {
      if (i) sweep += ", ";
      sweep += MatricesObject(r.sweep[i]);
    }
    o.Raw("sweep", sweep + "]");
  }
  return o.Number("asymmetryC", r.asymmetryC)
      .Number("asymmetryZ", r.asymmetryZ)
      .Raw("notes", notes)
      .Str();
}

std::string FinalObject(const Context& ctx, int solves, const std::optional<std::string>& lastL,
                        const std::optional<std::string>& lastC, int exitStatus) {
  return JsonObject()
      .Text("type", "end")
      .Integer("solves", solves)
      .Raw("geometry", GeometryObject(ctx))
      .Raw("LandRs", lastL ? *lastL : "null")
      .Raw("CandGp", lastC ? *lastC : "null")
      .Bool("operationFailed", ctx.state.operationFailed)
      .Text("fault", ctx.state.lastFault)
      .Integer("exitStatus", exitStatus)
      .Str();
}

}  // namespace zolva
