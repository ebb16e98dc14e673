// The view's layers borrow the picture's rows: whatever runs over them (setting changes, a new picture,
// processing, painting, saving), the picture stays as loaded and the layers show what copies would.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/reflection.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "imaging/processing/proc.h"
#include "imaging/view/layer.h"
#include "imaging/view/view.h"
#include "tests/app/saved_files.h"

namespace fs = std::filesystem;

namespace {

// Kind 0: no alpha channel; 1: one that varies. Seed tells two pictures apart.
void Paint(TQxBitmap* B, int32_t W, int32_t H, int Kind, int Seed) {
  B->Allocate(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H; ++y) {
    auto* P = reinterpret_cast<TQxRGB*>(B->Scanline(y));
    for (int32_t x = 0; x < W; ++x)
      P[x] = TQxRGB{uint8_t(x * 7 + y + Seed), uint8_t(y * 11 - Seed), uint8_t(x * y + 3 * Seed)};
  }
  if (Kind == 0) return;
  TQxBitmap* A = B->GetAlphaChannel();
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) A->SetPixel8(x, y, uint8_t(255 - (x * 9 + y * 5 + Seed) % 200));
}

// Every pixel and alpha value, read without taking any row, and the flags, as a short digest (a row's
// padding is left out: a small picture's block is not cleared, and nothing reads it).
std::string Bytes(TQxBitmap* B) {
  std::string S = std::to_string(B->Width()) + "x" + std::to_string(B->Height()) + "f" +
                  std::to_string(int(B->PixelFormat())) + (B->Opaque ? "o" : "t") + ":";
  const size_t Used = size_t((int64_t(B->Width()) * B->BitCount() + 7) / 8);
  uint64_t H = 14695981039346656037ull;
  for (int32_t y = 0; y < B->Height(); ++y) {
    const uint8_t* R = B->ScanlineToRead(y);
    for (size_t i = 0; i < Used; ++i) H = (H ^ R[i]) * 1099511628211ull;
  }
  S += std::to_string(H);
  if (B->HasAlphaChannel()) S += "|" + Bytes(B->GetAlphaChannel());
  return S;
}

// A picture and the view reflecting it. With Lending the picture sits in a block of its own, as a loaded
// one does, and the layers borrow its rows; without, it sits in a platform bitmap and they hold copies.
struct TReflected {
  std::unique_ptr<TQuillot> Source = std::make_unique<TQuillot>(nullptr);
  std::unique_ptr<TQuillot> View = std::make_unique<TQuillot>(nullptr);
  int32_t Layer = -1;
  TReflected(int32_t W, int32_t H, int Kind, bool Lending, int Seed = 0) {
    if (Lending) Source->SetLegacyBitmap(false);
    Paint(Source->CurrentBitmap(), W, H, Kind, Seed);
    Source->UpdateView();
    View->OffscreenMode = true;
    View->SetBorderStyle(TBorderStyle::bsNone);
    View->SetBounds(0, 0, 160, 120);
    View->ResetToBlank();
    ResetLayers(View.get());
    Layer = AddReflectionLayer(View.get());
  }
  TQxBitmap* Picture() { return Source->GetLayer(0)->Bitmap; }
  TQxBitmap* Base() { return View->GetLayer(0)->Bitmap; }
  TQxBitmap* Reflection() { return View->GetLayer(Layer)->Bitmap; }
  std::string Layers() { return Bytes(Base()) + "#" + Bytes(Reflection()); }
  // The client area as the view paints it, fitted and at 100 %.
  std::string Frames() {
    std::string S;
    for (bool Fit : {true, false}) {
      if (Fit)
        View->ZoomToFit();
      else
        View->SetZoom(100);
      View->InvalidateRectNoErase(TRect(0, 0, 160, 120));
      View->PaintClientRect(TRect(0, 0, 160, 120));
      S += Bytes(View->BackBuffer());
    }
    return S;
  }
};

using TRedo = void (*)(TQuillotView*, TQuillotView*, const TReflectionSettings&, int32_t);

// The handler a change of settings runs, as the main window picks it.
TRedo HandlerFor(const TReflectionSettings& Was, const TReflectionSettings& Now) {
  if (Was.Side != Now.Side) return BuildReflection;
  if (Was.RemoveAlpha != Now.RemoveAlpha || Was.Background != Now.Background) return RedoBothLayers;
  if (Was.Space != Now.Space) return RedoBaseLayer;
  return RedoReflectionLayer;
}

struct TStep {
  const char* Name;
  void (*Change)(TReflectionSettings&);
};

const TStep kSteps[] = {
    {"size", [](TReflectionSettings& S) { S.SizePercent = 60; }},
    {"start", [](TReflectionSettings& S) { S.TranBegin = 30; }},
    {"same again", [](TReflectionSettings&) {}},
    {"space", [](TReflectionSettings& S) { S.Space = 4; }},
    {"gray", [](TReflectionSettings& S) { S.ColorMode = qxGray; }},
    {"colourful", [](TReflectionSettings& S) { S.ColorMode = qxColorful; }},
    {"wave", [](TReflectionSettings& S) { S.WaveOn = true; }},
    {"wave off", [](TReflectionSettings& S) { S.WaveOn = false; }},
    {"remove alpha", [](TReflectionSettings& S) { S.RemoveAlpha = true; }},
    {"background", [](TReflectionSettings& S) { S.Background = TColor(0x2040C0); }},
    {"size, alpha removed", [](TReflectionSettings& S) { S.SizePercent = 35; }},
    {"keep alpha", [](TReflectionSettings& S) { S.RemoveAlpha = false; }},
    {"black and white", [](TReflectionSettings& S) { S.ColorMode = qxBlackWhite; }},
    {"colourful again", [](TReflectionSettings& S) { S.ColorMode = qxColorful; }},
    {"negative space", [](TReflectionSettings& S) { S.Space = -3; }},
    {"end", [](TReflectionSettings& S) { S.TranEnd = 40; }},
    {"no space", [](TReflectionSettings& S) { S.Space = 0; S.SizePercent = 100; S.TranBegin = 0; }},
};

}  // namespace

// Every side, the picture with and without alpha channel, a run of changes each through its handler: after
// every step the picture is byte for byte as it was, and the layers, the painted frames and the saved file
// are those of a view whose layers hold copies.
TEST(LentReflection, ThePictureStaysAsLoadedThroughEveryChange) {
  QxRegisterFurtherCodecs();
  const fs::path Dir = fs::temp_directory_path() / ("qv_lent_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  for (int Kind : {0, 1}) {
    for (int32_t FirstSide : {qxSideLeft, qxSideTop, qxSideRight, qxSideBottom}) {
      TReflected Lent(17, 12, Kind, true), Copied(17, 12, Kind, false);
      const std::string Picture = Bytes(Lent.Picture());
      TReflectionSettings S;
      S.Side = FirstSide;
      S.Amplitude = 3;
      S.WaveLength = 5;
      BuildReflection(Lent.View.get(), Lent.Source.get(), S, Lent.Layer);
      BuildReflection(Copied.View.get(), Copied.Source.get(), S, Copied.Layer);
      // Then every other side in turn, each followed by the run of changes.
      for (int32_t Side : {qxSideBottom, qxSideLeft, qxSideTop, qxSideRight}) {
        std::vector<TStep> Steps(std::begin(kSteps), std::end(kSteps));
        Steps.insert(Steps.begin(), TStep{"side", nullptr});
        for (const TStep& St : Steps) {
          const TReflectionSettings Was = S;
          if (St.Change)
            St.Change(S);
          else
            S.Side = Side;
          const TRedo Redo = HandlerFor(Was, S);
          Redo(Lent.View.get(), Lent.Source.get(), S, Lent.Layer);
          Redo(Copied.View.get(), Copied.Source.get(), S, Copied.Layer);
          const std::string Case = std::string(St.Name) + " side " + std::to_string(S.Side) + " kind " +
                                   std::to_string(Kind) + " first side " + std::to_string(FirstSide);
          ASSERT_EQ(Bytes(Lent.Picture()), Picture) << Case;
          ASSERT_EQ(Lent.Layers(), Copied.Layers()) << Case;
          ASSERT_EQ(Lent.View->EnableAlphaChannel(), Copied.View->EnableAlphaChannel()) << Case;
          // Borrowed where it can be, however the step was reached.
          const bool Vertical = S.Side == qxSideTop || S.Side == qxSideBottom;
          const bool Grows = 2 * 12 + S.Space > 12;
          EXPECT_EQ(Lent.Base()->HasRowTable(), Vertical && Grows) << Case;
          EXPECT_EQ(Lent.Base()->RowsNotOwn() > 0, Vertical && Grows) << Case;
          EXPECT_EQ(Lent.Reflection()->RowsNotOwn() > 0,
                    Vertical && !S.RemoveAlpha && !S.WaveOn && S.ColorMode == qxColorful)
              << Case;
        }
        ASSERT_EQ(Lent.Frames(), Copied.Frames()) << "side " << Side;
        SaveReflection(Lent.View.get(), (Dir / "lent.png").string(), S);
        SaveReflection(Copied.View.get(), (Dir / "copied.png").string(), S);
        ASSERT_TRUE(ReadWholeFile(Dir / "lent.png") == ReadWholeFile(Dir / "copied.png")) << "side " << Side;
        ASSERT_EQ(Bytes(Lent.Picture()), Picture);
      }
    }
  }
  fs::remove_all(Dir);
}

// What the layers hold of their own, in rows, for a 30 x 40 picture: layer 0 of a top or bottom reflection
// nothing but the picture's rows blended onto the background; the colours of a colourful reflection
// without wave nothing; the fade only the rows the ramp lowers when the picture has an alpha channel, else
// nothing; the alpha of a left or right layer 0 of a picture without alpha channel nothing.
TEST(LentReflection, WhatTheLayersHoldOfTheirOwn) {
  QxRegisterFurtherCodecs();
  struct Case {
    int32_t Side;
    int Kind;  // 1: the picture has an alpha channel
    int32_t ColorMode;
    bool Wave, RemoveAlpha;
    int32_t Base, BaseAlpha, Colours, Fade;  // own rows; a fade of -1 holds the ramp's rows at most
  };
  const Case Cases[] = {
      {qxSideBottom, 0, qxColorful, false, false, 0, 0, 0, 0},
      {qxSideTop, 1, qxColorful, false, false, 0, 0, 0, -1},
      {qxSideBottom, 1, qxColorful, false, true, 40, 0, 40, -1},
      {qxSideBottom, 0, qxGray, false, false, 0, 0, 40, 0},
      {qxSideTop, 0, qxBlackWhite, false, false, 0, 0, 40, 0},
      {qxSideBottom, 1, qxColorful, true, false, 0, 0, 40, -1},
      {qxSideLeft, 0, qxColorful, false, false, 40, 0, 40, 0},
      {qxSideRight, 1, qxGray, false, false, 40, 40, 40, 40},
  };
  for (const Case& C : Cases) {
    TReflected R(30, 40, C.Kind, true);
    TReflectionSettings S;
    S.Side = C.Side;
    S.Space = 5;
    S.SizePercent = 50;
    S.ColorMode = C.ColorMode;
    S.WaveOn = C.Wave;
    S.RemoveAlpha = C.RemoveAlpha;
    BuildReflection(R.View.get(), R.Source.get(), S, R.Layer);
    const std::string Name = "side " + std::to_string(C.Side) + " kind " + std::to_string(C.Kind) + " mode " +
                             std::to_string(C.ColorMode) + " wave " + std::to_string(C.Wave) + " flat " +
                             std::to_string(C.RemoveAlpha);
    auto Own = [](TQxBitmap* B) { return B->HasRowTable() ? B->Height() - B->RowsNotOwn() : B->Height(); };
    auto Counts = [&]() {
      return std::vector<int32_t>{Own(R.Base()), Own(R.Base()->GetAlphaChannel()), Own(R.Reflection()),
                                  Own(R.Reflection()->GetAlphaChannel())};
    };
    const std::vector<int32_t> Held = Counts();
    EXPECT_EQ(Held[0], C.Base) << Name;
    EXPECT_EQ(Held[1], C.BaseAlpha) << Name;
    EXPECT_EQ(Held[2], C.Colours) << Name;
    if (C.Fade >= 0) {
      EXPECT_EQ(Held[3], C.Fade) << Name;
    } else {
      // The ramp's 20 lines at most, less the first (unlowered at the start opacity).
      EXPECT_GT(Held[3], 0) << Name;
      EXPECT_LE(Held[3], 20) << Name;
    }
    // Painting (fitted, at 100 %, scrolled over a chessboard), merging, saving and reading pixels read the
    // rows where they lie.
    R.Frames();
    R.View->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
    R.View->SetBounds(0, 0, 24, 30);
    R.View->SetZoom(100);
    for (int32_t Y : {0, 6, 13, 40, 2}) {
      R.View->SetViewOrigin(Y / 3, Y);
      R.View->PaintClientRect(TRect(0, 0, 24, 30));
    }
    const fs::path Dir = fs::temp_directory_path() / ("qv_lent_own_" + std::to_string(::getpid()));
    fs::create_directories(Dir);
    std::vector<std::string> Files;
    for (const char* E : {"png", "jpg", "bmp", "tif", "gif", "ico", "psd", "pdf"})
      Files.push_back((Dir / (std::string("r.") + E)).string());
    SaveReflections(R.View.get(), Files, S);
    fs::remove_all(Dir);
    // Reading pixels one by one, as the status bar does, takes nothing either.
    R.Base()->GetPixel24(1, 1);
    R.Reflection()->GetAlpha(2, 2);
    EXPECT_EQ(Counts(), Held) << Name;
  }
}

// A new picture loaded into the source while the view still shows the old one (the view repaints it while
// the new one loads): the old picture's rows stay with the view until the next build, and the source
// holds the new one as loaded. The old picture's block goes when the view lets it go.
TEST(LentReflection, ANewPictureLoadsWhileTheViewShowsTheOld) {
  QxRegisterFurtherCodecs();
  const fs::path Dir = fs::temp_directory_path() / ("qv_lent_load_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  // Two pictures of one size, written by the program's own writer.
  for (int Seed : {1, 2}) {
    TQuillot P(nullptr);
    Paint(P.CurrentBitmap(), 21, 16, Seed - 1, Seed * 40);
    P.GetIO()->SaveToFile((Dir / ("p" + std::to_string(Seed) + ".bmp")).string());
  }
  auto Source = std::make_unique<TQuillot>(nullptr);
  auto View = std::make_unique<TQuillot>(nullptr);
  View->OffscreenMode = true;
  View->SetBorderStyle(TBorderStyle::bsNone);
  View->SetBounds(0, 0, 80, 60);
  ResetLayers(View.get());
  const int32_t Layer = AddReflectionLayer(View.get());
  TReflectionSettings S;
  S.SizePercent = 70;
  ASSERT_TRUE(LoadSourceImage(Source.get(), (Dir / "p1.bmp").string()));
  BuildReflection(View.get(), Source.get(), S, Layer);
  ASSERT_TRUE(Source->CurrentBitmap()->IsLending());
  const std::string Shown = Bytes(View->GetLayer(0)->Bitmap) + Bytes(View->GetLayer(Layer)->Bitmap);
  View->PaintClientRect(TRect(0, 0, 80, 60));

  ASSERT_TRUE(LoadSourceImage(Source.get(), (Dir / "p2.bmp").string()));
  View->InvalidateRectNoErase(TRect(0, 0, 80, 60));
  View->PaintClientRect(TRect(0, 0, 80, 60));
  EXPECT_EQ(Bytes(View->GetLayer(0)->Bitmap) + Bytes(View->GetLayer(Layer)->Bitmap), Shown);
  TQuillot Fresh(nullptr);
  ASSERT_TRUE(LoadSourceImage(&Fresh, (Dir / "p2.bmp").string()));
  EXPECT_EQ(Bytes(Source->CurrentBitmap()), Bytes(Fresh.CurrentBitmap()));

  // A failed load clears the source; the view keeps showing the old picture all the same.
  EXPECT_FALSE(LoadSourceImage(Source.get(), (Dir / "missing.bmp").string()));
  EXPECT_EQ(Bytes(View->GetLayer(0)->Bitmap) + Bytes(View->GetLayer(Layer)->Bitmap), Shown);
  ASSERT_TRUE(LoadSourceImage(Source.get(), (Dir / "p2.bmp").string()));
  BuildReflection(View.get(), Source.get(), S, Layer);
  TQuillot Other(nullptr);
  ResetLayers(&Other);
  BuildReflection(&Other, &Fresh, S, AddReflectionLayer(&Other));
  EXPECT_EQ(Bytes(View->GetLayer(0)->Bitmap), Bytes(Other.GetLayer(0)->Bitmap));
  EXPECT_EQ(Bytes(View->GetLayer(Layer)->Bitmap), Bytes(Other.GetLayer(1)->Bitmap));
  // The source view goes altogether: the layers still hold its rows.
  const std::string Now = Bytes(View->GetLayer(0)->Bitmap) + Bytes(View->GetLayer(Layer)->Bitmap);
  Source.reset();
  EXPECT_EQ(Bytes(View->GetLayer(0)->Bitmap) + Bytes(View->GetLayer(Layer)->Bitmap), Now);
  View->InvalidateRectNoErase(TRect(0, 0, 80, 60));
  View->PaintClientRect(TRect(0, 0, 80, 60));
  fs::remove_all(Dir);
}

// Processing operations run on the view's layers as on any picture: on the layers' own copies of the
// rows, never on the picture's.
TEST(LentReflection, ProcessingTheLayersLeavesThePicture) {
  struct Case {
    const char* Name;
    std::function<void(TQuillotView*)> Op;
  };
  const Case Cases[] = {
      {"flip", [](TQuillotView* V) { V->GetProc()->Flip(1); }},
      {"mirror", [](TQuillotView* V) { V->GetProc()->Flip(0); }},
      {"gray", [](TQuillotView* V) { V->GetProc()->ConvertToGray(); }},
      {"wave", [](TQuillotView* V) { V->GetProc()->Wave(2, 5, 0, false); }},
      {"rotate", [](TQuillotView* V) { V->GetProc()->Rotate(90); }},
      {"canvas", [](TQuillotView* V) { V->GetProc()->ImageResize(40, 50, 1, 1, 0); }},
      {"fill", [](TQuillotView* V) { V->CurrentBitmap()->Fill(0x123456); }},
      {"pixel", [](TQuillotView* V) { V->CurrentBitmap()->SetPixel24(3, 3, TQxRGB{9, 9, 9}); }},
      {"alpha", [](TQuillotView* V) { V->CurrentBitmap()->GetAlphaChannel()->Fill(128); }},
  };
  for (const Case& C : Cases) {
    for (int32_t Side : {qxSideTop, qxSideBottom}) {
      for (int32_t OnLayer : {0, 1}) {
        TReflected Lent(19, 14, 1, true), Copied(19, 14, 1, false);
        const std::string Picture = Bytes(Lent.Picture());
        TReflectionSettings S;
        S.Side = Side;
        BuildReflection(Lent.View.get(), Lent.Source.get(), S, Lent.Layer);
        BuildReflection(Copied.View.get(), Copied.Source.get(), S, Copied.Layer);
        for (TReflected* R : {&Lent, &Copied}) {
          R->View->SetCurrentLayer(OnLayer);
          C.Op(R->View.get());
        }
        const std::string Name = std::string(C.Name) + " side " + std::to_string(Side) + " layer " +
                                 std::to_string(OnLayer);
        EXPECT_EQ(Bytes(Lent.Picture()), Picture) << Name;
        EXPECT_EQ(Lent.Layers(), Copied.Layers()) << Name;
        // A rebuild afterwards starts from the picture as loaded.
        BuildReflection(Lent.View.get(), Lent.Source.get(), S, Lent.Layer);
        BuildReflection(Copied.View.get(), Copied.Source.get(), S, Copied.Layer);
        EXPECT_EQ(Lent.Layers(), Copied.Layers()) << Name << ", rebuilt";
      }
    }
  }
}
