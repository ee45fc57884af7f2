// The breakpoint check of the fast run, at a cost that does not grow with
// the number of instruction breakpoints.
//
// Check(pc) has exactly the effect of CheckAll(): the same breakpoints
// evaluated in list order, the same counters, references, list-row updates
// and memory reads. It can skip the others because a breakpoint with an
// instruction condition and no memory watch neither holds nor changes
// anything while the program counter stands elsewhere (its register and
// counter tests have no effect until every condition holds). So:
//  - at an address that such a breakpoint names, every breakpoint is
//    evaluated as CheckAll does;
//  - anywhere else, only the short list of the rest: memory watches (each
//    reads its word at every step, which moves the memory's cached block)
//    and breakpoints without an instruction condition.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "BreakPoint.h"

class TBreakIndex {
 public:
  // Takes in BreakPoints as they are now. The index stays valid until a
  // breakpoint is created, destroyed or has its conditions changed.
  void Build();
  bool Empty() const { return Always.empty() && Addresses.empty(); }
  // Whether Check(pc) could do more than return false: a short test the run
  // loop makes before it hands the machine state over.
  bool MayFire(int32_t pc) const { return !Always.empty() || (!Addresses.empty() && Named(pc)); }
  // Same result and effects as CheckAll() with the program counter at pc.
  bool Check(int32_t pc);

 private:
  static uint32_t Hash(int32_t pc) { return (uint32_t(pc) * 0x9E3779B1u) >> (32 - FilterBits); }
  bool Named(int32_t pc) const;

  static constexpr int FilterBits = 16;
  std::vector<TBreakPoint*> Always;  // evaluated at every step, list order
  std::vector<int32_t> Addresses;    // instruction conditions, sorted
  // One bit per hash value of an address in Addresses: most addresses are
  // turned away without a search.
  std::vector<uint64_t> Filter;
};

inline bool TBreakIndex::Named(int32_t pc) const {
  const uint32_t h = Hash(pc);
  return (Filter[h >> 6] >> (h & 63) & 1) && std::binary_search(Addresses.begin(), Addresses.end(), pc);
}
