// Reads .cod program images and builds the memory and start registers
// from them; holds the text of the last loaded file for resets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The lines of the last loaded file, kept as one text plus line starts.
class TProgramLines {
 public:
  // Takes the whole file text; a NUL byte ends it. Lines end at LF, CR or
  // CR LF; a final line end adds no empty line. A text of more than
  // maxLines lines is not taken: the list is left empty and false returned.
  bool Assign(std::string text, size_t maxLines = SIZE_MAX);
  void Clear();
  size_t size() const { return Starts.empty() ? 0 : Starts.size() - 1; }
  bool empty() const { return size() == 0; }
  std::string_view operator[](size_t i) const;

 private:
  std::string Text;
  std::vector<uint32_t> Starts;  // one per line plus the end of the text
};

// Raised by LoadProgram when the file cannot be opened or read.
class TFileOpenError : public std::runtime_error {
 public:
  explicit TFileOpenError(const std::string& name);
  std::string FileName;
};

extern TProgramLines ProgramLines;
extern std::string ProgramFileName;

// Limits that keep a hostile file from exhausting memory or time: the words
// one image may reserve in all its sections, its number of sections, and
// the size of a file we read. An image beyond them is invalid.
constexpr int64_t MaxImageWords = int64_t(1) << 24;   // 16M words, 64 MiB
constexpr int64_t MaxSections = int64_t(1) << 20;     // 1,048,576
constexpr uint64_t MaxFileBytes = uint64_t(1) << 28;  // 256 MiB
// No valid image has more lines: at most four per section besides its words.
constexpr size_t MaxImageLines = size_t(4 * MaxSections + MaxImageWords);

// The texts the loader shows.
extern const char* const InvalidFileMessage;
extern const char* const HeaderWarning;

// Reads a number of the .cod syntax: leading blanks, then a signed decimal
// in the 32-bit range or $/x/X/0x/0X followed by at most eight significant
// hexadecimal digits; nothing after the last digit.
bool ParseNumber(std::string_view text, int32_t& value);

// Reads the file into ProgramLines and builds the image. Throws
// TFileOpenError (leaving everything as it was) when the file cannot be
// read or is not a regular file (a pipe or a terminal would block). Returns
// false when its contents were invalid, also when they were too large to
// hold.
bool LoadProgram(const std::string& name);
// Whether LoadProgram would take a file holding `text` as a valid image,
// by the same reading of its sections with nothing built: lets a caller
// refuse an invalid file while the loaded image stays as it is.
bool ImageTextIsValid(std::string text);
// Where the image held in ProgramLines puts its sections, in file order:
// what a build of it gives each section (the default image's two words when
// the list is empty; nothing when it is invalid).
struct TSectionRange {
  int32_t Start;
  int32_t Count;
};
std::vector<TSectionRange> ImageSections();
// Clears memory and registers and builds the image from ProgramLines (the
// default image when it is empty). Returns false for an invalid image, which
// is replaced by the default image after the message.
bool BuildImage();
