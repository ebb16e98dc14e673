// Fixtures shared by the processing tests: patterned pictures, pixel dumps and Pillow as an independent
// reference.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "imaging/foundation/bitmap.h"

namespace proctest {

// Bytes of each row up to the last pixel (fill bytes left out), top row first.
inline std::vector<uint8_t> Pixels(TQxBitmap* B) {
  const int32_t w = B->Width(), h = B->Height();
  const size_t len = (size_t(w) * B->BitCount() + 7) / 8;
  std::vector<uint8_t> out;
  out.reserve(len * h);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* r = B->Scanline(y);
    out.insert(out.end(), r, r + len);
  }
  // A 1-bit row's last byte may hold bits beyond the last pixel; they mean nothing.
  if (B->BitCount() == 1 && w % 8) {
    const uint8_t keep = uint8_t(0xFF << (8 - w % 8));
    for (int32_t y = 0; y < h; ++y) out[len * y + len - 1] &= keep;
  }
  return out;
}

// A picture whose every byte differs from its neighbours, reproducible by seed.
inline std::unique_ptr<TQxBitmap> Pattern(int32_t W, int32_t H, TQxPixelFormat F, uint32_t Seed = 1) {
  auto b = std::make_unique<TQxBitmap>(W, H, F);
  uint32_t s = Seed * 2654435761u + 12345;
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* r = b->Scanline(y);
    for (int32_t i = 0; i < b->RowLen(); ++i) {
      s = s * 1103515245u + 12345u;
      r[i] = uint8_t(s >> 16);
    }
  }
  if (F == TQxPixelFormat::qx8p)
    for (int i = 0; i < b->PaletteLength(); ++i) b->SetPaletteColor(i, TQxRGB{uint8_t(i), uint8_t(255 - i), 7});
  if (F == TQxPixelFormat::qx32f)
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) b->SetPixelFloat(x, y, float((x * 7 + y * 3) % 100) / 100.0f);
  return b;
}

inline std::string TempPath(const std::string& Name) {
  const char* d = std::getenv("TMPDIR");
  return std::string(d ? d : "/tmp") + "/qvproc_" + std::to_string(::getpid()) + "_" + Name;
}

inline bool HavePillow() {
  static int have = -1;
  if (have < 0) have = std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
  return have == 1;
}

// Writes a qx24RGB or qx8g picture as binary PPM/PGM.
inline void WritePNM(TQxBitmap* B, const std::string& Path) {
  const bool rgb = B->PixelFormat() == TQxPixelFormat::qx24RGB;
  std::ofstream f(Path, std::ios::binary);
  f << (rgb ? "P6\n" : "P5\n") << B->Width() << " " << B->Height() << "\n255\n";
  for (int32_t y = 0; y < B->Height(); ++y) {
    const uint8_t* r = B->Scanline(y);
    for (int32_t x = 0; x < B->Width(); ++x) {
      if (rgb) {
        const char px[3] = {char(r[x * 3 + 2]), char(r[x * 3 + 1]), char(r[x * 3])};
        f.write(px, 3);
      } else {
        f.put(char(r[x]));
      }
    }
  }
}

// Reads a binary PPM/PGM into bytes in our layout (blue, green, red for colour), plus its size.
inline std::vector<uint8_t> ReadPNM(const std::string& Path, int32_t& W, int32_t& H) {
  std::ifstream f(Path, std::ios::binary);
  std::string magic;
  int maxv = 0;
  f >> magic >> W >> H >> maxv;
  f.get();
  const bool rgb = magic == "P6";
  std::vector<uint8_t> raw(size_t(W) * H * (rgb ? 3 : 1));
  f.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()));
  if (rgb)
    for (size_t i = 0; i + 2 < raw.size(); i += 3) std::swap(raw[i], raw[i + 2]);
  return raw;
}

struct PillowResult {
  int32_t W = 0, H = 0;
  std::vector<uint8_t> Pixels;
};

// Runs one Pillow expression per picture ("im" in each) in a single interpreter and returns the results'
// pixels in our layout.
inline std::vector<PillowResult> PillowBatch(const std::vector<std::pair<TQxBitmap*, std::string>>& Jobs) {
  std::vector<PillowResult> results(Jobs.size());
  const std::string script = TempPath("batch.py");
  {
    std::ofstream py(script);
    py << "from PIL import Image\n";
    for (size_t i = 0; i < Jobs.size(); ++i) {
      const std::string in = TempPath("in" + std::to_string(i) + ".pnm");
      WritePNM(Jobs[i].first, in);
      py << "im = Image.open('" << in << "')\n(" << Jobs[i].second << ").save('"
         << TempPath("out" + std::to_string(i) + ".pnm") << "')\n";
    }
  }
  EXPECT_EQ(std::system(("/usr/bin/python3 " + script).c_str()), 0);
  for (size_t i = 0; i < Jobs.size(); ++i) {
    const std::string in = TempPath("in" + std::to_string(i) + ".pnm");
    const std::string out = TempPath("out" + std::to_string(i) + ".pnm");
    results[i].Pixels = ReadPNM(out, results[i].W, results[i].H);
    std::remove(in.c_str());
    std::remove(out.c_str());
  }
  std::remove(script.c_str());
  return results;
}

}  // namespace proctest
