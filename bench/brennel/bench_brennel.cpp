// Converts a .cod image of 1,000,000 words to both memory file forms with the
// real brennel program and prints the wall time of each run.
#include <spawn.h>
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

// Runs brennel with the arguments; returns the seconds taken, or -1 on failure.
double TimeRun(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, BRENNEL_BIN, nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
    fs::remove_all(dir);
    return failed;
}
