// The keyword arguments of the Python module's cross-sections, read into the texts and check
// boxes of the control panel. Python speaks SI: a bare number is metres (or hertz), and is written
// into the field as an exact text with the unit "m", so that the panel's own reader turns it back
// into the very same double. A text ("0.2mm", "12 AWG") goes into the field as it is.
#pragma once

#include <pybind11/pybind11.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "program/panel_model.h"
#include "program/program_state.h"

namespace zolva::python {

// What one keyword sets.
enum class KeywordKind { Length, Count, Text, Check, Frequency };

struct Keyword {
  const char* name;
  KeywordKind kind;
  int control;  // an EditBox for the fields, a CheckBox for the checks; unused for Frequency
  const char* help;
};

// The keywords a cross-section of this kind takes, in the order its docstring lists them.
const std::vector<Keyword>& KeywordsOf(GeometryKind kind);
// "coax", "twinlead", "square_twinlead", "usermap".
const char* KindName(GeometryKind kind);

// The panel's inputs of a generated cross-section, as its keywords gave them.
struct PanelInputs {
  std::map<EditBox, std::string> fields;
  std::map<CheckBox, bool> checks;
};

// Reads the keywords into the inputs (on top of what they hold). Throws TypeError for an unknown
// keyword or a value of the wrong type, ValueError for a value that cannot be one (a length the
// panel cannot read, a pixel count below 1, a frequency not above 0); the message names the
// function, the keyword and the value. `function` is the Python name, such as "coax".
void ReadKeywords(const char* function, GeometryKind kind, const pybind11::kwargs& keywords,
                  PanelInputs& inputs);

// A length keyword's text: a Python number of metres as an exact text with the unit "m", or a
// text the panel reads as a length. Throws as ReadKeywords does.
std::string LengthText(const char* function, const char* keyword, pybind11::handle value);
// A frequency in hertz (a finite number above 0).
double FrequencyHz(const char* function, const char* keyword, pybind11::handle value);
// An int-like value (int, numpy integer), clamped to the range of long long; the caller has checked
// PyIndex_Check.
long long IndexValue(pybind11::handle value);
// The docstring lines of the keywords of a kind: "name: help" per line.
std::string KeywordHelp(GeometryKind kind);

}  // namespace zolva::python
