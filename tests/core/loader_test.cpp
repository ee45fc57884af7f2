#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/CoreFixture.h"
#include "tests/support/TempDir.h"

namespace {

// Captions and messages in the order the loader sends them.
std::vector<std::string> Events;

class LoaderTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    Events.clear();
    DisplayHooks.CaptionChanged = [](const std::string& c) { Events.push_back("caption:" + c); };
    DisplayHooks.ShowMessage = [](const std::string& m) { Events.push_back("message:" + m); };
  }
  bool Load(const std::string& contents, const std::string& name = "prog.cod") {
    Path = Dir.File(name, contents);
    return LoadProgram(Path);
  }
  void ExpectDefaultImage() {
    EXPECT_EQ(TheMemory.ReadWord(HeaderAddress), HeaderWord);
    EXPECT_EQ(TheMemory.ReadWord(EntryAddress), IdleLoopWord);
    EXPECT_EQ(TheMemory.BlockCount(), 2u);
  }
  TTempDir Dir;
  std::string Path;
};

const std::string Invalid = "message:Die angegebene Datei einhält ungültige Daten.";
const std::string NoHeader = "message:Warnung: Das Programm hat keinen gültigen RESA-Header.";

const std::string Minimal = ".CODE\n$800000\n3\n$52455341\n$24010005\n$1000FFFF\n";

TEST_F(LoaderTest, ValidFileLoadsAndSetsStartRegisters) {
  EXPECT_TRUE(Load(Minimal + ".DS\n$800010\n16\n0\n"));
  EXPECT_EQ(TheMemory.ReadWord(0x800001), 0x24010005u);
  EXPECT_EQ(TheMemory.ReadWord(0x800010), 0u);
  EXPECT_EQ(TheMemory.ReadWord(0x80001F), 0u);
  EXPECT_EQ(TheMemory.ReadWord(0x800020), 0xFFFFFFFFu);
  EXPECT_EQ(TheState.GetReg(-1), EntryAddress);
  EXPECT_EQ(TheState.GetReg(30), HeaderAddress);
  EXPECT_EQ(ProgramFileName, Path);
  EXPECT_EQ(Events, std::vector<std::string>{"caption:Orvane  [" + Path + "]"});
}

TEST_F(LoaderTest, EmptyFileAndNoFileGiveTheDefaultImage) {
  EXPECT_TRUE(Load(""));
  ExpectDefaultImage();
  EXPECT_EQ(TheState.GetReg(-1), EntryAddress);
  EXPECT_EQ(TheState.GetReg(30), HeaderAddress);
  EXPECT_EQ(Events, std::vector<std::string>{"caption:Orvane  [" + Path + "]"});

  ResetCore();
  SetUp();
  EXPECT_TRUE(BuildImage());
  ExpectDefaultImage();
  EXPECT_EQ(Events, std::vector<std::string>{"caption:Orvane  []"});
}

TEST_F(LoaderTest, SectionKinds) {
  EXPECT_TRUE(Load(".DS\n100\n5\n7\n.MEM\n-4\n4\n.DATA\n0x200\n2\n-1\n+2\n" + Minimal));
  for (int32_t a = 100; a < 105; ++a) EXPECT_EQ(TheMemory.ReadWord(a), 7u);
  EXPECT_EQ(TheMemory.ReadWord(105), 0xFFFFFFFFu);
  for (int32_t a = -4; a < 0; ++a) EXPECT_EQ(TheMemory.ReadWord(a), 0u);
  EXPECT_EQ(TheMemory.ReadWord(0x200), 0xFFFFFFFFu);
  EXPECT_EQ(TheMemory.ReadWord(0x201), 2u);
}

TEST_F(LoaderTest, OverlappingSectionsEachKeepTheirBlock) {
  EXPECT_TRUE(Load(Minimal + ".DATA\n$800001\n1\n5\n"));
  EXPECT_EQ(TheMemory.BlockCount(), 2u);
  // The build ends with the header test, which caches the older section.
  EXPECT_EQ(TheMemory.ReadWord(0x800001), 0x24010005u);
  // A failed search leaves the newer one cached.
  TheMemory.ReadWord(0);
  EXPECT_EQ(TheMemory.ReadWord(0x800001), 5u);
  // Reading a word only the older section holds brings its copy forward.
  TheMemory.ReadWord(HeaderAddress);
  EXPECT_EQ(TheMemory.ReadWord(0x800001), 0x24010005u);
}

TEST_F(LoaderTest, LineEndVariants) {
  using namespace std::string_literals;
  for (const std::string& text : {".CODE\r$800000\r1\r$52455341\r"s, ".CODE\r\n$800000\r\n1\r\n$52455341\r\n"s,
                                  ".CODE\n$800000\n1\n$52455341"s, ".CODE\r\n$800000\n1\r$52455341\0garbage\n\n"s}) {
    ResetCore();
    SetUp();
    EXPECT_TRUE(Load(text)) << text;
    EXPECT_EQ(TheMemory.ReadWord(HeaderAddress), HeaderWord);
  }
}

class InvalidFileTest : public LoaderTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(InvalidFileTest, FallsBackToDefaultImage) {
  TheMemory.WriteWord(0x1234, 5);
  EXPECT_FALSE(ImageTextIsValid(GetParam()));
  EXPECT_FALSE(Load(GetParam()));
  ExpectDefaultImage();
  EXPECT_EQ(TheState.GetReg(-1), 0);  // not set on this path
  EXPECT_EQ(TheState.GetReg(30), 0);
  EXPECT_TRUE(ProgramLines.empty());
  EXPECT_EQ(Events, (std::vector<std::string>{"caption:Orvane", Invalid}));
  // A reset now builds the default image, still naming the file.
  Events.clear();
  EXPECT_TRUE(BuildImage());
  EXPECT_EQ(TheState.GetReg(-1), EntryAddress);
  EXPECT_EQ(Events, std::vector<std::string>{"caption:Orvane  [" + Path + "]"});
}

INSTANTIATE_TEST_SUITE_P(
    Forms, InvalidFileTest,
    ::testing::Values("\n", "\xEF\xBB\xBF.CODE\n$800000\n1\n$52455341\n", ".code\n$800000\n1\n$52455341\n",
                      ".CODE \n$800000\n1\n$52455341\n", " .CODE\n$800000\n1\n$52455341\n",
                      ".CODE\n$800000\n1\n$52455341\n\n.DS\n0\n1\n0\n", ".CODE\n$800000\n0\n", ".CODE\n$800000\n-1\n",
                      ".CODE\n$800000\n3\n$52455341\n1\n", ".DS\n$800000\n4\n", ".MEM\n$800000\n4\n$52455341\n",
                      ".CODE\n$800000\n", ".CODE\n", ".CODE\n$800000\n1\n$52455341 \n",
                      ".CODE\n$800000\n2\n$52455341\nzz\n", "\n.CODE\n$800000\n1\n$52455341\n",
                      ".CODE\n$800000\n1\n$52455341\n\n", ".CODE\n$800000\n1\n$52455341\n\n\r",
                      // past the last address, and more than an image may reserve
                      ".MEM\n$7FFFFFFF\n2\n", ".MEM\n0\n2147483647\n", ".MEM\n0\n16777216\n.MEM\n0\n1\n"));

// Checking a text alone says what loading it as a file would.
struct TImageCase {
  std::string Text;
  bool Valid;
};

class ImageCheckTest : public LoaderTest, public ::testing::WithParamInterface<TImageCase> {};

TEST_P(ImageCheckTest, AgreesWithALoad) {
  EXPECT_EQ(ImageTextIsValid(GetParam().Text), GetParam().Valid);
  EXPECT_EQ(Load(GetParam().Text), GetParam().Valid);
}

INSTANTIATE_TEST_SUITE_P(Images, ImageCheckTest,
                         ::testing::Values(TImageCase{"", true}, TImageCase{Minimal, true},
                                           TImageCase{".CODE\r\n$800000\r\n1\r\n$52455341", true},
                                           TImageCase{Minimal + ".DS\n$800010\n16\n-1\n.MEM\n0\n16777194\n", true},
                                           TImageCase{Minimal + std::string("\0garbage", 8), true},
                                           TImageCase{Minimal + ".DATA\n$7FFFFFFE\n2\n1\n2\n.DATA\n$80000000\n1\n3\n",
                                                      true},
                                           TImageCase{Minimal + ".DS\n$800010\n16\n", false},
                                           TImageCase{Minimal + ".DATA\n$7FFFFFFF\n2\n1\n2\n", false},
                                           TImageCase{Minimal + ".MEM\n0\n16777214\n", false},
                                           TImageCase{".CODE\n10\n3\n1\n2\nx\n", false}));

TEST_F(LoaderTest, InvalidWordsAreWrittenBeforeTheFailureWipesThem) {
  static std::vector<int32_t> stores;
  stores.clear();
  DisplayHooks.MemoryChanged = [](int32_t a) { stores.push_back(a); };
  EXPECT_FALSE(Load(".CODE\n10\n3\n1\n2\nx\n"));
  EXPECT_EQ(stores, (std::vector<int32_t>{10, 11, HeaderAddress, EntryAddress}));
  EXPECT_EQ(TheMemory.ReadWord(10), 0xFFFFFFFFu);
}

TEST_F(LoaderTest, ImageAtTheTopOfTheAddressRangeLoads) {
  EXPECT_TRUE(Load(Minimal + ".DATA\n$7FFFFFFE\n2\n1\n2\n.DATA\n$80000000\n1\n3\n"));
  EXPECT_EQ(TheMemory.ReadWord(INT32_MAX), 2u);
  EXPECT_EQ(TheMemory.ReadWord(INT32_MIN), 3u);
}

TEST_F(LoaderTest, ReservesUpToTheImageLimit) {
  EXPECT_TRUE(Load(Minimal + ".MEM\n0\n16777213\n"));
  EXPECT_EQ(TheMemory.ReadWord(16777212), 0u);
}

// One section more than the cap, or more lines than any valid image can
// have, makes the file invalid before anything is built.
TEST_F(LoaderTest, SectionAndLineCaps) {
  static int stores;
  stores = 0;
  DisplayHooks.MemoryChanged = [](int32_t) { ++stores; };
  std::string sections;
  sections.reserve(size_t(MaxSections) * 12);
  for (int64_t k = 0; k < MaxSections; ++k) sections += ".MEM\n" + std::to_string(k) + "\n1\n";
  EXPECT_FALSE(Load(Minimal + sections));
  EXPECT_EQ(stores, 2);  // only the default image's two words
  ExpectDefaultImage();
  EXPECT_FALSE(Load(std::string(MaxImageLines + 1, '\n')));
  ExpectDefaultImage();

  TProgramLines lines;
  EXPECT_TRUE(lines.Assign("a\nb\n", 2));
  EXPECT_FALSE(lines.Assign("a\nb\nc", 2));
  EXPECT_TRUE(lines.empty());
}

TEST_F(LoaderTest, MissingHeaderWarnsOnEveryBuild) {
  EXPECT_TRUE(Load(".CODE\n$800001\n1\n$1000FFFF\n"));
  EXPECT_EQ(Events, (std::vector<std::string>{"caption:Orvane  [" + Path + "]", NoHeader}));
  EXPECT_TRUE(BuildImage());
  EXPECT_EQ(Events.size(), 4u);
  EXPECT_EQ(Events.back(), NoHeader);
  EXPECT_EQ(TheMemory.ReadWord(EntryAddress), IdleLoopWord);
}

TEST_F(LoaderTest, UnreadableFileChangesNothing) {
  EXPECT_TRUE(Load(Minimal));
  Events.clear();
  const std::string missing = Dir.Path + "/missing.cod";
  try {
    LoadProgram(missing);
    FAIL() << "no error";
  } catch (const TFileOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Datei " + missing + " kann nicht geöffnet werden");
  }
  EXPECT_THROW(LoadProgram(Dir.Path), TFileOpenError);  // a folder
  const std::string fifo = Dir.Path + "/pipe.cod";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(LoadProgram(fifo), TFileOpenError);  // would block until written to
  EXPECT_THROW(LoadProgram("/dev/null"), TFileOpenError);
  EXPECT_EQ(ProgramFileName, Path);
  EXPECT_EQ(ProgramLines.size(), 6u);
  EXPECT_EQ(TheMemory.ReadWord(0x800001), 0x24010005u);
  EXPECT_TRUE(Events.empty());
}

TEST_F(LoaderTest, ResetRebuildsTheLoadedImage) {
  EXPECT_TRUE(Load(Minimal));
  TheMemory.WriteWord(0x800001, 0);
  TheMemory.WriteWord(77, 1);
  TheState.SetReg(4, 9);
  EXPECT_TRUE(BuildImage());
  EXPECT_EQ(TheMemory.ReadWord(0x800001), 0x24010005u);
  EXPECT_EQ(TheMemory.ReadWord(77), 0xFFFFFFFFu);
  EXPECT_EQ(TheState.GetReg(4), 0);
}

TEST(ProgramLinesTest, SplitsOnEveryLineEnd) {
  TProgramLines lines;
  lines.Assign("a\n\rb\r\nc\rd");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "a");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "b");
  EXPECT_EQ(lines[3], "c");
  EXPECT_EQ(lines[4], "d");
  lines.Assign("x\n");
  EXPECT_EQ(lines.size(), 1u);
  lines.Assign(std::string("x\0y\nz", 5));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "x");
  lines.Assign("");
  EXPECT_TRUE(lines.empty());
}

struct NumberCase {
  const char* text;
  bool ok;
  int32_t value;
};

class NumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTest, Syntax) {
  int32_t v = 12345;
  EXPECT_EQ(ParseNumber(GetParam().text, v), GetParam().ok) << GetParam().text;
  if (GetParam().ok) {
    EXPECT_EQ(v, GetParam().value) << GetParam().text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NumberTest,
    ::testing::Values(NumberCase{"010", true, 10}, NumberCase{"0", true, 0}, NumberCase{"-5", true, -5},
                      NumberCase{"+5", true, 5}, NumberCase{"$ff", true, 255}, NumberCase{"0xFF", true, 255},
                      NumberCase{"0XfF", true, 255}, NumberCase{"x0ff", true, 255}, NumberCase{"X10", true, 16},
                      NumberCase{"   7", true, 7}, NumberCase{"2147483647", true, INT32_MAX},
                      NumberCase{"-2147483648", true, INT32_MIN}, NumberCase{"$FFFFFFFF", true, -1},
                      NumberCase{"$000000000001", true, 1}, NumberCase{"00000000000000000009", true, 9},
                      NumberCase{"7 ", false, 0}, NumberCase{"", false, 0}, NumberCase{" ", false, 0},
                      NumberCase{"\t7", false, 0}, NumberCase{"-", false, 0}, NumberCase{"+", false, 0},
                      NumberCase{"-$5", false, 0}, NumberCase{"+0x5", false, 0}, NumberCase{"$", false, 0},
                      NumberCase{"0x", false, 0}, NumberCase{"x", false, 0}, NumberCase{"2147483648", false, 0},
                      NumberCase{"-2147483649", false, 0}, NumberCase{"99999999999999999999", false, 0},
                      NumberCase{"$100000000", false, 0}, NumberCase{"$12g", false, 0}, NumberCase{"1e3", false, 0},
                      NumberCase{"0b1", false, 0}, NumberCase{"--1", false, 0}));

}  // namespace
