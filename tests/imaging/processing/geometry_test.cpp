#include <gtest/gtest.h>

#include "imaging/processing/geometry.h"
#include "imaging/processing/proc.h"
#include "imaging/processing/rotate.h"
#include "imaging/processing/rotate_shear.h"
#include "tests/imaging/processing/proc_test_util.h"

using namespace proctest;
using F = TQxPixelFormat;

namespace {

// Flips, quarter turns and crops against Pillow, for colour and gray pictures of odd sizes.
struct PillowCase {
  const char* name;
  const char* expr;
  void (*ours)(TQxBitmap*);
};

const PillowCase kPillowCases[] = {
    {"flip horizontal", "im.transpose(Image.FLIP_LEFT_RIGHT)", [](TQxBitmap* b) { QxFlipBitmap(b, 0); }},
    {"flip vertical", "im.transpose(Image.FLIP_TOP_BOTTOM)", [](TQxBitmap* b) { QxFlipBitmap(b, 1); }},
    {"turn 90", "im.transpose(Image.ROTATE_90)", [](TQxBitmap* b) { QxRotateNearest(b, 0, nullptr, {}, 90); }},
    {"turn -90", "im.transpose(Image.ROTATE_270)", [](TQxBitmap* b) { QxRotateNearest(b, 0, nullptr, {}, -90); }},
    {"turn 180", "im.transpose(Image.ROTATE_180)", [](TQxBitmap* b) { QxRotateNearest(b, 0, nullptr, {}, 180); }},
    {"shear engine 90", "im.transpose(Image.ROTATE_90)",
     [](TQxBitmap* b) {
       if (b->PixelFormat() == F::qx24RGB)
         QxRotateBitmap(b, 1, nullptr, {}, 0xFFFFFF, 90);
       else
         QxRotatePlane8(b, 1, 0, nullptr, {}, 90);
     }},
    {"shear engine 450", "im.transpose(Image.ROTATE_90)",
     [](TQxBitmap* b) {
       if (b->PixelFormat() == F::qx24RGB)
         QxRotateBitmap(b, 1, nullptr, {}, 0, 450);
       else
         QxRotatePlane8(b, 1, 0, nullptr, {}, 450);
     }},
    {"shear engine -90", "im.transpose(Image.ROTATE_270)",
     [](TQxBitmap* b) {
       if (b->PixelFormat() == F::qx24RGB)
         QxRotateBitmap(b, 0, nullptr, {}, 0, -90);
       else
         QxRotatePlane8(b, 0, 0, nullptr, {}, -90);
     }},
    {"crop", "im.crop((3, 2, 3 + 11, 2 + 7))",
     [](TQxBitmap* b) {
       auto p = TQuillotProc::CreateForBitmap(b);
       p->Crop(3, 2, 13, 8);
     }},
};

TEST(Geometry, FlipsTurnsAndCropsEqualPillow) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow on /usr/bin/python3 is missing";
  std::vector<std::unique_ptr<TQxBitmap>> pictures;
  std::vector<std::pair<TQxBitmap*, std::string>> jobs;
  for (F f : {F::qx24RGB, F::qx8g})
    for (const PillowCase& c : kPillowCases) {
      pictures.push_back(Pattern(23, 17, f, 5));
      jobs.emplace_back(pictures.back().get(), c.expr);
    }
  const std::vector<PillowResult> expected = PillowBatch(jobs);
  size_t i = 0;
  for (F f : {F::qx24RGB, F::qx8g})
    for (const PillowCase& c : kPillowCases) {
      SCOPED_TRACE(std::string(c.name) + (f == F::qx24RGB ? " 24-bit" : " gray"));
      TQxBitmap* b = pictures[i].get();
      const PillowResult& e = expected[i++];
      c.ours(b);
      ASSERT_EQ(b->Width(), e.W);
      ASSERT_EQ(b->Height(), e.H);
      EXPECT_EQ(Pixels(b), e.Pixels);
    }
}

// Horizontal mirror of every format, checked pixel by pixel through its bytes; 1-bit pictures must not
// pull in the bits that lie beyond the last pixel.
TEST(Geometry, HorizontalFlipMirrorsEveryFormat) {
  for (F f : {F::qx1g, F::qx8p, F::qx8g, F::qx16g, F::qx24RGB, F::qx32f, F::qxCMYK, F::qxRGB48, F::qxCIELab,
              F::qx32RGB}) {
    SCOPED_TRACE(int(f));
    auto b = Pattern(13, 5, f, 3);
    auto orig = Pattern(13, 5, f, 3);
    if (f == F::qx1g)
      for (int32_t y = 0; y < 5; ++y) b->Scanline(y)[1] |= 0x07;  // set the bits past pixel 12
    for (int32_t y = 0; y < 5; ++y) orig->Scanline(y)[1] = b->Scanline(y)[1];
    QxFlipBitmap(b.get(), 0);
    const int32_t bpp = b->BitCount();
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 13; ++x) {
        if (bpp == 1) {
          auto bit = [](const uint8_t* r, int i) { return (r[i >> 3] >> (7 - (i & 7))) & 1; };
          ASSERT_EQ(bit(b->Scanline(y), x), bit(orig->Scanline(y), 12 - x)) << x << "," << y;
        } else {
          const int n = bpp / 8;
          ASSERT_EQ(0, std::memcmp(b->Scanline(y) + x * n, orig->Scanline(y) + (12 - x) * n, n)) << x << "," << y;
        }
      }
  }
}

TEST(Geometry, FlipCarriesAlphaAndPalette) {
  auto b = Pattern(6, 4, F::qx8p, 2);
  const TQxRGB pal5 = b->PaletteColor(5);
  b->GetAlphaChannel()->Fill(0);
  b->SetAlpha(0, 0, 200);
  auto p = TQuillotProc::CreateForBitmap(b.get());
  p->Flip(1);
  EXPECT_EQ(b->GetAlpha(0, 3), 200);
  EXPECT_EQ(b->GetAlpha(0, 0), 0);
  EXPECT_EQ(b->PaletteColor(5), pal5);
}

TEST(Geometry, ImageResizeAlignsAndFillsAlpha) {
  TQxBitmap b(100, 100, F::qx24RGB);
  b.Fill(0x0000FF);  // red
  TQuillotProc p(nullptr);
  p.AttachBitmap(&b);
  p.SetAutoUndo(true);
  p.SetBackground(0x00FF00);
  p.ImageResize(300, 100, 2, 2, 0);
  ASSERT_EQ(b.Width(), 300);
  ASSERT_EQ(b.Height(), 100);
  ASSERT_TRUE(b.HasAlphaChannel());
  for (int32_t x : {0, 199}) {
    EXPECT_EQ(b.GetPixel24(x, 50), (TQxRGB{0, 255, 0}));
    EXPECT_EQ(b.GetAlpha(x, 50), 0);
  }
  for (int32_t x : {200, 299}) {
    EXPECT_EQ(b.GetPixel24(x, 50), (TQxRGB{0, 0, 255}));
    EXPECT_EQ(b.GetAlpha(x, 50), 255);
  }
  std::string caption;
  p.UndoCaption(0, caption);
  EXPECT_EQ(caption, "ImageResize 300,100");

  // Alignment 0, 0 keeps the picture top-left; a new area below takes the background too.
  TQxBitmap c(10, 10, F::qx24RGB);
  c.Fill(0xFFFFFF);
  p.AttachBitmap(&c);
  p.ImageResize(10, 30, 0, 0, 0);
  EXPECT_EQ(c.GetPixel24(5, 9), (TQxRGB{255, 255, 255}));
  EXPECT_EQ(c.GetAlpha(5, 9), 255);
  EXPECT_EQ(c.GetPixel24(5, 10), (TQxRGB{0, 255, 0}));
  EXPECT_EQ(c.GetAlpha(5, 29), 0);
}

TEST(Geometry, ImageResizeIgnoresSameAndNonPositiveSizes) {
  TQxBitmap b(20, 10, F::qx24RGB);
  b.Fill(0);
  TQuillotProc p(nullptr);
  p.SetAutoUndo(true);
  p.AttachBitmap(&b);
  int finished = 0;
  p.OnFinishWork = [&](TObject*) { ++finished; };
  for (auto [w, h] : {std::pair{20, 10}, {0, 10}, {20, 0}, {-5, 10}, {30, -1}}) {
    p.ImageResize(w, h, 2, 2, 0);
    EXPECT_EQ(b.Width(), 20);
    EXPECT_EQ(b.Height(), 10);
  }
  EXPECT_EQ(p.UndoCount(), 0);
  EXPECT_EQ(finished, 0);
  EXPECT_FALSE(b.HasAlphaChannel());
}

TEST(Geometry, ResampleSizes) {
  TQxBitmap b(200, 100, F::qx24RGB);
  b.Fill(0x808080);
  TQuillotProc p(nullptr);
  p.SetAutoUndo(true);
  p.AttachBitmap(&b);
  p.Resample(-1, 50, TResampleFilter::rfTriangle);
  EXPECT_EQ(b.Width(), 100);
  EXPECT_EQ(b.Height(), 50);
  std::string caption;
  p.UndoCaption(0, caption);
  EXPECT_EQ(caption, "Resample -1, 50");

  struct {
    int32_t w, h, ew, eh;
  } cases[] = {{-1, 25, 50, 25}, {40, -1, 40, 20}, {0, 10, 100, 10}, {-1, 0, 100, 50},
               // Other negative sizes count by their magnitude.
               {-5, 10, 5, 10}, {10, -7, 10, 7}, {-60, 0, 60, 50}, {0, -25, 100, 25}};
  for (auto c : cases) {
    TQxBitmap d;
    p.ResampleInto(&d, c.w, c.h, TResampleFilter::rfNone);
    EXPECT_EQ(d.Width(), c.ew) << c.w << "," << c.h;
    EXPECT_EQ(d.Height(), c.eh) << c.w << "," << c.h;
  }
  // Two negative sizes are refused.
  for (auto [w, h] : {std::pair{-5, -10}, {-1, -1}}) {
    TQxBitmap d;
    p.ResampleInto(&d, w, h, TResampleFilter::rfNone);
    EXPECT_TRUE(d.IsEmpty()) << w << "," << h;
  }
}

TEST(Geometry, StretchNearestTakesColumnTable) {
  auto s = Pattern(4, 2, F::qx8g);
  TQxBitmap d(8, 2, F::qx8g);
  QxStretchNearest(s.get(), &d);
  for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(d.GetPixel8(x, 1), s->GetPixel8(x / 2, 1));
}

TEST(Geometry, CropAndOpaqueBounds) {
  auto b = Pattern(30, 20, F::qx24RGB);
  TQuillotProc p(nullptr);
  p.SetAutoUndo(true);
  p.AttachBitmap(b.get());
  p.Crop(0, 0, 29, 19);
  p.Crop(10, 10, 9, 9);
  EXPECT_EQ(b->Width(), 30);
  EXPECT_EQ(b->Height(), 20);
  std::string caption;
  p.UndoCaption(0, caption);
  EXPECT_EQ(caption, "Crop 10, 10, 9, 9");  // the snapshot comes before the size check

  TQxBitmap* a = b->GetAlphaChannel();
  a->Fill(0);
  b->SetAlpha(4, 3, 9);
  b->SetAlpha(12, 8, 1);
  TRect r;
  QxOpaqueBounds(b.get(), r);
  EXPECT_EQ(r.Left, 4);
  EXPECT_EQ(r.Top, 3);
  EXPECT_EQ(r.Right, 12);
  EXPECT_EQ(r.Bottom, 8);
  const TQxRGB corner = b->GetPixel24(4, 3);
  const int32_t before = p.UndoCount();
  p.CropToOpaque();
  EXPECT_EQ(p.UndoCount(), before);
  EXPECT_EQ(b->Width(), 9);
  EXPECT_EQ(b->Height(), 6);
  EXPECT_EQ(b->GetPixel24(0, 0), corner);
  EXPECT_EQ(b->GetAlpha(0, 0), 9);
  EXPECT_EQ(b->GetAlpha(8, 5), 1);
}

// A rectangle reaching past the picture: the part it covers is copied, the rest is black and transparent,
// whatever the memory held before.
TEST(Geometry, CropOutsideThePictureLeavesNoStaleMemory) {
  for (int round = 0; round < 3; ++round) {
    {
      // Memory the crop's new bitmaps are likely to be given next, filled with a telltale value.
      TQxBitmap junk(14, 12, F::qx24RGB), junkAlpha(14, 12, F::qx8g);
      junk.Fill(0x5A5A5A);
      junkAlpha.Fill(0x5A);
    }
    auto b = Pattern(10, 8, F::qx24RGB, 3);
    b->GetAlphaChannel()->Fill(200);
    const TQxRGB inside = b->GetPixel24(6, 5);
    TQuillotProc p(nullptr);
    p.AttachBitmap(b.get());
    p.Crop(6, 5, 19, 16);  // 14 x 12, of which 4 x 3 lie on the picture
    ASSERT_EQ(b->Width(), 14);
    ASSERT_EQ(b->Height(), 12);
    EXPECT_EQ(b->GetPixel24(0, 0), inside);
    EXPECT_EQ(b->GetAlpha(3, 2), 200);
    int stale = 0;
    for (int32_t y = 0; y < 12; ++y)
      for (int32_t x = 0; x < 14; ++x) {
        if (x < 4 && y < 3) continue;
        stale += !(b->GetPixel24(x, y) == TQxRGB{0, 0, 0}) || b->GetAlpha(x, y) != 0;
      }
    EXPECT_EQ(stale, 0);
  }
}

}  // namespace
