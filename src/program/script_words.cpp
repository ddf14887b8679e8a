#include "program/script_words.h"

#include <charconv>
#include <cmath>

namespace zolva {

namespace {

char Capital(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string CleanScriptLine(std::string_view raw) {
  std::string line(raw.substr(0, kMaxScriptLine));
  if (std::size_t bar = line.find('|'); bar != std::string::npos) line.erase(bar);
  for (char& c : line) {
    if (c == '\t') c = ' ';
  }
  std::size_t first = line.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  line.erase(0, first);
  return line;
}

std::string CommandCode(std::string_view word) {
  if (word.size() < 3) return {};
  std::string code(word.substr(0, 3));
  for (char& c : code) c = Capital(c);
  return code;
}

bool ParseScriptInteger(std::string_view text, int& value) {
  // One sign at most: "+5" is a number, "+-5" and "+" are not.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() == '-') return false;
  }
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

bool ParseScriptReal(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() == '-') return false;
  }
  // Only decimal texts count: the hexadecimal, "inf" and "nan" spellings that the general
  // conversion also knows are no numbers in a script, and every number must hold a digit.
  bool hasDigit = false;
  for (char c : text) {
    if (IsDigit(c)) {
      hasDigit = true;
    } else if (c != '.' && c != '-' && c != 'e' && c != 'E') {
      return false;
    }
  }
  if (!hasDigit) return false;
  double x = 0.0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, x, std::chars_format::general);
  if (ec != std::errc() || ptr != end || !std::isfinite(x)) return false;
  value = x;
  return true;
}

std::string WordReader::NextWordUncut() {
  if (conversionError_) return {};
  while (pos_ < line_.size() && line_[pos_] == ' ') ++pos_;
  std::size_t start = pos_;
  while (pos_ < line_.size() && line_[pos_] != ' ') ++pos_;
  return line_.substr(start, pos_ - start);
}

std::string WordReader::Word() {
  std::string word = NextWordUncut();
  if (word.size() > kMaxScriptWord) word.resize(kMaxScriptWord);
  return word;
}

int WordReader::ToInteger(std::string_view word) {
  if (conversionError_) return 0;
  int value = 0;
  if (!ParseScriptInteger(word, value)) {
    conversionError_ = true;
    return 0;
  }
  return value;
}

int WordReader::Integer() {
  return ToInteger(Word());
}

double WordReader::Real() {
  std::string word = Word();
  if (conversionError_) return 0.0;
  double value = 0.0;
  if (!ParseScriptReal(word, value)) {
    conversionError_ = true;
    return 0.0;
  }
  return value;
}

bool WordReader::OnOff() {
  std::string word = Word();
  if (word.size() > kOnOffWordLength) word.resize(kOnOffWordLength);
  for (char& c : word) c = Capital(c);
  return word == "T" || word == "Y";
}

std::string WordReader::Rest() {
  if (conversionError_) return {};
  std::size_t first = line_.find_first_not_of(' ', pos_);
  pos_ = line_.size();
  if (first == std::string::npos) return {};
  std::size_t last = line_.find_last_not_of(' ');
  return line_.substr(first, last - first + 1);
}

std::string WordReader::Path(const std::string& programFolder) {
  std::string rest = Rest();
  if (rest.size() > 1 && rest.front() == '%') return programFolder + rest.substr(1);
  return rest;
}

}  // namespace zolva
