// Speed of the runs inside the real main window (offscreen): the fast run
// with every display notification attached, and the run with display that
// repaints the code view after every step.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "BenchSupport.h"
#include "BreakPoint.h"
#include "CPU.h"
#include "MainForm.h"

namespace {

constexpr uint32_t I(uint32_t op, int rb, int ra, int32_t imm) {
  return op << 26 | uint32_t(ra) << 21 | uint32_t(rb) << 16 | (uint32_t(imm) & 0xFFFF);
}
constexpr uint32_t R(uint32_t fn, int rc, int ra, int rb) {
  return uint32_t(ra) << 21 | uint32_t(rb) << 16 | uint32_t(rc) << 11 | fn;
}

constexpr int32_t Iterations = 20'000'000;  // six instructions each

// The headless benchmark's loop: arithmetic, a store and a branch.
std::string LoopImage() {
  const uint32_t code[] = {HeaderWord,         I(35, 4, 30, 0x40), I(9, 1, 1, 3),  R(33, 2, 2, 1),
                           R(36, 3, 3, 2),     I(43, 2, 30, 0x41), I(8, 4, 4, 1),  I(5, 0, 4, -6),
                           IdleLoopWord};
  std::string text = ".CODE\n$800000\n" + std::to_string(std::size(code)) + "\n";
  for (uint32_t w : code) text += "$" + HexText(w, 8) + "\n";
  text += ".DATA\n$800040\n3\n" + std::to_string(Iterations) + "\n0\n0\n";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  MessageBoxHook = [](QWidget*, const QString& text, bool) { std::fprintf(stderr, "%s\n", qPrintable(text)); };

  const std::string loop = TempPath("tavora-bench-ui.cod");
  WriteText(loop, LoopImage());
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
  const double instructions = double(Iterations) * 6 + 1;
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
