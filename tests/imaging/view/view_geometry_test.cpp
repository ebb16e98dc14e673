// Layout, zoom tables, coordinate maps, origin limits, zoom setters, fitting, wheel and smooth scroll.
#include <limits>
#include <utility>
#include <vector>

#include "view_fixture.h"

TEST(ViewLayout, SmallImageIsCentredAndCannotScroll) {
  auto v = MakeView(100, 100, 400, 300);
  EXPECT_EQ(v->ImageLeft(), 150);
  EXPECT_EQ(v->ImageTop(), 100);
  int32_t mx = -1, my = -1;
  v->GetMaxViewOrigin(mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
  EXPECT_FALSE(v->IsScrollable());
}

TEST(ViewLayout, LargestOriginCountsTheExtraPixelOnceTheImageOverflows) {
  auto v = MakeView(1000, 500, 400, 300);
  int32_t mx = 0, my = 0;
  v->GetMaxViewOrigin(mx, my);
  EXPECT_EQ(mx, 601);
  EXPECT_EQ(my, 201);

  // Origins are clamped to 0 .. largest origin.
  v->SetViewOrigin(-5, 10000);
  EXPECT_EQ(v->ViewOriginX(), 0);
  EXPECT_EQ(v->ViewOriginY(), 201);
  v->SetViewOrigin(700, 50);
  EXPECT_EQ(v->ViewOriginX(), 601);
  EXPECT_EQ(v->ViewOriginY(), 50);
}

TEST(ViewLayout, ApplyZoomKeepsTheBitmapPointUnderTheClientCentre) {
  auto v = MakeView(1000, 500, 400, 300);
  v->SetViewOrigin(100, 50);
  v->ApplyZoom(200);
  EXPECT_EQ(v->ViewOriginX(), 400);
  EXPECT_EQ(v->ViewOriginY(), 250);
  EXPECT_DOUBLE_EQ(v->ScaleX(), 2.0);
  EXPECT_DOUBLE_EQ(v->InvScaleY(), 0.5);
}

TEST(ViewZoomTables, FractionalZoomMapsEveryScreenColumnToABitmapColumn) {
  // 4 columns at 150 %: screen columns 0..5 show bitmap columns 0,0,1,2,2,3; the columns start at 0,2,3,5.
  auto v = MakeView(4, 4, 40, 40);
  v->SetZoom(150);
  ASSERT_EQ(v->ZoomedWidth(), 6);
  ASSERT_EQ(v->DestWidth(), 6);
  const int32_t l = v->ImageLeft();
  const std::vector<int32_t> cols = {0, 0, 1, 2, 2, 3};
  for (int32_t d = 0; d < 6; ++d) EXPECT_EQ(v->ScreenToBitmapX(l + d), cols[size_t(d)]) << "d=" << d;
  const std::vector<int32_t> starts = {0, 2, 3, 5};
  for (int32_t c = 0; c < 4; ++c) EXPECT_EQ(v->BitmapToScreenX(c), l + starts[size_t(c)]) << "c=" << c;
  // Outside the drawn area the formulas extrapolate.
  EXPECT_EQ(v->ScreenToBitmapX(l - 3), -2);
}

TEST(ViewZoomTables, ScrolledIntegerZoomMapsBothWays) {
  auto v = MakeView(1000, 500, 400, 300);
  v->SetZoom(200);
  v->SetViewOrigin(100, 40);
  v->UpdateViewExtents();
  v->BuildZoomTables();
  EXPECT_EQ(v->SourceLeft(), 50);
  EXPECT_EQ(v->SourceTop(), 20);
  for (int32_t x : {0, 1, 7, 399}) EXPECT_EQ(v->ScreenToBitmapX(x), (x + 100) / 2) << x;
  for (int32_t y : {0, 3, 299}) EXPECT_EQ(v->ScreenToBitmapY(y), (y + 40) / 2) << y;
  for (int32_t c : {50, 51, 120}) EXPECT_EQ(v->BitmapToScreenX(c), c * 2 - 100) << c;
}

TEST(ViewZoomTables, ReducedZoomSkipsColumns) {
  auto v = MakeView(400, 200, 300, 300);
  v->SetZoom(50);
  ASSERT_EQ(v->ZoomedWidth(), 200);
  const int32_t l = v->ImageLeft();
  EXPECT_EQ(l, 50);
  for (int32_t d : {0, 1, 99, 199}) EXPECT_EQ(v->ScreenToBitmapX(l + d), 2 * d) << d;
  EXPECT_EQ(v->BitmapToScreenX(10), l + 5);
  EXPECT_EQ(v->BitmapToScreenX(11), l + 5);
}

TEST(ViewZoom, InvalidOrUnchangedZoomOnlyAnnouncesTheRequest) {
  auto v = MakeView(200, 100, 100, 100);
  std::vector<std::pair<int32_t, double>> changing;
  int changes = 0;
  v->OnViewChanging = [&](TObject*, int32_t c, double z) { changing.emplace_back(c, z); };
  v->OnViewChange = [&](TObject*, int32_t) { ++changes; };
  for (double z : {-5.0, 0.0, 100.0}) {
    changing.clear();
    v->SetZoom(z);
    EXPECT_DOUBLE_EQ(v->ZoomX(), 100);
    ASSERT_EQ(changing.size(), 1u) << z;
    EXPECT_EQ(changing[0].first, 2);
    EXPECT_DOUBLE_EQ(changing[0].second, z);
  }
  EXPECT_EQ(changes, 0);
  v->SetZoom(50);
  EXPECT_DOUBLE_EQ(v->ZoomY(), 50);
  EXPECT_EQ(changes, 1);
}

TEST(ViewZoom, AxisSettersChangeOneAxis) {
  auto v = MakeView(200, 100, 100, 100);
  v->SetZoomX(200);
  EXPECT_DOUBLE_EQ(v->ZoomX(), 200);
  EXPECT_DOUBLE_EQ(v->ZoomY(), 100);
  v->SetZoomY(25);
  EXPECT_DOUBLE_EQ(v->ZoomX(), 200);
  EXPECT_DOUBLE_EQ(v->ZoomY(), 25);
  EXPECT_EQ(v->ZoomedWidth(), 400);
  EXPECT_EQ(v->ZoomedHeight(), 25);
}

struct AutoZoomCase {
  int32_t W, H;
  bool Fit, Shrink, Stretch;
  double Zoom;
};

TEST(ViewZoom, AutomaticZoomTable) {
  const AutoZoomCase cases[] = {
      {2000, 1000, false, true, false, 25},   // wider than the client: shrink, width decides
      {2000, 1000, false, false, true, 100},  // stretch alone never reduces
      {100, 50, false, false, true, 500},     // smaller: stretched until the width fills
      {100, 50, false, true, false, 100},     // shrink alone never enlarges
      {1, 1, true, false, false, 100},        // a 1 x 1 picture stays at 100 %
      {200, 1000, true, false, false, 50},    // taller: the height decides
  };
  for (const AutoZoomCase& c : cases) {
    auto v = MakeView(c.W, c.H, 500, 500);
    v->SetAutoFit(c.Fit);
    v->SetAutoShrink(c.Shrink);
    v->SetAutoStretch(c.Stretch);
    v->UpdateView();
    EXPECT_DOUBLE_EQ(v->ZoomX(), c.Zoom) << c.W << "x" << c.H;
    EXPECT_DOUBLE_EQ(v->ZoomY(), c.Zoom);
  }
}

TEST(ViewZoom, FitZoomUsesTheOuterSizeLessTheBorder) {
  auto v = MakeView(1000, 500, 400, 300);
  EXPECT_DOUBLE_EQ(v->GetFitZoom(), 40);  // min(400 / 10, 300 / 5)
  v->ZoomToFit();
  EXPECT_DOUBLE_EQ(v->ZoomX(), 40);
  EXPECT_EQ(v->ZoomedWidth(), 400);
  EXPECT_EQ(v->ImageTop(), 50);
}

TEST(ViewWheel, DefaultWheelZoomsByEightPercentAndNotWhileFitting) {
  auto v = MakeView(200, 100, 100, 100);
  v->ApplyWheel(120, 50, 50, false);
  EXPECT_DOUBLE_EQ(v->ZoomX(), 92);
  v->SetZoom(100);
  v->ApplyWheel(-120, 50, 50, false);
  EXPECT_DOUBLE_EQ(v->ZoomX(), 108);
  v->SetZoom(200);
  v->ApplyWheel(120, 50, 50, false);
  EXPECT_DOUBLE_EQ(v->ZoomX(), 184);

  double asked = 0;
  v->OnZoomOut = [&](TObject*, double& z) {
    asked = z;
    z = 150;
  };
  v->ApplyWheel(120, 50, 50, false);
  EXPECT_DOUBLE_EQ(asked, 184 - 15);
  EXPECT_DOUBLE_EQ(v->ZoomX(), 150);

  v->SetAutoFit(true);
  v->ApplyWheel(120, 50, 50, false);
  EXPECT_DOUBLE_EQ(v->ZoomX(), 150);
}

TEST(ViewWheel, ScrollActionMovesTheOrigin) {
  auto v = MakeView(1000, 1000, 200, 100);
  v->WheelParams()->WheelAction = 1;
  v->ApplyWheel(-120, 0, 0, false);  // towards the user: down by 8 % of the client height
  EXPECT_EQ(v->ViewOriginY(), 8);
  v->ApplyWheel(-120, 0, 0, true);  // Ctrl: horizontally
  EXPECT_EQ(v->ViewOriginX(), 16);
}

TEST(ViewScroll, SmoothScrollHalvesToEvenAndStopsWhenAStepDoesNotMove) {
  auto v = MakeView(1000, 300, 400, 300);
  v->SmoothScrollTo(100, 0);
  std::vector<int32_t> seen{v->ViewOriginX()};
  while (v->SmoothScrolling() && seen.size() < 100) {
    v->SmoothScrollStep();
    if (v->ViewOriginX() != seen.back()) seen.push_back(v->ViewOriginX());
  }
  const std::vector<int32_t> expected = {12, 23, 33, 41, 48, 54, 60, 65, 69, 73, 76, 79,
                                         82, 84, 86, 88, 90, 91, 92, 93, 94, 95, 96};
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(v->SmoothScrolling());
}

TEST(ViewScroll, ScrollRequestsByKind) {
  auto v = MakeView(1000, 1000, 200, 100);
  v->ScrollVertical(3, 0);
  EXPECT_EQ(v->ViewOriginY(), 1);
  v->ScrollVertical(5, 0);
  EXPECT_EQ(v->ViewOriginY(), 101);
  v->ScrollVertical(1, 0);
  int32_t mx = 0, my = 0;
  v->GetMaxViewOrigin(mx, my);
  EXPECT_EQ(v->ViewOriginY(), my);
  v->ScrollVertical(2, 0);
  EXPECT_EQ(v->ViewOriginY(), 0);
  v->HorzScrollParams()->LineAmount = 10;
  v->ScrollHorizontal(3, 0);
  EXPECT_EQ(v->ViewOriginX(), 10);
  v->ScrollHorizontal(0, 55);
  EXPECT_EQ(v->ViewOriginX(), 55);
}

TEST(ViewUpdate, LockedUpdateDoesNothingButClearsTheChangeKind) {
  auto v = MakeView(100, 100, 400, 300);
  v->IncUpdateLock();
  v->CurrentBitmap()->Allocate(300, 100, TQxPixelFormat::qx24RGB);
  v->ChangeKind = 2;
  v->UpdateView();
  EXPECT_EQ(v->ChangeKind, 0);
  EXPECT_EQ(v->ImageLeft(), 150);
  v->DecUpdateLockAndUpdate();
  EXPECT_EQ(v->ImageLeft(), 50);
  v->DecUpdateLock();
  EXPECT_EQ(v->UpdateLock(), 0);
}

TEST(ViewUpdate, PaintLockCountsDownToZeroOnly) {
  auto v = MakeView(10, 10, 40, 40);
  v->IncPaintLock();
  v->IncPaintLock();
  EXPECT_EQ(v->DecPaintLock(), 1);
  EXPECT_EQ(v->DecPaintLockAndUpdate(), 0);
  EXPECT_EQ(v->DecPaintLock(), 0);
}

// Repeated zooming in or out by every road stops where the zoom tables and zoomed sizes stay sound.
TEST(ViewZoom, EveryRoadStopsAtTheZoomBounds) {
  using Step = void (*)(TQuillotView&, bool In);
  const std::pair<const char*, Step> roads[] = {
      {"buttons", [](TQuillotView& v, bool In) { v.SetZoom(v.ZoomX() * (In ? 1.2 : 0.8)); }},
      {"wheel at cursor",
       [](TQuillotView& v, bool In) {
         v.WheelParams()->ZoomAtCursor = 1;
         v.WheelParams()->StepKind = 1;
         v.WheelParams()->StepSize = 50;
         v.ApplyWheel(In ? -120 : 120, 10, 10, false);
       }},
      {"about a point", [](TQuillotView& v, bool In) { v.ZoomAroundPoint(30, 20, v.ZoomX() * (In ? 3 : 0.25), false); }},
      {"axis setters",
       [](TQuillotView& v, bool In) {
         v.SetZoomX(v.ZoomX() * (In ? 4 : 0.2));
         v.SetZoomY(v.ZoomY() * (In ? 4 : 0.2));
       }},
  };
  for (const auto& [name, step] : roads) {
    auto v = MakeView(6000, 4000, 320, 240);
    v->ZoomToFit();
    for (int i = 0; i < 400; ++i) ASSERT_NO_THROW(step(*v, true)) << name;
    EXPECT_LE(v->ZoomedWidth(), TQuillotView::MaxZoomedSize) << name;
    EXPECT_GT(v->ZoomedWidth(), 1000000) << name;
    // One entry per zoomed pixel, and the client's width and a zoomed picture pixel beyond.
    EXPECT_LE(v->ColumnOfX().size(), size_t(TQuillotView::MaxZoomedSize) + 320 + 700 + 2) << name;
    EXPECT_GT(v->ScreenToBitmapX(319), 0) << name;
    for (int i = 0; i < 800; ++i) ASSERT_NO_THROW(step(*v, false)) << name;
    EXPECT_GE(v->ZoomX(), TQuillotView::MinZoom) << name;
    EXPECT_GE(v->ZoomedWidth(), 0) << name;
    EXPECT_LE(v->XOfColumn().size(), size_t(2 * 6000 + 100 / TQuillotView::MinZoom + 4)) << name;
  }

  auto v = MakeView(6000, 4000, 320, 240);
  v->SetZoom(1e300);
  EXPECT_DOUBLE_EQ(v->ZoomX(), TQuillotView::MaxZoomedSize * 100.0 / 6000);
  v->SetZoom(std::numeric_limits<double>::infinity());
  EXPECT_DOUBLE_EQ(v->ZoomY(), TQuillotView::MaxZoomedSize * 100.0 / 6000);
  v->SetZoom(std::numeric_limits<double>::quiet_NaN());
  EXPECT_DOUBLE_EQ(v->ZoomX(), TQuillotView::MaxZoomedSize * 100.0 / 6000);
  v->ApplyZoom(1e-9);
  EXPECT_DOUBLE_EQ(v->ZoomX(), TQuillotView::MinZoom);

  // A zoom that suits a small picture is lowered when a large one takes its place.
  auto s = MakeView(10, 10, 320, 240);
  s->SetZoom(TQuillotView::MaxZoom);
  EXPECT_DOUBLE_EQ(s->ZoomX(), TQuillotView::MaxZoom);
  s->CurrentBitmap()->Allocate(60000, 10, TQxPixelFormat::qx24RGB);
  s->UpdateView();
  EXPECT_LE(s->ZoomedWidth(), TQuillotView::MaxZoomedSize);
}
