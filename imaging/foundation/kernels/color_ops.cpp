#include "imaging/foundation/kernels/color_ops.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <set>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/pixel_convert.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/foundation/kernels/quantizer.h"
#include "imaging/foundation/kernels/threshold.h"
#include "platform/base/numeric.h"

namespace {

struct RectBounds {
  int32_t x1, y1, xl, yl;  // last column and row, inclusive
};

RectBounds Bounds(TQxBitmap* B, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  return {std::max(X1, 0), std::max(Y1, 0), std::min(X2, B->Width()) - 1, std::min(Y2, B->Height()) - 1};
}

void RowProgress(const TQxProgressEvent& ev, TObject* sender, int32_t y, const RectBounds& r) {
  if (ev) ev(sender, int32_t(Trunc(double(y - r.y1 + 1) * 100.0 / ((r.yl - r.y1 + 1) + 0.5))));
}

}  // namespace

void QxGrayRect(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TQxProgressEvent& OnProgress,
                TObject* Sender) {
  if (!Bitmap || Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) return;
  const RectBounds r = Bounds(Bitmap, X1, Y1, X2, Y2);
  for (int32_t y = r.y1; y <= r.yl; ++y) {
    uint8_t* p = Bitmap->Scanline(y);
    for (int32_t x = r.x1; x <= r.xl; ++x) {
      uint8_t* q = p + 3 * int64_t(x);
      std::memset(q, QxGrayY8(q[2], q[1], q[0]), 3);
    }
    RowProgress(OnProgress, Sender, y, r);
  }
}

void QxFillRectRGB(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint32_t Color,
                   const TQxProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap) return;
  const RectBounds r = Bounds(Bitmap, X1, Y1, X2, Y2);
  const TQxRGB c = QxUnpackRGB(Color);
  switch (Bitmap->PixelFormat()) {
    case TQxPixelFormat::qx1g:
    case TQxPixelFormat::qx8g:
    case TQxPixelFormat::qx24RGB: {
      const TQxPixelFormat f = Bitmap->PixelFormat();
      const uint8_t gray = uint8_t(QxGrayY8(c.r, c.g, c.b));
      for (int32_t y = r.y1; y <= r.yl; ++y) {
        uint8_t* p = Bitmap->Scanline(y);
        for (int32_t x = r.x1; x <= r.xl; ++x) {
          if (f == TQxPixelFormat::qx1g)
            QxSetRowBit(p, x, c.r != 0);
          else if (f == TQxPixelFormat::qx8g)
            p[x] = gray;
          else
            std::memcpy(p + 3 * int64_t(x), &c, 3);
        }
        RowProgress(OnProgress, Sender, y, r);
      }
      break;
    }
    default:
      // As a TColor: red in the low byte.
      Bitmap->FillRect(r.x1, r.y1, r.xl, r.yl, double(int32_t(c.r) | int32_t(c.g) << 8 | int32_t(c.b) << 16));
      break;
  }
}

void QxSetAlphaRange(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint32_t MinColor,
                     uint32_t MaxColor, int32_t Alpha, const TQxProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap) return;
  const TQxPixelFormat f = Bitmap->PixelFormat();
  const RectBounds r = Bounds(Bitmap, X1, Y1, X2, Y2);
  TQxBitmap* a = Bitmap->GetAlphaChannel();
  if (!a) return;
  const TQxRGB lo = QxUnpackRGB(MinColor), hi = QxUnpackRGB(MaxColor);
  const uint8_t av = uint8_t(Alpha);
  if (f == TQxPixelFormat::qx24RGB || f == TQxPixelFormat::qx1g) {
    std::vector<uint8_t> row(static_cast<size_t>(Bitmap->RowLen()));
    for (int32_t y = r.y1; y <= r.yl; ++y) {
      std::memcpy(row.data(), Bitmap->Scanline(y), row.size());
      uint8_t* ar = a->Scanline(y);
      for (int32_t x = r.x1; x <= r.xl; ++x) {
        bool hit;
        if (f == TQxPixelFormat::qx24RGB) {
          const uint8_t* p = row.data() + 3 * int64_t(x);
          hit = p[2] >= lo.r && p[2] <= hi.r && p[1] >= lo.g && p[1] <= hi.g && p[0] >= lo.b && p[0] <= hi.b;
        } else {
          const bool bit = QxGetRowBit(row.data(), x) != 0;
          hit = bit == (lo.r != 0);
        }
        if (hit) ar[x] = av;
      }
      RowProgress(OnProgress, Sender, y, r);
    }
  }
  a->UpdateOpaqueFlag();
}

void QxQuantizeInPlace(TQxBitmap* Bitmap, int32_t Colors, TQxRGB* Palette, TObject* Sender,
                       const TQxProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB || Colors < 1) return;
  std::vector<TQxRGB> scratch;
  if (!Palette) {
    scratch.assign(size_t(Colors), TQxRGB{0, 0, 0});
    Palette = scratch.data();
  }
  TQxQuantizer q(Bitmap, Palette, Colors);
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* p = Bitmap->Scanline(y);
    for (int32_t x = 0; x < w; ++x, p += 3) {
      int32_t i = q.RGBIndex(TQxRGB{p[0], p[1], p[2]});
      if (i < 0 || i >= Colors) i = QxNearestPaletteIndex(Palette, Colors, QxPackRGB({p[0], p[1], p[2]}));
      std::memcpy(p, &Palette[i], 3);
    }
    if (OnProgress) OnProgress(Sender, int32_t(Trunc((y + 1) * 100.0 / (h + 0.5))));
  }
}

void QxOrderedDitherBW(TQxBitmap* Bitmap, TQxProgressInfo& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) return;
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  Progress.Factor = 100.0 / (h + 0.5);
  TQxBitmap bw;
  bw.MemoryThreshold = Bitmap->MemoryThreshold;
  if (!bw.Allocate(w, h, TQxPixelFormat::qx1g)) return;
  std::vector<uint8_t> row(static_cast<size_t>(Bitmap->RowLen())), out(static_cast<size_t>(bw.RowLen()));
  for (int32_t y = 0; y < h; ++y) {
    std::memcpy(row.data(), Bitmap->Scanline(y), row.size());
    std::fill(out.begin(), out.end(), 0);
    const uint8_t* p = row.data();
    for (int32_t x = 0; x < w; ++x, p += 3) {
      const int32_t level = (p[0] > 250 && p[1] > 250 && p[2] > 250) ? 64 : (QxGrayY8(p[2], p[1], p[0]) >> 2);
      if (level > QxDitherMatrix[x & 7][y & 7]) out[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    }
    std::memcpy(bw.Scanline(y), out.data(), out.size());
    if (Progress.Assigned()) Progress.Report(int32_t(Trunc((y + 1) * Progress.Factor)));
  }
  Bitmap->CopyFrom(&bw);
}

void QxThresholdBW(TQxBitmap* Bitmap, int32_t Threshold, TQxProgressInfo& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) return;
  TQxBitmap bw;
  bw.MemoryThreshold = Bitmap->MemoryThreshold;
  if (!bw.Allocate(Bitmap->Width(), Bitmap->Height(), TQxPixelFormat::qx1g)) return;
  QxConvertToBWThreshold(Bitmap, &bw, Threshold, Progress);
  Bitmap->CopyFrom(&bw);
}

void QxAverageColor(TQxBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B) {
  R = G = B = 0;
  const int32_t w = Bitmap ? Bitmap->Width() : 0, h = Bitmap ? Bitmap->Height() : 0;
  if (w <= 0 || h <= 0) {
    R = G = B = 128;
    return;
  }
  try {
    int64_t ar = 0, ag = 0, ab = 0;
    const TQxPixelFormat f = Bitmap->PixelFormat();
    if (f == TQxPixelFormat::qxInvalid) return;
    for (int32_t y = 0; y < h; ++y) {
      int64_t sr = 0, sg = 0, sb = 0;
      const uint8_t* row = Bitmap->Scanline(y);
      for (int32_t x = 0; x < w; ++x) {
        TQxRGB c;
        switch (f) {
          case TQxPixelFormat::qx16g: {
            uint16_t v;
            std::memcpy(&v, row + 2 * int64_t(x), 2);
            const uint8_t g = uint8_t(Trunc(v * 255.0 / 65535.0));
            c = TQxRGB{g, g, g};
            break;
          }
          case TQxPixelFormat::qxRGB48: {
            TQxRGB48 p;
            std::memcpy(&p, row + 6 * int64_t(x), 6);
            c = TQxRGB{uint8_t(Trunc(p.b * 255.0 / 65535.0)), uint8_t(Trunc(p.g * 255.0 / 65535.0)),
                       uint8_t(Trunc(p.r * 255.0 / 65535.0))};
            break;
          }
          default:
            c = Bitmap->GetPixelRGB(x, y);
            row = Bitmap->Scanline(y);
            break;
        }
        sr += c.r;
        sg += c.g;
        sb += c.b;
      }
      ar += sr / w;
      ag += sg / w;
      ab += sb / w;
    }
    R = int32_t(ar / h);
    G = int32_t(ag / h);
    B = int32_t(ab / h);
  } catch (...) {
    R = G = B = 128;
  }
}

std::unique_ptr<TQxBitmap> QxTwoColorBitmap(TQxBitmap* Bitmap, TQxRGB& Color1, TQxRGB& Color2) {
  if (!Bitmap || Bitmap->IsEmpty()) return nullptr;
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  auto out = std::make_unique<TQxBitmap>();
  if (!out->Allocate(w, h, TQxPixelFormat::qx1g)) return nullptr;
  std::set<uint32_t> colours;
  std::vector<uint8_t> bits(static_cast<size_t>(out->RowLen()));
  for (int32_t y = 0; y < h; ++y) {
    if (colours.size() > 2) break;
    std::fill(bits.begin(), bits.end(), 0);
    for (int32_t x = 0; x < w; ++x) {
      const TQxRGB c = Bitmap->GetPixelRGB(x, y);
      if (colours.insert(QxPackRGB(c)).second) {
        if (colours.size() == 1)
          Color1 = c;
        else
          Color2 = c;
      }
      if (!(c == Color1)) QxSetRowBit(bits.data(), x, 1);
    }
    std::memcpy(out->Scanline(y), bits.data(), bits.size());
  }
  if (colours.size() != 2) return nullptr;
  auto lum = [](TQxRGB c) {
    return Round(double(c.r * QxGrayWeightRed + c.g * QxGrayWeightGreen + c.b * QxGrayWeightBlue) / 100.0);
  };
  if (lum(Color2) < lum(Color1)) {
    QxInvertRows(out.get());
    std::swap(Color1, Color2);
  }
  return out;
}

int32_t QxNearestPaletteIndex(const TQxRGB* Palette, int32_t Count, uint32_t Color) {
  const TQxRGB c = QxUnpackRGB(Color);
  int32_t best = 0, bestd = 1000;
  for (int32_t i = 0; i < Count; ++i) {
    const int32_t d = std::abs(Palette[i].r - c.r) + std::abs(Palette[i].g - c.g) + std::abs(Palette[i].b - c.b);
    if (d < bestd) {
      bestd = d;
      best = i;
    }
  }
  return best;
}

void QxFillTransparent(TQxBitmap* Bitmap, uint32_t Color) {
  if (!Bitmap || Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) return;
  TQxBitmap* a = Bitmap->GetAlphaChannel();
  if (!a) return;
  const TQxRGB c = QxUnpackRGB(Color);
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* ar = a->Scanline(y);
    uint8_t* p = Bitmap->Scanline(y);
    for (int32_t x = 0; x < w; ++x)
      if (ar[x] == 0) std::memcpy(p + 3 * int64_t(x), &c, 3);
  }
}

void QxRemapChannels(TQxBitmap* Bitmap, const std::string& Code, TObject* Sender, const TQxProgressEvent& OnProgress) {
  if (!Bitmap) return;
  const TQxPixelFormat f = Bitmap->PixelFormat();
  if (f != TQxPixelFormat::qx24RGB && f != TQxPixelFormat::qxRGB48) return;
  // Source of the result's blue, green and red: 0 blue, 1 green, 2 red, 3 zero.
  int src[3];
  for (int i = 0; i < 3; ++i) {
    const char ch = i < int(Code.size()) ? char(std::toupper(uint8_t(Code[size_t(i)]))) : 'B';
    src[i] = ch == 'G' ? 1 : ch == 'R' ? 2 : ch == '0' ? 3 : 0;
  }
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* p = Bitmap->Scanline(y);
    for (int32_t x = 0; x < w; ++x) {
      if (f == TQxPixelFormat::qx24RGB) {
        uint8_t* q = p + 3 * int64_t(x);
        const uint8_t old[4] = {q[0], q[1], q[2], 0};
        for (int i = 0; i < 3; ++i) q[i] = old[src[i]];
      } else {
        uint8_t* q = p + 6 * int64_t(x);
        TQxRGB48 v;
        std::memcpy(&v, q, 6);
        const uint16_t old[4] = {v.b, v.g, v.r, 0};
        const TQxRGB48 n{old[src[2]], old[src[1]], old[src[0]]};
        std::memcpy(q, &n, 6);
      }
    }
    if (OnProgress) OnProgress(Sender, int32_t(Trunc(double(y) / h * 100)));
  }
}

void QxMatchChannel(TQxBitmap* Target, int32_t Channel, const int32_t* Histogram, int32_t Count) {
  if (!Target || Channel < 0 || Channel > 2 || Count <= 0) return;
  const TQxPixelFormat f = Target->PixelFormat();
  if (f != TQxPixelFormat::qx24RGB && f != TQxPixelFormat::qxRGB48) return;
  const int32_t w = Target->Width(), h = Target->Height();
  if (w <= 0 || h <= 0) return;
  auto valueAt = [&](const uint8_t* row, int32_t x) -> int32_t {
    if (f == TQxPixelFormat::qx24RGB) return row[3 * int64_t(x) + Channel];
    TQxRGB48 v;
    std::memcpy(&v, row + 6 * int64_t(x), 6);
    const uint16_t c = Channel == 0 ? v.b : Channel == 1 ? v.g : v.r;
    return c >> 8;
  };
  auto store = [&](uint8_t* row, int32_t x, int32_t value) {
    if (f == TQxPixelFormat::qx24RGB) {
      row[3 * int64_t(x) + Channel] = uint8_t(value);
      return;
    }
    TQxRGB48 v;
    std::memcpy(&v, row + 6 * int64_t(x), 6);
    const uint16_t c = uint16_t(value * 257);
    if (Channel == 0) v.b = c;
    else if (Channel == 1) v.g = c;
    else v.r = c;
    std::memcpy(row + 6 * int64_t(x), &v, 6);
  };
  int64_t hist[256] = {};
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = Target->Scanline(y);
    for (int32_t x = 0; x < w; ++x) ++hist[valueAt(row, x)];
  }
  double e[256], r[256];
  int64_t cum = 0, rc = 0;
  for (int i = 0; i < 256; ++i) {
    cum += hist[i];
    e[i] = double(cum) * 255.0 / (double(w) * h);
    rc += Histogram[i];
    r[i] = (255.0 / Count) * double(rc);
  }
  int32_t s[256];
  for (int i = 0; i < 256; ++i) {
    int32_t best = 0;
    double bestd = std::fabs(i - r[0]);
    for (int j = 1; j < 256; ++j) {
      const double d = std::fabs(i - r[j]);
      if (d < bestd) {
        bestd = d;
        best = j;
      }
    }
    s[i] = best;
  }
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = Target->Scanline(y);
    for (int32_t x = 0; x < w; ++x) store(row, x, s[std::clamp<int64_t>(Trunc(e[valueAt(row, x)]), 0, 255)]);
  }
}

void QxMatchHistogram(TQxBitmap* Reference, TQxBitmap* Target) {
  if (!Reference || !Target || Reference->PixelFormat() != TQxPixelFormat::qx24RGB) return;
  const int32_t w = Reference->Width(), h = Reference->Height();
  if (w <= 0 || h <= 0 || Target->Width() <= 0 || Target->Height() <= 0) return;
  int32_t hist[3][256] = {};
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = Reference->Scanline(y);
    for (int32_t x = 0; x < w; ++x, p += 3)
      for (int c = 0; c < 3; ++c) ++hist[c][p[c]];
  }
  const int32_t n = int32_t(std::min<int64_t>(int64_t(w) * h, INT32_MAX));
  for (int c = 0; c < 3; ++c) QxMatchChannel(Target, c, hist[c], n);
}

void QxRoundAlphaCorners(TQxBitmap* Bitmap, int32_t RX, int32_t RY) {
  if (!Bitmap || Bitmap->IsEmpty() || RX <= 0 || RY <= 0) return;
  TQxBitmap* a = Bitmap->GetAlphaChannel();
  if (!a) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const int32_t N = RX + RY;
  auto bezier = [N](double x0, double y0, double x1, double y1, double x2, double y2, double x3, double y3, int32_t k,
                    int32_t& px, int32_t& py) {
    const double t = double(k) / N, u = 1 - t;
    px = int32_t(Round(u * u * u * x0 + 3 * u * u * t * x1 + 3 * u * t * t * x2 + t * t * t * x3));
    py = int32_t(Round(u * u * u * y0 + 3 * u * u * t * y1 + 3 * u * t * t * y2 + t * t * t * y3));
  };
  auto clearCols = [&](int32_t c0, int32_t c1, int32_t r0, int32_t r1) {
    c0 = std::max(c0, 0);
    c1 = std::min(c1, W - 1);
    r0 = std::max(r0, 0);
    r1 = std::min(r1, H - 1);
    for (int32_t y = r0; y <= r1; ++y) {
      uint8_t* row = a->Scanline(y);
      for (int32_t x = c0; x <= c1; ++x) {
        row[x] = 0;
        row[W - 1 - x] = 0;
      }
    }
  };
  for (int32_t k = 1; k <= N; ++k) {
    int32_t px, py;
    bezier(0, RY, 0, 0, RX, 0, RX, 0, k, px, py);
    clearCols(0, px, 0, py);
  }
  for (int32_t k = 1; k <= N; ++k) {
    int32_t px, py;
    bezier(W, H - RY, W, H, W - RX, H, W - RX, H, k, px, py);
    clearCols(std::max(px, 0), W - 1, std::max(py, 0), H - 1);
  }
  a->UpdateOpaqueFlag();
}

void QxRGBToHSL(double& Hue, double& Saturation, double& Lightness, uint32_t Color) {
  const double r = ((Color >> 16) & 255) / 255.0, g = ((Color >> 8) & 255) / 255.0, b = (Color & 255) / 255.0;
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  Lightness = (mx + mn) / 2;
  if (mx == mn) {
    Saturation = 0;
    Hue = 0;
    return;
  }
  const double d = mx - mn;
  Saturation = Lightness >= 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
  double h;
  if (mx == r)
    h = (g - b) / d;
  else if (mx != g)
    h = (r - g) / d + 4;
  else
    h = (b - r) / d + 2;
  Hue = h / 6;
  if (Hue < 0) Hue += 1;
}

double QxHueToRGB(double T, double Q, double P) {
  if (T < 0) T += 1;
  if (T > 1) T -= 1;
  if (6 * T < 1) return P + (Q - P) * 6 * T;
  if (2 * T < 1) return Q;
  if (3 * T < 2) return P + (Q - P) * (2.0 / 3.0 - T) * 6;
  return P;
}

TQxRGB QxHSLToRGB(double Hue, double Saturation, double Lightness) {
  if (Hue < 0) Hue += 1;
  if (Hue > 1) Hue -= 1;
  Saturation = std::clamp(Saturation, 0.0, 1.0);
  Lightness = std::clamp(Lightness, 0.0, 1.0);
  auto byte = [](double v) { return uint8_t(std::clamp<int64_t>(Round(v * 255), 0, 255)); };
  if (Saturation == 0) {
    const uint8_t v = byte(Lightness);
    return TQxRGB{v, v, v};
  }
  const double q = Lightness > 0.5 ? Lightness + Saturation - Lightness * Saturation : Lightness * (1 + Saturation);
  const double p = 2 * Lightness - q;
  return TQxRGB{byte(QxHueToRGB(Hue - 1.0 / 3.0, q, p)), byte(QxHueToRGB(Hue, q, p)),
                byte(QxHueToRGB(Hue + 1.0 / 3.0, q, p))};
}
