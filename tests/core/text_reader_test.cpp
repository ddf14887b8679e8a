#include "core/text_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace zolva {
namespace {

TEST(TextReader, RealsInEverySyntax) {
  struct Case {
    const char* text;
    bool standard;  // reads in the panel, "MoreColors.txt" and file names
    bool script;    // reads in a script
    double value;
  };
  const Case cases[] = {
      {"2.5", true, true, 2.5},   {"+2.5", true, true, 2.5},  {"-2.5", true, true, -2.5},
      {".5", true, true, 0.5},    {"1e-3", true, true, 1e-3}, {"1E3", true, true, 1e3},
      {"1e+3", true, false, 1e3}, {"+-2", false, false, 0},   {"++2", false, false, 0},
      {"+", false, false, 0},     {"", false, false, 0},      {"inf", false, false, 0},
      {"nan", false, false, 0},   {"1e999", false, false, 0}, {"0x10", false, false, 0},
      {"2,5", false, false, 0},   {"2.5mm", false, false, 0}, {" 2", false, false, 0},
  };
  for (const Case& c : cases) {
    double standard = -7, script = -7;
    EXPECT_EQ(ParseReal(c.text, standard), c.standard) << c.text;
    EXPECT_EQ(ParseReal(c.text, script, RealSyntax::Script), c.script) << c.text;
    EXPECT_EQ(standard, c.standard ? c.value : -7) << c.text;  // untouched when refused
    EXPECT_EQ(script, c.script ? c.value : -7) << c.text;
  }
  int n = -7;
  EXPECT_TRUE(ParseInteger("+12", n));
  EXPECT_EQ(n, 12);
  EXPECT_TRUE(ParseInteger("-3", n));
  EXPECT_EQ(n, -3);
  for (const char* bad : {"+-3", "3.0", "", "+", "99999999999", "0x1"}) {
    n = -7;
    EXPECT_FALSE(ParseInteger(bad, n)) << bad;
    EXPECT_EQ(n, -7) << bad;
  }
}

TEST(TextReader, LinesEndAtEveryBreakAndAreCut) {
  std::istringstream in("one\r\ntwo\nthree\rfour-is-long\n\nlast");
  std::vector<std::string> lines;
  EXPECT_TRUE(ForEachLine(in, 4, [&](const std::string& line) {
    lines.push_back(line);
    return true;
  }));
  const std::vector<std::string> expected{"one", "two", "thre", "four", "", "last"};
  EXPECT_EQ(lines, expected);

  // A reader that has had enough stops the reading; an empty stream has no line at all.
  std::istringstream again("a\nb\nc\n");
  lines.clear();
  EXPECT_FALSE(ForEachLine(again, 255, [&](const std::string& line) {
    lines.push_back(line);
    return lines.size() < 2;
  }));
  EXPECT_EQ(lines.size(), 2u);
  // A byte-order mark in front is no text; two bytes of one are.
  std::istringstream marked(
      "\xEF\xBB\xBF"
      "first\n\xEF\xBB"
      "x");
  lines.clear();
  ForEachLine(marked, 255, [&](const std::string& line) {
    lines.push_back(line);
    return true;
  });
  EXPECT_EQ(lines, (std::vector<std::string>{"first",
                                             "\xEF\xBB"
                                             "x"}));
  std::istringstream empty("");
  EXPECT_TRUE(ForEachLine(empty, 255, [](const std::string&) {
    ADD_FAILURE() << "no line expected";
    return true;
  }));
}

TEST(TextReader, WordsAndRest) {
  WordCursor words("  COA   1mm  rest of  line  ");
  EXPECT_EQ(words.Next(), "COA");
  EXPECT_EQ(words.Next(), "1mm");
  WordCursor copy = words;
  EXPECT_EQ(words.Rest(true), "rest of  line");
  EXPECT_EQ(copy.Rest(false), "rest of  line  ");
  EXPECT_EQ(words.Next(), "");
}

}  // namespace
}  // namespace zolva
