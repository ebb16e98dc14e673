// Fax data written by outside tools decodes to their pixels, and ours opens in them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "tests/imaging/codecs/ccitt/ccitt_test_util.h"

using namespace ccitt_test;

namespace {

bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Tests of this file run as separate processes at once: each keeps its own files.
std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "ccitt_" + std::to_string(getpid()) + "_" + name;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

void WritePbm(const std::string& path, const TImage& img, int width) {
  std::string head = "P4\n" + std::to_string(width) + " " + std::to_string(img.size()) + "\n";
  std::vector<uint8_t> out(head.begin(), head.end());
  for (const auto& row : img) out.insert(out.end(), row.begin(), row.end());
  WriteFile(path, out);
}

TImage ReadPbm(const std::string& path, int width, int height) {
  const auto data = ReadFile(path);
  const std::string head = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
  TImage img;
  if (data.size() != head.size() + size_t(RowBytes(width)) * height) return img;
  for (int y = 0; y < height; ++y) {
    auto start = data.begin() + std::ptrdiff_t(head.size() + size_t(RowBytes(width)) * y);
    img.push_back(Masked(std::vector<uint8_t>(start, start + RowBytes(width)), width));
  }
  return img;
}

// The first directory of a TIFF file: tag -> values.
std::map<int, std::vector<uint32_t>> ReadIfd(const std::vector<uint8_t>& f) {
  std::map<int, std::vector<uint32_t>> tags;
  if (f.size() < 8) return tags;
  const bool le = f[0] == 'I';
  auto u16 = [&](size_t o) { return o + 2 > f.size() ? 0u : le ? f[o] | f[o + 1] << 8 : f[o] << 8 | f[o + 1]; };
  auto u32 = [&](size_t o) { return o + 4 > f.size() ? 0u : le ? u16(o) | u16(o + 2) << 16 : u16(o) << 16 | u16(o + 2); };
  const size_t ifd = u32(4);
  for (unsigned i = 0, n = u16(ifd); i < n; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    const unsigned type = u16(e + 2), count = u32(e + 4), size = type == 3 ? 2 : 4;
    const size_t at = count * size <= 4 ? e + 8 : u32(e + 8);
    auto& v = tags[int(u16(e))];
    for (unsigned k = 0; k < count && k < 100000; ++k) v.push_back(size == 2 ? u16(at + 2 * k) : u32(at + 4 * k));
  }
  return tags;
}

// Every strip of the first page, fax-coded or plain, as PBM rows (1 = black).
TImage DecodeTiff(const std::vector<uint8_t>& file) {
  auto t = ReadIfd(file);
  auto get = [&](int tag, uint32_t def) { return t[tag].empty() ? def : t[tag][0]; };
  const int width = int(get(256, 0)), height = int(get(257, 0));
  const int rowsPerStrip = int(std::min<uint32_t>(get(278, uint32_t(height)), uint32_t(height)));
  const uint32_t compression = get(259, 1), t4 = get(292, 0), fillOrder = get(266, 1);
  TScheme scheme = compression == 2 ? TScheme::MH : compression == 4 ? TScheme::G4
                   : (t4 & 1)       ? TScheme::G3_2D : TScheme::G3_1D;
  TImage img;  // the file's sample values
  for (size_t s = 0; s < t[273].size() && s < t[279].size(); ++s) {
    const size_t off = t[273][s], len = t[279][s];
    if (off + len > file.size()) return {};
    const std::vector<uint8_t> strip(file.begin() + std::ptrdiff_t(off), file.begin() + std::ptrdiff_t(off + len));
    const int rows = std::min(rowsPerStrip, height - int(img.size()));
    if (compression == 1) {
      if (fillOrder != 1 || strip.size() < size_t(RowBytes(width)) * rows) return {};
      for (int y = 0; y < rows; ++y)
        img.push_back(Masked(std::vector<uint8_t>(strip.begin() + RowBytes(width) * y,
                                                  strip.begin() + RowBytes(width) * (y + 1)), width));
      continue;
    }
    // Decoded rows have 1 for the coded white runs, which are the file's 0.
    for (auto& row : Decode(strip, width, rows, scheme, int(fillOrder), (t4 & 4) != 0))
      img.push_back(Masked(Complement(row), width));
  }
  if (get(262, 0) == 1)  // BlackIsZero
    for (auto& row : img) row = Masked(Complement(row), width);
  return img;
}

// A single-strip little-endian TIFF around our fax data.
std::vector<uint8_t> WrapTiff(const std::vector<uint8_t>& strip, int width, int height, int compression,
                              uint32_t t4Options, int fillOrder) {
  std::vector<uint8_t> f = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto put16 = [&](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  const std::vector<std::array<uint32_t, 3>> entries = {
      {256, 4, uint32_t(width)}, {257, 4, uint32_t(height)}, {258, 3, 1}, {259, 3, uint32_t(compression)},
      {262, 3, 0}, {266, 3, uint32_t(fillOrder)}, {273, 4, 0}, {277, 3, 1}, {278, 4, uint32_t(height)},
      {279, 4, uint32_t(strip.size())}, {uint32_t(compression == 4 ? 293 : 292), 4, t4Options}};
  const uint32_t dataAt = 8 + 2 + 12 * uint32_t(entries.size()) + 4;
  put16(uint32_t(entries.size()));
  for (const auto& e : entries) {
    put16(e[0]), put16(e[1]), put32(1);
    const uint32_t v = e[0] == 273 ? dataAt : e[2];
    if (e[1] == 3) put16(v), put16(0); else put32(v);
  }
  put32(0);
  f.insert(f.end(), strip.begin(), strip.end());
  return f;
}

// -1 when both pictures are equal, else the first row that differs (a size mismatch counts as row 0).
int FirstDifferentRow(const TImage& a, const TImage& b) {
  if (a.size() != b.size()) return 0;
  for (size_t y = 0; y < a.size(); ++y)
    if (a[y] != b[y]) return int(y);
  return -1;
}

class CCITTTools : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
    WritePbm(TempPath("src.pbm"), Img, Width);
  }
  const int Width = 301, Height = 90;
  const TImage Img = [&] {
    TImage img = MakeImage(Width, Height, 77);
    for (auto& row : img) row = Masked(row, Width);
    return img;
  }();
};

TEST_F(CCITTTools, FilesWrittenByImageMagickDecodeToTheirPixels) {
  for (const char* kind : {"Group4", "Fax"}) {
    const std::string out = TempPath(std::string(kind) + ".tif");
    ASSERT_EQ(std::system(("convert " + TempPath("src.pbm") + " -compress " + kind + " " + out).c_str()), 0);
    EXPECT_EQ(FirstDifferentRow(DecodeTiff(ReadFile(out)), Img), -1) << kind;
  }
}

TEST_F(CCITTTools, FilesWrittenByTiffcpDecodeToTheirPixels) {
  if (!HaveTool("tiffcp")) GTEST_SKIP() << "libtiff's tiffcp is not installed";
  const std::string plain = TempPath("plain.tif");
  ASSERT_EQ(std::system(("convert " + TempPath("src.pbm") + " -compress None " + plain).c_str()), 0);
  // Several strips per page: the reference row starts white again in each.
  for (const char* opts : {"-c g3:1d", "-c g3:1d:fill", "-c g3:2d", "-c g3:2d:fill -f lsb2msb", "-c g4",
                           "-c g4 -f lsb2msb -r 7", "-c g3:2d -r 16"}) {
    const std::string out = TempPath("tiffcp.tif");
    ASSERT_EQ(std::system(("tiffcp " + std::string(opts) + " " + plain + " " + out).c_str()), 0) << opts;
    EXPECT_EQ(FirstDifferentRow(DecodeTiff(ReadFile(out)), Img), -1) << opts;
  }
}

TEST_F(CCITTTools, OurFaxDataOpensInLibtiffOrImageMagick) {
  const bool tiffcp = HaveTool("tiffcp");
  struct TCase {
    TScheme Scheme;
    int Compression;
    uint32_t Options;
  };
  for (const TCase c : {TCase{TScheme::MH, 2, 0}, TCase{TScheme::G3_1D, 3, 0}, TCase{TScheme::G3_2D, 3, 1},
                        TCase{TScheme::G4, 4, 0}}) {
    for (int fillOrder : {1, 2}) {
      std::atomic<bool> aborting{false};
      const auto strip = Encode(Img, Width, c.Scheme, fillOrder, aborting);
      const std::string tif = TempPath("ours.tif"), out = TempPath(tiffcp ? "ours_plain.tif" : "ours.pbm");
      WriteFile(tif, WrapTiff(strip, Width, Height, c.Compression, c.Options, fillOrder));
      std::remove(out.c_str());
      // libtiff's copier is much quicker than a full conversion; either is an independent reader.
      const std::string cmd = tiffcp ? "tiffcp -c none -f msb2lsb " + tif + " " + out : "convert " + tif + " " + out;
      ASSERT_EQ(std::system((cmd + " 2>" + TempPath("err.txt")).c_str()), 0)
          << "compression " << c.Compression << " options " << c.Options << " fill order " << fillOrder;
      const auto err = ReadFile(TempPath("err.txt"));
      const TImage back = tiffcp ? DecodeTiff(ReadFile(out)) : ReadPbm(out, Width, Height);
      EXPECT_EQ(FirstDifferentRow(back, Img), -1)
          << "compression " << c.Compression << " options " << c.Options << " fill order " << fillOrder << ": "
          << std::string(err.begin(), err.end());
    }
  }
}

}  // namespace
