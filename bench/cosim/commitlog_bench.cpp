// Speed of tavora-run's commit log: the loop workload run with the log
// written to a file, against the fast run without it. The file is a real
// one in TMPDIR (or /tmp), so the figures include the writes. Besides the
// wall clock, the process's own processor time (user and system, the write
// calls included) is shown: on a machine shared with builds it is the
// steadier figure.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/LoopImage.h"
#include "breakpoints/Run.h"
#include "core/Loader.h"
#include "tools/run/CommitLog.h"

namespace {

constexpr int32_t Iterations = 2'000'000;  // 12 M instructions, about 450 MB of log

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Best of three rounds, in millions of instructions per second of wall
// clock and of processor time.
struct TFigure {
  double Wall = 0, Cpu = 0;
};

template <class Run>
TFigure Best(Run&& run) {
  TFigure best;
  for (int round = 0; round < 3; ++round) {
    BuildImage();
    const double t = Seconds(), c = CpuSeconds();
    const double steps = double(run());
    best.Wall = std::max(best.Wall, steps / (Seconds() - t) / 1e6);
    best.Cpu = std::max(best.Cpu, steps / (CpuSeconds() - c) / 1e6);
  }
  return best;
}

}  // namespace

int main() {
  const std::string image = TempPath("tavora-bench-commitlog.cod"), log = TempPath("tavora-bench-commit.log");
  WriteText(image, bench::LoopImage(Iterations));
  LoadProgram(image);
  std::remove(image.c_str());

  const TFigure fast = Best([] {
    uint64_t steps = 0;
    RunFast(0, steps);
    return steps;
  });
  uint64_t bytes = 0;
  const TFigure logged = Best([&] {
    runner::TCommitLog commitLog;
    std::string error;
    if (!commitLog.Open(log, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(1);
    }
    uint64_t steps = 0;
    runner::RunLogged(0, steps, commitLog);
    if (!commitLog.Close(error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(1);
    }
    return steps;
  });
  if (std::FILE* f = std::fopen(log.c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    bytes = uint64_t(std::ftell(f));
    std::fclose(f);
  }
  std::remove(log.c_str());

  std::printf("commit log, %.0f M instructions of the loop workload, best of 3:\n",
              bench::LoopInstructions(Iterations) / 1e6);
  std::printf("  %-40s wall clock %6.1f, processor time %6.1f M instructions/s\n", "fast run without the log",
              fast.Wall, fast.Cpu);
  std::printf("  %-40s wall clock %6.1f, processor time %6.1f M instructions/s (target >= 20)\n",
              "commit log written to a file", logged.Wall, logged.Cpu);
  std::printf("  %-40s %.0f MB\n", "log size", double(bytes) / 1e6);
  return 0;
}
