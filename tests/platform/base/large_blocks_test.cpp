// Large pixel blocks: huge-page aligned, kept when freed, reused for requests of about the same size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/base/large_blocks.h"

namespace {

constexpr size_t MB = size_t(1) << 20;

// Under AddressSanitizer the blocks come from the C library and are neither aligned nor kept.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

bool AllBytes(const void* P, size_t N, uint8_t V) {
  const auto* B = static_cast<const uint8_t*>(P);
  return std::all_of(B, B + N, [V](uint8_t X) { return X == V; });
}

}  // namespace

TEST(LargeBlocks, FreshAndZeroedReusedBlocksReadZeroAndAreAligned) {
  if (kSanitized) GTEST_SKIP() << "blocks come from the C library under AddressSanitizer";
  ReleaseCachedLargeBlocks();
  const size_t Size = 10 * MB + 123;
  void* A = AllocLargeBlock(Size, false);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(A) % (2 * MB), 0u);
  EXPECT_TRUE(AllBytes(A, Size, 0));  // fresh from the system
  std::memset(A, 0xAB, Size);
  ASSERT_TRUE(FreeLargeBlock(A));
  EXPECT_GE(CachedLargeBlockBytes(), Size);

  // The kept block comes back for the same request, cleared when asked.
  void* B = AllocLargeBlock(Size, true);
  EXPECT_EQ(B, A);
  EXPECT_TRUE(AllBytes(B, Size, 0));
  EXPECT_EQ(CachedLargeBlockBytes(), 0u);
  std::memset(B, 0xCD, Size);
  ASSERT_TRUE(FreeLargeBlock(B));
  // Without clearing, the caller sees what was there (it is about to write every byte).
  void* C = AllocLargeBlock(Size - 100, false);
  EXPECT_EQ(C, A);
  EXPECT_TRUE(AllBytes(C, Size - 100, 0xCD));
  ASSERT_TRUE(FreeLargeBlock(C));
  ReleaseCachedLargeBlocks();
  EXPECT_EQ(CachedLargeBlockBytes(), 0u);
}

TEST(LargeBlocks, OnlyACloseFitIsReusedAndAMissGivesKeptBlocksBack) {
  if (kSanitized) GTEST_SKIP() << "blocks come from the C library under AddressSanitizer";
  ReleaseCachedLargeBlocks();
  void* Big = AllocLargeBlock(64 * MB, false);
  ASSERT_NE(Big, nullptr);
  ASSERT_TRUE(FreeLargeBlock(Big));
  ASSERT_EQ(CachedLargeBlockBytes(), 64 * MB);
  // Half the size is not served from a block twice as large; the kept block is given back instead, so
  // that holding it never adds to the process's peak.
  void* Half = AllocLargeBlock(32 * MB, false);
  ASSERT_NE(Half, nullptr);
  EXPECT_NE(Half, Big);
  EXPECT_EQ(CachedLargeBlockBytes(), 0u);
  ASSERT_TRUE(FreeLargeBlock(Half));
  // A block an eighth larger at most serves a smaller request.
  void* Again = AllocLargeBlock(30 * MB, false);
  EXPECT_EQ(Again, Half);
  ASSERT_TRUE(FreeLargeBlock(Again));
  ReleaseCachedLargeBlocks();
}

TEST(LargeBlocks, ForeignPointersAreRefusedAndKeptBlocksAreBounded) {
  ReleaseCachedLargeBlocks();
  int Local = 0;
  EXPECT_FALSE(FreeLargeBlock(&Local));
  EXPECT_FALSE(FreeLargeBlock(nullptr));
  EXPECT_EQ(AllocLargeBlock(0, true), nullptr);
  EXPECT_EQ(AllocLargeBlock(SIZE_MAX, true), nullptr);
  // Twelve distinct sizes freed: only a few are kept.
  std::vector<void*> Blocks;
  for (size_t i = 0; i < 12; ++i) Blocks.push_back(AllocLargeBlock((4 + 4 * i) * MB, false));
  for (void* P : Blocks) {
    ASSERT_NE(P, nullptr);
    EXPECT_TRUE(FreeLargeBlock(P));
    EXPECT_FALSE(FreeLargeBlock(P)) << "freed twice";
  }
  size_t Sum = 0;
  for (size_t i = 0; i < 12; ++i) Sum += (4 + 4 * i) * MB;
  EXPECT_LT(CachedLargeBlockBytes(), Sum);
  EXPECT_LE(CachedLargeBlockBytes(), size_t(1) << 30);
  ReleaseCachedLargeBlocks();
}

TEST(LargeBlocks, ThreadsTakingAndGivingBackBlocksNeverShareOne) {
  ReleaseCachedLargeBlocks();
  std::vector<std::thread> Threads;
  std::vector<int> Faults(4, 0);
  for (int t = 0; t < 4; ++t)
    Threads.emplace_back([t, &Faults] {
      for (int i = 0; i < 20; ++i) {
        const size_t Size = (4 + size_t((t + i) % 3)) * MB;
        auto* P = static_cast<uint8_t*>(AllocLargeBlock(Size, true));
        if (!P || P[0] != 0 || P[Size - 1] != 0) ++Faults[size_t(t)];
        if (!P) continue;
        std::memset(P, t + 1, Size);
        std::this_thread::yield();
        if (!AllBytes(P, Size, uint8_t(t + 1))) ++Faults[size_t(t)];
        FreeLargeBlock(P);
      }
    });
  for (auto& T : Threads) T.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(Faults[size_t(t)], 0) << "thread " << t;
  ReleaseCachedLargeBlocks();
}
