#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <functional>
#include <tuple>

#include "tests/ui/UiTestSupport.h"
#include "ui/BreakEditForm.h"
#include "ui/BreakForm.h"
#include "ui/MemoryForm.h"

using namespace enc;

namespace {

// Answers the next edit dialog from inside its modal loop. The answer must
// close the dialog; one that forgets is closed with cancel and counted.
class TDialogAnswer {
 public:
  explicit TDialogAnswer(std::function<void(TBreakEditForm*)> act) : Act(std::move(act)) {
    QObject::connect(&Timer, &QTimer::timeout, [this] {
      auto* dialog = qobject_cast<TBreakEditForm*>(QApplication::activeModalWidget());
      if (!dialog) return;
      Timer.stop();
      ++Seen;
      Act(dialog);
      if (dialog->isVisible()) {
        ++LeftOpen;
        dialog->reject();
      }
    });
    Timer.start(0);
  }
  int Seen = 0;
  int LeftOpen = 0;

 private:
  QTimer Timer;
  std::function<void(TBreakEditForm*)> Act;
};

auto Fields(const TBreakPoint* b) {
  return std::make_tuple(b->UseInstruction, b->Instruction, b->LockPosition, b->Position, b->LockRegister, b->Register,
                         b->LockValue, b->Value, b->UseCount, b->MaxCount, b->ActCount, b->Item);
}

QColor BaseOf(const QWidget* w) { return w->palette().color(QPalette::Base); }
QColor Standard(QPalette::ColorRole role) { return QApplication::palette().color(QPalette::Active, role); }

TBreakPoint* NewBreakPoint(const std::function<void(TBreakPoint*)>& set) {
  auto* bp = new TBreakPoint;
  set(bp);
  bp->UpdateView();
  return bp;
}

}  // namespace

class BreakFormTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TTempDir> Dir;

  TMainForm* Open(const std::string& image) {
    DestroyBreakForm();
    OpenMainForm(Form, *Dir, image);
    CreateBreakForm();
    return Form.get();
  }
  static std::string CountingLoop() { return CodImage({Addi(1, 1, 1), Beqz(0, -2)}); }
  static QTreeWidget* LV() { return BreakForm->LV; }
  static QStringList Row(TBreakPoint* bp) { return BreakForm->RowTexts(bp); }
  // A margin click on the code view line of the address.
  void Gutter(int32_t address) {
    Form->CodeBoxMouseDown(Qt::LeftButton, Qt::NoModifier, 5, (address - Form->TopAddress) * Form->LineHeight + 2);
  }
  static void ShowList() {
    if (!BreakForm->isVisible()) ToggleBreakForm();
    (void)QTest::qWaitForWindowExposed(BreakForm);
  }
  // Opens the dialog on the breakpoint's row and lets act answer it.
  static bool Edit(TBreakPoint* bp, const std::function<void(TBreakEditForm*)>& act) {
    LV()->setCurrentItem(static_cast<QTreeWidgetItem*>(bp->Item));
    TDialogAnswer answer([&](TBreakEditForm* d) {
      if (d->EditedBreakPoint == bp) act(d);
    });
    BreakForm->LVDblClick();
    return answer.Seen == 1 && answer.LeftOpen == 0;
  }

 private slots:
  void init() { Dir = std::make_unique<TTempDir>(); }
  void cleanup() {
    DestroyBreakForm();
    Form.reset();
    Dir.reset();
    ResetCore();
  }

  void windowListAndToggle() {
    auto* f = Open(CountingLoop());
    QVERIFY(BreakForm && !BreakForm->isVisible());
    QCOMPARE(BreakForm->windowTitle(), QString("Haltepunkte"));
    QVERIFY(BreakForm->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(BreakForm->windowType(), Qt::Tool);
    QCOMPARE(BreakForm->pos(), QPoint(290, 511));
    QCOMPARE(BreakForm->size(), QSize(500, 107));
    QCOMPARE(BreakForm->font(), FormFont());
    QCOMPARE(LV()->parentWidget(), BreakForm);
    QTreeWidgetItem* head = LV()->headerItem();
    QStringList headers;
    for (int c = 0; c < LV()->columnCount(); ++c) headers << head->text(c);
    QCOMPARE(headers, (QStringList{"Instruktion", "Zähler", "Anzahl", "Bedingung"}));
    QCOMPARE(head->textAlignment(1) & Qt::AlignRight, int(Qt::AlignRight));
    QCOMPARE(head->textAlignment(3) & Qt::AlignRight, 0);
    QVERIFY(!LV()->rootIsDecorated());
    QVERIFY(!LV()->isHeaderHidden());
    QCOMPARE(LV()->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(LV()->editTriggers(), QAbstractItemView::NoEditTriggers);

    f->ABShow->trigger();
    QVERIFY(BreakForm->isVisible());
    f->ABShow->trigger();
    QVERIFY(!BreakForm->isVisible());
    ToggleBreakForm();
    QVERIFY(BreakForm->close());
    QVERIFY(BreakForm && !BreakForm->isVisible());
  }

  void rowsForEveryCreator() {
    auto* f = Open(CountingLoop());
    Gutter(0x800004);
    f->RefreshActions();
    f->ABSet->trigger();
    // As the register panel and the memory inspector create their watches.
    auto* reg = NewBreakPoint([](TBreakPoint* b) {
      b->LockRegister = true;
      b->Register = 5;
      b->LockValue = true;
      b->Value = 42;
    });
    auto* mem = NewBreakPoint([](TBreakPoint* b) {
      b->LockPosition = true;
      b->Position = 4096;
      b->Value = TheMemory.ReadWord(4096);
    });
    QCOMPARE(LV()->topLevelItemCount(), 4);
    for (int i = 0; i < 4; ++i) QCOMPARE(static_cast<void*>(LV()->topLevelItem(i)), BreakPoints[i]->Item);
    QCOMPARE(Row(BreakPoints[0]), (QStringList{"$00800004", "--", "--", "immer"}));
    QCOMPARE(Row(BreakPoints[1]), (QStringList{"$00800001", "--", "--", "immer"}));
    QCOMPARE(Row(reg), (QStringList{"", "--", "--", "Wenn R05 den Wert $0000002a hat"}));
    QCOMPARE(Row(mem), (QStringList{"", "--", "--", "Wenn Speicher $00001000 sich ändert"}));

    // Removal takes exactly the breakpoint's own row.
    f->RefreshActions();
    f->ABClear->trigger();
    Gutter(0x800004);
    QCOMPARE(LV()->topLevelItemCount(), 2);
    QCOMPARE(static_cast<void*>(LV()->topLevelItem(0)), reg->Item);
    delete reg;
    QCOMPARE(LV()->topLevelItemCount(), 1);
    QCOMPARE(static_cast<void*>(LV()->topLevelItem(0)), mem->Item);

    // Breakpoints made before the window exists get rows in list order.
    DestroyBreakForm();
    QVERIFY(mem->Item == nullptr);
    Gutter(0x800002);
    CreateBreakForm();
    QCOMPARE(LV()->topLevelItemCount(), 2);
    QCOMPARE(static_cast<void*>(LV()->topLevelItem(1)), BreakPoints[1]->Item);
    QCOMPARE(Row(BreakPoints[1]), (QStringList{"$00800002", "--", "--", "immer"}));
  }

  void countersRewriteRowsDuringRunsWhileHidden() {
    auto* f = Open(CodImage({Addi(1, 0, 100), Subi(1, 1, 1), Bnez(1, -2), IdleLoopWord}));
    auto* every3 = NewBreakPoint([](TBreakPoint* b) {
      b->UseCount = true;
      b->MaxCount = 3;
    });
    QCOMPARE(Row(every3), (QStringList{"", "0", "3", "immer"}));
    QStringList counts;
    for (int i = 0; i < 3; ++i) {
      f->ExecuteSingleStep();
      QCoreApplication::processEvents();
      counts << LV()->topLevelItem(0)->text(1);
    }
    QCOMPARE(counts, (QStringList{"1", "2", "0"}));

    // A burst of counts writes the row once, when the event loop gets to it.
    for (int i = 0; i < 4; ++i) every3->Check();
    QCOMPARE(LV()->topLevelItem(0)->text(1), QString("0"));
    QCoreApplication::processEvents();
    QCOMPARE(LV()->topLevelItem(0)->text(1), QString("1"));

    delete every3;
    f->ADResetExecute();
    auto* big = NewBreakPoint([](TBreakPoint* b) {
      b->UseCount = true;
      b->MaxCount = 1000000;
    });
    f->ADRunFastExecute();
    QVERIFY(!BreakForm->isVisible());
    QCOMPARE(TheState.GetReg(-1), 0x800004);
    // 201 instructions: the first, then 100 times two.
    QCOMPARE(LV()->topLevelItem(0)->text(1), QString("201"));
    QCOMPARE(Row(big), (QStringList{"", "201", "1000000", "immer"}));
  }

  void conditionColumnTakesTheWidth() {
    Open(CountingLoop());
    ShowList();
    QCOMPARE(LV()->width(), 500);
    QCOMPARE(LV()->columnWidth(3), 326);
    BreakForm->resize(700, 200);
    QTRY_COMPARE(LV()->width(), 700);
    QCOMPARE(LV()->columnWidth(3), 700 - 174);
    for (int c = 0; c < 3; ++c) QCOMPARE(LV()->columnWidth(c), (QList<int>{70, 50, 50}[c]));
    BreakForm->resize(300, 134);
    QTRY_COMPARE(LV()->width(), 500);
    QCOMPARE(BreakForm->width(), 500);
    QCOMPARE(LV()->columnWidth(3), 326);
  }

  void doubleClickOpensTheSelectedRow() {
    Open(CountingLoop());
    Gutter(0x800003);
    auto* mem = NewBreakPoint([](TBreakPoint* b) { b->LockPosition = true; });
    ShowList();
    QWidget* area = LV()->viewport();
    const QPoint empty(10, area->height() - 4);
    QVERIFY(!LV()->itemAt(empty));
    TBreakPoint* seen = nullptr;
    auto cancel = [&](TBreakEditForm* d) {
      seen = d->EditedBreakPoint;
      d->BCancel->click();
    };
    {
      LV()->clearSelection();
      TDialogAnswer none(cancel);
      DoubleClick(area, empty);
      QCOMPARE(none.Seen, 0);
    }
    const QPoint onMem = LV()->visualItemRect(static_cast<QTreeWidgetItem*>(mem->Item)).center();
    {
      TDialogAnswer onRow(cancel);
      DoubleClick(area, onMem);
      QCOMPARE(onRow.Seen, 1);
      QCOMPARE(seen, mem);
    }
    {
      // The selection outlives the first dialog; the empty part edits it.
      LV()->setCurrentItem(static_cast<QTreeWidgetItem*>(BreakPoints[0]->Item));
      TDialogAnswer onEmpty(cancel);
      DoubleClick(area, empty);
      QCOMPARE(onEmpty.Seen, 1);
      QCOMPARE(seen, BreakPoints[0]);
    }
  }

  void gutterBreakpointOpensWithFieldsAndStates() {
    Open(CountingLoop());
    Gutter(0x800004);
    TBreakPoint* bp = BreakPoints[0];
    QVERIFY(Edit(bp, [](TBreakEditForm* d) {
      QCOMPARE(d->windowTitle(), QString("Haltepunkt bearbeiten"));
      QCOMPARE(d->size(), QSize(369, 344));
      QCOMPARE(d->minimumSize(), d->maximumSize());
      QCOMPARE(d->pos(), QPoint(320, 178));
      QVERIFY(d->windowFlags() & Qt::WindowStaysOnTopHint);
      QVERIFY(d->isModal());
      const std::tuple<QWidget*, QWidget*, QRect> layout[] = {{d->GInstruction, d, {8, 8, 353, 57}},
                                                              {d->CInstruction, d->GInstruction, {8, 0, 185, 17}},
                                                              {d->EInstruction, d->GInstruction, {184, 24, 153, 22}},
                                                              {d->GLock, d, {8, 72, 353, 145}},
                                                              {d->RLockNone, d->GLock, {8, 0, 121, 17}},
                                                              {d->RLockPosition, d->GLock, {8, 24, 161, 17}},
                                                              {d->ELockPosition, d->GLock, {184, 22, 153, 22}},
                                                              {d->RLockRegister, d->GLock, {8, 48, 161, 17}},
                                                              {d->ELockRegister, d->GLock, {184, 46, 153, 22}},
                                                              {d->BLockLine, d->GLock, {8, 76, 337, 9}},
                                                              {d->PValueLocker, d->GLock, {8, 88, 337, 49}},
                                                              {d->RLockChange, d->PValueLocker, {0, 0, 177, 17}},
                                                              {d->RLockValue, d->PValueLocker, {0, 24, 169, 17}},
                                                              {d->ELockValue, d->PValueLocker, {176, 22, 153, 22}},
                                                              {d->GCount, d, {8, 224, 353, 79}},
                                                              {d->CUseCount, d->GCount, {8, 0, 113, 17}},
                                                              {d->EActCount, d->GCount, {184, 21, 153, 22}},
                                                              {d->EMaxCount, d->GCount, {184, 45, 153, 22}},
                                                              {d->BOK, d, {192, 312, 75, 25}},
                                                              {d->BCancel, d, {280, 312, 75, 25}}};
      for (const auto& [widget, parent, rect] : layout) {
        QCOMPARE(widget->parentWidget(), parent);
        QCOMPARE(widget->geometry(), rect);
      }
      QCOMPARE(d->LInstruction->pos(), QPoint(16, 24));
      QCOMPARE(d->LMaxCount->text(), QString("Stoppen bei:"));
      QCOMPARE(d->EInstruction->inputMask(), QString("\\$NNNNNNNN"));
      QCOMPARE(d->ELockRegister->inputMask(), QString("\\R00"));
      QCOMPARE(d->ELockRegister->font(), CodeFont(10));
      QVERIFY(d->BOK->isDefault());

      QVERIFY(d->CInstruction->isChecked());
      QCOMPARE(d->EInstruction->text(), QString("$00800004"));
      QVERIFY(d->EInstruction->isEnabled());
      QCOMPARE(BaseOf(d->EInstruction), Standard(QPalette::Base));
      QVERIFY(d->RLockNone->isChecked() && d->RLockChange->isChecked());
      QVERIFY(!d->RLockChange->isEnabled() && !d->RLockValue->isEnabled());
      for (QWidget* off : {(QWidget*)d->ELockPosition, (QWidget*)d->ELockRegister, (QWidget*)d->ELockValue,
                           (QWidget*)d->EActCount, (QWidget*)d->EMaxCount}) {
        QVERIFY(!off->isEnabled());
        QCOMPARE(BaseOf(off), Standard(QPalette::Button));
      }
      QCOMPARE(d->ELockRegister->text(), QString("R00"));
      QVERIFY(!d->CUseCount->isChecked());
      QCOMPARE(d->EActCount->text(), QString("0"));
      QCOMPARE(d->EMaxCount->text(), QString("2"));
      QVERIFY(d->BOK->isEnabled());

      // Keyboard order: instruction, counter, watch group, then the buttons.
      const QList<QWidget*> order{d->CInstruction,  d->EInstruction,  d->CUseCount,     d->EActCount,
                                  d->EMaxCount,     d->RLockPosition, d->RLockRegister, d->RLockNone,
                                  d->ELockPosition, d->ELockRegister, d->RLockValue,    d->ELockValue,
                                  d->RLockChange,   d->BOK,           d->BCancel};
      QList<QWidget*> chain;
      for (QWidget* w = d->CInstruction; chain.size() < order.size(); w = w->nextInFocusChain()) {
        QWidget* named = order.contains(w) ? w : order.contains(w->parentWidget()) ? w->parentWidget() : nullptr;
        if (named && (chain.isEmpty() || chain.last() != named)) chain << named;
        if (chain.size() > 1 && named == d->CInstruction) break;
      }
      QCOMPARE(chain, order);
      d->BOK->click();
    }));
    // OK without a counter still leaves a usable limit behind.
    QCOMPARE(bp->MaxCount, 2);
    QCOMPARE(Row(bp), (QStringList{"$00800004", "--", "--", "immer"}));

    auto* reg = NewBreakPoint([](TBreakPoint* b) {
      b->LockRegister = true;
      b->Register = 7;
      b->Value = 0x1234;
    });
    QVERIFY(Edit(reg, [](TBreakEditForm* d) {
      QVERIFY(d->RLockRegister->isChecked() && d->RLockChange->isChecked());
      QVERIFY(d->RLockChange->isEnabled() && d->RLockValue->isEnabled());
      QVERIFY(d->ELockRegister->isEnabled() && !d->ELockPosition->isEnabled() && !d->ELockValue->isEnabled());
      QCOMPARE(d->ELockRegister->text(), QString("R07"));
      QCOMPARE(d->ELockValue->text(), QString("$00001234"));
      d->BCancel->click();
    }));
  }

  void okNeedsAConditionAndEnterFollowsIt() {
    Open(CountingLoop());
    Gutter(0x800004);
    TBreakPoint* bp = BreakPoints[0];
    const auto before = Fields(bp);
    QVERIFY(Edit(bp, [](TBreakEditForm* d) {
      d->CInstruction->click();
      QVERIFY(!d->EInstruction->isEnabled());
      QCOMPARE(BaseOf(d->EInstruction), Standard(QPalette::Button));
      QVERIFY(!d->BOK->isEnabled());
      QTest::keyClick(d->EInstruction, Qt::Key_Return);  // a disabled default button ignores Enter
      QVERIFY(d->isVisible());
      d->RLockRegister->click();
      QVERIFY(d->BOK->isEnabled());
      d->RLockValue->click();
      QVERIFY(d->ELockValue->isEnabled());
      d->RLockNone->click();
      QVERIFY(!d->BOK->isEnabled() && !d->ELockValue->isEnabled() && !d->RLockValue->isEnabled());
      d->CUseCount->click();
      QVERIFY(d->BOK->isEnabled() && d->EActCount->isEnabled() && d->EMaxCount->isEnabled());
      QCOMPARE(BaseOf(d->EMaxCount), Standard(QPalette::Base));
      QTest::keyClick(d, Qt::Key_Escape);
    }));
    QVERIFY(Fields(bp) == before);
    QVERIFY(Edit(bp, [](TBreakEditForm* d) {
      d->CInstruction->click();
      d->CUseCount->click();
      QTest::keyClick(d->EInstruction, Qt::Key_Return);
    }));
    QVERIFY(!bp->UseInstruction && bp->UseCount);
  }

  void counterOnlyBreakpointFiresEveryNthInstruction() {
    auto* f = Open(CountingLoop());
    Gutter(0x800001);
    TBreakPoint* bp = BreakPoints[0];
    QVERIFY(Edit(bp, [](TBreakEditForm* d) {
      d->CInstruction->click();
      d->CUseCount->click();
      d->EMaxCount->SetValue(3);
      d->BOK->click();
    }));
    QCOMPARE(Row(bp), (QStringList{"", "0", "3", "immer"}));
    QCOMPARE(bp->Instruction, 0x800001);  // kept, though unbound
    f->ADRunExecute();
    QCOMPARE(TheState.GetReg(1), 2);  // addi, beqz, addi
    QCOMPARE(TheState.GetReg(-1), 0x800002);
    f->ADRunExecute();
    QCOMPARE(TheState.GetReg(1), 3);  // beqz, addi, beqz
    QCOMPARE(TheState.GetReg(-1), 0x800001);
  }

  void counterKeepsAndLimitStepsDown() {
    Open(CountingLoop());
    auto* bp = NewBreakPoint([](TBreakPoint* b) {
      b->UseCount = true;
      b->ActCount = 5;
      b->MaxCount = 10;
    });
    QVERIFY(Edit(bp, [](TBreakEditForm* d) {
      QCOMPARE(d->EActCount->text(), QString("5"));
      QCOMPARE(d->EMaxCount->text(), QString("10"));
      QCOMPARE(d->EActCount->MaxValue(), 9);
      d->BOK->click();
    }));
    QCOMPARE(bp->ActCount, 5);
    QCOMPARE(bp->MaxCount, 10);
    QVERIFY(Edit(bp, [](TBreakEditForm* d) {
      for (int i = 0; i < 6; ++i) QTest::keyClick(d->EMaxCount, Qt::Key_Down);
      QCOMPARE(d->EMaxCount->text(), QString("4"));
      QCOMPARE(d->EActCount->text(), QString("3"));
      d->EActCount->stepUp();  // the count stays below the limit
      QCOMPARE(d->EActCount->text(), QString("3"));
      d->BOK->click();
    }));
    QCOMPARE(bp->ActCount, 3);
    QCOMPARE(bp->MaxCount, 4);
    QCOMPARE(Row(bp), (QStringList{"", "3", "4", "immer"}));
    // Enter from a field holding a limit below its bound confirms the bound,
    // as a click on OK (which takes the focus first) would.
    QVERIFY(Edit(bp, [](TBreakEditForm* d) {
      d->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(d));
      d->EMaxCount->setFocus();
      QVERIFY(d->EMaxCount->hasFocus());
      d->EMaxCount->Editor()->setText("1");
      QTest::keyClick(d->EMaxCount, Qt::Key_Return);
    }));
    QCOMPARE(bp->MaxCount, 2);
    QCOMPARE(bp->ActCount, 0);
  }

  // A counter field the user empties reads as its lower bound, whether
  // Enter confirms from it or the focus leaves it before OK.
  void emptiedCounterFieldReadsItsLowerBound() {
    Open(CountingLoop());
    struct TCase {
      TSpinEdit* TBreakEditForm::*Field;
      Qt::Key Finish;
      int Act, Max;
    } cases[] = {{&TBreakEditForm::EActCount, Qt::Key_Return, 0, 10}, {&TBreakEditForm::EMaxCount, Qt::Key_Tab, 1, 2}};
    for (const TCase& c : cases) {
      auto* bp = NewBreakPoint([](TBreakPoint* b) {
        b->UseCount = true;
        b->ActCount = 5;
        b->MaxCount = 10;
      });
      QVERIFY(Edit(bp, [&](TBreakEditForm* d) {
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d));
        TSpinEdit* field = d->*c.Field;
        QTest::mouseClick(field->Editor(), Qt::LeftButton);
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QCOMPARE(field->text(), QString());
        QTest::keyClick(QApplication::focusWidget(), c.Finish);
        if (d->isVisible()) d->BOK->click();
      }));
      QCOMPARE(bp->ActCount, c.Act);
      QCOMPARE(bp->MaxCount, c.Max);
      delete bp;
    }
  }

  void fieldsCleanWhatIsTyped() {
    Open(CountingLoop());
    auto* bp = NewBreakPoint([](TBreakPoint* b) {
      b->LockPosition = true;
      b->Position = 0x1000;
      b->LockValue = true;
      b->Value = 0xabcdef12;
    });
    QVERIFY(Edit(bp, [](TBreakEditForm* d) {
      d->RLockRegister->click();
      d->ELockRegister->setCursorPosition(1);
      QTest::keyClicks(d->ELockRegister, "4");
      QCOMPARE(d->ELockRegister->text(), QString("R31"));
      QTest::keyClicks(d->ELockRegister, "5");
      QCOMPARE(d->ELockRegister->text(), QString("R31"));
      d->ELockRegister->setText("R");
      QCOMPARE(d->ELockRegister->text(), QString("R00"));

      d->RLockPosition->click();
      d->ELockPosition->setCursorPosition(5);
      QTest::keyClicks(d->ELockPosition, "G");
      QCOMPARE(d->ELockPosition->text(), QString("$00000000"));
      QCOMPARE(d->ELockPosition->cursorPosition(), 6);
      QTest::keyClicks(d->ELockPosition, "Ab7");
      QCOMPARE(d->ELockPosition->text(), QString("$000000b7"));
      d->ELockValue->setCursorPosition(1);
      QTest::keyClick(d->ELockValue, Qt::Key_Delete);
      QCOMPARE(d->ELockValue->text(), QString("$0bcdef12"));
      d->ELockValue->setText("$FFFFFFFF");
      QCOMPARE(d->ELockValue->text(), QString("$00000000"));
      d->ELockValue->setText("$ffffffff");
      d->BOK->click();
    }));
    QCOMPARE(bp->Position, 0xb7);
    QCOMPARE(bp->Register, 0);
    QCOMPARE(bp->Value, 0xffffffffu);
    QCOMPARE(Row(bp)[3], QString("Wenn Speicher $000000b7 den Wert $ffffffff hat"));
  }

  void cancelChangesNothing() {
    Open(CountingLoop());
    auto* bp = NewBreakPoint([](TBreakPoint* b) {
      b->LockPosition = true;
      b->Position = 0x1000;
      b->Value = 9;
      b->UseCount = true;
      b->ActCount = 1;
      b->MaxCount = 4;
    });
    const auto before = Fields(bp);
    const QStringList row = Row(bp);
    auto scramble = [](TBreakEditForm* d) {
      d->CInstruction->click();
      d->RLockRegister->click();
      d->RLockValue->click();
      d->ELockValue->setText("$00000077");
      d->EMaxCount->SetValue(50);
      d->EActCount->SetValue(20);
    };
    QVERIFY(Edit(bp, [&](TBreakEditForm* d) {
      scramble(d);
      d->BCancel->click();
    }));
    QVERIFY(Edit(bp, [&](TBreakEditForm* d) {
      scramble(d);
      QTest::keyClick(d->ELockValue, Qt::Key_Escape);
    }));
    QVERIFY(Edit(bp, [&](TBreakEditForm* d) {
      scramble(d);
      d->close();
    }));
    QVERIFY(Fields(bp) == before);
    QCOMPARE(Row(bp), row);
    // A breakpoint destroyed under its open dialog closes it unwritten.
    QVERIFY(Edit(bp, [&](TBreakEditForm* d) {
      delete bp;
      QVERIFY(!d->EditedBreakPoint && !d->isVisible());
    }));
    QCOMPARE(LV()->topLevelItemCount(), 0);
  }

  void switchingAWatchKeepsItsFields() {
    Open(CountingLoop());
    auto* mem = NewBreakPoint([](TBreakPoint* b) {
      b->UseInstruction = true;
      b->Instruction = 0x800002;
      b->LockPosition = true;
      b->Position = 0x1000;
      b->Value = 5;
    });
    QVERIFY(Edit(mem, [](TBreakEditForm* d) {
      d->RLockNone->click();
      QVERIFY(d->BOK->isEnabled());  // the instruction binding remains
      d->BOK->click();
    }));
    QVERIFY(!mem->LockPosition);
    QCOMPARE(mem->Position, 0x1000);
    QCOMPARE(mem->Value, 5u);
    QVERIFY(FindByMemory(0x1000) == nullptr);
    QCOMPARE(Row(mem), (QStringList{"$00800002", "--", "--", "immer"}));

    // A value watch turned into a change watch takes the shown value as its reference.
    auto* reg = NewBreakPoint([](TBreakPoint* b) {
      b->LockRegister = true;
      b->Register = 3;
      b->LockValue = true;
      b->Value = 0x2a;
    });
    QVERIFY(Edit(reg, [](TBreakEditForm* d) {
      d->RLockChange->click();
      QVERIFY(!d->ELockValue->isEnabled());
      d->BOK->click();
    }));
    QVERIFY(!reg->LockValue);
    QCOMPARE(reg->Value, 0x2au);
    QCOMPARE(Row(reg)[3], QString("Wenn R03 sich ändert"));
  }

  void movedMemoryWatchRepaintsBothWordsInEveryInspector() {
    auto* f = Open(CountingLoop());
    f->ADMemInspectExecute();
    f->ADMemInspectExecute();
    QCOMPARE(Inspectors.size(), size_t(2));
    for (TMemoryForm* m : Inspectors) QVERIFY(QTest::qWaitForWindowExposed(m));
    auto* watch = NewBreakPoint([](TBreakPoint* b) {
      b->LockPosition = true;
      b->Position = 0x800001;
    });
    FlushInspectors();
    // The background of a word's cell, at the top edge above its digits.
    auto paper = [](TMemoryForm* m, int32_t address) {
      const QImage image = m->Box->grab().toImage();
      int32_t at = 0;
      for (int x = 0; x < m->Box->width(); ++x)
        if (m->WordAt(x, 0, at) && at == address) return image.pixelColor(x + 1, 0);
      return QColor();
    };
    for (TMemoryForm* m : Inspectors) QCOMPARE(paper(m, 0x800001), QColor(Qt::red));

    QVERIFY(Edit(watch, [](TBreakEditForm* d) { d->BCancel->click(); }));
    for (TMemoryForm* m : Inspectors) QVERIFY(!m->IsPending(0x800001));
    QVERIFY(Edit(watch, [](TBreakEditForm* d) {
      d->ELockPosition->setText("$00800002");
      d->BOK->click();
    }));
    for (TMemoryForm* m : Inspectors) {
      QVERIFY(m->IsPending(0x800001));
      QVERIFY(m->IsPending(0x800002));
      QVERIFY(!m->IsPending(0x800003));
    }
    QCoreApplication::processEvents();
    for (TMemoryForm* m : Inspectors) {
      QVERIFY(!m->IsPending(0x800002));
      QCOMPARE(paper(m, 0x800001), QColor(Qt::white));
      QCOMPARE(paper(m, 0x800002), QColor(Qt::red));
    }
  }

  void spinFieldBounds() {
    TSpinEdit spin(nullptr);
    spin.SetMinValue(2);
    spin.SetMaxValue(100000);
    spin.SetValue(0);
    QCOMPARE(spin.Value(), 2);
    spin.SetValue(200000);
    QCOMPARE(spin.Value(), 100000);
    spin.stepUp();
    QCOMPARE(spin.Value(), 100000);
    spin.Editor()->setText("7x");
    QCOMPARE(spin.Value(), 2);  // not a whole number: the lower bound
    spin.Editor()->setText("500000");
    QCOMPARE(spin.Value(), 500000);  // typed, still focused
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&spin, &out);
    QCOMPARE(spin.Value(), 100000);
    spin.SetMaxValue(2);  // equal bounds: no bound at all
    spin.SetValue(-7);
    QCOMPARE(spin.Value(), -7);
    spin.SetValue(INT32_MAX);
    spin.stepUp();
    QCOMPARE(spin.Value(), INT32_MIN);
  }

  void editDuringADisplayedRun() {
    auto* f = Open(CountingLoop());
    auto* bp = NewBreakPoint([](TBreakPoint* b) {
      b->UseCount = true;
      b->MaxCount = 1000000;
    });
    ShowList();
    int passes = 0;
    bool running = false;
    int32_t countAtOK = -1, pcAtOK = -1;
    TDialogAnswer answer([&](TBreakEditForm* d) {
      running = f->Running() && !Stopped;
      d->EMaxCount->SetValue(2);
      d->EActCount->SetValue(1);
      countAtOK = TheState.GetReg(1);
      pcAtOK = TheState.GetReg(-1);
      d->BOK->click();
    });
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
      if (++passes != 5) return;
      const QRect rect = LV()->visualItemRect(static_cast<QTreeWidgetItem*>(bp->Item));
      QTest::mouseDClick(LV()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    });
    timer.start(0);
    f->ADRunExecute();
    timer.stop();
    QCOMPARE(answer.Seen, 1);
    QVERIFY(running);
    QVERIFY(Stopped);
    // The evaluation right after the dialog saw the new limit: no further step.
    QCOMPARE(TheState.GetReg(1), countAtOK);
    QCOMPARE(TheState.GetReg(-1), pcAtOK);
    QCOMPARE(bp->ActCount, 0);
    QCOMPARE(Row(bp), (QStringList{"", "0", "2", "immer"}));
  }
};

QTEST_MAIN(BreakFormTest)
#include "breakform_test.moc"
