// Speed of the runs inside the real main window (offscreen): the fast run
// with every display notification attached, and the run with display that
// repaints the code view after every step.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "BenchSupport.h"
#include "BreakPoint.h"
#include "CPU.h"
#include "LoopImage.h"
#include "MainForm.h"

constexpr int32_t Iterations = 20'000'000;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  MessageBoxHook = [](QWidget*, const QString& text, bool) { std::fprintf(stderr, "%s\n", qPrintable(text)); };

  const std::string loop = TempPath("tavora-bench-ui.cod");
  WriteText(loop, bench::LoopImage(Iterations));
  TMainForm form(QStringList{QString::fromStdString(loop)});
  form.show();
  QCoreApplication::processEvents();
  std::remove(loop.c_str());

  // "--display" measures the run with display alone (for profiling).
  const bool displayOnly = argc > 1 && std::string(argv[1]) == "--display";
  double best = 1e30;
  for (int round = 0; round < (displayOnly ? 0 : 3); ++round) {
    form.ADResetExecute();
    double t = Seconds();
    form.ADRunFastExecute();
    best = std::min(best, Seconds() - t);
  }
  const double instructions = bench::LoopInstructions(Iterations);
  if (!displayOnly)
    std::printf("ui: fast run in the main window: %5.0f M instructions/s (%.0f instructions in %.3f s, best of 3)\n",
              instructions / best / 1e6, instructions, best);

  // The run with display, stopped by a counter after a fixed number of steps.
  constexpr int32_t DisplaySteps = 20000;
  form.ADResetExecute();
  auto* counter = new TBreakPoint;
  counter->UseCount = true;
  counter->MaxCount = DisplaySteps;
  counter->UpdateView();
  double t = Seconds();
  form.ADRunExecute();
  double elapsed = Seconds() - t;
  std::printf("ui: run with display: %5.0f steps/s (%d steps with a repaint each in %.3f s)\n",
              DisplaySteps / elapsed, DisplaySteps, elapsed);
  delete counter;
  return 0;
}
