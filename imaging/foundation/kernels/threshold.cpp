#include "imaging/foundation/kernels/threshold.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/pixel_convert.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/kernels/dib.h"
#include "platform/base/numeric.h"

int32_t QxPixelGrayLevel(TQxBitmap* Source, const uint8_t* Row, int32_t X) {
  const int64_t x = X;
  switch (Source->PixelFormat()) {
    case TQxPixelFormat::qx1g:
      return QxGetRowBit(Row, X) ? 1 : 0;
    case TQxPixelFormat::qx8p: {
      const TQxRGB c = Source->PaletteColor(Row[x]);
      return QxGrayY8(c.r, c.g, c.b);
    }
    case TQxPixelFormat::qx8g:
      return Row[x];
    case TQxPixelFormat::qx16g:
      return Row[2 * x + 1];
    case TQxPixelFormat::qx24RGB:
      return QxGrayY8(Row[3 * x + 2], Row[3 * x + 1], Row[3 * x]);
    case TQxPixelFormat::qx32RGB:
      return QxGrayY8(Row[4 * x + 2], Row[4 * x + 1], Row[4 * x]);
    case TQxPixelFormat::qx32f: {
      float f;
      std::memcpy(&f, Row + 4 * x, 4);
      const int32_t v = int32_t(std::clamp<int64_t>(Trunc(double(f) * 255), 0, 255));
      return QxGrayY8(v, v, v);
    }
    case TQxPixelFormat::qxCMYK: {
      TQxCMYK k;
      std::memcpy(&k, Row + 4 * x, 4);
      const TQxRGB c = QxPixelCMYKToRGB(k);
      return QxGrayY8(c.r, c.g, c.b);
    }
    case TQxPixelFormat::qxRGB48: {
      TQxRGB48 p;
      std::memcpy(&p, Row + 6 * x, 6);
      const int64_t s = int64_t(QxGrayWeightRed) * (p.r >> 8) + int64_t(QxGrayWeightGreen) * (p.g >> 8) +
                        int64_t(QxGrayWeightBlue) * (p.b >> 8);
      return int32_t(s / 100);
    }
    case TQxPixelFormat::qxCIELab: {
      TQxCIELab l;
      std::memcpy(&l, Row + 3 * x, 3);
      const TQxRGB c = QxPixelCIELabToRGB(l);
      return QxGrayY8(c.r, c.g, c.b);
    }
    default:
      return 0;
  }
}

void QxLuminanceHistogram(TQxBitmap* Source, int32_t (&Histogram)[256]) {
  std::fill(std::begin(Histogram), std::end(Histogram), 0);
  if (!Source || Source->PixelFormat() == TQxPixelFormat::qxInvalid) return;
  const int32_t w = Source->Width(), h = Source->Height();
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = Source->Scanline(y);
    for (int32_t x = 0; x < w; ++x) ++Histogram[std::clamp(QxPixelGrayLevel(Source, row, x), 0, 255)];
  }
}

void QxConvertToBWThreshold(TQxBitmap* Source, TQxBitmap* Dest, int32_t Threshold, TQxProgressInfo& Progress) {
  if (!Source || !Dest || Source == Dest) return;
  if (Source->PixelFormat() == TQxPixelFormat::qx1g) {
    Dest->CopyFrom(Source);
    return;
  }
  if (Dest->PixelFormat() != TQxPixelFormat::qx1g || Dest->Width() != Source->Width() ||
      Dest->Height() != Source->Height())
    return;
  const int32_t w = Source->Width(), h = Source->Height();
  Progress.Factor = 100.0 / (h + 0.5);
  if (Threshold == -2) {
    int32_t hist[256];
    QxLuminanceHistogram(Source, hist);
    const double total = double(w) * h;
    if (total > 0) {
      double p[256], HT = 0;
      for (int i = 0; i < 256; ++i) {
        p[i] = hist[i] / total;
        if (p[i] > 0) HT -= p[i] * std::log(p[i]);
      }
      double best = 0, score = 0, P = 0, H = 0;
      for (int t = 1; t < 256; ++t) {
        P += p[t - 1];
        if (p[t - 1] > 0) H -= p[t - 1] * std::log(p[t - 1]);
        if (P > 0 && P < 1) score = std::log(P * (1 - P)) + H / P + (HT - H) / (1 - P);
        if (score > best) {
          best = score;
          Threshold = t;
        }
      }
    }
  } else if (Threshold == -1) {
    int32_t r = 128, g = 128, b = 128;
    QxAverageColor(Source, r, g, b);
    Threshold = QxGrayY8(r, g, b);
  }
  std::vector<uint8_t> src(static_cast<size_t>(Source->RowLen()));
  std::vector<uint8_t> out(static_cast<size_t>(Dest->RowLen()));
  for (int32_t y = 0; y < h; ++y) {
    std::memcpy(src.data(), Source->Scanline(y), src.size());
    std::fill(out.begin(), out.end(), 0);
    for (int32_t x = 0; x < w; ++x)
      if (QxPixelGrayLevel(Source, src.data(), x) >= Threshold) out[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    std::memcpy(Dest->Scanline(y), out.data(), out.size());
    if (Progress.Assigned()) Progress.Report(int32_t(Trunc((y + 1) * Progress.Factor)));
  }
  Dest->Opaque = false;
}
