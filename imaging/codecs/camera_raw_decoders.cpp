// Camera-raw sensor data: the bit reader, the Huffman trees and every loader except the Kodak ones.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "imaging/codecs/camera_raw_internal.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/utils.h"
#include "platform/base/streams.h"

namespace {

inline void Refill(TQxRawContext& C) {
  while (C.BitCount < 25) {
    int32_t c = C.GetC();
    if (c < 0) c = 0;  // past the end the data reads as zeros (GetC counts them)
    else if (C.SkipStuffedZero && c == 0xFF) C.GetC();
    C.BitBuffer = C.BitBuffer << 8 | uint32_t(c);
    C.BitCount += 8;
  }
}

// True once the loader has read well past the end: it stops instead of decoding zeros for ever.
inline bool Exhausted(TQxRawContext& C) { return C.PastEnd > 8; }

int32_t BlackDivide(int64_t Sum, int64_t Count) { return Count > 0 ? int32_t(Sum / Count) : 0; }

TQxRawNode& TakeNode(TQxRawContext& C) {
  if (C.FreeNode >= 2048) throw EQxRawError(": decoder table overflow");
  return C.Nodes[C.FreeNode++];
}

// A 10-bit look-up table over a tree: the leaf and the bits it takes, or -1 for longer codes.
void BuildFastTable(TQxRawContext& C, int32_t Slot, int32_t Root) {
  auto& t = C.Fast[Slot].Entry;
  t.assign(1024, -1);
  for (int32_t i = 0; i < 1024; ++i) {
    int32_t n = Root, bits = 0;
    while (C.Nodes[n].Child[0] && bits < 10) n = C.Nodes[n].Child[(i >> (9 - bits++)) & 1];
    if (!C.Nodes[n].Child[0] && C.Nodes[n].Leaf >= 0 && C.Nodes[n].Leaf < (1 << 22)) t[size_t(i)] = C.Nodes[n].Leaf << 8 | bits;
  }
}

inline int32_t DecodeFast(TQxRawContext& C, int32_t Slot, int32_t Root) {
  const uint32_t peek = uint32_t((uint64_t(C.BitBuffer) << (32 - C.BitCount)) >> 22) & 1023;
  const int32_t e = C.Fast[Slot].Entry[peek];
  if (e < 0) return decode_symbol(C, Root);
  C.BitCount -= e & 0xFF;
  Refill(C);
  return e >> 8;
}

// read_bits for 1 to 16 bits, on the hot path of the Huffman loaders.
inline uint32_t TakeBits(TQxRawContext& C, int32_t N) {
  const uint32_t c = uint32_t(((uint64_t(C.BitBuffer) << (32 - C.BitCount)) & 0xFFFFFFFFu) >> (32 - N));
  C.BitCount -= N;
  Refill(C);
  return c;
}

inline int32_t ReadDiff(TQxRawContext& C, int32_t L) {
  if (L <= 0) return 0;
  L = std::min(L, 16);
  const uint32_t v = TakeBits(C, L);
  return (v & (1u << (L - 1))) ? int32_t(v) : int32_t(v) - int32_t((1u << L) - 1);
}

}  // namespace

uint32_t read_bits(TQxRawContext& C, int32_t N) {
  if (N == 0) return 0;
  uint32_t c = 0;
  if (N == -1) {
    C.BitBuffer = 0;
    C.BitCount = 0;
  } else {
    N = std::min(N, 25);
    // Shifts in 64 bits: an empty buffer must not shift a 32-bit value by 32.
    c = uint32_t(((uint64_t(C.BitBuffer) << (32 - C.BitCount)) & 0xFFFFFFFFu) >> (32 - N));
    C.BitCount -= N;
  }
  Refill(C);
  return c;
}

int32_t sign_rule(uint32_t V, int32_t L) {
  if (L == 0) return 0;
  if ((V & (1u << (L - 1))) == 0) return int32_t(V) - int32_t((1u << L) - 1);
  return int32_t(V);
}

void reset_huffman_nodes(TQxRawContext& C) {
  for (auto& n : C.Nodes) n = TQxRawNode{};
  C.FreeNode = 0;
}

const uint8_t* build_huffman_tree(TQxRawContext& C, const uint8_t* Table, int32_t Depth, const uint8_t* End) {
  if (Depth == 0) C.LeafCounter = 0;
  const int32_t self = C.FreeNode;
  TakeNode(C);
  int32_t sum = 0, i = 0;
  while (i < 16 && sum <= C.LeafCounter) {
    sum += (Table + i < End) ? Table[i] : 0;
    ++i;
  }
  if (C.LeafCounter < sum) {
    if (Depth < i) {
      C.Nodes[self].Child[0] = C.FreeNode;
      build_huffman_tree(C, Table, Depth + 1, End);
      C.Nodes[self].Child[1] = C.FreeNode;
      build_huffman_tree(C, Table, Depth + 1, End);
    } else {
      const uint8_t* s = Table + 16 + C.LeafCounter;
      C.Nodes[self].Leaf = s < End ? *s : 0;
      ++C.LeafCounter;
    }
  }
  return std::min(Table + 16 + C.LeafCounter, End);
}

int32_t decode_symbol(TQxRawContext& C, int32_t Root) {
  int32_t n = Root;
  for (int32_t guard = 0; C.Nodes[n].Child[0] && guard < 2048; ++guard) n = C.Nodes[n].Child[read_bits(C, 1)];
  return C.Nodes[n].Leaf;
}

namespace {

const uint8_t kCanonFirst[3][29] = {
    {0, 1, 4, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 3, 5, 6, 2, 7, 1, 8, 9, 0, 10, 11, 255},
    {0, 2, 2, 3, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 3, 2, 4, 1, 5, 0, 6, 7, 9, 8, 10, 11, 255},
    {0, 0, 6, 3, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 5, 7, 4, 8, 3, 9, 2, 0, 10, 1, 11, 255},
};
const uint8_t kCanonSecond[3][180] = {
    {0, 2, 2, 2, 1, 4, 2, 1, 2, 5, 1, 1, 0, 0, 0, 139, 3, 4, 2, 5, 1, 6, 7, 8, 18, 19, 17, 20, 9, 21, 34, 0, 33, 22,
     10, 240, 35, 23, 36, 49, 50, 24, 25, 51, 37, 65, 52, 66, 53, 81, 54, 55, 56, 41, 121, 38, 26, 57, 86, 87, 40, 39,
     82, 85, 88, 67, 118, 89, 119, 84, 97, 249, 113, 120, 117, 150, 151, 73, 183, 83, 215, 116, 182, 152, 71, 72, 149,
     105, 153, 145, 250, 184, 104, 181, 185, 214, 247, 216, 103, 70, 69, 148, 137, 248, 129, 213, 246, 180, 136, 177,
     42, 68, 114, 217, 135, 102, 212, 245, 58, 167, 115, 169, 168, 134, 98, 199, 101, 200, 201, 161, 244, 209, 233, 90,
     146, 133, 166, 231, 147, 232, 193, 198, 122, 100, 225, 74, 106, 230, 179, 241, 211, 165, 138, 178, 154, 186, 132,
     164, 99, 229, 197, 243, 210, 196, 130, 170, 218, 228, 242, 202, 131, 163, 162, 195, 234, 194, 226, 227},
    {0, 2, 2, 1, 4, 1, 4, 1, 3, 3, 1, 0, 0, 0, 0, 140, 2, 3, 1, 4, 5, 18, 17, 6, 19, 7, 8, 20, 34, 9, 33, 0, 35, 21,
     49, 50, 10, 22, 240, 36, 51, 65, 66, 25, 23, 37, 24, 81, 52, 67, 82, 41, 53, 97, 57, 113, 98, 54, 83, 38, 56, 26,
     55, 129, 39, 145, 121, 85, 69, 40, 114, 89, 161, 177, 68, 105, 84, 88, 209, 250, 87, 225, 241, 185, 73, 71, 99,
     106, 249, 86, 70, 168, 42, 74, 120, 153, 58, 117, 116, 134, 101, 193, 118, 182, 150, 214, 137, 133, 201, 245, 149,
     180, 199, 247, 138, 151, 184, 115, 183, 216, 217, 135, 167, 122, 72, 130, 132, 234, 244, 166, 197, 90, 148, 164,
     198, 146, 195, 104, 181, 200, 228, 229, 230, 233, 162, 163, 227, 194, 102, 103, 147, 170, 212, 213, 231, 248, 136,
     154, 215, 119, 196, 100, 226, 152, 165, 202, 218, 232, 243, 246, 169, 178, 179, 242, 210, 131, 186, 211},
    {0, 0, 6, 2, 1, 3, 3, 2, 5, 1, 2, 2, 8, 10, 0, 117, 4, 5, 3, 6, 2, 7, 1, 8, 9, 18, 19, 20, 17, 21, 10, 22, 23,
     240, 0, 34, 33, 24, 35, 25, 36, 50, 49, 37, 51, 56, 55, 52, 53, 54, 57, 121, 87, 88, 89, 40, 86, 120, 39, 65, 41,
     119, 38, 66, 118, 153, 26, 85, 152, 151, 249, 72, 84, 150, 137, 71, 183, 73, 250, 117, 104, 182, 103, 105, 185,
     184, 216, 82, 215, 136, 181, 116, 81, 70, 217, 248, 58, 214, 135, 69, 122, 149, 213, 246, 134, 180, 169, 148, 83,
     42, 168, 67, 245, 247, 212, 102, 167, 90, 68, 138, 201, 232, 200, 231, 154, 106, 115, 74, 97, 199, 244, 198, 101,
     233, 114, 230, 113, 145, 147, 166, 218, 146, 133, 98, 243, 197, 178, 164, 132, 186, 100, 165, 179, 210, 129, 229,
     211, 170, 196, 202, 242, 177, 228, 209, 131, 99, 234, 195, 226, 130, 241, 163, 194, 161, 193, 227, 162, 225},
};

}  // namespace

void build_canon_trees(TQxRawContext& C, int32_t Set) {
  Set = std::clamp(Set, 0, 2);
  reset_huffman_nodes(C);
  build_huffman_tree(C, kCanonFirst[Set], 0, kCanonFirst[Set] + sizeof(kCanonFirst[Set]));
  C.SecondRoot = C.FreeNode;
  build_huffman_tree(C, kCanonSecond[Set], 0, kCanonSecond[Set] + sizeof(kCanonSecond[Set]));
}

// ---- Canon CIFF ----------------------------------------------------------------------------------------

namespace {

int32_t canon_low_bits_present(TQxRawContext& C) {
  std::vector<uint8_t> t(16384);
  const int64_t pastEnd = C.PastEnd;  // a short file is no reason to stop decoding
  C.Seek(0);
  C.Read(t.data(), 16384);
  C.PastEnd = pastEnd;
  bool seen = false;
  for (int32_t i = 540; i <= 16382; ++i)
    if (t[size_t(i)] == 0xFF) {
      if (t[size_t(i) + 1]) return 1;
      seen = true;
    }
  return seen ? 0 : 1;
}

}  // namespace

void canon_compressed_load_raw(TQxRawContext& C) {
  const int32_t sw = C.SensorWidth;
  std::vector<uint16_t> band(size_t(8) * sw);
  const int32_t lowbits = canon_low_bits_present(C);
  const int32_t shift = 4 - 2 * lowbits;
  C.Seek(540 + (int64_t(C.SensorHeight) * lowbits * sw) / 4);
  C.SkipStuffedZero = 1;
  read_bits(C, -1);
  BuildFastTable(C, 0, 0);
  BuildFastTable(C, 1, C.SecondRoot);
  int32_t carry = 0;
  int64_t counter = 0;
  int32_t base[2] = {0, 0};
  C.BlackSum = 0;
  C.StartProgress((C.SensorHeight + 7) / 8);
  for (int32_t row = 0; row < C.SensorHeight; row += 8) {
    C.ReportRow(row / 8);
    if (Exhausted(C)) break;
    for (int32_t block = 0; block < sw / 8; ++block) {
      int32_t diff[64] = {};
      int32_t slot = 0, root = 0;
      for (int32_t i = 0;;) {
        const int32_t symbol = DecodeFast(C, slot, root);
        slot = 1;
        root = C.SecondRoot;
        if (symbol == 0 && i > 0) break;
        int32_t next;
        if (symbol == 0xFF) {
          next = i + 1;
        } else {
          const int32_t zeros = symbol >> 4, L = symbol & 15;
          next = i + zeros + 1;
          if (L > 0) {
            const int32_t d = ReadDiff(C, L);
            if (i + zeros < 64) diff[i + zeros] = d;
          }
        }
        if (next > 63) break;
        i = next;
      }
      diff[0] += carry;
      carry = diff[0];
      for (int32_t j = 0; j < 64; ++j) {
        if (counter++ % sw == 0) base[0] = base[1] = 512;
        base[j & 1] += diff[j];
        band[size_t(block) * 64 + j] = uint16_t(base[j & 1]);
      }
    }
    if (lowbits) {
      const int64_t save = C.Tell();
      C.Seek(26 + int64_t(row) * sw / 4);
      size_t k = 0;
      for (int32_t i = 0; i < 2 * sw; ++i) {
        const int32_t c = std::max(C.GetC(), 0);
        for (int32_t r = 0; r < 8; r += 2, ++k) {
          int32_t v = (band[k] << 2) | ((c >> r) & 3);
          if (sw == 2672 && v < 512) v += 2;
          band[k] = uint16_t(v);
        }
      }
      C.Seek(save);
    }
    for (int32_t r = 0; r < 8; ++r) {
      const int32_t irow = row + r - C.TopBorder;
      if (irow < 0 || irow >= C.ImageHeight) continue;
      for (int32_t col = 0; col < sw; ++col) {
        const int32_t icol = col - C.LeftBorder;
        const uint16_t v = band[size_t(r) * sw + col];
        if (icol >= 0 && icol < C.ImageWidth) C.Put(irow, icol, v << shift);
        else C.BlackSum += v;
      }
    }
  }
  if (sw > C.ImageWidth) C.BlackLevel = BlackDivide(C.BlackSum << shift, int64_t(sw - C.ImageWidth) * C.ImageHeight);
}

// ---- Nikon ---------------------------------------------------------------------------------------------

void nikon_compressed_load_raw(TQxRawContext& C) {
  static const uint8_t kTree[] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12};
  reset_huffman_nodes(C);
  build_huffman_tree(C, kTree, 0, kTree + sizeof(kTree));
  BuildFastTable(C, 0, 0);
  C.Seek(C.ToneCurveOffset);
  int32_t vpred[4];
  for (int32_t& v : vpred) v = int16_t(C.Get2());
  int32_t n = C.Get2();
  std::vector<uint16_t> curve(size_t(std::max(n, 1)));
  for (int32_t i = 0; i < n; ++i) curve[size_t(i)] = C.Get2();
  if (n == 0) {
    // No curve: the values pass unchanged instead of indexing before the table.
    n = 0x4000;
    curve.resize(size_t(n));
    for (int32_t i = 0; i < n; ++i) curve[size_t(i)] = uint16_t(i);
  }
  C.Seek(C.SensorDataOffset);
  read_bits(C, -1);
  C.StartProgress(C.ImageHeight);
  int32_t hpred[2] = {0, 0};
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    for (int32_t col = 0; col < C.SensorWidth; ++col) {
      const int32_t L = DecodeFast(C, 0, 0);
      const int32_t diff = ReadDiff(C, L);
      if (col < 2) {
        int32_t& p = vpred[2 * (row & 1) + col];
        p += diff;
        hpred[col] = p;
      } else {
        hpred[col & 1] += diff;
      }
      const int32_t v = std::clamp(hpred[col & 1], 0, n - 1);
      const int32_t icol = col - C.LeftBorder;
      if (icol >= 0 && icol < C.ImageWidth) C.Put(row, icol, curve[size_t(v)] << 2);
    }
  }
}

void nikon_packed12_load_raw(TQxRawContext& C) {
  read_bits(C, -1);
  C.StartProgress(C.ImageHeight);
  const int32_t half = C.ImageHeight / 2;
  for (int32_t irow = 0; irow < C.ImageHeight; ++irow) {
    C.ReportRow(irow);
    int32_t row = irow;
    if (C.Model[0] == 'E' && half > 0) {
      row = (irow * 2) % C.ImageHeight + irow / half;
      if (row == 1 && QxTextToIntDef(C.Model + 1, 0) < 5000) {
        C.Seek(C.FileSize / 2);
        read_bits(C, -1);
      }
    }
    if (Exhausted(C)) break;
    for (int32_t col = 0; col < C.SensorWidth; ++col) {
      const int32_t v = int32_t(read_bits(C, 12));
      const int32_t icol = col - C.LeftBorder;
      if (icol >= 0 && icol < C.ImageWidth) C.Put(row, icol, v << 2);
      if (C.StripCompression == 34713 && col % 10 == 9) read_bits(C, 8);
    }
  }
}

// ---- lossless JPEG -------------------------------------------------------------------------------------

void lossless_huffman_load_raw(TQxRawContext& C) {
  std::vector<uint16_t> curve(4096);
  read_kodak_tone_curve(C, curve.data());
  C.ByteOrder = 0x4D4D;
  if (C.Get2() != 0xFFD8) return;
  int32_t jhigh = 0, jwide = 0;
  int32_t root[2] = {0, 0};
  bool trees = false;
  for (;;) {
    const uint32_t marker = C.Get2();
    const int32_t len = int32_t(C.Get2()) - 2;
    if (marker <= 0xFF00 || len > 255 || len < 0) return;
    uint8_t data[256] = {};
    C.Read(data, len);
    const uint8_t* end = data + len;
    if (marker == 0xFFC3 && len >= 5) {
      jhigh = data[1] * 256 + data[2];
      jwide = (data[3] * 256 + data[4]) * 2;
    }
    if (marker == 0xFFC4) {
      reset_huffman_nodes(C);
      root[0] = root[1] = C.FreeNode;
      const uint8_t* p = data;
      while (p < end && *p < 2) {
        root[*p] = C.FreeNode;
        p = build_huffman_tree(C, p + 1, 0, end);
      }
      trees = true;
    }
    if (marker == 0xFFDA) break;
    if (Exhausted(C)) return;
  }
  if (!trees || jwide <= 0 || jhigh <= 0) return;
  BuildFastTable(C, 0, root[0]);
  BuildFastTable(C, 1, root[1]);
  C.StartProgress(jhigh);
  C.SkipStuffedZero = 1;
  int32_t vpred[2] = {2048, 2048}, hpred[2] = {0, 0};
  int32_t minimum = 2147483647;
  C.BlackSum = 0;
  const int64_t sw = C.SensorWidth;
  const bool canon5108 = sw == 5108;
  // The coded data is taken into memory whole and read through a pointer, with the bit reader's state in
  // locals: byte-wise calls on the stream would cost more than the decoding itself.
  const int64_t start = C.Tell();
  std::vector<uint8_t> coded(size_t(std::max<int64_t>(C.FileSize - start, 0)));
  C.Read(coded.data(), int64_t(coded.size()));
  C.PastEnd = 0;
  const uint8_t* next = coded.data();
  const uint8_t* const end = next + coded.size();
  int64_t pastEnd = 0;
  uint32_t buf = 0;
  int32_t cnt = 0;
  auto refill = [&] {
    while (cnt < 25) {
      uint32_t c = 0;
      if (next < end) {
        c = *next++;
        if (c == 0xFF && next < end) ++next;  // the stuffed zero
      } else {
        ++pastEnd;
      }
      buf = buf << 8 | c;
      cnt += 8;
    }
  };
  refill();
  auto take = [&](int32_t N) {
    const uint32_t v = uint32_t(((uint64_t(buf) << (32 - cnt)) & 0xFFFFFFFFu) >> (32 - N));
    cnt -= N;
    return v;
  };
  const int32_t* fast[2] = {C.Fast[0].Entry.data(), C.Fast[1].Entry.data()};
  auto difference = [&](int32_t K) {
    const int32_t e = fast[K][(uint64_t(buf) << (32 - cnt) >> 22) & 1023];
    int32_t L;
    if (e >= 0) {
      cnt -= e & 0xFF;
      L = e >> 8;
    } else {
      // A code longer than the table: the tree walk, bit by bit.
      int32_t n = root[K];
      for (int32_t guard = 0; C.Nodes[n].Child[0] && guard < 2048; ++guard) {
        if (cnt < 1) refill();
        n = C.Nodes[n].Child[take(1)];
      }
      L = C.Nodes[n].Leaf;
    }
    if (L <= 0) {
      refill();
      return 0;
    }
    L = std::min(L, 16);
    if (cnt < L) refill();
    const uint32_t v = take(L);
    refill();
    return (v & (1u << (L - 1))) ? int32_t(v) : int32_t(v) - int32_t((1u << L) - 1);
  };
  for (int32_t jrow = 0; jrow < jhigh; ++jrow) {
    C.ReportRow(jrow);
    if (pastEnd > 8) break;
    int64_t idx = int64_t(jrow) * jwide;
    int64_t row = idx / sw, col = idx % sw;
    for (int32_t jcol = 0; jcol < jwide; ++jcol, ++idx) {
      const int32_t diff = difference(jcol & 1);
      if (jcol < 2) {
        vpred[jcol] += diff;
        hpred[jcol] = vpred[jcol];
      } else {
        hpred[jcol & 1] += diff;
      }
      const int32_t v = std::max(hpred[jcol & 1], 0);
      if (canon5108) {
        const int64_t i = idx / (1680 * int64_t(jhigh));
        if (i <= 1) {
          row = (idx / 1680) % jhigh;
          col = idx % 1680 + 1680 * i;
        } else {
          const int64_t j = idx - 3360 * int64_t(jhigh);
          row = j / 1748;
          col = j % 1748 + 3360;
        }
      }
      const int64_t r = row - C.TopBorder, c = col - C.LeftBorder;
      const int32_t cv = curve[size_t(std::min(v, 4095))];
      if (r < C.ImageHeight) {
        if (c < C.ImageWidth) {
          if (r >= 0 && c >= 0) C.Put(int32_t(r), int32_t(c), cv * 4);
          minimum = std::min(minimum, cv);
        } else {
          C.BlackSum += cv;
        }
      }
      if (!canon5108 && ++col == sw) {
        col = 0;
        ++row;
      }
    }
  }
  C.BitBuffer = buf;
  C.BitCount = cnt;
  C.PastEnd = pastEnd;
  if (C.ImageWidth < C.SensorWidth)
    C.BlackLevel = BlackDivide(C.BlackSum * 4, int64_t(C.SensorWidth - C.ImageWidth) * C.ImageHeight);
  if (strcasecmp(C.Maker, "KODAK") == 0 && minimum != 2147483647) C.BlackLevel = minimum * 4;
}

// ---- Foveon ----------------------------------------------------------------------------------------------

namespace {

void build_foveon_tree(TQxRawContext& C, const std::unordered_map<uint32_t, int32_t>& Codes, uint32_t Code,
                       int32_t Depth) {
  const int32_t self = C.FreeNode;
  TakeNode(C);
  if (Code) {
    const auto it = Codes.find(Code);
    if (it != Codes.end()) {
      C.Nodes[self].Leaf = it->second;
      return;
    }
  }
  if (Code >= 0xD8000000u || Depth > 27) return;
  const uint32_t next = (((Code >> 27) + 1) << 27) | ((Code & 0x3FFFFFFu) << 1);
  C.Nodes[self].Child[0] = C.FreeNode;
  build_foveon_tree(C, Codes, next, Depth + 1);
  C.Nodes[self].Child[1] = C.FreeNode;
  build_foveon_tree(C, Codes, next + 1, Depth + 1);
}

}  // namespace

void foveon_huffman_load_raw(TQxRawContext& C) {
  C.Seek(260);
  int16_t diff[1024];
  for (int16_t& d : diff) d = int16_t(C.Get2());
  std::unordered_map<uint32_t, int32_t> codes;
  for (int32_t i = 0; i < 1024; ++i) codes.emplace(C.Get4(), i);  // the first word of a code wins
  reset_huffman_nodes(C);
  build_foveon_tree(C, codes, 0, 0);
  int32_t bitpos = -1;
  uint32_t buffer = 0;
  C.StartProgress(C.SensorHeight);
  for (int32_t row = 0; row < C.SensorHeight; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    int32_t pred[3] = {0, 0, 0};
    if (bitpos == 0) C.Get4();
    bitpos = 0;
    const int32_t irow = row - C.TopBorder;
    for (int32_t col = 0; col < C.SensorWidth; ++col) {
      const int32_t icol = col - C.LeftBorder;
      uint16_t* cell = C.CellAt(irow, icol);
      for (int32_t c = 0; c < 3; ++c) {
        int32_t n = 0;
        while (C.Nodes[n].Child[0]) {
          bitpos = (bitpos - 1) & 31;
          if (bitpos == 31)
            for (int32_t k = 0; k < 4; ++k) buffer = buffer << 8 | uint32_t(std::max(C.GetC(), 0));
          n = C.Nodes[n].Child[(buffer >> bitpos) & 1];
        }
        pred[c] += diff[C.Nodes[n].Leaf & 1023];
        if (cell && pred[c] > 0) cell[c] = uint16_t(pred[c]);
      }
    }
  }
}

// ---- Sony ------------------------------------------------------------------------------------------------

void sony_keystream_xor(TQxRawContext& C, uint32_t* Words, int32_t Count, bool Start, uint32_t Key) {
  uint32_t* pad = C.SonyPad;
  if (Start) {
    for (int32_t p = 0; p < 4; ++p) pad[p] = Key = Key * 48828125u + 1;
    pad[3] = pad[3] << 1 | (pad[0] ^ pad[2]) >> 31;
    for (int32_t p = 4; p < 127; ++p) pad[p] = (pad[p - 4] ^ pad[p - 2]) << 1 | (pad[p - 3] ^ pad[p - 1]) >> 31;
    for (int32_t p = 0; p < 127; ++p) pad[p] = QxSwap32(pad[p]);
    C.SonyIndex = 127;
  }
  int32_t& p = C.SonyIndex;
  for (int32_t i = 0; i < Count; ++i, ++p) {
    pad[p & 127] = pad[(p + 1) & 127] ^ pad[(p + 65) & 127];
    Words[i] ^= pad[p & 127];
  }
}

namespace {

void XorBytes(TQxRawContext& C, uint8_t* Bytes, int32_t Words, bool Start, uint32_t Key) {
  std::vector<uint32_t> w(size_t(std::max(Words, 0)));
  for (int32_t i = 0; i < Words; ++i) {
    const uint8_t* b = Bytes + 4 * i;
    w[size_t(i)] = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  }
  sony_keystream_xor(C, w.data(), Words, Start, Key);
  for (int32_t i = 0; i < Words; ++i) {
    uint8_t* b = Bytes + 4 * i;
    const uint32_t v = w[size_t(i)];
    b[0] = uint8_t(v);
    b[1] = uint8_t(v >> 8);
    b[2] = uint8_t(v >> 16);
    b[3] = uint8_t(v >> 24);
  }
}

}  // namespace

void sony_keyed_load_raw(TQxRawContext& C) {
  C.Seek(200896);
  const int32_t b = std::max(C.GetC(), 0);
  C.Seek(200895 + 4 * int64_t(b));
  C.ByteOrder = 0x4D4D;
  uint32_t key = C.Get4();
  uint8_t head[40];
  C.Seek(164600);
  C.Read(head, 40);
  XorBytes(C, head, 10, true, key);
  key = uint32_t(head[22]) | uint32_t(head[23]) << 8 | uint32_t(head[24]) << 16 | uint32_t(head[25]) << 24;
  C.Seek(862144);
  const int32_t sw = C.SensorWidth;
  std::vector<uint8_t> raw(size_t(sw) * 2 + 4);
  C.BlackSum = 0;
  C.StartProgress(C.ImageHeight);
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    C.Read(raw.data(), int64_t(sw) * 2);
    XorBytes(C, raw.data(), sw / 2, row == 0, key);
    for (int32_t col = 0; col < 3343 && col < sw; ++col) {
      const int32_t v = raw[size_t(2 * col)] << 8 | raw[size_t(2 * col + 1)];
      const int32_t icol = col - C.LeftBorder;
      if (icol >= 0 && icol < C.ImageWidth) C.Put(row, icol, v);
      else C.BlackSum += v;
    }
  }
  C.BlackLevel = BlackDivide(C.BlackSum, int64_t(3343 - C.ImageWidth) * C.ImageHeight);
}

// ---- Phase One -------------------------------------------------------------------------------------------

void phase_one_xor_load_raw(TQxRawContext& C) {
  C.Seek(int64_t(C.SensorDataOffset) + 8);
  const uint32_t n = C.Get4();
  C.Skip(int64_t(n) + 296);
  const uint16_t akey = C.Get2(), bkey = C.Get2();
  const int32_t sw = C.SensorWidth;
  C.Seek(int64_t(C.SensorDataOffset) + 12 + int64_t(C.TopBorder) * sw * 2);
  std::vector<uint8_t> raw(size_t(sw) * 2);
  std::vector<uint16_t> word(size_t(sw) + 1);
  C.StartProgress(C.ImageHeight);
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    C.Read(raw.data(), int64_t(raw.size()));
    for (int32_t col = 0; col < sw; ++col) word[size_t(col)] = uint16_t(raw[size_t(2 * col)] << 8 | raw[size_t(2 * col + 1)]);
    for (int32_t col = 0; col + 1 < sw; col += 2) {
      const uint16_t a = word[size_t(col)] ^ akey, b = word[size_t(col) + 1] ^ bkey;
      word[size_t(col)] = (b & 0xAAAA) | (a & 0x5555);
      word[size_t(col) + 1] = (a & 0xAAAA) | (b & 0x5555);
    }
    for (int32_t col = 0; col < C.ImageWidth && col + C.LeftBorder < sw; ++col)
      C.Put(row, col, word[size_t(col + C.LeftBorder)]);
  }
}

// ---- Fuji diagonal sensors -----------------------------------------------------------------------------

namespace {

void ReadWords(TQxRawContext& C, std::vector<uint16_t>& W, int32_t Count, bool BigEndian) {
  std::vector<uint8_t> raw(size_t(Count) * 2);
  C.Read(raw.data(), int64_t(raw.size()));
  W.resize(size_t(Count));
  for (int32_t i = 0; i < Count; ++i)
    W[size_t(i)] = BigEndian ? uint16_t(raw[size_t(2 * i)] << 8 | raw[size_t(2 * i + 1)])
                             : uint16_t(raw[size_t(2 * i)] | raw[size_t(2 * i + 1)] << 8);
}

}  // namespace

void finepix_s2_diagonal_load_raw(TQxRawContext& C) {
  C.Skip(141376);
  std::vector<uint16_t> w;
  C.StartProgress(2144);
  for (int32_t row = 0; row < 2144; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    ReadWords(C, w, 2944, true);
    for (int32_t col = 0; col < 2880; ++col) C.Put(row + (col + 1) / 2, 2143 - row + col / 2, w[size_t(col)] << 2);
  }
  C.DiagonalLayout = true;
}

void finepix_diagonal_load_raw(TQxRawContext& C) {
  const int32_t ncol = C.LoaderArgs[0], icol = C.LoaderArgs[1], nrow = C.LoaderArgs[2];
  if (ncol == 1472) C.Skip(11824);
  std::vector<uint16_t> w;
  C.StartProgress(nrow);
  for (int32_t row = 0; row < nrow; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    ReadWords(C, w, ncol, false);
    for (int32_t col = 0; col <= icol && col < ncol; ++col)
      C.Put(icol - col + row / 2, col + (row + 1) / 2, w[size_t(col)] << 2);
  }
  C.DiagonalLayout = true;
}

void finepix_f700_diagonal_load_raw(TQxRawContext& C) {
  std::vector<uint16_t> w;
  C.StartProgress(2168);
  const int32_t from = 16 + 1472 * (C.FujiSecondary ? 1 : 0);
  for (int32_t row = 0; row < 2168; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    ReadWords(C, w, 2944, false);
    for (int32_t col = 0; col < 1440; ++col) C.Put(1439 - col + row / 2, col + (row + 1) / 2, w[size_t(col + from)]);
  }
  C.DiagonalLayout = true;
}

// ---- the simple loaders --------------------------------------------------------------------------------

void powershot600_load_raw(TQxRawContext& C) {
  uint8_t b[1120];
  int32_t v[896];
  C.BlackSum = 0;
  C.StartProgress(C.ImageHeight);
  int32_t row = 0;
  for (int32_t irow = 0; irow < C.ImageHeight; ++irow) {
    C.ReportRow(irow);
    if (Exhausted(C)) break;
    C.Read(b, 1120);
    for (int32_t g = 0; g < 112; ++g) {
      const uint8_t* p = b + 10 * g;
      int32_t* o = v + 8 * g;
      o[0] = p[0] << 2 | p[1] >> 6;
      o[1] = p[2] << 2 | (p[1] >> 4 & 3);
      o[2] = p[3] << 2 | (p[1] >> 2 & 3);
      o[3] = p[4] << 2 | (p[1] & 3);
      o[4] = p[5] << 2 | (p[9] & 3);
      o[5] = p[6] << 2 | (p[9] >> 2 & 3);
      o[6] = p[7] << 2 | (p[9] >> 4 & 3);
      o[7] = p[8] << 2 | p[9] >> 6;
    }
    for (int32_t col = 0; col < 896; ++col) {
      if (col < C.ImageWidth) C.Put(row, col, v[col] * 16);
      else C.BlackSum += v[col];
    }
    row += 2;
    if (row >= C.ImageHeight) row = 1;
  }
  C.BlackLevel = BlackDivide(C.BlackSum * 16, int64_t(C.ImageHeight) * (896 - C.ImageWidth));
}

void powershot_packed10_load_raw(TQxRawContext& C) {
  const int32_t sw = C.SensorWidth;
  const int32_t bytes = sw * 10 / 8;
  std::vector<uint8_t> b(size_t(bytes) + 10);
  C.BlackSum = 0;
  C.StartProgress(C.ImageHeight);
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    C.Read(b.data(), bytes);
    for (int32_t col = 0; col + 8 <= sw + 7 && col < sw; col += 8) {
      const uint8_t* p = b.data() + col / 8 * 10;
      const uint16_t o[8] = {uint16_t(p[1] << 2 | p[0] >> 6), uint16_t(p[0] << 4 | p[3] >> 4),
                             uint16_t(p[3] << 6 | p[2] >> 2), uint16_t(p[2] << 8 | p[5]),
                             uint16_t(p[4] << 2 | p[7] >> 6), uint16_t(p[7] << 4 | p[6] >> 4),
                             uint16_t(p[6] << 6 | p[9] >> 2), uint16_t(p[9] << 8 | p[8])};
      for (int32_t k = 0; k < 8 && col + k < sw; ++k) {
        const int32_t v = o[k] & 0x3FF;
        if (col + k < C.ImageWidth) C.Put(row, col + k, v * 16);
        else C.BlackSum += v;
      }
    }
  }
  if (sw > C.ImageWidth) C.BlackLevel = BlackDivide(C.BlackSum * 16, int64_t(sw - C.ImageWidth) * C.ImageHeight);
}

void coolpix950_load_raw(TQxRawContext& C) {
  read_bits(C, -1);
  C.StartProgress(C.ImageHeight);
  for (int32_t irow = 0; irow < C.ImageHeight; ++irow) {
    C.ReportRow(irow);
    if (Exhausted(C)) break;
    const int32_t row = irow * 2 % C.ImageHeight;
    for (int32_t col = 0; col < C.ImageWidth; ++col) C.Put(row, col, int32_t(read_bits(C, 10)) << 4);
    for (int32_t k = 0; k < 28; ++k) read_bits(C, 8);
  }
}

void coolpix2100_load_raw(TQxRawContext& C) {
  const int32_t bytes = C.ImageWidth * 3 / 2;
  std::vector<uint8_t> b(size_t(bytes) + 12);
  C.StartProgress(C.ImageHeight);
  int32_t done = 0;
  auto readRow = [&](int32_t row) {
    C.ReportRow(done++);
    C.Read(b.data(), bytes);
    for (int32_t col = 0, g = 0; col < C.ImageWidth; col += 8, g += 12) {
      const uint8_t* p = b.data() + g;
      const int32_t o[8] = {p[2] >> 4 | p[3] << 4, p[2] << 8 | p[1], p[7] >> 4 | p[0] << 4, p[7] << 8 | p[6],
                            p[4] >> 4 | p[5] << 4, p[4] << 8 | p[11], p[9] >> 4 | p[10] << 4, p[9] << 8 | p[8]};
      for (int32_t k = 0; k < 8 && col + k < C.ImageWidth; ++k) C.Put(row, col + k, (o[k] & 0xFFF) << 2);
    }
  };
  int32_t row = 0;
  for (; row < C.ImageHeight && !Exhausted(C); row += 2) readRow(row);
  if (row == C.ImageHeight) C.Skip(C.ImageWidth == 1616 ? 8792 : 424);
  for (row = 1; row < C.ImageHeight && !Exhausted(C); row += 2) readRow(row);
}

void msb_packed12_load_raw(TQxRawContext& C) {
  read_bits(C, -1);
  C.StartProgress(C.ImageHeight);
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    for (int32_t col = 0; col < C.ImageWidth; ++col) C.Put(row, col, int32_t(read_bits(C, 12)) << 2);
    for (int32_t k = C.ImageWidth * 3 / 2; k < C.SensorWidth; ++k) read_bits(C, 8);
  }
}

void unpacked_load_raw(TQxRawContext& C) {
  const bool big = C.LoaderArgs[0] == 0;
  const int32_t shift = C.LoaderArgs[1];
  std::vector<uint16_t> w;
  C.StartProgress(C.ImageHeight);
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    ReadWords(C, w, C.SensorWidth, big);
    for (int32_t col = 0; col < C.ImageWidth && col < C.SensorWidth; ++col) {
      const int32_t v = w[size_t(col)];
      C.Put(row, col, shift >= 0 ? v >> shift : v << -shift);
    }
  }
}

void olympus_interlaced12_load_raw(TQxRawContext& C) {
  C.StartProgress(C.ImageHeight);
  const int32_t half = C.ImageHeight / 2;
  for (int32_t irow = 0; irow < C.ImageHeight; ++irow) {
    C.ReportRow(irow);
    const int32_t row = half > 0 ? irow * 2 % C.ImageHeight + irow / half : irow;
    if (row == 0) {
      C.Seek(C.SensorDataOffset);
      read_bits(C, -1);
    } else if (row == 1) {
      const int64_t skip = (int64_t(3) * C.ImageWidth * C.ImageHeight / 4 + 2047) / 2048 * 2048;
      C.Seek(C.SensorDataOffset + skip);
      read_bits(C, -1);
    }
    if (Exhausted(C)) continue;
    for (int32_t col = 0; col < C.ImageWidth; ++col) C.Put(row, col, int32_t(read_bits(C, 12)) << 2);
  }
}

void eight_bit_load_raw(TQxRawContext& C) {
  std::vector<uint8_t> b(size_t(C.SensorWidth));
  C.StartProgress(C.ImageHeight);
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    C.Read(b.data(), C.SensorWidth);
    for (int32_t col = 0; col < C.ImageWidth && col < C.SensorWidth; ++col) C.Put(row, col, b[size_t(col)] << 6);
  }
}

void casio_packed10_load_raw(TQxRawContext& C) {
  uint8_t b[3232];
  C.StartProgress(C.ImageHeight);
  for (int32_t row = 0; row < C.ImageHeight; ++row) {
    C.ReportRow(row);
    if (Exhausted(C)) break;
    C.Read(b, 3232);
    for (int32_t g = 0; g < 644; ++g) {
      const uint8_t* p = b + 5 * g;
      const uint16_t o[4] = {uint16_t(p[0] << 2 | p[1] >> 6), uint16_t(p[1] << 4 | p[2] >> 4),
                             uint16_t(p[2] << 6 | p[3] >> 2), uint16_t(p[3] << 8 | p[4])};
      for (int32_t k = 0; k < 4; ++k)
        if (4 * g + k < C.ImageWidth) C.Put(row, 4 * g + k, (o[k] & 0x3FF) << 4);
    }
  }
}

void nucore_load_raw(TQxRawContext& C) {
  std::vector<uint8_t> b(size_t(C.ImageWidth) * 2);
  const bool flipped = C.Model[0] == 'B' && C.ImageWidth == 2598;
  C.StartProgress(C.ImageHeight);
  for (int32_t irow = 0; irow < C.ImageHeight; ++irow) {
    C.ReportRow(irow);
    if (Exhausted(C)) break;
    int32_t row = irow;
    if (flipped) row = C.ImageHeight - 1 - irow / 2 - ((irow & 1) ? C.ImageHeight / 2 : 0);
    C.Read(b.data(), int64_t(b.size()));
    for (int32_t col = 0; col < C.ImageWidth; ++col)
      C.Put(row, col, (b[size_t(2 * col)] | b[size_t(2 * col + 1)] << 8) << 2);
  }
}

void rollei_d530_load_raw(TQxRawContext& C) {
  const int64_t sw = std::max(C.SensorWidth, 1);
  int64_t p = 0, q = int64_t(C.SensorWidth) * C.SensorHeight * 5 / 8;
  auto put = [&](int64_t Pos, int32_t V) {
    const int64_t row = Pos / sw - C.TopBorder, col = Pos % sw - C.LeftBorder;
    if (row >= 0 && row < C.ImageHeight && col >= 0 && col < C.ImageWidth) C.Put(int32_t(row), int32_t(col), (V & 0x3FF) << 4);
  };
  uint8_t b[10];
  C.StartProgress(1);
  while (C.Stream->Read(b, 10) == 10) {
    uint32_t buffer = 0;
    for (int32_t k = 0; k < 5; ++k) {
      put(p++, b[2 * k] << 8 | b[2 * k + 1]);
      buffer = buffer << 6 | (b[2 * k] >> 2);
    }
    put(q++, int32_t(buffer >> 20));
    put(q++, int32_t(buffer >> 10));
    put(q++, int32_t(buffer));
  }
}

void imacon_flipped_load_raw(TQxRawContext& C) {
  C.Seek(49384);
  std::vector<uint16_t> w;
  C.StartProgress(C.ImageHeight);
  for (int32_t row = C.ImageHeight - 1, n = 0; row >= 0; --row, ++n) {
    C.ReportRow(n);
    if (Exhausted(C)) break;
    ReadWords(C, w, 4090, false);
    for (int32_t col = 0; col < C.ImageWidth; ++col) {
      const int32_t from = C.ImageWidth - 1 - col;
      C.Put(row, col, from < 4090 ? w[size_t(from)] : 0);
    }
  }
}
