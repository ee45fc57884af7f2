// The whole debugger driven as a person would: open a file, set breakpoints
// of each kind with the mouse, edit one in the dialog, run, step, inspect.
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "tests/support/Process.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/BreakEditForm.h"
#include "ui/BreakForm.h"
#include "ui/MemoryForm.h"

class SessionTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TTempDir> Dir;

  QPoint GutterOf(int32_t address) {
    return QPoint(5, (address - Form->TopAddress) * Form->LineHeight + Form->LineHeight / 2);
  }
  QPoint GridCell(int col, int row) {
    return Form->Registers->visualRect(Form->Registers->model()->index(row, col)).center();
  }
  QPoint RowOf(TBreakPoint* bp) {
    return BreakForm->LV->visualItemRect(static_cast<QTreeWidgetItem*>(bp->Item)).center();
  }
  // Lets the event loop run empty once, as it does between two key presses
  // of a person (that is when the actions look at their enable rules).
  static void Idle() {
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  QColor CellColour(int col, int row) {
    const QRect r = Form->Registers->visualRect(Form->Registers->model()->index(row, col));
    return Form->Registers->viewport()->grab().toImage().pixelColor(r.right() - 3, r.top() + 3);
  }

 private slots:
  void init() { Dir = std::make_unique<TTempDir>(); }
  void cleanup() {
    DestroyBreakForm();
    Form.reset();
    Dir.reset();
    ResetCore();
  }

  void aWholeSession() {
    OpenMainForm(Form, *Dir, "", false);
    CreateBreakForm();

    // Open the example through the menu action.
    const QString file = QString::fromStdString(Dir->File("sum.cod", ReadFileText(EXAMPLES_DIR "/sum.cod")));
    OpenFileHook = [&](QWidget*) { return file; };
    Form->AFOpen->trigger();
    QCOMPARE(Form->windowTitle(), "Orvane  [" + file + "]");
    QCOMPARE(Form->NextCommandText(), QString("$00800001:  27c20020   addi  R02,R30,$0020"));

    // An instruction breakpoint in the margin, a register watch on R01's
    // name, a memory watch on the array's third word in a new inspector.
    QTest::mouseClick(Form->CodeBox, Qt::LeftButton, Qt::NoModifier, GutterOf(0x800008));
    QTest::mouseClick(Form->Registers->viewport(), Qt::LeftButton, Qt::NoModifier, GridCell(0, 2));
    QTest::keyClick(Form.get(), Qt::Key_F4);
    QTRY_COMPARE(Inspectors.size(), size_t(1));
    TMemoryForm* inspector = Inspectors.back();
    (void)QTest::qWaitForWindowExposed(inspector);
    const int cw = inspector->CharWidth;
    inspector->ScrollBy(0x20, true);  // the array at $00800020 on the first row
    QTest::mouseClick(inspector->Box, Qt::LeftButton, Qt::NoModifier, QPoint((12 + 9 * 2) * cw + 4, 3));
    QCOMPARE(BreakPoints.size(), size_t(3));

    QTest::keyClick(Form.get(), Qt::Key_F6);
    QTRY_VERIFY(BreakForm->isVisible());
    QCOMPARE(BreakForm->RowTexts(BreakPoints[0]), (QStringList{"$00800008", "--", "--", "immer"}));
    QCOMPARE(BreakForm->RowTexts(BreakPoints[1]), (QStringList{"", "--", "--", "Wenn R01 sich ändert"}));
    QCOMPARE(BreakForm->RowTexts(BreakPoints[2]), (QStringList{"", "--", "--", "Wenn Speicher $00800022 sich ändert"}));
    QCOMPARE(CellColour(0, 2), QColor(255, 0, 0));

    // Turn the register watch into "R01 is 15" by the dialog.
    TBreakPoint* watch = BreakPoints[1];
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<TBreakEditForm*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      dialog->RLockValue->click();
      dialog->ELockValue->setText("$0000000f");
      dialog->BOK->click();
    });
    QTest::mouseDClick(BreakForm->LV->viewport(), Qt::LeftButton, Qt::NoModifier, RowOf(watch));
    QCOMPARE(BreakForm->RowTexts(watch), (QStringList{"", "--", "--", "Wenn R01 den Wert $0000000f hat"}));

    // The margin click on the marked line removes the instruction breakpoint.
    QTest::mouseClick(Form->CodeBox, Qt::LeftButton, Qt::NoModifier, GutterOf(0x800008));
    QCOMPARE(BreakPoints.size(), size_t(2));

    // Run: 3 + 5 + 7 reaches 15 after the third add.
    Form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Form.get()));
    QTest::keyClick(Form.get(), Qt::Key_F9);
    QTRY_VERIFY(Stopped);
    QCOMPARE(TheState.GetReg(1), 15);
    QCOMPARE(TheState.GetReg(-1), 0x800006);
    QCOMPARE(Form->NextCommandText(), QString("$00800006:  24420001   addi  R02,R02,$0001"));
    QCOMPARE(Form->RegisterCellText(1, 2), QString("$0000000f"));

    // A single step; the value watch holds as long as R01 stays 15.
    Idle();
    QTest::keyClick(Form.get(), Qt::Key_F8);
    QCOMPARE(TheState.GetReg(2), 0x800023);
    Form->ADRunFastExecute();
    QCOMPARE(TheState.GetReg(-1), 0x800008);

    // Off the breakpoint's value the fast run goes to the idle loop.
    TheState.SetReg(1, 16);
    Form->ADRunFastExecute();
    QCOMPARE(TheState.GetReg(-1), 0x800009);
    QCOMPARE(TheState.GetReg(4), 0);
    QCOMPARE(watch->Value, 15u);          // a value watch keeps its value
    QCOMPARE(BreakPoints[1]->Value, 7u);  // the array word never changed

    // A reset restores the image and keeps every breakpoint and window.
    Idle();
    QTest::keyClick(Form.get(), Qt::Key_F2, Qt::ControlModifier);
    QCOMPARE(TheState.GetReg(1), 0);
    QCOMPARE(TheState.GetReg(-1), EntryAddress);
    QCOMPARE(BreakPoints.size(), size_t(2));
    QCOMPARE(Inspectors.size(), size_t(1));
    QVERIFY(ShownMessages().isEmpty());
  }
};

QTEST_MAIN(SessionTest)
#include "session_test.moc"
