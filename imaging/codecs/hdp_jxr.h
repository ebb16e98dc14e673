#pragma once
// The HD Photo coding service: a decoder and an encoder over byte buffers, kept apart from the codec so
// that the coding library's headers stay in one source file. The codec asks the service the questions the
// imaging component answers elsewhere: frames, size, resolution, pixel format, pixels converted to a
// requested format; and on the way out, options by name, then size, resolution, format and rows.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Pixel formats the codec names; Other stands for every format that only converts to BGR24.
enum class TQxHdpPixelFormat : uint8_t {
  Unknown = 0,
  BlackWhite,  // 1 bit, set bit white, rows packed most significant bit first
  Gray8,
  Gray16,
  BGR24,
  RGB48,
  CMYK32,
  BGRA32,  // blue, green, red, alpha; read only
  Other,
};

// True when the coding library can be set up in this process.
bool QxHdpServiceAvailable();

// Checks the container directory against the data: the header, the directory's entries, the image's
// size, pixel format and coded data inside the buffer. The coding library is only handed data that
// passes. Width and Height are those the directory holds.
bool QxHdpCheckContainer(const uint8_t* Data, size_t Size, int32_t& Width, int32_t& Height);
// How long the child process that decodes a picture of this size may run before it is stopped.
unsigned QxHdpChildSeconds(int64_t Width, int64_t Height);

class TQxHdpDecoder {
 public:
  TQxHdpDecoder();
  ~TQxHdpDecoder();
  TQxHdpDecoder(const TQxHdpDecoder&) = delete;
  TQxHdpDecoder& operator=(const TQxHdpDecoder&) = delete;

  // Takes the whole file; false when it is no HD Photo file the library accepts.
  bool Open(std::vector<uint8_t> Data);
  bool IsOpen() const;
  uint32_t FrameCount() const;
  bool SelectFrame(uint32_t Index);
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  double DpiX() const { return FDpiX; }
  double DpiY() const { return FDpiY; }
  TQxHdpPixelFormat SourceFormat() const { return FFormat; }
  // Decodes the frame into Out (rows top-down, Stride bytes apart) in Requested, which is the source
  // format or BGR24 (BlackWhite only as itself). False when the data cannot be decoded or converted.
  // Alpha, when given and the frame has an alpha channel, receives it: one byte a pixel, rows top-down.
  // Reduce > 0 decodes the frame at 1 / 2^Reduce of its size (ReducedSize), as the coding allows.
  bool CopyPixels(TQxHdpPixelFormat Requested, std::vector<uint8_t>& Out, size_t& Stride,
                  std::vector<uint8_t>* Alpha = nullptr, int32_t Reduce = 0);
  static int32_t ReducedSize(int32_t Size, int32_t Reduce) { return (Size + (1 << Reduce) - 1) >> Reduce; }

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
  int32_t FWidth = 0, FHeight = 0;
  double FDpiX = 0, FDpiY = 0;
  TQxHdpPixelFormat FFormat = TQxHdpPixelFormat::Unknown;
};

// One encoder option as the codec sends it: a name and a value of one of four kinds.
enum class TQxHdpOptionKind : uint8_t { Float, Bool, Byte, Word };
struct TQxHdpOption {
  std::string Name;
  TQxHdpOptionKind Kind = TQxHdpOptionKind::Float;
  double Value = 0;
};

class TQxHdpEncoder {
 public:
  // Stores an option; names the encoder does not know are ignored, as are values out of range. The picture
  // is always coded as one tile: tile-slice counts are accepted and not used.
  void WriteOption(const TQxHdpOption& Option);
  void SetSize(int32_t Width, int32_t Height);
  void SetResolution(double DpiX, double DpiY);
  // False for formats the encoder cannot take.
  bool SetPixelFormat(TQxHdpPixelFormat Format);
  // Rows top-down, each RowBytes long; called once per row in order.
  void WriteRow(const uint8_t* Row, size_t RowBytes);
  // Codes the picture into Out; false when nothing could be coded.
  bool Commit(std::vector<uint8_t>& Out);

 private:
  float FImageQuality = -1;
  bool FLossless = false;
  bool FUseCodecOptions = false;
  int32_t FQuality = 1, FOverlap = 1, FSubsampling = 3;
  bool FFrequencyOrder = true;
  int32_t FWidth = 0, FHeight = 0;
  double FDpiX = 96, FDpiY = 96;
  TQxHdpPixelFormat FFormat = TQxHdpPixelFormat::Unknown;
  size_t FRowBytes = 0;
  std::vector<uint8_t> FPixels;
};
