#include "core/text_reader.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace zolva {

namespace {

// Removes the one "+" that may stand in front of a number; false for "+-" and a lone "+".
bool DropPlus(std::string_view& text) {
  if (text.empty() || text.front() != '+') return true;
  text.remove_prefix(1);
  return !text.empty() && text.front() != '-' && text.front() != '+';
}

}  // namespace

bool ParseReal(std::string_view text, double& value, RealSyntax syntax) {
  if (!DropPlus(text) || text.empty()) return false;
  if (syntax == RealSyntax::Script && text.find('+') != std::string_view::npos) return false;
  double x = 0.0;
  const char* end = text.data() + text.size();
  // from_chars reads neither a "+" in front nor hexadecimal digits in the general format; it does
  // read "inf" and "nan", which the finiteness test refuses.
  auto [ptr, ec] = std::from_chars(text.data(), end, x, std::chars_format::general);
  if (ec != std::errc() || ptr != end || !std::isfinite(x)) return false;
  value = x;
  return true;
}

bool ParseInteger(std::string_view text, int& value) {
  if (!DropPlus(text) || text.empty()) return false;
  int x = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, x, 10);
  if (ec != std::errc() || ptr != end) return false;
  value = x;
  return true;
}

bool ForEachLine(std::istream& in, std::size_t keep,
                 const std::function<bool(const std::string&)>& line) {
  std::streambuf* buffer = in.rdbuf();
  if (buffer == nullptr) return true;
  using Traits = std::char_traits<char>;
  std::string text;
  bool open = false;  // a line has begun and not yet ended
  // A UTF-8 byte-order mark, which some editors put at the start of a text file, is no text.
  static constexpr char kMark[] = "\xEF\xBB\xBF";
  std::size_t marked = 0;
  while (marked < 3 && buffer->sgetc() == static_cast<unsigned char>(kMark[marked])) {
    buffer->sbumpc();
    ++marked;
  }
  if (marked > 0 && marked < 3) {
    // Not a whole mark: the bytes belong to the first line.
    text.assign(kMark, marked);
    open = true;
  }
  for (int c = buffer->sbumpc(); c != Traits::eof(); c = buffer->sbumpc()) {
    if (c == '\r' || c == '\n') {
      if (c == '\r' && buffer->sgetc() == '\n') buffer->sbumpc();
      if (!line(text)) return false;
      text.clear();
      open = false;
      continue;
    }
    open = true;
    if (text.size() < keep) text.push_back(static_cast<char>(c));
  }
  if (open) return line(text);
  return true;
}

void WordCursor::SkipBlanks() {
  std::size_t start = rest_.find_first_not_of(' ');
  rest_.remove_prefix(start == std::string_view::npos ? rest_.size() : start);
}

std::string_view WordCursor::Next() {
  SkipBlanks();
  std::size_t end = rest_.find(' ');
  if (end == std::string_view::npos) end = rest_.size();
  std::string_view word = rest_.substr(0, end);
  rest_.remove_prefix(end);
  return word;
}

std::string_view WordCursor::Rest(bool trimmed) {
  SkipBlanks();
  std::string_view rest = rest_;
  rest_ = {};
  if (trimmed) {
    std::size_t last = rest.find_last_not_of(' ');
    rest = last == std::string_view::npos ? std::string_view() : rest.substr(0, last + 1);
  }
  return rest;
}

}  // namespace zolva
