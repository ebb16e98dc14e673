#include "imaging/foundation/temp_storage.h"

#include "imaging/foundation/bitmap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/foundation/helpers.h"
#include "platform/base/files.h"
#include "platform/base/strings.h"

// AddressSanitizer aborts on impossible allocations instead of returning nothing.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool HugeAllocationsFail = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool HugeAllocationsFail = false;
#else
constexpr bool HugeAllocationsFail = true;
#endif
#else
constexpr bool HugeAllocationsFail = true;
#endif

namespace {
// Whether this process holds a descriptor on a file that has been unlinked and had Name.
bool HoldsDeletedFile(const std::string& Name) {
  for (const std::string& Fd : ListDirectory("/proc/self/fd", "*", true)) {
    char Buf[4096];
    ssize_t N = ::readlink(("/proc/self/fd/" + Fd).c_str(), Buf, sizeof Buf - 1);
    if (N > 0 && std::string(Buf, static_cast<size_t>(N)) == Name + " (deleted)") return true;
  }
  return false;
}
}  // namespace

TEST(FileBuffer, TemporaryFileIsNeverLeftBehind) {
  TQxFileBuffer B;
  ASSERT_TRUE(B.AllocateFile("IMG", true, 4096));
  const std::string Name = B.FileName();
  EXPECT_EQ(ExtractFileName(Name).rfind("IMG-", 0), 0u);
  EXPECT_EQ(Name.size() - Name.rfind('-'), 1u + 8 + 4);
  // Unlinked while open: nothing remains even if the process dies now.
  EXPECT_FALSE(FileExists(Name));
  EXPECT_TRUE(HoldsDeletedFile(Name));
  EXPECT_EQ(B.BackingStream()->Size(), 4096);
  B.Close();
  EXPECT_FALSE(B.IsAllocated());
  EXPECT_FALSE(HoldsDeletedFile(Name));
  EXPECT_EQ(B.FileName(), Name);
}

TEST(FileBuffer, TemporaryNamesAreDrawnAgainWhileTaken) {
  std::string Folder = TempDirectory();
  std::string First, Second;
  QxSetRandomSeed(42);
  QxUniqueTempFileName("QVT", Folder, First);
  WriteFileBytes(First, "taken");
  QxSetRandomSeed(42);  // the generator repeats itself
  QxUniqueTempFileName("QVT", Folder, Second);
  EXPECT_NE(First, Second);
  DeleteFile(First);
}

TEST(FileBuffer, FullDiskFailsAtAllocation) {
  TQxFileBuffer B;
  EXPECT_FALSE(B.AllocateFile("IMG", true, int64_t(1) << 60));
  if (HugeAllocationsFail) {
    TQxFileBuffer M;
    EXPECT_FALSE(M.AllocateFile("IMG", false, int64_t(1) << 60));
  }
  QxTempFolder = "/nonexistent-dir/";
  TQxFileBuffer N;
  EXPECT_FALSE(N.AllocateFile("IMG", true, 16));
  EXPECT_FALSE(N.IsAllocated());
  QxTempFolder.clear();
}

TEST(FileBuffer, MappingsReadAndWriteBackByAccess) {
  for (bool UseFile : {true, false}) {
    TQxFileBuffer B;
    ASSERT_TRUE(B.AllocateFile("IMG", UseFile, 64));
    auto* W = static_cast<uint8_t*>(B.Map(QxAccessWrite, 8, 16));
    std::memset(W, 0xAB, 8);
    auto* R = static_cast<uint8_t*>(B.Map(QxAccessRead, 8, 16));  // independent copy, not yet written
    EXPECT_EQ(R[0], 0);
    R[0] = 0x11;  // read-only: never written back
    EXPECT_EQ(B.MappedCount(), 2);
    B.UnmapAll();  // newest first: R, then W
    auto* Check = static_cast<uint8_t*>(B.Map(QxAccessRead | QxAccessWrite, 8, 16));
    EXPECT_EQ(Check[0], 0xAB);
    EXPECT_EQ(Check[7], 0xAB);
    int Dummy = 0;
    B.Unmap(&Dummy);  // never mapped: ignored
    EXPECT_EQ(B.MappedCount(), 1);
    B.Close();
    EXPECT_EQ(B.MappedCount(), 0);
  }
}

TEST(FileBuffer, CopyToMovesMegabyteChunks) {
  const int64_t Size = 2621440;  // 2.5 MB
  TQxFileBuffer A, B;
  ASSERT_TRUE(A.AllocateFile("IMG", true, Size));
  ASSERT_TRUE(B.AllocateFile("IMG", true, Size));
  auto* P = static_cast<uint8_t*>(A.Map(QxAccessWrite, Size, 0));
  for (int64_t I = 0; I < Size; ++I) P[I] = static_cast<uint8_t>(I % 251);
  A.CopyTo(&B, Size, 0);  // unmaps (writes back) first
  EXPECT_EQ(A.LastCopyChunks(), 3);
  auto* Q = static_cast<uint8_t*>(B.Map(QxAccessRead, Size, 0));
  EXPECT_EQ(Q[Size - 1], static_cast<uint8_t>((Size - 1) % 251));
  EXPECT_EQ(Q[1048576], static_cast<uint8_t>(1048576 % 251));
}

TEST(HybridAllocator, HeapBelowOneMegabyteGlobalFromIt) {
  void* Small = QxAllocHybrid(1048575);
  void* Large = QxAllocHybrid(1048576);
  ASSERT_NE(Small, nullptr);
  ASSERT_NE(Large, nullptr);
  EXPECT_EQ(QxHybridBlockKind(Small), 0);
  EXPECT_EQ(QxHybridBlockKind(Large), 1);
  EXPECT_EQ(static_cast<uint8_t*>(Large)[1048575], 0);  // global memory is zero-filled
  QxFreeHybrid(Small);
  QxFreeHybrid(Large);
  EXPECT_EQ(Small, nullptr);
  EXPECT_FALSE(QxIsHybridBlock(Large));
  // A block the allocator did not hand out is left alone.
  int Local = 5;
  void* Foreign = &Local;
  QxFreeHybrid(Foreign);
  EXPECT_EQ(Foreign, &Local);
  void* Nothing = nullptr;
  QxFreeHybrid(Nothing);
  EXPECT_EQ(QxAllocHybrid(SIZE_MAX - 1), nullptr);  // refused before any allocation
  void* G = QxGlobalAlloc(16);
  EXPECT_EQ(static_cast<uint8_t*>(G)[15], 0);
  QxGlobalFree(G);
  EXPECT_EQ(G, nullptr);
  if (HugeAllocationsFail) {
    void* T;
    QxTryGetMem(T, SIZE_MAX / 2);
    EXPECT_EQ(T, nullptr);
  }
}

// A small picture's storage reads as zero, as a large one's does, whatever the heap held before.
TEST(HybridAllocator, SmallBlocksComeZeroedToo) {
  for (int Round = 0; Round < 2; ++Round) {
    TQxBitmap B;
    ASSERT_TRUE(B.Allocate(101, 37, TQxPixelFormat::qx24RGB));
    for (int32_t y = 0; y < B.Height(); ++y) {
      const uint8_t* Row = B.Scanline(y);
      ASSERT_TRUE(std::all_of(Row, Row + B.RowLen(), [](uint8_t V) { return V == 0; })) << "row " << y;
    }
    B.Fill(0xFFFFFF);  // the next round's block is likely this one again
  }
  void* P = QxAllocHybrid(4096);
  const auto* Q = static_cast<const uint8_t*>(P);
  EXPECT_TRUE(std::all_of(Q, Q + 4096, [](uint8_t V) { return V == 0; }));
  QxFreeHybrid(P);
}

// A large block freed and asked for again may be the same memory, but it is handed out zero-filled.
TEST(HybridAllocator, ReusedLargeBlocksComeBackZeroed) {
  const size_t Size = size_t(8) << 20;
  void* First = QxAllocHybrid(Size);
  ASSERT_NE(First, nullptr);
  std::memset(First, 0xAB, Size);
  QxFreeHybrid(First);
  EXPECT_EQ(First, nullptr);
  void* Again = QxAllocHybrid(Size);
  ASSERT_NE(Again, nullptr);
  EXPECT_EQ(QxHybridBlockKind(Again), 1);
  const auto* P = static_cast<const uint8_t*>(Again);
  EXPECT_TRUE(std::all_of(P, P + Size, [](uint8_t B) { return B == 0; }));
  QxFreeHybrid(Again);
}
