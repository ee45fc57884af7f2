// The language's conveniences by table: expressions, characters and texts,
// pseudo-instructions (their words and what they do on the simulator),
// local labels, .align and '#' comments, and the messages that say how to
// fix a mistake.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "asm/Assembler.h"
#include "core/CPU.h"
#include "core/Loader.h"
#include "tests/support/AsmSupport.h"

namespace {

// ---------------------------------------------------------------- expressions

struct TValueCase {
  const char* Expression;
  uint32_t Expected;
};

class Expressions : public ::testing::TestWithParam<TValueCase> {};

TEST_P(Expressions, GiveTheWord) {
  const TAsmResult r = Assemble(std::string(".code $800000\n.word ") + GetParam().Expression + "\n");
  ASSERT_TRUE(r.Ok()) << GetParam().Expression << "\n" << Messages(r);
  EXPECT_EQ(Words(r), std::vector<uint32_t>{GetParam().Expected}) << GetParam().Expression;
}

INSTANTIATE_TEST_SUITE_P(
    Operators, Expressions,
    ::testing::Values(
        // Each operator alone.
        TValueCase{"-5", 0xFFFFFFFB}, TValueCase{"+5", 5}, TValueCase{"~5", 0xFFFFFFFA}, TValueCase{"~~5", 5},
        TValueCase{"--5", 5}, TValueCase{"6*7", 42}, TValueCase{"7/2", 3}, TValueCase{"-7/2", 0xFFFFFFFD},
        TValueCase{"7%3", 1}, TValueCase{"-7%3", 0xFFFFFFFF}, TValueCase{"2+3", 5}, TValueCase{"2-3", 0xFFFFFFFF},
        TValueCase{"1<<31", 0x80000000}, TValueCase{"$ffffffff<<4", 0xFFFFFFF0}, TValueCase{"$80000000>>31", 1},
        TValueCase{"-1>>28", 15}, TValueCase{"$f0&$3c", 0x30}, TValueCase{"$f0^$3c", 0xCC}, TValueCase{"$f0|$0f", 0xFF},
        // Precedence as in C, from the tightest to the loosest.
        TValueCase{"-2*3", 0xFFFFFFFA}, TValueCase{"~0*2", 0xFFFFFFFE}, TValueCase{"2+3*4", 14},
        TValueCase{"2*3+4", 10}, TValueCase{"10-4/2", 8}, TValueCase{"10%4*3", 6}, TValueCase{"1<<2+1", 8},
        TValueCase{"16>>1+1", 4}, TValueCase{"1|2<<1", 5}, TValueCase{"6&3<<1", 6}, TValueCase{"1|6&3", 3},
        TValueCase{"5^1&3", 4}, TValueCase{"1|5^1", 5}, TValueCase{"3^1|4", 6}, TValueCase{"(2+3)*4", 20},
        TValueCase{"((1))", 1}, TValueCase{"-(2+3)", 0xFFFFFFFB}, TValueCase{"~(1|2)", 0xFFFFFFFC},
        // Left to right within one level.
        TValueCase{"10-3-2", 5}, TValueCase{"64/4/2", 8}, TValueCase{"100%7%4", 2}, TValueCase{"1<<4>>2", 4},
        // 64-bit steps before the range check of the word.
        TValueCase{"$7fffffff*$7fffffff/$7fffffff", 0x7FFFFFFF}, TValueCase{"$80000000+$80000000-1", 0xFFFFFFFF},
        // Numbers and characters.
        TValueCase{"0b1010", 10}, TValueCase{"0B11111111", 255}, TValueCase{"0x1F", 31}, TValueCase{"$1f", 31},
        TValueCase{"017", 17}, TValueCase{"'A'", 65}, TValueCase{"' '", 32}, TValueCase{"';'", 59},
        TValueCase{"'\\n'", 10}, TValueCase{"'\\t'", 9}, TValueCase{"'\\r'", 13}, TValueCase{"'\\0'", 0},
        TValueCase{"'\\\\'", 92}, TValueCase{"'\\''", 39}, TValueCase{"'\\\"'", 34}, TValueCase{"'\\x41'", 65},
        TValueCase{"'\\xff'", 255}, TValueCase{"'a'-'A'", 32}, TValueCase{". - $800000 + 1", 1}));

struct TErrorCase {
  const char* Source;
  const char* Message;  // the first diagnostic
};

class LanguageErrors : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(LanguageErrors, Report) {
  const TAsmResult r = Assemble(GetParam().Source);
  EXPECT_FALSE(r.Ok());
  ASSERT_FALSE(r.Diagnostics.empty()) << GetParam().Source;
  EXPECT_EQ(DiagnosticText("t.s", r.Diagnostics[0]), GetParam().Message);
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, LanguageErrors,
    ::testing::Values(
        TErrorCase{".code 0\n.word 1 / 0", "t.s:2:9: error: division by zero"},
        TErrorCase{".code 0\n.word 8 % (2-2)", "t.s:2:9: error: remainder of a division by zero"},
        TErrorCase{".code 0\n.word 1 << 32", "t.s:2:9: error: shift count 32 out of range 0..31"},
        TErrorCase{".code 0\n.word $100000000 >> 1", "t.s:2:7: error: number '$100000000' is larger than 32 bits"},
        TErrorCase{".code 0\n.word (1+2", "t.s:2:7: error: missing ')' for this '('"},
        TErrorCase{".code 0\n.word 1+2)", "t.s:2:10: error: ')' without a '(' before it"},
        TErrorCase{".code 0\n.word 1 2",
                   "t.s:2:9: error: missing ',' before '2', or an operator between the two values"},
        TErrorCase{".code 0\n.word 1 < 2", "t.s:2:9: error: unexpected '<'; the shift operators are << and >>"},
        TErrorCase{".code 0\n.word 0b102", "t.s:2:11: error: binary digits are 0 and 1"},
        TErrorCase{".code 0\n.word 0b", "t.s:2:7: error: expected binary digits after '0b'"},
        TErrorCase{".code 0\n.word ''", "t.s:2:7: error: empty character literal; write the quote itself as '\\''"},
        TErrorCase{".code 0\n.word 'ab'", "t.s:2:7: error: missing closing ' of the character literal"},
        TErrorCase{
            ".code 0\n.word '\\q'",
            "t.s:2:8: error: unknown escape '\\q'; the escapes are \\n, \\t, \\r, \\0, \\\\, \\', \\\" and \\xHH"},
        TErrorCase{".code 0\n.word '\\x4'", "t.s:2:8: error: '\\x' needs two hexadecimal digits, as in \\x41"},
        TErrorCase{".code 0\n.word '\xc3\xa4'",
                   "t.s:2:7: error: a character literal holds one byte, and '\xc3\xa4' has 2 in UTF-8; write its bytes "
                   "with .ascii"},
        TErrorCase{".code 0\n.word $7fffffff*$7fffffff*$7fffffff", "t.s:2:26: error: value too large"},
        TErrorCase{".code 0\n.word $80000000*2>>1",
                   "t.s:2:18: error: value 4294967296 before >> does not fit in 32 bits"}));

// ---------------------------------------------------------------- texts

TEST(Texts, EveryByteOfTheUtf8TextIsAWord) {
  const TAsmResult r = Assemble(
      ".code $800000\n.ascii \"Hi; //\", \"\\n\\t\\r\\0\\\\\\'\\\"\\x7f\"\n.asciiz \"\xc3\xa4\"\n.asciiz \"\"\n");
  ASSERT_TRUE(r.Ok()) << Messages(r);
  EXPECT_EQ(Words(r), (std::vector<uint32_t>{'H', 'i', ';', ' ', '/', '/', 10, 9, 13, 0, '\\', '\'', '"', 0x7F, 0xC3,
                                             0xA4, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LanguageErrors,
    ::testing::Values(
        TErrorCase{".code 0\n.ascii \"abc", "t.s:2:8: error: missing closing '\"' of the text"},
        TErrorCase{".code 0\n.ascii abc", "t.s:2:8: error: expected a text in double quotes, as in \"Hallo\""},
        TErrorCase{
            ".code 0\n.asciiz \"a\\zb\"",
            "t.s:2:11: error: unknown escape '\\z'; the escapes are \\n, \\t, \\r, \\0, \\\\, \\', \\\" and \\xHH"},
        TErrorCase{".code 0\n.ascii \"a\" x",
                   "t.s:2:12: error: unexpected 'x' after the text; separate texts with ','"},
        TErrorCase{".code 0\n.ascii",
                   "t.s:2:1: error: .ascii expects one or more texts in double quotes, found 0 operands"}));

// ---------------------------------------------------------------- pseudo-instructions

struct TExpansionCase {
  const char* Source;  // after .code $800000, .header and .scratch R28
  std::vector<uint32_t> Expected;
};

class Expansions : public ::testing::TestWithParam<TExpansionCase> {};

TEST_P(Expansions, AreTheseWords) {
  const TAsmResult r = Assemble(std::string(".code $800000\n.header\n.scratch R28\n") + GetParam().Source + "\n");
  ASSERT_TRUE(r.Ok()) << GetParam().Source << "\n" << Messages(r);
  std::vector<uint32_t> words = Words(r);
  words.erase(words.begin());
  EXPECT_EQ(words, GetParam().Expected) << GetParam().Source;
}

INSTANTIATE_TEST_SUITE_P(
    Pseudo, Expansions,
    ::testing::Values(
        TExpansionCase{"nop", {0x00000000}}, TExpansionCase{"mv R01,R02", {0x24410000}},  // addi R01,R02,0
        TExpansionCase{"not R01,R02", {0x3041FFFF}},                                      // xori R01,R02,-1
        TExpansionCase{"neg R01,R02", {0x00020820}},                                      // sub R01,R00,R02
        TExpansionCase{"x: j x\nb x", {0x1000FFFF, 0x1000FFFE}},                          // beqz R00
        TExpansionCase{"li R01,-32768\nli R01,32767", {0x24018000, 0x24017FFF}},
        TExpansionCase{"li R01,32768", {0x20018000}},  // subi R01,R00,-32768
        TExpansionCase{"la R01,$800000\nla R02,$807fff\nla R03,$7f8000",
                       {0x27C10000, 0x27C27FFF, 0x27C38000}},  // addi from R30
        TExpansionCase{"li R01,$12345678\nli R02,65535\nli R03,$12345678",
                       {0x8FC10004, 0x8FC20005, 0x8FC30004, 0x12345678, 0x0000FFFF}},  // one pool word per value
        TExpansionCase{"call f\nf: ret", {0x27DF0003, 0x5FE00000, 0x5BE00000}},
        TExpansionCase{"push R05\npop R06", {0x23BD0001, 0xAFA50000, 0x8FA60000, 0x27BD0001}},
        TExpansionCase{"x: beq R01,R02,x\nbne R01,R02,x", {0x0022E024, 0x1380FFFE, 0x0022E024, 0x1780FFFC}},
        TExpansionCase{"x: beq R01,R00,x\nbne R00,R02,x", {0x1020FFFF, 0x1440FFFE}},  // no scratch needed
        TExpansionCase{"x: blt R01,R02,x",
                       {0x0022E024, 0x739C0000, 0x239C0001, 0x0382E026, 0x003CE020, 0x739C0000, 0x1780FFF9}},
        TExpansionCase{"x: bge R01,R02,x",
                       {0x0022E024, 0x739C0000, 0x239C0001, 0x0382E026, 0x003CE020, 0x739C0000, 0x1380FFF9}},
        TExpansionCase{"x: bgt R01,R02,x",
                       {0x0041E024, 0x739C0000, 0x239C0001, 0x0381E026, 0x005CE020, 0x739C0000, 0x1780FFF9}},
        TExpansionCase{"x: ble R01,R02,x",
                       {0x0041E024, 0x739C0000, 0x239C0001, 0x0381E026, 0x005CE020, 0x739C0000, 0x1380FFF9}}));

// Assembles the source, loads its image as a reset does, sets registers
// and runs to the idle loop; the state stays for the caller to read.
void RunOnSimulator(const TAsmResult& r, const std::vector<std::pair<int, uint32_t>>& registers) {
  ProgramLines.Assign(CodText(r));
  ASSERT_TRUE(BuildImage());
  for (const auto& [reg, value] : registers) TheState.SetReg(reg, int32_t(value));
  for (int step = 0; step < 10000; ++step) {
    const uint32_t w = TheMemory.ReadWord(TheState.GetReg(-1));
    if (w == IdleLoopWord) return;
    TheCPU.Execute(w);
  }
  FAIL() << "no idle loop reached";
}

uint32_t Reg(int r) { return uint32_t(TheState.GetReg(r)); }

class PseudoOnTheSimulator : public ::testing::Test {
 protected:
  void TearDown() override {
    ProgramLines.Clear();
    TheMemory.Clear();
  }
};

TEST_F(PseudoOnTheSimulator, EachDoesWhatItsNameSays) {
  const TAsmResult r = Assemble(
      ".code $800000\n.header\n"
      "        li   R29,stack_top\n"
      "        li   R01,$DEADBEEF\n"
      "        mv   R02,R01\n"
      "        not  R03,R01\n"
      "        neg  R04,R01\n"
      "        push R01\n"
      "        push R03\n"
      "        pop  R05\n"
      "        pop  R06\n"
      "        la   R07,table\n"
      "        lw   R08,R07,1\n"
      "        call twice\n"
      "        nop\n"
      "        j    done\n"
      "        li   R09,1\n"
      "done:   beqz R00,done\n"
      "twice:  add  R10,R02,R02\n"
      "        ret\n"
      ".data $900\n"
      "table:  .word 5,6\n"
      "stack:  .space 8\n"
      ".equ stack_top,stack+8\n");
  ASSERT_TRUE(r.Ok()) << Messages(r);
  RunOnSimulator(r, {});
  EXPECT_EQ(Reg(1), 0xDEADBEEFu);
  EXPECT_EQ(Reg(2), 0xDEADBEEFu);
  EXPECT_EQ(Reg(3), 0x21524110u);
  EXPECT_EQ(Reg(4), 0x21524111u);
  EXPECT_EQ(Reg(5), 0x21524110u);  // last pushed, first popped
  EXPECT_EQ(Reg(6), 0xDEADBEEFu);
  EXPECT_EQ(Reg(29), 0x90Au);  // back where it started
  EXPECT_EQ(Reg(7), 0x900u);
  EXPECT_EQ(Reg(8), 6u);
  EXPECT_EQ(Reg(9), 0u);  // j skipped it
  EXPECT_EQ(Reg(10), 0xBD5B7DDEu);
  EXPECT_EQ(Reg(31), 0x800012u);  // after the call's jalr
}

TEST_F(PseudoOnTheSimulator, LiAndLaLoadEveryValue) {
  const uint32_t values[] = {0,        1,          0x7FFF,     0x8000,     0x8001,     0xFFFF,
                             0x10000,  0xFFFF8000, 0xFFFF7FFF, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF,
                             0x7F8000, 0x7F7FFF,   0x807FFF,   0x808000,   0x800000,   0x12345678};
  std::string source = ".code $800000\n.header\n";
  for (size_t k = 0; k < std::size(values); ++k)
    source += (k % 2 ? "la R" : "li R") + std::to_string(k + 1) + "," + std::to_string(values[k]) + "\n";
  source += "beqz R00,.\n";
  const TAsmResult r = Assemble(source);
  ASSERT_TRUE(r.Ok()) << Messages(r);
  RunOnSimulator(r, {});
  for (size_t k = 0; k < std::size(values); ++k) EXPECT_EQ(Reg(int(k + 1)), values[k]) << k;
}

// Each compare-and-branch against the plain signed comparison, over
// boundary pairs and random ones.
TEST_F(PseudoOnTheSimulator, CompareAndBranchIsExactForAll32BitValues) {
  struct TCompare {
    const char* Mnemonic;
    bool (*Taken)(int32_t, int32_t);
  };
  const TCompare compares[] = {
      {"beq", [](int32_t a, int32_t b) { return a == b; }}, {"bne", [](int32_t a, int32_t b) { return a != b; }},
      {"blt", [](int32_t a, int32_t b) { return a < b; }},  {"ble", [](int32_t a, int32_t b) { return a <= b; }},
      {"bgt", [](int32_t a, int32_t b) { return a > b; }},  {"bge", [](int32_t a, int32_t b) { return a >= b; }},
  };
  std::vector<uint32_t> edges = {0,          1,          2,          0x7FFFFFFE, 0x7FFFFFFF, 0x80000000,
                                 0x80000001, 0xFFFFFFFE, 0xFFFFFFFF, 0x40000000, 0xC0000000};
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  for (uint32_t a : edges)
    for (uint32_t b : edges) pairs.emplace_back(a, b);
  std::mt19937 random(15);
  for (int k = 0; k < 300; ++k) pairs.emplace_back(random(), k % 3 ? random() : random() & 0x8000000F);
  for (const TCompare& c : compares) {
    const TAsmResult r = Assemble(std::string(".code $800000\n.header\n.scratch R28\n        ") + c.Mnemonic +
                                  " R01,R02,yes\n        clri R03\n        j done\nyes:    seti R03\n"
                                  "done:   beqz R00,done\n");
    ASSERT_TRUE(r.Ok()) << Messages(r);
    for (const auto& [a, b] : pairs) {
      RunOnSimulator(r, {{1, a}, {2, b}});
      ASSERT_EQ(Reg(3), c.Taken(int32_t(a), int32_t(b)) ? 1u : 0u) << c.Mnemonic << " " << a << "," << b;
      ASSERT_EQ(Reg(1), a);
      ASSERT_EQ(Reg(2), b);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pseudo, LanguageErrors,
    ::testing::Values(
        TErrorCase{".code 0\nblt R1,R2,0",
                   "t.s:2:1: error: blt needs a scratch register that it may overwrite; name one with .scratch Rn "
                   "(e.g. .scratch R28) before this line"},
        TErrorCase{".code 0\n.scratch R2\nbge R1,R2,0",
                   "t.s:3:1: error: the scratch register R02 is an operand of bge; name another one with .scratch Rn"},
        TErrorCase{".code 0\n.scratch R0",
                   "t.s:2:10: error: R00 always reads 0 and cannot hold what the compare-and-branch computes"},
        TErrorCase{".code 0\nli R1", "t.s:2:1: error: li expects 2 operands (Rb,VALUE), found 1"},
        TErrorCase{".code 0\nret R1", "t.s:2:1: error: ret expects no operands, found 1"},
        TErrorCase{
            ".code 0\nj R5",
            "t.s:2:3: error: register R5 where a label is expected; to jump to the address in a register write jr R5"},
        TErrorCase{
            ".code 0\ncall R5",
            "t.s:2:6: error: register R5 where a label is expected; to call the address in a register write jalr R5"},
        TErrorCase{".code 0\npop R29", "t.s:2:5: error: pop R29 would overwrite the stack pointer it reads"},
        TErrorCase{".code 0\nli R1,$100000000", "t.s:2:7: error: number '$100000000' is larger than 32 bits"},
        TErrorCase{".code 0\nli R1,$80000000*4<<1",
                   "t.s:2:18: error: value 8589934592 before << does not fit in 32 bits"},
        // The pool must lie where R30 reaches it.
        TErrorCase{".code $100\nli R1,$12345678\n.mem $7f8000,$10000",
                   "t.s:2:7: error: no room for the literal pool of li and la (1 word(s)) where R30 reaches it, "
                   "$7f8000..$807fff; free words there, or keep the values small"}));

TEST(Pool, GoesAfterTheCodeIntoFreeWords) {
  const TAsmResult r = Assemble(".code $800000\n.header\nli R1,$12345678\n.data $800002\n.word 7\n");
  ASSERT_TRUE(r.Ok()) << Messages(r);
  ASSERT_EQ(r.Sections.size(), 3u);
  EXPECT_EQ(r.Sections[2].Start, 0x800003);
  EXPECT_EQ(r.Sections[2].Words, std::vector<uint32_t>{0x12345678});
  EXPECT_EQ(r.Sections[0].Words[1], 0x8FC10003u);
  EXPECT_EQ(r.Symbols.LineAt(0x800003), 0u);
}

// ---------------------------------------------------------------- local labels, .align, '#'

INSTANTIATE_TEST_SUITE_P(
    Structure, Expansions,
    ::testing::Values(TExpansionCase{"1: j 1f\n1: j 1b\nj 1b\n2: .word 2f, 1b\n2:",
                                     {0x10000000, 0x1000FFFF, 0x1000FFFE, 0x800006, 0x800002}},
                      TExpansionCase{"nop\n.align 4\n.word .\n.align 2\n.word 9\n.align 1", {0, 0, 0, 0x800004, 0, 9}},
                      TExpansionCase{"# a comment\n   # another\n.word '#' ; '#'\n.ascii \"#;\" // x",
                                     {'#', '#', ';'}}));

INSTANTIATE_TEST_SUITE_P(
    Structure, LanguageErrors,
    ::testing::Values(TErrorCase{".code 0\nj 1b", "t.s:2:3: error: no local label 1: before this line for 1b"},
                      TErrorCase{".code 0\n1: j 1f", "t.s:2:6: error: no local label 1: after this line for 1f"},
                      TErrorCase{".code 0\n.space 1f\n1:",
                                 "t.s:2:8: error: '1f' names a label further down; this value must be known here"},
                      TErrorCase{".code 0\n10: nop",
                                 "t.s:2:1: error: unexpected '1'; expected a label, an instruction or a directive (a "
                                 "local label is one digit 1..9 and ':')"},
                      TErrorCase{".code 0\n.align 0", "t.s:2:8: error: alignment 0 out of range 1..16777216"}));

// ---------------------------------------------------------------- messages

INSTANTIATE_TEST_SUITE_P(
    Hints, LanguageErrors,
    ::testing::Values(
        TErrorCase{
            ".code 0\naddd R1,R2,R3",
            "t.s:2:1: error: unknown mnemonic 'addd'; expected an instruction or a directive; did you mean add?"},
        TErrorCase{
            ".code 0\nbltt R1,R2,0",
            "t.s:2:1: error: unknown mnemonic 'bltt'; expected an instruction or a directive; did you mean blt?"},
        TErrorCase{".code 0\n.wrod 1", "t.s:2:1: error: unknown directive '.wrod'; did you mean .word?"},
        TErrorCase{".code 0\nloop: j lop", "t.s:2:9: error: undefined label 'lop'; did you mean loop?"},
        TErrorCase{
            ".code 0\n.equ size,4\n.space sise",
            "t.s:3:8: error: 'sise' is not defined above this line; this value must be known here; did you mean size?"},
        TErrorCase{".code 0\njr done\ndone:",
                   "t.s:2:4: error: bad register 'done'; jr takes a register; to jump to a label write j done"},
        TErrorCase{".code 0\njalr f\nf:",
                   "t.s:2:6: error: bad register 'f'; jalr takes a register; to call a label write call f"},
        TErrorCase{".code 0\nadd R01,R01,5", "t.s:2:13: error: bad register '5'; use addi for an immediate"},
        TErrorCase{".code 0\nand R01,R01,mask", "t.s:2:13: error: bad register 'mask'; use andi for an immediate"},
        TErrorCase{".code 0\naddi R1 R0,5", "t.s:2:8: error: missing ',' after 'R1'"},
        TErrorCase{".code 0\nbeqz R1 done", "t.s:2:8: error: missing ',' after 'R1'"},
        TErrorCase{".code 0\nbnez 5,x", "t.s:2:6: error: bad register '5'; bnez tests a register, as in bnez R01,x"},
        TErrorCase{
            ".code 0\n.text",
            "t.s:2:1: error: unknown directive '.text'; a code section starts with .code ADDR, e.g. .code $800000"},
        TErrorCase{
            ".code 0\n.globl main",
            "t.s:2:1: error: unknown directive '.globl'; every label is known in the whole source; leave it out"},
        TErrorCase{".code 0\n\xc2\xa0nop",
                   "t.s:2:1: error: unexpected '\\xc2\\xa0' (a no-break space; type a plain space); expected a label, "
                   "an instruction or a directive"},
        TErrorCase{".code 0\nnop\xef\xbb\xbf",
                   "t.s:2:4: error: unexpected '\\xef\\xbb\\xbf' (a byte-order mark; delete it) after 'nop'"},
        TErrorCase{"",
                   "t.s:1:1: error: the source holds no words; a program starts with .code $800000 and .header, then "
                   "its instructions"},
        TErrorCase{"; nothing\n.code $800000\nx:\n.equ a,1\n",
                   "t.s:1:1: error: the source holds no words; a program starts with .code $800000 and .header, then "
                   "its instructions"}));

// An unknown or failed section directive is the only error of the words
// that would have gone into its section.
TEST(Messages, NoCascadeAfterAFailedSection) {
  for (const char* start : {".text", ".code later", ".code", ".data $80000000"}) {
    const TAsmResult r = Assemble(std::string(start) +
                                  "\nmain: addi R1,R0,1\n addi R2,R0,2\n .word 1,2,3\n"
                                  "loop: j loop\n j main\n .ascii \"x\"\n .align 4\nlater:\n");
    EXPECT_EQ(r.ErrorCount, 1u) << start << "\n" << Messages(r);
  }
}

TEST(Messages, DataInThePathOfExecutionIsAWarning) {
  const TAsmResult r = Assemble(
      ".code $800000\n.header\n addi R1,R0,1\n.word 5\n j x\n.word 6\nx: beqz R1,x\n.word $c0000000\n"
      ".ascii \"a\"\n ret\n.word 7\n");
  ASSERT_TRUE(r.Ok()) << Messages(r);
  EXPECT_EQ(Messages(r),
            "t.s:4:1: warning: data in the path of execution: the instruction before it goes on to this word; end the "
            "code before it with j, ret or an idle loop (beqz R00,.)\n");
}

TEST(Messages, CrAloneEndsALineAndNulNeverEndsAMessage) {
  const TAsmResult r = Assemble(".code $800000\r.header\rx: .word 1\r  bad\r");
  EXPECT_EQ(Messages(r), "t.s:4:3: error: unknown mnemonic 'bad'; expected an instruction or a directive\n");
  const TAsmResult good = Assemble(".code $800000\r.header\rx: .word x\r");
  ASSERT_TRUE(good.Ok()) << Messages(good);
  EXPECT_EQ(Words(good), (std::vector<uint32_t>{HeaderWord, 0x800001}));
  const TAsmResult nul = Assemble(std::string(".code 0\n.word 1\0x\nfoo", 21));
  EXPECT_EQ(Messages(nul),
            "t.s:2:8: error: unexpected '\\x00'; expected an operator or the end of the operand\n"
            "t.s:3:1: error: unknown mnemonic 'foo'; expected an instruction or a directive\n");
}

TEST(Messages, OverlapNamesTheFirstSharedAddressAndTheListingMarksItsWords) {
  const std::string source = ".code $10\n.word 1,2,3\n.data $e\n.word 4,5,6,7\n";
  const TAsmResult r = Assemble(source);
  ASSERT_TRUE(r.Ok());
  EXPECT_EQ(Messages(r),
            "t.s:3:7: warning: section $e..$11 overlaps an earlier section from $10 on; memory keeps "
            "the earlier section's words where they overlap\n");
  const TAsmResult wide = Assemble(".code $10\n.word 1\n.data $8\n.space 16\n");
  EXPECT_NE(Messages(wide).find("$8..$17 overlaps an earlier section from $10 on"), std::string::npos);
  EXPECT_EQ(ListingText(Assemble(".code $10\n.word 1,2\n.data $11\n.word 3,4\n"),
                        ".code $10\n.word 1,2\n.data $11\n.word 3,4\n"),
            "                           1  .code $10\n"
            "$00000010:  00000001       2  .word 1,2\n"
            "$00000011:  00000002\n"
            "                           3  .data $11\n"
            "$00000011:  00000003 *     4  .word 3,4\n"
            "$00000012:  00000004\n"
            "* not in memory: an earlier section holds this address\n");
}

// Editors highlight the pseudo-instructions of this table; each is one the
// assembler expands.
TEST(Messages, EveryPseudoInstructionOfTheTableIsKnown) {
  for (std::string_view pseudo : AsmPseudoInstructions) {
    const TAsmResult r = Assemble(".code 0\n" + std::string(pseudo) + "\n");
    for (const TAsmDiagnostic& d : r.Diagnostics)
      EXPECT_EQ(d.Message.find("unknown"), std::string::npos) << pseudo << ": " << d.Message;
  }
}

TEST(Listing, PseudoInstructionsUnderTheirLineAndTheSymbolTable) {
  const std::string source = ".code $800000\n.equ n,5\nstart: li R1,n\n  push R1\nend: j end\n";
  EXPECT_EQ(ListingText(Assemble(source), source),
            "                           1  .code $800000\n"
            "                           2  .equ n,5\n"
            "                           3  start: li R1,n\n"
            "$00800000:  24010005            addi  R01,R00,$0005\n"
            "                           4    push R1\n"
            "$00800001:  23bd0001            subi  R29,R29,$0001\n"
            "$00800002:  afa10000            sw    R01,R29,$0000\n"
            "                           5  end: j end\n"
            "$00800003:  1000ffff            beqz  R00,$00800003\n"
            "\n"
            "symbols:\n"
            "  end    $00800003  label     line 5\n"
            "  n      $00000005  constant  line 2\n"
            "  start  $00800000  label     line 3\n");
}

}  // namespace
