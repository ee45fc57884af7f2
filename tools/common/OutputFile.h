// How our console tools treat the files named on their command line.
//
// A file to write:
// - a regular file, or a name that does not exist yet, is written under a
//   temporary name beside it and renamed over it only once everything was
//   written, so a failed write leaves the old file (or no file) behind; a
//   file that existed keeps its permissions and, where we may, its owner;
// - a symbolic link is followed: its final target is written that way and
//   the link stays a link;
// - anything else (a device, a named pipe, a descriptor such as /dev/fd/3 or
//   /dev/stdout) is opened and written directly, never replaced or removed.
//   A named pipe that nobody reads is an error at once instead of a wait.
//
// A text to read may be "-", standard input, under the same size cap as a
// file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class TOutputFile {
 public:
  TOutputFile() = default;
  ~TOutputFile() { Discard(); }
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // False, with the reason in error, when path cannot be written.
  bool Open(const std::string& path, std::string& error);
  // The stream to write to between Open and Commit.
  std::FILE* Stream() const { return File; }
  // Closes and puts the written file in place. False, with the reason in
  // error, when a write failed; then nothing written remains under a
  // regular file's name.
  bool Commit(std::string& error);
  // Closes and throws away what was written to a regular file.
  void Discard();
  // Ends a tool's output: standard output is flushed, this file committed,
  // or thrown away after a failed write (writeError: its errno). False, with
  // the reason of the first failure, when anything failed.
  bool Finish(bool toStandardOutput, bool failed, int writeError, std::string& reason);

 private:
  std::FILE* File = nullptr;
  std::string Temp;    // empty when writing directly
  std::string Target;  // the name the temporary file replaces
};

// Writes text to path as TOutputFile does; false with the reason in error.
bool WriteOutputFile(const std::string& path, const std::string& text, std::string& error);

// True when writing one name would destroy the file the other names: the
// same file by another path, a hard link or a symbolic link.
bool SameFile(const std::string& a, const std::string& b);

// All of standard input; false when it cannot be read or holds more than
// maxBytes.
bool ReadStandardInput(std::string& text, uint64_t maxBytes);
