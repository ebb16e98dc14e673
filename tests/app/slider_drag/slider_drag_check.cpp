// The main window in a real window, with a 6000 x 4000 picture: the Size slider is dragged with the
// mouse (xdotool), and every frame the window shows meanwhile is read back, saved as a PNG and checked to
// be a finished reflection: the picture on top, the mirror starting under it, and the far end of the
// mirror (past every size the drag reaches) showing only the chessboard. A mirror not yet faded, a
// canvas without its mirror or a cleared view fails. Then the right arrow is held down on the slider: its
// repeats must not cost a rebuild each when they come faster than the rebuilds.
// Usage: slider_drag_check OUTPUT_DIR. Exit codes: 0 pass, 1 a wrong frame or too few frames, 2 no display.
#include <unistd.h>

#include <vector>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/main_window.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/view.h"
#include "tests/app/shown_pictures.h"
#include "platform/ui/backend.h"
#include "platform/ui/forms.h"

namespace fs = std::filesystem;

namespace {

class TThumbOf : public TKvTrackBar {
 public:
  using TKvTrackBar::ThumbRect;
};

struct Rgb {
  int r, g, b;
};

Rgb At(TQxBitmap* B, int32_t X, int32_t Y) {
  const uint8_t* p = B->Scanline(Y) + X * 3;
  return {p[2], p[1], p[0]};
}

// The chessboard's own colours, read from the view's empty margin before the test; the test picture is
// colourful everywhere.
std::vector<Rgb> GBoard;
bool Near(Rgb a, Rgb b, int Tol) { return std::abs(a.r - b.r) <= Tol && std::abs(a.g - b.g) <= Tol && std::abs(a.b - b.b) <= Tol; }
bool Chessboard(Rgb c) {
  for (Rgb b : GBoard)
    if (Near(b, c, 0)) return true;
  return false;
}
// A few percent of the picture over the chessboard.
bool NearlyChessboard(Rgb c) {
  for (Rgb b : GBoard)
    if (Near(b, c, 24)) return true;
  return false;
}

// Kept in the build tree beside the frames' folder, so that later runs reuse it.
std::string WritePicture(const fs::path& Beside) {
  const std::string Name = (Beside / "qv_slider_6000x4000.bmp").string();
  if (fs::exists(Name)) return Name;
  TQxBitmap B(6000, 4000, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 4000; ++y) {
    uint8_t* R = B.Scanline(y);
    for (int32_t x = 0; x < 6000; ++x) {
      R[x * 3] = uint8_t(40 + (x / 30) % 160);
      R[x * 3 + 1] = uint8_t(20 + (y / 25) % 120);
      R[x * 3 + 2] = uint8_t(200 - (x + y) / 80 % 100);
    }
  }
  TQuillotIO IO(&B);
  IO.SaveToFile(Name);
  return Name;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  const fs::path Out = argv[1];
  fs::remove_all(Out);
  fs::create_directories(Out);
  QxRegisterFurtherCodecs();
  if (!Application->Initialize()) return 2;
  const std::string Picture = WritePicture(fs::absolute(Out).parent_path());
  auto* F = Application->CreateForm<TFrmQuorvel>();
  // Options are written beside a scratch directory, not beside this program.
  const fs::path Scratch = fs::temp_directory_path() / ("qv_slider_" + std::to_string(::getpid()));
  fs::create_directories(Scratch);
  AppDir = Scratch.string() + "/";
  F->Show();
  Application->ProcessMessages();
  // The drag starts from a known size, whatever Options.ini beside the program says.
  F->TrackBarSize->SetPosition(2);
  F->OpenFile(Picture);
  Application->ProcessMessages();

  TQuillot* V = F->QuillotDis;
  TBitmap Shown;
  TUiBackend* Be = Application->Backend();
  // Where the slider's thumb is on the screen.
  const TPoint ViewAt = V->ClientToScreen(TPoint(0, 0));
  const TRect Thumb = static_cast<TThumbOf*>(F->TrackBarSize)->ThumbRect();
  const TPoint Grip = F->TrackBarSize->ClientToScreen(TPoint((Thumb.Left + Thumb.Right) / 2, (Thumb.Top + Thumb.Bottom) / 2));
  const int32_t Track = F->TrackBarSize->Width();
  std::printf("view at (%d, %d), thumb at (%d, %d) on the screen\n", ViewAt.X, ViewAt.Y, Grip.X, Grip.Y);

  // The picture occupies canvas rows 0..3999 and the mirror 4000..7999, fading to nothing over the first
  // size percent of its rows. A finished frame shows the picture, the mirror right under it, nearly only
  // the chessboard 95 % down the fade, and only the chessboard past its end. Each frame is checked as the
  // view composes it, before it reaches the window, so a frame painted halfway through a rebuild is
  // caught even when the next one covers it at once.
  auto check = [&](TQxBitmap* B, std::string& Why) {
    const int32_t Size = 100 - F->TrackBarSize->Position();
    const int32_t Fade = 4000 * Size / 100;
    const int32_t Xs[] = {V->BitmapToScreenX(1000), V->BitmapToScreenX(3000), V->BitmapToScreenX(5000)};
    for (int32_t x : Xs) {
      for (int32_t y : {V->BitmapToScreenY(1000), V->BitmapToScreenY(3000)})
        if (Chessboard(At(B, x, y))) return Why = "the picture is missing", false;
      if (Size >= 5 && Chessboard(At(B, x, V->BitmapToScreenY(4050))))
        return Why = "the mirror is missing under the picture", false;
      if (!NearlyChessboard(At(B, x, V->BitmapToScreenY(4000 + Fade * 95 / 100))))
        return Why = "the mirror is not faded", false;
      if (Fade < 3900 && !Chessboard(At(B, x, V->BitmapToScreenY(7990))))
        return Why = "the mirror shows past the end of its fade", false;
    }
    return true;
  };
  // The margin left of the fitted picture shows nothing but the chessboard.
  V->PaintView();
  for (int32_t y = 2; y < 40; ++y)
    for (int32_t x = 2; x < std::min(40, V->BitmapToScreenX(0) - 2); ++x) {
      Rgb c = At(V->BackBuffer(), x, y);
      if (!Chessboard(c)) GBoard.push_back(c);
    }
  std::printf("chessboard colours: %zu\n", GBoard.size());
  if (GBoard.empty() || GBoard.size() > 4) {
    std::printf("the view's margin does not show a chessboard\n");
    return 1;
  }
  int Frames = 0, Wrong = 0;
  bool NewFrame = false;
  V->OnDrawBackBuffer = [&](TObject*) {
    std::string Why;
    const bool Ok = check(V->BackBuffer(), Why);
    std::printf("frame %d: size %d%% %s%s\n", Frames, 100 - F->TrackBarSize->Position(), Ok ? "finished" : "WRONG: ",
                Why.c_str());
    ++Frames;
    Wrong += Ok ? 0 : 1;
    NewFrame = true;
  };

  const std::string Done = (Scratch / "drag.done").string();
  char Cmd[1024];
  std::snprintf(Cmd, sizeof Cmd,
                "(xdotool mousemove %d %d mousedown 1; for i in $(seq 1 30); do xdotool mousemove_relative -- %d 0; "
                "sleep 0.05; done; xdotool mouseup 1; touch '%s') >/dev/null 2>&1 &",
                Grip.X, Grip.Y, std::max(1, Track * 6 / 10 / 30), Done.c_str());
  const int32_t Start = F->TrackBarSize->Position();
  std::system(Cmd);
  int Shots = 0;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (;;) {
    const bool Finished = fs::exists(Done);
    Application->ProcessMessages();
    // What the window shows once the frame is there, for people to look at.
    if (NewFrame && Be->ReadWindowPixels(F->BackendWindow(), Shown) && Shots < 60) {
      NewFrame = false;
      char Name[64];
      std::snprintf(Name, sizeof Name, "shot_%02d_size_%d.png", Shots++, 100 - F->TrackBarSize->Position());
      SaveShownPicture(Shown, (Out / Name).string());
    }
    if (Finished || std::chrono::steady_clock::now() > Deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Application->ProcessMessages();
  const int32_t End = F->TrackBarSize->Position();
  std::printf("%d frames, %d wrong, %d screenshots; the slider went from %d to %d\n", Frames, Wrong, Shots, Start, End);

  // The right arrow held down on the focused slider: its repeats move it step by step, the rebuilds keep
  // up with the latest position (repeats that queue up during one rebuild cost one more), and every frame
  // is a finished one. Skipped where the server repeats no keys.
  const std::string KeyDone = (Scratch / "key.done").string();
  F->TrackBarSize->SetFocus();
  Application->ProcessMessages();
  const int32_t KeyStart = F->TrackBarSize->Position(), RebuildsBefore = F->Rebuilds, FramesBefore = Frames;
  std::snprintf(Cmd, sizeof Cmd,
                "(xset r on; xset r rate 200 40; xdotool keydown Right; sleep 1.5; xdotool keyup Right; touch '%s') "
                ">/dev/null 2>&1 &",
                KeyDone.c_str());
  std::system(Cmd);
  const auto KeyDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    const bool Finished = fs::exists(KeyDone);
    Application->ProcessMessages();
    if (Finished || std::chrono::steady_clock::now() > KeyDeadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Application->ProcessMessages();
  const int32_t KeyEnd = F->TrackBarSize->Position(), Steps = KeyEnd - KeyStart;
  const int32_t Rebuilds = F->Rebuilds - RebuildsBefore;
  std::printf("held key: %d steps, %d rebuilds, %d frames, %d wrong in all\n", Steps, Rebuilds, Frames - FramesBefore,
              Wrong);
  bool KeyOk = true;
  if (Steps > 1) KeyOk = Rebuilds >= 1 && Rebuilds <= Steps;
  else std::printf("the server repeated no key: the held key is not checked\n");
  // The last picture is the one of the last position.
  std::string Why;
  V->PaintView();
  if (!check(V->BackBuffer(), Why)) {
    std::printf("the last picture is wrong: %s\n", Why.c_str());
    KeyOk = false;
  }
  Application->ProcessMessages();
  if (Be->ReadWindowPixels(F->BackendWindow(), Shown)) SaveShownPicture(Shown, (Out / "held_key_end.png").string());
  delete F;
  fs::remove_all(Scratch);
  return (Wrong == 0 && Frames >= 3 && End > Start && KeyOk) ? 0 : 1;
}
