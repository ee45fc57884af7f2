// tavora-cosim: compares the simulator's commit log with a hardware
// design's and points at the first instruction where they differ.
//
// Both logs have one line per executed instruction (see tools/run/CommitLog.h
// for the format). The expected log is a file, or comes straight from
// tavora-run run on a program; the two are read in step, a line at a time,
// so neither is held whole and a long run costs no memory. Lines are read
// strictly: a line that is not in the format stops the comparison with the
// file name, line number and what is wrong, since a log that cannot be read
// says nothing about the design.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cosim {

constexpr int ExitMatch = 0;
constexpr int ExitDifference = 1;
constexpr int ExitUnreadable = 2;
constexpr int ExitUsage = 64;

extern const char* const UsageText;

struct TOptions {
  std::string Expected, Actual;
  bool ExpectedIsProgram = false;  // from -p or the file name
  uint64_t MaxSteps = 0;           // passed to tavora-run; 0: none
  std::string Runner;              // tavora-run to use; empty: find it
  std::string Testbench;           // what hdl/tb.v printed; empty: none
  int Context = 5;
};

// What the testbench hdl/tb.v printed about the end of its run: a port
// fault ("tb: fault at step S in cycle C: MESSAGE" and detail lines
// "tb:   ..."), the line that says why it ended, and the signals it names
// ("tb: look at: ..."). Anything else it printed (the design's own output)
// is left out.
struct TTestbench {
  uint64_t FaultStep = 0;  // 0: no fault
  std::string FaultCycle, Fault;
  std::vector<std::string> Details;
  std::string End;  // empty when it printed no reason
  std::vector<std::string> LookAt;

  // Takes one line of the output (without its line feed).
  void Add(std::string_view line);

 private:
  bool InFault = false;
};

struct TUsageError {
  std::string Reason;
};

// One line of a commit log.
struct TLogLine {
  uint64_t Step = 0;
  uint32_t Pc = 0, Word = 0;
  int Reg = 0;  // 0: no register write
  uint32_t RegValue = 0;
  bool Store = false;
  uint32_t Address = 0, Value = 0;

  bool operator==(const TLogLine&) const = default;
};

// Reads one line (without its line feed). False with a reason when it is
// not in the log format.
bool ParseLine(std::string_view text, TLogLine& line, std::string& error);

// The line as the simulator writes it.
std::string FormatLine(const TLogLine& line);

// A program name that tavora-run loads (.cod, .s, .asm in any case).
bool IsProgramName(std::string_view name);

// Fills options; false when help or the version was asked for (printed on
// standard output). Throws TUsageError.
bool ParseArguments(int argc, char** argv, TOptions& options);

// Compares and prints the outcome on out, problems with the input on err.
// Returns the exit status.
int Compare(const TOptions& options, std::FILE* out, std::FILE* err);

// The whole program.
int Main(int argc, char** argv);

}  // namespace cosim
