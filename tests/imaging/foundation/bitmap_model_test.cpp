// Storage, rows, alpha channel and the raw stream of TQxBitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/utils.h"
#include "platform/base/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

// Fills every byte of every row with a pattern that depends on the row and the byte.
void Pattern(TQxBitmap& b) {
  for (int32_t y = 0; y < b.Height(); ++y) {
    uint8_t* r = b.Scanline(y);
    for (int32_t i = 0; i < b.RowLen(); ++i) r[i] = uint8_t(y * 31 + i * 7 + 1);
  }
}

bool HasPattern(TQxBitmap& b, int32_t bytes) {
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* r = b.Scanline(y);
    for (int32_t i = 0; i < bytes; ++i)
      if (r[i] != uint8_t(y * 31 + i * 7 + 1)) return false;
  }
  return true;
}

template <typename T>
T At(const TMemoryStream& s, int64_t off) {
  T v;
  std::memcpy(&v, static_cast<const uint8_t*>(s.Memory()) + off, sizeof(T));
  return v;
}

}  // namespace

TEST(BitmapModel, AllocateRefusesEmptySizesAndKeepsStorageWhenUnchanged) {
  TQxBitmap b;
  EXPECT_FALSE(b.Allocate(0, 10, TQxPixelFormat::qx24RGB));
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Width(), 0);
  EXPECT_FALSE(b.Allocate(5, 5, TQxPixelFormat::qxInvalid));

  ASSERT_TRUE(b.Allocate(4, 3, TQxPixelFormat::qx24RGB));
  Pattern(b);
  b.SetAlpha(1, 1, 7);
  ASSERT_TRUE(b.Allocate(4, 3, TQxPixelFormat::qx24RGB));  // same size, nothing asked for new storage
  EXPECT_TRUE(HasPattern(b, b.RowLen()));
  EXPECT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.GetAlpha(1, 1), 7);

  b.Reallocate = true;
  ASSERT_TRUE(b.Allocate(4, 3, TQxPixelFormat::qx24RGB));
  EXPECT_FALSE(b.HasAlphaChannel());

  // A new palette and an attached block's palette start black, never with stale bytes.
  for (int i = 0; i < 3; ++i) {
    TQxBitmap p(2, 2, TQxPixelFormat::qx8p);
    ASSERT_EQ(p.PaletteLength(), 256);
    for (int32_t k = 0; k < 256; ++k) ASSERT_EQ(p.PaletteColor(k), (TQxRGB{0, 0, 0}));
    p.SetPaletteColor(7, TQxRGB{9, 9, 9});
  }
  uint8_t block[16] = {};
  TQxBitmap a;
  a.AttachMemory(block, 4, 4, TQxPixelFormat::qx8p, false, 0);
  EXPECT_EQ(a.PaletteColor(200), (TQxRGB{0, 0, 0}));
  a.SetPixel8(1, 0, 5);
  EXPECT_EQ(block[3 * 4 + 1], 5);  // bottom-up: row 0 is the last row of the block
}

TEST(BitmapModel, RowLengthsFollowFormatAndAlignment) {
  struct Case {
    int32_t w;
    TQxPixelFormat f;
    int32_t align;
    int32_t len;
  } cases[] = {{3, TQxPixelFormat::qx24RGB, 32, 12}, {3, TQxPixelFormat::qx24RGB, 8, 9},
               {10, TQxPixelFormat::qx1g, 32, 4},    {5, TQxPixelFormat::qxRGB48, 32, 32},
               {5, TQxPixelFormat::qx16g, 8, 10},    {7, TQxPixelFormat::qx32f, 32, 28}};
  for (const Case& c : cases) {
    TQxBitmap b;
    b.SetRowAlignment(c.align);
    ASSERT_TRUE(b.Allocate(c.w, 2, c.f));
    EXPECT_EQ(b.RowLen(), c.len) << c.w << " px, format " << int(c.f) << ", alignment " << c.align;
  }
}

TEST(BitmapModel, OneMemoryBlockHoldsRowsBottomUpAndOriginFlipsThem) {
  TQxBitmap b;
  b.SetRowAlignment(8);
  ASSERT_TRUE(b.Allocate(5, 4, TQxPixelFormat::qx8g));
  ASSERT_EQ(b.Location(), TQxLocation::qxMemory);
  uint8_t* bottom = b.Scanline(3);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(bottom) % 64, 0u);
  for (int32_t r = 0; r < 4; ++r) EXPECT_EQ(b.Scanline(r), bottom + 5 * (3 - r));
  b.Origin = 1;
  EXPECT_EQ(b.Scanline(0), bottom);
}

TEST(BitmapModel, CanvasOfATopDownBitmapDrawsOnTheRowsScanlineReads) {
  // 24-bit BGR: a red fill reads back as 00 00 FF through Scanline.
  auto red = [](TQxBitmap& b, int32_t r) { return b.Scanline(r)[0] == 0 && b.Scanline(r)[2] == 0xFF; };
  for (uint8_t origin : {0, 1}) {
    TQxBitmap b;
    ASSERT_TRUE(b.Allocate(4, 5, TQxPixelFormat::qx24RGB));
    b.Fill(0);
    b.Origin = origin;
    TCanvas* c = b.GetCanvas();
    ASSERT_NE(c, nullptr);
    c->Brush()->SetColor(clRed);
    c->FillRect(TRect(0, 0, 4, 2));  // rows 0 and 1
    SetPixel(c, 3, 4, clRed);
    EXPECT_EQ(GetPixel(c, 3, 4), COLORREF(0x0000FF)) << int(origin);
    for (int32_t r = 0; r < 5; ++r) EXPECT_EQ(red(b, r), r < 2) << "origin " << int(origin) << " row " << r;
    EXPECT_EQ(b.Scanline(4)[9], 0) << int(origin);
    EXPECT_EQ(b.Scanline(4)[11], 0xFF) << int(origin);

    // Copying from the canvas reads the same rows back into a plain bitmap.
    TQxBitmap plain;
    ASSERT_TRUE(plain.Allocate(4, 5, TQxPixelFormat::qx24RGB));
    plain.Fill(0);
    plain.GetCanvas()->CopyRect(TRect(0, 0, 4, 5), b.GetCanvas(), TRect(0, 0, 4, 5));
    for (int32_t r = 0; r < 5; ++r) EXPECT_EQ(red(plain, r), r < 2) << "copy, origin " << int(origin) << " row " << r;
  }
}

TEST(BitmapModel, ThresholdDecidesBetweenMemoryAndFile) {
  const int64_t threshold = 33554432;
  struct Case {
    int32_t w, h;
    TQxLocation where;
  } cases[] = {{4000, 3000, TQxLocation::qxFile}, {2000, 2000, TQxLocation::qxMemory}};
  for (const Case& c : cases) {
    TQxBitmap b;
    b.MemoryThreshold = threshold;
    ASSERT_TRUE(b.Allocate(c.w, c.h, TQxPixelFormat::qx24RGB));
    EXPECT_EQ(b.Location(), c.where) << c.w << "x" << c.h;
  }
  // Exactly the threshold keeps the bitmap's location: a new bitmap starts in the file.
  TQxBitmap exact;
  exact.MemoryThreshold = 4 * 100;
  ASSERT_TRUE(exact.Allocate(100, 4, TQxPixelFormat::qx8g));
  EXPECT_EQ(exact.Location(), TQxLocation::qxFile);
}

TEST(BitmapModel, FileRowsPersistAndLockedRowsLiveTogether) {
  TQxBitmap b;
  b.MemoryThreshold = 0;
  ASSERT_TRUE(b.Allocate(10, 6, TQxPixelFormat::qx24RGB));
  ASSERT_EQ(b.Location(), TQxLocation::qxFile);
  Pattern(b);
  EXPECT_TRUE(HasPattern(b, b.RowLen()));

  uint8_t* r1 = b.LockRow(1);
  uint8_t* r4 = b.LockRow(4);
  ASSERT_NE(r1, r4);
  r1[0] = 201;
  r4[0] = 204;
  b.UnlockRow(1);
  b.UnlockRow(4);
  EXPECT_EQ(b.Scanline(1)[0], 201);
  EXPECT_EQ(b.Scanline(4)[0], 204);

  // The threshold still sends it back to the file; with room in memory it moves, keeping the content.
  b.SetLocation(TQxLocation::qxMemory);
  EXPECT_EQ(b.Location(), TQxLocation::qxFile);
  b.MemoryThreshold = INT64_MAX;
  b.SetLocation(TQxLocation::qxMemory);
  EXPECT_EQ(b.Location(), TQxLocation::qxMemory);
  EXPECT_EQ(b.Scanline(4)[0], 204);
  EXPECT_EQ(b.Scanline(5)[3], uint8_t(5 * 31 + 3 * 7 + 1));
}

TEST(BitmapModel, AlphaChannelRules) {
  TQxBitmap b(3, 2, TQxPixelFormat::qx24RGB);
  EXPECT_FALSE(b.HasAlphaChannel());
  TQxBitmap* a = b.GetAlphaChannel();
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->IsAlphaChannel());
  EXPECT_EQ(a->PixelFormat(), TQxPixelFormat::qx8g);
  EXPECT_EQ(a->GetPixel8(2, 1), 255);
  EXPECT_EQ(a->GetAlphaChannel(), nullptr);
  a->SetPixel8(0, 0, 9);
  EXPECT_EQ(a->GetAlpha(0, 0), 9);  // an alpha channel reads its own pixels

  // Merging onto a background: bg + floor((c - bg) * alpha / 256) per channel.
  TQxBitmap m(2, 1, TQxPixelFormat::qx24RGB);
  m.SetPixel24(0, 0, TQxRGB{0, 100, 255});
  m.SetPixel24(1, 0, TQxRGB{10, 10, 10});
  m.SetAlpha(0, 0, 128);
  m.SetAlpha(1, 0, 0);
  m.RemoveAlphaChannel(true, 0x00C8C8C8);  // gray 200
  EXPECT_EQ(m.GetPixel24(0, 0), (TQxRGB{100, 150, 227}));
  EXPECT_EQ(m.GetPixel24(1, 0), (TQxRGB{200, 200, 200}));
  EXPECT_FALSE(m.HasAlphaChannel());
}

TEST(BitmapModel, PlatformBitmapStorageTakesOnlyItsFormats) {
  TQxBitmap b;
  b.SetLocation(TQxLocation::qxTBitmap);
  ASSERT_TRUE(b.Allocate(6, 3, TQxPixelFormat::qx16g));
  EXPECT_EQ(b.PixelFormat(), TQxPixelFormat::qx8g);
  ASSERT_NE(b.GetTBitmap(), nullptr);
  EXPECT_EQ(b.GetTBitmap()->PixelFormat(), TPixelFormat::pf8bit);
  b.Reallocate = true;
  EXPECT_FALSE(b.Allocate(6, 3, TQxPixelFormat::qxCMYK));
  EXPECT_TRUE(b.IsEmpty());

  ASSERT_TRUE(b.Allocate(6, 3, TQxPixelFormat::qx24RGB));
  b.SetPixel24(5, 2, TQxRGB{1, 2, 3});
  TBitmap* t = b.GetTBitmap();
  const uint8_t* row = static_cast<const uint8_t*>(t->ScanLine(2));
  EXPECT_EQ(row[15], 1);
  EXPECT_EQ(row[17], 3);
  // Back to memory keeps the pixels.
  b.SetLocation(TQxLocation::qxMemory);
  EXPECT_EQ(b.GetPixel24(5, 2), (TQxRGB{1, 2, 3}));

  // Attaching its own 8-bit platform bitmap again, as a view does for its current layer, takes it to 24
  // bits and keeps it owned: freed with the bitmap (the sanitizer build reports a leak otherwise).
  TQxBitmap g;
  g.SetLocation(TQxLocation::qxTBitmap);
  ASSERT_TRUE(g.Allocate(4, 4, TQxPixelFormat::qx8g));
  TBitmap* own = g.GetTBitmap();
  g.AttachTBitmap(own, false);
  EXPECT_EQ(g.PixelFormat(), TQxPixelFormat::qx24RGB);
  EXPECT_EQ(g.GetTBitmap(), own);
}

TEST(BitmapRawStream, HeaderFieldsSitAtTheirOffsets) {
  TQxBitmap b(3, 2, TQxPixelFormat::qx8p);
  b.SetPaletteColor(1, TQxRGB{10, 20, 30});
  b.RangeLow = 1.5;
  b.RangeHigh = 2.5;
  b.ChannelOffsets[0] = -3;
  b.ChannelOffsets[2] = 4;
  b.AdjustColors = true;
  b.Contrast = 12;
  b.PaletteColors = 77;
  b.Fill(255);
  TMemoryStream s;
  b.SaveRawToStream(&s);
  const int64_t n = 256, P = 20 + 3 * n;
  ASSERT_EQ(s.Size(), P + 55 + 2 * 4 + 1);
  EXPECT_EQ(std::memcmp(s.Memory(), "TQXBITMAPRAW", 12), 0);
  EXPECT_EQ(At<int32_t>(s, 12), 0);
  EXPECT_EQ(At<int32_t>(s, 16), n);
  EXPECT_EQ(At<uint8_t>(s, 20 + 3), 10);  // entry 1: blue, green, red
  EXPECT_EQ(At<uint8_t>(s, 20 + 5), 30);
  EXPECT_EQ(At<int32_t>(s, P), 3);
  EXPECT_EQ(At<int32_t>(s, P + 4), 2);
  EXPECT_EQ(At<uint8_t>(s, P + 8), uint8_t(TQxPixelFormat::qx8p));
  EXPECT_EQ(At<uint8_t>(s, P + 9), 1);  // Opaque after Fill(255)
  EXPECT_EQ(At<int32_t>(s, P + 10), 77);
  EXPECT_EQ(At<double>(s, P + 14), 1.5);
  EXPECT_EQ(At<double>(s, P + 22), 2.5);
  EXPECT_EQ(At<int32_t>(s, P + 30), -3);
  EXPECT_EQ(At<int32_t>(s, P + 38), 4);
  EXPECT_EQ(At<uint8_t>(s, P + 46), 1);
  EXPECT_EQ(At<int32_t>(s, P + 47), 12);
  EXPECT_EQ(At<int32_t>(s, P + 51), 32);
  EXPECT_EQ(At<uint8_t>(s, P + 55), 255);
  EXPECT_EQ(At<uint8_t>(s, P + 55 + 8), 0);  // no alpha
}

TEST(BitmapRawStream, RoundTripKeepsPaletteAlphaAndSettings) {
  TQxBitmap b(5, 4, TQxPixelFormat::qx8p);
  Pattern(b);
  b.SetPaletteColor(200, TQxRGB{1, 2, 3});
  b.SetAlpha(4, 3, 17);
  TMemoryStream s;
  b.SaveRawToStream(&s);

  TQxBitmap r;
  s.SetPosition(0);
  ASSERT_TRUE(r.LoadRawFromStream(&s));
  EXPECT_EQ(r.Width(), 5);
  EXPECT_EQ(r.PixelFormat(), TQxPixelFormat::qx8p);
  EXPECT_TRUE(HasPattern(r, 5));
  EXPECT_EQ(r.PaletteColor(200), (TQxRGB{1, 2, 3}));
  ASSERT_TRUE(r.HasAlphaChannel());
  EXPECT_EQ(r.GetAlpha(4, 3), 17);
  EXPECT_EQ(s.Position(), s.Size());

  // A stream without alpha removes the reader's alpha channel.
  TQxBitmap plain(2, 2, TQxPixelFormat::qx24RGB);
  TMemoryStream s2;
  plain.SaveRawToStream(&s2);
  s2.SetPosition(0);
  ASSERT_TRUE(r.LoadRawFromStream(&s2));
  EXPECT_FALSE(r.HasAlphaChannel());
  EXPECT_EQ(r.PixelFormat(), TQxPixelFormat::qx24RGB);

  // An alpha channel laid out byte-aligned (5-byte rows) reads back whole, rows and the Opaque flag.
  TQxBitmap packed(5, 4, TQxPixelFormat::qx24RGB);
  packed.SetLocation(TQxLocation::qxMemory);
  packed.Allocate(5, 4, TQxPixelFormat::qx24RGB);
  TQxBitmap* a = packed.GetAlphaChannel();
  a->SetLocation(TQxLocation::qxMemory);
  a->SetRowAlignment(8);
  a->Allocate(5, 4, TQxPixelFormat::qx8g);
  ASSERT_EQ(a->RowLen(), 5);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) a->Scanline(y)[x] = uint8_t(10 * y + x);
  a->Opaque = false;
  TMemoryStream s3;
  packed.SaveRawToStream(&s3);
  s3.SetPosition(0);
  TQxBitmap back;
  ASSERT_TRUE(back.LoadRawFromStream(&s3));
  EXPECT_EQ(s3.Position(), s3.Size());
  ASSERT_TRUE(back.HasAlphaChannel());
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(back.GetAlpha(x, y), 10 * y + x) << x << "," << y;
  EXPECT_FALSE(back.GetAlphaChannel()->Opaque);
}

TEST(BitmapRawStream, MalformedStreamsAreRefused) {
  TQxBitmap b(4, 3, TQxPixelFormat::qx24RGB);
  b.SetAlpha(0, 0, 1);
  TMemoryStream good;
  b.SaveRawToStream(&good);
  const auto* bytes = static_cast<const uint8_t*>(good.Memory());
  const std::vector<uint8_t> original(bytes, bytes + good.Size());
  const int64_t P = 20;

  struct Damage {
    const char* what;
    int64_t offset;
    int32_t value;  // written as 32 bits at offset; -1 offset truncates to `value` bytes
  } damages[] = {{"version -1", 12, -1},          {"negative palette count", 16, -5},
                 {"huge palette count", 16, 1 << 30}, {"negative width", P, -4},
                 {"huge height", P + 4, 1 << 30}, {"bad alignment", P + 51, 12},
                 {"truncated in the rows", -1, int32_t(P + 55 + 10)},
                 {"truncated in the alpha rows", -1, int32_t(original.size() - 3)},
                 {"truncated header", -1, 30}};
  for (const Damage& d : damages) {
    std::vector<uint8_t> data = original;
    if (d.offset >= 0)
      std::memcpy(data.data() + d.offset, &d.value, 4);
    else
      data.resize(size_t(d.value));
    TMemoryStream s;
    s.WriteBuffer(data.data(), int64_t(data.size()));
    s.SetPosition(0);
    TQxBitmap r;
    EXPECT_FALSE(r.LoadRawFromStream(&s)) << d.what;
  }
  // Width and height both near the integer limit: the row length times the height must not overflow.
  {
    std::vector<uint8_t> data = original;
    const int32_t Huge = 0x7FFFFFFF;
    std::memcpy(data.data() + P, &Huge, 4);
    std::memcpy(data.data() + P + 4, &Huge, 4);
    TMemoryStream s;
    s.WriteBuffer(data.data(), int64_t(data.size()));
    s.SetPosition(0);
    TQxBitmap r;
    EXPECT_FALSE(r.LoadRawFromStream(&s)) << "huge width and height";
  }
  TMemoryStream foreign;
  foreign.WriteBuffer("NOTABITMAPRAW...", 16);
  foreign.SetPosition(0);
  TQxBitmap r;
  EXPECT_FALSE(r.LoadRawFromStream(&foreign));

  // No rows and a width of 2^29: an empty picture, read without a row buffer of that width.
  std::vector<uint8_t> wide(original.begin(), original.begin() + P + 55);
  const int32_t w = 1 << 29, h = 0;
  std::memcpy(wide.data() + P, &w, 4);
  std::memcpy(wide.data() + P + 4, &h, 4);
  wide.push_back(1);  // an alpha channel, also without rows
  wide.push_back(1);
  TMemoryStream ws;
  ws.WriteBuffer(wide.data(), int64_t(wide.size()));
  ws.SetPosition(0);
  TQxBitmap e;
  e.LoadRawFromStream(&ws);
  EXPECT_TRUE(e.IsEmpty());
}
