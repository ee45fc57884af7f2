// Fuzz target for the assembler. Any bytes as a source: assembling never
// crashes, reports at most MaxAsmErrors errors in line order with places
// inside the source, and an image without errors is one the loader builds
// as valid, with every symbol's line and the listing within the source.
// Every .include reads the input itself again under the name it gives, so
// includes, their cycles and their depth are reached too.
#include <algorithm>
#include <string>
#include <string_view>

#include "asm/Assembler.h"
#include "core/CPU.h"
#include "core/Loader.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Larger inputs only repeat what smaller ones reach, more slowly.
constexpr size_t MaxInput = size_t(1) << 16;
// Images up to this size are also built and listed; larger ones (a single
// .space can ask for millions of words) only cost time.
constexpr size_t MaxBuiltWords = size_t(1) << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > MaxInput) return 0;
  const std::string_view source(reinterpret_cast<const char*>(data), size);
  // A source without any LF ends its lines with CR alone.
  const char end = source.find('\n') == std::string_view::npos ? '\r' : '\n';
  const uint32_t lines = uint32_t(std::count(source.begin(), source.end(), end)) + 1;

  TAsmOptions options;
  options.FileName = "fuzz.s";
  // A few reads reach every rule; more would only repeat the input.
  int reads = 0;
  options.ReadInclude = [source, &reads](const std::string&, const std::string& name, TAsmIncludeFile& file,
                                         std::string& error) {
    if (++reads > 8) {
      error = "enough";
      return false;
    }
    file.File = file.Identity = name;
    file.Text = std::string(source);
    return true;
  };
  const TAsmResult r = Assemble(source, options);
  FUZZ_CHECK(r.ErrorCount <= MaxAsmErrors);
  FUZZ_CHECK(r.Ok() || r.Sections.empty());
  size_t errors = 0;
  for (size_t k = 0; k < r.Diagnostics.size(); ++k) {
    const TAsmDiagnostic& d = r.Diagnostics[k];
    // Included copies are the input again, so every line lies within it.
    FUZZ_CHECK(d.Line >= 1 && d.Line <= lines && d.Column >= 1 && !d.Message.empty());
    FUZZ_CHECK(d.SourceLine >= 1 && d.SourceLine <= lines);
    if (k > 0) FUZZ_CHECK(r.Diagnostics[k - 1].SourceLine <= d.SourceLine);
    errors += d.Severity == TAsmSeverity::Error;
  }
  FUZZ_CHECK(errors == r.ErrorCount);
  if (!r.Ok()) return 0;

  size_t words = 0;
  for (const TAsmSection& s : r.Sections) {
    FUZZ_CHECK(s.Count >= 1 && int64_t(s.Start) + s.Count - 1 <= 0x7FFFFFFF);
    words += s.Count;
  }
  FUZZ_CHECK(int64_t(words) <= MaxImageWords);
  for (const TAsmSymbol& s : r.Symbols.Symbols)
    FUZZ_CHECK(s.Line >= 1 && s.Line <= lines && s.FileLine >= 1 && s.FileLine <= lines);
  if (words > MaxBuiltWords) return 0;

  ProgramLines.Assign(CodText(r));
  FUZZ_CHECK(BuildImage());
  for (const TAsmSection& s : r.Sections)
    if (s.Kind == TSectionKind::Code || s.Kind == TSectionKind::Data)
      for (uint32_t k = 0; k < s.Count; ++k) {
        const uint32_t line = r.Symbols.LineAt(int32_t(uint32_t(s.Start) + k));
        // The literal pool alone has no line.
        FUZZ_CHECK((line >= 1 && line <= lines) || (line == 0 && s.Line == 0));
      }
  ProgramLines.Clear();
  TheMemory.Clear();
  const std::string listing = ListingText(r, source);
  FUZZ_CHECK(std::count(listing.begin(), listing.end(), '\n') >= std::count(source.begin(), source.end(), '\n'));
  return 0;
}
