// What the session adds to the windows, driven by keys and menu items as a
// person would: changed registers, going to an address or label, showing
// the program counter, remembered settings and windows, recent files and
// reloading a changed file. Settings live in a temporary folder only.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

#include <filesystem>

#include "asm/Program.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/GotoDialog.h"
#include "ui/MemoryForm.h"
#include "ui/Session.h"
#include "ui/SessionFeatures.h"

using namespace enc;

namespace {

// A source with two labels: start at $800001, done at $800002.
const char* const LabelledSource = ".code $800000\n.header\nstart: addi R01,R00,7\ndone: beqz R00,done\n";

}  // namespace

class SessionFeaturesTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TTempDir> Dir;
  std::unique_ptr<TSession> Session;
  std::unique_ptr<TMainForm> Form;
  TSessionFeatures* Features = nullptr;

  QString Ini() const { return QString::fromStdString(Dir->Path + "/config/tavora.ini"); }
  QString File(const char* name, const std::string& text) { return QString::fromStdString(Dir->File(name, text)); }

  // A main window as the program starts it: the file on the command line,
  // then the session's features attached.
  TMainForm* Start(const QStringList& args) {
    Form.reset();
    Session.reset();
    ResetCore();
    SourceFileName.clear();
    Stopped = false;
    RecordMessageBoxes();
    Session = std::make_unique<TSession>(Ini());
    Form = std::make_unique<TMainForm>(args);
    Features = new TSessionFeatures(Form.get(), Session.get());
    Form->show();
    Form->activateWindow();
    (void)QTest::qWaitForWindowActive(Form.get());
    return Form.get();
  }
  void Stop() {
    Form.reset();
    Session.reset();
  }

  // The font and colours the register grid draws a cell with.
  struct TDrawn {
    bool Bold;
    QColor Ink, Paper;
  };
  TDrawn Drawn(int col, int row) {
    TCellFont font{Form->Registers->font(), QColor(0, 0, 0)};
    TAlignment alignment = taCenter;
    QColor paper(0xFF, 0xFF, 0xFF);
    Form->Registers->OnGetDrawValues(Form->Registers, col, row, font, alignment, paper);
    return {font.Font.bold(), font.Color, paper};
  }

  // Presses Ctrl+G on the window and types the entries into the dialog it
  // opens, each followed by Enter; returns the messages of refused entries.
  QStringList GoTo(QWidget* window, const QStringList& entries) {
    // Keys reach shortcuts only in an active window.
    window->activateWindow();
    (void)QTest::qWaitForWindowActive(window);
    // The offscreen platform does not pass activation on to a tool window.
    QApplication::setActiveWindow(window);
    auto messages = std::make_shared<QStringList>();
    auto seen = std::make_shared<bool>(false);
    QTimer::singleShot(0, [=] {
      auto* dialog = dynamic_cast<TGotoDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      *seen = true;
      for (const QString& entry : entries) {
        dialog->Edit->clear();
        QTest::keyClicks(dialog->Edit, entry);
        QTest::keyClick(dialog->Edit, Qt::Key_Return);
        if (!dialog->isVisible()) break;
        *messages << dialog->Message->text();
      }
      if (dialog->isVisible()) dialog->reject();
    });
    QTest::keyClick(window, Qt::Key_G, Qt::ControlModifier);
    if (!*seen) messages->append("no dialog");
    return *messages;
  }

 private slots:
  void init() { Dir = std::make_unique<TTempDir>(); }
  void cleanup() {
    Stop();
    Dir.reset();
    SourceFileName.clear();
    ResetCore();
  }

  void changedRegistersAreBoldBlueUntilTheNextStop() {
    auto* f = Start({File("prog.cod", CodImage({Addi(1, 0, 5), Addi(2, 0, 9), Addi(3, 0, 1), IdleLoopWord}))});
    const QColor blue(0, 0, 0xFF), white(0xFF, 0xFF, 0xFF), red(0xFF, 0, 0);
    QVERIFY(!Drawn(1, 2).Bold);  // nothing is marked after the start
    QTest::keyClick(f, Qt::Key_F8);
    QVERIFY(Drawn(1, 2).Bold);
    QCOMPARE(Drawn(1, 2).Ink, blue);
    QVERIFY(!Drawn(0, 2).Bold);  // the name stays plain
    QVERIFY(!Drawn(1, 3).Bold);
    // A watched register keeps white on red and is bold.
    QTest::mouseClick(f->Registers->viewport(), Qt::LeftButton, Qt::NoModifier,
                      f->Registers->visualRect(f->Registers->model()->index(3, 0)).center());
    QTest::keyClick(f, Qt::Key_F8);
    QVERIFY(!Drawn(1, 2).Bold);  // R01 did not change this time
    const TDrawn watched = Drawn(1, 3);
    QVERIFY(watched.Bold);
    QCOMPARE(watched.Ink, white);
    QCOMPARE(watched.Paper, red);
    // The fast run compares once at its end.
    QTest::keyClick(f, Qt::Key_F9, Qt::ShiftModifier);
    QVERIFY(Drawn(1, 4).Bold && !Drawn(1, 3).Bold);
    // The menu item switches the marks off and is remembered.
    f->MDebugger->actions().last()->trigger();
    QVERIFY(!Drawn(1, 4).Bold);
    QVERIFY(!Session->HighlightChanges());
    // A reset marks what it changed back.
    QTest::keyClick(f, Qt::Key_F2, Qt::ControlModifier);
    Features->AHighlight->trigger();
    QVERIFY(Drawn(1, 4).Bold && Drawn(1, 3).Bold && Drawn(1, 2).Bold);
  }

  void goToAddressOrLabelInTheCodeViewAndInspectors() {
    auto* f = Start({File("prog.s", LabelledSource)});
    QCOMPARE(GoTo(f, {"$800010"}), QStringList());
    QCOMPARE(f->TopAddress, 0x800010);
    QCOMPARE(f->ScrollBase, 0x800010);
    // A wrong entry keeps the dialog open with a message; a label works.
    QCOMPARE(
        GoTo(f, {"nowhere", "", "done+1"}),
        (QStringList{"„nowhere“ ist weder eine Adresse noch ein bekanntes Label.", "Bitte eine Adresse eingeben."}));
    QCOMPARE(f->TopAddress, 0x800003);
    // "PC anzeigen" brings the program counter's line back.
    f->ScrollBy(500, true);
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    QTest::keyClick(f, Qt::Key_P, Qt::ControlModifier);
    const int32_t pc = TheState.GetReg(-1);
    QVERIFY(f->TopAddress <= pc && pc < f->TopAddress + f->CodeBox->height() / f->LineHeight);
    // An inspector has its own Ctrl+G; the code view stays where it is.
    QTest::keyClick(f, Qt::Key_F4);
    TMemoryForm* inspector = Inspectors.back();
    const int32_t top = f->TopAddress;
    QCOMPARE(GoTo(inspector, {"start"}), QStringList());
    QCOMPARE(inspector->TopAddress, 0x800001);
    QCOMPARE(f->TopAddress, top);
  }

  void withoutASourceOnlyNumbersAreAddresses() {
    int32_t address = 0;
    QString message;
    for (const char* entry : {"$10", "x10", "0x10", "16"}) {
      QVERIFY2(ParseGotoAddress(entry, nullptr, address, message), entry);
      QCOMPARE(address, 16);
    }
    QVERIFY(!ParseGotoAddress("start", nullptr, address, message));
    QCOMPARE(message, QString("„start“ ist keine gültige Adresse."));
  }

  void branchTargetsAreNamedAndSourceLinesShownBeside() {
    auto* f = Start({File("prog.s", ".code $800000\n.header\nloop: addi R01,R01,1\t; zählen\n bnez R01,loop\n")});
    auto shown = [f](int32_t a) {
      std::string line = TheCPU.ListingLine(a);
      f->DecorateLine(a, line);
      return QString::fromStdString(line);
    };
    const QString plain = QString::fromStdString(TheCPU.ListingLine(0x800002));
    QCOMPARE(shown(0x800002), plain + " <loop>");
    Features->ASource->trigger();
    QVERIFY2(shown(0x800001).endsWith("  loop: addi R01,R01,1 ; z?hlen"), qPrintable(shown(0x800001)));
    QCOMPARE(shown(0x800003), QString::fromStdString(TheCPU.ListingLine(0x800003)));  // no word of the source
    // Both off: the plain listing, exactly.
    Features->ASymbols->trigger();
    Features->ASource->trigger();
    QCOMPARE(shown(0x800002), plain);
    QVERIFY(Session->ShowSymbols() == false);
  }

  void eachLoadHandsTheSymbolsOfItsOwnAssemblyToTheSession() {
    auto* f = Start({File("prog.s", LabelledSource)});
    QVERIFY(Session->Symbols() && Session->Symbols()->Find("done"));
    QCOMPARE(Session->SourceLines().at(2), std::string("start: addi R01,R00,7"));
    // The file is edited right after each load's reset: a session that read
    // and assembled it once more would show the edit's label.
    const QString other = File("other.s", ".code $800000\n.header\nagain: beqz R00,again\n");
    int edits = 0;
    connect(f, &TMainForm::ProcessorStopped, f, [&] {
      const std::string label = "edit" + std::to_string(++edits);
      Dir->File("other.s", ".code $800000\n.header\none: addi R01,R00,1\n" + label + ": beqz R00," + label + "\n");
    });
    auto has = [this](const char* label) { return Session->Symbols() && Session->Symbols()->Find(label); };
    QVERIFY(f->OpenFile(other));
    QVERIFY(has("again") && !has("edit1"));
    QCOMPARE(Session->SourceLines().size(), size_t(3));
    // Ctrl+F2 assembles the edited file.
    QTest::keyClick(f, Qt::Key_F2, Qt::ControlModifier);
    QVERIFY(has("edit1") && !has("edit2"));
    QCOMPARE(uint32_t(Session->Symbols()->Find("edit1")->Value), 0x800002u);
    // An image has neither symbols nor source lines.
    QVERIFY(f->OpenFile(File("prog.cod", CodImage({IdleLoopWord}))));
    QVERIFY(!Session->Symbols() && Session->SourceLines().empty());
  }

  void labelsTakeALineOfTheirOwnAndClicksStillHitTheirWord() {
    auto* f = Start({File("prog.s", ".code $800000\n.header\nloop: addi R01,R01,1\n bnez R01,loop\n")});
    const int lh = f->LineHeight;
    bool isLabel = false;
    // From $7ffffe: three words, the label line "loop:", then the PC's word.
    QCOMPARE(f->LineAddress(3, &isLabel), 0x800001);
    QVERIFY(isLabel);
    QCOMPARE(f->LineAddress(4, &isLabel), 0x800001);
    QVERIFY(!isLabel);
    QCOMPARE(f->LineAddress(5), 0x800002);
    QCOMPARE(PixelAt(f->CodeBox, f->CodeBox->width() - 3, 4 * lh + lh / 2), QColor(0xFF, 0xFF, 0));
    QCOMPARE(PixelAt(f->CodeBox, f->CodeBox->width() - 3, 3 * lh + lh / 2), QColor(0xFF, 0xFF, 0xFF));
    QTest::mouseClick(f->CodeBox, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5 * lh + 2));
    QVERIFY(FindByInstruction(0x800002));
    // Without symbols every line is one word again.
    Features->ASymbols->trigger();
    QCOMPARE(f->LineAddress(3, &isLabel), 0x800001);
    QVERIFY(!isLabel);
    QCOMPARE(PixelAt(f->CodeBox, f->CodeBox->width() - 3, 3 * lh + lh / 2), QColor(0xFF, 0xFF, 0));
  }

  void settingsAndWindowsAreRememberedAcrossStarts() {
    const QString prog = File("prog.cod", CodImage({Addi(1, 0, 5)}));
    auto* f = Start({prog});
    f->resize(800, 520);
    Features->AHighlight->trigger();
    Features->AAutoReload->trigger();
    QTest::keyClick(f, Qt::Key_F4);
    Inspectors.back()->ScrollBy(0x40, true);
    Inspectors.back()->resize(600, 220);
    QTest::keyClick(f, Qt::Key_F4);
    Inspectors.back()->close();  // a closed inspector does not come back
    f->close();
    Stop();

    f = Start({});
    QVERIFY(!Session->HighlightChanges());
    QVERIFY(!Features->AHighlight->isChecked());
    QVERIFY(Session->AutoReload());
    QCOMPARE(Session->RecentFiles(), QStringList{QFileInfo(prog).absoluteFilePath()});
    QCOMPARE(f->OpenFolder, QFileInfo(prog).absolutePath());
    QCOMPARE(f->size(), QSize(800, 520));
    QCOMPARE(Inspectors.size(), size_t(1));
    QCOMPARE(Inspectors[0]->TopAddress, 0x800040);
    QCOMPARE(Inspectors[0]->size(), QSize(600, 220));
  }

  void aBadSettingsFileMeansDefaults() {
    const char garbage[] = "\xff\xfe[\x01\n=\n[[[\0garbage";
    const std::string bad[] = {std::string(garbage, sizeof garbage - 1),
                               "[Optionen]\nZoom=abc\nGeaenderteRegisterHervorheben=vielleicht\n"
                               "[Fenster]\nInspektoren\\size=-3\nHauptfenster=@ByteArray(kaputt)\n"};
    for (const std::string& contents : bad) {
      std::filesystem::create_directories(Dir->Path + "/config");
      Dir->File("config/tavora.ini", contents);
      auto* f = Start({});
      QVERIFY(Session->HighlightChanges());
      QVERIFY(!Session->AutoReload());
      QCOMPARE(Session->Zoom(), 0);
      QVERIFY(Inspectors.empty());
      QVERIFY(f->isVisible());
      Stop();
    }
    // A folder where the file should be cannot be read or written.
    std::filesystem::remove_all(Dir->Path + "/config");
    std::filesystem::create_directories(Ini().toStdString());
    Start({});
    Session->SetZoom(3);
    QVERIFY(Session->HighlightChanges());
  }

  void recentFilesKeepTheLastEightAndDropMissingOnes() {
    auto* f = Start({});
    QStringList files;
    for (int i = 0; i < 10; ++i) {
      files.prepend(File(qPrintable(QString("p%1.cod").arg(i)), CodImage({Addi(1, 0, i)})));
      QVERIFY(f->OpenFile(files.first()));
    }
    QCOMPARE(Session->RecentFiles(), files.mid(0, 8));
    QCOMPARE(Features->MRecent->actions().size(), 8);
    // Choosing an older one opens it.
    Features->MRecent->actions()[3]->trigger();
    QCOMPARE(TheMemory.ReadWord(EntryAddress), Addi(1, 0, 6));
    QCOMPARE(Session->RecentFiles().first(), files[3]);
    // A file that is gone is removed with a message.
    std::filesystem::remove(files[5].toStdString());
    ShownMessages().clear();
    Features->MRecent->actions()[5]->trigger();
    QCOMPARE(ShownMessages(),
             QStringList{"Die Datei " + files[5] + " gibt es nicht mehr; sie wird aus der Liste entfernt."});
    QVERIFY(!Session->RecentFiles().contains(files[5]));
    QCOMPARE(Features->MRecent->actions().size(), 7);
  }

  void zoomChangesEveryListingTogetherAndClicksFollow() {
    auto* f = Start({});
    QTest::keyClick(f, Qt::Key_F4);
    TMemoryForm* inspector = Inspectors.back();
    const int line = f->LineHeight, cw = inspector->CharWidth, row = f->Registers->rowHeight(1);
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    QTest::keyClick(f, Qt::Key_Plus, Qt::ControlModifier);
    QTest::keyClick(f, Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(Session->Zoom(), 2);
    QVERIFY(f->LineHeight > line);
    QVERIFY(inspector->CharWidth > cw);
    QVERIFY(f->Registers->rowHeight(1) > row);
    QCOMPARE(f->Registers->font().pointSize(), 12);
    // A click still hits the line and the word under it.
    QTest::mouseClick(f->CodeBox, Qt::LeftButton, Qt::NoModifier, QPoint(5, 3 * f->LineHeight + 2));
    QVERIFY(FindByInstruction(f->TopAddress + 3));
    const int ncw = inspector->CharWidth;
    QTest::mouseClick(inspector->Box, Qt::LeftButton, Qt::NoModifier,
                      QPoint((12 + 9) * ncw + 3, inspector->LineHeight + 2));
    QVERIFY(FindByMemory(inspector->TopAddress + 1 + inspector->WordsPerLine()));
    // A new inspector comes at the current size; Ctrl+0 returns to the design sizes.
    QTest::keyClick(f, Qt::Key_F4);
    QCOMPARE(Inspectors.back()->CharWidth, ncw);
    QTest::keyClick(f, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(f->LineHeight, line);
    QCOMPARE(inspector->CharWidth, cw);
    QCOMPARE(f->Registers->rowHeight(1), row);
    QCOMPARE(f->PRegisters->width(), 252);
    QTest::keyClick(f, Qt::Key_Minus, Qt::ControlModifier);
    Stop();
    Start({});
    QCOMPARE(Session->Zoom(), -1);
    QVERIFY(Form->LineHeight < line);
  }

  void aChangedFileIsReloadedKeepingBreakpoints() {
    const QString prog = File("prog.cod", CodImage({Addi(1, 0, 5), IdleLoopWord}));
    auto* f = Start({prog});
    auto* bp = new TBreakPoint;
    bp->UseInstruction = true;
    bp->Instruction = 0x800002;
    Dir->File("prog.cod", CodImage({Addi(1, 0, 6), IdleLoopWord}));
    QTRY_VERIFY(Features->FileNote->text().contains("wurde geändert"));
    QCOMPARE(TheMemory.ReadWord(EntryAddress), Addi(1, 0, 5));  // nothing yet
    QTest::keyClick(f, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(TheMemory.ReadWord(EntryAddress), Addi(1, 0, 6));
    QCOMPARE(BreakPoints.size(), size_t(1));
    QCOMPARE(BreakPoints[0]->Instruction, 0x800002);
    // Invalid contents or a missing file leave the loaded image alone.
    Dir->File("prog.cod", ".CODE\n$800000\nzwei\n");
    QTRY_VERIFY(Features->FileNote->text().contains("wurde geändert"));
    QTest::keyClick(f, Qt::Key_R, Qt::ControlModifier);
    QVERIFY(Features->FileNote->text().contains("ungültig"));
    std::filesystem::remove(prog.toStdString());
    QTRY_VERIFY(Features->FileNote->text().contains("nicht mehr vorhanden"));
    QCOMPARE(TheMemory.ReadWord(EntryAddress), Addi(1, 0, 6));
    QVERIFY(ShownMessages().isEmpty());
    // A change during a run waits for the stop.
    Dir->File("prog.cod", CodImage({Addi(1, 0, 6), IdleLoopWord}));
    f->OpenFile(prog);
    Stopped = false;
    Dir->File("prog.cod", CodImage({Addi(1, 0, 9), IdleLoopWord}));
    QTest::qWait(200);
    QVERIFY(!Features->FileNote->text().contains("wurde geändert"));
    Stopped = true;
    f->ExecuteSingleStep();
    QVERIFY(Features->FileNote->text().contains("wurde geändert"));
    // Automatically: the new contents are there without a key.
    Dir->File("prog.cod", CodImage({Addi(1, 0, 7), IdleLoopWord}));
    f->OpenFile(prog);
    Features->AAutoReload->trigger();
    Dir->File("prog.cod", CodImage({Addi(1, 0, 8), IdleLoopWord}));
    QTRY_COMPARE(TheMemory.ReadWord(EntryAddress), Addi(1, 0, 8));
  }
};

QTEST_MAIN(SessionFeaturesTest)
#include "session_features_test.moc"
