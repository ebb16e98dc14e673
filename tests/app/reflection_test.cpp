// The reflection pipeline without a window: exact values of the build steps, and end to end on real
// files checked by an independent reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/reflection.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/layer.h"
#include "imaging/view/view.h"
#include "platform/base/exceptions.h"
#include "tests/app/saved_files.h"

namespace fs = std::filesystem;

namespace {

// A w x h picture with a recognisable pattern, optionally with an alpha channel.
void FillPicture(TQxBitmap* B, int32_t W, int32_t H, bool WithAlpha, uint8_t AlphaValue = 255) {
  B->Allocate(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H; ++y) {
    auto* P = reinterpret_cast<TQxRGB*>(B->Scanline(y));
    for (int32_t x = 0; x < W; ++x) P[x] = TQxRGB{uint8_t(x * 7), uint8_t(y * 11), uint8_t(x + y)};
  }
  if (WithAlpha) {
    TQxBitmap* A = B->GetAlphaChannel();
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) A->SetPixel8(x, y, AlphaValue);
  }
}

struct Pipeline {
  std::unique_ptr<TQuillot> Source = std::make_unique<TQuillot>(nullptr);
  std::unique_ptr<TQuillot> View = std::make_unique<TQuillot>(nullptr);
  int32_t Layer = -1;

  Pipeline(int32_t W, int32_t H, bool WithAlpha = false, uint8_t AlphaValue = 255) {
    FillPicture(Source->CurrentBitmap(), W, H, WithAlpha, AlphaValue);
    Source->UpdateView();
    View->ResetToBlank();
    ResetLayers(View.get());
    Layer = AddReflectionLayer(View.get());
  }
  void Build(const TReflectionSettings& S) { BuildReflection(View.get(), Source.get(), S, Layer); }
  TQxBitmap* Base() { return View->GetLayer(0)->Bitmap; }
  TQxBitmap* Reflection() { return View->GetLayer(Layer)->Bitmap; }
  // Alpha of line i of the reflection (column for left/right, row for top/bottom), sampled at its middle.
  int32_t LineAlpha(int32_t Side, int32_t i) {
    TQxBitmap* R = Reflection();
    TQxBitmap* A = R->GetAlphaChannel();
    if (Side == qxSideLeft || Side == qxSideRight) return A->GetPixel8(i, R->Height() / 2);
    return A->GetPixel8(R->Width() / 2, i);
  }
};

std::string Python() {
  if (!fs::exists("/usr/bin/python3")) return "";
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) return "";
  return "/usr/bin/python3";
}

}  // namespace

TEST(Reflection, DefaultBuildOnA100x40Picture) {
  Pipeline P(100, 40);
  P.Build(TReflectionSettings{});
  EXPECT_EQ(P.Base()->Width(), 100);
  EXPECT_EQ(P.Base()->Height(), 80);
  TQxLayer* L = P.View->GetLayer(1);
  EXPECT_EQ(L->PosX, 0);
  EXPECT_EQ(L->PosY, 40);
  EXPECT_EQ(L->Width, 100);
  EXPECT_EQ(L->Height, 40);
  EXPECT_TRUE(L->Locked);
  for (int32_t r = 0; r < 40; ++r)
    EXPECT_EQ(P.LineAlpha(qxSideBottom, r), int32_t(std::nearbyint(255 - r * 6.375))) << "row " << r;
  EXPECT_EQ(P.LineAlpha(qxSideBottom, 39), 6);
  // The reflection is the picture turned upside down; the new canvas area is transparent.
  EXPECT_EQ(P.Reflection()->GetPixel24(3, 0), P.Source->CurrentBitmap()->GetPixel24(3, 39));
  EXPECT_EQ(P.Base()->GetAlphaChannel()->GetPixel8(5, 60), 0);
  EXPECT_EQ(P.Base()->GetAlphaChannel()->GetPixel8(5, 10), 255);
  EXPECT_EQ(P.View->CurrentLayerIndex(), 1);
}

TEST(Reflection, RampOfFourLinesOnEverySide) {
  for (int32_t Side : {qxSideLeft, qxSideTop, qxSideRight, qxSideBottom}) {
    Pipeline P(4, 4);
    TReflectionSettings S;
    S.Side = Side;
    P.Build(S);
    const bool FromFar = Side == qxSideLeft || Side == qxSideTop;
    const int32_t Expected[4] = {255, 191, 128, 64};
    for (int32_t k = 0; k < 4; ++k)
      EXPECT_EQ(P.LineAlpha(Side, FromFar ? 3 - k : k), Expected[k]) << "side " << Side << " step " << k;
  }
}

TEST(Reflection, HalfSizeRampOfTenLines) {
  for (int32_t Side : {qxSideLeft, qxSideTop, qxSideRight, qxSideBottom}) {
    Pipeline P(10, 10);
    TReflectionSettings S;
    S.Side = Side;
    S.SizePercent = 50;
    P.Build(S);
    std::vector<int32_t> Got;
    for (int32_t i = 0; i < 10; ++i) Got.push_back(P.LineAlpha(Side, i));
    const std::vector<int32_t> FarSides = {0, 0, 0, 0, 0, 51, 102, 153, 204, 255};
    const std::vector<int32_t> NearSides = {255, 204, 153, 102, 51, 0, 0, 0, 0, 0};
    EXPECT_EQ(Got, (Side == qxSideLeft || Side == qxSideTop) ? FarSides : NearSides) << "side " << Side;
  }
}

TEST(Reflection, ZeroSizeAndEqualTransparencies) {
  for (int32_t Side : {qxSideLeft, qxSideTop, qxSideRight, qxSideBottom}) {
    Pipeline P(6, 6);
    TReflectionSettings S;
    S.Side = Side;
    S.SizePercent = 0;
    S.TranBegin = 30;  // opacity 178
    P.Build(S);
    const bool FromFar = Side == qxSideLeft || Side == qxSideTop;
    for (int32_t i = 0; i < 6; ++i) {
      const int32_t Want = (!FromFar && i == 0) ? 178 : 0;
      EXPECT_EQ(P.LineAlpha(Side, i), Want) << "side " << Side << " line " << i;
    }
  }
  Pipeline P(8, 8);
  TReflectionSettings S;
  S.TranBegin = 50;
  S.TranEnd = 50;
  P.Build(S);
  for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(P.LineAlpha(qxSideBottom, i), 128);
}

TEST(Reflection, ExistingAlphaIsOnlyLowered) {
  Pipeline P(4, 4, true, 100);
  P.Build(TReflectionSettings{});
  // 255 - o is taken off the existing 100: 100, 36, 0, 0.
  const int32_t Expected[4] = {100, 36, 0, 0};
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(P.LineAlpha(qxSideBottom, i), Expected[i]);
  EXPECT_EQ(P.Base()->GetAlphaChannel()->GetPixel8(1, 1), 100);
}

TEST(Reflection, TransparencyToOpacity) {
  const std::pair<int32_t, int32_t> Cases[] = {{0, 255}, {10, 230}, {30, 178}, {50, 128}, {100, 0}, {-10, 255}, {110, 0}};
  for (auto [T, O] : Cases) EXPECT_EQ(TransparencyToOpacity(T), O) << T;
}

TEST(Reflection, BlendOntoColor) {
  TQxBitmap B;
  B.Allocate(2, 1, TQxPixelFormat::qx24RGB);
  B.SetPixel24(0, 0, TQxRGB{0, 0, 0});
  B.SetPixel24(1, 0, TQxRGB{100, 100, 100});
  B.GetAlphaChannel()->SetPixel8(0, 0, 128);
  B.GetAlphaChannel()->SetPixel8(1, 0, 255);
  BlendOntoColor(&B, clWhite);
  EXPECT_EQ(B.GetPixel24(0, 0), (TQxRGB{127, 127, 127}));
  BlendOntoColor(&B, clBlack);
  EXPECT_EQ(B.GetPixel24(1, 0), (TQxRGB{99, 99, 99}));
  EXPECT_TRUE(B.HasAlphaChannel());

  TQxBitmap NoAlpha;
  NoAlpha.Allocate(1, 1, TQxPixelFormat::qx24RGB);
  NoAlpha.SetPixel24(0, 0, TQxRGB{9, 9, 9});
  BlendOntoColor(&NoAlpha, clWhite);
  EXPECT_EQ(NoAlpha.GetPixel24(0, 0), (TQxRGB{9, 9, 9}));
}

TEST(Reflection, NegativeSpaces) {
  {
    Pipeline P(20, 10);
    TReflectionSettings S;
    S.Side = qxSideRight;
    S.Space = -20;
    P.Build(S);
    EXPECT_EQ(P.Base()->Width(), 20);
    EXPECT_EQ(P.View->GetLayer(1)->PosX, 0);
  }
  {
    // The canvas would be 0 or negative wide: layer 0 keeps the picture's own size.
    for (int32_t Space : {-400, -40}) {
      Pipeline P(20, 10);
      TReflectionSettings S;
      S.Side = qxSideLeft;
      S.Space = Space;
      P.Build(S);
      EXPECT_EQ(P.Base()->Width(), 20) << Space;
      EXPECT_EQ(P.Base()->Height(), 10) << Space;
    }
  }
  {
    Pipeline P(20, 10);
    TReflectionSettings S;
    S.Side = qxSideLeft;
    S.Space = -5;
    P.Build(S);
    EXPECT_EQ(P.Base()->Width(), 35);
    // Picture aligned right: its first column sits at x = 15.
    EXPECT_EQ(P.Base()->GetPixel24(15, 3), P.Source->CurrentBitmap()->GetPixel24(0, 3));
  }
}

TEST(Reflection, SaveFilterIndexOf) {
  const std::pair<const char*, int32_t> Cases[] = {
      {"photo.JPEG", 3}, {"a.tiff", 1}, {"a.if", 1}, {"a.qxv", 17}, {"noext", 0}, {"a.gif", 2},
      {"a.png", 7},      {"a.pgm", 9},  {"a.eps", 13}, {"a.psd", 16}, {"a.avi", 20}, {"a.xyz", 0},
      {"a.bmp", 5},      {"a.ico", 6},  {"a.wbmp", 10}, {"a.jp2", 11}, {"a.j2c", 12}, {"a.pdf", 14},
      {"name.", 0},      {"dir.d/name", 0},
  };
  for (auto [Name, N] : Cases) EXPECT_EQ(SaveFilterIndexOf(Name), N) << Name;
}

TEST(Reflection, GetAppDirEndsWithDelimiter) {
  const std::string D = GetAppDir();
  ASSERT_FALSE(D.empty());
  EXPECT_EQ(D.back(), '/');
  EXPECT_TRUE(fs::is_directory(D));
}

TEST(Reflection, BlackAndWhiteKeepsItsFadeWhenAlphaIsRemoved) {
  Pipeline P(8, 8);
  TReflectionSettings S;
  S.ColorMode = qxBlackWhite;
  S.RemoveAlpha = true;
  S.Background = clWhite;
  P.Build(S);
  TQxBitmap* R = P.Reflection();
  ASSERT_EQ(R->PixelFormat(), TQxPixelFormat::qx24RGB);
  // Black pixels fade towards white down the ramp: the far rows are lighter than the near ones.
  int32_t NearDark = 0, FarDark = 0;
  for (int32_t x = 0; x < 8; ++x) {
    NearDark += 255 - R->GetPixel24(x, 0).g;
    FarDark += 255 - R->GetPixel24(x, 7).g;
  }
  EXPECT_GT(NearDark, FarDark);
  EXPECT_FALSE(P.View->EnableAlphaChannel());
}

TEST(Reflection, FailedLoadsClearTheSource) {
  auto Source = std::make_unique<TQuillot>(nullptr);
  FillPicture(Source->CurrentBitmap(), 5, 5, false);
  const fs::path Dir = fs::temp_directory_path() / ("qv_reflection_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  const std::string Garbage = (Dir / "garbage.png").string();
  {
    FILE* F = std::fopen(Garbage.c_str(), "wb");
    std::fputs("this is not a picture at all", F);
    std::fclose(F);
  }
  const std::string Unknown = (Dir / "picture.unknownext").string();
  fs::copy_file(Garbage, Unknown, fs::copy_options::overwrite_existing);
  for (const std::string& Name : {(Dir / "missing.png").string(), Garbage, Unknown}) {
    FillPicture(Source->CurrentBitmap(), 5, 5, false);
    EXPECT_FALSE(LoadSourceImage(Source.get(), Name)) << Name;
    EXPECT_TRUE(Source->CurrentBitmap()->IsEmpty()) << Name;
  }
  fs::remove_all(Dir);
}

TEST(Reflection, SavingToAnExtensionWithoutWriterFails) {
  Pipeline P(6, 4);
  P.Build(TReflectionSettings{});
  const fs::path Dir = fs::temp_directory_path() / ("qv_reflection_save_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  EXPECT_THROW(SaveReflection(P.View.get(), (Dir / "out.nowriter").string(), TReflectionSettings{}), Exception);
  EXPECT_FALSE(fs::exists(Dir / "out.nowriter"));
  fs::remove_all(Dir);
}

// A folder that cannot be written: the message names the file the user chose and why, never the scratch
// file the save writes first.
TEST(Reflection, FailedSaveNamesTheChosenFileAndWhy) {
  Pipeline P(6, 4);
  P.Build(TReflectionSettings{});
  const std::string Name =
      (fs::temp_directory_path() / ("qv_reflection_gone_" + std::to_string(::getpid())) / "out.png").string();
  try {
    SaveReflection(P.View.get(), Name, TReflectionSettings{});
    ADD_FAILURE() << "saved into a folder that does not exist";
  } catch (const Exception& E) {
    const std::string Text = E.what();
    EXPECT_NE(Text.find("\"" + Name + "\""), std::string::npos) << Text;
    EXPECT_NE(Text.find("No such file or directory"), std::string::npos) << Text;
    EXPECT_EQ(Text.find(".saving"), std::string::npos) << Text;
  }
}

// A save whose writer fails after the file was opened leaves the old file as it was, and nothing beside it.
TEST(Reflection, FailedSaveKeepsTheOldFile) {
  QxRegisterFurtherCodecs();
  // Reflected to the right, the canvas is 66000 pixels wide: more than a PCX file can hold.
  Pipeline P(33000, 1);
  TReflectionSettings S;
  S.Side = qxSideRight;
  P.Build(S);
  const fs::path Dir = fs::temp_directory_path() / ("qv_reflection_keep_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  const fs::path Old = Dir / "picture.pcx";
  {
    FILE* F = std::fopen(Old.string().c_str(), "wb");
    std::fputs("the user's earlier picture", F);
    std::fclose(F);
  }
  EXPECT_THROW(SaveReflection(P.View.get(), Old.string(), S), Exception);
  EXPECT_EQ(ReadWholeFile(Old), "the user's earlier picture");
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1);
  fs::remove_all(Dir);
}

// Several files from one merge are the files that one save each writes.
TEST(Reflection, OneMergeForSeveralFiles) {
  QxRegisterFurtherCodecs();
  const fs::path Dir = fs::temp_directory_path() / ("qv_reflection_many_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  for (bool RemoveAlpha : {false, true}) {
    Pipeline P(40, 30, true, 180);
    TReflectionSettings S;
    S.TranEnd = 70;
    S.RemoveAlpha = RemoveAlpha;
    S.Background = TColor(0x3366CC);
    P.Build(S);
    const char* Exts[] = {"gif", "png", "jpg", "tif", "bmp", "ico", "psd"};
    std::vector<std::string> Together;
    for (const char* E : Exts) {
      SaveReflection(P.View.get(), (Dir / (std::string("one.") + E)).string(), S);
      Together.push_back((Dir / (std::string("all.") + E)).string());
    }
    SaveReflections(P.View.get(), Together, S);
    for (const char* E : Exts)
      EXPECT_EQ(ReadWholeFile(Dir / (std::string("one.") + E)), ReadWholeFile(Dir / (std::string("all.") + E)))
          << E << " remove alpha " << RemoveAlpha;
  }
  fs::remove_all(Dir);
}


// Every format of the save dialog, saved from the layers merged band by band as the writer goes, is
// byte for byte the file saved from one merge of the whole picture: every side, a picture with and without
// alpha channel, the alpha kept and removed, and a black-and-white (1-bit) reflection. The pictures are tall
// enough for many bands.
TEST(Reflection, SavedFromBandsAsFromTheWholeMerge) {
  QxRegisterFurtherCodecs();
  const fs::path Dir = fs::temp_directory_path() / ("qv_reflection_bands_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  const char* Exts[] = {"tif", "gif", "jpg", "pcx", "bmp", "ico", "png", "tga", "ppm",
                        "wbmp", "jp2", "j2k", "eps", "pdf", "dcx", "psd"};
  int32_t Wrong = 0;
  for (int32_t Side : {qxSideLeft, qxSideTop, qxSideRight, qxSideBottom}) {
    for (int Kind = 0; Kind < 4; ++Kind) {
      const bool SourceAlpha = Kind == 1 || Kind == 3, RemoveAlpha = Kind >= 2;
      Pipeline P(Side == qxSideTop ? 37 : 41, 150, SourceAlpha, 170);
      TReflectionSettings S;
      S.Side = Side;
      S.Space = 5;
      S.SizePercent = 70;
      S.TranBegin = 15;
      S.RemoveAlpha = RemoveAlpha;
      S.ColorMode = Side == qxSideRight ? qxBlackWhite : qxColorful;
      S.WaveOn = Side == qxSideTop;
      S.Background = TColor(0x3366CC);
      P.Build(S);
      for (const char* E : Exts) {
        const fs::path Bands = Dir / (std::string("bands.") + E), Whole = Dir / (std::string("whole.") + E);
        SaveReflection(P.View.get(), Bands.string(), S);
        SaveReflectionsFromWholeMerge(P.View.get(), {Whole.string()}, S);
        const std::string B = ReadWholeFile(Bands), W = ReadWholeFile(Whole);
        EXPECT_FALSE(W.empty()) << E;
        if (WithoutDates(B) != WithoutDates(W)) {
          ++Wrong;
          ADD_FAILURE() << E << " side " << Side << " source alpha " << SourceAlpha << " remove alpha " << RemoveAlpha;
        }
      }
    }
  }
  EXPECT_EQ(Wrong, 0);
  fs::remove_all(Dir);
}

// A picture large enough for PNG's banded road, whose rows the merge makes straight into the writer's
// bands: the file is the one the whole merge gives, on every side, with the picture's alpha and without.
TEST(Reflection, LargePngSavedFromBandsAsFromTheWholeMerge) {
  QxRegisterFurtherCodecs();
  const fs::path Dir = fs::temp_directory_path() / ("qv_reflection_large_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  for (int32_t Side : {qxSideBottom, qxSideLeft}) {
    for (bool SourceAlpha : {false, true}) {
      Pipeline P(640, 560, SourceAlpha, 180);
      TReflectionSettings S;
      S.Side = Side;
      S.Space = 7;
      S.SizePercent = 60;
      P.Build(S);
      const fs::path Bands = Dir / "bands.png", Whole = Dir / "whole.png";
      SaveReflection(P.View.get(), Bands.string(), S);
      SaveReflectionsFromWholeMerge(P.View.get(), {Whole.string()}, S);
      const std::string B = ReadWholeFile(Bands);
      EXPECT_GT(B.size(), 1000u);
      EXPECT_TRUE(B == ReadWholeFile(Whole)) << "side " << Side << " source alpha " << SourceAlpha;
    }
  }
  fs::remove_all(Dir);
}

// The same with the writers' options of the save dialog: interlaced and palette PNG, compressed and
// JPEG-compressed TIFF, 8-bit RLE and 4-bit BMP, progressive, gray and CMYK JPEG, uncompressed TGA and PCX.
TEST(Reflection, SavedFromBandsWithWriterOptions) {
  QxRegisterFurtherCodecs();
  const fs::path Dir = fs::temp_directory_path() / ("qv_reflection_options_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  struct Variant {
    const char* Name;
    const char* Ext;
    void (*Set)(TIOParamsVals&);
  };
  const Variant Variants[] = {
      {"interlaced", "png", [](TIOParamsVals& P) { P.PngInterlaced = 1; }},
      {"palette", "png", [](TIOParamsVals& P) { P.SamplesPerPixel = 1; P.BitsPerSample = 8; }},
      {"two colours", "png", [](TIOParamsVals& P) { P.SamplesPerPixel = 1; P.BitsPerSample = 1; }},
      {"lzw", "tif", [](TIOParamsVals& P) { P.TiffCompression = 5; }},
      {"packbits", "tif", [](TIOParamsVals& P) { P.TiffCompression = 8; }},
      {"deflate", "tif", [](TIOParamsVals& P) { P.TiffCompression = 9; }},
      {"jpeg in tiff", "tif", [](TIOParamsVals& P) { P.TiffCompression = 7; }},
      {"8-bit rle", "bmp", [](TIOParamsVals& P) { P.SamplesPerPixel = 1; P.BmpCompression = 1; }},
      {"4-bit core", "bmp", [](TIOParamsVals& P) { P.SamplesPerPixel = 1; P.BitsPerSample = 4; P.BmpVersion = 2; }},
      {"progressive", "jpg", [](TIOParamsVals& P) { P.JpegProgressive = 1; P.JpegOptimalHuffman = 1; }},
      {"gray", "jpg", [](TIOParamsVals& P) { P.JpegColorSpace = 1; }},
      {"cmyk", "jpg", [](TIOParamsVals& P) { P.JpegColorSpace = 3; }},
      {"raw tga", "tga", [](TIOParamsVals& P) { P.TgaCompressed = 0; }},
      {"raw pcx", "pcx", [](TIOParamsVals& P) { P.PcxCompression = 0; }},
  };
  for (bool RemoveAlpha : {false, true}) {
    Pipeline P(45, 140, true, 200);
    TReflectionSettings S;
    S.SizePercent = 80;
    S.RemoveAlpha = RemoveAlpha;
    S.Background = TColor(0x2040E0);
    P.Build(S);
    std::map<std::string, std::string> Plain;  // each format with the default options
    for (const Variant& V : Variants) {
      const fs::path F = Dir / (std::string("plain.") + V.Ext);
      SaveReflection(P.View.get(), F.string(), S);
      Plain[V.Ext] = ReadWholeFile(F);
    }
    for (const Variant& V : Variants) {
      TIOParamsVals& Params = *P.View->GetIO()->Params;
      V.Set(Params);
      const fs::path Bands = Dir / (std::string("bands.") + V.Ext), Whole = Dir / (std::string("whole.") + V.Ext);
      SaveReflection(P.View.get(), Bands.string(), S);
      SaveReflectionsFromWholeMerge(P.View.get(), {Whole.string()}, S);
      const std::string B = ReadWholeFile(Bands);
      EXPECT_FALSE(B.empty()) << V.Name;
      EXPECT_TRUE(B == ReadWholeFile(Whole)) << V.Name << " remove alpha " << RemoveAlpha;
      EXPECT_NE(B, Plain[V.Ext]) << V.Name << ": the option did not reach the writer";
      // The next variant starts from the defaults again.
      TQuillot Fresh(nullptr);
      Params.AssignParams(*Fresh.GetIO()->Params);
    }
  }
  fs::remove_all(Dir);
}

// End to end: real files in, saved files checked by Pillow against a reference computed in Python from
// the source file alone.
class ReflectionFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    QxRegisterFurtherCodecs();
    Py = Python();
    if (Py.empty()) GTEST_SKIP() << "python3 with PIL is not installed";
    Dir = fs::temp_directory_path() / ("qv_reflection_e2e_" + std::to_string(::getpid()));
    fs::create_directories(Dir);
    Script = std::string(QV_SOURCE_DIR) + "/tests/app/reflection_check.py";
    ASSERT_EQ(Run("make", (Dir / "src.png").string() + " " + (Dir / "src.jpg").string()), 0);
  }
  void TearDown() override {
    if (!Dir.empty() && !std::getenv("QV_KEEP")) fs::remove_all(Dir);
  }
  int Run(const std::string& Verb, const std::string& Args) {
    const std::string Cmd = Py + " " + Script + " " + Verb + " " + Args;
    return std::system(Cmd.c_str());
  }
  // The picture in File reflected with S as the open road builds it; null when it does not load.
  static std::unique_ptr<TQuillot> Reflect(const std::string& File, const TReflectionSettings& S, bool Native = false) {
    auto Source = std::make_unique<TQuillot>(nullptr);
    Source->GetIO()->SetNativePixelFormat(Native);
    if (!LoadSourceImage(Source.get(), File)) return nullptr;
    auto View = std::make_unique<TQuillot>(nullptr);
    View->ResetToBlank();
    ResetLayers(View.get());
    BuildReflection(View.get(), Source.get(), S, AddReflectionLayer(View.get()));
    return View;
  }
  std::string Py, Script;
  fs::path Dir;
};

TEST_F(ReflectionFiles, EverySideModeAndFormat) {
  struct Mode {
    int32_t ColorMode;
    bool Wave;
    bool RemoveAlpha;
  };
  const Mode Modes[] = {{qxColorful, false, false}, {qxColorful, false, true}, {qxGray, false, false},
                        {qxBlackWhite, false, true}, {qxColorful, true, false}};
  // The JPEG is compared with the BMP of the same build, encoded by Pillow at the same quality.
  const char* Formats[] = {"png", "tif", "bmp", "ppm", "tga", "pcx", "jpg"};
  int Case = 0;
  std::string Manifest;
  for (const char* Src : {"src.png", "src.jpg"}) {
    for (int32_t Side : {qxSideLeft, qxSideTop, qxSideRight, qxSideBottom}) {
      for (const Mode& M : Modes) {
        TReflectionSettings S;
        S.Side = Side;
        S.Space = 3;
        S.SizePercent = 80;
        S.TranBegin = 10;
        S.TranEnd = 90;
        S.ColorMode = M.ColorMode;
        S.WaveOn = M.Wave;
        S.RemoveAlpha = M.RemoveAlpha;
        S.Background = TColor(0x3080C0);
        auto View = Reflect((Dir / Src).string(), S);
        ASSERT_TRUE(View);
        std::string Twin;
        for (const char* Fmt : Formats) {
          const std::string Out = (Dir / ("out" + std::to_string(Case++) + "." + Fmt)).string();
          if (std::string(Fmt) == "bmp") Twin = Out;
          SaveReflection(View.get(), Out, S);
          const std::string Args = (Dir / Src).string() + " " + Out + " " + std::to_string(Side) + " " +
                                   std::to_string(S.Space) + " " + std::to_string(S.SizePercent) + " " +
                                   std::to_string(S.StartOpacity()) + " " + std::to_string(S.EndOpacity()) + " " +
                                   std::to_string(M.ColorMode) + " " + (M.Wave ? "1" : "0") + " " +
                                   (M.RemoveAlpha ? "1" : "0") + " " + std::to_string(S.Background) +
                                   (std::string(Fmt) == "jpg" ? " " + Twin : "");
          Manifest += Args + "\n";
        }
      }
    }
  }
  // One interpreter for every check; it names each failing case.
  const std::string ManifestFile = (Dir / "checks.txt").string();
  FILE* F = std::fopen(ManifestFile.c_str(), "w");
  ASSERT_NE(F, nullptr);
  std::fputs(Manifest.c_str(), F);
  std::fclose(F);
  EXPECT_EQ(Run("checkall", ManifestFile), 0);
}

// Pictures that are not 24-bit: a 16-bit gray DICOM file, a 48-bit PNG (each also as DCMTK and ImageMagick
// write them), a palette GIF and a CMYK JPEG written by Pillow, each reflected with the alpha channel kept
// and removed, read back by Pillow and compared with the reflection of what the file shows, worked out in
// Python.
TEST_F(ReflectionFiles, PicturesThatAreNot24Bit) {
  ASSERT_EQ(Run("makewide", Dir.string()), 0);
  struct Source {
    const char* Name;
    int32_t Tolerance;  // CMYK through the printer profile: its tables are sampled unlike Pillow's, a few dark pixels lie further apart
  };
  // The DICOM file written by DCMTK is compared with DCMTK's own rendering, one step of rounding apart.
  const Source Sources[] = {{"gray16.dcm", 0},       {"rgb48.png", 0},    {"pal.gif", 0},
                            {"cmyk.jpg", 16},         {"gray16_dcmtk.dcm", 1}, {"rgb48_im.png", 0}};
  std::string Manifest;
  int Case = 0;
  for (const Source& Src : Sources) {
    // Files of other programs are there only when those programs are installed.
    if (!fs::exists(Dir / Src.Name)) continue;
    // Loaded as 24-bit, and in the file's own format (the GIF stays 8-bit palette), which every step and
    // the merge must then take. The JPEG reader does not yet keep CMYK as it stands.
    for (bool Native : {false, true}) {
    if (Native && std::string(Src.Name) == "cmyk.jpg") continue;
    for (int32_t Side : {qxSideLeft, qxSideBottom}) {
      for (bool RemoveAlpha : {false, true}) {
        TReflectionSettings S;
        S.Side = Side;
        S.Space = 2;
        S.SizePercent = 70;
        S.TranBegin = 20;
        S.TranEnd = 90;
        S.RemoveAlpha = RemoveAlpha;
        S.Background = TColor(0x40A0E0);
        auto View = Reflect((Dir / Src.Name).string(), S, Native);
        ASSERT_TRUE(View) << Src.Name;
        for (const char* Fmt : {"png", "bmp"}) {
          const std::string Out = (Dir / ("wide" + std::to_string(Case++) + "." + Fmt)).string();
          SaveReflection(View.get(), Out, S);
          Manifest += (Dir / (std::string(Src.Name) + ".ref.png")).string() + " " + Out + " " + std::to_string(Side) +
                      " " + std::to_string(S.Space) + " " + std::to_string(S.SizePercent) + " " +
                      std::to_string(S.StartOpacity()) + " " + std::to_string(S.EndOpacity()) + " 0 0 " +
                      (RemoveAlpha ? "1" : "0") + " " + std::to_string(S.Background) + " tol=" +
                      std::to_string(Src.Tolerance) + "\n";
        }
      }
    }
    }
  }
  const std::string ManifestFile = (Dir / "wide.txt").string();
  FILE* F = std::fopen(ManifestFile.c_str(), "w");
  ASSERT_NE(F, nullptr);
  std::fputs(Manifest.c_str(), F);
  std::fclose(F);
  EXPECT_EQ(Run("checkall", ManifestFile), 0);
}

// PSD with the alpha channel kept: the picture and its reflection as layers, and their merged picture as the
// composite, which Pillow reads as the PNG of the same build.
TEST_F(ReflectionFiles, LayeredPsd) {
  TReflectionSettings S;
  S.Space = 4;
  S.TranEnd = 80;
  auto View = Reflect((Dir / "src.png").string(), S);
  ASSERT_TRUE(View);
  const std::string Psd = (Dir / "layers.psd").string(), Png = (Dir / "layers.png").string();
  SaveReflections(View.get(), {Psd, Png}, S);
  EXPECT_EQ(Run("psdlayers", Psd + " " + Png + " 2 0 " + std::to_string(23 + 4)), 0);
}

namespace {

bool SameBitmap(TQxBitmap* A, TQxBitmap* B) {
  if (A->Width() != B->Width() || A->Height() != B->Height() || A->PixelFormat() != B->PixelFormat()) return false;
  const int32_t Bytes = (A->Width() * A->BitCount() + 7) / 8;
  for (int32_t y = 0; y < A->Height(); ++y)
    if (std::memcmp(A->Scanline(y), B->Scanline(y), size_t(Bytes)) != 0) return false;
  if (A->HasAlphaChannel() != B->HasAlphaChannel()) return false;
  return !A->HasAlphaChannel() || SameBitmap(A->GetAlphaChannel(), B->GetAlphaChannel());
}

}  // namespace

// Each handler's partial rebuild leaves exactly what a whole build with the new settings gives.
TEST(Reflection, PartialRebuildsEqualAWholeBuild) {
  using Redo = void (*)(TQuillotView*, TQuillotView*, const TReflectionSettings&, int32_t);
  struct Case {
    const char* Name;
    Redo Routine;
    void (*Change)(TReflectionSettings&);
  };
  const Case Cases[] = {
      {"transparency", RedoReflectionLayer, [](TReflectionSettings& S) { S.TranBegin = 40; S.TranEnd = 70; }},
      {"size", RedoReflectionLayer, [](TReflectionSettings& S) { S.SizePercent = 30; }},
      {"colour mode", RedoReflectionLayer, [](TReflectionSettings& S) { S.ColorMode = qxGray; }},
      {"wave", RedoReflectionLayer, [](TReflectionSettings& S) { S.WaveOn = true; }},
      {"space", RedoBaseLayer, [](TReflectionSettings& S) { S.Space = 7; }},
      {"remove alpha", RedoBothLayers, [](TReflectionSettings& S) { S.RemoveAlpha = true; }},
      {"background", RedoBothLayers, [](TReflectionSettings& S) { S.RemoveAlpha = true; S.Background = clRed; }},
  };
  for (const Case& C : Cases) {
    for (int32_t Side : {qxSideLeft, qxSideBottom}) {
      TReflectionSettings S;
      S.Side = Side;
      Pipeline Partial(12, 9, true, 200);
      Partial.Build(S);
      TReflectionSettings Changed = S;
      C.Change(Changed);
      C.Routine(Partial.View.get(), Partial.Source.get(), Changed, Partial.Layer);
      Pipeline Whole(12, 9, true, 200);
      Whole.Build(Changed);
      EXPECT_TRUE(SameBitmap(Partial.Base(), Whole.Base())) << C.Name << " side " << Side;
      EXPECT_TRUE(SameBitmap(Partial.Reflection(), Whole.Reflection())) << C.Name << " side " << Side;
      EXPECT_EQ(Partial.View->GetLayer(1)->PosX, Whole.View->GetLayer(1)->PosX) << C.Name;
      EXPECT_EQ(Partial.View->GetLayer(1)->PosY, Whole.View->GetLayer(1)->PosY) << C.Name;
      EXPECT_EQ(Partial.View->EnableAlphaChannel(), Whole.View->EnableAlphaChannel()) << C.Name;
    }
  }
}

// A run of changes, each through its handler's partial rebuild over what the last one left (the colours
// and the fade are redone apart), gives at every step exactly what a whole build gives, flags included.
TEST(Reflection, ChainedPartialRebuildsEqualAWholeBuild) {
  using Redo = void (*)(TQuillotView*, TQuillotView*, const TReflectionSettings&, int32_t);
  struct Step {
    const char* Name;
    Redo Routine;
    void (*Change)(TReflectionSettings&);
  };
  const Step Steps[] = {
      {"size", RedoReflectionLayer, [](TReflectionSettings& S) { S.SizePercent = 60; }},
      {"start", RedoReflectionLayer, [](TReflectionSettings& S) { S.TranBegin = 30; }},
      {"same again", RedoReflectionLayer, [](TReflectionSettings&) {}},
      {"gray", RedoReflectionLayer, [](TReflectionSettings& S) { S.ColorMode = qxGray; }},
      {"end", RedoReflectionLayer, [](TReflectionSettings& S) { S.TranEnd = 70; }},
      {"space", RedoBaseLayer, [](TReflectionSettings& S) { S.Space = 3; }},
      {"wave", RedoReflectionLayer, [](TReflectionSettings& S) { S.WaveOn = true; }},
      {"colourful", RedoReflectionLayer, [](TReflectionSettings& S) { S.ColorMode = qxColorful; }},
      {"amplitude", RedoReflectionLayer, [](TReflectionSettings& S) { S.Amplitude = 2; }},
      {"black and white, waved", RedoReflectionLayer, [](TReflectionSettings& S) { S.ColorMode = qxBlackWhite; }},
      {"wave off", RedoReflectionLayer, [](TReflectionSettings& S) { S.WaveOn = false; S.SizePercent = 90; }},
      {"size 0", RedoReflectionLayer, [](TReflectionSettings& S) { S.SizePercent = 0; }},
      {"colourful again", RedoReflectionLayer, [](TReflectionSettings& S) { S.ColorMode = qxColorful; }},
      {"black and white", RedoReflectionLayer, [](TReflectionSettings& S) { S.ColorMode = qxBlackWhite; }},
      {"gray from black and white", RedoReflectionLayer, [](TReflectionSettings& S) { S.ColorMode = qxGray; }},
      {"size 75", RedoReflectionLayer, [](TReflectionSettings& S) { S.SizePercent = 75; }},
      {"remove alpha", RedoBothLayers, [](TReflectionSettings& S) { S.RemoveAlpha = true; }},
      {"size, alpha removed", RedoReflectionLayer, [](TReflectionSettings& S) { S.SizePercent = 45; }},
      {"background", RedoBothLayers, [](TReflectionSettings& S) { S.Background = clRed; }},
      {"keep alpha", RedoBothLayers, [](TReflectionSettings& S) { S.RemoveAlpha = false; }},
      {"start after", RedoReflectionLayer, [](TReflectionSettings& S) { S.TranBegin = 10; }},
  };
  auto Same = [](TQxBitmap* A, TQxBitmap* B) {
    if (!SameBitmap(A, B) || A->Opaque != B->Opaque) return false;
    return !A->HasAlphaChannel() || A->GetAlphaChannel()->Opaque == B->GetAlphaChannel()->Opaque;
  };
  for (bool WithAlpha : {false, true}) {
    for (int32_t Side : {qxSideLeft, qxSideTop, qxSideRight, qxSideBottom}) {
      TReflectionSettings S;
      S.Side = Side;
      S.Amplitude = 3;
      S.WaveLength = 5;
      Pipeline Partial(14, 11, WithAlpha, 170);
      Partial.Build(S);
      for (const Step& St : Steps) {
        St.Change(S);
        St.Routine(Partial.View.get(), Partial.Source.get(), S, Partial.Layer);
        Pipeline Whole(14, 11, WithAlpha, 170);
        Whole.Build(S);
        const std::string Case =
            std::string(St.Name) + " side " + std::to_string(Side) + " alpha " + std::to_string(WithAlpha);
        EXPECT_TRUE(Same(Partial.Base(), Whole.Base())) << Case;
        EXPECT_TRUE(Same(Partial.Reflection(), Whole.Reflection())) << Case;
      }
    }
  }
}

// A black-and-white reflection turned colourful is taken anew and must get its fade back, also when its
// new alpha channel lands where the old one was (likely for a picture of this size).
TEST(Reflection, BlackAndWhiteTurnedColourfulGetsItsFadeBack) {
  for (bool WithAlpha : {false, true}) {
    TReflectionSettings S;
    S.ColorMode = qxBlackWhite;
    S.SizePercent = 60;
    Pipeline Partial(700, 520, WithAlpha, 190);
    Partial.Build(S);
    S.ColorMode = qxColorful;
    RedoReflectionLayer(Partial.View.get(), Partial.Source.get(), S, Partial.Layer);
    Pipeline Whole(700, 520, WithAlpha, 190);
    Whole.Build(S);
    EXPECT_TRUE(SameBitmap(Partial.Reflection(), Whole.Reflection())) << "alpha " << WithAlpha;
  }
}

// A build copies the picture straight onto its enlarged canvas, reuses the canvas and the reflection's
// storage of the last build, and waves the mirror without copying it first; the result is exactly that of
// the steps run one by one, on a fresh view, for every side, space and wave and with and without alpha.
TEST(Reflection, BuildEqualsTheStepsOneByOne) {
  for (bool WithAlpha : {false, true}) {
    for (int32_t Side : {qxSideLeft, qxSideTop, qxSideRight, qxSideBottom}) {
      for (int32_t Space : {0, 6, -4, -13, -15}) {
        for (int32_t Wave = 0; Wave < 8; ++Wave) {
          TReflectionSettings S;
          // A gray one is mirrored and made gray in one pass; without the alpha channel the base layer is
          // blended onto the background as it is copied.
          S.ColorMode = Wave & 2 ? qxGray : qxColorful;
          S.RemoveAlpha = (Wave & 4) != 0;
          S.Background = 0x3080C0;
          S.Side = Side;
          S.Space = Space;
          S.SizePercent = 70;
          S.WaveOn = Wave % 2 == 1;
          S.Amplitude = 3;
          S.WaveLength = 5;
          S.Phase = 40;
          // Built after a build of other settings, so that the layers hold an older picture.
          Pipeline Built(13, 10, WithAlpha, 180);
          TReflectionSettings Before = S;
          Before.Side = Side == qxSideLeft ? qxSideTop : qxSideLeft;
          Before.Space = 2;
          Built.Build(Before);
          Built.Build(S);

          Pipeline Steps(13, 10, WithAlpha, 180);
          TQuillotView* V = Steps.View.get();
          RestoreBaseLayer(V, Steps.Source.get());
          EnlargeCanvas(V, Steps.Source.get(), Side, Space);
          PlaceReflectionLayer(V, Steps.Source.get(), Side, Space, Steps.Layer);
          MirrorIntoLayer(V, Steps.Source.get(), Side, Steps.Layer);
          ApplyColorMode(V, S.ColorMode, Steps.Layer);
          ApplyWave(V, S.Amplitude, S.WaveLength, S.WaveOn, Steps.Layer, S.Phase);
          RampLayer(V, S.StartOpacity(), S.EndOpacity(), Steps.Layer, S.SizePercent, Side);
          FlattenBaseLayers(V, S.Background, Steps.Layer, !S.RemoveAlpha);
          FlattenReflectionLayer(V, S.Background, Steps.Layer, !S.RemoveAlpha);

          const std::string Case = "alpha " + std::to_string(WithAlpha) + " side " + std::to_string(Side) +
                                   " space " + std::to_string(Space) + " wave, gray, alpha removed " +
                                   std::to_string(Wave);
          EXPECT_TRUE(SameBitmap(Built.Base(), Steps.Base())) << Case;
          EXPECT_TRUE(SameBitmap(Built.Reflection(), Steps.Reflection())) << Case;
          EXPECT_EQ(Built.Base()->GetAlphaChannel()->Opaque, Steps.Base()->GetAlphaChannel()->Opaque) << Case;
          EXPECT_EQ(Built.View->Background(), Steps.View->Background()) << Case;
        }
      }
    }
  }
}
