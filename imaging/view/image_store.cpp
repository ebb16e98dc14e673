#include "imaging/view/image_store.h"

#include <algorithm>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/temp_storage.h"
#include "imaging/foundation/utils.h"

namespace {

constexpr int64_t kPaletteBytes = 768;

int64_t RowBytes(int32_t Width, int32_t Bits) { return QxRowBytes(Width, Bits, 32); }

}  // namespace

int64_t TQxVirtualImageList::BlockSize(int32_t Width, int32_t Height, bool HasAlpha, TQxPixelFormat PixelFormat,
                                       int32_t BitCount) {
  int64_t n = int64_t(Height) * RowBytes(Width, BitCount);
  if (HasAlpha) n += int64_t(Height) * RowBytes(Width, 8) + 1;
  if (PixelFormat == TQxPixelFormat::qx8p) n += kPaletteBytes;
  return n;
}

TQxVirtualImageList::TQxVirtualImageList(const std::string& Name, bool UseFile)
    : FBuffer(std::make_unique<TQxFileBuffer>()), FUseFile(UseFile), FName(Name) {
  FFileSize = FGrowthStep;
  AllocateBackingStore();
}

TQxVirtualImageList::~TQxVirtualImageList() { Clear(); }

bool TQxVirtualImageList::HasBackingStore() const { return FBuffer->IsAllocated(); }

bool TQxVirtualImageList::Contains(const TQxVirtualImageInfo* Info) const { return IndexOf(Info) >= 0; }

int32_t TQxVirtualImageList::IndexOf(const TQxVirtualImageInfo* Info) const {
  if (!Info) return -1;
  auto it = std::find(FImages.begin(), FImages.end(), Info);
  return it == FImages.end() ? -1 : int32_t(it - FImages.begin());
}

TQxLockedImage* TQxVirtualImageList::FindLocked(const TQxVirtualImageInfo* Info) {
  for (auto& l : FLocked)
    if (l->Info == Info) return l.get();
  return nullptr;
}

void TQxVirtualImageList::Clear() {
  for (int32_t i = 0; i < int32_t(FImages.size()); ++i) ReleaseImageAt(i, false);
  FImages.clear();
  FMapped.clear();
  FMappedCount = 0;
  FFreeBlocks.clear();
  FLocked.clear();
  FBuffer->Close();
  FUsedEnd = 0;
}

void TQxVirtualImageList::AllocateBackingStore() {
  if (FBuffer->IsAllocated()) {
    UnmapAll();
    try {
      FBuffer->SetFileSize(FFileSize);
    } catch (...) {
      // A store that cannot grow keeps what it has; blocks past its end read back as zeros.
    }
  } else {
    Clear();
    FBuffer->AllocateFile(FName, FUseFile, FFileSize);
  }
}

void* TQxVirtualImageList::MapImage(TQxVirtualImageInfo* Info, uint8_t Access) {
  if (Access != Info->Access) UnmapImage(Info);
  if (!Info->Block) {
    while (FMappedCount > CacheSize && !FMapped.empty()) UnmapOldest();
    Info->Block = FBuffer->Map(Access, Info->Size, Info->Offset);
    if (Info->Block) {
      ++FMappedCount;
      FMapped.push_back(Info);
    }
    Info->Access = Access;
  } else {
    auto it = std::find(FMapped.begin(), FMapped.end(), Info);
    if (it != FMapped.end()) {
      FMapped.erase(it);
      FMapped.push_back(Info);
    }
  }
  return Info->Block;
}

void TQxVirtualImageList::UnmapImage(TQxVirtualImageInfo* Info) {
  if (!Info->Block) return;
  FBuffer->Unmap(Info->Block);
  auto it = std::find(FMapped.begin(), FMapped.end(), Info);
  if (it != FMapped.end()) {
    FMapped.erase(it);
    --FMappedCount;
  }
  Info->Block = nullptr;
}

void TQxVirtualImageList::UnmapOldest() {
  if (!FMapped.empty()) UnmapImage(FMapped.front());
}

void TQxVirtualImageList::UnmapAll() {
  while (!FMapped.empty()) UnmapImage(FMapped.front());
}

bool TQxVirtualImageList::AllocateBlock(TQxVirtualImageInfo* Info, int32_t Width, int32_t Height, bool HasAlpha,
                                        TQxPixelFormat PixelFormat, int32_t BitCount) {
  const int64_t needed = BlockSize(Width, Height, HasAlpha, PixelFormat, BitCount);
  // Neighbours in list order that touch become one block.
  for (size_t i = 0; i + 1 < FFreeBlocks.size();) {
    if (FFreeBlocks[i].Offset + FFreeBlocks[i].Size == FFreeBlocks[i + 1].Offset) {
      FFreeBlocks[i].Size += FFreeBlocks[i + 1].Size;
      FFreeBlocks.erase(FFreeBlocks.begin() + int64_t(i) + 1);
    } else {
      ++i;
    }
  }
  bool placed = false;
  for (size_t i = 0; i < FFreeBlocks.size(); ++i) {
    if (FFreeBlocks[i].Size >= needed) {
      Info->Offset = FFreeBlocks[i].Offset;
      if (FFreeBlocks[i].Size == needed) {
        FFreeBlocks.erase(FFreeBlocks.begin() + int64_t(i));
      } else {
        FFreeBlocks[i].Offset += needed;
        FFreeBlocks[i].Size -= needed;
      }
      placed = true;
      break;
    }
  }
  if (!placed) {
    if (FGrowthStep < needed) FGrowthStep = needed + FLastBlockSize;
    FLastBlockSize = needed;
    Info->Offset = FUsedEnd;
    if (FUsedEnd + needed > FFileSize) {
      // The step may still be short when free blocks sit at the end; grow until the block fits.
      while (FUsedEnd + needed > FFileSize) FFileSize += FGrowthStep;
      AllocateBackingStore();
    }
    FUsedEnd += needed;
  }
  Info->Size = needed;
  Info->Block = nullptr;
  Info->Locked = false;
  Info->SourceWidth = Width;
  Info->SourceHeight = Height;
  Info->HasAlpha = HasAlpha;
  Info->Access = 2;
  Info->Width = Width;
  Info->Height = Height;
  Info->BitCount = BitCount;
  Info->PixelFormat = PixelFormat;
  MapImage(Info, QxAccessWrite);
  return true;
}

TQxVirtualImageInfo* TQxVirtualImageList::NewImageRecord(int32_t Width, int32_t Height, bool HasAlpha,
                                                         TQxPixelFormat PixelFormat, int32_t BitCount) {
  auto info = std::make_unique<TQxVirtualImageInfo>();
  if (!AllocateBlock(info.get(), Width, Height, HasAlpha, PixelFormat, BitCount)) return nullptr;
  FImages.push_back(info.get());
  return info.release();
}

void TQxVirtualImageList::CopyIntoBlock(TQxVirtualImageInfo* Info, TQxBitmap* Bitmap) {
  auto* p = static_cast<uint8_t*>(Info->Block);
  if (!p) return;
  const int64_t rb = RowBytes(Info->Width, Info->BitCount);
  const int64_t have = std::min<int64_t>(rb, Bitmap->RowLen());
  for (int32_t y = Info->Height - 1; y >= 0; --y) {
    std::memcpy(p, Bitmap->Scanline(y), size_t(have));
    if (have < rb) std::memset(p + have, 0, size_t(rb - have));
    p += rb;
  }
  if (Info->PixelFormat == TQxPixelFormat::qx8p) {
    std::memset(p, 0, kPaletteBytes);
    const int32_t n = std::min(Bitmap->PaletteLength(), 256);
    if (n > 0) std::memcpy(p, Bitmap->Palette(), size_t(n) * sizeof(TQxRGB));
    p += kPaletteBytes;
  }
  if (Info->HasAlpha) {
    TQxBitmap* a = Bitmap->GetAlphaChannel();
    *p++ = a->Opaque ? 1 : 0;
    const int64_t arb = RowBytes(Info->Width, 8);
    const int64_t ahave = std::min<int64_t>(arb, a->RowLen());
    for (int32_t y = Info->Height - 1; y >= 0; --y) {
      std::memcpy(p, a->Scanline(y), size_t(ahave));
      if (ahave < arb) std::memset(p + ahave, 0, size_t(arb - ahave));
      p += arb;
    }
  }
}

TQxVirtualImageInfo* TQxVirtualImageList::AddImage(TQxBitmap* Bitmap) {
  if (!Bitmap || Bitmap->Width() <= 0 || Bitmap->Height() <= 0 || !FBuffer->IsAllocated()) return nullptr;
  TQxVirtualImageInfo* info = NewImageRecord(Bitmap->Width(), Bitmap->Height(), Bitmap->HasAlphaChannel(),
                                             Bitmap->PixelFormat(), Bitmap->BitCount());
  if (info) CopyIntoBlock(info, Bitmap);
  return info;
}

void TQxVirtualImageList::ReleaseImageAt(int32_t Index, bool Remove) {
  TQxVirtualImageInfo* info = FImages[size_t(Index)];
  for (auto it = FLocked.begin(); it != FLocked.end(); ++it) {
    if ((*it)->Info == info) {
      FLocked.erase(it);
      break;
    }
  }
  UnmapImage(info);
  delete info;
  if (Remove) FImages.erase(FImages.begin() + Index);
}

void TQxVirtualImageList::DeleteImage(TQxVirtualImageInfo* Info) {
  const int32_t idx = IndexOf(Info);
  if (idx < 0) return;
  FFreeBlocks.push_back(TQxFreeBlock{Info->Offset, Info->Size});
  ReleaseImageAt(idx, true);
  if (FImages.empty()) {
    FFreeBlocks.clear();
    FFileSize = FGrowthStep;
    FUsedEnd = 0;
    AllocateBackingStore();
  }
}

void TQxVirtualImageList::ReadImage(TQxVirtualImageInfo* Info, TQxBitmap* Bitmap) {
  if (!Bitmap || !Contains(Info)) return;
  auto* p = static_cast<const uint8_t*>(MapImage(Info, QxAccessRead));
  if (!p) return;
  if (Bitmap->PixelFormat() != Info->PixelFormat || Bitmap->Width() != Info->Width ||
      Bitmap->Height() != Info->Height) {
    if (!Bitmap->Allocate(Info->Width, Info->Height, Info->PixelFormat)) return;
  }
  const int64_t rb = RowBytes(Info->Width, Info->BitCount);
  const int64_t have = std::min<int64_t>(rb, Bitmap->RowLen());
  for (int32_t i = 0; i < Info->Height; ++i) {
    std::memcpy(Bitmap->Scanline(Info->Height - 1 - i), p, size_t(have));
    p += rb;
  }
  if (Info->PixelFormat == TQxPixelFormat::qx8p) {
    const auto* pal = reinterpret_cast<const TQxRGB*>(p);
    for (int32_t i = 0; i < 256; ++i) Bitmap->SetPaletteColor(i, pal[i]);
    p += kPaletteBytes;
  }
  if (!Info->HasAlpha || *p != 0) {
    Bitmap->RemoveAlphaChannel(false);
    return;
  }
  ++p;
  TQxBitmap* a = Bitmap->GetAlphaChannel();
  a->Opaque = false;
  const int64_t arb = RowBytes(Info->Width, 8);
  const int64_t ahave = std::min<int64_t>(arb, a->RowLen());
  for (int32_t i = 0; i < Info->Height; ++i) {
    std::memcpy(a->Scanline(Info->Height - 1 - i), p, size_t(ahave));
    p += arb;
  }
}

void TQxVirtualImageList::WriteImage(TQxVirtualImageInfo* Info, TQxBitmap* Bitmap) {
  if (!Bitmap || !Contains(Info)) return;
  if (!MapImage(Info, QxAccessRead | QxAccessWrite)) return;
  if (Bitmap->Width() != Info->Width || Bitmap->Height() != Info->Height || Bitmap->BitCount() != Info->BitCount ||
      Bitmap->PixelFormat() != Info->PixelFormat || Bitmap->HasAlphaChannel() != Info->HasAlpha) {
    FFreeBlocks.push_back(TQxFreeBlock{Info->Offset, Info->Size});
    UnmapImage(Info);
    const bool locked = Info->Locked;
    AllocateBlock(Info, Bitmap->Width(), Bitmap->Height(), Bitmap->HasAlphaChannel(), Bitmap->PixelFormat(),
                  Bitmap->BitCount());
    Info->Locked = locked;
  }
  CopyIntoBlock(Info, Bitmap);
}

TQxBitmap* TQxVirtualImageList::GetBitmap(TQxVirtualImageInfo* Info) {
  if (!Contains(Info)) return nullptr;
  if (!MapImage(Info, QxAccessRead)) return nullptr;
  TQxLockedImage* l = FindLocked(Info);
  if (!l) {
    auto entry = std::make_unique<TQxLockedImage>();
    entry->Info = Info;
    entry->Bitmap = std::make_unique<TQxBitmap>();
    entry->Bitmap->SetLocation(TQxLocation::qxMemory);
    entry->LockCount = 1;
    ReadImage(Info, entry->Bitmap.get());
    l = entry.get();
    FLocked.push_back(std::move(entry));
  } else {
    ++l->LockCount;
  }
  Info->Locked = true;
  return l->Bitmap.get();
}

void TQxVirtualImageList::ReleaseBitmap(TQxBitmap* Bitmap, bool WriteBack) {
  if (!Bitmap) return;
  if (Bitmap->Location() == TQxLocation::qxTBitmap) Bitmap->SyncFromTBitmap();
  for (auto it = FLocked.begin(); it != FLocked.end(); ++it) {
    if ((*it)->Bitmap.get() != Bitmap) continue;
    TQxLockedImage* l = it->get();
    --l->LockCount;
    if (WriteBack) WriteImage(l->Info, Bitmap);
    if (l->LockCount <= 0) {
      l->Info->Locked = false;
      FLocked.erase(std::find_if(FLocked.begin(), FLocked.end(), [l](auto& e) { return e.get() == l; }));
    }
    return;
  }
}

void TQxVirtualImageList::ReleaseRecordBitmap(TQxVirtualImageInfo* Info, bool WriteBack) {
  if (TQxLockedImage* l = FindLocked(Info)) ReleaseBitmap(l->Bitmap.get(), WriteBack);
}

int32_t TQxVirtualImageList::ImageWidth(TQxVirtualImageInfo* Info) {
  if (!Info) return 0;
  if (TQxLockedImage* l = FindLocked(Info)) return l->Bitmap->Width();
  return Info->Width;
}

int32_t TQxVirtualImageList::ImageHeight(TQxVirtualImageInfo* Info) {
  if (!Info) return 0;
  if (TQxLockedImage* l = FindLocked(Info)) return l->Bitmap->Height();
  return Info->Height;
}

TQxPixelFormat TQxVirtualImageList::ImagePixelFormat(TQxVirtualImageInfo* Info) {
  if (!Info) return TQxPixelFormat::qxInvalid;
  if (TQxLockedImage* l = FindLocked(Info)) return l->Bitmap->PixelFormat();
  return Info->PixelFormat;
}

void* TQxVirtualImageList::PixelData(TQxVirtualImageInfo* Info) {
  if (!Contains(Info)) return nullptr;
  if (TQxLockedImage* l = FindLocked(Info)) {
    TQxBitmap* b = l->Bitmap.get();
    return b->Height() > 0 ? b->Scanline(b->Height() - 1) : nullptr;
  }
  return MapImage(Info, QxAccessRead);
}

void* TQxVirtualImageList::PaletteData(TQxVirtualImageInfo* Info) {
  if (!Contains(Info)) return nullptr;
  if (TQxLockedImage* l = FindLocked(Info)) return l->Bitmap->Palette();
  auto* p = static_cast<uint8_t*>(MapImage(Info, QxAccessRead));
  if (!p) return nullptr;
  return p + int64_t(Info->Height) * RowBytes(Info->Width, Info->BitCount);
}

void* TQxVirtualImageList::AlphaData(TQxVirtualImageInfo* Info) {
  if (!Contains(Info) || !Info->HasAlpha) return nullptr;
  if (TQxLockedImage* l = FindLocked(Info)) {
    TQxBitmap* b = l->Bitmap.get();
    if (!b->HasAlphaChannel()) return nullptr;
    TQxBitmap* a = b->GetAlphaChannel();
    return a->Height() > 0 ? a->Scanline(a->Height() - 1) : nullptr;
  }
  auto* p = static_cast<uint8_t*>(MapImage(Info, QxAccessRead));
  if (!p) return nullptr;
  p += int64_t(Info->Height) * RowBytes(Info->Width, Info->BitCount);
  if (Info->PixelFormat == TQxPixelFormat::qx8p) p += kPaletteBytes;
  return *p == 0 ? p + 1 : nullptr;
}
