#include "imaging/io/pnm_codec.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/cmyk.h"
#include "imaging/io/params.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

namespace {

inline bool IsAlnum(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Decimal text to an integer; -1 when it is not one. Large values saturate instead of overflowing.
int64_t ParseNumber(const std::string& t) {
  if (t.empty()) return -1;
  int64_t v = 0;
  for (char c : t) {
    if (!IsDigit(static_cast<uint8_t>(c))) return -1;
    if (v < (int64_t(1) << 40)) v = v * 10 + (c - '0');
  }
  return v;
}

// Byte reader over a read-ahead buffer; all token reading goes through it.
struct ByteReader {
  TQxBufferedReadStream s;
  explicit ByteReader(TStream& src) : s(&src, 65536, false) {}
  bool Get(uint8_t& b) { return s.ReadByte(b); }
};

void ReadToken(ByteReader& r, std::string& token) {
  token.clear();
  uint8_t c;
  for (;;) {
    if (!r.Get(c)) return;
    if (IsAlnum(c) || c == '#') break;
  }
  if (c == '#') {
    std::string text;
    while (r.Get(c) && c != '\r' && c != '\n') text.push_back(static_cast<char>(c));
    auto blank = [](char ch) { return static_cast<uint8_t>(ch) <= ' '; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    size_t i = 0;
    while (i < text.size() && blank(text[i])) ++i;
    token = "#" + text.substr(i);
    return;
  }
  token.push_back(static_cast<char>(c));
  while (r.Get(c) && IsAlnum(c)) token.push_back(static_cast<char>(c));
}

}  // namespace

void PxmReadToken(TStream& Stream, std::string& Token) {
  // Byte-exact on the caller's stream: exactly the token and the byte that ended it are consumed.
  Token.clear();
  uint8_t c;
  auto get = [&](uint8_t& b) { return Stream.Read(&b, 1) == 1; };
  for (;;) {
    if (!get(c)) return;
    if (IsAlnum(c) || c == '#') break;
  }
  if (c == '#') {
    std::string text;
    while (get(c) && c != '\r' && c != '\n') text.push_back(static_cast<char>(c));
    auto blank = [](char ch) { return static_cast<uint8_t>(ch) <= ' '; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    size_t i = 0;
    while (i < text.size() && blank(text[i])) ++i;
    Token = "#" + text.substr(i);
    return;
  }
  Token.push_back(static_cast<char>(c));
  while (get(c) && IsAlnum(c)) Token.push_back(static_cast<char>(c));
}

bool IsPxmStream(TStream& Stream) {
  int64_t p = Stream.Position();
  int64_t width = -1, height = -1;
  try {
    ByteReader r(Stream);
    std::string t, magic;
    int stage = 0;
    for (int n = 0; n < 501; ++n) {
      ReadToken(r, t);
      if (!t.empty() && t[0] == '#') continue;
      if (stage == 0) {
        if (t.empty()) break;
        magic = t;
        if (magic != "P1" && magic != "P2" && magic != "P3" && magic != "P4" && magic != "P5" && magic != "P6") break;
        stage = 1;
      } else if (stage == 1) {
        width = ParseNumber(t);
        stage = 2;
      } else if (stage == 2) {
        height = ParseNumber(t);
        break;
      }
    }
  } catch (...) {
    width = height = -1;
  }
  Stream.SetPosition(p);
  return width > 0 && height > 0;
}

void ReadPxmStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TQxProgressInfo& Progress) {
  ByteReader r(Stream);
  // Leaves the caller's stream right after what was consumed.
  struct Sync {
    TStream& s;
    ByteReader& r;
    ~Sync() {
      try {
        s.SetPosition(r.s.Position());
      } catch (...) {
      }
    }
  } sync{Stream, r};
  Params.PxmComments.clear();
  std::string t, magic;
  int64_t width = -1, height = -1, maxval = -1;
  int stage = 0;
  const int64_t size = r.s.Size();
  while (r.s.Position() < size) {
    ReadToken(r, t);
    if (t.empty()) break;
    if (t[0] == '#') {
      Params.PxmComments.push_back(t.substr(1));
      continue;
    }
    if (stage == 0) {
      magic = t;
      if (magic == "P1" || magic == "P4") maxval = 1;
      stage = 1;
    } else if (stage == 1) {
      width = ParseNumber(t);
      stage = 2;
    } else if (stage == 2) {
      height = ParseNumber(t);
      stage = 3;
      if (maxval >= 0) break;
    } else {
      maxval = ParseNumber(t);
      break;
    }
  }
  // Sizes must fit the bitmap model's 32-bit dimensions.
  if (width < 1 || height < 1 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
    Progress.Abort();
    return;
  }
  const int32_t W = static_cast<int32_t>(width), H = static_cast<int32_t>(height);
  Params.FreeColorMap();
  Params.SetImageCount(1);
  Params.Width = Params.OriginalWidth = W;
  Params.Height = Params.OriginalHeight = H;
  Params.SetDpiX(QxDefaultDpiX);
  Params.SetDpiY(QxDefaultDpiY);
  Progress.Factor = 100.0 / H;
  Progress.Counter = 0;
  enum { V1, V2, V3, V4, V5_8, V5_16, V6_8, V6_16 } v;
  // A maxval of 0 (or a header cut before it) would divide by zero: refused.
  if (magic == "P1")
    v = V1;
  else if (magic == "P2" && maxval >= 1 && maxval <= 65535)
    v = V2;
  else if (magic == "P3" && maxval >= 1 && maxval <= 65535)
    v = V3;
  else if (magic == "P4")
    v = V4;
  else if (magic == "P5" && maxval >= 1 && maxval < 256)
    v = V5_8;
  else if (magic == "P5" && maxval >= 256 && maxval <= 65535)
    v = V5_16;
  else if (magic == "P6" && maxval >= 1 && maxval < 256)
    v = V6_8;
  else if (magic == "P6" && maxval >= 256 && maxval <= 65535)
    v = V6_16;
  else {
    Progress.Abort();
    return;
  }
  const bool native = Params.NativePixelFormat != 0;
  TQxPixelFormat fmt = TQxPixelFormat::qx24RGB;
  switch (v) {
    case V1:
    case V4: Params.BitsPerSample = 1; Params.SamplesPerPixel = 1; fmt = TQxPixelFormat::qx1g; break;
    case V2:
    case V5_8: Params.BitsPerSample = 8; Params.SamplesPerPixel = 1; break;
    case V3:
    case V6_8: Params.BitsPerSample = 8; Params.SamplesPerPixel = 3; break;
    case V5_16:
      Params.BitsPerSample = 16;
      Params.SamplesPerPixel = 1;
      if (native) fmt = TQxPixelFormat::qx16g;
      break;
    case V6_16:
      Params.BitsPerSample = 16;
      Params.SamplesPerPixel = 3;
      if (native) fmt = TQxPixelFormat::qxRGB48;
      break;
  }
  if (ParamsOnly) return;
  // Every pixel takes at least one byte of text or its share of the raster: refuse what the data cannot fill.
  {
    const int64_t remaining = std::max<int64_t>(0, r.s.Size() - r.s.Position());
    // In floating point: width and height may each be near 2^31.
    const double wh = static_cast<double>(width) * static_cast<double>(height);
    double need = wh;
    switch (v) {
      case V3:
      case V6_8: need = wh * 3; break;
      case V4: need = static_cast<double>((width + 7) / 8) * static_cast<double>(height); break;
      case V5_16: need = wh * 2; break;
      case V6_16: need = wh * 6; break;
      default: break;
    }
    if (need > static_cast<double>(remaining) + 1 || !QxPictureFits(Params, width, height, -1, -1)) {
      Progress.Abort();
      return;
    }
  }
  bool ok = false;
  try {
    ok = Bitmap.Allocate(W, H, fmt);
  } catch (...) {
    ok = false;
  }
  if (!ok) {
    Progress.Abort();
    return;
  }
  const double mv = static_cast<double>(maxval);
  auto report = [&]() {
    ++Progress.Counter;
    if (Progress.Assigned()) Progress.Report(static_cast<int32_t>(Trunc(Progress.Counter * Progress.Factor)));
  };
  bool truncated = false;
  auto textValue = [&]() -> int64_t {
    ReadToken(r, t);
    while (!t.empty() && t[0] == '#') ReadToken(r, t);
    if (t.empty()) {
      truncated = true;
      return 0;
    }
    int64_t n = ParseNumber(t);
    return n < 0 ? 0 : n;
  };
  auto scale8 = [&](int64_t val) -> uint8_t {
    return static_cast<uint8_t>(std::clamp<int64_t>(Trunc(static_cast<double>(val) / mv * 255.0), 0, 255));
  };
  const size_t w = static_cast<size_t>(W);
  std::vector<uint8_t> buf;
  switch (v) {
    case V1: {
      for (int32_t y = 0; y < H && !truncated; ++y) {
        uint8_t* row = Bitmap.Scanline(y);
        size_t x = 0;
        while (x < w) {
          uint8_t c;
          if (!r.Get(c)) {
            truncated = true;
            break;
          }
          if (c == '0' || c == '1') {
            // PBM 1 is black; qx1g 1 is white.
            if (c == '0')
              row[x >> 3] = uint8_t(row[x >> 3] | (0x80 >> (x & 7)));
            else
              row[x >> 3] = uint8_t(row[x >> 3] & ~(0x80 >> (x & 7)));
            ++x;
          }
        }
        if (y < H - 1) report();
      }
      break;
    }
    case V2:
    case V3: {
      for (int32_t y = 0; y < H; ++y) {
        auto* px = reinterpret_cast<TQxRGB*>(Bitmap.Scanline(y));
        for (size_t x = 0; x < w && !truncated; ++x) {
          if (v == V2) {
            uint8_t g = scale8(textValue());
            px[x] = TQxRGB{g, g, g};
          } else {
            uint8_t rr = scale8(textValue()), gg = scale8(textValue()), bb = scale8(textValue());
            px[x] = TQxRGB{bb, gg, rr};
          }
        }
        report();
        if (truncated) break;
      }
      break;
    }
    case V4: {
      const int64_t bytes = (width + 7) / 8;
      for (int32_t y = 0; y < H; ++y) {
        if (r.s.Read(Bitmap.Scanline(y), bytes) != bytes) {
          truncated = true;
          break;
        }
        report();
      }
      for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = Bitmap.Scanline(y);
        for (int64_t i = 0; i < bytes; ++i) row[i] = uint8_t(~row[i]);
      }
      break;
    }
    case V5_8: {
      buf.resize(w);
      for (int32_t y = 0; y < H; ++y) {
        if (r.s.Read(buf.data(), static_cast<int64_t>(w)) != static_cast<int64_t>(w)) {
          truncated = true;
          break;
        }
        auto* px = reinterpret_cast<TQxRGB*>(Bitmap.Scanline(y));
        for (size_t x = 0; x < w; ++x) {
          uint8_t g = maxval == 255 ? buf[x] : scale8(buf[x]);
          px[x] = TQxRGB{g, g, g};
        }
        report();
      }
      break;
    }
    case V5_16: {
      buf.resize(w * 2);
      for (int32_t y = 0; y < H; ++y) {
        if (r.s.Read(buf.data(), static_cast<int64_t>(w * 2)) != static_cast<int64_t>(w * 2)) {
          truncated = true;
          break;
        }
        uint8_t* row = Bitmap.Scanline(y);
        for (size_t x = 0; x < w; ++x) {
          const uint32_t val = (uint32_t(buf[x * 2]) << 8) | buf[x * 2 + 1];
          if (native) {
            uint16_t s = static_cast<uint16_t>(std::min<int64_t>(65535, Trunc(val / mv * 65535.0)));
            row[x * 2] = uint8_t(s & 0xFF);
            row[x * 2 + 1] = uint8_t(s >> 8);
          } else {
            uint8_t g = scale8(val);
            reinterpret_cast<TQxRGB*>(row)[x] = TQxRGB{g, g, g};
          }
        }
        report();
      }
      break;
    }
    case V6_8: {
      for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = Bitmap.Scanline(y);
        if (r.s.Read(row, static_cast<int64_t>(w * 3)) != static_cast<int64_t>(w * 3)) {
          truncated = true;
          break;
        }
        for (size_t x = 0; x < w; ++x) std::swap(row[x * 3], row[x * 3 + 2]);
        report();
      }
      break;
    }
    case V6_16: {
      buf.resize(w * 6);
      for (int32_t y = 0; y < H; ++y) {
        if (r.s.Read(buf.data(), static_cast<int64_t>(w * 6)) != static_cast<int64_t>(w * 6)) {
          truncated = true;
          break;
        }
        uint8_t* row = Bitmap.Scanline(y);
        for (size_t x = 0; x < w; ++x) {
          const uint8_t* s = buf.data() + x * 6;
          if (native) {
            // Red, green, blue words, little-endian in the bitmap.
            for (int c = 0; c < 3; ++c) {
              row[x * 6 + c * 2] = s[c * 2 + 1];
              row[x * 6 + c * 2 + 1] = s[c * 2];
            }
          } else {
            row[x * 3] = s[4];
            row[x * 3 + 1] = s[2];
            row[x * 3 + 2] = s[0];
          }
        }
        report();
      }
      break;
    }
  }
  if (truncated) Progress.Abort();
}

void WritePxmStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress) {
  std::atomic<bool>* ab = Progress.AbortFlag;
  std::atomic<bool> localAbort{false};
  if (!ab) ab = &localAbort;
  const int32_t w = Bitmap.Width(), h = Bitmap.Height();
  Progress.Factor = h > 0 ? 100.0 / h : 0;
  Progress.Counter = 0;
  std::string comments;
  for (const auto& c : Params.PxmComments) comments += "\n# " + c + "\n";
  const TQxPixelFormat f = Bitmap.PixelFormat();
  auto header = [&](const char* magic, bool withMax, const char* maxText) {
    std::string s = std::string(magic) + " " + comments + std::to_string(w) + " " + std::to_string(h);
    if (withMax) s += maxText;
    s += "\n";
    QxWriteChecked(&Stream, ab, s.data(), static_cast<int64_t>(s.size()));
  };
  auto report = [&]() {
    ++Progress.Counter;
    if (Progress.Assigned()) Progress.Report(static_cast<int32_t>(Trunc(Progress.Counter * Progress.Factor)));
  };
  std::vector<uint8_t> buf;
  // A bitmap the chosen variant cannot take row by row is converted on a copy.
  auto converted = [&](TQxPixelFormat to) {
    auto c = std::make_unique<TQxBitmap>();
    c->AssignFrom(&Bitmap);
    c->SetPixelFormat(to);
    return c;
  };
  if ((Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1) || f == TQxPixelFormat::qx1g) {
    std::unique_ptr<TQxBitmap> c;
    TQxBitmap* s = &Bitmap;
    if (f != TQxPixelFormat::qx1g) {
      c = converted(TQxPixelFormat::qx1g);
      s = c.get();
    }
    header("P4", false, "");
    const size_t bytes = (static_cast<size_t>(w) + 7) / 8;
    buf.resize(bytes);
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* row = s->Scanline(y);
      for (size_t i = 0; i < bytes; ++i) buf[i] = uint8_t(~row[i]);
      QxWriteChecked(&Stream, ab, buf.data(), static_cast<int64_t>(bytes));
      report();
    }
  } else if (Params.BitsPerSample == 8 && Params.SamplesPerPixel == 1) {
    std::unique_ptr<TQxBitmap> c;
    TQxBitmap* s = &Bitmap;
    if (f != TQxPixelFormat::qx24RGB) {
      c = converted(TQxPixelFormat::qx24RGB);
      s = c.get();
    }
    header("P5", true, " 255");
    buf.resize(static_cast<size_t>(w));
    for (int32_t y = 0; y < h; ++y) {
      QxConvertColorRow(s->Scanline(y), TQxColorLayout::qxclBGR, buf.data(), TQxColorLayout::qxclGray, w, &Params);
      QxWriteChecked(&Stream, ab, buf.data(), w);
      report();
    }
  } else if (Params.BitsPerSample == 16 && Params.SamplesPerPixel == 3 && f == TQxPixelFormat::qx24RGB) {
    header("P6", true, " 65535");
    buf.resize(static_cast<size_t>(w) * 6);
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* row = Bitmap.Scanline(y);
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t rgb[3] = {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
        for (int c = 0; c < 3; ++c) {
          uint32_t v = rgb[c] * 257u;
          buf[x * 6 + c * 2] = uint8_t(v >> 8);
          buf[x * 6 + c * 2 + 1] = uint8_t(v & 0xFF);
        }
      }
      QxWriteChecked(&Stream, ab, buf.data(), static_cast<int64_t>(buf.size()));
      report();
    }
  } else if (f == TQxPixelFormat::qxRGB48) {
    header("P6", true, " 65535");
    buf.resize(static_cast<size_t>(w) * 6);
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* row = Bitmap.Scanline(y);
      for (int32_t x = 0; x < w * 3; ++x) {
        buf[x * 2] = row[x * 2 + 1];
        buf[x * 2 + 1] = row[x * 2];
      }
      QxWriteChecked(&Stream, ab, buf.data(), static_cast<int64_t>(buf.size()));
      report();
    }
  } else if ((Params.BitsPerSample == 8 && Params.SamplesPerPixel == 3) || f == TQxPixelFormat::qx24RGB) {
    std::unique_ptr<TQxBitmap> c;
    TQxBitmap* s = &Bitmap;
    if (f != TQxPixelFormat::qx24RGB) {
      c = converted(TQxPixelFormat::qx24RGB);
      s = c.get();
    }
    header("P6", true, " 255");
    buf.resize(static_cast<size_t>(w) * 3);
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* row = s->Scanline(y);
      for (int32_t x = 0; x < w; ++x) {
        buf[x * 3] = row[x * 3 + 2];
        buf[x * 3 + 1] = row[x * 3 + 1];
        buf[x * 3 + 2] = row[x * 3];
      }
      QxWriteChecked(&Stream, ab, buf.data(), static_cast<int64_t>(buf.size()));
      report();
    }
  }
}

int32_t WbmpReadMultiByteInt(TStream& Stream) {
  int32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    uint8_t b;
    if (Stream.Read(&b, 1) != 1) return -1;
    value = value * 128 + (b & 0x7F);
    if (!(b & 0x80)) break;
  }
  return value;
}

void ReadWbmpStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                    TQxProgressInfo& Progress) {
  int32_t type = WbmpReadMultiByteInt(Stream);
  int32_t fix = WbmpReadMultiByteInt(Stream);
  int32_t width = WbmpReadMultiByteInt(Stream);
  int32_t height = WbmpReadMultiByteInt(Stream);
  if (type != 0 || fix != 0 || width <= 0 || height <= 0) {
    Progress.Abort();
    return;
  }
  Params.BitsPerSample = 1;
  Params.SamplesPerPixel = 1;
  Params.SetImageCount(1);
  Params.Width = Params.OriginalWidth = width;
  Params.Height = Params.OriginalHeight = height;
  Params.SetDpiX(QxDefaultDpiX);
  Params.SetDpiY(QxDefaultDpiY);
  Params.FreeColorMap();
  if (ParamsOnly) return;
  Progress.Factor = 100.0 / height;
  // A file cannot hold more rows than its size allows: refuse before allocating.
  const int64_t bytes = (static_cast<int64_t>(width) + 7) / 8;
  if (bytes * height > Stream.Size() - Stream.Position() || !QxPictureFits(Params, width, height, -1, -1)) {
    Progress.Abort();
    return;
  }
  if (!Bitmap.Allocate(width, height, TQxPixelFormat::qx1g)) {
    Progress.Abort();
    return;
  }
  for (int32_t r = 0; r < height; ++r) {
    if (Stream.Read(Bitmap.Scanline(r), bytes) != bytes) {
      Progress.Abort();
      break;
    }
    if (Progress.Assigned()) Progress.Report(static_cast<int32_t>(Trunc(r * Progress.Factor)));
  }
}

void WriteWbmpStream(TStream& Stream, TQxBitmap& Bitmap, TQxProgressInfo& Progress) {
  std::unique_ptr<TQxBitmap> temp;
  TQxBitmap* b = &Bitmap;
  int32_t w = Bitmap.Width(), h = Bitmap.Height();
  if (Bitmap.PixelFormat() != TQxPixelFormat::qx1g || w > 255 || h > 255) {
    temp = std::make_unique<TQxBitmap>();
    temp->AssignFrom(&Bitmap);
    if (temp->PixelFormat() != TQxPixelFormat::qx1g) temp->SetPixelFormat(TQxPixelFormat::qx1g);
    b = temp.get();
  }
  if (w > 255 || h > 255) {
    // The format's writers keep at most 255 pixels a side: the top-left part, cut not scaled.
    int32_t nw, nh;
    if (w > h) {
      nw = 255;
      nh = static_cast<int32_t>(Trunc(static_cast<double>(h) * 255 / w));
    } else {
      nw = static_cast<int32_t>(Trunc(static_cast<double>(w) * 255 / h));
      nh = 255;
    }
    nw = std::max(nw, 1);
    nh = std::max(nh, 1);
    b->ResizeCanvas(nw, nh, 0, 255, 0, 0);
    w = b->Width();
    h = b->Height();
  }
  auto putInt = [&](int32_t v) {
    uint8_t out[5];
    int n = 0;
    uint8_t tmp[5];
    do {
      tmp[n++] = uint8_t(v & 0x7F);
      v >>= 7;
    } while (v > 0 && n < 5);
    for (int i = 0; i < n; ++i) out[i] = uint8_t(tmp[n - 1 - i] | (i < n - 1 ? 0x80 : 0));
    Stream.Write(out, n);
  };
  uint8_t zero[2] = {0, 0};
  Stream.Write(zero, 2);
  putInt(w);
  putInt(h);
  Progress.Factor = h > 0 ? 100.0 / h : 0;
  const int64_t bytes = (static_cast<int64_t>(w) + 7) / 8;
  for (int32_t r = 0; r < h; ++r) {
    Stream.Write(b->Scanline(r), bytes);
    if (Progress.Assigned()) Progress.Report(static_cast<int32_t>(Trunc(r * Progress.Factor)));
  }
}
