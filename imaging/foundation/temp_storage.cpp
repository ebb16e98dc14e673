#include "imaging/foundation/temp_storage.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "imaging/foundation/helpers.h"
#include "platform/base/files.h"
#include "platform/base/large_blocks.h"
#include "platform/base/strings.h"

std::string QxTempFolder;

// ---- TQxTemporaryFileStream ----

namespace {
int OpenTemporary(const std::string& FileName) {
  int Fd = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  // Unlinked at once: the data lives only as long as the descriptor, even if the process dies.
  if (Fd >= 0) ::unlink(FileName.c_str());
  return Fd;
}
}  // namespace

TQxTemporaryFileStream::TQxTemporaryFileStream(const std::string& FileName) : THandleStream(OpenTemporary(FileName)) {
  if (FHandle < 0) throw EInOutError("Unable to create " + FileName, errno);
}

TQxTemporaryFileStream::~TQxTemporaryFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

bool TQxTemporaryFileStream::Reserve(int64_t Size) {
  if (Size <= 0) return ::ftruncate(FHandle, 0) == 0;
  return ::posix_fallocate(FHandle, 0, static_cast<off_t>(Size)) == 0;
}

// ---- TQxFileBuffer ----

TQxFileBuffer::~TQxFileBuffer() {
  try {
    Close();
  } catch (...) {
    // A write-back that fails while the owner is going away has nowhere to go.
  }
  for (TMappedBlock& B : FMappedBlocks) std::free(B.Buffer);
}

bool TQxFileBuffer::AllocateFile(const std::string& Prefix, bool UseFile, int64_t Size) {
  if (IsAllocated()) Close();
  std::string Folder = QxTempFolder.empty() ? TempDirectory() : QxTempFolder;
  QxUniqueTempFileName(Prefix, Folder, FFileName);
  try {
    if (UseFile) {
      auto* T = new TQxTemporaryFileStream(FFileName);
      FBackingStream.reset(T);
      // Space is taken now, so a full disk shows here and not as a failed write later.
      if (!T->Reserve(Size)) return false;
    } else {
      FBackingStream = std::make_unique<TMemoryStream>();
      FBackingStream->SetSize(Size);
    }
    return true;
  } catch (const Exception&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void TQxFileBuffer::SetFileSize(int64_t Size) {
  if (FBackingStream) FBackingStream->SetSize(Size);
}

void* TQxFileBuffer::Map(uint8_t Access, int64_t Length, int64_t Offset) {
  if (Length < 0 || Offset < 0) return nullptr;
  ++FMapCalls;
  auto* Buffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(Length > 0 ? Length : 1)));
  if (!Buffer) return nullptr;
  if (FBackingStream && (Access & QxAccessRead)) {
    try {
      FBackingStream->SetPosition(Offset);
      int64_t Got = FBackingStream->Read(Buffer, Length);
      if (Got < 0) Got = 0;
      // Beyond the end of the store reads as zeros.
      if (Got < Length) std::memset(Buffer + Got, 0, static_cast<size_t>(Length - Got));
    } catch (...) {
      std::free(Buffer);
      throw;
    }
  }
  FMappedBlocks.push_back(TMappedBlock{Offset, Length, Buffer, Access});
  return Buffer;
}

int32_t TQxFileBuffer::IndexOfMapped(const void* Buffer) const {
  for (size_t I = 0; I < FMappedBlocks.size(); ++I)
    if (FMappedBlocks[I].Buffer == Buffer) return static_cast<int32_t>(I);
  return -1;
}

void TQxFileBuffer::Unmap(void* Buffer) {
  int32_t I = IndexOfMapped(Buffer);
  if (I < 0) return;
  TMappedBlock B = FMappedBlocks[static_cast<size_t>(I)];
  FMappedBlocks.erase(FMappedBlocks.begin() + I);
  struct TFree {
    uint8_t* P;
    ~TFree() { std::free(P); }
  } Guard{B.Buffer};
  if (FBackingStream && (B.Access & QxAccessWrite)) {
    FBackingStream->SetPosition(B.Offset);
    FBackingStream->WriteBuffer(B.Buffer, B.Length);
  }
}

void TQxFileBuffer::UnmapAll() {
  while (!FMappedBlocks.empty()) Unmap(FMappedBlocks.back().Buffer);
}

void TQxFileBuffer::Close() {
  if (!IsAllocated()) return;
  struct TRelease {
    TQxFileBuffer* Self;
    ~TRelease() {
      Self->FBackingStream.reset();
      DeleteFile(Self->FFileName);
    }
  } Release{this};
  UnmapAll();
}

void TQxFileBuffer::CopyTo(TQxFileBuffer* Dest, int64_t Length, int64_t Offset) {
  FLastCopyChunks = 0;
  if (!Dest || !IsAllocated() || !Dest->IsAllocated()) return;
  UnmapAll();
  Dest->UnmapAll();
  FBackingStream->SetPosition(Offset);
  Dest->FBackingStream->SetPosition(Offset);
  const int64_t Chunk = 1048576;
  std::unique_ptr<uint8_t[]> Buf(new uint8_t[static_cast<size_t>(Chunk)]);
  while (Length > 0) {
    int64_t N = std::min(Length, Chunk);
    FBackingStream->ReadBuffer(Buf.get(), N);
    Dest->FBackingStream->WriteBuffer(Buf.get(), N);
    Length -= N;
    ++FLastCopyChunks;
  }
}

// ---- allocators ----

namespace {
constexpr size_t HybridLimit = 1048576;
constexpr size_t TagSpace = 4;
std::mutex GHybridLock;
struct THybridBlock {
  uint8_t Tag;
  size_t Size;
};
std::unordered_map<const void*, THybridBlock> GHybridBlocks;  // address handed out -> tag and size

}  // namespace

void* QxGlobalAlloc(size_t Size) { return std::calloc(Size ? Size : 1, 1); }

void QxGlobalFree(void*& P) {
  std::free(P);
  P = nullptr;
}

void* QxAllocHybrid(size_t Size, bool Zeroed) {
  if (Size > SIZE_MAX - TagSpace) return nullptr;
  uint8_t Tag = 1;
  uint8_t* Base = nullptr;
  if (Size < HybridLimit) {
    // Cleared when asked, as large blocks are: a small picture must not show what the heap held before.
    Base = static_cast<uint8_t*>(Zeroed ? std::calloc(Size + TagSpace, 1) : std::malloc(Size + TagSpace));
    Tag = 0;
  }
  if (!Base) {
    Tag = 1;
    if (Size + TagSpace >= LargeBlockMinBytes)
      Base = static_cast<uint8_t*>(AllocLargeBlock(Size + TagSpace, Zeroed));
    else
      Base = static_cast<uint8_t*>(Zeroed ? std::calloc(Size + TagSpace, 1) : std::malloc(Size + TagSpace));
  }
  if (!Base) return nullptr;
  Base[TagSpace - 1] = Tag;
  void* P = Base + TagSpace;
  try {
    std::lock_guard<std::mutex> G(GHybridLock);
    GHybridBlocks[P] = THybridBlock{Tag, Size};
  } catch (...) {
    if (!FreeLargeBlock(Base)) std::free(Base);
    return nullptr;
  }
  return P;
}

void QxFreeHybrid(void*& P) {
  if (!P) return;
  uint8_t* Base = nullptr;
  {
    std::lock_guard<std::mutex> G(GHybridLock);
    auto It = GHybridBlocks.find(P);
    if (It == GHybridBlocks.end()) return;  // not ours: leave it alone
    GHybridBlocks.erase(It);
    Base = static_cast<uint8_t*>(P) - TagSpace;
    P = nullptr;
  }
  if (!FreeLargeBlock(Base)) std::free(Base);
}

bool QxIsHybridBlock(const void* P) { return QxHybridBlockKind(P) >= 0; }

int QxHybridBlockKind(const void* P) {
  std::lock_guard<std::mutex> G(GHybridLock);
  auto It = GHybridBlocks.find(P);
  return It == GHybridBlocks.end() ? -1 : It->second.Tag;
}

void QxTryGetMem(void*& P, size_t Size) { P = std::malloc(Size ? Size : 1); }
