#include "imaging/codecs/tga.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/params.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/foundation/kernels/quantizer.h"
#include "platform/base/codepage.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

namespace {

constexpr int32_t kHeaderSize = 18;
constexpr int32_t kFooterSize = 26;
constexpr int32_t kExtensionSize = 495;
constexpr char kSignature[18] = "TRUEVISION-XFILE.";  // with its zero byte
// A run packet gives at most 128 pixels for two bytes or more; nothing decodes to more than this per byte.
constexpr int64_t kMaxExpansion = 128;

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

bool AcceptedType(int32_t t) { return (t >= 1 && t <= 3) || (t >= 9 && t <= 11); }
bool AcceptedDepth(int32_t d) { return d == 1 || d == 4 || d == 8 || d == 16 || d == 24 || d == 32; }

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;  // days since 30 December 1899
}

double Today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return double(DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
}

// A zero-terminated field of at most Size bytes, as UTF-8.
std::string FieldText(const uint8_t* p, size_t Size) {
  size_t n = 0;
  while (n < Size && p[n]) ++n;
  return CodePageToUtf8(std::string_view(reinterpret_cast<const char*>(p), n));
}

// Numerator and denominator of a ratio in 16 bits each, ten-thousandths while they fit.
void PutRatio(uint8_t* p, double v) {
  int64_t den = 10000;
  int64_t num = (std::isfinite(v) && v > 0) ? Trunc(v * 10000) : 0;
  if (num > 65535) {
    den = std::max<int64_t>(1, Trunc(65535 / v));
    num = std::min<int64_t>(65535, Trunc(v * double(den)));
  }
  Put16(p, uint32_t(num));
  Put16(p + 2, uint32_t(den));
}

// Reads the stream through one 8 KB buffer; bytes past the end read as zero.
struct TgaInput {
  TStream* S;
  int64_t End;
  uint8_t Buf[8192];
  int32_t Fill = 0, Index = 0;

  bool Refill() {
    const int64_t left = End - S->Position();
    Index = 0;
    Fill = left > 0 ? int32_t(S->Read(Buf, std::min<int64_t>(sizeof(Buf), left))) : 0;
    if (Fill < 0) Fill = 0;
    return Fill > 0;
  }
  uint8_t Byte() {
    if (Index >= Fill && !Refill()) return 0;
    return Buf[Index++];
  }
  uint16_t Word() {
    const uint8_t lo = Byte();
    return uint16_t(lo | (Byte() << 8));
  }
  void Block(uint8_t* Dest, int64_t Count) {
    while (Count > 0) {
      if (Index >= Fill && !Refill()) {
        std::memset(Dest, 0, size_t(Count));
        return;
      }
      const int32_t k = int32_t(std::min<int64_t>(Count, Fill - Index));
      std::memcpy(Dest, Buf + Index, size_t(k));
      Index += k;
      Dest += k;
      Count -= k;
    }
  }
  void Skip(int64_t Count) {
    while (Count > 0) {
      if (Index >= Fill && !Refill()) return;
      const int32_t k = int32_t(std::min<int64_t>(Count, Fill - Index));
      Index += k;
      Count -= k;
    }
  }
  // Bytes not yet taken: the buffer's rest and what the stream still holds.
  int64_t Left() { return (Fill - Index) + std::max<int64_t>(0, End - S->Position()); }
};

TQxRGB Expand16(uint16_t w) {
  return TQxRGB{QxWidenTo8(w & 31, 5), QxWidenTo8((w >> 5) & 31, 5), QxWidenTo8((w >> 10) & 31, 5)};
}

struct TgaDecoder {
  TgaInput& In;
  int32_t Depth;
  int32_t PixelBytes;   // bytes of one stored value
  bool Rle;
  TQxRGB* Map;
  uint8_t* MapAlpha;
  bool MapHasAlpha;
  bool Gray16;  // 16-bit gray pictures: a gray byte, then an alpha byte
  // A packet that goes on into the next row.
  int32_t Left = 0;
  bool Run = false;
  uint8_t Value[4] = {};

  // Decodes value Raw into unit I of the row (a byte for the packed depths, else a pixel).
  void Put(uint8_t* Row, uint8_t* AlphaRow, int32_t I, const uint8_t* Raw) const {
    switch (Depth) {
      case 1:
      case 4:
        Row[I] = Raw[0];
        break;
      case 8:
        std::memcpy(Row + I * 3, &Map[Raw[0]], 3);
        if (AlphaRow && MapHasAlpha) AlphaRow[I] = MapAlpha[Raw[0]];
        break;
      case 16: {
        if (Gray16) {
          std::memset(Row + I * 3, Raw[0], 3);
          if (AlphaRow) AlphaRow[I] = Raw[1];
          break;
        }
        const TQxRGB c = Expand16(Get16(Raw));
        std::memcpy(Row + I * 3, &c, 3);
        break;
      }
      case 24:
        std::memcpy(Row + I * 3, Raw, 3);
        break;
      case 32:
        std::memcpy(Row + I * 3, Raw, 3);
        if (AlphaRow) AlphaRow[I] = Raw[3];
        break;
    }
  }

  void DecodeRow(uint8_t* Row, uint8_t* AlphaRow, int32_t Units) {
    uint8_t raw[4];
    if (!Rle) {
      for (int32_t i = 0; i < Units; ++i) {
        In.Block(raw, PixelBytes);
        Put(Row, AlphaRow, i, raw);
      }
      return;
    }
    int32_t i = 0;
    while (i < Units) {
      if (Left == 0) {
        const uint8_t h = In.Byte();
        Run = (h & 0x80) != 0;
        Left = (h & 0x7F) + 1;
        if (Run) In.Block(Value, PixelBytes);
      }
      const int32_t k = std::min(Left, Units - i);
      for (int32_t j = 0; j < k; ++j) {
        if (Run) {
          Put(Row, AlphaRow, i + j, Value);
        } else {
          In.Block(raw, PixelBytes);
          Put(Row, AlphaRow, i + j, raw);
        }
      }
      i += k;
      Left -= k;
    }
  }
};

void ReverseBits(uint8_t* Row, int32_t Width) {
  for (int32_t a = 0, b = Width - 1; a < b; ++a, --b) {
    const int32_t va = QxGetRowBit(Row, a), vb = QxGetRowBit(Row, b);
    QxSetRowBit(Row, a, vb);
    QxSetRowBit(Row, b, va);
  }
}

}  // namespace

// ============================================================ dates

bool TgaEncodeDateTime(int32_t Year, int32_t Month, int32_t Day, int32_t Hour, int32_t Minute, int32_t Second,
                       double& Result) {
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1) return false;
  static const int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  if (Day > kDays[Month - 1] + (Month == 2 && leap ? 1 : 0)) return false;
  if (Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59) return false;
  const double days = double(DaysFromCivil(Year, Month, Day));
  const double time = (Hour * 3600.0 + Minute * 60.0 + Second) / 86400.0;
  // Before the base day the time still counts forward from midnight.
  Result = days >= 0 ? days + time : days - time;
  return true;
}

void TgaDecodeDateTime(double Value, int32_t& Year, int32_t& Month, int32_t& Day, int32_t& Hour, int32_t& Minute,
                       int32_t& Second) {
  Year = Month = Day = Hour = Minute = Second = 0;
  if (!std::isfinite(Value) || std::fabs(Value) > 3.0e6) return;
  int64_t days = Trunc(Value);
  int64_t secs = Round(std::fabs(Value - double(days)) * 86400.0);
  if (secs >= 86400) {
    secs = 0;
    days += Value >= 0 ? 1 : -1;
  }
  // Days since 30 December 1899 to a civil date (counted from 1 March of year 0 inside).
  const int64_t z = days - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  Year = int32_t(y);
  Month = int32_t(m);
  Day = int32_t(d);
  Hour = int32_t(secs / 3600);
  Minute = int32_t(secs / 60 % 60);
  Second = int32_t(secs % 60);
}

// ============================================================ probe and reader

bool IsTgaStream(TStream* Stream) {
  if (!Stream) return false;
  const int64_t pos = Stream->Position();
  uint8_t h[kHeaderSize];
  bool ok = false;
  try {
    ok = Stream->Read(h, kHeaderSize) == kHeaderSize;
  } catch (...) {
    ok = false;
  }
  Stream->SetPosition(pos);
  return ok && AcceptedType(h[2]) && AcceptedDepth(h[16]) && h[1] <= 1 && Get16(h + 12) != 0 &&
         Get16(h + 14) != 0;
}

void ReadTgaStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                   bool ParamsOnly, TQxMask*& Mask, bool SkipAlpha) {
  if (!Stream || !Bitmap) {
    Progress.Abort();
    return;
  }
  bool createdMask = false;
  try {
    const int64_t start = Stream->Position();
    const int64_t end = Stream->Size();

    // The footer tells a version-2 file and where its extension area is.
    bool v2 = false;
    uint32_t extOffset = 0;
    if (end - start >= kHeaderSize + kFooterSize) {
      uint8_t f[kFooterSize];
      Stream->SetPosition(end - kFooterSize);
      if (Stream->Read(f, kFooterSize) == kFooterSize && std::memcmp(f + 8, kSignature, 18) == 0) {
        v2 = true;
        extOffset = Get32(f);
      }
    }
    Params.TgaAuthor.clear();
    Params.TgaJobName.clear();
    Params.TgaDate = Today();
    Params.TgaBackground = TQxRGB{0, 0, 0};
    Params.TgaAspectRatio = 1.0;
    Params.TgaGamma = 2.2;
    if (v2 && extOffset != 0 && start + int64_t(extOffset) + kExtensionSize <= end) {
      uint8_t e[kExtensionSize];
      Stream->SetPosition(start + extOffset);
      if (Stream->Read(e, kExtensionSize) == kExtensionSize) {
        Params.TgaAuthor = FieldText(e + 2, 41);
        const int32_t mo = Get16(e + 367), da = Get16(e + 369), ye = Get16(e + 371);
        const int32_t ho = Get16(e + 373), mi = Get16(e + 375), se = Get16(e + 377);
        double date = 0;
        if (mo >= 1 && mo <= 12 && da >= 1 && da <= 31 && ye >= 1 && ye <= 2499 && ho < 24 && mi < 60 && se < 60 &&
            TgaEncodeDateTime(ye, mo, da, ho, mi, se, date))
          Params.TgaDate = date;
        Params.TgaJobName = FieldText(e + 379, 41);
        Params.TgaBackground = TQxRGB{e[473], e[472], e[471]};
        const uint16_t an = Get16(e + 474), ad = Get16(e + 476), gn = Get16(e + 478), gd = Get16(e + 480);
        if (an && ad) Params.TgaAspectRatio = double(an) / ad;
        if (gn && gd) Params.TgaGamma = double(gn) / gd;
      }
    }

    Stream->SetPosition(start);
    TgaInput in{Stream, end};
    uint8_t h[kHeaderSize];
    in.Block(h, kHeaderSize);
    const int32_t idLength = h[0], mapType = h[1], imageType = h[2];
    const int32_t mapFirst = Get16(h + 3), mapLength = Get16(h + 5), mapEntryBits = h[7];
    const int32_t width = Get16(h + 12), height = Get16(h + 14), depth = h[16], descriptor = h[17];
    Params.TgaXPos = Get16(h + 8);
    Params.TgaYPos = Get16(h + 10);
    if (end - start < kHeaderSize || !AcceptedType(imageType) || !AcceptedDepth(depth)) {
      Progress.Abort();
      return;
    }

    std::string id(size_t(idLength), '\0');
    in.Block(reinterpret_cast<uint8_t*>(id.data()), idLength);
    Params.TgaImageId = CodePageToUtf8(id);

    TQxRGB map[256];
    uint8_t mapAlpha[256];
    std::fill(std::begin(mapAlpha), std::end(mapAlpha), 255);
    bool mapHasAlpha = false;
    for (int32_t i = 0; i < 256; ++i)
      map[i] = TQxRGB{uint8_t((i % 4) * 64 + 60), uint8_t(((i / 4) % 8) * 32 + 28), uint8_t((i / 32) * 32 + 28)};
    if (mapType == 1) {
      for (int32_t n = 0; n < mapLength; ++n) {
        const int32_t at = mapFirst + n;
        TQxRGB c{0, 0, 0};
        uint8_t a = 255;
        if (mapEntryBits == 15 || mapEntryBits == 16) {
          c = Expand16(in.Word());
        } else if (mapEntryBits == 24) {
          uint8_t v[3];
          in.Block(v, 3);
          c = TQxRGB{v[0], v[1], v[2]};
        } else if (mapEntryBits == 32) {
          uint8_t v[4];
          in.Block(v, 4);
          c = TQxRGB{v[0], v[1], v[2]};
          a = v[3];
          mapHasAlpha = true;
        } else {
          break;
        }
        // Entries past the 256 that pixels can name are read over and dropped.
        if (at < 256) {
          map[at] = c;
          mapAlpha[at] = a;
        }
      }
      Params.SetColorMap(map, std::min(mapLength, 256));
      Params.TgaGrayscale = 0;
    } else if (depth == 8) {
      for (int32_t i = 0; i < 256; ++i) map[i] = TQxRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
      Params.TgaGrayscale = 1;
    } else if (depth == 1) {
      map[0] = TQxRGB{0, 0, 0};
      map[1] = TQxRGB{255, 255, 255};
    }
    const bool gray16 = depth == 16 && (imageType == 3 || imageType == 11);
    if (gray16) Params.TgaGrayscale = 1;
    const bool rle = imageType >= 9;
    Params.TgaCompressed = rle ? 1 : 0;

    Params.Width = Params.OriginalWidth = width;
    Params.Height = Params.OriginalHeight = height;
    Params.SetDpiX(QxDefaultDpiX);
    Params.SetDpiY(QxDefaultDpiY);
    Params.SetImageCount(1);
    switch (depth) {
      case 1: Params.BitsPerSample = 1; Params.SamplesPerPixel = 1; break;
      case 8: Params.BitsPerSample = 8; Params.SamplesPerPixel = 1; break;
      case 16:
        Params.BitsPerSample = gray16 ? 8 : 5;
        Params.SamplesPerPixel = gray16 ? 2 : 3;
        break;
      case 24: Params.BitsPerSample = 8; Params.SamplesPerPixel = 3; break;
      case 32: Params.BitsPerSample = 8; Params.SamplesPerPixel = 4; break;
      default: break;
    }
    if (ParamsOnly) return;

    // Packed depths move whole bytes; the others one pixel at a time.
    const bool packed = depth == 1 || depth == 4;
    const int32_t units = depth == 1 ? (width + 7) / 8 : depth == 4 ? (width + 1) / 2 : width;
    const int32_t pixelBytes = packed ? 1 : depth / 8;
    if (width == 0 || height == 0 || int64_t(units) * pixelBytes * height > in.Left() * kMaxExpansion ||
        !QxPictureFits(Params, width, height, -1, -1)) {
      Progress.Abort();
      return;
    }
    if (!Bitmap->Allocate(width, height, depth == 1 ? TQxPixelFormat::qx1g : TQxPixelFormat::qx24RGB)) {
      Progress.Abort();
      return;
    }
    const int32_t rowBytes = depth == 1 ? units : width * 3;
    std::vector<uint8_t> row(size_t(rowBytes) + 8, 0);
    std::vector<uint8_t> packedRow(depth == 4 ? size_t(units) + 8 : 0, 0);

    std::vector<uint8_t> alphaRow;
    if (!SkipAlpha && (depth == 32 || mapHasAlpha || gray16)) {
      if (!Mask) {
        Mask = new TQxMask();
        createdMask = true;
      }
      Mask->Allocate(width, height, 8);
      Mask->Fill(255);
      Mask->Full = false;
      alphaRow.assign(size_t(width), 255);
    }
    uint8_t* alpha = alphaRow.empty() ? nullptr : alphaRow.data();

    TgaDecoder dec{in, depth, pixelBytes, rle, map, mapAlpha, mapHasAlpha, gray16};
    const bool topDown = (descriptor & 0x20) != 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    for (int32_t n = 0; n < height; ++n) {
      const int32_t y = topDown ? n : height - 1 - n;
      dec.DecodeRow(depth == 4 ? packedRow.data() : row.data(), alpha, units);
      if (depth == 4)
        for (int32_t x = 0; x < width; ++x) {
          const uint8_t b = packedRow[size_t(x >> 1)];
          std::memcpy(row.data() + x * 3, &map[(x & 1) ? (b & 15) : (b >> 4)], 3);
        }
      if (rightToLeft) {
        if (depth == 1) {
          ReverseBits(row.data(), width);
        } else {
          for (int32_t a = 0, b = width - 1; a < b; ++a, --b)
            std::swap_ranges(row.data() + a * 3, row.data() + a * 3 + 3, row.data() + b * 3);
        }
        if (alpha) std::reverse(alphaRow.begin(), alphaRow.end());
      }
      std::memcpy(Bitmap->Scanline(y), row.data(), size_t(rowBytes));
      if (alpha) std::memcpy(Mask->Scanline(y), alpha, size_t(width));
      ++Progress.Counter;
      if (Progress.Assigned()) Progress.Report(int32_t(Trunc(double(n + 1) * 100 / height)));
      if (Progress.Aborting()) break;
    }

    if (Mask && alpha) {
      Mask->SyncBoundingBox();
      Mask->UpdateFull();
      if (Mask->IsEmpty()) {
        // Alpha bytes that are all zero are taken as unused: the picture is opaque.
        delete Mask;
        Mask = nullptr;
      }
    }
  } catch (...) {
    if (createdMask) {
      delete Mask;
      Mask = nullptr;
    }
    Progress.Abort();
  }
}

// ============================================================ writer

int32_t TgaEncodeRow(uint8_t* Dest, const uint8_t* Source, int32_t Count, int32_t PixelBytes) {
  auto same = [&](int32_t a, int32_t b) {
    return std::memcmp(Source + size_t(a) * PixelBytes, Source + size_t(b) * PixelBytes, size_t(PixelBytes)) == 0;
  };
  int32_t out = 0, i = 0;
  while (i < Count) {
    int32_t run = 1;
    while (i + run < Count && run < 128 && same(i, i + run)) ++run;
    if (run >= 2) {
      Dest[out++] = uint8_t(run - 1 + 128);
      std::memcpy(Dest + out, Source + size_t(i) * PixelBytes, size_t(PixelBytes));
      out += PixelBytes;
      i += run;
      continue;
    }
    int32_t n = 0, j = i;
    while (j < Count - 1 && n < 127 && !same(j, j + 1)) {
      ++n;
      ++j;
    }
    if (j == Count - 1) ++n;  // the row's last pixel joins the packet
    Dest[out++] = uint8_t(n - 1);
    std::memcpy(Dest + out, Source + size_t(i) * PixelBytes, size_t(n) * PixelBytes);
    out += n * PixelBytes;
    i += n;
  }
  return out;
}

void WriteTgaStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                    TQxMask* Mask) {
  if (!Stream || !Bitmap) return;
  const TQxPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != TQxPixelFormat::qx24RGB && fmt != TQxPixelFormat::qx1g) return;
  const int32_t width = Bitmap->Width(), height = Bitmap->Height();
  if (width <= 0 || height <= 0) return;
  std::atomic<bool>* abortFlag = Progress.AbortFlag;
  // Sizes beyond the 16-bit header fields cannot be stored.
  if (width > 65535 || height > 65535) {
    Progress.Abort();
    return;
  }
  const int64_t start = Stream->Position();

  std::unique_ptr<TQxBitmap> own;
  auto as24 = [&]() -> TQxBitmap* {
    if (fmt == TQxPixelFormat::qx24RGB) return Bitmap;
    own = std::make_unique<TQxBitmap>(width, height, TQxPixelFormat::qx24RGB);
    own->ConvertFrom(Bitmap);
    return own.get();
  };
  int32_t depth;
  TQxBitmap* work = Bitmap;
  std::unique_ptr<TQxQuantizer> quant;
  TQxRGB palette[256] = {};
  if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1) {
    depth = 1;
    if (fmt != TQxPixelFormat::qx1g) {
      TQxRGB c0, c1;
      own = QxTwoColorBitmap(Bitmap, c0, c1);
      if (!own) {
        own = std::make_unique<TQxBitmap>(width, height, TQxPixelFormat::qx1g);
        own->ConvertFrom(Bitmap);
      }
      work = own.get();
    }
    Params.TgaCompressed = 0;
  } else if (Params.SamplesPerPixel == 1 && (Params.BitsPerSample == 4 || Params.BitsPerSample == 8)) {
    depth = Params.BitsPerSample;
    const int32_t colors = 1 << depth;
    work = as24();
    quant = std::make_unique<TQxQuantizer>(work, palette, colors);
    Params.SetColorMap(palette, colors);
    if (depth == 4) Params.TgaCompressed = 0;
  } else if (Mask) {
    depth = 32;
    work = as24();
    Params.TgaCompressed = 0;
  } else {
    depth = 24;
    work = as24();
  }
  if (work->IsEmpty()) {
    Progress.Abort();
    return;
  }
  const bool gray = depth == 8 && Params.TgaGrayscale != 0;
  const bool mapped = (depth == 4 || depth == 8) && !gray;
  const bool rle = Params.TgaCompressed != 0;

  std::string id = Utf8ToCodePage(Params.TgaImageId);
  // An ID read back from a file keeps its zero byte; a second one would be added on every save.
  if (id.empty() || id.back() != '\0') {
    if (id.size() > 254) id.resize(254);
    id.push_back('\0');
  } else if (id.size() > 255) {
    id.resize(254);
    id.push_back('\0');
  }

  uint8_t h[kHeaderSize] = {};
  h[0] = uint8_t(id.size());
  h[1] = mapped ? 1 : 0;
  if (depth == 1 || gray)
    h[2] = rle ? 11 : 3;
  else if (mapped)
    h[2] = rle ? 9 : 1;
  else
    h[2] = rle ? 10 : 2;
  if (depth == 4 || depth == 8) {
    Put16(h + 5, uint32_t(1 << depth));
    h[7] = 24;
  }
  Put16(h + 8, uint32_t(Params.TgaXPos));
  Put16(h + 10, uint32_t(Params.TgaYPos));
  Put16(h + 12, uint32_t(width));
  Put16(h + 14, uint32_t(height));
  h[16] = uint8_t(depth);
  h[17] = depth == 32 ? 0x28 : 0x20;
  QxWriteChecked(Stream, abortFlag, h, kHeaderSize);
  QxWriteChecked(Stream, abortFlag, id.data(), int64_t(id.size()));
  if (mapped) {
    const int32_t n = 1 << depth;
    std::vector<uint8_t> m(size_t(n) * 3);
    for (int32_t i = 0; i < n; ++i) std::memcpy(m.data() + i * 3, &palette[i], 3);
    QxWriteChecked(Stream, abortFlag, m.data(), int64_t(m.size()));
  }

  const int32_t rowBytes = depth == 1 ? (width + 7) / 8 : depth == 4 ? (width + 1) / 2 : width * (depth / 8);
  std::vector<uint8_t> out(size_t(rowBytes) + 8);
  std::vector<uint8_t> coded(rle ? size_t(width) * 4 + 8 : 0);
  auto maskAt = [&](int32_t x, int32_t y) -> uint8_t {
    if (x >= Mask->Width() || y >= Mask->Height()) return 255;
    const uint8_t* m = Mask->Scanline(y);
    if (Mask->BitsPerPixel() == 8) return m[x];
    return QxGetRowBit(m, x) ? 255 : 0;
  };
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src = work->Scanline(y);
    std::fill(out.begin(), out.end(), 0);
    switch (depth) {
      case 1:
        std::memcpy(out.data(), src, size_t(rowBytes));
        if (width & 7) out[size_t(rowBytes) - 1] &= uint8_t(0xFF00 >> (width & 7));
        break;
      case 4:
      case 8:
        QxQuantizeRow(src, out.data(), 24, quant.get(), nullptr, width, depth);
        if (gray)
          for (int32_t x = 0; x < width; ++x) out[x] = QxRGBToGray(palette[out[x]]);
        break;
      case 24:
        std::memcpy(out.data(), src, size_t(rowBytes));
        break;
      case 32:
        for (int32_t x = 0; x < width; ++x) {
          std::memcpy(out.data() + x * 4, src + x * 3, 3);
          out[x * 4 + 3] = maskAt(x, y);
        }
        break;
    }
    if (rle && (depth == 8 || depth == 24)) {
      const int32_t n = TgaEncodeRow(coded.data(), out.data(), width, depth / 8);
      QxWriteChecked(Stream, abortFlag, coded.data(), n);
    } else {
      QxWriteChecked(Stream, abortFlag, out.data(), rowBytes);
    }
    ++Progress.Counter;
    if (Progress.Assigned()) Progress.Report(int32_t(Trunc(double(y + 1) * 100 / height)));
  }

  const int64_t extPos = Stream->Position();
  uint8_t e[kExtensionSize] = {};
  Put16(e, kExtensionSize);
  const std::string author = Utf8ToCodePage(Params.TgaAuthor), job = Utf8ToCodePage(Params.TgaJobName);
  std::memcpy(e + 2, author.data(), std::min<size_t>(author.size(), 40));
  int32_t ye, mo, da, ho, mi, se;
  TgaDecodeDateTime(Params.TgaDate, ye, mo, da, ho, mi, se);
  if (ye < 0 || ye > 65535) ye = mo = da = ho = mi = se = 0;
  Put16(e + 367, uint32_t(mo));
  Put16(e + 369, uint32_t(da));
  Put16(e + 371, uint32_t(ye));
  Put16(e + 373, uint32_t(ho));
  Put16(e + 375, uint32_t(mi));
  Put16(e + 377, uint32_t(se));
  std::memcpy(e + 379, job.data(), std::min<size_t>(job.size(), 40));
  e[471] = Params.TgaBackground.r;
  e[472] = Params.TgaBackground.g;
  e[473] = Params.TgaBackground.b;
  PutRatio(e + 474, Params.TgaAspectRatio);
  PutRatio(e + 478, Params.TgaGamma);
  QxWriteChecked(Stream, abortFlag, e, kExtensionSize);

  uint8_t f[kFooterSize] = {};
  Put32(f, uint32_t(extPos - start));
  std::memcpy(f + 8, kSignature, 18);
  QxWriteChecked(Stream, abortFlag, f, kFooterSize);
}

void QxRegisterTgaCodec() {
  QxCodecServices.ReadTgaStream = ReadTgaStream;
  QxCodecServices.WriteTgaStream = WriteTgaStream;
  QxCodecServices.IsTgaStream = IsTgaStream;
}
