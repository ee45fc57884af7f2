// The fast run in the main window with and without the session's features
// attached (changed registers, file watch, recent files): the features
// must cost the run nothing noticeable.
#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench/BenchSupport.h"
#include "bench/LoopImage.h"
#include "ui/MainForm.h"
#include "ui/Session.h"
#include "ui/SessionFeatures.h"

constexpr int32_t Iterations = 20'000'000;

// Best of five fast runs from a reset, in M instructions/s (processor time).
static double FastRun(TMainForm& form) {
  double best = 1e30;
  for (int round = 0; round < 5; ++round) {
    form.ADResetExecute();
    const double t = CpuSeconds();
    form.ADRunFastExecute();
    best = std::min(best, CpuSeconds() - t);
  }
  return bench::LoopInstructions(Iterations) / best / 1e6;
}

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  MessageBoxHook = [](QWidget*, const QString& text, bool) { std::fprintf(stderr, "%s\n", qPrintable(text)); };

  const std::string loop = TempPath("tavora-bench-session.cod");
  WriteText(loop, bench::LoopImage(Iterations));
  double plain, attached;
  {
    TMainForm form(QStringList{QString::fromStdString(loop)});
    form.show();
    QCoreApplication::processEvents();
    plain = FastRun(form);
  }
  {
    TSession session;  // nothing written to the user's settings
    TMainForm form(QStringList{QString::fromStdString(loop)});
    new TSessionFeatures(&form, &session);
    form.show();
    QCoreApplication::processEvents();
    attached = FastRun(form);
  }
  std::remove(loop.c_str());
  std::printf("ui: fast run without the session's features: %5.0f M instructions/s (best of 5)\n", plain);
  std::printf("ui: fast run with the session's features:    %5.0f M instructions/s (best of 5, %+.1f %%)\n", attached,
              (attached / plain - 1) * 100);
  return 0;
}
