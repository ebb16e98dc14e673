// Drawing outside a paint, the idle loop, image lists and TImage.
#include <gtest/gtest.h>

#include "platform/ui/ext_ctrls.h"
#include "platform/ui/imglist.h"
#include "tests/platform/ui/ui_fixture.h"

namespace {

TEST_F(UiTest, DrawingOnACanvasOutsideAPaintIsShown) {
  TForm f(nullptr);
  f.SetColor(clWhite);
  auto* p = new TProbe(&f, clWhite);
  p->SetParent(&f);
  p->SetBounds(10, 10, 40, 40);
  ShowAt(&f, 100, 100);
  TBrush b;
  b.SetColor(clRed);
  FillRect(p->Canvas(), Rect(0, 0, 100, 100), b);  // clipped to p
  Application->ProcessMessages();
  EXPECT_EQ(Headless::PixelAt(&f, 12, 12), clRed);
  EXPECT_EQ(Headless::PixelAt(&f, 55, 12), clWhite);
}

TEST_F(UiTest, IdleLoopBlocksUntilTheNextTimer) {
  UseTestUiClock(false);  // the real clock: HandleMessage must wait, not spin
  TTimer t(nullptr);
  int ticks = 0, idles = 0;
  t.SetInterval(120);
  t.SetOnTimer([&](TObject*) { ++ticks; });
  Application->OnIdle = [&](TObject*, bool&) { ++idles; };
  while (ticks == 0) Application->HandleMessage();
  Application->OnIdle = nullptr;
  EXPECT_LE(idles, 3);
}

TEST(ImageList, CutsWideStripsKeepsAlphaAndMasksAColour) {
  TImageList il(nullptr);
  il.SetWidth(2);
  il.SetHeight(2);
  TBitmap strip(4, 2, TPixelFormat::pf24bit);
  strip.Canvas()->Brush()->SetColor(clLime);
  strip.Canvas()->FillRect(Rect(0, 0, 4, 2));
  strip.Canvas()->SetPixels(3, 1, clFuchsia);
  EXPECT_EQ(il.AddMasked(&strip, clFuchsia), 0);
  EXPECT_EQ(il.Count(), 2);
  TBitmap dst(4, 4, TPixelFormat::pf24bit);
  dst.Canvas()->Brush()->SetColor(clBlue);
  dst.Canvas()->FillRect(Rect(0, 0, 4, 4));
  il.Draw(dst.Canvas(), 1, 1, 1);
  EXPECT_EQ(dst.Canvas()->Pixels(1, 1), clLime);
  EXPECT_EQ(dst.Canvas()->Pixels(2, 2), clBlue);  // the masked pixel leaves the background
  EXPECT_EQ(dst.Canvas()->Pixels(3, 3), clBlue);  // outside the picture
  TBitmap out;
  ASSERT_TRUE(il.GetBitmap(1, &out));
  EXPECT_EQ(static_cast<const uint8_t*>(out.ScanLine(1))[1 * 4 + 3], 0);
  EXPECT_FALSE(il.GetBitmap(2, &out));
}

TEST(Image, DestinationRectangleFollowsStretchCentreAndProportion) {
  TImage img(nullptr);
  img.SetBounds(0, 0, 100, 50);
  TBitmap pic(20, 20, TPixelFormat::pf24bit);
  img.Picture()->SetGraphic(&pic);
  EXPECT_EQ(img.DestRect(), Rect(0, 0, 20, 20));
  img.SetCenter(true);
  EXPECT_EQ(img.DestRect(), Rect(40, 15, 60, 35));
  img.SetStretch(true);
  img.SetProportional(true);
  EXPECT_EQ(img.DestRect(), Rect(25, 0, 75, 50));
  img.SetProportional(false);
  EXPECT_EQ(img.DestRect(), Rect(0, 0, 100, 50));
}

}  // namespace
