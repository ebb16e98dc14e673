#include "imaging/processing/transition_table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <string>

#include "imaging/processing/transition_procs.h"
#include "platform/base/exceptions.h"
#include "platform/base/numeric.h"

TQxTransitionFrame::TQxTransitionFrame(const TRect& Rect, int32_t Percent) {
  p = std::clamp(Percent, 0, 100);
  QxScaledSize(Rect, p, W, H, w, h);
}

void QxScaledSize(const TRect& Rect, int32_t Percent, int32_t& W, int32_t& H, int32_t& w, int32_t& h) {
  int32_t P = std::clamp(Percent, 0, 100);
  W = std::max(0, Rect.Right - Rect.Left);
  H = std::max(0, Rect.Bottom - Rect.Top);
  w = h = 0;
  if (W == 0 || H == 0) return;
  if (W >= H) {
    w = MulDiv(W, P, 100);
    h = MulDiv(w, H, W);
  } else {
    h = MulDiv(H, P, 100);
    w = MulDiv(h, W, H);
  }
}

void QxMirrorStretch(TCanvas* Canvas, TRect Dest, TBitmap* Bitmap, TRect Source, bool MirrorLeftRight,
                     bool MirrorTopBottom) {
  Source.Left = std::max(Source.Left, 0);
  Source.Top = std::max(Source.Top, 0);
  Source.Right = std::min(Source.Right, Bitmap->Width());
  Source.Bottom = std::min(Source.Bottom, Bitmap->Height());
  if (MirrorLeftRight) {
    int32_t L = Dest.Left;
    Dest.Left = Dest.Right + 1;
    Dest.Right = L - 1;
  }
  if (MirrorTopBottom) {
    int32_t T = Dest.Top;
    Dest.Top = Dest.Bottom + 1;
    Dest.Bottom = T - 1;
  }
  SetStretchBltMode(Canvas->Handle(), HALFTONE);
  QxStretchFrom(Canvas, Dest.Left, Dest.Top, Dest.Right - Dest.Left, Dest.Bottom - Dest.Top, Bitmap, Source.Left,
                Source.Top, Source.Right - Source.Left, Source.Bottom - Source.Top);
}

void QxClipCopy(TCanvas* Canvas, TBitmap* ToBitmap, int32_t W, int32_t H, const std::optional<TRegion>& Region) {
  if (Region) SelectClipRgn(Canvas->Handle(), &*Region);
  QxCopyInPlace(Canvas, ToBitmap, 0, 0, W, H);
  if (Region) SelectClipRgn(Canvas->Handle(), nullptr);
}

void QxCopyThroughRects(TCanvas* Canvas, TBitmap* ToBitmap, int32_t W, int32_t H, const std::vector<TRect>& Rects) {
  TBitmap* Frame = Canvas->Bitmap();
  HDC DC = Canvas->Handle();
  TRegion Clip;
  TPoint View, Window;
  // Rectangles overlap freely (the shapes of a grid do): copying a pixel twice from the to picture
  // gives what one copy through their union gives, without building the union.
  const bool Direct = Frame && Frame != ToBitmap && Frame->PixelFormat() == TPixelFormat::pf24bit &&
                      ToBitmap->PixelFormat() == TPixelFormat::pf24bit && GetClipRgn(DC, Clip) == 0 &&
                      GetViewportOrgEx(DC, &View) && GetWindowOrgEx(DC, &Window) && View.X == Window.X &&
                      View.Y == Window.Y;
  if (!Direct) {
    QxClipCopy(Canvas, ToBitmap, W, H, TRegion::FromRects(Rects));
    return;
  }
  const int32_t Right = std::min({W, Frame->Width(), ToBitmap->Width()});
  const int32_t Bottom = std::min({H, Frame->Height(), ToBitmap->Height()});
  if (Right <= 0 || Bottom <= 0) return;
  // Rows lie bottom-up: row Y starts RowBytes * Y below row 0.
  uint8_t* Dest0 = static_cast<uint8_t*>(Frame->ScanLine(0));
  const uint8_t* Src0 = static_cast<const uint8_t*>(ToBitmap->ScanLine(0));
  const int64_t DestStride = Frame->RowBytes(), SrcStride = ToBitmap->RowBytes();
  auto Copy = [&](int32_t L, int32_t T, int32_t Rt, int32_t B) {
    const size_t Bytes = static_cast<size_t>(Rt - L) * 3;
    for (int32_t Y = T; Y < B; ++Y)
      std::memcpy(Dest0 - DestStride * Y + static_cast<int64_t>(L) * 3, Src0 - SrcStride * Y + static_cast<int64_t>(L) * 3,
                  Bytes);
  };
  // Tall narrow rectangles (the columns of a speckled wipe, side by side and overlapping) would be copied
  // a few bytes a row: those of equal rows that touch are joined into one first.
  thread_local std::vector<TRect> Narrow;
  Narrow.clear();
  for (const TRect& R : Rects) {
    const int32_t L = std::max(R.Left, 0), T = std::max(R.Top, 0), Rt = std::min(R.Right, Right),
                  B = std::min(R.Bottom, Bottom);
    if (L >= Rt || T >= B) continue;
    if (B - T >= 4 && Rt - L < 32) Narrow.emplace_back(L, T, Rt, B);
    else Copy(L, T, Rt, B);
  }
  std::sort(Narrow.begin(), Narrow.end(), [](const TRect& A, const TRect& B) {
    return A.Top != B.Top ? A.Top < B.Top : A.Bottom != B.Bottom ? A.Bottom < B.Bottom : A.Left < B.Left;
  });
  for (size_t I = 0; I < Narrow.size();) {
    TRect Run = Narrow[I];
    for (++I; I < Narrow.size() && Narrow[I].Top == Run.Top && Narrow[I].Bottom == Run.Bottom && Narrow[I].Left <= Run.Right; ++I)
      Run.Right = std::max(Run.Right, Narrow[I].Right);
    Copy(Run.Left, Run.Top, Run.Right, Run.Bottom);
  }
}

namespace {
uint32_t GRandSeed = 0;
}

// A linear congruential generator: plenty for scattering cells, and its whole state is one seed.
int32_t QxTransitionRandom(int32_t N) {
  GRandSeed = GRandSeed * 134775813u + 1u;
  if (N <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(GRandSeed) * static_cast<uint32_t>(N)) >> 32);
}
uint32_t QxTransitionRandSeed() { return GRandSeed; }
void QxSetTransitionRandSeed(uint32_t Seed) { GRandSeed = Seed; }

// ---- Geometric families --------------------------------------------------------------------------------

QX_TRANSITION_PROC(QxExpandProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  TRect D;  // (x, y, width, height)
  switch (Row) {
    case 30: D = {0, 0, w, H}; break;
    case 31: D = {W - w, 0, w, H}; break;
    case 32: D = {0, 0, W, h}; break;
    case 33: D = {0, H - h, W, h}; break;
    case 34: D = {0, 0, w, h}; break;
    case 35: D = {W - w, 0, w, h}; break;
    case 36: D = {0, H - h, w, h}; break;
    case 37: D = {W - w, H - h, w, h}; break;
    case 46: D = {0, (H - h) / 2, W, h}; break;
    default: D = {(W - w) / 2, 0, w, H}; break;  // 47
  }
  QxStretchFrom(Canvas, D.Left, D.Top, D.Right, D.Bottom, ToBitmap, 0, 0, W, H);
}

QX_TRANSITION_PROC(QxExpandInProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  auto S = [&](int32_t SX, int32_t SY, int32_t SW, int32_t SH, int32_t DX, int32_t DY, int32_t DW, int32_t DH) {
    QxStretchFrom(Canvas, DX, DY, DW, DH, ToBitmap, SX, SY, SW, SH);
  };
  switch (Row) {
    case 38: S(W - w, 0, w, H, w - W, 0, 2 * W - w, H); break;
    case 39: S(0, 0, w, H, 0, 0, 2 * W - w, H); break;
    case 40: S(0, H - h, W, h, 0, h - H, W, 2 * H - h); break;
    case 41: S(0, 0, W, h, 0, 0, W, 2 * H - h); break;
    case 42: S((W - w) / 2, 0, w, H, w - W, 0, 3 * W - 2 * w, H); break;
    case 43: S(0, (H - h) / 2, W, h, 0, h - H, W, 3 * H - 2 * h); break;
    case 44:
      S(0, 0, W / 2, H, 0, 0, w / 2, H);
      S(W / 2, 0, W / 2, H, W - w / 2, 0, w / 2, H);
      break;
    default:  // 45
      S(0, 0, W, H / 2, 0, 0, W, h / 2);
      S(0, H / 2, W, H / 2, 0, H - h / 2, W, h / 2);
      break;
  }
}

QX_TRANSITION_PROC(QxShrinkProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  auto S = [&](int32_t SX, int32_t SY, int32_t DX, int32_t DY, int32_t DW, int32_t DH) {
    QxStretchFrom(Canvas, DX, DY, DW, DH, ToBitmap, SX, SY, w, h);
  };
  switch (Row) {
    case 68: S(0, 0, 0, 0, 2 * W - w, 2 * H - h); break;
    case 69: S(W - w, 0, w - W, 0, 2 * W - w, 2 * H - h); break;
    case 70: S(0, H - h, 0, h - H, 2 * W - w, 2 * H - h); break;
    case 71: S(W - w, H - h, w - W, h - H, 2 * W - w, 2 * H - h); break;
    default: S((W - w) / 2, (H - h) / 2, w - W, h - H, 3 * W - 2 * w, 3 * H - 2 * h); break;  // 72
  }
}

QX_TRANSITION_PROC(QxSlideInProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  TPoint P = Row == 64 ? TPoint(w - W, 0) : Row == 65 ? TPoint(W - w, 0) : Row == 66 ? TPoint(0, h - H) : TPoint(0, H - h);
  QxCopyFrom(Canvas, ToBitmap, P.X, P.Y, W, H, 0, 0);
}

QX_TRANSITION_PROC(QxWipeProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  auto C = [&](int32_t X, int32_t Y, int32_t CW, int32_t CH) { QxCopyInPlace(Canvas, ToBitmap, X, Y, CW, CH); };
  switch (Row) {
    case 48: C(0, 0, w, h); break;
    case 49: C(W - w, 0, w, h); break;
    case 50: C(0, H - h, w, h); break;
    case 51: C(W - w, H - h, w, h); break;
    case 52:
      C(0, 0, W, h / 2);
      C(0, H - h / 2, W, h / 2);
      break;
    case 53: C(0, (H - h) / 2, W, h); break;
    case 54:
      C(0, 0, w / 2, H);
      C(W - w / 2, 0, w / 2, H);
      break;
    case 55: C((W - w) / 2, 0, w, H); break;
    default: {  // 73
      int32_t A = w / 2, B = h / 2;
      C(0, 0, A, B);
      C(0, H - B, A, B);
      C(W - A, H - B, A, B);
      C(W - A, 0, A, B);
    }
  }
}

QX_TRANSITION_PROC(QxQuartersProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, W2 = W / 2, H2 = H / 2, A = F.w / 2, B = F.h / 2;
  if (Row == 74) {
    QxStretchFrom(Canvas, 0, 0, A, B, ToBitmap, 0, 0, W2, H2);
    QxStretchFrom(Canvas, 0, H - B, A, B, ToBitmap, 0, H2, W2, H2);
    QxStretchFrom(Canvas, W - A, H - B, A, B, ToBitmap, W2, H2, W2, H2);
    QxStretchFrom(Canvas, W - A, 0, A, B, ToBitmap, W2, 0, W2, H2);
  } else {  // 75
    QxCopyFrom(Canvas, ToBitmap, A - W2, 0, W2, H2, 0, 0);
    QxCopyFrom(Canvas, ToBitmap, W2, B - H2, W2, H2, W2, 0);
    QxCopyFrom(Canvas, ToBitmap, W - A, H2, W2, H2, W2, H2);
    QxCopyFrom(Canvas, ToBitmap, 0, H - B, W2, H2, 0, H2);
  }
}

QX_TRANSITION_PROC(QxBuildUpProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  switch (Row) {
    case 56: {
      QxCopyInPlace(Canvas, ToBitmap, W - w, 0, w, H);
      int32_t X0 = std::max(W - w - W / 10, 0);
      QxStretchFrom(Canvas, 0, 0, W - w, H, ToBitmap, X0, 0, (W - w) - X0, H);
      break;
    }
    case 57:
      QxCopyInPlace(Canvas, ToBitmap, 0, 0, w, H);
      QxStretchFrom(Canvas, w, 0, W - w, H, ToBitmap, w, 0, std::min(W - w, W / 10), H);
      break;
    case 58: {
      QxCopyInPlace(Canvas, ToBitmap, 0, H - h, W, h);
      int32_t Y0 = std::max(H - h - H / 10, 0);
      QxStretchFrom(Canvas, 0, 0, W, H - h, ToBitmap, 0, Y0, W, (H - h) - Y0);
      break;
    }
    default:  // 59
      QxCopyInPlace(Canvas, ToBitmap, 0, 0, W, h);
      QxStretchFrom(Canvas, 0, h, W, H - h, ToBitmap, 0, h, W, std::min(H - h, H / 10));
      break;
  }
}

namespace {

// The far edge of a roll that unrolls from the start of an axis of length L, with v revealed.
int32_t RollFromStart(int32_t v, int32_t L) {
  if (v < L / 5) return v + v / 2;
  if (v + L / 5 > L) return v + (L - v) / 2;
  return v + L / 10;
}
// The far edge of a roll that unrolls from the end of the axis (the revealed part starts at L - v).
int32_t RollFromEnd(int32_t v, int32_t L) {
  int32_t D = v < L / 5 ? v / 2 : (L - v < L / 5 ? (L - v) / 2 : L / 10);
  return (L - v) - D;
}

}  // namespace

QX_TRANSITION_PROC(QxUnrollProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  // Rectangles here are left, top, right, bottom.
  switch (Row) {
    case 60: {
      int32_t E = RollFromStart(w, W);
      QxMirrorStretch(Canvas, TRect(w, 0, E, H), ToBitmap, TRect(E, 0, 2 * E - w, H), true, false);
      Canvas->CopyRect(TRect(0, 0, w, H), ToBitmap->Canvas(), TRect(0, 0, w, H));
      break;
    }
    case 61: {
      int32_t E = RollFromEnd(w, W);
      QxMirrorStretch(Canvas, TRect(E, 0, W - w, H), ToBitmap, TRect(2 * E - (W - w), 0, E, H), true, false);
      Canvas->CopyRect(TRect(W - w, 0, W, H), ToBitmap->Canvas(), TRect(W - w, 0, W, H));
      break;
    }
    case 62: {
      int32_t E = RollFromStart(h, H);
      QxMirrorStretch(Canvas, TRect(0, h, W, E), ToBitmap, TRect(0, E, W, 2 * E - h), false, true);
      Canvas->CopyRect(TRect(0, 0, W, h), ToBitmap->Canvas(), TRect(0, 0, W, h));
      break;
    }
    default: {  // 63
      int32_t E = RollFromEnd(h, H);
      QxMirrorStretch(Canvas, TRect(0, E, W, H - h), ToBitmap, TRect(0, 2 * E - (H - h), W, E), false, true);
      Canvas->CopyRect(TRect(0, H - h, W, H), ToBitmap->Canvas(), TRect(0, H - h, W, H));
      break;
    }
  }
}

namespace {

// The squeezes of the push kinds, W x H onto (X, Y, DW, DH) along one axis, done within a plain 24-bit
// frame without copying it first: across, a row at a time through a line of its own; down, each row is
// read before the one it lands on is written, by walking away from the fixed edge. Samples as StretchBlt
// does (destination i from source i * W / DW). False where the frame is not such a picture, or the
// squeeze not one of these.
bool SqueezeInPlace(TCanvas* Canvas, int32_t X, int32_t Y, int32_t DW, int32_t DH, int32_t W, int32_t H) {
  TBitmap* Frame = Canvas->Bitmap();
  HDC DC = Canvas->Handle();
  TRegion Clip;
  TPoint View, Window;
  if (!Frame || Frame->PixelFormat() != TPixelFormat::pf24bit || Frame->Width() != W || Frame->Height() != H ||
      GetClipRgn(DC, Clip) != 0 || !GetViewportOrgEx(DC, &View) || !GetWindowOrgEx(DC, &Window) ||
      View.X != Window.X || View.Y != Window.Y)
    return false;
  const bool Across = DH == H && Y == 0 && DW < W && (X == 0 || X == W - DW);
  const bool Down = DW == W && X == 0 && DH < H && (Y == 0 || Y == H - DH);
  if (!Across && !Down) return false;
  if (DW <= 0 || DH <= 0) return true;  // nothing to draw, as a stretch to no width draws nothing
  uint8_t* Row0 = static_cast<uint8_t*>(Frame->ScanLine(0));
  const int64_t Stride = Frame->RowBytes();
  auto RowAt = [&](int32_t R) { return Row0 - Stride * R; };
  if (Across) {
    // Each row is gathered into a line of its own and put back, four bytes a pixel where the pixel read
    // past is still in the row.
    thread_local std::vector<int32_t> From;  // the source byte of each destination pixel, for every row
    thread_local std::vector<uint8_t> Line;
    From.resize(static_cast<size_t>(DW));
    Line.resize(static_cast<size_t>(DW) * 3 + 1);
    for (int32_t I = 0; I < DW; ++I) From[static_cast<size_t>(I)] = static_cast<int32_t>(static_cast<int64_t>(I) * W / DW * 3);
    int32_t Wide = DW;  // pixels from Wide on read the row's last pixel
    while (Wide > 0 && From[static_cast<size_t>(Wide - 1)] >= (W - 1) * 3) --Wide;
    for (int32_t R = 0; R < H; ++R) {
      const uint8_t* Src = RowAt(R);
      uint8_t* L = Line.data();
      for (int32_t I = 0; I < Wide; ++I) std::memcpy(L + static_cast<size_t>(I) * 3, Src + From[static_cast<size_t>(I)], 4);
      for (int32_t I = Wide; I < DW; ++I) std::memcpy(L + static_cast<size_t>(I) * 3, Src + From[static_cast<size_t>(I)], 3);
      std::memcpy(RowAt(R) + static_cast<int64_t>(X) * 3, L, static_cast<size_t>(DW) * 3);
    }
  } else {
    const size_t Bytes = static_cast<size_t>(W) * 3;
    auto Move = [&](int32_t J) { std::memmove(RowAt(Y + J), RowAt(static_cast<int32_t>(static_cast<int64_t>(J) * H / DH)), Bytes); };
    if (Y == 0)
      for (int32_t J = 0; J < DH; ++J) Move(J);
    else
      for (int32_t J = DH - 1; J >= 0; --J) Move(J);
  }
  return true;
}

}  // namespace

QX_TRANSITION_PROC(QxPushProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  HDC DC = Canvas->Handle();
  // A squeeze reads the frame while writing it; it reads a copy so no pixel is read after it was moved.
  auto SqueezeInto = [&](int32_t X, int32_t Y, int32_t DW, int32_t DH) {
    if (SqueezeInPlace(Canvas, X, Y, DW, DH, W, H)) return;
    thread_local TBitmap Scratch;
    if (Scratch.Width() != W || Scratch.Height() != H || Scratch.PixelFormat() != TPixelFormat::pf24bit) {
      Scratch.SetPixelFormat(TPixelFormat::pf24bit);
      Scratch.SetSize(W, H);
    }
    BitBlt(Scratch.Canvas()->Handle(), 0, 0, W, H, DC, 0, 0, SRCCOPY);
    StretchBlt(DC, X, Y, DW, DH, Scratch.Canvas()->Handle(), 0, 0, W, H, SRCCOPY);
  };
  switch (Row) {
    case 150:
      BitBlt(DC, 0, 0, W - w, H, DC, w, 0, SRCCOPY);
      QxCopyFrom(Canvas, ToBitmap, W - w, 0, w, H, 0, 0);
      break;
    case 151:
      BitBlt(DC, w, 0, W - w, H, DC, 0, 0, SRCCOPY);
      QxCopyFrom(Canvas, ToBitmap, 0, 0, w, H, W - w, 0);
      break;
    case 152:
      BitBlt(DC, 0, 0, W, H - h, DC, 0, h, SRCCOPY);
      QxCopyFrom(Canvas, ToBitmap, 0, H - h, W, h, 0, 0);
      break;
    case 153:
      BitBlt(DC, 0, h, W, H - h, DC, 0, 0, SRCCOPY);
      QxCopyFrom(Canvas, ToBitmap, 0, 0, W, h, 0, H - h);
      break;
    case 154:
      SqueezeInto(0, 0, W - w, H);
      QxCopyFrom(Canvas, ToBitmap, W - w, 0, w, H, 0, 0);
      break;
    case 155:
      SqueezeInto(w, 0, W - w, H);
      QxCopyFrom(Canvas, ToBitmap, 0, 0, w, H, W - w, 0);
      break;
    case 156:
      SqueezeInto(0, 0, W, H - h);
      QxCopyFrom(Canvas, ToBitmap, 0, H - h, W, h, 0, 0);
      break;
    default:  // 157
      SqueezeInto(0, h, W, H - h);
      QxCopyFrom(Canvas, ToBitmap, 0, 0, W, h, 0, H - h);
      break;
  }
}

QX_TRANSITION_PROC(QxPageFlipProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, p = F.p, Hw = W / 2;
  Canvas->Pen()->SetColor(clBlack);
  Canvas->Pen()->SetWidth(1);
  Canvas->Pen()->SetStyle(TPenStyle::psSolid);
  int32_t X;
  if (Row == 185 || Row == 186) {
    QxStretchFrom(Canvas, Hw, 0, Hw, H, ToBitmap, Hw, 0, Hw, H);
    if (p <= 50) {
      int32_t D = MulDiv(W, 50 - p, 100);
      QxStretchFrom(Canvas, Hw, 0, D, H, FromBitmap, Hw, 0, Hw, H);
      X = Hw + D;
    } else {
      int32_t D = MulDiv(W, p - 50, 50) / 2;
      QxStretchFrom(Canvas, Hw - D, 0, D, H, ToBitmap, 0, 0, Hw, H);
      X = Hw - D;
    }
  } else {
    QxStretchFrom(Canvas, 0, 0, Hw, H, ToBitmap, 0, 0, Hw, H);
    if (p > 50) {
      int32_t D = MulDiv(W, p - 50, 50) / 2;
      QxStretchFrom(Canvas, Hw, 0, D, H, ToBitmap, Hw, 0, Hw, H);
      X = Hw + D;
    } else {
      int32_t A = MulDiv(W, p, 100);
      QxStretchFrom(Canvas, A, 0, Hw - A, H, FromBitmap, 0, 0, Hw, H);
      X = A;
    }
  }
  if (Row == 186 || Row == 188) {
    Canvas->MoveTo(X, 0);
    Canvas->LineTo(X, H);
  }
}

// ---- The table -----------------------------------------------------------------------------------------

namespace {

using TFamily = void (*)(int32_t, TCanvas*, TBitmap*, TBitmap*, const TRect&, bool, int32_t);

template <TFamily Family, int32_t Row>
void RowProc(TCanvas* Canvas, TBitmap* FromBitmap, TBitmap* ToBitmap, const TRect& Rect, bool Flag, int32_t Percent) {
  Family(Row, Canvas, FromBitmap, ToBitmap, Rect, Flag, Percent);
}

// The family of each row from 30 on, by ranges.
struct TRange {
  int32_t First, Last;
  TFamily Family;
};
constexpr TRange kRanges[] = {
    {30, 37, QxExpandProc},          {38, 45, QxExpandInProc},        {46, 47, QxExpandProc},
    {48, 55, QxWipeProc},            {56, 59, QxBuildUpProc},         {60, 63, QxUnrollProc},
    {64, 67, QxSlideInProc},         {68, 72, QxShrinkProc},          {73, 73, QxWipeProc},
    {74, 75, QxQuartersProc},        {76, 83, QxCurvedWipeProc},      {84, 93, QxBarsProc},
    {94, 111, QxShredProc},          {112, 112, QxExpandingRectanglesProc}, {113, 113, QxExpandingTrianglesProc},
    {114, 114, QxShapeGridProc},     {115, 115, QxExpandingDiamondsProc},   {116, 117, QxShapeWipeProc},
    {118, 131, QxBarsProc},          {132, 137, QxPolygonWipeProc},   {138, 139, QxSweepProc},
    {140, 141, QxPolygonWipeProc},   {142, 145, QxRotationProc},      {146, 149, QxSpeckleProc},
    {150, 157, QxPushProc},          {158, 159, QxBlindsProc},        {160, 163, QxUnevenBlindsProc},
    {164, 167, QxSideRectanglesProc}, {168, 169, QxRotationProc},     {170, 177, QxPolygonWipeProc},
    {178, 179, QxZigzagProc},        {180, 181, QxPolygonWipeProc},   {182, 182, QxShapeInOutProc},
    {183, 183, QxTriangularWipeProc}, {184, 184, QxRandomBigBoxesProc}, {185, 188, QxPageFlipProc},
    {189, 190, QxZigzagProc},        {191, 194, QxRandomShapesProc},  {195, 199, QxShapeGridProc},
    {200, 209, QxShapeWipeProc},     {210, 213, QxShapeInOutProc},
};

constexpr TFamily FamilyOf(int32_t Row) {
  for (const TRange& R : kRanges)
    if (Row >= R.First && Row <= R.Last) return R.Family;
  return nullptr;
}

template <int32_t Row>
constexpr TQxTransitionDrawProc ProcOf() {
  if constexpr (Row < 30) {
    return nullptr;
  } else {
    return &RowProc<FamilyOf(Row), Row>;
  }
}

constexpr const char* kNames[QxTransitionTableSize] = {
    "Cross Fade", "Fade Out", "Fade In", "Fade Out then In", "Wipe Left to Right", "Wipe Left to Right 2",
    "Wipe Right to Left", "Wipe Right to Left 2", "Wipe Top to Bottom", "Wipe Top to Bottom 2", "Wipe Bottom to Top",
    "Wipe Bottom to Top 2", "Slide from Top Left", "Slide from Top Right", "Slide from Bottom Left",
    "Slide from Bottom Right", "Push Left to Right", "Slide Out Left to Right", "Push Right to Left",
    "Slide Out Right to Left", "Push Top to Bottom", "Slide Out Top to Bottom", "Push Bottom to Top",
    "Slide Out Bottom to Top", "Random Points", "Random Boxes", "Wipe Out from Center", "Wipe In to Center",
    "Expand Out from Center", "Expand In to Center", "Expand from Left", "Expand from Right", "Expand from Top",
    "Expand from Bottom", "Expand from Top Left", "Expand from Top Right", "Expand from Bottom Left",
    "Expand from Bottom Right", "Expand in from Left", "Expand in from Right", "Expand in from Top",
    "Expand in from Bottom", "Expand in to Vertical Center", "Expand in to Horizon", "Expand in from Sides",
    "Expand in from Top and Bottom", "Expand out from Horizon", "Expand out from Vertical Center",
    "Wipe from Top Left", "Wipe from Top Right", "Wipe from Bottom Left", "Wipe from Bottom Right",
    "Wipe in from Top and Bottom", "Wipe from Horizon", "Wipe in from Sides", "Wipe out from Vertical Center",
    "Build up from Left", "Build up from Right", "Build up from Top", "Build up from Bottom", "Unroll from Left",
    "Unroll from Right", "Unroll from Top", "Unroll from Bottom", "Slide in from Left", "Slide in from Right",
    "Slide in from Top", "Slide in from Bottom", "Shrink to Top Left", "Shrink to Top Right",
    "Shrink to Bottom Left", "Shrink to Bottom Right", "Shrink to Center", "Quarters Wipe in to Center",
    "Quarters Expand to Center", "Quarters Slide in to Center", "Curved Wipe from Left", "Curved Wipe from Right",
    "Curved Wipe from Top", "Curved Wipe from Bottom", "Curved Wipe from Top Left", "Curved Wipe from Top Right",
    "Curved Wipe from Bottom Left", "Curved Wipe from Bottom Right", "Bars in from Left", "Bars in from Right",
    "Bars from Top", "Bars from Bottom", "Bars Left then Right", "Bars Right then Left", "Bars Top then Bottom",
    "Bars Bottom then Top", "Bars from both Sides", "Bars from Top and Bottom", "Shredded from Left",
    "Shredded from Right", "Shredded from Top", "Shredded from Bottom", "Shredded from Top and Left",
    "Shredded from Top and Right", "Shredded from Bottom and Left", "Shredded from Bottom and Right",
    "Shredded from Horizon and Left", "Shredded from Horizon and Right", "Shredded from Top and Vertical Center",
    "Shredded from Bottom and Vertical Center", "Shredded from Center", "Shredded to Center",
    "Shredded in to Horizon", "Shredded in to Vertical Center", "Shredded out from Horizon",
    "Shredded out from Vertical Center", "Expanding Rectangles", "Expanding Triangles", "Expanding Circles",
    "Expanding Diamonds", "Circular Wipe from Center", "Circular Wipe to Center", "Crisscross Wipe from Top Left",
    "Crisscross Wipe from Top Right", "Crisscross Wipe from Bottom Left", "Crisscross Wipe from Bottom Right",
    "Crisscross Wipe Bounce from Top Left", "Crisscross Wipe Bounce from Top Right",
    "Crisscross Wipe Bounce from Bottom Left", "Crisscross Wipe Bounce from Bottom Right",
    "Crisscross Wipe from Left Right and Top", "Crisscross Wipe from Left Right and Bottom",
    "Crisscross Wipe from Left Top and Bottom", "Crisscross Wipe from Top Left Right and Bottom",
    "Crisscross Wipe from Right Top and Bottom", "Crisscross Wipe from Bottom Left Top Right",
    "Wipe diagonal from Top Left", "Wipe diagonal from Top Right", "Wipe diagonal from Bottom Left",
    "Wipe diagonal from Bottom Right", "Diagonal Sweep Clockwise", "Diagonal Sweep Counter-Clockwise",
    "Sweep Clockwise", "Sweep Counter-Clockwise", "Starburst Clockwise", "Starburst Counter-Clockwise",
    "Rotational Rectangle Clockwise", "Rotational Rectangle Counter-Clockwise", "Rotational Star Clockwise",
    "Rotational Star Counter-Clockwise", "Speckled Wipe from Left", "Speckled Wipe from Right",
    "Speckled Wipe from Top", "Speckled Wipe from Bottom", "Push Left and Slide out", "Push Right and Slide out",
    "Push up and Slide out", "Push down and Slide out", "Push and Squeeze Left", "Push and Squeeze Right",
    "Push and Squeeze up", "Push and Squeeze down", "Horizontal Blinds", "Vertical Blinds",
    "Uneven Blinds from Left", "Uneven Blinds from Right", "Uneven Blinds from Top", "Uneven Blinds from Bottom",
    "Rectangles from the Left", "Rectangles from the Right", "Rectangles from the Top", "Rectangles from the Bottom",
    "Spiralling Rectangle Clockwise", "Spiralling Rectangle Counter-Clockwise", "Arrow Wipe from Left",
    "Arrow Wipe from Right", "Arrow Wipe from Top", "Arrow Wipe from Bottom", "Horizontal Bow Tie Wipe",
    "Vertical Bow Tie Wipe", "Diagonal Cross from Center", "Diagonal Cross to Center", "Zigzag Wipe from Horizon",
    "Zigzag Wipe from Vertical Center", "Diamond Wipe from Center", "Diamond Wipe to Center",
    "Diamond Wipe In and Out", "Triangular Wipe", "Random Big Boxes", "Page Flip", "Page Flip 2",
    "Reverse Page Flip", "Reverse Page Flip 2", "Zigzag Wipe To Horizon", "Zigzag Wipe To Vertical Center",
    "Random Hearts", "Random 5 Pointed Stars", "Random 6 Pointed Stars", "Random Explosions", "Expanding Hearts",
    "Expanding 5 Pointed Stars", "Expanding 6 Pointed Stars", "Expanding Explosions", "Expanding Lightning Bolts",
    "Heart Wipe from Center", "Heart Wipe to Center", "5 Pointed Star Wipe from Center",
    "5 Pointed Star Wipe to Center", "6 Pointed Star Wipe from Center", "6 Pointed Star Wipe to Center",
    "Explosion Wipe from Center", "Explosion Wipe to Center", "Cross Wipe from Center", "Cross Wipe to Center",
    "Heart Wipe In and Out", "5 Pointed Star Wipe In and Out", "6 Pointed Star Wipe In and Out",
    "Explosion Wipe In and Out"};

// Group and flag of each row, by ranges of rows.
struct TClass {
  int32_t First, Last;
  uint8_t Group;
  bool Flag;
};
constexpr TClass kClasses[] = {
    {0, 0, 0, true},       {1, 2, 17, false},    {3, 3, 0, false},     {4, 11, 1, true},     {12, 15, 9, false},
    {16, 16, 10, false},   {17, 17, 9, false},   {18, 18, 10, false},  {19, 19, 9, false},   {20, 20, 10, false},
    {21, 21, 9, false},    {22, 22, 10, false},  {23, 23, 9, false},   {24, 25, 14, true},   {26, 27, 1, true},
    {28, 47, 12, false},   {48, 55, 1, true},    {56, 59, 16, false},  {60, 63, 2, true},    {64, 67, 9, false},
    {68, 72, 11, false},   {73, 73, 1, true},    {74, 74, 12, false},  {75, 75, 9, false},   {76, 83, 3, true},
    {84, 93, 8, true},     {94, 111, 7, true},   {112, 115, 13, true}, {116, 117, 5, true},  {118, 131, 8, true},
    {132, 135, 4, true},   {136, 145, 15, true}, {146, 149, 2, true},  {150, 157, 10, false}, {158, 163, 16, true},
    {164, 167, 17, true},  {168, 169, 15, true}, {170, 175, 4, true},  {176, 177, 5, true},  {178, 179, 4, true},
    {180, 181, 5, true},   {182, 182, 6, true},  {183, 183, 4, true},  {184, 184, 14, true}, {185, 188, 0, false},
    {189, 190, 4, true},   {191, 194, 14, true}, {195, 199, 13, true}, {200, 209, 5, true},  {210, 213, 6, true},
};

constexpr TClass ClassOf(int32_t Row) {
  for (const TClass& C : kClasses)
    if (Row >= C.First && Row <= C.Last) return C;
  return TClass{Row, Row, 0, false};
}

template <int32_t... Rows>
constexpr std::array<TEffect, sizeof...(Rows)> MakeTable(std::integer_sequence<int32_t, Rows...>) {
  return {TEffect{kNames[Rows], ProcOf<Rows>(), ClassOf(Rows).Group, ClassOf(Rows).Flag}...};
}

}  // namespace

constinit const std::array<TEffect, QxTransitionTableSize> QxTransitionTable =
    MakeTable(std::make_integer_sequence<int32_t, QxTransitionTableSize>());

const TEffect& QxTransitionRow(int32_t Row) {
  if (Row < 0 || Row >= QxTransitionTableSize)
    throw EInvalidOperation("Transition table has no row " + std::to_string(Row) + " (rows 0 to " +
                      std::to_string(QxTransitionTableSize - 1) + ")");
  return QxTransitionTable[static_cast<size_t>(Row)];
}
