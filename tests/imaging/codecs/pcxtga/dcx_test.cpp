#include <gtest/gtest.h>

#include "imaging/io/file_formats.h"
#include "pcxtga_util.h"

using namespace qvio;
using namespace pcxtga;

namespace {

// Inserts Source at Index; reports whether the abort flag was set.
bool Insert(TMemoryStream& S, TQxBitmap& Source, int32_t Index) {
  TIOParamsVals p;
  p.DcxImageIndex = Index;
  TestProgress pr;
  InsertDcxPage(&S, &Source, p, pr.Info);
  return pr.Aborting;
}

std::vector<uint8_t> Page(TMemoryStream& S, int32_t Index, int32_t* Stored = nullptr) {
  TQxBitmap b;
  TIOParamsVals p;
  p.DcxImageIndex = Index;
  TestProgress pr;
  S.SetPosition(0);
  ReadDcxStream(&S, &b, p, pr.Info, false);
  if (Stored) *Stored = p.DcxImageIndex;
  if (pr.Aborting) return {};
  return RgbOf(b);
}

}  // namespace

TEST(Dcx, InsertAppendAndReadPages) {
  auto a = MakeRGB(9, 4), b = MakeColors(5, 6, 7), c = MakeRGB(3, 3);
  TMemoryStream s;
  ASSERT_FALSE(Insert(s, *a, 0));  // an empty stream becomes a DCX
  const auto one = BytesOf(s);
  EXPECT_EQ(Get32(one, 0), DcxMagic);
  EXPECT_EQ(Get32(one, 4), 12u);  // magic, the page's entry, the ending zero
  EXPECT_EQ(Get32(one, 8), 0u);
  EXPECT_EQ(one[12], 10);

  ASSERT_FALSE(Insert(s, *b, 1));  // equal to the page count: appended
  ASSERT_FALSE(Insert(s, *c, 0));  // in front
  s.SetPosition(0);
  EXPECT_TRUE(IsDcxStream(&s));
  EXPECT_EQ(DcxPageCount(&s), 3);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(Page(s, 0), RgbOf(*c));
  EXPECT_EQ(Page(s, 1), RgbOf(*a));
  EXPECT_EQ(Page(s, 2), RgbOf(*b));
  // An index beyond the pages reads the nearest page and says so.
  int32_t stored = -1;
  EXPECT_EQ(Page(s, 7, &stored), RgbOf(*b));
  EXPECT_EQ(stored, 2);
  EXPECT_EQ(Page(s, -3, &stored), RgbOf(*c));
  EXPECT_EQ(stored, 0);
}

TEST(Dcx, InsertOutsideThePagesChangesNothing) {
  auto a = MakeRGB(4, 4);
  TMemoryStream s;
  ASSERT_FALSE(Insert(s, *a, 0));
  const auto before = BytesOf(s);
  EXPECT_TRUE(Insert(s, *a, 2));
  EXPECT_TRUE(Insert(s, *a, -1));
  EXPECT_EQ(BytesOf(s), before);
  // A stream that holds something else is not overwritten.
  auto other = StreamOf({1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_TRUE(Insert(*other, *a, 0));
  EXPECT_EQ(BytesOf(*other), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  // Two entries naming the same page are refused rather than copied twice.
  auto twice = before;
  twice.insert(twice.begin() + 8, twice.begin() + 4, twice.begin() + 8);
  for (int i = 4; i < 12; i += 4) twice[size_t(i)] = uint8_t(twice[size_t(i)] + 4);
  auto dup = StreamOf(twice);
  ASSERT_TRUE(IsDcxStream(dup.get()));
  EXPECT_EQ(DcxPageCount(dup.get()), 2);
  EXPECT_TRUE(Insert(*dup, *a, 0));
  EXPECT_EQ(BytesOf(*dup), twice);
  // An empty stream has one place for the page, whatever the index (the save road empties the file first).
  TMemoryStream e;
  EXPECT_FALSE(Insert(e, *a, 3));
  e.SetPosition(0);
  EXPECT_EQ(DcxPageCount(&e), 1);
}

TEST(Dcx, ProbeAndBadTables) {
  std::vector<uint8_t> v(40, 0);
  v[0] = 0xB1, v[1] = 0x68, v[2] = 0xDE, v[3] = 0x3A;
  v[4] = 12;  // one page at 12
  auto ok = StreamOf(v);
  EXPECT_TRUE(IsDcxStream(ok.get()));
  for (uint8_t at : {40, 41}) {  // at and beyond the end
    auto w = v;
    w[4] = at;
    auto s = StreamOf(w);
    EXPECT_FALSE(IsDcxStream(s.get())) << int(at);
  }
  auto magic = v;
  magic[0] = 0;
  auto m = StreamOf(magic);
  EXPECT_FALSE(IsDcxStream(m.get()));
  EXPECT_EQ(DcxPageCount(m.get()), 1);  // the count does not look at the magic

  // A table without pages, and a page that is no PCX, are refused when read.
  auto empty = v;
  empty[4] = 0;
  auto e = StreamOf(empty);
  EXPECT_TRUE(Page(*e, 0).empty());
  EXPECT_TRUE(Page(*ok, 0).empty());

  // Page sizes run to the nearest greater position, the last one to the end.
  EXPECT_EQ(DcxPageSizes({100, 20, 60}, 150), (std::vector<int64_t>{50, 40, 40}));
}

TEST(Dcx, ComponentSavesAndLoadsAndImageMagickReadsIt) {
  Register();
  const std::string d = TempDir();
  auto src = MakeRGB(11, 6);
  TQuillotIO io(src.get());
  io.SaveToFile(d + "/a.dcx");
  ASSERT_FALSE(io.Aborting);
  TQuillotIO rd;
  rd.LoadFromFile(d + "/a.dcx");
  ASSERT_FALSE(rd.Aborting);
  EXPECT_EQ(RgbOf(*rd.WorkBitmap()), RgbOf(*src));
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  EXPECT_EQ(MagickPixels(d + "/a.dcx", "RGB"), RgbOf(*src));
}

TEST(Dcx, ContentDetectionFindsOurFiles) {
  Register();
  auto src = MakeRGB(6, 5);
  TMemoryStream dcx;
  ASSERT_FALSE(Insert(dcx, *src, 0));
  dcx.SetPosition(0);
  EXPECT_EQ(QxFindStreamFormat(dcx), qxffDCX);
  for (uint8_t compressed : {0, 1}) {
    TMemoryStream tga;
    TIOParamsVals p;
    p.TgaCompressed = compressed;
    TestProgress pr;
    WriteTgaStream(&tga, src.get(), p, pr.Info, nullptr);
    tga.SetPosition(0);
    EXPECT_EQ(QxFindStreamFormat(tga), qxffTGA);
  }
  TMemoryStream pcx;
  TIOParamsVals p;
  TestProgress pr;
  WritePcxStream(&pcx, src.get(), p, pr.Info);
  pcx.SetPosition(0);
  EXPECT_EQ(QxFindStreamFormat(pcx), qxffPCX);
}

// A three-page DCX of ImageMagick: whichever page is loaded, the image count is the file's three.
TEST(Dcx, ImageCountOfALoadIsThePageCount) {
  Register();
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 9x7 xc:red xc:lime xc:blue three.dcx"), 0);
  EXPECT_EQ(QxImageCount(d + "/three.dcx"), 3);
  for (int32_t page : {0, 2}) {
    TQxBitmap b;
    TQuillotIO io(&b);
    io.Params->DcxImageIndex = page;
    io.LoadFromFile(d + "/three.dcx");
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params->ImageCount, 3) << page;
  }
}
