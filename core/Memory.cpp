#include "core/Memory.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>
#include <queue>
#include <stdexcept>

void TMemory::TFreeWords::operator()(uint32_t* p) const { std::free(p); }

TMemory::~TMemory() = default;

void TMemory::Clear() {
  ++Clears;
  Sections.clear();
  SectionWords.clear();
  ChunkNext = nullptr;
  ChunkLeft = 0;
  Index.clear();
  IndexDirty = false;
  Pages.clear();
  LastPage = nullptr;
  LastPageNo = 0;
  std::vector<TLooseWord>().swap(Loose);
  LooseCount = 0;
  LooseShift = 32;
  SingleCount = 0;
  SingleLow = SingleHigh = 0;
  SinglesShadowed = false;
  Slot[0] = Slot[1] = Newest = TBlockRef{};
  Cur = 0;
  ++Moves;
  Low = High = 0;
}

void TMemory::AddBlock(int32_t start, int32_t count) {
  if (count < 1) throw std::length_error("block without words");
  if (int64_t(start) + count > int64_t(INT32_MAX) + 1) throw std::length_error("block reaches past the last address");
  // Room for the new section before anything changes, so a failing
  // allocation leaves the memory as it was; growth by doubling keeps a load
  // of many sections linear.
  if (Sections.size() == Sections.capacity()) Sections.reserve(Sections.size() * 2 + 16);
  if (SectionWords.size() == SectionWords.capacity()) SectionWords.reserve(SectionWords.size() * 2 + 16);
  uint32_t* words;
  if (count <= SmallSection) {
    // Small sections share larger zeroed chunks: a million one-word
    // sections would otherwise cost a million allocations.
    if (ChunkLeft < count) {
      std::unique_ptr<uint32_t[], TFreeWords> chunk(static_cast<uint32_t*>(std::calloc(ChunkWords, sizeof(uint32_t))));
      if (!chunk) throw std::bad_alloc();
      ChunkNext = chunk.get();
      ChunkLeft = ChunkWords;
      SectionWords.push_back(std::move(chunk));
    }
    words = ChunkNext;
    ChunkNext += count;
    ChunkLeft -= count;
  } else {
    // calloc leaves untouched pages to the operating system, so a large
    // reserved area costs no memory until it is used.
    std::unique_ptr<uint32_t[], TFreeWords> own(static_cast<uint32_t*>(std::calloc(size_t(count), sizeof(uint32_t))));
    if (!own) throw std::bad_alloc();
    words = own.get();
    SectionWords.push_back(std::move(own));
  }

  TBlockRef ref{start, count, words, false};
  Sections.push_back(TSection{ref});
  IndexDirty = true;
  if (SingleCount) SinglesShadowed = true;
  // Exclusiveness is only known again after the next index rebuild.
  Slot[Cur ^ 1] = TBlockRef{};
  Slot[Cur] = Newest = ref;
  ++Moves;
  Low = std::min<int64_t>(Low, start);
  High = std::max<int64_t>(High, int64_t(start) + count);
}

TMemory::TPage* TMemory::PageOf(int32_t address) {
  int32_t pageNo = address >> PageShift;
  if (LastPage && pageNo == LastPageNo) return LastPage;
  auto it = Pages.find(pageNo);
  if (it == Pages.end()) return nullptr;
  LastPageNo = pageNo;
  LastPage = it->second.get();
  return LastPage;
}

TMemory::TPage* TMemory::MakePage(int32_t address) {
  const int32_t pageNo = address >> PageShift;
  auto fresh = std::make_unique<TPage>();
  TPage* page = fresh.get();
  Pages.emplace(pageNo, std::move(fresh));
  LastPageNo = pageNo;
  LastPage = page;
  if (LooseCount) {
    const uint32_t first = uint32_t(pageNo) << PageShift;
    bool moved = false;
    for (int bit = 0; bit < PageWords; ++bit) {
      const int32_t a = int32_t(first + uint32_t(bit));
      if (uint32_t* w = FindLoose(a)) {
        page->Words[bit] = *w;
        page->Present |= uint64_t(1) << bit;
        EraseLoose(a);
        moved = true;
      }
    }
    if (moved) RenewLooseRefs();
  }
  return page;
}

int32_t TMemory::CreateSingle(int32_t address) {
  uint32_t* word;
  bool loose = false;
  TPage* page = PageOf(address);
  if (!page) {
    // A word with a stored neighbour starts a page; a lone one stays loose.
    const uint32_t a = uint32_t(address);
    if (uint32_t(address) == FreeKey || FindLoose(int32_t(a - 1u)) || FindLoose(int32_t(a + 1u)))
      page = MakePage(address);
  }
  if (page) {
    int bit = address & (PageWords - 1);
    page->Present |= uint64_t(1) << bit;
    page->Words[bit] = 0;
    word = &page->Words[bit];
  } else {
    word = InsertLoose(address);
    loose = true;
  }
  if (SingleCount == 0) {
    SingleLow = address;
    SingleHigh = int64_t(address) + 1;
  } else {
    SingleLow = std::min<int64_t>(SingleLow, address);
    SingleHigh = std::max<int64_t>(SingleHigh, int64_t(address) + 1);
  }
  ++SingleCount;
  Low = std::min<int64_t>(Low, address);
  High = std::max<int64_t>(High, int64_t(address) + 1);

  Newest = TBlockRef{address, 1, word, !SinglesShadowed, loose};
  Promote(Newest);
  return 0;
}

uint32_t* TMemory::FindLoose(int32_t address) {
  if (!LooseCount || uint32_t(address) == FreeKey) return nullptr;
  const size_t mask = Loose.size() - 1;
  for (size_t i = LooseSlot(uint32_t(address));; i = (i + 1) & mask) {
    TLooseWord& e = Loose[i];
    if (e.Key == uint32_t(address)) return &e.Word;
    if (e.Key == FreeKey) return nullptr;
  }
}

uint32_t* TMemory::InsertLoose(int32_t address) {
  // At most five eighths full, so probes stay short.
  if ((LooseCount + 1) * 8 > Loose.size() * 5) {
    std::vector<TLooseWord> old(Loose.empty() ? 64 : Loose.size() * 2, TLooseWord{FreeKey, 0});
    old.swap(Loose);
    LooseShift = 32 - unsigned(std::countr_zero(Loose.size()));
    const size_t mask = Loose.size() - 1;
    for (const TLooseWord& e : old) {
      if (e.Key == FreeKey) continue;
      size_t i = LooseSlot(e.Key);
      while (Loose[i].Key != FreeKey) i = (i + 1) & mask;
      Loose[i] = e;
    }
    if (LooseCount) RenewLooseRefs();
  }
  const size_t mask = Loose.size() - 1;
  size_t i = LooseSlot(uint32_t(address));
  while (Loose[i].Key != FreeKey) i = (i + 1) & mask;
  Loose[i] = TLooseWord{uint32_t(address), 0};
  ++LooseCount;
  return &Loose[i].Word;
}

void TMemory::EraseLoose(int32_t address) {
  const size_t mask = Loose.size() - 1;
  size_t i = LooseSlot(uint32_t(address));
  while (Loose[i].Key != uint32_t(address)) i = (i + 1) & mask;
  // Backward shift: later entries of the same probe run move up, so a
  // lookup never stops early at the hole.
  for (size_t j = (i + 1) & mask; Loose[j].Key != FreeKey; j = (j + 1) & mask) {
    const size_t home = LooseSlot(Loose[j].Key);
    if (((j - home) & mask) >= ((j - i) & mask)) {
      Loose[i] = Loose[j];
      i = j;
    }
  }
  Loose[i].Key = FreeKey;
  --LooseCount;
}

void TMemory::RenewLooseRefs() {
  ++Moves;
  for (TBlockRef* ref : {&Slot[0], &Slot[1], &Newest}) {
    if (!ref->Loose) continue;
    if (uint32_t* w = FindLoose(ref->Start)) {
      ref->Words = w;
    } else {
      TPage* page = PageOf(ref->Start);
      ref->Words = &page->Words[ref->Start & (PageWords - 1)];
      ref->Loose = false;
    }
  }
}

void TMemory::Promote(const TBlockRef& found) {
  if (Slot[Cur].Exclusive) Cur ^= 1;
  Slot[Cur] = found;
  ++Moves;
}

int32_t TMemory::FindSlow(int32_t address, bool create) {
  if (address >= Low && address < High) {
    TBlockRef found{};
    if (address >= SingleLow && address < SingleHigh) {
      // A one-word block is older than any section covering the same word:
      // it was created while nothing covered that address.
      if (TPage* page = PageOf(address)) {
        int bit = address & (PageWords - 1);
        if (page->Present >> bit & 1) found = TBlockRef{address, 1, &page->Words[bit], !SinglesShadowed};
      } else if (uint32_t* w = FindLoose(address)) {
        found = TBlockRef{address, 1, w, !SinglesShadowed, true};
      }
    }
    if (!found.Count) {
      if (IndexDirty) RebuildIndex();
      auto it = std::upper_bound(Index.begin(), Index.end(), int64_t(address),
                                 [](int64_t a, const TSegment& s) { return a < s.Start; });
      if (it != Index.begin() && (--it)->Section >= 0) found = Sections[size_t(it->Section)].Ref;
    }
    if (found.Count) {
      Promote(found);
      return int32_t(uint32_t(address) - uint32_t(found.Start));
    }
    // The walk over all blocks ends on the newest one.
    Promote(Newest);
  }
  if (!create) return -1;
  return CreateSingle(address);
}

// Sorts the sections into disjoint segments, each naming the oldest section
// that covers it, and marks the sections that no other section overlaps.
// One sweep over the sorted section ends.
void TMemory::RebuildIndex() {
  IndexDirty = false;
  Index.clear();
  if (Sections.empty()) return;

  struct TEnd {
    int64_t At;
    int32_t Section;
    bool Closes;
  };
  const size_t count = Sections.size();
  std::vector<TEnd> ends;
  ends.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    const TBlockRef& r = Sections[i].Ref;
    ends.push_back({r.Start, int32_t(i), false});
    ends.push_back({int64_t(r.Start) + r.Count, int32_t(i), true});
  }
  // A loader adds sections in address order, perhaps in a few groups, so
  // the ends come in a few ascending runs: merging runs costs n log(runs).
  auto byPlace = [](const TEnd& a, const TEnd& b) { return a.At < b.At; };
  std::vector<size_t> runs{0};
  for (size_t i = 1; i < ends.size(); ++i)
    if (ends[i].At < ends[i - 1].At) runs.push_back(i);
  runs.push_back(ends.size());
  while (runs.size() > 2) {
    size_t kept = 1;
    for (size_t j = 0; j + 2 < runs.size(); j += 2) {
      std::inplace_merge(ends.begin() + ptrdiff_t(runs[j]), ends.begin() + ptrdiff_t(runs[j + 1]),
                         ends.begin() + ptrdiff_t(runs[j + 2]), byPlace);
      runs[kept++] = runs[j + 2];
    }
    if (runs.size() % 2 == 0) runs[kept++] = runs.back();
    runs.resize(kept);
  }

  // Segment k runs from the k-th distinct end on. overlapped[k]: segments
  // before k that more than one section covers.
  constexpr uint32_t Open = UINT32_MAX;
  std::vector<uint32_t> startOf(count), endOf(count, Open);
  std::vector<uint32_t> overlapped{0};
  overlapped.reserve(ends.size() + 1);
  std::priority_queue<int32_t, std::vector<int32_t>, std::greater<int32_t>> active;
  int32_t depth = 0;
  uint32_t k = 0;
  for (size_t e = 0; e < ends.size(); ++k) {
    const int64_t at = ends[e].At;
    for (; e < ends.size() && ends[e].At == at; ++e) {
      const size_t s = size_t(ends[e].Section);
      if (ends[e].Closes) {
        endOf[s] = k;
        --depth;
      } else {
        startOf[s] = k;
        ++depth;
        active.push(int32_t(s));
      }
    }
    overlapped.push_back(overlapped.back() + (depth > 1 ? 1 : 0));
    while (!active.empty() && endOf[size_t(active.top())] != Open) active.pop();
    const int32_t oldest = active.empty() ? -1 : active.top();
    if (Index.empty() || Index.back().Section != oldest) Index.push_back(TSegment{at, oldest});
  }

  for (size_t i = 0; i < count; ++i) {
    bool alone = overlapped[endOf[i]] - overlapped[startOf[i]] == 0;
    Sections[i].Ref.Exclusive = alone && !SinglesShadowed;
  }
}
