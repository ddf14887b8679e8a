// The main window: the menu, the status line above the picture (Label1, LabelM1 to LabelM5,
// Label3) and the picture of the field display that the program paints. Menu items and window
// events go to the program's commands; the window shows what the display model holds.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <array>
#include <string>

#include "core/display.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;

namespace zolva {

struct Context;
class UiHost;

// Shows the display bitmap, below the status line, with the cross-hair cursor.
class PictureWidget final : public QWidget {
 public:
  PictureWidget(Context& ctx, UiHost& host, QWidget* parent);
  // Copies the display bitmap as it stands.
  void Show();
  const QImage& Image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  Context& ctx_;
  UiHost& host_;
  QImage image_;
};

class MainWindow final : public QMainWindow {
 public:
  MainWindow(Context& ctx, UiHost& host);
  ~MainWindow() override;

  // The caption, the menu's check marks and enabled states, the status labels.
  void Sync();
  // The status text with its blink: the label turns to the background colour for one round of
  // events, then shows the new text.
  void BlinkStatus(const std::string& text);
  void ShowStatusLabels();
  void ShowPicture();
  // The control loop's redraw: the display takes the client size, then repaints.
  void Redraw();
  QSize ClientSize() const;

  QLabel* StatusLabel(int index) const {
    return labels_[index];
  }  // 0 Label1, 1..5 M1..M5, 6 Label3
  PictureWidget* Picture() const { return picture_; }
  QAction* Action(const QString& objectName) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildMenu();
  QAction* Item(QMenu* menu, const char* caption, const char* name,
                const std::function<void()>& command);

  Context& ctx_;
  UiHost& host_;
  QWidget* client_ = nullptr;
  QWidget* strip_ = nullptr;
  PictureWidget* picture_ = nullptr;
  std::array<QLabel*, 7> labels_{};
  std::array<QAction*, kDisplayModeCount> fieldItems_{};
  std::array<QAction*, 6> zoomItems_{};
  std::array<QAction*, 4> rescaleItems_{};
  QAction* plotCurrents_ = nullptr;
  QAction* highIntensity_ = nullptr;
  QMenu* rescaleMenu_ = nullptr;
};

}  // namespace zolva
