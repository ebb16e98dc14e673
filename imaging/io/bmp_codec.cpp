#include "imaging/io/bmp_codec.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/resample.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/params.h"
#include "imaging/io/png_codec.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/kernels/quantizer.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

namespace {

inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

bool ReadAll(TStream& S, void* B, int64_t N) { return N <= 0 || S.Read(B, N) == N; }

inline bool GetBit(const uint8_t* row, int32_t x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }
inline void SetBit(uint8_t* row, int32_t x, bool v) {
  if (v)
    row[x >> 3] = uint8_t(row[x >> 3] | (0x80 >> (x & 7)));
  else
    row[x >> 3] = uint8_t(row[x >> 3] & ~(0x80 >> (x & 7)));
}

int64_t DibRowLen(int64_t width, int32_t bits) { return ((width * bits + 31) / 32) * 4; }

int32_t DpiFromPpm(int32_t ppm) { return static_cast<int32_t>(Round(ppm / 100.0 * 2.54)); }
int32_t PpmFromDpi(int32_t dpi) { return static_cast<int32_t>(Round(dpi / 2.54 * 100.0)); }

// A full 256-entry colour table: indexes the file's map does not define read as black.
std::vector<TQxRGB> LookupTable(const TIOParamsVals& P) {
  std::vector<TQxRGB> t(256, TQxRGB{0, 0, 0});
  for (int32_t i = 0; i < P.ColorMapCount && i < 256; ++i) t[i] = P.ColorMap[i];
  return t;
}

// Reports Trunc(done * factor) when it changed; false when aborting.
struct RowProgress {
  TQxProgressInfo& Pr;
  int32_t last = -1;
  bool Step(int32_t done) {
    if (Pr.Assigned()) {
      int32_t per = static_cast<int32_t>(Trunc(done * Pr.Factor));
      if (per != last) {
        last = per;
        Pr.Report(per);
      }
    }
    return !Pr.Aborting();
  }
};

// Bit-field channel to 8 bits; works for masks of any position and width.
struct FieldDecoder {
  uint32_t mask = 0;
  int shift = 0;
  int width = 0;
  explicit FieldDecoder(uint32_t m) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    uint32_t v = m >> shift;
    while (v & 1) {
      ++width;
      v >>= 1;
    }
  }
  uint8_t Get(uint32_t px) const {
    if (!mask) return 0;
    return QxWidenTo8((px & mask) >> shift, width);
  }
};

// RLE4/RLE8 into index bytes; rows in file order (row 0 = first stored row). Returns rows reached.
void DecodeRle(const std::vector<uint8_t>& data, bool rle4, int32_t width, int32_t height,
               const std::function<uint8_t*(int32_t)>& rowOf, RowProgress& prog) {
  size_t i = 0;
  int32_t x = 0, r = 0;
  const size_t n = data.size();
  auto put = [&](uint8_t v) {
    if (x < width && r < height) rowOf(r)[x] = v;
    ++x;
  };
  while (i + 1 < n && r < height) {
    uint8_t a = data[i], b = data[i + 1];
    i += 2;
    if (a > 0) {
      for (int k = 0; k < a; ++k) put(rle4 ? ((k & 1) ? (b & 0x0F) : (b >> 4)) : b);
    } else if (b == 0) {
      ++r;
      x = 0;
      if (!prog.Step(r) || r >= height) break;
    } else if (b == 1) {
      break;
    } else if (b == 2) {
      if (i + 1 >= n) break;
      x += data[i];
      r += data[i + 1];
      i += 2;
      // A delta past the last row ends the picture.
      if (r >= height) break;
    } else {
      int32_t count = b;
      size_t bytes = rle4 ? (static_cast<size_t>(count) + 1) / 2 : static_cast<size_t>(count);
      if (i + bytes > n) bytes = n - i;
      for (int32_t k = 0; k < count; ++k) {
        size_t bi = rle4 ? i + static_cast<size_t>(k) / 2 : i + static_cast<size_t>(k);
        if (bi >= i + bytes) break;
        uint8_t v = data[bi];
        put(rle4 ? ((k & 1) ? (v & 0x0F) : (v >> 4)) : v);
      }
      i += bytes;
      if (bytes & 1) ++i;
    }
  }
}

}  // namespace

void ReadBmpStream(TStream& Stream, TQxBitmap& Bitmap, int32_t DataSize, TIOParamsVals& Params,
                   TQxProgressInfo& Progress, bool ParamsOnly, bool NoFileHeader, std::unique_ptr<TQxMask>& Mask,
                   bool IgnoreAlpha) {
  const int64_t P = Stream.Position();
  uint8_t fh[14] = {0};
  uint32_t dataOffset = 0;
  if (NoFileHeader || Params.IsResource) {
    fh[0] = 'B';
    fh[1] = 'M';
    Put32(fh + 2, static_cast<uint32_t>(std::min<int64_t>(Stream.Size(), 0x7FFFFFFF)));
  } else if (!ReadAll(Stream, fh, 14)) {
    Progress.Abort();
    return;
  }
  if (DataSize <= 0 && I32(fh + 2) > 0) DataSize = I32(fh + 2);
  dataOffset = U32(fh + 10);
  if (U16(fh) != 0x4D42) {
    Progress.Abort();
    return;
  }
  uint8_t hs[4];
  if (!ReadAll(Stream, hs, 4)) {
    Progress.Abort();
    return;
  }
  Stream.Seek(-4, TSeekOrigin::soCurrent);
  const uint32_t headerSize = U32(hs);
  Params.FreeColorMap();
  int32_t width = 0, height = 0, bits = 0;
  uint32_t compression = 0, imageSize = 0;
  bool topDown = false;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  bool fileMasks = false;
  uint32_t alphaMask = 0;
  if (headerSize == 12) {
    uint8_t h[12];
    if (!ReadAll(Stream, h, 12)) {
      Progress.Abort();
      return;
    }
    Params.BmpVersion = 2;
    width = U16(h + 4);
    height = U16(h + 6);
    bits = U16(h + 10);
    Params.SetDpiX(QxDefaultDpiX);
    Params.SetDpiY(QxDefaultDpiY);
    if (bits <= 8 && bits > 0) {
      int32_t n = 1 << bits;
      std::vector<uint8_t> pal(static_cast<size_t>(n) * 3);
      if (!ReadAll(Stream, pal.data(), static_cast<int64_t>(pal.size()))) {
        Progress.Abort();
        return;
      }
      Params.SetColorMap(reinterpret_cast<const TQxRGB*>(pal.data()), n);
    }
  } else {
    // Fewer than 16 bytes cannot hold the size and depth.
    if (headerSize < 16) {
      Progress.Abort();
      return;
    }
    uint8_t h[64] = {0};
    uint32_t take = std::min<uint32_t>(64, headerSize);
    if (!ReadAll(Stream, h, take)) {
      Progress.Abort();
      return;
    }
    if (headerSize > 64) Stream.Seek(static_cast<int64_t>(headerSize) - 64, TSeekOrigin::soCurrent);
    Params.BmpVersion = headerSize == 64 ? 3 : (headerSize == 40 ? 1 : 0);
    width = I32(h + 4);
    height = I32(h + 8);
    if (height == INT32_MIN || width < 0) {
      Progress.Abort();
      return;
    }
    if (height < 0) {
      height = -height;
      topDown = true;
    }
    bits = U16(h + 14);
    compression = U32(h + 16);
    imageSize = U32(h + 20);
    int32_t dx = DpiFromPpm(I32(h + 24)), dy = DpiFromPpm(I32(h + 28));
    Params.SetDpiX(dx != 0 ? dx : QxDefaultDpiX);
    Params.SetDpiY(dy != 0 ? dy : QxDefaultDpiY);
    uint32_t used = U32(h + 32);
    if (used > 256) used = 0;
    if (used == 0 && bits <= 8 && bits > 0) used = 1u << bits;
    // Headers from 52 bytes on carry the bit-field masks themselves.
    if (compression == 3 && headerSize >= 52) {
      masks[0] = U32(h + 40);
      masks[1] = U32(h + 44);
      masks[2] = U32(h + 48);
      fileMasks = true;
    }
    if (compression == 3 && headerSize >= 56) alphaMask = U32(h + 52);
    // A shorter header is followed by its three masks, and only then by the colour table.
    if (compression == 3 && !fileMasks) {
      uint8_t m[12];
      if (!ReadAll(Stream, m, 12)) {
        Progress.Abort();
        return;
      }
      masks[0] = U32(m);
      masks[1] = U32(m + 4);
      masks[2] = U32(m + 8);
    }
    if (used > 0) {
      std::vector<uint8_t> pal(static_cast<size_t>(used) * 4);
      if (!ReadAll(Stream, pal.data(), static_cast<int64_t>(pal.size()))) {
        Progress.Abort();
        return;
      }
      Params.SetColorMap(nullptr, static_cast<int32_t>(used));
      for (uint32_t i = 0; i < used; ++i) Params.ColorMap[i] = TQxRGB{pal[i * 4], pal[i * 4 + 1], pal[i * 4 + 2]};
    }
  }
  Params.Width = Params.OriginalWidth = width;
  Params.Height = Params.OriginalHeight = height;
  Params.SetImageCount(1);
  Params.BmpCompression = (compression == 1 || compression == 2) ? 1 : 0;
  if (dataOffset > 0) Stream.SetPosition(P + dataOffset);
  int64_t compSize = DataSize > 0 ? DataSize - (Stream.Position() - P) : imageSize;
  // Never trust a size beyond what the stream holds.
  compSize = std::clamp<int64_t>(compSize, 0, std::max<int64_t>(0, Stream.Size() - Stream.Position()));

  // Which pixel data this reader understands; anything else is refused rather than loaded blank.
  const bool readable = (bits == 1 && compression == 0) || (bits == 4 && (compression == 0 || compression == 2)) ||
                        (bits == 8 && (compression == 0 || compression == 1)) ||
                        (bits == 16 && (compression == 0 || compression == 3)) || (bits == 24 && compression == 0) ||
                        (bits == 32 && (compression == 0 || compression == 3));
  switch (bits) {
    case 1: Params.BitsPerSample = 1; Params.SamplesPerPixel = 1; break;
    case 4: Params.BitsPerSample = 4; Params.SamplesPerPixel = 1; break;
    case 8: Params.BitsPerSample = 8; Params.SamplesPerPixel = 1; break;
    case 16: Params.BitsPerSample = 5; Params.SamplesPerPixel = 3; break;
    case 24: Params.BitsPerSample = 8; Params.SamplesPerPixel = 3; break;
    case 32: Params.BitsPerSample = 8; Params.SamplesPerPixel = 4; break;
    default: break;
  }
  if (width == 0 || height == 0) ParamsOnly = true;
  if (ParamsOnly) return;
  if (!readable) {
    Progress.Abort();
    return;
  }
  // A file cannot describe more pixels than its data can fill: refuse before allocating.
  {
    const int64_t remaining = std::max<int64_t>(0, Stream.Size() - Stream.Position());
    // In floating point: the products of 32-bit sizes do not fit 64 bits.
    const double need = static_cast<double>(DibRowLen(width, bits)) * (height - 1) +
                        static_cast<double>((static_cast<int64_t>(width) * bits + 7) / 8);
    const double pixels = static_cast<double>(width) * height;
    const bool rleData = (bits == 4 && compression == 2) || (bits == 8 && compression == 1);
    if ((rleData ? pixels > static_cast<double>(std::max<int64_t>(compSize, 64)) * 32768
                 : need > static_cast<double>(remaining)) ||
        !QxPictureFits(Params, width, height, -1, -1)) {
      Progress.Abort();
      return;
    }
  }
  const bool native = Params.NativePixelFormat != 0;
  // A two-colour palette other than black and white keeps its colours: it is read as indexes like 4 bits.
  const TQxRGB black{0, 0, 0}, white{255, 255, 255};
  // A one-entry palette keeps its colour too (bits that are set name a missing entry: black).
  const bool grayPalette = Params.ColorMapCount == 0 ||
                           (Params.ColorMapCount >= 2 &&
                            ((Params.ColorMap[0] == black && Params.ColorMap[1] == white) ||
                             (Params.ColorMap[0] == white && Params.ColorMap[1] == black)));
  const bool colouredBits = bits == 1 && !grayPalette;
  const bool indexed = bits == 4 || bits == 8 || colouredBits;
  TQxPixelFormat fmt = bits == 1 && !colouredBits ? TQxPixelFormat::qx1g
                                 : (indexed && native ? TQxPixelFormat::qx8p : TQxPixelFormat::qx24RGB);
  bool allocated = false;
  try {
    allocated = Bitmap.Allocate(width, height, fmt);
  } catch (...) {
    allocated = false;
  }
  if (!allocated) {
    Progress.Abort();
    return;
  }
  Progress.Factor = 100.0 / height;
  RowProgress prog{Progress};
  auto bmpRow = [&](int32_t fileRow) { return Bitmap.Scanline(topDown ? fileRow : height - 1 - fileRow); };
  const int64_t rowLen = DibRowLen(width, bits);
  std::vector<uint8_t> row(static_cast<size_t>(rowLen));
  const std::vector<TQxRGB> lut = LookupTable(Params);
  bool truncated = false;

  if (indexed && native) {
    Bitmap.PaletteColors = bits == 8 ? 256 : (bits == 4 ? 16 : 2);
    for (int32_t i = 0; i < 256; ++i) Bitmap.SetPaletteColor(i, lut[i]);
  }
  if (bits == 1 && !colouredBits) {
    const int64_t bytes = (static_cast<int64_t>(width) + 7) / 8;
    for (int32_t r = 0; r < height; ++r) {
      if (!prog.Step(r)) break;
      if (!ReadAll(Stream, row.data(), rowLen)) {
        truncated = true;
        break;
      }
      std::memcpy(bmpRow(r), row.data(), static_cast<size_t>(bytes));
    }
    if (Params.ColorMapCount == 2 && Params.ColorMap[0] == TQxRGB{255, 255, 255} &&
        Params.ColorMap[1] == TQxRGB{0, 0, 0}) {
      for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = Bitmap.Scanline(y);
        for (int64_t i = 0; i < bytes; ++i) p[i] = uint8_t(~p[i]);
      }
    }
  } else if (indexed && compression == 0) {
    for (int32_t r = 0; r < height; ++r) {
      if (!prog.Step(r)) break;
      if (!ReadAll(Stream, row.data(), rowLen)) {
        truncated = true;
        break;
      }
      uint8_t* dst = bmpRow(r);
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t idx = bits == 8   ? row[x]
                            : bits == 4 ? ((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4))
                                        : uint8_t((row[x >> 3] >> (7 - (x & 7))) & 1);
        if (native)
          dst[x] = idx;
        else
          reinterpret_cast<TQxRGB*>(dst)[x] = lut[idx];
      }
    }
  } else if (bits == 4 || bits == 8) {
    std::vector<uint8_t> data(static_cast<size_t>(compSize));
    int64_t got = compSize > 0 ? Stream.Read(data.data(), compSize) : 0;
    data.resize(static_cast<size_t>(std::max<int64_t>(0, got)));
    if (native) {
      DecodeRle(data, bits == 4, width, height, [&](int32_t r) { return bmpRow(r); }, prog);
    } else {
      // Decode to indexes first, then colour the rows.
      std::vector<uint8_t> idx(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
      DecodeRle(data, bits == 4, width, height,
                [&](int32_t r) { return idx.data() + static_cast<size_t>(r) * static_cast<size_t>(width); }, prog);
      for (int32_t r = 0; r < height; ++r) {
        auto* dst = reinterpret_cast<TQxRGB*>(bmpRow(r));
        const uint8_t* s = idx.data() + static_cast<size_t>(r) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) dst[x] = lut[s[x]];
      }
    }
  } else if (bits == 16 || (bits == 32 && compression == 3 &&
                              (masks[0] != 0xFF0000 || masks[1] != 0xFF00 || masks[2] != 0xFF))) {
    // Bit fields; an alpha field (A1R5G5B5 and the like) goes to the mask as the fourth byte of 32-bit pixels does.
    FieldDecoder fr(masks[0]), fg(masks[1]), fb(masks[2]), fa(alphaMask);
    const bool withAlpha = alphaMask != 0 && !IgnoreAlpha;
    if (withAlpha) {
      if (!Mask) Mask = std::make_unique<TQxMask>();
      Mask->Allocate(width, height, 8);
      Mask->Fill(255);
    }
    bool allZero = true;
    for (int32_t r = 0; r < height; ++r) {
      if (!prog.Step(r)) break;
      if (!ReadAll(Stream, row.data(), rowLen)) {
        truncated = true;
        break;
      }
      auto* dst = reinterpret_cast<TQxRGB*>(bmpRow(r));
      uint8_t* m = withAlpha ? Mask->Scanline(topDown ? r : height - 1 - r) : nullptr;
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t px = bits == 16 ? U16(row.data() + x * 2) : U32(row.data() + x * 4);
        dst[x] = TQxRGB{fb.Get(px), fg.Get(px), fr.Get(px)};
        if (m) {
          m[x] = fa.Get(px);
          if (m[x]) allZero = false;
        }
      }
    }
    if (withAlpha) {
      Mask->UpdateFull();
      if (allZero || Mask->Full) Mask.reset();
    }
  } else if (bits == 24) {
    for (int32_t r = 0; r < height; ++r) {
      if (!prog.Step(r)) break;
      uint8_t* dst = bmpRow(r);
      if (!ReadAll(Stream, dst, static_cast<int64_t>(width) * 3)) {
        truncated = true;
        break;
      }
      int64_t pad = rowLen - static_cast<int64_t>(width) * 3;
      if (pad > 0 && !ReadAll(Stream, row.data(), pad) && r < height - 1) {
        truncated = true;
        break;
      }
    }
  } else if (bits == 32) {
    if (!IgnoreAlpha) {
      if (!Mask) Mask = std::make_unique<TQxMask>();
      Mask->Allocate(width, height, 8);
      Mask->Fill(255);
    }
    bool allZero = true;
    for (int32_t r = 0; r < height; ++r) {
      if (!prog.Step(r)) break;
      if (!ReadAll(Stream, row.data(), rowLen)) {
        truncated = true;
        break;
      }
      const int32_t y = topDown ? r : height - 1 - r;
      uint8_t* dst = Bitmap.Scanline(y);
      uint8_t* m = IgnoreAlpha ? nullptr : Mask->Scanline(y);
      const uint8_t* s = row.data();
      for (int32_t x = 0; x < width; ++x, s += 4) {
        dst[x * 3] = s[0];
        dst[x * 3 + 1] = s[1];
        dst[x * 3 + 2] = s[2];
        if (m) {
          m[x] = s[3];
          if (s[3]) allZero = false;
        }
      }
    }
    if (!IgnoreAlpha) {
      Mask->UpdateFull();
      if (allZero || Mask->Full) Mask.reset();
    }
  }
  if (truncated) Progress.Abort();
}

namespace {

// RLE of one row of indexes (one index per byte, also for RLE4).
void EncodeRleRow(const uint8_t* idx, int32_t width, bool rle4, std::vector<uint8_t>& out) {
  std::vector<uint8_t> lit;
  auto flush = [&]() {
    size_t pos = 0;
    while (pos < lit.size()) {
      size_t n = std::min<size_t>(255, lit.size() - pos);
      const uint8_t* p = lit.data() + pos;
      if (n == 1) {
        out.push_back(1);
        out.push_back(rle4 ? uint8_t(p[0] << 4) : p[0]);
      } else if (n == 2) {
        if (rle4) {
          out.push_back(2);
          out.push_back(uint8_t((p[0] << 4) | (p[1] & 0x0F)));
        } else {
          out.push_back(1);
          out.push_back(p[0]);
          out.push_back(1);
          out.push_back(p[1]);
        }
      } else {
        out.push_back(0);
        out.push_back(uint8_t(n));
        size_t bytes = 0;
        if (rle4) {
          for (size_t k = 0; k < n; k += 2) {
            uint8_t b = uint8_t(p[k] << 4);
            if (k + 1 < n) b = uint8_t(b | (p[k + 1] & 0x0F));
            out.push_back(b);
            ++bytes;
          }
        } else {
          out.insert(out.end(), p, p + n);
          bytes = n;
        }
        if (bytes & 1) out.push_back(0);
      }
      pos += n;
    }
    lit.clear();
  };
  int32_t x = 0;
  while (x < width) {
    int32_t run = 1;
    while (x + run < width && run < 255 && idx[x + run] == idx[x]) ++run;
    if (run >= 2) {
      flush();
      out.push_back(uint8_t(run));
      out.push_back(rle4 ? uint8_t(idx[x] * 16 + (idx[x] & 0x0F)) : idx[x]);
      x += run;
    } else {
      lit.push_back(idx[x]);
      ++x;
    }
  }
  flush();
  out.push_back(0);
  out.push_back(0);
}

}  // namespace

void WriteBmpStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool WriteAlpha,
                    TQxProgressInfo& Progress) {
  std::atomic<bool>* ab = Progress.AbortFlag;
  std::atomic<bool> localAbort{false};
  if (!ab) ab = &localAbort;
  int32_t bits;
  if (Params.BitsPerSample == 1 || Params.BitsPerSample == 4)
    bits = Params.BitsPerSample;
  else if (Params.SamplesPerPixel == 1)
    bits = 8;
  else if (Bitmap.HasAlphaChannel())
    bits = 32;
  else
    bits = 24;

  // Formats the row writers do not take go through a 24-bit copy.
  std::unique_ptr<TQxBitmap> copy;
  TQxBitmap* src = &Bitmap;
  TQxPixelFormat f = Bitmap.PixelFormat();
  if (f != TQxPixelFormat::qx1g && f != TQxPixelFormat::qx8p && f != TQxPixelFormat::qx24RGB) {
    copy = std::make_unique<TQxBitmap>();
    copy->AssignFrom(&Bitmap);
    copy->SetPixelFormat(TQxPixelFormat::qx24RGB);
    src = copy.get();
  }
  const int32_t width = Bitmap.Width(), height = Bitmap.Height();
  const int64_t start = Stream.Position();
  uint8_t fh[14] = {0};
  fh[0] = 'B';
  fh[1] = 'M';
  QxWriteChecked(&Stream, ab, fh, 14);
  const bool core = Params.BmpVersion == 2;
  const bool rle = Params.BmpCompression == 1 && (bits == 4 || bits == 8) && !core;
  uint8_t h[64] = {0};
  int32_t hsize = core ? 12 : (Params.BmpVersion == 3 ? 64 : 40);
  const int64_t headerPos = Stream.Position();
  if (core) {
    Put32(h, 12);
    Put16(h + 4, static_cast<uint32_t>(width));
    Put16(h + 6, static_cast<uint32_t>(height));
    Put16(h + 8, 1);
    Put16(h + 10, static_cast<uint32_t>(bits));
  } else {
    Put32(h, static_cast<uint32_t>(hsize));
    Put32(h + 4, static_cast<uint32_t>(width));
    Put32(h + 8, static_cast<uint32_t>(height));
    Put16(h + 12, 1);
    Put16(h + 14, static_cast<uint32_t>(bits));
    Put32(h + 16, rle ? (bits == 4 ? 2u : 1u) : 0u);
    Put32(h + 24, static_cast<uint32_t>(PpmFromDpi(Params.DpiX)));
    Put32(h + 28, static_cast<uint32_t>(PpmFromDpi(Params.DpiY)));
    Put32(h + 32, bits <= 8 ? (1u << bits) : 0u);
    Put32(h + 36, (bits % 32) < 32 ? (1u << (bits % 32)) : 0u);
  }
  QxWriteChecked(&Stream, ab, h, hsize);
  Progress.Factor = height > 0 ? 100.0 / height : 0;
  RowProgress prog{Progress};
  const int64_t rowLen = DibRowLen(width, bits);
  std::vector<uint8_t> row(static_cast<size_t>(rowLen) + 8, 0);
  int64_t paletteEnd = 0;

  auto writePalette = [&](const std::vector<TQxRGB>& pal) {
    for (const TQxRGB& c : pal) {
      uint8_t e[4] = {c.b, c.g, c.r, 0};
      QxWriteChecked(&Stream, ab, e, core ? 3 : 4);
    }
  };

  if (bits == 4 || bits == 8) {
    std::unique_ptr<TQxBitmap> c24;
    TQxBitmap* s = src;
    if (s->PixelFormat() == TQxPixelFormat::qx1g) {
      c24 = std::make_unique<TQxBitmap>();
      c24->AssignFrom(s);
      c24->SetPixelFormat(TQxPixelFormat::qx24RGB);
      s = c24.get();
    }
    const int32_t n = 1 << bits;
    std::vector<TQxRGB> pal(static_cast<size_t>(n), TQxRGB{0, 0, 0});
    std::unique_ptr<TQxQuantizer> q;
    const bool own8p = s->PixelFormat() == TQxPixelFormat::qx8p && bits == 8;
    if (own8p) {
      for (int32_t i = 0; i < 256; ++i) pal[i] = s->PaletteColor(i);
    } else {
      q = std::make_unique<TQxQuantizer>(s, pal.data(), n);
    }
    Params.SetColorMap(pal.data(), n);
    writePalette(pal);
    paletteEnd = Stream.Position();
    std::vector<uint8_t> idx(static_cast<size_t>(width));
    std::vector<uint8_t> enc;
    for (int32_t y = height - 1; y >= 0; --y) {
      if (!prog.Step(height - 1 - y)) break;
      const uint8_t* sr = s->Scanline(y);
      if (own8p) {
        std::memcpy(idx.data(), sr, static_cast<size_t>(width));
      } else if (s->PixelFormat() == TQxPixelFormat::qx8p) {
        for (int32_t x = 0; x < width; ++x)
          idx[x] = uint8_t(std::clamp(q->RGBIndex(s->PaletteColor(sr[x])), 0, n - 1));
      } else {
        auto* px = reinterpret_cast<const TQxRGB*>(sr);
        for (int32_t x = 0; x < width; ++x) idx[x] = uint8_t(std::clamp(q->RGBIndex(px[x]), 0, n - 1));
      }
      if (rle) {
        enc.clear();
        EncodeRleRow(idx.data(), width, bits == 4, enc);
        QxWriteChecked(&Stream, ab, enc.data(), static_cast<int64_t>(enc.size()));
      } else {
        std::fill(row.begin(), row.end(), 0);
        if (bits == 8) {
          std::memcpy(row.data(), idx.data(), static_cast<size_t>(width));
        } else {
          for (int32_t x = 0; x < width; ++x)
            row[x >> 1] = uint8_t(row[x >> 1] | ((x & 1) ? (idx[x] & 0x0F) : (idx[x] << 4)));
        }
        QxWriteChecked(&Stream, ab, row.data(), rowLen);
      }
    }
    if (Params.BmpCompression == 1) {
      uint8_t e[2] = {0, 1};
      QxWriteChecked(&Stream, ab, e, 2);
    }
  } else if (bits == 1) {
    std::unique_ptr<TQxBitmap> b1;
    TQxBitmap* s = src;
    std::vector<TQxRGB> pal = {TQxRGB{0, 0, 0}, TQxRGB{255, 255, 255}};
    if (s->PixelFormat() != TQxPixelFormat::qx1g) {
      TQxRGB c1{}, c2{};
      b1 = QxTwoColorBitmap(s, c1, c2);
      if (b1) {
        pal = {c1, c2};
      } else {
        b1 = std::make_unique<TQxBitmap>();
        b1->AssignFrom(s);
        b1->SetPixelFormat(TQxPixelFormat::qx1g);
      }
      s = b1.get();
    }
    Params.SetColorMap(pal.data(), 2);
    writePalette(pal);
    paletteEnd = Stream.Position();
    const size_t bytes = (static_cast<size_t>(width) + 7) / 8;
    for (int32_t y = height - 1; y >= 0; --y) {
      if (!prog.Step(height - 1 - y)) break;
      std::fill(row.begin(), row.end(), 0);
      std::memcpy(row.data(), s->Scanline(y), bytes);
      QxWriteChecked(&Stream, ab, row.data(), rowLen);
    }
  } else if (bits == 24) {
    std::unique_ptr<TQxBitmap> c24;
    TQxBitmap* s = src;
    if (s->PixelFormat() != TQxPixelFormat::qx24RGB) {
      c24 = std::make_unique<TQxBitmap>();
      c24->AssignFrom(s);
      c24->SetPixelFormat(TQxPixelFormat::qx24RGB);
      s = c24.get();
    }
    paletteEnd = Stream.Position();
    const size_t bytes = static_cast<size_t>(width) * 3;
    for (int32_t y = height - 1; y >= 0; --y) {
      if (!prog.Step(height - 1 - y)) break;
      const uint8_t* sr = s->Scanline(y);
      if (static_cast<int64_t>(s->RowLen()) >= rowLen && rowLen - static_cast<int64_t>(bytes) == 0) {
        QxWriteChecked(&Stream, ab, sr, rowLen);
      } else {
        std::memcpy(row.data(), sr, bytes);
        std::fill(row.begin() + static_cast<std::ptrdiff_t>(bytes), row.end(), 0);
        QxWriteChecked(&Stream, ab, row.data(), rowLen);
      }
    }
  } else {  // 32
    std::unique_ptr<TQxBitmap> c24;
    TQxBitmap* s = src;
    if (s->PixelFormat() != TQxPixelFormat::qx24RGB) {
      c24 = std::make_unique<TQxBitmap>();
      c24->AssignFrom(s);
      c24->SetPixelFormat(TQxPixelFormat::qx24RGB);
      s = c24.get();
    }
    paletteEnd = Stream.Position();
    TQxBitmap* alpha = (WriteAlpha && Bitmap.HasAlphaChannel()) ? Bitmap.GetAlphaChannel() : nullptr;
    for (int32_t y = height - 1; y >= 0; --y) {
      if (!prog.Step(height - 1 - y)) break;
      const uint8_t* sr = s->Scanline(y);
      const uint8_t* a = alpha ? alpha->Scanline(y) : nullptr;
      for (int32_t x = 0; x < width; ++x) {
        row[x * 4] = sr[x * 3];
        row[x * 4 + 1] = sr[x * 3 + 1];
        row[x * 4 + 2] = sr[x * 3 + 2];
        row[x * 4 + 3] = a ? a[x] : 255;
      }
      QxWriteChecked(&Stream, ab, row.data(), rowLen);
    }
  }
  if (ab->load()) return;
  const int64_t end = Stream.Position();
  Put32(fh + 2, static_cast<uint32_t>(end - start));
  Put32(fh + 10, static_cast<uint32_t>(paletteEnd - start));
  Stream.SetPosition(start);
  QxWriteChecked(&Stream, ab, fh, 14);
  if (!core) Put32(h + 20, static_cast<uint32_t>(end - paletteEnd));
  Stream.SetPosition(headerPos);
  QxWriteChecked(&Stream, ab, h, hsize);
  Stream.SetPosition(end);
}

namespace {

struct IcoEntry {
  uint8_t w, h, colors, reserved;
  uint16_t planes, bits;
  uint32_t size, offset;
};

bool ProbeDirectory(TStream& Stream, uint16_t WantType) {
  int64_t p = Stream.Position();
  bool ok = false;
  try {
    if (Stream.Size() > 22) {
      uint8_t h[6];
      if (ReadAll(Stream, h, 6) && U16(h) == 0 && U16(h + 2) == WantType && U16(h + 4) != 0) {
        uint16_t count = U16(h + 4);
        ok = true;
        for (uint16_t i = 0; i < count && ok; ++i) {
          uint8_t e[16];
          if (!ReadAll(Stream, e, 16)) {
            ok = false;
            break;
          }
          int64_t after = Stream.Position() - p;
          ok = e[3] == 0 && U32(e + 8) != 0 && static_cast<int64_t>(U32(e + 12)) >= after;
        }
      }
    }
  } catch (...) {
    ok = false;
  }
  Stream.SetPosition(p);
  return ok;
}

// The image part shared by icons and cursors: info header, palette, XOR rows, AND mask.
void ReadIconImage(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TQxProgressInfo& Progress, std::unique_ptr<TQxMask>& Mask, bool WithoutMask, bool Cursor,
                   const IcoEntry* Entry) {
  uint8_t h[40];
  if (!ReadAll(Stream, h, 40)) {
    Progress.Abort();
    return;
  }
  const int32_t hw = I32(h + 4), hh = I32(h + 8);
  if (hw <= 0 || hh <= 0 || hw > 65535 || hh > 131070) {
    Progress.Abort();
    return;
  }
  int32_t ppmX = I32(h + 24), ppmY = I32(h + 28);
  Params.SetDpiX(ppmX < 1 ? QxDefaultDpiX : DpiFromPpm(ppmX));
  Params.SetDpiY(ppmY < 1 ? QxDefaultDpiY : DpiFromPpm(ppmY));
  int32_t bits = Entry ? Entry->bits : 0;
  if (Cursor) bits = 0;  // cursors keep the hot spot there
  if (U16(h + 14) != 0) bits = U16(h + 14);
  const int32_t entryColors = Entry ? (Entry->colors == 0 && Cursor ? 0 : Entry->colors) : 0;
  if (bits == 0) {
    if (entryColors == 0) {
      Progress.Abort();
      return;
    }
    bits = QxBitsForCount(static_cast<uint32_t>(entryColors));
  }
  int32_t colours = bits <= 8 ? (1 << bits) : 0;
  if (Cursor && Entry && Entry->colors != 0 && bits <= 8) colours = Entry->colors == 255 ? 256 : Entry->colors;
  if (bits <= 8) {
    Params.BitsPerSample = bits;
    Params.SamplesPerPixel = 1;
  } else {
    Params.BitsPerSample = 8;
    Params.SamplesPerPixel = bits == 32 ? 4 : 3;
  }
  int32_t width, height;
  if (!Entry || Params.IsResource) {
    width = hw;
    height = hh / 2;
  } else if (Cursor) {
    width = Entry->w == 0 ? 256 : Entry->w;
    height = Entry->h == 0 ? 256 : Entry->h;
  } else {
    width = Entry->w == 0 ? hw : Entry->w;
    height = Entry->h == 0 ? hh / 2 : Entry->h;
    if (Entry->w != hw && Entry->w != 0 && hw != 0 && hw < 2048 && hh < 2048) {
      width = hw;
      height = hh / 2;
    }
  }
  // The rows in the file follow the header's size; never decode more than it holds.
  width = std::min(width, hw);
  height = std::min(height, hh / 2 > 0 ? hh / 2 : hh);
  if (width <= 0 || height <= 0) {
    Progress.Abort();
    return;
  }
  if (colours > 0) {
    std::vector<uint8_t> pal(static_cast<size_t>(colours) * 4);
    if (!ReadAll(Stream, pal.data(), static_cast<int64_t>(pal.size()))) {
      Progress.Abort();
      return;
    }
    Params.SetColorMap(nullptr, colours);
    for (int32_t i = 0; i < colours; ++i) Params.ColorMap[i] = TQxRGB{pal[i * 4], pal[i * 4 + 1], pal[i * 4 + 2]};
  } else {
    Params.FreeColorMap();
  }
  Params.Width = Params.OriginalWidth = width;
  Params.Height = Params.OriginalHeight = height;
  if (ParamsOnly) return;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
    if (Params.NativePixelFormat && !Cursor) throw Exception("Unsupported pixel format");
    Progress.Abort();
    return;
  }
  if (DibRowLen(hw, bits) * height > Stream.Size() - Stream.Position() || !QxPictureFits(Params, width, height, -1, -1)) {
    Progress.Abort();
    return;
  }
  TQxPixelFormat fmt;
  if (Cursor)
    fmt = colours == 2 ? TQxPixelFormat::qx1g : TQxPixelFormat::qx24RGB;
  else if (bits == 1)
    fmt = TQxPixelFormat::qx1g;
  else if (Params.NativePixelFormat && bits <= 8)
    fmt = TQxPixelFormat::qx8p;
  else
    fmt = TQxPixelFormat::qx24RGB;
  if (Cursor && bits != 1 && fmt == TQxPixelFormat::qx1g) fmt = TQxPixelFormat::qx24RGB;
  if (!Bitmap.Allocate(width, height, fmt)) {
    Progress.Abort();
    return;
  }
  const std::vector<TQxRGB> lut = LookupTable(Params);
  if (fmt == TQxPixelFormat::qx8p) {
    Bitmap.PaletteColors = colours;
    for (int32_t i = 0; i < 256; ++i) Bitmap.SetPaletteColor(i, lut[i]);
  }
  if (!WithoutMask) {
    if (!Mask) Mask = std::make_unique<TQxMask>();
    Mask->Allocate(width, height, 8);
    Mask->Fill(255);
    Mask->Full = false;
  }
  const int32_t fileW = hw, fileH = height;
  const int64_t xorLen = DibRowLen(fileW, bits), andLen = DibRowLen(fileW, 1);
  if (xorLen * fileH > Stream.Size() - Stream.Position()) {
    Progress.Abort();
    return;
  }
  std::vector<uint8_t> xorRows(static_cast<size_t>(xorLen) * static_cast<size_t>(fileH));
  bool truncated = !ReadAll(Stream, xorRows.data(), static_cast<int64_t>(xorRows.size()));
  std::vector<uint8_t> andRows;
  const int64_t andBytes = andLen * fileH;
  bool haveAnd = false;
  if (!truncated && Stream.Size() - Stream.Position() >= andBytes) {
    andRows.resize(static_cast<size_t>(andBytes));
    haveAnd = ReadAll(Stream, andRows.data(), andBytes);
  }
  if (truncated) {
    Progress.Abort();
    return;
  }
  auto transparent = [&](int32_t r, int32_t x) {
    return haveAnd && GetBit(andRows.data() + static_cast<size_t>(r) * static_cast<size_t>(andLen), x);
  };
  const TQxRGB bg = Cursor ? Params.CurBackground : Params.IcoBackground;
  const bool bgWhite = bg == TQxRGB{255, 255, 255};
  Progress.Factor = 100.0 / height;
  RowProgress prog{Progress};
  bool allZero = true;
  for (int32_t r = 0; r < height; ++r) {
    if (!prog.Step(r)) break;
    const int32_t y = height - 1 - r;
    const uint8_t* xr = xorRows.data() + static_cast<size_t>(r) * static_cast<size_t>(xorLen);
    uint8_t* dst = Bitmap.Scanline(y);
    uint8_t* m = WithoutMask ? nullptr : Mask->Scanline(y);
    for (int32_t x = 0; x < width; ++x) {
      const bool tr = transparent(r, x);
      if (bits == 1) {
        bool bit = GetBit(xr, x);
        if (tr) bit = bit != bgWhite;
        if (fmt == TQxPixelFormat::qx1g) {
          SetBit(dst, x, bit);
        } else {
          reinterpret_cast<TQxRGB*>(dst)[x] = tr ? bg : lut[bit ? 1 : 0];
        }
        if (m && tr) m[x] = 0;
      } else if (bits == 4 || bits == 8) {
        uint8_t idx = bits == 8 ? xr[x] : ((x & 1) ? (xr[x >> 1] & 0x0F) : (xr[x >> 1] >> 4));
        if (m && tr) m[x] = 0;
        if (fmt == TQxPixelFormat::qx8p)
          dst[x] = idx;
        else
          reinterpret_cast<TQxRGB*>(dst)[x] = tr ? bg : lut[idx];
      } else if (bits == 24) {
        std::memcpy(dst + x * 3, xr + x * 3, 3);
        if (m) m[x] = tr ? 0 : 255;
      } else {
        std::memcpy(dst + x * 3, xr + x * 4, 3);
        if (m) m[x] = xr[x * 4 + 3];
        if (xr[x * 4 + 3]) allZero = false;
      }
    }
  }
  if (bits == 32 && allZero && haveAnd && !WithoutMask) {
    for (int32_t r = 0; r < height; ++r) {
      uint8_t* m = Mask->Scanline(height - 1 - r);
      for (int32_t x = 0; x < width; ++x) m[x] = transparent(r, x) ? 0 : 255;
    }
  }
  if (!WithoutMask && !Cursor) {
    Mask->UpdateFull();
    if (Mask->Full) Mask.reset();
  }
}

void ReadIconFile(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                  TQxProgressInfo& Progress, std::unique_ptr<TQxMask>& Mask, bool WithoutMask, bool Cursor) {
  const int64_t P = Stream.Position();
  if (Params.IsResource) {
    if (Cursor) {
      uint8_t hs[4];
      if (!ReadAll(Stream, hs, 4)) {
        Progress.Abort();
        return;
      }
      Params.CurXHotSpot = U16(hs);
      Params.CurYHotSpot = U16(hs + 2);
    } else {
      Params.SetAllImageIndexes(0);
    }
    int64_t hp = Stream.Position();
    ReadIconImage(Stream, Bitmap, Params, ParamsOnly, Progress, Mask, WithoutMask, Cursor, nullptr);
    Params.SetImageCount(1);
    if (!Cursor) {
      Params.IcoSizes[0] = {Params.Width, Params.Height};
    }
    (void)hp;
    return;
  }
  uint8_t h[6];
  if (!ReadAll(Stream, h, 6)) {
    Progress.Abort();
    return;
  }
  if (!Cursor && U16(h) == 0x4D42) {
    Stream.SetPosition(P);
    ReadBmpStream(Stream, Bitmap, static_cast<int32_t>(std::min<int64_t>(Stream.Size(), 0x7FFFFFFF)), Params,
                  Progress, ParamsOnly, false, Mask, WithoutMask);
    return;
  }
  const uint16_t count = U16(h + 4);
  const int32_t index = Cursor ? Params.CurImageIndex : Params.IcoImageIndex;
  if (index < 0 || index >= count) return;
  std::vector<IcoEntry> entries;
  for (uint16_t i = 0; i < count; ++i) {
    uint8_t e[16];
    if (!ReadAll(Stream, e, 16)) break;
    entries.push_back(IcoEntry{e[0], e[1], e[2], e[3], U16(e + 4), U16(e + 6), U32(e + 8), U32(e + 12)});
  }
  if (entries.empty()) {
    Progress.Abort();
    return;
  }
  const IcoEntry* chosen = nullptr;
  if (Cursor) {
    if (index >= static_cast<int32_t>(entries.size())) {
      Progress.Abort();
      return;
    }
    chosen = &entries[static_cast<size_t>(index)];
    Params.CurXHotSpot = chosen->planes;
    Params.CurYHotSpot = chosen->bits;
  } else {
    for (auto& s : Params.IcoSizes) s = {0, 0};
    for (size_t i = 0; i < entries.size() && i < 16; ++i) {
      const IcoEntry& e = entries[i];
      if (e.w != 0 && e.h != 0) {
        Params.IcoSizes[i] = {e.w, e.h};
        Params.IcoBitCounts[i] = e.bits != 0 ? e.bits : (e.colors != 0 ? QxBitsForCount(e.colors) : 24);
      }
    }
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].w != 0 && entries[i].h != 0 && static_cast<int32_t>(i) == index) {
        chosen = &entries[i];
        break;
      }
    if (!chosen) chosen = &entries.back();
  }
  if (static_cast<int64_t>(chosen->offset) >= Stream.Size() - P) {
    Progress.Abort();
    return;
  }
  Stream.SetPosition(P + chosen->offset);
  uint8_t sig[8];
  if (!ReadAll(Stream, sig, 8)) {
    Progress.Abort();
    return;
  }
  Stream.Seek(-8, TSeekOrigin::soCurrent);
  static const uint8_t kPng[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
  if (std::memcmp(sig, kPng, 8) == 0) {
    if (Cursor) {
      Progress.Abort();
      return;
    }
    ReadPngStream(Stream, Bitmap, Params, Progress, ParamsOnly);
  } else {
    ReadIconImage(Stream, Bitmap, Params, ParamsOnly, Progress, Mask, WithoutMask, Cursor, chosen);
  }
  // The file's images, not the one entry just read.
  Params.SetImageCount(static_cast<int32_t>(entries.size()));
}

}  // namespace

bool IsIcoStream(TStream& Stream) { return ProbeDirectory(Stream, 1); }
bool IsCurStream(TStream& Stream) { return ProbeDirectory(Stream, 2); }

int32_t IcoImageCountStream(TStream& Stream) {
  int64_t p = Stream.Position();
  uint8_t h[6] = {0};
  int32_t n = ReadAll(Stream, h, 6) ? U16(h + 4) : 0;
  Stream.SetPosition(p);
  return n;
}

void ReadIcoStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TQxProgressInfo& Progress, std::unique_ptr<TQxMask>& Mask, bool WithoutMask) {
  ReadIconFile(Stream, Bitmap, Params, ParamsOnly, Progress, Mask, WithoutMask, false);
}

void ReadCurStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TQxProgressInfo& Progress, std::unique_ptr<TQxMask>& Mask, bool WithoutMask) {
  ReadIconFile(Stream, Bitmap, Params, ParamsOnly, Progress, Mask, WithoutMask, true);
}

void WriteIcoStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                    const std::vector<TQxIcoSize>& Sizes, const std::vector<int32_t>& BitCounts) {
  std::atomic<bool>* ab = Progress.AbortFlag;
  std::atomic<bool> localAbort{false};
  if (!ab) ab = &localAbort;
  const int32_t n = static_cast<int32_t>(Sizes.size());
  const int64_t start = Stream.Position();
  uint8_t hdr[6] = {0, 0, 1, 0, 0, 0};
  Put16(hdr + 4, static_cast<uint32_t>(n));
  QxWriteChecked(&Stream, ab, hdr, 6);
  Progress.Factor = n > 0 ? 100.0 / n : 0;
  const int64_t dirPos = Stream.Position();
  std::vector<uint8_t> dir(static_cast<size_t>(n) * 16, 0);
  QxWriteChecked(&Stream, ab, dir.data(), static_cast<int64_t>(dir.size()));
  // Whatever the caller hands over, the icons are drawn from a 24-bit (or 1-bit) picture.
  std::unique_ptr<TQxBitmap> conv;
  TQxBitmap* src = &Bitmap;
  if (Bitmap.PixelFormat() != TQxPixelFormat::qx24RGB && Bitmap.PixelFormat() != TQxPixelFormat::qx1g) {
    conv = std::make_unique<TQxBitmap>();
    conv->AssignFrom(&Bitmap);
    conv->SetPixelFormat(TQxPixelFormat::qx24RGB);
    src = conv.get();
  }
  if (Bitmap.PixelFormat() != TQxPixelFormat::qx24RGB) {
    Params.BitsPerSample = 1;
    Params.SamplesPerPixel = 1;
  }
  Params.FreeColorMap();
  const bool src1g = src->PixelFormat() == TQxPixelFormat::qx1g;
  for (int32_t i = 0; i < n; ++i) {
    if (Progress.Assigned()) Progress.Report(static_cast<int32_t>(Trunc(i * Progress.Factor)));
    if (ab->load()) break;
    const int32_t w = std::clamp(Sizes[i][0], 1, 256), h = std::clamp(Sizes[i][1], 1, 256);
    // Resample a copy (with its alpha) to the entry's size.
    TQxBitmap img;
    img.AssignFrom(src);
    if (img.Width() != w || img.Height() != h) {
      TQxBitmap scaled;
      scaled.Allocate(w, h, src->PixelFormat());
      QxResample(&img, &scaled, src1g ? TResampleFilter::rfNone : TResampleFilter::rfFastLinear);
      std::unique_ptr<TQxBitmap> scaledAlpha;
      if (src->HasAlphaChannel()) {
        scaledAlpha = std::make_unique<TQxBitmap>();
        scaledAlpha->Allocate(w, h, TQxPixelFormat::qx8g);
        QxResample(src->GetAlphaChannel(), scaledAlpha.get(), TResampleFilter::rfNone);
      }
      img.AssignFrom(&scaled);
      if (scaledAlpha) {
        TQxBitmap* a = img.GetAlphaChannel();
        for (int32_t y = 0; y < h; ++y) std::memcpy(a->Scanline(y), scaledAlpha->Scanline(y), static_cast<size_t>(w));
      }
    }
    if (img.PixelFormat() != TQxPixelFormat::qx24RGB && img.PixelFormat() != TQxPixelFormat::qx1g)
      img.SetPixelFormat(TQxPixelFormat::qx24RGB);
    int32_t bits;
    const int32_t bc = i < static_cast<int32_t>(BitCounts.size()) ? BitCounts[i] : 0;
    if (bc == 0)
      bits = Params.SamplesPerPixel == 1 ? (Params.BitsPerSample == 1 ? 1 : (Params.BitsPerSample <= 4 ? 4 : 8))
                                          : (Params.SamplesPerPixel == 4 ? 32 : 24);
    else
      bits = (bc == 1 || bc == 4 || bc == 8 || bc == 32) ? bc : 24;
    const bool hasAlpha = img.HasAlphaChannel();
    TQxBitmap* alpha = hasAlpha ? img.GetAlphaChannel() : nullptr;
    const int64_t xorLen = DibRowLen(w, bits), andLen = DibRowLen(w, 1);
    const int64_t imgStart = Stream.Position();
    uint8_t ih[40] = {0};
    Put32(ih, 40);
    Put32(ih + 4, static_cast<uint32_t>(w));
    Put32(ih + 8, static_cast<uint32_t>(h * 2));
    Put16(ih + 12, 1);
    Put16(ih + 14, static_cast<uint32_t>(bits));
    if (bits <= 8) Put32(ih + 20, static_cast<uint32_t>(xorLen * h + static_cast<int64_t>(w) * h / 8));
    Put32(ih + 24, static_cast<uint32_t>(PpmFromDpi(Params.DpiX)));
    Put32(ih + 28, static_cast<uint32_t>(PpmFromDpi(Params.DpiY)));
    QxWriteChecked(&Stream, ab, ih, 40);
    std::vector<uint8_t> row(static_cast<size_t>(xorLen) + 8, 0);
    // Colour rows need a 24-bit picture except for the 1-bit form.
    if (bits != 1 && img.PixelFormat() == TQxPixelFormat::qx1g) img.SetPixelFormat(TQxPixelFormat::qx24RGB);
    std::unique_ptr<TQxBitmap> one;
    TQxBitmap* rows = &img;
    if (bits == 1 && img.PixelFormat() != TQxPixelFormat::qx1g) {
      one = std::make_unique<TQxBitmap>();
      one->AssignFrom(&img);
      one->SetPixelFormat(TQxPixelFormat::qx1g);
      rows = one.get();
    }
    if (bits == 1) {
      uint8_t pal[8] = {0, 0, 0, 0, 255, 255, 255, 0};
      QxWriteChecked(&Stream, ab, pal, 8);
      for (int32_t y = h - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), 0);
        std::memcpy(row.data(), rows->Scanline(y), (static_cast<size_t>(w) + 7) / 8);
        QxWriteChecked(&Stream, ab, row.data(), xorLen);
      }
    } else if ((bits == 4 || bits == 8) && Bitmap.PixelFormat() == TQxPixelFormat::qx8p && Bitmap.Width() == w &&
               Bitmap.Height() == h) {
      // A palette picture keeps its own palette and indexes: quantizing it again would change its colours.
      const int32_t nc = 1 << bits;
      std::vector<TQxRGB> pal(static_cast<size_t>(nc), TQxRGB{0, 0, 0});
      for (int32_t k = 0; k < std::min(nc, Bitmap.PaletteLength()); ++k) pal[size_t(k)] = Bitmap.PaletteColor(k);
      Params.SetColorMap(pal.data(), nc);
      for (const TQxRGB& c : pal) {
        uint8_t e[4] = {c.b, c.g, c.r, 0};
        QxWriteChecked(&Stream, ab, e, 4);
      }
      for (int32_t y = h - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), 0);
        const uint8_t* ix = Bitmap.Scanline(y);
        for (int32_t x = 0; x < w; ++x) {
          if (bits == 8)
            row[x] = ix[x];
          else
            row[x >> 1] = uint8_t(row[x >> 1] | ((x & 1) ? (ix[x] & 0x0F) : ((ix[x] & 0x0F) << 4)));
        }
        QxWriteChecked(&Stream, ab, row.data(), xorLen);
      }
    } else if (bits == 4 || bits == 8) {
      const int32_t nc = 1 << bits;
      std::vector<TQxRGB> pal(static_cast<size_t>(nc), TQxRGB{0, 0, 0});
      TQxQuantizer q(&img, pal.data() + 1, nc - 1);
      Params.SetColorMap(pal.data(), nc);
      for (const TQxRGB& c : pal) {
        uint8_t e[4] = {c.b, c.g, c.r, 0};
        QxWriteChecked(&Stream, ab, e, 4);
      }
      for (int32_t y = h - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), 0);
        auto* px = reinterpret_cast<const TQxRGB*>(img.Scanline(y));
        const uint8_t* a = alpha ? alpha->Scanline(y) : nullptr;
        for (int32_t x = 0; x < w; ++x) {
          int32_t idx = (a && a[x] < 255) ? 0 : std::clamp(q.RGBIndex(px[x]) + 1, 1, nc - 1);
          if (bits == 8)
            row[x] = uint8_t(idx);
          else
            row[x >> 1] = uint8_t(row[x >> 1] | ((x & 1) ? (idx & 0x0F) : (idx << 4)));
        }
        QxWriteChecked(&Stream, ab, row.data(), xorLen);
      }
    } else if (bits == 24) {
      for (int32_t y = h - 1; y >= 0; --y) {
        std::fill(row.begin(), row.end(), 0);
        std::memcpy(row.data(), img.Scanline(y), static_cast<size_t>(w) * 3);
        QxWriteChecked(&Stream, ab, row.data(), xorLen);
      }
    } else {
      TQxBitmap* a32 = img.GetAlphaChannel();
      for (int32_t y = h - 1; y >= 0; --y) {
        const uint8_t* s = img.Scanline(y);
        const uint8_t* a = a32->Scanline(y);
        for (int32_t x = 0; x < w; ++x) {
          row[x * 4] = s[x * 3];
          row[x * 4 + 1] = s[x * 3 + 1];
          row[x * 4 + 2] = s[x * 3 + 2];
          row[x * 4 + 3] = a[x];
        }
        QxWriteChecked(&Stream, ab, row.data(), xorLen);
      }
      alpha = a32;
    }
    std::vector<uint8_t> andRow(static_cast<size_t>(andLen), 0);
    for (int32_t y = h - 1; y >= 0; --y) {
      std::fill(andRow.begin(), andRow.end(), 0);
      if (hasAlpha && alpha) {
        const uint8_t* a = alpha->Scanline(y);
        for (int32_t x = 0; x < w; ++x)
          if (a[x] < 255) SetBit(andRow.data(), x, true);
      }
      QxWriteChecked(&Stream, ab, andRow.data(), andLen);
    }
    const int64_t imgEnd = Stream.Position();
    uint8_t* e = dir.data() + static_cast<size_t>(i) * 16;
    e[0] = uint8_t(w >= 256 ? 0 : w);
    e[1] = uint8_t(h >= 256 ? 0 : h);
    if (bits >= 24) {
      e[2] = 0;
      Put16(e + 4, 1);
      Put16(e + 6, static_cast<uint32_t>(bits));
    } else {
      e[2] = uint8_t(std::min(1 << bits, 255));
      Put16(e + 4, 0);
      Put16(e + 6, 0);
    }
    Put32(e + 8, static_cast<uint32_t>(imgEnd - imgStart));
    Put32(e + 12, static_cast<uint32_t>(imgStart - start));
  }
  const int64_t end = Stream.Position();
  Stream.SetPosition(dirPos);
  QxWriteChecked(&Stream, ab, dir.data(), static_cast<int64_t>(dir.size()));
  Stream.SetPosition(end);
}
