// WMF and EMF files that Inkscape writes at test time, drawn by the library and compared with
// Inkscape's own PNG export of the same drawing; sizes, alpha and damaged records.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/io_init.h"
#include "imaging/io/metafile.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "io_test_util.h"
#include "platform/base/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

// Shapes of every kind the exports use: straight and curved outlines, wide and dashed strokes, even-odd
// fills, open lines, a rotated, scaled group and an embedded picture (its place marked by @IMAGE@).
const char* kDrawing = R"svg(<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="240" height="160" viewBox="0 0 240 160">
<rect x="0" y="0" width="240" height="160" fill="#ffffff"/>
<rect x="12" y="14" width="80" height="50" fill="#e02020" stroke="#202080" stroke-width="4"/>
<circle cx="160" cy="46" r="34" fill="#2050f0" stroke="#10a010" stroke-width="6"/>
<path d="M10 150 L120 96 L230 150" stroke="#000000" stroke-width="3" fill="none"/>
<polygon points="60,80 75,130 20,100 100,100 45,130" fill="#f0c000" fill-rule="evenodd"/>
<g transform="translate(180 118) rotate(30) scale(1.5)">
  <rect x="-16" y="-10" width="32" height="20" fill="#a000a0"/>
</g>
<path d="M120 70 C 140 20, 180 150, 210 90" stroke="#008080" stroke-width="5" fill="none"/>
<ellipse cx="130" cy="130" rx="18" ry="10" fill="#804000"/>
<path d="M20 6 L110 6" stroke="#404040" stroke-width="3" stroke-dasharray="9 6" fill="none"/>
<image x="196" y="4" width="40" height="30" xlink:href="data:image/png;base64,@IMAGE@"/>
</svg>
)svg";

// Shapes on nothing: transparent where nothing is drawn.
const char* kSparse = R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="120" height="80" viewBox="0 0 120 80">
<rect x="10" y="10" width="40" height="30" fill="#00c000"/>
<circle cx="85" cy="45" r="25" fill="#c00000"/>
</svg>
)svg";

// A smooth 40 x 30 gradient as base64 PNG, for the picture inside the drawing.
std::string PictureBase64() {
  TQxBitmap b(40, 30, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) b.SetPixel24(x, y, TQxRGB{160, uint8_t(y * 8), uint8_t(x * 6)});
  TMemoryStream png;
  TQuillotIO io(&b);
  io.SavePngStream(png);
  const auto* d = static_cast<const uint8_t*>(png.Memory());
  const int64_t n = png.Size();
  static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (int64_t i = 0; i < n; i += 3) {
    const uint32_t v = (uint32_t(d[i]) << 16) | (i + 1 < n ? uint32_t(d[i + 1]) << 8 : 0) | (i + 2 < n ? d[i + 2] : 0);
    out += abc[(v >> 18) & 63];
    out += abc[(v >> 12) & 63];
    out += i + 1 < n ? abc[(v >> 6) & 63] : '=';
    out += i + 2 < n ? abc[v & 63] : '=';
  }
  return out;
}

class Metafiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!qvio::HaveTool("inkscape")) return;
    Dir = qvio::TempDir();
    std::string drawing = kDrawing;
    drawing.replace(drawing.find("@IMAGE@"), 7, PictureBase64());
    for (auto [name, svg] : {std::pair{"drawing", drawing}, std::pair{"sparse", std::string(kSparse)}}) {
      const std::string base = Dir + "/" + name;
      qvio::WriteText(base + ".svg", svg);
      // Inkscape wants a home of its own; the test's directory serves.
      const std::string ink = "HOME=" + Dir + " inkscape " + base + ".svg ";
      qvio::Shell(ink + "--export-type=emf --export-filename=" + base + ".emf");
      qvio::Shell(ink + "--export-type=wmf --export-filename=" + base + ".wmf");
      qvio::Shell(ink + "--export-type=png --export-background=#ffffff --export-background-opacity=1 "
                        "--export-filename=" + base + ".png");
    }
  }
  static void TearDownTestSuite() {
    if (!Dir.empty()) qvio::Shell("rm -rf " + Dir);
  }
  void SetUp() override {
    if (!qvio::HaveTool("inkscape")) GTEST_SKIP() << "Inkscape is needed to write the metafiles";
    for (const char* f : {"drawing.emf", "drawing.wmf", "drawing.png", "sparse.emf", "sparse.wmf"})
      ASSERT_TRUE(std::filesystem::exists(Dir + "/" + f)) << "Inkscape did not write " << f;
  }

  // Pixels that differ by more than Threshold from every reference pixel within one pixel of them:
  // anti-aliased edges against the rasteriser's hard ones do not count, a missing or misplaced shape does.
  static double MismatchShare(const std::vector<uint8_t>& A, const std::vector<uint8_t>& Ref, int32_t W, int32_t H,
                              int Threshold = 60) {
    int64_t bad = 0;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        int best = 1000;
        for (int32_t dy = -1; dy <= 1; ++dy)
          for (int32_t dx = -1; dx <= 1; ++dx) {
            const int32_t xx = x + dx, yy = y + dy;
            if (xx < 0 || yy < 0 || xx >= W || yy >= H) continue;
            int d = 0;
            for (int c = 0; c < 3; ++c)
              d = std::max(d, std::abs(int(A[(y * W + x) * 3 + c]) - int(Ref[(yy * W + xx) * 3 + c])));
            best = std::min(best, d);
          }
        if (best > Threshold) ++bad;
      }
    return static_cast<double>(bad) / (static_cast<double>(W) * H);
  }

  static void Screenshot(TQxBitmap& B, const std::string& Name) {
    std::filesystem::create_directories("screenshots");
    TQxBitmap copy;
    copy.AssignFrom(&B);
    TQuillotIO out(&copy);
    out.SavePngFile("screenshots/" + Name);
  }

  static inline std::string Dir;
};

}  // namespace

// The WMF's placeable header gives the drawing's own size; Inkscape's EMF frame is rounded up to the
// next whole millimetre, so the EMF is a pixel or two larger, the drawing at its top left.
TEST_F(Metafiles, InkscapeExportsDrawLikeItsOwnPng) {
  TQxBitmap ref;
  TQuillotIO refIO(&ref);
  refIO.LoadFromFile(Dir + "/drawing.png");
  ASSERT_FALSE(refIO.Aborting);
  ASSERT_EQ(ref.Width(), 240);
  ASSERT_EQ(ref.Height(), 160);
  const std::vector<uint8_t> want = qvio::RgbOf(ref);
  for (const char* ext : {"emf", "wmf"}) {
    const bool emf = std::string(ext) == "emf";
    TQxBitmap B;
    TQuillotIO IO(&B);
    IO.LoadFromFile(Dir + "/drawing." + ext);
    ASSERT_FALSE(IO.Aborting) << ext << ": " << IO.Params->ReadError;
    if (emf) {
      EXPECT_GE(B.Width(), 240);
      EXPECT_LE(B.Width(), 243);
      EXPECT_GE(B.Height(), 160);
      EXPECT_LE(B.Height(), 163);
    } else {
      ASSERT_EQ(B.Width(), 240);
      ASSERT_EQ(B.Height(), 160);
    }
    EXPECT_EQ(IO.Params->FileType, emf ? qxffEMF : qxffWMF);
    EXPECT_EQ(IO.Params->Width, B.Width());
    EXPECT_EQ(IO.Params->DpiX, QxDefaultDpiX);
    Screenshot(B, std::string("metafile_drawing_") + ext + ".png");
    TQxBitmap part(240, 160, TQxPixelFormat::qx24RGB);
    B.CopyRectTo(&part, 0, 0, 0, 0, 240, 160);
    const double share = MismatchShare(qvio::RgbOf(part), want, 240, 160);
    EXPECT_LT(share, 0.01) << ext << ": " << share * 100 << " % of the pixels are off";
  }
}

TEST_F(Metafiles, ParametersWithoutPixels) {
  for (const char* ext : {"emf", "wmf"}) {
    TQxBitmap B;
    TQuillotIO IO(&B);
    IO.ReadParamsFromFile(Dir + "/drawing." + ext);
    EXPECT_FALSE(IO.Aborting) << ext;
    TQxBitmap full;
    TQuillotIO fullIO(&full);
    fullIO.LoadFromFile(Dir + "/drawing." + ext);
    EXPECT_EQ(IO.Params->Width, full.Width()) << ext;
    EXPECT_EQ(IO.Params->Height, full.Height()) << ext;
    EXPECT_EQ(IO.Params->FileType, std::string(ext) == "emf" ? qxffEMF : qxffWMF);
    EXPECT_EQ(IO.Params->SamplesPerPixel, 3);
  }
}

TEST_F(Metafiles, RequestedSizesKeepTheAspectAndTheLimit) {
  struct Case {
    int32_t W, H, WantW, WantH;
  };
  // The WMF is 240 x 160.
  const Case cases[] = {{-1, -1, 240, 160}, {480, -1, 480, 320}, {-1, 80, 120, 80},
                        {100, 100, 100, 100}, {24000, 16000, 8000, 5333}, {-1, 30000, 8000, 5333}};
  for (const char* ext : {"wmf"})
    for (const Case& c : cases) {
      TQxBitmap B;
      TQuillotIO IO(&B);
      IO.ImportMetafile(Dir + "/drawing." + ext, c.W, c.H, false);
      EXPECT_FALSE(IO.Aborting);
      EXPECT_EQ(B.Width(), c.WantW) << ext << " " << c.W << " x " << c.H;
      EXPECT_EQ(B.Height(), c.WantH) << ext << " " << c.W << " x " << c.H;
    }
  // A zero side draws nothing.
  TQxBitmap B;
  TQuillotIO IO(&B);
  IO.ImportMetafile(Dir + "/drawing.emf", 0, 50, false);
  EXPECT_EQ(B.Width(), 0);
}

TEST_F(Metafiles, AlphaIsClearWhereNothingWasDrawn) {
  for (const char* ext : {"emf", "wmf"}) {
    TQxBitmap B;
    TQuillotIO IO(&B);
    IO.ImportMetafile(Dir + "/sparse." + ext, -1, -1, true);
    ASSERT_FALSE(IO.Aborting) << ext;
    ASSERT_GE(B.Width(), 120);
    ASSERT_TRUE(B.HasAlphaChannel());
    EXPECT_EQ(B.GetAlpha(2, 2), 0) << ext;       // outside every shape
    EXPECT_EQ(B.GetAlpha(30, 25), 255) << ext;   // the green square
    EXPECT_EQ(B.GetAlpha(85, 45), 255) << ext;   // the red disc
    const TQxRGB g = B.GetPixel24(30, 25), r = B.GetPixel24(85, 45);
    EXPECT_GT(g.g, 150) << ext;
    EXPECT_LT(g.r, 60) << ext;
    EXPECT_GT(r.r, 150) << ext;
    EXPECT_LT(r.g, 60) << ext;
    Screenshot(B, std::string("metafile_sparse_") + ext + ".png");
  }
}

TEST_F(Metafiles, CutOrInflatedFilesStopWithAborting) {
  for (const char* ext : {"emf", "wmf"}) {
    const std::vector<uint8_t> whole = qvio::ReadFile(Dir + "/drawing." + ext);
    ASSERT_GT(whole.size(), 200u);
    const bool emf = std::string(ext) == "emf";
    std::vector<std::vector<uint8_t>> bad;
    // Cut in the middle of the records.
    bad.emplace_back(whole.begin(), whole.begin() + whole.size() / 2);
    // A record count larger than the file.
    {
      std::vector<uint8_t> v = whole;
      if (emf) v[52] = v[53] = v[54] = v[55] = 0x7F;
      else v[22 + 12] = v[22 + 13] = 0x7F, v[22 + 14] = 0x7F;
      bad.push_back(v);
    }
    // A record whose size reaches past the end (the third record).
    {
      std::vector<uint8_t> v = whole;
      // The size is the second 32-bit field of an EMF record and the first of a WMF record.
      const size_t at = emf ? 4 : 0;
      size_t p = emf ? 0 : 22 + 18;
      for (int k = 0; k < 2; ++k) {
        const size_t q = p + at;
        ASSERT_LT(q + 3, v.size());
        const uint32_t s = v[q] | (v[q + 1] << 8) | (v[q + 2] << 16) | (uint32_t(v[q + 3]) << 24);
        p += emf ? s : 2 * s;
      }
      ASSERT_LT(p + at + 2, v.size());
      v[p + at + 2] = 0x40;
      bad.push_back(v);
    }
    for (size_t i = 0; i < bad.size(); ++i) {
      TQxBitmap B;
      TQuillotIO IO(&B);
      TMemoryStream s;
      s.WriteBuffer(bad[i].data(), static_cast<int64_t>(bad[i].size()));
      s.SetPosition(0);
      IO.ImportMetafileStream(s, -1, -1, true);
      EXPECT_TRUE(IO.Aborting) << ext << " case " << i;
    }
  }
}

TEST(MetafilePlayer, HandMadeRecordsKeepTheirPixels) {
  // A 10 x 10 placeable metafile, one unit a pixel: a black 1-pixel pen frame around a red square.
  std::vector<uint8_t> v;
  auto w16 = [&](int x) { v.push_back(uint8_t(x)), v.push_back(uint8_t(x >> 8)); };
  auto w32 = [&](uint32_t x) { w16(int(x & 0xFFFF)), w16(int(x >> 16)); };
  w32(0x9AC6CDD7), w16(0), w16(0), w16(0), w16(10), w16(10), w16(96), w32(0);
  {
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2) sum ^= uint16_t(v[i] | (v[i + 1] << 8));
    w16(sum);
  }
  const size_t hdr = v.size();
  w16(1), w16(9), w16(0x300), w32(0), w16(2), w32(0), w16(0);
  auto rec = [&](uint16_t fn, std::initializer_list<int> words) {
    w32(uint32_t(3 + words.size())), w16(fn);
    for (int x : words) w16(x);
  };
  rec(0x020C, {10, 10});                      // window extent
  rec(0x02FC, {0, 0x00FF, 0x0000, 0});        // red solid brush -> slot 0
  rec(0x02FA, {0, 1, 0, 0, 0});               // black pen -> slot 1
  rec(0x012D, {0});
  rec(0x012D, {1});
  rec(0x041B, {8, 8, 2, 2});                  // rectangle 2,2 - 8,8
  rec(0x0000, {});
  const uint32_t words = uint32_t((v.size() - hdr) / 2);
  v[hdr + 6] = uint8_t(words), v[hdr + 7] = uint8_t(words >> 8);
  v[hdr + 12] = 6;                            // largest record
  TQxMetafile mf;
  ASSERT_TRUE(mf.LoadFromBytes(v)) << mf.Error();
  EXPECT_FALSE(mf.Enhanced());
  EXPECT_EQ(mf.Width(), 10);
  TBitmap bmp(10, 10, TPixelFormat::pf24bit);
  bmp.Canvas()->Brush()->SetColor(clWhite);
  bmp.Canvas()->FillRect(TRect(0, 0, 10, 10));
  ASSERT_TRUE(mf.Play(*bmp.Canvas(), TRect(0, 0, 10, 10)));
  EXPECT_EQ(bmp.GetPixel(0, 0), RGB(255, 255, 255));
  EXPECT_EQ(bmp.GetPixel(2, 2), RGB(0, 0, 0));      // the pen's frame
  EXPECT_EQ(bmp.GetPixel(7, 7), RGB(0, 0, 0));
  EXPECT_EQ(bmp.GetPixel(5, 5), RGB(255, 0, 0));    // inside
  EXPECT_EQ(bmp.GetPixel(8, 8), RGB(255, 255, 255)); // right and bottom edges excluded
}

namespace {

struct Bytes {
  std::vector<uint8_t> v;
  void w16(int x) { v.push_back(uint8_t(x)), v.push_back(uint8_t(x >> 8)); }
  void w32(uint32_t x) { w16(int(x & 0xFFFF)), w16(int(x >> 16)); }
  void set32(size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
  }
};

// An enhanced metafile of W x H pixels at 96 pixels per inch, its records written by Body.
template <typename F>
std::vector<uint8_t> MakeEmf(int W, int H, F&& Body) {
  Bytes b;
  b.w32(1), b.w32(88);
  b.w32(0), b.w32(0), b.w32(W - 1), b.w32(H - 1);                                  // bounds
  b.w32(0), b.w32(0), b.w32(uint32_t(W * 2540 / 96)), b.w32(uint32_t(H * 2540 / 96));  // frame
  b.w32(0x464D4520), b.w32(0x10000), b.w32(0), b.w32(0);                           // size and count later
  b.w16(4), b.w16(0), b.w32(0), b.w32(0), b.w32(0);
  b.w32(960), b.w32(960), b.w32(254), b.w32(254);                                   // 96 pixels per inch
  uint32_t records = 1;
  Body(b, records);
  b.w32(14), b.w32(20), b.w32(0), b.w32(16), b.w32(20);
  ++records;
  b.set32(48, uint32_t(b.v.size()));
  b.set32(52, records);
  return b.v;
}

std::unique_ptr<TBitmap> PlayOnWhite(TQxMetafile& Mf) {
  auto bmp = std::make_unique<TBitmap>(Mf.Width(), Mf.Height(), TPixelFormat::pf24bit);
  bmp->Canvas()->Brush()->SetColor(clWhite);
  bmp->Canvas()->FillRect(TRect(0, 0, Mf.Width(), Mf.Height()));
  EXPECT_TRUE(Mf.Play(*bmp->Canvas(), TRect(0, 0, Mf.Width(), Mf.Height())));
  return bmp;
}

}  // namespace

TEST(MetafilePlayer, GradientsTextAndWorldTransform) {
  // A horizontal gradient from red to blue over the whole picture.
  TQxMetafile grad;
  ASSERT_TRUE(grad.LoadFromBytes(MakeEmf(40, 10, [](Bytes& b, uint32_t& n) {
    b.w32(118), b.w32(36 + 32 + 8), b.w32(0), b.w32(0), b.w32(39), b.w32(9), b.w32(2), b.w32(1), b.w32(0);
    b.w32(0), b.w32(0), b.w16(0xFF00), b.w16(0), b.w16(0), b.w16(0);
    b.w32(40), b.w32(10), b.w16(0), b.w16(0), b.w16(0xFF00), b.w16(0);
    b.w32(0), b.w32(1);
    ++n;
  })));
  EXPECT_TRUE(grad.Enhanced());
  ASSERT_EQ(grad.Width(), 40);
  auto g = PlayOnWhite(grad);
  const COLORREF left = g->GetPixel(1, 5), right = g->GetPixel(38, 5);
  EXPECT_GT(GetRValue(left), 220);
  EXPECT_LT(GetBValue(left), 30);
  EXPECT_GT(GetBValue(right), 220);
  EXPECT_LT(GetRValue(right), 30);

  // A square moved by the world transform: 10 x 10 at (0, 0), translated by (20, 5) and scaled by 0.5.
  TQxMetafile moved;
  ASSERT_TRUE(moved.LoadFromBytes(MakeEmf(40, 20, [](Bytes& b, uint32_t& n) {
    auto f = [&](float x) {
      uint32_t u;
      std::memcpy(&u, &x, 4);
      b.w32(u);
    };
    b.w32(35), b.w32(32), f(0.5f), f(0), f(0), f(0.5f), f(20), f(5);                   // SETWORLDTRANSFORM
    b.w32(37), b.w32(12), b.w32(0x80000004);                                           // black brush
    b.w32(37), b.w32(12), b.w32(0x80000008);                                           // no pen
    b.w32(43), b.w32(24), b.w32(0), b.w32(0), b.w32(20), b.w32(20);                    // RECTANGLE
    n += 4;
  })));
  auto m = PlayOnWhite(moved);
  EXPECT_EQ(m->GetPixel(1, 1), RGB(255, 255, 255));
  EXPECT_EQ(m->GetPixel(22, 7), RGB(0, 0, 0));
  // Without a pen the fill leaves out one more column and row, as the platform's rectangles do.
  EXPECT_EQ(m->GetPixel(28, 13), RGB(0, 0, 0));
  EXPECT_EQ(m->GetPixel(29, 14), RGB(255, 255, 255));

  // Text of an old-style metafile: dark pixels where "Hi" is written, none elsewhere.
  Bytes w;
  w.w32(0x9AC6CDD7), w.w16(0), w.w16(0), w.w16(0), w.w16(40), w.w16(20), w.w16(96), w.w32(0), w.w16(0);
  const size_t hdr = w.v.size();
  w.w16(1), w.w16(9), w.w16(0x300), w.w32(0), w.w16(1), w.w32(40), w.w16(0);
  auto rec = [&](uint16_t fn, std::initializer_list<int> words) {
    w.w32(uint32_t(3 + words.size())), w.w16(fn);
    for (int x : words) w.w16(x);
  };
  rec(0x020C, {20, 40});
  // CREATEFONTINDIRECT: height -14, weight 700, face "DejaVu Sans".
  {
    std::vector<int> lf = {-14, 0, 0, 0, 700, 0, 0, 0};
    const char face[] = "DejaVu Sans";
    std::vector<uint8_t> fb(sizeof face + 1, 0);
    std::memcpy(fb.data(), face, sizeof face);
    for (size_t i = 0; i < fb.size(); i += 2) lf.push_back(fb[i] | (i + 1 < fb.size() ? fb[i + 1] << 8 : 0));
    w.w32(uint32_t(3 + lf.size())), w.w16(0x02FB);
    for (int x : lf) w.w16(x);
  }
  rec(0x012D, {0});
  rec(0x0102, {1});                     // transparent background
  rec(0x0521, {2, 'H' | ('i' << 8), 2, 4});  // TEXTOUT "Hi" at (4, 2)
  rec(0x0000, {});
  w.set32(hdr + 6, uint32_t((w.v.size() - hdr) / 2));
  TQxMetafile text;
  ASSERT_TRUE(text.LoadFromBytes(w.v)) << text.Error();
  auto t = PlayOnWhite(text);
  int dark = 0, darkOutside = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool isDark = GetRValue(t->GetPixel(x, y)) < 128;
      if (x >= 4 && x < 26 && y >= 2 && y < 19) dark += isDark;
      else darkOutside += isDark;
    }
  EXPECT_GT(dark, 15);
  EXPECT_EQ(darkOutside, 0);
}
