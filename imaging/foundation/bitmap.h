// The picture of the library: a rectangle of pixels in one of ten formats, kept in one memory block, in
// memory fragments, in a temporary file or in a platform TBitmap, with an optional palette and an optional
// 8-bit alpha channel. Every other part reaches the pixels through Scanline, whatever the storage.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "imaging/foundation/types.h"
#include "platform/base/types.h"
#include "platform/graphics/color.h"

class TStream;
class TBitmap;
class TCanvas;
class TQxFileBuffer;
class TQxMask;
class TQxDibbitmap;

// Library-wide settings, set once at start-up.
// Images of more bytes than the threshold go to a temporary file; -1 chooses it from physical memory.
extern int64_t QxMemoryThresholdOverride;
// When memory (and fragments) fail, fall back to the temporary file.
extern bool QxFileFallback;
// Allow the rows of a large image to be spread over several memory blocks.
extern bool QxAllowFragments;

// Row, size and palette interface shared with the DIB-section bitmap.
class TQxBaseBitmap {
 public:
  virtual ~TQxBaseBitmap() = default;

  // Read (1) and write (2): whether a mapped file row is read first and written back when released.
  uint8_t AccessMode = 3;

  virtual uint8_t* Scanline(int32_t Row) = 0;
  virtual int32_t BitCount() = 0;
  virtual int32_t Height() = 0;
  virtual int32_t Width() = 0;
  virtual TQxPixelFormat PixelFormat() = 0;
  virtual int32_t RowLen() = 0;
  virtual TQxRGB* Palette() = 0;
  virtual TQxRGB PaletteColor(int32_t Index) = 0;
  virtual void SetPaletteColor(int32_t Index, TQxRGB Color) = 0;
  virtual int32_t PaletteLength() = 0;
  virtual bool Allocate(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat) = 0;
  virtual void AssignFrom(TQxBaseBitmap* Source) = 0;
  virtual void CopyPaletteTo(TQxBaseBitmap* Dest) = 0;
};

// What a renderer is handed by DrawScaledEx (see the Render* members).
struct TQxRenderArgs {
  uint8_t** DestRows = nullptr;
  class TQxBitmap* Dest = nullptr;
  int32_t Transparency = 255;       // translucent renderers only
  bool UseSourceAlpha = false;      // translucent renderers only
  const int32_t* XTable = nullptr;
  const int32_t* YTable = nullptr;
  int32_t SrcX = 0, SrcY = 0, DstX = 0, DstY = 0;
  int32_t X1 = 0, Y1 = 0, X2 = -1, Y2 = -1;  // destination rectangle drawn, inclusive
  int32_t XStep = 16384, YStep = 16384;
  bool ReuseRows = false;
  TQxBlendOperation BlendOp = 0;
};

// While one lives on a thread, the nearest-sampled drawings DrawScaledEx makes there are kept and drawn
// together when it ends (or at Flush): one pass over the destination's rows on every core, each band of
// rows through every kept drawing in turn, so that a band's pixels stay in one core's cache between the
// layers. The same pixels as drawing each in turn. The bitmaps drawn must live, unchanged, until then,
// and whatever else draws into the destination meanwhile must Flush first.
class TQxDrawBatch {
 public:
  TQxDrawBatch();
  ~TQxDrawBatch();
  TQxDrawBatch(const TQxDrawBatch&) = delete;
  TQxDrawBatch& operator=(const TQxDrawBatch&) = delete;
  void Flush();
  // The batch open on this thread, or null.
  static TQxDrawBatch* Current();

 private:
  friend class TQxBitmap;
  struct Item;
  std::vector<std::unique_ptr<Item>> FItems;
  TQxDrawBatch* FOuter;
};

// Sets a bitmap's access mode for a scope and puts the old one back however the scope ends; nothing for
// nil.
class TQxAccessGuard {
 public:
  TQxAccessGuard(TQxBaseBitmap* Bitmap, uint8_t Mode) : FBitmap(Bitmap), FMode(Bitmap ? Bitmap->AccessMode : 0) {
    if (FBitmap) FBitmap->AccessMode = Mode;
  }
  ~TQxAccessGuard() {
    if (FBitmap) FBitmap->AccessMode = FMode;
  }
  TQxAccessGuard(const TQxAccessGuard&) = delete;
  TQxAccessGuard& operator=(const TQxAccessGuard&) = delete;

 private:
  TQxBaseBitmap* FBitmap;
  uint8_t FMode;
};

class TQxBitmap : public TQxBaseBitmap {
  friend class TQxDrawBatch;

 public:
  TQxBitmap();
  // CreateSized: construct, then Allocate.
  TQxBitmap(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat);
  ~TQxBitmap() override;
  TQxBitmap(const TQxBitmap&) = delete;
  TQxBitmap& operator=(const TQxBitmap&) = delete;

  // A new alpha channel (qx8g, filled with 255); qxTBitmap becomes qxMemory. Without Filled its values
  // are left unset, for a caller that writes every row in full next.
  static std::unique_ptr<TQxBitmap> CreateAlpha(int32_t AWidth, int32_t AHeight, TQxLocation ALocation,
                                                bool Filled = true);

  // ---- settings (plain fields) ----
  int64_t MemoryThreshold = 0;
  uint8_t BWConversion = 1;  // conversion to qx1g: 0 ordered dither, 1 threshold
  int32_t PaletteColors = 256;
  double RangeLow = 0.0, RangeHigh = 0.0;  // display range of the renderers; equal means none
  int32_t ChannelOffsets[4] = {0, 0, 0, 0};
  bool AdjustColors = false;
  int32_t Contrast = 0;
  uint8_t AllocatorKind = 2;  // 0 heap, 1 global memory, 2 hybrid
  bool Reallocate = true;
  int32_t SnapshotLayer = 0;
  bool Opaque = false;
  uint8_t Origin = 0;  // 1: Scanline flips the row index

  // ---- TQxBaseBitmap ----
  uint8_t* Scanline(int32_t Row) override;
  int32_t BitCount() override;
  int32_t Height() override;
  int32_t Width() override;
  TQxPixelFormat PixelFormat() override;
  int32_t RowLen() override;
  TQxRGB* Palette() override;
  TQxRGB PaletteColor(int32_t Index) override;
  void SetPaletteColor(int32_t Index, TQxRGB Color) override;
  int32_t PaletteLength() override;
  bool Allocate(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat) override;
  // Allocate for a caller that writes every pixel next: the storage is not filled first.
  bool AllocateUninitialised(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat);
  void AssignFrom(TQxBaseBitmap* Source) override;
  void CopyPaletteTo(TQxBaseBitmap* Dest) override;

  int32_t GetChannelCount();
  bool IsEmpty();
  TQxLocation Location() const { return location_; }
  bool IsAlphaChannel() const { return isAlphaChannel_; }
  int32_t RowAlignment() const { return rowAlignment_; }
  int32_t FragmentCount() const { return static_cast<int32_t>(fragments_.size()); }
  // Rows come from the temporary file one mapping at a time: a row pointer lasts until the next Scanline,
  // so such a bitmap is read and written by one thread, row after row.
  bool MapsRows() const { return location_ == TQxLocation::qxFile && fragments_.empty(); }
  // The temporary file behind a file-located bitmap, for inspection.
  const TQxFileBuffer* FileBuffer() const { return fileBuffer_.get(); }

  // ---- storage ----
  // Without Initialise, the storage is left unset for a caller that writes every pixel.
  bool AllocateStorage(bool Initialise = true);
  void FreeImage(bool FreeAlpha);
  void AttachMemory(void* Buffer, int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat, bool FreeOld,
                    uint8_t AOrigin);
  void AttachTBitmap(TBitmap* Bitmap, bool FreeOld);
  void MoveStorageTo(TQxBitmap* Dest);
  void SetLocation(TQxLocation ALocation);
  void SetRowAlignment(int32_t Bits);
  TBitmap* GetTBitmap();
  TCanvas* GetCanvas();
  void SyncFromTBitmap();

  // ---- rows lent by other bitmaps ----
  // Storage may be a table of rows, each this bitmap's own, lent by another bitmap (whose block stays
  // alive while it is lent, whatever becomes of the lender) or one constant row shared by many. Scanline
  // with AccessMode's write bit set makes a row its own before handing it out, so nothing is ever written
  // through a row that is not; a lender that writes while its block is lent takes a copy first.
  // A row to read only: a lent or shared row is given as it lies.
  const uint8_t* ScanlineToRead(int32_t Row);
  // Size and format over a table whose rows are all unset: every row must be lent, shared or owned next.
  bool AllocateRowTable(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat);
  // Row of the table becomes LenderRow of Lender, which has this bitmap's format, width and row length.
  // False when Lender's storage cannot be lent (file, fragments, foreign memory): the row is left as it was.
  bool LendRow(int32_t Row, TQxBitmap* Lender, int32_t LenderRow);
  // Row of the table becomes Shared, a row of RowLen() bytes that nobody writes (see MakeConstantRow).
  void ShareRow(int32_t Row, const std::shared_ptr<uint8_t[]>& Shared);
  // Rows First..Last-1 of the table become this bitmap's own, in one block, unset for a caller that writes
  // them in full next.
  bool OwnRows(int32_t First, int32_t Last);
  // RowBytes bytes: Pattern repeated over the first UsedBytes, zero after them (as a row's padding reads).
  static std::shared_ptr<uint8_t[]> MakeConstantRow(int32_t RowBytes, int32_t UsedBytes, const uint8_t* Pattern,
                                                    int32_t PatternLength);
  // Every row this bitmap's own again, in one block.
  bool MakeRowsOwn();
  bool HasRowTable() const { return table_ != nullptr; }
  // Rows of the table that are lent or shared.
  int32_t RowsNotOwn() const;
  // Whether a block of this bitmap is lent to another one right now.
  bool IsLending() const;
  // Whether LendRow can take this bitmap's rows: its own block in memory.
  bool CanLendRows() const;

  // ---- rows ----
  uint8_t* LockRow(int32_t Row);
  void UnlockRow(int32_t Row);
  void ReleaseMappedRows();

  // ---- palette ----
  void UpdateVclPalette();

  // ---- alpha channel ----
  TQxBitmap* GetAlphaChannel();
  bool HasAlphaChannel() const { return alpha_ != nullptr; }
  // Attaches Alpha (taken over, marked as an alpha channel) and hands back the previous one, not freed.
  std::unique_ptr<TQxBitmap> SetAlphaChannel(std::unique_ptr<TQxBitmap> Alpha);
  void RemoveAlphaChannel(bool Merge = false, TColor Background = 0);
  void AlphaFromMask(TQxMask* Mask);
  void UpdateOpaqueFlag();
  uint8_t GetAlpha(int32_t X, int32_t Y);
  void SetAlpha(int32_t X, int32_t Y, uint8_t Value);

  // ---- pixel access (no range checks) ----
  uint8_t GetPixel8(int32_t X, int32_t Y);
  void SetPixel8(int32_t X, int32_t Y, uint8_t Value);
  uint16_t GetPixel16(int32_t X, int32_t Y);
  void SetPixel16(int32_t X, int32_t Y, uint16_t Value);
  float GetPixelFloat(int32_t X, int32_t Y);
  void SetPixelFloat(int32_t X, int32_t Y, float Value);
  TQxCMYK GetPixelCMYK(int32_t X, int32_t Y);
  void SetPixelCMYK(int32_t X, int32_t Y, TQxCMYK Value);
  TQxRGB GetPixel24(int32_t X, int32_t Y);
  void SetPixel24(int32_t X, int32_t Y, TQxRGB Value);
  TQxRGB* PixelPtr24(int32_t X, int32_t Y);
  TQxRGB48 GetPixel48(int32_t X, int32_t Y);
  void SetPixel48(int32_t X, int32_t Y, TQxRGB48 Value);
  TQxRGB GetPixelRGB(int32_t X, int32_t Y);

  // ---- copying, filling, resizing ----
  void CopyFrom(TQxBitmap* Source);
  void CopyFromTBitmap(TBitmap* Bitmap);
  void CopyFromDib(TQxDibbitmap* Dib);
  void CopyRectTo(TQxBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t AWidth,
                  int32_t AHeight);
  void MaxAlphaRectTo(TQxBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t AWidth,
                      int32_t AHeight);
  void MoveRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DstX, int32_t DstY, double FillValue,
                bool FillSource);
  void Fill(double Value);
  void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value);
  void ChangeWidth(int32_t NewWidth);
  void ChangeHeight(int32_t NewHeight);
  void ResizeCanvas(int32_t NewWidth, int32_t NewHeight, double FillValue, int32_t AlphaFill, int32_t HorizAlign,
                    int32_t VertAlign);
  bool IsGrayScale();
  bool IsAllZero();

  // ---- conversion ----
  void SetPixelFormat(TQxPixelFormat AFormat);
  void ConvertPixelFormat(TQxPixelFormat AFormat);
  void ConvertFrom(TQxBitmap* Source);

  // ---- scaled drawing into a qx24RGB bitmap ----
  // Empty tables are built here; with FreeTables they are cleared at the end, otherwise handed back for
  // the next call of the same geometry. Clip is inclusive (Left, Top, Right, Bottom = x1, y1, x2, y2).
  void DrawScaledEx(TQxBitmap* Dest, std::vector<uint8_t*>& DestRows, std::vector<int32_t>& XTable,
                    std::vector<int32_t>& YTable, const TRect* Clip, int32_t DstX, int32_t DstY, int32_t DstW,
                    int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH, bool EnableAlpha,
                    bool ReuseRows, int32_t Transparency, TResampleFilter Filter, bool FreeTables,
                    TQxBlendOperation BlendOp);
  void DrawScaled(TQxBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX,
                  int32_t SrcY, int32_t SrcW, int32_t SrcH, int32_t Transparency = 255,
                  TResampleFilter Filter = TResampleFilter::rfNone, TQxBlendOperation BlendOp = 0);
  void DrawScaledToTBitmapEx(TBitmap* Bitmap, std::vector<uint8_t*>& DestRows, std::vector<int32_t>& XTable,
                             std::vector<int32_t>& YTable, const TRect* Clip, int32_t DstX, int32_t DstY,
                             int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH,
                             bool EnableAlpha, bool ReuseRows, int32_t Transparency, TResampleFilter Filter,
                             bool FreeTables, TQxBlendOperation BlendOp);
  void DrawScaledToTBitmap(TBitmap* Bitmap, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX,
                           int32_t SrcY, int32_t SrcW, int32_t SrcH, int32_t Transparency = 255,
                           TResampleFilter Filter = TResampleFilter::rfNone, TQxBlendOperation BlendOp = 0);
  // Scaled copy into a qx24RGB Dest that also writes Dest's alpha channel.
  void StretchCopyRect(TQxBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX,
                       int32_t SrcY, int32_t SrcW, int32_t SrcH, TResampleFilter Filter, int32_t Alpha);

  // ---- raw bitmap stream ----
  void SaveRawToStream(TStream* Stream);
  // False for a foreign magic, a negative version or a malformed or truncated stream.
  bool LoadRawFromStream(TStream* Stream);
  // The length of a raw stream judged from its first Count bytes, for readers that cannot ask the stream's
  // size: the whole length with an alpha channel once the header is there (Pixels then holds width x
  // height), else the header's length known so far (more than Count, Pixels -1); -1 for no raw bitmap.
  static int64_t RawStreamLength(const uint8_t* Data, int64_t Count, int64_t& Pixels);

 protected:
  // For a subclass whose Scanline makes the rows when they are asked for: the size and format without
  // storage. MapsRows() is then true, so callers read the rows on one thread and keep no row pointer long.
  void DescribeRowsMadeOnDemand(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat);

  // Per-format renderers of DrawScaledEx: an opaque and a translucent one per source format.
  virtual void Render24RGB(const TQxRenderArgs& A);
  virtual void Render24RGBAlpha(const TQxRenderArgs& A);
  virtual void Render32RGB(const TQxRenderArgs& A);
  virtual void Render32RGBAlpha(const TQxRenderArgs& A);
  virtual void Render1g(const TQxRenderArgs& A);
  virtual void Render1gAlpha(const TQxRenderArgs& A);
  virtual void Render8g(const TQxRenderArgs& A);
  virtual void Render8gAlpha(const TQxRenderArgs& A);
  virtual void Render8p(const TQxRenderArgs& A);
  virtual void Render8pAlpha(const TQxRenderArgs& A);
  virtual void Render16g(const TQxRenderArgs& A);
  virtual void Render16gAlpha(const TQxRenderArgs& A);
  virtual void Render32f(const TQxRenderArgs& A);
  virtual void Render32fAlpha(const TQxRenderArgs& A);
  virtual void RenderCMYK(const TQxRenderArgs& A);
  virtual void RenderCMYKAlpha(const TQxRenderArgs& A);
  virtual void RenderCIELab(const TQxRenderArgs& A);
  virtual void RenderCIELabAlpha(const TQxRenderArgs& A);
  virtual void RenderRGB48(const TQxRenderArgs& A);
  virtual void RenderRGB48Alpha(const TQxRenderArgs& A);

 private:
  // The rows of a bitmap that does not hold them in one block of its own.
  struct TRowTable {
    std::vector<uint8_t*> rows;  // by storage row
    std::vector<uint8_t> own;    // 1: this bitmap may write the row
    // Rows made its own one at a time, by the thread that writes them (one slot per row, so no lock).
    std::vector<std::unique_ptr<uint8_t[]>> single;
    // What keeps the other rows alive: lenders' blocks, shared rows, blocks of own rows.
    std::vector<std::shared_ptr<void>> holds;
    std::atomic<int32_t> notOwn{0};

    void Hold(const std::shared_ptr<void>& H) {
      for (const auto& Held : holds)
        if (Held == H) return;
      holds.push_back(H);
    }
    // Row Y no longer its own (its single row freed).
    void Disown(int32_t Y) {
      if (own[size_t(Y)]) notOwn.fetch_add(1, std::memory_order_relaxed);
      own[size_t(Y)] = 0;
      single[size_t(Y)].reset();
    }
  };
  uint8_t* OwnRow(int32_t Row);
  void StopLending();
  void ReleaseRow(uint8_t* Buffer, int32_t Row);
  uint8_t* MapRow(int32_t Row);
  uint8_t* StorageRow(int32_t Row);
  void BuildRowTable();
  bool AllocateWith(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat, bool Initialise);
  bool AllocateMemoryBlock(uint64_t Size, bool Initialise = true);
  bool AllocateFragments();
  bool AllocateFile(uint64_t Size);
  bool AllocateTBitmap(uint64_t Size, bool Initialise = true);
  // ResizeCanvas when the canvas only grows: one pass over the new pixels; false when the storage or
  // format needs the general road.
  bool GrowCanvasInOnePass(int32_t NewWidth, int32_t NewHeight, int32_t OffsetX, int32_t OffsetY, double FillValue);
  void SetFormatFields(TQxPixelFormat AFormat);
  void ApplyOriginTransform();
  void FreeVclBitmap();
  void CopyRowsFrom(TQxBitmap* Source);
  void ColorRenderer(const TQxRenderArgs& A, bool Translucent, int Kind);
  void PrefetchSampledSpan(int32_t Y, TQxBitmap* Alpha, const int32_t* XT, int32_t N);

  std::unique_ptr<TQxFileBuffer> fileBuffer_;
  uint8_t* mappedRow_ = nullptr;
  int32_t mappedRowIndex_ = -1;
  uint8_t mappedAccess_ = 0;  // AccessMode the mapped row was taken with
  std::vector<TQxRGB> palette_;
  std::unique_ptr<TQxBitmap> alpha_;
  uint8_t* memoryAligned_ = nullptr;
  void* memoryRaw_ = nullptr;
  uint8_t memoryRawKind_ = 0;
  TBitmap* vclBitmap_ = nullptr;
  std::vector<uint8_t*> vclRowTable_;
  std::vector<uint8_t*> lockedBuffers_;
  std::vector<int32_t> lockedRows_;
  int32_t width_ = 0, height_ = 0;
  int32_t bitsPerPixel_ = 0, channelCount_ = 0;
  int32_t rowLength_ = 0;
  TQxPixelFormat format_ = TQxPixelFormat::qxInvalid;
  bool isAlphaChannel_ = false;
  TQxLocation location_ = TQxLocation::qxFile;
  bool vclBitmapNotOwned_ = false;
  bool memoryNotOwned_ = false;
  int32_t rowAlignment_ = 32;
  int32_t rowsPerFragment_ = 0;
  std::vector<uint8_t*> fragments_;
  std::unique_ptr<TRowTable> table_;
  // Owns memoryRaw_ instead of this bitmap once its block has been lent; borrowers hold copies of it.
  std::shared_ptr<void> blockHold_;
  std::atomic<bool> lent_{false};
  std::mutex lendMutex_;
};
