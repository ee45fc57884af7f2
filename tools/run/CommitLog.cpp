#include "tools/run/CommitLog.h"

#include <cerrno>
#include <memory>

namespace runner {

TCommitLog::~TCommitLog() {
  std::string ignored;
  Close(ignored);
  delete[] Buffer;
}

bool TCommitLog::Open(const std::string& path, std::string& error) {
  Path = path == "-" ? "standard output" : path;
  if (path == "-") {
    File = stdout;
  } else {
    if (!Output.Open(path, error)) {
      error = "cannot write the commit log " + path + ": " + error;
      return false;
    }
    File = Output.Stream();
  }
  Failed = false;
  WriteError = 0;
  if (!Buffer) Buffer = new char[BufferSize];
  Next = Buffer;
  End = Buffer + BufferSize;
  return true;
}

void TCommitLog::Flush() {
  if (Next == Buffer) return;
  if (!Failed && File && std::fwrite(Buffer, 1, size_t(Next - Buffer), File) != size_t(Next - Buffer)) {
    Failed = true;
    WriteError = errno;
  }
  Next = Buffer;
}

bool TCommitLog::Close(std::string& error) {
  if (!File) return true;
  Flush();
  std::string reason;
  Failed = !Output.Finish(File == stdout, Failed, WriteError, reason);
  File = nullptr;
  if (Failed) error = "writing the commit log to " + Path + " failed: " + reason;
  return !Failed;
}

namespace {

// The log as the fast run's receiver of every step.
struct TToLog {
  static constexpr bool Records = true;
  TCommitLog& Log;
  void operator()(const TStepRecord& s) const {
    Log.Add(s.Step, s.Pc, s.Word, s.Reg, s.RegValue, s.Stored, s.Address, s.Value);
  }
};

}  // namespace

TStopReason RunLogged(uint64_t maxSteps, uint64_t& steps, TCommitLog& log) {
  return RunFast(maxSteps, steps, TNoPoll(), 16, nullptr, TToLog{log});
}

}  // namespace runner
