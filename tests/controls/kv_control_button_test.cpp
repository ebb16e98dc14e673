// The control button: glyph cells, faces, and clicks repeated while held.
#include <gtest/gtest.h>

#include <vector>

#include "controls/kv_control_button.h"
#include "kv_fixture.h"

namespace {

using KvControlButtonTest = KvTest;

TEST_F(KvControlButtonTest, GlyphCellsFollowTheStrip) {
  auto* b = Add<TKvControlButton>(10, 10, 17, 21);
  struct {
    int32_t W, H, Cells;
  } cases[] = {{32, 16, 2}, {100, 16, 1}, {30, 16, 1}, {64, 16, 4}, {80, 16, 1}, {0, 16, 1}, {48, 16, 3}};
  for (auto& c : cases) {
    b->SetNumGlyphs(1);
    auto g = Blank(c.W, c.H);
    b->SetGlyph(g.get());
    EXPECT_EQ(b->NumGlyphs(), c.Cells) << c.W << 'x' << c.H;
    EXPECT_EQ(b->GlyphSize().X, c.W / c.Cells);
  }
  // A strip that does not divide leaves the count as it was.
  b->SetNumGlyphs(3);
  auto g = Blank(30, 16);
  b->SetGlyph(g.get());
  EXPECT_EQ(b->NumGlyphs(), 3);
  b->SetNumGlyphs(9);
  EXPECT_EQ(b->NumGlyphs(), 4);
}

TEST_F(KvControlButtonTest, DisabledButtonDrawsTheSecondCell) {
  auto* b = Add<TKvControlButton>(10, 10, 20, 20);
  auto g = Blank(16, 8, clOlive);  // olive at the bottom-left: the transparent colour
  for (int y = 2; y < 6; ++y)
    for (int x = 2; x < 6; ++x) {
      g->SetPixel(x, y, 0x0000FF);
      g->SetPixel(8 + x, y, 0x00FF00);
    }
  b->SetGlyph(g.get());
  ASSERT_EQ(b->NumGlyphs(), 2);
  ShowForm();
  // The 8 x 8 cell centred in the 18 x 18 inside: at (6, 6) of the button.
  EXPECT_EQ(Headless::PixelAt(Form.get(), 10 + 6 + 3, 10 + 6 + 3) & 0xFFFFFF, 0x0000FF);
  EXPECT_EQ(Headless::PixelAt(Form.get(), 10 + 6, 10 + 6) & 0xFFFFFF, int32_t(Rgb(clBtnFace)) & 0xFFFFFF);
  b->SetEnabled(false);
  Application->ProcessMessages();
  EXPECT_EQ(Headless::PixelAt(Form.get(), 10 + 6 + 3, 10 + 6 + 3) & 0xFFFFFF, 0x00FF00);
}

TEST_F(KvControlButtonTest, HeldButtonRepeatsItsClick) {
  auto* b = Add<TKvControlButton>(10, 10, 17, 21);
  b->SetStyle(cbsUp);
  b->SetRepeatClicks(true);
  ShowForm();
  std::vector<uint64_t> clicks;
  uint64_t t0 = UiTickCount();
  b->OnClick = [&](TObject*) { clicks.push_back(UiTickCount() - t0); };
  Headless::MouseDown(Form.get(), 15, 15);
  Application->ProcessMessages();
  EXPECT_TRUE(b->Pressed());
  for (int i = 0; i < 13; ++i) Wait(50);  // 650 ms
  Headless::MouseUp(Form.get(), 15, 15);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, (std::vector<uint64_t>{400, 500, 600, 650}));
  EXPECT_FALSE(b->Pressed());
  Wait(500);
  EXPECT_EQ(clicks.size(), 4u);

  // Released outside: no final click.
  clicks.clear();
  t0 = UiTickCount();
  Headless::MouseDown(Form.get(), 15, 15);
  Application->ProcessMessages();
  for (int i = 0; i < 9; ++i) Wait(50);
  Headless::MouseMove(Form.get(), 100, 100);
  Headless::MouseUp(Form.get(), 100, 100);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, (std::vector<uint64_t>{400}));

  // A right press starts the timer but never clicks: the button is not pressed.
  clicks.clear();
  Headless::MouseDown(Form.get(), 15, 15, TMouseButton::mbRight);
  Application->ProcessMessages();
  Wait(700);
  Headless::MouseUp(Form.get(), 15, 15, TMouseButton::mbRight);
  Application->ProcessMessages();
  EXPECT_TRUE(clicks.empty());
}

TEST_F(KvControlButtonTest, FacesByStyleAndState) {
  auto* up = Add<TKvControlButton>(10, 10, 17, 21);
  up->SetStyle(cbsUp);
  auto* flat = Add<TKvControlButton>(40, 10, 17, 21);
  flat->SetStyle(cbsDown);
  flat->SetFlat(true);
  flat->SetColor(0xE0F0F0);
  auto* drop = Add<TKvControlButton>(70, 10, 17, 21);
  drop->SetStyle(cbsDropDown);
  ShowForm();
  // A raised frame: button highlight top-left, dark shadow bottom-right.
  EXPECT_EQ(Headless::PixelAt(Form.get(), 10, 15) & 0xFFFFFF, int32_t(Rgb(clBtnHighlight)));
  EXPECT_EQ(Headless::PixelAt(Form.get(), 26, 15) & 0xFFFFFF, int32_t(Rgb(cl3DDkShadow)));
  // A flat idle button has no frame: its colour to the edge.
  EXPECT_EQ(Headless::PixelAt(Form.get(), 40, 15) & 0xFFFFFF, 0xE0F0F0);
  // Hovered, it gets a popup frame.
  Headless::MouseMove(Form.get(), 45, 15);
  Application->ProcessMessages();
  EXPECT_TRUE(flat->MouseOver());
  EXPECT_EQ(Headless::PixelAt(Form.get(), 40, 15) & 0xFFFFFF, int32_t(Rgb(clBtnHighlight)));
  // Pressed: a shadow outline.
  Headless::MouseDown(Form.get(), 15, 15);
  Application->ProcessMessages();
  EXPECT_EQ(Headless::PixelAt(Form.get(), 10, 15) & 0xFFFFFF, int32_t(Rgb(clBtnShadow)));
  Headless::MouseUp(Form.get(), 15, 15);
  Screenshot("kv_control_button");
}

}  // namespace
