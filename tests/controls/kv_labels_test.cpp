// Labels and the link label: angles, rotation, auto size, condensing, blinking, opening links.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "controls/kv_labels.h"
#include "controls/kv_text.h"
#include "kv_fixture.h"
#include "platform/base/numeric.h"

namespace {

class KvLabels : public KvTest {
 protected:
  void TearDown() override {
    KvOpenURLHook = nullptr;
    SetTestFontMode(false);
    KvTest::TearDown();
  }
};

TEST_F(KvLabels, AnglesAreKeptWithinOneTurn) {
  auto* L = Add<TKvLabel>(0, 0, 80, 20);
  struct {
    int32_t Set, Stored;
    TRotation Rotation;
  } cases[] = {
      {-90, 270, TRotation::roFlat}, {450, 90, TRotation::roFlat},   {-450, 270, TRotation::roFlat},
      {-1080, 0, TRotation::roFlat}, {359, 359, TRotation::roFlat},
  };
  for (const auto& c : cases) {
    L->SetAngle(c.Set);
    EXPECT_EQ(L->Angle(), c.Stored) << c.Set;
    EXPECT_EQ(L->Rotation(), c.Rotation) << c.Set;
  }
  auto* M = Add<TKvLabel>(0, 30, 80, 20);
  M->SetAngle(360);  // a full turn is no turn: the rotation stays off
  EXPECT_EQ(M->Angle(), 0);
  EXPECT_EQ(M->Rotation(), TRotation::roNone);
  M->SetRotation(TRotation::roCurve);
  M->SetAngle(30);
  M->SetCenterPoint(TCenterPoint::cpLowerLeft);
  EXPECT_EQ(M->Rotation(), TRotation::roCurve);  // an arc keeps its angle
  M->SetRotation(TRotation::roFlat);
  EXPECT_EQ(M->Angle(), 0);
  EXPECT_EQ(M->CenterPoint(), TCenterPoint::cpCenter);
}

TEST_F(KvLabels, AutoSizeGrowsForFrameShadowAndTurn) {
  SetTestFontMode(true);
  auto* L = Add<TKvLabel>(0, 0, 10, 10);
  L->SetCaption("Hello");
  TSize s = KvTextExtentOf(*L->Font(), "Hello");
  EXPECT_EQ(L->Width(), s.cx);
  EXPECT_EQ(L->Height(), s.cy);
  L->SetBorderOuter(fsFlat);
  L->SetBorderWidth(2);
  L->SetBorderSides(TSides{sdLeft, sdTop});
  L->SetCaption("Hello ");
  L->SetCaption("Hello");  // frame writes do not resize; the caption change does
  EXPECT_EQ(L->Width(), s.cx + 3);
  EXPECT_EQ(L->Height(), s.cy + 3);
  auto* R = Add<TKvLabel>(0, 40, 10, 10);
  R->SetCaption("Turned");
  TSize t = KvTextExtentOf(*R->Font(), "Turned");
  R->SetAngle(90);
  EXPECT_EQ(R->Width(), t.cy);
  EXPECT_EQ(R->Height(), t.cx);
  // Any angle gives the bounding box of the turned extent, in every quadrant alike.
  for (int32_t a : {45, 100, 135, 300}) {
    R->SetAngle(a);
    double r = a * 3.14159265358979323846 / 180.0, c = std::fabs(std::cos(r)), si = std::fabs(std::sin(r));
    EXPECT_EQ(R->Width(), Round(c * t.cx + si * t.cy)) << a;
    EXPECT_EQ(R->Height(), Round(si * t.cx + c * t.cy)) << a;
  }
  // A right-aligned label keeps its right edge.
  auto* Right = Add<TKvLabel>(100, 80, 60, 14);
  Right->SetAutoSize(false);
  Right->SetAlignment(taRightJustify);
  Right->SetCaption("ab");
  Right->SetAutoSize(true);
  EXPECT_EQ(Right->Left() + Right->Width(), 160);
  // Condensing the caption stops the auto size.
  Right->SetCondenseCaption(TKvCondenseCaption::ccAtEnd);
  EXPECT_FALSE(Right->AutoSize());
}

TEST_F(KvLabels, BlinkingKeepsItsColoursUntilItStops) {
  ShowForm();
  auto* L = Add<TKvLabel>(0, 0, 80, 20);
  L->Font()->SetColor(0x101010);
  L->SetBlinkColor(0x00FF00);
  L->SetBlinking(true);
  Wait(500);
  Wait(500);
  EXPECT_EQ(L->CurrentTextColor(), 0x00FF00);
  L->Font()->SetColor(0x202020);  // while blinking the normal colour is not renewed
  Wait(500);
  EXPECT_EQ(L->CurrentTextColor(), 0x101010);
  L->SetBlinking(false);
  EXPECT_EQ(L->CurrentTextColor(), 0x101010);
  L->Font()->SetColor(0x303030);
  EXPECT_EQ(L->CurrentTextColor(), 0x303030);
}

TEST_F(KvLabels, FlyByColourShowsWhileTheMouseIsOver) {
  ShowForm();
  auto* L = Add<TKvLabel>(10, 10, 80, 20);
  L->SetCaption("Hover");
  L->Font()->SetColor(0x101010);
  L->SetFlyByColor(0x0000FF);
  L->SetFlyByEnabled(true);
  int enters = 0;
  L->OnMouseEnter = [&](TObject*) { ++enters; };
  TPoint o = Form->ClientToScreen(Point(0, 0)), p = L->ClientToScreen(Point(5, 5));
  Headless::MouseMove(Form.get(), p.X - o.X, p.Y - o.Y + Form->MenuBarHeight());
  Application->ProcessMessages();
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(L->CurrentTextColor(), 0x0000FF);
  Headless::MouseMove(Form.get(), 300, 200);
  Application->ProcessMessages();
  EXPECT_EQ(L->CurrentTextColor(), 0x101010);
  EXPECT_EQ(L->Font()->Color(), 0x101010);
}

TEST_F(KvLabels, LinkOpensItsAddressOrCaptionWithXdgOpen) {
  std::vector<std::vector<std::string>> opened;
  KvOpenURLHook = [&](const std::vector<std::string>& Cmd) {
    opened.push_back(Cmd);
    return true;
  };
  auto* L = Add<TKvURLLabel>(0, 0, 100, 14);
  int clicks = 0;
  L->OnClick = [&](TObject*) { ++clicks; };
  L->SetCaption("https://example.org/caption");
  L->SetURL("  https://example.org/a b;rm -rf x  ");
  EXPECT_EQ(L->Font()->Color(), clHighlight);
  L->Click();
  EXPECT_TRUE(L->Visited());
  EXPECT_EQ(L->Font()->Color(), L->VisitedColor());
  L->SetURL("   ");
  L->Click();  // a blank address opens the caption
  L->SetCaption("  ");
  L->Click();  // nothing to open: the click event only
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(opened, (std::vector<std::vector<std::string>>{{"xdg-open", "https://example.org/a b;rm -rf x"},
                                                            {"xdg-open", "https://example.org/caption"}}));
  EXPECT_EQ(L->Cursor(), crKvHandPoint);
  EXPECT_TRUE(L->Font()->Style().Contains(TFontStyle::fsUnderline));
}

TEST_F(KvLabels, ArcTextOnALabelTooSmallForARadiusPaintsNothing) {
  ShowForm();
  auto* L = Add<TKvLabel>(10, 10, 4, 4);
  L->SetAutoSize(false);
  L->SetBorderWidth(1);
  L->SetRotation(TRotation::roCurve);
  L->SetCenterPoint(TCenterPoint::cpCenter);
  L->SetCaption("Arc");
  L->SetBounds(10, 10, 4, 4);
  EXPECT_EQ(L->ArcRadii().X, 0);
  Application->ProcessMessages();  // no division by the zero radius
}

TEST_F(KvLabels, Screenshot) {
  Form->SetBounds(50, 50, 460, 260);
  Form->SetColor(0xF6F0E2);
  ShowForm();
  const TTextStyle styles[] = {tsNormal, tsRaised, tsRecessed, tsShadow};
  const char* names[] = {"Normal", "Raised", "Recessed", "Shadow"};
  for (int32_t i = 0; i < 4; ++i) {
    auto* L = Add<TKvLabel>(10, 10 + i * 26, 120, 20);
    L->SetCaption(names[i]);
    L->SetTextStyle(styles[i]);
    L->Font()->SetHeight(-16);
    L->SetHighlightColor(clWhite);
  }
  auto* Framed = Add<TKvLabel>(10, 120, 140, 24);
  Framed->SetAutoSize(false);
  Framed->SetBounds(10, 120, 140, 24);
  Framed->SetBorderOuter(fsRaised);
  Framed->SetBorderInner(fsLowered);
  Framed->SetLayout(TTextLayout::tlCenter);
  Framed->SetAlignment(taCenter);
  Framed->SetCaption("Framed, centred");
  auto* Dis = Add<TKvLabel>(10, 154, 140, 20);
  Dis->SetCaption("Disabled label");
  Dis->SetEnabled(false);
  auto* Path = Add<TKvLabel>(10, 180, 140, 20);
  Path->SetCondenseCaption(TKvCondenseCaption::ccWithinPath);
  Path->SetBounds(10, 180, 140, 20);
  Path->SetCaption("/home/someone/pictures/2026/holiday/beach.png");
  auto* Turned = Add<TKvLabel>(170, 10, 20, 20);
  Turned->SetCaption("Turned 90");
  Turned->SetAngle(90);
  auto* Slant = Add<TKvLabel>(200, 10, 20, 20);
  Slant->SetCaption("Turned 30");
  Slant->SetAngle(30);
  auto* Arc = Add<TKvLabel>(300, 10, 140, 140);
  Arc->SetAutoSize(false);
  Arc->SetBounds(300, 10, 140, 140);
  Arc->SetRotation(TRotation::roCurve);
  Arc->SetAngle(70);
  Arc->SetCaption("Along an arc");
  auto* Link = Add<TKvURLLabel>(170, 200, 200, 14);
  Link->SetCaption("https://quorvel.example.com");
  Screenshot("kv_labels");
}

}  // namespace
