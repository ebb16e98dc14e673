#include "imaging/codecs/ccitt.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "platform/base/streams.h"

namespace {

// ---- code tables ------------------------------------------------------------------------------------------

struct TCode {
  uint8_t Len;
  uint32_t Code;
};

constexpr TCode Bits(const char* s) {
  TCode c{0, 0};
  for (; *s; ++s) {
    c.Code = (c.Code << 1) | uint32_t(*s == '1');
    ++c.Len;
  }
  return c;
}

struct TRunCode {
  uint8_t Len;
  uint32_t Code;
  int16_t Run;  // -3 EOL, -1 invalid
};

constexpr int RunEOL = -3;
constexpr int RunInvalid = -1;
constexpr int EntryCount = 128;
constexpr int FirstMakeup = 64;
constexpr int FirstExtMakeup = 91;
constexpr int Entry2560 = 103;
constexpr int EntryEOL = 104;
constexpr int EntryEndOfData = 127;

constexpr const char* WhiteTerm[64] = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"};

constexpr const char* WhiteMakeup[27] = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011"};

constexpr const char* BlackTerm[64] = {
    "0000110111",   "010",          "11",           "10",           "011",          "0011",
    "0010",         "00011",        "000101",       "000100",       "0000100",      "0000101",
    "0000111",      "00000100",     "00000111",     "000011000",    "0000010111",   "0000011000",
    "0000001000",   "00001100111",  "00001101000",  "00001101100",  "00000110111",  "00000101000",
    "00000010111",  "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010", "000011010011",
    "000011010100", "000011010101", "000011010110", "000011010111", "000001101100", "000001101101",
    "000011011010", "000011011011", "000001010100", "000001010101", "000001010110", "000001010111",
    "000001100100", "000001100101", "000001010010", "000001010011", "000000100100", "000000110111",
    "000000111000", "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111"};

constexpr const char* BlackMakeup[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",  "000000110100",
    "000000110101",  "0000001101100", "0000001101101", "0000001001010", "0000001001011", "0000001001100",
    "0000001001101", "0000001110010", "0000001110011", "0000001110100", "0000001110101", "0000001110110",
    "0000001110111", "0000001010010", "0000001010011", "0000001010100", "0000001010101", "0000001011010",
    "0000001011011", "0000001100100", "0000001100101"};

constexpr const char* ExtMakeup[13] = {"00000001000",  "00000001100",  "00000001101",  "000000010010",
                                       "000000010011", "000000010100", "000000010101", "000000010110",
                                       "000000010111", "000000011100", "000000011101", "000000011110",
                                       "000000011111"};

using TRunTable = std::array<TRunCode, EntryCount>;

constexpr TRunTable MakeRunTable(bool black) {
  TRunTable t{};
  for (int i = 0; i < 64; ++i) {
    const TCode c = Bits(black ? BlackTerm[i] : WhiteTerm[i]);
    t[i] = {c.Len, c.Code, int16_t(i)};
  }
  for (int i = 0; i < 27; ++i) {
    const TCode c = Bits(black ? BlackMakeup[i] : WhiteMakeup[i]);
    t[FirstMakeup + i] = {c.Len, c.Code, int16_t((i + 1) * 64)};
  }
  for (int i = 0; i < 13; ++i) {
    const TCode c = Bits(ExtMakeup[i]);
    t[FirstExtMakeup + i] = {c.Len, c.Code, int16_t(1792 + i * 64)};
  }
  t[EntryEOL] = {12, 1, RunEOL};
  t[105] = {9, 1, RunInvalid};
  t[106] = {10, 1, RunInvalid};
  t[107] = {11, 1, RunInvalid};
  // EOLs behind 1 to 20 fill zeros, so that a fill run decodes as one code.
  for (int i = 0; i < 20; ++i) t[108 + i] = {uint8_t(13 + i), 1, RunEOL};
  return t;
}

constexpr TRunTable RunTables[2] = {MakeRunTable(false), MakeRunTable(true)};

enum TMode : int {
  mZeros = 0,
  mPass = 1,
  mHorizontal = 2,
  mVL3 = 3,
  mV0 = 6,
  mVR3 = 9,
  mUncompressed2D = 10,
  mUncompressed1D = 11,
  mEOL = 12,
};

constexpr TCode ModeCodes[13] = {Bits("000000000000"), Bits("0001"),         Bits("001"),
                                 Bits("0000010"),      Bits("000010"),       Bits("010"),
                                 Bits("1"),            Bits("011"),          Bits("000011"),
                                 Bits("0000011"),      Bits("0000001111"),   Bits("000000001111"),
                                 Bits("000000000001")};

constexpr TCode CodeEOL = Bits("000000000001");

constexpr std::array<uint8_t, 256> MakeReverse() {
  std::array<uint8_t, 256> r{};
  for (int i = 0; i < 256; ++i) {
    int v = 0;
    for (int b = 0; b < 8; ++b)
      if (i & (1 << b)) v |= 0x80 >> b;
    r[i] = uint8_t(v);
  }
  return r;
}
constexpr std::array<uint8_t, 256> Reverse = MakeReverse();

// ---- decode trees -----------------------------------------------------------------------------------------

constexpr uint8_t InnerNode = 128;

struct TNode {
  uint8_t Value = InnerNode;
  int32_t Child[2] = {-1, -1};
};

struct TTrees {
  std::vector<TNode> Nodes[2];  // node 0 is the root
};

std::mutex TreesLock;
std::atomic<TTrees*> Trees{nullptr};

void Insert(std::vector<TNode>& nodes, const TRunCode& c, int entry) {
  int32_t n = 0;
  for (int i = c.Len - 1; i >= 0; --i) {
    const int bit = (c.Code >> i) & 1;
    nodes[n].Value = InnerNode;
    if (nodes[n].Child[bit] < 0) {
      nodes[n].Child[bit] = int32_t(nodes.size());
      nodes.push_back(TNode{});
    }
    n = nodes[n].Child[bit];
  }
  nodes[n].Value = uint8_t(entry);
}

const TTrees& GetTrees() {
  TTrees* t = Trees.load(std::memory_order_acquire);
  if (!t) {
    CCITTInitTables();
    t = Trees.load(std::memory_order_acquire);
  }
  return *t;
}

// ---- bit reading ------------------------------------------------------------------------------------------

struct TBitSource {
  const uint8_t* Data;
  int64_t Len;
  int64_t Limit;  // bits
  bool Lsb;

  uint8_t Byte(int64_t i) const {
    if (i < 0 || i >= Len) return 0;
    return Lsb ? Reverse[Data[i]] : Data[i];
  }
  // The 32 bits from Pos, most significant first; bits past the data read as zero.
  uint32_t Peek(int64_t pos) const {
    const int64_t b = pos >> 3;
    uint64_t v = 0;
    if (b >= 0 && b + 5 <= Len && !Lsb) {
      for (int i = 0; i < 5; ++i) v = (v << 8) | Data[b + i];
    } else {
      for (int i = 0; i < 5; ++i) v = (v << 8) | Byte(b + i);
    }
    return uint32_t(v >> (8 - (pos & 7)));
  }
  int Bit(int64_t pos) const { return pos < Limit ? Byte(pos >> 3) >> (7 - (pos & 7)) & 1 : 0; }
  bool AtEnd(int64_t pos) const { return (pos >> 3) >= Len; }
};

// The position of the next one bit at or after Pos; Limit when only zero bits follow.
int64_t NextOne(const TBitSource& src, int64_t pos) {
  if (pos >= src.Limit) return src.Limit;
  int64_t i = pos >> 3;
  uint8_t b = uint8_t(src.Byte(i) & (0xFF >> (pos & 7)));
  while (!b) {
    if (++i >= src.Len) return src.Limit;
    b = src.Data[i];  // zero reads as zero in either bit order
    if (b) b = src.Byte(i);
  }
  return i * 8 + __builtin_clz(uint32_t(b)) - 24;
}

struct TRunResult {
  int Entry;  // -1: no code
  int Len;
};

TRunResult DecodeRun(const std::vector<TNode>& tree, const TBitSource& src, int64_t pos) {
  if (src.AtEnd(pos)) return {EntryEndOfData, RunTables[0][EntryEndOfData].Len};
  const uint32_t bits = src.Peek(pos);
  int32_t n = 0;
  for (int i = 0; i < 32; ++i) {
    n = tree[n].Child[(bits >> (31 - i)) & 1];
    if (n < 0) break;
    if (tree[n].Value != InnerNode) return {tree[n].Value, i + 1};
  }
  return {-1, 1};
}

// ---- row helpers ------------------------------------------------------------------------------------------

inline int64_t RowBytes(int32_t width) { return (int64_t(width) + 7) / 8; }

// First pixel at or after From whose bit equals One; Width when there is none.
int32_t FindBit(const uint8_t* row, int32_t width, int64_t from, bool one) {
  if (from < 0) from = 0;
  if (from >= width) return width;
  const uint8_t flip = one ? 0x00 : 0xFF;
  const int64_t nbytes = RowBytes(width);
  int64_t i = from >> 3;
  uint8_t b = uint8_t((row[i] ^ flip) & (0xFF >> (from & 7)));
  while (!b) {
    if (++i >= nbytes) return width;
    // Whole stretches of the other colour, eight bytes a step.
    while (i + 8 <= nbytes) {
      uint64_t w;
      std::memcpy(&w, row + i, 8);
      if (w != (one ? 0 : ~uint64_t(0))) break;
      i += 8;
    }
    if (i >= nbytes) return width;
    b = uint8_t(row[i] ^ flip);
  }
  const int64_t p = i * 8 + __builtin_clz(uint32_t(b)) - 24;
  return int32_t(std::min<int64_t>(p, width));
}

// Pixels [From, To) cut to the row become black (0) in the decoder convention.
void ClearBits(uint8_t* row, int32_t width, int64_t from, int64_t to) {
  from = std::max<int64_t>(from, 0);
  to = std::min<int64_t>(to, width);
  if (from >= to) return;
  int64_t fb = from >> 3, lb = (to - 1) >> 3;
  const uint8_t first = uint8_t(0xFF >> (from & 7));
  const uint8_t last = uint8_t(0xFF << (7 - ((to - 1) & 7)));
  if (fb == lb) {
    row[fb] &= uint8_t(~(first & last));
    return;
  }
  row[fb] &= uint8_t(~first);
  if (lb > fb + 1) std::memset(row + fb + 1, 0, size_t(lb - fb - 1));
  row[lb] &= uint8_t(~last);
}

int64_t ClampPos(int64_t pos, int64_t start, int64_t limit) {
  return pos > limit ? std::max(start, limit) : pos;
}

int64_t Decode1D(uint8_t* dest, const TBitSource& src, int32_t width, int64_t pos) {
  const TTrees& trees = GetTrees();
  std::memset(dest, 0xFF, size_t(RowBytes(width)));
  int64_t x = 0, rowStart = pos;
  bool black = false;
  int last = -1;
  auto more = [&] {
    return x < width || (last >= FirstMakeup && RunTables[0][last].Run != RunEOL);
  };
  while (more()) {
    const TRunResult r = DecodeRun(trees.Nodes[black], src, pos);
    if (r.Entry < 0) {
      // Only 32 zero bits give no code; stepping one bit at a time would find nothing until the zeros end,
      // so go straight to the first window that holds a one bit (or to the end of the data).
      const int64_t one = NextOne(src, pos);
      const int64_t next = std::max(pos + 1, one >= src.Limit ? src.Limit : one - 31);
      if (pos == rowStart) rowStart = next;
      pos = next;
      continue;
    }
    last = r.Entry;
    const int run = RunTables[black][r.Entry].Run;
    if (run == RunEOL) {
      if (pos == rowStart) {
        pos += r.Len;
        continue;
      }
      pos += r.Len;
      if (black) ClearBits(dest, width, x, width);
      break;
    }
    pos += r.Len;
    if (run == RunInvalid) continue;
    if (black) ClearBits(dest, width, x, x + run);
    x += run;
    if (r.Entry < FirstMakeup) black = !black;
  }
  return pos;
}

// A horizontal-mode run: make-up codes add up until a terminating code; negative when an EOL, an
// invalid code or no code comes first.
int64_t ReadRunTotal(const std::vector<TNode>& tree, bool black, const TBitSource& src, int64_t& pos) {
  int64_t total = 0;
  for (;;) {
    const TRunResult r = DecodeRun(tree, src, pos);
    pos += r.Len;
    if (r.Entry < 0) return -1;
    const int run = RunTables[black][r.Entry].Run;
    if (run < 0) return run;
    total += run;
    if (r.Entry < FirstMakeup) return total;
  }
}

int MatchMode(uint32_t bits) {
  for (int i = 0; i < 13; ++i)
    if ((bits >> (32 - ModeCodes[i].Len)) == ModeCodes[i].Code) return i;
  return mZeros;
}

// The decoder's reference row: 1 = white; positions before the row read as white.
int64_t RefFind(const uint8_t* ref, int32_t width, int64_t from, bool white) {
  if (from < 0) {
    if (white) return from;
    from = 0;
  }
  return FindBit(ref, width, from, white);
}

int64_t Decode2D(uint8_t* dest, const TBitSource& src, int32_t width, uint8_t* ref, int64_t pos, bool eolFill) {
  const TTrees& trees = GetTrees();
  const int64_t nbytes = RowBytes(width);
  std::memset(dest, 0xFF, size_t(nbytes));
  const int64_t start = pos;
  int64_t a0 = -1;
  bool black = false;
  while (a0 < width && pos < src.Limit) {
    const int64_t codeStart = pos;
    int mode = MatchMode(src.Peek(pos));
    pos += ModeCodes[mode].Len;
    if (mode == mZeros && eolFill) {
      pos = NextOne(src, pos);
      if (pos < src.Limit) ++pos;
      mode = mEOL;
    }
    if (mode == mZeros) continue;
    if (mode == mEOL) {
      if (codeStart == start) {
        const int tag = src.Bit(pos);
        ++pos;
        if (tag) {
          pos = Decode1D(dest, src, width, pos);
          break;
        }
        continue;
      }
      if (black) ClearBits(dest, width, a0, width);
      pos = codeStart;
      break;
    }
    if (mode == mUncompressed1D || mode == mUncompressed2D) {
      int64_t x = std::max<int64_t>(a0, 0);
      bool nextBlack = false;
      while (x < width && pos < src.Limit) {
        const uint32_t bits = src.Peek(pos) >> 21;  // the next 11 bits
        if (!bits) {
          pos += 11;
          break;
        }
        const int h = __builtin_clz(bits) - 20;
        pos += h;
        if (h <= 5) {
          x += h - 1;
          ClearBits(dest, width, x, x + 1);
          ++x;
        } else if (h == 6) {
          x += 5;
        } else {
          x += h - 7;
          nextBlack = src.Bit(pos) != 0;  // the tag: 1 when the next run is black
          ++pos;
          break;
        }
      }
      a0 = x;
      black = nextBlack;
      continue;
    }
    // Reference changes: b1 is the first change to the opposite colour after a0, b2 the next one.
    const int64_t b1 = RefFind(ref, width, RefFind(ref, width, a0, !black), black);
    if (mode == mHorizontal) {
      const int64_t r1 = ReadRunTotal(trees.Nodes[black], black, src, pos);
      if (r1 < 0) continue;
      const int64_t r2 = ReadRunTotal(trees.Nodes[!black], !black, src, pos);
      if (r2 < 0) continue;
      const int64_t s = std::max<int64_t>(a0, 0);
      if (black)
        ClearBits(dest, width, s, s + r1);
      else
        ClearBits(dest, width, s + r1, s + r1 + r2);
      a0 = s + r1 + r2;
      continue;
    }
    if (mode == mPass) {
      const int64_t b2 = b1 >= width ? width : RefFind(ref, width, b1, !black);
      if (black) ClearBits(dest, width, a0, b2);
      a0 = b2;
      continue;
    }
    const int64_t a1 = b1 + (mode - mV0);
    if (black) ClearBits(dest, width, a0, a1);
    black = !black;
    a0 = a1;
  }
  std::memcpy(ref, dest, size_t(nbytes));
  return pos;
}

// ---- bit writing ------------------------------------------------------------------------------------------

class TBitWriter {
 public:
  TBitWriter(int32_t width, uint8_t pendingByte, int32_t pendingBits, int32_t fillOrder)
      : Lsb(fillOrder == 2) {
    Buf.reserve(size_t(RowBytes(std::max(width, 0)) / 2 + 16));
    pendingBits = std::clamp(pendingBits, 0, 7);
    if (pendingBits) {
      const uint8_t msb = Lsb ? Reverse[pendingByte] : pendingByte;
      Put(uint32_t(msb >> (8 - pendingBits)), pendingBits);
    }
  }
  void Put(uint32_t code, int len) {
    Acc = (Acc << len) | code;
    Count += len;
    while (Count >= 8) {
      Count -= 8;
      const uint8_t b = uint8_t(Acc >> Count);
      Buf.push_back(Lsb ? Reverse[b] : b);
    }
    Acc &= (uint64_t(1) << Count) - 1;
  }
  void Put(const TCode& c) { Put(c.Code, c.Len); }
  void PadToByte() {
    if (Count) Put(0, 8 - Count);
  }
  // Whole bytes to the stream with one write; the bits left over go back to the carry.
  void Finish(TStream* stream, std::atomic<bool>& aborting, uint8_t& pendingByte, int32_t& pendingBits) {
    if (!Buf.empty()) QxWriteChecked(stream, aborting, Buf.data(), int64_t(Buf.size()));
    const uint8_t msb = uint8_t(Acc << (8 - Count));
    pendingByte = Count ? (Lsb ? Reverse[msb] : msb) : 0;
    pendingBits = Count;
  }

 private:
  bool Lsb;
  std::vector<uint8_t> Buf;
  uint64_t Acc = 0;
  int Count = 0;
};

void PutRun(TBitWriter& w, bool black, int64_t run) {
  const TRunTable& t = RunTables[black];
  while (run > 2560) {
    w.Put(t[Entry2560].Code, t[Entry2560].Len);
    run -= 2560;
  }
  if (run >= 64) {
    const int m = int(run / 64);
    const TRunCode& c = t[m <= 27 ? FirstMakeup + m - 1 : FirstExtMakeup + m - 28];
    w.Put(c.Code, c.Len);
    run &= 63;
  }
  w.Put(t[run].Code, t[run].Len);
}

// Encoder rows: 1 = black.
void Encode1DRow(TBitWriter& w, const uint8_t* row, int32_t width) {
  int32_t x = 0;
  bool black = false;
  while (x < width) {
    const int32_t next = FindBit(row, width, x, !black);
    PutRun(w, black, next - x);
    x = next;
    black = !black;
  }
}

void Encode2DRow(TBitWriter& w, const uint8_t* row, const uint8_t* ref, int32_t width) {
  int32_t a0 = 0;
  bool black = false;
  int32_t a1 = FindBit(row, width, 0, true);
  int32_t b1 = FindBit(ref, width, 0, true);
  for (;;) {
    const int32_t b2 = b1 >= width ? width : FindBit(ref, width, b1, black);
    if (b2 < a1) {
      w.Put(ModeCodes[mPass]);
      a0 = b2;
    } else if (std::abs(a1 - b1) <= 3) {
      w.Put(ModeCodes[mV0 + (a1 - b1)]);
      a0 = a1;
      black = !black;
    } else {
      const int32_t a2 = a1 >= width ? width : FindBit(row, width, a1, black);
      w.Put(ModeCodes[mHorizontal]);
      PutRun(w, black, a1 - a0);
      PutRun(w, !black, a2 - a1);
      a0 = a2;
    }
    if (a0 >= width) break;
    a1 = FindBit(row, width, int64_t(a0) + 1, !black);
    b1 = FindBit(ref, width, FindBit(ref, width, a0, black), !black);
  }
}

// The encoders' reference row: its width, then the row's bytes.
struct TRefRow {
  int32_t Width;
  std::vector<uint8_t> Bytes;
};

TRefRow* RefRowFor(void*& refRow, int32_t width, bool& created) {
  auto* r = static_cast<TRefRow*>(refRow);
  created = false;
  if (r && r->Width != width) {
    // A row of another width cannot serve as reference: start over as if there were none.
    CCITTFreeRefRow(refRow);
    r = nullptr;
  }
  if (!r) {
    r = new TRefRow{width, std::vector<uint8_t>(size_t(RowBytes(width)), 0)};
    refRow = r;
    created = true;
  }
  return r;
}

void KeepRow(TRefRow* r, const uint8_t* data) {
  std::memcpy(r->Bytes.data(), data, r->Bytes.size());
}

// Service-table forms of the two-dimensional encoders.
void ServiceG4(const void* Row, int32_t Width, TStream* Stream, int32_t FillOrder, std::atomic<bool>& Aborting,
               void*& RefLine, int32_t& BitCount, uint8_t& PendingByte) {
  CCITTEncodeG4(static_cast<const uint8_t*>(Row), Width, Stream, PendingByte, BitCount, RefLine, Aborting,
                FillOrder);
}

void ServiceG3(const void* Row, int32_t Width, TStream* Stream, int32_t FillOrder, std::atomic<bool>& Aborting,
               void*& RefLine, int32_t& BitCount, uint8_t& PendingByte) {
  CCITTEncodeG3_2D(static_cast<const uint8_t*>(Row), Width, Stream, PendingByte, BitCount, RefLine, Aborting,
                   FillOrder);
}

}  // namespace

// ---- tables -----------------------------------------------------------------------------------------------

void CCITTInitTables() {
  std::lock_guard<std::mutex> lock(TreesLock);
  if (Trees.load(std::memory_order_acquire)) return;
  auto* t = new TTrees;
  for (int colour = 0; colour < 2; ++colour) {
    auto& nodes = t->Nodes[colour];
    nodes.reserve(512);
    nodes.push_back(TNode{});
    for (int i = 0; i < EntryCount; ++i) Insert(nodes, RunTables[colour][i], i);
  }
  Trees.store(t, std::memory_order_release);
}

void CCITTFreeTables() {
  std::lock_guard<std::mutex> lock(TreesLock);
  delete Trees.exchange(nullptr, std::memory_order_acq_rel);
}

// ---- decoders ---------------------------------------------------------------------------------------------

int32_t CCITTDecodeMH(uint8_t* Dest, const uint8_t* Data, int64_t DataLen, int32_t Width, int32_t FillOrder) {
  if (Width <= 0 || DataLen <= 0) {
    if (Width > 0) std::memset(Dest, 0xFF, size_t(RowBytes(Width)));
    return 0;
  }
  const TBitSource src{Data, DataLen, DataLen * 8, FillOrder != 1};
  const int64_t pos = Decode1D(Dest, src, Width, 0);
  return int32_t(std::min<int64_t>((pos + 7) / 8, std::min<int64_t>(DataLen, INT32_MAX)));
}

int64_t CCITTDecode1D(uint8_t* Dest, const uint8_t* Data, int64_t DataLen, int32_t Width, int64_t BitPos,
                      int32_t FillOrder) {
  if (Width <= 0) return BitPos;
  DataLen = std::max<int64_t>(DataLen, 0);
  BitPos = std::max<int64_t>(BitPos, 0);
  const TBitSource src{Data, DataLen, DataLen * 8, FillOrder != 1};
  return ClampPos(Decode1D(Dest, src, Width, BitPos), BitPos, src.Limit);
}

int64_t CCITTDecode2D(uint8_t* Dest, const uint8_t* Data, int64_t DataLen, int32_t Width, uint8_t* RefRow,
                      int64_t BitPos, int32_t FillOrder, bool EolFill) {
  if (Width <= 0) return BitPos;
  DataLen = std::max<int64_t>(DataLen, 0);
  BitPos = std::max<int64_t>(BitPos, 0);
  const TBitSource src{Data, DataLen, DataLen * 8, FillOrder != 1};
  return ClampPos(Decode2D(Dest, src, Width, RefRow, BitPos, EolFill), BitPos, src.Limit);
}

// ---- encoders ---------------------------------------------------------------------------------------------

void CCITTEncodeMH(const uint8_t* Data, int32_t Width, TStream* Stream, std::atomic<bool>& Aborting,
                   int32_t FillOrder) {
  if (!Stream || !Data) {
    Aborting = true;
    return;
  }
  TBitWriter w(Width, 0, 0, FillOrder);
  Encode1DRow(w, Data, Width);
  w.PadToByte();
  uint8_t pb = 0;
  int32_t bits = 0;
  w.Finish(Stream, Aborting, pb, bits);
}

void CCITTEncodeMHRow(const uint8_t* Data, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                      int32_t& PendingBits, std::atomic<bool>& Aborting, int32_t FillOrder) {
  if (!Stream || !Data) {
    Aborting = true;
    return;
  }
  TBitWriter w(Width, PendingByte, PendingBits, FillOrder);
  // T.4 readers find their rows by the EOLs; without them the data is not readable elsewhere.
  w.Put(CodeEOL);
  Encode1DRow(w, Data, Width);
  w.Finish(Stream, Aborting, PendingByte, PendingBits);
}

void CCITTEncodeG3_2D(const uint8_t* Data, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                      int32_t& PendingBits, void*& RefRow, std::atomic<bool>& Aborting, int32_t FillOrder) {
  if (!Stream) {
    CCITTFreeRefRow(RefRow);
    Aborting = true;
    return;
  }
  Width = std::max(Width, 0);
  TBitWriter w(Width, PendingByte, PendingBits, FillOrder);
  w.Put(CodeEOL);
  if (!Data) {
    CCITTFreeRefRow(RefRow);
  } else {
    bool first = false;
    TRefRow* ref = RefRowFor(RefRow, Width, first);
    w.Put(first ? 1 : 0, 1);
    if (first)
      Encode1DRow(w, Data, Width);
    else
      Encode2DRow(w, Data, ref->Bytes.data(), Width);
    KeepRow(ref, Data);
  }
  w.Finish(Stream, Aborting, PendingByte, PendingBits);
}

void CCITTEncodeG4(const uint8_t* Data, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                   int32_t& PendingBits, void*& RefRow, std::atomic<bool>& Aborting, int32_t FillOrder) {
  if (!Stream) {
    CCITTFreeRefRow(RefRow);
    Aborting = true;
    return;
  }
  Width = std::max(Width, 0);
  TBitWriter w(Width, PendingByte, PendingBits, FillOrder);
  if (!Data) {
    w.Put(CodeEOL);
    w.Put(CodeEOL);
    w.PadToByte();
    CCITTFreeRefRow(RefRow);
  } else {
    bool created = false;
    TRefRow* ref = RefRowFor(RefRow, Width, created);
    Encode2DRow(w, Data, ref->Bytes.data(), Width);
    KeepRow(ref, Data);
  }
  w.Finish(Stream, Aborting, PendingByte, PendingBits);
}

void CCITTFreeRefRow(void*& RefRow) {
  delete static_cast<TRefRow*>(RefRow);
  RefRow = nullptr;
}

void QxRegisterCCITTCoders() {
  QxCodecServices.CCITTEncodeG4 = ServiceG4;
  QxCodecServices.CCITTEncodeG3_2D = ServiceG3;
  QxRegisterStartStep(TQxStartStep::qxsCCITT, CCITTInitTables, CCITTFreeTables);
}
