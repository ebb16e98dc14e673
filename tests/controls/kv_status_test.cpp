// Status bar, status pane and separator: auto width, size grip, simple mode, pane scaling, blinking.
#include <gtest/gtest.h>

#include <string>

#include "controls/kv_status.h"
#include "controls/kv_text.h"
#include "kv_fixture.h"

namespace {

class KvStatus : public KvTest {
 protected:
  TPoint InForm(TControl* C, int32_t X, int32_t Y) {
    TPoint p = C->ClientToScreen(Point(X, Y));
    TPoint f = Form->ClientToScreen(Point(0, 0));
    return Point(p.X - f.X, p.Y - f.Y + Form->MenuBarHeight());
  }
};

TEST_F(KvStatus, AutoSizedPaneMeasuresItsWholeCaption) {
  SetTestFontMode(true);
  auto* P = Add<TKvStatusPane>(0, 0, 100, 20);
  P->SetAutoSize(true);
  EXPECT_EQ(P->Width(), 40);  // no caption: the default width
  P->SetCaption("Ready");
  int32_t w = KvTextExtentOf(*P->Font(), "Ready").cx;
  EXPECT_EQ(P->Width(), w + 10);  // 2 x border 1 + offset 2 + 6
  P->SetBorderWidth(3);
  P->SetCaptionOffset(5);
  P->SetCaption("Ready!");
  EXPECT_EQ(P->Width(), 6 + KvTextExtentOf(*P->Font(), "Ready!").cx + 5 + 6);
  // A file name far past 255 characters is measured whole.
  std::string name = "/home/user/" + std::string(400, 'p') + ".png";
  P->SetCaption(name);
  EXPECT_EQ(P->Width(), 6 + KvTextExtentOf(*P->Font(), name).cx + 5 + 6);
  P->SetCaption("");
  P->SetDefaultWidth(77);
  EXPECT_EQ(P->Width(), 77);
  SetTestFontMode(false);
}

TEST_F(KvStatus, FillColorFollowsTheParentUntilSet) {
  auto* Bar = Add<TKvStatusBar>(0, 0, 300, 19);
  auto* P = Add<TKvStatusPane>(0, 0, 100, 19, Bar);
  Bar->SetColor(0x123456);
  EXPECT_EQ(P->FillColor(), 0x123456);
  P->SetFillColor(0xABCDEF);
  EXPECT_FALSE(P->ParentFillColor());
  Bar->SetColor(0x654321);
  EXPECT_EQ(P->FillColor(), 0xABCDEF);
  P->SetParentFillColor(true);
  EXPECT_EQ(P->FillColor(), 0x654321);
}

TEST_F(KvStatus, BlinkingAlternatesAndStopsOnTheFontColour) {
  ShowForm();
  auto* P = Add<TKvStatusPane>(0, 0, 100, 20);
  P->Font()->SetColor(0x111111);
  P->SetBlinkColor(0x00FFFF);
  P->SetBlinkIntervalOn(800);
  P->SetBlinkIntervalOff(200);
  P->SetBlinking(true);
  EXPECT_EQ(P->CaptionColor(), 0x111111);
  // The shared timer was started at 500 ms; new intervals count from its next switch (to off).
  Wait(500);
  EXPECT_EQ(P->CaptionColor(), 0x111111);
  Wait(200);
  EXPECT_EQ(P->CaptionColor(), 0x00FFFF);
  Wait(799);
  EXPECT_EQ(P->CaptionColor(), 0x00FFFF);
  Wait(1);
  EXPECT_EQ(P->CaptionColor(), 0x111111);
  Wait(200);
  EXPECT_EQ(P->CaptionColor(), 0x00FFFF);
  P->SetBlinking(false);
  EXPECT_EQ(P->CaptionColor(), 0x111111);
  P->SetBlinkIntervalOn(500);
  P->SetBlinkIntervalOff(500);
}

TEST_F(KvStatus, SizeGripWorksOnSizeableFormsOnly) {
  ShowForm();
  auto* Bar = Add<TKvStatusBar>(0, 0, 320, 19);
  Bar->SetAlign(alBottom);
  Application->ProcessMessages();
  EXPECT_TRUE(Bar->GripWorks());
  Form->SetBorderStyle(TFormBorderStyle::bsDialog);
  Bar->Invalidate();
  Application->ProcessMessages();
  EXPECT_FALSE(Bar->GripWorks());
  Form->SetBorderStyle(TFormBorderStyle::bsSizeable);
  Bar->Invalidate();
  Application->ProcessMessages();
  // A press on the grip resizes the form from its bottom-right corner, also over a pane.
  auto* Pane = Add<TKvStatusPane>(0, 0, 10, 19, Bar);
  Pane->SetAlign(alClient);
  Application->ProcessMessages();
  int32_t w = Form->Width(), h = Form->Height();
  TPoint g = InForm(Bar, Bar->Width() - 4, 10);
  Headless::MouseMove(Form.get(), g.X, g.Y);
  Headless::MouseDown(Form.get(), g.X, g.Y);
  Headless::MouseMove(Form.get(), g.X + 30, g.Y + 20);
  Headless::MouseUp(Form.get(), g.X + 30, g.Y + 20);
  Application->ProcessMessages();
  EXPECT_EQ(Form->Width(), w + 30);
  EXPECT_EQ(Form->Height(), h + 20);
  // The screen's diagonal sizing cursor shows over the grip.
  TPoint g2 = InForm(Bar, Bar->Width() - 4, 10);
  Headless::MouseMove(Form.get(), g2.X, g2.Y);
  Application->ProcessMessages();
  EXPECT_EQ(Screen->ShownCursor(), crSizeNWSE);
  Form->SetWindowState(TWindowState::wsMaximized);
  Bar->Invalidate();
  Application->ProcessMessages();
  EXPECT_FALSE(Bar->GripWorks());
}

TEST_F(KvStatus, SimpleStatusHidesAndShowsEveryPane) {
  auto* Bar = Add<TKvStatusBar>(0, 0, 300, 19);
  auto* A = Add<TKvStatusPane>(0, 0, 100, 19, Bar);
  auto* B = Add<TKvStatusPane>(100, 0, 100, 19, Bar);
  B->SetVisible(false);
  Bar->SetSimpleStatus(true);
  EXPECT_FALSE(A->Visible());
  Bar->SetSimpleStatus(false);
  EXPECT_TRUE(A->Visible());
  EXPECT_TRUE(B->Visible());
}

TEST_F(KvStatus, AutoStyleSurvivesLoadingAndLaterBorderWritesEndIt) {
  auto* Bar = new TKvStatusBar(Form.get());
  Bar->SetParent(Form.get());
  Bar->BeginLoading();
  Bar->SetBorderOuter(fsRaised);
  Bar->SetHeight(30);
  Bar->EndLoading();
  EXPECT_EQ(Bar->BorderOuter(), fsNone);
  EXPECT_EQ(Bar->Height(), 19);
  EXPECT_TRUE(Bar->AutoStyle());
  Bar->SetBorderInner(fsLowered);
  EXPECT_FALSE(Bar->AutoStyle());
}

TEST_F(KvStatus, PanesScaleWithTheBar) {
  auto* Bar = Add<TKvStatusBar>(0, 0, 200, 19);
  Bar->SetAlign(alNone);
  Bar->SetWidth(200);
  auto* P = Add<TKvStatusPane>(0, 0, 50, 19, Bar);
  Bar->SetAutoScalePanes(true);
  Bar->SetWidth(300);
  EXPECT_EQ(P->Width(), 75);
  // From a width of 0 there is no ratio: the pane keeps its width.
  Bar->SetWidth(0);
  int32_t w = P->Width();
  Bar->SetWidth(100);
  EXPECT_EQ(P->Width(), w);
}

TEST_F(KvStatus, PaneOnAGradientBarDrawsADividerPastTheBorder) {
  ShowForm();
  auto* Bar = Add<TKvStatusBar>(0, 100, 300, 19);
  Bar->SetVisualStyle(vsGradient);
  Bar->SetShowSizeGrip(false);
  auto* First = Add<TKvStatusPane>(0, 0, 100, 19, Bar);
  auto* Second = Add<TKvStatusPane>(100, 0, 100, 19, Bar);
  First->SetBorderWidth(0);
  Second->SetBorderWidth(0);
  TColor stop, start, frame;
  KvBarGradientColors(gcsSystem, stop, start, frame);
  Application->ProcessMessages();
  TPoint a = InForm(First, 0, 9), b = InForm(Second, 0, 9);
  EXPECT_NE(Headless::PixelAt(Form.get(), a.X, a.Y), ColorToRGB(frame));
  EXPECT_EQ(Headless::PixelAt(Form.get(), b.X, b.Y), ColorToRGB(frame));
}

TEST_F(KvStatus, SeparatorGradientAndOrientation) {
  auto* S = Add<TKvSeparator>(0, 0, 200, 2);
  S->SetColor(0x111111);
  S->SetHighlightColor(0x222222);
  struct {
    TOrientation O;
    TKvHighlightLocation L;
    TGradientDirection D;
    TColor First, Second;
  } cases[] = {
      {orHorizontal, TKvHighlightLocation::hlCenter, gdVerticalCenter, 0x111111, 0x222222},
      {orHorizontal, TKvHighlightLocation::hlUpperLeft, gdVerticalEnd, 0x222222, 0x111111},
      {orHorizontal, TKvHighlightLocation::hlLowerRight, gdVerticalEnd, 0x111111, 0x222222},
      {orVertical, TKvHighlightLocation::hlCenter, gdHorizontalCenter, 0x111111, 0x222222},
      {orVertical, TKvHighlightLocation::hlUpperLeft, gdHorizontalEnd, 0x222222, 0x111111},
      {orVertical, TKvHighlightLocation::hlLowerRight, gdHorizontalEnd, 0x111111, 0x222222},
  };
  for (const auto& c : cases) {
    S->SetOrientation(c.O);
    S->SetHighlightLocation(c.L);
    EXPECT_EQ(S->GradientDirectionUsed(), c.D);
    EXPECT_EQ(S->FirstColor(), c.First);
    EXPECT_EQ(S->SecondColor(), c.Second);
  }
  auto* T = Add<TKvSeparator>(0, 10, 200, 2);
  T->SetOrientation(orVertical);
  EXPECT_EQ(T->Width(), 2);
  EXPECT_EQ(T->Height(), 200);
}

TEST_F(KvStatus, Screenshot) {
  Form->SetBounds(50, 50, 480, 200);
  Form->SetColor(0xF6F0E2);
  ShowForm();
  auto* Sep = Add<TKvSeparator>(10, 10, 440, 2);
  Sep->SetHighlightColor(0xD08130);
  auto* Sep2 = Add<TKvSeparator>(10, 20, 440, 6);
  Sep2->SetHighlightLocation(TKvHighlightLocation::hlUpperLeft);
  auto* Simple = Add<TKvStatusBar>(0, 40, 480, 19);
  Simple->SetAlign(alNone);
  Simple->SetSimpleStatus(true);
  Simple->SetSimpleCaption("Simple status text");
  Simple->SetBounds(0, 40, 480, 19);
  auto* Grad = Add<TKvStatusBar>(0, 80, 480, 19);
  Grad->SetAlign(alNone);
  Grad->SetVisualStyle(vsGradient);
  Grad->SetBounds(0, 80, 480, 19);
  for (int32_t i = 0; i < 3; ++i) {
    auto* P = Add<TKvStatusPane>(i * 120, 0, 120, 19, Grad);
    P->SetCaption("Pane " + std::to_string(i + 1));
  }
  auto* Bar = Add<TKvStatusBar>(0, 0, 480, 19);
  auto* Pane = Add<TKvStatusPane>(0, 0, 100, 19, Bar);
  Pane->SetAlign(alClient);
  Pane->SetCaption("/home/someone/pictures/holiday-2026/a rather long file name of a picture.png");
  auto* Boxed = Add<TKvStatusPane>(10, 120, 150, 20);
  Boxed->SetFrameStyle(fsLowered);
  Boxed->SetCaption("Lowered, right");
  Boxed->SetAlignment(taRightJustify);
  auto* Off = Add<TKvStatusPane>(170, 120, 150, 20);
  Off->SetCaption("Disabled");
  Off->SetEnabled(false);
  Screenshot("kv_status");
}

}  // namespace
