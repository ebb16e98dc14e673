#include "imaging/codecs/hdp_jxr.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

#include <JXRGlue.h>

// The library's header defines these as macros; they would break the standard headers' use of the names.
#undef min
#undef max

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Pixels the coded data of one byte may stand for. A flat picture codes to under a byte per macroblock
// (our encoder: about 700 pixels a byte), so the bound is generous, but it keeps a small file from asking
// for gigabytes.
constexpr uint64_t kPixelsPerCodedByte = 4096;
constexpr uint64_t kMaxPixels = uint64_t(1) << 28;

struct TFormatEntry {
  const GUID* Guid;
  TQxHdpPixelFormat Format;
};

const TFormatEntry kFormats[] = {
    {&GUID_PKPixelFormatBlackWhite, TQxHdpPixelFormat::BlackWhite},
    {&GUID_PKPixelFormat8bppGray, TQxHdpPixelFormat::Gray8},
    {&GUID_PKPixelFormat16bppGray, TQxHdpPixelFormat::Gray16},
    {&GUID_PKPixelFormat24bppBGR, TQxHdpPixelFormat::BGR24},
    {&GUID_PKPixelFormat48bppRGB, TQxHdpPixelFormat::RGB48},
    {&GUID_PKPixelFormat32bppCMYK, TQxHdpPixelFormat::CMYK32},
    {&GUID_PKPixelFormat32bppBGRA, TQxHdpPixelFormat::BGRA32},
};

TQxHdpPixelFormat FormatOf(const GUID& G) {
  for (const auto& e : kFormats)
    if (IsEqualGUID(G, *e.Guid)) return e.Format;
  return TQxHdpPixelFormat::Other;
}

const GUID* GuidOf(TQxHdpPixelFormat F) {
  for (const auto& e : kFormats)
    if (e.Format == F) return e.Guid;
  return nullptr;
}

size_t BitsOf(TQxHdpPixelFormat F) {
  switch (F) {
    case TQxHdpPixelFormat::BlackWhite: return 1;
    case TQxHdpPixelFormat::Gray8: return 8;
    case TQxHdpPixelFormat::Gray16: return 16;
    case TQxHdpPixelFormat::BGR24: return 24;
    case TQxHdpPixelFormat::RGB48: return 48;
    case TQxHdpPixelFormat::CMYK32: return 32;
    case TQxHdpPixelFormat::BGRA32: return 32;
    default: return 0;
  }
}

size_t RowBytesOf(size_t Width, size_t Bits) { return (Width * Bits + 7) / 8; }

// An output stream the encoder writes into and seeks back over to finish its directory.
struct TGrowStream {
  WMPStream Ws{};
  std::vector<uint8_t>* Out = nullptr;
  size_t Pos = 0;
};

TGrowStream* Self(WMPStream* S) { return reinterpret_cast<TGrowStream*>(S); }

ERR GrowClose(WMPStream** S) {
  if (S) *S = nullptr;  // owned by the caller
  return WMP_errSuccess;
}
Bool GrowEOS(WMPStream* S) { return Self(S)->Pos >= Self(S)->Out->size(); }
ERR GrowRead(WMPStream* S, void* P, size_t N) {
  TGrowStream* g = Self(S);
  if (N > g->Out->size() || g->Pos > g->Out->size() - N) return WMP_errBufferOverflow;
  std::memcpy(P, g->Out->data() + g->Pos, N);
  g->Pos += N;
  return WMP_errSuccess;
}
ERR GrowWrite(WMPStream* S, const void* P, size_t N) {
  TGrowStream* g = Self(S);
  try {
    if (g->Pos + N > g->Out->size()) g->Out->resize(g->Pos + N);
  } catch (...) {
    return WMP_errOutOfMemory;
  }
  if (N) std::memcpy(g->Out->data() + g->Pos, P, N);
  g->Pos += N;
  return WMP_errSuccess;
}
ERR GrowSetPos(WMPStream* S, size_t Pos) {
  Self(S)->Pos = Pos;
  return WMP_errSuccess;
}
ERR GrowGetPos(WMPStream* S, size_t* Pos) {
  *Pos = Self(S)->Pos;
  return WMP_errSuccess;
}

}  // namespace

bool QxHdpServiceAvailable() {
  PKCodecFactory* f = nullptr;
  if (PKCreateCodecFactory(&f, WMP_SDK_VERSION) < 0 || !f) return false;
  f->Release(&f);
  return true;
}

bool QxHdpCheckContainer(const uint8_t* Data, size_t Size, int32_t& Width, int32_t& Height) {
  Width = Height = 0;
  if (!Data || Size < 8) return false;
  if (Data[0] != 'I' || Data[1] != 'I' || Data[2] != 0xBC || Data[3] > 1) return false;
  const uint64_t ifd = Get32(Data + 4);
  if (ifd < 8 || ifd + 2 > Size) return false;
  const uint32_t count = Get16(Data + ifd);
  if (count == 0 || ifd + 2 + uint64_t(count) * 12 + 4 > Size) return false;
  static const uint32_t kTypeSize[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  uint64_t w = 0, h = 0, imgOff = 0, imgLen = 0, alphaOff = 0, alphaLen = 0;
  bool haveFormat = false, haveW = false, haveH = false, haveOff = false, haveLen = false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = Data + ifd + 2 + uint64_t(i) * 12;
    const uint16_t tag = Get16(e), type = Get16(e + 2);
    const uint32_t n = Get32(e + 4);
    if (type == 0 || type > 12) return false;
    const uint64_t bytes = uint64_t(n) * kTypeSize[type];
    // Values kept elsewhere in the file must lie inside it: the library follows these offsets.
    if (bytes > 4) {
      const uint64_t off = Get32(e + 8);
      if (off > Size || bytes > Size - off) return false;
    }
    auto scalar = [&](uint64_t& v) {
      if (n != 1 || (type != 1 && type != 3 && type != 4)) return false;
      v = type == 1 ? e[8] : type == 3 ? Get16(e + 8) : Get32(e + 8);
      return true;
    };
    uint64_t small = 0;
    switch (tag) {
      case 0xBC01:
        if (type != 1 || n != 16) return false;
        haveFormat = true;
        break;
      case 0xBC80: if (!(haveW = scalar(w))) return false; break;
      case 0xBC81: if (!(haveH = scalar(h))) return false; break;
      case 0xBCC0: if (!(haveOff = scalar(imgOff))) return false; break;
      case 0xBCC1: if (!(haveLen = scalar(imgLen))) return false; break;
      case 0xBCC2: if (!scalar(alphaOff)) return false; break;
      case 0xBCC3: if (!scalar(alphaLen)) return false; break;
      // The library stops the process on an orientation it does not know.
      case 0xBC02: if (!scalar(small) || small >= 8) return false; break;
      default: break;
    }
  }
  if (!haveFormat || !haveW || !haveH || !haveOff || !haveLen) return false;
  if (w == 0 || h == 0 || w > 0x7FFFFFF0 || h > 0x7FFFFFF0) return false;
  if (imgLen == 0 || imgOff > Size || imgLen > Size - imgOff) return false;
  if (alphaLen && alphaOff > Size) return false;
  // jxrlib's own encoder stores the end of the file as the alpha plane's byte count: take what the file holds.
  if (alphaLen > Size - alphaOff) alphaLen = Size - alphaOff;
  const uint64_t pixels = w * h;
  if (pixels > kMaxPixels || pixels / kPixelsPerCodedByte > imgLen + alphaLen) return false;
  Width = int32_t(w);
  Height = int32_t(h);
  return true;
}


namespace {

// The library stops or crashes the process on some damaged data, so every look at a file's coded data
// runs in a child process. The child writes what it found into memory shared with us and reports success
// by its exit status; a child that dies or runs too long is a file we cannot read.
class TSharedBlock {
 public:
  explicit TSharedBlock(size_t Size) : FSize(std::max<size_t>(Size, 1)) {
    void* p = mmap(nullptr, FSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    FData = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
  }
  ~TSharedBlock() {
    if (FData) munmap(FData, FSize);
  }
  TSharedBlock(const TSharedBlock&) = delete;
  TSharedBlock& operator=(const TSharedBlock&) = delete;
  uint8_t* Data() const { return FData; }

 private:
  size_t FSize;
  uint8_t* FData = nullptr;
};

}  // namespace

unsigned QxHdpChildSeconds(int64_t Width, int64_t Height) {
  // A few seconds a megapixel is many times what a sound file takes; a damaged one that sends the library
  // round in circles is stopped after that instead of holding the caller for minutes.
  const double megapixels = double(std::max<int64_t>(Width, 0)) * double(std::max<int64_t>(Height, 0)) / 1e6;
  return unsigned(std::min(5.0 + 3.0 * std::ceil(megapixels), 3600.0));
}

namespace {

template <typename TWork>
bool RunIsolated(unsigned Seconds, TWork&& Work) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // The child dies quietly: crash handlers of the parent (reporters, dumpers) are not for it.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, SIG_DFL);
    // The library prints remarks about unknown tags; they are no business of the program's output.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    alarm(Seconds);
    bool ok = false;
    try {
      ok = Work();
    } catch (...) {
    }
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  for (;;) {
    if (waitpid(pid, &status, 0) == pid) break;
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct TFrameInfo {
  uint32_t Frames;
  int32_t Width, Height;
  float ResX, ResY;
  GUID Guid;
  uint32_t BitsPerPixel;
};

// The library's decoder over a buffer; used only inside a child process.
struct TLibDecoder {
  WMPStream* Stream = nullptr;
  PKImageDecode* Decoder = nullptr;
  PKCodecFactory* Factory = nullptr;

  bool Open(const std::vector<uint8_t>& Data, uint32_t Frame) {
    if (PKCreateCodecFactory(&Factory, WMP_SDK_VERSION) < 0 || !Factory) return false;
    if (Factory->CreateCodec(&IID_PKImageWmpDecode, reinterpret_cast<void**>(&Decoder)) < 0 || !Decoder)
      return false;
    if (CreateWS_Memory(&Stream, const_cast<uint8_t*>(Data.data()), Data.size()) < 0) return false;
    if (Decoder->Initialize(Decoder, Stream) < 0) return false;
    // The library decodes an alpha channel, planar or interleaved, only when asked to (its own decoder
    // asks by default).
    Decoder->WMP.wmiSCP.uAlphaMode = 2;
    U32 n = 0;
    if (Decoder->GetFrameCount(Decoder, &n) < 0 || Frame >= n) return false;
    return Frame == 0 || Decoder->SelectFrame(Decoder, Frame) >= 0;
  }

  bool Info(TFrameInfo& I) {
    U32 n = 0;
    I32 w = 0, h = 0;
    Float rx = 0, ry = 0;
    if (Decoder->GetFrameCount(Decoder, &n) < 0) return false;
    if (Decoder->GetSize(Decoder, &w, &h) < 0 || w <= 0 || h <= 0) return false;
    if (Decoder->GetPixelFormat(Decoder, &I.Guid) < 0) return false;
    Decoder->GetResolution(Decoder, &rx, &ry);
    PKPixelInfo pi{};
    pi.pGUIDPixFmt = &I.Guid;
    I.BitsPerPixel = PixelFormatLookup(&pi, LOOKUP_FORWARD) < 0 ? 0 : uint32_t(pi.cbitUnit);
    I.Frames = n;
    I.Width = w;
    I.Height = h;
    I.ResX = rx;
    I.ResY = ry;
    return true;
  }
};

}  // namespace

struct TQxHdpDecoder::TImpl {
  std::vector<uint8_t> Data;
  uint32_t Frames = 0;
  uint32_t Frame = 0;
  GUID Guid{};
  uint32_t BitsPerPixel = 0;
  int32_t StatedWidth = 0, StatedHeight = 0;  // as the container says
};

TQxHdpDecoder::TQxHdpDecoder() = default;
TQxHdpDecoder::~TQxHdpDecoder() = default;

bool TQxHdpDecoder::IsOpen() const { return FImpl != nullptr; }

bool TQxHdpDecoder::Open(std::vector<uint8_t> Data) {
  FImpl.reset();
  int32_t w = 0, h = 0;
  if (!QxHdpCheckContainer(Data.data(), Data.size(), w, h)) return false;
  auto impl = std::make_unique<TImpl>();
  impl->Data = std::move(Data);
  impl->StatedWidth = w;
  impl->StatedHeight = h;
  FImpl = std::move(impl);
  if (!SelectFrame(0)) {
    FImpl.reset();
    return false;
  }
  return true;
}

uint32_t TQxHdpDecoder::FrameCount() const { return IsOpen() ? FImpl->Frames : 0; }

bool TQxHdpDecoder::SelectFrame(uint32_t Index) {
  if (!IsOpen() || (FImpl->Frames && Index >= FImpl->Frames)) return false;
  TSharedBlock shared(sizeof(TFrameInfo));
  if (!shared.Data()) return false;
  const std::vector<uint8_t>& data = FImpl->Data;
  // The frame's size is not known before this: the container's stated size sets the time.
  const bool ok = RunIsolated(QxHdpChildSeconds(FImpl->StatedWidth, FImpl->StatedHeight), [&] {
    TLibDecoder d;
    TFrameInfo info{};
    if (!d.Open(data, Index) || !d.Info(info)) return false;
    std::memcpy(shared.Data(), &info, sizeof info);
    return true;
  });
  if (!ok) return false;
  TFrameInfo info;
  std::memcpy(&info, shared.Data(), sizeof info);
  if (info.Width <= 0 || info.Height <= 0 || uint64_t(info.Width) * uint64_t(info.Height) > kMaxPixels)
    return false;
  FImpl->Frames = info.Frames;
  FImpl->Frame = Index;
  FImpl->Guid = info.Guid;
  FImpl->BitsPerPixel = info.BitsPerPixel;
  FWidth = info.Width;
  FHeight = info.Height;
  FDpiX = info.ResX;
  FDpiY = info.ResY;
  FFormat = FormatOf(info.Guid);
  return true;
}

namespace {

void ToBgr24(TQxHdpPixelFormat From, const uint8_t* S, uint8_t* D, size_t Width) {
  switch (From) {
    case TQxHdpPixelFormat::Gray8:
      for (size_t x = 0; x < Width; ++x) D[3 * x] = D[3 * x + 1] = D[3 * x + 2] = S[x];
      break;
    case TQxHdpPixelFormat::Gray16:
      for (size_t x = 0; x < Width; ++x) D[3 * x] = D[3 * x + 1] = D[3 * x + 2] = S[2 * x + 1];
      break;
    case TQxHdpPixelFormat::RGB48:
      for (size_t x = 0; x < Width; ++x) {
        D[3 * x] = S[6 * x + 5];
        D[3 * x + 1] = S[6 * x + 3];
        D[3 * x + 2] = S[6 * x + 1];
      }
      break;
    case TQxHdpPixelFormat::BGRA32:
      for (size_t x = 0; x < Width; ++x) std::memcpy(D + 3 * x, S + 4 * x, 3);
      break;
    case TQxHdpPixelFormat::CMYK32:
      for (size_t x = 0; x < Width; ++x) {
        const uint32_t k = 255u - S[4 * x + 3];
        D[3 * x] = uint8_t((255u - S[4 * x + 2]) * k / 255u);
        D[3 * x + 1] = uint8_t((255u - S[4 * x + 1]) * k / 255u);
        D[3 * x + 2] = uint8_t((255u - S[4 * x]) * k / 255u);
      }
      break;
    default: break;
  }
}

}  // namespace


bool TQxHdpDecoder::CopyPixels(TQxHdpPixelFormat Requested, std::vector<uint8_t>& Out, size_t& Stride,
                               std::vector<uint8_t>* Alpha, int32_t Reduce) {
  if (!IsOpen() || Reduce < 0 || Reduce > 4) return false;
  const int32_t w = ReducedSize(FWidth, Reduce), h = ReducedSize(FHeight, Reduce);
  const size_t W = size_t(w), H = size_t(h);
  // The library writes whole macroblock rows; leave room for the last one.
  const size_t rowsRoom = (H + 15) / 16 * 16 + 16;
  const PKRect rect{0, 0, w, h};
  const bool own = FFormat != TQxHdpPixelFormat::Other;
  if (own) {
    if (Requested != FFormat && Requested != TQxHdpPixelFormat::BGR24) return false;
    if (FFormat == TQxHdpPixelFormat::BlackWhite && Requested != FFormat) return false;
  } else if (Requested != TQxHdpPixelFormat::BGR24 || FImpl->BitsPerPixel == 0) {
    return false;
  }
  // Everything but our own formats goes through the library's converter to RGB; it converts in the
  // caller's buffer, so a row must hold the wider of the two formats.
  const size_t srcStride = own ? (RowBytesOf(W, BitsOf(FFormat)) + 3) & ~size_t(3)
                               : (std::max<size_t>(RowBytesOf(W, FImpl->BitsPerPixel), W * 3) + 15) & ~size_t(15);
  TSharedBlock shared(srcStride * rowsRoom);
  if (!shared.Data()) return false;
  const std::vector<uint8_t>& data = FImpl->Data;
  const uint32_t frame = FImpl->Frame;
  const bool ok = RunIsolated(QxHdpChildSeconds(FWidth, FHeight), [&] {
    TLibDecoder d;
    if (!d.Open(data, frame)) return false;
    if (Reduce > 0) {
      d.Decoder->WMP.wmiI.cThumbnailWidth = W;
      d.Decoder->WMP.wmiI.cThumbnailHeight = H;
    }
    if (own) return d.Decoder->Copy(d.Decoder, &rect, shared.Data(), U32(srcStride)) >= 0;
    PKFormatConverter* fc = nullptr;
    if (d.Factory->CreateFormatConverter(&fc) < 0 || !fc) return false;
    if (fc->Initialize(fc, d.Decoder, nullptr, GUID_PKPixelFormat24bppRGB) < 0) return false;
    return fc->Copy(fc, &rect, shared.Data(), U32(srcStride)) >= 0;
  });
  if (!ok) return false;
  try {
    const uint8_t* buf = shared.Data();
    if (Alpha) Alpha->clear();
    if (Alpha && FFormat == TQxHdpPixelFormat::BGRA32) {
      Alpha->resize(W * H);
      for (size_t y = 0; y < H; ++y)
        for (size_t x = 0; x < W; ++x) (*Alpha)[y * W + x] = buf[y * srcStride + 4 * x + 3];
    }
    if (own && (Requested == FFormat || FFormat == TQxHdpPixelFormat::BGR24)) {
      Out.assign(buf, buf + srcStride * H);
      Stride = srcStride;
      return true;
    }
    Stride = (W * 3 + 3) & ~size_t(3);
    Out.assign(Stride * H, 0);
    for (size_t y = 0; y < H; ++y) {
      const uint8_t* s = buf + y * srcStride;
      uint8_t* o = Out.data() + y * Stride;
      if (own) {
        ToBgr24(FFormat, s, o, W);
      } else {
        for (size_t x = 0; x < W; ++x) {
          o[3 * x] = s[3 * x + 2];
          o[3 * x + 1] = s[3 * x + 1];
          o[3 * x + 2] = s[3 * x];
        }
      }
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void TQxHdpEncoder::WriteOption(const TQxHdpOption& O) {
  const double v = O.Value;
  const std::string& n = O.Name;
  if (n == "ImageQuality" && O.Kind == TQxHdpOptionKind::Float) {
    if (v >= 0 && v <= 1) FImageQuality = float(v);
  } else if (n == "Lossless" && O.Kind == TQxHdpOptionKind::Bool) {
    FLossless = v != 0;
  } else if (n == "UseCodecOptions" && O.Kind == TQxHdpOptionKind::Bool) {
    FUseCodecOptions = v != 0;
  } else if (n == "Quality" && O.Kind == TQxHdpOptionKind::Byte) {
    if (v >= 1 && v <= 255) FQuality = int32_t(v);
  } else if (n == "Overlap" && O.Kind == TQxHdpOptionKind::Byte) {
    if (v >= 0 && v <= 2) FOverlap = int32_t(v);
  } else if (n == "Subsampling" && O.Kind == TQxHdpOptionKind::Byte) {
    if (v >= 0 && v <= 3) FSubsampling = int32_t(v);
  } else if (n == "FrequencyOrder" && O.Kind == TQxHdpOptionKind::Bool) {
    FFrequencyOrder = v != 0;
  }
}

void TQxHdpEncoder::SetSize(int32_t Width, int32_t Height) {
  FWidth = std::max(0, Width);
  FHeight = std::max(0, Height);
}

void TQxHdpEncoder::SetResolution(double DpiX, double DpiY) {
  if (DpiX > 0) FDpiX = DpiX;
  if (DpiY > 0) FDpiY = DpiY;
}

bool TQxHdpEncoder::SetPixelFormat(TQxHdpPixelFormat Format) {
  if (!GuidOf(Format)) return false;
  FFormat = Format;
  FRowBytes = RowBytesOf(size_t(FWidth), BitsOf(Format));
  FPixels.clear();
  return true;
}

void TQxHdpEncoder::WriteRow(const uint8_t* Row, size_t RowBytes) {
  if (!FRowBytes || FPixels.size() >= FRowBytes * size_t(FHeight)) return;
  const size_t at = FPixels.size();
  FPixels.resize(at + FRowBytes, 0);
  std::memcpy(FPixels.data() + at, Row, std::min(RowBytes, FRowBytes));
}

bool TQxHdpEncoder::Commit(std::vector<uint8_t>& Out) {
  Out.clear();
  const GUID* guid = GuidOf(FFormat);
  if (!guid || FWidth <= 0 || FHeight <= 0 || FPixels.size() != FRowBytes * size_t(FHeight)) return false;

  PKPixelInfo pi{};
  pi.pGUIDPixFmt = guid;
  if (PixelFormatLookup(&pi, LOOKUP_FORWARD) < 0) return false;

  CWMIStrCodecParam scp{};
  scp.bVerbose = FALSE;
  scp.bdBitDepth = BD_LONG;
  scp.bfBitstreamFormat = FFrequencyOrder ? FREQUENCY : SPATIAL;
  scp.bProgressiveMode = TRUE;
  scp.sbSubband = SB_ALL;
  scp.uAlphaMode = 0;
  scp.cChannel = pi.cChannel;
  if (pi.cfColorFormat == Y_ONLY || pi.cfColorFormat == CMYK)
    scp.cfColorFormat = pi.cfColorFormat;
  else if (FUseCodecOptions && FSubsampling < 3)
    scp.cfColorFormat = FSubsampling == 0 ? Y_ONLY : FSubsampling == 1 ? YUV_420 : YUV_422;
  else
    scp.cfColorFormat = YUV_444;
  scp.olOverlap = FUseCodecOptions ? OVERLAP(FOverlap) : OL_ONE;

  // Quantiser index: 1 codes without loss; the quality scale runs the other way.
  int32_t qp;
  if (FLossless)
    qp = 1;
  else if (FUseCodecOptions && FImageQuality < 0)
    qp = FQuality;
  else {
    const double q = FImageQuality < 0 ? 0.9 : FImageQuality;
    qp = std::clamp(1 + int32_t(std::nearbyint((1.0 - q) * 120.0)), 1, 255);
  }
  if (FLossless) scp.cfColorFormat = scp.cfColorFormat == Y_ONLY || scp.cfColorFormat == CMYK ? scp.cfColorFormat : YUV_444;
  const U8 q8 = U8(qp);
  scp.uiDefaultQPIndex = scp.uiDefaultQPIndexYLP = scp.uiDefaultQPIndexYHP = q8;
  scp.uiDefaultQPIndexU = scp.uiDefaultQPIndexULP = scp.uiDefaultQPIndexUHP = q8;
  scp.uiDefaultQPIndexV = scp.uiDefaultQPIndexVLP = scp.uiDefaultQPIndexVHP = q8;
  scp.uiDefaultQPIndexAlpha = q8;

  TGrowStream gs;
  gs.Ws.Close = GrowClose;
  gs.Ws.EOS = GrowEOS;
  gs.Ws.Read = GrowRead;
  gs.Ws.Write = GrowWrite;
  gs.Ws.SetPos = GrowSetPos;
  gs.Ws.GetPos = GrowGetPos;
  gs.Out = &Out;

  PKCodecFactory* factory = nullptr;
  PKImageEncode* enc = nullptr;
  bool ok = PKCreateCodecFactory(&factory, WMP_SDK_VERSION) >= 0 && factory &&
            factory->CreateCodec(&IID_PKImageWmpEncode, reinterpret_cast<void**>(&enc)) >= 0 && enc;
  ok = ok && enc->Initialize(enc, &gs.Ws, &scp, sizeof(scp)) >= 0;
  ok = ok && enc->SetPixelFormat(enc, *guid) >= 0;
  ok = ok && enc->SetSize(enc, FWidth, FHeight) >= 0;
  ok = ok && enc->SetResolution(enc, Float(FDpiX), Float(FDpiY)) >= 0;
  ok = ok && enc->WritePixels(enc, U32(FHeight), FPixels.data(), U32(FRowBytes)) >= 0;
  if (enc) enc->Release(&enc);
  if (factory) factory->Release(&factory);
  if (!ok) Out.clear();
  return ok && !Out.empty();
}
