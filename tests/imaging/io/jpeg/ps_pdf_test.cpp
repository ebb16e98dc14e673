#include "jpeg_test_util.h"

#include <regex>

#include "imaging/io/ps_pdf.h"

using namespace jt;

namespace {

std::string ToText(const std::vector<uint8_t>& d) { return std::string(d.begin(), d.end()); }

std::vector<uint8_t> Write(bool pdf, TQxBitmap* b, TIOParamsVals& p) {
  std::atomic<bool> aborting{false};
  TQxProgressInfo progress;
  progress.AbortFlag = &aborting;
  TMemoryStream s;
  if (pdf) WritePdfStream(&s, b, p, progress);
  else WritePsStream(&s, b, p, progress);
  EXPECT_FALSE(aborting);
  const auto* m = static_cast<const uint8_t*>(s.Memory());
  return std::vector<uint8_t>(m, m + s.Size());
}

std::unique_ptr<TQxBitmap> OneBit(int w, int h) {
  auto b = std::make_unique<TQxBitmap>(w, h, TQxPixelFormat::qx1g);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b->Scanline(y);
    for (int x = 0; x < w; ++x)
      if ((x / 4 + y / 4) % 2) row[x / 8] |= uint8_t(0x80 >> (x % 8));
      else row[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
  }
  return b;
}

Image Render(const TempDir& dir, bool pdf, const std::vector<uint8_t>& file, int w, int h) {
  const std::string in = dir / (pdf ? "page.pdf" : "page.ps"), out = dir / "page.ppm";
  WriteFile(in, file);
  std::remove(out.c_str());
  if (pdf) {
    // At twice the resolution, each pixel's centre sample is free of the renderer's smoothing.
    Shell("pdftoppm -r 144 -singlefile '" + in + "' '" + dir / "page" + "'");
  } else {
    Shell("gs -q -dSAFER -sDEVICE=ppmraw -r144 -g" + std::to_string(2 * w) + "x" + std::to_string(2 * h) +
           " -dNOPAUSE -dBATCH -sOutputFile='" + out + "' '" + in + "'");
  }
  const Image big = ReadPnm(out);
  if (big.w != 2 * w || big.h != 2 * h) return Image{};
  Image img{w, h, 3, {}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) img.px.push_back(big.at(2 * x + 1, 2 * y + 1, c));
  return img;
}

}  // namespace

TEST(PdfWriter, EveryCompressionPassesQpdfAndRendersThePicture) {
  const bool qpdf = HaveTool("qpdf"), render = HaveTool("pdftoppm");
  if (!qpdf && !render) GTEST_SKIP() << "qpdf and pdftoppm not installed";
  TempDir dir;
  const Image pattern = Pattern(64, 48);
  auto colour = ToBitmap(pattern);
  auto bw = OneBit(64, 48);
  for (bool one : {false, true})
    for (int c = 0; c <= 6; ++c) {
      SCOPED_TRACE(std::string(one ? "1-bit " : "colour ") + std::to_string(c));
      TIOParamsVals p;
      p.PdfCompression = uint8_t(c);
      p.PdfPaperWidth = 64;
      p.PdfPaperHeight = 48;
      p.PdfTitle = "Test (page)";
      p.JpegQuality = 95;
      const auto file = Write(true, one ? bw.get() : colour.get(), p);
      if (one && c == 4) {
        EXPECT_EQ(p.PdfCompression, 3);
      }
      // No LZW coder is registered here: the picture goes uncompressed and the parameter says so.
      if (c == 5) {
        EXPECT_EQ(p.PdfCompression, 0);
        EXPECT_EQ(ToText(file).find("/LZWDecode"), std::string::npos);
      }
      const std::string path = dir / "check.pdf";
      WriteFile(path, file);
      if (qpdf) {
        EXPECT_EQ(Shell("qpdf --check '" + path + "'"), 0);
      }
      if (!render) continue;
      Image got = Render(dir, true, file, 64, 48);
      ASSERT_EQ(got.w, 64);
      ASSERT_EQ(got.h, 48);
      if (one) {
        int wrong = 0;
        for (int y = 0; y < 48; ++y)
          for (int x = 0; x < 64; ++x)
            wrong += (got.at(x, y, 0) > 127) != bool(bw->Scanline(y)[x / 8] & (0x80 >> (x % 8)));
        EXPECT_EQ(wrong, 0);
      } else {
        EXPECT_LT(MeanDiff(got, pattern), c == 4 ? 5.0 : 3.0);  // the renderer smooths images a little
      }
    }
}

TEST(PdfWriter, PageLayoutAndNames) {
  auto b = ToBitmap(Pattern(1190, 842));
  TIOParamsVals p;
  p.PdfCompression = 0;
  const std::string text = ToText(Write(true, b.get(), p));
  EXPECT_NE(text.find("595 0 0 421 0 421 cm\n/lm1 Do"), std::string::npos);
  EXPECT_NE(text.find("/XObject << /lm1 "), std::string::npos);
  EXPECT_NE(text.find("/MediaBox [0 0 595 842 ]"), std::string::npos);
  EXPECT_EQ(text.rfind("%%EOF\n"), text.size() - 6);
}

TEST(PsWriter, RendersWithGhostscriptAndCountsItsData) {
  TempDir dir;
  const Image pattern = Pattern(64, 48);
  auto colour = ToBitmap(pattern);
  auto bw = OneBit(64, 48);
  for (bool one : {false, true})
    for (int c = 0; c <= 3; ++c) {
      SCOPED_TRACE(std::string(one ? "1-bit " : "colour ") + std::to_string(c));
      TIOParamsVals p;
      p.PsCompression = uint8_t(c);
      p.PsPaperWidth = 64;
      p.PsPaperHeight = 48;
      p.JpegQuality = 95;
      const std::string text = ToText(Write(false, one ? bw.get() : colour.get(), p));
      // The %%BeginData count is exactly the bytes up to %%EndData.
      std::smatch m;
      ASSERT_TRUE(std::regex_search(text, m, std::regex("%%BeginData: +([0-9]+) ASCII Bytes\r\n")));
      const size_t start = size_t(m.position(0) + m.length(0));
      const size_t end = text.find("%%EndData\r\n", start);
      ASSERT_NE(end, std::string::npos);
      EXPECT_EQ(std::stoul(m[1].str()), end - start);
      EXPECT_GT(end - start, 30u);  // data is there whatever the compression
      if (!HaveTool("gs")) continue;
      Image got = Render(dir, false, std::vector<uint8_t>(text.begin(), text.end()), 64, 48);
      ASSERT_EQ(got.w, 64);
      if (one) {
        int wrong = 0;
        for (int y = 0; y < 48; ++y)
          for (int x = 0; x < 64; ++x)
            wrong += (got.at(x, y, 0) > 127) != bool(bw->Scanline(y)[x / 8] & (0x80 >> (x % 8)));
        EXPECT_EQ(wrong, 0);
      } else {
        EXPECT_LT(MeanDiff(got, pattern), c == 3 ? 4.0 : 0.5);
      }
    }
}

TEST(PsWriter, PagesAreCountedInTheHeader) {
  auto b = ToBitmap(Pattern(16, 16));
  TIOParamsVals p;
  std::atomic<bool> aborting{false};
  TQxProgressInfo progress;
  progress.AbortFlag = &aborting;
  TMemoryStream s;
  auto doc = PsWriteHeader(&s, p);
  PsWritePage(doc.get(), &s, b.get(), progress, p);
  PsWritePage(doc.get(), &s, b.get(), progress, p);
  PsWriteTrailer(std::move(doc), &s);
  const auto* m = static_cast<const char*>(s.Memory());
  const std::string text(m, m + s.Size());
  EXPECT_NE(text.find("%%Pages: 2     \r\n"), std::string::npos);
  EXPECT_NE(text.find("%%Page: 2 2\r\n"), std::string::npos);
  EXPECT_NE(text.find("%%BoundingBox: 0 0 594 841\r\n"), std::string::npos);
  EXPECT_EQ(text.rfind("%%Trailer\r\n%%EOF\r\n"), text.size() - 18);
}
