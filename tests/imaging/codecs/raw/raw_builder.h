#pragma once
// Writers of small synthetic camera-raw files: byte and bit writers, canonical Huffman coding, TIFF
// directories, CIFF heaps and lossless JPEG streams, each written from the containers' layout.
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace rawtest {

using Bytes = std::vector<uint8_t>;

struct Writer {
  Bytes B;
  bool Big = false;
  size_t Size() const { return B.size(); }
  void U8(uint32_t V) { B.push_back(uint8_t(V)); }
  void U16(uint32_t V) {
    if (Big) { U8(V >> 8); U8(V); } else { U8(V); U8(V >> 8); }
  }
  void U32(uint32_t V) {
    if (Big) { U16(V >> 16); U16(V & 0xFFFF); } else { U16(V & 0xFFFF); U16(V >> 16); }
  }
  void Text(const std::string& S, bool Zero = true) {
    B.insert(B.end(), S.begin(), S.end());
    if (Zero) U8(0);
  }
  void Append(const Bytes& X) { B.insert(B.end(), X.begin(), X.end()); }
  void PadTo(size_t N, uint8_t V = 0) {
    if (B.size() < N) B.resize(N, V);
  }
  void Put16(size_t At, uint32_t V) {
    if (Big) { B[At] = uint8_t(V >> 8); B[At + 1] = uint8_t(V); } else { B[At] = uint8_t(V); B[At + 1] = uint8_t(V >> 8); }
  }
  void Put32(size_t At, uint32_t V) {
    if (Big) { Put16(At, V >> 16); Put16(At + 2, V & 0xFFFF); } else { Put16(At, V & 0xFFFF); Put16(At + 2, V >> 16); }
  }
};

// Bits most significant first; with Stuff a zero byte follows every 0xFF; the end is padded with Fill bits.
struct MsbBits {
  Bytes Out;
  uint64_t Acc = 0;
  int N = 0;
  bool Stuff = false;
  void Put(uint32_t V, int Bits) {
    for (int i = Bits - 1; i >= 0; --i) {
      Acc = Acc << 1 | ((V >> i) & 1);
      if (++N == 8) Emit();
    }
  }
  void Emit() {
    Out.push_back(uint8_t(Acc));
    if (Stuff && uint8_t(Acc) == 0xFF) Out.push_back(0);
    Acc = 0;
    N = 0;
  }
  Bytes Finish(int Fill = 0) {
    while (N) Put(Fill, 1);
    return Out;
  }
};

// Length and bits of a difference by the sign rule.
inline int DiffLength(int D) {
  int l = 0;
  for (int a = D < 0 ? -D : D; a; a >>= 1) ++l;
  return l;
}
inline uint32_t DiffBits(int D, int L) { return D >= 0 ? uint32_t(D) : uint32_t(D + (1 << L) - 1); }

// The canonical code of a table of 16 code-length counts followed by the symbols.
struct Huffman {
  std::map<int, std::pair<uint32_t, int>> Code;  // symbol -> code, length
  explicit Huffman(const std::vector<uint8_t>& Table) {
    uint32_t code = 0;
    size_t k = 16;
    for (int len = 1; len <= 16; ++len) {
      for (int i = 0; i < Table[size_t(len - 1)]; ++i) Code[Table[k++]] = {code++, len};
      code <<= 1;
    }
  }
  void Put(MsbBits& W, int Symbol) const {
    auto it = Code.find(Symbol);
    if (it == Code.end()) throw std::runtime_error("symbol not in the table: " + std::to_string(Symbol));
    W.Put(it->second.first, it->second.second);
  }
};

// ---- TIFF ----------------------------------------------------------------------------------------------

struct Entry {
  uint16_t Tag, Type;
  uint32_t Count;
  uint32_t Value = 0;
  Bytes Blob;     // data placed after the directories; the value is its offset
  int Ifd = -1;   // the value is the offset of this directory
  static Entry Short(uint16_t T, uint32_t V) { return {T, 3, 1, V}; }
  static Entry Long(uint16_t T, uint32_t V) { return {T, 4, 1, V}; }
  static Entry Ascii(uint16_t T, const std::string& S) {
    Entry e{T, 2, uint32_t(S.size() + 1)};
    e.Blob.assign(S.begin(), S.end());
    e.Blob.push_back(0);
    return e;
  }
  static Entry Data(uint16_t T, const Bytes& D, uint32_t Count = 1) {
    Entry e{T, 4, Count};
    e.Blob = D;
    return e;
  }
  static Entry Dir(uint16_t T, int Index) {
    Entry e{T, 4, 1};
    e.Ifd = Index;
    return e;
  }
};

// Directory 0 is the first of the chain; the others are reached through Dir entries. Blob offsets are
// returned in BlobAt (in entry order) for callers that patch data.
inline Bytes MakeTiff(bool Big, const std::vector<std::vector<Entry>>& Ifds, size_t Lead = 0,
                      std::vector<size_t>* BlobAt = nullptr) {
  Writer w;
  w.Big = Big;
  w.B.resize(Lead);
  const size_t base = Lead;
  w.Text(Big ? "MM" : "II", false);
  w.U16(42);
  w.U32(8);
  std::vector<size_t> ifdAt;
  size_t at = 8;
  for (const auto& d : Ifds) {
    ifdAt.push_back(at);
    at += 2 + 12 * d.size() + 4;
  }
  std::vector<size_t> blobs;
  for (const auto& d : Ifds)
    for (const auto& e : d)
      if (!e.Blob.empty()) {
        at = (at + 1) & ~size_t(1);
        blobs.push_back(at);
        at += e.Blob.size();
      }
  size_t bi = 0;
  for (const auto& d : Ifds) {
    w.U16(uint32_t(d.size()));
    for (const auto& e : d) {
      w.U16(e.Tag);
      w.U16(e.Type);
      w.U32(e.Count);
      uint32_t v = e.Value;
      if (!e.Blob.empty()) v = uint32_t(blobs[bi++]);
      if (e.Ifd >= 0) v = uint32_t(ifdAt[size_t(e.Ifd)]);
      if (e.Type == 3 && e.Count < 3 && e.Blob.empty()) {
        w.U16(v);
        w.U16(0);
      } else {
        w.U32(v);
      }
    }
    w.U32(0);
  }
  bi = 0;
  for (const auto& d : Ifds)
    for (const auto& e : d)
      if (!e.Blob.empty()) {
        w.PadTo(base + blobs[bi]);
        w.Append(e.Blob);
        if (BlobAt) BlobAt->push_back(blobs[bi]);
        ++bi;
      }
  return w.B;
}

// A Fuji RAF file: the "FUJIFILM" head, TIFF directories at offset 200 naming the model, and the sensor
// data from offset 4096.
inline Bytes FujiFile(const std::string& Model, const Bytes& Data) {
  Writer w;
  w.Big = true;
  w.Text("FUJIFILM", false);
  w.PadTo(84);
  w.U32(200 - 12);  // the TIFF directories' base, less 12
  w.PadTo(100);
  w.U32(4096);  // sensor data offset
  w.PadTo(200);
  w.Append(MakeTiff(true, {{Entry::Ascii(0x10F, "FUJIFILM"), Entry::Ascii(0x110, Model)}}));
  w.PadTo(4096);
  w.Append(Data);
  return w.B;
}

// ---- lossless JPEG (two interleaved components, as the raw loader reads it) -------------------------------

inline std::vector<uint8_t> LosslessTable() {
  // 17 difference lengths with codes of 3 to 8 bits.
  return {0, 0, 6, 2, 2, 2, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
}

// Samples row after row, Wide per row (even); the predictors are those of the loader. Table: 16 counts,
// then the symbols (both components share it).
inline Bytes LosslessJpeg(const std::vector<int>& Samples, int High, int Wide,
                          const std::vector<uint8_t>& table = LosslessTable()) {
  Writer w;
  w.Big = true;
  w.U16(0xFFD8);
  w.U16(0xFFC3);
  w.U16(2 + 6 + 3 * 2);
  w.U8(14);
  w.U16(uint32_t(High));
  w.U16(uint32_t(Wide / 2));
  w.U8(2);
  for (int c = 1; c <= 2; ++c) {
    w.U8(uint32_t(c));
    w.U8(0x11);
    w.U8(0);
  }
  w.U16(0xFFC4);
  w.U16(uint32_t(2 + 2 * (1 + table.size())));
  for (int t = 0; t < 2; ++t) {
    w.U8(uint32_t(t));
    w.Append(table);
  }
  w.U16(0xFFDA);
  w.U16(2 + 1 + 2 * 2 + 3);
  w.U8(2);
  w.U8(1);
  w.U8(0x00);
  w.U8(2);
  w.U8(0x11);
  w.U8(1);
  w.U8(0);
  w.U8(0);
  const Huffman h(table);
  MsbBits bits;
  bits.Stuff = true;
  int vpred[2] = {2048, 2048};
  for (int r = 0; r < High; ++r)
    for (int c = 0; c < Wide; ++c) {
      const int s = Samples[size_t(r) * Wide + c];
      int d;
      if (c < 2) {
        d = s - vpred[c];
        vpred[c] = s;
      } else {
        d = s - Samples[size_t(r) * Wide + c - 2];
      }
      const int l = DiffLength(d);
      h.Put(bits, l);
      if (l) bits.Put(DiffBits(d, l), l);
    }
  w.Append(bits.Finish(1));
  w.U16(0xFFD9);
  return w.B;
}

}  // namespace rawtest
