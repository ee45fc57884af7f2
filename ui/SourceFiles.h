// The debugger's side of opening sources: a .s or .asm file is assembled
// in memory and its image takes the loader's usual path; a source with
// errors becomes one plain-text message box listing the first errors with
// their line numbers, and whatever was loaded before stays as it was.
#pragma once

#include <QObject>

#include <memory>
#include <string>

class QWidget;
class TAsmSymbols;

// The symbol table and text of the source that a main window's last load
// or reset assembled, handed on so that whoever shows symbols (the
// session) keeps that assembly's table instead of assembling the file once
// more. One per main window, made on first use; it keeps the latest, so a
// receiver attached after the start-up load still finds it.
class TSourceAssembly : public QObject {
  Q_OBJECT

 public:
  static TSourceAssembly* Of(QObject* form);
  // Null while an image is loaded or the loaded source did not assemble.
  std::shared_ptr<const TAsmSymbols> Symbols() const { return Table; }
  const std::string& Text() const { return Source; }
  void Set(std::shared_ptr<const TAsmSymbols> symbols, std::string text);

 signals:
  void Changed();

 private:
  using QObject::QObject;
  std::shared_ptr<const TAsmSymbols> Table;
  std::string Source;
};

// Loads an image or a source as the open action and the start-up do.
// False when nothing changed because a source had errors (after its
// message); at start-up such a source leaves the default image, so the
// caller resets as after an invalid image and true is returned. Throws
// TFileOpenError like LoadProgram.
bool LoadImageOrSource(QWidget* parent, const std::string& name, bool atStartup);

// For the reset action: assembles the loaded source again, so that "edit,
// save, Ctrl+F2" runs the new version. False, after the message, when it
// has errors or cannot be read; the caller then leaves the image as it is.
// True at once when the loaded program is an image.
bool ReassembleForReset(QWidget* parent);
