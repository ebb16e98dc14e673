// Repaints that reuse what was composed before: the reused frame is the frame a fresh view paints, a
// change made through any public road shows on the next repaint, and a repaint that changes nothing
// does not read the layers again.
#include <functional>
#include <string>
#include <vector>

#include "view_fixture.h"

namespace {

// Large enough that a frame is drawn in several bands of rows.
constexpr int32_t kClientW = 480, kClientH = 300;

struct Scene {
  const char* Name;
  double Zoom;  // 0: fitted
  int32_t OriginX, OriginY;
  TResampleFilter Filter;
  bool TranslucentBase;  // layer 0 has transparent and half-transparent parts
};

const Scene kScenes[] = {
    {"fitted", 0, 0, 0, TResampleFilter::rfNone, false},
    {"fitted, filtered, translucent base", 0, 0, 0, TResampleFilter::rfFastLinear, true},
    {"fitted, filtered", 0, 0, 0, TResampleFilter::rfFastLinear, false},
    {"100 %, scrolled", 100, 270, 120, TResampleFilter::rfNone, false},
    {"100 %, scrolled, translucent base", 100, 210, 90, TResampleFilter::rfNone, true},
    {"250 %, scrolled", 250, 990, 450, TResampleFilter::rfNone, true},
    {"75 %, filtered, scrolled", 75, 120, 60, TResampleFilter::rfFastLinear, false},
};

// A textured base (any shift shows) under a layer with an alpha ramp, on a chessboard.
std::unique_ptr<TQuillotView> Build(const Scene& S) {
  auto v = MakeView(900, 600, kClientW, kClientH);
  v->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
  v->SetBackground(0x00305070);
  TQxBitmap* b = v->CurrentBitmap();
  for (int32_t y = 0; y < 600; ++y)
    for (int32_t x = 0; x < 900; ++x)
      reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] =
          TQxRGB{uint8_t(x * 7 + y * 3), uint8_t(x * 3 ^ y * 5), uint8_t((x + y) * 11)};
  if (S.TranslucentBase) {
    TQxBitmap* a = b->GetAlphaChannel();
    for (int32_t y = 0; y < 600; ++y)
      for (int32_t x = 0; x < 900; ++x) a->Scanline(y)[x] = uint8_t(x < 120 ? 0 : x < 240 ? 128 + y / 6 : 255);
    a->Opaque = false;
  }
  v->AddLayer();
  TQxBitmap* l = v->CurrentBitmap();
  l->Allocate(300, 240, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 240; ++y)
    for (int32_t x = 0; x < 300; ++x)
      reinterpret_cast<TQxRGB*>(l->Scanline(y))[x] = TQxRGB{uint8_t(200 - x), uint8_t(y * 3), uint8_t(x ^ y)};
  TQxBitmap* la = l->GetAlphaChannel();
  for (int32_t y = 0; y < 240; ++y)
    for (int32_t x = 0; x < 300; ++x) la->Scanline(y)[x] = uint8_t(255 - y);
  la->Opaque = false;
  v->CurrentLayer()->PosX = 360;
  v->CurrentLayer()->PosY = 180;
  v->SetCurrentLayer(0);
  v->SetZoomFilter(S.Filter);
  if (S.Zoom == 0) {
    v->ZoomToFit();
  } else {
    v->SetZoom(S.Zoom);
    v->SetViewOrigin(S.OriginX, S.OriginY);
  }
  return v;
}

std::vector<uint8_t> Frame(TQuillotView* v) {
  TQxBitmap* buf = v->BackBuffer();
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < buf->Height(); ++y)
    out.insert(out.end(), buf->Scanline(y), buf->Scanline(y) + size_t(buf->Width()) * 3);
  return out;
}

// Repaints the whole client as an expose after an invalidation does.
std::vector<uint8_t> Repaint(TQuillotView* v) {
  const TRect client(0, 0, kClientW, kClientH);
  v->InvalidateRectNoErase(client);
  v->PaintClientRect(client);
  return Frame(v);
}

// The frame a fresh view paints the way every frame was once painted: each layer over the whole client
// in turn, nothing kept. A background handler that leaves the painting to the view paints the same
// pixels and makes the view take that road.
std::vector<uint8_t> FreshFrame(const Scene& S, const std::function<void(TQuillotView*)>& Change = nullptr) {
  auto v = Build(S);
  v->OnDrawBackground = [](TObject*, TCanvas*, const TRect&, bool&) {};
  if (Change) Change(v.get());
  v->PaintClientRect(TRect(0, 0, kClientW, kClientH));
  return Frame(v.get());
}

// The place of each layer on the screen, as the mouse code reads it.
std::vector<int32_t> Places(TQuillotView* v) {
  std::vector<int32_t> out;
  for (int32_t i = 0; i < v->LayerCount(); ++i) {
    const TQxLayer* l = v->GetLayer(i);
    for (int32_t k : {l->DrawnRect.Left, l->DrawnRect.Top, l->DrawnRect.Right, l->DrawnRect.Bottom, l->ScreenMap.X,
                      l->ScreenMap.Y, l->ScreenMap.W, l->ScreenMap.H, l->ScreenMap.SrcX, l->ScreenMap.SrcY,
                      l->ScreenMap.SrcW, l->ScreenMap.SrcH})
      out.push_back(k);
  }
  return out;
}

}  // namespace

TEST(ViewPaintCache, RepeatedAndPartialRepaintsEqualAFreshView) {
  for (const Scene& s : kScenes) {
    SCOPED_TRACE(s.Name);
    const std::vector<uint8_t> expected = FreshFrame(s);
    auto v = Build(s);
    for (int k = 0; k < 4; ++k) ASSERT_EQ(Repaint(v.get()), expected) << "repaint " << k;
    const std::vector<int32_t> places = Places(v.get());
    // A partial repaint over a scribbled buffer puts back exactly its rectangle, whether it reuses the
    // composition or (in a view painted once) composes the rectangle from the layers; the background
    // outside it is left alone too.
    auto once = Build(s);
    once->PaintClientRect(TRect(0, 0, kClientW, kClientH));
    for (TQuillotView* view : {v.get(), once.get()}) {
      TQxBitmap* buf = view->BackBuffer();
      for (int32_t y = 0; y < kClientH; ++y) std::fill(buf->Scanline(y), buf->Scanline(y) + kClientW * 3, uint8_t(7));
      const TRect part(13, 9, 301, 177);
      view->InvalidateRectNoErase(part);
      view->PaintClientRect(part);
      const std::vector<uint8_t> got = Frame(view);
      for (int32_t y = 0; y < kClientH; ++y)
        for (int32_t x = 0; x < kClientW; ++x) {
          const bool inside = x >= part.Left && x <= part.Right && y >= part.Top && y <= part.Bottom;
          const size_t i = (size_t(y) * kClientW + x) * 3;
          ASSERT_EQ(got[i], inside ? expected[i] : 7) << (view == v.get() ? "reused " : "composed ") << x << "," << y;
        }
      EXPECT_EQ(Places(view), places);
    }
  }
}

TEST(ViewPaintCache, ChangesThroughEachPublicRoadShowOnTheNextRepaint) {
  struct Road {
    const char* Name;
    std::function<void(TQuillotView*)> Change;
  } roads[] = {
      {"layer bitmap edited, then UpdateView",
       [](TQuillotView* v) {
         TQxBitmap* b = v->GetLayer(0)->Bitmap;
         for (int32_t y = 150; y < 450; ++y)
           for (int32_t x = 300; x < 750; ++x) reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] = TQxRGB{0, 255, 0};
         v->UpdateView();
       }},
      {"reflection layer edited, then UpdateView",
       [](TQuillotView* v) {
         v->GetLayer(1)->Bitmap->Fill(0x0000FF);
         v->UpdateView();
       }},
      {"opacity",
       [](TQuillotView* v) {
         v->GetLayer(1)->Opacity = 60;
         v->UpdateView();
       }},
      {"visibility",
       [](TQuillotView* v) {
         v->GetLayer(1)->Visible = false;
         v->UpdateView();
       }},
      {"layer moved",
       [](TQuillotView* v) {
         v->GetLayer(1)->PosX = 90;
         v->UpdateView();
       }},
      {"layer added", [](TQuillotView* v) {
         v->AddLayer();
         v->CurrentBitmap()->Allocate(180, 180, TQxPixelFormat::qx24RGB);
         v->CurrentBitmap()->Fill(0xFFFFFF);
         v->CurrentLayer()->PosX = 420;
         v->CurrentLayer()->PosY = 200;
         v->UpdateView();
       }},
      {"layer removed", [](TQuillotView* v) { v->RemoveLayer(1); }},
      {"background colour", [](TQuillotView* v) { v->SetBackground(0x00FF00FF); }},
      {"background style", [](TQuillotView* v) { v->SetBackgroundStyle(TQxBackgroundStyle::qxbsSolid); }},
      {"zoom", [](TQuillotView* v) { v->SetZoom(v->ZoomX() * 1.5); }},
      {"zoom filter", [](TQuillotView* v) {
         v->SetZoomFilter(v->ZoomFilter() == TResampleFilter::rfNone ? TResampleFilter::rfFastLinear
                                                                     : TResampleFilter::rfNone);
       }},
      {"alpha channel off", [](TQuillotView* v) { v->SetEnableAlphaChannel(false); }},
  };
  for (const Scene& s : kScenes) {
    SCOPED_TRACE(s.Name);
    const std::vector<uint8_t> before = FreshFrame(s);
    for (const Road& r : roads) {
      SCOPED_TRACE(r.Name);
      auto v = Build(s);
      Repaint(v.get());
      Repaint(v.get());  // the composition is kept from here on
      r.Change(v.get());
      const std::vector<uint8_t> got = Repaint(v.get());
      EXPECT_EQ(got, FreshFrame(s, r.Change));
      // The background may lie hidden under an opaque picture, and a filter changes nothing at 100 %.
      const std::string name = r.Name;
      if (name.rfind("background", 0) != 0 && !(s.Zoom == 100 && name == "zoom filter")) {
        EXPECT_NE(got, before);
      }
    }
  }
}

// Pixels changed without telling the view stay unseen by a repaint that only exposes or lays out again:
// the repaint did not compose the layers once more.
TEST(ViewPaintCache, ExposeAndLayoutRepaintsReuseTheComposition) {
  for (const Scene& s : {kScenes[0], kScenes[1], kScenes[3]}) {
    SCOPED_TRACE(s.Name);
    auto v = Build(s);
    Repaint(v.get());
    v->ChangeKind = 4;  // a second identical composition: kept from now on
    v->UpdateView();
    v->PaintView();
    const std::vector<uint8_t> shown = Frame(v.get());
    v->GetLayer(0)->Bitmap->Fill(0xFFFFFF);
    v->GetLayer(1)->Bitmap->Fill(0x000000);
    v->PaintClientRect(TRect(0, 0, kClientW, kClientH));  // the window uncovered: nobody invalidated
    EXPECT_EQ(Frame(v.get()), shown) << "expose";
    v->ChangeKind = 4;  // layout: the size message, scroll bars
    v->UpdateView();
    v->PaintView();
    EXPECT_EQ(Frame(v.get()), shown) << "layout";
    v->UpdateView();  // now the view is told
    EXPECT_NE(Repaint(v.get()), shown);
  }
}

namespace {

// The shrinking of a filtered fitted view as the view first did it, pixel by pixel: every layer flattened
// over layer 0 with the over operator, then averaged box by box, each row's box average truncated
// before the rows of a box are averaged.
void OverPixelReference(uint8_t* D, uint8_t& DA, const uint8_t* S, int32_t SA) {
  if (SA == 255 || DA == 0) {
    D[0] = S[0];
    D[1] = S[1];
    D[2] = S[2];
    DA = uint8_t(SA);
    return;
  }
  const int32_t a1 = DA, k = a1 * (255 - SA);
  const int32_t outA255 = SA * 255 + k;
  for (int c = 0; c < 3; ++c) D[c] = uint8_t((S[c] * SA * 255 + D[c] * k + outA255 / 2) / outA255);
  DA = uint8_t((outA255 + 127) / 255);
}

std::unique_ptr<TQuillotView> ShrunkReference(TQuillotView* v, int32_t ClientW, int32_t ClientH) {
  const int32_t SW = v->GetLayer(0)->Bitmap->Width(), SH = v->GetLayer(0)->Bitmap->Height();
  const int32_t DW = v->DestWidth(), DH = v->DestHeight();
  auto flatten = [&](int32_t r, std::vector<uint8_t>& D, std::vector<uint8_t>& DA) {
    for (int32_t i = 0; i < v->LayerCount(); ++i) {
      TQxLayer* l = v->GetLayer(i);
      TQxBitmap* b = l->Bitmap;
      const int32_t ly = r - l->PosY;
      if (!l->Visible || ly < 0 || ly >= b->Height()) continue;
      const uint8_t* P = b->Scanline(ly);
      const uint8_t* A = b->HasAlphaChannel() ? b->GetAlphaChannel()->Scanline(ly) : nullptr;
      const int32_t op = l->Opacity;
      for (int32_t x = std::max(0, l->PosX); x < std::min(SW, l->PosX + b->Width()); ++x) {
        const int32_t lx = x - l->PosX;
        const int32_t a = A ? std::min<int32_t>(A[lx], op) : op;
        if (i == 0) {
          std::copy(P + lx * 3, P + lx * 3 + 3, &D[size_t(x) * 3]);
          DA[size_t(x)] = uint8_t(a);
        } else if (a != 0) {
          OverPixelReference(&D[size_t(x) * 3], DA[size_t(x)], P + lx * 3, a);
        }
      }
    }
  };
  auto reciprocal = [](int64_t n) { return uint64_t((uint64_t(1) << 32) / uint64_t(n) + 1); };
  const double sx = double(DW) / SW, sy = double(DH) / SH;
  auto ref = MakeView(DW, DH, ClientW, ClientH);
  ref->SetBackgroundStyle(v->BackgroundStyle());
  ref->SetBackground(v->Background());
  TQxBitmap* out = ref->CurrentBitmap();
  TQxBitmap* outA = out->GetAlphaChannel();
  bool opaque = true;
  std::vector<uint8_t> row(size_t(SW) * 3), rowA(static_cast<size_t>(SW));
  for (int32_t j = 0; j < DH; ++j) {
    const int32_t r0 = int32_t(std::min<int64_t>(int64_t(j / sy), SH - 1));
    const int32_t r1 = int32_t(std::clamp<int64_t>(int64_t(std::min(j + 1, DH - 1) / sy), r0, SH - 1));
    std::vector<uint32_t> acc(size_t(DW) * 4, 0);
    for (int32_t r = r0; r <= r1; ++r) {
      flatten(r, row, rowA);
      for (int32_t i = 0; i < DW; ++i) {
        const int32_t q0 = int32_t(std::min<int64_t>(int64_t(i / sx), SW - 1));
        const int32_t q1 = int32_t(std::clamp<int64_t>(int64_t(std::min(i + 1, DW - 1) / sx + 1e-10), q0, SW - 1));
        uint32_t sum[4] = {};
        for (int32_t k = q0; k <= q1; ++k) {
          for (int c = 0; c < 3; ++c) sum[c] += row[size_t(k) * 3 + c];
          sum[3] += rowA[size_t(k)];
        }
        for (int c = 0; c < 4; ++c) acc[size_t(i) * 4 + c] += uint32_t((sum[c] * reciprocal(q1 - q0 + 1)) >> 32);
      }
    }
    for (int32_t i = 0; i < DW; ++i) {
      for (int c = 0; c < 3; ++c)
        out->Scanline(j)[i * 3 + c] = uint8_t((uint64_t(acc[size_t(i) * 4 + c]) * reciprocal(r1 - r0 + 1)) >> 32);
      outA->Scanline(j)[i] = uint8_t((uint64_t(acc[size_t(i) * 4 + 3]) * reciprocal(r1 - r0 + 1)) >> 32);
      opaque = opaque && outA->Scanline(j)[i] == 255;
    }
  }
  if (opaque) out->RemoveAlphaChannel(false);
  else outA->Opaque = false;
  ref->UpdateView();
  return ref;
}

}  // namespace

// The fitted, filtered view of several layers shows what shrinking their flattened picture box by box
// gives: layers over an opaque and over a translucent base, with and without alpha, partly opaque, and
// boxes too wide to be summed in 16 bits.
TEST(ViewPaintCache, ShrunkLayersEqualTheBoxAveragesOfTheFlattenedPicture) {
  struct Case {
    int32_t W, H, ClientW, ClientH;
    bool TranslucentBase;
  } cases[] = {{300, 200, 160, 110, false}, {300, 200, 160, 110, true}, {613, 287, 97, 61, true}, {6000, 1500, 20, 20, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + (c.TranslucentBase ? " translucent" : " opaque"));
    auto v = MakeView(c.W, c.H, c.ClientW, c.ClientH);
    v->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
    TQxBitmap* b = v->CurrentBitmap();
    for (int32_t y = 0; y < c.H; ++y)
      for (int32_t x = 0; x < c.W; ++x)
        reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] = TQxRGB{uint8_t(x * 7 + y), uint8_t(x ^ y), uint8_t(y * 9 - x)};
    if (c.TranslucentBase) {
      for (int32_t y = 0; y < c.H; ++y)
        for (int32_t x = 0; x < c.W; ++x)
          b->GetAlphaChannel()->Scanline(y)[x] = uint8_t(x < c.W / 4 || x % 3 == 0 ? 0 : (x * 5 + y) | 1);
      b->GetAlphaChannel()->Opaque = false;
    }
    // Alpha 0 none, 1 a ramp, 2 stripes of 0 and 255.
    struct LayerSpec {
      int32_t X, Y, W, H, Opacity, Alpha;
    } specs[] = {{c.W / 5, c.H / 4, c.W / 2, c.H / 2, 200, 1},
                 {c.W / 3, c.H / 8, c.W / 4, c.H / 3, 255, 0},
                 {c.W / 2, c.H / 2, c.W / 3, c.H / 3, 90, 0},
                 {0, c.H / 3, c.W / 2, c.H / 2, 255, 2}};
    for (const LayerSpec& s : specs) {
      v->AddLayer();
      TQxBitmap* l = v->CurrentBitmap();
      l->Allocate(s.W, s.H, TQxPixelFormat::qx24RGB);
      for (int32_t y = 0; y < s.H; ++y)
        for (int32_t x = 0; x < s.W; ++x)
          reinterpret_cast<TQxRGB*>(l->Scanline(y))[x] = TQxRGB{uint8_t(x * 3), uint8_t(255 - y), uint8_t(x + y)};
      if (s.Alpha) {
        for (int32_t y = 0; y < s.H; ++y)
          for (int32_t x = 0; x < s.W; ++x)
            l->GetAlphaChannel()->Scanline(y)[x] = uint8_t(s.Alpha == 1 ? x * 255 / s.W : (x / 37) % 2 ? 255 : 0);
        l->GetAlphaChannel()->Opaque = false;
      }
      v->CurrentLayer()->PosX = s.X;
      v->CurrentLayer()->PosY = s.Y;
      v->CurrentLayer()->Opacity = s.Opacity;
    }
    v->SetCurrentLayer(0);
    v->SetZoomFilter(TResampleFilter::rfFastLinear);
    v->ZoomToFit();
    v->PaintClientRect(TRect(0, 0, c.ClientW, c.ClientH));
    ASSERT_LT(v->DestWidth(), c.W);
    auto ref = ShrunkReference(v.get(), c.ClientW, c.ClientH);
    ref->PaintClientRect(TRect(0, 0, c.ClientW, c.ClientH));
    ASSERT_EQ(ref->ImageLeft(), v->ImageLeft()) << v->DestWidth() << "x" << v->DestHeight() << " " << ref->DestWidth() << " zoom " << v->ZoomX() << " " << ref->ZoomX() << " " << v->ImageTop();
    ASSERT_EQ(ref->ImageTop(), v->ImageTop());
    EXPECT_EQ(Frame(v.get()), Frame(ref.get()));
  }
}

// The processing component ends every operation on its view with the view's Update: the operation's
// result is what the next repaint shows, and the view is painted at once as a window's update paints.
TEST(ViewPaintCache, AProcessingOperationOnTheViewShowsOnTheNextRepaint) {
  for (const Scene& s : {kScenes[0], kScenes[3]}) {
    SCOPED_TRACE(s.Name);
    auto v = Build(s);
    Repaint(v.get());
    const std::vector<uint8_t> before = Repaint(v.get());
    v->GetProc()->Flip(0);
    v->PaintView();
    const std::vector<uint8_t> flipped = Frame(v.get());
    EXPECT_NE(flipped, before);
    EXPECT_EQ(flipped, FreshFrame(s, [](TQuillotView* f) { f->GetProc()->Flip(0); }));
  }
}

// A shrunken view draws its layers together, band by band on every core, and paints the background only
// around an opaque picture: the frame is the one painted the old way (background over the whole client,
// each layer over it in turn) for every background style, for zooms from 7 % to 99 %, scrolled or not,
// for a base that is moved or stretched so that it does not fill the picture's place, and for a whole or
// a partial repaint.
TEST(ViewPaintCache, ShrunkenLayersDrawnTogetherEqualTheLayerByLayerFrame) {
  struct Shrunk {
    double Zoom;  // 0: fitted
    int32_t OriginX, OriginY;
    int32_t BaseX, BaseY, BaseW;  // layer 0's place and shown width (0: its own)
  };
  const Shrunk kShrunk[] = {{0, 0, 0, 0, 0, 0},     {7, 0, 0, 0, 0, 0},        {20, 0, 0, 0, 0, 0},
                            {37, 40, 25, 0, 0, 0},  {63, 130, 70, 0, 0, 0},    {99, 9, 4, 0, 0, 0},
                            {0, 0, 0, 50, 30, 0},   {37, 0, 0, -40, 20, 700},  {63, 60, 10, 0, 0, 1000}};
  const TRect kParts[] = {TRect(0, 0, kClientW - 1, kClientH - 1), TRect(3, 17, 250, 200)};
  int compared = 0;
  for (int style = 0; style <= int(TQxBackgroundStyle::qxbsPhotoLike); ++style)
    for (const Shrunk& z : kShrunk)
      for (const TRect& part : kParts) {
        SCOPED_TRACE(testing::Message() << "style " << style << " zoom " << z.Zoom << " base at " << z.BaseX << ","
                                        << z.BaseY << " width " << z.BaseW << " part " << part.Right);
        auto make = [&](bool oldRoad) {
          const Scene s{"", z.Zoom, z.OriginX, z.OriginY, TResampleFilter::rfNone, false};
          auto v = Build(s);
          v->SetBackgroundStyle(TQxBackgroundStyle(style));
          TQxLayer* base = v->GetLayer(0);
          base->PosX = z.BaseX;
          base->PosY = z.BaseY;
          if (z.BaseW) {
            base->Width = z.BaseW;
            base->Height = 600;
          }
          if (oldRoad) v->OnDrawBackground = [](TObject*, TCanvas*, const TRect&, bool&) {};
          v->UpdateView();
          v->InvalidateRectNoErase(part);
          v->PaintClientRect(part);
          return v;
        };
        auto now = make(false), old = make(true);
        const std::vector<uint8_t> a = Frame(now.get()), b = Frame(old.get());
        for (size_t i = 0; i < a.size(); ++i)
          ASSERT_EQ(a[i], b[i]) << "at " << (i / 3) % kClientW << "," << i / 3 / kClientW;
        EXPECT_EQ(Places(now.get()), Places(old.get()));
        ++compared;
      }
  EXPECT_EQ(compared, 14 * 9 * 2);
}

// Pixels changed without UpdateView show at the next paint that an invalidation asks for, even where
// the same composition was shown twice before (and so kept).
TEST(ViewPaintCache, AnInvalidationShowsPixelsChangedWithoutAnUpdate) {
  auto change = [](TQuillotView* v) {
    TQxBitmap* b = v->GetLayer(0)->Bitmap;
    for (int32_t y = 0; y < b->Height(); ++y)
      for (int32_t x = 0; x < b->Width(); x += 3) reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] = TQxRGB{0, 0, 255};
  };
  for (const Scene& s : kScenes) {
    SCOPED_TRACE(s.Name);
    auto v = Build(s);
    const std::vector<uint8_t> before = Repaint(v.get());
    ASSERT_EQ(Repaint(v.get()), before);
    change(v.get());
    const std::vector<uint8_t> expected = FreshFrame(s, [&](TQuillotView* f) {
      change(f);
      f->UpdateView();
    });
    ASSERT_NE(expected, before);
    EXPECT_EQ(Repaint(v.get()), expected);
  }
}
