// Converts a .cod image of 1,000,000 words to both memory file forms with the
// real brennel program and prints the wall time of each run; then feeds it
// inputs beyond its limits and prints time and peak memory of the refusal.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr unsigned kWords = 1000000;

bool WriteImage(const fs::path& file) {
  std::FILE* f = std::fopen(file.c_str(), "w");
  if (f == nullptr) return false;
  std::fprintf(f, ".CODE\n0x00800000\n0x%08X\n", kWords);
  for (unsigned i = 0; i < kWords; ++i) std::fprintf(f, "0x%08X\n", i * 2654435761u);
  return std::fclose(f) == 0;
}

// Runs brennel with the arguments; returns the seconds taken, or -1 when it
// did not end with the expected status. peakMiB: its peak resident memory.
double TimeRun(std::vector<std::string> args, int expected = 0, double* peakMiB = nullptr) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, BRENNEL_BIN, nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != expected) return -1;
  if (peakMiB) *peakMiB = double(usage.ru_maxrss) / 1024.0;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Inputs beyond the limits must be refused quickly and cheaply.
int Refusals(const fs::path& dir) {
  const fs::path big = dir / "big.cod", sparse = dir / "sparse.cod", wide = dir / "wide.cod";
  {
    // 256 MiB of four-byte words: within the size limit, four times the word limit.
    std::string line = "0x0\n";
    std::string chunk = ".CODE\n0x0\n0x1\n";
    std::FILE* f = std::fopen(big.c_str(), "w");
    if (f == nullptr) return 1;
    std::fputs(chunk.c_str(), f);
    std::string block;
    for (int i = 0; i < (1 << 16); ++i) block += line;
    while (std::ftell(f) + long(block.size()) <= (1L << 28)) std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
  }
  {
    std::FILE* f = std::fopen(sparse.c_str(), "w");
    if (f) std::fclose(f);
  }
  fs::resize_file(sparse, (std::uintmax_t{300} << 20));
  {
    std::FILE* f = std::fopen(wide.c_str(), "w");
    if (f) {
      std::fputs(".DS\n0x0\n0x7FFFFFFF\n", f);
      std::fclose(f);
    }
  }
  const struct {
    const char* shape;
    fs::path in;
  } shapes[] = {
      {"256 MiB of words (64M, over the word limit)", big},
      {"300 MB file (over the size limit)", sparse},
      {".DS of 0x7FFFFFFF words", wide},
  };
  int failed = 0;
  for (const auto& shape : shapes) {
    double peak = 0;
    const double seconds = TimeRun({"brennel", "-o", (dir / "out.mem").string(), shape.in.string()}, 2, &peak);
    if (seconds < 0 || fs::exists(dir / "out.mem")) {
      std::printf("refusal of %s FAILED\n", shape.shape);
      failed = 1;
      continue;
    }
    std::printf("refused %-44s %.3f s, peak %.0f MiB\n", shape.shape, seconds, peak);
  }
  return failed;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("bench-brennel-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path in = dir / "image.cod";
  int failed = 0;
  if (!WriteImage(in)) {
    std::fprintf(stderr, "cannot write %s\n", in.c_str());
    failed = 1;
  } else {
    std::printf("input: %u words, %ju bytes\n", kWords, static_cast<std::uintmax_t>(fs::file_size(in)));
    const struct {
      const char* form;
      std::vector<std::string> args;
      std::uintmax_t size;  // expected output size, a check that the run did its work
    } runs[] = {
        {"text", {"brennel", "-o", (dir / "image.mem").string(), in.string()}, 0},
        {"binary", {"brennel", "-b", "-o", (dir / "image.bin").string(), in.string()}, 4u * kWords},
    };
    for (const auto& run : runs) {
      const double seconds = TimeRun(run.args);
      const fs::path out = run.args[run.args.size() - 2];
      if (seconds < 0 || (run.size != 0 && fs::file_size(out) != run.size)) {
        std::printf("%-6s conversion FAILED\n", run.form);
        failed = 1;
        continue;
      }
      std::printf("%-6s conversion: %.3f s (%ju bytes)%s\n", run.form, seconds,
                  static_cast<std::uintmax_t>(fs::file_size(out)), seconds > 0.3 ? "  (over 0.3 s)" : "");
    }
  }
  failed |= Refusals(dir);
  fs::remove_all(dir);
  return failed;
}
