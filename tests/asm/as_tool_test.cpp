// tavora-as through the real program: outputs, messages and exit codes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/ChildProcess.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

const std::string As = TAVORA_AS_PATH;

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

mode_t Mode(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST(AsTool, WritesTheImageBesideTheSource) {
  TTempDir dir;
  const std::string source = dir.File("prog.s", ".code $800000\n.header\nloop: beqz R0,loop\n");
  const TProcessResult r = RunProcess(As, {source});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(ReadFileText(dir.Path + "/prog.cod"), ".CODE\n0x00800000\n0x2\n0x52455341\n0x1000ffff\n");
}

TEST(AsTool, ListingAndImageOnRequest) {
  TTempDir dir;
  const std::string source = dir.File("p.asm", ".code 16\nx: .word 1\n");
  const TProcessResult r = RunProcess(As, {"-l", "-o", dir.Path + "/out.cod", source});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out,
            "                           1  .code 16\n$00000010:  00000001       2  x: .word 1\n\nsymbols:\n  x  "
            "$00000010  label     line 2\n");
  EXPECT_EQ(ReadFileText(dir.Path + "/out.cod"), ".CODE\n0x00000010\n0x1\n0x00000001\n");
  const TProcessResult toStdout = RunProcess(As, {"-o", "-", source});
  EXPECT_EQ(toStdout.Out, ".CODE\n0x00000010\n0x1\n0x00000001\n");
}

TEST(AsTool, ErrorsGoToStandardErrorAndNoImageIsWritten) {
  TTempDir dir;
  const std::string source = dir.File("bad.s", ".code 0\naddi R1,R0,99999\nfoo\n.word 1\n");
  const std::string stale = dir.File("bad.cod", "old image");
  const TProcessResult r = RunProcess(As, {"-l", source});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err,
            source + ":2:12: error: immediate 99999 out of range -32768..65535; use li for a constant of any size\n" +
                source + ":3:1: error: unknown mnemonic 'foo'; expected an instruction or a directive\n" + source +
                ":4:1: warning: data in the path of execution: the instruction before it goes on to this word; "
                "end the code before it with j, ret or an idle loop (beqz R00,.)\n"
                "tavora-as: 2 error(s); no image written\n");
  EXPECT_EQ(ReadFileText(stale), "old image");
}

TEST(AsTool, WarningsDoNotStopTheImage) {
  TTempDir dir;
  const std::string source = dir.File("w.s", ".code 0\n.word 1\n.data 0\n.word 2\n");
  const TProcessResult r = RunProcess(As, {source});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Err, source +
                       ":3:7: warning: section $0..$0 overlaps an earlier section from $0 on; memory keeps the earlier "
                       "section's words where they overlap\n");
  EXPECT_TRUE(Exists(dir.Path + "/w.cod"));
}

TEST(AsTool, NeverOverwritesItsSource) {
  TTempDir dir;
  const std::string source = dir.File("p.cod", ".code 0\n.word 1\n");
  const TProcessResult r = RunProcess(As, {source});
  EXPECT_EQ(r.Status, 3);
  EXPECT_NE(r.Err.find("would overwrite its source"), std::string::npos);
  EXPECT_EQ(ReadFileText(source), ".code 0\n.word 1\n");
  EXPECT_EQ(RunProcess(As, {"-o", dir.Path + "/./p.cod", source}).Status, 3);
}

TEST(AsTool, ExitCodes) {
  TTempDir dir;
  const std::string source = dir.File("ok.s", ".code 0\n.word 1\n");
  struct TCase {
    std::vector<std::string> Args;
    int Status;
  };
  const std::vector<TCase> cases = {
      {{dir.Path + "/missing.s"}, 1},
      {{dir.Path}, 1},
      {{"-o", dir.Path + "/no/such/dir/x.cod", source}, 3},
      {{}, 64},
      {{"-x", source}, 64},
      {{"-o"}, 64},
      {{source, source}, 64},
      {{"-h"}, 0},
      {{"--version"}, 0},
  };
  for (const TCase& c : cases) {
    const TProcessResult r = RunProcess(As, c.Args);
    EXPECT_EQ(r.Status, c.Status) << (c.Args.empty() ? "" : c.Args[0]) << "\n" << r.Err;
  }
  EXPECT_EQ(RunProcess(As, {"--version"}).Out, std::string("tavora-as ") + TAVORA_VERSION + "\n");
  EXPECT_EQ(RunProcess(As, {"-h"}).Out.rfind("usage: tavora-as [-o OUT.cod] [-l] SOURCE\n", 0), 0u);
}

// What is not a regular file is written, not replaced: checking a source
// with -o /dev/null is the usual call. A link is followed and stays a link;
// a file keeps its permissions.
TEST(AsTool, WritesIntoTheOutputWithoutReplacingIt) {
  TTempDir dir;
  const std::string source = dir.File("p.s", ".code 16\nx: .word 1\n");
  const std::string image = ".CODE\n0x00000010\n0x1\n0x00000001\n";
  const std::string pipe = dir.Path + "/pipe", device = dir.Path + "/null", link = dir.Path + "/link.cod";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const bool haveDevice = mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // /dev/null's twin
  const std::string target = dir.File("target.cod", "old"), plain = dir.File("plain.cod", "old");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(chmod(plain.c_str(), 0604), 0);
  ASSERT_EQ(symlink("target.cod", link.c_str()), 0);
  for (const std::string& output : {pipe, device, link, plain}) {
    if (output == device && !haveDevice) continue;
    const mode_t before = Mode(output);
    const TChildResult r = RunChild(As, {"-o", output, source});
    EXPECT_EQ(r.Status, 0) << output << "\n" << r.Err;
    EXPECT_EQ(Mode(output), before) << output;
  }
  std::string piped(4096, '\0');
  const ssize_t got = read(reader, piped.data(), piped.size());
  piped.resize(got > 0 ? size_t(got) : 0);
  close(reader);
  EXPECT_EQ(piped, image);
  EXPECT_EQ(ReadFileText(target), image);
  EXPECT_EQ(Mode(target) & 0777, 0640u);
  EXPECT_EQ(ReadFileText(plain), image);
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  EXPECT_TRUE(S_ISCHR(Mode("/dev/null")));
}

// A named pipe that nobody writes to or reads from is refused at once.
TEST(AsTool, NamedPipesWithoutTheOtherEndFailAtOnce) {
  TTempDir dir;
  const std::string source = dir.File("p.s", ".code 16\n.word 1\n");
  const std::string pipe = dir.Path + "/pipe.s";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const TChildResult in = RunChild(As, {"-o", dir.Path + "/p.cod", pipe});
  EXPECT_EQ(in.Status, 1) << in.Err;
  EXPECT_EQ(in.Err, "tavora-as: cannot read " + pipe + "\n");
  const TChildResult out = RunChild(As, {"-o", pipe, source});
  EXPECT_EQ(out.Status, 3) << out.Err;
  EXPECT_EQ(out.Err, "tavora-as: cannot write " + pipe + ": no process reads the named pipe\n");
}

TEST(AsTool, ReadsTheSourceFromStandardInput) {
  TTempDir dir;
  const std::string good = dir.File("good.s", ".code 16\n.word 1\n"), bad = dir.File("bad.s", ".code 16\nfoo\n");
  const TChildResult r = RunChild(As, {"-o", "-", "-"}, TChildSetup().Input(good));
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, ".CODE\n0x00000010\n0x1\n0x00000001\n");
  const TChildResult errors = RunChild(As, {"-o", dir.Path + "/bad.cod", "-"}, TChildSetup().Input(bad));
  EXPECT_EQ(errors.Status, 2);
  EXPECT_EQ(errors.Err.rfind("<stdin>:2:1: error: unknown mnemonic 'foo'", 0), 0u) << errors.Err;
  // No name to put the image beside.
  EXPECT_EQ(RunChild(As, {"-"}, TChildSetup().Input(good)).Status, 64);
  const std::string huge = dir.File("huge.s", "");
  std::filesystem::resize_file(huge, (uint64_t(1) << 28) + 1);  // sparse: costs no disk
  const TChildResult tooLarge = RunChild(As, {"-o", "-", "-"}, TChildSetup().Input(huge));
  EXPECT_EQ(tooLarge.Status, 1);
  EXPECT_EQ(tooLarge.Err, "tavora-as: cannot read standard input\n");
}

TEST(AsTool, AListingThatCannotBeWrittenIsAnError) {
  TTempDir dir;
  const std::string source = dir.File("p.s", ".code 16\n.word 1\n");
  const TChildResult r = RunChild(As, {"-l", "-o", dir.Path + "/p.cod", source}, TChildSetup().Output("/dev/full"));
  EXPECT_EQ(r.Status, 3);
  EXPECT_EQ(r.Err, "tavora-as: cannot write the listing\n");
}

}  // namespace

namespace {

// The slips of a first program, as tavora-as reports them: one message
// each, saying how to fix it, and none for the words after an unknown
// section directive.
TEST(AsTool, AStudentsSlipsGetOneMessageEachWithTheFix) {
  TTempDir dir;
  const std::string source = dir.File(
      "first.s",
      "\xef\xbb\xbf.text\nmain:  addi R1,R0,1\n       add R2,R1,R1\n.code $800000\n.header\nloop:  add R01,R01,5\n"
      "       jr done\n       addi R1 R0,2\n       bnez R1,lop\n       addd R1,R1,R1\n       addi R1,R0,70000\n"
      "done:  beqz R0,done\n");
  const TProcessResult r = RunProcess(As, {source});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err,
            source +
                ":1:1: error: unknown directive '.text'; a code section starts with .code ADDR, e.g. .code $800000\n" +
                source + ":6:20: error: bad register '5'; use addi for an immediate\n" + source +
                ":7:11: error: bad register 'done'; jr takes a register; to jump to a label write j done\n" + source +
                ":8:15: error: missing ',' after 'R1'\n" + source +
                ":9:16: error: undefined label 'lop'; did you mean loop?\n" + source +
                ":10:8: error: unknown mnemonic 'addd'; expected an instruction or a directive; did you mean add?\n" +
                source +
                ":11:19: error: immediate 70000 out of range -32768..65535; use li for a constant of any size\n"
                "tavora-as: 7 error(s); no image written\n");
}

}  // namespace
