#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/psd.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/icc.h"
#include "imaging/foundation/metadata.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/layer.h"
#include "platform/base/lists.h"
#include "tests/imaging/io/io_test_util.h"

using namespace qvio;
using PF = TQxPixelFormat;

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); }
void Put32(Bytes& b, uint32_t v) { Put16(b, v >> 16); Put16(b, v & 0xFFFF); }
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
uint16_t Get16(const Bytes& b, size_t at) { return uint16_t(b[at] << 8 | b[at + 1]); }
uint32_t Get32(const Bytes& b, size_t at) { return uint32_t(Get16(b, at)) << 16 | Get16(b, at + 2); }

Bytes Header(int channels, int h, int w, int depth, int mode) {
  Bytes b = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
  Put16(b, channels);
  Put32(b, h);
  Put32(b, w);
  Put16(b, depth);
  Put16(b, mode);
  return b;
}

Bytes Resource(int id, const Bytes& data) {
  Bytes b = {'8', 'B', 'I', 'M'};
  Put16(b, id);
  Put16(b, 0);
  Put32(b, uint32_t(data.size()));
  Append(b, data);
  if (data.size() & 1) b.push_back(0);
  return b;
}

// A raw (uncompressed) layer channel: compression 0, then the rows.
Bytes RawChannel(const Bytes& rows) {
  Bytes b;
  Put16(b, 0);
  Append(b, rows);
  return b;
}

struct LayerSpec {
  int top, left, bottom, right;
  std::vector<std::pair<int, Bytes>> channels;  // id, channel data (compression word included)
  std::string name;
  uint8_t flags = 0;
  uint8_t opacity = 255;
  int mtop = 0, mleft = 0, mbottom = 0, mright = 0;
  bool mask = false;
};

Bytes LayerSection(const std::vector<LayerSpec>& layers, int countSign = 1) {
  Bytes info;
  Put16(info, uint16_t(int16_t(countSign * int(layers.size()))));
  for (const auto& l : layers) {
    Put32(info, l.top); Put32(info, l.left); Put32(info, l.bottom); Put32(info, l.right);
    Put16(info, uint16_t(l.channels.size()));
    for (const auto& [id, data] : l.channels) {
      Put16(info, uint16_t(int16_t(id)));
      Put32(info, uint32_t(data.size()));
    }
    Append(info, {'8', 'B', 'I', 'M', 'n', 'o', 'r', 'm', l.opacity, 0, l.flags, 0});
    Bytes extra;
    if (l.mask) {
      Put32(extra, 20);
      Put32(extra, l.mtop); Put32(extra, l.mleft); Put32(extra, l.mbottom); Put32(extra, l.mright);
      Append(extra, {0, 0, 0, 0});
    } else {
      Put32(extra, 0);
    }
    Put32(extra, 0);
    extra.push_back(uint8_t(l.name.size()));
    extra.insert(extra.end(), l.name.begin(), l.name.end());
    while (extra.size() % 4) extra.push_back(0);
    Put32(info, uint32_t(extra.size()));
    Append(info, extra);
  }
  for (const auto& l : layers)
    for (const auto& ch : l.channels) Append(info, ch.second);
  Bytes sec;
  Put32(sec, uint32_t(info.size()));
  Append(sec, info);
  Put32(sec, 0);
  Bytes out;
  Put32(out, uint32_t(sec.size()));
  Append(out, sec);
  return out;
}

// A whole file: header, colour map, resources, layer section and raw merged planes.
Bytes File(const Bytes& header, const Bytes& colorMap, const Bytes& resources, const Bytes& layers,
           const std::vector<Bytes>& planes) {
  Bytes f = header;
  Put32(f, uint32_t(colorMap.size()));
  Append(f, colorMap);
  Put32(f, uint32_t(resources.size()));
  Append(f, resources);
  if (layers.empty()) Put32(f, 0); else Append(f, layers);
  Put16(f, 0);
  for (const auto& p : planes) Append(f, p);
  return f;
}

struct ReadResult {
  bool aborted;
  std::unique_ptr<TQxBitmap> bitmap;
  std::unique_ptr<TIOParamsVals> params;
  std::vector<std::unique_ptr<TQxLayer>> layers;
};

ReadResult Read(const Bytes& file, bool loadLayers = false, bool withList = false, bool native = false) {
  ReadResult r;
  r.bitmap = std::make_unique<TQxBitmap>();
  r.params = std::make_unique<TIOParamsVals>();
  r.params->NativePixelFormat = native;
  TList list;
  TestProgress pr;
  auto s = StreamOf(file);
  ReadPsdStream(s.get(), r.bitmap.get(), *r.params, pr.Info, loadLayers, withList ? &list : nullptr);
  r.aborted = pr.Aborting;
  for (int32_t i = 0; i < list.Count(); ++i) r.layers.emplace_back(static_cast<TQxLayer*>(list.Items(i)));
  return r;
}

Bytes Fill(size_t n, uint8_t v) { return Bytes(n, v); }

// A 3 x 2 RGB file with three layers (10 + i filled 2 x 1 each) and merged planes 1, 2, 3.
Bytes ThreeLayerFile() {
  std::vector<LayerSpec> ls;
  for (int i = 0; i < 3; ++i) {
    LayerSpec l{0, i, 1, i + 2, {}, "L" + std::to_string(i)};
    l.channels = {{-1, RawChannel(Fill(2, 255))}, {0, RawChannel(Fill(2, uint8_t(10 + i)))},
                  {1, RawChannel(Fill(2, 0))}, {2, RawChannel(Fill(2, 0))}};
    ls.push_back(l);
  }
  return File(Header(3, 2, 3, 8, 3), {}, {}, LayerSection(ls), {Fill(6, 1), Fill(6, 2), Fill(6, 3)});
}

}  // namespace

// ---- PackBits ----------------------------------------------------------------------------------------

TEST(PsdPackBits, DecodesHeadersAndStaysInBounds) {
  struct Case { Bytes packed; int destLen; Bytes want; };
  const Case cases[] = {
      {{0x80}, 4, {}},                              // -128 is no operation
      {{0xFF, 7}, 4, {7, 7}},                       // -1: the byte twice
      {{2, 5, 6, 7}, 4, {5, 6, 7}},                 // 2: three literals
      {{0x80, 0xFD, 9, 1, 1, 2}, 8, {9, 9, 9, 9, 1, 2}},
      {{10, 1, 2}, 8, {1, 2}},                      // literal longer than the packed data
      {{0x81, 4}, 3, {4, 4, 4}},                    // run longer than the row
      {{0xFE}, 3, {}},                              // run without its byte
  };
  for (const auto& c : cases) {
    Bytes dest(size_t(c.destLen) + 4, 0xEE);
    const int32_t n = QxUnpackBitsRow(c.packed.data(), int32_t(c.packed.size()), dest.data(), c.destLen);
    EXPECT_EQ(Bytes(dest.begin(), dest.begin() + n), c.want);
    for (size_t i = size_t(c.destLen); i < dest.size(); ++i) EXPECT_EQ(dest[i], 0xEE) << "wrote past the row";
  }
}

TEST(PsdPackBits, EncodesRunsOfFourOrMoreAndRoundTrips) {
  Bytes out;
  const Bytes row = {1, 1, 1, 1, 1, 2, 3, 4};
  QxPackBitsRow(row.data(), 8, out);
  EXPECT_EQ(out, (Bytes{0xFC, 1, 2, 2, 3, 4}));

  std::mt19937 rng(7);
  for (int len : {0, 1, 3, 127, 128, 129, 300, 1000}) {
    for (int kind = 0; kind < 3; ++kind) {
      Bytes r(static_cast<size_t>(len));
      for (auto& v : r) v = kind == 0 ? uint8_t(rng()) : kind == 1 ? 9 : uint8_t(rng() % 3);
      out.clear();
      QxPackBitsRow(r.data(), len, out);
      EXPECT_LE(out.size(), size_t(len + (len + 127) / 128));
      for (size_t i = 0; i < out.size();) {
        ASSERT_NE(out[i], 0x80) << "encoder wrote -128";
        i += int8_t(out[i]) >= 0 ? size_t(out[i]) + 2 : 2;
      }
      Bytes back(static_cast<size_t>(len));
      EXPECT_EQ(QxUnpackBitsRow(out.data(), int32_t(out.size()), back.data(), len), len);
      EXPECT_EQ(back, r) << len << " " << kind;
    }
  }
}

// ---- probe -------------------------------------------------------------------------------------------

TEST(PsdProbe, ChecksHeaderFieldsAndRestoresPosition) {
  EXPECT_TRUE(IsPsdStream(StreamOf(Header(3, 1, 1, 8, 3)).get()));
  struct Case { size_t at; uint8_t value; };
  const Case bad[] = {{0, 'X'}, {5, 2}, {13, 0}, {13, 25}, {23, 0}, {23, 17}, {25, 10}};
  for (const auto& c : bad) {
    Bytes h = Header(3, 1, 1, 8, 3);
    h[c.at] = c.value;
    EXPECT_FALSE(IsPsdStream(StreamOf(h).get())) << c.at;
  }
  Bytes padded = {0, 0};
  Append(padded, Header(1, 1, 1, 8, 1));
  auto s = StreamOf(padded);
  s->SetPosition(2);
  EXPECT_TRUE(IsPsdStream(s.get()));
  EXPECT_EQ(s->Position(), 2);
  EXPECT_FALSE(IsPsdStream(StreamOf(Bytes(25, 0)).get()));
}

// ---- reading hand-made files --------------------------------------------------------------------------

TEST(PsdRead, RgbWithFourthChannelGivesAlpha) {
  Bytes res = Resource(1005, {0, 150, 0x80, 0, 0, 1, 0, 1, 0, 72, 0, 0, 0, 1, 0, 1});
  auto r = Read(File(Header(4, 1, 2, 8, 3), {}, res, {}, {{10, 20}, {30, 40}, {50, 60}, {0, 200}}));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.bitmap->PixelFormat(), PF::qx24RGB);
  EXPECT_EQ(RgbOf(*r.bitmap), (Bytes{10, 30, 50, 20, 40, 60}));
  EXPECT_EQ(AlphaOf(*r.bitmap), (Bytes{0, 200}));
  EXPECT_EQ(r.params->Width, 2);
  EXPECT_EQ(r.params->SamplesPerPixel, 4);
  EXPECT_EQ(r.params->DpiX, 150);  // 150.5 rounds half to even
  EXPECT_EQ(r.params->DpiY, 72);

  // Read again into the same bitmap from a file without alpha: the old alpha must not survive.
  TestProgress pr;
  auto s = StreamOf(File(Header(3, 1, 2, 8, 3), {}, {}, {}, {{1, 2}, {3, 4}, {5, 6}}));
  ReadPsdStream(s.get(), r.bitmap.get(), *r.params, pr.Info, false, nullptr);
  ASSERT_FALSE(pr.Aborting);
  EXPECT_EQ(RgbOf(*r.bitmap), (Bytes{1, 3, 5, 2, 4, 6}));
  EXPECT_EQ(AlphaOf(*r.bitmap), (Bytes{255, 255}));
}

TEST(PsdRead, IndexedTransparencyIndexGivesAlpha) {
  Bytes cmap(768);
  for (int i = 0; i < 256; ++i) {
    cmap[size_t(i)] = uint8_t(i);
    cmap[size_t(256 + i)] = uint8_t(255 - i);
    cmap[size_t(512 + i)] = 7;
  }
  auto r = Read(File(Header(1, 1, 4, 8, 2), cmap, Resource(1047, {0, 5}), {}, {{5, 1, 5, 200}}), false, false,
                true);
  ASSERT_FALSE(r.aborted);
  ASSERT_EQ(r.bitmap->PixelFormat(), PF::qx8p);
  EXPECT_EQ(AlphaOf(*r.bitmap), (Bytes{0, 255, 0, 255}));
  EXPECT_EQ(RgbOf(*r.bitmap), (Bytes{5, 250, 7, 1, 254, 7, 5, 250, 7, 200, 55, 7}));
}

TEST(PsdRead, BitmapModeRowsAreComplemented) {
  // 10 pixels: bits 1100000001 of "ink" in the file's sense (1 = black).
  auto r = Read(File(Header(1, 1, 10, 1, 0), {}, {}, {}, {{0xC0, 0x40}}));
  ASSERT_FALSE(r.aborted);
  ASSERT_EQ(r.bitmap->PixelFormat(), PF::qx1g);
  const Bytes rgb = RgbOf(*r.bitmap);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(rgb[size_t(x) * 3], (x < 2 || x == 9) ? 0 : 255) << x;
}

TEST(PsdRead, SixteenBitGrayNativeOrConverted) {
  const Bytes file = File(Header(1, 1, 2, 16, 1), {}, {}, {}, {{0x12, 0x34, 0xFF, 0x00}});
  auto native = Read(file, false, false, true);
  ASSERT_EQ(native.bitmap->PixelFormat(), PF::qx16g);
  const auto* w = reinterpret_cast<const uint16_t*>(native.bitmap->Scanline(0));
  EXPECT_EQ(w[0], 0x1234);
  EXPECT_EQ(w[1], 0xFF00);
  auto rgb = Read(file);
  EXPECT_EQ(rgb.bitmap->PixelFormat(), PF::qx24RGB);
  EXPECT_EQ(RgbOf(*rgb.bitmap)[3], 0xFF);
}

TEST(PsdRead, LabAndCmykChannelsLandInTheirBytes) {
  auto lab = Read(File(Header(3, 1, 1, 8, 9), {}, {}, {}, {{200}, {128}, {130}}), false, false, true);
  ASSERT_EQ(lab.bitmap->PixelFormat(), PF::qxCIELab);
  EXPECT_EQ(lab.bitmap->Scanline(0)[0], 200);
  EXPECT_EQ(lab.bitmap->Scanline(0)[1], 0);
  EXPECT_EQ(lab.bitmap->Scanline(0)[2], 2);
  auto cmyk = Read(File(Header(4, 1, 1, 16, 4), {}, {}, {}, {{1, 9}, {2, 9}, {3, 9}, {4, 9}}), false, false, true);
  ASSERT_EQ(cmyk.bitmap->PixelFormat(), PF::qxCMYK);
  EXPECT_EQ(Bytes(cmyk.bitmap->Scanline(0), cmyk.bitmap->Scanline(0) + 4), (Bytes{1, 2, 3, 4}));
}

TEST(PsdRead, LayersOnlyWhenAskedUnlessThereIsJustOne) {
  const Bytes file = ThreeLayerFile();
  auto noLayers = Read(file, false, true);
  ASSERT_FALSE(noLayers.aborted);
  EXPECT_TRUE(noLayers.layers.empty());
  EXPECT_EQ(RgbOf(*noLayers.bitmap), (Bytes{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}));

  auto layers = Read(file, true, true);
  ASSERT_FALSE(layers.aborted);
  ASSERT_EQ(layers.layers.size(), 3u);
  EXPECT_TRUE(layers.bitmap->IsEmpty()) << "the merged bitmap stays untouched";
  for (int i = 0; i < 3; ++i) {
    TQxLayer* l = layers.layers[size_t(i)].get();
    EXPECT_EQ(l->Name, "L" + std::to_string(i));
    EXPECT_EQ(l->PosX, i);
    ASSERT_EQ(l->Bitmap->Width(), 2);
    EXPECT_EQ(RgbOf(*l->Bitmap)[0], 10 + i);
  }

  std::vector<LayerSpec> one = {{0, 0, 1, 1, {{-1, RawChannel({7})}, {0, RawChannel({4})}}, "gray"}};
  auto single = Read(File(Header(1, 1, 1, 8, 1), {}, {}, LayerSection(one), {{99}}), false, true);
  ASSERT_EQ(single.layers.size(), 1u);
  EXPECT_EQ(AlphaOf(*single.layers[0]->Bitmap), (Bytes{7}));
  EXPECT_EQ(RgbOf(*single.bitmap)[0], 99) << "the merged picture is read too";
}

TEST(PsdRead, MaskLayersGroupMarkersAndUndecodableChannels) {
  LayerSpec masked{1, 2, 3, 4, {{0, RawChannel({1, 2, 3, 4})}, {-2, RawChannel({50, 60, 70})}}, "masked"};
  masked.mask = true;
  masked.mtop = 5; masked.mleft = 6; masked.mbottom = 6; masked.mright = 9;
  masked.flags = 2;
  masked.opacity = 128;
  LayerSpec group{0, 0, 0, 0, {{-2, Bytes{0, 0}}}, "group"};
  group.mask = true;
  // A channel compressed in a way not read: its bytes are skipped, the next channel still decodes.
  LayerSpec zipped{0, 0, 1, 2, {{0, Bytes{0, 2, 0xAA, 0xBB, 0xCC}}, {-1, RawChannel({9, 8})}}, "zip"};
  LayerSpec plain{0, 0, 1, 1, {{0, RawChannel({77})}}, "plain"};
  auto r = Read(File(Header(1, 1, 1, 8, 1), {}, {}, LayerSection({masked, group, zipped, plain}, -1), {{0}}),
                true, true, true);
  ASSERT_FALSE(r.aborted);
  ASSERT_EQ(r.layers.size(), 4u);
  TQxLayer* l = r.layers[0].get();
  EXPECT_FALSE(l->Visible);
  EXPECT_EQ(l->Opacity, 128);
  EXPECT_EQ(Bytes(l->Bitmap->Scanline(1), l->Bitmap->Scanline(1) + 2), (Bytes{3, 4}));
  TQxLayer* m = r.layers[1].get();
  EXPECT_TRUE(m->IsMask);
  EXPECT_FALSE(m->Visible);
  EXPECT_EQ(m->PosX, 6);
  EXPECT_EQ(m->PosY, 5);
  ASSERT_EQ(m->Bitmap->Width(), 3);
  EXPECT_EQ(Bytes(m->Bitmap->Scanline(0), m->Bitmap->Scanline(0) + 3), (Bytes{50, 60, 70}));
  EXPECT_EQ(r.layers[2]->Name, "zip");
  EXPECT_EQ(AlphaOf(*r.layers[2]->Bitmap), (Bytes{9, 8}));
  EXPECT_EQ(r.layers[3]->Name, "plain");
  EXPECT_TRUE(r.layers[3]->ClipToBase);
}

TEST(PsdRead, BadAndTruncatedFilesAbortCleanly) {
  const Bytes good = File(Header(3, 2, 2, 8, 3), {}, {}, {}, {Fill(4, 1), Fill(4, 2), Fill(4, 3)});
  ASSERT_FALSE(Read(good).aborted);
  // Sizes the data cannot fill are refused before anything is allocated.
  for (uint32_t side : {100000u, 0x7FFFFFFFu, 0x80000000u})
    for (int comp : {0, 1}) {
      Bytes huge = Header(24, 1, 1, 16, 3);
      for (int i = 0; i < 4; ++i) huge[14 + size_t(i)] = huge[18 + size_t(i)] = uint8_t(side >> (24 - 8 * i));
      Append(huge, Bytes(12, 0));
      Put16(huge, comp);
      Append(huge, Bytes(64, 0));
      EXPECT_TRUE(Read(huge).aborted) << side << " " << comp;
    }
  LayerSpec wide{0, 0, 0x7FFFFFFF, 0x7FFFFFFF, {{0, RawChannel({1, 2, 3})}, {-1, Bytes{0, 1, 0, 0}}}, "wide"};
  auto w = Read(File(Header(1, 1, 1, 8, 1), {}, {}, LayerSection({wide}), {{3}}), true, true);
  EXPECT_FALSE(w.aborted);
  EXPECT_TRUE(w.layers.empty());
  Bytes zip = File(Header(3, 2, 2, 8, 3), {}, {}, {}, {});
  zip[zip.size() - 1] = 2;
  EXPECT_TRUE(Read(zip).aborted);
  EXPECT_FALSE(Read(File(Header(1, 1, 1, 8, 7), {}, {}, {}, {{1}})).aborted);
  EXPECT_TRUE(Read(File(Header(1, 1, 1, 16, 7), {}, {}, {}, {{1, 2}})).aborted) << "nothing decodable";
  for (size_t cut = 0; cut < good.size(); ++cut) {
    auto r = Read(Bytes(good.begin(), good.begin() + std::ptrdiff_t(cut)));
    EXPECT_TRUE(r.aborted) << cut;
  }
  // A broken layer section gives up the layers, not the picture.
  Bytes layers = LayerSection({{0, 0, 1, 1, {{0, RawChannel({5})}}, "x"}});
  layers[4 + 4 + 2 + 16] = 0x7F;  // channel count far beyond any mode
  auto r = Read(File(Header(1, 1, 1, 8, 1), {}, {}, layers, {{42}}), true, true);
  EXPECT_FALSE(r.aborted);
  EXPECT_TRUE(r.layers.empty());
  EXPECT_EQ(RgbOf(*r.bitmap)[0], 42);
}

// ---- writing ------------------------------------------------------------------------------------------

TEST(PsdWrite, HeaderAndRecordFields) {
  auto merged = MakeRGB(4, 3);
  auto layer = std::make_unique<TQxLayer>(nullptr, nullptr, false);
  layer->Bitmap->Allocate(2, 2, PF::qx24RGB);
  layer->Bitmap->Fill(0);
  layer->Visible = false;
  layer->Opacity = 128;
  layer->Name = "A";
  layer->PosX = 1;
  TList list;
  list.Add(layer.get());
  TIOParamsVals params;
  params.DpiX = 300;
  params.DpiY = 300;
  TestProgress pr;
  TMemoryStream s;
  WritePsdStream(&s, params, pr.Info, merged.get(), &list);
  ASSERT_FALSE(pr.Aborting);
  const Bytes f = BytesOf(s);
  EXPECT_EQ(Get16(f, 12), 3);  // channels
  EXPECT_EQ(Get16(f, 22), 8);  // depth
  EXPECT_EQ(Get16(f, 24), 3);  // RGB
  size_t p = 26 + 4 + Get32(f, 26);
  const size_t resEnd = p + 4 + Get32(f, p);
  EXPECT_EQ(Bytes(f.begin() + std::ptrdiff_t(p + 4), f.begin() + std::ptrdiff_t(p + 10)),
            (Bytes{'8', 'B', 'I', 'M', 0x03, 0xED}));
  EXPECT_EQ(Get32(f, p + 4 + 12), 300u * 65536);
  p = resEnd + 4 + 4;  // section length, layer info length
  EXPECT_EQ(Get16(f, p), 1);
  p += 2;
  EXPECT_EQ(Get32(f, p + 4), 1u);   // left
  EXPECT_EQ(Get32(f, p + 12), 3u);  // right
  const int nch = Get16(f, p + 16);
  EXPECT_EQ(nch, 4);
  p += 18 + size_t(nch) * 6;
  EXPECT_EQ(f[p + 8], 128);  // opacity
  EXPECT_EQ(f[p + 10], 2);   // flags: hidden
  EXPECT_EQ(Get32(f, p + 12), 12u);
  EXPECT_EQ(Bytes(f.begin() + std::ptrdiff_t(p + 24), f.begin() + std::ptrdiff_t(p + 28)), (Bytes{1, 'A', 1, 1}));
  EXPECT_EQ(layer->Bitmap->HasAlphaChannel(), true);
  list.Clear();

  TQxBitmap f32(2, 2, PF::qx32f);
  TMemoryStream untouched;
  TestProgress pr2;
  WritePsdStream(&untouched, params, pr2.Info, &f32, nullptr);
  EXPECT_TRUE(pr2.Aborting);
  EXPECT_EQ(untouched.Size(), 0);
}

TEST(PsdWrite, LayersWithMaskReadBack) {
  auto merged = MakeRGB(6, 5);
  auto a = std::make_unique<TQxLayer>(nullptr, nullptr, false);
  a->Bitmap->AssignFrom(MakeRGB(3, 2).get());
  a->Bitmap->GetAlphaChannel()->Scanline(1)[2] = 17;
  a->PosX = 2;
  a->PosY = 1;
  a->Name = "Ünder";
  auto mask = std::make_unique<TQxLayer>(nullptr, nullptr, false);
  mask->IsMask = true;
  mask->Bitmap->Allocate(2, 1, PF::qx8g);
  mask->Bitmap->Scanline(0)[0] = 11;
  mask->Bitmap->Scanline(0)[1] = 22;
  mask->PosX = 4;
  mask->PosY = 3;
  auto b = std::make_unique<TQxLayer>(nullptr, nullptr, false);
  b->Bitmap->AssignFrom(MakeRGB(4, 4).get());
  b->Bitmap->SetPixelFormat(PF::qx8g);  // converted to the file's mode on writing
  b->Width = 2;                         // and resampled to its display size
  b->Height = 2;
  b->Opacity = 77;
  TList list;
  list.Add(a.get());
  list.Add(mask.get());
  list.Add(b.get());
  TIOParamsVals params;
  TestProgress pr;
  TMemoryStream s;
  WritePsdStream(&s, params, pr.Info, merged.get(), &list);
  list.Clear();
  ASSERT_FALSE(pr.Aborting);
  EXPECT_EQ(b->Bitmap->PixelFormat(), PF::qx24RGB);
  EXPECT_EQ(b->Bitmap->Width(), 2);

  auto r = Read(BytesOf(s), true, true);
  ASSERT_FALSE(r.aborted);
  ASSERT_EQ(r.layers.size(), 3u);
  EXPECT_EQ(r.layers[0]->Name, "Ünder");
  EXPECT_EQ(r.layers[0]->PosX, 2);
  EXPECT_EQ(RgbOf(*r.layers[0]->Bitmap), RgbOf(*a->Bitmap));
  EXPECT_EQ(AlphaOf(*r.layers[0]->Bitmap), AlphaOf(*a->Bitmap));
  EXPECT_TRUE(r.layers[1]->IsMask);
  EXPECT_EQ(r.layers[1]->PosX, 4);
  EXPECT_EQ(Bytes(r.layers[1]->Bitmap->Scanline(0), r.layers[1]->Bitmap->Scanline(0) + 2), (Bytes{11, 22}));
  EXPECT_EQ(r.layers[2]->Opacity, 77);
  EXPECT_EQ(RgbOf(*r.layers[2]->Bitmap), RgbOf(*b->Bitmap));
  auto m = Read(BytesOf(s));
  EXPECT_EQ(RgbOf(*m.bitmap), RgbOf(*merged));
}

// Every writable format through the I/O component and back, pixels exact.
TEST(PsdRoundTrip, EveryDepthThroughTheComponent) {
  QxRegisterPsdCodec();
  const std::string d = TempDir();
  auto base = MakeRGB(13, 7);
  for (PF fmt : {PF::qx1g, PF::qx8g, PF::qx8p, PF::qx24RGB, PF::qx32RGB, PF::qx16g, PF::qxRGB48, PF::qxCMYK,
                 PF::qxCIELab}) {
    TQxBitmap src;
    src.AssignFrom(base.get());
    src.SetPixelFormat(fmt);
    TQuillotIO w(&src);
    const std::string f = d + "/rt" + std::to_string(int(fmt)) + ".psd";
    w.SaveToFile(f);
    ASSERT_FALSE(w.Aborting) << int(fmt);
    TQuillotIO r;
    r.Params->NativePixelFormat = 1;
    r.LoadFromFile(f);
    ASSERT_FALSE(r.Aborting) << int(fmt);
    TQxBitmap* got = r.WorkBitmap();
    const PF want = fmt == PF::qx32RGB ? PF::qx24RGB : fmt;
    ASSERT_EQ(got->PixelFormat(), want) << int(fmt);
    EXPECT_EQ(RgbOf(*got), RgbOf(src)) << int(fmt);
    EXPECT_EQ(AlphaOf(*got), Bytes(13 * 7, 255)) << int(fmt);
    if (fmt != PF::qx32RGB && fmt != PF::qx1g) {
      for (int32_t y = 0; y < src.Height(); ++y)
        ASSERT_EQ(std::memcmp(got->Scanline(y), src.Scanline(y), size_t(src.BitCount() * src.Width() / 8)), 0)
            << int(fmt) << " row " << y;
    }
  }
}

TEST(PsdRoundTrip, MetadataResources) {
  TQxBitmap src;
  src.AssignFrom(MakeRGB(5, 4).get());
  TIOParamsVals params;
  params.DpiX = 240;
  params.DpiY = 120;
  params.XmpPacket = "<x:xmpmeta>psd</x:xmpmeta>";
  params.IPTC->AddRecord(2, 120, 5, "hello");
  params.ExifThumbnail = MakeRGB(8, 6);
  const uint8_t icc[4] = {1, 2, 3, 4};
  params.GetInputICC()->LoadFromBuffer(icc, 4);
  TestProgress pr;
  TMemoryStream s;
  WritePsdStream(&s, params, pr.Info, &src, nullptr);
  ASSERT_FALSE(pr.Aborting);
  auto r = Read(BytesOf(s));
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.params->DpiX, 240);
  EXPECT_EQ(r.params->DpiY, 120);
  EXPECT_EQ(r.params->XmpPacket, params.XmpPacket);
  const TQxIPTCInfoList& iptc = *r.params->IPTC;
  int found = 0;
  for (int32_t i = 0; i < iptc.Count(); ++i)
    if (iptc.DatasetNumber(i) == 120 && iptc.DataLength(i) == 5 && std::memcmp(iptc.Data(i), "hello", 5) == 0) ++found;
  EXPECT_EQ(found, 1);
  ASSERT_TRUE(r.params->ExifThumbnail);
  EXPECT_EQ(r.params->ExifThumbnail->Width(), 8);
  EXPECT_EQ(r.params->GetInputICC()->RawLength(), 4);

  // With the thumbnail asked for, it stands in for the picture.
  TQxBitmap b;
  TIOParamsVals p2;
  p2.UseExifThumbnail = 1;
  TestProgress pr2;
  s.SetPosition(0);
  ReadPsdStream(&s, &b, p2, pr2.Info, false, nullptr);
  EXPECT_FALSE(pr2.Aborting);
  EXPECT_EQ(b.Width(), 8);
}

// ---- outside readers and writers ---------------------------------------------------------------------

TEST(PsdOutside, PillowReadsOurFiles) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow on /usr/bin/python3 is not installed";
  const std::string d = TempDir();
  auto src = MakeRGB(19, 9);
  auto layer = std::make_unique<TQxLayer>(nullptr, nullptr, false);
  layer->Bitmap->AssignFrom(MakeRGB(5, 4).get());
  layer->Name = "top";
  TList list;
  list.Add(layer.get());
  TIOParamsVals params;
  TestProgress pr;
  TMemoryStream s;
  WritePsdStream(&s, params, pr.Info, src.get(), &list);
  list.Clear();
  ASSERT_FALSE(pr.Aborting);
  WriteFile(d + "/p.psd", BytesOf(s));
  int w = 0, h = 0;
  EXPECT_EQ(PillowPixels(d + "/p.psd", "RGB", &w, &h), RgbOf(*src));
  EXPECT_EQ(w, 19);
  EXPECT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + d +
                  "/p.psd'); assert [l[:3] for l in im.layers]==[('top','RGBA',(0,0,5,4))]\""),
            0);
  TQxBitmap gray;
  gray.AssignFrom(src.get());
  gray.SetPixelFormat(PF::qx8g);
  TMemoryStream g;
  WritePsdStream(&g, params, pr.Info, &gray, nullptr);
  WriteFile(d + "/g.psd", BytesOf(g));
  EXPECT_EQ(PillowPixels(d + "/g.psd", "RGB"), RgbOf(gray));
}

TEST(PsdOutside, ImageMagickFilesReadExactly) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
  const std::string d = TempDir();
  auto src = MakeRGB(23, 11);
  const Bytes rgb = RgbOf(*src);
  Bytes ppm;
  const std::string hdr = "P6\n23 11\n255\n";
  ppm.insert(ppm.end(), hdr.begin(), hdr.end());
  Append(ppm, rgb);
  WriteFile(d + "/in.ppm", ppm);
  QxRegisterPsdCodec();
  for (const char* opts : {"", "-compress None", "-type Grayscale", "-depth 16"}) {
    ASSERT_EQ(Shell("convert " + d + "/in.ppm " + std::string(opts) + " " + d + "/im.psd"), 0) << opts;
    TQuillotIO r;
    r.LoadFromFile(d + "/im.psd");
    ASSERT_FALSE(r.Aborting) << opts;
    const Bytes theirs = MagickPixels(d + "/im.psd", "RGB");
    EXPECT_EQ(RgbOf(*r.WorkBitmap()), theirs) << opts;
  }
  // A picture with transparency: ImageMagick adds one layer, which is read even unasked.
  ASSERT_EQ(Shell("convert " + d + "/in.ppm -alpha set -channel A -fx 'i/w' +channel " + d + "/a.psd"), 0);
  auto r = Read(ReadFile(d + "/a.psd"), false, true);
  ASSERT_FALSE(r.aborted);
  const Bytes rgba = MagickPixels(d + "/a.psd", "RGBA");
  ASSERT_EQ(rgba.size(), size_t(23 * 11 * 4));
  Bytes alpha;
  for (size_t i = 3; i < rgba.size(); i += 4) alpha.push_back(rgba[i]);
  EXPECT_EQ(AlphaOf(*r.bitmap), alpha);
  ASSERT_EQ(r.layers.size(), 1u);
  EXPECT_EQ(RgbOf(*r.layers[0]->Bitmap), rgb);
  EXPECT_EQ(AlphaOf(*r.layers[0]->Bitmap), alpha);

  // And our file through ImageMagick.
  TQuillotIO w(src.get());
  w.SaveToFile(d + "/ours.psd");
  ASSERT_FALSE(w.Aborting);
  EXPECT_EQ(MagickPixels(d + "/ours.psd", "RGB"), rgb);
}
