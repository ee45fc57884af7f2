// Drives a fuzz target without libFuzzer: LLVMFuzzerTestOneInput runs once
// on every file named on the command line, and on every regular file inside
// a named folder (in name order). Lets the normal sanitizer build replay the
// seed corpus as a test, so the harnesses keep compiling and keep passing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {

bool RunOne(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  // A buffer of exactly the input's size, so a read past its end is reported.
  std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), data.get());
  LLVMFuzzerTestOneInput(data.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t ran = 0;
  for (int i = 1; i < argc; ++i) {
    // libFuzzer's flags (-runs=0, -dict=...) mean nothing here; skipping
    // them lets one command line serve both builds.
    if (argv[i][0] == '-') continue;
    const fs::path arg = argv[i];
    std::vector<fs::path> files;
    if (fs::is_directory(arg)) {
      for (const fs::directory_entry& e : fs::directory_iterator(arg))
        if (e.is_regular_file()) files.push_back(e.path());
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(arg);
    }
    for (const fs::path& f : files) {
      if (!RunOne(f)) return 1;
      ++ran;
    }
  }
  // An empty or misnamed corpus would otherwise pass without testing anything.
  if (ran == 0) {
    std::fprintf(stderr, "no inputs given\n");
    return 1;
  }
  std::fprintf(stderr, "replayed %zu inputs\n", ran);
  return 0;
}
