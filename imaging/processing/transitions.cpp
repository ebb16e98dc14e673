#include "imaging/processing/transitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/kernels/alpha_rows.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/view_base.h"
#include "imaging/processing/transition_procs.h"
#include "platform/base/clock.h"
#include "platform/base/exceptions.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/timer.h"

void (*QxPaintViewBackgroundHook)(TQxView* View, TCanvas* Canvas) = nullptr;

namespace {

std::unique_ptr<TBitmap> OnePixel() {
  auto b = std::make_unique<TBitmap>();
  b->SetWidth(1);
  b->SetHeight(1);
  b->SetPixelFormat(TPixelFormat::pf24bit);
  return b;
}

void Shrink(TBitmap* B) {
  B->SetWidth(1);
  B->SetHeight(1);
}

constexpr TColor kLineColor = 0x0000FF;  // red

}  // namespace

int32_t QxTransitionStepAt(TQxTransitionTiming Timing, uint32_t Elapsed, int32_t Duration) {
  long double T = static_cast<long double>(Elapsed) / std::max(Duration, 1);
  long double S;
  switch (Timing) {
    case TQxTransitionTiming::qxtmExponential: S = std::exp(T * 5 - 2.718L) / 10 * 1024; break;
    case TQxTransitionTiming::qxtmLogarithmic:
      // Ln 0 is minus infinity and the curve is negative for the first moments: those steps are 0.
      S = T > 0 ? (std::log(T * 10) + 2.718L) / 5 * 1024 : 0;
      break;
    default: S = T * 1024; break;
  }
  if (!(S > 0)) return 0;
  return static_cast<int32_t>(std::min<long double>(std::trunc(S), 1024));
}

TQxTransitionEffects::TQxTransitionEffects(TQxView* AView) : view_(AView) {
  fromBitmap_ = OnePixel();
  toBitmap_ = OnePixel();
  frameBitmap_ = OnePixel();
  // Held here rather than by the view, so that neither frees it under the other.
  timer_ = new TTimer(nullptr);
  timer_->SetEnabled(false);
  timer_->SetOnTimer([this](TObject* Sender) { TimerStep(Sender); });
  timer_->SetInterval(1);
}

TQxTransitionEffects::~TQxTransitionEffects() {
  delete timer_;
  timer_ = nullptr;
}

void TQxTransitionEffects::PrepareFrame(int32_t W, int32_t H) {
  if (W <= 0 || H <= 0) throw EInvalidOperation("A transition needs a frame of at least one pixel");
  FrameWidth = W;
  FrameHeight = H;
  frameBitmap_->SetSizeUninitialised(W, H, TPixelFormat::pf24bit);
}

void TQxTransitionEffects::BuildRowTables() {
  auto Rows = [](TBitmap* B, std::vector<uint8_t*>& Out) {
    Out.resize(static_cast<size_t>(B->Height()));
    for (int32_t Y = 0; Y < B->Height(); ++Y) Out[static_cast<size_t>(Y)] = static_cast<uint8_t*>(B->ScanLine(Y));
  };
  Rows(fromBitmap_.get(), fromRows_);
  Rows(toBitmap_.get(), toRows_);
  Rows(frameBitmap_.get(), frameRows_);
}

void TQxTransitionEffects::BeginRunning(int32_t ADuration, TQxTransitionTiming ATiming, bool AUpdateOnStop) {
  Step = 0;
  RandomDrawn = 0;
  Duration = std::max(ADuration, 1);
  Timing = ATiming;
  UpdateOnStop = AUpdateOnStop;
  StartTick = GetTickCount();
  if (view_) view_->IncPaintLock();
  running_ = true;
  timer_->SetEnabled(true);
}

void TQxTransitionEffects::Start(TQxTransitionType Kind, const TBitmap& From, const TBitmap& To, int32_t ADuration,
                                 TQxTransitionTiming ATiming, bool AUpdateOnStop) {
  if (!QxValidTransitionType(Kind) || Kind == TQxTransitionType::qxttPanZoom)
    throw EInvalidOperation("Unknown transition kind " + std::to_string(static_cast<int>(Kind)));
  if (running_) Stop();
  int32_t W = From.Width(), H = From.Height();
  PrepareFrame(W, H);
  TColor Back = view_ ? view_->Background() : clBlack;
  // Both pictures on a canvas of the frame's size, the rest in the view's background.
  for (auto [Dest, Src] : {std::pair<TBitmap*, const TBitmap*>{fromBitmap_.get(), &From}, {toBitmap_.get(), &To}}) {
    Dest->SetSizeUninitialised(W, H, TPixelFormat::pf24bit);
    if (Src->Width() < W || Src->Height() < H) {
      Dest->Canvas()->Brush()->SetStyle(TBrushStyle::bsSolid);
      Dest->Canvas()->Brush()->SetColor(Back);
      Dest->Canvas()->FillRect(TRect(0, 0, W, H));
    }
    Dest->Canvas()->Draw(0, 0, Src);
  }
  BuildRowTables();
  TransitionType = Kind;
  BeginRunning(ADuration, ATiming, AUpdateOnStop);
}

void TQxTransitionEffects::StartPanZoom(TQxBitmap* Source, const TRect& StartRect, const TRect& EndRect,
                                        int32_t AFrameWidth, int32_t AFrameHeight, int32_t ADuration,
                                        TQxTransitionTiming ATiming, bool AUpdateOnStop) {
  if (!Source || Source->Width() <= 0 || Source->Height() <= 0)
    throw EInvalidOperation("A pan and zoom needs a picture to move over");
  if (running_) Stop();
  PrepareFrame(AFrameWidth, AFrameHeight);
  BuildRowTables();
  PanZoomSource = Source;
  PanZoomStart = StartRect;
  PanZoomEnd = EndRect;
  TransitionType = TQxTransitionType::qxttPanZoom;
  BeginRunning(ADuration, ATiming, AUpdateOnStop);
}

void TQxTransitionEffects::Stop() {
  if (!running_ || TransitionType == TQxTransitionType::qxttNone) return;
  timer_->SetEnabled(false);
  running_ = false;
  Shrink(frameBitmap_.get());
  Shrink(fromBitmap_.get());
  Shrink(toBitmap_.get());
  // The row tables pointed into the pictures just released.
  fromRows_.clear();
  toRows_.clear();
  frameRows_.clear();
  if (view_) {
    view_->DecPaintLock();
    if (UpdateOnStop) view_->Update();
  }
  if (OnTransitionStop) OnTransitionStop(view_);
}

void TQxTransitionEffects::ShowOnView(TBitmap* B) {
  if (!view_) return;
  BitBlt(view_->GetPaintCanvas()->Handle(), 0, 0, FrameWidth, FrameHeight, B->Canvas()->Handle(), 0, 0, SRCCOPY);
}

void TQxTransitionEffects::TimerStep(TObject*) {
  if (!running_) return;
  if (OnTransitionStep) OnTransitionStep(view_, Step);
  // The handler may have stopped the transition (and released its pictures) or started another.
  if (!running_) return;
  PaintFrame(Step);
  ShowOnView(frameBitmap_.get());
  if (OnTransitionPaint) OnTransitionPaint(view_, frameBitmap_.get(), this, Step);
  if (!running_) return;
  uint32_t Elapsed = GetTickCount() - StartTick;
  if (Elapsed >= static_cast<uint32_t>(Duration)) {
    if (UpdateOnStop && TransitionType != TQxTransitionType::qxttPanZoom) {
      ShowOnView(toBitmap_.get());
      if (OnTransitionPaint) OnTransitionPaint(view_, toBitmap_.get(), this, 1024);
    }
    Stop();
  }
  Step = QxTransitionStepAt(Timing, Elapsed, Duration);
}

void TQxTransitionEffects::PaintFrame(int32_t S) {
  // Once stopped, the pictures are released to one pixel while the frame size stays: nothing to paint.
  auto Holds = [this](const TBitmap* B) { return B->Width() == FrameWidth && B->Height() == FrameHeight; };
  if (!running_ || FrameWidth <= 0 || FrameHeight <= 0 || !Holds(frameBitmap_.get())) return;
  if (TransitionType != TQxTransitionType::qxttPanZoom && (!Holds(fromBitmap_.get()) || !Holds(toBitmap_.get())))
    return;
  if (frameRows_.size() != static_cast<size_t>(FrameHeight)) BuildRowTables();
  S = std::clamp(S, 0, 1024);
  int Kind = static_cast<int>(TransitionType);
  if (Kind >= 1 && Kind <= 4) PaintRows(S);
  else if (Kind >= 17 && Kind <= 24) PaintRows(S);
  else if (Kind == 25 || Kind == 26) PaintRandom(S);
  else if (Kind >= 5 && Kind <= 30) PaintBlit(S);
  else if (Kind == 213) PaintPanZoom(S);
  else if (Kind >= 31 && Kind <= 212) PaintTable(S);
}

// The kinds that write every pixel of the frame through the row tables.
void TQxTransitionEffects::PaintRows(int32_t S) {
  const int32_t W = FrameWidth, H = FrameHeight;
  const size_t RowLen = static_cast<size_t>(W) * 3;
  int Kind = static_cast<int>(TransitionType);
  if (Kind <= 4) {
    // A row of the background colour stands in for a picture, so every mode is one blend of two rows.
    TQxRGB Back = QxTColorToRGB(view_ ? view_->Background() : clBlack);
    std::vector<uint8_t> BackRow(RowLen);
    for (size_t I = 0; I < RowLen; I += 3) {
      BackRow[I] = Back.b;
      BackRow[I + 1] = Back.g;
      BackRow[I + 2] = Back.r;
    }
    int32_t Mode = Kind, Sx = S;
    if (Kind == 4) {
      Mode = S < 512 ? 2 : 3;
      Sx = S < 512 ? 2 * S : 2 * (S - 512);
    }
    const uint32_t A = static_cast<uint32_t>(1024 - Sx), B = static_cast<uint32_t>(Sx);
    for (int32_t Y = 0; Y < H; ++Y) {
      const uint8_t* F = Mode == 3 ? BackRow.data() : fromRows_[static_cast<size_t>(Y)];
      const uint8_t* T = Mode == 2 ? BackRow.data() : toRows_[static_cast<size_t>(Y)];
      uint8_t* D = frameRows_[static_cast<size_t>(Y)];
      QxMixRows(D, F, T, RowLen, A, B);
    }
    return;
  }
  const bool Horizontal = Kind <= 20;
  const int32_t L = Horizontal ? W : H;
  const int32_t C = Kind == 17 || Kind == 18 || Kind == 21 || Kind == 22 ? static_cast<int32_t>((static_cast<int64_t>(S) * L) >> 10)
                                                                         : static_cast<int32_t>((static_cast<int64_t>(1024 - S) * L) >> 10);
  auto Px = [](const uint8_t* Row, int32_t X) { return Row + static_cast<size_t>(X) * 3; };
  if (Horizontal) {
    for (int32_t Y = 0; Y < H; ++Y) {
      const uint8_t* F = fromRows_[static_cast<size_t>(Y)];
      const uint8_t* T = toRows_[static_cast<size_t>(Y)];
      uint8_t* D = frameRows_[static_cast<size_t>(Y)];
      const uint8_t *First, *Second;
      switch (Kind) {
        case 17: First = Px(T, W - C); Second = F; break;
        case 18: First = T; Second = F; break;
        case 19: First = Px(F, W - C); Second = T; break;
        default: First = F; Second = T; break;  // 20
      }
      std::memcpy(D, First, static_cast<size_t>(C) * 3);
      std::memcpy(D + static_cast<size_t>(C) * 3, Second, static_cast<size_t>(W - C) * 3);
    }
    return;
  }
  for (int32_t Y = 0; Y < H; ++Y) {
    const uint8_t* Src;
    switch (Kind) {
      case 21: Src = Y < C ? toRows_[static_cast<size_t>(H - C + Y)] : fromRows_[static_cast<size_t>(Y - C)]; break;
      case 22: Src = Y < C ? toRows_[static_cast<size_t>(Y)] : fromRows_[static_cast<size_t>(Y - C)]; break;
      case 23: Src = Y < C ? fromRows_[static_cast<size_t>(H - C + Y)] : toRows_[static_cast<size_t>(Y - C)]; break;
      default: Src = Y < C ? fromRows_[static_cast<size_t>(H - C + Y)] : toRows_[static_cast<size_t>(Y)]; break;  // 24
    }
    std::memcpy(frameRows_[static_cast<size_t>(Y)], Src, RowLen);
  }
}

// The kinds that paint by copies, keeping the frame between ticks.
void TQxTransitionEffects::PaintBlit(int32_t S) {
  const int32_t W = FrameWidth, H = FrameHeight;
  const int Kind = static_cast<int>(TransitionType);
  TCanvas* C = frameBitmap_->Canvas();
  HDC DC = C->Handle();
  HDC From = fromBitmap_->Canvas()->Handle(), To = toBitmap_->Canvas()->Handle();
  const bool Keeps = Kind < 28 || Kind == 29;
  if (Keeps && S == 0) C->Draw(0, 0, fromBitmap_.get());
  auto Line = [&](int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    C->Pen()->SetColor(kLineColor);
    C->MoveTo(X1, Y1);
    C->LineTo(X2, Y2);
  };
  auto Sh = [&](int64_t V) { return static_cast<int32_t>(V >> 10); };
  const int32_t Hw = W >> 1, Hh = H >> 1;
  switch (Kind) {
    case 5:
    case 6: {
      int32_t X = Sh(static_cast<int64_t>(S) * W);
      BitBlt(DC, 0, 0, X, H, To, 0, 0, SRCCOPY);
      if (Kind == 6) Line(X, 0, X, H);
      break;
    }
    case 7:
    case 8: {
      int32_t X = QxNearest(static_cast<long double>(1024 - S) * W / 1024), Wd = QxNearest(static_cast<long double>(S) * W / 1024);
      BitBlt(DC, X, 0, Wd, H, To, X, 0, SRCCOPY);
      if (Kind == 8) Line(X, 0, X, H);
      break;
    }
    case 9:
    case 10: {
      int32_t Hd = QxNearest(static_cast<long double>(S) * H / 1024);
      BitBlt(DC, 0, 0, W, Hd, To, 0, 0, SRCCOPY);
      if (Kind == 10) Line(0, Hd, W, Hd);
      break;
    }
    case 11:
    case 12: {
      int32_t Y = QxNearest(static_cast<long double>(1024 - S) * H / 1024), Hd = QxNearest(static_cast<long double>(S) * H / 1024);
      BitBlt(DC, 0, Y, W, Hd, To, 0, Y, SRCCOPY);
      if (Kind == 12) Line(0, Y, W, Y);
      break;
    }
    case 13:
    case 14:
    case 15:
    case 16: {
      int32_t Dx = Sh(static_cast<int64_t>(1024 - S) * W), Dy = Sh(static_cast<int64_t>(1024 - S) * H);
      int32_t X = Kind == 13 || Kind == 15 ? -Dx : Dx, Y = Kind == 13 || Kind == 14 ? -Dy : Dy;
      C->Draw(X, Y, toBitmap_.get());
      break;
    }
    default: {  // 27..30: a centred rectangle of the to picture grows, or one of the from picture shrinks
      const bool Shrinks = Kind == 28 || Kind == 30;
      if (Shrinks) C->Draw(0, 0, toBitmap_.get());
      const int64_t D = Shrinks ? 1024 - S : S;
      const int32_t Wd = Sh(D * W), Hd = Sh(D * H), X = Hw - Sh(D * Hw), Y = Hh - Sh(D * Hh);
      HDC Src = Shrinks ? From : To;
      if (Kind == 27 || Kind == 28) {
        BitBlt(DC, X, Y, Wd, Hd, Src, X, Y, SRCCOPY);
      } else {
        SetStretchBltMode(DC, HALFTONE);
        StretchBlt(DC, X, Y, Wd, Hd, Src, 0, 0, W, H, SRCCOPY);
      }
      break;
    }
  }
}

// Points or 8 x 8 boxes of the to picture scattered over the frame, only the increment since the last tick.
void TQxTransitionEffects::PaintRandom(int32_t S) {
  const int32_t W = FrameWidth, H = FrameHeight;
  if (TransitionType == TQxTransitionType::qxttRandomPoints) {
    if (S == 0) {
      for (int32_t Y = 0; Y < H; ++Y)
        std::memcpy(frameRows_[static_cast<size_t>(Y)], fromRows_[static_cast<size_t>(Y)], static_cast<size_t>(W) * 3);
      return;
    }
    int32_t N = QxNearest(static_cast<long double>(W) * S * (S / 180.0L) / 1024);
    int32_t D = N - RandomDrawn;
    RandomDrawn = N;
    for (int32_t Y = 0; Y < H; ++Y) {
      const uint8_t* T = toRows_[static_cast<size_t>(Y)];
      uint8_t* F = frameRows_[static_cast<size_t>(Y)];
      for (int32_t I = 0; I < D; ++I) {
        size_t X = static_cast<size_t>(QxTransitionRandom(W)) * 3;
        F[X] = T[X];
        F[X + 1] = T[X + 1];
        F[X + 2] = T[X + 2];
      }
    }
    return;
  }
  if (S == 0) {
    frameBitmap_->Canvas()->Draw(0, 0, fromBitmap_.get());
    return;
  }
  int32_t N = QxNearest(static_cast<long double>(static_cast<int64_t>(W) * H / 64) * S * (S / 180.0L) / 1024);
  int32_t D = N - RandomDrawn;
  RandomDrawn = N;
  HDC DC = frameBitmap_->Canvas()->Handle(), To = toBitmap_->Canvas()->Handle();
  for (int32_t I = 0; I < D; ++I) {
    int32_t X = QxTransitionRandom(W) & ~7;
    int32_t Y = QxTransitionRandom(H) & ~7;
    BitBlt(DC, X, Y, 8, 8, To, X, Y, SRCCOPY);
  }
}

void TQxTransitionEffects::PaintPanZoom(int32_t S) {
  if (!PanZoomSource) return;
  const int32_t W = FrameWidth, H = FrameHeight;
  auto Lerp = [S](int32_t A, int32_t B) {
    return static_cast<int32_t>(Trunc(A - S * (static_cast<double>(A - B) / 1024)));
  };
  int32_t L = Lerp(PanZoomStart.Left, PanZoomEnd.Left), T = Lerp(PanZoomStart.Top, PanZoomEnd.Top);
  int32_t Sw = Lerp(PanZoomStart.Right, PanZoomEnd.Right) - L, Shh = Lerp(PanZoomStart.Bottom, PanZoomEnd.Bottom) - T;
  bool Clipped = false;
  if (L < 0) {
    Sw += L;
    L = 0;
    Clipped = true;
  }
  if (Sw > PanZoomSource->Width()) {
    Sw = PanZoomSource->Width();
    Clipped = true;
  }
  if (T < 0) {
    Shh += T;
    T = 0;
    Clipped = true;
  }
  if (Shh > PanZoomSource->Height()) {
    Shh = PanZoomSource->Height();
    Clipped = true;
  }
  TRect Dest(0, 0, W, H);
  if (Clipped) {
    Dest = TRect(0, 0, 0, 0);
    if (Sw != 0 && Shh != 0) {
      double Scale = static_cast<double>(Sw) / W > static_cast<double>(Shh) / H ? static_cast<double>(W) / Sw
                                                                                 : static_cast<double>(H) / Shh;
      int32_t Dw = static_cast<int32_t>(Round(Sw * Scale)), Dh = static_cast<int32_t>(Round(Shh * Scale));
      int32_t X = static_cast<int32_t>(Trunc(W / 2.0 - Dw / 2.0)), Y = static_cast<int32_t>(Trunc(H / 2.0 - Dh / 2.0));
      Dest = TRect(X, Y, X + Dw, Y + Dh);
    }
    TCanvas* C = frameBitmap_->Canvas();
    if (view_ && QxPaintViewBackgroundHook) {
      QxPaintViewBackgroundHook(view_, C);
    } else {
      C->Brush()->SetStyle(TBrushStyle::bsSolid);
      C->Brush()->SetColor(view_ ? view_->Background() : clBlack);
      C->FillRect(TRect(0, 0, W, H));
    }
  }
  if (Sw <= 0 || Shh <= 0 || Dest.Width() <= 0 || Dest.Height() <= 0) return;
  PanZoomSource->DrawScaledToTBitmap(frameBitmap_.get(), Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), L, T, Sw, Shh,
                                     255, TResampleFilter::rfNone);
}

void TQxTransitionEffects::PaintTable(int32_t S) {
  if (S == 0) {
    frameBitmap_->Assign(*fromBitmap_);
    return;
  }
  const TEffect& Row = QxTransitionRow(static_cast<int32_t>(TransitionType) - 1);
  if (!Row.DrawProc) return;
  TCanvas* C = frameBitmap_->Canvas();
  SetStretchBltMode(C->Handle(), HALFTONE);
  Row.DrawProc(C, fromBitmap_.get(), toBitmap_.get(), TRect(0, 0, frameBitmap_->Width(), frameBitmap_->Height()), true,
               QxNearest(S / 1024.0L * 100));
}
