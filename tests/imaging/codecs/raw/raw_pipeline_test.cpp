// The whole reader: gains, demosaicing, colour and tone against a double-precision model of their arithmetic;
// the embedded preview, EXIF from raw containers, failures, and loading through the I/O component.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

#include "imaging/codecs/raw/camera_raw.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/tiff_tags.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "raw_fixture.h"

using namespace rawtest;

namespace {

struct Decoded {
  std::unique_ptr<TQxBitmap> Bitmap = std::make_unique<TQxBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>();
  bool Aborted = false;
};

Decoded Decode(const Bytes& File, const std::function<void(TIOParamsVals&)>& Set = nullptr, bool ParamsOnly = false) {
  QxRegisterFurtherCodecs();
  Decoded d;
  if (Set) Set(*d.Params);
  TMemoryStream s;
  if (!File.empty()) s.Write(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  std::atomic<bool> ab{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &ab;
  ReadCameraRawStream(&s, d.Bitmap.get(), *d.Params, pr, ParamsOnly);
  d.Aborted = ab;
  return d;
}

// A Nikon TIFF raw file with 12-bit packed sensor data of the given size.
// The Coolpix models ("E…") store the even rows first, then the odd ones.
Bytes NikonFile(const std::string& Model, const std::vector<int>& V, int High, int Wide) {
  MsbBits b;
  for (int i = 0; i < High; ++i) {
    const int row = Model[0] == 'E' ? i * 2 % High + i / (High / 2) : i;
    for (int x = 0; x < Wide; ++x) b.Put(uint32_t(V[size_t(row * Wide + x)]), 12);
  }
  Bytes data = b.Finish();
  data.resize(data.size() + 16, 0);
  return MakeTiff(false, {{Entry::Ascii(0x10F, "NIKON CORPORATION"), Entry::Ascii(0x110, "NIKON " + Model),
                           Entry::Short(262, 32803), Entry::Dir(0x14A, 1)},
                          {Entry::Short(0x100, uint32_t(Wide)), Entry::Short(0x101, uint32_t(High)),
                           Entry::Short(0x103, 1), Entry::Data(0x111, data)}});
}

// ---- the model ----------------------------------------------------------------------------------------------

struct Model {
  int High, Wide;
  uint32_t Pattern;
  int Colors = 3;
  double Gains[4] = {1, 1, 1, 1};
  int Black = 0, White = 16384;
  bool Matrix = false;
  double M[3][4] = {};
  bool Half = false, Deep = false;
  double Gamma = 0.6, Bright = 1.0;
  int AspectY = 1;

  int ColorAt(int R, int C) const { return int(Pattern >> ((((R << 1) & 14) + (C & 1)) << 1) & 3); }

  // Red, green, blue per output pixel, top row first.
  std::vector<double> Run(const std::vector<int>& Sensor, bool AutoBalance = false) const {
    const int sh = Half ? (High + 1) / 2 : High, sw = Half ? (Wide + 1) / 2 : Wide;
    std::vector<std::array<double, 4>> px(size_t(sh) * sw, {0, 0, 0, 0});
    for (int r = 0; r < High; ++r)
      for (int c = 0; c < Wide; ++c) {
        const int s = Half ? 1 : 0;
        px[size_t((r >> s) * sw + (c >> s))][size_t(ColorAt(r, c))] = Sensor[size_t(r * Wide + c)];
      }
    const double white = White - Black;
    double gains[4];
    std::copy(Gains, Gains + 4, gains);
    if (AutoBalance) {
      double sum[4] = {}, count[4] = {};
      for (const auto& p : px)
        for (int c = 0; c < Colors; ++c) {
          if (p[size_t(c)] == 0) continue;
          double v = p[size_t(c)] - Black;
          if (v > white - 100) continue;
          sum[c] += std::max(v, 0.0);
          count[c] += 1;
        }
      double dmax = 0;
      for (int c = 0; c < Colors; ++c) dmax = std::max(dmax, sum[c] /= count[c]);
      for (int c = 0; c < Colors; ++c) gains[c] = dmax / sum[c];
    }
    // The gains are single-precision, as the reader keeps them.
    for (auto& p : px)
      for (int c = 0; c < Colors; ++c)
        if (p[size_t(c)] != 0)
          p[size_t(c)] = std::clamp(double(std::trunc(float(p[size_t(c)] - Black) * float(gains[c]))), 0.0, white);
    const int edge = Half ? 0 : 1;
    if (!Half)
      for (int r = 1; r < sh - 1; ++r)
        for (int c = 1; c < sw - 1; ++c) {
          double sum[4] = {}, total[4] = {};
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
              if (!dy && !dx) continue;
              const int k = ColorAt(r + dy, c + dx);
              const double w = (dy == 0 || dx == 0) ? 2 : 1;
              sum[k] += px[size_t((r + dy) * sw + c + dx)][size_t(k)] * w;
              total[k] += w;
            }
          for (int k = 0; k < Colors; ++k)
            if (k != ColorAt(r, c) && total[k] > 0) px[size_t(r * sw + c)][size_t(k)] = std::floor(sum[k] / total[k]);
        }
    std::vector<int> hist(8192, 0);
    for (int r = edge; r < sh - edge; ++r)
      for (int c = edge; c < sw - edge; ++c) {
        auto& p = px[size_t(r * sw + c)];
        if (Matrix) {
          double rgb[3];
          for (int o = 0; o < 3; ++o) {
            rgb[o] = 0;
            for (int g = 0; g < Colors; ++g) rgb[o] += p[size_t(g)] * M[o][g];
          }
          for (int o = 0; o < 3; ++o) p[size_t(o)] = std::trunc(std::clamp(rgb[o], 0.0, white));
        }
        p[3] = std::trunc(std::min(std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) / 2, 65535.0));
        ++hist[size_t(int(p[3]) >> 3)];
      }
    const int64_t perc = int64_t(double(sw) * sh * 0.01);
    int v = 8191;
    for (int64_t total = 0; v > 0; --v)
      if ((total += hist[size_t(v)]) > perc) break;
    const double wp = v ? v * 16.0 : 1.0;
    const double scale = Bright * 442 / wp * (Deep ? 65535.0 / 255 : 1);
    const double limit = Deep ? 65535 : 255;
    std::vector<double> out;
    for (int r = edge; r < sh - edge; ++r)
      for (int k = 0; k < AspectY; ++k)
        for (int c = edge; c < sw - edge; ++c) {
          const auto& p = px[size_t(r * sw + c)];
          const double t = p[3] ? std::pow(2 * p[3] / wp, Gamma - 1) * scale : 0;
          for (int o = 0; o < 3; ++o) out.push_back(std::min(std::trunc(p[size_t(o)] * t), limit));
        }
    return out;
  }
};

std::vector<double> Pixels(TQxBitmap& B) {
  std::vector<double> v;
  for (int y = 0; y < B.Height(); ++y) {
    const uint8_t* row = B.Scanline(y);
    for (int x = 0; x < B.Width(); ++x) {
      if (B.PixelFormat() == TQxPixelFormat::qxRGB48) {
        const uint16_t* p = reinterpret_cast<const uint16_t*>(row) + 3 * x;
        v.insert(v.end(), {double(p[0]), double(p[1]), double(p[2])});
      } else {
        const uint8_t* p = row + 3 * x;  // blue, green, red
        v.insert(v.end(), {double(p[2]), double(p[1]), double(p[0])});
      }
    }
  }
  return v;
}

void ExpectNear(const std::vector<double>& Got, const std::vector<double>& Want) {
  ASSERT_EQ(Got.size(), Want.size());
  int off = 0;
  for (size_t i = 0; i < Got.size(); ++i)
    if (std::abs(Got[i] - Want[i]) > 1 && ++off < 5) ADD_FAILURE() << "value " << i << ": " << Got[i] << " vs " << Want[i];
  EXPECT_EQ(off, 0);
}

std::vector<int> Scene(int High, int Wide, uint32_t Seed) {
  std::mt19937 g(Seed);
  std::vector<int> v(size_t(High * Wide));
  for (int y = 0; y < High; ++y)
    for (int x = 0; x < Wide; ++x) v[size_t(y * Wide + x)] = 200 + (x * 3000) / Wide + (y * 500) / High + int(g() % 200);
  return v;
}

}  // namespace

TEST(CameraRawPipeline, ThreeColoursAgainstTheModel) {
  const int high = 14, wide = 18;
  const std::vector<int> s = Scene(high, wide, 4);
  const Bytes file = NikonFile("D70", s, high, wide);
  struct Variant {
    const char* Name;
    std::function<void(TIOParamsVals&)> Set;
    std::function<void(Model&)> Adjust;
    bool Auto;
  };
  const Variant variants[] = {
      {"defaults", nullptr, nullptr, false},
      {"slow interpolation asked: the same", [](TIOParamsVals& p) { p.RawFastInterpolation = 0; }, nullptr, false},
      {"red scale 2 doubles the red gain", [](TIOParamsVals& p) { p.RawRedScale = 2; },
       [](Model& m) { m.Gains[0] *= 2; }, false},
      {"gamma 1 is linear", [](TIOParamsVals& p) { p.RawGamma = 1; }, [](Model& m) { m.Gamma = 1; }, false},
      {"brighter", [](TIOParamsVals& p) { p.RawBright = 2; }, [](Model& m) { m.Bright = 2; }, false},
      {"48 bits", [](TIOParamsVals& p) { p.NativePixelFormat = 1; }, [](Model& m) { m.Deep = true; }, false},
      {"automatic balance", [](TIOParamsVals& p) { p.RawAutoWhiteBalance = 1; }, nullptr, true},
      {"half size", [](TIOParamsVals& p) { p.RawHalfSize = 1; }, [](Model& m) { m.Half = true; }, false},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.Name);
    Decoded d = Decode(file, v.Set);
    ASSERT_FALSE(d.Aborted) << d.Params->ReadError;
    EXPECT_EQ(d.Params->Width, wide - 2);
    EXPECT_EQ(d.Params->Height, high - 2);
    EXPECT_EQ(d.Params->RawCamera, "NIKON D70 ");
    Model m{high, wide, 0x16161616u};
    m.Gains[0] = 2.043;
    m.Gains[2] = 1.625;
    if (v.Adjust) v.Adjust(m);
    const std::vector<int> stored = [&] {
      std::vector<int> x(s.size());
      for (size_t i = 0; i < s.size(); ++i) x[i] = s[i] << 2;
      return x;
    }();
    const int outW = m.Half ? (wide + 1) / 2 : wide - 2, outH = m.Half ? (high + 1) / 2 : high - 2;
    EXPECT_EQ(d.Bitmap->Width(), outW);
    EXPECT_EQ(d.Bitmap->Height(), outH);
    EXPECT_EQ(d.Params->BitsPerSample, m.Deep ? 16 : 8);
    ExpectNear(Pixels(*d.Bitmap), m.Run(stored, v.Auto));
  }
}

TEST(CameraRawPipeline, FourColoursThroughTheDerivedMatrix) {
  // A Nikon E5700 is a four-colour camera without a fixed matrix: the CMYG matrix is derived.
  const int high = 10, wide = 12;
  const std::vector<int> s = Scene(high, wide, 8);
  Decoded d = Decode(NikonFile("E5700", s, high, wide));
  ASSERT_FALSE(d.Aborted) << d.Params->ReadError;
  // The matrix by cofactors: for each left-out colour, the inverse of the other three responses.
  const double g[4][3] = {{0.11, 0.86, 0.08}, {0.50, 0.29, 0.51}, {0.11, 0.92, 0.75}, {0.81, 0.98, 0.08}};
  Model m{high, wide, 0xB4B4B4B4u};
  m.Colors = 4;
  m.Matrix = true;
  for (int k = 0; k < 4; ++k) {
    int kept[3], n = 0;
    for (int i = 0; i < 4; ++i)
      if (i != k) kept[n++] = i;
    double a[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) a[i][j] = g[kept[i]][j];
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    for (int r = 0; r < 3; ++r)
      for (int j = 0; j < 3; ++j) {
        // inverse[r][j] = cofactor[j][r] / det
        const int r1 = (j + 1) % 3, r2 = (j + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
        m.M[r][kept[j]] += (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
      }
  }
  for (auto& row : m.M) {
    const double sum = row[0] + row[1] + row[2] + row[3];
    for (double& x : row) x /= sum;
  }
  m.Gains[0] = 1.3;
  m.Gains[1] = 1.3;
  m.Gains[3] = 1.148;
  std::vector<int> stored(s.size());
  for (size_t i = 0; i < s.size(); ++i) stored[i] = s[i] << 2;
  ExpectNear(Pixels(*d.Bitmap), m.Run(stored));
}

TEST(CameraRawPipeline, TallPixelsAreRepeatedRows) {
  // The Nikon D1X stores half-height pixels: every converted row fills two bitmap rows.
  const int high = 6, wide = 4024;
  const std::vector<int> s = Scene(high, wide, 2);
  Decoded d = Decode(NikonFile("D1X", s, high, wide));
  ASSERT_FALSE(d.Aborted) << d.Params->ReadError;
  ASSERT_EQ(d.Bitmap->Height(), 2 * (high - 2));
  ASSERT_EQ(d.Bitmap->Width(), wide - 2);
  for (int y = 0; y < d.Bitmap->Height(); y += 2)
    EXPECT_EQ(std::memcmp(d.Bitmap->Scanline(y), d.Bitmap->Scanline(y + 1), size_t(wide - 2) * 3), 0);
}

TEST(CameraRawPipeline, ParamsOnlyAndFailures) {
  const std::vector<int> s = Scene(8, 10, 1);
  {
    Decoded d;
    d.Bitmap->Allocate(3, 3, TQxPixelFormat::qx24RGB);
    QxRegisterFurtherCodecs();
    const Bytes f = NikonFile("D70", s, 8, 10);
    TMemoryStream st;
    st.Write(f.data(), int64_t(f.size()));
    std::atomic<bool> ab{false};
    TQxProgressInfo pr;
    pr.AbortFlag = &ab;
    ReadCameraRawStream(&st, d.Bitmap.get(), *d.Params, pr, true);
    EXPECT_FALSE(ab);
    EXPECT_EQ(d.Bitmap->Width(), 3);
    EXPECT_EQ(d.Params->Width, 8);
    EXPECT_EQ(d.Params->Height, 6);
    EXPECT_EQ(d.Params->RawCamera, "NIKON D70 ");
  }
  {
    Decoded d = Decode(Bytes(3000, 9));
    EXPECT_TRUE(d.Aborted);
    EXPECT_NE(d.Params->ReadError.find("Camera RAW"), std::string::npos);
    EXPECT_TRUE(d.Bitmap->IsEmpty());
  }
  {
    // A Kodak file of a compression the reader does not decode names it.
    const Bytes f = MakeTiff(false, {{Entry::Ascii(0x10F, "Kodak"), Entry::Ascii(0x110, "DCS760C"), Entry::Dir(0x14A, 1)},
                                     {Entry::Short(0x100, 10), Entry::Short(0x101, 8), Entry::Short(0x103, 5),
                                      Entry::Data(0x111, Bytes(200, 0))}});
    Decoded d = Decode(f);
    EXPECT_TRUE(d.Aborted);
    EXPECT_NE(d.Params->ReadError.find("compression 5"), std::string::npos);
  }
  {
    // A tree that overflows its node pool ends the load with the decoder's message.
    Bytes f(260 + 2048 + 4096 + 200, 0);
    std::memcpy(f.data(), "FOVb", 4);
    f[248] = 8;
    f[252] = 6;
    Bytes text;
    for (const char* t : {"CAMMANUF", "SIGMA", "CAMMODEL", "SD9"}) {
      for (const char* c = t; *c; ++c) text.insert(text.end(), {uint8_t(*c), 0});
      text.insert(text.end(), {0, 0});
    }
    const uint32_t at = uint32_t(f.size());
    f.insert(f.end(), text.begin(), text.end());
    const uint32_t dir = uint32_t(f.size());
    for (uint32_t x : {0x464D4143u, at - 24, dir})
      for (int k = 0; k < 4; ++k) f.push_back(uint8_t(x >> (8 * k)));
    Decoded d = Decode(f);
    EXPECT_TRUE(d.Aborted);
    EXPECT_EQ(d.Params->ReadError, "Camera RAW: decoder table overflow");
  }
}

// ---- preview and metadata ----------------------------------------------------------------------------------

namespace {

Bytes Jpeg(int W, int H, uint8_t Shade) {
  TQxBitmap b;
  b.Allocate(W, H, TQxPixelFormat::qx24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W * 3; ++x) b.Scanline(y)[x] = uint8_t(Shade + x);
  TMemoryStream s;
  TIOParamsVals p;
  std::atomic<bool> ab{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &ab;
  WriteJpegStream(&s, &b, p, pr);
  Bytes out(size_t(s.Size()));
  s.SetPosition(0);
  s.Read(out.data(), int64_t(out.size()));
  return out;
}

Bytes CiffWithPreviews(const std::string& Model, bool Sizes = true) {
  Writer w;
  w.Text("II", false);
  w.U32(26);
  w.Text("HEAPCCDR", false);
  w.PadTo(26);
  Bytes mm;
  for (char c : std::string("Canon")) mm.push_back(uint8_t(c));
  mm.push_back(0);
  for (char c : Model) mm.push_back(uint8_t(c));
  mm.push_back(0);
  Writer sz;
  sz.U16(0);
  sz.U16(40);
  sz.U16(30);
  Writer set;
  set.U32(0);
  Bytes wb(64, 0);
  wb[14] = 3;
  Bytes soft = {'F', 'i', 'r', 'm', 'w', 'a', 'r', 'e', ' ', '1', 0};
  std::vector<std::pair<uint16_t, Bytes>> recs = {{0x080A, mm},    {0x080B, soft}, {0x1835, set.B},
                                                  {0x102A, wb},    {0x2007, Jpeg(32, 24, 10)},
                                                  {0x2008, Jpeg(16, 12, 90)}};
  if (Sizes) recs.push_back({0x1031, sz.B});
  std::vector<uint32_t> at;
  for (auto& r : recs) {
    at.push_back(uint32_t(w.Size()) - 26);
    w.Append(r.second);
  }
  const uint32_t table = uint32_t(w.Size()) - 26;
  w.U16(uint32_t(recs.size()));
  for (size_t i = 0; i < recs.size(); ++i) {
    w.U16(recs[i].first);
    w.U32(uint32_t(recs[i].second.size()));
    w.U32(at[i]);
  }
  w.U32(table);
  return w.B;
}

}  // namespace

TEST(CameraRawPipeline, EmbeddedPreviewWhenAsked) {
  const Bytes f = CiffWithPreviews("Canon EOS D60");
  Decoded d = Decode(f, [](TIOParamsVals& p) { p.RawUseExifThumbnail = 1; });
  EXPECT_FALSE(d.Aborted);
  ASSERT_FALSE(d.Bitmap->IsEmpty());
  EXPECT_EQ(d.Bitmap->Width(), 16);  // the smaller of the two previews
  EXPECT_EQ(d.Bitmap->Height(), 12);
  EXPECT_EQ(d.Params->Width, 38);    // the raw picture's size less 2
  EXPECT_EQ(d.Params->Height, 28);
  EXPECT_EQ(d.Params->RawUseExifThumbnail, 1);
  // A preview is shown even when the camera is not one the reader decodes; the abort flag says so.
  Decoded u = Decode(CiffWithPreviews("Canon EOS D60", false), [](TIOParamsVals& p) { p.RawUseExifThumbnail = 1; });
  EXPECT_TRUE(u.Aborted);
  EXPECT_EQ(u.Bitmap->Width(), 16);
}

TEST(CameraRawPipeline, TiffRawPreviewWhenAsked) {
  // The first directory of a TIFF-based raw file holds a small RGB picture: the preview.
  Bytes thumb;
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) thumb.insert(thumb.end(), {uint8_t(200), uint8_t(20 * x), uint8_t(30 * y)});
  Writer bps;
  for (int i = 0; i < 3; ++i) bps.U16(8);
  Entry bits{0x102, 3, 3};
  bits.Blob = bps.B;
  const std::vector<int> sc = Scene(8, 10, 3);
  MsbBits b;
  for (int v : sc) b.Put(uint32_t(v), 12);
  Bytes data = b.Finish();
  data.resize(data.size() + 8);
  const Bytes f = MakeTiff(false, {{Entry::Short(0x100, 8), Entry::Short(0x101, 6), bits, Entry::Short(0x103, 1),
                                    Entry::Short(262, 2), Entry::Ascii(0x10F, "NIKON CORPORATION"),
                                    Entry::Ascii(0x110, "NIKON D70"), Entry::Data(0x111, thumb), Entry::Short(0x115, 3),
                                    Entry::Short(0x116, 6), Entry::Long(0x117, uint32_t(thumb.size())), Entry::Dir(0x14A, 1)},
                                   {Entry::Short(0x100, 10), Entry::Short(0x101, 8), Entry::Short(0x103, 1),
                                    Entry::Data(0x111, data)}});
  Decoded d = Decode(f, [](TIOParamsVals& p) { p.RawUseExifThumbnail = 1; });
  EXPECT_FALSE(d.Aborted) << d.Params->ReadError;
  ASSERT_EQ(d.Bitmap->Width(), 8);
  ASSERT_EQ(d.Bitmap->Height(), 6);
  EXPECT_EQ(d.Bitmap->Scanline(2)[3 * 4 + 2], 200);  // red, stored blue-green-red
  EXPECT_EQ(d.Params->Width, 8);                      // the raw picture's size less 2
  // Without the option the raw picture itself is decoded.
  Decoded full = Decode(f);
  EXPECT_FALSE(full.Aborted);
  EXPECT_EQ(full.Bitmap->Width(), 8);
  EXPECT_EQ(full.Bitmap->Height(), 6);
  EXPECT_NE(full.Bitmap->Scanline(2)[3 * 4 + 2], 200);
}

TEST(CameraRawPipeline, ExifFromRawContainers) {
  Decoded c = Decode(CiffWithPreviews("Canon EOS D60"), nullptr, true);
  EXPECT_EQ(c.Params->ExifMake, "Canon");
  EXPECT_EQ(c.Params->ExifModel, "Canon EOS D60");
  EXPECT_EQ(c.Params->ExifSoftware, "Firmware 1");
  ASSERT_TRUE(c.Params->ExifThumbnail);
  EXPECT_EQ(c.Params->ExifThumbnail->Width(), 16);
  ASSERT_TRUE(c.Params->ExifMakerNote);
  EXPECT_EQ(c.Params->ExifMakerNote->EntryCount(), 1);

  // A TIFF-based raw file: its EXIF directory reaches the parameters.
  Bytes rational(8, 0);
  rational[0] = 1;
  rational[4] = 250;
  Entry exposure{0x829A, 5, 1};
  exposure.Blob = rational;
  MsbBits b;
  for (int i = 0; i < 80; ++i) b.Put(uint32_t(i * 40), 12);
  Bytes data = b.Finish();
  data.resize(data.size() + 8);
  const Bytes f = MakeTiff(false, {{Entry::Short(0x100, 4), Entry::Short(0x101, 4), Entry::Ascii(0x10F, "NIKON CORPORATION"),
                                    Entry::Ascii(0x110, "NIKON D70"), Entry::Short(262, 32803), Entry::Dir(0x14A, 1),
                                    Entry::Dir(0x8769, 2)},
                                   {Entry::Short(0x100, 10), Entry::Short(0x101, 8), Entry::Short(0x103, 1),
                                    Entry::Data(0x111, data)},
                                   {exposure}});
  Decoded t = Decode(f);
  ASSERT_FALSE(t.Aborted) << t.Params->ReadError;
  EXPECT_EQ(t.Params->ExifMake, "NIKON CORPORATION");
  EXPECT_DOUBLE_EQ(t.Params->ExifExposureTime, 1.0 / 250);
}

TEST(CameraRawPipeline, LoadsThroughTheIOComponentByExtension) {
  QxRegisterFurtherCodecs();
  const int high = 120, wide = 180;
  std::vector<int> s(size_t(high * wide));
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) {
      // Colour bands: the first third red, then green, then blue, under a bright and dark ramp.
      const int band = x * 3 / wide, want = (x % 2) + 2 * (y % 2);  // the colour of this photosite, 0x16 pattern
      const int colour = int(0x16161616u >> ((((y << 1) & 14) + (x & 1)) << 1) & 3);
      (void)want;
      s[size_t(y * wide + x)] = (colour == band ? 3000 : 300) * (y + 10) / (high + 10);
    }
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("qv_raw_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string name = (dir / "bands.NEF").string();
  {
    const Bytes f = NikonFile("D70", s, high, wide);
    TFileStream out(name, fmCreate);
    out.Write(f.data(), int64_t(f.size()));
  }
  TQxBitmap bmp;
  TQuillotIO io(&bmp);
  io.LoadFromFile(name);
  ASSERT_FALSE(io.Aborting) << io.Params->ReadError;
  EXPECT_EQ(io.Params->FileType, qxffRAW);
  ASSERT_EQ(bmp.Width(), wide - 2);
  io.SavePngFile((dir / "bands.png").string());
  // Left third reddish, middle greenish, right third bluish.
  const uint8_t* row = bmp.Scanline(high / 2);
  auto dominant = [&](int x) {
    const uint8_t* p = row + 3 * x;
    return p[2] > p[1] && p[2] > p[0] ? 0 : p[1] > p[0] ? 1 : 2;
  };
  EXPECT_EQ(dominant(5), 0);
  EXPECT_EQ(dominant(wide / 2), 1);
  EXPECT_EQ(dominant(wide - 8), 2);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

// ---- the Fuji layout and the Foveon passes --------------------------------------------------------------

TEST(CameraRawPipeline, UndiagonalDefinesEveryOutputPixel) {
  for (bool deep : {false, true}) {
    TQxBitmap b;
    const int w = 24, h = 20;
    b.Allocate(w, h, deep ? TQxPixelFormat::qxRGB48 : TQxPixelFormat::qx24RGB);
    for (int y = 0; y < h; ++y) {
      uint8_t* row = b.Scanline(y);
      std::memset(row, 0, size_t(w) * (deep ? 6 : 3));
      for (int x = 0; x < w; ++x) {
        // A diamond of non-zero pixels, as the diagonal loaders leave it.
        if (std::abs(x - w / 2) + std::abs(y - h / 2) > 10) continue;
        for (int c = 0; c < 3; ++c) {
          const int v = 50 + x * 5 + y * 3 + c;
          if (deep) reinterpret_cast<uint16_t*>(row)[3 * x + c] = uint16_t(v * 200);
          else row[3 * x + c] = uint8_t(v);
        }
      }
    }
    // The top row needs a first and last pixel that are set.
    for (int c = 0; c < 3; ++c) {
      if (deep) reinterpret_cast<uint16_t*>(b.Scanline(0))[3 * 4 + c] = 1000, reinterpret_cast<uint16_t*>(b.Scanline(0))[3 * 18 + c] = 1000;
      else b.Scanline(0)[3 * 4 + c] = 9, b.Scanline(0)[3 * 18 + c] = 9;
    }
    deep ? QxRawUndiagonal48(&b) : QxRawUndiagonal24(&b);
    const int e = 2 * (w - 4) - 4, n = 18;
    ASSERT_EQ(b.Height(), e);
    ASSERT_EQ(b.Width(), 2 * n);
    const size_t bytes = size_t(b.Width()) * (deep ? 6 : 3);
    // The last row repeats the one above it, not whatever memory held.
    EXPECT_EQ(std::memcmp(b.Scanline(e - 1), b.Scanline(e - 2), bytes), 0);
    for (int y = 0; y < e; ++y)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(deep ? reinterpret_cast<uint16_t*>(b.Scanline(y))[c] : b.Scanline(y)[c], 0);
  }
}

TEST(CameraRawPipeline, UndiagonalEdgesRepeatTheSampleAbove) {
  // The turned-back picture interleaves two lattices: output pixel (j - 1, l) takes grid sample (j, l / 2)
  // when j + l is even and averages its four grid neighbours otherwise. The last written row and the last
  // column have no neighbour below or to the right; there the odd lattice repeats what the row above left in
  // that column. Every input pixel differs, so a sample from the wrong grid row shows.
  for (bool deep : {false, true}) {
    SCOPED_TRACE(deep ? "48-bit" : "24-bit");
    const int w = 8, h = 8;
    TQxBitmap b;
    b.Allocate(w, h, deep ? TQxPixelFormat::qxRGB48 : TQxPixelFormat::qx24RGB);
    auto value = [&](int y, int x, int c) { return 1 + (y * w + x) * 3 + c; };
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
          if (deep) reinterpret_cast<uint16_t*>(b.Scanline(y))[3 * x + c] = uint16_t(value(y, x, c) * 100);
          else b.Scanline(y)[3 * x + c] = uint8_t(value(y, x, c));
        }
    deep ? QxRawUndiagonal48(&b) : QxRawUndiagonal24(&b);
    const int n = w - 1, e = 2 * w - 4;  // the top row is set from its first to its last pixel
    ASSERT_EQ(b.Width(), 2 * n);
    ASSERT_EQ(b.Height(), e);
    auto px = [&](int y, int x, int c) {
      return deep ? int(reinterpret_cast<const uint16_t*>(b.Scanline(y))[3 * x + c]) : int(b.Scanline(y)[3 * x + c]);
    };
    int nonzero = 0;
    for (int j = 2; j < e; ++j)
      for (int l = 1; l < 2 * n; ++l) {
        const bool odd = (j + l) & 1, edge = j == e - 1 || l == 2 * n - 1;
        if (!odd || !edge) continue;
        for (int c = 0; c < 3; ++c) {
          ASSERT_EQ(px(j - 1, l, c), px(j - 2, l, c)) << "output row " << j - 1 << ", column " << l;
          nonzero += px(j - 1, l, c) != 0;
        }
      }
    EXPECT_GT(nonzero, 6);
  }
}

TEST(CameraRawPipeline, FoveonPassesKeepTheirLimits) {
  EXPECT_EQ(apply_step_curve(-100, nullptr, 0), -100);
  const int16_t curve[] = {0, 0, 1, 2};  // entries 1..3
  EXPECT_EQ(apply_step_curve(-3, curve, 3), -3);
  EXPECT_EQ(apply_step_curve(-1, curve, 3), -1);
  EXPECT_EQ(apply_step_curve(0, curve, 3), 0);
  EXPECT_EQ(apply_step_curve(2, curve, 3), 2);
  EXPECT_EQ(apply_step_curve(9, curve, 3), 3);
  for (int size : {3, 4, 5, 16}) {
    RawRun r(Bytes{});
    r.Store(size, size + 1, 0);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size + 1; ++x)
        for (int c = 0; c < 3; ++c) r.C->Pixels[y * (size + 1) + x][c] = uint16_t(5000 + 3000 * c + ((x * 7 + y * 13) % 11) * 900);
    foveon_interpolate(*r.C);
    for (int i = 0; i < size * (size + 1); ++i)
      for (int c = 0; c < 3; ++c) EXPECT_LE(r.C->Pixels[i][c], 24100);  // the last pass moves chroma a little
  }
  // A uniform picture is uniform after the first pass: only the channel mixing of the weights acts.
  RawRun u(Bytes{});
  u.Store(3, 3, 0);
  for (int i = 0; i < 9; ++i)
    for (int c = 0; c < 3; ++c) u.C->Pixels[i][c] = uint16_t(2000 + 1000 * c);
  foveon_interpolate(*u.C);
  for (int i = 1; i < 9; ++i)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(u.C->Pixels[i][c], u.C->Pixels[0][c]);
}

TEST(CameraRawPipeline, FujiTurnedGridComesBackWhole) {
  // A FinePix S5000 file: 2152 rows of 1472 little-endian samples after 11,824 bytes; sample c <= 1423 of
  // file row r is the photosite the sensor's turned grid puts at store cell (1423 - c + r / 2,
  // c + (r + 1) / 2). A disc drawn in those cells must come back from the turned-back picture round and
  // whole: a placement or turn-back off by a cell leaves holes or shears it into an ellipse.
  Writer w;
  w.PadTo(11824);
  for (int r = 0; r < 2152; ++r)
    for (int c = 0; c < 1472; ++c) {
      const int y = 1423 - c + r / 2, x = c + (r + 1) / 2;
      w.U16(std::hypot(y - 1100.0, x - 1350.0) < 500 ? 3000u : 600u);
    }
  Decoded d = Decode(FujiFile("FinePix S5000", w.B));
  ASSERT_FALSE(d.Aborted) << d.Params->ReadError;
  TQxBitmap& b = *d.Bitmap;
  ASSERT_GT(b.Width(), b.Height());  // the S5000's landscape picture
  int top = b.Height(), bottom = -1, left = b.Width(), right = -1;
  int64_t bright = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Scanline(y)[3 * x + 1] > 128) {
        top = std::min(top, y), bottom = std::max(bottom, y), left = std::min(left, x), right = std::max(right, x);
        ++bright;
      }
  const double high = bottom - top + 1, wide = right - left + 1;
  EXPECT_NEAR(wide / high, 1.0, 0.02);
  EXPECT_NEAR(double(bright) / (high * wide), M_PI / 4, 0.02);  // a solid disc fills pi/4 of its box
  EXPECT_GT(top, 0);
  EXPECT_LT(bottom, b.Height() - 1);
}
