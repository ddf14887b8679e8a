// Reading numbers and lengths typed into the control panel, with the program's one number reader
// (independent of the locale: a decimal point is always ".").
#include <cmath>
#include <string>
#include <string_view>
#include <system_error>

#include "core/text_reader.h"
#include "program/control_panel.h"
#include "program/program_state.h"

namespace zolva {
namespace {

// What a text that does not convert reads as: -1 in the field's unit.
constexpr double kNoLength = -kMetresPerInch;

std::string_view TrimBlanks(std::string_view text) {
  std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

double ReadLength(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (c != ' ') compact.push_back(c);
  }
  // The number runs up to the last digit; everything after it names the unit, so "5." has the
  // unit "." and "1e-3m" is the number 1e-3 in metres.
  std::size_t lastDigit = compact.find_last_of("0123456789");
  if (lastDigit == std::string::npos) return kNoLength;
  double number = 0.0;
  if (!ParseReal(std::string_view(compact).substr(0, lastDigit + 1), number)) return kNoLength;
  std::string unit = compact.substr(lastDigit + 1);
  for (char& c : unit) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }

  double metres = kNoLength;
  if (unit.empty() || unit == "IN") {
    metres = number * kMetresPerInch;
  } else if (unit == "M") {
    metres = number;
  } else if (unit == "CM") {
    metres = number / 100.0;
  } else if (unit == "MM") {
    metres = number / 1000.0;
  } else if (unit == "AWG") {
    // American wire gauge: the diameter shrinks by a factor 92^(1/39) per gauge step, from
    // 0.46 in at gauge 0000 (n = -3) to 0.005 in at gauge 36.
    metres = std::pow(10.0, -0.05036 * number - 0.48831) * kMetresPerInch;
  }
  return std::isfinite(metres) ? metres : kNoLength;
}

int ReadIntegerField(std::string_view text) {
  int value = 0;
  return ParseInteger(TrimBlanks(text), value) ? value : -1;
}

double ReadRealField(std::string_view text) {
  double value = 0.0;
  return ParseReal(TrimBlanks(text), value) ? value : -1.0;
}

}  // namespace zolva
