#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "imaging/foundation/view_base.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/ext_ctrls.h"
#include "io_test_util.h"

using namespace qvio;

namespace {
bool Exists(const std::string& f) {
  struct stat st;
  return stat(f.c_str(), &st) == 0;
}
}  // namespace

TEST(Component, SaveAndLoadByExtension) {
  std::string d = TempDir();
  auto src = MakeRGB(17, 11);
  TQuillotIO io(src.get());
  int finished = 0;
  std::vector<int32_t> progress;
  io.OnFinishWork = [&](TObject*) { ++finished; };
  io.OnProgress = [&](TObject*, int32_t p) { progress.push_back(p); };
  for (const char* ext : {".png", ".PNG", ".bmp", ".dib", ".ppm", ".ico", ".jpeg", ".ps", ".pdf"}) {
    finished = 0;
    std::string f = d + "/out" + ext;
    io.SaveToFile(f);
    EXPECT_FALSE(io.Aborting) << ext;
    EXPECT_EQ(finished, 1) << ext;
    EXPECT_TRUE(Exists(f)) << ext;
  }
  EXPECT_EQ(progress.back(), 100);
  // An extension nobody writes: Aborting, no file, no event.
  finished = 0;
  io.SaveToFile(d + "/out.xyz");
  EXPECT_TRUE(io.Aborting);
  EXPECT_FALSE(Exists(d + "/out.xyz"));
  EXPECT_EQ(finished, 0);
  // Formats whose codec is not in this library yet report failure.
  io.SaveToFile(d + "/out.tif");
  EXPECT_TRUE(io.Aborting);
  // Loading: by extension, exact pixels for the lossless ones.
  TQuillotIO rd;
  for (const char* ext : {".png", ".bmp", ".ppm"}) {
    rd.LoadFromFile(d + "/out" + ext);
    ASSERT_FALSE(rd.Aborting) << ext;
    EXPECT_EQ(RgbOf(*rd.WorkBitmap()), RgbOf(*src)) << ext;
    EXPECT_EQ(rd.Params->FileName, d + "/out" + ext);
  }
  rd.LoadFromFile(d + "/out.jpeg");
  EXPECT_FALSE(rd.Aborting);
  EXPECT_EQ(rd.Params->FileType, qxffJPEG);
  rd.LoadFromFile(d + "/out.ico");
  EXPECT_FALSE(rd.Aborting);
  EXPECT_EQ(rd.WorkBitmap()->Width(), 64);  // the default icon size
  // Empty names and unknown extensions set Aborting and still finish; a missing file raises.
  finished = 0;
  rd.OnFinishWork = [&](TObject*) { ++finished; };
  rd.LoadFromFile("");
  EXPECT_TRUE(rd.Aborting);
  EXPECT_EQ(finished, 1);
  rd.LoadFromFile(d + "/out.win");
  EXPECT_TRUE(rd.Aborting);
  EXPECT_THROW(rd.LoadFromFile(d + "/missing.png"), EFOpenError);
  EXPECT_TRUE(rd.Aborting);
  // Stream saves by id: a cursor has no writer.
  TMemoryStream ms;
  io.SaveToStream(ms, qxffCUR);
  EXPECT_TRUE(io.Aborting);
  io.SaveToStream(ms, qxffPNG);
  EXPECT_FALSE(io.Aborting);
  ms.SetPosition(0);
  rd.LoadFromStream(ms);
  EXPECT_FALSE(rd.Aborting);
  EXPECT_EQ(rd.Params->FileType, qxffPNG);
  EXPECT_EQ(rd.Params->FileName, "");
}

TEST(Component, NoBitmapIgnoresLoadsAndBuffersAreChecked) {
  TQuillotIO io;
  io.AttachQxBitmap(nullptr);
  EXPECT_EQ(io.WorkBitmap(), nullptr);
  io.Aborting = false;
  io.LoadFromFile("/nonexistent.png");
  EXPECT_FALSE(io.Aborting);
  TQuillotIO b;
  auto before = b.WorkBitmap()->Width();
  b.LoadFromBuffer(nullptr, 0, qxffPNG);
  EXPECT_TRUE(b.Aborting);
  uint8_t one = 1;
  b.Aborting = false;
  b.LoadFromBuffer(&one, 0, qxffPNG);
  EXPECT_TRUE(b.Aborting);
  EXPECT_EQ(b.WorkBitmap()->Width(), before);
  // A buffer load and a parameter read of a real PNG.
  auto src = MakeRGB(5, 3);
  TQuillotIO w(src.get());
  TMemoryStream ms;
  w.SaveToStream(ms, qxffPNG);
  auto bytes = BytesOf(ms);
  b.LoadFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()), 0);
  EXPECT_FALSE(b.Aborting);
  EXPECT_EQ(RgbOf(*b.WorkBitmap()), RgbOf(*src));
  TQuillotIO pr;
  pr.ReadParamsFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()), 0);
  EXPECT_EQ(pr.Params->FileType, qxffPNG);
  EXPECT_EQ(pr.Params->Width, 5);
  EXPECT_EQ(pr.WorkBitmap()->Width(), 0);  // parameters only
  pr.ReadParamsFromFile("/nonexistent/x.png");
  EXPECT_EQ(pr.Params->FileType, 0);
  bytes.resize(30);
  pr.ReadParamsFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()), qxffPNG);
  EXPECT_EQ(pr.Params->FileType, 0);
}

TEST(Component, AsynchronousLoadsRunOnWorkers) {
  std::string d = TempDir();
  auto src = MakeRGB(300, 200);
  TQuillotIO w(src.get());
  w.SaveToFile(d + "/a.png");
  // A private bitmap runs synchronously even in async mode.
  TQuillotIO own;
  own.AsyncMode = true;
  own.LoadFromFile(d + "/a.png");
  EXPECT_EQ(own.WorkBitmap()->Width(), 300);
  // A caller's bitmap: the call returns at once, WaitThreads returns once the picture is there.
  for (int round = 0; round < 3; ++round) {
    TQxBitmap target;
    TQuillotIO io(&target);
    io.AsyncMode = true;
    std::atomic<int> finished{0};
    std::thread::id worker;
    io.OnFinishWork = [&](TObject*) {
      worker = std::this_thread::get_id();
      ++finished;
    };
    io.LoadFromFile(d + "/a.png");
    io.WaitThreads(false);
    EXPECT_EQ(finished, 1);
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_EQ(target.Width(), 300);
    EXPECT_FALSE(io.Aborting);
    // An asynchronous buffer load keeps its own copy of the block alive.
    auto bytes = ReadFile(d + "/a.png");
    TQxBitmap t2;
    io.AttachQxBitmap(&t2);
    io.LoadFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()), qxffPNG);
    std::fill(bytes.begin(), bytes.end(), 0);
    bytes.clear();
    bytes.shrink_to_fit();
    io.WaitThreads(false);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(RgbOf(t2), RgbOf(*src));
    // An exception on a worker becomes Aborting; the caller sees nothing thrown.
    io.LoadFromFile(d + "/missing.png");
    io.WaitThreads(false);
    EXPECT_TRUE(io.Aborting);
  }
  TQuillotIO idle;
  idle.WaitThreads(true);
  EXPECT_TRUE(idle.Aborting);
}

TEST(Component, TextExport) {
  std::string d = TempDir();
  // Character picture: white gives blanks, black gives W.
  TQxBitmap white(3, 2, TQxPixelFormat::qx24RGB), black(2, 1, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) white.SetPixel24(x, y, TQxRGB{255, 255, 255});
  black.SetPixel24(0, 0, TQxRGB{0, 0, 0});
  black.SetPixel24(1, 0, TQxRGB{0, 0, 0});
  TQuillotIO wi(&white), bi(&black);
  wi.SaveToText(d + "/w.txt", 0, 3);
  bi.SaveToText(d + "/b.txt", 0, 3);
  auto wt = ReadFile(d + "/w.txt"), bt = ReadFile(d + "/b.txt");
  EXPECT_EQ(std::string(wt.begin(), wt.end()), "   \n   \n");
  EXPECT_EQ(std::string(bt.begin(), bt.end()), "WW\n");
  // Source text of an encoded picture: a const block with size, array and the bytes.
  auto src = MakeRGB(4, 4);
  TQuillotIO io(src.get());
  io.SaveToText(d + "/p.txt", qxffBMP, 0);
  auto t = ReadFile(d + "/p.txt");
  std::string text(t.begin(), t.end());
  EXPECT_EQ(text.rfind("const\n", 0), 0u);
  EXPECT_NE(text.find("_Size = 102;"), std::string::npos);
  EXPECT_NE(text.find("of byte = (\n    $42,$4D,"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 3), ");\n");
  io.SaveToText(d + "/h.txt", qxffBMP, 1);
  t = ReadFile(d + "/h.txt");
  text.assign(t.begin(), t.end());
  EXPECT_EQ(text.rfind("\\\\ Size=102\n0x42,0x4D,", 0), 0u);
  // An empty encoding (no writer) still gives a well-formed constant.
  io.SaveToText(d + "/e.txt", qxffCUR, 0);
  t = ReadFile(d + "/e.txt");
  text.assign(t.begin(), t.end());
  EXPECT_NE(text.find("= 0;"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 7), "    );\n");
}

TEST(Component, AdjustDpiMakesPixelsSquare) {
  struct Case {
    int w, h, dx, dy, ew, eh, edx, edy;
  } cases[] = {{200, 100, 200, 100, 200, 200, 200, 200}, {100, 200, 100, 200, 200, 200, 200, 200},
               {100, 100, 300, 150, 50, 100, 150, 150}};
  for (const Case& c : cases) {
    auto b = MakeRGB(c.w, c.h);
    TQuillotIO io(b.get());
    io.Params->Width = c.w;
    io.Params->Height = c.h;
    io.Params->DpiX = c.dx;
    io.Params->DpiY = c.dy;
    io.AdjustDPI();
    EXPECT_EQ(b->Width(), c.ew);
    EXPECT_EQ(b->Height(), c.eh);
    EXPECT_EQ(io.Params->DpiX, c.edx);
    EXPECT_EQ(io.Params->DpiY, c.edy);
  }
}

TEST(Component, CommittedFixturesAgree) {
  // Files written by ImageMagick, Pillow and netpbm from one picture: every reader sees the same pixels.
  const std::string dir = QV_TEST_DATA_DIR;
  TQuillotIO ref;
  ref.LoadFromFile(dir + "/c.ppm");
  ASSERT_FALSE(ref.Aborting);
  const auto expect = RgbOf(*ref.WorkBitmap());
  for (const char* f : {"b24.bmp", "os2.bmp"}) {
    TQuillotIO io;
    io.LoadFromFile(dir + "/" + f);
    ASSERT_FALSE(io.Aborting) << f;
    EXPECT_EQ(RgbOf(*io.WorkBitmap()), expect) << f;
  }
  TQuillotIO png;
  png.LoadFromFile(dir + "/rgbi.png");
  ASSERT_FALSE(png.Aborting);
  EXPECT_EQ(png.Params->PngInterlaced, 1);
  EXPECT_EQ(png.WorkBitmap()->Width(), 12);
  TQuillotIO ico;
  ico.LoadFromFileDetected(dir + "/ia.ico");
  ASSERT_FALSE(ico.Aborting);
  EXPECT_EQ(ico.Params->FileType, qxffICO);
  EXPECT_TRUE(ico.WorkBitmap()->HasAlphaChannel());
}

// After a load the parameter object's image count is the file's, as QxImageCount says, for files of outside
// tools with one image and with several.
TEST(Component, ImageCountOfLoadedFilesMatchesTheFile) {
  if (!HaveTool("convert") || !HaveTool("pnmtopng")) GTEST_SKIP() << "ImageMagick or netpbm not installed";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 32x32 gradient:red-blue src.png && "
                  "convert src.png \\( +clone -resize 16x16 \\) \\( +clone -resize 24x24 \\) three.ico && "
                  "convert src.png -resize 16x16 one.cur && "
                  "convert src.png -depth 8 a.ppm && pngtopnm src.png | pnmtopnm -plain > plain.ppm && "
                  "convert src.png -monochrome a.wbmp"),
            0);
  struct Case {
    const char* Name;
    int32_t Count;
  } cases[] = {{"three.ico", 3}, {"one.cur", 1}, {"a.ppm", 1}, {"plain.ppm", 1}, {"a.wbmp", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string f = d + "/" + c.Name;
    TQxBitmap b;
    TQuillotIO io(&b);
    io.Params->ImageCount = -7;
    io.LoadFromFile(f);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(QxImageCount(f), c.Count);
    EXPECT_EQ(io.Params->ImageCount, c.Count);
  }
}

// A vector-objects or layers-and-objects stream with no reader linked (this suite leaves out the vector
// library, which brings them) is a failed load that says why, never a success with nothing loaded; the
// vector library's own tests load both through this component.
TEST(Component, StreamLoadWithoutAReaderFails) {
  for (int32_t format : {qxffVect, qxffLayersAndObjects}) {
    SCOPED_TRACE(format);
    auto b = MakeRGB(5, 4);
    const auto before = RgbOf(*b);
    TQuillotIO io(b.get());
    TMemoryStream s;
    const char data[] = "QXVECT data the program cannot read";
    s.WriteBuffer(data, sizeof data);
    s.SetPosition(0);
    io.LoadFromStreamAs(s, format);
    EXPECT_TRUE(io.Aborting);
    EXPECT_FALSE(io.Params->ReadError.empty());
    EXPECT_EQ(RgbOf(*b), before);
  }
}

// An image control's picture is loaded into and saved from in place; its going away leaves nothing behind.
TEST(Component, ImageControlAttachmentAndServiceObjects) {
  const std::string Dir = qvio::TempDir();
  auto Src = qvio::MakeRGB(30, 20);
  {
    TQuillotIO W(Src.get());
    W.SaveToFile(Dir + "/src.png");
    ASSERT_FALSE(W.Aborting);
  }
  TQuillotIO IO;
  {
    TImage Image(nullptr);
    Image.Picture()->Bitmap()->SetPixelFormat(TPixelFormat::pf24bit);
    Image.Picture()->Bitmap()->SetSize(4, 4);
    IO.SetAttachedTImage(&Image);
    EXPECT_EQ(IO.AttachedTImage(), &Image);
    EXPECT_EQ(IO.AttachedQuillot(), nullptr);
    IO.LoadFromFile(Dir + "/src.png");
    ASSERT_FALSE(IO.Aborting);
    // The control's own bitmap took the picture.
    EXPECT_EQ(Image.Picture()->Bitmap()->Width(), 30);
    EXPECT_EQ(Image.Picture()->Bitmap()->Height(), 20);
    IO.SaveToFile(Dir + "/again.png");
    TQxBitmap Back;
    TQuillotIO R(&Back);
    R.LoadFromFile(Dir + "/again.png");
    EXPECT_EQ(qvio::RgbOf(Back), qvio::RgbOf(*Src));
  }
  EXPECT_EQ(IO.AttachedTImage(), nullptr);
  IO.LoadFromFile(Dir + "/src.png");  // into a bitmap of its own again
  EXPECT_FALSE(IO.Aborting);
  EXPECT_EQ(IO.WorkBitmap()->Width(), 30);
  // Print-preview settings with their defaults; no plug-ins.
  const TIOPrintPreviewParams* P = IO.PrintPreviewParams();
  ASSERT_NE(P, nullptr);
  EXPECT_EQ((std::array<double, 4>{P->MarginTop, P->MarginLeft, P->MarginRight, P->MarginBottom}),
            (std::array<double, 4>{1, 1, 1, 1}));
  EXPECT_EQ(P->Position, 4);
  EXPECT_EQ(P->Size, 1);
  EXPECT_EQ(P->Width, -1);
  EXPECT_EQ(P->Gamma, 1);
  QxIOPlugins().push_back({"libextra.so", "Extra", "EXT"});
  QxFreeIOPlugins();
  EXPECT_TRUE(QxIOPlugins().empty());
  qvio::Shell("rm -rf " + Dir);
}

// Pages added to an open PostScript or PDF document arrive in order, and freeing the component closes
// the document so that other programs read every page.
TEST(Component, OpenDocumentsTakePagesAndCloseWhenTheComponentIsFreed) {
  if (!HaveTool("gs") || !HaveTool("pdftoppm") || !HaveTool("qpdf") || !HavePillow())
    GTEST_SKIP() << "Ghostscript, pdftoppm, qpdf and Pillow are needed to read the documents";
  ScopedTempDir d;
  const uint8_t shades[] = {230, 40, 150};
  auto paint = [](TQxBitmap& b, uint8_t v) {
    for (int32_t y = 0; y < 20; ++y)
      for (int32_t x = 0; x < 40; ++x) reinterpret_cast<TQxRGB*>(b.Scanline(y))[x] = TQxRGB{v, v, v};
  };
  for (const bool pdf : {false, true}) {
    SCOPED_TRACE(pdf ? "PDF" : "PostScript");
    const std::string file = d / (pdf ? "doc.pdf" : "doc.ps");
    {
      TQxBitmap picture(40, 20, TQxPixelFormat::qx24RGB);
      TQuillotIO io(&picture);
      io.Params->PsPaperWidth = io.Params->PdfPaperWidth = 40;
      io.Params->PsPaperHeight = io.Params->PdfPaperHeight = 20;
      ASSERT_TRUE(pdf ? io.OpenPdfDocument(file) : io.OpenPsDocument(file));
      for (uint8_t v : shades) {
        paint(picture, v);
        pdf ? io.AddPdfPage() : io.AddPsPage();
        EXPECT_FALSE(io.Aborting);
      }
    }  // freed with the document open
    if (pdf) {
      EXPECT_EQ(Shell("qpdf --check '" + file + "'"), 0);
    }
    const std::string render = pdf ? "pdftoppm -r 72 -png '" + file + "' '" + d.Path + "/pdfpage'"
                                   : "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r72 -dDEVICEWIDTHPOINTS=40 -dDEVICEHEIGHTPOINTS=20 -dFIXEDMEDIA -o '" + d.Path +
                                         "/pspage-%d.png' '" + file + "'";
    ASSERT_EQ(Shell(render), 0);
    for (int i = 0; i < 3; ++i) {
      const std::string png = pdf ? d / ("pdfpage-" + std::to_string(i + 1) + ".png")
                                  : d / ("pspage-" + std::to_string(i + 1) + ".png");
      int w = 0, h = 0;
      const auto px = PillowPixels(png, "L", &w, &h);
      ASSERT_EQ(px.size(), size_t(w) * h) << "page " << i + 1 << " missing";
      EXPECT_NEAR(px[size_t(h / 2) * w + w / 2], shades[i], 3) << "page " << i + 1;
    }
    EXPECT_FALSE(Exists(pdf ? d / "pdfpage-4.png" : d / "pspage-4.png")) << "a page too many";
  }
}
