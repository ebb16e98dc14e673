// Our files read by libtiff's tools and ImageMagick, and their files read by us, pixel for pixel.
#include <cstring>

#include "imaging/io/quillot_io.h"
#include "tiff_test_util.h"

using namespace qvtiff;

namespace {

std::vector<uint8_t> Ppm(TQxBitmap& B) {
  std::string h = "P6\n" + std::to_string(B.Width()) + " " + std::to_string(B.Height()) + "\n255\n";
  std::vector<uint8_t> v(h.begin(), h.end());
  const std::vector<uint8_t> rgb = RgbOf(B);
  v.insert(v.end(), rgb.begin(), rgb.end());
  return v;
}

std::vector<uint8_t> Rgba(TQxBitmap& B) {
  std::vector<uint8_t> rgb = RgbOf(B), out;
  for (int32_t i = 0; i < B.Width() * B.Height(); ++i) {
    out.insert(out.end(), rgb.begin() + 3 * i, rgb.begin() + 3 * i + 3);
    out.push_back(B.HasAlphaChannel() ? B.GetAlpha(i % B.Width(), i / B.Width()) : 255);
  }
  return out;
}

ReadResult ReadPath(const std::string& Path, bool Native = false) {
  return ReadTiff(ReadFile(Path), {.Native = Native});
}

}  // namespace

TEST(TiffTools, OurFilesReadByLibtiffAndImageMagick) {
  if (!HaveTool("convert") || !HaveTool("tiffinfo")) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
  const std::string d = TempDir();
  struct Case {
    const char* Name;
    int32_t Bits, Samples, Compression;
    bool Alpha;
  };
  const std::vector<Case> cases = {
      {"rgb-none", 8, 3, 0, false},   {"rgb-lzw", 8, 3, 5, false},     {"rgb-packbits", 8, 3, 8, false},
      {"rgb-deflate", 8, 3, 9, false}, {"rgba-none", 8, 3, 0, true},    {"rgba-lzw", 8, 3, 5, true},
      {"rgba-deflate", 8, 3, 9, true}, {"palette", 8, 1, 5, false},    {"palette4", 4, 1, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto b = MakeRGB(45, 31);
    if (c.Alpha) {
      TQxBitmap* a = b->GetAlphaChannel();
      for (int32_t y = 0; y < 31; ++y)
        for (int32_t x = 0; x < 45; ++x) a->Scanline(y)[x] = uint8_t(x * 5 + y);
    }
    if (c.Samples == 1) {
      // A picture of few colours, so that the palette holds it exactly.
      for (int32_t y = 0; y < 31; ++y)
        for (int32_t x = 0; x < 45; ++x) b->SetPixel24(x, y, TQxRGB{uint8_t((x / 12) * 50), uint8_t((y / 8) * 60), 7});
    }
    TIOParamsVals p;
    p.BitsPerSample = c.Bits;
    p.SamplesPerPixel = c.Samples;
    p.TiffCompression = uint8_t(c.Compression);
    const std::string path = d + "/" + c.Name + ".tif";
    bool aborted = true;
    WriteFile(path, WriteTiff(b.get(), p, &aborted));
    ASSERT_FALSE(aborted);
    EXPECT_EQ(Shell("tiffinfo -D '" + path + "' 2>&1 | grep -qi error"), 1 << 8) << "tiffinfo reports an error";
    EXPECT_EQ(Shell("tiffcp '" + path + "' '" + path + ".cp.tif'"), 0);
    if (c.Alpha) EXPECT_EQ(MagickPixels(path, "rgba"), Rgba(*b));
    else EXPECT_EQ(MagickPixels(path, "rgb"), RgbOf(*b));
  }
  // Bilevel pages in every fax coding.
  auto bw = std::make_unique<TQxBitmap>(70, 21, TQxPixelFormat::qx1g);
  for (int32_t y = 0; y < 21; ++y)
    for (int32_t x = 0; x < 70; ++x) {
      uint8_t* r = bw->Scanline(y);
      if ((x * x + y * 3) % 7 < 3) r[x >> 3] = uint8_t(r[x >> 3] | (0x80 >> (x & 7)));
      else r[x >> 3] = uint8_t(r[x >> 3] & ~(0x80 >> (x & 7)));
    }
  for (int32_t comp : {0, 1, 2, 3, 4, 8}) {
    SCOPED_TRACE("bilevel " + std::to_string(comp));
    TIOParamsVals p;
    p.BitsPerSample = 1;
    p.SamplesPerPixel = 1;
    p.TiffCompression = uint8_t(comp);
    const std::string path = d + "/bw" + std::to_string(comp) + ".tif";
    WriteFile(path, WriteTiff(bw.get(), p));
    EXPECT_EQ(Shell("tiffcp '" + path + "' '" + path + ".cp.tif'"), 0);
    EXPECT_EQ(MagickPixels(path, "rgb"), RgbOf(*bw));
  }
}

TEST(TiffTools, ImageMagickFilesReadByUs) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::string d = TempDir();
  auto b = MakeRGB(53, 29);
  WriteFile(d + "/src.ppm", Ppm(*b));
  struct Case {
    const char* Name;
    const char* Options;
  };
  const std::vector<Case> cases = {
      {"none", "-compress none"},
      {"lzw", "-compress lzw"},
      {"zip", "-compress zip"},
      {"packbits", "-compress rle"},
      {"big-endian", "-endian MSB -compress lzw"},
      {"tiled", "-define tiff:tile-geometry=16x16 -compress zip"},
      {"planar", "-interlace plane -compress lzw"},
      {"strips", "-define tiff:rows-per-strip=3 -compress none"},
      {"lsb-fill", "-define tiff:fill-order=lsb -compress none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = d + "/" + c.Name + ".tif";
    ASSERT_EQ(Shell("convert '" + d + "/src.ppm' " + c.Options + " '" + path + "'"), 0);
    ReadResult r = ReadPath(path);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(RgbOf(*r.Bitmap), RgbOf(*b));
  }
  // 16-bit samples, gray, palette, bilevel fax and JPEG pages.
  {
    ASSERT_EQ(Shell("convert '" + d + "/src.ppm' -depth 16 -compress zip '" + d + "/d16.tif'"), 0);
    ReadResult r = ReadPath(d + "/d16.tif");
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(RgbOf(*r.Bitmap), RgbOf(*b));
  }
  {
    ASSERT_EQ(Shell("convert '" + d + "/src.ppm' -colorspace gray -compress lzw '" + d + "/g.tif'"), 0);
    ASSERT_EQ(Shell("convert '" + d + "/g.tif' -depth 8 gray:'" + d + "/g.raw'"), 0);
    ReadResult r = ReadPath(d + "/g.tif", true);
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qx8g);
    std::vector<uint8_t> got;
    for (int32_t y = 0; y < r.Bitmap->Height(); ++y)
      for (int32_t x = 0; x < r.Bitmap->Width(); ++x) got.push_back(r.Bitmap->GetPixel8(x, y));
    EXPECT_EQ(got, ReadFile(d + "/g.raw"));
  }
  {
    ASSERT_EQ(Shell("convert '" + d + "/src.ppm' -colors 16 -type palette -compress lzw '" + d + "/p.tif'"), 0);
    ReadResult r = ReadPath(d + "/p.tif");
    ASSERT_FALSE(r.Aborted);
    // The colour map's 16-bit entries are taken by their high byte, where ImageMagick rounds.
    const std::vector<uint8_t> ours = RgbOf(*r.Bitmap), theirs = MagickPixels(d + "/p.tif", "rgb");
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i) ASSERT_LE(std::abs(int(ours[i]) - int(theirs[i])), 1) << i;
  }
  for (const char* fax : {"Group4", "Fax", "RLE"}) {
    SCOPED_TRACE(fax);
    const std::string path = d + "/f" + fax + ".tif";
    ASSERT_EQ(Shell("convert '" + d + "/src.ppm' -monochrome -compress " + std::string(fax) + " '" + path + "'"), 0);
    ReadResult r = ReadPath(path);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(RgbOf(*r.Bitmap), MagickPixels(path, "rgb"));
  }
  {
    ASSERT_EQ(Shell("convert '" + d + "/src.ppm' -compress jpeg -quality 95 '" + d + "/j.tif'"), 0);
    ReadResult r = ReadPath(d + "/j.tif");
    ASSERT_FALSE(r.Aborted);
    const std::vector<uint8_t> ours = RgbOf(*r.Bitmap), theirs = MagickPixels(d + "/j.tif", "rgb");
    ASSERT_EQ(ours.size(), theirs.size());
    int32_t worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(int32_t(ours[i]) - int32_t(theirs[i])));
    EXPECT_LE(worst, 8);
  }
  // Alpha: an RGBA page with unassociated alpha.
  {
    ASSERT_EQ(Shell("convert '" + d + "/src.ppm' \\( +clone -fx 'i/w' \\) -alpha off -compose copy_opacity "
                    "-composite -compress lzw '" + d + "/a.tif'"),
              0);
    ReadResult r = ReadPath(d + "/a.tif");
    ASSERT_FALSE(r.Aborted);
    ASSERT_TRUE(r.Mask);
    std::vector<uint8_t> rgba = MagickPixels(d + "/a.tif", "rgba"), alpha;
    for (size_t i = 3; i < rgba.size(); i += 4) alpha.push_back(rgba[i]);
    EXPECT_EQ(MaskOf(*r.Mask), alpha);
  }
}

// Layouts of plain sample arithmetic, written by ImageMagick and tiffcp, against ImageMagick's own reading:
// associated alpha comes back divided out, 16-bit and floating-point samples become 8 bits, narrow gray
// levels repeat their bits.
TEST(TiffTools, SampleLayoutsOfOtherWritersDecode) {
  if (!HaveTool("convert") || !HaveTool("tiffcp")) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 37x11 gradient:'#ff2000ff'-'#0030c010' -swirl 60 "
                  "-fill white -draw 'rectangle 0,0 3,10' \\( -size 37x11 xc:white -fill '#00000000' -draw 'rectangle 30,0 36,10' \\) "
                  "-compose multiply -composite rgba.png"),
            0);
  struct Case {
    const char* Name;
    const char* Make;  // run in the directory; writes Name.tif
    bool Alpha;
    int32_t Bits;  // bits per sample the file must have
  };
  const std::vector<Case> cases = {
      {"assoc8", "convert rgba.png -depth 8 -define tiff:alpha=associated assoc8.tif", true, 8},
      {"assoc16", "convert rgba.png -depth 16 -define tiff:alpha=associated -compress zip assoc16.tif", true, 16},
      {"assoc-tiffcp", "convert rgba.png -depth 8 -define tiff:alpha=associated x.tif && "
                       "tiffcp -c lzw:2 x.tif assoc-tiffcp.tif", true, 8},
      {"ga16", "convert rgba.png -colorspace gray -depth 16 ga16.tif", true, 16},
      {"planar16", "convert rgba.png -alpha off -depth 16 -interlace plane -compress lzw planar16.tif", false, 16},
      {"planar-rgba-tiffcp", "convert rgba.png -depth 8 y.tif && tiffcp -p separate y.tif planar-rgba-tiffcp.tif",
       true, 8},
      {"planar-rgba", "convert rgba.png -depth 8 -interlace plane planar-rgba.tif", true, 8},
      {"float", "convert rgba.png -alpha off -define quantum:format=floating-point -depth 32 float.tif", false, 32},
      {"float-gray-msb", "convert rgba.png -alpha off -colorspace gray -endian MSB "
                         "-define quantum:format=floating-point -depth 32 float-gray-msb.tif", false, 32},
      {"gray3", "convert rgba.png -alpha off -colorspace gray -depth 3 gray3.tif", false, 3},
      {"gray5", "convert rgba.png -alpha off -colorspace gray -depth 5 gray5.tif", false, 5},
      {"gray6", "convert rgba.png -alpha off -colorspace gray -depth 6 gray6.tif", false, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_EQ(Shell("cd '" + d + "' && " + c.Make), 0);
    const std::string path = d + "/" + c.Name + ".tif";
    ReadResult r = ReadPath(path);
    ASSERT_FALSE(r.Aborted) << r.Params->ReadError;
    ASSERT_EQ(r.Params->BitsPerSample, c.Bits);
    const std::vector<uint8_t> theirs = MagickPixels(path, "rgba");
    const std::vector<uint8_t> ours = Rgba(*r.Bitmap);
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_EQ(r.Bitmap->HasAlphaChannel() || r.Mask != nullptr, c.Alpha);
    const std::vector<uint8_t> alpha = r.Mask ? MaskOf(*r.Mask) : std::vector<uint8_t>();
    int bad = 0, full = 0;
    for (size_t i = 0; i < ours.size() / 4; ++i) {
      const int a = theirs[4 * i + 3];
      if (c.Alpha) bad += std::abs(int(alpha[i]) - a) > 1;
      // Colours under (nearly) transparent pixels carry no information once divided out.
      if (a < 16) continue;
      // High bytes and bit repetition against ImageMagick's rounding: one level; dividing out alpha
      // magnifies that by 255 / alpha.
      const int tol = 1 + (c.Alpha ? 255 / a : 0);
      for (int k = 0; k < 3; ++k) {
        bad += std::abs(int(ours[4 * i + k]) - int(theirs[4 * i + k])) > tol;
        full += theirs[4 * i + k] == 255 && ours[4 * i + k] == 255;
      }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_GT(full, 0);  // full intensity reaches 255
  }
}

// With the LZW coder registered, PDF compression 5 codes the picture as LZWDecode, which qpdf accepts and
// pdftoppm renders exactly as the same picture stored uncompressed.
TEST(TiffTools, PdfPicturesTakeTheLzwCoder) {
  if (!HaveTool("qpdf") || !HaveTool("pdftoppm")) GTEST_SKIP() << "qpdf or pdftoppm missing";
  RegisterCoders();
  const std::string d = TempDir();
  auto b = MakeRGB(40, 24);
  for (int32_t c : {5, 0}) {
    TQuillotIO io(b.get());
    io.Params->PdfCompression = uint8_t(c);
    io.Params->PdfPaperWidth = 40;
    io.Params->PdfPaperHeight = 24;
    const std::string f = d + "/c" + std::to_string(c) + ".pdf";
    io.SaveToFile(f);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params->PdfCompression, c);
    const std::vector<uint8_t> file = ReadFile(f);
    EXPECT_EQ(std::string(file.begin(), file.end()).find("/LZWDecode") != std::string::npos, c == 5);
    ASSERT_EQ(Shell("qpdf --check '" + f + "'"), 0);
    ASSERT_EQ(Shell("pdftoppm -r 144 -singlefile '" + f + "' '" + d + "/p" + std::to_string(c) + "'"), 0);
  }
  const std::vector<uint8_t> lzw = ReadFile(d + "/p5.ppm"), plain = ReadFile(d + "/p0.ppm");
  ASSERT_GT(plain.size(), 40u * 24 * 3);
  EXPECT_EQ(lzw, plain);
}

// FillOrder 2 reverses the bits of every byte, also of 16-bit samples (libtiff's tiffcp writes them so); a
// BigTIFF file is refused with a reason rather than read as nothing.
TEST(TiffTools, ReversedFillOrderOfWideSamplesAndBigTiff) {
  if (!HaveTool("convert") || !HaveTool("tiffcp")) GTEST_SKIP() << "ImageMagick or libtiff tools missing";
  const std::string d = TempDir();
  auto b = MakeRGB(23, 9);
  WriteFile(d + "/src.ppm", Ppm(*b));
  for (const auto& [space, coder] : {std::pair{"rgb", "none"}, std::pair{"gray", "none"}, std::pair{"rgb", "zip"}}) {
    SCOPED_TRACE(std::string(space) + " " + coder);
    const std::string s = space;
    // Gray levels of 8 bits first, so that every 16-bit sample is a level times 257 and its high byte exact.
    ASSERT_EQ(Shell("cd '" + d + "' && convert src.ppm -colorspace " + (s == "gray" ? "gray" : "sRGB") +
                    " -depth 8 " + s + ".pnm && convert " + s + ".pnm -depth 16 -compress none " + s +
                    ".tif && tiffcp -f lsb2msb -c " + coder + " " + s + ".tif " + s + "2.tif"),
              0);
    ReadResult r = ReadPath(d + "/" + s + "2.tif");
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params->TiffFillOrder, 2);
    EXPECT_EQ(RgbOf(*r.Bitmap), MagickPixels(d + "/" + s + "2.tif", "rgb"));
    EXPECT_EQ(RgbOf(*r.Bitmap), RgbOf(*ReadPath(d + "/" + s + ".tif").Bitmap));
  }
  ASSERT_EQ(Shell("cd '" + d + "' && convert src.ppm TIFF64:big.tif"), 0);
  ReadResult r = ReadPath(d + "/big.tif");
  EXPECT_TRUE(r.Aborted);
  EXPECT_NE(r.Params->ReadError.find("BigTIFF"), std::string::npos) << r.Params->ReadError;
  Shell("rm -rf '" + d + "'");
}
