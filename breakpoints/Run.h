// The fast run: steps until a breakpoint fires, the stop opcode or the idle
// loop is reached, a step limit is hit or the caller asks to stop.
#pragma once

#include <cstdint>
#include <optional>

#include "BreakIndex.h"
#include "BreakPoint.h"

enum class TStopReason { BreakPoint, StopOpcode, IdleLoop, StepLimit, Interrupted };

struct TNoPoll {
  bool operator()() const { return false; }
};

namespace fastrun {

// What a run segment has to serve, fixed for the segment: display
// receivers attached to DisplayHooks (Notify), breakpoints (Checks).
enum TMode { Quiet = 0, Notify = 1, Checks = 2 };

// The machine during one run segment: the program counter and registers in
// locals, and a copy of the memory's cached block. TheState is written back
// before anything outside the loop can look at it: at the end of the
// segment, before a breakpoint is evaluated, and in Notify mode before every
// notification (registers are written through at once in that mode).
//
// Memory lookups keep the literal order of the plain loop, since each one
// moves the cached block: the counter's word at every program counter write
// (as the next-instruction line does), a load or store, a memory watch, and
// the stop tests. A lookup of an address inside the cached block returns
// that block and leaves it cached, so such lookups are served from the copy;
// every other lookup goes to the memory, and the copy is taken again after
// anything that may have moved it.
template <int Mode>
class TLocalMachine {
 public:
  TLocalMachine() : Pc(TheState.Regs[0]), R0(TheState.Regs[1]) {
    for (int i = 0; i < 32; ++i) X[i] = TheState.Regs[i + 1];
    Recache();
  }

  // The machine ExecuteWord runs on.
  uint32_t PC() const { return Pc; }
  void SetPC(uint32_t v) {
    Pc = v;
    NextMapped = Fetch(v, NextWord);
    Stepped = true;
    if constexpr (Mode & Notify) {
      if (DisplayHooks.NextCommandChanged) {
        WriteBackPC();
        DisplayHooks.NextCommandChanged();
        Recache();
      }
    }
  }
  uint32_t Reg(int i) const { return X[i]; }
  const uint32_t* Regs() const { return X; }
  void SetReg(int i, uint32_t v) {
    X[i] = v;
    X[0] = R0;  // R0 is never stored to
    Written |= uint32_t(1) << i;
    if constexpr (Mode & Notify) TheState.Regs[i + 1] = X[i];
    if constexpr (Mode & Notify) {
      if (DisplayHooks.RegisterChanged) {
        WriteBackPC();
        DisplayHooks.RegisterChanged(i);
        Recache();
      }
    }
  }
  uint32_t Load(int32_t address) {
    const uint32_t v = TheMemory.ReadWord(address);
    Recache();
    return v;
  }
  void Store(int32_t address, uint32_t v) {
    if constexpr (Mode & Notify) WriteBackPC();  // the store is reported
    TheMemory.WriteWord(address, v);
    Recache();
  }

  // The word at an address as ReadWord finds it; false when unmapped.
  bool Fetch(uint32_t a, uint32_t& word) {
    if (a - uint32_t(Cache.Start) < uint32_t(Cache.Count)) {
      word = Cache.Words[a - uint32_t(Cache.Start)];
      return true;
    }
    const int32_t offset = TheMemory.FindWord(int32_t(a), false);
    Recache();
    word = offset < 0 ? TMemory::Unmapped : Cache.Words[offset];
    return offset >= 0;
  }
  // After code outside the loop ran, which may have looked memory up.
  void Recache() { Cache = TheMemory.LastBlock(); }

  // The program counter and what the next-instruction line captured.
  void WriteBackPC() {
    TheState.Regs[0] = Pc;
    if (!Stepped) return;
    TheState.NextAddress = int32_t(Pc);
    TheState.NextWord = NextWord;
    TheState.NextMapped = NextMapped;
    TheState.NextValid = true;
  }
  void WriteBack() {
    for (int i = 1; i < 32; ++i) TheState.Regs[i + 1] = X[i];
    WriteBackPC();
  }

  uint32_t Written = 0;  // bit i: Ri was written (R0 included)

 private:
  uint32_t Pc;
  const uint32_t R0;
  uint32_t X[32];
  TBlockRef Cache;
  uint32_t NextWord = 0;
  bool NextMapped = false;
  bool Stepped = false;  // the program counter was written
};

// CheckAll's result and effects after a step. Where no instruction
// condition names the program counter, only the other breakpoints can hold
// (BreakIndex.h); they are tested on the local state, and one that holds is
// evaluated for real. Its repeated lookup of a watched word changes nothing:
// the word's block is cached by then.
template <int Mode>
bool CheckBreakPoints(TLocalMachine<Mode>& m, const TBreakIndex& index) {
  const int32_t pc = int32_t(m.PC());
  if (index.Named(pc)) [[unlikely]] {
    m.WriteBack();
    const bool fired = CheckAll();
    m.Recache();
    return fired;
  }
  if (index.Others().empty()) return false;
  bool fired = false;
  for (TBreakPoint* bp : index.Others()) {
    uint32_t word = 0, reg = 0;
    if (bp->LockPosition) word = TheMemory.ReadWord(bp->Position);
    if (bp->Holds(pc, m.Regs(), word, reg)) [[unlikely]] {
      m.WriteBack();
      fired |= bp->Check();
    }
  }
  m.Recache();
  return fired;
}

// Runs from the state in TheState until a stop (returned) or until `steps`
// reaches pollAt after a step and its breakpoint check (nullopt: the caller
// polls, then starts the next segment). `first`: the instruction at the
// program counter runs without the stop tests, as the first of a run does.
template <int Mode>
std::optional<TStopReason> RunSegment(bool first, uint64_t& steps, uint64_t pollAt, uint64_t limit,
                                      const TBreakIndex& index, uint32_t& written) {
  TLocalMachine<Mode> m;
  uint64_t n = steps;
  // After every step: the stop opcode, the idle loop, then the step limit.
  // The word found here is the one the next step executes.
  uint32_t word;
  auto stopTest = [&]() -> std::optional<TStopReason> {
    if (!m.Fetch(m.PC(), word) || word >> 26 == StopOpcode) return TStopReason::StopOpcode;
    if (word == IdleLoopWord) return TStopReason::IdleLoop;
    if (n == limit) return TStopReason::StepLimit;
    return std::nullopt;
  };
  std::optional<TStopReason> stop;
  if (first)
    m.Fetch(m.PC(), word);
  else
    stop = stopTest();
  while (!stop) {
    ExecuteWord(m, word);
    ++n;
    if constexpr (Mode & Checks) {
      if (CheckBreakPoints(m, index)) stop = TStopReason::BreakPoint;
    }
    if (stop || n == pollAt) break;
    stop = stopTest();
  }
  m.WriteBack();
  steps = n;
  written |= m.Written;
  return stop;
}

}  // namespace fastrun

// maxSteps 0 means no limit. poll() is asked every 2^pollShift steps, after
// the breakpoints, and ends the run when it returns true. steps counts the
// executed instructions (it is added to, not reset). written, when given,
// gets a bit set for every general register the run wrote (R0 included), so
// that a window can show them at the end without a receiver for every write.
//
// The run goes in segments from one poll to the next; each picks the loop
// made for what is attached at its start (display receivers, breakpoints).
template <class Poll = TNoPoll>
TStopReason RunFast(uint64_t maxSteps, uint64_t& steps, Poll&& poll = Poll(), int pollShift = 16,
                    uint32_t* written = nullptr) {
  using namespace fastrun;
  const uint64_t limit = maxSteps ? steps + maxSteps : 0;
  const uint64_t pollMask = (uint64_t(1) << pollShift) - 1;
  uint32_t registers = 0;
  TBreakIndex index;
  for (bool first = true;; first = false) {
    index.Build();
    const bool notify = DisplayHooks.RegisterChanged || DisplayHooks.NextCommandChanged || DisplayHooks.MemoryChanged;
    const int mode = (notify ? Notify : Quiet) | (index.Empty() ? Quiet : Checks);
    const uint64_t pollAt = (steps | pollMask) + 1;
    std::optional<TStopReason> stop;
    switch (mode) {
      case Quiet: stop = RunSegment<Quiet>(first, steps, pollAt, limit, index, registers); break;
      case Notify: stop = RunSegment<Notify>(first, steps, pollAt, limit, index, registers); break;
      case Checks: stop = RunSegment<Checks>(first, steps, pollAt, limit, index, registers); break;
      default: stop = RunSegment<Notify | Checks>(first, steps, pollAt, limit, index, registers); break;
    }
    if (written) *written |= registers;
    if (stop) return *stop;
    if (poll()) return TStopReason::Interrupted;
  }
}
