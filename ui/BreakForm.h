// The breakpoint list window: one row per breakpoint, a double click edits
// the selected one.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QTreeWidget>
#include <QWidget>

class TBreakPoint;
class TBreakEditForm;

class TBreakForm : public QWidget {
  Q_OBJECT

 public:
  TBreakForm();
  ~TBreakForm() override;

  QTreeWidget* LV;

  // Gives the condition column all the width the fixed columns leave.
  void LVResize();
  // Edits the breakpoint of the selected row in the dialog.
  void LVDblClick();

  // What the row hooks do: a breakpoint gets its row at the end of the
  // list, marks it for rewriting whenever its texts change, and loses it.
  void AddRow(TBreakPoint* bp);
  void MarkRow(TBreakPoint* bp);
  void RemoveRow(TBreakPoint* bp);
  // Writes the texts of every row marked since the last time.
  void FlushRows();
  // The four texts of the breakpoint's row, brought up to date first.
  QStringList RowTexts(TBreakPoint* bp);

 private:
  bool FlushPending = false;
  // The dialog while one is open, so that it can let go of a breakpoint
  // that is destroyed meanwhile.
  QPointer<TBreakEditForm> Editing;
};

// The one list window; null before CreateBreakForm and after DestroyBreakForm.
extern TBreakForm* BreakForm;

// Creates the list window, hidden; called once, right after the main window.
// From then on every breakpoint has its row in it.
void CreateBreakForm();
// Shows the list window when it is hidden, hides it when it is shown.
void ToggleBreakForm();
// Destroys the list window (at program end).
void DestroyBreakForm();
