// Tab polygons, their regions, outlines, card frames and the look of every style and side.
#include <filesystem>

#include "tests/controls/kv_tab_fixture.h"

namespace {

using TS = TKvTabStyle;
using TO = TKvTabOrientation;

std::vector<TPoint> Shape(TKvCustomTabControl* T, int32_t Index) {
  TPoint P[6];
  int32_t n = T->TabShapePoints(Index, P);
  return std::vector<TPoint>(P, P + n);
}

TEST_F(KvTabTest, ShapePointTablesOfEveryStyle) {
  using V = std::vector<TPoint>;
  struct {
    TS Style;
    bool Soft;
    V Points;
  } cases[] = {
      {TS::tsSingleSlant, false, {{10, 17}, {10, 2}, {12, 0}, {33, 0}, {50, 17}}},
      {TS::tsSingleSlant, true, {{10, 17}, {10, 2}, {12, 0}, {29, 0}, {35, 2}, {50, 17}}},
      {TS::tsDoubleSlant, false, {{10, 17}, {27, 0}, {33, 0}, {50, 17}}},
      {TS::tsDoubleSlant, true, {{10, 17}, {25, 2}, {31, 0}, {29, 0}, {35, 2}, {50, 17}}},
      {TS::tsCutCorner, false, {{10, 17}, {10, 0}, {44, 0}, {50, 6}, {50, 17}}},
      {TS::tsCutCorner, true, {{10, 17}, {10, 0}, {44, 0}, {50, 6}, {50, 17}}},
      {TS::tsRoundCorners, false, {{10, 17}, {10, 2}, {12, 0}, {48, 0}, {50, 2}, {50, 17}}},
      {TS::tsBackSlant, false, {{10, 17}, {27, 0}, {48, 0}, {50, 2}, {50, 17}}},
      {TS::tsBackSlant, true, {{10, 17}, {25, 2}, {31, 0}, {48, 0}, {50, 2}, {50, 17}}},
  };
  for (const auto& c : cases) {
    auto* T = AddTabs({"A"});
    T->SetTabStyle(c.Style);
    T->SetSoftCorners(c.Soft);
    T->UpdateLayout();
    T->SetTabIndex(-1);
    T->Tabs()->Items(0)->RawRect = TRect(10, 0, 50, 17);
    EXPECT_EQ(Shape(T, 0), c.Points) << int(c.Style) << " soft " << c.Soft;
    // Every shape has the point count its outline expects.
    EXPECT_NO_THROW(T->TabOutlineCommands(0));
  }
  // A cut corner of 0 is a rectangle with two equal points.
  auto* T = AddTabs({"A"});
  T->SetTabStyle(TS::tsCutCorner);
  T->SetCutCornerSize(0);
  T->SetCutCornerSize(-3);  // ignored
  T->UpdateLayout();
  T->SetTabIndex(-1);
  T->Tabs()->Items(0)->RawRect = TRect(10, 0, 50, 17);
  EXPECT_EQ(Shape(T, 0), (V{{10, 17}, {10, 0}, {50, 0}, {50, 0}, {50, 17}}));
  // The current round-corner tab grows by 2 to the sides and outwards.
  T->SetTabStyle(TS::tsRoundCorners);
  T->UpdateLayout();
  T->SetTabIndex(0);
  T->Tabs()->Items(0)->RawRect = TRect(10, 2, 50, 17);
  EXPECT_EQ(Shape(T, 0), (V{{8, 17}, {8, 2}, {10, 0}, {50, 0}, {52, 2}, {52, 17}}));
}

TEST_F(KvTabTest, RegionCacheKeepsTheMostRecentRegions) {
  TKvTabRegionCache C;
  EXPECT_EQ(C.Capacity(), 1);
  for (int32_t bad : {0, -2, -100}) {
    try {
      C.SetCapacity(bad);
      ADD_FAILURE() << bad;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Capacity must be -1 (to cache all regions) or > 0");
    }
  }
  auto region = [](int32_t x) { return std::make_unique<TRegion>(TRect(x, 0, x + 5, 5)); };
  const TRect a(0, 0, 5, 5), b(10, 0, 15, 5), c(20, 0, 25, 5);
  C.Add(a, region(0));
  C.Add(b, region(10));
  EXPECT_EQ(C.Count(), 1);
  EXPECT_EQ(C.Find(a), nullptr);
  ASSERT_NE(C.Find(b), nullptr);
  C.SetCapacity(-1);
  C.Add(a, region(0));
  C.Add(c, region(20));
  // Adding a cached rectangle keeps its region and moves it to the front.
  const TRegion* held = C.Add(b, region(99));
  EXPECT_EQ(held->Bounds(), b);
  EXPECT_EQ(C.Count(), 3);
  C.SetCapacity(2);  // trims from the back: a was least recently used
  EXPECT_EQ(C.Count(), 2);
  EXPECT_EQ(C.Find(a), nullptr);
  EXPECT_NE(C.Find(b), nullptr);
  EXPECT_NE(C.Find(c), nullptr);
}

TEST_F(KvTabTest, TabRegionsFollowTheShapeAndHitTesting) {
  auto* T = AddTabs({"AAAA", "B"});
  T->SetTabStyle(TS::tsCutCorner);
  T->UpdateLayout();
  const TRect r = T->TabClientRect(0);
  const TRegion* rg = T->TabRegion(0, r);
  ASSERT_NE(rg, nullptr);
  EXPECT_TRUE(rg->Contains(r.Left + 2, r.Bottom - 2));
  EXPECT_FALSE(rg->Contains(r.Right - 2, r.Top));  // inside the cut corner
  EXPECT_EQ(T->TabAtPoint(r.Left + 2, r.Bottom - 2), 0);
  EXPECT_EQ(T->TabAtPoint(r.Right - 2, r.Top), -1);
  // The default cache holds one region; a capacity of 0 is ignored by the control.
  T->TabRegion(1, T->TabClientRect(1));
  EXPECT_EQ(T->RegionCache()->Count(), 1);
  T->SetRegionCacheCapacity(0);
  EXPECT_EQ(T->RegionCacheCapacity(), 1);
  T->SetRegionCacheCapacity(-1);
  T->TabRegion(0, r);
  EXPECT_EQ(T->RegionCache()->Count(), 2);
}

TEST_F(KvTabTest, RoundCornerOutlineLeavesTheCardSideOpen) {
  auto* T = AddTabs({"A"});
  T->SetTabStyle(TS::tsRoundCorners);
  T->UpdateLayout();
  T->SetTabIndex(-1);
  T->Tabs()->Items(0)->RawRect = TRect(10, 2, 50, 19);
  T->TabOutlineCommands(0);
  // The strip starts 2 pixels before the first tab, so client x is layout x - 8.
  const std::vector<int32_t> expect = {0, 3, 42, 4, 4, 42, 19, 3, 42, 4, 4, 40, 2,
                                       3, 40, 2, 4, 4, 2, 4, 2, 4, 4, 2, 19};
  EXPECT_EQ(T->LineCommands(), expect);
}

// Pixel colours of the off-screen picture after a paint.
TColor Px(TKvCustomTabControl* T, int32_t X, int32_t Y) { return T->OffscreenBitmap()->Canvas()->Pixels(X, Y); }

TEST_F(KvTabTest, CardFrameOpensUnderTheCurrentTabAndShadowsTheCard) {
  auto* T = AddTabs({"AAAA", "BBBB"});
  T->SetTabIndex(1);
  ShowForm();
  const TColor frame = ColorToRGB(clBtnShadow);
  const TColor parent = ColorToRGB(Form->Color());
  const TRect c = T->CardRect(0), cur = T->TabClientRect(1);
  EXPECT_EQ(Px(T, c.Left, c.Top + 20), frame);
  // The frame is open under the current tab, closed under the other one.
  EXPECT_NE(Px(T, (cur.Left + cur.Right) / 2, c.Top), frame);
  const TRect other = T->TabClientRect(0);
  EXPECT_EQ(Px(T, other.Left + 3, c.Top), frame);
  // The frame stands 2 pixels inside the right edge; the two columns outside it are shaded.
  EXPECT_EQ(Px(T, c.Right - 2, c.Top + 20), frame);
  EXPECT_EQ(Px(T, c.Right - 1, c.Top + 20), KvMixColors(clBlack, parent, 30));
  EXPECT_EQ(Px(T, c.Right, c.Top + 20), KvMixColors(clBlack, parent, 15));
  // Hot tracking repaints only the strip: the shadow on screen stays.
  TPoint shade = At(T, c.Right - 1, c.Top + 20);
  const TColor shown = Headless::PixelAt(Form.get(), shade.X, shade.Y);
  TPoint hot = TabCentre(T, 0);
  Headless::MouseMove(Form.get(), hot.X, hot.Y);
  Application->ProcessMessages();
  ASSERT_EQ(T->HotTab(), 0);
  EXPECT_EQ(Headless::PixelAt(Form.get(), shade.X, shade.Y), shown);
  // Without a shadow the frame lies on the edge.
  T->SetShowShadow(false);
  Application->ProcessMessages();
  EXPECT_EQ(Px(T, c.Right, c.Top + 20), frame);
}

TEST_F(KvTabTest, ShadowOfAFlatCardStaysOnTheCard) {
  // A control just as high as its tabs: the card has no height, and the shadow runs of its frame
  // would reach up into the strip and below the picture.
  auto* T = AddTabs({"A"}, 300, 18);
  T->SetBackgroundColor(0x00C0FF);
  ShowForm();
  ASSERT_EQ(T->CardRect(0), TRect(0, 17, 299, 17));
  for (int32_t x : {150, 250, 296}) EXPECT_EQ(Px(T, x, 16), 0x00C0FF) << x;
}

TEST_F(KvTabTest, PaintEventsAndTextColoursAreAskedPerTab) {
  auto* T = AddTabs({"AAAA", "BBBB", "CCCC", ""});
  T->Tabs()->Items(2)->Enabled = false;
  T->SetTabIndex(0);
  std::vector<std::pair<int32_t, TKvTextStyle>> asked;
  T->OnGetTextColor = [&](TObject*, int32_t i, TKvTextStyle s, TColor& c, bool& handled) {
    asked.push_back({i, s});
    if (i == 1) c = 0x0000FF;
  };
  T->OnPaintTabBackground = [&](TObject*, TCanvas* C, int32_t i, const TRect& r, bool& handled) {
    if (i != 1) return;
    C->Brush()->SetColor(0x00FF00);
    C->FillRect(r);
    handled = true;
  };
  T->OnPaintBackground = [&](TObject*, TCanvas* C, const TRect& r, bool& handled) {
    C->Brush()->SetColor(0xFF0000);
    C->FillRect(r);
    handled = true;
  };
  ShowForm();
  using P = std::pair<int32_t, TKvTextStyle>;
  // Back tabs from the last down, the current tab last; a disabled tab is asked twice.
  EXPECT_EQ(asked, (std::vector<P>{{3, TKvTextStyle::tsUnselected},
                                   {2, TKvTextStyle::tsDisabledHighlight},
                                   {2, TKvTextStyle::tsDisabledShadow},
                                   {1, TKvTextStyle::tsUnselected},
                                   {0, TKvTextStyle::tsSelected}}));
  const TRect b = T->TabClientRect(1);
  EXPECT_EQ(Px(T, b.Left + 12, b.Bottom - 1), 0x00FF00);
  // The empty end of the strip shows the handled background.
  EXPECT_EQ(Px(T, 280, 5), 0xFF0000);
  // The current tab carries the highlight bar along its outer edge.
  const TRect c = T->TabClientRect(0);
  EXPECT_EQ(Px(T, (c.Left + c.Right) / 2, c.Top + 2), ColorToRGB(clHighlight));
}

TEST_F(KvTabTest, ATransparentStripShowsItsParent) {
  auto* T = AddTabs({"AAAA"});
  T->SetBackgroundColor(0x00C0FF);
  ShowForm();
  EXPECT_EQ(Px(T, 280, 5), 0x00C0FF);
  T->SetTransparent(true);
  Application->ProcessMessages();
  EXPECT_EQ(Px(T, 280, 5), ColorToRGB(Form->Color()));
  // Following the parent's colour is the default until a colour of its own is set.
  auto* U = AddTabs({"A"});
  EXPECT_TRUE(U->ParentBackgroundColor());
  Form->SetColor(0x336699);
  EXPECT_EQ(U->BackgroundColor(), 0x336699);
  EXPECT_FALSE(T->ParentBackgroundColor());
  EXPECT_EQ(T->BackgroundColor(), 0x00C0FF);
}

TEST_F(KvTabTest, ScreenshotOfTheMainWindowStyle) {
  SetTestFontMode(false);
  std::filesystem::create_directories("screenshots");
  Form->SetBounds(0, 0, 280, 200);
  auto* T = AddTabs({"Standard", "Additional"}, 250, 170);
  T->SetTabStyle(TS::tsRoundCorners);
  T->SetShowShadow(false);
  T->SetFlatColor(13408306);
  T->SetFlatColorAdjustment(30);
  T->SetTabIndex(0);
  T->SetColor(16183522);
  ShowForm();
  ASSERT_TRUE(Headless::SaveWindowPng(Form.get(), "screenshots/tabs_round.png"));
  EXPECT_EQ(Px(T, 0, 100), ColorToRGB(KvShiftLightness(13408306, 30)));
}

TEST_F(KvTabTest, ScreenshotsOfEveryStyleAndSide) {
  SetTestFontMode(false);
  std::filesystem::create_directories("screenshots");
  Form->SetBounds(0, 0, 4 * 200 + 10, 5 * 175 + 10);
  const TS styles[] = {TS::tsSingleSlant, TS::tsDoubleSlant, TS::tsCutCorner, TS::tsRoundCorners, TS::tsBackSlant};
  const TO sides[] = {TO::toTop, TO::toLeft, TO::toBottom, TO::toRight};
  for (int s = 0; s < 5; ++s) {
    for (int o = 0; o < 4; ++o) {
      auto* T = AddTabs({"One", "Two", "&Three"});
      T->SetBounds(5 + o * 200, 5 + s * 175, 190, 165);
      T->SetTabStyle(styles[s]);
      T->SetTabOrientation(sides[o]);
      T->SetTextOrientation(o % 2 ? TOrientation::orVertical : TOrientation::orHorizontal);
      T->SetTabIndex(1);
      T->SetColor(0xF6F0E2);
      T->Tabs()->Items(2)->Enabled = o != 3;
    }
  }
  ShowForm();
  ASSERT_TRUE(Headless::SaveWindowPng(Form.get(), "screenshots/tabs_styles.png"));
}

}  // namespace
