// The view in a window of the headless back end: scroll bars, posted messages, the wheel, painting.
#include <thread>

#include "imaging/io/media_frames.h"
#include "imaging/io/quillot_io.h"
#include "platform/base/numeric.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"
#include "view_fixture.h"

namespace {

class TCountingView : public TQuillotView {
 public:
  using TQuillotView::TQuillotView;
  int Updates = 0;
  void UpdateView() override {
    ++Updates;
    TQuillotView::UpdateView();
  }
};

class ViewWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
    form = std::make_unique<TForm>(nullptr);
    view = new TCountingView(form.get());
    view->SetBorderStyle(TBorderStyle::bsNone);
    view->SetParent(form.get());
    form->SetBounds(100, 100, 600, 500);
    form->Show();
    Application->ProcessMessages();
  }
  void TearDown() override {
    form.reset();
    Application->ProcessMessages();
    UseTestUiClock(false);
  }
  void Load(int32_t W, int32_t H, TColor C) {
    view->CurrentBitmap()->Allocate(W, H, TQxPixelFormat::qx24RGB);
    view->CurrentBitmap()->Fill(C);
  }
  std::unique_ptr<TForm> form;
  TCountingView* view = nullptr;
};

}  // namespace

TEST_F(ViewWindow, ScrollBarsFollowTheLargestOrigin) {
  const int32_t bar = GetSystemMetrics(SM_CXVSCROLL), hbar = GetSystemMetrics(SM_CYHSCROLL);
  view->SetBounds(0, 0, 400 + bar, 300 + hbar);
  Load(1000, 500, clRed);
  view->Updates = 0;
  view->UpdateView();
  // The bars appear and shrink the client: one nested update follows, no more.
  EXPECT_EQ(view->Updates, 2);
  ASSERT_TRUE(view->HorzBarShown());
  ASSERT_TRUE(view->VertBarShown());
  EXPECT_EQ(view->ViewClientWidth(), 400);
  EXPECT_EQ(view->ViewClientHeight(), 300);
  int32_t mx = 0, my = 0;
  view->GetMaxViewOrigin(mx, my);
  EXPECT_EQ(mx, 601);
  EXPECT_EQ(my, 201);
  EXPECT_DOUBLE_EQ(view->ScrollRatioX(), (400 + 601) / 65536.0);
  view->SetViewOrigin(300, 0);
  EXPECT_EQ(view->GetScrollPos(SB_HORZ), int32_t(300 / view->ScrollRatioX()));

  view->Updates = 0;
  view->UpdateView();
  EXPECT_EQ(view->Updates, 1);

  // A picture that fits needs no bars.
  Load(100, 100, clRed);
  view->UpdateView();
  EXPECT_FALSE(view->HorzBarShown());
  EXPECT_FALSE(view->VertBarShown());
}

TEST_F(ViewWindow, ScrollMessagesMoveTheOrigin) {
  view->SetBounds(0, 0, 300, 200);
  Load(1000, 1000, clRed);
  view->UpdateView();
  view->Perform(WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(view->ViewOriginY(), view->ViewClientHeight());
  view->Perform(WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(view->ViewOriginY(), 0);
  view->VertScrollParams()->LiveTracking = false;
  view->Perform(WM_VSCROLL, MakeWParam(SB_THUMBTRACK, 1000), 0);
  EXPECT_EQ(view->ViewOriginY(), 0);
  view->Perform(WM_VSCROLL, MakeWParam(SB_THUMBPOSITION, 1000), 0);
  EXPECT_EQ(view->ViewOriginY(), int32_t(Round(1000 * view->ScrollRatioY())));
}

TEST_F(ViewWindow, PostedWorkerMessagesReachTheEvents) {
  view->SetBounds(0, 0, 100, 100);
  int progress = -1, finished = 0, updates = 0;
  view->SetOnProgress([&](TObject* s, int32_t per) {
    EXPECT_EQ(s, view);
    progress = per;
  });
  view->SetOnFinishWork([&](TObject*) { ++finished; });
  view->Updates = 0;
  ASSERT_TRUE(view->HandleAllocated());
  PostMessage(view->Handle(), WM_USER + 7003, 42, 0);
  PostMessage(view->Handle(), WM_USER + 7004, 0, 0);
  PostMessage(view->Handle(), WM_USER + 7000, 0, 0);
  PostMessage(view->Handle(), WM_USER + 7001, 0, 0);  // a video frame without its object: ignored
  Application->ProcessMessages();
  EXPECT_EQ(progress, 42);
  EXPECT_EQ(finished, 1);
  EXPECT_GE(view->Updates, 1);
  (void)updates;
}

TEST_F(ViewWindow, WheelOverTheViewZooms) {
  view->SetBounds(0, 0, 200, 200);
  Load(400, 400, clRed);
  view->UpdateView();
  Headless::Wheel(form.get(), 50, 50, 1);
  Application->ProcessMessages();
  EXPECT_DOUBLE_EQ(view->ZoomX(), 92);
  Headless::Wheel(form.get(), 50, 50, -1);
  Application->ProcessMessages();
  EXPECT_DOUBLE_EQ(view->ZoomX(), 99);  // 92 + Round(8 % of 92)
}

TEST_F(ViewWindow, PaintedPictureReachesTheWindow) {
  view->SetBounds(10, 20, 200, 100);
  view->SetBackground(clBlue);
  Load(50, 40, clRed);
  view->UpdateView();
  Application->ProcessMessages();
  // 50 x 40 centred in 200 x 100: the picture at (75, 30) of the view, background elsewhere.
  EXPECT_EQ(Headless::PixelAt(form.get(), 10 + 100, 20 + 50), clRed);
  EXPECT_EQ(Headless::PixelAt(form.get(), 10 + 5, 20 + 5), clBlue);
}

// Through DrawDib, forced on a true-colour window, the window shows the same picture as by a plain copy.
TEST_F(ViewWindow, ForcedDrawDibTransferShowsTheSamePicture) {
  view->SetBounds(10, 20, 200, 100);
  view->SetBackground(clBlue);
  view->CurrentBitmap()->Allocate(50, 40, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 50; ++x)
      reinterpret_cast<TQxRGB*>(view->CurrentBitmap()->Scanline(y))[x] = TQxRGB{uint8_t(x * 5), 9, uint8_t(y * 6)};
  view->ForceDrawDib = true;
  view->UpdateView();
  Application->ProcessMessages();
  for (int32_t y : {0, 17, 39})
    for (int32_t x : {0, 23, 49})
      EXPECT_EQ(Headless::PixelAt(form.get(), 10 + 75 + x, 20 + 30 + y), RGB(uint8_t(y * 6), 9, uint8_t(x * 5)))
          << x << "," << y;
  EXPECT_EQ(Headless::PixelAt(form.get(), 10 + 5, 20 + 5), clBlue);
}

TEST_F(ViewWindow, IOHooksPostFromAWorkerToTheGuiThread) {
  view->SetBounds(0, 0, 100, 100);
  const TQxIOViewHooks& h = QxIOViewHooks();
  ASSERT_TRUE(h.IsQuillotView && h.PostToView && h.HasParent && h.GetBackground);
  EXPECT_TRUE(h.IsQuillotView(view));
  EXPECT_TRUE(h.HasParent(view));
  view->SetBackground(clGreen);
  EXPECT_EQ(h.GetBackground(view), clGreen);
  std::thread::id seenOn;
  int seen = -1;
  view->SetOnProgress([&](TObject*, int32_t per) {
    seen = per;
    seenOn = std::this_thread::get_id();
  });
  std::thread worker([&] { h.PostToView(view, WM_USER + 7003, 7, 0); });
  worker.join();
  EXPECT_EQ(seen, -1);
  Application->ProcessMessages();
  EXPECT_EQ(seen, 7);
  EXPECT_EQ(seenOn, std::this_thread::get_id());
}

// A committed selection shows the dashed border of its pixels in the two selection colours.
TEST_F(ViewWindow, SelectionBorderIsDrawnOverThePicture) {
  view->SetBounds(10, 20, 200, 100);
  Load(50, 40, clRed);
  view->UpdateView();
  view->SetSelectionBase(TQxSelectionBase::qxsbBitmap);
  view->SelectRect(10, 10, 30, 30, 0);
  Application->ProcessMessages();
  view->PaintView();
  int black = 0, white = 0;
  // The picture lies at (75, 30) of the view; the selection's top edge at bitmap row 10.
  for (int32_t y = 30 + 9; y <= 30 + 10; ++y)
    for (int32_t x = 75 + 10; x < 75 + 30; ++x) {
      const TColor c = view->Canvas()->Pixels(x, y);
      black += c == clBlack;
      white += c == clWhite;
    }
  EXPECT_GT(black, 3);
  EXPECT_GT(white, 3);
}

// Frame and event messages of a capture object: the handler runs while the object lives and is connected,
// frames that arrive meanwhile are not queued, and a message that outlives its object does nothing.
TEST_F(ViewWindow, CaptureMessagesFollowTheirObject) {
  int frames = 0, events = 0;
  bool postingDuringHandler = true;
  auto ds = std::make_unique<TQxDirectShow>();
  view->OnDShowNewFrame = [&](TObject*) {
    ++frames;
    postingDuringHandler = ds->PostFrames;
  };
  view->OnDShowEvent = [&](TObject*) { ++events; };
  const intptr_t lp = reinterpret_cast<intptr_t>(ds.get());
  // Not connected (no device here): nothing is raised, the flag stays set.
  view->Perform(QX_WM_VIEW_VIDEOFRAME, 0, lp);
  view->Perform(QX_WM_VIEW_VIDEOEVENT, 0, lp);
  EXPECT_EQ(frames, 0);
  EXPECT_EQ(events, 0);
  EXPECT_TRUE(ds->PostFrames);
  // Connected to a video file, the handler runs with posting held off.
  const std::string dir = testing::TempDir();
  const std::string clip = dir + "/capture_msg.avi";
  if (std::system(("ffmpeg -y -loglevel error -f lavfi -i testsrc2=size=32x24:rate=5:duration=0.4 -c:v rawvideo " + clip +
                   " >/dev/null 2>&1").c_str()) == 0) {
    ds->SourceMediaFile = clip;
    ds->Connect();
    ASSERT_TRUE(ds->Connected());
    view->Perform(QX_WM_VIEW_VIDEOFRAME, 0, lp);
    view->Perform(QX_WM_VIEW_VIDEOEVENT, 0, lp);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(events, 1);
    EXPECT_FALSE(postingDuringHandler);
    EXPECT_TRUE(ds->PostFrames);
  }
  ds.reset();
  view->Perform(QX_WM_VIEW_VIDEOFRAME, 0, lp);
  view->Perform(QX_WM_VIEW_VIDEOEVENT, 0, lp);
  EXPECT_LE(frames, 1);
  EXPECT_LE(events, 1);
}

// Two views side by side in one window, one with the crop shadow and one with the soft shadow, saved as a
// picture to look at; each shadow darkens the background right of and below its picture.
TEST_F(ViewWindow, ScreenshotOfTheShadowBackgrounds) {
  view->SetBounds(0, 0, 280, 220);
  auto* soft = new TQuillotView(form.get());
  soft->SetBorderStyle(TBorderStyle::bsNone);
  soft->SetParent(form.get());
  soft->SetBounds(290, 0, 280, 220);
  TQuillotView* views[] = {view, soft};
  const TQxBackgroundStyle styles[] = {TQxBackgroundStyle::qxbsCropShadow, TQxBackgroundStyle::qxbsSoftShadow};
  for (int i = 0; i < 2; ++i) {
    TQuillotView* v = views[i];
    v->SetBackground(TColor(0x00E8E8E8));
    v->SetBackgroundStyle(styles[i]);
    TQxBitmap* b = v->CurrentBitmap();
    b->Allocate(180, 120, TQxPixelFormat::qx24RGB);
    for (int32_t y = 0; y < 120; ++y)
      for (int32_t x = 0; x < 180; ++x)
        reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] = TQxRGB{uint8_t(120 + y), uint8_t(60 + x / 2), uint8_t(30 + x)};
    v->UpdateView();
  }
  Application->ProcessMessages();
  const std::string png = "view_shadow_backgrounds.png";  // beside the test binary
  ASSERT_TRUE(Headless::SaveWindowPng(form.get(), png));
  // 180 x 120 centred in 280 x 220: the picture spans (50, 50)-(230, 170) in each view.
  for (int32_t left : {0, 290}) {
    const TColor below = Headless::PixelAt(form.get(), left + 140, 171);
    const TColor right = Headless::PixelAt(form.get(), left + 230, 110);
    EXPECT_LT(int(below & 0xFF), 0xE8) << left;
    EXPECT_LT(int(right & 0xFF), 0xE8) << left;
    EXPECT_EQ(Headless::PixelAt(form.get(), left + 20, 20), TColor(0x00E8E8E8)) << left;
  }
}
