// Assembler text of instruction words and the lines of the code listing.
#include <cstring>

#include "CPU.h"

namespace {

constexpr const char* IllegalText = "????  (illegal opcode)";
constexpr const char* HeaderText = "dc    0x52455341 // resa";

// Mnemonics padded to six characters, by R-format function code 32..39.
constexpr const char* RMnemonics[8] = {"sub   ", "add   ", "sub   ", "add   ",
                                       "xor   ", "or    ", "and   ", "and   "};

// Mnemonics of the I format by opcode 4..43 (nullptr: illegal).
constexpr const char* IMnemonic(uint32_t op) {
  switch (op) {
    case 4: return "beqz  ";
    case 5: return "bnez  ";
    case 8: case 10: return "subi  ";
    case 9: case 11: return "addi  ";
    case 12: return "xori  ";
    case 13: return "ori   ";
    case 14: case 15: return "andi  ";
    case 22: return "jr    ";
    case 23: return "jalr  ";
    case 24: return "clri  ";
    case 25: return "sgti  ";
    case 26: return "seqi  ";
    case 27: return "sget  ";
    case 28: return "slti  ";
    case 29: return "snei  ";
    case 30: return "slei  ";
    case 31: return "seti  ";
    case 35: return "lw    ";
    case 43: return "sw    ";
    default: return nullptr;
  }
}

// Appends "Rnn".
void AppendReg(std::string& s, uint32_t reg) {
  s += 'R';
  s += TwoDigits(int(reg));
}

}  // namespace

std::string TCPU::Disassemble(int32_t address, uint32_t word) const {
  if (word == HeaderWord && address == HeaderAddress) return HeaderText;

  const uint32_t ra = (word >> 21) & 31, rb = (word >> 16) & 31, rc = (word >> 11) & 31;
  std::string s;
  s.reserve(32);
  if (word <= 0x3FFFFFF) {
    const uint32_t fn = word & 63;
    if (fn == 0 || fn == 2) {
      s = fn == 0 ? "slli  " : "srli  ";
      AppendReg(s, rc);
      s += ',';
      AppendReg(s, ra);
    } else if (fn >= 32 && fn <= 39) {
      s = RMnemonics[fn - 32];
      AppendReg(s, rc);
      s += ',';
      AppendReg(s, ra);
      s += ',';
      AppendReg(s, rb);
    } else {
      s = IllegalText;
    }
    return s;
  }

  const uint32_t op = word >> 26;
  const char* mnemonic = IMnemonic(op);
  if (!mnemonic) return IllegalText;
  s = mnemonic;
  if (op == 4 || op == 5) {
    AppendReg(s, ra);
    s += ",$";
    s += HexText(uint32_t(address) + 1 + SignExtend(word & 0xFFFF, 16), 8);
  } else if (op == 22 || op == 23) {
    AppendReg(s, ra);
  } else if (op == 24 || op == 31) {
    AppendReg(s, rb);
  } else {
    AppendReg(s, rb);
    s += ',';
    AppendReg(s, ra);
    s += ",$";
    s += HexText(word & 0xFFFF, 4);
  }
  return s;
}

std::string TCPU::ListingLine(int32_t address) {
  return ListingText(address, TheMemory.ReadWord(address));
}

std::string TCPU::ListingText(int32_t address, uint32_t word) const {
  std::string line;
  line.reserve(48);
  line += '$';
  line += HexText(uint32_t(address), 8);
  line += ":  ";
  line += HexText(word, 8);
  line += "   ";
  line += Disassemble(address, word);
  return line;
}
