#include "program/script_words.h"

#include <gtest/gtest.h>

#include <string>

namespace zolva {
namespace {

TEST(ScriptWords, LinesAreCleanedOfCommentsTabsAndLeadingBlanks) {
  struct Row {
    const char* raw;
    const char* clean;
  };
  for (Row r : {
           Row{"frequency 10 | ten megahertz", "frequency 10 "},
           Row{"| a comment only", ""},
           Row{"", ""},
           Row{"     ", ""},
           Row{"\t\t\t", ""},
           Row{"\tFRE\t5", "FRE 5"},
           Row{"  NAM a|b", "NAM a"},
       }) {
    EXPECT_EQ(CleanScriptLine(r.raw), r.clean) << '"' << r.raw << '"';
  }
  // Only the first 255 characters of a line are read: a bar beyond them is no comment.
  std::string longLine = "NAM " + std::string(300, 'x') + "|c";
  EXPECT_EQ(CleanScriptLine(longLine).size(), kMaxScriptLine);
}

TEST(ScriptWords, CommandCodeIsTheFirstThreeLettersInCapitals) {
  EXPECT_EQ(CommandCode("frequency"), "FRE");
  EXPECT_EQ(CommandCode("fre"), "FRE");
  EXPECT_EQ(CommandCode("sWeEp"), "SWE");
  EXPECT_EQ(CommandCode("Fr"), "");
  EXPECT_EQ(CommandCode(""), "");
}

TEST(ScriptWords, NumbersConvertOnlyWhenTheWholeWordIsOne) {
  struct Row {
    const char* text;
    bool isInteger;
    int integer;
    bool isReal;
    double real;
  };
  for (Row r : {
           Row{"12", true, 12, true, 12.0},
           Row{"+3", true, 3, true, 3.0},
           Row{"-4", true, -4, true, -4.0},
           Row{"1.5", false, 0, true, 1.5},
           Row{"1e3", false, 0, true, 1000.0},
           Row{".5", false, 0, true, 0.5},
           Row{"2147483647", true, 2147483647, true, 2147483647.0},
           Row{"2147483648", false, 0, true, 2147483648.0},
           Row{"", false, 0, false, 0},
           Row{"+", false, 0, false, 0},
           Row{"+-5", false, 0, false, 0},
           Row{"abc", false, 0, false, 0},
           Row{"5x", false, 0, false, 0},
           Row{"0x10", false, 0, false, 0},
           Row{"inf", false, 0, false, 0},
           Row{"nan", false, 0, false, 0},
           Row{"1e999", false, 0, false, 0},
       }) {
    int i = -99;
    double x = -99.0;
    EXPECT_EQ(ParseScriptInteger(r.text, i), r.isInteger) << r.text;
    if (r.isInteger) {
      EXPECT_EQ(i, r.integer) << r.text;
    }
    EXPECT_EQ(ParseScriptReal(r.text, x), r.isReal) << r.text;
    if (r.isReal) {
      EXPECT_DOUBLE_EQ(x, r.real) << r.text;
    }
  }
}

TEST(ScriptWords, ReaderCutsWordsAndBlanksTheLineAfterAConversionError) {
  WordReader w("SWE DIA 3 10 extra");
  EXPECT_EQ(w.Word(), "SWE");
  EXPECT_EQ(w.Word(), "DIA");
  EXPECT_EQ(w.Integer(), 3);
  EXPECT_DOUBLE_EQ(w.Real(), 10.0);
  EXPECT_EQ(w.Word(), "extra");
  EXPECT_EQ(w.Word(), "");
  EXPECT_FALSE(w.ConversionError());

  // Words are cut to 16 characters.
  WordReader longWord("NAM abcdefghijklmnopqrstuvwxyz");
  longWord.Word();
  EXPECT_EQ(longWord.Word(), "abcdefghijklmnop");

  // A number that does not convert reads as 0; every word after it on the line reads as empty,
  // rests and paths included.
  WordReader bad("DEB 2x T more words");
  bad.Word();
  EXPECT_EQ(bad.Integer(), 0);
  EXPECT_TRUE(bad.ConversionError());
  EXPECT_FALSE(bad.OnOff());
  EXPECT_EQ(bad.Word(), "");
  EXPECT_EQ(bad.Rest(), "");
  EXPECT_EQ(bad.Path("/folder/"), "");
}

TEST(ScriptWords, OnOffRestAndPathArguments) {
  // Exactly "T" or "Y" (in any case) is on; longer words are cut to four characters first.
  struct Row {
    const char* word;
    bool on;
  };
  for (Row r : {Row{"T", true}, Row{"y", true}, Row{"t", true}, Row{"TRUE", false},
                Row{"yes", false}, Row{"F", false}, Row{"1", false}, Row{"", false}}) {
    WordReader w(std::string("X ") + r.word);
    w.Word();
    EXPECT_EQ(w.OnOff(), r.on) << '"' << r.word << '"';
  }

  WordReader name("NAM   my run  ");
  name.Word();
  EXPECT_EQ(name.Rest(), "my run");

  WordReader open("OPE %Usermap a (1mm).bmp");
  open.Word();
  EXPECT_EQ(open.Path("/data/"), "/data/Usermap a (1mm).bmp");
  WordReader percentOnly("OPE %");
  percentOnly.Word();
  EXPECT_EQ(percentOnly.Path("/data/"), "%");
  WordReader plain("LAU 1 notes.txt");
  plain.Word();
  EXPECT_EQ(plain.Integer(), 1);
  EXPECT_EQ(plain.Path("/data/"), "notes.txt");
}

}  // namespace
}  // namespace zolva
