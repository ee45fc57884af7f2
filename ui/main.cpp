// The debugger's entry: the core instances exist before main runs; here
// the main window is created (it loads and resets), then the message loop
// runs until the main window closes.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "ui/BreakForm.h"
#include "ui/Desktop.h"
#include "ui/MainForm.h"
#include "ui/Session.h"
#include "ui/SessionFeatures.h"

namespace {

const char* const HelpText =
    "Aufruf: tavora [DATEI.cod | QUELLE.s]\n"
    "\n"
    "Der Debugger für den 32-Bit-Lehrprozessor: lädt das EPROM-Abbild DATEI.cod\n"
    "(ohne Angabe ein leeres Abbild), setzt den Prozessor zurück und zeigt Code,\n"
    "Register und Speicher. Eine Assembler-Quelle (.s, .asm) wird vorher\n"
    "übersetzt; Strg+F2 übersetzt sie erneut.\n"
    "\n"
    "  -h, --help     diese Hilfe anzeigen und beenden\n"
    "      --version  die Versionsnummer anzeigen und beenden\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before any window system is touched, so they work on a console
  // without a display too.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tavora %s\n", TAVORA_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(HelpText, stdout);
      return 0;
    }
  }
  QApplication app(argc, argv);
  InstallDesktopLook(app);
  QStringList args = QApplication::arguments();
  args.removeFirst();
  // Declared first: the session outlives the windows that use it.
  TSession session(TSession::DefaultSettingsFile());
  TMainForm form(args);
  new TSessionFeatures(&form, &session);
  CreateBreakForm();
  form.show();
  const int status = app.exec();
  DestroyBreakForm();
  return status;
}
