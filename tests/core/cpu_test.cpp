#include <functional>
#include <map>
#include <random>
#include <string_view>
#include <vector>

#include "core/Instructions.h"
#include "tests/support/CoreFixture.h"

namespace {

using namespace enc;

class CpuTest : public CoreTest {
 protected:
  // Runs one instruction at address 0x100 with the given register values.
  void Run(uint32_t word, std::vector<std::pair<int, uint32_t>> regs = {}) {
    Program(0x100, {word});
    for (auto [r, v] : regs) TheState.SetReg(r, int32_t(v));
    TheCPU.Step();
  }
};

struct AluCase {
  const char* name;
  uint32_t word;
  uint32_t a, b;    // R1, R2
  uint32_t result;  // R3
};

class AluTest : public CpuTest, public ::testing::WithParamInterface<AluCase> {};

TEST_P(AluTest, ResultInDestination) {
  const AluCase& c = GetParam();
  Run(c.word, {{1, c.a}, {2, c.b}, {3, 0xDEADBEEF}});
  EXPECT_EQ(Reg(3), c.result);
  EXPECT_EQ(PC(), 0x101);
}

constexpr uint32_t RR(uint32_t fn) { return R(fn, 3, 1, 2); }
constexpr uint32_t RI(uint32_t op, int32_t imm) { return I(op, 3, 1, imm); }

INSTANTIATE_TEST_SUITE_P(
    Table, AluTest,
    ::testing::Values(
        AluCase{"slli", RR(0), 0x40000001, 9, 0x80000002}, AluCase{"slli_top", RR(0), 0x80000000, 0, 0},
        AluCase{"srli", RR(2), 0x80000000, 0, 0x40000000}, AluCase{"srli_all", RR(2), 0xFFFFFFFF, 0, 0x7FFFFFFF},
        AluCase{"srli_ignores_rb", R(2, 3, 1, 31), 6, 0, 3}, AluCase{"sub32", RR(32), 5, 7, 0xFFFFFFFE},
        AluCase{"sub34", RR(34), 7, 5, 2}, AluCase{"add33", RR(33), 0x7FFFFFFF, 1, 0x80000000},
        AluCase{"add35", RR(35), 0xFFFFFFFF, 2, 1}, AluCase{"xor", RR(36), 0xF0F0, 0xFF00, 0x0FF0},
        AluCase{"or", RR(37), 0xF0, 0x0F, 0xFF}, AluCase{"and38", RR(38), 0xF0, 0x3C, 0x30},
        AluCase{"and39", RR(39), 0xF0, 0x3C, 0x30}, AluCase{"unused_bits_ignored", RR(33) | 0x7C0, 2, 3, 5},
        AluCase{"illegal_fn1", RR(1), 1, 2, 0xDEADBEEF}, AluCase{"illegal_fn40", RR(40), 1, 2, 0xDEADBEEF},
        AluCase{"illegal_fn63", RR(63), 1, 2, 0xDEADBEEF}, AluCase{"subi8", RI(8, 1), 0, 0, 0xFFFFFFFF},
        AluCase{"subi10", RI(10, -1), 1, 0, 2}, AluCase{"addi9", RI(9, -2), 1, 0, 0xFFFFFFFF},
        AluCase{"addi11", RI(11, 0x7FFF), 1, 0, 0x8000}, AluCase{"xori_sign", RI(12, 0x8000), 0, 0, 0xFFFF8000},
        AluCase{"ori_sign", RI(13, 0x8000), 0, 0, 0xFFFF8000},
        AluCase{"andi_clears_upper", RI(14, 0x7FFF), 0xFFFFFFFF, 0, 0x7FFF},
        AluCase{"andi15", RI(15, -1), 0x12345678, 0, 0x12345678}, AluCase{"clri", RI(24, 55), 9, 0, 0},
        AluCase{"seti", RI(31, 0), 9, 0, 1}, AluCase{"sgti_signed", RI(25, 0), 0xFFFFFFFF, 0, 0},
        AluCase{"sgti_true", RI(25, -2), 0xFFFFFFFF, 0, 1}, AluCase{"seqi", RI(26, -1), 0xFFFFFFFF, 0, 1},
        AluCase{"seqi_false", RI(26, 1), 0, 0, 0}, AluCase{"sget_equal", RI(27, 5), 5, 0, 1},
        AluCase{"sget_less", RI(27, 5), 4, 0, 0}, AluCase{"slti_signed", RI(28, 0), 0xFFFFFFFF, 0, 1},
        AluCase{"slti_false", RI(28, 0), 0, 0, 0}, AluCase{"snei", RI(29, 3), 4, 0, 1},
        AluCase{"snei_false", RI(29, 3), 3, 0, 0}, AluCase{"slei_equal", RI(30, 3), 3, 0, 1},
        AluCase{"slei_false", RI(30, 3), 4, 0, 0}, AluCase{"header_word_illegal", HeaderWord, 1, 2, 0xDEADBEEF},
        AluCase{"stop_opcode_illegal", Stop | 0x30000, 1, 2, 0xDEADBEEF},
        AluCase{"illegal_op1", RI(1, 1), 1, 2, 0xDEADBEEF}, AluCase{"illegal_op44", RI(44, 1), 1, 2, 0xDEADBEEF}),
    [](const auto& info) { return std::string(info.param.name); });

// What each mnemonic of the instruction table means, written independently
// of the executor: the registers before (r, R0 included, always 0), the
// sign-extended immediate and the address of the instruction; returns the
// new program counter and changes r and the memory word at `cell`.
struct TMeaning {
  uint32_t Ra, Rb, Rc;
  uint32_t Imm;  // sign-extended
  uint32_t Pc;
  uint32_t* R;
  uint32_t* Cell;  // the word a load or store addresses (Ra + Imm)
};
using TSemantics = std::function<uint32_t(const TMeaning&)>;

const std::map<std::string_view, TSemantics>& Semantics() {
  auto rc = [](auto f) {
    return [f](const TMeaning& m) {
      m.R[m.Rc] = f(m.R[m.Ra], m.R[m.Rb]);
      return m.Pc + 1;
    };
  };
  auto rb = [](auto f) {
    return [f](const TMeaning& m) {
      m.R[m.Rb] = f(m.R[m.Ra], m.Imm);
      return m.Pc + 1;
    };
  };
  auto sgn = [](uint32_t v) { return int64_t(int32_t(v)); };
  static const std::map<std::string_view, TSemantics> table = {
      {"slli", rc([](uint32_t a, uint32_t) { return a << 1; })},
      {"srli", rc([](uint32_t a, uint32_t) { return a >> 1; })},
      {"sub", rc([](uint32_t a, uint32_t b) { return a - b; })},
      {"add", rc([](uint32_t a, uint32_t b) { return a + b; })},
      {"xor", rc([](uint32_t a, uint32_t b) { return a ^ b; })},
      {"or", rc([](uint32_t a, uint32_t b) { return a | b; })},
      {"and", rc([](uint32_t a, uint32_t b) { return a & b; })},
      {"subi", rb([](uint32_t a, uint32_t i) { return a - i; })},
      {"addi", rb([](uint32_t a, uint32_t i) { return a + i; })},
      {"xori", rb([](uint32_t a, uint32_t i) { return a ^ i; })},
      {"ori", rb([](uint32_t a, uint32_t i) { return a | i; })},
      {"andi", rb([](uint32_t a, uint32_t i) { return a & i; })},
      {"clri", rb([](uint32_t, uint32_t) { return 0u; })},
      {"seti", rb([](uint32_t, uint32_t) { return 1u; })},
      {"sgti", rb([sgn](uint32_t a, uint32_t i) { return uint32_t(sgn(a) > sgn(i)); })},
      {"seqi", rb([](uint32_t a, uint32_t i) { return uint32_t(a == i); })},
      {"sget", rb([sgn](uint32_t a, uint32_t i) { return uint32_t(sgn(a) >= sgn(i)); })},
      {"slti", rb([sgn](uint32_t a, uint32_t i) { return uint32_t(sgn(a) < sgn(i)); })},
      {"snei", rb([](uint32_t a, uint32_t i) { return uint32_t(a != i); })},
      {"slei", rb([sgn](uint32_t a, uint32_t i) { return uint32_t(sgn(a) <= sgn(i)); })},
      {"beqz", [](const TMeaning& m) { return m.R[m.Ra] == 0 ? m.Pc + 1 + m.Imm : m.Pc + 1; }},
      {"bnez", [](const TMeaning& m) { return m.R[m.Ra] != 0 ? m.Pc + 1 + m.Imm : m.Pc + 1; }},
      {"jr", [](const TMeaning& m) { return m.R[m.Ra]; }},
      {"jalr",
       [](const TMeaning& m) {
         const uint32_t to = m.R[m.Ra];
         m.R[31] = m.Pc + 1;
         return to;
       }},
      {"lw",
       [](const TMeaning& m) {
         m.R[m.Rb] = *m.Cell;
         return m.Pc + 1;
       }},
      {"sw",
       [](const TMeaning& m) {
         *m.Cell = m.R[m.Rb];
         return m.Pc + 1;
       }},
  };
  return table;
}

// Every row of the instruction table, both encodings of a mnemonic alike,
// does on the executor what its mnemonic means, on random operands; every
// function code and opcode without a row only advances the counter.
TEST_F(CpuTest, ExecutorDoesWhatEveryTableRowSays) {
  std::mt19937 rng(7);
  const uint32_t Data = 0x4000;  // a block for loads and stores
  for (int code = 0; code < 128; ++code) {
    const bool rFormat = code < 64;
    const int8_t row = rFormat ? InstructionByFunction[code & 63] : InstructionByOpcode[code & 63];
    if (!rFormat && (code & 63) == 0) continue;  // opcode 0 is the R format
    const TInstruction* entry = row < 0 ? nullptr : &Instructions[row];
    const auto meaning = entry ? Semantics().find(entry->Mnemonic) : Semantics().end();
    if (entry) {
      ASSERT_NE(meaning, Semantics().end()) << entry->Mnemonic << " has no meaning in this test";
    }
    for (int round = 0; round < 64; ++round) {
      ResetCore();
      const bool memory = entry && (entry->Mnemonic == "lw" || entry->Mnemonic == "sw");
      const uint32_t ra = memory ? 1 + rng() % 31 : rng() % 32, rb = rng() % 32, rc = rng() % 32;
      const uint32_t imm = rng() & 0xFFFF;
      uint32_t r[32] = {};
      for (int i = 1; i < 32; ++i) r[i] = rng() % 4 ? rng() : rng() % 8;
      // Loads and stores land in the data block, whatever the offset.
      if (memory) r[ra] = Data + 0x8000;
      const uint32_t word = entry ? entry->Encode(ra, rb, rc, imm)
                                  : (rFormat ? (ra << 21 | rb << 16 | rc << 11 | uint32_t(code))
                                             : (uint32_t(code & 63) << 26 | ra << 21 | rb << 16 | imm));
      const uint32_t pc = 0x100;
      Program(int32_t(pc), {word});
      TheMemory.AddBlock(int32_t(Data), 0x10000);
      for (int i = 1; i < 32; ++i) TheState.SetReg(i, int32_t(r[i]));
      uint32_t cell = 0x5A5A5A5A;
      const uint32_t cellAddress = r[ra] + SignExtend(imm, 16);
      if (cellAddress - Data < 0x10000) TheMemory.WriteWord(int32_t(cellAddress), cell);

      uint32_t expectedPc = pc + 1;
      if (entry) expectedPc = meaning->second({ra, rb, rc, SignExtend(imm, 16), pc, r, &cell});
      r[0] = 0;
      TheCPU.Step();
      const std::string what = (entry ? std::string(entry->Mnemonic) : std::string("illegal")) + " code " +
                               std::to_string(code) + " word $" + HexText(word, 8);
      ASSERT_EQ(uint32_t(PC()), expectedPc) << what;
      for (int i = 0; i < 32; ++i) ASSERT_EQ(Reg(i), r[i]) << what << " R" << i;
      if (cellAddress - Data < 0x10000) {
        ASSERT_EQ(TheMemory.ReadWord(int32_t(cellAddress)), cell) << what;
      }
    }
  }
}

TEST_F(CpuTest, DestinationSourceUsesOldValue) {
  Run(Add(1, 1, 1), {{1, 21}});
  EXPECT_EQ(Reg(1), 42u);
}

TEST_F(CpuTest, ResultsAimedAtR0AreDropped) {
  Run(Addi(0, 1, 5), {{1, 1}});
  EXPECT_EQ(Reg(0), 0u);
  Run(I(31, 0, 0, 0));
  EXPECT_EQ(Reg(0), 0u);
}

TEST_F(CpuTest, BranchesCountFromTheNextInstruction) {
  Run(Beqz(1, 0x10), {{1, 0}});
  EXPECT_EQ(PC(), 0x111);
  Run(Beqz(1, 0x10), {{1, 1}});
  EXPECT_EQ(PC(), 0x101);
  Run(Bnez(1, -0x11), {{1, 7}});
  EXPECT_EQ(PC(), 0xF0);
  Run(Bnez(0, 5));
  EXPECT_EQ(PC(), 0x101);
  Run(Beqz(1, 0), {{1, 0}});
  EXPECT_EQ(PC(), 0x101);
}

TEST_F(CpuTest, IdleLoopStaysPut) {
  Run(IdleLoopWord);
  EXPECT_EQ(PC(), 0x100);
}

TEST_F(CpuTest, BranchTargetWraps) {
  Program(0, {Beqz(0, -5)});
  TheCPU.Step();
  EXPECT_EQ(PC(), -4);
  Program(INT32_MAX, {Addi(1, 0, 1)});
  TheCPU.Step();
  EXPECT_EQ(PC(), INT32_MIN);
}

TEST_F(CpuTest, JumpsAndCalls) {
  Run(Jr(5), {{5, 0x4000}});
  EXPECT_EQ(PC(), 0x4000);
  Run(Jalr(5), {{5, 0x4000}});
  EXPECT_EQ(PC(), 0x4000);
  EXPECT_EQ(Reg(31), 0x101u);
  // Jumping through R31 uses its value from before the return address.
  Run(Jalr(31), {{31, 0x2222}});
  EXPECT_EQ(PC(), 0x2222);
  EXPECT_EQ(Reg(31), 0x101u);
}

TEST_F(CpuTest, LoadsAndStoresUseWordAddresses) {
  TheMemory.WriteWord(0x205, 77);
  Run(Lw(3, 1, 5), {{1, 0x200}});
  EXPECT_EQ(Reg(3), 77u);
  Run(Lw(3, 1, -1), {{1, 0x9000}});
  EXPECT_EQ(Reg(3), 0xFFFFFFFFu);
  Run(Sw(4, 1, -2), {{1, 0x9002}, {4, 0xABCD}});
  EXPECT_EQ(TheMemory.ReadWord(0x9000), 0xABCDu);
  EXPECT_EQ(Reg(4), 0xABCDu);
}

TEST_F(CpuTest, UnmappedProgramCounterOnlyAdvances) {
  TheState.SetReg(-1, 0x5000);
  TheState.SetReg(1, 3);
  TheCPU.Step();
  EXPECT_EQ(PC(), 0x5001);
  EXPECT_EQ(Reg(1), 3u);
  EXPECT_EQ(TheMemory.BlockCount(), 0u);
}

TEST_F(CpuTest, StopPredicates) {
  Program(0x100, {Addi(1, 0, 1), Stop | 0x1234, IdleLoopWord});
  EXPECT_FALSE(TheCPU.AtStopOpcode());
  EXPECT_FALSE(TheCPU.AtIdleLoop());
  EXPECT_EQ(TheCPU.StopTest(), TStopTest::None);
  TheState.SetReg(-1, 0x101);
  EXPECT_TRUE(TheCPU.AtStopOpcode());
  EXPECT_FALSE(TheCPU.AtIdleLoop());
  EXPECT_EQ(TheCPU.StopTest(), TStopTest::StopOpcode);
  TheState.SetReg(-1, 0x102);
  EXPECT_FALSE(TheCPU.AtStopOpcode());
  EXPECT_TRUE(TheCPU.AtIdleLoop());
  EXPECT_EQ(TheCPU.StopTest(), TStopTest::IdleLoop);
  TheState.SetReg(-1, 0x103);
  EXPECT_TRUE(TheCPU.AtStopOpcode());
  EXPECT_TRUE(TheCPU.AtIdleLoop());
  EXPECT_EQ(TheCPU.StopTest(), TStopTest::StopOpcode);
}

// What the display is told, in order: "P" for the program counter, "Rn" for
// a register.
std::vector<std::string> Notes;

class NotifyTest : public CpuTest {
 protected:
  void SetUp() override {
    CpuTest::SetUp();
    Notes.clear();
    DisplayHooks.RegisterChanged = [](int i) { Notes.push_back("R" + std::to_string(i)); };
    DisplayHooks.NextCommandChanged = [] { Notes.push_back("P"); };
  }
};

TEST_F(NotifyTest, SetRegNotifiesEveryWrite) {
  TheState.SetReg(0, 5);
  TheState.SetReg(16, -1);
  TheState.SetReg(31, 4779);
  EXPECT_EQ(TheState.GetReg(0), 0);
  EXPECT_EQ(Reg(16), 0xFFFFFFFFu);
  EXPECT_EQ(Notes, (std::vector<std::string>{"R0", "R16", "R31"}));
}

TEST_F(NotifyTest, ProgramCounterWriteCapturesTheNextLine) {
  TheMemory.WriteWord(0x40, Addi(1, 0, 5));
  EXPECT_FALSE(TheState.NextValid);
  TheState.SetReg(-1, 0x40);
  EXPECT_TRUE(TheState.NextValid);
  EXPECT_EQ(TheState.NextAddress, 0x40);
  EXPECT_EQ(TheState.NextWord, Addi(1, 0, 5));
  EXPECT_EQ(TheCPU.ListingText(TheState.NextAddress, TheState.NextWord), "$00000040:  24010005   addi  R01,R00,$0005");
  TheState.SetReg(-1, 0x41);
  EXPECT_EQ(TheState.NextWord, 0xFFFFFFFFu);
}

TEST_F(NotifyTest, ResetNotifiesCounterFirstThenAllRegisters) {
  TheState.SetReg(5, 9);
  Notes.clear();
  TheState.Reset();
  ASSERT_EQ(Notes.size(), 33u);
  EXPECT_EQ(Notes[0], "P");
  for (int i = 0; i < 32; ++i) EXPECT_EQ(Notes[size_t(i) + 1], "R" + std::to_string(i));
  EXPECT_EQ(Reg(5), 0u);
}

TEST_F(NotifyTest, StepNotifiesAdvanceThenResult) {
  Program(0x10, {Addi(0, 0, 1), Jalr(2), Sw(1, 0, 0x80)});
  Notes.clear();
  TheCPU.Step();  // result aimed at R0 is still shown
  TheCPU.Step();
  EXPECT_EQ(Notes, (std::vector<std::string>{"P", "R0", "P", "R31", "P"}));
}

}  // namespace
