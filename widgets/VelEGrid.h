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
using TNotifyEvent = std::function<void(TVelEGrid* Sender)>;
using TGetDrawValues =
    std::function<void(TVelEGrid* Sender, int col, int row, TCellFont& aFont, TAlignment& aAlignment, QColor& bgColor)>;
using TGetEditMaskEvent = std::function<void(TVelEGrid* Sender, int ACol, int ARow, QString& Value)>;
using TMouseEvent =
    std::function<void(TVelEGrid* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;

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

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  const QStringList& Header() const { return FHeader; }
  void SetHeader(const QStringList& Value);
  const QStringList& Hints() const { return FHints; }
  void SetHints(const QStringList& Value) { FHints = Value; }
  bool SkipToNextRow() const { return FSkipToNextRow; }
  void SetSkipToNextRow(bool Value) { FSkipToNextRow = Value; }

  int FixedRows() const { return FFixedRows; }
  void SetFixedRows(int Value);
  int FixedCols() const { return FFixedCols; }
  void SetFixedCols(int Value);
  QColor Color() const { return FColor; }
  void SetColor(const QColor& Value);
  QColor FixedColor() const { return FFixedColor; }
  void SetFixedColor(const QColor& Value);
  int GridLineWidth() const { return FGridLineWidth; }
  void SetGridLineWidth(int Value);
  bool Editing() const { return FEditing; }
  void SetEditing(bool Value);

  int ColCount() const { return columnCount(); }
  void SetColCount(int Value);
  int RowCount() const { return rowCount(); }
  void SetRowCount(int Value);
  int ColWidths(int ACol) const { return columnWidth(ACol); }
  void SetColWidths(int ACol, int Value) { setColumnWidth(ACol, Value); }
  int RowHeights(int ARow) const { return rowHeight(ARow); }
  void SetRowHeights(int ARow, int Value) { setRowHeight(ARow, Value); }
  int DefaultColWidth() const;
  void SetDefaultColWidth(int Value);
  int DefaultRowHeight() const;
  void SetDefaultRowHeight(int Value);
  QString Cells(int ACol, int ARow) const;
  void SetCells(int ACol, int ARow, const QString& Value);

  int Col() const { return currentColumn(); }
  int Row() const { return currentRow(); }
  int TopRow() const;  // first non-fixed row shown below the fixed rows
  void SetTopRow(int Value);
  int VisibleRowCount() const;  // non-fixed rows fully shown
  void MouseToCell(int X, int Y, int& ACol, int& ARow) const;
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
  virtual void DrawCell(QPainter& Canvas, int ACol, int ARow, const QRect& ARect, TGridDrawState AState);
  virtual bool SelectCell(int ACol, int ARow);
  virtual void DoGetDrawValues(int col, int row, TCellFont& aFont, TAlignment& aAlignment, QColor& bgColor);
  virtual QString GetEditMask(int ACol, int ARow);
  virtual void KeyDown(int& Key, Qt::KeyboardModifiers Shift);
  virtual void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);

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
  bool IsFixedCell(int col, int row) const { return col < FFixedCols || row < FFixedRows; }
  bool AllowCurrent(const QModelIndex& index);
  void MoveCurrent(int col, int row);
  int LastRowSearched(int row, int step) const;
  void FindCellAlongRows(int col, int row, int step);
  void FindCellVertically(int col, int row, int step);
  void ScrollColumnIntoView(const QModelIndex& index);
  int FixedHeight() const;
  void PlaceFixedArea();
  void PaintFixedRows(QPainter& Canvas, int width);
  void ClientFocusChanged(QWidget* old, QWidget* now);
  void FocusOnFirstCell();
  void PressedAt(QMouseEvent* event);

  TAlignment FAlignment = taLeftJustify;
  QStringList FHeader;
  QStringList FHints;
  bool FSkipToNextRow = true;
  QSet<int> FLockedCols;
  QSet<int> FLockedRows;
  QSet<quint64> FLockedCells;
  QHash<int, int> FHiddenCols;  // column -> its width before hiding
  int FLastKey = 0;             // Qt key code of the last key press; 0 after a mouse press
  int FSavedCol = 0;
  int FSavedRow = 0;

  int FFixedRows = 1;
  int FFixedCols = 0;
  QColor FColor;
  QColor FFixedColor;
  int FGridLineWidth = 1;
  bool FEditing = false;
  bool FNoLockTest = false;  // set while the grid itself moves the cursor
  QPen FTextPen;             // reused while consecutive cells share a text colour

  TSelectionGate* FGate = nullptr;
  TFixedArea* FFixedArea = nullptr;
  QMetaObject::Connection FFocusWatch;
};
