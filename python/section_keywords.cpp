#include "section_keywords.h"

#include <climits>
#include <cmath>
#include <string_view>

#include "core/utility.h"
#include "program/control_panel.h"

namespace py = pybind11;

namespace zolva::python {

namespace {

using K = KeywordKind;

// Every generated cross-section has these.
constexpr Keyword kCommon[] = {
    {"name", K::Text, EditBoxName, "the run name (str)"},
    {"total_pixels", K::Count, EditBoxTotalConductorPixels,
     "about how many conductor pixels the generator draws (int); more is finer and slower"},
    {"frequency", K::Frequency, EditBoxFrequency, "the frequency of the L and Rs solve, Hz"},
    {"skew", K::Length, EditBoxVerticalSkew, "vertical skew, m"},
    {"restrict_to_skin_depth", K::Check, CheckBoxRestrict,
     "current only in a layer a few skin depths thick under the conductors' surface (bool)"},
    {"classic_relaxation", K::Check, CheckBoxClassicRelaxation,
     "solve C and Gp by the classic over-relaxation instead of the multigrid solver (bool)"},
};

// The plane and slab options the two twinleads share.
constexpr Keyword kTwinCommon[] = {
    {"separation", K::Length, EditBoxWireSeparation, "centre-to-centre separation, m"},
    {"top_distance", K::Length, EditBoxTopDistance, "distance of the top plane, m"},
    {"bottom_distance", K::Length, EditBoxBottomDistance, "distance of the bottom plane, m"},
    {"side_distance", K::Length, EditBoxSideDistance, "distance of the side planes, m"},
    {"one_wire", K::Check, CheckBoxOneWire, "leave only one wire (bool)"},
    {"top_plane", K::Check, CheckBoxAddTopPlane, "add a ground plane on top (bool)"},
    {"bottom_plane", K::Check, CheckBoxAddBottomPlane, "add a ground plane below (bool)"},
    {"side_planes", K::Check, CheckBoxAddSidePlanes, "add ground planes at the sides (bool)"},
    {"insulation_vertical", K::Check, CheckBoxInsulationVertical,
     "a vertical dielectric slab (bool)"},
    {"insulation_horizontal", K::Check, CheckBoxInsulationHorizontal,
     "a horizontal dielectric slab (bool)"},
};

constexpr Keyword kTwinlead[] = {
    {"wire_diameter", K::Length, EditBoxWireDiameter, "wire diameter, m"},
    {"insulation_diameter", K::Length, EditBoxInsulationDiameter,
     "insulation diameter, m (0: bare wires)"},
    {"grounded_wire", K::Check, CheckboxAddGroundedWire, "add a grounded wire (bool)"},
    {"floating_wire", K::Check, CheckBoxAddFloatingWire, "add a floating wire (bool)"},
};

constexpr Keyword kSquareTwinlead[] = {
    {"wire_width", K::Length, EditBoxWireWidth, "conductor width, m"},
    {"wire_height", K::Length, EditBoxWireHeight, "conductor height, m"},
    {"short_ground_plane", K::Check, CheckBoxShortGroundPlane, "a short ground plane (bool)"},
    {"half_ground_plane", K::Check, CheckBoxHalfGroundPlane, "a half ground plane (bool)"},
};

constexpr Keyword kCoax[] = {
    {"centre_diameter", K::Length, EditBoxCenterConductorDia, "centre conductor diameter, m"},
    {"shield_inner_diameter", K::Length, EditBoxShieldInnerDia, "shield inner diameter, m"},
    {"shield_outer_diameter", K::Length, EditBoxShieldOuterDia, "shield outer diameter, m"},
    {"air_dielectric", K::Check, CheckBoxAirDielectric,
     "air between the conductors instead of polyethylene (bool)"},
    {"two_wire", K::Check, CheckBoxOneWire, "two centre conductors in one shield (bool)"},
};

template <std::size_t N>
void Append(std::vector<Keyword>& list, const Keyword (&table)[N]) {
  list.insert(list.end(), table, table + N);
}

std::vector<Keyword> MakeKeywords(GeometryKind kind) {
  std::vector<Keyword> list;
  switch (kind) {
    case GeomTwinlead:
      Append(list, kTwinCommon);
      Append(list, kTwinlead);
      break;
    case GeomSquareTwinlead:
      Append(list, kTwinCommon);
      Append(list, kSquareTwinlead);
      break;
    case GeomCoaxial:
      Append(list, kCoax);
      break;
    case GeomUsermap:
      return list;
  }
  Append(list, kCommon);
  return list;
}

std::string TypeName(py::handle value) {
  return py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>();
}

std::string Repr(py::handle value) {
  std::string text = py::repr(value).cast<std::string>();
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

[[noreturn]] void Refuse(PyObject* type, const std::string& message) {
  if (type == PyExc_TypeError) throw py::type_error(message);
  throw py::value_error(message);
}

// A Python bool (or numpy's), not an int that happens to be 0 or 1.
bool IsBool(py::handle value) {
  return PyBool_Check(value.ptr()) || TypeName(value) == "bool_";
}

bool IsNumber(py::handle value) {
  return !IsBool(value) &&
         (PyFloat_Check(value.ptr()) || PyIndex_Check(value.ptr()) || PyNumber_Check(value.ptr()));
}

double ToDouble(const char* function, const char* keyword, py::handle value, const char* what) {
  const double x = PyFloat_AsDouble(value.ptr());
  if (x == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    Refuse(PyExc_TypeError, std::string(function) + ": " + keyword + " must be " + what + "; got " +
                                TypeName(value) + " " + Repr(value));
  }
  return x;
}

}  // namespace

const std::vector<Keyword>& KeywordsOf(GeometryKind kind) {
  static const std::vector<Keyword> lists[] = {
      MakeKeywords(GeomTwinlead), MakeKeywords(GeomSquareTwinlead), MakeKeywords(GeomCoaxial),
      MakeKeywords(GeomUsermap)};
  if (kind < GeomTwinlead || kind > GeomUsermap)
    throw std::out_of_range("geometry kind " + std::to_string(static_cast<int>(kind)));
  return lists[kind];
}

const char* KindName(GeometryKind kind) {
  switch (kind) {
    case GeomTwinlead:
      return "twinlead";
    case GeomSquareTwinlead:
      return "square_twinlead";
    case GeomCoaxial:
      return "coax";
    case GeomUsermap:
      return "usermap";
  }
  return "?";
}

std::string LengthText(const char* function, const char* keyword, py::handle value) {
  const std::string prefix = std::string(function) + ": " + keyword;
  if (py::isinstance<py::str>(value)) {
    std::string text = value.cast<std::string>();
    // The panel reads a text it cannot convert as -1 inch.
    if (ReadLength(text) == -kMetresPerInch)
      Refuse(PyExc_ValueError, prefix + ": cannot read \"" + text +
                                   "\" as a length; give metres as a number, or a text with a "
                                   "unit M, CM, MM, IN or AWG, such as \"0.2mm\" or \"12 AWG\"");
    return text;
  }
  if (!IsNumber(value))
    Refuse(PyExc_TypeError, prefix +
                                " must be a length: a number of metres or a text such as "
                                "\"0.2mm\"; got " +
                                TypeName(value) + " " + Repr(value));
  const double metres = ToDouble(function, keyword, value, "a number of metres");
  if (!std::isfinite(metres))
    Refuse(PyExc_ValueError, prefix + " must be a finite number of metres; got " + Repr(value));
  return ExactText(metres) + "m";
}

double FrequencyHz(const char* function, const char* keyword, py::handle value) {
  const std::string prefix = std::string(function) + ": " + keyword;
  if (!IsNumber(value))
    Refuse(PyExc_TypeError,
           prefix + " must be a number of hertz; got " + TypeName(value) + " " + Repr(value));
  const double hertz = ToDouble(function, keyword, value, "a number of hertz");
  if (!std::isfinite(hertz) || !(hertz > 0))
    Refuse(PyExc_ValueError, prefix + " must be above 0 Hz; got " + Repr(value));
  return hertz;
}

void ReadKeywords(const char* function, GeometryKind kind, const py::kwargs& keywords,
                  PanelInputs& inputs) {
  const std::vector<Keyword>& known = KeywordsOf(kind);
  for (const auto& [key, value] : keywords) {
    const std::string name = py::str(key).cast<std::string>();
    const Keyword* keyword = nullptr;
    for (const Keyword& k : known)
      if (name == k.name) keyword = &k;
    if (keyword == nullptr) {
      std::string names;
      for (const Keyword& k : known) names += std::string(names.empty() ? "" : ", ") + k.name;
      Refuse(PyExc_TypeError, std::string(function) + "() got an unexpected keyword argument '" +
                                  name + "'; it takes " + names);
    }
    const std::string prefix = std::string(function) + ": " + name;
    switch (keyword->kind) {
      case K::Length:
        inputs.fields[static_cast<EditBox>(keyword->control)] =
            LengthText(function, keyword->name, value);
        break;
      case K::Frequency:
        // The field holds megahertz.
        inputs.fields[EditBoxFrequency] =
            ExactText(FrequencyHz(function, keyword->name, value) / 1e6);
        break;
      case K::Count: {
        if (IsBool(value) || !PyIndex_Check(value.ptr()))
          Refuse(PyExc_TypeError,
                 prefix + " must be an int; got " + TypeName(value) + " " + Repr(value));
        const long long n = IndexValue(value);
        if (n < 1 || n > 100000000)
          Refuse(PyExc_ValueError,
                 prefix + " must be a pixel count from 1 to 100000000; got " + Repr(value));
        inputs.fields[static_cast<EditBox>(keyword->control)] = std::to_string(n);
        break;
      }
      case K::Text: {
        if (!py::isinstance<py::str>(value))
          Refuse(PyExc_TypeError,
                 prefix + " must be a str; got " + TypeName(value) + " " + Repr(value));
        inputs.fields[static_cast<EditBox>(keyword->control)] = value.cast<std::string>();
        break;
      }
      case K::Check:
        if (!IsBool(value))
          Refuse(PyExc_TypeError,
                 prefix + " must be True or False; got " + TypeName(value) + " " + Repr(value));
        inputs.checks[static_cast<CheckBox>(keyword->control)] = PyObject_IsTrue(value.ptr()) == 1;
        break;
    }
  }
}

long long IndexValue(py::handle value) {
  py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long long n = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (overflow != 0) return overflow > 0 ? LLONG_MAX : LLONG_MIN;
  return n;
}

std::string KeywordHelp(GeometryKind kind) {
  std::string text;
  for (const Keyword& k : KeywordsOf(kind))
    text += std::string("    ") + k.name + ": " + k.help + "\n";
  return text;
}

}  // namespace zolva::python
