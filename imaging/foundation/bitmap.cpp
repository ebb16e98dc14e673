#include "imaging/foundation/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <cstring>
#include <limits>

#include "imaging/foundation/mask.h"
#include "imaging/foundation/pixel_convert.h"
#include "imaging/foundation/temp_storage.h"
#include "platform/base/numeric.h"
#include "platform/base/parallel.h"
#include "platform/base/streams.h"
#include "platform/base/system.h"
#include "platform/graphics/bitmap.h"

int64_t QxMemoryThresholdOverride = -1;
bool QxFileFallback = true;
bool QxAllowFragments = true;

namespace {

constexpr int64_t kDefaultThreshold = 33554432;  // 32 MB
constexpr int64_t kFragmentFloor = 10485760;      // 10 MB

int64_t RowBytes64(int64_t Width, int64_t Bits, int64_t Align) {
  if (Align == 32) return ((Width * Bits + 31) >> 5) << 2;
  return ((Width * Bits + Align - 1) / Align) * (Align / 8);
}

// The one-block store: 0 heap, 1 zero-filled, 2 hybrid (zero-filled when Zeroed).
void* AllocBlock(uint8_t Kind, size_t Size, bool Zeroed) {
  switch (Kind) {
    case 0:
      return std::malloc(Size);
    case 1:
      return QxGlobalAlloc(Size);
    default:
      return QxAllocHybrid(Size, Zeroed);
  }
}

void FreeBlock(uint8_t Kind, void* P) {
  if (!P) return;
  switch (Kind) {
    case 0:
      std::free(P);
      break;
    case 1:
      QxGlobalFree(P);
      break;
    default:
      QxFreeHybrid(P);
      break;
  }
}

// Little-endian field writer and checked reader of the raw stream.
struct RawWriter {
  std::vector<uint8_t> bytes;
  template <typename T>
  void Put(T v) {
    uint8_t b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    bytes.insert(bytes.end(), b, b + sizeof(T));
  }
};

template <typename T>
bool ReadValue(TStream* S, T& v) {
  return S->Read(&v, sizeof(T)) == static_cast<int64_t>(sizeof(T));
}

}  // namespace

// ---------------------------------------------------------------- construction

TQxBitmap::TQxBitmap() : fileBuffer_(std::make_unique<TQxFileBuffer>()) {
  if (QxMemoryThresholdOverride == -1) {
    // Physical memory does not change while the program runs; asking once keeps temporaries cheap.
    static const int64_t physical = PhysicalMemory(false);
    MemoryThreshold = static_cast<int64_t>(Trunc(static_cast<double>(physical) / 1.3));
    if (MemoryThreshold == 0) MemoryThreshold = kDefaultThreshold;
  } else {
    MemoryThreshold = QxMemoryThresholdOverride;
  }
}

TQxBitmap::TQxBitmap(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat) : TQxBitmap() {
  Allocate(AWidth, AHeight, AFormat);
}

TQxBitmap::~TQxBitmap() {
  try {
    FreeImage(true);
  } catch (...) {
  }
}

std::unique_ptr<TQxBitmap> TQxBitmap::CreateAlpha(int32_t AWidth, int32_t AHeight, TQxLocation ALocation,
                                                  bool Filled) {
  auto a = std::make_unique<TQxBitmap>();
  a->isAlphaChannel_ = true;
  a->location_ = ALocation == TQxLocation::qxTBitmap ? TQxLocation::qxMemory : ALocation;
  // The fill writes every byte, so the storage is not zeroed before it.
  a->AllocateUninitialised(AWidth, AHeight, TQxPixelFormat::qx8g);
  if (Filled) {
    a->Fill(255);
  } else if (!a->MapsRows() && a->rowLength_ > AWidth) {
    // Row padding as a filled channel has it.
    const size_t Pad = size_t(a->rowLength_ - AWidth);
    for (int32_t y = 0; y < a->height_; ++y) std::memset(a->StorageRow(y) + AWidth, 255, Pad);
  }
  return a;
}

// ---------------------------------------------------------------- size and format

int32_t TQxBitmap::BitCount() {
  if (location_ == TQxLocation::qxTBitmap) SyncFromTBitmap();
  return bitsPerPixel_;
}
int32_t TQxBitmap::Height() {
  if (location_ == TQxLocation::qxTBitmap) SyncFromTBitmap();
  return height_;
}
int32_t TQxBitmap::Width() {
  if (location_ == TQxLocation::qxTBitmap) SyncFromTBitmap();
  return width_;
}
TQxPixelFormat TQxBitmap::PixelFormat() {
  if (location_ == TQxLocation::qxTBitmap) SyncFromTBitmap();
  return format_;
}
int32_t TQxBitmap::RowLen() {
  if (location_ == TQxLocation::qxTBitmap) SyncFromTBitmap();
  return rowLength_;
}
int32_t TQxBitmap::GetChannelCount() {
  if (location_ == TQxLocation::qxTBitmap) SyncFromTBitmap();
  return channelCount_;
}

bool TQxBitmap::IsEmpty() { return width_ == 0 || height_ == 0 || rowLength_ == 0 || bitsPerPixel_ == 0; }

void TQxBitmap::SetFormatFields(TQxPixelFormat AFormat) {
  format_ = AFormat;
  int idx = static_cast<int>(AFormat);
  if (idx < 0 || idx >= QxPixelFormatCount) idx = 0;
  bitsPerPixel_ = QxPixelFormatBits[idx];
  channelCount_ = QxPixelFormatChannels[idx];
  int64_t rl = RowBytes64(width_, bitsPerPixel_, rowAlignment_);
  rowLength_ = rl > std::numeric_limits<int32_t>::max() ? 0 : static_cast<int32_t>(rl);
}

// ---------------------------------------------------------------- storage

bool TQxBitmap::Allocate(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat) {
  return AllocateWith(AWidth, AHeight, AFormat, true);
}

bool TQxBitmap::AllocateUninitialised(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat) {
  return AllocateWith(AWidth, AHeight, AFormat, false);
}

bool TQxBitmap::AllocateWith(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat, bool Initialise) {
  // Lent or borrowed rows are not reused: the caller is about to write them.
  if (!Reallocate && AWidth == width_ && AHeight == height_ && AFormat == format_ && !IsEmpty() && !table_ &&
      !lent_.load(std::memory_order_acquire))
    return true;
  if (location_ == TQxLocation::qxTBitmap && vclBitmapNotOwned_) {
    // The caller's TBitmap is reused; only the alpha channel goes.
    alpha_.reset();
    palette_.clear();
  } else {
    FreeImage(true);
  }
  width_ = AWidth;
  height_ = AHeight;
  format_ = AFormat;
  bool ok = AllocateStorage(Initialise);
  if (!ok) {
    width_ = 0;
    height_ = 0;
    rowLength_ = 0;
    bitsPerPixel_ = 0;
    channelCount_ = 0;
    palette_.clear();
  }
  Reallocate = false;
  return ok;
}

bool TQxBitmap::AllocateStorage(bool Initialise) {
  table_.reset();
  if (width_ < 1 || height_ < 1 || format_ == TQxPixelFormat::qxInvalid ||
      static_cast<int>(format_) >= QxPixelFormatCount)
    return false;
  // Zero-filled so that an unset palette reads as black rather than stale memory.
  if (format_ == TQxPixelFormat::qx8p) palette_.assign(256, TQxRGB{0, 0, 0});
  SetFormatFields(format_);
  if (rowLength_ == 0) return false;
  const uint64_t size = static_cast<uint64_t>(rowLength_) * static_cast<uint64_t>(height_);

  if (location_ == TQxLocation::qxFile && static_cast<int64_t>(size) < MemoryThreshold)
    location_ = TQxLocation::qxMemory;
  else if (location_ == TQxLocation::qxMemory && static_cast<int64_t>(size) > MemoryThreshold)
    location_ = TQxLocation::qxFile;

  if (location_ == TQxLocation::qxFile) {
    if (!AllocateFile(size)) location_ = TQxLocation::qxMemory;
  }
  if (location_ == TQxLocation::qxMemory) {
    if (!AllocateMemoryBlock(size, Initialise)) {
      if (!(QxAllowFragments && AllocateFragments())) {
        if (!QxFileFallback) return false;
        location_ = TQxLocation::qxFile;
        if (!AllocateFile(size)) return false;
      }
    } else if (!Initialise) {
      // The caller writes every pixel, not the bytes that pad a row (nor the unused bits of a packed last
      // byte): they read as zero, as in a filled block.
      const size_t From = static_cast<size_t>((static_cast<int64_t>(width_) * bitsPerPixel_) / 8);
      if (From < static_cast<size_t>(rowLength_)) {
        const size_t Pad = static_cast<size_t>(rowLength_) - From;
        ParallelBands(0, height_, 256, [&](int32_t First, int32_t Last) {
          for (int32_t y = First; y < Last; ++y) std::memset(StorageRow(y) + From, 0, Pad);
        });
      }
    }
  }
  if (location_ == TQxLocation::qxTBitmap) {
    if (!AllocateTBitmap(size, Initialise)) return false;
  }
  Opaque = false;
  return true;
}

bool TQxBitmap::AllocateMemoryBlock(uint64_t Size, bool Initialise) {
  if (Size > std::numeric_limits<size_t>::max() - 128) return false;
  void* raw = AllocBlock(AllocatorKind, static_cast<size_t>(Size) + 128, Initialise);
  if (!raw) return false;
  memoryRaw_ = raw;
  memoryRawKind_ = AllocatorKind;
  uintptr_t p = reinterpret_cast<uintptr_t>(raw);
  memoryAligned_ = reinterpret_cast<uint8_t*>((p + 63) & ~uintptr_t(63));
  memoryNotOwned_ = false;
  return true;
}

bool TQxBitmap::AllocateFragments() {
  int64_t count = 4;
  while (count < height_) {
    int64_t rows = (height_ + count - 1) / count;
    int64_t fragSize = static_cast<int64_t>(rowLength_) * rows;
    if (fragSize < kFragmentFloor && count > 4) return false;
    std::vector<uint8_t*> frags(static_cast<size_t>(count), nullptr);
    bool ok = true;
    for (auto& f : frags) {
      f = static_cast<uint8_t*>(QxGlobalAlloc(static_cast<size_t>(fragSize)));
      if (!f) {
        ok = false;
        break;
      }
    }
    if (ok) {
      fragments_ = std::move(frags);
      rowsPerFragment_ = static_cast<int32_t>(rows);
      return true;
    }
    for (auto& f : frags) {
      void* v = f;
      QxGlobalFree(v);
    }
    count *= 2;
  }
  return false;
}

bool TQxBitmap::AllocateFile(uint64_t Size) {
  if (!fileBuffer_) fileBuffer_ = std::make_unique<TQxFileBuffer>();
  try {
    return fileBuffer_->AllocateFile("IMG", true, static_cast<int64_t>(Size));
  } catch (...) {
    return false;
  }
}

void TQxBitmap::FreeImage(bool FreeAlpha) {
  if (FreeAlpha) alpha_.reset();
  palette_.clear();
  ReleaseMappedRows();
  if (fileBuffer_) fileBuffer_->Close();
  // A lent block goes when its last borrower lets it go.
  if (blockHold_)
    blockHold_.reset();
  else if (memoryRaw_ && !memoryNotOwned_)
    FreeBlock(memoryRawKind_, memoryRaw_);
  lent_.store(false, std::memory_order_release);
  table_.reset();
  memoryRaw_ = nullptr;
  memoryAligned_ = nullptr;
  FreeVclBitmap();
  for (auto& f : fragments_) {
    void* v = f;
    QxGlobalFree(v);
  }
  fragments_.clear();
  rowsPerFragment_ = 0;
  width_ = height_ = rowLength_ = bitsPerPixel_ = channelCount_ = 0;
  Opaque = false;
  vclBitmapNotOwned_ = false;
  memoryNotOwned_ = false;
}

void TQxBitmap::AttachMemory(void* Buffer, int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat, bool FreeOld,
                             uint8_t AOrigin) {
  if (FreeOld) FreeImage(true);
  if (!Buffer) return;
  table_.reset();
  blockHold_.reset();
  lent_.store(false, std::memory_order_release);
  width_ = AWidth;
  height_ = AHeight;
  SetFormatFields(AFormat);
  location_ = TQxLocation::qxMemory;
  memoryNotOwned_ = true;
  memoryRaw_ = Buffer;
  memoryAligned_ = static_cast<uint8_t*>(Buffer);
  Origin = AOrigin;
  if (format_ == TQxPixelFormat::qx8p && palette_.empty()) palette_.assign(256, TQxRGB{0, 0, 0});
}

void TQxBitmap::DescribeRowsMadeOnDemand(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat) {
  FreeImage(true);
  location_ = TQxLocation::qxFile;  // no file behind it: the base Scanline has no rows to give
  width_ = std::max(AWidth, 0);
  height_ = std::max(AHeight, 0);
  SetFormatFields(AFormat);
  Reallocate = false;
}

void TQxBitmap::MoveStorageTo(TQxBitmap* Dest) {
  if (!Dest || Dest == this) return;
  Dest->FreeImage(true);
  Dest->width_ = width_;
  Dest->height_ = height_;
  Dest->bitsPerPixel_ = bitsPerPixel_;
  Dest->channelCount_ = channelCount_;
  Dest->rowLength_ = rowLength_;
  Dest->format_ = format_;
  Dest->palette_ = std::move(palette_);
  Dest->alpha_ = std::move(alpha_);
  Dest->isAlphaChannel_ = isAlphaChannel_;
  Dest->memoryRaw_ = memoryRaw_;
  Dest->memoryAligned_ = memoryAligned_;
  Dest->memoryRawKind_ = memoryRawKind_;
  Dest->vclBitmap_ = vclBitmap_;
  Dest->vclRowTable_ = std::move(vclRowTable_);
  Dest->location_ = location_;
  Dest->Opaque = Opaque;
  Dest->vclBitmapNotOwned_ = vclBitmapNotOwned_;
  Dest->memoryNotOwned_ = memoryNotOwned_;
  Dest->fragments_ = std::move(fragments_);
  Dest->rowsPerFragment_ = rowsPerFragment_;
  Dest->table_ = std::move(table_);
  Dest->blockHold_ = std::move(blockHold_);
  Dest->lent_.store(lent_.load(std::memory_order_acquire), std::memory_order_release);
  lent_.store(false, std::memory_order_release);
  Dest->Origin = Origin;
  Dest->mappedRow_ = mappedRow_;
  Dest->mappedRowIndex_ = mappedRowIndex_;
  Dest->mappedAccess_ = mappedAccess_;
  Dest->fileBuffer_ = std::move(fileBuffer_);
  Dest->lockedBuffers_ = std::move(lockedBuffers_);
  Dest->lockedRows_ = std::move(lockedRows_);
  Dest->BWConversion = BWConversion;
  Dest->rowAlignment_ = rowAlignment_;
  Dest->AllocatorKind = AllocatorKind;

  width_ = height_ = bitsPerPixel_ = channelCount_ = rowLength_ = 0;
  format_ = TQxPixelFormat::qxInvalid;
  palette_.clear();
  alpha_.reset();
  memoryRaw_ = nullptr;
  memoryAligned_ = nullptr;
  vclBitmap_ = nullptr;
  vclRowTable_.clear();
  fragments_.clear();
  rowsPerFragment_ = 0;
  mappedRow_ = nullptr;
  mappedRowIndex_ = -1;
  fileBuffer_ = std::make_unique<TQxFileBuffer>();
  lockedBuffers_.clear();
  lockedRows_.clear();
  Opaque = false;
  vclBitmapNotOwned_ = false;
  memoryNotOwned_ = false;
  Origin = 0;
  Reallocate = true;
}

void TQxBitmap::CopyRowsFrom(TQxBitmap* Source) {
  const int32_t rows = std::min(height_, Source->height_);
  const int32_t len = std::min(rowLength_, Source->rowLength_);
  if (len <= 0) return;
  if (location_ == TQxLocation::qxFile && Source->location_ == TQxLocation::qxFile) {
    // Two mapped rows of different bitmaps may be alive at once.
    for (int32_t y = 0; y < rows; ++y) std::memcpy(Scanline(y), Source->Scanline(y), static_cast<size_t>(len));
    return;
  }
  for (int32_t y = 0; y < rows; ++y) std::memcpy(Scanline(y), Source->Scanline(y), static_cast<size_t>(len));
}

void TQxBitmap::SetLocation(TQxLocation ALocation) {
  if (ALocation == location_) return;
  MakeRowsOwn();
  Reallocate = true;
  TQxBitmap tmp;
  const TQxLocation old = location_;
  const uint8_t oldOrigin = Origin;
  MoveStorageTo(&tmp);
  location_ = ALocation;
  const bool allocated = Allocate(tmp.width_, tmp.height_, tmp.format_);
  if (location_ == old || (!allocated && tmp.width_ > 0)) {
    // Nowhere else to go: keep the storage as it was.
    tmp.MoveStorageTo(this);
    location_ = old;
    return;
  }
  Origin = oldOrigin;
  tmp.Origin = oldOrigin;
  const uint8_t srcMode = tmp.AccessMode, dstMode = AccessMode;
  tmp.AccessMode = 1;
  AccessMode = 2;
  CopyRowsFrom(&tmp);
  tmp.AccessMode = srcMode;
  AccessMode = dstMode;
  const size_t n = std::min(palette_.size(), tmp.palette_.size());
  std::copy_n(tmp.palette_.begin(), n, palette_.begin());
  UpdateVclPalette();
  isAlphaChannel_ = tmp.isAlphaChannel_;
  alpha_ = std::move(tmp.alpha_);
  Opaque = false;
}

void TQxBitmap::SetRowAlignment(int32_t Bits) {
  if (Bits == rowAlignment_) return;
  if (Bits < 8 || Bits % 8 != 0) return;
  Reallocate = true;
  if (IsEmpty() && location_ != TQxLocation::qxTBitmap) {
    // Nothing laid out yet: the next allocation uses the new alignment wherever it lands.
    rowAlignment_ = Bits;
    return;
  }
  if (location_ != TQxLocation::qxMemory) return;
  MakeRowsOwn();
  TQxBitmap tmp;
  MoveStorageTo(&tmp);
  rowAlignment_ = Bits;
  Allocate(tmp.width_, tmp.height_, tmp.format_);
  Origin = tmp.Origin;
  CopyRowsFrom(&tmp);
  palette_ = tmp.palette_;
  if (tmp.alpha_) GetAlphaChannel()->AssignFrom(tmp.alpha_.get());
  Opaque = tmp.Opaque;
}

// ---------------------------------------------------------------- rows

uint8_t* TQxBitmap::StorageRow(int32_t Row) {
  if (table_) return Row < 0 || Row >= height_ ? nullptr : table_->rows[size_t(Row)];
  if (!fragments_.empty()) {
    return fragments_[static_cast<size_t>(Row / rowsPerFragment_)] +
           static_cast<int64_t>(Row % rowsPerFragment_) * rowLength_;
  }
  switch (location_) {
    case TQxLocation::qxMemory:
      if (!memoryAligned_) return nullptr;
      return memoryAligned_ + static_cast<int64_t>(rowLength_) * (height_ - Row - 1);
    case TQxLocation::qxTBitmap:
      if (Row < 0 || static_cast<size_t>(Row) >= vclRowTable_.size()) return nullptr;
      return vclRowTable_[static_cast<size_t>(Row)];
    case TQxLocation::qxFile:
      break;
  }
  return nullptr;
}

uint8_t* TQxBitmap::MapRow(int32_t Row) {
  if (!fileBuffer_ || !fileBuffer_->IsAllocated()) return nullptr;
  return static_cast<uint8_t*>(
      fileBuffer_->Map(AccessMode, rowLength_, static_cast<int64_t>(Row) * static_cast<int64_t>(rowLength_)));
}

void TQxBitmap::ReleaseRow(uint8_t* Buffer, int32_t) {
  if (Buffer && fileBuffer_) fileBuffer_->Unmap(Buffer);
}

uint8_t* TQxBitmap::Scanline(int32_t Row) {
  if (Origin == 1) Row = height_ - Row - 1;
  if (table_) {
    if (Row < 0 || Row >= height_) return nullptr;
    if ((AccessMode & 2) && !table_->own[size_t(Row)]) return OwnRow(Row);
    return table_->rows[size_t(Row)];
  }
  if ((AccessMode & 2) && lent_.load(std::memory_order_acquire)) StopLending();
  if (MapsRows()) {
    // The row already mapped the same way is handed out again: pixel-by-pixel readers ask for one row
    // many times, and each mapping reads the row from the file.
    if (mappedRow_ && mappedRowIndex_ == Row && mappedAccess_ == AccessMode) return mappedRow_;
    if (mappedRow_) {
      ReleaseRow(mappedRow_, mappedRowIndex_);
      mappedRow_ = nullptr;
      mappedRowIndex_ = -1;
    }
    mappedRow_ = MapRow(Row);
    mappedRowIndex_ = mappedRow_ ? Row : -1;
    mappedAccess_ = AccessMode;
    return mappedRow_;
  }
  return StorageRow(Row);
}

uint8_t* TQxBitmap::LockRow(int32_t Row) {
  if (table_) {
    if (Row < 0 || Row >= height_) return nullptr;
    if ((AccessMode & 2) && !table_->own[size_t(Row)]) return OwnRow(Row);
    return table_->rows[size_t(Row)];
  }
  if ((AccessMode & 2) && lent_.load(std::memory_order_acquire)) StopLending();
  if (MapsRows()) {
    if (mappedRow_) {
      ReleaseRow(mappedRow_, mappedRowIndex_);
      mappedRow_ = nullptr;
      mappedRowIndex_ = -1;
    }
    uint8_t* buf = MapRow(Row);
    if (buf) {
      lockedBuffers_.push_back(buf);
      lockedRows_.push_back(Row);
    }
    return buf;
  }
  return StorageRow(Row);
}

void TQxBitmap::UnlockRow(int32_t Row) {
  if (location_ != TQxLocation::qxFile) return;
  // A copy of the row mapped since the lock would hide (or, written back later, undo) what the lock wrote.
  if (mappedRow_ && mappedRowIndex_ == Row) {
    ReleaseRow(mappedRow_, mappedRowIndex_);
    mappedRow_ = nullptr;
    mappedRowIndex_ = -1;
  }
  for (size_t i = 0; i < lockedRows_.size(); ++i) {
    if (lockedRows_[i] == Row) {
      ReleaseRow(lockedBuffers_[i], Row);
      lockedBuffers_.erase(lockedBuffers_.begin() + static_cast<ptrdiff_t>(i));
      lockedRows_.erase(lockedRows_.begin() + static_cast<ptrdiff_t>(i));
      return;
    }
  }
}

void TQxBitmap::ReleaseMappedRows() {
  if (mappedRow_) ReleaseRow(mappedRow_, mappedRowIndex_);
  mappedRow_ = nullptr;
  mappedRowIndex_ = -1;
  for (size_t i = lockedBuffers_.size(); i-- > 0;) ReleaseRow(lockedBuffers_[i], lockedRows_[i]);
  lockedBuffers_.clear();
  lockedRows_.clear();
}

// ---------------------------------------------------------------- rows lent by other bitmaps

const uint8_t* TQxBitmap::ScanlineToRead(int32_t Row) {
  if (table_ || lent_.load(std::memory_order_acquire)) {
    if (Origin == 1) Row = height_ - Row - 1;
    return StorageRow(Row);
  }
  return Scanline(Row);
}

bool TQxBitmap::AllocateRowTable(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat) {
  // A caller's platform bitmap is let go, not resized: the rows live in the table from now on.
  FreeImage(true);
  if (AWidth < 1 || AHeight < 1 || AFormat == TQxPixelFormat::qxInvalid ||
      static_cast<int>(AFormat) >= QxPixelFormatCount)
    return false;
  width_ = AWidth;
  height_ = AHeight;
  SetFormatFields(AFormat);
  if (rowLength_ == 0) {
    width_ = height_ = 0;
    return false;
  }
  location_ = TQxLocation::qxMemory;
  Origin = 0;
  if (format_ == TQxPixelFormat::qx8p) palette_.assign(256, TQxRGB{0, 0, 0});
  table_ = std::make_unique<TRowTable>();
  table_->rows.assign(size_t(AHeight), nullptr);
  table_->own.assign(size_t(AHeight), 0);
  table_->single.resize(size_t(AHeight));
  table_->notOwn.store(AHeight);
  Reallocate = false;
  Opaque = false;
  return true;
}

bool TQxBitmap::CanLendRows() const {
  return !table_ && location_ == TQxLocation::qxMemory && fragments_.empty() && memoryRaw_ && memoryAligned_ &&
         !memoryNotOwned_;
}

bool TQxBitmap::LendRow(int32_t Row, TQxBitmap* Lender, int32_t LenderRow) {
  if (!table_ || Row < 0 || Row >= height_ || !Lender || Lender == this || !Lender->CanLendRows() ||
      Lender->format_ != format_ || Lender->width_ != width_ || Lender->rowLength_ != rowLength_ ||
      LenderRow < 0 || LenderRow >= Lender->height_)
    return false;
  if (!Lender->blockHold_) {
    const uint8_t Kind = Lender->memoryRawKind_;
    Lender->blockHold_ = std::shared_ptr<void>(Lender->memoryRaw_, [Kind](void* P) { FreeBlock(Kind, P); });
  }
  Lender->lent_.store(true, std::memory_order_release);
  table_->Hold(Lender->blockHold_);
  table_->Disown(Row);
  table_->rows[size_t(Row)] = Lender->StorageRow(Lender->Origin == 1 ? Lender->height_ - 1 - LenderRow : LenderRow);
  return true;
}

void TQxBitmap::ShareRow(int32_t Row, const std::shared_ptr<uint8_t[]>& Shared) {
  if (!table_ || Row < 0 || Row >= height_ || !Shared) return;
  table_->Hold(Shared);
  table_->Disown(Row);
  table_->rows[size_t(Row)] = Shared.get();
}

bool TQxBitmap::OwnRows(int32_t First, int32_t Last) {
  if (!table_) return false;
  First = std::max(First, 0);
  Last = std::min(Last, height_);
  if (First >= Last) return true;
  const size_t Len = size_t(rowLength_), N = size_t(Last - First);
  uint8_t* Raw = static_cast<uint8_t*>(AllocBlock(AllocatorKind, Len * N, false));
  if (!Raw) return false;
  const uint8_t Kind = AllocatorKind;
  // Every row taken anew: nothing lent or shared before is needed any longer.
  if (First == 0 && Last == height_) table_->holds.clear();
  table_->Hold(std::shared_ptr<void>(Raw, [Kind](void* P) { FreeBlock(Kind, P); }));
  // The bytes past the pixels read as zero, as in a block of the bitmap's own.
  const size_t From = static_cast<size_t>((static_cast<int64_t>(width_) * bitsPerPixel_) / 8);
  for (int32_t y = First; y < Last; ++y) {
    table_->Disown(y);
    uint8_t* R = Raw + Len * size_t(y - First);
    if (From < Len) std::memset(R + From, 0, Len - From);
    table_->rows[size_t(y)] = R;
    table_->own[size_t(y)] = 1;
    table_->notOwn.fetch_sub(1, std::memory_order_relaxed);
  }
  return true;
}

std::shared_ptr<uint8_t[]> TQxBitmap::MakeConstantRow(int32_t RowBytes, int32_t UsedBytes, const uint8_t* Pattern,
                                                      int32_t PatternLength) {
  RowBytes = std::max(RowBytes, 1);
  UsedBytes = std::clamp(UsedBytes, 0, RowBytes);
  std::shared_ptr<uint8_t[]> R(new uint8_t[size_t(RowBytes)]);
  std::memset(R.get(), 0, size_t(RowBytes));
  if (PatternLength == 1)
    std::memset(R.get(), Pattern[0], size_t(UsedBytes));
  else if (PatternLength > 1)
    for (int32_t i = 0; i < UsedBytes; ++i) R[size_t(i)] = Pattern[i % PatternLength];
  return R;
}

uint8_t* TQxBitmap::OwnRow(int32_t Row) {
  auto P = std::make_unique_for_overwrite<uint8_t[]>(size_t(rowLength_));
  const uint8_t* From = table_->rows[size_t(Row)];
  if (From)
    std::memcpy(P.get(), From, size_t(rowLength_));
  else
    std::memset(P.get(), 0, size_t(rowLength_));
  uint8_t* R = P.get();
  table_->single[size_t(Row)] = std::move(P);
  table_->rows[size_t(Row)] = R;
  table_->own[size_t(Row)] = 1;
  table_->notOwn.fetch_sub(1, std::memory_order_relaxed);
  return R;
}

bool TQxBitmap::MakeRowsOwn() {
  if (!table_) return true;
  const uint64_t Size = static_cast<uint64_t>(rowLength_) * static_cast<uint64_t>(height_);
  void* Raw = AllocBlock(AllocatorKind, static_cast<size_t>(Size) + 128, false);
  if (!Raw) return false;
  std::unique_ptr<TRowTable> T = std::move(table_);
  memoryRaw_ = Raw;
  memoryRawKind_ = AllocatorKind;
  memoryAligned_ = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(Raw) + 63) & ~uintptr_t(63));
  memoryNotOwned_ = false;
  location_ = TQxLocation::qxMemory;
  ParallelBands(0, height_, 64, [&](int32_t First, int32_t Last) {
    for (int32_t y = First; y < Last; ++y) {
      const uint8_t* From = T->rows[size_t(y)];
      if (From)
        std::memcpy(StorageRow(y), From, size_t(rowLength_));
      else
        std::memset(StorageRow(y), 0, size_t(rowLength_));
    }
  });
  return true;
}

int32_t TQxBitmap::RowsNotOwn() const { return table_ ? table_->notOwn.load() : 0; }

bool TQxBitmap::IsLending() const { return blockHold_ && blockHold_.use_count() > 1; }

void TQxBitmap::StopLending() {
  std::lock_guard<std::mutex> Lock(lendMutex_);
  if (!lent_.load(std::memory_order_acquire)) return;
  if (blockHold_ && blockHold_.use_count() > 1) {
    // The borrowers keep the block as it is; this bitmap writes into a copy.
    const size_t Size = static_cast<size_t>(rowLength_) * static_cast<size_t>(height_);
    void* Raw = AllocBlock(memoryRawKind_, Size + 128, false);
    if (!Raw) throw std::bad_alloc();
    uint8_t* Aligned = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(Raw) + 63) & ~uintptr_t(63));
    std::memcpy(Aligned, memoryAligned_, Size);
    blockHold_.reset();
    memoryRaw_ = Raw;
    memoryAligned_ = Aligned;
  }
  lent_.store(false, std::memory_order_release);
}

// ---------------------------------------------------------------- palette

TQxRGB* TQxBitmap::Palette() { return palette_.empty() ? nullptr : palette_.data(); }
int32_t TQxBitmap::PaletteLength() { return static_cast<int32_t>(palette_.size()); }

TQxRGB TQxBitmap::PaletteColor(int32_t Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= palette_.size()) return TQxRGB{0, 0, 0};
  return palette_[static_cast<size_t>(Index)];
}

void TQxBitmap::SetPaletteColor(int32_t Index, TQxRGB Color) {
  if (Index >= 0 && static_cast<size_t>(Index) < palette_.size()) palette_[static_cast<size_t>(Index)] = Color;
  UpdateVclPalette();
}

void TQxBitmap::CopyPaletteTo(TQxBaseBitmap* Dest) {
  auto* d = dynamic_cast<TQxBitmap*>(Dest);
  if (!d || d == this) return;
  d->palette_.clear();
  d->PaletteColors = 256;
  if (!palette_.empty()) {
    d->palette_ = palette_;
    d->PaletteColors = PaletteColors;
    d->UpdateVclPalette();
  }
}

// ---------------------------------------------------------------- alpha channel

TQxBitmap* TQxBitmap::GetAlphaChannel() {
  if (isAlphaChannel_) return nullptr;
  if (!alpha_) alpha_ = CreateAlpha(width_, height_, location_);
  return alpha_.get();
}

std::unique_ptr<TQxBitmap> TQxBitmap::SetAlphaChannel(std::unique_ptr<TQxBitmap> Alpha) {
  if (Alpha) Alpha->isAlphaChannel_ = true;
  std::unique_ptr<TQxBitmap> previous = std::move(alpha_);
  alpha_ = std::move(Alpha);
  return previous;
}

void TQxBitmap::RemoveAlphaChannel(bool Merge, TColor Background) {
  if (isAlphaChannel_ || !alpha_) return;
  if (Merge && format_ == TQxPixelFormat::qx24RGB && alpha_->width_ == width_ && alpha_->height_ == height_) {
    const TColor c = ColorToRGB(Background);
    const int32_t bg[3] = {(c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF};  // blue, green, red
    std::vector<uint8_t> arow(static_cast<size_t>(width_));
    for (int32_t y = 0; y < height_; ++y) {
      std::memcpy(arow.data(), alpha_->Scanline(y), arow.size());
      uint8_t* p = Scanline(y);
      for (int32_t x = 0; x < width_; ++x) {
        const int32_t a = arow[static_cast<size_t>(x)];
        for (int k = 0; k < 3; ++k) {
          const int32_t v = p[k];
          p[k] = static_cast<uint8_t>(bg[k] + (((v - bg[k]) * a * 1024) >> 18));
        }
        p += 3;
      }
    }
  }
  alpha_.reset();
}

void TQxBitmap::AlphaFromMask(TQxMask* Mask) {
  if (!Mask) {
    Fill(255);
    return;
  }
  TQxPixelFormat f;
  if (Mask->BitsPerPixel() == 1)
    f = TQxPixelFormat::qx1g;
  else if (Mask->BitsPerPixel() == 8)
    f = TQxPixelFormat::qx8g;
  else
    return;
  if (!Allocate(Mask->Width(), Mask->Height(), f)) return;
  const int32_t len = std::min(rowLength_, Mask->RowLength());
  for (int32_t y = 0; y < height_; ++y) std::memcpy(Scanline(y), Mask->Scanline(y), static_cast<size_t>(len));
  Opaque = Mask->Full;
}

void TQxBitmap::UpdateOpaqueFlag() {
  const int64_t bytes = (static_cast<int64_t>(width_) * bitsPerPixel_ + 7) / 8;
  Opaque = true;
  for (int32_t y = 0; y < height_; ++y) {
    const uint8_t* p = ScanlineToRead(y);
    if (!p) break;
    for (int64_t i = 0; i < bytes; ++i)
      if (p[i] != 255) {
        Opaque = false;
        return;
      }
  }
}

uint8_t TQxBitmap::GetAlpha(int32_t X, int32_t Y) {
  TQxBitmap* t = isAlphaChannel_ ? this : GetAlphaChannel();
  return t->ScanlineToRead(Y)[X];
}

void TQxBitmap::SetAlpha(int32_t X, int32_t Y, uint8_t Value) {
  TQxBitmap* t = isAlphaChannel_ ? this : GetAlphaChannel();
  t->Scanline(Y)[X] = Value;
  if (Value != 255) {
    t->Opaque = false;
    Opaque = false;
  }
}

// ---------------------------------------------------------------- pixel access

uint8_t TQxBitmap::GetPixel8(int32_t X, int32_t Y) { return ScanlineToRead(Y)[X]; }
void TQxBitmap::SetPixel8(int32_t X, int32_t Y, uint8_t Value) {
  Scanline(Y)[X] = Value;
  if (Value != 255) Opaque = false;
}
uint16_t TQxBitmap::GetPixel16(int32_t X, int32_t Y) {
  uint16_t v;
  std::memcpy(&v, ScanlineToRead(Y) + 2 * static_cast<int64_t>(X), 2);
  return v;
}
void TQxBitmap::SetPixel16(int32_t X, int32_t Y, uint16_t Value) {
  std::memcpy(Scanline(Y) + 2 * static_cast<int64_t>(X), &Value, 2);
  if (Value != 65535) Opaque = false;
}
float TQxBitmap::GetPixelFloat(int32_t X, int32_t Y) {
  float v;
  std::memcpy(&v, ScanlineToRead(Y) + 4 * static_cast<int64_t>(X), 4);
  return v;
}
void TQxBitmap::SetPixelFloat(int32_t X, int32_t Y, float Value) {
  std::memcpy(Scanline(Y) + 4 * static_cast<int64_t>(X), &Value, 4);
  if (Value < 1.0f) Opaque = false;
}
TQxCMYK TQxBitmap::GetPixelCMYK(int32_t X, int32_t Y) {
  TQxCMYK v;
  std::memcpy(&v, ScanlineToRead(Y) + 4 * static_cast<int64_t>(X), 4);
  return v;
}
void TQxBitmap::SetPixelCMYK(int32_t X, int32_t Y, TQxCMYK Value) {
  std::memcpy(Scanline(Y) + 4 * static_cast<int64_t>(X), &Value, 4);
}
TQxRGB TQxBitmap::GetPixel24(int32_t X, int32_t Y) {
  TQxRGB v;
  std::memcpy(&v, ScanlineToRead(Y) + 3 * static_cast<int64_t>(X), 3);
  return v;
}
void TQxBitmap::SetPixel24(int32_t X, int32_t Y, TQxRGB Value) {
  std::memcpy(Scanline(Y) + 3 * static_cast<int64_t>(X), &Value, 3);
}
TQxRGB* TQxBitmap::PixelPtr24(int32_t X, int32_t Y) {
  return reinterpret_cast<TQxRGB*>(Scanline(Y) + 3 * static_cast<int64_t>(X));
}
TQxRGB48 TQxBitmap::GetPixel48(int32_t X, int32_t Y) {
  TQxRGB48 v;
  std::memcpy(&v, ScanlineToRead(Y) + 6 * static_cast<int64_t>(X), 6);
  return v;
}
void TQxBitmap::SetPixel48(int32_t X, int32_t Y, TQxRGB48 Value) {
  std::memcpy(Scanline(Y) + 6 * static_cast<int64_t>(X), &Value, 6);
  if (Value.r != 65535 || Value.g != 65535 || Value.b != 65535) Opaque = false;
}

TQxRGB TQxBitmap::GetPixelRGB(int32_t X, int32_t Y) {
  const int64_t x = X;
  switch (format_) {
    case TQxPixelFormat::qx1g: {
      const uint8_t* r = ScanlineToRead(Y);
      uint8_t v = (r[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      return TQxRGB{v, v, v};
    }
    case TQxPixelFormat::qx8p:
      return PaletteColor(ScanlineToRead(Y)[x]);
    case TQxPixelFormat::qx8g: {
      uint8_t v = ScanlineToRead(Y)[x];
      return TQxRGB{v, v, v};
    }
    case TQxPixelFormat::qx16g: {
      uint8_t v = static_cast<uint8_t>(GetPixel16(X, Y) >> 8);
      return TQxRGB{v, v, v};
    }
    case TQxPixelFormat::qx24RGB:
      return GetPixel24(X, Y);
    case TQxPixelFormat::qx32f: {
      float f = GetPixelFloat(X, Y);
      uint8_t v = static_cast<uint8_t>(std::clamp<int64_t>(Trunc(static_cast<double>(f) * 255), 0, 255));
      return TQxRGB{v, v, v};
    }
    case TQxPixelFormat::qxCMYK:
      return QxPixelCMYKToRGB(GetPixelCMYK(X, Y));
    case TQxPixelFormat::qxRGB48: {
      TQxRGB48 p = GetPixel48(X, Y);
      return TQxRGB{static_cast<uint8_t>(p.b >> 8), static_cast<uint8_t>(p.g >> 8), static_cast<uint8_t>(p.r >> 8)};
    }
    case TQxPixelFormat::qxCIELab: {
      TQxCIELab l;
      std::memcpy(&l, ScanlineToRead(Y) + 3 * x, 3);
      return QxPixelCIELabToRGB(l);
    }
    case TQxPixelFormat::qx32RGB: {
      const uint8_t* p = ScanlineToRead(Y) + 4 * x;
      return TQxRGB{p[0], p[1], p[2]};
    }
    default:
      return TQxRGB{0, 0, 0};
  }
}

// ---------------------------------------------------------------- raw bitmap stream

static const char kRawMagic[12] = {'T', 'Q', 'X', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};

void TQxBitmap::SaveRawToStream(TStream* Stream) {
  RawWriter w;
  w.bytes.insert(w.bytes.end(), kRawMagic, kRawMagic + 12);
  w.Put<int32_t>(0);
  w.Put<int32_t>(static_cast<int32_t>(palette_.size()));
  for (const TQxRGB& c : palette_) {
    w.Put<uint8_t>(c.b);
    w.Put<uint8_t>(c.g);
    w.Put<uint8_t>(c.r);
  }
  const int32_t h = Height();
  w.Put<int32_t>(Width());
  w.Put<int32_t>(h);
  w.Put<uint8_t>(static_cast<uint8_t>(format_));
  w.Put<uint8_t>(Opaque ? 1 : 0);
  w.Put<int32_t>(PaletteColors);
  w.Put<double>(RangeLow);
  w.Put<double>(RangeHigh);
  for (int32_t o : ChannelOffsets) w.Put<int32_t>(o);
  w.Put<uint8_t>(AdjustColors ? 1 : 0);
  w.Put<int32_t>(Contrast);
  w.Put<int32_t>(rowAlignment_);
  Stream->WriteBuffer(w.bytes.data(), static_cast<int64_t>(w.bytes.size()));

  const int64_t rows = static_cast<int64_t>(rowLength_) * h;
  try {
    if (Stream->Position() + rows > Stream->Size()) Stream->SetSize(Stream->Position() + rows);
  } catch (...) {
  }
  const uint8_t saveMode = AccessMode;
  AccessMode = 1;
  for (int32_t y = 0; y < h; ++y) Stream->WriteBuffer(Scanline(y), rowLength_);
  AccessMode = saveMode;

  const uint8_t hasAlpha = alpha_ ? 1 : 0;
  Stream->WriteBuffer(&hasAlpha, 1);
  if (alpha_) {
    // Alpha rows go out four-byte aligned whatever the channel's own alignment, as the reader takes them
    // (the stream states only the picture's alignment).
    const int64_t arowLen = RowBytes64(alpha_->width_, 8, 32);
    const int64_t arows = arowLen * alpha_->height_;
    try {
      if (Stream->Position() + arows > Stream->Size()) Stream->SetSize(Stream->Position() + arows);
    } catch (...) {
    }
    const uint8_t am = alpha_->AccessMode;
    alpha_->AccessMode = 1;
    std::vector<uint8_t> arow(static_cast<size_t>(std::max<int64_t>(arowLen, 1)), 0);
    const size_t acopy = static_cast<size_t>(std::min<int64_t>(arowLen, alpha_->rowLength_));
    for (int32_t y = 0; y < alpha_->height_; ++y) {
      std::memcpy(arow.data(), alpha_->Scanline(y), acopy);
      Stream->WriteBuffer(arow.data(), arowLen);
    }
    alpha_->AccessMode = am;
    const uint8_t ao = alpha_->Opaque ? 1 : 0;
    Stream->WriteBuffer(&ao, 1);
  }
}

int64_t TQxBitmap::RawStreamLength(const uint8_t* Data, int64_t Count, int64_t& Pixels) {
  Pixels = -1;
  auto i32 = [Data](int64_t At) {
    int32_t v;
    std::memcpy(&v, Data + At, 4);
    return v;
  };
  if (Count < 20) return 20;
  if (std::memcmp(Data, kRawMagic, 12) != 0 || i32(12) < 0) return -1;
  const int32_t n = i32(16);
  if (n < 0 || n > 65536) return -1;
  const int64_t at = 20 + int64_t(n) * 3, header = at + 55;
  if (Count < header) return header;
  const int32_t w = i32(at), h = i32(at + 4), align = i32(at + 51);
  const uint8_t fmt = Data[at + 8];
  if (w < 0 || h < 0 || fmt >= QxPixelFormatCount || align < 8 || align > 4096 || align % 8 != 0) return -1;
  Pixels = int64_t(w) * h;
  const __int128 length = header + __int128(RowBytes64(w, QxPixelFormatBits[fmt], align) + RowBytes64(w, 8, 32)) * h + 2;
  return int64_t(std::min<__int128>(length, INT64_MAX));
}

bool TQxBitmap::LoadRawFromStream(TStream* Stream) {
  char magic[12];
  if (Stream->Read(magic, 12) != 12 || std::memcmp(magic, kRawMagic, 12) != 0) return false;
  int32_t version = 0, n = 0;
  if (!ReadValue(Stream, version) || version < 0) return false;
  if (!ReadValue(Stream, n) || n < 0 || n > 65536) return false;
  auto remaining = [Stream]() -> int64_t {
    try {
      return Stream->Size() - Stream->Position();
    } catch (...) {
      return 0;
    }
  };
  if (remaining() < static_cast<int64_t>(n) * 3 + 55) return false;
  std::vector<TQxRGB> pal(static_cast<size_t>(n));
  if (n > 0 && Stream->Read(pal.data(), 3 * static_cast<int64_t>(n)) != 3 * static_cast<int64_t>(n)) return false;
  int32_t w = 0, h = 0, palColors = 0, contrast = 0, align = 0;
  uint8_t fmt = 0, opaque = 0, adjust = 0;
  double lo = 0, hi = 0;
  int32_t offsets[4];
  bool ok = ReadValue(Stream, w) && ReadValue(Stream, h) && ReadValue(Stream, fmt) && ReadValue(Stream, opaque) &&
            ReadValue(Stream, palColors) && ReadValue(Stream, lo) && ReadValue(Stream, hi);
  for (int32_t& o : offsets) ok = ok && ReadValue(Stream, o);
  ok = ok && ReadValue(Stream, adjust) && ReadValue(Stream, contrast) && ReadValue(Stream, align);
  if (!ok || w < 0 || h < 0 || fmt >= QxPixelFormatCount || align < 8 || align > 4096 || align % 8 != 0)
    return false;
  const int64_t srcRowLen = RowBytes64(w, QxPixelFormatBits[fmt], align);
  // A row past 2 GB is refused before it is multiplied by the height, which could then overflow.
  if (srcRowLen > std::numeric_limits<int32_t>::max()) return false;
  const int64_t pixelBytes = srcRowLen * h;
  if (remaining() < pixelBytes + 1) return false;
  const bool empty = w == 0 || h == 0 || fmt == 0;

  SetRowAlignment(align);
  if (empty) {
    FreeImage(true);
    format_ = static_cast<TQxPixelFormat>(fmt);
  } else if (!Allocate(w, h, static_cast<TQxPixelFormat>(fmt))) {
    return false;
  }
  Opaque = opaque != 0;
  PaletteColors = palColors;
  RangeLow = lo;
  RangeHigh = hi;
  std::copy(offsets, offsets + 4, ChannelOffsets);
  AdjustColors = adjust != 0;
  Contrast = contrast;
  if (n > 0) palette_ = std::move(pal);

  // The writer's rows may be laid out with another alignment than ours could take.
  // An empty picture (a zero size) reads no rows: no buffer as long as its stated width.
  std::vector<uint8_t> row(empty ? 1 : static_cast<size_t>(std::max<int64_t>(srcRowLen, 1)));
  const size_t keep = static_cast<size_t>(std::min<int64_t>(srcRowLen, rowLength_));
  const uint8_t mode = AccessMode;
  AccessMode = 2;
  for (int32_t y = 0; y < h && !empty; ++y) {
    if (Stream->Read(row.data(), srcRowLen) != srcRowLen) {
      AccessMode = mode;
      return false;
    }
    std::memcpy(Scanline(y), row.data(), keep);
  }
  AccessMode = mode;

  uint8_t hasAlpha = 0;
  if (!ReadValue(Stream, hasAlpha)) return false;
  if (hasAlpha == 0 || isAlphaChannel_) {
    alpha_.reset();
    return hasAlpha == 0;
  }
  const int64_t alphaRowLen = RowBytes64(w, 8, 32);
  if (remaining() < alphaRowLen * h + 1) return false;
  TQxBitmap* a = GetAlphaChannel();
  if (!a) return false;
  if (a->width_ != w || a->height_ != h) {
    if (!a->Allocate(w, h, TQxPixelFormat::qx8g) && !empty) return false;
  }
  std::vector<uint8_t> arow(empty ? 1 : static_cast<size_t>(std::max<int64_t>(alphaRowLen, 1)));
  const size_t akeep = static_cast<size_t>(std::min<int64_t>(alphaRowLen, a->rowLength_));
  for (int32_t y = 0; y < h && !empty; ++y) {
    if (Stream->Read(arow.data(), alphaRowLen) != alphaRowLen) return false;
    std::memcpy(a->Scanline(y), arow.data(), akeep);
  }
  uint8_t ao = 0;
  if (!ReadValue(Stream, ao)) return false;
  a->Opaque = ao != 0;
  return true;
}
