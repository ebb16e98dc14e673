#include "imaging/codecs/lzw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/io_init.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

namespace {

constexpr int32_t kMaxBits = 12;
constexpr int32_t kGifTableSize = 4096;
constexpr int32_t kHashSize = 5003;
constexpr int32_t kPacketSize = 254;

// ================================================================== GIF decoder

// Where decoded bytes land: row by row, or in the four interlace passes; bytes past the last row are dropped.
class TGifPixelSink {
 public:
  TGifPixelSink(uint8_t* Buffer, int32_t Width, int32_t Height, bool Interlaced)
      : buf_(Buffer), width_(Width), height_(Buffer && Width > 0 && Height > 0 ? Height : 0),
        interlaced_(Interlaced) {}

  void Put(uint8_t Value) {
    if (row_ < height_) buf_[static_cast<int64_t>(row_) * width_ + col_] = Value;
    if (++col_ < width_) return;
    col_ = 0;
    if (row_ >= height_) return;
    if (!interlaced_) {
      ++row_;
      return;
    }
    row_ += step_;
    while (row_ >= height_ && pass_ < 3) {
      ++pass_;
      static constexpr int32_t kStart[4] = {0, 4, 2, 1};
      static constexpr int32_t kStep[4] = {8, 8, 4, 2};
      row_ = kStart[pass_];
      step_ = kStep[pass_];
    }
  }

 private:
  uint8_t* buf_;
  int32_t width_, height_;
  bool interlaced_;
  int32_t row_ = 0, col_ = 0, pass_ = 0, step_ = 8;
};

class TGifDecoder {
 public:
  TGifDecoder(const std::vector<uint8_t>& Data, int32_t MinCodeSize, TGifPixelSink& Sink)
      : data_(Data), totalBits_(static_cast<int64_t>(Data.size()) * 8), m_(MinCodeSize), sink_(Sink) {}

  // True on success; false when the caller must restore the stream position.
  bool Run() {
    clear_ = 1 << m_;
    eoi_ = clear_ + 1;
    Reset();
    int32_t code = 0;
    bool fresh = true;  // the cleared state: the next code starts a new string without a table entry
    if (!ReadCode(code)) return true;
    for (;;) {
      if (code == eoi_) return true;
      if (code == clear_) {
        Reset();
        do {
          if (!ReadCode(code)) return true;
        } while (code == clear_);
        if (code == eoi_) return !DataRemains();
        fresh = true;
      }
      if (fresh) {
        if (code >= next_) code = 0;
        first_ = static_cast<uint8_t>(code);
        sink_.Put(first_);
        prev_ = code;
        fresh = false;
      } else if (code < next_) {
        Unwind(code);
        AddEntry(prev_, first_);
        Flush();
        prev_ = code;
      } else if (code == next_) {
        AddEntry(prev_, first_);  // first_ still holds the first byte of the previous string
        Unwind(code);
        Flush();
        prev_ = code;
      } else {
        return false;
      }
      if (Exhausted()) return true;
      // A full table without a Clear code goes on with the table as it stands ("deferred clear").
      if (!ReadCode(code)) return true;
    }
  }

 private:
  void Reset() {
    width_ = m_ + 1;
    limit_ = 1 << width_;
    next_ = clear_ + 2;
    full_ = false;
  }

  bool Exhausted() const { return totalBits_ - bitPos_ < width_; }
  // A whole unread byte after the current code; fewer bits are padding.
  bool DataRemains() const { return totalBits_ - bitPos_ >= 8; }

  bool ReadCode(int32_t& Code) {
    if (Exhausted()) return false;
    const int64_t byte = bitPos_ >> 3;
    uint32_t v = 0;
    const int64_t n = static_cast<int64_t>(data_.size());
    for (int i = 2; i >= 0; --i) v = (v << 8) | (byte + i < n ? data_[static_cast<size_t>(byte + i)] : 0u);
    Code = static_cast<int32_t>((v >> (bitPos_ & 7)) & ((1u << width_) - 1));
    bitPos_ += width_;
    return true;
  }

  // Pushes the string of Code, last byte first; first_ becomes its first byte.
  void Unwind(int32_t Code) {
    while (Code > clear_ - 1 && sp_ < kGifTableSize) {
      stack_[sp_++] = suffix_[Code];
      Code = prefix_[Code];
    }
    first_ = static_cast<uint8_t>(Code);
    if (sp_ < kGifTableSize) stack_[sp_++] = first_;
  }

  void Flush() {
    while (sp_ > 0) sink_.Put(stack_[--sp_]);
  }

  void AddEntry(int32_t Prefix, uint8_t Suffix) {
    if (full_) return;
    prefix_[next_] = static_cast<int16_t>(Prefix);
    suffix_[next_] = Suffix;
    ++next_;
    if (next_ >= limit_) {
      if (width_ < kMaxBits) {
        ++width_;
        limit_ <<= 1;
      } else {
        full_ = true;
      }
    }
  }

  const std::vector<uint8_t>& data_;
  int64_t totalBits_;
  int64_t bitPos_ = 0;
  int32_t m_;
  TGifPixelSink& sink_;
  int32_t clear_ = 0, eoi_ = 0, width_ = 0, limit_ = 0, next_ = 0;
  bool full_ = false;
  int32_t prev_ = 0;
  uint8_t first_ = 0;
  int16_t prefix_[kGifTableSize] = {};
  uint8_t suffix_[kGifTableSize] = {};
  uint8_t stack_[kGifTableSize] = {};
  int32_t sp_ = 0;
};

// ================================================================== shared encoder core

// The open-addressing dictionary of (prefix, byte) pairs shared by both encoders.
class TLzwDictionary {
 public:
  TLzwDictionary() { Clear(); }
  void Clear() {
    std::fill(std::begin(keys_), std::end(keys_), -1);
  }
  // The slot that holds Key or the empty slot where it belongs.
  int32_t Find(int32_t Byte, int32_t Prefix, int32_t Key) const {
    int32_t slot = (Byte << 4) ^ Prefix;
    const int32_t disp = slot == 0 ? 1 : kHashSize - slot;
    while (keys_[slot] != -1 && keys_[slot] != Key) {
      slot -= disp;
      if (slot < 0) slot += kHashSize;
    }
    return slot;
  }
  bool Has(int32_t Slot) const { return keys_[Slot] != -1; }
  uint16_t Code(int32_t Slot) const { return codes_[Slot]; }
  void Put(int32_t Slot, int32_t Key, int32_t Code) {
    keys_[Slot] = Key;
    codes_[Slot] = static_cast<uint16_t>(Code);
  }

 private:
  int32_t keys_[kHashSize];
  uint16_t codes_[kHashSize] = {};
};

// ================================================================== GIF encoder

class TGifEncoder {
 public:
  TGifEncoder(TStream* Stream, int32_t MinCodeSize) : stream_(Stream), initWidth_(MinCodeSize + 1) {
    clear_ = 1 << MinCodeSize;
    eoi_ = clear_ + 1;
    free_ = clear_ + 2;
    width_ = initWidth_;
    maxCode_ = (1 << width_) - 1;
  }

  void Start() { Output(clear_); }

  void Add(int32_t C) {
    C &= clear_ - 1;  // an index beyond the code size would spill into the neighbouring codes
    if (prefix_ < 0) {
      prefix_ = C;
      return;
    }
    const int32_t key = (C << kMaxBits) + prefix_;
    const int32_t slot = dict_.Find(C, prefix_, key);
    if (dict_.Has(slot)) {
      prefix_ = dict_.Code(slot);
      return;
    }
    Output(prefix_);
    prefix_ = C;
    if (free_ < kGifTableSize) {
      dict_.Put(slot, key, free_++);
    } else {
      dict_.Clear();
      free_ = clear_ + 2;
      clearFlag_ = true;
      Output(clear_);
    }
  }

  void Finish() {
    if (prefix_ >= 0) Output(prefix_);
    Output(eoi_);
  }

 private:
  void Output(int32_t Code) {
    acc_ |= static_cast<uint32_t>(Code) << bits_;
    bits_ += width_;
    while (bits_ >= 8) {
      Byte(static_cast<uint8_t>(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
    if (clearFlag_) {
      width_ = initWidth_;
      maxCode_ = (1 << width_) - 1;
      clearFlag_ = false;
    } else if (free_ > maxCode_) {
      ++width_;
      maxCode_ = width_ == kMaxBits ? kGifTableSize : (1 << width_) - 1;
    }
    if (Code == eoi_) {
      if (bits_ > 0) Byte(static_cast<uint8_t>(acc_));
      acc_ = 0;
      bits_ = 0;
      FlushPacket();
    }
  }

  void Byte(uint8_t B) {
    packet_[count_++] = B;
    if (count_ == kPacketSize) FlushPacket();
  }

  void FlushPacket() {
    if (count_ == 0) return;
    const uint8_t n = static_cast<uint8_t>(count_);
    stream_->WriteBuffer(&n, 1);
    stream_->WriteBuffer(packet_, count_);
    count_ = 0;
  }

  TStream* stream_;
  int32_t initWidth_, width_ = 0, maxCode_ = 0, clear_ = 0, eoi_ = 0, free_ = 0;
  bool clearFlag_ = false;
  int32_t prefix_ = -1;
  TLzwDictionary dict_;
  uint32_t acc_ = 0;
  int32_t bits_ = 0;
  uint8_t packet_[kPacketSize] = {};
  int32_t count_ = 0;
};

// ================================================================== TIFF decoder

constexpr int32_t kTiffClear = 256;
constexpr int32_t kTiffEoi = 257;
constexpr int32_t kTiffTableSize = 4097;
constexpr int32_t kInline = 32;

struct TTiffEntry {
  const uint8_t* Str = nullptr;  // Inline or Heap
  int32_t Len = 0;
  uint8_t Inline[kInline] = {};
  std::unique_ptr<uint8_t[]> Heap;
};

struct TTiffDecodeState {
  std::vector<uint8_t> Out;
  int64_t Fill = 0;
  int64_t HandedOut = 0;
  const uint8_t* Data = nullptr;
  int64_t DataLen = 0;
  int64_t BitPos = 0;
  int32_t Width = 9;
  int32_t Prev = -1;
  int32_t Next = 258;
  bool Failed = false;
  int32_t FillOrder = 1;
  TTiffEntry Table[kTiffTableSize];

  TTiffDecodeState() {
    for (int32_t i = 0; i < 256; ++i) {
      Table[i].Inline[0] = static_cast<uint8_t>(i);
      Table[i].Str = Table[i].Inline;
      Table[i].Len = 1;
    }
  }

  void ClearTable() {
    for (int32_t i = 256; i < kTiffTableSize; ++i) {
      Table[i].Heap.reset();
      Table[i].Str = nullptr;
      Table[i].Len = 0;
    }
    Next = 258;
    Width = 9;
    Prev = -1;  // the old string's entry is gone; the next code starts afresh
  }

  static uint8_t Reverse(uint8_t B) {
    B = static_cast<uint8_t>((B & 0xF0) >> 4 | (B & 0x0F) << 4);
    B = static_cast<uint8_t>((B & 0xCC) >> 2 | (B & 0x33) << 2);
    return static_cast<uint8_t>((B & 0xAA) >> 1 | (B & 0x55) << 1);
  }

  // False at the end of the strip.
  bool ReadCode(int32_t& Code) {
    if (BitPos + Width > DataLen * 8) return false;
    const int64_t byte = BitPos >> 3;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = byte + i < DataLen ? Data[byte + i] : 0;
      if (FillOrder == 2) b = Reverse(b);
      v = (v << 8) | b;
    }
    Code = static_cast<int32_t>((v << (BitPos & 7)) >> (32 - Width));
    BitPos += Width;
    return true;
  }

  void Write(int32_t Code) {
    const TTiffEntry& e = Table[Code];
    const int64_t need = Fill + e.Len;
    if (need >= static_cast<int64_t>(Out.size())) Out.resize(static_cast<size_t>(need + 1024));
    uint8_t* dst = Out.data() + Fill;
    if (e.Len <= 4) {
      for (int32_t i = 0; i < e.Len; ++i) dst[i] = e.Str[i];
    } else {
      std::memcpy(dst, e.Str, static_cast<size_t>(e.Len));
    }
    Fill = need;
  }

  // The string of Base followed by Last; false when the table would pass its last entry.
  bool AddEntry(int32_t Base, uint8_t Last) {
    if (Next >= kTiffTableSize - 1) {
      Failed = true;
      return false;
    }
    const TTiffEntry& b = Table[Base];
    TTiffEntry& e = Table[Next];
    e.Len = b.Len + 1;
    uint8_t* dst;
    if (e.Len <= kInline) {
      e.Heap.reset();
      dst = e.Inline;
    } else {
      e.Heap.reset(new uint8_t[static_cast<size_t>(e.Len)]);
      dst = e.Heap.get();
    }
    std::memcpy(dst, b.Str, static_cast<size_t>(b.Len));
    dst[b.Len] = Last;
    e.Str = dst;
    ++Next;
    if (Next == 511) Width = 10;
    else if (Next == 1023) Width = 11;
    else if (Next == 2047) Width = 12;
    return true;
  }

  // Decodes until RowBytes bytes are there, the strip ends or EOI; false on failure.
  bool Decode(int32_t RowBytes) {
    int32_t code = 0;
    while (Fill < RowBytes) {
      if (!ReadCode(code)) return true;
      if (code == kTiffClear) {
        ClearTable();
        do {
          if (!ReadCode(code)) return true;
        } while (code == kTiffClear);
        if (code == kTiffEoi) return true;
        if (code >= Next) {
          Failed = true;
          return false;
        }
        Write(code);
        Prev = code;
        continue;
      }
      if (code == kTiffEoi) return true;
      if (Prev < 0) {
        // A strip that does not start with Clear: its first code starts a string without an entry.
        if (code >= Next) {
          Failed = true;
          return false;
        }
        Write(code);
        Prev = code;
        continue;
      }
      if (code < Next) {
        Write(code);
        if (!AddEntry(Prev, Table[code].Str[0])) return false;
      } else if (code == Next) {
        if (!AddEntry(Prev, Table[Prev].Str[0])) return false;
        Write(code);
      } else {
        return true;
      }
      Prev = code;
    }
    return true;
  }
};

// ================================================================== TIFF encoder

class TTiffEncoder {
 public:
  explicit TTiffEncoder(TStream* Stream) : stream_(Stream) {}

  void Start() { Output(kTiffClear); }

  void Add(const uint8_t* Data, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
      const int32_t c = Data[i];
      if (prefix_ < 0) {
        prefix_ = c;
        continue;
      }
      const int32_t key = (c << kMaxBits) + prefix_;
      const int32_t slot = dict_.Find(c, prefix_, key);
      if (dict_.Has(slot)) {
        prefix_ = dict_.Code(slot);
        continue;
      }
      Output(prefix_);
      prefix_ = c;
      if (free_ < 4094) {
        dict_.Put(slot, key, free_++);
      } else {
        dict_.Clear();
        free_ = 258;
        clearFlag_ = true;
        Output(kTiffClear);
      }
    }
  }

  void Finish() {
    if (prefix_ >= 0) Output(prefix_);
    Output(kTiffEoi);
  }

 private:
  void Output(int32_t Code) {
    acc_ |= static_cast<uint32_t>(Code) << (32 - bits_ - width_);
    bits_ += width_;
    while (bits_ >= 8) {
      Byte(static_cast<uint8_t>(acc_ >> 24));
      acc_ <<= 8;
      bits_ -= 8;
    }
    if (clearFlag_) {
      width_ = 9;
      maxCode_ = 511;
      clearFlag_ = false;
    } else if (free_ >= maxCode_ && width_ < kMaxBits) {
      ++width_;
      maxCode_ = (1 << width_) - 1;
    }
    if (Code == kTiffEoi) {
      if (bits_ > 0) Byte(static_cast<uint8_t>(acc_ >> 24));
      acc_ = 0;
      bits_ = 0;
      FlushChunk();
    }
  }

  void Byte(uint8_t B) {
    chunk_[count_++] = B;
    if (count_ == kPacketSize) FlushChunk();
  }

  void FlushChunk() {
    if (count_ > 0) stream_->WriteBuffer(chunk_, count_);
    count_ = 0;
  }

  TStream* stream_;
  int32_t width_ = 9, maxCode_ = 511, free_ = 258;
  bool clearFlag_ = false;
  int32_t prefix_ = -1;
  TLzwDictionary dict_;
  uint32_t acc_ = 0;
  int32_t bits_ = 0;
  uint8_t chunk_[kPacketSize] = {};
  int32_t count_ = 0;
};

template <class Proc>
Proc Pick(TQxLzwHook Own, TQxLzwHook Global) {
  // The I/O unit stores every coder under one untyped shape; this unit knows the real one.
  return reinterpret_cast<Proc>(Own ? Own : Global);
}

}  // namespace

// ================================================================== entries

void GifLzwDecode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Buffer) {
  const int64_t start = Stream->Position();
  uint8_t m = 0;
  // Up to 11: the first codes are then 12 bits wide, which encoders that ignore the palette's size write.
  if (Stream->Read(&m, 1) != 1 || m < 2 || m > kMaxBits - 1) {
    Stream->SetPosition(start);
    return;
  }
  std::vector<uint8_t> data;
  uint8_t chunk[255];
  for (;;) {
    uint8_t n = 0;
    if (Stream->Read(&n, 1) != 1 || n == 0) break;
    const int64_t got = Stream->Read(chunk, n);
    if (got > 0) data.insert(data.end(), chunk, chunk + got);
    if (got < n) break;
  }
  if (data.empty()) return;
  TGifPixelSink sink(Buffer, Width, Height, Interlaced);
  // About 24 KB of tables: kept off the caller's stack, which may be a worker thread's.
  auto dec = std::make_unique<TGifDecoder>(data, m, sink);
  if (!dec->Run()) Stream->SetPosition(start);
}

void GifLzwEncode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, const uint8_t* Buffer,
                  int32_t BitsPerPixel) {
  const int32_t m = std::clamp(BitsPerPixel, 2, 8);
  const uint8_t mb = static_cast<uint8_t>(m);
  Stream->WriteBuffer(&mb, 1);
  auto enc = std::make_unique<TGifEncoder>(Stream, m);
  enc->Start();
  if (Buffer && Width > 0 && Height > 0) {
    auto row = [&](int32_t y) {
      const uint8_t* p = Buffer + static_cast<int64_t>(y) * Width;
      for (int32_t x = 0; x < Width; ++x) enc->Add(p[x]);
    };
    if (!Interlaced) {
      for (int32_t y = 0; y < Height; ++y) row(y);
    } else {
      static constexpr int32_t kStart[4] = {0, 4, 2, 1};
      static constexpr int32_t kStep[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass)
        for (int32_t y = kStart[pass]; y < Height; y += kStep[pass]) row(y);
    }
  }
  enc->Finish();
  const uint8_t zero = 0;
  Stream->WriteBuffer(&zero, 1);
}

uint8_t* TiffLzwDecode(const uint8_t* Data, int32_t RowBytes, void*& State, int32_t FillOrder, int64_t DataLen) {
  auto* st = static_cast<TTiffDecodeState*>(State);
  if (!Data) {
    delete st;
    State = nullptr;
    return nullptr;
  }
  if (!st) {
    st = new TTiffDecodeState;
    State = st;
    st->Data = Data;
    st->DataLen = std::max<int64_t>(DataLen, 0);
    st->FillOrder = FillOrder;
    st->Out.resize(static_cast<size_t>(std::max(RowBytes, 0)) + 1);
  }
  if (st->Failed) return nullptr;
  RowBytes = std::max(RowBytes, 0);
  if (st->Fill > st->HandedOut) {
    const int64_t surplus = st->Fill - st->HandedOut;
    std::memmove(st->Out.data(), st->Out.data() + st->HandedOut, static_cast<size_t>(surplus));
    st->Fill = surplus;
  } else {
    st->Fill = 0;
  }
  if (static_cast<int64_t>(st->Out.size()) <= RowBytes) st->Out.resize(static_cast<size_t>(RowBytes) + 1);
  if (!st->Decode(RowBytes)) return nullptr;
  // A strip that ends early hands out zeros, never the bytes of an earlier row.
  if (st->Fill < RowBytes) std::memset(st->Out.data() + st->Fill, 0, static_cast<size_t>(RowBytes - st->Fill));
  st->HandedOut = std::min<int64_t>(st->Fill, RowBytes);
  return st->Out.data();
}

void TiffLzwEncode(const uint8_t* Data, int32_t Count, TStream* Stream, void*& State) {
  auto* st = static_cast<TTiffEncoder*>(State);
  if (!Data) {
    if (!st) return;
    std::unique_ptr<TTiffEncoder> owned(st);
    State = nullptr;
    owned->Finish();
    return;
  }
  if (!st) {
    st = new TTiffEncoder(Stream);
    State = st;
    st->Start();
  }
  st->Add(Data, std::max(Count, 0));
}

TQxGifLzwDecodeProc QxGifLzwDecoder(const TIOParamsVals& P) {
  return Pick<TQxGifLzwDecodeProc>(P.GifLzwDecompress, QxGifLzwDecodeHook);
}
TQxGifLzwEncodeProc QxGifLzwEncoder(const TIOParamsVals& P) {
  return Pick<TQxGifLzwEncodeProc>(P.GifLzwCompress, QxGifLzwEncodeHook);
}
TQxTiffLzwDecodeProc QxTiffLzwDecoder(const TIOParamsVals& P) {
  return Pick<TQxTiffLzwDecodeProc>(P.TiffLzwDecompress, QxTiffLzwDecodeHook);
}
TQxTiffLzwEncodeProc QxTiffLzwEncoder(const TIOParamsVals& P) {
  return Pick<TQxTiffLzwEncodeProc>(P.TiffLzwCompress, QxTiffLzwEncodeHook);
}

void QxRegisterLzwCoders() {
  QxGifLzwDecodeHook = reinterpret_cast<TQxLzwHook>(&GifLzwDecode);
  QxGifLzwEncodeHook = reinterpret_cast<TQxLzwHook>(&GifLzwEncode);
  QxTiffLzwDecodeHook = reinterpret_cast<TQxLzwHook>(&TiffLzwDecode);
  QxTiffLzwEncodeHook = reinterpret_cast<TQxLzwHook>(&TiffLzwEncode);
  QxUpdateGifFormatCapability();
}
