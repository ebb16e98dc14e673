#pragma once
// Shared helpers of the I/O tests: test pictures, temporary files and the outside tools.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

namespace qvio {

inline bool HaveTool(const std::string& Tool) {
  return std::system(("command -v " + Tool + " >/dev/null 2>&1").c_str()) == 0;
}
inline bool HavePillow() {
  return std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
}
inline int Shell(const std::string& Cmd) { return std::system(("( " + Cmd + " ) >/dev/null 2>&1").c_str()); }

// A fresh directory for one test.
inline std::string TempDir() {
  std::string tmplPath = (std::filesystem::temp_directory_path() / "qvio_XXXXXX").string();
  char* tmpl = tmplPath.data();
  char* d = mkdtemp(tmpl);
  return d ? std::string(d) : std::string("/tmp");
}

// A TempDir removed with everything in it when it goes out of scope.
struct ScopedTempDir {
  std::string Path = TempDir();
  ~ScopedTempDir() {
    if (Path.rfind("/tmp/qvio_", 0) == 0) Shell("rm -rf '" + Path + "'");
  }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
};

inline std::vector<uint8_t> ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}
inline void WriteFile(const std::string& Path, const std::vector<uint8_t>& Data) {
  std::ofstream f(Path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}
inline void WriteText(const std::string& Path, const std::string& Text) {
  std::ofstream f(Path, std::ios::binary);
  f << Text;
}

// A 24-bit picture with gradients and a few hard edges.
inline std::unique_ptr<TQxBitmap> MakeRGB(int32_t W, int32_t H) {
  auto b = std::make_unique<TQxBitmap>(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H; ++y) {
    auto* p = reinterpret_cast<TQxRGB*>(b->Scanline(y));
    for (int32_t x = 0; x < W; ++x)
      p[x] = TQxRGB{uint8_t((x * 7 + y * 3) & 0xFF), uint8_t((y * 11) & 0xFF), uint8_t(((x ^ y) * 5) & 0xFF)};
  }
  return b;
}

// Top-down red, green, blue bytes of any bitmap (converted on a copy when needed).
inline std::vector<uint8_t> RgbOf(TQxBitmap& B) {
  TQxBitmap c;
  c.AssignFrom(&B);
  if (c.PixelFormat() != TQxPixelFormat::qx24RGB) c.SetPixelFormat(TQxPixelFormat::qx24RGB);
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(c.Width()) * c.Height() * 3);
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

// The alpha plane, top-down; 255 everywhere without an alpha channel.
inline std::vector<uint8_t> AlphaOf(TQxBitmap& B) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < B.Height(); ++y)
    for (int32_t x = 0; x < B.Width(); ++x) out.push_back(B.HasAlphaChannel() ? B.GetAlpha(x, y) : 255);
  return out;
}

// Pixels of B that differ from RGBA bytes (colour or alpha); -1 when the sizes differ.
inline int RgbaMismatches(TQxBitmap& B, const std::vector<uint8_t>& Rgba) {
  const std::vector<uint8_t> rgb = RgbOf(B), alpha = AlphaOf(B);
  if (alpha.size() * 4 != Rgba.size()) return -1;
  int bad = 0;
  for (size_t i = 0; i < alpha.size(); ++i)
    bad += rgb[3 * i] != Rgba[4 * i] || rgb[3 * i + 1] != Rgba[4 * i + 1] || rgb[3 * i + 2] != Rgba[4 * i + 2] ||
           alpha[i] != Rgba[4 * i + 3];
  return bad;
}

// Pixels as an outside reader sees them: "RGB" or "RGBA" bytes through Pillow; empty when it fails.
inline std::vector<uint8_t> PillowPixels(const std::string& Path, const std::string& Mode, int* W = nullptr,
                                         int* H = nullptr) {
  std::string out = Path + ".pil";
  std::string cmd = "/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + Path + "'); im.load(); "
                    "im=im.convert('" + Mode + "'); open('" + out + "','wb').write(im.tobytes()); "
                    "open('" + out + ".size','w').write('%d %d' % im.size)\"";
  if (Shell(cmd) != 0) return {};
  if (W && H) {
    std::ifstream s(out + ".size");
    s >> *W >> *H;
  }
  return ReadFile(out);
}

// ImageMagick's reading: raw RGB (or RGBA) bytes.
inline std::vector<uint8_t> MagickPixels(const std::string& Path, const std::string& Mode) {
  std::string out = Path + ".im";
  std::string fmt = Mode == "RGBA" ? "rgba" : "rgb";
  if (Shell("convert '" + Path + "[0]' -depth 8 " + fmt + ":'" + out + "'") != 0) return {};
  return ReadFile(out);
}

// A memory stream over a copy of Data.
inline std::unique_ptr<TMemoryStream> StreamOf(const std::vector<uint8_t>& Data) {
  auto s = std::make_unique<TMemoryStream>();
  if (!Data.empty()) s->WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  s->SetPosition(0);
  return s;
}
inline std::vector<uint8_t> BytesOf(TMemoryStream& S) {
  const auto* p = static_cast<const uint8_t*>(S.Memory());
  return std::vector<uint8_t>(p, p + S.Size());
}

// A progress record with its own abort flag.
struct TestProgress {
  std::atomic<bool> Aborting{false};
  TQxProgressInfo Info;
  TestProgress() { Info.AbortFlag = &Aborting; }
};

}  // namespace qvio
