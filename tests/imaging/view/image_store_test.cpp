// The image store: block layout and sizes, round trips in every kind of picture, free-block reuse, the
// bounded mapping cache, shared bitmaps and write-back, shrinking.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "imaging/view/image_store.h"

namespace {

std::unique_ptr<TQxBitmap> Pattern(int32_t W, int32_t H, TQxPixelFormat F, int Seed) {
  auto b = std::make_unique<TQxBitmap>();
  b->SetLocation(TQxLocation::qxMemory);
  b->Allocate(W, H, F);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* row = b->Scanline(y);
    for (int32_t i = 0; i < b->RowLen(); ++i) row[i] = uint8_t(i * 7 + y * 13 + Seed);
  }
  if (F == TQxPixelFormat::qx8p)
    for (int32_t i = 0; i < 256; ++i) b->SetPaletteColor(i, TQxRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i ^ Seed)});
  return b;
}

// Compares the meaningful bytes of every row (the padding of 1-bit rows may differ).
void ExpectSamePixels(TQxBitmap* A, TQxBitmap* B) {
  ASSERT_EQ(A->Width(), B->Width());
  ASSERT_EQ(A->Height(), B->Height());
  ASSERT_EQ(A->PixelFormat(), B->PixelFormat());
  const int32_t bytes = int32_t((int64_t(A->Width()) * A->BitCount() + 7) / 8);
  for (int32_t y = 0; y < A->Height(); ++y) ASSERT_EQ(0, std::memcmp(A->Scanline(y), B->Scanline(y), size_t(bytes))) << y;
}

}  // namespace

TEST(ImageStore, BlockSizesFollowTheLayout) {
  EXPECT_EQ(TQxVirtualImageList::BlockSize(3, 2, false, TQxPixelFormat::qx8p, 8), 776);
  EXPECT_EQ(TQxVirtualImageList::BlockSize(3, 2, true, TQxPixelFormat::qx8p, 8), 785);
  EXPECT_EQ(TQxVirtualImageList::BlockSize(5, 3, false, TQxPixelFormat::qx24RGB, 24), 3 * 16);
  EXPECT_EQ(TQxVirtualImageList::BlockSize(33, 2, false, TQxPixelFormat::qx1g, 1), 2 * 8);
  // Sizes past 2^31 bytes are counted in 64 bits.
  EXPECT_EQ(TQxVirtualImageList::BlockSize(40000, 40000, true, TQxPixelFormat::qx24RGB, 24),
            int64_t(40000) * 120000 + int64_t(40000) * 40000 + 1);

  TQxVirtualImageList s("ILIST", false);
  auto b = Pattern(3, 2, TQxPixelFormat::qx8p, 1);
  TQxVirtualImageInfo* i = s.AddImage(b.get());
  ASSERT_NE(i, nullptr);
  EXPECT_EQ(i->Size, 776);
  // The rows lie bottom row first, as in a bitmap's own memory block; the palette follows them.
  auto* block = static_cast<uint8_t*>(s.PixelData(i));
  EXPECT_EQ(0, std::memcmp(block, b->Scanline(1), 4));
  EXPECT_EQ(0, std::memcmp(block + 4, b->Scanline(0), 4));
  EXPECT_EQ(static_cast<uint8_t*>(s.PaletteData(i)), block + 8);
}

TEST(ImageStore, EveryKindOfPictureComesBackAsItWent) {
  struct TCase {
    TQxPixelFormat Format;
    bool Alpha;
    bool OpaqueAlpha;
    bool UseFile;
  };
  const TCase cases[] = {
      {TQxPixelFormat::qx24RGB, false, false, true}, {TQxPixelFormat::qx24RGB, true, false, false},
      {TQxPixelFormat::qx8p, false, false, true},    {TQxPixelFormat::qx8p, true, false, true},
      {TQxPixelFormat::qx8g, false, false, false},   {TQxPixelFormat::qx1g, false, false, true},
      {TQxPixelFormat::qx16g, false, false, false},  {TQxPixelFormat::qx32RGB, false, false, true},
      {TQxPixelFormat::qxRGB48, false, false, false}, {TQxPixelFormat::qx24RGB, true, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(int(c.Format) * 10 + c.Alpha);
    TQxVirtualImageList s("ILIST", c.UseFile);
    auto b = Pattern(37, 11, c.Format, 5);
    if (c.Alpha) {
      TQxBitmap* a = b->GetAlphaChannel();
      for (int32_t y = 0; y < 11; ++y)
        for (int32_t x = 0; x < 37; ++x) a->SetPixel8(x, y, c.OpaqueAlpha ? 255 : uint8_t(x * 6 + y));
      a->Opaque = c.OpaqueAlpha;
    }
    // Pictures before and after it, so that offsets are not 0.
    auto other = Pattern(20, 20, TQxPixelFormat::qx24RGB, 9);
    s.AddImage(other.get());
    TQxVirtualImageInfo* i = s.AddImage(b.get());
    s.AddImage(other.get());
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->SourceWidth, 37);
    TQxBitmap back;
    back.SetLocation(TQxLocation::qxMemory);
    s.ReadImage(i, &back);
    ExpectSamePixels(b.get(), &back);
    if (c.Format == TQxPixelFormat::qx8p) {
      for (int32_t k = 0; k < 256; ++k) EXPECT_EQ(back.PaletteColor(k).b, b->PaletteColor(k).b);
    }
    const bool alphaBack = c.Alpha && !c.OpaqueAlpha;
    ASSERT_EQ(back.HasAlphaChannel(), alphaBack);
    EXPECT_EQ(s.AlphaData(i) != nullptr, alphaBack);
    if (alphaBack) {
      EXPECT_FALSE(back.GetAlphaChannel()->Opaque);
      ExpectSamePixels(b->GetAlphaChannel(), back.GetAlphaChannel());
    }
  }
}

TEST(ImageStore, FreedNeighboursMergeOnlyInTheOrderTheyWereFreed) {
  auto a = Pattern(16, 16, TQxPixelFormat::qx24RGB, 1);  // 768 bytes
  auto big = Pattern(32, 16, TQxPixelFormat::qx24RGB, 2);  // 1536 bytes = a + b
  {
    TQxVirtualImageList s("ILIST", false);
    TQxVirtualImageInfo* A = s.AddImage(a.get());
    TQxVirtualImageInfo* B = s.AddImage(a.get());
    s.AddImage(a.get());
    const int64_t offA = A->Offset, end = s.UsedEnd();
    s.DeleteImage(A);
    s.DeleteImage(B);
    TQxVirtualImageInfo* C = s.AddImage(big.get());
    EXPECT_EQ(C->Offset, offA);
    EXPECT_EQ(s.UsedEnd(), end);
    EXPECT_TRUE(s.FreeBlocks().empty());
  }
  {
    TQxVirtualImageList s("ILIST", false);
    TQxVirtualImageInfo* A = s.AddImage(a.get());
    TQxVirtualImageInfo* B = s.AddImage(a.get());
    s.AddImage(a.get());
    const int64_t end = s.UsedEnd();
    s.DeleteImage(B);
    s.DeleteImage(A);
    TQxVirtualImageInfo* C = s.AddImage(big.get());
    EXPECT_EQ(C->Offset, end);
    EXPECT_EQ(s.FreeBlocks().size(), 2u);
    // A picture that fits one freed block takes it.
    TQxVirtualImageInfo* D = s.AddImage(a.get());
    EXPECT_LT(D->Offset, end);
    TQxBitmap back;
    s.ReadImage(C, &back);
    ExpectSamePixels(big.get(), &back);
  }
}

TEST(ImageStore, OnlyTheMostRecentlyUsedBlocksStayMapped) {
  TQxVirtualImageList s("ILIST", true);
  std::vector<TQxVirtualImageInfo*> infos;
  for (int i = 0; i < 20; ++i) infos.push_back(s.AddImage(Pattern(10, 10, TQxPixelFormat::qx24RGB, i).get()));
  TQxBitmap b;
  for (int i = 0; i < 20; ++i) s.ReadImage(infos[size_t(i)], &b);
  ASSERT_EQ(s.MappedCount(), 11);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(s.Mapped()[size_t(i)], infos[size_t(9 + i)]);
  // Blocks pushed out were written back: every picture still reads right.
  for (int i = 0; i < 20; ++i) {
    s.ReadImage(infos[size_t(i)], &b);
    ExpectSamePixels(Pattern(10, 10, TQxPixelFormat::qx24RGB, i).get(), &b);
  }
}

TEST(ImageStore, SharedBitmapsAreCountedAndWrittenBack) {
  TQxVirtualImageList s("ILIST", true);
  auto g = Pattern(9, 5, TQxPixelFormat::qx8g, 3);
  TQxVirtualImageInfo* i = s.AddImage(g.get());
  TQxBitmap* b1 = s.GetBitmap(i);
  TQxBitmap* b2 = s.GetBitmap(i);
  ASSERT_EQ(b1, b2);
  EXPECT_TRUE(i->Locked);
  s.ReleaseBitmap(b1, false);
  EXPECT_TRUE(i->Locked);
  EXPECT_EQ(b1->Width(), 9);
  // A locked picture changed to a palette picture gets a new block with room for the palette.
  b1->SetPixelFormat(TQxPixelFormat::qx8p);
  for (int32_t k = 0; k < 256; ++k) b1->SetPaletteColor(k, TQxRGB{1, 2, uint8_t(k)});
  b1->SetPixel8(2, 3, 77);
  EXPECT_EQ(s.ImagePixelFormat(i), TQxPixelFormat::qx8p);  // the locked bitmap speaks for the record
  s.ReleaseBitmap(b1, true);
  EXPECT_FALSE(i->Locked);
  EXPECT_EQ(i->Size, 5 * 12 + 768);
  TQxBitmap back;
  s.ReadImage(i, &back);
  EXPECT_EQ(back.PixelFormat(), TQxPixelFormat::qx8p);
  EXPECT_EQ(back.GetPixel8(2, 3), 77);
  EXPECT_EQ(back.PaletteColor(200).r, 200);
  // Releasing what is not locked changes nothing.
  s.ReleaseBitmap(&back, true);
  s.ReleaseRecordBitmap(i, true);
  EXPECT_FALSE(i->Locked);
}

TEST(ImageStore, GrowsForLargePicturesAndShrinksWhenEmpty) {
  TQxVirtualImageList s("ICACHE", true);
  EXPECT_EQ(s.FileSize(), 262144);
  auto big = Pattern(700, 300, TQxPixelFormat::qx24RGB, 4);  // 630,000 bytes
  TQxVirtualImageInfo* i = s.AddImage(big.get());
  EXPECT_GE(s.FileSize(), s.UsedEnd());
  auto small = Pattern(10, 10, TQxPixelFormat::qx24RGB, 6);
  TQxVirtualImageInfo* j = s.AddImage(small.get());
  TQxBitmap back;
  s.ReadImage(i, &back);
  ExpectSamePixels(big.get(), &back);
  s.DeleteImage(i);
  s.DeleteImage(j);
  EXPECT_EQ(s.ImageCount(), 0);
  EXPECT_EQ(s.FileSize(), s.GrowthStep());
  EXPECT_TRUE(s.FreeBlocks().empty());
  EXPECT_EQ(s.UsedEnd(), 0);
  // Records of another store, and empty pictures, are refused.
  TQxBitmap empty;
  EXPECT_EQ(s.AddImage(&empty), nullptr);
  EXPECT_EQ(s.AddImage(nullptr), nullptr);
  TQxVirtualImageList other("ILIST", false);
  TQxVirtualImageInfo* k = other.AddImage(small.get());
  s.DeleteImage(k);
  EXPECT_EQ(s.PixelData(k), nullptr);
  EXPECT_EQ(other.ImageCount(), 1);
}
