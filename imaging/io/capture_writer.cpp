#include "imaging/io/capture_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/media_frames.h"

namespace {

constexpr AVRational kMediaTime{1, 10000000};

std::string LowerExtension(const std::string& Name) {
  const size_t Slash = Name.find_last_of('/');
  const size_t Dot = Name.find_last_of('.');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return {};
  std::string E = Name.substr(Dot);
  for (char& C : E) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return E;
}

// The permission bits a new file gets, read without changing the process's mask (other threads may be
// creating files meanwhile).
mode_t ProcessUmask() {
  std::ifstream Status("/proc/self/status");
  std::string Key;
  while (Status >> Key) {
    if (Key == "Umask:") {
      std::string V;
      Status >> V;
      return static_cast<mode_t>(std::strtoul(V.c_str(), nullptr, 8));
    }
  }
  return 022;
}

}  // namespace

struct TQxCaptureWriter::TImpl {
  AVFormatContext* Oc = nullptr;
  const AVCodec* Codec = nullptr;
  AVCodecContext* Enc = nullptr;
  AVStream* St = nullptr;
  AVFrame* Frame = nullptr;
  AVPacket* Pkt = nullptr;
  SwsContext* ToEnc = nullptr;
  SwsContext* Resize = nullptr;
  std::vector<uint8_t> Bgr;  // the frame in blue-green-red rows at the encoded size
  int32_t BgrStride = 0;
  int32_t SrcW = 0, SrcH = 0;  // the first frame's size: later frames are scaled to it
  bool HeaderWritten = false;

  ~TImpl() {
    sws_freeContext(ToEnc);
    sws_freeContext(Resize);
    av_packet_free(&Pkt);
    av_frame_free(&Frame);
    avcodec_free_context(&Enc);
    if (Oc) {
      avio_closep(&Oc->pb);
      avformat_free_context(Oc);
    }
  }
};

TQxCaptureWriter::TQxCaptureWriter() = default;
TQxCaptureWriter::~TQxCaptureWriter() { Abandon(); }

bool TQxCaptureWriter::Prepared() const { return F != nullptr; }

bool TQxCaptureWriter::Fail(const std::string& Why) {
  if (!FFailed) FError = Why;
  FFailed = true;
  return false;
}

void TQxCaptureWriter::Abandon() {
  F.reset();
  if (!FTempName.empty()) ::unlink(FTempName.c_str());
  FTempName.clear();
}

bool TQxCaptureWriter::Prepare(const std::string& FileName, const std::string& Codec, int32_t RateNum, int32_t RateDen) {
  Abandon();
  FError.clear();
  FFailed = false;
  FFrames = 0;
  FLastPts = -1;
  FEncW = FEncH = 0;
  FFileName = FileName;
  QxRouteMediaLog();
  const std::string Ext = LowerExtension(FileName);
  if (Ext != ".avi" && Ext != ".asf") {
    FError = "Capture files are written as .avi or .asf: " + FileName;
    return false;
  }
  const AVOutputFormat* Format = av_guess_format(Ext.substr(1).c_str(), nullptr, nullptr);
  if (!Format) {
    FError = "The media libraries cannot write " + Ext + " files";
    return false;
  }
  const AVCodec* Enc = nullptr;
  if (!Codec.empty()) Enc = avcodec_find_encoder_by_name(Codec.c_str());
  else if (Ext == ".avi") Enc = avcodec_find_encoder(AV_CODEC_ID_RAWVIDEO);
  else Enc = avcodec_find_encoder(Format->video_codec);
  if (!Enc || Enc->type != AVMEDIA_TYPE_VIDEO) {
    FError = "No video encoder " + (Codec.empty() ? std::string(avcodec_get_name(Format->video_codec)) : Codec) +
             " is available for " + FileName;
    return false;
  }
  if (avformat_query_codec(Format, Enc->id, FF_COMPLIANCE_NORMAL) != 1) {
    FError = std::string("Video of the ") + Enc->name + " encoder cannot be stored in " + Ext + " files";
    return false;
  }
  FCodecName = Enc->name;
  // A rate of 1 to 1000 frames per second; anything else takes 25.
  if (RateNum <= 0 || RateDen <= 0 || RateNum > int64_t(RateDen) * 1000) RateNum = 25, RateDen = 1;
  FRateNum = RateNum;
  FRateDen = RateDen;

  const size_t Slash = FileName.find_last_of('/');
  const std::string Dir = Slash == std::string::npos ? "." : Slash == 0 ? "/" : FileName.substr(0, Slash);
  const std::string Base = Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
  struct stat St;
  if (Base.empty() || (::stat(FileName.c_str(), &St) == 0 && S_ISDIR(St.st_mode))) {
    FError = "Not a file name: " + FileName;
    return false;
  }
  if (::stat(Dir.c_str(), &St) != 0 || !S_ISDIR(St.st_mode)) {
    FError = "The folder of " + FileName + " does not exist";
    return false;
  }
  std::string Temp = Dir + "/." + Base + ".XXXXXX";
  const int Fd = ::mkstemp(Temp.data());
  if (Fd < 0) {
    FError = "The folder of " + FileName + " cannot be written: " + std::strerror(errno);
    return false;
  }
  ::fchmod(Fd, 0666 & ~ProcessUmask());
  ::close(Fd);
  FTempName = Temp;

  auto I = std::make_unique<TImpl>();
  I->Codec = Enc;
  if (avformat_alloc_output_context2(&I->Oc, Format, nullptr, nullptr) < 0 || !I->Oc) {
    Abandon();
    FError = "The media libraries cannot write " + Ext + " files";
    return false;
  }
  // The file protocol only, by name, so that no part of the name is taken for another protocol.
  AVDictionary* Options = nullptr;
  av_dict_set(&Options, "protocol_whitelist", "file", 0);
  const int Opened = avio_open2(&I->Oc->pb, ("file:" + Temp).c_str(), AVIO_FLAG_WRITE, nullptr, &Options);
  av_dict_free(&Options);
  if (Opened < 0) {
    Abandon();
    FError = "The folder of " + FileName + " cannot be written";
    return false;
  }
  F = std::move(I);
  return true;
}

bool TQxCaptureWriter::OpenEncoder(int32_t W, int32_t H) {
  const AVCodec* C = F->Codec;
  // Uncompressed video (an encoder that takes any format) keeps the frames' own 24-bit colour.
  // Otherwise the encoder's format that loses least of them (full colour resolution where it has one).
  AVPixelFormat Pix = AV_PIX_FMT_BGR24;
  if (C->pix_fmts) {
    int Loss = 0;
    Pix = avcodec_find_best_pix_fmt_of_list(C->pix_fmts, AV_PIX_FMT_BGR24, 0, &Loss);
    if (Pix == AV_PIX_FMT_NONE) Pix = C->pix_fmts[0];
  }
  // Encoders of subsampled colour may refuse odd sizes: such frames are encoded one pixel wider or taller,
  // the last column or row repeated, rather than losing a row of the picture.
  for (int Try = 0; Try < 2; ++Try) {
    const int32_t EW = Try == 0 ? W : (W + 1) & ~1, EH = Try == 0 ? H : (H + 1) & ~1;
    if (Try == 1 && EW == W && EH == H) break;
    avcodec_free_context(&F->Enc);
    F->Enc = avcodec_alloc_context3(C);
    if (!F->Enc) return Fail("Not enough memory for the video encoder");
    AVCodecContext* E = F->Enc;
    E->width = EW;
    E->height = EH;
    E->pix_fmt = Pix;
    E->time_base = AVRational{FRateDen, FRateNum};
    E->framerate = AVRational{FRateNum, FRateDen};
    E->sample_aspect_ratio = AVRational{1, 1};
    if (C->id != AV_CODEC_ID_RAWVIDEO) {
      // A fixed, high quality rather than a bit rate that depends on the picture size.
      E->flags |= AV_CODEC_FLAG_QSCALE;
      E->global_quality = FF_QP2LAMBDA * 2;
      E->gop_size = 12;
      E->max_b_frames = 0;
    }
    if (F->Oc->oformat->flags & AVFMT_GLOBALHEADER) E->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(E, C, nullptr) == 0) {
      FEncW = EW;
      FEncH = EH;
      break;
    }
    avcodec_free_context(&F->Enc);
  }
  if (!F->Enc) return Fail("The " + FCodecName + " encoder does not take frames of " + std::to_string(W) + "x" + std::to_string(H));
  F->St = avformat_new_stream(F->Oc, nullptr);
  if (!F->St || avcodec_parameters_from_context(F->St->codecpar, F->Enc) < 0) return Fail("Not enough memory for the video stream");
  F->St->time_base = F->Enc->time_base;
  F->St->avg_frame_rate = F->Enc->framerate;
  if (avformat_write_header(F->Oc, nullptr) < 0) return Fail("Writing the start of " + FFileName + " failed");
  F->HeaderWritten = true;
  F->Frame = av_frame_alloc();
  F->Pkt = av_packet_alloc();
  if (!F->Frame || !F->Pkt) return Fail("Not enough memory for the video encoder");
  F->Frame->format = F->Enc->pix_fmt;
  F->Frame->width = FEncW;
  F->Frame->height = FEncH;
  if (av_frame_get_buffer(F->Frame, 0) < 0) return Fail("Not enough memory for the video encoder");
  F->ToEnc = sws_getContext(FEncW, FEncH, AV_PIX_FMT_BGR24, FEncW, FEncH, F->Enc->pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND,
                            nullptr, nullptr, nullptr);
  if (!F->ToEnc) return Fail("The frames cannot be converted for the " + FCodecName + " encoder");
  F->SrcW = W;
  F->SrcH = H;
  // The scaler's vector code may write past a row's end: rows are 64-byte aligned with room after the last.
  F->BgrStride = (FEncW * 3 + 63) & ~63;
  F->Bgr.assign(static_cast<size_t>(F->BgrStride) * FEncH + 64, 0);
  return true;
}

bool TQxCaptureWriter::Send(bool Flush) {
  for (;;) {
    const int R = avcodec_receive_packet(F->Enc, F->Pkt);
    if (R == AVERROR(EAGAIN) || (Flush && R == AVERROR_EOF)) return true;
    if (R < 0) return Fail("Encoding the video for " + FFileName + " failed");
    av_packet_rescale_ts(F->Pkt, F->Enc->time_base, F->St->time_base);
    F->Pkt->stream_index = F->St->index;
    if (av_interleaved_write_frame(F->Oc, F->Pkt) < 0 || F->Oc->pb->error < 0) {
      av_packet_unref(F->Pkt);
      return Fail("Writing " + FFileName + " failed (is the disk full?)");
    }
  }
}

bool TQxCaptureWriter::Write(TQxBitmap& Frame, int64_t Time) {
  if (!F || FFailed) return false;
  const int32_t W = Frame.Width(), H = Frame.Height();
  if (W <= 0 || H <= 0 || Frame.PixelFormat() != TQxPixelFormat::qx24RGB) return false;
  if (!F->Enc && !OpenEncoder(W, H)) return false;
  const int64_t Pts = av_rescale_q_rnd(std::max<int64_t>(Time, 0), kMediaTime, F->Enc->time_base, AV_ROUND_NEAR_INF);
  if (Pts <= FLastPts) return true;  // still the slot of the frame before

  // The frame at the first frame's size, in rows of the encoded size.
  TQxBitmap& B = Frame;
  uint8_t* Dst = F->Bgr.data();
  if (W == F->SrcW && H == F->SrcH) {
    for (int32_t Y = 0; Y < H; ++Y) std::memcpy(Dst + static_cast<size_t>(Y) * F->BgrStride, B.ScanlineToRead(Y), size_t(W) * 3);
  } else {
    const int SrcStride = (W * 3 + 63) & ~63;
    std::vector<uint8_t> Src(static_cast<size_t>(SrcStride) * H + 64);
    for (int32_t Y = 0; Y < H; ++Y) std::memcpy(Src.data() + static_cast<size_t>(Y) * SrcStride, B.ScanlineToRead(Y), size_t(W) * 3);
    F->Resize = sws_getCachedContext(F->Resize, W, H, AV_PIX_FMT_BGR24, F->SrcW, F->SrcH, AV_PIX_FMT_BGR24, SWS_BICUBIC,
                                     nullptr, nullptr, nullptr);
    if (!F->Resize) return true;  // a frame that cannot be scaled is left out
    const uint8_t* SrcPlanes[4] = {Src.data(), nullptr, nullptr, nullptr};
    const int SrcStrides[4] = {SrcStride, 0, 0, 0};
    uint8_t* DstPlanes[4] = {Dst, nullptr, nullptr, nullptr};
    const int DstStrides[4] = {F->BgrStride, 0, 0, 0};
    sws_scale(F->Resize, SrcPlanes, SrcStrides, 0, H, DstPlanes, DstStrides);
  }
  // The padding of an odd size repeats the last column and row.
  if (FEncW > F->SrcW)
    for (int32_t Y = 0; Y < F->SrcH; ++Y) {
      uint8_t* R = Dst + static_cast<size_t>(Y) * F->BgrStride;
      std::memcpy(R + size_t(F->SrcW) * 3, R + size_t(F->SrcW - 1) * 3, 3);
    }
  if (FEncH > F->SrcH)
    std::memcpy(Dst + static_cast<size_t>(F->SrcH) * F->BgrStride, Dst + static_cast<size_t>(F->SrcH - 1) * F->BgrStride,
                size_t(FEncW) * 3);

  if (av_frame_make_writable(F->Frame) < 0) return Fail("Not enough memory for the video encoder");
  const uint8_t* Planes[4] = {Dst, nullptr, nullptr, nullptr};
  const int Strides[4] = {F->BgrStride, 0, 0, 0};
  sws_scale(F->ToEnc, Planes, Strides, 0, FEncH, F->Frame->data, F->Frame->linesize);
  F->Frame->pts = Pts;
  F->Frame->quality = F->Enc->global_quality;
  if (avcodec_send_frame(F->Enc, F->Frame) < 0) return Fail("Encoding the video for " + FFileName + " failed");
  if (!Send(false)) return false;
  FLastPts = Pts;
  ++FFrames;
  return true;
}

bool TQxCaptureWriter::Finish() {
  if (!F) {
    if (FError.empty()) FError = "No capture file is open";
    return false;
  }
  if (!FFailed && !F->Enc) Fail("No frame was captured for " + FFileName);
  if (!FFailed) {
    avcodec_send_frame(F->Enc, nullptr);
    if (Send(true) && av_write_trailer(F->Oc) < 0) Fail("Completing " + FFileName + " failed");
    if (!FFailed) {
      avio_flush(F->Oc->pb);
      if (F->Oc->pb->error < 0) Fail("Writing " + FFileName + " failed (is the disk full?)");
      else if (avio_closep(&F->Oc->pb) < 0) Fail("Closing " + FFileName + " failed");
    }
  }
  if (FFailed) {
    Abandon();
    return false;
  }
  F.reset();
  if (std::rename(FTempName.c_str(), FFileName.c_str()) != 0) {
    const int E = errno;
    Abandon();
    return Fail("The capture could not be saved as " + FFileName + ": " + std::strerror(E));
  }
  FTempName.clear();
  return true;
}
