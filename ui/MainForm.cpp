#include "ui/MainForm.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "breakpoints/BreakPoint.h"
#include "breakpoints/Run.h"
#include "core/CPU.h"
#include "core/Loader.h"
#include "ui/BreakForm.h"
#include "ui/Desktop.h"
#include "ui/FastText.h"
#include "ui/Icons.h"
#include "ui/InputHold.h"
#include "ui/MemoryForm.h"
#include "ui/RelativeScroll.h"
#include "ui/SourceFiles.h"

bool Stopped = false;
TMainForm* MainForm = nullptr;
int TMainForm::FastRunPollMs = 15;

namespace {

const QColor White(0xFF, 0xFF, 0xFF), Black(0, 0, 0), Red(0xFF, 0, 0), Yellow(0xFF, 0xFF, 0);
constexpr int Gutter = 20;

}  // namespace

void ShowMessageBox(QWidget* parent, const QString& text, bool error) {
  QMessageBox box(error ? QMessageBox::Critical : QMessageBox::NoIcon, "Orvane", text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

QString ShowOpenDialog(QWidget* parent) {
  QFileDialog dialog(parent, "EPROM öffnen...");
  dialog.setNameFilters({"EPROM-Dateien (*.cod)", "Alle Dateien (*)", "Assembler-Quellen (*.s *.asm)"});
  dialog.setDefaultSuffix("cod");
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setOption(QFileDialog::DontUseNativeDialog);  // ours has a help button
  // The filter list names the kinds of file; the patterns stay internal.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setSizeGripEnabled(true);
  GermanFileList(dialog);
  if (const auto* form = qobject_cast<const TMainForm*>(parent); form && !form->OpenFolder.isEmpty())
    dialog.setDirectory(form->OpenFolder);
  if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
    help->setText("Hilfe");
    QObject::connect(help, &QPushButton::clicked, &dialog, [&dialog] {
      MessageBoxHook(&dialog,
                     "Wählen Sie ein EPROM-Abbild (.cod): eine Textdatei mit Abschnitten .CODE, .DATA, .DS "
                     "oder .MEM, jeweils mit Startadresse, Anzahl und den Datenworten.",
                     false);
    });
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

namespace {

QString ToQt(const std::string& s) { return QString::fromStdString(s); }

// The core's display notifications.
void OnCaption(const std::string& caption) {
  if (MainForm) MainForm->setWindowTitle(QFile::decodeName(QByteArray::fromStdString(caption)));
}

void OnMessage(const std::string& text) { MessageBoxHook(MainForm, ToQt(text), false); }

}  // namespace

std::function<void(QWidget*, const QString&, bool)> MessageBoxHook = ShowMessageBox;
std::function<QString(QWidget*)> OpenFileHook = ShowOpenDialog;

// A program counter write: the text is formatted once the event loop gets
// to it, however many writes happen meanwhile.
void NoteNextCommand() {
  if (TMainForm* form = MainForm) {
    form->NextPending = true;
    form->ScheduleSync();
  }
}

// A register write: its cell is written once the event loop gets to it.
void NoteRegister(int index) {
  if (TMainForm* form = MainForm) {
    form->PRegisters->NoteWritten(uint32_t(1) << index);
    form->ScheduleSync();
  }
}

// During a fast run nothing but the inspectors is shown until it ends, so
// the run only collects which registers it wrote, and program counter
// writes are ignored (the run writes the counter at every step anyway).
uint32_t FastRunRegisters = 0;

void TMainForm::ScheduleSync() {
  if (DisplayPending) return;
  DisplayPending = true;
  QMetaObject::invokeMethod(
      this, [this] { SyncDisplay(); }, Qt::QueuedConnection);
}

QFont FormFont() {
  QFont font(InstalledFace("Tahoma"), 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

void TCodeBox::paintEvent(QPaintEvent*) {
  QPainter canvas(this);
  if (MainForm) MainForm->PaintCode(canvas);
}

void TCodeBox::mousePressEvent(QMouseEvent* event) {
  if (MainForm)
    MainForm->CodeBoxMouseDown(event->button(), event->modifiers(), int(event->position().x()),
                               int(event->position().y()));
}

// ------------------------------------------------------------------ creation

TMainForm::TMainForm(const QStringList& args) {
  MainForm = this;
  setWindowTitle("Orvane");
  setFont(FormFont());
  resize(718, 447);
  CreateActions();
  CreateLayout();

  DisplayHooks.CaptionChanged = OnCaption;
  DisplayHooks.ShowMessage = OnMessage;
  DisplayHooks.NextCommandChanged = NoteNextCommand;
  DisplayHooks.RegisterChanged = NoteRegister;
  DisplayHooks.MemoryChanged = ::MemoryChanged;

  // The enable rules are evaluated whenever the event queue runs empty.
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          &TMainForm::RefreshActions);

  PRegisters->Setup();
  RegCursorCol = 1;
  RegCursorRow = 1;
  TopAddress = -2;
  ScrollBase = -2;
  Listing = std::make_unique<TListingText>(CodePoints, 0);
  LineHeight = Listing->LineHeight;

  // A file that cannot be opened leaves the window without an image and
  // without a reset.
  if (!args.isEmpty() && !LoadFile(args.first(), true)) return;
  ADResetExecute();
}

TMainForm::~TMainForm() {
  // The panel outlives this object's own part of the destruction; nothing
  // it or its grid reports from now on may reach the handlers here.
  PRegisters->Detach();
  disconnect(PRegisters, nullptr, this, nullptr);
  DisplayHooks.CaptionChanged = nullptr;
  DisplayHooks.ShowMessage = nullptr;
  DisplayHooks.NextCommandChanged = nullptr;
  DisplayHooks.RegisterChanged = nullptr;
  DisplayHooks.MemoryChanged = nullptr;
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::CreateActions() {
  struct TActionRow {
    QAction** Slot;
    const char* Caption;
    const char* Category;
    const char* Hint;
    QKeySequence Shortcut;
    int Icon;
    void (TMainForm::*Handler)();
  };
  const TActionRow table[] = {
      {&AFOpen, "Öffnen...", "File", "", QKeySequence("Ctrl+O"), 0, &TMainForm::AFOpenExecute},
      {&AFQuit, "Beenden", "File", "", QKeySequence(), -1, &TMainForm::AFQuitExecute},
      {&ADRun, "Starten", "Debug", "Startet das Programm, bis es auf einen Haltepunkt stößt oder abgebrochen wird",
       QKeySequence("F9"), 1, &TMainForm::ADRunExecute},
      {&ADStop, "Anhalten", "Debug", "Bricht die Programmausführung ab", QKeySequence("F2"), 3,
       &TMainForm::ADStopExecute},
      {&ADSingleStep, "Einzelschritt", "Debug",
       "Führt die nächste Anweisung aus und hält das Programm sofort wieder an", QKeySequence("F8"), 2,
       &TMainForm::ExecuteSingleStep},
      {&ABSet, "Haltepunkt hinzufügen...", "Breakpoint", "", QKeySequence("F5"), 4, &TMainForm::ABSetClick},
      {&ABClear, "Haltepunkt löschen", "Breakpoint", "", QKeySequence("Ctrl+F5"), 5, &TMainForm::ABClearExecute},
      {&ABShow, "Haltepunkte anzeigen", "Breakpoint", "", QKeySequence("F6"), 6, &TMainForm::ABShowExecute},
      {&ADReset, "Zurücksetzen", "Debug", "Setzt den Prozessor zurück", QKeySequence("Ctrl+F2"), 7,
       &TMainForm::ADResetClick},
      {&ADMemInspect, "Memory Inspector anzeigen", "Debug", "", QKeySequence("F4"), 8, &TMainForm::ADMemInspectExecute},
      {&ADRunFast, "Schnell ausführen...", "Debug",
       "Führt das Programm schnell aus, bis ein Breakpoint gefunden wird. Die Anzeige wird ausgeschaltet.",
       QKeySequence("Shift+F9"), 9, &TMainForm::ADRunFastExecute},
  };
  for (const TActionRow& row : table) {
    auto* action = new QAction(row.Caption, this);
    action->setProperty("category", row.Category);
    // The hint is the button's tool-tip only: the status line keeps its one text.
    action->setToolTip(row.Hint);
    action->setProperty("hint", row.Hint);
    action->setShortcut(row.Shortcut);
    action->setShortcutContext(Qt::ApplicationShortcut);
    if (row.Icon >= 0) action->setIcon(ActionIcon(row.Icon));
    connect(action, &QAction::triggered, this, [this, handler = row.Handler] { (this->*handler)(); });
    *row.Slot = action;
    Actions.append(action);
  }
}

void TMainForm::CreateLayout() {
  MDatei = menuBar()->addMenu("Datei");
  MDatei->addAction(AFOpen);
  MDatei->addSeparator();
  MDatei->addAction(AFQuit);
  MDebugger = menuBar()->addMenu("Debugger");
  MDebugger->addActions({ADRun, ADRunFast, ADSingleStep});
  MDebugger->addSeparator();
  MDebugger->addActions({ADStop, ADReset});
  MHaltepunkte = menuBar()->addMenu("Haltepunkte");
  MHaltepunkte->addActions({ABSet, ABClear, ABShow});
  MHaltepunkte->addSeparator();
  MHaltepunkte->addAction(ADMemInspect);

  ToolBar = addToolBar("ToolBar");
  ToolBar->setObjectName("ToolBar");
  // No context menu that would offer to hide the tool bar.
  ToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
  menuBar()->setContextMenuPolicy(Qt::PreventContextMenu);
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setIconSize(QSize(16, 16));
  ToolBar->setFixedHeight(31);
  ToolBar->setContentsMargins(4, 0, 0, 0);
  ToolBar->addAction(AFOpen);
  ToolBar->addSeparator();
  ToolBar->addActions({ADRun, ADRunFast, ADSingleStep, ADStop, ADReset});
  ToolBar->addSeparator();
  ToolBar->addActions({ABSet, ABClear, ABShow});
  ToolBar->addSeparator();
  ToolBar->addAction(ADMemInspect);
  for (QAction* action : ToolBar->actions())
    if (auto* button = qobject_cast<QToolButton*>(ToolBar->widgetForAction(action))) {
      button->setAutoRaise(true);
      // A button whose action has no hint shows no tool-tip at all.
      if (action->property("hint").toString().isEmpty()) button->installEventFilter(new TNoToolTip(button));
    }

  auto* client = new QWidget(this);
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  auto* row = new QHBoxLayout;
  row->setSpacing(0);
  column->addLayout(row, 1);

  CodePanel = new QFrame(client);
  CodePanel->setFrameStyle(QFrame::Box | QFrame::Plain);
  CodePanel->setLineWidth(1);
  auto* codeRow = new QHBoxLayout(CodePanel);
  codeRow->setContentsMargins(1, 1, 1, 1);
  codeRow->setSpacing(0);
  CodeBox = new TCodeBox(CodePanel);
  CodeBox->setFont(CodeFont());
  CodeBox->setAttribute(Qt::WA_OpaquePaintEvent);
  CodeBox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  CodeScroll = new QScrollBar(Qt::Vertical, CodePanel);
  CodeScroll->setFixedWidth(16);
  MakeRelativeScroll(CodeScroll);
  CodeScroll->setPageStep(15);
  CodeScroll->setSingleStep(1);
  connect(CodeScroll, &QScrollBar::actionTriggered, this, &TMainForm::CodeScrollAction);
  connect(CodeScroll, &QScrollBar::sliderReleased, this, &TMainForm::CodeScrollReleased);
  codeRow->addWidget(CodeBox, 1);
  codeRow->addWidget(CodeScroll);
  row->addWidget(CodePanel, 1);

  PRegisters = new TRegisterPanel(client);
  Registers = PRegisters->Grid;
  connect(PRegisters, &TRegisterPanel::GridEntered, this, [this] { RegistersEnter(Registers); });
  connect(PRegisters, &TRegisterPanel::GridLeft, this, [this] { RegistersExit(Registers); });
  connect(PRegisters, &TRegisterPanel::WatchToggled, this, &TMainForm::CodeBoxPaint);
  // Writes held back while the cell editor was open show once it closes.
  connect(PRegisters, &TRegisterPanel::EditorClosed, this, &TMainForm::ScheduleSync);
  row->addWidget(PRegisters);

  PNextCommand = new QFrame(client);
  PNextCommand->setFrameStyle(QFrame::Box | QFrame::Plain);
  PNextCommand->setFixedHeight(30);
  LNextCommand = new QLabel("Nächste Anweisung:", PNextCommand);
  LNextCommand->move(8, 8);
  LNextCommand->adjustSize();
  NextCommand = new QLabel("---", PNextCommand);
  NextCommand->setFont(CodeFont());
  NextCommand->setTextFormat(Qt::PlainText);
  // Where the form font runs wider than its design, the label would cover
  // the start of the instruction: move the instruction to its right.
  NextCommand->setGeometry(std::max(120, LNextCommand->x() + LNextCommand->width() + 6), 6, 577, 18);
  PNextCommand->installEventFilter(new TStretchRight(NextCommand, 21));
  column->addWidget(PNextCommand);

  setCentralWidget(client);
  State = statusBar();
  State->setSizeGripEnabled(true);
  State->showMessage("Bereit. F9 startet das Programm, F8 führt einen Einzelschritt aus, F2 hält es an.");

  // The smallest window still shows eight whole listing lines with address,
  // word and instruction, the whole next instruction and the status line.
  const int line = KeepListingWhole();
  PNextCommand->setMinimumWidth(NextCommand->x() + line + 21);
  State->setMinimumWidth(QFontMetrics(State->font()).horizontalAdvance(State->currentMessage()) + 32);
}

// ------------------------------------------------------------------ actions

void TMainForm::RefreshActions() {
  const bool breakAtPC = FindByInstruction(TheState.GetReg(-1)) != nullptr;
  AFOpen->setEnabled(Stopped);
  AFQuit->setEnabled(true);
  ADRun->setEnabled(Stopped);
  ADStop->setEnabled(!Stopped);
  ADSingleStep->setEnabled(Stopped);
  ABSet->setEnabled(!breakAtPC && Stopped);
  ABClear->setEnabled(breakAtPC && Stopped);
  ABShow->setEnabled(true);
  ADReset->setEnabled(Stopped);
  ADMemInspect->setEnabled(true);
  ADRunFast->setEnabled(Stopped);
}

void TMainForm::AFOpenExecute() {
  const QString name = OpenFileHook(this);
  if (name.isEmpty()) return;
  OpenFile(name);
}

bool TMainForm::OpenFile(const QString& name) {
  if (!LoadFile(name)) return false;
  ADResetExecute();
  emit ProgramOpened(name);
  return true;
}

bool TMainForm::LoadFile(const QString& name, bool atStartup) {
  try {
    if (!LoadImageOrSource(this, QFile::encodeName(name).toStdString(), atStartup)) return false;
  } catch (const TFileOpenError&) {
    MessageBoxHook(this, QString("Datei %1 kann nicht geöffnet werden").arg(name), true);
    return false;
  } catch (const std::bad_alloc&) {
    // No memory to read the file: it ends as an invalid file does, and the
    // reset that follows builds the default image under its name.
    ProgramLines.Clear();
    ProgramFileName = QFile::encodeName(name).toStdString();
    MessageBoxHook(this, QString::fromUtf8(InvalidFileMessage), false);
  }
  return true;
}

void TMainForm::AFQuitExecute() { close(); }

void TMainForm::ADRunExecute() {
  Stopped = false;
  RefreshActions();
  QCoreApplication::processEvents();
  ++RunDepth;
  auto show = [this] {
    FollowPC();
    // The step's texts first: the code view's direct repaint then paints
    // them along, so the window never shows two steps at once.
    SyncDisplay();
    CodeBoxPaint();
    FlushInspectors();
    QCoreApplication::processEvents();
    return QuitRequested;
  };
  // The breakpoints are evaluated before the stop request, so their
  // counters advance on the pass that the stop ends too.
  if (!QuitRequested)
    RunDisplayed(
        show, [] { return Stopped; }, [] { return true; });
  --RunDepth;
  Stopped = true;
  EndOfRun();
}

bool TMainForm::FastRunPoll() {
  if (PollTimer.elapsed() < FastRunPollMs) return false;
  PollTimer.restart();
  // A fast run looks memory up only as its instructions do: whatever a
  // paint here reads must not move the block that the next one finds.
  const TMemory::TCacheState cache = TheMemory.SaveCache();
  if (FastRunPollHook) FastRunPollHook();
  FlushInspectors();
  // Only the stop key and a request to quit get through; every other input
  // waits until the run has ended.
  QCoreApplication::processEvents();
  TheMemory.RestoreCache(cache);
  NarrowStoreReports();  // an inspector may have been resized
  return Stopped || QuitRequested;
}

void TMainForm::ADRunFastExecute() {
  Stopped = false;
  RefreshActions();
  QCoreApplication::processEvents();
  ++RunDepth;
  {
    TInputHold hold;
    PollTimer.start();
    uint64_t steps = 0;
    FastRunRegisters = 0;
    DisplayHooks.RegisterChanged = nullptr;
    DisplayHooks.NextCommandChanged = nullptr;
    NarrowStoreReports();
    if (!QuitRequested)
      RunFast(
          0, steps, [this] { return FastRunPoll(); }, 16, &FastRunRegisters);
    WidenStoreReports();
    DisplayHooks.RegisterChanged = NoteRegister;
    DisplayHooks.NextCommandChanged = NoteNextCommand;
    PRegisters->NoteWritten(FastRunRegisters);
    NextPending = NextPending || steps > 0;
    --RunDepth;
    Stopped = true;
    FollowPC();
    CodeBoxPaint();
    FlushInspectors();
    RefreshActions();
    hold.Release();
  }
  QCoreApplication::processEvents();
  EndOfRun();
}

void TMainForm::EndOfRun() {
  SyncDisplay();
  emit ProcessorStopped();
  if (QuitRequested && !Running()) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TMainForm::ExecuteSingleStep() {
  StepDisplayed([this] { FollowPC(); });
  SyncDisplay();
  CodeBoxPaint();
  emit ProcessorStopped();
}

void TMainForm::ADStopExecute() { Stopped = true; }

// Ctrl+F2: a loaded source is assembled again first; with errors nothing
// changes.
void TMainForm::ADResetClick() {
  if (ReassembleForReset(this)) ADResetExecute();
}

void TMainForm::ADResetExecute() {
  try {
    BuildImage();
  } catch (const std::bad_alloc&) {
    // Out of memory even for the loader's own recovery: once more with
    // nothing but the default image.
    ProgramLines.Clear();
    MessageBoxHook(this, QString::fromUtf8(InvalidFileMessage), false);
    BuildImage();
  }
  TopAddress = 0x7FFFFE;
  ScrollBase = 0x7FFFFE;
  CodeBoxPaint();
  update();
  NextCommand->setText(ToQt(TheCPU.ListingLine(TheState.GetReg(-1))));
  NextPending = false;
  Stopped = true;
  emit ProcessorStopped();
}

void TMainForm::ABSetClick() {
  const int32_t pc = TheState.GetReg(-1);
  if (!FindByInstruction(pc)) {
    auto* bp = new TBreakPoint;
    bp->UseInstruction = true;
    bp->Instruction = pc;
    bp->UpdateView();
  }
  CodeBoxPaint();
  RefreshRegisters();
}

void TMainForm::ABClearExecute() {
  if (TBreakPoint* bp = FindByInstruction(TheState.GetReg(-1))) delete bp;
  CodeBoxPaint();
  RefreshRegisters();
}

void TMainForm::ABShowExecute() { ToggleBreakForm(); }

void TMainForm::ADMemInspectExecute() { OpenMemoryInspector(this); }

bool TMainForm::event(QEvent* event) {
  // Menus and buttons report status tips (an empty one when they have
  // none); the status line shows its one fixed text instead.
  if (event->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (Running()) {
    // A run loop is on the stack: end it first, then close for real.
    QuitRequested = true;
    Stopped = true;
    event->ignore();
    return;
  }
  emit Closing();
  QMainWindow::closeEvent(event);
}

// ------------------------------------------------------------------ code view

void TMainForm::FollowPC() {
  const int32_t pc = TheState.GetReg(-1);
  if (pc < TopAddress) TopAddress = int32_t(uint32_t(pc) - 2);
  const int32_t lastWhole = LineAddress(CodeBox->height() / LineHeight - 3);
  if (pc > lastWhole) TopAddress = int32_t(uint32_t(pc) - 5);
  ScrollBase = TopAddress;
}

int TMainForm::KeepListingWhole() {
  const int line = QFontMetrics(CodeBox->font()).horizontalAdvance("$00000000:  00000000   sltui R00,R00,$00000000");
  CodeBox->setMinimumSize(Gutter + line + 2, 8 * (QFontMetrics(CodeBox->font()).height() + 4));
  return line;
}

void TMainForm::SetZoom(int steps) {
  Listing = std::make_unique<TListingText>(CodePoints, steps);
  CodeBox->setFont(Listing->Font);
  LineHeight = Listing->LineHeight;
  KeepListingWhole();  // a window too small for it grows
  CodeBox->update();

  PRegisters->SetTextSize(Listing->Font, Listing->Scale);
  FitTexts(this);
}

void TMainForm::CodeBoxPaint() { CodeBox->repaint(); }

void TMainForm::PaintCode(QPainter& canvas) {
  const int width = CodeBox->width();
  const int n = CodeBox->height() / LineHeight;
  const int32_t pc = TheState.GetReg(-1);
  int32_t a = TopAddress;
  std::string label;
  bool labelDone = false;
  for (int i = 0; i <= n + 1; ++i) {
    const int y = i * LineHeight;
    if (!labelDone && LabelLines.Above(a, label)) {
      // A label line of a source: no marks, and the word follows below it.
      canvas.fillRect(0, y, width, LineHeight, White);
      label += ':';
      Listing->Text.DrawStrip(canvas, Gutter, y, LineHeight, label, Black.rgb(), White.rgb());
      labelDone = true;
      continue;
    }
    labelDone = false;
    const bool isBreak = FindByInstruction(a) != nullptr;
    const bool isPC = pc == a;
    canvas.fillRect(0, y, Gutter, LineHeight, White);
    const QColor& background = isBreak ? Red : isPC ? Yellow : White;
    canvas.fillRect(Gutter, y, width - Gutter, LineHeight, background);
    std::string line = TheCPU.ListingLine(a);
    if (DecorateLine) DecorateLine(a, line);
    Listing->Text.DrawStrip(canvas, Gutter, y, LineHeight, line, (isBreak ? White : Black).rgb(), background.rgb());
    if (isPC) {
      canvas.drawPixmap(2, y + 1, PosMarker(TFastText::TargetRatio(canvas)));
    } else if (isBreak) {
      canvas.drawPixmap(2, y + 1, StopMarker(TFastText::TargetRatio(canvas)));
    }
    a = int32_t(uint32_t(a) + 1);
  }
}

int32_t TMainForm::LineAddress(int line, bool* isLabel) const {
  return LabelLines.LineAddress(TopAddress, line, isLabel);
}

void TMainForm::CodeBoxMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
  if (x > Gutter) return;
  ToggleInstruction(LineAddress(y / LineHeight));
  CodeBoxPaint();
  RefreshRegisters();
}

void TMainForm::ScrollBy(int32_t delta, bool commit) {
  TopAddress = int32_t(uint32_t(ScrollBase) + uint32_t(delta));
  if (commit) ScrollBase = TopAddress;
  CodeBoxPaint();
}

void TMainForm::CodeScrollAction(int action) {
  RelativeScrollAction(CodeScroll, action, [this](int32_t delta, bool commit) { ScrollBy(delta, commit); });
}

void TMainForm::CodeScrollReleased() {
  RelativeScrollRelease(CodeScroll, [this](int32_t delta, bool commit) { ScrollBy(delta, commit); });
}

void TMainForm::RefreshRegisters() { Registers->Refresh(); }

// ------------------------------------------------------------------ register panel

void TMainForm::RegistersGetEditMask(TVelEGrid*, int, int, QString& value) { value = TRegisterPanel::EditMask(); }

void TMainForm::RegistersGetDrawValues(TVelEGrid*, int col, int row, TCellFont& font, TAlignment& alignment,
                                       QColor& background) {
  PRegisters->GetDrawValues(col, row, font, alignment, background);
}

void TMainForm::RegistersExit(TVelEGrid*) {
  RegCursorCol = Registers->Col();
  RegCursorRow = Registers->Row();
  PRegisters->ParkCursor();
}

void TMainForm::RegistersEnter(TVelEGrid*) {
  if (RegCursorCol != -1) {
    Registers->FocusCell(RegCursorCol, RegCursorRow);
    RegCursorCol = -1;
  }
}

void TMainForm::RegistersMouseDown(TVelEGrid*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
  PRegisters->MouseDown(x, y);
}

void TMainForm::PRegistersResize() { PRegisters->FitWidth(); }

QString TMainForm::RegisterCellText(int col, int row) {
  SyncDisplay();
  return Registers->Cells(col, row);
}

// ------------------------------------------------------------------ display

void TMainForm::SyncDisplay() {
  DisplayPending = false;
  PRegisters->WritePendingCells();
  if (NextPending) {
    NextPending = false;
    NextCommand->setText(TheState.NextValid ? ToQt(TheCPU.ListingText(TheState.NextAddress, TheState.NextWord))
                                            : QString("---"));
  }
}

QString TMainForm::NextCommandText() {
  SyncDisplay();
  return NextCommand->text();
}

// ------------------------------------------------------------------ attached features

bool TMainForm::IsStopped() const { return Stopped; }

uint32_t TMainForm::RegisterValue(int index) const { return uint32_t(TheState.GetReg(index)); }

const std::vector<TMemoryForm*>& TMainForm::MemoryInspectors() const { return Inspectors; }

TMemoryForm* TMainForm::OpenInspector() {
  OpenMemoryInspector(this);
  return Inspectors.back();
}

void TMainForm::AddDebuggerItems(const QList<QAction*>& actions) {
  MDebugger->addSeparator();
  MDebugger->addActions(actions);
}

void TMainForm::AddFileItems(QMenu* submenu, const QList<QAction*>& actions) {
  MDatei->addSeparator();
  MDatei->addMenu(submenu);
  MDatei->addActions(actions);
}

void TMainForm::AddMenuBeforeBreakpoints(QMenu* menu) { menuBar()->insertMenu(MHaltepunkte->menuAction(), menu); }
