// Camera-raw reader: the entry, the probe, the working record's reading helpers and camera identification.
#include "imaging/codecs/raw/camera_raw.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <cstring>
#include <sys/mman.h>

#include "imaging/codecs/raw/camera_raw_internal.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/metadata.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/io_init.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/jpeg_metadata.h"
#include "imaging/io/params.h"
#include "platform/base/parallel.h"
#include "platform/base/streams.h"

// ---- reading ------------------------------------------------------------------------------------------

void TQxRawPages::Release() {
  if (Mapped) munmap(Memory, Bytes);
  else std::free(Memory);
  Memory = nullptr;
  Bytes = 0;
  Mapped = false;
}

void TQxRawPages::Allocate(size_t Size, bool Touch) {
  Release();
  Size = std::max<size_t>(Size, 8);
  constexpr size_t kHuge = size_t(2) << 20;
  if (Size >= (size_t(8) << 20)) {
    void* m = mmap(nullptr, Size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m != MAP_FAILED) {
      madvise(m, Size, MADV_HUGEPAGE);
      Memory = m;
      Bytes = Size;
      Mapped = true;
      // The kernel clears each page at its first touch: touching them from every core spreads that work.
      auto* base = static_cast<volatile uint8_t*>(m);
      if (Touch)
        ParallelBands(0, int32_t((Size + kHuge - 1) / kHuge), 1, [&](int32_t First, int32_t Last) {
        for (size_t at = size_t(First) * kHuge; at < std::min(Size, size_t(Last) * kHuge); at += 4096) base[at] = 0;
      });
    }
  }
  if (!Memory) {
    Memory = std::calloc(Size, 1);
    if (!Memory) throw std::bad_alloc();
    Bytes = Size;
  }
}

void TQxRawContext::AllocateStore(int64_t Cells, bool Touch) {
  Store.Allocate(size_t(std::max<int64_t>(Cells, 1)) * 8, Touch);
  Pixels = reinterpret_cast<uint16_t(*)[4]>(Store.Memory);
}

bool TQxRawContext::ReadOne(uint8_t& B) { return Stream->Read(&B, 1) == 1; }

int64_t TQxRawContext::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const int64_t n = std::max<int64_t>(Stream->Read(Buffer, Count), 0);
  if (n < Count) {
    std::memset(static_cast<uint8_t*>(Buffer) + n, 0, size_t(Count - n));
    PastEnd += Count - n;
  }
  return n;
}

uint16_t TQxRawContext::Sget2(const uint8_t* s) const {
  return ByteOrder == 0x4949 ? uint16_t(s[0] | s[1] << 8) : uint16_t(s[0] << 8 | s[1]);
}
uint32_t TQxRawContext::Sget4(const uint8_t* s) const {
  return ByteOrder == 0x4949 ? uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 | uint32_t(s[3]) << 24
                             : uint32_t(s[0]) << 24 | uint32_t(s[1]) << 16 | uint32_t(s[2]) << 8 | uint32_t(s[3]);
}
uint16_t TQxRawContext::Get2() {
  uint8_t s[2];
  Read(s, 2);
  return Sget2(s);
}
uint32_t TQxRawContext::Get4() {
  uint8_t s[4];
  Read(s, 4);
  return Sget4(s);
}
void TQxRawContext::Seek(int64_t Position) {
  Stream->Seek(std::clamp<int64_t>(Position, 0, std::max<int64_t>(FileSize, Stream->Size())), TSeekOrigin::soBeginning);
}
void TQxRawContext::Skip(int64_t Count) { Seek(Tell() + Count); }
int64_t TQxRawContext::Tell() { return Stream->Position(); }

void TQxRawContext::SetText(char* Field, const char* Text) {
  std::strncpy(Field, Text, 63);
  Field[63] = 0;
}
void TQxRawContext::ReadText(char* Field) {
  Read(Field, 64);
  Field[63] = 0;  // a longer text is cut at 63 characters
}

void TQxRawContext::StartProgress(int32_t Rows) {
  Progress.Factor = Rows > 0 ? 100.0 / Rows / 2 : 0;
}
void TQxRawContext::ReportRow(int32_t Row) {
  if (Progress.Assigned()) Progress.Report(int32_t(Row * Progress.Factor));
}

// ---- identification -------------------------------------------------------------------------------------

void QxRawPrepareContext(TQxRawContext& C) {
  C.BitBuffer = 0;
  C.BitCount = 0;
  C.LeafCounter = 0;
  std::fill(std::begin(C.KodakRoots), std::end(C.KodakRoots), 0);
}

namespace {

bool StartsWith(const char* Text, const char* Prefix) { return std::strncmp(Text, Prefix, std::strlen(Prefix)) == 0; }

struct TSizeRow {
  int64_t Size;
  const char* Maker;
  const char* Model;
};
// Headerless files known by their size alone.
const TSizeRow kSizeTable[] = {
    {62464, "Kodak", "DC20"},        {124928, "Kodak", "DC20"},       {2465792, "NIKON", "E950"},
    {2940928, "NIKON", "E2100"},     {4771840, "NIKON", "E990"},      {5865472, "NIKON", "E4500"},
    {5869568, "NIKON", "E4300"},     {787456, "Creative", "PC-CAM 600"}, {1976352, "Casio", "QV-2000UX"},
    {3217760, "Casio", "QV-3*00EX"}, {6218368, "Casio", "QV-5700"},   {7684000, "Casio", "QV-4000"},
    {9313536, "Casio", "EX-P600"},   {4841984, "Pentax", "Optio S"},  {6114240, "Pentax", "Optio S4"},
    {12582980, "Sinar", ""},
};

void ReadNucoreHeader(TQxRawContext& C) {
  C.SetText(C.Maker, "Nucore");
  C.ByteOrder = 0x4949;
  C.Seek(10);
  C.SensorDataOffset += int32_t(C.Get4());
  C.Get4();
  C.SensorWidth = int32_t(C.Get4());
  C.SensorHeight = int32_t(C.Get4());
  if (C.Model[0] == 'B' && C.SensorWidth == 2597) {
    C.SensorWidth = 2598;
    C.SensorDataOffset -= 4096;
  }
}

int32_t NotSupported(TQxRawContext& C, const char* Why) {
  C.Error = Why;
  return 1;
}

}  // namespace

int32_t identify_camera(TQxRawContext& C) {
  C.SensorHeight = C.SensorWidth = C.Orientation = 0;
  C.Maker[0] = C.Model[0] = C.ModelExtra[0] = 0;
  std::memset(C.WhiteSamples, 0, sizeof(C.WhiteSamples));
  C.CameraRedGain = C.CameraBlueGain = 0;
  C.SensorDataOffset = C.ToneCurveOffset = C.StripCompression = C.SkipStuffedZero = 0;
  C.Error.clear();
  C.ParseBudget = 100000;

  C.FileSize = C.Stream->Size();
  C.Seek(0);
  uint8_t order[2] = {0, 0};
  C.Read(order, 2);
  C.ByteOrder = uint16_t(order[0] | order[1] << 8);
  C.HeaderLength = int32_t(C.Get4());
  C.Seek(0);
  std::memset(C.Head, 0, sizeof(C.Head));
  C.Read(C.Head, 32);
  const uint8_t* head = C.Head;

  int32_t phaseAt = -1;
  for (int32_t i = 0; i + 8 <= 32 && phaseAt < 0; ++i)
    if (std::memcmp(head + i, "MMMMRawT", 8) == 0) phaseAt = i;

  if (phaseAt >= 0) {
    C.SetText(C.Maker, "Phase One");
    C.SensorDataOffset = phaseAt;
    C.Seek(phaseAt + 8);
    const uint32_t n = C.Get4();
    C.Skip(int64_t(n) + 136);
    C.SensorWidth = int32_t(C.Get4());
    C.Skip(12);
    C.SensorHeight = int32_t(C.Get4());
  } else if (C.ByteOrder == 0x4949 || C.ByteOrder == 0x4D4D) {
    if (std::memcmp(head + 6, "HEAPCCDR", 8) == 0) {
      C.SensorDataOffset = C.HeaderLength;
      parse_ciff_heap(C, C.HeaderLength, int32_t(std::clamp<int64_t>(C.FileSize - C.HeaderLength, 0, INT32_MAX)));
    } else {
      parse_tiff_directories(C, 0);
      if (StartsWith(C.Maker, "NIKON") && C.SensorWidth == 0) C.Maker[0] = 0;
    }
  } else if (head[0] == 0 && head[1] == 'M' && head[2] == 'R' && head[3] == 'M') {
    parse_tiff_directories(C, 48);
    C.SensorDataOffset = int32_t(C.Sget4(head + 4) + 8);
    C.SensorHeight = C.Sget2(head + 24);
    C.SensorWidth = C.Sget2(head + 26);
    C.Seek(12);
    const uint32_t n = C.Get4();
    C.Skip(int64_t(n) + 4);
    const uint32_t m = C.Get4();
    C.Skip(int64_t(m) + 12);
    const uint16_t a = C.Get2(), b = C.Get2(), c = C.Get2(), d = C.Get2();
    // A zero divisor leaves the gain "not recorded".
    C.CameraRedGain = b ? float(a) / b : 0;
    C.CameraBlueGain = c ? float(d) / c : 0;
  } else if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF && head[3] == 0xE1 &&
             std::memcmp(head + 6, "Exif", 4) == 0) {
    C.Seek(4);
    uint8_t l[2];
    C.Read(l, 2);
    C.Seek(4 + (l[0] << 8 | l[1]));
    if (C.GetC() != 0xFF) parse_tiff_directories(C, 12);
  } else if (head[0] == 'B' && head[1] == 'M') {
    C.SensorDataOffset = 4096;
    C.ByteOrder = 0x4949;
    C.Seek(38);
    const uint32_t a = C.Get4(), b = C.Get4();
    if (a == 2834 && b == 2834) {
      C.SetText(C.Model, "BMQ");
      ReadNucoreHeader(C);
    }
  } else if (head[0] == 'B' && head[1] == 'R') {
    C.SetText(C.Model, "RAW");
    ReadNucoreHeader(C);
  } else if (std::memcmp(head + 25, "ARECOYK", 7) == 0) {
    C.SetText(C.Maker, "CONTAX");
    C.SetText(C.Model, "N DIGITAL");
  } else if (std::memcmp(head, "FUJIFILM", 8) == 0) {
    C.Seek(84);
    uint8_t b[4];
    C.Read(b, 4);
    const uint32_t base = (uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3]) + 12;
    if (base < uint32_t(INT32_MAX)) parse_tiff_directories(C, int32_t(base));
    C.ByteOrder = 0x4D4D;
    C.Seek(100);
    C.SensorDataOffset = int32_t(C.Get4());
  } else if (std::memcmp(head, "DSC-Image", 9) == 0) {
    parse_rollei_header(C);
  } else if (std::memcmp(head, "FOVb", 4) == 0) {
    parse_foveon(C);
  } else {
    for (const TSizeRow& r : kSizeTable)
      if (r.Size == C.FileSize) {
        C.SetText(C.Maker, r.Maker);
        C.SetText(C.Model, r.Model);
      }
  }

  C.Maker[63] = C.Model[63] = C.ModelExtra[63] = 0;
  for (const char* name : {"Canon", "NIKON", "Kodak", "PENTAX", "MINOLTA", "Minolta", "Konica"})
    if (std::strstr(C.Maker, name)) C.SetText(C.Maker, name);
  if (StartsWith(C.Maker, "KODAK")) C.Maker[16] = C.Model[16] = 0;
  for (char* t : {C.Maker, C.Model}) {
    size_t n = std::strlen(t);
    while (n > 0 && t[n - 1] == ' ') t[--n] = 0;
  }
  const size_t mk = std::strlen(C.Maker);
  if (mk > 0 && std::strncmp(C.Model, C.Maker, mk) == 0) {
    const size_t ml = std::strlen(C.Model);
    if (ml > mk) std::memmove(C.Model, C.Model + mk + 1, ml - mk);  // keeps the terminator
    else C.Model[0] = 0;
  }
  if (!C.Maker[0]) return NotSupported(C, "Camera RAW: the file is not a camera raw file of a known camera");

  C.SensorLoader = nullptr;
  C.ImageHeight = C.SensorHeight;
  C.ImageWidth = C.SensorWidth;
  C.TopBorder = C.LeftBorder = 0;
  C.ColorCount = 3;
  C.CfaPattern = 0x94949494u;
  C.BlackLevel = 0;
  C.CmySensor = C.LayeredSensor = C.HasColorMatrix = 0;
  std::fill(std::begin(C.ChannelGains), std::end(C.ChannelGains), 1.0f);
  C.PixelAspectX = C.PixelAspectY = 1;
  C.WhiteLevel = 16384;

  C.MakerIsCanon = std::strcmp(C.Maker, "Canon") == 0;
  if (C.MakerIsCanon) {
    if (std::memcmp(head + 6, "HEAPCCDR", 8) != 0) {
      C.CfaPattern = 0x61616161u;
      C.SensorLoader = lossless_huffman_load_raw;
    } else if (C.SensorWidth) {
      C.SensorLoader = canon_compressed_load_raw;
    }
  }
  if (std::strcmp(C.Maker, "NIKON") == 0)
    C.SensorLoader = nikon_data_is_compressed(C) ? nikon_compressed_load_raw : nikon_packed12_load_raw;

  if (!QxApplyCameraTable(C)) {
    if (C.Error.empty()) C.Error = std::string("Camera RAW: the data of the ") + C.Maker + " " + C.Model + " file is not supported";
    return 1;
  }

  if (!C.SensorLoader) return NotSupported(C, "Camera RAW: this camera's data coding is not supported");
  if (C.ImageHeight <= 0 || C.ImageWidth <= 0) return NotSupported(C, "Camera RAW: the file gives no picture size");
  if (C.ImageHeight > 65535 || C.ImageWidth > 65535)
    return NotSupported(C, "Camera RAW: the picture size in the file is out of range");
  if (!C.SensorHeight) C.SensorHeight = C.ImageHeight;
  if (!C.SensorWidth) C.SensorWidth = C.ImageWidth;
  if (C.SensorWidth < 0 || C.SensorHeight < 0 || C.SensorWidth > 65535 || C.SensorHeight > 65535)
    return NotSupported(C, "Camera RAW: the sensor size in the file is out of range");
  if (C.ColorCount == 4 && !C.HasColorMatrix) derive_cmyg_matrix(C);
  if (C.HasColorMatrix)
    for (int32_t c = 0; c < C.ColorCount; ++c) {
      C.ColorMatrix[0][c] *= C.RedScale;
      C.ColorMatrix[2][c] *= C.BlueScale;
    }
  if (C.SplitGreens && C.CfaPattern && C.ColorCount == 3) {
    for (int32_t i = 0; i < 32; i += 4) {
      const uint32_t g = (C.CfaPattern >> i) & 15;
      if (g == 9) C.CfaPattern |= 2u << i;
      if (g == 6) C.CfaPattern |= 8u << i;
    }
    C.ColorCount = 4;
    C.ChannelGains[3] = C.ChannelGains[1];
    if (C.HasColorMatrix)
      for (auto& row : C.ColorMatrix) row[3] = row[1] /= 2;
  }
  C.Seek(C.SensorDataOffset);
  return 0;
}

// ---- the reader -------------------------------------------------------------------------------------------

namespace {

bool PreviewPresent(TIOParamsVals& Params) { return Params.ExifThumbnail && !Params.ExifThumbnail->IsEmpty(); }

void Fail(TIOParamsVals& Params, TQxProgressInfo& Progress, const std::string& Why) {
  Params.ReadError = Why;
  Progress.Abort();
}

// The fused passes after loading on a thread of their own, started with the loader: they take rows as the
// loader hands them on, or, from a loader that hands on none, the store once it is loaded.
class TOverlappedPasses {
 public:
  explicit TOverlappedPasses(TQxRawContext& C) : FC(C) {
    FC.RowsDecoded = [this](int32_t Rows) {
      {
        std::lock_guard<std::mutex> lock(FLock);
        FReady = Rows;
      }
      FChange.notify_all();
    };
    FWorker = std::thread([this] { Run(); });
  }
  ~TOverlappedPasses() { Stop(); }
  // After the loader: waits for the passes and raises what they raised.
  void Finish() {
    Stop();
    if (FError) std::rethrow_exception(FError);
  }

 private:
  void Run() {
    try {
      {
        std::unique_lock<std::mutex> lock(FLock);
        FChange.wait(lock, [&] { return FReady >= 0 || FLoaded; });
      }
      // A few threads keep up with the decoder; more would only take cores from it.
      balance_interpolate_convert(
          FC,
          [this](int32_t Row) {
            std::unique_lock<std::mutex> lock(FLock);
            FChange.wait(lock, [&] { return FReady > Row || FLoaded; });
          },
          std::clamp(ParallelBandThreads() - 1, 1, 3));
    } catch (...) {
      FError = std::current_exception();
    }
  }
  void Stop() {
    if (!FWorker.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(FLock);
      FLoaded = true;
    }
    FChange.notify_all();
    FWorker.join();
    FC.RowsDecoded = nullptr;
  }

  TQxRawContext& FC;
  std::mutex FLock;
  std::condition_variable FChange;
  int32_t FReady = -1;  // rows handed on; -1 before the loader hands on any
  bool FLoaded = false;
  std::exception_ptr FError;
  std::thread FWorker;
};

}  // namespace

void ReadCameraRawStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                         bool ParamsOnly) {
  // Position 0 of the file is the stream's own 0, or where it stands now when reading from the position.
  const int64_t origin = QxBufferedReadRelative ? Stream->Position() : 0;
  if (Params.RawUseExifThumbnail) {
    if (Params.ExifThumbnail) Params.ExifThumbnail->FreeImage(true);
    Params.SetRawUseExifThumbnail(0);
    try {
      ReadCameraRawStream(Stream, Bitmap, Params, Progress, true);
    } catch (...) {
      Params.SetRawUseExifThumbnail(1);
      throw;
    }
    Params.SetRawUseExifThumbnail(1);
    if (PreviewPresent(Params)) {
      if (Bitmap) Bitmap->AssignFrom(Params.ExifThumbnail.get());
      return;
    }
    Stream->SetPosition(origin);
  }

  TQxBufferedReadStream buffered(Stream, 8192, QxBufferedReadRelative);
  const int64_t tiffAt = QxFindTIFFHeader(buffered);
  if (tiffAt < 0) {
    buffered.SetPosition(0);
    QxReadCiffMetadata(buffered, Params);
  } else {
    buffered.SetPosition(tiffAt);
    bool ok = false;
    try {
      ok = QxLoadRawCameraEXIF(buffered, Params);
    } catch (const Exception&) {
      ok = false;  // a damaged EXIF block costs the metadata, not the picture
    }
    if (ok) {
      const double f = Params.ExifResolutionUnit == 3 ? 2.54 : 1.0;
      Params.SetDpiX(int32_t(std::clamp(Params.ExifXResolution * f, -2e9, 2e9)));
      Params.SetDpiY(int32_t(std::clamp(Params.ExifYResolution * f, -2e9, 2e9)));
    }
  }

  buffered.SetPosition(0);
  auto ctx = std::make_unique<TQxRawContext>();
  TQxRawContext& C = *ctx;
  QxRawPrepareContext(C);
  C.Gamma = float(Params.RawGamma);
  C.Brightness = float(Params.RawBright);
  C.RedScale = float(Params.RawRedScale);
  C.BlueScale = float(Params.RawBlueScale);
  C.SplitGreens = Params.RawFourColors ? 1 : 0;
  C.MonoDocument = 0;
  C.QuickInterpolate = Params.RawFastInterpolation ? 1 : 0;
  C.AutoBalance = Params.RawAutoWhiteBalance ? 1 : 0;
  C.CameraBalance = Params.RawCameraWhiteBalance ? 1 : 0;
  C.FujiSecondary = 0;
  if (Params.RawMatchPreviewColors && PreviewPresent(Params)) C.Brightness = 0.5f;
  C.DiagonalLayout = false;
  C.Progress = Progress;
  C.Stream = &buffered;
  C.Buffered = &buffered;

  try {
    if (identify_camera(C) != 0) return Fail(Params, Progress, C.Error);
    C.ToneTable.assign(65536, 0.0);
    Params.RawCamera = std::string(C.Maker) + " " + C.Model + " " + C.ModelExtra;
    Params.SetDpiX(QxDefaultDpiX);
    Params.SetDpiY(QxDefaultDpiY);
    Params.FreeColorMap();
    Params.Width = C.ImageWidth - 2;
    Params.Height = C.ImageHeight - 2;
    Params.OriginalWidth = Params.Width;
    Params.OriginalHeight = Params.Height;
    if (!ParamsOnly) {
      // The caller's pixel limit, and no more photosites than the file's bytes can code: a damaged size
      // field must not cost a large allocation and a long decode of nothing.
      if (!QxPictureFits(Params, C.ImageWidth, C.ImageHeight, C.FileSize, loader_pixels_per_byte(C)))
        return Fail(Params, Progress, "Camera RAW: the picture size in the file (" + std::to_string(C.ImageWidth) + " x " +
                                          std::to_string(C.ImageHeight) + ") is larger than its data or the pixel limit");
      C.HalfSize = Params.RawHalfSize && C.CfaPattern ? 1 : 0;
      C.StoreHeight = (C.ImageHeight + C.HalfSize) >> C.HalfSize;
      C.StoreWidth = (C.ImageWidth + C.HalfSize) >> C.HalfSize;
      // Balance, demosaicing and colour can run as one pass over bands of rows, which may take the rows
      // straight from the loader; the store is then first written by that pass, on every core.
      auto fusable = [&] { return QxRawFusedPasses && !C.HalfSize && C.CfaPattern && !C.MonoDocument && !C.LayeredSensor; };
      C.DeferPlacement = fusable();
      C.AllocateStore(int64_t(C.StoreHeight) * C.StoreWidth, !(C.DeferPlacement && loader_defers_placement(C)));
      C.PastEnd = 0;
      if (C.DeferPlacement && gains_known_before_loading(C)) {
        // The fused passes take the rows the loader has finished while it decodes the rest.
        compute_channel_gains(C);
        C.EdgeTrim = 1;
        TOverlappedPasses overlapped(C);
        C.SensorLoader(C);
        overlapped.Finish();
        C.Progress.Report(70);
      } else {
        C.SensorLoader(C);
        C.ImageHeight = C.StoreHeight;
        C.ImageWidth = C.StoreWidth;
        const bool fused = fusable();
        if (!fused) place_pending_rows(C);
        if (C.LayeredSensor) foveon_interpolate(C);
        else if (fused) compute_channel_gains(C);
        else apply_channel_gains(C);
        C.Progress.Report(70);
        if (C.HalfSize) C.CfaPattern = 0;
        C.EdgeTrim = 0;
        if (fused) {
          C.EdgeTrim = 1;
          balance_interpolate_convert(C);
        } else {
          if (C.CfaPattern && !C.MonoDocument) {
            C.EdgeTrim = 1;
            vng_interpolate(C);
          }
          convert_camera_colors(C);
        }
      }
      if (loader_ran_out_of_data(C))
        return Fail(Params, Progress, "Camera RAW: the file ends before the end of its sensor data");
      C.QuickInterpolate = 1;
      C.Progress.Report(85);
      Params.SetImageCount(1);
      write_ppm(C, Bitmap, Params, Params.NativePixelFormat != 0);
    }
  } catch (const EQxRawError& e) {
    return Fail(Params, Progress, std::string("Camera RAW") + e.Message());
  } catch (const EQxJpegException& e) {
    return Fail(Params, Progress, std::string("Camera RAW: ") + e.Message());
  }
  if (Params.RawMatchPreviewColors && PreviewPresent(Params) && Bitmap && !Bitmap->IsEmpty())
    QxMatchHistogram(Params.ExifThumbnail.get(), Bitmap);
  C.Progress.Report(100);
}

bool IsCameraRawStream(TStream* Stream) {
  const int64_t p = Stream->Position();
  bool result = false;
  try {
    auto ctx = std::make_unique<TQxRawContext>();
    QxRawPrepareContext(*ctx);
    ctx->Stream = Stream;
    result = identify_camera(*ctx) == 0;
  } catch (const Exception&) {
    result = false;
  }
  Stream->SetPosition(p);
  return result;
}

void QxRegisterCameraRawCodec() {
  QxCodecServices.ReadCameraRawStream = &ReadCameraRawStream;
  QxCodecServices.IsCameraRawStream = &IsCameraRawStream;
}
