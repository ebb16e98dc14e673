// Frames of video files and capture devices. TQxDirectShow opens a media file (or a Video4Linux2 capture
// device), seeks by frame or by media time and copies the current frame into a TQxBitmap; the work is
// done by the FFmpeg libraries.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/types.h"
#include "platform/ui/component.h"

class TBitmap;
class TCanvas;
class TQxBitmap;
class TQxView;
class TQxV4L2Capture;
class TQxCaptureWriter;

// A 128-bit identifier of a video format, in the usual field layout.
struct TQxGUID {
  uint32_t D1;
  uint16_t D2, D3;
  uint8_t D4[8];
  friend bool operator==(const TQxGUID&, const TQxGUID&) = default;
};

// The identifier of a four-character video format code.
TQxGUID QxFourCCGUID(const char (&Code)[5]);
// The name of a video format identifier ("RGB24", "MJPG", ...); empty for one outside the table.
std::string QxMediaSubtypeName(const TQxGUID& Subtype);
// The names of the video standards in Mask, separated by single blanks ("" for none).
std::string QxVideoStandardNames(uint32_t Mask);

// Sends the media libraries' messages to the debug log instead of stderr (once per process).
void QxRouteMediaLog();

// Whether the file starts as one of the video containers opened for frames (AVI, MPEG, ASF, QuickTime/MP4):
// a cheap look at its first bytes, so that other files never reach the media libraries.
bool QxLooksLikeVideo(const std::string& FileName);

// One capture format of a device.
class TQxVideoFormat : public TObject {
 public:
  std::string ClassName() const override { return "TQxVideoFormat"; }
  std::string FormatName;
  int32_t BitRate = 0;
  std::string VideoStandards;
  int32_t MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0, WidthGranularity = 0, HeightGranularity = 0;
};

// Messages to the view window: a new frame, a graph event (lParam: the TQxDirectShow).
inline constexpr uint32_t QX_DSHOW_NEWFRAME = 0x0400 + 7001;
inline constexpr uint32_t QX_DSHOW_EVENT = 0x0400 + 7002;

class TQxDirectShow : public TObject {
 public:
  TQxDirectShow();
  ~TQxDirectShow() override;
  std::string ClassName() const override { return "TQxDirectShow"; }

  // ---- configuration, before Connect
  std::string SourceMediaFile;
  // A capture device such as "/dev/video0", used when no media file is set; empty takes the first
  // capture device there is.
  std::string VideoCaptureDevice;
  bool GrabFrames = false;
  // Frames of more pixels than this are refused (the picture readers' limit).
  int64_t MaxPixels = int64_t(1) << 30;
  // The capture output file: a running file or device writes every frame it takes to it, at the time it
  // was taken. Its extension, ".avi" or ".asf" in any case, chooses the container; VideoCompressor names
  // the video encoder ("" is uncompressed 24-bit colour in AVI and the container's usual codec in ASF).
  // Connect fails, with LastError saying why, when the file cannot be written; Run starts writing (a new
  // file after a Stop), Pause holds it, Stop and Disconnect complete it. The file appears under its name
  // only once complete; when completing fails LastError says why and nothing is left behind.
  std::string CaptureOutputFile;
  std::string VideoCompressor;
  // Whether a capture file is open, and the frames written to the current or last one.
  bool Capturing() const;
  int64_t CapturedFrames() const;

  // Opens the file or the device; on failure Connected stays false and LastError says why ("No video
  // capture device: ..." when there is none).
  void Connect();
  void Disconnect();
  bool Connected() const;
  std::string LastError() const { return FLastError; }

  // 0 stopped, 1 paused, 2 running. A running capture device with GrabFrames and a notification view, or
  // with a capture file, takes frames on a thread of its own and posts the frame message to the view for
  // each one while PostFrames is set; otherwise frames are taken on request.
  void Run();
  void Pause();
  void Stop();
  int32_t State() const { return FState; }

  // 0 none, 1 frame, 2 byte, 3 sample, 4 field, 5 media time (100-nanosecond units); only frame and
  // media time are offered by files, other indexes change nothing.
  void SetTimeFormat(int32_t Index);
  int32_t GetTimeFormat() const { return FTimeFormat; }
  int64_t Duration();
  int64_t Position();
  // Seeks to Value in the current time format; the frame found there becomes the current one.
  void SetPosition(int64_t Value);

  void GetVideoFormat(int32_t& Width, int32_t& Height, std::string& FormatName);
  // 100-nanosecond units; 0 when the file does not say.
  int64_t AvgTimePerFrame();
  // The current frame into Bitmap as 24-bit RGB (reallocated to the frame's size). False when there is
  // no frame.
  bool GrabFrame(TQxBitmap* Bitmap, bool KeepSize);

  // Video shown in the notification view: RepaintVideo draws the latest frame, SetVideoPosition says which
  // part of the frame goes where. A running file or device with RenderVideo (or GrabFrames) and a view, or
  // with a capture file, plays on a thread of its own and posts the frame message for every frame.
  bool RenderVideo = false;
  void SetVideoPosition(const TRect& Source, const TRect& Destination);
  // The size of the video's frames; false when it is not known.
  bool GetNativeVideoSize(int32_t& Width, int32_t& Height);
  // Draws the latest frame on the view's window canvas (its origin and clip region apply) while paused or
  // running.
  void RepaintVideo(TCanvas* Target);

  // Formats a capture device offers (left empty for files).
  std::vector<std::unique_ptr<TQxVideoFormat>> VideoFormats;
  void FillVideoFormats();
  void ClearVideoFormats() { VideoFormats.clear(); }
  // The names of a capture device's video inputs ("Composite", "S-Video", "Television", ...); empty for
  // files.
  std::vector<std::string> CrossbarInputs;
  void FillCrossbarInputs();

  // The view told about frames (FrameMessage) and capture events (EventMessage); lParam is this object.
  void SetNotifyWindow(TQxView* Window, uint32_t FrameMessage, uint32_t EventMessage);
  TQxView* NotifyWindow() const { return FNotifyWindow; }
  // Cleared by the view while it handles a frame message, so that frames arriving meanwhile are not queued.
  std::atomic<bool> PostFrames{true};
  // True while Object is a capture object that has not been destroyed: a posted message may outlive it.
  static bool IsAlive(const void* Object);

 private:
  void StopGrabbing();
  void PlayFile();
  bool PrepareCapture();
  void FinishCapture();
  // Writes a frame taken now (a device) or at its own time (a file) to the capture file.
  void CaptureFrame(TQxBitmap& Frame);
  std::unique_ptr<TQxCaptureWriter> FWriter;
  int64_t FCaptureElapsed = 0;  // running time of the capture before the last Run, 100-nanosecond units
  std::chrono::steady_clock::time_point FRunStart;
  int64_t FCaptureStartTs = 0;
  bool FHaveCaptureStart = false;
  bool CopyCurrentFrame(TQxBitmap* Bitmap);
  TRect FVideoSource, FVideoDest;
  std::unique_ptr<TQxV4L2Capture> FCapture;
  TQxView* FNotifyWindow = nullptr;
  uint32_t FFrameMessage = QX_DSHOW_NEWFRAME, FEventMessage = QX_DSHOW_EVENT;
  std::thread FGrabber;
  std::atomic<bool> FGrabbing{false};
  std::mutex FLatestLock;
  std::unique_ptr<TQxBitmap> FLatest;

  struct TImpl;
  std::unique_ptr<TImpl> F;
  std::string FLastError;
  int32_t FState = 0;
  int32_t FTimeFormat = 5;
};
