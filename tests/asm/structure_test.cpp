// Includes and macros through tavora-as, where a student meets them: what
// they assemble to, where their messages point, and the limits that keep a
// source that includes or expands itself finite.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "asm/Assembler.h"
#include "tests/support/AsmSupport.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

const std::string As = TAVORA_AS_PATH;

// A file in the folder, its subfolders made as needed.
std::string Put(const TTempDir& dir, const std::string& name, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(dir.Path + "/" + name).parent_path());
  return dir.File(name, text);
}

TProcessResult Assemble(const std::string& source) { return RunProcess(As, {"-o", "-", source}); }

// tavora-as run in the folder, so that messages show names relative to it.
TProcessResult RunIn(const std::string& folder, const std::vector<std::string>& args) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  TProcessResult r = RunProcess(As, args);
  std::filesystem::current_path(before);
  return r;
}

TEST(Include, FilesAreFoundBesideTheFileThatIncludesThem) {
  TTempDir dir;
  Put(dir, "lib/words.s", ".include \"more/two.s\"\n.word 1\n");
  Put(dir, "lib/more/two.s", ".word 2\n");
  const std::string main =
      Put(dir, "main.s", ".code $10\n.include \"lib/words.s\"\n.word 3\n.include \"lib/more/two.s\"\n");
  const TProcessResult r = Assemble(main);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, ".CODE\n0x00000010\n0x4\n0x00000002\n0x00000001\n0x00000003\n0x00000002\n");
}

TEST(Include, MessagesNameTheIncludedLineAndWhereItWasIncluded) {
  TTempDir dir;
  Put(dir, "lib/inner.s", "\n  addi R1,R99,1\n");
  Put(dir, "lib/outer.s", ".include \"inner.s\"\nx: .word 1\n");
  const std::string main = Put(dir, "main.s", ".code 0\nx: .word 0\n.include \"lib/outer.s\"\n");
  const TProcessResult r = RunIn(dir.Path, {"-o", "-", "main.s"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err,
            "lib/inner.s:2:11: error: bad register 'R99'; expected R0..R31 (included from lib/outer.s:1, included "
            "from main.s:3)\n"
            "lib/outer.s:2:1: error: duplicate label 'x' (first defined at main.s:2) (included from main.s:3)\n"
            "tavora-as: 2 error(s); no image written\n");
}

TEST(Include, MissingFilesCyclesAndDepthAreErrorsAtTheInclude) {
  TTempDir dir;
  Put(dir, "a.s", ".include \"b.s\"\n");
  Put(dir, "b.s", ".word 1\n.include \"a.s\"\n");
  for (int k = 0; k < 20; ++k)
    Put(dir, "d" + std::to_string(k) + ".s", ".include \"d" + std::to_string(k + 1) + ".s\"\n");
  Put(dir, "d20.s", ".word 1\n");
  struct TCase {
    std::string Main, Err;
  };
  const TCase cases[] = {
      {".code 0\n  .include \"none.s\"\n", "main.s:2:12: error: cannot include 'none.s': no such file\n"},
      {".code 0\n.include \"main.s\"\n",
       "main.s:2:10: error: 'main.s' includes itself; an .include must not lead back to a file being read\n"},
      {".code 0\n.include \"a.s\"\n",
       "b.s:2:10: error: 'a.s' includes itself through b.s; an .include must not lead back to a file being read "
       "(included from a.s:1, included from main.s:2)\n"},
      {".code 0\n.include \"d0.s\"\n",
       "d15.s:1:1: error: more than 16 nested .include; is a file including itself? (included from d14.s:1, included "
       "from d13.s:1, included from d12.s:1, included from d11.s:1, included from "
       "d10.s:1, included from d9.s:1, included from d8.s:1, included from d7.s:1, included from d6.s:1, included "
       "from d5.s:1, included from d4.s:1, included from d3.s:1, included from d2.s:1, included from d1.s:1, "
       "included from d0.s:1, included from main.s:2)\n"},
      {".code 0\n.include lib.s\n", "main.s:2:10: error: expected a text in double quotes, as in \"Hallo\"\n"},
  };
  for (const TCase& c : cases) {
    Put(dir, "main.s", c.Main);
    const TProcessResult r = RunIn(dir.Path, {"-o", "-", "main.s"});
    EXPECT_EQ(r.Status, 2) << c.Main;
    EXPECT_EQ(r.Err.substr(0, r.Err.find("tavora-as:")), c.Err) << c.Main;
  }
}

// A file name that is not UTF-8 appears in messages as \xNN, like the
// source text does.
TEST(Include, MessagesShowAFileNameThatIsNotUtf8Readably) {
  TTempDir dir;
  Put(dir, "b\xe9.s", "bad\n");
  Put(dir, "main.s", ".code 0\n.include \"b\xe9.s\"\n");
  const TProcessResult r = RunIn(dir.Path, {"-o", "-", "main.s"});
  EXPECT_EQ(r.Err.substr(0, r.Err.find("tavora-as:")),
            "b\\xe9.s:1:1: error: unknown mnemonic 'bad'; expected an instruction or a directive (included from "
            "main.s:2)\n");
}

TEST(Include, TheScratchRegisterOfAFileEndsWithIt) {
  TTempDir dir;
  Put(dir, "lib.s", ".scratch R27\nx: blt R1,R2,x\n");
  const std::string main = Put(dir, "main.s", ".code 0\n.scratch R28\n.include \"lib.s\"\ny: beq R1,R2,y\n");
  const TProcessResult r = Assemble(main);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("0x0022d824\n"), std::string::npos) << r.Out;  // xor R27 in lib.s
  EXPECT_NE(r.Out.find("0x0022e024\n"), std::string::npos) << r.Out;  // xor R28 after it
}

TEST(Include, ASourceWithoutAFileCannotInclude) {
  const TAsmResult r = ::Assemble(".code 0\n.include \"x.s\"\n");
  EXPECT_EQ(Messages(r), "t.s:2:10: error: cannot include 'x.s': this source is not read from a file\n");
}

TEST(Include, TheListingShowsIncludedLinesWithTheirFile) {
  TTempDir dir;
  Put(dir, "lib.s", "; library\nf: ret\n.word 7\n");
  const std::string main = Put(dir, "main.s", ".code $10\n.include \"lib.s\"\n");
  const TProcessResult r = RunIn(dir.Path, {"-l", "-o", "/dev/null", "main.s"});
  EXPECT_EQ(r.Out,
            "                           1  .code $10\n"
            "                           2  .include \"lib.s\"\n"
            "                      lib.s:2  f: ret\n"
            "$00000010:  5be00000            jr    R31\n"
            "$00000011:  00000007    lib.s:3  .word 7\n"
            "\n"
            "symbols:\n"
            "  f  $00000010  label     lib.s:2\n");
}

struct TMacroCase {
  const char* Source;  // after .code $10
  std::vector<uint32_t> Expected;
};

class Macros : public ::testing::TestWithParam<TMacroCase> {};

TEST_P(Macros, Expand) {
  const TAsmResult r = ::Assemble(std::string(".code $10\n") + GetParam().Source + "\n");
  ASSERT_TRUE(r.Ok()) << GetParam().Source << "\n" << Messages(r);
  EXPECT_EQ(Words(r), GetParam().Expected) << GetParam().Source;
}

INSTANTIATE_TEST_SUITE_P(
    Language, Macros,
    ::testing::Values(
        TMacroCase{".macro two a, b\n.word \\a, \\b\n.endm\ntwo 1, 2\nTWO 3,4", {1, 2, 3, 4}},
        TMacroCase{".macro none\n.word 9\n.ENDM\nnone\nnone", {9, 9}},
        // \@ gives each expansion its own labels.
        TMacroCase{".macro wait\nw\\@: beqz R0,w\\@\n.endm\nwait\nwait\n.word w0, w1",
                   {0x1000FFFF, 0x1000FFFF, 0x10, 0x11}},
        // Macros calling macros, and local labels inside them.
        TMacroCase{
            ".macro inner x\n.word \\x+1\n.endm\n.macro outer x\ninner \\x\n1: inner \\x*2\n.word 1b\n.endm\nouter 5",
            {6, 11, 0x11}},
        // Parameters in texts; escapes that are not parameters stay.
        TMacroCase{".macro say t\n.ascii \"\\t\\n\"\n.endm\nsay x", {'x', '\n'}},
        TMacroCase{"; a label before a call names its first word\n.macro w v\n.word \\v\n.endm\nhere: w here",
                   {0x10}}));

struct TMacroError {
  std::string Source;
  std::string Messages;
};

// A macro that calls itself: the message names all 64 calls.
std::string SelfCallMessage() {
  std::string text = "t.s:3:1: error: macros nested more than 64 deep; does m call itself? (";
  for (int i = 0; i < 63; ++i) text += "in macro m called from t.s:3, ";
  return text + "in macro m called from t.s:5)\n";
}

class MacroErrors : public ::testing::TestWithParam<TMacroError> {};

TEST_P(MacroErrors, Report) {
  const TAsmResult r = ::Assemble(".code 0\n" + GetParam().Source + "\n");
  EXPECT_FALSE(r.Ok());
  EXPECT_EQ(Messages(r), GetParam().Messages) << GetParam().Source;
}

INSTANTIATE_TEST_SUITE_P(
    Language, MacroErrors,
    ::testing::Values(
        TMacroError{".macro m r\n  addi \\r,R0,1\n  .word \\r\n.endm\nm R99\n",
                    "t.s:3:8: error: bad register 'R99'; expected R0..R31 (in macro m called from t.s:6)\n"
                    "t.s:4:9: error: undefined label 'R99' (in macro m called from t.s:6)\n"},
        TMacroError{".macro outer\ninner\n.endm\n.macro inner\nj nowhere\n.endm\nouter",
                    "t.s:6:3: error: undefined label 'nowhere' (in macro inner called from t.s:3, in macro outer "
                    "called from t.s:8)\n"},
        TMacroError{".macro m a,b\n.endm\nm 1", "t.s:4:1: error: macro m expects 2 arguments (a,b), found 1\n"},
        TMacroError{".macro m\n.endm\n.macro M\n.endm", "t.s:4:8: error: macro 'M' is already defined (at line 2)\n"},
        TMacroError{".macro add\n.endm",
                    "t.s:2:8: error: macro name 'add' is an instruction or register of the language\n"},
        TMacroError{".macro m\n.word 1", "t.s:2:1: error: '.macro m' has no .endm before the end of its file\n"},
        TMacroError{".endm", "t.s:2:1: error: .endm without a .macro before it\n"},
        TMacroError{".macro m x,x\n.endm", "t.s:2:12: error: parameter 'x' appears twice\n"},
        TMacroError{".macro m\n.macro n\n.endm",
                    "t.s:3:1: error: a .macro inside the body of 'm'; end that one with .endm first\n"},
        TMacroError{".macro m\nm\n.endm\nm", SelfCallMessage()}));

TEST(MacroListing, ExpansionsUnderTheirCall) {
  const std::string source = ".code $10\n.macro cell v\n  addi R1,R0,\\v\n  .word \\v\n.endm\n  cell 7\n";
  EXPECT_EQ(ListingText(::Assemble(source), source),
            "                           1  .code $10\n"
            "                           2  .macro cell v\n"
            "                           3    addi R1,R0,\\v\n"
            "                           4    .word \\v\n"
            "                           5  .endm\n"
            "                           6    cell 7\n"
            "$00000010:  24010007            addi  R01,R00,$0007\n"
            "$00000011:  00000007\n");
}

// A macro that calls itself twice, and a million calls: a clear error after
// the expansion limit, quickly.
TEST(MacroLimits, ExpansionsAreBounded) {
  std::string calls = ".code 0\n.macro m\nnop\n.endm\n";
  for (int k = 0; k < 1000000; ++k) calls += "m\n";
  const TAsmResult many = ::Assemble(calls);
  EXPECT_EQ(Messages(many), "t.s:100005:1: error: more than 100000 macro expansions in this source\n");

  const TAsmResult doubling = ::Assemble(".code 0\n.macro m\nnop\nm\nm\n.endm\nm\n");
  ASSERT_EQ(doubling.ErrorCount, 1u);
  EXPECT_NE(doubling.Diagnostics[0].Message.find("nested more than 64 deep"), std::string::npos);
}

}  // namespace
