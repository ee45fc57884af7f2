#include "ui/SourceFiles.h"

#include <QFile>
#include <QString>

#include "asm/Program.h"
#include "ui/MainForm.h"

namespace {

QString FromLocal(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }

}  // namespace

TSourceAssembly* TSourceAssembly::Of(QObject* form) {
  if (auto* kept = form->findChild<TSourceAssembly*>(QString(), Qt::FindDirectChildrenOnly)) return kept;
  return new TSourceAssembly(form);
}

void TSourceAssembly::Set(std::shared_ptr<const TAsmSymbols> symbols, std::string text) {
  Table = std::move(symbols);
  Source = std::move(text);
  emit Changed();
}

bool LoadImageOrSource(QWidget* parent, const std::string& name, bool atStartup) {
  std::string text;
  TAsmResult assembly = LoadAnyProgram(name, atStartup, &text);
  if (assembly.Ok()) {
    // An image has neither symbols nor source text.
    std::shared_ptr<const TAsmSymbols> symbols;
    if (IsSourceName(name)) symbols = std::make_shared<const TAsmSymbols>(std::move(assembly.Symbols));
    TSourceAssembly::Of(parent)->Set(std::move(symbols), std::move(text));
    return true;
  }
  MessageBoxHook(parent, FromLocal(SourceErrorText(name, assembly)), false);
  // At start-up the default image stands in, without symbols.
  if (atStartup) TSourceAssembly::Of(parent)->Set(nullptr, std::string());
  return atStartup;
}

bool ReassembleForReset(QWidget* parent) {
  TAsmResult assembly;
  std::string error, text;
  if (ReassembleSource(assembly, error, &text)) {
    if (!SourceFileName.empty())
      TSourceAssembly::Of(parent)->Set(std::make_shared<const TAsmSymbols>(std::move(assembly.Symbols)),
                                       std::move(text));
    return true;
  }
  MessageBoxHook(parent, FromLocal(error.empty() ? SourceErrorText(SourceFileName, assembly) : error), !error.empty());
  return false;
}
