#include "ui/SessionFeatures.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <algorithm>

#include "asm/Assembler.h"
#include "asm/Program.h"
#include "breakpoints/BreakPoint.h"
#include "core/CPU.h"
#include "core/Loader.h"
#include "ui/GotoDialog.h"
#include "ui/MainForm.h"
#include "ui/MemoryForm.h"
#include "ui/RegisterPanel.h"
#include "ui/Session.h"
#include "ui/SourceFiles.h"

namespace {

const QColor ChangedInk(0, 0, 0xFF);

QAction* NewAction(QObject* owner, const char* caption, const QKeySequence& key = QKeySequence(),
                   bool checkable = false) {
  auto* action = new QAction(caption, owner);
  action->setShortcut(key);
  action->setCheckable(checkable);
  return action;
}

}  // namespace

TSessionFeatures::TSessionFeatures(TMainForm* form, TSession* session)
    : QObject(form), Form(form), Session(session), Watcher(new QFileSystemWatcher(this)) {
  CreateActions();
  FileNote = new QLabel(form);
  FileNote->setTextFormat(Qt::PlainText);
  FileNote->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  FileNote->hide();
  form->State->addPermanentWidget(FileNote, 1);

  // Changed registers: the panel draws as before, then the mark goes on top.
  auto inner = form->Registers->OnGetDrawValues;
  form->Registers->OnGetDrawValues = [this, inner](TVelEGrid* grid, int col, int row, TCellFont& font,
                                                   TAlignment& alignment, QColor& background) {
    if (inner) inner(grid, col, row, font, alignment, background);
    const int index = TRegisterPanel::ValueCellRegister(col, row);
    if (!Session->HighlightChanges() || index < 0 || !(ChangedMask >> index & 1)) return;
    font.Font.setBold(true);
    // A watched register keeps its white on red.
    if (!FindByRegister(index)) font.Color = ChangedInk;
  };
  TakeSnapshot();

  connect(form, &TMainForm::ProcessorStopped, this, &TSessionFeatures::StoppedHere);
  connect(form, &TMainForm::ProgramOpened, this, &TSessionFeatures::Opened);
  connect(form, &TMainForm::Closing, this, &TSessionFeatures::SaveWindows);
  connect(session, &TSession::RecentFilesChanged, this, &TSessionFeatures::FillRecentMenu);
  connect(session, &TSession::OptionsChanged, this, [this] {
    AHighlight->setChecked(Session->HighlightChanges());
    AAutoReload->setChecked(Session->AutoReload());
    ASymbols->setChecked(Session->ShowSymbols());
    ASource->setChecked(Session->ShowSource());
    Form->RefreshRegisters();
    ApplyZoom();
    Form->CodeBoxPaint();
  });
  connect(session, &TSession::SymbolsChanged, this, [this] {
    LabelAt.clear();
    if (const TAsmSymbols* symbols = Session->Symbols()) LabelAt = LabelsByAddress(*symbols);
    Form->CodeBoxPaint();
  });
  // Every load and Ctrl+F2 hand over the symbols of their own assembly.
  TSourceAssembly* assembled = TSourceAssembly::Of(form);
  connect(assembled, &TSourceAssembly::Changed, this,
          [this, assembled] { Session->SetSource(assembled->Symbols(), assembled->Text()); });
  form->DecorateLine = [this](int32_t address, std::string& line) { Decorate(address, line); };
  form->LabelLines.SetLabelAbove([this](int32_t address, std::string& label) {
    if (LabelAt.empty() || !Session->Symbols() || !Session->ShowSymbols()) return false;
    const auto it = LabelAt.find(address);
    if (it == LabelAt.end()) return false;
    label = it->second;
    return true;
  });
  // A new inspector starts at the design size; it gets the current one.
  connect(form->ADMemInspect, &QAction::triggered, this, [this] {
    if (Zoom != 0 && !Form->MemoryInspectors().empty()) Form->MemoryInspectors().back()->SetZoom(Zoom);
  });
  connect(Watcher, &QFileSystemWatcher::fileChanged, this, &TSessionFeatures::FileChanged);

  // The file given on the command line counts as opened.
  const QString loaded = QString::fromStdString(SourceFileName.empty() ? ProgramFileName : SourceFileName);
  if (!loaded.isEmpty() && QFileInfo(loaded).isFile()) session->NoteOpened(loaded);
  form->OpenFolder = session->LastFolder();
  session->SetSource(assembled->Symbols(), assembled->Text());
  FillRecentMenu();
  Watch();
  RestoreWindows();
  ApplyZoom();
}

void TSessionFeatures::Decorate(int32_t address, std::string& line) const {
  const TAsmSymbols* symbols = Session->Symbols();
  if (!symbols) return;
  if (Session->ShowSymbols()) NameBranchTarget(line, LabelAt);
  if (Session->ShowSource()) {
    const uint32_t number = symbols->LineAt(address);
    const auto& lines = Session->SourceLines();
    if (number == 0 || number > lines.size()) return;
    AppendSourceLine(line, lines[number - 1]);
  }
}

void TSessionFeatures::ApplyZoom() {
  if (Session->Zoom() == Zoom) return;
  Zoom = Session->Zoom();
  Form->SetZoom(Zoom);
  for (TMemoryForm* inspector : Form->MemoryInspectors()) inspector->SetZoom(Zoom);
}

void TSessionFeatures::CreateActions() {
  AHighlight = NewAction(this, "Geänderte Register hervorheben", QKeySequence(), true);
  AHighlight->setChecked(Session->HighlightChanges());
  connect(AHighlight, &QAction::toggled, Session, &TSession::SetHighlightChanges);
  Form->AddDebuggerItems({AHighlight});

  AGoto = NewAction(this, "Gehe zu Adresse...", QKeySequence("Ctrl+G"));
  AShowPC = NewAction(this, "PC anzeigen", QKeySequence("Ctrl+P"));
  connect(AGoto, &QAction::triggered, this, &TSessionFeatures::GoTo);
  connect(AShowPC, &QAction::triggered, this, [this] {
    Form->FollowPC();
    Form->CodeBoxPaint();
  });
  MAnsicht = new QMenu("Ansicht", Form);
  Form->AddMenuBeforeBreakpoints(MAnsicht);
  MAnsicht->addActions({AGoto, AShowPC});
  ASymbols = NewAction(this, "Symbole anzeigen", QKeySequence(), true);
  ASymbols->setChecked(Session->ShowSymbols());
  ASource = NewAction(this, "Quelltext anzeigen", QKeySequence(), true);
  ASource->setChecked(Session->ShowSource());
  connect(ASymbols, &QAction::toggled, Session, &TSession::SetShowSymbols);
  connect(ASource, &QAction::toggled, Session, &TSession::SetShowSource);
  MAnsicht->addSeparator();
  MAnsicht->addActions({ASymbols, ASource});
  MAnsicht->addSeparator();
  AZoomIn = NewAction(this, "Schrift vergrößern");
  // Ctrl++ is typed as Ctrl+= on keyboards where + needs the shift key.
  AZoomIn->setShortcuts({QKeySequence("Ctrl++"), QKeySequence("Ctrl+=")});
  AZoomOut = NewAction(this, "Schrift verkleinern", QKeySequence("Ctrl+-"));
  AZoomReset = NewAction(this, "Normale Schriftgröße", QKeySequence("Ctrl+0"));
  connect(AZoomIn, &QAction::triggered, this, [this] { Session->SetZoom(Session->Zoom() + 1); });
  connect(AZoomOut, &QAction::triggered, this, [this] { Session->SetZoom(Session->Zoom() - 1); });
  connect(AZoomReset, &QAction::triggered, this, [this] { Session->SetZoom(0); });
  MAnsicht->addActions({AZoomIn, AZoomOut, AZoomReset});
  // One key for every window: Ctrl+G acts on the window that is active.
  for (QAction* a : {AGoto, AShowPC, AZoomIn, AZoomOut, AZoomReset}) {
    a->setShortcutContext(Qt::ApplicationShortcut);
    Form->addAction(a);
  }

  AReload = NewAction(this, "Neu laden", QKeySequence("Ctrl+R"));
  AAutoReload = NewAction(this, "Automatisch neu laden", QKeySequence(), true);
  AAutoReload->setChecked(Session->AutoReload());
  connect(AReload, &QAction::triggered, this, &TSessionFeatures::Reload);
  connect(AAutoReload, &QAction::toggled, Session, &TSession::SetAutoReload);
  AReload->setShortcutContext(Qt::ApplicationShortcut);
  Form->addAction(AReload);
  MRecent = new QMenu("Zuletzt geöffnet", Form);
  // Below the window's own items, which keep their places (and keyboard
  // paths: "Beenden" stays the second item).
  Form->AddFileItems(MRecent, {AReload, AAutoReload});
  // Like the window's own actions: enabled by a rule whenever the queue runs empty.
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
    AReload->setEnabled(Form->IsStopped() && !Session->FileName().isEmpty());
    MRecent->setEnabled(Form->IsStopped() && !Session->RecentFiles().isEmpty());
  });
}

// ------------------------------------------------------------------ changed registers

void TSessionFeatures::TakeSnapshot() {
  for (int i = 0; i < 32; ++i) Previous[i] = Form->RegisterValue(i);
}

void TSessionFeatures::StoppedHere() {
  // Once per stop, never per write: the runs stay as fast as without it.
  uint32_t changed = 0;
  for (int i = 0; i < 32; ++i)
    if (Form->RegisterValue(i) != Previous[i]) changed |= uint32_t(1) << i;
  ChangedMask = changed;
  TakeSnapshot();
  Form->RefreshRegisters();
  if (ChangePending) {
    ChangePending = false;
    FileChanged();
  }
}

// ------------------------------------------------------------------ go to

void TSessionFeatures::GoTo() {
  QWidget* active = QApplication::activeWindow();
  TMemoryForm* inspector = nullptr;
  for (TMemoryForm* candidate : Form->MemoryInspectors())
    if (candidate == active) inspector = candidate;
  int32_t address;
  if (!AskGotoAddress(active ? active : Form, Session->Symbols(), address)) return;
  const auto& open = Form->MemoryInspectors();
  if (inspector && std::find(open.begin(), open.end(), inspector) != open.end()) {
    inspector->TopAddress = address;
    inspector->ScrollBase = address;
    inspector->BoxPaint();
    return;
  }
  Form->TopAddress = address;
  Form->ScrollBase = address;
  Form->CodeBoxPaint();
}

// ------------------------------------------------------------------ files

void TSessionFeatures::Opened(const QString& name) {
  Session->NoteOpened(name);
  Form->OpenFolder = Session->LastFolder();
  Note(QString());
  Watch();
}

void TSessionFeatures::FillRecentMenu() {
  MRecent->clear();
  const QStringList files = Session->RecentFiles();
  for (int i = 0; i < files.size(); ++i) {
    QString label = QString("&%1  %2").arg(i + 1).arg(QString(files[i]).replace('&', "&&"));
    QAction* item = MRecent->addAction(label);
    connect(item, &QAction::triggered, this, [this, name = files[i]] { OpenRecent(name); });
  }
  MRecent->setEnabled(!files.isEmpty());
}

void TSessionFeatures::OpenRecent(const QString& name) {
  if (!Form->IsStopped()) return;
  if (!QFileInfo(name).isFile()) {
    MessageBoxHook(Form, QString("Die Datei %1 gibt es nicht mehr; sie wird aus der Liste entfernt.").arg(name), false);
    Session->RemoveRecentFile(name);
    return;
  }
  Form->OpenFile(name);
}

void TSessionFeatures::Watch() {
  const QStringList watched = Watcher->files();
  if (!watched.isEmpty()) Watcher->removePaths(watched);
  const QString name = Session->FileName();
  if (!name.isEmpty() && QFileInfo(name).isFile()) Watcher->addPath(name);
}

void TSessionFeatures::Note(const QString& text) {
  FileNote->setText(text);
  FileNote->setVisible(!text.isEmpty());
}

void TSessionFeatures::FileChanged() {
  // Editors that save by replacing the file drop it from the watch.
  Watch();
  if (!Form->IsStopped() || Form->Running()) {
    ChangePending = true;
    return;
  }
  const QString name = Session->FileName();
  if (name.isEmpty()) return;
  if (!QFileInfo(name).isFile()) {
    Note(QString("%1 ist nicht mehr vorhanden; das geladene Programm bleibt.").arg(QFileInfo(name).fileName()));
    return;
  }
  if (Session->AutoReload()) {
    Reload();
    return;
  }
  Note(QString("%1 wurde geändert. Neu laden mit Strg+R.").arg(QFileInfo(name).fileName()));
}

void TSessionFeatures::Reload() {
  if (!Form->IsStopped() || Form->Running()) return;
  const QString name = Session->FileName();
  if (name.isEmpty()) return;
  const QString shortName = QFileInfo(name).fileName();
  std::string text;
  bool valid = false;
  try {
    text = ReadSourceFile(QFile::encodeName(name).toStdString());
    const std::string file = QFile::encodeName(name).toStdString();
    valid = IsSourceName(file) ? Assemble(text, SourceFileOptions(file)).Ok() : ImageTextIsValid(std::move(text));
  } catch (const std::exception&) {
    Note(QString("%1 kann nicht gelesen werden; das geladene Programm bleibt.").arg(shortName));
    return;
  }
  if (!valid) {
    Note(QString("%1 ist ungültig; das geladene Programm bleibt.").arg(shortName));
    return;
  }
  if (Form->OpenFile(name)) Note(QString("%1 neu geladen.").arg(shortName));
}

// ------------------------------------------------------------------ window places

void TSessionFeatures::RestoreWindows() {
  const QByteArray geometry = Session->MainGeometry();
  if (!geometry.isEmpty()) Form->restoreGeometry(geometry);  // a bad one is ignored by Qt
  for (const TInspectorPlace& place : Session->Inspectors()) {
    TMemoryForm* inspector = Form->OpenInspector();
    if (!place.Geometry.isEmpty()) inspector->restoreGeometry(place.Geometry);
    inspector->TopAddress = place.TopAddress;
    inspector->ScrollBase = place.TopAddress;
    inspector->BoxPaint();
  }
}

void TSessionFeatures::SaveWindows() {
  Session->SetMainGeometry(Form->saveGeometry());
  std::vector<TInspectorPlace> places;
  // Closed inspectors are only hidden; those are not brought back.
  for (TMemoryForm* inspector : Form->MemoryInspectors())
    if (inspector->isVisible()) places.push_back({inspector->saveGeometry(), inspector->TopAddress});
  Session->SetInspectors(places);
}
