// The yardstick for the fast run: a plain interpreter of the same
// instruction set with nothing a debugger needs. One switch, the registers
// in a local array, the fetch served from one cached block, and the same two
// stop tests (stop opcode, idle loop) after every step; no notifications,
// no breakpoints, no cache rules beyond what the fetch needs.
#pragma once

#include <cstdint>

#include "core/CPU.h"

namespace bench {

// Runs from TheState's program counter until a stop test holds or maxSteps
// instructions have run, then leaves the registers in TheState (without
// notifying anyone) so a caller can compare them with the fast run's.
// Returns the number of executed instructions.
inline uint64_t ReferenceRun(uint64_t maxSteps) {
  uint32_t r[32];
  for (int i = 0; i < 32; ++i) r[i] = TheState.Regs[i + 1];
  uint32_t pc = TheState.Regs[0];
  TBlockRef code{};  // Count 0: nothing cached yet

  // The word at an address through the cached block; false when unmapped.
  auto fetch = [&](uint32_t a, uint32_t& w) {
    if (a - uint32_t(code.Start) >= uint32_t(code.Count)) {
      if (TheMemory.FindWord(int32_t(a), false) < 0) return false;
      code = TheMemory.LastBlock();
    }
    w = code.Words[a - uint32_t(code.Start)];
    return true;
  };

  uint64_t steps = 0;
  uint32_t w = 0;
  if (fetch(pc, w))
    while (steps != maxSteps) {
      ++steps;
      ++pc;
      const uint32_t a = r[(w >> 21) & 31];
      const unsigned rb = (w >> 16) & 31;
      uint32_t result = 0;
      unsigned dest = 0;  // 0: no register written
      if (w <= 0x3FFFFFF) {
        const uint32_t b = r[rb];
        dest = (w >> 11) & 31;
        switch (w & 63) {
          case 0: result = a + a; break;
          case 2: result = a >> 1; break;
          case 32:
          case 34: result = a - b; break;
          case 33:
          case 35: result = a + b; break;
          case 36: result = a ^ b; break;
          case 37: result = a | b; break;
          case 38:
          case 39: result = a & b; break;
          default: dest = 0; break;
        }
      } else {
        const uint32_t imm = SignExtend(w & 0xFFFF, 16);
        const int32_t sa = int32_t(a), si = int32_t(imm);
        dest = rb;
        switch (w >> 26) {
          case 4:
            if (a == 0) pc += imm;
            dest = 0;
            break;
          case 5:
            if (a != 0) pc += imm;
            dest = 0;
            break;
          case 8:
          case 10: result = a - imm; break;
          case 9:
          case 11: result = a + imm; break;
          case 12: result = a ^ imm; break;
          case 13: result = a | imm; break;
          case 14:
          case 15: result = a & imm; break;
          case 22:
            pc = a;
            dest = 0;
            break;
          case 23:
            r[31] = pc;
            pc = a;
            dest = 0;
            break;
          case 24: result = 0; break;
          case 25: result = sa > si; break;
          case 26: result = sa == si; break;
          case 27: result = sa >= si; break;
          case 28: result = sa < si; break;
          case 29: result = sa != si; break;
          case 30: result = sa <= si; break;
          case 31: result = 1; break;
          case 35: result = TheMemory.ReadWord(int32_t(a + imm)); break;
          case 43: {
            const int32_t offset = TheMemory.FindWord(int32_t(a + imm), true);
            TheMemory.LastBlock().Words[offset] = r[rb];
            dest = 0;
            break;
          }
          default: dest = 0; break;
        }
      }
      r[dest] = result;
      r[0] = 0;
      if (!fetch(pc, w) || w >> 26 == StopOpcode || w == IdleLoopWord) break;
    }
  for (int i = 1; i < 32; ++i) TheState.Regs[i + 1] = r[i];
  TheState.Regs[0] = pc;
  return steps;
}

}  // namespace bench
