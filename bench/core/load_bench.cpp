// Loads of hostile and oversized images, and programs that store to many
// fresh addresses: time and peak memory of each, every shape in a process
// of its own so that the peak is that shape's.
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/BenchSupport.h"
#include "core/CPU.h"
#include "core/Loader.h"

namespace {

struct TShape {
  const char* Name;
  std::string (*Text)();
};

std::string Sections(const char* keyword, bool withWord, int64_t count) {
  std::string text = ".CODE\n$800000\n2\n$52455341\n$1000FFFF\n";
  text.reserve(size_t(count) * 24);
  for (int64_t k = 0; k < count; ++k) {
    text += keyword;
    text += "\n";
    text += std::to_string(k * 2);
    text += withWord ? "\n1\n7\n" : "\n1\n";
  }
  return text;
}

const TShape Shapes[] = {
    {"1,000,000 one-word .MEM sections", [] { return Sections(".MEM", false, 1'000'000); }},
    {"1,000,000 one-word .DATA sections", [] { return Sections(".DATA", true, 1'000'000); }},
    {"1,048,577 sections (one over the cap)", [] { return Sections(".MEM", false, 1'048'576); }},
    {"256 MiB of line feeds", [] { return std::string(size_t(MaxFileBytes), '\n'); }},
    {"16,777,216 words in one .CODE section",
     [] {
       std::string text = ".CODE\n0\n16777216\n";
       text.reserve(size_t(MaxImageWords) * 11 + 32);
       for (int64_t k = 0; k < MaxImageWords; ++k) {
         text += "0x";
         text += HexText(uint32_t(k) * 2654435761u, 8);
         text += '\n';
       }
       return text;
     }},
};

int LoadOne(const char* name, const char* path) {
  double t = Seconds();
  const bool valid = LoadProgram(path);
  BuildImage();  // the reset that follows every load
  std::printf("  %-42s %6.2f s  peak %6.0f MiB  %s\n", name, Seconds() - t, PeakMiB(), valid ? "loaded" : "refused");
  return 0;
}

// 1,048,576 stores to fresh addresses, spread out or one after the other.
int Stores(bool spread) {
  TheMemory.Clear();
  const uint32_t stride = spread ? 1000 : 1;
  double t = Seconds();
  for (uint32_t k = 0; k < (1u << 20); ++k) TheMemory.WriteWord(int32_t(k * stride), k);
  std::printf("  %-42s %6.2f s  peak %6.0f MiB\n",
              spread ? "1,048,576 stores 1,000 words apart:" : "1,048,576 stores to consecutive words:", Seconds() - t,
              PeakMiB());
  return 0;
}

int Child(const std::string& self, const std::string& args) {
  std::fflush(stdout);
  return std::system(("'" + self + "' " + args).c_str()) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--load") == 0) return LoadOne(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "--stores") == 0) return Stores(std::strcmp(argv[2], "spread") == 0);

  std::printf("load: time and peak memory of the whole process per shape (load and reset)\n");
  int failed = 0;
  for (const TShape& shape : Shapes) {
    const std::string path = TempPath("tavora-bench-shape.cod");
    WriteText(path, shape.Text());
    failed |= Child(argv[0], std::string("--load '") + shape.Name + "' '" + path + "'");
    std::remove(path.c_str());
  }
  std::printf("memory: stores of a program to fresh addresses\n");
  failed |= Child(argv[0], "--stores spread");
  failed |= Child(argv[0], "--stores consecutive");
  return failed;
}
