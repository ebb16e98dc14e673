// TQuillotView: zoom, fitting, view origin, scroll bars, wheel and smooth scrolling.
#include <algorithm>
#include <cfenv>
#include <cmath>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/view/view.h"
#include "imaging/view/view_internal.h"
#include "platform/base/numeric.h"
#include "platform/ui/forms.h"

namespace {
// The primary button as the input layer last saw it.
bool PrimaryMouseDown() { return QxPrimaryMouseDown(); }
}  // namespace

void TQuillotView::StopSmoothScroll() {
  if (!FSmoothTimer) return;
  // The step that ends the scroll runs inside the timer's own handler: park it, free it later.
  FSmoothTimer->SetEnabled(false);
  FRetiredTimers.emplace_back(FSmoothTimer);
  FSmoothTimer = nullptr;
}

// ---- zoom ----

void TQuillotView::ApplyZoomAxis(int Axis, double Z) {
  StopSmoothScroll();
  Z = BoundedZoom(Z, Axis);
  if (Z <= 0) return;
  const double s = Z / 100;
  int32_t mx = 0, my = 0;
  if (Axis != 1) {
    const int32_t cx = ViewClientWidth() / 2;
    const int64_t bx = Round((cx + FViewOriginX - FImageLeft) * FInvScaleX);
    const int64_t nx = Trunc(bx * s - cx);
    FZoomX = Z;
    FScaleX = s;
    FInvScaleX = 100 / Z;
    if (Axis == 0) {
      const int32_t cy = ViewClientHeight() / 2;
      const int64_t by = Round((cy + FViewOriginY - FImageTop) * FInvScaleY);
      const int64_t ny = Trunc(by * s - cy);
      FZoomY = Z;
      FScaleY = s;
      FInvScaleY = 100 / Z;
      GetMaxViewOrigin(mx, my);
      FViewOriginX = nx > mx ? mx : (nx < 0 ? 0 : int32_t(nx));
      FViewOriginY = ny > my ? my : (ny < 0 ? 0 : int32_t(ny));
      return;
    }
    GetMaxViewOrigin(mx, my);
    FViewOriginX = nx > mx ? mx : (nx < 0 ? 0 : int32_t(nx));
    return;
  }
  const int32_t cy = ViewClientHeight() / 2;
  const int64_t by = Round((cy + FViewOriginY - FImageTop) * FInvScaleY);
  const int64_t ny = Trunc(by * s - cy);
  FZoomY = Z;
  FScaleY = s;
  FInvScaleY = 100 / Z;
  GetMaxViewOrigin(mx, my);
  FViewOriginY = ny > my ? my : (ny < 0 ? 0 : int32_t(ny));
}

void TQuillotView::ApplyZoom(double Zoom) { ApplyZoomAxis(0, Zoom); }
void TQuillotView::ApplyZoomX(double Zoom) { ApplyZoomAxis(2, Zoom); }
void TQuillotView::ApplyZoomY(double Zoom) { ApplyZoomAxis(1, Zoom); }

void TQuillotView::DelayedFilterCountdown(bool AnyAxisNot100) {
  if (FDelayZoomFilter && FZoomFilter != TResampleFilter::rfNone && AnyAxisNot100) FFastPaintsLeft = FastPaintCount;
  FOutlineSkipsLeft = OutlineSkipCount;
}

double TQuillotView::BoundedZoom(double Z, int Axis) const {
  if (!(Z > 0)) return 0;
  int32_t side = 0;
  if (Axis != 1) side = std::max(side, FImageWidth);
  if (Axis != 2) side = std::max(side, FImageHeight);
  // One table entry per zoomed pixel: the longest side caps the zoom, and no zoomed size nears 2^31.
  double hi = MaxZoom;
  if (side > 0) hi = std::min(hi, MaxZoomedSize * 100.0 / side);
  return std::clamp(Z, std::min(MinZoom, hi), hi);
}

// Axis 0 both, 2 horizontal, 1 vertical.
void TQuillotView::ZoomSetterCommon(int Axis, double Z) {
  StopSmoothScroll();
  DoViewChanging(2, Z);
  Z = BoundedZoom(Z, Axis);
  if (Z <= 0) return;
  if (Axis == 0 && Z == FZoomX && Z == FZoomY) return;
  if (Axis == 2 && Z == FZoomX) return;
  if (Axis == 1 && Z == FZoomY) return;
  const bool not100 = Axis == 0 ? (FZoomX != 100 || FZoomY != 100) : (Axis == 2 ? FZoomX != 100 : FZoomY != 100);
  DelayedFilterCountdown(not100);
  IncPaintLock();
  TQuillotView* linked = Axis == 0 ? FLinkedView : nullptr;
  if (linked) linked->IncPaintLock();
  if (Axis == 0)
    ApplyZoom(Z);
  else if (Axis == 2)
    ApplyZoomX(Z);
  else
    ApplyZoomY(Z);
  // The first pass may show or hide scroll bars and so change the client size.
  ChangeKind = 2;
  UpdateView();
  ChangeKind = 2;
  UpdateView();
  UpdateViewExtents();
  BuildZoomTables();
  DecPaintLock();
  if (linked) linked->DecPaintLock();
  PaintView();
  DoViewChange(1);
}

void TQuillotView::SetZoom(double Zoom) { ZoomSetterCommon(0, Zoom); }
void TQuillotView::SetZoomX(double Zoom) { ZoomSetterCommon(2, Zoom); }
void TQuillotView::SetZoomY(double Zoom) { ZoomSetterCommon(1, Zoom); }

void TQuillotView::GetFrameMargins(int32_t& MX, int32_t& MY) {
  const TQxViewUnitValues& v = QxViewValues();
  switch (FBackgroundStyle) {
    case TQxBackgroundStyle::qxbsCropped:
      MX = v.CxEdge;
      MY = v.CyEdge;
      return;
    case TQxBackgroundStyle::qxbsCropShadow:
      MX = MY = 5;
      return;
    case TQxBackgroundStyle::qxbsSoftShadow:
      MX = MY = 9;
      return;
    default:
      break;
  }
  if (BorderStyle() == TBorderStyle::bsNone) {
    MX = MY = 0;
  } else if (Ctl3D()) {
    MX = v.CxEdge;
    MY = v.CyEdge;
  } else {
    MX = v.CxBorder;
    MY = v.CyBorder;
  }
}

double TQuillotView::GetFitZoom() {
  int32_t mx = 0, my = 0;
  GetFrameMargins(mx, my);
  const double zx = (Width() - 2.0 * mx) / (FImageWidth / 100.0);
  const double zy = (Height() - 2.0 * my) / (FImageHeight / 100.0);
  return std::min(zx, zy);
}

void TQuillotView::HideHorzScrollBar() {
  if (FHorzBarShown) {
    // Cleared first: hiding resizes the client, and the update that runs then may show the bar again.
    FHorzBarShown = false;
    QxShowScrollBar(this, SB_HORZ, false, FFlatScrollBars);
  }
}

void TQuillotView::HideVertScrollBar() {
  if (FVertBarShown) {
    // Cleared first: hiding resizes the client, and the update that runs then may show the bar again.
    FVertBarShown = false;
    QxShowScrollBar(this, SB_VERT, false, FFlatScrollBars);
  }
}

void TQuillotView::ZoomToFit() {
  if (FImageWidth == 0 || FImageHeight == 0) return;
  HideHorzScrollBar();
  HideVertScrollBar();
  SetZoom(GetFitZoom());
}

double TQuillotView::ChooseAutoZoom(int32_t W, int32_t H, bool Shrink, bool Stretch, int32_t AW, int32_t AH) {
  if (W == 0 || H == 0 || AW == 0 || AH == 0) return 100;
  const double z = GetFitZoom();
  if (!std::isfinite(z)) return 100;
  if (double(W) / AW > double(H) / AH) {
    if (W > AW) return Shrink ? z : 100;
    return Stretch ? z : 100;
  }
  if (H > AH) return Shrink ? z : 100;
  return Stretch ? z : 100;
}

void TQuillotView::AutoZoom() {
  if (!(FAutoFit || FAutoStretch || FAutoShrink) || FImageWidth == 0 || FImageHeight == 0) return;
  DoViewChanging(2, FZoomX);
  int32_t mx = 0, my = 0;
  switch (FBackgroundStyle) {
    case TQxBackgroundStyle::qxbsCropped:
    case TQxBackgroundStyle::qxbsCropShadow:
    case TQxBackgroundStyle::qxbsSoftShadow:
      GetFrameMargins(mx, my);
      break;
    default:
      mx = (Width() - ViewClientWidth()) / 2;
      my = (Height() - ViewClientHeight()) / 2;
      break;
  }
  if (FImageWidth > 1 || FImageHeight > 1) {
    FZoomX = ChooseAutoZoom(FImageWidth, FImageHeight, FAutoShrink || FAutoFit, FAutoStretch || FAutoFit,
                            ViewClientWidth() - 2 * mx, ViewClientHeight() - 2 * my);
    FZoomY = FZoomX;
  } else {
    FZoomX = FZoomY = 100;
  }
  if (FZoomX < 1) FZoomX = 1;
  if (FZoomY < 1) FZoomY = 1;
  FZoomX = BoundedZoom(FZoomX, 2);
  FZoomY = BoundedZoom(FZoomY, 1);
  RecomputeScales();
  UpdateViewExtents();
  BuildZoomTables();
  DoViewChange(1);
  FFastPaintsLeft = 0;
  FOutlineSkipsLeft = 0;
}

void TQuillotView::ZoomAroundPoint(int32_t X, int32_t Y, double Zoom, bool Centre) {
  TQuillotView* linked = FLinkedView;
  if (linked) linked->IncPaintLock();
  DoViewChanging(2, X);
  DoViewChanging(2, Y);
  IncPaintLock();
  const int32_t bx = ScreenToBitmapX(X), by = ScreenToBitmapY(Y);
  SetZoom(Zoom);
  const double s = FZoomX / 100;
  if (Centre)
    SetViewOrigin(int32_t(Trunc(bx * s - ViewClientWidth() / 2)), int32_t(Trunc(by * s - ViewClientHeight() / 2)));
  else
    SetViewOrigin(int32_t(Trunc(bx * s - X + s)), int32_t(Trunc(by * s - Y + s)));
  DecPaintLockAndUpdate();
  UpdateViewExtents();
  BuildZoomTables();
  if (linked) {
    linked->DecPaintLock();
    SyncLinkedView();
  }
}

void TQuillotView::FitZoomToSelection(bool Uniform, bool Notify) {
  if (!FSelected) return;
  const int32_t l = SelectionBoxLeft(), t = SelectionBoxTop(), r = SelectionBoxRight(), b = SelectionBoxBottom();
  if (l < 0 || t < 0) return;
  const int32_t w = r - l + 1, h = b - t + 1;
  if (w < 2 || h < 2) return;
  Deselect();
  double z = std::min(Height() / (h / 100.0), Width() / (w / 100.0));
  if (Notify) DoZoomIn(z);
  if (Uniform) {
    SetZoom(z);
  } else {
    SetZoomX(Width() / (w / 100.0));
    SetZoomY(Height() / (h / 100.0));
  }
  const double sx = FZoomX / 100, sy = FZoomY / 100;
  SetViewOrigin(int32_t(Trunc(l * sx) - (ViewClientWidth() - Trunc(w * sx)) / 2),
                int32_t(Trunc(t * sy) - (ViewClientHeight() - Trunc(h * sy)) / 2));
}

// ---- origin ----

void TQuillotView::GetMaxViewOrigin(int32_t& MaxX, int32_t& MaxY) {
  const int32_t cw = ViewClientWidth(), ch = ViewClientHeight();
  int64_t W = Trunc(FImageWidth * FScaleX);
  int64_t H = Trunc(FImageHeight * FScaleY);
  if (FZoomX != FZoomY) {
    if (W > cw + 10) W = Trunc((FImageWidth + 1) * FScaleX);
    if (H > ch + 10) H = Trunc((FImageHeight + 1) * FScaleY);
  } else if ((W > cw + 10 || H > ch + 10) && FScrollBars != TScrollStyle::ssNone) {
    W = Trunc((FImageWidth + 1) * FScaleX);
    H = Trunc((FImageHeight + 1) * FScaleY);
  }
  MaxX = MaxY = 0;
  if (W < 1 || H < 1) return;
  MaxX = int32_t(W - cw);
  MaxY = int32_t(H - ch);
  if (MaxX < 0 || ScreenToBitmapX(MaxX) == 0) MaxX = 0;
  if (MaxY < 0 || ScreenToBitmapY(MaxY) == 0) MaxY = 0;
  if (FZoomX == FZoomY) {
    if (W <= Width() && H <= Height()) MaxX = MaxY = 0;
  } else {
    if (W <= Width()) MaxX = 0;
    if (H <= Height()) MaxY = 0;
  }
}

void TQuillotView::ViewOriginChanged() {
  DelayedFilterCountdown(FZoomX != 100 || FZoomY != 100);
  // Everything is recomposed: the layers' pixels may have changed since the frame now on the screen.
  ++FContentGeneration;
  FBufferDirty = true;
  FRepaintAll = true;
  PaintView();
  DoViewChange(0);
  if (FSelected) PaintSelection(this, false);
}

void TQuillotView::SetViewOrigin(int32_t X, int32_t Y) {
  DoViewChanging(0, X);
  DoViewChanging(1, Y);
  if (X == FViewOriginX && Y == FViewOriginY) return;
  int32_t mx = 0, my = 0;
  GetMaxViewOrigin(mx, my);
  const int32_t ox = FViewOriginX, oy = FViewOriginY;
  FViewOriginX = X > mx ? mx : (X < 0 ? 0 : X);
  FViewOriginY = Y > my ? my : (Y < 0 ? 0 : Y);
  if (ox == FViewOriginX && oy == FViewOriginY) return;
  ViewOriginChanged();
  if (FScrollBars == TScrollStyle::ssHorizontal || FScrollBars == TScrollStyle::ssBoth)
    QxSetScrollPos(this, SB_HORZ, int32_t(Trunc(FViewOriginX / FScrollRatioX)), true, FFlatScrollBars);
  if (FScrollBars == TScrollStyle::ssVertical || FScrollBars == TScrollStyle::ssBoth)
    QxSetScrollPos(this, SB_VERT, int32_t(Trunc(FViewOriginY / FScrollRatioY)), true, FFlatScrollBars);
}

void TQuillotView::SetViewOriginX(int32_t X) {
  DoViewChanging(0, X);
  if (X == FViewOriginX) return;
  int32_t mx = 0, my = 0;
  GetMaxViewOrigin(mx, my);
  const int32_t ox = FViewOriginX;
  FViewOriginX = X > mx ? mx : (X < 0 ? 0 : X);
  if (ox == FViewOriginX) return;
  ViewOriginChanged();
  if (FScrollBars == TScrollStyle::ssHorizontal || FScrollBars == TScrollStyle::ssBoth)
    QxSetScrollPos(this, SB_HORZ, int32_t(Trunc(FViewOriginX / FScrollRatioX)), true, FFlatScrollBars);
}

void TQuillotView::SetViewOriginY(int32_t Y) {
  DoViewChanging(1, Y);
  if (Y == FViewOriginY) return;
  int32_t mx = 0, my = 0;
  GetMaxViewOrigin(mx, my);
  const int32_t oy = FViewOriginY;
  FViewOriginY = Y > my ? my : (Y < 0 ? 0 : Y);
  if (oy == FViewOriginY) return;
  ViewOriginChanged();
  if (FScrollBars == TScrollStyle::ssVertical || FScrollBars == TScrollStyle::ssBoth)
    QxSetScrollPos(this, SB_VERT, int32_t(Trunc(FViewOriginY / FScrollRatioY)), true, FFlatScrollBars);
}

bool TQuillotView::IsScrollable() {
  int32_t mx = 0, my = 0;
  GetMaxViewOrigin(mx, my);
  return mx > 0 || my > 0;
}

// ---- scroll bars ----

void TQuillotView::UpdateScrollBar(bool Horizontal, int32_t Max) {
  const int Bar = Horizontal ? SB_HORZ : SB_VERT;
  bool& shown = Horizontal ? FHorzBarShown : FVertBarShown;
  if (Max < 1) {
    if (KeepScrollBars) {
      shown = true;
      QxEnableScrollBar(this, Bar, ESB_DISABLE_BOTH, FFlatScrollBars);
      QxShowScrollBar(this, Bar, true, FFlatScrollBars);
    } else if (shown) {
      shown = false;
      QxShowScrollBar(this, Bar, false, FFlatScrollBars);
    }
    return;
  }
  shown = true;
  const int32_t client = Horizontal ? ViewClientWidth() : ViewClientHeight();
  const int32_t origin = Horizontal ? FViewOriginX : FViewOriginY;
  double& ratio = Horizontal ? FScrollRatioX : FScrollRatioY;
  ratio = (client + double(Max)) / 65536;
  QxSetScrollBar(this, Bar, 0, 65535, int32_t(Trunc(client / ratio)), int32_t(Trunc(origin / ratio)), true,
                 FFlatScrollBars);
  QxEnableScrollBar(this, Bar, ESB_ENABLE_BOTH, FFlatScrollBars);
  QxShowScrollBar(this, Bar, true, FFlatScrollBars);
}

void TQuillotView::ScrollBarsUpdate() {
  try {
    int32_t mx = 0, my = 0;
    GetMaxViewOrigin(mx, my);
    if (FScrollBars == TScrollStyle::ssHorizontal || FScrollBars == TScrollStyle::ssBoth) UpdateScrollBar(true, mx);
    if (FScrollBars == TScrollStyle::ssVertical || FScrollBars == TScrollStyle::ssBoth) UpdateScrollBar(false, my);
  } catch (...) {
  }
}

void TQuillotView::ScrollVertical(uint8_t Kind, int32_t Position) {
  const int32_t step = std::max(int32_t(Trunc(FScaleY)), 1);
  const TQxScrollBarParams& p = *FVertScrollParams;
  int32_t mx = 0, my = 0;
  int64_t v = FViewOriginY;
  switch (Kind) {
    case 0: v = Position; break;
    case 1: GetMaxViewOrigin(mx, my); v = my; break;
    case 2: v = 0; break;
    case 3: v = FViewOriginY + int64_t(step) * (p.LineAmount == -1 ? 1 : p.LineAmount); break;
    case 4: v = FViewOriginY - int64_t(step) * (p.LineAmount == -1 ? 1 : p.LineAmount); break;
    case 5: v = FViewOriginY + (p.PageAmount == -1 ? ViewClientHeight() : int64_t(step) * p.PageAmount); break;
    case 6: v = FViewOriginY - (p.PageAmount == -1 ? ViewClientHeight() : int64_t(step) * p.PageAmount); break;
    default: return;
  }
  SetViewOriginY(int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)));
}

void TQuillotView::ScrollHorizontal(uint8_t Kind, int32_t Position) {
  const int32_t step = std::max(int32_t(Trunc(FScaleX)), 1);
  const TQxScrollBarParams& p = *FHorzScrollParams;
  int32_t mx = 0, my = 0;
  int64_t v = FViewOriginX;
  switch (Kind) {
    case 0: v = Position; break;
    case 1: GetMaxViewOrigin(mx, my); v = mx; break;
    case 2: v = 0; break;
    case 3: v = FViewOriginX + int64_t(step) * (p.LineAmount == -1 ? 1 : p.LineAmount); break;
    case 4: v = FViewOriginX - int64_t(step) * (p.LineAmount == -1 ? 1 : p.LineAmount); break;
    case 5: v = FViewOriginX + (p.PageAmount == -1 ? ViewClientWidth() : int64_t(step) * p.PageAmount); break;
    case 6: v = FViewOriginX - (p.PageAmount == -1 ? ViewClientWidth() : int64_t(step) * p.PageAmount); break;
    default: return;
  }
  SetViewOriginX(int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)));
}

void TQuillotView::ApplyScrollMessage(TMessage& Message, bool Horizontal) {
  const int code = int(Message.WParam & 0xFFFF);
  const int32_t pos = int32_t((Message.WParam >> 16) & 0xFFFF);
  const double ratio = Horizontal ? FScrollRatioX : FScrollRatioY;
  const TQxScrollBarParams& p = Horizontal ? *FHorzScrollParams : *FVertScrollParams;
  auto scroll = [&](uint8_t kind, int32_t position) {
    if (Horizontal)
      ScrollHorizontal(kind, position);
    else
      ScrollVertical(kind, position);
  };
  switch (code) {
    case SB_LINEUP: scroll(4, 0); break;
    case SB_LINEDOWN: scroll(3, 0); break;
    case SB_PAGEUP: scroll(6, 0); break;
    case SB_PAGEDOWN: scroll(5, 0); break;
    case SB_TOP: scroll(2, 0); break;
    case SB_BOTTOM: scroll(1, 0); break;
    case SB_THUMBPOSITION: scroll(0, int32_t(Round(pos * ratio))); break;
    case SB_THUMBTRACK:
      if (p.LiveTracking) scroll(0, int32_t(Round(pos * ratio)));
      break;
    default: scroll(0, Horizontal ? FViewOriginX : FViewOriginY); break;
  }
}

// ---- wheel ----

void TQuillotView::ApplyWheel(int32_t Delta, int32_t X, int32_t Y, bool Ctrl) {
  const TQxMouseWheelParams& p = *FWheelParams;
  if (p.WheelAction == 0 || FAutoFit) return;
  int32_t dir = Delta > 0 ? -1 : 1;
  if (p.ReverseDirection) dir = -dir;
  if (p.WheelAction == 1) {
    int32_t mx = 0, my = 0;
    GetMaxViewOrigin(mx, my);
    const bool horz = Ctrl || (mx > 0 && my == 0);
    const double scale = horz ? FScaleX : FScaleY;
    const int32_t client = horz ? ViewClientWidth() : ViewClientHeight();
    int32_t step;
    if (p.StepKind == 0)
      step = p.StepSize * std::max(int32_t(Trunc(scale)), 1);
    else if (p.StepKind == 1)
      step = std::max(int32_t(Round(client * double(p.StepSize) / 100)), 1);
    else
      return;
    if (horz)
      SetViewOriginX(FViewOriginX + dir * step);
    else
      SetViewOriginY(FViewOriginY + dir * step);
  } else if (p.WheelAction == 2) {
    double z = QxWheelZoomTarget(p.StepKind, p.StepSize, FZoomX, dir);
    if (z > FZoomX)
      DoZoomIn(z);
    else if (z < FZoomX)
      DoZoomOut(z);
    if (p.ZoomAtCursor == 0)
      SetZoom(z);
    else
      ZoomAroundPoint(X, Y, z, false);
  }
}

// ---- smooth scroll ----

void TQuillotView::SmoothScrollTo(int32_t X, int32_t Y) {
  if (SmoothDivisor == 0) {
    SetViewOrigin(X, Y);
    return;
  }
  FSmoothTargetX = X;
  FSmoothTargetY = Y;
  if (FSmoothTimer) return;
  FRetiredTimers.clear();
  FSmoothTimer = new TTimer(nullptr);
  FSmoothTimer->SetInterval(30);
  FSmoothTimer->SetOnTimer([this](TObject*) { SmoothScrollStep(); });
  FSmoothTimer->SetEnabled(true);
  SmoothScrollStep();
}

void TQuillotView::SmoothScrollStep() {
  if (!FSmoothTimer) return;
  const int32_t x0 = FViewOriginX, y0 = FViewOriginY;
  const double d = SmoothDivisor;
  SetViewOrigin(int32_t(Round(x0 - (x0 - FSmoothTargetX) / d)), int32_t(Round(y0 - (y0 - FSmoothTargetY) / d)));
  if ((FViewOriginX == x0 && FViewOriginY == y0) || PrimaryMouseDown()) StopSmoothScroll();
}

double QxWheelZoomTarget(uint8_t StepKind, int32_t StepSize, double Zoom, int32_t Dir) {
  if (StepKind == 0) return Zoom + Dir * StepSize;
  if (StepKind == 1) return Zoom + Dir * std::max<int64_t>(Round(StepSize * Zoom / 100), 1);
  return Zoom;
}
