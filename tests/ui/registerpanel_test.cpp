#include <QLineEdit>
#include <QTimer>

#include "tests/ui/UiTestSupport.h"

using namespace enc;

class RegisterPanelTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TTempDir> Dir;

  TMainForm* Open(const std::string& image) { return OpenMainForm(Form, *Dir, image); }
  TVelEGrid* Grid() { return Form->Registers; }
  // Column and row of the value cell of register i.
  static int ValueCol(int i) { return (i / 16) * 2 + 1; }
  static int RowOf(int i) { return i % 16 + 1; }
  QString Value(int i) { return Form->RegisterCellText(ValueCol(i), RowOf(i)); }
  // Lets the grid paint (the edit take-over happens when a cell is drawn).
  void Paint() {
    Grid()->Refresh();
    Grid()->grab();
    QCoreApplication::processEvents();
  }
  QPoint CellCentre(int col, int row) {
    const QRect r = Grid()->visualRect(Grid()->model()->index(row, col));
    return r.center();
  }
  QColor CellColour(int col, int row) {
    QImage image = Grid()->viewport()->grab().toImage();
    const QRect r = Grid()->visualRect(Grid()->model()->index(row, col));
    return image.pixelColor(r.right() - 3, r.top() + 3);
  }

 private slots:
  void init() { Dir = std::make_unique<TTempDir>(); }
  void cleanup() {
    Form.reset();
    Dir.reset();
    ResetCore();
  }

  void layoutAfterStart() {
    Open(CodImage({IdleLoopWord}));
    QCOMPARE(Grid()->ColCount(), 5);
    QCOMPARE(Grid()->RowCount(), 17);
    QCOMPARE(Grid()->Cells(0, 0), QString("Reg"));
    QCOMPARE(Grid()->Cells(3, 0), QString("Inhalt"));
    QCOMPARE(Grid()->Cells(0, 8), QString("R07"));
    QCOMPARE(Grid()->Cells(2, 16), QString("R31"));
    QCOMPARE(Value(30), QString("$00800000"));
    QCOMPARE(Value(0), QString("$00000000"));
    QCOMPARE(Grid()->ColWidths(4), 0);
    QVERIFY(Grid()->IsColumnLocked(0) && Grid()->IsColumnLocked(2) && Grid()->IsColumnHidden(4));
    QCOMPARE(Grid()->RowHeights(3), 18);
    QCOMPARE(Form->PRegisters->width(), 252);
  }

  void everyWriteReachesItsCell() {
    Open(CodImage({Addi(16, 0, -1), Addi(31, 0, 0x12ab), Addi(0, 0, 5), IdleLoopWord}));
    TheState.SetReg(5, 42);
    QCOMPARE(Value(5), QString("$0000002a"));
    Form->ExecuteSingleStep();
    QCOMPARE(Value(16), QString("$ffffffff"));
    Form->ADRunFastExecute();  // the fast run shows its writes at its end
    QCOMPARE(Grid()->Cells(3, 16), QString("$000012ab"));
    QCOMPARE(Value(0), QString("$00000000"));
  }

  void editTakeOverReadsBlanksAsZeros() {
    Open(CodImage({IdleLoopWord}));
    Grid()->SetCells(1, 6, "$12ab     ");  // "$", four digits, four blanks, the trailing blank
    Paint();
    QCOMPARE(uint32_t(TheState.GetReg(5)), 0x12ab0000u);
    QCOMPARE(Grid()->Cells(1, 6), QString("$12ab0000"));

    TheState.SetReg(7, 77);
    Grid()->SetCells(1, 8, "$12z45678 ");  // not hexadecimal: the old value stays
    Paint();
    QCOMPARE(TheState.GetReg(7), 77);
    QCOMPARE(Grid()->Cells(1, 8), QString("$0000004d"));

    Grid()->SetCells(1, 1, "$FFFFFFFF ");  // R0 stores nothing
    Paint();
    QCOMPARE(TheState.GetReg(0), 0);
    QCOMPARE(Grid()->Cells(1, 1), QString("$00000000"));

    Grid()->SetCells(3, 16, "$DEADbeef ");  // R31, upper and lower case
    Paint();
    QCOMPARE(uint32_t(TheState.GetReg(31)), 0xdeadbeefu);
  }

  void writeAfterAnEditReplacesIt_EditAfterAWriteWins() {
    Open(CodImage({IdleLoopWord}));
    Grid()->SetCells(1, 4, "$00000099 ");  // R3 edited, not yet drawn
    TheState.SetReg(3, 5);                 // then written: the write wins
    Paint();
    QCOMPARE(TheState.GetReg(3), 5);
    QCOMPARE(Grid()->Cells(1, 4), QString("$00000005"));

    TheState.SetReg(4, 6);                 // written, not yet shown
    Grid()->SetCells(1, 5, "$00000011 ");  // then edited: the edit wins
    Paint();
    QCOMPARE(TheState.GetReg(4), 0x11);
    QCOMPARE(Grid()->Cells(1, 5), QString("$00000011"));
  }

  // An edit typed while a run with display rewrites that very register at
  // every step: the editor keeps the typing, and Enter stores it.
  void editDuringARunThatWritesTheRegister() {
    Open(CodImage({Addi(1, 1, 1), Addi(1, 1, -1), Beqz(0, -3)}));  // R1 up and down again
    int pass = 0;
    QString typed;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
      const QString keys = "1234abcd";
      ++pass;
      if (pass == 2) QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(1, 2));
      if (pass >= 4 && pass < 4 + keys.size()) QTest::keyClick(QApplication::focusWidget(), keys[pass - 4].toLatin1());
      if (pass == 20) {
        if (auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget())) typed = editor->displayText();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      }
      if (pass == 30) QTest::keyClick(Form.get(), Qt::Key_F2);
    });
    timer.start(0);
    QTest::keyClick(Form.get(), Qt::Key_F9);
    timer.stop();
    QVERIFY(Stopped);
    QVERIFY(pass >= 30);
    QCOMPARE(typed, QString("$1234abcd "));
    // The loop went on from the typed value: one up or down from it.
    QVERIFY(std::abs(int64_t(TheState.GetReg(1)) - 0x1234abcd) <= 1);
  }

  void editorHasTheRegisterMask() {
    Open(CodImage({IdleLoopWord}));
    Grid()->setFocus();
    QTRY_COMPARE(Grid()->Col(), 1);
    QCOMPARE(Grid()->Row(), 1);
    static_cast<QAbstractItemView*>(Grid())->edit(Grid()->model()->index(1, 1));
    auto* editor = Grid()->findChild<QLineEdit*>();
    QVERIFY(editor);
    QCOMPARE(editor->inputMask(), QString("\\$NNNNNNNN\\ ;0"));
  }

  void nameClicksToggleChangeWatches() {
    Open(CodImage({IdleLoopWord}));
    TheState.SetReg(7, 9);
    QTest::mouseClick(Grid()->viewport(), Qt::RightButton, Qt::ControlModifier, CellCentre(0, 8));
    QCOMPARE(BreakPoints.size(), size_t(1));
    TBreakPoint* bp = BreakPoints[0];
    QVERIFY(bp->LockRegister && !bp->LockValue);
    QCOMPARE(bp->Register, 7);
    QCOMPARE(bp->Value, 9u);
    QCOMPARE(bp->SubItem(2), std::string("Wenn R07 sich ändert"));
    QCOMPARE(CellColour(0, 8), QColor(255, 0, 0));
    QCOMPARE(CellColour(1, 8), QColor(255, 0, 0));
    QVERIFY(CellColour(1, 9) != QColor(255, 0, 0));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(2, 1));  // R16
    QCOMPARE(BreakPoints.size(), size_t(2));
    QCOMPARE(BreakPoints[1]->Register, 16);
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(0, 8));
    QCOMPARE(BreakPoints.size(), size_t(1));
    QVERIFY(CellColour(0, 8) != QColor(255, 0, 0));
  }

  void otherClicksCreateNothing() {
    Open(CodImage({IdleLoopWord}));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(1, 3));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(3, 16));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 5));  // heading
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(10, Grid()->viewport()->height() - 2));  // below row 16
    QVERIFY(BreakPoints.empty());
  }

  void focusParksAndReturns() {
    Open(CodImage({IdleLoopWord}));
    Grid()->setFocus();
    QTRY_VERIFY(Grid()->hasFocus());
    QCOMPARE(Form->RegCursorCol, -1);
    QCOMPARE(Grid()->Col(), 1);
    QTest::keyClick(Grid(), Qt::Key_Right);  // over the locked names to R16's value
    QCOMPARE(Grid()->Col(), 3);
    QTest::keyClick(Grid(), Qt::Key_Down);
    QCOMPARE(Grid()->Row(), 2);
    Form->CodeScroll->setFocus();
    QTRY_COMPARE(Grid()->Col(), 4);
    QCOMPARE(Grid()->Row(), 1);
    QCOMPARE(Form->RegCursorCol, 3);
    QCOMPARE(Form->RegCursorRow, 2);
    Grid()->setFocus();
    QTRY_COMPARE(Grid()->Col(), 3);
    QCOMPARE(Grid()->Row(), 2);
    QCOMPARE(Form->RegCursorCol, -1);
  }

  void panelWidthFollowsItsHeight() {
    Open(CodImage({IdleLoopWord}));
    auto panelHeightTo = [&](int height) {
      Form->resize(Form->width(), Form->height() + height - Form->PRegisters->height());
      QTRY_COMPARE(Form->PRegisters->height(), height);
    };
    panelHeightTo(309);
    QTRY_COMPARE(Form->PRegisters->width(), 268);
    panelHeightTo(310);
    QTRY_COMPARE(Form->PRegisters->width(), 252);
  }
};

QTEST_MAIN(RegisterPanelTest)
#include "registerpanel_test.moc"
