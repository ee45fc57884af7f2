#pragma once

// TVelEGrid: an editable string grid for forms, built on QTableWidget.
//
// On top of the plain table it keeps a heading row (row 0) pinned at the top, one hint per
// column, its own cell painting with per-cell draw values from the owner, and locked and
// hidden cells that the cursor never lands on. All cell coordinates are (column, row), in that
// order, as in the rest of this program; x/y positions are viewport coordinates, in which the
// fixed rows occupy the top edge.

#include <QColor>
#include <QFont>
#include <QHash>
#include <QPen>
#include <QSet>
#include <QStringList>
#include <QTableWidget>

#include <functional>

enum TAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

// State bits of a cell as handed to DrawCell.
enum TGridDrawStateBit : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = unsigned;

// The "font" a cell is drawn with. A QFont has no colour, so the text colour travels with it.
struct TCellFont {
  QFont Font;
  QColor Color;
};

class TVelEGrid;
using TNotifyEvent = std::function<void(TVelEGrid* sender)>;
using TGetDrawValues = std::function<void(TVelEGrid* sender, int col, int row, TCellFont& font, TAlignment& alignment,
                                          QColor& background)>;
using TGetEditMaskEvent = std::function<void(TVelEGrid* sender, int col, int row, QString& value)>;
using TMouseEvent =
    std::function<void(TVelEGrid* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>;

class TVelEGrid : public QTableWidget {
  Q_OBJECT

 public:
  explicit TVelEGrid(QWidget* parent = nullptr);
  ~TVelEGrid() override;

  // Owner hooks. Each is optional.
  TGetDrawValues OnGetDrawValues;   // asked for every cell before it is painted
  TGetEditMaskEvent OnGetEditMask;  // input mask for the in-place editor of a cell
  TNotifyEvent OnEnter;             // the focus came into the grid (or its editor) from outside
  TNotifyEvent OnExit;              // the focus left the grid and its editor
  TMouseEvent OnMouseDown;          // any button press, before the grid reacts to it

  TAlignment Alignment() const { return DefaultAlignment; }
  void SetAlignment(TAlignment value);
  const QStringList& Header() const { return HeaderTexts; }
  void SetHeader(const QStringList& value);
  const QStringList& Hints() const { return ColumnHints; }
  void SetHints(const QStringList& value) { ColumnHints = value; }
  bool SkipToNextRow() const { return SkipsToNextRow; }
  void SetSkipToNextRow(bool value) { SkipsToNextRow = value; }

  int FixedRows() const { return FixedRowCount; }
  void SetFixedRows(int value);
  int FixedCols() const { return FixedColCount; }
  void SetFixedCols(int value);
  QColor Color() const { return CellColor; }
  void SetColor(const QColor& value);
  QColor FixedColor() const { return FixedCellColor; }
  void SetFixedColor(const QColor& value);
  int GridLineWidth() const { return LineWidth; }
  void SetGridLineWidth(int value);
  bool Editing() const { return EditingOn; }
  void SetEditing(bool value);

  int ColCount() const { return columnCount(); }
  void SetColCount(int value);
  int RowCount() const { return rowCount(); }
  void SetRowCount(int value);
  int ColWidths(int col) const { return columnWidth(col); }
  void SetColWidths(int col, int value) { setColumnWidth(col, value); }
  int RowHeights(int row) const { return rowHeight(row); }
  void SetRowHeights(int row, int value) { setRowHeight(row, value); }
  int DefaultColWidth() const;
  void SetDefaultColWidth(int value);
  int DefaultRowHeight() const;
  void SetDefaultRowHeight(int value);
  QString Cells(int col, int row) const;
  void SetCells(int col, int row, const QString& value);

  int Col() const { return currentColumn(); }
  int Row() const { return currentRow(); }
  int TopRow() const;  // first non-fixed row shown below the fixed rows
  void SetTopRow(int value);
  int VisibleRowCount() const;  // non-fixed rows fully shown
  void MouseToCell(int x, int y, int& col, int& row) const;
  QString Hint() const { return toolTip(); }
  void Refresh();

  void UpdateHeader();
  void LockColumn(int col) { FLockedCols.insert(col); }
  void LockRow(int row) { FLockedRows.insert(row); }
  void LockCell(int col, int row) { FLockedCells.insert(CellKey(col, row)); }
  bool IsColumnLocked(int col) const { return FLockedCols.contains(col); }
  bool IsRowLocked(int row) const { return FLockedRows.contains(row); }
  bool IsCellLocked(int col, int row) const;
  void HideColumn(int col);
  bool IsColumnHidden(int col) const { return FHiddenCols.contains(col); }
  int HiddenColWidth(int col) const { return FHiddenCols.value(col, -1); }  // width before hiding

  void FocusCell(int col, int row);
  bool GotoCell(int col, int row);
  void ShowColumnHint(int col);
  void FindNextCell(int col, int row) { FindCellAlongRows(col, row, +1); }
  void FindPrevCell(int col, int row) { FindCellAlongRows(col, row, -1); }
  void FindCellBelow(int col, int row) { FindCellVertically(col, row, +1); }
  void FindCellAbove(int col, int row) { FindCellVertically(col, row, -1); }

  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  void keyboardSearch(const QString& search) override;

 protected:
  virtual void DrawCell(QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state);
  virtual bool SelectCell(int col, int row);
  virtual void DoGetDrawValues(int col, int row, TCellFont& font, TAlignment& alignment, QColor& background);
  virtual QString GetEditMask(int col, int row);
  virtual void KeyDown(int& key, Qt::KeyboardModifiers shift);
  virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);

  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void updateGeometries() override;
  bool viewportEvent(QEvent* event) override;

 private:
  class TSelectionGate;
  class TCellDelegate;
  class TFixedArea;

  static quint64 CellKey(int col, int row) { return (quint64(quint32(col)) << 32) | quint32(row); }
  bool InNonFixedArea(int col, int row) const;
  bool IsFixedCell(int col, int row) const { return col < FixedColCount || row < FixedRowCount; }
  bool AllowCurrent(const QModelIndex& index);
  void MoveCurrent(int col, int row);
  int LastRowSearched(int row, int step) const;
  void FindCellAlongRows(int col, int row, int step);
  void FindCellVertically(int col, int row, int step);
  void ScrollColumnIntoView(const QModelIndex& index);
  int FixedHeight() const;
  void PlaceFixedArea();
  void PaintFixedRows(QPainter& canvas, int width);
  void ClientFocusChanged(QWidget* old, QWidget* now);
  void FocusOnFirstCell();
  void PressedAt(QMouseEvent* event);

  TAlignment DefaultAlignment = taLeftJustify;
  QStringList HeaderTexts;
  QStringList ColumnHints;
  bool SkipsToNextRow = true;
  // These keep the F names that the grid's documented behaviour uses.
  QSet<int> FLockedCols;
  QSet<int> FLockedRows;
  QSet<quint64> FLockedCells;
  QHash<int, int> FHiddenCols;  // column -> its width before hiding
  int FLastKey = 0;             // Qt key code of the last key press; 0 after a mouse press
  int FSavedCol = 0;
  int FSavedRow = 0;

  int FixedRowCount = 1;
  int FixedColCount = 0;
  QColor CellColor;
  QColor FixedCellColor;
  int LineWidth = 1;
  bool EditingOn = false;
  bool NoLockTest = false;  // set while the grid itself moves the cursor
  QPen TextPen;             // reused while consecutive cells share a text colour

  TSelectionGate* Gate = nullptr;
  TFixedArea* FixedArea = nullptr;
  QMetaObject::Connection FocusWatch;
};
