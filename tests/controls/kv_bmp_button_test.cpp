// The bitmap button: stay-down groups, fitting to the picture, looks, and presses by mouse and key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/kv_bmp_button.h"
#include "kv_fixture.h"

namespace {

// A picture on olive with a red square in the middle.
std::unique_ptr<TBitmap> Picture(int32_t W = 33, int32_t H = 23, TColor Mark = 0x0000FF) {
  auto b = Blank(W, H, clOlive);
  b->Canvas()->Brush()->SetColor(Mark);
  b->Canvas()->FillRect(TRect(W / 2 - 4, H / 2 - 4, W / 2 + 4, H / 2 + 4));
  return b;
}

class KvBmpButtonTest : public KvTest {
 protected:
  // Four side buttons as the main window has them; the last one down.
  std::vector<TKvBmpButton*> Sides() {
    std::vector<TKvBmpButton*> v;
    for (int i = 0; i < 4; ++i) {
      auto* b = Add<TKvBmpButton>(10 + 40 * i, 10, 33, 23);
      b->BeginLoading();
      b->SetGroupIndex(2);
      b->SetTag(i + 1);
      b->Bitmaps()->SetUp(Picture().get());
      b->Bitmaps()->SetDown(Picture(33, 23, 0x00FF00).get());
      b->Bitmaps()->SetHot(Picture(33, 23, 0xFF0000).get());
      b->SetTabStop(false);
      if (i == 3) b->SetDown(true);
      b->EndLoading();
      b->OnClick = [this, b](TObject*) { Clicks.push_back(int(b->Tag())); };
      v.push_back(b);
    }
    return v;
  }
  void ClickAt(TKvBmpButton* B) {
    Headless::Click(Form.get(), B->Left() + 16, B->Top() + 11);
    Application->ProcessMessages();
  }
  std::vector<int> Clicks;
};

TEST_F(KvBmpButtonTest, StayDownGroups) {
  auto s = Sides();
  auto* lone = Add<TKvBmpButton>(10, 60, 33, 23);
  lone->SetDown(true);  // no group: never down
  EXPECT_FALSE(lone->Down());
  s[3]->SetDown(false);  // the group's down button is not raised by a write
  EXPECT_TRUE(s[3]->Down());
  s[1]->SetDown(true);
  EXPECT_TRUE(s[1]->Down());
  EXPECT_FALSE(s[3]->Down());
  EXPECT_TRUE(Clicks.empty());  // writes never click
  // AllowAllUp spreads over the group; then the down button may be raised.
  s[0]->SetAllowAllUp(true);
  for (auto* b : s) EXPECT_TRUE(b->AllowAllUp());
  s[1]->SetDown(false);
  for (auto* b : s) EXPECT_FALSE(b->Down());
  // Another group is left alone.
  auto* other = Add<TKvBmpButton>(10, 90, 33, 23);
  other->SetGroupIndex(3);
  other->SetDown(true);
  s[2]->SetDown(true);
  EXPECT_TRUE(other->Down());
}

TEST_F(KvBmpButtonTest, MouseClicksOnSideButtons) {
  auto s = Sides();
  ShowForm();
  ClickAt(s[0]);
  EXPECT_TRUE(s[0]->Down());
  EXPECT_FALSE(s[3]->Down());
  ClickAt(s[0]);  // already down: stays down, clicks again
  EXPECT_TRUE(s[0]->Down());
  EXPECT_EQ(Clicks, (std::vector<int>{1, 1}));
  EXPECT_EQ(s[0]->LookState(), TKvBmpButton::TLook::StayDown);
  // Pressed, dragged out and released outside: no click, back to the resting look.
  Headless::MouseDown(Form.get(), s[1]->Left() + 5, s[1]->Top() + 5);
  Application->ProcessMessages();
  EXPECT_EQ(s[1]->LookState(), TKvBmpButton::TLook::Pressed);
  Headless::MouseMove(Form.get(), 300, 200);
  Application->ProcessMessages();
  EXPECT_EQ(s[1]->LookState(), TKvBmpButton::TLook::Up);
  Headless::MouseUp(Form.get(), 300, 200);
  Application->ProcessMessages();
  EXPECT_EQ(Clicks.size(), 2u);
  EXPECT_FALSE(s[1]->Down());
  EXPECT_TRUE(s[0]->Down());
  // The same with the down button: it keeps its stay-down look.
  Headless::MouseDown(Form.get(), s[0]->Left() + 5, s[0]->Top() + 5);
  Headless::MouseMove(Form.get(), 300, 200);
  Headless::MouseUp(Form.get(), 300, 200);
  Application->ProcessMessages();
  EXPECT_EQ(s[0]->LookState(), TKvBmpButton::TLook::StayDown);
  EXPECT_EQ(Clicks.size(), 2u);
  // Hot picture while the pointer is over an up button.
  Headless::MouseMove(Form.get(), s[2]->Left() + 16, s[2]->Top() + 11);
  Application->ProcessMessages();
  EXPECT_TRUE(s[2]->MouseOver());
  EXPECT_EQ(Headless::PixelAt(Form.get(), s[2]->Left() + 16, s[2]->Top() + 11) & 0xFFFFFF, 0xFF0000);
  // The down button shows its Down picture.
  EXPECT_EQ(Headless::PixelAt(Form.get(), s[0]->Left() + 16, s[0]->Top() + 11) & 0xFFFFFF, 0x00FF00);
  // Olive is transparent: the form shows through at the corner.
  EXPECT_EQ(Headless::PixelAt(Form.get(), s[1]->Left() + 1, s[1]->Top() + 1) & 0xFFFFFF,
            Headless::PixelAt(Form.get(), 5, 5) & 0xFFFFFF);
}

TEST_F(KvBmpButtonTest, KeysDoubleClicksAndModalResult) {
  auto s = Sides();
  auto* plain = Add<TKvBmpButton>(10, 60, 80, 30);
  plain->SetCaption("&Go");
  plain->SetModalResult(mrOk);
  int plainClicks = 0, dbl = 0;
  plain->OnClick = [&](TObject*) { ++plainClicks; };
  ShowForm();
  plain->SetFocus();
  Headless::Key(Form.get(), VK_SPACE);
  Application->ProcessMessages();
  EXPECT_EQ(plainClicks, 1);
  EXPECT_EQ(Form->ModalResult(), mrOk);
  Headless::Key(Form.get(), VK_RETURN);
  Application->ProcessMessages();
  EXPECT_EQ(plainClicks, 2);
  EXPECT_FALSE(plain->Down());
  // The caption's accelerator clicks.
  EXPECT_EQ(plain->Perform(CM_DIALOGCHAR, 'G', 0), 1);
  EXPECT_EQ(plainClicks, 3);
  // A double click fires OnDblClick only on a down button.
  for (auto* b : s) b->OnDblClick = [&](TObject*) { ++dbl; };
  ClickAt(s[1]);
  ClickAt(s[1]);
  EXPECT_EQ(dbl, 1);
  Wait(1000);
  ClickAt(s[2]);
  EXPECT_EQ(dbl, 1);
}

TEST_F(KvBmpButtonTest, FittingToThePicture) {
  auto* b = Add<TKvBmpButton>(10, 10, 80, 30);
  b->Bitmaps()->SetUp(Picture().get());
  EXPECT_EQ(b->Width(), 33);
  EXPECT_EQ(b->Height(), 23);
  struct {
    TButtonBorder Border;
    TButtonStyle Style;
    int32_t W, H;
  } cases[] = {{bbButton, TButtonStyle::bsNew, 37, 27},
               {bbButton, TButtonStyle::bsWin31, 39, 29},
               {bbSingle, TButtonStyle::bsNew, 35, 25},
               {bbNone, TButtonStyle::bsNew, 33, 23}};
  for (auto& c : cases) {
    b->SetButtonStyle(c.Style);
    b->SetButtonBorder(c.Border);
    EXPECT_EQ(b->Width(), c.W) << int(c.Border) << int(c.Style);
    EXPECT_EQ(b->Height(), c.H) << int(c.Border) << int(c.Style);
  }
  b->SetBounds(10, 10, 60, 60);  // the size follows the picture
  EXPECT_EQ(b->Width(), 33);
  b->SetButtonSize(bszStretchToButton);
  b->SetBounds(10, 10, 60, 60);
  EXPECT_EQ(b->Width(), 60);
  b->SetMargin(-2);
  EXPECT_EQ(b->Margin(), -1);
  b->SetMargin(3);
  EXPECT_EQ(b->Margin(), 3);
}

// Exposes the layout.
class TLaidOut : public TKvBmpButton {
 public:
  using TKvBmpButton::LayoutGlyphAndCaption;
  using TKvBmpButton::TKvBmpButton;
};

TEST_F(KvBmpButtonTest, GlyphAndCaptionLayout) {
  SetTestFontMode(true);
  auto* b = Add<TLaidOut>(10, 10, 100, 40);
  b->SetButtonSize(bszNeither);
  b->Font()->SetHeight(-10);
  b->SetCaption("abcd");  // 4 x 6 = 24 wide in the test font
  auto pic = Picture(16, 16);
  TRect r(0, 0, 100, 40);
  int32_t th = b->Canvas()->TextHeight("abcd");
  struct {
    TButtonLayout L;
    int32_t Margin, Spacing;
    TRect Glyph;
    int32_t TextLeft, TextTop;
  } cases[] = {
      // Centred: (100 - (16 + 4 + 24)) / 2 = 28.
      {blGlyphLeft, -1, 4, TRect(28, 12, 44, 28), 48, 20 - th / 2},
      {blGlyphRight, -1, 4, TRect(56, 12, 72, 28), 28, 20 - th / 2},
      {blGlyphLeft, 5, 4, TRect(5, 12, 21, 28), 25, 20 - th / 2},
      // Free space split in three: (100 - 40) / 3 = 20.
      {blGlyphLeft, -1, -1, TRect(20, 12, 36, 28), 56, 20 - th / 2},
      {blGlyphTop, 2, 3, TRect(42, 2, 58, 18), 38, 21},
  };
  for (auto& c : cases) {
    b->SetLayout(c.L);
    b->SetMargin(c.Margin);
    b->SetSpacing(c.Spacing);
    TRect g = r;
    TRect t = b->LayoutGlyphAndCaption(g, pic.get());
    EXPECT_EQ(g, c.Glyph) << int(c.L) << ' ' << c.Margin << ' ' << c.Spacing;
    EXPECT_EQ(t.Left, c.TextLeft) << int(c.L) << ' ' << c.Margin << ' ' << c.Spacing;
    EXPECT_EQ(t.Top, c.TextTop) << int(c.L) << ' ' << c.Margin << ' ' << c.Spacing;
    EXPECT_EQ(t.Width(), 24);
  }
  SetTestFontMode(false);
}

TEST_F(KvBmpButtonTest, DisabledLookAndTheSharedPattern) {
  auto* b = Add<TKvBmpButton>(10, 10, 33, 23);
  auto up = Blank(33, 23, clOlive);
  up->Canvas()->Brush()->SetColor(clBlack);
  up->Canvas()->FillRect(TRect(10, 5, 20, 15));
  b->Bitmaps()->SetUp(up.get());
  b->SetEnabled(false);
  ShowForm();
  EXPECT_EQ(b->LookState(), TKvBmpButton::TLook::Disabled);
  // The black square embossed: shadow where it was, white one pixel lower right.
  EXPECT_EQ(Headless::PixelAt(Form.get(), 10 + 12, 10 + 7) & 0xFFFFFF, int32_t(Rgb(clBtnShadow)));
  EXPECT_EQ(Headless::PixelAt(Form.get(), 10 + 20, 10 + 15) & 0xFFFFFF, 0xFFFFFF);
  auto d = KvMakeDisabledPicture(*up);
  EXPECT_EQ(d->GetPixel(0, 0), Rgb(clBtnFace));

  ASSERT_TRUE(KvDownPattern());
  EXPECT_EQ(KvDownPattern()->GetPixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(KvDownPattern()->GetPixel(1, 0), Rgb(clBtnFace));
  EXPECT_EQ(KvDownPattern()->GetPixel(1, 1), 0xFFFFFFu);
  delete b;
  EXPECT_FALSE(KvDownPatternExists());  // the last button took it along
  auto* again = Add<TKvBmpButton>(10, 10, 33, 23);
  EXPECT_FALSE(KvDownPatternExists());
  EXPECT_TRUE(KvDownPattern());
  delete again;
}

TEST_F(KvBmpButtonTest, Screenshot) {
  auto s = Sides();
  s[1]->SetEnabled(false);
  auto* c1 = Add<TKvBmpButton>(10, 50, 100, 30);
  c1->BeginLoading();
  c1->SetButtonSize(bszNeither);
  c1->SetButtonBorder(bbButton);
  c1->Bitmaps()->SetUp(Picture(16, 16).get());
  c1->SetCaption("Caption");
  c1->EndLoading();
  auto* c2 = Add<TKvBmpButton>(120, 50, 100, 30);
  c2->BeginLoading();
  c2->SetButtonSize(bszNeither);
  c2->SetButtonBorder(bbButton);
  c2->SetGroupIndex(5);
  c2->SetDown(true);
  c2->Bitmaps()->SetUp(Picture(16, 16).get());
  c2->SetCaption("Down");
  c2->SetLayout(blGlyphTop);
  c2->EndLoading();
  c2->SetBounds(120, 50, 100, 44);
  auto* c3 = Add<TKvBmpButton>(10, 100, 100, 30);
  c3->BeginLoading();
  c3->SetButtonSize(bszNeither);
  c3->SetButtonBorder(bbSingle);
  c3->Bitmaps()->SetUp(Picture(16, 16, clBlack).get());
  c3->SetCaption("Disabled");
  c3->SetEnabled(false);
  c3->EndLoading();
  ShowForm();
  c1->SetFocus();
  Screenshot("kv_bmp_button");
}

}  // namespace
