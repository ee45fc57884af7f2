// tavora-cosim: reading log lines, the comparison through the real binary,
// and the broken designs in hdl/test caught through the whole kit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Cosim.h"
#include "Process.h"
#include "TempDir.h"

namespace {

const std::string Cosim = TAVORA_COSIM_PATH;
const std::string Source = SOURCE_DIR;

TEST(CosimParse, ReadsEveryFieldCombination) {
  struct TCase {
    const char* Text;
    cosim::TLogLine Line;
  } cases[] = {
      {"1 00800001 27c20020", {1, 0x800001, 0x27c20020, 0, 0, false, 0, 0}},
      {"28 0080000a 714b0000 r11 00000001", {28, 0x80000a, 0x714b0000, 11, 1, false, 0, 0}},
      {"7 0080000a AFBF0000 m 0080010e 00800005", {7, 0x80000a, 0xafbf0000, 0, 0, true, 0x80010e, 0x800005}},
      {"9 00000000 00000000 r31 ffffffff m ffffffff 00000000", {9, 0, 0, 31, 0xffffffff, true, 0xffffffff, 0}},
  };
  for (const TCase& c : cases) {
    cosim::TLogLine line;
    std::string error;
    ASSERT_TRUE(cosim::ParseLine(c.Text, line, error)) << c.Text << ": " << error;
    EXPECT_EQ(line, c.Line) << c.Text;
  }
}

TEST(CosimParse, NamesWhatIsWrongWithAMalformedLine) {
  struct TCase {
    const char* Text;
    const char* Error;
  } cases[] = {
      {"", "empty line"},
      {"12", "the line ends before the pc"},
      {"12 00800001", "the line ends before the word"},
      {"x 00800001 27c20020", "the step is not a decimal number: 'x'"},
      {"1 0080001 27c20020", "the pc is not eight hexadecimal digits: '0080001'"},
      {"1 00800001 27c2002g", "the word is not eight hexadecimal digits: '27c2002g'"},
      {"1 00800001 27c20020 r02 0000000x", "'0000000x' (the design drives unknown bits)"},
      {"1  00800001 27c20020", "expected one space before the pc"},
      {"1 00800001 27c20020 r1 00000001", "the register number is not two decimal digits: 'r1'"},
      {"1 00800001 27c20020 r00 00000001", "register r00 out of range"},
      {"1 00800001 27c20020 r32 00000001", "register r32 out of range"},
      {"1 00800001 27c20020 r01", "the line ends before the register value"},
      {"1 00800001 27c20020 m 0080010e", "the line ends before the stored value"},
      {"1 00800001 27c20020 m 0080010e 00800005 r01 00000001", "unexpected text after the fields"},
      {"1 00800001 27c20020 ", "unexpected text after the fields"},
  };
  for (const TCase& c : cases) {
    cosim::TLogLine line;
    std::string error;
    EXPECT_FALSE(cosim::ParseLine(c.Text, line, error)) << c.Text;
    EXPECT_NE(error.find(c.Error), std::string::npos) << c.Text << " gave: " << error;
  }
}

const std::string SimLog =
    "1 00800001 27dd0110 r29 00800110\n"
    "2 00800002 24040005 r04 00000005\n"
    "3 00800003 27d40006 r20 00800006\n"
    "4 00800004 5e800000 r31 00800005\n"
    "5 00800006 14800002\n"
    "6 00800009 23bd0002 r29 0080010e\n"
    "7 0080000a afbf0000 m 0080010e 00800005\n";

TEST(CosimTool, ExitStatusAndMessageForEveryKindOfInput) {
  struct TCase {
    std::string Design;
    int Status;
    std::string Expected;  // start of standard output, or part of standard error
  } cases[] = {
      {SimLog, 0, "match: 7 instructions\n"},
      {SimLog.substr(0, SimLog.size() - 1), 0, "match: 7 instructions\n"},  // no final line feed
      {SimLog.substr(0, 99), 1, "difference at step 4: the design's log ends before the simulator's\n"},
      {SimLog + "8 0080000b afa40001 m 0080010f 00000005\n", 1,
       "difference at step 8: the design's log goes on after the simulator stopped\n"},
      {"", 1, "difference at step 1: the design's log ends before the simulator's ("},
      {SimLog.substr(0, 66) + "3 00800003 27d4", 2, "design.log:3: the word is not eight hexadecimal digits: '27d4'"},
      {SimLog.substr(0, 33) + "3 00800002 24040005 r04 00000005\n", 2, "design.log:2: step 3 where step 2 was due"},
      {SimLog.substr(0, 33) + "2 0080000z 24040005\n", 2, "design.log:2: the pc is not eight hexadecimal digits"},
      {std::string(300, '7'), 2, "design.log:1: line longer than 200 characters"},
  };
  for (const TCase& c : cases) {
    TTempDir dir;
    auto r = RunProcess(Cosim, {dir.File("sim.log", SimLog), dir.File("design.log", c.Design)});
    EXPECT_EQ(r.Status, c.Status) << c.Expected;
    if (c.Status == 2)
      EXPECT_NE(r.Err.find(c.Expected), std::string::npos) << r.Err;
    else if (c.Design.empty())
      EXPECT_NE(r.Out.find("design.log is empty)\n"), std::string::npos) << r.Out;
    else
      EXPECT_EQ(r.Out.substr(0, c.Expected.size()), c.Expected) << r.Out;
  }
}

TEST(CosimTool, UnreadableInputAndUsage) {
  TTempDir dir;
  const std::string empty = dir.File("empty.log", ""), log = dir.File("sim.log", SimLog);
  struct TCase {
    std::vector<std::string> Args;
    int Status;
    std::string Err;
  } cases[] = {
      {{empty, empty}, 2, "both logs are empty"},
      {{log, dir.Path + "/missing.log"}, 2, "cannot read " + dir.Path + "/missing.log: No such file"},
      {{log, dir.Path}, 2, "it is a directory"},
      {{"-", "-"}, 2, "only one log can come from standard input"},
      {{dir.File("bad.cod", ".CODE\n"), log}, 2, "tavora-run could not load"},
      {{"--tavora-run", dir.Path + "/nothing", Source + "/examples/sum.cod", log}, 2, "cannot start"},
      {{log}, 64, "two logs needed"},
      {{log, log, log}, 64, "more than two files"},
      {{"--frob", log, log}, 64, "unknown option '--frob'"},
      {{"-n", "5", log, log}, 64, "--max-steps needs a program"},
  };
  for (const TCase& c : cases) {
    auto r = RunProcess(Cosim, c.Args);
    EXPECT_EQ(r.Status, c.Status) << c.Err;
    EXPECT_NE(r.Err.find(c.Err), std::string::npos) << r.Err;
  }
  auto version = RunProcess(Cosim, {"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, std::string("tavora-cosim ") + TAVORA_VERSION + "\n");
}

TEST(CosimTool, ReportShowsTheListingBothSidesAndTheFiveInstructionsBefore) {
  TTempDir dir;
  std::string design = SimLog;
  design.replace(design.size() - 3, 2, "06");  // stores 00800006
  auto r = RunProcess(Cosim, {dir.File("sim.log", SimLog), dir.File("design.log", design)});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out,
            "difference at step 7: the design stored another value\n"
            "  instruction  $0080000a:  afbf0000   sw    R31,R29,$0000\n"
            "  simulator    [$0080010e] := $00800005\n"
            "               7 0080000a afbf0000 m 0080010e 00800005\n"
            "  design       [$0080010e] := $00800006\n"
            "               7 0080000a afbf0000 m 0080010e 00800006\n"
            "before it:\n"
            "       2  $00800002:  24040005   addi  R04,R00,$0005   R04 := $00000005\n"
            "       3  $00800003:  27d40006   addi  R20,R30,$0006   R20 := $00800006\n"
            "       4  $00800004:  5e800000   jalr  R20             R31 := $00800005\n"
            "       5  $00800006:  14800002   bnez  R04,$00800009   no register or memory write\n"
            "       6  $00800009:  23bd0002   subi  R29,R29,$0002   R29 := $0080010e\n");
}

TEST(CosimTool, RunsTheSimulatorOnAProgramItself) {
  TTempDir dir;
  // The first seven instructions of factorial.cod, as a design that stops
  // early would log them.
  auto early = RunProcess(Cosim, {Source + "/examples/factorial.cod", dir.File("design.log", SimLog)});
  EXPECT_EQ(early.Status, 1);
  EXPECT_EQ(early.Out.substr(0, 67), "difference at step 8: the design's log ends before the simulator's\n");
  auto limited = RunProcess(Cosim, {"-n", "7", Source + "/examples/factorial.cod", dir.Path + "/design.log"});
  EXPECT_EQ(limited.Status, 0) << limited.Err;
  EXPECT_EQ(limited.Out, "match: 7 instructions\n");
}

bool HaveIverilog() { return RunProcess("/bin/sh", {"-c", "command -v iverilog && command -v vvp"}).Status == 0; }

TProcessResult CosimScript(const std::string& design, const std::string& program) {
  return RunProcess(Source + "/hdl/cosim.sh", {"-b", BUILD_DIR, "-d", design, Source + "/" + program});
}

// A copy of the reference design with one line replaced; the line must
// stand in it exactly once, so a changed reference cannot quietly turn a
// broken design into a good one.
std::string BrokenDesign(const TTempDir& dir, const std::string& name, const std::string& good,
                         const std::string& bad) {
  std::string text = ReadFileText(Source + "/hdl/ref_core.v");
  const size_t at = text.find(good);
  EXPECT_NE(at, std::string::npos) << name << ": the reference no longer has " << good;
  EXPECT_EQ(text.find(good, at + 1), std::string::npos) << name << ": " << good << " stands twice";
  if (at != std::string::npos) text.replace(at, good.size(), bad);
  return dir.File(name, text);
}

TEST(CosimKit, BrokenDesignsAreCaughtAtTheFaultyInstruction) {
  if (!HaveIverilog()) GTEST_SKIP() << "Icarus Verilog (iverilog) is not installed";
  struct TCase {
    const char* Design;  // what is wrong with it
    const char* Good;    // the line of the reference design
    const char* Bad;     // what the broken copy has there instead
    const char* Program;
    const char* Headline;
    const char* Listing;
  } cases[] = {
      // sgti (opcode 25) computed as sget.
      {"broken_sgti.v", "result = {31'd0, sa > si};", "result = {31'd0, sa >= si};", "hdl/test/every_instruction.cod",
       "difference at step 3: the design wrote another value", "$00800003:  64230005   sgti  R03,R01,$0005"},
      // jalr writes R31 with the jump target instead of the return address.
      {"broken_jalr.v", "dest = 5'd31; result = next; new_pc = a;", "dest = 5'd31; result = a; new_pc = a;",
       "examples/factorial.cod", "difference at step 4: the design wrote another value",
       "$00800004:  5e800000   jalr  R20"},
      // jalr reads its jump register after writing R31. The jump lands
      // wrong; the first line that differs is the one after it.
      {"broken_jalr31.v", "dest = 5'd31; result = next; new_pc = a;",
       "dest = 5'd31; result = next; new_pc = ra == 5'd31 ? next : a;", "hdl/test/every_instruction.cod",
       "difference at step 54: the design executed another address", "$00800037:  04000000   ????  (illegal opcode)"},
      // srli shifts arithmetically.
      {"broken_srli.v", "result = a >> 1;", "result = {a[31], a[31:1]};", "hdl/test/every_instruction.cod",
       "difference at step 15: the design wrote another value", "$0080000f:  00456802   srli  R13,R02"},
      // beqz counts its offset from the branch itself.
      {"broken_branch.v", "if (a == 32'd0) new_pc = next + imm;", "if (a == 32'd0) new_pc = pc + imm;",
       "examples/sort.cod", "difference at step 22: the design executed another address",
       "$0080000e:  24c60001   addi  R06,R06,$0001"},
  };
  TTempDir dir;
  for (const TCase& c : cases) {
    auto r = CosimScript(BrokenDesign(dir, c.Design, c.Good, c.Bad), c.Program);
    EXPECT_EQ(r.Status, 1) << c.Design << r.Err;
    EXPECT_NE(r.Out.find(std::string(": ") + c.Headline + "\n  instruction  " + c.Listing), std::string::npos)
        << c.Design << ":\n"
        << r.Out;
  }
  auto good = CosimScript(Source + "/hdl/ref_core.v", "hdl/test/every_instruction.cod");
  EXPECT_EQ(good.Out, "every_instruction.cod: match: 59 instructions\n");
}

}  // namespace
