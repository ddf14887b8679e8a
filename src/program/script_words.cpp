#include "program/script_words.h"

#include "core/text_reader.h"

namespace zolva {

namespace {

// "\"word\"" followed by text. Built by appending: GCC 12 warns falsely (-Wrestrict) about
// const char* + std::string.
std::string Quoted(std::string_view word, std::string_view text) {
  std::string note;
  note.reserve(word.size() + text.size() + 2);
  note.append(1, '"').append(word).append(1, '"').append(text);
  return note;
}

char Capital(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
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
  return ParseInteger(text, value);
}

bool ParseScriptReal(std::string_view text, double& value) {
  return ParseReal(text, value, RealSyntax::Script);
}

std::string WordReader::NextWordUncut() {
  if (conversionError_) return {};
  return std::string(cursor_.Next());
}

std::string WordReader::Word() {
  std::string word = NextWordUncut();
  if (word.size() > kMaxScriptWord) {
    std::string cut = word.substr(0, kMaxScriptWord);
    notes_.push_back("the word " +
                     Quoted(word, " is longer than " + std::to_string(kMaxScriptWord) +
                                      " characters and was read as ") +
                     Quoted(cut, ""));
    word = std::move(cut);
  }
  return word;
}

void WordReader::NoteRange(std::string_view word, std::string_view outcome) {
  notes_.push_back(Quoted(word, " is out of range; ").append(outcome));
}

void WordReader::Finish() {
  if (conversionError_) return;
  std::string_view rest = cursor_.Rest(true);
  if (!rest.empty()) notes_.push_back("the words " + Quoted(rest, " were not read"));
}

int WordReader::ToInteger(std::string_view word) {
  if (conversionError_) return 0;
  int value = 0;
  if (!ParseScriptInteger(word, value)) {
    conversionError_ = true;
    notes_.push_back(
        Quoted(word, " is not a whole number and was read as 0; the rest of the line is ignored"));
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
    notes_.push_back(
        Quoted(word, " is not a number and was read as 0; the rest of the line is ignored"));
    return 0.0;
  }
  return value;
}

bool WordReader::OnOff() {
  const std::string typed = Word();
  if (conversionError_) return false;
  std::string word = typed;
  if (word.size() > kOnOffWordLength) word.resize(kOnOffWordLength);
  for (char& c : word) c = Capital(c);
  if (word == "T" || word == "Y") return true;
  if (word.empty() || word == "F" || word == "N") return false;
  // TRUE or YES read as off once switched a box off without a word; every other word is refused.
  conversionError_ = true;
  refusal_ = Quoted(typed, " is no on/off word: T or Y is on, F or N (or no word) is off");
  notes_.push_back(refusal_);
  return false;
}

std::string WordReader::Rest() {
  if (conversionError_) return {};
  return std::string(cursor_.Rest(true));
}

std::string WordReader::Path(const std::string& programFolder) {
  std::string rest = Rest();
  if (rest.size() > 1 && rest.front() == '%') return programFolder + rest.substr(1);
  return rest;
}

}  // namespace zolva
