// Painting: the composed back buffer against an independent reference, the background shortcut, the
// chessboard, views without a window.
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/forms.h"
#include "imaging/foundation/canvas.h"
#include "view_fixture.h"

namespace {

constexpr int32_t kBaseW = 240, kBaseH = 160;
constexpr int32_t kLayerX = 50, kLayerY = 40, kLayerW = 80, kLayerH = 60;
const TQxRGB kLayerColour{50, 20, 200};
constexpr int32_t kLayerAlpha = 128;
constexpr TColor kBackground = 0x00406080;  // R 0x80, G 0x60, B 0x40

// The base picture: smooth ramps, so that filtering changes little and any shift shows.
TQxRGB BaseAt(double X, double Y) {
  return TQxRGB{100, uint8_t(std::lround(Y * 1.5)), uint8_t(std::lround(X))};
}

void FillBase(TQxBitmap* B) {
  for (int32_t y = 0; y < kBaseH; ++y)
    for (int32_t x = 0; x < kBaseW; ++x) reinterpret_cast<TQxRGB*>(B->Scanline(y))[x] = BaseAt(x, y);
}

std::unique_ptr<TQuillotView> TwoLayerView(int32_t ClientW, int32_t ClientH) {
  auto v = MakeView(kBaseW, kBaseH, ClientW, ClientH);
  v->SetBackground(kBackground);
  FillBase(v->CurrentBitmap());
  v->AddLayer();
  TQxBitmap* l = v->CurrentBitmap();
  l->Allocate(kLayerW, kLayerH, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < kLayerH; ++y)
    for (int32_t x = 0; x < kLayerW; ++x) reinterpret_cast<TQxRGB*>(l->Scanline(y))[x] = kLayerColour;
  l->GetAlphaChannel()->Fill(kLayerAlpha);
  l->GetAlphaChannel()->Opaque = false;
  v->CurrentLayer()->PosX = kLayerX;
  v->CurrentLayer()->PosY = kLayerY;
  v->SetCurrentLayer(0);
  v->SetZoomFilter(TResampleFilter::rfFastLinear);
  return v;
}

// Compares the composed buffer with the picture worked out from the zoom and origin alone. Pixels within
// Band screen pixels of an edge are left out, as filters may smear edges.
void CheckAgainstReference(TQuillotView* v, int Tolerance, int Band) {
  v->PaintView();
  TQxBitmap* buf = v->BackBuffer();
  ASSERT_EQ(buf->Width(), v->Width());
  ASSERT_EQ(buf->Height(), v->Height());
  const double s = v->ZoomX() / 100;
  const double il = v->ImageLeft() - v->ViewOriginX(), it = v->ImageTop() - v->ViewOriginY();
  const double a = kLayerAlpha / 255.0;
  auto near = [&](double edge, double p) { return std::fabs(p - edge) <= Band; };
  int compared = 0, worst = 0;
  for (int32_t y = 0; y < buf->Height(); ++y) {
    for (int32_t x = 0; x < buf->Width(); ++x) {
      const double bx = (x + 0.5 - il) / s, by = (y + 0.5 - it) / s;  // bitmap point under the pixel centre
      const double ex0 = il, ex1 = il + kBaseW * s, ey0 = it, ey1 = it + kBaseH * s;
      const double lx0 = il + kLayerX * s, lx1 = il + (kLayerX + kLayerW) * s;
      const double ly0 = it + kLayerY * s, ly1 = it + (kLayerY + kLayerH) * s;
      if (near(ex0, x) || near(ex1, x) || near(ey0, y) || near(ey1, y) || near(lx0, x) || near(lx1, x) ||
          near(ly0, y) || near(ly1, y))
        continue;
      double r, g, b;
      if (bx < 0 || by < 0 || bx >= kBaseW || by >= kBaseH) {
        r = 0x80, g = 0x60, b = 0x40;
      } else {
        const TQxRGB p = BaseAt(bx - 0.5, by - 0.5);
        r = p.r, g = p.g, b = p.b;
        if (x > lx0 && x < lx1 && y > ly0 && y < ly1) {
          r = r * (1 - a) + kLayerColour.r * a;
          g = g * (1 - a) + kLayerColour.g * a;
          b = b * (1 - a) + kLayerColour.b * a;
        }
      }
      const TQxRGB got = Px(buf, x, y);
      const int d = std::max({std::abs(got.r - int(std::lround(r))), std::abs(got.g - int(std::lround(g))),
                              std::abs(got.b - int(std::lround(b)))});
      worst = std::max(worst, d);
      EXPECT_LE(d, Tolerance) << "at " << x << "," << y << " zoom " << v->ZoomX() << " got " << int(got.r) << ","
                              << int(got.g) << "," << int(got.b);
      if (d > Tolerance) return;
      ++compared;
    }
  }
  EXPECT_GT(compared, buf->Width() * buf->Height() / 2);
}

}  // namespace

TEST(ViewPaint, TwoLayerPictureAtThreeZoomsMatchesAnIndependentReference) {
  struct Case {
    double Zoom;
    int32_t OriginX, OriginY;
    int Tolerance, Band;
  } cases[] = {{25, 0, 0, 4, 2}, {100, 0, 0, 1, 0}, {300, 100, 60, 2, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Zoom);
    auto v = TwoLayerView(300, 200);
    v->SetZoom(c.Zoom);
    v->SetViewOrigin(c.OriginX, c.OriginY);
    ASSERT_EQ(v->ViewOriginX(), c.OriginX);
    CheckAgainstReference(v.get(), c.Tolerance, c.Band);
    // Painting leaves the layers as they were.
    EXPECT_EQ(v->GetLayer(1)->PosX, kLayerX);
    EXPECT_EQ(v->GetLayer(1)->Width, 0);
  }
}

TEST(ViewPaint, OpaqueFullLayerSkipsTheBackgroundAndTranslucentOneDoesNot) {
  auto v = MakeView(400, 300, 200, 100);
  int backgrounds = 0;
  v->OnDrawBackground = [&](TObject*, TCanvas*, const TRect&, bool& Handled) {
    ++backgrounds;
    Handled = true;
  };
  v->PaintView();
  EXPECT_EQ(backgrounds, 0);

  v->GetLayer(0)->Opacity = 254;
  v->UpdateView();
  v->PaintView();
  EXPECT_EQ(backgrounds, 1);
}

TEST(ViewPaint, BlankViewShowsOnlyTheBackground) {
  auto v = MakeView(10, 10, 60, 40);
  v->SetBackground(0x000000FF);
  v->CurrentBitmap()->Fill(0x00FF00);
  v->ResetToBlank();
  EXPECT_TRUE(v->IsImageEmpty());
  EXPECT_EQ(v->CurrentBitmap()->Width(), 1);
  EXPECT_FALSE(v->CurrentBitmap()->HasAlphaChannel());
  v->PaintView();
  for (auto [x, y] : {std::pair{0, 0}, {30, 20}, {59, 39}}) EXPECT_EQ(Px(v->BackBuffer(), x, y), (TQxRGB{0, 0, 255}));
}

TEST(ViewPaint, ChessboardBehindATranslucentPicture) {
  auto v = MakeView(64, 64, 64, 64);
  v->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
  v->SetBackground(clBtnFace);
  v->CurrentBitmap()->Fill(0);
  v->CurrentBitmap()->GetAlphaChannel()->Fill(0);
  v->CurrentBitmap()->GetAlphaChannel()->Opaque = false;
  v->UpdateView();
  v->PaintView();
  const TColor face = ColorToRGB(clBtnFace);
  const TQxRGB f{uint8_t(face >> 16), uint8_t(face >> 8), uint8_t(face)}, other{0xFF, 0xFF, 0xF0};
  EXPECT_EQ(Px(v->BackBuffer(), 0, 0), f);
  EXPECT_EQ(Px(v->BackBuffer(), 16, 0), other);
  EXPECT_EQ(Px(v->BackBuffer(), 16, 16), f);
}

TEST(ViewBackground, DirectPixelChessboardCellsStartWithTheBackground) {
  TBitmap bmp(40, 20, TPixelFormat::pf24bit);
  QxPaintViewBackground(TComponentState(), bmp.Canvas(), &bmp, TQxBackgroundStyle::qxbsChessboard, clBtnFace, 0, 0,
                        40, 20, 0, 0, 0, 0, 16, TBrushStyle::bsSolid, clBlue, nullptr, TQxWallPaperStyle::qxwoNormal);
  const COLORREF face = COLORREF(ColorToRGB(clBtnFace)), other = 0x00FFFFF0;
  EXPECT_EQ(bmp.GetPixel(0, 0), face);
  EXPECT_EQ(bmp.GetPixel(15, 15), face);
  EXPECT_EQ(bmp.GetPixel(16, 0), other);
  EXPECT_EQ(bmp.GetPixel(31, 15), other);
  EXPECT_EQ(bmp.GetPixel(32, 0), face);
  EXPECT_EQ(bmp.GetPixel(39, 15), face);
  EXPECT_EQ(bmp.GetPixel(0, 16), other);
  EXPECT_EQ(bmp.GetPixel(16, 19), face);
}

TEST(ViewBackground, BrushChessboardStartsWithTheComplement) {
  TBitmap bmp(40, 20, TPixelFormat::pf24bit);
  QxPaintViewBackground(TComponentState(), bmp.Canvas(), nullptr, TQxBackgroundStyle::qxbsChessboard, clBtnFace, 0,
                        0, 40, 20, 0, 0, 0, 0, 16, TBrushStyle::bsSolid, clBlue, nullptr,
                        TQxWallPaperStyle::qxwoNormal);
  EXPECT_EQ(bmp.GetPixel(0, 0), COLORREF(0x00FFFFF0));
  EXPECT_EQ(bmp.GetPixel(16, 0), COLORREF(ColorToRGB(clBtnFace)));
}

TEST(ViewBackground, DirectPixelChessboardStaysInsideTheBitmap) {
  // An area larger than the bitmap that starts left of and above it: cells still count from (X, Y), and
  // only the bitmap's own columns and rows are written.
  TBitmap bmp(20, 10, TPixelFormat::pf24bit);
  QxPaintViewBackground(TComponentState(), bmp.Canvas(), &bmp, TQxBackgroundStyle::qxbsChessboard, clBtnFace, -8, -4,
                        100, 100, 0, 0, 0, 0, 8, TBrushStyle::bsSolid, clBlue, nullptr, TQxWallPaperStyle::qxwoNormal);
  const COLORREF face = COLORREF(ColorToRGB(clBtnFace)), other = 0x00FFFFF0;
  EXPECT_EQ(bmp.GetPixel(0, 0), other);  // area cell 1 of band 0
  EXPECT_EQ(bmp.GetPixel(0, 4), face);   // band 1 starts at y = 4
  EXPECT_EQ(bmp.GetPixel(8, 4), other);
  EXPECT_EQ(bmp.GetPixel(19, 9), face);
  EXPECT_EQ(bmp.Width(), 20);
}

TEST(ViewBackground, CroppedFrameNeedsAtLeastTwoByTwo) {
  TBitmap bmp(30, 120, TPixelFormat::pf24bit);
  QxPaintViewBackground(TComponentState(), bmp.Canvas(), &bmp, TQxBackgroundStyle::qxbsCropped, clRed, 0, 0, 30, 120,
                        10, 10, 11, 110, 16, TBrushStyle::bsSolid, clBlue, nullptr, TQxWallPaperStyle::qxwoNormal);
  const COLORREF face = COLORREF(ColorToRGB(clBtnFace));
  for (int32_t x = 0; x < 30; ++x) EXPECT_EQ(bmp.GetPixel(x, 50), face) << x;
}

// The shadow styles darken the background by the foundation's shadow routines: the crop shadow's bands
// start at a fifth of the background next to the picture and fade outward, the soft shadow surrounds the
// picture. A repaint clipped to part of the bitmap equals the whole repaint there and leaves the rest.
TEST(ViewBackground, ShadowStylesDarkenAroundThePicture) {
  auto paint = [](TBitmap& B, TQxBackgroundStyle Style) {
    QxPaintViewBackground(TComponentState(), B.Canvas(), &B, Style, clWhite, 0, 0, 60, 50, 10, 10, 40, 30, 16,
                          TBrushStyle::bsSolid, clBlue, nullptr, TQxWallPaperStyle::qxwoNormal);
  };
  auto gray = [](TBitmap& B, int32_t X, int32_t Y) { return int(B.GetPixel(X, Y) & 0xFF); };
  TBitmap crop(60, 50, TPixelFormat::pf24bit);
  paint(crop, TQxBackgroundStyle::qxbsCropShadow);
  EXPECT_EQ(gray(crop, 40, 20), 51);   // right band, next to the picture: Trunc(255 exp(-1.6))
  EXPECT_GT(gray(crop, 45, 20), 200);  // its outer column
  EXPECT_EQ(gray(crop, 41, 12), 255);  // the band starts six rows below the top
  EXPECT_EQ(gray(crop, 20, 30), 51);   // bottom band
  EXPECT_EQ(gray(crop, 12, 31), 255);  // which starts six columns right of the left edge
  EXPECT_EQ(gray(crop, 20, 20), 255);  // the picture's own place is left to the picture
  EXPECT_EQ(gray(crop, 5, 5), 255);

  TBitmap soft(60, 50, TPixelFormat::pf24bit);
  paint(soft, TQxBackgroundStyle::qxbsSoftShadow);
  for (auto [x, y] : {std::pair{9, 20}, {40, 20}, {25, 9}, {25, 30}, {40, 30}}) EXPECT_LT(gray(soft, x, y), 200) << x << "," << y;
  for (auto [x, y] : {std::pair{3, 20}, {47, 20}, {25, 3}, {25, 37}, {20, 20}}) EXPECT_EQ(gray(soft, x, y), 255) << x << "," << y;

  for (TQxBackgroundStyle style : {TQxBackgroundStyle::qxbsCropShadow, TQxBackgroundStyle::qxbsSoftShadow}) {
    TBitmap whole(60, 50, TPixelFormat::pf24bit), part(60, 50, TPixelFormat::pf24bit);
    paint(whole, style);
    paint(part, style);
    part.Canvas()->Brush()->SetColor(clLime);
    part.Canvas()->FillRect(Rect(0, 0, 60, 50));
    IntersectClipRect(part.Canvas()->Handle(), 35, 22, 60, 50);
    paint(part, style);
    paint(part, style);
    for (int32_t y = 0; y < 50; ++y)
      for (int32_t x = 0; x < 60; ++x)
        ASSERT_EQ(part.GetPixel(x, y), x >= 35 && y >= 22 ? whole.GetPixel(x, y) : COLORREF(0x00FF00)) << x << "," << y;
  }
}

TEST(ViewBackground, SoftShadowWithoutABitmapPaintsNothing) {
  auto v = MakeView(10, 10, 30, 30);
  v->SetBackgroundStyle(TQxBackgroundStyle::qxbsSoftShadow);
  TBitmap bmp(30, 30, TPixelFormat::pf24bit);
  bmp.Canvas()->Brush()->SetColor(clLime);
  bmp.Canvas()->FillRect(Rect(0, 0, 30, 30));
  v->PaintBackgroundTo(bmp.Canvas());
  EXPECT_EQ(bmp.GetPixel(15, 15), COLORREF(0x00FF00));
}

TEST(ViewWithoutWindow, EveryRoadWorksWithoutAParent) {
  TQuillotView v(nullptr);  // not offscreen, no parent: lays out against 50 x 50, paints nothing
  EXPECT_EQ(v.ViewClientWidth(), 50);
  v.SetLegacyBitmap(false);
  v.CurrentBitmap()->Allocate(300, 200, TQxPixelFormat::qx24RGB);
  v.CurrentBitmap()->Fill(clRed);
  v.UpdateView();
  v.SetZoom(50);
  v.ZoomToFit();
  v.SetViewOrigin(10, 10);
  v.PaintView();
  const int32_t i = v.AddLayer();
  EXPECT_EQ(i, 1);
  v.SetCurrentLayer(0);
  TQxBitmap out;
  v.DrawLayersTo(&out);
  EXPECT_EQ(out.Width(), 300);
  EXPECT_EQ(out.Height(), 200);
}

TEST(ViewEvents, ImageChangeFromAnotherThreadArrivesOnTheGuiThread) {
  auto v = MakeView(4, 4, 20, 20);
  std::thread::id firedOn;
  int fired = 0;
  v->OnImageChange = [&](TObject*) {
    ++fired;
    firedOn = std::this_thread::get_id();
  };
  std::thread worker([&] { v->DoImageChange(); });
  worker.join();
  EXPECT_EQ(fired, 0);  // never on the worker
  Application->ProcessMessages();
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(firedOn, std::this_thread::get_id());

  // A view freed before the GUI thread gets to it is left alone.
  std::thread late([&] { v->DoImageChange(); });
  late.join();
  v.reset();
  Application->ProcessMessages();
  EXPECT_EQ(fired, 1);
}

TEST(ViewPaint, RotatedLayerIsDrawnTurnedAndKeepsItsPlacement) {
  auto v = MakeView(100, 100, 100, 100);
  v->CurrentBitmap()->Fill(clBlack);
  v->AddLayer();
  TQxLayer* l = v->CurrentLayer();
  l->Bitmap->Allocate(40, 20, TQxPixelFormat::qx24RGB);
  l->Bitmap->Fill(clWhite);
  l->PosX = 30;
  l->PosY = 40;
  l->SetRotationAngle(90);
  v->UpdateView();
  v->PaintView();
  EXPECT_EQ(l->PosX, 30);
  EXPECT_EQ(l->PosY, 40);
  EXPECT_EQ(l->Width, 0);
  EXPECT_EQ(l->Height, 0);
  // Turned a quarter about its centre (50, 50): 20 wide and 40 high.
  EXPECT_GE(Px(v->BackBuffer(), 50, 35).g, 250);  // the turn interpolates
  EXPECT_EQ(Px(v->BackBuffer(), 35, 50), (TQxRGB{0, 0, 0}));
  EXPECT_TRUE(v->IsPointInLayer(50, 35, 1));
  EXPECT_FALSE(v->IsPointInLayer(35, 50, 1));
}

TEST(ViewPaint, MaskLayerHidesAndItsAlphaSwapIsUndoneWhenDrawingFails) {
  auto v = MakeView(40, 20, 40, 20);
  v->CurrentBitmap()->Fill(clBlack);
  v->AddLayer();
  v->CurrentBitmap()->Fill(clWhite);
  v->CurrentLayer()->ShowBox = true;
  v->AddLayer();  // the mask of layer 1: left half shown, right half hidden
  TQxBitmap* mask = v->CurrentBitmap();
  mask->SetPixelFormat(TQxPixelFormat::qx8g);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 40; ++x) mask->Scanline(y)[x] = x < 20 ? 255 : 0;
  v->CurrentLayer()->IsMask = true;
  v->SetCurrentLayer(1);
  v->SetMouseInteract(TQxMouseInteract{TQxMouseInteractItems::miMoveLayers});
  v->UpdateView();
  v->PaintView();
  EXPECT_EQ(Px(v->BackBuffer(), 5, 5), (TQxRGB{255, 255, 255}));
  EXPECT_EQ(Px(v->BackBuffer(), 35, 5), (TQxRGB{0, 0, 0}));
  TQxLayer* l = v->GetLayer(1);
  EXPECT_FALSE(l->Bitmap->HasAlphaChannel());
  ASSERT_NE(l->MaskCache, nullptr);

  // A failure after the swap (here in the box handler) still gives the layer its own alpha back.
  l->Bitmap->GetAlphaChannel()->Fill(200);
  v->OnDrawLayerBox = [](TObject*, TBitmap*, int32_t) { throw std::runtime_error("box"); };
  v->UpdateView();  // drops the cached mask
  v->PaintView();
  ASSERT_TRUE(l->Bitmap->HasAlphaChannel());
  EXPECT_EQ(l->Bitmap->GetAlphaChannel()->Scanline(3)[30], 200);
  ASSERT_NE(l->MaskCache, nullptr);
  EXPECT_EQ(l->MaskCache->Scanline(3)[30], 0);
  EXPECT_EQ(l->MaskCache->Scanline(3)[3], 200);
}

TEST(ViewPaint, DelayedFilterCountsDownThroughTheOutlinePasses) {
  auto v = MakeView(400, 400, 100, 100);
  v->SetZoomFilter(TResampleFilter::rfFastLinear);
  v->SetDelayZoomFilter(true);
  v->SetZoom(50);
  v->SetZoom(60);  // the zoom before was not 100: the fast paints start
  EXPECT_EQ(v->DelayZoomTicks(), 3);  // the setter's own paint already counted one
  for (int i = 0; i < 3; ++i) v->PaintView();
  EXPECT_EQ(v->DelayZoomTicks(), 0);
  EXPECT_EQ(v->OutlineSkipsLeft(), 0);
}

// A 20 x 20 magnifier at (50, 30) with rate 2 over a picture whose red is x and green is y: it shows the
// 10 x 10 client region under its centre, (55, 35) to (65, 45), enlarged twice.
TEST(ViewPaint, MagnifierShowsTheRegionUnderItsCentreEnlarged) {
  auto makeView = [](uint8_t Source, uint8_t Style, int32_t PosX) {
    auto v = MakeView(200, 100, 200, 100);
    TQxBitmap* base = v->CurrentBitmap();
    for (int32_t y = 0; y < 100; ++y)
      for (int32_t x = 0; x < 200; ++x) reinterpret_cast<TQxRGB*>(base->Scanline(y))[x] = TQxRGB{7, uint8_t(y), uint8_t(x)};
    v->AddLayer();
    TQxLayer* l = v->CurrentLayer();
    l->Bitmap->Allocate(20, 20, TQxPixelFormat::qx24RGB);
    l->Bitmap->Fill(0x00FF00);  // what the lens showed before
    l->PosX = PosX;
    l->PosY = 30;
    l->Aux.Flag = 1;
    l->Aux.Rate = 2;
    l->Aux.Source = Source;
    l->Aux.Style = Style;
    v->SetCurrentLayer(0);
    v->UpdateView();
    v->PaintView();
    return v;
  };
  auto rg = [](TQxRGB p) { return std::pair<int, int>(p.r, p.g); };
  {
    // From layer 0's bitmap: 11 source columns (both edges mapped) over 20.
    auto v = makeView(0, 0, 50);
    EXPECT_EQ(rg(Px(v->BackBuffer(), 50, 30)), std::make_pair(55, 35));
    EXPECT_EQ(rg(Px(v->BackBuffer(), 69, 49)), std::make_pair(65, 45));
    EXPECT_EQ(rg(Px(v->BackBuffer(), 49, 30)), std::make_pair(49, 30));  // outside the lens
  }
  {
    // From the picture composed so far: the 10 x 10 client rectangle stretched over 20.
    auto v = makeView(1, 0, 50);
    EXPECT_EQ(rg(Px(v->BackBuffer(), 50, 30)), std::make_pair(55, 35));
    EXPECT_EQ(rg(Px(v->BackBuffer(), 69, 49)), std::make_pair(64, 44));
  }
  {
    // Round: the corners show the picture itself, the inside the lens.
    auto v = makeView(1, 1, 50);
    EXPECT_EQ(rg(Px(v->BackBuffer(), 50, 30)), std::make_pair(50, 30));
    // Lens 57 over picture 55 at alpha 255: an opaque pixel shows as it is.
    EXPECT_EQ(rg(Px(v->BackBuffer(), 55, 40)), std::make_pair(57, 40));
  }
  {
    // A region reaching past layer 0 leaves the lens as it was.
    auto v = makeView(0, 0, -15);
    const TQxRGB p = Px(v->BackBuffer(), 2, 40);
    EXPECT_EQ(int(p.g), 255);
    EXPECT_EQ(int(p.r), 0);
  }
}

// The pixel grid inverts what is below at high zoom; the marked pixel gets a red rounded frame drawn
// anti-aliased (partly red pixels at its rounded corners), over nothing else.
TEST(ViewGrid, GridLinesAndAnAntiAliasedMark) {
  GdiPlusLoad();
  auto v = MakeView(20, 20, 100, 100);
  v->SetZoom(1000);
  v->SetViewOrigin(0, 0);
  v->DisplayGrid = true;
  v->UpdateView();
  v->PaintView();
  TQxBitmap* b = v->BackBuffer();
  EXPECT_EQ(Px(b, 10, 5), (TQxRGB{255, 255, 255}));  // a grid line over the black picture
  EXPECT_EQ(Px(b, 15, 5), (TQxRGB{0, 0, 0}));
  v->GridMarkX = v->GridMarkY = 2;
  v->UpdateView();
  v->PaintView();
  ASSERT_EQ(v->CurrentLayer()->LayerToClientX(2), 20);
  int32_t partly = 0, full = 0;
  for (int32_t y = 15; y < 36; ++y)
    for (int32_t x = 15; x < 36; ++x) {
      const TQxRGB p = Px(b, x, y);
      if (p.g != 0 || p.b != 0) continue;
      partly += p.r > 0 && p.r < 255;
      full += p.r == 255;
    }
  EXPECT_GT(full, 20);
  EXPECT_GT(partly, 4);
  EXPECT_EQ(Px(b, 75, 75), (TQxRGB{0, 0, 0}));
  GdiPlusUnload();
}
