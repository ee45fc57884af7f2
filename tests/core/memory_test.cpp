#include <algorithm>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

#include "tests/support/CoreFixture.h"

namespace {

class MemoryTest : public CoreTest {};

TEST_F(MemoryTest, EmptyMemoryReadsUnmappedEverywhere) {
  for (int32_t a : {0, 1, -1, HeaderAddress, INT32_MAX, INT32_MIN}) EXPECT_EQ(TheMemory.ReadWord(a), 0xFFFFFFFFu);
  EXPECT_EQ(TheMemory.FindWord(0, false), -1);
  EXPECT_EQ(TheMemory.BlockCount(), 0u);
  EXPECT_EQ(TheMemory.LastBlock().Count, 0);
}

TEST_F(MemoryTest, StoreToUnmappedCreatesOneWordBlock) {
  TheMemory.WriteWord(5, 7);
  EXPECT_EQ(TheMemory.ReadWord(5), 7u);
  EXPECT_EQ(TheMemory.ReadWord(4), 0xFFFFFFFFu);
  EXPECT_EQ(TheMemory.ReadWord(6), 0xFFFFFFFFu);
  EXPECT_EQ(TheMemory.LowBound(), 0);
  EXPECT_EQ(TheMemory.HighBound(), 6);
  EXPECT_EQ(TheMemory.BlockCount(), 1u);
}

TEST_F(MemoryTest, NegativeAndExtremeAddressesHoldWords) {
  TheMemory.WriteWord(-3, 1);
  EXPECT_EQ(TheMemory.LowBound(), -3);
  TheMemory.WriteWord(INT32_MAX, 2);
  TheMemory.WriteWord(INT32_MIN, 3);
  EXPECT_EQ(TheMemory.HighBound(), int64_t(INT32_MAX) + 1);
  EXPECT_EQ(TheMemory.LowBound(), INT32_MIN);
  EXPECT_EQ(TheMemory.ReadWord(-3), 1u);
  EXPECT_EQ(TheMemory.ReadWord(INT32_MAX), 2u);
  EXPECT_EQ(TheMemory.ReadWord(INT32_MIN), 3u);
  EXPECT_EQ(TheMemory.ReadWord(INT32_MAX - 1), 0xFFFFFFFFu);
  TheMemory.AddBlock(INT32_MAX - 3, 3);  // ends right below the single word
  EXPECT_EQ(TheMemory.ReadWord(INT32_MAX - 1), 0u);
}

TEST_F(MemoryTest, AddBlockReservesZeroWordsAndRefusesBadBlocks) {
  TheMemory.AddBlock(10, 4);
  for (int32_t a = 10; a < 14; ++a) EXPECT_EQ(TheMemory.ReadWord(a), 0u);
  EXPECT_EQ(TheMemory.ReadWord(14), 0xFFFFFFFFu);
  EXPECT_THROW(TheMemory.AddBlock(INT32_MAX, 2), std::length_error);
  EXPECT_THROW(TheMemory.AddBlock(0, 0), std::length_error);
  EXPECT_EQ(TheMemory.BlockCount(), 1u);
  TheMemory.AddBlock(INT32_MAX, 1);
  EXPECT_EQ(TheMemory.ReadWord(INT32_MAX), 0u);
}

TEST_F(MemoryTest, OverlappingBlocksFollowTheCache) {
  TheMemory.AddBlock(10, 4);              // A
  TheMemory.AddBlock(12, 4);              // B, now cached
  TheMemory.WriteWord(12, 1);             // lands in B
  EXPECT_EQ(TheMemory.ReadWord(10), 0u);  // caches A
  EXPECT_EQ(TheMemory.ReadWord(12), 0u);  // A's copy
  EXPECT_EQ(TheMemory.ReadWord(15), 0u);  // only B covers 15: caches B
  EXPECT_EQ(TheMemory.ReadWord(12), 1u);  // B's copy again
  // A miss with neither cached finds the oldest block first.
  TheMemory.WriteWord(100, 9);
  EXPECT_EQ(TheMemory.ReadWord(13), 0u);
  EXPECT_EQ(TheMemory.LastBlock().Start, 10);
}

TEST_F(MemoryTest, FailedSearchCachesNewestBlock) {
  TheMemory.AddBlock(0, 2);
  TheMemory.AddBlock(10, 2);
  TheMemory.AddBlock(20, 2);
  TheMemory.ReadWord(0);
  EXPECT_EQ(TheMemory.LastBlock().Start, 0);
  EXPECT_EQ(TheMemory.ReadWord(5), 0xFFFFFFFFu);
  EXPECT_EQ(TheMemory.LastBlock().Start, 20);
  // Outside the bounds the cache stays as it is.
  TheMemory.ReadWord(0);
  EXPECT_EQ(TheMemory.ReadWord(50), 0xFFFFFFFFu);
  EXPECT_EQ(TheMemory.LastBlock().Start, 0);
}

TEST_F(MemoryTest, EveryStoreNotifiesOnceAfterwards) {
  static std::vector<std::pair<int32_t, uint32_t>> seen;
  seen.clear();
  DisplayHooks.MemoryChanged = [](int32_t a) { seen.push_back({a, TheMemory.ReadWord(a)}); };
  TheMemory.AddBlock(0, 2);
  TheMemory.ReadWord(1);
  TheMemory.WriteWord(1, 5);
  TheMemory.WriteWord(1, 5);
  TheMemory.WriteWord(-7, 6);
  TheMemory.Clear();
  EXPECT_EQ(seen, (std::vector<std::pair<int32_t, uint32_t>>{{1, 5}, {1, 5}, {-7, 6}}));
}

TEST_F(MemoryTest, ClearForgetsEverything) {
  TheMemory.AddBlock(-5, 10);
  TheMemory.WriteWord(1000, 1);
  TheMemory.Clear();
  EXPECT_EQ(TheMemory.BlockCount(), 0u);
  EXPECT_EQ(TheMemory.LowBound(), 0);
  EXPECT_EQ(TheMemory.HighBound(), 0);
  EXPECT_EQ(TheMemory.ReadWord(0), 0xFFFFFFFFu);
  EXPECT_EQ(TheMemory.ReadWord(1000), 0xFFFFFFFFu);
}

// The lookup rules written out plainly: a linear walk over all blocks.
class ReferenceMemory {
 public:
  void Clear() { *this = ReferenceMemory(); }
  int32_t FindWord(int32_t a, bool create) {
    if (a >= Low && a < High) {
      if (Last >= 0 && Covers(Last, a)) return a - Blocks[size_t(Last)].Start;
      for (size_t i = 0; i < Blocks.size(); ++i) {
        Last = int(i);
        if (Covers(Last, a)) return a - Blocks[i].Start;
      }
    }
    if (!create) return -1;
    AddBlock(a, 1);
    return 0;
  }
  uint32_t ReadWord(int32_t a) {
    int32_t off = FindWord(a, false);
    return off < 0 ? 0xFFFFFFFFu : Blocks[size_t(Last)].Words[size_t(off)];
  }
  void WriteWord(int32_t a, uint32_t v) {
    int32_t off = FindWord(a, true);
    Blocks[size_t(Last)].Words[size_t(off)] = v;
  }
  void AddBlock(int32_t start, int32_t count) {
    Blocks.push_back({start, count, std::vector<uint32_t>(size_t(count), 0)});
    Last = int(Blocks.size()) - 1;
    Low = std::min<int64_t>(Low, start);
    High = std::max<int64_t>(High, int64_t(start) + count);
  }
  int32_t LastStart() const { return Last < 0 ? 0 : Blocks[size_t(Last)].Start; }
  int32_t LastCount() const { return Last < 0 ? 0 : Blocks[size_t(Last)].Count; }

 private:
  struct Block {
    int32_t Start, Count;
    std::vector<uint32_t> Words;
  };
  bool Covers(int b, int32_t a) const {
    const Block& k = Blocks[size_t(b)];
    return int64_t(a) - k.Start >= 0 && int64_t(a) - k.Start < k.Count;
  }
  std::vector<Block> Blocks;
  int Last = -1;
  int64_t Low = 0, High = 0;
};

// Random mixes of sections (overlapping or not), stores that create words,
// reads and clears must agree with the plain walk word for word, including
// which block the cache holds afterwards.
TEST_F(MemoryTest, AgreesWithPlainWalkOnRandomWorkloads) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    ReferenceMemory ref;
    TheMemory.Clear();
    // Small seeds make overlaps frequent, larger ones spread blocks out.
    const int span = seed % 3 == 0 ? 40 : seed % 3 == 1 ? 400 : 4000;
    auto address = [&]() -> int32_t {
      int pick = int(rng() % 50);
      if (pick == 0) return INT32_MAX;
      if (pick == 1) return INT32_MIN;
      return int32_t(rng() % uint32_t(2 * span)) - span / 4;
    };
    for (int step = 0; step < 6000; ++step) {
      const int op = int(rng() % 100);
      if (op < 8) {
        int32_t start = address(), count = int32_t(1 + rng() % 70);
        if (int64_t(start) + count > int64_t(INT32_MAX) + 1) continue;
        ref.AddBlock(start, count);
        TheMemory.AddBlock(start, count);
      } else if (op < 40) {
        int32_t a = address();
        uint32_t v = rng();
        ref.WriteWord(a, v);
        TheMemory.WriteWord(a, v);
      } else if (op < 99) {
        int32_t a = address();
        ASSERT_EQ(TheMemory.ReadWord(a), ref.ReadWord(a)) << "seed " << seed << " step " << step << " address " << a;
      } else {
        ref.Clear();
        TheMemory.Clear();
      }
      ASSERT_EQ(TheMemory.LastBlock().Start, ref.LastStart()) << "seed " << seed << " step " << step;
      ASSERT_EQ(TheMemory.LastBlock().Count, ref.LastCount()) << "seed " << seed << " step " << step;
    }
  }
}

// The shapes a loaded program meets: exclusive code and data sections,
// sections with different starts covering one stretch two and three deep,
// one-word blocks stored before and after the sections, and lookups that
// alternate among them (a fetch, a watched word, a load, a store).
TEST_F(MemoryTest, AgreesWithPlainWalkOnOverlapShapes) {
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    ReferenceMemory ref;
    TheMemory.Clear();
    std::vector<std::pair<int32_t, int32_t>> blocks;  // where lookups go
    auto store = [&](int32_t a, uint32_t v) {
      ref.WriteWord(a, v);
      TheMemory.WriteWord(a, v);
    };
    auto single = [&] {
      int32_t a = int32_t(rng() % 300) + (rng() % 2 ? 0 : 3000);
      store(a, rng());
      blocks.push_back({a, 1});
    };
    for (uint32_t k = rng() % 4; k > 0; --k) single();
    std::vector<std::pair<int32_t, int32_t>> sections = {{1000, int32_t(4 + rng() % 16)},
                                                         {2000, int32_t(1 + rng() % 8)}};
    const int depth = 2 + int(rng() % 2);
    for (int d = 0; d < depth; ++d) sections.push_back({int32_t(100 + rng() % 12), int32_t(8 + rng() % 20)});
    std::shuffle(sections.begin(), sections.end(), rng);
    for (auto [start, count] : sections) {
      ref.AddBlock(start, count);
      TheMemory.AddBlock(start, count);
      for (int32_t k = 0; k < count; ++k) store(start + k, rng());
      blocks.push_back({start, count});
    }
    for (uint32_t k = rng() % 4; k > 0; --k) single();

    for (int step = 0; step < 3000; ++step) {
      auto [start, count] = blocks[rng() % blocks.size()];
      int32_t a = start + int32_t(rng() % uint32_t(count + 2)) - 1;
      const int op = int(rng() % 100);
      if (op < 25) {
        store(a, rng());
      } else if (op < 30) {
        single();
      } else {
        ASSERT_EQ(TheMemory.ReadWord(a), ref.ReadWord(a)) << "seed " << seed << " step " << step << " address " << a;
      }
      ASSERT_EQ(TheMemory.LastBlock().Start, ref.LastStart()) << "seed " << seed << " step " << step;
      ASSERT_EQ(TheMemory.LastBlock().Count, ref.LastCount()) << "seed " << seed << " step " << step;
    }
  }
}

// Lone words live apart from paged ones; a neighbour turns them into a
// page. Words must keep their values through every such move, also the
// word the cache points at.
TEST_F(MemoryTest, ScatteredAndClusteredStoresKeepTheirWords) {
  std::vector<int32_t> addresses;
  for (int32_t k = 0; k < 3000; ++k) addresses.push_back(k * 1000 - 1000000);
  for (int32_t k = 0; k < 3000; ++k) addresses.push_back(k * 1000 - 999999);  // neighbours
  addresses.push_back(INT32_MIN);
  addresses.push_back(INT32_MAX);
  for (int32_t a : addresses) {
    TheMemory.WriteWord(a, uint32_t(a) ^ 0x5A5A5A5Au);
    ASSERT_EQ(TheMemory.LastBlock().Words[0], uint32_t(a) ^ 0x5A5A5A5Au);
  }
  for (int32_t a : addresses) ASSERT_EQ(TheMemory.ReadWord(a), uint32_t(a) ^ 0x5A5A5A5Au) << a;
  EXPECT_EQ(TheMemory.ReadWord(-999998), 0xFFFFFFFFu);
  EXPECT_EQ(TheMemory.BlockCount(), addresses.size());
}

TEST_F(MemoryTest, LargeReservedBlockIsCheapUntilUsed) {
  // Sixteen million words; only the touched pages cost memory.
  TheMemory.AddBlock(0, 1 << 24);
  EXPECT_EQ(TheMemory.ReadWord((1 << 24) - 1), 0u);
  TheMemory.WriteWord(1 << 23, 42);
  EXPECT_EQ(TheMemory.ReadWord(1 << 23), 42u);
}

}  // namespace
