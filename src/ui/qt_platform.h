// The platform of the desktop program: modal message boxes, file dialogs, the system beep, sound
// through Qt Multimedia, documents through the desktop's default handlers and Qt's event loop.
// The operating-system services without a window (memory, processors, program path, clock) are
// those of the headless platform, which this one extends.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "platform/headless_platform.h"

namespace zolva {

class WavePlayer;

class QtPlatform final : public HeadlessPlatform {
 public:
  QtPlatform();
  ~QtPlatform() override;

  int ShowMessageBox(const std::string& text, const std::string& caption, int buttons) override;
  void Beep() override;
  void Sleep(int milliseconds, bool forHumanReader = false) override;
  void PlayWave(WaveImage image, SoundMode mode) override;
  bool PlaySoundFile(const std::string& path) override;
  int OpenDocument(const std::string& path, const std::string& parameters, int show) override;
  ModifierKeys ModifierKeysNow() override;
  void ProcessPendingEvents() override;
  void SetMainWindowState(int state) override;
  void QuitApplication() override;
  void Warn(const std::string& text) override;
  bool ChooseSaveFile(std::string& path) override;
  bool ChooseOpenFile(const std::string& folder, const std::string& filter,
                      std::string& path) override;

  // The window that owns the dialogs and whose state a script sets.
  void SetMainWindow(QWidget* window) { mainWindow_ = window; }
  // Runs before the queued events are handled, so the windows show the model's latest texts.
  std::function<void()> beforePendingEvents;
  // Pauses that only give a person time to read are skipped (the widget tests set it).
  bool skipReaderPauses = false;
  // Unattended runs (the screenshot mode): every message box is answered OK at once and its
  // caption and text are printed on standard error, so that no run waits for a reader.
  bool answerMessageBoxes = false;
  // No sound at all (the widget tests set it, so that no audio device is ever opened).
  bool mute = false;

 private:
  QPointer<QWidget> mainWindow_;
  std::unique_ptr<WavePlayer> player_;
};

// The "caption|patterns|caption|patterns" filter as a file dialog's name filter
// ("caption (p1 p2);;caption (p3)").
QString DialogFilter(const std::string& filter);

}  // namespace zolva
