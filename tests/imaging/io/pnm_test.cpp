#include <gtest/gtest.h>

#include "imaging/io/pnm_codec.h"
#include "io_test_util.h"

using namespace qvio;

namespace {

struct PnmRead {
  std::unique_ptr<TQxBitmap> Bitmap = std::make_unique<TQxBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>();
  bool Aborted = false;
};

std::unique_ptr<PnmRead> ReadPnm(const std::string& Text, bool Native = false) {
  auto r = std::make_unique<PnmRead>();
  r->Params->NativePixelFormat = Native;
  auto s = StreamOf(std::vector<uint8_t>(Text.begin(), Text.end()));
  TestProgress pr;
  ReadPxmStream(*s, *r->Bitmap, *r->Params, false, pr.Info);
  r->Aborted = pr.Aborting;
  return r;
}

std::string WritePnm(TQxBitmap& B, TIOParamsVals& P) {
  TMemoryStream s;
  TestProgress pr;
  WritePxmStream(s, B, P, pr.Info);
  auto v = BytesOf(s);
  return std::string(v.begin(), v.end());
}

}  // namespace

TEST(Pnm, HeaderTokensCommentsAndScaling) {
  // Comments before the magic, between numbers and before the raster; each becomes a trimmed line.
  auto r = ReadPnm("# first\nP2\n#  second  \n3 # third\n1\n100\n50 100 0");
  ASSERT_FALSE(r->Aborted);
  EXPECT_EQ(r->Params->PxmComments, (TQxTextList{"first", "second", "third"}));
  EXPECT_EQ(r->Bitmap->GetPixel24(0, 0), (TQxRGB{127, 127, 127}));
  EXPECT_EQ(r->Bitmap->GetPixel24(1, 0), (TQxRGB{255, 255, 255}));
  auto s = StreamOf(std::vector<uint8_t>({'#', 'x', '\n', 'P', '5', ' ', '2', ' ', '1', ' ', '9', ' ', 1, 2}));
  EXPECT_TRUE(IsPxmStream(*s));
  EXPECT_EQ(s->Position(), 0);
  // P5 maxval 255 keeps bytes, 100 scales; P6 maxval 100 keeps bytes.
  auto p5 = ReadPnm(std::string("P5 2 1 100\n") + char(50) + char(100));
  EXPECT_EQ(p5->Bitmap->GetPixel24(0, 0).r, 127);
  EXPECT_EQ(p5->Bitmap->GetPixel24(1, 0).r, 255);
  auto p6 = ReadPnm(std::string("P6 1 1 100\n") + char(50) + char(60) + char(70));
  EXPECT_EQ(p6->Bitmap->GetPixel24(0, 0), (TQxRGB{70, 60, 50}));
  // P1 digits without separators; P4 of width 10 reads two bytes a row.
  auto p1 = ReadPnm("P1 4 1 0110");
  EXPECT_EQ(RgbOf(*p1->Bitmap), (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 0, 0, 0, 255, 255, 255}));
  auto p4 = ReadPnm(std::string("P4 10 1\n") + char(0x80) + char(0x40));
  EXPECT_EQ(p4->Bitmap->Scanline(0)[0], 0x7F);
  EXPECT_EQ(p4->Bitmap->Scanline(0)[1] & 0xC0, 0x80);
  // 16-bit P6: native keeps the words, otherwise the high bytes.
  std::string w16 = std::string("P6 1 1 65535\n") + char(0x12) + char(0x34) + char(0x56) + char(0x78) + char(0x9A) + char(0xBC);
  auto n16 = ReadPnm(w16, true);
  EXPECT_EQ(n16->Bitmap->PixelFormat(), TQxPixelFormat::qxRGB48);
  EXPECT_EQ(n16->Bitmap->GetPixel48(0, 0), (TQxRGB48{0x1234, 0x5678, 0x9ABC}));
  auto h16 = ReadPnm(w16);
  EXPECT_EQ(h16->Bitmap->GetPixel24(0, 0), (TQxRGB{0x9A, 0x56, 0x12}));
}

TEST(Pnm, BadFilesAbort) {
  // A "P7" is no PNM; maxval 0 and truncated rasters are refused rather than divided by or read as success.
  for (const char* text : {"P7 2 2 255\n....", "P2 2 1 0\n0 0", "P5 2 2 0\nabcd", "P5 4 4 255\nabc", "P6 2 2 255\n..",
                           "P3 2 1 255\n1 2 3", "P4 16 2\n\x01", "P1 3 3 0 1", "P5 0 3 255\n", "P5 99999999999 1 255\n",
                           "P6 2 2 70000\n"}) {
    auto r = ReadPnm(text);
    EXPECT_TRUE(r->Aborted) << text;
  }
  auto s = StreamOf({'P', '7', ' ', '2', ' ', '2'});
  EXPECT_FALSE(IsPxmStream(*s));
}

TEST(Pnm, WriterVariantsRoundTrip) {
  auto src = MakeRGB(11, 5);
  struct Case {
    int bps, spp;
    const char* magic;
  } cases[] = {{8, 3, "P6 "}, {8, 1, "P5 "}, {16, 3, "P6 "}, {1, 1, "P4 "}};
  for (const Case& c : cases) {
    TIOParamsVals p;
    p.BitsPerSample = c.bps;
    p.SamplesPerPixel = c.spp;
    p.PxmComments = {"made here", "twice"};
    std::string text = WritePnm(*src, p);
    EXPECT_EQ(text.substr(0, 3), c.magic);
    EXPECT_NE(text.find("\n# made here\n"), std::string::npos);
    auto r = ReadPnm(text);
    ASSERT_FALSE(r->Aborted) << c.magic;
    EXPECT_EQ(r->Params->PxmComments, (TQxTextList{"made here", "twice"}));
    if (c.spp == 3) {
      EXPECT_EQ(RgbOf(*r->Bitmap), RgbOf(*src)) << c.bps;
    }
  }
  // qx1g always writes P4, qxRGB48 its own words, 16-bit samples from 8 bits are v * 257.
  TQxBitmap bw(3, 2, TQxPixelFormat::qx1g);
  TIOParamsVals p;
  EXPECT_EQ(WritePnm(bw, p).substr(0, 3), "P4 ");
  TQxBitmap one(1, 1, TQxPixelFormat::qx24RGB);
  one.SetPixel24(0, 0, TQxRGB{3, 2, 1});
  TIOParamsVals p16;
  p16.BitsPerSample = 16;
  std::string t = WritePnm(one, p16);
  EXPECT_EQ(t, std::string("P6 1 1 65535\n") + char(1) + char(1) + char(2) + char(2) + char(3) + char(3));
  // P4 asked for a 24-bit picture converts instead of reading bytes that are not bits.
  TIOParamsVals pb;
  pb.BitsPerSample = 1;
  pb.SamplesPerPixel = 1;
  auto r = ReadPnm(WritePnm(*src, pb));
  EXPECT_FALSE(r->Aborted);
  EXPECT_EQ(r->Bitmap->PixelFormat(), TQxPixelFormat::qx1g);
}

TEST(Pnm, NetpbmFilesReadLikeNetpbmSeesThem) {
  if (!HaveTool("pngtopnm") || !HaveTool("pnmtoplainpnm") || !HaveTool("pamtopnm")) GTEST_SKIP() << "netpbm missing";
  std::string d = TempDir();
  auto src = MakeRGB(13, 6);
  TIOParamsVals p;
  const std::string ppm = WritePnm(*src, p);
  WriteText(d + "/src.ppm", ppm);
  ASSERT_EQ(Shell("cd '" + d + "' && ppmtopgm src.ppm > g.pgm && pgmtopbm -threshold g.pgm > b.pbm && "
                  "pnmtoplainpnm src.ppm > p3.ppm && pnmtoplainpnm g.pgm > p2.pgm && pnmtoplainpnm b.pbm > p1.pbm && "
                  "pnmdepth 65535 src.ppm > w.ppm && pnmdepth 1000 g.pgm > w.pgm"),
            0);
  // Each file against netpbm's own 8-bit binary form of it.
  const char* pairs[][2] = {{"g.pgm", "g.pgm"}, {"b.pbm", "b.pbm"}, {"p3.ppm", "src.ppm"},
                            {"p2.pgm", "g.pgm"}, {"p1.pbm", "b.pbm"}, {"w.ppm", "src.ppm"}};
  for (auto& pr : pairs) {
    auto a = ReadFile(d + "/" + pr[0]);
    auto b = ReadFile(d + "/" + pr[1]);
    auto ra = ReadPnm(std::string(a.begin(), a.end()));
    auto rb = ReadPnm(std::string(b.begin(), b.end()));
    ASSERT_FALSE(ra->Aborted) << pr[0];
    EXPECT_EQ(RgbOf(*ra->Bitmap), RgbOf(*rb->Bitmap)) << pr[0];
  }
  EXPECT_EQ(RgbOf(*ReadPnm([&] { auto v = ReadFile(d + "/src.ppm"); return std::string(v.begin(), v.end()); }())->Bitmap),
            RgbOf(*src));
  auto w = ReadFile(d + "/w.pgm");
  auto r16 = ReadPnm(std::string(w.begin(), w.end()), true);
  ASSERT_FALSE(r16->Aborted);
  EXPECT_EQ(r16->Bitmap->PixelFormat(), TQxPixelFormat::qx16g);
  EXPECT_EQ(r16->Params->BitsPerSample, 16);
}

TEST(Wbmp, RoundTripCutAndErrors) {
  TQxBitmap bw(200, 3, TQxPixelFormat::qx1g);
  for (int32_t x = 0; x < 200; x += 3) bw.Scanline(1)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  TMemoryStream s;
  TestProgress pr;
  std::vector<int32_t> reports;
  pr.Info.OnProgress = [&](TObject*, int32_t p) { reports.push_back(p); };
  WriteWbmpStream(s, bw, pr.Info);
  auto bytes = BytesOf(s);
  EXPECT_EQ(bytes[2], 0x81);  // width 200 as 0x81 0x48
  EXPECT_EQ(bytes[3], 0x48);
  EXPECT_EQ(reports, (std::vector<int32_t>{0, 33, 66}));
  auto in = StreamOf(bytes);
  TQxBitmap back;
  TIOParamsVals p;
  TestProgress rp;
  ReadWbmpStream(*in, back, p, false, rp.Info);
  ASSERT_FALSE(rp.Aborting);
  EXPECT_EQ(back.Width(), 200);
  EXPECT_EQ(RgbOf(back), RgbOf(bw));
  // 300 x 100 keeps the top-left 255 x 85.
  TQxBitmap big(300, 100, TQxPixelFormat::qx1g);
  TMemoryStream s2;
  WriteWbmpStream(s2, big, pr.Info);
  auto in2 = StreamOf(BytesOf(s2));
  TQxBitmap b2;
  ReadWbmpStream(*in2, b2, p, false, rp.Info);
  EXPECT_EQ(b2.Width(), 255);
  EXPECT_EQ(b2.Height(), 85);
  EXPECT_EQ(big.Width(), 300);  // the caller's picture is not cut
  // A 24-bit picture is converted; truncated data and bad headers set Aborting.
  auto rgb = MakeRGB(9, 4);
  TMemoryStream s3;
  WriteWbmpStream(s3, *rgb, pr.Info);
  EXPECT_EQ(s3.Size(), 4 + 2 * 4);
  for (std::vector<uint8_t> bad : {std::vector<uint8_t>{0, 0, 8, 4, 1, 2}, std::vector<uint8_t>{1, 0, 1, 1, 0},
                                   std::vector<uint8_t>{0, 0, 0, 1}, std::vector<uint8_t>{0, 0, 0x81}}) {
    auto b = StreamOf(bad);
    TQxBitmap t;
    TestProgress bp;
    ReadWbmpStream(*b, t, p, false, bp.Info);
    EXPECT_TRUE(bp.Aborting);
  }
}
