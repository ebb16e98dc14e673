// The main window in a real window opens a 6000 x 4000 JPEG, then a 6000 x 4000 PNG over it. Every frame
// the window is handed meanwhile is kept; each frame the view composes is checked to show either no
// picture, the picture opened before, or the finished reflection of the new one (the picture on top, the
// mirror under it, faded to nothing at its far end), never one halfway built. While a picture loads the
// status bar must show how far the reading is. The frames are saved as PNGs for people to look at, and
// the time from the open call to the finished frame on the screen is printed beside decoding the file
// alone (for information: speed is measured by the benchmarks).
// Usage: open_check OUTPUT_DIR. Exit codes: 0 pass, 1 a wrong frame or no progress shown, 2 no display.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "app/memory_policy.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/view.h"
#include "tests/app/shown_pictures.h"
#include "platform/ui/backend.h"
#include "platform/ui/forms.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point A, Clock::time_point B) { return std::chrono::duration<double, std::milli>(B - A).count(); }

// Passes everything to the real back end and keeps a copy of each frame the window is handed, in room
// taken before the frames come (so that keeping them costs the program under test no fresh memory).
class TRecordingBackend : public TUiBackend {
 public:
  explicit TRecordingBackend(std::unique_ptr<TUiBackend> Real) : FReal(std::move(Real)) {}
  struct Frame {
    Clock::time_point At;
    int32_t Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;
  };
  std::vector<Frame> Frames;  // Frames[0, Count) hold the frames kept since the last Start
  size_t Count = 0;
  bool Recording = false;

  void Start(int32_t Width, int32_t Height, size_t Room) {
    if (Frames.size() < Room) Frames.resize(Room);
    for (Frame& F : Frames) F.Pixels.assign(size_t(Width) * size_t(Height), 0);
    Count = 0;
    Recording = true;
  }
  std::string Name() const override { return FReal->Name(); }
  uintptr_t CreateWindow(TCustomForm* Form, const TRect& R, bool Popup, bool Resizable) override {
    return FReal->CreateWindow(Form, R, Popup, Resizable);
  }
  void DestroyWindow(uintptr_t W) override { FReal->DestroyWindow(W); }
  void ShowWindow(uintptr_t W, bool Show) override { FReal->ShowWindow(W, Show); }
  void SetWindowBounds(uintptr_t W, const TRect& R) override { FReal->SetWindowBounds(W, R); }
  void SetWindowTitle(uintptr_t W, const std::string& T) override { FReal->SetWindowTitle(W, T); }
  void SetMinimumSize(uintptr_t W, int32_t X, int32_t Y) override { FReal->SetMinimumSize(W, X, Y); }
  void RaiseWindow(uintptr_t W) override { FReal->RaiseWindow(W); }
  void Present(uintptr_t W, const TBitmap& BB, const TRect& Dirty) override {
    FReal->Present(W, BB, Dirty);
    if (!Recording || Count >= Frames.size() || BB.PixelFormat() != TPixelFormat::pf32bit) return;
    Frame& F = Frames[Count];
    if (F.Pixels.size() < size_t(BB.Width()) * size_t(BB.Height())) return;
    F.At = Clock::now();
    F.Width = BB.Width();
    F.Height = BB.Height();
    for (int32_t y = 0; y < BB.Height(); ++y)
      std::memcpy(F.Pixels.data() + size_t(y) * size_t(BB.Width()), BB.ScanLine(y), size_t(BB.Width()) * 4);
    ++Count;
  }
  bool NextEvent(TUiEvent& E, int32_t T) override { return FReal->NextEvent(E, T); }
  void Wake() override { FReal->Wake(); }
  void SetCursor(TCursor S, const HCURSOR& C) override { FReal->SetCursor(S, C); }
  void CaptureMouse(bool On) override { FReal->CaptureMouse(On); }
  TRect ScreenRect() const override { return FReal->ScreenRect(); }
  bool ReadWindowPixels(uintptr_t W, TBitmap& Out) override { return FReal->ReadWindowPixels(W, Out); }

 private:
  std::unique_ptr<TUiBackend> FReal;
};

struct Rgb {
  int r, g, b;
};

Rgb At(TQxBitmap* B, int32_t X, int32_t Y) {
  const uint8_t* p = B->Scanline(Y) + X * 3;
  return {p[2], p[1], p[0]};
}

std::vector<Rgb> GBoard;  // the chessboard's colours, read from the view's margin
bool Near(Rgb a, Rgb b, int Tol) { return std::abs(a.r - b.r) <= Tol && std::abs(a.g - b.g) <= Tol && std::abs(a.b - b.b) <= Tol; }
bool Chessboard(Rgb c, int Tol = 0) {
  for (Rgb b : GBoard)
    if (Near(b, c, Tol)) return true;
  return false;
}

// A photo-like picture with fine detail (so that decoding has real work), colourful everywhere (never near
// the chessboard's grays); Tint sets the two files apart.
std::string WritePicture(const fs::path& Dir, const char* Ext, int Tint) {
  const std::string Name = (Dir / (std::string("picture_6000x4000.") + Ext)).string();
  TQuillot Q(nullptr);
  TQxBitmap* B = Q.CurrentBitmap();
  B->Allocate(6000, 4000, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 4000; ++y) {
    uint8_t* R = B->Scanline(y);
    uint32_t n = uint32_t(y) * 2654435761u;
    for (int32_t x = 0; x < 6000; ++x) {
      n = n * 1664525u + 1013904223u;
      const int32_t Noise = int32_t(n >> 28);
      R[x * 3] = uint8_t(30 + Tint + (x / 200) % 20 + Noise);
      R[x * 3 + 1] = uint8_t(20 + (y / 25) % 60 + Noise);
      R[x * 3 + 2] = uint8_t(200 - (x + y) / 80 % 60 + Noise);
    }
  }
  Q.UpdateView();
  Q.GetIO()->Params->JpegQuality = 90;
  Q.GetIO()->SaveToFile(Name);
  return Name;
}

void SavePng(const TRecordingBackend::Frame& Shown, const std::string& Name) {
  SaveShownPicture(
      Shown.Width, Shown.Height, [&](int32_t y) { return Shown.Pixels.data() + size_t(y) * size_t(Shown.Width); },
      Name);
}

// The status bar's pixels in a frame, to tell whether its text changed.
std::vector<uint32_t> StatusPixels(const TRecordingBackend::Frame& Frame, TRect R) {
  // The back buffer may hold the menu bar above the client area.
  R.Top += Frame.Height - R.Bottom - 2;
  R.Bottom = Frame.Height - 2;
  std::vector<uint32_t> Out;
  for (int32_t y = std::max(0, R.Top); y < std::min(Frame.Height, R.Bottom); ++y)
    for (int32_t x = std::max(0, R.Left); x < std::min(Frame.Width, R.Right); ++x)
      Out.push_back(Frame.Pixels[size_t(y) * size_t(Frame.Width) + size_t(x)] & 0xFFFFFFu);
  return Out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  const fs::path Out = argv[1];
  fs::remove_all(Out);
  fs::create_directories(Out);
  KeepFreedBlocksForReuse();  // as the program does
  QxRegisterFurtherCodecs();
  std::unique_ptr<TRecordingBackend> Owned;
  {
    std::string Err;
    auto Real = CreateSdlBackend(Err);
    if (!Real) {
      std::printf("no window: %s\n", Err.c_str());
      return 2;
    }
    Owned = std::make_unique<TRecordingBackend>(std::move(Real));
  }
  TRecordingBackend* Rec = Owned.get();
  Application->SetBackend(std::move(Owned));

  const std::string Files[2] = {WritePicture(Out, "jpg", 0), WritePicture(Out, "png", 50)};
  auto* F = Application->CreateForm<TFrmQuorvel>();
  const fs::path Scratch = fs::temp_directory_path() / ("qv_open_" + std::to_string(::getpid()));
  fs::create_directories(Scratch);
  AppDir = Scratch.string() + "/";
  F->Show();
  Application->ProcessMessages();
  F->TrackBarSize->SetPosition(0);  // the mirror as large as the picture, whatever Options.ini says

  TQuillot* V = F->QuillotDis;
  // The chessboard's colours, from the empty view.
  V->PaintView();
  for (int32_t y = 2; y < 40; ++y)
    for (int32_t x = 2; x < 40; ++x) {
      Rgb c = At(V->BackBuffer(), x, y);
      if (!Chessboard(c)) GBoard.push_back(c);
    }
  if (GBoard.empty() || GBoard.size() > 4) {
    std::printf("the empty view does not show a chessboard (%zu colours)\n", GBoard.size());
    return 1;
  }
  // The status bar lies along the window's bottom edge.
  const TRect Bar(0, F->ClientHeight() - 22, F->ClientWidth() - 20, F->ClientHeight() - 2);

  // No picture at all, or a finished reflection: picture over the top half, the mirror under it, and
  // its far end (at 100 % size, the fade reaches 0 at the last row) nearly the chessboard.
  auto Classify = [&](TQxBitmap* B, std::string& Why) -> int {
    if (V->ImageWidth() != 6000 || V->ImageHeight() != 8000) {
      bool Empty = true;
      for (int32_t y = 10; y < B->Height() - 10 && Empty; y += 37)
        for (int32_t x = 10; x < B->Width() - 10 && Empty; x += 41) Empty = Chessboard(At(B, x, y), 8);
      if (Empty) return 0;
      Why = "a picture of another size";
      return -1;
    }
    for (int32_t bx : {500, 3000, 5500}) {
      const int32_t x = V->BitmapToScreenX(bx);
      for (int32_t by : {300, 2000, 3700})
        if (Chessboard(At(B, x, V->BitmapToScreenY(by)), 8)) return Why = "the picture is missing", -1;
      if (Chessboard(At(B, x, V->BitmapToScreenY(4100)), 8)) return Why = "the mirror is missing under the picture", -1;
      if (!Chessboard(At(B, x, V->BitmapToScreenY(7990)), 24)) return Why = "the mirror is not faded", -1;
    }
    return 1;
  };
  // Which file a finished frame shows: their blue differs by 50.
  int Opening = 0;
  auto ShowsFile = [&](TQxBitmap* B, int Index) {
    const int Expected = 30 + (Index == 0 ? 0 : 50) + 2 + 7;  // blue at x = 500, noise averaged
    return std::abs(At(B, V->BitmapToScreenX(500), V->BitmapToScreenY(300)).b - Expected) <= 12;
  };
  int Composed = 0, Wrong = 0;
  bool Finished = false;
  V->OnDrawBackBuffer = [&](TObject*) {
    std::string Why;
    const int Kind = Classify(V->BackBuffer(), Why);
    if (Kind < 0) {
      ++Wrong;
      std::printf("  composed frame %d: WRONG: %s\n", Composed, Why.c_str());
    }
    Finished = Finished || (Kind == 1 && ShowsFile(V->BackBuffer(), Opening));
    ++Composed;
  };

  int Failures = 0, Shots = 0;
  // The JPEG once more at the end: an open in a program that has opened pictures before.
  for (int Step = 0; Step < 3; ++Step) {
    const int i = Step % 2;
    const std::string& File = Files[i];
    // Decoding alone, as a reference (the second run, so that both find the file in the page cache).
    TQuillot Alone(nullptr);
    double Decode = 0;
    for (int k = 0; k < 2; ++k) {
      const auto T0 = Clock::now();
      Alone.GetIO()->LoadFromFile(File);
      Decode = Ms(T0, Clock::now());
    }
    if (Alone.CurrentBitmap()->Width() != 6000 || Alone.CurrentBitmap()->Height() != 4000) {
      std::printf("%s did not decode alone\n", File.c_str());
      return 1;
    }
    Alone.CurrentBitmap()->FreeImage(true);

    Opening = i;
    Rec->Start(F->Width() + 64, F->Height() + 64, 64);
    Finished = false;
    Composed = 0;
    const int WrongBefore = Wrong;
    const auto T0 = Clock::now();
    F->OpenFile(File);
    const auto Returned = Clock::now();
    const auto Deadline = Clock::now() + std::chrono::seconds(60);
    while (!Finished && Clock::now() < Deadline) {
      Application->ProcessMessages();
      if (!Finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Application->ProcessMessages();
    Rec->Recording = false;
    // The first frame handed to the window after the view composed the finished picture.
    double Shown = -1;
    if (Rec->Count > 0 && Finished) Shown = Ms(T0, Rec->Frames[Rec->Count - 1].At);

    // Progress: frames before the last whose status bar differs from the last one's (which names the file
    // alone).
    int Progress = 0;
    const std::vector<uint32_t> Last =
        Rec->Count == 0 ? std::vector<uint32_t>() : StatusPixels(Rec->Frames[Rec->Count - 1], Bar);
    for (size_t k = 0; k < Rec->Count; ++k) {
      if (k + 1 < Rec->Count && StatusPixels(Rec->Frames[k], Bar) != Last) ++Progress;
      if (Shots < 120) {
        char Name[96];
        std::snprintf(Name, sizeof Name, "open_%d_%s_frame_%02zu.png", Step + 1, i == 0 ? "jpeg" : "png", k);
        SavePng(Rec->Frames[k], (Out / Name).string());
        ++Shots;
      }
    }
    if (std::getenv("QV_OPEN_TIMELINE")) {
      std::printf("  open returned at %.0f ms; frames at", Ms(T0, Returned));
      for (size_t k = 0; k < Rec->Count; ++k) std::printf(" %.0f", Ms(T0, Rec->Frames[k].At));
      std::printf("\n");
    }
    std::printf("%s: %zu frames shown, %d composed by the view, %d wrong, %d showing progress; "
                "open to painted %.0f ms, decoding alone %.0f ms (%.2fx)\n",
                i == 0 ? "JPEG" : "PNG", Rec->Count, Composed, Wrong - WrongBefore, Progress, Shown, Decode,
                Decode > 0 ? Shown / Decode : 0.0);
    if (!Finished) {
      std::printf("  the finished picture never showed\n");
      ++Failures;
    }
    // The status bar shows the reading's progress up to 20 times a second.
    if (Decode >= 100 && Progress < 1) {
      std::printf("  the status bar showed no progress while the picture loaded\n");
      ++Failures;
    }
  }
  delete F;
  fs::remove_all(Scratch);
  return (Wrong == 0 && Failures == 0) ? 0 : 1;
}
