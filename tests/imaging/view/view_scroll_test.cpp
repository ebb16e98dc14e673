// Scrolling recomposes the frame: every frame on the screen
// after a scroll is the frame a fresh view paints at the new origin, over transparent layers, every
// background style, zooms, scrolls by a pixel and by more than the client, partial exposes and pixels
// changed between scrolls.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "view_fixture.h"

namespace {

constexpr int32_t kClientW = 240, kClientH = 160;
constexpr int32_t kPictureW = 600, kPictureH = 400;

struct Scene {
  TQxBackgroundStyle Style;
  bool TranslucentBase;  // layer 0 has transparent and half-transparent parts: the background shows
  double Zoom;
  bool Stretched = false;  // with a layer drawn at another size than its bitmap's
  bool Overhang = false;   // with a layer that reaches over the picture's left edge
  int32_t PictureW = kPictureW;
  int32_t ClientW = kClientW;  // 241: rows padded to four bytes
  int32_t OpaqueRows = 0;      // layer 0 opaque above this row and see-through below, as over a reflection
};

// A textured base (any shift shows; see-through in places when the scene says so) under a layer with an
// alpha ramp and a translucent layer.
std::unique_ptr<TQuillotView> Build(const Scene& S, int32_t OriginX, int32_t OriginY) {
  const int32_t kPictureW = S.PictureW;
  auto v = MakeView(kPictureW, kPictureH, S.ClientW, kClientH);
  v->SetBackgroundStyle(S.Style);
  v->SetBackground(0x00305070);
  TQxBitmap* b = v->CurrentBitmap();
  for (int32_t y = 0; y < kPictureH; ++y)
    for (int32_t x = 0; x < kPictureW; ++x)
      reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] =
          TQxRGB{uint8_t(x * 7 + y * 3), uint8_t(x * 3 ^ y * 5), uint8_t((x + y) * 11)};
  if (S.TranslucentBase) {
    TQxBitmap* a = b->GetAlphaChannel();
    for (int32_t y = 0; y < kPictureH; ++y)
      for (int32_t x = 0; x < kPictureW; ++x)
        a->Scanline(y)[x] = y < S.OpaqueRows ? 255
                            : uint8_t((x / 50 + y / 40) % 3 == 0 ? 0 : (x / 50 + y / 40) % 3 == 1 ? 90 + y / 4 : 255);
    a->Opaque = false;
  }
  v->AddLayer();
  TQxBitmap* l = v->CurrentBitmap();
  l->Allocate(200, 150, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 150; ++y)
    for (int32_t x = 0; x < 200; ++x)
      reinterpret_cast<TQxRGB*>(l->Scanline(y))[x] = TQxRGB{uint8_t(200 - x), uint8_t(y * 3), uint8_t(x ^ y)};
  TQxBitmap* la = l->GetAlphaChannel();
  for (int32_t y = 0; y < 150; ++y)
    for (int32_t x = 0; x < 200; ++x) la->Scanline(y)[x] = uint8_t(255 - y);
  la->Opaque = false;
  v->CurrentLayer()->PosX = S.Overhang ? -60 : 20;
  v->CurrentLayer()->PosY = 130;
  v->AddLayer();
  TQxBitmap* s = v->CurrentBitmap();
  s->Allocate(90, 70, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 70; ++y)
    for (int32_t x = 0; x < 90; ++x)
      reinterpret_cast<TQxRGB*>(s->Scanline(y))[x] = TQxRGB{uint8_t(x * 9), uint8_t(255 - y * 2), uint8_t(x * y)};
  v->CurrentLayer()->PosX = std::min(300, kPictureW - 131);
  v->CurrentLayer()->PosY = 60;
  if (S.Stretched) {
    v->CurrentLayer()->Width = 131;
    v->CurrentLayer()->Height = 53;
  }
  v->CurrentLayer()->Opacity = 170;
  v->SetCurrentLayer(0);
  v->UpdateView();
  if (S.Zoom != 100) v->SetZoom(S.Zoom);
  v->SetViewOrigin(OriginX, OriginY);
  return v;
}

// What the window shows (the view's canvas), read without asking for the back buffer, which would
// tell the view that it may have been drawn over.
std::vector<TColor> Shown(TQuillotView* v) {
  std::vector<TColor> out;
  const int32_t w = v->ViewClientWidth();
  out.reserve(size_t(w) * kClientH);
  TCanvas* c = v->Canvas();
  for (int32_t y = 0; y < kClientH; ++y)
    for (int32_t x = 0; x < w; ++x) out.push_back(c->Pixels(x, y));
  return out;
}

// The frame a fresh view, composed whole, shows at the view's present origin.
std::vector<TColor> Fresh(const Scene& S, TQuillotView* v,
                          const std::function<void(TQuillotView*)>& Change = nullptr) {
  auto f = Build(S, 0, 0);
  if (Change) Change(f.get());
  f->SetViewOrigin(v->ViewOriginX(), v->ViewOriginY());
  f->InvalidateRectNoErase(TRect(0, 0, S.ClientW, kClientH));
  f->PaintClientRect(TRect(0, 0, S.ClientW, kClientH));
  EXPECT_EQ(f->ViewOriginX(), v->ViewOriginX());
  EXPECT_EQ(f->ViewOriginY(), v->ViewOriginY());
  return Shown(f.get());
}

// Compares frames, naming the first pixel that differs.
::testing::AssertionResult SameFrame(const std::vector<TColor>& Got, const std::vector<TColor>& Want,
                                     int32_t W = kClientW) {
  if (Got.size() != Want.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (size_t i = 0; i < Got.size(); ++i)
    if (Got[i] != Want[i])
      return ::testing::AssertionFailure() << "pixel " << i % W << "," << i / W << ": " << std::hex
                                           << Got[i] << " instead of " << Want[i];
  return ::testing::AssertionSuccess();
}

std::string Name(const Scene& S) {
  return "style " + std::to_string(int(S.Style)) + (S.TranslucentBase ? ", translucent" : ", opaque") + ", zoom " +
         std::to_string(int(S.Zoom)) + (S.Stretched ? ", stretched layer" : "") + (S.Overhang ? ", overhang" : "") +
         ", width " + std::to_string(S.PictureW) + ", client " + std::to_string(S.ClientW) +
         ", opaque rows " + std::to_string(S.OpaqueRows);
}

// Scrolls by a pixel each way, by a few, diagonally, by more than the client each way, and to both ends.
const struct Step {
  int32_t DX, DY;
} kSteps[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {3, -2}, {-5, 7}, {41, 23}, {-17, -29}, {kClientW + 5, 0},
              {0, kClientH + 9}, {-kClientW - 30, -kClientH}, {100000, 100000}, {-1, -1}, {-100000, 0}, {2, 0}};

}  // namespace

TEST(ViewScrollFrames, EveryScrolledFrameEqualsAWholeCompositionAtItsOrigin) {
  // Hatches are left out: between their lines the buffer keeps what it held, so what shows through a
  // transparent picture there depends on the frames before and not on the origin alone.
  std::vector<Scene> scenes;
  for (TQxBackgroundStyle style :
       {TQxBackgroundStyle::qxbsSolid, TQxBackgroundStyle::qxbsChessboard, TQxBackgroundStyle::qxbsDiagonals,
        TQxBackgroundStyle::qxbsCropped, TQxBackgroundStyle::qxbsCropShadow, TQxBackgroundStyle::qxbsGradient,
        TQxBackgroundStyle::qxbsSoftShadow, TQxBackgroundStyle::qxbsPhotoLike})
    scenes.push_back({style, true, 100});
  for (double zoom : {100.0, 200.0, 50.0, 250.0, 37.0})
    scenes.push_back({TQxBackgroundStyle::qxbsChessboard, false, zoom});
  scenes.push_back({TQxBackgroundStyle::qxbsSolid, true, 300});
  scenes.push_back({TQxBackgroundStyle::qxbsSolid, true, 100, true});
  scenes.push_back({TQxBackgroundStyle::qxbsChessboard, false, 100, true});
  scenes.push_back({TQxBackgroundStyle::qxbsChessboard, true, 100, false, true});
  scenes.push_back({TQxBackgroundStyle::qxbsSolid, true, 100, false, true});
  scenes.push_back({TQxBackgroundStyle::qxbsChessboard, true, 100, false, false, 180});  // margins left and right
  scenes.push_back({TQxBackgroundStyle::qxbsGradient, false, 100, false, false, 200});
  scenes.push_back({TQxBackgroundStyle::qxbsSolid, true, 100, false, false, kPictureW, 241});
  scenes.push_back({TQxBackgroundStyle::qxbsChessboard, true, 100, false, false, kPictureW, 241});
  scenes.push_back({TQxBackgroundStyle::qxbsChessboard, false, 100, false, false, kPictureW, 241});
  // Opaque rows above see-through ones: the rows composed again are not moved first, the others are.
  for (int32_t clientW : {kClientW, 241})
    scenes.push_back({TQxBackgroundStyle::qxbsChessboard, true, 100, false, false, kPictureW, clientW, 230});
  scenes.push_back({TQxBackgroundStyle::qxbsChessboard, true, 100, false, false, 180, kClientW, 230});
  for (const Scene& s : scenes) {
    SCOPED_TRACE(Name(s));
    auto v = Build(s, 150, 100);
    for (const Step& st : kSteps) {
      SCOPED_TRACE(std::to_string(st.DX) + "," + std::to_string(st.DY));
      v->SetViewOrigin(v->ViewOriginX() + st.DX, v->ViewOriginY() + st.DY);  // paints
      ASSERT_TRUE(SameFrame(Shown(v.get()), Fresh(s, v.get()), s.ClientW));
    }
  }
}

// A picture lower than the client over the chessboard: the margin rows above and below it are composed
// after a scroll (unpadded and padded rows), the picture's rows moved.
TEST(ViewScrollFrames, MarginRowsOfALowPictureAreComposedAndItsRowsMoved) {
  for (int32_t clientW : {kClientW, 241}) {
    SCOPED_TRACE(clientW);
    auto build = [&](int32_t OriginX) {
      auto v = MakeView(kPictureW, 90, clientW, kClientH);
      v->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
      TQxBitmap* b = v->CurrentBitmap();
      for (int32_t y = 0; y < 90; ++y)
        for (int32_t x = 0; x < kPictureW; ++x)
          reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] = TQxRGB{uint8_t(x * 5 + y), uint8_t(x ^ y * 3), uint8_t(y * 9)};
      v->AddLayer();
      TQxBitmap* l = v->CurrentBitmap();
      l->Allocate(60, 40, TQxPixelFormat::qx24RGB);
      l->Fill(0x2080F0);
      for (int32_t y = 0; y < 40; ++y) std::fill_n(l->GetAlphaChannel()->Scanline(y), 60, uint8_t(y * 6));
      l->GetAlphaChannel()->Opaque = false;
      v->CurrentLayer()->PosX = 200;
      v->CurrentLayer()->PosY = 30;
      v->SetCurrentLayer(0);
      v->UpdateView();
      v->SetViewOrigin(OriginX, 0);
      return v;
    };
    auto v = build(150);
    for (int32_t dx : {1, -1, 3, -7, 40}) {
      SCOPED_TRACE(dx);
      v->SetViewOrigin(v->ViewOriginX() + dx, 0);
      auto f = build(v->ViewOriginX());
      f->InvalidateRectNoErase(TRect(0, 0, clientW, kClientH));
      f->PaintClientRect(TRect(0, 0, clientW, kClientH));
      ASSERT_TRUE(SameFrame(Shown(v.get()), Shown(f.get()), clientW));
    }
  }
}

// The same scrolls in a twin view that a background handler (leaving the painting to the view) keeps on
// the road that composes every frame whole: the frames agree for every background style, hatches too,
// whose gaps keep what the frames before left there.
TEST(ViewScrollFrames, ScrolledFramesEqualTheWholeCompositionRoadForEveryStyle) {
  for (int style = 0; style <= int(TQxBackgroundStyle::qxbsPhotoLike); ++style) {
    for (bool translucent : {true, false}) {
      const Scene s{TQxBackgroundStyle(style), translucent, 100};
      SCOPED_TRACE(Name(s));
      auto v = Build(s, 150, 100), twin = Build(s, 150, 100);
      twin->OnDrawBackground = [](TObject*, TCanvas*, const TRect&, bool&) {};
      for (const Step& st : kSteps) {
        SCOPED_TRACE(std::to_string(st.DX) + "," + std::to_string(st.DY));
        v->SetViewOrigin(v->ViewOriginX() + st.DX, v->ViewOriginY() + st.DY);
        twin->SetViewOrigin(twin->ViewOriginX() + st.DX, twin->ViewOriginY() + st.DY);
        ASSERT_TRUE(SameFrame(Shown(v.get()), Shown(twin.get())));
      }
    }
  }
}

// Blend operations: those that take every other row of the window, and any on layer 0, which meets the
// background or what the buffer held.
TEST(ViewScrollFrames, BlendedLayersScrollAsTheWholeCompositionRoadDoes) {
  struct Case {
    int32_t Layer;
    TQxBlendOperation Op;
  } cases[] = {{1, 41}, {1, 42}, {1, 7}, {2, 41}, {0, 7}, {0, 41}};
  for (const Scene& s : {Scene{TQxBackgroundStyle::qxbsSolid, true, 100}, Scene{TQxBackgroundStyle::qxbsChessboard, false, 100},
                         Scene{TQxBackgroundStyle::qxbsChessboard, true, 100}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(Name(s) + ", layer " + std::to_string(c.Layer) + " blend " + std::to_string(c.Op));
      auto v = Build(s, 150, 100), twin = Build(s, 150, 100);
      twin->OnDrawBackground = [](TObject*, TCanvas*, const TRect&, bool&) {};
      for (TQuillotView* x : {v.get(), twin.get()}) {
        x->GetLayer(c.Layer)->BlendOperation = c.Op;
        x->UpdateView();
      }
      for (const Step& st : kSteps) {
        SCOPED_TRACE(std::to_string(st.DX) + "," + std::to_string(st.DY));
        v->SetViewOrigin(v->ViewOriginX() + st.DX, v->ViewOriginY() + st.DY);
        twin->SetViewOrigin(twin->ViewOriginX() + st.DX, twin->ViewOriginY() + st.DY);
        ASSERT_TRUE(SameFrame(Shown(v.get()), Shown(twin.get())));
      }
      // Repaints with nothing changed, as exposes bring them (a blend on layer 0 blends onto the frame
      // before, so there the twin, which keeps nothing, drifts with each one).
      if (c.Layer == 0) continue;
      for (int k = 0; k < 3; ++k)
        for (TQuillotView* x : {v.get(), twin.get()}) {
          x->InvalidateRectNoErase(TRect(0, 0, kClientW, kClientH));
          x->PaintClientRect(TRect(0, 0, kClientW, kClientH));
        }
      ASSERT_TRUE(SameFrame(Shown(v.get()), Shown(twin.get()))) << "repainted";
    }
  }
}

// Exposes of part of the window between scrolls, the back buffer drawn into (as the vector layer's hints
// do) or painted over by a handler, and pixels changed and announced between scrolls.
TEST(ViewScrollFrames, ExposesDrawingsAndChangesBetweenScrollsLeaveNoTrace) {
  for (const Scene& s : {Scene{TQxBackgroundStyle::qxbsSolid, true, 100},
                         Scene{TQxBackgroundStyle::qxbsChessboard, false, 100}}) {
    SCOPED_TRACE(Name(s));
    auto v = Build(s, 150, 100);
    v->SetViewOrigin(151, 100);
    // A partial expose, then a scroll.
    const TRect part(17, 11, 150, 97);
    v->InvalidateRectNoErase(part);
    v->PaintClientRect(part);
    ASSERT_TRUE(SameFrame(Shown(v.get()), Fresh(s, v.get())));
    v->SetViewOrigin(153, 104);
    ASSERT_TRUE(SameFrame(Shown(v.get()), Fresh(s, v.get())));
    // Drawn into through the canvas, partly put back by an expose, then scrolled.
    TCanvas* c = v->BackBufferBitmap()->Canvas();
    c->Brush()->SetStyle(TBrushStyle::bsSolid);
    c->Brush()->SetColor(0x00FF00FF);
    c->FillRect(TRect(5, 5, 200, 120));
    v->InvalidateRectNoErase(part);
    v->PaintClientRect(part);
    v->SetViewOrigin(150, 107);
    ASSERT_TRUE(SameFrame(Shown(v.get()), Fresh(s, v.get()))) << "drawn into";
    // A handler that marks the buffer after each composition: the mark stays where it is drawn.
    v->OnDrawBackBuffer = [](TObject* Sender) {
      TQxBitmap* b = static_cast<TQuillotView*>(Sender)->BackBuffer();
      for (int32_t y = 40; y < 50; ++y)
        for (int32_t x = 60; x < 90; ++x) reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] = TQxRGB{0, 255, 0};
    };
    v->SetViewOrigin(152, 107);
    v->OnDrawBackBuffer = nullptr;
    v->SetViewOrigin(154, 109);
    ASSERT_TRUE(SameFrame(Shown(v.get()), Fresh(s, v.get()))) << "handler";
    // Pixels changed and announced between two scrolls.
    auto change = [](TQuillotView* f) {
      TQxBitmap* b = f->GetLayer(0)->Bitmap;
      for (int32_t y = 100; y < 250; ++y)
        for (int32_t x = 140; x < 380; ++x) reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] = TQxRGB{0, 0, 255};
      f->GetLayer(1)->Opacity = 77;
      f->UpdateView();
    };
    change(v.get());
    v->SetViewOrigin(156, 110);
    ASSERT_TRUE(SameFrame(Shown(v.get()), Fresh(s, v.get(), change))) << "changed";
    v->SetViewOrigin(155, 112);
    ASSERT_TRUE(SameFrame(Shown(v.get()), Fresh(s, v.get(), change))) << "changed, then scrolled";
  }
}

namespace {

// After a scroll with pixels changed unannounced by Change, the whole frame shows the change: a scroll
// recomposes what it shows.
void ExpectRecomposed(const Scene& S, TQuillotView* v, const std::vector<TColor>& Before,
                      const std::function<void(TQuillotView*)>& Change) {
  const std::vector<TColor> after = Shown(v), changed = Fresh(S, v, Change);
  ASSERT_NE(after, Before);
  ASSERT_EQ(after, changed);
}

void Unannounced(TQuillotView* f) {
  f->GetLayer(0)->Bitmap->Fill(0x0000FF);
  f->GetLayer(1)->Bitmap->Fill(0x00FF00);
}

}  // namespace

// Pixels changed without telling the view show everywhere after a scroll, by a pixel or by most of the client.
TEST(ViewScrollFrames, AScrollShowsPixelsChangedUnannounced) {
  const Scene s{TQxBackgroundStyle::qxbsSolid, true, 100};
  for (Step st : {Step{3, 2}, Step{-7, 0}, Step{0, -5}, Step{-kClientW + 40, 30}}) {
    SCOPED_TRACE(std::to_string(st.DX) + "," + std::to_string(st.DY));
    auto v = Build(s, 300, 200);
    const std::vector<TColor> before = Shown(v.get());
    Unannounced(v.get());
    v->SetViewOrigin(300 + st.DX, 200 + st.DY);
    ExpectRecomposed(s, v.get(), before, Unannounced);
  }
}

// The scroll bars (a line, a page, the thumb), the wheel and a drag with the hand all recompose the frame.
TEST(ViewScrollFrames, ScrollBarsWheelAndDragRecomposeTheFrame) {
  const Scene s{TQxBackgroundStyle::qxbsSolid, true, 100};
  struct Road {
    const char* Name;
    std::function<void(TQuillotView*)> Scroll;
  } roads[] = {
      {"line right", [](TQuillotView* v) { v->Perform(WM_HSCROLL, SB_LINEDOWN, 0); }},
      {"line up", [](TQuillotView* v) { v->Perform(WM_VSCROLL, SB_LINEUP, 0); }},
      {"thumb", [](TQuillotView* v) {
         v->Perform(WM_HSCROLL, MakeWParam(SB_THUMBTRACK, int(163 / v->ScrollRatioX())), 0);
       }},
      {"wheel", [](TQuillotView* v) {
         v->WheelParams()->WheelAction = 1;  // scroll
         v->ApplyWheel(-120, 50, 50, false);
       }},
      {"drag", [](TQuillotView* v) {
         v->HandleMouseDown(TMouseButton::mbLeft, TShiftState(ssLeft), 100, 80);
         v->HandleMouseMove(TShiftState(ssLeft), 93, 84);
         v->HandleMouseUp(TMouseButton::mbLeft, TShiftState(), 93, 84);
       }},
  };
  for (const Road& r : roads) {
    SCOPED_TRACE(r.Name);
    auto v = Build(s, 150, 100);
    v->SetScrollBars(TScrollStyle::ssBoth);
    v->SetMouseInteract(TQxMouseInteract(TQxMouseInteractItems::miScroll));  // the hand
    v->UpdateView();
    v->SetViewOrigin(151, 101);
    const int32_t ox = v->ViewOriginX(), oy = v->ViewOriginY();
    const std::vector<TColor> before = Shown(v.get());
    Unannounced(v.get());
    r.Scroll(v.get());
    ASSERT_TRUE(v->ViewOriginX() != ox || v->ViewOriginY() != oy);
    ExpectRecomposed(s, v.get(), before, Unannounced);
  }
}
