// Fuzz target for the headless runner: its option parser and a short run.
//
// Input: command-line arguments, one per line, up to the first empty line;
// the rest is the .cod image, which reaches the runner as a file named as
// the last argument. Runs are capped at 1,000 steps, 16 breakpoints and a few
// dumped words, so every input finishes quickly.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "breakpoints/BreakPoint.h"
#include "core/Loader.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tools/run/Runner.h"

namespace {

constexpr size_t MaxInput = size_t(1) << 20;
constexpr uint64_t MaxSteps = 1000;
constexpr size_t MaxBreaks = 16;
constexpr size_t MaxDumps = 16;
constexpr int32_t MaxDumpWords = 64;

void ResetCore() {
  while (!BreakPoints.empty()) delete BreakPoints.back();
  TheMemory.Clear();
  TheState.Reset();
  ProgramLines.Clear();
  ProgramFileName.clear();
}

// Options that name a file to write. Their values are replaced by a file in
// the scratch folder ("-", standard output, stays), so no input can write
// anywhere else.
constexpr const char* FileOptions[] = {"--commit-log"};

void RedirectOutputFiles(std::vector<std::string>& args) {
  const std::string target = TScratch::Get().Path("output");
  for (size_t i = 1; i < args.size(); ++i) {
    for (const char* option : FileOptions) {
      const std::string name = option, inlined = name + "=";
      if (args[i] == name && i + 1 < args.size() && args[i + 1] != "-") {
        args[i + 1] = target;
      } else if (args[i].rfind(inlined, 0) == 0 && args[i] != inlined + "-") {
        args[i] = inlined + target;
      }
    }
  }
}

// Runs with standard output in a scratch file; returns what the run printed
// there and wrote to a redirected output file.
std::string CapturedRun(const runner::TOptions& options, int& status) {
  const TScratch& scratch = TScratch::Get();
  const std::string out = scratch.Path("stdout"), written = scratch.Path("output");
  static const bool captured = std::freopen(out.c_str(), "w", stdout) != nullptr;
  FUZZ_CHECK(captured);
  std::fflush(stdout);
  FUZZ_CHECK(ftruncate(fileno(stdout), 0) == 0);
  std::rewind(stdout);
  std::remove(written.c_str());
  status = runner::Run(options);
  std::fflush(stdout);
  return ReadFile(out) + '\f' + ReadFile(written);
}

void CheckParsed(const runner::TOptions& options) {
  for (const runner::TBreakRequest& bp : options.Breaks) {
    FUZZ_CHECK(!(bp.Mem && bp.Reg));
    FUZZ_CHECK(!bp.Reg || (*bp.Reg >= 0 && *bp.Reg <= 31));
    FUZZ_CHECK(!bp.Value || bp.Mem || bp.Reg);
  }
  for (const runner::TDump& dump : options.Dumps) FUZZ_CHECK(dump.Count >= 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > MaxInput) return -1;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args{"tavora-run"};
  size_t pos = 0;
  while (pos < input.size()) {
    const size_t end = input.find('\n', pos);
    if (end == std::string::npos || end == pos) break;
    args.push_back(input.substr(pos, end - pos));
    pos = end + 1;
  }
  RedirectOutputFiles(args);
  const size_t imageStart = pos < input.size() && input[pos] == '\n' ? pos + 1 : input.size();
  const std::string file = TScratch::Get().Write("image.cod", data + imageStart, size - imageStart);
  args.push_back(file);

  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  runner::TOptions options;
  try {
    if (!runner::ParseArguments(int(args.size()), argv.data(), options)) return 0;  // help
  } catch (const runner::TUsageError& e) {
    FUZZ_CHECK(!e.Reason.empty() && e.Reason.find('\n') == std::string::npos);
    return 0;
  }
  CheckParsed(options);

  if (options.MaxSteps == 0 || options.MaxSteps > MaxSteps) options.MaxSteps = MaxSteps;
  if (options.Breaks.size() > MaxBreaks) options.Breaks.resize(MaxBreaks);
  if (options.Dumps.size() > MaxDumps) options.Dumps.resize(MaxDumps);
  for (runner::TDump& dump : options.Dumps) dump.Count = std::min(dump.Count, MaxDumpWords);

  // A second run without any reset in between must print the same: every
  // run starts from the file, whatever the one before left behind.
  ResetCore();
  int status = 0, again = 0;
  const std::string first = CapturedRun(options, status);
  FUZZ_CHECK(status == runner::ExitStopped || status == runner::ExitStepLimit || status == runner::ExitFileError);
  FUZZ_CHECK(BreakPoints.empty());
  const std::string second = CapturedRun(options, again);
  FUZZ_CHECK(again == status && second == first);
  return 0;
}
