// Panels and group boxes: frame widths, layout of children, grid, enabling, captions and looks.
#include <gtest/gtest.h>

#include "controls/kv_panels.h"
#include "controls/kv_text.h"
#include "platform/ui/std_ctrls.h"
#include "kv_fixture.h"

namespace {

class KvPanels : public KvTest {
 protected:
  // The form pixel at a control's client point.
  TColor At(TControl* C, int32_t X, int32_t Y) {
    Application->ProcessMessages();
    TPoint p = C->ClientToScreen(Point(X, Y));
    TPoint f = Form->ClientToScreen(Point(0, 0));
    return Headless::PixelAt(Form.get(), p.X - f.X, p.Y - f.Y + Form->MenuBarHeight());
  }
};

TEST_F(KvPanels, ChildrenFillTheInteriorLeftByTheFrame) {
  struct {
    TFrameStyleEx Outer, Inner;
    TSides Sides;
    int32_t Border, Bevel;
    TRect Expect;  // the aligned child's bounds in a 100 x 60 panel
  } cases[] = {
      {fsRaised, fsNone, KvAllSides, 0, 1, Rect(2, 2, 98, 58)},
      {fsFlat, fsFlatBold, KvAllSides, 0, 1, Rect(3, 3, 97, 57)},
      {fsStatus, fsPopup, KvAllSides, 0, 3, Rect(6, 6, 94, 54)},
      {fsGroove, fsNone, TSides{sdTop, sdLeft}, 4, 1, Rect(6, 6, 96, 56)},
      {fsRaised, fsRaised, TSides{}, 5, 1, Rect(5, 5, 95, 55)},  // no sides: only the border width
      {fsFlatRounded, fsNone, TSides{sdBottom}, 0, 1, Rect(0, 0, 100, 58)},
  };
  for (const auto& c : cases) {
    auto* P = Add<TKvPanel>(0, 0, 100, 60);
    auto* child = Add<TKvPanel>(0, 0, 10, 10, P);
    child->SetAlign(alClient);
    P->SetBevelWidth(c.Bevel);
    P->SetBorderWidth(c.Border);
    P->SetBorderSides(c.Sides);
    P->SetBorderOuter(c.Outer);
    P->SetBorderInner(c.Inner);
    EXPECT_EQ(child->BoundsRect(), c.Expect) << int(c.Outer) << "/" << int(c.Inner);
    EXPECT_EQ(P->FrameInterior(Rect(0, 0, 100, 60), true), c.Expect);
  }
}

TEST_F(KvPanels, BottomAlignedPanelKeepsItsBottomEdge) {
  auto* P = Add<TKvPanel>(0, 0, 320, 40);
  P->SetAlign(alBottom);
  int32_t bottom = P->Top() + P->Height();
  P->SetHeight(70);
  EXPECT_EQ(P->Top() + P->Height(), bottom);
  EXPECT_EQ(P->Height(), 70);
}

TEST_F(KvPanels, DisablingRemembersWhichChildrenWereEnabled) {
  auto* P = Add<TKvPanel>(0, 0, 100, 60);
  auto* on = Add<TKvPanel>(0, 0, 10, 10, P);
  auto* off = Add<TKvPanel>(20, 0, 10, 10, P);
  off->SetEnabled(false);
  P->SetEnabled(false);
  EXPECT_FALSE(on->Enabled());
  auto* late = Add<TKvPanel>(40, 0, 10, 10, P);
  late->SetEnabled(false);
  P->SetEnabled(true);
  EXPECT_TRUE(on->Enabled());
  EXPECT_FALSE(off->Enabled());  // was disabled before: stays so
  EXPECT_TRUE(late->Enabled());  // not recorded: enabled with the panel
}

TEST_F(KvPanels, GridDotsLandOnTheSpacingAndZeroSpacingDrawsNone) {
  ShowForm();
  auto* P = Add<TKvPanel>(10, 10, 40, 30);
  P->SetBorderOuter(fsNone);
  P->SetColor(clWhite);
  P->SetGridColor(0x0000FF);
  P->SetShowGrid(true);
  EXPECT_EQ(At(P, 7, 7), 0x0000FFu);
  EXPECT_EQ(At(P, 15, 23), 0x0000FFu);
  EXPECT_EQ(At(P, 8, 8), 0xFFFFFFu);
  EXPECT_EQ(At(P, 39, 7), 0x0000FFu);  // 40 / 8 = 5 columns: the last dot is at x 39
  P->SetGridXSize(0);
  EXPECT_EQ(At(P, 7, 7), 0xFFFFFFu);
  P->SetGridXSize(8);
  P->SetGridStyle(TKvGridStyle::gsSolidLines);
  EXPECT_EQ(At(P, 7, 0), 0x0000FFu);
  EXPECT_EQ(At(P, 0, 15), 0x0000FFu);
}

TEST_F(KvPanels, GradientRunsFromStartAtTheTopToStopAtTheBottom) {
  ShowForm();
  auto* P = Add<TKvPanel>(10, 10, 60, 40);
  P->SetBorderOuter(fsNone);
  P->SetVisualStyle(vsGradient);
  P->SetGradientColorStyle(gcsCustom);
  P->SetGradientColorStart(0x0000FF);
  P->SetGradientColorStop(0xFF0000);
  EXPECT_EQ(At(P, 30, 0), 0x0000FFu);
  EXPECT_EQ(At(P, 30, 39), 0xFF0000u);
}

TEST_F(KvPanels, GroupBoxStylesShapeTheClientArea) {
  SetTestFontMode(true);
  auto* G = Add<TKvGroupBox>(0, 0, 200, 105);
  G->SetCaption("Group");
  auto* child = Add<TKvPanel>(0, 0, 10, 10, G);
  child->SetAlign(alClient);
  int32_t h = KvTextExtentOf(*G->Font(), "Yy").cy;
  struct {
    TKvGroupBoxStyle Style;
    TRect Expect;
  } cases[] = {
      {TKvGroupBoxStyle::gsFlat, Rect(1, h + 1, 199, 104)},  // h div 2 - 1 is not below border width 0
      {TKvGroupBoxStyle::gsStandard, Rect(2, h + 2, 198, 103)},
      {TKvGroupBoxStyle::gsCustom, Rect(2, h + 2, 198, 103)},
      {TKvGroupBoxStyle::gsTopLine, Rect(0, h, 200, 105)},
      {TKvGroupBoxStyle::gsBanner, Rect(0, h + 8, 200, 105)},
      {TKvGroupBoxStyle::gsUnderline, Rect(0, h + 4, 200, 105)},
  };
  for (const auto& c : cases) {
    G->SetGroupStyle(c.Style);
    EXPECT_EQ(child->BoundsRect(), c.Expect) << int(c.Style);
  }
  SetTestFontMode(false);
}

TEST_F(KvPanels, GroupBoxLooksAndPaintEvents) {
  ShowForm();
  auto* G = Add<TKvGroupBox>(10, 10, 120, 60);
  G->SetColor(clWhite);
  int paints = 0;
  G->OnPaint = [&](TObject*) { ++paints; };
  TColor k = ColorToRGB(KvShiftLightness(clBtnShadow, 30));
  // The flat group frame cuts its corners.
  int32_t top = KvTextExtentOf(*G->Font(), "Pp").cy / 2 - 1;
  EXPECT_EQ(At(G, 0, top + 2), k);
  EXPECT_EQ(At(G, 0, top), 0xFFFFFFu);
  EXPECT_EQ(At(G, 1, top + 1), k);
  EXPECT_EQ(paints, 0);
  G->SetGroupStyle(TKvGroupBoxStyle::gsUnderline);
  G->SetCaption("Colour");
  TRect cr = G->CaptionRect();
  EXPECT_EQ(cr, Rect(0, 0, 120, KvTextExtentOf(*G->Font(), "Colour").cy + 2));
  EXPECT_EQ(At(G, 50, cr.Bottom), k);
  EXPECT_EQ(paints, 0);  // only the custom style paints through the panel
  G->SetGroupStyle(TKvGroupBoxStyle::gsCustom);
  Application->ProcessMessages();
  EXPECT_GT(paints, 0);
  G->SetCaption("");
  G->SetGroupStyle(TKvGroupBoxStyle::gsStandard);
  EXPECT_TRUE(IsRectEmpty(G->CaptionRect()));
}

TEST_F(KvPanels, RightToLeftGroupBoxSetsItsCaptionFromTheRight) {
  auto* G = Add<TKvGroupBox>(10, 10, 120, 60);
  G->SetCaption("&Wave");
  const int32_t cx = KvTextExtentOf(*G->Font(), "Wave").cx, cy = KvTextExtentOf(*G->Font(), "Wave").cy;
  struct {
    TKvGroupBoxStyle Style;
    TBiDiMode Mode;
    TRect Expect;
  } cases[] = {
      {TKvGroupBoxStyle::gsStandard, TBiDiMode::bdLeftToRight, Rect(8, 0, 8 + cx, cy)},
      {TKvGroupBoxStyle::gsStandard, TBiDiMode::bdRightToLeft, Rect(120 - cx - 8, 0, 112, cy)},
      {TKvGroupBoxStyle::gsFlat, TBiDiMode::bdRightToLeftReadingOnly, Rect(120 - cx - 8, 0, 112, cy)},
      {TKvGroupBoxStyle::gsTopLine, TBiDiMode::bdRightToLeft, Rect(120 - cx - 4, 0, 116, cy)},
      {TKvGroupBoxStyle::gsBanner, TBiDiMode::bdRightToLeft, Rect(0, 0, 120, cy + 6)},
  };
  for (const auto& c : cases) {
    G->SetGroupStyle(c.Style);
    G->SetBiDiMode(c.Mode);
    EXPECT_EQ(G->CaptionRect(), c.Expect) << int(c.Style) << " " << int(c.Mode);
  }
  // Right-to-left reading mirrors a left or right alignment only in the full mode.
  G->SetAlignment(taLeftJustify);
  G->SetBiDiMode(TBiDiMode::bdRightToLeft);
  EXPECT_EQ(G->CaptionTextFlags(), uint32_t(DT_RIGHT | DT_RTLREADING));
  G->SetBiDiMode(TBiDiMode::bdRightToLeftNoAlign);
  EXPECT_EQ(G->CaptionTextFlags(), uint32_t(DT_LEFT | DT_RTLREADING));
}

TEST_F(KvPanels, FrameControllerPushesTheSettingsAPanelAccepts) {
  auto* C = new TKvFrameController(Form.get());
  auto* P = Add<TKvPanel>(0, 0, 100, 60);
  auto* Own = Add<TKvPanel>(0, 0, 100, 60);
  auto* G = Add<TKvGroupBox>(0, 0, 100, 60);
  Own->FrameLink().SetNotifications(KvAllFrameNotifications - TKvFrameControllerNotifications{
                                                                  TKvFrameControllerProperty::fcpFrameStyle});
  C->SetFrameStyle(fsFlatBold);
  C->SetColor(0x00C0FF);
  for (TKvCustomPanel* x : {static_cast<TKvCustomPanel*>(P), static_cast<TKvCustomPanel*>(Own),
                            static_cast<TKvCustomPanel*>(G)})
    x->SetFrameController(C);
  EXPECT_EQ(P->BorderOuter(), fsRaised);  // nothing until the controller shows frames
  C->SetFrameVisible(true);
  EXPECT_EQ(P->BorderOuter(), fsFlatBold);
  EXPECT_EQ(P->Color(), 0x00C0FF);
  EXPECT_EQ(P->BorderHighlight(), KvLighten(0x00C0FF, 100));
  EXPECT_EQ(Own->BorderOuter(), fsRaised);  // not among its notifications
  EXPECT_EQ(Own->Color(), 0x00C0FF);
  EXPECT_EQ(G->BorderOuter(), fsNone);  // a group box follows only in its custom style
  delete C;  // the panels forget a controller that goes first
  EXPECT_EQ(P->FrameController(), nullptr);
}

TEST_F(KvPanels, TransparentPanelErasesOnlyWithFullRepaint) {
  auto* P = Add<TKvPanel>(0, 0, 20, 20);
  P->SetTransparent(true);
  P->SetFullRepaint(false);
  auto B = Blank(20, 20, 0x00FF00);
  EXPECT_EQ(P->Perform(WM_ERASEBKGND, reinterpret_cast<uintptr_t>(B->Canvas()), 0), 1);
  EXPECT_EQ(Px(*B, 5, 5), Rgb(0x00FF00));
  P->SetTransparent(false);
  P->Perform(WM_ERASEBKGND, reinterpret_cast<uintptr_t>(B->Canvas()), 0);
  EXPECT_EQ(Px(*B, 5, 5), Rgb(clBtnFace));
}

TEST_F(KvPanels, GroupBoxAcceleratorFocusesItsFirstChild) {
  ShowForm();
  auto* G = Add<TKvGroupBox>(10, 10, 200, 80);
  G->SetCaption("&Size");
  auto* E = Add<TEdit>(10, 30, 80, 21, G);
  auto* Other = Add<TEdit>(10, 120, 80, 21);
  Other->SetFocus();
  Headless::Key(Form.get(), 'S', TShiftState{ssAlt});
  Application->ProcessMessages();
  EXPECT_TRUE(E->Focused());
}

TEST_F(KvPanels, Screenshot) {
  Form->SetBounds(50, 50, 520, 300);
  Form->SetColor(0xF6F0E2);
  ShowForm();
  const TFrameStyleEx outers[] = {fsRaised, fsLowered, fsFlat, fsFlatBold, fsGroove, fsFlatRounded};
  for (int32_t i = 0; i < 6; ++i) {
    auto* P = Add<TKvPanel>(10 + i * 82, 10, 76, 50);
    P->SetBorderOuter(outers[i]);
    P->SetCaption("Panel " + std::to_string(i + 1));
    if (i == 1) P->SetBorderInner(fsRaised);
    if (i == 2) P->SetShowGrid(true);
    if (i == 3) {
      P->SetVisualStyle(vsGradient);
      P->SetGradientDirection(gdVerticalCenter);
    }
    if (i == 5) P->SetEnabled(false);
  }
  const char* names[] = {"Standard", "Custom", "Top line", "Flat", "Banner", "Underline"};
  for (int32_t i = 0; i < 6; ++i) {
    auto* G = Add<TKvGroupBox>(10 + (i % 3) * 168, 80 + (i / 3) * 105, 160, 95);
    G->SetGroupStyle(static_cast<TKvGroupBoxStyle>(i));
    G->SetCaption(std::string("&") + names[i]);
    G->SetParentColor(true);
    if (i == 1) G->SetBorderOuter(fsLowered);
  }
  Screenshot("kv_panels");
}

}  // namespace

namespace {

TEST_F(KvTest, DockSitePanelLaysOutDockedControlsBehindCaptionedGrabbers) {
  auto* site = Add<TKvPanel>(0, 0, 300, 100);
  site->SetBorderOuter(TFrameStyleEx::fsNone);
  EXPECT_EQ(site->DockManager(), nullptr);
  site->SetDockSite(true);
  TKvPanelDockManager* dm = site->DockManager();
  ASSERT_NE(dm, nullptr);
  EXPECT_TRUE(site->DoubleBuffered());
  auto* a = Add<TKvPanel>(0, 0, 10, 10);
  a->SetCaption("Tools");
  auto* b = Add<TKvPanel>(0, 0, 10, 10);
  b->SetCaption("Layers");
  dm->InsertControl(a);
  dm->InsertControl(b);
  EXPECT_EQ(a->Parent(), site);
  // A panel that is not aligned to the top or bottom stacks its docked controls, grabber on top.
  EXPECT_EQ(a->BoundsRect(), TRect(0, 14, 300, 50));
  EXPECT_EQ(b->BoundsRect(), TRect(0, 64, 300, 100));
  EXPECT_EQ(dm->GrabberRect(b), TRect(0, 50, 300, 64));
  EXPECT_EQ(dm->CloseMarkRect(b), TRect(285, 51, 298, 62));
  // Aligned to the top: side by side, each behind a vertical strip on its left.
  site->SetAlign(TAlign::alTop);
  dm->ResetBounds();
  const int32_t w = site->Width();
  EXPECT_EQ(a->BoundsRect(), TRect(14, 0, w / 2, 100));
  EXPECT_EQ(dm->GrabberRect(b), TRect(w / 2, 0, w / 2 + 14, 100));
  EXPECT_EQ(dm->CloseMarkRect(b), TRect(w / 2 + 1, 1, w / 2 + 12, 12));
  site->SetAlign(TAlign::alNone);
  site->SetBounds(0, 0, 300, 100);

  // The grabber of a windowed control without the focus takes the inactive caption colour.
  ShowForm();
  EXPECT_EQ(Headless::PixelAt(Form.get(), 120, 52), ColorToRGB(clInactiveCaption));
  Screenshot("kv_panel_dock");
  // A freed docked control leaves its place to the others.
  delete a;
  dm->ResetBounds();
  EXPECT_EQ(b->BoundsRect(), TRect(0, 14, 300, 100));
  // The site repaints on a mouse activation (the hook), and no longer hooks once the manager goes.
  Application->ProcessMessages();
  site->Perform(WM_MOUSEACTIVATE, 0, 0);
  EXPECT_TRUE(Form->NeedsPaint());
  site->SetDockSite(false);
  EXPECT_EQ(site->DockManager(), nullptr);
  Application->ProcessMessages();
  site->Perform(WM_MOUSEACTIVATE, 0, 0);
  EXPECT_FALSE(Form->NeedsPaint());
}

}  // namespace
