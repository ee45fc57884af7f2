// The debugger's entry: the core instances exist before main runs; here
// the main window is created (it loads and resets), then the message loop
// runs until the main window closes.
#include <QApplication>

#include "BreakForm.h"
#include "MainForm.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QStringList args = QApplication::arguments();
  args.removeFirst();
  TMainForm form(args);
  CreateBreakForm();
  form.show();
  const int status = app.exec();
  DestroyBreakForm();
  return status;
}
