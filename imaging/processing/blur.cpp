#include "imaging/processing/blur.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "imaging/processing/filters.h"
#include "imaging/processing/proc_internal.h"

using namespace qxproc;

void QxGaussKernel(TQxGaussKernel& Kernel, double Sigma) {
  double sum = 0;
  for (int i = 0; i <= 200; ++i) {
    // A sigma of 0 or less leaves only the centre tap.
    const double t = Sigma > 0 ? std::exp(-std::pow((i - 100) / Sigma, 2) / 2) : (i == 100 ? 1.0 : 0.0);
    Kernel.Taps[i] = t;
    sum += t;
  }
  for (int i = 0; i <= 200; ++i) Kernel.Weights[i] = int32_t(Round(Kernel.Taps[i] * 65536.0 / sum));
  int r = 100;
  while (r > 1 && Kernel.Weights[100 + r] == 0 && Kernel.Weights[100 - r] == 0) --r;
  Kernel.Radius = uint8_t(r);
}

namespace {

template <int C>
void BlurLine(const TQxGaussKernel& K, const uint8_t* Src, uint8_t* Dst, int32_t Count) {
  const int32_t r = K.Radius;
  const int32_t* w = K.Weights + 100;
  for (int32_t k = 0; k < Count; ++k) {
    int64_t acc[C] = {};
    for (int32_t d = -r; d <= r; ++d) {
      int32_t i = k + d;
      i = i < 0 ? 0 : i >= Count ? Count - 1 : i;
      const uint8_t* s = Src + int64_t(i) * C;
      for (int c = 0; c < C; ++c) acc[c] += int64_t(w[d]) * s[c];
    }
    for (int c = 0; c < C; ++c) Dst[int64_t(k) * C + c] = ClampByte((acc[c] + 32768) >> 16);
  }
}

template <int C>
void BlurPlane(TQxBitmap* B, const TQxGaussKernel& K, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
               TObject* Sender, const TQxProgressEvent& OnProgress, bool WithProgress) {
  const int32_t w = X2 - X1 + 1, h = Y2 - Y1 + 1;
  if (w <= 0 || h <= 0) return;
  const double factor = 100.0 / double(B->Height() + B->Width());
  std::vector<uint8_t> in(size_t(std::max(w, h)) * C), out(in.size());
  for (int32_t y = Y1; y <= Y2; ++y) {
    uint8_t* row = B->Scanline(y) + int64_t(X1) * C;
    std::memcpy(in.data(), row, size_t(w) * C);
    BlurLine<C>(K, in.data(), out.data(), w);
    std::memcpy(row, out.data(), size_t(w) * C);
    if (WithProgress && OnProgress) Report(OnProgress, Sender, (y - Y1) * factor);
  }
  // Columns: gathered through locked rows so that every storage location keeps its pointers.
  std::vector<uint8_t*> rows(h);
  for (int32_t y = 0; y < h; ++y) rows[y] = B->LockRow(B->Origin ? B->Height() - 1 - (Y1 + y) : Y1 + y);
  for (int32_t x = X1; x <= X2; ++x) {
    for (int32_t y = 0; y < h; ++y) std::memcpy(&in[size_t(y) * C], rows[y] + int64_t(x) * C, C);
    BlurLine<C>(K, in.data(), out.data(), h);
    for (int32_t y = 0; y < h; ++y) std::memcpy(rows[y] + int64_t(x) * C, &out[size_t(y) * C], C);
    if (WithProgress && OnProgress) Report(OnProgress, Sender, (B->Height() + (x - X1)) * factor);
  }
  for (int32_t y = 0; y < h; ++y) B->UnlockRow(B->Origin ? B->Height() - 1 - (Y1 + y) : Y1 + y);
}

std::vector<uint8_t> ReadPlane(TQxBitmap* A) {
  const int32_t w = A->Width(), h = A->Height();
  std::vector<uint8_t> p(size_t(int64_t(w) * h));
  for (int32_t y = 0; y < h; ++y) std::memcpy(&p[size_t(int64_t(y) * w)], A->Scanline(y), w);
  return p;
}

// Moves the inclusive rectangle of a plane by (DX, DY); the area it leaves and nothing else takes 0.
void ShiftRect(TQxBitmap* A, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DX, int32_t DY) {
  if (DX == 0 && DY == 0) return;
  const int32_t W = A->Width(), H = A->Height();
  const std::vector<uint8_t> p = ReadPlane(A);
  std::vector<uint8_t> q = p;
  for (int32_t y = Y1; y <= Y2; ++y)
    for (int32_t x = X1; x <= X2; ++x) q[size_t(int64_t(y) * W + x)] = 0;
  for (int32_t y = Y1; y <= Y2; ++y) {
    const int32_t ty = y + DY;
    if (ty < 0 || ty >= H) continue;
    for (int32_t x = X1; x <= X2; ++x) {
      const int32_t tx = x + DX;
      if (tx >= 0 && tx < W) q[size_t(int64_t(ty) * W + tx)] = p[size_t(int64_t(y) * W + x)];
    }
  }
  for (int32_t y = 0; y < H; ++y) std::memcpy(A->Scanline(y), &q[size_t(int64_t(y) * W)], W);
}

// Composes object alpha a and shadow alpha s into the picture inside the inclusive rectangle.
void Composite(TQxBitmap* B, const std::vector<uint8_t>& Obj, uint32_t Colour, double D, bool DivideBW,
               int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const TQxPixelFormat f = B->PixelFormat();
  if (f != TQxPixelFormat::qx24RGB && f != TQxPixelFormat::qx1g) return;
  TQxBitmap* A = B->GetAlphaChannel();
  const int32_t W = B->Width();
  const uint8_t col[3] = {uint8_t(Colour), uint8_t(Colour >> 8), uint8_t(Colour >> 16)};
  const bool divide = f == TQxPixelFormat::qx24RGB || DivideBW;
  std::vector<uint8_t> arow(W);
  for (int32_t y = Y1; y <= Y2; ++y) {
    std::memcpy(arow.data(), A->Scanline(y), W);
    uint8_t* row = B->Scanline(y);
    for (int32_t x = X1; x <= X2; ++x) {
      const int32_t a = Obj[size_t(int64_t(y) * W + x)], s = arow[x];
      if (a > 0 || s == 0) {
        arow[x] = uint8_t(a);
        if (a > 0 && a < 255 && f == TQxPixelFormat::qx24RGB) {
          const double v = s / 255.0, c = a / 255.0;
          uint8_t* px = row + int64_t(x) * 3;
          for (int k = 0; k < 3; ++k) {
            const double tint = double(Trunc(col[k] * v + (1 - v) * px[k]));
            px[k] = ClampByte(Trunc(c * px[k] + (1 - c) * tint));
          }
          arow[x] = ClampByte(Trunc((c + v * (1 - c)) * 255));
        }
      } else {
        if (f == TQxPixelFormat::qx24RGB)
          std::memcpy(row + int64_t(x) * 3, col, 3);
        else
          SetBit(row, x, false);
        arow[x] = (D == 1 || !divide) ? uint8_t(s) : ClampByte(Trunc(s / D));
      }
    }
    std::memcpy(A->Scanline(y), arow.data(), W);
  }
}

}  // namespace

void QxBlurRow8(const TQxGaussKernel& Kernel, const uint8_t* Source, uint8_t* Dest, int32_t Count) {
  BlurLine<1>(Kernel, Source, Dest, Count);
}

void QxBlurRow24(const TQxGaussKernel& Kernel, const uint8_t* Source, uint8_t* Dest, int32_t Count) {
  BlurLine<3>(Kernel, Source, Dest, Count);
}

void QxBlurBitmap(TQxBitmap* Bitmap, TObject* Sender, double Radius, const TQxProgressEvent& OnProgress) {
  if (!Bitmap || Radius <= 0 || Bitmap->IsEmpty()) return;
  const TQxPixelFormat f = Bitmap->PixelFormat();
  if (f != TQxPixelFormat::qx8g && f != TQxPixelFormat::qx24RGB) return;
  TQxGaussKernel k;
  QxGaussKernel(k, Radius);
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  if (f == TQxPixelFormat::qx8g)
    BlurPlane<1>(Bitmap, k, 0, 0, W - 1, H - 1, Sender, OnProgress, true);
  else
    BlurPlane<3>(Bitmap, k, 0, 0, W - 1, H - 1, Sender, OnProgress, true);
}

void QxBlurRect8(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius) {
  if (!Bitmap || Radius <= 0 || Bitmap->PixelFormat() != TQxPixelFormat::qx8g || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  X1 = std::clamp(X1, 0, W - 1);
  X2 = std::clamp(X2, 0, W - 1);
  Y1 = std::clamp(Y1, 0, H - 1);
  Y2 = std::clamp(Y2, 0, H - 1);
  TQxGaussKernel k;
  QxGaussKernel(k, Radius);
  BlurPlane<1>(Bitmap, k, X1, Y1, X2, Y2, nullptr, {}, false);
}

void QxSoftShadow(TQxBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                  bool Enlarge, uint32_t ShadowColour, const TQxProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->IsAlphaChannel()) return;
  Bitmap->GetAlphaChannel()->Opaque = false;
  if (Enlarge) {
    const int32_t m = std::max<int32_t>(2 * std::max(std::abs(OffsetX), std::abs(OffsetY)) + int32_t(Trunc(Radius * 5)), 1);
    Bitmap->ResizeCanvas(Bitmap->Width() + m, Bitmap->Height() + m, 0, 0, 1, 1);
  }
  TQxBitmap* A = Bitmap->GetAlphaChannel();
  const std::vector<uint8_t> obj = ReadPlane(A);
  QxBlurBitmap(A, Sender, Radius, OnProgress);
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  ShiftRect(A, 0, 0, W - 1, H - 1, OffsetX, OffsetY);
  Intensity = std::clamp(Intensity, 0, 100);
  const double D = 3 - 2 * Intensity / 100.0;
  Composite(Bitmap, obj, ShadowColour, D, true, 0, 0, W - 1, H - 1);
}

int32_t QxObjectSoftShadow(TQxBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                           uint32_t ShadowColour, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const double r = Radius == 0 ? 2.0 : Radius;
  const int32_t m = std::max<int32_t>(2 * std::max(std::abs(OffsetX), std::abs(OffsetY)) + int32_t(Trunc(r * 5)), 1);
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->IsAlphaChannel()) return m;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  TQxBitmap* A = Bitmap->GetAlphaChannel();
  A->Opaque = false;
  const std::vector<uint8_t> obj = ReadPlane(A);
  const int32_t bx1 = std::clamp(X1 - m / 2, 0, W - 1), by1 = std::clamp(Y1 - m / 2, 0, H - 1);
  const int32_t bx2 = std::clamp(X2 + m / 2, 0, W - 1), by2 = std::clamp(Y2 + m / 2, 0, H - 1);
  if (Radius != 0) {
    QxBlurRect8(A, bx1, by1, bx2, by2, Radius);
  } else {
    const TQxFilterPreset blur = QxFilterPresets.size() > 1 ? QxFilterPresets[1]
                                                            : TQxFilterPreset{{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9};
    QxConvolve3x3(A, blur, bx1, by1, bx2 + 1, by2 + 1);
  }
  if (bx1 <= bx2 && by1 <= by2) ShiftRect(A, bx1, by1, bx2, by2, OffsetX, OffsetY);
  Intensity = std::clamp(Intensity, 0, 100);
  const double D = 3 - 2 * Intensity / 100.0;
  Composite(Bitmap, obj, ShadowColour, D, false, std::clamp(X1 - m, 0, W - 1), std::clamp(Y1 - m, 0, H - 1),
            std::clamp(X2 + m, 0, W - 1), std::clamp(Y2 + m, 0, H - 1));
  return m;
}
