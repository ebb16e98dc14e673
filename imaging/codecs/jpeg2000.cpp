#include "imaging/codecs/jpeg2000.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "imaging/codecs/jpeg2000_lib.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/params.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

int32_t QxJ2kCrToR[256];
int32_t QxJ2kCbToB[256];
int32_t QxJ2kCrToG[256];
int32_t QxJ2kCbToG[256];

namespace {
void BuildYCbCrTables() {
  // Factors from the luma weights, worked out in single precision.
  const float wr = 0.299f, wg = 0.587f, wb = 0.114f;
  const float crToR = 2.0f - 2.0f * wr;
  const float cbToB = 2.0f - 2.0f * wb;
  const float crToG = wr * crToR / wg;
  const float cbToG = wb * cbToB / wg;
  for (int32_t i = 0; i < 256; ++i) {
    const double d = i - 128;
    QxJ2kCrToR[i] = static_cast<int32_t>(std::nearbyint(double(crToR) * d));
    QxJ2kCbToB[i] = static_cast<int32_t>(std::nearbyint(double(cbToB) * d));
    QxJ2kCrToG[i] = -static_cast<int32_t>(std::nearbyint(double(crToG) * d));
    QxJ2kCbToG[i] = -static_cast<int32_t>(std::nearbyint(double(cbToG) * d));
  }
}
}  // namespace

// Registration and start-up both ask for the tables; readers on other threads may already use them.
void QxJ2kInitYCbCrTables() {
  static std::once_flag once;
  std::call_once(once, BuildYCbCrTables);
}

void Jpeg2000Init() { QxJ2kInitYCbCrTables(); }

// The library keeps no process-wide state of its own.
void Jpeg2000Final() {}

namespace {

// Reads Count bytes at the position and puts the position back.
bool PeekBytes(TStream* Stream, uint8_t* Buffer, int64_t Count) {
  if (!Stream) return false;
  try {
    const int64_t pos = Stream->Position();
    int64_t got = 0;
    while (got < Count) {
      const int64_t n = Stream->Read(Buffer + got, Count - got);
      if (n <= 0) break;
      got += n;
    }
    Stream->Seek(pos, TSeekOrigin::soBeginning);
    return got == Count;
  } catch (...) {
    return false;
  }
}

// The top eight bits of a Precision-bit sample; signedness is not consulted.
inline uint8_t ToByte(int32_t Sample, int32_t Shift) {
  return static_cast<uint8_t>((static_cast<uint32_t>(Sample) << Shift) >> 24);
}

// For every output position along one axis, the component sample that covers it.
std::vector<int32_t> SampleIndexes(int32_t Count, int32_t Offset, int32_t Step, int32_t Limit) {
  std::vector<int32_t> idx(static_cast<size_t>(Count));
  for (int32_t i = 0; i < Count; ++i) {
    const int64_t v = (int64_t(i) - Offset) / Step;
    idx[i] = (v < 0 || v >= Limit) ? 0 : static_cast<int32_t>(v);
  }
  return idx;
}

struct UsedComponent {
  const TQxJ2kComponent* C;
  int32_t Shift;
  std::vector<int32_t> Cols, Rows;
};

}  // namespace

bool IsJP2Stream(TStream* Stream) {
  static const uint8_t Sig[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  uint8_t b[12];
  return PeekBytes(Stream, b, 12) && std::memcmp(b, Sig, 12) == 0;
}

bool IsJ2KStream(TStream* Stream) {
  uint8_t b[4];
  return PeekBytes(Stream, b, 4) && b[0] == 0xFF && b[1] == 0x4F && b[2] == 0xFF && b[3] == 0x51;
}

void ReadJpeg2000Stream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                        bool ParamsOnly) {
  TQxJ2kContainer kind;
  if (IsJP2Stream(Stream))
    kind = TQxJ2kContainer::JP2;
  else if (IsJ2KStream(Stream))
    kind = TQxJ2kContainer::Codestream;
  else {
    Progress.Abort();
    return;
  }
  TQxJ2kImage img;
  if (!QxJ2kDecode(*Stream, kind, img, Params.MaxPixels)) {
    Progress.Abort();
    return;
  }
  Params.SetImageCount(1);

  TQxJ2kColorSpace cs = img.ColorSpace;
  if (cs == TQxJ2kColorSpace::Other) {
    Progress.Abort();
    return;
  }
  const int32_t count = static_cast<int32_t>(img.Components.size());
  if (cs == TQxJ2kColorSpace::Unknown) {
    int32_t colours = 0;
    for (const auto& c : img.Components) colours += c.Type != QxJ2kTypeOpacity;
    cs = colours >= 3 ? TQxJ2kColorSpace::RGB : TQxJ2kColorSpace::Gray;
  }
  // A colour picture needs three components to be one; with fewer, the first is shown as gray.
  if (cs != TQxJ2kColorSpace::Gray && count < 3) cs = TQxJ2kColorSpace::Gray;
  auto pick = [&](int32_t Type, int32_t Fallback) {
    const int32_t i = img.ComponentByType(Type);
    return i >= 0 ? i : Fallback;
  };
  std::vector<int32_t> used;
  if (cs == TQxJ2kColorSpace::Gray)
    used = {pick(0, 0)};
  else if (cs == TQxJ2kColorSpace::RGB)
    used = {pick(0, 0), pick(1, 1), pick(2, 2)};
  else
    used = {pick(0, 0), pick(1, 0), pick(2, 0)};
  for (int32_t i : used) {
    const int32_t prec = img.Components[i].Precision;
    if (prec < 1 || prec > 32) {
      Progress.Abort();
      return;
    }
  }

  Params.BitsPerSample = img.Components[used[0]].Precision;
  Params.SamplesPerPixel = static_cast<int32_t>(used.size());
  Params.SetDpiX(QxDefaultDpiX);
  Params.SetDpiY(QxDefaultDpiY);
  Params.FreeColorMap();
  Params.Width = Params.OriginalWidth = img.Width;
  Params.Height = Params.OriginalHeight = img.Height;
  if (ParamsOnly) return;

  const bool bilevel = Params.BitsPerSample == 1 && used.size() == 1;
  if (!Bitmap || !Bitmap->Allocate(img.Width, img.Height, bilevel ? TQxPixelFormat::qx1g : TQxPixelFormat::qx24RGB)) {
    Progress.Abort();
    return;
  }
  const int32_t W = img.Width, H = img.Height;
  Progress.Factor = 100.0 / H;

  std::vector<UsedComponent> comps;
  // A component the channel definition marks as opacity is the alpha channel; without a definition (a bare
  // code stream), one component past the colour ones is, as other programs take it.
  int32_t opacity = bilevel ? -1 : img.ComponentByType(QxJ2kTypeOpacity);
  if (!bilevel && opacity < 0 && count == static_cast<int32_t>(used.size()) + 1 &&
      img.ComponentByType(static_cast<int32_t>(used.size())) == count - 1)
    opacity = count - 1;
  const bool withAlpha = opacity >= 0 && img.Components[opacity].Precision >= 1 &&
                         img.Components[opacity].Precision <= 32;
  try {
    for (int32_t i : used) {
      const TQxJ2kComponent& c = img.Components[i];
      comps.push_back({&c, 32 - c.Precision, SampleIndexes(W, c.Left, c.HStep, c.Width),
                       SampleIndexes(H, c.Top, c.VStep, c.Height)});
    }
    if (withAlpha) {
      const TQxJ2kComponent& c = img.Components[opacity];
      comps.push_back({&c, 32 - c.Precision, SampleIndexes(W, c.Left, c.HStep, c.Width),
                       SampleIndexes(H, c.Top, c.VStep, c.Height)});
    }
  } catch (const std::bad_alloc&) {
    Progress.Abort();
    return;
  }
  auto sample = [&](const UsedComponent& U, const int32_t* Row, int32_t X) { return ToByte(Row[U.Cols[X]], U.Shift); };
  TQxBitmap* alpha = nullptr;
  if (withAlpha) {
    alpha = Bitmap->GetAlphaChannel();
    Bitmap->Opaque = false;
    alpha->Opaque = false;
  }

  for (int32_t y = 0; y < H; ++y) {
    uint8_t* dst = Bitmap->Scanline(y);
    if (alpha) {
      const UsedComponent& a = comps.back();
      const int32_t* ra = a.C->Data() + size_t(a.Rows[y]) * a.C->Width;
      uint8_t* m = alpha->Scanline(y);
      for (int32_t x = 0; x < W; ++x) m[x] = sample(a, ra, x);
    }
    if (used.size() == 3) {
      const int32_t* r0 = comps[0].C->Data() + size_t(comps[0].Rows[y]) * comps[0].C->Width;
      const int32_t* r1 = comps[1].C->Data() + size_t(comps[1].Rows[y]) * comps[1].C->Width;
      const int32_t* r2 = comps[2].C->Data() + size_t(comps[2].Rows[y]) * comps[2].C->Width;
      auto* px = reinterpret_cast<TQxRGB*>(dst);
      if (cs == TQxJ2kColorSpace::RGB) {
        for (int32_t x = 0; x < W; ++x)
          px[x] = TQxRGB{sample(comps[2], r2, x), sample(comps[1], r1, x), sample(comps[0], r0, x)};
      } else {
        for (int32_t x = 0; x < W; ++x) {
          const int32_t Y = sample(comps[0], r0, x), Cb = sample(comps[1], r1, x), Cr = sample(comps[2], r2, x);
          px[x] = TQxRGB{QxClampByte(Y + QxJ2kCbToB[Cb]), QxClampByte(Y + QxJ2kCbToG[Cb] + QxJ2kCrToG[Cr]),
                         QxClampByte(Y + QxJ2kCrToR[Cr])};
        }
      }
    } else {
      const int32_t* r0 = comps[0].C->Data() + size_t(comps[0].Rows[y]) * comps[0].C->Width;
      if (bilevel) {
        for (int32_t x = 0; x < W; ++x) QxSetRowBit(dst, x, sample(comps[0], r0, x));
      } else {
        auto* px = reinterpret_cast<TQxRGB*>(dst);
        for (int32_t x = 0; x < W; ++x) {
          const uint8_t v = sample(comps[0], r0, x);
          px[x] = TQxRGB{v, v, v};
        }
      }
    }
    if (Progress.Assigned()) Progress.Report(static_cast<int32_t>(Trunc(y * Progress.Factor)));
    if (Progress.Aborting()) break;
  }
}

std::string QxJ2kOptionsText(const TIOParamsVals& Params) {
  std::string rate;
  QxFloatToDotText(rate, Params.J2000Rate);
  std::string text = "rate=" + rate;
  if (Params.J2000Progression == 0)
    text += " prg=lrcp";
  else if (Params.J2000Progression == 1)
    text += " prg=rlcp";
  return text;
}

void WriteJpeg2000Stream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                         int32_t FormatCode) {
  if (!Stream || !Bitmap || (FormatCode != QxJ2kFormatJP2 && FormatCode != QxJ2kFormatJPC)) {
    Progress.Abort();
    return;
  }
  const TQxPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt == TQxPixelFormat::qx1g) {
    Params.BitsPerSample = 1;
    Params.J2000ColorSpace = 0;
  }
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  // Only the two formats the I/O component hands over can be coded; an unknown colour model would
  // otherwise leave an empty file behind a save that looked successful.
  if ((fmt != TQxPixelFormat::qx1g && fmt != TQxPixelFormat::qx24RGB) || W <= 0 || H <= 0 ||
      Params.J2000ColorSpace > 2) {
    Progress.Abort();
    return;
  }
  // A precision the coder cannot hold (left over from a float or 32-bit source) is written as 8 bits.
  const int32_t prec = (Params.BitsPerSample >= 1 && Params.BitsPerSample <= 16) ? Params.BitsPerSample : 8;
  const int32_t maxval = (1 << prec) - 1;
  const bool gray = Params.J2000ColorSpace == 0;
  TQxBitmap* alpha = nullptr;
  if (!gray && Bitmap->HasAlphaChannel()) {
    alpha = Bitmap->GetAlphaChannel();
    if (alpha->Opaque || alpha->Width() != W || alpha->Height() != H) alpha = nullptr;
  }

  TQxJ2kImage img;
  img.Width = W;
  img.Height = H;
  img.ColorSpace = gray ? TQxJ2kColorSpace::Gray : TQxJ2kColorSpace::RGB;
  const size_t ncomp = gray ? 1 : (alpha ? 4 : 3);
  const size_t pixels = size_t(W) * size_t(H);
  try {
    img.Components.resize(ncomp);
    for (size_t i = 0; i < ncomp; ++i) {
      TQxJ2kComponent& c = img.Components[i];
      c.Width = W;
      c.Height = H;
      c.Precision = prec;
      c.Type = i == 3 ? QxJ2kTypeOpacity : static_cast<int32_t>(i);
      c.Samples.assign(pixels, 0);
    }
  } catch (const std::bad_alloc&) {
    Progress.Abort();
    return;
  }

  Progress.Factor = H > 0 ? 100.0 / H : 0.0;
  auto scale = [maxval](int32_t V) { return V * maxval / 255; };
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* src = Bitmap->Scanline(y);
    const size_t at = size_t(y) * W;
    if (gray) {
      int32_t* g = img.Components[0].Samples.data() + at;
      if (fmt == TQxPixelFormat::qx1g) {
        for (int32_t x = 0; x < W; ++x) g[x] = QxGetRowBit(src, x) ? 1 : 0;
      } else {
        const auto* px = reinterpret_cast<const TQxRGB*>(src);
        for (int32_t x = 0; x < W; ++x) g[x] = scale(QxRGBToGray(px[x]));
      }
    } else {
      const auto* px = reinterpret_cast<const TQxRGB*>(src);
      int32_t* r = img.Components[0].Samples.data() + at;
      int32_t* g = img.Components[1].Samples.data() + at;
      int32_t* b = img.Components[2].Samples.data() + at;
      for (int32_t x = 0; x < W; ++x) {
        r[x] = scale(px[x].r);
        g[x] = scale(px[x].g);
        b[x] = scale(px[x].b);
      }
      if (alpha) {
        const uint8_t* a = alpha->Scanline(y);
        int32_t* o = img.Components[3].Samples.data() + at;
        for (int32_t x = 0; x < W; ++x) o[x] = scale(a[x]);
      }
    }
    if (Progress.Assigned()) Progress.Report(static_cast<int32_t>(Trunc(y * Progress.Factor)));
    if (Progress.Aborting()) break;
  }

  const auto container = FormatCode == QxJ2kFormatJP2 ? TQxJ2kContainer::JP2 : TQxJ2kContainer::Codestream;
  if (!QxJ2kEncode(*Stream, img, container, QxJ2kOptionsText(Params))) Progress.Abort();
}

void QxRegisterJpeg2000Codec() {
  QxJ2kInitYCbCrTables();
  QxCodecServices.ReadJpeg2000Stream = ReadJpeg2000Stream;
  QxCodecServices.WriteJpeg2000Stream = WriteJpeg2000Stream;
  QxCodecServices.IsJP2Stream = IsJP2Stream;
  QxCodecServices.IsJ2KStream = IsJ2KStream;
  QxRegisterStartStep(TQxStartStep::qxsJpeg2000, Jpeg2000Init, Jpeg2000Final);
}
