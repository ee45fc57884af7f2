// The register panel of the main window: R0..R31 in a grid of two column
// pairs, edited in place, with a change watch toggled by a click on a name.
#include <QScrollBar>

#include "breakpoints/BreakPoint.h"
#include "core/CPU.h"
#include "core/Loader.h"
#include "ui/MainForm.h"

namespace {

constexpr int HiddenColumn = 4;

// The register shown in (col, row), rows 1..16 and columns 0..3.
int RegisterOf(int col, int row) { return (col / 2) * 16 + row - 1; }

QString ValueText(int index) { return "$" + QString::fromLatin1(HexText(uint32_t(TheState.GetReg(index)), 8)); }

}  // namespace

void TMainForm::SetupRegisters() {
  Registers->SetColCount(5);
  Registers->SetRowCount(17);
  Registers->SetFixedRows(1);
  Registers->SetFixedCols(0);
  Registers->SetDefaultRowHeight(18);
  for (int r = 0; r < 17; ++r) Registers->SetRowHeights(r, 18);
  Registers->SetGridLineWidth(0);
  Registers->SetColor(palette().color(QPalette::Button));
  Registers->setFont(CodeFont());
  Registers->SetAlignment(taCenter);
  Registers->SetSkipToNextRow(false);
  Registers->SetEditing(true);
  Registers->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Registers->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  Registers->SetHeader({"Reg", "Inhalt", "Reg", "Inhalt"});

  Registers->OnGetEditMask = [this](TVelEGrid* g, int c, int r, QString& v) { RegistersGetEditMask(g, c, r, v); };
  Registers->OnGetDrawValues = [this](TVelEGrid* g, int c, int r, TCellFont& f, TAlignment& a, QColor& b) {
    RegistersGetDrawValues(g, c, r, f, a, b);
  };
  Registers->OnEnter = [this](TVelEGrid* g) { RegistersEnter(g); };
  Registers->OnExit = [this](TVelEGrid* g) { RegistersExit(g); };
  Registers->OnMouseDown = [this](TVelEGrid* g, Qt::MouseButton b, Qt::KeyboardModifiers s, int x, int y) {
    RegistersMouseDown(g, b, s, x, y);
  };
  connect(Registers, &QTableWidget::itemChanged, this,
          [this](QTableWidgetItem* item) { RegisterCellEdited(item->column(), item->row()); });
  // Writes held back while the editor was open show once it closes.
  connect(Registers->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] { ScheduleSync(); });

  Registers->SetColWidths(0, 40);
  Registers->SetColWidths(1, 84);
  Registers->LockColumn(0);
  Registers->SetColWidths(2, 40);
  Registers->SetColWidths(3, 84);
  Registers->LockColumn(2);
  Registers->HideColumn(HiddenColumn);
  for (int i = 0; i < 16; ++i) {
    Registers->SetCells(0, i + 1, "R" + QString::fromLatin1(TwoDigits(i)));
    Registers->SetCells(1, i + 1, ValueText(i));
    Registers->SetCells(2, i + 1, "R" + QString::fromLatin1(TwoDigits(i + 16)));
    Registers->SetCells(3, i + 1, ValueText(i + 16));
  }
  Registers->FocusCell(HiddenColumn, 1);
}

bool TMainForm::EditorOpenOn(int index) const {
  return Registers->indexWidget(Registers->model()->index(index % 16 + 1, (index / 16) * 2 + 1)) != nullptr;
}

// Writes a register's value cell in its canonical form, as every register
// write does; a pending edit of that cell is replaced. While the user types
// in the cell's editor the write waits: it would replace the typing.
void TMainForm::WriteRegisterCell(int index) {
  if (EditorOpenOn(index)) return;
  RegistersDirty &= ~(uint32_t(1) << index);
  Registers->SetCells((index / 16) * 2 + 1, index % 16 + 1, ValueText(index));
}

// The editor handed a text to a cell. The edit comes after every register
// write still waiting for its cell, so those writes must not overwrite it;
// it is taken over at once, before a running program writes the register
// again.
void TMainForm::RegisterCellEdited(int col, int row) {
  if (col % 2 == 1 && col < HiddenColumn && row >= 1 && row <= 16 && Registers->Cells(col, row).size() > 9) {
    RegistersDirty &= ~(uint32_t(1) << RegisterOf(col, row));
    TakeOverEdit(col, row);
  }
}

// A fresh edit (the editor's text carries the trailing fixed blank) goes
// into its register, blanks read as zeros; a text that is no number leaves
// the register as it is. Either way the cell shows the register again.
void TMainForm::TakeOverEdit(int col, int row) {
  QString text = Registers->Cells(col, row);
  if (text.size() <= 9) return;
  const int index = RegisterOf(col, row);
  text.truncate(9);
  for (int i = 1; i < 9; ++i)
    if (text[i] == ' ') text[i] = '0';
  int32_t value;
  if (!ParseNumber(text.toStdString(), value) || text[0] != '$') value = TheState.GetReg(index);
  TheState.SetReg(index, value);
  WriteRegisterCell(index);
}

QString TMainForm::RegisterCellText(int col, int row) {
  SyncDisplay();
  return Registers->Cells(col, row);
}

void TMainForm::RegistersGetEditMask(TVelEGrid*, int, int, QString& value) {
  // A fixed "$", eight letters or digits and a fixed blank; blanks show as "0".
  value = "\\$NNNNNNNN\\ ;0";
}

void TMainForm::RegistersGetDrawValues(TVelEGrid*, int col, int row, TCellFont& font, TAlignment& alignment,
                                       QColor& background) {
  if (col % 2 == 1 && col < HiddenColumn && row >= 1) {
    alignment = taLeftJustify;
    const int index = RegisterOf(col, row);
    if (RegistersDirty >> index & 1) WriteRegisterCell(index);
    TakeOverEdit(col, row);
  }
  // Names and headings keep the grid's own font, so that they share the
  // values' baseline.
  if (row != 0 && FindByRegister(RegisterOf(col, row))) {
    background = QColor(0xFF, 0, 0);
    font.Color = QColor(0xFF, 0xFF, 0xFF);
  }
}

void TMainForm::RegistersExit(TVelEGrid*) {
  RegCursorCol = Registers->Col();
  RegCursorRow = Registers->Row();
  Registers->FocusCell(HiddenColumn, 1);
}

void TMainForm::RegistersEnter(TVelEGrid*) {
  if (RegCursorCol != -1) {
    Registers->FocusCell(RegCursorCol, RegCursorRow);
    RegCursorCol = -1;
  }
}

void TMainForm::PRegistersResize() {
  // The design widths, grown with the text size (Zoom.cpp).
  const int width = int((PRegisters->height() >= 310 * RegisterScale ? 252 : 268) * RegisterScale + 0.5);
  if (PRegisters->width() != width) PRegisters->setFixedWidth(width);
}

void TMainForm::RegistersMouseDown(TVelEGrid*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
  int col, row;
  Registers->MouseToCell(x, y, col, row);
  if (row < 1 || row > 16 || (col != 0 && col != 2)) return;
  ToggleRegisterWatch(RegisterOf(col, row));
  CodeBoxPaint();
  RefreshRegisters();
}
