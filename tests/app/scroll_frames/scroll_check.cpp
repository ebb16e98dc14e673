// The main window in a real window, a 6000 x 4000 picture with its reflection shown at 100 %: the
// scroll bars' thumbs are dragged with the mouse (xdotool), down over the picture, its edge and the
// reflection fading over the chessboard, then across. Every time the window changed, what it shows of
// the view is compared with the view composed whole at its present origin into a buffer of its own;
// frames are saved as PNGs for people to look at.
// Usage: scroll_check OUTPUT_DIR. Exit codes: 0 pass, 1 a wrong frame or too few frames, 2 no display.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/view.h"
#include "tests/app/shown_pictures.h"
#include "platform/base/numeric.h"
#include "platform/ui/backend.h"
#include "platform/ui/forms.h"

namespace fs = std::filesystem;

namespace {

std::string WritePicture(const fs::path& Dir) {
  const std::string Name = (Dir / "scroll_6000x4000.bmp").string();
  TQxBitmap B(6000, 4000, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 4000; ++y) {
    uint8_t* R = B.Scanline(y);
    for (int32_t x = 0; x < 6000; ++x) {
      // Fine texture: a frame moved by a pixel too many or too few shows.
      R[x * 3] = uint8_t(x * 7 + y * 3);
      R[x * 3 + 1] = uint8_t(40 + (y / 25) % 160 + (x & 8));
      R[x * 3 + 2] = uint8_t(200 - (x + y) / 80 % 100);
    }
  }
  TQuillotIO IO(&B);
  IO.SaveToFile(Name);
  return Name;
}

// Where a bar's thumb is, in screen coordinates (its middle), as the bar lays it out.
TPoint ThumbCentre(TQuillot* V, int32_t Bar) {
  // Both bars are shown: each stops short of the corner square between them.
  const TRect in = V->NonClientInsets();
  const int32_t b = in.Left, cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
  const bool vert = Bar == SB_VERT;
  const TRect r = vert ? Rect(V->Width() - b - cx, b, V->Width() - b, V->Height() - b - cy)
                       : Rect(b, V->Height() - b - cy, V->Width() - b - cx, V->Height() - b);
  const int32_t len = vert ? r.Height() : r.Width(), thick = vert ? r.Width() : r.Height();
  const int32_t arrow = std::min(thick, len / 2), track = len - 2 * arrow;
  const double ratio = vert ? V->ScrollRatioY() : V->ScrollRatioX();
  const int32_t page = int32_t(Trunc((vert ? V->ViewClientHeight() : V->ViewClientWidth()) / ratio));
  const int64_t thumb = std::clamp<int64_t>(int64_t(track) * page / 65536, std::min(8, track), track);
  const int64_t span = 65536 - page;
  const int32_t start = arrow + int32_t(span > 0 ? (track - thumb) * int64_t(V->GetScrollPos(Bar)) / span : 0);
  const int32_t along = start + int32_t(thumb / 2);
  // Window coordinates of the control: from its top-left corner, border included.
  const TPoint corner = V->ClientToScreen(TPoint(0, 0));
  const int32_t x = corner.X - in.Left + (vert ? (r.Left + r.Right) / 2 : r.Left + along);
  const int32_t y = corner.Y - in.Top + (vert ? r.Top + along : (r.Top + r.Bottom) / 2);
  return TPoint(x, y);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  const fs::path Out = argv[1];
  fs::remove_all(Out);
  fs::create_directories(Out);
  QxRegisterFurtherCodecs();
  if (!Application->Initialize()) return 2;
  const fs::path Scratch = fs::temp_directory_path() / ("qv_scroll_" + std::to_string(::getpid()));
  fs::create_directories(Scratch);
  const std::string Picture = WritePicture(Scratch);
  auto* F = Application->CreateForm<TFrmQuorvel>();
  AppDir = Scratch.string() + "/";  // options are written beside a scratch directory
  F->Show();
  Application->ProcessMessages();
  F->OpenFile(Picture);
  Application->ProcessMessages();
  F->BtnRealClick(nullptr);
  Application->ProcessMessages();

  TQuillot* V = F->QuillotDis;
  TUiBackend* Be = Application->Backend();
  const int32_t cw = V->ViewClientWidth(), ch = V->ViewClientHeight();
  const TPoint viewAt = V->ClientToScreen(TPoint(0, 0)), formAt = F->ClientToScreen(TPoint(0, 0));
  // The window's pixels start at the form's outer corner (its menu bar included).
  const TRect formIn = F->NonClientInsets();
  const int32_t ox = viewAt.X - formAt.X + formIn.Left, oy = viewAt.Y - formAt.Y + formIn.Top;
  int32_t mx = 0, my = 0;
  V->GetMaxViewOrigin(mx, my);
  std::printf("client %dx%d at (%d, %d) in the window, origin up to (%d, %d)\n", cw, ch, ox, oy, mx, my);
  if (mx <= 0 || my <= 0) {
    std::printf("nothing to scroll\n");
    return 1;
  }

  // The view composed whole at its present origin, into a buffer of its own.
  TBitmap refT(cw, ch, TPixelFormat::pf24bit);
  TQxBitmap ref;
  ref.AttachTBitmap(&refT, false);
  TBitmap shown;
  int Frames = 0, Wrong = 0, Shots = 0;
  int32_t lastX = -1, lastY = -1;
  auto look = [&](const char* What) {
    if (!Be->ReadWindowPixels(F->BackendWindow(), shown)) return;
    if (V->ViewOriginX() == lastX && V->ViewOriginY() == lastY) return;
    lastX = V->ViewOriginX();
    lastY = V->ViewOriginY();
    V->ComposeLayersTo(&ref, nullptr, nullptr, true, true);
    int64_t differ = 0;
    for (int32_t y = 0; y < ch; ++y) {
      const uint8_t* s = static_cast<const uint8_t*>(shown.ScanLine(oy + y)) + size_t(ox) * 4;
      const uint8_t* r = ref.Scanline(y);
      for (int32_t x = 0; x < cw; ++x)
        differ += s[x * 4] != r[x * 3] || s[x * 4 + 1] != r[x * 3 + 1] || s[x * 4 + 2] != r[x * 3 + 2];
    }
    std::printf("%s frame %d at (%d, %d): %s (%lld pixels differ)\n", What, Frames, lastX, lastY,
                differ ? "WRONG" : "same as a whole composition", static_cast<long long>(differ));
    ++Frames;
    Wrong += differ != 0;
    if (Shots < 40) {
      char Name[80];
      std::snprintf(Name, sizeof Name, "shot_%02d_%s_%d_%d.png", Shots++, What, lastX, lastY);
      SaveShownPicture(shown, (Out / Name).string());
    }
  };

  auto drag = [&](int32_t Bar, const char* What) {
    const TPoint at = ThumbCentre(V, Bar);
    const std::string Done = (Scratch / (std::string(What) + ".done")).string();
    const int32_t dx = Bar == SB_HORZ ? 3 : 0, dy = Bar == SB_VERT ? 3 : 0;
    char Cmd[1024];
    std::snprintf(Cmd, sizeof Cmd,
                  "(xdotool mousemove %d %d mousedown 1; for i in $(seq 1 40); do xdotool mousemove_relative -- %d %d; "
                  "sleep 0.04; done; xdotool mouseup 1; touch '%s') >/dev/null 2>&1 &",
                  at.X, at.Y, dx, dy, Done.c_str());
    std::printf("%s: thumb at (%d, %d)\n", What, at.X, at.Y);
    std::system(Cmd);
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
      const bool Finished = fs::exists(Done);
      Application->ProcessMessages();
      look(What);
      if (Finished || std::chrono::steady_clock::now() > Deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Application->ProcessMessages();
    look(What);
  };

  // Down from above the picture's lower edge: the picture's rows move, the reflection's are composed.
  V->SetViewOrigin(mx / 3, my * 2 / 5);
  Application->ProcessMessages();
  const int32_t y0 = V->ViewOriginY();
  drag(SB_VERT, "down");
  const int32_t y1 = V->ViewOriginY();
  const int32_t x0 = V->ViewOriginX();
  drag(SB_HORZ, "across");
  const int32_t x1 = V->ViewOriginX();
  std::printf("%d frames, %d wrong; down from %d to %d, across from %d to %d\n", Frames, Wrong, y0, y1, x0, x1);
  delete F;
  fs::remove_all(Scratch);
  return (Wrong == 0 && Frames >= 10 && y1 > y0 && x1 > x0) ? 0 : 1;
}
