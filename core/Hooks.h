// Display notifications that the simulator core sends to whatever shows it.
//
// Every entry is a plain function pointer that stays null until a receiver
// attaches, so an unattached notification costs one predictable branch.
// Receivers are expected to record what changed and format texts later,
// when they paint: the core calls these from its innermost loop.
#pragma once

#include <cstdint>
#include <string>

class TBreakPoint;

struct TDisplayHooks {
  // A general register (0..31) was written, R0 included.
  void (*RegisterChanged)(int index) = nullptr;
  // The program counter was written; TheState holds the captured address and
  // word of the next-instruction line.
  void (*NextCommandChanged)() = nullptr;
  // A memory word was stored (after the store). The receiver may look
  // memory up; during a fast run without register or next-instruction
  // receivers, the registers it would see are those of the run's last poll.
  void (*MemoryChanged)(int32_t address) = nullptr;
  // Only stores to the StoreSpan words from StoreFirst on (wrapping) are
  // reported: a receiver that shows part of memory may narrow them to it.
  uint32_t StoreFirst = 0;
  uint64_t StoreSpan = uint64_t(1) << 32;
  bool ReportsStore(int32_t address) const { return uint32_t(address) - StoreFirst < StoreSpan; }
  // The main window caption is set by every image build.
  void (*CaptionChanged)(const std::string& caption) = nullptr;
  // A modal message for the user (loader failure, header warning).
  void (*ShowMessage)(const std::string& text) = nullptr;
  // A breakpoint's list row is created, rewritten or removed.
  void (*BreakPointAdded)(TBreakPoint* bp) = nullptr;
  void (*BreakPointUpdated)(TBreakPoint* bp) = nullptr;
  void (*BreakPointRemoved)(TBreakPoint* bp) = nullptr;
};

extern TDisplayHooks DisplayHooks;
