// Camera-raw sensor data of Kodak cameras: the tone curve, the uncompressed, block-coded, YCbCr, tree-coded,
// JPEG-pair and rotated-row forms.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include <jpeglib.h>

#include "imaging/codecs/raw/camera_raw_internal.h"
#include "imaging/io/jpeg.h"
#include "platform/base/streams.h"

void read_kodak_tone_curve(TQxRawContext& C, uint16_t* Curve) {
  for (int32_t i = 0; i < 4096; ++i) Curve[i] = uint16_t(i);
  if (strcasecmp(C.Maker, "KODAK") != 0) return;
  if (C.ToneCurveOffset) {
    C.Seek(12);
    const int32_t entries = C.Get2();
    for (int32_t i = 0; i < entries && C.Tell() < C.FileSize; ++i) {
      const uint16_t tag = C.Get2();
      C.Get2();
      const uint32_t count = C.Get4(), value = C.Get4();
      if (tag == 0x090D) {
        C.ToneCurveOffset = int32_t(value);
        C.ToneCurveCount = int32_t(count);
      }
    }
  }
  // A curve without entries stays the identity; one longer than the table is cut.
  const int32_t n = std::clamp(C.ToneCurveCount, 0, 4096);
  if (C.ToneCurveOffset && n > 0) {
    C.Seek(C.ToneCurveOffset);
    for (int32_t i = 0; i < n; ++i) Curve[i] = C.Get2();
    for (int32_t i = n; i < 4096; ++i) Curve[i] = Curve[n - 1];
    // The picture's samples are 16-bit: a curve that ends above 16383 cannot make them brighter than that.
    C.WhiteLevel = std::min(Curve[4095] << 2, 65535);
  }
  C.Seek(C.SensorDataOffset);
}

namespace {

inline int32_t CurveAt(const uint16_t* Curve, int32_t V) { return Curve[std::clamp(V, 0, 4095)]; }

// The block coder's bit buffer: bytes enter low-order first, two by two in swapped order.
struct TBlockBits {
  uint64_t Buffer = 0;
  int32_t Valid = 0;
  void Start(TQxRawContext& C, int32_t Len) {
    Buffer = 0;
    Valid = 0;
    if (Len % 8 == 4) {
      const uint32_t b0 = uint32_t(std::max(C.GetC(), 0)), b1 = uint32_t(std::max(C.GetC(), 0));
      Buffer = b0 << 8 | b1;
      Valid = 16;
    }
  }
  int32_t Diff(TQxRawContext& C, int32_t L) {
    if (Valid < L) {
      for (int32_t k = 0; k < 4; ++k) Buffer += uint64_t(std::max(C.GetC(), 0)) << (Valid + ((8 * k) ^ 8));
      Valid += 32;
    }
    const uint32_t v = uint32_t(Buffer & (0xFFFFu >> (16 - L)));
    Buffer >>= L;
    Valid -= L;
    return sign_rule(v, L);
  }
};

int32_t ReadLengths(TQxRawContext& C, uint8_t* Lengths, int32_t Len) {
  std::fill(Lengths, Lengths + 384, 0);
  int32_t largest = 0;
  for (int32_t i = 0; i < Len / 2; ++i) {
    const int32_t b = std::max(C.GetC(), 0);
    Lengths[2 * i] = uint8_t(b & 15);
    Lengths[2 * i + 1] = uint8_t(b >> 4);
    largest = std::max({largest, b & 15, b >> 4});
  }
  return largest;
}

}  // namespace

void kodak_easy_load_raw(TQxRawContext& C) {
  uint16_t curve[4096];
  read_kodak_tone_curve(C, curve);
  const bool margin = C.ImageWidth < C.SensorWidth;
  int64_t black = margin ? 0 : C.BlackLevel;
  std::vector<uint8_t> b(size_t(C.SensorWidth));
  C.StartProgress(C.ImageHeight);
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (C.PastEnd > 8) break;
    C.Read(b.data(), C.SensorWidth);
    for (int32_t i = 0; i < C.SensorWidth; ++i) {
      const int32_t icol = i - C.LeftBorder;
      if (icol >= 0 && icol < C.ImageWidth) C.Put(row, icol, curve[b[size_t(i)]] * 4);
      else black += curve[b[size_t(i)]];
    }
  }
  if (margin) {
    const int64_t n = int64_t(C.SensorWidth - C.ImageWidth) * C.ImageHeight;
    C.BlackLevel = n > 0 ? int32_t(black * 4 / n) : 0;
  } else {
    C.BlackLevel = int32_t(black);
  }
  if (std::strncmp(C.Model, "DC2", 3) == 0) C.BlackLevel = 0;
}

void kodak_blocked_diff_load_raw(TQxRawContext& C) {
  uint16_t curve[4096];
  read_kodak_tone_curve(C, curve);
  uint8_t lengths[384];
  bool raw = false;
  TBlockBits bits;
  int32_t pred[2] = {0, 0};
  uint16_t w[6] = {};
  C.StartProgress(C.ImageHeight);
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (C.PastEnd > 8) break;
    for (int32_t col = 0; col < C.ImageWidth; ++col) {
      if (col % 256 == 0) {
        const int32_t len = std::min(256, C.ImageWidth - col);
        const int64_t save = C.Tell();
        raw = ReadLengths(C, lengths, len) > 12;
        pred[0] = pred[1] = 0;
        bits.Start(C, len);
        if (raw) C.Seek(save);
      }
      int32_t value;
      if (raw) {
        const int32_t k = col & 7;
        if (k == 0)
          for (uint16_t& x : w) {
            const int32_t hi = std::max(C.GetC(), 0), lo = std::max(C.GetC(), 0);
            x = uint16_t(hi << 8 | lo);
          }
        if (k == 0) value = (w[0] >> 12) << 8 | (w[2] >> 12) << 4 | (w[4] >> 12);
        else if (k == 1) value = (w[1] >> 12) << 8 | (w[3] >> 12) << 4 | (w[5] >> 12);
        else value = w[k - 2] & 0xFFF;
      } else {
        pred[col & 1] += bits.Diff(C, lengths[col & 255]);
        value = pred[col & 1];
      }
      C.Put(row, col, CurveAt(curve, value) * 4);
    }
  }
}

void kodak_ycc_load_raw(TQxRawContext& C) {
  uint16_t curve[4096];
  read_kodak_tone_curve(C, curve);
  uint8_t lengths[384];
  int32_t index = 0;
  TBlockBits bits;
  int32_t y1 = 0, y3 = 0, cb = 0, cr = 0;
  C.StartProgress((C.ImageHeight + 1) / 2);
  for (int32_t row = 0; row < C.ImageHeight; row += 2) {
    C.ReportRow(row / 2);
    if (C.PastEnd > 8) break;
    for (int32_t col = 0; col < C.ImageWidth; col += 2) {
      if (col % 128 == 0) {
        const int32_t len = std::min(384, ((C.ImageWidth - col + 1) * 3) & ~3);
        ReadLengths(C, lengths, len);
        index = 0;
        y1 = y3 = cb = cr = 0;
        bits.Start(C, len);
      }
      int32_t d[6];
      for (int32_t& x : d) x = bits.Diff(C, lengths[std::min(index++, 383)]);
      const int32_t y0 = d[0] + y1;
      y1 = d[1] + y0;
      const int32_t y2 = d[2] + y3;
      y3 = d[3] + y2;
      cb += d[4];
      cr += d[5];
      const int32_t ys[4] = {y0, y1, y2, y3};
      for (int32_t k = 0; k < 4; ++k) {
        uint16_t* cell = C.CellAt(row + k / 2, col + (k & 1));
        if (!cell) continue;
        const int32_t comp[3] = {ys[k] + cr, ys[k], ys[k] + cb};
        for (int32_t c = 0; c < 3; ++c)
          if (comp[c] > 0) cell[c] = uint16_t(CurveAt(curve, comp[c]) * 4);
      }
    }
  }
}

// ---- tree-coded DC40 and DC50 ----------------------------------------------------------------------------

namespace {

struct TPair {
  int8_t Length;
  int8_t Symbol;
};
// Each tree as length:symbol pairs in code order; an empty pair ends it.
const TPair kKodakTrees[18][10] = {
    {{1, 1}, {2, 3}, {3, 4}, {4, 2}, {5, 7}, {6, 5}, {7, 6}, {7, 8}},
    {{1, 0}, {2, 1}, {3, 3}, {4, 4}, {5, 2}, {6, 7}, {7, 6}, {8, 5}, {8, 8}},
    {{2, 1}, {2, 3}, {3, 0}, {3, 2}, {3, 4}, {4, 6}, {5, 5}, {6, 7}, {6, 8}},
    {{2, 0}, {2, 1}, {2, 3}, {3, 2}, {4, 4}, {5, 6}, {6, 7}, {7, 5}, {7, 8}},
    {{2, 1}, {2, 4}, {3, 0}, {3, 2}, {3, 3}, {4, 7}, {5, 5}, {6, 6}, {6, 8}},
    {{2, 3}, {3, 1}, {3, 2}, {3, 4}, {3, 5}, {3, 6}, {4, 7}, {5, 0}, {5, 8}},
    {{2, 3}, {2, 6}, {3, 0}, {3, 1}, {4, 4}, {4, 5}, {4, 7}, {5, 2}, {5, 8}},
    {{2, 4}, {2, 7}, {3, 3}, {3, 6}, {4, 1}, {4, 2}, {4, 5}, {5, 0}, {5, 8}},
    {{2, 6}, {3, 1}, {3, 3}, {3, 5}, {3, 7}, {3, 8}, {4, 0}, {5, 2}, {5, 4}},
    {{2, 0}, {2, 1}, {3, 2}, {3, 3}, {4, 4}, {4, 5}, {5, 6}, {5, 7}, {4, 8}},
    {{1, 0}, {2, 2}, {2, -2}},
    {{1, -3}, {1, 3}},
    {{2, -17}, {2, -5}, {2, 5}, {2, 17}},
    {{2, -7}, {2, 2}, {2, 9}, {2, 18}},
    {{2, -18}, {2, -9}, {2, -2}, {2, 7}},
    {{2, -28}, {2, 28}, {3, -49}, {3, -9}, {3, 9}, {4, 49}, {5, -79}, {5, 79}},
    {{2, -1}, {2, 13}, {2, 26}, {3, 39}, {4, -16}, {5, 55}, {6, -37}, {6, 76}},
    {{2, -26}, {2, -13}, {2, 1}, {3, -39}, {4, 16}, {5, -55}, {6, -76}, {6, 37}},
};

void BuildPairTree(TQxRawContext& C, const TPair* Pairs, int32_t& Next, int32_t Depth) {
  const int32_t self = C.FreeNode;
  if (C.FreeNode >= 2048) throw EQxRawError(": decoder table overflow");
  C.Nodes[C.FreeNode++] = TQxRawNode{};
  const bool more = Next < 10 && Pairs[Next].Length > 0;
  if (more && Depth < Pairs[Next].Length && Depth < 16) {
    C.Nodes[self].Child[0] = C.FreeNode;
    BuildPairTree(C, Pairs, Next, Depth + 1);
    C.Nodes[self].Child[1] = C.FreeNode;
    BuildPairTree(C, Pairs, Next, Depth + 1);
  } else if (more) {
    C.Nodes[self].Leaf = Pairs[Next++].Symbol;
  }
}

}  // namespace

int32_t read_tree_token(TQxRawContext& C, int32_t Tree) {
  if (C.FreeNode == 0)
    for (int32_t t = 0; t < 18; ++t) {
      C.KodakRoots[t] = C.FreeNode;
      int32_t next = 0;
      BuildPairTree(C, kKodakTrees[t], next, 0);
    }
  // An escaped sample: the DC50 stores it in 5 bits (a real DC50 file decodes only so), the DC40 in 6.
  if (Tree == 18)
    return C.Model[0] && C.Model[1] && C.Model[2] == '4' ? int32_t(read_bits(C, 6)) * 4 + 2
                                                         : int32_t(read_bits(C, 5)) * 8 + 4;
  return decode_symbol(C, C.KodakRoots[std::clamp(Tree, 0, 17)]);
}

void kodak_tree_coded_load_raw(TQxRawContext& C) {
  reset_huffman_nodes(C);
  read_bits(C, -1);
  const int32_t w = C.ImageWidth;
  if (w / 2 + 2 > 386) throw EQxRawError(": the picture is too wide for its coding");
  static thread_local int16_t band[3][3][386];
  for (auto& c : band)
    for (auto& r : c) std::fill(std::begin(r), std::end(r), int16_t(2048));
  int32_t last[3] = {16, 16, 16};
  const int32_t half = w / 2;
  auto P = [&](int32_t c, int32_t y, int32_t x) -> int32_t {
    if (c == 0) return (band[c][y - 1][x + 1] + 2 * band[c][y - 1][x] + band[c][y][x + 1]) / 4;
    return (band[c][y - 1][x] + band[c][y][x + 1]) / 2;
  };
  auto get = [&](int32_t y, int32_t x) -> int32_t {
    x = std::clamp(x, 0, w - 1);
    if (uint32_t(y) >= uint32_t(C.ImageHeight)) return 0;
    return C.Pixels[int64_t(y >> C.HalfSize) * C.StoreWidth + (x >> C.HalfSize)][C.ColorAt(y, x)];
  };
  C.StartProgress((C.ImageHeight + 3) / 4);
  for (int32_t row = 0; row < C.ImageHeight; row += 4) {
    C.ReportRow(row / 4);
    if (C.PastEnd > 8) break;
    int32_t mul[3];
    for (int32_t& m : mul) m = int32_t(read_bits(C, 6));
    for (int32_t c = 0; c < 3; ++c) {
      if (last[c] != 0) {  // a zero scale of the band before leaves the band as it is
        int64_t val = int64_t((0x1000000 / last[c] + 0x7FF) >> 12) * mul[c];
        const int32_t s = val > 65564 ? 10 : 12;
        const int64_t x = (int64_t(1) << (s - 1)) - 1;
        val <<= (12 - s);
        for (auto& r : band[c])
          for (int16_t& b : r) b = int16_t((b * val + x) >> s);
      }
      last[c] = mul[c];
      const int32_t passes = c == 0 ? 2 : 1;
      for (int32_t pass = 0; pass < passes; ++pass) {
        band[c][1][half] = band[c][2][half] = int16_t(mul[c] * 128);
        int32_t tree = 1, col = half;
        auto put4 = [&](auto&& Value) {
          for (int32_t y = 1; y <= 2; ++y)
            for (int32_t x = col + 1; x >= col; --x)
              if (x >= 0) band[c][y][x] = int16_t(Value(y, x));
        };
        while (col > 0) {
          tree = read_tree_token(C, tree);
          if (tree != 0) {
            col -= 2;
            // A band row of odd length ends in a block with one column outside it: its tokens are still
            // read, so that the next block starts at the right bit.
            for (int32_t y = 1; y <= 2; ++y)
              for (int32_t x = col + 1; x >= col; --x) {
                const int32_t t = read_tree_token(C, tree == 8 ? 18 : tree + 10);
                if (x >= 0) band[c][y][x] = int16_t(tree == 8 ? t * mul[c] : t * 16 + P(c, y, x));
              }
          } else {
            int32_t nreps;
            do {
              // The last block of a row is never a longer run: the camera writes no count for it.
              nreps = col > 2 ? read_tree_token(C, 9) + 1 : 1;
              for (int32_t rep = 0; rep < 8 && rep < nreps && col > 0; ++rep) {
                col -= 2;
                put4([&](int32_t y, int32_t x) { return P(c, y, x); });
                if (rep & 1) {
                  const int32_t step = read_tree_token(C, 10) << 4;
                  put4([&](int32_t y, int32_t x) { return band[c][y][x] + step; });
                }
              }
            } while (nreps == 9);
          }
          if (C.PastEnd > 8) break;
        }
        const int32_t div = std::max(mul[c], 1);
        for (int32_t y = 0; y < 2; ++y)
          for (int32_t x = 0; x < half; ++x) {
            const int32_t val = std::max((band[c][y + 1][x] << 4) / div, 0);
            if (c == 0) C.Put(row + 2 * pass + y, 2 * x + y, val);
            else C.Put(row + 2 * y + c - 1, 2 * x + 2 - c, val);
          }
        if (c == 0) std::copy(band[c][2], band[c][2] + 385, band[c][0] + 1);
        else std::copy(band[c][2], band[c][2] + 386, band[c][0]);
      }
    }
    for (int32_t y = row; y < row + 4 && y < C.ImageHeight; ++y)
      for (int32_t x = 0; x < w; ++x) {
        if (((x + y) & 1) == 0) continue;
        // The first and last columns take their one inner neighbour twice.
        const int32_t left = x > 0 ? get(y, x - 1) : get(y, x + 1);
        const int32_t right = x < w - 1 ? get(y, x + 1) : get(y, x - 1);
        const int32_t val = (get(y, x) - 2048) * 2 + (left + right) / 2;
        C.Put(y, x, std::clamp(val, 0, 65535));
      }
  }
}

void kodak_rotated_rows_load_raw(TQxRawContext& C) {
  static const int32_t mul[4] = {162, 192, 187, 92}, add[4] = {0, 636, 424, 212};
  uint8_t b[848];
  C.StartProgress(C.ImageHeight);
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (C.PastEnd > 8) break;
    C.Read(b, 848);
    const int32_t shift = row * mul[row & 3] + add[row & 3];
    for (int32_t col = 0; col < C.ImageWidth; ++col) C.Put(row, col, b[(col + shift) % 848] << 6);
  }
}

// ---- DC120 JPEG pairs --------------------------------------------------------------------------------------

namespace {

struct TPairSource {
  TQxRawContext* C;
  uint8_t Buffer[4096];
  bool Dry = false;  // the stream ran out before the decoder was done with the picture
};

// The DC120 stores its JPEG with the bytes of every 16-bit pair exchanged.
int FillSwapped(jpeg_decompress_struct* D) {
  auto* s = static_cast<TPairSource*>(D->client_data);
  int64_t n = s->C->Stream->Read(s->Buffer, 4096);
  if (n <= 0) {
    // The end: a marker that closes the picture, as libjpeg expects from a source that has run dry.
    s->Dry = true;
    s->Buffer[0] = 0xFF;
    s->Buffer[1] = JPEG_EOI;
    n = 2;
  } else {
    for (int64_t i = 0; i + 1 < n; i += 2) std::swap(s->Buffer[i], s->Buffer[i + 1]);
  }
  JpegSetSourceBuffer(D, s->Buffer, size_t(n));
  return 1;
}

struct TDecompress {
  jpeg_decompress_struct* D = nullptr;
  TQxJpegErrorManager* E = nullptr;
  bool Created = false;
  ~TDecompress() {
    if (Created) JpegDestroyDecompress(D);
    if (D) JpegFreeDecompress(D);
    if (E) JpegFreeErrorManager(E);
  }
};

}  // namespace

void kodak_jpeg_pair_load_raw(TQxRawContext& C) {
  TPairSource source{&C, {}, false};
  TDecompress d;
  d.D = JpegAllocDecompress();
  d.E = JpegCreateErrorManager(d.D);
  JpegCreateDecompress(d.D);
  d.Created = true;
  d.D->client_data = &source;
  JpegSetStreamSource(d.D, C.Stream);
  JpegSetFillRoutine(d.D, FillSwapped);
  JpegReadHeader(d.D, true);
  JpegStartDecompress(d.D);
  const int32_t ow = JpegOutputWidth(d.D), oh = JpegOutputHeight(d.D);
  if (ow != C.ImageWidth || oh * 2 != C.ImageHeight || JpegOutputComponents(d.D) != 3)
    throw EQxRawError(": incorrect JPEG dimensions");
  uint8_t** rows = JpegAllocSampleRows(d.D, JPOOL_IMAGE, uint32_t(C.ImageWidth) * 3, 1);
  C.StartProgress(oh);
  while (JpegOutputScanline(d.D) < oh) {
    const int32_t row = JpegOutputScanline(d.D) * 2;
    C.ReportRow(row / 2);
    if (JpegReadScanlines(d.D, rows, 1) != 1) break;
    const uint8_t* px = rows[0];
    for (int32_t col = 0; col + 1 < C.ImageWidth; col += 2) {
      const uint8_t* p = px + 3 * col;
      const uint8_t* q = px + 3 * (col + 1);
      C.Put(row, col, p[1] << 6);
      C.Put(row + 1, col + 1, q[1] << 6);
      C.Put(row, col + 1, (p[0] + q[0]) << 5);
      C.Put(row + 1, col, (p[2] + q[2]) << 5);
    }
  }
  // Rows the decoder made up after the data ended are not the camera's: the file is cut short.
  if (source.Dry) C.PastEnd += 16;
  JpegFinishDecompress(d.D);
}
