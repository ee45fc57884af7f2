#include "Memory.h"

#include <algorithm>
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
  Sections.reserve(Sections.size() + 1);
  SectionWords.reserve(SectionWords.size() + 1);

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

int32_t TMemory::CreateSingle(int32_t address) {
  TPage* page = PageOf(address);
  if (!page) {
    auto fresh = std::make_unique<TPage>();
    page = fresh.get();
    Pages.emplace(address >> PageShift, std::move(fresh));
    LastPageNo = address >> PageShift;
    LastPage = page;
  }
  int bit = address & (PageWords - 1);
  page->Present |= uint64_t(1) << bit;
  page->Words[bit] = 0;
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

  Newest = TBlockRef{address, 1, &page->Words[bit], !SinglesShadowed};
  Promote(Newest);
  return 0;
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
void TMemory::RebuildIndex() {
  IndexDirty = false;
  Index.clear();
  if (Sections.empty()) return;

  std::vector<int64_t> points;
  points.reserve(Sections.size() * 2);
  for (const TSection& s : Sections) {
    points.push_back(s.Ref.Start);
    points.push_back(int64_t(s.Ref.Start) + s.Ref.Count);
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  auto pointIndex = [&](int64_t p) {
    return size_t(std::lower_bound(points.begin(), points.end(), p) - points.begin());
  };

  const size_t n = points.size();
  std::vector<std::vector<int32_t>> opening(n);
  std::vector<int32_t> cover(n + 1, 0);
  std::vector<size_t> endOf(Sections.size());
  for (size_t i = 0; i < Sections.size(); ++i) {
    size_t lo = pointIndex(Sections[i].Ref.Start);
    size_t hi = pointIndex(int64_t(Sections[i].Ref.Start) + Sections[i].Ref.Count);
    opening[lo].push_back(int32_t(i));
    endOf[i] = hi;
    cover[lo]++;
    cover[hi]--;
  }

  // overlapped[k]: segments before k that more than one section covers.
  std::vector<int32_t> overlapped(n + 1, 0);
  int32_t depth = 0;
  std::priority_queue<int32_t, std::vector<int32_t>, std::greater<int32_t>> active;
  Index.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    depth += cover[k];
    overlapped[k + 1] = overlapped[k] + (depth > 1 ? 1 : 0);
    for (int32_t s : opening[k]) active.push(s);
    while (!active.empty() && endOf[size_t(active.top())] <= k) active.pop();
    int32_t oldest = active.empty() ? -1 : active.top();
    if (Index.empty() || Index.back().Section != oldest) Index.push_back(TSegment{points[k], oldest});
  }

  for (size_t i = 0; i < Sections.size(); ++i) {
    size_t lo = pointIndex(Sections[i].Ref.Start);
    bool alone = overlapped[endOf[i]] - overlapped[lo] == 0;
    Sections[i].Ref.Exclusive = alone && !SinglesShadowed;
  }
}
