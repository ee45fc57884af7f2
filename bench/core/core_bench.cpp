// Headless speed of the simulator core: the fast run of a loop with and
// without breakpoints, and the load of a large image.
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "BreakPoint.h"
#include "CPU.h"
#include "Loader.h"
#include "Run.h"

namespace {

constexpr uint32_t I(uint32_t op, int rb, int ra, int32_t imm) {
  return op << 26 | uint32_t(ra) << 21 | uint32_t(rb) << 16 | (uint32_t(imm) & 0xFFFF);
}
constexpr uint32_t R(uint32_t fn, int rc, int ra, int rb) {
  return uint32_t(ra) << 21 | uint32_t(rb) << 16 | uint32_t(rc) << 11 | fn;
}

constexpr int32_t Iterations = 20'000'000;  // six instructions each

// A loop of arithmetic, a store and a branch; its counter and the stored
// word live in a data section of their own.
std::string LoopImage() {
  const uint32_t code[] = {
      HeaderWord,
      I(35, 4, 30, 0x40),   // lw   R04,R30,$0040   iterations
      I(9, 1, 1, 3),        // addi R01,R01,$0003
      R(33, 2, 2, 1),       // add  R02,R02,R01
      R(36, 3, 3, 2),       // xor  R03,R03,R02
      I(43, 2, 30, 0x41),   // sw   R02,R30,$0041
      I(8, 4, 4, 1),        // subi R04,R04,$0001
      I(5, 0, 4, -6),       // bnez R04,loop
      IdleLoopWord,
  };
  std::string text = ".CODE\n$800000\n" + std::to_string(std::size(code)) + "\n";
  for (uint32_t w : code) text += "$" + HexText(w, 8) + "\n";
  text += ".DATA\n$800040\n3\n" + std::to_string(Iterations) + "\n0\n0\n";
  return text;
}

double RunLoop(const char* label) {
  double best = 1e30;
  uint64_t steps = 0;
  for (int round = 0; round < 3; ++round) {
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
    for (int i = 1; i < 1'000'000; ++i) text += "0x" + HexText(uint32_t(i) * 2654435761u, 8) + "\n";
    WriteText(big, text);
  }
  std::fflush(stdout);
  int status = std::system(("'" + std::string(argv[0]) + "' --load '" + big + "'").c_str());
  std::remove(big.c_str());
  if (status != 0) return 1;

  const std::string loop = TempPath("tavora-bench-loop.cod");
  WriteText(loop, LoopImage());
  LoadProgram(loop);
  std::remove(loop.c_str());
  std::printf("core: loop workload, %d instructions per run (best of 3)\n", Iterations * 6 + 2);
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
