// Number texts and their reading never depend on the process locale: the desktop toolkit sets it
// from the environment, and under a comma-decimal locale a width written as "0,001" and read back
// as 0 would make every generated L and Rs solve fail.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "core/text_reader.h"
#include "core/utility.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"

namespace zolva {
namespace {

// Switches the whole process to a locale for the length of a scope.
class ProcessLocale {
 public:
  explicit ProcessLocale(const char* name) : previous_(std::setlocale(LC_ALL, nullptr)) {
    active_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ProcessLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
  bool active() const { return active_; }

 private:
  std::string previous_;
  bool active_ = false;
};

std::vector<std::string> NumberTexts() {
  return {Str(1.5, 8, 3),      Str(-0.000125, 12, 9), Str(12345.678, 1, 2), CompactText(1234.5678),
          CompactText(1.5e-7), CompactText(-3.25e12), Str(1e300, 1, 1),     Str(2.5e-5, 9, 8)};
}

TEST(Locale, NumberTextsAndReadingIgnoreACommaDecimalLocale) {
  const std::vector<std::string> plain = NumberTexts();
  EXPECT_EQ(plain[0], "   1.500");
  ProcessLocale german("de_DE.UTF-8");
  ASSERT_TRUE(german.active()) << "the de_DE.UTF-8 locale is missing: run scripts/install-deps.sh";
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
  ASSERT_EQ(std::string(buffer), "1,5");  // the locale is really in force

  EXPECT_EQ(NumberTexts(), plain);
  double x = 0;
  EXPECT_TRUE(ParseReal("2.5", x));
  EXPECT_EQ(x, 2.5);
  EXPECT_FALSE(ParseReal("2,5", x));
  EXPECT_DOUBLE_EQ(ReadLength("1.5mm"), 0.0015);

  // The generated maps write their pixel width into the panel, and the solve reads it back.
  HeadlessPlatform platform;
  platform.echoMessages = false;
  Context ctx(platform);
  ShowPixelWidth(ctx, 3.7352941176470592e-05, false);
  const std::string& text = ctx.panel.edits[EditBoxPixelWidth].text;
  EXPECT_EQ(text.find(','), std::string::npos) << text;
  EXPECT_NEAR(ReadLength(text), 3.7352941176470592e-05, 1e-10);
}

}  // namespace
}  // namespace zolva
