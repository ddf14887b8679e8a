// The control panel window: the panel model's tabs, fields, check boxes, kind buttons, thread
// count, Stop and Resume and its three pictures, laid out in design units (621 x 212) and scaled
// with the window's height. Every edit goes to the panel's operations; the window shows the model.
#pragma once

#include <QWidget>
#include <array>
#include <vector>

#include "program/panel_model.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabBar;
class QToolButton;

namespace zolva {

struct Context;
class PanelPicture;
class UiHost;

inline constexpr int kPanelDesignWidth = 621;
// The results page runs from y = 22 down to kResultsPageBottom; the controls below the tab
// pages are designed from y = 132 on and placed kResultsBand lower, so that the page has room
// for its estimate and peak-field rows (down to y = 146 + 11 of the page) under its own lines.
inline constexpr int kResultsPageTop = 22;
inline constexpr int kResultsBand = 50;
inline constexpr int kResultsPageBottom = 132 + kResultsBand;
inline constexpr int kPanelDesignHeight = 234 + kResultsBand;

class PanelWindow final : public QWidget {
 public:
  PanelWindow(Context& ctx, UiHost& host);
  ~PanelWindow() override;

  // Shows the model: texts, checks, enabled states, the tab, the visibility of the window.
  void Sync();
  // The control loop's layout after a resize: a changed height gives a new scale.
  void LayoutIfResized();
  // Lays out at the current scale and the model's text size.
  void Layout();
  void ReleaseFocus();

  // The controls by the names the program gives them, for the tests and the key filter.
  QLineEdit* Edit(EditBox control) const { return edits_[control]; }
  QCheckBox* Check(CheckBox control) const { return checks_[control]; }
  QLabel* Label(PanelLabel label) const { return labels_[label]; }
  QTabBar* Tabs() const { return tabs_; }
  PanelPicture* ResultsPicture() const { return results_; }
  QPlainTextEdit* CoupledPage() const { return coupled_; }
  QPushButton* StopButton() const { return stop_; }
  QPushButton* ResumeButton() const { return resume_; }
  double LayoutScale() const { return scale_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct Placed {
    QWidget* widget;
    QRect design;
    int tabMask;  // tabs on which it shows (bit per tab); 0: decided by the model
  };
  void Place(QWidget* w, QRect design, int tabMask);
  QLabel* Caption(const char* text, QRect design, int tabMask);
  void BuildFields();
  void BuildChecks();
  void BuildMaterials();
  void BuildConverging();
  void BuildCoupled();
  void BuildCommon();
  void ApplyVisibility();

  Context& ctx_;
  UiHost& host_;
  QTabBar* tabs_ = nullptr;
  std::array<QLineEdit*, kEditBoxCount> edits_{};
  std::array<QLabel*, kEditBoxCount> editCaptions_{};
  std::array<QCheckBox*, kCheckBoxCount> checks_{};
  std::array<QLabel*, kPanelLabelCount> labels_{};
  std::array<QRadioButton*, 5> kindButtons_{};
  QPushButton* stop_ = nullptr;
  QPushButton* resume_ = nullptr;
  QPushButton* rhoSigma_ = nullptr;
  QLabel* totalPixelsCaption_ = nullptr;
  PanelPicture* chart_ = nullptr;
  PanelPicture* graph_ = nullptr;
  PanelPicture* results_ = nullptr;
  QPlainTextEdit* coupled_ = nullptr;  // the "coupled" page: matrices and modes as text
  std::vector<Placed> placed_;
  double scale_ = 1.0;
  QSize laidOutSize_;
  int laidOutTextScale_ = -1;
  int shownTab_ = -1;
};

}  // namespace zolva
