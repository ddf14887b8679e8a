// The two windows of the desktop program on the offscreen platform: start-up, solving from the
// keyboard, the fields, the refusal during a solve, zoom keys, closing mid-solve, and a solve
// under a comma-decimal locale. Ticks are given by hand; nothing waits on the clock.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "core/utility.h"
#include "program/commands.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/reporting.h"
#include "ui/desktop_program.h"
#include "ui/key_map.h"
#include "ui/main_window.h"
#include "ui/panel_pictures.h"
#include "ui/panel_window.h"
#include "ui/qt_platform.h"
#include "ui/wave_player.h"

using namespace zolva;

namespace {

// The default round twinlead solved fully with the C locale (zolva-batch): Zo = sqrt(L / C).
constexpr double kDefaultTwinleadZo = 251.39;

// Answers the next modal message boxes (OK unless told otherwise) and remembers the last
// caption and text.
struct BoxAnswerer {
  QString caption, text;
  int answered = 0;
  bool hadCancel = false;
  std::unique_ptr<QTimer> timer = std::make_unique<QTimer>();
  explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) {
    timer->setInterval(10);
    QObject::connect(timer.get(), &QTimer::timeout, [this, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      caption = box->windowTitle();
      text = box->text();
      ++answered;
      hadCancel = box->button(QMessageBox::Cancel) != nullptr;
      box->button(answer)->click();
    });
    timer->start();
  }
};

bool HasInk(const QImage& image, int x0, int x1, int y0, int y1) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (image.pixelColor(x, y) != QColor(Qt::white)) return true;
  return false;
}

}  // namespace

class WindowsTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir folder_;
  std::unique_ptr<DesktopProgram> program_;

  Context& ctx() { return program_->context(); }
  MainWindow& main() { return program_->mainWindow(); }
  PanelWindow& panel() { return program_->panelWindow(); }

  // The program as zolva starts it, but with the ticks given by the test and the program folder
  // in a temporary folder (no start-up script, the log kept out of the build).
  void Start(std::function<void(QtPlatform&)> prepare = {}) {
    program_.reset();
    DesktopOptions options;
    options.preparePlatform = std::move(prepare);
    options.startTimer = false;
    options.skipReaderPauses = true;
    options.mute = true;
    options.programFile = folder_.filePath("zolva").toStdString();
    program_ = std::make_unique<DesktopProgram>(options);
    for (int i = 0; i < 3; ++i) program_->TickNow();
  }

  void Focus(QWidget* w) {
    w->window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w->window()));
    w->setFocus(Qt::OtherFocusReason);
  }

  void SolveFullyAndCheck() {
    QTest::keyClick(&main(), Qt::Key_F4);
    QVERIFY(!ctx().state.solveInProgress);
    QVERIFY(ctx().state.solveSucceeded);
    QVERIFY(ctx().results.L > 0);
    QVERIFY(ctx().results.C > 0);
    const double zo = std::sqrt(ctx().results.L / ctx().results.C);
    QVERIFY2(std::abs(zo / kDefaultTwinleadZo - 1) < 0.005, qPrintable(QString::number(zo)));
  }

 private slots:
  void init() {
    QVERIFY(folder_.isValid());
    Start();
  }
  void cleanup() { program_.reset(); }

  void startupBuildsTheDefaultTwinlead() {
    QVERIFY(ctx().state.ready);
    QCOMPARE(ctx().state.geometryKind, GeomTwinlead);
    QVERIFY(!ctx().state.setupChanged);
    QVERIFY(ctx().map.condCount > 0);
    QCOMPARE(main().windowTitle(), QString("zolva  -  Twinlead"));
    QCOMPARE(panel().windowTitle(), QString("Control panel    64-bit"));
    QVERIFY(panel().isVisible());
    QCOMPARE(panel().Label(Label31)->text(), QString::number(ctx().map.condCount));
    QCOMPARE(panel().Edit(EditBoxWireSeparation)->text(), QString("0.2"));
    QVERIFY(panel().Check(CheckBoxRestrict)->isChecked());
    // The second tick redrew the window: the picture has the client size less the status line.
    const QSize client = main().ClientSize();
    QCOMPARE(main().Picture()->Image().width(), client.width() & ~1);
    QCOMPARE(main().Picture()->Image().height(), (client.height() - kStatusLineHeight) & ~1);
    auto* rescale = qobject_cast<QMenu*>(main().Action("Rescale0")->parent());
    QVERIFY(rescale && !rescale->isEnabled());
    QVERIFY(main().Action("Field5")->isChecked());
    QVERIFY(main().Action("Zoom2")->isChecked());
    QVERIFY(main().Action("Plotcurrents1")->isChecked());
    QCOMPARE(main().Action("Exit1")->text(),
             QString("Exit                                               &X"));
  }

  void startupScriptRunsUnlessShiftIsHeld() {
    QFile script(folder_.filePath("StartupScript.txt"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("COA\r\n");
    script.close();
    Start();
    QCOMPARE(ctx().state.geometryKind, GeomCoaxial);
    Start([](QtPlatform& p) { p.modifierKeys.shift = true; });
    QCOMPARE(ctx().state.geometryKind, GeomTwinlead);
    QVERIFY(ctx().map.condCount > 0);
    QVERIFY(script.remove());
  }

  void panelScalesWithItsHeight() {
    QWidget* stop = panel().StopButton();
    const QRect before = stop->geometry();
    panel().resize(2 * kPanelDesignWidth, 2 * kPanelDesignHeight);
    QCoreApplication::processEvents();
    // The layout follows two ticks after the resize.
    program_->TickNow();
    program_->TickNow();
    QCOMPARE(panel().LayoutScale(), 2.0);
    QCOMPARE(stop->geometry().x(), 2 * before.x());
    QCOMPARE(stop->geometry().height(), 2 * before.height());
  }

  void chartThreadAndKindControlsActOnTheModel() {
    panel().Tabs()->setCurrentIndex(TabMaterials);
    QCOMPARE(ctx().panel.tab, static_cast<int>(TabMaterials));
    QWidget* chart = panel().findChild<QWidget*>("MaterialsChart");
    QVERIFY(chart && chart->isVisible());
    // Second cell of the first column: design (10, 25).
    const double s = panel().LayoutScale();
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(int(10 * s), int(25 * s)));
    QCOMPARE(ctx().materials.SelectedColor, 1);
    QVERIFY(!panel().Label(LabelMaterialName)->text().isEmpty());
    const int threads = ctx().panel.threadCount;
    QTest::mouseClick(panel().findChild<QWidget*>("UpDown1Down"), Qt::LeftButton);
    QCOMPARE(ctx().panel.threadCount, std::max(1, threads - 1));
    QCOMPARE(panel().Label(LabelThreads)->text().toStdString(), ctx().panel.labels[LabelThreads]);
    QVERIFY(!panel().Check(CheckBoxAddTopPlane)->isVisible());
    panel().Tabs()->setCurrentIndex(TabRoundTwinlead);
    QVERIFY(panel().Check(CheckBoxAddTopPlane)->isVisible());
    QVERIFY(!panel().findChild<QWidget*>("MaterialsChart")->isVisible());
    QTest::mouseClick(panel().Check(CheckBoxAddTopPlane), Qt::LeftButton);
    QVERIFY(ctx().panel.checks[CheckBoxAddTopPlane]);
    QVERIFY(ctx().state.setupChanged);
  }

  void f4SolvesFullyAndTheResultsShowBothColumns() {
    SolveFullyAndCheck();
    QVERIFY(!panel().StopButton()->isEnabled());
    panel().Tabs()->setCurrentIndex(TabResults);
    QCOMPARE(ctx().panel.tab, static_cast<int>(TabResults));
    bool combinedZo = false, lColumn = false, cColumn = false;
    for (const ResultsLine& line : ctx().results.page) {
      if (line.x == 430 && line.y == 20 && line.text.rfind("Zo = ", 0) == 0) combinedZo = true;
      if (line.x == 20 && line.text.rfind("L = ", 0) == 0) lColumn = true;
      if (line.x == 220 && line.text.rfind("C = ", 0) == 0) cColumn = true;
    }
    QVERIFY(combinedZo && lColumn && cColumn);
    // Each column has been painted where the page puts it.
    QVERIFY(ctx().panel.visible);
    const QImage page = panel().ResultsPicture()->grab().toImage();
    const double s = page.height() / 110.0;
    auto ink = [&](int x0, int x1) {
      return HasInk(page, int(x0 * s), int(x1 * s), int(20 * s), int(32 * s));
    };
    QVERIFY(ink(20, 190));
    QVERIFY(ink(220, 400));
    QVERIFY(ink(430, 600));
    // The solved field is on show.
    QVERIFY(ctx().display.fieldReady);
  }

  void enterCommitsAFieldAndReleasesTheFocus() {
    QLineEdit* edit = panel().Edit(EditBoxWireSeparation);
    Focus(edit);
    QVERIFY(edit->hasFocus());
    edit->selectAll();
    QTest::keyClicks(edit, "0.3");
    QCOMPARE(ctx().panel.edits[EditBoxWireSeparation].text, std::string("0.3"));
    QVERIFY(!ctx().state.setupChanged);
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(!edit->hasFocus());
    QVERIFY(ctx().state.setupChanged);
    QCOMPARE(ctx().panel.wireSeparation, 0.3 * kMetresPerInch);
    // The next tick rebuilds with the new spacing.
    program_->TickNow();
    QVERIFY(!ctx().state.setupChanged);
  }

  void f5InTheFrequencyFieldReachesTheMainWindow() {
    QLineEdit* edit = panel().Edit(EditBoxFrequency);
    Focus(edit);
    QTest::keyClick(edit, Qt::Key_F5);
    QCOMPARE(static_cast<int>(ctx().keys.commandKey), static_cast<int>(KeyF5));
    QCOMPARE(edit->text(), QString("1"));
    QVERIFY(!edit->hasFocus());
    QVERIFY(ctx().results.L > 0);
    QCOMPARE(ctx().results.C, 0.0);
  }

  void typedCommandKeysOnThePanelReachTheInterpreter() {
    // Activating the panel leaves no field holding the focus, so typed keys are commands.
    main().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main()));
    panel().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&panel()));
    QCoreApplication::processEvents();
    QVERIFY2(!panel().focusWidget(),
             qPrintable(panel().focusWidget() ? panel().focusWidget()->objectName() : QString()));
    // Outside a text field a typed character is a command; "v" selects the V field.
    QTest::keyClick(&panel(), 'v');
    QCOMPARE(ctx().display.displayMode, 1);
    QVERIFY(main().Action("Field1")->isChecked());
  }

  void newCoaxialDuringASolveIsDenied() {
    BoxAnswerer answerer;
    bool asked = false;
    program_->platform().onPendingEvents = [&] {
      if (asked || !ctx().state.solveInProgress) return;
      asked = true;
      QTimer::singleShot(0, [&] { main().Action("Newcoaxial1")->trigger(); });
    };
    const int beeps = program_->platform().beeps;
    QTest::keyClick(&main(), Qt::Key_F4);
    program_->platform().onPendingEvents = nullptr;
    QVERIFY(asked);
    QCOMPARE(answerer.answered, 1);
    QCOMPARE(answerer.caption, QString("zolva"));
    QCOMPARE(answerer.text, QString("Request denied.  A solve is in progress."));
    QVERIFY(program_->platform().beeps > beeps);
    QCOMPARE(ctx().state.geometryKind, GeomTwinlead);
    QCOMPARE(main().windowTitle(), QString("zolva  -  Twinlead"));
  }

  void stopDuringTheInductanceStageSkipsTheRest() {
    bool stopped = false;
    program_->platform().onPendingEvents = [&] {
      if (stopped || !ctx().state.solveInProgress || !panel().StopButton()->isEnabled()) return;
      stopped = true;
      panel().StopButton()->click();
    };
    QTest::keyClick(&main(), Qt::Key_F4);
    program_->platform().onPendingEvents = nullptr;
    QVERIFY(stopped);
    QVERIFY(!ctx().state.solveInProgress);
    QCOMPARE(ctx().results.C, 0.0);
    QVERIFY(!panel().StopButton()->isEnabled());
    QCOMPARE(main().StatusLabel(0)->text(), QString(" "));
  }

  void programErrorBoxesAnswerOkAndCancel() {
    {
      BoxAnswerer answerer(QMessageBox::Cancel);
      ReportProgramErrorAt(ctx(), 2, 10, 20);
      QCOMPARE(answerer.answered, 1);
      QVERIFY(answerer.hadCancel);
      QVERIFY(answerer.caption.startsWith("Usermap "));
      QVERIFY(answerer.text.startsWith("Program error 2. "));
      QVERIFY(ctx().state.abortRequested);
    }
    ctx().state.abortRequested = false;
    BoxAnswerer answerer;
    ReportProgramError(ctx(), 3);
    QCOMPARE(answerer.caption, QString("zolva stop"));
    QVERIFY(!ctx().state.abortRequested);
    // A box with OK alone: the About box.
    main().Action("About1")->trigger();
    QCOMPARE(answerer.answered, 2);
    QVERIFY(!answerer.hadCancel);
    QCOMPARE(answerer.text, QString(kAboutText));
  }

  void resizingTheMainWindowRedrawsAtItsNewSize() {
    main().resize(800, 600);
    QCoreApplication::processEvents();
    QCOMPARE(ctx().state.redrawCountdown, 2);
    program_->TickNow();
    program_->TickNow();
    const QSize client = main().ClientSize();
    QCOMPARE(ctx().view.dispWidth, client.width() & ~1);
    QCOMPARE(ctx().view.dispHeight, (client.height() - kStatusLineHeight) & ~1);
    QCOMPARE(main().Picture()->Image().size(), QSize(ctx().view.dispWidth, ctx().view.dispHeight));
    // The Fields items are one radio group that follows the display mode.
    main().Action("Field2")->trigger();
    QCOMPARE(ctx().display.displayMode, 2);
    QVERIFY(main().Action("Field2")->isChecked());
    QVERIFY(!main().Action("Field5")->isChecked());
  }

  void zoomKeysChangeLabelM1() {
    QLabel* m1 = main().StatusLabel(1);
    QTest::keyClick(&main(), '+');
    QVERIFY2(m1->text().startsWith("200 %   Usermap: "), qPrintable(m1->text()));
    QVERIFY(main().Action("Zoom3")->isChecked());
    QTest::keyClick(&main(), '-');
    QTest::keyClick(&main(), '-');
    QVERIFY2(m1->text().startsWith("50 %   Usermap: "), qPrintable(m1->text()));
    // A mouse move over the picture feeds the read-out.
    QTest::mouseMove(main().Picture(), QPoint(40, 30));
    QCOMPARE(ctx().view.mouseX, 40);
    QCOMPARE(ctx().view.mouseY, 30);
  }

  void closingDuringARelaxationEndsIt() {
    bool closed = false;
    program_->platform().onPendingEvents = [&] {
      if (closed || !ctx().state.solveInProgress || !ctx().panel.capacitanceMode ||
          ctx().panel.convergence[0] <= 0)
        return;
      closed = true;
      main().close();
    };
    QTest::keyClick(&main(), Qt::Key_F4);
    program_->platform().onPendingEvents = nullptr;
    QVERIFY(closed);
    QVERIFY(ctx().state.windowClosing);
    QVERIFY(!ctx().state.solveInProgress);
    QVERIFY(program_->platform().quitRequested);
    QVERIFY(!main().isVisible());
    QVERIFY(!panel().isVisible());
    // The relaxation ended without its summation: no C and Gp summary, nothing to resume. The
    // inductance had been solved before it.
    QVERIFY(!ctx().panel.resumeEnabled);
    QVERIFY(ctx().results.summary.rfind("L=", 0) == 0);
    QVERIFY(ctx().results.L > 0);
  }

  void solvesUnderCommaLocale() {
    const bool comma = std::localeconv()->decimal_point[0] == ',';
    if (!comma) {
      if (std::getenv("ZOLVA_EXPECT_COMMA_LOCALE")) QFAIL("the comma-decimal locale is missing");
      QSKIP("not under a comma-decimal locale");
    }
    SolveFullyAndCheck();
    const QString width = panel().Edit(EditBoxPixelWidth)->text();
    QVERIFY2(width.contains('.') && !width.contains(','), qPrintable(width));
    // A decimal comma stands between two digits; the page's own commas ("seconds, 3 MB",
    // "at (37, 24)") are followed by a space.
    for (const ResultsLine& line : ctx().results.page) {
      const std::string& t = line.text;
      for (std::size_t i = 1; i + 1 < t.size(); ++i) {
        const bool decimalComma = t[i] == ',' &&
                                  std::isdigit(static_cast<unsigned char>(t[i - 1])) &&
                                  std::isdigit(static_cast<unsigned char>(t[i + 1]));
        QVERIFY2(!decimalComma, t.c_str());
      }
    }
    QVERIFY(panel().Label(LabelValue)->text().contains('.'));
    // A number typed with a point still reads as one.
    QLineEdit* edit = panel().Edit(EditBoxFrequency);
    Focus(edit);
    edit->selectAll();
    QTest::keyClicks(edit, "2.5");
    QCOMPARE(ctx().state.frequencyMHz, 2.5);
  }

  // The pieces between Qt and the program, without windows.
  void keysMapToTheInterpretersCodes() {
    QCOMPARE(VirtualKeyOf(Qt::Key_F5, Qt::NoModifier), 116);
    QCOMPARE(PanelKeyToCommand(VirtualKeyOf(Qt::Key_F5, Qt::NoModifier), true),
             static_cast<int>(KeyF5));
    QCOMPARE(VirtualKeyOf(Qt::Key_PageUp, Qt::NoModifier) + kSpecialKeyBase,
             static_cast<int>(KeyPageUp));
    QCOMPARE(VirtualKeyOf(Qt::Key_Delete, Qt::NoModifier) + kSpecialKeyBase,
             static_cast<int>(KeyDelete));
    QCOMPARE(VirtualKeyOf(Qt::Key_Slash, Qt::KeypadModifier), 111);
    QCOMPARE(VirtualKeyOf(Qt::Key_Slash, Qt::NoModifier), 0);
    QKeyEvent slash(QEvent::KeyPress, Qt::Key_Slash, Qt::NoModifier, "/");
    QCOMPARE(TypedCharacterOf(slash), int('/'));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier, "\r");
    QCOMPARE(TypedCharacterOf(enter), 13);
    QKeyEvent altX(QEvent::KeyPress, Qt::Key_X, Qt::AltModifier, "x");
    QCOMPARE(TypedCharacterOf(altX), 0);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(127)));
    QCOMPARE(TypedCharacterOf(del), 0);
  }

  void dialogFiltersAndWaveImagesAreRead() {
    QCOMPARE(DialogFilter(kOpenDialogFilter),
             QString("Usermaps (Usermap*.bmp Usermap*.png Usermap*.dib Usermap*.tif "
                     "Usermap*.tiff);;all maps (*.bmp *.dib *.png *.tif *.tiff);;all files (*.*)"));
    const std::vector<std::uint8_t> tone = BuildToneImage(440, 1000, 60);
    const WaveData w = ParseWave(tone);
    QVERIFY(w.valid);
    QCOMPARE(w.sampleRate, 11025);
    QCOMPARE(w.channels, 1);
    QCOMPARE(w.bitsPerSample, 8);
    QCOMPARE(w.dataSize, std::size_t{11025});
    QCOMPARE(w.dataOffset + w.dataSize, tone.size());
    // A data chunk that claims more than the image holds is refused, not read past its end.
    std::vector<std::uint8_t> cut(tone.begin(), tone.end() - 100);
    QVERIFY(!ParseWave(cut).valid);
    QVERIFY(!ParseWave({}).valid);
  }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
