// The register panel of the main window: R0..R31 in a grid of two column
// pairs, edited in place, with a change watch toggled by a click on a name.
// A register write only marks its cell: the window has the marked cells
// written when it brings its display up to date, and a cell is written
// before it is drawn. What the window must do in turn (repaint its code
// view, schedule its display, remember where the cursor was) reaches it
// through the signals.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

#include "widgets/VelEGrid.h"

class TRegisterPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TRegisterPanel(QWidget* parent);
  ~TRegisterPanel() override;

  TVelEGrid* Grid;

  // The register a value cell shows; -1 for every other cell.
  static int ValueCellRegister(int col, int row);
  // What the value cells' editor accepts.
  static QString EditMask();

  // Lays the grid out and fills it from the registers, once the window
  // around the panel is built.
  void Setup();
  // Nothing the grid reports reaches the panel or its listeners any more:
  // the grid outlives the panel's own part of the destruction.
  void Detach();

  // Registers were written (bit i: Ri); their cells are written later.
  void NoteWritten(uint32_t mask) { Pending |= mask; }
  // Writes the cells of the registers written since their cells were.
  void WritePendingCells();

  // The grid's draw values: value cells written and edits taken over
  // first, watched registers in white on red.
  void GetDrawValues(int col, int row, TCellFont& font, TAlignment& alignment, QColor& background);
  // A click on a register's name toggles its change watch.
  void MouseDown(int x, int y);
  // Puts the grid's current cell on the hidden column, where typing edits
  // nothing.
  void ParkCursor();
  // Gives the panel its width for its height at the text size.
  void FitWidth();
  // The grid's font for a text size; cells and panel grow by `scale`
  // against their design sizes.
  void SetTextSize(const QFont& font, double scale);

 signals:
  void WatchToggled();  // the code view shows watches too
  void EditorClosed();  // writes held back while it was open may show now
  void GridEntered();   // the focus came into the grid from outside
  void GridLeft();      // the focus left the grid and its editor

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool EditorOpenOn(int index) const;
  void WriteCell(int index);
  void CellEdited(int col, int row);
  void TakeOverEdit(int col, int row);

  double Scale = 1.0;
  uint32_t Pending = 0;  // bit i: Ri was written since its cell was
};
