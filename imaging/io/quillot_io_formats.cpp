// The per-format load and save members of TQuillotIO and the dispatchers above them.
#include <algorithm>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/io_init.h"
#include "imaging/io/url_download.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/png_codec.h"
#include "imaging/io/ps_pdf.h"
#include "imaging/io/pnm_codec.h"
#include "imaging/io/quillot_io.h"
#include "imaging/io/url_download.h"
#include "imaging/io/raw_pixels.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

namespace {

constexpr uint16_t kOpenRead = fmOpenRead | fmShareDenyWrite;

TQxRGB IoColorToRGB(TColor c) { return TQxRGB{uint8_t((c >> 16) & 0xFF), uint8_t((c >> 8) & 0xFF), uint8_t(c & 0xFF)}; }
TColor IoRGBToColor(TQxRGB c) { return TColor(c.r | (c.g << 8) | (c.b << 16)); }

bool ExtIn(const std::string& e, std::initializer_list<const char*> list) {
  for (const char* x : list)
    if (e == x) return true;
  return false;
}

// The 12-byte block some stream members put in front of the image: tag, 0, reserved, data length.
struct TStreamHeader {
  uint8_t Bytes[12] = {0};
  bool Read(TStream& S) { return S.Read(Bytes, 12) == 12; }
  bool Is(const char* Tag) const { return std::memcmp(Bytes, Tag, 4) == 0 && Bytes[4] == 0; }
  uint32_t Length() const {
    return uint32_t(Bytes[8]) | (uint32_t(Bytes[9]) << 8) | (uint32_t(Bytes[10]) << 16) | (uint32_t(Bytes[11]) << 24);
  }
};

void WriteStreamHeader(TStream& S, int64_t HeaderPos, const char* Tag) {
  int64_t end = S.Position();
  uint8_t h[12] = {0};
  std::memcpy(h, Tag, std::min<size_t>(4, std::strlen(Tag)));
  uint32_t len = static_cast<uint32_t>(end - HeaderPos - 12);
  h[8] = uint8_t(len);
  h[9] = uint8_t(len >> 8);
  h[10] = uint8_t(len >> 16);
  h[11] = uint8_t(len >> 24);
  S.SetPosition(HeaderPos);
  S.WriteBuffer(h, 12);
  S.SetPosition(end);
}

}  // namespace

// ============================================================ generic member bodies

void TQuillotIO::LoadBody(TStream& Stream, TQxFileFormatId Format, const std::string& FileName, TLoadSteps Steps,
                          const TLoadCodec& Codec) {
  try {
    Aborting = false;
    TQxProgressInfo pr = MakeProgress();
    if (Steps.PngBackground) Params->PngBackground = IoColorToRGB(Background());
    FWorkBitmap->RemoveAlphaChannel(false, 0xFFFFFF);
    std::unique_ptr<TQxMask> mask;
    Codec(Stream, pr, mask);
    if (mask) FWorkBitmap->GetAlphaChannel()->AlphaFromMask(mask.get());
    if (Steps.DefaultDpi) ApplyDefaultDpi();
    if (Steps.Adjust && AutoAdjustDPI) AdjustDPI();
    Params->FileName = FileName;
    Params->FileType = Format;
    if (Steps.ViewDpi) UpdateViewDPI();
    if (Steps.PngBackground) SetBackground(IoRGBToColor(Params->PngBackground));
    UpdateView();
  } catch (...) {
    Aborting = true;
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}

void TQuillotIO::LoadFileMember(const std::string& FileName, TQxFileFormatId Format, TLoadSteps Steps,
                                const TLoadCodec& Codec) {
  if (RunAsync([this, FileName, Format, Steps, Codec] { LoadFileMember(FileName, Format, Steps, Codec); })) return;
  Aborting = true;
  if (!MakeConsistentBitmap({})) {
    DoFinishWork();
    return;
  }
  Params->ResetInfo();
  std::unique_ptr<TQxWideFileStream> f;
  try {
    f = std::make_unique<TQxWideFileStream>(FileName, kOpenRead);
  } catch (...) {
    DoFinishWork();
    throw;
  }
  LoadBody(*f, Format, FileName, Steps, Codec);
}

void TQuillotIO::LoadStreamMember(TStream& Stream, TQxFileFormatId Format, TLoadSteps Steps,
                                  const TLoadCodec& Codec) {
  if (RunAsync([this, &Stream, Format, Steps, Codec] { LoadStreamMember(Stream, Format, Steps, Codec); })) return;
  Aborting = false;
  if (!MakeConsistentBitmap({})) {
    DoFinishWork();
    return;
  }
  Params->ResetInfo();
  LoadBody(Stream, Format, std::string(), Steps, Codec);
}

void TQuillotIO::ConvertForSave(TSaveConvert Convert) {
  const TQxPixelFormat f = FWorkBitmap->PixelFormat();
  bool keep = true;
  switch (Convert) {
    case TSaveConvert::None: break;
    case TSaveConvert::To24:
    case TSaveConvert::PxmStream: keep = f == TQxPixelFormat::qx24RGB || f == TQxPixelFormat::qx1g; break;
    case TSaveConvert::Pxm:
      keep = f == TQxPixelFormat::qx24RGB || f == TQxPixelFormat::qx1g || f == TQxPixelFormat::qxRGB48;
      break;
  }
  if (!keep) FWorkBitmap->SetPixelFormat(TQxPixelFormat::qx24RGB);
}

void TQuillotIO::SaveFileMember(const std::string& FileName, TQxFileFormatId Format, TSaveConvert Convert,
                                const TSaveCodec& Codec) {
  if (RunAsync([this, FileName, Format, Convert, Codec] { SaveFileMember(FileName, Format, Convert, Codec); }))
    return;
  Aborting = true;
  if (!MakeConsistentBitmap({})) {
    DoFinishWork();
    return;
  }
  std::unique_ptr<TQxWideFileStream> f;
  try {
    ConvertForSave(Convert);
    f = std::make_unique<TQxWideFileStream>(FileName, fmCreate);
  } catch (...) {
    DoFinishWork();
    throw;
  }
  try {
    Aborting = false;
    TQxProgressInfo pr = MakeProgress();
    Codec(*f, pr);
    Params->FileName = FileName;
    Params->FileType = Format;
  } catch (...) {
    Aborting = true;
    f.reset();
    DoFinishWork();
    throw;
  }
  f.reset();
  DoFinishWork();
}

void TQuillotIO::SaveStreamMember(TStream& Stream, TSaveConvert Convert, const TSaveCodec& Codec) {
  if (RunAsync([this, &Stream, Convert, Codec] { SaveStreamMember(Stream, Convert, Codec); })) return;
  Aborting = false;
  if (!MakeConsistentBitmap({})) {
    DoFinishWork();
    return;
  }
  try {
    ConvertForSave(Convert);
    TQxProgressInfo pr = MakeProgress();
    Codec(Stream, pr);
  } catch (...) {
    Aborting = true;
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}

namespace {
std::string NoReaderText(TQxFileFormatId Format) {
  return "No reader for file format " + std::to_string(Format) + " is part of the program";
}
}  // namespace

int32_t TQuillotIO::LoadStreamByHandler(TStream& Stream, TQxFileFormatId Format) {
  TQxIOFormatHandler& h = QxIOFormatHandler(Format);
  if (!h.LoadStream) {
    // The codec of this format is not part of the library yet.
    Aborting = true;
    Params->ReadError = NoReaderText(Format);
    DoFinishWork();
    return 0;
  }
  return h.LoadStream(*this, Stream);
}

int32_t TQuillotIO::LoadFileByHandler(const std::string& FileName, TQxFileFormatId Format) {
  TQxIOFormatHandler& h = QxIOFormatHandler(Format);
  if (!h.LoadStream) {
    Aborting = true;
    Params->ReadError = NoReaderText(Format);
    DoFinishWork();
    return 0;
  }
  TQxWideFileStream f(FileName, kOpenRead);
  int32_t n = h.LoadStream(*this, f);
  if (!Aborting) {
    Params->FileName = FileName;
    Params->FileType = Format;
  }
  return n;
}

void TQuillotIO::SaveStreamByHandler(TStream& Stream, TQxFileFormatId Format, TSaveConvert Convert) {
  TQxIOFormatHandler& h = QxIOFormatHandler(Format);
  if (!h.SaveStream) {
    Aborting = true;
    DoFinishWork();
    return;
  }
  SaveStreamMember(Stream, Convert, [this, &h](TStream& S, TQxProgressInfo&) { h.SaveStream(*this, S); });
}

void TQuillotIO::SaveFileByHandler(const std::string& FileName, TQxFileFormatId Format, TSaveConvert Convert) {
  TQxIOFormatHandler& h = QxIOFormatHandler(Format);
  if (!h.SaveStream) {
    // No file is touched when there is no writer.
    Aborting = true;
    DoFinishWork();
    return;
  }
  SaveFileMember(FileName, Format, Convert, [this, &h](TStream& S, TQxProgressInfo&) { h.SaveStream(*this, S); });
}

// ============================================================ per-format members

void TQuillotIO::LoadPngFile(const std::string& FileName) {
  TLoadSteps s;
  s.PngBackground = true;
  LoadFileMember(FileName, qxffPNG, s, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    ReadPngStream(S, *FWorkBitmap, *Params, P, false);
  });
}
void TQuillotIO::LoadPngStream(TStream& Stream) {
  TLoadSteps s;
  s.PngBackground = true;
  LoadStreamMember(Stream, qxffPNG, s, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    ReadPngStream(S, *FWorkBitmap, *Params, P, false);
  });
}

void TQuillotIO::LoadBmpFile(const std::string& FileName) {
  LoadFileMember(FileName, qxffBMP, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>& M) {
    ReadBmpStream(S, *FWorkBitmap, 0, *Params, P, false, false, M, !Params->BmpAlphaChannel);
  });
}
void TQuillotIO::LoadBmpStream(TStream& Stream) {
  LoadStreamMember(Stream, qxffBMP, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>& M) {
    ReadBmpStream(S, *FWorkBitmap, 0, *Params, P, false, false, M, !Params->BmpAlphaChannel);
  });
}

void TQuillotIO::LoadIcoFile(const std::string& FileName) {
  LoadFileMember(FileName, qxffICO, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>& M) {
    ReadIcoStream(S, *FWorkBitmap, *Params, false, P, M, false);
  });
}
void TQuillotIO::LoadIcoStream(TStream& Stream) {
  LoadStreamMember(Stream, qxffICO, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>& M) {
    ReadIcoStream(S, *FWorkBitmap, *Params, false, P, M, false);
  });
}

void TQuillotIO::LoadCurFile(const std::string& FileName) {
  LoadFileMember(FileName, qxffCUR, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>& M) {
    ReadCurStream(S, *FWorkBitmap, *Params, false, P, M, false);
  });
}
void TQuillotIO::LoadCurStream(TStream& Stream) {
  LoadStreamMember(Stream, qxffCUR, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>& M) {
    ReadCurStream(S, *FWorkBitmap, *Params, false, P, M, false);
  });
}

void TQuillotIO::LoadPxmFile(const std::string& FileName) {
  TLoadSteps s;
  s.ViewDpi = false;
  LoadFileMember(FileName, qxffPXM, s, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    ReadPxmStream(S, *FWorkBitmap, *Params, false, P);
  });
}
void TQuillotIO::LoadPxmStream(TStream& Stream) {
  TLoadSteps s;
  s.ViewDpi = false;
  LoadStreamMember(Stream, qxffPXM, s, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    ReadPxmStream(S, *FWorkBitmap, *Params, false, P);
  });
}

void TQuillotIO::LoadWbmpFile(const std::string& FileName) {
  TLoadSteps s;
  s.Adjust = false;
  s.ViewDpi = false;
  LoadFileMember(FileName, qxffWBMP, s, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    ReadWbmpStream(S, *FWorkBitmap, *Params, false, P);
  });
}
void TQuillotIO::LoadWbmpStream(TStream& Stream) {
  TLoadSteps s;
  s.Adjust = false;
  s.ViewDpi = false;
  LoadStreamMember(Stream, qxffWBMP, s, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    ReadWbmpStream(S, *FWorkBitmap, *Params, false, P);
  });
}

void TQuillotIO::LoadRawBitmapFile(const std::string& FileName) {
  if (FileName.empty()) return;
  TLoadSteps s;
  s.DefaultDpi = s.Adjust = s.ViewDpi = false;
  LoadFileMember(FileName, qxffRawBitmap, s, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    ReadRawPixelStream(S, *FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::LoadRawBitmapStream(TStream& Stream) {
  TLoadSteps s;
  s.DefaultDpi = s.Adjust = s.ViewDpi = false;
  LoadStreamMember(Stream, qxffRawBitmap, s, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    ReadRawPixelStream(S, *FWorkBitmap, *Params, P);
  });
}

void TQuillotIO::LoadJpegFile(const std::string& FileName) {
  LoadFileMember(FileName, qxffJPEG, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    TQxBufferedReadStream b(&S, 8192, true);
    ReadJpegStream(&b, nullptr, FWorkBitmap, *Params, P, false, false, true, false, true, true, -1,
                   Params->NativePixelFormat != 0);
  });
}
void TQuillotIO::LoadJpegStream(TStream& Stream) {
  LoadStreamMember(Stream, qxffJPEG, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    const int64_t hp = S.Position();
    TStreamHeader h;
    const bool tagged = h.Read(S) && h.Is("JFIF");
    if (!tagged) S.SetPosition(hp);
    ReadJpegStream(&S, nullptr, FWorkBitmap, *Params, P, false, false, true, false, true, true, -1,
                   Params->NativePixelFormat != 0);
    if (tagged) S.SetPosition(hp + 12 + h.Length());
  });
}

// Formats whose codecs come with the further-codecs library (reached through QxCodecServices).
namespace {
// Whether the service is there; a missing codec leaves Aborting set.
template <class Fn>
bool Have(Fn f, TQxProgressInfo& P) {
  if (f) return true;
  P.Abort();
  return false;
}
}  // namespace

int32_t TQuillotIO::LoadTiffStream(TStream& Stream) {
  if (RunAsync([this, &Stream] { LoadTiffStream(Stream); })) return -1;
  int32_t pages = 0;
  LoadStreamMember(Stream, qxffTIFF, {}, [this, &pages](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>& M) {
    int64_t hp = S.Position();
    uint32_t len = 0;
    if (StreamHeaders) {
      TStreamHeader h;
      if (!h.Read(S) || !h.Is("TIFF")) {
        P.Abort();
        return;
      }
      len = h.Length();
    }
    if (!Have(QxCodecServices.ReadTiffStream, P)) return;
    TQxBufferedReadStream b(&S, 8192, QxBufferedReadRelative);
    TQxMask* mask = nullptr;
    QxCodecServices.ReadTiffStream(FWorkBitmap, &b, pages, *Params, P, false, mask, !StreamHeaders, false, false);
    M.reset(mask);
    if (StreamHeaders) S.SetPosition(hp + 12 + len);
  });
  return pages;
}
int32_t TQuillotIO::LoadTiffFile(const std::string& FileName) {
  if (RunAsync([this, FileName] { LoadTiffFile(FileName); })) return -1;
  int32_t pages = 0;
  LoadFileMember(FileName, qxffTIFF, {}, [this, &pages](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>& M) {
    if (!Have(QxCodecServices.ReadTiffStream, P)) return;
    TQxBufferedReadStream b(&S, 8192, QxBufferedReadRelative);
    TQxMask* mask = nullptr;
    QxCodecServices.ReadTiffStream(FWorkBitmap, &b, pages, *Params, P, false, mask, true, false, false);
    M.reset(mask);
  });
  return pages;
}

int32_t TQuillotIO::LoadGifStream(TStream& Stream) {
  if (RunAsync([this, &Stream] { LoadGifStream(Stream); })) return -1;
  int32_t frames = 0;
  TLoadSteps steps;
  steps.ViewDpi = false;
  LoadStreamMember(Stream, qxffGIF, steps, [this, &frames](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    if (!Have(QxCodecServices.ReadGifStream, P)) return;
    TIOParamsVals& Pa = *Params;
    const int64_t start = S.Position();
    const int32_t target = Pa.GifImageIndex;
    TQxProgressInfo quiet;
    quiet.AbortFlag = P.AbortFlag;
    TQxBitmap canvas;
    TQxBitmap beforeFrame;  // the canvas as it was before a frame that restores it when it ends
    int32_t prevDisposal = 0;
    int32_t px = 0, py = 0, pw = 0, ph = 0;
    const TQxRGB bg = Pa.GifBackground;
    for (int32_t i = 0;; ++i) {
      auto frame = std::make_unique<TQxBitmap>();
      S.SetPosition(start);
      Pa.SetAllImageIndexes(i);
      TQxMask* mask = nullptr;
      QxCodecServices.ReadGifStream(&S, frame.get(), frames, Pa, target <= 0 ? P : quiet, false, mask, false);
      std::unique_ptr<TQxMask> m(mask);
      const TQxPixelFormat frameFormat = frame->PixelFormat();
      ApplyDefaultDpi();
      if (m) frame->GetAlphaChannel()->AlphaFromMask(m.get());
      bool composed = false;
      if (frames > 1 && !Aborting && frame->Width() > 0) {
        const int32_t W = std::max(Pa.GifWinWidth, frame->Width()), H = std::max(Pa.GifWinHeight, frame->Height());
        // The logical screen is not backed by any data: only the caller's pixel limit bounds it.
        if (!QxPictureFits(Pa, std::max(W, canvas.Width()), std::max(H, canvas.Height()), -1, -1)) {
          P.Abort();
          break;
        }
        // Columns X0..X1-1 of rows Y0..Y1-1, clipped to the canvas, become the background colour (and, when
        // Clear, transparent).
        auto fillBackground = [&canvas, bg](int64_t X0, int64_t Y0, int64_t X1, int64_t Y1, bool Clear) {
          X0 = std::max<int64_t>(X0, 0);
          Y0 = std::max<int64_t>(Y0, 0);
          X1 = std::min<int64_t>(X1, canvas.Width());
          Y1 = std::min<int64_t>(Y1, canvas.Height());
          if (X0 >= X1) return;
          TQxBitmap* a = Clear ? canvas.GetAlphaChannel() : nullptr;
          for (int64_t y = Y0; y < Y1; ++y) {
            auto* row = reinterpret_cast<TQxRGB*>(canvas.Scanline(int32_t(y)));
            std::fill(row + X0, row + X1, bg);
            if (a) std::memset(a->Scanline(int32_t(y)) + X0, 0, size_t(X1 - X0));
          }
        };
        if (prevDisposal == 2 && pw > 0) fillBackground(px, py, int64_t(px) + pw, int64_t(py) + ph, true);
        if (prevDisposal == 3 && !beforeFrame.IsEmpty()) canvas.AssignFrom(&beforeFrame);
        beforeFrame.FreeImage(true);
        if (canvas.IsEmpty()) {
          if (!canvas.Allocate(W, H, TQxPixelFormat::qx24RGB)) {
            P.Abort();
            break;
          }
          fillBackground(0, 0, W, H, true);
        }
        if (canvas.PixelFormat() != TQxPixelFormat::qx24RGB) canvas.SetPixelFormat(TQxPixelFormat::qx24RGB);
        if (canvas.Width() < W || canvas.Height() < H) {
          const int32_t ow = canvas.Width(), oh = canvas.Height();
          canvas.ResizeCanvas(std::max(W, ow), std::max(H, oh), 0, 255, 0, 0);
          fillBackground(ow, 0, canvas.Width(), oh, false);
          fillBackground(0, oh, canvas.Width(), canvas.Height(), false);
        }
        TQxBitmap f24;
        f24.AssignFrom(frame.get());
        if (f24.PixelFormat() != TQxPixelFormat::qx24RGB) f24.SetPixelFormat(TQxPixelFormat::qx24RGB);
        TQxBitmap* frameAlpha = frame->HasAlphaChannel() ? frame->GetAlphaChannel() : nullptr;
        TQxBitmap* canvasAlpha = canvas.GetAlphaChannel();
        if (Pa.GifAction == 3) beforeFrame.AssignFrom(&canvas);
        // The frame's columns that land on the canvas.
        const int32_t x0 = int32_t(std::clamp<int64_t>(-int64_t(Pa.GifXPos), 0, f24.Width()));
        const int32_t x1 = int32_t(std::clamp<int64_t>(int64_t(canvas.Width()) - Pa.GifXPos, x0, f24.Width()));
        for (int32_t y = 0; y < f24.Height(); ++y) {
          const int64_t cy = int64_t(Pa.GifYPos) + y;
          if (cy < 0 || cy >= canvas.Height()) continue;
          const auto* src = reinterpret_cast<const TQxRGB*>(f24.Scanline(y));
          const uint8_t* srcA = frameAlpha ? frameAlpha->Scanline(y) : nullptr;
          auto* dst = reinterpret_cast<TQxRGB*>(canvas.Scanline(int32_t(cy)));
          uint8_t* dstA = canvasAlpha->Scanline(int32_t(cy));
          for (int32_t x = x0; x < x1; ++x) {
            const int64_t cx = int64_t(Pa.GifXPos) + x;
            const uint8_t a = srcA ? srcA[x] : 255;
            const TQxRGB s = src[x], d = dst[cx];
            dst[cx] = TQxRGB{uint8_t((s.b * a + d.b * (255 - a)) / 255), uint8_t((s.g * a + d.g * (255 - a)) / 255),
                             uint8_t((s.r * a + d.r * (255 - a)) / 255)};
            dstA[cx] = std::max(a, dstA[cx]);
          }
        }
        canvas.GetAlphaChannel()->Opaque = false;
        px = Pa.GifXPos;
        py = Pa.GifYPos;
        pw = f24.Width();
        ph = f24.Height();
        prevDisposal = Pa.GifAction;
        Pa.GifAction = 2;
        Pa.GifXPos = Pa.GifYPos = 0;
        composed = true;
      }
      if (Aborting) break;
      if (frames > 0) {
        P.Factor = 100.0 / frames;
        FWorkBitmap->AssignFrom(composed ? &canvas : frame.get());
        if (composed && frameFormat != TQxPixelFormat::qx24RGB && frameFormat != TQxPixelFormat::qxInvalid)
          FWorkBitmap->SetPixelFormat(frameFormat);
      }
      if (target > 0 && P.Assigned()) P.Report(static_cast<int32_t>(Trunc(i * P.Factor)));
      if (Aborting || i + 1 >= frames || i >= target) break;
    }
    Pa.SetAllImageIndexes(target);
    SetBackground(Pa.GifTransparent ? TColor(Pa.GifTranspColor.r | (Pa.GifTranspColor.g << 8) | (Pa.GifTranspColor.b << 16))
                                    : TColor(bg.r | (bg.g << 8) | (bg.b << 16)));
  });
  return frames;
}
int32_t TQuillotIO::LoadGifFile(const std::string& FileName) {
  if (RunAsync([this, FileName] { LoadGifFile(FileName); })) return -1;
  std::unique_ptr<TQxWideFileStream> f;
  try {
    f = std::make_unique<TQxWideFileStream>(FileName, kOpenRead);
  } catch (...) {
    Aborting = true;
    throw;
  }
  int32_t n = LoadGifStream(*f);
  Params->FileName = FileName;
  return n;
}

namespace {
// The further codecs' plain readers: one call into the service with the component's bitmap.
}  // namespace

void TQuillotIO::LoadPcxStream(TStream& Stream) {
  LoadStreamMember(Stream, qxffPCX, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    if (!Have(QxCodecServices.ReadPcxStream, P)) return;
    int64_t size = S.Size();
    int64_t hp = S.Position();
    int64_t after = -1;
    if (StreamHeaders) {
      TStreamHeader h;
      if (!h.Read(S) || std::memcmp(h.Bytes, "PCX", 3) != 0) {
        P.Abort();
        return;
      }
      if (h.Is("PCX2")) {
        size = h.Length();
        after = hp + 12 + size;
      } else {
        S.SetPosition(hp + 4);
      }
    }
    QxCodecServices.ReadPcxStream(&S, FWorkBitmap, *Params, size, P, false);
    if (after >= 0) S.SetPosition(after);
  });
}
void TQuillotIO::LoadPcxFile(const std::string& FileName) {
  LoadFileMember(FileName, qxffPCX, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    if (Have(QxCodecServices.ReadPcxStream, P)) QxCodecServices.ReadPcxStream(&S, FWorkBitmap, *Params, S.Size(), P, false);
  });
}

#define QX_SIMPLE_LOAD(NAME, FORMAT, STEPS, CALL)                                                          \
  void TQuillotIO::Load##NAME##File(const std::string& FileName) {                                         \
    LoadFileMember(FileName, FORMAT, STEPS, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>& M) { \
      (void)M;                                                                                             \
      CALL;                                                                                                \
    });                                                                                                    \
  }                                                                                                        \
  void TQuillotIO::Load##NAME##Stream(TStream& Stream) {                                                   \
    LoadStreamMember(Stream, FORMAT, STEPS, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>& M) { \
      (void)M;                                                                                             \
      CALL;                                                                                                \
    });                                                                                                    \
  }

namespace {
TQuillotIO::TLoadSteps NoDpiSteps() {
  TQuillotIO::TLoadSteps s;
  s.DefaultDpi = s.Adjust = s.ViewDpi = false;
  return s;
}
}  // namespace

QX_SIMPLE_LOAD(Tga, qxffTGA, {}, {
  if (!Have(QxCodecServices.ReadTgaStream, P)) return;
  TQxMask* mask = nullptr;
  QxCodecServices.ReadTgaStream(&S, FWorkBitmap, *Params, P, false, mask, false);
  M.reset(mask);
})
QX_SIMPLE_LOAD(Jp2, qxffJP2, {}, {
  if (Have(QxCodecServices.ReadJpeg2000Stream, P)) QxCodecServices.ReadJpeg2000Stream(&S, FWorkBitmap, *Params, P, false);
})
QX_SIMPLE_LOAD(J2k, qxffJ2K, {}, {
  if (Have(QxCodecServices.ReadJpeg2000Stream, P)) QxCodecServices.ReadJpeg2000Stream(&S, FWorkBitmap, *Params, P, false);
})
QX_SIMPLE_LOAD(Dcx, qxffDCX, {}, {
  if (Have(QxCodecServices.ReadDcxStream, P)) QxCodecServices.ReadDcxStream(&S, FWorkBitmap, *Params, P, false);
})
QX_SIMPLE_LOAD(Hdp, qxffHDP, {}, {
  if (Have(QxCodecServices.ReadHDPStream, P)) QxCodecServices.ReadHDPStream(&S, FWorkBitmap, *Params, P, false);
})
QX_SIMPLE_LOAD(Dicom, qxffDICOM, NoDpiSteps(), {
  if (Have(QxCodecServices.ReadDicomStream, P)) QxCodecServices.ReadDicomStream(&S, *Params, FWorkBitmap, P, false);
})
void TQuillotIO::LoadPsdFile(const std::string& FileName) {
  LoadFileMember(FileName, qxffPSD, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) { ReadPsdBody(S, P); });
}
void TQuillotIO::LoadPsdStream(TStream& Stream) {
  LoadStreamMember(Stream, qxffPSD, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) { ReadPsdBody(S, P); });
}

// The merged image into the work bitmap and, as asked, the file's layers into the attached view; a single
// layer's transparency becomes the picture's alpha channel.
void TQuillotIO::ReadPsdBody(TStream& S, TQxProgressInfo& P) {
  if (!Have(QxCodecServices.ReadPsdStream, P)) return;
  const auto& Hooks = QxIOViewHooks();
  const bool IsView = FAttachedQuillot && Hooks.IsQuillotView && Hooks.IsQuillotView(FAttachedQuillot);
  if (Params->PsdLoadLayers && Params->PsdReplaceLayers && IsView && Hooks.ClearLayers) Hooks.ClearLayers(FAttachedQuillot);
  FWorkBitmap->RemoveAlphaChannel(false, 0xFFFFFF);
  // The records are layer objects of the view library: without it they are not asked for.
  TList Records;
  const bool WithRecords = Hooks.TakePsdLayers != nullptr;
  QxCodecServices.ReadPsdStream(&S, FWorkBitmap, *Params, P, Params->PsdLoadLayers != 0, WithRecords ? &Records : nullptr);
  if (WithRecords) Hooks.TakePsdLayers(IsView ? FAttachedQuillot : nullptr, Records, FWorkBitmap, *Params);
}

void TQuillotIO::LoadRawFile(const std::string& FileName) {
  std::unique_ptr<TQxWideFileStream> f;
  f = std::make_unique<TQxWideFileStream>(FileName, kOpenRead);
  LoadRawStream(*f);
  Params->FileName = FileName;
}
void TQuillotIO::LoadRawStream(TStream& Stream) {
  const int32_t id = QxFileTypeByExtension("RAW");
  if (id != qxffRAW && id != 0) {
    LoadFromStreamAs(Stream, id);
    return;
  }
  LoadStreamMember(Stream, qxffRAW, {}, [this](TStream& S, TQxProgressInfo& P, std::unique_ptr<TQxMask>&) {
    if (Have(QxCodecServices.ReadCameraRawStream, P))
      QxCodecServices.ReadCameraRawStream(&S, FWorkBitmap, *Params, P, false);
  });
}

void TQuillotIO::LoadVectorFile(const std::string& FileName, int32_t FormatId) {
  LoadFileByHandler(FileName, FormatId);
  Params->FileType = FormatId;
}
void TQuillotIO::LoadVectorStream(TStream& Stream, int32_t FormatId) {
  // Without a reader for the file the load fails; it never reports success with nothing loaded.
  LoadStreamByHandler(Stream, FormatId);
  if (!Aborting) Params->FileType = FormatId;
}

// ---- savers

namespace {

// An 8-bit alpha channel goes to the writer as it stands, also one whose rows come one at a time: the
// writer reads a picture row and its alpha row from their own bitmaps, each row once per pass. Other
// channels become a mask first. Either way the pixels are looked at, as the opaque flag may be stale.
void WritePngWithAlpha(TStream& S, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& P) {
  TQxBitmap* A = Bitmap.HasAlphaChannel() ? Bitmap.GetAlphaChannel() : nullptr;
  if (A && A->PixelFormat() == TQxPixelFormat::qx8g) {
    WritePngStream(S, Bitmap, Params, P, nullptr, A);
    return;
  }
  std::unique_ptr<TQxMask> m;
  if (A) {
    m = std::make_unique<TQxMask>();
    QxMaskFromBitmap(A, m.get());
    m->UpdateFull();
  }
  WritePngStream(S, Bitmap, Params, P, m.get());
}

}  // namespace

void TQuillotIO::SavePngFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffPNG, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    WritePngWithAlpha(S, *FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::SavePngStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    WritePngWithAlpha(S, *FWorkBitmap, *Params, P);
  });
}

void TQuillotIO::SaveBmpFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffBMP, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    WriteBmpStream(S, *FWorkBitmap, *Params, Params->BmpAlphaChannel != 0, P);
  });
}
void TQuillotIO::SaveBmpStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    WriteBmpStream(S, *FWorkBitmap, *Params, Params->BmpAlphaChannel != 0, P);
  });
}

void TQuillotIO::SavePxmFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffPXM, TSaveConvert::Pxm,
                 [this](TStream& S, TQxProgressInfo& P) { WritePxmStream(S, *FWorkBitmap, *Params, P); });
}
void TQuillotIO::SavePxmStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::PxmStream,
                   [this](TStream& S, TQxProgressInfo& P) { WritePxmStream(S, *FWorkBitmap, *Params, P); });
}

void TQuillotIO::SaveWbmpFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffWBMP, TSaveConvert::To24,
                 [this](TStream& S, TQxProgressInfo& P) { WriteWbmpStream(S, *FWorkBitmap, P); });
}
void TQuillotIO::SaveWbmpStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::To24,
                   [this](TStream& S, TQxProgressInfo& P) { WriteWbmpStream(S, *FWorkBitmap, P); });
}

namespace {
void IcoSizesOf(const TIOParamsVals& P, std::vector<TQxIcoSize>& sizes, std::vector<int32_t>& bits) {
  for (int i = 0; i < 16 && P.IcoSizes[i][0] > 0; ++i) {
    sizes.push_back({P.IcoSizes[i][0], P.IcoSizes[i][1]});
    bits.push_back(P.IcoBitCounts[i]);
  }
}
}  // namespace

void TQuillotIO::SaveIcoFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffICO, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    std::vector<TQxIcoSize> sizes;
    std::vector<int32_t> bits;
    IcoSizesOf(*Params, sizes, bits);
    WriteIcoStream(S, *FWorkBitmap, *Params, P, sizes, bits);
  });
}
void TQuillotIO::SaveIcoStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    std::vector<TQxIcoSize> sizes;
    std::vector<int32_t> bits;
    IcoSizesOf(*Params, sizes, bits);
    WriteIcoStream(S, *FWorkBitmap, *Params, P, sizes, bits);
  });
}

void TQuillotIO::SaveJpegFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffJPEG, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    QxPrepareJpegMarkers(*Params);
    WriteJpegStream(&S, FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::SaveJpegStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    const int64_t hp = S.Position();
    if (StreamHeaders) {
      uint8_t z[12] = {0};
      S.WriteBuffer(z, 12);
    }
    QxPrepareJpegMarkers(*Params);
    WriteJpegStream(&S, FWorkBitmap, *Params, P);
    if (StreamHeaders) WriteStreamHeader(S, hp, "JFIF");
  });
}

void TQuillotIO::SaveTiffFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffTIFF, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.WriteTiffStream, P)) QxCodecServices.WriteTiffStream(&S, 0, FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::SaveTiffStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    const int64_t hp = S.Position();
    if (StreamHeaders) {
      uint8_t z[12] = {0};
      S.WriteBuffer(z, 12);
    }
    if (Have(QxCodecServices.WriteTiffStream, P)) QxCodecServices.WriteTiffStream(&S, 0, FWorkBitmap, *Params, P);
    if (StreamHeaders) WriteStreamHeader(S, hp, "TIFF");
  });
}
void TQuillotIO::SaveGifFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffGIF, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.WriteGifStream, P)) QxCodecServices.WriteGifStream(&S, FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::SaveGifStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.WriteGifStream, P)) QxCodecServices.WriteGifStream(&S, FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::SavePcxFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffPCX, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.WritePcxStream, P)) QxCodecServices.WritePcxStream(&S, FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::SavePcxStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    const int64_t hp = S.Position();
    if (StreamHeaders) {
      uint8_t z[12] = {0};
      S.WriteBuffer(z, 12);
    }
    if (Have(QxCodecServices.WritePcxStream, P)) QxCodecServices.WritePcxStream(&S, FWorkBitmap, *Params, P);
    if (StreamHeaders && !Aborting) WriteStreamHeader(S, hp, "PCX2");
  });
}
void TQuillotIO::SaveDcxFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffDCX, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.InsertDcxPage, P)) QxCodecServices.InsertDcxPage(&S, FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::SaveDcxStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    S.SetSize(0);
    if (Have(QxCodecServices.InsertDcxPage, P)) QxCodecServices.InsertDcxPage(&S, FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::SaveTgaFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffTGA, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    if (!Have(QxCodecServices.WriteTgaStream, P)) return;
    std::unique_ptr<TQxMask> m;
    if (FWorkBitmap->HasAlphaChannel()) {
      m = std::make_unique<TQxMask>();
      QxMaskFromBitmap(FWorkBitmap->GetAlphaChannel(), m.get());
      m->UpdateFull();  // the opaque flag may be stale: look at the pixels
    }
    QxCodecServices.WriteTgaStream(&S, FWorkBitmap, *Params, P, m.get());
  });
}
void TQuillotIO::SaveTgaStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    if (!Have(QxCodecServices.WriteTgaStream, P)) return;
    std::unique_ptr<TQxMask> m;
    if (FWorkBitmap->HasAlphaChannel()) {
      m = std::make_unique<TQxMask>();
      QxMaskFromBitmap(FWorkBitmap->GetAlphaChannel(), m.get());
      m->UpdateFull();  // the opaque flag may be stale: look at the pixels
    }
    QxCodecServices.WriteTgaStream(&S, FWorkBitmap, *Params, P, m.get());
  });
}
void TQuillotIO::SaveJp2File(const std::string& FileName) {
  SaveFileMember(FileName, qxffJP2, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.WriteJpeg2000Stream, P)) QxCodecServices.WriteJpeg2000Stream(&S, FWorkBitmap, *Params, P, 0);
  });
}
void TQuillotIO::SaveJp2Stream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.WriteJpeg2000Stream, P)) QxCodecServices.WriteJpeg2000Stream(&S, FWorkBitmap, *Params, P, 0);
  });
}
void TQuillotIO::SaveJ2kFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffJ2K, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.WriteJpeg2000Stream, P)) QxCodecServices.WriteJpeg2000Stream(&S, FWorkBitmap, *Params, P, 1);
  });
}
void TQuillotIO::SaveJ2kStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.WriteJpeg2000Stream, P)) QxCodecServices.WriteJpeg2000Stream(&S, FWorkBitmap, *Params, P, 1);
  });
}
void TQuillotIO::SavePsFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffPS, TSaveConvert::To24,
                 [this](TStream& S, TQxProgressInfo& P) { WritePsStream(&S, FWorkBitmap, *Params, P); });
}
void TQuillotIO::SavePsStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::To24,
                   [this](TStream& S, TQxProgressInfo& P) { WritePsStream(&S, FWorkBitmap, *Params, P); });
}
void TQuillotIO::SavePdfFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffPDF, TSaveConvert::To24,
                 [this](TStream& S, TQxProgressInfo& P) { WritePdfStream(&S, FWorkBitmap, *Params, P); });
}
void TQuillotIO::SavePdfStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::To24,
                   [this](TStream& S, TQxProgressInfo& P) { WritePdfStream(&S, FWorkBitmap, *Params, P); });
}

bool TQuillotIO::OpenPsDocument(const std::string& FileName) {
  ClosePsDocument();
  try {
    FPsStream = std::make_unique<TFileStream>(FileName, fmCreate);
  } catch (...) {
    return false;
  }
  FPsDocument = PsWriteHeader(FPsStream.get(), *Params);
  return true;
}
void TQuillotIO::AddPsPage() {
  if (!FPsDocument) return;
  SaveStreamMember(*FPsStream, TSaveConvert::To24, [this](TStream& S, TQxProgressInfo& P) {
    PsWritePage(FPsDocument.get(), &S, FWorkBitmap, P, *Params);
  });
}
void TQuillotIO::ClosePsDocument() {
  if (FPsDocument) PsWriteTrailer(std::move(FPsDocument), FPsStream.get());
  FPsStream.reset();
}
bool TQuillotIO::OpenPdfDocument(const std::string& FileName) {
  ClosePdfDocument();
  try {
    FPdfStream = std::make_unique<TFileStream>(FileName, fmCreate);
  } catch (...) {
    return false;
  }
  FPdfDocument = PdfCreateDocument();
  return true;
}
void TQuillotIO::AddPdfPage() {
  if (!FPdfDocument) return;
  SaveStreamMember(*FPdfStream, TSaveConvert::To24, [this](TStream&, TQxProgressInfo& P) {
    PdfAddImagePage(FPdfDocument.get(), FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::ClosePdfDocument() {
  if (FPdfDocument) PdfWriteTrailer(std::move(FPdfDocument), FPdfStream.get(), *Params);
  FPdfStream.reset();
}

void TQuillotIO::SavePsdFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffPSD, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) { WritePsdBody(S, P); });
}
void TQuillotIO::SavePsdStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) { WritePsdBody(S, P); });
}

// A layered view is saved whole: every layer, beside all of them composed as the merged image.
void TQuillotIO::WritePsdBody(TStream& S, TQxProgressInfo& P) {
  if (!Have(QxCodecServices.WritePsdStream, P)) return;
  const auto& Hooks = QxIOViewHooks();
  TQxBitmap Merged;
  TList Layers;
  if (FAttachedQuillot && Hooks.PsdSaveLayers && Hooks.PsdSaveLayers(FAttachedQuillot, Merged, Layers)) {
    QxCodecServices.WritePsdStream(&S, *Params, P, &Merged, &Layers);
    return;
  }
  QxCodecServices.WritePsdStream(&S, *Params, P, FWorkBitmap, nullptr);
}
void TQuillotIO::SaveHdpFile(const std::string& FileName) {
  SaveFileMember(FileName, qxffHDP, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.WriteHDPStream, P)) QxCodecServices.WriteHDPStream(&S, FWorkBitmap, *Params, P);
  });
}
void TQuillotIO::SaveHdpStream(TStream& Stream) {
  SaveStreamMember(Stream, TSaveConvert::None, [this](TStream& S, TQxProgressInfo& P) {
    if (Have(QxCodecServices.WriteHDPStream, P)) QxCodecServices.WriteHDPStream(&S, FWorkBitmap, *Params, P);
  });
}

// ============================================================ dispatchers

bool TQuillotIO::LoadBuiltInFile(const std::string& FileName, TQxFileFormatId Format, bool WithExtras) {
  switch (Format) {
    case qxffTIFF: LoadTiffFile(FileName); return true;
    case qxffGIF: LoadGifFile(FileName); return true;
    case qxffJPEG: LoadJpegFile(FileName); return true;
    case qxffPCX: LoadPcxFile(FileName); return true;
    case qxffBMP: LoadBmpFile(FileName); return true;
    case qxffICO: LoadIcoFile(FileName); return true;
    case qxffCUR: LoadCurFile(FileName); return true;
    case qxffPNG: LoadPngFile(FileName); return true;
    case qxffWMF:
    case qxffEMF: ImportMetafile(FileName, -1, -1, true); return true;
    case qxffTGA: LoadTgaFile(FileName); return true;
    case qxffPXM: LoadPxmFile(FileName); return true;
    case qxffJP2: LoadJp2File(FileName); return true;
    case qxffJ2K: LoadJ2kFile(FileName); return true;
    case qxffWBMP: LoadWbmpFile(FileName); return true;
    case qxffDCX: LoadDcxFile(FileName); return true;
    case qxffRAW: LoadRawFile(FileName); return true;
    case qxffPSD: LoadPsdFile(FileName); return true;
    case qxffVect:
    case qxffLayers:
    case qxffLayersAndObjects: LoadVectorFile(FileName, Format); return true;
    case qxffDICOM: LoadDicomFile(FileName); return true;
    case qxffHDP: LoadHdpFile(FileName); return true;
    case qxffRawBitmap:
      if (!WithExtras) return false;
      LoadRawBitmapFile(FileName);
      return true;
    default: return false;
  }
}

bool TQuillotIO::LoadBuiltInStream(TStream& Stream, TQxFileFormatId Format, bool WithExtras) {
  switch (Format) {
    case qxffTIFF: LoadTiffStream(Stream); return true;
    case qxffGIF: LoadGifStream(Stream); return true;
    case qxffJPEG: LoadJpegStream(Stream); return true;
    case qxffPCX: LoadPcxStream(Stream); return true;
    case qxffBMP: LoadBmpStream(Stream); return true;
    case qxffICO: LoadIcoStream(Stream); return true;
    case qxffCUR: LoadCurStream(Stream); return true;
    case qxffPNG: LoadPngStream(Stream); return true;
    case qxffWMF:
    case qxffEMF:
      if (WithExtras) return false;
      ImportMetafileStream(Stream, -1, -1, true);
      return true;
    case qxffTGA: LoadTgaStream(Stream); return true;
    case qxffPXM: LoadPxmStream(Stream); return true;
    case qxffJP2: LoadJp2Stream(Stream); return true;
    case qxffJ2K: LoadJ2kStream(Stream); return true;
    case qxffDCX: LoadDcxStream(Stream); return true;
    case qxffRAW: LoadRawStream(Stream); return true;
    case qxffPSD: LoadPsdStream(Stream); return true;
    case qxffVect:
    case qxffLayers:
    case qxffLayersAndObjects: LoadVectorStream(Stream, Format); return true;
    case qxffDICOM: LoadDicomStream(Stream); return true;
    case qxffHDP: LoadHdpStream(Stream); return true;
    case qxffWBMP:
      if (!WithExtras) return false;
      LoadWbmpStream(Stream);
      return true;
    case qxffRawBitmap:
      if (!WithExtras) return false;
      LoadRawBitmapStream(Stream);
      return true;
    default: return false;
  }
}

void TQuillotIO::RegistryLoadFile(const std::string& FileName, TQxFileFormatInfo* Entry, bool AsFileAs) {
  Params->FileName.clear();
  Params->FileType = 0;
  Params->ResetInfo();
  if (!Entry->ReadRoutine) {
    Aborting = true;
    DoFinishWork();
    return;
  }
  const TQxFileFormatId id = Entry->FormatId;
  if (AsFileAs) {
    if (RunAsync([this, FileName, id] { LoadFromFileAs(FileName, id); })) return;
  } else {
    if (RunAsync([this, FileName] { LoadFromFile(FileName); })) return;
  }
  Aborting = true;
  if (!MakeConsistentBitmap({})) {
    if (AsFileAs) DoFinishWork();
    return;
  }
  TQxWideFileStream f(FileName, kOpenRead);
  Aborting = false;
  TQxProgressInfo pr = MakeProgress();
  Params->FileName = FileName;
  Params->FileType = id;
  try {
    Entry->ReadRoutine(f, *FWorkBitmap, *Params, pr, false);
  } catch (...) {
    Aborting = true;
    if (AsFileAs) {
      DoFinishWork();
      throw;
    }
  }
  if (!Aborting || AsFileAs) {
    if (AutoAdjustDPI) AdjustDPI();
    UpdateViewDPI();
  }
  UpdateView();
  DoFinishWork();
}

void TQuillotIO::RegistryLoadStream(TStream& Stream, TQxFileFormatInfo* Entry, bool AsStreamAs) {
  const TQxFileFormatId id = Entry->FormatId;
  if (AsStreamAs) {
    if (RunAsync([this, &Stream, id] { LoadFromStreamAs(Stream, id); })) return;
  } else {
    if (RunAsync([this, &Stream] { LoadFromStream(Stream); })) return;
  }
  Params->ResetInfo();
  Params->FileName.clear();
  Params->FileType = 0;
  if (!Entry->ReadRoutine) {
    Aborting = true;
    DoFinishWork();
    return;
  }
  Aborting = false;
  TQxProgressInfo pr = MakeProgress();
  if (!MakeConsistentBitmap({})) {
    DoFinishWork();
    return;
  }
  Params->FileType = id;
  Entry->ReadRoutine(Stream, *FWorkBitmap, *Params, pr, false);
  if (AutoAdjustDPI) AdjustDPI();
  UpdateViewDPI();
  UpdateView();
  DoFinishWork();
}

void TQuillotIO::LoadFromFile(const std::string& FileName) {
  if (!FWorkBitmap) return;
  if (FileName.empty()) {
    Aborting = true;
    DoFinishWork();
    return;
  }
  if (QxURLKindW(FileName) != 0) {
    LoadFromURL(FileName);
    return;
  }
  const std::string ext = QxLowerFileExtW(FileName, true);
  if (ext == ".avi") {
    OpenAviFile(FileName);
    if (!Aborting) LoadAviFrame(Params->ImageIndex);
    CloseAviFile();
    Params->FileName = FileName;
    Params->FileType = qxffAVI;
    return;
  }
  TQxFileFormatInfo* e = QxFileFormatByExtension(ext);
  if (!e) {
    Aborting = true;
    DoFinishWork();
    return;
  }
  if (e->IsBuiltIn && LoadBuiltInFile(FileName, e->FormatId, false)) return;
  RegistryLoadFile(FileName, e, false);
}

void TQuillotIO::LoadFromURL(const std::string& URL) {
  if (RunAsync([this, URL] { LoadFromURL(URL); })) return;
  TMemoryStream Data;
  std::string Ext;
  Aborting = false;
  bool Got = QxDownloadURL(URL, Data, ProxyAddress, ProxyUser, ProxyPassword,
                           [this](TObject* Sender, int32_t Percent) { DoProgress(Sender, Percent); }, this, &Aborting,
                           Ext);
  if (!Got || Aborting) {
    Aborting = true;
    DoFinishWork();
    return;
  }
  Data.Seek(0, TSeekOrigin::soBeginning);
  // A body that is no picture (an error page, say) still ends the work: an asynchronous caller waits
  // for OnFinishWork.
  if (!QxFileFormatByType(QxFindStreamFormat(Data))) {
    Aborting = true;
    DoFinishWork();
    return;
  }
  Data.Seek(0, TSeekOrigin::soBeginning);
  LoadFromStream(Data);
}

void TQuillotIO::LoadFromFileDetected(const std::string& FileName) {
  TQxFileFormatId id = QxFindFileFormat(FileName, false);
  if (id != 0)
    LoadFromFileAs(FileName, id);
  else
    LoadFromFile(FileName);
}

void TQuillotIO::LoadFromFileAs(const std::string& FileName, int32_t FileType) {
  TQxFileFormatInfo* e = QxFileFormatByType(FileType);
  if (!e) {
    // Nothing can read this id: say so instead of returning silently.
    Aborting = true;
    return;
  }
  if (e->IsBuiltIn) {
    if (!LoadBuiltInFile(FileName, FileType, true)) LoadFromFile(FileName);
    return;
  }
  RegistryLoadFile(FileName, e, true);
}

void TQuillotIO::LoadFromStream(TStream& Stream) {
  const int64_t p = Stream.Position();
  TQxFileFormatId id = QxFindStreamFormat(Stream);
  TQxFileFormatInfo* e = QxFileFormatByType(id);
  if (!e) {
    Aborting = true;
    return;
  }
  Stream.SetPosition(p);
  if (e->IsBuiltIn) {
    LoadBuiltInStream(Stream, id, false);
    return;
  }
  RegistryLoadStream(Stream, e, false);
}

void TQuillotIO::LoadFromStreamAs(TStream& Stream, int32_t FileType) {
  if (FileType == 0) {
    LoadFromStream(Stream);
    return;
  }
  TQxFileFormatInfo* e = QxFileFormatByType(FileType);
  if (!e) {
    Aborting = true;
    return;
  }
  if (e->IsBuiltIn) {
    if (!LoadBuiltInStream(Stream, FileType, true)) Aborting = true;
    return;
  }
  RegistryLoadStream(Stream, e, true);
}

bool TQuillotIO::SaveBuiltInFile(const std::string& FileName, TQxFileFormatId Format) {
  switch (Format) {
    case qxffJPEG: SaveJpegFile(FileName); return true;
    case qxffJP2: SaveJp2File(FileName); return true;
    case qxffJ2K: SaveJ2kFile(FileName); return true;
    case qxffPCX: SavePcxFile(FileName); return true;
    case qxffDCX: SaveDcxFile(FileName); return true;
    case qxffGIF: SaveGifFile(FileName); return true;
    case qxffTIFF: SaveTiffFile(FileName); return true;
    case qxffPNG: SavePngFile(FileName); return true;
    case qxffBMP: SaveBmpFile(FileName); return true;
    case qxffTGA: SaveTgaFile(FileName); return true;
    case qxffPXM: SavePxmFile(FileName); return true;
    case qxffICO: SaveIcoFile(FileName); return true;
    case qxffWBMP: SaveWbmpFile(FileName); return true;
    case qxffPS: SavePsFile(FileName); return true;
    case qxffPDF: SavePdfFile(FileName); return true;
    case qxffPSD: SavePsdFile(FileName); return true;
    case qxffHDP: SaveHdpFile(FileName); return true;
    default: return false;
  }
}

void TQuillotIO::SaveToFile(const std::string& FileName) {
  if (FileName.empty()) return;
  const std::string e = QxLowerFileExtW(FileName, true);
  TQxFileFormatId id = 0;
  if (ExtIn(e, {".jpg", ".jpeg", ".jpe", ".jif"})) id = qxffJPEG;
  else if (e == ".jp2") id = qxffJP2;
  else if (ExtIn(e, {".j2k", ".jpc", ".j2c"})) id = qxffJ2K;
  else if (e == ".pcx") id = qxffPCX;
  else if (e == ".dcx") id = qxffDCX;
  else if (e == ".gif") id = qxffGIF;
  else if (ExtIn(e, {".tif", ".tiff", ".fax", ".g3f", ".g3n"})) id = qxffTIFF;
  else if (e == ".png") id = qxffPNG;
  else if (ExtIn(e, {".bmp", ".dib", ".rle"})) id = qxffBMP;
  else if (ExtIn(e, {".tga", ".targa", ".vda", ".icb", ".vst", ".win"})) id = qxffTGA;
  else if (ExtIn(e, {".pxm", ".pbm", ".pgm", ".ppm"})) id = qxffPXM;
  else if (e == ".ico") id = qxffICO;
  else if (e == ".wbmp") id = qxffWBMP;
  else if (ExtIn(e, {".ps", ".eps"})) id = qxffPS;
  else if (e == ".pdf") id = qxffPDF;
  else if (e == ".psd") id = qxffPSD;
  else if (ExtIn(e, {".hdp", ".wdp"})) id = qxffHDP;
  if (id != 0) {
    SaveBuiltInFile(FileName, id);
    return;
  }
  TQxFileFormatInfo* entry = QxFileFormatByExtension(e);
  if (!entry || !entry->WriteRoutine) {
    Aborting = true;
    return;
  }
  if (entry->IsBuiltIn) {
    // Built-in formats without a saver here (raw pixels, vector and layer files) write nothing.
    if (!SaveBuiltInFile(FileName, entry->FormatId)) Aborting = true;
    return;
  }
  if (RunAsync([this, FileName] { SaveToFile(FileName); })) return;
  Aborting = true;
  if (!MakeConsistentBitmap({})) {
    DoFinishWork();
    return;
  }
  const TQxFileFormatId fid = entry->FormatId;
  TQxWriteRoutine write = entry->WriteRoutine;
  try {
    ConvertForSave(TSaveConvert::To24);
    TQxWideFileStream f(FileName, fmCreate);
    Aborting = false;
    TQxProgressInfo pr = MakeProgress();
    Params->FileName = FileName;
    Params->FileType = fid;
    write(f, *FWorkBitmap, *Params, pr);
  } catch (...) {
    Params->FileName = FileName;
    Params->FileType = fid;
    DoFinishWork();
    throw;
  }
  Params->FileName = FileName;
  Params->FileType = fid;
  DoFinishWork();
}

bool TQuillotIO::SaveBuiltInStream(TStream& Stream, TQxFileFormatId Format) {
  switch (Format) {
    case qxffTIFF: SaveTiffStream(Stream); return true;
    case qxffGIF: SaveGifStream(Stream); return true;
    case qxffJPEG: SaveJpegStream(Stream); return true;
    case qxffPCX: SavePcxStream(Stream); return true;
    case qxffBMP: SaveBmpStream(Stream); return true;
    case qxffICO: SaveIcoStream(Stream); return true;
    case qxffPNG: SavePngStream(Stream); return true;
    case qxffTGA: SaveTgaStream(Stream); return true;
    case qxffPXM: SavePxmStream(Stream); return true;
    case qxffJP2: SaveJp2Stream(Stream); return true;
    case qxffJ2K: SaveJ2kStream(Stream); return true;
    case qxffWBMP: SaveWbmpStream(Stream); return true;
    case qxffPS: SavePsStream(Stream); return true;
    case qxffPDF: SavePdfStream(Stream); return true;
    case qxffDCX: SaveDcxStream(Stream); return true;
    case qxffPSD: SavePsdStream(Stream); return true;
    case qxffHDP: SaveHdpStream(Stream); return true;
    default: return false;
  }
}

void TQuillotIO::SaveToStream(TStream& Stream, int32_t FileType) {
  if (SaveBuiltInStream(Stream, FileType)) return;
  if (RunAsync([this, &Stream, FileType] { SaveToStream(Stream, FileType); })) return;
  TQxFileFormatInfo* e = QxFileFormatByType(FileType);
  if (!e || !e->WriteRoutine || e->IsBuiltIn) {
    Aborting = true;
    return;
  }
  Aborting = false;
  if (!MakeConsistentBitmap({})) {
    DoFinishWork();
    return;
  }
  ConvertForSave(TSaveConvert::To24);
  TQxProgressInfo pr = MakeProgress();
  Params->FileType = FileType;
  e->WriteRoutine(Stream, *FWorkBitmap, *Params, pr);
  DoFinishWork();
}
