// The classic check-box and radio-button marks.
#include <gtest/gtest.h>

#include "platform/graphics/bitmap.h"
#include "platform/ui/frame_controls.h"

namespace {

TColor At(TBitmap& B, int32_t X, int32_t Y) { return static_cast<TColor>(B.Canvas()->Pixels(X, Y)); }

TEST(FrameControls, CheckBoxIsASunkenBoxWithItsMark) {
  struct {
    uint32_t State;
    TColor Inside, Mark;
  } cases[] = {
      {DFCS_BUTTONCHECK, clWindow, clWindow},
      {DFCS_BUTTONCHECK | DFCS_CHECKED, clWindow, clWindowText},
      {DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE, clBtnFace, clBtnShadow},
      {DFCS_BUTTON3STATE | DFCS_CHECKED, clBtnFace, clBtnShadow},
      {DFCS_BUTTONCHECK | DFCS_PUSHED, clBtnFace, clBtnFace},
  };
  for (const auto& c : cases) {
    TBitmap b(16, 16, TPixelFormat::pf24bit);
    ASSERT_TRUE(DrawFrameControl(b.Canvas(), Rect(1, 1, 14, 14), DFC_BUTTON, c.State));
    EXPECT_EQ(At(b, 1, 1), ColorToRGB(clBtnShadow)) << c.State;
    EXPECT_EQ(At(b, 2, 2), ColorToRGB(cl3DDkShadow)) << c.State;
    EXPECT_EQ(At(b, 13, 13), ColorToRGB(clBtnHighlight)) << c.State;
    EXPECT_EQ(At(b, 5, 4), ColorToRGB(c.Inside)) << c.State;
    // The tick's corner: three pixels down the left arm, inner area starting at (3, 3).
    EXPECT_EQ(At(b, 6, 8), ColorToRGB(c.Mark)) << c.State;
  }
  TBitmap b(4, 4, TPixelFormat::pf24bit);
  EXPECT_FALSE(DrawFrameControl(b.Canvas(), Rect(0, 0, 4, 4), 1, 0));
}

TEST(FrameControls, RadioButtonKeepsItsCornersWhenTransparent) {
  TBitmap b(12, 12, TPixelFormat::pf24bit);
  b.Canvas()->Brush()->SetColor(0x00FF00);
  b.Canvas()->FillRect(Rect(0, 0, 12, 12));
  DrawFrameControl(b.Canvas(), Rect(0, 0, 12, 12), DFC_BUTTON, DFCS_BUTTONRADIO | DFCS_CHECKED | DFCS_TRANSPARENT);
  EXPECT_EQ(At(b, 0, 0), 0x00FF00);
  EXPECT_EQ(At(b, 5, 5), ColorToRGB(clWindowText));
  EXPECT_EQ(At(b, 5, 0), ColorToRGB(clBtnShadow));
  DrawFrameControl(b.Canvas(), Rect(0, 0, 12, 12), DFC_BUTTON, DFCS_BUTTONRADIO);
  EXPECT_EQ(At(b, 0, 0), ColorToRGB(clBtnFace));
  EXPECT_EQ(At(b, 5, 5), ColorToRGB(clWindow));
}

}  // namespace
