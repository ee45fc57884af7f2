// tavora-run --commit-log through the real binary: the lines it writes, and
// that a run with the log does exactly what the run without it does.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "Process.h"
#include "TempDir.h"

namespace {

const std::string Runner = TAVORA_RUN_PATH;
const std::string Source = SOURCE_DIR;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(CommitLog, OneLineInTheFixedFormatPerInstruction) {
  TTempDir dir;
  const std::string log = dir.Path + "/run.log";
  auto r = RunProcess(Runner, {"--commit-log", log, Source + "/hdl/test/every_instruction.cod"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string text = ReadFileText(log);
  EXPECT_EQ(text.back(), '\n');
  std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 59u);
  struct TCase {
    size_t Step;
    const char* Line;
  } cases[] = {
      {1, "1 00800001 24010005 r01 00000005"},
      {3, "3 00800003 64230005 r03 00000000"},        // unchanged value still logged
      {25, "25 00800019 0021b801"},                    // illegal function code
      {28, "28 0080001c 00210021"},                    // add to R00: not logged
      {39, "39 00800027 ac010200 m 00000200 00000005"},  // store to an unmapped word
      {43, "43 0080002b 10000001"},                    // branch
      {49, "49 00800033 5fa00000 r31 00800034"},       // jalr logs its R31 write
      {53, "53 00800035 5fe00000 r31 00800036"},       // jalr R31: jumps to the old R31
      {59, "59 0080003c 24090007 r09 00000007"},       // the word stored over it runs
  };
  for (const TCase& c : cases) EXPECT_EQ(lines[c.Step - 1], c.Line);
}

// A program whose loads see one of two overlapping blocks depending on the
// memory's cached block, with a store and a breakpoint watching memory.
const char* Overlapping =
    ".CODE\n$800000\n8\n$52455341\n$8fc40030\n$8fc10005\n$afc10011\n$8fc20006\n$20840001\n$1480fffb\n"
    "$1000ffff\n"
    ".DATA\n$800004\n16\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n"
    ".DATA\n$800030\n1\n$7\n";

TEST(CommitLog, TheRunIsTheSameWithAndWithoutIt) {
  TTempDir dir;
  const std::string overlapping = dir.File("overlap.cod", Overlapping);
  const std::string factorial = Source + "/examples/factorial.cod", sort = Source + "/examples/sort.cod";
  const std::vector<std::vector<std::string>> runs = {
      {factorial},
      {sort, "-d", "$800040:6"},
      {"-n", "50", factorial},
      {"--bp", "reg=1,value=120", factorial},
      {"--bp", "mem=$800042", "--bp", "count=7", "-d", "$800040:6", sort},
      {"-b", "$800008", "-t", factorial},
      {"-d", "$800004:16", overlapping},
      {"--bp", "mem=$800011", "-d", "$800004:16", overlapping},
  };
  for (const auto& args : runs) {
    const std::string log = dir.Path + "/run.log";
    std::vector<std::string> logged = {"--commit-log", log};
    logged.insert(logged.end(), args.begin(), args.end());
    auto plain = RunProcess(Runner, args), withLog = RunProcess(Runner, logged);
    EXPECT_EQ(withLog.Status, plain.Status) << args.back();
    EXPECT_EQ(withLog.Out, plain.Out) << args.back();
    // One line per step the run reports.
    size_t at = plain.Out.find("steps: ");
    ASSERT_NE(at, std::string::npos);
    const size_t steps = std::stoul(plain.Out.substr(at + 7));
    std::vector<std::string> lines = Lines(ReadFileText(log));
    EXPECT_EQ(lines.size(), steps) << args.back();
    EXPECT_EQ(lines.back().substr(0, std::to_string(steps).size() + 1), std::to_string(steps) + " ");
  }
}

TEST(CommitLog, StandardOutputAndErrors) {
  TTempDir dir;
  const std::string sum = Source + "/examples/sum.cod";
  auto both = RunProcess(Runner, {"--commit-log", "-", sum});
  auto state = RunProcess(Runner, {sum});
  EXPECT_EQ(both.Status, 0);
  ASSERT_GT(both.Out.size(), state.Out.size());
  EXPECT_EQ(both.Out.substr(both.Out.size() - state.Out.size()), state.Out);  // the log comes first
  EXPECT_EQ(both.Out.substr(0, 33), "1 00800001 27c20020 r02 00800020\n");

  auto traced = RunProcess(Runner, {"-t", "--commit-log=-", "-n", "2", sum});
  const std::string interleaved =
      "$00800001:  27c20020   addi  R02,R30,$0020\n1 00800001 27c20020 r02 00800020\n"
      "$00800002:  24040005   addi  R04,R00,$0005\n2 00800002 24040005 r04 00000005\nstop: step-limit\n";
  EXPECT_EQ(traced.Out.substr(0, interleaved.size()), interleaved);

  auto unwritable = RunProcess(Runner, {"--commit-log", dir.Path + "/no/such/dir/log", sum});
  EXPECT_EQ(unwritable.Status, 2);
  EXPECT_NE(unwritable.Err.find("cannot write the commit log"), std::string::npos) << unwritable.Err;
  EXPECT_EQ(unwritable.Out, "");
  auto full = RunProcess(Runner, {"--commit-log", "/dev/full", sum});
  EXPECT_EQ(full.Status, 2);
  EXPECT_NE(full.Err.find("writing the commit log to /dev/full failed"), std::string::npos) << full.Err;
  EXPECT_EQ(RunProcess(Runner, {"--commit-log", sum}).Status, 64);
}

}  // namespace
