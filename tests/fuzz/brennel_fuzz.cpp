// Fuzz target for brennel's reader and writer. The bytes are read as a .cod
// file; a successful read is written in text and in binary form, and both
// memory files must hold the same words, as many as the image list asks for.
#include <string>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/brennel/brennel.h"

namespace {

constexpr size_t MaxInput = size_t(1) << 20;
// The loader's limit on the words of one image.
constexpr uint64_t MaxImageWords = uint64_t(1) << 24;
// Written images stay below this many words (2 MiB in binary, enough to
// cross the writer's block size); larger ones are only read.
constexpr uint64_t MaxWrittenWords = uint64_t(1) << 19;

uint64_t WordCount(const std::vector<MEMITEM>& image) {
  uint64_t words = 0;
  for (const MEMITEM& item : image) {
    if (item.kind == KIND_WORD) words += 1;
    if (item.kind == KIND_ZEROS) words += item.value;
    if (item.kind == KIND_FILLED) words += item.count;
  }
  return words;
}

// One line per word: uppercase hexadecimal without prefix or leading zeros.
std::vector<uint32_t> TextWords(const std::string& text) {
  std::vector<uint32_t> words;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find('\n', pos);
    FUZZ_CHECK(end != std::string::npos);
    const size_t len = end - pos;
    FUZZ_CHECK(len >= 1 && len <= 8 && (len == 1 || text[pos] != '0'));
    uint32_t w = 0;
    for (size_t i = pos; i < end; ++i) {
      const char c = text[i];
      FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
      w = w << 4 | uint32_t(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    words.push_back(w);
    pos = end + 1;
  }
  return words;
}

std::vector<uint32_t> BinaryWords(const std::string& bytes) {
  FUZZ_CHECK(bytes.size() % 4 == 0);
  std::vector<uint32_t> words(bytes.size() / 4);
  for (size_t i = 0; i < words.size(); ++i) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + 4 * i);
    words[i] = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
  }
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > MaxInput) return -1;
  TScratch& scratch = TScratch::Get();
  const std::string in = scratch.Write("image.cod", data, size);

  std::vector<MEMITEM> image;
  const int read = parsecod(in.c_str(), image);
  FUZZ_CHECK(read == BRENNEL_OK || read == BRENNEL_NO_INPUT || read == BRENNEL_SYNTAX);
  if (read != BRENNEL_OK) {
    FUZZ_CHECK(image.empty());
    return 0;
  }
  // No debugger could load a larger image, so the reader refuses it rather
  // than let a few bytes of input ask for gigabytes of output.
  const uint64_t words = WordCount(image);
  FUZZ_CHECK(words <= MaxImageWords);
  if (words > MaxWrittenWords) return 0;

  const std::string text = scratch.Path("image.mem"), binary = scratch.Path("image.bin");
  FUZZ_CHECK(writemem(text.c_str(), image, 0) == BRENNEL_OK);
  FUZZ_CHECK(writemem(binary.c_str(), image, 1) == BRENNEL_OK);
  const std::vector<uint32_t> fromText = TextWords(ReadFile(text));
  FUZZ_CHECK(fromText.size() == words);
  FUZZ_CHECK(fromText == BinaryWords(ReadFile(binary)));
  return 0;
}
