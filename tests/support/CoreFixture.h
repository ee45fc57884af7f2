// Shared helpers for tests of the simulator core: instruction encoders and
// a fixture that puts every global instance back into its start-up state.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "breakpoints/BreakPoint.h"
#include "core/CPU.h"
#include "core/Loader.h"

namespace enc {
constexpr uint32_t R(uint32_t fn, int rc, int ra, int rb) {
  return uint32_t(ra) << 21 | uint32_t(rb) << 16 | uint32_t(rc) << 11 | fn;
}
constexpr uint32_t I(uint32_t op, int rb, int ra, int32_t imm) {
  return op << 26 | uint32_t(ra) << 21 | uint32_t(rb) << 16 | (uint32_t(imm) & 0xFFFF);
}
constexpr uint32_t Add(int rc, int ra, int rb) { return R(33, rc, ra, rb); }
constexpr uint32_t Addi(int rb, int ra, int32_t imm) { return I(9, rb, ra, imm); }
constexpr uint32_t Subi(int rb, int ra, int32_t imm) { return I(8, rb, ra, imm); }
constexpr uint32_t Beqz(int ra, int32_t off) { return I(4, 0, ra, off); }
constexpr uint32_t Bnez(int ra, int32_t off) { return I(5, 0, ra, off); }
constexpr uint32_t Lw(int rb, int ra, int32_t imm) { return I(35, rb, ra, imm); }
constexpr uint32_t Sw(int rb, int ra, int32_t imm) { return I(43, rb, ra, imm); }
constexpr uint32_t Jr(int ra) { return I(22, 0, ra, 0); }
constexpr uint32_t Jalr(int ra) { return I(23, 0, ra, 0); }
constexpr uint32_t Stop = 48u << 26;
}  // namespace enc

// Everything the core keeps globally, back to the state of a fresh start.
inline void ResetCore() {
  while (!BreakPoints.empty()) delete BreakPoints.back();
  DisplayHooks = TDisplayHooks{};
  TheMemory.Clear();
  for (auto& r : TheState.Regs) r = 0;
  TheState.NextAddress = 0;
  TheState.NextWord = 0;
  TheState.NextValid = false;
  ProgramLines.Clear();
  ProgramFileName.clear();
}

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetCore(); }
  void TearDown() override { ResetCore(); }

  // Places words from `start` on in a block of their own and points the
  // program counter at the first.
  static void Program(int32_t start, const std::vector<uint32_t>& words) {
    TheMemory.AddBlock(start, int32_t(words.size()));
    for (size_t i = 0; i < words.size(); ++i) TheMemory.WriteWord(start + int32_t(i), words[i]);
    TheState.SetReg(-1, start);
  }
  static uint32_t Reg(int i) { return uint32_t(TheState.GetReg(i)); }
  static int32_t PC() { return TheState.GetReg(-1); }
};
