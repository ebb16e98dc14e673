#pragma once
// Shared helpers of the TIFF tests: a small builder of hand-made files, reading and writing through the
// codec, pixel dumps and the outside tools.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/ccitt.h"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/tiff.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

namespace qvtiff {

// Registers the coders once, before any parameter object copies the LZW hooks.
inline void RegisterCoders() {
  static bool done = [] {
    QxRegisterLzwCoders();
    QxRegisterCCITTCoders();
    QxRegisterTiffCodec();
    return true;
  }();
  (void)done;
}

// A TIFF file put together tag by tag. Values are given as numbers and laid out in the file's order.
class TiffBuilder {
 public:
  explicit TiffBuilder(bool BigEndian = false) : BE(BigEndian) { Data.assign(8, 0); }

  bool BE;
  std::vector<uint8_t> Data;

  struct Tag {
    uint16_t Id, Type;
    uint32_t Count;
    std::vector<uint8_t> Bytes;
  };
  std::vector<std::vector<Tag>> Pages{{}};

  void NewPage() { Pages.emplace_back(); }
  std::vector<Tag>& Page() { return Pages.back(); }

  void Put16(std::vector<uint8_t>& v, uint32_t x) const {
    if (BE) {
      v.push_back(uint8_t(x >> 8));
      v.push_back(uint8_t(x));
    } else {
      v.push_back(uint8_t(x));
      v.push_back(uint8_t(x >> 8));
    }
  }
  void Put32(std::vector<uint8_t>& v, uint32_t x) const {
    if (BE)
      for (int i = 3; i >= 0; --i) v.push_back(uint8_t(x >> (8 * i)));
    else
      for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
  }
  void Set32(size_t At, uint32_t x) {
    std::vector<uint8_t> b;
    Put32(b, x);
    for (int i = 0; i < 4; ++i) Data[At + i] = b[i];
  }

  // Appends raw bytes at an even position; returns their offset.
  uint32_t Blob(const std::vector<uint8_t>& B) {
    if (Data.size() & 1) Data.push_back(0);
    const uint32_t at = uint32_t(Data.size());
    Data.insert(Data.end(), B.begin(), B.end());
    return at;
  }

  // A tag given again replaces the earlier one.
  void Raw(uint16_t Id, uint16_t Type, uint32_t Count, std::vector<uint8_t> Bytes) {
    for (auto& t : Page())
      if (t.Id == Id) {
        t = {Id, Type, Count, std::move(Bytes)};
        return;
      }
    Page().push_back({Id, Type, Count, std::move(Bytes)});
  }
  void Short(uint16_t Id, std::vector<uint32_t> V) {
    std::vector<uint8_t> b;
    for (uint32_t x : V) Put16(b, x);
    Raw(Id, 3, uint32_t(V.size()), b);
  }
  void Long(uint16_t Id, std::vector<uint32_t> V) {
    std::vector<uint8_t> b;
    for (uint32_t x : V) Put32(b, x);
    Raw(Id, 4, uint32_t(V.size()), b);
  }
  void Rational(uint16_t Id, std::vector<std::pair<uint32_t, uint32_t>> V) {
    std::vector<uint8_t> b;
    for (auto [n, d] : V) {
      Put32(b, n);
      Put32(b, d);
    }
    Raw(Id, 5, uint32_t(V.size()), b);
  }
  void Ascii(uint16_t Id, const std::string& S, bool WithNul = true) {
    std::vector<uint8_t> b(S.begin(), S.end());
    if (WithNul) b.push_back(0);
    Raw(Id, 2, uint32_t(b.size()), b);
  }

  // A one-strip page of the given stored bytes.
  void Image(uint32_t W, uint32_t H, uint32_t Bits, uint32_t Samples, uint32_t Photometric,
             const std::vector<uint8_t>& Strip, uint32_t Compression = 1) {
    Long(256, {W});
    Long(257, {H});
    std::vector<uint32_t> bits(Samples, Bits);
    Short(258, bits);
    Short(259, {Compression});
    Short(262, {Photometric});
    Short(277, {Samples});
    Long(278, {H});
    Long(273, {Blob(Strip)});
    Long(279, {uint32_t(Strip.size())});
  }

  std::vector<uint8_t> Build() {
    Data[0] = Data[1] = BE ? 'M' : 'I';
    {
      std::vector<uint8_t> v;
      Put16(v, 42);
      Data[2] = v[0];
      Data[3] = v[1];
    }
    size_t link = 4;
    for (auto& page : Pages) {
      std::sort(page.begin(), page.end(), [](const Tag& a, const Tag& b) { return a.Id < b.Id; });
      std::vector<uint32_t> values;
      for (auto& t : page) {
        if (t.Bytes.size() <= 4) {
          std::vector<uint8_t> v = t.Bytes;
          v.resize(4, 0);
          values.push_back(BE ? (uint32_t(v[0]) << 24 | uint32_t(v[1]) << 16 | uint32_t(v[2]) << 8 | v[3])
                              : (uint32_t(v[3]) << 24 | uint32_t(v[2]) << 16 | uint32_t(v[1]) << 8 | v[0]));
        } else {
          values.push_back(Blob(t.Bytes));
        }
      }
      if (Data.size() & 1) Data.push_back(0);
      const uint32_t at = uint32_t(Data.size());
      Set32(link, at);
      std::vector<uint8_t> d;
      Put16(d, uint32_t(page.size()));
      for (size_t i = 0; i < page.size(); ++i) {
        Put16(d, page[i].Id);
        Put16(d, page[i].Type);
        Put32(d, page[i].Count);
        if (page[i].Bytes.size() <= 4) {
          std::vector<uint8_t> v = page[i].Bytes;
          v.resize(4, 0);
          d.insert(d.end(), v.begin(), v.end());
        } else {
          Put32(d, values[i]);
        }
      }
      Put32(d, 0);
      Data.insert(Data.end(), d.begin(), d.end());
      link = at + 2 + 12 * page.size();
    }
    return Data;
  }
};

inline std::unique_ptr<TMemoryStream> StreamOf(const std::vector<uint8_t>& Data) {
  auto s = std::make_unique<TMemoryStream>();
  if (!Data.empty()) s->WriteBuffer(Data.data(), int64_t(Data.size()));
  s->SetPosition(0);
  return s;
}
inline std::vector<uint8_t> BytesOf(TMemoryStream& S) {
  const auto* p = static_cast<const uint8_t*>(S.Memory());
  return std::vector<uint8_t>(p, p + S.Size());
}

// One read through ReadTiffStream with its results.
struct ReadResult {
  std::unique_ptr<TQxBitmap> Bitmap = std::make_unique<TQxBitmap>();
  std::unique_ptr<TQxMask> Mask;
  std::unique_ptr<TIOParamsVals> Params;
  int32_t Pages = 0;
  bool Aborted = false;
};

struct ReadOptions {
  int32_t Page = 0;
  bool Native = false;
  bool IgnoreAlpha = false;
  bool ParamsOnly = false;
  int32_t TileIndex = -1;
  int32_t SubIndex = -1;
};

inline ReadResult ReadTiff(const std::vector<uint8_t>& Data, ReadOptions O = {}) {
  RegisterCoders();
  ReadResult r;
  r.Params = std::make_unique<TIOParamsVals>();
  r.Params->TiffImageIndex = O.Page;
  r.Params->NativePixelFormat = O.Native ? 1 : 0;
  r.Params->TiffTileIndex = O.TileIndex;
  r.Params->TiffSubImageIndex = O.SubIndex;
  auto s = StreamOf(Data);
  std::atomic<bool> flag{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &flag;
  TQxMask* mask = nullptr;
  ReadTiffStream(r.Bitmap.get(), s.get(), r.Pages, *r.Params, pr, O.ParamsOnly, mask, true, O.IgnoreAlpha, false);
  r.Mask.reset(mask);
  r.Aborted = flag;
  return r;
}

// Top-down R, G, B bytes of any bitmap (converted on a copy).
inline std::vector<uint8_t> RgbOf(TQxBitmap& B) {
  TQxBitmap c;
  c.AssignFrom(&B);
  if (c.PixelFormat() != TQxPixelFormat::qx24RGB) c.SetPixelFormat(TQxPixelFormat::qx24RGB);
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < c.Height(); ++y) {
    auto* p = reinterpret_cast<const TQxRGB*>(c.Scanline(y));
    for (int32_t x = 0; x < c.Width(); ++x) {
      out.push_back(p[x].r);
      out.push_back(p[x].g);
      out.push_back(p[x].b);
    }
  }
  return out;
}

inline std::vector<uint8_t> MaskOf(TQxMask& M) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < M.Height(); ++y)
    for (int32_t x = 0; x < M.Width(); ++x) out.push_back(M.Scanline(y)[x]);
  return out;
}

// A picture with gradients and hard edges.
inline std::unique_ptr<TQxBitmap> MakeRGB(int32_t W, int32_t H) {
  auto b = std::make_unique<TQxBitmap>(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H; ++y) {
    auto* p = reinterpret_cast<TQxRGB*>(b->Scanline(y));
    for (int32_t x = 0; x < W; ++x)
      p[x] = TQxRGB{uint8_t((x * 7 + y * 3) & 0xFF), uint8_t((y * 11) & 0xFF), uint8_t(((x ^ y) * 5) & 0xFF)};
  }
  return b;
}

inline std::vector<uint8_t> WriteTiff(TQxBitmap* B, TIOParamsVals& P, bool* Aborted = nullptr) {
  RegisterCoders();
  TMemoryStream s;
  std::atomic<bool> flag{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &flag;
  WriteTiffStream(&s, 0, B, P, pr);
  if (Aborted) *Aborted = flag;
  return BytesOf(s);
}

// ---- outside tools ----
inline bool HaveTool(const std::string& Tool) {
  return std::system(("command -v " + Tool + " >/dev/null 2>&1").c_str()) == 0;
}
inline int Shell(const std::string& Cmd) { return std::system(("( " + Cmd + " ) >/dev/null 2>&1").c_str()); }
inline std::string TempDir() {
  std::string tmplPath = (std::filesystem::temp_directory_path() / "qvtiff_XXXXXX").string();
  char* tmpl = tmplPath.data();
  char* d = mkdtemp(tmpl);
  return d ? std::string(d) : std::string("/tmp");
}
inline std::vector<uint8_t> ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}
inline void WriteFile(const std::string& Path, const std::vector<uint8_t>& Data) {
  std::ofstream f(Path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
}
inline std::string ReadText(const std::string& Path) {
  std::ifstream f(Path);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}
// ImageMagick's pixels of a file: raw "rgb", "rgba" or "gray" bytes, 8 bits.
inline std::vector<uint8_t> MagickPixels(const std::string& Path, const std::string& Fmt) {
  const std::string out = Path + "." + Fmt;
  if (Shell("convert '" + Path + "[0]' -depth 8 " + Fmt + ":'" + out + "'") != 0) return {};
  return ReadFile(out);
}

}  // namespace qvtiff
