// Number texts, small mathematical routines and the image of a tone.
#include "core/utility.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace zolva {

namespace {

// Field widths and decimal counts beyond these only come from faulty callers; bounding them keeps
// a wild argument from asking for megabytes of padding.
constexpr int kMaxFieldWidth = 255;
constexpr int kMaxDecimals = 60;

std::string PadLeft(std::string text, int w) {
  w = std::clamp(w, 0, kMaxFieldWidth);
  if (static_cast<int>(text.size()) < w)
    text.insert(0, static_cast<std::size_t>(w) - text.size(), ' ');
  return text;
}

// Number texts never depend on the process locale (the desktop toolkit sets it from the
// environment): the conversions below always write "." as the decimal point.
std::string FormatFixed(double x, int d) {
  // The widest fixed text: 309 integer digits of the largest double, the point, the decimals.
  char buffer[400];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed,
                                 std::clamp(d, 0, kMaxDecimals));
  if (ec != std::errc()) return "?";
  return std::string(buffer, end);
}

// x in the scientific notation of a 15-character real field: a sign character (space or "-"), one
// digit, ".", six digits, "E", the exponent's sign and four exponent digits.
std::string ScientificField15(double x) {
  if (std::isnan(x)) return PadLeft("NAN", 15);
  if (std::isinf(x)) return PadLeft(x < 0 ? "-INF" : "INF", 15);
  char mantissa[64];
  auto [end, ec] = std::to_chars(mantissa, mantissa + sizeof mantissa, std::fabs(x),
                                 std::chars_format::scientific, 6);
  if (ec != std::errc()) return "********";
  const char* e = std::find(mantissa, end, 'e');
  if (e == end) return "********";
  int exponent = 0;
  const char* digits = e + 1;
  if (digits != end && *digits == '+') ++digits;
  std::from_chars(digits, end, exponent);
  std::string text(std::signbit(x) ? "-" : " ");
  text.append(mantissa, static_cast<std::size_t>(e - mantissa));
  char tail[16];
  std::snprintf(tail, sizeof tail, "E%c%04d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return text + tail;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string ExactText(double x) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x);
  if (ec != std::errc()) return "nan";
  return std::string(buffer, end);
}

std::string IntText(long long n) {
  return std::to_string(n);
}

std::string IntTextW(long long n, int w) {
  return PadLeft(std::to_string(n), w);
}

std::string IntTextZ(long long n, int w) {
  std::string text = IntTextW(n, w);
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == ' ') text[i] = '0';
  return text;
}

std::string Str(double x, int w, int d) {
  if (std::isnan(x)) return PadLeft("NAN", w);
  if (std::isinf(x)) return PadLeft(x < 0 ? "-INF" : "INF", w);
  return PadLeft(FormatFixed(x, std::clamp(d, 0, kMaxDecimals)), w);
}

std::string CompactText(double x) {
  std::string t;
  std::string e;
  double magnitude = std::fabs(x);
  if (magnitude >= 0.001 && magnitude < 1e8) {
    t = Str(x, 17, 8);
  } else {
    t = ScientificField15(x);
    std::size_t n = t.size();
    bool hasExponent = n >= 6 && t[n - 6] == 'E' && (t[n - 5] == '+' || t[n - 5] == '-') &&
                       IsDigit(t[n - 4]) && IsDigit(t[n - 3]) && IsDigit(t[n - 2]) &&
                       IsDigit(t[n - 1]);
    if (hasExponent) {
      std::string digits = t.substr(n - 4);
      digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
      e.assign(1, 'e');
      if (t[n - 5] == '-') e += '-';
      e += digits;
      t.resize(n - 6);
    } else {
      t.assign(8, '*');
    }
  }
  if (!t.empty() && t.front() == '+') t.erase(0, 1);
  t.erase(0, std::min(t.find_first_not_of(' '), t.size()));
  t.erase(0, std::min(t.find_first_not_of('0'), t.size()));
  while (!t.empty() && t.back() == '0') t.pop_back();
  if (!t.empty() && t.back() == '.') t.pop_back();
  if (t.empty()) t.assign(1, '0');
  if (t.size() > 9) t.resize(9);
  if (t == "0") e.clear();
  return t + e;
}

std::string Hex2(int b) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(b) & 0xFFu);
  return text;
}

std::string Hex4(int n) {
  return Hex2(n >> 8) + Hex2(n);
}

double Atan2(double a, double b) {
  constexpr double kPi = 3.14159265358979323846;
  if (b == 0.0) return a < 0.0 ? -kPi / 2 : kPi / 2;
  double c = std::atan(a / b);
  if (b < 0.0) return a > 0.0 ? c + kPi : c - kPi;
  return c;
}

namespace {
constexpr double kLn10 = 2.30258509299405;
}

double Log10(double x) {
  return std::log(x) / kLn10;
}

double Pow10(double x) {
  return std::exp(x * kLn10);
}

namespace {

constexpr int kToneChannels = 1;
// The longest tone built; longer requests are shortened so that a wild argument cannot ask for
// an enormous image.
constexpr int kMaxToneMilliseconds = 60000;

void Put16(std::vector<std::uint8_t>& image, std::size_t at, std::uint32_t value) {
  image[at] = static_cast<std::uint8_t>(value & 0xFF);
  image[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void Put32(std::vector<std::uint8_t>& image, std::size_t at, std::uint32_t value) {
  Put16(image, at, value & 0xFFFF);
  Put16(image, at + 2, value >> 16);
}

void PutTag(std::vector<std::uint8_t>& image, std::size_t at, const char* tag) {
  std::memcpy(image.data() + at, tag, 4);
}

}  // namespace

std::vector<std::uint8_t> BuildToneImage(int frequency, int milliseconds, int volume) {
  constexpr double kTwoPi = 6.28318530717958647692;
  long long ms = std::clamp(milliseconds, 0, kMaxToneMilliseconds);
  auto n = static_cast<std::uint32_t>(ms * kToneSampleRate / 1000);
  std::vector<std::uint8_t> image(46 + static_cast<std::size_t>(n));
  PutTag(image, 0, "RIFF");
  Put32(image, 4, n + 38);
  PutTag(image, 8, "WAVE");
  PutTag(image, 12, "fmt ");
  Put32(image, 16, 18);
  Put16(image, 20, 1);  // PCM
  Put16(image, 22, kToneChannels);
  Put32(image, 24, kToneSampleRate);
  Put32(image, 28, kToneSampleRate * kToneChannels);
  Put16(image, 32, kToneChannels);
  Put16(image, 34, 8);
  Put16(image, 36, 0);
  PutTag(image, 38, "data");
  Put32(image, 42, n);
  for (std::uint32_t u = 0; u < n; ++u) {
    double phase = kTwoPi * frequency * static_cast<double>(u) / kToneSampleRate;
    // Eight-bit samples are unsigned around 127; a volume above 128 would wrap the peaks into
    // clicks, so the samples saturate instead.
    long sample = static_cast<long>(std::trunc(volume * std::sin(phase))) + 127;
    image[46 + u] = static_cast<std::uint8_t>(std::clamp(sample, 0L, 255L));
  }
  return image;
}

}  // namespace zolva
