// Cost of the memory inspectors (offscreen): the fast run of a loop that
// stores into words the open inspectors show, with one and with three of
// them open, and the load of a 1,000,000-word image with one open.
#include <QAction>
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "bench/BenchSupport.h"
#include "core/CPU.h"
#include "core/Loader.h"
#include "ui/MainForm.h"
#include "ui/MemoryForm.h"

namespace {

constexpr uint32_t I(uint32_t op, int rb, int ra, int32_t imm) {
  return op << 26 | uint32_t(ra) << 21 | uint32_t(rb) << 16 | (uint32_t(imm) & 0xFFFF);
}
constexpr uint32_t R(uint32_t fn, int rc, int ra, int rb) {
  return uint32_t(ra) << 21 | uint32_t(rb) << 16 | uint32_t(rc) << 11 | fn;
}

constexpr int32_t Iterations = 20'000'000;  // six instructions each
constexpr int32_t ImageWords = 1'000'000;

void AppendWord(std::string& text, uint32_t word) {
  text += '$';
  text += HexText(word, 8);
  text += '\n';
}

// Every iteration stores the counter into one of sixteen words from
// 0x800010 on, all of them in view of an inspector at its first position.
std::string StoreLoopImage() {
  const uint32_t code[] = {HeaderWord,        I(35, 4, 30, 0x40),  // lw   R4, $40(R30)
                           I(9, 1, 1, 1),                          // addi R1, R1, 1
                           I(14, 5, 1, 15),                        // andi R5, R1, 15
                           R(33, 6, 5, 30),                        // add  R6, R5, R30
                           I(43, 1, 6, 0x10),                      // sw   R1, $10(R6)
                           I(8, 4, 4, 1),                          // subi R4, R4, 1
                           I(5, 0, 4, -6),                         // bnez R4, back to the addi
                           IdleLoopWord};
  std::string text = ".CODE\n$800000\n" + std::to_string(std::size(code)) + "\n";
  for (uint32_t w : code) AppendWord(text, w);
  text += ".DATA\n$800040\n1\n" + std::to_string(Iterations) + "\n";
  return text;
}

std::string LargeImage() {
  std::string text = ".CODE\n$800000\n" + std::to_string(ImageWords) + "\n$52455341\n";
  text.reserve(text.size() + size_t(ImageWords) * 10);
  for (int32_t i = 1; i < ImageWords; ++i) AppendWord(text, uint32_t(i) * 2654435761u);
  return text;
}

void FastRuns(TMainForm& form) {
  double best = 1e30;
  for (int round = 0; round < 3; ++round) {
    form.ADResetExecute();
    QCoreApplication::processEvents();
    const double t = Seconds();
    form.ADRunFastExecute();
    best = std::min(best, Seconds() - t);
  }
  const double instructions = double(Iterations) * 6 + 1;
  std::printf(
      "inspector: fast run, a store every 6 instructions, %zu inspector%s open: %5.0f M instructions/s "
      "(%.0f instructions in %.3f s, best of 3)\n",
      Inspectors.size(), Inspectors.size() == 1 ? "" : "s", instructions / best / 1e6, instructions, best);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  MessageBoxHook = [](QWidget*, const QString& text, bool) { std::fprintf(stderr, "%s\n", qPrintable(text)); };

  const std::string loop = TempPath("tavora-bench-inspector.cod");
  const std::string large = TempPath("tavora-bench-inspector-large.cod");
  WriteText(loop, StoreLoopImage());
  WriteText(large, LargeImage());
  TMainForm form(QStringList{QString::fromStdString(loop)});
  form.show();
  QCoreApplication::processEvents();

  FastRuns(form);  // no inspector: the reference
  form.ADMemInspect->trigger();
  QCoreApplication::processEvents();
  FastRuns(form);

  // The open action's work: read and build, then the reset builds again.
  double best = 1e30;
  for (int round = 0; round < 3; ++round) {
    const double t = Seconds();
    LoadProgram(large);
    form.ADResetExecute();
    QCoreApplication::processEvents();
    best = std::min(best, Seconds() - t);
  }
  std::printf("inspector: load of a %d-word image with 1 inspector open: %.3f s (best of 3)\n", ImageWords, best);

  LoadProgram(loop);
  form.ADMemInspect->trigger();
  form.ADMemInspect->trigger();
  QCoreApplication::processEvents();
  FastRuns(form);

  std::remove(loop.c_str());
  std::remove(large.c_str());
  return 0;
}
