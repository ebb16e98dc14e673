// The legacy storage of TQxBitmap in a platform TBitmap, and the copies and drawing that involve one.
#include <algorithm>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "platform/base/system.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

TPixelFormat VclFormatOf(TQxPixelFormat F) {
  switch (F) {
    case TQxPixelFormat::qx1g:
      return TPixelFormat::pf1bit;
    case TQxPixelFormat::qx8p:
    case TQxPixelFormat::qx8g:
    case TQxPixelFormat::qx16g:
      return TPixelFormat::pf8bit;
    case TQxPixelFormat::qx24RGB:
      return TPixelFormat::pf24bit;
    case TQxPixelFormat::qx32RGB:
      return TPixelFormat::pf32bit;
    default:
      return TPixelFormat::pfCustom;
  }
}

void SetGrayColorTable(TBitmap* B) {
  std::vector<TRGBQuad> t(256);
  for (int i = 0; i < 256; ++i) t[size_t(i)] = TRGBQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  B->SetColorTable(t);
}

bool IsGrayColorTable(const std::vector<TRGBQuad>& t) {
  if (t.size() != 256) return false;
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i].rgbRed != i || t[i].rgbGreen != i || t[i].rgbBlue != i) return false;
  return true;
}

}  // namespace

void TQxBitmap::FreeVclBitmap() {
  if (vclBitmap_ && !vclBitmapNotOwned_) delete vclBitmap_;
  vclBitmap_ = nullptr;
  vclRowTable_.clear();
}

void TQxBitmap::BuildRowTable() {
  vclRowTable_.clear();
  if (!vclBitmap_) return;
  const int32_t h = vclBitmap_->Height();
  vclRowTable_.resize(size_t(std::max(h, 0)));
  for (int32_t y = 0; y < h; ++y) vclRowTable_[size_t(y)] = static_cast<uint8_t*>(vclBitmap_->ScanLine(y));
}

bool TQxBitmap::AllocateTBitmap(uint64_t Size, bool Initialise) {
  const int64_t phys = PhysicalMemory(false);
  if (phys > 0 && Size > uint64_t(phys)) return false;
  if (VclFormatOf(format_) == TPixelFormat::pfCustom) return false;  // no platform layout for it
  if (format_ == TQxPixelFormat::qx16g) SetFormatFields(TQxPixelFormat::qx8g);
  try {
    if (!vclBitmap_) {
      vclBitmap_ = new TBitmap();
      vclBitmapNotOwned_ = false;
    }
    if (Initialise) {
      vclBitmap_->SetSize(1, 1);
      vclBitmap_->SetPixelFormat(TPixelFormat::pfDevice);
      vclBitmap_->SetPixelFormat(VclFormatOf(format_));
      vclBitmap_->SetSize(width_, height_);
    } else {
      vclBitmap_->SetSizeUninitialised(width_, height_, VclFormatOf(format_));
    }
    if (format_ == TQxPixelFormat::qx8g) SetGrayColorTable(vclBitmap_);
    rowLength_ = vclBitmap_->RowBytes();
    BuildRowTable();
  } catch (...) {
    return false;
  }
  UpdateVclPalette();
  return true;
}

void TQxBitmap::AttachTBitmap(TBitmap* Bitmap, bool FreeOld) {
  if (FreeOld) FreeImage(true);
  if (!Bitmap) return;
  table_.reset();
  TQxPixelFormat f;
  switch (Bitmap->PixelFormat()) {
    case TPixelFormat::pf1bit:
      f = TQxPixelFormat::qx1g;
      break;
    case TPixelFormat::pf24bit:
      f = TQxPixelFormat::qx24RGB;
      break;
    case TPixelFormat::pf32bit:
      f = TQxPixelFormat::qx32RGB;
      break;
    default:
      // Rows of other platform layouts would not match any format of ours.
      Bitmap->SetPixelFormat(TPixelFormat::pf24bit);
      f = TQxPixelFormat::qx24RGB;
      break;
  }
  if (Bitmap == vclBitmap_ && location_ == TQxLocation::qxTBitmap && Bitmap->Width() == width_ &&
      Bitmap->Height() == height_ && f == format_)
    return;
  // Attaching the platform bitmap this one already holds keeps it owned as before, so that it is freed.
  if (vclBitmap_ != Bitmap) {
    FreeVclBitmap();
    vclBitmapNotOwned_ = true;
  }
  vclBitmap_ = Bitmap;
  location_ = TQxLocation::qxTBitmap;
  width_ = Bitmap->Width();
  height_ = Bitmap->Height();
  SetFormatFields(f);
  rowLength_ = Bitmap->RowBytes();
  BuildRowTable();
}

TBitmap* TQxBitmap::GetTBitmap() {
  SetLocation(TQxLocation::qxTBitmap);
  ApplyOriginTransform();
  return vclBitmap_;
}

TCanvas* TQxBitmap::GetCanvas() {
  if (location_ == TQxLocation::qxMemory || location_ == TQxLocation::qxFile) SetLocation(TQxLocation::qxTBitmap);
  ApplyOriginTransform();
  return vclBitmap_ ? vclBitmap_->Canvas() : nullptr;
}

// With Origin 1 the rows are read top-down through Scanline, so the canvas is flipped to match.
void TQxBitmap::ApplyOriginTransform() {
  if (vclBitmap_) vclBitmap_->Canvas()->SetVerticalFlip(Origin == 1);
}

void TQxBitmap::SyncFromTBitmap() {
  if (location_ != TQxLocation::qxTBitmap || !vclBitmap_) return;
  TQxPixelFormat f;
  switch (vclBitmap_->PixelFormat()) {
    case TPixelFormat::pf1bit:
      f = TQxPixelFormat::qx1g;
      break;
    case TPixelFormat::pf8bit:
      f = (isAlphaChannel_ || IsGrayColorTable(vclBitmap_->ColorTable())) ? TQxPixelFormat::qx8g
                                                                           : TQxPixelFormat::qx8p;
      break;
    case TPixelFormat::pf32bit:
      f = TQxPixelFormat::qx32RGB;
      break;
    default:
      f = TQxPixelFormat::qx24RGB;
      break;
  }
  if (vclBitmap_->PixelFormat() != TPixelFormat::pf1bit && vclBitmap_->PixelFormat() != TPixelFormat::pf8bit &&
      vclBitmap_->PixelFormat() != TPixelFormat::pf24bit && vclBitmap_->PixelFormat() != TPixelFormat::pf32bit &&
      !vclBitmap_->Empty())
    vclBitmap_->SetPixelFormat(TPixelFormat::pf24bit);  // keep rows and format in step
  if (vclBitmap_->Width() != width_ || vclBitmap_->Height() != height_ || f != format_) {
    width_ = vclBitmap_->Width();
    height_ = vclBitmap_->Height();
    SetFormatFields(f);
    rowLength_ = vclBitmap_->RowBytes();
    if (alpha_ && (alpha_->width_ != width_ || alpha_->height_ != height_))
      alpha_->Allocate(width_, height_, TQxPixelFormat::qx8g);
    BuildRowTable();
  }
  if (height_ > 0 && (vclRowTable_.empty() || vclRowTable_[0] != vclBitmap_->ScanLine(0))) BuildRowTable();
  if (format_ == TQxPixelFormat::qx8p) {
    const auto& t = vclBitmap_->ColorTable();
    palette_.assign(256, TQxRGB{0, 0, 0});
    for (size_t i = 0; i < t.size() && i < 256; ++i) palette_[i] = TQxRGB{t[i].rgbBlue, t[i].rgbGreen, t[i].rgbRed};
  }
}

void TQxBitmap::UpdateVclPalette() {
  if (location_ != TQxLocation::qxTBitmap || !vclBitmap_ || palette_.empty()) return;
  if (vclBitmap_->PixelFormat() != TPixelFormat::pf8bit && vclBitmap_->PixelFormat() != TPixelFormat::pf1bit &&
      vclBitmap_->PixelFormat() != TPixelFormat::pf4bit)
    return;
  std::vector<TRGBQuad> t(palette_.size());
  for (size_t i = 0; i < palette_.size(); ++i) t[i] = TRGBQuad{palette_[i].b, palette_[i].g, palette_[i].r, 0};
  vclBitmap_->SetColorTable(t);
}

void TQxBitmap::CopyFromTBitmap(TBitmap* Bitmap) {
  if (!Bitmap) return;
  if (location_ == TQxLocation::qxTBitmap) {
    const TPixelFormat pf = Bitmap->PixelFormat();
    if (pf != TPixelFormat::pf1bit && pf != TPixelFormat::pf24bit && pf != TPixelFormat::pf32bit)
      Bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    if (!vclBitmap_ || vclBitmapNotOwned_) {
      if (!vclBitmap_) vclBitmap_ = new TBitmap();
    }
    vclBitmap_->Assign(*Bitmap);
    alpha_.reset();
    width_ = -1;  // force the fields to be taken from the copy
    SyncFromTBitmap();
    Opaque = false;
    return;
  }
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  const std::vector<TRGBQuad>& table = Bitmap->ColorTable();
  auto paletteEntries = [&](int count) {
    std::vector<TQxRGB> p(256, TQxRGB{0, 0, 0});
    for (int i = 0; i < count && size_t(i) < table.size(); ++i)
      p[size_t(i)] = TQxRGB{table[size_t(i)].rgbBlue, table[size_t(i)].rgbGreen, table[size_t(i)].rgbRed};
    return p;
  };
  switch (Bitmap->PixelFormat()) {
    case TPixelFormat::pf1bit: {
      const bool mono = table.size() < 2 || (table[0] == TRGBQuad{0, 0, 0, 0} &&
                                              table[1].rgbRed == 255 && table[1].rgbGreen == 255 &&
                                              table[1].rgbBlue == 255);
      if (mono) {
        if (!Allocate(w, h, TQxPixelFormat::qx1g)) return;
        const size_t len = size_t(std::min<int32_t>(rowLength_, Bitmap->RowBytes()));
        for (int32_t y = 0; y < h; ++y) std::memcpy(Scanline(y), Bitmap->ScanLine(y), len);
      } else {
        if (!Allocate(w, h, TQxPixelFormat::qx8p)) return;
        palette_ = paletteEntries(2);
        for (int32_t y = 0; y < h; ++y) {
          const uint8_t* s = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
          uint8_t* d = Scanline(y);
          for (int32_t x = 0; x < w; ++x) d[x] = (s[x >> 3] & (0x80 >> (x & 7))) ? 1 : 0;
        }
      }
      break;
    }
    case TPixelFormat::pf4bit: {
      if (!Allocate(w, h, TQxPixelFormat::qx8p)) return;
      palette_ = paletteEntries(16);
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
        uint8_t* d = Scanline(y);
        for (int32_t x = 0; x < w; ++x) d[x] = (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4);
      }
      break;
    }
    case TPixelFormat::pf8bit: {
      if (!Allocate(w, h, TQxPixelFormat::qx8p)) return;
      palette_ = paletteEntries(256);
      for (int32_t y = 0; y < h; ++y) std::memcpy(Scanline(y), Bitmap->ScanLine(y), size_t(w));
      break;
    }
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: {
      const bool is16 = Bitmap->PixelFormat() == TPixelFormat::pf16bit;
      if (!Allocate(w, h, TQxPixelFormat::qx24RGB)) return;
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
        uint8_t* d = Scanline(y);
        for (int32_t x = 0; x < w; ++x) {
          const uint32_t v = uint32_t(s[2 * x]) | uint32_t(s[2 * x + 1]) << 8;
          if (is16) {
            d[3 * x + 2] = uint8_t((v >> 11) << 3);
            d[3 * x + 1] = uint8_t(((v >> 5) & 63) << 2);
          } else {
            d[3 * x + 2] = uint8_t(((v >> 10) & 31) << 3);
            d[3 * x + 1] = uint8_t(((v >> 5) & 31) << 3);
          }
          d[3 * x] = uint8_t((v & 31) << 3);
        }
      }
      break;
    }
    case TPixelFormat::pf24bit:
    case TPixelFormat::pf32bit: {
      const bool is32 = Bitmap->PixelFormat() == TPixelFormat::pf32bit;
      if (!Allocate(w, h, is32 ? TQxPixelFormat::qx32RGB : TQxPixelFormat::qx24RGB)) return;
      const size_t len = size_t(std::min<int32_t>(rowLength_, Bitmap->RowBytes()));
      for (int32_t y = 0; y < h; ++y) std::memcpy(Scanline(y), Bitmap->ScanLine(y), len);
      break;
    }
    default:
      return;
  }
  Opaque = false;
}

void TQxBitmap::DrawScaledToTBitmapEx(TBitmap* Bitmap, std::vector<uint8_t*>& DestRows, std::vector<int32_t>& XTable,
                                      std::vector<int32_t>& YTable, const TRect* Clip, int32_t DstX, int32_t DstY,
                                      int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW,
                                      int32_t SrcH, bool EnableAlpha, bool ReuseRows, int32_t Transparency,
                                      TResampleFilter Filter, bool FreeTables, TQxBlendOperation BlendOp) {
  if (!Bitmap || Bitmap->PixelFormat() != TPixelFormat::pf24bit) return;
  TQxBitmap dest;
  dest.AttachTBitmap(Bitmap, false);
  DrawScaledEx(&dest, DestRows, XTable, YTable, Clip, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH, EnableAlpha,
               ReuseRows, Transparency, Filter, FreeTables, BlendOp);
  Bitmap->Modified();
}

void TQxBitmap::DrawScaledToTBitmap(TBitmap* Bitmap, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH,
                                    int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH, int32_t Transparency,
                                    TResampleFilter Filter, TQxBlendOperation BlendOp) {
  std::vector<uint8_t*> rows;
  std::vector<int32_t> xt, yt;
  DrawScaledToTBitmapEx(Bitmap, rows, xt, yt, nullptr, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH, true, false,
                        Transparency, Filter, true, BlendOp);
}
