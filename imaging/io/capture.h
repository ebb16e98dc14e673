#pragma once
// Video capture devices through Video4Linux2: which devices there are, the formats each offers, and
// single frames taken from one, converted to 24-bit colour by the V4L2 conversion library.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TQxBitmap;
class TQxVideoFormat;

struct TQxCaptureDeviceInfo {
  std::string Path;     // "/dev/video0"
  std::string Name;     // the card's name
  std::string Driver;
  std::string BusInfo;
};

// The video capture devices under Dir, in name order; empty when there are none.
std::vector<TQxCaptureDeviceInfo> QxCaptureDevices(const std::string& Dir = "/dev");
// The media-subtype name of a V4L2 pixel format ("YUY2" for YUYV, "MJPG", "RGB24", ...); empty when
// the table has no name for it.
std::string QxV4L2FormatName(uint32_t PixelFormat);
// A V4L2 video standard set as the bit mask of the video standard names (QxVideoStandardNames).
uint32_t QxV4L2StandardMask(uint64_t Standards);

class TQxV4L2Capture {
 public:
  TQxV4L2Capture() = default;
  ~TQxV4L2Capture();
  TQxV4L2Capture(const TQxV4L2Capture&) = delete;
  TQxV4L2Capture& operator=(const TQxV4L2Capture&) = delete;

  // False, with Error saying why, when Path is missing or is not a video capture device.
  bool Open(const std::string& Path);
  void Close();
  bool IsOpen() const { return FFd >= 0; }
  const std::string& Error() const { return FError; }

  // One entry per pixel format and frame size the device offers.
  void Formats(std::vector<std::unique_ptr<TQxVideoFormat>>& Out);
  // The format frames arrive in.
  bool CurrentFormat(int32_t& Width, int32_t& Height, std::string& Name);
  // The names of the device's video inputs, in the device's order.
  void Inputs(std::vector<std::string>& Out);
  // Frames per second as Num/Den; both left as they were when the device does not say.
  void FrameRate(int32_t& Num, int32_t& Den);
  // Waits at most TimeoutMs for a frame and copies it into Bitmap as qx24RGB.
  bool Grab(TQxBitmap& Bitmap, int TimeoutMs = 5000);

 private:
  bool SetRgbFormat();
  int FFd = -1;
  std::string FError;
  bool FRgbSet = false;
  uint32_t FWidth = 0, FHeight = 0, FBytesPerLine = 0, FSizeImage = 0;
};
