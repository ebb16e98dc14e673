#include "platform/base/large_blocks.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/base/parallel.h"

namespace {

// Under AddressSanitizer blocks come from the C library, whose guard zones catch reads past a row's end.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kFromCLibrary = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kFromCLibrary = true;
#else
constexpr bool kFromCLibrary = false;
#endif
#else
constexpr bool kFromCLibrary = false;
#endif

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kMaxCachedBlocks = 8;

// Enough for a view of a large picture (canvas, reflection, their alpha channels) and its source, so that
// opening the next picture of that size reuses them all; never more than a quarter of the machine's memory.
size_t MaxCachedBytes() {
  static const size_t Limit = [] {
    const long Pages = sysconf(_SC_PHYS_PAGES), PageSize = sysconf(_SC_PAGESIZE);
    const size_t Physical = Pages > 0 && PageSize > 0 ? size_t(Pages) * size_t(PageSize) : 0;
    return std::min(size_t(1) << 30, Physical / 4);
  }();
  return Limit;
}

struct TLargeBlocks {
  std::mutex Lock;
  std::unordered_map<void*, size_t> Live;           // block -> bytes mapped
  std::vector<std::pair<void*, size_t>> Kept;       // oldest first
  size_t KeptBytes = 0;
};

// Never destroyed: bitmaps with static lifetime may free their pixels after exit has begun.
TLargeBlocks& Blocks() {
  static auto* B = new TLargeBlocks;
  return *B;
}

void* MapHugeAligned(size_t Length) {
  const size_t Extra = kHugePage;
  void* Raw = mmap(nullptr, Length + Extra, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (Raw == MAP_FAILED) return nullptr;
  const uintptr_t Start = reinterpret_cast<uintptr_t>(Raw);
  const uintptr_t Aligned = (Start + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
  if (Aligned > Start) munmap(Raw, Aligned - Start);
  const uintptr_t End = Start + Length + Extra;
  if (End > Aligned + Length) munmap(reinterpret_cast<void*>(Aligned + Length), End - (Aligned + Length));
  void* P = reinterpret_cast<void*>(Aligned);
  // Where the system offers no huge pages this does nothing and the block works with small ones.
  madvise(P, Length, MADV_HUGEPAGE);
  return P;
}

void Unmap(const std::vector<std::pair<void*, size_t>>& List) {
  for (const auto& [P, Length] : List) munmap(P, Length);
}

// Warm memory is cleared on every core; it is written once more by its user anyway.
void ZeroFill(void* P, size_t Bytes) {
  constexpr size_t Chunk = size_t(1) << 20;
  const int32_t Chunks = int32_t((Bytes + Chunk - 1) / Chunk);
  auto* Base = static_cast<uint8_t*>(P);
  ParallelBands(0, Chunks, 4, [&](int32_t First, int32_t Last) {
    const size_t From = size_t(First) * Chunk, To = std::min(Bytes, size_t(Last) * Chunk);
    std::memset(Base + From, 0, To - From);
  });
}

void TouchPages(void* P, size_t Bytes) {
  auto* Base = static_cast<volatile uint8_t*>(P);
  const int32_t Pages = int32_t((Bytes + kHugePage - 1) / kHugePage);
  ParallelBands(0, Pages, 1, [&](int32_t First, int32_t Last) {
    const size_t To = std::min(Bytes, size_t(Last) * kHugePage);
    for (size_t At = size_t(First) * kHugePage; At < To; At += 4096) Base[At] = 0;
  });
}

}  // namespace

void* AllocLargeBlock(size_t Bytes, bool Zeroed) {
  if (Bytes == 0 || Bytes > SIZE_MAX - kHugePage * 2) return nullptr;
  const size_t Length = (Bytes + kHugePage - 1) & ~(kHugePage - 1);
  TLargeBlocks& B = Blocks();
  if (kFromCLibrary) {
    void* P = Zeroed ? std::calloc(Bytes, 1) : std::malloc(Bytes);
    if (!P) return nullptr;
    try {
      std::lock_guard<std::mutex> G(B.Lock);
      B.Live.emplace(P, 0);
    } catch (...) {
      std::free(P);
      return nullptr;
    }
    return P;
  }
  void* P = nullptr;
  size_t Have = 0;
  std::vector<std::pair<void*, size_t>> Drop;
  {
    std::lock_guard<std::mutex> G(B.Lock);
    // A block a little larger serves too (a canvas a few rows higher than the last one), the closest fit
    // first.
    size_t Best = B.Kept.size();
    for (size_t i = 0; i < B.Kept.size(); ++i) {
      const size_t Size = B.Kept[i].second;
      if (Size < Length || Size - Length > Length / 8) continue;
      if (Best == B.Kept.size() || Size < B.Kept[Best].second) Best = i;
    }
    if (Best < B.Kept.size()) {
      std::tie(P, Have) = B.Kept[Best];
      B.Kept.erase(B.Kept.begin() + std::ptrdiff_t(Best));
      B.KeptBytes -= Have;
      B.Live.emplace(P, Have);
    } else {
      // Nothing fits: kept blocks of at least the size asked for go back first, so that keeping blocks
      // never adds to what the process holds at its peak.
      size_t Freed = 0;
      while (!B.Kept.empty() && Freed < Length) {
        Drop.push_back(B.Kept.front());
        Freed += B.Kept.front().second;
        B.KeptBytes -= B.Kept.front().second;
        B.Kept.erase(B.Kept.begin());
      }
    }
  }
  if (P) {
    if (Zeroed) ZeroFill(P, Bytes);
    return P;
  }
  Unmap(Drop);
  P = MapHugeAligned(Length);  // fresh pages read as zero
  if (!P) return nullptr;
  // Its user (a picture's pixels) writes the block whole, faulting the pages in one by one on its own
  // thread, each cleared by the kernel first; touching them from every core now spreads that clearing.
  TouchPages(P, Bytes);
  try {
    std::lock_guard<std::mutex> G(B.Lock);
    B.Live.emplace(P, Length);
  } catch (...) {
    munmap(P, Length);
    return nullptr;
  }
  return P;
}

bool FreeLargeBlock(void* P) {
  if (!P) return false;
  TLargeBlocks& B = Blocks();
  std::vector<std::pair<void*, size_t>> Drop;
  {
    std::lock_guard<std::mutex> G(B.Lock);
    auto It = B.Live.find(P);
    if (It == B.Live.end()) return false;
    const size_t Length = It->second;
    B.Live.erase(It);
    if (kFromCLibrary) {
      std::free(P);
      return true;
    }
    if (Length > MaxCachedBytes()) {
      Drop.emplace_back(P, Length);
    } else {
      // The oldest kept blocks make room for the newest.
      while (!B.Kept.empty() && (B.Kept.size() >= kMaxCachedBlocks || B.KeptBytes + Length > MaxCachedBytes())) {
        Drop.push_back(B.Kept.front());
        B.KeptBytes -= B.Kept.front().second;
        B.Kept.erase(B.Kept.begin());
      }
      try {
        B.Kept.emplace_back(P, Length);
        B.KeptBytes += Length;
      } catch (...) {
        Drop.emplace_back(P, Length);
      }
    }
  }
  Unmap(Drop);
  return true;
}

void ReleaseCachedLargeBlocks() {
  TLargeBlocks& B = Blocks();
  std::vector<std::pair<void*, size_t>> Drop;
  {
    std::lock_guard<std::mutex> G(B.Lock);
    Drop.swap(B.Kept);
    B.KeptBytes = 0;
  }
  Unmap(Drop);
}

size_t CachedLargeBlockBytes() {
  TLargeBlocks& B = Blocks();
  std::lock_guard<std::mutex> G(B.Lock);
  return B.KeptBytes;
}
