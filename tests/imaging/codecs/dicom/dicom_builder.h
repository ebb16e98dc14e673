#pragma once
// Writers of small DICOM files and lossless JPEG streams for the reader's tests.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace dcmtest {

using Bytes = std::vector<uint8_t>;

enum class Syntax { ImplicitLE, ExplicitLE, ExplicitBE };

inline const char* SyntaxUid(Syntax S) {
  switch (S) {
    case Syntax::ImplicitLE: return "1.2.840.10008.1.2";
    case Syntax::ExplicitLE: return "1.2.840.10008.1.2.1";
    default: return "1.2.840.10008.1.2.2";
  }
}

class DicomWriter {
 public:
  Bytes Out;
  Syntax Data;

  // With Preamble: 128 zero bytes, "DICM" and a meta group naming TransferSyntax (empty: the data set's).
  explicit DicomWriter(Syntax S, bool Preamble = true, std::string TransferSyntax = "") : Data(S) {
    if (!Preamble) return;
    Out.assign(128, 0);
    Put("DICM");
    if (TransferSyntax.empty()) TransferSyntax = SyntaxUid(S);
    std::string ts = TransferSyntax;
    if (ts.size() % 2) ts.push_back('\0');
    MetaElem(0x0002, 0x0001, "OB", Bytes{0, 1});
    MetaElem(0x0002, 0x0010, "UI", Bytes(ts.begin(), ts.end()));
  }

  void Put(const std::string& S) { Out.insert(Out.end(), S.begin(), S.end()); }
  void Put(const Bytes& B) { Out.insert(Out.end(), B.begin(), B.end()); }
  void U16(uint32_t V, bool Big) {
    if (Big) Out.insert(Out.end(), {uint8_t(V >> 8), uint8_t(V)});
    else Out.insert(Out.end(), {uint8_t(V), uint8_t(V >> 8)});
  }
  void U32(uint32_t V, bool Big) {
    if (Big) Out.insert(Out.end(), {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)});
    else Out.insert(Out.end(), {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)});
  }
  static bool LongVR(const std::string& VR) {
    return VR == "OB" || VR == "OW" || VR == "SQ" || VR == "UN" || VR == "UT";
  }

  void MetaElem(uint16_t G, uint16_t E, const std::string& VR, const Bytes& V) {
    U16(G, false);
    U16(E, false);
    Put(VR);
    if (LongVR(VR)) {
      U16(0, false);
      U32(uint32_t(V.size()), false);
    } else {
      U16(uint32_t(V.size()), false);
    }
    Put(V);
  }

  // One element in the data set's encoding; Length overrides the value's size (0xFFFFFFFF: undefined).
  void Elem(uint16_t G, uint16_t E, const std::string& VR, const Bytes& V, int64_t Length = -2) {
    const bool big = Data == Syntax::ExplicitBE;
    const uint32_t len = Length == -2 ? uint32_t(V.size()) : uint32_t(Length);
    U16(G, big);
    U16(E, big);
    if (Data == Syntax::ImplicitLE) {
      U32(len, false);
    } else if (LongVR(VR)) {
      Put(VR);
      U16(0, big);
      U32(len, big);
    } else {
      Put(VR);
      U16(len, big);
    }
    Put(V);
  }
  void US(uint16_t G, uint16_t E, uint16_t V) {
    Elem(G, E, "US", Data == Syntax::ExplicitBE ? Bytes{uint8_t(V >> 8), uint8_t(V)} : Bytes{uint8_t(V), uint8_t(V >> 8)});
  }
  void Text(uint16_t G, uint16_t E, const std::string& VR, std::string V) {
    if (V.size() % 2) V.push_back(' ');
    Elem(G, E, VR, Bytes(V.begin(), V.end()));
  }
  // Item and delimiter tags carry a 4-byte length whatever the encoding.
  void Tag4(uint16_t G, uint16_t E, uint32_t Len) {
    const bool big = Data == Syntax::ExplicitBE;
    U16(G, big);
    U16(E, big);
    U32(Len, big);
  }

  // The image description of group 0028.
  void Image(int Rows, int Cols, int Bits, int Samples = 1, const std::string& Photometric = "MONOCHROME2",
             int PixelRep = 0, int Allocated = -1) {
    US(0x0028, 0x0002, uint16_t(Samples));
    Text(0x0028, 0x0004, "CS", Photometric);
    if (Samples > 1) US(0x0028, 0x0006, 0);
    US(0x0028, 0x0010, uint16_t(Rows));
    US(0x0028, 0x0011, uint16_t(Cols));
    US(0x0028, 0x0100, uint16_t(Allocated < 0 ? (Bits > 8 ? 16 : 8) : Allocated));
    US(0x0028, 0x0101, uint16_t(Bits));
    US(0x0028, 0x0103, uint16_t(PixelRep));
  }
  void Pixels8(const Bytes& P) { Elem(0x7FE0, 0x0010, "OB", P); }
  void Pixels16(const std::vector<uint16_t>& P) {
    Bytes b;
    for (uint16_t v : P) {
      if (Data == Syntax::ExplicitBE) b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
      else b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
    }
    Elem(0x7FE0, 0x0010, "OW", b);
  }
  // Encapsulated frames, each one fragment; with Table the offset table lists them.
  void Encapsulated(const std::vector<Bytes>& Frames, bool Table) {
    Elem(0x7FE0, 0x0010, "OB", {}, 0xFFFFFFFF);
    Bytes offsets;
    uint32_t at = 0;
    for (const Bytes& f : Frames) {
      if (Table) offsets.insert(offsets.end(), {uint8_t(at), uint8_t(at >> 8), uint8_t(at >> 16), uint8_t(at >> 24)});
      at += 8 + uint32_t(f.size() + f.size() % 2);
    }
    Tag4(0xFFFE, 0xE000, uint32_t(offsets.size()));
    Put(offsets);
    for (Bytes f : Frames) {
      if (f.size() % 2) f.push_back(0);
      Tag4(0xFFFE, 0xE000, uint32_t(f.size()));
      Put(f);
    }
    Tag4(0xFFFE, 0xE0DD, 0);
  }
};

// ---- PackBits segments ---------------------------------------------------------------------------

inline Bytes PackBits(const Bytes& In) {
  Bytes out;
  size_t i = 0;
  while (i < In.size()) {
    size_t run = 1;
    while (i + run < In.size() && run < 128 && In[i + run] == In[i]) ++run;
    if (run >= 2) {
      out.push_back(uint8_t(int8_t(1 - int(run))));
      out.push_back(In[i]);
      i += run;
      continue;
    }
    size_t lit = 1;
    while (i + lit < In.size() && lit < 128 && !(i + lit + 1 < In.size() && In[i + lit] == In[i + lit + 1])) ++lit;
    out.push_back(uint8_t(lit - 1));
    out.insert(out.end(), In.begin() + long(i), In.begin() + long(i + lit));
    i += lit;
  }
  return out;
}

// An RLE frame: the 64-byte header, then the segments.
inline Bytes RleFrame(const std::vector<Bytes>& Segments) {
  Bytes out(64, 0);
  auto put32 = [&](size_t At, uint32_t V) {
    for (int k = 0; k < 4; ++k) out[At + size_t(k)] = uint8_t(V >> (8 * k));
  };
  put32(0, uint32_t(Segments.size()));
  for (size_t i = 0; i < Segments.size(); ++i) {
    put32(4 + 4 * i, uint32_t(out.size()));
    out.insert(out.end(), Segments[i].begin(), Segments[i].end());
  }
  return out;
}

// ---- lossless JPEG ------------------------------------------------------------------------------

// Code lengths of the difference categories 0..16 of the test tables (lengths past 8 on purpose).
inline std::vector<int> CategoryLengths(int Variant) {
  if (Variant == 0) return {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  return {3, 2, 3, 3, 3, 4, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
}

class BitWriter {
 public:
  Bytes Out;
  void Bits(uint32_t V, int N) {
    for (int i = N - 1; i >= 0; --i) {
      acc_ = (acc_ << 1) | ((V >> i) & 1);
      if (++n_ == 8) Flush();
    }
  }
  void Align() {
    while (n_ != 0) Bits(1, 1);
  }

 private:
  void Flush() {
    Out.push_back(uint8_t(acc_));
    if (acc_ == 0xFF) Out.push_back(0);
    acc_ = 0;
    n_ = 0;
  }
  uint32_t acc_ = 0;
  int n_ = 0;
};

struct LjOptions {
  int Precision = 8;
  int Predictor = 1;
  int Tables = 1;             // 1: one table for all components; 3: one per component (variants 0, 1, 0)
  bool MisleadingSelectors = false;  // scan selectors naming the wrong tables
  int RestartRows = 0;        // restart interval in whole rows, 0 none
};

// Encodes Samples (Components interleaved, row after row) as a lossless JPEG stream.
inline Bytes EncodeLossless(const std::vector<int>& Samples, int W, int H, int Components, const LjOptions& O) {
  const int P = O.Precision;
  const int mask = (1 << (P == 8 ? 8 : 16)) - 1;
  Bytes out{0xFF, 0xD8};
  auto seg = [&](uint8_t Marker, const Bytes& Body) {
    out.insert(out.end(), {0xFF, Marker, uint8_t((Body.size() + 2) >> 8), uint8_t(Body.size() + 2)});
    out.insert(out.end(), Body.begin(), Body.end());
  };
  Bytes sof{uint8_t(P), uint8_t(H >> 8), uint8_t(H), uint8_t(W >> 8), uint8_t(W), uint8_t(Components)};
  for (int c = 0; c < Components; ++c) sof.insert(sof.end(), {uint8_t(c + 1), 0x11, 0});
  seg(0xC3, sof);
  // Canonical codes of each table.
  std::vector<std::vector<uint32_t>> codes;
  std::vector<std::vector<int>> lens;
  Bytes dht;
  for (int t = 0; t < O.Tables; ++t) {
    const std::vector<int> l = CategoryLengths(t == 1 ? 1 : 0);
    dht.push_back(uint8_t(t));
    int counts[17] = {};
    for (int x : l) ++counts[x];
    for (int k = 1; k <= 16; ++k) dht.push_back(uint8_t(counts[k]));
    std::vector<uint32_t> c(17);
    uint32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
      for (int s = 0; s <= 16; ++s)
        if (l[size_t(s)] == len) {
          dht.push_back(uint8_t(s));
          c[size_t(s)] = code++;
        }
      code <<= 1;
    }
    codes.push_back(c);
    lens.push_back(l);
  }
  seg(0xC4, dht);
  if (O.RestartRows) seg(0xDD, {uint8_t((O.RestartRows * W) >> 8), uint8_t(O.RestartRows * W)});
  Bytes sos{uint8_t(Components)};
  for (int c = 0; c < Components; ++c)
    sos.insert(sos.end(), {uint8_t(c + 1), uint8_t(O.MisleadingSelectors ? ((Components - 1 - c) << 4) : (c << 4))});
  sos.insert(sos.end(), {uint8_t(O.Predictor), 0, 0});
  seg(0xDA, sos);

  BitWriter bw;
  auto at = [&](int X, int Y, int C) { return Samples[size_t((Y * W + X) * Components + C)]; };
  int restartCount = 0;
  int firstRow = 0;
  for (int y = 0; y < H; ++y) {
    if (O.RestartRows && y > 0 && y % O.RestartRows == 0) {
      bw.Align();
      bw.Out.insert(bw.Out.end(), {0xFF, uint8_t(0xD0 + (restartCount++ & 7))});
      firstRow = y;
    }
    for (int x = 0; x < W; ++x)
      for (int c = 0; c < Components; ++c) {
        int pred;
        if (x == 0 && y == firstRow) pred = 1 << (P - 1);
        else if (y == firstRow) pred = at(x - 1, y, c);
        else if (x == 0) pred = at(x, y - 1, c);
        else {
          const int ra = at(x - 1, y, c), rb = at(x, y - 1, c), rc = at(x - 1, y - 1, c);
          switch (O.Predictor) {
            case 1: pred = ra; break;
            case 2: pred = rb; break;
            case 3: pred = rc; break;
            case 4: pred = ra + rb - rc; break;
            case 5: pred = ra + ((rb - rc) >> 1); break;
            case 6: pred = rb + ((ra - rc) >> 1); break;
            default: pred = (ra + rb) >> 1; break;
          }
        }
        int diff = (at(x, y, c) - pred) & mask;
        if (P != 8 && diff >= 32768) diff -= 65536;
        if (P == 8 && diff >= 128) diff -= 256;
        const int t = O.Tables == 1 ? 0 : c;
        int ssss = 0;
        if (diff == -32768) ssss = 16;
        else
          for (int a = diff < 0 ? -diff : diff; a; a >>= 1) ++ssss;
        bw.Bits(codes[size_t(t)][size_t(ssss)], lens[size_t(t)][size_t(ssss)]);
        if (ssss > 0 && ssss < 16) bw.Bits(uint32_t(diff > 0 ? diff : diff + (1 << ssss) - 1), ssss);
      }
  }
  bw.Align();
  out.insert(out.end(), bw.Out.begin(), bw.Out.end());
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

}  // namespace dcmtest
