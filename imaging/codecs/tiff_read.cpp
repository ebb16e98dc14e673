// The TIFF reader: header, page selection, the tags of a page, the choice of pixel format and alpha mask,
// and the walk over strips and tiles (JPEG-compressed pages included).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "imaging/codecs/lzw.h"
#include "imaging/codecs/tiff.h"
#include "imaging/codecs/tiff_internal.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/icc.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "imaging/foundation/kernels/dib.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

namespace {

// How far a compression can expand its data; with a fixed allowance on top, a page whose pixels could
// not come out of the bytes the stream holds is refused before anything is allocated.
int64_t ExpansionLimit(int32_t Compression) {
  switch (Compression) {
    case 1: return 1;
    case 32773: return 128;
    case 8:
    case 32946: return 1100;
    case 2:
    case 3:
    case 4: return 1 << 14;
    default: return 4096;
  }
}
constexpr int64_t kSizeAllowance = int64_t(16) << 20;

bool PlausibleSize(const TTIFFVars& V, double Bytes) {
  return Bytes <= double(kSizeAllowance) + double(V.StreamSize) * double(ExpansionLimit(V.Compression));
}

void ReadTags(const TTIFFDirectory& D, TTIFFVars& V, TIOParamsVals& P, bool& BadBits) {
  V.TileWidth = D.ReadValue(322, -1);
  V.TileLength = D.ReadValue(323, -1);
  V.Width = D.ReadValue(256, 0);
  V.Length = D.ReadValue(257, 0);
  if (P.TiffTileIndex != -1) {
    V.Width = V.TileWidth;
    V.Length = V.TileLength;
  }
  V.SamplesPerPixel = int32_t(std::min<int64_t>(D.ReadValue(277, 1), 0xFFFF));
  BadBits = false;
  if (const TTIFFEntry* e = D.Entry(258)) {
    if (e->Count <= 1) {
      V.BitsPerSample = int32_t(D.ReadValue(258, 1));
    } else {
      const int64_t first = D.ReadElement(258, 0, 0);
      const uint32_t n = std::min<uint32_t>(e->Count, 64);
      for (uint32_t i = 1; i < n; ++i)
        if (D.ReadElement(258, i, 0) != first) BadBits = true;
      V.BitsPerSample = int32_t(first);
    }
  } else {
    V.BitsPerSample = 1;
  }
  V.RowsPerStrip = D.ReadValue(278, V.Length);
  V.RowsPerStrip = std::min<int64_t>(V.RowsPerStrip, V.Length);
  if (V.RowsPerStrip <= 0) V.RowsPerStrip = V.Length;
  V.Photometric = int32_t(D.ReadValue(262, 2));
  V.PlanarConfig = int32_t(D.ReadValue(284, 1));
  V.SampleFormat = int32_t(D.ReadElement(339, 0, 1));
  V.Orientation = int32_t(D.ReadValue(274, 1));
  V.Compression = int32_t(D.ReadValue(259, 1));
  V.Predictor = int32_t(D.ReadValue(317, 1));
  V.ResolutionUnit = int32_t(D.ReadValue(296, 2));
  V.XResolution = D.ReadRational(282, QxDefaultDpiX);
  V.YResolution = D.ReadRational(283, QxDefaultDpiY);
  V.T4Options = D.ReadValue(292, 0);
  V.FillOrder = int32_t(D.ReadValue(266, 1));
  if (V.FillOrder != 1 && V.FillOrder != 2) V.FillOrder = 1;
  V.XPosition = D.ReadRational(286, 0);
  V.YPosition = D.ReadRational(287, 0);
  V.DocumentName = D.ReadAscii(269, true);
  V.ImageDescription = D.ReadAscii(270, true);
  V.PageName = D.ReadAscii(285, true);
  V.PageNumber = int32_t(D.ReadElement(297, 0, 0));
  V.PageTotal = int32_t(D.ReadElement(297, 1, 0));
  V.Software = D.ReadAscii(305, true);
  V.Artist = D.ReadAscii(315, true);
  V.JpegProc = D.ReadValue(512, 0);
  V.JpegIFOffset = D.ReadValue(513, 0);
  V.JpegIFLength = D.ReadValue(514, 0);
  V.ExtraSample0 = D.ReadValue(338, 0);
  V.ExtraCount = 0;
  if (const TTIFFEntry* e = D.Entry(338)) {
    V.ExtraCount = int32_t(std::min<uint32_t>(e->Count, 10));
    for (int32_t i = 0; i < V.ExtraCount; ++i) V.Extra[size_t(i)] = D.ReadElement(338, uint32_t(i), 0);
    // A single BYTE or other-typed value still counts as the first one.
    if (V.ExtraCount > 0 && e->Type != ttShort && e->Type != ttLong) V.Extra[0] = V.ExtraSample0;
  }
  V.YCbCrSubH = int32_t(D.ReadElement(530, 0, 0));
  V.YCbCrSubV = int32_t(D.ReadElement(530, 1, 0));
  if (V.YCbCrSubH == 0) V.YCbCrSubH = 2;
  if (V.YCbCrSubV == 0) V.YCbCrSubV = 2;
  V.StripOffsets = D.ReadArray(273);
  V.StripByteCounts = D.ReadArray(279);
  V.TileOffsets = D.ReadArray(324);
  V.TileByteCounts = D.ReadArray(325);
  V.JpegTables = D.ReadBytes(347);
  V.ColorMap.clear();
  V.ColorMapCount = 0;
  if (D.Entry(320) && V.BitsPerSample >= 1 && V.BitsPerSample <= 16) {
    const int32_t n = 1 << V.BitsPerSample;
    const std::vector<uint32_t> a = D.ReadArray(320);
    auto at = [&](size_t i) -> uint32_t { return i < a.size() ? a[i] : 0; };
    bool small = true;
    for (size_t i = 0; i < size_t(3 * n); ++i)
      if (at(i) >= 256) small = false;
    V.ColorMap.resize(size_t(std::max(n, 256)), TQxRGB{0, 0, 0});
    for (int32_t i = 0; i < n; ++i) {
      uint32_t r = at(size_t(i)), g = at(size_t(n + i)), b = at(size_t(2 * n + i));
      if (!small) {
        r >>= 8;
        g >>= 8;
        b >>= 8;
      }
      V.ColorMap[size_t(i)] = TQxRGB{uint8_t(b), uint8_t(g), uint8_t(r)};
    }
    V.ColorMapCount = n;
  }
  if (V.SamplesPerPixel == 1 && V.BitsPerSample == 1 && V.Compression >= 1 && V.Compression <= 4 &&
      V.Photometric == 2)
    V.Photometric = 0;
}

void SetParams(const TTIFFVars& V, TIOParamsVals& P, int32_t PageCount) {
  P.BitsPerSample = V.BitsPerSample;
  P.SamplesPerPixel = V.SamplesPerPixel;
  P.Width = P.OriginalWidth = int32_t(std::clamp<int64_t>(V.Width, INT32_MIN, INT32_MAX));
  P.Height = P.OriginalHeight = int32_t(std::clamp<int64_t>(V.Length, INT32_MIN, INT32_MAX));
  P.TiffLittleEndian = V.LittleEndian ? 1 : 0;
  P.SetImageCount(PageCount);
  P.SetTiffOrientation(V.Orientation);
  switch (V.Compression) {
    case 1: P.TiffCompression = 0; break;
    case 2: P.TiffCompression = 1; break;
    case 3: P.TiffCompression = (V.T4Options & 1) ? 3 : 2; break;
    case 4: P.TiffCompression = 4; break;
    case 5: P.TiffCompression = 5; break;
    case 6: P.TiffCompression = 6; break;
    case 7: P.TiffCompression = 7; break;
    case 8: P.TiffCompression = 10; break;
    case 32773: P.TiffCompression = 8; break;
    case 32946: P.TiffCompression = 9; break;
    default: P.TiffCompression = 11; break;
  }
  if (V.Photometric >= 0 && V.Photometric <= 6) P.TiffPhotometric = uint8_t(V.Photometric);
  else if (V.Photometric == 8) P.TiffPhotometric = 7;
  P.TiffPlanarConfig = V.PlanarConfig;
  P.TiffDocumentName = V.DocumentName;
  P.TiffImageDescription = V.ImageDescription;
  P.TiffPageName = V.PageName;
  P.TiffPageNumber = V.PageNumber;
  P.TiffPageCount = V.PageTotal;
  P.TiffFillOrder = V.FillOrder;
  P.FreeColorMap();
  if (V.ColorMapCount > 0) P.SetColorMap(V.ColorMap.data(), V.ColorMapCount);
  const double f = V.ResolutionUnit == 3 ? 2.54 : 1.0;
  auto dpi = [](double v) -> int32_t {
    if (!std::isfinite(v) || v >= 2147483647.0 || v <= -2147483648.0) return 0;
    return int32_t(std::nearbyint(v));
  };
  const int32_t dx = dpi(V.XResolution * f), dy = dpi(V.YResolution * f);
  P.SetDpiX(dx != 0 ? dx : QxDefaultDpiX);
  P.SetDpiY(dy != 0 ? dy : QxDefaultDpiY);
  P.ExifXResolution = V.XResolution * f;
  P.ExifYResolution = V.YResolution * f;
  auto trunc = [](double v) -> int32_t {
    if (!std::isfinite(v) || v >= 2147483647.0 || v <= -2147483648.0) return 0;
    return int32_t(v);
  };
  P.TiffXPos = trunc(V.XPosition * f);
  P.TiffYPos = trunc(V.YPosition * f);
}

TQxPixelFormat ChooseFormat(const TTIFFVars& V, bool Native) {
  const int32_t b = V.BitsPerSample, s = V.SamplesPerPixel, p = V.Photometric;
  if (b == 1 && s == 1 && p != 3) return TQxPixelFormat::qx1g;
  if (Native) {
    if (b == 8 && s == 1 && p == 3) return TQxPixelFormat::qx8p;
    if (b == 8 && s == 1 && (p == 0 || p == 1)) return TQxPixelFormat::qx8g;
    if (b == 16 && s == 1 && (p == 0 || p == 1)) return TQxPixelFormat::qx16g;
    if (b == 8 && s >= 4 && p == 5) return TQxPixelFormat::qxCMYK;
    if (b == 16 && s == 4 && p == 5) return TQxPixelFormat::qxCMYK;
    if (b == 16 && s == 3 && p == 2) return TQxPixelFormat::qxRGB48;
  }
  return TQxPixelFormat::qx24RGB;
}

// Bytes of the stream behind Offset (relative), at most Count; nothing when Offset lies outside.
std::vector<uint8_t> ReadChunk(const TTIFFVars& V, uint64_t Offset, uint64_t Count) {
  const uint64_t at = uint64_t(V.Base) + Offset;
  if (at >= uint64_t(V.StreamSize)) return {};
  Count = std::min<uint64_t>(Count, uint64_t(V.StreamSize) - at);
  std::vector<uint8_t> out(static_cast<size_t>(Count));
  V.Stream->SetPosition(int64_t(at));
  const int64_t got = V.Stream->Read(out.data(), int64_t(Count));
  out.resize(size_t(std::max<int64_t>(got, 0)));
  return out;
}

// One JPEG-compressed strip or tile decoded and copied to (X, Y).
void DecodeJpegPiece(TTIFFVars& V, TQxBitmap* Bitmap, const std::vector<uint8_t>& Data, int64_t X, int64_t Y,
                     TQxProgressInfo& Progress, bool OwnProgress) {
  TIOParamsVals& P = *V.Params;
  TQxMemStream ms(Data.data(), int64_t(Data.size()));
  std::unique_ptr<TQxMemStream> ts;
  if (!V.JpegTables.empty()) ts = std::make_unique<TQxMemStream>(V.JpegTables.data(), int64_t(V.JpegTables.size()));
  bool raw = ts && V.Photometric == 2;
  const int32_t w = P.Width, h = P.Height, ow = P.OriginalWidth, oh = P.OriginalHeight, dx = P.DpiX, dy = P.DpiY,
                ic = P.ImageCount;
  TQxBitmap tmp;
  // The piece decodes against its own flag, so that a failed first way of decoding can be retried.
  std::atomic<bool> failed{false};
  TQxProgressInfo pr;
  if (OwnProgress) pr = Progress;
  pr.AbortFlag = &failed;
  auto decode = [&](bool Raw) {
    failed = false;
    ms.SetPosition(0);
    if (ts) ts->SetPosition(0);
    try {
      ReadJpegStream(&ms, ts.get(), &tmp, P, pr, false, Raw, false, true, false, true, -1, P.NativePixelFormat != 0);
    } catch (...) {
      failed = true;
    }
  };
  decode(raw);
  if (failed && raw) {
    // The JPEG reader may refuse to keep the components of a stream it knows as RGB; converted, RGB comes
    // out in the bitmap's own order.
    raw = false;
    decode(false);
  }
  if (failed) {
    // A damaged JPEG piece is a bad page, reported like any other.
    Progress.Abort();
    return;
  }
  P.Width = w;
  P.Height = h;
  P.OriginalWidth = ow;
  P.OriginalHeight = oh;
  P.SetDpiX(dx);
  P.SetDpiY(dy);
  P.ImageCount = ic;
  if (Progress.Aborting() || tmp.IsEmpty()) return;
  if (raw && tmp.PixelFormat() == TQxPixelFormat::qx24RGB)
    for (int32_t r = 0; r < tmp.Height(); ++r) QxSwapRB(tmp.Scanline(r), tmp.Width());
  if (tmp.PixelFormat() != Bitmap->PixelFormat()) tmp.SetPixelFormat(Bitmap->PixelFormat());
  tmp.CopyRectTo(Bitmap, 0, 0, int32_t(X), int32_t(Y), tmp.Width(), tmp.Height());
}

// Old-style JPEG pages: one interchange stream, or one JPEG stream per strip.
void ReadOldJpeg(TTIFFVars& V, TQxBitmap* Bitmap, TQxProgressInfo& Progress) {
  TIOParamsVals priv;
  priv.NativePixelFormat = 0;
  if (!V.StripByteCounts.empty() && !V.StripOffsets.empty()) {
    if (!Bitmap->Allocate(int32_t(V.Width), int32_t(V.Length), TQxPixelFormat::qx24RGB)) {
      Progress.Abort();
      return;
    }
    const size_t strips = V.StripOffsets.size();
    std::vector<uint8_t> head;  // the marker segment that begins strip 0
    {
      std::vector<uint8_t> m = ReadChunk(V, V.StripOffsets[0], 4);
      if (m.size() == 4) {
        const uint32_t len = (uint32_t(m[2]) << 8) | m[3];
        head = ReadChunk(V, V.StripOffsets[0], 2 + uint64_t(len));
      }
    }
    for (size_t i = 0; i < strips; ++i) {
      const int64_t y = int64_t(i) * V.RowsPerStrip;
      if (y >= V.Length) break;
      TMemoryStream ms;
      if (V.JpegIFLength > 0) {
        std::vector<uint8_t> b = ReadChunk(V, uint64_t(V.JpegIFOffset), uint64_t(V.JpegIFLength));
        ms.Write(b.data(), int64_t(b.size()));
      }
      if (i > 0) ms.Write(head.data(), int64_t(head.size()));
      const uint64_t n = i < V.StripByteCounts.size() ? V.StripByteCounts[i] : 0;
      std::vector<uint8_t> b = ReadChunk(V, V.StripOffsets[i], n);
      ms.Write(b.data(), int64_t(b.size()));
      ms.SetPosition(0);
      TQxBitmap tmp;
      TQxProgressInfo quiet;
      std::atomic<bool> flag{false};
      quiet.AbortFlag = &flag;
      int32_t rows = 0;
      try {
        rows = ReadJpegStream(&ms, nullptr, &tmp, priv, quiet, false, false, false, true, false, false,
                              int32_t(std::min<int64_t>(V.RowsPerStrip, INT32_MAX)), false);
      } catch (...) {
        rows = 0;
      }
      // A strip that yielded most of its rows is good enough.
      if (flag && rows <= V.RowsPerStrip / 2) {
        Progress.Abort();
        return;
      }
      if (!tmp.IsEmpty()) {
        if (tmp.PixelFormat() != TQxPixelFormat::qx24RGB) tmp.SetPixelFormat(TQxPixelFormat::qx24RGB);
        tmp.CopyRectTo(Bitmap, 0, 0, 0, int32_t(y), tmp.Width(), std::min<int32_t>(tmp.Height(), rows));
      }
      Progress.Report(int32_t(double(i) / double(strips) * 100));
      if (Progress.Aborting()) return;
    }
    return;
  }
  uint64_t start = uint64_t(V.JpegIFOffset);
  if (start == 0 && !V.StripOffsets.empty()) start = V.StripOffsets[0];
  const uint64_t at = uint64_t(V.Base) + start;
  if (at >= uint64_t(V.StreamSize)) {
    Progress.Abort();
    return;
  }
  V.Stream->SetPosition(int64_t(at));
  const int32_t len = JpegStreamLength(V.Stream);
  if (len < 0 || uint64_t(len) > uint64_t(V.StreamSize) - at) {
    Progress.Abort();
    return;
  }
  std::vector<uint8_t> b = ReadChunk(V, start, uint64_t(len));
  TQxMemStream ms(b.data(), int64_t(b.size()));
  try {
    ReadJpegStream(&ms, nullptr, Bitmap, priv, Progress, false, false, false, true, false, false, -1, false);
  } catch (...) {
    Progress.Abort();
  }
}

void ReadStrips(TTIFFVars& V, TQxBitmap* Bitmap, TQxProgressInfo& Progress) {
  const int64_t R = (V.Width * V.SamplesPerPixel * V.BitsPerSample + 7) / 8;
  const size_t strips = V.StripOffsets.size();
  if (V.Compression == 7) {
    for (size_t i = 0; i < strips; ++i) {
      const int64_t y = int64_t(i) * V.RowsPerStrip;
      if (y >= V.Length) break;
      uint64_t n = i < V.StripByteCounts.size() ? V.StripByteCounts[i] : 0;
      if (n == 0) n = uint64_t(V.StreamSize);
      const std::vector<uint8_t> data = ReadChunk(V, V.StripOffsets[i], n);
      if (strips > 1) {
        ++Progress.Counter;
        Progress.Report(int32_t(Progress.Counter * Progress.Factor2));
      }
      DecodeJpegPiece(V, Bitmap, data, 0, y, Progress, strips == 1);
      if (Progress.Aborting()) return;
    }
    return;
  }
  if (V.Compression == 1 && V.RowsPerStrip == V.Length && V.BitsPerSample == 8) {
    // One uncompressed strip over the whole picture: row by row, never the whole strip in memory.
    V.LastPercent = -1;
    for (int64_t y = 0; y < V.Length; ++y) {
      const std::vector<uint8_t> row = ReadChunk(V, uint64_t(V.StripOffsets[0]) + uint64_t(y) * uint64_t(R), uint64_t(R));
      TiffDecodeRows(V, Bitmap, y, 0, row.data(), row.size(), V.Width, V.Width, 1, Progress);
      if (Progress.Aborting()) return;
    }
    return;
  }
  for (size_t i = 0; i < strips; ++i) {
    const int64_t y = int64_t(i) * V.RowsPerStrip;
    if (y >= V.Length) break;
    const int64_t rows = std::min<int64_t>(V.RowsPerStrip, V.Length - y);
    V.LastPercent = -1;
    uint64_t n = i < V.StripByteCounts.size() ? V.StripByteCounts[i] : 0;
    if (V.Compression == 1) n = std::max<uint64_t>(n, uint64_t(R) * uint64_t(rows));
    if (n == 0) n = uint64_t(std::max<int64_t>(V.StreamSize - V.Base - int64_t(V.StripOffsets[i]), 0));
    // Only what the stream holds is read; short uncompressed strips are padded with zeros by the decoder.
    const std::vector<uint8_t> data = ReadChunk(V, V.StripOffsets[i], n);
    TiffDecodeRows(V, Bitmap, y, 0, data.data(), data.size(), V.Width, V.Width, rows, Progress);
    if (Progress.Aborting()) return;
  }
}

void ReadPlanarStrips(TTIFFVars& V, TQxBitmap* Bitmap, TQxProgressInfo& Progress) {
  const int32_t spp = V.SamplesPerPixel;
  if (spp < 1 || spp > 10) {
    Progress.Abort();
    return;
  }
  const size_t P = V.StripOffsets.size() / size_t(spp);
  for (size_t s = 0; s < P; ++s) {
    const int64_t y = int64_t(s) * V.RowsPerStrip;
    if (y >= V.Length) break;
    const int64_t rows = std::min<int64_t>(V.RowsPerStrip, V.Length - y);
    std::vector<std::vector<uint8_t>> planes;
    for (int32_t p = 0; p < spp; ++p) {
      const size_t k = size_t(p) * P + s;
      uint64_t n = k < V.StripByteCounts.size() ? V.StripByteCounts[k] : 0;
      if (n == 0) n = uint64_t(V.StreamSize);
      planes.push_back(ReadChunk(V, V.StripOffsets[k], n));
    }
    TiffDecodePlanarRows(V, Bitmap, y, Progress, rows, V.Width, planes);
    if (Progress.Aborting()) return;
  }
}

void ReadTiles(TTIFFVars& V, TQxBitmap* Bitmap, TQxProgressInfo& Progress, int32_t TileIndex) {
  if (V.PlanarConfig == 2 && V.SamplesPerPixel > 1) {
    Progress.Abort();
    return;
  }
  const int64_t tw = V.TileWidth, tl = V.TileLength;
  if (tw <= 0 || tl <= 0 || tw > INT32_MAX || tl > INT32_MAX) {
    Progress.Abort();
    return;
  }
  // A tile is decoded whole even where it hangs over the picture's edge.
  if (!PlausibleSize(V, double(tw) * double(tl) * V.SamplesPerPixel * V.BitsPerSample / 8)) {
    Progress.Abort();
    return;
  }
  const std::vector<uint32_t>& offs = V.TileOffsets;
  const std::vector<uint32_t>& counts = V.TileByteCounts;
  size_t t = TileIndex >= 0 ? size_t(TileIndex) : 0;
  const int64_t across = (V.Width + tw - 1) / tw;
  for (; t < offs.size(); ++t) {
    int64_t x = 0, y = 0;
    if (TileIndex < 0) {
      x = int64_t(t % size_t(across)) * tw;
      y = int64_t(t / size_t(across)) * tl;
      if (y >= V.Length) break;
    }
    uint64_t n = t < counts.size() ? counts[t] : 0;
    if (n == 0) n = uint64_t(V.StreamSize);
    const std::vector<uint8_t> data = ReadChunk(V, offs[t], n);
    if (V.Compression == 7) {
      if (offs.size() > 1) {
        ++Progress.Counter;
        Progress.Report(int32_t(Progress.Counter * Progress.Factor2));
      }
      DecodeJpegPiece(V, Bitmap, data, x, y, Progress, offs.size() == 1);
    } else {
      V.LastPercent = -1;
      TiffDecodeRows(V, Bitmap, y, x, data.data(), data.size(), tw, std::min<int64_t>(tw, V.Width - x),
                     std::min<int64_t>(tl, V.Length - y), Progress);
    }
    if (Progress.Aborting() || TileIndex >= 0) break;
  }
}

}  // namespace

void TiffReadPage(TQxBitmap* Bitmap, TStream* Stream, int32_t& PageCount, TIOParamsVals* Params,
                  TQxProgressInfo& Progress, bool ParamsOnly, TQxMask*& AlphaMask, bool BaseAtPosition,
                  bool IgnoreAlpha, bool ExifThumbnail) {
  PageCount = 0;
  // The header is where the stream stands; only the offsets may count from the stream's start.
  const int64_t here = Stream->Position();
  const int64_t base = BaseAtPosition ? here : 0;
  const int64_t size = Stream->Size();
  Stream->SetPosition(here);
  uint8_t h[8];
  if (Stream->Read(h, 8) != 8 || !((h[0] == 'I' && h[1] == 'I') || (h[0] == 'M' && h[1] == 'M'))) {
    Progress.Abort();
    return;
  }
  TTIFFDirectory dir;
  dir.LittleEndian = h[0] == 'I';
  // 64-bit offsets would be read as 32-bit ones and give nothing: say so instead.
  if ((dir.LittleEndian ? h[2] : h[3]) == 43 && (dir.LittleEndian ? h[3] : h[2]) == 0) {
    if (Params) Params->ReadError = "BigTIFF files are not supported";
    Progress.Abort();
    return;
  }
  const uint32_t first = dir.Get32(h + 4);
  if (first == 0) return;
  const int32_t wanted = Params ? Params->TiffImageIndex : -1;
  if (!TiffWalkIFDs(Stream, base, dir.LittleEndian, first, wanted, &dir, PageCount)) return;
  TIOParamsVals& P = *Params;

  struct TEnd {
    TIOParamsVals& P;
    ~TEnd() {
      if (P.InputICC && P.InputICC->IsTransformReady()) P.InputICC->FreeTransform();
    }
  } end{P};

  if (P.TiffSubImageIndex >= 0) {
    const int64_t sub = dir.ReadElement(330, uint32_t(P.TiffSubImageIndex), 0);
    if (sub != 0) {
      TTIFFDirectory sd;
      if (!TiffLoadDirectory(Stream, base, dir.LittleEndian, uint32_t(sub), sd)) return;
      dir = std::move(sd);
    }
  }

  TTIFFVars V;
  V.LittleEndian = dir.LittleEndian;
  V.Params = &P;
  V.Stream = Stream;
  V.Base = base;
  V.StreamSize = size;
  V.IgnoreAlpha = IgnoreAlpha;
  bool badBits = false;
  ReadTags(dir, V, P, badBits);
  if (badBits) {
    Progress.Abort();
    return;
  }
  TiffReadMetadata(dir, P);
  SetParams(V, P, PageCount);

  if ((V.Width <= 0 || V.Length <= 0) && !ExifThumbnail) {
    Progress.Abort();
    return;
  }
  if (V.Compression == 5) {
    V.LzwDecode = reinterpret_cast<void*>(QxTiffLzwDecoder(P));
    if (!V.LzwDecode) {
      Progress.Abort();
      return;
    }
  }
  if (ParamsOnly) return;
  if (!Bitmap) {
    Progress.Abort();
    return;
  }

  // Alpha.
  if (!IgnoreAlpha) {
    const int32_t spp = V.SamplesPerPixel;
    V.HasAlpha = (spp == 4 && V.ExtraSample0 == 2) || (spp >= 4 && V.ExtraCount > 0) ||
                 (spp == 2 && V.BitsPerSample == 8) || (spp >= 2 && V.ExtraCount > 0 && V.ExtraSample0 == 1) ||
                 (spp >= 2 && V.ExtraCount > 0 && V.ExtraSample0 == 2) ||
                 (spp == 4 && V.Photometric == 2);
  }
  TQxAccessGuard access(Bitmap, 2);
  if (ExifThumbnail && (V.Width > 400 || V.Length > 400)) {
    Progress.Abort();
    return;
  }
  // A page without sizes may still be an interchange-format JPEG that brings its own.
  if (V.Width > INT32_MAX || V.Length > INT32_MAX || (V.Width > 0 && V.Length > 0 && V.Width * V.Length > P.MaxPixels)) {
    Progress.Abort();
    return;
  }
  const bool oldJpeg = (V.Compression == 6 || (V.JpegIFOffset != 0 && V.Compression != 5)) && V.JpegProc < 2;
  const TQxPixelFormat fmt = oldJpeg ? TQxPixelFormat::qx24RGB : ChooseFormat(V, P.NativePixelFormat != 0);
  // Both the bitmap and the stored samples must be able to come out of what the stream holds.
  const double pixels = double(V.Width) * double(V.Length);
  const double bytes = pixels * QxPixelFormatBits[int(fmt)] / 8 + (V.HasAlpha ? pixels : 0);
  const double stored = pixels * double(V.SamplesPerPixel) * double(V.BitsPerSample) / 8;
  if (!PlausibleSize(V, bytes) || (!oldJpeg && V.Compression != 7 && !PlausibleSize(V, stored))) {
    Progress.Abort();
    return;
  }
  if (V.HasAlpha && !AlphaMask) AlphaMask = new TQxMask();
  if (AlphaMask) {
    AlphaMask->Allocate(int32_t(V.Width), int32_t(V.Length), 8);
    AlphaMask->Fill(255);
    V.Mask = AlphaMask;
  } else {
    V.HasAlpha = false;
  }

  Progress.Counter = 0;
  Progress.Factor = V.Length > 0 ? 100.0 / double(V.Length) : 0;
  const bool tiled = V.TileWidth > 0 || V.TileLength > 0;
  const size_t pieces = tiled ? (V.TileOffsets.empty() ? V.StripOffsets.size() : V.TileOffsets.size())
                              : V.StripOffsets.size();
  Progress.Factor2 = pieces > 0 ? 100.0 / double(pieces) : 0;

  // Tiles and JPEG pieces fill parts of rows: rows kept in a file must be read back before they are
  // written, or the parts stored before would be lost.
  if (tiled || oldJpeg || V.Compression == 7) Bitmap->AccessMode = 3;
  if (oldJpeg) {
    ReadOldJpeg(V, Bitmap, Progress);
  } else {
    if (V.Width <= 0 || V.Length <= 0 || !Bitmap->Allocate(int32_t(V.Width), int32_t(V.Length), fmt)) {
      Progress.Abort();
      return;
    }
    if (fmt == TQxPixelFormat::qx8p) {
      for (int32_t i = 0; i < 256; ++i)
        Bitmap->SetPaletteColor(i, size_t(i) < V.ColorMap.size() ? V.ColorMap[size_t(i)] : TQxRGB{0, 0, 0});
    }
    if (ExifThumbnail) Bitmap->Fill(0);
    // One sample per pixel is the same whichever way its planes are said to be arranged.
    const bool planar = V.PlanarConfig == 2 && V.SamplesPerPixel > 1;
    const bool decodable =
        V.Compression == 7 || (planar ? TiffPlanarDecodable(V) && !tiled : TiffChunkyCase(V) != 0);
    if (!decodable) {
      // Loading a black picture as if it were the file's would pass unnoticed: refuse the page and say why.
      P.ReadError = "TIFF page not supported: photometric interpretation " + std::to_string(V.Photometric) + ", " +
                    std::to_string(V.SamplesPerPixel) + " samples of " + std::to_string(V.BitsPerSample) +
                    " bits" + (V.SampleFormat == 3 ? " (floating point)" : "") +
                    (planar ? (tiled ? ", planar tiles" : ", planar") : "");
      Progress.Abort();
      return;
    } else if (tiled) {
      if (V.TileOffsets.empty() && !V.StripOffsets.empty()) {
        V.TileOffsets = V.StripOffsets;
        V.TileByteCounts = V.StripByteCounts;
      }
      if (!V.TileOffsets.empty()) ReadTiles(V, Bitmap, Progress, P.TiffTileIndex);
    } else if (V.StripOffsets.empty()) {
      Progress.Abort();
      return;
    } else if (planar) {
      ReadPlanarStrips(V, Bitmap, Progress);
    } else {
      ReadStrips(V, Bitmap, Progress);
    }
  }
  if (P.TiffAutoOrient) QxApplyExifOrientation(Bitmap, V.Orientation);
}

void ReadTiffStream(TQxBitmap* Bitmap, TStream* Stream, int32_t& PageCount, TIOParamsVals& Params,
                    TQxProgressInfo& Progress, bool ParamsOnly, TQxMask*& AlphaMask, bool BaseAtPosition,
                    bool IgnoreAlpha, bool ExifThumbnail) {
  TiffReadPage(Bitmap, Stream, PageCount, &Params, Progress, ParamsOnly, AlphaMask, BaseAtPosition, IgnoreAlpha,
               ExifThumbnail);
}

int32_t TiffPageCount(TStream* Stream) {
  int32_t pages = 0;
  std::atomic<bool> flag{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &flag;
  TQxMask* mask = nullptr;
  const int64_t pos = Stream->Position();
  TiffReadPage(nullptr, Stream, pages, nullptr, pr, false, mask, true, true, false);
  Stream->SetPosition(pos);
  return pages;
}
