#include "ui/Session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

#include "asm/Assembler.h"
#include "asm/SourceView.h"

namespace {

const char* const KeyHighlight = "Optionen/GeaenderteRegisterHervorheben";
const char* const KeyReload = "Optionen/AutomatischNeuLaden";
const char* const KeyZoom = "Optionen/Zoom";
const char* const KeySymbols = "Optionen/SymboleAnzeigen";
const char* const KeySource = "Optionen/QuelltextAnzeigen";
const char* const KeyRecent = "Dateien/Zuletzt";
const char* const KeyFolder = "Dateien/Ordner";
const char* const KeyMain = "Fenster/Hauptfenster";
const char* const KeyInspectors = "Fenster/Inspektoren";

// A value of the wrong kind counts as missing.
bool ReadBool(QSettings& s, const char* key, bool fallback) {
  const QVariant v = s.value(key);
  if (!v.isValid()) return fallback;
  const QString t = v.toString().trimmed().toLower();
  if (t == "true" || t == "1") return true;
  if (t == "false" || t == "0") return false;
  return fallback;
}

}  // namespace

TSession::TSession(const QString& settingsFile, QObject* parent) : QObject(parent) {
  if (settingsFile.isEmpty()) return;
  Store = std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
  if (Store->status() == QSettings::FormatError) {
    // A corrupt file is dropped: defaults now, and the next change writes a
    // clean file in its place.
    Store.reset();
    QFile::remove(settingsFile);
    Store = std::make_unique<QSettings>(settingsFile, QSettings::IniFormat);
  }
  if (Store->status() != QSettings::NoError) {
    Store.reset();  // unreadable: defaults, nothing written
    return;
  }
  Read();
}

TSession::~TSession() {
  if (Store) Store->sync();
}

QString TSession::DefaultSettingsFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/tavora/tavora.ini";
}

void TSession::Read() {
  QSettings& s = *Store;
  Highlight = ReadBool(s, KeyHighlight, true);
  Reload = ReadBool(s, KeyReload, false);
  Symbolic = ReadBool(s, KeySymbols, true);
  Source = ReadBool(s, KeySource, false);
  bool ok = false;
  const int zoom = s.value(KeyZoom).toInt(&ok);
  ZoomSteps = ok ? std::clamp(zoom, MinZoom, MaxZoom) : 0;
  for (const QString& name : s.value(KeyRecent).toStringList())
    if (!name.isEmpty() && !Recent.contains(name) && Recent.size() < MaxRecentFiles) Recent << name;
  Folder = s.value(KeyFolder).toString();
}

void TSession::Write(const QString& key, const QVariant& value) {
  if (Store) Store->setValue(key, value);
}

void TSession::SetHighlightChanges(bool on) {
  if (on == Highlight) return;
  Highlight = on;
  Write(KeyHighlight, on);
  emit OptionsChanged();
}

void TSession::SetAutoReload(bool on) {
  if (on == Reload) return;
  Reload = on;
  Write(KeyReload, on);
  emit OptionsChanged();
}

void TSession::SetShowSymbols(bool on) {
  if (on == Symbolic) return;
  Symbolic = on;
  Write(KeySymbols, on);
  emit OptionsChanged();
}

void TSession::SetShowSource(bool on) {
  if (on == Source) return;
  Source = on;
  Write(KeySource, on);
  emit OptionsChanged();
}

void TSession::SetZoom(int steps) {
  steps = std::clamp(steps, MinZoom, MaxZoom);
  if (steps == ZoomSteps) return;
  ZoomSteps = steps;
  Write(KeyZoom, steps);
  emit OptionsChanged();
}

void TSession::NoteOpened(const QString& name) {
  const QFileInfo info(name);
  const QString path = info.absoluteFilePath();
  File = path;
  Folder = info.absolutePath();
  Write(KeyFolder, Folder);
  Recent.removeAll(path);
  Recent.prepend(path);
  while (Recent.size() > MaxRecentFiles) Recent.removeLast();
  Write(KeyRecent, Recent);
  emit RecentFilesChanged();
}

void TSession::RemoveRecentFile(const QString& name) {
  if (Recent.removeAll(name) == 0) return;
  Write(KeyRecent, Recent);
  emit RecentFilesChanged();
}

void TSession::SetSource(std::shared_ptr<const TAsmSymbols> symbols, const std::string& text) {
  SymbolTable = std::move(symbols);
  Lines = SymbolTable ? ::SourceLines(text) : std::vector<std::string>();
  emit SymbolsChanged();
}

QByteArray TSession::MainGeometry() const { return Store ? Store->value(KeyMain).toByteArray() : QByteArray(); }

void TSession::SetMainGeometry(const QByteArray& geometry) { Write(KeyMain, geometry); }

std::vector<TInspectorPlace> TSession::Inspectors() const {
  std::vector<TInspectorPlace> places;
  if (!Store) return places;
  const int n = Store->beginReadArray(KeyInspectors);
  // A handful of windows is what a person keeps open; a hostile count is cut.
  for (int i = 0; i < std::min(n, 32); ++i) {
    Store->setArrayIndex(i);
    TInspectorPlace place;
    place.Geometry = Store->value("Geometrie").toByteArray();
    bool ok = false;
    const qlonglong address = Store->value("Adresse").toLongLong(&ok);
    if (ok && address >= INT32_MIN && address <= INT32_MAX) place.TopAddress = int32_t(address);
    places.push_back(place);
  }
  Store->endArray();
  return places;
}

void TSession::SetInspectors(const std::vector<TInspectorPlace>& places) {
  if (!Store) return;
  Store->remove(KeyInspectors);
  Store->beginWriteArray(KeyInspectors, int(places.size()));
  for (size_t i = 0; i < places.size(); ++i) {
    Store->setArrayIndex(int(i));
    Store->setValue("Geometrie", places[i].Geometry);
    Store->setValue("Adresse", qlonglong(places[i].TopAddress));
  }
  Store->endArray();
}
