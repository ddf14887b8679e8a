#include "ui/qt_platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <iostream>

#include "ui/wave_player.h"

namespace zolva {

namespace {

// The system's document opener answers above 32 for success.
constexpr int kOpened = 42;
constexpr int kNotOpened = 2;

}  // namespace

QString DialogFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList named;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    named << parts[i] + " (" + patterns + ")";
  }
  return named.join(";;");
}

QtPlatform::QtPlatform() : player_(std::make_unique<WavePlayer>()) {}

QtPlatform::~QtPlatform() = default;

int QtPlatform::ShowMessageBox(const std::string& text, const std::string& caption, int buttons) {
  const bool withCancel = buttons == ButtonsOkCancel;
  if (answerMessageBoxes) {
    std::cerr << caption << ": " << text << std::endl;
    if (messages.size() >= kRecordLimit) messages.erase(messages.begin());
    messages.push_back(Message{text, caption, buttons, AnswerOk});
    ++messageCount;
    return AnswerOk;
  }
  QMessageBox box(
      QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
      withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, mainWindow_.data());
  box.setDefaultButton(QMessageBox::Ok);
  // A box without buttons to choose from answers OK however it is closed.
  const int answer = (box.exec() == QMessageBox::Cancel && withCancel) ? AnswerCancel : AnswerOk;
  if (messages.size() >= kRecordLimit) messages.erase(messages.begin());
  messages.push_back(Message{text, caption, buttons, answer});
  ++messageCount;
  return answer;
}

void QtPlatform::Beep() {
  ++beeps;
  QApplication::beep();
}

void QtPlatform::Sleep(int milliseconds, bool forHumanReader) {
  if (sleeps.size() >= kRecordLimit) sleeps.erase(sleeps.begin());
  sleeps.push_back(milliseconds);
  if (milliseconds <= 0 || (forHumanReader && skipReaderPauses)) return;
  // The windows keep repainting meanwhile; what the user types waits for the pause to end.
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void QtPlatform::PlayWave(WaveImage image, SoundMode mode) {
  if (waves.size() >= kRecordLimit) waves.erase(waves.begin());
  waves.push_back(PlayedWave{image, mode});
  if (!mute) player_->Play(std::move(image), mode);
}

bool QtPlatform::PlaySoundFile(const std::string& path) {
  soundFiles.push_back(path);
  if (soundFiles.size() > kRecordLimit) soundFiles.erase(soundFiles.begin());
  QFile file(QString::fromStdString(path));
  if (mute || !file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.readAll();
  auto image = std::make_shared<const std::vector<std::uint8_t>>(bytes.begin(), bytes.end());
  return player_->Play(std::move(image), SoundMode::Sync);
}

int QtPlatform::OpenDocument(const std::string& path, const std::string& parameters, int show) {
  documents.push_back(OpenedDocument{path, parameters, show});
  if (documents.size() > kRecordLimit) documents.erase(documents.begin());
  const QString text = QString::fromStdString(path);
  QUrl url;
  if (text.contains("://")) {
    url = QUrl(text);
  } else if (QFileInfo::exists(text)) {
    url = QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
  } else {
    // A document that is not there cannot be opened; no handler is started for it.
    return kNotOpened;
  }
  return url.isValid() && QDesktopServices::openUrl(url) ? kOpened : kNotOpened;
}

ModifierKeys QtPlatform::ModifierKeysNow() {
  const Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
  // A test may hold keys the offscreen platform cannot.
  return ModifierKeys{held.testFlag(Qt::ShiftModifier) || modifierKeys.shift,
                      held.testFlag(Qt::AltModifier) || modifierKeys.alt,
                      held.testFlag(Qt::ControlModifier) || modifierKeys.ctrl};
}

void QtPlatform::ProcessPendingEvents() {
  ++pendingEventCalls;
  if (beforePendingEvents) beforePendingEvents();
  if (onPendingEvents) onPendingEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtPlatform::SetMainWindowState(int state) {
  windowStates.push_back(state);
  if (windowStates.size() > kRecordLimit) windowStates.erase(windowStates.begin());
  QWidget* w = mainWindow_.data();
  if (!w) return;
  if (state == 1) {
    w->showMinimized();
    return;
  }
  if (state == 2) {
    w->showMaximized();
  } else {
    w->showNormal();
  }
  w->raise();
  w->activateWindow();
}

void QtPlatform::QuitApplication() {
  quitRequested = true;
  QCoreApplication::quit();
}

void QtPlatform::Warn(const std::string& text) {
  warnings.push_back(text);
  if (warnings.size() > kRecordLimit) warnings.erase(warnings.begin());
  std::cerr << "warning: " << text << std::endl;
}

bool QtPlatform::ChooseSaveFile(std::string& path) {
  const QString chosen = QFileDialog::getSaveFileName(
      mainWindow_.data(), "Save displayed bitmap as", QString::fromStdString(path));
  if (chosen.isEmpty()) return false;
  path = chosen.toStdString();
  return true;
}

bool QtPlatform::ChooseOpenFile(const std::string& folder, const std::string& filter,
                                std::string& path) {
  ++openDialogs;
  openDialogFolder = folder;
  openDialogFilter = filter;
  const QString chosen = QFileDialog::getOpenFileName(
      mainWindow_.data(), "Open", QString::fromStdString(folder), DialogFilter(filter));
  if (chosen.isEmpty()) return false;
  path = chosen.toStdString();
  return true;
}

}  // namespace zolva
