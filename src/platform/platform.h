// The services the logic takes from the operating system, behind one interface.
// The desktop program implements it with Qt; tests and zolva-batch use the headless one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zolva {

// Buttons of a modal message box and the answers it gives.
enum MessageButtons : int { ButtonsOk = 0, ButtonsOkCancel = 1 };
enum MessageAnswer : int { AnswerOk = 1, AnswerCancel = 2 };

struct ModifierKeys {
  bool shift = false;
  bool alt = false;
  bool ctrl = false;
  bool operator==(const ModifierKeys&) const = default;
};

// How a WAV image is played: wait for its end, start it and return, or repeat it until replaced.
enum class SoundMode { Sync, Async, AsyncLoop };

using WaveImage = std::shared_ptr<const std::vector<std::uint8_t>>;

class Platform {
 public:
  virtual ~Platform() = default;

  // Modal message box; buttons is ButtonsOk or ButtonsOkCancel; returns AnswerOk or AnswerCancel.
  virtual int ShowMessageBox(const std::string& text, const std::string& caption, int buttons) = 0;
  virtual void Beep() = 0;
  // Pause the calling thread. forHumanReader marks pauses that only give a person time to read
  // a message; a headless platform may skip them.
  virtual void Sleep(int milliseconds, bool forHumanReader = false) = 0;
  // Play a WAV image held in memory. The image is shared so that an asynchronous play may still
  // read it after the call returns.
  virtual void PlayWave(WaveImage image, SoundMode mode) = 0;
  // Play a WAV file and wait for its end; false when it cannot be played.
  virtual bool PlaySoundFile(const std::string& path) = 0;
  // Open a document or web page with the system's default handler; a code above 32 is success.
  virtual int OpenDocument(const std::string& path, const std::string& parameters, int show) = 0;
  // Free physical memory in bytes.
  virtual std::int64_t FreePhysicalMemory() = 0;
  // Processor count: NUMBER_OF_PROCESSORS when it holds a valid number, else the hardware count;
  // at least 1, at most 64.
  virtual int ProcessorCount() = 0;
  // Full path of the program file.
  virtual std::string ProgramFilePath() = 0;
  // The folder (with a trailing separator) of the running executable, where the build and the
  // installation put the demonstration maps and the manual, whatever folder the program works in.
  virtual std::string ExecutableFolder() {
    const std::string path = ProgramFilePath();
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
  }
  // Modifier keys held at this moment.
  virtual ModifierKeys ModifierKeysNow() = 0;
  // Current date-time in days since 1899-12-30 00:00 (local time).
  virtual double Now() = 0;
  virtual std::string ShortDateText(double dateTime) = 0;
  virtual std::string LongTimeText(double dateTime) = 0;
  // Handle all queued window events (input, repaint, timer) and return.
  virtual void ProcessPendingEvents() = 0;
  // Main window state asked for by a script: 0 normal (restored and brought to the front),
  // 1 minimised, 2 maximised (restored and brought to the front).
  virtual void SetMainWindowState(int state) { (void)state; }
  // Tell the application to end after the current event.
  virtual void QuitApplication() {}
  // A warning about how an input was read (the status line shows it too): a headless program
  // writes it on standard error.
  virtual void Warn(const std::string& text) { (void)text; }
  // The save dialog for a picture, starting at `path` (folder and proposed name); the user may
  // change the path. False when cancelled. Without a dialog the proposed path stands.
  virtual bool ChooseSaveFile(std::string& path) {
    (void)path;
    return true;
  }
  // The open dialog for an existing file, starting in `folder` with a filter of the form
  // "caption|patterns|caption|patterns". False when cancelled; without a dialog nothing can be
  // chosen, so the answer is a cancel.
  virtual bool ChooseOpenFile(const std::string& folder, const std::string& filter,
                              std::string& path) {
    (void)folder;
    (void)filter;
    (void)path;
    return false;
  }
};

// Shared helpers of the platform implementations.
int ProcessorCountFromEnvironment(const char* numberOfProcessors, unsigned hardwareCount);
std::int64_t MemAvailableFromMeminfo(const std::string& meminfoText);
std::string FormatShortDate(double dateTime);
std::string FormatLongTime(double dateTime);
double DateTimeFromUnixSeconds(double unixSeconds, double utcOffsetSeconds);

}  // namespace zolva
