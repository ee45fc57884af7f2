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
template <class Poll = TNoPoll>
TStopReason RunFast(uint64_t maxSteps, uint64_t& steps, Poll&& poll = Poll(), int pollShift = 16) {
  const uint64_t limit = maxSteps ? steps + maxSteps : 0;
  const uint64_t pollMask = (uint64_t(1) << pollShift) - 1;
  for (;;) {
    TheCPU.Step();
    ++steps;
    if (!BreakPoints.empty() && CheckAll()) return TStopReason::BreakPoint;
    if ((steps & pollMask) == 0 && poll()) return TStopReason::Interrupted;
    switch (TheCPU.StopTest()) {
      case TStopTest::StopOpcode: return TStopReason::StopOpcode;
      case TStopTest::IdleLoop: return TStopReason::IdleLoop;
      case TStopTest::None: break;
    }
    if (steps == limit) return TStopReason::StepLimit;
  }
}
