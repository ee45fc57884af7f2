// Headless speed of the simulator core: the fast run of a loop with and
// without breakpoints, and the load of a large image.
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "BreakPoint.h"
#include "CPU.h"
#include "Loader.h"
#include "LoopImage.h"
#include "Run.h"

namespace {

constexpr int32_t Iterations = 20'000'000;

double RunLoop(const char* label) {
  double best = 1e30;
  uint64_t steps = 0;
  for (int round = 0; round < 5; ++round) {
    BuildImage();
    steps = 0;
    double t = Seconds();
    RunFast(0, steps);
    best = std::min(best, Seconds() - t);
  }
  double mips = double(steps) / best / 1e6;
  std::printf("  fast run, %-34s %5.0f M instructions/s (%llu instructions in %.3f s)\n", label, mips,
              static_cast<unsigned long long>(steps), best);
  return mips;
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

  const std::string loop = TempPath("tavora-bench-loop.cod");
  WriteText(loop, bench::LoopImage(Iterations));
  LoadProgram(loop);
  std::remove(loop.c_str());
  std::printf("core: loop workload, %.0f instructions per run (best of 5)\n", bench::LoopInstructions(Iterations));
  RunLoop("no breakpoints:");

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
  RunLoop("three breakpoints:");
  while (!BreakPoints.empty()) delete BreakPoints.back();
  return 0;
}
