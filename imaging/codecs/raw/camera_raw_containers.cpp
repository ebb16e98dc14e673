// Camera-raw containers: TIFF directories with their maker notes, CIFF heaps, the Rollei and Foveon
// headers, small file tests of the camera table, and the CIFF metadata-and-preview reader.
#include <algorithm>
#include <cstring>
#include <set>

#include "imaging/codecs/raw/camera_raw_internal.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/tiff_tags.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

namespace {

// Directory walks and heaps are bounded: a damaged file must not make the parsers loop or recurse for ever.
constexpr int32_t kMaxDirectories = 64;
constexpr int32_t kMaxSubDirectories = 16;
constexpr int32_t kMaxCiffDepth = 8;
constexpr int32_t kMaxEntries = 4096;

bool Is(const char* Text, const char* What) { return std::strcmp(Text, What) == 0; }
bool StartsWith(const char* Text, const char* Prefix) { return std::strncmp(Text, Prefix, std::strlen(Prefix)) == 0; }

uint32_t EntryValue(TQxRawContext& C, uint16_t Type, uint32_t Count) {
  if (Type == 3 && Count < 3) {
    const uint16_t v = C.Get2();
    C.Get2();
    return v;
  }
  return C.Get4();
}

float Ratio(double A, double B) { return B != 0 ? float(A / B) : 0.0f; }

void parse_sub_directory(TQxRawContext& C, int32_t Base) {
  const int32_t entries = std::min<int32_t>(C.Get2(), kMaxEntries);
  for (int32_t i = 0; i < entries && C.Tell() < C.FileSize && C.Spend(); ++i) {
    const uint16_t tag = C.Get2(), type = C.Get2();
    const uint32_t count = C.Get4();
    const uint32_t value = EntryValue(C, type, count);
    switch (tag) {
      case 0x0100: C.SensorWidth = int32_t(value); break;
      case 0x0101: C.SensorHeight = int32_t(value); break;
      case 0x0103: C.StripCompression = int32_t(value); break;
      case 0x0106: C.KodakColorFormat = int32_t(value); break;
      case 0x0111:
        if (count == 1) {
          C.SensorDataOffset = int32_t(value);
        } else {
          const int64_t save = C.Tell();
          C.Seek(int64_t(Base) + value);
          C.SensorDataOffset = int32_t(C.Get4());
          C.Seek(save);
        }
        break;
      case 0x0123:
        C.ToneCurveOffset = int32_t(value);
        C.ToneCurveCount = int32_t(count);
        break;
    }
  }
}

void parse_maker_note(TQxRawContext& C) {
  const uint16_t savedOrder = C.ByteOrder;
  uint8_t buf[10];
  C.Read(buf, 10);
  int64_t base = 0;
  if (std::memcmp(buf, "Nikon\0", 6) == 0) {
    base = C.Tell();
    uint8_t o[2];
    C.Read(o, 2);
    C.ByteOrder = uint16_t(o[0] | o[1] << 8);
    C.Get2();
    const uint32_t offset = C.Get4();
    C.Skip(int64_t(offset) - 8);
  } else if (std::memcmp(buf, "OLYMP\0", 6) == 0) {
    C.Skip(-2);
  } else {
    C.Skip(-10);
  }
  const int32_t entries = std::min<int32_t>(C.Get2(), kMaxEntries);
  for (int32_t i = 0; i < entries && C.Tell() < C.FileSize && C.Spend(); ++i) {
    const uint16_t tag = C.Get2(), type = C.Get2();
    C.Get4();
    uint32_t value;
    if (type == 3) {
      value = C.Get2();
      C.Get2();
    } else {
      value = C.Get4();
    }
    const int64_t save = C.Tell();
    switch (tag) {
      case 0x000C: {
        C.Seek(base + value);
        const double a = C.Get4(), b = C.Get4();
        C.CameraRedGain = Ratio(a, b);
        const double c = C.Get4(), d = C.Get4();
        C.CameraBlueGain = Ratio(c, d);
        break;
      }
      case 0x008C: C.ToneCurveOffset = int32_t(base + value + 2112); break;
      case 0x0096: C.ToneCurveOffset = int32_t(base + value + 2); break;
      case 0x0097:
        if (Is(C.Model, "NIKON D100 ")) {
          C.Seek(base + value + 72);
          C.CameraRedGain = C.Get2() / 256.0f;
          C.CameraBlueGain = C.Get2() / 256.0f;
        } else if (Is(C.Model, "NIKON D2H") || Is(C.Model, "NIKON D70")) {
          const bool d2h = Is(C.Model, "NIKON D2H");
          C.Seek(base + value + (d2h ? 10 : 20));
          const double a = C.Get2(), b = C.Get2(), c = C.Get2(), d = C.Get2();
          C.CameraRedGain = Ratio(a, b);
          C.CameraBlueGain = d2h ? Ratio(d, c) : Ratio(c, d);
        }
        break;
      case 0x1017: C.CameraRedGain = value / 256.0f; break;
      case 0x1018: C.CameraBlueGain = value / 256.0f; break;
    }
    C.Seek(save);
  }
  C.ByteOrder = savedOrder;
}

void parse_exif_directory(TQxRawContext& C, int32_t Base) {
  const int32_t entries = std::min<int32_t>(C.Get2(), kMaxEntries);
  for (int32_t i = 0; i < entries && C.Tell() < C.FileSize && C.Spend(); ++i) {
    const uint16_t tag = C.Get2();
    C.Get2();
    C.Get4();
    const uint32_t value = C.Get4();
    const int64_t save = C.Tell();
    C.Seek(int64_t(Base) + value);
    if (tag == 0x927C && (StartsWith(C.Maker, "NIKON") || StartsWith(C.Maker, "OLYMPUS"))) parse_maker_note(C);
    C.Seek(save);
  }
}

// The gains of a CIFF white-balance record: red over a first word, blue over a third.
void ReadCiffGains(TQxRawContext& C, int64_t At) {
  C.Seek(At);
  const uint16_t r = C.Get2();
  if (r) C.CameraRedGain = float(C.Get2()) / r;
  else C.CameraRedGain = 0;
  C.CameraBlueGain = C.Get2();
  const uint16_t t = C.Get2();
  if (t) C.CameraBlueGain /= t;
}

// The masks that the white-sample block's words are stored under.
constexpr uint16_t kWhiteSampleMask[2] = {0x5A5A, 0xA5A5};

void read_canon_white_samples(TQxRawContext& C) {
  C.Get2();
  if (C.Get4() != 0x80008) return;
  if (C.Get4() == 0) return;
  const int32_t bits = C.Get2();
  if (bits != 10 && bits != 12) return;
  uint32_t buffer = 0;
  int32_t valid = 0, words = 0;
  for (auto& row : C.WhiteSamples)
    for (uint16_t& s : row) {
      if (valid < bits) {
        const uint16_t w = C.Get2() ^ kWhiteSampleMask[words++ & 1];
        buffer = buffer << 16 | w;
        valid += 16;
      }
      s = uint16_t(((buffer >> (valid - bits)) & ((1u << bits) - 1)) << (14 - bits));
      valid -= bits;
    }
}

}  // namespace

void parse_tiff_directories(TQxRawContext& C, int32_t Base) {
  C.Seek(Base);
  uint8_t o[2];
  C.Read(o, 2);
  C.ByteOrder = uint16_t(o[0] | o[1] << 8);
  C.Get2();
  int32_t width = 0, height = 0;
  uint32_t stripOffset = 0, firstStrip = 0;
  std::set<int64_t> seen;
  for (int32_t dirs = 0; dirs < kMaxDirectories; ++dirs) {
    const uint32_t next = C.Get4();
    if (next == 0) break;
    const int64_t at = int64_t(next) + Base;
    if (at >= C.FileSize || !seen.insert(at).second) break;  // past the end, or a loop
    C.Seek(at);
    const int32_t entries = C.Get2();
    for (int32_t i = 0; i < entries && C.Tell() < C.FileSize && C.Spend(); ++i) {
      const uint16_t tag = C.Get2(), type = C.Get2();
      uint32_t count = C.Get4();
      const uint32_t value = EntryValue(C, type, count);
      const int64_t save = C.Tell();
      C.Seek(int64_t(value) + Base);
      switch (tag) {
        case 0x0011: C.CameraRedGain = value / 256.0f; break;
        case 0x0012: C.CameraBlueGain = value / 256.0f; break;
        case 0x0100: width = int32_t(value); break;
        case 0x0101: height = int32_t(value); break;
        case 0x010F: C.ReadText(C.Maker); break;
        case 0x0110: C.ReadText(C.Model); break;
        case 0x0111:
          stripOffset = value;
          firstStrip = C.Get4();
          break;
        case 0x0112: {
          static const int32_t map[8] = {0, 1, 3, 2, 4, 6, 7, 5};
          C.Orientation = map[(value - 1) & 7];
          break;
        }
        case 0x0123:
          C.ToneCurveOffset = int32_t(value);
          C.ToneCurveCount = int32_t(count);
          break;
        case 0x0131: {
          char software[64];
          C.ReadText(software);
          if (StartsWith(software, "Adobe")) C.Maker[0] = 0;
          break;
        }
        case 0x0144:
          C.SetText(C.Maker, "Leaf");
          C.SensorWidth = width;
          C.SensorHeight = height;
          C.SensorDataOffset = count > 1 ? int32_t(C.Get4()) : int32_t(value);
          break;
        case 0x014A:
          if (count > 2 && Is(C.Maker, "Kodak")) count = 2;
          if (count > 1) {
            count = std::min<uint32_t>(count, kMaxSubDirectories);
            for (uint32_t k = 0; k < count; ++k) {
              C.Seek(int64_t(Base) + value + 4 * k);
              C.Seek(int64_t(Base) + C.Get4());
              parse_sub_directory(C, Base);
            }
          } else {
            parse_sub_directory(C, Base);
          }
          break;
        case 0x827D: C.ReadText(C.ModelExtra); break;
        case 0x8769: parse_exif_directory(C, Base); break;
      }
      C.Seek(save);
    }
  }
  if (StartsWith(C.Maker, "OLYMPUS")) {
    C.Maker[7] = 0;
    C.SensorWidth = width;
    C.SensorHeight = (height + 1) & ~1;
    C.SensorDataOffset = int32_t(firstStrip);
  }
  if (Is(C.Maker, "Canon") && !Is(C.Model, "EOS D2000C")) C.SensorDataOffset = int32_t(stripOffset);
  if (!C.Maker[0] && width == 680 && height == 680) {
    C.SetText(C.Maker, "Imacon");
    C.SetText(C.Model, "Ixpress");
  }
}

void parse_ciff_heap(TQxRawContext& C, int32_t Offset, int32_t Length, int32_t Depth) {
  if (Depth > kMaxCiffDepth) return;
  C.Seek(int64_t(Offset) + Length - 4);
  const int64_t table = int64_t(C.Get4()) + Offset;
  if (table >= C.FileSize) return;
  C.Seek(table);
  const int32_t records = C.Get2();
  int32_t wbi = -1;
  static const int32_t remap[6] = {1, 2, 3, 4, 5, 1};
  static const int32_t remap10d[10] = {0, 1, 3, 4, 5, 6, 0, 0, 2, 8};
  for (int32_t i = 0; i < records && C.Tell() < C.FileSize && C.Spend(); ++i) {
    const uint16_t type = C.Get2();
    const uint32_t length = C.Get4();
    const int64_t a = int64_t(Offset) + C.Get4();
    const int64_t save = C.Tell();
    switch (type) {
      case 0x080A:
        C.Seek(a);
        C.ReadText(C.Maker);
        C.Seek(a + int64_t(std::strlen(C.Maker)) + 1);
        C.ReadText(C.Model);
        break;
      case 0x102A:
        C.Seek(a + 14);
        wbi = C.Get2();
        if ((Is(C.Model, "Canon EOS DIGITAL REBEL") || Is(C.Model, "Canon EOS 300D DIGITAL")) && wbi == 6) wbi = 7;
        break;
      case 0x102C:
        if (Is(C.Model, "Canon PowerShot G1") || Is(C.Model, "Canon PowerShot Pro90 IS")) {
          C.Seek(a + 120);
          C.WhiteSamples[0][1] = uint16_t(C.Get2() << 4);
          C.WhiteSamples[0][0] = uint16_t(C.Get2() << 4);
          C.WhiteSamples[1][0] = uint16_t(C.Get2() << 4);
          C.WhiteSamples[1][1] = uint16_t(C.Get2() << 4);
        } else {
          C.Seek(a + 100);
          if (wbi == 6 && C.Get4() == 0) wbi = 15;
          else ReadCiffGains(C, a + 100);
        }
        break;
      case 0x0032:
        if (Is(C.Model, "Canon EOS D30")) {
          ReadCiffGains(C, a + 72);
        } else if (C.CameraRedGain == 0) {
          // An index outside the table (none recorded yet) reads the first set.
          ReadCiffGains(C, a + 80 + (wbi >= 0 && wbi < 6 ? 8 * remap[wbi] : 0));
        }
        break;
      case 0x10A9: {
        if (Is(C.Model, "Canon EOS 10D")) wbi = wbi >= 0 && wbi < 10 ? remap10d[wbi] : 0;
        C.Seek(a + 8 * std::clamp(wbi, 0, 255) + 2);
        const double a1 = C.Get2(), a2 = C.Get2(), a3 = C.Get2(), a4 = C.Get2();
        C.CameraRedGain = Ratio(a1, a2);
        C.CameraBlueGain = Ratio(a4, a3);
        break;
      }
      case 0x1030:
        if (wbi > 14) {
          C.Seek(a);
          read_canon_white_samples(C);
        }
        break;
      case 0x1031:
        C.Seek(a + 2);
        C.SensorWidth = C.Get2();
        C.SensorHeight = C.Get2();
        break;
      case 0x1810: {
        C.Seek(a + 12);
        const uint32_t rot = C.Get4();
        if (rot == 90) C.Orientation = 6;
        else if (rot == 180) C.Orientation = 3;
        else if (rot == 270) C.Orientation = 5;
        break;
      }
      case 0x1835:
        C.Seek(a);
        C.CanonTreeSet = int32_t(std::min<uint32_t>(C.Get4(), 2));
        build_canon_trees(C, C.CanonTreeSet);
        break;
      default:
        if ((type >> 8) == 0x28 || (type >> 8) == 0x30)
          if (a < C.FileSize && length <= uint32_t(INT32_MAX) && a <= INT32_MAX)
            parse_ciff_heap(C, int32_t(a), int32_t(length), Depth + 1);
        break;
    }
    C.Seek(save);
  }
  if (wbi == 0 && Is(C.Model, "Canon EOS D30")) C.CameraRedGain = -1;
}

void parse_rollei_header(TQxRawContext& C) {
  C.Seek(0);
  int32_t tx = 0, ty = 0;
  for (int32_t n = 0; n < 4096 && C.Tell() < C.FileSize; ++n) {
    char rec[129] = {};
    C.Read(rec, 128);
    const std::string line(rec, strnlen(rec, 128));
    const size_t eq = line.find('=');
    const std::string key = line.substr(0, eq);
    std::string val = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    while (!val.empty() && (val.back() == '\r' || val.back() == '\n' || val.back() == ' ')) val.pop_back();
    const int32_t v = QxTextToIntDef(val, 0);
    if (key == "HDR") C.SensorDataOffset = v;
    else if (key == "X  ") C.SensorWidth = v;
    else if (key == "Y  ") C.SensorHeight = v;
    else if (key == "TX ") tx = v;
    else if (key == "TY ") ty = v;
    if (line.compare(0, 4, "EOHD") == 0) break;
  }
  C.SensorDataOffset = int32_t(std::clamp<int64_t>(int64_t(C.SensorDataOffset) + int64_t(tx) * ty * 2, 0, INT32_MAX));
  C.SetText(C.Maker, "Rollei");
  C.SetText(C.Model, "d530flex");
}

void parse_foveon(TQxRawContext& C) {
  C.ByteOrder = 0x4949;
  C.Seek(C.FileSize - 4);
  const int64_t d = C.Get4();
  C.Seek(d);
  for (;;) {
    if (C.Tell() + 4 > C.FileSize) return;
    if (C.Get4() == 0x464D4143) break;
  }
  int64_t b = C.Get4();
  C.Seek(b + 8);
  b += 8 * int64_t(C.Get4()) + 24;
  if (d > b && d - b <= (int64_t(1) << 22)) {
    const int64_t n = (d - b) / 2;
    std::vector<uint8_t> raw(size_t(n) * 2);
    C.Seek(b);
    C.Read(raw.data(), int64_t(raw.size()));
    std::string text(size_t(n), '\0');
    for (int64_t i = 0; i < n; ++i) text[size_t(i)] = char(raw[size_t(2 * i)]);  // the low byte of each character
    text.push_back('\0');
    std::vector<std::string> parts;
    for (size_t p = 0; p < text.size();) {
      const size_t z = text.find('\0', p);
      parts.push_back(text.substr(p, z - p));
      p = z + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      if (parts[i] == "CAMMANUF") C.SetText(C.Maker, parts[i + 1].c_str());
      if (parts[i] == "CAMMODEL") C.SetText(C.Model, parts[i + 1].c_str());
    }
  }
  C.Seek(248);
  C.SensorWidth = int32_t(C.Get4());
  C.SensorHeight = int32_t(C.Get4());
}

bool nikon_data_is_compressed(TQxRawContext& C) {
  if (C.StripCompression != 34713) return false;
  if (!Is(C.Model, "D100")) return true;
  uint8_t t[256];
  C.Seek(C.SensorDataOffset);
  C.Read(t, 256);
  for (int32_t i = 15; i < 256; i += 16)
    if (t[i]) return true;
  return false;
}

bool is_coolpix990(TQxRawContext& C) {
  uint8_t b[2000];
  int32_t count[256] = {};
  C.Seek(2383920);
  C.Read(b, 2000);
  for (uint8_t v : b) ++count[v];
  for (int32_t v : {0x00, 0x55, 0xAA, 0xFF})
    if (count[v] > 400) return true;
  return false;
}

bool is_coolpix2100(TQxRawContext& C) {
  C.Seek(0);
  for (int32_t i = 0; i < 1024; ++i) {
    uint8_t t[12];
    C.Read(t, 12);
    if ((((t[2] & t[4] & t[7] & t[9]) >> 4) & t[1] & t[6] & t[8] & t[11] & 3) != 3) return false;
  }
  return true;
}

bool is_dimage_z2(TQxRawContext& C) {
  uint8_t t[424];
  C.Seek(C.FileSize - 424);
  const int64_t n = std::min<int64_t>(C.FileSize, 424);
  C.Read(t, 424);
  for (int64_t i = 0; i < n; ++i)
    if (t[i]) return true;
  return false;
}

// ---- CIFF metadata and preview --------------------------------------------------------------------------

namespace {

struct TCiffWalk {
  TQxBufferedReadStream& S;
  TIOParamsVals& P;
  bool Swap = false;
  int64_t Size = 0;
  int64_t PreviewAt = -1, PreviewLength = 0;
  int32_t BestW = 2147483646, BestH = 2147483646;
  int64_t Budget = 20000;
  int32_t Candidates = 0;  // records over all heaps: nested heaps must not multiply the work
  struct TNoteRecord {
    uint16_t Tag;
    uint32_t Size;
    std::vector<uint8_t> Data;
  };
  std::vector<TNoteRecord> Note;

  uint16_t U16() {
    uint16_t v = 0;
    if (S.Read(&v, 2) != 2) return 0;
    return uint16_t(QxSwap16If(v, Swap));
  }
  uint32_t U32() {
    uint32_t v = 0;
    if (S.Read(&v, 4) != 4) return 0;
    return QxSwap32If(v, Swap);
  }
  std::string Text(int64_t Max) {
    std::string t;
    uint8_t b;
    while (int64_t(t.size()) < Max && S.ReadByte(b) && b) t.push_back(char(b));
    return t;
  }

  void Walk(int64_t Base, int64_t Length, int32_t Depth) {
    if (Depth > kMaxCiffDepth || Base < 0 || Base + Length - 4 < 0 || Base + Length > Size) return;
    S.SetPosition(Base + Length - 4);
    const int64_t table = Base + U32();
    if (table >= Size) return;
    S.SetPosition(table);
    const int32_t count = std::min<int32_t>(U16(), 256);
    for (int32_t i = 0; i < count && --Budget >= 0; ++i) {
      const int64_t rec = table + 2 + 10 * int64_t(i);
      S.SetPosition(rec);
      const uint16_t tag = U16();
      uint32_t size = U32();
      int64_t at = Base + U32();
      if (tag >= 0x4000) {
        size = 8;
        at = rec + 2;
      }
      if (at >= Size) return;
      S.SetPosition(at);
      switch (tag & 0x3FFF) {
        case 0x0805: P.ExifImageDescription = Text(size); break;
        case 0x080A:
          P.ExifMake = Text(size);
          P.ExifModel = Text(size);
          break;
        case 0x080B: P.ExifSoftware = Text(size); break;
        case 0x102A:
        case 0x102D: {
          const int64_t n = std::min<int64_t>({int64_t(size) * 2, Size - at, 65536});
          TNoteRecord r{uint16_t((tag & 0x3FFF) == 0x102A ? 4 : 1), size, std::vector<uint8_t>(size_t(n))};
          S.Read(r.Data.data(), n);
          Note.push_back(std::move(r));
          break;
        }
        case 0x1810: {
          const uint32_t x = U32(), y = U32();
          P.SetExifPixelXDimension(int32_t(x));
          P.SetExifPixelYDimension(int32_t(y));
          break;
        }
        case 0x2007:
        case 0x2008: {
          if (++Candidates > 16) break;  // a camera stores one or two; more is a damaged heap
          const int64_t n = std::min<int64_t>(size, Size - at);
          std::vector<uint8_t> jpeg(size_t(std::max<int64_t>(n, 0)));
          S.Read(jpeg.data(), int64_t(jpeg.size()));
          TQxMemStream m(jpeg.data(), int64_t(jpeg.size()));
          TIOParamsVals p;
          std::atomic<bool> abort{false};
          TQxProgressInfo pr;
          pr.AbortFlag = &abort;
          try {
            ReadJpegStream(&m, nullptr, nullptr, p, pr, true, false, false, false, false, false, -1, false);
          } catch (const Exception&) {
            abort = true;
          }
          if (!abort && p.Width > 0 && p.Height > 0 && p.Width < BestW && p.Height < BestH) {
            BestW = p.Width;
            BestH = p.Height;
            PreviewAt = at;
            PreviewLength = n;
          }
          break;
        }
        case 0x2800: case 0x2807: case 0x3000: case 0x3002: case 0x3003: case 0x3004: case 0x300A: case 0x300B:
          Walk(at, size, Depth + 1);
          break;
      }
    }
  }
};

}  // namespace

void QxReadCiffMetadata(TQxBufferedReadStream& Stream, TIOParamsVals& Params) {
  uint8_t h[14] = {};
  if (Stream.Read(h, 14) != 14) return;
  const bool ii = h[0] == 'I' && h[1] == 'I', mm = h[0] == 'M' && h[1] == 'M';
  if ((!ii && !mm) || std::memcmp(h + 6, "HEAPCCDR", 8) != 0) return;
  TCiffWalk w{Stream, Params};
  w.Swap = mm;
  w.Size = Stream.Size();
  uint32_t hl;
  std::memcpy(&hl, h + 2, 4);
  hl = QxSwap32If(hl, mm);
  w.Walk(hl, w.Size - hl, 0);

  if (!Params.ExifThumbnail) Params.ExifThumbnail = std::make_unique<TQxBitmap>();
  Params.ExifThumbnail->FreeImage(true);
  if (w.PreviewAt >= 1) {
    std::vector<uint8_t> jpeg(size_t(w.PreviewLength));
    Stream.SetPosition(w.PreviewAt);
    Stream.Read(jpeg.data(), w.PreviewLength);
    TQxMemStream m(jpeg.data(), int64_t(jpeg.size()));
    TIOParamsVals p;
    std::atomic<bool> abort{false};
    TQxProgressInfo pr;
    pr.AbortFlag = &abort;
    try {
      ReadJpegStream(&m, nullptr, Params.ExifThumbnail.get(), p, pr, false, false, false, false, false, false, -1,
                     false);
    } catch (const Exception&) {
      abort = true;
    }
    if (abort) Params.ExifThumbnail->FreeImage(true);
  }

  if (!Params.ExifMakerNote) Params.ExifMakerNote = std::make_unique<TQxTagsHandler>();
  TQxTagsHandler& note = *Params.ExifMakerNote;
  note.Clear();
  TMemoryStream& ts = note.TagStream();
  const uint16_t n = uint16_t(w.Note.size());
  ts.Write(&n, 2);
  uint32_t dataAt = 2 + 12 * uint32_t(n);
  for (const auto& r : w.Note) {
    const uint16_t type = 3;
    ts.Write(&r.Tag, 2);
    ts.Write(&type, 2);
    ts.Write(&r.Size, 4);
    ts.Write(&dataAt, 4);
    dataAt += uint32_t(r.Data.size());
  }
  for (const auto& r : w.Note)
    if (!r.Data.empty()) ts.Write(r.Data.data(), int64_t(r.Data.size()));
  note.IndexEntries();
}
