// The DICOM reader: data set parsing, frame location and the native, RLE and JPEG pixel paths.
#include "imaging/codecs/dicom.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/jpeg2000_lib.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/dicom_tags.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "imaging/io/io_init.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

namespace {


const std::string kBigEndianSyntax = "1.2.840.10008.1.2.2";

struct TDICOMContext {
  TIOParamsVals* Params = nullptr;
  TQxBitmap* Bitmap = nullptr;
  TQxProgressInfo Progress;
  std::unique_ptr<TQxBufferedReadStream> Stream;
  int64_t StreamSize = 0;
  bool NoPreamble = false;
  bool LittleEndian = true;
  std::string TransferSyntax;
  int32_t SamplesPerPixel = 1;
  std::string Photometric;
  int32_t PlanarConfiguration = 0;
  int32_t FrameCount = 1;
  int32_t PixelRepresentation = 0;
  int32_t Columns = 0, Rows = 0;
  int32_t BitsAllocated = 0, BitsStored = 0;
  int32_t BytesPerSample = 0;
  std::string PixelVR;  // the value representation of the pixel data element
  std::vector<uint16_t> RedLUT, GreenLUT, BlueLUT;
  double WindowCenter = -1, WindowWidth = -1;
  double RescaleIntercept = 0, RescaleSlope = 1;

  void Abort() const { Progress.Abort(); }
  bool IsPalette() const { return QxUpperText(QxTrimText(Photometric)) == "PALETTE COLOR"; }
  bool IsMonochrome1() const { return QxUpperText(QxTrimText(Photometric)) == "MONOCHROME1"; }
};

uint16_t Swap16(uint16_t V) { return uint16_t((V >> 8) | (V << 8)); }

bool ReadU16(TStream& S, bool Big, uint32_t& V) {
  uint8_t b[2];
  if (S.Read(b, 2) != 2) return false;
  V = Big ? (uint32_t(b[0]) << 8 | b[1]) : (uint32_t(b[1]) << 8 | b[0]);
  return true;
}

bool ReadU32(TStream& S, bool Big, uint32_t& V) {
  uint8_t b[4];
  if (S.Read(b, 4) != 4) return false;
  V = Big ? (uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3])
          : (uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0]);
  return true;
}

// Group and element of the next tag in the data set's byte order (group 2 is always little-endian).
bool ReadTag(TDICOMContext& C, uint16_t& Group, uint16_t& Element) {
  uint8_t h[4];
  if (C.Stream->Read(h, 4) != 4) return false;
  Group = uint16_t(h[0] | h[1] << 8);
  Element = uint16_t(h[2] | h[3] << 8);
  if (Group != 2 && !C.LittleEndian) {
    Group = Swap16(Group);
    Element = Swap16(Element);
  }
  return true;
}

std::string TextOf(const uint8_t* Data, int64_t Length) {
  if (!Data || Length <= 0) return std::string();
  const auto* end = static_cast<const uint8_t*>(std::memchr(Data, 0, size_t(Length)));
  return std::string(reinterpret_cast<const char*>(Data), end ? size_t(end - Data) : size_t(Length));
}

// A decimal string's first value; -1 when it is not a finite number.
double FirstDecimal(const std::string& Text) {
  const std::string first = QxTrimText(Text.substr(0, Text.find('\\')));
  const double v = double(QxParseFloat(first, -1.0L));
  return std::isfinite(v) ? v : -1.0;
}

void ReportRow(TDICOMContext& C, int64_t Done, int64_t Total, int32_t& Last) {
  if (!C.Progress.Assigned() || Total <= 0) return;
  const int32_t per = int32_t(Trunc(double(Done) / double(Total) * 100.0));
  if (per != Last) {
    Last = per;
    C.Progress.Report(per);
  }
}

void SetParams(TDICOMContext& C) {
  TIOParamsVals& p = *C.Params;
  p.Width = p.OriginalWidth = C.Columns;
  p.Height = p.OriginalHeight = C.Rows;
  p.BitsPerSample = C.BitsStored;
  p.SamplesPerPixel = C.SamplesPerPixel;
  p.SetImageCount(C.FrameCount);
}

uint16_t LutEntry(const std::vector<uint16_t>& Lut, int64_t Index) {
  return Index >= 0 && Index < int64_t(Lut.size()) ? Lut[size_t(Index)] : 0;
}

// ---- gray steps ------------------------------------------------------------------------------------

// Rescale and window of one stored sample, kept finite whatever the file's numbers.
struct TGrayMap {
  double Slope, Intercept, Center, Width, Lo = 0, Hi = 0, Top;
  bool Window;
  TGrayMap(const TDICOMContext& C, double ATop)
      : Slope(std::isfinite(C.RescaleSlope) ? C.RescaleSlope : 1.0),
        Intercept(std::isfinite(C.RescaleIntercept) ? C.RescaleIntercept : 0.0),
        Center(C.WindowCenter),
        Width(C.WindowWidth),
        Top(ATop),
        Window(C.WindowCenter != -1 && C.WindowWidth != -1) {
    if (Window) {
      Lo = Bounded(Center - 0.5 - (Width - 1) / 2);
      Hi = Bounded(Center - 0.5 + (Width - 1) / 2);
    }
  }
  // Truncated and kept where a 64-bit integer holds it.
  static double Bounded(double V) {
    if (!(V > -1e15)) return -1e15;
    return V > 1e15 ? 1e15 : double(Trunc(V));
  }
  double Map(double S) const {
    double x = S * Slope + Intercept;
    if (Window) {
      if (x <= Lo) x = 0;
      else if (x >= Hi) x = Top;
      else x = ((x - (Center - 0.5)) / (Width - 1) + 0.5) * Top;
    }
    if (!(x > -1e15)) x = -1e15;
    if (x > 1e15) x = 1e15;
    return x;
  }
};

// Rescale, window and stretch to the full range, then the MONOCHROME1 complement. The offset that lifts
// negative values is the image's, found before any sample is stored, and nothing wraps.
template <typename T>
void GraySteps(TDICOMContext& C, TQxBitmap* B, int32_t SamplesPerRow, bool Signed) {
  constexpr double top = sizeof(T) == 1 ? 255.0 : 65535.0;
  const int32_t h = B->Height();
  if (h <= 0 || SamplesPerRow <= 0) return;
  const TGrayMap map(C, top);
  auto sampleOf = [&](T v) -> double {
    if constexpr (sizeof(T) == 1) return Signed ? double(int8_t(v)) : double(v);
    else return Signed ? double(int16_t(v)) : double(v);
  };
  double xmin = 1e300, xmax = -1e300;
  for (int32_t y = 0; y < h; ++y) {
    const T* p = reinterpret_cast<const T*>(B->Scanline(y));
    for (int32_t i = 0; i < SamplesPerRow; ++i) {
      const double x = map.Map(sampleOf(p[i]));
      xmin = std::min(xmin, x);
      xmax = std::max(xmax, x);
    }
  }
  const double f = xmin < 0 ? -xmin : 0.0;
  const int64_t tmin = Trunc(xmin + f), tmax = Trunc(xmax + f);
  const bool mono1 = C.IsMonochrome1();
  for (int32_t y = 0; y < h; ++y) {
    T* p = reinterpret_cast<T*>(B->Scanline(y));
    for (int32_t i = 0; i < SamplesPerRow; ++i) {
      const int64_t t = Trunc(map.Map(sampleOf(p[i])) + f);
      // An image of one value keeps it rather than dividing by zero.
      int64_t v = tmax > tmin ? Trunc(double(t - tmin) / double(tmax - tmin) * top) : std::clamp<int64_t>(t, 0, int64_t(top));
      if (mono1) v = int64_t(top) - v;
      p[i] = T(v);
    }
  }
}

void GraySteps8(TDICOMContext& C, TQxBitmap* B) {
  int32_t perRow = 0;
  if (B->PixelFormat() == TQxPixelFormat::qx8g) perRow = B->Width();
  else if (B->PixelFormat() == TQxPixelFormat::qx24RGB) perRow = B->Width() * 3;
  if (perRow > 0) GraySteps<uint8_t>(C, B, perRow, C.PixelRepresentation == 1);
}

void GraySteps16(TDICOMContext& C, TQxBitmap* B) {
  if (B->PixelFormat() == TQxPixelFormat::qx16g) GraySteps<uint16_t>(C, B, B->Width(), C.PixelRepresentation == 1);
}

void Complement8(TDICOMContext& C, TQxBitmap* B) {
  if (!C.IsMonochrome1()) return;
  for (int32_t y = 0; y < B->Height(); ++y) {
    uint8_t* p = B->Scanline(y);
    for (int32_t x = 0; x < B->Width(); ++x) p[x] = uint8_t(255 - p[x]);
  }
}

// ---- native pixel data -----------------------------------------------------------------------------

// Bytes one native frame takes.
int64_t NativeFrameBytes(const TDICOMContext& C) {
  const int64_t pixels = int64_t(C.Columns) * C.Rows;
  if (C.SamplesPerPixel == 1 && C.BitsStored == 12 && C.BitsAllocated == 12 && !C.IsPalette())
    return (pixels * 3 + 1) / 2;
  return pixels * C.SamplesPerPixel * C.BytesPerSample;
}

bool AllocateOrAbort(TDICOMContext& C, TQxPixelFormat F) {
  if (C.Bitmap->Allocate(C.Columns, C.Rows, F)) return true;
  C.Abort();
  return false;
}

void DecodeNative(TDICOMContext& C) {
  TQxBufferedReadStream& s = *C.Stream;
  const int64_t w = C.Columns, h = C.Rows, pixels = w * h;
  if (w <= 0 || h <= 0) {
    C.Abort();
    return;
  }
  // Two bytes short are tolerated: some writers drop an odd last byte.
  const int64_t avail = C.StreamSize + 2 - s.Position();
  if (pixels * (int64_t(C.SamplesPerPixel) * C.BitsStored / 8) > avail) {
    C.Abort();
    return;
  }
  const bool palette = C.IsPalette();
  const int32_t shift = 8 - C.BitsStored;
  int32_t last = -1;
  std::vector<uint8_t> buf;
  // Big-endian 16-bit words holding 8-bit samples keep each word's two bytes the other way round.
  const bool swapWords = !C.LittleEndian && C.BitsAllocated == 8 && C.PixelVR == "OW";
  std::vector<uint8_t> frame;
  int64_t frameAt = 0;
  if (swapWords) {
    const int64_t bytes = std::clamp<int64_t>(pixels * C.SamplesPerPixel, 0, std::max<int64_t>(avail, 0));
    frame.assign(size_t(bytes + 1) & ~size_t(1), 0);
    s.Read(frame.data(), int64_t(frame.size()));
    for (size_t i = 0; i + 1 < frame.size(); i += 2) std::swap(frame[i], frame[i + 1]);
  }
  auto readRow = [&](int64_t Bytes) {
    buf.assign(size_t(Bytes), 0);
    if (!swapWords) {
      s.Read(buf.data(), Bytes);
      return;
    }
    const int64_t n = std::clamp<int64_t>(int64_t(frame.size()) - frameAt, 0, Bytes);
    if (n > 0) std::memcpy(buf.data(), frame.data() + frameAt, size_t(n));
    frameAt += Bytes;
  };

  if (C.SamplesPerPixel == 1 && C.BitsStored <= 8) {
    const int64_t step = C.BitsAllocated == 16 ? 2 : 1;
    if (pixels * step - (step - 1) > avail) return C.Abort();
    if (!AllocateOrAbort(C, palette ? TQxPixelFormat::qx24RGB : TQxPixelFormat::qx8g)) return;
    for (int32_t y = 0; y < h; ++y) {
      readRow(w * step);
      uint8_t* d = C.Bitmap->Scanline(y);
      for (int64_t x = 0; x < w; ++x) {
        // A sample in a 16-bit word is its low byte, which big-endian words store second.
        const uint8_t b = buf[size_t(x * step + (step == 2 && !C.LittleEndian ? 1 : 0))];
        if (palette) {
          const int64_t idx = shift >= 0 ? int64_t(b) << shift : b;
          d[3 * x] = uint8_t(LutEntry(C.BlueLUT, idx) / 257);
          d[3 * x + 1] = uint8_t(LutEntry(C.GreenLUT, idx) / 257);
          d[3 * x + 2] = uint8_t(LutEntry(C.RedLUT, idx) / 257);
        } else {
          d[x] = uint8_t(shift >= 0 && shift < 8 ? b << shift : 0);
        }
      }
      ReportRow(C, y, h, last);
    }
    if (!palette) Complement8(C, C.Bitmap);
    return;
  }

  if (C.SamplesPerPixel == 1 && C.BitsStored == 12 && C.BitsAllocated == 12 && !palette) {
    if ((pixels * 3 + 1) / 2 > avail) return C.Abort();
    if (!AllocateOrAbort(C, TQxPixelFormat::qx16g)) return;
    uint8_t trio[3] = {0, 0, 0};
    int32_t half = 0;  // which sample of the current three bytes comes next
    for (int32_t y = 0; y < h; ++y) {
      auto* d = reinterpret_cast<uint16_t*>(C.Bitmap->Scanline(y));
      for (int64_t x = 0; x < w; ++x) {
        if (half == 0) {
          std::memset(trio, 0, 3);
          s.Read(trio, 3);
          d[x] = uint16_t(trio[0] + 256 * (trio[1] & 15));
        } else {
          d[x] = uint16_t((trio[1] >> 4) + 16 * trio[2]);
        }
        half ^= 1;
      }
      ReportRow(C, y, h, last);
    }
    GraySteps16(C, C.Bitmap);
    return;
  }

  if (C.SamplesPerPixel == 1 && C.BitsStored >= 9 && C.BitsStored <= 16) {
    if (pixels * 2 > avail) return C.Abort();
    if (!AllocateOrAbort(C, palette ? TQxPixelFormat::qxRGB48 : TQxPixelFormat::qx16g)) return;
    for (int32_t y = 0; y < h; ++y) {
      readRow(w * 2);
      uint8_t* d = C.Bitmap->Scanline(y);
      for (int64_t x = 0; x < w; ++x) {
        const uint8_t* q = &buf[size_t(2 * x)];
        const uint16_t v = C.LittleEndian ? uint16_t(q[0] | q[1] << 8) : uint16_t(q[0] << 8 | q[1]);
        if (palette) {
          const TQxRGB48 px{LutEntry(C.RedLUT, v), LutEntry(C.GreenLUT, v), LutEntry(C.BlueLUT, v)};
          std::memcpy(d + 6 * x, &px, 6);
        } else {
          std::memcpy(d + 2 * x, &v, 2);
        }
      }
      ReportRow(C, y, h, last);
    }
    if (!palette) GraySteps16(C, C.Bitmap);
    return;
  }

  if (C.SamplesPerPixel == 3 && C.BitsStored <= 8) {
    if (pixels * 3 > avail) return C.Abort();
    if (!AllocateOrAbort(C, TQxPixelFormat::qx24RGB)) return;
    auto scale = [&](uint8_t b) { return uint8_t(shift >= 0 && shift < 8 ? b << shift : 0); };
    if (C.PlanarConfiguration == 1) {
      for (int32_t plane = 0; plane < 3; ++plane) {
        for (int32_t y = 0; y < h; ++y) {
          readRow(w);
          uint8_t* d = C.Bitmap->Scanline(y) + (2 - plane);
          for (int64_t x = 0; x < w; ++x) d[3 * x] = scale(buf[size_t(x)]);
          ReportRow(C, int64_t(plane) * h + y, 3 * h, last);
        }
      }
    } else {
      for (int32_t y = 0; y < h; ++y) {
        readRow(w * 3);
        uint8_t* d = C.Bitmap->Scanline(y);
        for (int64_t x = 0; x < w; ++x) {
          d[3 * x] = scale(buf[size_t(3 * x + 2)]);
          d[3 * x + 1] = scale(buf[size_t(3 * x + 1)]);
          d[3 * x + 2] = scale(buf[size_t(3 * x)]);
        }
        ReportRow(C, y, h, last);
      }
    }
    return;
  }
  // A layout this reader does not decode is a failed load, not an empty picture.
  C.Abort();
}

// ---- encapsulated pixel data -----------------------------------------------------------------------

enum class TLayout : uint8_t { None, Palette8, Gray8, Gray16, RGB8 };

TLayout LayoutOf(const TDICOMContext& C) {
  if (C.SamplesPerPixel == 1 && C.BitsStored <= 8) return C.IsPalette() ? TLayout::Palette8 : TLayout::Gray8;
  if (C.SamplesPerPixel == 1 && C.BitsStored >= 9 && C.BitsStored <= 16) return TLayout::Gray16;
  if (C.SamplesPerPixel == 3 && C.BitsStored <= 8) return TLayout::RGB8;
  return TLayout::None;
}

void DecodeRLE(TDICOMContext& C, int64_t FragmentLength) {
  TQxBufferedReadStream& s = *C.Stream;
  const int64_t w = C.Columns, h = C.Rows, plane = w * h;
  const TLayout layout = LayoutOf(C);
  if (w <= 0 || h <= 0 || layout == TLayout::None || FragmentLength < 64) return C.Abort();
  const int32_t segments = layout == TLayout::RGB8 ? 3 : layout == TLayout::Gray16 ? 2 : 1;
  const int64_t start = s.Position();
  uint32_t count = 0, offsets[15];
  if (!ReadU32(s, false, count)) return C.Abort();
  for (uint32_t& o : offsets)
    if (!ReadU32(s, false, o)) return C.Abort();
  if (count < uint32_t(segments)) return C.Abort();
  // A PackBits pair yields at most 128 bytes: a picture the fragment cannot fill is refused unallocated.
  if (plane * segments > 64 * FragmentLength + 256) return C.Abort();
  std::vector<uint8_t> work(size_t(plane * segments), 0);
  for (int32_t i = 0; i < segments; ++i) {
    if (offsets[i] < 64 || int64_t(offsets[i]) >= FragmentLength) return C.Abort();
    s.SetPosition(start + offsets[i]);
    QxDicomUnpackRLE(&s, work.data() + size_t(i * plane), plane);
  }
  const TQxPixelFormat fmt = layout == TLayout::Gray8   ? TQxPixelFormat::qx8g
                             : layout == TLayout::Gray16 ? TQxPixelFormat::qx16g
                                                         : TQxPixelFormat::qx24RGB;
  if (!AllocateOrAbort(C, fmt)) return;
  for (int64_t y = 0; y < h; ++y) {
    uint8_t* d = C.Bitmap->Scanline(int32_t(y));
    const uint8_t* a = work.data() + size_t(y * w);
    for (int64_t x = 0; x < w; ++x) {
      switch (layout) {
        case TLayout::Palette8:
          d[3 * x] = uint8_t(LutEntry(C.BlueLUT, a[x]) / 257);
          d[3 * x + 1] = uint8_t(LutEntry(C.GreenLUT, a[x]) / 257);
          d[3 * x + 2] = uint8_t(LutEntry(C.RedLUT, a[x]) / 257);
          break;
        case TLayout::Gray8: d[x] = a[x]; break;
        case TLayout::Gray16: {
          const uint16_t v = uint16_t(a[x] << 8 | a[x + plane]);
          std::memcpy(d + 2 * x, &v, 2);
          break;
        }
        default:
          d[3 * x] = a[x + 2 * plane];
          d[3 * x + 1] = a[x + plane];
          d[3 * x + 2] = a[x];
          break;
      }
    }
  }
  if (layout == TLayout::Gray16) GraySteps16(C, C.Bitmap);
  else if (layout != TLayout::Palette8) GraySteps8(C, C.Bitmap);
}

void DecodeLosslessJpeg(TDICOMContext& C, int64_t FragmentLength) {
  TQxBufferedReadStream& s = *C.Stream;
  if (FragmentLength == 0) FragmentLength = C.StreamSize - s.Position();
  const int64_t w = C.Columns, h = C.Rows;
  TLayout layout = LayoutOf(C);
  // Palette indexes come out as gray levels here.
  if (layout == TLayout::Palette8) layout = TLayout::Gray8;
  if (w <= 0 || h <= 0 || layout == TLayout::None) return C.Abort();
  const int32_t spp = layout == TLayout::RGB8 ? 3 : 1;
  const int64_t samples = w * h * spp;
  // Every sample takes at least one bit of code.
  if (samples > 8 * FragmentLength + 64) return C.Abort();
  std::vector<uint8_t> out8;
  std::vector<uint16_t> out16;
  if (layout == TLayout::Gray16) out16.resize(size_t(samples));
  else out8.resize(size_t(samples));
  const bool ok = QxDicomLosslessJpeg(&s, out16.empty() ? nullptr : out16.data(), out8.empty() ? nullptr : out8.data(),
                                      FragmentLength, int32_t(w), int32_t(h), spp, C.Progress.OnProgress,
                                      C.Progress.Sender);
  if (!ok) return C.Abort();
  const TQxPixelFormat fmt = layout == TLayout::Gray8   ? TQxPixelFormat::qx8g
                             : layout == TLayout::Gray16 ? TQxPixelFormat::qx16g
                                                         : TQxPixelFormat::qx24RGB;
  if (!AllocateOrAbort(C, fmt)) return;
  for (int64_t y = 0; y < h; ++y) {
    uint8_t* d = C.Bitmap->Scanline(int32_t(y));
    if (layout == TLayout::Gray16) {
      std::memcpy(d, out16.data() + size_t(y * w), size_t(w) * 2);
    } else if (layout == TLayout::Gray8) {
      std::memcpy(d, out8.data() + size_t(y * w), size_t(w));
    } else {
      const uint8_t* q = out8.data() + size_t(y * w * 3);
      for (int64_t x = 0; x < w; ++x) {
        d[3 * x] = q[3 * x + 2];
        d[3 * x + 1] = q[3 * x + 1];
        d[3 * x + 2] = q[3 * x];
      }
    }
  }
  if (layout == TLayout::Gray16) GraySteps16(C, C.Bitmap);
  else if (layout == TLayout::Gray8) GraySteps8(C, C.Bitmap);
}

// Whether the JPEG stream at the position names its colour transform itself (a JFIF or Adobe segment
// before the frame); the position is kept.
bool JpegNamesColourTransform(TStream& S) {
  const int64_t at = S.Position();
  bool named = false;
  uint8_t m[4];
  if (S.Read(m, 2) == 2 && m[0] == 0xFF && m[1] == 0xD8) {
    // Segments up to the first frame header; a few hundred of them at most.
    for (int32_t n = 0; n < 512 && S.Read(m, 4) == 4 && m[0] == 0xFF; ++n) {
      const int32_t len = m[2] << 8 | m[3];
      if ((m[1] >= 0xC0 && m[1] <= 0xCF && m[1] != 0xC4 && m[1] != 0xC8 && m[1] != 0xCC) || m[1] == 0xDA || len < 2)
        break;
      if (m[1] == 0xE0 || m[1] == 0xEE) {
        char id[5] = {};
        const int64_t got = S.Read(id, std::min<int32_t>(5, len - 2));
        if ((m[1] == 0xE0 && got == 5 && std::memcmp(id, "JFIF", 5) == 0) ||
            (m[1] == 0xEE && got >= 5 && std::memcmp(id, "Adobe", 5) == 0)) {
          named = true;
          break;
        }
        S.Seek(int64_t(len - 2) - got, TSeekOrigin::soCurrent);
      } else {
        S.Seek(len - 2, TSeekOrigin::soCurrent);
      }
    }
  }
  S.SetPosition(at);
  return named;
}

void DecodeJpegBaseline(TDICOMContext& C) {
  TIOParamsVals tmp(C.Params->Owner);
  // The data set's RGB says the components were coded untransformed; a stream that names no transform
  // itself would otherwise be taken as YCbCr.
  const bool rgb = C.SamplesPerPixel == 3 && QxUpperText(QxTrimText(C.Photometric)) == "RGB" &&
                   !JpegNamesColourTransform(*C.Stream);
  ReadJpegStream(C.Stream.get(), nullptr, C.Bitmap, tmp, C.Progress, false, rgb, false, false, false, false, -1,
                 true);
  if (C.Progress.Aborting() || C.Bitmap->IsEmpty()) return;
  // Untransformed components come out in the file's red, green, blue order.
  if (rgb && C.Bitmap->PixelFormat() == TQxPixelFormat::qx24RGB)
    for (int32_t y = 0; y < C.Bitmap->Height(); ++y) QxSwapRB(C.Bitmap->Scanline(y), C.Bitmap->Width());
  if (C.SamplesPerPixel == 1 && C.Bitmap->PixelFormat() == TQxPixelFormat::qx8g) GraySteps8(C, C.Bitmap);
}

// Gray code streams of more than 8 bits keep their 16 bits and take the 16-bit gray steps.
void DecodeJpeg2000Gray16(TDICOMContext& C) {
  TQxBufferedReadStream& s = *C.Stream;
  uint8_t b[4] = {};
  const int64_t at = s.Position();
  const bool raw = s.Read(b, 4) == 4 && b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51;
  s.SetPosition(at);
  TQxJ2kImage img;
  if (!QxJ2kDecode(s, raw ? TQxJ2kContainer::Codestream : TQxJ2kContainer::JP2, img, C.Params->MaxPixels) ||
      img.Components.empty())
    return C.Abort();
  const TQxJ2kComponent& c = img.Components[0];
  if (c.Precision < 1 || c.Precision > 16 || c.Width != img.Width || c.Height != img.Height || c.Left != 0 ||
      c.Top != 0 || !C.Bitmap->Allocate(img.Width, img.Height, TQxPixelFormat::qx16g))
    return C.Abort();
  const int64_t lo = c.Signed ? INT16_MIN : 0, hi = c.Signed ? INT16_MAX : UINT16_MAX;
  for (int32_t y = 0; y < img.Height; ++y) {
    auto* d = reinterpret_cast<uint16_t*>(C.Bitmap->Scanline(y));
    const int32_t* q = c.Data() + size_t(y) * size_t(c.Width);
    for (int32_t x = 0; x < img.Width; ++x) d[x] = uint16_t(std::clamp<int64_t>(q[x], lo, hi));
  }
  GraySteps<uint16_t>(C, C.Bitmap, img.Width, c.Signed);
}

void DecodeJpeg2000(TDICOMContext& C) {
  if (C.SamplesPerPixel == 1 && C.BitsStored > 8) return DecodeJpeg2000Gray16(C);
  if (!QxCodecServices.ReadJpeg2000Stream) return C.Abort();
  TIOParamsVals tmp(C.Params->Owner);
  QxCodecServices.ReadJpeg2000Stream(C.Stream.get(), C.Bitmap, tmp, C.Progress, false);
  if (C.Progress.Aborting() || C.Bitmap->IsEmpty()) return;
  if (C.SamplesPerPixel != 1) return;
  // A gray code stream may arrive as 24-bit pixels; the gray steps work on one byte per pixel.
  if (C.Bitmap->PixelFormat() == TQxPixelFormat::qx24RGB) C.Bitmap->SetPixelFormat(TQxPixelFormat::qx8g);
  if (C.Bitmap->PixelFormat() == TQxPixelFormat::qx8g) GraySteps8(C, C.Bitmap);
}

// Skips Count items of encapsulated data; false (abort) on anything but a well-formed item.
bool SkipItems(TDICOMContext& C, int32_t Count) {
  TQxBufferedReadStream& s = *C.Stream;
  for (int32_t i = 0; i < Count; ++i) {
    uint16_t g, e;
    uint32_t len;
    if (!ReadTag(C, g, e) || g != 0xFFFE || e != 0xE000 || !ReadU32(s, !C.LittleEndian, len)) return false;
    if (len == 0xFFFFFFFFu || s.Position() + int64_t(len) > C.StreamSize) return false;
    s.Seek(int64_t(len), TSeekOrigin::soCurrent);
  }
  return true;
}

void DecodeFrame(TDICOMContext& C, int64_t ValueStart) {
  TQxBufferedReadStream& s = *C.Stream;
  TIOParamsVals& p = *C.Params;
  const int32_t index = std::max(0, std::min(p.ImageIndex, C.FrameCount - 1));
  p.SetAllImageIndexes(index);
  s.SetPosition(ValueStart);
  uint16_t g = 0, e = 0;
  const bool tagged = ReadTag(C, g, e);  // a value of under four bytes is native data
  int64_t fragment = 0;
  if (tagged && g == 0xFFFE && e == 0xE000) {
    uint32_t tableLen;
    if (!ReadU32(s, !C.LittleEndian, tableLen) || tableLen == 0xFFFFFFFFu) return C.Abort();
    const int64_t tableStart = s.Position();
    if (tableStart + int64_t(tableLen) > C.StreamSize) return C.Abort();
    // Offsets count from the first item after the table; a frame the table leaves out is found by items.
    if (tableLen > 0 && index < int64_t(tableLen / 4)) {
      uint32_t offset;
      s.SetPosition(tableStart + 4 * int64_t(index));
      if (!ReadU32(s, !C.LittleEndian, offset)) return C.Abort();
      s.SetPosition(tableStart + tableLen + offset);
    } else {
      s.SetPosition(tableStart + tableLen);
      if (!SkipItems(C, index)) return C.Abort();
    }
    uint32_t len;
    if (!ReadTag(C, g, e) || g != 0xFFFE || e != 0xE000 || !ReadU32(s, !C.LittleEndian, len) || len == 0xFFFFFFFFu)
      return C.Abort();
    fragment = len;
  } else {
    s.SetPosition(ValueStart);
    // A frame past the stream's end only needs to land at the end (and be refused there).
    const int64_t frame = NativeFrameBytes(C);
    const int64_t skip = index > 0 && frame > C.StreamSize / index ? C.StreamSize : int64_t(index) * frame;
    s.Seek(skip, TSeekOrigin::soCurrent);
  }
  if (s.Position() + fragment > C.StreamSize) return C.Abort();
  if (!QxPictureFits(*C.Params, C.Columns, C.Rows, -1, -1)) return C.Abort();

  const std::string& ts = C.TransferSyntax;
  if (ts == "1.2.840.10008.1.2.4.50") DecodeJpegBaseline(C);
  else if (ts == "1.2.840.10008.1.2.4.90" || ts == "1.2.840.10008.1.2.4.91") DecodeJpeg2000(C);
  else if (ts == "1.2.840.10008.1.2.4.70" || ts == "1.2.840.10008.1.2.4.57") DecodeLosslessJpeg(C, fragment);
  else if (ts == "1.2.840.10008.1.2.4.100") C.Abort();
  else if (ts == "1.2.840.10008.1.2.5") DecodeRLE(C, fragment);
  else DecodeNative(C);
}

// ---- the data set ----------------------------------------------------------------------------------

bool IsLongLengthVR(const uint8_t* V) {
  static const char* const kLong[] = {"OB", "OW", "SQ", "UN", "UT", "OD", "OF", "OL", "OV", "SV", "UC", "UR", "UV"};
  for (const char* l : kLong)
    if (V[0] == uint8_t(l[0]) && V[1] == uint8_t(l[1])) return true;
  return false;
}

bool IsCapital(uint8_t B) { return B >= 'A' && B <= 'Z'; }

void ImageElement(TDICOMContext& C, uint16_t Element, uint32_t Numeric, const uint8_t* Data, int64_t Length) {
  const int32_t n = int32_t(std::min<uint32_t>(Numeric, 0x7FFFFFFF));
  auto bytesPerSample = [&] { C.BytesPerSample = (std::max(C.BitsAllocated, C.BitsStored) + 7) / 8; };
  switch (Element) {
    case 0x0002: C.SamplesPerPixel = n; break;
    case 0x0004: C.Photometric = TextOf(Data, Length); break;
    case 0x0006: C.PlanarConfiguration = n; break;
    case 0x0008:
      C.FrameCount = QxTextToIntDef(QxTrimText(TextOf(Data, Length)), 1);
      // No frame or a negative count would index before the first frame.
      if (C.FrameCount < 1) C.FrameCount = 1;
      break;
    case 0x0010: C.Rows = n; break;
    case 0x0011: C.Columns = n; break;
    case 0x0100:
      C.BitsAllocated = n;
      if (C.BitsStored == 0) C.BitsStored = n;
      bytesPerSample();
      break;
    case 0x0101:
      C.BitsStored = n;
      if (C.BitsAllocated == 0) C.BitsAllocated = n;
      bytesPerSample();
      break;
    case 0x0103: C.PixelRepresentation = n; break;
    case 0x1050:
      C.WindowCenter = FirstDecimal(TextOf(Data, Length));
      if (C.WindowCenter == 0) C.WindowCenter = -1;
      break;
    case 0x1051: C.WindowWidth = FirstDecimal(TextOf(Data, Length)); break;
    case 0x1052: C.RescaleIntercept = FirstDecimal(TextOf(Data, Length)); break;
    case 0x1053: C.RescaleSlope = FirstDecimal(TextOf(Data, Length)); break;
    case 0x1201:
    case 0x1202:
    case 0x1203: {
      if (!Data || Length <= 0) break;
      std::vector<uint16_t>& lut = Element == 0x1201 ? C.RedLUT : Element == 0x1202 ? C.GreenLUT : C.BlueLUT;
      // Sixteen bits index every table a sample can address.
      const int32_t bits = std::clamp(C.BitsAllocated, 0, 16);
      lut.assign(size_t(1) << bits, 0);
      const int64_t have = std::min<int64_t>(Length / 2, int64_t(lut.size()));
      for (int64_t i = 0; i < have; ++i) {
        const uint8_t* q = Data + 2 * i;
        lut[size_t(i)] = C.LittleEndian ? uint16_t(q[0] | q[1] << 8) : uint16_t(q[0] << 8 | q[1]);
      }
      break;
    }
    default: break;
  }
}

void ParseDataSet(TDICOMContext& C, bool ParamsOnly) {
  TQxBufferedReadStream& s = *C.Stream;
  int64_t jpegAt = -1;
  int32_t depth = 0;  // nesting in sequences and items of undefined length
  bool pixelsReached = false;
  while (s.Position() < C.StreamSize) {
    uint16_t group, element;
    if (!ReadTag(C, group, element)) break;
    const bool big = !C.LittleEndian && group != 2;
    std::string vr = QxDicomDictionaryVR(group, element);
    uint8_t v[2];
    if (s.Read(v, 2) != 2) break;
    int64_t length;
    uint32_t u;
    if (group == 2 || (IsCapital(v[0]) && IsCapital(v[1]))) {
      if (vr == "xs") vr.assign(reinterpret_cast<const char*>(v), 2);
      if (vr == "!!") {
        s.Seek(-2, TSeekOrigin::soCurrent);
        if (!ReadU32(s, big, u)) break;
      } else if (IsLongLengthVR(v)) {
        s.Seek(2, TSeekOrigin::soCurrent);
        if (!ReadU32(s, big, u)) break;
      } else {
        if (!ReadU16(s, big, u)) break;
      }
    } else {
      s.Seek(-2, TSeekOrigin::soCurrent);
      if (!ReadU32(s, big, u)) break;
    }
    length = u == 0xFFFFFFFFu ? -1 : int64_t(u);

    int32_t itemSize = 1;
    if (vr == "SS" || vr == "US") itemSize = 2;
    else if (vr == "UL" || vr == "SL" || vr == "FL") itemSize = 4;
    else if (vr == "FD") itemSize = 8;
    const int64_t count = length > 0 ? length / itemSize : 0;
    const int64_t valueStart = s.Position();
    const bool topPixels = group == 0x7FE0 && element == 0x0010 && depth == 0;

    if (topPixels) {
      C.PixelVR = IsCapital(v[0]) && IsCapital(v[1]) ? std::string(reinterpret_cast<const char*>(v), 2) : vr;
      uint8_t peek[4] = {0, 0, 0, 0};
      const bool four = s.Read(peek, 4) == 4;
      s.SetPosition(valueStart);
      if (four && peek[0] == 0xFF && peek[1] == 0xD8 && peek[2] == 0xFF && peek[3] == 0xE0) {
        jpegAt = valueStart;  // a JPEG stream placed straight into the value
      } else {
        SetParams(C);
        if (!ParamsOnly) DecodeFrame(C, valueStart);
        pixelsReached = true;
        break;
      }
    }

    uint32_t numeric = 0;
    uint8_t* data = nullptr;
    if (length > 0 && length < C.StreamSize && length <= 0x7FFFFFFE) {
      if (count == 1 && (itemSize == 1 || itemSize == 2 || itemSize == 4)) {
        uint8_t b = 0;
        if (itemSize == 1) {
          if (s.Read(&b, 1) == 1) numeric = b;
        } else if (itemSize == 2) {
          ReadU16(s, big, numeric);
        } else {
          ReadU32(s, big, numeric);
        }
        s.SetPosition(valueStart);
      }
      data = new uint8_t[size_t(length) + 1]();
      s.Read(data, length);
      data[size_t(count * itemSize)] = 0;
    }
    C.Params->DicomTags->AddTag(group, element, vr, data, int32_t(std::min<int64_t>(length, 0x7FFFFFFF)));

    if (group == 0xFFFE && (element == 0xE00D || element == 0xE0DD)) {
      if (depth > 0) --depth;
    } else if (length < 0 && !topPixels) {
      ++depth;
    }
    if (depth > 0 || (group == 0xFFFE)) continue;
    if (group == 2 && element == 0x0010) {
      C.TransferSyntax = TextOf(data, length);
      if (C.TransferSyntax == kBigEndianSyntax) C.LittleEndian = false;
      // The rest of a deflated data set is one zlib stream: its elements cannot be read as they stand.
      if (QxTrimText(C.TransferSyntax) == "1.2.840.10008.1.2.1.99") {
        C.Params->ReadError = "Deflated DICOM files are not supported";
        C.Abort();
        return;
      }
    } else if (group == 0x0028) {
      ImageElement(C, element, numeric, data, length);
    }
  }
  if (pixelsReached) return;
  SetParams(C);
  if (jpegAt >= 0 && !ParamsOnly) DecodeFrame(C, jpegAt);
}

}  // namespace

bool IsDicomStream(TStream* Stream) {
  if (!Stream) return false;
  int64_t pos = 0;
  bool result = false;
  try {
    pos = Stream->Position();
    Stream->Seek(128, TSeekOrigin::soCurrent);
    uint8_t m[4];
    result = Stream->Read(m, 4) == 4 && std::memcmp(m, "DICM", 4) == 0;
  } catch (...) {
    result = false;
  }
  try {
    Stream->SetPosition(pos);
  } catch (...) {
  }
  return result;
}

void ReadDicomStream(TStream* Stream, TIOParamsVals& Params, TQxBitmap* Bitmap, TQxProgressInfo& Progress,
                     bool ParamsOnly) {
  TDICOMContext c;
  c.Params = &Params;
  c.Progress = Progress;
  std::unique_ptr<TQxBitmap> temp;
  try {
    if (!Stream) {
      Progress.Abort();
      return;
    }
    if (!Bitmap) ParamsOnly = true;
    if (Bitmap && Bitmap->Location() == TQxLocation::qxTBitmap) {
      temp = std::make_unique<TQxBitmap>();
      c.Bitmap = temp.get();
    } else {
      c.Bitmap = Bitmap;
    }
    c.Stream = std::make_unique<TQxBufferedReadStream>(Stream, TQxBufferedReadStream::DefaultBufferSize,
                                                       QxBufferedReadRelative);
    c.StreamSize = c.Stream->Size();
    const int64_t start = c.Stream->Position();
    c.Stream->Seek(128, TSeekOrigin::soCurrent);
    uint8_t magic[4];
    if (!(c.Stream->Read(magic, 4) == 4 && std::memcmp(magic, "DICM", 4) == 0)) {
      c.NoPreamble = true;
      c.Stream->SetPosition(start);
    }
    ParseDataSet(c, ParamsOnly);
    if (!ParamsOnly && !Progress.Aborting() && c.Bitmap->IsEmpty()) {
      // A report, a structured document or a presentation state: nothing to show is a failed load.
      Params.ReadError = "The DICOM file holds no picture";
      Progress.Abort();
    }
    if (temp && !temp->IsEmpty()) {
      if (temp->PixelFormat() != TQxPixelFormat::qx1g && temp->PixelFormat() != TQxPixelFormat::qx24RGB)
        temp->SetPixelFormat(TQxPixelFormat::qx24RGB);
      Bitmap->AssignFrom(temp.get());
    }
  } catch (...) {
    // Bad data never escapes as an exception: the load fails through the abort flag.
    Progress.Abort();
  }
  Params.SetImageCount(c.FrameCount);
}

int32_t DicomFrameCount(const char* FileName) {
  if (!FileName) return 0;
  try {
    TQxWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    TIOParamsVals params;
    std::atomic<bool> aborting{false};
    TQxProgressInfo progress;
    progress.AbortFlag = &aborting;
    ReadDicomStream(&f, params, nullptr, progress, true);
    return aborting ? 0 : params.ImageCount;
  } catch (...) {
    return 0;
  }
}

void QxRegisterDicomCodec() {
  QxCodecServices.ReadDicomStream = &ReadDicomStream;
  QxCodecServices.DicomFrameCount = &DicomFrameCount;
  QxCodecServices.IsDicomStream = &IsDicomStream;
}
