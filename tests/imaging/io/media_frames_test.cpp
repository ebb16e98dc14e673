// Frames of videos that ffmpeg writes at test time, read by index and compared with the frames ffmpeg
// itself decodes.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/media_frames.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "io_test_util.h"

namespace {

constexpr int32_t kW = 64, kH = 48, kFrames = 10;

class MediaFrames : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!qvio::HaveTool("ffmpeg")) return;
    Dir = qvio::TempDir();
    const std::string Src = "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -y -loglevel error";
    qvio::Shell("ffmpeg " + Src + " -c:v rawvideo -pix_fmt bgr24 " + Dir + "/raw.avi");
    qvio::Shell("ffmpeg " + Src + " -c:v mjpeg -q:v 3 " + Dir + "/mjpeg.avi");
    qvio::Shell("ffmpeg " + Src + " -c:v mpeg4 -q:v 4 " + Dir + "/clip.mp4");
    qvio::Shell("ffmpeg " + Src + " -c:v wmv2 -q:v 4 " + Dir + "/clip.wmv");
    qvio::Shell("ffmpeg " + Src + " -c:v mpeg2video -q:v 4 " + Dir + "/clip.ts");
  }
  static void TearDownTestSuite() {
    if (!Dir.empty()) qvio::Shell("rm -rf " + Dir);
  }
  void SetUp() override {
    if (!qvio::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to write the videos";
  }
  // Frame K as ffmpeg decodes it, in blue-green-red rows.
  static std::vector<uint8_t> Reference(const std::string& File, int K) {
    std::string Out = Dir + "/ref.raw";
    qvio::Shell("ffmpeg -y -loglevel error -i " + File + " -vf 'select=eq(n\\," + std::to_string(K) +
                ")' -vsync 0 -frames:v 1 -sws_flags bicubic -f rawvideo -pix_fmt bgr24 " + Out);
    return qvio::ReadFile(Out);
  }
  static std::vector<uint8_t> Rows(TQxBitmap& B) {
    std::vector<uint8_t> V;
    for (int32_t Y = 0; Y < B.Height(); ++Y) V.insert(V.end(), B.Scanline(Y), B.Scanline(Y) + B.Width() * 3);
    return V;
  }
  static inline std::string Dir;
};

}  // namespace

TEST_F(MediaFrames, FramesByIndexEqualFfmpegsOwn) {
  for (const char* Name : {"raw.avi", "mjpeg.avi", "clip.mp4", "clip.wmv"}) {
    std::string File = Dir + "/" + Name;
    TQxBitmap B;
    TQuillotIO IO(&B);
    ASSERT_EQ(IO.OpenMediaFile(File), kFrames) << Name;
    EXPECT_FALSE(IO.Aborting);
    EXPECT_EQ(IO.Params->MediaFileFrameCount, kFrames);
    EXPECT_EQ(IO.Params->Width, kW);
    // Out of order, backwards included, so that seeking is exercised.
    for (int K : {3, 0, 9, 4}) {
      IO.LoadMediaFrame(K);
      ASSERT_EQ(B.Width(), kW) << Name;
      EXPECT_EQ(Rows(B), Reference(File, K)) << Name << " frame " << K;
      EXPECT_EQ(IO.Params->ImageIndex, K);
      EXPECT_EQ(IO.Params->MediaFileFrameDelay, 40);
    }
    // Past the end nothing changes.
    auto Before = Rows(B);
    IO.LoadMediaFrame(kFrames);
    EXPECT_EQ(Rows(B), Before);
    IO.CloseMediaFile();
    EXPECT_FALSE(IO.IsMediaFileOpen());
    EXPECT_EQ(QxImageCount(File), kFrames) << Name;
  }
}

TEST_F(MediaFrames, AviFilesLoadTheirIndexedFrame) {
  TQxBitmap B;
  TQuillotIO IO(&B);
  IO.Params->ImageIndex = 6;
  IO.LoadFromFile(Dir + "/raw.avi");
  ASSERT_FALSE(IO.Aborting);
  EXPECT_EQ(Rows(B), Reference(Dir + "/raw.avi", 6));
  EXPECT_EQ(IO.Params->AviFrameCount, kFrames);
  EXPECT_EQ(IO.Params->AviFrameDelay, 40);
}

TEST_F(MediaFrames, WhatCannotBeReadSaysSo) {
  qvio::WriteText(Dir + "/bad.avi", "RIFF not a video at all");
  TQxBitmap B;
  TQuillotIO IO(&B);
  IO.LoadFromFile(Dir + "/bad.avi");
  EXPECT_TRUE(IO.Aborting);
  EXPECT_EQ(IO.OpenMediaFile(Dir + "/bad.avi"), 0);
  EXPECT_TRUE(IO.Aborting);
  EXPECT_EQ(IO.OpenMediaFile(Dir + "/none.mkv"), 0);
  TQxDirectShow Camera;
  Camera.VideoCaptureDevice = "/dev/video-that-is-not-there";
  Camera.Connect();
  EXPECT_FALSE(Camera.Connected());
  EXPECT_EQ(Camera.LastError(), "No video capture device: /dev/video-that-is-not-there does not exist");
  EXPECT_FALSE(Camera.GrabFrame(&B, false));
}

// A playlist or manifest named like a video is not followed: no address it lists is reached, however it
// is opened. A local listener counts the connections (and closes them at once, so a regression fails
// instead of hanging).
TEST_F(MediaFrames, PlaylistsUnderVideoNamesReachNoNetwork) {
  const int Listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  ASSERT_GE(Listener, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Len = sizeof A;
  ASSERT_EQ(bind(Listener, reinterpret_cast<sockaddr*>(&A), sizeof A), 0);
  ASSERT_EQ(listen(Listener, 8), 0);
  ASSERT_EQ(getsockname(Listener, reinterpret_cast<sockaddr*>(&A), &Len), 0);
  std::atomic<bool> Stop{false};
  std::atomic<int> Connections{0};
  std::thread Acceptor([&] {
    while (!Stop) {
      const int C = accept(Listener, nullptr, nullptr);
      if (C >= 0) {
        ++Connections;
        close(C);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
  });
  const std::string Seg = "http://127.0.0.1:" + std::to_string(ntohs(A.sin_port)) + "/seg";
  const std::string Hls = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + Seg + "1.ts\n#EXT-X-ENDLIST\n";
  const std::string Dash =
      "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" type=\"static\" "
      "profiles=\"urn:mpeg:dash:profile:isoff-on-demand:2011\" mediaPresentationDuration=\"PT1S\" minBufferTime=\"PT1S\">"
      "<Period><AdaptationSet mimeType=\"video/mp4\"><Representation id=\"1\" bandwidth=\"1000\" width=\"64\" "
      "height=\"48\"><BaseURL>" + Seg + "1.mp4</BaseURL><SegmentBase indexRange=\"0-99\"/></Representation>"
      "</AdaptationSet></Period></MPD>\n";
  const std::string Concat = "ffconcat version 1.0\nfile '" + Seg + "1.ts'\n";
  // A playlist of a local video is not followed either: it would open other files than the one chosen.
  const std::string Local = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + Dir + "/clip.ts\n#EXT-X-ENDLIST\n";
  const std::pair<const char*, const std::string*> Cases[] = {{"hls.avi", &Hls},       {"hls.mpg", &Hls},
                                                              {"dash.wmv", &Dash},     {"dash.avi", &Dash},
                                                              {"concat.avi", &Concat}, {"local.wmv", &Local}};
  for (const auto& [Name, Text] : Cases) {
    const std::string File = Dir + "/" + Name;
    qvio::WriteText(File, *Text);
    TQxBitmap B;
    TQuillotIO IO(&B);
    EXPECT_EQ(IO.OpenMediaFile(File), 0) << Name;
    EXPECT_EQ(QxImageCount(File), 0) << Name;
    IO.LoadFromFile(File);
    EXPECT_TRUE(IO.Aborting) << Name;
  }
  Stop = true;
  Acceptor.join();
  close(Listener);
  EXPECT_EQ(Connections, 0) << "a listed address was fetched";
}

// Video frames obey the pixel limit of the picture readers, and the media libraries write nothing to stderr.
TEST_F(MediaFrames, LimitsAndQuietFailures) {
  TQxBitmap B;
  TQuillotIO IO(&B);
  IO.Params->MaxPixels = kW * kH - 1;
  EXPECT_EQ(IO.OpenMediaFile(Dir + "/clip.mp4"), 0);
  EXPECT_TRUE(IO.Aborting);
  IO.Params->MaxPixels = kW * kH;
  EXPECT_EQ(IO.OpenMediaFile(Dir + "/clip.mp4"), kFrames);
  // Starts as an AVI, then nonsense.
  std::string Broken("RIFF\x10\x00\x00\x00" "AVI LIST\xff\xff\xff\x7f" "hdrlavih", 28);
  Broken += std::string(400, '\x5a');
  qvio::WriteText(Dir + "/broken.avi", Broken);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(IO.OpenMediaFile(Dir + "/broken.avi"), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(MediaNames, SubtypesAndStandards) {
  TQxGUID Rgb24{0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
  EXPECT_EQ(QxMediaSubtypeName(Rgb24), "RGB24");
  EXPECT_EQ(QxMediaSubtypeName(QxFourCCGUID("MJPG")), "MJPG");
  EXPECT_EQ(QxMediaSubtypeName(QxFourCCGUID("ZZZZ")), "");
  EXPECT_EQ(QxVideoStandardNames(0x11), "NTSC_M PAL_B");
  EXPECT_EQ(QxVideoStandardNames(0), "");
  EXPECT_EQ(QxVideoStandardNames(0x100000), "PAL_N_COMBO");
}
