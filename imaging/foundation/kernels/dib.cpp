#include "imaging/foundation/kernels/dib.h"

#include <algorithm>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/dib_bitmap.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/kernels/quantizer.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"

namespace {

struct ExpandTable {
  uint8_t t[256][24];
  constexpr ExpandTable() : t() {
    for (int i = 0; i < 256; ++i)
      for (int j = 0; j < 8; ++j) {
        const uint8_t v = (i & (0x80 >> j)) ? 255 : 0;
        t[i][3 * j] = t[i][3 * j + 1] = t[i][3 * j + 2] = v;
      }
  }
};
constexpr ExpandTable kExpand;

uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

int32_t MaskWidth(uint32_t m) {
  int32_t i = 0;
  while (i < 31 && !(m & (1u << i))) ++i;
  int32_t n = 0;
  while (i + n < 32 && (m & (1u << (i + n)))) ++n;
  return n;
}

constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

}  // namespace

// ---------------------------------------------------------------- bits and rows

void QxCopyBits(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t SourceBytes, int32_t BitCount,
                int32_t SourceBit) {
  if (BitCount < 1 || DestBit < 0 || SourceBit < 0 || !Dest || !Source) return;
  const int64_t avail = int64_t(SourceBytes) - SourceBit / 8;
  if (avail <= 0) return;
  // Never read past the source bytes: fewer bits are copied when the run would leave them.
  const int64_t maxBits = avail * 8 - (SourceBit % 8);
  const int32_t count = int32_t(std::min<int64_t>(BitCount, maxBits));
  for (int32_t i = 0; i < count;) {
    const int32_t sb = SourceBit + i, db = DestBit + i;
    if ((sb & 7) == 0 && (db & 7) == 0 && count - i >= 8) {
      const int32_t bytes = (count - i) / 8;
      std::memmove(Dest + db / 8, Source + sb / 8, size_t(bytes));
      i += bytes * 8;
      continue;
    }
    QxSetRowBit(Dest, db, QxGetRowBit(Source, sb));
    ++i;
  }
}

void QxCopyBitsEach(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t BitCount, int32_t SourceBit) {
  if (BitCount < 1 || DestBit < 0 || SourceBit < 0) return;
  for (int32_t i = 0; i < BitCount; ++i) QxSetRowBit(Dest, DestBit + i, QxGetRowBit(Source, SourceBit + i));
}

void QxInvertBytes(uint8_t* Buffer, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) Buffer[i] = uint8_t(~Buffer[i]);
}

void QxInvertRows(TQxBitmap* Bitmap) {
  if (!Bitmap) return;
  const int32_t h = Bitmap->Height(), len = Bitmap->RowLen();
  // Every byte of the row, also the last one of an odd row length.
  for (int32_t y = 0; y < h; ++y) QxInvertBytes(Bitmap->Scanline(y), len);
}

void QxExpandBitRow(const uint8_t* Source, uint8_t* Dest, int32_t Count) {
  const int32_t whole = Count / 8, rest = Count % 8;
  for (int32_t i = 0; i < whole; ++i) std::memcpy(Dest + 24 * i, kExpand.t[Source[i]], 24);
  if (rest) std::memcpy(Dest + 24 * whole, kExpand.t[Source[whole]], size_t(rest) * 3);
}

void QxCopySwapRB(uint8_t* Dest, const uint8_t* Source, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) {
    Dest[3 * i] = Source[3 * i + 2];
    Dest[3 * i + 1] = Source[3 * i + 1];
    Dest[3 * i + 2] = Source[3 * i];
  }
}

void QxSwapRB(uint8_t* Pixels, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) std::swap(Pixels[3 * i], Pixels[3 * i + 2]);
}

void QxSwapRBRow(uint8_t* Row, int32_t, int32_t Count) { QxSwapRB(Row, Count); }

void QxSwapRB48(uint16_t* Pixels, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) std::swap(Pixels[3 * i], Pixels[3 * i + 2]);
}

int32_t QxQuantizeRow(const uint8_t* Source, uint8_t* Dest, int32_t SourceBits, TQxQuantizer* Quantizer,
                      const TQxRGB* Palette, int32_t Count, int32_t DestBits) {
  auto idx = [&](const uint8_t* p) -> uint8_t {
    if (!Quantizer) return 0;
    const int32_t i = Quantizer->RGBIndex(TQxRGB{p[0], p[1], p[2]});
    return uint8_t(std::max(i, 0));
  };
  auto nib = [&](const uint8_t* s, int32_t x) -> uint8_t { return (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4); };
  auto pal = [&](int32_t i) -> TQxRGB { return Palette ? Palette[i] : TQxRGB{0, 0, 0}; };
  const int32_t pair = SourceBits * 100 + DestBits;
  switch (pair) {
    case 2404:
      for (int32_t x = 0; x < Count; ++x) Dest[x >> 1] |= uint8_t((x & 1) ? (idx(Source + 3 * x) & 15) : (idx(Source + 3 * x) << 4));
      break;
    case 2408:
      for (int32_t x = 0; x < Count; ++x) Dest[x] = idx(Source + 3 * x);
      break;
    case 2424:
      std::memcpy(Dest, Source, size_t(Count) * 3);
      break;
    case 3224:
      for (int32_t x = 0; x < Count; ++x) std::memcpy(Dest + 3 * x, Source + 4 * x, 3);
      break;
    case 801:
      std::memset(Dest, 0, size_t((Count + 7) / 8));
      for (int32_t x = 0; x < Count; ++x) QxSetRowBit(Dest, x, Source[x]);
      break;
    case 808:
      std::memcpy(Dest, Source, size_t(Count));
      break;
    case 824:
      for (int32_t x = 0; x < Count; ++x) {
        const TQxRGB c = pal(Source[x]);
        std::memcpy(Dest + 3 * x, &c, 3);
      }
      break;
    case 101:
      std::memcpy(Dest, Source, size_t((Count + 7) / 8));
      break;
    case 104:
      for (int32_t x = 0; x < Count; ++x) Dest[x >> 1] |= uint8_t((QxGetRowBit(Source, x) ? 1 : 0) << ((x & 1) ? 0 : 4));
      break;
    case 108:
      for (int32_t x = 0; x < Count; ++x) Dest[x] = QxGetRowBit(Source, x) ? 1 : 0;
      break;
    case 124:
      for (int32_t x = 0; x < Count; ++x) {
        const TQxRGB c = pal(QxGetRowBit(Source, x) ? 1 : 0);
        std::memcpy(Dest + 3 * x, &c, 3);
      }
      break;
    case 404:
      std::memcpy(Dest, Source, size_t((Count + 1) / 2));
      break;
    case 408:
      for (int32_t x = 0; x < Count; ++x) Dest[x] = nib(Source, x);
      break;
    case 424:
      for (int32_t x = 0; x < Count; ++x) {
        const TQxRGB c = pal(nib(Source, x));
        std::memcpy(Dest + 3 * x, &c, 3);
      }
      break;
    default:
      return 0;
  }
  switch (DestBits) {
    case 1: return (Count + 7) / 8;
    case 4: return (Count + 1) / 2;
    case 8: return Count;
    case 24: return 3 * Count;
    default: return 0;
  }
}

bool QxBitmapsEqual(TQxBitmap* A, TQxBitmap* B) {
  if (!A || !B) return false;
  if (A->Width() != B->Width() || A->Height() != B->Height()) return false;
  if (A->HasAlphaChannel() != B->HasAlphaChannel()) return false;
  // Compare the shorter of the two rows; a longer row of A is never read past B's end.
  auto rowsEqual = [](TQxBitmap* a, TQxBitmap* b) {
    const int32_t len = std::min(a->RowLen(), b->RowLen());
    if (a->RowLen() != b->RowLen()) return false;
    std::vector<uint8_t> ra(static_cast<size_t>(std::max(len, 1)));
    for (int32_t y = 0; y < a->Height(); ++y) {
      std::memcpy(ra.data(), a->Scanline(y), size_t(len));
      if (std::memcmp(ra.data(), b->Scanline(y), size_t(len)) != 0) return false;
    }
    return true;
  };
  if (!rowsEqual(A, B)) return false;
  if (A->HasAlphaChannel()) return rowsEqual(A->GetAlphaChannel(), B->GetAlphaChannel());
  return true;
}

// ---------------------------------------------------------------- YUV

void QxYUVToBGR(uint8_t Y, uint8_t U, uint8_t V, uint8_t* Dest) {
  const double c = Y - 16.0, d = U - 128.0, e = V - 128.0;
  Dest[0] = uint8_t(std::clamp<int64_t>(Round(1.164 * c + 2.018 * d), 0, 255));
  Dest[1] = uint8_t(std::clamp<int64_t>(Round(1.164 * c - 0.813 * e - 0.391 * d), 0, 255));
  Dest[2] = uint8_t(std::clamp<int64_t>(Round(1.164 * c + 1.596 * e), 0, 255));
}

namespace {

// Destination row of the n-th converted row.
uint8_t* YuvRow(TQxBitmap* B, int32_t n, bool TopDown) { return B->Scanline(TopDown ? n : B->Height() - 1 - n); }

bool YuvReady(TQxBitmap* B) {
  return B && B->PixelFormat() == TQxPixelFormat::qx24RGB && B->Width() > 0 && B->Height() > 0;
}

// Packed formats: groups of `bytes` bytes giving `pixels` pixels; each pixel's Y, U, V byte offsets.
void Packed(const uint8_t* Data, size_t Length, TQxBitmap* B, bool TopDown, int32_t bytes, int32_t pixels,
            const int32_t* yOff, const int32_t* uOff, const int32_t* vOff) {
  if (!YuvReady(B) || !Data) return;
  const int32_t w = B->Width(), h = B->Height();
  const int64_t groups = (int64_t(w) + pixels - 1) / pixels;
  const int64_t rowBytes = groups * bytes;
  for (int32_t n = 0; n < h; ++n) {
    if (int64_t(n + 1) * rowBytes > int64_t(Length)) break;
    const uint8_t* s = Data + int64_t(n) * rowBytes;
    uint8_t* d = YuvRow(B, n, TopDown);
    for (int64_t g = 0; g < groups; ++g) {
      const uint8_t* gp = s + g * bytes;
      for (int32_t p = 0; p < pixels; ++p) {
        const int64_t x = g * pixels + p;
        if (x >= w) break;
        QxYUVToBGR(gp[yOff[p]], gp[uOff[p]], gp[vOff[p]], d + 3 * x);
      }
    }
  }
}

// Planar formats: Y plane, then two chroma planes subsampled by `sub` both ways.
void Planar(const uint8_t* Data, size_t Length, TQxBitmap* B, bool TopDown, int32_t sub, bool uFirst) {
  if (!YuvReady(B) || !Data) return;
  const int64_t w = B->Width(), h = B->Height();
  const int64_t cw = std::max<int64_t>(w / sub, 1), ch = std::max<int64_t>(h / sub, 1);
  if (int64_t(Length) < w * h + 2 * cw * ch) return;
  const uint8_t* Y = Data;
  const uint8_t* P1 = Data + w * h;
  const uint8_t* P2 = P1 + cw * ch;
  const uint8_t* U = uFirst ? P1 : P2;
  const uint8_t* V = uFirst ? P2 : P1;
  for (int64_t n = 0; n < h; ++n) {
    uint8_t* d = YuvRow(B, int32_t(n), TopDown);
    const int64_t cr = std::min(n / sub, ch - 1);
    for (int64_t x = 0; x < w; ++x) {
      const int64_t cx = std::min(x / sub, cw - 1);
      QxYUVToBGR(Y[n * w + x], U[cr * cw + cx], V[cr * cw + cx], d + 3 * x);
    }
  }
}

}  // namespace

void QxConvertI420(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  Planar(Data, Length, Bitmap, TopDown, 2, true);
}
void QxConvertYV12(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  Planar(Data, Length, Bitmap, TopDown, 2, false);
}
void QxConvertYVU9(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  Planar(Data, Length, Bitmap, TopDown, 4, false);
}
void QxConvertYUY2(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  static const int32_t y[] = {0, 2}, u[] = {1, 1}, v[] = {3, 3};
  Packed(Data, Length, Bitmap, TopDown, 4, 2, y, u, v);
}
void QxConvertUYVY(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  static const int32_t y[] = {1, 3}, u[] = {0, 0}, v[] = {2, 2};
  Packed(Data, Length, Bitmap, TopDown, 4, 2, y, u, v);
}
void QxConvertYVYU(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  static const int32_t y[] = {0, 2}, u[] = {3, 3}, v[] = {1, 1};
  Packed(Data, Length, Bitmap, TopDown, 4, 2, y, u, v);
}
void QxConvertY211(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  static const int32_t y[] = {0, 0, 2, 2}, u[] = {1, 1, 1, 1}, v[] = {3, 3, 3, 3};
  Packed(Data, Length, Bitmap, TopDown, 4, 4, y, u, v);
}
void QxConvertY41P(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  static const int32_t y[] = {1, 3, 5, 7, 8, 9, 10, 11}, u[] = {0, 0, 0, 0, 4, 4, 4, 4},
                       v[] = {2, 2, 2, 2, 6, 6, 6, 6};
  Packed(Data, Length, Bitmap, TopDown, 12, 8, y, u, v);
}
void QxConvertIYU1(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  static const int32_t y[] = {1, 2, 4, 5}, u[] = {0, 0, 0, 0}, v[] = {3, 3, 3, 3};
  Packed(Data, Length, Bitmap, TopDown, 6, 4, y, u, v);
}
void QxConvertIYU2(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  static const int32_t y[] = {1}, u[] = {0}, v[] = {2};
  Packed(Data, Length, Bitmap, TopDown, 3, 1, y, u, v);
}
void QxConvertCLJR(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown) {
  if (!YuvReady(Bitmap) || !Data) return;
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  const int64_t groups = (int64_t(w) + 3) / 4, rowBytes = groups * 4;
  for (int32_t n = 0; n < h; ++n) {
    if (int64_t(n + 1) * rowBytes > int64_t(Length)) break;
    const uint8_t* s = Data + int64_t(n) * rowBytes;
    uint8_t* d = YuvRow(Bitmap, n, TopDown);
    for (int64_t g = 0; g < groups; ++g) {
      const uint32_t word = Get32(s + 4 * g);
      // 6-bit chroma and 5-bit luma fields scaled to 8 bits by bit replication.
      const uint32_t v6 = word & 63, u6 = (word >> 6) & 63;
      const uint8_t V = uint8_t(v6 << 2 | v6 >> 4), U = uint8_t(u6 << 2 | u6 >> 4);
      for (int p = 0; p < 4; ++p) {
        const int64_t x = g * 4 + p;
        if (x >= w) break;
        const uint32_t y5 = (word >> (12 + 5 * p)) & 31;
        QxYUVToBGR(uint8_t(y5 << 3 | y5 >> 2), U, V, d + 3 * x);
      }
    }
  }
}

// ---------------------------------------------------------------- packed DIBs

std::vector<uint8_t> _CopyBitmaptoDIBEx(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                        int32_t DpiX, int32_t DpiY) {
  if (!Bitmap) return {};
  const TQxPixelFormat f = Bitmap->PixelFormat();
  if (f != TQxPixelFormat::qx1g && f != TQxPixelFormat::qx8p && f != TQxPixelFormat::qx8g &&
      f != TQxPixelFormat::qx24RGB) {
    TQxBitmap copy;
    copy.AssignFrom(Bitmap);
    if (!copy.IsEmpty()) {
      copy.SetPixelFormat(TQxPixelFormat::qx24RGB);
      return _CopyBitmaptoDIBEx(&copy, X1, Y1, X2, Y2, DpiX, DpiY);
    }
  }
  if (X2 == 0) X2 = Bitmap->Width();
  if (Y2 == 0) Y2 = Bitmap->Height();
  // The rectangle must lie inside the bitmap.
  X1 = std::clamp(X1, 0, Bitmap->Width());
  Y1 = std::clamp(Y1, 0, Bitmap->Height());
  X2 = std::clamp(X2, X1, Bitmap->Width());
  Y2 = std::clamp(Y2, Y1, Bitmap->Height());
  const int32_t w = X2 - X1, h = Y2 - Y1;
  int32_t bits = 24, colours = 0;
  if (f == TQxPixelFormat::qx1g) {
    bits = 1;
    colours = 2;
  } else if (f == TQxPixelFormat::qx8p || f == TQxPixelFormat::qx8g) {
    bits = 8;
    colours = 256;
  } else if (f != TQxPixelFormat::qx24RGB) {
    bits = 24;
  }
  const int64_t rowLen = ((int64_t(w) * bits + 31) >> 5) << 2;
  const int64_t size = 44 + int64_t(colours) * 4 + rowLen * h;
  std::vector<uint8_t> out;
  try {
    out.assign(size_t(size), 0);
  } catch (...) {
    return {};
  }
  uint8_t* p = out.data();
  Put32(p, 40);
  Put32(p + 4, uint32_t(w));
  Put32(p + 8, uint32_t(h));
  Put16(p + 12, 1);
  Put16(p + 14, uint16_t(bits));
  Put32(p + 16, 0);
  Put32(p + 20, 0);
  Put32(p + 24, uint32_t(Trunc(DpiX * 39.3700787)));
  Put32(p + 28, uint32_t(Trunc(DpiY * 39.3700787)));
  uint8_t* table = p + 40;
  if (f == TQxPixelFormat::qx1g) {
    std::memset(table + 4, 255, 4);
  } else if (f == TQxPixelFormat::qx8p) {
    for (int32_t i = 0; i < Bitmap->PaletteLength() && i < 256; ++i) {
      const TQxRGB c = Bitmap->PaletteColor(i);
      table[4 * i] = c.b;
      table[4 * i + 1] = c.g;
      table[4 * i + 2] = c.r;
    }
  } else if (f == TQxPixelFormat::qx8g) {
    for (int i = 0; i < 256; ++i) std::memset(table + 4 * i, i, 3);
  }
  uint8_t* pixels = table + int64_t(colours) * 4;
  if (f != TQxPixelFormat::qx1g && f != TQxPixelFormat::qx8p && f != TQxPixelFormat::qx8g &&
      f != TQxPixelFormat::qx24RGB)
    return out;  // an empty copy: header without pixels
  for (int32_t y = Y2 - 1, n = 0; y >= Y1; --y, ++n) {
    const uint8_t* s = Bitmap->Scanline(y);
    uint8_t* d = pixels + int64_t(n) * rowLen;
    if (bits == 1)
      QxCopyBits(d, s, 0, Bitmap->RowLen(), w, X1);
    else
      std::memcpy(d, s + int64_t(X1) * (bits / 8), size_t(int64_t(w) * (bits / 8)));
  }
  return out;
}

int32_t QxCopyDIBToBitmap(const uint8_t* DIB, size_t Length, TQxBitmap* Bitmap, const uint8_t* Bits,
                          size_t BitsLength) {
  if (!DIB || !Bitmap || Length < 40) return 0;
  const uint32_t headerSize = Get32(DIB);
  const int32_t width = int32_t(Get32(DIB + 4));
  const int32_t rawHeight = int32_t(Get32(DIB + 8));
  const uint16_t bitCount = Get16(DIB + 14);
  const uint32_t compression = Get32(DIB + 16);
  const uint32_t clrUsed = Get32(DIB + 32);
  if (headerSize < 40 || headerSize > Length || width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) return 0;
  const bool topDown = rawHeight < 0;
  const int32_t height = topDown ? -rawHeight : rawHeight;
  const bool fourcc = compression > 3;
  if (compression == 1 || compression == 2) return 0;  // run-length DIBs are not decoded
  if (!fourcc && bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32)
    return 0;
  if (width > 65535 * 4 || height > 65535 * 4) return 0;
  const bool indexed = !fourcc && bitCount <= 8;
  int64_t colours = 0;
  if (indexed) {
    colours = clrUsed ? clrUsed : (int64_t(1) << bitCount);
    if (colours > (int64_t(1) << bitCount)) return 0;
  }
  int64_t offset = headerSize + colours * 4;
  const bool bitfields = compression == 3;
  if (bitfields && (bitCount == 16 || bitCount == 32)) offset = headerSize + (headerSize == 40 ? 12 : 0);
  if (bitfields && int64_t(Length) < 52) return 0;
  if (offset > int64_t(Length)) return 0;
  const uint8_t* pixels = Bits ? Bits : DIB + offset;
  const int64_t pixelBytes = Bits ? int64_t(BitsLength) : int64_t(Length) - offset;
  const int64_t rowLen = ((int64_t(bitCount) * width + 31) / 32) * 4;
  if (fourcc) {
    // Every video layout takes at least a byte per pixel; shorter data cannot be a frame of that size.
    if (!Bits || int64_t(BitsLength) < int64_t(width) * height) return 0;
  } else if (rowLen * height > pixelBytes) {
    return 0;
  }
  if (!Bitmap->Allocate(width, height, bitCount == 1 && !fourcc ? TQxPixelFormat::qx1g : TQxPixelFormat::qx24RGB))
    return 0;
  if (fourcc) {
    const uint8_t* d = Bits;
    const size_t n = BitsLength;
    switch (compression) {
      case FourCC('I', '4', '2', '0'):
      case FourCC('I', 'Y', 'U', 'V'):
        QxConvertI420(d, n, Bitmap, rawHeight > 0);
        break;
      case FourCC('Y', 'V', '1', '2'):
        QxConvertYV12(d, n, Bitmap, rawHeight > 0);
        break;
      case FourCC('Y', 'V', 'U', '9'):
        QxConvertYVU9(d, n, Bitmap, rawHeight > 0);
        break;
      case FourCC('Y', 'U', 'Y', '2'):
      case FourCC('Y', 'U', 'N', 'V'):
        QxConvertYUY2(d, n, Bitmap, rawHeight > 0);
        break;
      case FourCC('U', 'Y', 'V', 'Y'):
      case FourCC('U', 'Y', 'N', 'V'):
        QxConvertUYVY(d, n, Bitmap, rawHeight > 0);
        break;
      case FourCC('c', 'y', 'u', 'v'):
        QxConvertUYVY(d, n, Bitmap, rawHeight < 0);
        break;
      case FourCC('Y', 'V', 'Y', 'U'):
        QxConvertYVYU(d, n, Bitmap, rawHeight > 0);
        break;
      case FourCC('Y', '2', '1', '1'):
        QxConvertY211(d, n, Bitmap, rawHeight > 0);
        break;
      case FourCC('Y', '4', '1', 'P'):
        QxConvertY41P(d, n, Bitmap, rawHeight < 0);
        break;
      case FourCC('I', 'Y', 'U', '1'):
        QxConvertIYU1(d, n, Bitmap, rawHeight > 0);
        break;
      case FourCC('I', 'Y', 'U', '2'):
        QxConvertIYU2(d, n, Bitmap, rawHeight > 0);
        break;
      case FourCC('C', 'L', 'J', 'R'):
        QxConvertCLJR(d, n, Bitmap, rawHeight > 0);
        break;
      default:
        break;
    }
    return bitCount;
  }
  const uint8_t* table = DIB + headerSize;
  auto entry = [&](uint32_t i, uint8_t* d) {
    if (i >= colours) {
      std::memset(d, 0, 3);
      return;
    }
    std::memcpy(d, table + 4 * i, 3);
  };
  uint32_t masks[3] = {0x7C00, 0x3E0, 0x1F};
  if (bitfields && bitCount == 16) {
    const uint8_t* m = DIB + headerSize;
    if (headerSize > 40) m = DIB + 40;  // a V4/V5 header carries its masks inside
    for (int i = 0; i < 3; ++i) masks[i] = Get32(m + 4 * i);
  }
  const int32_t fr = MaskWidth(masks[0]), fg = MaskWidth(masks[1]), fb = MaskWidth(masks[2]);
  for (int32_t n = 0; n < height; ++n) {
    const uint8_t* s = pixels + int64_t(n) * rowLen;
    uint8_t* d = Bitmap->Scanline(topDown ? n : height - 1 - n);
    switch (bitCount) {
      case 1: {
        // The colour table decides which bit value is light: a table with a darker entry 1 is inverted.
        const int32_t g0 = colours > 0 ? table[0] + table[1] + table[2] : 0;
        const int32_t g1 = colours > 1 ? table[4] + table[5] + table[6] : 765;
        const size_t len = size_t(std::min<int64_t>(rowLen, Bitmap->RowLen()));
        std::memcpy(d, s, len);
        if (g1 < g0) QxInvertBytes(d, int32_t(len));
        break;
      }
      case 4:
        for (int32_t x = 0; x < width; ++x) entry((x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4), d + 3 * x);
        break;
      case 8:
        for (int32_t x = 0; x < width; ++x) entry(s[x], d + 3 * x);
        break;
      case 16:
        for (int32_t x = 0; x < width; ++x) {
          const uint32_t p = Get16(s + 2 * x);
          d[3 * x + 2] = uint8_t(uint64_t(p & masks[0]) >> std::clamp(fr + fg + fb - 8, 0, 63));
          d[3 * x + 1] = uint8_t(uint64_t(p & masks[1]) >> std::clamp(fg + fb - 8, 0, 63));
          d[3 * x] = uint8_t(((p & masks[2]) & 0xFF) << std::clamp(8 - fb, 0, 8));
        }
        break;
      case 24:
        if (compression == 0) std::memcpy(d, s, size_t(width) * 3);
        break;
      case 32:
        if (compression == 0 || compression == 3)
          for (int32_t x = 0; x < width; ++x) std::memcpy(d + 3 * x, s + 4 * x, 3);
        break;
      default:
        break;
    }
  }
  return bitCount;
}

int32_t QxCopyDIBToDibbitmap(const uint8_t* DIB, size_t Length, TQxDibbitmap* Dest, const uint8_t* Bits,
                             size_t BitsLength) {
  if (!Dest) return 0;
  TQxBitmap decoded;
  decoded.MemoryThreshold = INT64_MAX;
  const int32_t bits = QxCopyDIBToBitmap(DIB, Length, &decoded, Bits, BitsLength);
  if (bits == 0 || decoded.IsEmpty()) return bits;
  const bool mono = decoded.PixelFormat() == TQxPixelFormat::qx1g;
  if (!Dest->AllocateDIB(decoded.Width(), decoded.Height(), mono ? 1 : 24)) return bits;
  TQxBaseBitmap* d = Dest;
  const size_t len = size_t(std::min(decoded.RowLen(), d->RowLen()));
  for (int32_t y = 0; y < decoded.Height(); ++y) std::memcpy(d->Scanline(y), decoded.Scanline(y), len);
  return bits;
}

// ---------------------------------------------------------------- platform bitmaps

void QxCopyVclBitmap(TBitmap* Source, TBitmap* Dest) {
  if (!Source || !Dest || Source == Dest) return;
  if (Source->Width() > 0 && Source->Height() > 0) {
    Dest->Assign(*Source);
  } else {
    Dest->SetSize(1, 1);
    Dest->SetPixelFormat(Source->PixelFormat());
  }
}

std::unique_ptr<TBitmap> QxCloneVclBitmap(TBitmap* Source) {
  auto b = std::make_unique<TBitmap>();
  QxCopyVclBitmap(Source, b.get());
  return b;
}

void QxExpandVclBitmap1To24(TBitmap* Source, TBitmap* Dest, const TQxProgressInfo& Progress) {
  if (!Source || !Dest || Source == Dest) return;
  const int32_t w = Source->Width(), h = Source->Height();
  Dest->SetSize(1, 1);
  Dest->SetPixelFormat(TPixelFormat::pf24bit);
  Dest->SetSize(w, h);
  for (int32_t y = 0; y < h; ++y) {
    QxExpandBitRow(static_cast<const uint8_t*>(Source->ScanLine(y)), static_cast<uint8_t*>(Dest->ScanLine(y)), w);
    if (Progress.Assigned()) Progress.Report(int32_t(Trunc((y + 1) * 100.0 / (h + 0.5))));
  }
}
