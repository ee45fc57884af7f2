#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "breakpoints/BreakIndex.h"
#include "breakpoints/Run.h"
#include "tests/support/CoreFixture.h"

namespace {

using namespace enc;

class BreakPointTest : public CoreTest {
 protected:
  static std::vector<std::string> Row(const TBreakPoint* bp) {
    return {bp->Caption(), bp->SubItem(0), bp->SubItem(1), bp->SubItem(2)};
  }
  // A loop at 0x100 that counts R1 up forever: addi R1,R1,1 ; beqz R0,-2.
  static void CountingLoop() { Program(0x100, {Addi(1, 1, 1), Beqz(0, -2)}); }
};

TEST_F(BreakPointTest, NewBreakPointJoinsListWithEmptyRow) {
  auto* a = new TBreakPoint;
  auto* b = new TBreakPoint;
  EXPECT_EQ(BreakPoints, (std::vector<TBreakPoint*>{a, b}));
  EXPECT_EQ(Row(a), (std::vector<std::string>{"", "--", "--", "immer"}));
  delete a;
  EXPECT_EQ(BreakPoints, std::vector<TBreakPoint*>{b});
}

TEST_F(BreakPointTest, RowTexts) {
  auto* bp = new TBreakPoint;
  bp->LockRegister = true;
  bp->Register = 5;
  bp->LockValue = true;
  bp->Value = 42;
  bp->UpdateView();
  EXPECT_EQ(Row(bp), (std::vector<std::string>{"", "--", "--", "Wenn R05 den Wert $0000002a hat"}));
  bp->Register = 31;
  bp->LockValue = false;
  bp->UseInstruction = true;
  bp->Instruction = -2;
  bp->UseCount = true;
  bp->MaxCount = 10;
  bp->ActCount = 3;
  EXPECT_EQ(Row(bp)[3], "Wenn R05 den Wert $0000002a hat");  // not yet shown
  bp->UpdateView();
  EXPECT_EQ(Row(bp), (std::vector<std::string>{"$fffffffe", "3", "10", "Wenn R31 sich ändert"}));
  bp->LockRegister = false;
  bp->LockPosition = true;
  bp->Position = 4096;
  bp->UpdateView();
  EXPECT_EQ(Row(bp)[3], "Wenn Speicher $00001000 sich ändert");
  bp->LockValue = true;
  bp->Value = 0xFFFFFFFF;
  bp->UpdateView();
  EXPECT_EQ(Row(bp)[3], "Wenn Speicher $00001000 den Wert $ffffffff hat");
  bp->MaxCount = -7;
  bp->UpdateView();
  EXPECT_EQ(Row(bp)[2], "-7");
}

std::vector<std::string> RowEvents;

TEST_F(BreakPointTest, RowHooksFollowTheBreakPointsLife) {
  RowEvents.clear();
  DisplayHooks.BreakPointAdded = [](TBreakPoint* bp) { RowEvents.push_back("add " + bp->SubItem(2)); };
  DisplayHooks.BreakPointUpdated = [](TBreakPoint* bp) { RowEvents.push_back("update " + bp->SubItem(0)); };
  DisplayHooks.BreakPointRemoved = [](TBreakPoint*) { RowEvents.push_back("remove"); };
  auto* bp = new TBreakPoint;
  bp->UseCount = true;
  bp->MaxCount = 2;
  bp->UpdateView();
  CountingLoop();
  CheckAll();
  delete bp;
  EXPECT_EQ(RowEvents, (std::vector<std::string>{"add immer", "update --", "update 0", "update 1", "remove"}));
}

TEST_F(BreakPointTest, CounterOnlyFiresEveryNthInstruction) {
  CountingLoop();
  auto* bp = new TBreakPoint;
  bp->UseCount = true;
  bp->MaxCount = 3;
  bp->UpdateView();
  std::vector<bool> fired;
  std::vector<std::string> shown;
  for (int i = 0; i < 6; ++i) {
    TheCPU.Step();
    fired.push_back(CheckAll());
    shown.push_back(bp->SubItem(0));
  }
  EXPECT_EQ(fired, (std::vector<bool>{false, false, true, false, false, true}));
  EXPECT_EQ(shown, (std::vector<std::string>{"1", "2", "0", "1", "2", "0"}));
}

TEST_F(BreakPointTest, LimitOfOneOrLessFiresEveryTime) {
  for (int32_t limit : {1, 0, -5}) {
    auto* bp = new TBreakPoint;
    bp->UseCount = true;
    bp->MaxCount = limit;
    EXPECT_TRUE(bp->Check());
    EXPECT_TRUE(bp->Check());
    EXPECT_EQ(bp->ActCount, 0);
    delete bp;
  }
}

TEST_F(BreakPointTest, RegisterWatches) {
  auto* change = new TBreakPoint;
  change->LockRegister = true;
  change->Register = 0;
  EXPECT_FALSE(change->Check());  // R0 never changes
  change->Register = 3;
  TheState.SetReg(3, 7);
  change->Value = 7;
  EXPECT_FALSE(change->Check());
  TheState.SetReg(3, 8);
  EXPECT_TRUE(change->Check());
  EXPECT_EQ(change->Value, 8u);
  TheState.SetReg(3, 8);  // the same value again
  EXPECT_FALSE(change->Check());

  auto* value = new TBreakPoint;
  value->LockRegister = true;
  value->LockValue = true;
  value->Register = 0;
  value->Value = 0;
  EXPECT_TRUE(value->Check());
  EXPECT_TRUE(value->Check());  // keeps firing while the value stays
  EXPECT_EQ(value->Value, 0u);
}

TEST_F(BreakPointTest, MemoryWatchOnUnmappedWordSeesUnmappedValue) {
  auto* bp = new TBreakPoint;
  bp->LockPosition = true;
  bp->Position = 0x9999;
  bp->LockValue = true;
  bp->Value = 0xFFFFFFFF;
  EXPECT_TRUE(bp->Check());
  bp->LockValue = false;
  EXPECT_FALSE(bp->Check());
  TheMemory.WriteWord(0x9999, 0xFFFFFFFF);
  EXPECT_FALSE(bp->Check());
  TheMemory.WriteWord(0x9999, 1);
  EXPECT_TRUE(bp->Check());
}

TEST_F(BreakPointTest, ChangeReferenceMovesOnlyWhenAllConditionsHold) {
  Program(0x100, {Addi(1, 1, 1), Addi(1, 1, 1), Addi(1, 1, 1), Beqz(0, -4)});
  auto* bp = new TBreakPoint;
  bp->LockRegister = true;
  bp->Register = 1;
  bp->UseInstruction = true;
  bp->Instruction = 0x102;
  bp->Value = 0;
  // R1 changes after every instruction, but the breakpoint compares at
  // 0x102 against the value it was armed with.
  TheCPU.Step();
  EXPECT_FALSE(CheckAll());
  EXPECT_EQ(bp->Value, 0u);
  TheCPU.Step();
  EXPECT_TRUE(CheckAll());
  EXPECT_EQ(bp->Value, 2u);
}

TEST_F(BreakPointTest, ChangeWatchWithCounterFiresOnTheNthChange) {
  CountingLoop();
  auto* bp = new TBreakPoint;
  bp->LockRegister = true;
  bp->Register = 1;
  bp->UseCount = true;
  bp->MaxCount = 2;
  std::vector<bool> fired;
  for (int i = 0; i < 4; ++i) {  // changes after steps 1 and 3
    TheCPU.Step();
    fired.push_back(CheckAll());
  }
  EXPECT_EQ(fired, (std::vector<bool>{false, false, true, false}));
}

TEST_F(BreakPointTest, CheckAllEvaluatesEveryBreakPoint) {
  CountingLoop();
  auto* first = new TBreakPoint;
  first->UseCount = true;
  first->MaxCount = 1;
  auto* second = new TBreakPoint;
  second->LockRegister = true;
  second->Register = 1;
  auto* third = new TBreakPoint;
  third->UseCount = true;
  third->MaxCount = 5;
  TheCPU.Step();
  EXPECT_TRUE(CheckAll());
  EXPECT_EQ(second->Value, 1u);  // reference advanced though first fired
  EXPECT_EQ(third->ActCount, 1);
  EXPECT_FALSE(BreakPoints.empty());
  while (!BreakPoints.empty()) delete BreakPoints.back();
  EXPECT_FALSE(CheckAll());
}

TEST_F(BreakPointTest, TwoBreakPointsFiringTogetherBothReset) {
  CountingLoop();
  std::vector<TBreakPoint*> bps;
  for (int i = 0; i < 2; ++i) {
    auto* bp = new TBreakPoint;
    bp->LockRegister = true;
    bp->Register = 1;
    bp->UseCount = true;
    bp->MaxCount = 1;
    bps.push_back(bp);
  }
  TheCPU.Step();
  EXPECT_TRUE(CheckAll());
  for (auto* bp : bps) {
    EXPECT_EQ(bp->ActCount, 0);
    EXPECT_EQ(bp->Value, 1u);
  }
}

TEST_F(BreakPointTest, LookupsFindTheOldestWithTheirOwnCondition) {
  auto* a = new TBreakPoint;
  a->UseInstruction = true;
  a->Instruction = 0x10;
  a->LockRegister = true;
  a->Register = 4;
  auto* b = new TBreakPoint;
  b->UseInstruction = true;
  b->Instruction = 0x10;
  b->LockPosition = true;
  b->Position = 4;
  EXPECT_EQ(FindByInstruction(0x10), a);
  EXPECT_EQ(FindByRegister(4), a);
  EXPECT_EQ(FindByMemory(4), b);
  EXPECT_EQ(FindByMemory(0x10), nullptr);
  EXPECT_EQ(FindByRegister(0x10), nullptr);
  delete a;
  EXPECT_EQ(FindByInstruction(0x10), b);
  EXPECT_EQ(FindByRegister(4), nullptr);
}

TEST_F(BreakPointTest, InstructionBreakPointStopsBeforeTheInstruction) {
  Program(0x100, {Addi(1, 1, 1), Addi(2, 2, 1), Addi(3, 3, 1), IdleLoopWord});
  auto* bp = new TBreakPoint;
  bp->UseInstruction = true;
  bp->Instruction = 0x102;
  uint64_t steps = 0;
  EXPECT_EQ(RunFast(0, steps), TStopReason::BreakPoint);
  EXPECT_EQ(PC(), 0x102);
  EXPECT_EQ(Reg(3), 0u);
  EXPECT_EQ(steps, 2u);
  // A run started on the breakpoint executes it and goes on.
  EXPECT_EQ(RunFast(0, steps), TStopReason::IdleLoop);
  EXPECT_EQ(Reg(3), 1u);
  EXPECT_EQ(steps, 3u);
}

// Watches are tested again only when what they read may have changed: a
// write to a watched register, a store, whatever step it comes in, and the
// program counter for a watch that names an instruction.
TEST_F(BreakPointTest, WatchesSeeEveryWriteInTheStepItHappens) {
  for (bool named : {false, true}) {
    ResetCore();
    Program(0x100,
            {Addi(1, 0, 5), Addi(1, 1, 1), Addi(2, 0, 7), Addi(1, 1, 1), Sw(1, 0, 0x120), Addi(1, 1, 1), IdleLoopWord});
    TheMemory.AddBlock(0x120, 2);
    if (named) {  // holds whenever the counter is there
      auto* at = new TBreakPoint;
      at->UseInstruction = true;
      at->Instruction = 0x102;
      at->LockPosition = at->LockValue = true;
      at->Position = 0x121;
    }
    auto* reg = new TBreakPoint;
    reg->LockRegister = true;
    reg->Register = 2;
    auto* word = new TBreakPoint;
    word->LockPosition = true;
    word->Position = 0x120;
    uint64_t steps = 0;
    for (uint64_t stop : named ? std::vector<uint64_t>{2, 3, 5} : std::vector<uint64_t>{3, 5}) {
      EXPECT_EQ(RunFast(0, steps), TStopReason::BreakPoint) << named;
      EXPECT_EQ(steps, stop) << named;
    }
    EXPECT_EQ(word->Value, 7u);
    EXPECT_EQ(RunFast(0, steps), TStopReason::IdleLoop);
  }
}

TEST_F(BreakPointTest, RunFastStopsOnLimitAndPoll) {
  CountingLoop();
  uint64_t steps = 0;
  EXPECT_EQ(RunFast(1000, steps), TStopReason::StepLimit);
  EXPECT_EQ(steps, 1000u);
  int polls = 0;
  EXPECT_EQ(RunFast(
                0, steps, [&] { return ++polls == 3; }, 4),
            TStopReason::Interrupted);
  EXPECT_EQ(steps, 1000u + 40u);  // polled at 1008, 1024 and 1040
  EXPECT_EQ(Reg(1), 520u);
}

// A stop request that arrives at the poll right after the step that reached
// the stop opcode or the idle loop must not end the run as interrupted: the
// next run would execute that word (the stop opcode as an illegal word).
TEST_F(BreakPointTest, RunFastStopTestsComeBeforeThePoll) {
  for (const uint32_t last : {Stop, IdleLoopWord}) {
    ResetCore();
    Program(0x100, {Addi(1, 1, 1), Addi(1, 1, 1), Addi(1, 1, 1), Addi(1, 1, 1), last});
    uint64_t steps = 0;
    EXPECT_EQ(RunFast(
                  0, steps, [] { return true; }, 2),
              last == Stop ? TStopReason::StopOpcode : TStopReason::IdleLoop);
    EXPECT_EQ(steps, 4u);
    EXPECT_EQ(PC(), 0x104);
  }
}

// The displayed run asks its caller after the step (before the breakpoints),
// for a stop request after the breakpoints (before the stop tests), and
// whether to go on after the stop tests; a single step has no stop tests.
TEST_F(BreakPointTest, DisplayedRunAsksItsCallerInOrder) {
  struct Case {
    int showEndsAt, requestAt, moreUntil;
    TStopReason reason;
    int32_t pc;
    int32_t counted;  // breakpoint evaluations that held
  };
  const Case cases[] = {
      {0, 0, 99, TStopReason::StopOpcode, 0x103, 3},   // runs to the stop word
      {2, 0, 99, TStopReason::Interrupted, 0x102, 1},  // show ends it before step 2's breakpoints
      {0, 3, 99, TStopReason::Interrupted, 0x103, 3},  // a request leaves the stop word to the next run
      {0, 0, 2, TStopReason::Interrupted, 0x102, 2},
  };
  for (const Case& c : cases) {
    ResetCore();
    Program(0x100, {Addi(1, 1, 1), Addi(1, 1, 1), Addi(1, 1, 1), Stop});
    auto* bp = new TBreakPoint;  // holds at every step, never fires
    bp->UseCount = true;
    bp->MaxCount = 100;
    int steps = 0;
    const TStopReason reason = RunDisplayed([&] { return ++steps == c.showEndsAt; },
                                            [&] { return steps == c.requestAt; }, [&] { return steps < c.moreUntil; });
    EXPECT_EQ(reason, c.reason);
    EXPECT_EQ(PC(), c.pc);
    EXPECT_EQ(bp->ActCount, c.counted);
    if (c.requestAt) {
      EXPECT_FALSE(StepDisplayed([] {}));  // executes the stop word
      EXPECT_EQ(PC(), 0x104);
      EXPECT_EQ(bp->ActCount, c.counted + 1);
    }
  }
}

}  // namespace

namespace {

using namespace enc;

// The run loop written out plainly, one predicate after the other. A run
// interrupted by its poll ends after the breakpoints and the stop tests of
// the step that reached `interrupt`.
TStopReason PlainRun(uint64_t maxSteps, uint64_t& steps, uint64_t interrupt) {
  for (;;) {
    TheCPU.Step();
    ++steps;
    if (CheckAll()) return TStopReason::BreakPoint;
    if (TheCPU.AtStopOpcode()) return TStopReason::StopOpcode;
    if (TheCPU.AtIdleLoop()) return TStopReason::IdleLoop;
    if (steps == maxSteps) return TStopReason::StepLimit;
    if (steps == interrupt) return TStopReason::Interrupted;
  }
}

// What the display receivers saw, each with the state it could look at.
std::vector<std::string> Seen;

void SeeRegister(int i) { Seen.push_back("R" + std::to_string(i) + "=" + std::to_string(TheState.GetReg(i))); }
void SeeNextCommand() {
  Seen.push_back("P" + std::to_string(TheState.NextAddress) + ":" + std::to_string(TheState.NextWord) + "@" +
                 std::to_string(TheState.GetReg(-1)));
}
void SeeStore(int32_t a) {
  // Reading moves the memory's cached block, as an inspector may.
  Seen.push_back("M" + std::to_string(a) + "=" + std::to_string(TheMemory.ReadWord(a)));
}
void SeeRow(TBreakPoint* bp) {
  const auto at = std::find(BreakPoints.begin(), BreakPoints.end(), bp) - BreakPoints.begin();
  Seen.push_back("B" + std::to_string(at) + ":" + std::to_string(bp->ActCount) + "@" +
                 std::to_string(TheState.GetReg(-1)));
}

// A random breakpoint, often at the program's own addresses and watching
// the words and registers it uses. `watch` 1: a watch of a word or a
// register, only the word's with an instruction condition; 2: of a word,
// without one.
void RandomBreakPoint(std::mt19937& rng, int watch = 0) {
  auto* bp = new TBreakPoint;
  bp->UseInstruction = rng() % 4 != 0;
  bp->Instruction = 0x100 + int32_t(rng() % 44);
  switch (watch == 2 ? 0 : rng() % (watch ? 2 : 4)) {
    case 0:
      bp->LockPosition = true;
      bp->Position = 0x100 + int32_t(rng() % 48);
      break;
    case 1:
      bp->LockRegister = true;
      bp->Register = int(rng() % 6);
      break;
    default: break;
  }
  // A word watch may still name an instruction: it is tested at every step.
  if (watch == 2 || (watch && !bp->LockPosition)) bp->UseInstruction = false;
  bp->LockValue = rng() % 3 == 0;
  bp->Value = rng() % 2 ? 0x100 + rng() % 48 : rng() % 4;
  bp->UseCount = rng() % 2;
  bp->MaxCount = int32_t(rng() % 5);
  bp->UpdateView();
}

// Random programs over overlapping or separate blocks, with loads and stores
// into the overlap, the code itself and unmapped words, and random breakpoints of every kind,
// must run exactly as the plain loop with CheckAll does: same reason, steps,
// registers, memory, both cache slots, breakpoint counters and references, and
// the same display notifications seeing the same state. Runs that stop at a
// breakpoint or are interrupted are resumed, as a user would.
TEST(RunFastTest, MatchesThePlainLoop) {
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> code(40), data(24);
    for (auto& w : code) {
      int r1 = int(rng() % 6), r2 = int(rng() % 6);
      int32_t off = int32_t(rng() % 48);
      switch (rng() % 9) {
        case 0: w = Lw(r1, 0, 0x100 + off); break;
        case 1: w = rng() % 2 ? Sw(r1, 0, 0x100 + off) : Sw(r1, r2, int32_t(rng() % 64)); break;
        case 2: w = Beqz(r1, int32_t(rng() % 9) - 4); break;
        case 3: w = Bnez(r1, int32_t(rng() % 9) - 4); break;
        case 4: w = Add(r1, r1, r2); break;
        case 5: w = rng() % 4 ? Addi(r1, r2, int32_t(rng() % 5) - 2) : IdleLoopWord; break;
        case 6: w = rng() % 3 ? Subi(r1, r1, 1) : Stop; break;
        case 7: w = rng() % 2 ? Jr(r1) : Jalr(r1); break;
        default: w = Lw(r1, r2, int32_t(rng() % 8)); break;
      }
    }
    for (auto& w : data) w = rng() % 3 ? Addi(int(rng() % 6), 0, int32_t(rng() % 0x120)) : uint32_t(0x100 + rng() % 40);
    const int breakPoints = seed % 3 == 0 ? 0 : int(rng() % (seed % 2 ? 4 : 60));
    const int watches = seed % 5 < 2 ? int(seed % 5) + 1 : 0;
    // Display receivers: none, all, or only the store's (as a window's
    // fast run has them).
    const int display = int(rng() % 3);
    const bool rows = rng() % 2;
    const int pollShift = 1 + int(rng() % 6);
    // The user stops the run at one of its polls.
    const uint64_t interrupt = rng() % 2 ? uint64_t(rng() % 8 + 1) << pollShift : 0;
    // Data over the code's tail, or a block of its own beside it.
    const int32_t dataStart = rng() % 2 ? 0x118 : 0x128;

    struct TEnd {
      std::vector<TStopReason> reasons;
      uint64_t steps;
      std::vector<uint32_t> regs, words, counts;
      std::vector<int32_t> cache;
      std::vector<std::string> seen;
    };
    auto run = [&](bool fast) {
      ResetCore();
      TheMemory.AddBlock(0x100, int32_t(code.size()));
      for (size_t i = 0; i < code.size(); ++i) TheMemory.WriteWord(0x100 + int32_t(i), code[i]);
      TheMemory.AddBlock(dataStart, int32_t(data.size()));
      for (size_t i = 0; i < data.size(); ++i) TheMemory.WriteWord(dataStart + int32_t(i), data[i]);
      for (int r = 1; r < 6; ++r) TheState.SetReg(r, int32_t(0x100 + rng() % 48));
      TheState.SetReg(-1, 0x100);
      for (int i = 0; i < breakPoints; ++i) RandomBreakPoint(rng, watches);
      Seen.clear();
      if (display == 1) DisplayHooks = {SeeRegister, SeeNextCommand, SeeStore};
      if (display == 2) DisplayHooks.MemoryChanged = SeeStore;
      if (rows) DisplayHooks.BreakPointUpdated = SeeRow;
      TEnd end{};
      auto poll = [&] { return end.steps == interrupt; };
      auto resumed = [&] {
        return end.reasons.empty() || end.reasons.back() == TStopReason::BreakPoint ||
               end.reasons.back() == TStopReason::Interrupted;
      };
      while (end.steps < 500 && resumed())
        end.reasons.push_back(fast ? RunFast(500 - end.steps, end.steps, poll, pollShift)
                                   : PlainRun(500, end.steps, interrupt));
      DisplayHooks = TDisplayHooks{};
      // Both slots: the other one decides later lookups.
      const TMemory::TCache cache = TheMemory.Cache();
      end.cache = {cache.Current.Start, cache.Current.Count, cache.Other.Start, cache.Other.Count};
      for (int r = -1; r < 32; ++r) end.regs.push_back(uint32_t(TheState.GetReg(r)));
      end.regs.push_back(uint32_t(TheState.NextAddress));
      end.regs.push_back(TheState.NextWord);
      for (const TBreakPoint* bp : BreakPoints) {
        end.counts.push_back(uint32_t(bp->ActCount));
        end.counts.push_back(bp->Value);
      }
      end.seen = Seen;
      for (int32_t a = 0xF8; a < 0x148; ++a) end.words.push_back(TheMemory.ReadWord(a));
      return end;
    };
    const std::mt19937 start = rng;
    TEnd plain = run(false);
    rng = start;
    TEnd fast = run(true);
    ASSERT_EQ(fast.reasons, plain.reasons) << "seed " << seed;
    ASSERT_EQ(fast.steps, plain.steps) << "seed " << seed;
    ASSERT_EQ(fast.regs, plain.regs) << "seed " << seed;
    ASSERT_EQ(fast.cache, plain.cache) << "seed " << seed;
    ASSERT_EQ(fast.words, plain.words) << "seed " << seed;
    ASSERT_EQ(fast.counts, plain.counts) << "seed " << seed;
    ASSERT_EQ(fast.seen, plain.seen) << "seed " << seed;
  }
  ResetCore();
}

// A jump into a block that neither cache slot holds changes the slots under
// the run's copy between two watch tests; the run, interrupted after each
// step of a segment, leaves the cache as the plain loop does.
TEST(RunFastTest, JumpIntoAThirdBlockBetweenWatchTests) {
  for (uint64_t interrupt = 4; interrupt <= 8; interrupt += 4) {
    std::vector<int32_t> ends[2];
    for (bool fast : {false, true}) {
      ResetCore();
      TheMemory.AddBlock(0x100, 4);
      TheMemory.AddBlock(0x200, 4);
      TheMemory.AddBlock(0x300, 1);
      const uint32_t code[] = {Addi(1, 0, 1), Addi(1, 0, 2), Jr(5),         0,
                               Addi(1, 0, 3), Addi(1, 0, 4), Addi(1, 0, 5), IdleLoopWord};
      for (int i = 0; i < 8; ++i) TheMemory.WriteWord((i < 4 ? 0x100 : 0x1FC) + i, code[i]);
      TheState.SetReg(5, 0x200);
      TheState.SetReg(-1, 0x100);
      auto* watch = new TBreakPoint;
      watch->LockPosition = true;
      watch->Position = 0x300;
      uint64_t steps = 0;
      const TStopReason why = fast ? RunFast(
                                         0, steps, [&] { return steps == interrupt; }, 2)
                                   : PlainRun(0, steps, interrupt);
      const TMemory::TCache cache = TheMemory.Cache();
      ends[fast] = {int32_t(why), int32_t(steps), cache.Current.Start, cache.Other.Start};
    }
    EXPECT_EQ(ends[1], ends[0]) << interrupt;
  }
  ResetCore();
}

// The fast run's breakpoint test alone against the plain walk: many
// breakpoints, random states, each tested as after a step that stored.
TEST(BreakIndexTest, ChecksAsThePlainWalkDoes) {
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    const int count = int(rng() % 300);
    std::vector<std::pair<int32_t, std::vector<uint32_t>>> states(60);
    for (auto& [pc, regs] : states) {
      pc = 0x100 + int32_t(rng() % 44);
      for (int r = 0; r < 6; ++r) regs.push_back(rng() % 4);
    }
    auto run = [&](bool indexed) {
      ResetCore();
      TheMemory.AddBlock(0x100, 48);
      const std::mt19937 start = rng;
      for (int i = 0; i < count; ++i) RandomBreakPoint(rng);
      rng = start;
      Seen.clear();
      DisplayHooks.BreakPointUpdated = SeeRow;
      TBreakIndex index;
      index.Build();
      std::vector<bool> fired;
      for (const auto& [pc, regs] : states) {
        TheState.Regs[0] = uint32_t(pc);
        for (int r = 1; r < 6; ++r) TheState.Regs[r + 1] = regs[size_t(r)];
        TheMemory.WriteWord(0x100 + int32_t(regs[0] * 11), regs[1]);
        if (indexed) {
          fastrun::TLocalMachine<fastrun::Checks> machine;
          fastrun::TOthersMemo memo;
          fired.push_back(fastrun::CheckBreakPoints(machine, index, memo, true));
          machine.WriteBack();
        } else {
          fired.push_back(CheckAll());
        }
      }
      return std::make_pair(fired, Seen);
    };
    ASSERT_EQ(run(true), run(false)) << "seed " << seed;
  }
  ResetCore();
}

}  // namespace
