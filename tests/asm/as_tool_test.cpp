// tavora-as through the real program: outputs, messages and exit codes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "Process.h"
#include "TempDir.h"

namespace {

const std::string As = TAVORA_AS_PATH;

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

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
  EXPECT_EQ(r.Out, "                           1  .code 16\n$00000010:  00000001       2  x: .word 1\n");
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
  EXPECT_EQ(r.Err, source + ":2:12: error: immediate 99999 out of range -32768..65535\n" + source +
                       ":3:1: error: unknown mnemonic 'foo'; expected an instruction or a directive\n"
                       "tavora-as: 2 error(s); no image written\n");
  EXPECT_EQ(ReadFileText(stale), "old image");
}

TEST(AsTool, WarningsDoNotStopTheImage) {
  TTempDir dir;
  const std::string source = dir.File("w.s", ".code 0\n.word 1\n.data 0\n.word 2\n");
  const TProcessResult r = RunProcess(As, {source});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Err, source + ":3:7: warning: section $0..$0 overlaps an earlier section\n");
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

}  // namespace
