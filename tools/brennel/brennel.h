// brennel: turns a .cod program image into a memory file for the hardware
// testbench (one hexadecimal word per line, or four big-endian bytes a word).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The parsed command line.
struct PROGARGS {
  const char* infile = nullptr;        // points into argv; null until a file name is seen
  std::optional<std::string> outfile;  // from -o, otherwise derived from infile
  int verbose = 0;
  int binary = 0;
  int help = 0;  // the usage text was asked for: stopping is then a success
};

// Entry kinds of the image list.
enum : std::int32_t {
  KIND_WORD = 0,    // value is one data word
  KIND_ZEROS = 3,   // value is the number of zero words
  KIND_FILLED = 4,  // count words, each holding value (a .DS with a fill line)
};

// One entry of the image list. Entries are kept by value in creation order,
// which is the order they are written in.
struct MEMITEM {
  std::int32_t kind = KIND_WORD;
  std::uint32_t value = 0;
  std::uint32_t count = 0;  // only used by KIND_FILLED
};

// Result codes of parsecod and writemem; they double as exit statuses.
enum : int {
  BRENNEL_OK = 0,
  BRENNEL_NO_INPUT = 1,
  BRENNEL_SYNTAX = 2,
  BRENNEL_NO_OUTPUT = 3,
};

void Usage(const char* progname);

// Returns 1 when the conversion is to go ahead, 0 when the program is to
// stop (help printed, or no input file given; args.help tells which).
int HandleOptions(int argc, char** argv, PROGARGS& args);

// The name of the memory file for an input without -o.
std::string DeriveOutputName(const std::string& infile);

// Limits that keep a hostile input from exhausting memory or disk: the size
// of the .cod file, and the words of the memory file (as many as the
// debugger can load; a larger memory file fits no testbench either).
constexpr std::uint64_t kMaxInputBytes = std::uint64_t{1} << 28;  // 256 MiB
constexpr std::uint64_t kMaxImageWords = std::uint64_t{1} << 24;  // 16,777,216

// Why a parse failed beyond what its result code says.
enum class ParseFailure { None, FileTooLarge, ImageTooLarge };

// Reads the .cod file ("-": standard input) and appends its entries; on
// failure the list is left empty. Only regular files are read (a named pipe
// would block). Inputs beyond the limits above fail with BRENNEL_SYNTAX and
// a reason in *why.
int parsecod(const char* infile, std::vector<MEMITEM>& image, ParseFailure* why = nullptr);

// Writes the memory file; fails with BRENNEL_NO_OUTPUT when it cannot be
// opened or fully written (including a failing close), and then leaves no
// part of it under a regular file's name. A device or a named pipe is
// written in place, a symbolic link followed (see OutFile in brennel.cpp).
int writemem(const char* outfile, const std::vector<MEMITEM>& image, int binary);

// True when both names lead to the same file, so writing one would destroy the other.
bool SameFile(const std::string& a, const std::string& b);
