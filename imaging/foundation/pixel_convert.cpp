// Pixel-format conversion of TQxBitmap, its scaled drawing into 24-bit bitmaps, and the blend operations.
#include "imaging/foundation/pixel_convert.h"
#include "imaging/foundation/kernels/pixel_rows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/resample.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/foundation/kernels/quantizer.h"
#include "imaging/foundation/kernels/threshold.h"
#include "platform/base/numeric.h"
#include "platform/base/parallel.h"

const uint8_t QxDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21}};

TQxRGB QxCMYKToRGBArithmetic(TQxCMYK C) {
  return TQxRGB{uint8_t(C.y * C.k / 255), uint8_t(C.m * C.k / 255), uint8_t(C.c * C.k / 255)};
}

TQxCMYK QxRGBToCMYKArithmetic(TQxRGB C) {
  int32_t k = std::max({C.r, C.g, C.b});
  if (k == 0) k = 1;
  return TQxCMYK{uint8_t(C.r * 255 / k), uint8_t(C.g * 255 / k), uint8_t(C.b * 255 / k), uint8_t(k)};
}

TQxCMYKToRGBFunc QxCMYKToRGBHook = &QxCMYKToRGBArithmetic;
TQxRGBToCMYKFunc QxRGBToCMYKHook = &QxRGBToCMYKArithmetic;

TQxRGB QxPixelCIELabToRGB(TQxCIELab Color) { return QxCIELabToRGB(Color); }
TQxCIELab QxPixelRGBToCIELab(TQxRGB Color) { return QxRGBToCIELab(Color); }

int32_t QxGrayY8(int32_t R, int32_t G, int32_t B) {
  return (R * QxGrayWeightRed + G * QxGrayWeightGreen + B * QxGrayWeightBlue) / 100;
}
int32_t QxGrayY16(int32_t R, int32_t G, int32_t B) {
  return int32_t((int64_t(R) * 54484 + int64_t(G) * 183241 + int64_t(B) * 19275) / 1000);
}
float QxGrayFloat(int32_t R, int32_t G, int32_t B) {
  return float((R * 0.2126 + G * 0.7152 + B * 0.0722) / 255.0);
}

// ---------------------------------------------------------------- blend operations

namespace {

int32_t Clamp255(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

const std::array<int32_t, 256>& CosTable() {
  static const std::array<int32_t, 256> t = [] {
    std::array<int32_t, 256> a{};
    for (int i = 0; i < 256; ++i) a[size_t(i)] = int32_t(Round(64.0 - 64.0 * std::cos(i * M_PI / 255.0)));
    return a;
  }();
  return t;
}

int32_t BlendChannel(int32_t S, int32_t D, int Op) {
  switch (Op) {
    case 1: return Clamp255(D + S);
    case 2: return std::abs(D - S);
    case 3: return Clamp255(D / std::clamp(S, 1, 255));
    case 4: return (S * D) >> 8;
    case 5: return D | S;
    case 6: return D & S;
    case 7: return D ^ S;
    case 8: return std::max(D, S);
    case 9: return std::min(D, S);
    case 10: return (D + S) >> 1;
    case 11: return int32_t(Trunc(255.0 - (255.0 - D) * (255.0 - S) / 255.0));
    case 12: return 255 - std::abs(255 - S - D);
    case 13: return uint8_t(D + S - (S * D) / 128);
    case 14: return D >= 128 ? 255 - (((255 - D) * (255 - S)) >> 7) : (S * D) >> 7;
    case 15: return S >= 128 ? 255 - (((255 - D) * (255 - S)) >> 7) : (S * D) >> 7;
    case 16: {
      const double s = S / 255.0, d = D / 255.0;
      const double r = s >= 0.5 ? std::sqrt(d) * (2 * s - 1) + 2 * d * (1 - s) : d * d * (1 - 2 * s) + 2 * s * d;
      return Clamp255(int32_t(Trunc(r * 255)));
    }
    case 17: {
      const int32_t m = (S * D) >> 8;
      const int32_t e = 255 - (((255 - D) * (255 - S)) >> 8) - m;
      return uint8_t(m + ((D * e) >> 8));
    }
    case 18: return S == 255 ? 255 : std::min(255, (D * 256) / (255 - S));
    case 19: return S == 0 ? 0 : std::max(0, 255 - ((255 - D) * 256) / S);
    case 20: return D == 255 ? 255 : std::min(255, (S * 256) / (255 - D));
    case 21: return D == 0 ? 0 : std::max(0, 255 - ((255 - S) * 256) / D);
    case 22:
      if (S + D < 256) return S == 255 ? 255 : std::min(255, (D * 128) / (255 - S));
      return std::max(0, 255 - ((255 - S) * 128) / D);
    case 23:
      if (S + D < 256) return D == 255 ? 255 : std::min(255, (S * 128) / (255 - D));
      return std::max(0, 255 - ((255 - D) * 128) / S);
    case 24: return S == 255 ? 255 : std::min(255, (D * D) / (255 - S));
    case 25: return D == 255 ? 255 : std::min(255, (S * S) / (255 - D));
    case 26: return S == 0 ? 0 : std::max(0, 255 - ((255 - D) * (255 - D)) / S);
    case 27: return D == 0 ? 0 : std::max(0, 255 - ((255 - S) * (255 - S)) / D);
    case 28: return Clamp255(D + S - 256);
    case 29: return std::min(255, CosTable()[size_t(S)] + CosTable()[size_t(D)]);
    case 30: return Clamp255(D + 2 * S - 256);
    default: return D;
  }
}

}  // namespace

void QxBlendPixel(TQxRGB S, TQxRGB& D, TQxBlendOperation Op, int32_t Row) {
  if (Op == 0) {
    D = S;
    return;
  }
  if (Op <= 30) {
    D.r = uint8_t(BlendChannel(S.r, D.r, Op));
    D.g = uint8_t(BlendChannel(S.g, D.g, Op));
    D.b = uint8_t(BlendChannel(S.b, D.b, Op));
    return;
  }
  switch (Op) {
    case 31: D.r = S.r; break;
    case 32: D.g = S.g; break;
    case 33: D.b = S.b; break;
    case 34: case 35: case 36: case 37: {
      double hs, ss, ls, hd, sd, ld;
      QxRGBToHSL(hs, ss, ls, QxPackRGB(S));
      QxRGBToHSL(hd, sd, ld, QxPackRGB(D));
      if (Op == 34) D = QxHSLToRGB(hs, sd, ld);
      else if (Op == 35) D = QxHSLToRGB(hd, ss, ld);
      else if (Op == 36) D = QxHSLToRGB(hs, ss, ld);
      else D = QxHSLToRGB(hs, sd, ls);
      break;
    }
    case 38: {
      const uint8_t yd = uint8_t(QxGrayY8(D.r, D.g, D.b)), ys = uint8_t(QxGrayY8(S.r, S.g, S.b));
      D.r = yd;
      D.g = ys;
      D.b = ys;
      break;
    }
    case 39: D.g = S.g; D.b = S.b; break;
    case 40: {
      const double dr = D.r, dg = D.g, db = D.b, sr = S.r, sg = S.g, sb = S.b;
      const int32_t r = int32_t(Round(0.4561 * dr + 0.500484 * dg + 0.176381 * db - 0.0434706 * sr -
                                      0.0879388 * sg - 0.00155529 * sb));
      const int32_t g = int32_t(Round(-0.0400822 * dr - 0.0378246 * dg - 0.0157589 * db + 0.378476 * sr +
                                      0.73364 * sg - 0.0184503 * sb));
      const int32_t b = int32_t(Round(-0.0152161 * dr - 0.0205971 * dg - 0.00546856 * db - 0.0721527 * sr -
                                      0.112961 * sg + 1.2264 * sb));
      D.r = uint8_t(Clamp255(r));
      D.g = uint8_t(Clamp255(g));
      D.b = uint8_t(Clamp255(b));
      break;
    }
    case 41: if ((Row & 1) == 0) D = S; break;
    case 42: if ((Row & 1) == 1) D = S; break;
    default: break;
  }
}

// ---------------------------------------------------------------- conversion

void TQxBitmap::SetPixelFormat(TQxPixelFormat AFormat) {
  if (AFormat == PixelFormat()) return;
  ConvertPixelFormat(AFormat);
}

void TQxBitmap::ConvertPixelFormat(TQxPixelFormat AFormat) {
  if (location_ != TQxLocation::qxTBitmap) {
    TQxBitmap tmp;
    MoveStorageTo(&tmp);
    width_ = tmp.width_;
    height_ = tmp.height_;
    format_ = AFormat;
    BWConversion = tmp.BWConversion;
    if (!AllocateStorage()) {
      width_ = height_ = rowLength_ = bitsPerPixel_ = channelCount_ = 0;
      return;
    }
    if (tmp.format_ != TQxPixelFormat::qxInvalid) ConvertFrom(&tmp);
    return;
  }
  // Platform-bitmap storage: convert in memory, then lay the platform bitmap out in the new format, or
  // keep the pixels in memory when it has no layout for that format.
  SyncFromTBitmap();
  std::unique_ptr<TQxBitmap> keepAlpha = std::move(alpha_);
  TQxBitmap tmp;
  tmp.location_ = TQxLocation::qxMemory;
  tmp.MemoryThreshold = INT64_MAX;
  tmp.BWConversion = BWConversion;
  tmp.PaletteColors = PaletteColors;
  tmp.RangeLow = RangeLow;
  tmp.RangeHigh = RangeHigh;
  if (!IsEmpty()) {
    tmp.CopyFrom(this);
    tmp.ConvertPixelFormat(AFormat);
  }
  const bool platformLayout = AFormat == TQxPixelFormat::qx1g || AFormat == TQxPixelFormat::qx8p ||
                              AFormat == TQxPixelFormat::qx8g || AFormat == TQxPixelFormat::qx24RGB ||
                              AFormat == TQxPixelFormat::qx32RGB;
  if (platformLayout) {
    const int32_t w = width_, h = height_;
    format_ = AFormat;
    if (w > 0 && h > 0 && AllocateStorage()) {
      CopyRowsFrom(&tmp);
      palette_ = tmp.palette_;
      UpdateVclPalette();
    } else {
      SetFormatFields(AFormat);
    }
  } else {
    FreeImage(false);
    location_ = TQxLocation::qxMemory;
    tmp.MoveStorageTo(this);
  }
  alpha_ = std::move(keepAlpha);
}

namespace {

// Level 0..63 of the ordered dither for one pixel of a source row, by source format.
// Indexes past a short palette read as black.
inline int32_t DitherLevel(TQxPixelFormat f, const uint8_t* row, int32_t x, const TQxRGB* pal, int32_t palLen) {
  switch (f) {
    case TQxPixelFormat::qx8p: {
      const TQxRGB c = pal && row[x] < palLen ? pal[row[x]] : TQxRGB{0, 0, 0};
      return QxGrayY8(c.r, c.g, c.b) / 4;
    }
    case TQxPixelFormat::qx8g:
      return row[x] / 4;
    case TQxPixelFormat::qx16g: {
      uint16_t w;
      std::memcpy(&w, row + 2 * int64_t(x), 2);
      return w >> 10;
    }
    case TQxPixelFormat::qx24RGB: {
      const uint8_t* p = row + 3 * int64_t(x);
      return QxGrayY8(p[2], p[1], p[0]) / 4;
    }
    case TQxPixelFormat::qx32f: {
      float v;
      std::memcpy(&v, row + 4 * int64_t(x), 4);
      // The float's gray level on the same 0..63 scale as the other formats.
      return int32_t(std::clamp<int64_t>(Trunc(double(v) * 255.0), 0, 255)) / 4;
    }
    case TQxPixelFormat::qxRGB48: {
      TQxRGB48 p;
      std::memcpy(&p, row + 6 * int64_t(x), 6);
      return ((p.r / 256) * QxGrayWeightRed + (p.g / 256) * QxGrayWeightGreen + (p.b / 256) * QxGrayWeightBlue) /
             100 / 4;
    }
    default:
      return 0;
  }
}

void GrayPalette(std::vector<TQxRGB>& pal) {
  pal.resize(256);
  for (int i = 0; i < 256; ++i) pal[size_t(i)] = TQxRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
}

inline void Put16(uint8_t* p, uint32_t v) {
  const uint16_t w = uint16_t(v);
  std::memcpy(p, &w, 2);
}
inline void Put48(uint8_t* p, uint32_t r, uint32_t g, uint32_t b) {
  const TQxRGB48 w{uint16_t(r), uint16_t(g), uint16_t(b)};
  std::memcpy(p, &w, 6);
}
inline void PutF(uint8_t* p, double v) {
  const float f = float(v);
  std::memcpy(p, &f, 4);
}
inline uint8_t FloatByte(float f) { return uint8_t(std::clamp<int64_t>(Trunc(double(f) * 255.0), 0, 255)); }
inline uint16_t FloatWord(float f) { return uint16_t(std::clamp<int64_t>(Trunc(double(f) * 65535.0), 0, 65535)); }

}  // namespace

void TQxBitmap::ConvertFrom(TQxBitmap* Source) {
  if (!Source || Source == this || location_ == TQxLocation::qxTBitmap) return;
  if (Source->Width() != width_ || Source->Height() != height_) return;
  TQxPixelFormat sf = Source->PixelFormat();
  const TQxPixelFormat df = format_;
  if (sf == TQxPixelFormat::qxInvalid || sf == df || df == TQxPixelFormat::qxInvalid || IsEmpty()) return;

  bool via24 = false;
  switch (sf) {
    case TQxPixelFormat::qx1g:
    case TQxPixelFormat::qx8p:
    case TQxPixelFormat::qx8g:
    case TQxPixelFormat::qx16g:
    case TQxPixelFormat::qx32f:
      via24 = df == TQxPixelFormat::qxCMYK || df == TQxPixelFormat::qxCIELab;
      break;
    case TQxPixelFormat::qxCMYK:
    case TQxPixelFormat::qxCIELab:
      via24 = df != TQxPixelFormat::qx24RGB && df != TQxPixelFormat::qx32RGB;
      break;
    case TQxPixelFormat::qxRGB48:
      via24 = df == TQxPixelFormat::qx8p || df == TQxPixelFormat::qxCMYK || df == TQxPixelFormat::qxCIELab ||
              (df == TQxPixelFormat::qx1g && BWConversion == 1);
      break;
    case TQxPixelFormat::qx32RGB:
      via24 = df != TQxPixelFormat::qx24RGB;
      break;
    default:
      break;
  }
  if (via24) {
    Source->ConvertPixelFormat(TQxPixelFormat::qx24RGB);
    sf = Source->PixelFormat();
    if (sf != TQxPixelFormat::qx24RGB) return;
  }
  const int32_t w = width_, h = height_;
  const uint8_t sMode = Source->AccessMode, dMode = AccessMode;
  Source->AccessMode = 1;
  AccessMode = 2;
  std::vector<uint8_t> srow(static_cast<size_t>(Source->RowLen()));
  auto sourceRow = [&](int32_t y) -> const uint8_t* {
    const uint8_t* p = Source->Scanline(y);
    if (Source->MapsRows()) {
      std::memcpy(srow.data(), p, srow.size());
      return srow.data();
    }
    return p;
  };
  const TQxRGB* spal = Source->Palette();
  const int32_t spalLen = Source->PaletteLength();
  auto palEntry = [&](uint8_t i) -> TQxRGB { return i < spalLen ? spal[i] : TQxRGB{0, 0, 0}; };
  // Rows convert independently: large pictures are done in bands on all cores, unless a file-located
  // bitmap, which maps one row at a time, is involved.
  const bool bands = !Source->MapsRows() && !MapsRows() && int64_t(w) * h >= (int64_t(1) << 16);
  auto forRows = [&](const std::function<void(int32_t, int32_t)>& Body) {
    if (bands)
      ParallelBands(0, h, std::max<int32_t>(4, 16384 / std::max(w, 1)), Body);
    else
      Body(0, h);
  };

  if (df == TQxPixelFormat::qx1g) {
    if (BWConversion == 1) {
      AccessMode = dMode;
      Source->AccessMode = sMode;
      TQxProgressInfo none;
      QxConvertToBWThreshold(Source, this, -1, none);
    } else if (sf == TQxPixelFormat::qx24RGB) {
      forRows([&](int32_t y0, int32_t y1) {
        std::vector<uint8_t> gray(static_cast<size_t>(w) + 8);
        for (int32_t y = y0; y < y1; ++y) QxRow24To1Ordered(sourceRow(y), Scanline(y), w, y, gray.data());
      });
    } else {
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = sourceRow(y);
        uint8_t* d = Scanline(y);
        std::memset(d, 0, size_t(rowLength_));
        const uint8_t* m = nullptr;
        for (int32_t x = 0; x < w; ++x) {
          m = QxDitherMatrix[x & 7];
          if (m[y & 7] < DitherLevel(sf, s, x, spal, spalLen)) d[x >> 3] = uint8_t(d[x >> 3] | (0x80 >> (x & 7)));
        }
      }
    }
  } else if (df == TQxPixelFormat::qx8p && sf == TQxPixelFormat::qx24RGB) {
    std::vector<TQxRGB> pal(256, TQxRGB{0, 0, 0});
    TQxQuantizer q(Source, pal.data(), std::clamp(PaletteColors, 1, 256));
    palette_ = pal;
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* s = sourceRow(y);
      uint8_t* d = Scanline(y);
      for (int32_t x = 0; x < w; ++x) {
        int32_t i = q.RGBIndex(TQxRGB{s[3 * x], s[3 * x + 1], s[3 * x + 2]});
        if (i < 0 || i > 255) i = QxNearestPaletteIndex(pal.data(), 256, QxPackRGB({s[3 * x], s[3 * x + 1], s[3 * x + 2]}));
        d[x] = uint8_t(i);
      }
    }
  } else {
    if (df == TQxPixelFormat::qx8p) {
      GrayPalette(palette_);
      if (sf == TQxPixelFormat::qx1g) {
        std::fill(palette_.begin(), palette_.end(), TQxRGB{0, 0, 0});
        palette_[1] = TQxRGB{255, 255, 255};
      }
    }
    forRows([&](int32_t y0, int32_t y1) {
      for (int32_t y = y0; y < y1; ++y) {
        const uint8_t* s = sourceRow(y);
        uint8_t* d = Scanline(y);
        if (!s || !d) break;
        if (sf == TQxPixelFormat::qx24RGB && df == TQxPixelFormat::qx8g) {
          QxRow24To8(s, d, w);
          continue;
        }
        for (int32_t x = 0; x < w; ++x) {
          // Each source pixel as the value the destination wants.
          switch (sf) {
            case TQxPixelFormat::qx1g: {
              const bool on = QxGetRowBit(s, x) != 0;
              switch (df) {
                case TQxPixelFormat::qx8p:
                  d[x] = on ? 1 : 0;
                  break;
                case TQxPixelFormat::qx8g:
                  d[x] = on ? 255 : 0;
                  break;
                case TQxPixelFormat::qx16g:
                  Put16(d + 2 * x, on ? 65535 : 0);
                  break;
                case TQxPixelFormat::qx24RGB:
                  std::memset(d + 3 * int64_t(x), on ? 255 : 0, 3);
                  break;
                case TQxPixelFormat::qx32f:
                  PutF(d + 4 * int64_t(x), on ? 1.0 : 0.0);
                  break;
                case TQxPixelFormat::qxRGB48:
                  std::memset(d + 6 * int64_t(x), on ? 255 : 0, 6);
                  break;
                case TQxPixelFormat::qx32RGB:
                  std::memset(d + 4 * int64_t(x), on ? 255 : 0, 3);
                  d[4 * int64_t(x) + 3] = 255;
                  break;
                default:
                  break;
              }
              break;
            }
            case TQxPixelFormat::qx8p:
            case TQxPixelFormat::qx8g: {
              const TQxRGB c = sf == TQxPixelFormat::qx8p ? palEntry(s[x]) : TQxRGB{s[x], s[x], s[x]};
              switch (df) {
                case TQxPixelFormat::qx8p:
                  d[x] = s[x];
                  break;
                case TQxPixelFormat::qx8g:
                  d[x] = uint8_t(QxGrayY8(c.r, c.g, c.b));
                  break;
                case TQxPixelFormat::qx16g:
                  Put16(d + 2 * x, sf == TQxPixelFormat::qx8g ? s[x] * 257u : uint32_t(QxGrayY16(c.r, c.g, c.b)));
                  break;
                case TQxPixelFormat::qx24RGB:
                  std::memcpy(d + 3 * int64_t(x), &c, 3);
                  break;
                case TQxPixelFormat::qx32f:
                  PutF(d + 4 * int64_t(x), sf == TQxPixelFormat::qx8g ? s[x] / 255.0 : QxGrayFloat(c.r, c.g, c.b));
                  break;
                case TQxPixelFormat::qxRGB48:
                  Put48(d + 6 * int64_t(x), c.r * 257u, c.g * 257u, c.b * 257u);
                  break;
                case TQxPixelFormat::qx32RGB:
                  std::memcpy(d + 4 * int64_t(x), &c, 3);
                  d[4 * int64_t(x) + 3] = 255;
                  break;
                default:
                  break;
              }
              break;
            }
            case TQxPixelFormat::qx16g: {
              uint16_t v;
              std::memcpy(&v, s + 2 * int64_t(x), 2);
              const uint8_t g8 = uint8_t(v >> 8);
              switch (df) {
                case TQxPixelFormat::qx8p:
                case TQxPixelFormat::qx8g:
                  d[x] = g8;
                  break;
                case TQxPixelFormat::qx24RGB: {
                  uint8_t g = g8;
                  if (RangeLow != RangeHigh) {
                    const int64_t L = Trunc(RangeLow), H = Trunc(RangeHigh);
                    g = uint8_t(std::clamp<int64_t>(
                        Trunc(double(std::min(std::max<int64_t>(v, L), H) - L) / (RangeHigh - RangeLow) * 255), 0, 255));
                  }
                  std::memset(d + 3 * int64_t(x), g, 3);
                  break;
                }
                case TQxPixelFormat::qx32f:
                  PutF(d + 4 * int64_t(x), v / 65535.0);
                  break;
                case TQxPixelFormat::qxRGB48:
                  Put48(d + 6 * int64_t(x), v, v, v);
                  break;
                case TQxPixelFormat::qx32RGB:
                  std::memset(d + 4 * int64_t(x), g8, 3);
                  d[4 * int64_t(x) + 3] = 255;
                  break;
                default:
                  break;
              }
              break;
            }
            case TQxPixelFormat::qx24RGB: {
              const uint8_t* p = s + 3 * int64_t(x);
              const TQxRGB c{p[0], p[1], p[2]};
              switch (df) {
                case TQxPixelFormat::qx16g:
                  Put16(d + 2 * x, uint32_t(QxGrayY16(c.r, c.g, c.b)));
                  break;
                case TQxPixelFormat::qx32f:
                  PutF(d + 4 * int64_t(x), QxGrayFloat(c.r, c.g, c.b));
                  break;
                case TQxPixelFormat::qxCMYK: {
                  const TQxCMYK k = QxPixelRGBToCMYK(c);
                  std::memcpy(d + 4 * int64_t(x), &k, 4);
                  break;
                }
                case TQxPixelFormat::qxRGB48:
                  Put48(d + 6 * int64_t(x), c.r * 257u, c.g * 257u, c.b * 257u);
                  break;
                case TQxPixelFormat::qxCIELab: {
                  const TQxCIELab l = QxPixelRGBToCIELab(c);
                  std::memcpy(d + 3 * int64_t(x), &l, 3);
                  break;
                }
                case TQxPixelFormat::qx32RGB:
                  std::memcpy(d + 4 * int64_t(x), p, 3);
                  d[4 * int64_t(x) + 3] = 255;
                  break;
                default:
                  break;
              }
              break;
            }
            case TQxPixelFormat::qx32f: {
              float f;
              std::memcpy(&f, s + 4 * int64_t(x), 4);
              const uint8_t b = FloatByte(f);
              switch (df) {
                case TQxPixelFormat::qx8p:
                case TQxPixelFormat::qx8g:
                  d[x] = b;
                  break;
                case TQxPixelFormat::qx16g:
                  Put16(d + 2 * x, FloatWord(f));
                  break;
                case TQxPixelFormat::qx24RGB:
                  std::memset(d + 3 * int64_t(x), b, 3);
                  break;
                case TQxPixelFormat::qxRGB48: {
                  const uint16_t w16 = FloatWord(f);
                  Put48(d + 6 * int64_t(x), w16, w16, w16);
                  break;
                }
                case TQxPixelFormat::qx32RGB:
                  std::memset(d + 4 * int64_t(x), b, 3);
                  d[4 * int64_t(x) + 3] = 255;
                  break;
                default:
                  break;
              }
              break;
            }
            case TQxPixelFormat::qxCMYK:
            case TQxPixelFormat::qxCIELab: {
              TQxRGB c;
              if (sf == TQxPixelFormat::qxCMYK) {
                TQxCMYK k;
                std::memcpy(&k, s + 4 * int64_t(x), 4);
                c = QxPixelCMYKToRGB(k);
              } else {
                TQxCIELab l;
                std::memcpy(&l, s + 3 * int64_t(x), 3);
                c = QxPixelCIELabToRGB(l);
              }
              if (df == TQxPixelFormat::qx24RGB) {
                std::memcpy(d + 3 * int64_t(x), &c, 3);
              } else {
                std::memcpy(d + 4 * int64_t(x), &c, 3);
                d[4 * int64_t(x) + 3] = 255;
              }
              break;
            }
            case TQxPixelFormat::qxRGB48: {
              TQxRGB48 p;
              std::memcpy(&p, s + 6 * int64_t(x), 6);
              switch (df) {
                case TQxPixelFormat::qx8g:
                  d[x] = uint8_t(((p.r / 256) * QxGrayWeightRed + (p.g / 256) * QxGrayWeightGreen +
                                  (p.b / 256) * QxGrayWeightBlue) /
                                 100);
                  break;
                case TQxPixelFormat::qx16g:
                  Put16(d + 2 * x, (uint32_t(p.r) * 212 + uint32_t(p.g) * 713 + uint32_t(p.b) * 75) / 1000);
                  break;
                case TQxPixelFormat::qx24RGB:
                  d[3 * int64_t(x)] = uint8_t(p.b >> 8);
                  d[3 * int64_t(x) + 1] = uint8_t(p.g >> 8);
                  d[3 * int64_t(x) + 2] = uint8_t(p.r >> 8);
                  break;
                case TQxPixelFormat::qx32f:
                  PutF(d + 4 * int64_t(x), (p.r * 0.2126 / 256 + p.g * 0.7152 / 256 + p.b * 0.0722 / 256) / 255);
                  break;
                case TQxPixelFormat::qx32RGB:
                  d[4 * int64_t(x)] = uint8_t(p.b >> 8);
                  d[4 * int64_t(x) + 1] = uint8_t(p.g >> 8);
                  d[4 * int64_t(x) + 2] = uint8_t(p.r >> 8);
                  d[4 * int64_t(x) + 3] = 255;
                  break;
                default:
                  break;
              }
              break;
            }
            case TQxPixelFormat::qx32RGB:
              if (df == TQxPixelFormat::qx24RGB) std::memcpy(d + 3 * int64_t(x), s + 4 * int64_t(x), 3);
              break;
            default:
              break;
          }
        }
      }
    });
  }
  Source->AccessMode = sMode;
  AccessMode = dMode;
  if (Source->HasAlphaChannel() && !isAlphaChannel_) GetAlphaChannel()->AssignFrom(Source->alpha_.get());
  UpdateVclPalette();
}

// ---------------------------------------------------------------- rendering

namespace {

struct Adjust {
  bool on = false;       // offsets / contrast / blend applied
  int64_t K = 65536;     // contrast factor (16.16)
  double k = 1.0;        // unscaled factor for 16-bit samples
  int32_t o[3] = {0, 0, 0};
  bool range = false;    // display range (qx24RGB opaque)
  int64_t L = 0, H = 0;
  double span = 1;
  TQxBlendOperation op = 0;
};

inline uint8_t RangeMap(int64_t v, const Adjust& a) {
  const int64_t c = std::min(std::max(v, a.L), a.H);
  return uint8_t(std::clamp<int64_t>(Trunc(double(c - a.L) / a.span * 255), 0, 255));
}

inline uint8_t ContrastByte(int32_t c, int32_t o, int64_t K) {
  const int64_t v = K * (int64_t(c) + o - 128) / 65536 + 128;
  return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

inline uint8_t Contrast16(int32_t c, int32_t o, double k) {
  const int64_t v = Shr(int64_t(Trunc((double(c) + o - 32768) * k + 32768)), 8);
  return uint8_t(std::clamp<int64_t>(v, 0, 255));
}


// True when the table names consecutive columns, so the source row can be read as it lies.
bool TableIsRun(const int32_t* XT, int32_t N) {
  if (N <= 0) return false;
  if (XT[N - 1] - XT[0] != N - 1) return false;
  for (int32_t x = 1; x < N; ++x)
    if (XT[x] != XT[x - 1] + 1) return false;
  return true;
}

// Where a nearest-sampled span of 3-byte pixels can take its fast road: every column inside the source
// and never stepping back (so a chunk of columns covers one stretch of the row). Safe counts the leading
// columns left of the row's last pixel, which can be read as 4-byte words.
struct SampledSpan {
  bool Ok = false;
  int32_t Safe = 0;
};

SampledSpan ExamineSampledSpan(const int32_t* XT, int32_t N, int32_t W) {
  SampledSpan r;
  if (N <= 0 || W <= 0) return r;
  int32_t prev = 0;
  for (int32_t i = 0; i < N; ++i) {
    if (XT[i] < prev || XT[i] >= W) return r;
    prev = XT[i];
  }
  int32_t safe = N;
  while (safe > 0 && XT[safe - 1] >= W - 1) --safe;
  r.Ok = true;
  r.Safe = safe;
  return r;
}

inline void Copy3(uint8_t* D, const uint8_t* S) {
  D[0] = S[0];
  D[1] = S[1];
  D[2] = S[2];
}

// D[i] = S[XT[i]] for N 3-byte pixels; the first Safe columns may be read as 4-byte words. Each pixel but
// the last is stored as a word too, its fourth byte overwritten by the next pixel.
inline void SampleRow24(uint8_t* __restrict D, const uint8_t* __restrict S, const int32_t* XT, int32_t N,
                        int32_t Safe) {
  const int32_t words = std::min(Safe, N - 1);
  int32_t i = 0;
  for (; i + 4 <= words; i += 4) {
    uint32_t v0, v1, v2, v3;
    std::memcpy(&v0, S + 3 * size_t(XT[i]), 4);
    std::memcpy(&v1, S + 3 * size_t(XT[i + 1]), 4);
    std::memcpy(&v2, S + 3 * size_t(XT[i + 2]), 4);
    std::memcpy(&v3, S + 3 * size_t(XT[i + 3]), 4);
    std::memcpy(D + 3 * size_t(i), &v0, 4);
    std::memcpy(D + 3 * size_t(i) + 3, &v1, 4);
    std::memcpy(D + 3 * size_t(i) + 6, &v2, 4);
    std::memcpy(D + 3 * size_t(i) + 9, &v3, 4);
  }
  for (; i < words; ++i) {
    uint32_t v;
    std::memcpy(&v, S + 3 * size_t(XT[i]), 4);
    std::memcpy(D + 3 * size_t(i), &v, 4);
  }
  for (; i < N; ++i) Copy3(D + 3 * size_t(i), S + 3 * size_t(XT[i]));
}

// Asks the cache for the bytes of a row (and its alpha) that columns XT[First..Last] sample, from byte
// Next on (what an earlier call asked for is not asked again).
inline void PrefetchColumns(const uint8_t* Row, const uint8_t* Alpha, const int32_t* XT, int32_t First, int32_t Last,
                            int64_t& Next, int64_t& NextAlpha) {
  const int64_t hi = 3 * int64_t(XT[Last]) + 3;
  for (int64_t b = std::max<int64_t>(Next, 3 * int64_t(XT[First])); b < hi; b += 64) __builtin_prefetch(Row + b);
  Next = std::max<int64_t>(Next, hi);
  if (Alpha) {
    const int64_t ahi = int64_t(XT[Last]) + 1;
    for (int64_t b = std::max<int64_t>(NextAlpha, XT[First]); b < ahi; b += 64) __builtin_prefetch(Alpha + b);
    NextAlpha = std::max<int64_t>(NextAlpha, ahi);
  }
}

}  // namespace

// Asks the cache for the bytes of source row Y (and its alpha) that a column table samples.
void TQxBitmap::PrefetchSampledSpan(int32_t Y, TQxBitmap* Alpha, const int32_t* XT, int32_t N) {
  // A bitmap that maps its rows may give up the row being drawn when asked for another one.
  if (N <= 0 || MapsRows() || (Alpha && Alpha->MapsRows())) return;
  const int32_t lo = std::clamp(std::min(XT[0], XT[N - 1]), 0, width_ - 1);
  const int32_t hi = std::clamp(std::max(XT[0], XT[N - 1]), 0, width_ - 1);
  const uint8_t* s = Scanline(Y);
  if (s)
    for (int64_t b = 3 * int64_t(lo); b < 3 * int64_t(hi) + 3; b += 64) __builtin_prefetch(s + b);
  const uint8_t* a = Alpha ? Alpha->Scanline(Y) : nullptr;
  if (a)
    for (int64_t b = lo; b <= hi; b += 64) __builtin_prefetch(a + b);
}

// The colour renderers share one loop; Kind picks the source format and Translucent the mixing.
void TQxBitmap::ColorRenderer(const TQxRenderArgs& A, bool Translucent, int /*Kind*/) {
  const TQxPixelFormat f = format_;
  if (f == TQxPixelFormat::qx8p && palette_.empty()) return;
  Adjust adj;
  const bool colour = f == TQxPixelFormat::qx24RGB || f == TQxPixelFormat::qx32RGB || f == TQxPixelFormat::qxRGB48;
  if (colour && (AdjustColors || Contrast != 0 || A.BlendOp != 0 || f == TQxPixelFormat::qx32RGB ||
                 (f == TQxPixelFormat::qx24RGB && !Translucent && RangeLow != RangeHigh))) {
    adj.on = true;
    if (Contrast < 0) {
      adj.K = Trunc((1 - std::sqrt(double(-Contrast)) / 10) * 65536);
      adj.k = 1 - std::sqrt(double(-Contrast)) / 10;
    } else {
      adj.K = Trunc((Contrast / 10.0 + 1) * 65536);
      adj.k = Contrast / 10.0 + 1;
    }
    adj.o[0] = ChannelOffsets[0];
    adj.o[1] = ChannelOffsets[1];
    adj.o[2] = ChannelOffsets[2];
    adj.op = A.BlendOp;
  }
  const bool rangeFormats = f == TQxPixelFormat::qx8g || f == TQxPixelFormat::qx16g || f == TQxPixelFormat::qx32f ||
                            (f == TQxPixelFormat::qx24RGB && !Translucent);
  if (rangeFormats && RangeLow != RangeHigh) {
    adj.range = true;
    adj.L = Trunc(RangeLow);
    adj.H = Trunc(RangeHigh);
    adj.span = RangeHigh - RangeLow;
  }
  const bool reuseOk = A.ReuseRows && !Translucent && !adj.range &&
                       (f == TQxPixelFormat::qx24RGB || f == TQxPixelFormat::qx32RGB || f == TQxPixelFormat::qx1g);
  TQxBitmap* alpha = (Translucent && A.UseSourceAlpha) ? alpha_.get() : nullptr;
  const int32_t srcW = width_, srcH = height_;
  const bool fast = A.XTable == nullptr || A.YTable == nullptr;
  const bool plain24 = f == TQxPixelFormat::qx24RGB && !adj.on && !adj.range;
  const int32_t spanW = A.X2 - A.X1 + 1;
  // The column table is the same for every row: a run of columns lets rows be copied or blended whole.
  const bool run = !fast && plain24 && TableIsRun(A.XTable, spanW) && A.XTable[0] >= 0 &&
                   int64_t(A.XTable[0]) + spanW <= srcW;

  const SampledSpan sampled = !fast && plain24 ? ExamineSampledSpan(A.XTable, spanW, srcW) : SampledSpan{};
  // A bitmap that maps its rows may give up the row being drawn when asked for another one.
  const bool rowsMapped = MapsRows() || (alpha && alpha->MapsRows());
  constexpr int32_t kChunk = 256, kAheadRows = 2;

  auto renderRows = [&](int32_t yFirst, int32_t yLast) {
    int32_t prevSrcRow = -1;
    uint8_t* prevDest = nullptr;
    std::vector<uint8_t> weights, gathered;
    if (sampled.Ok && Translucent) {
      gathered.resize(size_t(kChunk) * 3 + 1);
      weights.resize(size_t(kChunk));
    }
    for (int32_t y = yFirst; y <= yLast; ++y) {
      const int32_t sy = fast ? y + A.SrcY - A.DstY : A.YTable[y - A.Y1];
      if (sy < 0 || sy >= srcH) continue;
      uint8_t* d = A.DestRows[y];
      if (!d) continue;
      if (reuseOk && sy == prevSrcRow && prevDest) {
        std::memcpy(d + 3 * int64_t(A.X1), prevDest + 3 * int64_t(A.X1), size_t(spanW) * 3);
        continue;
      }
      const uint8_t* s = Scanline(sy);
      const uint8_t* arow = alpha ? alpha->Scanline(sy) : nullptr;
      if (!s) continue;
      if ((fast || run) && plain24) {
        const int64_t sx0 = fast ? int64_t(A.X1) + A.SrcX - A.DstX : A.XTable[0];
        const int64_t n = std::min<int64_t>(spanW, srcW - sx0);
        if (sx0 >= 0 && n > 0) {
          uint8_t* dp = d + 3 * int64_t(A.X1);
          if (!Translucent) {
            std::memcpy(dp, s + 3 * sx0, size_t(n) * 3);
          } else {
            QxBlendRow24(dp, s + 3 * sx0, arow ? arow + sx0 : nullptr, A.Transparency, int32_t(n));
          }
        }
        prevSrcRow = sy;
        prevDest = d;
        continue;
      }
      if (!fast && plain24 && sampled.Ok) {
        // Plain 24-bit pixels through a column table that stays inside the source: sampled a chunk of
        // columns at a time, translucent chunks gathered into a small buffer and blended whole. A shrunken
        // view reads a different source row for each screen row, each a fresh read from memory: the row a
        // few screen rows ahead is fetched alongside, a chunk at a time, so that the wait overlaps work.
        const uint8_t* ahead = nullptr;
        const uint8_t* aheadAlpha = nullptr;
        if (!rowsMapped && y + kAheadRows <= yLast) {
          const int32_t ny = A.YTable[y + kAheadRows - A.Y1];
          if (ny != sy && ny >= 0 && ny < srcH) {
            ahead = Scanline(ny);
            aheadAlpha = alpha ? alpha->Scanline(ny) : nullptr;
          }
        }
        int64_t next = 0, nextAlpha = 0;
        uint8_t* dp = d + 3 * int64_t(A.X1);
        const int32_t t = A.Transparency;
        for (int32_t c = 0; c < spanW; c += kChunk) {
          const int32_t n = std::min(kChunk, spanW - c);
          const int32_t* xt = A.XTable + c;
          if (ahead) PrefetchColumns(ahead, aheadAlpha, xt, 0, n - 1, next, nextAlpha);
          const int32_t safe = std::clamp(sampled.Safe - c, 0, n);
          if (!Translucent) {
            SampleRow24(dp + 3 * int64_t(c), s, xt, n, safe);
            continue;
          }
          // One spare byte for the last pixel's word store.
          SampleRow24(gathered.data(), s, xt, n, safe);
          const uint8_t* w = nullptr;
          if (arow) {
            for (int32_t i = 0; i < n; ++i) weights[size_t(i)] = arow[xt[i]];
            w = weights.data();
          }
          QxBlendRow24(dp + 3 * int64_t(c), gathered.data(), w, t, n);
        }
        prevSrcRow = sy;
        prevDest = d;
        continue;
      }
      if (!fast && plain24) {
        // Plain 24-bit pixels through the column table: no per-pixel format or adjustment work.
        const int32_t* xt = A.XTable - A.X1;
        // A shrunken view samples a different source row for each screen row, each one a fresh read from
        // memory: fetching the next row's sampled span ahead hides that wait behind this row's work.
        if (y < yLast) {
          const int32_t ny = A.YTable[y + 1 - A.Y1];
          if (ny != sy && ny >= 0 && ny < srcH) PrefetchSampledSpan(ny, alpha, A.XTable, spanW);
        }
        if (!Translucent) {
          const int32_t x1 = A.X1, x2 = A.X2;
          const uint32_t w = uint32_t(srcW);
          for (int32_t x = x1; x <= x2; ++x) {
            const int32_t sx = xt[x];
            if (uint32_t(sx) >= w) continue;
            const uint8_t* p = s + 3 * int64_t(sx);
            uint8_t* dp = d + 3 * int64_t(x);
            const uint8_t b0 = p[0], b1 = p[1], b2 = p[2];
            dp[0] = b0;
            dp[1] = b1;
            dp[2] = b2;
          }
        } else {
          // Gather the sampled pixels and their weights into rows, then blend the rows whole. A column
          // outside the source gets weight 0, which leaves its pixel as it was.
          gathered.resize(size_t(spanW) * 3);
          weights.resize(size_t(spanW) * 3);
          const int32_t t = A.Transparency;
          for (int32_t i = 0; i < spanW; ++i) {
            const int32_t sx = A.XTable[i];
            uint8_t* g = gathered.data() + 3 * size_t(i);
            uint8_t* w = weights.data() + 3 * size_t(i);
            if (uint32_t(sx) >= uint32_t(srcW)) {
              g[0] = g[1] = g[2] = 0;
              w[0] = w[1] = w[2] = 0;
              continue;
            }
            const uint8_t* p = s + 3 * int64_t(sx);
            g[0] = p[0];
            g[1] = p[1];
            g[2] = p[2];
            w[0] = w[1] = w[2] = uint8_t(arow ? std::min<int32_t>(t, arow[sx]) : t);
          }
          QxBlendBytes(d + 3 * int64_t(A.X1), gathered.data(), weights.data(), size_t(spanW) * 3);
        }
        prevSrcRow = sy;
        prevDest = d;
        continue;
      }
      for (int32_t x = A.X1; x <= A.X2; ++x) {
        const int32_t sx = fast ? x + A.SrcX - A.DstX : A.XTable[x - A.X1];
        if (sx < 0 || sx >= srcW) continue;
        TQxRGB c{0, 0, 0};
        uint8_t* dp = d + 3 * int64_t(x);
        switch (f) {
          case TQxPixelFormat::qx24RGB: {
            const uint8_t* p = s + 3 * int64_t(sx);
            c = TQxRGB{p[0], p[1], p[2]};
            break;
          }
          case TQxPixelFormat::qx32RGB: {
            const uint8_t* p = s + 4 * int64_t(sx);
            c = TQxRGB{p[0], p[1], p[2]};
            break;
          }
          case TQxPixelFormat::qx1g: {
            const uint8_t v = (s[sx >> 3] & (0x80 >> (sx & 7))) ? 255 : 0;
            c = TQxRGB{v, v, v};
            break;
          }
          case TQxPixelFormat::qx8g: {
            const uint8_t v = adj.range ? RangeMap(s[sx], adj) : s[sx];
            c = TQxRGB{v, v, v};
            break;
          }
          case TQxPixelFormat::qx8p:
            c = s[sx] < palette_.size() ? palette_[s[sx]] : TQxRGB{0, 0, 0};
            break;
          case TQxPixelFormat::qx16g: {
            uint16_t w;
            std::memcpy(&w, s + 2 * int64_t(sx), 2);
            const uint8_t v = adj.range ? RangeMap(w, adj) : uint8_t(w >> 8);
            c = TQxRGB{v, v, v};
            break;
          }
          case TQxPixelFormat::qx32f: {
            float fv;
            std::memcpy(&fv, s + 4 * int64_t(sx), 4);
            uint8_t v;
            if (adj.range) {
              const double cl = std::min(std::max(double(fv), RangeLow), RangeHigh);
              v = uint8_t(std::clamp<int64_t>(Trunc((cl - RangeLow) / adj.span * 255), 0, 255));
            } else {
              v = FloatByte(fv);
            }
            c = TQxRGB{v, v, v};
            break;
          }
          case TQxPixelFormat::qxCMYK: {
            TQxCMYK k;
            std::memcpy(&k, s + 4 * int64_t(sx), 4);
            c = QxPixelCMYKToRGB(k);
            break;
          }
          case TQxPixelFormat::qxCIELab: {
            TQxCIELab l;
            std::memcpy(&l, s + 3 * int64_t(sx), 3);
            c = QxPixelCIELabToRGB(l);
            break;
          }
          case TQxPixelFormat::qxRGB48: {
            TQxRGB48 p;
            std::memcpy(&p, s + 6 * int64_t(sx), 6);
            if (adj.on) {
              c = TQxRGB{Contrast16(p.b, adj.o[2], adj.k), Contrast16(p.g, adj.o[1], adj.k),
                         Contrast16(p.r, adj.o[0], adj.k)};
            } else {
              c = TQxRGB{uint8_t(p.b >> 8), uint8_t(p.g >> 8), uint8_t(p.r >> 8)};
            }
            break;
          }
          default:
            break;
        }
        TQxRGB out;
        if (adj.on) {
          if (f != TQxPixelFormat::qxRGB48)
            c = TQxRGB{ContrastByte(c.b, adj.o[2], adj.K), ContrastByte(c.g, adj.o[1], adj.K),
                       ContrastByte(c.r, adj.o[0], adj.K)};
          if (adj.range && f == TQxPixelFormat::qx24RGB)
            c = TQxRGB{RangeMap(c.b, adj), RangeMap(c.g, adj), RangeMap(c.r, adj)};
          out = TQxRGB{dp[0], dp[1], dp[2]};
          QxBlendPixel(c, out, adj.op, y);
        } else {
          if (adj.range && f == TQxPixelFormat::qx24RGB)
            c = TQxRGB{RangeMap(c.b, adj), RangeMap(c.g, adj), RangeMap(c.r, adj)};
          out = c;
        }
        if (Translucent) {
          int32_t a = A.Transparency;
          if (arow) a = std::min<int32_t>(a, arow[sx]);
          a = QxBlendWeight(a);
          dp[0] = uint8_t(dp[0] + ((int32_t(out.b) - dp[0]) * a >> 8));
          dp[1] = uint8_t(dp[1] + ((int32_t(out.g) - dp[1]) * a >> 8));
          dp[2] = uint8_t(dp[2] + ((int32_t(out.r) - dp[2]) * a >> 8));
        } else {
          dp[0] = out.b;
          dp[1] = out.g;
          dp[2] = out.r;
        }
      }
      prevSrcRow = sy;
      prevDest = d;
    }
  };

  // Rows are independent, so large areas are drawn in bands on all cores. A file-located bitmap maps
  // one row at a time and is read by one thread.
  const int64_t area = int64_t(spanW) * (int64_t(A.Y2) - A.Y1 + 1);
  if (area >= (int64_t(1) << 16) && !MapsRows() && !(alpha && alpha->MapsRows())) {
    const int32_t minBand = std::max<int32_t>(4, 8192 / std::max(spanW, 1));
    ParallelBands(A.Y1, A.Y2 + 1, minBand, [&](int32_t First, int32_t Last) { renderRows(First, Last - 1); });
  } else {
    renderRows(A.Y1, A.Y2);
  }
}

void TQxBitmap::Render24RGB(const TQxRenderArgs& A) { ColorRenderer(A, false, 0); }
void TQxBitmap::Render24RGBAlpha(const TQxRenderArgs& A) { ColorRenderer(A, true, 0); }
void TQxBitmap::Render32RGB(const TQxRenderArgs& A) { ColorRenderer(A, false, 1); }
void TQxBitmap::Render32RGBAlpha(const TQxRenderArgs& A) { ColorRenderer(A, true, 1); }
void TQxBitmap::Render1g(const TQxRenderArgs& A) { ColorRenderer(A, false, 2); }
void TQxBitmap::Render1gAlpha(const TQxRenderArgs& A) { ColorRenderer(A, true, 2); }
void TQxBitmap::Render8g(const TQxRenderArgs& A) { ColorRenderer(A, false, 3); }
void TQxBitmap::Render8gAlpha(const TQxRenderArgs& A) { ColorRenderer(A, true, 3); }
void TQxBitmap::Render8p(const TQxRenderArgs& A) { ColorRenderer(A, false, 4); }
void TQxBitmap::Render8pAlpha(const TQxRenderArgs& A) { ColorRenderer(A, true, 4); }
void TQxBitmap::Render16g(const TQxRenderArgs& A) { ColorRenderer(A, false, 5); }
void TQxBitmap::Render16gAlpha(const TQxRenderArgs& A) { ColorRenderer(A, true, 5); }
void TQxBitmap::Render32f(const TQxRenderArgs& A) { ColorRenderer(A, false, 6); }
void TQxBitmap::Render32fAlpha(const TQxRenderArgs& A) { ColorRenderer(A, true, 6); }
void TQxBitmap::RenderCMYK(const TQxRenderArgs& A) { ColorRenderer(A, false, 7); }
void TQxBitmap::RenderCMYKAlpha(const TQxRenderArgs& A) { ColorRenderer(A, true, 7); }
void TQxBitmap::RenderCIELab(const TQxRenderArgs& A) { ColorRenderer(A, false, 8); }
void TQxBitmap::RenderCIELabAlpha(const TQxRenderArgs& A) { ColorRenderer(A, true, 8); }
void TQxBitmap::RenderRGB48(const TQxRenderArgs& A) { ColorRenderer(A, false, 9); }
void TQxBitmap::RenderRGB48Alpha(const TQxRenderArgs& A) { ColorRenderer(A, true, 9); }

namespace {
thread_local TQxDrawBatch* tBatch = nullptr;  // the batch open on this thread
}  // namespace

// A drawing kept by a batch, with its own copies of the tables and rows it was handed.
struct TQxDrawBatch::Item {
  TQxBitmap* Source = nullptr;
  bool Translucent = false;
  TQxRenderArgs A;
  std::vector<uint8_t*> Rows;
  std::vector<int32_t> XTable, YTable;
};

void TQxBitmap::DrawScaledEx(TQxBitmap* Dest, std::vector<uint8_t*>& DestRows, std::vector<int32_t>& XTable,
                             std::vector<int32_t>& YTable, const TRect* Clip, int32_t DstX, int32_t DstY, int32_t DstW,
                             int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH, bool EnableAlpha,
                             bool ReuseRows, int32_t Transparency, TResampleFilter Filter, bool FreeTables,
                             TQxBlendOperation BlendOp) {
  if (!Dest || Dest == this) return;
  TQxAccessGuard guard(this, 1), alphaGuard(alpha_.get(), 1);  // read only: lent rows are read where they lie
  if (DstW == 0 || DstH == 0 || SrcW == 0 || SrcH == 0) return;
  const int32_t dw = Dest->Width(), dh = Dest->Height();
  if (DstY > dh - 1 || DstX > dw - 1) return;
  const int32_t W = Width(), H = Height();
  const double rx = double(SrcW) / DstW, ry = double(SrcH) / DstH;
  int64_t dx = DstX, dy = DstY, dwid = DstW, dhei = DstH, sx = SrcX, sy = SrcY, swid = SrcW, shei = SrcH;
  if (dy < 0) {
    const int64_t v = Round(double(-dy) * ry);
    dhei += dy;
    shei -= v;
    sy += v;
    dy = 0;
  }
  if (dx < 0) {
    const int64_t v = Round(double(-dx) * rx);
    dwid += dx;
    swid -= v;
    sx += v;
    dx = 0;
  }
  if (dy + dhei > dh) {
    shei -= Trunc(double(dy + dhei - dh) * ry);
    dhei = dh - dy;
  }
  if (dx + dwid > dw) {
    swid -= Trunc(double(dx + dwid - dw) * rx);
    dwid = dw - dx;
  }
  dx = std::clamp<int64_t>(dx, 0, std::max(dw - 1, 0));
  dy = std::clamp<int64_t>(dy, 0, std::max(dh - 1, 0));
  dwid = std::clamp<int64_t>(dwid, 0, dw);
  dhei = std::clamp<int64_t>(dhei, 0, dh);
  sx = std::clamp<int64_t>(sx, 0, std::max(W - 1, 0));
  sy = std::clamp<int64_t>(sy, 0, std::max(H - 1, 0));
  swid = std::clamp<int64_t>(swid, 0, W);
  shei = std::clamp<int64_t>(shei, 0, H);
  if (dwid == 0 || dhei == 0 || swid == 0 || shei == 0) return;
  DstX = int32_t(dx);
  DstY = int32_t(dy);
  DstW = int32_t(dwid);
  DstH = int32_t(dhei);
  SrcX = int32_t(sx);
  SrcY = int32_t(sy);
  SrcW = int32_t(swid);
  SrcH = int32_t(shei);

  TQxDrawBatch* batch = TQxDrawBatch::Current();
  try {
    const TQxPixelFormat f = PixelFormat();
    if (Filter != TResampleFilter::rfNone && (DstW != SrcW || DstH != SrcH) &&
        (f == TQxPixelFormat::qx1g || f == TQxPixelFormat::qx24RGB)) {
      // Drawn from a resampled copy that lives only here: what the batch holds goes first, and the copy
      // is drawn at once.
      if (batch) batch->Flush();
      struct Suspend {
        TQxDrawBatch* was = tBatch;
        Suspend() { tBatch = nullptr; }
        ~Suspend() { tBatch = was; }
      } suspend;
      const bool project = Filter == TResampleFilter::rfProjectBW || Filter == TResampleFilter::rfProjectWB;
      const bool withAlpha = EnableAlpha && HasAlphaChannel();
      TQxBitmap hbm;
      hbm.location_ = TQxLocation::qxMemory;
      hbm.MemoryThreshold = INT64_MAX;
      if (SrcW < DstW || f != TQxPixelFormat::qx1g || withAlpha || project) {
        TQxBitmap g;
        g.location_ = TQxLocation::qxMemory;
        g.MemoryThreshold = INT64_MAX;
        if (!g.Allocate(SrcW, SrcH, f)) return;
        CopyRectTo(&g, SrcX, SrcY, 0, 0, SrcW, SrcH);
        const bool hOneBit = f == TQxPixelFormat::qx1g && project;
        if (!hbm.Allocate(DstW, DstH, hOneBit ? TQxPixelFormat::qx1g : TQxPixelFormat::qx24RGB)) return;
        if (f == TQxPixelFormat::qx1g)
          QxResample1Bit(&g, &hbm, Filter);
        else
          QxResample(&g, &hbm, Filter);
        if (withAlpha) {
          TQxBitmap ga;
          ga.location_ = TQxLocation::qxMemory;
          ga.MemoryThreshold = INT64_MAX;
          if (ga.Allocate(SrcW, SrcH, TQxPixelFormat::qx8g)) {
            alpha_->CopyRectTo(&ga, SrcX, SrcY, 0, 0, SrcW, SrcH);
            TQxBitmap* ha = hbm.GetAlphaChannel();
            if (ha) {
              if (ha->Width() != DstW || ha->Height() != DstH) ha->Allocate(DstW, DstH, TQxPixelFormat::qx8g);
              QxResampleGray8(&ga, ha, Filter);
              ha->Opaque = alpha_->Opaque;
            }
          }
        }
      } else {
        if (!hbm.Allocate(DstW, DstH, TQxPixelFormat::qx24RGB)) return;
        QxResample1BitToGray(this, SrcX, SrcY, SrcX + SrcW - 1, SrcY + SrcH - 1, &hbm);
      }
      std::copy(ChannelOffsets, ChannelOffsets + 4, hbm.ChannelOffsets);
      hbm.AdjustColors = AdjustColors;
      hbm.Contrast = Contrast;
      std::vector<int32_t> xt, yt;
      hbm.DrawScaledEx(Dest, DestRows, xt, yt, Clip, DstX, DstY, DstW, DstH, 0, 0, DstW, DstH, EnableAlpha,
                       ReuseRows, Transparency, TResampleFilter::rfNone, true, BlendOp);
      return;
    }

    // A file-located destination keeps only one Scanline row alive; lock every row instead.
    const bool destFile = Dest->MapsRows();
    std::vector<uint8_t*> ownRows;
    std::vector<uint8_t*>* rows = &DestRows;
    if (destFile) {
      ownRows.resize(size_t(dh));
      for (int32_t y = 0; y < dh; ++y) ownRows[size_t(y)] = Dest->LockRow(Dest->Origin == 1 ? dh - 1 - y : y);
      rows = &ownRows;
    } else if (DestRows.size() != size_t(dh)) {
      DestRows.resize(size_t(dh));
      for (int32_t y = 0; y < dh; ++y) DestRows[size_t(y)] = Dest->Scanline(y);
    }
    struct Unlocker {
      TQxBitmap* d;
      bool on;
      ~Unlocker() {
        if (on) d->ReleaseMappedRows();
      }
    } unlocker{Dest, destFile};

    TQxRenderArgs A;
    A.DestRows = rows->data();
    A.Dest = Dest;
    A.Transparency = std::clamp(Transparency, 0, 255);
    A.SrcX = SrcX;
    A.SrcY = SrcY;
    A.DstX = DstX;
    A.DstY = DstY;
    A.YStep = int32_t(Trunc(double(SrcH) / DstH * 16384));
    A.XStep = int32_t(Trunc(double(SrcW) / DstW * 16384));
    A.ReuseRows = ReuseRows;
    A.BlendOp = BlendOp;
    int64_t x1 = DstX, y1 = DstY, x2 = std::min<int64_t>(int64_t(DstX) + DstW - 1, dw - 1),
            y2 = std::min<int64_t>(int64_t(DstY) + DstH - 1, dh - 1);
    if (Clip) {
      x1 = std::max<int64_t>(x1, Clip->Left);
      y1 = std::max<int64_t>(y1, Clip->Top);
      x2 = std::min<int64_t>(x2, Clip->Right);
      y2 = std::min<int64_t>(y2, Clip->Bottom);
    }
    x1 = std::clamp<int64_t>(x1, 0, dw - 1);
    y1 = std::clamp<int64_t>(y1, 0, dh - 1);
    x2 = std::clamp<int64_t>(x2, -1, dw - 1);
    y2 = std::clamp<int64_t>(y2, -1, dh - 1);
    A.X1 = int32_t(x1);
    A.Y1 = int32_t(y1);
    A.X2 = int32_t(x2);
    A.Y2 = int32_t(y2);
    const bool callerX = !XTable.empty(), callerY = !YTable.empty();
    if (callerY) {
      if (int64_t(YTable.size()) < int64_t(A.Y2) - A.Y1 + 1) A.Y2 = A.Y1 + int32_t(YTable.size()) - 1;
      while (A.Y2 >= A.Y1 && YTable[size_t(A.Y2 - A.Y1)] >= H) --A.Y2;
    }
    if (callerX) {
      if (int64_t(XTable.size()) < int64_t(A.X2) - A.X1 + 1) A.X2 = A.X1 + int32_t(XTable.size()) - 1;
      while (A.X2 >= A.X1 && XTable[size_t(A.X2 - A.X1)] >= W) --A.X2;
    }
    if (A.X2 < A.X1 || A.Y2 < A.Y1) return;
    const bool alphaMatters = EnableAlpha && HasAlphaChannel() && !alpha_->Opaque;
    const bool fastCase = A.XStep == 16384 && A.YStep == 16384 && f == TQxPixelFormat::qx24RGB && A.Transparency == 255 &&
                          !alphaMatters && !AdjustColors && Contrast == 0 && BlendOp == 0 && RangeLow == 0 &&
                          RangeHigh == 0 && !callerX && !callerY;
    // Unscaled and inside the source (the view at 100 %, drawn band by band): the renderers read rows
    // where they lie without tables, as for a plain copy.
    const bool oneToOne = !callerX && !callerY && SrcW == DstW && SrcH == DstH && int64_t(SrcX) + SrcW <= W &&
                          int64_t(SrcY) + SrcH <= H;
    bool builtX = false, builtY = false;
    if (!fastCase && !oneToOne) {
      // Source positions of destination positions From .. To, clamped to the source; unscaled (a 1:1
      // draw reaching past the source) without floating point.
      auto build = [](std::vector<int32_t>& T, int32_t From, int32_t To, int32_t Dst, int32_t Src, double R,
                      bool Unscaled, int32_t Size) {
        T.resize(size_t(To - From + 1));
        int32_t* t = T.data();
        const int32_t n = To - From + 1;
        if (Unscaled)
          for (int32_t i = 0; i < n; ++i) t[i] = std::clamp(From - Dst + Src + i, 0, Size - 1);
        else
          for (int32_t i = 0; i < n; ++i)
            t[i] = int32_t(std::clamp<int64_t>(Trunc((From + i - Dst) * R + Src), 0, Size - 1));
      };
      if (!callerX) {
        build(XTable, A.X1, A.X2, DstX, SrcX, rx, SrcW == DstW, W);
        builtX = true;
      }
      if (!callerY) {
        build(YTable, A.Y1, A.Y2, DstY, SrcY, ry, SrcH == DstH, H);
        builtY = true;
      }
      A.XTable = XTable.data();
      A.YTable = YTable.data();
    } else {
      // Whole rows are copied 1:1: keep source rows and columns inside the source.
      A.Y2 = std::min<int32_t>(A.Y2, H - 1 - SrcY + DstY);
      A.X2 = std::min<int32_t>(A.X2, W - 1 - SrcX + DstX);
    }
    const bool translucent = A.Transparency < 255 || alphaMatters;
    if (translucent) A.UseSourceAlpha = alphaMatters;
    if (batch && !destFile && !MapsRows() && !(alpha_ && alpha_->MapsRows())) {
      auto item = std::make_unique<TQxDrawBatch::Item>();
      item->Source = this;
      item->Translucent = translucent;
      item->Rows = *rows;
      item->XTable.assign(A.XTable ? A.XTable : XTable.data(), (A.XTable ? A.XTable : XTable.data()) +
                                                                    (A.XTable ? size_t(A.X2 - A.X1 + 1) : 0));
      item->YTable.assign(A.YTable ? A.YTable : YTable.data(), (A.YTable ? A.YTable : YTable.data()) +
                                                                    (A.YTable ? size_t(A.Y2 - A.Y1 + 1) : 0));
      item->A = A;
      item->A.DestRows = item->Rows.data();
      if (A.XTable) item->A.XTable = item->XTable.data();
      if (A.YTable) item->A.YTable = item->YTable.data();
      batch->FItems.push_back(std::move(item));
      if (FreeTables) {
        if (builtX) XTable.clear();
        if (builtY) YTable.clear();
      }
      return;
    }
    try {
      switch (f) {
        case TQxPixelFormat::qx24RGB: translucent ? Render24RGBAlpha(A) : Render24RGB(A); break;
        case TQxPixelFormat::qx32RGB: translucent ? Render32RGBAlpha(A) : Render32RGB(A); break;
        case TQxPixelFormat::qx1g: translucent ? Render1gAlpha(A) : Render1g(A); break;
        case TQxPixelFormat::qx8g: translucent ? Render8gAlpha(A) : Render8g(A); break;
        case TQxPixelFormat::qx8p: translucent ? Render8pAlpha(A) : Render8p(A); break;
        case TQxPixelFormat::qx16g: translucent ? Render16gAlpha(A) : Render16g(A); break;
        case TQxPixelFormat::qx32f: translucent ? Render32fAlpha(A) : Render32f(A); break;
        case TQxPixelFormat::qxCMYK: translucent ? RenderCMYKAlpha(A) : RenderCMYK(A); break;
        case TQxPixelFormat::qxCIELab: translucent ? RenderCIELabAlpha(A) : RenderCIELab(A); break;
        case TQxPixelFormat::qxRGB48: translucent ? RenderRGB48Alpha(A) : RenderRGB48(A); break;
        default: break;
      }
    } catch (...) {
    }
    if (FreeTables) {
      if (builtX) XTable.clear();
      if (builtY) YTable.clear();
    }
  } catch (...) {
  }
}

// ---- drawings kept and drawn together ----

TQxDrawBatch::TQxDrawBatch() : FOuter(tBatch) { tBatch = this; }

TQxDrawBatch::~TQxDrawBatch() {
  try {
    Flush();
  } catch (...) {
  }
  tBatch = FOuter;
}

TQxDrawBatch* TQxDrawBatch::Current() { return tBatch; }

void TQxDrawBatch::Flush() {
  if (FItems.empty()) return;
  std::vector<std::unique_ptr<Item>> items = std::move(FItems);
  FItems.clear();
  // Read only while drawn, as DrawScaledEx marks them: lent rows are read where they lie.
  std::vector<std::unique_ptr<TQxAccessGuard>> guards;
  int32_t y1 = INT32_MAX, y2 = INT32_MIN;
  for (const auto& it : items) {
    guards.push_back(std::make_unique<TQxAccessGuard>(it->Source, 1));
    guards.push_back(std::make_unique<TQxAccessGuard>(it->Source->alpha_.get(), 1));
    y1 = std::min(y1, it->A.Y1);
    y2 = std::max(y2, it->A.Y2);
  }
  auto drawBand = [&](int32_t First, int32_t Last) {
    TParallelInlineScope here;
    for (const auto& it : items) {
      TQxRenderArgs A = it->A;
      A.Y1 = std::max(A.Y1, First);
      A.Y2 = std::min(A.Y2, Last - 1);
      if (A.Y2 < A.Y1) continue;
      if (A.YTable) A.YTable += A.Y1 - it->A.Y1;
      TQxBitmap* b = it->Source;
      const bool t = it->Translucent;
      try {
        switch (b->PixelFormat()) {
          case TQxPixelFormat::qx24RGB: t ? b->Render24RGBAlpha(A) : b->Render24RGB(A); break;
          case TQxPixelFormat::qx32RGB: t ? b->Render32RGBAlpha(A) : b->Render32RGB(A); break;
          case TQxPixelFormat::qx1g: t ? b->Render1gAlpha(A) : b->Render1g(A); break;
          case TQxPixelFormat::qx8g: t ? b->Render8gAlpha(A) : b->Render8g(A); break;
          case TQxPixelFormat::qx8p: t ? b->Render8pAlpha(A) : b->Render8p(A); break;
          case TQxPixelFormat::qx16g: t ? b->Render16gAlpha(A) : b->Render16g(A); break;
          case TQxPixelFormat::qx32f: t ? b->Render32fAlpha(A) : b->Render32f(A); break;
          case TQxPixelFormat::qxCMYK: t ? b->RenderCMYKAlpha(A) : b->RenderCMYK(A); break;
          case TQxPixelFormat::qxCIELab: t ? b->RenderCIELabAlpha(A) : b->RenderCIELab(A); break;
          case TQxPixelFormat::qxRGB48: t ? b->RenderRGB48Alpha(A) : b->RenderRGB48(A); break;
          default: break;
        }
      } catch (...) {
      }
    }
  };
  if (y2 < y1) return;
  ParallelBands(y1, y2 + 1, 8, drawBand);
}

void TQxBitmap::DrawScaled(TQxBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX,
                           int32_t SrcY, int32_t SrcW, int32_t SrcH, int32_t Transparency, TResampleFilter Filter,
                           TQxBlendOperation BlendOp) {
  std::vector<uint8_t*> rows;
  std::vector<int32_t> xt, yt;
  DrawScaledEx(Dest, rows, xt, yt, nullptr, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH, true, false,
               Transparency, Filter, true, BlendOp);
}

void TQxBitmap::StretchCopyRect(TQxBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH,
                                int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH, TResampleFilter Filter,
                                int32_t Alpha) {
  if (!Dest || Dest == this || Dest->PixelFormat() != TQxPixelFormat::qx24RGB) return;
  TQxAccessGuard guard(this, 1), alphaGuard(alpha_.get(), 1);
  try {
    const TQxPixelFormat f = PixelFormat();
    if (Filter != TResampleFilter::rfNone && (DstW != SrcW || DstH != SrcH)) {
      if (DstW < 1 || DstH < 1 || SrcW < 1 || SrcH < 1) return;
      TQxBitmap hbm;
      hbm.location_ = TQxLocation::qxMemory;
      hbm.MemoryThreshold = INT64_MAX;
      if (SrcW < DstW || f != TQxPixelFormat::qx1g || HasAlphaChannel()) {
        if (f != TQxPixelFormat::qx1g && f != TQxPixelFormat::qx24RGB) return;
        TQxBitmap g;
        g.location_ = TQxLocation::qxMemory;
        g.MemoryThreshold = INT64_MAX;
        if (!g.Allocate(SrcW, SrcH, f)) return;
        CopyRectTo(&g, SrcX, SrcY, 0, 0, SrcW, SrcH);
        const bool project = Filter == TResampleFilter::rfProjectBW || Filter == TResampleFilter::rfProjectWB;
        if (!hbm.Allocate(DstW, DstH,
                          (f == TQxPixelFormat::qx1g && project) ? TQxPixelFormat::qx1g : TQxPixelFormat::qx24RGB))
          return;
        if (f == TQxPixelFormat::qx1g)
          QxResample1Bit(&g, &hbm, Filter);
        else
          QxResample(&g, &hbm, Filter);
        if (HasAlphaChannel()) {
          TQxBitmap ga;
          ga.location_ = TQxLocation::qxMemory;
          ga.MemoryThreshold = INT64_MAX;
          if (ga.Allocate(SrcW, SrcH, TQxPixelFormat::qx8g)) {
            alpha_->CopyRectTo(&ga, SrcX, SrcY, 0, 0, SrcW, SrcH);
            TQxBitmap* ha = hbm.GetAlphaChannel();
            QxResampleGray8(&ga, ha, Filter);
            ha->Opaque = alpha_->Opaque;
          }
        }
      } else {
        if (!hbm.Allocate(DstW, DstH, TQxPixelFormat::qx24RGB)) return;
        QxResample1BitToGray(this, SrcX, SrcY, SrcX + SrcW - 1, SrcY + SrcH - 1, &hbm);
      }
      hbm.StretchCopyRect(Dest, DstX, DstY, DstW, DstH, 0, 0, DstW, DstH, TResampleFilter::rfNone, Alpha);
      return;
    }
    if (DstW == 0 || DstH == 0) return;
    const int32_t W = Width(), H = Height();
    const int32_t dw = Dest->Width(), dh = Dest->Height();
    const int64_t ystep = Trunc(double(SrcH) / DstH * 16384), xstep = Trunc(double(SrcW) / DstW * 16384);
    const int32_t x1 = std::clamp(DstX, 0, dw), y1 = std::clamp(DstY, 0, dh);
    const int32_t x2 = std::clamp<int32_t>(int32_t(std::min<int64_t>(int64_t(DstX) + DstW - 1, dw - 1)), -1, dw - 1);
    const int32_t y2 = std::clamp<int32_t>(int32_t(std::min<int64_t>(int64_t(DstY) + DstH - 1, dh - 1)), -1, dh - 1);
    if (x2 < x1 || y2 < y1) return;
    const bool alphaMatters = HasAlphaChannel() && !alpha_->Opaque;
    std::vector<int32_t> xt(static_cast<size_t>(x2 - x1 + 1)), yt(static_cast<size_t>(y2 - y1 + 1));
    for (int32_t x = x1; x <= x2; ++x) xt[size_t(x - x1)] = int32_t(SrcX + ((int64_t(x) - DstX) * xstep >> 14));
    for (int32_t y = y1; y <= y2; ++y) yt[size_t(y - y1)] = int32_t(SrcY + ((int64_t(y) - DstY) * ystep >> 14));
    TQxBitmap* da = Dest->GetAlphaChannel();
    const uint8_t alphaByte = uint8_t(std::clamp(Alpha, 0, 255));
    for (int32_t y = y1; y <= y2; ++y) {
      const int32_t sy = yt[size_t(y - y1)];
      const bool rowOk = sy >= 0 && sy < H;
      if (da) {
        uint8_t* ar = da->Scanline(y);
        if (alphaMatters && rowOk) {
          const uint8_t* sa = alpha_->Scanline(sy);
          for (int32_t x = x1; x <= x2; ++x) {
            const int32_t sx = xt[size_t(x - x1)];
            ar[x] = std::min<uint8_t>(alphaByte, (sx >= 0 && sx < W) ? sa[sx] : 255);
          }
        } else {
          std::memset(ar + x1, alphaByte, size_t(x2 - x1 + 1));
        }
        if (alphaByte != 255 || alphaMatters) da->Opaque = false;
      }
      if (!rowOk) continue;
      const uint8_t* s = Scanline(sy);
      uint8_t* d = Dest->Scanline(y);
      for (int32_t x = x1; x <= x2; ++x) {
        const int32_t sx = xt[size_t(x - x1)];
        if (sx < 0 || sx >= W) continue;
        if (f == TQxPixelFormat::qx1g) {
          std::memset(d + 3 * int64_t(x), QxGetRowBit(s, sx) ? 255 : 0, 3);
        } else if (f == TQxPixelFormat::qx24RGB) {
          std::memcpy(d + 3 * int64_t(x), s + 3 * int64_t(sx), 3);
        }
      }
    }
  } catch (...) {
  }
}
