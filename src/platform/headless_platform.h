// A platform without windows or sound: message boxes print "caption: text" on standard error and
// answer OK (or the next queued answer), sounds and documents are recorded, pauses for a human
// reader are skipped. Tests read everything it recorded.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zolva {

class HeadlessPlatform : public Platform {
 public:
  struct Message {
    std::string text;
    std::string caption;
    int buttons = ButtonsOk;
    int answer = AnswerOk;
  };
  struct PlayedWave {
    WaveImage image;
    SoundMode mode = SoundMode::Sync;
  };
  struct OpenedDocument {
    std::string path;
    std::string parameters;
    int show = 0;
  };

  int ShowMessageBox(const std::string& text, const std::string& caption, int buttons) override;
  void Beep() override { ++beeps; }
  void Sleep(int milliseconds, bool forHumanReader = false) override;
  void PlayWave(WaveImage image, SoundMode mode) override;
  bool PlaySoundFile(const std::string& path) override;
  int OpenDocument(const std::string& path, const std::string& parameters, int show) override;
  std::int64_t FreePhysicalMemory() override;
  int ProcessorCount() override;
  std::string ProgramFilePath() override;
  ModifierKeys ModifierKeysNow() override { return modifierKeys; }
  double Now() override;
  std::string ShortDateText(double dateTime) override { return FormatShortDate(dateTime); }
  std::string LongTimeText(double dateTime) override { return FormatLongTime(dateTime); }
  void ProcessPendingEvents() override;
  void SetMainWindowState(int state) override { windowStates.push_back(state); }
  void QuitApplication() override { quitRequested = true; }
  void Warn(const std::string& text) override;
  // The open dialog answers with the next path handed in, or cancels when none is left.
  bool ChooseOpenFile(const std::string& folder, const std::string& filter,
                      std::string& path) override;

  // Settings a test or the batch front end may change.
  bool echoMessages = true;       // print message boxes on standard error
  bool echoWarnings = true;       // print warnings on standard error
  std::deque<int> queuedAnswers;  // answers given to the next message boxes
  ModifierKeys modifierKeys;      // what ModifierKeysNow reports
  std::optional<std::int64_t> freeMemoryOverride;
  std::optional<int> processorCountOverride;
  std::optional<std::string> programFileOverride;
  // The executable's own folder, unaffected by programFileOverride (--folder).
  std::string ExecutableFolder() override;
  std::optional<double> nowOverride;
  bool realSleeps = false;                  // sleep for pauses that are not only for a reader
  std::function<void()> onPendingEvents;    // runs at every ProcessPendingEvents
  std::deque<std::string> openDialogPaths;  // answers of the next open dialogs

  // What was recorded: each list holds at most kRecordLimit of the newest entries, so that a run
  // of any length records in bounded memory.
  static constexpr std::size_t kRecordLimit = 256;
  std::vector<Message> messages;
  std::size_t messageCount = 0;  // every message shown, also those no longer held
  int beeps = 0;
  std::vector<int> sleeps;
  std::vector<PlayedWave> waves;
  std::vector<std::string> soundFiles;
  std::vector<std::string> warnings;
  std::vector<OpenedDocument> documents;
  long pendingEventCalls = 0;
  std::vector<int> windowStates;  // states asked for by SetMainWindowState (a few per script)
  bool quitRequested = false;
  int openDialogs = 0;           // open dialogs shown
  std::string openDialogFolder;  // folder and filter of the last one
  std::string openDialogFilter;
};

}  // namespace zolva
