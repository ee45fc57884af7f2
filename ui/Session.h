// The debugging session the windows share beyond what the core holds: the
// loaded file with its symbols, the user's options, the recently opened
// files and the settings file that remembers all of that between starts.
//
// Windows never reach each other for these: they read the session and
// connect to its signals. Every value has a default, so a settings file
// that is missing, unreadable or corrupt only means the defaults.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QSettings;
class TAsmSymbols;

// An inspector as it is remembered: its place on screen and its address.
struct TInspectorPlace {
  QByteArray Geometry;
  int32_t TopAddress = 0x800000;
};

class TSession : public QObject {
  Q_OBJECT

 public:
  static constexpr int MaxRecentFiles = 8;
  static constexpr int MinZoom = -4, MaxZoom = 12;  // point steps from the design size

  // settingsFile: the ini file to read now and write on every change; an
  // empty name keeps everything for this run only.
  explicit TSession(const QString& settingsFile = QString(), QObject* parent = nullptr);
  ~TSession() override;

  // tavora.ini in the user's configuration folder.
  static QString DefaultSettingsFile();

  // Options.
  bool HighlightChanges() const { return Highlight; }
  void SetHighlightChanges(bool on);
  bool AutoReload() const { return Reload; }
  void SetAutoReload(bool on);
  bool ShowSymbols() const { return Symbolic; }  // target names in the listing
  void SetShowSymbols(bool on);
  bool ShowSource() const { return Source; }  // source lines beside the listing
  void SetShowSource(bool on);
  int Zoom() const { return ZoomSteps; }
  void SetZoom(int steps);  // clamped to MinZoom..MaxZoom

  // The loaded program's file (an image or a source); empty when none.
  QString FileName() const { return File; }
  // A file was opened: it becomes the loaded one, the first recent file and
  // the folder the open dialog starts in.
  void NoteOpened(const QString& name);
  QStringList RecentFiles() const { return Recent; }
  void RemoveRecentFile(const QString& name);
  QString LastFolder() const { return Folder; }

  // Labels and source lines of the loaded source; null for an image or a
  // source that did not assemble.
  const TAsmSymbols* Symbols() const { return SymbolTable.get(); }
  // The source's text lines (0-based), for showing them beside the words.
  const std::vector<std::string>& SourceLines() const { return Lines; }
  // Takes the symbol table of the assembly that loaded the source and the
  // text it was assembled from; null symbols (an image) clear both.
  void SetSource(std::shared_ptr<const TAsmSymbols> symbols, const std::string& text);

  // Window places.
  QByteArray MainGeometry() const;
  void SetMainGeometry(const QByteArray& geometry);
  std::vector<TInspectorPlace> Inspectors() const;
  void SetInspectors(const std::vector<TInspectorPlace>& places);

 signals:
  void OptionsChanged();
  void RecentFilesChanged();
  void SymbolsChanged();

 private:
  void Read();
  void Write(const QString& key, const QVariant& value);

  std::unique_ptr<QSettings> Store;  // null without a usable settings file
  bool Highlight = true;
  bool Reload = false;
  bool Symbolic = true;
  bool Source = false;
  int ZoomSteps = 0;
  QString File;
  QString Folder;
  QStringList Recent;
  std::shared_ptr<const TAsmSymbols> SymbolTable;
  std::vector<std::string> Lines;
};
