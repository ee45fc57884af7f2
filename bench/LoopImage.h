// The loop workload of the speed benchmarks: arithmetic, a store and a
// branch, six instructions per iteration; the counter and the stored word
// live in a data section of their own.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>

#include "core/CPU.h"

namespace bench {

constexpr uint32_t I(uint32_t op, int rb, int ra, int32_t imm) {
  return op << 26 | uint32_t(ra) << 21 | uint32_t(rb) << 16 | (uint32_t(imm) & 0xFFFF);
}
constexpr uint32_t R(uint32_t fn, int rc, int ra, int rb) {
  return uint32_t(ra) << 21 | uint32_t(rb) << 16 | uint32_t(rc) << 11 | fn;
}

// Instructions one run of the loop image executes before the idle loop.
inline double LoopInstructions(int32_t iterations) { return double(iterations) * 6 + 1; }

// `store` is the offset from $800000 of the word each iteration stores to.
inline std::string LoopImage(int32_t iterations, int32_t store = 0x41) {
  const uint32_t code[] = {
      HeaderWord,          I(35, 4, 30, 0x40),  // lw   R04,R30,$0040   iterations
      I(9, 1, 1, 3),                            // addi R01,R01,$0003
      R(33, 2, 2, 1),                           // add  R02,R02,R01
      R(36, 3, 3, 2),                           // xor  R03,R03,R02
      I(43, 2, 30, store),                      // sw   R02,R30,store
      I(8, 4, 4, 1),                            // subi R04,R04,$0001
      I(5, 0, 4, -6),                           // bnez R04,loop
      IdleLoopWord,
  };
  std::string text = ".CODE\n$800000\n" + std::to_string(std::size(code)) + "\n";
  for (uint32_t w : code) {
    text += '$';
    text += HexText(w, 8);
    text += '\n';
  }
  text += ".DATA\n$800040\n3\n" + std::to_string(iterations) + "\n0\n0\n";
  return text;
}

}  // namespace bench
