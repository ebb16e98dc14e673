#include "imaging/dialogs/frame_strip.h"

#include <algorithm>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/timer.h"

std::unique_ptr<TBitmap> QxThumbnailOf(TQxBitmap* Picture, int32_t W, int32_t H) {
  auto out = std::make_unique<TBitmap>();
  out->SetPixelFormat(TPixelFormat::pf24bit);
  if (!Picture || Picture->IsEmpty() || W <= 0 || H <= 0) {
    out->SetSize(1, 1);
    return out;
  }
  int64_t pw = Picture->Width(), ph = Picture->Height();
  // Shrink to fit, never enlarge.
  int64_t tw = pw, th = ph;
  if (pw > W || ph > H) {
    if (pw * H > ph * W) tw = W, th = std::max<int64_t>(1, ph * W / pw);
    else th = H, tw = std::max<int64_t>(1, pw * H / ph);
  }
  out->SetSize(static_cast<int32_t>(tw), static_cast<int32_t>(th));
  for (int32_t y = 0; y < th; ++y) {
    auto* row = static_cast<uint8_t*>(out->ScanLine(y));
    int32_t sy = static_cast<int32_t>(int64_t(y) * ph / th);
    for (int32_t x = 0; x < tw; ++x) {
      TQxRGB c = Picture->GetPixelRGB(static_cast<int32_t>(int64_t(x) * pw / tw), sy);
      row[x * 3] = c.b, row[x * 3 + 1] = c.g, row[x * 3 + 2] = c.r;
    }
  }
  return out;
}

TQxFrameStrip::TQxFrameStrip(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(true);
  SetColor(clBtnFace);
  FTimer = new TTimer(this);
  FTimer->SetEnabled(false);
  FTimer->SetOnTimer([this](TObject*) { NextFrame(); });
}

TQxFrameStrip::~TQxFrameStrip() = default;

void TQxFrameStrip::ClearImages() {
  SetPlaying(false);
  FFrames.clear();
  FSelected = -1;
  FFirstShown = 0;
  Invalidate();
}

int32_t TQxFrameStrip::FillFromMultiImageFile(const std::string& FileName) {
  ClearImages();
  int32_t n = 0;
  try {
    n = QxImageCount(FileName);
  } catch (...) {
    n = 0;
  }
  for (int32_t i = 0; i < n; ++i) {
    TFrame f;
    f.Picture = std::make_unique<TQxBitmap>();
    TQuillotIO io(f.Picture.get());
    io.AutoAdjustDPI = AutoAdjustDPI;
    io.FilteredAdjustDPI = FilteredAdjustDPI;
    io.Params->SetAllImageIndexes(i);
    io.Aborting = false;
    try {
      io.LoadFromFile(FileName);
    } catch (...) {
      io.Aborting = true;
    }
    if (io.Aborting && f.Picture->IsEmpty()) break;
    f.Params = std::make_unique<TIOParamsVals>();
    f.Params->AssignParams(*io.Params);
    f.Thumb = QxThumbnailOf(f.Picture.get(), ThumbWidth - 2 * HorizBorder, ThumbHeight - 2 * VertBorder);
    FFrames.push_back(std::move(f));
    if (OnProgress) OnProgress(this, static_cast<int32_t>(int64_t(i + 1) * 100 / n));
  }
  Invalidate();
  return ImageCount();
}

TIOParamsVals* TQxFrameStrip::FrameParams(int32_t Index) {
  if (Index < 0 || Index >= ImageCount()) return nullptr;
  return FFrames[static_cast<size_t>(Index)].Params.get();
}

TQxBitmap* TQxFrameStrip::SelectedPicture() {
  if (FSelected < 0 || FSelected >= ImageCount()) return nullptr;
  return FFrames[static_cast<size_t>(FSelected)].Picture.get();
}

void TQxFrameStrip::SelectImage(int32_t Index) {
  if (Index < -1 || Index >= ImageCount()) return;
  FSelected = Index;
  // Keep the selected thumbnail in view.
  int32_t fit = std::max(1, Width() / std::max(1, ThumbWidth));
  if (Index >= 0 && Index < FFirstShown) FFirstShown = Index;
  if (Index >= FFirstShown + fit) FFirstShown = Index - fit + 1;
  Invalidate();
  if (OnImageSelect) OnImageSelect(this, Index);
}

void TQxFrameStrip::MoveSelection(bool First) {
  if (ImageCount() == 0) return;
  SelectImage(First ? 0 : ImageCount() - 1);
  if (OnAllDisplayed) OnAllDisplayed(this);
}

void TQxFrameStrip::SetPlaying(bool Value) {
  if (Value == FPlaying) return;
  FPlaying = Value && ImageCount() > 0;
  FTimer->SetEnabled(false);
  if (FPlaying) {
    TIOParamsVals* p = FrameParams(std::max(0, FSelected));
    FTimer->SetInterval(static_cast<uint32_t>(std::max(20, p ? p->GifDelayTime * 10 : 100)));
    FTimer->SetEnabled(true);
  }
  Invalidate();
}

void TQxFrameStrip::NextFrame() {
  if (!FPlaying || ImageCount() == 0) return;
  SelectImage((FSelected + 1) % ImageCount());
  TIOParamsVals* p = FrameParams(FSelected);
  FTimer->SetInterval(static_cast<uint32_t>(std::max(20, p ? p->GifDelayTime * 10 : 100)));
}

TRect TQxFrameStrip::CellRect(int32_t Index) const {
  if (FPlaying) return ClientRect();
  int32_t x = (Index - FFirstShown) * ThumbWidth;
  return Rect(x, 0, x + ThumbWidth, std::min(Height(), ThumbHeight));
}

void TQxFrameStrip::Paint() {
  TCanvas* c = Canvas();
  TBrush bg;
  bg.SetColor(Color());
  TRect all = ClientRect();
  FillRect(c, all, bg);
  DrawEdge(c, all, EDGE_SUNKEN, BF_RECT);
  auto drawFrame = [&](int32_t i, TRect r) {
    TBitmap* t = FFrames[static_cast<size_t>(i)].Thumb.get();
    if (i == FSelected && !FPlaying) {
      TBrush hb;
      hb.SetColor(clHighlight);
      FillRect(c, r, hb);
    }
    int32_t x = r.Left + (r.Width() - t->Width()) / 2, y = r.Top + (r.Height() - t->Height()) / 2;
    c->Draw(x, y, t);
  };
  if (FPlaying) {
    if (FSelected >= 0) drawFrame(FSelected, ClientRect());
    return;
  }
  for (int32_t i = FFirstShown; i < ImageCount(); ++i) {
    TRect r = CellRect(i);
    if (r.Left >= Width()) break;
    drawFrame(i, r);
  }
}

void TQxFrameStrip::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  int32_t n = ImageCount();
  if (n == 0) return;
  int32_t i = FSelected;
  switch (Key) {
    case VK_LEFT:
    case VK_UP: i = std::max(0, i - 1); break;
    case VK_RIGHT:
    case VK_DOWN: i = std::min(n - 1, i + 1); break;
    case VK_HOME: i = 0; break;
    case VK_END: i = n - 1; break;
    default: return;
  }
  Key = 0;
  if (i != FSelected) SelectImage(i);
}

void TQxFrameStrip::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (CanFocus()) SetFocus();
  if (FPlaying) return;
  int32_t i = FFirstShown + X / std::max(1, ThumbWidth);
  if (i >= 0 && i < ImageCount() && i != FSelected) SelectImage(i);
}

void TQxFrameStrip::Dispatch(TMessage& M) {
  if (M.Msg == WM_GETDLGCODE) {
    M.Result = DLGC_WANTARROWS;
    return;
  }
  TCustomControl::Dispatch(M);
}
