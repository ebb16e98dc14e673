// Decoders of encapsulated DICOM pixel data: the lossless (predictive, Huffman-coded) JPEG process and the
// PackBits segments of the RLE transfer syntax.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/codecs/dicom.h"
#include "imaging/foundation/qx_streams.h"
#include "platform/base/streams.h"

namespace {

struct THuffTable {
  uint8_t Counts[17] = {};  // codes of each length 1..16
  uint8_t Symbols[17] = {};
  uint16_t Codes[17] = {};
  uint8_t Lengths[17] = {};
  int32_t SymbolCount = 0;
  int32_t MaxLength = 0;
  uint8_t Look[256];     // symbol of the code in the top bits, 255 for a longer code
  uint8_t LookLen[256];  // its length
};

// Canonical codes by length; false when the counts ask for more codes than a length has.
bool BuildTable(THuffTable& T) {
  uint32_t code = 0;
  int32_t k = 0;
  T.MaxLength = 0;
  for (int32_t len = 1; len <= 16; ++len) {
    for (int32_t i = 0; i < T.Counts[len]; ++i) {
      T.Codes[k] = uint16_t(code);
      T.Lengths[k] = uint8_t(len);
      ++k;
      ++code;
      T.MaxLength = len;
    }
    if (code > (1u << len)) return false;
    code <<= 1;
  }
  std::memset(T.Look, 255, sizeof T.Look);
  std::memset(T.LookLen, 0, sizeof T.LookLen);
  for (int32_t s = 0; s < T.SymbolCount; ++s) {
    const int32_t len = T.Lengths[s];
    if (len > 8) continue;
    const uint32_t first = uint32_t(T.Codes[s]) << (8 - len);
    for (uint32_t j = 0; j < (1u << (8 - len)); ++j) {
      T.Look[first + j] = T.Symbols[s];
      T.LookLen[first + j] = uint8_t(len);
    }
  }
  return true;
}

class TLosslessDecoder {
 public:
  std::vector<uint8_t> Data;
  int64_t End = 0;         // bytes of entropy-coded data that count
  int64_t BitPos = 0;      // absolute bit position in Data
  THuffTable Tables[4];
  int32_t TableCount = 0;
  int32_t Precision = 0, Height = 0, Width = 0, Components = 0;
  bool Lossless = false;
  bool HaveFrame = false, HaveScan = false;
  int32_t Predictor = 0;
  int32_t RestartInterval = 0;

  bool Parse(int64_t& ScanStart);
  template <typename T>
  bool Decode(T* Out, const TQxProgressEvent& OnProgress, TObject* Sender);

 private:
  uint8_t ByteAt(int64_t I) const { return I < End ? Data[size_t(I)] : 0; }
  // The next 32 bits (at least 25 of them real) in the top of the word; zeros past the data.
  uint32_t Peek32() const {
    const int64_t i = BitPos >> 3;
    uint32_t v;
    if (i + 4 <= End) {
      const uint8_t* p = Data.data() + i;
      v = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    } else {
      v = (uint32_t(ByteAt(i)) << 24) | (uint32_t(ByteAt(i + 1)) << 16) | (uint32_t(ByteAt(i + 2)) << 8) |
          ByteAt(i + 3);
    }
    return v << (BitPos & 7);
  }
  uint32_t GetBits(int32_t N) {
    const uint32_t v = Peek32() >> (32 - N);
    BitPos += N;
    return v;
  }
  int32_t DecodeSymbol(const THuffTable& T);
  bool Restart();
};

bool TLosslessDecoder::Parse(int64_t& ScanStart) {
  const int64_t len = int64_t(Data.size());
  End = len;
  int64_t pos = 2;  // past SOI
  auto be16 = [&](int64_t p) { return int32_t(Data[size_t(p)]) << 8 | Data[size_t(p + 1)]; };
  while (pos < len) {
    if (Data[size_t(pos++)] != 0xFF) return false;
    if (pos >= len) break;
    const uint8_t code = Data[size_t(pos++)];
    if (code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD7) || code == 0xFF) continue;
    if (pos + 2 > len) return false;
    const int32_t segLen = be16(pos);
    const int64_t segEnd = pos + segLen;
    if (segLen < 2 || segEnd > len) return false;
    int64_t p = pos + 2;
    const bool isSof = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
    if (isSof) {
      if (segEnd - p < 6) return false;
      Precision = Data[size_t(p)];
      Height = be16(p + 1);
      Width = be16(p + 3);
      Components = Data[size_t(p + 5)];
      HaveFrame = true;
      if (code == 0xC3) Lossless = true;
    } else if (code == 0xC4) {
      int32_t number = 0;  // each DHT segment numbers its tables from the first again
      while (segEnd - p > 17) {
        if (number >= 4) return false;
        THuffTable& t = Tables[number];
        t = THuffTable();
        ++p;  // class and destination: tables are taken by position
        int32_t total = 0;
        for (int32_t l = 1; l <= 16; ++l) {
          t.Counts[l] = Data[size_t(p++)];
          total += t.Counts[l];
        }
        if (total > 17 || p + total > segEnd) return false;
        for (int32_t s = 0; s < total; ++s) {
          const uint8_t sym = Data[size_t(p++)];
          if (sym > 16) return false;
          t.Symbols[s] = sym;
        }
        t.SymbolCount = total;
        if (!BuildTable(t)) return false;
        ++number;
      }
      TableCount = std::max(TableCount, number);
    } else if (code == 0xDA) {
      if (HaveScan) return false;
      if (segEnd - p < 1) return false;
      const int32_t ns = Data[size_t(p++)];
      if (ns < 1 || ns > 4 || segEnd - p < 2 * ns + 3) return false;
      p += 2 * ns;
      Predictor = Data[size_t(p)];
      HaveScan = true;
    } else if (code == 0xDD) {
      if (segEnd - p < 2) return false;
      RestartInterval = be16(p);
    }
    pos = segEnd;
    if (code == 0xDA) break;
  }
  ScanStart = std::min(pos, len);
  return true;
}

int32_t TLosslessDecoder::DecodeSymbol(const THuffTable& T) {
  const uint32_t top = Peek32() >> 24;
  if (T.Look[top] != 255) {
    BitPos += T.LookLen[top];
    return T.Look[top];
  }
  BitPos += 8;
  uint32_t code = top;
  for (int32_t len = 9; len <= T.MaxLength; ++len) {
    code = (code << 1) | GetBits(1);
    for (int32_t s = 0; s < T.SymbolCount; ++s)
      if (T.Lengths[s] == len && T.Codes[s] == code) return T.Symbols[s];
  }
  return -1;  // no code of the table matches
}

// Moves past the next restart marker, at a byte boundary.
bool TLosslessDecoder::Restart() {
  int64_t i = (BitPos + 7) >> 3;
  while (i + 1 < End && !(Data[size_t(i)] == 0xFF && Data[size_t(i + 1)] >= 0xD0 && Data[size_t(i + 1)] <= 0xD7)) ++i;
  BitPos = (i + 1 < End ? i + 2 : End) * 8;
  return true;
}

template <typename T>
bool TLosslessDecoder::Decode(T* Out, const TQxProgressEvent& OnProgress, TObject* Sender) {
  const int32_t nc = Components;
  const int32_t w = Width, h = Height;
  const int32_t mask = Precision == 8 ? 0xFF : 0xFFFF;
  const int32_t initial = 1 << (Precision - 1);
  int32_t tableOf[4];
  for (int32_t c = 0; c < 4; ++c) tableOf[c] = TableCount >= nc ? c : 0;
  auto at = [&](int64_t i) -> int32_t { return Out[i]; };
  auto put = [&](int64_t i, int32_t v) { Out[i] = T(v & mask); };
  int64_t mcu = 0;
  bool restarted = false;
  int32_t firstRowLike = 0;  // the row whose samples after its first are predicted from the left only
  int32_t lastPercent = -1;
  const int64_t rowStride = int64_t(w) * nc;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x, ++mcu) {
      if (RestartInterval > 0 && mcu > 0 && mcu % RestartInterval == 0) {
        Restart();
        restarted = true;
        firstRowLike = y;
      }
      const int64_t base = int64_t(y) * rowStride + int64_t(x) * nc;
      for (int32_t c = 0; c < nc; ++c) {
        const int32_t sym = DecodeSymbol(Tables[tableOf[c]]);
        if (sym < 0) return false;
        int32_t diff = 0;
        if (sym == 16) {
          diff = 32768;
        } else if (sym > 0) {
          const int32_t v = int32_t(GetBits(sym));
          diff = v >= (1 << (sym - 1)) ? v : v - ((1 << sym) - 1);
        }
        int32_t pred;
        const int64_t i = base + c;
        if ((x == 0 && y == 0) || restarted) {
          pred = initial;
        } else if (y == 0 || y == firstRowLike) {
          pred = x > 0 ? at(i - nc) : at(i - rowStride);
        } else if (x == 0) {
          pred = at(i - rowStride);
        } else {
          const int32_t ra = at(i - nc), rb = at(i - rowStride), rc = at(i - rowStride - nc);
          switch (Predictor) {
            case 1: pred = ra; break;
            case 2: pred = rb; break;
            case 3: pred = rc; break;
            case 4: pred = ra + rb - rc; break;
            case 5: pred = ra + ((rb - rc) >> 1); break;
            case 6: pred = rb + ((ra - rc) >> 1); break;
            default: pred = (ra + rb) >> 1; break;
          }
        }
        put(i, pred + diff);
      }
      restarted = false;
    }
    if (OnProgress && End > 0) {
      const int32_t per = int32_t(std::min<int64_t>(BitPos >> 3, End) * 100 / End);
      if (per != lastPercent) {
        lastPercent = per;
        OnProgress(Sender, per);
      }
    }
  }
  return true;
}

}  // namespace

bool QxDicomLosslessJpeg(TStream* Stream, uint16_t* Out16, uint8_t* Out8, int64_t Length, int32_t Width,
                         int32_t Height, int32_t Components, const TQxProgressEvent& OnProgress, TObject* Sender) {
  if (!Stream || Length < 32 || (!Out16 && !Out8)) return false;
  const int64_t left = Stream->Size() - Stream->Position();
  if (left <= 0) return false;
  auto dec = std::make_unique<TLosslessDecoder>();
  dec->Data.resize(size_t(std::min(Length, left)));
  dec->Data.resize(size_t(std::max<int64_t>(0, Stream->Read(dec->Data.data(), int64_t(dec->Data.size())))));
  if (dec->Data.size() < 32) return false;
  int64_t scan = 0;
  if (!dec->Parse(scan)) return false;
  // Only the single lossless layout the reader asked for is written into its buffer.
  if (!dec->HaveFrame || !dec->HaveScan || dec->TableCount == 0) return false;
  if (dec->Width != Width || dec->Height != Height || dec->Components != Components) return false;
  if (dec->Precision < 2 || dec->Precision > 16 || (dec->Precision == 8) != (Out8 != nullptr)) return false;
  if (Out8 ? (Components != 1 && Components != 3) : Components != 1) return false;
  if (dec->Predictor < 1 || dec->Predictor > 7) return false;
  if (Width <= 0 || Height <= 0) return false;

  // The entropy-coded data from the scan onward, moved to the buffer's start.
  std::vector<uint8_t>& d = dec->Data;
  int64_t n = 0;
  const int64_t len = int64_t(d.size());
  for (int64_t i = scan; i < len; ++i) {
    uint8_t b = d[size_t(i)];
    if (dec->Lossless && b == 0xFF && i + 1 < len) {
      const uint8_t next = d[size_t(i + 1)];
      if (next == 0xD9) break;
      if (next == 0x00) ++i;
    }
    d[size_t(n++)] = b;
  }
  dec->End = n;
  dec->BitPos = 0;
  if (!Out8) std::memset(Out16, 0, size_t(Width) * size_t(Height) * sizeof(uint16_t));
  return Out8 ? dec->Decode(Out8, OnProgress, Sender) : dec->Decode(Out16, OnProgress, Sender);
}

int64_t QxDicomUnpackRLE(TStream* Stream, uint8_t* Out, int64_t Count) {
  if (!Stream || !Out || Count <= 0) return 0;
  auto* buffered = dynamic_cast<TQxBufferedReadStream*>(Stream);
  int64_t read = 0;
  auto next = [&](uint8_t& b) {
    const bool ok = buffered ? buffered->ReadByte(b) : Stream->Read(&b, 1) == 1;
    if (ok) ++read;
    return ok;
  };
  int64_t produced = 0;
  uint8_t ctl;
  while (produced < Count && next(ctl)) {
    const int32_t n = int8_t(ctl);
    if (n >= 0) {
      for (int32_t i = 0; i <= n; ++i) {
        uint8_t b;
        if (!next(b)) return read;
        if (produced < Count) Out[produced++] = b;
      }
    } else if (n != -128) {
      uint8_t b;
      if (!next(b)) return read;
      const int64_t run = std::min<int64_t>(1 - n, Count - produced);
      std::memset(Out + produced, b, size_t(run));
      produced += run;
    }
  }
  return read;
}
