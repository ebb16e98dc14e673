#include "imaging/codecs/psd.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/icc.h"
#include "imaging/foundation/metadata.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/types.h"
#include "imaging/io/io_init.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "imaging/processing/proc.h"
#include "imaging/view/layer.h"
#include "platform/base/codepage.h"
#include "platform/base/lists.h"
#include "platform/base/streams.h"

namespace {

using PF = TQxPixelFormat;

constexpr int32_t kHeaderSize = 26;
constexpr int32_t kNotWritable = 1000;
// A layer record cannot carry more channel entries than this (colour, alpha and masks of the widest mode).
constexpr int32_t kMaxLayerChannels = 56;

uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

bool HeaderOk(const uint8_t* h) {
  if (std::memcmp(h, "8BPS", 4) != 0 || Be16(h + 4) != 1) return false;
  const uint16_t channels = Be16(h + 12), depth = Be16(h + 22), mode = Be16(h + 24);
  return channels >= 1 && channels <= 24 && depth >= 1 && depth <= 16 && mode <= 9;
}

// ---- reading ---------------------------------------------------------------------------------------

// Big-endian reads over the stream; a read past the end yields zeros and marks the input short.
struct TPsdIn {
  TStream* S;
  int64_t Size;
  bool Short = false;

  bool Bytes(void* P, int64_t N) {
    if (N <= 0) return true;
    const int64_t got = S->Read(P, N);
    if (got < N) {
      std::memset(static_cast<uint8_t*>(P) + std::max<int64_t>(got, 0), 0, size_t(N - std::max<int64_t>(got, 0)));
      Short = true;
      return false;
    }
    return true;
  }
  uint8_t U8() { uint8_t b[1]; Bytes(b, 1); return b[0]; }
  uint16_t U16() { uint8_t b[2]; Bytes(b, 2); return Be16(b); }
  uint32_t U32() { uint8_t b[4]; Bytes(b, 4); return Be32(b); }
  int16_t I16() { return int16_t(U16()); }
  int32_t I32() { return int32_t(U32()); }
  int64_t Pos() { return S->Position(); }
  int64_t Left() { return Size - Pos(); }
  void SeekTo(int64_t P) { S->Seek(P, TSeekOrigin::soBeginning); }
};

PF FormatFor(int32_t Depth, int32_t Mode) {
  if (Depth == 1) return Mode == 0 ? PF::qx1g : PF::qxInvalid;
  if (Depth == 8) {
    switch (Mode) {
      case 1: case 7: case 8: return PF::qx8g;
      case 2: return PF::qx8p;
      case 3: return PF::qx24RGB;
      case 4: return PF::qxCMYK;
      case 9: return PF::qxCIELab;
      default: return PF::qxInvalid;
    }
  }
  if (Depth == 16) {
    switch (Mode) {
      case 1: case 8: return PF::qx16g;
      case 3: return PF::qxRGB48;
      case 4: return PF::qxCMYK;
      case 9: return PF::qxCIELab;
      default: return PF::qxInvalid;
    }
  }
  return PF::qxInvalid;
}

// Where a channel id lands in a pixel of the receiving format: a colour slot, the alpha channel, or nowhere.
struct TDest {
  enum Kind : uint8_t { None, Color, Alpha } K = None;
  int32_t Slot = 0;  // byte (or word for 16-bit formats) within the pixel
};

TDest DestFor(PF Fmt, int32_t Id) {
  TDest d;
  int32_t colours = 0, alphaId = -1000;
  switch (Fmt) {
    case PF::qx1g: case PF::qx8p: colours = 1; break;
    case PF::qx8g: case PF::qx16g: colours = 1; alphaId = 1; break;
    case PF::qx24RGB: case PF::qxRGB48: case PF::qxCIELab: colours = 3; alphaId = 3; break;
    case PF::qxCMYK: colours = 4; alphaId = 4; break;
    default: return d;
  }
  if (Id >= 0 && Id < colours) {
    d.K = TDest::Color;
    d.Slot = Fmt == PF::qx24RGB ? 2 - Id : Id;
  } else if (alphaId > 0 && (Id == alphaId || Id == -1)) {
    d.K = TDest::Alpha;
  }
  return d;
}

int64_t RawRowLen(int64_t Width, int32_t Depth) { return (Width * Depth + 7) / 8; }

// The least bytes that rows of this length can take in the file: PackBits needs two bytes per 128.
int64_t MinRowBytes(int32_t Compression, int64_t RowLen) {
  return Compression == 0 ? RowLen : 2 * ((RowLen + 127) / 128);
}

struct TChannelJob {
  TQxBitmap* Bmp;
  int32_t Width, Height, Depth, Mode;
  const std::vector<TQxRGB>* ColorMap;  // null when the file has none
  int32_t TransIndex;
  int32_t Compression;
  const std::vector<uint16_t>* Table;
  int32_t* RowIndex;
  int32_t Id;
  int64_t MaxPixels = QxDefaultMaxPixels;
};

// Decodes one channel into Job.Bmp. Returns false when the bitmap could not be had; a short file leaves
// the rows not read zero and marks the input short.
bool DecodeChannel(TPsdIn& In, const TChannelJob& J) {
  const PF fmt = FormatFor(J.Depth, J.Mode);
  if (fmt == PF::qxInvalid || J.Width <= 0 || J.Height <= 0) return true;
  if (J.Compression != 0 && J.Compression != 1) return true;
  const TDest dest = DestFor(fmt, J.Id);
  if (dest.K == TDest::None) return true;
  TQxBitmap* bmp = J.Bmp;
  if (bmp->Width() != J.Width || bmp->Height() != J.Height || bmp->PixelFormat() != fmt) {
    if (int64_t(J.Width) * J.Height > J.MaxPixels || !bmp->Allocate(J.Width, J.Height, fmt)) return false;
    for (int32_t y = 0; y < J.Height; ++y) std::memset(bmp->Scanline(y), 0, size_t(bmp->RowLen()));
    if (fmt == PF::qx8p) {
      for (int32_t i = 0; i < 256; ++i) {
        // Without a colour map the indexes are shown as gray levels.
        TQxRGB c{uint8_t(i), uint8_t(i), uint8_t(i)};
        if (J.ColorMap) c = (*J.ColorMap)[size_t(i)];
        bmp->SetPaletteColor(i, c);
      }
    }
  }
  const int64_t rowLen = RawRowLen(J.Width, J.Depth);
  std::vector<uint8_t> row(static_cast<size_t>(rowLen)), packed;
  TQxBitmap* alpha = dest.K == TDest::Alpha ? bmp->GetAlphaChannel() : nullptr;
  // Pixel size in the units a sample is stored in: words for 16-bit gray and RGB, bytes otherwise.
  const bool words = J.Depth == 16 && (fmt == PF::qx16g || fmt == PF::qxRGB48);
  const int32_t step = QxPixelFormatBits[int(fmt)] / (words ? 16 : 8);
  const bool lab = fmt == PF::qxCIELab && dest.K == TDest::Color && dest.Slot > 0;
  for (int32_t y = 0; y < J.Height; ++y) {
    const int32_t idx = (*J.RowIndex)++;
    const int64_t len = idx < int32_t(J.Table->size()) ? (*J.Table)[size_t(idx)] : 0;
    std::fill(row.begin(), row.end(), 0);
    if (In.Short) break;
    if (J.Compression == 0) {
      In.Bytes(row.data(), rowLen);
    } else {
      packed.resize(size_t(len));
      In.Bytes(packed.data(), len);
      QxUnpackBitsRow(packed.data(), int32_t(len), row.data(), int32_t(rowLen));
    }
    const uint8_t* s = row.data();
    if (fmt == PF::qx1g) {
      uint8_t* d = bmp->Scanline(y);
      for (int64_t i = 0; i < rowLen; ++i) d[i] = uint8_t(~s[i]);
    } else if (dest.K == TDest::Alpha) {
      uint8_t* d = alpha->Scanline(y);
      if (J.Depth == 16)
        for (int32_t x = 0; x < J.Width; ++x) d[x] = s[2 * x];
      else
        std::memcpy(d, s, size_t(J.Width));
    } else if (words) {
      auto* d = reinterpret_cast<uint16_t*>(bmp->Scanline(y));
      for (int32_t x = 0; x < J.Width; ++x) d[int64_t(x) * step + dest.Slot] = Be16(s + 2 * x);
    } else {
      uint8_t* d = bmp->Scanline(y) + dest.Slot;
      const int32_t inc = J.Depth == 16 ? 2 : 1;
      const uint8_t flip = lab ? 0x80 : 0;
      for (int32_t x = 0; x < J.Width; ++x) d[int64_t(x) * step] = uint8_t(s[int64_t(x) * inc] ^ flip);
    }
  }
  if (fmt == PF::qx8p && J.TransIndex >= 0) {
    TQxBitmap* a = bmp->GetAlphaChannel();
    for (int32_t y = 0; y < J.Height; ++y) {
      const uint8_t* s = bmp->Scanline(y);
      uint8_t* d = a->Scanline(y);
      for (int32_t x = 0; x < J.Width; ++x) d[x] = s[x] == J.TransIndex ? 0 : 255;
    }
  }
  if (bmp->HasAlphaChannel()) bmp->GetAlphaChannel()->UpdateOpaqueFlag();
  return true;
}

// Reads a row-length table of Rows entries for Compression (raw: every entry the raw row length).
bool ReadRowTable(TPsdIn& In, int32_t Compression, int64_t Rows, int64_t RowLen, int64_t Limit,
                  std::vector<uint16_t>& Table) {
  Table.clear();
  if (Compression == 1) {
    if (Rows * 2 > Limit - In.Pos()) return false;
    std::vector<uint8_t> raw(static_cast<size_t>(Rows * 2));
    In.Bytes(raw.data(), Rows * 2);
    Table.resize(size_t(Rows));
    for (int64_t i = 0; i < Rows; ++i) Table[size_t(i)] = Be16(raw.data() + 2 * i);
  } else if (Compression == 0) {
    if (RowLen > 0 && Rows > (Limit - In.Pos()) / RowLen) return false;
    Table.assign(size_t(Rows), uint16_t(std::min<int64_t>(RowLen, 0xFFFF)));
  }
  return true;
}

// Whether the packed rows of the table (or raw rows) fit in what is left before Limit.
bool RowsFit(TPsdIn& In, int32_t Compression, const std::vector<uint16_t>& Table, int64_t RowLen, int64_t Rows,
             int64_t Limit) {
  const int64_t left = Limit - In.Pos();
  const int64_t least = MinRowBytes(Compression, RowLen);
  if (left < 0 || (least > 0 && Rows > left / least)) return false;
  if (Compression == 0) return true;
  int64_t sum = 0;
  for (uint16_t v : Table) sum += v;
  return sum <= left;
}

struct TLayerRec {
  TQxLayer* Layer = nullptr;
  int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
  int32_t MTop = 0, MLeft = 0, MBottom = 0, MRight = 0;
  std::vector<std::pair<int16_t, uint32_t>> Channels;
};

int32_t SpanOf(int32_t A, int32_t B) {
  const int64_t d = int64_t(B) - int64_t(A);
  return d > 0 && d <= INT32_MAX ? int32_t(d) : 0;
}

// Reads the layer records and their channel data into Out (layer, then its mask layer). False for a
// section that cannot be a layer list.
bool ReadLayers(TPsdIn& In, int64_t InfoEnd, int32_t Count, int32_t Depth, int32_t Mode,
                const std::vector<TQxRGB>* ColorMap, int32_t TransIndex, TQxProgressInfo& Progress,
                std::vector<std::unique_ptr<TQxLayer>>& Out, int64_t MaxPixels) {
  std::vector<TLayerRec> recs;
  for (int32_t i = 0; i < Count; ++i) {
    if (InfoEnd - In.Pos() < 18) return false;
    TLayerRec r;
    r.Top = In.I32(); r.Left = In.I32(); r.Bottom = In.I32(); r.Right = In.I32();
    const int32_t nch = In.I16();
    if (nch < 0 || nch > kMaxLayerChannels || InfoEnd - In.Pos() < int64_t(nch) * 6 + 16) return false;
    for (int32_t c = 0; c < nch; ++c) {
      const int16_t id = In.I16();
      const uint32_t len = In.U32();
      r.Channels.emplace_back(id, len);
    }
    uint8_t sig[8];
    In.Bytes(sig, 8);  // blend mode signature and key: every layer is composed normally here
    const uint8_t opacity = In.U8(), clipping = In.U8(), flags = In.U8();
    In.U8();
    const uint32_t extraLen = In.U32();
    const int64_t extraEnd = In.Pos() + extraLen;
    if (extraEnd > InfoEnd || In.Short) return false;
    const uint32_t maskLen = In.U32();
    const int64_t maskEnd = In.Pos() + maskLen;
    if (maskEnd > extraEnd) return false;
    if (maskLen >= 20) {
      r.MTop = In.I32(); r.MLeft = In.I32(); r.MBottom = In.I32(); r.MRight = In.I32();
    }
    In.SeekTo(maskEnd);
    if (extraEnd - In.Pos() < 4) return false;
    const uint32_t blendLen = In.U32();
    if (In.Pos() + int64_t(blendLen) > extraEnd) return false;
    In.SeekTo(In.Pos() + blendLen);
    std::string name;
    if (extraEnd - In.Pos() >= 1) {
      const uint8_t n = In.U8();
      if (In.Pos() + n > extraEnd) return false;
      name.resize(n);
      In.Bytes(name.data(), n);
    }
    In.SeekTo(extraEnd);  // padding and additional layer information are not used

    auto layer = std::make_unique<TQxLayer>(nullptr, nullptr, false);
    layer->PosX = r.Left;
    layer->PosY = r.Top;
    layer->Opacity = opacity;
    layer->Name = CodePageToUtf8(name);
    layer->Visible = (flags & 2) == 0;
    layer->ClipToBase = clipping == 0;
    r.Layer = layer.get();
    Out.push_back(std::move(layer));
    recs.push_back(std::move(r));
  }

  std::vector<uint16_t> table;
  for (size_t i = 0; i < recs.size(); ++i) {
    TLayerRec& r = recs[i];
    for (const auto& [id, len] : r.Channels) {
      const int64_t start = In.Pos();
      // A channel whose data runs past the layer info is cut to what is there.
      const int64_t end = std::min<int64_t>(start + int64_t(len), InfoEnd);
      if (end - start < 2 || In.Short) {
        In.SeekTo(std::max(start, end));
        continue;
      }
      const int32_t comp = In.U16();
      TQxBitmap* target = r.Layer->Bitmap;
      int32_t w = SpanOf(r.Left, r.Right), h = SpanOf(r.Top, r.Bottom), depth = Depth, mode = Mode, chId = id;
      if (id == -2) {
        auto mask = std::make_unique<TQxLayer>(nullptr, nullptr, false);
        mask->IsMask = true;
        mask->Visible = false;
        mask->PosX = r.MLeft;
        mask->PosY = r.MTop;
        target = mask->Bitmap;
        auto at = std::find_if(Out.begin(), Out.end(), [&](const auto& p) { return p.get() == r.Layer; });
        Out.insert(at + 1, std::move(mask));
        w = SpanOf(r.MLeft, r.MRight);
        h = SpanOf(r.MTop, r.MBottom);
        depth = 8;
        mode = 1;
        chId = 0;
      }
      const int64_t rowLen = RawRowLen(w, depth);
      if (w > 0 && h > 0 && ReadRowTable(In, comp, h, rowLen, end, table) && (comp == 0 || comp == 1) &&
          RowsFit(In, comp, table, rowLen, h, end)) {
        int32_t rowIndex = 0;
        TChannelJob job{target, w, h, depth, mode, ColorMap, TransIndex, comp, &table, &rowIndex, chId, MaxPixels};
        if (!DecodeChannel(In, job)) return false;
      }
      In.SeekTo(end);
    }
    if (Progress.Assigned()) Progress.Report(int32_t(std::nearbyint(double(i) / double(Count) * 100.0)));
  }
  return true;
}

void ApplyResource(uint16_t Id, const std::vector<uint8_t>& Data, TIOParamsVals& Params, TQxBitmap* Target,
                   int32_t& TransIndex, bool& HadProfile, bool& ThumbReplaced) {
  const uint8_t* p = Data.data();
  const int64_t n = int64_t(Data.size());
  switch (Id) {
    case 1005:
      if (n >= 16) {
        Params.SetDpiX(int32_t(std::nearbyint(Be32(p) / 65536.0)));
        Params.SetDpiY(int32_t(std::nearbyint(Be32(p + 8) / 65536.0)));
      }
      break;
    case 1028:
      if (!Params.IPTC) Params.IPTC = std::make_unique<TQxIPTCInfoList>();
      Params.IPTC->LoadFromBuffer(p, int32_t(n));
      break;
    case 1036: {
      if (n <= 28) break;
      if (!Params.ExifThumbnail) Params.ExifThumbnail = std::make_unique<TQxBitmap>();
      const int64_t jpegLen = std::min<int64_t>(Be32(p + 20), n - 28);
      TQxMemStream ms(p + 28, jpegLen);
      TIOParamsVals tp;
      std::atomic<bool> thumbAbort{false};
      TQxProgressInfo tpr;
      tpr.AbortFlag = &thumbAbort;
      try {
        ReadJpegStream(&ms, nullptr, Params.ExifThumbnail.get(), tp, tpr, false, false, false, false, false, false,
                       -1, false);
      } catch (...) {
        // A broken thumbnail leaves what was decoded of it; the document itself is still read.
      }
      if (Params.UseExifThumbnail && Target && !Params.ExifThumbnail->IsEmpty()) {
        Target->AssignFrom(Params.ExifThumbnail.get());
        ThumbReplaced = true;
      }
      break;
    }
    case 1039:
      Params.GetInputICC()->LoadFromBuffer(p, int32_t(n));
      HadProfile = true;
      break;
    case 1047:
      if (n >= 2) TransIndex = int16_t(Be16(p));
      break;
    case 1060:
      Params.XmpPacket.assign(reinterpret_cast<const char*>(p), size_t(n));
      break;
    default:
      break;
  }
}

void ToRGB(TQxBitmap* Bmp, TIOParamsVals& Params, bool HadProfile) {
  if (!Bmp || Bmp->IsEmpty() || Bmp->PixelFormat() == PF::qx1g || Bmp->PixelFormat() == PF::qx24RGB) return;
  TQxICC* in = HadProfile ? Params.GetInputICC() : nullptr;
  if (QxColorManagement && in && in->IsValid() && !in->Applied() && Params.GetDefaultICC()->IsValid() &&
      in->ConvertBitmap(Bmp, PF::qx24RGB, Params.GetDefaultICC()))
    return;
  Bmp->SetPixelFormat(PF::qx24RGB);
}

// ---- writing ---------------------------------------------------------------------------------------

struct TPsdOut {
  TStream* S;
  bool Failed = false;
  void Bytes(const void* P, int64_t N) {
    if (N > 0 && S->Write(P, N) != N) Failed = true;
  }
  void U8(uint8_t V) { Bytes(&V, 1); }
  void U16(uint16_t V) { uint8_t b[2] = {uint8_t(V >> 8), uint8_t(V)}; Bytes(b, 2); }
  void U32(uint32_t V) {
    uint8_t b[4] = {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)};
    Bytes(b, 4);
  }
  int64_t Pos() { return S->Position(); }
  // Writes a 32-bit value at At and comes back to the end.
  void Patch32(int64_t At, uint32_t V) {
    const int64_t here = Pos();
    S->Seek(At, TSeekOrigin::soBeginning);
    U32(V);
    S->Seek(here, TSeekOrigin::soBeginning);
  }
};

int32_t ModeOf(PF Fmt) {
  switch (Fmt) {
    case PF::qx1g: return 0;
    case PF::qx8p: return 2;
    case PF::qx8g: case PF::qx16g: return 1;
    case PF::qx24RGB: case PF::qxRGB48: case PF::qx32RGB: return 3;
    case PF::qxCMYK: return 4;
    case PF::qxCIELab: return 9;
    default: return kNotWritable;
  }
}

// 32-bit RGB keeps its fourth byte unused: the file gets the three colour channels.
int32_t ChannelsOf(TQxBitmap* B) { return B->PixelFormat() == PF::qx32RGB ? 3 : B->GetChannelCount(); }
int32_t DepthOf(TQxBitmap* B) {
  return B->PixelFormat() == PF::qx32RGB ? 8 : B->BitCount() / std::max(1, B->GetChannelCount());
}

PF LayerFormatFor(int32_t Mode, int32_t Depth) {
  switch (Mode) {
    case 0: return PF::qx1g;
    case 1: return Depth == 16 ? PF::qx16g : PF::qx8g;
    case 2: return PF::qx8p;
    case 3: return Depth == 16 ? PF::qxRGB48 : PF::qx24RGB;
    case 4: return PF::qxCMYK;
    case 9: return PF::qxCIELab;
    default: return PF::qxInvalid;
  }
}

// The file's bytes of colour channel T of row Y.
void ChannelRow(TQxBitmap* B, int32_t T, int32_t Y, std::vector<uint8_t>& Out) {
  const PF fmt = B->PixelFormat();
  const int32_t w = B->Width();
  const uint8_t* s = B->ScanlineToRead(Y);
  if (fmt == PF::qx1g) {
    Out.resize(size_t((w + 7) / 8));
    for (size_t i = 0; i < Out.size(); ++i) Out[i] = uint8_t(~s[i]);
    return;
  }
  if (fmt == PF::qx16g || fmt == PF::qxRGB48) {
    const int32_t step = fmt == PF::qx16g ? 1 : 3;
    const auto* ws = reinterpret_cast<const uint16_t*>(s);
    Out.resize(size_t(w) * 2);
    for (int32_t x = 0; x < w; ++x) {
      const uint16_t v = ws[int64_t(x) * step + T];
      Out[size_t(x) * 2] = uint8_t(v >> 8);
      Out[size_t(x) * 2 + 1] = uint8_t(v);
    }
    return;
  }
  int32_t step = B->BitCount() / 8, slot = T;
  if (fmt == PF::qx24RGB || fmt == PF::qx32RGB) slot = 2 - T;
  // Lab's a and b are signed in memory and offset by 128 in the file.
  const uint8_t flip = fmt == PF::qxCIELab && T > 0 ? 0x80 : 0;
  Out.resize(size_t(w));
  for (int32_t x = 0; x < w; ++x) Out[size_t(x)] = uint8_t(s[int64_t(x) * step + slot] ^ flip);
}

void AlphaRow(TQxBitmap* B, int32_t Depth, int32_t Y, std::vector<uint8_t>& Out) {
  const uint8_t* a = B->GetAlphaChannel()->ScanlineToRead(Y);
  const int32_t w = B->Width();
  if (Depth == 16) {
    Out.resize(size_t(w) * 2);
    for (int32_t x = 0; x < w; ++x) {
      const uint16_t v = uint16_t(a[x] * 257);
      Out[size_t(x) * 2] = uint8_t(v >> 8);
      Out[size_t(x) * 2 + 1] = uint8_t(v);
    }
  } else {
    Out.assign(a, a + w);
  }
}

// Row lengths a 16-bit table entry can still describe after PackBits' worst case.
bool RowPackable(int64_t RowLen) { return RowLen + (RowLen + 127) / 128 <= 0xFFFF; }

// One layer channel: compression, row table, packed rows. Returns the bytes written.
template <typename RowFn>
int64_t WriteChannel(TPsdOut& Out, int32_t Height, RowFn&& Row) {
  std::vector<uint8_t> body, packed, row;
  std::vector<uint8_t> table(static_cast<size_t>(Height) * 2);
  for (int32_t y = 0; y < Height; ++y) {
    Row(y, row);
    packed.clear();
    QxPackBitsRow(row.data(), int32_t(row.size()), packed);
    table[size_t(y) * 2] = uint8_t(packed.size() >> 8);
    table[size_t(y) * 2 + 1] = uint8_t(packed.size());
    body.insert(body.end(), packed.begin(), packed.end());
  }
  Out.U16(1);
  Out.Bytes(table.data(), int64_t(table.size()));
  Out.Bytes(body.data(), int64_t(body.size()));
  int64_t n = 2 + int64_t(table.size()) + int64_t(body.size());
  // Every channel ends on an even offset: the pad byte is inside the channel's stated length, which readers
  // that follow the lengths skip, while readers that walk the channels expecting even ends stay in step.
  if (n & 1) {
    Out.U8(0);
    ++n;
  }
  return n;
}

void WriteResource(TPsdOut& Out, uint16_t Id, const void* Data, int64_t Size) {
  Out.Bytes("8BIM", 4);
  Out.U16(Id);
  Out.U16(0);  // empty name, padded to even
  Out.U32(uint32_t(Size));
  Out.Bytes(Data, Size);
  if (Size & 1) Out.U8(0);
}

std::vector<uint8_t> ThumbnailResource(TQxBitmap* Thumb) {
  TQxBitmap rgb;
  rgb.AssignFrom(Thumb);
  rgb.RemoveAlphaChannel();
  if (rgb.PixelFormat() != PF::qx24RGB) rgb.SetPixelFormat(PF::qx24RGB);
  TMemoryStream jpeg;
  TIOParamsVals jp;
  std::atomic<bool> abort{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &abort;
  try {
    WriteJpegStream(&jpeg, &rgb, jp, pr);
  } catch (...) {
    return {};
  }
  if (abort || jpeg.Size() <= 0) return {};
  const uint32_t w = uint32_t(rgb.Width()), h = uint32_t(rgb.Height());
  const uint32_t rowLen = (w * 3 + 3) / 4 * 4;
  std::vector<uint8_t> d;
  auto put32 = [&](uint32_t v) { for (int s = 24; s >= 0; s -= 8) d.push_back(uint8_t(v >> s)); };
  put32(1);
  put32(w);
  put32(h);
  put32(rowLen);
  put32(rowLen * h);
  put32(uint32_t(jpeg.Size()));
  d.push_back(0); d.push_back(24);
  d.push_back(0); d.push_back(1);
  const auto* m = static_cast<const uint8_t*>(jpeg.Memory());
  d.insert(d.end(), m, m + jpeg.Size());
  return d;
}

TQxLayer* LayerAt(TList* L, int32_t I) { return static_cast<TQxLayer*>(L->Items(I)); }

}  // namespace

// ---- PackBits --------------------------------------------------------------------------------------

void QxPackBitsRow(const uint8_t* Row, int32_t Count, std::vector<uint8_t>& Dest) {
  int32_t litStart = 0, litLen = 0;
  auto flush = [&] {
    if (litLen == 0) return;
    Dest.push_back(uint8_t(litLen - 1));
    Dest.insert(Dest.end(), Row + litStart, Row + litStart + litLen);
    litLen = 0;
  };
  int32_t i = 0;
  while (i < Count) {
    int32_t run = 1;
    while (i + run < Count && run < 128 && Row[i + run] == Row[i]) ++run;
    if (run >= 4) {
      flush();
      Dest.push_back(uint8_t(1 - run));
      Dest.push_back(Row[i]);
      i += run;
    } else {
      if (litLen == 0) litStart = i;
      ++litLen;
      ++i;
      if (litLen == 128) flush();
    }
  }
  flush();
}

int32_t QxUnpackBitsRow(const uint8_t* Packed, int32_t PackedLen, uint8_t* Dest, int32_t DestLen) {
  int32_t s = 0, d = 0;
  while (s < PackedLen && d < DestLen) {
    const int32_t n = int8_t(Packed[s++]);
    if (n >= 0) {
      const int32_t k = std::min({n + 1, PackedLen - s, DestLen - d});
      std::memcpy(Dest + d, Packed + s, size_t(k));
      s += n + 1;
      d += k;
    } else if (n != -128) {
      if (s >= PackedLen) break;
      const int32_t k = std::min(1 - n, DestLen - d);
      std::memset(Dest + d, Packed[s++], size_t(k));
      d += k;
    }
  }
  return d;
}

// ---- probe, reader, writer -------------------------------------------------------------------------

bool IsPsdStream(TStream* Stream) {
  if (!Stream) return false;
  const int64_t pos = Stream->Position();
  uint8_t h[kHeaderSize];
  const int64_t got = Stream->Read(h, kHeaderSize);
  Stream->Seek(pos, TSeekOrigin::soBeginning);
  return got == kHeaderSize && HeaderOk(h);
}

void ReadPsdStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                   bool LoadLayers, TList* Layers) {
  if (Progress.Assigned()) Progress.Report(0);
  if (!Stream) {
    Progress.Abort();
    return;
  }
  TQxBufferedReadStream buf(Stream, 65536, true);
  TPsdIn in{&buf, buf.Size()};
  uint8_t h[kHeaderSize];
  if (!in.Bytes(h, kHeaderSize) || !HeaderOk(h)) {
    Progress.Abort();
    return;
  }
  const int32_t channels = Be16(h + 12), depth = Be16(h + 22), mode = Be16(h + 24);
  const uint32_t height = Be32(h + 14), width = Be32(h + 18);
  if (height > uint32_t(INT32_MAX) || width > uint32_t(INT32_MAX)) {
    Progress.Abort();
    return;
  }

  // A bitmap held by a platform bitmap cannot take every format: decode aside and copy at the end.
  std::unique_ptr<TQxBitmap> aside;
  TQxBitmap* target = Bitmap;
  if (Bitmap && Bitmap->Location() == TQxLocation::qxTBitmap) {
    aside = std::make_unique<TQxBitmap>();
    target = aside.get();
  }

  Params.SetImageCount(1);
  Params.Width = Params.OriginalWidth = int32_t(width);
  Params.Height = Params.OriginalHeight = int32_t(height);
  Params.BitsPerSample = depth;
  Params.SamplesPerPixel = channels;
  Params.SetDpiX(96);
  Params.SetDpiY(96);

  // Colour mode data.
  std::vector<TQxRGB> colorMap;
  const uint32_t cmLen = in.U32();
  if (int64_t(cmLen) > in.Left()) {
    Progress.Abort();
    return;
  }
  if (cmLen == 768) {
    uint8_t m[768];
    in.Bytes(m, 768);
    colorMap.resize(256);
    for (int i = 0; i < 256; ++i) colorMap[size_t(i)] = TQxRGB{m[512 + i], m[256 + i], m[i]};
  } else {
    in.SeekTo(in.Pos() + cmLen);
  }

  // Image resources.
  int32_t transIndex = -1;
  bool hadProfile = false, thumbReplaced = false;
  const uint32_t resLen = in.U32();
  const int64_t resEnd = in.Pos() + resLen;
  if (in.Short || resEnd > in.Size) {
    Progress.Abort();
    return;
  }
  std::vector<uint8_t> data;
  while (in.Pos() < resEnd) {
    if (in.Pos() & 1) in.U8();
    uint8_t sig[4];
    in.Bytes(sig, 4);
    if (std::memcmp(sig, "8BIM", 4) != 0) break;
    const uint16_t id = in.U16();
    const uint8_t nameLen = in.U8();
    in.SeekTo(in.Pos() + nameLen + ((nameLen + 1) & 1));
    const int32_t size = in.I32();
    if (in.Short || size <= 0 || size > in.Size || size > in.Left()) break;
    data.resize(size_t(size));
    in.Bytes(data.data(), size);
    ApplyResource(id, data, Params, target, transIndex, hadProfile, thumbReplaced);
  }
  in.Short = false;
  in.SeekTo(resEnd);

  const std::vector<TQxRGB>* cmap = colorMap.empty() ? nullptr : &colorMap;

  // Layer and mask information.
  const uint32_t secLen = in.U32();
  const int64_t secEnd = in.Pos() + secLen;
  if (in.Short || secEnd > in.Size) {
    Progress.Abort();
    return;
  }
  std::vector<std::unique_ptr<TQxLayer>> read;
  if (secLen >= 4 && !thumbReplaced) {
    const uint32_t infoLen = in.U32();
    const int64_t infoEnd = in.Pos() + infoLen;
    if (infoLen >= 2 && infoEnd <= secEnd) {
      const int32_t count = std::abs(int32_t(in.I16()));
      if (Layers && !(count > 1 && !LoadLayers)) {
        if (!ReadLayers(in, infoEnd, count, depth, mode, cmap, transIndex, Progress, read, Params.MaxPixels)) read.clear();
        in.Short = false;
        // Group markers and layers without decoded pixels go, each with the mask layer after it.
        for (size_t i = 0; i < read.size();) {
          TQxBitmap* b = read[i]->Bitmap;
          if (!b || b->Width() == 0 || b->Height() == 0) {
            const bool maskNext = !read[i]->IsMask && i + 1 < read.size() && read[i + 1]->IsMask;
            read.erase(read.begin() + std::ptrdiff_t(i), read.begin() + std::ptrdiff_t(i + (maskNext ? 2 : 1)));
          } else {
            ++i;
          }
        }
      }
    }
  }
  in.SeekTo(secEnd);
  std::vector<TQxLayer*> got;
  for (auto& l : read) {
    got.push_back(l.get());
    Layers->Add(l.release());
  }
  const bool haveLayers = !got.empty();

  // Merged image.
  bool merged = false;
  if (target && !thumbReplaced && (!LoadLayers || !Layers || !haveLayers)) {
    const int32_t comp = in.U16();
    const PF fmt = FormatFor(depth, mode);
    const int64_t rows = int64_t(channels) * height, rowLen = RawRowLen(width, depth);
    std::vector<uint16_t> table;
    if (in.Short || (comp != 0 && comp != 1) || fmt == PF::qxInvalid || width == 0 || height == 0 ||
        !ReadRowTable(in, comp, rows, rowLen, in.Size, table) ||
        !RowsFit(in, comp, table, rowLen, rows, in.Size)) {
      Progress.Abort();
      return;
    }
    // The file decides every pixel and the alpha: nothing of an earlier picture may show through.
    target->FreeImage(true);
    int32_t rowIndex = 0;
    for (int32_t c = 0; c < channels; ++c) {
      TChannelJob job{target, int32_t(width), int32_t(height), depth, mode, cmap, transIndex, comp, &table,
                      &rowIndex, c, Params.MaxPixels};
      if (!DecodeChannel(in, job)) {
        Progress.Abort();
        return;
      }
    }
    if (in.Short) Progress.Abort();
    merged = true;
  }

  if (!Params.NativePixelFormat) {
    for (TQxLayer* l : got)
      if (!l->IsMask) ToRGB(l->Bitmap, Params, hadProfile);
    if (merged || thumbReplaced) ToRGB(target, Params, hadProfile);
  }
  if (aside && (merged || thumbReplaced)) Bitmap->AssignFrom(aside.get());
}

void WritePsdStream(TStream* Stream, TIOParamsVals& Params, TQxProgressInfo& Progress, TQxBitmap* Merged,
                    TList* Layers) {
  if (!Stream || !Merged || Merged->IsEmpty() || ModeOf(Merged->PixelFormat()) == kNotWritable) {
    Progress.Abort();
    return;
  }
  const int32_t mode = ModeOf(Merged->PixelFormat());
  const int32_t channels = ChannelsOf(Merged), depth = DepthOf(Merged);
  const int32_t width = Merged->Width(), height = Merged->Height();
  if (!RowPackable(RawRowLen(width, depth))) {
    Progress.Abort();
    return;
  }

  const int32_t count = Layers ? Layers->Count() : 0;
  const PF layerFmt = LayerFormatFor(mode, depth);
  for (int32_t i = 0; i < count; ++i) {
    TQxLayer* l = LayerAt(Layers, i);
    if (!l || !l->Bitmap) {
      Progress.Abort();
      return;
    }
  }
  {
    auto proc = TQuillotProc::CreateForBitmap(nullptr);
    proc->SetAutoUndo(false);
    for (int32_t i = 0; i < count; ++i) {
      TQxLayer* l = LayerAt(Layers, i);
      TQxBitmap* b = l->Bitmap;
      const PF want = l->IsMask ? PF::qx8g : layerFmt;
      if (!b->IsEmpty() && b->PixelFormat() != want) b->SetPixelFormat(want);
      const int32_t dw = l->DisplayWidth(), dh = l->DisplayHeight();
      if (!b->IsEmpty() && dw > 0 && dh > 0 && (b->Width() != dw || b->Height() != dh)) {
        proc->AttachBitmap(b);
        proc->Resample(dw, dh, l->UseResampleFilter ? l->ResampleFilter : TResampleFilter::rfNone);
        proc->AttachBitmap(nullptr);
        // Resampling may widen the format; the file holds one format for all layers.
        if (b->PixelFormat() != want) b->SetPixelFormat(want);
      }
      if (!b->IsEmpty()) b->GetAlphaChannel();
      if (!b->IsEmpty() && !RowPackable(RawRowLen(b->Width(), l->IsMask ? 8 : depth))) {
        Progress.Abort();
        return;
      }
    }
  }

  TPsdOut out{Stream};
  const int64_t base = out.Pos();
  out.Bytes("8BPS", 4);
  out.U16(1);
  const uint8_t zero6[6] = {};
  out.Bytes(zero6, 6);
  out.U16(uint16_t(channels));
  out.U32(uint32_t(height));
  out.U32(uint32_t(width));
  out.U16(uint16_t(depth));
  out.U16(uint16_t(mode));

  if (Merged->PixelFormat() == PF::qx8p) {
    uint8_t m[768] = {};
    const int32_t n = std::min(256, std::max(Merged->PaletteLength(), 0));
    for (int32_t i = 0; i < n; ++i) {
      const TQxRGB c = Merged->PaletteColor(i);
      m[i] = c.r;
      m[256 + i] = c.g;
      m[512 + i] = c.b;
    }
    out.U32(768);
    out.Bytes(m, 768);
  } else {
    out.U32(0);
  }

  // Image resources.
  const int64_t resLenAt = out.Pos();
  out.U32(0);
  {
    uint8_t r[16];
    const uint32_t dx = uint32_t(int64_t(Params.DpiX) * 65536), dy = uint32_t(int64_t(Params.DpiY) * 65536);
    const uint8_t tail[4] = {0, 1, 0, 1};
    for (int i = 0; i < 4; ++i) r[i] = uint8_t(dx >> (24 - 8 * i));
    std::memcpy(r + 4, tail, 4);
    for (int i = 0; i < 4; ++i) r[8 + i] = uint8_t(dy >> (24 - 8 * i));
    std::memcpy(r + 12, tail, 4);
    WriteResource(out, 1005, r, 16);
  }
  if (Params.IPTC) {
    std::vector<uint8_t> iptc;
    Params.IPTC->SaveToBuffer(iptc, false);
    if (!iptc.empty()) WriteResource(out, 1028, iptc.data(), int64_t(iptc.size()));
  }
  if (TQxICC* icc = Params.GetInputICC(); icc && icc->RawLength() > 0)
    WriteResource(out, 1039, icc->RawData(), icc->RawLength());
  if (Params.ExifThumbnail && !Params.ExifThumbnail->IsEmpty()) {
    const std::vector<uint8_t> t = ThumbnailResource(Params.ExifThumbnail.get());
    if (!t.empty()) WriteResource(out, 1036, t.data(), int64_t(t.size()));
  }
  if (!Params.XmpPacket.empty())
    WriteResource(out, 1060, Params.XmpPacket.data(), int64_t(Params.XmpPacket.size()));
  if ((out.Pos() - base) & 1) out.U8(0);
  out.Patch32(resLenAt, uint32_t(out.Pos() - resLenAt - 4));

  // Layer and mask information.
  if (count == 0) {
    out.U32(0);
  } else {
    const int64_t secAt = out.Pos();
    out.U32(0);
    const int64_t infoAt = out.Pos();
    out.U32(0);
    int32_t plain = 0;
    for (int32_t i = 0; i < count; ++i)
      if (!LayerAt(Layers, i)->IsMask) ++plain;
    out.U16(uint16_t(plain));
    std::vector<std::vector<int64_t>> lenAt(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
      TQxLayer* l = LayerAt(Layers, i);
      if (l->IsMask) continue;
      TQxLayer* mask = i + 1 < count && LayerAt(Layers, i + 1)->IsMask ? LayerAt(Layers, i + 1) : nullptr;
      TQxBitmap* b = l->Bitmap;
      out.U32(uint32_t(l->PosY));
      out.U32(uint32_t(l->PosX));
      out.U32(uint32_t(l->PosY + b->Height()));
      out.U32(uint32_t(l->PosX + b->Width()));
      const int32_t lch = b->IsEmpty() ? 0 : ChannelsOf(b);
      out.U16(uint16_t(1 + lch + (mask ? 1 : 0)));
      auto entry = [&](int16_t id) {
        out.U16(uint16_t(id));
        lenAt[size_t(i)].push_back(out.Pos());
        out.U32(0);
      };
      // Colour channels first, then transparency: readers that take the channels in that order regardless of
      // their ids get them right too.
      for (int32_t c = 0; c < lch; ++c) entry(int16_t(c));
      entry(-1);
      if (mask) entry(-2);
      out.Bytes("8BIMnorm", 8);
      out.U8(uint8_t(l->Opacity));
      out.U8(0);
      out.U8(l->Visible ? 0 : 2);
      out.U8(0);
      std::string name = Utf8ToCodePage(l->Name);
      if (name.size() > 255) name.resize(255);
      uint32_t extra = 4 + (mask ? 20 : 0) + 4 + 1 + uint32_t(name.size());
      const uint32_t pad = (4 - extra % 4) % 4;
      extra += pad;
      out.U32(extra);
      if (mask) {
        TQxBitmap* mb = mask->Bitmap;
        out.U32(20);
        out.U32(uint32_t(mask->PosY));
        out.U32(uint32_t(mask->PosX));
        out.U32(uint32_t(mask->PosY + mb->Height()));
        out.U32(uint32_t(mask->PosX + mb->Width()));
        const uint8_t tail[4] = {0, 0, 0, 0};
        out.Bytes(tail, 4);
      } else {
        out.U32(0);
      }
      out.U32(0);
      out.U8(uint8_t(name.size()));
      out.Bytes(name.data(), int64_t(name.size()));
      for (uint32_t k = 0; k < pad; ++k) out.U8(1);
    }
    for (int32_t i = 0; i < count; ++i) {
      TQxLayer* l = LayerAt(Layers, i);
      if (!l->IsMask) {
        TQxLayer* mask = i + 1 < count && LayerAt(Layers, i + 1)->IsMask ? LayerAt(Layers, i + 1) : nullptr;
        TQxBitmap* b = l->Bitmap;
        const int32_t lh = b->IsEmpty() ? 0 : b->Height();
        const int32_t lch = b->IsEmpty() ? 0 : ChannelsOf(b);
        size_t e = 0;
        int64_t n = 0;
        for (int32_t c = 0; c < lch; ++c) {
          n = WriteChannel(out, lh, [&](int32_t y, std::vector<uint8_t>& r) { ChannelRow(b, c, y, r); });
          out.Patch32(lenAt[size_t(i)][e++], uint32_t(n));
        }
        n = WriteChannel(out, lh, [&](int32_t y, std::vector<uint8_t>& r) { AlphaRow(b, depth, y, r); });
        out.Patch32(lenAt[size_t(i)][e++], uint32_t(n));
        if (mask) {
          TQxBitmap* mb = mask->Bitmap;
          const int32_t mh = mb->IsEmpty() ? 0 : mb->Height();
          n = WriteChannel(out, mh, [&](int32_t y, std::vector<uint8_t>& r) {
            const uint8_t* s = mb->Scanline(y);
            r.assign(s, s + mb->Width());
          });
          out.Patch32(lenAt[size_t(i)][e++], uint32_t(n));
        }
      }
      if (Progress.Assigned()) Progress.Report(int32_t(std::nearbyint(double(i) / double(count) * 100.0)));
    }
    // Readers expect the layer info to end on an even offset.
    if ((out.Pos() - infoAt - 4) & 1) out.U8(0);
    out.Patch32(infoAt, uint32_t(out.Pos() - infoAt - 4));
    out.U32(0);  // global layer mask info
    out.Patch32(secAt, uint32_t(out.Pos() - secAt - 4));
  }

  // Merged image data: one table for every row of every channel, then the rows.
  out.U16(1);
  const int64_t tableAt = out.Pos();
  std::vector<uint8_t> table(static_cast<size_t>(channels) * height * 2);
  out.Bytes(table.data(), int64_t(table.size()));
  std::vector<uint8_t> row, packed;
  for (int32_t c = 0; c < channels; ++c) {
    for (int32_t y = 0; y < height; ++y) {
      ChannelRow(Merged, c, y, row);
      packed.clear();
      QxPackBitsRow(row.data(), int32_t(row.size()), packed);
      const size_t t = (size_t(c) * size_t(height) + size_t(y)) * 2;
      table[t] = uint8_t(packed.size() >> 8);
      table[t + 1] = uint8_t(packed.size());
      out.Bytes(packed.data(), int64_t(packed.size()));
    }
    if (count > 0 && Progress.Assigned())
      Progress.Report(int32_t(std::nearbyint(double(c) / double(channels) * 100.0)));
  }
  const int64_t end = out.Pos();
  Stream->Seek(tableAt, TSeekOrigin::soBeginning);
  out.Bytes(table.data(), int64_t(table.size()));
  Stream->Seek(end, TSeekOrigin::soBeginning);
  if (out.Failed) Progress.Abort();
}

void QxRegisterPsdCodec() {
  QxCodecServices.IsPsdStream = &IsPsdStream;
  QxCodecServices.ReadPsdStream = &ReadPsdStream;
  QxCodecServices.WritePsdStream = &WritePsdStream;
}
