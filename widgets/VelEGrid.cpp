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
  TSelectionGate(QAbstractItemModel* model, TVelEGrid* grid) : QItemSelectionModel(model, grid), Owner(grid) {}

  TVelEGrid* Owner;  // cleared when the grid goes, before the base view tears down

  void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override {
    if (Owner && !Owner->AllowCurrent(index)) return;
    const bool outer = OwnSelect;
    OwnSelect = true;
    QItemSelectionModel::setCurrentIndex(index, index.isValid() ? ClearAndSelect : command);
    OwnSelect = outer;
  }
  void select(const QModelIndex& index, SelectionFlags command) override {
    if (OwnSelect) QItemSelectionModel::select(index, command);
  }
  void select(const QItemSelection& selection, SelectionFlags command) override {
    if (OwnSelect) QItemSelectionModel::select(selection, command);
  }

 private:
  bool OwnSelect = false;
};

// Paints through the grid's DrawCell and edits with a line edit that carries the owner's mask.
class TVelEGrid::TCellDelegate : public QStyledItemDelegate {
 public:
  explicit TCellDelegate(TVelEGrid* grid) : QStyledItemDelegate(grid), Owner(grid) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int col = index.column(), row = index.row();
    if (row < Owner->FixedRowCount) return;  // covered by the fixed area, which paints these cells itself
    TGridDrawState state = 0;
    if (option.state & QStyle::State_Selected) state |= gdSelected;
    if (option.state & QStyle::State_HasFocus) state |= gdFocused;
    if (col < Owner->FixedColCount) state |= gdFixed;
    Owner->DrawCell(*painter, col, row, option.rect, state);
  }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    const QString mask = Owner->GetEditMask(index.column(), index.row());
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
  TVelEGrid* Owner;
};

// The fixed rows, laid over the top of the viewport so that they stay put while the rest
// scrolls underneath. A sibling of the viewport rather than a child: the viewport's scrolling
// would move its children along.
class TVelEGrid::TFixedArea : public QWidget {
 public:
  explicit TFixedArea(TVelEGrid* grid) : QWidget(grid), Owner(grid) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter canvas(this);
    Owner->PaintFixedRows(canvas, width());
  }
  // Its origin is the viewport's, so positions pass through unchanged.
  void mousePressEvent(QMouseEvent* event) override { Owner->PressedAt(event); }
  void mouseDoubleClickEvent(QMouseEvent* event) override { Owner->PressedAt(event); }
  void wheelEvent(QWheelEvent* event) override { Owner->wheelEvent(event); }

 private:
  TVelEGrid* Owner;
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
  CellColor = palette().color(QPalette::Base);
  FixedCellColor = palette().color(QPalette::Button);

  QItemSelectionModel* plain = selectionModel();
  Gate = new TSelectionGate(model(), this);
  setSelectionModel(Gate);
  delete plain;
  // QTableWidget wired its item signals to the model it made; keep them alive.
  connect(Gate, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& now, const QModelIndex& before) {
    emit currentItemChanged(item(now.row(), now.column()), item(before.row(), before.column()));
    emit currentCellChanged(now.row(), now.column(), before.row(), before.column());
  });
  connect(Gate, &QItemSelectionModel::selectionChanged, this, &QTableWidget::itemSelectionChanged);

  setItemDelegate(new TCellDelegate(this));

  FixedArea = new TFixedArea(this);
  FixedArea->raise();
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, FixedArea, qOverload<>(&QWidget::update));
  connect(horizontalHeader(), &QHeaderView::sectionResized, FixedArea, qOverload<>(&QWidget::update));
  connect(verticalHeader(), &QHeaderView::sectionResized, this, [this](int row) {
    if (row < FixedRowCount) PlaceFixedArea();
  });
  connect(model(), &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& topLeft) {
    if (topLeft.row() < FixedRowCount) FixedArea->update();
  });
  for (auto shapeChange : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved,
                           &QAbstractItemModel::columnsInserted, &QAbstractItemModel::columnsRemoved})
    connect(model(), shapeChange, this, &TVelEGrid::PlaceFixedArea);
  FocusWatch = connect(qApp, &QApplication::focusChanged, this, &TVelEGrid::ClientFocusChanged);
}

TVelEGrid::~TVelEGrid() {
  // The base destructors move the focus away and tear down the model; by then there is no
  // grid left to ask or tell.
  disconnect(FocusWatch);
  Gate->Owner = nullptr;
}

// --- properties ---------------------------------------------------------------------------

void TVelEGrid::SetAlignment(TAlignment value) {
  DefaultAlignment = value;
  Refresh();
}

void TVelEGrid::SetHeader(const QStringList& value) {
  HeaderTexts = value;
  UpdateHeader();
}

void TVelEGrid::SetFixedRows(int value) {
  FixedRowCount = std::max(0, value);
  PlaceFixedArea();
  Refresh();
}

void TVelEGrid::SetFixedCols(int value) {
  FixedColCount = std::max(0, value);
  Refresh();
}

void TVelEGrid::SetColor(const QColor& value) {
  CellColor = value;
  QPalette colours = palette();
  colours.setColor(QPalette::Base, value);  // the viewport beyond the last cell
  setPalette(colours);
  Refresh();
}

void TVelEGrid::SetFixedColor(const QColor& value) {
  FixedCellColor = value;
  Refresh();
}

void TVelEGrid::SetGridLineWidth(int value) {
  // The base view draws lines one pixel wide or not at all.
  LineWidth = std::max(0, value);
  setShowGrid(LineWidth > 0);
  Refresh();
}

void TVelEGrid::SetEditing(bool value) {
  EditingOn = value;
  setEditTriggers(value ? DoubleClicked | SelectedClicked | EditKeyPressed | AnyKeyPressed : NoEditTriggers);
}

void TVelEGrid::SetColCount(int value) {
  setColumnCount(value);
  FocusOnFirstCell();
}

void TVelEGrid::SetRowCount(int value) {
  setRowCount(value);
  FocusOnFirstCell();
}

// Like the plain grid, start on the first non-fixed cell, with no lock test.
void TVelEGrid::FocusOnFirstCell() {
  if (!currentIndex().isValid()) FocusCell(FixedColCount, FixedRowCount);
}

int TVelEGrid::DefaultColWidth() const { return horizontalHeader()->defaultSectionSize(); }

void TVelEGrid::SetDefaultColWidth(int value) { horizontalHeader()->setDefaultSectionSize(value); }

int TVelEGrid::DefaultRowHeight() const { return verticalHeader()->defaultSectionSize(); }

void TVelEGrid::SetDefaultRowHeight(int value) {
  verticalHeader()->setDefaultSectionSize(value);
  PlaceFixedArea();
}

QString TVelEGrid::Cells(int col, int row) const {
  const QTableWidgetItem* cell = item(row, col);
  return cell ? cell->text() : QString();
}

void TVelEGrid::SetCells(int col, int row, const QString& value) {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount())
    return;  // the table would not take an item there, nor free it
  if (QTableWidgetItem* cell = item(row, col))
    cell->setText(value);
  else
    setItem(row, col, new QTableWidgetItem(value));
}

// --- geometry -----------------------------------------------------------------------------
// Rows scroll one at a time, so the scroll value names the row at the viewport's top edge;
// the fixed area covers that edge, hiding as many rows as fit under it.

int TVelEGrid::FixedHeight() const {
  int height = 0;
  for (int row = 0; row < std::min(FixedRowCount, RowCount()); ++row) height += rowHeight(row);
  return height;
}

int TVelEGrid::TopRow() const {
  const int fixedHeight = FixedHeight();
  int row = rowAt(fixedHeight);
  if (row < 0) return FixedRowCount;
  if (rowViewportPosition(row) < fixedHeight) ++row;  // partly under the fixed rows
  return std::max(row, FixedRowCount);
}

void TVelEGrid::SetTopRow(int value) {
  value = std::clamp(value, FixedRowCount, std::max(FixedRowCount, RowCount() - 1));
  const int fixedHeight = FixedHeight();
  int top = value, covered = 0;
  while (top > 0 && covered < fixedHeight) covered += rowHeight(--top);
  verticalScrollBar()->setValue(top);
}

int TVelEGrid::VisibleRowCount() const {
  const int bottom = viewport()->height();
  int count = 0;
  for (int row = TopRow(); row < RowCount() && rowViewportPosition(row) + rowHeight(row) <= bottom; ++row) ++count;
  return count;
}

void TVelEGrid::MouseToCell(int x, int y, int& col, int& row) const {
  const bool inside = x >= 0 && y >= 0 && x < viewport()->width() && y < viewport()->height();
  col = inside ? columnAt(x) : -1;
  row = -1;
  if (!inside) return;
  if (y >= FixedHeight()) {
    row = rowAt(y);
    return;
  }
  for (int fixed = 0, bottom = 0; fixed < std::min(FixedRowCount, RowCount()); ++fixed) {
    bottom += rowHeight(fixed);
    if (y < bottom) {
      row = fixed;
      return;
    }
  }
}

void TVelEGrid::PlaceFixedArea() {
  const QRect area = viewport()->geometry();
  const int height = std::min(FixedHeight(), area.height());
  if (height <= 0) {
    FixedArea->hide();
    return;
  }
  FixedArea->setGeometry(area.x(), area.y(), area.width(), height);
  FixedArea->show();
  FixedArea->update();
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
  if (index.row() < FixedRowCount) {
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
  FixedArea->update();
}

// --- locks and the cursor -----------------------------------------------------------------

void TVelEGrid::UpdateHeader() {
  for (int col = 0; col < std::min<int>(HeaderTexts.size(), ColCount()); ++col) SetCells(col, 0, HeaderTexts[col]);
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
  return col >= FixedColCount && col < ColCount() && row >= FixedRowCount && row < RowCount();
}

// The one path by which the grid itself moves the cursor: no lock test, and no scrolling
// beyond what the caller does on purpose.
void TVelEGrid::MoveCurrent(int col, int row) {
  const bool outerNoLockTest = NoLockTest;
  const bool autoScroll = hasAutoScroll();
  NoLockTest = true;
  setAutoScroll(false);
  selectionModel()->setCurrentIndex(model()->index(row, col), QItemSelectionModel::ClearAndSelect);
  setAutoScroll(autoScroll);
  NoLockTest = outerNoLockTest;
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
    SetTopRow(std::max(row - 1, FixedRowCount));
  ScrollColumnIntoView(model()->index(row, col));
  ShowColumnHint(col);
  return true;
}

void TVelEGrid::ShowColumnHint(int col) {
  if (col >= 0 && col < ColumnHints.size())
    setToolTip(ColumnHints[col]);  // sends ToolTipChange, which the tool-tip machinery watches
}

// The searches end on the cell found or, failing that, on the cell that was current when the
// key went down. Without SkipToNextRow they stay in the row they start in.
int TVelEGrid::LastRowSearched(int row, int step) const {
  return !SkipsToNextRow ? row : step > 0 ? RowCount() - 1 : FixedRowCount;
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
    if (step > 0 ? c > ColCount() - 1 : c < FixedColCount) {
      c = step > 0 ? FixedColCount : ColCount() - 1;
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
    while (i > FixedColCount && IsCellLocked(i, r)) --i;
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
  if (NoLockTest || !index.isValid() || index == currentIndex()) return true;
  if (!InNonFixedArea(index.column(), index.row())) return false;
  return SelectCell(index.column(), index.row());
}

// Asked before the cursor moves onto a cell. A locked cell is refused; when an arrow key got
// it there, the search for the next unlocked cell in that direction has already moved the
// cursor by the time the refusal comes back.
bool TVelEGrid::SelectCell(int col, int row) {
  const bool locked = IsCellLocked(col, row);
  if (locked) {
    switch (FLastKey) {
      case Qt::Key_Left: FindPrevCell(col, row); break;
      case Qt::Key_Up: FindCellAbove(col, row); break;
      case Qt::Key_Right: FindNextCell(col, row); break;
      case Qt::Key_Down: FindCellBelow(col, row); break;
      default: break;
    }
  }
  ShowColumnHint(col);
  return !locked;
}

QModelIndex TVelEGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
  // The base view knows no fixed cells; page and home moves stop at their edge.
  const QModelIndex next = QTableWidget::moveCursor(cursorAction, modifiers);
  if (!next.isValid()) return next;
  const int col = std::max(next.column(), FixedColCount), row = std::max(next.row(), FixedRowCount);
  if (col >= ColCount() || row >= RowCount()) return currentIndex();
  return model()->index(row, col);
}

void TVelEGrid::KeyDown(int& key, Qt::KeyboardModifiers) {
  FLastKey = key;
  FSavedCol = Col();
  FSavedRow = Row();
  if (!SkipsToNextRow) return;
  if (key == Qt::Key_Right && Col() == ColCount() - 1 && Row() < RowCount() - 1) {
    if (IsCellLocked(FixedColCount, Row() + 1))
      FindNextCell(FixedColCount, Row() + 1);
    else
      GotoCell(FixedColCount, Row() + 1);
    key = 0;
  } else if (key == Qt::Key_Left && Col() == FixedColCount && Row() > FixedRowCount) {
    if (IsCellLocked(ColCount() - 1, Row() - 1))
      FindPrevCell(ColCount() - 1, Row() - 1);
    else
      GotoCell(ColCount() - 1, Row() - 1);
    key = 0;
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

void TVelEGrid::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
  FLastKey = 0;  // a click never starts a directional search
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
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
  if (!EditingOn || !index.isValid() || index != currentIndex() || !InNonFixedArea(index.column(), index.row()) ||
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

QString TVelEGrid::GetEditMask(int col, int row) {
  QString mask;
  if (OnGetEditMask) OnGetEditMask(this, col, row, mask);
  return mask;
}

// --- painting -----------------------------------------------------------------------------

void TVelEGrid::DoGetDrawValues(int col, int row, TCellFont& font, TAlignment& alignment, QColor& background) {
  if (OnGetDrawValues) OnGetDrawValues(this, col, row, font, alignment, background);
}

void TVelEGrid::DrawCell(QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state) {
  if (rect.width() <= 0 || rect.height() <= 0) return;  // a hidden column
  // Start from what the plain grid would paint the cell with; the owner may change it all.
  const QPalette& colours = palette();
  QColor plain = CellColor;
  TCellFont cellFont{font(), colours.color(QPalette::Text)};
  if (state & gdFixed) {
    plain = FixedCellColor;
  } else if ((state & gdSelected) && !(state & gdFocused)) {
    // The focused cell keeps its colours and gets a focus frame instead.
    plain = colours.color(QPalette::Highlight);
    cellFont.Color = colours.color(QPalette::HighlightedText);
  }
  TAlignment alignment = DefaultAlignment;
  QColor background = plain;
  DoGetDrawValues(col, row, cellFont, alignment, background);

  // A one-pixel frame in the plain colour keeps cells apart when the owner colours them.
  canvas.fillRect(rect, plain);
  canvas.fillRect(rect.adjusted(1, 1, -1, -1), background);
  if (state & gdFocused) {
    // A dotted frame just inside the cell, in the text colour.
    canvas.save();
    canvas.setPen(QPen(cellFont.Color, 1, Qt::DotLine));
    canvas.setBrush(Qt::NoBrush);
    canvas.drawRect(rect.adjusted(1, 1, -2, -2));
    canvas.restore();
  }

  const QTableWidgetItem* cell = item(row, col);
  const QString text = cell ? cell->text() : QString();
  if (text.isEmpty()) return;
  if (canvas.font() != cellFont.Font) canvas.setFont(cellFont.Font);
  if (TextPen.color() != cellFont.Color) TextPen = QPen(cellFont.Color);
  canvas.setPen(TextPen);
  const QFontMetrics metrics = canvas.fontMetrics();
  const int width = metrics.horizontalAdvance(text);
  const int left = rect.left(), right = rect.left() + rect.width();
  int x;
  switch (alignment) {
    case taLeftJustify: x = left + 2; break;
    case taRightJustify: x = right - width - 2; break;
    case taCenter: x = left + (right - left) / 2 - width / 2; break;
    default: return;
  }
  const int y = rect.top() + 2;
  const bool overflows = x < left || x + width > right || y + metrics.height() > rect.top() + rect.height();
  if (overflows) {
    canvas.save();
    canvas.setClipRect(rect, Qt::IntersectClip);
  }
  canvas.drawText(x, y + metrics.ascent(), text);
  if (overflows) canvas.restore();
}

void TVelEGrid::PaintFixedRows(QPainter& canvas, int width) {
  canvas.fillRect(0, 0, width, FixedHeight(), CellColor);
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
  for (int row = 0, y = 0; row < std::min(FixedRowCount, RowCount()); y += rowHeight(row++)) {
    for (int col = first; col <= last; ++col) {
      const int w = columnWidth(col);
      if (w <= 0) continue;
      const QRect slot(columnViewportPosition(col), y, w, rowHeight(row));
      if (line) canvas.fillRect(slot, lineColor);
      DrawCell(canvas, col, row, slot.adjusted(0, 0, -line, -line), gdFixed);
    }
  }
}
