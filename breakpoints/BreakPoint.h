// Breakpoints: conditions on the processor state that are evaluated after
// every executed instruction and stop a run when they hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/CPU.h"

class TBreakPoint {
 public:
  // Appends itself to BreakPoints and creates its list row.
  TBreakPoint();
  // Removes its row, then leaves BreakPoints.
  ~TBreakPoint();
  TBreakPoint(const TBreakPoint&) = delete;
  TBreakPoint& operator=(const TBreakPoint&) = delete;

  bool UseInstruction = false;
  int32_t Instruction = 0;
  bool LockPosition = false;  // memory-word watch
  int32_t Position = 0;
  bool LockRegister = false;  // register watch
  int32_t Register = 0;
  bool LockValue = false;  // true: value watch, false: change watch
  uint32_t Value = 0;
  bool UseCount = false;
  int32_t MaxCount = 0;
  int32_t ActCount = 0;
  // The list window's row; null until a window shows the breakpoint.
  void* Item = nullptr;

  // Rewrites the row texts from the fields.
  void UpdateView();
  // Evaluates the breakpoint now; true when it fires. Advances the counter
  // and the reference of a change watch when all its conditions hold.
  bool Check();
  // Whether all conditions hold with the program counter at pc, R0..R31 in
  // regs and the watched word read as word (when LockPosition). Changes
  // nothing.
  bool Holds(int32_t pc, const uint32_t* regs, uint32_t word) const;

  // The row texts as of the last UpdateView: the caption ("Instruktion")
  // and the sub-items 0 ("Zähler"), 1 ("Anzahl") and 2 ("Bedingung").
  std::string Caption() const;
  std::string SubItem(int index) const;

 private:
  // What the row texts depend on, captured by UpdateView and formatted only
  // when someone reads them.
  struct TRow {
    bool UseInstruction = false, LockPosition = false, LockRegister = false;
    bool LockValue = false, UseCount = false;
    int32_t Instruction = 0, Position = 0, Register = 0, MaxCount = 0, ActCount = 0;
    uint32_t Value = 0;
  } Row;
};

// Every breakpoint, in creation order.
extern std::vector<TBreakPoint*> BreakPoints;

// Evaluates every breakpoint in list order (never stopping early); true when
// at least one fired.
bool CheckAll();
// The first breakpoint whose own condition is in use with that key, or null.
TBreakPoint* FindByInstruction(int32_t address);
TBreakPoint* FindByMemory(int32_t address);
TBreakPoint* FindByRegister(int32_t reg);

// The mouse toggles of the views: an instruction breakpoint at an address,
// a change watch of a memory word or of a register (its reference is the
// current value). A toggle that finds a breakpoint with that key frees the
// whole breakpoint, whatever else it watches. True when one was created.
bool ToggleInstruction(int32_t address);
bool ToggleMemoryWatch(int32_t address);
bool ToggleRegisterWatch(int32_t reg);

inline bool TBreakPoint::Holds(int32_t pc, const uint32_t* regs, uint32_t word) const {
  if (LockPosition && (LockValue ? word != Value : word == Value)) return false;
  if (LockRegister) {
    const uint32_t reg = regs[Register & 31];
    if (LockValue ? reg != Value : reg == Value) return false;
  }
  return !UseInstruction || pc == Instruction;
}

inline bool TBreakPoint::Check() {
  const uint32_t word = LockPosition ? TheMemory.ReadWord(Position) : 0;
  if (!Holds(TheState.GetReg(-1), TheState.Regs + 1, word)) return false;

  // A change watch takes what it saw as its new reference.
  if (!LockValue) {
    if (LockPosition) Value = word;
    if (LockRegister) Value = TheState.Regs[1 + (Register & 31)];
  }
  if (!UseCount) return true;
  ActCount = int32_t(uint32_t(ActCount) + 1);
  const bool fire = ActCount >= MaxCount;
  if (fire) ActCount = 0;
  UpdateView();
  return fire;
}

inline bool CheckAll() {
  bool fired = false;
  for (size_t i = 0, n = BreakPoints.size(); i < n; ++i) fired |= BreakPoints[i]->Check();
  return fired;
}
