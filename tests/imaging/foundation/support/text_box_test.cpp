#include <gtest/gtest.h>

#include "imaging/foundation/canvas.h"
#include "imaging/foundation/utils.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {
void FillWhite(TBitmap& B) {
  B.Canvas()->Brush()->SetColor(clWhite);
  B.Canvas()->FillRect(Rect(0, 0, B.Width(), B.Height()));
}
}  // namespace

TEST(TextBox, FitsTheClientAreaAndSavesWhatItCovers) {
  TBitmap Surface(200, 80);
  FillWhite(Surface);
  Surface.Canvas()->SetPixels(150, 40, clRed);
  TBrush Brush;
  Brush.SetColor(clYellow);
  TFont Font;
  TBitmap Saved;
  int32_t X = 500, Y = -20;
  QxDrawTextBox(Surface.Canvas(), X, Y, clGray, clBlack, 80, 200, &Saved, &Brush, &Font, "Hello");
  int32_t W = Saved.Width(), H = Saved.Height();
  EXPECT_EQ(Saved.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(X, 200 - W - 1);  // pushed back inside on the right
  EXPECT_EQ(Y, 0);            // raised to the top edge
  EXPECT_EQ(Saved.Canvas()->Pixels(0, 0), clWhite);
  if (X <= 150 && 150 < X + W && 40 < H) {
    EXPECT_EQ(Saved.Canvas()->Pixels(150 - X, 40), clRed);
  }
  EXPECT_EQ(Surface.Canvas()->Pixels(X + 7, Y + H - 3), clYellow);  // inside the box, left of the text
  EXPECT_EQ(Surface.Canvas()->Pixels(X + 2, Y + 2), clWhite);       // the 6-pixel margin stays
}

// Translucent through the anti-aliased layer once a view has loaded it; opaque on the plain canvas.
TEST(TextBox, HintBoxIsLightYellowAtTheOrigin) {
  for (bool Loaded : {true, false}) {
    if (Loaded) GdiPlusLoad();
    TBitmap Surface(200, 80);
    FillWhite(Surface);
    int32_t X = -5, Y = -5;
    QxDrawHintBox(Surface.Canvas(), X, Y, "999 x 999", "1");
    if (Loaded) GdiPlusUnload();
    EXPECT_EQ(X, 0);
    EXPECT_EQ(Y, 0);
    TColor C = Surface.Canvas()->Pixels(8, 20);
    int32_t Blue = (C >> 16) & 0xFF;
    EXPECT_EQ(C & 0xFFFF, 0xFFFF) << Loaded;  // red and green full
    if (Loaded) {
      EXPECT_GT(Blue, 0x60);  // blended with the white below
      EXPECT_LT(Blue, 0xFF);
    } else {
      EXPECT_EQ(Blue, 0x60);
    }
  }
}
