#pragma once
// Helpers of the JPEG, PostScript and PDF tests: outside tools, PNM files, pattern pictures, decoding.

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

namespace jt {

inline bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool HavePillow() {
  return std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
}

inline int Shell(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

// A fresh directory removed with its files when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string tmplPath = (std::filesystem::temp_directory_path() / "qvjpegXXXXXX").string();
    char* tmpl = tmplPath.data();
    FPath = mkdtemp(tmpl);
  }
  ~TempDir() { std::system(("rm -rf '" + FPath + "'").c_str()); }
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

// A decoded picture as interleaved samples, top row first (RGB order for colour).
struct Image {
  int w = 0, h = 0, channels = 0;
  std::vector<uint8_t> px;
  uint8_t at(int x, int y, int c) const { return px[(size_t(y) * w + x) * channels + c]; }
};

// Reads a binary PGM or PPM (P5/P6, maxval 255), comment lines allowed in the header.
inline Image ReadPnm(const std::string& path) {
  Image img;
  auto data = ReadFile(path);
  size_t p = 0;
  auto token = [&]() {
    std::string t;
    while (p < data.size()) {
      if (data[p] == '#') {
        while (p < data.size() && data[p] != '\n') ++p;
      } else if (std::isspace(data[p])) {
        ++p;
      } else {
        break;
      }
    }
    while (p < data.size() && !std::isspace(data[p])) t += char(data[p++]);
    return t;
  };
  const std::string magic = token();
  if (magic != "P5" && magic != "P6") return Image{};
  img.w = std::atoi(token().c_str());
  img.h = std::atoi(token().c_str());
  if (std::atoi(token().c_str()) != 255) return Image{};
  img.channels = magic == "P5" ? 1 : 3;
  const size_t start = p + 1;
  const size_t n = size_t(img.w) * img.h * img.channels;
  if (data.size() < start + n) return Image{};
  img.px.assign(data.begin() + start, data.begin() + start + n);
  return img;
}

inline void WritePpm(const std::string& path, const Image& img) {
  std::ofstream f(path, std::ios::binary);
  f << (img.channels == 1 ? "P5\n" : "P6\n") << img.w << " " << img.h << "\n255\n";
  f.write(reinterpret_cast<const char*>(img.px.data()), std::streamsize(img.px.size()));
}

// The picture held by a bitmap (qx24RGB as RGB, qx8g as gray).
inline Image FromBitmap(TQxBitmap& b) {
  Image img;
  img.w = b.Width();
  img.h = b.Height();
  img.channels = b.PixelFormat() == TQxPixelFormat::qx8g ? 1 : 3;
  img.px.resize(size_t(img.w) * img.h * img.channels);
  for (int y = 0; y < img.h; ++y) {
    const uint8_t* row = b.Scanline(y);
    for (int x = 0; x < img.w; ++x)
      for (int c = 0; c < img.channels; ++c)
        img.px[(size_t(y) * img.w + x) * img.channels + c] = img.channels == 1 ? row[x] : row[3 * x + 2 - c];
  }
  return img;
}

inline std::unique_ptr<TQxBitmap> ToBitmap(const Image& img) {
  auto b = std::make_unique<TQxBitmap>(img.w, img.h, TQxPixelFormat::qx24RGB);
  for (int y = 0; y < img.h; ++y) {
    uint8_t* row = b->Scanline(y);
    for (int x = 0; x < img.w; ++x)
      for (int c = 0; c < 3; ++c) row[3 * x + 2 - c] = img.at(x, y, img.channels == 1 ? 0 : c);
  }
  return b;
}

// Gradients, a diagonal edge and a few solid blocks: detail in every corner so turns and flips show.
inline Image Pattern(int w, int h) {
  Image img{w, h, 3, std::vector<uint8_t>(size_t(w) * h * 3)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &img.px[(size_t(y) * w + x) * 3];
      p[0] = uint8_t(x * 255 / std::max(1, w - 1));
      p[1] = uint8_t(y * 255 / std::max(1, h - 1));
      p[2] = uint8_t(x + y < (w + h) / 2 ? 40 : 220);
      if (x < w / 4 && y < h / 4) p[0] = p[1] = p[2] = 250;  // white block top-left
      if (x >= w * 3 / 4 && y >= h / 2 && y < h * 3 / 4) p[0] = 10, p[1] = 20, p[2] = 200;
    }
  return img;
}

// Largest difference of any sample.
inline int MaxDiff(const Image& a, const Image& b) {
  if (a.w != b.w || a.h != b.h || a.channels != b.channels) return 1000;
  int d = 0;
  for (size_t i = 0; i < a.px.size(); ++i) d = std::max(d, std::abs(int(a.px[i]) - int(b.px[i])));
  return d;
}

inline double MeanDiff(const Image& a, const Image& b) {
  if (a.w != b.w || a.h != b.h || a.channels != b.channels) return 1000;
  double s = 0;
  for (size_t i = 0; i < a.px.size(); ++i) s += std::abs(int(a.px[i]) - int(b.px[i]));
  return a.px.empty() ? 0 : s / double(a.px.size());
}

struct Decoded {
  std::unique_ptr<TQxBitmap> Bitmap = std::make_unique<TQxBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>();
  std::atomic<bool> Aborting{false};
  int32_t Rows = 0;
};

// Decodes a file as the I/O component's load does; Setup may change the parameters first.
template <class F>
std::unique_ptr<Decoded> Decode(const std::string& path, F&& Setup, bool NativeFormat = false,
                                bool ParamsOnly = false) {
  auto d = std::make_unique<Decoded>();
  Setup(*d->Params);
  TFileStream s(path, fmOpenRead);
  TQxProgressInfo progress;
  progress.AbortFlag = &d->Aborting;
  d->Rows = ReadJpegStream(&s, nullptr, d->Bitmap.get(), *d->Params, progress, ParamsOnly, false, true, false,
                           true, true, -1, NativeFormat);
  return d;
}

inline std::unique_ptr<Decoded> Decode(const std::string& path) {
  return Decode(path, [](TIOParamsVals&) {});
}

// Saves as the I/O component's JPEG save does: markers rebuilt, then encoded.
template <class F>
bool Encode(const std::string& path, TQxBitmap* b, F&& Setup, TIOParamsVals* params = nullptr) {
  TIOParamsVals own;
  TIOParamsVals& p = params ? *params : own;
  Setup(p);
  std::atomic<bool> aborting{false};
  TQxProgressInfo progress;
  progress.AbortFlag = &aborting;
  TFileStream s(path, fmCreate);
  QxPrepareJpegMarkers(p);
  WriteJpegStream(&s, b, p, progress);
  return !aborting;
}

// Inserts a segment right after the start-of-image marker.
inline void InsertSegment(std::vector<uint8_t>& jpeg, uint8_t code, const std::vector<uint8_t>& body,
                          size_t at = 2) {
  std::vector<uint8_t> seg = {0xFF, code, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)};
  seg.insert(seg.end(), body.begin(), body.end());
  jpeg.insert(jpeg.begin() + at, seg.begin(), seg.end());
}

// Codes of the segments before the first start-of-scan.
inline std::vector<uint8_t> SegmentCodes(const std::vector<uint8_t>& j) {
  std::vector<uint8_t> out;
  size_t p = 2;
  while (p + 4 <= j.size() && j[p] == 0xFF && j[p + 1] != 0xDA) {
    out.push_back(j[p + 1]);
    p += 2 + (size_t(j[p + 2]) << 8 | j[p + 3]);
  }
  return out;
}

// A minimal little-endian TIFF structure with an orientation tag, as an EXIF APP1 body.
inline std::vector<uint8_t> ExifBody(int orientation) {
  return {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0,
          uint8_t(orientation), 0, 0, 0, 0, 0, 0, 0};
}

}  // namespace jt
