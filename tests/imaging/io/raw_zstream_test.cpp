#include <gtest/gtest.h>

#include <cstring>

#include "imaging/foundation/qx_streams.h"
#include "imaging/io/quillot_io.h"
#include "imaging/io/raw_pixels.h"
#include "imaging/io/zstreams.h"
#include "io_test_util.h"

using namespace qvio;

namespace {

std::vector<int32_t> ReadRaw(TQxBitmap& B, TIOParamsVals& P, const std::vector<uint8_t>& Data) {
  auto s = StreamOf(Data);
  TestProgress pr;
  std::vector<int32_t> marks;
  pr.Info.OnProgress = [&](TObject*, int32_t p) { marks.push_back(p); };
  ReadRawPixelStream(*s, B, P, pr.Info);
  return marks;
}

std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// The low 16 bits of a decimal number of any length.
uint32_t LowBits16(const std::string& digits) {
  uint32_t v = 0;
  for (char c : digits) v = (v * 10 + uint32_t(c - '0')) & 0xFFFF;
  return v;
}

}  // namespace

TEST(RawPixels, RowAlignmentAndPlanes) {
  // 3 pixels of 24 bits: align 8 reads 9-byte rows, align 32 reads 12.
  for (int align : {8, 32}) {
    TQxBitmap b(3, 2, TQxPixelFormat::qx24RGB);
    TIOParamsVals p;
    p.RawBitmapRowAlign = align;
    p.RawBitmapBGR = 1;
    std::vector<uint8_t> data;
    for (int r = 0; r < 2; ++r) {
      for (int i = 0; i < 9; ++i) data.push_back(uint8_t(r * 16 + i));
      if (align == 32) data.insert(data.end(), {0xAA, 0xAA, 0xAA});
    }
    ReadRaw(b, p, data);
    EXPECT_EQ(b.Scanline(1)[0], 16) << align;
    EXPECT_EQ(b.Scanline(1)[8], 24) << align;
  }
  // Align 64 with a 1-pixel qx8g row: 8 bytes stored, 4 read, 4 skipped.
  TQxBitmap g(1, 2, TQxPixelFormat::qx8g);
  TIOParamsVals pg;
  pg.RawBitmapRowAlign = 64;
  ReadRaw(g, pg, {7, 0, 0, 0, 9, 9, 9, 9, 8, 0, 0, 0, 9, 9, 9, 9});
  EXPECT_EQ(g.Scanline(0)[0], 7);
  EXPECT_EQ(g.Scanline(1)[0], 8);
  // Planar RGB with the channel swap: red plane, green plane, blue plane.
  TQxBitmap pl(2, 1, TQxPixelFormat::qx24RGB);
  TIOParamsVals pp;
  pp.RawBitmapPlanar = 1;
  auto marks = ReadRaw(pl, pp, {10, 11, 20, 21, 30, 31});
  EXPECT_EQ(pl.GetPixel24(0, 0), (TQxRGB{30, 20, 10}));
  EXPECT_EQ(pl.GetPixel24(1, 0), (TQxRGB{31, 21, 11}));
  EXPECT_EQ(marks, (std::vector<int32_t>{0, 33, 66, 100}));
  // A data offset is skipped first.
  TQxBitmap o(2, 1, TQxPixelFormat::qx8g);
  TIOParamsVals po;
  po.RawBitmapDataOffset = 3;
  ReadRaw(o, po, {1, 2, 3, 4, 5});
  EXPECT_EQ(o.Scanline(0)[0], 4);
}

TEST(RawPixels, TextEncodingsStayInTheRow) {
  TQxBitmap g(3, 1, TQxPixelFormat::qx8g);
  TIOParamsVals p;
  p.RawBitmapEncoding = 1;
  ReadRaw(g, p, Text("12, 7 300"));
  EXPECT_EQ(g.Scanline(0)[0], 12);
  EXPECT_EQ(g.Scanline(0)[1], 7);
  EXPECT_EQ(g.Scanline(0)[2], 44);
  // Hexadecimal: upper case digits only; lower case letters separate.
  TQxBitmap h(2, 1, TQxPixelFormat::qx8g);
  TIOParamsVals ph;
  ph.RawBitmapEncoding = 2;
  ReadRaw(h, ph, Text("ff FF 0A"));
  EXPECT_EQ(h.Scanline(0)[0], 255);
  EXPECT_EQ(h.Scanline(0)[1], 10);
  // Floats take the decimal value; hexadecimal floats are refused.
  TQxBitmap f(1, 1, TQxPixelFormat::qx32f);
  TIOParamsVals pf;
  pf.RawBitmapEncoding = 1;
  ReadRaw(f, pf, Text("3"));
  EXPECT_EQ(f.GetPixelFloat(0, 0), 3.0f);
  pf.RawBitmapEncoding = 2;
  EXPECT_THROW(ReadRaw(f, pf, Text("3")), Exception);
  // Long digit runs keep their low bits instead of overflowing; 1-bit rows take one value per pixel.
  TQxBitmap w(1, 1, TQxPixelFormat::qx16g);
  TIOParamsVals pw;
  pw.RawBitmapEncoding = 1;
  ReadRaw(w, pw, Text("99999999999999999999999"));
  EXPECT_EQ(w.GetPixel16(0, 0), uint16_t(LowBits16("99999999999999999999999")));
  TQxBitmap bw(10, 1, TQxPixelFormat::qx1g);
  bw.Scanline(0)[1] = 0;
  TIOParamsVals pb;
  pb.RawBitmapEncoding = 1;
  ReadRaw(bw, pb, Text("1 0 1 0 1 0 1 0 1 1"));
  EXPECT_EQ(bw.Scanline(0)[0], 0xAA);
  EXPECT_EQ(bw.Scanline(0)[1] & 0xC0, 0xC0);
}

TEST(RawPixels, ComponentLoadsRawBitmapStream) {
  TQxBitmap b(2, 2, TQxPixelFormat::qx8g);
  TQuillotIO io(&b);
  std::vector<uint8_t> d = {1, 2, 3, 4};
  TQxMemStream s(d.data(), 4);
  io.LoadFromStreamAs(s, qxffRawBitmap);
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(b.Scanline(1)[1], 4);
  EXPECT_EQ(io.Params->FileType, qxffRawBitmap);
}

TEST(RawPixels, MetafileProbes) {
  std::vector<uint8_t> wmf(40, 0);
  wmf[0] = 1;
  wmf[2] = 9;
  auto s = StreamOf(wmf);
  EXPECT_TRUE(IsWmfStream(*s));
  std::vector<uint8_t> placeable(60, 0);
  placeable[0] = 0xD7;
  placeable[1] = 0xCD;
  placeable[2] = 0xC6;
  placeable[3] = 0x9A;
  placeable[22] = 1;
  placeable[24] = 9;
  auto sp = StreamOf(placeable);
  EXPECT_TRUE(IsWmfStream(*sp));
  wmf[0] = 2;
  auto disk = StreamOf(wmf);
  EXPECT_FALSE(IsWmfStream(*disk));
  std::vector<uint8_t> emf(100, 0);
  emf[0] = 1;
  std::memcpy(emf.data() + 40, " EMF", 4);
  auto se = StreamOf(emf);
  EXPECT_TRUE(IsEmfStream(*se));
  EXPECT_EQ(se->Position(), 0);
  auto shortS = StreamOf({1, 0, 0});
  EXPECT_FALSE(IsEmfStream(*shortS));
  EXPECT_FALSE(IsWmfStream(*shortS));
}

TEST(ZStreams, RoundTripsAndBoundaries) {
  // Empty input still makes a complete zlib stream.
  TMemoryStream dest;
  {
    TZCompressionStream z(dest, 2);
    z.Finish();
  }
  EXPECT_GT(dest.Size(), 2);
  uint8_t* out = nullptr;
  int32_t outCount = -1;
  ZDecompressBuffer(dest.Memory(), static_cast<int32_t>(dest.Size()), out, 0, outCount);
  EXPECT_EQ(outCount, 0);
  delete[] out;
  // Two compressed blocks back to back, read by two streams: the second starts right after the first.
  std::vector<uint8_t> a(100000), b(5000);
  for (size_t i = 0; i < a.size(); ++i) a[i] = uint8_t(i * 31 / 7);
  for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(i ^ 0x5A);
  TMemoryStream both;
  {
    TZCompressionStream z(both, 3);
    z.Write(a.data(), static_cast<int64_t>(a.size()));
    EXPECT_EQ(z.Position(), static_cast<int64_t>(a.size()));
    z.Finish();
  }
  {
    TZCompressionStream z(both, 1);
    z.Write(b.data(), static_cast<int64_t>(b.size()));
  }  // the destructor finishes
  both.SetPosition(0);
  std::vector<uint8_t> ra(a.size()), rb(b.size());
  {
    TZDecompressionStream z(both);
    EXPECT_EQ(z.Read(ra.data(), static_cast<int64_t>(ra.size())), static_cast<int64_t>(ra.size()));
    uint8_t extra;
    EXPECT_EQ(z.Read(&extra, 1), 0);
  }
  {
    TZDecompressionStream z(both);
    EXPECT_EQ(z.Read(rb.data(), static_cast<int64_t>(rb.size())), static_cast<int64_t>(rb.size()));
  }
  EXPECT_EQ(ra, a);
  EXPECT_EQ(rb, b);
  // Seeking: to the end gives the size; back to 0 restarts; a backward move is refused.
  both.SetPosition(0);
  TZDecompressionStream z(both);
  EXPECT_EQ(z.Seek(0, TSeekOrigin::soEnd), static_cast<int64_t>(a.size()));
  EXPECT_EQ(z.Seek(0, TSeekOrigin::soBeginning), 0);
  EXPECT_EQ(z.Seek(10, TSeekOrigin::soCurrent), 10);
  uint8_t c;
  z.Read(&c, 1);
  EXPECT_EQ(c, a[10]);
  EXPECT_THROW(z.Seek(-1, TSeekOrigin::soCurrent), EZDecompressionError);
  EXPECT_THROW(z.Write(&c, 1), EZDecompressionError);
  TZCompressionStream zc(dest, 0);
  EXPECT_THROW(zc.Read(&c, 1), EZCompressionError);
  // Truncated data: the buffer routine raises "buffer error", the stream delivers less.
  TMemoryStream one;
  {
    TZCompressionStream w(one, 2);
    w.Write(a.data(), 1000);
  }
  std::vector<uint8_t> cut(static_cast<const uint8_t*>(one.Memory()), static_cast<const uint8_t*>(one.Memory()) + 20);
  try {
    ZDecompressBuffer(cut.data(), 20, out, 0, outCount);
    FAIL() << "no exception";
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(e.Message(), "buffer error");
  }
  auto cs = StreamOf(cut);
  TZDecompressionStream zt(*cs);
  std::vector<uint8_t> got(1000);
  EXPECT_LT(zt.Read(got.data(), 1000), 1000);
  // Corrupt data raises "data error"; a stream that asks for a preset dictionary is refused, not spun on.
  std::vector<uint8_t> junk = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_THROW(ZDecompressBuffer(junk.data(), 6, out, 0, outCount), EZDecompressionError);
  std::vector<uint8_t> dict = {0x78, 0x3F, 0x9C, 0x13, 0x50, 0, 0, 0, 1, 0, 0};
  EXPECT_THROW(ZDecompressBuffer(dict.data(), 11, out, 0, outCount), EZDecompressionError);
  auto ds = StreamOf(dict);
  TZDecompressionStream zd(*ds);
  EXPECT_THROW(zd.Read(got.data(), 10), EZDecompressionError);
}

TEST(ZStreams, BufferInflationStopsAtItsOutputLimit) {
  // 10 MB of zeros in about 10 KB: a limit exactly at the size lets it through, one byte less refuses it.
  const std::vector<uint8_t> zeros(10 << 20);
  TMemoryStream packed;
  {
    TZCompressionStream z(packed, 3);
    z.Write(zeros.data(), static_cast<int64_t>(zeros.size()));
  }
  const int32_t n = static_cast<int32_t>(packed.Size());
  for (int32_t estimate : {0, 20 << 20}) {
    uint8_t* out = nullptr;
    int32_t outCount = -1;
    ZDecompressBuffer(packed.Memory(), n, out, estimate, outCount, 10 << 20);
    EXPECT_EQ(outCount, 10 << 20);
    EXPECT_EQ(out[outCount - 1], 0);
    delete[] out;
    out = nullptr;
    EXPECT_THROW(ZDecompressBuffer(packed.Memory(), n, out, estimate, outCount, (10 << 20) - 1), EZDecompressionError);
    EXPECT_EQ(out, nullptr);
  }
}
