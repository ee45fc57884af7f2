#include <QAction>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <functional>

#include "tests/ui/UiTestSupport.h"
#include "ui/FastText.h"
#include "ui/MemoryForm.h"

using namespace enc;

class MainFormTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TTempDir> Dir;

  TMainForm* Open(const std::string& image = "", bool withFile = true) {
    return OpenMainForm(Form, *Dir, image, withFile);
  }
  // Line height and number of whole lines of the code view.
  int Lines() { return Form->CodeBox->height() / Form->LineHeight; }
  // A program that counts R1 up forever: addi R1,R1,1 ; beqz R0,-2.
  static std::string CountingLoop() { return CodImage({Addi(1, 1, 1), Beqz(0, -2)}); }
  static QList<bool> EnabledStates(TMainForm* f) {
    QList<bool> states;
    for (QAction* a : f->Actions) states << a->isEnabled();
    return states;
  }

 private slots:
  void init() { Dir = std::make_unique<TTempDir>(); }
  void cleanup() {
    Form.reset();
    Dir.reset();
    ResetCore();
  }

  void startsWithoutArgumentOnTheDefaultImage() {
    auto* f = Open("", false);
    QCOMPARE(f->windowTitle(), QString("Orvane  []"));
    QCOMPARE(f->TopAddress, 0x7FFFFE);
    QCOMPARE(f->ScrollBase, 0x7FFFFE);
    QCOMPARE(TheState.GetReg(-1), EntryAddress);
    QCOMPARE(f->NextCommandText(), QString("$00800001:  1000ffff   beqz  R00,$00800001"));
    QVERIFY(Stopped);
    f->RefreshActions();
    // Öffnen, Beenden, Starten, Anhalten, Einzelschritt, Haltepunkt hinzufügen, löschen, anzeigen,
    // Zurücksetzen, Memory Inspector, Schnell ausführen.
    QCOMPARE(EnabledStates(f), (QList<bool>{true, true, true, false, true, true, false, true, true, true, true}));
    // The program counter stands on the fourth line, in yellow.
    const int y = 3 * f->LineHeight + f->LineHeight / 2;
    QCOMPARE(PixelAt(f->CodeBox, f->CodeBox->width() - 3, y), QColor(255, 255, 0));
    QCOMPARE(PixelAt(f->CodeBox, f->CodeBox->width() - 3, y - f->LineHeight), QColor(255, 255, 255));
    QVERIFY(ShownMessages().isEmpty());
  }

  void actionTableAndMenus() {
    auto* f = Open("", false);
    QStringList captions;
    for (QAction* a : f->Actions) captions << a->text();
    QCOMPARE(captions, (QStringList{"Öffnen...", "Beenden", "Starten", "Anhalten", "Einzelschritt",
                                    "Haltepunkt hinzufügen...", "Haltepunkt löschen", "Haltepunkte anzeigen",
                                    "Zurücksetzen", "Memory Inspector anzeigen", "Schnell ausführen..."}));
    QCOMPARE(f->ADRun->shortcut(), QKeySequence("F9"));
    QCOMPARE(f->ADRunFast->shortcut(), QKeySequence("Shift+F9"));
    QCOMPARE(f->ABClear->shortcut(), QKeySequence("Ctrl+F5"));
    QCOMPARE(f->ADReset->shortcut(), QKeySequence("Ctrl+F2"));
    QCOMPARE(f->ADStop->statusTip(), QString());  // hints go to tool-tips; the status line stays put
    QCOMPARE(f->ADStop->toolTip(), QString("Bricht die Programmausführung ab"));
    QCOMPARE(f->ABSet->property("category").toString(), QString("Breakpoint"));
    QVERIFY(f->AFQuit->icon().isNull());
    QVERIFY(!f->AFOpen->icon().isNull());
    QStringList bar;
    for (QAction* a : f->ToolBar->actions()) bar << (a->isSeparator() ? "|" : a->text());
    QCOMPARE(bar, (QStringList{"Öffnen...", "|", "Starten", "Schnell ausführen...", "Einzelschritt", "Anhalten",
                               "Zurücksetzen", "|", "Haltepunkt hinzufügen...", "Haltepunkt löschen",
                               "Haltepunkte anzeigen", "|", "Memory Inspector anzeigen"}));
    QCOMPARE(f->MDebugger->actions().size(), 6);
    QCOMPARE(f->MHaltepunkte->actions().last(), f->ADMemInspect);
  }

  void followPC() {
    auto* f = Open(CountingLoop());
    const int n = Lines();
    // Inside the visible lines nothing moves.
    TheState.SetReg(-1, 0x800005);
    f->FollowPC();
    QCOMPARE(f->TopAddress, 0x7FFFFE);
    // Below the view: the PC lands on the third line.
    TheState.SetReg(-1, 0x700000);
    f->FollowPC();
    QCOMPARE(f->TopAddress, 0x700000 - 2);
    QCOMPARE(f->ScrollBase, f->TopAddress);
    // Past the third-last whole line: the PC lands on the sixth line.
    f->TopAddress = 0x1000;
    TheState.SetReg(-1, 0x1000 + n - 3);
    f->FollowPC();
    QCOMPARE(f->TopAddress, 0x1000);
    TheState.SetReg(-1, 0x1000 + n - 2);
    f->FollowPC();
    QCOMPARE(f->TopAddress, 0x1000 + n - 2 - 5);
  }

  void singleStepShowsTheNextInstruction() {
    auto* f = Open(CodImage({Addi(1, 0, 5), Addi(2, 1, 1), IdleLoopWord}));
    auto* bp = new TBreakPoint;
    bp->UseCount = true;
    bp->MaxCount = 5;
    f->ExecuteSingleStep();
    QCOMPARE(TheState.GetReg(1), 5);
    QCOMPARE(TheState.GetReg(-1), 0x800002);
    QCOMPARE(f->NextCommandText(), QString("$00800002:  24220001   addi  R02,R01,$0001"));
    QCOMPARE(bp->ActCount, 1);  // counters advance as in a run
    QCOMPARE(f->TopAddress, 0x7FFFFE);
  }

  void runStopsAtInstructionBreakpointAndGoesOnFromIt() {
    auto* f = Open(CodImage({Addi(1, 1, 1), Addi(2, 2, 1), Addi(3, 3, 1), Beqz(0, -4)}));
    auto* bp = new TBreakPoint;
    bp->UseInstruction = true;
    bp->Instruction = 0x800003;
    f->ADRunExecute();
    QVERIFY(Stopped);
    QCOMPARE(TheState.GetReg(-1), 0x800003);
    QCOMPARE(TheState.GetReg(3), 0);
    f->ADRunExecute();
    QCOMPARE(TheState.GetReg(-1), 0x800003);
    QCOMPARE(TheState.GetReg(3), 1);
    QCOMPARE(TheState.GetReg(1), 2);
    // The PC line with a breakpoint is red, with the arrow marker.
    const int y = 5 * f->LineHeight;
    QCOMPARE(PixelAt(f->CodeBox, 300, y + f->LineHeight / 2), QColor(255, 0, 0));
    QImage image = f->CodeBox->grab().toImage();
    int yellow = 0;
    for (int py = y; py < y + f->LineHeight; ++py)
      for (int px = 0; px < 20; ++px) yellow += image.pixelColor(px, py) == QColor(255, 255, 0);
    QVERIFY(yellow > 10);
  }

  void stopDuringDisplayedRunEndsAfterTheCurrentStep() {
    auto* f = Open(CountingLoop());
    auto* counter = new TBreakPoint;
    counter->UseCount = true;
    counter->MaxCount = 1000000;
    int passes = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
      if (++passes == 10) f->ADStop->trigger();
    });
    timer.start(0);
    f->ADRunExecute();
    timer.stop();
    QVERIFY(Stopped);
    const int steps = int(TheState.GetReg(1)) * 2;  // two instructions per count
    QVERIFY(steps >= 9);
    // CheckAll ran on the pass that the stop ended.
    QVERIFY(counter->ActCount >= steps - 1 && counter->ActCount <= steps + 1);
    QVERIFY(f->ADRun->isEnabled() || (f->RefreshActions(), f->ADRun->isEnabled()));
  }

  void fastRunEndsOnIdleLoopAndStopOpcode() {
    auto* f = Open(CodImage({Addi(1, 0, 100), Subi(1, 1, 1), Bnez(1, -2), IdleLoopWord}));
    f->ADRunFastExecute();
    QVERIFY(Stopped);
    QCOMPARE(TheState.GetReg(-1), 0x800004);
    QCOMPARE(f->NextCommandText(), QString("$00800004:  1000ffff   beqz  R00,$00800004"));
    f->RefreshActions();
    QVERIFY(f->ADRun->isEnabled());
    QVERIFY(!f->ADStop->isEnabled());

    Open(CodImage({Addi(1, 0, 7), Stop, Addi(1, 0, 9)}));
    Form->ADRunFastExecute();
    QCOMPARE(TheState.GetReg(-1), 0x800002);
    QCOMPARE(TheState.GetReg(1), 7);
  }

  void stopKeyEndsFastRunAndOtherKeysWait() {
    auto* f = Open(CountingLoop());
    TMainForm::FastRunPollMs = 0;
    int polls = 0;
    int32_t countAtStop = -1, pcAtStop = -1;
    f->FastRunPollHook = [&] {
      QWidget* target = f->CodeBox;
      if (++polls == 2) {
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_F8, Qt::NoModifier));
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_F8, Qt::NoModifier));
      }
      if (polls == 4) {
        countAtStop = TheState.GetReg(1);
        pcAtStop = TheState.GetReg(-1);
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier));
      }
    };
    f->ADRunFastExecute();
    TMainForm::FastRunPollMs = 15;
    QVERIFY(Stopped);
    QCOMPARE(polls, 4);
    // F2 ended the run at that look; the F8 held since the second look made
    // exactly one single step after it.
    if (pcAtStop == 0x800001) {
      QCOMPARE(TheState.GetReg(1), countAtStop + 1);
      QCOMPARE(TheState.GetReg(-1), 0x800002);
    } else {
      QCOMPARE(pcAtStop, 0x800002);
      QCOMPARE(TheState.GetReg(1), countAtStop);
      QCOMPARE(TheState.GetReg(-1), 0x800001);
    }
  }

  void setAndClearAtTheProgramCounter() {
    auto* f = Open(CountingLoop());
    f->RefreshActions();
    QVERIFY(f->ABSet->isEnabled());
    f->ABSetClick();
    QCOMPARE(BreakPoints.size(), size_t(1));
    QCOMPARE(BreakPoints[0]->Instruction, EntryAddress);
    f->RefreshActions();
    QVERIFY(!f->ABSet->isEnabled());
    QVERIFY(f->ABClear->isEnabled());
    f->ABSetClick();  // called anyway: creates nothing
    QCOMPARE(BreakPoints.size(), size_t(1));
    // A breakpoint that also watches a register goes with all its conditions.
    BreakPoints[0]->LockRegister = true;
    BreakPoints[0]->Register = 4;
    f->ABClearExecute();
    QVERIFY(BreakPoints.empty());
    QVERIFY(FindByRegister(4) == nullptr);
  }

  void gutterClicksToggleBreakpoints() {
    auto* f = Open(CountingLoop());
    const int y = 6 * f->LineHeight + 2;  // address 0x800004
    QTest::mouseClick(f->CodeBox, Qt::LeftButton, Qt::NoModifier, QPoint(21, y));
    QVERIFY(BreakPoints.empty());
    QTest::mouseClick(f->CodeBox, Qt::RightButton, Qt::ShiftModifier, QPoint(20, y));
    QCOMPARE(BreakPoints.size(), size_t(1));
    QCOMPARE(BreakPoints[0]->Instruction, 0x800004);
    QCOMPARE(BreakPoints[0]->Caption(), std::string("$00800004"));
    QCOMPARE(PixelAt(f->CodeBox, 300, y), QColor(255, 0, 0));
    QImage image = f->CodeBox->grab().toImage();
    int darkRed = 0;
    for (int py = 6 * f->LineHeight; py < 7 * f->LineHeight; ++py)
      for (int px = 0; px < 20; ++px) {
        QColor c = image.pixelColor(px, py);
        darkRed += c.red() > 100 && c.green() < 60 && c.blue() < 60;
      }
    QVERIFY(darkRed > 20);
    QTest::mouseClick(f->CodeBox, Qt::LeftButton, Qt::NoModifier, QPoint(0, y));
    QVERIFY(BreakPoints.empty());
    QCOMPARE(PixelAt(f->CodeBox, 300, y), QColor(255, 255, 255));
  }

  void relativeScrolling() {
    auto* f = Open(CountingLoop());
    QScrollBar* bar = f->CodeScroll;
    const int32_t start = f->TopAddress;
    for (int i = 0; i < 3; ++i) bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    QCOMPARE(f->TopAddress, start - 12);
    QCOMPARE(bar->value(), 0);
    // Dragging to +100 and back to +40 shows 40 lines further; release commits.
    const int32_t base = f->TopAddress;
    bar->setSliderDown(true);
    bar->setSliderPosition(100);
    QCOMPARE(f->TopAddress, base + 100);
    QCOMPARE(f->ScrollBase, base);
    bar->setSliderPosition(40);
    QCOMPARE(f->TopAddress, base + 40);
    bar->setSliderDown(false);
    QCOMPARE(f->ScrollBase, base + 40);
    QCOMPARE(bar->value(), 0);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(f->TopAddress, base + 41);
    // Any address scrolls; unmapped lines show the unmapped word.
    f->TopAddress = f->ScrollBase = INT32_MAX;
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(f->TopAddress, INT32_MIN);
  }

  void statusLineKeepsItsOneLine() {
    auto* f = Open(CountingLoop());
    const QString line = f->State->currentMessage();
    QVERIFY(!line.isEmpty());
    // Over a button with a hint, one without, and off the tool bar again.
    for (QAction* a : {f->ADRun, f->AFOpen, f->ADStop}) {
      QTest::mouseMove(f->ToolBar->widgetForAction(a));
      QCOMPARE(f->State->currentMessage(), line);
    }
    QTest::mouseMove(f->CodeBox);
    QCOMPARE(f->State->currentMessage(), line);
    // A menu opened from the menu bar, walked over its entries and closed.
    QMenuBar* bar = f->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->actionGeometry(f->MDebugger->menuAction()).center());
    QTRY_VERIFY(f->MDebugger->isVisible());
    for (QAction* a : {f->ADRun, f->ADReset}) QTest::mouseMove(f->MDebugger, f->MDebugger->actionGeometry(a).center());
    QCOMPARE(f->State->currentMessage(), line);
    QTest::keyClick(f->MDebugger, Qt::Key_Escape);
    QTest::keyClick(bar, Qt::Key_Escape);
    QTRY_VERIFY(!f->MDebugger->isVisible());
    QCOMPARE(f->State->currentMessage(), line);
  }

  // Every way of moving a relative scroll bar either commits like a line
  // step or does not exist: the next line step goes on from where the view
  // stands, with the thumb back in the middle.
  void everyScrollBarMoveCommits() {
    auto* f = Open(CountingLoop());
    f->ADMemInspectExecute();
    TMemoryForm* inspector = Inspectors.back();
    QVERIFY(QTest::qWaitForWindowExposed(inspector));
    struct TBar {
      QScrollBar* Bar;
      std::function<int32_t()> Top;
    } bars[] = {{f->CodeScroll, [f] { return f->TopAddress; }},
                {inspector->Scroll, [inspector] { return inspector->TopAddress; }}};
    for (const TBar& b : bars) {
      const int32_t start = b.Top();
      const int step = b.Bar->singleStep();
      const QPointF at = b.Bar->rect().center();
      QWheelEvent down(at, b.Bar->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
      QApplication::sendEvent(b.Bar, &down);
      const int32_t wheeled = b.Top();
      QVERIFY(wheeled > start);
      QCOMPARE(b.Bar->value(), 0);
      b.Bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      QCOMPARE(b.Top(), wheeled + step);

      // The bar's own menu ("Scroll here", "Top", ...) would move the thumb
      // alone; it is not offered.
      bool menuShown = false;
      QTimer::singleShot(0, [&] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
          menuShown = true;
          menu->close();
        }
      });
      QContextMenuEvent request(QContextMenuEvent::Mouse, at.toPoint(), b.Bar->mapToGlobal(at.toPoint()));
      QApplication::sendEvent(b.Bar, &request);
      QTest::qWait(20);
      QVERIFY(!menuShown);
      b.Bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
      QCOMPARE(b.Top(), wheeled);
      QCOMPARE(b.Bar->value(), 0);

      // A middle click on the groove takes the thumb there and drags it;
      // the view follows the thumb's offset and keeps it on release.
      QWindow* window = b.Bar->window()->windowHandle();
      const QPoint groove = b.Bar->mapTo(b.Bar->window(), QPoint(b.Bar->width() / 2, b.Bar->height() * 3 / 4));
      QTest::mousePress(window, Qt::MiddleButton, Qt::NoModifier, groove);
      QTest::mouseMove(window, groove + QPoint(0, 4));
      const int offset = b.Bar->sliderPosition();
      QVERIFY(offset > 0);
      QCOMPARE(b.Top(), wheeled + offset);
      QTest::mouseRelease(window, Qt::MiddleButton, Qt::NoModifier, groove + QPoint(0, 4));
      QCOMPARE(b.Top(), wheeled + offset);
      QCOMPARE(b.Bar->value(), 0);
    }
  }

  // During a run with display, whenever the window gets to handle input,
  // the screen shows one step everywhere: the code view's program counter,
  // the next-instruction line and the register cells.
  void displayedRunShowsOneStepEverywhere() {
    auto* f = Open(CountingLoop());
    // The screen is the window's backing store, not a fresh rendering.
    auto onScreenAsRendered = [f](QWidget* w, QRect area) {
      const QImage screen = f->screen()->grabWindow(f->winId()).toImage();
      const QImage now = w->grab(area).toImage();
      return screen.copy(area.translated(w->mapTo(f, QPoint()))).convertToFormat(now.format()) == now;
    };
    const QRect r1 = f->Registers->visualRect(f->Registers->model()->index(2, 1));
    int checks = 0, faults = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
      if (Stopped) return;
      const int32_t pc = TheState.GetReg(-1);
      const bool same = f->NextCommand->text() == QString::fromStdString(TheCPU.ListingLine(pc)) &&
                        f->Registers->Cells(1, 2) == "$" + QString::fromStdString(HexText(TheState.GetReg(1), 8)) &&
                        onScreenAsRendered(f->NextCommand, f->NextCommand->rect()) &&
                        onScreenAsRendered(f->Registers->viewport(), r1) &&
                        onScreenAsRendered(f->CodeBox, f->CodeBox->rect());
      faults += !same;
      if (++checks == 12) QTest::keyClick(f, Qt::Key_F2);
    });
    timer.start(0);
    QTest::keyClick(f, Qt::Key_F9);
    timer.stop();
    QVERIFY(Stopped);
    QVERIFY(TheState.GetReg(1) >= 4);
    QCOMPARE(checks, 12);
    QCOMPARE(faults, 0);
  }

  void openErrorAndInvalidFileMessages() {
    auto* f = Open(CodImage({IdleLoopWord}));
    const QString good = QString::fromStdString(Dir->Path + "/prog.cod");
    const QString missing = QString::fromStdString(Dir->Path + "/<b>missing</b>.cod");
    OpenFileHook = [&](QWidget*) { return missing; };
    f->AFOpenExecute();
    QCOMPARE(ShownMessages(), QStringList{"error:Datei " + missing + " kann nicht geöffnet werden"});
    QCOMPARE(f->windowTitle(), "Orvane  [" + good + "]");

    ShownMessages().clear();
    const QString bad = QString::fromStdString(Dir->File("bad.cod", ".CODE\n$800000\n0\n"));
    OpenFileHook = [&](QWidget*) { return bad; };
    f->AFOpenExecute();
    QCOMPARE(ShownMessages(), QStringList{"Die angegebene Datei einhält ungültige Daten."});
    QCOMPARE(f->windowTitle(), "Orvane  [" + bad + "]");  // after the reset
    QCOMPARE(TheState.GetReg(-1), EntryAddress);

    ShownMessages().clear();
    const QString bare = QString::fromStdString(Dir->File("bare.cod", ".CODE\n$800001\n1\n$1000FFFF\n"));
    OpenFileHook = [&](QWidget*) { return bare; };
    f->AFOpenExecute();
    QCOMPARE(ShownMessages().size(), 2);  // once per build
    QCOMPARE(ShownMessages()[0], QString("Warnung: Das Programm hat keinen gültigen RESA-Header."));

    OpenFileHook = [](QWidget*) { return QString(); };
    ShownMessages().clear();
    f->AFOpenExecute();
    QVERIFY(ShownMessages().isEmpty());
  }

  void unopenableStartFileLeavesTheWindowUnreset() {
    Form.reset();
    ResetCore();
    Stopped = false;
    RecordMessageBoxes();
    const QString missing = QString::fromStdString(Dir->Path + "/none.cod");
    Form = std::make_unique<TMainForm>(QStringList{missing});
    QCOMPARE(ShownMessages(), QStringList{"error:Datei " + missing + " kann nicht geöffnet werden"});
    QVERIFY(!Stopped);
    QCOMPARE(Form->NextCommandText(), QString("---"));
    QCOMPARE(TheState.GetReg(-1), 0);
    Form->RefreshActions();
    QVERIFY(Form->ADStop->isEnabled());
    QVERIFY(!Form->ADRun->isEnabled());
    Form->ADStopExecute();
    Form->RefreshActions();
    QVERIFY(Form->ADRun->isEnabled());
  }

  void quittingDuringARunEndsItCleanly() {
    auto* f = Open(CountingLoop());
    int passes = 0;
    int32_t countAtClose = -1;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
      if (++passes == 5) {
        countAtClose = TheState.GetReg(1);
        f->AFQuit->trigger();
      }
    });
    timer.start(0);
    f->ADRunExecute();
    timer.stop();
    QCOMPARE(TheState.GetReg(1), countAtClose);  // no step after the request
    QTRY_VERIFY(!f->isVisible());

    f = Open(CountingLoop());
    TMainForm::FastRunPollMs = 0;
    f->FastRunPollHook = [&] { QMetaObject::invokeMethod(f, &QWidget::close, Qt::QueuedConnection); };
    f->ADRunFastExecute();
    TMainForm::FastRunPollMs = 15;
    QTRY_VERIFY(!f->isVisible());
  }

  void messageBoxShowsPlainText() {
    auto* f = Open(CodImage({IdleLoopWord}));
    QString seen;
    Qt::TextFormat format = Qt::RichText;
    bool modal = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      seen = box->text();
      format = box->textFormat();
      modal = box->isModal();
      box->accept();
    });
    ShowMessageBox(f, "Datei <b>x</b>.cod kann nicht geöffnet werden", true);
    QCOMPARE(seen, QString("Datei <b>x</b>.cod kann nicht geöffnet werden"));
    QCOMPARE(format, Qt::PlainText);
    QVERIFY(modal);
  }

  void openDialogAsksForAnExistingCodFile() {
    auto* f = Open(CodImage({IdleLoopWord}));
    QString title;
    QStringList filters;
    QString suffix;
    bool existingOnly = false, help = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      title = dialog->windowTitle();
      filters = dialog->nameFilters();
      suffix = dialog->defaultSuffix();
      existingOnly = dialog->fileMode() == QFileDialog::ExistingFile;
      auto* buttons = dialog->findChild<QDialogButtonBox*>();
      help = buttons && buttons->button(QDialogButtonBox::Help);
      dialog->reject();
    });
    QCOMPARE(ShowOpenDialog(f), QString());
    QCOMPARE(title, QString("EPROM öffnen..."));
    QCOMPARE(filters, (QStringList{"EPROM-Dateien (*.cod)", "Alle Dateien (*)", "Assembler-Quellen (*.s *.asm)"}));
    QCOMPARE(suffix, QString("cod"));
    QVERIFY(existingOnly);
    QVERIFY(help);
  }

  // Paging through memory draws ever new lines; the kept line images stay
  // within their budget on a high-density screen too.
  void lineImagesStayWithinTheirBudget() {
    TFastText text(CodeFont());
    QImage screen(QSize(600, 40) * 2, QImage::Format_ARGB32_Premultiplied);
    screen.setDevicePixelRatio(2);
    QPainter canvas(&screen);
    for (uint32_t a = 0; a < 3000; ++a)
      text.DrawStrip(canvas, 20, 0, 20, TheCPU.ListingLine(int32_t(a)), 0xff000000u, 0xffffffffu);
    QVERIFY(text.CachedBytes() > 0);
    QVERIFY(text.CachedBytes() <= TFastText::StripBytes);
  }

  void nextCommandFollowsEveryProgramCounterWrite() {
    auto* f = Open(CodImage({IdleLoopWord}));
    TheState.SetReg(-1, 0);
    QCOMPARE(f->NextCommandText(), QString("$00000000:  ffffffff   ????  (illegal opcode)"));
    TheState.SetReg(-1, HeaderAddress);
    QCoreApplication::processEvents();
    QCOMPARE(f->NextCommand->text(), QString("$00800000:  52455341   dc    0x52455341 // resa"));
  }
};

QTEST_MAIN(MainFormTest)
#include "mainform_test.moc"
