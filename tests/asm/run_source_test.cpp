// tavora-run with sources: assembled as they are opened, errors reported
// like an invalid image, and labels wherever an address is asked for.
#include <gtest/gtest.h>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

const std::string Runner = TAVORA_RUN_PATH;
const std::string Examples = EXAMPLES_DIR;

// Counts R01 down from 3; `here` marks the loop and `cell` a data word.
const char* const Counter =
    ".code $800000\n.header\n        addi R01,R00,3\nhere:   subi R01,R01,1\n        bnez R01,here\n"
    "        sw   R01,R30,cell-$800000\ndone:   beqz R00,done\n.data $800010\ncell:   .word 7\n";

TEST(RunSource, RunsTheExamplesAsTheirImages) {
  for (const char* name : {"sum", "sort", "factorial", "strings"}) {
    const TProcessResult fromSource = RunProcess(Runner, {"-d", "$800000:300", Examples + "/" + name + ".s"});
    const TProcessResult fromImage = RunProcess(Runner, {"-d", "$800000:300", Examples + "/" + name + ".cod"});
    EXPECT_EQ(fromSource.Status, 0) << fromSource.Err;
    EXPECT_EQ(fromSource.Out, fromImage.Out) << name;
  }
}

// One program with every convenience of the language, run by tavora-run
// as the debugger and the co-simulation kit run it.
TEST(RunSource, EveryConvenienceOfTheLanguageRuns) {
  TTempDir dir;
  dir.File("lib.s",
           "; a macro and a routine\n        .macro twice reg\n        add \\reg,\\reg,\\reg\n        .endm\n"
           "triple: mv R12,R11\n        twice R12\n        add R12,R12,R11\n        ret\n");
  const std::string source = dir.File("all.s",
                                      "# the lines of every feature\n"
                                      "        .code $800000\n        .header\n        .scratch R28\n"
                                      "        .equ  MASK, (1 << 4) - 1 | 0b1 << 8\n"
                                      "        li    R01,$12345678          ; from the literal pool\n"
                                      "        li    R02,MASK & ~1 ^ 'A'\n"
                                      "        la    R29,stack+4\n"
                                      "        push  R01\n        pop   R03\n"
                                      "        li    R11,7\n        call  triple\n"
                                      "        li    R04,-5\n        li    R05,3\n"
                                      "        blt   R04,R05,1f\n        li    R06,99\n"
                                      "1:      bgt   R04,R05,1f\n        li    R06,1\n"
                                      "1:      la    R07,text\n        lw    R08,R07,1\n"
                                      "        neg   R09,R05\n        not   R10,R00\n"
                                      "done:   j     done\n"
                                      "        .include \"lib.s\"\n"
                                      "        .align 4\n"
                                      "text:   .asciiz \"A\\tB\"\n"
                                      "stack:  .space 4\n");
  const TProcessResult r = RunProcess(Runner, {source});
  EXPECT_EQ(r.Status, 0) << r.Err;
  for (const char* line : {"R01 $12345678", "R02 $0000014f", "R03 $12345678", "R04 $fffffffb", "R06 $00000001",
                           "R08 $00000009", "R09 $fffffffd", "R10 $ffffffff", "R12 $00000015"})
    EXPECT_NE(r.Out.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << r.Out;
}

TEST(RunSource, AddressesMayBeLabels) {
  TTempDir dir;
  const std::string source = dir.File("count.asm", Counter);
  const TProcessResult r = RunProcess(Runner, {"--bp", "pc=here+1,count=2", "-d", "cell", source});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("PC  $00800003\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("\n$00800010: 00000007\n"), std::string::npos) << r.Out;

  const TProcessResult watch = RunProcess(Runner, {"--bp", "mem=cell", "-b", "done", source});
  EXPECT_NE(watch.Out.find("steps: 8\n"), std::string::npos) << watch.Out;  // the store changes cell
}

TEST(RunSource, ErrorsAndUnknownLabels) {
  TTempDir dir;
  const std::string bad = dir.File("bad.s", ".code $800000\naddi R1,R0\n");
  TProcessResult r = RunProcess(Runner, {bad});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, bad + ":2:1: error: addi expects 3 operands (Rb,Ra,IMM), found 2\n");

  const std::string good = dir.File("good.s", Counter);
  r = RunProcess(Runner, {"-b", "nowhere", good});
  EXPECT_EQ(r.Status, 64);
  EXPECT_EQ(r.Err, "tavora-run: bad address 'nowhere': unknown label 'nowhere'\n");
  // An image has no labels.
  EXPECT_EQ(RunProcess(Runner, {"-b", "here", Examples + "/sum.cod"}).Status, 64);
}

}  // namespace
