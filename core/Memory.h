// The simulated processor's word memory: a sparse store of 32-bit words
// addressed by word number, held as contiguous blocks with a one-block cache.
//
// Lookup rules that callers can observe (they matter when blocks overlap):
// the cached block (LastBlock) is tried first; after it, the oldest block
// that covers the address wins; a search that finds nothing leaves the
// newest block cached; an address outside [LowBound, HighBound) is rejected
// without touching the cache. Blocks are never merged or freed one by one.
//
// Internally blocks come in two kinds, both with identical lookup rules:
//  - sections added with AddBlock (the loader's), looked up through a sorted
//    index instead of a linear walk;
//  - one-word blocks that stores to unmapped addresses create: a lone word
//    sits in a hash table of loose words (a few bytes each), and once a
//    neighbour is stored too its 64-word page is made, so a program that
//    fills a large unmapped area and one that scatters stores both stay
//    cheap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/Hooks.h"

// A view of one block: where it starts, how many words, and its storage.
struct TBlockRef {
  int32_t Start = 0;
  int32_t Count = 0;  // 0 for "no block"
  uint32_t* Words = nullptr;
  // No other block covers any of this block's words, so it is the answer of
  // a search for every address it covers (lets a miss skip the search).
  bool Exclusive = false;
  // A loose one-word block: Words points into the loose-word table, which
  // moves its entries, so the memory renews the pointer when it does.
  bool Loose = false;

  bool Covers(int32_t a) const { return uint32_t(a) - uint32_t(Start) < uint32_t(Count); }
};

class TMemory {
 public:
  static constexpr uint32_t Unmapped = 0xFFFFFFFFu;

  TMemory() = default;
  ~TMemory();
  TMemory(const TMemory&) = delete;
  TMemory& operator=(const TMemory&) = delete;

  // Removes every block; sends no notification.
  void Clear();
  // Offset of the word within LastBlock, or -1 when unmapped and !create.
  // With create, an unmapped address gets a new one-word block (offset 0).
  int32_t FindWord(int32_t address, bool create);
  // The stored word, or 0xFFFFFFFF when unmapped. Moves the cache.
  uint32_t ReadWord(int32_t address);
  // Stores a word (creating it when unmapped) and notifies the display.
  void WriteWord(int32_t address, uint32_t value);
  // Adds a block of zero words. Throws std::length_error when the block
  // would reach past address 0x7FFFFFFF or count < 1, std::bad_alloc when
  // it cannot be allocated; the memory then keeps the blocks it had.
  void AddBlock(int32_t start, int32_t count);

  // The cached block (Count 0 when none).
  const TBlockRef& LastBlock() const { return Slot[Cur]; }
  // Both cache slots, the cached block first, and what a lookup answered
  // by the other slot does to them. A run loop may take a copy, serve such
  // hits itself and hand them back with HitOther before anything else looks
  // memory up; the memory then is as if it had served them.
  struct TCache {
    TBlockRef Current, Other;
  };
  TCache Cache() const { return {Slot[Cur], Slot[Cur ^ 1]}; }
  void HitOther() {
    if (!Slot[Cur].Exclusive) Slot[Cur] = TBlockRef{};
    Cur ^= 1;
    ++Moves;
  }
  // Changes whenever the cache slots do, so that the holder of a copy can
  // tell whether it is still current without reading them.
  uint32_t CacheMoves() const { return Moves; }
  // The cache as it stands, to be put back after lookups that must leave
  // no trace on the program (a paint while a fast run waits in its poll).
  // It is not put back when the memory was cleared or a word created in
  // between, which may have freed or moved the words it refers to.
  struct TCacheState {
    TBlockRef Slot[2];
    unsigned Cur;
    uint32_t Moves;
    uint64_t Clears;
    size_t Blocks;
  };
  TCacheState SaveCache() const { return {{Slot[0], Slot[1]}, Cur, Moves, Clears, BlockCount()}; }
  void RestoreCache(const TCacheState& state) {
    if (state.Clears != Clears || state.Blocks != BlockCount()) return;
    Slot[0] = state.Slot[0];
    Slot[1] = state.Slot[1];
    Cur = state.Cur;
    Moves = state.Moves;
  }
  int64_t LowBound() const { return Low; }
  int64_t HighBound() const { return High; }
  // Number of blocks of both kinds.
  size_t BlockCount() const { return Sections.size() + SingleCount; }

 private:
  static constexpr int PageShift = 6;
  static constexpr int32_t PageWords = 1 << PageShift;
  struct TPage {
    uint32_t Words[PageWords] = {};
    uint64_t Present = 0;  // bit i: word i is a one-word block
  };
  struct TSection {
    TBlockRef Ref;  // sections are kept in creation order
  };
  struct TSegment {  // [Start, next segment's Start) is covered by Section
    int64_t Start;
    int32_t Section;  // index into Sections, -1 for none
  };
  struct TFreeWords {
    void operator()(uint32_t* p) const;
  };

  int32_t FindSlow(int32_t address, bool create);
  int32_t CreateSingle(int32_t address);
  // Makes a found block the cached one, keeping an exclusive predecessor.
  void Promote(const TBlockRef& found);
  TPage* PageOf(int32_t address);
  // Makes the page of a paged word and moves its page's loose words there.
  TPage* MakePage(int32_t address);
  void RebuildIndex();

  // The loose-word table: open addressing with linear probing. Address
  // INT32_MIN marks a free entry, so that one address always gets a page.
  struct TLooseWord {
    uint32_t Key;
    uint32_t Word;
  };
  static constexpr uint32_t FreeKey = 0x80000000u;
  size_t LooseSlot(uint32_t key) const { return size_t((key * 0x9E3779B1u) >> LooseShift); }
  uint32_t* FindLoose(int32_t address);
  uint32_t* InsertLoose(int32_t address);
  void EraseLoose(int32_t address);
  // Points every cached reference to a loose word at where it lives now.
  void RenewLooseRefs();

  // Slot[Cur] is the cached block. The other slot is empty or holds an
  // exclusive block cached earlier: a hit there gives the same answer as a
  // search, so code and data blocks can alternate without searching. Only
  // exclusive blocks may wait there; a non-exclusive one would answer for
  // addresses where an older block must win.
  TBlockRef Slot[2];
  unsigned Cur = 0;
  uint32_t Moves = 0;
  uint64_t Clears = 0;
  TBlockRef Newest;  // the block created last
  int64_t Low = 0, High = 0;

  std::vector<TSection> Sections;
  std::vector<std::unique_ptr<uint32_t[], TFreeWords>> SectionWords;
  static constexpr int32_t SmallSection = 256;
  static constexpr size_t ChunkWords = 1 << 16;
  uint32_t* ChunkNext = nullptr;
  int32_t ChunkLeft = 0;
  std::vector<TSegment> Index;
  bool IndexDirty = false;

  std::unordered_map<int32_t, std::unique_ptr<TPage>> Pages;
  int32_t LastPageNo = 0;
  TPage* LastPage = nullptr;
  std::vector<TLooseWord> Loose;
  size_t LooseCount = 0;
  unsigned LooseShift = 32;
  size_t SingleCount = 0;
  int64_t SingleLow = 0, SingleHigh = 0;  // range that holds every one-word block
  // A section was added after a one-word block existed, so one-word blocks
  // may be overlapped and must go through the full search.
  bool SinglesShadowed = false;
};

extern TMemory TheMemory;

inline int32_t TMemory::FindWord(int32_t address, bool create) {
  // A block is always inside the bounds, so the cache can be tried first.
  const TBlockRef& cached = Slot[Cur];
  if (cached.Covers(address)) return int32_t(uint32_t(address) - uint32_t(cached.Start));
  const TBlockRef& other = Slot[Cur ^ 1];
  if (other.Covers(address)) {
    const int32_t offset = int32_t(uint32_t(address) - uint32_t(other.Start));
    HitOther();
    return offset;
  }
  return FindSlow(address, create);
}

inline uint32_t TMemory::ReadWord(int32_t address) {
  int32_t offset = FindWord(address, false);
  return offset < 0 ? Unmapped : Slot[Cur].Words[offset];
}

inline void TMemory::WriteWord(int32_t address, uint32_t value) {
  int32_t offset = FindWord(address, true);
  Slot[Cur].Words[offset] = value;
  if (DisplayHooks.MemoryChanged && DisplayHooks.ReportsStore(address)) DisplayHooks.MemoryChanged(address);
}
