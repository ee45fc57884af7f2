// The processor's visible state: the program counter (index -1) and the
// general registers R0..R31 (indices 0..31). Every write goes through
// SetReg, which keeps R0 at zero and tells the display what changed.
#pragma once

#include <cstdint>

#include "core/Hooks.h"
#include "core/Memory.h"

class TState {
 public:
  int32_t GetReg(int index) const { return int32_t(Regs[index + 1]); }
  void SetReg(int index, int32_t value);
  // Program counter, then R0..R31, each set to 0 through SetReg.
  void Reset();

  // What the next-instruction line shows, captured at the last program
  // counter write: the address and the word read there at that moment
  // (NextMapped: whether a block held it). NextValid stays false until the
  // first program counter write.
  int32_t NextAddress = 0;
  uint32_t NextWord = 0;
  bool NextMapped = false;
  bool NextValid = false;

  // Regs[0] is the program counter, Regs[i + 1] is Ri.
  uint32_t Regs[33] = {};
};

extern TState TheState;

[[gnu::always_inline]] inline void TState::SetReg(int index, int32_t value) {
  if (index == -1) {
    Regs[0] = uint32_t(value);
    // Reading the word here moves the memory's cached block exactly as the
    // listing line of the next instruction does in the debugger.
    NextAddress = value;
    const int32_t offset = TheMemory.FindWord(value, false);
    NextMapped = offset >= 0;
    NextWord = NextMapped ? TheMemory.LastBlock().Words[offset] : TMemory::Unmapped;
    NextValid = true;
    if (DisplayHooks.NextCommandChanged) DisplayHooks.NextCommandChanged();
  } else {
    if (index != 0) Regs[index + 1] = uint32_t(value);
    if (DisplayHooks.RegisterChanged) DisplayHooks.RegisterChanged(index);
  }
}
