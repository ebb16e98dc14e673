#pragma once
// Backing stores of pixel data: a temporary file (or memory stream) mapped block by block, the file
// stream that vanishes when closed, and the pixel-memory allocators.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/streams.h"

// Folder for temporary files, with a trailing '/'; empty means the system's temporary directory.
extern std::string QxTempFolder;

// Access bits of a mapping.
constexpr uint8_t QxAccessRead = 1;
constexpr uint8_t QxAccessWrite = 2;

// A private file opened read-write, created new, and unlinked at once, so it is gone when closed or
// when the process dies. Raises EInOutError "Unable to create <name>".
class TQxTemporaryFileStream : public THandleStream {
 public:
  explicit TQxTemporaryFileStream(const std::string& FileName);
  ~TQxTemporaryFileStream() override;
  // Reserves Size bytes on disk; false when the space cannot be had (disk full).
  bool Reserve(int64_t Size);
};

class TQxFileBuffer {
 public:
  TQxFileBuffer() = default;
  TQxFileBuffer(const TQxFileBuffer&) = delete;
  TQxFileBuffer& operator=(const TQxFileBuffer&) = delete;
  ~TQxFileBuffer();

  bool IsAllocated() const { return FBackingStream != nullptr; }
  // A temporary file of Size bytes (space reserved on disk) or, without UseFile, a memory stream.
  // False when it cannot be created or sized.
  bool AllocateFile(const std::string& Prefix, bool UseFile, int64_t Size);
  void SetFileSize(int64_t Size);
  // A heap copy of Length bytes at Offset, read first when Access holds QxAccessRead; nullptr when the
  // memory cannot be had. Read errors raise.
  void* Map(uint8_t Access, int64_t Length, int64_t Offset);
  // Writes the copy back when it was mapped for writing, then frees it. A buffer that is not mapped here
  // is ignored.
  void Unmap(void* Buffer);
  int32_t IndexOfMapped(const void* Buffer) const;
  void UnmapAll();
  void Close();
  // Copies Length bytes at Offset into Dest's store at the same offset, 1 MB at a time.
  void CopyTo(TQxFileBuffer* Dest, int64_t Length, int64_t Offset);

  const std::string& FileName() const { return FFileName; }
  TStream* BackingStream() const { return FBackingStream.get(); }
  int32_t MappedCount() const { return static_cast<int32_t>(FMappedBlocks.size()); }
  // How many times Map ran, for measuring readers.
  int64_t MapCalls() const { return FMapCalls; }
  // Chunks moved by the last CopyTo.
  int32_t LastCopyChunks() const { return FLastCopyChunks; }

 private:
  struct TMappedBlock {
    int64_t Offset;
    int64_t Length;
    uint8_t* Buffer;
    uint8_t Access;
  };
  std::string FFileName;
  std::vector<TMappedBlock> FMappedBlocks;
  int64_t FMapCalls = 0;
  std::unique_ptr<TStream> FBackingStream;
  int32_t FLastCopyChunks = 0;
};

// Zero-filled; nullptr on failure.
void* QxGlobalAlloc(size_t Size);
void QxGlobalFree(void*& P);
// Blocks under 1 MB from the heap, larger ones from global memory; zero-filled unless Zeroed is false (for
// a caller that writes every byte); nullptr on failure.
void* QxAllocHybrid(size_t Size, bool Zeroed = true);
// Frees a block of QxAllocHybrid and sets P to nullptr. nullptr and blocks it did not hand out are
// ignored.
void QxFreeHybrid(void*& P);
// P becomes a heap block of Size bytes, or nullptr when memory is exhausted. Free with std::free.
void QxTryGetMem(void*& P, size_t Size);
// True when P came from QxAllocHybrid and is not yet freed.
bool QxIsHybridBlock(const void* P);
// 0 heap, 1 global memory, -1 unknown.
int QxHybridBlockKind(const void* P);
