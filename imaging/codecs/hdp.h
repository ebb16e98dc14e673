#pragma once
// HD Photo files: a reader and a writer around the HD Photo coding service (hdp_jxr.h), kept in the shape of
// a general decoder and encoder so that other containers could use them, and the entries the I/O
// component calls. The content probe IsHDPStream belongs to the TIFF codec.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "imaging/foundation/types.h"

class TStream;
class TQxBitmap;
class TIOParamsVals;
struct TQxProgressInfo;
class TQxHdpDecoder;
class TQxHdpEncoder;
struct TQxHdpOption;

// Fills ReadHDPStream, WriteHDPStream, HDPFrameCount, WicAvailable and IsHDPStream of QxCodecServices.
void QxRegisterHdpCodec();

// True when the coding service can be set up; asked once, the answer kept for the process.
bool WicAvailable();
// Frame Params.ImageIndex of the file at the stream position into Bitmap and Params. A file that cannot be
// read sets Progress's abort flag. ParamsOnly is not consulted: the pixels are decoded as well.
void ReadHDPStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                   bool ParamsOnly);
// Bitmap as a one-frame file at the stream position. A bitmap format without an HD Photo counterpart
// (qx8p, qx32f, qxCIELab, qx32RGB) raises Exception("Assertion failure"); a picture the encoder refuses
// writes nothing and sets the abort flag.
void WriteHDPStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);
// Frames of the file; 0 when the service is missing, the file cannot be opened or is no HD Photo file.
int32_t HDPFrameCount(const char* FileName);

// Variant types of encoder options.
constexpr uint16_t QxVT_R4 = 4, QxVT_BOOL = 11, QxVT_UI1 = 17, QxVT_UI2 = 18;
// Sends one option to the encoder, Value converted to VarType; any other type raises
// Exception("Assertion failure").
void QxWicWriteOption(TQxHdpEncoder& Encoder, const char* Name, double Value, uint16_t VarType);

class TQxWICReader {
 public:
  TQxWICReader();
  ~TQxWICReader();
  TQxWICReader(const TQxWICReader&) = delete;
  TQxWICReader& operator=(const TQxWICReader&) = delete;

  bool IsReady() const;
  // Reads the file from the stream's position to its end; false for formats without a decoder here
  // (every id but qxffHDP) and for data the decoder refuses.
  bool Open(TStream* Stream, int32_t FormatId);
  void Close();
  int32_t FrameCount() const;
  void ReadFrame(int32_t Index, TQxBitmap* Bitmap, TIOParamsVals* Params, std::atomic<bool>* Aborting);
  int32_t FrameWidth() const;
  int32_t FrameHeight() const;
  double DpiX() const { return FDpiX; }
  double DpiY() const { return FDpiY; }

 private:
  bool CopyFrameTo(TQxBitmap* Bitmap, bool Native, bool Thumbnail = false);

  bool FReady = false;
  std::unique_ptr<TQxHdpDecoder> FDecoder;
  bool FHaveFrame = false;
  double FDpiX, FDpiY;
  TStream* FStream = nullptr;
  int64_t FStartPosition = 0;
};

class TQxWICWriter {
 public:
  TQxWICWriter();
  ~TQxWICWriter();
  TQxWICWriter(const TQxWICWriter&) = delete;
  TQxWICWriter& operator=(const TQxWICWriter&) = delete;

  bool IsReady() const { return FReady; }
  bool Open(TStream* Stream, int32_t FormatId);
  // False when the encoder took no frame (no encoder, or the picture was refused).
  bool WriteFrame(TQxBitmap* Bitmap, TIOParamsVals* Params);
  // Writes the coded file at the stream position the writer was opened at; false when nothing was coded
  // or the stream took less than all of it.
  bool Close();

  double DpiX, DpiY;
  double ImageQuality = -1;        // negative: not sent
  double CompressionQuality = -1;  // negative: not sent
  bool Lossless = false;
  bool UseCodecOptions = false;
  int32_t Quality = 1;
  int32_t Overlap = 1;
  int32_t Subsampling = 3;
  int32_t HorizontalTileSlices = 0;
  int32_t VerticalTileSlices = 0;
  bool FrequencyOrder = true;
  uint8_t TiffCompressionMethod = 1;  // 0..6

 private:
  bool FReady = false;
  std::unique_ptr<TQxHdpEncoder> FEncoder;
  bool FFramePending = false;
  TStream* FStream = nullptr;
  int64_t FStartPosition = 0;
};
