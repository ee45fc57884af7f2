#include "widgets/VelEGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QStyledItemDelegate>

#include <algorithm>

// Every way the base view has of moving the current cell (arrow keys, clicks, drags,
// setCurrentIndex, the editor's Tab) ends in the selection model, so the lock test lives here:
// a move the grid refuses never happens. The selection is always the current cell alone; the
// view's own range selections are dropped.
class TVelEGrid::TSelectionGate : public QItemSelectionModel {
 public:
  TSelectionGate(QAbstractItemModel* model, TVelEGrid* grid) : QItemSelectionModel(model, grid), FGrid(grid) {}

  TVelEGrid* FGrid;  // cleared when the grid goes, before the base view tears down

  void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override {
    if (FGrid && !FGrid->AllowCurrent(index)) return;
    const bool outer = FOwnSelect;
    FOwnSelect = true;
    QItemSelectionModel::setCurrentIndex(index, index.isValid() ? ClearAndSelect : command);
    FOwnSelect = outer;
  }
  void select(const QModelIndex& index, SelectionFlags command) override {
    if (FOwnSelect) QItemSelectionModel::select(index, command);
  }
  void select(const QItemSelection& selection, SelectionFlags command) override {
    if (FOwnSelect) QItemSelectionModel::select(selection, command);
  }

 private:
  bool FOwnSelect = false;
};

// Paints through the grid's DrawCell and edits with a line edit that carries the owner's mask.
class TVelEGrid::TCellDelegate : public QStyledItemDelegate {
 public:
  explicit TCellDelegate(TVelEGrid* grid) : QStyledItemDelegate(grid), FGrid(grid) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int col = index.column(), row = index.row();
    if (row < FGrid->FFixedRows) return;  // covered by the fixed area, which paints these cells itself
    TGridDrawState state = 0;
    if (option.state & QStyle::State_Selected) state |= gdSelected;
    if (option.state & QStyle::State_HasFocus) state |= gdFocused;
    if (col < FGrid->FFixedCols) state |= gdFixed;
    FGrid->DrawCell(*painter, col, row, option.rect, state);
  }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    const QString mask = FGrid->GetEditMask(index.column(), index.row());
    if (!mask.isEmpty()) editor->setInputMask(mask);
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setText(index.data(Qt::EditRole).toString());
  }

  // With a mask, text() drops every position that holds the blank character (and so any
  // typed character equal to it); the cell gets what the editor shows, literals included.
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    if (auto* line = qobject_cast<QLineEdit*>(editor))
      model->setData(index, line->inputMask().isEmpty() ? line->text() : line->displayText(), Qt::EditRole);
  }

 private:
  TVelEGrid* FGrid;
};

// The fixed rows, laid over the top of the viewport so that they stay put while the rest
// scrolls underneath. A sibling of the viewport rather than a child: the viewport's scrolling
// would move its children along.
class TVelEGrid::TFixedArea : public QWidget {
 public:
  explicit TFixedArea(TVelEGrid* grid) : QWidget(grid), FGrid(grid) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter canvas(this);
    FGrid->PaintFixedRows(canvas, width());
  }
  // Its origin is the viewport's, so positions pass through unchanged.
  void mousePressEvent(QMouseEvent* event) override { FGrid->PressedAt(event); }
  void mouseDoubleClickEvent(QMouseEvent* event) override { FGrid->PressedAt(event); }
  void wheelEvent(QWheelEvent* event) override { FGrid->wheelEvent(event); }

 private:
  TVelEGrid* FGrid;
};

TVelEGrid::TVelEGrid(QWidget* parent) : QTableWidget(parent) {
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setMinimumSectionSize(0);
  verticalHeader()->setMinimumSectionSize(0);
  horizontalHeader()->setDefaultSectionSize(64);
  verticalHeader()->setDefaultSectionSize(24);
  setSelectionMode(SingleSelection);
  setSelectionBehavior(SelectItems);
  setVerticalScrollMode(ScrollPerItem);
  setHorizontalScrollMode(ScrollPerItem);
  setTabKeyNavigation(false);  // Tab leaves the grid, as on any other form control
  setEditTriggers(NoEditTriggers);
  FColor = palette().color(QPalette::Base);
  FFixedColor = palette().color(QPalette::Button);

  QItemSelectionModel* plain = selectionModel();
  FGate = new TSelectionGate(model(), this);
  setSelectionModel(FGate);
  delete plain;
  // QTableWidget wired its item signals to the model it made; keep them alive.
  connect(FGate, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& now, const QModelIndex& before) {
    emit currentItemChanged(item(now.row(), now.column()), item(before.row(), before.column()));
    emit currentCellChanged(now.row(), now.column(), before.row(), before.column());
  });
  connect(FGate, &QItemSelectionModel::selectionChanged, this, &QTableWidget::itemSelectionChanged);

  setItemDelegate(new TCellDelegate(this));

  FFixedArea = new TFixedArea(this);
  FFixedArea->raise();
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, FFixedArea, qOverload<>(&QWidget::update));
  connect(horizontalHeader(), &QHeaderView::sectionResized, FFixedArea, qOverload<>(&QWidget::update));
  connect(verticalHeader(), &QHeaderView::sectionResized, this, [this](int row) {
    if (row < FFixedRows) PlaceFixedArea();
  });
  connect(model(), &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& topLeft) {
    if (topLeft.row() < FFixedRows) FFixedArea->update();
  });
  for (auto shapeChange : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved,
                           &QAbstractItemModel::columnsInserted, &QAbstractItemModel::columnsRemoved})
    connect(model(), shapeChange, this, &TVelEGrid::PlaceFixedArea);
  FFocusWatch = connect(qApp, &QApplication::focusChanged, this, &TVelEGrid::ClientFocusChanged);
}

TVelEGrid::~TVelEGrid() {
  // The base destructors move the focus away and tear down the model; by then there is no
  // grid left to ask or tell.
  disconnect(FFocusWatch);
  FGate->FGrid = nullptr;
}

// --- properties ---------------------------------------------------------------------------

void TVelEGrid::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  Refresh();
}

void TVelEGrid::SetHeader(const QStringList& Value) {
  FHeader = Value;
  UpdateHeader();
}

void TVelEGrid::SetFixedRows(int Value) {
  FFixedRows = std::max(0, Value);
  PlaceFixedArea();
  Refresh();
}

void TVelEGrid::SetFixedCols(int Value) {
  FFixedCols = std::max(0, Value);
  Refresh();
}

void TVelEGrid::SetColor(const QColor& Value) {
  FColor = Value;
  QPalette colours = palette();
  colours.setColor(QPalette::Base, Value);  // the viewport beyond the last cell
  setPalette(colours);
  Refresh();
}

void TVelEGrid::SetFixedColor(const QColor& Value) {
  FFixedColor = Value;
  Refresh();
}

void TVelEGrid::SetGridLineWidth(int Value) {
  // The base view draws lines one pixel wide or not at all.
  FGridLineWidth = std::max(0, Value);
  setShowGrid(FGridLineWidth > 0);
  Refresh();
}

void TVelEGrid::SetEditing(bool Value) {
  FEditing = Value;
  setEditTriggers(Value ? DoubleClicked | SelectedClicked | EditKeyPressed | AnyKeyPressed : NoEditTriggers);
}

void TVelEGrid::SetColCount(int Value) {
  setColumnCount(Value);
  FocusOnFirstCell();
}

void TVelEGrid::SetRowCount(int Value) {
  setRowCount(Value);
  FocusOnFirstCell();
}

// Like the plain grid, start on the first non-fixed cell, with no lock test.
void TVelEGrid::FocusOnFirstCell() {
  if (!currentIndex().isValid()) FocusCell(FFixedCols, FFixedRows);
}

int TVelEGrid::DefaultColWidth() const { return horizontalHeader()->defaultSectionSize(); }

void TVelEGrid::SetDefaultColWidth(int Value) { horizontalHeader()->setDefaultSectionSize(Value); }

int TVelEGrid::DefaultRowHeight() const { return verticalHeader()->defaultSectionSize(); }

void TVelEGrid::SetDefaultRowHeight(int Value) {
  verticalHeader()->setDefaultSectionSize(Value);
  PlaceFixedArea();
}

QString TVelEGrid::Cells(int ACol, int ARow) const {
  const QTableWidgetItem* cell = item(ARow, ACol);
  return cell ? cell->text() : QString();
}

void TVelEGrid::SetCells(int ACol, int ARow, const QString& Value) {
  if (ACol < 0 || ACol >= ColCount() || ARow < 0 || ARow >= RowCount())
    return;  // the table would not take an item there, nor free it
  if (QTableWidgetItem* cell = item(ARow, ACol))
    cell->setText(Value);
  else
    setItem(ARow, ACol, new QTableWidgetItem(Value));
}

// --- geometry -----------------------------------------------------------------------------
// Rows scroll one at a time, so the scroll value names the row at the viewport's top edge;
// the fixed area covers that edge, hiding as many rows as fit under it.

int TVelEGrid::FixedHeight() const {
  int height = 0;
  for (int row = 0; row < std::min(FFixedRows, RowCount()); ++row) height += rowHeight(row);
  return height;
}

int TVelEGrid::TopRow() const {
  const int fixedHeight = FixedHeight();
  int row = rowAt(fixedHeight);
  if (row < 0) return FFixedRows;
  if (rowViewportPosition(row) < fixedHeight) ++row;  // partly under the fixed rows
  return std::max(row, FFixedRows);
}

void TVelEGrid::SetTopRow(int Value) {
  Value = std::clamp(Value, FFixedRows, std::max(FFixedRows, RowCount() - 1));
  const int fixedHeight = FixedHeight();
  int top = Value, covered = 0;
  while (top > 0 && covered < fixedHeight) covered += rowHeight(--top);
  verticalScrollBar()->setValue(top);
}

int TVelEGrid::VisibleRowCount() const {
  const int bottom = viewport()->height();
  int count = 0;
  for (int row = TopRow(); row < RowCount() && rowViewportPosition(row) + rowHeight(row) <= bottom; ++row) ++count;
  return count;
}

void TVelEGrid::MouseToCell(int X, int Y, int& ACol, int& ARow) const {
  const bool inside = X >= 0 && Y >= 0 && X < viewport()->width() && Y < viewport()->height();
  ACol = inside ? columnAt(X) : -1;
  ARow = -1;
  if (!inside) return;
  if (Y >= FixedHeight()) {
    ARow = rowAt(Y);
    return;
  }
  for (int row = 0, bottom = 0; row < std::min(FFixedRows, RowCount()); ++row) {
    bottom += rowHeight(row);
    if (Y < bottom) {
      ARow = row;
      return;
    }
  }
}

void TVelEGrid::PlaceFixedArea() {
  const QRect area = viewport()->geometry();
  const int height = std::min(FixedHeight(), area.height());
  if (height <= 0) {
    FFixedArea->hide();
    return;
  }
  FFixedArea->setGeometry(area.x(), area.y(), area.width(), height);
  FFixedArea->show();
  FFixedArea->update();
}

void TVelEGrid::updateGeometries() {
  QTableWidget::updateGeometries();
  PlaceFixedArea();
}

bool TVelEGrid::viewportEvent(QEvent* event) {
  const bool handled = QTableWidget::viewportEvent(event);
  if (event->type() == QEvent::Resize || event->type() == QEvent::Move) PlaceFixedArea();
  return handled;
}

void TVelEGrid::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid()) return;
  if (index.row() < FFixedRows) {
    ScrollColumnIntoView(index);  // the fixed rows are always in view
    return;
  }
  QTableWidget::scrollTo(index, hint);
  // The base view takes the top edge for visible; the fixed rows cover it.
  if (hint == PositionAtTop || rowViewportPosition(index.row()) < FixedHeight()) SetTopRow(index.row());
}

void TVelEGrid::ScrollColumnIntoView(const QModelIndex& index) {
  const int top = verticalScrollBar()->value();
  QTableWidget::scrollTo(index, EnsureVisible);
  verticalScrollBar()->setValue(top);
}

void TVelEGrid::Refresh() {
  viewport()->update();
  FFixedArea->update();
}

// --- locks and the cursor -----------------------------------------------------------------

void TVelEGrid::UpdateHeader() {
  for (int col = 0; col < std::min<int>(FHeader.size(), ColCount()); ++col) SetCells(col, 0, FHeader[col]);
}

bool TVelEGrid::IsCellLocked(int col, int row) const {
  return FLockedCells.contains(CellKey(col, row)) || FLockedCols.contains(col) || FLockedRows.contains(row);
}

void TVelEGrid::HideColumn(int col) {
  if (FHiddenCols.contains(col)) return;
  FHiddenCols.insert(col, ColWidths(col));
  LockColumn(col);
  SetColWidths(col, 0);
}

bool TVelEGrid::InNonFixedArea(int col, int row) const {
  return col >= FFixedCols && col < ColCount() && row >= FFixedRows && row < RowCount();
}

// The one path by which the grid itself moves the cursor: no lock test, and no scrolling
// beyond what the caller does on purpose.
void TVelEGrid::MoveCurrent(int col, int row) {
  const bool outerNoLockTest = FNoLockTest;
  const bool autoScroll = hasAutoScroll();
  FNoLockTest = true;
  setAutoScroll(false);
  selectionModel()->setCurrentIndex(model()->index(row, col), QItemSelectionModel::ClearAndSelect);
  setAutoScroll(autoScroll);
  FNoLockTest = outerNoLockTest;
}

void TVelEGrid::FocusCell(int col, int row) {
  if (InNonFixedArea(col, row)) MoveCurrent(col, row);
}

bool TVelEGrid::GotoCell(int col, int row) {
  if (!InNonFixedArea(col, row) || IsCellLocked(col, row)) return false;
  MoveCurrent(col, row);
  const int top = TopRow(), visible = VisibleRowCount();
  if (row - top > visible)
    SetTopRow(row - visible + 1);
  else if (row < top)
    SetTopRow(std::max(row - 1, FFixedRows));
  ScrollColumnIntoView(model()->index(row, col));
  ShowColumnHint(col);
  return true;
}

void TVelEGrid::ShowColumnHint(int col) {
  if (col >= 0 && col < FHints.size())
    setToolTip(FHints[col]);  // sends ToolTipChange, which the tool-tip machinery watches
}

// The searches end on the cell found or, failing that, on the cell that was current when the
// key went down. Without SkipToNextRow they stay in the row they start in.
int TVelEGrid::LastRowSearched(int row, int step) const {
  return !FSkipToNextRow ? row : step > 0 ? RowCount() - 1 : FFixedRows;
}

// Cell by cell along the row, going on at the far end of the next (or previous) row.
void TVelEGrid::FindCellAlongRows(int col, int row, int step) {
  const int lastRow = LastRowSearched(row, step);
  for (int c = col, r = row; step > 0 ? r <= lastRow : r >= lastRow;) {
    if (!IsCellLocked(c, r)) {
      FocusCell(c, r);
      return;
    }
    c += step;
    if (step > 0 ? c > ColCount() - 1 : c < FFixedCols) {
      c = step > 0 ? FFixedCols : ColCount() - 1;
      r += step;
    }
  }
  FocusCell(FSavedCol, FSavedRow);
}

// In each row tried, the nearest unlocked cell to either side of the starting column wins;
// on equal distance the one to the right.
void TVelEGrid::FindCellVertically(int col, int row, int step) {
  const int lastCol = ColCount() - 1;
  const int lastRow = LastRowSearched(row, step);
  for (int r = row; step > 0 ? r <= lastRow : r >= lastRow; r += step) {
    int i = col, j = col;
    while (i > FFixedCols && IsCellLocked(i, r)) --i;
    while (j < lastCol && IsCellLocked(j, r)) ++j;
    if (IsCellLocked(i, r)) i = j;
    if (IsCellLocked(j, r)) j = i;
    if (i == lastCol && j == lastCol && IsCellLocked(lastCol, r)) continue;  // nothing unlocked in this row
    FocusCell(col - i < j - col ? i : j, r);
    return;
  }
  FocusCell(FSavedCol, FSavedRow);
}

bool TVelEGrid::AllowCurrent(const QModelIndex& index) {
  if (FNoLockTest || !index.isValid() || index == currentIndex()) return true;
  if (!InNonFixedArea(index.column(), index.row())) return false;
  return SelectCell(index.column(), index.row());
}

// Asked before the cursor moves onto a cell. A locked cell is refused; when an arrow key got
// it there, the search for the next unlocked cell in that direction has already moved the
// cursor by the time the refusal comes back.
bool TVelEGrid::SelectCell(int ACol, int ARow) {
  const bool locked = IsCellLocked(ACol, ARow);
  if (locked) {
    switch (FLastKey) {
      case Qt::Key_Left: FindPrevCell(ACol, ARow); break;
      case Qt::Key_Up: FindCellAbove(ACol, ARow); break;
      case Qt::Key_Right: FindNextCell(ACol, ARow); break;
      case Qt::Key_Down: FindCellBelow(ACol, ARow); break;
      default: break;
    }
  }
  ShowColumnHint(ACol);
  return !locked;
}

QModelIndex TVelEGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
  // The base view knows no fixed cells; page and home moves stop at their edge.
  const QModelIndex next = QTableWidget::moveCursor(cursorAction, modifiers);
  if (!next.isValid()) return next;
  const int col = std::max(next.column(), FFixedCols), row = std::max(next.row(), FFixedRows);
  if (col >= ColCount() || row >= RowCount()) return currentIndex();
  return model()->index(row, col);
}

void TVelEGrid::KeyDown(int& Key, Qt::KeyboardModifiers) {
  FLastKey = Key;
  FSavedCol = Col();
  FSavedRow = Row();
  if (!FSkipToNextRow) return;
  if (Key == Qt::Key_Right && Col() == ColCount() - 1 && Row() < RowCount() - 1) {
    if (IsCellLocked(FFixedCols, Row() + 1))
      FindNextCell(FFixedCols, Row() + 1);
    else
      GotoCell(FFixedCols, Row() + 1);
    Key = 0;
  } else if (Key == Qt::Key_Left && Col() == FFixedCols && Row() > FFixedRows) {
    if (IsCellLocked(ColCount() - 1, Row() - 1))
      FindPrevCell(ColCount() - 1, Row() - 1);
    else
      GotoCell(ColCount() - 1, Row() - 1);
    Key = 0;
  }
}

void TVelEGrid::keyPressEvent(QKeyEvent* event) {
  int key = event->key();
  KeyDown(key, event->modifiers());
  if (key == 0)
    event->accept();
  else
    QTableWidget::keyPressEvent(event);
}

void TVelEGrid::keyboardSearch(const QString&) {
  // Typing never jumps to a cell by its text.
}

void TVelEGrid::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
  FLastKey = 0;  // a click never starts a directional search
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TVelEGrid::PressedAt(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TVelEGrid::mousePressEvent(QMouseEvent* event) {
  PressedAt(event);
  QTableWidget::mousePressEvent(event);
}

void TVelEGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  PressedAt(event);
  QTableWidget::mouseDoubleClickEvent(event);
}

bool TVelEGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  // Only the current cell is edited, and never a fixed or locked one (the cursor may be
  // parked on a locked cell by FocusCell).
  if (!FEditing || !index.isValid() || index != currentIndex() || !InNonFixedArea(index.column(), index.row()) ||
      IsCellLocked(index.column(), index.row()))
    return false;
  return QTableWidget::edit(index, trigger, event);
}

void TVelEGrid::ClientFocusChanged(QWidget* old, QWidget* now) {
  // The in-place editor is part of the grid: moving between the two is no exit or entry.
  const bool wasInside = old && (old == this || isAncestorOf(old));
  const bool isInside = now && (now == this || isAncestorOf(now));
  if (wasInside && !isInside && OnExit)
    OnExit(this);
  else if (isInside && !wasInside && OnEnter)
    OnEnter(this);
}

QString TVelEGrid::GetEditMask(int ACol, int ARow) {
  QString mask;
  if (OnGetEditMask) OnGetEditMask(this, ACol, ARow, mask);
  return mask;
}

// --- painting -----------------------------------------------------------------------------

void TVelEGrid::DoGetDrawValues(int col, int row, TCellFont& aFont, TAlignment& aAlignment, QColor& bgColor) {
  if (OnGetDrawValues) OnGetDrawValues(this, col, row, aFont, aAlignment, bgColor);
}

void TVelEGrid::DrawCell(QPainter& Canvas, int ACol, int ARow, const QRect& ARect, TGridDrawState AState) {
  if (ARect.width() <= 0 || ARect.height() <= 0) return;  // a hidden column
  // Start from what the plain grid would paint the cell with; the owner may change it all.
  const QPalette& colours = palette();
  QColor plain = FColor;
  TCellFont cellFont{font(), colours.color(QPalette::Text)};
  if (AState & gdFixed) {
    plain = FFixedColor;
  } else if ((AState & gdSelected) && !(AState & gdFocused)) {
    // The focused cell keeps its colours and gets a focus frame instead.
    plain = colours.color(QPalette::Highlight);
    cellFont.Color = colours.color(QPalette::HighlightedText);
  }
  TAlignment alignment = FAlignment;
  QColor background = plain;
  DoGetDrawValues(ACol, ARow, cellFont, alignment, background);

  // A one-pixel frame in the plain colour keeps cells apart when the owner colours them.
  Canvas.fillRect(ARect, plain);
  Canvas.fillRect(ARect.adjusted(1, 1, -1, -1), background);
  if (AState & gdFocused) {
    // A dotted frame just inside the cell, in the text colour.
    Canvas.save();
    Canvas.setPen(QPen(cellFont.Color, 1, Qt::DotLine));
    Canvas.setBrush(Qt::NoBrush);
    Canvas.drawRect(ARect.adjusted(1, 1, -2, -2));
    Canvas.restore();
  }

  const QTableWidgetItem* cell = item(ARow, ACol);
  const QString text = cell ? cell->text() : QString();
  if (text.isEmpty()) return;
  if (Canvas.font() != cellFont.Font) Canvas.setFont(cellFont.Font);
  if (FTextPen.color() != cellFont.Color) FTextPen = QPen(cellFont.Color);
  Canvas.setPen(FTextPen);
  const QFontMetrics metrics = Canvas.fontMetrics();
  const int width = metrics.horizontalAdvance(text);
  const int left = ARect.left(), right = ARect.left() + ARect.width();
  int x;
  switch (alignment) {
    case taLeftJustify: x = left + 2; break;
    case taRightJustify: x = right - width - 2; break;
    case taCenter: x = left + (right - left) / 2 - width / 2; break;
    default: return;
  }
  const int y = ARect.top() + 2;
  const bool overflows = x < left || x + width > right || y + metrics.height() > ARect.top() + ARect.height();
  if (overflows) {
    Canvas.save();
    Canvas.setClipRect(ARect, Qt::IntersectClip);
  }
  Canvas.drawText(x, y + metrics.ascent(), text);
  if (overflows) Canvas.restore();
}

void TVelEGrid::PaintFixedRows(QPainter& Canvas, int width) {
  Canvas.fillRect(0, 0, width, FixedHeight(), FColor);
  const int line = showGrid() ? 1 : 0;
  QColor lineColor;
  if (line) {
    QStyleOption option;
    option.initFrom(this);
    lineColor = QColor::fromRgba(QRgb(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
  }
  int first = columnAt(0), last = columnAt(width - 1);
  if (first < 0) first = 0;
  if (last < 0) last = ColCount() - 1;
  for (int row = 0, y = 0; row < std::min(FFixedRows, RowCount()); y += rowHeight(row++)) {
    for (int col = first; col <= last; ++col) {
      const int w = columnWidth(col);
      if (w <= 0) continue;
      const QRect slot(columnViewportPosition(col), y, w, rowHeight(row));
      if (line) Canvas.fillRect(slot, lineColor);
      DrawCell(Canvas, col, row, slot.adjusted(0, 0, -line, -line), gdFixed);
    }
  }
}
