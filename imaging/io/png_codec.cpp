#include "imaging/io/png_codec.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/file_row_source.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/params.h"
#include "imaging/io/png_bands.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/kernels/quantizer.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"

// libpng reports errors by longjmp; nothing with a destructor may live in the frames it jumps over, so the
// callbacks only touch plain state and the C++ exceptions are raised after the jump has landed.
namespace {

struct PngIO {
  TStream* Stream;
  std::atomic<bool>* Aborting;
};

void PngReadData(png_structp png, png_bytep data, size_t length) {
  auto* io = static_cast<PngIO*>(png_get_io_ptr(png));
  int64_t got = -1;
  try {
    got = io->Stream->Read(data, static_cast<int64_t>(length));
  } catch (...) {
    got = -1;
  }
  if (got != static_cast<int64_t>(length)) png_error(png, "short read");
}

void PngWriteData(png_structp png, png_bytep data, size_t length) {
  auto* io = static_cast<PngIO*>(png_get_io_ptr(png));
  int64_t put = -1;
  try {
    put = io->Stream->Write(data, static_cast<int64_t>(length));
  } catch (...) {
    put = -1;
  }
  if (put != static_cast<int64_t>(length) && io->Aborting) io->Aborting->store(true);
}

void PngFlush(png_structp) {}

[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
// A chunk refused for the memory limits comes only as a warning; the picture it belongs to is not loaded.
void PngWarning(png_structp png, png_const_charp Message) {
  if (Message && (std::strstr(Message, "chunk cache") || std::strstr(Message, "memory") || std::strstr(Message, "too large")))
    png_longjmp(png, 1);
}

// No ancillary chunk is larger than this, nor than what is left of the stream.
constexpr int64_t kMaxChunkBytes = int64_t(64) << 20;
constexpr png_uint_32 kMaxCachedChunks = 1000;
// Deflate turns one byte into at most 1032.
constexpr double kDeflateMaxExpansion = 1032;

int32_t DpiFromPpm(png_uint_32 ppm) { return static_cast<int32_t>(Round(ppm / 100.0 * 2.54)); }

struct ReadState {
  PngIO io{};
  png_structp png = nullptr;
  png_infop info = nullptr;
  TQxBitmap* bitmap = nullptr;
  TIOParamsVals* params = nullptr;
  TQxProgressInfo* progress = nullptr;
  bool paramsOnly = false;
  int64_t dataBytes = -1;  // what the stream holds past the signature's start; -1 unknown
  std::vector<uint8_t> work;  // 4-channel or packed rows
  TQxRGB pal0{0, 0, 0}, pal1{0, 0, 0};
  uint8_t alpha0 = 255, alpha1 = 255;
  bool allocFailed = false;
};

// Everything that may longjmp happens here; the caller owns all objects with destructors.
// Returns false when libpng failed.
bool ReadBody(ReadState& st) {
  png_structp png = st.png;
  png_infop info = st.info;
  if (setjmp(png_jmpbuf(png))) return false;

  png_set_read_fn(png, &st.io, PngReadData);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
  TIOParamsVals& P = *st.params;

  P.PngTextKeys.clear();
  P.PngTextValues.clear();
  png_textp text = nullptr;
  int numText = 0;
  if (png_get_text(png, info, &text, &numText) > 0) {
    for (int i = 0; i < numText; ++i) {
      P.PngTextKeys.emplace_back(text[i].key ? text[i].key : "");
      P.PngTextValues.emplace_back(text[i].text ? std::string(text[i].text, text[i].text_length) : std::string());
    }
  }
  png_color_16p bkgd = nullptr;
  if (png_get_bKGD(png, info, &bkgd) && bkgd)
    P.PngBackground = TQxRGB{uint8_t(bkgd->blue & 0xFF), uint8_t(bkgd->green & 0xFF), uint8_t(bkgd->red & 0xFF)};

  const bool native = P.NativePixelFormat && (depth == 8 || depth == 16) &&
                      (colorType == PNG_COLOR_TYPE_PALETTE || colorType == PNG_COLOR_TYPE_GRAY);
  if (native) {
    if (depth == 16) png_set_swap(png);
  } else if (depth > 1) {
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (depth == 16) png_set_strip_16(png);
    if (depth < 8) png_set_packing(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  }
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  P.SetImageCount(1);
  P.Width = P.OriginalWidth = static_cast<int32_t>(width);
  P.Height = P.OriginalHeight = static_cast<int32_t>(height);
  P.BitsPerSample = depth;
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE: P.SamplesPerPixel = 1; break;
    case PNG_COLOR_TYPE_RGB: P.SamplesPerPixel = 3; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: P.SamplesPerPixel = 2; break;
    default: P.SamplesPerPixel = 4; break;
  }
  png_uint_32 resX = 0, resY = 0;
  int unit = 0;
  if (!png_get_pHYs(png, info, &resX, &resY, &unit) || unit != PNG_RESOLUTION_METER) resX = resY = 0;
  int32_t dx = DpiFromPpm(resX), dy = DpiFromPpm(resY);
  P.SetDpiX(dx != 0 ? dx : QxDefaultDpiX);
  P.SetDpiY(dy != 0 ? dy : QxDefaultDpiY);
  P.FreeColorMap();
  png_colorp plte = nullptr;
  int numPlte = 0;
  if (colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &plte, &numPlte) && numPlte > 0) {
    P.SetColorMap(nullptr, numPlte);
    for (int i = 0; i < numPlte; ++i) P.ColorMap[i] = TQxRGB{plte[i].blue, plte[i].green, plte[i].red};
  }
  P.PngInterlaced = interlace != PNG_INTERLACE_NONE;
  if (st.paramsOnly) return true;

  const int fileBits = std::max(1, depth * P.SamplesPerPixel);
  if (!QxPictureFits(P, width, height, st.dataBytes, kDeflateMaxExpansion * 8 / fileBits)) {
    st.allocFailed = true;
    return true;
  }
  TQxBitmap& B = *st.bitmap;
  // One-bit gray with a transparent key has no alpha of its own to expand into: it is read as a
  // two-entry black and white palette, whose entry for the key is transparent.
  png_color_16p grayKey = nullptr;
  const bool gray1Key = depth == 1 && colorType == PNG_COLOR_TYPE_GRAY &&
                        png_get_tRNS(png, info, nullptr, nullptr, &grayKey) && grayKey && grayKey->gray <= 1;
  TQxPixelFormat fmt = TQxPixelFormat::qx24RGB;
  if (depth == 1 && colorType != PNG_COLOR_TYPE_PALETTE && !gray1Key)
    fmt = TQxPixelFormat::qx1g;
  else if (native && colorType == PNG_COLOR_TYPE_PALETTE && depth <= 8)
    fmt = TQxPixelFormat::qx8p;
  else if (native && colorType == PNG_COLOR_TYPE_GRAY)
    fmt = depth == 8 ? TQxPixelFormat::qx8g : TQxPixelFormat::qx16g;
  if (!B.Allocate(static_cast<int32_t>(width), static_cast<int32_t>(height), fmt)) {
    st.allocFailed = true;
    return true;
  }
  if (fmt == TQxPixelFormat::qx8p) {
    B.PaletteColors = 1 << depth;
    for (int i = 0; i < P.ColorMapCount && i < 256; ++i) B.SetPaletteColor(i, P.ColorMap[i]);
  }
  TQxProgressInfo& Pr = *st.progress;
  Pr.Factor = 100.0 / (static_cast<double>(height) * passes);
  Pr.Counter = 0;

  const int channels = png_get_channels(png, info);
  const bool interlaced = passes > 1;
  const bool palette1 = (depth == 1 && colorType == PNG_COLOR_TYPE_PALETTE) || gray1Key;
  const size_t w = width;
  // A one-entry palette has no entry 1: bits that are set fall back to entry 0.
  st.pal0 = P.ColorMapCount > 0 ? P.ColorMap[0] : TQxRGB{0, 0, 0};
  st.pal1 = P.ColorMapCount > 1 ? P.ColorMap[1] : st.pal0;
  if (gray1Key) {
    st.pal0 = TQxRGB{0, 0, 0};
    st.pal1 = TQxRGB{255, 255, 255};
  }
  TQxBitmap* alpha = nullptr;
  size_t rowBytes = 0;
  if (channels == 4) {
    rowBytes = w * 4;
    st.work.resize(interlaced ? rowBytes * height : rowBytes);
    alpha = B.GetAlphaChannel();
    B.Opaque = false;
    alpha->Opaque = false;
  } else if (palette1) {
    rowBytes = w / 8 + 1;
    // The transparency of the two entries; entries beyond the chunk are opaque.
    png_bytep trans = nullptr;
    int numTrans = 0;
    if (gray1Key) {
      st.alpha0 = grayKey->gray == 0 ? 0 : 255;
      st.alpha1 = grayKey->gray == 1 ? 0 : 255;
      alpha = B.GetAlphaChannel();
      B.Opaque = false;
      alpha->Opaque = false;
    } else if (png_get_tRNS(png, info, &trans, &numTrans, nullptr) && trans && numTrans > 0) {
      st.alpha0 = trans[0];
      st.alpha1 = numTrans > 1 ? trans[1] : (P.ColorMapCount > 1 ? 255 : st.alpha0);
      if (st.alpha0 != 255 || st.alpha1 != 255) {
        alpha = B.GetAlphaChannel();
        B.Opaque = false;
        alpha->Opaque = false;
      }
    }
    // Interlaced passes merge into what the previous pass left, so each row keeps its own buffer.
    st.work.resize(interlaced ? rowBytes * height : rowBytes);
  }
  for (int pass = 0; pass < passes; ++pass) {
    int32_t last = -1;
    for (png_uint_32 y = 0; y < height; ++y) {
      if (Pr.Aborting()) break;
      uint8_t* dst = B.Scanline(static_cast<int32_t>(y));
      if (channels == 4) {
        uint8_t* src = st.work.data() + (interlaced ? rowBytes * y : 0);
        png_read_row(png, src, nullptr);
        uint8_t* a = alpha->Scanline(static_cast<int32_t>(y));
        for (size_t x = 0; x < w; ++x) {
          dst[0] = src[0];
          dst[1] = src[1];
          dst[2] = src[2];
          a[x] = src[3];
          dst += 3;
          src += 4;
        }
      } else if (palette1) {
        uint8_t* src = st.work.data() + (interlaced ? rowBytes * y : 0);
        png_read_row(png, src, nullptr);
        auto* px = reinterpret_cast<TQxRGB*>(dst);
        uint8_t* a = alpha ? alpha->Scanline(static_cast<int32_t>(y)) : nullptr;
        for (size_t x = 0; x < w; ++x) {
          const bool one = (src[x >> 3] & (0x80 >> (x & 7))) != 0;
          px[x] = one ? st.pal1 : st.pal0;
          if (a) a[x] = one ? st.alpha1 : st.alpha0;
        }
      } else {
        png_read_row(png, dst, nullptr);
      }
      ++Pr.Counter;
      if (Pr.Assigned()) {
        int32_t per = static_cast<int32_t>(Trunc(Pr.Counter * Pr.Factor));
        if (per != last) {
          last = per;
          Pr.Report(per);
        }
      }
    }
  }
  st.work.clear();
  st.work.shrink_to_fit();
  if (!Pr.Aborting()) png_read_end(png, nullptr);
  return true;
}

}  // namespace

bool IsPngStream(TStream& Stream) {
  uint8_t b[8] = {0};
  int64_t got = 0;
  try {
    got = Stream.Read(b, 8);
  } catch (...) {
    got = 0;
  }
  // Step back by what was actually read, so a short stream keeps its position.
  if (got > 0) Stream.Seek(-got, TSeekOrigin::soCurrent);
  return got == 8 && b[0] == 0x89 && b[1] == 0x50 && b[2] == 0x4E && b[3] == 0x47;
}

void ReadPngStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                   bool ParamsOnly) {
  // Read ahead through a buffer: libpng asks for many small pieces.
  int64_t start = Stream.Position();
  TQxBufferedReadStream buffered(&Stream, 65536, false);
  ReadState st;
  st.io.Stream = &buffered;
  st.io.Aborting = Progress.AbortFlag;
  st.bitmap = &Bitmap;
  st.params = &Params;
  st.progress = &Progress;
  st.paramsOnly = ParamsOnly;
  bool ok = false;
  try {
    st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (st.png) {
      png_set_crc_action(st.png, PNG_CRC_DEFAULT, PNG_CRC_WARN_DISCARD);
      if (Stream.SizeKnown()) st.dataBytes = std::max<int64_t>(0, Stream.Size() - start);
      const int64_t chunkMax = st.dataBytes >= 0 ? std::min(kMaxChunkBytes, st.dataBytes + 1) : kMaxChunkBytes;
      png_set_chunk_malloc_max(st.png, static_cast<png_alloc_size_t>(chunkMax));
      png_set_chunk_cache_max(st.png, kMaxCachedChunks);
      st.info = png_create_info_struct(st.png);
      if (st.info) ok = ReadBody(st);
    }
  } catch (...) {
    // Out of memory for the row buffers, a stream or progress handler that raised.
    ok = false;
  }
  if (!ok || st.allocFailed) Progress.Abort();
  if (st.png) png_destroy_read_struct(&st.png, st.info ? &st.info : nullptr, nullptr);
  // Leave the caller's stream where the PNG data ended, not where the read-ahead stopped.
  try {
    int64_t end = buffered.Position();
    Stream.SetPosition(end >= start ? end : start);
  } catch (...) {
  }
}

namespace {

struct WriteState {
  PngIO io{};
  png_structp png = nullptr;
  png_infop info = nullptr;
  TQxBitmap* work = nullptr;     // the bitmap rows come from
  TQxBitmap* source = nullptr;
  TIOParamsVals* params = nullptr;
  TQxProgressInfo* progress = nullptr;
  TQxMask* mask = nullptr;
  TQxBitmap* alpha = nullptr;  // stands in for mask when set
  const uint8_t* MaskRow(int32_t y) { return alpha ? alpha->Scanline(y) : mask->Scanline(y); }
  TQxQuantizer* quantizer = nullptr;
  // Set when the rows can come from the picture itself as red, green, blue and alpha bytes.
  TQxFileRowSource* rowSource = nullptr;
  int colorType = 0;
  int depth = 8;
  bool transparent = false;
  std::vector<png_color> palette;
  std::vector<png_text> text;
  std::vector<uint8_t> row;
  int32_t quantCount = 256;
  size_t rowBytes = 0;  // a row as the file stores it
  int channels = 1;
};

int32_t SafeIndex(int32_t i, int32_t n) { return i < 0 ? 0 : (i >= n ? n - 1 : i); }

// Row y as libpng takes it (colour samples blue first, libpng swaps them) or, with FileOrder, as the file
// stores it; Buf has room for the longest row. Returns Buf or, when the row can be taken as it is, the
// bitmap's own row.
const uint8_t* RowForFile(WriteState& st, int32_t y, uint8_t* Buf, bool FileOrder) {
  TQxBitmap& W = *st.work;
  const int32_t width = W.Width();
  const bool is8p = W.PixelFormat() == TQxPixelFormat::qx8p;
  const bool is8g = W.PixelFormat() == TQxPixelFormat::qx8g;
  const bool is16g = W.PixelFormat() == TQxPixelFormat::qx16g;
  const int32_t nPal = std::max<int32_t>(1, static_cast<int32_t>(st.palette.size()));
  uint8_t* src = W.Scanline(y);
  uint8_t* out = src;
  if (st.colorType == PNG_COLOR_TYPE_PALETTE) {
    out = Buf;
    if (!st.transparent) {
      if (is8p) {
        std::memcpy(out, src, static_cast<size_t>(width));
      } else {
        auto* px = reinterpret_cast<TQxRGB*>(src);
        for (int32_t x = 0; x < width; ++x) out[x] = uint8_t(SafeIndex(st.quantizer->RGBIndex(px[x]), nPal));
      }
    } else {
      const uint8_t* m = st.MaskRow(y);
      if (is8p) {
        // Indexes shift by one place: entry 0 is the transparent background.
        for (int32_t x = 0; x < width; ++x)
          out[x] = m[x] == 255 ? uint8_t(std::min<int32_t>(src[x] + 1, nPal - 1)) : 0;
      } else {
        auto* px = reinterpret_cast<TQxRGB*>(src);
        for (int32_t x = 0; x < width; ++x)
          out[x] = m[x] == 255 ? uint8_t(SafeIndex(st.quantizer->RGBIndex(px[x]) + 1, nPal)) : 0;
      }
    }
  } else if (st.colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
    out = Buf;
    const uint8_t* m = st.MaskRow(y);
    const int32_t r = FileOrder ? 2 : 0, b = 2 - r;
    for (int32_t x = 0; x < width; ++x) {
      out[x * 4] = src[x * 3 + r];
      out[x * 4 + 1] = src[x * 3 + 1];
      out[x * 4 + 2] = src[x * 3 + b];
      out[x * 4 + 3] = m[x];
    }
  } else if (st.colorType == PNG_COLOR_TYPE_GRAY && st.depth != 1) {
    out = Buf;
    if (st.depth == 8) {
      if (is8g) {
        std::memcpy(out, src, static_cast<size_t>(width));
      } else {
        auto* px = reinterpret_cast<TQxRGB*>(src);
        for (int32_t x = 0; x < width; ++x) out[x] = uint8_t(SafeIndex(st.quantizer->RGBIndex(px[x]), 256));
      }
    } else {
      // 16-bit samples big-endian: qx16g keeps its full value, 8-bit sources scale by 257.
      for (int32_t x = 0; x < width; ++x) {
        uint16_t v;
        if (is16g) {
          std::memcpy(&v, src + x * 2, 2);
        } else if (is8g) {
          v = uint16_t(src[x] * 257);
        } else {
          auto* px = reinterpret_cast<TQxRGB*>(src);
          v = uint16_t(SafeIndex(st.quantizer->RGBIndex(px[x]), 256) * 257);
        }
        out[x * 2] = uint8_t(v >> 8);
        out[x * 2 + 1] = uint8_t(v & 0xFF);
      }
    }
  }
  if (FileOrder && out == src && st.colorType == PNG_COLOR_TYPE_RGB) {
    for (int32_t x = 0; x < width; ++x) {
      Buf[x * 3] = src[x * 3 + 2];
      Buf[x * 3 + 1] = src[x * 3 + 1];
      Buf[x * 3 + 2] = src[x * 3];
    }
    return Buf;
  }
  return out;
}

// The image data deflated in bands, each band's piece of the stream an IDAT chunk, and the end of the
// file. A piece is about a band's size, far below what a chunk may hold, so nothing in libpng can fail
// and jump over these frames.
bool WriteBands(WriteState& st, const TPngBandPlan& Plan) {
  png_structp png = st.png;
  TQxProgressInfo& Pr = *st.progress;
  auto Rows = [&](int32_t First, int32_t Last, uint8_t* Dest, size_t Stride) {
    // A picture that makes its rows on demand makes them in the file's order straight into the band.
    if (st.rowSource && st.rowSource->RowsRgba(First, Last, Dest, Stride)) return;
    for (int32_t y = First; y < Last; ++y, Dest += Stride) {
      const uint8_t* R = RowForFile(st, y, Dest, true);
      if (R != Dest) std::memcpy(Dest, R, Plan.RowBytes);
    }
  };
  auto Out = [&](const uint8_t* Data, size_t Size) {
    png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), Data, Size);
  };
  auto Done = [&](int32_t RowsSoFar) {
    Pr.Counter = RowsSoFar;
    if (Pr.Assigned()) Pr.Report(static_cast<int32_t>(Trunc(Pr.Counter * Pr.Factor)));
    return !Pr.Aborting();
  };
  if (!DeflatePngRowsInBands(Plan, Rows, Out, Done)) {
    // A stop asked for leaves the file cut short, as the row-by-row road does; a failure is an error.
    return Pr.Aborting();
  }
  png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
  return true;
}

// false when libpng failed.
bool WriteBody(WriteState& st) {
  png_structp png = st.png;
  png_infop info = st.info;
  if (setjmp(png_jmpbuf(png))) return false;
  TIOParamsVals& P = *st.params;
  const int32_t height = st.work->Height();

  png_set_write_fn(png, &st.io, PngWriteData, PngFlush);
  png_set_compression_buffer_size(png, 256 * 1024);
  png_set_IHDR(png, info, static_cast<png_uint_32>(st.source->Width()), static_cast<png_uint_32>(st.source->Height()),
               st.depth, st.colorType, P.PngInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!st.palette.empty()) png_set_PLTE(png, info, st.palette.data(), static_cast<int>(st.palette.size()));
  if (st.colorType == PNG_COLOR_TYPE_PALETTE && st.transparent) {
    png_byte trans[1] = {0};
    png_set_tRNS(png, info, trans, 1, nullptr);
  }
  png_set_pHYs(png, info, static_cast<png_uint_32>(std::max<int64_t>(0, Round(P.DpiX * 100 / 2.54))),
               static_cast<png_uint_32>(std::max<int64_t>(0, Round(P.DpiY * 100 / 2.54))), PNG_RESOLUTION_METER);
  switch (P.PngFilter) {
    case 0: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE); break;
    case 1: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB); break;
    case 2: png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH); break;
    default: break;
  }
  png_color_16 bk{};
  if (st.quantizer && st.colorType == PNG_COLOR_TYPE_PALETTE) {
    int32_t idx = st.quantizer->RGBIndex(P.PngBackground);
    bk.index = static_cast<png_byte>(SafeIndex(idx, static_cast<int32_t>(st.palette.size())));
    png_set_bKGD(png, info, &bk);
  } else if (st.colorType == PNG_COLOR_TYPE_RGB || st.colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
    // bKGD samples carry the file's bit depth: 8-bit files get 8-bit values.
    bk.red = P.PngBackground.r;
    bk.green = P.PngBackground.g;
    bk.blue = P.PngBackground.b;
    png_set_bKGD(png, info, &bk);
  } else if (st.colorType == PNG_COLOR_TYPE_GRAY) {
    bk.gray = 0;
    png_set_bKGD(png, info, &bk);
  }
  png_set_compression_level(png, std::clamp(P.PngCompression, 0, 9));
  if (!st.text.empty()) png_set_text(png, info, st.text.data(), static_cast<int>(st.text.size()));
  png_write_info(png, info);
  png_set_bgr(png);

  const int passes = png_set_interlace_handling(png);
  TQxProgressInfo& Pr = *st.progress;
  Pr.Factor = 100.0 / (static_cast<double>(height) * passes);
  Pr.Counter = 0;
  st.rowBytes = png_get_rowbytes(png, info);
  st.channels = png_get_channels(png, info);
  if (passes == 1 && st.rowBytes > 0 && PngBandsPay(st.rowBytes, height) && P.PngFilter <= 2) {
    // Large pictures are deflated on every core; libpng frames the stream.
    TPngBandPlan Plan;
    Plan.Height = height;
    Plan.RowBytes = st.rowBytes;
    Plan.PixelBytes = std::max(1, st.channels * st.depth / 8);
    Plan.FilterType = P.PngFilter == 1 ? PNG_FILTER_VALUE_SUB : (P.PngFilter == 2 ? PNG_FILTER_VALUE_PAETH : PNG_FILTER_VALUE_NONE);
    Plan.Level = std::clamp(P.PngCompression, 0, 9);
    return WriteBands(st, Plan);
  }
  for (int pass = 0; pass < passes; ++pass) {
    for (int32_t y = 0; y < height; ++y) {
      if (Pr.Aborting()) break;
      png_write_row(png, const_cast<uint8_t*>(RowForFile(st, y, st.row.data(), false)));
      ++Pr.Counter;
      if (Pr.Assigned()) Pr.Report(static_cast<int32_t>(Trunc(Pr.Counter * Pr.Factor)));
    }
  }
  if (!Pr.Aborting()) png_write_end(png, info);
  return true;
}

}  // namespace

namespace {

// True when some value of an 8-bit alpha bitmap of at least W x H is below 255 within W x H.
bool AlphaIsPartial(TQxBitmap* Alpha, int32_t W, int32_t H) {
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* row = Alpha->Scanline(y);
    for (int32_t x = 0; x < W; ++x)
      if (row[x] != 255) return true;
  }
  return false;
}

}  // namespace

void WritePngStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                    TQxMask* Mask, TQxBitmap* Alpha) {
  if (Params.SamplesPerPixel == 1 && Params.BitsPerSample != 1 && Params.BitsPerSample != 8 &&
      Params.BitsPerSample != 16)
    Params.BitsPerSample = 8;
  std::unique_ptr<TQxBitmap> copy;
  TQxBitmap* work = &Bitmap;
  const TQxPixelFormat fmt = Bitmap.PixelFormat();
  if (Params.BitsPerSample == 1) {
    if (fmt != TQxPixelFormat::qx1g) {
      TQxRGB c1{}, c2{};
      copy = QxTwoColorBitmap(&Bitmap, c1, c2);
      if (!copy) {
        copy = std::make_unique<TQxBitmap>();
        copy->AssignFrom(&Bitmap);
        copy->SetPixelFormat(TQxPixelFormat::qx1g);
      }
      work = copy.get();
    }
  } else if (fmt == TQxPixelFormat::qx1g ||
             (fmt != TQxPixelFormat::qx24RGB && fmt != TQxPixelFormat::qx8p &&
              !(Params.SamplesPerPixel == 1 && (fmt == TQxPixelFormat::qx8g || fmt == TQxPixelFormat::qx16g)))) {
    // Rows the writer cannot take as they are go through a 24-bit copy.
    copy = std::make_unique<TQxBitmap>();
    copy->AssignFrom(&Bitmap);
    copy->SetPixelFormat(TQxPixelFormat::qx24RGB);
    work = copy.get();
  }
  if (work->PixelFormat() == TQxPixelFormat::qx8p && Params.SamplesPerPixel != 1) {
    copy = std::make_unique<TQxBitmap>();
    copy->AssignFrom(&Bitmap);
    copy->SetPixelFormat(TQxPixelFormat::qx24RGB);
    work = copy.get();
  }

  WriteState st;
  st.io.Stream = &Stream;
  st.io.Aborting = Progress.AbortFlag;
  st.work = work;
  st.source = &Bitmap;
  st.params = &Params;
  st.progress = &Progress;
  const bool workIs1g = work->PixelFormat() == TQxPixelFormat::qx1g;
  if (Params.SamplesPerPixel == 1) {
    st.colorType = workIs1g ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
    st.depth = workIs1g ? 1 : Params.BitsPerSample;
  } else {
    st.colorType = workIs1g ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB;
    st.depth = workIs1g ? 1 : 8;
  }
  st.transparent = Mask && !Mask->Full && Mask->BitsPerPixel() == 8 && Mask->Width() >= work->Width() &&
                   Mask->Height() >= work->Height() && !workIs1g;
  // A picture that makes its own rows and alpha knows whether the alpha is partial without a scan.
  auto* Source = work == &Bitmap && Bitmap.HasAlphaChannel() && Alpha == Bitmap.GetAlphaChannel()
                     ? dynamic_cast<TQxFileRowSource*>(&Bitmap)
                     : nullptr;
  if (!Mask && Alpha && Alpha->PixelFormat() == TQxPixelFormat::qx8g && Alpha->Width() >= work->Width() &&
      Alpha->Height() >= work->Height() && !workIs1g &&
      (Source ? Source->AlphaPartial() : AlphaIsPartial(Alpha, work->Width(), work->Height()))) {
    st.transparent = true;
    st.alpha = Alpha;
  }
  if (st.transparent && st.colorType == PNG_COLOR_TYPE_RGB) st.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  if (Source && st.alpha && st.colorType == PNG_COLOR_TYPE_RGB_ALPHA && Params.SamplesPerPixel != 1)
    st.rowSource = Source;
  st.mask = Mask;

  std::unique_ptr<TQxQuantizer> quant;
  const int32_t width = work->Width();
  const bool work8g = work->PixelFormat() == TQxPixelFormat::qx8g, work16g = work->PixelFormat() == TQxPixelFormat::qx16g;
  if (Params.SamplesPerPixel == 1 && !workIs1g) {
    if (work8g || work16g) {
      // Gray sources stay gray: their samples need no palette.
      st.colorType = PNG_COLOR_TYPE_GRAY;
      st.depth = work16g ? 16 : 8;
      st.transparent = false;
    } else if (st.transparent) {
      st.depth = 8;
      int32_t n = std::min<int32_t>(1 << std::min(Params.BitsPerSample, 8), 255);
      std::vector<TQxRGB> pal(256, TQxRGB{0, 0, 0});
      quant = std::make_unique<TQxQuantizer>(work, pal.data() + 1, n);
      pal[0] = Params.PngBackground;
      int32_t count = std::min<int32_t>(n + 1, 256);
      st.palette.resize(static_cast<size_t>(count));
      for (int32_t i = 0; i < count; ++i) st.palette[i] = png_color{pal[i].r, pal[i].g, pal[i].b};
    } else {
      std::vector<TQxRGB> pal(256, TQxRGB{0, 0, 0});
      quant = std::make_unique<TQxQuantizer>(work, pal.data(), 256);
      if (quant->Gray() && work->PixelFormat() == TQxPixelFormat::qx24RGB) {
        st.colorType = PNG_COLOR_TYPE_GRAY;
      } else {
        st.palette.resize(256);
        for (int i = 0; i < 256; ++i) st.palette[i] = png_color{pal[i].r, pal[i].g, pal[i].b};
      }
    }
    st.quantizer = quant.get();
  }
  if (st.colorType == PNG_COLOR_TYPE_GRAY && st.depth != 1 && !work8g && !work16g && !quant) {
    std::vector<TQxRGB> pal(256);
    quant = std::make_unique<TQxQuantizer>(work, pal.data(), 256);
    st.quantizer = quant.get();
  }
  size_t rowLen = static_cast<size_t>(width) * 4 + 16;
  st.row.assign(rowLen, 0);
  // Text chunks: keys and values are copied; the smaller count wins.
  size_t nText = std::min(Params.PngTextKeys.size(), Params.PngTextValues.size());
  std::vector<std::string> keys(nText), values(nText);
  for (size_t i = 0; i < nText; ++i) {
    keys[i] = Params.PngTextKeys[i].substr(0, 79);
    if (keys[i].empty()) keys[i] = "Comment";
    values[i] = Params.PngTextValues[i];
    png_text t{};
    t.compression = PNG_TEXT_COMPRESSION_NONE;
    t.key = keys[i].data();
    t.text = values[i].data();
    t.text_length = values[i].size();
    st.text.push_back(t);
  }

  bool ok = false;
  st.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (st.png) {
    st.info = png_create_info_struct(st.png);
    try {
      if (st.info) ok = WriteBody(st);
    } catch (...) {
      png_destroy_write_struct(&st.png, st.info ? &st.info : nullptr);
      throw;
    }
  }
  if (st.png) png_destroy_write_struct(&st.png, st.info ? &st.info : nullptr);
  if (!ok) throw EInvalidGraphic("Error on creating PNG");
}
