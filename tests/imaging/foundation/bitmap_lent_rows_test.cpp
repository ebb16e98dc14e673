// Bitmaps whose rows are lent by another bitmap or shared: nothing written to one ever reaches a row it
// does not own, and a lender's rows stay readable however the lender changes or goes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "platform/base/parallel.h"

namespace {

constexpr int32_t kW = 13, kH = 9;  // 39 bytes of pixels in a 40-byte row

void Pattern(TQxBitmap& B, int Seed) {
  for (int32_t y = 0; y < B.Height(); ++y) {
    uint8_t* R = B.Scanline(y);
    for (int32_t i = 0; i < B.Width() * 3; ++i) R[i] = uint8_t(i * 7 + y * 31 + Seed);
  }
}

// Every pixel of every row and of the alpha channel (not a row's padding: a small block is not cleared).
std::string Bytes(TQxBitmap& B) {
  std::string S;
  const size_t Used = size_t((int64_t(B.Width()) * B.BitCount() + 7) / 8);
  for (int32_t y = 0; y < B.Height(); ++y) S.append(reinterpret_cast<const char*>(B.ScanlineToRead(y)), Used);
  if (B.HasAlphaChannel()) S += "|" + Bytes(*B.GetAlphaChannel());
  return S;
}

// A borrower of Lender's rows in reverse order, with one shared row of 0x5A in the middle, and a plain
// bitmap of the same pixels.
struct TBorrowed {
  TQxBitmap Lender{kW, kH, TQxPixelFormat::qx24RGB};
  TQxBitmap Borrower, Plain{kW, kH, TQxPixelFormat::qx24RGB};
  TBorrowed() {
    Pattern(Lender, 0);
    EXPECT_TRUE(Borrower.AllocateRowTable(kW, kH, TQxPixelFormat::qx24RGB));
    const uint8_t V = 0x5A;
    const auto Shared = TQxBitmap::MakeConstantRow(Borrower.RowLen(), kW * 3, &V, 1);
    for (int32_t y = 0; y < kH; ++y) {
      if (y == kH / 2)
        Borrower.ShareRow(y, Shared);
      else
        EXPECT_TRUE(Borrower.LendRow(y, &Lender, kH - 1 - y));
      std::memcpy(Plain.Scanline(y), Borrower.ScanlineToRead(y), size_t(Plain.RowLen()));
    }
  }
};

}  // namespace

TEST(LentRows, ReadAsLentWithoutTakingThem) {
  TBorrowed T;
  EXPECT_TRUE(T.Borrower.HasRowTable());
  EXPECT_EQ(T.Borrower.RowsNotOwn(), kH);
  EXPECT_TRUE(T.Lender.IsLending());
  EXPECT_EQ(T.Borrower.ScanlineToRead(0), T.Lender.ScanlineToRead(kH - 1));
  EXPECT_EQ(T.Borrower.ScanlineToRead(kH / 2)[kW * 3 - 1], 0x5A);
  EXPECT_EQ(T.Borrower.ScanlineToRead(kH / 2)[kW * 3], 0);  // padding reads as zero
  // Reading through Scanline with the write bit clear takes nothing either, nor through the renderers.
  T.Borrower.AccessMode = 1;
  EXPECT_EQ(T.Borrower.Scanline(1), T.Lender.ScanlineToRead(kH - 2));
  T.Borrower.AccessMode = 3;
  TQxBitmap Drawn(kW, kH, TQxPixelFormat::qx24RGB);
  T.Borrower.DrawScaled(&Drawn, 0, 0, kW, kH, 0, 0, kW, kH);
  EXPECT_EQ(T.Borrower.RowsNotOwn(), kH);
  EXPECT_EQ(Bytes(Drawn), Bytes(T.Plain));
  // Origin 1 flips the lender's rows as its Scanline does.
  TQxBitmap Flipped(kW, kH, TQxPixelFormat::qx24RGB);
  Pattern(Flipped, 9);
  Flipped.Origin = 1;
  TQxBitmap B;
  B.AllocateRowTable(kW, kH, TQxPixelFormat::qx24RGB);
  ASSERT_TRUE(B.LendRow(0, &Flipped, 2));
  EXPECT_EQ(B.ScanlineToRead(0), Flipped.ScanlineToRead(2));
}

// Each operation that writes in place, on the borrower: the lender is untouched and the borrower ends as a
// plain bitmap of the same pixels would.
TEST(LentRows, WritesTakeTheRowsFirst) {
  struct Case {
    const char* Name;
    std::function<void(TQxBitmap&)> Op;
  };
  const Case Cases[] = {
      {"Scanline", [](TQxBitmap& B) { B.Scanline(2)[0] = 1; }},
      {"LockRow", [](TQxBitmap& B) { B.LockRow(3)[5] = 2; }},
      {"SetPixel24", [](TQxBitmap& B) { B.SetPixel24(4, 4, TQxRGB{1, 2, 3}); }},
      {"PixelPtr24", [](TQxBitmap& B) { B.PixelPtr24(1, 0)->g = 77; }},
      {"Fill", [](TQxBitmap& B) { B.Fill(0x102030); }},
      {"FillRect", [](TQxBitmap& B) { B.FillRect(2, 1, 8, 6, 0x405060); }},
      {"MoveRect", [](TQxBitmap& B) { B.MoveRect(0, 0, 5, 5, 3, 2, 0, true); }},
      {"ResizeCanvas grows", [](TQxBitmap& B) { B.ResizeCanvas(kW + 4, kH + 3, 0xFF, 255, 1, 2); }},
      {"ResizeCanvas shrinks", [](TQxBitmap& B) { B.ResizeCanvas(kW - 4, kH - 3, 0, 255, 2, 1); }},
      {"to 8-bit gray", [](TQxBitmap& B) { B.SetPixelFormat(TQxPixelFormat::qx8g); }},
      {"to 1-bit", [](TQxBitmap& B) { B.ConvertPixelFormat(TQxPixelFormat::qx1g); }},
      {"alpha set", [](TQxBitmap& B) { B.SetAlpha(3, 3, 9); }},
      {"alpha merged", [](TQxBitmap& B) { B.GetAlphaChannel()->Fill(100); B.RemoveAlphaChannel(true, 0xFFFFFF); }},
      {"row alignment", [](TQxBitmap& B) { B.SetRowAlignment(8); B.Scanline(0)[0] = 3; }},
      {"to a file", [](TQxBitmap& B) { B.SetLocation(TQxLocation::qxFile); B.Scanline(1)[1] = 4; }},
      {"made own", [](TQxBitmap& B) { B.MakeRowsOwn(); B.Scanline(5)[2] = 5; }},
      {"rows taken", [](TQxBitmap& B) { B.OwnRows(2, 6); for (int32_t y = 2; y < 6; ++y) std::memset(B.Scanline(y), 6, kW * 3); }},
      {"from threads", [](TQxBitmap& B) {
         ParallelBands(0, kH, 1, [&](int32_t F, int32_t L) {
           for (int32_t y = F; y < L; ++y) B.Scanline(y)[y] ^= 0xFF;
         });
       }},
  };
  for (const Case& C : Cases) {
    TBorrowed T;
    const std::string Lent = Bytes(T.Lender);
    C.Op(T.Borrower);
    C.Op(T.Plain);
    EXPECT_EQ(Bytes(T.Lender), Lent) << C.Name;
    EXPECT_EQ(Bytes(T.Borrower), Bytes(T.Plain)) << C.Name;
    EXPECT_EQ(T.Borrower.Width(), T.Plain.Width()) << C.Name;
    EXPECT_EQ(T.Borrower.PixelFormat(), T.Plain.PixelFormat()) << C.Name;
  }
}

// The lender writing, freed, reallocated or moved: the borrower still reads the rows as they were lent.
TEST(LentRows, TheLenderChangesOrGoes) {
  struct Case {
    const char* Name;
    std::function<void(TQxBitmap&)> Op;
  };
  const Case Cases[] = {
      {"writes a row", [](TQxBitmap& L) { L.Scanline(0)[0] ^= 0xFF; }},
      {"fills", [](TQxBitmap& L) { L.Fill(0); }},
      {"is freed", [](TQxBitmap& L) { L.FreeImage(true); }},
      {"takes the same size again", [](TQxBitmap& L) { L.Allocate(kW, kH, TQxPixelFormat::qx24RGB); Pattern(L, 50); }},
      {"takes another size", [](TQxBitmap& L) { L.Allocate(kW * 9, kH * 7, TQxPixelFormat::qx24RGB); Pattern(L, 60); }},
      {"gives its storage away", [](TQxBitmap& L) { TQxBitmap Other; L.MoveStorageTo(&Other); Other.Fill(1); }},
      {"goes to a file", [](TQxBitmap& L) { L.SetLocation(TQxLocation::qxFile); L.Fill(2); }},
  };
  for (const Case& C : Cases) {
    TBorrowed T;
    const std::string Before = Bytes(T.Borrower);
    C.Op(T.Lender);
    EXPECT_EQ(Bytes(T.Borrower), Before) << C.Name;
  }
  // A borrower outliving its lender.
  auto Lender = std::make_unique<TQxBitmap>(kW, kH, TQxPixelFormat::qx24RGB);
  Pattern(*Lender, 3);
  const std::string Rows = Bytes(*Lender);
  TQxBitmap B;
  B.AllocateRowTable(kW, kH, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < kH; ++y) ASSERT_TRUE(B.LendRow(y, Lender.get(), y));
  Lender.reset();
  EXPECT_EQ(Bytes(B), Rows);
  // Once the borrower lets go, the lender writes in place again, without a copy.
  TQxBitmap L2(kW, kH, TQxPixelFormat::qx24RGB);
  {
    TQxBitmap B2;
    B2.AllocateRowTable(kW, kH, TQxPixelFormat::qx24RGB);
    B2.LendRow(0, &L2, 0);
  }
  const uint8_t* Row = L2.ScanlineToRead(0);
  EXPECT_FALSE(L2.IsLending());
  EXPECT_EQ(L2.Scanline(0), Row);
}

TEST(LentRows, WhatCannotLend) {
  TQxBitmap B;
  ASSERT_TRUE(B.AllocateRowTable(kW, kH, TQxPixelFormat::qx24RGB));
  std::vector<uint8_t> Foreign(size_t(40) * kH);
  TQxBitmap Attached;
  Attached.AttachMemory(Foreign.data(), kW, kH, TQxPixelFormat::qx24RGB, true, 0);
  TQxBitmap Gray(kW, kH, TQxPixelFormat::qx8g), Wider(kW + 1, kH, TQxPixelFormat::qx24RGB);
  TQxBitmap Plain(kW, kH, TQxPixelFormat::qx24RGB);
  EXPECT_FALSE(B.LendRow(0, &Attached, 0));  // memory it does not own
  EXPECT_FALSE(B.LendRow(0, &Gray, 0));
  EXPECT_FALSE(B.LendRow(0, &Wider, 0));
  EXPECT_FALSE(B.LendRow(0, &Plain, kH));
  EXPECT_FALSE(B.LendRow(kH, &Plain, 0));
  TQxBitmap Other;
  Other.AllocateRowTable(kW, kH, TQxPixelFormat::qx24RGB);
  EXPECT_FALSE(B.LendRow(0, &Other, 0));  // rows it holds itself only by table
  EXPECT_EQ(B.RowsNotOwn(), kH);
  // A row never given reads as zero once written to.
  EXPECT_EQ(B.ScanlineToRead(0), nullptr);
  EXPECT_EQ(B.Scanline(0)[0], 0);
  EXPECT_EQ(B.RowsNotOwn(), kH - 1);
}
