#include "Memory.h"

#include <algorithm>
#include <bit>
#include <numeric>
#include <cstdlib>
#include <new>
#include <queue>
#include <stdexcept>


void TMemory::TFreeWords::operator()(uint32_t* p) const { std::free(p); }

TMemory::~TMemory() = default;

void TMemory::Clear() {
  Sections.clear();
  SectionWords.clear();
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
  Low = High = 0;
}

void TMemory::AddBlock(int32_t start, int32_t count) {
  if (count < 1) throw std::length_error("block without words");
  if (int64_t(start) + count > int64_t(INT32_MAX) + 1)
    throw std::length_error("block reaches past the last address");
  // calloc leaves untouched pages to the operating system, so a large
  // reserved area costs no memory until it is used.
  std::unique_ptr<uint32_t[], TFreeWords> words(
      static_cast<uint32_t*>(std::calloc(size_t(count), sizeof(uint32_t))));
  if (!words) throw std::bad_alloc();
  // Room for the new section before anything changes, so a failing
  // allocation leaves the memory as it was; growth by doubling keeps a load
  // of many sections linear.
  if (Sections.size() == Sections.capacity()) Sections.reserve(Sections.size() * 2 + 16);
  if (SectionWords.size() == SectionWords.capacity()) SectionWords.reserve(SectionWords.size() * 2 + 16);

  TBlockRef ref{start, count, words.get(), false};
  SectionWords.push_back(std::move(words));
  Sections.push_back(TSection{ref});
  IndexDirty = true;
  if (SingleCount) SinglesShadowed = true;
  // Exclusiveness is only known again after the next index rebuild.
  Slot[Cur ^ 1] = TBlockRef{};
  Slot[Cur] = Newest = ref;
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
}

int32_t TMemory::FindSlow(int32_t address, bool create) {
  if (address >= Low && address < High) {
    TBlockRef found{};
    if (address >= SingleLow && address < SingleHigh) {
      // A one-word block is older than any section covering the same word:
      // it was created while nothing covered that address.
      if (TPage* page = PageOf(address)) {
        int bit = address & (PageWords - 1);
        if (page->Present >> bit & 1)
          found = TBlockRef{address, 1, &page->Words[bit], !SinglesShadowed};
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
// A sweep over the sorted section ends: n log n in the number of sections.
void TMemory::RebuildIndex() {
  IndexDirty = false;
  Index.clear();
  if (Sections.empty()) return;

  const size_t count = Sections.size();
  std::vector<int64_t> points;
  points.reserve(count * 2);
  for (const TSection& s : Sections) {
    points.push_back(s.Ref.Start);
    points.push_back(int64_t(s.Ref.Start) + s.Ref.Count);
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  auto pointIndex = [&](int64_t p) {
    return uint32_t(std::lower_bound(points.begin(), points.end(), p) - points.begin());
  };

  const size_t n = points.size();
  std::vector<int32_t> cover(n + 1, 0);
  std::vector<uint32_t> startOf(count), endOf(count);
  for (size_t i = 0; i < count; ++i) {
    startOf[i] = pointIndex(Sections[i].Ref.Start);
    endOf[i] = pointIndex(int64_t(Sections[i].Ref.Start) + Sections[i].Ref.Count);
    cover[startOf[i]]++;
    cover[endOf[i]]--;
  }
  std::vector<int32_t> byStart(count);
  std::iota(byStart.begin(), byStart.end(), 0);
  std::sort(byStart.begin(), byStart.end(),
            [&](int32_t a, int32_t b) { return startOf[size_t(a)] < startOf[size_t(b)]; });

  // overlapped[k]: segments before k that more than one section covers.
  std::vector<int32_t> overlapped(n + 1, 0);
  int32_t depth = 0;
  size_t next = 0;
  std::priority_queue<int32_t, std::vector<int32_t>, std::greater<int32_t>> active;
  Index.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    depth += cover[k];
    overlapped[k + 1] = overlapped[k] + (depth > 1 ? 1 : 0);
    while (next < count && startOf[size_t(byStart[next])] == k) active.push(byStart[next++]);
    while (!active.empty() && endOf[size_t(active.top())] <= k) active.pop();
    int32_t oldest = active.empty() ? -1 : active.top();
    if (Index.empty() || Index.back().Section != oldest) Index.push_back(TSegment{points[k], oldest});
  }

  for (size_t i = 0; i < count; ++i) {
    bool alone = overlapped[endOf[i]] - overlapped[startOf[i]] == 0;
    Sections[i].Ref.Exclusive = alone && !SinglesShadowed;
  }
}
