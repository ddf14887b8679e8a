// The word reader of the script language: how one line of a script is cleaned and cut into its
// command word and arguments.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_reader.h"

namespace zolva {

inline constexpr std::size_t kMaxScriptLine = 255;  // characters kept of each line
inline constexpr std::size_t kMaxScriptWord = 16;   // characters kept of each word
inline constexpr std::size_t kOnOffWordLength = 4;  // characters of an on/off word compared

// A line as the interpreter sees it: everything from the first "|" on removed (a comment), tabs
// turned into spaces, leading spaces removed. An empty result means the line does nothing.
std::string CleanScriptLine(std::string_view raw);

// The command a word names: its first three characters with a..z turned into capitals, or the
// empty text when the word is shorter than three characters (no command has such a name).
std::string CommandCode(std::string_view word);

// Reads the blank-separated words of one cleaned line in order. A word that should be a number
// but does not convert reads as 0 and sets the conversion error; from then on, to the end of the
// line, every further word, rest and path reads as empty, so that a mistyped number cannot shift
// the meaning of the words after it.
class WordReader {
 public:
  explicit WordReader(std::string_view line) : line_(line), cursor_(line_) {}
  WordReader(const WordReader&) = delete;
  WordReader& operator=(const WordReader&) = delete;

  // The next word as typed, cut to 16 characters; empty at the end of the line.
  std::string Word();
  // The next word as a decimal integer (an optional sign and digits, within 32 bits).
  int Integer();
  // The next word as a real number (fixed or exponent notation, finite).
  double Real();
  // The next word, cut to 4 characters and turned to capitals: exactly "T" or "Y" is on; "F",
  // "N" and an empty word are off. Any other word is refused: ConversionError() and Refusal()
  // then say so, and the command must not act.
  bool OnOff();
  // Why the line's on/off word was refused; empty when none was.
  const std::string& Refusal() const { return refusal_; }
  // The rest of the line after leading spaces, without trailing spaces.
  std::string Rest();
  // A rest argument in which a leading "%", when more follows it, stands for the program folder.
  std::string Path(const std::string& programFolder);

  // Converts a word already read (THR reads "+" and "-" as words) by the rule of Integer.
  int ToInteger(std::string_view word);
  bool ConversionError() const { return conversionError_; }
  // Notes on how the words were read that the user should hear of: a word cut to 16
  // characters, a word that is no number. Finish adds the words a command left unread.
  const std::vector<std::string>& Notes() const { return notes_; }
  void Finish();
  // A number the command could not use as given, and what it used instead.
  void NoteRange(std::string_view word, std::string_view outcome);

 private:
  std::string NextWordUncut();

  std::string line_;
  WordCursor cursor_;  // over line_
  bool conversionError_ = false;
  std::vector<std::string> notes_;
  std::string refusal_;
};

// The conversions behind Integer and Real (the program's number reader with the script's syntax);
// false when the text is not such a number.
bool ParseScriptInteger(std::string_view text, int& value);
bool ParseScriptReal(std::string_view text, double& value);

}  // namespace zolva
