// tavora-run --commit-log through the real binary: the lines it writes, and
// that a run with the log does exactly what the run without it does.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

const std::string Runner = TAVORA_RUN_PATH;
const std::string Source = SOURCE_DIR;

mode_t Mode(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

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
      {3, "3 00800003 64230005 r03 00000000"},           // unchanged value still logged
      {25, "25 00800019 0021b801"},                      // illegal function code
      {28, "28 0080001c 00210021"},                      // add to R00: not logged
      {39, "39 00800027 ac010200 m 00000200 00000005"},  // store to an unmapped word
      {43, "43 0080002b 10000001"},                      // branch
      {49, "49 00800033 5fa00000 r31 00800034"},         // jalr logs its R31 write
      {53, "53 00800035 5fe00000 r31 00800036"},         // jalr R31: jumps to the old R31
      {59, "59 0080003c 24090007 r09 00000007"},         // the word stored over it runs
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

// Refused before anything is opened, whatever path leads to the program.
TEST(CommitLog, NeverOverwritesTheProgram) {
  TTempDir dir;
  const std::string image = dir.File("sum.cod", ReadFileText(Source + "/examples/sum.cod"));
  const std::string source = dir.File("sum.s", ReadFileText(Source + "/examples/sum.s"));
  ASSERT_EQ(link(image.c_str(), (dir.Path + "/hard.cod").c_str()), 0);
  ASSERT_EQ(symlink("sum.s", (dir.Path + "/soft.s").c_str()), 0);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {image, image},
      {source, source},
      {dir.Path + "/hard.cod", image},
      {dir.Path + "/soft.s", source},
      {dir.Path + "/./sum.cod", image},
  };
  for (const auto& [log, program] : cases) {
    const std::string before = ReadFileText(program);
    auto r = RunProcess(Runner, {"-n", "10", "--commit-log", log, program});
    EXPECT_EQ(r.Status, 64) << log;
    EXPECT_EQ(r.Out, "") << log;
    EXPECT_EQ(r.Err, "tavora-run: the commit log " + log + " would overwrite FILE\n");
    EXPECT_EQ(ReadFileText(program), before) << log;
  }
}

// What is not a regular file is written, not replaced; a link is followed
// and stays a link; a file keeps its permissions.
TEST(CommitLog, WritesIntoTheFileWithoutReplacingIt) {
  TTempDir dir;
  const std::string sum = Source + "/examples/sum.cod";
  const std::string withState = RunProcess(Runner, {"--commit-log", "-", sum}).Out;
  const std::string expected = withState.substr(0, withState.size() - RunProcess(Runner, {sum}).Out.size());
  const std::string pipe = dir.Path + "/pipe", device = dir.Path + "/null", link = dir.Path + "/link.log";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const bool haveDevice = mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // /dev/null's twin
  const std::string target = dir.File("target.log", "old"), plain = dir.File("plain.log", "old");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(chmod(plain.c_str(), 0604), 0);
  ASSERT_EQ(symlink("target.log", link.c_str()), 0);
  for (const std::string& log : {pipe, device, link, plain}) {
    if (log == device && !haveDevice) continue;
    const mode_t before = Mode(log);
    const TChildResult r = RunChild(Runner, {"--commit-log", log, sum});
    EXPECT_EQ(r.Status, 0) << log << "\n" << r.Err;
    EXPECT_EQ(Mode(log), before) << log;
  }
  std::string piped(65536, '\0');
  const ssize_t got = read(reader, piped.data(), piped.size());
  piped.resize(got > 0 ? size_t(got) : 0);
  close(reader);
  EXPECT_EQ(piped, expected);
  EXPECT_EQ(ReadFileText(target), expected);
  EXPECT_EQ(Mode(target) & 0777, 0640u);
  EXPECT_EQ(ReadFileText(plain), expected);
  for (const std::string& name : Files(dir.Path)) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

TEST(CommitLog, NamedPipeWithoutReaderFailsAtOnce) {
  TTempDir dir;
  const std::string pipe = dir.Path + "/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const TChildResult r = RunChild(Runner, {"--commit-log", pipe, Source + "/examples/sum.cod"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "tavora-run: cannot write the commit log " + pipe + ": no process reads the named pipe\n");
  EXPECT_EQ(r.Out, "");
}

// A write that fails half-way (here at a file size limit) leaves no part
// of the log behind, and an older log as it was.
TEST(CommitLog, AFailedWriteLeavesNothingWritten) {
  TTempDir dir;
  const std::string program = dir.File("loop.s", ".code $800000\n.header\nloop: addi R01,R01,1\nbeqz R00,loop\n");
  const std::string old = dir.File("old.log", "old");
  for (const std::string& log : {dir.Path + "/new.log", old}) {
    const TChildResult r =
        RunChild(Runner, {"-n", "100000", "--commit-log", log, program}, TChildSetup().Limit(1 << 16));
    EXPECT_EQ(r.Status, 2) << log;
    EXPECT_NE(r.Err.find("writing the commit log to " + log + " failed"), std::string::npos) << r.Err;
  }
  EXPECT_EQ(Files(dir.Path), (std::vector<std::string>{"loop.s", "old.log"}));
  EXPECT_TRUE(ReadFileText(old) == "old");
}

}  // namespace
