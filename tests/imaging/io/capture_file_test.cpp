// Capture to a file: a clip that ffmpeg writes at test time plays through the I/O component's capture
// object, which writes what it plays to an AVI or ASF file; ffprobe and ffmpeg then read that file back.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/capture_writer.h"
#include "imaging/io/media_frames.h"
#include "imaging/io/quillot_io.h"
#include "io_test_util.h"

namespace {

constexpr int kFrames = 10;

// What ffprobe says of a file's streams and its video stream, as key=value pairs.
std::map<std::string, std::string> Probe(const std::string& File) {
  const std::string Out = File + ".probe";
  qvio::Shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
              "stream=codec_name,width,height,nb_read_frames:format=nb_streams,duration,size -of default=nw=1 '" +
              File + "' > '" + Out + "'");
  std::map<std::string, std::string> M;
  const auto Text = qvio::ReadFile(Out);
  std::istringstream In(std::string(Text.begin(), Text.end()));
  for (std::string Line; std::getline(In, Line);)
    if (const size_t Eq = Line.find('='); Eq != std::string::npos) M[Line.substr(0, Eq)] = Line.substr(Eq + 1);
  std::filesystem::remove(Out);
  return M;
}

// Frame K of File as ffmpeg decodes it, blue-green-red rows.
std::vector<uint8_t> Decoded(const std::string& File, int K) {
  const std::string Out = File + ".raw";
  qvio::Shell("ffmpeg -y -loglevel error -i '" + File + "' -vf 'select=eq(n\\," + std::to_string(K) +
              ")' -vsync 0 -frames:v 1 -f rawvideo -pix_fmt bgr24 '" + Out + "'");
  auto V = qvio::ReadFile(Out);
  std::filesystem::remove(Out);
  return V;
}

// Plays Source through the component's capture object into Target and stops once every frame is written.
// Returns the capture object's error text ("" when the file was completed).
std::string CaptureClip(const std::string& Source, const std::string& Target, const std::string& Codec,
                        int64_t* Frames = nullptr, bool* TargetSeenWhileRunning = nullptr) {
  TQxBitmap B;
  TQuillotIO IO(&B);
  TQxDirectShow* P = IO.GetDShowParams();
  P->SourceMediaFile = Source;
  P->CaptureOutputFile = Target;
  P->VideoCompressor = Codec;
  P->Connect();
  if (!P->Connected()) return P->LastError();
  P->Run();
  const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (P->CapturedFrames() < kFrames && std::chrono::steady_clock::now() < Until) {
    if (TargetSeenWhileRunning && P->CapturedFrames() > 0) *TargetSeenWhileRunning |= std::filesystem::exists(Target);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  P->Stop();
  if (Frames) *Frames = P->CapturedFrames();
  return P->LastError();
}

class CaptureFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qvio::HaveTool("ffmpeg") || !qvio::HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg and ffprobe are needed";
  }
  // A lossless 10-frame clip of the test pattern at 25 frames a second.
  std::string Clip(const std::string& Size) {
    const std::string File = Dir / ("src" + Size + ".avi");
    if (!std::filesystem::exists(File))
      qvio::Shell("ffmpeg -y -loglevel error -f lavfi -i testsrc=size=" + Size +
                  ":rate=25:duration=0.4 -c:v rawvideo -pix_fmt bgr24 '" + File + "'");
    return File;
  }
  qvio::ScopedTempDir Dir;
};

}  // namespace

// Each container and codec: one video stream of every frame, at the clip's rate and size, whose frames are
// the source's within what the codec loses. Odd sizes: the AVI encoders take them as they are; the ASF
// one takes even sizes only and gets the frame one pixel larger, the last column and row repeated.
TEST_F(CaptureFile, EveryFramePlayedIsWrittenAndReadsBack) {
  struct {
    const char* Size;
    const char* Target;
    const char* Codec;
    const char* WantCodec;
    int EncW, EncH;
  } Cases[] = {
      {"64x48", "raw.avi", "", "rawvideo", 64, 48},
      {"63x47", "odd raw.avi", "", "rawvideo", 63, 47},
      {"64x48", "CLIP.ASF", "", "msmpeg4v3", 64, 48},
      {"63x47", "odd.avi", "mpeg4", "mpeg4", 63, 47},
      {"63x47", "odd.AVI", "mjpeg", "mjpeg", 63, 47},
      {"63x47", "odd.asf", "wmv2", "wmv2", 64, 48},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Target);
    const std::string Source = Clip(C.Size), Target = Dir / C.Target;
    int64_t Frames = 0;
    bool SeenEarly = false;
    ASSERT_EQ(CaptureClip(Source, Target, C.Codec, &Frames, &SeenEarly), "");
    EXPECT_EQ(Frames, kFrames);
    EXPECT_FALSE(SeenEarly) << "the file had its name before it was complete";

    auto M = Probe(Target);
    EXPECT_EQ(M["nb_streams"], "1");
    EXPECT_EQ(M["codec_name"], C.WantCodec);
    EXPECT_EQ(M["width"], std::to_string(C.EncW));
    EXPECT_EQ(M["height"], std::to_string(C.EncH));
    EXPECT_EQ(M["nb_read_frames"], std::to_string(kFrames));
    EXPECT_NEAR(std::atof(M["duration"].c_str()), 0.4, 0.07);
    EXPECT_EQ(M["size"], std::to_string(std::filesystem::file_size(Target)));

    const int W = std::atoi(C.Size), H = std::atoi(std::strchr(C.Size, 'x') + 1);
    const bool Lossless = std::string(C.WantCodec) == "rawvideo";
    // The codec's own loss: ffmpeg encoding the same clip with the same codec and quality (padded with
    // black where the size must be even; only the picture's own pixels are compared there).
    const std::string Ref = Dir / ("ref_" + std::string(C.Target));
    if (!Lossless)
      qvio::Shell("ffmpeg -y -loglevel error -i '" + Source + "' -vf pad=" + std::to_string(C.EncW) + ":" +
                  std::to_string(C.EncH) + " -c:v " + C.WantCodec + " -q:v 2 '" + Ref + "'");
    for (int K : {0, 6, kFrames - 1}) {
      const auto Want = Decoded(Source, K), Got = Decoded(Target, K);
      ASSERT_EQ(Want.size(), size_t(W) * H * 3);
      ASSERT_EQ(Got.size(), size_t(C.EncW) * C.EncH * 3) << "frame " << K;
      // Mean absolute difference per sample over the encoded frame, whose padding repeats the picture's
      // last column and row.
      auto Mean = [&](const std::vector<uint8_t>& Frame, int Cols, int Rows) {
        double Sum = 0;
        for (int Y = 0; Y < Rows; ++Y)
          for (int X = 0; X < Cols; ++X)
            for (int S = 0; S < 3; ++S)
              Sum += std::abs(Want[(size_t(std::min(Y, H - 1)) * W + std::min(X, W - 1)) * 3 + S] -
                              Frame[(size_t(Y) * C.EncW + X) * 3 + S]);
        return Sum / (double(Cols) * Rows * 3);
      };
      if (Lossless) {
        EXPECT_EQ(Got, Want) << "frame " << K;
        continue;
      }
      const auto RefFrame = Decoded(Ref, K);
      ASSERT_EQ(RefFrame.size(), Got.size()) << "ffmpeg's own " << C.WantCodec;
      EXPECT_LE(Mean(Got, C.EncW, C.EncH), Mean(RefFrame, W, H) + 1.5) << "frame " << K;
    }
    std::filesystem::remove(Ref);
  }
  // Nothing but the finished files and the sources in the folder: no temporary file is left.
  int Files = 0;
  for (const auto& E : std::filesystem::directory_iterator(Dir.Path)) {
    EXPECT_NE(E.path().filename().string()[0], '.') << E.path();
    ++Files;
  }
  EXPECT_EQ(Files, int(std::size(Cases)) + 2);
}

// What cannot be written says why before anything is written, and a capture that ends with no frame leaves
// no file, not even over one that was there.
TEST_F(CaptureFile, WhatCannotBeWrittenSaysSo) {
  const std::string Source = Clip("64x48");
  struct {
    std::string Target, Codec, Error;
  } Cases[] = {
      {Dir / "clip.mp4", "", "Capture files are written as .avi or .asf: " + (Dir / "clip.mp4")},
      {Dir / "noext", "", "Capture files are written as .avi or .asf: " + (Dir / "noext")},
      {Dir / "clip.avi", "no-such-codec", "No video encoder no-such-codec is available for " + (Dir / "clip.avi")},
      {Dir / "clip.avi", "aac", "No video encoder aac is available for " + (Dir / "clip.avi")},
      {Dir / "missing/clip.avi", "", "The folder of " + (Dir / "missing/clip.avi") + " does not exist"},
      {"/proc/qv_capture.avi", "", "The folder of /proc/qv_capture.avi cannot be written"},
      {Dir.Path + "/", "", "Capture files are written as .avi or .asf: " + Dir.Path + "/"},
  };
  for (const auto& C : Cases) {
    TQxDirectShow P;
    P.SourceMediaFile = Source;
    P.CaptureOutputFile = C.Target;
    P.VideoCompressor = C.Codec;
    P.Connect();
    EXPECT_FALSE(P.Connected()) << C.Target;
    EXPECT_EQ(P.LastError().substr(0, C.Error.size()), C.Error);
    EXPECT_FALSE(std::filesystem::is_regular_file(C.Target)) << C.Target;
  }

  // Stopped before a frame came: an error, and the file that was there is kept as it was.
  const std::string Kept = Dir / "kept.avi";
  qvio::WriteText(Kept, "an earlier capture");
  TQxDirectShow P;
  P.SourceMediaFile = Source;
  P.CaptureOutputFile = Kept;
  P.Connect();
  ASSERT_TRUE(P.Connected()) << P.LastError();
  EXPECT_TRUE(P.Capturing());
  P.Stop();
  EXPECT_FALSE(P.Capturing());
  EXPECT_EQ(P.LastError(), "No frame was captured for " + Kept);
  const auto Bytes = qvio::ReadFile(Kept);
  EXPECT_EQ(std::string(Bytes.begin(), Bytes.end()), "an earlier capture");
  for (const auto& E : std::filesystem::directory_iterator(Dir.Path))
    EXPECT_NE(E.path().filename().string()[0], '.') << "left behind: " << E.path();
}

// The writer alone: frames of another size than the first are scaled to it, frames in the same slot are
// skipped, and an encoder that takes no odd size gets the padded frame.
TEST(CaptureWriter, FrameSizesAndTimes) {
  qvio::ScopedTempDir Dir;
  TQxCaptureWriter W;
  ASSERT_TRUE(W.Prepare(Dir / "w.asf", "wmv2", 10, 1)) << W.Error();
  for (auto [Width, Height, Time] : {std::tuple{5, 3, 0}, {5, 3, 400000}, {1, 1, 1000000}, {40, 1, 2000000}, {5, 3, 3000000}}) {
    TQxBitmap B(Width, Height, TQxPixelFormat::qx24RGB);
    B.Fill(0x406080);
    EXPECT_TRUE(W.Write(B, Time)) << Width << "x" << Height;
  }
  EXPECT_EQ(W.EncodedWidth(), 6);
  EXPECT_EQ(W.EncodedHeight(), 4);
  EXPECT_EQ(W.Frames(), 4) << "the frame at 40 ms shares the first one's slot";
  ASSERT_TRUE(W.Finish()) << W.Error();
  if (!qvio::HaveTool("ffprobe")) GTEST_SKIP() << "ffprobe is needed to read the file back";
  auto M = Probe(Dir / "w.asf");
  EXPECT_EQ(M["width"], "6");
  EXPECT_EQ(M["nb_read_frames"], "4");
}
