// Number texts, a few mathematical routines and the image of a tone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zolva {

std::string IntText(long long n);
std::string IntTextW(long long n, int w);
std::string IntTextZ(long long n, int w);
// x in fixed-point notation with d decimals, right-aligned in w characters, never cut.
std::string Str(double x, int w, int d);
std::string CompactText(double x);
// x in the shortest text that reads back as the same number ("50", "2.5e-07"), for files that
// other programs read; "nan", "inf" or "-inf" when it is not finite.
std::string ExactText(double x);
std::string Hex2(int b);
std::string Hex4(int n);

double Atan2(double a, double b);
double Log10(double x);
double Pow10(double x);

// The WAV image of a tone: 11025 samples per second, one channel, 8 bits.
std::vector<std::uint8_t> BuildToneImage(int frequency, int milliseconds, int volume);
inline constexpr int kToneSampleRate = 11025;

}  // namespace zolva
