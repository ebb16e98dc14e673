// Tool buttons: images by state, groups, drop-down width, accelerators, focus and the gradient look.
#include <gtest/gtest.h>

#include <string>

#include "controls/kv_panels.h"
#include "controls/kv_tool_button.h"
#include "kv_fixture.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_ctrls.h"

namespace {

class KvToolButtons : public KvTest {
 protected:
  void SetUp() override {
    KvTest::SetUp();
    // Three solid 8 x 8 pictures: red, green, blue.
    Images = new TImageList(Form.get());
    Images->SetWidth(8);
    Images->SetHeight(8);
    TBitmap strip(24, 8, TPixelFormat::pf24bit);
    const TColor colors[] = {0x0000FF, 0x00FF00, 0xFF0000};
    for (int32_t i = 0; i < 3; ++i) {
      strip.Canvas()->Brush()->SetColor(colors[i]);
      strip.Canvas()->FillRect(Rect(i * 8, 0, i * 8 + 8, 8));
    }
    Images->Add(&strip);
  }
  TPoint InForm(TControl* C, int32_t X, int32_t Y) {
    TPoint p = C->ClientToScreen(Point(X, Y));
    TPoint f = Form->ClientToScreen(Point(0, 0));
    return Point(p.X - f.X, p.Y - f.Y + Form->MenuBarHeight());
  }
  TColor Centre(TControl* C) {
    Application->ProcessMessages();
    TPoint p = InForm(C, C->Width() / 2, C->Height() / 2);
    return Headless::PixelAt(Form.get(), p.X, p.Y);
  }
  void ClickAt(TControl* C) {
    TPoint p = InForm(C, C->Width() / 2, C->Height() / 2);
    Headless::Click(Form.get(), p.X, p.Y);
    Application->ProcessMessages();
  }
  TImageList* Images = nullptr;
};

TEST_F(KvToolButtons, ImageFollowsTheEnabledState) {
  ShowForm();
  auto* B = Add<TKvToolButton>(10, 10, 25, 25);
  B->SetImages(Images);
  EXPECT_NE(Centre(B), 0x00FF00);  // ImageIndex -1: no image at all
  B->SetDisabledIndex(2);
  EXPECT_NE(Centre(B), 0xFF0000);
  B->SetImageIndex(1);
  EXPECT_EQ(Centre(B), 0x00FF00);
  B->SetEnabled(false);
  EXPECT_EQ(Centre(B), 0xFF0000);  // the disabled picture, drawn as it is
  B->SetEnabled(true);
  EXPECT_EQ(Centre(B), 0x00FF00);
}

TEST_F(KvToolButtons, DropDownStyleWidensAndLeavesTheGroup) {
  auto* B = Add<TKvToolButton>(0, 0, 25, 25);
  B->SetGroupIndex(3);
  B->SetToolStyle(TKvToolStyle::tsDropDown);
  EXPECT_EQ(B->Width(), 39);
  EXPECT_EQ(B->GroupIndex(), 0);
  B->SetGroupIndex(4);
  EXPECT_EQ(B->GroupIndex(), 0);
  B->SetToolStyle(TKvToolStyle::tsButton);
  EXPECT_EQ(B->Width(), 25);
}

TEST_F(KvToolButtons, WidthWrittenAtRunTimeEndsTheToolbarSize) {
  auto* B = new TKvToolButton(Form.get());
  B->BeginLoading();
  B->SetWidth(40);
  B->EndLoading();
  EXPECT_TRUE(B->UseToolbarButtonSize());
  B->SetWidth(50);
  EXPECT_FALSE(B->UseToolbarButtonSize());
  B->SetUseToolbarButtonSize(true);
  B->SetLayout(TButtonLayout::blGlyphTop);
  EXPECT_FALSE(B->UseToolbarButtonLayout());
  B->SetShowCaption(true);
  EXPECT_FALSE(B->UseToolbarShowCaption());
}

TEST_F(KvToolButtons, GroupsAndClicks) {
  ShowForm();
  auto* P = Add<TKvPanel>(0, 0, 200, 60);
  auto* A = Add<TKvToolButton>(10, 10, 25, 25, P);
  auto* B = Add<TKvToolButton>(40, 10, 25, 25, P);
  A->SetGroupIndex(1);
  B->SetGroupIndex(1);
  int clicksA = 0, clicksB = 0;
  A->OnClick = [&](TObject*) { ++clicksA; };
  B->OnClick = [&](TObject*) { ++clicksB; };
  ClickAt(A);
  EXPECT_TRUE(A->Down());
  EXPECT_EQ(A->Look(), TKvToolButton::lookStayDown);
  ClickAt(A);  // AllowAllUp off: a click on the down button keeps it down and does not click
  EXPECT_TRUE(A->Down());
  EXPECT_EQ(clicksA, 1);
  ClickAt(B);
  EXPECT_TRUE(B->Down());
  EXPECT_FALSE(A->Down());
  EXPECT_EQ(clicksB, 1);
  B->SetAllowAllUp(true);
  EXPECT_TRUE(A->AllowAllUp());
  ClickAt(B);
  EXPECT_FALSE(B->Down());
  EXPECT_EQ(clicksB, 2);
}

TEST_F(KvToolButtons, NeverTakesTheFocusAndAnswersItsAccelerator) {
  ShowForm();
  auto* P = Add<TKvPanel>(0, 0, 200, 80);
  auto* Edit = Add<TEdit>(10, 50, 80, 21, P);
  auto* B = Add<TKvToolButton>(10, 10, 60, 30, P);
  B->SetCaption("&Open");
  B->SetShowCaption(true);
  int clicks = 0;
  B->OnClick = [&](TObject*) { ++clicks; };
  Edit->SetFocus();
  ClickAt(B);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(Edit->Focused());
  Headless::Key(Form.get(), 'O', TShiftState{ssAlt});
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 2);
  B->SetEnabled(false);
  Headless::Key(Form.get(), 'O', TShiftState{ssAlt});
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 2);
}

TEST_F(KvToolButtons, GradientLookShowsWhileTheMouseIsIn) {
  ShowForm();
  auto* B = Add<TKvToolButton>(10, 10, 30, 30);
  B->SetVisualStyle(vsGradient);
  B->SetGradientColorStyle(gcsCustom);
  B->SetSelectionFrameColor(0x0000FF);
  auto corner = [&] {
    Application->ProcessMessages();
    TPoint p = InForm(B, 0, 0);
    return Headless::PixelAt(Form.get(), p.X, p.Y);
  };
  EXPECT_NE(corner(), 0x0000FF);
  TPoint p = InForm(B, 15, 15);
  Headless::MouseMove(Form.get(), p.X, p.Y);
  Application->ProcessMessages();
  EXPECT_TRUE(B->MouseInControl());
  EXPECT_EQ(corner(), 0x0000FF);
  Headless::MouseMove(Form.get(), p.X + 100, p.Y + 100);
  Application->ProcessMessages();
  EXPECT_NE(corner(), 0x0000FF);
}

TEST_F(KvToolButtons, ArrowPartOpensTheMenuOnceAndTheButtonClicksApart) {
  ShowForm();
  auto* Menu = new TPopupMenu(Form.get());
  auto* Item = new TMenuItem(Form.get());
  Item->SetCaption("Recent");
  Menu->Items()->Add(Item);
  auto* B = Add<TKvToolButton>(10, 10, 25, 25);
  B->SetToolStyle(TKvToolStyle::tsDropDown);
  B->SetDropDownMenu(Menu);
  int drops = 0, clicks = 0;
  B->OnDropDown = [&](TObject* Sender) {
    EXPECT_EQ(Sender, Menu);
    ++drops;
  };
  B->OnClick = [&](TObject*) { ++clicks; };
  TPoint arrow = InForm(B, B->Width() - 5, 12), face = InForm(B, 8, 12);
  auto pressArrow = [&] {
    Headless::MouseMove(Form.get(), arrow.X, arrow.Y);
    Headless::MouseDown(Form.get(), arrow.X, arrow.Y);
    Headless::KeyToTop(VK_ESCAPE);  // closes the menu once it is open
    Headless::MouseUp(Form.get(), arrow.X, arrow.Y);
    Application->ProcessMessages();
  };
  pressArrow();
  EXPECT_EQ(drops, 1);
  EXPECT_EQ(clicks, 0);  // the press that opens the menu is no click
  EXPECT_EQ(Menu->PopupComponent(), B);
  // The press that closes the menu (within 100 ms) does not open it again.
  Headless::MouseDown(Form.get(), arrow.X, arrow.Y);
  Headless::MouseUp(Form.get(), arrow.X, arrow.Y);
  Application->ProcessMessages();
  EXPECT_EQ(drops, 1);
  Wait(200);
  pressArrow();
  EXPECT_EQ(drops, 2);
  // After the menu the first press on the face only arms the button again; the next one clicks.
  Headless::Click(Form.get(), face.X, face.Y);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 0);
  Headless::Click(Form.get(), face.X, face.Y);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(drops, 2);
}

TEST_F(KvToolButtons, ImageAndCaptionPlaces) {
  SetTestFontMode(true);
  auto* B = Add<TKvToolButton>(0, 0, 80, 60);
  B->SetImages(Images);
  B->SetImageIndex(0);
  B->SetCaption("Open");
  B->SetShowCaption(true);
  B->SetLayout(TButtonLayout::blGlyphTop);
  TRect ir, tr;
  B->ArrangeImageAndCaption(ir, tr);
  // A = (2, 2, 78, 58); image 8 x 8, gap 4, text h: centred as one column.
  int32_t th = tr.Height();
  int32_t top = 2 + (56 - (8 + 4 + th)) / 2;
  EXPECT_EQ(ir, Rect(36, top, 44, top + 8));
  EXPECT_EQ(tr.Top, top + 12);
  EXPECT_EQ(tr.Left, 2 + (76 - tr.Width()) / 2);
  // Beside each other: the pair is centred across the width, image first or last.
  B->SetLayout(TButtonLayout::blGlyphLeft);
  B->ArrangeImageAndCaption(ir, tr);
  int32_t tw = tr.Width();
  int32_t left = 2 + (76 - (8 + 4 + tw)) / 2;
  EXPECT_EQ(ir.Left, left);
  EXPECT_EQ(tr.Left, left + 12);
  EXPECT_EQ(ir.Top, 26);
  B->SetLayout(TButtonLayout::blGlyphRight);
  B->ArrangeImageAndCaption(ir, tr);
  EXPECT_EQ(ir.Left, 78 - 8 - (76 - (8 + 4 + tw)) / 2);
  EXPECT_EQ(tr.Right, ir.Left - 4);
  B->SetShowCaption(false);
  B->ArrangeImageAndCaption(ir, tr);
  EXPECT_EQ(ir, Rect(36, 26, 44, 34));
  EXPECT_TRUE(IsRectEmpty(tr));
  SetTestFontMode(false);
}

TEST_F(KvToolButtons, Screenshot) {
  Form->SetBounds(50, 50, 400, 150);
  Form->SetColor(0xF6F0E2);
  ShowForm();
  const char* captions[] = {"&Open", "&Save As", "Down", "Classic"};
  for (int32_t i = 0; i < 4; ++i) {
    auto* B = Add<TKvToolButton>(10 + i * 90, 10, 84, 50);
    B->SetImages(Images);
    B->SetImageIndex(i % 3);
    B->SetCaption(captions[i]);
    B->SetShowCaption(true);
    B->SetLayout(TButtonLayout::blGlyphTop);
    B->SetVisualStyle(i == 3 ? vsClassic : vsGradient);
    B->SetGradientColorStyle(gcsCustom);
    B->SetSelectionColorStart(15979149);
    B->SetSelectionColorStop(14789433);
    B->SetSelectionFrameColor(13664560);
    if (i == 1) {
      B->SetDisabledIndex(2);
      B->SetEnabled(false);
    }
    if (i == 2) {
      B->SetGroupIndex(1);
      B->SetDown(true);
    }
    if (i == 3) B->SetFlat(false);
  }
  auto* Drop = Add<TKvToolButton>(10, 80, 25, 25);
  Drop->SetImages(Images);
  Drop->SetImageIndex(0);
  Drop->SetToolStyle(TKvToolStyle::tsDropDown);
  Drop->SetFlat(false);
  Drop->SetVisualStyle(vsClassic);
  auto* Hot = Add<TKvToolButton>(60, 80, 25, 25);
  Hot->SetImages(Images);
  Hot->SetImageIndex(1);
  Hot->SetVisualStyle(vsGradient);
  TPoint p = InForm(Hot, 12, 12);
  Headless::MouseMove(Form.get(), p.X, p.Y);
  Screenshot("kv_tool_buttons");
}

}  // namespace

namespace {

TEST_F(KvToolButtons, FollowsChangesOfItsImageList) {
  auto* b = Add<TKvToolButton>(10, 10, 25, 25);
  b->SetImages(Images);
  b->SetImageIndex(0);
  ShowForm();
  EXPECT_EQ(Centre(b), 0x0000FF);
  // A picture replaced in the list shows without touching the button.
  TBitmap yellow(8, 8, TPixelFormat::pf24bit);
  yellow.Canvas()->Brush()->SetColor(0x00FFFF);
  yellow.Canvas()->FillRect(Rect(0, 0, 8, 8));
  Images->Replace(0, &yellow);
  EXPECT_EQ(Centre(b), 0x00FFFF);
  // Larger pictures make the button grow to hold them.
  Images->SetWidth(40);
  Images->SetHeight(32);
  EXPECT_EQ(b->Width(), 40);
  EXPECT_EQ(b->Height(), 32);
  // A freed list is forgotten; later changes of another list do not reach the button.
  delete Images;
  Images = nullptr;
  EXPECT_EQ(b->Images(), nullptr);
  Application->ProcessMessages();
}

}  // namespace
