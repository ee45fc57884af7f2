#include "tools/brennel/brennel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

namespace {

// Both directions move megabytes; large blocks keep the number of system
// calls small.
constexpr std::size_t kIoBlock = std::size_t{1} << 20;

// The longest piece: a 16-byte buffer read fgets-style holds 15 characters.
constexpr std::size_t kPieceMax = 15;

bool IsOption(const char* arg) {
  // Absolute paths begin with '/', so only a two-character "/x" is an option;
  // "-" alone is standard input.
  if (arg[0] == '-') return arg[1] != '\0';
  return arg[0] == '/' && arg[1] != '\0' && arg[2] == '\0';
}

// Reads a .cod file in pieces of at most kPieceMax characters that end after
// a line feed. A carriage return directly before a line feed is dropped
// first (what a text-mode stream would do), so it never takes room in a piece.
class PieceReader {
 public:
  explicit PieceReader(std::FILE* file) : file_(file), buf_(new char[kIoBlock]) {}

  // Stores the next piece NUL-terminated; returns its length, 0 at the end.
  std::size_t Next(char (&piece)[kPieceMax + 1]) {
    std::size_t len = 0;
    while (len < kPieceMax) {
      int c = Get();
      if (c == EOF) break;
      if (c == '\r' && Peek() == '\n') c = Get();
      piece[len++] = static_cast<char>(c);
      if (c == '\n') break;
    }
    piece[len] = '\0';
    return len;
  }

  bool Failed() const { return std::ferror(file_) != 0; }
  // More than kMaxInputBytes were read (the file may grow while it is read).
  bool TooLarge() const { return total_ > kMaxInputBytes; }

 private:
  int Peek() {
    if (pos_ == end_) {
      end_ = TooLarge() ? 0 : std::fread(buf_.get(), 1, kIoBlock, file_);
      total_ += end_;
      pos_ = 0;
      if (end_ == 0) return EOF;
    }
    return static_cast<unsigned char>(buf_[pos_]);
  }
  int Get() {
    const int c = Peek();
    if (c != EOF) ++pos_;
    return c;
  }

  std::FILE* file_;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t total_ = 0;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

enum class Piece { CodeKeyword, SpaceKeyword, Value, Bad };

// Classifies a piece by its first characters. The piece is taken as a C
// string, so a NUL byte ends what is looked at, like any other trailing text.
Piece Classify(const char* p, std::uint32_t& value) {
  if (std::strncmp(p, ".CODE", 5) == 0 || std::strncmp(p, ".DATA", 5) == 0) return Piece::CodeKeyword;
  if (std::strncmp(p, ".DS", 3) == 0) return Piece::SpaceKeyword;
  if (p[0] != '0' || p[1] != 'x') return Piece::Bad;
  std::uint64_t v = 0;
  const char* d = p + 2;
  for (int digit; (digit = HexDigit(*d)) >= 0; ++d) {
    v = v * 16 + static_cast<unsigned>(digit);
    if (v > 0xFFFFFFFFu) return Piece::Bad;  // not a 32-bit word
  }
  if (d == p + 2) return Piece::Bad;  // "0x" without digits
  value = static_cast<std::uint32_t>(v);
  return Piece::Value;
}

enum class State {
  BeforeKeyword,
  CodeAddress,
  CodeCount,
  CodeWords,
  SpaceAddress,
  SpaceCount,
  SpaceFill,
  SpaceDone,
};

bool Above(std::uint32_t a, std::uint32_t b) {
  // Addresses compare as signed 32-bit numbers.
  return static_cast<std::int32_t>(a) > static_cast<std::int32_t>(b);
}

// Thrown when the memory file would exceed kMaxImageWords.
struct ImageTooLarge {};

// Section state of one parse. Addresses are kept unsigned so that running
// past 0x7FFFFFFF wraps instead of overflowing.
class CodParser {
 public:
  explicit CodParser(std::vector<MEMITEM>& image) : image_(image) {}

  // Returns false on a syntax error.
  bool Take(const char* piece) {
    std::uint32_t v = 0;
    switch (Classify(piece, v)) {
      case Piece::CodeKeyword: state_ = State::CodeAddress; return true;
      case Piece::SpaceKeyword: state_ = State::SpaceAddress; return true;
      case Piece::Value: return TakeValue(v);
      case Piece::Bad: break;
    }
    return false;
  }

 private:
  bool TakeValue(std::uint32_t v) {
    switch (state_) {
      case State::BeforeKeyword:
      case State::SpaceDone: return false;
      case State::CodeAddress:
        cur_ = v;
        // The memory file begins at the first code or data section.
        if (!first_ && Above(cur_, next_)) Append(KIND_ZEROS, cur_ - next_);
        first_ = false;
        state_ = State::CodeCount;
        return true;
      case State::CodeCount:
        // The words run up to the next keyword; the count is not used.
        state_ = State::CodeWords;
        return true;
      case State::CodeWords:
        Append(KIND_WORD, v);
        next_ = cur_ = cur_ + 1;
        return true;
      case State::SpaceAddress:
        cur_ = v;
        if (Above(cur_, next_)) Append(KIND_ZEROS, cur_ - next_);
        state_ = State::SpaceCount;
        return true;
      case State::SpaceCount:
        // Zero words unless a fill line follows.
        Append(KIND_ZEROS, v);
        next_ = cur_ = cur_ + v;
        state_ = State::SpaceFill;
        return true;
      case State::SpaceFill:
        if (v != 0) {
          MEMITEM& run = image_.back();
          run = MEMITEM{KIND_FILLED, v, run.value};
        }
        state_ = State::SpaceDone;
        return true;
    }
    return false;
  }

  void Append(std::int32_t kind, std::uint32_t value) {
    words_ += kind == KIND_WORD ? 1 : value;
    if (words_ > kMaxImageWords) throw ImageTooLarge{};
    image_.push_back(MEMITEM{kind, value, 0});
  }

  std::vector<MEMITEM>& image_;
  State state_ = State::BeforeKeyword;
  std::uint32_t cur_ = 0;
  std::uint32_t next_ = 0;
  bool first_ = true;
  std::uint64_t words_ = 0;  // words of the memory file so far
};

// Collects the memory file in large blocks. Once a write has failed the rest
// is dropped; Finish reports whether everything reached the file.
class MemWriter {
 public:
  MemWriter(std::FILE* file, bool binary) : file_(file), binary_(binary), buf_(new char[kIoBlock]) {}

  // Writes `times` copies of one word.
  void Words(std::uint32_t word, std::uint64_t times) {
    char form[9];
    const std::size_t len = Encode(word, form);
    while (times > 0 && ok_) {
      const std::size_t fit = (kIoBlock - used_) / len;
      if (fit == 0) {
        Flush();
        continue;
      }
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(times, fit));
      char* dst = buf_.get() + used_;
      std::memcpy(dst, form, len);
      // Long runs: double the copied stretch instead of copying word by word.
      for (std::size_t have = 1; have < n;) {
        const std::size_t more = std::min(have, n - have);
        std::memcpy(dst + have * len, dst, more * len);
        have += more;
      }
      used_ += n * len;
      times -= n;
    }
  }

  bool Finish() {
    Flush();
    return ok_;
  }

 private:
  // Text: "%X\n" without leading zeros; binary: four bytes, most significant first.
  std::size_t Encode(std::uint32_t word, char* dst) const {
    if (binary_) {
      for (int i = 0; i < 4; ++i) dst[i] = static_cast<char>(word >> (24 - 8 * i));
      return 4;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const int n = word ? (std::bit_width(word) + 3) / 4 : 1;
    for (int i = n - 1; i >= 0; --i, word >>= 4) dst[i] = kDigits[word & 15];
    dst[n] = '\n';
    return static_cast<std::size_t>(n) + 1;
  }

  void Flush() {
    if (used_ != 0 && ok_ && std::fwrite(buf_.get(), 1, used_, file_) != used_) ok_ = false;
    used_ = 0;
  }

  std::FILE* file_;
  bool binary_;
  std::unique_ptr<char[]> buf_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

std::filesystem::path Normalised(const std::string& name) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(name, ec);
  if (ec) return std::filesystem::path(name).lexically_normal();
  std::filesystem::path canon = std::filesystem::weakly_canonical(p, ec);
  return ec ? p.lexically_normal() : canon;
}

}  // namespace

void Usage(const char* progname) {
  if (progname == nullptr) progname = "brennel";
  std::fprintf(stderr, "%s usage:\n\n", progname);
  std::fprintf(stderr, "%s [-v] [-o <outfile>] <infile>\n", progname);
  std::fputs("\t -v : be verbose\n", stderr);
  std::fputs("\t -o : output filename name for memory file\n", stderr);
}

int HandleOptions(int argc, char** argv, PROGARGS& args) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!IsOption(arg)) {
      args.infile = arg;
      continue;
    }
    switch (arg[1]) {
      case 'v': args.verbose = 1; break;
      case 'b': args.binary = 1; break;
      case 'o':
        if (i + 1 < argc) args.outfile = argv[++i];
        break;
      case 'h':
      case 'H':
      case '?':
        Usage(argv[0]);
        args.help = 1;
        return 0;
      default: std::fprintf(stderr, "unknown option %s\n", arg); break;
    }
  }
  if (args.infile == nullptr) {
    std::fputs("no input file given", stderr);
    return 0;
  }
  if (!args.outfile && std::strcmp(args.infile, "-") == 0) {
    std::fputs("no output file given for standard input\n", stderr);
    return 0;
  }
  if (!args.outfile) args.outfile = DeriveOutputName(args.infile);
  return 1;
}

std::string DeriveOutputName(const std::string& infile) {
  const std::size_t n = infile.size();
  if (n >= 4 && infile[n - 4] == '.') return infile.substr(0, n - 3) + "mem";
  return infile + ".mem";
}

namespace {

// Opens a regular file for reading; null for anything else. Opening does
// not wait for a writer, so a named pipe is refused at once.
std::FILE* OpenRegular(const char* name, std::uint64_t& size) {
  const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  std::FILE* file = nullptr;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) file = fdopen(fd, "r");
  if (file == nullptr) {
    close(fd);
    return nullptr;
  }
  size = static_cast<std::uint64_t>(st.st_size);
  return file;
}

// Standard input, on a descriptor of its own so that closing it leaves
// stdin alone. A pipe has no size; the reader's cap still holds.
std::FILE* OpenInput(std::uint64_t& size) {
  const int fd = dup(STDIN_FILENO);
  if (fd < 0) return nullptr;
  struct stat st {};
  size = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  std::FILE* file = fdopen(fd, "r");
  if (file == nullptr) close(fd);
  return file;
}

// The memory file is written as all our tools write their outputs: a
// regular file (or a new name, or the file a symbolic link leads to) under a
// temporary name beside it, renamed over it once everything was written, so
// a failed write leaves the old file or none, and an old file keeps its
// permissions; anything else (a device, a named pipe, /dev/fd/N) in place,
// never replaced or removed, and a named pipe nobody reads fails at once.
class OutFile {
 public:
  ~OutFile() { Discard(); }

  std::FILE* Open(const std::string& path) {
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return nullptr;
    const bool regular = !exists || S_ISREG(st.st_mode);
    bool descriptor = false;
    const std::string name = regular ? FollowLinks(path, descriptor) : path;
    int fd = -1;
    if (!regular || descriptor) {
      fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | (exists && regular ? O_TRUNC : 0));
      if (fd < 0) return nullptr;
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    } else {
      for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp_ = name + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
      }
      if (fd < 0) {
        temp_.clear();
        return nullptr;
      }
      target_ = name;
      if (exists) {
        // Only root may hand the file back to its owner.
        [[maybe_unused]] const int owned = ::fchown(fd, st.st_uid, st.st_gid);
        ::fchmod(fd, st.st_mode & 07777);
      }
    }
    file_ = fdopen(fd, "w");
    if (file_ == nullptr) {
      close(fd);
      Discard();
    }
    return file_;
  }

  // Closes and puts the file in place; false (nothing left of a regular
  // file) when ok is false or a write failed.
  bool Commit(bool ok) {
    if (file_ == nullptr) return false;
    ok = ok && std::ferror(file_) == 0 && std::fflush(file_) == 0;
    // A full disk often shows only when the last block is flushed on close.
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok && !temp_.empty()) ok = std::rename(temp_.c_str(), target_.c_str()) == 0;
    if (!ok) Discard();
    temp_.clear();
    return ok;
  }

  void Discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
  }

 private:
  // path with the symbolic links at its end followed. A link inside /proc
  // (/dev/stdout, /dev/fd/N) stands for an open descriptor, not a name.
  static std::string FollowLinks(const std::string& path, bool& descriptor) {
    std::filesystem::path name = path;
    for (int hop = 0; hop < 40; ++hop) {
      struct stat st {};
      if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
      std::error_code ec;
      const std::filesystem::path dir =
          std::filesystem::weakly_canonical(std::filesystem::absolute(name, ec).parent_path(), ec);
      if (dir.string().rfind("/proc/", 0) == 0) {
        descriptor = true;
        break;
      }
      const std::filesystem::path link = std::filesystem::read_symlink(name, ec);
      if (ec) break;
      name = link.is_absolute() ? link : name.parent_path() / link;
    }
    return name.string();
  }

  std::FILE* file_ = nullptr;
  std::string temp_;
  std::string target_;
};

}  // namespace

int parsecod(const char* infile, std::vector<MEMITEM>& image, ParseFailure* why) {
  ParseFailure failure = ParseFailure::None;
  std::uint64_t size = 0;
  std::FILE* file = std::strcmp(infile, "-") == 0 ? OpenInput(size) : OpenRegular(infile, size);
  if (file == nullptr) return BRENNEL_NO_INPUT;
  const std::size_t before = image.size();
  int result = BRENNEL_OK;
  if (size > kMaxInputBytes) {
    result = BRENNEL_SYNTAX;
    failure = ParseFailure::FileTooLarge;
  }
  try {
    PieceReader reader(file);
    CodParser parser(image);
    char piece[kPieceMax + 1];
    while (result == BRENNEL_OK && reader.Next(piece) != 0) {
      if (!parser.Take(piece)) result = BRENNEL_SYNTAX;
    }
    if (result == BRENNEL_OK && reader.TooLarge()) {
      result = BRENNEL_SYNTAX;
      failure = ParseFailure::FileTooLarge;
    }
    // A read error (a directory, say) means the input could not be read.
    if (result == BRENNEL_OK && reader.Failed()) result = BRENNEL_NO_INPUT;
  } catch (const ImageTooLarge&) {
    result = BRENNEL_SYNTAX;
    failure = ParseFailure::ImageTooLarge;
  } catch (const std::bad_alloc&) {
    // An image too large to hold counts as an input that cannot be read.
    result = BRENNEL_NO_INPUT;
  }
  std::fclose(file);
  if (result != BRENNEL_OK) {
    image.resize(before);
    image.shrink_to_fit();
  }
  if (why != nullptr) *why = failure;
  return result;
}

int writemem(const char* outfile, const std::vector<MEMITEM>& image, int binary) {
  OutFile out;
  std::FILE* file = out.Open(outfile);
  if (file == nullptr) return BRENNEL_NO_OUTPUT;
  bool ok = false;
  try {
    MemWriter writer(file, binary != 0);
    for (const MEMITEM& item : image) {
      switch (item.kind) {
        case KIND_WORD: writer.Words(item.value, 1); break;
        case KIND_ZEROS: writer.Words(0, item.value); break;
        case KIND_FILLED: writer.Words(item.value, item.count); break;
        default: break;  // unknown kinds write nothing
      }
    }
    ok = writer.Finish();
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  return out.Commit(ok) ? BRENNEL_OK : BRENNEL_NO_OUTPUT;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec) && !ec) return true;
  return Normalised(a) == Normalised(b);
}
