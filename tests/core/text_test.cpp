#include "tests/support/CoreFixture.h"

namespace {

using namespace enc;

TEST(TextTest, HexTextPadsAndGrows) {
  EXPECT_EQ(HexText(255, 2), "ff");
  EXPECT_EQ(HexText(255, 4), "00ff");
  EXPECT_EQ(HexText(0x12345, 4), "12345");
  EXPECT_EQ(HexText(0xFFFFFFFFu, 4), "ffffffff");
  EXPECT_EQ(HexText(0, 8), "00000000");
  EXPECT_EQ(HexText(0xABCDEF01u, 1), "abcdef01");
  EXPECT_EQ(HexText(0, 0), "0");
}

TEST(TextTest, HexDigitMapLowersOnlyHexDigits) {
  EXPECT_EQ(HexDigitMap['A'], 'a');
  EXPECT_EQ(HexDigitMap['f'], 'f');
  EXPECT_EQ(HexDigitMap['7'], '7');
  EXPECT_EQ(HexDigitMap['G'], '?');
  EXPECT_EQ(HexDigitMap[0], '?');
  EXPECT_EQ(HexDigitMap[255], '?');
}

TEST(TextTest, TwoDigitsKeepsLastTwo) {
  EXPECT_EQ(TwoDigits(7), "07");
  EXPECT_EQ(TwoDigits(31), "31");
  EXPECT_EQ(TwoDigits(0), "00");
  EXPECT_EQ(TwoDigits(123), "23");
}

TEST(TextTest, SignExtendFillsUpperBits) {
  EXPECT_EQ(SignExtend(0x7FFF, 16), 0x7FFFu);
  EXPECT_EQ(SignExtend(0x8000, 16), 0xFFFF8000u);
  EXPECT_EQ(SignExtend(0xFFFF, 16), 0xFFFFFFFFu);
  EXPECT_EQ(SignExtend(0, 16), 0u);
  EXPECT_EQ(SignExtend(0x2, 2), 0xFFFFFFFEu);
}

struct DisasmCase {
  int32_t address;
  uint32_t word;
  const char* text;
};

class DisassembleTest : public ::testing::TestWithParam<DisasmCase> {};

TEST_P(DisassembleTest, Text) {
  const DisasmCase& c = GetParam();
  EXPECT_EQ(TheCPU.Disassemble(c.address, c.word), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Instructions, DisassembleTest,
    ::testing::Values(
        DisasmCase{HeaderAddress, HeaderWord, "dc    0x52455341 // resa"},
        DisasmCase{HeaderAddress + 1, HeaderWord, "????  (illegal opcode)"},
        DisasmCase{0, Addi(1, 0, 5), "addi  R01,R00,$0005"}, DisasmCase{0, Addi(1, 2, -1), "addi  R01,R02,$ffff"},
        DisasmCase{0, I(8, 3, 4, 0x10), "subi  R03,R04,$0010"}, DisasmCase{0, I(10, 3, 4, 0x10), "subi  R03,R04,$0010"},
        DisasmCase{0, I(11, 3, 4, 0x10), "addi  R03,R04,$0010"}, DisasmCase{0, I(12, 1, 2, 3), "xori  R01,R02,$0003"},
        DisasmCase{0, I(13, 1, 2, 3), "ori   R01,R02,$0003"}, DisasmCase{0, I(14, 1, 2, 3), "andi  R01,R02,$0003"},
        DisasmCase{0, I(15, 1, 2, 3), "andi  R01,R02,$0003"}, DisasmCase{0, I(25, 1, 2, 3), "sgti  R01,R02,$0003"},
        DisasmCase{0, I(26, 1, 2, 3), "seqi  R01,R02,$0003"}, DisasmCase{0, I(27, 1, 2, 3), "sget  R01,R02,$0003"},
        DisasmCase{0, I(28, 1, 2, 3), "slti  R01,R02,$0003"}, DisasmCase{0, I(29, 1, 2, 3), "snei  R01,R02,$0003"},
        DisasmCase{0, I(30, 1, 2, 3), "slei  R01,R02,$0003"}, DisasmCase{0, Lw(7, 30, 4), "lw    R07,R30,$0004"},
        DisasmCase{0, Sw(7, 30, 4), "sw    R07,R30,$0004"}, DisasmCase{0, Jr(31), "jr    R31"},
        DisasmCase{0, Jalr(20), "jalr  R20"}, DisasmCase{0, I(24, 9, 3, 7), "clri  R09"},
        DisasmCase{0, I(31, 9, 3, 7), "seti  R09"}, DisasmCase{EntryAddress, IdleLoopWord, "beqz  R00,$00800001"},
        DisasmCase{0x10, Bnez(3, 4), "bnez  R03,$00000015"}, DisasmCase{0, Beqz(1, -5), "beqz  R01,$fffffffc"},
        DisasmCase{0, R(0, 1, 2, 3), "slli  R01,R02"}, DisasmCase{0, R(2, 1, 2, 3), "srli  R01,R02"},
        DisasmCase{0, R(32, 1, 2, 3), "sub   R01,R02,R03"}, DisasmCase{0, R(34, 1, 2, 3), "sub   R01,R02,R03"},
        DisasmCase{0, R(35, 1, 2, 3), "add   R01,R02,R03"}, DisasmCase{0, R(36, 1, 2, 3), "xor   R01,R02,R03"},
        DisasmCase{0, R(37, 1, 2, 3), "or    R01,R02,R03"}, DisasmCase{0, R(39, 31, 30, 29), "and   R31,R30,R29"},
        DisasmCase{0, R(40, 1, 2, 3), "????  (illegal opcode)"}, DisasmCase{0, R(1, 1, 2, 3), "????  (illegal opcode)"},
        DisasmCase{0, R(63, 1, 2, 3) | 0x7C0, "????  (illegal opcode)"}, DisasmCase{0, Stop, "????  (illegal opcode)"},
        DisasmCase{0, I(20, 0, 0, 0), "????  (illegal opcode)"}, DisasmCase{0, 0xFFFFFFFFu, "????  (illegal opcode)"}));

class ListingTest : public CoreTest {};

TEST_F(ListingTest, ListingLineJoinsAddressWordAndText) {
  TheMemory.WriteWord(EntryAddress, IdleLoopWord);
  EXPECT_EQ(TheCPU.ListingLine(EntryAddress), "$00800001:  1000ffff   beqz  R00,$00800001");
  EXPECT_EQ(TheCPU.ListingLine(0), "$00000000:  ffffffff   ????  (illegal opcode)");
  EXPECT_EQ(TheCPU.ListingLine(-1), "$ffffffff:  ffffffff   ????  (illegal opcode)");
}

}  // namespace
