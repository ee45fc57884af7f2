// The assembler library: the language by table, diagnostics (how they
// quote source text also through tavora-as), the symbol table, and the
// round trip with the disassembler over every encoding.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "asm/Assembler.h"
#include "core/CPU.h"
#include "core/Instructions.h"
#include "core/Loader.h"
#include "tests/support/AsmSupport.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

struct TWordsCase {
  const char* Source;
  std::vector<uint32_t> Expected;
};

class AsmWords : public ::testing::TestWithParam<TWordsCase> {};

TEST_P(AsmWords, Assemble) {
  const TAsmResult r = Assemble(std::string(".code $800000\n") + GetParam().Source);
  ASSERT_TRUE(r.Ok()) << Messages(r);
  EXPECT_EQ(Words(r), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Language, AsmWords,
    ::testing::Values(
        TWordsCase{"addi  R01,R00,$0005", {0x24010005}}, TWordsCase{"ADDI r1 , r0 , 5 ; comment", {0x24010005}},
        TWordsCase{"addi R1,R0,-1 // comment", {0x2401FFFF}},
        TWordsCase{"addi R1,R0,65535\naddi R1,R0,-32768", {0x2401FFFF, 0x24018000}},
        TWordsCase{"addi.11 R1,R0,5\naddi.9 R1,R0,5\nsub.34 R3,R1,R2\nand.39 R3,R1,R2",
                   {0x2C010005, 0x24010005, 0x00221822, 0x00221827}},
        TWordsCase{"add.35 R3,R1,R2\nsubi.10 R1,R1,1\nandi.15 R1,R1,1", {0x00221823, 0x28210001, 0x3C210001}},
        TWordsCase{"slli R3,R1\nsrli R3,R1\nxor R3,R1,R2\nor R3,R1,R2",
                   {0x00201800, 0x00201802, 0x00221824, 0x00221825}},
        TWordsCase{"jr R31\njalr R20\nclri R6\nseti R6", {0x5BE00000, 0x5E800000, 0x60060000, 0x7C060000}},
        TWordsCase{"sw R9,R6,1\nlw R8,R6,0", {0xACC90001, 0x8CC80000}},
        // Branch targets are absolute; the offset counts from the next word.
        TWordsCase{"x: beqz R0,x\nbnez R4,$800000\nbeqz R0,y\ny:", {0x1000FFFF, 0x1480FFFE, 0x10000000}},
        TWordsCase{"dc    0x52455341 // resa\n.header", {0x52455341, 0x52455341}},
        TWordsCase{".word 1, -1, $ffffffff, 4294967295, -2147483648, .",
                   {1, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0x80000000, 0x800000}},
        TWordsCase{".equ n, 3\n.word n+n-1, end-., -n\nend:", {5, 3, 0xFFFFFFFD}},
        TWordsCase{".space 2\n.word .", {0, 0, 0x800002}},
        TWordsCase{"a: b:\n.word a, b, later\nlater: .word 7", {0x800000, 0x800000, 0x800003, 7}},
        TWordsCase{"addi R1,R0,1\r\n\r\n   \t\n.word 2\r\n", {0x24010001, 2}}));

struct TErrorCase {
  const char* Source;
  const char* Message;  // the expected first diagnostic
};

class AsmErrors : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(AsmErrors, Report) {
  const TAsmResult r = Assemble(GetParam().Source);
  EXPECT_FALSE(r.Ok());
  EXPECT_TRUE(r.Sections.empty());
  ASSERT_FALSE(r.Diagnostics.empty());
  EXPECT_EQ(DiagnosticText("t.s", r.Diagnostics[0]), GetParam().Message);
}

INSTANTIATE_TEST_SUITE_P(
    Language, AsmErrors,
    ::testing::Values(
        TErrorCase{"addi R1,R0,1", "t.s:1:1: error: word outside any section; start one with .code ADDR or .data ADDR"},
        TErrorCase{".code 0\n  mov R1,R2",
                   "t.s:2:3: error: unknown mnemonic 'mov'; expected an instruction or a directive; did you mean mv?"},
        TErrorCase{".code 0\naddi R1,R32,1", "t.s:2:9: error: bad register 'R32'; expected R0..R31"},
        TErrorCase{".code 0\nadd R1,R2", "t.s:2:1: error: add expects 3 operands (Rc,Ra,Rb), found 2"},
        TErrorCase{".code 0\njr R1,R2", "t.s:2:1: error: jr expects 1 operand (Ra), found 2"},
        TErrorCase{".code 0\naddi R1,R0,65536",
                   "t.s:2:12: error: immediate 65536 out of range -32768..65535; use li for a constant of any size"},
        TErrorCase{".code 0\naddi R1,R0,-32769",
                   "t.s:2:12: error: immediate -32769 out of range -32768..65535; use li for a constant of any size"},
        TErrorCase{".code 0\nbeqz R0,$8001",
                   "t.s:2:9: error: branch target $8001 too far: offset 32768 out of range -32768..32767; to go "
                   "further, load the address with la and jump with jr"},
        TErrorCase{".code 0\nbeqz R0,nowhere", "t.s:2:9: error: undefined label 'nowhere'"},
        TErrorCase{".code 0\nx: .word 1\nx: .word 2", "t.s:3:1: error: duplicate label 'x' (first defined on line 2)"},
        TErrorCase{".code 0\naddi.12 R1,R0,1", "t.s:2:1: error: unknown encoding '.12' of addi; expected .9 or .11"},
        TErrorCase{".code 0\n????  (illegal opcode)",
                   "t.s:2:1: error: the illegal-instruction text has no encoding; write the word itself with .word"},
        TErrorCase{".code $80000000", "t.s:1:7: error: section address 2147483648 out of range 0..2147483647"},
        TErrorCase{".code $7fffffff\n.word 1,2",
                   "t.s:2:1: error: address past $7fffffff: the section from $7fffffff has no room for 2 more word(s)"},
        TErrorCase{".code 0\n.word $100000000", "t.s:2:7: error: number '$100000000' is larger than 32 bits"},
        TErrorCase{".code 0\n.word 1+", "t.s:2:9: error: expected a term after the operator"},
        TErrorCase{".code 0\naddi R1,R0,R2", "t.s:2:12: error: register R2 where a value is expected"},
        TErrorCase{".code 0\n.space later\nlater:",
                   "t.s:2:8: error: 'later' is not defined above this line; this value must be known here"},
        TErrorCase{".ds 0,0", "t.s:1:7: error: count 0 out of range 1..16777216"},
        TErrorCase{".code 0\n.space 16777217", "t.s:2:8: error: word count 16777217 out of range 0..16777216"},
        TErrorCase{".mem 0,16777216\n.mem $1000000,1", "t.s:2:6: error: image larger than 16777216 words"},
        TErrorCase{".code 0\nR1: .word 1", "t.s:2:1: error: 'R1' is a register name and cannot be a label or constant"},
        TErrorCase{".code 0\n.bogus",
                   "t.s:2:1: error: unknown directive '.bogus'; expected .code, .data, .ds, .mem, .word, .ascii, "
                   ".asciiz, .space, .align, .header, .equ, .scratch, .include or .macro"}));

// Editors highlight the directives of this table; each must be one the
// assembler knows.
TEST(AsmDiagnostics, EveryDirectiveOfTheTableIsKnown) {
  for (std::string_view directive : AsmDirectives)
    for (const TAsmDiagnostic& d : Assemble(".code 0\n" + std::string(directive) + " 1\n").Diagnostics)
      EXPECT_EQ(d.Message.find("unknown"), std::string::npos) << directive << ": " << d.Message;
}

TEST(AsmDiagnostics, EveryErrorUpToAHundredInLineOrder) {
  std::string source = ".code 0\nbeqz R0,late\n";
  for (int k = 0; k < 150; ++k) source += "bad\n";
  const TAsmResult r = Assemble(source);
  EXPECT_EQ(r.ErrorCount, MaxAsmErrors);
  EXPECT_TRUE(r.TooManyErrors);
  ASSERT_EQ(r.Diagnostics.size(), MaxAsmErrors);
  for (size_t k = 1; k < r.Diagnostics.size(); ++k) EXPECT_LT(r.Diagnostics[k - 1].Line, r.Diagnostics[k].Line);

  const TAsmResult few = Assemble(".code 0\nbad\naddi R1\nbeqz R0,late\n");
  EXPECT_EQ(few.ErrorCount, 3u);
  EXPECT_FALSE(few.TooManyErrors);
}

TEST(AsmDiagnostics, HostileLinesAreBounded) {
  std::string labels = ".code 0\n", values = ".code 0\n.word 0";
  for (int k = 0; k < 300; ++k) labels += "l" + std::to_string(k) + ":";
  for (int k = 0; k < 70000; ++k) values += ",0";
  EXPECT_EQ(DiagnosticText("t.s", Assemble(labels).Diagnostics.at(0)),
            "t.s:2:1171: error: more than 256 labels on one line");
  EXPECT_EQ(DiagnosticText("t.s", Assemble(values).Diagnostics.at(0)),
            "t.s:2:6: error: more than 65536 operands on one line");
}

TEST(AsmDiagnostics, OverlapIsOnlyAWarning) {
  const TAsmResult r = Assemble(".code 10\n.word 1,2,3\n.data 20\n.word 4\n.ds 5,6,9\n.mem 0,1\n");
  EXPECT_TRUE(r.Ok());
  ASSERT_EQ(r.Diagnostics.size(), 1u);
  EXPECT_EQ(DiagnosticText("t.s", r.Diagnostics[0]),
            "t.s:5:5: warning: section $5..$a overlaps an earlier section from $a on; memory keeps the earlier "
            "section's words where they overlap");
  EXPECT_EQ(r.Sections.size(), 4u);
}

struct TQuoteCase {
  std::string Source;
  std::string Message;  // what tavora-as prints for it, after "FILE:"
};

class AsmQuotes : public ::testing::TestWithParam<TQuoteCase> {};

// Every message is whole, valid UTF-8 text: source bytes that are not
// UTF-8, and control characters, appear as \xNN; characters stay as they are.
TEST_P(AsmQuotes, SourceBytesInMessages) {
  TTempDir dir;
  const std::string source = dir.File("q.s", GetParam().Source);
  const TProcessResult r = RunProcess(TAVORA_AS_PATH, {"-o", "-", source});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, source + ":" + GetParam().Message + "\n" + source +
                       ":9:1: error: unknown mnemonic 'last'; expected an instruction or a directive\n"
                       "tavora-as: 2 error(s); no image written\n");
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, AsmQuotes,
    ::testing::Values(
        TQuoteCase{std::string(".code 0\naddi R1,R0,1\0zz\n\n\n\n\n\n\nlast", 34),
                   "2:13: error: unexpected '\\x00'; expected an operator or the end of the operand"},
        TQuoteCase{".code 0\n\xa0nop\n\n\n\n\n\n\nlast",
                   "2:1: error: unexpected '\\xa0'; expected a label, an instruction or a directive"},
        TQuoteCase{".code 0\nlab\xc3\xa4l: .word 1\n\n\n\n\n\n\nlast", "2:4: error: unexpected '\xc3\xa4' after 'lab'"},
        TQuoteCase{
            ".code 0\n.equ a\tb\x01\xe9\xed\xa0\x80\xc3,1\n\n\n\n\n\n\nlast",
            "2:6: error: bad name 'a\\x09b\\x01\\xe9\\xed\\xa0\\x80\\xc3'; a name starts with a letter, '_' or '.'"},
        // Cut at 40 bytes between characters, not inside one.
        TQuoteCase{".code 0\n.equ " + std::string(39, 'a') + "\xe2\x82\xac,1\n\n\n\n\n\n\nlast",
                   "2:6: error: bad name '" + std::string(39, 'a') + "...'; a name starts with a letter, '_' or '.'"}));

// A byte-order mark in front of a source is skipped: the same image and
// listing as without it, and columns of the first line count after it.
TEST(AsmQuotes, ByteOrderMarkAtTheStartIsSkipped) {
  TTempDir dir;
  const std::string text = ".code 16\nx: .word 1\n";
  const TProcessResult plain = RunProcess(TAVORA_AS_PATH, {"-l", "-o", "-", dir.File("a.s", text)});
  const TProcessResult marked = RunProcess(TAVORA_AS_PATH, {"-l", "-o", "-", dir.File("b.s", "\xef\xbb\xbf" + text)});
  EXPECT_EQ(marked.Status, 0) << marked.Err;
  EXPECT_EQ(marked.Out, plain.Out);

  const std::string bad = dir.File("c.s", "\xef\xbb\xbf  foo\n");
  EXPECT_EQ(RunProcess(TAVORA_AS_PATH, {bad}).Err,
            bad +
                ":1:3: error: unknown mnemonic 'foo'; expected an instruction or a directive\n"
                "tavora-as: 1 error(s); no image written\n");
}

TEST(AsmSymbols, LabelsAndLinesForLaterFeatures) {
  const TAsmResult r = Assemble(
      "; data first\n.data $900\ntable: .word 1,2\n.code $800000\n.header\nstart: addi R1,R0,1\n"
      "stack: .ds $1000,16\n.equ size,16\n");
  ASSERT_TRUE(r.Ok()) << Messages(r);
  ASSERT_NE(r.Symbols.Find("start"), nullptr);
  EXPECT_EQ(r.Symbols.Find("start")->Value, 0x800001);
  EXPECT_TRUE(r.Symbols.Find("start")->Label);
  EXPECT_EQ(r.Symbols.Find("table")->Value, 0x900);
  EXPECT_EQ(r.Symbols.Find("stack")->Value, 0x1000);
  EXPECT_FALSE(r.Symbols.Find("size")->Label);
  EXPECT_EQ(r.Symbols.Find("Start"), nullptr);  // case-sensitive
  EXPECT_EQ(r.Symbols.LineAt(0x901), 3u);
  EXPECT_EQ(r.Symbols.LineAt(0x800000), 5u);
  EXPECT_EQ(r.Symbols.LineAt(0x800001), 6u);
  EXPECT_EQ(r.Symbols.LineAt(0x100F), 7u);
  EXPECT_EQ(r.Symbols.LineAt(0x1010), 0u);
  EXPECT_EQ(r.Symbols.LineAt(0x902), 0u);

  int64_t v = 0;
  std::string error;
  EXPECT_TRUE(EvaluateExpression("start + 2 - $1", r.Symbols, v, error));
  EXPECT_EQ(v, 0x800002);
  EXPECT_FALSE(EvaluateExpression("nothere", r.Symbols, v, error));
  EXPECT_EQ(error, "unknown label 'nothere'");
}

TEST(AsmImage, CodTextLoadsAsTheSameImage) {
  const TAsmResult r = Assemble(".code $800000\n.header\n.word -1\n.ds $900,3,7\n.mem $a00,2\n");
  ASSERT_TRUE(r.Ok());
  EXPECT_EQ(CodText(r),
            ".CODE\n0x00800000\n0x2\n0x52455341\n0xffffffff\n.DS\n0x00000900\n0x3\n0x7\n.MEM\n0x00000a00\n0x2\n");
  ProgramLines.Assign(CodText(r));
  EXPECT_TRUE(BuildImage());
  EXPECT_EQ(TheMemory.ReadWord(0x800001), 0xFFFFFFFFu);
  EXPECT_EQ(TheMemory.ReadWord(0x902), 7u);
  EXPECT_EQ(TheMemory.ReadWord(0xA01), 0u);
  ProgramLines.Clear();
  TheMemory.Clear();
}

TEST(AsmImage, ListingPutsSourceBesideWords) {
  const std::string source = ".code $10\nx: .word 1,2\n";
  EXPECT_EQ(ListingText(Assemble(source), source),
            "                           1  .code $10\n"
            "$00000010:  00000001       2  x: .word 1,2\n"
            "$00000011:  00000002\n"
            "\n"
            "symbols:\n"
            "  x  $00000010  label     line 2\n");
}

// Masks of the bits an encoding ignores; a word with any of them set (or
// an alias encoding) comes back as another word with the same text.
uint32_t UnusedBits(const std::string& text) {
  const std::string m = text.substr(0, text.find(' '));
  if (m == "slli" || m == "srli") return 0x001F07C0;
  if (m == "add" || m == "sub" || m == "and" || m == "xor" || m == "or") return 0x000007C0;
  if (m == "beqz" || m == "bnez") return 0x001F0000;
  if (m == "jr" || m == "jalr") return 0x001FFFFF;
  if (m == "clri" || m == "seti") return 0x03E0FFFF;
  return 0;
}

// Disassembles the words at consecutive addresses from base, assembles the
// texts back and compares. Illegal words are written with .word instead.
void RoundTrip(int32_t base, const std::vector<uint32_t>& words) {
  std::string source = ".code " + std::to_string(base) + "\n";
  for (size_t k = 0; k < words.size(); ++k) {
    const std::string text = TheCPU.Disassemble(int32_t(uint32_t(base) + k), words[k]);
    source += text[0] == '?' ? ".word " + std::to_string(words[k]) : text;
    source += '\n';
  }
  const TAsmResult r = Assemble(source);
  ASSERT_TRUE(r.Ok()) << Messages(r);
  const std::vector<uint32_t> back = Words(r);
  ASSERT_EQ(back.size(), words.size());
  for (size_t k = 0; k < words.size(); ++k) {
    const int32_t address = int32_t(uint32_t(base) + k);
    const std::string text = TheCPU.Disassemble(address, words[k]);
    ASSERT_EQ(TheCPU.Disassemble(address, back[k]), text) << std::hex << words[k] << " at " << address;
    // A second encoding reads back as the first: the table says which.
    const TInstruction* row = DecodeInstruction(words[k]);
    const bool alias = row && row->Alias;
    if (!alias && (words[k] & UnusedBits(text)) == 0) {
      ASSERT_EQ(back[k], words[k]) << text;
    }
  }
}

TEST(AsmRoundTrip, EveryOpcodeAndFunctionCode) {
  std::mt19937 random(11);
  std::vector<uint32_t> words;
  for (uint32_t op = 0; op < 64; ++op)
    for (uint32_t fn = 0; fn < 64; ++fn)
      for (int k = 0; k < 4; ++k) {
        const uint32_t fields = random() & 0x03FFFFC0;
        words.push_back(op == 0 ? (fields | fn) : (op << 26 | fields | fn | (random() & 0xFFC0)));
      }
  words.push_back(HeaderWord);  // lands at $800000 only below
  RoundTrip(0, words);
  RoundTrip(HeaderAddress, {HeaderWord, IdleLoopWord, 0x10000000});
  RoundTrip(0x7FFFFFFF - 4, {0x10007FFF, 0x1000FFFF, 0x10008000, 0x14208000, 0x24010005});
}

TEST(AsmRoundTrip, AMillionRandomWords) {
  std::mt19937 random(2024);
  for (int batch = 0; batch < 20; ++batch) {
    // Bases near 0 let branch targets wrap below address 0.
    const int32_t base = batch == 0 ? 0 : batch == 1 ? 0x7FFFFFFF - 49999 : int32_t(random() & 0x7FF00000);
    std::vector<uint32_t> words(50000);
    for (uint32_t& w : words) w = random();
    RoundTrip(base, words);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
