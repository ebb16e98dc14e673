#include "controls/kv_trackbar.h"

#include <algorithm>
#include <climits>

#include "controls/kv_art.h"
#include "controls/kv_blits.h"
#include "controls/kv_painters.h"
#include "controls/kv_utils.h"
#include "platform/base/numeric.h"
#include "platform/ui/forms.h"
#include "platform/ui/themes.h"

namespace {

std::unique_ptr<TBitmap> Cell(TBitmap& Strip, int32_t Index, int32_t Count) {
  int32_t w = Strip.Width() / std::max(1, Count), h = Strip.Height();
  auto b = std::make_unique<TBitmap>(w, h, TPixelFormat::pf24bit);
  if (w > 0 && h > 0) BitBlt(b->Canvas(), 0, 0, w, h, Strip.Canvas(), Index * w, 0, SRCCOPY);
  return b;
}

// Replaces the key colours of a mapped thumb image by the colours they stand for.
void MapColors(TBitmap& B, const COLORREF (&From)[14], const COLORREF (&To)[14]) {
  for (int32_t y = 0; y < B.Height(); ++y)
    for (int32_t x = 0; x < B.Width(); ++x) {
      COLORREF c = B.GetPixel(x, y);
      for (int i = 0; i < 14; ++i)
        if (c == From[i]) {
          B.SetPixel(x, y, To[i]);
          break;
        }
    }
}

// Fits B to Length along the track: the leading and trailing halves of the edge stay as drawn and the
// middle column of the picture fills the rest, so a frame around the thumb survives the change.
void FitLength(TBitmap& B, int32_t Length, bool Vertical) {
  int32_t len = Vertical ? B.Height() : B.Width(), thick = Vertical ? B.Width() : B.Height();
  if (Length <= 0 || len <= 0 || Length == len) return;
  TBitmap out(Vertical ? thick : Length, Vertical ? Length : thick, TPixelFormat::pf24bit);
  int32_t head = std::min(len / 2, Length / 2), tail = std::min(len - len / 2, Length - head);
  for (int32_t i = 0; i < Length; ++i) {
    int32_t from = i < head ? i : i >= Length - tail ? len - (Length - i) : len / 2;
    for (int32_t t = 0; t < thick; ++t)
      if (Vertical)
        out.SetPixel(t, i, B.GetPixel(t, from));
      else
        out.SetPixel(i, t, B.GetPixel(from, t));
  }
  B.Assign(out);
}

COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)) & 0xFFFFFF; }

// Previous minus Next when that is one rectangle; Previous whole when it is not.
TRect Uncovered(const TRect& Prev, const TRect& Next) {
  TRect i;
  if (!IntersectRect(i, Prev, Next)) return Prev;
  if (i == Prev) return TRect();
  if (i.Top == Prev.Top && i.Bottom == Prev.Bottom) {
    if (i.Left == Prev.Left) return TRect(i.Right, Prev.Top, Prev.Right, Prev.Bottom);
    if (i.Right == Prev.Right) return TRect(Prev.Left, Prev.Top, i.Left, Prev.Bottom);
  }
  if (i.Left == Prev.Left && i.Right == Prev.Right) {
    if (i.Top == Prev.Top) return TRect(Prev.Left, i.Bottom, Prev.Right, Prev.Bottom);
    if (i.Bottom == Prev.Bottom) return TRect(Prev.Left, Prev.Top, Prev.Right, i.Top);
  }
  return Prev;
}

}  // namespace

TKvTrackBar::TKvTrackBar(TComponent* AOwner)
    : TCustomControl(AOwner),
      FThumb(std::make_unique<TBitmap>()),
      FHotThumb(std::make_unique<TBitmap>()),
      FMask(std::make_unique<TBitmap>()),
      FDisabledThumb(std::make_unique<TBitmap>()),
      FBackground(std::make_unique<TBitmap>()),
      FCustomThumb(std::make_unique<TBitmap>()) {
  RegisterKvTrackBarProperties();
  SetBounds(Left(), Top(), 200, 35);
  SetTabStop(true);
  FRepeatTimer = std::make_unique<TTimer>(nullptr);
  FRepeatTimer->SetEnabled(false);
  FRepeatTimer->SetInterval(200);
  FRepeatTimer->SetOnTimer([this](TObject*) { RepeatTimerFired(); });
  FCustomThumb->OnChange = [this](TGraphic*) {
    FThumbStyle = tsCustom;
    BuildThumbImages();
    LookChanged();
  };
  BuildThumbImages();
  if (Screen) {
    if (!Screen->HasCursor(crKvTrackBarH)) Screen->SetCursors(crKvTrackBarH, KvLoadArtCursor("KVTRKBAR_H_CURSOR", 15, 15));
    if (!Screen->HasCursor(crKvTrackBarV)) Screen->SetCursors(crKvTrackBarV, KvLoadArtCursor("KVTRKBAR_V_CURSOR", 15, 15));
  }
}

TKvTrackBar::~TKvTrackBar() = default;

// ---- Thumb images -------------------------------------------------------------------------------------

void TKvTrackBar::BuildThumbImages() {
  if (FThumbStyle == tsCustom) {
    FThumb = Cell(*FCustomThumb, 0, 3);
    FHotThumb = Cell(*FCustomThumb, 0, 3);
    FMask = Cell(*FCustomThumb, 1, 3);
    FDisabledThumb = Cell(*FCustomThumb, 2, 3);
  } else {
    // Visual styles would draw tsBox and tsPointer as their XP sets; this platform has none.
    TThumbStyle s = FThumbStyle;
    if (ThemesEnabled() && s == tsBox) s = tsXPBox;
    if (ThemesEnabled() && s == tsPointer) s = tsXPPointer;
    std::string o = Vertical() ? "V" : "H", name;
    switch (s) {
      case tsBox: name = "KVTRKBAR_" + o + "_BOX"; break;
      case tsMixer: name = "KVTRKBAR_" + o + "_MIXER"; break;
      case tsFlat: name = "KVTRKBAR_" + o + "_FLAT"; break;
      case tsXPPointer: name = "KVTRKBAR_" + o + "_XPPTR"; break;
      case tsXPBox: name = "KVTRKBAR_" + o + "_XPBOX"; break;
      default:
        name = !Vertical() && FPointerType == ptWin95 ? std::string("KVTRKBAR_WIN95") : "KVTRKBAR_" + o + "_PTR";
        break;
    }
    std::unique_ptr<TBitmap> strip = KvLoadArt(name);
    if (!strip) strip = std::make_unique<TBitmap>();
    FThumb = Cell(*strip, 0, 4);
    FHotThumb = Cell(*strip, 1, 4);
    FDisabledThumb = Cell(*strip, 2, 4);
    FMask = Cell(*strip, 3, 4);
    if (s != tsXPPointer && s != tsXPBox) {
      TColor hot1, hot2, hot3;
      if (FHotTrackColorType == htctActual) {
        hot1 = hot2 = FHotTrackColor;
        hot3 = KvMixColors(0xFFFFFF, FHotTrackColor, 190);
      } else {
        TColor k = KvComplementColor(FHotTrackColor, 140);
        hot1 = KvDarken(k, 15);
        hot2 = KvDarken(k, 30);
        hot3 = k;
      }
      const COLORREF from[14] = {0xC0C0C0, 0x808080, 0x008080, 0x00FFFF, 0x008000, 0xFF0000, 0x800000,
                                 0xFFFF00, 0x0000FF, 0x000080, 0xFF00FF, 0x808000, 0x800080, 0x00FF00};
      const COLORREF to[14] = {Rgb(clBtnFace),
                               Rgb(clBtnShadow),
                               Rgb(cl3DDkShadow),
                               Rgb(cl3DLight),
                               Rgb(KvLighten(clBtnShadow, 30)),
                               (Rgb(FHighlightColor) + 1) & 0xFFFFFF,
                               Rgb(KvDarken(FHighlightColor, 30)),
                               Rgb(KvLighten(FHighlightColor, 30)),
                               Rgb(hot1),
                               Rgb(hot2),
                               Rgb(hot3),
                               Rgb(clBtnShadow),
                               Rgb(KvDarken(clBtnShadow, 30)),
                               Rgb(KvLighten(clBtnShadow, 30))};
      for (TBitmap* b : {FThumb.get(), FHotThumb.get(), FDisabledThumb.get()}) MapColors(*b, from, to);
    }
  }
  for (TBitmap* b : {FThumb.get(), FHotThumb.get(), FMask.get(), FDisabledThumb.get()})
    FitLength(*b, FThumbLengthSetting, Vertical());
  FThumbLength = Vertical() ? FThumb->Height() : FThumb->Width();
  FThumbThickness = Vertical() ? FThumb->Width() : FThumb->Height();
  FHalfThumb = FThumbLength / 2;
}

void TKvTrackBar::LookChanged() {
  FBackgroundStale = true;
  Invalidate();
}

// ---- Properties -------------------------------------------------------------------------------------

void TKvTrackBar::SetMin(int32_t Value) {
  if (Value == FMin) return;
  FMin = Value;
  if (FMin >= FMax) {
    if (FMax == INT32_MIN) FMax = INT32_MIN + 1;
    FMin = FMax - 1;
  }
  if (FMin > FPosition) SetPosition(FMin);
  // The ticks follow the scale.
  LookChanged();
}

void TKvTrackBar::SetMax(int32_t Value) {
  if (Value == FMax) return;
  FMax = Value;
  if (FMax <= FMin) {
    if (FMin == INT32_MAX) FMin = INT32_MAX - 1;
    FMax = FMin + 1;
  }
  if (FMax < FPosition) SetPosition(FMax);
  LookChanged();
}

void TKvTrackBar::SetPosition(int32_t Value) {
  // Compared as requested: a value beyond the range still asks when the position is at the end.
  if (Value == FPosition) return;
  int32_t p = std::clamp(Value, FMin, FMax);
  if (!DoChanging(p)) return;
  FPosition = p;
  if (!FBackgroundStale) PaintThumb(Canvas());
  DoChange();
  KvNotifyDesignerModified(this);
}

#define KV_TB_LOOK(Name, Type, Field, Rebuild) \
  void TKvTrackBar::Set##Name(Type Value) {    \
    if (Field == Value) return;                \
    Field = Value;                             \
    if (Rebuild) BuildThumbImages();           \
    LookChanged();                             \
  }
KV_TB_LOOK(HighlightColor, TColor, FHighlightColor, true)
KV_TB_LOOK(HotTrackColor, TColor, FHotTrackColor, true)
KV_TB_LOOK(HotTrackColorType, TKvHotTrackColorType, FHotTrackColorType, true)
KV_TB_LOOK(Orientation, TOrientation, FOrientation, true)
KV_TB_LOOK(PointerType, TPointerType, FPointerType, true)
KV_TB_LOOK(ShowTicks, bool, FShowTicks, false)
KV_TB_LOOK(TickColor, TColor, FTickColor, false)
KV_TB_LOOK(TickStyle, TTickStyle, FTickStyle, false)
KV_TB_LOOK(TrackColor, TColor, FTrackColor, false)
KV_TB_LOOK(TrackOffset, uint16_t, FTrackOffset, false)
KV_TB_LOOK(TrackFrame, TFrameStyle, FTrackFrame, false)
KV_TB_LOOK(TrackFrameColor, TColor, FTrackFrameColor, false)
KV_TB_LOOK(Transparent, bool, FTransparent, false)
#undef KV_TB_LOOK

void TKvTrackBar::SetTickStep(TPositiveInteger Value) {
  // A step below 1 would draw no tick or divide by zero: 1 is the least step.
  Value = std::max(1, Value);
  if (FTickStep == Value) return;
  FTickStep = Value;
  LookChanged();
}

void TKvTrackBar::SetTrackWidth(uint16_t Value) {
  Value = std::max<uint16_t>(Value, 4);
  if (FTrackWidth == Value) return;
  FTrackWidth = Value;
  LookChanged();
}

void TKvTrackBar::SetThumbStyle(TThumbStyle Value) {
  if (FThumbStyle == Value) return;
  FThumbStyle = Value;
  if (!ComponentState().Contains(csLoading)) FTrackWidth = (Value == tsMixer || Value == tsFlat) ? 6 : 8;
  BuildThumbImages();
  LookChanged();
}

void TKvTrackBar::SetThumbLength(int32_t Value) {
  Value = std::max(0, Value);
  if (FThumbLengthSetting == Value) return;
  FThumbLengthSetting = Value;
  BuildThumbImages();
  LookChanged();
}

void TKvTrackBar::SetCustomThumb(const TBitmap* Value) {
  // The copy's change notice switches to the custom thumb.
  if (Value)
    FCustomThumb->Assign(*Value);
  else
    FCustomThumb->Assign(TBitmap());
}

// ---- Geometry ---------------------------------------------------------------------------------------

int32_t TKvTrackBar::Travel() const { return (Vertical() ? Height() : Width()) - FThumbLength - 2 * FEndMargin; }

TRect TKvTrackBar::TrackRect() const {
  int32_t a = FHalfThumb + FEndMargin;
  if (Vertical()) return TRect(FTrackOffset, a, FTrackOffset + FTrackWidth, Height() - FEndMargin - FHalfThumb);
  return TRect(a, FTrackOffset, Width() - FEndMargin - FHalfThumb, FTrackOffset + FTrackWidth);
}

TRect TKvTrackBar::ComputeThumbRect() const {
  int64_t range = int64_t(FMax) - FMin;
  int64_t d = range > 0 ? int64_t(Travel()) * (int64_t(FPosition) - FMin) / range : 0;
  bool pointer = FThumbStyle == tsPointer || FThumbStyle == tsXPPointer;
  int32_t lift = pointer && (Vertical() || FPointerType == ptStandard) ? 2 : 0;
  int32_t k = (int32_t(FTrackWidth) - FThumbThickness) / 2 + FTrackOffset - lift;
  if (Vertical()) {
    int32_t bottom = static_cast<int32_t>(Height() - d - FEndMargin);
    return TRect(k, bottom - FThumbLength, k + FThumbThickness, bottom);
  }
  int32_t left = static_cast<int32_t>(FEndMargin + d);
  return TRect(left, k, left + FThumbLength, k + FThumbThickness);
}

TRect TKvTrackBar::ThumbRect() const { return ComputeThumbRect(); }

// ---- Painting -----------------------------------------------------------------------------------------

void TKvTrackBar::PaintTrack(TCanvas* C) {
  TRect r = TrackRect();
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(Enabled() ? FTrackColor : clBtnFace);
  C->FillRect(r);
  if (FTrackFrame == fsFlat)
    KvPaintSideLines(C, r, FTrackFrameColor, FTrackFrameColor, KvAllSides);
  else
    KvPaintStyledFrame(C, r, FTrackFrame);
}

void TKvTrackBar::PaintTicks(TCanvas* C) {
  C->Pen()->SetStyle(TPenStyle::psSolid);
  C->Pen()->SetWidth(1);
  C->Pen()->SetColor(FTickColor);
  const int32_t M = FEndMargin;
  double scale = double(Travel()) / (double(FMax) - FMin);
  bool pointer = FThumbStyle == tsPointer || FThumbStyle == tsXPPointer;
  int64_t first = FMin;
  // The first multiple of the step at or above Min.
  int64_t rem = first % FTickStep;
  if (rem != 0) first += rem < 0 ? -rem : FTickStep - rem;
  for (int64_t i = first; i <= FMax; i += FTickStep) {
    int32_t d = static_cast<int32_t>(Trunc((i - FMin) * scale));
    if (!Vertical()) {
      int32_t x = d + M + FHalfThumb;
      if (FTickStyle == tkOwnerDraw) {
        DoDrawTick(C, TPoint(x, 0), int32_t(i));
      } else if (FThumbStyle == tsPointer && FPointerType == ptWin95) {
        C->MoveTo(x, Height() - 10);
        C->LineTo(x, Height() - M);
      } else {
        C->MoveTo(x, M);
        C->LineTo(x, 10);
        if (!pointer) {
          C->MoveTo(x, Height() - 10);
          C->LineTo(x, Height() - M);
        }
      }
    } else {
      int32_t y = Height() - FThumbLength - d - M + FHalfThumb;
      if (FTickStyle == tkOwnerDraw) {
        DoDrawTick(C, TPoint(0, y), int32_t(i));
      } else {
        C->MoveTo(M, y);
        C->LineTo(10, y);
        if (!pointer) {
          C->MoveTo(Width() - 10, y);
          C->LineTo(Width() - M, y);
        }
      }
    }
  }
}

void TKvTrackBar::RebuildBackground() {
  int32_t w = std::max(1, Width()), h = std::max(1, Height());
  if (FBackground->Width() != w || FBackground->Height() != h || FBackground->PixelFormat() != TPixelFormat::pf32bit)
    FBackground = std::make_unique<TBitmap>(w, h, TPixelFormat::pf32bit);
  TCanvas* b = FBackground->Canvas();
  if (FTransparent) {
    BitBlt(b, 0, 0, w, h, Canvas(), 0, 0, SRCCOPY);
  } else {
    b->Brush()->SetStyle(TBrushStyle::bsSolid);
    b->Brush()->SetColor(Color());
    b->FillRect(TRect(0, 0, w, h));
  }
  PaintTrack(b);
  if (FShowTicks) PaintTicks(b);
  FBackgroundStale = false;
}

void TKvTrackBar::PaintThumb(TCanvas* C) {
  TRect prev = FThumbRect;
  TRect next = ComputeThumbRect();
  FThumbRect = next;
  if (FBackgroundStale) RebuildBackground();
  TRect gone = Uncovered(prev, next);
  if (gone.Width() > 0 && gone.Height() > 0)
    BitBlt(C, gone.Left, gone.Top, gone.Width(), gone.Height(), FBackground->Canvas(), gone.Left, gone.Top, SRCCOPY);
  const TBitmap* image = !Enabled()                                                        ? FDisabledThumb.get()
                         : FMouseOverThumb && !ComponentState().Contains(csDesigning) ? FHotThumb.get()
                                                                                      : FThumb.get();
  int32_t w = FThumb->Width(), h = FThumb->Height();
  if (w <= 0 || h <= 0) return;
  // Composed off-screen from the cached background, the mask and the image: no flicker.
  TBitmap tmp(w, h, TPixelFormat::pf32bit);
  BitBlt(tmp.Canvas(), 0, 0, w, h, FBackground->Canvas(), next.Left, next.Top, SRCCOPY);
  BitBlt(tmp.Canvas(), 0, 0, w, h, FMask->Canvas(), 0, 0, SRCAND);
  BitBlt(tmp.Canvas(), 0, 0, w, h, const_cast<TBitmap*>(image)->Canvas(), 0, 0, SRCPAINT);
  BitBlt(C, next.Left, next.Top, w, h, tmp.Canvas(), 0, 0, SRCCOPY);
}

void TKvTrackBar::Paint() {
  TCanvas* c = Canvas();
  if (Focused() && FShowFocusRect) c->DrawFocusRect(ClientRect());
  PaintTrack(c);
  if (FShowTicks) PaintTicks(c);
  PaintThumb(c);
}

// ---- Events -----------------------------------------------------------------------------------------

void TKvTrackBar::DoChange() {
  if (OnChange) OnChange(this);
}

bool TKvTrackBar::DoChanging(int32_t NewPosition) {
  bool allow = true;
  if (OnChanging) OnChanging(this, NewPosition, allow);
  return allow;
}

void TKvTrackBar::DoDrawTick(TCanvas* C, TPoint Location, int32_t Index) {
  if (OnDrawTick) OnDrawTick(this, C, Location, Index);
}

// ---- Keyboard ----------------------------------------------------------------------------------------

void TKvTrackBar::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  int32_t p = FPosition, v = p;
  switch (Key) {
    case VK_PRIOR: v = static_cast<int32_t>(std::min<int64_t>(int64_t(p) + FPageSize, INT32_MAX)); break;
    case VK_NEXT: v = static_cast<int32_t>(std::max<int64_t>(int64_t(p) - FPageSize, INT32_MIN)); break;
    case VK_END: v = Vertical() ? FMin : FMax; break;
    case VK_HOME: v = Vertical() ? FMax : FMin; break;
    case VK_LEFT:
    case VK_DOWN:
    case VK_SUBTRACT: v = p > FMin ? p - 1 : p; break;
    case VK_UP:
    case VK_RIGHT:
    case VK_ADD: v = p < FMax ? p + 1 : p; break;
    default: break;
  }
  if (PositionAllowed(v)) SetPosition(v);
}

void TKvTrackBar::KeyPress(std::string& Key) {
  if (FTabOnEnter && Key == "\r") {
    Key.clear();
    // Through the dialog-key path, where Tab moves the focus on.
    PostMessage(Handle(), CN_KEYDOWN, VK_TAB, 0);
    return;
  }
  TCustomControl::KeyPress(Key);
}

// ---- Mouse ----------------------------------------------------------------------------------------------

void TKvTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (!ComponentState().Contains(csDesigning) && CanFocus() && !Focused()) SetFocus();
  if (Button != TMouseButton::mbLeft) return;
  TPoint pt(X, Y);
  TRect thumb = ComputeThumbRect();
  if (PtInRect(thumb, pt)) {
    if (FPaging) MouseUp(Button, Shift, X, Y);
    SetMouseCapture(true);
    FSliding = true;
    FGrabX = X - thumb.Left - thumb.Width() / 2;
    FGrabY = Y - thumb.Top - thumb.Height() / 2;
    return;
  }
  if (!PtInRect(TrackRect(), pt)) return;
  FRepeatTimer->SetEnabled(true);
  FLastX = X;
  FLastY = Y;
  double scale = double(Travel()) / (double(FMax) - FMin);
  bool up;
  if (!Vertical()) {
    int64_t edge = Trunc((double(FPosition) - FMin) * scale) + FEndMargin;
    up = X >= edge;
  } else {
    int64_t edge = Trunc((double(FMax) - FPosition) * scale) + FEndMargin;
    up = Y < edge;
  }
  if (!FPaging) {
    FPaging = true;
    FPagingUp = up;
  }
  if (up == FPagingUp) {
    int64_t v = int64_t(FPosition) + (up ? int64_t(FPageSize) : -int64_t(FPageSize));
    int32_t req = static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    if (PositionAllowed(req)) SetPosition(req);
  } else {
    // The thumb has passed the pointer: the paging ends.
    MouseUp(Button, Shift, X, Y);
  }
}

void TKvTrackBar::RepeatTimerFired() {
  FRepeatTimer->SetInterval(100);
  if (!MouseCapture()) return;
  try {
    MouseDown(TMouseButton::mbLeft, TShiftState(), FLastX, FLastY);
  } catch (...) {
    FRepeatTimer->SetEnabled(false);
    FRepeatTimer->SetInterval(200);
    throw;
  }
}

void TKvTrackBar::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (FSliding) {
    TRect t = TrackRect();
    int64_t length = Vertical() ? int64_t(t.Bottom) - t.Top : int64_t(t.Right) - t.Left;
    // A track with no length has no scale to map the pointer on.
    if (length <= 0) return;
    int64_t v = Vertical() ? int64_t(t.Bottom) + FGrabY - Y : int64_t(X) - t.Left - FGrabX;
    int64_t req = Round(double(v) / double(length) * (double(FMax) - FMin) + FMin);
    int32_t p = static_cast<int32_t>(std::clamp<int64_t>(req, FMin, FMax));
    if (PositionAllowed(p)) SetPosition(p);
    return;
  }
  FMouseOverThumb = PtInRect(ComputeThumbRect(), ScreenToClient(GetCursorPos()));
  PaintThumb(Canvas());
}

void TKvTrackBar::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  FRepeatTimer->SetEnabled(false);
  FRepeatTimer->SetInterval(200);
  FPaging = false;
  if (FSliding && Button == TMouseButton::mbLeft) {
    FSliding = false;
    SetMouseCapture(false);
    FMouseOverThumb = false;
    PaintThumb(Canvas());
  }
}

// ---- Messages ---------------------------------------------------------------------------------------

void TKvTrackBar::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS; return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TCustomControl::Dispatch(M);
      Repaint();
      return;
    case WM_ERASEBKGND:
      if (FTransparent) {
        KvPaintParentBackgroundDC(this, reinterpret_cast<HDC>(M.WParam), true);
        M.Result = 1;
        return;
      }
      break;
    case WM_SETCURSOR: {
      if (FSettingCursor) break;
      FSettingCursor = true;
      bool over = PtInRect(ComputeThumbRect(), ScreenToClient(GetCursorPos()));
      TCursor want = over ? (Vertical() ? crKvTrackBarV : crKvTrackBarH) : crDefault;
      if (over || Cursor() == crKvTrackBarH || Cursor() == crKvTrackBarV) SetCursor(want);
      FSettingCursor = false;
      break;
    }
    default: break;
  }
  TCustomControl::Dispatch(M);
}

void TKvTrackBar::WMSize(TMessage& M) {
  TCustomControl::WMSize(M);
  SetOrientation(Height() > Width() ? orVertical : orHorizontal);
  FBackgroundStale = true;
}

void TKvTrackBar::CMMouseEnter(TMessage& M) {
  if (ComponentState().Contains(csDesigning)) return;
  TCustomControl::CMMouseEnter(M);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TKvTrackBar::CMMouseLeave(TMessage& M) {
  TCustomControl::CMMouseLeave(M);
  if (OnMouseLeave) OnMouseLeave(this);
  if (!FSliding) {
    FMouseOverThumb = false;
    PaintThumb(Canvas());
  }
}

void TKvTrackBar::CMEnabledChanged(TMessage& M) {
  TCustomControl::CMEnabledChanged(M);
  LookChanged();
}

void TKvTrackBar::CMParentColorChanged(TMessage& M) {
  TCustomControl::CMParentColorChanged(M);
  LookChanged();
}

void TKvTrackBar::CMDesignHitTest(TMessage& M) {
  M.Result = FSliding || PtInRect(ComputeThumbRect(), ScreenToClient(GetCursorPos())) ? 1 : 0;
}

void RegisterKvTrackBarProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  using T = TKvTrackBar;
  RegisterIntegerProperty<T>("Position", [](T* c, int64_t v) { c->SetPosition(int32_t(v)); },
                             [](const T* c) { return int64_t(c->Position()); });
  RegisterIntegerProperty<T>("Min", [](T* c, int64_t v) { c->SetMin(int32_t(v)); },
                             [](const T* c) { return int64_t(c->Min()); });
  RegisterIntegerProperty<T>("Max", [](T* c, int64_t v) { c->SetMax(int32_t(v)); },
                             [](const T* c) { return int64_t(c->Max()); });
  RegisterIntegerProperty<T>("PageSize", [](T* c, int64_t v) { c->SetPageSize(uint16_t(v)); },
                             [](const T* c) { return int64_t(c->PageSize()); });
  RegisterIntegerProperty<T>("TickStep", [](T* c, int64_t v) { c->SetTickStep(int32_t(v)); },
                             [](const T* c) { return int64_t(c->TickStep()); });
  RegisterIntegerProperty<T>("TrackOffset", [](T* c, int64_t v) { c->SetTrackOffset(uint16_t(v)); },
                             [](const T* c) { return int64_t(c->TrackOffset()); });
  RegisterIntegerProperty<T>("TrackWidth", [](T* c, int64_t v) { c->SetTrackWidth(uint16_t(v)); },
                             [](const T* c) { return int64_t(c->TrackWidth()); });
  KvRegisterTransparentProperty<T>();
  KvRegisterOrdProperty<T>("ShowTicks", TTypeKind::tkEnumeration, [](T* c, int64_t v) { c->SetShowTicks(v != 0); },
                           [](const T* c) { return int64_t(c->ShowTicks()); });
}
