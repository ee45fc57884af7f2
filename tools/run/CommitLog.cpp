#include "CommitLog.h"

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
  std::string reason = std::strerror(WriteError);
  if (File == stdout) {
    if (std::fflush(File) != 0) {
      Failed = true;
      reason = std::strerror(errno);
    }
  } else if (Failed) {
    Output.Discard();
  } else if (!Output.Commit(reason)) {
    Failed = true;
  }
  File = nullptr;
  if (Failed) error = "writing the commit log to " + Path + " failed: " + reason;
  return !Failed;
}

namespace {

// What the instruction being executed wrote, as the core reports it.
int Written = -1;
bool Stored = false;
int32_t StoredAddress = 0;

void OnRegister(int index) { Written = index; }
void OnMemory(int32_t address) {
  Stored = true;
  StoredAddress = address;
}

// Attaches the two receivers for the length of a run, then gives the
// notifications back to whoever had them.
class THookScope {
 public:
  THookScope() : Register(DisplayHooks.RegisterChanged), Memory(DisplayHooks.MemoryChanged) {
    DisplayHooks.RegisterChanged = OnRegister;
    DisplayHooks.MemoryChanged = OnMemory;
  }
  ~THookScope() {
    DisplayHooks.RegisterChanged = Register;
    DisplayHooks.MemoryChanged = Memory;
  }

 private:
  void (*Register)(int);
  void (*Memory)(int32_t);
};

}  // namespace

TStopReason RunLogged(uint64_t maxSteps, uint64_t& steps, TCommitLog& log) {
  THookScope hooks;
  // Below, everything but the lines marked "log" repeats RunFast with its
  // default poll every 2^16 steps, lookup for lookup.
  auto memoryWatched = [] {
    for (const TBreakPoint* bp : BreakPoints)
      if (bp->LockPosition) return true;
    return false;
  };
  const uint64_t limit = maxSteps ? steps + maxSteps : 0;
  const uint64_t pollMask = (uint64_t(1) << 16) - 1;
  bool watched = memoryWatched();
  uint32_t word = TheMemory.ReadWord(TheState.GetReg(-1));
  for (;;) {
    const uint32_t pc = TheState.Regs[0];  // log
    Written = -1;                           // log
    Stored = false;                         // log
    bool touched = TheCPU.Execute(word);
    ++steps;
    // A store changes no register, so the stored register still holds the
    // stored value. log
    log.Add(steps, pc, word, Written, TheState.Regs[1 + (Written & 31)], Stored, uint32_t(StoredAddress),
            TheState.Regs[1 + ((word >> 16) & 31)]);
    if (!BreakPoints.empty()) {
      if (CheckAll()) return TStopReason::BreakPoint;
      touched |= watched;
    }
    if ((steps & pollMask) == 0) {
      watched = memoryWatched();
      touched = true;
    }
    if (touched) {
      const int32_t offset = TheMemory.FindWord(TheState.GetReg(-1), false);
      if (offset < 0) return TStopReason::StopOpcode;
      word = TheMemory.LastBlock().Words[offset];
    } else {
      if (!TheState.NextMapped) return TStopReason::StopOpcode;
      word = TheState.NextWord;
    }
    if (word >> 26 == StopOpcode) return TStopReason::StopOpcode;
    if (word == IdleLoopWord) return TStopReason::IdleLoop;
    if (steps == limit) return TStopReason::StepLimit;
  }
}

}  // namespace runner
