#include "ui/panel_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QToolButton>
#include <cmath>
#include <stdexcept>

#include "program/context.h"
#include "program/control_panel.h"
#include "program/coupled_solve.h"
#include "program/material_edits.h"
#include "program/results_report.h"
#include "ui/panel_pictures.h"
#include "ui/ui_host.h"

namespace zolva {

namespace {

constexpr int Tab(int t) {
  return 1 << t;
}
constexpr int kMaterials = Tab(TabMaterials), kConverging = Tab(TabConverging);
constexpr int kResultsTab = Tab(TabResults), kCoupledTab = Tab(TabCoupled);
constexpr int kEveryTab = (1 << kPanelTabCount) - 1;
// Text height in design units at the panel's design size and the middle text step.
constexpr double kFontUnits = 10.0;
constexpr int kFieldHeight = 17;

// The generated cross-sections' fields: two columns of a caption and an edit box.
struct FieldPlace {
  EditBox control;
  const char* caption;
  int column;  // 0 or 1
  int row;
};
constexpr FieldPlace kGeometryFields[] = {
    {EditBoxWireSeparation, "Wire separation :", 0, 0},
    {EditBoxWireDiameter, "Wire diameter :", 0, 1},
    {EditBoxInsulationDiameter, "Insulation diameter :", 0, 2},
    {EditBoxWireWidth, "Wire width :", 0, 1},
    {EditBoxWireHeight, "Wire height :", 0, 2},
    {EditBoxCenterConductorDia, "Center conductor dia :", 0, 0},
    {EditBoxShieldInnerDia, "Shield inner dia :", 0, 1},
    {EditBoxShieldOuterDia, "Shield outer dia :", 0, 2},
    {EditBoxVerticalSkew, "Vertical skew :", 0, 3},
    {EditBoxTopDistance, "Top distance :", 1, 0},
    {EditBoxBottomDistance, "Bottom distance :", 1, 1},
    {EditBoxSideDistance, "Side distance :", 1, 2},
};

struct CheckPlace {
  CheckBox control;
  const char* caption;
  QRect design;
};
constexpr int kCheckX0 = 366, kCheckX1 = 494, kCheckW = 126, kCheckH = 16;
constexpr int CheckY(int row) {
  return 26 + 18 * row;
}
const CheckPlace kCheckPlaces[] = {
    {CheckBoxAddTopPlane, "Add top plane", {kCheckX0, CheckY(0), kCheckW, kCheckH}},
    {CheckBoxAddBottomPlane, "Add bottom plane", {kCheckX0, CheckY(1), kCheckW, kCheckH}},
    {CheckBoxAddSidePlanes, "Add side planes", {kCheckX0, CheckY(2), kCheckW, kCheckH}},
    {CheckBoxOneWire, "1 Wire", {kCheckX0, CheckY(3), kCheckW, kCheckH}},
    {CheckBoxInsulationVertical, "Insulation vertical", {kCheckX1, CheckY(0), kCheckW, kCheckH}},
    {CheckBoxInsulationHorizontal,
     "Insulation horizontal",
     {kCheckX1, CheckY(1), kCheckW, kCheckH}},
    {CheckboxAddGroundedWire, "Add grounded wire", {kCheckX1, CheckY(2), kCheckW, kCheckH}},
    {CheckBoxAddFloatingWire, "Add floating wire", {kCheckX1, CheckY(3), kCheckW, kCheckH}},
    {CheckBoxShortGroundPlane, "Short ground plane", {kCheckX1, CheckY(2), kCheckW, kCheckH}},
    {CheckBoxHalfGroundPlane, "Half ground plane", {kCheckX1, CheckY(3), kCheckW, kCheckH}},
    {CheckBoxAirDielectric, "Air dielectric", {kCheckX0, CheckY(2), kCheckW, kCheckH}},
    {CheckBoxShowStandardColors, "Show all standard colors", {362, 116, 148, kCheckH}},
    {CheckBoxSnapColours, "Snap colours", {512, 116, 106, kCheckH}},
    {CheckBoxRestrict, "Restrict to skin depth", {4, 184, 150, kFieldHeight}},
    {CheckBoxUnending, "Unending run", {156, 184, 96, kFieldHeight}},
    {CheckBoxNoPrediction, "Skip \u0112 prediction", {254, 184, 120, kFieldHeight}},
    {CheckBoxVoZero, "Vo zero", {376, 184, 70, kFieldHeight}},
    {CheckBoxBuildCoil, "Build coil", {448, 184, 86, kFieldHeight}},
    // How every solve is made, on a row of their own under the run options.
    {CheckBoxEstimateError, "Estimate error", {4, 206, 150, kFieldHeight}},
    {CheckBoxClassicRelaxation, "Classic relaxation", {156, 206, 140, kFieldHeight}},
    {CheckBoxCoupled, "Coupled lines", {298, 206, 120, kFieldHeight}},
};

struct KindButton {
  const char* caption;
  MaterialKind kind;
};
constexpr KindButton kKindButtons[] = {{"+1", KindPlus},
                                       {"0", KindGround},
                                       {"-1", KindMinus},
                                       {"Float", KindFloat},
                                       {"Insul.", KindInsul}};

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

void SetTextIfChanged(QLabel* label, const std::string& text) {
  const QString t = Text(text);
  if (label->text() != t) label->setText(t);
}

}  // namespace

PanelWindow::PanelWindow(Context& ctx, UiHost& host) : QWidget(nullptr), ctx_(ctx), host_(host) {
  setObjectName("ControlPanel");
  setFocusPolicy(Qt::StrongFocus);
  tabs_ = new QTabBar(this);
  tabs_->setObjectName("TabControl");
  for (const char* t : {"Round twinlead", "Square twinlead", "Coaxial", "materials", "converging",
                        "results", "coupled"}) {
    tabs_->addTab(t);
  }
  tabs_->setExpanding(false);
  tabs_->setDrawBase(true);
  tabs_->setFocusPolicy(Qt::NoFocus);
  Place(tabs_, {0, 0, kPanelDesignWidth, 21}, kEveryTab);
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
    if (index < 0 || index == ctx_.panel.tab) return;
    host_.Run([this, index] {
      ShowPanel(ctx_, index);
      // The results page is drawn whenever its tab is shown.
      if (index == TabResults) DrawResults(ctx_);
    });
  });
  BuildFields();
  BuildChecks();
  BuildMaterials();
  BuildConverging();
  BuildCoupled();
  BuildCommon();
  CreatePanel(ctx_);
  setWindowTitle(Text(ctx_.panel.caption));
  resize(kPanelDesignWidth, kPanelDesignHeight);
  Layout();
  Sync();
}

PanelWindow::~PanelWindow() {
  // The controls go after this object: what they signal while they go (the tab bar's last
  // change of tab, for one) must not reach the program.
  for (QObject* child : findChildren<QObject*>()) child->blockSignals(true);
}

void PanelWindow::Place(QWidget* w, QRect design, int tabMask) {
  // The controls under the tab pages sit below the results page's band.
  if (design.y() >= kResultsPageBottom - kResultsBand) design.translate(0, kResultsBand);
  placed_.push_back({w, design, tabMask});
}

QLabel* PanelWindow::Caption(const char* text, QRect design, int tabMask) {
  auto* label = new QLabel(QString::fromUtf8(text), this);
  Place(label, design, tabMask);
  return label;
}

void PanelWindow::BuildFields() {
  for (int i = 0; i < kEditBoxCount; ++i) {
    auto* edit = new QLineEdit(this);
    const EditBox control = static_cast<EditBox>(i);
    edits_[i] = edit;
    connect(edit, &QLineEdit::textEdited, this, [this, control](const QString& text) {
      host_.Run([this, control, text] { SetField(ctx_, control, text.toStdString()); });
    });
    connect(edit, &QLineEdit::editingFinished, this,
            [this, control] { host_.Run([this, control] { LeaveField(ctx_, control); }); });
  }
  for (const FieldPlace& f : kGeometryFields) {
    const int x = f.column == 0 ? 0 : 184;
    const int y = 26 + 20 * f.row;
    editCaptions_[f.control] = Caption(f.caption, {x, y, 114, kFieldHeight}, 0);
    editCaptions_[f.control]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Place(edits_[f.control], {x + 116, y, 62, kFieldHeight}, 0);
  }
  // Always visible: the name, the pixel width, the pixel budget and the frequency; the caption
  // follows its box.
  editCaptions_[EditBoxName] = Caption("Name :", {4, 140, 40, kFieldHeight}, 0);
  Place(edits_[EditBoxName], {46, 140, 98, kFieldHeight}, 0);
  Place(edits_[EditBoxPixelWidth], {150, 140, 90, kFieldHeight}, 0);
  editCaptions_[EditBoxPixelWidth] = Caption("- Pixel width", {242, 140, 80, kFieldHeight}, 0);
  Place(edits_[EditBoxTotalConductorPixels], {326, 140, 50, kFieldHeight}, 0);
  totalPixelsCaption_ = Caption("- Total conductor pixels", {378, 140, 150, kFieldHeight}, 0);
  editCaptions_[EditBoxTotalConductorPixels] = totalPixelsCaption_;
  Place(edits_[EditBoxFrequency], {150, 162, 90, kFieldHeight}, 0);
  editCaptions_[EditBoxFrequency] = Caption("- Frequency in MHz", {242, 162, 106, kFieldHeight}, 0);
}

void PanelWindow::BuildChecks() {
  for (const CheckPlace& c : kCheckPlaces) {
    auto* box = new QCheckBox(QString::fromUtf8(c.caption), this);
    box->setFocusPolicy(Qt::NoFocus);
    checks_[c.control] = box;
    // Each check box has one place; on the coaxial tab "Air dielectric" stands above "2 wire".
    Place(box, c.design, 0);
    const CheckBox control = c.control;
    connect(box, &QCheckBox::clicked, this, [this, control](bool on) {
      host_.Run([this, control, on] { SetCheckBox(ctx_, control, on); });
    });
  }
  // Every check box of the model has its place here; one without would leave a null control.
  for (const QCheckBox* box : checks_) {
    if (box == nullptr)
      throw std::logic_error("PanelWindow: a check box of the panel has no place");
  }
}

void PanelWindow::BuildMaterials() {
  chart_ = new PanelPicture(ctx_, PanelPicture::MaterialsChart, {kChartWidth, kChartHeight}, this);
  chart_->setObjectName("MaterialsChart");
  chart_->onClick = [this](int x, int y) {
    host_.Run([this, x, y] { PickColor(ctx_, x, y); });
    ReleaseFocus();
  };
  Place(chart_, {4, 24, kChartWidth, kChartHeight}, kMaterials);
  for (std::size_t i = 0; i < kindButtons_.size(); ++i) {
    auto* b = new QRadioButton(kKindButtons[i].caption, this);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoExclusive(false);
    kindButtons_[i] = b;
    const MaterialKind kind = kKindButtons[i].kind;
    connect(b, &QRadioButton::clicked, this, [this, kind] {
      if (ctx_.panel.materialsBusy) return;
      host_.Run([this, kind] { SetKind(ctx_, kind); });
    });
    Place(b, {362 + 50 * static_cast<int>(i), 24, 48, 16}, kMaterials);
  }
  labels_[LabelRhoSymbol] = new QLabel(this);
  Place(labels_[LabelRhoSymbol], {362, 44, 14, kFieldHeight}, kMaterials);
  Place(edits_[EditBoxRho], {378, 44, 70, kFieldHeight}, 0);
  rhoSigma_ = new QPushButton(QString::fromUtf8("\u03C1/\u03C3"), this);
  rhoSigma_->setFocusPolicy(Qt::NoFocus);
  connect(rhoSigma_, &QPushButton::clicked, this,
          [this] { host_.Run([this] { ToggleRhoSigma(ctx_); }); });
  Place(rhoSigma_, {450, 44, 28, kFieldHeight}, kMaterials);
  editCaptions_[EditBoxEpsilon] = Caption("\u03B5r", {486, 44, 20, kFieldHeight}, 0);
  Place(edits_[EditBoxEpsilon], {508, 44, 70, kFieldHeight}, 0);
  editCaptions_[EditBoxTd] = Caption("tan \u03B4", {362, 64, 36, kFieldHeight}, 0);
  Place(edits_[EditBoxTd], {400, 64, 110, kFieldHeight}, 0);
  editCaptions_[EditBoxMu] = Caption("\u03BCr", {516, 64, 20, kFieldHeight}, 0);
  Place(edits_[EditBoxMu], {538, 64, 40, kFieldHeight}, 0);
  const PanelLabel colourLabels[] = {LabelMaterialName, LabelRed, LabelGreen, LabelBlue,
                                     LabelHexColor};
  const QRect colourPlaces[] = {{362, 84, 250, 16},
                                {374, 100, 30, 16},
                                {418, 100, 30, 16},
                                {462, 100, 30, 16},
                                {500, 100, 80, 16}};
  Caption("R", {362, 100, 12, 16}, kMaterials);
  Caption("G", {406, 100, 12, 16}, kMaterials);
  Caption("B", {450, 100, 12, 16}, kMaterials);
  for (int i = 0; i < 5; ++i) {
    labels_[colourLabels[i]] = new QLabel(this);
    Place(labels_[colourLabels[i]], colourPlaces[i], kMaterials);
  }
}

void PanelWindow::BuildConverging() {
  graph_ =
      new PanelPicture(ctx_, PanelPicture::ConvergenceGraph, {kGraphWidth, kGraphHeight}, this);
  graph_->setObjectName("ConvergenceGraph");
  Place(graph_, {4, 24, kGraphWidth, kGraphHeight}, kConverging);
  // The black trace spans +-2 %, the red one +-0.02 % around the newest estimate.
  struct Mark {
    const char* text;
    int y;
    bool red;
  };
  for (const Mark& m : {Mark{"+2%", 22, false}, Mark{"+.02%", 34, true}, Mark{"-.02%", 106, true},
                        Mark{"-2%", 118, false}}) {
    QLabel* l = Caption(m.text, {358, m.y, 36, 14}, kConverging);
    if (m.red) {
      QPalette p = l->palette();
      p.setColor(QPalette::WindowText, QColor(255, 0, 0));
      l->setPalette(p);
    }
  }
  struct Row {
    PanelLabel label;
    const char* caption;
  };
  const Row rows[] = {{LabelCoreSize, ""}, {Label36, ""}, {Label17, "stage :"}, {Label18, "draw :"},
                      {Label39, "time :"}, {Label40, ""}, {LabelValue, ""}};
  int y = 24;
  for (const Row& r : rows) {
    const bool captioned = r.caption[0] != '\0';
    if (captioned) Caption(r.caption, {400, y, 42, 15}, kConverging);
    labels_[r.label] = new QLabel(this);
    Place(labels_[r.label], {captioned ? 444 : 400, y, captioned ? 174 : 218, 15}, kConverging);
    y += 15;
  }
  const int pageHeight = kResultsPageBottom - kResultsPageTop;
  results_ =
      new PanelPicture(ctx_, PanelPicture::ResultsPage, {kPanelDesignWidth, pageHeight}, this);
  results_->setObjectName("ResultsPage");
  results_->setToolTip(
      "The lines \"if vf=...\" are estimates from one solve and an assumed velocity factor "
      "(1/sqrt of the mean permittivity), not solved figures; after a full solve they are grey, "
      "and the combined column holds Zo and vf from the solved L and C.");
  Place(results_, {0, kResultsPageTop, kPanelDesignWidth, pageHeight}, kResultsTab);
}

void PanelWindow::BuildCoupled() {
  // Columns of figures line up only in a fixed-width font; the text can be selected and copied.
  coupled_ = new QPlainTextEdit(this);
  coupled_->setObjectName("CoupledPage");
  coupled_->setReadOnly(true);
  coupled_->setLineWrapMode(QPlainTextEdit::NoWrap);
  coupled_->setFocusPolicy(Qt::ClickFocus);
  // Left of the check boxes that every page but the materials shows at the top right.
  Place(coupled_, {0, kResultsPageTop, kPanelDesignWidth, kResultsPageBottom - kResultsPageTop},
        kCoupledTab);
}

void PanelWindow::BuildCommon() {
  stop_ = new QPushButton("Stop", this);
  stop_->setObjectName("ButtonStop");
  resume_ = new QPushButton("Resume", this);
  resume_->setObjectName("ButtonResume");
  auto* close = new QPushButton("Close window", this);
  for (QPushButton* b : {stop_, resume_, close}) b->setFocusPolicy(Qt::NoFocus);
  connect(stop_, &QPushButton::clicked, this, [this] { host_.Run([this] { RequestStop(ctx_); }); });
  connect(resume_, &QPushButton::clicked, this,
          [this] { host_.Run([this] { RequestResume(ctx_); }); });
  connect(close, &QPushButton::clicked, this, [this] { host_.Run([this] { ClosePanel(ctx_); }); });
  Place(stop_, {540, 138, 78, 20}, kEveryTab);
  Place(resume_, {540, 160, 78, 20}, kEveryTab);
  Place(close, {540, 182, 78, 20}, kEveryTab);

  // UpDown1: the thread count, one step per click.
  auto* up = new QToolButton(this);
  auto* down = new QToolButton(this);
  up->setObjectName("UpDown1Up");
  down->setObjectName("UpDown1Down");
  up->setArrowType(Qt::UpArrow);
  down->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up, down}) b->setFocusPolicy(Qt::NoFocus);
  connect(up, &QToolButton::clicked, this,
          [this] { host_.Run([this] { SetThreadCount(ctx_, true); }); });
  connect(down, &QToolButton::clicked, this,
          [this] { host_.Run([this] { SetThreadCount(ctx_, false); }); });
  Place(up, {4, 161, 14, 10}, kEveryTab);
  Place(down, {4, 171, 14, 10}, kEveryTab);
  labels_[LabelThreads] = new QLabel(this);
  Place(labels_[LabelThreads], {20, 162, 72, kFieldHeight}, kEveryTab);
  labels_[LabelSwitches] = new QLabel(this);
  Place(labels_[LabelSwitches], {92, 162, 56, kFieldHeight}, kEveryTab);
  Caption("Actual conductor pixel total:", {350, 162, 146, kFieldHeight}, kEveryTab);
  labels_[Label31] = new QLabel(this);
  Place(labels_[Label31], {498, 162, 40, kFieldHeight}, kEveryTab);

  static const char* const kLabelNames[kPanelLabelCount] = {
      "Label17",      "Label18",       "Label31",       "Label36",    "Label39",   "Label40",
      "LabelThreads", "LabelSwitches", "LabelCoreSize", "LabelValue", "LabelName", "LabelRed",
      "LabelGreen",   "LabelBlue",     "LabelHex",      "LabelRho"};
  for (int i = 0; i < kPanelLabelCount; ++i) labels_[i]->setObjectName(kLabelNames[i]);
  static const char* const kEditNames[kEditBoxCount] = {"EditBoxName",
                                                        "EditBoxWireSeparation",
                                                        "EditBoxWireDiameter",
                                                        "EditBoxInsulationDiameter",
                                                        "EditBoxWireWidth",
                                                        "EditBoxWireHeight",
                                                        "EditBoxCenterConductorDia",
                                                        "EditBoxShieldInnerDia",
                                                        "EditBoxShieldOuterDia",
                                                        "EditBoxVerticalSkew",
                                                        "EditBoxTopDistance",
                                                        "EditBoxBottomDistance",
                                                        "EditBoxSideDistance",
                                                        "EditBoxPixelWidth",
                                                        "EditBoxTotalConductorPixels",
                                                        "EditBoxFrequency",
                                                        "EditBoxRho",
                                                        "EditBoxEpsilon",
                                                        "EditBoxTd",
                                                        "EditBoxMu"};
  for (int i = 0; i < kEditBoxCount; ++i) edits_[i]->setObjectName(kEditNames[i]);
}

void PanelWindow::Layout() {
  const PanelModel& panel = ctx_.panel;
  const int index = std::clamp(panel.textScaleIndex, 0, 6);
  QFont f = font();
  f.setPixelSize(std::max(
      6, static_cast<int>(std::lround(kFontUnits * scale_ * kPanelTextScales[index] / 1.0))));
  setFont(f);
  // Seven tabs end left of "Estimate error" only in a slightly smaller text.
  QFont tabFont = f;
  tabFont.setPixelSize(std::max(6, static_cast<int>(std::lround(f.pixelSize() * 0.8))));
  tabs_->setFont(tabFont);
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPixelSize(f.pixelSize());
  coupled_->setFont(fixed);
  for (const Placed& p : placed_) {
    const QRect& d = p.design;
    p.widget->setGeometry(static_cast<int>(std::lround(d.x() * scale_)),
                          static_cast<int>(std::lround(d.y() * scale_)),
                          static_cast<int>(std::lround(d.width() * scale_)),
                          static_cast<int>(std::lround(d.height() * scale_)));
  }
  laidOutSize_ = size();
  laidOutTextScale_ = index;
  ApplyVisibility();
}

void PanelWindow::LayoutIfResized() {
  if (size() != laidOutSize_) {
    if (height() != laidOutSize_.height()) {
      scale_ = static_cast<double>(height()) / kPanelDesignHeight;
    }
    Layout();
  } else if (laidOutTextScale_ != ctx_.panel.textScaleIndex) {
    Layout();
  }
  update();
}

void PanelWindow::ApplyVisibility() {
  const PanelModel& panel = ctx_.panel;
  const int bit = Tab(std::clamp(panel.tab, 0, kPanelTabCount - 1));
  for (const Placed& p : placed_) {
    if (p.tabMask != 0) p.widget->setVisible((p.tabMask & bit) != 0);
  }
  for (int i = 0; i < kEditBoxCount; ++i) {
    const bool shown = ControlVisible(panel, static_cast<EditBox>(i));
    edits_[i]->setVisible(shown);
    if (editCaptions_[i]) editCaptions_[i]->setVisible(shown);
  }
  labels_[LabelRhoSymbol]->setVisible(panel.tab == TabMaterials);
  for (int i = 0; i < kCheckBoxCount; ++i) {
    checks_[i]->setVisible(ControlVisible(panel, static_cast<CheckBox>(i)));
  }
  shownTab_ = panel.tab;
}

void PanelWindow::Sync() {
  const PanelModel& panel = ctx_.panel;
  const QString title = Text(panel.caption);
  if (windowTitle() != title) setWindowTitle(title);
  if (panel.tab != shownTab_) {
    QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(panel.tab);
    ApplyVisibility();
  }
  for (int i = 0; i < kEditBoxCount; ++i) {
    const EditField& field = panel.edits[i];
    QLineEdit* edit = edits_[i];
    const QString text = Text(field.text);
    if (edit->text() != text) {
      const int cursor = edit->cursorPosition();
      edit->setText(text);
      if (edit->hasFocus())
        edit->setCursorPosition(std::min(cursor, static_cast<int>(text.size())));
    }
    bool enabled = field.enabled;
    if (i == EditBoxTotalConductorPixels) enabled = enabled && panel.totalPixelsEnabled;
    if (edit->isEnabled() != enabled) edit->setEnabled(enabled);
  }
  totalPixelsCaption_->setEnabled(panel.totalPixelsEnabled);
  for (int i = 0; i < kCheckBoxCount; ++i) {
    QCheckBox* box = checks_[i];
    if (box->isChecked() != panel.checks[i]) {
      QSignalBlocker block(box);
      box->setChecked(panel.checks[i]);
    }
  }
  const QString oneWire = Text(OneWireCaption(panel));
  if (checks_[CheckBoxOneWire]->text() != oneWire) checks_[CheckBoxOneWire]->setText(oneWire);
  for (int i = 0; i < kPanelLabelCount; ++i) SetTextIfChanged(labels_[i], panel.labels[i]);
  stop_->setEnabled(panel.stopEnabled);
  resume_->setEnabled(panel.resumeEnabled);
  const MaterialsPage& page = panel.materialsPage;
  for (std::size_t i = 0; i < kindButtons_.size(); ++i) {
    QSignalBlocker block(kindButtons_[i]);
    kindButtons_[i]->setChecked(page.litKind && *page.litKind == kKindButtons[i].kind);
    kindButtons_[i]->setEnabled(page.hasSelection);
  }
  if (isEnabled() != panel.enabled) setEnabled(panel.enabled);
  if (panel.visible && isHidden()) {
    show();
    if (!ctx_.state.minimized) raise();
  } else if (!panel.visible && !isHidden()) {
    hide();
  }
  // The pictures are cheap to paint; the one on show follows every change of the model.
  if (panel.tab == TabMaterials) chart_->update();
  if (panel.tab == TabConverging) graph_->update();
  if (panel.tab == TabResults) results_->update();
  if (panel.tab == TabCoupled) {
    const QString text = Text(CoupledPageText(ctx_));
    if (coupled_->toPlainText() != text) coupled_->setPlainText(text);
  }
}

void PanelWindow::ReleaseFocus() {
  QWidget* focused = focusWidget();
  if (focused) focused->clearFocus();
}

void PanelWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ctx_.state.panelLayoutCountdown = 2;
  ReleaseFocus();
}

void PanelWindow::closeEvent(QCloseEvent* event) {
  // The window's own close box does what "Close window" does: the panel hides, the run goes on.
  host_.Run([this] { ClosePanel(ctx_); });
  event->accept();
}

void PanelWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) ReleaseFocus();
}

}  // namespace zolva
