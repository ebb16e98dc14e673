#include "imaging/codecs/hdp.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/hdp_jxr.h"
#include "imaging/codecs/tiff.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/jpeg_metadata.h"
#include "imaging/io/params.h"
#include "platform/base/exceptions.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

namespace {

// Larger files than this are not taken into memory for decoding.
constexpr int64_t kMaxFileBytes = int64_t(1) << 31;

[[noreturn]] void AssertionFailure() { throw Exception("Assertion failure"); }

// The rest of the stream from its position, or false when it cannot be had.
bool ReadRest(TStream* Stream, std::vector<uint8_t>& Data) {
  Data.clear();
  try {
    const int64_t pos = Stream->Position();
    int64_t want = Stream->SizeKnown() ? Stream->Size() - pos : -1;
    if (want > kMaxFileBytes) return false;
    if (want >= 0) {
      Data.resize(size_t(want));
      int64_t got = 0;
      while (got < want) {
        const int64_t n = Stream->Read(Data.data() + got, want - got);
        if (n <= 0) break;
        got += n;
      }
      Data.resize(size_t(got));
      return true;
    }
    uint8_t chunk[65536];
    for (;;) {
      const int64_t n = Stream->Read(chunk, sizeof chunk);
      if (n <= 0) return true;
      if (int64_t(Data.size()) + n > kMaxFileBytes) return false;
      Data.insert(Data.end(), chunk, chunk + n);
    }
  } catch (const std::bad_alloc&) {
    Data.clear();
    return false;
  }
}

void ReportProgress(TQxProgressInfo& Progress, int32_t Per) {
  if (Progress.Assigned()) Progress.Report(Per);
}

}  // namespace

bool WicAvailable() {
  // Asked once; every later call gets the first answer.
  static const bool available = QxHdpServiceAvailable();
  return available;
}

void QxWicWriteOption(TQxHdpEncoder& Encoder, const char* Name, double Value, uint16_t VarType) {
  TQxHdpOption o;
  o.Name = Name;
  switch (VarType) {
    case QxVT_R4:
      o.Kind = TQxHdpOptionKind::Float;
      o.Value = static_cast<float>(Value);
      break;
    case QxVT_BOOL:
      o.Kind = TQxHdpOptionKind::Bool;
      o.Value = Value != 0 ? 1 : 0;
      break;
    case QxVT_UI1:
      o.Kind = TQxHdpOptionKind::Byte;
      o.Value = static_cast<uint8_t>(static_cast<int64_t>(Value));
      break;
    case QxVT_UI2:
      o.Kind = TQxHdpOptionKind::Word;
      o.Value = static_cast<uint16_t>(static_cast<int64_t>(Value));
      break;
    default: AssertionFailure();
  }
  Encoder.WriteOption(o);
}

// ---------------------------------------------------------------- reader

TQxWICReader::TQxWICReader() : FDpiX(QxDefaultDpiX), FDpiY(QxDefaultDpiY) { FReady = WicAvailable(); }

TQxWICReader::~TQxWICReader() { Close(); }

void TQxWICReader::Close() {
  FDecoder.reset();
  FHaveFrame = false;
}

bool TQxWICReader::IsReady() const { return FReady && WicAvailable(); }

bool TQxWICReader::Open(TStream* Stream, int32_t FormatId) {
  Close();
  if (!IsReady() || !Stream || FormatId != qxffHDP) return false;
  FStream = Stream;
  FStartPosition = Stream->Position();
  std::vector<uint8_t> data;
  if (!ReadRest(Stream, data)) return false;
  auto dec = std::make_unique<TQxHdpDecoder>();
  if (!dec->Open(std::move(data))) return false;
  FDecoder = std::move(dec);
  return true;
}

int32_t TQxWICReader::FrameCount() const {
  if (!IsReady() || !FDecoder) return 0;
  return static_cast<int32_t>(std::min<uint32_t>(FDecoder->FrameCount(), INT32_MAX));
}

int32_t TQxWICReader::FrameWidth() const { return FHaveFrame ? FDecoder->Width() : 0; }
int32_t TQxWICReader::FrameHeight() const { return FHaveFrame ? FDecoder->Height() : 0; }

bool TQxWICReader::CopyFrameTo(TQxBitmap* Bitmap, bool Native, bool Thumbnail) {
  using F = TQxHdpPixelFormat;
  using P = TQxPixelFormat;
  F want = F::BGR24;
  P fmt = P::qx24RGB;
  switch (FDecoder->SourceFormat()) {
    case F::BlackWhite: want = F::BlackWhite; fmt = P::qx1g; break;
    case F::Gray8: if (Native) { want = F::Gray8; fmt = P::qx8g; } break;
    case F::Gray16: if (Native) { want = F::Gray16; fmt = P::qx16g; } break;
    case F::RGB48: if (Native) { want = F::RGB48; fmt = P::qxRGB48; } break;
    case F::CMYK32: if (Native) { want = F::CMYK32; fmt = P::qxCMYK; } break;
    default: break;
  }
  std::vector<uint8_t> pixels, alpha;
  size_t stride = 0;
  // The thumbnail is the frame decoded at a sixteenth of its size, which the coding holds natively.
  const int32_t reduce = Thumbnail ? 4 : 0;
  if (!FDecoder->CopyPixels(want, pixels, stride, &alpha, reduce)) return false;
  const int32_t W = TQxHdpDecoder::ReducedSize(FDecoder->Width(), reduce),
                H = TQxHdpDecoder::ReducedSize(FDecoder->Height(), reduce);
  if (!Bitmap->Allocate(W, H, fmt)) return false;
  // A frame with alpha keeps it as the alpha channel.
  if (!alpha.empty()) {
    TQxBitmap* a = Bitmap->GetAlphaChannel();
    for (int32_t y = 0; y < H; ++y) std::memcpy(a->Scanline(y), alpha.data() + size_t(y) * size_t(W), size_t(W));
    Bitmap->Opaque = false;
    a->Opaque = false;
  }
  const size_t rowLen = std::min<size_t>(size_t(Bitmap->RowLen()), stride);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* dst = Bitmap->Scanline(y);
    std::memcpy(dst, pixels.data() + size_t(y) * stride, rowLen);
    // The bitmap keeps CMYK as the complement of the ink.
    if (fmt == P::qxCMYK)
      for (size_t i = 0; i < size_t(W) * 4; ++i) dst[i] = uint8_t(255 - dst[i]);
  }
  return true;
}

void TQxWICReader::ReadFrame(int32_t Index, TQxBitmap* Bitmap, TIOParamsVals* Params, std::atomic<bool>* Aborting) {
  auto fail = [&] {
    if (Aborting) Aborting->store(true);
  };
  FHaveFrame = false;
  if (!IsReady() || !FDecoder || !Bitmap || Index < 0 || !FDecoder->SelectFrame(uint32_t(Index))) {
    fail();
    return;
  }
  if (Params && !QxPictureFits(*Params, FDecoder->Width(), FDecoder->Height(), -1, -1)) {
    fail();
    return;
  }
  FHaveFrame = true;
  if (FDecoder->DpiX() > 0) FDpiX = FDecoder->DpiX();
  if (FDecoder->DpiY() > 0) FDpiY = FDecoder->DpiY();
  const bool native = !Params || Params->NativePixelFormat;
  if (!CopyFrameTo(Bitmap, native, Params && Params->UseExifThumbnail)) {
    fail();
    return;
  }
  if (!Params) return;
  const int64_t pos = FStream->Position();
  FStream->SetPosition(FStartPosition);
  QxLoadEXIFFromTIFFStream(*FStream, *Params);
  FStream->SetPosition(pos);
  const int32_t channels = std::max(1, Bitmap->GetChannelCount());
  Params->BitsPerSample = Bitmap->BitCount() / channels;
  Params->SamplesPerPixel = channels;
  Params->OriginalWidth = FDecoder->Width();
  Params->OriginalHeight = FDecoder->Height();
  Params->Width = Bitmap->Width();
  Params->Height = Bitmap->Height();
  Params->SetDpiX(QxTruncDpi(FDpiX));
  Params->SetDpiY(QxTruncDpi(FDpiY));
}

// ---------------------------------------------------------------- writer

TQxWICWriter::TQxWICWriter() : DpiX(QxDefaultDpiX), DpiY(QxDefaultDpiY) { FReady = WicAvailable(); }

TQxWICWriter::~TQxWICWriter() {
  try {
    Close();
  } catch (...) {
  }
}

bool TQxWICWriter::Open(TStream* Stream, int32_t FormatId) {
  if (!FReady || !Stream || FormatId != qxffHDP) return false;
  FStream = Stream;
  FStartPosition = Stream->Position();
  FEncoder = std::make_unique<TQxHdpEncoder>();
  FFramePending = false;
  return true;
}

bool TQxWICWriter::WriteFrame(TQxBitmap* Bitmap, TIOParamsVals* Params) {
  if (!FEncoder || !Bitmap) return false;
  if (Params) {
    DpiX = Params->DpiX;
    DpiY = Params->DpiY;
    ImageQuality = Params->HdpImageQuality;
    Lossless = Params->HdpLossless != 0;
  }
  static const uint8_t kTiffCompression[7] = {0, 1, 2, 3, 4, 5, 6};
  TQxHdpEncoder& e = *FEncoder;
  if (ImageQuality >= 0) QxWicWriteOption(e, "ImageQuality", ImageQuality, QxVT_R4);
  if (CompressionQuality >= 0) QxWicWriteOption(e, "CompressionQuality", CompressionQuality, QxVT_R4);
  QxWicWriteOption(e, "Lossless", Lossless, QxVT_BOOL);
  if (UseCodecOptions) {
    QxWicWriteOption(e, "UseCodecOptions", 1, QxVT_BOOL);
    QxWicWriteOption(e, "Quality", Quality, QxVT_UI1);
    QxWicWriteOption(e, "Overlap", Overlap, QxVT_UI1);
    QxWicWriteOption(e, "Subsampling", Subsampling, QxVT_UI1);
  }
  QxWicWriteOption(e, "HorizontalTileSlices", HorizontalTileSlices, QxVT_UI2);
  QxWicWriteOption(e, "VerticalTileSlices", VerticalTileSlices, QxVT_UI2);
  QxWicWriteOption(e, "FrequencyOrder", FrequencyOrder, QxVT_BOOL);
  QxWicWriteOption(e, "TiffCompressionMethod", kTiffCompression[std::min<uint8_t>(TiffCompressionMethod, 6)],
                   QxVT_UI1);

  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  e.SetSize(W, H);
  e.SetResolution(DpiX, DpiY);
  TQxHdpPixelFormat fmt;
  switch (Bitmap->PixelFormat()) {
    case TQxPixelFormat::qx1g: fmt = TQxHdpPixelFormat::BlackWhite; break;
    case TQxPixelFormat::qx8g: fmt = TQxHdpPixelFormat::Gray8; break;
    case TQxPixelFormat::qx16g: fmt = TQxHdpPixelFormat::Gray16; break;
    case TQxPixelFormat::qx24RGB: fmt = TQxHdpPixelFormat::BGR24; break;
    case TQxPixelFormat::qxCMYK: fmt = TQxHdpPixelFormat::CMYK32; break;
    case TQxPixelFormat::qxRGB48: fmt = TQxHdpPixelFormat::RGB48; break;
    default: AssertionFailure();
  }
  if (W <= 0 || H <= 0 || !e.SetPixelFormat(fmt)) return false;
  const size_t rowBytes = (size_t(W) * size_t(Bitmap->BitCount()) + 7) / 8;
  std::vector<uint8_t> ink;
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* row = Bitmap->Scanline(y);
    if (fmt == TQxHdpPixelFormat::CMYK32) {
      // The bitmap holds the ink's complement; the file holds the ink, as the reader expects.
      ink.assign(row, row + rowBytes);
      for (auto& b : ink) b = uint8_t(255 - b);
      row = ink.data();
    }
    e.WriteRow(row, rowBytes);
  }
  FFramePending = true;
  return true;
}

bool TQxWICWriter::Close() {
  if (!FEncoder) return false;
  std::unique_ptr<TQxHdpEncoder> enc = std::move(FEncoder);
  if (!FFramePending) return false;
  FFramePending = false;
  std::vector<uint8_t> out;
  if (!enc->Commit(out)) return false;
  FStream->SetPosition(FStartPosition);
  return FStream->Write(out.data(), int64_t(out.size())) == int64_t(out.size());
}

// ---------------------------------------------------------------- entries

void ReadHDPStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress, bool) {
  ReportProgress(Progress, 0);
  {
    TQxWICReader reader;
    if (!reader.Open(Stream, qxffHDP)) {
      Progress.Abort();
    } else {
      reader.ReadFrame(Params.ImageIndex, Bitmap, &Params, Progress.AbortFlag);
    }
  }
  ReportProgress(Progress, 100);
}

void WriteHDPStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress) {
  if (!WicAvailable() || !Stream || !Bitmap) {
    Progress.Abort();
    return;
  }
  ReportProgress(Progress, 0);
  const int64_t at = Stream->Position();
  bool ok = false;
  {
    TQxWICWriter writer;
    if (writer.Open(Stream, qxffHDP) && writer.WriteFrame(Bitmap, &Params)) ok = writer.Close();
  }
  // A picture the encoder refused leaves nothing behind; say so rather than report a save.
  if (!ok) {
    Progress.Abort();
  } else {
    // The descriptive and EXIF tags go into the container's directory.
    Stream->SetPosition(at);
    CopyTiffExifTags(Stream, Stream, std::string(), std::string(), 0, Params);
  }
  ReportProgress(Progress, 100);
}

int32_t HDPFrameCount(const char* FileName) {
  if (!WicAvailable() || !FileName) return 0;
  try {
    TQxWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    TQxWICReader reader;
    if (!reader.Open(&f, qxffHDP)) return 0;
    return reader.FrameCount();
  } catch (const Exception&) {
    return 0;
  }
}

void QxRegisterHdpCodec() {
  QxCodecServices.ReadHDPStream = &ReadHDPStream;
  QxCodecServices.WriteHDPStream = &WriteHDPStream;
  QxCodecServices.HDPFrameCount = &HDPFrameCount;
  QxCodecServices.WicAvailable = &WicAvailable;
  QxCodecServices.IsHDPStream = &IsHDPStream;
}
