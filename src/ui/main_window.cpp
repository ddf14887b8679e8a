#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <cmath>

#include "program/bitmap_export.h"
#include "program/commands.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/display.h"
#include "program/map_commands.h"
#include "program/reporting.h"
#include "program/script.h"
#include "program/solve_control.h"
#include "ui/panel_pictures.h"
#include "ui/ui_host.h"

namespace zolva {

namespace {

// Widths of the status line's labels: the status text, the read-out from LabelM1 on, the
// material's name.
constexpr int kStatusWidth = 330;
// Room kept free between the status text and the read-out after it.
constexpr int kStatusGap = 8;
constexpr int kReadoutWidth = 300;
constexpr int kMaterialWidth = 79;
constexpr int kDesignWidth = 621;
// The status line is 18 pixels high.
constexpr int kStatusFontPixels = 10;
constexpr int kDesignHeight = 475;

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

void SetLabelColor(QLabel* label, const QColor& color) {
  QPalette p = label->palette();
  if (p.color(QPalette::WindowText) == color) return;
  p.setColor(QPalette::WindowText, color);
  label->setPalette(p);
}

}  // namespace

PictureWidget::PictureWidget(Context& ctx, UiHost& host, QWidget* parent)
    : QWidget(parent), ctx_(ctx), host_(host) {
  setObjectName("Image1");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setCursor(Qt::CrossCursor);
  setFocusPolicy(Qt::NoFocus);
}

void PictureWidget::Show() {
  const DisplayView& v = ctx_.view;
  const std::size_t need = static_cast<std::size_t>(v.dispWidth) * v.dispHeight * 3;
  if (v.dispWidth <= 0 || v.dispHeight <= 0 || v.bitmap.size() < need) {
    image_ = QImage();
  } else {
    // The display bitmap holds blue, green, red per pixel, rows without padding.
    image_ =
        QImage(v.bitmap.data(), v.dispWidth, v.dispHeight, v.dispWidth * 3, QImage::Format_BGR888)
            .copy();
  }
  if (size() != QSize(v.dispWidth, v.dispHeight)) resize(v.dispWidth, v.dispHeight);
  update();
}

void PictureWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Window));
  if (!image_.isNull()) p.drawImage(0, 0, image_);
  const std::string& notice = ctx_.view.noticeText;
  if (!notice.empty()) {
    // The white box of the notice is in the bitmap; its text is written over it.
    p.setPen(Qt::black);
    p.drawText(ctx_.view.dispCentreX - 75, ctx_.view.dispCentreY + 5, Text(notice));
  }
  // Coupled lines: each conductor's number, white on a dark box so that it reads on any colour.
  QFont font = p.font();
  font.setBold(true);
  p.setFont(font);
  const QFontMetrics metrics(font);
  for (const ConductorLabel& label : ConductorLabels(ctx_)) {
    const QString text = Text(label.text);
    QRect box = metrics.boundingRect(text).adjusted(-3, -1, 3, 1);
    box.moveCenter(QPoint(label.x, label.y));
    p.fillRect(box, QColor(0, 0, 0, 170));
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, text);
  }
}

void PictureWidget::mouseMoveEvent(QMouseEvent* event) {
  const int x = static_cast<int>(event->position().x());
  const int y = static_cast<int>(event->position().y());
  host_.Run([this, x, y] { RefreshStatusLineAt(ctx_, x, y); });
}

MainWindow::MainWindow(Context& ctx, UiHost& host) : QMainWindow(nullptr), ctx_(ctx), host_(host) {
  setObjectName("MainWindow");
  setFocusPolicy(Qt::StrongFocus);
  client_ = new QWidget(this);
  client_->setFocusPolicy(Qt::NoFocus);
  setCentralWidget(client_);
  strip_ = new QWidget(client_);
  strip_->setAutoFillBackground(true);
  QFont stripFont = strip_->font();
  stripFont.setPixelSize(kStatusFontPixels);
  strip_->setFont(stripFont);
  static const char* const kNames[7] = {"Label1",  "LabelM1", "LabelM2", "LabelM3",
                                        "LabelM4", "LabelM5", "Label3"};
  for (int i = 0; i < 7; ++i) {
    labels_[i] = new QLabel(strip_);
    labels_[i]->setObjectName(kNames[i]);
    labels_[i]->setTextFormat(Qt::PlainText);
  }
  labels_[0]->setGeometry(0, 0, kStatusWidth, kStatusLineHeight);
  labels_[6]->setGeometry(kStatusWidth + kReadoutWidth, 0, kMaterialWidth, kStatusLineHeight);
  // The material's name stands apart from the voltage before it.
  labels_[6]->setContentsMargins(6, 0, 0, 0);
  picture_ = new PictureWidget(ctx_, host_, client_);
  picture_->move(0, kStatusLineHeight);
  picture_->resize(ctx_.view.dispWidth, ctx_.view.dispHeight);
  BuildMenu();

  const QScreen* screen = QGuiApplication::primaryScreen();
  const int screenWidth = screen ? screen->geometry().width() : 1024;
  move(static_cast<int>(std::nearbyint((screenWidth - 620) / 2.0)), 0);
  resize(kDesignWidth, kDesignHeight);
  setWindowTitle(Text(ctx_.state.mainCaption));
}

MainWindow::~MainWindow() {
  // As the panel: nothing its menu items signal while they go may reach the program.
  for (QObject* child : findChildren<QObject*>()) child->blockSignals(true);
}

QAction* MainWindow::Item(QMenu* menu, const char* caption, const char* name,
                          const std::function<void()>& command) {
  QAction* a = menu->addAction(QString::fromUtf8(caption));
  a->setObjectName(name);
  connect(a, &QAction::triggered, this, [this, command] { host_.Run(command); });
  return a;
}

void MainWindow::BuildMenu() {
  Context& c = ctx_;
  QMenu* file = menuBar()->addMenu("&File");
  Item(file, "Open...", "Open1", [&c] { OpenUsermap(c); });
  Item(file, "New twinlead", "Newtwinlead1", [&c] { NewGeometry(c, GeomTwinlead); });
  Item(file, "New square twinlead", "Newsquaretwinlead1",
       [&c] { NewGeometry(c, GeomSquareTwinlead); });
  Item(file, "New coaxial", "Newcoaxial1", [&c] { NewGeometry(c, GeomCoaxial); });
  Item(file, "Save displayed bitmap as...      F2", "Savedisplayedbitmap1",
       [&c] { SaveDisplayedBitmap(c, true); });
  Item(file, "Run script                                   F8", "Runscript1",
       [&c] { RunScript(c); });
  Item(file, "Exit                                               &X", "Exit1",
       [&c] { HandleCommandKey(c, 'X'); });

  QAction* panel = menuBar()->addAction("&Control panel");
  panel->setObjectName("Controlpanel1");
  connect(panel, &QAction::triggered, this,
          [this] { host_.Run([this] { ShowPanel(ctx_, TabCurrent); }); });

  QMenu* fields = menuBar()->addMenu("Fi&elds");
  auto* fieldGroup = new QActionGroup(this);
  const char* const kFieldCaptions[kDisplayModeCount] = {"no fields                   &U",
                                                         "V field                       &V",
                                                         "E field                        &E",
                                                         "D field   \u03B5E                &D",
                                                         "Loss       \u03B5Etan\u03B4        &T",
                                                         "V field lines              &L",
                                                         "E and V field lines   &B",
                                                         "E field lines              &N"};
  for (int m = 0; m < kDisplayModeCount; ++m) {
    fieldItems_[m] = Item(fields, kFieldCaptions[m], ("Field" + std::to_string(m)).c_str(),
                          [&c, m] { SetDisplayMode(c, m); });
    fieldItems_[m]->setCheckable(true);
    fieldGroup->addAction(fieldItems_[m]);
  }
  fields->addSeparator();
  plotCurrents_ =
      Item(fields, "plot currents            &J", "Plotcurrents1", [&c] { TogglePlotCurrents(c); });
  plotCurrents_->setCheckable(true);
  highIntensity_ =
      Item(fields, "high intensity         &H", "Highintensity1", [&c] { ToggleHighIntensity(c); });
  highIntensity_->setCheckable(true);

  QMenu* zoom = menuBar()->addMenu("&Zoom");
  auto* zoomGroup = new QActionGroup(this);
  const char* const kZoomCaptions[6] = {"25 %", "50 %", "100 %", "200 %", "400 %", "800 %"};
  for (int z = 0; z < 6; ++z) {
    zoomItems_[z] = Item(zoom, kZoomCaptions[z], ("Zoom" + std::to_string(z)).c_str(),
                         [&c, z] { SetZoom(c, z); });
    zoomItems_[z]->setCheckable(true);
    zoomGroup->addAction(zoomItems_[z]);
  }

  rescaleMenu_ = menuBar()->addMenu("&Rescale");
  auto* rescaleGroup = new QActionGroup(this);
  const char* const kRescaleCaptions[4] = {"50 %", "100 %", "200 %", "300 %"};
  for (int r = 0; r < 4; ++r) {
    rescaleItems_[r] = Item(rescaleMenu_, kRescaleCaptions[r],
                            ("Rescale" + std::to_string(r)).c_str(), [&c, r] { SetRescale(c, r); });
    rescaleItems_[r]->setCheckable(true);
    rescaleGroup->addAction(rescaleItems_[r]);
  }

  QMenu* solve = menuBar()->addMenu("&Solve");
  Item(solve, "Solve fully                  F4", "Solvefully1", [&c] { SolveFully(c); });
  Item(solve, "Solve for L and Rs     F5", "SolveforLandRs1", [&c] { SolveLAndRs(c); });
  Item(solve, "Solve for C and Gp    F6", "SolveforCandGp1", [&c] { SolveCAndGp(c); });

  QMenu* help = menuBar()->addMenu("&Help");
  Item(help, "Users manual (show web page)    F1", "Usersmanual1", [&c] { ShowManual(c); });
  Item(help, "About", "About1", [&c] { ShowAbout(c); });
}

QAction* MainWindow::Action(const QString& objectName) const {
  return findChild<QAction*>(objectName);
}

void MainWindow::Sync() {
  const QString caption = Text(ctx_.state.mainCaption);
  if (windowTitle() != caption) setWindowTitle(caption);
  const int mode = std::clamp(ctx_.display.displayMode, 0, kDisplayModeCount - 1);
  if (!fieldItems_[mode]->isChecked()) fieldItems_[mode]->setChecked(true);
  const int zoom = std::clamp(ctx_.display.zoomIndex, 0, 5);
  if (!zoomItems_[zoom]->isChecked()) zoomItems_[zoom]->setChecked(true);
  const int rescale = std::clamp(ctx_.map.rescaleIndex, 0, 3);
  if (!rescaleItems_[rescale]->isChecked()) rescaleItems_[rescale]->setChecked(true);
  if (plotCurrents_->isChecked() != ctx_.display.plotCurrents)
    plotCurrents_->setChecked(ctx_.display.plotCurrents);
  if (highIntensity_->isChecked() != ctx_.display.highIntensity)
    highIntensity_->setChecked(ctx_.display.highIntensity);
  if (rescaleMenu_->isEnabled() != ctx_.state.rescaleMenuEnabled)
    rescaleMenu_->setEnabled(ctx_.state.rescaleMenuEnabled);
  ShowStatusLabels();
}

void MainWindow::BlinkStatus(const std::string& text) {
  QLabel* label = labels_[0];
  SetLabelColor(label, palette().color(QPalette::Window));
  ProcessPendingEvents(ctx_);
  label->setText(Text(text));
  SetLabelColor(label, palette().color(QPalette::WindowText));
  ProcessPendingEvents(ctx_);
}

void MainWindow::ShowStatusLabels() {
  const DisplayView& v = ctx_.view;
  const zolva::StatusLabel* texts[5] = {&v.labelM1, &v.labelM2, &v.labelM3, &v.labelM4, &v.labelM5};
  int widths[5];
  int chain = 0;
  for (int i = 0; i < 5; ++i) {
    QLabel* l = labels_[i + 1];
    const QString t = Text(texts[i]->text);
    if (l->text() != t) l->setText(t);
    SetLabelColor(l, PackedColor(texts[i]->color));
    widths[i] = l->fontMetrics().horizontalAdvance(t);
    chain += widths[i];
  }
  // The read-out starts at 330 and the material's name at 630 when the window is wide enough.
  // In a narrower window (the window opens 621 wide) the name keeps the right end and the
  // read-out moves left before it, so that neither is cut off; the status text gives way.
  const int clientWidth = std::max(strip_->width(), 0);
  const int materialX =
      std::max(0, std::min(kStatusWidth + kReadoutWidth, clientWidth - kMaterialWidth));
  int x = std::clamp(materialX - chain, 0, kStatusWidth);
  labels_[0]->setGeometry(0, 0, x, kStatusLineHeight);
  // The status text is measured against the room before the read-out: a longer one ends in an
  // ellipsis, a gap apart from the zoom figure, and shows whole as the label's tooltip.
  const QString status = Text(ctx_.state.statusText);
  const int room = std::max(0, x - kStatusGap);
  const QString shown = labels_[0]->fontMetrics().elidedText(status, Qt::ElideRight, room);
  if (labels_[0]->text() != shown) labels_[0]->setText(shown);
  labels_[0]->setToolTip(shown != status ? status : QString());
  for (int i = 0; i < 5; ++i) {
    labels_[i + 1]->setGeometry(x, 0, widths[i] + 1, kStatusLineHeight);
    x += widths[i];
  }
  const QString material = Text(v.label3.text);
  if (labels_[6]->text() != material) labels_[6]->setText(material);
  SetLabelColor(labels_[6], PackedColor(v.label3.color));
  labels_[6]->setGeometry(materialX, 0, kMaterialWidth, kStatusLineHeight);
}

void MainWindow::ShowPicture() {
  picture_->Show();
}

QSize MainWindow::ClientSize() const {
  return client_->size();
}

void MainWindow::Redraw() {
  const QSize client = ClientSize();
  strip_->setGeometry(0, 0, client.width(), kStatusLineHeight);
  RedrawMainWindow(ctx_, client.width(), client.height());
  picture_->setGeometry(0, kStatusLineHeight, ctx_.view.dispWidth, ctx_.view.dispHeight);
  Sync();
  host_.ReleasePanelFocus();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  strip_->setGeometry(0, 0, client_->width(), kStatusLineHeight);
  ShowStatusLabels();
  ctx_.state.redrawCountdown = 2;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A running solve stops at its next check; the capacitance solver skips its summation.
  ctx_.state.abortRequested = true;
  ctx_.state.windowClosing = true;
  ClosePanel(ctx_);
  host_.SyncWindows();
  ctx_.platform->QuitApplication();
  event->accept();
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) ctx_.state.minimized = isMinimized();
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) host_.ReleasePanelFocus();
}

}  // namespace zolva
