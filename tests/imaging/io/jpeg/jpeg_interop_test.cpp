// Our JPEGs against djpeg and Pillow, and JPEGs from cjpeg, Pillow and ImageMagick read by ours.
#include "imaging/io/cmyk.h"
#include "jpeg_test_util.h"

#include "imaging/foundation/icc.h"
#include "imaging/foundation/metadata.h"

using namespace jt;

namespace {

std::string Djpeg(const TempDir& dir, const std::string& jpeg, const std::string& extra = "") {
  const std::string out = dir / "djpeg.pnm";
  std::remove(out.c_str());
  Shell("djpeg " + extra + " -outfile '" + out + "' '" + jpeg + "'");
  return out;
}

std::string Pillow(const TempDir& dir, const std::string& jpeg, const std::string& mode = "RGB") {
  const std::string out = dir / "pillow.ppm";
  std::remove(out.c_str());
  Shell("/usr/bin/python3 -c \"from PIL import Image; Image.open('" + jpeg + "').convert('" + mode + "').save('" +
      out + "')\"");
  return out;
}

}  // namespace

TEST(JpegInterop, OurFilesDecodeToTheSamePixelsInDjpegAndPillow) {
  if (!HaveTool("djpeg")) GTEST_SKIP() << "djpeg not installed";
  TempDir dir;
  auto src = ToBitmap(Pattern(61, 45));
  const struct {
    const char* name;
    uint8_t space, subsampling, progressive;
    int quality;
  } cases[] = {
      {"baseline 4:2:0", 2, 1, 0, 85}, {"4:2:2", 2, 0, 0, 90},   {"4:4:4", 2, 2, 0, 100},
      {"progressive", 2, 1, 1, 75},    {"gray", 1, 1, 0, 90},    {"rgb stored", 0, 1, 0, 95},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir / "ours.jpg";
    ASSERT_TRUE(Encode(file, src.get(), [&](TIOParamsVals& p) {
      p.JpegColorSpace = c.space;
      p.JpegSubsampling = c.subsampling;
      p.JpegProgressive = c.progressive;
      p.JpegQuality = c.quality;
    }));
    auto d = Decode(file, [](TIOParamsVals&) {}, /*NativeFormat=*/true);
    ASSERT_FALSE(d->Aborting);
    EXPECT_EQ(d->Params->JpegProgressive, c.progressive);
    EXPECT_EQ(d->Params->JpegColorSpace, c.space);
    const Image ours = FromBitmap(*d->Bitmap);
    EXPECT_EQ(ours.channels, c.space == 1 ? 1 : 3);
    EXPECT_EQ(MaxDiff(ours, ReadPnm(Djpeg(dir, file))), 0);
    if (HavePillow()) {
      EXPECT_EQ(MaxDiff(ours, ReadPnm(Pillow(dir, file, c.space == 1 ? "L" : "RGB"))), 0);
    }
    if (c.space != 1) {
      EXPECT_LT(MeanDiff(ours, Pattern(61, 45)), 6.0);
    }
  }
}

TEST(JpegInterop, ForeignFilesReadLikeDjpegAtEveryScale) {
  if (!HaveTool("djpeg") || !HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg/djpeg not installed";
  TempDir dir;
  const std::string ppm = dir / "src.ppm";
  WritePpm(ppm, Pattern(83, 67));
  struct Maker {
    const char* name;
    std::string cmd;
    bool available;
  };
  const std::string out = dir / "in.jpg";
  const Maker makers[] = {
      {"cjpeg baseline", "cjpeg -quality 80 -outfile '" + out + "' '" + ppm + "'", true},
      {"cjpeg progressive", "cjpeg -progressive -outfile '" + out + "' '" + ppm + "'", true},
      {"cjpeg gray", "cjpeg -grayscale -outfile '" + out + "' '" + ppm + "'", true},
      {"cjpeg restart markers", "cjpeg -restart 1 -outfile '" + out + "' '" + ppm + "'", true},
      {"cjpeg rgb stored", "cjpeg -rgb -outfile '" + out + "' '" + ppm + "'", true},
      {"cjpeg 4:4:4 optimised", "cjpeg -sample 1x1 -optimize -outfile '" + out + "' '" + ppm + "'", true},
      {"Pillow", "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + ppm + "').save('" + out +
                     "', quality=70)\"",
       HavePillow()},
      {"ImageMagick progressive", "convert '" + ppm + "' -interlace Plane '" + out + "'", HaveTool("convert")},
  };
  for (const auto& m : makers) {
    if (!m.available) continue;
    SCOPED_TRACE(m.name);
    std::remove(out.c_str());
    ASSERT_EQ(Shell(m.cmd), 0);
    const bool gray = std::string(m.name).find("gray") != std::string::npos;
    for (int scale = 1; scale <= 4; ++scale) {
      const int denom = 1 << (scale - 1);
      SCOPED_TRACE(denom);
      auto d = Decode(out, [&](TIOParamsVals& p) { p.JpegScale = uint8_t(scale); });
      ASSERT_FALSE(d->Aborting);
      EXPECT_EQ(d->Params->JpegScaleUsed, denom);
      EXPECT_EQ(d->Params->OriginalWidth, 83);
      Image expected = ReadPnm(Djpeg(dir, out, "-scale 1/" + std::to_string(denom)));
      if (gray) {  // ours is 24-bit without NativeFormat: compare one channel
        Image g = FromBitmap(*d->Bitmap);
        Image one{g.w, g.h, 1, {}};
        for (size_t i = 0; i < g.px.size(); i += 3) one.px.push_back(g.px[i]);
        EXPECT_EQ(MaxDiff(one, expected), 0);
      } else {
        EXPECT_EQ(MaxDiff(FromBitmap(*d->Bitmap), expected), 0);
      }
    }
  }
}

TEST(JpegInterop, CmykAndYcckFilesWithTheAdobeMarker) {
  // ImageMagick's CMYK is the plain arithmetic one: compared on that road, not through the printer profile.
  struct Arithmetic {
    Arithmetic() { QxUseCMYKProfile = false; }
    ~Arithmetic() { QxUseCMYKProfile = true; }
  } arithmetic;
  TempDir dir;
  const Image pattern = Pattern(48, 40);
  // ImageMagick's CMYK file.
  if (HaveTool("convert")) {
    const std::string ppm = dir / "src.ppm", out = dir / "cmyk.jpg";
    WritePpm(ppm, pattern);
    ASSERT_EQ(Shell("convert '" + ppm + "' -colorspace CMYK -quality 95 '" + out + "'"), 0);
    auto d = Decode(out);
    ASSERT_FALSE(d->Aborting);
    const uint8_t space = d->Params->JpegColorSpace;  // CMYK, or YCCK by the library's default
    EXPECT_TRUE(space == 3 || space == 4) << int(space);
    EXPECT_EQ(d->Params->SamplesPerPixel, 4);
    EXPECT_LT(MeanDiff(FromBitmap(*d->Bitmap), pattern), 6.0);
    auto n = Decode(out, [](TIOParamsVals&) {}, true);
    EXPECT_EQ(n->Bitmap->PixelFormat(), space == 3 ? TQxPixelFormat::qxCMYK : TQxPixelFormat::qx24RGB);
  }
  // Our CMYK and YCCK files: read back by ours, and by Pillow as the same inks.
  for (uint8_t space : {uint8_t(3), uint8_t(4)}) {
    SCOPED_TRACE(int(space));
    const std::string out = dir / "ours.jpg";
    auto src = ToBitmap(pattern);
    ASSERT_TRUE(Encode(out, src.get(), [&](TIOParamsVals& p) {
      p.JpegColorSpace = space;
      p.JpegQuality = 95;
    }));
    auto codes = SegmentCodes(ReadFile(out));
    EXPECT_NE(std::find(codes.begin(), codes.end(), 0xEE), codes.end());
    auto d = Decode(out);
    EXPECT_EQ(d->Params->JpegColorSpace, space);
    EXPECT_LT(MeanDiff(FromBitmap(*d->Bitmap), pattern), 6.0);
    auto n = Decode(out, [](TIOParamsVals&) {}, true);
    if (space == 3 && HavePillow()) {
      ASSERT_EQ(n->Bitmap->PixelFormat(), TQxPixelFormat::qxCMYK);
      const std::string raw = dir / "inks.raw";
      Shell("/usr/bin/python3 -c \"from PIL import Image; open('" + raw + "','wb').write(Image.open('" + out +
          "').tobytes())\"");
      auto inks = ReadFile(raw);
      ASSERT_EQ(inks.size(), size_t(48) * 40 * 4);
      int worst = 0;
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48 * 4; ++x)
          worst = std::max(worst, std::abs((255 - n->Bitmap->Scanline(y)[x]) - inks[size_t(y) * 48 * 4 + x]));
      EXPECT_EQ(worst, 0);
    }
  }
}

TEST(JpegInterop, MetadataSurvivesLoadAndSave) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow not installed";
  TempDir dir;
  const std::string ppm = dir / "src.ppm", made = dir / "made.jpg";
  WritePpm(ppm, Pattern(40, 30));
  // Pillow writes the EXIF block and an sRGB profile.
  ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image, ImageCms; im = Image.open('" + ppm +
                "'); e = Image.Exif(); e[0x010F] = 'QuorvelTest'; e[0x0112] = 1; "
                "p = ImageCms.ImageCmsProfile(ImageCms.createProfile('sRGB')).tobytes(); "
                "im.save('" + made + "', exif=e.tobytes(), icc_profile=p)\""),
            0);
  // IPTC and XMP blocks spliced in, as other programs write them.
  TQxIPTCInfoList iptc;
  iptc.AddRecord(2, 120, 7, "caption");
  iptc.AddRecord(2, 25, 4, "tree");
  std::vector<uint8_t> iptcBlock;
  iptc.SaveToBuffer(iptcBlock, true);
  const std::string packet = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF/></x:xmpmeta>";
  std::vector<uint8_t> xmp(QxXmpNamespace, QxXmpNamespace + 29);
  xmp.insert(xmp.end(), packet.begin(), packet.end());
  auto bytes = ReadFile(made);
  InsertSegment(bytes, 0xED, iptcBlock);
  InsertSegment(bytes, 0xE1, xmp);
  WriteFile(made, bytes);

  auto d = Decode(made);
  ASSERT_FALSE(d->Aborting);
  ASSERT_EQ(d->Params->IPTC->Count(), 2);
  EXPECT_EQ(d->Params->XmpPacket, packet);
  ASSERT_TRUE(d->Params->InputICC);
  EXPECT_TRUE(d->Params->InputICC->IsValid());
  const int32_t iccLength = d->Params->InputICC->RawLength();
  EXPECT_GT(iccLength, 0);
  EXPECT_TRUE(d->Params->ExifHasData);

  const std::string saved = dir / "saved.jpg";
  ASSERT_TRUE(Encode(saved, d->Bitmap.get(), [](TIOParamsVals&) {}, d->Params.get()));
  auto r = Decode(saved);
  ASSERT_FALSE(r->Aborting);
  ASSERT_EQ(r->Params->IPTC->Count(), 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r->Params->IPTC->Data(0)), 7), "caption");
  EXPECT_EQ(r->Params->XmpPacket, packet);
  ASSERT_TRUE(r->Params->InputICC);
  EXPECT_EQ(r->Params->InputICC->RawLength(), iccLength);
  // Pillow finds the same profile and EXIF fields in our file.
  const std::string check = dir / "check.txt";
  Shell("/usr/bin/python3 -c \"from PIL import Image; im = Image.open('" + saved + "'); open('" + check +
      "','w').write('%d %s' % (len(im.info.get('icc_profile', b'')), im.getexif().get(0x010F)))\"");
  auto text = ReadFile(check);
  EXPECT_EQ(std::string(text.begin(), text.end()), std::to_string(iccLength) + " QuorvelTest");
}

TEST(JpegInterop, JpegtranOrientationsComeOutUpright) {
  if (!HaveTool("jpegtran") || !HaveTool("cjpeg")) GTEST_SKIP() << "jpegtran/cjpeg not installed";
  TempDir dir;
  const std::string ppm = dir / "src.ppm", upright = dir / "upright.jpg";
  WritePpm(ppm, Pattern(64, 48));  // whole blocks, so every transform is exact
  ASSERT_EQ(Shell("cjpeg -quality 95 -sample 1x1 -outfile '" + upright + "' '" + ppm + "'"), 0);
  auto u = Decode(upright);
  const Image want = FromBitmap(*u->Bitmap);
  const char* transforms[] = {"", "-flip horizontal", "-rotate 180", "-flip vertical",
                              "-transpose", "-rotate 270", "-transverse", "-rotate 90"};
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    const std::string stored = dir / "stored.jpg";
    ASSERT_EQ(Shell("jpegtran -perfect " + std::string(transforms[o - 1]) + " -outfile '" + stored + "' '" +
                  upright + "'"),
              0);
    auto bytes = ReadFile(stored);
    InsertSegment(bytes, 0xE1, ExifBody(o));
    WriteFile(stored, bytes);
    auto d = Decode(stored, [](TIOParamsVals& p) { p.JpegAutoOrient = 1; });
    ASSERT_FALSE(d->Aborting);
    EXPECT_EQ(d->Params->ExifOrientation, 1);
    EXPECT_EQ(d->Params->Width, 64);
    EXPECT_EQ(d->Params->Height, 48);
    EXPECT_LE(MaxDiff(FromBitmap(*d->Bitmap), want), 2);

    // Saved again, the picture and its EXIF block agree: a reader turns nothing.
    const std::string again = dir / "again.jpg";
    ASSERT_TRUE(Encode(again, d->Bitmap.get(), [](TIOParamsVals& p) { p.JpegQuality = 95; }, d->Params.get()));
    auto r = Decode(again, [](TIOParamsVals& p) { p.JpegAutoOrient = 1; });
    EXPECT_EQ(r->Params->Width, 64);
    EXPECT_LT(MeanDiff(FromBitmap(*r->Bitmap), want), 6.0);
  }
}

namespace {

// Where the body of the first segment with Code starts (after its length), or 0.
size_t SegmentBody(const std::vector<uint8_t>& j, uint8_t Code) {
  size_t p = 2;
  while (p + 4 <= j.size() && j[p] == 0xFF && j[p + 1] != 0xDA) {
    if (j[p + 1] == Code) return p + 4;
    p += 2 + (size_t(j[p + 2]) << 8 | j[p + 3]);
  }
  return 0;
}

struct RawDecode {
  TQxBitmap Bitmap;
  TIOParamsVals Params;
  std::atomic<bool> Aborting{false};
};

std::unique_ptr<RawDecode> DecodeBytesAs(const std::vector<uint8_t>& Bytes, bool KeepYCbCr, bool AutoOrient = false,
                                         int64_t MaxPixels = QxDefaultMaxPixels) {
  auto d = std::make_unique<RawDecode>();
  d->Params.JpegAutoOrient = AutoOrient;
  d->Params.MaxPixels = MaxPixels;
  TMemoryStream s;
  s.Write(Bytes.data(), int64_t(Bytes.size()));
  s.SetPosition(0);
  TQxProgressInfo progress;
  progress.AbortFlag = &d->Aborting;
  ReadJpegStream(&s, nullptr, &d->Bitmap, d->Params, progress, false, KeepYCbCr, true, false, true, true, -1, false);
  return d;
}

}  // namespace

TEST(JpegInterop, ImpossibleSizesAndAbortedLoadsFromAPillowFile) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow not available";
  TempDir dir;
  const std::string f = dir / "oriented.jpg";
  // Orientation 6 and an EXIF resolution past the integer range, behind a JFIF aspect ratio.
  ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; im = Image.effect_noise((40, 24), 60).convert('RGB'); "
                  "ex = Image.Exif(); ex[0x112] = 6; ex[282] = 4294967295.0; ex[283] = 4294967295.0; ex[296] = 2; "
                  "im.save('" + f + "', exif=ex, quality=90)\""),
            0);
  const auto valid = ReadFile(f);
  const size_t sof = SegmentBody(valid, 0xC0);
  ASSERT_GT(sof, 0u);

  auto whole = DecodeBytesAs(valid, false, true);
  ASSERT_FALSE(whole->Aborting);
  EXPECT_EQ(whole->Bitmap.Width(), 24);  // turned upright
  EXPECT_EQ(whole->Params.DpiX, INT32_MAX);

  // Cut inside the entropy data: the load aborts and the part-filled picture is not turned.
  auto cut = DecodeBytesAs(std::vector<uint8_t>(valid.begin(), valid.end() - 300), false, true);
  EXPECT_TRUE(cut->Aborting);
  EXPECT_EQ(cut->Bitmap.Width(), 40);

  // 29813 x 27251 declared by a few hundred bytes: refused before the picture is allocated.
  auto huge = valid;
  huge[sof + 1] = 27251 >> 8, huge[sof + 2] = 27251 & 0xFF;
  huge[sof + 3] = 29813 >> 8, huge[sof + 4] = 29813 & 0xFF;
  auto h = DecodeBytesAs(huge, false, true);
  EXPECT_TRUE(h->Aborting);
  EXPECT_TRUE(h->Bitmap.IsEmpty());

  // The caller's pixel limit holds for a well-formed file too.
  EXPECT_TRUE(DecodeBytesAs(valid, false, false, 40 * 24 - 1)->Aborting);
  EXPECT_FALSE(DecodeBytesAs(valid, false, false, 40 * 24)->Aborting);
}

TEST(JpegInterop, RawComponentReadOfAYcckStreamConvertsItsInks) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow not available";
  TempDir dir;
  const std::string f = dir / "cmyk.jpg";
  ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; im = Image.new('CMYK', (37, 19), (20, 90, 160, 30)); "
                  "im.save('" + f + "', quality=95)\""),
            0);
  auto ycck = ReadFile(f);
  const size_t adobe = SegmentBody(ycck, 0xEE);
  ASSERT_GT(adobe, 0u);
  ASSERT_EQ(std::string(ycck.begin() + long(adobe), ycck.begin() + long(adobe) + 5), "Adobe");
  ycck[adobe + 11] = 2;  // the transform flag: the four components are YCCK
  auto converted = DecodeBytesAs(ycck, false);
  auto raw = DecodeBytesAs(ycck, true);
  ASSERT_FALSE(converted->Aborting);
  ASSERT_FALSE(raw->Aborting);
  ASSERT_EQ(raw->Bitmap.PixelFormat(), TQxPixelFormat::qx24RGB);
  EXPECT_EQ(MaxDiff(FromBitmap(raw->Bitmap), FromBitmap(converted->Bitmap)), 0);
}

// Stray bytes before a marker are a recoverable corruption: libjpeg warns and still decodes every row, and so
// does the load, row for row as djpeg. Data that really stops early still fails.
TEST(JpegInterop, ExtraneousBytesBeforeAMarkerStillLoadLikeDjpeg) {
  if (!HaveTool("djpeg") || !HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg/djpeg not installed";
  TempDir dir;
  struct Case {
    const char* name;
    int w, h;
    const char* options;
    uint8_t marker;  // the stray bytes go before the first of these after the scan header
    size_t bytes;
  };
  const Case cases[] = {
      {"3 bytes before the end", 83, 67, "", 0xD9, 3},
      {"80 bytes before the end", 64, 64, "", 0xD9, 80},
      {"4:4:4, 80 bytes before the end", 83, 67, "-sample 1x1", 0xD9, 80},
      {"gray, 80 bytes before the end", 83, 67, "-grayscale", 0xD9, 80},
      {"7 bytes before a restart marker", 83, 67, "-restart 1", 0xD0, 7},
      {"7 bytes before a restart marker, whole rows of blocks", 64, 64, "-restart 1", 0xD0, 7},
      {"7 bytes before the end of a restart file", 83, 67, "-restart 1", 0xD9, 7},
  };
  const std::string ppm = dir / "src.ppm", out = dir / "in.jpg";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WritePpm(ppm, Pattern(c.w, c.h));
    ASSERT_EQ(Shell("cjpeg " + std::string(c.options) + " -outfile '" + out + "' '" + ppm + "'"), 0);
    std::vector<uint8_t> j = ReadFile(out);
    size_t at = 0;
    for (size_t i = 2; i + 1 < j.size() && !at; ++i)
      if (j[i] == 0xFF && j[i + 1] == 0xDA) at = i;
    ASSERT_NE(at, 0u);
    size_t m = at + 2;
    while (m + 1 < j.size() && !(j[m] == 0xFF && j[m + 1] == c.marker)) ++m;
    ASSERT_LT(m + 1, j.size());
    std::vector<uint8_t> stray(c.bytes);
    for (size_t i = 0; i < stray.size(); ++i) stray[i] = uint8_t(0x11 + i % 0x60);
    j.insert(j.begin() + long(m), stray.begin(), stray.end());
    WriteFile(out, j);
    auto d = Decode(out);
    EXPECT_FALSE(d->Aborting);
    EXPECT_EQ(d->Rows, c.h);
    const Image expected = ReadPnm(Djpeg(dir, out));
    ASSERT_EQ(expected.h, c.h);
    Image got = FromBitmap(*d->Bitmap);
    if (expected.channels == 1) {
      Image one{got.w, got.h, 1, {}};
      for (size_t i = 0; i < got.px.size(); i += 3) one.px.push_back(got.px[i]);
      got = one;
    }
    EXPECT_EQ(MaxDiff(got, expected), 0);
    // Cut inside the scan instead: rows are missing and the load says so.
    j.resize(at + (j.size() - at) / 2);
    WriteFile(out, j);
    EXPECT_TRUE(Decode(out)->Aborting);
  }
}
