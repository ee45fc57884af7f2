#include "ui/RegisterPanel.h"

#include <QVBoxLayout>

#include <bit>

#include "breakpoints/BreakPoint.h"
#include "core/CPU.h"
#include "core/Loader.h"
#include "ui/Zoom.h"

namespace {

// Rows 1..16 hold the registers under the heading row; column 4 stays
// hidden and takes the cursor while the grid has no focus.
constexpr int Rows = 17, HiddenColumn = 4;
// Design sizes in pixels: a row, a name and a value column, the panel
// (four columns and the grid's frame) and what it grows by for the grid's
// scroll bar when it is lower than all rows.
constexpr int RowHeight = 18, NameWidth = 40, ValueWidth = 84;
constexpr int PanelWidth = 252, ScrollBarWidth = 16, AllRowsHeight = 310;

// The register shown in (col, row), rows 1..16 and columns 0..3.
int RegisterOf(int col, int row) { return (col / 2) * 16 + row - 1; }

QString ValueText(int index) { return "$" + QString::fromLatin1(HexText(uint32_t(TheState.GetReg(index)), 8)); }

}  // namespace

TRegisterPanel::TRegisterPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("PRegisters");
  setFont(CodeFont());
  setFixedWidth(PanelWidth);
  auto* fill = new QVBoxLayout(this);
  fill->setContentsMargins(0, 0, 0, 0);
  Grid = new TVelEGrid(this);
  Grid->setObjectName("Registers");
  fill->addWidget(Grid);
}

TRegisterPanel::~TRegisterPanel() { Detach(); }

int TRegisterPanel::ValueCellRegister(int col, int row) {
  return col % 2 == 1 && col < HiddenColumn && row >= 1 && row < Rows ? RegisterOf(col, row) : -1;
}

// A fixed "$", eight letters or digits and a fixed blank; blanks show as "0".
QString TRegisterPanel::EditMask() { return "\\$NNNNNNNN\\ ;0"; }

void TRegisterPanel::Setup() {
  Grid->SetColCount(5);
  Grid->SetRowCount(Rows);
  Grid->SetFixedRows(1);
  Grid->SetFixedCols(0);
  Grid->SetDefaultRowHeight(RowHeight);
  for (int r = 0; r < Rows; ++r) Grid->SetRowHeights(r, RowHeight);
  Grid->SetGridLineWidth(0);
  Grid->SetColor(palette().color(QPalette::Button));
  Grid->setFont(CodeFont());
  Grid->SetAlignment(taCenter);
  Grid->SetSkipToNextRow(false);
  Grid->SetEditing(true);
  Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Grid->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  Grid->SetHeader({"Reg", "Inhalt", "Reg", "Inhalt"});

  Grid->OnGetEditMask = [](TVelEGrid*, int, int, QString& value) { value = EditMask(); };
  Grid->OnGetDrawValues = [this](TVelEGrid*, int c, int r, TCellFont& f, TAlignment& a, QColor& b) {
    GetDrawValues(c, r, f, a, b);
  };
  Grid->OnEnter = [this](TVelEGrid*) { emit GridEntered(); };
  Grid->OnExit = [this](TVelEGrid*) { emit GridLeft(); };
  Grid->OnMouseDown = [this](TVelEGrid*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) { MouseDown(x, y); };
  connect(Grid, &QTableWidget::itemChanged, this,
          [this](QTableWidgetItem* item) { CellEdited(item->column(), item->row()); });
  connect(Grid->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] { emit EditorClosed(); });

  Grid->SetColWidths(0, NameWidth);
  Grid->SetColWidths(1, ValueWidth);
  Grid->LockColumn(0);
  Grid->SetColWidths(2, NameWidth);
  Grid->SetColWidths(3, ValueWidth);
  Grid->LockColumn(2);
  Grid->HideColumn(HiddenColumn);
  for (int i = 0; i < 16; ++i) {
    Grid->SetCells(0, i + 1, "R" + QString::fromLatin1(TwoDigits(i)));
    Grid->SetCells(1, i + 1, ValueText(i));
    Grid->SetCells(2, i + 1, "R" + QString::fromLatin1(TwoDigits(i + 16)));
    Grid->SetCells(3, i + 1, ValueText(i + 16));
  }
  ParkCursor();
}

void TRegisterPanel::Detach() {
  Grid->OnGetDrawValues = nullptr;
  Grid->OnGetEditMask = nullptr;
  Grid->OnEnter = nullptr;
  Grid->OnExit = nullptr;
  Grid->OnMouseDown = nullptr;
  disconnect(Grid, nullptr, this, nullptr);
  disconnect(Grid->itemDelegate(), nullptr, this, nullptr);
}

void TRegisterPanel::WritePendingCells() {
  for (uint32_t dirty = Pending; dirty; dirty &= dirty - 1) WriteCell(std::countr_zero(dirty));
}

bool TRegisterPanel::EditorOpenOn(int index) const {
  return Grid->indexWidget(Grid->model()->index(index % 16 + 1, (index / 16) * 2 + 1)) != nullptr;
}

// Writes a register's value cell in its canonical form, as every register
// write does; a pending edit of that cell is replaced. While the user types
// in the cell's editor the write waits: it would replace the typing.
void TRegisterPanel::WriteCell(int index) {
  if (EditorOpenOn(index)) return;
  Pending &= ~(uint32_t(1) << index);
  Grid->SetCells((index / 16) * 2 + 1, index % 16 + 1, ValueText(index));
}

// The editor handed a text to a cell. The edit comes after every register
// write still waiting for its cell, so those writes must not overwrite it;
// it is taken over at once, before a running program writes the register
// again.
void TRegisterPanel::CellEdited(int col, int row) {
  const int index = ValueCellRegister(col, row);
  if (index >= 0 && Grid->Cells(col, row).size() > 9) {
    Pending &= ~(uint32_t(1) << index);
    TakeOverEdit(col, row);
  }
}

// A fresh edit (the editor's text carries the trailing fixed blank) goes
// into its register, blanks read as zeros; a text that is no number leaves
// the register as it is. Either way the cell shows the register again.
void TRegisterPanel::TakeOverEdit(int col, int row) {
  QString text = Grid->Cells(col, row);
  if (text.size() <= 9) return;
  const int index = RegisterOf(col, row);
  text.truncate(9);
  for (int i = 1; i < 9; ++i)
    if (text[i] == ' ') text[i] = '0';
  int32_t value;
  if (!ParseNumber(text.toStdString(), value) || text[0] != '$') value = TheState.GetReg(index);
  TheState.SetReg(index, value);
  WriteCell(index);
}

void TRegisterPanel::GetDrawValues(int col, int row, TCellFont& font, TAlignment& alignment, QColor& background) {
  if (const int index = ValueCellRegister(col, row); index >= 0) {
    alignment = taLeftJustify;
    if (Pending >> index & 1) WriteCell(index);
    TakeOverEdit(col, row);
  }
  // Names and headings keep the grid's own font, so that they share the
  // values' baseline.
  if (row != 0 && FindByRegister(RegisterOf(col, row))) {
    background = QColor(0xFF, 0, 0);
    font.Color = QColor(0xFF, 0xFF, 0xFF);
  }
}

void TRegisterPanel::MouseDown(int x, int y) {
  int col, row;
  Grid->MouseToCell(x, y, col, row);
  if (row < 1 || row >= Rows || (col != 0 && col != 2)) return;
  ToggleRegisterWatch(RegisterOf(col, row));
  emit WatchToggled();
  Grid->Refresh();
}

void TRegisterPanel::ParkCursor() { Grid->FocusCell(HiddenColumn, 1); }

void TRegisterPanel::FitWidth() {
  const int design = height() >= AllRowsHeight * Scale ? PanelWidth : PanelWidth + ScrollBarWidth;
  const int width = int(design * Scale + 0.5);
  if (this->width() != width) setFixedWidth(width);
}

void TRegisterPanel::resizeEvent(QResizeEvent*) { FitWidth(); }

void TRegisterPanel::SetTextSize(const QFont& font, double scale) {
  Scale = scale;
  auto scaled = [this](int size) { return int(size * Scale + 0.5); };
  Grid->setFont(font);
  Grid->SetDefaultRowHeight(scaled(RowHeight));
  for (int r = 0; r < Rows; ++r) Grid->SetRowHeights(r, scaled(RowHeight));
  for (int c = 0; c < HiddenColumn; ++c) Grid->SetColWidths(c, scaled(c % 2 == 1 ? ValueWidth : NameWidth));
  FitWidth();
  Grid->Refresh();
}
