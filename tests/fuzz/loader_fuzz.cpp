// Fuzz target for the .cod loader. The same bytes are built from text
// (ProgramLines.Assign, BuildImage) and loaded from a file (LoadProgram);
// both roads must end in the same image with the messages a user would see,
// and the reset that follows every load must rebuild it.
#include <string>
#include <vector>

#include "core/CPU.h"
#include "core/Loader.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Larger inputs only repeat what smaller ones reach, more slowly.
constexpr size_t MaxInput = size_t(1) << 20;

std::vector<std::string> Messages;
std::string Caption;

void ResetCore() {
  TheMemory.Clear();
  TheState.Reset();
  ProgramLines.Clear();
  ProgramFileName.clear();
  Messages.clear();
  Caption.clear();
}

struct TOutcome {
  bool Valid;
  uint32_t Pc, R30, Header, Entry;
  size_t Lines, Blocks;
  std::vector<std::string> Messages;
  std::string Caption;
  bool operator==(const TOutcome&) const = default;
};

TOutcome Build(bool valid) {
  TOutcome o{valid,
             uint32_t(TheState.GetReg(-1)),
             uint32_t(TheState.GetReg(30)),
             TheMemory.ReadWord(HeaderAddress),
             TheMemory.ReadWord(EntryAddress),
             ProgramLines.size(),
             TheMemory.BlockCount(),
             Messages,
             Caption};
  Messages.clear();
  Caption.clear();
  return o;
}

void CheckOutcome(const TOutcome& o, const std::string& name) {
  if (o.Valid) {
    FUZZ_CHECK(o.Pc == uint32_t(EntryAddress) && o.R30 == uint32_t(HeaderAddress));
    FUZZ_CHECK(o.Caption == "Orvane  [" + name + "]");
    const std::vector<std::string> expected =
        o.Header == HeaderWord ? std::vector<std::string>{} : std::vector<std::string>{HeaderWarning};
    FUZZ_CHECK(o.Messages == expected);
  } else {
    // The default image, no file lines, and exactly the one message.
    FUZZ_CHECK(o.Pc == 0 && o.R30 == 0);
    FUZZ_CHECK(o.Header == HeaderWord && o.Entry == IdleLoopWord);
    FUZZ_CHECK(o.Lines == 0 && o.Caption == "Orvane");
    FUZZ_CHECK(o.Messages == std::vector<std::string>{InvalidFileMessage});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > MaxInput) return -1;
  DisplayHooks.ShowMessage = [](const std::string& text) { Messages.push_back(text); };
  DisplayHooks.CaptionChanged = [](const std::string& text) { Caption = text; };
  const std::string text(reinterpret_cast<const char*>(data), size);

  // From text, as a reset sees it.
  ResetCore();
  ProgramLines.Assign(text);
  for (size_t i = 0; i < ProgramLines.size(); ++i) {
    const std::string_view line = ProgramLines[i];
    FUZZ_CHECK(line.find_first_of(std::string_view("\n\r\0", 3)) == std::string_view::npos);
  }
  const TOutcome fromText = Build(BuildImage());
  CheckOutcome(fromText, "");

  // The reset rebuilds the same image, or the default one after an invalid file.
  const TOutcome reset = Build(BuildImage());
  FUZZ_CHECK(reset.Valid);
  if (fromText.Valid) {
    FUZZ_CHECK(reset == fromText);
  } else {
    FUZZ_CHECK(reset.Pc == uint32_t(EntryAddress) && reset.Lines == 0 && reset.Messages.empty());
  }

  // From a file, as the debugger's open action and the runner load it.
  ResetCore();
  const std::string path = TScratch::Get().Write("image.cod", data, size);
  const TOutcome fromFile = Build(LoadProgram(path));
  CheckOutcome(fromFile, path);
  FUZZ_CHECK(fromFile.Valid == fromText.Valid && fromFile.Pc == fromText.Pc && fromFile.Header == fromText.Header &&
             fromFile.Entry == fromText.Entry && fromFile.Lines == fromText.Lines &&
             fromFile.Blocks == fromText.Blocks);
  FUZZ_CHECK(ProgramFileName == path);
  return 0;
}
