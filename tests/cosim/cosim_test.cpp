// tavora-cosim: reading log lines, the comparison through the real binary,
// and the broken designs in hdl/test caught through the whole kit.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tools/cosim/Cosim.h"

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
  EXPECT_EQ(limited.Out, "step limit reached: 7 instructions match\n");
}

// What a log line leaves out, from the program and the log before: a write
// to R0 with the value the processor drops, and an address that no section
// loads (a memory that fills gaps with 0 differs there).
TEST(CosimTool, ReportNamesDroppedWritesToR0AndAddressesNoSectionLoads) {
  TTempDir dir;
  // lw R01,R30,$20 (a gap); sw R30,R30,$21; addi R00,R01,$0002; data at $800040.
  const std::string program = dir.File("gap.cod",
                                       ".CODE\n$800000\n5\n$52455341\n$8FC10020\n$AFDE0021\n$24200002\n$1000FFFF\n"
                                       ".DATA\n$800040\n1\n$40\n");
  const std::string load = "1 00800001 8fc10020 r01 ffffffff\n", store = "2 00800002 afde0021 m 00800021 00800000\n";
  struct TCase {
    std::string Design;
    std::string Expected;  // part of the report
  } cases[] = {
      {"1 00800001 8fc10020 r01 00000000\n",
       "  note         $00800020, which the instruction loads, is in a gap between sections: nothing is loaded there, "
       "it reads $ffffffff until stored to\n"},
      {"1 00800030 ffffffff\n",
       "  note         $00800030, where the design went, is in a gap between sections: nothing is loaded there"},
      {load + "2 00800002 afde0021 m 00900000 00800000\n",
       "  note         $00900000, where the design stored, is outside every section: nothing is loaded there"},
      {load + store + "3 00800003 24200002 r01 00000001\n",
       "  simulator    R00 := $00000001 (dropped by the processor)\n"},
  };
  for (const TCase& c : cases) {
    auto r = RunProcess(Cosim, {program, dir.File("design.log", c.Design)});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_NE(r.Out.find(c.Expected), std::string::npos) << c.Expected << "\n" << r.Out;
  }
  // The step that drops its write shows the value among the steps before.
  const std::string log = dir.Path + "/sim.log";
  ASSERT_EQ(RunProcess(TAVORA_RUN_PATH, {"--commit-log", log, program}).Status, 0);
  std::string design = ReadFileText(log) + "4 00800005 00000000\n";
  auto after = RunProcess(Cosim, {log, dir.File("long.log", design)});
  EXPECT_NE(after.Out.find("       3  $00800003:  24200002   addi  R00,R01,$0002   R00 := $00000001 (dropped by the "
                           "processor)\n"),
            std::string::npos)
      << after.Out;
}

// What the testbench printed: a port fault stands at its step (also after
// a log that matches so far), why it ended follows a log that ends early,
// and the design's own lines are left out.
TEST(CosimTool, ReportsTheTestbenchsFaultAtItsStepAndWhyItEnded) {
  TTempDir dir;
  const std::string log = dir.File("sim.log", SimLog),
                    six = dir.File("six.log", SimLog.substr(0, SimLog.find("7 0080000a")));
  const std::string fault = dir.File("fault.txt",
                                     "tb: memory file x.mem: 42 words in 2 runs\n"
                                     "design says hello\n"
                                     "tb: fault at step 7 in cycle 14: the design reported a store that its memory "
                                     "port did not make\n"
                                     "tb:   it reported [$0080010e] := $00800005\n"
                                     "tb: stopped after 6 instructions (14 cycles)\n"
                                     "tb: look at: the last retire, step 6 at $00800009 in cycle 12\n");
  auto atStore = RunProcess(Cosim, {"--testbench", fault, log, six});
  EXPECT_EQ(atStore.Status, 1);
  EXPECT_EQ(atStore.Out.substr(0, atStore.Out.find("before it:")),
            "difference at step 7: the design reported a store that its memory port did not make\n"
            "  instruction  $0080000a:  afbf0000   sw    R31,R29,$0000\n"
            "  simulator    [$0080010e] := $00800005\n"
            "               7 0080000a afbf0000 m 0080010e 00800005\n"
            "  design       in cycle 14: it reported [$0080010e] := $00800005\n");
  EXPECT_NE(atStore.Out.find("\ntestbench: stopped after 6 instructions (14 cycles)\n"
                             "  look at: the last retire, step 6 at $00800009 in cycle 12\n"),
            std::string::npos)
      << atStore.Out;
  EXPECT_EQ(atStore.Out.find("hello"), std::string::npos);

  // The simulator stops where the testbench found the fault: no match.
  auto afterLast = RunProcess(Cosim, {"--testbench", fault, six, six});
  EXPECT_EQ(afterLast.Status, 1);
  EXPECT_EQ(afterLast.Out.rfind("difference at step 7: the design reported a store that its memory port did not make\n"
                                "  simulator    (its log ends: it stopped before this step)\n"
                                "  design       in cycle 14: it reported [$0080010e] := $00800005\n",
                                0),
            0u)
      << afterLast.Out;

  const std::string hang = dir.File("hang.txt",
                                    "tb: cycle limit after 6 instructions: none retired in the last 10000 cycles\n"
                                    "tb: look at: the last retire, step 6 at $00800009 in cycle 12\n");
  auto early = RunProcess(Cosim, {"--testbench", hang, log, six});
  EXPECT_EQ(early.Status, 1);
  EXPECT_NE(early.Out.find("\ntestbench: cycle limit after 6 instructions: none retired in the last 10000 cycles\n"
                           "  look at: the last retire, step 6 at $00800009 in cycle 12\n"),
            std::string::npos)
      << early.Out;
  auto silent = RunProcess(Cosim, {"--testbench", dir.File("none.txt", "design says hello\n"), log, six});
  EXPECT_NE(silent.Out.find("testbench: it printed no reason for its end (did the design call $finish or $stop?)"),
            std::string::npos)
      << silent.Out;
  auto missing = RunProcess(Cosim, {"--testbench", dir.Path + "/missing.txt", log, six});
  EXPECT_EQ(missing.Status, 2);
  EXPECT_NE(missing.Err.find("cannot read the testbench's output " + dir.Path + "/missing.txt"), std::string::npos);
}

bool HaveIverilog() { return RunProcess("/bin/sh", {"-c", "command -v iverilog && command -v vvp"}).Status == 0; }

TProcessResult CosimScript(const std::string& design, const std::string& program) {
  return RunProcess(Source + "/hdl/cosim.sh",
                    {"-b", BUILD_DIR, "-d", design, program[0] == '/' ? program : Source + "/" + program});
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
      // Stores in the fetch state: the sw retires with a store its memory
      // port never made.
      {"broken_store.v", "assign mem_we    = state == EXECUTE && store;", "assign mem_we    = state == FETCH && store;",
       "examples/factorial.cod", "difference at step 7: the design reported a store that its memory port did not make",
       "$0080000a:  afbf0000   sw    R31,R29,$0000"},
      // A store keeps the design in its execute state: the sw retires again.
      {"broken_double.v", "pc    <= new_pc;\n      state <= FETCH;",
       "if (!store) begin pc <= new_pc; state <= FETCH; end", "examples/factorial.cod",
       "difference at step 8: the design retired the instruction at $0080000a again: a possible double retire",
       "$0080000b:  afa40001   sw    R04,R29,$0001"},
      // R0 is written like any register; the first read of it differs.
      {"broken_r0.v", "if (write && dest != 5'd0) r[dest] <= result;", "if (write) r[dest] <= result;",
       "hdl/test/every_instruction.cod", "difference at step 34: the design wrote another value",
       "$00800022:  341b8000   ori   R27,R00,$8000"},
      // The state is not reset, so ret_valid is x in the first cycle.
      {"broken_reset.v", "state <= FETCH;\n      pc    <= 32'h00800001;", "pc    <= 32'h00800001;",
       "examples/factorial.cod", "difference at step 1: ret_valid is x (unknown)",
       "$00800001:  27dd0110   addi  R29,R30,$0110"},
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

// Every image the simulator loads co-simulates: the testbench holds each
// section at its own address, and a word no section covers reads ffffffff.
// Each program reads the words that a memory built another way would get
// wrong.
TEST(CosimKit, ImagesOfEveryShapeMatch) {
  if (!HaveIverilog()) GTEST_SKIP() << "Icarus Verilog (iverilog) is not installed";
  auto code = [](const std::string& words, int count) {
    return ".CODE\n$800000\n" + std::to_string(count + 2) + "\n$52455341\n" + words + "$1000FFFF\n";
  };
  struct TCase {
    const char* Name;
    std::string Image;
    int Steps;
  } cases[] = {
      // lw R01,R30,$10; lw R02,R30,$11
      {"data_first.cod", ".DATA\n$800010\n2\n$11\n$12\n" + code("$8FC10010\n$8FC20011\n", 2), 2},
      // lw R01,R30,$20; sw R30,R30,$21; lw R02,R30,$21
      {"mem.cod", code("$8FC10020\n$AFDE0021\n$8FC20021\n", 3) + ".MEM\n$800020\n2\n", 3},
      // lw R01,R30,$ff01: a word of the fill below the code
      {"ds_first.cod", ".DS\n$7FFF00\n3\n$7\n" + code("$8FC1FF01\n", 1), 1},
      // lw R01,R30,$30; lw R02,R30,$ff80
      {"descending.cod", ".DATA\n$800030\n1\n$33\n" + code("$8FC10030\n$8FC2FF80\n", 2) + ".DATA\n$7FFF80\n1\n$44\n",
       2},
      // lw R01,R30,$20 (the gap); sw R30,R30,$21; lw R02,R30,$21; lw R03,R30,$40
      {"gap.cod", code("$8FC10020\n$AFDE0021\n$8FC20021\n$8FC30040\n", 4) + ".DATA\n$800040\n1\n$40\n", 4},
  };
  TTempDir dir;
  for (const TCase& c : cases) {
    auto r = CosimScript(Source + "/hdl/ref_core.v", dir.File(c.Name, c.Image));
    EXPECT_EQ(r.Status, 0) << c.Name << r.Err;
    EXPECT_EQ(r.Out, std::string(c.Name) + ": match: " + std::to_string(c.Steps) + " instructions\n") << r.Err;
  }
}

// The testbench on its own, as a student runs it by hand: numbers in every
// form the tools take (and the values it used), a malformed one refused,
// brennel's file with +base, and the place and reason of every stop.
TEST(CosimKit, TestbenchTakesNumbersInEveryFormAndSaysWhereItStopped) {
  if (!HaveIverilog()) GTEST_SKIP() << "Icarus Verilog (iverilog) is not installed";
  TTempDir dir;
  const std::string tb = dir.Path + "/tb.vvp";
  ASSERT_EQ(
      RunProcess("/bin/sh", {"-c", "iverilog -o \"$0\" \"$1/hdl/tb.v\" \"$1/hdl/ref_core.v\"", tb, Source}).Status, 0);
  auto image = [&](const std::string& program) {
    const std::string mem = dir.Path + "/" + program.substr(program.rfind('/') + 1) + ".mem";
    EXPECT_NE(RunProcess(TAVORA_RUN_PATH, {"--memory-image", mem, Source + "/" + program}).Status, 2) << program;
    return "+mem=" + mem;
  };
  const std::string sum = image("examples/sum.cod"), factorial = image("examples/factorial.cod");
  const std::string converted = dir.Path + "/sum.brennel";
  ASSERT_EQ(
      RunProcess(std::string(BUILD_DIR) + "/tools/brennel/brennel", {"-o", converted, Source + "/examples/sum.cod"})
          .Status,
      0);
  struct TCase {
    std::vector<std::string> Args;
    int Status;
    std::vector<std::string> Out;  // lines or parts of lines, in order
  } cases[] = {
      {{sum},
       0,
       {"+base=$00800000 +max_steps=1000000 +max_cycles=100010000 +max_wait=10000 ",
        "tb: idle loop at $00800009 after 28 instructions (58 cycles)"}},
      {{image("examples/sort.cod")}, 0, {"tb: stop opcode at $00800012 after 163 instructions"}},
      {{image("hdl/test/wild_jump.cod")}, 0, {"tb: unmapped program counter $00000100 after 2 instructions"}},
      {{factorial, "+max_steps=0x10"}, 0, {"+max_steps=16 +max_cycles=11600 ", "tb: step limit 16 reached"}},
      {{factorial, "+max_steps=$10", "+max_cycles=20"},
       0,
       {"+max_steps=16 +max_cycles=20 ", "tb: cycle limit after 10 instructions: 20 cycles (+max_cycles)",
        "tb: look at: the last retire, step 10 at $0080000d in cycle 20"}},
      {{factorial, "+max_steps=10"}, 0, {"tb: step limit 10 reached"}},
      {{"+mem=" + converted, "+base=0X800000"}, 0, {"tb: idle loop at $00800009 after 28 instructions"}},
      {{"+mem=" + converted, "+base=8388608"}, 0, {"+base=$00800000 "}},
      {{factorial, "+max_steps=0x"}, 2, {"tb: error: +max_steps=0x is not a number"}},
      {{factorial, "+max_steps=12abc"}, 2, {"tb: error: +max_steps=12abc is not a number"}},
      {{factorial, "+base=$100000000"}, 2, {"tb: error: +base=$100000000 is not a number that fits in 32 bits"}},
      {{"+log=" + dir.Path + "/x.log"}, 2, {"tb: error: no memory file given"}},
      {{"+mem=" + dir.Path + "/missing.mem"},
       2,
       {"tb: error: cannot read the memory file " + dir.Path + "/missing.mem"}},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {"vvp", "-n", tb, "+log=" + dir.Path + "/design.log"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    auto r = RunProcess("/usr/bin/env", args);
    EXPECT_EQ(r.Status, c.Status) << c.Args.back() << "\n" << r.Out;
    size_t at = 0;
    for (const std::string& part : c.Out) {
      at = r.Out.find(part, at);
      EXPECT_NE(at, std::string::npos) << c.Args.back() << ": " << part << "\n" << r.Out;
    }
  }
}

// The script's options for a design of several files with its own macros
// and include folder, waveforms and the work folder; and a report never
// names a file that is gone (a design that hangs leaves an empty log).
TEST(CosimKit, ScriptTakesDesignFilesMacrosIncludesWaveformsAndKeepsWhatItNames) {
  if (!HaveIverilog()) GTEST_SKIP() << "Icarus Verilog (iverilog) is not installed";
  TTempDir dir;
  std::filesystem::create_directory(dir.Path + "/include");
  dir.File("include/inner.vh", "`define INNER tavora_core\n");
  std::string ports;
  for (const char* p :
       {"clk", "reset", "mem_addr", "mem_rdata", "mem_we", "mem_wdata", "ret_valid", "ret_pc", "ret_word", "ret_reg_we",
        "ret_reg_num", "ret_reg_value", "ret_mem_we", "ret_mem_addr", "ret_mem_value"})
    ports += std::string(ports.empty() ? "" : ", ") + "." + p + "(" + p + ")";
  const std::string wrapper = dir.File(
      "wrapper.v",
      "`include \"inner.vh\"\n"
      "module my_core(input wire clk, input wire reset, output wire [31:0] mem_addr, input wire [31:0] mem_rdata,\n"
      "  output wire mem_we, output wire [31:0] mem_wdata, output wire ret_valid, output wire [31:0] ret_pc,\n"
      "  output wire [31:0] ret_word, output wire ret_reg_we, output wire [4:0] ret_reg_num,\n"
      "  output wire [31:0] ret_reg_value, output wire ret_mem_we, output wire [31:0] ret_mem_addr,\n"
      "  output wire [31:0] ret_mem_value);\n"
      "  `INNER inner(" +
          ports +
          ");\n"
          "endmodule\n");
  auto r = RunProcess("/usr/bin/env", {"TMPDIR=" + dir.Path, Source + "/hdl/cosim.sh", "-b", BUILD_DIR, "-k", "-w",
                                       "-D", "TAVORA_DUT=my_core", "-I", dir.Path + "/include", "-d", wrapper, "-d",
                                       Source + "/hdl/ref_core.v", Source + "/examples/sum.cod"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  const std::string wave = "  waveform: ", kept = "work folder: ";
  ASSERT_EQ(r.Out.rfind("sum.cod: match: 28 instructions\n" + wave, 0), 0u) << r.Out;
  const size_t waveAt = r.Out.find(wave) + wave.size(), keptAt = r.Out.find(kept);
  ASSERT_NE(keptAt, std::string::npos) << r.Out;
  const std::string vcd = r.Out.substr(waveAt, r.Out.find('\n', waveAt) - waveAt);
  EXPECT_NE(ReadFileText(vcd).find("$enddefinitions"), std::string::npos) << vcd;
  EXPECT_TRUE(
      std::filesystem::is_directory(r.Out.substr(keptAt + kept.size(), r.Out.size() - keptAt - kept.size() - 1)));

  // A design whose state machine never leaves its fetch state.
  auto hang =
      RunProcess("/usr/bin/env", {"TMPDIR=" + dir.Path, Source + "/hdl/cosim.sh", "-b", BUILD_DIR, "-d",
                                  BrokenDesign(dir, "hang.v", "state <= EXECUTE;", ""), Source + "/examples/sum.cod"});
  EXPECT_EQ(hang.Status, 1);
  for (const char* part :
       {"sum.cod: difference at step 1: the design's log ends before the simulator's (",
        "testbench: cycle limit after 0 instructions: none retired in the last 10000 cycles",
        "  look at: no instruction retired (ret_valid was never 1)\n", "(kept: the lines above name files in it)\n"})
    EXPECT_NE(hang.Out.find(part), std::string::npos) << part << "\n" << hang.Out;
  for (size_t at = hang.Out.find('/'); at != std::string::npos; at = hang.Out.find('/', at + 1)) {
    if (at > 0 && hang.Out[at - 1] != ' ' && hang.Out[at - 1] != '(') continue;
    const std::string path = hang.Out.substr(at, hang.Out.find_first_of(" )\n", at) - at);
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
    at += path.size();
  }
}

// One limit for all three: a program that never stops matches up to it.
TEST(CosimKit, AProgramThatNeverStopsEndsAtTheDefaultStepLimit) {
  if (!HaveIverilog()) GTEST_SKIP() << "Icarus Verilog (iverilog) is not installed";
  TTempDir dir;
  // addi R01,R01,$0001; beqz R00,-2
  auto r = CosimScript(Source + "/hdl/ref_core.v",
                       dir.File("forever.cod", ".CODE\n$800000\n3\n$52455341\n$24210001\n$1000FFFE\n"));
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "forever.cod: step limit reached: 1000000 instructions match\n");
}

}  // namespace
