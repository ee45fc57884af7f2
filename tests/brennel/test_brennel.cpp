// brennel: the .cod reader and memory file writer through the library, the
// command line, messages and exit statuses through the real program.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tools/brennel/brennel.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// A fresh directory per test, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> serial{0};
    root_ = fs::temp_directory_path() / ("brennel-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::remove_all(root_);
    fs::create_directories(root_ / "w");
  }
  ~TempDir() { fs::remove_all(root_); }

  fs::path Root() const { return root_; }
  // Files the program sees live in w/, its working directory.
  fs::path Path(const std::string& name) const { return root_ / "w" / name; }
  fs::path Put(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }
  bool Has(const std::string& name) const { return fs::exists(Path(name)); }
  static std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string Get(const std::string& name) const { return Read(Path(name)); }

 private:
  fs::path root_;
};

struct Outcome {
  int status;
  std::string text;  // the memory file, or stderr for a program run
};

bool operator==(const Outcome& a, const Outcome& b) { return a.status == b.status && a.text == b.text; }
void PrintTo(const Outcome& o, std::ostream* os) { *os << "status " << o.status << ", \"" << o.text << '"'; }

// parsecod then writemem, as the program does it.
Outcome Convert(const std::string& cod, int binary = 0) {
  TempDir dir;
  std::vector<MEMITEM> image;
  const int parsed = parsecod(dir.Put("in.cod", cod).c_str(), image);
  if (parsed != BRENNEL_OK) {
    EXPECT_TRUE(image.empty()) << "entries of a failed parse are kept";
    return {parsed, ""};
  }
  const int written = writemem(dir.Path("out.mem").c_str(), image, binary);
  return {written, dir.Get("out.mem")};
}

// Runs the real program in dir's w/ with the given argument vector; stdout
// must stay empty since every message belongs on stderr.
Outcome RunBrennel(const TempDir& dir, std::vector<std::string> args, std::string argv0 = "brennel") {
  std::vector<char*> argv{argv0.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = (dir.Root() / "stdout").string(), err = (dir.Root() / "stderr").string();
  const std::string cwd = dir.Path("").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, BRENNEL_BIN, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return {-1, "spawn failed"};
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  EXPECT_EQ(TempDir::Read(out), "");
  return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, TempDir::Read(err)};
}

std::string UsageText(const std::string& name) {
  return name + " usage:\n\n" + name + " [-v] [-o <outfile>] <infile>\n" +
         "\t -v : be verbose\n\t -o : output filename name for memory file\n";
}

const std::string kProg = ".CODE\n0x800000\n0x2\n0x52455341\n0x1000FFFF\n";
const std::string kProgText = "52455341\n1000FFFF\n";
const std::string kVerboseOk =
    "Parsing cod-file...\nParsing successful\nWriting memory file...\nTestbench successfully generated\n";

struct ConvertCase {
  const char* name;
  std::string cod;
  std::string text;
};

void PrintTo(const ConvertCase& c, std::ostream* os) { *os << c.name; }

class Conversion : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(Conversion, WritesTextForm) {
  const Outcome got = Convert(GetParam().cod);
  EXPECT_EQ(got.status, BRENNEL_OK);
  EXPECT_EQ(got.text, GetParam().text);
}

std::string Zeros(int n) {
  std::string text;
  while (n-- > 0) text += "0\n";
  return text;
}

const std::string kCode100 = ".CODE\n0x100\n0x3\n0x1\n0x2\n0x3\n";

INSTANTIATE_TEST_SUITE_P(
    Brennel, Conversion,
    ::testing::Values(
        ConvertCase{"Empty", "", ""}, ConvertCase{"HeaderAndIdleLoop", kProg, kProgText},
        ConvertCase{"DigitsWithoutLeadingZeros", ".DATA\n0x0\n0x3\n0x0\n0x2a\n0x0000FfFfFfFf\n", "0\n2A\nFFFFFFFF\n"},
        ConvertCase{"GapOfTwo", kCode100 + ".DATA\n0x105\n0x1\n0x9\n", "1\n2\n3\n" + Zeros(2) + "9\n"},
        ConvertCase{"GapOfOne", kCode100 + ".DATA\n0x104\n0x1\n0x9\n", "1\n2\n3\n0\n9\n"},
        ConvertCase{"Adjacent", kCode100 + ".DATA\n0x103\n0x1\n0x9\n", "1\n2\n3\n9\n"},
        ConvertCase{"BelowNextFollowsOn", kCode100 + ".CODE\n0x50\n0x1\n0x9\n", "1\n2\n3\n9\n"},
        ConvertCase{"NoFillBeforeFirstCode", ".CODE\n0x800000\n0x1\n0x7\n", "7\n"},
        ConvertCase{"CountLineUnchecked", ".CODE\n0x0\n0x5\n0x1\n", "1\n"},
        ConvertCase{"SpaceMovesNext", kCode100 + ".DS\n0x103\n0x5\n.CODE\n0x109\n0x1\n0x9\n",
                    "1\n2\n3\n" + Zeros(5) + "0\n9\n"},
        ConvertCase{"SpaceFillValue", ".DS\n0x0\n0x5\n0x7\n", "7\n7\n7\n7\n7\n"},
        ConvertCase{"SpaceFillZero", ".DS\n0x0\n0x2\n0x0\n", Zeros(2)},
        ConvertCase{"SpaceBeforeCodeFillsFromZero", ".DS\n0x2\n0x1\n.CODE\n0x10\n0x1\n0x5\n", Zeros(3) + "5\n"},
        ConvertCase{"KeywordPrefixes", ".CODE text\n0x0\n0x1\n0x1\n.DSx\n0x1\n0x1\n.DATA;\n0x2\n0x1\n0x2\n",
                    "1\n0\n2\n"},
        ConvertCase{"CrLf", ".CODE\r\n0x0\r\n0x1\r\n0x0000000000AB\r\n", "AB\n"},
        ConvertCase{"TrailingTextInPiece", ".CODE\n0x0\n0x1\n0x2A junk\n", "2A\n"},
        ConvertCase{"FourteenCharacters", ".CODE\n0x0\n0x1\n0x000000000001\n", "1\n"},
        ConvertCase{"NoFinalLineEnd", ".CODE\n0x0\n0x1\n0x5", "5\n"},
        ConvertCase{"NulEndsPieceContent", ".CODE\n0x0\n0x1\n0x12\0zz\n"s, "12\n"},
        ConvertCase{"KeywordPieceThenValuePiece", ".CODE          0x0\n0x1\n0x3\n", "3\n"}),
    [](const auto& info) { return std::string(info.param.name); });

class SyntaxError : public ::testing::TestWithParam<std::string> {};

TEST_P(SyntaxError, FailsWithoutEntries) { EXPECT_EQ(Convert(GetParam()).status, BRENNEL_SYNTAX); }

INSTANTIATE_TEST_SUITE_P(Brennel, SyntaxError,
                         ::testing::Values("\n", kProg + "\n", " .CODE\n", ".code\n", ".MEM\n0x0\n0x1\n",
                                           ".CODE\n0X10\n", ".CODE\n 0x10\n", ".CODE\n10\n", ".CODE\n$10\n",
                                           ".CODE\nx10\n", "0x5\n" + kProg, ".CODE\n0x\n", ".CODE\n0x0\n0xg1\n",
                                           ".CODE\n0x100000000\n", ".CODE\n0x0\n0x1\n0x0000000000001\n",
                                           ".CODE\n0x0\n0x1\n0x1 a long comment\n", ".CODE and a long comment\n",
                                           ".DS\n0x0\n0x2\n0x7\n0x1\n", "\0x1\n"s, kProg + "\r\n", "\r" + kProg));

struct ImageCase {
  const char* name;
  std::string cod;
  std::vector<std::vector<std::uint32_t>> entries;  // kind, value[, count]
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }

class Image : public ::testing::TestWithParam<ImageCase> {};

// Runs up to the size limit and wrapping addresses, checked on the list so
// nothing large is written.
TEST_P(Image, HoldsRunsAsCounts) {
  TempDir dir;
  std::vector<MEMITEM> image;
  ASSERT_EQ(parsecod(dir.Put("in.cod", GetParam().cod).c_str(), image), BRENNEL_OK);
  std::vector<std::vector<std::uint32_t>> got;
  for (const MEMITEM& m : image) {
    got.push_back({static_cast<std::uint32_t>(m.kind), m.value});
    if (m.kind == KIND_FILLED) got.back().push_back(m.count);
  }
  EXPECT_EQ(got, GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Brennel, Image,
    ::testing::Values(
        ImageCase{"HugeSpace", ".DS\n0x0\n0x1000000\n", {{3, 0x1000000}}},
        ImageCase{"HugeFilledSpace", ".DS\n0x0\n0x1000000\n0x7\n", {{4, 7, 0x1000000}}},
        ImageCase{"HugeGap", ".CODE\n0x0\n0x1\n0x1\n.CODE\n0xFFFFFF\n0x1\n0x2\n", {{0, 1}, {3, 0xFFFFFE}, {0, 2}}},
        ImageCase{"NegativeStartGetsNoFill", ".CODE\n0x0\n0x1\n0x1\n.DS\n0x80000000\n0x1\n", {{0, 1}, {3, 1}}},
        ImageCase{"NextWrapsNegative", ".CODE\n0x7FFFFFFF\n0x1\n0x5\n.DS\n0x80000002\n0x0\n", {{0, 5}, {3, 2}, {3, 0}}},
        ImageCase{"EmptyCodeSectionLeavesNext", ".CODE\n0x200\n0x0\n.CODE\n0x300\n0x0\n0x1\n", {{3, 0x300}, {0, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BrennelWrite, BinaryFormIsBigEndian) {
  const Outcome got = Convert(".CODE\n0x0\n0x2\n0x1000FFFF\n0x0\n.DS\n0x3\n0x1\n.DS\n0x4\n0x1\n0x7\n", 1);
  EXPECT_EQ(got.status, BRENNEL_OK);
  EXPECT_EQ(got.text, "\x10\x00\xFF\xFF"s + std::string(12, '\0') + "\0\0\0\x07"s);
}

// Runs longer than the write buffer, with a word form that does not divide it.
TEST(BrennelWrite, LongRunsCrossBufferBoundaries) {
  const std::uint32_t n = 1000003;
  const Outcome got = Convert(".DS\n0x0\n0xF4243\n0x12345678\n.DS\n0xF4243\n0xF4243\n");
  ASSERT_EQ(got.status, BRENNEL_OK);
  ASSERT_EQ(got.text.size(), n * 9u + n * 2u);
  std::string expected;
  for (std::uint32_t i = 0; i < n; ++i) expected += "12345678\n";
  EXPECT_EQ(got.text, expected + Zeros(n));
}

TEST(BrennelOptions, DerivesOutputName) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"prog.cod", "prog.mem"}, {"a.b.asm", "a.b.mem"},         {"prog", "prog.mem"},
      {"prog.c", "prog.c.mem"}, {"prog.text", "prog.text.mem"}, {"prog.mem", "prog.mem"}};
  for (const auto& [in, out] : names) EXPECT_EQ(DeriveOutputName(in), out) << in;
}

// Usage, help and a missing input name: nothing is converted.
TEST(BrennelCli, StopsWithoutConverting) {
  TempDir dir;
  dir.Put("prog.cod", kProg);
  const std::string usage = UsageText("brennel"), unknown = "unknown option -x\n";
  const std::vector<std::pair<std::vector<std::string>, Outcome>> cases = {
      {{}, {1, usage}},
      {{"-x", "-h", "-y", "prog.cod"}, {0, unknown + usage}},
      {{"-H"}, {0, usage}},
      {{"-?"}, {0, usage}},
      {{"/?"}, {0, usage}},
      {{"-help"}, {0, usage}},
      {{"-v"}, {1, "no input file given"}},
      {{"-o", "prog.cod"}, {1, "no input file given"}},
      {{"-x", "-b"}, {1, unknown + "no input file given"}}};
  for (const auto& [args, outcome] : cases) EXPECT_EQ(RunBrennel(dir, args), outcome) << args.size();
  EXPECT_EQ(RunBrennel(dir, {}, "tools/my-brennel"), (Outcome{1, UsageText("tools/my-brennel")}));
  EXPECT_FALSE(dir.Has("prog.mem"));
}

TEST(BrennelCli, OutputNames) {
  TempDir dir;
  dir.Put("prog.cod", kProg);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"prog.cod"}, "prog.mem"},
      {{"-o", "out.txt", "prog.cod"}, "out.txt"},
      {{"prog.cod", "-o"}, "prog.mem"},
      {{"missing.cod", "prog.cod"}, "prog.mem"},
      {{"-output", "-odd", "prog.cod"}, "-odd"},
      {{"/o", "slash.mem", "prog.cod"}, "slash.mem"},
      {{"-q", "prog.cod"}, "prog.mem"}};
  for (const auto& [args, out] : cases) {
    const Outcome got = RunBrennel(dir, args);
    EXPECT_EQ(got.status, 0) << out;
    EXPECT_EQ(got.text, args[0] == "-q" ? "unknown option -q\n" : "") << out;
    EXPECT_EQ(dir.Get(out), kProgText) << out;
    fs::remove(dir.Path(out));
  }
}

TEST(BrennelCli, AbsolutePathIsAFileAndSlashLettersAreOptions) {
  TempDir dir;
  const fs::path in = dir.Put("prog.cod", kProg);
  Outcome got = RunBrennel(dir, {"/v", in.string()});
  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(got.text, kVerboseOk);
  EXPECT_EQ(dir.Get("prog.mem"), kProgText);
  got = RunBrennel(dir, {"/b", "-o", "bin.mem", in.string()});
  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(dir.Get("bin.mem"), "RESA\x10\x00\xFF\xFF"s);
}

mode_t Mode(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// What is not a regular file is written, not replaced; a link is followed
// and stays a link; a file keeps its permissions.
TEST(BrennelCli, WritesIntoTheOutputWithoutReplacingIt) {
  TempDir dir;
  const std::string in = dir.Put("prog.cod", kProg).string();
  const fs::path pipe = dir.Path("pipe"), device = dir.Path("null"), link = dir.Path("link.mem");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const bool haveDevice = ::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // /dev/null's twin
  const fs::path target = dir.Put("target.mem", "old"), plain = dir.Put("plain.mem", "old");
  fs::permissions(target, fs::perms(0640));
  fs::permissions(plain, fs::perms(0604));
  fs::create_symlink("target.mem", link);
  for (const fs::path& out : {pipe, device, link, plain}) {
    if (out == device && !haveDevice) continue;
    const mode_t before = Mode(out);
    const TChildResult r = RunChild(BRENNEL_BIN, {"-o", out.string(), in});
    EXPECT_EQ(r.Status, 0) << out << "\n" << r.Err;
    EXPECT_EQ(Mode(out), before) << out;
  }
  std::string piped(4096, '\0');
  const ssize_t got = ::read(reader, piped.data(), piped.size());
  piped.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  ::close(reader);
  EXPECT_EQ(piped, kProgText);
  EXPECT_EQ(TempDir::Read(target), kProgText);
  EXPECT_EQ(Mode(target) & 0777, 0640u);
  EXPECT_EQ(TempDir::Read(plain), kProgText);
  for (const auto& entry : fs::directory_iterator(dir.Path("")))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST(BrennelCli, NamedPipeWithoutReaderFailsAtOnce) {
  TempDir dir;
  const std::string in = dir.Put("prog.cod", kProg).string(), pipe = dir.Path("pipe").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const TChildResult r = RunChild(BRENNEL_BIN, {"-v", "-o", pipe, in});
  EXPECT_EQ(r.Status, BRENNEL_NO_OUTPUT);
  EXPECT_EQ(
      r.Err,
      "Parsing cod-file...\nParsing successful\nWriting memory file...\nWriting failed: error opening output file\n");
}

// A write that fails half-way (here at a file size limit) leaves no part of
// the memory file behind, and an older one as it was.
TEST(BrennelCli, AFailedWriteLeavesNothingWritten) {
  TempDir dir;
  const std::string in = dir.Put("big.cod", ".DS\n0x0\n0x100000\n").string();  // two megabytes of "0\n"
  const fs::path old = dir.Put("old.mem", "old");
  for (const fs::path& out : {dir.Path("new.mem"), old}) {
    const TChildResult r = RunChild(BRENNEL_BIN, {"-o", out.string(), in}, TChildSetup().Limit(1 << 16));
    EXPECT_EQ(r.Status, BRENNEL_NO_OUTPUT) << out;
  }
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path(""))) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"big.cod", "old.mem"}));
  EXPECT_TRUE(dir.Get("old.mem") == "old");
}

// "-" reads the image from standard input, for a pipe from tavora-as; the
// memory file then needs a name.
TEST(BrennelCli, ReadsStandardInput) {
  TempDir dir;
  const std::string in = dir.Put("prog.cod", kProg).string(), out = dir.Path("out.mem").string();
  const TChildResult r = RunChild(BRENNEL_BIN, {"-o", out, "-"}, TChildSetup().Input(in));
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(dir.Get("out.mem"), kProgText);
  const TChildResult unnamed = RunChild(BRENNEL_BIN, {"-"}, TChildSetup().Input(in));
  EXPECT_EQ(unnamed.Status, 1);
  EXPECT_EQ(unnamed.Err, "no output file given for standard input\n");
  const fs::path huge = dir.Put("huge.cod", "");
  fs::resize_file(huge, kMaxInputBytes + 1);  // sparse: costs no disk
  EXPECT_EQ(RunChild(BRENNEL_BIN, {"-o", out, "-"}, TChildSetup().Input(huge.string())).Status, BRENNEL_SYNTAX);
}

struct RunCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string verbose;  // the messages after "Parsing cod-file...\n"
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class Messages : public ::testing::TestWithParam<RunCase> {};

// Each case with -verbose (prefix only counts) and without: same status, and
// silence without it. The input is never harmed and a failed read leaves old output.
TEST_P(Messages, ByOutcome) {
  TempDir dir;
  dir.Put("prog.cod", kProg);
  dir.Put("prog.mem", kProg);
  dir.Put("bad.cod", kProg + " 0x1\n");
  dir.Put("bad.mem", "keep");
  fs::create_directory(dir.Path("dir.cod"));
  fs::create_symlink("prog.cod", dir.Path("link.cod"));
  ASSERT_EQ(::mkfifo(dir.Path("pipe.cod").c_str(), 0600), 0);
  dir.Put("huge.cod", "");
  fs::resize_file(dir.Path("huge.cod"), kMaxInputBytes + 1);  // sparse: costs no disk
  dir.Put("wide.cod", ".DS\n0x0\n0x7FFFFFFF\n");
  dir.Put("gap.cod", ".CODE\n0x0\n0x1\n0x1\n.CODE\n0x1000000\n0x1\n0x2\n");
  std::vector<std::string> args = GetParam().args;
  EXPECT_EQ(RunBrennel(dir, args), (Outcome{GetParam().status, ""}));
  args.insert(args.begin(), "-verbose");
  EXPECT_EQ(RunBrennel(dir, args), (Outcome{GetParam().status, "Parsing cod-file...\n" + GetParam().verbose}));
  EXPECT_EQ(dir.Get("prog.cod"), kProg);
  EXPECT_EQ(dir.Get("bad.mem"), "keep");
  for (const char* refused : {"pipe.mem", "huge.mem", "wide.mem", "gap.mem"}) EXPECT_FALSE(dir.Has(refused));
}

const std::string kParsed = "Parsing successful\nWriting memory file...\n";

INSTANTIATE_TEST_SUITE_P(
    Brennel, Messages,
    ::testing::Values(
        RunCase{"Success", {"prog.cod"}, 0, kVerboseOk.substr(20)},
        RunCase{"SyntaxError", {"bad.cod"}, 2, "Parsing failed: Syntax error in input file\n"},
        RunCase{"MissingInput", {"none.cod"}, 1, "Parsing failed: error opening input file\n"},
        RunCase{"InputIsDirectory", {"dir.cod"}, 1, "Parsing failed: error opening input file\n"},
        RunCase{"InputIsNamedPipe", {"pipe.cod"}, 1, "Parsing failed: error opening input file\n"},
        RunCase{"InputIsDevice", {"/dev/zero"}, 1, "Parsing failed: error opening input file\n"},
        RunCase{"InputTooLarge", {"huge.cod"}, 2, "Parsing failed: input file too large\n"},
        RunCase{"ImageTooLarge", {"wide.cod"}, 2, "Parsing failed: image too large\n"},
        RunCase{"GapTooLarge", {"gap.cod"}, 2, "Parsing failed: image too large\n"},
        RunCase{"OutputDirMissing",
                {"-o", "no/x.mem", "prog.cod"},
                3,
                kParsed + "Writing failed: error opening output file\n"},
        RunCase{
            "DiskFull", {"-o", "/dev/full", "prog.cod"}, 3, kParsed + "Writing failed: error opening output file\n"},
        RunCase{"OutputIsInput",
                {"-o", "prog.cod", "prog.cod"},
                3,
                kParsed + "Writing failed: output file is the input file\n"},
        RunCase{"DerivedIsInput", {"prog.mem"}, 3, kParsed + "Writing failed: output file is the input file\n"},
        RunCase{"OutputIsLinkToInput",
                {"-o", "link.cod", "prog.cod"},
                3,
                kParsed + "Writing failed: output file is the input file\n"},
        RunCase{"OutputIsInputByOtherPath",
                {"-o", "../w/./prog.cod", "prog.cod"},
                3,
                kParsed + "Writing failed: output file is the input file\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
