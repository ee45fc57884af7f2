#include "widgets/VelEGrid.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

// A shown grid with the plain grid's default sizes: 64-pixel columns, 24-pixel rows, one
// fixed row, and about eight rows visible below it.
std::unique_ptr<TVelEGrid> MakeGrid(int cols, int rows) {
  auto grid = std::make_unique<TVelEGrid>();
  grid->SetColCount(cols);
  grid->SetRowCount(rows);
  grid->resize(cols * 64 + 40, 9 * 24 + 4);
  grid->show();
  if (!QTest::qWaitForWindowExposed(grid.get())) qWarning("grid window not exposed");
  return grid;
}

// "L2" locks column 2, "R3" row 3, "C3,5" the cell (3, 5), "H4" hides column 4.
void ApplyLocks(TVelEGrid& grid, const QString& locks) {
  for (const QString& lock : locks.split(' ', Qt::SkipEmptyParts)) {
    const QStringList n = lock.mid(1).split(',');
    switch (lock[0].toLatin1()) {
      case 'L': grid.LockColumn(n[0].toInt()); break;
      case 'R': grid.LockRow(n[0].toInt()); break;
      case 'C': grid.LockCell(n[0].toInt(), n[1].toInt()); break;
      case 'H': grid.HideColumn(n[0].toInt()); break;
    }
  }
}

QPoint Current(const TVelEGrid& grid) { return {grid.Col(), grid.Row()}; }

QPoint CellCentre(const TVelEGrid& grid, int col, int row) {
  return grid.visualRect(grid.model()->index(row, col)).center();
}

// The cell's rectangle in the coordinates of grid.grab(), without the grid line.
QRect CellRect(const TVelEGrid& grid, int col, int row) {
  return grid.visualRect(grid.model()->index(row, col)).translated(grid.viewport()->pos());
}

// Leftmost and rightmost pixel columns inside the cell's frame that differ from its background.
std::pair<int, int> InkSpan(const QImage& image, const QRect& cell, QRgb background) {
  int first = -1, last = -1;
  for (int x = cell.left() + 1; x < cell.right(); ++x)
    for (int y = cell.top() + 1; y < cell.bottom(); ++y)
      if (image.pixel(x, y) != background) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return {first, last};
}

}  // namespace

class TestVelEGrid : public QObject {
  Q_OBJECT

 private slots:
  void arrowKeys_data();
  void arrowKeys();
  void clicksAndProgrammaticMovesNeverLandOnLockedCells();
  void locksAndHiddenColumnsOnlyGrow();
  void headerFillsRowZeroOnly();
  void focusCellParksOnHiddenColumn();
  void gotoCellRefusesLockedCellsAndScrolls();
  void fixedRowStaysOnTop();
  void hintsFollowTheColumn();
  void editorGetsTheMaskAndHandsBackItsText();
  void editingNeverReachesLockedOrFixedCells();
  void handlerColoursAndAlignmentArePainted();
  void enterAndExitIgnoreTheEditor();
};

void TestVelEGrid::arrowKeys_data() {
  QTest::addColumn<int>("cols");
  QTest::addColumn<QString>("locks");
  QTest::addColumn<bool>("skip");
  QTest::addColumn<QPoint>("start");
  QTest::addColumn<int>("key");
  QTest::addColumn<QPoint>("expected");
  const int right = Qt::Key_Right, left = Qt::Key_Left, down = Qt::Key_Down, up = Qt::Key_Up;
  const QString odd = "L0 L2 L4";
  // Horizontal moves over locked and hidden columns.
  QTest::newRow("right over locked") << 5 << odd << true << QPoint(1, 2) << right << QPoint(3, 2);
  QTest::newRow("right at end, skip off") << 5 << odd << false << QPoint(3, 2) << right << QPoint(3, 2);
  QTest::newRow("right at end, skip on") << 5 << odd << true << QPoint(3, 2) << right << QPoint(1, 3);
  QTest::newRow("right at end of last row") << 5 << odd << true << QPoint(3, 5) << right << QPoint(3, 5);
  QTest::newRow("left over locked") << 5 << odd << true << QPoint(3, 2) << left << QPoint(1, 2);
  QTest::newRow("left at start, skip on") << 5 << odd << true << QPoint(1, 2) << left << QPoint(3, 1);
  QTest::newRow("left at start, skip off") << 5 << odd << false << QPoint(1, 2) << left << QPoint(1, 2);
  QTest::newRow("left at start of first row") << 5 << odd << true << QPoint(1, 1) << left << QPoint(1, 1);
  QTest::newRow("right over hidden") << 5 << "H2" << false << QPoint(1, 2) << right << QPoint(3, 2);
  QTest::newRow("right onto hidden last, skip on") << 5 << "H4" << true << QPoint(3, 2) << right << QPoint(0, 3);
  QTest::newRow("right onto hidden last, skip off") << 5 << "H4" << false << QPoint(3, 2) << right << QPoint(3, 2);
  // Wrapping from the last or first column itself.
  QTest::newRow("wrap right") << 5 << "" << true << QPoint(4, 2) << right << QPoint(0, 3);
  QTest::newRow("wrap right onto locked") << 5 << "L0" << true << QPoint(4, 2) << right << QPoint(1, 3);
  QTest::newRow("no wrap right, skip off") << 5 << "" << false << QPoint(4, 2) << right << QPoint(4, 2);
  QTest::newRow("wrap left") << 5 << "" << true << QPoint(0, 3) << left << QPoint(4, 2);
  QTest::newRow("wrap left onto locked") << 5 << "L4" << true << QPoint(0, 3) << left << QPoint(3, 2);
  // Vertical moves onto locked cells: the nearer unlocked cell, the right one on a tie.
  QTest::newRow("down, left nearer") << 7 << "C3,3 C4,3" << true << QPoint(3, 2) << down << QPoint(2, 3);
  QTest::newRow("down, right nearer") << 7 << "C2,3 C3,3" << true << QPoint(3, 2) << down << QPoint(4, 3);
  QTest::newRow("down, tie") << 7 << "C2,3 C3,3 C4,3" << true << QPoint(3, 2) << down << QPoint(5, 3);
  QTest::newRow("down, left only") << 7 << "C3,3 C4,3 C5,3 C6,3" << true << QPoint(3, 2) << down << QPoint(2, 3);
  QTest::newRow("down, right only") << 7 << "C0,3 C1,3 C2,3 C3,3" << true << QPoint(3, 2) << down << QPoint(4, 3);
  QTest::newRow("down, row locked, skip on") << 7 << "R3" << true << QPoint(3, 2) << down << QPoint(3, 4);
  QTest::newRow("down, row locked, skip off") << 7 << "R3" << false << QPoint(3, 2) << down << QPoint(3, 2);
  QTest::newRow("down, nothing below") << 7 << "R5" << true << QPoint(3, 4) << down << QPoint(3, 4);
  QTest::newRow("up, tie") << 7 << "C2,1 C3,1 C4,1" << true << QPoint(3, 2) << up << QPoint(5, 1);
  QTest::newRow("up, row locked, skip on") << 7 << "R2" << true << QPoint(3, 3) << up << QPoint(3, 1);
  QTest::newRow("up, row locked, skip off") << 7 << "R2" << false << QPoint(3, 3) << up << QPoint(3, 3);
  QTest::newRow("up, stops at fixed row") << 7 << "" << true << QPoint(3, 1) << up << QPoint(3, 1);
}

void TestVelEGrid::arrowKeys() {
  QFETCH(int, cols);
  QFETCH(QString, locks);
  QFETCH(bool, skip);
  QFETCH(QPoint, start);
  QFETCH(int, key);
  QFETCH(QPoint, expected);
  auto grid = MakeGrid(cols, 6);
  ApplyLocks(*grid, locks);
  grid->SetSkipToNextRow(skip);
  grid->FocusCell(start.x(), start.y());
  QTest::keyClick(grid.get(), Qt::Key(key));
  QCOMPARE(Current(*grid), expected);
  const QModelIndexList selected = grid->selectionModel()->selectedIndexes();
  QCOMPARE(selected.size(), 1);
  QCOMPARE(QPoint(selected[0].column(), selected[0].row()), expected);
}

void TestVelEGrid::clicksAndProgrammaticMovesNeverLandOnLockedCells() {
  auto grid = MakeGrid(5, 6);
  grid->LockColumn(2);
  QList<QPoint> presses;
  grid->OnMouseDown = [&](TVelEGrid* sender, Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    QCOMPARE(sender, grid.get());
    QCOMPARE(button, Qt::LeftButton);
    int col, row;
    sender->MouseToCell(x, y, col, row);
    presses.append({col, row});
    QCOMPARE(Current(*sender), QPoint(3, 2));  // called before the grid reacts
  };
  grid->FocusCell(1, 2);
  QTest::keyClick(grid.get(), Qt::Key_Right);  // leaves Right as the last key
  QCOMPARE(Current(*grid), QPoint(3, 2));

  // A click on a locked cell: no move, and no search to the right of it either.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, CellCentre(*grid, 2, 3));
  QCOMPARE(Current(*grid), QPoint(3, 2));
  QCOMPARE(presses, QList<QPoint>{QPoint(2, 3)});

  // Neither the base view's own calls nor Page Up take the cursor onto locked or fixed cells.
  grid->setCurrentCell(4, 2);
  grid->setCurrentCell(0, 3);
  QCOMPARE(Current(*grid), QPoint(3, 2));
  QTest::keyClick(grid.get(), Qt::Key_PageUp);
  QCOMPARE(Current(*grid), QPoint(3, 1));

  // Allowed moves still report through the table's own signals.
  grid->OnMouseDown = nullptr;
  QSignalSpy moves(grid.get(), &QTableWidget::currentCellChanged);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, CellCentre(*grid, 4, 4));
  QCOMPARE(Current(*grid), QPoint(4, 4));
  grid->setCurrentCell(2, 1);
  QCOMPARE(Current(*grid), QPoint(1, 2));
  QCOMPARE(moves.size(), 2);
  QCOMPARE(moves[1], (QVariantList{2, 1, 4, 4}));
}

void TestVelEGrid::locksAndHiddenColumnsOnlyGrow() {
  auto grid = MakeGrid(6, 6);
  grid->SetColWidths(2, 80);
  grid->HideColumn(2);
  QCOMPARE(grid->ColWidths(2), 0);
  QCOMPARE(grid->HiddenColWidth(2), 80);
  QVERIFY(grid->IsColumnHidden(2) && grid->IsColumnLocked(2));
  grid->SetColWidths(2, 30);
  grid->HideColumn(2);  // already hidden: nothing changes, not even the width
  QCOMPARE(grid->HiddenColWidth(2), 80);
  QCOMPARE(grid->ColWidths(2), 30);
  QCOMPARE(grid->HiddenColWidth(3), -1);

  grid->LockColumn(4);
  grid->LockColumn(4);
  grid->LockRow(3);
  grid->LockCell(1, 5);
  QVERIFY(grid->IsColumnLocked(4) && !grid->IsColumnHidden(4));
  QVERIFY(grid->IsRowLocked(3) && !grid->IsRowLocked(5));
  QVERIFY(grid->IsCellLocked(4, 1) && grid->IsCellLocked(0, 3) && grid->IsCellLocked(1, 5));
  QVERIFY(!grid->IsCellLocked(1, 4) && !grid->IsCellLocked(0, 5) && !grid->IsColumnLocked(1));
}

void TestVelEGrid::headerFillsRowZeroOnly() {
  auto grid = MakeGrid(3, 4);
  grid->SetCells(2, 0, "keep");
  grid->SetHeader({"Reg"});
  QCOMPARE(grid->Cells(0, 0), QString("Reg"));
  QCOMPARE(grid->Cells(2, 0), QString("keep"));  // no item for it: left alone
  grid->SetHeader({"a", "b", "c", "d", "e"});
  QCOMPARE(grid->ColCount(), 3);
  QCOMPARE(grid->Cells(1, 0) + grid->Cells(2, 0), QString("bc"));
  QCOMPARE(grid->Cells(1, 1), QString());
  grid->SetColCount(5);  // not written again when columns come later
  QCOMPARE(grid->Cells(3, 0), QString());
  QCOMPARE(grid->Header().size(), 5);
}

void TestVelEGrid::focusCellParksOnHiddenColumn() {
  auto grid = MakeGrid(5, 17);
  grid->HideColumn(4);
  grid->FocusCell(1, 1);
  grid->FocusCell(4, 1);
  QCOMPARE(Current(*grid), QPoint(4, 1));
  QCOMPARE(grid->selectionModel()->selectedIndexes(), QModelIndexList{grid->model()->index(1, 4)});
  const QImage image = grid->grab().toImage();
  const QRgb highlight = grid->palette().color(QPalette::Highlight).rgb();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      QVERIFY2(image.pixel(x, y) != highlight, "a visible cell shows as selected");

  grid->FocusCell(1, 0);  // fixed row
  grid->FocusCell(7, 1);  // no such column
  QCOMPARE(Current(*grid), QPoint(4, 1));
  grid->FocusCell(1, 16);  // far below: no scrolling
  QCOMPARE(Current(*grid), QPoint(1, 16));
  QCOMPARE(grid->TopRow(), 1);
}

void TestVelEGrid::gotoCellRefusesLockedCellsAndScrolls() {
  auto grid = MakeGrid(5, 40);
  grid->LockColumn(2);
  grid->SetHints({"h0", "h1", "h2", "h3"});
  grid->FocusCell(1, 1);
  QVERIFY(!grid->GotoCell(2, 5));
  QVERIFY(!grid->GotoCell(1, 0));
  QVERIFY(!grid->GotoCell(5, 3));
  QCOMPARE(Current(*grid), QPoint(1, 1));
  QCOMPARE(grid->Hint(), QString());

  const int visible = grid->VisibleRowCount();
  QVERIFY(visible >= 5 && visible < 12);
  QVERIFY(grid->GotoCell(3, 30));
  QCOMPARE(Current(*grid), QPoint(3, 30));
  QCOMPARE(grid->TopRow(), 30 - visible + 1);
  QCOMPARE(grid->Hint(), QString("h3"));
  QVERIFY(grid->GotoCell(1, 20));  // above the top: one row of context above it
  QCOMPARE(grid->TopRow(), 19);
  QVERIFY(grid->GotoCell(1, 1));
  QCOMPARE(grid->TopRow(), 1);
  QCOMPARE(grid->Hint(), QString("h1"));
}

void TestVelEGrid::fixedRowStaysOnTop() {
  auto grid = MakeGrid(4, 40);
  grid->SetHeader({"Reg", "Inhalt"});
  grid->SetFixedColor(QColor(0, 0, 160));
  grid->SetTopRow(10);
  QCOMPARE(grid->TopRow(), 10);
  int col, row;
  grid->MouseToCell(CellCentre(*grid, 1, 10).x(), 5, col, row);
  QCOMPARE(QPoint(col, row), QPoint(1, 0));
  grid->MouseToCell(CellCentre(*grid, 1, 10).x(), CellCentre(*grid, 1, 10).y(), col, row);
  QCOMPARE(QPoint(col, row), QPoint(1, 10));
  grid->MouseToCell(4 * 64 + 10, 5, col, row);
  QCOMPARE(QPoint(col, row), QPoint(-1, 0));
  const QImage image = grid->grab().toImage();
  const QPoint inHeader = grid->viewport()->pos() + QPoint(64 + 60, 1);
  QCOMPARE(image.pixel(inHeader), grid->FixedColor().rgb());

  // Moving up from the top visible row scrolls that row out from under the fixed row.
  grid->FocusCell(1, 10);
  QTest::keyClick(grid.get(), Qt::Key_Up);
  QCOMPARE(Current(*grid), QPoint(1, 9));
  QCOMPARE(grid->TopRow(), 9);

  // A press on the fixed row reaches the hook but moves nothing.
  QWidget* fixedArea = grid->childAt(grid->viewport()->pos() + QPoint(10, 5));
  QVERIFY(fixedArea && fixedArea != grid->viewport());
  QPoint pressed(-5, -5);
  grid->OnMouseDown = [&](TVelEGrid*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) { pressed = {x, y}; };
  QTest::mouseClick(fixedArea, Qt::LeftButton, {}, QPoint(10, 5));
  QCOMPARE(pressed, QPoint(10, 5));
  QCOMPARE(Current(*grid), QPoint(1, 9));
}

void TestVelEGrid::hintsFollowTheColumn() {
  auto grid = MakeGrid(5, 4);
  grid->SetHints({"h0", "h1", "h2"});
  grid->LockColumn(0);
  grid->FocusCell(1, 1);
  QTest::keyClick(grid.get(), Qt::Key_Right);
  QCOMPARE(grid->Hint(), QString("h2"));
  QTest::keyClick(grid.get(), Qt::Key_Right);  // column 3 has no hint: the old one stays
  QCOMPARE(grid->Hint(), QString("h2"));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, CellCentre(*grid, 0, 2));
  QCOMPARE(grid->Hint(), QString("h0"));  // asked for the locked cell, though refused
  QCOMPARE(Current(*grid), QPoint(3, 1));
}

void TestVelEGrid::editorGetsTheMaskAndHandsBackItsText() {
  auto grid = MakeGrid(3, 4);
  grid->SetEditing(true);
  QPoint asked;
  grid->OnGetEditMask = [&](TVelEGrid*, int col, int row, QString& mask) {
    asked = {col, row};
    mask = "\\$NNNNNNNN\\ ;0";
  };
  grid->SetCells(1, 2, "$0000002a");
  grid->FocusCell(1, 2);
  QTest::keyClick(grid.get(), Qt::Key_F2);
  auto* editor = grid->viewport()->findChild<QLineEdit*>();
  QVERIFY(editor);
  QCOMPARE(asked, QPoint(1, 2));
  QVERIFY(!editor->inputMask().isEmpty());
  QCOMPARE(editor->displayText(), QString("$0000002a "));
  editor->setCursorPosition(1);
  QTest::keyClicks(editor, "f0");
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(grid->Cells(1, 2), QString("$f000002a "));
}

void TestVelEGrid::editingNeverReachesLockedOrFixedCells() {
  auto grid = MakeGrid(5, 4);
  grid->HideColumn(4);
  grid->SetCells(4, 1, "x");
  grid->FocusCell(4, 1);
  QTest::keyClick(grid.get(), Qt::Key_A);  // editing off
  grid->SetEditing(true);
  QTest::keyClick(grid.get(), Qt::Key_A);  // parked on a hidden, locked cell
  QTest::keyClick(grid.get(), Qt::Key_F2);
  QVERIFY(!grid->viewport()->findChild<QLineEdit*>());
  QCOMPARE(Current(*grid), QPoint(4, 1));  // and typing searched for no cell either
  QCOMPARE(grid->Cells(4, 1), QString("x"));
  grid->FocusCell(1, 1);
  QTest::keyClick(grid.get(), Qt::Key_B);
  QVERIFY(grid->viewport()->findChild<QLineEdit*>());
}

void TestVelEGrid::handlerColoursAndAlignmentArePainted() {
  auto grid = MakeGrid(3, 4);
  for (int col = 0; col < 3; ++col) grid->SetColWidths(col, 120);
  grid->resize(3 * 120 + 40, grid->height());
  QFont font = grid->font();
  font.setPixelSize(14);
  font.setStyleStrategy(QFont::NoAntialias);
  grid->setFont(font);
  grid->SetColor(QColor(255, 255, 200));
  grid->SetAlignment(taCenter);
  grid->SetHeader({"H0", "H1", "H2"});
  for (int col = 0; col < 3; ++col)
    for (int row = 1; row < 4; ++row) grid->SetCells(col, row, "MM");
  grid->OnGetDrawValues = [](TVelEGrid*, int col, int row, TCellFont& aFont, TAlignment& aAlignment, QColor& bgColor) {
    if (col == 2 && row == 2) {
      bgColor = Qt::red;
      aFont.Color = Qt::white;
    }
    if (col == 0) aAlignment = taRightJustify;
    if (col == 1) aAlignment = taLeftJustify;
  };
  grid->FocusCell(0, 1);
  const QImage image = grid->grab().toImage();
  const QRgb own = grid->Color().rgb();

  const QRect marked = CellRect(*grid, 2, 2);
  QCOMPARE(image.pixel(marked.topLeft()), own);
  QCOMPARE(image.pixel(marked.bottomRight()), own);
  QCOMPARE(image.pixel(marked.topLeft() + QPoint(1, 1)), QColor(Qt::red).rgb());
  int white = 0, other = 0;
  for (int x = marked.left() + 1; x < marked.right(); ++x)
    for (int y = marked.top() + 1; y < marked.bottom(); ++y) {
      const QRgb pixel = image.pixel(x, y);
      white += pixel == qRgb(255, 255, 255);
      other += pixel != qRgb(255, 255, 255) && pixel != QColor(Qt::red).rgb();
    }
  QVERIFY(white > 20);
  QCOMPARE(other, 0);

  // Text placement: right, left (both from the handler) and the grid's own centring. With
  // aliasing off the ink starts and ends exactly at the glyph bearings.
  const QFontMetrics metrics(font);
  const int textWidth = metrics.horizontalAdvance("MM");
  const int inkLeft = metrics.leftBearing('M'), inkRight = textWidth - metrics.rightBearing('M') - 1;
  const auto inkAt = [&](int col, TAlignment alignment) {
    const QRect cell = CellRect(*grid, col, 3);
    const int right = cell.left() + cell.width();
    const int x = alignment == taLeftJustify    ? cell.left() + 2
                  : alignment == taRightJustify ? right - textWidth - 2
                                                : cell.left() + cell.width() / 2 - textWidth / 2;
    const auto [first, last] = InkSpan(image, cell, own);
    return qAbs(first - (x + inkLeft)) <= 1 && qAbs(last - (x + inkRight)) <= 1;
  };
  QVERIFY(inkAt(0, taRightJustify));
  QVERIFY(inkAt(1, taLeftJustify));
  QVERIFY(inkAt(2, taCenter));

  // The plain colours underneath: fixed row, and the current cell of the
  // focused grid, which keeps the grid's colour inside a focus frame.
  QVERIFY(grid->hasFocus());
  QCOMPARE(image.pixel(CellRect(*grid, 1, 0).topLeft() + QPoint(1, 1)), grid->FixedColor().rgb());
  QCOMPARE(image.pixel(CellRect(*grid, 0, 1).topLeft()), grid->Color().rgb());
}

void TestVelEGrid::enterAndExitIgnoreTheEditor() {
  QWidget window;
  auto* grid = new TVelEGrid(&window);
  auto* other = new QLineEdit(&window);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(grid);
  layout->addWidget(other);
  grid->SetColCount(3);
  grid->SetRowCount(4);
  grid->SetEditing(true);
  int enters = 0, exits = 0;
  grid->OnEnter = [&](TVelEGrid*) { ++enters; };
  grid->OnExit = [&](TVelEGrid* sender) {
    ++exits;
    sender->FocusCell(2, 3);
  };
  window.show();
  window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  other->setFocus();
  QTRY_VERIFY(other->hasFocus());
  enters = exits = 0;
  grid->setFocus();
  QTRY_COMPARE(enters, 1);
  grid->FocusCell(1, 1);
  QTest::keyClick(grid, Qt::Key_F2);
  QTRY_VERIFY(grid->viewport()->findChild<QLineEdit*>() && grid->viewport()->findChild<QLineEdit*>()->hasFocus());
  QCOMPARE(exits, 0);
  QTest::keyClicks(QApplication::focusWidget(), "z");
  other->setFocus();
  QTRY_COMPARE(exits, 1);
  QCOMPARE(enters, 1);
  QCOMPARE(grid->Cells(1, 1), QString("z"));
  QCOMPARE(Current(*grid), QPoint(2, 3));
}

QTEST_MAIN(TestVelEGrid)
#include "velegrid_test.moc"
