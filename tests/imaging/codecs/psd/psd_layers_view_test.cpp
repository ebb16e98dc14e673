// PSD layers through the I/O component: a layered view saved to ".psd" keeps every layer (read back by
// Pillow), loads back into a view layer by layer, and a single layer's transparency becomes the alpha.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/layer.h"
#include "imaging/view/view.h"
#include "tests/imaging/io/io_test_util.h"

using namespace qvio;

namespace {

struct Registered {
  Registered() { QxRegisterFurtherCodecs(); }
} registered;

// Fills B (24-bit) with a pattern of its own per Seed and, when Alpha >= 0, an alpha ramp from Alpha.
void Paint(TQxBitmap* B, int32_t W, int32_t H, int Seed, int Alpha) {
  ASSERT_TRUE(B->Allocate(W, H, TQxPixelFormat::qx24RGB));
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* r = static_cast<uint8_t*>(B->Scanline(y));
    for (int32_t x = 0; x < W; ++x) {
      r[3 * x] = uint8_t(Seed * 40 + x * 3);
      r[3 * x + 1] = uint8_t(Seed * 70 + y * 5);
      r[3 * x + 2] = uint8_t(Seed * 90 + x + y);
    }
  }
  if (Alpha < 0) return;
  TQxBitmap* a = B->GetAlphaChannel();
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* r = static_cast<uint8_t*>(a->Scanline(y));
    for (int32_t x = 0; x < W; ++x) r[x] = uint8_t(Alpha + x * 7 + y);
  }
}

// Red, green, blue, alpha bytes of a layer's bitmap (alpha 255 without a channel).
std::vector<uint8_t> Rgba(TQxBitmap* B) {
  std::vector<uint8_t> v;
  for (int32_t y = 0; y < B->Height(); ++y) {
    const uint8_t* r = static_cast<const uint8_t*>(B->Scanline(y));
    const uint8_t* a = B->HasAlphaChannel() ? static_cast<const uint8_t*>(B->GetAlphaChannel()->Scanline(y)) : nullptr;
    for (int32_t x = 0; x < B->Width(); ++x) v.insert(v.end(), {r[3 * x + 2], r[3 * x + 1], r[3 * x], a ? a[x] : uint8_t(255)});
  }
  return v;
}

struct TOutsideLayer {
  int X, Y, W, H;
  std::vector<uint8_t> Rgba;
};

// The layers of a PSD file as ImageMagick reads them (its frame 0 is the merged image).
std::vector<TOutsideLayer> MagickLayers(const std::string& Path, std::vector<uint8_t>* Merged = nullptr) {
  std::vector<TOutsideLayer> v;
  const std::string Geo = Path + ".geo";
  if (Shell("identify -format '%s %X %Y %w %h\\n' '" + Path + "' > '" + Geo + "'") != 0) return v;
  std::ifstream f(Geo);
  int S;
  TOutsideLayer l;
  while (f >> S >> l.X >> l.Y >> l.W >> l.H) {
    const std::string Px = Path + "." + std::to_string(S);
    Shell("convert '" + Path + "[" + std::to_string(S) + "]' -depth 8 rgba:'" + Px + "'");
    l.Rgba = ReadFile(Px);
    if (S == 0) {
      if (Merged) *Merged = l.Rgba;
    } else {
      v.push_back(l);
    }
  }
  return v;
}

// A 40x30 base and two translucent layers of odd sizes placed over it.
void BuildLayeredView(TQuillotView& V) {
  Paint(V.GetLayer(0)->Bitmap, 40, 30, 1, -1);
  struct {
    int X, Y, W, H, Alpha;
  } Spec[] = {{5, 6, 20, 10, 20}, {12, 3, 9, 14, 60}};
  for (int i = 0; i < 2; ++i) {
    TQxLayer* l = V.GetLayer(V.AddLayer());
    Paint(l->Bitmap, Spec[i].W, Spec[i].H, i + 2, Spec[i].Alpha);
    l->PosX = Spec[i].X;
    l->PosY = Spec[i].Y;
  }
  V.Update();
}

// Pillow's reading of a PSD: the merged image as RGB bytes into Out/merged, and per layer a line
// "x0 y0 x1 y1 mode" on stdout with its RGBA bytes into Out/layerN. Pillow 9.4 keeps the offsets of layer
// pixels relative to the layer block it copies into memory (so it misplaces every file's layers); such an
// offset is moved to the file's own before decoding, found by the PackBits compression word that precedes
// each channel's row table.
constexpr const char* kPillowLayers = R"PY(
import struct, sys
from PIL import Image
path, out = sys.argv[1], sys.argv[2]
d = open(path, 'rb').read()
im = Image.open(path)
open(out + '/merged', 'wb').write(im.convert('RGB').tobytes())
p = 26
p += 4 + struct.unpack('>I', d[p:p + 4])[0]
p += 4 + struct.unpack('>I', d[p:p + 4])[0]
block = p + 8
def file_offset(off, rows):
    for o in (off, off + block):
        if o >= 2 * rows + 2 and d[o - 2 * rows - 2:o - 2 * rows] == b'\x00\x01':
            return o
    return off
layers = []
for name, mode, bbox, tile in im.layers:
    rows = bbox[3] - bbox[1]
    layers.append((name, mode, bbox, [(t[0], t[1], file_offset(t[2], rows), t[3]) for t in tile]))
im.layers = layers
lines = []
# Backwards: Pillow opens on frame 1 showing the merged image, and seeking to the frame it is on does nothing.
for i in reversed(range(len(layers))):
    name, mode, bbox, tile = layers[i]
    im.seek(i + 1)
    im.load()
    w, h = bbox[2] - bbox[0], bbox[3] - bbox[1]
    layer = im if im.size == (w, h) else im.crop(bbox)
    open(out + '/layer%d' % i, 'wb').write(layer.convert('RGBA').tobytes())
    lines.insert(0, '%d %d %d %d %s' % (bbox[0], bbox[1], bbox[2], bbox[3], mode))
print('\n'.join(lines))
)PY";

}  // namespace

TEST(PsdLayersThroughIO, ViewSavesEveryLayerAndLoadsThemBack) {
  if (!HaveTool("identify")) GTEST_SKIP() << "ImageMagick is needed to read the layers back";
  const std::string Dir = TempDir();
  TQuillotView V(nullptr);
  BuildLayeredView(V);
  const std::string File = Dir + "/layers.psd";
  V.GetIO()->SaveToFile(File);
  ASSERT_FALSE(V.GetIO()->Aborting);

  // Every layer, at its place, with its pixels.
  std::vector<uint8_t> Merged;
  auto Outside = MagickLayers(File, &Merged);
  ASSERT_EQ(Outside.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    TQxLayer* l = V.GetLayer(i);
    EXPECT_EQ(Outside[size_t(i)].X, l->PosX) << i;
    EXPECT_EQ(Outside[size_t(i)].Y, l->PosY) << i;
    EXPECT_EQ(Outside[size_t(i)].W, l->Bitmap->Width()) << i;
    EXPECT_EQ(Outside[size_t(i)].Rgba, Rgba(l->Bitmap)) << "layer " << i;
  }
  // The merged image is all layers composed: the base where nothing lies over it.
  ASSERT_EQ(Merged.size(), size_t(40 * 30 * 4));
  const auto Base = Rgba(V.GetLayer(0)->Bitmap);
  EXPECT_TRUE(std::equal(Merged.begin(), Merged.begin() + 40 * 4, Base.begin()));

  // Back into a view of its own, replacing what it had.
  TQuillotView W(nullptr);
  Paint(W.GetLayer(0)->Bitmap, 7, 7, 5, -1);
  W.GetLayer(W.AddLayer());
  W.GetIO()->Params->PsdLoadLayers = 1;
  W.GetIO()->LoadFromFile(File);
  ASSERT_FALSE(W.GetIO()->Aborting);
  ASSERT_EQ(W.LayerCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(W.GetLayer(i)->PosX, V.GetLayer(i)->PosX) << i;
    EXPECT_EQ(W.GetLayer(i)->PosY, V.GetLayer(i)->PosY) << i;
    EXPECT_EQ(Rgba(W.GetLayer(i)->Bitmap), Rgba(V.GetLayer(i)->Bitmap)) << "layer " << i;
  }
  // Appended instead: a fourth to sixth layer.
  W.GetIO()->Params->PsdReplaceLayers = 0;
  W.GetIO()->LoadFromFile(File);
  EXPECT_EQ(W.LayerCount(), 6);
  Shell("rm -rf " + Dir);
}

TEST(PsdLayersThroughIO, SingleLayerTransparencyBecomesTheAlphaChannel) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is needed to read the file";
  const std::string Dir = TempDir();
  // The view library starts with its first view, as in the program.
  TQuillotView Started(nullptr);
  // A file of one translucent layer over an opaque merged image, as image editors write them.
  TQxBitmap Merged;
  Paint(&Merged, 12, 8, 3, -1);
  TQxLayer Layer(nullptr, nullptr, false);
  Paint(Layer.Bitmap, 12, 8, 3, 30);
  TList Layers;
  Layers.Add(&Layer);
  TIOParamsVals Params;
  TQxProgressInfo Progress;
  {
    TQxWideFileStream F(Dir + "/one.psd", fmCreate);
    QxCodecServices.WritePsdStream(&F, Params, Progress, &Merged, &Layers);
  }
  const auto Want = Rgba(Layer.Bitmap);
  auto Outside = MagickLayers(Dir + "/one.psd");
  ASSERT_EQ(Outside.size(), 1u);
  EXPECT_EQ(Outside[0].Rgba, Want) << "the outside reader sees one translucent layer";
  // A plain bitmap, no view: the one layer's alpha comes with the picture.
  TQxBitmap B;
  TQuillotIO IO(&B);
  IO.LoadFromFile(Dir + "/one.psd");
  ASSERT_FALSE(IO.Aborting);
  ASSERT_TRUE(B.HasAlphaChannel());
  EXPECT_EQ(Rgba(&B), Want);
  Shell("rm -rf " + Dir);
}

// Pillow takes a layer's channels in red, green, blue, alpha order whatever their ids say, and skips a byte
// after a channel that ends on an odd offset: the file is written so that such a reader gets every layer.
TEST(PsdLayersThroughIO, PillowReadsEveryLayerOfASavedView) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is needed to read the layers back";
  ScopedTempDir Dir;
  TQuillotView V(nullptr);
  BuildLayeredView(V);
  // A 2x1 layer: two different reds and alphas pack to an odd number of bytes.
  TQxLayer* Odd = V.GetLayer(V.AddLayer());
  Paint(Odd->Bitmap, 2, 1, 4, 90);
  Odd->PosX = 30;
  Odd->PosY = 20;
  V.Update();
  const std::string File = Dir / "layers.psd";
  V.GetIO()->SaveToFile(File);
  ASSERT_FALSE(V.GetIO()->Aborting);
  WriteText(Dir / "read.py", kPillowLayers);
  ASSERT_EQ(std::system(("/usr/bin/python3 '" + (Dir / "read.py") + "' '" + File + "' '" + Dir.Path + "' > '" +
                         (Dir / "layers.txt") + "'").c_str()),
            0);
  std::ifstream List(Dir / "layers.txt");
  int X0, Y0, X1, Y1, N = 0;
  std::string Mode;
  while (List >> X0 >> Y0 >> X1 >> Y1 >> Mode) {
    ASSERT_LT(N, 4);
    TQxLayer* l = V.GetLayer(N);
    EXPECT_EQ(X0, l->PosX) << N;
    EXPECT_EQ(Y0, l->PosY) << N;
    EXPECT_EQ(X1 - X0, l->Bitmap->Width()) << N;
    EXPECT_EQ(Y1 - Y0, l->Bitmap->Height()) << N;
    EXPECT_EQ(Mode, "RGBA") << N;
    EXPECT_EQ(ReadFile(Dir / ("layer" + std::to_string(N))), Rgba(l->Bitmap)) << "layer " << N;
    ++N;
  }
  EXPECT_EQ(N, 4);
  // The merged image as our own reader has it.
  TQxBitmap Merged;
  TQuillotIO IO(&Merged);
  IO.LoadFromFile(File);
  ASSERT_FALSE(IO.Aborting);
  EXPECT_EQ(ReadFile(Dir / "merged"), RgbOf(Merged));
}
