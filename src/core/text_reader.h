// The one reader of the texts the program reads: lines of its text files, blank-separated words,
// and real and integer numbers. The number texts do not depend on the locale: the decimal point is
// always ".", whatever the machine's settings.
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <string>
#include <string_view>

namespace zolva {

// How a real number may be written. Everywhere: an optional "+" (not "+-") in front, then a
// decimal number in fixed or exponent notation that holds a finite value; "inf", "nan" and
// hexadecimal texts are no numbers. Scripts do not allow a "+" in the exponent ("1e+3"), which
// the panel, "MoreColors.txt" and the pixel width of a file name accept.
enum class RealSyntax { Standard, Script };

// The whole text as a real number; false (value untouched) when it is not one.
bool ParseReal(std::string_view text, double& value, RealSyntax syntax = RealSyntax::Standard);
// The whole text as a decimal integer within 32 bits, with an optional "+" (not "+-") in front.
bool ParseInteger(std::string_view text, int& value);

// Calls line(text) for every line of the stream, in order: CR LF, LF and a lone CR all end a
// line, a last line without an end counts, and only the first keep characters of a line are
// passed. A UTF-8 byte-order mark at the start of the stream is skipped. Stops early when line
// returns false; returns false then, true at the end of the stream.
bool ForEachLine(std::istream& in, std::size_t keep,
                 const std::function<bool(const std::string&)>& line);

// Blank-separated words from the front of a text.
class WordCursor {
 public:
  explicit WordCursor(std::string_view text) : rest_(text) {}
  // The next word, whole; empty when no word is left.
  std::string_view Next();
  // What is left after the blanks in front of it; trimmed also drops the blanks at its end.
  std::string_view Rest(bool trimmed);

 private:
  void SkipBlanks();
  std::string_view rest_;
};

}  // namespace zolva
