// Number texts, a few mathematical routines, and the system services every subsystem uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zolva {

struct Context;

std::string IntText(long long n);
std::string IntTextW(long long n, int w);
std::string IntTextZ(long long n, int w);
// x in fixed-point notation with d decimals, right-aligned in w characters, never cut.
std::string Str(double x, int w, int d);
std::string CompactText(double x);
std::string Hex2(int b);
std::string Hex4(int n);

double Atan2(double a, double b);
double Log10(double x);
double Pow10(double x);

// Folder of the program file with a trailing separator.
std::string ProgramFolder(Context& ctx);
int OpenDocument(Context& ctx, const std::string& path, const std::string& parameters, int show);
bool PlaySoundFile(Context& ctx, const std::string& path);

// The WAV image of a tone: 11025 samples per second, one channel, 8 bits.
std::vector<std::uint8_t> BuildToneImage(int frequency, int milliseconds, int volume);
void PlayTone(Context& ctx, int frequency, int milliseconds, int volume);
// value != 0: a looping tone of value hertz; 0: silence it.
void Tone(Context& ctx, int value);

}  // namespace zolva
