#include "SourceFiles.h"

#include <QFile>
#include <QString>

#include "MainForm.h"
#include "Program.h"

namespace {

QString FromLocal(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }

}  // namespace

bool LoadImageOrSource(QWidget* parent, const std::string& name, bool atStartup) {
  const TAsmResult assembly = LoadAnyProgram(name, atStartup);
  if (assembly.Ok()) return true;
  MessageBoxHook(parent, FromLocal(SourceErrorText(name, assembly)), false);
  return atStartup;
}

bool ReassembleForReset(QWidget* parent) {
  TAsmResult assembly;
  std::string error;
  if (ReassembleSource(assembly, error)) return true;
  MessageBoxHook(parent, FromLocal(error.empty() ? SourceErrorText(SourceFileName, assembly) : error),
                 !error.empty());
  return false;
}
