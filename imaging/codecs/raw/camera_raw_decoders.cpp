// Camera-raw sensor data: the bit reader, the Huffman trees and every loader except the Kodak ones.
#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>

#include "imaging/codecs/raw/camera_raw_internal.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/utils.h"
#include "platform/base/parallel.h"
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

namespace {

// Drops the byte after every 0xFF of coded data (the stuffed zero, or a marker's second byte), in place;
// gives the length left.
size_t Unstuff(uint8_t* Data, size_t Size) {
  size_t in = 0, out = 0;
  while (in < Size) {
    const void* ff = std::memchr(Data + in, 0xFF, Size - in);
    const size_t to = ff ? size_t(static_cast<const uint8_t*>(ff) - Data) + 1 : Size;
    std::memmove(Data + out, Data + in, to - in);
    out += to - in;
    in = to;
    if (ff && in < Size) ++in;
  }
  return out;
}

// The bits of unstuffed data followed by at least eight zero bytes, read from the top of a 64-bit
// reserve that each refill tops up to 56 bits or more without a branch. Past the end the data reads as zeros.
struct TPlainBits {
  const uint8_t* Data;
  int64_t Size;
  int64_t Pos = 0;    // bytes wholly taken into the reserve
  uint64_t Bits = 0;  // the next bits, from the top; below Count, zeros or the bits that follow
  int32_t Count = 0;

  inline void Refill() {
    uint64_t w;
    std::memcpy(&w, Data + std::min(Pos, Size), 8);
    Bits |= __builtin_bswap64(w) >> Count;
    Pos += (63 - Count) >> 3;
    Count |= 56;
  }
  inline uint32_t Peek(int32_t N) const { return uint32_t(Bits >> (64 - N)); }  // 1 <= N <= 32
  inline void Consume(int32_t N) {
    Bits <<= N;
    Count -= N;
  }
  // The zeros read past the end by a reader that refilled its reserve byte by byte to 25 bits: where
  // loading stops on damaged data does not depend on this reader's larger reserve.
  int64_t PastEndAsFilledTo25() const {
    const int64_t consumed = Pos * 8 - Count;
    return std::max<int64_t>(0, (consumed + 25 + 7) / 8 - Size);
  }
};

// A look-up over a tree by the next kBits bits: the bits of the code, and where the difference bits after
// it fit too, the difference itself; where only the code fits, the number of difference bits still to read;
// where not even the code fits, the tree walk.
struct TLosslessTable {
  static constexpr int32_t kBits = 11;
  static constexpr uint8_t kWalk = 255;
  struct TEntry {
    int16_t Value;
    uint8_t Bits;   // of the code and the difference bits after it
    uint8_t Extra;  // difference bits still to read after the code, or kWalk
  };
  TEntry Entry[1 << kBits];
  // Entry[i].Bits again, apart: the next look-up waits only for this byte.
  uint8_t Bits[1 << kBits];
  TLosslessTable(const TQxRawContext& C, int32_t Root) {
    for (int32_t i = 0; i < (1 << kBits); ++i) {
      int32_t n = Root, used = 0;
      while (C.Nodes[n].Child[0] && used < kBits) n = C.Nodes[n].Child[(i >> (kBits - 1 - used++)) & 1];
      TEntry& e = Entry[i];
      e = {0, 0, kWalk};
      if (C.Nodes[n].Child[0]) continue;
      const int32_t L = std::min(C.Nodes[n].Leaf, 16);
      if (L <= 0) {
        e = {0, uint8_t(used), 0};
      } else if (used + L <= kBits) {
        const uint32_t v = uint32_t(i >> (kBits - used - L)) & ((1u << L) - 1);
        const int32_t d = (v & (1u << (L - 1))) ? int32_t(v) : int32_t(v) - int32_t((1u << L) - 1);
        e = {int16_t(d), uint8_t(used + L), 0};
      } else {
        e = {0, uint8_t(used + L), uint8_t(L)};
      }
    }
    for (int32_t i = 0; i < (1 << kBits); ++i) Bits[i] = Entry[i].Bits;
  }
};

// A code longer than the table: the tree walk bit by bit, then the difference; the reserve is full after.
[[gnu::noinline]] int32_t WalkLosslessDifference(TPlainBits& B, const TQxRawContext& C, int32_t Root) {
  int32_t n = Root;
  for (int32_t guard = 0; C.Nodes[n].Child[0] && guard < 2048; ++guard) {
    if (B.Count < 1) B.Refill();
    n = C.Nodes[n].Child[B.Peek(1)];
    B.Consume(1);
  }
  const int32_t L = std::min(C.Nodes[n].Leaf, 16);
  B.Refill();
  if (L <= 0) return 0;
  const uint32_t v = B.Peek(L);
  B.Consume(L);
  B.Refill();
  return (v & (1u << (L - 1))) ? int32_t(v) : int32_t(v) - int32_t((1u << L) - 1);
}

// The difference of one sample from a reserve of at least 27 bits, without a branch on the data unless the
// code is longer than the table.
[[gnu::always_inline]] inline int32_t LosslessDifference(TPlainBits& B, const TLosslessTable& Table,
                                                         const TQxRawContext& C, int32_t Root) {
  const uint32_t index = B.Peek(TLosslessTable::kBits);
  const TLosslessTable::TEntry e = Table.Entry[index];
  if (e.Extra == TLosslessTable::kWalk) [[unlikely]] {
    // Through a copy: the caller's reader stays in registers.
    TPlainBits walk = B;
    const int32_t d = WalkLosslessDifference(walk, C, Root);
    B = walk;
    return d;
  }
  // The difference bits end where the entry's bits do: L bits, none when L is 0.
  const uint32_t L = e.Extra;
  const int32_t used = Table.Bits[index];
  const uint32_t v = uint32_t(B.Bits >> (63 - used) >> 1) & ((1u << L) - 1);
  B.Consume(used);
  const uint32_t half = (1u << L) >> 1;
  return e.Value + int32_t(v) - (v < half ? int32_t((1u << L) - 1) : 0);
}

// One line of Wide (even) samples of the two interleaved components, each predicted from the sample two
// before it, the first two of a line from the first two of the line before.
[[gnu::noinline]] void DecodeLosslessLine(TPlainBits& Reader, const TLosslessTable (&Table)[2],
                                          const TQxRawContext& C, const int32_t (&Root)[2], int32_t Wide,
                                          int32_t (&VPred)[2], const uint16_t* Curve, uint16_t* Out) {
  TPlainBits b = Reader;
  int32_t h0 = 0, h1 = 0;
  for (int32_t col = 0; col < Wide; col += 2) {
    // 56 bits cover two codes of the table with their difference bits (27 at most each).
    b.Refill();
    const int32_t d0 = LosslessDifference(b, Table[0], C, Root[0]);
    const int32_t d1 = LosslessDifference(b, Table[1], C, Root[1]);
    if (col == 0) {
      h0 = VPred[0] += d0;
      h1 = VPred[1] += d1;
    } else {
      h0 += d0;
      h1 += d1;
    }
    Out[col] = Curve[std::min(std::max(h0, 0), 4095)];
    Out[col + 1] = Curve[std::min(std::max(h1, 0), 4095)];
  }
  b.Refill();
  Reader = b;
}

}  // namespace

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
  if (!trees || jwide <= 0 || jhigh <= 0 || C.SensorWidth <= 0) return;
  C.StartProgress(jhigh);
  C.SkipStuffedZero = 1;
  C.BlackSum = 0;
  // The coded data is taken into memory whole: byte-wise calls on the stream would cost more than the
  // decoding itself.
  const int64_t start = C.Tell();
  const int64_t codedSize = std::max<int64_t>(C.FileSize - start, 0);
  TQxRawPages coded;
  coded.Allocate(size_t(codedSize) + 8);
  uint8_t* const codedData = static_cast<uint8_t*>(coded.Memory);
  C.Read(codedData, codedSize);
  C.PastEnd = 0;
  const int64_t plainSize = int64_t(Unstuff(codedData, size_t(codedSize)));
  std::memset(codedData + plainSize, 0, 8);
  TPlainBits bits{codedData, plainSize};
  const TLosslessTable table[2] = {TLosslessTable(C, root[0]), TLosslessTable(C, root[1])};
  const int64_t sw = C.SensorWidth;
  const bool canon5108 = sw == 5108;
  const bool kodak = strcasecmp(C.Maker, "KODAK") == 0;
  const int32_t ih = C.ImageHeight, iw = C.ImageWidth, top = C.TopBorder, left = C.LeftBorder;
  int32_t vpred[2] = {2048, 2048};
  int32_t minimum = 2147483647;
  std::vector<uint16_t> line(static_cast<size_t>(jwide));
  // The visible photosites in sensor order, placed into the store afterwards by every core, or taken from
  // here by the passes after loading.
  TQxRawPages visible;
  if (!canon5108) visible.Allocate(size_t(std::max(ih, 0)) * size_t(std::max(iw, 0)) * 2);
  uint16_t* const plane = static_cast<uint16_t*>(visible.Memory);
  C.PendingDecoded.store(0);  // samples decoded, in sensor order
  const bool whole = loader_defers_placement(C);
  std::function<void(int32_t, uint16_t(*)[4], const uint16_t*)> fill;
  if (whole) {
    const int32_t firstCol = std::max(0, -left);
    const uint32_t pattern = C.CfaPattern;
    TQxRawContext* const context = &C;
    fill = [=](int32_t r, uint16_t(*cells)[4], const uint16_t* balance) {
      const int64_t decoded = context->PendingDecoded.load(std::memory_order_acquire);
      const int64_t row = int64_t(r) + top;
      const int32_t lastCol = row < 0 ? 0 : int32_t(std::clamp<int64_t>(std::min<int64_t>(sw - left, decoded - row * sw - left), 0, iw));
      const int32_t from = std::min(firstCol, lastCol);
      std::memset(cells, 0, size_t(from) * 8);
      std::memset(cells + lastCol, 0, size_t(iw - lastCol) * 8);
      const uint16_t* src = plane + int64_t(r) * iw;
      // Whole cells, the sample in its colour's place and zeros around it.
      static_assert(std::endian::native == std::endian::little, "a cell is written as one 64-bit word");
      const int32_t shift[2] = {int32_t(pattern >> ((((r << 1) & 14) + 0) << 1) & 3) * 16,
                                int32_t(pattern >> ((((r << 1) & 14) + 1) << 1) & 3) * 16};
      if (balance) {
        const uint16_t* const to[2] = {balance + (shift[0] << 12), balance + (shift[1] << 12)};
        for (int32_t c = from; c < lastCol; ++c) {
          const uint64_t v = uint64_t(to[c & 1][uint16_t(src[c] * 4)]) << shift[c & 1];
          std::memcpy(cells[c], &v, 8);
        }
      } else {
        for (int32_t c = from; c < lastCol; ++c) {
          const uint64_t v = uint64_t(uint16_t(src[c] * 4)) << shift[c & 1];
          std::memcpy(cells[c], &v, 8);
        }
      }
    };
  }
  // Rows handed on while decoding goes on: each from the top once every sample of it is decoded.
  const bool streaming = whole && C.DeferPlacement && C.RowsDecoded;
  int32_t handedOn = 0;
  auto handOn = [&](int64_t Decoded, bool Last) {
    C.PendingDecoded.store(Decoded, std::memory_order_release);
    if (!streaming) return;
    const int32_t ready = Last ? ih : int32_t(std::clamp<int64_t>(Decoded / sw - top, 0, ih));
    if (Last || ready >= handedOn + 16) C.RowsDecoded(handedOn = ready);
  };
  if (streaming) {
    C.PendingMemory.Swap(visible);
    C.PendingRow = fill;
    C.RowsDecoded(0);
  }
  bits.Refill();
  for (int32_t jrow = 0; jrow < jhigh; ++jrow) {
    C.ReportRow(jrow);
    if (bits.PastEndAsFilledTo25() > 8) break;
    DecodeLosslessLine(bits, table, C, root, jwide, vpred, curve.data(), line.data());
    int64_t idx = int64_t(jrow) * jwide;
    if (canon5108) {
      for (int32_t jcol = 0; jcol < jwide; ++jcol, ++idx) {
        int64_t row, col;
        const int64_t i = idx / (1680 * int64_t(jhigh));
        if (i <= 1) {
          row = (idx / 1680) % jhigh;
          col = idx % 1680 + 1680 * i;
        } else {
          const int64_t j = idx - 3360 * int64_t(jhigh);
          row = j / 1748;
          col = j % 1748 + 3360;
        }
        const int64_t r = row - top, c = col - left;
        const int32_t cv = line[size_t(jcol)];
        if (r < ih) {
          if (c < iw) {
            if (r >= 0 && c >= 0) C.Put(int32_t(r), int32_t(c), cv * 4);
            minimum = std::min(minimum, cv);
          } else {
            C.BlackSum += cv;
          }
        }
      }
      continue;
    }
    // The line covers runs of sensor rows: within each, the visible part, and the masked part on the right
    // whose average is the black level.
    int64_t row = idx / sw, col = idx % sw;
    int32_t at = 0;
    bool below = false;
    while (at < jwide) {
      const int32_t run = int32_t(std::min<int64_t>(jwide - at, sw - col));
      const int64_t r = row - top;
      if (r >= ih) {
        below = true;  // every later sample lies below the picture
        break;
      }
      const uint16_t* src = line.data() + at;
      const int32_t seen = int32_t(std::clamp<int64_t>(left + int64_t(iw) - col, 0, run));
      if (kodak)
        for (int32_t k = 0; k < seen; ++k) minimum = std::min<int32_t>(minimum, src[k]);
      if (r >= 0) {
        const int32_t from = int32_t(std::clamp<int64_t>(left - col, 0, seen));
        if (from < seen) std::memcpy(plane + r * iw + (col + from - left), src + from, size_t(seen - from) * 2);
      }
      int64_t black = 0;
      for (int32_t k = seen; k < run; ++k) black += src[k];
      C.BlackSum += black;
      at += run;
      col += run;
      if (col == sw) {
        col = 0;
        ++row;
      }
    }
    handOn(idx + at, false);
    if (below) break;
  }
  handOn(C.PendingDecoded.load(), true);
  C.BitBuffer = 0;
  C.BitCount = 0;
  C.PastEnd = bits.PastEndAsFilledTo25();
  if (whole && !streaming) {
    if (C.DeferPlacement) {
      C.PendingMemory.Swap(visible);
      C.PendingRow = fill;
    } else {
      ParallelBands(0, ih, 16, [&](int32_t First, int32_t Last) {
        for (int32_t r = First; r < Last; ++r) fill(r, C.Pixels + int64_t(r) * C.StoreWidth, nullptr);
      });
    }
  } else if (!canon5108 && !whole) {
    // Whole pairs of rows to a band, so that the two rows a half-size cell takes from are never split.
    const int64_t decoded = C.PendingDecoded.load();
    const int32_t half = C.HalfSize, sh = C.StoreHeight, stw = C.StoreWidth;
    const int32_t firstCol = std::max(0, -left);
    ParallelBands(0, sh, 16, [&](int32_t First, int32_t Last) {
      for (int32_t q = First; q < Last; ++q)
        for (int32_t r = q << half; r < std::min(ih, (q + 1) << half); ++r) {
          const int64_t row = int64_t(r) + top;
          if (row < 0) continue;
          const int64_t lastCol = std::min<int64_t>({iw, sw - left, decoded - row * sw - left});
          const uint16_t* src = plane + int64_t(r) * iw;
          uint16_t(*cells)[4] = C.Pixels + int64_t(q) * stw;
          const int32_t colour[2] = {C.ColorAt(r, 0), C.ColorAt(r, 1)};
          for (int32_t c = firstCol; c < int32_t(lastCol); ++c) cells[c >> half][colour[c & 1]] = uint16_t(src[c] * 4);
        }
    });
  }
  if (C.ImageWidth < C.SensorWidth)
    C.BlackLevel = BlackDivide(C.BlackSum * 4, int64_t(C.SensorWidth - C.ImageWidth) * C.ImageHeight);
  if (kodak && minimum != 2147483647) C.BlackLevel = minimum * 4;
}

bool loader_defers_placement(const TQxRawContext& C) {
  return C.SensorLoader == lossless_huffman_load_raw && C.SensorWidth != 5108 && !C.HalfSize &&
         C.StoreWidth == C.ImageWidth && C.StoreHeight == C.ImageHeight;
}

double loader_pixels_per_byte(const TQxRawContext& C) {
  const TQxRawLoader l = C.SensorLoader;
  // Codes of one bit at least per value.
  if (l == nikon_compressed_load_raw || l == lossless_huffman_load_raw || l == foveon_huffman_load_raw) return 8;
  // A block of 64 values can end after two short codes; a run of eight 2 x 2 blocks takes a few bits.
  if (l == canon_compressed_load_raw) return 256;
  if (l == kodak_tree_coded_load_raw) return 64;
  // Zero-length differences after a table of lengths; a JPEG pair codes two rows per decoded row.
  if (l == kodak_blocked_diff_load_raw || l == kodak_ycc_load_raw) return 4;
  if (l == kodak_jpeg_pair_load_raw) return 2048;
  // The turned Fuji grid: the store holds its corners too, about two cells for each 16-bit sample.
  if (l == finepix_s2_diagonal_load_raw || l == finepix_diagonal_load_raw || l == finepix_f700_diagonal_load_raw)
    return 2;
  // Packed and unpacked forms: at most one photosite per byte (8-bit samples).
  return 1;
}

bool loader_ran_out_of_data(const TQxRawContext& C) {
  // The bit readers look a few bytes ahead of what they use.
  return C.PastEnd > 8;
}

bool gains_known_before_loading(const TQxRawContext& C) {
  // The lossless loader sets the black level from masked columns, or for Kodak from the data's minimum.
  const bool blackFromData = C.SensorLoader != lossless_huffman_load_raw || C.ImageWidth < C.SensorWidth ||
                             strcasecmp(C.Maker, "KODAK") == 0;
  return !blackFromData && !C.AutoBalance && !(C.CameraBalance && C.CameraRedGain == -1);
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
  const int64_t first = int64_t(C.SensorWidth) * C.SensorHeight * 5 / 8;
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
  // The data ends where it ends; the first counter must have covered its share of the picture.
  if (p < first) C.PastEnd += (first - p) * 2;
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
