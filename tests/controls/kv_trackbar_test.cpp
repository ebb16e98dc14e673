// The track bar: geometry, the position-write rules, keys, dragging and paging with repeat.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "controls/kv_art.h"
#include "controls/kv_trackbar.h"
#include "kv_fixture.h"

namespace {

class KvTrackBarTest : public KvTest {
 protected:
  // A bar as the main window places it.
  TKvTrackBar* MainWindowBar(int32_t L = 10, int32_t T = 10) {
    auto* b = Add<TKvTrackBar>(L, T, 181, 24);
    b->BeginLoading();
    b->SetMax(100);
    b->SetPosition(0);
    b->SetThumbStyle(tsCustom);
    b->SetCustomThumb(KvLoadArt("TRACKBAR_ROUND_THUMB").get());
    b->SetShowTicks(false);
    b->SetTrackColor(16183522);
    b->SetTrackOffset(10);
    b->SetTrackFrame(fsFlat);
    b->SetTrackFrameColor(13408306);
    b->SetTrackWidth(4);
    b->EndLoading();
    return b;
  }
  // Logs OnChanging values (as "?n") and OnChange positions (as "n").
  void Watch(TKvTrackBar* B) {
    B->OnChanging = [this, B](TObject*, int32_t NewPos, bool& Allow) {
      Log.push_back("?" + std::to_string(NewPos));
      Allow = NewPos != Refuse;
    };
    B->OnChange = [this, B](TObject*) { Log.push_back(std::to_string(B->Position())); };
  }
  // Window coordinates of a bar's client point.
  void Down(TKvTrackBar* B, int32_t X, int32_t Y) { Headless::MouseDown(Form.get(), B->Left() + X, B->Top() + Y); }
  void Up(TKvTrackBar* B, int32_t X, int32_t Y) { Headless::MouseUp(Form.get(), B->Left() + X, B->Top() + Y); }
  void Move(TKvTrackBar* B, int32_t X, int32_t Y) { Headless::MouseMove(Form.get(), B->Left() + X, B->Top() + Y); }
  std::vector<std::string> Log;
  int32_t Refuse = kNone;
  static constexpr int32_t kNone = 123456789;
};

TEST_F(KvTrackBarTest, MainWindowGeometry) {
  auto* b = MainWindowBar();
  EXPECT_EQ(b->ThumbStyle(), tsCustom);
  EXPECT_EQ(b->TrackWidth(), 4);  // loading keeps the stored width
  EXPECT_EQ(b->ThumbLength(), 18);
  EXPECT_EQ(b->ThumbThickness(), 18);
  EXPECT_EQ(b->TrackRect(), TRect(13, 10, 168, 14));
  b->SetPosition(50);
  EXPECT_EQ(b->ThumbRect(), TRect(81, 3, 99, 21));
  b->SetPosition(0);
  EXPECT_EQ(b->ThumbRect().Left, 4);
  b->SetPosition(100);
  EXPECT_EQ(b->ThumbRect().Right, 181 - 4);
  // Defaults of a new bar: 200 x 35, pointer thumb 11 x 21 lifted by 2.
  auto* d = Add<TKvTrackBar>(0, 100, 200, 35);
  EXPECT_EQ(d->Max(), 10);
  EXPECT_EQ(d->ThumbStyle(), tsPointer);
  EXPECT_EQ(d->TrackRect(), TRect(9, 20, 191, 28));
  EXPECT_EQ(d->ThumbRect(), TRect(4, 12, 15, 33));  // (8 - 21) div 2 truncates to -6
}

TEST_F(KvTrackBarTest, PositionWrites) {
  auto* b = Add<TKvTrackBar>(0, 0, 200, 35);
  b->SetMax(100);
  Watch(b);
  struct {
    int32_t Write;
    int32_t Refused;
    std::vector<std::string> Events;
    int32_t After;
  } cases[] = {
      {0, kNone, {}, 0},                   // the current value: nothing
      {40, kNone, {"?40", "40"}, 40},      //
      {100, kNone, {"?100", "100"}, 100},  //
      {105, kNone, {"?100", "100"}, 100},  // at Max, beyond it: asked and announced though it stays
      {-3, kNone, {"?0", "0"}, 0},         // limited to Min
      {70, 70, {"?70"}, 0},                    // refused
  };
  for (auto& c : cases) {
    Log.clear();
    Refuse = c.Refused;
    b->SetPosition(c.Write);
    EXPECT_EQ(Log, c.Events) << c.Write;
    EXPECT_EQ(b->Position(), c.After) << c.Write;
  }
  Refuse = kNone;
  // Limits that would cross are moved by one, and the position follows with both events.
  b->SetPosition(50);
  Log.clear();
  b->SetMin(200);
  EXPECT_EQ(b->Min(), 99);
  EXPECT_EQ(b->Position(), 99);
  EXPECT_EQ(Log, (std::vector<std::string>{"?99", "99"}));
  b->SetMax(99);
  EXPECT_EQ(b->Max(), 100);
  b->SetMin(0);
  b->SetMax(0);
  EXPECT_EQ(b->Max(), 1);
  EXPECT_EQ(b->Position(), 1);
  // Extreme ranges: offsets in 64 bits.
  b->SetMax(INT32_MAX);
  b->SetMin(INT32_MIN);
  b->SetPosition(INT32_MAX);
  EXPECT_EQ(b->ThumbRect().Right, 200 - 4);
  b->SetPosition(INT32_MIN);
  EXPECT_EQ(b->ThumbRect().Left, 4);
}

TEST_F(KvTrackBarTest, LookProperties) {
  auto* b = Add<TKvTrackBar>(0, 0, 200, 35);
  b->SetTrackWidth(2);
  EXPECT_EQ(b->TrackWidth(), 4);
  b->SetThumbStyle(tsFlat);
  EXPECT_EQ(b->TrackWidth(), 6);
  EXPECT_EQ(b->ThumbLength(), 10);
  b->SetThumbStyle(tsBox);
  EXPECT_EQ(b->TrackWidth(), 8);
  b->SetThumbStyle(tsMixer);
  EXPECT_EQ(b->ThumbLength(), 21);
  EXPECT_EQ(b->ThumbThickness(), 16);
  b->SetTickStep(0);  // below 1 is taken as 1
  EXPECT_EQ(b->TickStep(), 1);
  b->SetTickStep(-7);
  EXPECT_EQ(b->TickStep(), 1);
  // A picture makes the thumb custom.
  auto pic = Blank(30, 10);
  b->SetCustomThumb(pic.get());
  EXPECT_EQ(b->ThumbStyle(), tsCustom);
  EXPECT_EQ(b->ThumbLength(), 10);
  // Mapped thumb colours: the silver face becomes the button face.
  b->SetThumbStyle(tsBox);
  EXPECT_EQ(b->ThumbImage()->GetPixel(5, 10), Rgb(clBtnFace));
  // The hot image: the key colours of the hot face are the hot-track colours.
  b->SetHotTrackColor(0x2080F0);
  EXPECT_EQ(b->HotThumbImage()->GetPixel(5, 10), Rgb(KvMixColors(0xFFFFFF, 0x2080F0, 190)));
  b->SetHotTrackColorType(htctComplement);
  EXPECT_EQ(b->HotThumbImage()->GetPixel(5, 10), Rgb(KvComplementColor(0x2080F0, 140)));
}

TEST_F(KvTrackBarTest, ThumbLengthSettingFitsTheImagesAndTheGeometry) {
  auto* b = Add<TKvTrackBar>(0, 0, 200, 35);
  b->SetThumbStyle(tsBox);
  const int32_t natural = b->ThumbLength();
  auto before = std::make_unique<TBitmap>();
  before->Assign(*b->ThumbImage());
  const int32_t thick = b->ThumbThickness();
  for (int32_t len : {10, natural + 9, 3}) {
    SCOPED_TRACE(len);
    b->SetThumbLength(len);
    EXPECT_EQ(b->ThumbLength(), len);
    EXPECT_EQ(b->ThumbImage()->Width(), len);
    EXPECT_EQ(b->ThumbThickness(), thick);
    // The outer columns of the drawn thumb (its frame) stay where they were.
    for (int32_t y = 0; y < thick; ++y) {
      EXPECT_EQ(b->ThumbImage()->GetPixel(0, y), before->GetPixel(0, y));
      EXPECT_EQ(b->ThumbImage()->GetPixel(len - 1, y), before->GetPixel(natural - 1, y));
    }
    b->SetPosition(b->Max());
    EXPECT_EQ(b->ThumbRect().Right, 200 - 4);
    EXPECT_EQ(b->ThumbRect().Width(), len);
  }
  // The setting outlives a rebuild of the images, and 0 returns to the bitmap's own length.
  b->SetOrientation(orVertical);
  EXPECT_EQ(b->ThumbLength(), 3);
  b->SetOrientation(orHorizontal);
  b->SetThumbLength(0);
  EXPECT_EQ(b->ThumbLength(), natural);
}

TEST_F(KvTrackBarTest, KeysOnHorizontalAndVerticalBars) {
  auto* b = Add<TKvTrackBar>(10, 10, 200, 35);
  b->SetMax(100);
  b->SetPageSize(10);
  ShowForm();
  b->SetFocus();
  Watch(b);
  struct {
    uint16_t Key;
    int32_t After;
  } keys[] = {{VK_RIGHT, 1},  {VK_UP, 2},     {VK_ADD, 3},     {VK_LEFT, 2}, {VK_DOWN, 1}, {VK_SUBTRACT, 0},
              {VK_LEFT, 0},   {VK_PRIOR, 10}, {VK_PRIOR, 20},  {VK_NEXT, 10}, {VK_END, 100}, {VK_RIGHT, 100},
              {VK_PRIOR, 100}, {VK_HOME, 0}};
  for (auto& k : keys) {
    Headless::Key(Form.get(), k.Key);
    Application->ProcessMessages();
    EXPECT_EQ(b->Position(), k.After) << k.Key;
  }
  // Right and Page Up at Max announce nothing.
  Log.clear();
  b->SetPosition(100);
  Log.clear();
  Headless::Key(Form.get(), VK_RIGHT);
  Application->ProcessMessages();
  EXPECT_TRUE(Log.empty());

  // Turned upright by a resize: Home is Max at the top, End is Min at the bottom.
  b->SetBounds(10, 10, 35, 200);
  EXPECT_EQ(b->Orientation(), orVertical);
  Headless::Key(Form.get(), VK_END);
  Application->ProcessMessages();
  EXPECT_EQ(b->Position(), 0);
  EXPECT_EQ(b->ThumbRect().Bottom, 200 - 4);
  Headless::Key(Form.get(), VK_HOME);
  Application->ProcessMessages();
  EXPECT_EQ(b->Position(), 100);
  EXPECT_EQ(b->ThumbRect().Top, 4);
  b->SetBounds(10, 10, 35, 35);  // square: horizontal
  EXPECT_EQ(b->Orientation(), orHorizontal);
}

TEST_F(KvTrackBarTest, ClickOnTheTrackPagesAndRepeatsWhileHeld) {
  auto* b = MainWindowBar();
  b->SetPageSize(10);
  b->SetPosition(50);
  ShowForm();
  Watch(b);
  // Left of the thumb: a page down at once, again after 200 ms, then every 100 ms.
  Down(b, 30, 12);
  Application->ProcessMessages();
  EXPECT_EQ(b->Position(), 40);
  EXPECT_TRUE(b->Paging());
  Wait(199);
  EXPECT_EQ(b->Position(), 40);
  Wait(1);
  EXPECT_EQ(b->Position(), 30);
  Wait(100);
  EXPECT_EQ(b->Position(), 20);
  // The thumb's left edge (20 * 155 / 100 + 4 = 35) is still right of the pointer: one more page.
  Wait(100);
  EXPECT_EQ(b->Position(), 10);
  // Now the edge (19) has passed the pointer: the next tick ends the paging.
  Wait(100);
  EXPECT_EQ(b->Position(), 10);
  EXPECT_FALSE(b->Paging());
  Wait(300);
  EXPECT_EQ(b->Position(), 10);
  Up(b, 30, 12);
  Application->ProcessMessages();
  EXPECT_EQ(Log, (std::vector<std::string>{"?40", "40", "?30", "30", "?20", "20", "?10", "10"}));

  // Right of the thumb pages up; the release stops the repeat.
  Log.clear();
  Down(b, 160, 12);
  Application->ProcessMessages();
  Wait(200);
  EXPECT_EQ(b->Position(), 30);
  Up(b, 160, 12);
  Application->ProcessMessages();
  Wait(500);
  EXPECT_EQ(b->Position(), 30);
  EXPECT_FALSE(b->Paging());
  // A click at the very end of the track pages: it does not jump there.
  Headless::Click(Form.get(), b->Left() + 166, b->Top() + 12);
  Application->ProcessMessages();
  EXPECT_EQ(b->Position(), 40);
}

TEST_F(KvTrackBarTest, DraggingTheThumb) {
  auto* b = MainWindowBar();
  ShowForm();
  Watch(b);
  TRect t = b->ThumbRect();  // (4, 3, 22, 21) at 0
  int32_t cx = (t.Left + t.Right) / 2, cy = (t.Top + t.Bottom) / 2;
  Down(b, cx, cy);
  Application->ProcessMessages();
  EXPECT_TRUE(b->Sliding());
  // Each pixel of the 155-pixel track is 100 / 155 of the range, rounded half to even.
  struct {
    int32_t Dx, Pos;
  } moves[] = {{31, 20}, {78, 50}, {155, 100}, {400, 100}, {-100, 0}};
  for (auto& m : moves) {
    Move(b, cx + m.Dx, cy + 40);  // far off the bar: the capture keeps it
    Application->ProcessMessages();
    EXPECT_EQ(b->Position(), m.Pos) << m.Dx;
  }
  Move(b, cx + 78, cy);
  Up(b, cx + 78, cy);
  Application->ProcessMessages();
  EXPECT_FALSE(b->Sliding());
  EXPECT_EQ(b->Position(), 50);
  // No track to slide on: nothing changes.
  auto* tiny = MainWindowBar(10, 120);
  tiny->SetWidth(26);
  ASSERT_EQ(tiny->TrackRect().Width(), 0);
  Application->ProcessMessages();
  Headless::MouseDown(Form.get(), tiny->Left() + 10, tiny->Top() + 12);
  Headless::MouseMove(Form.get(), tiny->Left() + 20, tiny->Top() + 12);
  Headless::MouseUp(Form.get(), tiny->Left() + 20, tiny->Top() + 12);
  Application->ProcessMessages();
  EXPECT_EQ(tiny->Position(), 0);
}

TEST_F(KvTrackBarTest, HoverShowsTheHotThumbAndTheSlideCursor) {
  auto* b = Add<TKvTrackBar>(10, 10, 200, 35);
  ShowForm();
  TRect t = b->ThumbRect();
  Move(b, t.Left + 5, t.Top + 10);
  Application->ProcessMessages();
  EXPECT_TRUE(b->MouseOverThumb());
  EXPECT_EQ(Screen->ShownCursor(), crKvTrackBarH);
  ASSERT_TRUE(Screen->Cursors(crKvTrackBarH));
  EXPECT_EQ(Screen->Cursors(crKvTrackBarH)->Width, 32);
  Move(b, 150, 10);
  Application->ProcessMessages();
  EXPECT_FALSE(b->MouseOverThumb());
  EXPECT_NE(Screen->ShownCursor(), crKvTrackBarH);
  // Leaving the bar clears the hover.
  Move(b, t.Left + 5, t.Top + 10);
  Headless::MouseMove(Form.get(), 300, 200);
  Application->ProcessMessages();
  EXPECT_FALSE(b->MouseOverThumb());
}

TEST_F(KvTrackBarTest, DisabledBarDrawsFlatAndIgnoresInput) {
  auto* b = MainWindowBar();
  b->SetPosition(50);
  b->SetEnabled(false);
  ShowForm();
  EXPECT_EQ(Headless::PixelAt(Form.get(), 10 + 30, 10 + 12) & 0xFFFFFF, int32_t(Rgb(clBtnFace)));
  // The disabled cell's gray ring at the thumb's top.
  EXPECT_EQ(Headless::PixelAt(Form.get(), 10 + 90, 10 + 3) & 0xFFFFFF, 0xA0A0A0);
  Headless::Click(Form.get(), 10 + 30, 10 + 12);
  Headless::Key(Form.get(), VK_LEFT);
  Application->ProcessMessages();
  EXPECT_EQ(b->Position(), 50);
}

TEST_F(KvTrackBarTest, Screenshot) {
  auto* a = MainWindowBar(10, 10);
  a->SetPosition(30);
  auto* h = MainWindowBar(10, 40);
  h->SetPosition(70);
  auto* d = MainWindowBar(10, 70);
  d->SetPosition(50);
  d->SetEnabled(false);
  int32_t y = 100;
  for (TThumbStyle s : {tsPointer, tsBox, tsMixer, tsFlat, tsXPPointer}) {
    auto* b = Add<TKvTrackBar>(10, y, 140, 35);
    b->SetThumbStyle(s);
    b->SetPosition(4);
    y += 38;
  }
  auto* w = Add<TKvTrackBar>(160, 100, 140, 35);
  w->SetPointerType(ptWin95);
  w->SetPosition(7);
  auto* v = Add<TKvTrackBar>(210, 145, 35, 180);
  v->SetPosition(3);
  Form->SetBounds(50, 50, 320, 300 + 40);
  ShowForm();
  h->SetFocus();
  Move(h, h->ThumbRect().Left + 9, 12);  // hot thumb
  Application->ProcessMessages();
  EXPECT_TRUE(h->MouseOverThumb());
  Screenshot("kv_trackbar");
}

}  // namespace
