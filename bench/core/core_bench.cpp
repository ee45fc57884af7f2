// Headless speed of the simulator core: the fast run of a loop against a
// plain reference interpreter, with and without breakpoints, and the load
// of a large image.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/LoopImage.h"
#include "bench/Reference.h"
#include "breakpoints/BreakPoint.h"
#include "breakpoints/Run.h"
#include "core/CPU.h"
#include "core/Loader.h"

namespace {

constexpr int32_t Iterations = 20'000'000;
// The runs with many instruction breakpoints are shorter: without an index
// each breakpoint costs every step.
constexpr int32_t ShortIterations = 2'000'000;

// Best and median of five runs, in millions of instructions per second of
// processor time.
struct TFigure {
  double Best = 0, Median = 0;
};

template <class Run>
TFigure Measure(Run&& run) {
  std::vector<double> rates;
  for (int round = 0; round < 5; ++round) {
    BuildImage();
    double t = CpuSeconds();
    uint64_t steps = run();
    rates.push_back(double(steps) / (CpuSeconds() - t) / 1e6);
  }
  std::sort(rates.begin(), rates.end());
  return {rates.back(), rates[2]};
}

uint64_t Fast() {
  uint64_t steps = 0;
  RunFast(0, steps);
  return steps;
}

void Print(const char* label, TFigure f, const char* base = nullptr, TFigure of = {}) {
  std::printf("  %-42s best %5.0f, median %5.0f M instructions/s", label, f.Best, f.Median);
  if (base) std::printf("  (%3.0f %% / %3.0f %% of %s)", 100 * f.Best / of.Best, 100 * f.Median / of.Median, base);
  std::printf("\n");
}

void LoadLoop(int32_t iterations) {
  const std::string loop = TempPath("tavora-bench-loop.cod");
  WriteText(loop, bench::LoopImage(iterations));
  LoadProgram(loop);
  std::remove(loop.c_str());
}

// The reference must compute what the fast run computes, or its figure
// means nothing.
bool SameResult() {
  BuildImage();
  uint64_t fast = Fast();
  std::vector<uint32_t> regs(std::begin(TheState.Regs), std::end(TheState.Regs));
  BuildImage();
  uint64_t reference = bench::ReferenceRun(UINT64_MAX);
  return reference == fast && std::equal(regs.begin(), regs.end(), std::begin(TheState.Regs));
}

void AddInstructionBreakPoints(int count) {
  for (int i = 0; i < count; ++i) {  // addresses the program never reaches
    auto* bp = new TBreakPoint;
    bp->UseInstruction = true;
    bp->Instruction = 0x900000 + i * 7;
    bp->UpdateView();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--load") {
    // Runs in a process of its own so that the peak memory is the load's.
    double t = Seconds();
    LoadProgram(argv[2]);
    double load = Seconds() - t;
    BuildImage();  // the reset that follows every load
    std::printf("core: 1,000,000-word image: load %.3f s, reset %.3f s, peak memory of the process %.1f MiB\n", load,
                Seconds() - t - load, PeakMiB());
    return 0;
  }
  const std::string big = TempPath("tavora-bench-big.cod");
  {
    std::string text = ".CODE\n$800000\n1000000\n$52455341\n";
    for (int i = 1; i < 1'000'000; ++i) {
      text += "0x";
      text += HexText(uint32_t(i) * 2654435761u, 8);
      text += '\n';
    }
    WriteText(big, text);
  }
  std::fflush(stdout);
  int status = std::system(("'" + std::string(argv[0]) + "' --load '" + big + "'").c_str());
  std::remove(big.c_str());
  if (status != 0) return 1;

  LoadLoop(Iterations);
  std::printf("core: loop workload, %.0f instructions per run (best and median of 5)\n",
              bench::LoopInstructions(Iterations));
  if (!SameResult()) {
    std::printf("core: the reference interpreter ends differently from the fast run\n");
    return 1;
  }
  const TFigure reference = Measure([] { return bench::ReferenceRun(UINT64_MAX); });
  Print("reference interpreter:", reference);
  const TFigure headless = Measure(Fast);
  Print("fast run, no breakpoints:", headless, "reference", reference);

  auto* never = new TBreakPoint;  // an instruction breakpoint that never hits
  never->UseInstruction = true;
  never->Instruction = 0x900000;
  auto* reg = new TBreakPoint;  // a register change watch
  reg->LockRegister = true;
  reg->Register = 10;
  auto* mem = new TBreakPoint;  // a memory change watch
  mem->LockPosition = true;
  mem->Position = 0x800042;
  for (TBreakPoint* bp : {never, reg, mem}) bp->UpdateView();
  Print("fast run, three breakpoints:", Measure(Fast), "no breakpoints", headless);
  while (!BreakPoints.empty()) delete BreakPoints.back();

  LoadLoop(ShortIterations);
  std::printf("core: loop workload, %.0f instructions per run\n", bench::LoopInstructions(ShortIterations));
  AddInstructionBreakPoints(1);
  const TFigure one = Measure(Fast);
  Print("fast run, 1 instruction breakpoint:", one);
  AddInstructionBreakPoints(999);
  Print("fast run, 1,000 instruction breakpoints:", Measure(Fast), "one", one);
  while (!BreakPoints.empty()) delete BreakPoints.back();
  return 0;
}
