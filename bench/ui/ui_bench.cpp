// Speed of the runs inside the real main window (offscreen): the fast run
// with every display notification attached, and the run with display that
// repaints the code view after every step.
#include <QApplication>
#include <QScrollBar>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/BenchSupport.h"
#include "bench/LoopImage.h"
#include "breakpoints/BreakPoint.h"
#include "core/CPU.h"
#include "ui/MainForm.h"

constexpr int32_t Iterations = 20'000'000;

// Resident memory of this process now, in MiB.
static double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

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
  const double cpu = CpuSeconds();
  form.ADRunExecute();
  double elapsed = Seconds() - t;
  const double cpuElapsed = CpuSeconds() - cpu;
  // Per CPU second as well: on a busy machine the wall clock mostly
  // measures the others.
  std::printf(
      "ui: run with display: %5.0f steps/s, %5.0f steps per CPU second (%d steps with a repaint each in %.3f s)\n",
      DisplaySteps / elapsed, DisplaySteps / cpuElapsed, DisplaySteps, elapsed);
  delete counter;

  // Paging through the listing draws new lines all the time; the kept
  // line images must stay within their budget (QT_SCALE_FACTOR=2 for
  // a high-density screen).
  const double before = ResidentMiB();
  for (int page = 0; page < 150; ++page) form.CodeScroll->triggerAction(QAbstractSlider::SliderPageStepAdd);
  std::printf("ui: 150 page-downs in the code view at scale %.0f: resident %.0f MiB before, %.0f MiB after\n",
              form.devicePixelRatioF(), before, ResidentMiB());
  return 0;
}
