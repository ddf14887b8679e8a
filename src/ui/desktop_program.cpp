#include "ui/desktop_program.h"

#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QTabBar>
#include <algorithm>
#include <exception>

#include "program/commands.h"
#include "program/control_panel.h"
#include "program/display.h"
#include "program/reporting.h"
#include "program/script.h"
#include "program/solve_control.h"
#include "ui/key_map.h"
#include "ui/main_window.h"
#include "ui/panel_window.h"

namespace zolva {

namespace {

constexpr int kTickMs = 200;
// While a solve handles its events, the windows follow the model at most this often.
constexpr qint64 kSyncIntervalMs = 40;
// The panel stands below the main window, clear of the screen's bottom edge.
constexpr int kPanelTopMax = 475;
constexpr int kPanelBottomMargin = 282;

ModifierKeys ModifiersOf(const QKeyEvent& event) {
  const Qt::KeyboardModifiers m = event.modifiers();
  return ModifierKeys{m.testFlag(Qt::ShiftModifier), m.testFlag(Qt::AltModifier),
                      m.testFlag(Qt::ControlModifier)};
}

}  // namespace

DesktopProgram::DesktopProgram(const DesktopOptions& options) : ctx_(platform_) {
  platform_.skipReaderPauses = options.skipReaderPauses;
  platform_.mute = options.mute;
  platform_.echoMessages = false;
  if (!options.programFile.empty()) platform_.programFileOverride = options.programFile;
  if (options.preparePlatform) options.preparePlatform(platform_);

  // The main window: hooks first, then its share of the start-up, then the control loop's timer.
  InstallHooks();
  main_ = std::make_unique<MainWindow>(ctx_, *this);
  platform_.SetMainWindow(main_.get());
  StartMainWindow(ctx_);
  timer_.setObjectName("Timer1");
  timer_.setInterval(kTickMs);
  connect(&timer_, &QTimer::timeout, this, [this] { TickNow(); });
  if (options.startTimer) timer_.start();

  // The control panel; its creation ends with the program ready.
  panel_ = std::make_unique<PanelWindow>(ctx_, *this);
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  panel_->move((area.width() - panel_->width()) / 2,
               std::min(area.height() - kPanelBottomMargin, kPanelTopMax));

  qApp->installEventFilter(this);
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s == Qt::ApplicationActive) ctx_.state.focusReleaseCountdown = 2;
  });
  main_->show();
  SyncWindows();
}

DesktopProgram::~DesktopProgram() {
  qApp->removeEventFilter(this);
  timer_.stop();
  // Nothing may reach the windows while they go.
  ProgramState& s = ctx_.state;
  s.ShowStatusHook = nullptr;
  s.RefreshDisplayHook = nullptr;
  s.RefreshStatusLineHook = nullptr;
  s.HandleCommandKeyHook = nullptr;
  s.RedrawMainWindowHook = nullptr;
  s.LayoutPanelHook = nullptr;
  s.ReleasePanelFocusHook = nullptr;
  platform_.beforePendingEvents = nullptr;
  platform_.SetMainWindow(nullptr);
  panel_.reset();
  main_.reset();
}

void DesktopProgram::InstallHooks() {
  ProgramState& s = ctx_.state;
  s.ShowStatusHook = [this](const std::string& text) {
    if (main_) main_->BlinkStatus(text);
  };
  s.RefreshDisplayHook = [this] {
    const int before = ctx_.view.framesShown;
    RefreshFieldDisplay(ctx_);
    if (!main_) return;
    if (ctx_.view.framesShown != before) main_->ShowPicture();
    main_->Sync();
  };
  s.RefreshStatusLineHook = [this] {
    RefreshStatusLineNow(ctx_);
    if (main_) main_->ShowStatusLabels();
  };
  s.HandleCommandKeyHook = [this](int key) { TypeKey(key); };
  s.RedrawMainWindowHook = [this] {
    if (main_) main_->Redraw();
  };
  s.LayoutPanelHook = [this] {
    if (panel_) panel_->LayoutIfResized();
  };
  s.ReleasePanelFocusHook = [this] { ReleasePanelFocus(); };
  platform_.beforePendingEvents = [this] {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastSync_ < kSyncIntervalMs) return;
    lastSync_ = now;
    SyncWindows();
  };
}

void DesktopProgram::Run(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    ShowUnexpectedError(ctx_, error.what());
  } catch (...) {
    ShowUnexpectedError(ctx_, "an error of unknown kind");
  }
  SyncWindows();
}

void DesktopProgram::SyncWindows() {
  if (main_) main_->Sync();
  if (panel_) panel_->Sync();
}

void DesktopProgram::ReleasePanelFocus() {
  if (panel_) panel_->ReleaseFocus();
}

void DesktopProgram::TickNow() {
  Run([this] { Tick(ctx_); });
}

void DesktopProgram::TypeKey(int code) {
  const int mouseX = ctx_.view.mouseX, mouseY = ctx_.view.mouseY;
  HandleCommandKey(ctx_, code);
  // The arrow keys move the pointer itself by one screen pixel, not only its read-out.
  if (main_ && (ctx_.view.mouseX != mouseX || ctx_.view.mouseY != mouseY)) {
    QCursor::setPos(main_->Picture()->mapToGlobal(QPoint(ctx_.view.mouseX, ctx_.view.mouseY)));
  }
  SyncWindows();
}

bool DesktopProgram::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::FocusIn || type == QEvent::MouseButtonPress) {
    WatchPanelFocus(watched, event);
    return false;
  }
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || !main_ || !panel_) return false;
  QWidget* top = widget->window();
  if (top != main_.get() && top != panel_.get()) return false;
  // Only the first receiver decides: a key that a widget passes on reaches its parents too.
  QWidget* first = top->focusWidget() ? top->focusWidget() : top;
  if (widget != first) return false;
  auto& key = static_cast<QKeyEvent&>(*event);
  ctx_.state.lastShiftState = ModifiersOf(key);
  if (event->type() == QEvent::KeyRelease || qobject_cast<QMenuBar*>(widget)) return false;
  return top == main_.get() ? MainWindowKey(key) : PanelKey(widget, key);
}

void DesktopProgram::WatchPanelFocus(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || !panel_ || widget->window() != panel_.get()) return;
  if (event->type() == QEvent::MouseButtonPress) {
    // A click chooses the control itself; the focus it gives stays.
    activationFocus_ = false;
    return;
  }
  // Activating the panel gives the focus back to a field (or to the first one); the panel lets
  // go of it once the activation is over, so that typed keys are commands again.
  if (static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason) return;
  activationFocus_ = true;
  QTimer::singleShot(0, this, [this] {
    if (activationFocus_) ReleasePanelFocus();
    activationFocus_ = false;
  });
}

bool DesktopProgram::MainWindowKey(QKeyEvent& event) {
  int code = -1;
  if (const int vk = VirtualKeyOf(event.key(), event.modifiers())) {
    code = PanelKeyToCommand(vk, false);
  } else if (const int ch = TypedCharacterOf(event)) {
    code = ch;
  }
  if (code < 0) return false;
  Run([this, code] { ctx_.state.HandleCommandKeyHook(code); });
  return true;
}

bool DesktopProgram::PanelKey(QWidget* receiver, QKeyEvent& event) {
  const bool inTextField = qobject_cast<QLineEdit*>(receiver) != nullptr;
  if (const int vk = VirtualKeyOf(event.key(), event.modifiers())) {
    // A text field keeps its editing keys; the function keys pass from anywhere.
    const int code = PanelKeyToCommand(vk, inTextField);
    if (code < 0) return false;
    Run([this, code] { ctx_.state.HandleCommandKeyHook(code); });
    ReleasePanelFocus();
    return true;
  }
  if (inTextField) {
    if (event.key() != Qt::Key_Return && event.key() != Qt::Key_Enter) return false;
    // Enter commits the field by taking the focus from it, and goes no further.
    ReleasePanelFocus();
    return true;
  }
  const int ch = TypedCharacterOf(event);
  if (ch == 0) return false;
  Run([this, ch] { ctx_.state.HandleCommandKeyHook(ch); });
  ReleasePanelFocus();
  return true;
}

void DesktopProgram::RunScriptWhenStarted(const std::string& path, std::function<void()> done) {
  auto* poll = new QTimer(this);
  poll->setInterval(50);
  connect(poll, &QTimer::timeout, this, [this, poll, path, done = std::move(done)] {
    const ProgramState& s = ctx_.state;
    // The start-up work is done once the first tick has run the start-up script or built the
    // default cross-section, and the window has been drawn at its size.
    if (!s.ready || !s.startupScriptChecked || s.setupChanged || s.tickGuard != 0 ||
        s.redrawCountdown > 0 || SolveBusy(ctx_)) {
      return;
    }
    poll->stop();
    poll->deleteLater();
    if (!path.empty()) Run([this, &path] { RunScriptFile(ctx_, path); });
    if (done) done();
  });
  poll->start();
}

bool DesktopProgram::SaveScreenshots(const std::string& folder) {
  QDir().mkpath(QString::fromStdString(folder));
  main_->Redraw();
  QCoreApplication::processEvents();
  const QString base = QString::fromStdString(folder) + "/";
  bool ok = main_->grab().save(base + "main-window.png");
  if (panel_->isHidden()) return ok;
  ok = panel_->grab().save(base + "control-panel.png") && ok;
  // Every page of the panel, so that each can be looked at without a desktop.
  for (int tab = TabRoundTwinlead; tab < kPanelTabCount; ++tab) {
    Run([this, tab] { panel_->Tabs()->setCurrentIndex(tab); });
    QCoreApplication::processEvents();
    ok = panel_->grab().save(base + "control-panel-" + QString::number(tab) + ".png") && ok;
  }
  return ok;
}

}  // namespace zolva
