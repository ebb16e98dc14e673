#pragma once
// The capture output file: frames taken from a playing video or a capture device, encoded and written to
// an AVI or ASF file by the media libraries. The file is written under a temporary name beside the target
// and takes the target's name only when it has been finished whole, so a failed capture never leaves a
// partial file that looks like a good one.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class TQxBitmap;

class TQxCaptureWriter {
 public:
  TQxCaptureWriter();
  ~TQxCaptureWriter();  // an unfinished file is thrown away
  TQxCaptureWriter(const TQxCaptureWriter&) = delete;
  TQxCaptureWriter& operator=(const TQxCaptureWriter&) = delete;

  // Checks that FileName can be written and claims its temporary file: the extension (".avi" or ".asf",
  // in any case) chooses the container, Codec names the encoder ("" takes uncompressed 24-bit colour for
  // AVI and the container's usual codec for ASF), FrameRate (frames per second, num/den) the time base.
  // False, with Error saying why, when the container or encoder is missing, the encoder does not fit the
  // container, or the folder cannot be written.
  bool Prepare(const std::string& FileName, const std::string& Codec, int32_t RateNum, int32_t RateDen);
  // Encodes one frame (24-bit colour; any size, frames of another size than the first are scaled to it)
  // taken Time after the capture started (100-nanosecond units). A frame that falls in the same frame
  // slot as the one before is skipped. False once writing failed; later frames are then ignored.
  bool Write(TQxBitmap& Frame, int64_t Time);
  // Flushes the encoder, completes the file and gives it its name. False, with Error saying why and no
  // file left behind, when nothing was captured or writing failed.
  bool Finish();
  void Abandon();

  bool Prepared() const;
  const std::string& Error() const { return FError; }
  const std::string& FileName() const { return FFileName; }
  int64_t Frames() const { return FFrames; }
  // The size frames are encoded at: the first frame's, made even when the encoder takes only even sizes.
  int32_t EncodedWidth() const { return FEncW; }
  int32_t EncodedHeight() const { return FEncH; }

 private:
  bool Fail(const std::string& Why);
  bool OpenEncoder(int32_t W, int32_t H);
  bool Send(bool Flush);

  struct TImpl;
  std::unique_ptr<TImpl> F;
  std::string FError, FFileName, FTempName, FCodecName;
  int32_t FRateNum = 25, FRateDen = 1;
  int32_t FEncW = 0, FEncH = 0;
  std::atomic<int64_t> FFrames{0};  // read by the caller while the capture thread writes
  int64_t FLastPts = -1;
  bool FFailed = false;
};
