#include "core/Loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "core/CPU.h"

const char* const InvalidFileMessage = "Die angegebene Datei einhält ungültige Daten.";
const char* const HeaderWarning = "Warnung: Das Programm hat keinen gültigen RESA-Header.";

TFileOpenError::TFileOpenError(const std::string& name)
    : std::runtime_error("Datei " + name + " kann nicht geöffnet werden"), FileName(name) {}

// ---------------------------------------------------------------- lines

namespace {

// Calls line(start) for the start of every line of the text, until it
// returns false; returns whether every line was seen.
template <class Line>
bool ForEachLine(const std::string& text, Line&& line) {
  const size_t n = text.size();
  size_t pos = 0;
  while (pos < n) {
    if (!line(pos)) return false;
    size_t end = pos;
    while (end < n && text[end] != '\n' && text[end] != '\r') ++end;
    if (end == n) {
      pos = n;
    } else if (text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') {
      pos = end + 2;
    } else {
      pos = end + 1;
    }
  }
  return true;
}

}  // namespace

bool TProgramLines::Assign(std::string text, size_t maxLines) {
  if (size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  // Counted first, so the starts take one exact allocation and a file of
  // nothing but line ends is refused before it costs four bytes a line.
  size_t lines = 0;
  const bool fits = ForEachLine(text, [&](size_t) { return ++lines <= maxLines; });
  Clear();
  if (!fits) return false;
  std::vector<uint32_t> starts;
  starts.reserve(lines + 1);
  ForEachLine(text, [&](size_t pos) {
    starts.push_back(uint32_t(pos));
    return true;
  });
  starts.push_back(uint32_t(text.size()));
  Text = std::move(text);
  Starts = std::move(starts);
  return true;
}

void TProgramLines::Clear() {
  Text.clear();
  Text.shrink_to_fit();
  Starts.clear();
  Starts.shrink_to_fit();
}

std::string_view TProgramLines::operator[](size_t i) const {
  std::string_view line(Text.data() + Starts[i], Starts[i + 1] - Starts[i]);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// ---------------------------------------------------------------- numbers

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(std::string_view digits, int32_t& value) {
  if (digits.empty()) return false;
  uint32_t v = 0;
  int significant = 0;
  for (char c : digits) {
    int d = HexValue(c);
    if (d < 0) return false;
    if (significant > 0 || d != 0) {
      if (++significant > 8) return false;
      v = v << 4 | uint32_t(d);
    }
  }
  value = int32_t(v);
  return true;
}

}  // namespace

bool ParseNumber(std::string_view text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  text.remove_prefix(i);
  if (text.empty()) return false;
  if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') return ParseHex(text.substr(1), value);
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return ParseHex(text.substr(2), value);

  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  const uint64_t limit = negative ? uint64_t(1) << 31 : (uint64_t(1) << 31) - 1;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + uint64_t(c - '0');
    if (v > limit) return false;
  }
  value = negative ? int32_t(uint32_t(0) - uint32_t(v)) : int32_t(v);
  return true;
}

// ---------------------------------------------------------------- image

namespace {

struct TInvalidImage {};

void SetCaption(const std::string& caption) {
  if (DisplayHooks.CaptionChanged) DisplayHooks.CaptionChanged(caption);
}

void ShowMessage(const char* text) {
  if (DisplayHooks.ShowMessage) DisplayHooks.ShowMessage(text);
}

void WriteDefaultImage() {
  TheMemory.WriteWord(HeaderAddress, HeaderWord);
  TheMemory.WriteWord(EntryAddress, IdleLoopWord);
}

int32_t NumberAt(const TProgramLines& lines, size_t line) {
  int32_t v;
  if (line >= lines.size() || !ParseNumber(lines[line], v)) throw TInvalidImage{};
  return v;
}

// The kind of section a keyword line starts, or None.
enum class TSectionKind { None, Words, Fill, Reserve };

TSectionKind KindOf(std::string_view keyword) {
  if (keyword == ".CODE" || keyword == ".DATA") return TSectionKind::Words;
  if (keyword == ".DS") return TSectionKind::Fill;
  if (keyword == ".MEM") return TSectionKind::Reserve;
  return TSectionKind::None;
}

size_t LinesOf(TSectionKind kind, int32_t count) {
  return kind == TSectionKind::Words ? 3 + size_t(count) : kind == TSectionKind::Fill ? 4 : 3;
}

// An image beyond the caps is refused before anything is allocated for it.
// The walk stops quietly at the first malformed section: the build then
// fails there as it always has.
void CheckCaps(const TProgramLines& lines) {
  int64_t reserved = 0, sections = 0;
  size_t i = 0;
  int32_t count;
  while (i + 2 < lines.size()) {
    const TSectionKind kind = KindOf(lines[i]);
    if (kind == TSectionKind::None || !ParseNumber(lines[i + 2], count) || count < 1) return;
    reserved += count;
    if (++sections > MaxSections || reserved > MaxImageWords) throw TInvalidImage{};
    i += LinesOf(kind, count);
  }
}

// The one reading of an image's sections, for building it and for checking
// it alone: `sink` gets Block(start, count) for every section, then
// Fill(start, count, value) or Word(address, value) for its contents, in
// file order. Throws TInvalidImage at the first rule the text breaks.
template <class Sink>
void WalkSections(const TProgramLines& lines, Sink& sink) {
  CheckCaps(lines);
  size_t i = 0;
  while (i < lines.size()) {
    const TSectionKind kind = KindOf(lines[i]);
    if (kind == TSectionKind::None) throw TInvalidImage{};
    const int32_t start = NumberAt(lines, i + 1);
    const int32_t count = NumberAt(lines, i + 2);
    if (count < 1) throw TInvalidImage{};
    // A section past the last address is refused like any other invalid
    // contents.
    if (int64_t(start) + count > int64_t(INT32_MAX) + 1) throw TInvalidImage{};
    sink.Block(start, count);
    if (kind == TSectionKind::Fill) {
      sink.Fill(start, count, uint32_t(NumberAt(lines, i + 3)));
    } else if (kind == TSectionKind::Words) {
      for (int32_t k = 0; k < count; ++k)
        sink.Word(int32_t(uint32_t(start) + uint32_t(k)), uint32_t(NumberAt(lines, i + 3 + size_t(k))));
    }
    i += LinesOf(kind, count);
  }
}

struct TMemorySink {
  void Block(int32_t start, int32_t count) { TheMemory.AddBlock(start, count); }
  void Fill(int32_t start, int32_t count, uint32_t value) {
    for (int32_t k = 0; k < count; ++k) TheMemory.WriteWord(int32_t(uint32_t(start) + uint32_t(k)), value);
  }
  void Word(int32_t address, uint32_t value) { TheMemory.WriteWord(address, value); }
};

struct TCheckOnly {
  void Block(int32_t, int32_t) {}
  void Fill(int32_t, int32_t, uint32_t) {}
  void Word(int32_t, uint32_t) {}
};

void BuildSections() {
  TMemorySink memory;
  WalkSections(ProgramLines, memory);
}

bool Build(bool knownInvalid) {
  TheMemory.Clear();
  TheState.Reset();
  bool valid = true;
  try {
    if (knownInvalid) throw TInvalidImage{};
    if (ProgramLines.empty()) {
      WriteDefaultImage();
    } else {
      BuildSections();
    }
    TheState.SetReg(-1, EntryAddress);
    TheState.SetReg(30, HeaderAddress);
    SetCaption("Orvane  [" + ProgramFileName + "]");
  } catch (...) {
    // Whatever went wrong (bad contents, no memory for a block), the user
    // gets the default image and one message.
    valid = false;
    TheMemory.Clear();
    TheState.Reset();
    WriteDefaultImage();
    ProgramLines.Clear();
    SetCaption("Orvane");
    ShowMessage(InvalidFileMessage);
  }
  if (TheMemory.ReadWord(HeaderAddress) != HeaderWord) ShowMessage(HeaderWarning);
  return valid;
}

// Reads a whole regular file; false when it cannot be opened or read, or is
// something else (a named pipe or a terminal would block until written to).
// Sets tooBig (and returns true) for a file beyond MaxFileBytes.
bool ReadWholeFile(const std::string& name, std::string& text, bool& tooBig) {
  tooBig = false;
  struct TFile {
    int fd;
    ~TFile() {
      if (fd >= 0) close(fd);
    }
  } file{open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
  const int fd = file.fd;
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (uint64_t(st.st_size) > MaxFileBytes) {
    tooBig = true;
    return true;
  }
  text.reserve(size_t(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    // The file may grow while it is read.
    if (text.size() + size_t(got) > MaxFileBytes) {
      tooBig = true;
      text.clear();
      return true;
    }
    text.append(buffer, size_t(got));
  }
}

}  // namespace

bool BuildImage() { return Build(false); }

std::vector<TSectionRange> ImageSections() {
  if (ProgramLines.empty()) return {{HeaderAddress, 2}};
  struct TRanges : TCheckOnly {
    std::vector<TSectionRange> List;
    void Block(int32_t start, int32_t count) { List.push_back({start, count}); }
  } ranges;
  try {
    WalkSections(ProgramLines, ranges);
  } catch (const TInvalidImage&) {
    return {};
  }
  return std::move(ranges.List);
}

bool ImageTextIsValid(std::string text) {
  if (text.size() > MaxFileBytes) return false;
  try {
    TProgramLines lines;
    if (!lines.Assign(std::move(text), MaxImageLines)) return false;
    TCheckOnly nothing;
    WalkSections(lines, nothing);
  } catch (const TInvalidImage&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;  // as LoadProgram takes a file it cannot hold
  }
  return true;
}

bool LoadProgram(const std::string& name) {
  std::string text;
  bool tooBig = false;
  bool taken = false;
  try {
    if (!ReadWholeFile(name, text, tooBig)) throw TFileOpenError(name);
    taken = !tooBig && ProgramLines.Assign(std::move(text), MaxImageLines);
  } catch (const std::bad_alloc&) {
    // A file we cannot hold is an invalid file, not the end of the program.
    taken = false;
  }
  // The name changes only once the file has been read, so a caption never
  // names a file whose contents are not the ones loaded.
  ProgramFileName = name;
  if (!taken) {
    ProgramLines.Clear();
    return Build(true);
  }
  return Build(false);
}
