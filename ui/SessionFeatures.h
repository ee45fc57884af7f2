// What the session adds to the windows: changed registers in bold blue,
// "Gehe zu Adresse" and "PC anzeigen", the recently opened files, reloading
// a changed file, and the places of the windows between starts. All of it
// is attached to a finished main window, which knows nothing of it beyond
// the signals it emits; the program attaches it at start-up.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <string>
#include <unordered_map>

#include "asm/SourceView.h"

class QAction;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class TMainForm;
class TMemoryForm;
class TSession;

class TSessionFeatures : public QObject {
 public:
  // Owned by the form; the session must outlive the form.
  TSessionFeatures(TMainForm* form, TSession* session);

  QAction* AHighlight;   // "Geänderte Register hervorheben"
  QAction* AGoto;        // "Gehe zu Adresse..." (Ctrl+G)
  QAction* AShowPC;      // "PC anzeigen" (Ctrl+P)
  QAction* AReload;      // "Neu laden" (Ctrl+R)
  QAction* AAutoReload;  // "Automatisch neu laden"
  QAction* ASymbols;     // "Symbole anzeigen"
  QAction* ASource;      // "Quelltext anzeigen"
  QAction* AZoomIn;      // "Schrift vergrößern" (Ctrl++)
  QAction* AZoomOut;     // "Schrift verkleinern" (Ctrl+-)
  QAction* AZoomReset;   // "Normale Schriftgröße" (Ctrl+0)
  QMenu* MAnsicht;
  QMenu* MRecent;    // "Zuletzt geöffnet"
  QLabel* FileNote;  // the file notices in the status line

  // Bit i: Ri differs from its value at the stop before the last one.
  uint32_t Changed() const { return ChangedMask; }

  // "Gehe zu Adresse" for the active window: an inspector when one is
  // active, else the code view.
  void GoTo();
  // A listing line as the code view shows it: with the name of a branch
  // target and the source line beside it when those are switched on.
  void Decorate(int32_t address, std::string& line) const;
  // Reloads the loaded file; a file that is gone or invalid leaves the
  // loaded program as it is and says so in the status line.
  void Reload();

 private:
  void CreateActions();
  void TakeSnapshot();
  void StoppedHere();
  void Opened(const QString& name);
  void FillRecentMenu();
  void OpenRecent(const QString& name);
  void Watch();
  void FileChanged();
  void Note(const QString& text);
  void RestoreWindows();
  void SaveWindows();
  void ApplyZoom();

  TMainForm* Form;
  TSession* Session;
  QFileSystemWatcher* Watcher;
  uint32_t Previous[32] = {};
  uint32_t ChangedMask = 0;
  bool ChangePending = false;  // the file changed while a run was going on
  TLabelIndex LabelAt;         // first label of each address
  int Zoom = 0;                // the text size the windows have now
};
