// A video file playing in a view: the frames reach the view in order through the frame messages, and the
// player draws its latest frame where the view asks. Videos are written by ffmpeg at test time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/media_frames.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/layer.h"
#include "imaging/view/view.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"

namespace {

constexpr int kW = 64, kH = 48, kFrames = 10;

std::vector<uint8_t> RowsOf(TQxBitmap& B) {
  std::vector<uint8_t> V;
  for (int32_t Y = 0; Y < B.Height(); ++Y) V.insert(V.end(), B.Scanline(Y), B.Scanline(Y) + B.Width() * 3);
  return V;
}

// A 64x48 clip of kFrames frames and all its frames as raw BGR rows, written into Dir.
void WriteClip(const std::filesystem::path& Dir, std::string& Avi, std::string& Raw) {
  std::filesystem::create_directories(Dir);
  Avi = (Dir / "clip.avi").string();
  Raw = (Dir / "all.raw").string();
  ASSERT_EQ(std::system(("ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -c:v rawvideo "
                         "-pix_fmt bgr24 " + Avi + " && ffmpeg -loglevel error -y -i " + Avi +
                         " -f rawvideo -pix_fmt bgr24 " + Raw).c_str()),
            0);
}

}  // namespace

TEST(ViewVideo, AFilePlaysInTheViewFrameByFrame) {
  if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is needed to write the video";
  const auto Dir = std::filesystem::temp_directory_path() / ("qv_video_" + std::to_string(getpid()));
  std::string Avi, Raw;
  WriteClip(Dir, Avi, Raw);
  std::ifstream RawFile(Raw, std::ios::binary);
  const std::vector<uint8_t> All((std::istreambuf_iterator<char>(RawFile)), std::istreambuf_iterator<char>());
  ASSERT_EQ(All.size(), size_t(kW * kH * 3 * kFrames));
  auto FrameIndex = [&](const std::vector<uint8_t>& Rows) {
    for (int K = 0; K < kFrames; ++K)
      if (std::memcmp(Rows.data(), All.data() + size_t(K) * kW * kH * 3, Rows.size()) == 0) return K;
    return -1;
  };

  Headless::Use();
  auto Form = std::make_unique<TForm>(nullptr);
  Form->SetBounds(0, 0, 200, 160);
  auto* View = new TQuillotView(Form.get());
  View->SetParent(Form.get());
  View->SetBounds(0, 0, 200, 160);
  Form->Show();
  Application->ProcessMessages();

  TQxDirectShow* Player = View->GetIO()->GetDShowParams();
  Player->SourceMediaFile = Avi;
  Player->RenderVideo = true;
  // What plays is captured to a file as well.
  const std::string Captured = (Dir / "captured.avi").string();
  Player->CaptureOutputFile = Captured;
  Player->Connect();
  ASSERT_TRUE(Player->Connected()) << Player->LastError();
  int32_t NW = 0, NH = 0;
  ASSERT_TRUE(Player->GetNativeVideoSize(NW, NH));
  EXPECT_EQ(NW, kW);
  EXPECT_EQ(NH, kH);

  std::vector<int> Shown;
  bool Ended = false;
  View->OnDShowNewFrame = [&](TObject*) {
    TQxBitmap Frame;
    ASSERT_TRUE(Player->GrabFrame(&Frame, false));
    Shown.push_back(FrameIndex(RowsOf(Frame)));
    View->GetLayer(0)->Bitmap->AssignFrom(&Frame);
    View->Update();
  };
  View->OnDShowEvent = [&](TObject*) { Ended = true; };
  Player->Run();
  const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!Ended && std::chrono::steady_clock::now() < Until) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(Ended) << "the end of the video was not reported";
  ASSERT_GE(Shown.size(), 3u);
  for (size_t I = 0; I < Shown.size(); ++I) {
    EXPECT_GE(Shown[I], 0) << "frame " << I << " is none of the video's";
    if (I > 0) {
      // A frame message queued while the view was busy may show the same latest frame again.
      EXPECT_GE(Shown[I], Shown[I - 1]) << "frames out of order";
    }
  }
  EXPECT_EQ(Shown.back(), kFrames - 1);
  EXPECT_GE(std::set<int>(Shown.begin(), Shown.end()).size(), 5u) << "the video did not move";
  View->ZoomToFit();
  Application->ProcessMessages();
  ASSERT_TRUE(Headless::SaveWindowPng(Form.get(), "view_video.png"));  // beside the test binary

  // The player draws its latest frame twice as large where it is told.
  TBitmap Target(2 * kW, 2 * kH, TPixelFormat::pf24bit);
  Player->SetVideoPosition(TRect(0, 0, kW, kH), TRect(0, 0, 2 * kW, 2 * kH));
  Player->RepaintVideo(Target.Canvas());
  TQxBitmap Last;
  ASSERT_TRUE(Player->GrabFrame(&Last, false));
  for (int Y : {0, 10, 47}) {
    for (int X : {0, 33, 63}) {
      const uint8_t* S = Last.Scanline(Y) + 3 * X;
      const TColor C = Target.Canvas()->Pixels(2 * X + 1, 2 * Y + 1);
      EXPECT_EQ(C, TColor(S[2] | S[1] << 8 | S[0] << 16)) << X << "," << Y;
    }
  }
  Player->Disconnect();
  // The capture holds every frame of the video, the last one as the view showed it.
  EXPECT_EQ(Player->LastError(), "");
  EXPECT_EQ(Player->CapturedFrames(), kFrames);
  TQxBitmap Back;
  TQuillotIO Reader(&Back);
  ASSERT_EQ(Reader.OpenMediaFile(Captured), kFrames);
  Reader.LoadMediaFrame(kFrames - 1);
  EXPECT_EQ(RowsOf(Back), RowsOf(Last));
  Reader.CloseMediaFile();
  Form.reset();
  std::filesystem::remove_all(Dir);
}

// With no frame handler at all, the view's own paint shows the playing video where its current layer is,
// scaled as the layer is zoomed, and paints only around it.
TEST(ViewVideo, TheViewsPaintShowsTheRenderedVideo) {
  if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is needed to write the video";
  const auto Dir = std::filesystem::temp_directory_path() / ("qv_render_" + std::to_string(getpid()));
  std::string Avi, Raw;
  WriteClip(Dir, Avi, Raw);

  Headless::Use();
  auto Form = std::make_unique<TForm>(nullptr);
  Form->SetBounds(0, 0, 200, 160);
  auto* View = new TQuillotView(Form.get());
  View->SetParent(Form.get());
  View->SetBounds(0, 0, 200, 160);
  Form->Show();
  // The layer is the video's size and black, so every video pixel on screen came from the player.
  View->GetLayer(0)->Bitmap->Allocate(kW, kH, TQxPixelFormat::qx24RGB);
  View->GetLayer(0)->Bitmap->Fill(TColor(0));
  View->SetZoom(200);
  View->Update();
  Application->ProcessMessages();

  TQxDirectShow* Player = View->GetIO()->GetDShowParams();
  Player->SourceMediaFile = Avi;
  Player->RenderVideo = true;
  Player->Connect();
  ASSERT_TRUE(Player->Connected()) << Player->LastError();
  bool Ended = false;
  int Painted = 0;
  View->OnDShowNewFrame = [&](TObject*) {
    View->Invalidate();
    ++Painted;
  };
  View->OnDShowEvent = [&](TObject*) { Ended = true; };
  Player->Run();
  const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!Ended && std::chrono::steady_clock::now() < Until) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(Ended);
  ASSERT_GT(Painted, 0);
  View->Invalidate();
  Application->ProcessMessages();
  View->Invalidate();  // the first paint placed the video; the second draws it there
  Application->ProcessMessages();
  ASSERT_TRUE(Headless::SaveWindowPng(Form.get(), "view_video_rendered.png"));

  const TQxLayerScreenMap M = View->GetLayer(0)->ScreenMap;
  ASSERT_EQ(M.W, 2 * kW);
  ASSERT_EQ(M.H, 2 * kH);
  TQxBitmap Last;
  ASSERT_TRUE(Player->GrabFrame(&Last, false));
  EXPECT_EQ(RowsOf(Last).size(), size_t(kW * kH * 3));
  // The view's client area inside the form's.
  const TPoint O(View->ClientOrigin().X - Form->ClientOrigin().X, View->ClientOrigin().Y - Form->ClientOrigin().Y);
  int Same = 0, Checked = 0;
  for (int Y = 1; Y < kH; Y += 7) {
    for (int X = 1; X < kW; X += 9) {
      const uint8_t* S = Last.Scanline(Y) + 3 * X;
      const TColor Want = TColor(S[2] | S[1] << 8 | S[0] << 16);
      const TColor Got = Headless::PixelAt(Form.get(), O.X + M.X + 2 * X + 1, O.Y + M.Y + 2 * Y + 1) & 0xFFFFFF;
      ++Checked;
      if (Got == Want) ++Same;
    }
  }
  EXPECT_EQ(Same, Checked) << "the window does not show the video's last frame";
  Player->Disconnect();
  Form.reset();
  std::filesystem::remove_all(Dir);
}
