#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "program/control_panel.h"

namespace zolva {
namespace {

constexpr double kInch = 0.0254;

TEST(LengthReader, ReadsNumbersWithUnitsFromTable) {
  // American wire gauge: d = 10^(-0.05036 n - 0.48831) inches; gauge 12 is about 0.0808 in.
  const double awg12 = std::pow(10.0, -0.05036 * 12 - 0.48831) * kInch;
  struct Row {
    const char* text;
    double metres;
    const char* why;
  };
  const Row rows[] = {
      {"0.05", 0.05 * kInch, "no unit means inches"},
      {"1 in", kInch, "explicit inches"},
      {"1In", kInch, "units are compared in capitals"},
      {"+1in", kInch, "a leading plus sign"},
      {"-0.3", -0.3 * kInch, "negative lengths (separation, skew) convert"},
      {"2mm", 0.002, "millimetres"},
      {"0.5 cm", 0.005, "spaces are removed before the unit is taken"},
      {" 1 0 mm", 0.010, "spaces inside the number are removed too"},
      {"2 M", 2.0, "metres"},
      {"1e-3m", 0.001, "an exponent before the unit"},
      {"12 AWG", awg12, "wire gauge"},
      {"12awg", awg12, "wire gauge in small letters"},
      {"3 ft", -kInch, "an unknown unit reads as -1 inch"},
      {"5.", -kInch, "the point after the last digit is the unit"},
      {"", -kInch, "empty"},
      {"abc", -kInch, "no digits"},
      {"1,5", -kInch, "a comma is no decimal point"},
      {"+-1", -kInch, "two signs"},
      {"1e999", -kInch, "out of range"},
      {"1.5e", -kInch, "a dangling exponent is a unit"},
  };
  for (const Row& row : rows) {
    EXPECT_NEAR(ReadLength(row.text), row.metres, 1e-15) << '"' << row.text << "\": " << row.why;
  }
  EXPECT_NEAR(ReadLength("12 AWG") / kInch, 0.0808, 1e-4);
  EXPECT_NEAR(ReadLength("12 AWG"), 0.00205, 1e-5);
}

TEST(LengthReader, IntegerAndRealFieldsStoreMinusOneWhenTheyDoNotConvert) {
  EXPECT_EQ(ReadIntegerField("1000"), 1000);
  EXPECT_EQ(ReadIntegerField(" 1000 "), 1000);
  EXPECT_EQ(ReadIntegerField("+7"), 7);
  EXPECT_EQ(ReadIntegerField("-3"), -3);
  for (const char* bad : {"", "abc", "12.5", "1e3", "99999999999", "+-2", "7 7"}) {
    EXPECT_EQ(ReadIntegerField(bad), -1) << '"' << bad << '"';
  }

  EXPECT_DOUBLE_EQ(ReadRealField("1"), 1.0);
  EXPECT_DOUBLE_EQ(ReadRealField("2.5e1"), 25.0);
  EXPECT_DOUBLE_EQ(ReadRealField(".5"), 0.5);
  EXPECT_DOUBLE_EQ(ReadRealField("  1.000"), 1.0);  // right-aligned number texts
  for (const char* bad : {"", "abc", "1,5", "nan", "inf", "-infinity", "1e400", "2 MHz"}) {
    EXPECT_EQ(ReadRealField(bad), -1.0) << '"' << bad << '"';
  }
}

}  // namespace
}  // namespace zolva
