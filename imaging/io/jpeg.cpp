#include "imaging/io/jpeg.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>
#include <csetjmp>
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/icc.h"
#include "imaging/foundation/metadata.h"
#include "imaging/io/cmyk.h"
#include "imaging/io/jpeg_metadata.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

#include "imaging/foundation/view_base.h"

namespace {

constexpr size_t kBufferSize = 65536;
constexpr long kLibraryMemoryBudget = 1L << 30;
// The first scan codes every 8x8 block with at least one bit.
constexpr double kMaxPixelsPerHuffmanByte = 64 * 8;

// ---- messages ---------------------------------------------------------------------------------------

struct TMessage {
  const char* Name;
  const char* Text;
};

// Keyed by the library's symbolic names, so that a library whose numbering differs still finds the text.
const TMessage kMessages[] = {
#include "imaging/io/jpeg_messages.inc"
};

#undef JERROR_H
#undef JMESSAGE
#define JMESSAGE(code, string) #code,
#define JCOPYRIGHT_SHORT ""
#define JVERSION ""
const char* const kLibraryNames[] = {
#include <jerror.h>
};
#undef JMESSAGE

// ---- error manager ---------------------------------------------------------------------------------

struct TJpegError {
  jpeg_error_mgr Pub;
  std::atomic<bool>* Aborting;
  jmp_buf Jump;
  long HitMarker = 0;  // warnings that entropy data stopped at a marker before its blocks were complete
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<TJpegError*>(cinfo->err);
  if (e->Aborting) e->Aborting->store(true);
  // Back to the C++ frame that made the call; no library frame ever sees an exception, and no error
  // (too few scanlines included) returns into the library.
  longjmp(e->Jump, 1);
}

void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level != -1) return;
  cinfo->err->num_warnings++;
  if (cinfo->err->msg_code == JWRN_HIT_MARKER) ++reinterpret_cast<TJpegError*>(cinfo->err)->HitMarker;
}

void JpegOutputMessage(j_common_ptr) {}
void JpegFormatMessage(j_common_ptr, char* buffer) { buffer[0] = 0; }

void JpegResetErrorMgr(j_common_ptr cinfo) {
  cinfo->err->num_warnings = 0;
  cinfo->err->msg_code = 0;
}

void InitError(TJpegError& e, std::atomic<bool>* aborting) {
  jpeg_std_error(&e.Pub);
  e.Pub.error_exit = JpegErrorExit;
  e.Pub.emit_message = JpegEmitMessage;
  e.Pub.output_message = JpegOutputMessage;
  e.Pub.format_message = JpegFormatMessage;
  e.Pub.reset_error_mgr = JpegResetErrorMgr;
  e.Aborting = aborting;
}

// Runs one library call; false when the library left through its error exit. The callable must hold
// nothing that needs destroying, since a library error leaves it by longjmp.
// Kept out of line so that setjmp lives in a frame of its own, whose only locals are its arguments.
template <class F>
[[gnu::noinline]] bool Guard(TJpegError& e, F&& f) {
  if (setjmp(e.Jump)) return false;
  f();
  return true;
}

// ---- stream source -----------------------------------------------------------------------------------

struct TJpegSource {
  jpeg_source_mgr Pub;
  TStream* Stream;
  bool StartOfFile;
  bool HitEnd;  // the data ran out and an end-of-image marker was put in its place
  long WarningsAtEnd;  // the library's warning count when that happened
  std::atomic<bool>* Aborting;
  JOCTET* Buffer;
};

void SourceInit(j_decompress_ptr cinfo) { reinterpret_cast<TJpegSource*>(cinfo->src)->StartOfFile = true; }

boolean SourceFill(j_decompress_ptr cinfo) {
  auto* s = reinterpret_cast<TJpegSource*>(cinfo->src);
  int64_t n = 0;
  try {
    n = s->Stream->Read(s->Buffer, kBufferSize);
  } catch (...) {
    n = 0;  // a failing stream ends the data like its end does
  }
  if (n <= 0) {
    if (s->StartOfFile && s->Aborting) s->Aborting->store(true);
    if (!s->HitEnd) s->WarningsAtEnd = cinfo->err->num_warnings;
    s->HitEnd = true;
    s->Buffer[0] = 0xFF;
    s->Buffer[1] = JPEG_EOI;
    n = 2;
  }
  s->Pub.next_input_byte = s->Buffer;
  s->Pub.bytes_in_buffer = size_t(n);
  s->StartOfFile = false;
  return TRUE;
}

void SourceSkip(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  auto* s = reinterpret_cast<TJpegSource*>(cinfo->src);
  size_t n = size_t(count);
  while (n > s->Pub.bytes_in_buffer) {
    n -= s->Pub.bytes_in_buffer;
    SourceFill(cinfo);
  }
  s->Pub.next_input_byte += n;
  s->Pub.bytes_in_buffer -= n;
}

void SourceTerm(j_decompress_ptr) {}

}  // namespace

void JpegSetStreamSourceManager(j_decompress_ptr cinfo, TStream* Stream, std::atomic<bool>* Aborting) {
  auto* s = reinterpret_cast<TJpegSource*>(cinfo->src);
  if (!s) {
    s = new TJpegSource{};
    s->Buffer = new JOCTET[kBufferSize];
    cinfo->src = &s->Pub;
  }
  s->Stream = Stream;
  s->Aborting = Aborting;
  s->StartOfFile = true;
  s->HitEnd = false;
  s->WarningsAtEnd = 0;
  s->Pub.init_source = SourceInit;
  s->Pub.fill_input_buffer = SourceFill;
  s->Pub.skip_input_data = SourceSkip;
  s->Pub.resync_to_restart = jpeg_resync_to_restart;
  s->Pub.term_source = SourceTerm;
  s->Pub.bytes_in_buffer = 0;
  s->Pub.next_input_byte = nullptr;
}

void JpegFreeStreamSource(j_decompress_ptr cinfo) {
  auto* s = reinterpret_cast<TJpegSource*>(cinfo->src);
  if (!s) return;
  delete[] s->Buffer;
  delete s;
  cinfo->src = nullptr;
}

namespace {

// ---- stream destination --------------------------------------------------------------------------------

struct TJpegDest {
  jpeg_destination_mgr Pub;
  TStream* Stream;
  std::atomic<bool>* Aborting;
  JOCTET* Buffer;
};

bool WriteOut(TJpegDest* d, size_t n) {
  int64_t done = 0;
  try {
    done = d->Stream->Write(d->Buffer, int64_t(n));
  } catch (...) {
    done = -1;
  }
  if (done != int64_t(n)) {
    if (d->Aborting) d->Aborting->store(true);
    return false;
  }
  return true;
}

void DestInit(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<TJpegDest*>(cinfo->dest);
  if (!d->Buffer) d->Buffer = new JOCTET[kBufferSize];
  d->Pub.next_output_byte = d->Buffer;
  d->Pub.free_in_buffer = kBufferSize;
}

boolean DestEmpty(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<TJpegDest*>(cinfo->dest);
  WriteOut(d, kBufferSize);
  d->Pub.next_output_byte = d->Buffer;
  d->Pub.free_in_buffer = kBufferSize;
  return TRUE;
}

void DestTerm(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<TJpegDest*>(cinfo->dest);
  const size_t n = kBufferSize - d->Pub.free_in_buffer;
  if (n > 0) WriteOut(d, n);
}

}  // namespace

void JpegSetStreamDest(j_compress_ptr cinfo, TStream* Stream, std::atomic<bool>* Aborting) {
  auto* d = reinterpret_cast<TJpegDest*>(cinfo->dest);
  if (!d) {
    d = new TJpegDest{};
    cinfo->dest = &d->Pub;
  }
  d->Stream = Stream;
  d->Aborting = Aborting;
  d->Pub.init_destination = DestInit;
  d->Pub.empty_output_buffer = DestEmpty;
  d->Pub.term_destination = DestTerm;
}

void JpegFreeStreamDest(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<TJpegDest*>(cinfo->dest);
  if (!d) return;
  delete[] d->Buffer;
  delete d;
  cinfo->dest = nullptr;
}

std::string QxJpegMessageText(int32_t Code) {
  if (Code < 0 || size_t(Code) >= std::size(kLibraryNames)) return "Corrupted";
  const char* name = kLibraryNames[Code];
  for (const auto& m : kMessages)
    if (std::strcmp(m.Name, name) == 0) return m.Text;
  return "Corrupted";
}

// ---- scanners ------------------------------------------------------------------------------------------

namespace {

// Byte-wise reading over a stream through a block buffer.
class TByteReader {
 public:
  explicit TByteReader(TStream* s) : FStream(s) {}
  bool Byte(uint8_t& b) {
    if (FIndex >= FFilled && !Fill()) return false;
    b = FBuf[FIndex++];
    ++FConsumed;
    return true;
  }
  bool Word(uint32_t& w) {
    uint8_t a, b;
    if (!Byte(a) || !Byte(b)) return false;
    w = uint32_t(a) << 8 | b;
    return true;
  }
  bool Skip(uint64_t n) {
    while (n > 0) {
      if (FIndex >= FFilled && !Fill()) return false;
      const uint64_t k = std::min<uint64_t>(n, FFilled - FIndex);
      FIndex += size_t(k);
      FConsumed += k;
      n -= k;
    }
    return true;
  }
  bool Bytes(uint8_t* p, size_t n) {
    while (n > 0) {
      if (FIndex >= FFilled && !Fill()) return false;
      const size_t k = std::min(n, FFilled - FIndex);
      std::memcpy(p, FBuf + FIndex, k);
      FIndex += k;
      FConsumed += k;
      p += k;
      n -= k;
    }
    return true;
  }
  uint64_t Consumed() const { return FConsumed; }

 private:
  bool Fill() {
    int64_t n = 0;
    try {
      n = FStream->Read(FBuf, sizeof(FBuf));
    } catch (...) {
      n = 0;
    }
    FIndex = 0;
    FFilled = n > 0 ? size_t(n) : 0;
    return FFilled > 0;
  }
  TStream* FStream;
  uint8_t FBuf[8192];
  size_t FIndex = 0, FFilled = 0;
  uint64_t FConsumed = 0;
};

// Restores a stream's position when it goes out of scope.
class TPositionKeeper {
 public:
  explicit TPositionKeeper(TStream* s) : FStream(s), FPos(s->Position()) {}
  ~TPositionKeeper() {
    try {
      FStream->SetPosition(FPos);
    } catch (...) {
    }
  }
  int64_t Start() const { return FPos; }

 private:
  TStream* FStream;
  int64_t FPos;
};

}  // namespace

int64_t JpegFindSOI(TStream* Stream, bool Scan) {
  if (!Stream) return -1;
  TPositionKeeper keep(Stream);
  const int64_t p = keep.Start();
  uint8_t buf[152];
  Stream->SetPosition(p);
  const int64_t n = Stream->Read(buf, Scan ? 152 : 3);
  const int64_t tries = Scan ? 150 : 1;
  for (int64_t i = 0; i < tries && i + 3 <= n; ++i)
    if (buf[i] == 0xFF && buf[i + 1] == 0xD8 && buf[i + 2] == 0xFF) return Scan ? p + i : 0;
  return -1;
}

int32_t JpegStreamLength(TStream* Stream) {
  if (!Stream) return 0;
  TPositionKeeper keep(Stream);
  TByteReader r(Stream);
  uint8_t b, c;
  while (r.Byte(b)) {
    if (b != 0xFF) continue;
    if (!r.Byte(c)) break;
    if ((c >= 0xC0 && c <= 0xCF) || (c >= 0xDA && c <= 0xFE)) {
      uint32_t len;
      if (!r.Word(len)) break;
      // A length below 2 would step backwards; it is taken as an empty segment.
      if (len > 2 && !r.Skip(len - 2)) break;
    } else if (c == 0xD9) {
      break;
    }
  }
  return int32_t(std::min<uint64_t>(r.Consumed(), INT32_MAX));
}

void ReadJpegICCProfile(TStream* Stream, TIOParamsVals& Params) {
  if (!Stream) return;
  TPositionKeeper keep(Stream);
  TByteReader r(Stream);
  std::vector<std::vector<uint8_t>> chunks(256);
  std::vector<bool> present(256, false);
  int32_t announced = -1, seen = 0;
  bool consistent = true;
  uint8_t b, c;
  while (r.Byte(b)) {
    if (b != 0xFF) continue;
    if (!r.Byte(c)) break;
    if (c <= 0xBF || (c >= 0xD0 && c <= 0xD8) || c == 0xFF) continue;
    const bool skip = c == 0xC4 || c == 0xC8 || c == 0xCC || (c >= 0xDA && c <= 0xE1) || (c >= 0xE3 && c <= 0xFE);
    if (!skip && c != 0xE2) break;  // a start of frame or the end of the image
    uint32_t len;
    if (!r.Word(len)) break;
    if (len < 2) continue;  // no body; never step backwards
    if (skip) {
      if (!r.Skip(len - 2)) break;
      continue;
    }
    std::vector<uint8_t> data(len - 2);
    if (!r.Bytes(data.data(), data.size())) break;
    if (data.size() < 12 || std::memcmp(data.data(), "ICC_PROFILE", 12) != 0) continue;
    // A chunk needs its 14-byte header; a repeated sequence number or a changing count spoils the profile.
    if (data.size() < 14) {
      consistent = false;
      continue;
    }
    const uint8_t seq = data[12], count = data[13];
    if (seq == 0 || seq > count || (announced >= 0 && count != announced) || present[seq - 1]) {
      consistent = false;
      continue;
    }
    announced = count;
    present[seq - 1] = true;
    chunks[seq - 1].assign(data.begin() + 14, data.end());
    if (++seen == announced) break;
  }
  // Only a complete set of chunks makes a profile; a gap would leave bytes of the profile unknown.
  if (!consistent || announced <= 0 || seen != announced) return;
  std::vector<uint8_t> profile;
  for (int32_t i = 0; i < announced; ++i) profile.insert(profile.end(), chunks[i].begin(), chunks[i].end());
  if (profile.empty() || profile.size() > INT32_MAX) return;
  if (TQxICC* icc = Params.GetInputICC()) icc->LoadFromBuffer(profile.data(), int32_t(profile.size()));
}

// ---- decoding -----------------------------------------------------------------------------------------------

namespace {

void Report(TQxProgressInfo& Progress, int64_t counter, double factor, int32_t& last) {
  if (!Progress.Assigned()) return;
  const int32_t per = int32_t(std::trunc(double(counter) * factor));
  if (per != last) {
    last = per;
    Progress.Report(per);
  }
}

bool IsApp1Exif(const TQxMarkerList& m, int32_t i) {
  return m.MarkerType(i) == 0xE1 && QxIsEXIFHeader(m.MarkerData(i), m.MarkerLength(i));
}

}  // namespace

int32_t ReadJpegStream(TStream* Stream, TStream* TablesStream, TQxBitmap* Bitmap, TIOParamsVals& Params,
                       TQxProgressInfo& Progress, bool ParamsOnly, bool KeepYCbCr, bool ReadMetadata,
                       bool ComplementCMYK, bool DropAppliedProfile, bool ReadICC, int32_t MaxLines,
                       bool NativeFormat) {
  if (!Stream) {
    Progress.Abort();
    return 0;
  }
  if (Params.JpegUseExifThumbnail) {
    if (Params.ExifThumbnail) Params.ExifThumbnail->FreeImage(true);
    Params.SetUseExifThumbnail(0);
    Params.JpegUseExifThumbnail = 0;  // the pass below must not come back here
    const int32_t w = Params.Width, h = Params.Height;
    const int64_t start = Stream->Position();
    ReadJpegStream(Stream, TablesStream, Bitmap, Params, Progress, true, KeepYCbCr, true, ComplementCMYK,
                   DropAppliedProfile, false, -1, Params.NativePixelFormat != 0);
    // Back to where this call began, so that data in front of the image stays skipped.
    Stream->SetPosition(start);
    Params.SetUseExifThumbnail(1);
    if (Params.ExifThumbnail && !Params.ExifThumbnail->IsEmpty()) {
      if (Bitmap) Bitmap->AssignFrom(Params.ExifThumbnail.get());
      return 0;
    }
    Params.Width = w;
    Params.Height = h;
    Params.OriginalWidth = w;
    Params.OriginalHeight = h;
  }

  Params.JpegWarningCount = 0;
  Params.JpegWarningCode = 0;
  const int64_t soi = JpegFindSOI(Stream, true);
  if (soi < 0) {
    Progress.Abort();
    return 0;
  }
  Stream->SetPosition(soi);
  if (ReadICC) ReadJpegICCProfile(Stream, Params);
  const bool managed = Params.InputICC != nullptr && QxColorManagement;
  if (!Params.JpegMarkers) Params.JpegMarkers = std::make_unique<TQxMarkerList>();

  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof(cinfo));
  TJpegError err;
  InitError(err, Progress.AbortFlag);
  cinfo.err = &err.Pub;
  int32_t delivered = 0;
  bool created = Guard(err, [&] { jpeg_create_decompress(&cinfo); });
  std::vector<uint8_t> work;
  bool tablesFailed = false;
  int tablesCode = 0;
  bool jfifUnitCm = false;
  int32_t jfifX = 0, jfifY = 0;
  bool colorConverted = false;

  auto decode = [&]() {
    if (!created || Progress.Aborting()) return;
    if (TablesStream && TablesStream != Stream) {
      JpegSetStreamSourceManager(&cinfo, TablesStream, Progress.AbortFlag);
      if (!Guard(err, [&] { jpeg_read_header(&cinfo, FALSE); })) {
        tablesFailed = true;
        tablesCode = err.Pub.msg_code;
        return;
      }
    }
    JpegSetStreamSourceManager(&cinfo, Stream, Progress.AbortFlag);
    if (Progress.Aborting()) return;
    // The library's own buffers (whole-image coefficients of progressive files) get a budget: beyond it the
    // decode fails cleanly instead of a small file claiming gigabytes.
    cinfo.mem->max_memory_to_use = kLibraryMemoryBudget;
    jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
    for (int m = 0; m < 16; ++m) jpeg_save_markers(&cinfo, JPEG_APP0 + m, 0xFFFF);
    if (!Guard(err, [&] { jpeg_read_header(&cinfo, TRUE); })) {
      Progress.Abort();
      return;
    }
    if (Progress.Aborting()) return;

    Params.SetImageCount(1);
    Params.BitsPerSample = 8;
    J_COLOR_SPACE out = cinfo.jpeg_color_space;
    switch (cinfo.jpeg_color_space) {
      case JCS_GRAYSCALE:
        Params.JpegColorSpace = 1;
        Params.SamplesPerPixel = 1;
        out = JCS_GRAYSCALE;
        break;
      case JCS_RGB:
        Params.JpegColorSpace = 0;
        Params.SamplesPerPixel = 3;
        out = JCS_EXT_BGR;
        break;
      case JCS_YCbCr:
        Params.JpegColorSpace = 2;
        Params.SamplesPerPixel = 3;
        out = JCS_EXT_BGR;
        break;
      case JCS_CMYK:
        Params.JpegColorSpace = 3;
        Params.SamplesPerPixel = 4;
        out = JCS_CMYK;
        break;
      case JCS_YCCK:
        Params.JpegColorSpace = 4;
        Params.SamplesPerPixel = 4;
        out = JCS_CMYK;
        break;
      default:
        break;
    }
    // Raw components: no colour conversion at all; an RGB-coded stream stays RGB. Four components do not
    // fit the three-byte rows a raw read fills: they take the ink conversion.
    if (KeepYCbCr && cinfo.num_components != 4) out = cinfo.jpeg_color_space;
    cinfo.out_color_space = out;
    switch (Params.JpegDCTMethod) {
      case 0: cinfo.dct_method = JDCT_ISLOW; break;
      case 1: cinfo.dct_method = JDCT_IFAST; break;
      case 2: cinfo.dct_method = JDCT_FLOAT; break;
      default: break;
    }
    jfifX = cinfo.X_density;
    jfifY = cinfo.Y_density;
    if (cinfo.density_unit == 2) {
      jfifUnitCm = true;
      jfifX = int32_t(std::trunc(cinfo.X_density * 2.54));
      jfifY = int32_t(std::trunc(cinfo.Y_density * 2.54));
    }
    if (cinfo.density_unit <= 2) {
      Params.SetDpiX(jfifX);
      Params.SetDpiY(jfifY);
    }
    Params.FreeColorMap();
    Params.JpegProgressive = jpeg_has_multiple_scans(&cinfo) ? 1 : 0;
    Params.OriginalWidth = int32_t(cinfo.image_width);
    Params.OriginalHeight = int32_t(cinfo.image_height);

    cinfo.scale_num = 1;
    switch (Params.JpegScale) {
      case 1: cinfo.scale_denom = 1; break;
      case 2: cinfo.scale_denom = 2; break;
      case 3: cinfo.scale_denom = 4; break;
      case 4: cinfo.scale_denom = 8; break;
      case 0: {
        cinfo.scale_denom = 1;
        if (Params.Width > 0 && Params.Height > 0)
          for (int n = 3; n >= 0; --n)
            if (int64_t(cinfo.image_width >> n) >= Params.Width && int64_t(cinfo.image_height >> n) >= Params.Height) {
              cinfo.scale_denom = 1u << n;
              break;
            }
        break;
      }
      default: break;
    }
    Params.JpegScaleUsed = int32_t(cinfo.scale_denom);
    if (ParamsOnly) {
      Params.Width = int32_t(cinfo.image_width);
      Params.Height = int32_t(cinfo.image_height);
      return;
    }
    if (!Guard(err, [&] { jpeg_start_decompress(&cinfo); })) {
      Progress.Abort();
      return;
    }
    if (Progress.Aborting()) return;
    const int32_t ow = int32_t(cinfo.output_width), oh = int32_t(cinfo.output_height);
    Params.Width = ow;
    Params.Height = oh;
    // Every 8x8 block of the first component costs at least one bit of Huffman data; arithmetic coding can
    // cost less, so only the pixel limit bounds it.
    const int64_t dataBytes = Stream->SizeKnown() && !cinfo.arith_code ? std::max<int64_t>(0, Stream->Size() - soi) : -1;
    if (!QxPictureFits(Params, ow, oh, -1, -1) ||
        !QxPictureFits(Params, cinfo.image_width, cinfo.image_height, dataBytes, kMaxPixelsPerHuffmanByte) ) {
      Progress.Abort();
      return;
    }
    work.resize(size_t(ow) * 4);
    if (!Bitmap) {
      Progress.Abort();
      return;
    }
    TQxPixelFormat fmt = TQxPixelFormat::qx24RGB;
    bool allocate = true;
    if (NativeFormat) {
      switch (out) {
        case JCS_GRAYSCALE: fmt = TQxPixelFormat::qx8g; break;
        case JCS_CMYK: fmt = cinfo.jpeg_color_space == JCS_YCCK ? TQxPixelFormat::qx24RGB : TQxPixelFormat::qxCMYK; break;
        case JCS_UNKNOWN: allocate = false; break;
        default: break;
      }
    }
    if (allocate && !Bitmap->Allocate(ow, oh, fmt)) {
      Progress.Abort();
      return;
    }
    if (MaxLines < 0) MaxLines = Bitmap->Height();
    const double factor = oh > 0 ? 100.0 / oh : 0;
    int32_t last = -1;
    const bool to24 = Bitmap->PixelFormat() == TQxPixelFormat::qx24RGB;
    const auto* src = reinterpret_cast<const TJpegSource*>(cinfo.src);
    const long hitMarkerBeforeRows = err.HitMarker;
    // A single scan whose data is not there at all (the file ends with the scan's header) gives rows the
    // library makes up entirely.
    const bool noScanData = !jpeg_has_multiple_scans(&cinfo) && src->Pub.bytes_in_buffer == 0 &&
                            src->Stream->Position() >= src->Stream->Size();
    while (int32_t(cinfo.output_scanline) < oh && delivered < MaxLines) {
      uint8_t* row = Bitmap->Scanline(delivered);
      JSAMPROW target = row;
      bool viaWork = false;
      switch (out) {
        case JCS_GRAYSCALE:
          viaWork = Bitmap->PixelFormat() != TQxPixelFormat::qx8g;
          break;
        case JCS_EXT_BGR:
          viaWork = managed;
          break;
        case JCS_CMYK:
          viaWork = to24;
          break;
        default:
          break;
      }
      if (viaWork) target = work.data();
      JDIMENSION got = 1;
      if (out != JCS_UNKNOWN) {
        if (!Guard(err, [&] { got = jpeg_read_scanlines(&cinfo, &target, 1); })) {
          Progress.Abort();
          break;
        }
      }
      if (viaWork) {
        switch (out) {
          case JCS_GRAYSCALE:
            for (int32_t x = 0; x < ow; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = work[x];
            break;
          case JCS_EXT_BGR:
            QxColorRowConverter(work.data(), TQxColorLayout::qxclBGR, row, TQxColorLayout::qxclBGR, ow, &Params);
            colorConverted = true;
            break;
          case JCS_CMYK:
            if (Progress.Aborting()) break;
            if (ComplementCMYK)
              for (int32_t x = 0; x < ow * 4; ++x) work[x] = uint8_t(255 - work[x]);
            QxColorRowConverter(work.data(), TQxColorLayout::qxclCMYK, row, TQxColorLayout::qxclBGR, ow, &Params);
            colorConverted = true;
            break;
          default:
            break;
        }
      }
      delivered += int32_t(got);
      Report(Progress, delivered, factor, last);
      if (Progress.Aborting()) break;
      // The entropy data stopped at a marker while blocks were still wanted (the library warned so) and no
      // restart marker can bring it back: the rest would only be filler, and a few hundred bytes claiming
      // a huge picture must not keep the decoder busy for minutes. Other warnings (stray bytes before a
      // marker) leave every row decodable, and the last rows may come after the end marker was read.
      if (cinfo.unread_marker != 0 && err.HitMarker > hitMarkerBeforeRows &&
          (cinfo.restart_interval == 0 || cinfo.unread_marker == JPEG_EOI) && !jpeg_has_multiple_scans(&cinfo)) {
        Progress.Abort();
        break;
      }
    }
    if (delivered < MaxLines) Progress.Abort();
    // Data that ran out inside the image was made up by the library (with a warning): not a whole load.
    if (src->HitEnd && err.Pub.num_warnings > src->WarningsAtEnd) Progress.Abort();
    // A file cut short keeps the rows it holds, the rest black, for a caller that shows what there is; a
    // picture of which no row could be read is no picture.
    if (allocate && (delivered == 0 || noScanData) && Progress.Aborting()) Bitmap->FreeImage(true);
  };
  decode();

  // Markers are collected whatever happened above.
  TQxMarkerList& markers = *Params.JpegMarkers;
  markers.Clear();
  if (created) {
    bool firstApp0 = true;
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
      if (m->marker == JPEG_APP0 && firstApp0) {
        firstApp0 = false;
        continue;
      }
      markers.AddMarker(uint8_t(m->marker), m->data, m->data_length);
    }
  }
  (void)colorConverted;
  if (DropAppliedProfile && managed && Params.InputICC->IsTransformReady()) {
    Params.InputICC->FreeTransform();
    for (int32_t i = markers.Count() - 1; i >= 0; --i)
      if (markers.MarkerType(i) == 0xE2) markers.Delete(i);
  }
  if (created && !Progress.Aborting() && !ParamsOnly && !tablesFailed) {
    err.Aborting = nullptr;
    Guard(err, [&] { jpeg_finish_decompress(&cinfo); });
  }
  if (created) {
    if (err.Pub.num_warnings != 0) {
      Params.JpegWarningCount = int32_t(err.Pub.num_warnings);
      Params.JpegWarningCode = err.Pub.msg_code;
    }
    JpegFreeStreamSource(&cinfo);
    jpeg_destroy_decompress(&cinfo);
  }
  if (tablesFailed) throw EQxJpegException(QxJpegMessageText(tablesCode));

  if (ReadMetadata) {
    for (int32_t i = 0; i < markers.Count(); ++i)
      if (markers.MarkerType(i) == 0xED && Params.IPTC &&
          Params.IPTC->LoadFromBuffer(markers.MarkerData(i), markers.MarkerLength(i)))
        break;
    for (int32_t i = 0; i < markers.Count(); ++i) {
      if (markers.MarkerType(i) != 0xE1 || !QxLoadEXIFFromBuffer(markers.MarkerData(i), markers.MarkerLength(i), Params))
        continue;
      // The JFIF resolution stands unless it gave only an aspect ratio; then the EXIF one, in inches.
      const double f = Params.ExifResolutionUnit == 3 ? 2.54 : 1.0;
      if (jfifX <= 1 && jfifY <= 1 && !jfifUnitCm && Params.ExifXResolution > 0 && Params.ExifYResolution > 0) {
        Params.SetDpiX(QxTruncDpi(Params.ExifXResolution * f));
        Params.SetDpiY(QxTruncDpi(Params.ExifYResolution * f));
      } else {
        Params.SetDpiX(jfifX);
        Params.SetDpiY(jfifY);
      }
      // Only decoded pixels are turned; a parameter read leaves the orientation to report, and an aborted
      // load is not worth a second copy.
      if (Params.JpegAutoOrient && !ParamsOnly && Bitmap && !Progress.Aborting()) {
        QxApplyExifOrientation(Bitmap, Params.ExifOrientation);
        Params.SetExifOrientation(1);
        Params.Width = Bitmap->Width();
        Params.Height = Bitmap->Height();
      }
      break;
    }
    for (int32_t i = 0; i < markers.Count(); ++i)
      if (markers.MarkerType(i) == 0xE1 && QxFindXMP(markers.MarkerData(i), markers.MarkerLength(i))) {
        QxLoadXMPFromBuffer(markers.MarkerData(i), markers.MarkerLength(i), Params);
        break;
      }
  }
  (void)IsApp1Exif;
  return ParamsOnly ? 0 : delivered;
}

// ---- encoding -------------------------------------------------------------------------------------------

void WriteJpegStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress) {
  if (!Stream || !Bitmap || Bitmap->Width() <= 0 || Bitmap->Height() <= 0) {
    Progress.Abort();
    return;
  }
  std::unique_ptr<TQxBitmap> copy;
  TQxBitmap* bmp = Bitmap;
  if (Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) {
    copy = std::make_unique<TQxBitmap>();
    copy->AssignFrom(Bitmap);
    copy->SetPixelFormat(TQxPixelFormat::qx24RGB);
    bmp = copy.get();
  }
  const int32_t w = bmp->Width(), h = bmp->Height();

  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof(cinfo));
  TJpegError err;
  InitError(err, Progress.AbortFlag);
  cinfo.err = &err.Pub;
  if (!Guard(err, [&] { jpeg_create_compress(&cinfo); }))
    throw EQxJpegException(QxJpegMessageText(err.Pub.msg_code));
  JpegSetStreamDest(&cinfo, Stream, Progress.AbortFlag);
  auto cleanup = [&] {
    JpegFreeStreamDest(&cinfo);
    jpeg_destroy_compress(&cinfo);
  };
  if (Progress.Aborting()) {
    cleanup();
    return;
  }

  J_COLOR_SPACE fileSpace = JCS_RGB;
  bool cmykInput = false;
  switch (Params.JpegColorSpace) {
    case 1: fileSpace = JCS_GRAYSCALE; break;
    case 2: fileSpace = JCS_YCbCr; break;
    case 3: fileSpace = JCS_CMYK; cmykInput = true; break;
    case 4: fileSpace = JCS_YCCK; cmykInput = true; break;
    default: fileSpace = JCS_RGB; break;
  }
  TQxMarkerList* markers = Params.JpegMarkers.get();
  std::vector<uint8_t> buffer(cmykInput ? size_t(w) * 4 : 0);
  const double factor = 100.0 / h;
  int32_t last = -1;

  bool ok = Guard(err, [&] {
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = cmykInput ? 4 : 3;
    cinfo.in_color_space = cmykInput ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, fileSpace);
    cinfo.density_unit = 1;
    cinfo.X_density = UINT16(std::clamp(Params.DpiX != 0 ? Params.DpiX : QxDefaultDpiX, 1, 65535));
    cinfo.Y_density = UINT16(std::clamp(Params.DpiY != 0 ? Params.DpiY : QxDefaultDpiY, 1, 65535));
    switch (Params.JpegDCTMethod) {
      case 0: cinfo.dct_method = JDCT_ISLOW; break;
      case 1: cinfo.dct_method = JDCT_IFAST; break;
      case 2: cinfo.dct_method = JDCT_FLOAT; break;
      default: break;
    }
    cinfo.optimize_coding = Params.JpegOptimalHuffman ? TRUE : FALSE;
    cinfo.smoothing_factor = std::clamp(Params.JpegSmooth, 0, 100);
    jpeg_set_quality(&cinfo, std::clamp(Params.JpegQuality, 1, 100), TRUE);
    if (fileSpace == JCS_YCbCr) {
      switch (Params.JpegSubsampling) {
        case 0: cinfo.comp_info[0].h_samp_factor = 2; cinfo.comp_info[0].v_samp_factor = 1; break;
        case 1: cinfo.comp_info[0].h_samp_factor = 2; cinfo.comp_info[0].v_samp_factor = 2; break;
        case 2: cinfo.comp_info[0].h_samp_factor = 1; cinfo.comp_info[0].v_samp_factor = 1; break;
        default: break;
      }
      for (int c = 1; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    }
    if (cmykInput) cinfo.write_Adobe_marker = TRUE;
    if (Params.JpegProgressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
  });
  if (ok && markers) {
    markers->Sort();
    for (int32_t i = 0; ok && i < markers->Count(); ++i) {
      if (markers->MarkerType(i) == 0xEE) continue;  // the library writes its own Adobe marker
      const uint8_t code = markers->MarkerType(i);
      const uint8_t* data = markers->MarkerData(i);
      const unsigned len = markers->MarkerLength(i);
      ok = Guard(err, [&] { jpeg_write_marker(&cinfo, code, data, len); });
    }
  }
  while (ok && int32_t(cinfo.next_scanline) < h) {
    uint8_t* row = bmp->Scanline(int32_t(cinfo.next_scanline));
    JSAMPROW src = row;
    if (cmykInput) {
      QxColorRowConverter(row, TQxColorLayout::qxclBGR, buffer.data(), TQxColorLayout::qxclCMYK, w, nullptr);
      src = buffer.data();
    }
    ok = Guard(err, [&] { jpeg_write_scanlines(&cinfo, &src, 1); });
    Report(Progress, cinfo.next_scanline, factor, last);
    if (Progress.Aborting()) break;
  }
  if (ok && !Progress.Aborting()) ok = Guard(err, [&] { jpeg_finish_compress(&cinfo); });
  const int code = err.Pub.msg_code;
  cleanup();
  if (!ok) throw EQxJpegException(QxJpegMessageText(code));
}

// ---- markers on save ------------------------------------------------------------------------------------

namespace {

void PutBE16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// Writes DpiX/DpiY into the Photoshop resolution resource of an APP13 body, every read inside the body.
void PatchResolution(uint8_t* d, size_t n, int32_t dpiX, int32_t dpiY) {
  static const uint8_t sig[6] = {'8', 'B', 'I', 'M', 0x03, 0xED};
  const uint8_t* f = std::search(d, d + n, sig, sig + 6);
  if (f == d + n) return;
  size_t p = size_t(f - d) + 6;
  if (p + 2 > n) return;
  const size_t nameLen = size_t(d[p]) << 8 | d[p + 1];
  p += 2 + nameLen;
  if (p + 4 > n) return;
  const uint32_t size = uint32_t(d[p]) << 24 | uint32_t(d[p + 1]) << 16 | uint32_t(d[p + 2]) << 8 | d[p + 3];
  p += 4;
  if (size < 16 || p + 16 > n) return;
  PutBE32(d + p, uint32_t(dpiX) << 16);
  PutBE16(d + p + 4, 1);
  PutBE16(d + p + 6, 1);
  PutBE32(d + p + 8, uint32_t(dpiY) << 16);
  PutBE16(d + p + 12, 1);
  PutBE16(d + p + 14, 1);
}

}  // namespace

void QxPrepareJpegMarkers(TIOParamsVals& Params) {
  if (!Params.JpegMarkers) Params.JpegMarkers = std::make_unique<TQxMarkerList>();
  TQxMarkerList& m = *Params.JpegMarkers;

  int32_t app13 = m.IndexOf(0xED);
  if (app13 >= 0) PatchResolution(m.MarkerData(app13), m.MarkerLength(app13), Params.DpiX, Params.DpiY);

  if (Params.IPTC && (Params.IPTC->Modified() || (Params.IPTC->Count() > 0 && m.Count() == 0))) {
    std::vector<uint8_t> block;
    Params.IPTC->SaveToBuffer(block, true);
    if (block.empty()) {
      if (app13 >= 0) m.Delete(app13);
    } else if (block.size() <= TQxMarkerList::MaxMarkerLength) {
      if (app13 >= 0) m.SetMarker(app13, 0xED, block.data(), block.size());
      else m.AddMarker(0xED, block.data(), block.size());
    }
  }

  if (Params.ExifHasData) {
    int32_t old = -1;
    for (int32_t i = 0; i < m.Count() && old < 0; ++i)
      if (IsApp1Exif(m, i)) old = i;
    std::vector<uint8_t> block;
    if (QxSaveEXIFToBuffer(Params, block, true)) {
      if (block.size() <= TQxMarkerList::MaxMarkerLength) {
        if (old >= 0) m.Delete(old);
        m.AddMarker(0xE1, block.data(), block.size());
      }
    } else if (old >= 0 && m.MarkerLength(old) > 6) {
      // The file's own block goes back out; its orientation must say what the pixels now are.
      QxSetExifOrientationTag(m.MarkerData(old) + 6, m.MarkerLength(old) - 6u,
                              Params.ExifOrientation > 0 ? Params.ExifOrientation : 1);
    }
  }

  std::vector<uint8_t> xmp;
  if (!Params.XmpPacket.empty()) QxSaveXMPToBuffer(Params, xmp);
  if (xmp.size() <= TQxMarkerList::MaxMarkerLength) {
    for (int32_t i = 0; i < m.Count(); ++i)
      if (m.MarkerType(i) == 0xE1 && QxFindXMP(m.MarkerData(i), m.MarkerLength(i))) {
        m.Delete(i);
        break;
      }
    if (!xmp.empty()) m.AddMarker(0xE1, xmp.data(), xmp.size());
  }
}

// ---- thin decoder interface ---------------------------------------------------------------------------------

struct TQxJpegErrorManager {
  TJpegError Error;
};

namespace {

TJpegError& ErrorOf(jpeg_decompress_struct* c) { return *reinterpret_cast<TJpegError*>(c->err); }

// Runs a library call for a caller outside this file; a library error becomes an exception here.
template <class F>
void Thin(jpeg_decompress_struct* c, F&& f) {
  TJpegError& e = ErrorOf(c);
  if (!Guard(e, std::forward<F>(f))) throw EQxJpegException(QxJpegMessageText(e.Pub.msg_code));
}

}  // namespace

jpeg_decompress_struct* JpegAllocDecompress() {
  auto* c = new jpeg_decompress_struct;
  std::memset(c, 0, sizeof(*c));
  return c;
}

void JpegFreeDecompress(jpeg_decompress_struct* Context) { delete Context; }

TQxJpegErrorManager* JpegCreateErrorManager(jpeg_decompress_struct* Context) {
  auto* m = new TQxJpegErrorManager;
  InitError(m->Error, nullptr);
  if (Context) Context->err = &m->Error.Pub;
  return m;
}

void JpegFreeErrorManager(TQxJpegErrorManager* Manager) { delete Manager; }

void JpegCreateDecompress(jpeg_decompress_struct* Context) {
  Thin(Context, [&] { jpeg_create_decompress(Context); });
}

void JpegDestroyDecompress(jpeg_decompress_struct* Context) {
  JpegFreeStreamSource(Context);
  jpeg_destroy_decompress(Context);
}

void JpegSetStreamSource(jpeg_decompress_struct* Context, TStream* Source) {
  JpegSetStreamSourceManager(Context, Source, nullptr);
}

void JpegSetFillRoutine(jpeg_decompress_struct* Context, TQxJpegFillRoutine Routine) {
  if (Context->src) Context->src->fill_input_buffer = reinterpret_cast<boolean (*)(j_decompress_ptr)>(Routine);
}

void JpegSetSourceBuffer(jpeg_decompress_struct* Context, const uint8_t* Data, size_t Length) {
  if (!Context->src) return;
  Context->src->next_input_byte = Data;
  Context->src->bytes_in_buffer = Length;
}

int32_t JpegReadHeader(jpeg_decompress_struct* Context, bool ImageRequired) {
  int result = 0;
  Thin(Context, [&] { result = jpeg_read_header(Context, ImageRequired ? TRUE : FALSE); });
  return result;
}

bool JpegStartDecompress(jpeg_decompress_struct* Context) {
  boolean result = FALSE;
  Thin(Context, [&] { result = jpeg_start_decompress(Context); });
  return result != FALSE;
}

int32_t JpegOutputWidth(jpeg_decompress_struct* Context) { return int32_t(Context->output_width); }
int32_t JpegOutputHeight(jpeg_decompress_struct* Context) { return int32_t(Context->output_height); }
int32_t JpegOutputComponents(jpeg_decompress_struct* Context) { return Context->output_components; }
int32_t JpegOutputScanline(jpeg_decompress_struct* Context) { return int32_t(Context->output_scanline); }

uint8_t** JpegAllocSampleRows(jpeg_decompress_struct* Context, int32_t Pool, uint32_t RowLength, uint32_t Rows) {
  JSAMPARRAY rows = nullptr;
  Thin(Context, [&] {
    rows = (*Context->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(Context), Pool, RowLength, Rows);
  });
  return rows;
}

uint32_t JpegReadScanlines(jpeg_decompress_struct* Context, uint8_t** Rows, uint32_t Count) {
  JDIMENSION n = 0;
  Thin(Context, [&] { n = jpeg_read_scanlines(Context, Rows, Count); });
  return n;
}

bool JpegFinishDecompress(jpeg_decompress_struct* Context) {
  boolean result = FALSE;
  Thin(Context, [&] { result = jpeg_finish_decompress(Context); });
  return result != FALSE;
}
