#include "breakpoints/BreakIndex.h"

#include <algorithm>

void TBreakIndex::Build() {
  Rest.clear();
  Addresses.clear();
  Registers = 0;
  ReadPC = ReadMemory = false;
  for (TBreakPoint* bp : BreakPoints) {
    if (bp->UseInstruction && !bp->LockPosition) {
      Addresses.push_back(bp->Instruction);
      continue;
    }
    Rest.push_back(bp);
    if (bp->LockRegister) Registers |= uint32_t(1) << (bp->Register & 31);
    ReadPC |= bp->UseInstruction;
    ReadMemory |= bp->LockPosition;
  }
  std::sort(Addresses.begin(), Addresses.end());
  Filter.assign(Addresses.empty() ? 0 : size_t(1) << (FilterBits - 6), 0);
  for (int32_t a : Addresses) Filter[Hash(a) >> 6] |= uint64_t(1) << (Hash(a) & 63);
  Bits = Addresses.empty() ? nullptr : Filter.data();
}
