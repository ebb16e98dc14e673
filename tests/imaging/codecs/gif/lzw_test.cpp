// The LZW coders on their own: hand-made code streams, round trips, and data exchanged with libtiff.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "imaging/codecs/lzw.h"
#include "platform/base/streams.h"
#include "tests/imaging/io/io_test_util.h"

namespace {

// Packs codes of given widths, least significant bit first (GIF) or most significant first (TIFF).
struct BitPacker {
  bool msbFirst;
  std::vector<uint8_t> out;
  uint64_t acc = 0;
  int bits = 0;
  void Put(int code, int width) {
    if (msbFirst) {
      acc = (acc << width) | static_cast<uint64_t>(code);
      bits += width;
      while (bits >= 8) {
        out.push_back(static_cast<uint8_t>(acc >> (bits - 8)));
        bits -= 8;
      }
    } else {
      acc |= static_cast<uint64_t>(code) << bits;
      bits += width;
      while (bits >= 8) {
        out.push_back(static_cast<uint8_t>(acc));
        acc >>= 8;
        bits -= 8;
      }
    }
  }
  std::vector<uint8_t> Done() {
    if (bits > 0) out.push_back(static_cast<uint8_t>(msbFirst ? acc << (8 - bits) : acc));
    bits = 0;
    return out;
  }
};

// A GIF image block: minimum code size, the data cut into sub-blocks of up to 255 bytes, terminator.
std::vector<uint8_t> GifBlock(int m, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> b{static_cast<uint8_t>(m)};
  for (size_t i = 0; i < data.size(); i += 255) {
    const size_t n = std::min<size_t>(255, data.size() - i);
    b.push_back(static_cast<uint8_t>(n));
    b.insert(b.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
  }
  b.push_back(0);
  return b;
}

struct Decoded {
  std::vector<uint8_t> pixels;
  int64_t endPos;
};

Decoded GifDecode(const std::vector<uint8_t>& block, int32_t w, int32_t h, bool interlaced, uint8_t fill = 0xEE) {
  TMemoryStream s;
  const uint8_t lead[3] = {1, 2, 3};  // the block does not start at position 0
  s.WriteBuffer(lead, 3);
  s.WriteBuffer(block.data(), static_cast<int64_t>(block.size()));
  s.SetPosition(3);
  Decoded d{std::vector<uint8_t>(static_cast<size_t>(w) * h, fill), 0};
  GifLzwDecode(&s, h, w, interlaced, d.pixels.data());
  d.endPos = s.Position() - 3;
  return d;
}

std::vector<uint8_t> GifEncode(const std::vector<uint8_t>& px, int32_t w, int32_t h, bool interlaced, int bpp) {
  TMemoryStream s;
  GifLzwEncode(&s, h, w, interlaced, px.data(), bpp);
  std::vector<uint8_t> out(static_cast<size_t>(s.Size()));
  s.SetPosition(0);
  s.ReadBuffer(out.data(), s.Size());
  return out;
}

// Pictures with long runs and noise, so that the table fills and clears many times over.
std::vector<uint8_t> Picture(size_t n, int bpp, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  const int mask = (1 << bpp) - 1;
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(((i / 37) % 5 == 0 ? rng() : (i / 11)) & mask);
  return v;
}

// ------------------------------------------------------------------ GIF

TEST(GifLzw, RoundTripsEveryDepthInterlacedOrNot) {
  for (int bpp = 1; bpp <= 8; ++bpp)
    for (bool inter : {false, true})
      for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {300, 230}}) {
        SCOPED_TRACE("bpp " + std::to_string(bpp) + " interlaced " + std::to_string(inter) + " " +
                     std::to_string(w) + "x" + std::to_string(h));
        const auto px = Picture(static_cast<size_t>(w) * h, bpp, static_cast<uint32_t>(bpp * 100 + w));
        const auto block = GifEncode(px, w, h, inter, bpp);
        EXPECT_EQ(block[0], bpp <= 1 ? 2 : bpp);
        const Decoded d = GifDecode(block, w, h, inter);
        EXPECT_EQ(d.pixels, px);
        EXPECT_EQ(d.endPos, static_cast<int64_t>(block.size()));
      }
}

TEST(GifLzw, SubBlocksAre254BytesExceptTheLast) {
  const auto block = GifEncode(Picture(200000, 8, 7), 500, 400, false, 8);
  size_t i = 1, blocks = 0;
  while (block[i] != 0) {
    const size_t n = block[i];
    const bool last = block[i + 1 + n] == 0;
    if (!last) {
      EXPECT_EQ(n, 254u);
    }
    i += 1 + n;
    ++blocks;
  }
  EXPECT_GT(blocks, 10u);
  EXPECT_EQ(i + 1, block.size());
}

TEST(GifLzw, EmptyImageWritesClearAndEnd) {
  const auto block = GifEncode({}, 0, 0, false, 4);
  // m 4: Clear 16 and EOI 17 in 5 bits each.
  EXPECT_EQ(block, (std::vector<uint8_t>{4, 2, 0x30, 0x02, 0}));
}

TEST(GifLzw, IndexesBeyondTheCodeSizeStayInsideTheirCode) {
  const std::vector<uint8_t> px{0, 1, 0xFF, 3, 2, 0x81};
  const Decoded d = GifDecode(GifEncode(px, 6, 1, false, 2), 6, 1, false);
  EXPECT_EQ(d.pixels, (std::vector<uint8_t>{0, 1, 3, 3, 2, 1}));
}

TEST(GifLzw, ClearAndEndOnlyLeavesTheBufferAndSucceeds) {
  BitPacker p{false};
  p.Put(4, 3);
  p.Put(5, 3);
  const auto block = GifBlock(2, p.Done());
  const Decoded d = GifDecode(block, 3, 2, false);
  EXPECT_EQ(d.pixels, std::vector<uint8_t>(6, 0xEE));
  EXPECT_EQ(d.endPos, static_cast<int64_t>(block.size()));

  // Data after that end code: the image is refused and the stream is where it was.
  BitPacker q{false};
  q.Put(4, 3);
  q.Put(5, 3);
  auto data = q.Done();
  data.push_back(0x55);
  EXPECT_EQ(GifDecode(GifBlock(2, data), 3, 2, false).endPos, 0);
}

TEST(GifLzw, RefusedStreamsRestoreThePosition) {
  struct Case {
    const char* name;
    std::vector<uint8_t> block;
  };
  // A code beyond the next free code: Clear, 1, then 7 while 6 is the next free code.
  BitPacker beyond{false};
  beyond.Put(4, 3);
  beyond.Put(1, 3);
  beyond.Put(7, 3);
  beyond.Put(5, 3);
  const Case cases[] = {
      {"code size 1", GifBlock(1, {0x44, 0x01})},
      {"code size 12", GifBlock(12, {0x44, 0x01})},
      {"code above the next", GifBlock(2, beyond.Done())},
      {"empty stream", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GifDecode(c.block, 8, 8, false).endPos, 0);
  }
}

TEST(GifLzw, DataWithoutEndCodeKeepsThePixelsSoFar) {
  const std::vector<uint8_t> px{1, 2, 3, 0, 1, 2, 3, 0, 1, 2};
  auto block = GifEncode(px, 10, 1, false, 2);
  // Keep the first sub-block's first 3 bytes only: Clear and a handful of codes, no EOI.
  std::vector<uint8_t> cut{block.begin() + 2, block.begin() + 5};
  const Decoded d = GifDecode(GifBlock(2, cut), 10, 1, false);
  EXPECT_GT(d.endPos, 0);
  EXPECT_EQ(std::vector<uint8_t>(d.pixels.begin(), d.pixels.begin() + 4), (std::vector<uint8_t>{1, 2, 3, 0}));
  EXPECT_EQ(d.pixels.back(), 0xEE);
}

TEST(GifLzw, InterlacedRowsOfShortImagesAreEachFilledOnce) {
  // Row k of the coded order carries the value k; the extra rows at the end must be dropped.
  const std::vector<std::vector<uint8_t>> order{{0}, {0, 1}, {0, 2, 1}, {0, 2, 1, 3}, {0, 3, 2, 4, 1}};
  for (int h = 1; h <= 5; ++h) {
    SCOPED_TRACE(h);
    const int w = 3;
    std::vector<uint8_t> coded;
    for (int r = 0; r < h + 2; ++r) coded.insert(coded.end(), w, static_cast<uint8_t>(r));
    const Decoded d = GifDecode(GifEncode(coded, w, h + 2, false, 3), w, h, true);
    std::vector<uint8_t> want;
    for (int r = 0; r < h; ++r) want.insert(want.end(), w, order[h - 1][r]);
    EXPECT_EQ(d.pixels, want);
  }
}

// ------------------------------------------------------------------ TIFF

std::vector<uint8_t> TiffEncode(const std::vector<uint8_t>& data, size_t piece) {
  TMemoryStream s;
  void* state = nullptr;
  size_t i = 0;
  do {
    const size_t n = std::min(piece, data.size() - i);
    TiffLzwEncode(data.data() + i, static_cast<int32_t>(n), &s, state);
    i += n;
  } while (i < data.size());
  TiffLzwEncode(nullptr, 0, &s, state);
  EXPECT_EQ(state, nullptr);
  std::vector<uint8_t> out(static_cast<size_t>(s.Size()));
  s.SetPosition(0);
  if (!out.empty()) s.ReadBuffer(out.data(), s.Size());
  return out;
}

// Rows of RowBytes until Total bytes are out; an empty result marks a failed call.
std::vector<uint8_t> TiffDecode(const std::vector<uint8_t>& strip, int32_t rowBytes, size_t total, int fillOrder = 1) {
  void* state = nullptr;
  std::vector<uint8_t> out;
  while (out.size() < total) {
    const uint8_t* row = TiffLzwDecode(strip.data(), rowBytes, state, fillOrder, static_cast<int64_t>(strip.size()));
    if (!row) {
      out.clear();
      break;
    }
    out.insert(out.end(), row, row + rowBytes);
  }
  TiffLzwDecode(nullptr, 0, state, fillOrder, 0);
  EXPECT_EQ(state, nullptr);
  out.resize(std::min(out.size(), total));
  return out;
}

// Clear, 'A', 'B', 258 ("AB"), 260 (the string being defined: "ABA"), EOI.
std::vector<uint8_t> HandMadeStrip() {
  BitPacker p{true};
  for (int c : {256, int{'A'}, int{'B'}, 258, 260, 257}) p.Put(c, 9);
  return p.Done();
}

TEST(TiffLzw, DecodesAHandMadeStripAndCarriesTheSurplus) {
  EXPECT_EQ(TiffDecode(HandMadeStrip(), 7, 7), std::vector<uint8_t>({'A', 'B', 'A', 'B', 'A', 'B', 'A'}));
  // Rows shorter than what one code yields: the rest waits for the next call; past the end come zeros.
  EXPECT_EQ(TiffDecode(HandMadeStrip(), 3, 9), std::vector<uint8_t>({'A', 'B', 'A', 'B', 'A', 'B', 'A', 0, 0}));
}

TEST(TiffLzw, FillOrderTwoReadsBitReversedBytes) {
  auto strip = HandMadeStrip();
  for (auto& b : strip) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = static_cast<uint8_t>(r | (((b >> i) & 1) << (7 - i)));
    b = r;
  }
  EXPECT_EQ(TiffDecode(strip, 7, 7, 2), std::vector<uint8_t>({'A', 'B', 'A', 'B', 'A', 'B', 'A'}));
}

TEST(TiffLzw, RoundTripsInPiecesOfAnySize) {
  const auto data = Picture(300000, 8, 3);
  for (size_t piece : {size_t{1}, size_t{777}, data.size()}) {
    SCOPED_TRACE(piece);
    const auto strip = TiffEncode(piece == 1 ? std::vector<uint8_t>(data.begin(), data.begin() + 20000) : data, piece);
    const size_t n = piece == 1 ? 20000 : data.size();
    EXPECT_EQ(TiffDecode(strip, 1000, n), std::vector<uint8_t>(data.begin(), data.begin() + static_cast<long>(n)));
  }
  // A strip whose only call brings no bytes holds Clear and EOI and decodes to nothing.
  TMemoryStream s;
  void* state = nullptr;
  const uint8_t none = 0;
  TiffLzwEncode(&none, 0, &s, state);
  TiffLzwEncode(nullptr, 0, &s, state);
  EXPECT_EQ(s.Size(), 3);
  const uint8_t clearEnd[3] = {0x80, 0x40, 0x40};  // 256 and 257 in 9 bits each
  s.SetPosition(0);
  uint8_t written[3] = {};
  s.ReadBuffer(written, 3);
  EXPECT_EQ(std::memcmp(written, clearEnd, 3), 0);
  void* dec = nullptr;
  const uint8_t* row = TiffLzwDecode(clearEnd, 4, dec, 1, 3);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(row, row + 4), std::vector<uint8_t>(4, 0));
  TiffLzwDecode(nullptr, 0, dec, 1, 0);
}

TEST(TiffLzw, TableEndsAt4093AndSwitchesWidthOneCodeEarly) {
  // Every code of a strip of all-distinct pairs adds one entry; walk its codes with the decoder's rule.
  std::mt19937 rng(5);
  std::vector<uint8_t> data(9000);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  const auto strip = TiffEncode(data, data.size());
  int64_t pos = 0;
  int width = 9, next = 258, clears = 0;
  std::vector<int> widthsAtSwitch;
  auto read = [&]() {
    int v = 0;
    for (int i = 0; i < width; ++i, ++pos) v = (v << 1) | ((strip[static_cast<size_t>(pos >> 3)] >> (7 - (pos & 7))) & 1);
    return v;
  };
  bool first = true;
  for (;;) {
    const int c = read();
    if (c == 257) break;
    if (c == 256) {
      if (!first) {
        EXPECT_EQ(next, 4094);
        ++clears;
      }
      width = 9;
      next = 258;
      first = true;
      continue;
    }
    if (!first) ++next;
    first = false;
    if (next == 511 || next == 1023 || next == 2047) {
      widthsAtSwitch.push_back(next);
      width = next == 511 ? 10 : next == 1023 ? 11 : 12;
    }
  }
  EXPECT_GE(clears, 1);
  ASSERT_GE(widthsAtSwitch.size(), 3u);
  EXPECT_EQ(std::vector<int>(widthsAtSwitch.begin(), widthsAtSwitch.begin() + 3), (std::vector<int>{511, 1023, 2047}));
  EXPECT_EQ(TiffDecode(strip, 100, data.size()), data);
}

TEST(TiffLzw, BrokenStripsFailOrStopAtTheirEnd) {
  BitPacker afterClear{true};
  for (int c : {256, 300}) afterClear.Put(c, 9);
  EXPECT_TRUE(TiffDecode(afterClear.Done(), 4, 4).empty());
  // Cut short before EOI: what was decoded, then zeros; never a read past the strip.
  auto strip = TiffEncode(Picture(5000, 8, 9), 5000);
  strip.resize(strip.size() / 2);
  const auto out = TiffDecode(strip, 5000, 5000);
  ASSERT_EQ(out.size(), 5000u);
  EXPECT_EQ(out.back(), 0);
}

TEST(TiffLzw, ClearThenEndForgetsThePreviousString) {
  // Clear and EOI end the second row; the third row's first code starts a string of its own, so the 258
  // that follows it is "CC", not an entry built from the cleared table.
  BitPacker p{true};
  for (int c : {256, int{'A'}, int{'B'}, 258, 256, 257, int{'C'}, 258, 257}) p.Put(c, 9);
  EXPECT_EQ(TiffDecode(p.Done(), 4, 12), std::vector<uint8_t>({'A', 'B', 'A', 'B', 0, 0, 0, 0, 'C', 'C', 'C', 0}));
}

// libtiff writes the strips; ours must read them, and libtiff must read ours.
TEST(TiffLzw, ExchangesStripsWithLibtiff) {
  if (!qvio::HavePillow()) GTEST_SKIP() << "Pillow on /usr/bin/python3 is missing";
  const std::string d = qvio::TempDir();
  const int w = 333, h = 97;
  const auto px = Picture(static_cast<size_t>(w) * h, 8, 11);
  qvio::WriteFile(d + "/g.raw", px);
  ASSERT_EQ(qvio::Shell("cd '" + d + "' && /usr/bin/python3 -c \"from PIL import Image; "
                        "Image.frombytes('L',(" + std::to_string(w) + "," + std::to_string(h) +
                        "),open('g.raw','rb').read()).save('g.tif',compression='tiff_lzw')\""),
            0);
  // The strips of libtiff's file, found through a small reader of the first directory.
  const auto f = qvio::ReadFile(d + "/g.tif");
  ASSERT_GT(f.size(), 8u);
  ASSERT_EQ(f[0], 'I');
  auto u16 = [&](size_t o) { return static_cast<uint32_t>(f[o] | f[o + 1] << 8); };
  auto u32 = [&](size_t o) { return u16(o) | u16(o + 2) << 16; };
  const size_t ifd = u32(4);
  std::vector<uint32_t> offs, lens;
  uint32_t rowsPerStrip = static_cast<uint32_t>(h);
  for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    const uint32_t tag = u16(e), type = u16(e + 2), count = u32(e + 4);
    auto val = [&](uint32_t k) {
      const size_t sz = type == 3 ? 2 : 4;
      const size_t at = count * sz <= 4 ? e + 8 + k * sz : u32(e + 8) + k * sz;
      return type == 3 ? u16(at) : u32(at);
    };
    if (tag == 259) {
      ASSERT_EQ(val(0), 5u);
    }
    if (tag == 278) rowsPerStrip = val(0);
    for (uint32_t k = 0; k < count && (tag == 273 || tag == 279); ++k) (tag == 273 ? offs : lens).push_back(val(k));
  }
  ASSERT_EQ(offs.size(), lens.size());
  ASSERT_FALSE(offs.empty());
  std::vector<uint8_t> got;
  for (size_t s = 0; s < offs.size(); ++s) {
    const std::vector<uint8_t> strip(f.begin() + offs[s], f.begin() + offs[s] + lens[s]);
    const size_t rows = std::min<size_t>(rowsPerStrip, static_cast<size_t>(h) - s * rowsPerStrip);
    const auto part = TiffDecode(strip, w, rows * w);
    got.insert(got.end(), part.begin(), part.end());
  }
  EXPECT_EQ(got, px);

  // Our strip in a one-strip file of our own making, read back by libtiff.
  const auto strip = TiffEncode(px, 4096);
  std::vector<uint8_t> t{'I', 'I', 42, 0, 8, 0, 0, 0};
  auto p16 = [&](uint32_t v) { t.push_back(uint8_t(v)); t.push_back(uint8_t(v >> 8)); };
  auto p32 = [&](uint32_t v) { p16(v & 0xFFFF); p16(v >> 16); };
  const uint32_t dataAt = 8 + 2 + 9 * 12 + 4;
  const uint32_t entries[9][3] = {{256, 4, uint32_t(w)}, {257, 4, uint32_t(h)}, {258, 3, 8}, {259, 3, 5},
                                  {262, 3, 1},          {273, 4, dataAt},      {277, 3, 1}, {278, 4, uint32_t(h)},
                                  {279, 4, uint32_t(strip.size())}};
  p16(9);
  for (auto& e : entries) {
    p16(e[0]);
    p16(e[1]);
    p32(1);
    if (e[1] == 3) {
      p16(e[2]);
      p16(0);
    } else {
      p32(e[2]);
    }
  }
  p32(0);
  t.insert(t.end(), strip.begin(), strip.end());
  qvio::WriteFile(d + "/ours.tif", t);
  ASSERT_EQ(qvio::Shell("cd '" + d + "' && /usr/bin/python3 -c \"from PIL import Image; "
                        "open('back.raw','wb').write(Image.open('ours.tif').tobytes())\""),
            0);
  EXPECT_EQ(qvio::ReadFile(d + "/back.raw"), px);
}

}  // namespace

namespace {

// GIF codes of Pixels from an encoder that never sends a Clear code: once the table is full it goes on with
// the strings it has ("deferred clear"). Code widths follow the decoder's table, one entry behind the encoder's.
std::vector<uint8_t> DeferredClearCodes(const std::vector<uint8_t>& Pixels, int m) {
  BitPacker p{false};
  const int clear = 1 << m;
  std::map<std::pair<int, int>, int> dict;
  int encNext = clear + 2, decNext = clear + 2, width = m + 1;
  bool first = true;
  auto put = [&](int code) {
    p.Put(code, width);
    if (first) {
      first = false;
    } else if (decNext < 4096 && ++decNext == (1 << width) && width < 12) {
      ++width;
    }
  };
  p.Put(clear, width);
  int prefix = Pixels[0];
  for (size_t i = 1; i < Pixels.size(); ++i) {
    const auto it = dict.find({prefix, Pixels[i]});
    if (it != dict.end()) {
      prefix = it->second;
      continue;
    }
    put(prefix);
    if (encNext < 4096) dict[{prefix, Pixels[i]}] = encNext++;
    prefix = Pixels[i];
  }
  put(prefix);
  p.Put(clear + 1, width);
  return p.Done();
}

}  // namespace

// A full table without a Clear code goes on decoding, and a starting code size up to 11 is read; Pillow
// reads the same files to the same indexes.
TEST(GifLzw, DeferredClearAndWideStartingCodes) {
  const int w = 160, h = 120;
  std::vector<uint8_t> px(size_t(w) * h);
  uint32_t seed = 12345;
  for (auto& v : px) {
    seed = seed * 1103515245u + 12345u;
    v = uint8_t((seed >> 16) % 200);
  }
  const qvio::ScopedTempDir d;
  for (int m : {8, 10, 11}) {
    SCOPED_TRACE(m);
    const std::vector<uint8_t> block = GifBlock(m, DeferredClearCodes(px, m));
    const Decoded got = GifDecode(block, w, h, false);
    EXPECT_EQ(got.endPos, int64_t(block.size()));
    ASSERT_EQ(got.pixels, px);
    if (!qvio::HavePillow()) continue;
    // The same data in a file with a gray table, so that Pillow's gray reading gives the indexes back.
    std::vector<uint8_t> file{'G', 'I', 'F', '8', '9', 'a', uint8_t(w), 0, uint8_t(h), 0, 0xF7, 0, 0};
    for (int i = 0; i < 256; ++i) file.insert(file.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
    file.insert(file.end(), {0x2C, 0, 0, 0, 0, uint8_t(w), 0, uint8_t(h), 0, 0});
    file.insert(file.end(), block.begin(), block.end());
    file.push_back(0x3B);
    qvio::WriteFile(d / "deferred.gif", file);
    EXPECT_EQ(qvio::PillowPixels(d / "deferred.gif", "L"), px);
  }
}
