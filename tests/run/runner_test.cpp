#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

const std::string Runner = TAVORA_RUN_PATH;
const std::string Examples = EXAMPLES_DIR;

TProcessResult RunTool(std::vector<std::string> args) { return RunProcess(Runner, args); }

std::string Registers(std::vector<std::pair<int, std::string>> nonZero) {
  std::string text;
  for (int i = 0; i < 32; ++i) {
    std::string value = "00000000";
    for (auto& [r, v] : nonZero)
      if (r == i) value = v;
    text += "R" + std::string(i < 10 ? "0" : "") + std::to_string(i) + " $" + value + "\n";
  }
  return text;
}

TEST(RunnerTest, PrintsTheFinalStateExactly) {
  auto r = RunTool({Examples + "/sum.cod"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(r.Out, "stop: idle-loop\nsteps: 28\nPC  $00800009\n" +
                       Registers({{1, "00000027"}, {2, "00800025"}, {3, "0000000d"}, {30, "00800000"}}));
}

TEST(RunnerTest, StopReasonsAndExitCodes) {
  auto sorted = RunTool({"-d", "$800040:6", Examples + "/sort.cod"});
  EXPECT_EQ(sorted.Status, 0);
  EXPECT_EQ(sorted.Out.substr(0, 30), "stop: stop-opcode\nsteps: 163\nP");
  EXPECT_NE(sorted.Out.find("$00800040: fffffffc\n$00800041: 00000000\n$00800042: 00000005\n"
                            "$00800043: 00000009\n$00800044: 0000000d\n$00800045: 0000001b\n"),
            std::string::npos);

  auto limited = RunTool({"-n", "10", Examples + "/factorial.cod"});
  EXPECT_EQ(limited.Status, 3);
  EXPECT_EQ(limited.Out.substr(0, 28), "stop: step-limit\nsteps: 10\nP");
  EXPECT_EQ(RunTool({"--max-steps=10", Examples + "/factorial.cod"}).Out, limited.Out);
}

TEST(RunnerTest, BreakPointsInOptionOrderWithTheirRows) {
  auto r = RunTool({"--bp", "pc=$800005", "--bp", "reg=1", "--bp", "count=3", "--bp", "mem=$800100,value=0,count=$10",
                    "-b", "x800003", Examples + "/factorial.cod"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out.substr(0, 26), "stop: breakpoint\nsteps: 2\n");
  const std::string rows =
      "bp\t$00800005\t--\t--\timmer\n"
      "bp\t\t--\t--\tWenn R01 sich ändert\n"
      "bp\t\t2\t3\timmer\n"
      "bp\t\t2\t16\tWenn Speicher $00800100 den Wert $00000000 hat\n"
      "bp\t$00800003\t--\t--\timmer\n";
  EXPECT_NE(r.Out.find(rows), std::string::npos) << r.Out;
}

TEST(RunnerTest, ChangeWatchIsArmedAfterTheReset) {
  // R1 holds 0 after the reset; the sum's first change of R1 is the clri at
  // step 3 (0 again), then the first add at step 5.
  auto r = RunTool({"--bp", "reg=1", Examples + "/sum.cod"});
  EXPECT_EQ(r.Out.substr(0, 26), "stop: breakpoint\nsteps: 5\n");
  auto mem = RunTool({"--bp", "mem=$800040", Examples + "/sort.cod"});
  EXPECT_EQ(mem.Out.substr(0, 17), "stop: breakpoint\n");
  EXPECT_NE(mem.Out.find("Wenn Speicher $00800040 sich ändert"), std::string::npos);
}

TEST(RunnerTest, TracePrintsEachInstructionBeforeItRuns) {
  auto r = RunTool({"-t", "-n", "2", Examples + "/sum.cod"});
  EXPECT_EQ(r.Status, 3);
  EXPECT_EQ(r.Out.rfind("$00800001:  27c20020   addi  R02,R30,$0020\n"
                        "$00800002:  24040005   addi  R04,R00,$0005\n"
                        "stop: step-limit\nsteps: 2\n",
                        0),
            0u)
      << r.Out;
}

TEST(RunnerTest, LoaderMessagesOnStandardError) {
  TTempDir dir;
  auto noHeader = RunTool({dir.File("nohdr.cod", ".CODE\n$800001\n1\n$1000FFFF\n")});
  EXPECT_EQ(noHeader.Status, 0);
  EXPECT_EQ(noHeader.Err, "Warnung: Das Programm hat keinen gültigen RESA-Header.\n");
  EXPECT_EQ(noHeader.Out.substr(0, 25), "stop: idle-loop\nsteps: 1\n");

  auto invalid = RunTool({dir.File("bad.cod", ".CODE\n$800000\n0\n")});
  EXPECT_EQ(invalid.Status, 2);
  EXPECT_EQ(invalid.Err, "Die angegebene Datei einhält ungültige Daten.\n");
  EXPECT_EQ(invalid.Out, "");

  const std::string missing = dir.Path + "/missing.cod";
  auto gone = RunTool({missing});
  EXPECT_EQ(gone.Status, 2);
  EXPECT_EQ(gone.Err, "Datei " + missing + " kann nicht geöffnet werden\n");

  auto empty = RunTool({dir.File("empty.cod", "")});
  EXPECT_EQ(empty.Status, 0);
  EXPECT_EQ(empty.Out.substr(0, 25), "stop: idle-loop\nsteps: 1\n");
}

// The load builds the image once, so its warning comes once, for an image
// and for a source, on standard error and among the JSON messages.
TEST(RunnerTest, HeaderWarningOnce) {
  TTempDir dir;
  const std::string warning = "Warnung: Das Programm hat keinen gültigen RESA-Header.";
  for (const std::string& file : {dir.File("nohdr.cod", ".CODE\n$800001\n1\n$1000FFFF\n"),
                                  dir.File("nohdr.s", ".code $800001\nloop: beqz R0,loop\n")}) {
    auto plain = RunTool({file});
    EXPECT_EQ(plain.Status, 0) << file;
    EXPECT_EQ(plain.Err, warning + "\n") << file;
    auto json = RunTool({"--json", file});
    EXPECT_EQ(json.Status, 0) << file;
    EXPECT_NE(json.Out.find("\"messages\":[\"" + warning + "\"]"), std::string::npos) << json.Out;
  }
}

// Data blocks A ($10, 4 words) and B ($12, 4 words) overlap. A load from
// $15 (only B) caches B; the next fetch caches the code again; then $13
// must come from A, the oldest block covering it, not from B.
TEST(RunnerTest, OverlappingBlocksGiveTheOldestWordAfterTheCodeWasCached) {
  TTempDir dir;
  auto r = RunTool({"-d", "$13",
                    dir.File("overlap.cod",
                             ".CODE\n$800000\n4\n$52455341\n$8C010015\n$8C020013\n$1000FFFF\n"
                             ".DATA\n$10\n4\n$A0\n$A1\n$A2\n$A3\n"
                             ".DATA\n$12\n4\n$B2\n$B3\n$B4\n$B5\n")});
  EXPECT_EQ(r.Status, 0);
  EXPECT_NE(r.Out.find("R01 $000000b5\nR02 $000000a3\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("$00000013: 000000a3\n"), std::string::npos) << r.Out;
}

// The testbench's memory image holds every section at its own address, in
// address order whatever the file order, merges sections that touch, and
// lists only present words; where sections overlap it has the word the
// first lookup after the load finds (the code block is cached then, so the
// oldest section wins).
TEST(RunnerTest, MemoryImageListsExactlyThePresentWordsAsTheLoadBuiltThem) {
  const std::string code = ".CODE\n$800000\n2\n$52455341\n$1000FFFF\n";
  const std::string codeWords = "@00800000\n52455341\n1000ffff\n";
  struct TCase {
    const char* Name;
    std::string Image, Words;
  } cases[] = {
      {"data first", ".DATA\n$800010\n2\n$11\n$12\n" + code, codeWords + "@00800010\n00000011\n00000012\n"},
      {"mem", code + ".MEM\n$800002\n2\n", "@00800000\n52455341\n1000ffff\n00000000\n00000000\n"},
      {"ds first", ".DS\n$100\n3\n$7\n" + code, "@00000100\n00000007\n00000007\n00000007\n" + codeWords},
      {"descending with gaps", ".DATA\n$900000\n1\n$9\n" + code + ".DATA\n$10\n1\n-1\n",
       "@00000010\nffffffff\n" + codeWords + "@00900000\n00000009\n"},
      {"overlap", code + ".DATA\n$10\n4\n$A0\n$A1\n$A2\n$A3\n.DATA\n$12\n4\n$B2\n$B3\n$B4\n$B5\n",
       "@00000010\n000000a0\n000000a1\n000000a2\n000000a3\n000000b4\n000000b5\n" + codeWords},
  };
  for (const TCase& c : cases) {
    TTempDir dir;
    const std::string program = dir.File("p.cod", c.Image), image = dir.Path + "/p.mem";
    auto r = RunTool({"--memory-image", image, program});
    EXPECT_EQ(r.Status, 0) << c.Name << r.Err;
    const std::string text = ReadFileText(image);
    const size_t header = text.find('\n') + 1;
    EXPECT_EQ(text.substr(header), c.Words) << c.Name;
    size_t words = 0;
    for (size_t at = header; at < text.size(); at = text.find('\n', at) + 1) words += text[at] != '@';
    EXPECT_EQ(text.substr(0, header), "// memory image of " + program + ": " + std::to_string(words) + " words in " +
                                          std::to_string(std::count(text.begin(), text.end(), '@')) +
                                          " runs; a word not listed reads ffffffff\n")
        << c.Name;
  }
}

// Writing the image looks every word up, which must not change what the run
// then does: here the loads depend on the memory's cached block.
TEST(RunnerTest, MemoryImageLeavesTheRunAsItWas) {
  TTempDir dir;
  const std::string program = dir.File("overlap.cod",
                                       ".CODE\n$800000\n8\n$52455341\n$8fc40030\n$8fc10005\n$afc10011\n$8fc20006\n"
                                       "$20840001\n$1480fffb\n$1000ffff\n"
                                       ".DATA\n$800004\n16\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n"
                                       ".DATA\n$800030\n1\n$7\n");
  auto plain = RunTool({"-d", "$800004:16", program});
  auto imaged = RunTool({"--memory-image", dir.Path + "/image.mem", "-d", "$800004:16", program});
  EXPECT_EQ(imaged.Status, plain.Status);
  EXPECT_EQ(imaged.Out, plain.Out);
  // To standard output, before the final state.
  auto out = RunTool({"--memory-image", "-", program});
  EXPECT_EQ(out.Out, ReadFileText(dir.Path + "/image.mem") + RunTool({program}).Out);
  auto unwritable = RunTool({"--memory-image", dir.Path + "/none/image.mem", program});
  EXPECT_EQ(unwritable.Status, 2);
  EXPECT_NE(unwritable.Err.find("tavora-run: cannot write the memory image " + dir.Path + "/none/image.mem: "),
            std::string::npos)
      << unwritable.Err;
}

// Only regular files are read: a named pipe nobody writes to (as an image
// or a source), a directory or a terminal must not block or be taken for an
// image.
TEST(RunnerTest, RefusesFilesThatAreNotRegularAtOnce) {
  TTempDir dir;
  const std::string image = dir.Path + "/pipe.cod", source = dir.Path + "/pipe.s";
  ASSERT_EQ(mkfifo(image.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(source.c_str(), 0600), 0);
  for (const std::string& name : {image, source, dir.Path, std::string("/dev/null")}) {
    auto r = RunChild(Runner, {name});
    EXPECT_EQ(r.Status, 2) << name;
    EXPECT_EQ(r.Err, "Datei " + name + " kann nicht geöffnet werden\n");
  }
}

// The last address is one like any other; only values beyond it are refused.
TEST(RunnerTest, AddressesReachTheLastWord) {
  for (const std::string& file : {Examples + "/sum.cod", Examples + "/sum.s"}) {
    auto r = RunTool({"-d", "$ffffffff", "--bp", "mem=xffffffff", file});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("\n$ffffffff: ffffffff\n"), std::string::npos) << r.Out;
  }
  auto label = RunTool({"-d", "array-$800020+$ffffffff", Examples + "/sum.s"});
  EXPECT_NE(label.Out.find("\n$ffffffff: ffffffff\n"), std::string::npos) << label.Err;
}

// The manual page names every option the usage names, and the sources the
// runner takes besides images.
TEST(RunnerTest, ManualNamesEveryOptionOfTheUsage) {
  std::string manual = ReadFileText(Examples + "/../packaging/man/tavora-run.1");
  ASSERT_FALSE(manual.empty());
  for (size_t at; (at = manual.find("\\-")) != std::string::npos;) manual.replace(at, 2, "-");
  const std::string usage = RunTool({"--help"}).Out;
  const std::regex option("(^|[ ,])(--?[a-z][a-z-]*)");
  size_t options = 0;
  for (std::sregex_iterator it(usage.begin(), usage.end(), option), end; it != end; ++it, ++options)
    EXPECT_NE(manual.find((*it)[2].str()), std::string::npos) << (*it)[2];
  EXPECT_GE(options, 12u);
  for (const char* word : {".asm", "label"}) EXPECT_NE(manual.find(word), std::string::npos) << word;
}

TEST(RunnerTest, HelpGoesToStandardOutput) {
  auto r = RunTool({"--help"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out.rfind("usage: tavora-run [options] FILE\n", 0), 0u);
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(RunTool({"-h", "--bogus"}).Status, 0);
}

class UsageErrorTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(UsageErrorTest, ExitsWithOneLineReason) {
  std::vector<std::string> args = GetParam();
  for (auto& a : args) {
    if (a == "FILE") a = Examples + "/sum.cod";
    if (a == "SOURCE") a = Examples + "/sum.s";
  }
  auto r = RunTool(args);
  EXPECT_EQ(r.Status, 64);
  EXPECT_EQ(r.Out, "");
  ASSERT_FALSE(r.Err.empty());
  EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
  EXPECT_EQ(r.Err.rfind("tavora-run: ", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, UsageErrorTest,
    ::testing::Values(
        std::vector<std::string>{}, std::vector<std::string>{"FILE", "FILE"}, std::vector<std::string>{"-x", "FILE"},
        std::vector<std::string>{"-n", "0", "FILE"}, std::vector<std::string>{"-n", "ten", "FILE"},
        std::vector<std::string>{"-n"}, std::vector<std::string>{"FILE", "-n"},
        std::vector<std::string>{"-n", "$FFFFFFFF", "FILE"}, std::vector<std::string>{"--bp", "", "FILE"},
        std::vector<std::string>{"--bp", "pc", "FILE"}, std::vector<std::string>{"--bp", "pc=1,pc=2", "FILE"},
        std::vector<std::string>{"--bp", "mem=1,reg=2", "FILE"}, std::vector<std::string>{"--bp", "value=1", "FILE"},
        std::vector<std::string>{"--bp", "reg=32", "FILE"}, std::vector<std::string>{"--bp", "reg=-1", "FILE"},
        std::vector<std::string>{"--bp", "ip=1", "FILE"}, std::vector<std::string>{"--bp", "pc=1,", "FILE"},
        std::vector<std::string>{"-b", "1 ", "FILE"}, std::vector<std::string>{"-d", "1:0", "FILE"},
        std::vector<std::string>{"-d", "1:", "FILE"}, std::vector<std::string>{"--trace=1", "FILE"},
        // Addresses outside 0..$ffffffff, as numbers or label expressions.
        std::vector<std::string>{"-d", "-1", "FILE"}, std::vector<std::string>{"-b", "-8388609", "FILE"},
        std::vector<std::string>{"--bp", "mem=-1", "FILE"}, std::vector<std::string>{"-d", "$ffffffff:2", "FILE"},
        std::vector<std::string>{"--bp", "pc=loop+$ffffffff+1", "SOURCE"},
        std::vector<std::string>{"-d", "start-$900000", "SOURCE"},
        std::vector<std::string>{"-b", "done-$800009-1", "SOURCE"},
        std::vector<std::string>{"--bp", "mem=array+$ffffffff", "SOURCE"},
        std::vector<std::string>{"-d", "array-$800020+$ffffffff:2", "SOURCE"},
        // The memory image: never FILE itself, the commit log or shared output.
        std::vector<std::string>{"--memory-image", "FILE", "FILE"},
        std::vector<std::string>{"--memory-image", "", "FILE"},
        std::vector<std::string>{"--json", "--memory-image", "-", "FILE"},
        std::vector<std::string>{"--memory-image", "-", "--commit-log", "-", "FILE"}));

}  // namespace
