#pragma once
// TQxVirtualImageList: many pictures kept out of working memory. Each picture is one block of a backing
// store (a temporary file or a memory stream) laid out like the single memory block of a TQxBitmap, so a
// mapped block can be drawn without copying; only a bounded number of blocks stay mapped at a time.
// Not thread-safe: the owner serialises every call.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/foundation/types.h"

class TQxBitmap;
class TQxFileBuffer;

// One stored picture; created and owned by its store, handed out as an opaque handle.
struct TQxVirtualImageInfo {
  int64_t Offset = 0;
  int64_t Size = 0;
  void* Block = nullptr;  // mapped copy of the block, nil when not mapped
  bool Locked = false;
  int32_t SourceWidth = 0, SourceHeight = 0;
  bool HasAlpha = false;
  uint8_t Access = 0;
  int32_t Width = 0, Height = 0;
  int32_t BitCount = 0;
  TQxPixelFormat PixelFormat = TQxPixelFormat::qxInvalid;
};

struct TQxLockedImage {
  TQxVirtualImageInfo* Info = nullptr;
  std::unique_ptr<TQxBitmap> Bitmap;
  int32_t LockCount = 0;
};

struct TQxFreeBlock {
  int64_t Offset = 0;
  int64_t Size = 0;
};

class TQxVirtualImageList {
 public:
  TQxVirtualImageList(const std::string& Name, bool UseFile);
  ~TQxVirtualImageList();
  TQxVirtualImageList(const TQxVirtualImageList&) = delete;
  TQxVirtualImageList& operator=(const TQxVirtualImageList&) = delete;

  // How many mapped blocks may stay mapped before the least recently used one is released.
  int32_t CacheSize = 10;

  // Copies Bitmap into a new block; nil when Bitmap is nil or empty, or no backing store could be had.
  TQxVirtualImageInfo* AddImage(TQxBitmap* Bitmap);
  TQxVirtualImageInfo* NewImageRecord(int32_t Width, int32_t Height, bool HasAlpha, TQxPixelFormat PixelFormat,
                                      int32_t BitCount);
  void DeleteImage(TQxVirtualImageInfo* Info);

  void ReadImage(TQxVirtualImageInfo* Info, TQxBitmap* Bitmap);
  void WriteImage(TQxVirtualImageInfo* Info, TQxBitmap* Bitmap);
  // A shared bitmap of the picture (one per record, counted); nil when the block cannot be mapped.
  TQxBitmap* GetBitmap(TQxVirtualImageInfo* Info);
  void ReleaseBitmap(TQxBitmap* Bitmap, bool WriteBack);
  void ReleaseRecordBitmap(TQxVirtualImageInfo* Info, bool WriteBack);

  int32_t ImageWidth(TQxVirtualImageInfo* Info);
  int32_t ImageHeight(TQxVirtualImageInfo* Info);
  TQxPixelFormat ImagePixelFormat(TQxVirtualImageInfo* Info);
  // Valid until the next call that maps, adds, reads, writes or deletes.
  void* PixelData(TQxVirtualImageInfo* Info);
  void* PaletteData(TQxVirtualImageInfo* Info);
  void* AlphaData(TQxVirtualImageInfo* Info);
  int32_t GetSourceWidth(TQxVirtualImageInfo* Info) const { return Info ? Info->SourceWidth : 0; }
  int32_t GetSourceHeight(TQxVirtualImageInfo* Info) const { return Info ? Info->SourceHeight : 0; }
  void SetSourceWidth(TQxVirtualImageInfo* Info, int32_t Value) {
    if (Info) Info->SourceWidth = Value;
  }
  void SetSourceHeight(TQxVirtualImageInfo* Info, int32_t Value) {
    if (Info) Info->SourceHeight = Value;
  }

  // ---- state, for owners and tests
  int32_t ImageCount() const { return static_cast<int32_t>(FImages.size()); }
  bool Contains(const TQxVirtualImageInfo* Info) const;
  int32_t MappedCount() const { return FMappedCount; }
  const std::vector<TQxVirtualImageInfo*>& Mapped() const { return FMapped; }
  const std::vector<TQxFreeBlock>& FreeBlocks() const { return FFreeBlocks; }
  int64_t FileSize() const { return FFileSize; }
  int64_t UsedEnd() const { return FUsedEnd; }
  int64_t GrowthStep() const { return FGrowthStep; }
  bool UseFile() const { return FUseFile; }
  const std::string& Name() const { return FName; }
  bool HasBackingStore() const;

  // Bytes of a block for that geometry.
  static int64_t BlockSize(int32_t Width, int32_t Height, bool HasAlpha, TQxPixelFormat PixelFormat,
                           int32_t BitCount);

 private:
  void Clear();
  void AllocateBackingStore();
  bool AllocateBlock(TQxVirtualImageInfo* Info, int32_t Width, int32_t Height, bool HasAlpha,
                     TQxPixelFormat PixelFormat, int32_t BitCount);
  void ReleaseImageAt(int32_t Index, bool Remove);
  void* MapImage(TQxVirtualImageInfo* Info, uint8_t Access);
  void UnmapImage(TQxVirtualImageInfo* Info);
  void UnmapOldest();
  void UnmapAll();
  void CopyIntoBlock(TQxVirtualImageInfo* Info, TQxBitmap* Bitmap);
  TQxLockedImage* FindLocked(const TQxVirtualImageInfo* Info);
  int32_t IndexOf(const TQxVirtualImageInfo* Info) const;

  std::unique_ptr<TQxFileBuffer> FBuffer;
  bool FUseFile;
  int64_t FFileSize;
  std::vector<TQxVirtualImageInfo*> FImages;
  std::vector<TQxVirtualImageInfo*> FMapped;
  std::vector<TQxFreeBlock> FFreeBlocks;
  int64_t FUsedEnd = 0;
  int64_t FGrowthStep = 262144;
  int32_t FMappedCount = 0;
  std::vector<std::unique_ptr<TQxLockedImage>> FLocked;
  int64_t FLastBlockSize = 0;
  std::string FName;
};
