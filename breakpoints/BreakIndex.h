// The breakpoint check of the fast run, at a cost that does not grow with
// the number of instruction breakpoints.
//
// The fast run's breakpoint test (Run.h) has exactly the effect of
// CheckAll(): the same breakpoints evaluated in list order, the same
// counters, references, list-row updates and memory reads. A breakpoint
// with an instruction condition and no memory watch neither holds nor
// changes anything while the program counter stands elsewhere (its register
// and counter tests have no effect until every condition holds), so it need
// not be asked there:
//  - at an address that such a breakpoint names, every breakpoint is
//    evaluated as CheckAll does;
//  - anywhere else, only the short list of the others: memory watches (each
//    reads its word at every step, which moves the memory's cached block)
//    and breakpoints without an instruction condition.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "breakpoints/BreakPoint.h"

class TBreakIndex {
 public:
  // Takes in BreakPoints as they are now. The index stays valid until a
  // breakpoint is created, destroyed or has its conditions changed.
  void Build();
  bool Empty() const { return Rest.empty() && Addresses.empty(); }
  // Some breakpoint names pc in an instruction condition without a memory
  // watch: every breakpoint must be evaluated there.
  bool Named(int32_t pc) const;
  // The others, in list order.
  const std::vector<TBreakPoint*>& Others() const { return Rest; }
  // What the others read besides a watched word: the registers they watch
  // (bit i: Ri), and whether any has an instruction condition.
  uint32_t OthersRegisters() const { return Registers; }
  bool OthersReadPC() const { return ReadPC; }
  bool OthersReadMemory() const { return ReadMemory; }

 private:
  static uint32_t Hash(int32_t pc) { return (uint32_t(pc) * 0x9E3779B1u) >> (32 - FilterBits); }

  static constexpr int FilterBits = 16;
  std::vector<TBreakPoint*> Rest;  // list order
  uint32_t Registers = 0;
  bool ReadPC = false, ReadMemory = false;
  std::vector<int32_t> Addresses;  // instruction conditions, sorted
  // One bit per hash value of an address in Addresses: most addresses are
  // turned away without a search.
  std::vector<uint64_t> Filter;
  const uint64_t* Bits = nullptr;  // Filter's words, null without addresses
};

inline bool TBreakIndex::Named(int32_t pc) const {
  if (!Bits) return false;
  const uint32_t h = Hash(pc);
  return (Bits[h >> 6] >> (h & 63) & 1) && std::binary_search(Addresses.begin(), Addresses.end(), pc);
}
