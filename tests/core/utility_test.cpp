#include "core/utility.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace zolva {
namespace {

TEST(UtilityTest, IntegerAndHexTexts) {
  EXPECT_EQ(IntText(-42), "-42");
  EXPECT_EQ(IntTextW(42, 5), "   42");
  EXPECT_EQ(IntTextW(123456, 3), "123456");  // never cut
  EXPECT_EQ(IntTextZ(7, 3), "007");
  EXPECT_EQ(IntTextZ(12345, 3), "12345");
  EXPECT_EQ(Hex2(0x1AB), "AB");
  EXPECT_EQ(Hex2(-1), "FF");
  EXPECT_EQ(Hex4(0x12AB), "12AB");
  EXPECT_EQ(Hex4(0x7F0012AB), "12AB");
}

TEST(UtilityTest, FixedPointTexts) {
  struct Row {
    double x;
    int w, d;
    const char* text;
  };
  // clang-format off
  const Row rows[] = {
      {3.14159, 8, 3, "   3.142"}, {-2.5, 0, 1, "-2.5"}, {1234.5, 2, 2, "1234.50"},
      {0.0, 5, 0, "    0"}, {12.6, 0, 0, "13"}, {1e-20, 0, 4, "0.0000"}, {1.5, 4, -3, "   2"},
      {1e20, 0, 0, "100000000000000000000"}, {std::nan(""), 6, 2, "   NAN"},
      {-INFINITY, 5, 2, " -INF"}, {INFINITY, 0, 2, "INF"}};
  // clang-format on
  for (const Row& r : rows)
    EXPECT_EQ(Str(r.x, r.w, r.d), r.text) << r.x << " " << r.w << " " << r.d;
  EXPECT_EQ(Str(1e300, 10, 8).size(), 301u + 9u);  // huge values are written out, never cut
  EXPECT_EQ(Str(1.0, 100000, 0).size(), 255u);     // absurd widths are bounded
}

TEST(UtilityTest, CompactTexts) {
  struct Row {
    double x;
    const char* text;
  };
  // clang-format off
  const Row rows[] = {
      {1234.5, "1234.5"}, {0.001, ".001"}, {1e8, "1e8"}, {1234567.891, "1234567.8"}, {0.0, "0"},
      {0.5, ".5"}, {-0.5, "-0.5"}, {100.0, "100"}, {2.5e-12, "2.5e-12"}, {-3e9, "-3e9"},
      {1.23456789e10, "1.234568e10"}, {0.0009999, "9.999e-4"}, {1e300, "1e300"},
      {std::nan(""), "********"}, {INFINITY, "********"}};
  // clang-format on
  for (const Row& r : rows) EXPECT_EQ(CompactText(r.x), r.text) << r.x;
}

TEST(UtilityTest, Mathematics) {
  const double pi = 3.14159265358979323846;
  EXPECT_DOUBLE_EQ(Atan2(0, -1), -pi);
  EXPECT_DOUBLE_EQ(Atan2(1, -1), 0.75 * pi);
  EXPECT_DOUBLE_EQ(Atan2(-1, -1), -0.75 * pi);
  EXPECT_DOUBLE_EQ(Atan2(-3, 0), -pi / 2);
  EXPECT_DOUBLE_EQ(Atan2(0, 0), pi / 2);
  EXPECT_NEAR(Log10(1000.0), 3.0, 1e-14);
  EXPECT_NEAR(Pow10(-2.0), 0.01, 1e-16);
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint32_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8);
}

TEST(UtilityTest, ToneImageIsAnEightBitMonoWave) {
  std::vector<std::uint8_t> w = BuildToneImage(440, 1000, 60);
  ASSERT_EQ(w.size(), 46u + 11025u);
  EXPECT_EQ(std::memcmp(w.data(), "RIFF", 4), 0);
  EXPECT_EQ(Le32(w, 4), 11063u);
  EXPECT_EQ(std::memcmp(w.data() + 8, "WAVEfmt ", 8), 0);
  // Format block of 18 bytes: PCM, 1 channel, 11025 Hz, 11025 bytes/s, align 1, 8 bits, no extra.
  const std::uint32_t format[] = {Le32(w, 16), Le16(w, 20), Le16(w, 22), Le32(w, 24),
                                  Le32(w, 28), Le16(w, 32), Le16(w, 34), Le16(w, 36)};
  const std::uint32_t expected[] = {18, 1, 1, 11025, 11025, 1, 8, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(format[i], expected[i]) << i;
  EXPECT_EQ(std::memcmp(w.data() + 38, "data", 4), 0);
  EXPECT_EQ(Le32(w, 42), 11025u);
  EXPECT_EQ(w[46], 127);
  // Sample 5: trunc(60 sin(2 pi 440 5 / 11025)) + 127 = 57 + 127 (sin = 0.9502...).
  EXPECT_EQ(w[46 + 5], 184);
  // Sample 15: the phase is past pi, the sine negative, and trunc cuts toward zero:
  // trunc(60 sin(3.7614)) = trunc(-34.85...) = -34.
  EXPECT_EQ(w[46 + 15], 93);
  for (std::size_t i = 46; i < w.size(); ++i) ASSERT_TRUE(w[i] >= 67 && w[i] <= 187);

  EXPECT_EQ(BuildToneImage(1000, 1, 60).size(), 46u + 11u);
  EXPECT_EQ(BuildToneImage(1000, -5, 60).size(), 46u);
  EXPECT_EQ(BuildToneImage(1000, 2000000000, 60).size(), 46u + 60u * 11025u);
  // Loud tones saturate rather than wrap around.
  std::vector<std::uint8_t> loud = BuildToneImage(2756, 10, 255);
  EXPECT_EQ(loud[46 + 1], 255);
  EXPECT_EQ(loud[46 + 3], 0);
}

}  // namespace
}  // namespace zolva
