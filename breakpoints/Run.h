// The run loops. The fast run steps until a breakpoint fires, the stop
// opcode or the idle loop is reached, a step limit is hit or the caller asks
// to stop; the displayed run and the single step (at the end) let the front
// end show every step.
#pragma once

#include <cstdint>
#include <optional>
#include <type_traits>

#include "breakpoints/BreakIndex.h"
#include "breakpoints/BreakPoint.h"
#include "core/CPU.h"

enum class TStopReason { BreakPoint, StopOpcode, IdleLoop, StepLimit, Interrupted };

// The reason as the runner prints it and the page's worker reports it.
constexpr const char* StopReasonText(TStopReason reason) {
  switch (reason) {
    case TStopReason::BreakPoint: return "breakpoint";
    case TStopReason::StopOpcode: return "stop-opcode";
    case TStopReason::IdleLoop: return "idle-loop";
    case TStopReason::StepLimit: return "step-limit";
    case TStopReason::Interrupted: break;
  }
  return "interrupted";
}

constexpr TStopReason StopReasonOf(TStopTest test) {
  return test == TStopTest::IdleLoop ? TStopReason::IdleLoop : TStopReason::StopOpcode;
}

struct TNoPoll {
  bool operator()() const { return false; }
};

// What one executed instruction did, for a receiver that records every step
// (the commit log): its address and word, the general register it wrote
// (-1: none; R0 included) with the value, and the word it stored.
struct TStepRecord {
  uint64_t Step;  // counts from 1 within the run's `steps`
  uint32_t Pc, Word;
  int Reg;
  uint32_t RegValue;
  bool Stored;
  uint32_t Address, Value;
};

// The receiver of a run that records nothing; a run with it compiles to the
// same loop as one without.
struct TNoStepLog {
  static constexpr bool Records = false;
  void operator()(const TStepRecord&) const {}
};

namespace fastrun {

// What a run segment has to serve, fixed for the segment: display
// register or next-instruction receivers attached (Notify), breakpoints
// (Checks), a receiver of every step (Records).
enum TMode { Quiet = 0, Notify = 1, Checks = 2, Records = 4 };

// The machine during one run segment: the program counter and registers in
// locals, and a copy of the memory's two cache slots. TheState and the
// memory's cache are written back before anything outside the loop can look
// at them: at the end of the segment, before a breakpoint is evaluated or
// the memory is called, and in Notify mode before every notification
// (registers are written through at once in that mode).
//
// Memory lookups keep the literal order of the plain loop, since each one
// moves the cached block: the counter's word at every program counter write
// (as the next-instruction line does), a load or store, a memory watch, and
// the stop tests. A lookup that one of the two slots answers is served on
// the copy by the memory's own rules; only a miss goes to the memory.
template <int Mode>
class TLocalMachine {
 public:
  TLocalMachine() : Pc(TheState.Regs[0]), R0(TheState.Regs[1]), Moves(TheMemory.CacheMoves() - 1) {
    for (int i = 0; i < 32; ++i) X[i] = TheState.Regs[i + 1];
    Recache();
  }

  // The machine ExecuteWord runs on.
  uint32_t PC() const { return Pc; }
  [[gnu::always_inline]] void SetPC(uint32_t v) {
    Pc = v;
    Mapped = Fetch(v, Next);
    if constexpr (Mode & Checks) {
      NextSlot = Cur;
      NextMoves = Moves;
    }
    if constexpr (Mode & Notify) {
      if (DisplayHooks.NextCommandChanged) {
        WriteBack();
        DisplayHooks.NextCommandChanged();
        Recache();
      }
    }
  }
  uint32_t Reg(int i) const { return X[i]; }
  const uint32_t* Regs() const { return X; }
  [[gnu::always_inline]] void SetReg(int i, uint32_t v) {
    X[i] = v;
    X[0] = R0;  // R0 is never stored to
    Written |= uint32_t(1) << i;
    if constexpr (Mode & Records) {
      Step.Reg = i;
      Step.RegValue = X[i];
    }
    if constexpr (Mode & Checks) Fresh |= uint32_t(1) << i;
    if constexpr (Mode & Notify) TheState.Regs[i + 1] = X[i];
    if constexpr (Mode & Notify) {
      if (DisplayHooks.RegisterChanged) {
        WriteBack();
        DisplayHooks.RegisterChanged(i);
        Recache();
      }
    }
  }
  [[gnu::always_inline]] uint32_t Load(int32_t address) { return Read(address); }
  // As WriteWord: the word is found (or made), stored, then reported.
  [[gnu::always_inline]] void Store(int32_t address, uint32_t v) {
    if constexpr (Mode & Records) {
      Step.Stored = true;
      Step.Address = uint32_t(address);
      Step.Value = v;
    }
    if (uint32_t* word = Find(uint32_t(address))) [[likely]] {
      *word = v;
      if (DisplayHooks.MemoryChanged && DisplayHooks.ReportsStore(address)) [[unlikely]]
        Report(address);
      return;
    }
    StoreMiss(address, v);
  }

  // The word at an address as ReadWord finds it; false when unmapped.
  [[gnu::always_inline]] bool Fetch(uint32_t a, uint32_t& word) {
    if (const uint32_t* w = Find(a)) [[likely]] {
      word = *w;
      return true;
    }
    return FetchMiss(a, word);
  }
  [[gnu::always_inline]] uint32_t Read(int32_t address) {
    uint32_t word;
    Fetch(uint32_t(address), word);
    return word;
  }
  // After code outside the loop ran, which may have looked memory up. A
  // block keeps the slot it had, so that code found in Slot[0] (tried
  // first) stays there across a store and its report.
  void Recache() {
    if (TheMemory.CacheMoves() == Moves) return;
    Moves = TheMemory.CacheMoves();
    const TMemory::TCache cache = TheMemory.Cache();
    const TBlockRef& was = Slot[1];
    Cur = Synced = cache.Current.Words == was.Words && cache.Current.Start == was.Start ? 1 : 0;
    Slot[Cur] = cache.Current;
    // A hit on the other slot drops a cached block that is not exclusive,
    // which the copy cannot hand back: the memory serves such a hit.
    const bool served = cache.Current.Exclusive || cache.Current.Count == 0;
    Slot[Cur ^ 1] = served ? cache.Other : TBlockRef{};
  }

  // Everything outside the loop may look at. `stepped`: an instruction ran
  // in this segment, so the next-instruction line has something to show.
  void WriteBack(bool stepped = true) {
    if constexpr (!(Mode & Notify))  // else written through already
      for (int i = 1; i < 32; ++i) TheState.Regs[i + 1] = X[i];
    WriteBackPC(stepped);
    PushCache();
  }

  // The stop test's lookup of the counter, when no load or store and no
  // receiver looked memory up since the counter's last write. Only hits on
  // the copy can have happened since (breakpoint checks do them): the slots
  // are as that write left them, and the same slot answers again.
  [[gnu::always_inline]] bool FetchNext(uint32_t& word) {
    if constexpr (Mode & Checks) {
      if (!Mapped || Moves != NextMoves) [[unlikely]]
        return Fetch(Pc, word);
      Cur = NextSlot;
    } else if (!Mapped) {
      return Fetch(Pc, word);
    }
    word = Next;
    return true;
  }

  uint32_t Written = 0;  // bit i: Ri was written (R0 included)
  uint32_t Fresh = 0;    // the same since the last breakpoint check (Checks)
  TStepRecord Step{};    // what the current instruction did (Records)

  // The copy's state as far as breakpoint checks need it: which slot is
  // the cached one, and a count that changes whenever the slots may have.
  unsigned CachedSlot() const { return Cur; }
  void SetCachedSlot(unsigned slot) { Cur = slot; }
  uint32_t CacheMoves() const { return Moves; }

 private:
  // FindWord's hits on the copy: the word's storage, or null when no slot
  // served here covers the address (nothing changed then). Both slots hold
  // exclusive blocks (or one is empty), so a hit on either answers as a
  // search would, and only makes its slot the cached one.
  [[gnu::always_inline]] uint32_t* Find(uint32_t a) {
    if (Slot[0].Covers(int32_t(a))) {
      Cur = 0;
      return Slot[0].Words + (a - uint32_t(Slot[0].Start));
    }
    if (Slot[1].Covers(int32_t(a))) {
      Cur = 1;
      return Slot[1].Words + (a - uint32_t(Slot[1].Start));
    }
    return nullptr;
  }
  bool FetchMiss(uint32_t a, uint32_t& word) {
    PushCache();
    const int32_t offset = TheMemory.FindWord(int32_t(a), false);
    Recache();
    word = offset < 0 ? TMemory::Unmapped : Slot[Cur].Words[offset];
    return offset >= 0;
  }
  void StoreMiss(int32_t address, uint32_t v) {
    Outside();
    TheMemory.WriteWord(address, v);
    Recache();
  }
  [[gnu::always_inline]] void Report(int32_t address) {
    Outside();
    DisplayHooks.MemoryChanged(address);
    Recache();
  }
  // The copy only ever differs from the memory by hits on the other slot,
  // each of which swaps the slots: an odd number of them is one swap.
  [[gnu::always_inline]] void PushCache() {
    if (Cur == Synced) return;
    TheMemory.HitOther();
    Synced = Cur;
    Moves = TheMemory.CacheMoves();
  }
  // Before the memory is called to store or to report a store: in Notify
  // mode its receivers see the program counter of the store.
  [[gnu::always_inline]] void Outside() {
    if constexpr (Mode & Notify) WriteBackPC();
    PushCache();
  }
  // The program counter and what the next-instruction line captured.
  void WriteBackPC(bool stepped = true) {
    TheState.Regs[0] = Pc;
    if (!stepped) return;
    TheState.NextAddress = int32_t(Pc);
    TheState.NextWord = Next;
    TheState.NextMapped = Mapped;
    TheState.NextValid = true;
  }

  uint32_t Pc;
  const uint32_t R0;
  uint32_t X[32];
  TBlockRef Slot[2];  // Slot[Cur]: the memory's cached block
  unsigned Cur = 0;
  unsigned Synced = 0;  // the memory's cached block is Slot[Synced]
  uint32_t Moves;       // the memory's CacheMoves() when the copy was taken
  uint32_t Next = 0;
  bool Mapped = false;
  unsigned NextSlot = 0;
  uint32_t NextMoves = 0;
};

// What the last full evaluation of the other breakpoints found: none of
// them held, and what it left cached.
struct TOthersMemo {
  bool Valid = false;
  uint32_t Moves = 0;
  unsigned Slot = 0;
};

// CheckAll's result and effects after a step. Where no instruction
// condition names the program counter, only the other breakpoints can hold
// (BreakIndex.h); they are tested on the local state, and one that holds is
// evaluated for real. Its repeated lookup of a watched word changes nothing:
// the word's block is cached by then.
//
// When none of the others held at the last step, they still do not unless
// something they read changed: a watched register was written, memory was
// stored to (the step was a load or store, which also moves the cache), or
// the cache slots changed under the copy. Otherwise only the effect of their
// lookups remains, which is to leave the block of the last watched word
// cached. With display receivers attached, anything may have changed.
template <int Mode>
[[gnu::always_inline]] inline bool CheckBreakPoints(TLocalMachine<Mode>& m, const TBreakIndex& index, TOthersMemo& memo,
                                                    bool memory) {
  const int32_t pc = int32_t(m.PC());
  const uint32_t fresh = m.Fresh;
  m.Fresh = 0;
  if (index.Named(pc)) [[unlikely]] {
    memo.Valid = false;
    m.WriteBack();
    const bool fired = CheckAll();
    m.Recache();
    return fired;
  }
  if constexpr (!(Mode & Notify)) {
    if (memo.Valid && !memory && !(fresh & index.OthersRegisters()) && memo.Moves == m.CacheMoves()) {
      if (index.OthersReadMemory()) m.SetCachedSlot(memo.Slot);
      return false;
    }
  }
  bool fired = false, held = false;
  for (TBreakPoint* bp : index.Others()) {
    const uint32_t word = bp->LockPosition ? m.Read(bp->Position) : 0;
    if (bp->Holds(pc, m.Regs(), word)) [[unlikely]] {
      held = true;
      m.WriteBack();
      fired |= bp->Check();
      m.Recache();
    }
  }
  memo = {!held && !index.OthersReadPC(), m.CacheMoves(), m.CachedSlot()};
  return fired;
}

// Runs from the state in TheState until a stop (returned) or until `steps`
// reaches pollAt after a step, its breakpoint check and its stop tests
// (nullopt: the caller polls, then starts the next segment). The instruction
// at the program counter runs without the stop tests: either it is the first
// of a run, or the tests passed before the poll. A run the poll ends thus
// never leaves the stop opcode or the idle loop for the next run to execute.
//
// Never inlined, so that every caller runs the same loop, compiled alone.
template <int Mode, class StepLog>
[[gnu::noinline]] std::optional<TStopReason> RunSegment(uint64_t& steps, uint64_t pollAt, uint64_t limit,
                                                        const TBreakIndex& index, uint32_t& written, StepLog& log) {
  TLocalMachine<Mode> m;
  uint64_t n = steps;
  // After every step: the stop opcode, the idle loop, then the step limit.
  // The word found here is the one the next step executes. A load or store
  // may have changed it, and a receiver may have looked memory up.
  uint32_t word;
  TStopReason why{};
  auto stopTest = [&](bool lookup) {
    // StopTestOf's order, spelled out as branches: the compiler keeps the
    // common case (no stop) to three compares.
    const bool mapped = lookup ? m.Fetch(m.PC(), word) : m.FetchNext(word);
    if (AtStopWord(mapped, word))
      why = TStopReason::StopOpcode;
    else if (AtIdleWord(word))
      why = TStopReason::IdleLoop;
    else if (n == limit)
      why = TStopReason::StepLimit;
    else
      return false;
    return true;
  };
  bool stopped = false;
  TOthersMemo memo;
  m.Fetch(m.PC(), word);
  while (!stopped) {
    if constexpr (Mode & Records) m.Step = {0, m.PC(), word, -1, 0, false, 0, 0};
    const bool memory = ExecuteWord(m, word);
    ++n;
    if constexpr (Mode & Records) {
      m.Step.Step = n;
      log(m.Step);
    }
    if constexpr (Mode & Checks) {
      if (CheckBreakPoints(m, index, memo, memory)) [[unlikely]] {
        why = TStopReason::BreakPoint;
        stopped = true;
        break;
      }
    }
    stopped = stopTest(memory || (Mode & Notify));
    if (n == pollAt) [[unlikely]]
      break;
  }
  m.WriteBack(n != steps);
  steps = n;
  written |= m.Written;
  if (!stopped) return std::nullopt;
  return why;
}

}  // namespace fastrun

// maxSteps 0 means no limit. poll() is asked every 2^pollShift steps, after
// the breakpoints and the stop tests, and ends the run when it returns true.
// steps counts the executed instructions (it is added to, not reset).
// written, when given, gets a bit set for every general register the run
// wrote (R0 included), so that a window can show them at the end without a
// receiver for every write. log receives every step right after it ran,
// before its breakpoints; it must not look at the machine.
//
// The run goes in segments from one poll to the next; each picks the loop
// made for what is attached at its start (display receivers, breakpoints).
template <class Poll = TNoPoll, class StepLog = TNoStepLog>
TStopReason RunFast(uint64_t maxSteps, uint64_t& steps, Poll&& poll = Poll(), int pollShift = 16,
                    uint32_t* written = nullptr, StepLog&& log = StepLog()) {
  using namespace fastrun;
  const uint64_t limit = maxSteps ? steps + maxSteps : 0;
  const uint64_t pollMask = (uint64_t(1) << pollShift) - 1;
  uint32_t registers = 0;
  TBreakIndex index;
  for (;;) {
    index.Build();
    // A store is reported from either loop (Hooks.h).
    const bool notify = DisplayHooks.RegisterChanged || DisplayHooks.NextCommandChanged;
    const int mode = (notify ? Notify : Quiet) | (index.Empty() ? Quiet : Checks);
    const uint64_t pollAt = (steps | pollMask) + 1;
    constexpr int records = std::remove_cvref_t<StepLog>::Records ? Records : Quiet;
    std::optional<TStopReason> stop;
    switch (mode) {
      case Quiet: stop = RunSegment<Quiet | records>(steps, pollAt, limit, index, registers, log); break;
      case Notify: stop = RunSegment<Notify | records>(steps, pollAt, limit, index, registers, log); break;
      case Checks: stop = RunSegment<Checks | records>(steps, pollAt, limit, index, registers, log); break;
      default: stop = RunSegment<Notify | Checks | records>(steps, pollAt, limit, index, registers, log); break;
    }
    if (written) *written |= registers;
    if (stop) return *stop;
    if (poll()) return TStopReason::Interrupted;
  }
}

// A run that shows every step: the desktop's Starten and the page's display
// run; a single step is its first pass. After each instruction come show()
// (the front end draws the step and takes events; true ends the run there),
// the breakpoints, stopRequested() (true ends the run before the stop tests,
// so the next run executes the word this one ended at), the stop tests, and
// more() (false ends the run). Ends that are no stop give Interrupted.
//
// The instruction's effects are ExecuteWord's, as in the fast run; the step
// runs on TheState and TheMemory themselves, since the front end looks at
// them between steps.
template <class Show, class StopRequested, class More>
TStopReason RunDisplayed(Show&& show, StopRequested&& stopRequested, More&& more) {
  for (;;) {
    TheCPU.Step();
    if (show()) return TStopReason::Interrupted;
    if (CheckAll()) return TStopReason::BreakPoint;
    if (stopRequested()) return TStopReason::Interrupted;
    if (const TStopTest test = TheCPU.StopTest(); test != TStopTest::None) return StopReasonOf(test);
    if (!more()) return TStopReason::Interrupted;
  }
}

// A single step: the instruction, show(), then its breakpoints, whose
// counters advance as in a run. It has no stop tests (the word at the
// counter runs whatever it is); true when a breakpoint fired.
template <class Show>
bool StepDisplayed(Show&& show) {
  auto shown = [&] {
    show();
    return false;
  };
  return RunDisplayed(
             shown, [] { return true; }, [] { return false; }) == TStopReason::BreakPoint;
}
