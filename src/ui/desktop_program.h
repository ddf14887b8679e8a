// The desktop program: the platform, the one context, the two windows and the 200 ms timer,
// started in the order the program expects (main window, then control panel, then the loop).
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "program/context.h"
#include "ui/qt_platform.h"
#include "ui/ui_host.h"

namespace zolva {

class MainWindow;
class PanelWindow;

struct DesktopOptions {
  bool startTimer = true;         // tests drive the ticks themselves
  bool skipReaderPauses = false;  // tests skip the pauses that only give time to read
  bool mute = false;              // tests never open an audio device
  std::string programFile;        // stands in for the program file's path when not empty
  // Runs on the platform before anything starts (a test holds a modifier key, for instance).
  std::function<void(QtPlatform&)> preparePlatform;
};

class DesktopProgram final : public QObject, public UiHost {
 public:
  explicit DesktopProgram(const DesktopOptions& options = {});
  ~DesktopProgram() override;

  void Run(const std::function<void()>& action) override;
  void SyncWindows() override;
  void ReleasePanelFocus() override;

  // One tick of the control loop, as the timer gives it.
  void TickNow();
  // Runs the script once the start-up work (start-up script or default cross-section) is done,
  // then calls done.
  void RunScriptWhenStarted(const std::string& path, std::function<void()> done);
  // Saves a picture of each window into folder ("main window.png", "control panel.png").
  bool SaveScreenshots(const std::string& folder);

  Context& context() { return ctx_; }
  QtPlatform& platform() { return platform_; }
  MainWindow& mainWindow() { return *main_; }
  PanelWindow& panelWindow() { return *panel_; }
  QTimer& timer() { return timer_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void InstallHooks();
  void TypeKey(int code);
  bool MainWindowKey(QKeyEvent& event);
  bool PanelKey(QWidget* receiver, QKeyEvent& event);
  void WatchPanelFocus(QObject* watched, QEvent* event);

  QtPlatform platform_;
  Context ctx_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<PanelWindow> panel_;
  QTimer timer_;
  qint64 lastSync_ = 0;
  bool activationFocus_ = false;  // the panel's focus came from its activation, not a click
};

}  // namespace zolva
