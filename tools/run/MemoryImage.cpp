#include "tools/run/MemoryImage.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "core/Loader.h"
#include "core/Memory.h"
#include "core/Text.h"
#include "tools/common/OutputFile.h"

namespace runner {

namespace {

struct TRun {
  int64_t Start, End;  // [Start, End)
};

// The sections' ranges merged where they overlap or touch.
std::vector<TRun> Runs() {
  std::vector<TRun> runs;
  for (const TSectionRange& s : ImageSections()) runs.push_back({s.Start, int64_t(s.Start) + s.Count});
  std::sort(runs.begin(), runs.end(), [](const TRun& a, const TRun& b) { return a.Start < b.Start; });
  std::vector<TRun> merged;
  for (const TRun& r : runs) {
    if (!merged.empty() && r.Start <= merged.back().End)
      merged.back().End = std::max(merged.back().End, r.End);
    else
      merged.push_back(r);
  }
  return merged;
}

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) out += (c >= 32 && c != 127) ? c : '?';
  return out;
}

}  // namespace

bool WriteMemoryImage(const std::string& path, const std::string& program, std::string& error) {
  const std::vector<TRun> runs = Runs();
  int64_t words = 0;
  for (const TRun& r : runs) words += r.End - r.Start;

  TOutputFile output;
  std::FILE* file = stdout;
  if (path != "-") {
    if (!output.Open(path, error)) {
      error = "cannot write the memory image " + path + ": " + error;
      return false;
    }
    file = output.Stream();
  }
  bool failed = false;
  int writeError = 0;
  std::string text = "// memory image of " + Printable(program) + ": " + std::to_string(words) + " words in " +
                     std::to_string(runs.size()) + " runs; a word not listed reads ffffffff\n";
  auto flush = [&] {
    if (!failed && std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
      failed = true;
      writeError = errno;
    }
    text.clear();
  };
  // Every word is looked up from the cache the load left, as the run's
  // first lookup of it would be.
  const TMemory::TCacheState loaded = TheMemory.SaveCache();
  char line[16];
  for (const TRun& r : runs) {
    text += '@';
    text += HexText(uint32_t(r.Start), 8);
    text += '\n';
    for (int64_t a = r.Start; a < r.End && !failed; ++a) {
      TheMemory.RestoreCache(loaded);
      char* end = HexTextTo(line, TheMemory.ReadWord(int32_t(a)), 8);
      *end++ = '\n';
      text.append(line, end);
      if (text.size() >= 1 << 16) flush();
    }
  }
  TheMemory.RestoreCache(loaded);
  flush();

  const std::string shown = path == "-" ? "standard output" : path;
  std::string reason;
  failed = !output.Finish(path == "-", failed, writeError, reason);
  if (failed) error = "writing the memory image to " + shown + " failed: " + reason;
  return !failed;
}

}  // namespace runner
