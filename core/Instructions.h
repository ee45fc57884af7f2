// The one description of the instruction set that the disassembler and the
// assembler both read, so that what the code view shows can be typed back
// in and assembles to the same word.
//
// Each row is one encoding: a mnemonic, how its operands are written, and
// the function code (R format, primary opcode 0) or the primary opcode
// (I format) it is stored with. A mnemonic with two encodings has two rows;
// the first is the one the assembler picks, the second is marked Alias and
// is reached by writing its number as a suffix (addi.11). Every function
// code and opcode without a row is an illegal instruction.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// How an instruction's operands are written, in the code view's order.
enum class TOperands : uint8_t {
  RcRaRb,    // add Rc,Ra,Rb        R format
  RcRa,      // slli Rc,Ra          R format, the rb field is ignored
  RbRaImm,   // addi Rb,Ra,IMM      I format; for sw, Rb is the stored register
  RaTarget,  // beqz Ra,TARGET      I format, imm = TARGET - (address + 1)
  Ra,        // jr Ra               I format, rb and imm ignored
  Rb,        // clri Rb             I format, ra and imm ignored
};

struct TInstruction {
  std::string_view Mnemonic;
  TOperands Operands;
  uint8_t Code;  // function code in R format, primary opcode in I format
  bool Alias;

  constexpr bool RFormat() const { return Operands == TOperands::RcRaRb || Operands == TOperands::RcRa; }
  // The word with these register fields and the low 16 bits of imm; fields
  // the instruction ignores are left zero.
  constexpr uint32_t Encode(uint32_t ra, uint32_t rb, uint32_t rc, uint32_t imm) const {
    switch (Operands) {
      case TOperands::RcRaRb: return ra << 21 | rb << 16 | rc << 11 | Code;
      case TOperands::RcRa: return ra << 21 | rc << 11 | Code;
      case TOperands::RbRaImm: return uint32_t(Code) << 26 | ra << 21 | rb << 16 | (imm & 0xFFFF);
      case TOperands::RaTarget: return uint32_t(Code) << 26 | ra << 21 | (imm & 0xFFFF);
      case TOperands::Ra: return uint32_t(Code) << 26 | ra << 21;
      case TOperands::Rb: return uint32_t(Code) << 26 | rb << 16;
    }
    return 0;
  }
};

// Two rows a line, in code order.
// clang-format off
inline constexpr TInstruction Instructions[] = {
    {"slli", TOperands::RcRa, 0, false},     {"srli", TOperands::RcRa, 2, false},
    {"sub", TOperands::RcRaRb, 32, false},   {"add", TOperands::RcRaRb, 33, false},
    {"sub", TOperands::RcRaRb, 34, true},    {"add", TOperands::RcRaRb, 35, true},
    {"xor", TOperands::RcRaRb, 36, false},   {"or", TOperands::RcRaRb, 37, false},
    {"and", TOperands::RcRaRb, 38, false},   {"and", TOperands::RcRaRb, 39, true},
    {"beqz", TOperands::RaTarget, 4, false}, {"bnez", TOperands::RaTarget, 5, false},
    {"subi", TOperands::RbRaImm, 8, false},  {"addi", TOperands::RbRaImm, 9, false},
    {"subi", TOperands::RbRaImm, 10, true},  {"addi", TOperands::RbRaImm, 11, true},
    {"xori", TOperands::RbRaImm, 12, false}, {"ori", TOperands::RbRaImm, 13, false},
    {"andi", TOperands::RbRaImm, 14, false}, {"andi", TOperands::RbRaImm, 15, true},
    {"jr", TOperands::Ra, 22, false},        {"jalr", TOperands::Ra, 23, false},
    {"clri", TOperands::Rb, 24, false},      {"sgti", TOperands::RbRaImm, 25, false},
    {"seqi", TOperands::RbRaImm, 26, false}, {"sget", TOperands::RbRaImm, 27, false},
    {"slti", TOperands::RbRaImm, 28, false}, {"snei", TOperands::RbRaImm, 29, false},
    {"slei", TOperands::RbRaImm, 30, false}, {"seti", TOperands::Rb, 31, false},
    {"lw", TOperands::RbRaImm, 35, false},   {"sw", TOperands::RbRaImm, 43, false},
};
// clang-format on

inline constexpr int InstructionCount = int(std::size(Instructions));

namespace instruction_detail {
constexpr std::array<int8_t, 64> Index(bool rFormat) {
  std::array<int8_t, 64> index{};
  for (auto& i : index) i = -1;
  for (int i = 0; i < InstructionCount; ++i)
    if (Instructions[i].RFormat() == rFormat) index[Instructions[i].Code] = int8_t(i);
  return index;
}
}  // namespace instruction_detail

// Row in Instructions by function code and by primary opcode; -1: illegal.
inline constexpr std::array<int8_t, 64> InstructionByFunction = instruction_detail::Index(true);
inline constexpr std::array<int8_t, 64> InstructionByOpcode = instruction_detail::Index(false);

// The row that decodes the word, or nullptr for an illegal instruction.
constexpr const TInstruction* DecodeInstruction(uint32_t word) {
  const int i = word <= 0x3FFFFFF ? InstructionByFunction[word & 63] : InstructionByOpcode[word >> 26];
  return i < 0 ? nullptr : &Instructions[i];
}
