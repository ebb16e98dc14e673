// Real camera files decode to the scene their own previews show.
#include "raw_real_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/raw/camera_raw.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

namespace rawtest {

namespace {

struct Rgb {
  double R = 0, G = 0, B = 0;
};

// Pixels of a 24-bit or 48-bit picture as red, green, blue on the 8-bit scale.
std::vector<Rgb> Pixels(TQxBitmap& Bmp) {
  const int w = Bmp.Width(), h = Bmp.Height();
  std::vector<Rgb> out(size_t(w) * size_t(h));
  const bool deep = Bmp.PixelFormat() == TQxPixelFormat::qxRGB48;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = Bmp.Scanline(y);
    for (int x = 0; x < w; ++x) {
      Rgb& p = out[size_t(y) * w + x];
      if (deep) {
        const uint16_t* q = reinterpret_cast<const uint16_t*>(row) + 3 * x;  // red, green, blue
        p = {q[0] / 257.0, q[1] / 257.0, q[2] / 257.0};
      } else {
        const uint8_t* q = row + 3 * x;  // blue, green, red
        p = {double(q[2]), double(q[1]), double(q[0])};
      }
    }
  }
  return out;
}

// Area average of a W x H picture onto a TW x TH grid, each source pixel weighted by its overlap.
std::vector<Rgb> Reduce(const std::vector<Rgb>& Src, int W, int H, int TW, int TH) {
  std::vector<Rgb> out(size_t(TW) * TH);
  for (int ty = 0; ty < TH; ++ty)
    for (int tx = 0; tx < TW; ++tx) {
      const double x0 = double(tx) * W / TW, x1 = double(tx + 1) * W / TW;
      const double y0 = double(ty) * H / TH, y1 = double(ty + 1) * H / TH;
      Rgb sum;
      double weight = 0;
      for (int y = int(y0); y < std::min(H, int(std::ceil(y1))); ++y)
        for (int x = int(x0); x < std::min(W, int(std::ceil(x1))); ++x) {
          const double wy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
          const double wx = std::min<double>(x + 1, x1) - std::max<double>(x, x0);
          const double k = wx * wy;
          const Rgb& p = Src[size_t(y) * W + x];
          sum.R += p.R * k;
          sum.G += p.G * k;
          sum.B += p.B * k;
          weight += k;
        }
      out[size_t(ty) * TW + tx] = {sum.R / weight, sum.G / weight, sum.B / weight};
    }
  return out;
}

// With QV_RAW_PICTURES naming a folder, both pictures are written there as PPM, to be looked at side by side.
void WritePpm(const std::string& Path, const std::vector<Rgb>& P, int W, int H) {
  std::ofstream out(Path, std::ios::binary);
  out << "P6\n" << W << " " << H << "\n255\n";
  for (const Rgb& p : P)
    for (double v : {p.R, p.G, p.B}) out.put(char(uint8_t(std::clamp(std::lround(v), 0L, 255L))));
}

double Gray(const Rgb& P) { return 0.299 * P.R + 0.587 * P.G + 0.114 * P.B; }

struct Read {
  std::unique_ptr<TQxBitmap> Bitmap = std::make_unique<TQxBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>();
  bool Aborted = false;
};

Read ReadRaw(const std::vector<uint8_t>& File, bool Preview) {
  Read r;
  r.Params->RawUseExifThumbnail = Preview ? 1 : 0;
  TMemoryStream s;
  s.Write(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  std::atomic<bool> abort{false};
  TQxProgressInfo progress;
  progress.AbortFlag = &abort;
  ReadCameraRawStream(&s, r.Bitmap.get(), *r.Params, progress, false);
  r.Aborted = abort;
  return r;
}

}  // namespace

PreviewMatch CompareWithOwnPreview(const std::string& Path) {
  QxRegisterFurtherCodecs();
  PreviewMatch m;
  std::ifstream in(Path, std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (file.empty()) {
    m.Error = "cannot read " + Path;
    return m;
  }
  Read preview = ReadRaw(file, true);
  if (preview.Bitmap->IsEmpty()) {
    m.Error = "the file holds no preview";
    return m;
  }
  Read full = ReadRaw(file, false);
  if (full.Aborted || full.Bitmap->IsEmpty()) {
    m.Error = "the decode failed: " + full.Params->ReadError;
    return m;
  }
  const int pw = preview.Bitmap->Width(), ph = preview.Bitmap->Height();
  const int dw = full.Bitmap->Width(), dh = full.Bitmap->Height();
  m.PreviewWidth = pw;
  m.PreviewHeight = ph;
  m.DecodedWidth = dw;
  m.DecodedHeight = dh;
  const std::vector<Rgb> a = Pixels(*preview.Bitmap);
  const std::vector<Rgb> decoded = Pixels(*full.Bitmap);
  const std::vector<Rgb> b = Reduce(decoded, dw, dh, pw, ph);
  if (const char* dir = std::getenv("QV_RAW_PICTURES")) {
    const std::string base = std::string(dir) + "/" + Path.substr(Path.find_last_of('/') + 1);
    WritePpm(base + ".preview.ppm", a, pw, ph);
    WritePpm(base + ".decoded.ppm", decoded, dw, dh);
  }
  double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, chroma = 0;
  const double n = double(a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    const double ga = Gray(a[i]), gb = Gray(b[i]);
    sa += ga;
    sb += gb;
    saa += ga * ga;
    sbb += gb * gb;
    sab += ga * gb;
    const double ta = a[i].R + a[i].G + a[i].B + 1e-9, tb = b[i].R + b[i].G + b[i].B + 1e-9;
    chroma += (std::fabs(a[i].R / ta - b[i].R / tb) + std::fabs(a[i].G / ta - b[i].G / tb) +
               std::fabs(a[i].B / ta - b[i].B / tb)) / 3;
  }
  const double cov = sab / n - sa / n * sb / n;
  const double va = saa / n - sa / n * sa / n, vb = sbb / n - sb / n * sb / n;
  m.GrayCorrelation = va > 0 && vb > 0 ? cov / std::sqrt(va * vb) : 0;
  m.ChromaDistance = chroma / n;
  return m;
}

namespace {

std::string Sample(const char* Name) { return std::string(QV_TEST_DATA_DIR) + "/" + Name; }

TEST(CameraRawRealFiles, DecodeShowsTheSceneOfTheCamerasOwnPreview) {
  struct Case {
    const char* File;
    int Width, Height;  // of the decode
  };
  const Case cases[] = {
      {"kodak_dc50.kdc", 766, 510},  // tree-coded; a 96 x 64 TIFF thumbnail
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    const PreviewMatch m = CompareWithOwnPreview(Sample(c.File));
    ASSERT_TRUE(m.Error.empty()) << m.Error;
    EXPECT_EQ(m.DecodedWidth, c.Width);
    EXPECT_EQ(m.DecodedHeight, c.Height);
    EXPECT_TRUE(LooksLikeItsPreview(m)) << "gray correlation " << m.GrayCorrelation << ", colour distance "
                                        << m.ChromaDistance;
  }
}

TEST(CameraRawRealFiles, FoundByContentWhateverTheNameAndByTheRegisteredExtensions) {
  QxRegisterFurtherCodecs();
  std::ifstream in(Sample("kodak_dc50.kdc"), std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_FALSE(file.empty());
  TMemoryStream s;
  s.Write(file.data(), int64_t(file.size()));
  s.SetPosition(0);
  // A TIFF container of a camera in the table is camera raw, not TIFF, by content alone.
  EXPECT_EQ(QxFindStreamFormat(s), qxffRAW);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_TRUE(IsCameraRawStream(&s));
  for (const char* ext : {".crw", ".cr2", ".nef", ".raw", ".pef", ".raf", ".x3f", ".bay", ".orf", ".srf", ".mrw", ".dcr",
                          ".sr2"}) {
    TQxFileFormatInfo* e = QxFileFormatByExtension(ext);
    ASSERT_NE(e, nullptr) << ext;
    EXPECT_EQ(e->FormatId, qxffRAW) << ext;
  }
  EXPECT_EQ(QxFileFormatByExtension(".kdc"), nullptr);  // not among the registered names: found by content
}

}  // namespace
}  // namespace rawtest
