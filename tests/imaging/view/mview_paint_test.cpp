// Thumbnail painting: every cell style against a picture worked out here from the cell geometry alone,
// display thumbnails kept and released, texts shortened, events, and a screenshot of a real window.
#include <algorithm>
#include <array>
#include <filesystem>

#include "imaging/foundation/helpers.h"
#include "imaging/view/mview_internal.h"
#include "mview_fixture.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

constexpr TColor kBack = 0x00336699;
constexpr TColor kCell = 0x00CCBBAA;
constexpr TColor kSelBack = 0x00204080;
constexpr TColor kSelFrame = 0x000000F0;
constexpr TColor kBorder = 0x0000A000;
constexpr TColor kInner = 0x00FF00FF;
const TQxRGB kRed{0, 0, 255}, kBlue{255, 0, 0};

// The expected picture: plain pixel writes, no canvas.
class TReference {
 public:
  TReference(int32_t W, int32_t H) : FW(W), FH(H), FPix(size_t(W * H), kBack) {}
  void Set(int32_t X, int32_t Y, TColor C) {
    if (X >= 0 && Y >= 0 && X < FW && Y < FH) FPix[size_t(Y * FW + X)] = C;
  }
  void Fill(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor C) {  // exclusive right and bottom
    for (int32_t y = Y1; y < Y2; ++y)
      for (int32_t x = X1; x < X2; ++x) Set(x, y, C);
  }
  void Outline(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor C) {  // a GDI rectangle's pen
    for (int32_t x = X1; x < X2; ++x) {
      Set(x, Y1, C);
      Set(x, Y2 - 1, C);
    }
    for (int32_t y = Y1; y < Y2; ++y) {
      Set(X1, y, C);
      Set(X2 - 1, y, C);
    }
  }
  // Left and top lines in one colour, right and bottom in the other; lines leave out their end pixel.
  void TwoColor(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TL, TColor BR) {
    for (int32_t y = Y2; y > Y1; --y) Set(X1, y, TL);
    for (int32_t x = X1; x < X2; ++x) Set(x, Y1, TL);
    for (int32_t x = X1; x < X2; ++x) Set(x, Y2, BR);
    for (int32_t y = Y2; y > Y1; --y) Set(X2, y, BR);
  }
  TColor At(int32_t X, int32_t Y) const { return FPix[size_t(Y * FW + X)]; }

 private:
  int32_t FW, FH;
  std::vector<TColor> FPix;
};

TColor ToColor(TQxRGB C) { return TColor(C.r | (C.g << 8) | (C.b << 16)); }

struct TStyleCase {
  const char* Name;
  TQxMStyle Style;
  TQxSStyle SelStyle;
  int32_t Selected;
  int32_t BorderWidth;
  bool Internal;
};

std::unique_ptr<TQuillotMView> OffscreenView() {
  auto v = std::make_unique<TQuillotMView>(nullptr);
  v->OffscreenMode = true;
  v->SetBorderStyle(TBorderStyle::bsNone);
  v->SetBounds(0, 0, 230, 120);
  v->SetBackground(kBack);
  v->ThumbnailsBackground = kCell;
  v->SelectionBackColor = kSelBack;
  v->SetSelectionColor(kSelFrame);
  v->SmoothSelection = false;
  v->EnlargeSmallImages = false;
  v->SetGridWidth(2);
  for (int i = 0; i < 2; ++i) v->InsertImage(i);
  v->SetImageBitmap(0, SolidPicture(60, 40, kRed).get());
  v->SetImageBitmap(1, SolidPicture(200, 100, kBlue).get());
  return v;
}

}  // namespace

TEST(MViewPaint, EveryStyleMatchesTheReference) {
  const TStyleCase cases[] = {
      {"flat", TQxMStyle::qxmsFlat, TQxSStyle::qxssAround, -1, 0, false},
      {"3d", TQxMStyle::qxmsACD, TQxSStyle::qxssAround, -1, 0, false},
      {"flat selected around", TQxMStyle::qxmsFlat, TQxSStyle::qxssAround, 0, 0, false},
      {"3d selected filled", TQxMStyle::qxmsACD, TQxSStyle::qxssACD, 1, 0, false},
      {"border and inner frame", TQxMStyle::qxmsFlat, TQxSStyle::qxssAround, -1, 2, true},
  };
  for (const TStyleCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto v = OffscreenView();
    v->SetStyle(c.Style);
    v->SetSelectionStyle(c.SelStyle);
    v->SetThumbnailsBorderWidth(c.BorderWidth);
    v->SetThumbnailsBorderColor(kBorder);
    v->SetThumbnailsInternalBorder(c.Internal);
    v->SetThumbnailsInternalBorderColor(kInner);
    if (c.Selected >= 0) v->SelectImage(c.Selected);
    // Twice: the second paint draws from the display thumbnails kept by the first.
    for (int pass = 0; pass < 2; ++pass) {
      v->PaintView();
      TReference ref(230, 120);
      struct {
        int32_t Left, Top, O, T;
        TQxRGB C;
      } cells[] = {{4, 4, 60, 40, kRed}, {108, 4, 100, 50, kBlue}};
      for (int i = 0; i < 2; ++i) {
        const auto& k = cells[i];
        const bool sel = i == c.Selected;
        const TColor cell = sel && c.SelStyle == TQxSStyle::qxssACD ? kSelBack : kCell;
        ref.Fill(k.Left, k.Top, k.Left + 100, k.Top + 100, cell);
        const int32_t l = k.Left + (100 - k.O) / 2, m = k.Top + (100 - k.T) / 2;
        ref.Fill(l, m, l + k.O, m + k.T, ToColor(k.C));
        if (c.Internal) ref.Outline(l, m, l + k.O, m + k.T, kInner);
        if (c.Style == TQxMStyle::qxmsACD) ref.TwoColor(l, m, l + k.O - 1, m + k.T - 1, 0x808080, 0xFFFFFF);
        for (int32_t b = 1; b <= c.BorderWidth; ++b)
          ref.Outline(k.Left - b, k.Top - b, k.Left + 100 + b, k.Top + 100 + b, kBorder);
        if (sel && c.SelStyle == TQxSStyle::qxssAround)
          ref.Outline(k.Left - 1, k.Top - 1, k.Left + 101, k.Top + 101, kSelFrame);  // unfocused: width 1
      }
      TCanvas* got = v->BackBufferBitmap()->Canvas();
      int bad = 0;
      for (int32_t y = 0; y < 120 && bad < 5; ++y)
        for (int32_t x = 0; x < 230 && bad < 5; ++x)
          if (got->Pixels(x, y) != ref.At(x, y)) {
            ++bad;
            ADD_FAILURE() << "pass " << pass << " at " << x << "," << y << ": " << std::hex << got->Pixels(x, y)
                          << " expected " << ref.At(x, y);
          }
      EXPECT_NE(v->Entry(0)->CacheImage, nullptr);
    }
  }
}

TEST(MViewPaint, SmallPicturesAreEnlargedToTheArea) {
  auto v = OffscreenView();
  v->EnlargeSmallImages = true;
  v->SetStyle(TQxMStyle::qxmsFlat);
  v->SetUpperGap(10);
  v->SetBottomGap(20);
  v->PaintView();
  // Picture area 100 x 70 from 10 below the cell top: 60 x 40 grows to 100 x 66, 2 rows in from the top.
  EXPECT_EQ(v->Entry(0)->ImageRect, TRect(0, 0, 100, 66));
  TCanvas* got = v->BackBufferBitmap()->Canvas();
  EXPECT_EQ(got->Pixels(4, 4 + 10 + 2), ToColor(kRed));
  EXPECT_EQ(got->Pixels(103, 4 + 10 + 2 + 65), ToColor(kRed));
  EXPECT_EQ(got->Pixels(50, 4 + 10 + 1), kCell);
  EXPECT_EQ(got->Pixels(50, 4 + 10 + 2 + 66), kCell);
}

TEST(MViewPaint, FarPicturesAreReleasedAndRedrawnFromTheirDisplayThumbnails) {
  auto v = std::make_unique<TQuillotMView>(nullptr);
  v->OffscreenMode = true;
  v->SetBounds(0, 0, 220, 110);
  v->SetGridWidth(2);
  v->ReleaseDistance = 1;
  const std::string missing = "/nonexistent-dir/picture.png";
  for (int i = 0; i < 20; ++i) {
    v->InsertImage(i);
    v->SetImageFileName(i, missing);  // can be loaded again, so it may be released
    v->SetImageBitmap(i, SolidPicture(30, 30, {uint8_t(i), 0, 0}).get());
  }
  v->PaintView();  // rows 0..1 visible: entries 0..3; kept: up to entry 3 + 1
  EXPECT_NE(v->Entry(4)->StoreImage, nullptr);
  EXPECT_EQ(v->Entry(5)->StoreImage, nullptr);
  EXPECT_EQ(v->Entry(19)->StoreImage, nullptr);
  ASSERT_NE(v->Entry(0)->CacheImage, nullptr);
  // Scrolled away and back, the cell is drawn from its display thumbnail without a load.
  v->SetViewY(v->ContentHeight());
  v->PaintView();
  EXPECT_EQ(v->Entry(0)->StoreImage, nullptr);
  ASSERT_NE(v->Entry(0)->CacheImage, nullptr);
  v->SetViewY(0);
  v->ThreadPoolSize = 0;
  v->PaintView();
  EXPECT_EQ(v->Entry(0)->StoreImage, nullptr);
  EXPECT_EQ(v->BackBufferBitmap()->Canvas()->Pixels(20, 20), TColor(0));
}

TEST(MViewPaint, TextsAreShortenedWithDots) {
  SetTestFontMode(true);
  auto v = OffscreenView();
  v->SetStyle(TQxMStyle::qxmsFlat);
  v->TopTextFont()->SetHeight(-10);  // 6 pixels a character in the test face
  v->InsertImage(2);
  TQxMViewEntry* e = v->Entry(2);
  e->TopText->Font->SetHeight(-10);
  e->TopText->Text = "abcdefghijklmnopqrstuvwxyz";  // 156 pixels in a 100-pixel cell
  e->TopText->EllipsisSide = 0;
  std::vector<int32_t> drawn;
  v->OnImageDraw = [&](TObject*, int32_t idx, int32_t, int32_t, TCanvas*) { drawn.push_back(idx); };
  std::vector<std::pair<int32_t, int32_t>> progress;
  v->OnDrawProgress = [&](TObject*, int32_t per, int32_t idx) { progress.emplace_back(per, idx); };
  int all = 0;
  v->OnAllDisplayed = [&](TObject*) { ++all; };
  v->SetImageBitmap(2, SolidPicture(10, 10, kRed).get());
  v->SetBounds(0, 0, 230, 230);
  v->UpdateView();
  v->PaintView();
  EXPECT_EQ(drawn, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(progress, (std::vector<std::pair<int32_t, int32_t>>{{0, 0}, {33, 1}, {66, 2}, {100, 0}}));
  EXPECT_EQ(all, 1);
  v->PaintView();
  EXPECT_EQ(all, 1);  // only when pictures were missing before
  // "abcdefghijklmn..." is 14 + 3 characters = 102 pixels; one more cut fits: 13 + 3 = 96.
  TCanvas* c = v->BackBufferBitmap()->Canvas();
  const int32_t left = 4 + (100 - 96) / 2, top = 108;
  EXPECT_NE(c->Pixels(left + 1, top + 4), kCell);
  EXPECT_EQ(c->Pixels(left - 1, top + 4), kCell);
  EXPECT_EQ(c->Pixels(left + 97, top + 4), kCell);
  SetTestFontMode(false);
}

TEST_F(MViewWindow, ScreenshotOfAThumbnailWindow) {
  view->SetBounds(0, 0, 560, 300);
  view->SetGridWidth(-1);
  view->SetSelectionStyle(TQxSStyle::qxssAround);
  view->SetBackgroundStyle(TQxBackgroundStyle::qxbsSolid);
  view->SetBackground(0x00F0E8E0);
  AddEntries(9, false);
  for (int i = 0; i < 9; ++i) {
    auto b = SolidPicture(40 + i * 15, 90 - i * 5, {uint8_t(30 * i), uint8_t(200 - 20 * i), 120});
    for (int32_t y = 0; y < b->Height(); ++y)
      for (int32_t x = 0; x < b->Width(); x += 7) b->SetPixel24(x, y, TQxRGB{255, 255, 255});
    view->SetImageBitmap(i, b.get());
    view->Entry(i)->BottomText->Text = "picture " + std::to_string(i + 1) + ".png";
  }
  view->SetBottomGap(18);
  view->SetFocus();
  view->SelectImage(4);
  view->UpdateView();
  Application->ProcessMessages();
  const std::string png = "mview_window.png";  // beside the test binary
  ASSERT_TRUE(Headless::SaveWindowPng(form.get(), png));
  EXPECT_TRUE(std::filesystem::exists(png));
  // The selected cell shows its (anti-aliased) frame outside the cell; the others do not.
  TQxMViewEntry* e = view->Entry(4);
  TQxMViewEntry* f = view->Entry(3);
  EXPECT_NE(Headless::PixelAt(form.get(), e->X - view->ViewX() - 1, e->Y - view->ViewY() + 50), TColor(0x00F0E8E0));
  EXPECT_EQ(Headless::PixelAt(form.get(), f->X - view->ViewX() - 1, f->Y - view->ViewY() + 50), TColor(0x00F0E8E0));
}

namespace {

// True when Text is well-formed UTF-8.
bool WellFormedUtf8(const std::string& Text) {
  for (size_t i = 0; i < Text.size();) {
    const uint8_t b = uint8_t(Text[i]);
    const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > Text.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((uint8_t(Text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace

// Captions in other scripts are shortened by whole characters at either end, with the machine's fonts.
TEST(MViewPaint, ShortenedCaptionsCutWholeCharacters) {
  SetTestFontMode(false);
  TBitmap b(40, 40, TPixelFormat::pf24bit);
  TCanvas* c = b.Canvas();
  c->Font()->SetName("Tahoma");
  c->Font()->SetHeight(-12);
  const std::string texts[] = {"北京市朝阳区的照片二零二六年十二月.jpg", "Фотография с отпуска в горах.png",
                               "Ελληνικά και ένα 😀 χαμόγελο.tif"};
  for (const std::string& full : texts)
    for (uint8_t side : {0, 1})
      for (int32_t w = 0; w <= 260; w += 7) {
        const std::string t = QxShortenCellText(c, full, w, side);
        SCOPED_TRACE(full + " side " + std::to_string(side) + " width " + std::to_string(w));
        ASSERT_TRUE(WellFormedUtf8(t)) << t;
        if (t == full) {
          EXPECT_LE(QxWideTextWidth(c, t), w);
          continue;
        }
        ASSERT_GE(t.size(), 3u);
        if (side == 0) {
          ASSERT_EQ(t.substr(t.size() - 3), "...");
          EXPECT_EQ(full.compare(0, t.size() - 3, t, 0, t.size() - 3), 0);
        } else {
          ASSERT_EQ(t.substr(0, 3), "...");
          EXPECT_EQ(full.compare(full.size() - (t.size() - 3), t.size() - 3, t, 3), 0);
        }
      }
  EXPECT_EQ(QxShortenCellText(c, texts[0], 5, 2), texts[0]);
}

// A window of thumbnails whose captions in Chinese and Russian are too long for their cells.
TEST_F(MViewWindow, ScreenshotOfShortenedNonLatinCaptions) {
  view->SetBounds(0, 0, 420, 170);
  view->SetGridWidth(-1);
  view->SetBackgroundStyle(TQxBackgroundStyle::qxbsSolid);
  view->SetBackground(0x00F0E8E0);
  AddEntries(3, false);
  const std::string captions[] = {"北京市朝阳区的照片二零二六年十二月.jpg", "Фотография с отпуска в горах.png",
                                  "東京.png"};
  for (int i = 0; i < 3; ++i) {
    view->SetImageBitmap(i, SolidPicture(60, 40, {uint8_t(60 * i), 140, uint8_t(200 - 50 * i)}).get());
    view->Entry(i)->BottomText->Text = captions[i];
    view->Entry(i)->BottomText->EllipsisSide = uint8_t(i == 1 ? 1 : 0);
  }
  view->SetBottomGap(18);
  view->UpdateView();
  Application->ProcessMessages();
  const std::string png = "mview_shortened_captions.png";  // beside the test binary
  ASSERT_TRUE(Headless::SaveWindowPng(form.get(), png));
  EXPECT_TRUE(std::filesystem::exists(png));
}

// On a screen of fewer than 24 bits the frame goes out by a halftoning transfer of the same size, which
// shows the same picture as the plain copy of a true-colour screen.
TEST_F(MViewWindow, LowColourScreensGetTheSamePictureByHalftoning) {
  AddEntries(4);
  view->SelectImage(1);
  std::vector<TColor> shown[2];
  const int32_t bits = QxViewValues().ScreenBitsPerPixel;
  for (int pass = 0; pass < 2; ++pass) {
    QxViewValues().ScreenBitsPerPixel = pass == 0 ? 32 : 16;
    view->Invalidate();
    view->UpdateView();
    Application->ProcessMessages();
    for (int32_t y = 0; y < 300; y += 3)
      for (int32_t x = 0; x < 400; x += 3) shown[pass].push_back(Headless::PixelAt(form.get(), x, y));
  }
  QxViewValues().ScreenBitsPerPixel = bits;
  EXPECT_EQ(shown[0], shown[1]);
  EXPECT_NE(std::count(shown[0].begin(), shown[0].end(), shown[0][0]), std::ptrdiff_t(shown[0].size()));
}
