// Assembler text of instruction words and the lines of the code listing.
#include <cstring>

#include "core/CPU.h"
#include "core/Instructions.h"

namespace {

constexpr const char* IllegalText = "????  (illegal opcode)";
constexpr const char* HeaderText = "dc    0x52455341 // resa";

// Appends "Rnn".
void AppendReg(std::string& s, uint32_t reg) {
  s += 'R';
  s += TwoDigits(int(reg));
}

}  // namespace

std::string TCPU::Disassemble(int32_t address, uint32_t word) const {
  if (word == HeaderWord && address == HeaderAddress) return HeaderText;
  const TInstruction* ins = DecodeInstruction(word);
  if (!ins) return IllegalText;

  const uint32_t ra = (word >> 21) & 31, rb = (word >> 16) & 31, rc = (word >> 11) & 31;
  std::string s;
  s.reserve(32);
  // Mnemonics are padded to six characters so that operands line up.
  s += ins->Mnemonic;
  s.append(6 - ins->Mnemonic.size(), ' ');
  switch (ins->Operands) {
    case TOperands::RcRaRb:
      AppendReg(s, rc);
      s += ',';
      AppendReg(s, ra);
      s += ',';
      AppendReg(s, rb);
      break;
    case TOperands::RcRa:
      AppendReg(s, rc);
      s += ',';
      AppendReg(s, ra);
      break;
    case TOperands::RbRaImm:
      AppendReg(s, rb);
      s += ',';
      AppendReg(s, ra);
      s += ",$";
      s += HexText(word & 0xFFFF, 4);
      break;
    case TOperands::RaTarget:
      AppendReg(s, ra);
      s += ",$";
      s += HexText(uint32_t(address) + 1 + SignExtend(word & 0xFFFF, 16), 8);
      break;
    case TOperands::Ra: AppendReg(s, ra); break;
    case TOperands::Rb: AppendReg(s, rb); break;
  }
  return s;
}

std::string TCPU::ListingLine(int32_t address) { return ListingText(address, TheMemory.ReadWord(address)); }

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
