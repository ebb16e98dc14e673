#include "imaging/processing/geometry.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "imaging/foundation/resample.h"
#include "imaging/processing/proc.h"
#include "imaging/processing/proc_internal.h"
#include "imaging/processing/rotate.h"
#include "imaging/processing/rotate_shear.h"

using namespace qxproc;

namespace {

void ReversePixels(uint8_t* Row, int32_t W, int32_t Bpp) {
  if (Bpp == 1) {
    std::reverse(Row, Row + W);
    return;
  }
  uint8_t* l = Row;
  uint8_t* r = Row + int64_t(W - 1) * Bpp;
  if (Bpp == 3) {
    for (; l < r; l += 3, r -= 3) {
      std::swap(l[0], r[0]);
      std::swap(l[1], r[1]);
      std::swap(l[2], r[2]);
    }
    return;
  }
  uint8_t tmp[8];
  for (; l < r; l += Bpp, r -= Bpp) {
    std::memcpy(tmp, l, Bpp);
    std::memcpy(l, r, Bpp);
    std::memcpy(r, tmp, Bpp);
  }
}

}  // namespace

TQxBitmap* QxStretchNearest(TQxBitmap* Source, TQxBitmap* Dest, TObject* Sender, const TQxProgressEvent& OnProgress) {
  const int32_t sw = Source->Width(), sh = Source->Height();
  const int32_t dw = Dest->Width(), dh = Dest->Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return Dest;
  const TQxPixelFormat f = Source->PixelFormat();
  if (Dest->PixelFormat() != f) return Dest;
  TQxAccessGuard SourceGuard(Source, 1), DestGuard(Dest, 2);
  std::vector<int32_t> cols(dw);
  const double rx = double(sw) / double(dw), ry = double(sh) / double(dh);
  for (int32_t i = 0; i < dw; ++i) cols[i] = std::min<int32_t>(int32_t(Trunc(i * rx)), sw - 1);
  const int32_t bpp = BytesPerPixel(f);
  int32_t last = -1;
  for (int32_t j = 0; j < dh; ++j) {
    const int32_t sy = std::min<int32_t>(int32_t(Trunc(j * ry)), sh - 1);
    const uint8_t* s = Source->Scanline(sy);
    uint8_t* d = Dest->Scanline(j);
    if (f == TQxPixelFormat::qx1g) {
      for (int32_t i = 0; i < dw; ++i) SetBit(d, i, GetBit(s, cols[i]));
    } else if (bpp == 1) {
      for (int32_t i = 0; i < dw; ++i) d[i] = s[cols[i]];
    } else if (bpp == 3) {
      for (int32_t i = 0; i < dw; ++i) {
        const uint8_t* p = s + int64_t(cols[i]) * 3;
        d[i * 3] = p[0];
        d[i * 3 + 1] = p[1];
        d[i * 3 + 2] = p[2];
      }
    } else if (bpp > 0) {
      for (int32_t i = 0; i < dw; ++i) std::memcpy(d + int64_t(i) * bpp, s + int64_t(cols[i]) * bpp, bpp);
    }
    if (OnProgress) {
      const int32_t per = int32_t(Trunc(j * 100.0 / (dh + 0.5)));
      if (per != last) {
        last = per;
        OnProgress(Sender, per);
      }
    }
  }
  if (f == TQxPixelFormat::qx8p) Source->CopyPaletteTo(Dest);
  return Dest;
}

void QxResampleBitmap(TQxBitmap* Source, TQxBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                      const TQxProgressEvent& OnProgress) {
  if (Source->Width() == Dest->Width() && Source->Height() == Dest->Height()) {
    Dest->AssignFrom(Source);
    return;
  }
  if (Filter == TResampleFilter::rfNone) {
    QxStretchNearest(Source, Dest, Sender, OnProgress);
  } else if (Source->PixelFormat() == TQxPixelFormat::qx1g) {
    const bool project = Filter == TResampleFilter::rfProjectBW || Filter == TResampleFilter::rfProjectWB;
    Dest->SetPixelFormat(project ? TQxPixelFormat::qx1g : TQxPixelFormat::qx24RGB);
    QxResample1Bit(Source, Dest, Filter);
  } else {
    QxResample(Source, Dest, Filter, Sender, OnProgress);
  }
  if (Source->HasAlphaChannel()) {
    TQxBitmap* sa = Source->GetAlphaChannel();
    TQxBitmap* da = Dest->GetAlphaChannel();
    if (da->Width() != Dest->Width() || da->Height() != Dest->Height())
      da->Allocate(Dest->Width(), Dest->Height(), TQxPixelFormat::qx8g);
    if (Filter == TResampleFilter::rfNone)
      QxStretchNearest(sa, da);
    else
      QxResampleGray8(sa, da, Filter);
    da->Opaque = sa->Opaque;
  }
}

void QxFlipBitmap(TQxBitmap* Bitmap, int32_t Direction) {
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  if (w <= 0 || h <= 0 || (Direction != 0 && Direction != 1)) return;
  const TQxPixelFormat f = Bitmap->PixelFormat();
  const int32_t len = Bitmap->RowLen();
  if (Direction == 1) {
    std::vector<uint8_t> tmp(len);
    for (int32_t i = 0, j = h - 1; i < j; ++i, --j) {
      uint8_t* a = Bitmap->LockRow(i);
      uint8_t* b = Bitmap->LockRow(j);
      std::memcpy(tmp.data(), a, len);
      std::memcpy(a, b, len);
      std::memcpy(b, tmp.data(), len);
      Bitmap->UnlockRow(j);
      Bitmap->UnlockRow(i);
    }
  } else if (f == TQxPixelFormat::qx1g) {
    std::vector<uint8_t> tmp(len);
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* row = Bitmap->LockRow(y);
      std::memcpy(tmp.data(), row, len);
      for (int32_t x = 0; x < w; ++x) SetBit(row, x, GetBit(tmp.data(), w - 1 - x));
      Bitmap->UnlockRow(y);
    }
  } else {
    const int32_t bpp = BytesPerPixel(f);
    if (bpp > 0) {
      for (int32_t y = 0; y < h; ++y) {
        ReversePixels(Bitmap->LockRow(y), w, bpp);
        Bitmap->UnlockRow(y);
      }
    }
  }
  if (Bitmap->HasAlphaChannel()) QxFlipBitmap(Bitmap->GetAlphaChannel(), Direction);
}

void QxOpaqueBounds(TQxBitmap* Bitmap, TRect& R) {
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  R = TRect{0, 0, w - 1, h - 1};
  if (!Bitmap->HasAlphaChannel()) return;
  TQxBitmap* a = Bitmap->GetAlphaChannel();
  int32_t left = w, right = -1, top = h, bottom = -1;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = a->Scanline(y);
    int32_t first = -1, lastx = -1;
    for (int32_t x = 0; x < w; ++x)
      if (row[x]) {
        first = x;
        break;
      }
    if (first < 0) continue;
    for (int32_t x = w - 1; x >= first; --x)
      if (row[x]) {
        lastx = x;
        break;
      }
    left = std::min(left, first);
    right = std::max(right, lastx);
    if (top == h) top = y;
    bottom = y;
  }
  R = TRect{left, top, right, bottom};
}

// ---------------------------------------------------------------------------------------------------------
// Component operations

void TQuillotProc::ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HAlign, uint8_t VAlign,
                               int32_t FillAlpha) {
  // A size of 0 or less cannot be a canvas; the reflection program may ask for one.
  if (NewWidth <= 0 || NewHeight <= 0) return;
  if (!BeginWork({})) return;
  TQxBitmap* b = WorkBitmap();
  if (NewWidth == b->Width() && NewHeight == b->Height()) return;
  if (AutoUndo())
    SaveUndoCaptioned("ImageResize " + std::to_string(NewWidth) + "," + std::to_string(NewHeight));
  if (b->Width() < 2 && b->Height() < 2) Clear();
  if (FillAlpha < 255) b->GetAlphaChannel();
  b->ResizeCanvas(NewWidth, NewHeight, Background(), FillAlpha, HAlign, VAlign);
  EndWork();
  DoFinishWork();
}

void TQuillotProc::Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) {
  if (!BeginWork({})) return;
  TQxBitmap* b = WorkBitmap();
  if (b->Width() == 0 || b->Height() == 0) return;
  if (NewWidth == b->Width() && NewHeight == b->Height()) return;
  if (AutoUndo()) {
    char caption[64];
    std::snprintf(caption, sizeof caption, "Resample %d, %d", NewWidth, NewHeight);
    SaveUndoCaptioned(caption);
  }
  TQxBitmap tmp;
  ResampleInto(&tmp, NewWidth, NewHeight, Filter);
  if (!tmp.IsEmpty()) b->AssignFrom(&tmp);
  EndWork();
  DoFinishWork();
}

void TQuillotProc::ResampleInto(TQxBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) {
  if (!Dest || !BeginWork({})) return;
  TQxBitmap* b = WorkBitmap();
  const int64_t w0 = b->Width(), h0 = b->Height();
  if (w0 == 0 || h0 == 0) return;
  // -1 keeps the aspect, other negative sizes count by their magnitude; two negative sizes say nothing.
  if (NewWidth < 0 && NewHeight < 0) return;
  // With a height of 0 (unchanged) the aspect-kept width is the present width, not 0.
  const int64_t hRef = NewHeight == 0 ? h0 : std::abs(int64_t(NewHeight));
  int64_t w = NewWidth == -1 ? w0 * hRef / h0 : NewWidth == 0 ? w0 : std::abs(int64_t(NewWidth));
  w = std::max<int64_t>(w, 1);
  int64_t h = NewHeight == -1 ? h0 * w / w0 : NewHeight == 0 ? h0 : std::abs(int64_t(NewHeight));
  h = std::max<int64_t>(h, 1);
  if (w > INT32_MAX || h > INT32_MAX) return;
  if (!Dest->Allocate(int32_t(w), int32_t(h), b->PixelFormat())) return;
  QxResampleBitmap(b, Dest, Filter, this, OnProgress);
  DoFinishWork();
}

void TQuillotProc::Flip(int32_t Direction) {
  if (!BeginWork({})) return;
  if (AutoUndo()) SaveUndoCaptioned("Flip");
  QxFlipBitmap(WorkBitmap(), Direction);
  EndWork();
  DoFinishWork();
}

void TQuillotProc::Rotate(double Angle, uint8_t AntiAlias, uint8_t Quality, TColor ABackground) {
  if (Angle == 0 || !BeginWork({})) return;
  if (AutoUndo()) {
    char caption[64];
    std::snprintf(caption, sizeof caption, "Rotate %.2f", Angle);
    SaveUndoCaptioned(caption);
  }
  if (ABackground == -1) ABackground = Background();
  TQxBitmap* b = WorkBitmap();
  std::unique_ptr<TQxBitmap> alpha;
  if (b->HasAlphaChannel()) {
    alpha = std::make_unique<TQxBitmap>();
    alpha->AssignFrom(b->GetAlphaChannel());
  }
  const TQxPixelFormat f = b->PixelFormat();
  const bool is24 = f == TQxPixelFormat::qx24RGB, is1 = f == TQxPixelFormat::qx1g;
  if (AntiAlias != 1 || (!is24 && !is1)) {
    QxRotateNearest(b, ABackground, this, OnProgress, Angle);
    if (alpha) QxRotateNearest(alpha.get(), 0, nullptr, {}, Angle);
  } else if (Quality != 0 && !QxIsRightAngle(Angle) && is24) {
    QxRotateInterpolated24(b, ABackground, Quality, this, OnProgress, Angle);
    if (alpha) QxRotateInterpolated8(alpha.get(), 0, Quality, Angle);
  } else {
    if (alpha) {
      if (is1)
        QxRotatePlane8Nearest(alpha.get(), 0, Angle);
      else
        QxRotatePlane8(alpha.get(), 1, 0, this, OnProgress, Angle);
    }
    QxRotateBitmap(b, 1, this, OnProgress, TColorToPacked(ABackground), Angle);
  }
  if (alpha) {
    TQxBitmap* a = b->GetAlphaChannel();
    if (a) a->AssignFrom(alpha.get());
  }
  EndWork();
  DoFinishWork();
}

void TQuillotProc::Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!BeginWork({})) return;
  TQxBitmap* b = WorkBitmap();
  if (X1 == 0 && Y1 == 0 && X2 == b->Width() - 1 && Y2 == b->Height() - 1) return;
  if (AutoUndo()) {
    char caption[96];
    std::snprintf(caption, sizeof caption, "Crop %d, %d, %d, %d", X1, Y1, X2, Y2);
    SaveUndoCaptioned(caption);
  }
  const int64_t w = int64_t(X2) - X1 + 1, h = int64_t(Y2) - Y1 + 1;
  if (w > 0 && h > 0 && w <= INT32_MAX && h <= INT32_MAX) {
    TQxBitmap part;
    if (part.Allocate(int32_t(w), int32_t(h), b->PixelFormat())) {
      // A rectangle reaching past the picture keeps black (and transparent) there, never stale memory.
      part.Fill(0);
      b->CopyRectTo(&part, X1, Y1, 0, 0, int32_t(w), int32_t(h));
      b->CopyPaletteTo(&part);
      std::unique_ptr<TQxBitmap> alpha;
      if (b->HasAlphaChannel()) {
        alpha = std::make_unique<TQxBitmap>();
        if (alpha->Allocate(int32_t(w), int32_t(h), TQxPixelFormat::qx8g)) {
          alpha->Fill(0);
          b->GetAlphaChannel()->CopyRectTo(alpha.get(), X1, Y1, 0, 0, int32_t(w), int32_t(h));
        }
      }
      b->CopyFrom(&part);
      if (alpha) b->GetAlphaChannel()->AssignFrom(alpha.get());
    }
  }
  EndWork();
  DoFinishWork();
}

void TQuillotProc::CropToRect(const TRect& R) { Crop(R.Left, R.Top, R.Right, R.Bottom); }

void TQuillotProc::CropToOpaque() {
  if (!BeginWork({})) return;
  TRect r;
  QxOpaqueBounds(WorkBitmap(), r);
  const bool saved = AutoUndo();
  SetAutoUndo(false);
  CropToRect(r);
  SetAutoUndo(saved);
}
