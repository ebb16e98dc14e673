// Layers: the list and the current layer, layer mapping, the layer record, flattening and merging.
#include <cmath>

#include "imaging/foundation/pixel_convert.h"
#include "platform/base/exceptions.h"
#include "platform/base/streams.h"
#include "view_fixture.h"

namespace {

// A layer of its own (not in a view's list) holding a W x H qx24RGB picture of one colour.
std::unique_ptr<TQxLayer> SolidLayer(int32_t W, int32_t H, TQxRGB C, int32_t Alpha = -1) {
  auto b = new TQxBitmap(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] = C;
  if (Alpha >= 0) b->GetAlphaChannel()->Fill(Alpha);
  return std::make_unique<TQxLayer>(nullptr, b, true);
}

uint8_t AlphaAt(TQxBitmap* B, int32_t X, int32_t Y) { return B->GetAlphaChannel()->Scanline(Y)[X]; }

}  // namespace

TEST(ViewLayers, RemoveKeepsOneLayerAndMovesTheCurrentOne) {
  auto v = MakeView(20, 10, 50, 50);
  v->RemoveLayer(0);
  EXPECT_EQ(v->LayerCount(), 1);

  TQxBitmap* base = v->CurrentBitmap();
  const int32_t top = v->AddLayer();
  EXPECT_EQ(top, 1);
  EXPECT_EQ(v->CurrentLayerIndex(), 1);
  TQxBitmap* upper = v->CurrentBitmap();
  EXPECT_NE(upper, base);
  EXPECT_EQ(upper->Width(), 20);
  EXPECT_EQ(upper->Height(), 10);
  EXPECT_EQ(upper->PixelFormat(), TQxPixelFormat::qx24RGB);

  v->RemoveLayer(0);
  EXPECT_EQ(v->LayerCount(), 1);
  EXPECT_EQ(v->CurrentLayerIndex(), 0);
  EXPECT_EQ(v->CurrentBitmap(), upper);
  EXPECT_EQ(v->GetLayer(0)->Bitmap, upper);
  EXPECT_THROW(v->GetLayer(1), EListError);
}

TEST(ViewLayers, RemovingALayerTakesItsMaskAndKeepsTheLayerAbove) {
  auto v = MakeView(20, 10, 50, 50);
  v->AddLayer();                      // 1
  v->AddLayer();                      // 2: the mask of 1
  v->GetLayer(2)->IsMask = true;
  v->AddLayer();                      // 3
  TQxLayer* above = v->GetLayer(3);
  ASSERT_EQ(v->CurrentLayerIndex(), 3);
  v->RemoveLayer(1);
  EXPECT_EQ(v->LayerCount(), 2);
  EXPECT_EQ(v->CurrentLayerIndex(), 1);
  EXPECT_EQ(v->CurrentLayer(), above);
}

TEST(ViewLayers, CurrentLayerFallsBackToTheNearestSelectableBelow) {
  auto v = MakeView(20, 10, 50, 50);
  v->AddLayer();
  v->AddLayer();
  v->AddLayer();
  v->GetLayer(2)->Selectable = false;
  v->GetLayer(1)->Selectable = false;
  v->SetCurrentLayer(0);
  v->SetCurrentLayer(2);
  EXPECT_EQ(v->CurrentLayerIndex(), 0);
  v->SetCurrentLayer(7);  // ignored
  EXPECT_EQ(v->CurrentLayerIndex(), 0);
  v->RespectSelectable = false;
  v->SetCurrentLayer(2);
  EXPECT_EQ(v->CurrentLayerIndex(), 2);
}

TEST(ViewLayers, AddedLayerIsClearedWithTheBackground) {
  auto v = MakeView(4, 3, 50, 50);
  v->SetBackground(0x00336699);
  v->CurrentBitmap()->GetAlphaChannel();
  v->AddLayer();
  const TQxRGB p = Px(v->CurrentBitmap(), 3, 2);
  EXPECT_EQ(p, (TQxRGB{0x33, 0x66, 0x99}));
  EXPECT_FALSE(v->CurrentBitmap()->HasAlphaChannel());
}

TEST(ViewLayers, RotationAngleDropsWholeTurns) {
  TQxLayer l(nullptr, nullptr, false);
  const std::pair<double, double> cases[] = {{360, 0}, {-720, 0}, {360.5, 360.5}, {370, 370}, {45, 45}};
  for (auto [in, out] : cases) {
    l.SetRotationAngle(in);
    EXPECT_DOUBLE_EQ(l.RotationAngle, out) << in;
  }
}

TEST(ViewLayers, LayerMappingFollowsZoomPositionAndDisplaySize) {
  auto v = MakeView(100, 100, 400, 400);
  v->SetCenter(false);
  v->SetZoom(200);
  v->AddLayer();
  TQxLayer* l = v->CurrentLayer();
  l->PosX = 10;
  l->PosY = 5;
  l->Width = 50;  // the 100-column bitmap shown 50 columns wide
  v->UpdateView();
  EXPECT_EQ(l->LayerToClientX(0), 20);
  EXPECT_EQ(l->LayerToClientX(40), 60);
  EXPECT_EQ(l->LayerToClientY(10), 30);
  EXPECT_EQ(l->ClientToLayerX(60), 40);
  EXPECT_EQ(l->ClientToLayerY(30), 10);
}

TEST(ViewLayers, LayerRecordRoundTripsAndRefusesTruncation) {
  auto src = SolidLayer(3, 2, TQxRGB{1, 2, 3}, 77);
  src->Name = "reflection";
  src->PosX = -12;
  src->PosY = 7;
  src->Opacity = 128;
  src->Locked = true;
  src->BlendOperation = 5;
  src->RotationCenterX = 0.25;
  src->SetRotationAngle(30);
  src->Aux.Rate = 3.5;
  int payload = 0;
  src->UserData = &payload;
  TMemoryStream s;
  src->WriteToStream(&s, true);
  int32_t len = 0;
  s.Seek(0, TSeekOrigin::soBeginning);
  s.ReadBuffer(&len, 4);
  EXPECT_EQ(len, s.Size());
  EXPECT_GT(len, 123 + 10);

  auto dst = SolidLayer(1, 1, TQxRGB{0, 0, 0});
  s.Seek(0, TSeekOrigin::soBeginning);
  dst->ReadFromStream(&s);
  EXPECT_EQ(s.Position(), s.Size());
  EXPECT_EQ(dst->LayerId, src->LayerId);
  EXPECT_EQ(dst->Name, "reflection");
  EXPECT_EQ(dst->PosX, -12);
  EXPECT_EQ(dst->PosY, 7);
  EXPECT_EQ(dst->Opacity, 128);
  EXPECT_TRUE(dst->Locked);
  EXPECT_EQ(dst->BlendOperation, 5);
  EXPECT_DOUBLE_EQ(dst->RotationAngle, 30);
  EXPECT_DOUBLE_EQ(dst->RotationCenterX, 0.25);
  EXPECT_DOUBLE_EQ(dst->Aux.Rate, 3.5);
  EXPECT_EQ(dst->UserData, &payload);  // the full pointer comes back, not 32 bits of it
  EXPECT_EQ(dst->Bitmap->Width(), 3);
  EXPECT_EQ(Px(dst->Bitmap, 2, 1), (TQxRGB{1, 2, 3}));
  EXPECT_EQ(AlphaAt(dst->Bitmap, 2, 1), 77);

  // Cut short: the reader refuses it instead of reading past the record.
  TMemoryStream cut;
  s.Seek(0, TSeekOrigin::soBeginning);
  cut.CopyFrom(&s, 60);
  cut.Seek(0, TSeekOrigin::soBeginning);
  EXPECT_THROW(dst->ReadFromStream(&cut), EReadError);
}

TEST(ViewLayers, DrawLayersToWidensForANegativePosition) {
  auto v = MakeView(30, 20, 100, 100);
  v->CurrentBitmap()->Fill(0x0000FF);  // red
  v->AddLayer();
  TQxLayer* l = v->CurrentLayer();
  l->Bitmap->Allocate(10, 10, TQxPixelFormat::qx24RGB);
  l->Bitmap->Fill(0xFF0000);  // blue
  l->PosX = -20;
  l->PosY = 5;
  TQxBitmap target;
  target.Allocate(1, 1, TQxPixelFormat::qx24RGB);
  v->DrawLayersTo(&target);
  EXPECT_EQ(target.Width(), 50);
  EXPECT_EQ(target.Height(), 20);
  EXPECT_EQ(Px(&target, 20, 0), (TQxRGB{0, 0, 255}));   // layer 0 starts 20 pixels in
  EXPECT_EQ(Px(&target, 49, 19), (TQxRGB{0, 0, 255}));
  EXPECT_EQ(Px(&target, 0, 5), (TQxRGB{255, 0, 0}));     // the layer at the left edge
  EXPECT_EQ(Px(&target, 9, 14), (TQxRGB{255, 0, 0}));
  // The view's geometry is back as it was.
  EXPECT_DOUBLE_EQ(v->ZoomX(), 100);
  EXPECT_EQ(v->ImageWidth(), 30);
  EXPECT_EQ(v->ImageLeft(), 35);
}

TEST(ViewLayers, MergeAllLayersFlattensIntoLayerZero) {
  auto v = MakeView(8, 8, 40, 40);
  v->CurrentBitmap()->Fill(0x000000);
  v->AddLayer();
  v->CurrentBitmap()->Fill(0xFFFFFF);
  v->CurrentLayer()->PosX = 4;
  v->MergeAllLayers();
  EXPECT_EQ(v->LayerCount(), 1);
  EXPECT_EQ(v->CurrentBitmap()->Width(), 12);
  EXPECT_EQ(Px(v->CurrentBitmap(), 0, 0), (TQxRGB{0, 0, 0}));
  EXPECT_EQ(Px(v->CurrentBitmap(), 11, 7), (TQxRGB{255, 255, 255}));
}

// ---- QxMergeLayers ----

TEST(MergeLayers, OffsetOpaqueLayersLeaveUncoveredPixelsTransparent) {
  auto a = SolidLayer(20, 10, TQxRGB{10, 20, 30});
  auto b = SolidLayer(20, 10, TQxRGB{200, 100, 50});
  b->PosX = 10;
  b->PosY = 5;
  TQxBitmap d;
  QxMergeLayers(a.get(), b.get(), nullptr, &d, TResampleFilter::rfNone, 0x00010203, false);
  ASSERT_EQ(d.Width(), 30);
  ASSERT_EQ(d.Height(), 15);
  ASSERT_TRUE(d.HasAlphaChannel());
  EXPECT_EQ(Px(&d, 25, 2), (TQxRGB{1, 2, 3}));  // neither: the background colour
  EXPECT_EQ(AlphaAt(&d, 25, 2), 0);
  EXPECT_EQ(Px(&d, 2, 2), (TQxRGB{10, 20, 30}));
  EXPECT_EQ(Px(&d, 15, 7), (TQxRGB{200, 100, 50}));
  EXPECT_EQ(AlphaAt(&d, 15, 7), 255);
  // Column 2 is covered by layer 1 only, whose rows end at 9.
  EXPECT_EQ(Px(&d, 2, 12), (TQxRGB{1, 2, 3}));
  EXPECT_EQ(AlphaAt(&d, 2, 12), 0);
}

TEST(MergeLayers, OpaqueResultLosesItsAlphaChannel) {
  struct Case {
    int32_t Opacity2;
    TQxRGB Expect;
  } cases[] = {{255, TQxRGB{9, 9, 9}}, {0, TQxRGB{1, 1, 1}}};
  for (const Case& c : cases) {
    auto a = SolidLayer(6, 4, TQxRGB{1, 1, 1});
    auto b = SolidLayer(6, 4, TQxRGB{9, 9, 9});
    b->Opacity = c.Opacity2;
    TQxBitmap d;
    QxMergeLayers(a.get(), b.get(), nullptr, &d, TResampleFilter::rfNone, 0, false);
    EXPECT_FALSE(d.HasAlphaChannel()) << c.Opacity2;
    EXPECT_EQ(Px(&d, 5, 3), c.Expect) << c.Opacity2;
  }
}

TEST(MergeLayers, TranslucentOverTranslucentFollowsTheOverOperator) {
  auto a = SolidLayer(4, 4, TQxRGB{0, 100, 200}, 200);
  auto b = SolidLayer(4, 4, TQxRGB{255, 50, 0}, 255);
  b->Opacity = 64;
  TQxBitmap d;
  QxMergeLayers(a.get(), b.get(), nullptr, &d, TResampleFilter::rfNone, 0, false);
  const double a1 = 200 / 255.0, a2 = 64 / 255.0, t = (1 - a2) * a1, A = a2 + t;
  auto ch = [&](double p2, double p1) { return uint8_t(std::nearbyint((p2 * a2 + p1 * t) / A)); };
  EXPECT_EQ(Px(&d, 1, 1), (TQxRGB{ch(255, 0), ch(50, 100), ch(0, 200)}));
  EXPECT_EQ(AlphaAt(&d, 1, 1), uint8_t(std::nearbyint(A * 255)));
}

TEST(MergeLayers, BlendOperationAndMaskLayer) {
  auto a = SolidLayer(4, 2, TQxRGB{40, 80, 120});
  auto b = SolidLayer(4, 2, TQxRGB{100, 100, 100});
  b->BlendOperation = 3;
  auto m = std::make_unique<TQxLayer>(nullptr, new TQxBitmap(2, 2, TQxPixelFormat::qx8g), true);
  m->Bitmap->Fill(255);
  m->PosX = 2;  // covers columns 2 and 3 only
  TQxBitmap d;
  QxMergeLayers(a.get(), b.get(), m.get(), &d, TResampleFilter::rfNone, 0, false);
  TQxRGB blended{40, 80, 120};
  QxBlendPixel(TQxRGB{100, 100, 100}, blended, 3, 0);
  EXPECT_EQ(Px(&d, 3, 0), blended);
  EXPECT_EQ(Px(&d, 0, 0), (TQxRGB{40, 80, 120}));  // no mask there: layer 2 is hidden
  EXPECT_FALSE(d.HasAlphaChannel());
}

TEST(MergeLayers, NegativePositionsShiftBothLayers) {
  auto a = SolidLayer(4, 4, TQxRGB{1, 1, 1});
  auto b = SolidLayer(4, 4, TQxRGB{2, 2, 2});
  b->PosX = -3;
  TQxBitmap d;
  QxMergeLayers(a.get(), b.get(), nullptr, &d, TResampleFilter::rfNone, 0, false);
  EXPECT_EQ(d.Width(), 7);
  EXPECT_EQ(Px(&d, 0, 0), (TQxRGB{2, 2, 2}));
  EXPECT_EQ(Px(&d, 6, 0), (TQxRGB{1, 1, 1}));
  EXPECT_EQ(Px(&d, 3, 0), (TQxRGB{2, 2, 2}));
}

// Every pair of alpha values, over colours that put the weighted mean near half steps, gives exactly what
// the over operator computed in double precision and rounded half to even gives.
TEST(MergeLayers, EveryAlphaPairMatchesTheOverOperatorExactly) {
  constexpr int32_t N = 256;
  auto a = std::make_unique<TQxLayer>(nullptr, new TQxBitmap(N, N, TQxPixelFormat::qx24RGB), true);
  auto b = std::make_unique<TQxLayer>(nullptr, new TQxBitmap(N, N, TQxPixelFormat::qx24RGB), true);
  for (int32_t y = 0; y < N; ++y)
    for (int32_t x = 0; x < N; ++x) {
      a->Bitmap->SetPixel24(x, y, TQxRGB{uint8_t(x), uint8_t(255 - y), uint8_t(x * 3 + y)});
      b->Bitmap->SetPixel24(x, y, TQxRGB{uint8_t(y), uint8_t(x ^ y), uint8_t(7 * x + 1)});
      a->Bitmap->GetAlphaChannel()->SetPixel8(x, y, uint8_t(x));
      b->Bitmap->GetAlphaChannel()->SetPixel8(x, y, uint8_t(y));
    }
  TQxBitmap d;
  QxMergeLayers(a.get(), b.get(), nullptr, &d, TResampleFilter::rfNone, 0, false);
  ASSERT_TRUE(d.HasAlphaChannel());
  int32_t wrong = 0;
  for (int32_t y = 0; y < N; ++y)
    for (int32_t x = 0; x < N; ++x) {
      const TQxRGB p1 = a->Bitmap->GetPixel24(x, y), p2 = b->Bitmap->GetPixel24(x, y);
      const double f1 = x / 255.0, f2 = y / 255.0, t = (1 - f2) * f1, A = f2 + t;
      auto ch = [&](uint8_t c2, uint8_t c1) {
        return A == 0 ? c2 : uint8_t(std::clamp(std::nearbyint((c2 * f2 + c1 * t) / A), 0.0, 255.0));
      };
      const TQxRGB want{ch(p2.b, p1.b), ch(p2.g, p1.g), ch(p2.r, p1.r)};
      if (!(Px(&d, x, y) == want) || AlphaAt(&d, x, y) != uint8_t(std::nearbyint(A * 255))) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
}

// Layers in formats other than 24-bit and 1-bit are read as what they show, not as 1-bit rows.
TEST(MergeLayers, GrayAndWideLayersAreConvertedFirst) {
  const TQxPixelFormat Formats[] = {TQxPixelFormat::qx8g, TQxPixelFormat::qx16g, TQxPixelFormat::qxRGB48};
  for (TQxPixelFormat F : Formats) {
    auto a = SolidLayer(4, 2, TQxRGB{0, 0, 0});
    auto b = std::make_unique<TQxLayer>(nullptr, new TQxBitmap(2, 2, TQxPixelFormat::qx24RGB), true);
    b->Bitmap->Fill(0x808080);
    b->Bitmap->SetPixelFormat(F);
    b->PosX = 2;
    TQxBitmap d;
    QxMergeLayers(a.get(), b.get(), nullptr, &d, TResampleFilter::rfNone, 0, false);
    const TQxRGB got = Px(&d, 3, 1);
    EXPECT_NEAR(got.r, 128, 1) << int(F);
    EXPECT_EQ(got.r, got.g) << int(F);
    EXPECT_EQ(got.g, got.b) << int(F);
  }
}

// Attaching a caller's bitmap and detaching it again: the layer's own bitmap is freed when replaced (the
// leak checker of the sanitizer build sees one that is not), the caller's is never freed by the view.
TEST(ViewLayers, AttachAndDetachExternalBitmaps) {
  auto v = MakeView(40, 30, 100, 100);
  v->AttachExternalBitmap(nullptr);  // frees the layer's own 40 x 30 picture
  EXPECT_EQ(v->CurrentBitmap()->Width(), 0);
  EXPECT_TRUE(v->CurrentLayer()->OwnsBitmap);
  TQxBitmap mine;
  mine.Allocate(7, 5, TQxPixelFormat::qx24RGB);
  v->AttachExternalBitmap(&mine);
  EXPECT_EQ(v->CurrentBitmap(), &mine);
  EXPECT_FALSE(v->CurrentLayer()->OwnsBitmap);
  v->AttachExternalBitmap(nullptr);
  EXPECT_NE(v->CurrentBitmap(), &mine);
  EXPECT_EQ(mine.Width(), 7);
  v.reset();
  EXPECT_EQ(mine.Height(), 5);
}
