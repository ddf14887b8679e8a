#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace zolva {

int ProcessorCountFromEnvironment(const char* numberOfProcessors, unsigned hardwareCount) {
  int count = 0;
  if (numberOfProcessors != nullptr) {
    std::string text(numberOfProcessors);
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc() && end == text.data() + text.size() && value >= 1) count = value;
  }
  if (count == 0) count = hardwareCount > 0 ? static_cast<int>(std::min(hardwareCount, 64u)) : 1;
  return std::clamp(count, 1, 64);
}

std::int64_t MemAvailableFromMeminfo(const std::string& meminfoText) {
  std::istringstream in(meminfoText);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    long long kib = -1;
    if (fields >> kib && kib >= 0) return static_cast<std::int64_t>(kib) * 1024;
  }
  return -1;
}

// Date-times are days since 1899-12-30, the epoch of the spreadsheet convention; 25569 days
// separate it from 1970-01-01.
double DateTimeFromUnixSeconds(double unixSeconds, double utcOffsetSeconds) {
  return 25569.0 + (unixSeconds + utcOffsetSeconds) / 86400.0;
}

namespace {

std::tm BrokenDown(double dateTime) {
  double seconds = std::floor((dateTime - 25569.0) * 86400.0 + 0.5);
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm out{};
  gmtime_r(&t, &out);
  return out;
}

}  // namespace

std::string FormatShortDate(double dateTime) {
  std::tm tm = BrokenDown(dateTime);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday);
  return buffer;
}

std::string FormatLongTime(double dateTime) {
  std::tm tm = BrokenDown(dateTime);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}

}  // namespace zolva
