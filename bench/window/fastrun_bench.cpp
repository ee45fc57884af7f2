// The fast run as the user meets it: the whole action in the main window,
// from the key to the window showing the end, with the register panel, the
// next-instruction line and one memory inspector attached, against the
// headless fast run of the same program in the same process.
#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/LoopImage.h"
#include "breakpoints/BreakPoint.h"
#include "breakpoints/Run.h"
#include "core/CPU.h"
#include "core/Loader.h"
#include "ui/MainForm.h"
#include "ui/MemoryForm.h"

namespace {

constexpr int32_t Iterations = 20'000'000;

struct TFigure {
  double Best = 0, Median = 0;
};

// Five runs, each after a reset; M instructions per second of processor
// time (everything the offscreen window does happens on this thread).
template <class Run>
TFigure Measure(TMainForm& form, Run&& run) {
  std::vector<double> rates;
  for (int round = 0; round < 5; ++round) {
    form.ADResetExecute();
    QCoreApplication::processEvents();
    const double t = CpuSeconds();
    run();
    rates.push_back(bench::LoopInstructions(Iterations) / (CpuSeconds() - t) / 1e6);
  }
  std::sort(rates.begin(), rates.end());
  return {rates.back(), rates[2]};
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  MessageBoxHook = [](QWidget*, const QString& text, bool) { std::fprintf(stderr, "%s\n", qPrintable(text)); };

  const std::string loop = TempPath("tavora-bench-window.cod");
  WriteText(loop, bench::LoopImage(Iterations));
  TMainForm form(QStringList{QString::fromStdString(loop)});
  std::remove(loop.c_str());
  form.show();
  form.ADMemInspectExecute();
  QCoreApplication::processEvents();

  const TFigure window = Measure(form, [&] {
    form.ADRunFastExecute();
    QCoreApplication::processEvents();  // the window shows the end
  });
  // The same with the inspector showing the word the loop stores to, so
  // that every store is reported to it.
  TMemoryForm* inspector = Inspectors.back();
  inspector->TopAddress = inspector->ScrollBase = 0x800040;
  inspector->BoxPaint();
  const TFigure watched = Measure(form, [&] {
    form.ADRunFastExecute();
    QCoreApplication::processEvents();
  });
  const TFigure headless = Measure(form, [] {
    const TDisplayHooks attached = DisplayHooks;
    DisplayHooks = TDisplayHooks{};
    uint64_t steps = 0;
    RunFast(0, steps);
    DisplayHooks = attached;
  });
  std::printf("window: loop workload, %.0f instructions per run (best and median of 5, %s)\n",
              bench::LoopInstructions(Iterations), qPrintable(QGuiApplication::platformName()));
  std::printf("  headless fast run:                          best %5.0f, median %5.0f M instructions/s\n",
              headless.Best, headless.Median);
  std::printf(
      "  fast run in the window, panel + inspector:  best %5.0f, median %5.0f M instructions/s"
      "  (%3.0f %% / %3.0f %% of headless)\n",
      window.Best, window.Median, 100 * window.Best / headless.Best, 100 * window.Median / headless.Median);
  std::printf(
      "  the same, inspector showing the stored word: best %5.0f, median %5.0f M instructions/s"
      "  (%3.0f %% / %3.0f %% of headless)\n",
      watched.Best, watched.Median, 100 * watched.Best / headless.Best, 100 * watched.Median / headless.Median);
  return 0;
}
