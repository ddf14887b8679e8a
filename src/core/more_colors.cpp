// The reader of "MoreColors.txt": the user's own colour definitions, one per line, read once at
// start-up after the built-in colours so that a line may redefine any of them.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "core/materials.h"
#include "core/reporter.h"
#include "core/text_reader.h"

namespace zolva {

namespace {

constexpr std::size_t kMaxLineLength = 255;
constexpr std::size_t kMaxWordLength = 16;

// The words of a line, each cut to its first 16 characters.
class WordReader {
 public:
  explicit WordReader(std::string_view text) : cursor_(text) {}
  // False when no word is left.
  bool Next(std::string_view& word) {
    std::string_view whole = cursor_.Next();
    if (whole.empty()) return false;
    word = whole.substr(0, kMaxWordLength);
    return true;
  }
  std::string_view Rest() { return cursor_.Rest(false); }

 private:
  WordCursor cursor_;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A colour component: decimal, or hexadecimal after "$" or "0x"; anything outside 0..255 does
// not convert.
bool ReadComponent(std::string_view word, int& value) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  int base = 10;
  if (!word.empty() && word.front() == '$') {
    base = 16;
    word.remove_prefix(1);
  } else if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    base = 16;
    word.remove_prefix(2);
  }
  if (word.empty()) return false;
  long accumulated = 0;
  for (char c : word) {
    int digit = HexDigit(c);
    if (digit < 0 || digit >= base) return false;
    accumulated = accumulated * base + digit;
    if (accumulated > 255) return false;  // also keeps a long word from overflowing
  }
  value = static_cast<int>(accumulated);
  return true;
}

bool ReadKind(std::string_view word, MaterialKind& kind) {
  std::string upper(word);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (upper == "1" || upper == "+1") {
    kind = KindPlus;
  } else if (upper == "-1") {
    kind = KindMinus;
  } else if (upper == "0") {
    kind = KindGround;
  } else if (upper == "INSUL") {
    kind = KindInsul;
  } else if (upper == "FLOAT") {
    kind = KindFloat;
  } else {
    return false;
  }
  return true;
}

bool ReadReal(std::string_view word, double& value) {
  return ParseReal(word, value);
}

}  // namespace

MoreColorsLine ParseMoreColorsLine(std::string_view line) {
  MoreColorsLine result;
  if (line.size() > kMaxLineLength) line = line.substr(0, kMaxLineLength);
  std::size_t bar = line.find('|');
  if (bar != std::string_view::npos) line = line.substr(0, bar);
  std::string text(line);
  for (char& c : text)
    if (c == '\t') c = ' ';
  std::size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return result;  // blank or comment only

  result.status = MoreColorsLine::Status::Bad;
  WordReader words(std::string_view(text).substr(start));
  std::string_view word;
  // What is wrong with the field, for the message: "the <field> is missing" or "... is <word>".
  auto bad = [&](const char* field, bool present) {
    result.problem = std::string("the ") + field +
                     (present ? " \"" + std::string(word) + "\" is not valid" : " is missing");
    return result;
  };
  int rgb[3] = {0, 0, 0};
  const char* components[3] = {"red value", "green value", "blue value"};
  for (int i = 0; i < 3; ++i) {
    if (!words.Next(word)) return bad(components[i], false);
    if (!ReadComponent(word, rgb[i])) return bad(components[i], true);
  }
  if (!words.Next(word)) return bad("kind", false);
  if (!ReadKind(word, result.kind)) return bad("kind", true);
  double* reals[4] = {&result.Resistivity, &result.Permittivity, &result.TanDelta,
                      &result.Permeability};
  const char* realNames[4] = {"resistivity", "permittivity", "loss tangent", "permeability"};
  std::string_view realWords[4];
  for (int i = 0; i < 4; ++i) {
    if (!words.Next(word)) return bad(realNames[i], false);
    if (!ReadReal(word, *reals[i])) return bad(realNames[i], true);
    realWords[i] = word;
  }
  // Values no material has: the relaxation cannot converge on a dielectric without a positive
  // permittivity, and a metal without a positive permeability has no skin depth.
  auto outOfRange = [&](int i) {
    result.problem =
        std::string("the ") + realNames[i] + " " + std::string(realWords[i]) + " is out of range";
    return result;
  };
  if (result.kind == KindInsul) {
    if (!(result.Permittivity > 0.0)) return outOfRange(1);
    if (result.TanDelta < 0.0) return outOfRange(2);
  } else {
    if (result.Resistivity < 0.0) return outOfRange(0);
    if (!(result.Permeability > 0.0)) return outOfRange(3);
  }
  // A ninth word that is a number is the dielectric strength; anything else begins the name.
  WordReader probe = words;
  if (probe.Next(word) && ReadReal(word, result.DielectricStrength)) {
    if (!(result.DielectricStrength > 0.0)) {
      result.problem = "the dielectric strength " + std::string(word) + " is out of range";
      return result;
    }
    words = probe;
  } else {
    result.DielectricStrength = kAirDielectricStrength;
  }
  result.color = PackColor(rgb[0], rgb[1], rgb[2]);
  result.name = std::string(words.Rest());
  result.status = MoreColorsLine::Status::Good;
  return result;
}

void LoadMoreColorsFile(MaterialTables& materials, Reporter& report, const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return;  // no file: only the built-in colours exist

  bool anyBad = false;
  std::string firstProblem;  // line number and field of the first bad line
  int refused = 0;
  int lineNumber = 0;
  ForEachLine(file, kMaxLineLength, [&](const std::string& line) {
    ++lineNumber;
    MoreColorsLine parsed = ParseMoreColorsLine(line);
    if (parsed.status == MoreColorsLine::Status::Bad) {
      if (!anyBad) firstProblem = "line " + std::to_string(lineNumber) + ": " + parsed.problem;
      anyBad = true;
    } else if (parsed.status == MoreColorsLine::Status::Good) {
      // A full table refuses new colours; the count is reported once after the whole file
      // rather than one message per line.
      bool isNew = FindTableIndex(materials.table, parsed.color) < 0;
      if (isNew && materials.table.count >= kColorTableCapacity) {
        ++refused;
      } else {
        if (RegisterColor(materials, report, parsed.color, parsed.kind, parsed.Resistivity,
                          parsed.Permittivity, parsed.TanDelta, parsed.Permeability, parsed.name)) {
          const int index = FindTableIndex(materials.table, parsed.color);
          if (index >= 0) {
            materials.table.entries[static_cast<std::size_t>(index)].DielectricStrength =
                parsed.DielectricStrength;
          }
        }
      }
    }
    return true;
  });
  if (anyBad) {
    report.MessageBox("An error was found in MoreColors.txt\n(" + firstProblem + ")", "Startup",
                      ButtonsOk);
  }
  if (refused > 0) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "MoreColors.txt defines more colors than the color table holds (%d); %d of "
                  "them were not added.",
                  kColorTableCapacity, refused);
    report.MessageBox(text, "Startup", ButtonsOk);
  }
}

}  // namespace zolva
