// The commit log: one line per executed instruction, the golden record that
// a hardware model's testbench (hdl/tb.v) writes too, so that tavora-cosim
// can point at the first instruction where the two disagree.
//
// Format, one line per executed instruction, ending in a line feed:
//
//   <step> <pc> <word>[ r<NN> <value>][ m <address> <value>]
//
// <step> counts executed instructions in decimal from 1; <pc> is the
// address of the instruction, <word> the word executed; <value> and
// <address> are 32-bit; every hexadecimal field is eight lowercase digits.
// " r<NN> <value>" (NN: two decimal digits) appears for every write to R1 to
// R31, also when the value does not change; writes to R0 are not logged.
// " m <address> <value>" appears for every store. Branches, jumps without a
// link and illegal words have only the first three fields.
//
// Logging changes nothing that a run does: the log is written by the fast
// run itself, as the receiver of every step, and learns what an instruction
// wrote from the run, never by reading memory (a read would move the cached
// block, which decides what overlapping blocks return).
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "breakpoints/Run.h"
#include "tools/common/OutputFile.h"

namespace runner {

// "00" to "ff", two characters per byte value.
struct THexPairs {
  char Text[512];
  constexpr THexPairs() : Text() {
    constexpr char digits[] = "0123456789abcdef";
    for (int i = 0; i < 256; ++i) {
      Text[2 * i] = digits[i >> 4];
      Text[2 * i + 1] = digits[i & 15];
    }
  }
};
inline constexpr THexPairs HexPairs;

class TCommitLog {
 public:
  TCommitLog() = default;
  ~TCommitLog();
  TCommitLog(const TCommitLog&) = delete;
  TCommitLog& operator=(const TCommitLog&) = delete;

  // "-" is standard output; any other file is written as the console tools
  // write their outputs (see OutputFile.h). False, with a message in error,
  // when the file cannot be opened.
  bool Open(const std::string& path, std::string& error);
  // Writes out what is buffered, so that standard output keeps its order.
  void Flush();
  // Flushes and closes; false, with a message in error, when a write failed,
  // and then no part of the log stays under a regular file's name.
  bool Close(std::string& error);

  // reg: the general register written (1..31), or -1 for none.
  void Add(uint64_t step, uint32_t pc, uint32_t word, int reg, uint32_t regValue, bool store, uint32_t address,
           uint32_t value) {
    if (End - Next < MaxLine) Flush();
    char* p = Next;
    p = std::to_chars(p, p + 20, step).ptr;
    *p++ = ' ';
    p = Hex(pc, p);
    *p++ = ' ';
    p = Hex(word, p);
    if (reg > 0) {
      std::memcpy(p, " r", 2);
      p[2] = char('0' + reg / 10);
      p[3] = char('0' + reg % 10);
      p[4] = ' ';
      p = Hex(regValue, p + 5);
    }
    if (store) {
      std::memcpy(p, " m ", 3);
      p = Hex(address, p + 3);
      *p++ = ' ';
      p = Hex(value, p);
    }
    *p++ = '\n';
    Next = p;
  }

 private:
  static constexpr size_t BufferSize = 1 << 20;
  static constexpr ptrdiff_t MaxLine = 20 + 2 * 9 + 13 + 21 + 1;

  static char* Hex(uint32_t v, char* p) {
    for (int i = 3; i >= 0; --i, v >>= 8) std::memcpy(p + 2 * i, HexPairs.Text + 2 * (v & 0xFF), 2);
    return p + 8;
  }

  std::FILE* File = nullptr;
  TOutputFile Output;  // the file behind File unless that is standard output
  bool Failed = false;
  int WriteError = 0;  // errno of the write that failed
  std::string Path;
  char* Buffer = nullptr;
  char* Next = nullptr;
  char* End = nullptr;
};

// The fast run (without a poll) with one log line per step.
TStopReason RunLogged(uint64_t maxSteps, uint64_t& steps, TCommitLog& log);

}  // namespace runner
