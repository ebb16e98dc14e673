// Parameter-only reads, memory buffers, text export and image counts of TQuillotIO.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/io_init.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/png_codec.h"
#include "imaging/io/pnm_codec.h"
#include "imaging/io/quillot_io.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

namespace {
constexpr uint16_t kOpenRead = fmOpenRead | fmShareDenyWrite;
}

void TQuillotIO::ReadParamsBody(TStream& Stream, TQxFileFormatId Format) {
  TQxProgressInfo pr = MakeProgress(false);
  std::unique_ptr<TQxMask> mask;
  TQxBitmap scratch;
  TQxBitmap& bmp = FWorkBitmap ? *FWorkBitmap : scratch;
  switch (Format) {
    case qxffJPEG:
      ReadJpegStream(&Stream, nullptr, &bmp, *Params, pr, true, false, true, false, true, true, -1,
                     Params->NativePixelFormat != 0);
      break;
    case qxffBMP:
      ReadBmpStream(Stream, bmp, static_cast<int32_t>(std::min<int64_t>(Stream.Size(), 0x7FFFFFFF)), *Params, pr,
                    true, false, mask, true);
      break;
    case qxffICO: ReadIcoStream(Stream, bmp, *Params, true, pr, mask, true); break;
    case qxffCUR: ReadCurStream(Stream, bmp, *Params, true, pr, mask, true); break;
    case qxffPNG: ReadPngStream(Stream, bmp, *Params, pr, true); break;
    case qxffPXM: ReadPxmStream(Stream, bmp, *Params, true, pr); break;
    case qxffWBMP: ReadWbmpStream(Stream, bmp, *Params, true, pr); break;
    case qxffWMF:
    case qxffEMF: ReadMetafileParams(Stream); break;
    case qxffTIFF:
      if (QxCodecServices.ReadTiffStream) {
        int32_t pages = 0;
        TQxMask* m = nullptr;
        QxCodecServices.ReadTiffStream(&bmp, &Stream, pages, *Params, pr, true, m, true, true, false);
        delete m;
      } else {
        Aborting = true;
      }
      break;
    case qxffGIF:
      if (QxCodecServices.ReadGifStream) {
        int32_t frames = 0;
        TQxMask* m = nullptr;
        QxCodecServices.ReadGifStream(&Stream, &bmp, frames, *Params, pr, true, m, true);
        delete m;
      } else {
        Aborting = true;
      }
      break;
    case qxffPCX:
      if (QxCodecServices.ReadPcxStream)
        QxCodecServices.ReadPcxStream(&Stream, &bmp, *Params, Stream.Size(), pr, true);
      else
        Aborting = true;
      break;
    case qxffTGA:
      if (QxCodecServices.ReadTgaStream) {
        TQxMask* m = nullptr;
        QxCodecServices.ReadTgaStream(&Stream, &bmp, *Params, pr, true, m, true);
        delete m;
      } else {
        Aborting = true;
      }
      break;
    case qxffJP2:
    case qxffJ2K:
      if (QxCodecServices.ReadJpeg2000Stream)
        QxCodecServices.ReadJpeg2000Stream(&Stream, &bmp, *Params, pr, true);
      else
        Aborting = true;
      break;
    case qxffDCX:
      if (QxCodecServices.ReadDcxStream)
        QxCodecServices.ReadDcxStream(&Stream, &bmp, *Params, pr, true);
      else
        Aborting = true;
      break;
    case qxffRAW:
      if (QxCodecServices.ReadCameraRawStream)
        QxCodecServices.ReadCameraRawStream(&Stream, &bmp, *Params, pr, true);
      else
        Aborting = true;
      break;
    case qxffHDP:
      if (QxCodecServices.ReadHDPStream)
        QxCodecServices.ReadHDPStream(&Stream, &bmp, *Params, pr, true);
      else
        Aborting = true;
      break;
    case qxffPSD:
      if (QxCodecServices.ReadPsdStream)
        QxCodecServices.ReadPsdStream(&Stream, nullptr, *Params, pr, false, nullptr);
      else
        Aborting = true;
      break;
    case qxffDICOM:
      if (QxCodecServices.ReadDicomStream)
        QxCodecServices.ReadDicomStream(&Stream, *Params, &bmp, pr, true);
      else
        Aborting = true;
      break;
    default: {
      TQxIOFormatHandler& h = QxIOFormatHandler(Format);
      if (h.ReadParams) {
        h.ReadParams(*this, Stream);
      } else if (TQxFileFormatInfo* e = QxFileFormatByType(Format)) {
        if (!e->IsBuiltIn && e->ReadRoutine) e->ReadRoutine(Stream, bmp, *Params, pr, true);
        else if (e->IsBuiltIn) Aborting = true;  // no reader for it in this library yet
      } else {
        Aborting = true;
      }
      break;
    }
  }
}

void TQuillotIO::ReadParamsFromFile(const std::string& FileName) {
  try {
    ReadParamsFromFileAs(FileName, QxFindFileFormat(FileName, true));
  } catch (...) {
    Params->FileType = 0;
  }
}

void TQuillotIO::ReadParamsFromFileAs(const std::string& FileName, int32_t FileType) {
  Params->FileType = FileType;
  try {
    Params->ResetInfo();
    Aborting = true;
    TQxWideFileStream f(FileName, kOpenRead);
    TQxBufferedReadStream b(&f, 8192, QxBufferedReadRelative);
    Aborting = false;
    ReadParamsBody(b, FileType);
  } catch (...) {
    Params->FileType = 0;
  }
  if (Aborting) Params->FileType = 0;
  Params->FileName = FileName;
  DoFinishWork();
}

void TQuillotIO::ReadParamsFromStream(TStream& Stream) {
  try {
    ReadParamsFromStreamAs(Stream, QxFindStreamFormat(Stream));
  } catch (...) {
    Params->FileType = 0;
  }
}

void TQuillotIO::ReadParamsFromStreamAs(TStream& Stream, int32_t FileType) {
  Params->FileType = FileType;
  try {
    Aborting = false;
    Params->ResetInfo();
    TQxBufferedReadStream b(&Stream, 8192, QxBufferedReadRelative);
    ReadParamsBody(b, FileType);
  } catch (...) {
    Params->FileType = 0;
  }
  if (Aborting) Params->FileType = 0;
  DoFinishWork();
}

void TQuillotIO::LoadFromBuffer(const void* Buffer, int32_t BufferSize, int32_t FileType) {
  if (!Buffer || BufferSize <= 0) {
    Aborting = true;
    return;
  }
  if (!FOwnsBitmap && AsyncMode && !IsInsideIOThread()) {
    // The worker outlives this call: it reads from its own copy of the block, kept alive until it ends.
    auto data = std::make_shared<std::vector<uint8_t>>(static_cast<const uint8_t*>(Buffer),
                                                       static_cast<const uint8_t*>(Buffer) + BufferSize);
    RunAsync([this, data, FileType] {
      TQxMemStream s(data->data(), static_cast<int64_t>(data->size()));
      if (FileType != 0)
        LoadFromStreamAs(s, FileType);
      else
        LoadFromStream(s);
    });
    return;
  }
  TQxMemStream s(Buffer, BufferSize);
  if (FileType != 0)
    LoadFromStreamAs(s, FileType);
  else
    LoadFromStream(s);
}

void TQuillotIO::ReadParamsFromBuffer(const void* Buffer, int32_t BufferSize, int32_t FileType) {
  if (!Buffer || BufferSize <= 0) {
    Aborting = true;
    return;
  }
  TQxMemStream s(Buffer, BufferSize);
  if (FileType != 0)
    ReadParamsFromStreamAs(s, FileType);
  else
    ReadParamsFromStream(s);
}

void TQuillotIO::SaveToText(const std::string& FileName, int32_t FileType, uint8_t TextFormat) {
  TQxWideFileStream out(FileName, fmCreate);
  const std::string eol = "\n";
  auto line = [&](const std::string& s) {
    std::string t = s + eol;
    out.WriteBuffer(t.data(), static_cast<int64_t>(t.size()));
  };
  std::string ident = FileName;
  if (size_t dot = ident.find('.'); dot != std::string::npos) ident[dot] = '_';
  const std::string sizeName = ident + "_Size";
  auto hex2 = [](uint8_t b) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", b);
    return std::string(buf);
  };
  if (TextFormat <= 2) {
    TMemoryStream ms;
    SaveToStream(ms, FileType);
    const int64_t S = ms.Size();
    const auto* d = static_cast<const uint8_t*>(ms.Memory());
    if (TextFormat == 0) {
      line("const");
      line("  " + sizeName + " = " + std::to_string(S) + ";");
      line("  " + ident + " : array [0.." + sizeName + "-1] of byte = (");
      std::string cur;
      // An empty stream still closes the constant.
      for (int64_t i = 0; i + 1 < S; ++i) {
        cur += "$" + hex2(d[i]) + ",";
        if (cur.size() > 70) {
          line("    " + cur);
          cur.clear();
        }
      }
      line("    " + cur + (S > 0 ? "$" + hex2(d[S - 1]) : std::string()) + ");");
    } else if (TextFormat == 1) {
      line("\\\\ Size=" + std::to_string(S));
      std::string cur;
      for (int64_t i = 0; i + 1 < S; ++i) {
        cur += "0x" + hex2(d[i]) + ",";
        if (cur.size() > 70) {
          line(cur);
          cur.clear();
        }
      }
      if (S > 0) line(cur + "0x" + hex2(d[S - 1]));
      else if (!cur.empty()) line(cur);
    } else {
      std::string text;
      ms.SetPosition(0);
      QxBase64EncodeStream(&ms, text, 76);
      out.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
      if (!text.empty() && text.back() != '\n') line("");
    }
  } else if (TextFormat == 3) {
    if (MakeConsistentBitmap({TQxPixelFormat::qx24RGB})) {
      static const char kChars[] = "W@#*+:., ";
      const int32_t w = FWorkBitmap->Width(), h = FWorkBitmap->Height();
      std::string row;
      for (int32_t y = 0; y < h; ++y) {
        row.assign(static_cast<size_t>(w), ' ');
        const uint8_t* p = FWorkBitmap->Scanline(y);
        for (int32_t x = 0; x < w; ++x) {
          int32_t g = (p[x * 3 + 2] * 21 + p[x * 3 + 1] * 71 + p[x * 3] * 8) / 100;
          int32_t idx = std::min<int32_t>(8, static_cast<int32_t>(Trunc(g / 255.0 * 9)));
          row[static_cast<size_t>(x)] = kChars[idx];
        }
        line(row);
      }
    }
  }
  Params->FileName = FileName;
}

int32_t QxFileTypeByExtension(const std::string& Extension) {
  TQxFileFormatInfo* e = QxFileFormatByExtension(QxLowerText(Extension));
  return e ? e->FormatId : 0;
}

int32_t QxIcoFileImageCount(const std::string& FileName) {
  try {
    TQxWideFileStream f(FileName, kOpenRead);
    return IcoImageCountStream(f);
  } catch (...) {
    return 0;
  }
}

int32_t QxGifFileFrameCount(const std::string& FileName) {
  try {
    auto& cs = QxCodecServices;
    return cs.GifRemoveFrame ? std::max(0, cs.GifRemoveFrame(FileName.c_str(), -1, false)) : 0;
  } catch (...) {
    return 0;
  }
}

int32_t QxTiffFilePageCount(const std::string& FileName) {
  try {
    TQxWideFileStream f(FileName, kOpenRead);
    return std::max(0, QxCount(QxCodecServices.TiffPageCount, &f));
  } catch (...) {
    return 0;
  }
}

int32_t QxDcxFilePageCount(const std::string& FileName) {
  try {
    TQxWideFileStream f(FileName, kOpenRead);
    return std::max(0, QxCount(QxCodecServices.DcxPageCount, &f));
  } catch (...) {
    return 0;
  }
}

int32_t QxImageCount(const std::string& FileName) {
  TQxFileFormatInfo* e = QxFileFormatByExtension(QxLowerFileExtW(FileName, true));
  if (e && e->FormatId != 0 && e->FormatId != qxffAVI) {
    auto& cs = QxCodecServices;
    switch (e->FormatId) {
      case qxffICO: return QxIcoFileImageCount(FileName);
      case qxffTIFF: return QxTiffFilePageCount(FileName);
      case qxffDCX: return QxDcxFilePageCount(FileName);
      case qxffGIF: return QxGifFileFrameCount(FileName);
      case qxffDICOM: return cs.DicomFrameCount ? cs.DicomFrameCount(FileName.c_str()) : 0;
      case qxffHDP: return cs.HDPFrameCount ? cs.HDPFrameCount(FileName.c_str()) : 0;
      default: return 1;
    }
  }
  // Anything else is taken for a video: its frame count, 0 when the media libraries cannot read it.
  TQuillotIO Video;
  const int32_t N = Video.OpenMediaFile(FileName);
  Video.CloseMediaFile();
  return N;
}
