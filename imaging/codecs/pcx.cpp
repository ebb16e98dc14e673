#include "imaging/codecs/pcx.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/params.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/kernels/quantizer.h"
#include "platform/base/streams.h"

namespace {

constexpr int32_t kHeaderSize = 128;
constexpr int32_t kPaletteSize = 768;
// Longest output of one run code (63 bytes from 2), which bounds what a stream can decode to.
constexpr int64_t kMaxExpansion = 32;

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Plane lines out of the image data. A run that passes a line's end goes on in the next line; codes
// beyond the data read as zero bytes.
struct PcxLineDecoder {
  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
  int32_t RunCount = 0;
  uint8_t RunValue = 0;

  void DecodeLine(uint8_t* Dest, int32_t Count, bool Rle) {
    if (!Rle) {
      const size_t n = std::min<size_t>(size_t(Count), Pos < Size ? Size - Pos : 0);
      if (n) std::memcpy(Dest, Data + Pos, n);
      std::memset(Dest + n, 0, size_t(Count) - n);
      Pos += size_t(Count);
      return;
    }
    int32_t i = 0;
    while (i < Count) {
      if (RunCount > 0) {
        const int32_t k = std::min(RunCount, Count - i);
        std::memset(Dest + i, RunValue, size_t(k));
        i += k;
        RunCount -= k;
        continue;
      }
      if (Pos >= Size) {
        std::memset(Dest + i, 0, size_t(Count - i));
        return;
      }
      const uint8_t b = Data[Pos++];
      if ((b & 0xC0) == 0xC0) {
        RunCount = b & 0x3F;
        RunValue = Pos < Size ? Data[Pos++] : 0;
      } else {
        Dest[i++] = b;
      }
    }
  }
};

void Report(TQxProgressInfo& Progress, int32_t Row, int32_t Height, int32_t& Last) {
  if (!Progress.Assigned() || Height <= 0) return;
  const int32_t per = int32_t(int64_t(Row) * 100 / Height);
  if (per != Last) {
    Last = per;
    Progress.Report(per);
  }
}

}  // namespace

// ============================================================ reading

void ReadPcxStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, int64_t DataSize,
                   TQxProgressInfo& Progress, bool ParamsOnly) {
  if (!Stream || !Bitmap) {
    Progress.Abort();
    return;
  }
  try {
    const int64_t start = Stream->Position();
    DataSize = std::min(DataSize, Stream->Size() - start);
    uint8_t h[kHeaderSize];
    if (DataSize < kHeaderSize || Stream->Read(h, kHeaderSize) != kHeaderSize) {
      Progress.Abort();
      return;
    }
    const int32_t bpp = h[3];
    if (h[0] != 10 || bpp > 8 || h[2] > 1) {
      Progress.Abort();
      return;
    }
    const bool rle = h[2] == 1;
    const int32_t planes = h[65];
    const int32_t bytesPerLine = Get16(h + 66);
    const int32_t width = int32_t(Get16(h + 8)) - Get16(h + 4) + 1;
    const int32_t height = int32_t(Get16(h + 10)) - Get16(h + 6) + 1;

    Params.SetImageCount(1);
    const int32_t hdpi = Get16(h + 12), vdpi = Get16(h + 14);
    if (hdpi == 0 || vdpi == 0) {
      Params.SetDpiX(QxDefaultDpiX);
      Params.SetDpiY(QxDefaultDpiY);
    } else {
      Params.SetDpiX(hdpi);
      Params.SetDpiY(vdpi);
    }

    // The header's 16 colours and, for one plane deeper than 4 bits, the 256 at the end of the data.
    TQxRGB colors16[16];
    for (int i = 0; i < 16; ++i) colors16[i] = TQxRGB{h[16 + i * 3 + 2], h[16 + i * 3 + 1], h[16 + i * 3]};
    TQxRGB colors256[256] = {};
    if (((planes == 1 && bpp > 4) || (planes > 1 && planes * bpp > 4 && planes * bpp <= 8)) &&
        DataSize >= kPaletteSize) {
      uint8_t pal[kPaletteSize];
      Stream->SetPosition(start + DataSize - kPaletteSize);
      if (Stream->Read(pal, kPaletteSize) == kPaletteSize)
        for (int i = 0; i < 256; ++i) colors256[i] = TQxRGB{pal[i * 3 + 2], pal[i * 3 + 1], pal[i * 3]};
      Stream->SetPosition(start + kHeaderSize);
    }

    Params.BitsPerSample = bpp;
    Params.SamplesPerPixel = planes;
    Params.Width = Params.OriginalWidth = width;
    Params.Height = Params.OriginalHeight = height;
    Params.PcxVersion = h[1];
    Params.FreeColorMap();
    // Planes of narrow samples together make one index of planes × bits.
    const int32_t indexBits = planes * bpp;
    if (planes == 1 && bpp > 4) {
      Params.SetColorMap(colors256, std::min(256, 1 << bpp));
    } else if (planes > 1 && indexBits <= 8) {
      Params.SetColorMap(indexBits <= 4 ? colors16 : colors256, 1 << indexBits);
      Params.BitsPerSample = indexBits;
      Params.SamplesPerPixel = 1;
    } else if (bpp < 8) {
      Params.SetColorMap(colors16, std::min(16, 1 << bpp));
    }
    if (ParamsOnly) return;

    // Refuse what no data of this length could fill, before allocating for it.
    const int64_t dataBytes = DataSize - kHeaderSize;
    const int64_t minBytes = (int64_t(width) * bpp + 7) / 8 * planes * int64_t(height);
    if (width <= 0 || height <= 0 || planes == 0 || bpp == 0 || bytesPerLine == 0 ||
        minBytes > dataBytes * kMaxExpansion || !QxPictureFits(Params, width, height, -1, -1)) {
      Progress.Abort();
      return;
    }
    std::vector<uint8_t> data(static_cast<size_t>(dataBytes));
    if (dataBytes > 0 && Stream->Read(data.data(), dataBytes) != dataBytes) {
      Progress.Abort();
      return;
    }

    const bool oneBit = planes == 1 && bpp == 1;
    if (!Bitmap->Allocate(width, height, oneBit ? TQxPixelFormat::qx1g : TQxPixelFormat::qx24RGB)) {
      Progress.Abort();
      return;
    }
    enum class Layout { None, Index8, Index4, Bits1, Planes3, Planes4, Indexes };
    Layout layout = Layout::None;
    if (planes == 1 && bpp == 8)
      layout = Layout::Index8;
    else if (planes == 1 && bpp == 4)
      layout = Layout::Index4;
    else if (oneBit)
      layout = Layout::Bits1;
    else if ((planes == 3 || planes == 4) && bpp == 8)
      layout = Layout::Planes3;  // a fourth plane of bytes is not used
    else if (planes == 4 && bpp == 1)
      layout = Layout::Planes4;
    else if (indexBits <= 8)
      layout = Layout::Indexes;
    if (layout == Layout::None) {
      // A black picture would pass for the file's own: refuse it and say why.
      Params.ReadError = "PCX layout not supported: " + std::to_string(planes) + " planes of " +
                         std::to_string(bpp) + " bits";
      Progress.Abort();
      return;
    }

    // Each plane line is at least as long as the row needs, so short BytesPerLine values read zeros.
    const int32_t lineCap = std::max(bytesPerLine, width) + 8;
    const int32_t usedPlanes = layout == Layout::None ? 0 : planes;
    std::vector<uint8_t> lines(size_t(lineCap) * std::max(usedPlanes, 1), 0);
    PcxLineDecoder dec{data.data(), data.size()};
    const int32_t rowBytes = oneBit ? (width + 7) / 8 : width * 3;
    int32_t last = -1;
    for (int32_t y = 0; y < height; ++y) {
      Report(Progress, y, height, last);
      if (Progress.Aborting()) break;
      uint8_t* row = Bitmap->Scanline(y);
      if (layout == Layout::None) {
        std::memset(row, 0, size_t(rowBytes));
        continue;
      }
      for (int32_t p = 0; p < planes; ++p) dec.DecodeLine(lines.data() + size_t(p) * lineCap, bytesPerLine, rle);
      const uint8_t* l0 = lines.data();
      switch (layout) {
        case Layout::Index8:
          for (int32_t x = 0; x < width; ++x) std::memcpy(row + x * 3, &colors256[l0[x]], 3);
          break;
        case Layout::Index4:
          for (int32_t x = 0; x < width; ++x) {
            const uint8_t b = l0[x >> 1];
            std::memcpy(row + x * 3, &colors16[(x & 1) ? (b & 15) : (b >> 4)], 3);
          }
          break;
        case Layout::Bits1:
          std::memcpy(row, l0, size_t(rowBytes));
          break;
        case Layout::Planes3: {
          const uint8_t *r = l0, *g = l0 + lineCap, *b = l0 + 2 * size_t(lineCap);
          for (int32_t x = 0; x < width; ++x) {
            row[x * 3] = b[x];
            row[x * 3 + 1] = g[x];
            row[x * 3 + 2] = r[x];
          }
          break;
        }
        case Layout::Indexes: {
          // Each plane holds bpp bits a pixel, most significant first; plane p gives bits p × bpp and up.
          const TQxRGB* colors = indexBits <= 4 ? colors16 : colors256;
          const int32_t sampleMask = (1 << bpp) - 1;
          for (int32_t x = 0; x < width; ++x) {
            const int64_t bit = int64_t(x) * bpp;
            int32_t idx = 0;
            for (int32_t k = 0; k < planes; ++k) {
              // Two bytes hold any sample of up to 8 bits, wherever it starts.
              const uint8_t* p = l0 + size_t(k) * lineCap + size_t(bit >> 3);
              const uint32_t two = uint32_t(p[0]) << 8 | p[1];
              idx |= int32_t((two >> (16 - bpp - (bit & 7))) & uint32_t(sampleMask)) << (k * bpp);
            }
            std::memcpy(row + x * 3, &colors[idx], 3);
          }
          break;
        }
        case Layout::Planes4:
          for (int32_t x = 0; x < width; ++x) {
            const int32_t byte = x >> 3, mask = 0x80 >> (x & 7);
            int32_t idx = 0;
            for (int32_t k = 0; k < 4; ++k)
              if (l0[size_t(k) * lineCap + byte] & mask) idx |= 1 << k;
            std::memcpy(row + x * 3, &colors16[idx], 3);
          }
          break;
        case Layout::None:
          break;
      }
    }
  } catch (...) {
    Progress.Abort();
  }
}

// ============================================================ writing

int32_t PcxEncodeLine(uint8_t* Dest, const uint8_t* Source, int32_t Count, int32_t Step, int32_t Offset) {
  int32_t out = 0;
  int32_t i = 0;
  while (i < Count) {
    const uint8_t v = Source[Offset + size_t(i) * Step];
    int32_t n = 1;
    while (i + n < Count && n < 63 && Source[Offset + size_t(i + n) * Step] == v) ++n;
    if (n > 1 || v >= 0xC0) Dest[out++] = uint8_t(0xC0 + n);
    Dest[out++] = v;
    i += n;
  }
  if (Count & 1) Dest[out++] = 0;
  return out;
}

void WritePcxStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress) {
  std::atomic<bool>* abortFlag = Progress.AbortFlag;
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
    Progress.Abort();
    return;
  }
  const int32_t width = Bitmap->Width(), height = Bitmap->Height();
  // The window and the even line length must fit their 16-bit fields.
  if (width > 65534 || height > 65536) {
    Progress.Abort();
    return;
  }
  if (Params.SamplesPerPixel > 3) Params.SamplesPerPixel = 3;

  int32_t depth;
  TQxBitmap* work = Bitmap;
  std::unique_ptr<TQxBitmap> own;
  TQxRGB color0{0, 0, 0}, color1{255, 255, 255};
  if (Params.BitsPerSample == 1) {
    depth = 1;
    if (Bitmap->PixelFormat() != TQxPixelFormat::qx1g) {
      own = QxTwoColorBitmap(Bitmap, color0, color1);
      if (!own) {
        color0 = TQxRGB{0, 0, 0};
        color1 = TQxRGB{255, 255, 255};
        own = std::make_unique<TQxBitmap>(width, height, TQxPixelFormat::qx1g);
        own->ConvertFrom(Bitmap);
      }
      work = own.get();
    }
  } else {
    depth = Params.BitsPerSample * Params.SamplesPerPixel;
    // Depths PCX has no layout for keep every colour as 24 bits rather than write an empty image.
    if (depth != 4 && depth != 8) depth = 24;
    if (Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) {
      own = std::make_unique<TQxBitmap>(width, height, TQxPixelFormat::qx24RGB);
      own->ConvertFrom(Bitmap);
      work = own.get();
    }
  }
  if (work->IsEmpty()) {
    Progress.Abort();
    return;
  }

  const bool rle = Params.PcxCompression != 0;
  uint8_t h[kHeaderSize] = {};
  h[0] = 10;
  h[1] = uint8_t(Params.PcxVersion);
  h[2] = rle ? 1 : 0;
  Put16(h + 8, uint32_t(width - 1));
  Put16(h + 10, uint32_t(height - 1));
  Put16(h + 12, uint32_t(std::clamp(Params.DpiX, 0, 65535)));
  Put16(h + 14, uint32_t(std::clamp(Params.DpiY, 0, 65535)));
  auto setHeaderColor = [&](int i, TQxRGB c) {
    h[16 + i * 3] = c.r;
    h[16 + i * 3 + 1] = c.g;
    h[16 + i * 3 + 2] = c.b;
  };
  int32_t count;  // data bytes of one plane line
  int32_t planes = 1;
  std::unique_ptr<TQxQuantizer> quant;
  TQxRGB palette[256] = {};
  switch (depth) {
    case 1:
      h[3] = 1;
      count = (width + 7) / 8;
      setHeaderColor(0, color0);
      setHeaderColor(1, color1);
      break;
    case 4:
      h[3] = 4;
      count = (width + 1) / 2;
      quant = std::make_unique<TQxQuantizer>(work, palette, 16);
      for (int i = 0; i < 16; ++i) setHeaderColor(i, palette[i]);
      break;
    case 8:
      h[3] = 8;
      count = width;
      quant = std::make_unique<TQxQuantizer>(work, palette, 256);
      break;
    default:
      h[3] = 8;
      count = width;
      planes = 3;
      break;
  }
  const int32_t bytesPerLine = (count + 1) & ~1;
  h[65] = uint8_t(planes);
  Put16(h + 66, uint32_t(bytesPerLine));
  Put16(h + 68, depth == 24 ? 0 : 1);
  QxWriteChecked(Stream, abortFlag, h, kHeaderSize);

  auto index = [&](const uint8_t* p) -> uint8_t {
    return uint8_t(std::max(quant->RGBIndex(TQxRGB{p[0], p[1], p[2]}), 0));
  };
  std::vector<uint8_t> line(size_t(bytesPerLine) * planes, 0);
  std::vector<uint8_t> coded(size_t(count) * 2 + 8);
  int32_t last = -1;
  for (int32_t y = 0; y < height; ++y) {
    Report(Progress, y, height, last);
    if (Progress.Aborting()) break;
    const uint8_t* src = work->Scanline(y);
    std::fill(line.begin(), line.end(), 0);
    switch (depth) {
      case 1:
        std::memcpy(line.data(), src, size_t(count));
        if (width & 7) line[count - 1] &= uint8_t(0xFF00 >> (width & 7));
        break;
      case 4:
        for (int32_t x = 0; x < width; ++x) line[x >> 1] |= uint8_t((x & 1) ? index(src + x * 3) : index(src + x * 3) << 4);
        break;
      case 8:
        for (int32_t x = 0; x < width; ++x) line[x] = index(src + x * 3);
        break;
      default:
        for (int32_t p = 0; p < 3; ++p)
          for (int32_t x = 0; x < width; ++x) line[size_t(p) * bytesPerLine + x] = src[x * 3 + 2 - p];
        break;
    }
    for (int32_t p = 0; p < planes; ++p) {
      const uint8_t* l = line.data() + size_t(p) * bytesPerLine;
      if (rle) {
        const int32_t n = PcxEncodeLine(coded.data(), l, count, 1, 0);
        QxWriteChecked(Stream, abortFlag, coded.data(), n);
      } else {
        QxWriteChecked(Stream, abortFlag, l, bytesPerLine);
      }
    }
  }
  if (depth == 8 && !Progress.Aborting()) {
    uint8_t pal[1 + kPaletteSize];
    pal[0] = 0x0C;
    for (int i = 0; i < 256; ++i) {
      pal[1 + i * 3] = palette[i].r;
      pal[1 + i * 3 + 1] = palette[i].g;
      pal[1 + i * 3 + 2] = palette[i].b;
    }
    QxWriteChecked(Stream, abortFlag, pal, sizeof(pal));
  }
}

// ============================================================ DCX

std::vector<uint32_t> DcxReadTable(TStream* Stream, int64_t Limit) {
  std::vector<uint32_t> table;
  uint8_t e[4];
  while (int64_t(table.size()) < Limit && Stream->Read(e, 4) == 4) {
    const uint32_t v = uint32_t(e[0]) | (uint32_t(e[1]) << 8) | (uint32_t(e[2]) << 16) | (uint32_t(e[3]) << 24);
    if (v == 0) break;
    table.push_back(v);
  }
  return table;
}

std::vector<int64_t> DcxPageSizes(const std::vector<uint32_t>& Table, int64_t StreamEnd) {
  std::vector<uint32_t> sorted(Table);
  std::sort(sorted.begin(), sorted.end());
  std::vector<int64_t> sizes;
  sizes.reserve(Table.size());
  for (uint32_t p : Table) {
    auto next = std::upper_bound(sorted.begin(), sorted.end(), p);
    const int64_t end = next == sorted.end() ? StreamEnd : int64_t(*next);
    sizes.push_back(std::max<int64_t>(0, end - int64_t(p)));
  }
  return sizes;
}

namespace {

uint32_t ReadMagic(TStream* Stream, bool& Ok) {
  uint8_t m[4];
  Ok = Stream->Read(m, 4) == 4;
  return uint32_t(m[0]) | (uint32_t(m[1]) << 8) | (uint32_t(m[2]) << 16) | (uint32_t(m[3]) << 24);
}

// The DCX starting at the stream position: its page table when the magic is there and every entry lies
// inside the stream. Leaves the position after what it read.
bool ReadDcxTable(TStream* Stream, int64_t Limit, std::vector<uint32_t>& Table, int64_t& Length) {
  const int64_t base = Stream->Position();
  Length = Stream->Size() - base;
  bool ok = false;
  if (ReadMagic(Stream, ok) != DcxMagic || !ok) return false;
  Table = DcxReadTable(Stream, Limit);
  for (uint32_t p : Table)
    if (int64_t(p) >= Length) return false;
  return true;
}

}  // namespace

bool IsDcxStream(TStream* Stream) {
  if (!Stream) return false;
  const int64_t pos = Stream->Position();
  bool result = false;
  try {
    std::vector<uint32_t> table;
    int64_t length = 0;
    result = ReadDcxTable(Stream, DcxMaxPages, table, length);
  } catch (...) {
    result = false;
  }
  Stream->SetPosition(pos);
  return result;
}

int32_t DcxPageCount(TStream* Stream) {
  if (!Stream) return 0;
  const int64_t pos = Stream->Position();
  int32_t n = 0;
  try {
    bool ok = false;
    ReadMagic(Stream, ok);
    if (ok) n = int32_t(DcxReadTable(Stream, DcxMaxPages).size());
  } catch (...) {
    n = 0;
  }
  Stream->SetPosition(pos);
  return n;
}

void ReadDcxStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                   bool ParamsOnly) {
  try {
    if (!Stream || !IsDcxStream(Stream)) {
      Progress.Abort();
      return;
    }
    const int64_t base = Stream->Position();
    std::vector<uint32_t> table;
    int64_t length = 0;
    if (!ReadDcxTable(Stream, DcxMaxPages, table, length) || table.empty()) {
      Progress.Abort();
      return;
    }
    const int32_t count = int32_t(table.size());
    const int32_t index = std::clamp(Params.DcxImageIndex, 0, count - 1);
    Params.SetAllImageIndexes(index);
    const std::vector<int64_t> sizes = DcxPageSizes(table, length);
    Stream->SetPosition(base + table[size_t(index)]);
    ReadPcxStream(Stream, Bitmap, Params, sizes[size_t(index)], Progress, ParamsOnly);
    Params.SetImageCount(count);  // the file's pages, not the one page just read
  } catch (...) {
    Progress.Abort();
  }
}

void InsertDcxPage(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress) {
  if (!Stream) {
    Progress.Abort();
    return;
  }
  try {
    std::vector<uint32_t> table;
    int64_t length = 0;
    if (Stream->Size() > 0) {
      Stream->SetPosition(0);
      // The whole table, however long: pages beyond what the readers list must survive a rewrite.
      if (!ReadDcxTable(Stream, INT64_MAX, table, length)) {
        Progress.Abort();
        return;
      }
    }
    const int32_t count = int32_t(table.size());
    int32_t index = Params.DcxImageIndex;
    // Without pages there is one place for the new page; elsewhere an index outside the pages would
    // rewrite the file without it, so nothing changes and the caller hears of it.
    if (count == 0) index = 0;
    if (index < 0 || index > count) {
      Progress.Abort();
      return;
    }
    const std::vector<int64_t> sizes = DcxPageSizes(table, length);
    // Pages of a sound file do not overlap; a table naming the same bytes again and again would make the
    // rewrite many times the file's size.
    int64_t total = 0;
    for (int64_t z : sizes) total += z;
    if (total > length) {
      Progress.Abort();
      return;
    }

    TMemoryStream mem;
    std::vector<uint8_t> head(size_t(count + 2) * 4 + 4, 0);
    Put32(head.data(), DcxMagic);
    mem.WriteBuffer(head.data(), int64_t(head.size()));
    std::vector<uint32_t> positions;
    auto record = [&]() -> bool {
      if (mem.Position() > int64_t(UINT32_MAX)) return false;
      positions.push_back(uint32_t(mem.Position()));
      return true;
    };
    for (int32_t i = 0; i <= count; ++i) {
      if (i == index) {
        if (!record()) {
          Progress.Abort();
          return;
        }
        WritePcxStream(&mem, Bitmap, Params, Progress);
        if (Progress.Aborting()) return;
      }
      if (i == count) break;
      const int64_t size = sizes[size_t(i)];
      if (size > 0) {
        if (!record()) {
          Progress.Abort();
          return;
        }
        Stream->SetPosition(table[size_t(i)]);
        QxCopyStream(&mem, Stream, size);
      }
    }
    for (size_t i = 0; i < positions.size(); ++i) Put32(head.data() + 4 + i * 4, positions[i]);
    std::memcpy(static_cast<uint8_t*>(mem.Memory()), head.data(), head.size());
    Stream->SetSize(0);
    Stream->SetPosition(0);
    QxWriteChecked(Stream, Progress.AbortFlag, mem.Memory(), mem.Size());
  } catch (...) {
    Progress.Abort();
  }
}

void QxRegisterPcxCodecs() {
  QxCodecServices.ReadPcxStream = ReadPcxStream;
  QxCodecServices.WritePcxStream = WritePcxStream;
  QxCodecServices.ReadDcxStream = ReadDcxStream;
  QxCodecServices.InsertDcxPage = InsertDcxPage;
  QxCodecServices.DcxPageCount = DcxPageCount;
  QxCodecServices.IsDcxStream = IsDcxStream;
}
