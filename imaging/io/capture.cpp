#include "imaging/io/capture.h"

#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/media_frames.h"

namespace {

// ioctl through the conversion library, retried when a signal interrupts it.
int Xioctl(int Fd, unsigned long Request, void* Arg) {
  int r;
  do {
    r = v4l2_ioctl(Fd, Request, Arg);
  } while (r == -1 && errno == EINTR);
  return r;
}

std::string Text(const uint8_t* S, size_t N) {
  size_t n = 0;
  while (n < N && S[n]) ++n;
  return std::string(reinterpret_cast<const char*>(S), n);
}

bool IsCaptureDevice(const v4l2_capability& Cap) {
  const uint32_t caps = (Cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? Cap.device_caps : Cap.capabilities;
  return (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

// Opens Path when it is a video capture device: asked directly first, so that other files are turned
// away before the conversion library takes the descriptor. -1 otherwise, Cap filled on success.
int OpenCaptureDevice(const std::string& Path, v4l2_capability& Cap) {
  struct stat st;
  if (::stat(Path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return -1;
  const int fd = ::open(Path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  int r;
  do {
    r = ::ioctl(fd, VIDIOC_QUERYCAP, &Cap);
  } while (r == -1 && errno == EINTR);
  if (r != 0 || !IsCaptureDevice(Cap)) {
    ::close(fd);
    return -1;
  }
  const int v = v4l2_fd_open(fd, 0);
  if (v < 0) ::close(fd);
  return v;
}

}  // namespace

std::vector<TQxCaptureDeviceInfo> QxCaptureDevices(const std::string& Dir) {
  std::vector<std::string> paths;
  if (DIR* d = opendir(Dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strncmp(e->d_name, "video", 5) == 0) paths.push_back(Dir + "/" + e->d_name);
    closedir(d);
  }
  std::sort(paths.begin(), paths.end());
  std::vector<TQxCaptureDeviceInfo> out;
  for (const std::string& p : paths) {
    v4l2_capability cap{};
    const int fd = OpenCaptureDevice(p, cap);
    if (fd < 0) continue;
    out.push_back({p, Text(cap.card, sizeof cap.card), Text(cap.driver, sizeof cap.driver),
                   Text(cap.bus_info, sizeof cap.bus_info)});
    v4l2_close(fd);
  }
  return out;
}

std::string QxV4L2FormatName(uint32_t PixelFormat) {
  switch (PixelFormat) {
    case V4L2_PIX_FMT_YUYV: return "YUY2";
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_RGB24: return "RGB24";
    case V4L2_PIX_FMT_BGR32:
    case V4L2_PIX_FMT_XBGR32: return "RGB32";
    case V4L2_PIX_FMT_ABGR32: return "ARGB32";
    case V4L2_PIX_FMT_RGB565: return "RGB565";
    case V4L2_PIX_FMT_RGB555: return "RGB555";
    case V4L2_PIX_FMT_YUV420: return "IYUV";
    default: break;
  }
  const char code[5] = {static_cast<char>(PixelFormat & 0xFF), static_cast<char>((PixelFormat >> 8) & 0xFF),
                        static_cast<char>((PixelFormat >> 16) & 0xFF), static_cast<char>((PixelFormat >> 24) & 0xFF), 0};
  return QxMediaSubtypeName(QxFourCCGUID(code));
}

uint32_t QxV4L2StandardMask(uint64_t Standards) {
  static const std::pair<uint64_t, uint32_t> map[] = {
      {V4L2_STD_NTSC_M, 0x1},        {V4L2_STD_NTSC_M_JP, 0x2},     {V4L2_STD_NTSC_443, 0x4},
      {V4L2_STD_PAL_B, 0x10},        {V4L2_STD_PAL_D, 0x20},        {V4L2_STD_PAL_H, 0x80},
      {V4L2_STD_PAL_I, 0x100},       {V4L2_STD_PAL_M, 0x200},       {V4L2_STD_PAL_N, 0x400},
      {V4L2_STD_PAL_60, 0x800},      {V4L2_STD_SECAM_B, 0x1000},    {V4L2_STD_SECAM_D, 0x2000},
      {V4L2_STD_SECAM_G, 0x4000},    {V4L2_STD_SECAM_H, 0x8000},    {V4L2_STD_SECAM_K, 0x10000},
      {V4L2_STD_SECAM_K1, 0x20000},  {V4L2_STD_SECAM_L, 0x40000},   {V4L2_STD_SECAM_LC, 0x80000},
      {V4L2_STD_PAL_Nc, 0x100000}};
  uint32_t m = 0;
  for (auto [v4l, mask] : map)
    if (Standards & v4l) m |= mask;
  return m;
}

TQxV4L2Capture::~TQxV4L2Capture() { Close(); }

bool TQxV4L2Capture::Open(const std::string& Path) {
  Close();
  FError.clear();
  struct stat st;
  if (::stat(Path.c_str(), &st) != 0) {
    FError = "No video capture device: " + Path + " does not exist";
    return false;
  }
  v4l2_capability cap{};
  errno = 0;
  FFd = OpenCaptureDevice(Path, cap);
  if (FFd < 0) {
    FError = errno == EACCES || errno == EBUSY
                 ? "The video capture device " + Path + " cannot be opened: " + std::strerror(errno)
                 : Path + " is not a video capture device";
    return false;
  }
  return true;
}

void TQxV4L2Capture::Close() {
  if (FFd >= 0) v4l2_close(FFd);
  FFd = -1;
  FRgbSet = false;
}

void TQxV4L2Capture::Formats(std::vector<std::unique_ptr<TQxVideoFormat>>& Out) {
  Out.clear();
  if (FFd < 0) return;
  std::string standards;
  v4l2_std_id std = 0;
  if (Xioctl(FFd, VIDIOC_G_STD, &std) == 0) standards = QxVideoStandardNames(QxV4L2StandardMask(std));
  // A device may list thousands of sizes; a few hundred entries are plenty for a chooser.
  constexpr size_t MaxEntries = 512;
  for (uint32_t i = 0; i < 256 && Out.size() < MaxEntries; ++i) {
    v4l2_fmtdesc fd{};
    fd.index = i;
    fd.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Xioctl(FFd, VIDIOC_ENUM_FMT, &fd) != 0) break;
    const std::string name = QxV4L2FormatName(fd.pixelformat);
    auto add = [&](int32_t MinW, int32_t MinH, int32_t MaxW, int32_t MaxH, int32_t GW, int32_t GH) {
      auto f = std::make_unique<TQxVideoFormat>();
      f->FormatName = name;
      f->VideoStandards = standards;
      f->MinWidth = MinW, f->MinHeight = MinH, f->MaxWidth = MaxW, f->MaxHeight = MaxH;
      f->WidthGranularity = GW, f->HeightGranularity = GH;
      Out.push_back(std::move(f));
    };
    bool any = false;
    for (uint32_t k = 0; k < 1024 && Out.size() < MaxEntries; ++k) {
      v4l2_frmsizeenum fs{};
      fs.index = k;
      fs.pixel_format = fd.pixelformat;
      if (Xioctl(FFd, VIDIOC_ENUM_FRAMESIZES, &fs) != 0) break;
      any = true;
      if (fs.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
        add(fs.discrete.width, fs.discrete.height, fs.discrete.width, fs.discrete.height, 0, 0);
      } else {
        add(fs.stepwise.min_width, fs.stepwise.min_height, fs.stepwise.max_width, fs.stepwise.max_height,
            fs.stepwise.step_width, fs.stepwise.step_height);
        break;
      }
    }
    if (!any) {
      // No size list: the size set now is the one offered.
      v4l2_format f{};
      f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      if (Xioctl(FFd, VIDIOC_G_FMT, &f) == 0) add(f.fmt.pix.width, f.fmt.pix.height, f.fmt.pix.width, f.fmt.pix.height, 0, 0);
    }
  }
}

bool TQxV4L2Capture::CurrentFormat(int32_t& Width, int32_t& Height, std::string& Name) {
  if (FFd < 0) return false;
  v4l2_format f{};
  f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (Xioctl(FFd, VIDIOC_G_FMT, &f) != 0) return false;
  Width = static_cast<int32_t>(f.fmt.pix.width);
  Height = static_cast<int32_t>(f.fmt.pix.height);
  Name = QxV4L2FormatName(f.fmt.pix.pixelformat);
  return true;
}

void TQxV4L2Capture::Inputs(std::vector<std::string>& Out) {
  Out.clear();
  if (FFd < 0) return;
  for (uint32_t i = 0; i < 64; ++i) {
    v4l2_input in{};
    in.index = i;
    if (Xioctl(FFd, VIDIOC_ENUMINPUT, &in) != 0) break;
    Out.push_back(Text(in.name, sizeof in.name));
  }
}

void TQxV4L2Capture::FrameRate(int32_t& Num, int32_t& Den) {
  if (FFd < 0) return;
  v4l2_streamparm p{};
  p.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (Xioctl(FFd, VIDIOC_G_PARM, &p) != 0) return;
  // The device gives the time per frame; the rate is its inverse.
  const v4l2_fract t = p.parm.capture.timeperframe;
  if (t.numerator == 0 || t.denominator == 0 || t.denominator > INT32_MAX || t.numerator > INT32_MAX) return;
  Num = static_cast<int32_t>(t.denominator);
  Den = static_cast<int32_t>(t.numerator);
}

bool TQxV4L2Capture::SetRgbFormat() {
  if (FRgbSet) return true;
  v4l2_format f{};
  f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (Xioctl(FFd, VIDIOC_G_FMT, &f) != 0) {
    FError = "The capture device does not report its format";
    return false;
  }
  // The conversion library turns whatever the device sends into blue-green-red rows.
  f.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
  f.fmt.pix.field = V4L2_FIELD_ANY;
  if (Xioctl(FFd, VIDIOC_S_FMT, &f) != 0 || f.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24) {
    FError = "The capture device's frames cannot be converted to colour pictures";
    return false;
  }
  FWidth = f.fmt.pix.width;
  FHeight = f.fmt.pix.height;
  FBytesPerLine = std::max<uint32_t>(f.fmt.pix.bytesperline, FWidth * 3);
  FSizeImage = std::max<uint32_t>(f.fmt.pix.sizeimage, FBytesPerLine * FHeight);
  if (FWidth == 0 || FHeight == 0 || FWidth > 16384 || FHeight > 16384) {
    FError = "The capture device reports a frame size this library does not take";
    return false;
  }
  FRgbSet = true;
  return true;
}

bool TQxV4L2Capture::Grab(TQxBitmap& Bitmap, int TimeoutMs) {
  if (FFd < 0) {
    FError = "No video capture device is open";
    return false;
  }
  if (!SetRgbFormat()) return false;
  std::vector<uint8_t> buf(FSizeImage);
  for (;;) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(FFd, &set);
    timeval tv{TimeoutMs / 1000, (TimeoutMs % 1000) * 1000};
    const int r = select(FFd + 1, &set, nullptr, nullptr, &tv);
    if (r == -1 && errno == EINTR) continue;
    if (r <= 0) {
      FError = r == 0 ? "The capture device sent no frame in time" : std::string("Waiting for a frame failed: ") + std::strerror(errno);
      return false;
    }
    const ssize_t n = v4l2_read(FFd, buf.data(), buf.size());
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n < static_cast<ssize_t>(static_cast<size_t>(FBytesPerLine) * (FHeight - 1) + FWidth * 3)) {
      FError = n < 0 ? std::string("Reading a frame failed: ") + std::strerror(errno) : "The capture device sent a short frame";
      return false;
    }
    break;
  }
  if (!Bitmap.Allocate(static_cast<int32_t>(FWidth), static_cast<int32_t>(FHeight), TQxPixelFormat::qx24RGB)) {
    FError = "Not enough memory for the frame";
    return false;
  }
  for (uint32_t y = 0; y < FHeight; ++y)
    std::memcpy(Bitmap.Scanline(static_cast<int32_t>(y)), buf.data() + static_cast<size_t>(y) * FBytesPerLine, FWidth * 3);
  return true;
}
