// The instruction set of the simulated 32-bit load/store processor and the
// executor that carries out one instruction at a time.
#pragma once

#include <cstdint>
#include <string>

#include "core/Memory.h"
#include "core/State.h"
#include "core/Text.h"

constexpr int32_t HeaderAddress = 0x800000;
constexpr uint32_t HeaderWord = 0x52455341;  // "RESA"
constexpr int32_t EntryAddress = 0x800001;
constexpr uint32_t IdleLoopWord = 0x1000FFFF;  // beqz R00 to itself
constexpr uint32_t StopOpcode = 48;

// Why a run stops after a step (None: it goes on).
enum class TStopTest { None, StopOpcode, IdleLoop };

// The stop tests on the word at the program counter (mapped: a block holds
// it), asked in this order by every run loop: the stop opcode, which an
// unmapped counter counts as, then the idle loop.
constexpr bool AtStopWord(bool mapped, uint32_t word) { return !mapped || word >> 26 == StopOpcode; }
constexpr bool AtIdleWord(uint32_t word) { return word == IdleLoopWord; }
constexpr TStopTest StopTestOf(bool mapped, uint32_t word) {
  if (AtStopWord(mapped, word)) return TStopTest::StopOpcode;
  if (AtIdleWord(word)) return TStopTest::IdleLoop;
  return TStopTest::None;
}

class TCPU {
 public:
  // Executes the instruction at the program counter.
  void Step() { Execute(TheMemory.ReadWord(TheState.GetReg(-1))); }
  // Executes the word just fetched from the program counter; true when the
  // instruction read or wrote memory (a load or a store).
  bool Execute(uint32_t word);
  // The word at the program counter has opcode 48, or the counter is unmapped.
  bool AtStopOpcode();
  // The program counter is unmapped, or its word is the idle loop.
  bool AtIdleLoop();
  // AtStopOpcode, then AtIdleLoop, with a single lookup.
  TStopTest StopTest();

  std::string Disassemble(int32_t address, uint32_t word) const;
  // The listing line of the word at the address (reads memory).
  std::string ListingLine(int32_t address);
  // The listing line of a word already read from the address.
  std::string ListingText(int32_t address, uint32_t word) const;
};

extern TCPU TheCPU;

// The instruction set, written once over a machine M that offers
//   PC(), SetPC(v), Reg(i), SetReg(i, v)   (i in 0..31, values as words)
//   Load(address), Store(address, value)
// and carries out the word w fetched from the program counter: the counter
// advances first, operands are read before any result is written. True when
// the instruction was a load or a store. TCPU::Execute runs it on TheState
// and TheMemory; the fast run on a copy of the registers held in locals.
template <class M>
[[gnu::always_inline]] inline bool ExecuteWord(M& m, const uint32_t w) {
  // One line per operation, as a table.
  // clang-format off
  m.SetPC(m.PC() + 1);

  const uint32_t a = m.Reg(int((w >> 21) & 31));
  const int rb = int((w >> 16) & 31);
  if (w <= 0x3FFFFFF) {
    const uint32_t b = m.Reg(rb);
    const int rc = int((w >> 11) & 31);
    switch (w & 63) {
      case 0: m.SetReg(rc, a + a); break;
      case 2: m.SetReg(rc, a >> 1); break;
      case 32: case 34: m.SetReg(rc, a - b); break;
      case 33: case 35: m.SetReg(rc, a + b); break;
      case 36: m.SetReg(rc, a ^ b); break;
      case 37: m.SetReg(rc, a | b); break;
      case 38: case 39: m.SetReg(rc, a & b); break;
      default: break;  // illegal function codes only advance the counter
    }
    return false;
  }
  const uint32_t imm = SignExtend(w & 0xFFFF, 16);
  const int32_t sa = int32_t(a), si = int32_t(imm);
  switch (w >> 26) {
    case 4: if (a == 0) m.SetPC(m.PC() + imm); break;
    case 5: if (a != 0) m.SetPC(m.PC() + imm); break;
    case 8: case 10: m.SetReg(rb, a - imm); break;
    case 9: case 11: m.SetReg(rb, a + imm); break;
    case 12: m.SetReg(rb, a ^ imm); break;
    case 13: m.SetReg(rb, a | imm); break;
    case 14: case 15: m.SetReg(rb, a & imm); break;
    case 22: m.SetPC(a); break;
    case 23: m.SetReg(31, m.PC()); m.SetPC(a); break;
    case 24: m.SetReg(rb, 0); break;
    case 25: m.SetReg(rb, sa > si); break;
    case 26: m.SetReg(rb, sa == si); break;
    case 27: m.SetReg(rb, sa >= si); break;
    case 28: m.SetReg(rb, sa < si); break;
    case 29: m.SetReg(rb, sa != si); break;
    case 30: m.SetReg(rb, sa <= si); break;
    case 31: m.SetReg(rb, 1); break;
    case 35: m.SetReg(rb, m.Load(int32_t(a + imm))); return true;
    case 43: m.Store(int32_t(a + imm), m.Reg(rb)); return true;
    default: break;  // illegal opcodes, the stop opcode included
  }
  // clang-format on
  return false;
}

// The machine as everyone sees it: every write notifies the display.
struct TGlobalMachine {
  uint32_t PC() const { return TheState.Regs[0]; }
  void SetPC(uint32_t v) { TheState.SetReg(-1, int32_t(v)); }
  uint32_t Reg(int i) const { return TheState.Regs[i + 1]; }
  void SetReg(int i, uint32_t v) { TheState.SetReg(i, int32_t(v)); }
  uint32_t Load(int32_t address) { return TheMemory.ReadWord(address); }
  void Store(int32_t address, uint32_t v) { TheMemory.WriteWord(address, v); }
};

[[gnu::always_inline]] inline bool TCPU::Execute(const uint32_t w) {
  TGlobalMachine m;
  return ExecuteWord(m, w);
}

inline TStopTest TCPU::StopTest() {
  const int32_t offset = TheMemory.FindWord(TheState.GetReg(-1), false);
  return StopTestOf(offset >= 0, offset >= 0 ? TheMemory.LastBlock().Words[offset] : TMemory::Unmapped);
}

inline bool TCPU::AtStopOpcode() {
  const int32_t offset = TheMemory.FindWord(TheState.GetReg(-1), false);
  return offset < 0 || TheMemory.LastBlock().Words[offset] >> 26 == StopOpcode;
}

inline bool TCPU::AtIdleLoop() {
  const int32_t offset = TheMemory.FindWord(TheState.GetReg(-1), false);
  return offset < 0 || TheMemory.LastBlock().Words[offset] == IdleLoopWord;
}
