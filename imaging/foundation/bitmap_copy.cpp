// Copying, filling and resizing of TQxBitmap.
#include <algorithm>
#include <climits>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/pixel_convert.h"
#include "imaging/foundation/temp_storage.h"
#include "imaging/foundation/kernels/dib.h"
#include "platform/base/numeric.h"
#include "platform/base/parallel.h"
#include "platform/graphics/bitmap.h"
#if __has_include("imaging/foundation/dib_bitmap.h")
#include "imaging/foundation/dib_bitmap.h"
#define QV_HAVE_DIB_BITMAP 1
#endif

namespace {

TQxRGB ColorOf(int64_t V) {
  const TColor c = ColorToRGB(static_cast<TColor>(V));
  return TQxRGB{uint8_t((c >> 16) & 0xFF), uint8_t((c >> 8) & 0xFF), uint8_t(c & 0xFF)};
}

bool IsWhite(TQxRGB c) { return c.r == 255 && c.g == 255 && c.b == 255; }

// Bytes of one pixel for the formats made of whole bytes; 0 otherwise.
int32_t PixelBytes(TQxPixelFormat f) {
  const int32_t bits = QxPixelFormatBits[static_cast<int>(f)];
  return (bits % 8 == 0) ? bits / 8 : 0;
}

// Writes the value of Fill/FillRect into columns X1..X2 of one row.
struct PixelFill {
  TQxPixelFormat format;
  double value;
  int64_t v;
  uint8_t bytes[8] = {};
  int32_t size = 0;

  PixelFill(TQxPixelFormat f, double Value) : format(f), value(Value), v(Trunc(Value)) {
    switch (f) {
      case TQxPixelFormat::qx8p:
      case TQxPixelFormat::qx8g:
        bytes[0] = uint8_t(v);
        size = 1;
        break;
      case TQxPixelFormat::qx16g: {
        uint16_t w = uint16_t(v);
        std::memcpy(bytes, &w, 2);
        size = 2;
        break;
      }
      case TQxPixelFormat::qx24RGB: {
        TQxRGB c = ColorOf(v);
        std::memcpy(bytes, &c, 3);
        size = 3;
        break;
      }
      case TQxPixelFormat::qx32f: {
        float fv = float(Value);
        std::memcpy(bytes, &fv, 4);
        size = 4;
        break;
      }
      case TQxPixelFormat::qxCMYK: {
        TQxCMYK c = QxPixelRGBToCMYK(ColorOf(v));
        std::memcpy(bytes, &c, 4);
        size = 4;
        break;
      }
      case TQxPixelFormat::qxRGB48: {
        TQxRGB c = ColorOf(v);
        TQxRGB48 w{uint16_t(c.r * 257), uint16_t(c.g * 257), uint16_t(c.b * 257)};
        std::memcpy(bytes, &w, 6);
        size = 6;
        break;
      }
      case TQxPixelFormat::qxCIELab: {
        TQxCIELab l = QxPixelRGBToCIELab(ColorOf(v));
        std::memcpy(bytes, &l, 3);
        size = 3;
        break;
      }
      case TQxPixelFormat::qx32RGB: {
        TQxRGB c = ColorOf(v);
        std::memcpy(bytes, &c, 3);
        size = 3;  // the fourth byte is left as it is
        break;
      }
      default:
        break;
    }
  }

  void Row(uint8_t* row, int32_t X1, int32_t X2) const {
    if (!row || X2 < X1) return;
    if (format == TQxPixelFormat::qx1g) {
      for (int32_t x = X1; x <= X2; ++x) QxSetRowBit(row, x, v != 0);
      return;
    }
    if (size == 0) return;
    const int32_t stride = format == TQxPixelFormat::qx32RGB ? 4 : size;
    if (size == 1) {
      std::memset(row + X1, bytes[0], size_t(X2 - X1 + 1));
      return;
    }
    for (int64_t x = X1; x <= X2; ++x) std::memcpy(row + x * stride, bytes, size_t(size));
  }
};

}  // namespace

// ---------------------------------------------------------------- whole copies

void TQxBitmap::AssignFrom(TQxBaseBitmap* ASource) {
  auto* Source = dynamic_cast<TQxBitmap*>(ASource);
  if (!Source || Source == this) return;
  Reallocate = true;
  if (location_ == TQxLocation::qxTBitmap) {
    if (Source->IsEmpty()) return;
    const TQxPixelFormat f = Source->PixelFormat();
    if (f != TQxPixelFormat::qx1g && f != TQxPixelFormat::qx8p && f != TQxPixelFormat::qx8g &&
        f != TQxPixelFormat::qx24RGB && f != TQxPixelFormat::qx32RGB) {
      // The platform bitmap has no layout for it: hold the copy in memory instead.
      location_ = TQxLocation::qxMemory;
      FreeImage(true);
    } else {
      if (!vclBitmapNotOwned_) FreeImage(false);
      alpha_.reset();
      rowAlignment_ = Source->rowAlignment_;
      width_ = Source->Width();
      height_ = Source->Height();
      format_ = f;
      if (!AllocateStorage(false)) {  // every row is copied below
        width_ = height_ = rowLength_ = 0;
        return;
      }
      Opaque = Source->Opaque;
    }
  } else {
    FreeImage(true);
  }
  if (location_ != TQxLocation::qxTBitmap) {
    width_ = Source->Width();
    height_ = Source->Height();
    format_ = Source->PixelFormat();
    rowAlignment_ = Source->rowAlignment_;
    if (!AllocateStorage()) {
      width_ = height_ = rowLength_ = bitsPerPixel_ = channelCount_ = 0;
      return;
    }
    Opaque = Source->Opaque;
  }
  const uint8_t sm = Source->AccessMode, dm = AccessMode;
  Source->AccessMode = 1;
  AccessMode = 2;
  if (location_ == TQxLocation::qxFile && Source->location_ == TQxLocation::qxFile && fragments_.empty() &&
      Source->fragments_.empty() && rowLength_ == Source->rowLength_ && Origin == Source->Origin) {
    ReleaseMappedRows();
    Source->ReleaseMappedRows();
    Source->fileBuffer_->CopyTo(fileBuffer_.get(), int64_t(rowLength_) * height_, 0);
  } else {
    CopyRowsFrom(Source);
  }
  Source->AccessMode = sm;
  AccessMode = dm;
  if (!isAlphaChannel_) {
    if (Source->alpha_)
      GetAlphaChannel()->AssignFrom(Source->alpha_.get());
    else
      RemoveAlphaChannel(false);
  }
  Source->CopyPaletteTo(this);
  BWConversion = Source->BWConversion;
}

void TQxBitmap::CopyFrom(TQxBitmap* Source) {
  if (!Source || Source == this || Source->IsEmpty()) return;
  Reallocate = true;
  const TQxPixelFormat f = Source->PixelFormat();
  if (location_ == TQxLocation::qxTBitmap &&
      !(f == TQxPixelFormat::qx1g || f == TQxPixelFormat::qx8p || f == TQxPixelFormat::qx8g ||
        f == TQxPixelFormat::qx24RGB || f == TQxPixelFormat::qx32RGB)) {
    // No platform layout for this format: the copy goes to memory.
    std::unique_ptr<TQxBitmap> keep = std::move(alpha_);
    FreeImage(false);
    location_ = TQxLocation::qxMemory;
    alpha_ = std::move(keep);
  }
  std::unique_ptr<TQxBitmap> keepAlpha = std::move(alpha_);
  if (location_ == TQxLocation::qxTBitmap) {
    if (!vclBitmapNotOwned_) FreeImage(false);
  } else {
    FreeImage(false);
  }
  width_ = Source->Width();
  height_ = Source->Height();
  format_ = f;
  const bool ok = AllocateStorage();
  alpha_ = std::move(keepAlpha);
  if (!ok) {
    width_ = height_ = rowLength_ = bitsPerPixel_ = channelCount_ = 0;
    return;
  }
  Opaque = false;
  const uint8_t sm = Source->AccessMode, dm = AccessMode;
  Source->AccessMode = 1;
  AccessMode = 2;
  if (location_ == TQxLocation::qxFile && Source->location_ == TQxLocation::qxFile && fragments_.empty() &&
      Source->fragments_.empty() && rowLength_ == Source->rowLength_ && Origin == Source->Origin) {
    ReleaseMappedRows();
    Source->ReleaseMappedRows();
    Source->fileBuffer_->CopyTo(fileBuffer_.get(), int64_t(rowLength_) * height_, 0);
  } else {
    CopyRowsFrom(Source);
  }
  Source->AccessMode = sm;
  AccessMode = dm;
  Source->CopyPaletteTo(this);
}

void TQxBitmap::CopyFromDib(TQxDibbitmap* Dib) {
#ifdef QV_HAVE_DIB_BITMAP
  if (!Dib) return;
  TQxBaseBitmap* d = Dib;
  const int32_t bits = d->BitCount();
  TQxPixelFormat f = bits == 1 ? TQxPixelFormat::qx1g : bits == 8 ? TQxPixelFormat::qx8g : TQxPixelFormat::qx24RGB;
  if (bits != 1 && bits != 8 && bits != 24) return;
  if (location_ == TQxLocation::qxTBitmap && bits == 8) location_ = TQxLocation::qxMemory;
  if (!Allocate(d->Width(), d->Height(), f)) return;
  const size_t len = size_t(std::min(rowLength_, d->RowLen()));
  for (int32_t y = 0; y < height_; ++y) std::memcpy(Scanline(y), d->Scanline(y), len);
#else
  (void)Dib;
#endif
}

// ---------------------------------------------------------------- rectangles

void TQxBitmap::CopyRectTo(TQxBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t AWidth,
                           int32_t AHeight) {
  if (!Dest) return;
  int64_t sx = SrcX, sy = SrcY, dx = DstX, dy = DstY, w = AWidth, h = AHeight;
  // Clip against both bitmaps; parts outside either are simply not copied.
  if (dx < 0) {
    sx -= dx;
    w += dx;
    dx = 0;
  }
  if (dy < 0) {
    sy -= dy;
    h += dy;
    dy = 0;
  }
  if (sx < 0) {
    dx -= sx;
    w += sx;
    sx = 0;
  }
  if (sy < 0) {
    dy -= sy;
    h += sy;
    sy = 0;
  }
  const int32_t sw = Width(), sh = Height(), dw = Dest->Width(), dh = Dest->Height();
  w = std::min({w, int64_t(sw) - sx, int64_t(dw) - dx});
  h = std::min({h, int64_t(sh) - sy, int64_t(dh) - dy});
  if (w <= 0 || h <= 0) return;
  const TQxPixelFormat sf = format_, df = Dest->format_;
  const uint8_t sm = AccessMode;
  AccessMode = 1;
  const bool sameBitmap = Dest == this;
  std::vector<uint8_t> tmp;
  for (int64_t y = 0; y < h; ++y) {
    const uint8_t* s = Scanline(int32_t(sy + y));
    if (sameBitmap || location_ == TQxLocation::qxFile) {
      tmp.assign(s, s + rowLength_);
      s = tmp.data();
    }
    uint8_t* d = Dest->Scanline(int32_t(dy + y));
    if (!s || !d) break;
    if (sf == TQxPixelFormat::qx1g && df == TQxPixelFormat::qx1g) {
      QxCopyBits(d, s, int32_t(dx), rowLength_, int32_t(w), int32_t(sx));
    } else if (sf == TQxPixelFormat::qx1g && df == TQxPixelFormat::qx24RGB) {
      for (int64_t x = 0; x < w; ++x) {
        const uint8_t v = QxGetRowBit(s, int32_t(sx + x)) ? 255 : 0;
        std::memset(d + 3 * (dx + x), v, 3);
      }
    } else if (sf == df && PixelBytes(sf) > 0) {
      const int64_t pb = PixelBytes(sf);
      std::memmove(d + dx * pb, s + sx * pb, size_t(w * pb));
    } else {
      break;
    }
  }
  AccessMode = sm;
}

void TQxBitmap::MaxAlphaRectTo(TQxBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                               int32_t AWidth, int32_t AHeight) {
  if (!Dest) return;
  TQxBitmap* sa = GetAlphaChannel();
  TQxBitmap* da = Dest->GetAlphaChannel();
  if (!sa || !da || sa->format_ != TQxPixelFormat::qx8g || da->format_ != TQxPixelFormat::qx8g) return;
  int64_t sx = SrcX, sy = SrcY, dx = DstX, dy = DstY, w = AWidth, h = AHeight;
  if (dx < 0) { sx -= dx; w += dx; dx = 0; }
  if (dy < 0) { sy -= dy; h += dy; dy = 0; }
  if (sx < 0) { dx -= sx; w += sx; sx = 0; }
  if (sy < 0) { dy -= sy; h += sy; sy = 0; }
  w = std::min({w, int64_t(sa->width_) - sx, int64_t(da->width_) - dx});
  h = std::min({h, int64_t(sa->height_) - sy, int64_t(da->height_) - dy});
  if (w <= 0 || h <= 0) return;
  std::vector<uint8_t> tmp(static_cast<size_t>(w));
  for (int64_t y = 0; y < h; ++y) {
    std::memcpy(tmp.data(), sa->Scanline(int32_t(sy + y)) + sx, size_t(w));
    uint8_t* d = da->Scanline(int32_t(dy + y)) + dx;
    for (int64_t x = 0; x < w; ++x) d[x] = std::max(d[x], tmp[size_t(x)]);
  }
  da->Opaque = false;
}

void TQxBitmap::MoveRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DstX, int32_t DstY,
                         double FillValue, bool FillSource) {
  const int64_t w = int64_t(X2) - X1 + 1, h = int64_t(Y2) - Y1 + 1;
  if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return;
  TQxBitmap tmp;
  tmp.location_ = TQxLocation::qxMemory;
  tmp.MemoryThreshold = MemoryThreshold;
  if (!tmp.Allocate(int32_t(w), int32_t(h), format_)) return;
  CopyRectTo(&tmp, X1, Y1, 0, 0, int32_t(w), int32_t(h));
  if (FillSource) FillRect(X1, Y1, X2, Y2, FillValue);
  tmp.CopyRectTo(this, 0, 0, DstX, DstY, int32_t(w), int32_t(h));
}

// ---------------------------------------------------------------- filling

void TQxBitmap::Fill(double Value) {
  if (format_ == TQxPixelFormat::qxInvalid || IsEmpty()) return;
  const PixelFill pf(format_, Value);
  const uint8_t mode = AccessMode;
  AccessMode = 2;
  const int32_t h = Height(), w = Width();
  if (format_ == TQxPixelFormat::qx1g || format_ == TQxPixelFormat::qx8p || format_ == TQxPixelFormat::qx8g) {
    const uint8_t b = format_ == TQxPixelFormat::qx1g ? (pf.v != 0 ? 255 : 0) : uint8_t(pf.v);
    // Rows held in memory are filled on every core (a new alpha channel is often fresh memory, whose first
    // touch costs more than the fill).
    ParallelBands(0, h, MapsRows() ? INT32_MAX : 64, [&](int32_t First, int32_t Last) {
      for (int32_t y = First; y < Last; ++y) std::memset(Scanline(y), b, size_t(rowLength_));
    });
  } else if (format_ == TQxPixelFormat::qx32RGB) {
    AccessMode = 3;  // the fourth byte of each pixel is kept, so rows are read first
    for (int32_t y = 0; y < h; ++y) pf.Row(Scanline(y), 0, w - 1);
  } else {
    std::vector<uint8_t> row(static_cast<size_t>(rowLength_), 0);
    pf.Row(row.data(), 0, w - 1);
    ParallelBands(0, h, MapsRows() ? INT32_MAX : 64, [&](int32_t First, int32_t Last) {
      for (int32_t y = First; y < Last; ++y) std::memcpy(Scanline(y), row.data(), row.size());
    });
  }
  AccessMode = mode;
  switch (format_) {
    case TQxPixelFormat::qx1g:
      Opaque = pf.v != 0;
      break;
    case TQxPixelFormat::qx8p:
    case TQxPixelFormat::qx8g:
      Opaque = pf.v == 255;
      break;
    case TQxPixelFormat::qx16g:
      Opaque = pf.v == 65535;
      break;
    case TQxPixelFormat::qx32f:
      Opaque = Value == 1.0;
      break;
    default:
      Opaque = IsWhite(ColorOf(pf.v));
      break;
  }
}

void TQxBitmap::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value) {
  if (format_ == TQxPixelFormat::qxInvalid || IsEmpty()) return;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, Width() - 1);
  Y2 = std::min(Y2, Height() - 1);
  if (Y2 < Y1 || X2 < X1) return;
  const PixelFill pf(format_, Value);
  for (int32_t y = Y1; y <= Y2; ++y) pf.Row(Scanline(y), X1, X2);
}

// ---------------------------------------------------------------- resizing

void TQxBitmap::ChangeWidth(int32_t NewWidth) {
  if (NewWidth == width_ || NewWidth < 0) return;
  if (alpha_) alpha_->ChangeWidth(NewWidth);
  if (location_ == TQxLocation::qxTBitmap) {
    if (!vclBitmap_) {
      vclBitmap_ = new TBitmap();
      vclBitmapNotOwned_ = false;
    }
    try {
      vclBitmap_->SetSize(NewWidth, vclBitmap_->Height());
    } catch (...) {
      return;
    }
    width_ = vclBitmap_->Width();
    rowLength_ = vclBitmap_->RowBytes();
    BuildRowTable();
    return;
  }
  if (format_ == TQxPixelFormat::qxInvalid || height_ <= 0) {
    width_ = NewWidth;
    return;
  }
  TQxBitmap tmp;
  MoveStorageTo(&tmp);
  Origin = tmp.Origin;
  Allocate(NewWidth, tmp.height_, tmp.format_);
  CopyRowsFrom(&tmp);
  palette_ = tmp.palette_;
  alpha_ = std::move(tmp.alpha_);
  Opaque = false;
}

void TQxBitmap::ChangeHeight(int32_t NewHeight) {
  if (NewHeight == height_ || NewHeight < 0) return;
  if (alpha_) alpha_->ChangeHeight(NewHeight);
  if (location_ == TQxLocation::qxTBitmap) {
    if (!vclBitmap_) {
      vclBitmap_ = new TBitmap();
      vclBitmapNotOwned_ = false;
    }
    try {
      vclBitmap_->SetSize(vclBitmap_->Width(), NewHeight);
    } catch (...) {
      return;
    }
    height_ = vclBitmap_->Height();
    rowLength_ = vclBitmap_->RowBytes();
    BuildRowTable();
    return;
  }
  if (format_ == TQxPixelFormat::qxInvalid || width_ <= 0) {
    height_ = NewHeight;
    return;
  }
  TQxBitmap tmp;
  MoveStorageTo(&tmp);
  Origin = tmp.Origin;
  Allocate(tmp.width_, NewHeight, tmp.format_);
  CopyRowsFrom(&tmp);
  palette_ = tmp.palette_;
  alpha_ = std::move(tmp.alpha_);
  Opaque = false;
}

bool TQxBitmap::GrowCanvasInOnePass(int32_t NewWidth, int32_t NewHeight, int32_t OffsetX, int32_t OffsetY,
                                    double FillValue) {
  const int32_t W = width_, H = height_;
  if (bitsPerPixel_ < 8 || bitsPerPixel_ % 8 != 0 || W < 1 || H < 1 || !fragments_.empty()) return false;
  const bool platform = location_ == TQxLocation::qxTBitmap && vclBitmap_ &&
                        vclBitmap_->BitsPerPixel() == bitsPerPixel_ && vclBitmap_->Width() == W &&
                        vclBitmap_->Height() == H;
  if (!platform && location_ != TQxLocation::qxMemory) return false;
  // The fill value's bytes, exactly as FillRect writes them.
  TQxBitmap one;
  one.location_ = TQxLocation::qxMemory;
  if (!one.Allocate(1, 1, format_)) return false;
  one.palette_ = palette_;
  one.FillRect(0, 0, 0, 0, FillValue);
  const size_t B = size_t(bitsPerPixel_ / 8);
  std::vector<uint8_t> fill(one.Scanline(0), one.Scanline(0) + B);
  if (platform) {
    try {
      vclBitmap_->GrowTo(NewWidth, NewHeight, OffsetX, OffsetY, fill.data());
    } catch (...) {
      return false;
    }
    width_ = vclBitmap_->Width();
    height_ = vclBitmap_->Height();
    rowLength_ = vclBitmap_->RowBytes();
    BuildRowTable();
    return true;
  }
  TQxBitmap old;
  MoveStorageTo(&old);
  Origin = old.Origin;
  if (!Allocate(NewWidth, NewHeight, old.format_)) {
    old.MoveStorageTo(this);
    return false;
  }
  palette_ = old.palette_;
  alpha_ = std::move(old.alpha_);
  std::vector<uint8_t> fillRow(size_t(NewWidth) * B);
  for (int32_t x = 0; x < NewWidth; ++x) std::memcpy(fillRow.data() + size_t(x) * B, fill.data(), B);
  const size_t left = size_t(OffsetX) * B, mid = size_t(W) * B;
  for (int32_t y = 0; y < NewHeight; ++y) {
    uint8_t* row = Scanline(y);
    const int32_t oy = y - OffsetY;
    if (oy < 0 || oy >= H) {
      std::memcpy(row, fillRow.data(), fillRow.size());
      continue;
    }
    std::memcpy(row, fillRow.data(), left);
    std::memcpy(row + left, old.Scanline(oy), mid);
    std::memcpy(row + left + mid, fillRow.data(), fillRow.size() - left - mid);
  }
  Opaque = false;
  return true;
}

void TQxBitmap::ResizeCanvas(int32_t NewWidth, int32_t NewHeight, double FillValue, int32_t AlphaFill,
                             int32_t HorizAlign, int32_t VertAlign) {
  if (HorizAlign < 0 || HorizAlign > 2) HorizAlign = 0;
  if (VertAlign < 0 || VertAlign > 2) VertAlign = 0;
  const int32_t W = Width(), H = Height();
  if (NewWidth >= W && NewHeight >= H && (NewWidth > W || NewHeight > H)) {
    // Growing: every new pixel is written once, the old ones copied once.
    const int32_t ox = HorizAlign == 1 ? (NewWidth - W) / 2 : HorizAlign == 2 ? NewWidth - W : 0;
    const int32_t oy = VertAlign == 1 ? (NewHeight - H) / 2 : VertAlign == 2 ? NewHeight - H : 0;
    std::unique_ptr<TQxBitmap> a = std::move(alpha_);
    const bool done = GrowCanvasInOnePass(NewWidth, NewHeight, ox, oy, FillValue);
    alpha_ = std::move(a);
    if (done) {
      if (alpha_ && !alpha_->GrowCanvasInOnePass(NewWidth, NewHeight, ox, oy, AlphaFill))
        alpha_->ResizeCanvas(NewWidth, NewHeight, AlphaFill, 0, HorizAlign, VertAlign);
      return;
    }
  }
  auto shrink = [&](TQxBitmap* b, double v) {
    if (NewWidth < W && HorizAlign != 0) {
      const int32_t x1 = HorizAlign == 1 ? (W - NewWidth) / 2 : W - NewWidth;
      b->MoveRect(x1, 0, x1 + NewWidth - 1, H - 1, 0, 0, v, true);
    }
    if (NewHeight < H && VertAlign != 0) {
      const int32_t y1 = VertAlign == 1 ? (H - NewHeight) / 2 : H - NewHeight;
      b->MoveRect(0, y1, W - 1, y1 + NewHeight - 1, 0, 0, v, true);
    }
  };
  auto grow = [&](TQxBitmap* b, double v) {
    if (W < NewWidth) {
      b->FillRect(W, 0, NewWidth - 1, NewHeight - 1, v);
      if (HorizAlign == 1)
        b->MoveRect(0, 0, W - 1, H - 1, (NewWidth - W) / 2, 0, v, true);
      else if (HorizAlign == 2)
        b->MoveRect(0, 0, W - 1, H - 1, NewWidth - W, 0, v, true);
    }
    if (H < NewHeight) {
      b->FillRect(0, H, NewWidth - 1, NewHeight - 1, v);
      if (VertAlign == 1)
        b->MoveRect(0, 0, NewWidth - 1, H - 1, 0, (NewHeight - H) / 2, v, true);
      else if (VertAlign == 2)
        b->MoveRect(0, 0, NewWidth - 1, H - 1, 0, NewHeight - H, v, true);
    }
  };
  shrink(this, FillValue);
  if (alpha_) shrink(alpha_.get(), AlphaFill);
  ChangeWidth(NewWidth);
  ChangeHeight(NewHeight);
  grow(this, FillValue);
  if (alpha_) grow(alpha_.get(), AlphaFill);
}

// ---------------------------------------------------------------- tests

bool TQxBitmap::IsGrayScale() {
  const int32_t w = Width(), h = Height();
  switch (format_) {
    case TQxPixelFormat::qx8p:
      for (const TQxRGB& c : palette_)
        if (c.r != c.g || c.g != c.b) return false;
      return true;
    case TQxPixelFormat::qx24RGB:
    case TQxPixelFormat::qx32RGB: {
      const int32_t step = format_ == TQxPixelFormat::qx24RGB ? 3 : 4;
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = ScanlineToRead(y);
        for (int32_t x = 0; x < w; ++x, p += step)
          if (p[0] != p[1] || p[1] != p[2]) return false;
      }
      return true;
    }
    case TQxPixelFormat::qxRGB48:
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* p = Scanline(y);
        for (int32_t x = 0; x < w; ++x, p += 6) {
          TQxRGB48 c;
          std::memcpy(&c, p, 6);
          if (c.r != c.g || c.g != c.b) return false;
        }
      }
      return true;
    default:
      return true;
  }
}

bool TQxBitmap::IsAllZero() {
  const int64_t bytes = (int64_t(Width()) * bitsPerPixel_ + 7) / 8;
  const int32_t h = Height();
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = ScanlineToRead(y);
    for (int64_t i = 0; i < bytes; ++i)
      if (p[i]) return false;
  }
  return true;
}
