#include "imaging/io/media_frames.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/capture.h"
#include "imaging/io/capture_writer.h"
#include "imaging/io/io_init.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include <set>

// ---- Format names ----------------------------------------------------------------------------------------

TQxGUID QxFourCCGUID(const char (&Code)[5]) {
  uint32_t D1 = static_cast<uint8_t>(Code[0]) | static_cast<uint8_t>(Code[1]) << 8 | static_cast<uint8_t>(Code[2]) << 16 |
                static_cast<uint32_t>(static_cast<uint8_t>(Code[3])) << 24;
  return TQxGUID{D1, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

namespace {

struct TSubtype {
  const char* Name;
  TQxGUID Guid;
};

constexpr TQxGUID RgbGuid(uint32_t D1) { return TQxGUID{D1, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}}; }

const std::vector<TSubtype>& Subtypes() {
  static const std::vector<TSubtype> Table = [] {
    std::vector<TSubtype> T;
    for (const char* C : {"CLPL", "YUYV", "IYUV", "YVU9", "Y411", "Y41P", "YUY2", "YVYU", "UYVY", "Y211", "YV12", "CLJR",
                          "IF09", "CPLA", "MJPG", "TVMJ", "WAKE", "CFCC", "IJPG", "Plum", "DVCS", "DVSD", "MDVF"}) {
      char Code[5] = {C[0], C[1], C[2], C[3], 0};
      T.push_back({C, QxFourCCGUID(Code)});
    }
    const char* Rgb[] = {"RGB1", "RGB4", "RGB8", "RGB565", "RGB555", "RGB24", "RGB32"};
    for (uint32_t I = 0; I < 7; ++I) T.push_back({Rgb[I], RgbGuid(0xE436EB78 + I)});
    T.push_back({"ARGB1555", TQxGUID{0x297C55AF, 0xE209, 0x4CB3, {0xB7, 0x57, 0xC7, 0x6D, 0x6B, 0x9C, 0x88, 0xA8}}});
    T.push_back({"ARGB4444", TQxGUID{0x6E6415E6, 0x5C24, 0x425F, {0x93, 0xCD, 0x80, 0x10, 0x2B, 0x3D, 0x1C, 0xCA}}});
    T.push_back({"ARGB32", TQxGUID{0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}}});
    for (const char* C : {"AYUV", "AI44", "IA44"}) {
      char Code[5] = {C[0], C[1], C[2], C[3], 0};
      T.push_back({C, QxFourCCGUID(Code)});
    }
    return T;
  }();
  return Table;
}

}  // namespace

std::string QxMediaSubtypeName(const TQxGUID& Subtype) {
  for (const TSubtype& S : Subtypes())
    if (S.Guid == Subtype) return S.Name;
  return {};
}

std::string QxVideoStandardNames(uint32_t Mask) {
  static const std::pair<uint32_t, const char*> kNames[] = {
      {0, "None"},          {0x1, "NTSC_M"},      {0x2, "NTSC_M_J"},     {0x4, "NTSC_433"},   {0x10, "PAL_B"},
      {0x20, "PAL_D"},      {0x80, "PAL_H"},      {0x100, "PAL_I"},      {0x200, "PAL_M"},    {0x400, "PAL_N"},
      {0x800, "PAL_60"},    {0x1000, "SECAM_B"},  {0x2000, "SECAM_D"},   {0x4000, "SECAM_G"}, {0x8000, "SECAM_H"},
      {0x10000, "SECAM_K"}, {0x20000, "SECAM_K1"}, {0x40000, "SECAM_L"}, {0x80000, "SECAM_L1"}, {0x100000, "PAL_N_COMBO"}};
  std::string S;
  for (auto [Bit, Name] : kNames)
    if (Bit & Mask) S += std::string(Name) + " ";
  if (!S.empty()) S.pop_back();
  return S;
}

// ---- The decoder ---------------------------------------------------------------------------------------

namespace {
constexpr AVRational kMediaTime{1, 10000000};  // 100-nanosecond units

// The containers a picture program opens as video: AVI, MPEG program and transport streams, ASF (WMV) and
// QuickTime/MP4. Playlists, concatenation lists and the like are refused, however the file is named:
// following them would fetch addresses (or other files) just because a file was selected.
constexpr const char* kMediaContainers = "avi,mpeg,mpegts,asf,mov,mp4";

}  // namespace

// The media libraries write their complaints to stderr; ours go to the debug log, when there is one.
void QxRouteMediaLog() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    av_log_set_callback([](void*, int Level, const char* Fmt, va_list Args) {
      if (Level > AV_LOG_ERROR || QxDebugLogFile.empty()) return;
      char Line[512];
      std::vsnprintf(Line, sizeof Line, Fmt, Args);
      std::string S(Line);
      while (!S.empty() && (S.back() == '\n' || S.back() == '\r')) S.pop_back();
      try {
        QxDebugLog("media: " + S);
      } catch (...) {
        // Nothing leaves a C callback.
      }
    });
  });
}

bool QxLooksLikeVideo(const std::string& FileName) {
  FILE* F = std::fopen(FileName.c_str(), "rb");
  if (!F) return false;
  uint8_t H[380] = {};
  const size_t N = std::fread(H, 1, sizeof H, F);
  std::fclose(F);
  if (N < 12) return false;
  auto Is = [&](size_t At, const char* Text) { return At + std::strlen(Text) <= N && std::memcmp(H + At, Text, std::strlen(Text)) == 0; };
  if (Is(0, "RIFF") && (Is(8, "AVI ") || Is(8, "AVIX"))) return true;
  static const uint8_t kAsf[8] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
  if (std::memcmp(H, kAsf, 8) == 0) return true;
  // MPEG program stream pack header or a bare sequence header.
  if (H[0] == 0 && H[1] == 0 && H[2] == 1 && (H[3] == 0xBA || H[3] == 0xB3)) return true;
  // Transport stream: the sync byte every 188 bytes.
  if (N >= 377 && H[0] == 0x47 && H[188] == 0x47 && H[376] == 0x47) return true;
  // QuickTime/MP4 atoms.
  for (const char* Atom : {"ftyp", "moov", "mdat", "wide", "free", "skip", "pnot"})
    if (Is(4, Atom)) return true;
  return false;
}

struct TQxDirectShow::TImpl {
  AVFormatContext* Fmt = nullptr;
  AVCodecContext* Dec = nullptr;
  AVFrame* Frame = nullptr;
  AVPacket* Pkt = nullptr;
  SwsContext* Sws = nullptr;
  int Stream = -1;
  AVRational Tb{1, 1};
  AVRational Rate{0, 1};
  int64_t Start = 0;
  bool HaveFrame = false;
  bool Drained = false;

  ~TImpl() {
    sws_freeContext(Sws);
    av_packet_free(&Pkt);
    av_frame_free(&Frame);
    avcodec_free_context(&Dec);
    avformat_close_input(&Fmt);
  }

  AVStream* St() const { return Fmt->streams[Stream]; }
  int64_t TsOf(const AVFrame* Fr) const {
    int64_t T = Fr->best_effort_timestamp != AV_NOPTS_VALUE ? Fr->best_effort_timestamp : Fr->pts;
    return T == AV_NOPTS_VALUE ? Start : T;
  }
  bool HaveRate() const { return Rate.num > 0 && Rate.den > 0; }
  // Timestamp in the stream's time base of frame Index.
  int64_t TsOfFrame(int64_t Index) const { return Start + av_rescale_q(Index, av_inv_q(Rate), Tb); }
  int64_t FrameOfTs(int64_t Ts) const { return av_rescale_q_rnd(Ts - Start, Tb, av_inv_q(Rate), AV_ROUND_NEAR_INF); }

  // Decodes the next frame of the video stream into Frame; false at the end.
  bool DecodeNext() {
    for (;;) {
      int R = avcodec_receive_frame(Dec, Frame);
      if (R == 0) {
        HaveFrame = true;
        return true;
      }
      if (R != AVERROR(EAGAIN) || Drained) return false;
      R = av_read_frame(Fmt, Pkt);
      if (R < 0) {
        Drained = true;
        avcodec_send_packet(Dec, nullptr);
        continue;
      }
      if (Pkt->stream_index == Stream) avcodec_send_packet(Dec, Pkt);
      av_packet_unref(Pkt);
    }
  }

  // Positions at the first frame whose time reaches Target (the stream's time base), or the last frame.
  void SeekTo(int64_t Target) {
    const int64_t Half = HaveRate() ? av_rescale_q(1, av_inv_q(Rate), Tb) / 2 : 0;
    // Near ahead of the current frame decoding on is cheaper than a seek.
    bool Forward = HaveFrame && TsOf(Frame) <= Target && Target - TsOf(Frame) <= av_rescale_q(2, AVRational{1, 1}, Tb);
    if (!Forward) {
      av_seek_frame(Fmt, Stream, Target, AVSEEK_FLAG_BACKWARD);
      avcodec_flush_buffers(Dec);
      Drained = false;
      HaveFrame = false;
    } else if (TsOf(Frame) >= Target - Half) {
      return;
    }
    AVFrame* Last = av_frame_alloc();
    bool HaveLast = false;
    while (DecodeNext()) {
      if (TsOf(Frame) >= Target - Half) {
        av_frame_free(&Last);
        return;
      }
      av_frame_unref(Last);
      av_frame_ref(Last, Frame);
      HaveLast = true;
    }
    // Past the end: the last frame there was.
    if (HaveLast) {
      av_frame_unref(Frame);
      av_frame_move_ref(Frame, Last);
      HaveFrame = true;
    }
    av_frame_free(&Last);
  }
};

namespace {
std::mutex LiveLock;
std::set<const void*>& Live() {
  static std::set<const void*> s;
  return s;
}
}  // namespace

TQxDirectShow::TQxDirectShow() {
  std::lock_guard<std::mutex> l(LiveLock);
  Live().insert(this);
}
TQxDirectShow::~TQxDirectShow() {
  {
    std::lock_guard<std::mutex> l(LiveLock);
    Live().erase(this);
  }
  Disconnect();
}

bool TQxDirectShow::IsAlive(const void* Object) {
  std::lock_guard<std::mutex> l(LiveLock);
  return Live().count(Object) != 0;
}

bool TQxDirectShow::Connected() const { return F != nullptr || FCapture != nullptr; }

void TQxDirectShow::Connect() {
  Disconnect();
  FLastError.clear();
  PostFrames = true;
  if (SourceMediaFile.empty()) {
    std::string Dev = VideoCaptureDevice;
    if (Dev.empty()) {
      std::vector<TQxCaptureDeviceInfo> All = QxCaptureDevices();
      if (All.empty()) {
        FLastError = "No video capture device is present";
        return;
      }
      Dev = All.front().Path;
    }
    auto C = std::make_unique<TQxV4L2Capture>();
    if (!C->Open(Dev)) {
      FLastError = C->Error();
      return;
    }
    FCapture = std::move(C);
    FillVideoFormats();
    FillCrossbarInputs();
    if (!CaptureOutputFile.empty() && !PrepareCapture()) FCapture.reset();
    return;
  }
  const std::string Url = SourceMediaFile;
  if (!QxLooksLikeVideo(Url)) {
    FLastError = "Not a video file: " + Url;
    return;
  }
  QxRouteMediaLog();
  auto I = std::make_unique<TImpl>();
  AVDictionary* Options = nullptr;
  av_dict_set(&Options, "protocol_whitelist", "file", 0);
  av_dict_set(&Options, "format_whitelist", kMediaContainers, 0);
  // The file protocol by name, so that a file name with a colon is never taken for another protocol.
  const int Opened = avformat_open_input(&I->Fmt, ("file:" + Url).c_str(), nullptr, &Options);
  av_dict_free(&Options);
  if (Opened < 0) {
    FLastError = "Cannot open " + Url;
    return;
  }
  if (avformat_find_stream_info(I->Fmt, nullptr) < 0) {
    FLastError = "No stream information in " + Url;
    return;
  }
  const AVCodec* Codec = nullptr;
  I->Stream = av_find_best_stream(I->Fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &Codec, 0);
  if (I->Stream < 0 || !Codec) {
    FLastError = "No video stream that can be decoded in " + Url;
    return;
  }
  I->Dec = avcodec_alloc_context3(Codec);
  if (!I->Dec || avcodec_parameters_to_context(I->Dec, I->St()->codecpar) < 0 || avcodec_open2(I->Dec, Codec, nullptr) < 0) {
    FLastError = "Cannot decode the video of " + Url;
    return;
  }
  if (static_cast<int64_t>(I->Dec->width) * I->Dec->height > MaxPixels) {
    FLastError = "The video's frames are larger than allowed: " + Url;
    return;
  }
  I->Frame = av_frame_alloc();
  I->Pkt = av_packet_alloc();
  I->Tb = I->St()->time_base;
  I->Rate = I->St()->avg_frame_rate.num > 0 ? I->St()->avg_frame_rate : I->St()->r_frame_rate;
  I->Start = I->St()->start_time != AV_NOPTS_VALUE ? I->St()->start_time : 0;
  F = std::move(I);
  if (!CaptureOutputFile.empty() && !PrepareCapture()) F.reset();
}

void TQxDirectShow::Disconnect() {
  StopGrabbing();
  FinishCapture();
  F.reset();
  FCapture.reset();
  CrossbarInputs.clear();
  FState = 0;
}

bool TQxDirectShow::Capturing() const { return FWriter && FWriter->Prepared(); }
int64_t TQxDirectShow::CapturedFrames() const { return FWriter ? FWriter->Frames() : 0; }

bool TQxDirectShow::PrepareCapture() {
  int32_t Num = 25, Den = 1;
  if (F && F->HaveRate()) Num = F->Rate.num, Den = F->Rate.den;
  if (FCapture) FCapture->FrameRate(Num, Den);
  FWriter = std::make_unique<TQxCaptureWriter>();
  if (!FWriter->Prepare(CaptureOutputFile, VideoCompressor, Num, Den)) {
    FLastError = FWriter->Error();
    return false;
  }
  FCaptureElapsed = 0;
  FHaveCaptureStart = false;
  return true;
}

void TQxDirectShow::FinishCapture() {
  try {
    if (Capturing() && !FWriter->Finish()) FLastError = FWriter->Error();
  } catch (...) {
    // Runs from the destructor too: the unfinished file is thrown away with the writer.
  }
}

void TQxDirectShow::CaptureFrame(TQxBitmap& Frame) {
  int64_t Time = 0;
  if (F && !FCapture) {
    const int64_t Ts = F->TsOf(F->Frame);
    if (!FHaveCaptureStart) {
      FCaptureStartTs = Ts;
      FHaveCaptureStart = true;
    }
    // Frames before the first one written (a seek backwards) fall before the start and are skipped.
    if (Ts < FCaptureStartTs) return;
    Time = av_rescale_q(Ts - FCaptureStartTs, F->Tb, kMediaTime);
  } else {
    Time = FCaptureElapsed +
           std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - FRunStart).count() / 100;
  }
  FWriter->Write(Frame, Time);
}


void TQxDirectShow::SetNotifyWindow(TQxView* Window, uint32_t FrameMessage, uint32_t EventMessage) {
  FNotifyWindow = Window;
  FFrameMessage = FrameMessage;
  FEventMessage = EventMessage;
}


void TQxDirectShow::Run() {
  if (!Connected()) return;
  // After a Stop the capture starts again, into a new file.
  if (!CaptureOutputFile.empty() && !Capturing() && !PrepareCapture()) return;
  FState = 2;
  const bool Show = (GrabFrames || RenderVideo) && FNotifyWindow;
  if ((!Show && !Capturing()) || FGrabbing) return;
  if (FGrabber.joinable()) FGrabber.join();
  FRunStart = std::chrono::steady_clock::now();
  FGrabbing = true;
  if (!FCapture) {
    FGrabber = std::thread([this] { PlayFile(); });
    return;
  }
  FGrabber = std::thread([this] {
    auto& Hooks = QxIOViewHooks();
    while (FGrabbing) {
      auto B = std::make_unique<TQxBitmap>();
      if (!FCapture->Grab(*B, 500)) {
        if (FCapture->Error().find("in time") != std::string::npos) continue;
        // The device went away or failed: the view hears of it once.
        if (FNotifyWindow && Hooks.PostToView)
          Hooks.PostToView(FNotifyWindow, FEventMessage, 0, reinterpret_cast<intptr_t>(this));
        break;
      }
      if (Capturing()) CaptureFrame(*B);
      {
        std::lock_guard<std::mutex> l(FLatestLock);
        FLatest = std::move(B);
      }
      if (FNotifyWindow && PostFrames && Hooks.PostToView)
        Hooks.PostToView(FNotifyWindow, FFrameMessage, 0, reinterpret_cast<intptr_t>(this));
    }
    FGrabbing = false;
  });
}
void TQxDirectShow::StopGrabbing() {
  const bool WasRunning = FGrabber.joinable();
  FGrabbing = false;
  if (FGrabber.joinable()) FGrabber.join();
  // A capture from a device resumes where it paused, without a gap in its times.
  if (WasRunning)
    FCaptureElapsed +=
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - FRunStart).count() / 100;
}

void TQxDirectShow::Pause() {
  if (!Connected()) return;
  StopGrabbing();
  FState = 1;
}
void TQxDirectShow::Stop() {
  if (!Connected()) return;
  StopGrabbing();
  FinishCapture();
  FState = 0;
}

void TQxDirectShow::SetTimeFormat(int32_t Index) {
  if (Index == 1 || Index == 5) FTimeFormat = Index;
}

int64_t TQxDirectShow::Duration() {
  if (!F) return 0;
  AVStream* S = F->St();
  int64_t Media = 0;
  if (S->duration != AV_NOPTS_VALUE && S->duration > 0) Media = av_rescale_q(S->duration, F->Tb, kMediaTime);
  else if (F->Fmt->duration != AV_NOPTS_VALUE && F->Fmt->duration > 0)
    Media = av_rescale_q(F->Fmt->duration, AV_TIME_BASE_Q, kMediaTime);
  if (FTimeFormat == 5) return Media;
  if (S->nb_frames > 0) return S->nb_frames;
  if (!F->HaveRate()) return Media;  // the frame format is not offered without a rate
  return av_rescale_q_rnd(Media, kMediaTime, av_inv_q(F->Rate), AV_ROUND_NEAR_INF);
}

int64_t TQxDirectShow::Position() {
  if (!F || !F->HaveFrame) return 0;
  int64_t Ts = F->TsOf(F->Frame);
  if (FTimeFormat == 1 && F->HaveRate()) return F->FrameOfTs(Ts);
  return av_rescale_q(Ts - F->Start, F->Tb, kMediaTime);
}

void TQxDirectShow::SetPosition(int64_t Value) {
  if (!F) return;
  // A seek while a file plays stops the playing thread first: the decoder is not shared.
  if (!FCapture && FGrabber.joinable()) {
    StopGrabbing();
    FState = 1;
  }
  Value = std::max<int64_t>(Value, 0);
  int64_t Target = FTimeFormat == 1 && F->HaveRate() ? F->TsOfFrame(Value) : F->Start + av_rescale_q(Value, kMediaTime, F->Tb);
  F->SeekTo(Target);
}

void TQxDirectShow::GetVideoFormat(int32_t& Width, int32_t& Height, std::string& FormatName) {
  if (FCapture) {
    FCapture->CurrentFormat(Width, Height, FormatName);
    return;
  }
  if (!F) return;
  Width = F->Dec->width;
  Height = F->Dec->height;
  uint32_t Tag = F->St()->codecpar->codec_tag;
  char Code[5] = {static_cast<char>(Tag & 0xFF), static_cast<char>((Tag >> 8) & 0xFF), static_cast<char>((Tag >> 16) & 0xFF),
                  static_cast<char>(Tag >> 24), 0};
  FormatName = Tag ? QxMediaSubtypeName(QxFourCCGUID(Code)) : std::string();
}

int64_t TQxDirectShow::AvgTimePerFrame() {
  if (!F || !F->HaveRate()) return 0;
  return av_rescale_q(1, av_inv_q(F->Rate), kMediaTime);
}

bool TQxDirectShow::GrabFrame(TQxBitmap* Bitmap, bool KeepSize) {
  if (FCapture && Bitmap) {
    if (FGrabber.joinable()) {
      std::lock_guard<std::mutex> l(FLatestLock);
      if (!FLatest) return false;
      Bitmap->AssignFrom(FLatest.get());
      return true;
    }
    if (!FCapture->Grab(*Bitmap)) {
      FLastError = FCapture->Error();
      return false;
    }
    return true;
  }
  if (!F || !Bitmap) return false;
  if (FGrabber.joinable()) {
    // A playing file: the frame shown last.
    std::lock_guard<std::mutex> l(FLatestLock);
    if (!FLatest) return false;
    Bitmap->AssignFrom(FLatest.get());
    return true;
  }
  (void)KeepSize;  // frames come at their own size; nothing is resampled back
  if (!F->HaveFrame) {
    if (!F->DecodeNext()) return false;
  }
  return CopyCurrentFrame(Bitmap);
}

bool TQxDirectShow::CopyCurrentFrame(TQxBitmap* Bitmap) {
  AVFrame* Fr = F->Frame;
  const int W = Fr->width, H = Fr->height;
  if (W <= 0 || H <= 0) return false;
  // A stream may change its frame size midway: the limit holds for every frame.
  if (static_cast<int64_t>(W) * H > MaxPixels) {
    FLastError = "The video frame is larger than allowed";
    return false;
  }
  F->Sws = sws_getCachedContext(F->Sws, W, H, static_cast<AVPixelFormat>(Fr->format), W, H, AV_PIX_FMT_BGR24, SWS_BICUBIC,
                                nullptr, nullptr, nullptr);
  if (!F->Sws) return false;
  // The scaler's vector code may write past a row's end: rows are 64-byte aligned with room after the last.
  const int Stride = (W * 3 + 63) & ~63;
  std::vector<uint8_t> Rgb(static_cast<size_t>(Stride) * H + 64);
  uint8_t* Dst[4] = {Rgb.data(), nullptr, nullptr, nullptr};
  int DstStride[4] = {Stride, 0, 0, 0};
  sws_scale(F->Sws, Fr->data, Fr->linesize, 0, H, Dst, DstStride);
  if ((Bitmap->Width() != W || Bitmap->Height() != H || Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) &&
      !Bitmap->Allocate(W, H, TQxPixelFormat::qx24RGB)) {
    FLastError = "Not enough memory for the video frame";
    return false;
  }
  for (int Y = 0; Y < H; ++Y) std::memcpy(Bitmap->Scanline(Y), Rgb.data() + static_cast<size_t>(Y) * Stride, size_t(W) * 3);
  return true;
}

// A media file plays on a thread of its own at its frame rate, from the current position to its end; each
// frame becomes the latest and the view is told of it.
void TQxDirectShow::PlayFile() {
  auto& Hooks = QxIOViewHooks();
  const double Delay = F->HaveRate() ? double(F->Rate.den) / double(F->Rate.num) : 0.04;
  auto Next = std::chrono::steady_clock::now();
  bool First = F->HaveFrame;
  while (FGrabbing) {
    if (!First && !F->DecodeNext()) {
      if (FNotifyWindow && Hooks.PostToView)
        Hooks.PostToView(FNotifyWindow, FEventMessage, 0, reinterpret_cast<intptr_t>(this));
      break;
    }
    First = false;
    auto B = std::make_unique<TQxBitmap>();
    if (!CopyCurrentFrame(B.get())) break;
    if (Capturing()) CaptureFrame(*B);
    {
      std::lock_guard<std::mutex> l(FLatestLock);
      FLatest = std::move(B);
    }
    if (FNotifyWindow && PostFrames && Hooks.PostToView) Hooks.PostToView(FNotifyWindow, FFrameMessage, 0, reinterpret_cast<intptr_t>(this));
    Next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(Delay));
    while (FGrabbing && std::chrono::steady_clock::now() < Next) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  FGrabbing = false;
}

void TQxDirectShow::SetVideoPosition(const TRect& Source, const TRect& Destination) {
  FVideoSource = Source;
  FVideoDest = Destination;
}

bool TQxDirectShow::GetNativeVideoSize(int32_t& Width, int32_t& Height) {
  std::string Name;
  int32_t W = 0, H = 0;
  GetVideoFormat(W, H, Name);
  if (W <= 0 || H <= 0) return false;
  Width = W;
  Height = H;
  return true;
}

void TQxDirectShow::RepaintVideo(TCanvas* Target) {
  if (!Target || !RenderVideo || FState == 0) return;
  std::lock_guard<std::mutex> l(FLatestLock);
  if (!FLatest || FVideoDest.Width() <= 0 || FVideoDest.Height() <= 0) return;
  TRect Src = FVideoSource;
  if (Src.Width() <= 0 || Src.Height() <= 0) Src = TRect(0, 0, FLatest->Width(), FLatest->Height());
  // Scaled on a 24-bit bitmap of its own, then copied: the window's pixels may be of any format.
  TBitmap Scaled(FVideoDest.Width(), FVideoDest.Height(), TPixelFormat::pf24bit);
  FLatest->DrawScaledToTBitmap(&Scaled, 0, 0, FVideoDest.Width(), FVideoDest.Height(), Src.Left, Src.Top, Src.Width(),
                               Src.Height());
  BitBlt(Target, FVideoDest.Left, FVideoDest.Top, FVideoDest.Width(), FVideoDest.Height(), Scaled.Canvas(), 0, 0,
         SRCCOPY);
}

void TQxDirectShow::FillVideoFormats() {
  // Files report the one format in use, through GetVideoFormat.
  VideoFormats.clear();
  if (FCapture) FCapture->Formats(VideoFormats);
}

void TQxDirectShow::FillCrossbarInputs() {
  CrossbarInputs.clear();
  if (FCapture) FCapture->Inputs(CrossbarInputs);
}
