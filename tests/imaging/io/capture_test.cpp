// Video capture without a device: what the library says when there is none, and the tables and
// objects that need no hardware.
#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/capture.h"
#include "imaging/io/media_frames.h"
#include "imaging/io/quillot_io.h"
#include "io_test_util.h"

TEST(Capture, NoDeviceIsReportedClearly) {
  const std::string dir = qvio::TempDir();
  EXPECT_TRUE(QxCaptureDevices(dir).empty());
  EXPECT_TRUE(QxCaptureDevices(dir + "/missing").empty());

  TQxDirectShow ds;
  ds.VideoCaptureDevice = dir + "/video0";
  ds.GrabFrames = true;
  ds.Connect();
  EXPECT_FALSE(ds.Connected());
  EXPECT_EQ(ds.LastError(), "No video capture device: " + dir + "/video0 does not exist");
  // Nothing to grab, run or list, and nothing breaks.
  TQxBitmap B;
  EXPECT_FALSE(ds.GrabFrame(&B, false));
  ds.Run();
  EXPECT_EQ(ds.State(), 0);
  ds.FillVideoFormats();
  EXPECT_TRUE(ds.VideoFormats.empty());
  ds.FillCrossbarInputs();
  EXPECT_TRUE(ds.CrossbarInputs.empty());
  int32_t w = -1, h = -1;
  std::string name = "x";
  ds.GetVideoFormat(w, h, name);
  EXPECT_EQ(w, -1);
  EXPECT_EQ(name, "x");

  // A file that is no device.
  qvio::WriteText(dir + "/video1", "not a device");
  TQxV4L2Capture cap;
  EXPECT_FALSE(cap.Open(dir + "/video1"));
  EXPECT_NE(cap.Error().find("is not a video capture device"), std::string::npos) << cap.Error();
  EXPECT_FALSE(cap.Grab(B));
  EXPECT_EQ(cap.Error(), "No video capture device is open");
  EXPECT_TRUE(QxCaptureDevices(dir).empty());

  // With no device named, the first one there is; on a machine without any the library says so.
  if (QxCaptureDevices().empty()) {
    TQxDirectShow any;
    any.Connect();
    EXPECT_FALSE(any.Connected());
    EXPECT_EQ(any.LastError(), "No video capture device is present");
  }
  qvio::Shell("rm -rf " + dir);
}

TEST(Capture, FormatAndStandardNames) {
  struct Case {
    uint32_t Format;
    const char* Name;
  };
  const Case cases[] = {{V4L2_PIX_FMT_YUYV, "YUY2"},  {V4L2_PIX_FMT_MJPEG, "MJPG"},  {V4L2_PIX_FMT_BGR24, "RGB24"},
                        {V4L2_PIX_FMT_UYVY, "UYVY"},  {V4L2_PIX_FMT_YVU410, "YVU9"}, {V4L2_PIX_FMT_RGB565, "RGB565"},
                        {V4L2_PIX_FMT_XBGR32, "RGB32"}, {V4L2_PIX_FMT_H264, ""}};
  for (const Case& c : cases) EXPECT_EQ(QxV4L2FormatName(c.Format), c.Name) << c.Name;
  EXPECT_EQ(QxV4L2StandardMask(V4L2_STD_NTSC_M | V4L2_STD_PAL_B), 0x11u);
  EXPECT_EQ(QxVideoStandardNames(QxV4L2StandardMask(V4L2_STD_NTSC_M | V4L2_STD_PAL_B)), "NTSC_M PAL_B");
  EXPECT_EQ(QxVideoStandardNames(QxV4L2StandardMask(V4L2_STD_SECAM_LC | V4L2_STD_PAL_Nc)), "SECAM_L1 PAL_N_COMBO");
  EXPECT_EQ(QxV4L2StandardMask(0), 0u);
}

TEST(Capture, TheComponentKeepsOneCaptureObject) {
  TQuillotIO IO;
  TQxDirectShow* ds = IO.GetDShowParams();
  ASSERT_NE(ds, nullptr);
  EXPECT_EQ(ds, IO.GetDShowParams());
  EXPECT_TRUE(TQxDirectShow::IsAlive(ds));
  // Without a view nothing is told of frames.
  EXPECT_EQ(ds->NotifyWindow(), nullptr);
  IO.RebindDShowWindow();
  EXPECT_EQ(ds->NotifyWindow(), nullptr);
  {
    TQxDirectShow gone;
    const void* p = &gone;
    EXPECT_TRUE(TQxDirectShow::IsAlive(p));
  }
}
