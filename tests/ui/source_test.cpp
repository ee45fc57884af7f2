// Sources in the debugger: opened from the command line and the open
// dialog, assembled again by Ctrl+F2, and errors shown in one message box
// that leaves the loaded program alone.
#include <QFileDialog>
#include <QTimer>

#include "asm/Program.h"
#include "core/Loader.h"
#include "tests/ui/UiTestSupport.h"

namespace {

// Two instructions after the header; `mark` is the word of the first.
std::string Source(const std::string& mark) {
  return ".code $800000\n.header\nstart: addi R01,R00," + mark + "\ndone: beqz R00,done\n";
}

const char* const Broken = ".code $800000\n.header\naddi R01,R00\nbeqz R00,nowhere\n";

}  // namespace

class SourceTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TTempDir> Dir;

  TMainForm* Start(const QStringList& args) {
    Form.reset();
    ResetCore();
    SourceFileName.clear();
    Stopped = false;
    RecordMessageBoxes();
    Form = std::make_unique<TMainForm>(args);
    Form->show();
    Form->activateWindow();
    (void)QTest::qWaitForWindowActive(Form.get());
    return Form.get();
  }
  QString File(const char* name, const std::string& text) { return QString::fromStdString(Dir->File(name, text)); }

 private slots:
  void init() { Dir = std::make_unique<TTempDir>(); }
  void cleanup() {
    Form.reset();
    Dir.reset();
    SourceFileName.clear();
    ResetCore();
  }

  void commandLineSourceIsAssembledAndReset() {
    for (const char* name : {"prog.s", "PROG.ASM"}) {
      const QString path = File(name, Source("7"));
      auto* f = Start({path});
      QCOMPARE(ShownMessages(), QStringList());
      QCOMPARE(f->windowTitle(), "Orvane  [" + path + "]");
      QCOMPARE(TheMemory.ReadWord(EntryAddress), 0x24010007u);
      QCOMPARE(TheState.GetReg(-1), EntryAddress);
      QCOMPARE(f->NextCommand->text(), QString("$00800001:  24010007   addi  R01,R00,$0007"));
    }
  }

  // A source with an .include, a macro, strings and call/ret, opened as a
  // student would: Shift+F9 runs it to its idle loop.
  void exampleWithTheLanguagesConveniencesRuns() {
    auto* f = Start({QString(EXAMPLES_DIR) + "/strings.s"});
    QCOMPARE(ShownMessages(), QStringList());
    QTest::keyClick(f, Qt::Key_F9, Qt::ShiftModifier);
    QCOMPARE(TheState.GetReg(1), 14);
    // buffer follows the 15 words of greeting at $800200.
    QCOMPARE(TheMemory.ReadWord(0x80020f), uint32_t('!'));
  }

  void sourceWithoutHeaderWarnsLikeAnImage() {
    Start({File("nohead.s", ".code $800001\nbeqz R00,.\n")});
    // The load and the reset after it both build the image.
    QCOMPARE(ShownMessages(), (QStringList{HeaderWarning, HeaderWarning}));
  }

  void brokenSourceAtStartUpLeavesTheDefaultImage() {
    const QString path = File("broken.s", Broken);
    auto* f = Start({path});
    QCOMPARE(ShownMessages().size(), 1);
    QCOMPARE(ShownMessages()[0], "Fehler beim Assemblieren von " + path + ":\n\n" + path +
                                     ":3:1: error: addi expects 3 operands (Rb,Ra,IMM), found 2\n" + path +
                                     ":4:10: error: undefined label 'nowhere'");
    QCOMPARE(TheMemory.ReadWord(EntryAddress), IdleLoopWord);
    QCOMPARE(TheState.GetReg(-1), EntryAddress);
    QVERIFY(Stopped);
    QCOMPARE(f->windowTitle(), "Orvane  [" + path + "]");

    // Fixed and saved, Ctrl+F2 loads it.
    File("broken.s", Source("9"));
    QTest::keyClick(f, Qt::Key_F2, Qt::ControlModifier);
    QCOMPARE(TheMemory.ReadWord(EntryAddress), 0x24010009u);
    QCOMPARE(ShownMessages().size(), 1);
  }

  void openedSourceWithErrorsLeavesThePreviousProgram() {
    auto* f = Start({File("first.cod", CodImage({0x24010005, IdleLoopWord}))});
    QTest::keyClick(f, Qt::Key_F8);  // a step, so that a reset would show
    const QString title = f->windowTitle();
    QStringList messages;
    for (int k = 0; k < 30; ++k) messages << "bad" + QString::number(k);
    const QString path = File("many.s", ".code 0\n" + messages.join('\n').toStdString() + "\n");
    OpenFileHook = [&](QWidget*) { return path; };
    QTest::keyClick(f, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(ShownMessages().size(), 1);
    const QStringList lines = ShownMessages()[0].split('\n');
    QCOMPARE(lines.size(), 2 + 10 + 1);  // heading, blank, the first ten, how many in all
    QCOMPARE(lines[2], path + ":2:1: error: unknown mnemonic 'bad0'; expected an instruction or a directive");
    QCOMPARE(lines.last(), QString("... und weitere Fehler (insgesamt 30)"));
    QCOMPARE(TheState.GetReg(-1), EntryAddress + 1);
    QCOMPARE(TheState.GetReg(1), 5);
    QCOMPARE(f->windowTitle(), title);

    // Ctrl+F2 still resets the image loaded before.
    QTest::keyClick(f, Qt::Key_F2, Qt::ControlModifier);
    QCOMPARE(TheState.GetReg(-1), EntryAddress);
    QCOMPARE(TheMemory.ReadWord(EntryAddress), 0x24010005u);
  }

  void resetAssemblesTheEditedSourceAgain() {
    const QString path = File("edit.s", Source("1"));
    auto* f = Start({path});
    QTest::keyClick(f, Qt::Key_F8);
    QCOMPARE(TheState.GetReg(1), 1);

    File("edit.s", Source("2"));
    QTest::keyClick(f, Qt::Key_F2, Qt::ControlModifier);
    QCOMPARE(TheMemory.ReadWord(EntryAddress), 0x24010002u);
    QCOMPARE(TheState.GetReg(-1), EntryAddress);
    QCOMPARE(TheState.GetReg(1), 0);

    // A saved mistake: one message, and the program stays as it is.
    QTest::keyClick(f, Qt::Key_F8);
    File("edit.s", Broken);
    QTest::keyClick(f, Qt::Key_F2, Qt::ControlModifier);
    QCOMPARE(ShownMessages().size(), 1);
    QVERIFY(ShownMessages()[0].contains(path + ":3:1: error:"));
    QCOMPARE(TheState.GetReg(-1), EntryAddress + 1);
    QCOMPARE(TheMemory.ReadWord(EntryAddress), 0x24010002u);

    // An image opened afterwards is reset as an image again.
    const QString image = File("after.cod", CodImage({0x24010003, IdleLoopWord}));
    OpenFileHook = [&](QWidget*) { return image; };
    QTest::keyClick(f, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(f, Qt::Key_F2, Qt::ControlModifier);
    QCOMPARE(ShownMessages().size(), 1);
    QCOMPARE(TheMemory.ReadWord(EntryAddress), 0x24010003u);
  }

  void openDialogOffersSources() {
    auto* f = Start({});
    QStringList filters;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      filters = dialog->nameFilters();
      dialog->reject();
    });
    QCOMPARE(ShowOpenDialog(f), QString());
    QCOMPARE(filters, (QStringList{"EPROM-Dateien (*.cod)", "Alle Dateien (*)", "Assembler-Quellen (*.s *.asm)"}));
  }
};

QTEST_MAIN(SourceTest)
#include "source_test.moc"
