// The headless runner behind tavora-run: its options, and a run that loads
// an image as the debugger does at start-up, runs it like the debugger's
// fast run and prints the final state. Kept apart from main() so tests and
// fuzz targets can drive the option parser and the run directly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace runner {

constexpr int ExitStopped = 0;
constexpr int ExitFileError = 2;
constexpr int ExitStepLimit = 3;
constexpr int ExitUsage = 64;
// The JSON report is built whole in memory, so its dumps are bounded.
constexpr uint64_t MaxJsonDumpWords = uint64_t(1) << 20;

extern const char* const UsageText;

// An address given as a label or label expression is kept as text until
// the source has been assembled; only a source accepts them.
struct TBreakRequest {
  std::optional<int32_t> Pc, Mem, Reg, Value, Count;
  std::string PcText, MemText;
};

struct TDump {
  int32_t Address = 0;
  int32_t Count = 1;
  std::string AddressText;
};

struct TOptions {
  uint64_t MaxSteps = 0;
  std::vector<TBreakRequest> Breaks;
  std::vector<TDump> Dumps;
  bool Trace = false;
  bool Json = false;  // the result as one JSON object
  // File for the commit log ("-": standard output); empty for none.
  std::string CommitLog;
  // File for the hardware testbench's memory image ("-": standard output);
  // empty for none.
  std::string MemoryImage;
  std::string File;
};

// A command line that cannot be used; Reason is one line without the
// program name.
struct TUsageError {
  std::string Reason;
};

// Fills options from the command line. Returns false when help was asked
// for; throws TUsageError.
bool ParseArguments(int argc, char** argv, TOptions& options);

// Loads options.File, runs it and prints the result on standard output
// (loader messages on standard error). Returns the exit status. Leaves no
// breakpoints behind.
int Run(const TOptions& options);

// The whole program: parse, then run.
int Main(int argc, char** argv);

}  // namespace runner
