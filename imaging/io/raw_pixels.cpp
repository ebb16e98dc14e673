#include "imaging/io/raw_pixels.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/io/params.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

namespace {

inline uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Stored row length for any alignment in bits (8, 16, 32, 64 ...).
int64_t RowBytes(int64_t width, int32_t bits, int32_t align) {
  if (align < 8) align = 8;
  const int64_t rowBits = width * bits;
  return ((rowBits + align - 1) / align) * (align / 8);
}

enum class SampleType { Byte, Word, Float };

SampleType SampleOf(TQxPixelFormat f) {
  switch (f) {
    case TQxPixelFormat::qx16g:
    case TQxPixelFormat::qxRGB48: return SampleType::Word;
    case TQxPixelFormat::qx32f: return SampleType::Float;
    default: return SampleType::Byte;
  }
}

// One text value; digits accumulate in unsigned 64-bit arithmetic, so no run overflows.
struct TextReader {
  TQxBufferedReadStream& s;
  bool hex;
  bool Next(uint64_t& value, std::string& digits) {
    auto isDigit = [&](uint8_t c) { return (c >= '0' && c <= '9') || (hex && c >= 'A' && c <= 'F'); };
    uint8_t c;
    for (;;) {
      if (!s.ReadByte(c)) return false;
      if (isDigit(c)) break;
    }
    value = 0;
    digits.clear();
    int n = 0;
    do {
      if (n < 34) {
        digits.push_back(static_cast<char>(c));
        uint32_t d = (c >= 'A') ? uint32_t(c - 'A' + 10) : uint32_t(c - '0');
        // Unsigned arithmetic wraps: the low bits that are stored stay exact for any run.
        value = value * (hex ? 16u : 10u) + d;
        ++n;
      }
      if (!s.ReadByte(c)) break;
    } while (isDigit(c));
    return true;
  }
};

}  // namespace

void ReadRawPixelStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress) {
  const int32_t H = Bitmap.Height(), W = Bitmap.Width();
  if (H <= 0 || W <= 0) return;
  TQxBufferedReadStream s(&Stream, 8192, true);
  int32_t last = -1;
  auto report = [&](int32_t per) {
    if (Progress.Assigned() && per != last) {
      last = per;
      Progress.Report(per);
    }
  };
  Progress.Factor = 100.0 / H;
  if (Params.RawBitmapDataOffset > 0) s.Seek(Params.RawBitmapDataOffset, TSeekOrigin::soCurrent);
  const TQxPixelFormat fmt = Bitmap.PixelFormat();
  const int32_t bpp = Bitmap.BitCount();
  const int32_t channels = Bitmap.GetChannelCount();
  const int64_t fileRow = RowBytes(W, bpp, Params.RawBitmapRowAlign);
  const int64_t bmpRow = Bitmap.RowLen();
  const uint8_t enc = Params.RawBitmapEncoding;
  const SampleType st = SampleOf(fmt);
  TextReader tr{s, enc == 2};
  uint64_t v = 0;
  std::string digits;
  // Stores one text value into a row at sample index i (bounded by the row's own samples).
  auto storeText = [&](uint8_t* row, int64_t i, int64_t rowLimit) {
    if (!tr.Next(v, digits)) v = 0, digits.clear();
    switch (st) {
      case SampleType::Byte:
        if (i < rowLimit) row[i] = uint8_t(v & 0xFF);
        break;
      case SampleType::Word:
        if (i * 2 + 1 < rowLimit) {
          uint16_t w16 = uint16_t(v & 0xFFFF);
          std::memcpy(row + i * 2, &w16, 2);
        }
        break;
      case SampleType::Float:
        if (enc == 2) throw Exception("Format unsupported");
        if (i * 4 + 3 < rowLimit) {
          float fv = digits.empty() ? 0.0f : static_cast<float>(std::strtod(digits.c_str(), nullptr));
          std::memcpy(row + i * 4, &fv, 4);
        }
        break;
    }
  };
  auto interleaved = [&]() {
    for (int32_t r = 0; r < H; ++r) {
      uint8_t* row = Bitmap.Scanline(r);
      if (enc == 0) {
        s.Read(row, std::min(bmpRow, fileRow));
      } else if (fmt == TQxPixelFormat::qx1g) {
        // One value per pixel: any non-zero value is a set bit, and only the row's own bits are touched.
        for (int32_t x = 0; x < W; ++x) {
          if (!tr.Next(v, digits)) v = 0;
          if (v)
            row[x >> 3] = uint8_t(row[x >> 3] | (0x80 >> (x & 7)));
          else
            row[x >> 3] = uint8_t(row[x >> 3] & ~(0x80 >> (x & 7)));
        }
      } else {
        const int64_t n = static_cast<int64_t>(W) * channels;
        for (int64_t i = 0; i < n; ++i) storeText(row, i, bmpRow);
      }
      if (fileRow > bmpRow) s.Seek(fileRow - bmpRow, TSeekOrigin::soCurrent);
      report(static_cast<int32_t>(Trunc(r * Progress.Factor)));
    }
  };
  auto planar = [&](int32_t planes, int32_t sampleBytes, const std::vector<int32_t>& marks) {
    const int64_t planeRow = RowBytes(W, sampleBytes * 8, Params.RawBitmapRowAlign);
    std::vector<uint8_t> buf(static_cast<size_t>(std::max<int64_t>(planeRow, int64_t(W) * sampleBytes)));
    for (int32_t p = 0; p < planes; ++p) {
      report(marks[p]);
      for (int32_t r = 0; r < H; ++r) {
        if (enc == 0) {
          std::fill(buf.begin(), buf.end(), 0);
          s.Read(buf.data(), planeRow);
        } else {
          for (int32_t x = 0; x < W; ++x) {
            if (!tr.Next(v, digits)) v = 0;
            if (sampleBytes == 1) {
              buf[x] = uint8_t(v);
            } else {
              uint16_t w16 = uint16_t(v);
              std::memcpy(buf.data() + x * 2, &w16, 2);
            }
          }
        }
        uint8_t* row = Bitmap.Scanline(r);
        const int32_t stride = planes * sampleBytes;
        for (int32_t x = 0; x < W; ++x)
          std::memcpy(row + x * stride + p * sampleBytes, buf.data() + x * sampleBytes, static_cast<size_t>(sampleBytes));
      }
    }
    report(100);
  };
  switch (fmt) {
    case TQxPixelFormat::qx1g:
    case TQxPixelFormat::qx8p:
    case TQxPixelFormat::qx8g:
    case TQxPixelFormat::qx16g:
    case TQxPixelFormat::qx32f: interleaved(); break;
    case TQxPixelFormat::qx24RGB:
      if (Params.RawBitmapPlanar == 0)
        interleaved();
      else if (Params.RawBitmapPlanar == 1)
        planar(3, 1, {0, 33, 66});
      if (Params.RawBitmapBGR == 0)
        for (int32_t r = 0; r < H; ++r) {
          uint8_t* row = Bitmap.Scanline(r);
          for (int32_t x = 0; x < W; ++x) std::swap(row[x * 3], row[x * 3 + 2]);
        }
      break;
    case TQxPixelFormat::qxCMYK:
      if (Params.RawBitmapPlanar == 0)
        interleaved();
      else if (Params.RawBitmapPlanar == 1)
        planar(4, 1, {0, 25, 50, 75});
      break;
    case TQxPixelFormat::qxRGB48:
      if (Params.RawBitmapPlanar == 0)
        interleaved();
      else if (Params.RawBitmapPlanar == 1)
        planar(3, 2, {0, 33, 66});
      if (Params.RawBitmapBGR == 0)
        for (int32_t r = 0; r < H; ++r) {
          auto* row = reinterpret_cast<uint16_t*>(Bitmap.Scanline(r));
          for (int32_t x = 0; x < W; ++x) std::swap(row[x * 3], row[x * 3 + 2]);
        }
      break;
    default: break;
  }
}

bool IsEmfStream(TStream& Stream) {
  int64_t p = Stream.Position();
  uint8_t b[100];
  int64_t got = 0;
  try {
    got = Stream.Read(b, 100);
  } catch (...) {
    got = 0;
  }
  Stream.SetPosition(p);
  return got >= 44 && U32(b) == 1 && U32(b + 40) == 0x464D4520;
}

bool IsWmfStream(TStream& Stream) {
  int64_t p = Stream.Position();
  bool ok = false;
  try {
    uint8_t b[22];
    if (Stream.Read(b, 20) == 20) {
      int64_t hp = U32(b) == 0x9AC6CDD7 ? p + 22 : p;
      Stream.SetPosition(hp);
      uint8_t h[18];
      if (Stream.Read(h, 18) == 18) ok = U16(h) == 1 && U16(h + 2) == 9 && U16(h + 16) == 0;
    }
  } catch (...) {
    ok = false;
  }
  Stream.SetPosition(p);
  return ok;
}
