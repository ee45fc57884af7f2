// Helpers shared by the fuzz targets: a private scratch folder for inputs
// that must reach the code under test as files, and a check that fails the
// run the way a sanitizer report does, so libFuzzer keeps the input.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#define FUZZ_CHECK(cond)                                                                 \
  do {                                                                                   \
    if (!(cond)) {                                                                       \
      std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// The whole file, or nothing when it cannot be opened.
inline std::string ReadFile(const std::string& path) {
  std::string out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buffer[1 << 16];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) out.append(buffer, got);
  std::fclose(f);
  return out;
}

// One folder per process, removed when the process ends normally; files in
// it are rewritten for every input.
class TScratch {
 public:
  static TScratch& Get() {
    static TScratch scratch;
    return scratch;
  }

  std::string Path(const char* name) const { return Dir + "/" + name; }

  // Replaces the file's contents with the bytes; aborts when it cannot, since
  // every later check would then test a stale file.
  std::string Write(const char* name, const uint8_t* data, size_t size) const {
    std::string path = Path(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
    return path;
  }

 private:
  TScratch() {
    // Memory-backed where there is one: a disk file system may flush a file
    // that is truncated and rewritten on every close, which would cost more
    // than the input itself.
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "tavora-fuzz-XXXXXX").string();
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    Dir = pattern;
  }
  ~TScratch() {
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
  }

  std::string Dir;
};
