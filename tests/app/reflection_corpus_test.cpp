// The files the program saves, as recorded from a build known to be right: every format of the save
// dialog, every side, the alpha channel kept and removed, pictures with and without an alpha channel,
// colourful, gray, black-and-white and waved reflections, a few spaces, sizes and transparencies.
// Set QV_CORPUS_OUT to a folder to keep the files there (for comparing a larger run byte for byte), and
// QV_CORPUS_PRINT to print the table of checksums anew.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/reflection.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/view/view.h"
#include "tests/app/saved_files.h"

namespace fs = std::filesystem;

namespace {

const char* const kFormats[] = {"tif", "gif", "jpg", "pcx", "bmp", "ico", "png", "tga",
                                "ppm", "wbmp", "jp2", "j2k", "eps", "pdf", "dcx", "psd"};

uint64_t Fnv(uint64_t H, const std::string& S) {
  for (unsigned char C : S) H = (H ^ C) * 1099511628211ull;
  return H;
}

// Kind 0: no alpha channel; 1: an alpha channel that varies over the picture; 2: one that is all 255.
void MakePicture(TQxBitmap* B, int32_t W, int32_t H, int Kind) {
  B->Allocate(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H; ++y) {
    auto* P = reinterpret_cast<TQxRGB*>(B->Scanline(y));
    for (int32_t x = 0; x < W; ++x) P[x] = TQxRGB{uint8_t(x * 7 + y), uint8_t(y * 11), uint8_t(x * y + 3)};
  }
  if (Kind == 0) return;
  TQxBitmap* A = B->GetAlphaChannel();
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) A->SetPixel8(x, y, Kind == 2 ? 255 : uint8_t(255 - (x * 9 + y * 5) % 200));
}

struct TCorpusCase {
  std::string Name;
  int32_t W, H, Kind;
  TReflectionSettings S;
};

std::vector<TCorpusCase> CorpusCases() {
  std::vector<TCorpusCase> Cases;
  struct Picture {
    int32_t W, H, Kind;
  };
  const Picture Pictures[] = {{23, 17, 0}, {23, 17, 1}, {40, 31, 2}, {301, 263, 0}};
  const char* ModeNames[] = {"colourful", "gray", "bw", "wave"};
  for (const Picture& P : Pictures)
    for (int32_t Side : {qxSideLeft, qxSideTop, qxSideRight, qxSideBottom})
      for (bool RemoveAlpha : {false, true})
        for (int Mode = 0; Mode < 4; ++Mode) {
          TReflectionSettings S;
          S.Side = Side;
          S.Space = 3;
          S.SizePercent = 80;
          S.TranBegin = 10;
          S.TranEnd = 90;
          S.ColorMode = Mode == 1 ? qxGray : Mode == 2 ? qxBlackWhite : qxColorful;
          S.WaveOn = Mode == 3;
          S.Amplitude = 3;
          S.WaveLength = 9;
          S.RemoveAlpha = RemoveAlpha;
          S.Background = TColor(0x3080C0);
          Cases.push_back({std::to_string(P.W) + "x" + std::to_string(P.H) + "k" + std::to_string(P.Kind) + "s" +
                               std::to_string(Side) + (RemoveAlpha ? "flat" : "alpha") + ModeNames[Mode],
                           P.W, P.H, P.Kind, S});
        }
  // Spaces, sizes and transparencies of their own.
  struct Variant {
    int32_t Space, Size, Begin, End;
  };
  const Variant Variants[] = {{0, 100, 0, 100}, {7, 30, 40, 60}, {-5, 55, 100, 0}};
  int V = 0;
  for (const Variant& Va : Variants) {
    for (int32_t Side : {qxSideLeft, qxSideTop, qxSideBottom})
      for (bool RemoveAlpha : {false, true}) {
        TReflectionSettings S;
        S.Side = Side;
        S.Space = Va.Space;
        S.SizePercent = Va.Size;
        S.TranBegin = Va.Begin;
        S.TranEnd = Va.End;
        S.RemoveAlpha = RemoveAlpha;
        S.Background = TColor(0x20A040);
        Cases.push_back({"variant" + std::to_string(V) + "s" + std::to_string(Side) + (RemoveAlpha ? "flat" : "alpha"),
                         29, 21, 1, S});
      }
    ++V;
  }
  return Cases;
}

// The checksum of every format saved from the case's reflection. A picture in a block of its own lends
// its rows to the view's layers; one in a platform bitmap cannot, and the layers hold copies.
uint64_t SaveCase(const TCorpusCase& C, const fs::path& Dir, bool Lending) {
  auto Source = std::make_unique<TQuillot>(nullptr);
  if (Lending) Source->SetLegacyBitmap(false);
  MakePicture(Source->CurrentBitmap(), C.W, C.H, C.Kind);
  Source->UpdateView();
  auto View = std::make_unique<TQuillot>(nullptr);
  View->ResetToBlank();
  ResetLayers(View.get());
  BuildReflection(View.get(), Source.get(), C.S, AddReflectionLayer(View.get()));
  uint64_t H = 14695981039346656037ull;
  for (const char* F : kFormats) {
    const fs::path Out = Dir / (C.Name + "." + F);
    SaveReflection(View.get(), Out.string(), C.S);
    H = Fnv(Fnv(H, F), WithoutDates(ReadWholeFile(Out)));
  }
  return H;
}

// Recorded from the build before the reflection's layers took rows from the picture.
const std::map<std::string, uint64_t>& Recorded() {
  static const std::map<std::string, uint64_t> M = {
#include "reflection_corpus_sums.inc"
  };
  return M;
}

}  // namespace

TEST(ReflectionCorpus, SavedFilesAreAsRecorded) {
  QxRegisterFurtherCodecs();
  const char* Keep = std::getenv("QV_CORPUS_OUT");
  const fs::path Dir = Keep ? fs::path(Keep) : fs::temp_directory_path() / ("qv_corpus_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  const bool Print = std::getenv("QV_CORPUS_PRINT") != nullptr;
  int32_t Wrong = 0;
  for (const TCorpusCase& C : CorpusCases()) {
    for (bool Lending : {false, true}) {  // the files kept are those of the lent rows
      if (!Lending && C.W > 100) continue;
      const uint64_t H = SaveCase(C, Dir, Lending);
      if (Print && Lending)
        std::printf("{\"%s\", 0x%016llxull},\n", C.Name.c_str(), static_cast<unsigned long long>(H));
      auto It = Recorded().find(C.Name);
      if (It == Recorded().end() || It->second != H) {
        ++Wrong;
        if (!Print) ADD_FAILURE() << C.Name << (Lending ? " (rows lent)" : " (rows copied)");
      }
    }
  }
  EXPECT_EQ(Wrong, 0);
  if (!Keep) fs::remove_all(Dir);
}
