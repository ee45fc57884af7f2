// The debugger's main window: actions, run control, the code view and the
// next-instruction line. It also receives the simulator core's display
// notifications and turns them into widget updates. Its parts have file
// pairs of their own: the register panel (ui/RegisterPanel.h), the label
// lines of the code view (ui/LabelLines.h) and the text of a listing view
// at a zoom step (ui/Zoom.h).
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QScrollBar>
#include <QStringList>
#include <QWidget>

#include "ui/LabelLines.h"
#include "ui/RegisterPanel.h"
#include "ui/Zoom.h"
#include "widgets/VelEGrid.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QMenu;
class QStatusBar;
class QToolBar;
class TMainForm;
class TMemoryForm;
class QAction;
class QMenu;
class TBreakPoint;

// True while the simulated processor is not running.
extern bool Stopped;
// The one main window, reachable before its construction has finished.
extern TMainForm* MainForm;

// How modal messages reach the user (error: the toolkit's error box rather
// than a plain message). Tests replace these to answer without a dialog.
extern std::function<void(QWidget* parent, const QString& text, bool error)> MessageBoxHook;
// Asks for a .cod file to open; an empty result means cancelled.
extern std::function<QString(QWidget* parent)> OpenFileHook;
// What the two hooks do unless replaced: a modal box showing the text as
// plain text, and the file dialog "EPROM öffnen...".
void ShowMessageBox(QWidget* parent, const QString& text, bool error);
QString ShowOpenDialog(QWidget* parent);

QFont FormFont();

// The code listing's paint box; painting and mouse presses go to the main window.
class TCodeBox : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
};

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // args: the command line after the program name.
  explicit TMainForm(const QStringList& args = {});
  ~TMainForm() override;

  // Actions, in the order of the action list.
  QAction* AFOpen;
  QAction* AFQuit;
  QAction* ADRun;
  QAction* ADStop;
  QAction* ADSingleStep;
  QAction* ABSet;
  QAction* ABClear;
  QAction* ABShow;
  QAction* ADReset;
  QAction* ADMemInspect;
  QAction* ADRunFast;
  QList<QAction*> Actions;

  QMenu* MDatei;
  QMenu* MDebugger;
  QMenu* MHaltepunkte;
  QToolBar* ToolBar;
  QFrame* CodePanel;
  TCodeBox* CodeBox;
  QScrollBar* CodeScroll;
  TRegisterPanel* PRegisters;
  TVelEGrid* Registers;  // the panel's grid
  QFrame* PNextCommand;
  QLabel* LNextCommand;
  QLabel* NextCommand;
  QStatusBar* State;

  int32_t RegCursorCol = 1;
  int32_t RegCursorRow = 1;
  int32_t TopAddress = -2;
  int32_t ScrollBase = -2;
  int32_t LineHeight = 0;

  // Action handlers.
  void AFOpenExecute();
  void AFQuitExecute();
  void ADRunExecute();
  void ADRunFastExecute();
  void ExecuteSingleStep();
  void ADStopExecute();
  void ADResetExecute();
  // The reset action: assembles a loaded source again, then ADResetExecute.
  void ADResetClick();
  void ABSetClick();
  void ABClearExecute();
  void ABShowExecute();
  void ADMemInspectExecute();
  // Every action evaluates its enable rule, in list order.
  void RefreshActions();

  // Code view.
  void FollowPC();
  void CodeBoxPaint();  // a direct repaint
  void PaintCode(QPainter& canvas);
  void CodeBoxMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  void ScrollBy(int32_t delta, bool commit);
  // Repaints the register grid (its watch marks).
  void RefreshRegisters();

  // The register panel's events as the window names them; the panel has
  // the rules, the window remembers where the cursor was.
  void RegistersGetEditMask(TVelEGrid* sender, int col, int row, QString& value);
  void RegistersGetDrawValues(TVelEGrid* sender, int col, int row, TCellFont& font, TAlignment& alignment,
                              QColor& background);
  void RegistersEnter(TVelEGrid* sender);
  void RegistersExit(TVelEGrid* sender);
  void RegistersMouseDown(TVelEGrid* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  void PRegistersResize();
  // Text size of the code view and the register grid, in point steps from
  // the design size; the grid's cells and the panel grow with the font.
  void SetZoom(int steps);
  // Keeps eight whole listing lines of the widest instruction form in the
  // code view at its font; returns that line's width.
  int KeepListingWhole();
  // Rewrites a listing line before the code view draws it (names of branch
  // targets, the source line beside it); null draws the plain listing.
  std::function<void(int32_t address, std::string& line)> DecorateLine;
  // The labels drawn as lines of their own above the words they name.
  TLabelLines LabelLines;
  // The folder the file dialog opens in (the session's last folder); empty
  // for the dialog's own choice.
  QString OpenFolder;
  // The word of a code view line; a label line gives the word it labels.
  int32_t LineAddress(int line, bool* isLabel = nullptr) const;
  // The text of a register grid cell, with pending register writes applied.
  QString RegisterCellText(int col, int row);

  // The next-instruction text, brought up to date first.
  QString NextCommandText();
  // Brings every widget that shows core state up to date at once.
  void SyncDisplay();

  // True while one of the run loops is active.
  bool Running() const { return RunDepth > 0; }

  // What features attached to the window (the session's) may ask and do:
  // whether the processor is stopped, a register's value, the memory
  // inspectors the window owns and one more of them, and places for their
  // menu items below the window's own.
  bool IsStopped() const;
  uint32_t RegisterValue(int index) const;
  const std::vector<TMemoryForm*>& MemoryInspectors() const;
  TMemoryForm* OpenInspector();
  void AddDebuggerItems(const QList<QAction*>& actions);
  void AddFileItems(QMenu* submenu, const QList<QAction*>& actions);
  void AddMenuBeforeBreakpoints(QMenu* menu);

  // Loads a file as the open action does, then resets; false when nothing
  // was loaded (after the message).
  bool OpenFile(const QString& name);

 signals:
  // The processor stopped: after a single step, at the end of either run
  // and after every reset.
  void ProcessorStopped();
  // A file chosen by the user was loaded and reset.
  void ProgramOpened(const QString& name);
  // The window is about to close for good.
  void Closing();

 public:
  // The fast run looks at the event queue (and paints the inspectors) about
  // this often, in milliseconds;
  // tests lower it. PollHook, when set, is called at each look.
  static int FastRunPollMs;
  std::function<void()> FastRunPollHook;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateLayout();
  // Loads the named file (an image, or a source that is assembled). False,
  // after the message, when it cannot be opened or is a source with errors
  // (at start-up such a source leaves the default image and gives true);
  // memory running out while reading it makes it an invalid file.
  bool LoadFile(const QString& name, bool atStartup = false);
  void CodeScrollAction(int action);
  void CodeScrollReleased();
  bool FastRunPoll();
  void EndOfRun();

  std::unique_ptr<TListingText> Listing;  // the code view's
  int RunDepth = 0;
  bool QuitRequested = false;
  bool NextPending = false;
  bool DisplayPending = false;
  QElapsedTimer PollTimer;

  void ScheduleSync();
  friend void NoteNextCommand();
  friend void NoteRegister(int index);
};
