// The debugger as a desktop program: Qt's own texts in German, every text
// of every window whole, the main window's smallest size, and the register
// grid's looks, all with the windows as the program shows them.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <cstdlib>
#include <functional>

#include "tests/support/Process.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/BreakEditForm.h"
#include "ui/BreakForm.h"
#include "ui/Desktop.h"
#include "ui/GotoDialog.h"
#include "ui/MemoryForm.h"
#include "ui/Session.h"

using namespace enc;

namespace {

QString Plain(QString text) { return text.remove('&'); }

// Every text of the window that does not fit where the style draws it, as
// "object: text".
QStringList CutTexts(QWidget* window) {
  QStringList cut;
  auto note = [&cut](QWidget* w, const QString& text) { cut << (w->metaObject()->className() + (": " + text)); };
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window)) continue;
    const QFontMetrics metrics(w->font());
    if (auto* label = qobject_cast<QLabel*>(w)) {
      if (label->wordWrap() || label->text().isEmpty() || label->textFormat() == Qt::RichText) continue;
      if (metrics.size(0, label->text()).width() > label->contentsRect().width()) note(w, label->text());
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      QStyle::SubElement contents;
      if (qobject_cast<QCheckBox*>(w))
        contents = QStyle::SE_CheckBoxContents;
      else if (qobject_cast<QRadioButton*>(w))
        contents = QStyle::SE_RadioButtonContents;
      else if (qobject_cast<QPushButton*>(w))
        contents = QStyle::SE_PushButtonContents;
      else
        continue;
      if (button->text().isEmpty()) continue;
      QStyleOptionButton option;
      option.initFrom(button);
      option.text = button->text();
      const int room = w->style()->subElementRect(contents, &option, w).width();
      if (metrics.size(Qt::TextShowMnemonic, button->text()).width() > room) note(w, Plain(button->text()));
    } else if (auto* header = qobject_cast<QHeaderView*>(w)) {
      const int margin = w->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, w);
      for (int s = 0; s < header->count(); ++s) {
        const QString text = header->model()->headerData(s, header->orientation()).toString();
        if (!header->isSectionHidden(s) && metrics.horizontalAdvance(text) + 2 * margin > header->sectionSize(s))
          note(w, text);
      }
    }
  }
  return cut;
}

// Runs `check` on the modal dialog that `open` starts, then closes it.
void WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& check) {
  bool seen = false;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    QVERIFY(dialog);
    seen = true;
    check(dialog);
    dialog->close();
  });
  open();
  QVERIFY(seen);
}

// The lowest row with ink of the text colour in a cell, left to right over
// the given columns: the baseline of text without descenders.
int Baseline(const QImage& image, const QRect& cell) {
  int lowest = -1;
  for (int y = cell.top(); y <= cell.bottom(); ++y)
    for (int x = cell.left(); x <= cell.right(); ++x)
      if (qGray(image.pixel(x, y)) < 80) lowest = y;
  return lowest - cell.top();
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TTempDir> Dir;

  TMainForm* Open(const std::string& image = CodImage({IdleLoopWord})) { return OpenMainForm(Form, *Dir, image); }

 private slots:
  void initTestCase() { InstallDesktopLook(*qApp); }
  void init() { Dir = std::make_unique<TTempDir>(); }
  void cleanup() {
    DestroyBreakForm();
    Form.reset();
    Dir.reset();
    ResetCore();
  }

  void qtTextsAreGerman() {
    auto* f = Open();
    QCOMPARE(f->AFOpen->shortcut().toString(QKeySequence::NativeText), QString("Strg+O"));
    QCOMPARE(f->ADRunFast->shortcut().toString(QKeySequence::NativeText), QString("Umschalt+F9"));
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList entries;
    for (QAction* a : menu->actions()) entries << Plain(a->text()).section('\t', 0, 0);
    QVERIFY2(entries.contains("Rückgängig") && entries.contains("Einfügen"), qPrintable(entries.join('|')));
    WithModal([f] { ShowMessageBox(f, "x", false); }, [](QWidget*) {});
    QMessageBox box(QMessageBox::NoIcon, "t", "x", QMessageBox::Yes | QMessageBox::Cancel);
    QCOMPARE(Plain(box.button(QMessageBox::Yes)->text()), QString("Ja"));
    QCOMPARE(Plain(box.button(QMessageBox::Cancel)->text()), QString("Abbrechen"));
  }

  void openDialogIsGermanAndNamesItsFiltersPlainly() {
    auto* f = Open();
    QStringList labels, buttons, filters;
    WithModal([f] { ShowOpenDialog(f); },
              [&](QWidget* dialog) {
                for (QLabel* l : dialog->findChildren<QLabel*>()) labels << Plain(l->text());
                for (QPushButton* b : dialog->findChildren<QPushButton*>()) buttons << Plain(b->text());
                auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
                QVERIFY(types);
                for (int i = 0; i < types->count(); ++i) filters << types->itemText(i);
                QCOMPARE(CutTexts(dialog), QStringList());
              });
    QVERIFY2(labels.contains("Suchen in:"), qPrintable(labels.join('|')));
    QVERIFY2(buttons.contains("Abbrechen") && buttons.contains("Öffnen"), qPrintable(buttons.join('|')));
    QCOMPARE(filters, (QStringList{"EPROM-Dateien", "Alle Dateien", "Assembler-Quellen"}));
  }

  // Sizes and dates in German whatever the environment's locale, in
  // columns wide enough for them at the dialog's first size.
  void openDialogListsFilesInGermanInColumnsThatFit() {
    auto* f = Open();
    const std::string name = Dir->File("notes.cod", std::string(182, 'x'));
    f->OpenFolder = QString::fromStdString(Dir->Path);
    WithModal([f] { ShowOpenDialog(f); },
              [&](QWidget* dialog) {
                auto* list = dialog->findChild<QTreeView*>("treeView");
                QVERIFY(list);
                QAbstractItemModel* model = list->model();
                QModelIndex row;
                QTRY_VERIFY((row = model
                                       ->match(model->index(0, 0, list->rootIndex()), Qt::DisplayRole, "notes.cod", 1,
                                               Qt::MatchExactly)
                                       .value(0))
                                .isValid());
                QCOMPARE(row.siblingAtColumn(1).data().toString(), QString("182 Bytes"));
                const QDateTime modified = QFileInfo(QString::fromStdString(name)).lastModified();
                QCOMPARE(row.siblingAtColumn(3).data().toString(), modified.toString("dd.MM.yy HH:mm"));
                // What each column's widest text and its heading need.
                const QAbstractItemView* view = list;
                for (int column = 0; column < 4; ++column)
                  QTRY_VERIFY2(list->columnWidth(column) >=
                                   std::max(view->sizeHintForColumn(column), list->header()->sectionSizeHint(column)),
                               qPrintable(QString::number(column)));
              });
  }

  void allFilesMatchesEveryFile() {
    auto* f = Open();
    Dir->File("notes", "x");
    Dir->File("image.cod", "x");
    // The names the file list offers as choosable under each filter.
    auto offered = [](QFileDialog* dialog) {
      QStringList names;
      auto* list = dialog->findChild<QListView*>("listView");
      const QModelIndex root = list->rootIndex();
      for (int r = 0; r < list->model()->rowCount(root); ++r) {
        const QModelIndex index = list->model()->index(r, 0, root);
        if (list->model()->flags(index) & Qt::ItemIsEnabled) names << index.data().toString();
      }
      names.sort();
      return names;
    };
    QStringList cod, all;
    WithModal([f] { ShowOpenDialog(f); },
              [&](QWidget* widget) {
                auto* dialog = qobject_cast<QFileDialog*>(widget);
                dialog->setDirectory(QString::fromStdString(Dir->Path));
                QVERIFY(QTest::qWaitFor([&] { return offered(dialog).size() == 2; }));
                cod = offered(dialog);
                dialog->selectNameFilter(dialog->nameFilters().at(1));
                QVERIFY(QTest::qWaitFor([&] { return offered(dialog).size() == 3; }));
                all = offered(dialog);
              });
    QCOMPARE(cod, (QStringList{"image.cod", "prog.cod"}));
    QCOMPARE(all, (QStringList{"image.cod", "notes", "prog.cod"}));
  }

  void barsHaveNoContextMenu() {
    auto* f = Open();
    for (QWidget* bar : {static_cast<QWidget*>(f->ToolBar), static_cast<QWidget*>(f->menuBar())}) {
      QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(bar->width() - 5, 5),
                              bar->mapToGlobal(QPoint(bar->width() - 5, 5)));
      QApplication::sendEvent(bar, &event);
      QVERIFY(!QApplication::activePopupWidget());
    }
    QVERIFY(f->ToolBar->isVisible());
  }

  void everyTextOfEveryWindowFits() {
    auto* f = Open();
    QCOMPARE(CutTexts(f), QStringList());
    CreateBreakForm();
    BreakForm->show();
    QCOMPARE(CutTexts(BreakForm), QStringList());
    auto* bp = new TBreakPoint;
    bp->UpdateView();
    TBreakEditForm dialog(BreakForm);
    dialog.LoadBreakPoint(bp);
    dialog.show();
    QCOMPARE(CutTexts(&dialog), QStringList());
    // Nothing overlaps inside a group, and every control stays inside it.
    for (QWidget* box : {static_cast<QWidget*>(dialog.GInstruction), static_cast<QWidget*>(dialog.GLock),
                         static_cast<QWidget*>(dialog.GCount), dialog.PValueLocker, static_cast<QWidget*>(&dialog)}) {
      QList<QWidget*> kids;
      for (QObject* o : box->children())
        if (auto* w = qobject_cast<QWidget*>(o)) kids << w;
      for (QWidget* a : kids) {
        QVERIFY2(box->rect().contains(a->geometry()),
                 qPrintable(a->objectName() + Plain(a->property("text").toString())));
        for (QWidget* b : kids)
          if (a != b && a->geometry().top() == b->geometry().top())
            QVERIFY2(!a->geometry().intersects(b->geometry()), qPrintable(Plain(a->property("text").toString())));
      }
    }
    // The design height stays; the width only ever grows.
    QCOMPARE(dialog.height(), 344);
    QVERIFY(dialog.width() >= 369);
    dialog.close();
    delete bp;
    OpenMemoryInspector(f);
    QCOMPARE(CutTexts(Inspectors.back()), QStringList());
    TGotoDialog jump(f, nullptr);
    jump.show();
    QCOMPARE(CutTexts(&jump), QStringList());
    jump.close();
    WithModal([f] { ShowMessageBox(f, "Datei x.cod kann nicht geöffnet werden", true); },
              [](QWidget* box) { QCOMPARE(CutTexts(box), QStringList()); });
  }

  void listHeadingsArePadded() {
    Open();
    CreateBreakForm();
    BreakForm->show();
    QHeaderView* header = BreakForm->LV->header();
    // A right-aligned heading keeps clear of the next one.
    QVERIFY(header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) >= 4);
    // The condition column still takes exactly the room the others leave.
    int sum = 0;
    for (int c = 0; c < 4; ++c) sum += BreakForm->LV->columnWidth(c);
    QCOMPARE(sum, BreakForm->LV->width() - 4);
  }

  void designGeometryStaysWhereTheTextFits() {
    // A face narrower than any default one: nothing needs to grow.
    TBreakEditForm dialog;
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
      QFont font = w->font();
      font.setPixelSize(6);
      w->setFont(font);
    }
    const QSize before = dialog.size();
    FitTexts(&dialog);
    QCOMPARE(dialog.size(), before);
    QCOMPARE(dialog.BOK->geometry(), QRect(192, 312, 75, 25));
    QCOMPARE(dialog.RLockPosition->geometry(), QRect(8, 24, 161, 17));
  }

  void mainWindowMinimumKeepsCodeNextInstructionAndStatusWhole() {
    auto* f = Open();
    f->resize(1, 1);
    QCoreApplication::processEvents();
    QVERIFY(f->width() < 718);
    const QString line = QString::fromStdString(TheCPU.ListingLine(0x800000));
    const QFontMetrics code(f->CodeBox->font());
    // Address, word and instruction of the widest instruction form.
    QVERIFY(f->CodeBox->width() >= 20 + code.horizontalAdvance("$00000000:  00000000   sltui R00,R00,$00000000"));
    QVERIFY(f->CodeBox->height() >= 8 * f->LineHeight);
    QCOMPARE(CutTexts(f), QStringList());
    const QString next = f->NextCommandText();
    QVERIFY(f->NextCommand->geometry().right() < f->PNextCommand->width());
    QVERIFY(QFontMetrics(f->NextCommand->font()).horizontalAdvance(next) <= f->NextCommand->width());
    QVERIFY(QFontMetrics(f->State->font()).horizontalAdvance(f->State->currentMessage()) + 24 <= f->State->width());
    Q_UNUSED(line);
  }

  void everythingFitsAtTheLargestZoom() {
    auto* f = Open();
    OpenMemoryInspector(f);
    TMemoryForm* inspector = Inspectors.back();
    f->SetZoom(TSession::MaxZoom);
    inspector->SetZoom(TSession::MaxZoom);
    f->resize(1, 1);
    inspector->resize(1, 1);
    QCoreApplication::processEvents();
    QCOMPARE(CutTexts(f), QStringList());
    QCOMPARE(CutTexts(inspector), QStringList());
    const QFontMetrics code(f->CodeBox->font());
    QVERIFY(f->CodeBox->width() >= 20 + code.horizontalAdvance("$00000000:  00000000   sltui R00,R00,$00000000"));
    QVERIFY(f->CodeBox->height() >= 8 * f->LineHeight);
    // Every register name and value inside its cell, every column in view.
    TVelEGrid* grid = f->Registers;
    const QFontMetrics cells(grid->font());
    int columns = 0;
    for (int c = 0; c < 4; ++c) {
      columns += grid->columnWidth(c);
      for (int r = 0; r < 17; ++r) {
        QVERIFY2(cells.horizontalAdvance(grid->Cells(c, r)) + 4 <= grid->columnWidth(c), qPrintable(grid->Cells(c, r)));
        QVERIFY(cells.height() <= grid->rowHeight(r));
      }
    }
    QVERIFY(columns <= grid->viewport()->width());
    // The inspector keeps the address and one whole word of a row.
    QCOMPARE(inspector->WordsPerLine(), 1);
    QVERIFY(inspector->Box->width() >= (12 + 9) * inspector->CharWidth);
    QVERIFY(inspector->Box->height() >= inspector->LineHeight);
  }

  void registerNamesAndValuesShareTheGridFontAndBaseline() {
    auto* f = Open();
    const QImage image = f->Registers->viewport()->grab().toImage();
    // R01: the row below the current cell and its focus frame.
    const int y = f->Registers->rowViewportPosition(2);
    const QRect name(f->Registers->columnViewportPosition(0), y, 40, 18);
    // From the second character on: the "$" reaches below the baseline.
    const QRect value(f->Registers->columnViewportPosition(1) + 12, y, 72, 18);
    QCOMPARE(Baseline(image, name), Baseline(image, value));
    TCellFont font{f->Registers->font(), Qt::black};
    TAlignment alignment = taCenter;
    QColor background;
    f->RegistersGetDrawValues(f->Registers, 0, 1, font, alignment, background);
    QCOMPARE(font.Font, f->Registers->font());
  }

  // Fitting the window's texts must not touch row heights: rows 10 and on
  // once grew by the width of a second digit of their hidden row numbers.
  void registerRowsShareOneHeight() {
    auto* f = Open();
    for (int row = 0; row < f->Registers->RowCount(); ++row) QCOMPARE(f->Registers->RowHeights(row), 18);
  }

  void currentCellHasAFocusFrameNotAHighlight() {
    auto* f = Open();
    f->Registers->setFocus();
    QVERIFY(QTest::qWaitFor([f] { return f->Registers->hasFocus(); }));
    QCOMPARE(f->Registers->Col(), 1);
    QCOMPARE(f->Registers->Row(), 1);
    const QImage image = f->Registers->viewport()->grab().toImage();
    const QRect cell(f->Registers->columnViewportPosition(1), f->Registers->rowViewportPosition(1), 84, 18);
    const QColor face = f->Registers->Color();
    // Inside the frame the cell has the grid's colour, like its neighbour.
    QCOMPARE(image.pixelColor(cell.right() - 4, cell.center().y()), face);
    QCOMPARE(image.pixelColor(cell.right() - 4, cell.center().y() + 18), face);
    // And a focus frame that the neighbour below does not have.
    int framed = 0, below = 0;
    for (int x = cell.left(); x <= cell.right(); ++x) {
      framed += image.pixelColor(x, cell.top() + 1) != face;
      below += image.pixelColor(x, cell.top() + 18 + 1) != face;
    }
    QVERIFY(framed > 10);
    QCOMPARE(below, 0);
  }

  void versionAndHelpNeedNoDisplay() {
    // Without a display a window would end the program with an error.
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    const TProcessResult version = RunProcess(TAVORA_PATH, {"--version"});
    const TProcessResult help = RunProcess(TAVORA_PATH, {"--help"});
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (display) setenv("DISPLAY", saved.c_str(), 1);
    QCOMPARE(version.Status, 0);
    QCOMPARE(QString::fromStdString(version.Out), QString("tavora " TAVORA_VERSION "\n"));
    QCOMPARE(help.Status, 0);
    QVERIFY(QString::fromStdString(help.Out).startsWith("Aufruf: tavora"));
  }

  void metricCompatibleFacesStandIn() {
    const QStringList installed = QFontDatabase::families();
    if (!installed.contains("Courier New") && installed.contains("Liberation Mono"))
      QCOMPARE(InstalledFace("Courier New"), QString("Liberation Mono"));
    QCOMPARE(InstalledFace("No Such Face"), QString("No Such Face"));
    for (const QString& face : installed.mid(0, 3)) QCOMPARE(InstalledFace(face), face);
  }

  void applicationIconInEverySize() {
    const QIcon icon = AppIcon();
    QVERIFY(!icon.isNull());
    for (int size : {16, 32, 48, 256}) QCOMPARE(icon.pixmap(size).width(), size);
    QVERIFY(!QApplication::windowIcon().isNull());
  }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
