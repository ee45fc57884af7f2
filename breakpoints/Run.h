// The fast run: steps until a breakpoint fires, the stop opcode or the idle
// loop is reached, a step limit is hit or the caller asks to stop.
#pragma once

#include <cstdint>

#include "BreakPoint.h"

enum class TStopReason { BreakPoint, StopOpcode, IdleLoop, StepLimit, Interrupted };

struct TNoPoll {
  bool operator()() const { return false; }
};

// maxSteps 0 means no limit. poll() is asked every 2^pollShift steps, after
// the breakpoints, and ends the run when it returns true. steps counts the
// executed instructions (it is added to, not reset).
//
// Each step is followed by the stop-opcode and idle-loop tests at the new
// program counter, and the next step fetches there again. When nothing
// touched memory since the counter was last written, both lookups would
// repeat the one that captured the next-instruction word (same result, same
// cached block), so that capture is used instead.
template <class Poll = TNoPoll>
TStopReason RunFast(uint64_t maxSteps, uint64_t& steps, Poll&& poll = Poll(), int pollShift = 16) {
  auto memoryWatched = [] {
    for (const TBreakPoint* bp : BreakPoints)
      if (bp->LockPosition) return true;
    return false;
  };
  const uint64_t limit = maxSteps ? steps + maxSteps : 0;
  const uint64_t pollMask = (uint64_t(1) << pollShift) - 1;
  bool watched = memoryWatched();
  uint32_t word = TheMemory.ReadWord(TheState.GetReg(-1));
  for (;;) {
    bool touched = TheCPU.Execute(word);
    ++steps;
    if (!BreakPoints.empty()) {
      if (CheckAll()) return TStopReason::BreakPoint;
      touched |= watched;
    }
    if ((steps & pollMask) == 0) {
      if (poll()) return TStopReason::Interrupted;
      watched = memoryWatched();
      touched = true;
    }
    if (touched) {
      const int32_t offset = TheMemory.FindWord(TheState.GetReg(-1), false);
      if (offset < 0) return TStopReason::StopOpcode;
      word = TheMemory.LastBlock().Words[offset];
    } else {
      if (!TheState.NextMapped) return TStopReason::StopOpcode;
      word = TheState.NextWord;
    }
    if (word >> 26 == StopOpcode) return TStopReason::StopOpcode;
    if (word == IdleLoopWord) return TStopReason::IdleLoop;
    if (steps == limit) return TStopReason::StepLimit;
  }
}
