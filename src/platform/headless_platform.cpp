#include "platform/headless_platform.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>
#include <utility>

namespace zolva {

namespace {

// A long run (a sweep of thousands of solves) must not grow with what it recorded: each record
// keeps its newest entries only, dropping the older half when it is full.
template <typename T>
void Record(std::vector<T>& record, T entry) {
  if (record.size() >= HeadlessPlatform::kRecordLimit) {
    record.erase(record.begin(), record.begin() + HeadlessPlatform::kRecordLimit / 2);
  }
  record.push_back(std::move(entry));
}

}  // namespace

int HeadlessPlatform::ShowMessageBox(const std::string& text, const std::string& caption,
                                     int buttons) {
  int answer = AnswerOk;
  if (!queuedAnswers.empty()) {
    answer = queuedAnswers.front();
    queuedAnswers.pop_front();
  }
  if (buttons != ButtonsOkCancel) answer = AnswerOk;
  if (echoMessages) std::cerr << caption << ": " << text << std::endl;
  Record(messages, Message{text, caption, buttons, answer});
  ++messageCount;
  return answer;
}

void HeadlessPlatform::Warn(const std::string& text) {
  if (echoWarnings) std::cerr << "warning: " << text << std::endl;
  Record(warnings, text);
}

void HeadlessPlatform::Sleep(int milliseconds, bool forHumanReader) {
  Record(sleeps, milliseconds);
  if (realSleeps && !forHumanReader && milliseconds > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

void HeadlessPlatform::PlayWave(WaveImage image, SoundMode mode) {
  Record(waves, PlayedWave{std::move(image), mode});
}

bool HeadlessPlatform::PlaySoundFile(const std::string& path) {
  Record(soundFiles, path);
  std::ifstream in(path, std::ios::binary);
  char riff[4] = {};
  return in.read(riff, 4) && std::string(riff, 4) == "RIFF";
}

int HeadlessPlatform::OpenDocument(const std::string& path, const std::string& parameters,
                                   int show) {
  Record(documents, OpenedDocument{path, parameters, show});
  return 42;
}

bool HeadlessPlatform::ChooseOpenFile(const std::string& folder, const std::string& filter,
                                      std::string& path) {
  ++openDialogs;
  openDialogFolder = folder;
  openDialogFilter = filter;
  if (openDialogPaths.empty()) return false;
  path = std::move(openDialogPaths.front());
  openDialogPaths.pop_front();
  return true;
}

std::int64_t HeadlessPlatform::FreePhysicalMemory() {
  if (freeMemoryOverride) return *freeMemoryOverride;
  std::ifstream in("/proc/meminfo");
  std::stringstream text;
  text << in.rdbuf();
  std::int64_t bytes = MemAvailableFromMeminfo(text.str());
  return bytes >= 0 ? bytes : 0;
}

int HeadlessPlatform::ProcessorCount() {
  if (processorCountOverride) return *processorCountOverride;
  return ProcessorCountFromEnvironment(std::getenv("NUMBER_OF_PROCESSORS"),
                                       std::thread::hardware_concurrency());
}

std::string HeadlessPlatform::ExecutableFolder() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "./";
  std::string path(buffer, static_cast<std::size_t>(n));
  return path.substr(0, path.find_last_of('/') + 1);
}

std::string HeadlessPlatform::ProgramFilePath() {
  if (programFileOverride) return *programFileOverride;
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "./zolva";
  return std::string(buffer, static_cast<std::size_t>(n));
}

double HeadlessPlatform::Now() {
  if (nowOverride) return *nowOverride;
  using namespace std::chrono;
  double unixSeconds =
      duration_cast<duration<double>>(system_clock::now().time_since_epoch()).count();
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  localtime_r(&t, &local);
  return DateTimeFromUnixSeconds(unixSeconds, static_cast<double>(local.tm_gmtoff));
}

void HeadlessPlatform::ProcessPendingEvents() {
  ++pendingEventCalls;
  if (onPendingEvents) onPendingEvents();
}

}  // namespace zolva
