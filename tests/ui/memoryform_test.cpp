#include <QAction>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

#include "tests/ui/UiTestSupport.h"
#include "ui/FastText.h"
#include "ui/MemoryForm.h"

using namespace enc;

namespace {

constexpr QRgb White = 0xFFFFFFFF, Black = 0xFF000000, Red = 0xFFFF0000;

int Cw(TMemoryForm* f) { return f->CharWidth; }

QRect CellRect(TMemoryForm* f, int row, int column) {
  return QRect((12 + 9 * column) * Cw(f), row * f->LineHeight, 9 * Cw(f), f->LineHeight);
}
QPoint CellCentre(TMemoryForm* f, int row, int column) { return CellRect(f, row, column).center(); }

// What the box shows on screen: the window's backing store, which keeps
// every pixel that no paint has touched since.
QImage OnScreen(TMemoryForm* f) {
  const QRect box(f->Box->mapTo(f, QPoint()), f->Box->size());
  return f->screen()->grabWindow(f->winId()).toImage().copy(box).convertToFormat(QImage::Format_RGB32);
}
// A full paint of the box, reading everything afresh.
QImage Painted(TMemoryForm* f) { return f->Box->grab().toImage().convertToFormat(QImage::Format_RGB32); }

// A text strip drawn the way the inspector draws it, for exact comparison.
QImage Strip(TMemoryForm* f, int width, int textX, const std::string& text, QRgb ink, QRgb paper) {
  QImage image(width, f->LineHeight, QImage::Format_RGB32);
  image.fill(paper);
  QPainter painter(&image);
  TFastText(f->Box->font()).DrawStrip(painter, textX, 0, f->LineHeight, text, ink, paper);
  return image;
}
// Compares the part of the cell inside the box (the last row is cut off).
bool CellShows(TMemoryForm* f, const QImage& box, int row, int column, uint32_t value, bool watched = false) {
  const QRect cell = CellRect(f, row, column), seen = cell & box.rect();
  const QImage expected =
      Strip(f, 9 * Cw(f), Cw(f) / 2 + 1, HexText(value, 8), watched ? White : Black, watched ? Red : White);
  return !seen.isEmpty() && box.copy(seen) == expected.copy(seen.translated(-cell.topLeft()));
}
bool LabelShows(TMemoryForm* f, const QImage& box, int row, uint32_t address) {
  return box.copy(0, row * f->LineHeight, 12 * Cw(f), f->LineHeight) ==
         Strip(f, 12 * Cw(f), 2, " $" + HexText(address, 8) + ":", Black, White);
}
// Row and column of a word shown by the inspector.
QPoint Place(TMemoryForm* f, int32_t address) {
  const int32_t offset = int32_t(uint32_t(address) - uint32_t(f->TopAddress));
  return QPoint(offset % f->WordsPerLine(), offset / f->WordsPerLine());
}
bool Shows(TMemoryForm* f, const QImage& box, int32_t address, uint32_t value, bool watched = false) {
  const QPoint at = Place(f, address);
  return CellShows(f, box, at.y(), at.x(), value, watched);
}
// Changes a word without telling anyone, so only a repaint can show it.
void SilentStore(int32_t address, uint32_t value) {
  const int32_t offset = TheMemory.FindWord(address, true);
  TheMemory.LastBlock().Words[offset] = value;
}
// The box width that fits exactly `words` columns, as a window width.
void SetWords(TMemoryForm* f, int words, int height = 188) {
  f->resize(16 + (13 + 9 * words) * Cw(f), height);
  QCoreApplication::processEvents();
}

}  // namespace

class MemoryFormTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TTempDir> Dir;

  void Open(const std::string& image = "", bool withFile = true) { OpenMainForm(Form, *Dir, image, withFile); }
  TMemoryForm* Inspect() {
    Form->ADMemInspect->trigger();
    TMemoryForm* f = Inspectors.back();
    (void)QTest::qWaitForWindowExposed(f);
    QCoreApplication::processEvents();
    return f;
  }

 private slots:
  void init() { Dir = std::make_unique<TTempDir>(); }
  void cleanup() {
    Form.reset();
    QVERIFY(Inspectors.empty());  // destroyed with the main window
    Dir.reset();
    ResetCore();
  }

  void newInspectorShowsTheDefaultImage() {
    Open("", false);
    TMemoryForm* f = Inspect();
    QCOMPARE(Inspectors, std::vector<TMemoryForm*>{f});
    QCOMPARE(f->windowTitle(), QString("Memory Inspector"));
    QVERIFY(f->windowFlags() & Qt::Tool);
    QVERIFY(f->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(f->parentWidget(), static_cast<QWidget*>(Form.get()));
    QVERIFY(f->isVisible());
    QCOMPARE(f->size(), QSize(521, 188));
    QCOMPARE(f->TopAddress, 0x800000);
    QCOMPARE(f->ScrollBase, 0x800000);
    const QFontMetrics metrics(CodeFont(8));
    QCOMPARE(f->Box->font().pointSize(), 8);
    QCOMPARE(f->LineHeight, metrics.height() + 4);
    QCOMPARE(f->CharWidth, metrics.horizontalAdvance('0') + 1);
    QCOMPARE(f->Box->geometry(), QRect(0, 0, 521 - 16, 188));
    QCOMPARE(f->Scroll->geometry(), QRect(521 - 16, 0, 16, 188));
    QCOMPARE(f->Scroll->minimum(), -320);
    QCOMPARE(f->Scroll->maximum(), 320);
    QCOMPARE(f->Scroll->value(), 0);
    const int n = f->WordsPerLine();
    QCOMPARE(n, ((521 - 16) / Cw(f) - 13) / 9);
    QCOMPARE(f->Scroll->singleStep(), n);
    QCOMPARE(f->Scroll->pageStep(), 10 * n);

    const QImage box = Painted(f);
    QCOMPARE(OnScreen(f), box);
    const int rows = 188 / f->LineHeight;
    for (int row = 0; row < rows; ++row) {
      QVERIFY(LabelShows(f, box, row, uint32_t(0x800000 + row * n)));
      for (int column = 0; column < n; ++column) {
        const int32_t a = 0x800000 + row * n + column;
        QVERIFY(CellShows(f, box, row, column, a == 0x800000 ? 0x52455341 : a == 0x800001 ? 0x1000ffff : ~0u));
      }
    }
    // White paper and black ink everywhere, the blank right of the words too.
    const int rightEdge = (12 + 9 * n) * Cw(f);
    QCOMPARE(box.pixel(0, 0), White);
    QCOMPARE(box.pixel(CellRect(f, 0, 1).topLeft()), White);
    if (rightEdge < box.width()) QCOMPARE(box.pixel(box.width() - 1, 5), White);
    int ink = 0;
    for (int x = CellRect(f, 0, 0).left(); x <= CellRect(f, 0, 0).right(); ++x)
      for (int y = 0; y < f->LineHeight; ++y) ink += qGray(box.pixel(x, y)) < 64;
    QVERIFY(ink > 10);
  }

  void rowGeometryAndWordAt() {
    Open("", false);
    TMemoryForm* f = Inspect();
    const int cw = Cw(f);
    for (int words = 1; words <= 6; ++words) {
      SetWords(f, words);
      QCOMPARE(f->WordsPerLine(), words);
      QCOMPARE(f->Scroll->singleStep(), words);
      f->resize(f->width() - 1, 188);  // one pixel short of the last column
      QCOMPARE(f->WordsPerLine(), std::max(words - 1, 1));
    }
    SetWords(f, 4);
    int32_t a = 0;
    QVERIFY(!f->WordAt(12 * cw - 1, 0, a));  // the address label
    QVERIFY(f->WordAt(12 * cw, 0, a));
    QCOMPARE(a, 0x800000);
    QVERIFY(f->WordAt(21 * cw, 2 * f->LineHeight + 1, a));
    QCOMPARE(a, 0x800000 + 1 + 2 * 4);
    QVERIFY(f->WordAt(48 * cw - 1, 0, a));
    QCOMPARE(a, 0x800003);
    QVERIFY(!f->WordAt(48 * cw, 0, a));  // the blank right of the words
    // Truncating division: just above the box is still row 0.
    QVERIFY(f->WordAt(12 * cw, -1, a));
    QCOMPARE(a, 0x800000);
    QVERIFY(f->WordAt(12 * cw, -f->LineHeight, a));
    QCOMPARE(a, 0x800000 - 4);
    // Addresses wrap at both ends of the 32-bit range.
    f->TopAddress = f->ScrollBase = INT32_MAX - 1;
    f->BoxPaint();
    QVERIFY(f->WordAt(30 * cw, 0, a));
    QCOMPARE(a, INT32_MIN);
    QVERIFY(LabelShows(f, OnScreen(f), 1, uint32_t(INT32_MAX) + 3));
    MemoryChanged(INT32_MIN);
    QVERIFY(f->IsPending(INT32_MIN));
    MemoryChanged(INT32_MAX - 2);
    QVERIFY(!f->IsPending(INT32_MAX - 2));
    f->Scroll->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(f->TopAddress, INT32_MIN + 39 - 1);
    f->TopAddress = INT32_MIN;
    MemoryChanged(INT32_MAX);
    QVERIFY(!f->IsPending(INT32_MAX));
  }

  void storesRedrawJustTheirCell() {
    Open("", false);
    TMemoryForm* f = Inspect();
    SetWords(f, 5, 7 * f->LineHeight + f->LineHeight / 2);
    const int32_t top = f->TopAddress;
    const int rows = 7;  // the last painted row, cut off by the bottom edge
    QCOMPARE(f->Box->height() / f->LineHeight, rows);
    const int32_t pastEnd = top + (rows + 1) * 5;
    for (int32_t a = top - 10; a < pastEnd + 10; ++a) SilentStore(a, 0x11110000u + uint32_t(a - top));

    // Before the first row, past the last one: nothing.
    const QImage before = OnScreen(f);
    for (int32_t a : {top - 1, top - 5, top - 6, pastEnd, pastEnd + 7, INT32_MIN, INT32_MAX}) MemoryChanged(a);
    FlushInspectors();
    QCOMPARE(OnScreen(f), before);

    // TopAddress + 7 is row 1, column 2, and nothing else changes.
    MemoryChanged(top + 7);
    QVERIFY(f->IsPending(top + 7));
    FlushInspectors();
    QVERIFY(!f->IsPending(top + 7));
    QImage after = OnScreen(f);
    QVERIFY(CellShows(f, after, 1, 2, 0x11110007));
    QImage outside = after;
    QPainter(&outside).drawImage(CellRect(f, 1, 2).topLeft(), before.copy(CellRect(f, 1, 2)));
    QCOMPARE(outside, before);

    // The row cut off by the bottom edge is shown too, several cells at once.
    MemoryChanged(pastEnd - 1);
    MemoryChanged(top);
    MemoryChanged(top + 2);
    FlushInspectors();
    after = OnScreen(f);
    QVERIFY(CellShows(f, after, 0, 0, 0x11110000));
    QVERIFY(CellShows(f, after, 0, 2, 0x11110002));
    QVERIFY(CellShows(f, after, 0, 1, 0x1000ffff));  // not asked for: still the old text
    QVERIFY(CellShows(f, after, rows, 4, 0x11110000u + uint32_t(pastEnd - 1 - top)));
  }

  void storesOutsideARunAndDuringAFastRun() {
    // addi R2,R0,30000; R2 *= 4; loop: addi R1,R1,1; sw R1,$10(R30); subi R2,R2,1; bnez R2,loop
    Open(CodImage({Addi(2, 0, 30000), Add(2, 2, 2), Add(2, 2, 2), Addi(1, 1, 1), Sw(1, 30, 0x10), Subi(2, 2, 1),
                   Bnez(2, -4), IdleLoopWord}));
    TMemoryForm* f = Inspect();
    SetWords(f, 5);
    // Outside a run a burst of stores is painted once the event loop runs.
    TheMemory.WriteWord(0x800003, 0xdeadbeef);
    TheMemory.WriteWord(0x800003, 0x12345678);
    QVERIFY(f->IsPending(0x800003));
    QVERIFY(Shows(f, OnScreen(f), 0x800003, Add(2, 2, 2)));
    QCoreApplication::processEvents();
    QVERIFY(!f->IsPending(0x800003));
    QVERIFY(Shows(f, OnScreen(f), 0x800003, 0x12345678));
    Form->ADResetExecute();
    QCoreApplication::processEvents();

    // The fast run paints at every look at the event queue and at its end.
    TMainForm::FastRunPollMs = 0;
    int looks = 0, behind = 0;
    uint32_t previous = ~0u;
    Form->FastRunPollHook = [&] {
      ++looks;
      behind += !Shows(f, OnScreen(f), 0x800010, previous);
      previous = TheMemory.ReadWord(0x800010);
    };
    Form->ADRunFastExecute();
    QCOMPARE(TheMemory.ReadWord(0x800010), 120000u);
    QVERIFY(looks >= 5);
    QCOMPARE(behind, 0);
    QVERIFY(Shows(f, OnScreen(f), 0x800010, 120000));

    // Stores are reported where an inspector shows them when the run starts
    // and again after every look, in which the view may have moved.
    Form->ADResetExecute();
    f->TopAddress = f->ScrollBase = 0x900000;
    f->BoxPaint();
    looks = behind = 0;
    Form->FastRunPollHook = [&] {
      if (++looks == 1) {
        f->TopAddress = f->ScrollBase = 0x800000;
        f->BoxPaint();
      } else {
        behind += !Shows(f, OnScreen(f), 0x800010, previous);
      }
      previous = TheMemory.ReadWord(0x800010);
    };
    Form->ADRunFastExecute();
    TMainForm::FastRunPollMs = 15;
    QVERIFY(looks >= 5);
    QCOMPARE(behind, 0);
    QVERIFY(Shows(f, OnScreen(f), 0x800010, 120000));
  }

  // An inspector draws the word its store left and looks memory up no
  // later: where blocks overlap, a lookup decides which copy of a word the
  // program executes next. After the fast run the code view has read past
  // the first block, so the second block's copy of the next word runs.
  void shownStoresLeaveTheCachedBlockToTheProgram() {
    const char* source =
        ".code $800000\n"
        "        .header\n"
        "        addi R01,R00,$55\n"
        "        sw   R01,R30,$6\n"
        "        beqz R00,ov\n"
        "        .word 0,0,0,0\n"
        "ov:     addi R02,R00,$A\n"
        "        addi R03,R00,$A\n"
        "        beqz R00,.\n"
        "        .word 0,0,0,0,0\n"
        ".data $800008\n"
        "        addi R02,R00,$B\n"
        "        addi R03,R00,$B\n"
        "        beqz R00,.\n"
        "        .word 0,0,0,0,0,0,0,0,0,0,0,0,0\n";
    Form.reset();
    ResetCore();
    RecordMessageBoxes();
    Form = std::make_unique<TMainForm>(QStringList{QString::fromStdString(Dir->File("overlap.s", source))});
    Form->resize(718, 447);
    Form->show();
    QVERIFY(QTest::qWaitForWindowActive(Form.get()));
    TMemoryForm* f = Inspect();
    auto* bp = new TBreakPoint;
    bp->UseInstruction = true;
    bp->Instruction = 0x800009;
    bp->UpdateView();
    Form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form.get()));
    QTest::keyClick(Form.get(), Qt::Key_F9, Qt::ShiftModifier);
    QCOMPARE(TheState.GetReg(-1), 0x800009);
    QVERIFY(Shows(f, OnScreen(f), 0x800006, 0x55));
    QTest::keyClick(Form.get(), Qt::Key_F8);
    QCOMPARE(TheState.GetReg(3), 0xb);
  }

  // A paint while a fast run looks at the event queue reads memory without
  // moving the block that the run's next lookup finds: the loop at $800008
  // keeps running the first block's copy, not the second's.
  void paintsDuringAFastRunLeaveTheCachedBlock() {
    const std::vector<uint32_t> first = {Addi(2, 0, 30000), Add(2, 2, 2),  Add(2, 2, 2), Beqz(0, 3),  0, 0, 0,
                                         Addi(1, 1, 1),     Subi(2, 2, 1), Bnez(2, -3),  IdleLoopWord};
    std::string image = CodImage(first) + ".DATA\n$800008\n8\n";
    for (uint32_t w : {Addi(3, 3, 1), Subi(2, 2, 1), Bnez(2, -3), IdleLoopWord, 0u, 0u, 0u, 0u})
      image += "$" + HexText(w, 8) + "\n";
    Open(image);
    TMemoryForm* f = Inspect();
    f->TopAddress = f->ScrollBase = 0x80000C;  // the second block's own words
    f->BoxPaint();
    TMainForm::FastRunPollMs = 0;
    int paints = 0;
    Form->FastRunPollHook = [&] {
      ++paints;
      f->Box->repaint();
    };
    Form->ADRunFastExecute();
    TMainForm::FastRunPollMs = 15;
    QVERIFY(paints >= 3);
    QCOMPARE(TheState.GetReg(1), 120000);
    QCOMPARE(TheState.GetReg(3), 0);
  }

  void clicksToggleAChangeWatch() {
    // addi R1,R0,5; sw R1,8(R30) twice; addi R1,R0,6; sw R1,8(R30); idle; data
    Open(CodImage({Addi(1, 0, 5), Sw(1, 30, 8), Sw(1, 30, 8), Addi(1, 0, 6), Sw(1, 30, 8), IdleLoopWord, 0, 5}));
    TMemoryForm* a = Inspect();
    TMemoryForm* b = Inspect();
    SetWords(a, 5);
    SetWords(b, 3);
    // The address label toggles nothing.
    QTest::mouseClick(a->Box, Qt::LeftButton, Qt::NoModifier, QPoint(12 * Cw(a) - 1, 5));
    QVERIFY(BreakPoints.empty());
    // Any button, shift ignored: row 1, column 3 is 0x800008.
    QTest::mouseClick(a->Box, Qt::RightButton, Qt::ShiftModifier, CellCentre(a, 1, 3));
    QCOMPARE(BreakPoints.size(), size_t(1));
    TBreakPoint* bp = BreakPoints[0];
    QVERIFY(bp->LockPosition && !bp->LockValue && !bp->UseInstruction && !bp->LockRegister);
    QCOMPARE(bp->Position, 0x800008);
    QCOMPARE(bp->Value, 5u);
    QCOMPARE(bp->SubItem(2), std::string("Wenn Speicher $00800008 sich ändert"));
    // Red with white text in both windows at once, without the event loop.
    for (TMemoryForm* f : {a, b}) {
      const QImage box = OnScreen(f);
      QVERIFY(Shows(f, box, 0x800008, 5, true));
      QCOMPARE(box.pixel(CellRect(f, Place(f, 0x800008).y(), Place(f, 0x800008).x()).topLeft()), Red);
      QVERIFY(Shows(f, box, 0x800007, 0));
    }
    // The run stops only after the store that changes the word.
    Form->ADRunFastExecute();
    QCOMPARE(TheState.GetReg(-1), 0x800006);
    QVERIFY(Shows(a, OnScreen(a), 0x800008, 6, true));
    // A second click frees the watch.
    QTest::mouseClick(b->Box, Qt::LeftButton, Qt::NoModifier, CellCentre(b, 2, 2));
    QVERIFY(BreakPoints.empty());
    QVERIFY(Shows(a, OnScreen(a), 0x800008, 6));
    QVERIFY(Shows(b, OnScreen(b), 0x800008, 6));

    // Too narrow for a whole column: one column shown, nothing to click.
    a->resize(16 + 20 * Cw(a), 188);
    QCoreApplication::processEvents();
    QCOMPARE(a->WordsPerLine(), 1);
    const QImage narrow = Painted(a);
    QVERIFY(LabelShows(a, narrow, 1, 0x800001));
    QVERIFY(CellShows(a, narrow, 0, 0, 0x52455341));
    QTest::mouseClick(a->Box, Qt::LeftButton, Qt::NoModifier, QPoint(13 * Cw(a), 2));
    QVERIFY(BreakPoints.empty());
    int32_t address;
    QVERIFY(!a->WordAt(13 * Cw(a), 2, address));
  }

  void scrollingByRowsPagesAndWords() {
    Open("", false);
    TMemoryForm* f = Inspect();
    TMemoryForm* other = Inspect();
    QScrollBar* bar = f->Scroll;
    SetWords(f, 3);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(f->TopAddress, 0x800003);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(f->TopAddress, 0x800021);
    QCOMPARE(f->ScrollBase, 0x800021);
    QCOMPARE(bar->value(), 0);
    // After widening, a line is the new row width.
    SetWords(f, 6);
    QCOMPARE(bar->pageStep(), 60);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(f->TopAddress, 0x80001b);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    QCOMPARE(f->TopAddress, 0x80001b - 60);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(f->TopAddress, 0x80001b - 60);

    // A drag of +3 moves by words; only the release commits.
    f->TopAddress = f->ScrollBase = 0x800000;
    bar->setSliderDown(true);
    bar->setSliderPosition(100);
    QCOMPARE(f->TopAddress, 0x800064);
    bar->setSliderPosition(3);
    QCOMPARE(f->TopAddress, 0x800003);
    QCOMPARE(f->ScrollBase, 0x800000);
    bar->setSliderDown(false);
    QCOMPARE(f->ScrollBase, 0x800003);
    QCOMPARE(bar->value(), 0);
    const QImage box = OnScreen(f);
    QVERIFY(LabelShows(f, box, 0, 0x800003));
    QVERIFY(LabelShows(f, box, 1, 0x800009));
    QVERIFY(CellShows(f, box, 0, 0, ~0u));
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(f->TopAddress, 0x800009);
    QCOMPARE(other->TopAddress, 0x800000);  // each window has its own place

    // Overlapping ranges both follow a store into the overlap.
    f->TopAddress = f->ScrollBase = 0x800003;
    f->BoxPaint();
    TheMemory.WriteWord(0x800004, 0xcafe);
    FlushInspectors();
    QVERIFY(CellShows(f, OnScreen(f), 0, 1, 0xcafe));
    QVERIFY(Shows(other, OnScreen(other), 0x800004, 0xcafe));
    // Loading or resetting does not move an inspector.
    Form->ADResetExecute();
    QCOMPARE(f->TopAddress, 0x800003);
  }

  void closedInspectorsKeepReceivingStores() {
    Open("", false);
    TMemoryForm* first = Inspect();
    first->close();
    QVERIFY(!first->isVisible());
    TMemoryForm* second = Inspect();
    QCOMPARE(Inspectors, (std::vector<TMemoryForm*>{first, second}));
    TheMemory.WriteWord(0x800002, 0x2a);
    QVERIFY(first->IsPending(0x800002));
    QVERIFY(second->IsPending(0x800002));
    FlushInspectors();
    QVERIFY(!first->IsPending(0x800002));
    QVERIFY(Shows(second, OnScreen(second), 0x800002, 0x2a));
    QVERIFY(Shows(first, Painted(first), 0x800002, 0x2a));

    // F4 three more times: three more windows, in creation order.
    for (int i = 0; i < 3; ++i) QTest::keyClick(Form.get(), Qt::Key_F4);
    QCOMPARE(Inspectors.size(), size_t(5));
    for (size_t i = 2; i < 5; ++i) {
      QVERIFY(Inspectors[i]->isVisible());
      QVERIFY(Inspectors[i] != Inspectors[i - 1]);
      QCOMPARE(Inspectors[i]->parentWidget(), static_cast<QWidget*>(Form.get()));
    }
  }

  void resetRedrawsOnlyTheWordsOfTheImage() {
    // addi R1,R0,$1234; sw R1,5(R30) into the image; sw R1,6(R30) outside it
    Open(CodImage({Addi(1, 0, 0x1234), Sw(1, 30, 5), Sw(1, 30, 6), IdleLoopWord, 0}));
    TMemoryForm* f = Inspect();
    Form->ADRunFastExecute();
    QVERIFY(Shows(f, OnScreen(f), 0x800005, 0x1234));
    QVERIFY(Shows(f, OnScreen(f), 0x800006, 0x1234));
    Form->ADResetExecute();
    for (int32_t a = 0x800000; a < 0x800010; ++a) QCOMPARE(f->IsPending(a), a <= 0x800005);
    QCoreApplication::processEvents();
    const QImage box = OnScreen(f);
    QVERIFY(Shows(f, box, 0x800005, 0));
    QVERIFY(Shows(f, box, 0x800006, 0x1234));  // nothing told the window
    QCOMPARE(TheMemory.ReadWord(0x800006), ~0u);
    // Until the next full paint.
    f->ScrollBy(0, true);
    QVERIFY(Shows(f, OnScreen(f), 0x800006, ~0u));
  }
};

QTEST_MAIN(MemoryFormTest)
#include "memoryform_test.moc"
