// The TIFF writer (new files and pages inserted into existing ones), the page count, the probes and the
// codec's registration.
#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>

#include "imaging/codecs/ccitt.h"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/lzw.h"
#include "imaging/codecs/tiff.h"
#include "imaging/codecs/tiff_internal.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/tiff_tags.h"
#include "imaging/io/cmyk.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/jpeg_metadata.h"
#include "imaging/io/params.h"
#include "imaging/io/zstreams.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/foundation/kernels/quantizer.h"
#include "platform/base/streams.h"

// ============================================================ entry collection

void TTiffWriter::Write(const void* Data, int64_t Count) {
  if (Count > 0) QxWriteChecked(Stream, Aborting, Data, Count);
}

uint32_t TTiffWriter::Offset32(int64_t Value) {
  if (Value < 0 || Value > int64_t(UINT32_MAX)) {
    if (Aborting) *Aborting = true;
    throw EWriteError("The TIFF file would pass 4 GB, which its 32-bit offsets cannot address");
  }
  return uint32_t(Value);
}

void TTiffWriter::AlignEven() {
  if (Stream->Position() & 1) {
    const uint8_t z = 0;
    Write(&z, 1);
  }
}

void TTiffWriter::Add(uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value) {
  for (auto& e : Entries)
    if (e.Tag == Tag) {
      e = TTiffWriteEntry{Tag, Type, Count, Value};
      return;
    }
  Entries.push_back(TTiffWriteEntry{Tag, Type, Count, Value});
}

void TTiffWriter::AddData(uint16_t Tag, uint16_t Type, uint32_t Count, const void* Data, size_t Bytes) {
  if (Bytes <= 4) {
    uint8_t v[4] = {0, 0, 0, 0};
    if (Bytes) std::memcpy(v, Data, Bytes);
    Add(Tag, Type, Count, uint32_t(v[0]) | (uint32_t(v[1]) << 8) | (uint32_t(v[2]) << 16) | (uint32_t(v[3]) << 24));
    return;
  }
  AlignEven();
  const int64_t at = Stream->Position();
  Write(Data, int64_t(Bytes));
  Add(Tag, Type, Count, Offset32(at));
}

void TTiffWriter::AddShorts(uint16_t Tag, const std::vector<uint16_t>& Values) {
  std::vector<uint8_t> b;
  for (uint16_t v : Values) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  }
  AddData(Tag, ttShort, uint32_t(Values.size()), b.data(), b.size());
}

void TTiffWriter::AddLongs(uint16_t Tag, const std::vector<uint32_t>& Values) {
  std::vector<uint8_t> b;
  for (uint32_t v : Values)
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  AddData(Tag, ttLong, uint32_t(Values.size()), b.data(), b.size());
}

void TTiffWriter::AddAscii(uint16_t Tag, const std::string& Text) {
  if (Text.empty()) return;
  if (Text.size() <= 4) {
    AddData(Tag, ttAscii, uint32_t(Text.size()), Text.data(), Text.size());
    return;
  }
  AddData(Tag, ttAscii, uint32_t(Text.size() + 1), Text.c_str(), Text.size() + 1);
}

void TTiffWriter::AddRationals(uint16_t Tag, const double* Values, int32_t Count) {
  std::vector<uint8_t> b;
  for (int32_t i = 0; i < Count; ++i) {
    int32_t num = 0, den = 1;
    QxFloatToFraction(num, den, Values[i], 5e-9);
    const uint32_t n = uint32_t(num), d = uint32_t(den);
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(n >> (8 * k)));
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(d >> (8 * k)));
  }
  // Rationals always go out of line, even position first.
  AlignEven();
  const int64_t at = Stream->Position();
  Write(b.data(), int64_t(b.size()));
  Add(Tag, ttRational, uint32_t(Count), Offset32(at));
}

int64_t TTiffWriter::WriteDirectory(uint32_t NextOffset) {
  AlignEven();
  const int64_t at = Offset32(Stream->Position());
  std::stable_sort(Entries.begin(), Entries.end(),
                   [](const TTiffWriteEntry& a, const TTiffWriteEntry& b) { return a.Tag < b.Tag; });
  std::vector<uint8_t> b;
  auto p16 = [&](uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  };
  auto p32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  p16(uint32_t(Entries.size()));
  for (const auto& e : Entries) {
    p16(e.Tag);
    p16(e.Type);
    p32(e.Count);
    p32(e.Value);
  }
  p32(NextOffset);
  Write(b.data(), int64_t(b.size()));
  return at;
}

// ============================================================ writer

namespace {

struct TWriteVars {
  int32_t Compression = 1;
  bool TwoD = false;
  int32_t FillOrder = 1;
  int32_t State = 2;
  int32_t Predictor = 1;
  bool Complement = false;
  TQxTiffLzwEncodeProc Lzw = nullptr;
  std::unique_ptr<TQxQuantizer> Quantizer;
  TQxRGB Palette[256] = {};
  int32_t PaletteCount = 0;
  int32_t Bits = 8;
  int32_t Samples = 3;
  bool AlphaSample = false;
  int32_t JpegQuality = 80;
  int32_t JpegColorSpace = 2;
};

int32_t StateOf(int32_t Photometric) {
  switch (Photometric) {
    case 0:
    case 1: return 1;
    case 3: return 3;
    case 5: return 5;
    case 7: return 7;
    default: return 2;
  }
}

bool HasTransparency(TQxBitmap* B) {
  if (!B->HasAlphaChannel()) return false;
  TQxBitmap* a = B->GetAlphaChannel();
  for (int32_t y = 0; y < a->Height(); ++y) {
    const uint8_t* r = a->Scanline(y);
    for (int32_t x = 0; x < a->Width(); ++x)
      if (r[x] != 255) return true;
  }
  return false;
}

// Step 1: the working bitmap and the layout written; rewrites Params to describe it.
void Prepare(TQxBitmap* Bitmap, TIOParamsVals& P, TWriteVars& W, TQxBitmap*& Work, std::unique_ptr<TQxBitmap>& Own) {
  Work = Bitmap;
  // Parameters left by a damaged file must not describe samples no row layout exists for.
  if (P.BitsPerSample < 1 || (P.BitsPerSample > 8 && P.BitsPerSample != 16)) P.BitsPerSample = 8;
  if (P.SamplesPerPixel < 1) P.SamplesPerPixel = 3;
  const TQxPixelFormat f0 = Bitmap->PixelFormat();
  auto copy24 = [&](TQxBitmap* Src) {
    auto c = std::make_unique<TQxBitmap>();
    c->AssignFrom(Src);
    c->SetPixelFormat(TQxPixelFormat::qx24RGB);
    Own = std::move(c);
    Work = Own.get();
  };
  // Formats without a row layout of their own are written from 24 bits.
  if (f0 == TQxPixelFormat::qx32f || f0 == TQxPixelFormat::qxCIELab || f0 == TQxPixelFormat::qx32RGB) copy24(Bitmap);
  if (P.BitsPerSample == 1 && P.SamplesPerPixel == 1 && Work->PixelFormat() != TQxPixelFormat::qx1g) {
    TQxRGB c1, c2;
    std::unique_ptr<TQxBitmap> two = QxTwoColorBitmap(Work, c1, c2);
    if (!two) {
      two = std::make_unique<TQxBitmap>(Work->Width(), Work->Height(), TQxPixelFormat::qx1g);
      two->BWConversion = Work->BWConversion;
      two->ConvertFrom(Work);
    }
    Own = std::move(two);
    Work = Own.get();
  } else if (Work->PixelFormat() == TQxPixelFormat::qx1g && !(P.BitsPerSample == 1 && P.SamplesPerPixel == 1)) {
    copy24(Work);
  }
  // A one-channel bitmap is written straight only in its own layout; any other layout asked for goes
  // through 24 bits, so that the samples written always match the tags.
  {
    const TQxPixelFormat f = Work->PixelFormat();
    const bool straight8 = (f == TQxPixelFormat::qx8p || f == TQxPixelFormat::qx8g) && P.SamplesPerPixel == 1 &&
                           P.BitsPerSample == 8;
    const bool straight16 = f == TQxPixelFormat::qx16g && P.SamplesPerPixel == 1 && P.BitsPerSample == 16;
    if ((f == TQxPixelFormat::qx8p || f == TQxPixelFormat::qx8g || f == TQxPixelFormat::qx16g) && !straight8 &&
        !straight16)
      copy24(Work);
  }
  const TQxPixelFormat wf = Work->PixelFormat();
  if (P.SamplesPerPixel == 1 &&
      ((P.BitsPerSample >= 2 && P.BitsPerSample <= 8) || P.BitsPerSample == 16)) {
    W.PaletteCount = std::min(1 << std::min(P.BitsPerSample, 8), 256);
    W.Quantizer = std::make_unique<TQxQuantizer>(Work, W.Palette, W.PaletteCount);
    if (P.TiffCompression != 5 && P.TiffCompression != 8 && P.TiffCompression != 9) P.TiffCompression = 0;
    const bool gray = wf == TQxPixelFormat::qx8g || wf == TQxPixelFormat::qx16g ||
                      (wf != TQxPixelFormat::qx8p && W.Quantizer->Gray());
    if (gray) {
      P.TiffPhotometric = 1;
    } else {
      P.TiffPhotometric = 3;
      if (P.BitsPerSample == 16) P.BitsPerSample = 8;
    }
    if (wf == TQxPixelFormat::qx8p)
      for (int32_t i = 0; i < 256; ++i) W.Palette[i] = i < Work->PaletteLength() ? Work->PaletteColor(i) : TQxRGB{0, 0, 0};
  }
  if (P.TiffPhotometric == 3 && P.SamplesPerPixel > 1) P.TiffPhotometric = 2;
  if (wf == TQxPixelFormat::qxRGB48) {
    P.SamplesPerPixel = 3;
    P.BitsPerSample = 16;
    P.TiffPhotometric = 2;
  }
  if (P.BitsPerSample > 8 && P.SamplesPerPixel != 1) {
    P.SamplesPerPixel = 3;
    P.BitsPerSample = 8;
    P.TiffPhotometric = 2;
  }
  if ((P.TiffPhotometric == 0 || P.TiffPhotometric == 1) && P.BitsPerSample == 8 && P.SamplesPerPixel == 3)
    P.TiffPhotometric = 2;
  if (P.TiffPhotometric == 2 && P.SamplesPerPixel == 1 && P.BitsPerSample == 1) P.TiffPhotometric = 1;
  if (P.TiffPhotometric == 6 && P.TiffCompression != 7) P.TiffPhotometric = 2;
  if (P.TiffPhotometric == 2 && P.SamplesPerPixel > 3) P.SamplesPerPixel = 3;
  if (wf == TQxPixelFormat::qxRGB48) {
    P.SamplesPerPixel = 3;
    P.BitsPerSample = 16;
    P.TiffPhotometric = 2;
  }
  if (wf == TQxPixelFormat::qxCMYK) {
    P.SamplesPerPixel = 4;
    P.BitsPerSample = 8;
    P.TiffPhotometric = 5;
  }
  W.State = StateOf(P.TiffPhotometric);
  if (W.State == 5) P.SamplesPerPixel = 4;

  W.Predictor = 1;
  switch (P.TiffCompression) {
    case 0: W.Compression = 1; break;
    case 1: W.Compression = 2; break;
    case 2: W.Compression = 3; break;
    case 3:
      W.Compression = 3;
      W.TwoD = true;
      break;
    case 4: W.Compression = 4; break;
    case 5:
      W.Compression = 5;
      W.Predictor = 2;
      W.Lzw = QxTiffLzwEncoder(P);
      if (!W.Lzw) {
        W.Compression = 1;
        W.Predictor = 1;
      }
      break;
    case 6:
    case 7:
      W.Compression = P.TiffCompression;
      W.JpegQuality = P.TiffJpegQuality;
      W.JpegColorSpace = P.TiffJpegColorSpace;
      switch (P.TiffJpegColorSpace) {
        case 1: W.State = 1; break;
        case 2: W.State = 6; break;
        case 3: W.State = 5; break;
        case 4:
          W.State = 2;
          W.JpegColorSpace = 0;
          break;
        default: W.State = 2; break;
      }
      break;
    case 8: W.Compression = 32773; break;
    case 9:
    case 10: W.Compression = 32946; break;
    default: W.Compression = 1; break;
  }
  if (W.Compression >= 2 && W.Compression <= 4) {
    W.State = 0;
    W.Complement = true;
  }
  W.FillOrder = P.TiffFillOrder == 2 ? 2 : 1;
  if (wf != TQxPixelFormat::qx1g && W.Compression >= 2 && W.Compression <= 4) {
    W.Compression = 1;
    W.Complement = false;
    W.TwoD = false;
    W.State = StateOf(P.TiffPhotometric);
    if (W.State == 5) P.SamplesPerPixel = 4;
  }
  // Record in Params what the page really carries.
  if (W.Compression == 1) P.TiffCompression = 0;
  if (!(W.Predictor == 2 && P.BitsPerSample == 8 && P.SamplesPerPixel == 3 && W.State != 1 && W.State != 3 &&
        !Work->HasAlphaChannel()))
    W.Predictor = 1;
  if (W.Complement) {
    if (!Own) {
      Own = std::make_unique<TQxBitmap>();
      Own->AssignFrom(Work);
      Work = Own.get();
    }
    QxInvertRows(Work);
  }
  W.Bits = P.BitsPerSample;
  W.Samples = P.SamplesPerPixel;
}

// Bytes of one written row of the working bitmap.
int64_t RowBytesOf(TQxBitmap* B, const TWriteVars& W) {
  const int64_t w = B->Width();
  switch (B->PixelFormat()) {
    case TQxPixelFormat::qx1g: return (w + 7) / 8;
    case TQxPixelFormat::qx8p:
    case TQxPixelFormat::qx8g: return w;
    case TQxPixelFormat::qx16g: return 2 * w;
    case TQxPixelFormat::qxCMYK: return 4 * w;
    case TQxPixelFormat::qxRGB48: return 6 * w;
    default: break;
  }
  if (W.State == 1 || W.State == 3) return (w * W.Bits + 7) / 8;
  if (W.State == 5) return 4 * w;
  return w * (W.AlphaSample ? 4 : 3);
}

void BuildRow(TQxBitmap* B, int32_t Y, TWriteVars& W, TIOParamsVals& P, uint8_t* Out, std::vector<uint8_t>& Tmp) {
  const int32_t w = B->Width();
  const uint8_t* s = B->Scanline(Y);
  switch (B->PixelFormat()) {
    case TQxPixelFormat::qx1g: std::memcpy(Out, s, size_t((w + 7) / 8)); return;
    case TQxPixelFormat::qx8p:
    case TQxPixelFormat::qx8g: std::memcpy(Out, s, size_t(w)); return;
    case TQxPixelFormat::qx16g: std::memcpy(Out, s, size_t(w) * 2); return;
    case TQxPixelFormat::qxCMYK:
      for (int64_t i = 0; i < int64_t(w) * 4; ++i) Out[i] = uint8_t(255 - s[i]);
      return;
    case TQxPixelFormat::qxRGB48: std::memcpy(Out, s, size_t(w) * 6); return;
    default: break;
  }
  if (W.State == 5) {
    QxColorRowConverter(s, TQxColorLayout::qxclBGR, Out, TQxColorLayout::qxclCMYK, w, &P);
    for (int64_t i = 0; i < int64_t(w) * 4; ++i) Out[i] = uint8_t(255 - Out[i]);
  } else if (W.State == 7) {
    QxColorRowConverter(s, TQxColorLayout::qxclBGR, Out, TQxColorLayout::qxclLab, w, &P);
  } else if (W.State == 1 || W.State == 3) {
    const int64_t n = (int64_t(w) * W.Bits + 7) / 8;
    std::memset(Out, 0, size_t(n));
    for (int32_t x = 0; x < w; ++x) {
      const TQxRGB c{s[3 * x], s[3 * x + 1], s[3 * x + 2]};
      const uint32_t idx = uint32_t(std::max(W.Quantizer ? W.Quantizer->RGBIndex(c) : 0, 0)) & 0xFF;
      if (W.Bits == 8) {
        Out[x] = uint8_t(idx);
      } else if (W.Bits == 16) {
        const uint32_t v = idx * 257;
        Out[2 * x] = uint8_t(v);
        Out[2 * x + 1] = uint8_t(v >> 8);
      } else {
        const int64_t bit0 = int64_t(x) * W.Bits;
        for (int32_t b = 0; b < W.Bits; ++b)
          if ((idx >> (W.Bits - 1 - b)) & 1) {
            const int64_t bit = bit0 + b;
            Out[bit >> 3] = uint8_t(Out[bit >> 3] | (0x80 >> (bit & 7)));
          }
      }
    }
  } else {
    const int32_t n = W.AlphaSample ? 4 : 3;
    const uint8_t* a = W.AlphaSample ? B->GetAlphaChannel()->Scanline(Y) : nullptr;
    for (int32_t x = 0; x < w; ++x) {
      Out[n * x] = s[3 * x + 2];
      Out[n * x + 1] = s[3 * x + 1];
      Out[n * x + 2] = s[3 * x];
      if (a) Out[n * x + 3] = a[x];
    }
    if (W.Predictor == 2) {
      Tmp.assign(Out, Out + int64_t(w) * n);
      for (int64_t i = n; i < int64_t(w) * n; ++i) Out[i] = uint8_t(Tmp[size_t(i)] - Tmp[size_t(i - n)]);
    }
  }
}

// Encodes the strips of the page; fills the strip tables.
void WriteStrips(TTiffWriter& T, TQxBitmap* B, TWriteVars& W, TIOParamsVals& P, TQxProgressInfo& Progress,
                 std::vector<uint32_t>& Offsets, std::vector<uint32_t>& Counts, int32_t& RowsPerStrip) {
  const int32_t h = B->Height();
  int64_t strips = 1;
  if (W.Compression != 7 && W.Compression != 32946)
    strips = std::max<int64_t>(int64_t(h) * B->RowLen() / 524288, 1);
  RowsPerStrip = std::max<int32_t>(int32_t(h / strips), 1);
  const int64_t R = RowBytesOf(B, W);
  std::vector<uint8_t> row(size_t(R) + 8), tmp, packed(size_t(R) + size_t(R) / 128 + 16);
  std::atomic<bool>& abortRef = *T.Aborting;
  for (int32_t y0 = 0; y0 < h; y0 += RowsPerStrip) {
    const int32_t y1 = std::min(h, y0 + RowsPerStrip);
    T.AlignEven();
    const int64_t start = T.Stream->Position();
    void* lzw = nullptr;
    void* ref = nullptr;
    uint8_t pendByte = 0;
    int32_t pendBits = 0;
    std::unique_ptr<TZCompressionStream> z;
    if (W.Compression == 32946) {
      const int32_t lv = P.TiffZipCompression == 0 ? 1 : P.TiffZipCompression == 2 ? 3 : 2;
      z = std::make_unique<TZCompressionStream>(*T.Stream, uint8_t(lv));
    }
    for (int32_t y = y0; y < y1; ++y) {
      Progress.Report(int32_t(int64_t(y) * 100 / h));
      BuildRow(B, y, W, P, row.data(), tmp);
      switch (W.Compression) {
        case 2: CCITTEncodeMH(row.data(), B->Width(), T.Stream, abortRef, W.FillOrder); break;
        case 3:
          if (W.TwoD)
            CCITTEncodeG3_2D(row.data(), B->Width(), T.Stream, pendByte, pendBits, ref, abortRef, W.FillOrder);
          else
            CCITTEncodeMHRow(row.data(), B->Width(), T.Stream, pendByte, pendBits, abortRef, W.FillOrder);
          break;
        case 4: CCITTEncodeG4(row.data(), B->Width(), T.Stream, pendByte, pendBits, ref, abortRef, W.FillOrder); break;
        case 5: W.Lzw(row.data(), int32_t(R), T.Stream, lzw); break;
        case 32773: T.Write(packed.data(), TiffPackBitsEncode(row.data(), int32_t(R), packed.data())); break;
        case 32946: QxWriteChecked(z.get(), T.Aborting, row.data(), R); break;
        default: T.Write(row.data(), R); break;
      }
      if (Progress.Aborting()) break;
    }
    switch (W.Compression) {
      case 3:
        if (W.TwoD) CCITTEncodeG3_2D(nullptr, B->Width(), T.Stream, pendByte, pendBits, ref, abortRef, W.FillOrder);
        if (pendBits > 0) T.Write(&pendByte, 1);
        break;
      case 4: CCITTEncodeG4(nullptr, B->Width(), T.Stream, pendByte, pendBits, ref, abortRef, W.FillOrder); break;
      case 5: W.Lzw(nullptr, 0, T.Stream, lzw); break;
      case 32946: z->Finish(); break;
      default: break;
    }
    CCITTFreeRefRow(ref);
    z.reset();
    Offsets.push_back(T.Offset32(start));
    Counts.push_back(T.Offset32(T.Stream->Position() - start));
    T.Offset32(T.Stream->Position());
    if (Progress.Aborting()) return;
  }
}

// The bitmap as one complete JPEG stream in memory, written with the page's JPEG settings.
bool EncodeJpeg(TQxBitmap* B, const TWriteVars& W, TMemoryStream& Out, TQxProgressInfo& Progress) {
  TIOParamsVals priv;
  priv.JpegQuality = W.JpegQuality;
  priv.JpegColorSpace = uint8_t(W.JpegColorSpace);
  TQxBitmap* src = B;
  std::unique_ptr<TQxBitmap> c;
  if (B->PixelFormat() != TQxPixelFormat::qx24RGB && B->PixelFormat() != TQxPixelFormat::qx8g) {
    c = std::make_unique<TQxBitmap>();
    c->AssignFrom(B);
    c->SetPixelFormat(TQxPixelFormat::qx24RGB);
    src = c.get();
  }
  WriteJpegStream(&Out, src, priv, Progress);
  return !Progress.Aborting() && Out.Size() > 0;
}

// Positions of the chain in the TIFF the stream holds: the link to patch and the pages there are.
bool FindInsertLink(TStream* S, int32_t Index, int64_t& Link, uint32_t& LinkValue, int32_t& Pages) {
  const int64_t start = S->Position();
  const int64_t size = S->Size();
  uint8_t h[4];
  if (S->Read(h, 4) != 4 || h[0] != 'I' || h[1] != 'I') return false;
  auto read32 = [&](int64_t at, uint32_t& v) {
    uint8_t b[4];
    if (at < 0 || at + 4 > size) return false;
    S->SetPosition(at);
    if (S->Read(b, 4) != 4) return false;
    v = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return true;
  };
  int64_t field = start + 4;
  uint32_t off = 0;
  if (!read32(field, off)) off = 0;
  Pages = 0;
  bool chosen = false;
  std::unordered_set<uint32_t> seen;
  for (;;) {
    if (!chosen && Pages == Index) {
      Link = field;
      LinkValue = off;
      chosen = true;
    }
    if (off == 0 || !seen.insert(off).second || int64_t(off) + 2 > size) break;
    uint8_t c[2];
    S->SetPosition(off);
    if (S->Read(c, 2) != 2) break;
    const int64_t n = c[0] | (c[1] << 8);
    ++Pages;
    field = int64_t(off) + 2 + 12 * n;
    uint32_t next = 0;
    if (!read32(field, next)) {
      // A broken chain ends at this page; its link field cannot be patched, so nothing is inserted after it.
      if (!chosen) {
        Link = -1;
        chosen = true;
      }
      break;
    }
    off = next;
  }
  if (!chosen) {
    Link = field;
    LinkValue = 0;
  }
  return true;
}

}  // namespace

int32_t WriteTiffStream(TStream* Stream, int32_t InsertMode, TQxBitmap* Bitmap, TIOParamsVals& Params,
                        TQxProgressInfo& Progress) {
  std::atomic<bool> localFlag{false};
  if (!Progress.AbortFlag) Progress.AbortFlag = &localFlag;
  struct TRestore {
    TQxProgressInfo& P;
    std::atomic<bool>* Local;
    ~TRestore() {
      if (P.AbortFlag == Local) P.AbortFlag = nullptr;
    }
  } restore{Progress, &localFlag};

  TTiffWriter T(Stream, Progress.AbortFlag);
  TWriteVars W;
  TQxBitmap* work = nullptr;
  std::unique_ptr<TQxBitmap> own;
  if (Bitmap && Bitmap->IsEmpty()) Bitmap = nullptr;
  if (Bitmap) Prepare(Bitmap, Params, W, work, own);

  int32_t result = 1;
  const int64_t start = Stream->Position();
  int64_t link = -1;
  uint32_t linkValue = 0;
  if (!InsertMode) {
    const uint8_t z[8] = {0};
    T.Write(z, 8);
  } else {
    int32_t pages = 0;
    if (!FindInsertLink(Stream, Params.TiffImageIndex < 0 ? INT32_MAX : Params.TiffImageIndex, link, linkValue,
                        pages) ||
        link < 0) {
      Progress.Abort();
      return 0;
    }
    result = pages + 1;
    Stream->Seek(0, TSeekOrigin::soEnd);
  }

  if (Params.ExifHasData) {
    TiffWriteExifTags(T, Params);
  } else {
    T.AddAscii(270, Params.TiffImageDescription);
    T.AddRational(282, Params.DpiX);
    T.AddRational(283, Params.DpiY);
    T.AddShort(296, 2);
  }

  if (work) {
    const TQxPixelFormat f = work->PixelFormat();
    T.AddLong(256, uint32_t(work->Width()));
    T.AddLong(257, uint32_t(work->Height()));
    W.AlphaSample = W.State == 2 && (W.Compression == 1 || W.Compression == 5 || W.Compression == 32773 ||
                                     W.Compression == 32946) &&
                    f == TQxPixelFormat::qx24RGB && HasTransparency(work);
    switch (f) {
      case TQxPixelFormat::qx1g: T.AddShort(258, 1); break;
      case TQxPixelFormat::qx8p:
      case TQxPixelFormat::qx8g: T.AddShort(258, 8); break;
      case TQxPixelFormat::qx16g: T.AddShort(258, 16); break;
      case TQxPixelFormat::qxCMYK: T.AddShorts(258, {8, 8, 8, 8}); break;
      case TQxPixelFormat::qxRGB48: T.AddShorts(258, {16, 16, 16}); break;
      default:
        if (W.State == 1 || W.State == 3) T.AddShort(258, uint32_t(W.Bits));
        else if (W.State == 5) T.AddShorts(258, {8, 8, 8, 8});
        else if (W.AlphaSample) T.AddShorts(258, {8, 8, 8, 8});
        else T.AddShorts(258, {8, 8, 8});
        break;
    }
    T.AddShort(259, uint32_t(W.Compression));
    if (f == TQxPixelFormat::qx1g) {
      if (W.State == 0) T.AddShort(262, 0);
      else if (W.State == 1) T.AddShort(262, 1);
    } else {
      const int32_t ph = W.State == 1 ? 1 : W.State == 3 ? 3 : W.State == 5 ? 5 : W.State == 6 ? 6 : W.State == 7 ? 8 : 2;
      T.AddShort(262, uint32_t(ph));
    }
    T.AddAscii(269, Params.TiffDocumentName);
    if (W.Compression >= 2 && W.Compression <= 4) {
      T.AddShort(266, uint32_t(W.FillOrder));
      T.AddShort(284, 1);
      T.AddShort(327, 0);
    }

    const uint8_t oldMode = work->AccessMode;
    work->AccessMode = 1;
    if (W.Compression == 6) {
      TMemoryStream js;
      if (EncodeJpeg(work, W, js, Progress)) {
        T.AlignEven();
        const int64_t at = Stream->Position();
        const auto* p = static_cast<const uint8_t*>(js.Memory());
        const int64_t n = js.Size();
        int64_t sos = 0;
        for (int64_t i = 0; i + 1 < n; ++i)
          if (p[i] == 0xFF && p[i + 1] == 0xDA) {
            sos = i;
            break;
          }
        T.Write(p, n);
        T.Offset32(at + n);
        T.AddLong(514, T.Offset32(n));
        T.AddLong(513, T.Offset32(at));
        T.AddLong(278, uint32_t(work->Height()));
        T.AddLong(279, T.Offset32(n - sos));
        T.AddLong(273, T.Offset32(at + sos));
        T.AddShort(512, 1);
        T.AddShorts(530, {2, 2});
      } else {
        Progress.Abort();
      }
    } else if (W.Compression == 7) {
      TMemoryStream js;
      if (EncodeJpeg(work, W, js, Progress)) {
        T.AlignEven();
        const int64_t at = Stream->Position();
        T.Write(js.Memory(), js.Size());
        T.Offset32(at + js.Size());
        T.AddLong(278, uint32_t(work->Height()));
        T.AddLong(273, T.Offset32(at));
        T.AddLong(279, T.Offset32(js.Size()));
      } else {
        Progress.Abort();
      }
    } else {
      std::vector<uint32_t> offs, counts;
      int32_t rps = 0;
      WriteStrips(T, work, W, Params, Progress, offs, counts, rps);
      T.AddLong(278, uint32_t(rps));
      if (offs.size() == 1) {
        T.AddLong(273, offs[0]);
        T.AddLong(279, counts[0]);
      } else {
        T.AddLongs(273, offs);
        T.AddLongs(279, counts);
      }
    }
    work->AccessMode = oldMode;
    if (Progress.Aborting()) return result;

    if (f == TQxPixelFormat::qx1g || W.State == 1 || W.State == 3) {
      T.AddShort(277, 1);
    } else if (W.State == 5 || f == TQxPixelFormat::qxCMYK) {
      T.AddShort(277, 4);
    } else if (W.AlphaSample) {
      T.AddShort(277, 4);
      // The colours are stored as they are, not premultiplied: unassociated alpha.
      T.AddShort(338, 2);
    } else {
      T.AddShort(277, 3);
    }
    if (W.Predictor == 2) T.AddShort(317, 2);
    T.AddAscii(285, Params.TiffPageName);
    if (Params.TiffXPos != 0) T.AddRational(286, Params.TiffXPos);
    if (Params.TiffYPos != 0) T.AddRational(287, Params.TiffYPos);
    if (W.Compression == 3) T.AddLong(292, W.TwoD ? 1 : 0);
    if (W.Compression == 4) T.AddLong(292, 0);
    if (W.Compression == 3 || W.Compression == 4) T.AddLong(293, 0);
    T.AddLong(254, 0);
    if (Params.TiffPageNumber > -1 || Params.TiffPageCount > -1)
      T.AddShorts(297, {uint16_t(Params.TiffPageNumber), uint16_t(Params.TiffPageCount)});
    TiffWriteMetadataBlocks(T, Params);
    if (W.State == 3 && f != TQxPixelFormat::qx1g) {
      const int32_t n = std::min(1 << std::min(W.Bits, 8), 256);
      std::vector<uint16_t> map(size_t(3 * n));
      for (int32_t i = 0; i < n; ++i) {
        map[size_t(i)] = uint16_t(W.Palette[i].r * 257);
        map[size_t(n + i)] = uint16_t(W.Palette[i].g * 257);
        map[size_t(2 * n + i)] = uint16_t(W.Palette[i].b * 257);
      }
      T.AddShorts(320, map);
    }
  }

  T.AlignEven();
  const int64_t dir = T.Offset32(Stream->Position());
  if (!InsertMode) {
    Stream->SetPosition(start);
    const uint8_t h[8] = {'I', 'I', 42, 0, uint8_t(dir), uint8_t(dir >> 8), uint8_t(dir >> 16), uint8_t(dir >> 24)};
    T.Write(h, 8);
  } else {
    Stream->SetPosition(link);
    const uint8_t b[4] = {uint8_t(dir), uint8_t(dir >> 8), uint8_t(dir >> 16), uint8_t(dir >> 24)};
    T.Write(b, 4);
  }
  Stream->SetPosition(dir);
  T.WriteDirectory(InsertMode ? linkValue : 0);
  return result;
}

int32_t TiffPackBitsEncode(const uint8_t* Row, int32_t Count, uint8_t* Dest) {
  int32_t p = 0, s = 0, out = 0;
  auto literal = [&]() {
    const int32_t k = p - s;
    if (k <= 0) return;
    Dest[out++] = uint8_t(k - 1);
    std::memcpy(Dest + out, Row + s, size_t(k));
    out += k;
    s = p;
  };
  while (p < Count) {
    int32_t r = 1;
    while (p + r < Count && r < 128 && Row[p + r] == Row[p]) ++r;
    if (r >= 4) {
      literal();
      Dest[out++] = uint8_t(1 - r);
      Dest[out++] = Row[p];
      p += r;
      s = p;
    } else if (p - s == 128) {
      literal();
    } else {
      ++p;
    }
  }
  literal();
  return out;
}

// ============================================================ probes

namespace {

// Header and directory 0 of the TIFF at the stream position, offsets from the stream's start.
bool LoadFirstDirectory(TStream* S, TTIFFDirectory& Dir, bool LittleEndianOnly) {
  uint8_t h[8];
  if (S->Read(h, 8) != 8) return false;
  if (h[0] == 'I' && h[1] == 'I') Dir.LittleEndian = true;
  else if (h[0] == 'M' && h[1] == 'M' && !LittleEndianOnly) Dir.LittleEndian = false;
  else return false;
  return TiffLoadDirectory(S, 0, Dir.LittleEndian, Dir.Get32(h + 4), Dir);
}

struct TPosGuard {
  TStream* S;
  int64_t Pos;
  explicit TPosGuard(TStream* Stream) : S(Stream), Pos(Stream->Position()) {}
  ~TPosGuard() { S->SetPosition(Pos); }
};

}  // namespace

bool IsTiffStream(TStream* Stream) {
  TPosGuard g(Stream);
  const int64_t size = Stream->Size();
  if (size <= 8) return false;
  uint8_t h[8];
  if (Stream->Read(h, 8) != 8) return false;
  TTIFFDirectory d;
  if (h[0] == 'I' && h[1] == 'I') {
    d.LittleEndian = true;
  } else if (h[0] == 'M' && h[1] == 'M') {
    d.LittleEndian = false;
    Stream->SetPosition(8);
    uint8_t b8 = 0;
    if (Stream->Read(&b8, 1) != 1 || b8 == 0xBA) return false;
  } else {
    return false;
  }
  const uint32_t first = d.Get32(h + 4);
  if (int64_t(first) >= size) return false;
  if (!TiffLoadDirectory(Stream, 0, d.LittleEndian, first, d)) return false;
  return d.FindTag(256) >= 0 && d.FindTag(257) >= 0;
}

bool IsTiffRawStream(TStream* Stream) {
  TPosGuard g(Stream);
  TTIFFDirectory d;
  if (!LoadFirstDirectory(Stream, d, false)) return false;
  if (const TTIFFEntry* e = d.Entry(50706))
    if (e->Type == ttByte && e->Count == 4) return true;
  if (const TTIFFEntry* e = d.Entry(262))
    if (e->Type == ttShort && e->Count == 1) {
      const int64_t v = d.ReadValue(262, 0);
      if (v == 32803 || v == 34892) return true;
    }
  if (d.FindTag(330) >= 0 && d.FindTag(37398) >= 0 && d.ReadValue(256, 0) < 200 && d.ReadValue(257, 0) < 200)
    return true;
  return false;
}

bool IsHDPStream(TStream* Stream) {
  TPosGuard g(Stream);
  TTIFFDirectory d;
  if (!LoadFirstDirectory(Stream, d, true)) return false;
  for (uint16_t t : {uint16_t(48256), uint16_t(48257), uint16_t(48129), uint16_t(48320), uint16_t(48321)})
    if (d.FindTag(t) < 0) return false;
  return true;
}

void QxRegisterTiffCodec() {
  QxCodecServices.ReadTiffStream = &ReadTiffStream;
  QxCodecServices.WriteTiffStream = &WriteTiffStream;
  QxCodecServices.TiffPageCount = &TiffPageCount;
  QxCodecServices.IsTiffStream = &IsTiffStream;
  QxCodecServices.IsTiffRawStream = &IsTiffRawStream;
}

bool CopyTiffExifTags(TStream* InStream, TStream* OutStream, const std::string& InFileName,
                      const std::string& OutFileName, int32_t PageIndex, TIOParamsVals& Params) {
  // The tags as the EXIF writer makes them, read back as a second file.
  std::vector<uint8_t> exif;
  if (!QxSaveEXIFToBuffer(Params, exif, false)) return true;
  TQxMemStream exifStream(exif.data(), int64_t(exif.size()));
  TQxTIFFHandler source;
  if (!source.ReadFromStream(exifStream)) return true;
  // The target is taken whole into memory, so that its offsets count from its own start.
  TMemoryStream target;
  const int64_t at = InStream ? InStream->Position() : 0;
  if (InStream) {
    const int64_t n = InStream->Size() - at;
    if (n <= 0) return true;
    target.SetSize(n);
    if (InStream->Read(target.Memory(), n) != n) return true;
  } else {
    TQxWideFileStream f(InFileName, fmOpenRead | fmShareDenyWrite);
    target.CopyFrom(&f, 0);
  }
  target.SetPosition(0);
  TQxTIFFHandler file;
  if (!file.ReadFromStream(target)) return true;
  static const uint16_t kTags[] = {271, 272, 306, 274, 282, 283, 296, 305, 315, 318, 531, 319,
                                   529, 532, 33432, 18246, 40091, 40092, 40093, 40094, 40095, 34665, 34853};
  for (uint16_t t : kTags) file.CopyTag(0, source.FindTag(0, t), source, PageIndex);
  TMemoryStream out;
  file.WriteStream(out, -1);
  if (OutStream) {
    if (OutStream == InStream) OutStream->SetPosition(at);
    OutStream->WriteBuffer(out.Memory(), out.Size());
    // Nothing of a longer file written before may trail behind.
    if (OutStream == InStream && OutStream->Size() > at + out.Size()) OutStream->SetSize(at + out.Size());
  } else {
    TQxWideFileStream f(OutFileName, fmCreate);
    f.WriteBuffer(out.Memory(), out.Size());
  }
  return true;
}
