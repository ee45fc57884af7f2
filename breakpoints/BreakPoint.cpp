#include "breakpoints/BreakPoint.h"

#include <algorithm>

std::vector<TBreakPoint*> BreakPoints;

TBreakPoint::TBreakPoint() {
  BreakPoints.push_back(this);
  if (DisplayHooks.BreakPointAdded) DisplayHooks.BreakPointAdded(this);
  UpdateView();
}

TBreakPoint::~TBreakPoint() {
  if (DisplayHooks.BreakPointRemoved) DisplayHooks.BreakPointRemoved(this);
  Item = nullptr;
  BreakPoints.erase(std::remove(BreakPoints.begin(), BreakPoints.end(), this), BreakPoints.end());
}

void TBreakPoint::UpdateView() {
  Row.UseInstruction = UseInstruction;
  Row.Instruction = Instruction;
  Row.LockPosition = LockPosition;
  Row.Position = Position;
  Row.LockRegister = LockRegister;
  Row.Register = Register;
  Row.LockValue = LockValue;
  Row.Value = Value;
  Row.UseCount = UseCount;
  Row.MaxCount = MaxCount;
  Row.ActCount = ActCount;
  if (DisplayHooks.BreakPointUpdated) DisplayHooks.BreakPointUpdated(this);
}

std::string TBreakPoint::Caption() const {
  std::string text;
  if (Row.UseInstruction) {
    text = "$";
    text += HexText(uint32_t(Row.Instruction), 8);
  }
  return text;
}

std::string TBreakPoint::SubItem(int index) const {
  switch (index) {
    case 0: return Row.UseCount ? std::to_string(Row.ActCount) : "--";
    case 1: return Row.UseCount ? std::to_string(Row.MaxCount) : "--";
    case 2: {
      std::string text;
      if (Row.LockRegister) {
        text = "Wenn R";
        text += TwoDigits(Row.Register);
      } else if (Row.LockPosition) {
        text = "Wenn Speicher $";
        text += HexText(uint32_t(Row.Position), 8);
      } else {
        return "immer";
      }
      if (Row.LockValue) {
        text += " den Wert $";
        text += HexText(Row.Value, 8);
        text += " hat";
      } else {
        text += " sich ändert";
      }
      return text;
    }
    default: return std::string();
  }
}

TBreakPoint* FindByInstruction(int32_t address) {
  for (TBreakPoint* bp : BreakPoints)
    if (bp->UseInstruction && bp->Instruction == address) return bp;
  return nullptr;
}

TBreakPoint* FindByMemory(int32_t address) {
  for (TBreakPoint* bp : BreakPoints)
    if (bp->LockPosition && bp->Position == address) return bp;
  return nullptr;
}

TBreakPoint* FindByRegister(int32_t reg) {
  for (TBreakPoint* bp : BreakPoints)
    if (bp->LockRegister && bp->Register == reg) return bp;
  return nullptr;
}

bool ToggleInstruction(int32_t address) {
  if (TBreakPoint* bp = FindByInstruction(address)) {
    delete bp;
    return false;
  }
  auto* bp = new TBreakPoint;
  bp->UseInstruction = true;
  bp->Instruction = address;
  bp->UpdateView();
  return true;
}

bool ToggleMemoryWatch(int32_t address) {
  if (TBreakPoint* bp = FindByMemory(address)) {
    delete bp;
    return false;
  }
  auto* watch = new TBreakPoint;
  watch->LockPosition = true;
  watch->Position = address;
  watch->Value = TheMemory.ReadWord(address);
  watch->UpdateView();
  return true;
}

bool ToggleRegisterWatch(int32_t reg) {
  if (TBreakPoint* bp = FindByRegister(reg)) {
    delete bp;
    return false;
  }
  auto* watch = new TBreakPoint;
  watch->LockRegister = true;
  watch->Register = reg;
  watch->Value = uint32_t(TheState.GetReg(reg));
  watch->UpdateView();
  return true;
}
