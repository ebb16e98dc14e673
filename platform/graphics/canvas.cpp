#include "platform/graphics/canvas.h"

#include <cmath>
#include <map>

#include "platform/base/exceptions.h"
#include "platform/graphics/device.h"

using qvgfx::TBrushSource;
using qvgfx::TDevice;
using qvgfx::TShape;

// ---------------------------------------------------------------- pens, brushes, fonts

int PenModeToROP2(TPenMode Mode) {
  static const int Map[] = {R2_BLACK,       R2_WHITE,       R2_NOP,       R2_NOT,        R2_COPYPEN,  R2_NOTCOPYPEN,
                            R2_MERGEPENNOT, R2_MASKPENNOT,  R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN, R2_NOTMERGEPEN,
                            R2_MASKPEN,     R2_NOTMASKPEN,  R2_XORPEN,    R2_NOTXORPEN};
  return Map[static_cast<int>(Mode)];
}

void TPen::SetColor(TColor Value) {
  if (Value != FColor) {
    FColor = Value;
    Changed();
  }
}
void TPen::SetWidth(int32_t Value) {
  if (Value < 0) Value = 0;
  if (Value != FWidth) {
    FWidth = Value;
    Changed();
  }
}
void TPen::SetStyle(TPenStyle Value) {
  if (Value != FStyle) {
    FStyle = Value;
    Changed();
  }
}
void TPen::SetMode(TPenMode Value) {
  if (Value != FMode) {
    FMode = Value;
    Changed();
  }
}
void TPen::Assign(const TPen& Source) {
  FColor = Source.FColor;
  FWidth = Source.FWidth;
  FStyle = Source.FStyle;
  FMode = Source.FMode;
  Changed();
}

void TBrush::SetColor(TColor Value) {
  if (Value != FColor || FStyle == TBrushStyle::bsClear) {
    FColor = Value;
    // A colour makes a clear brush solid again, as the GUI library does.
    if (FStyle == TBrushStyle::bsClear) FStyle = TBrushStyle::bsSolid;
    Changed();
  }
}
void TBrush::SetStyle(TBrushStyle Value) {
  if (Value != FStyle) {
    FStyle = Value;
    Changed();
  }
}
void TBrush::SetBitmap(TBitmap* Value) {
  if (Value != FBitmap) {
    FBitmap = Value;
    Changed();
  }
}
void TBrush::Assign(const TBrush& Source) {
  FColor = Source.FColor;
  FStyle = Source.FStyle;
  FBitmap = Source.FBitmap;
  Changed();
}

TFont::TFont() = default;
void TFont::SetName(const std::string& Value) {
  if (Value != FName) {
    FName = Value;
    Changed();
  }
}
int32_t TFont::Size() const {
  int64_t V = -static_cast<int64_t>(FHeight) * 72;
  // MulDiv rounding: half away from zero
  int64_t R = V >= 0 ? (V + FPixelsPerInch / 2) / FPixelsPerInch : -((-V + FPixelsPerInch / 2) / FPixelsPerInch);
  return static_cast<int32_t>(R);
}
void TFont::SetSize(int32_t Value) {
  int64_t V = static_cast<int64_t>(Value) * FPixelsPerInch;
  int64_t R = V >= 0 ? (V + 36) / 72 : -((-V + 36) / 72);
  SetHeight(static_cast<int32_t>(-R));
}
void TFont::SetHeight(int32_t Value) {
  if (Value != FHeight) {
    FHeight = Value;
    Changed();
  }
}
void TFont::SetColor(TColor Value) {
  if (Value != FColor) {
    FColor = Value;
    Changed();
  }
}
void TFont::SetStyle(TFontStyles Value) {
  if (!(Value == FStyle)) {
    FStyle = Value;
    Changed();
  }
}
void TFont::SetCharset(uint8_t Value) {
  if (Value != FCharset) {
    FCharset = Value;
    Changed();
  }
}
void TFont::SetPitch(TFontPitch Value) {
  if (Value != FPitch) {
    FPitch = Value;
    Changed();
  }
}
void TFont::SetQuality(TFontQuality Value) {
  if (Value != FQuality) {
    FQuality = Value;
    Changed();
  }
}
void TFont::SetOrientation(int32_t Value) {
  if (Value != FOrientation) {
    FOrientation = Value;
    Changed();
  }
}
void TFont::Assign(const TFont& Source) {
  FName = Source.FName;
  FHeight = Source.FHeight;
  FColor = Source.FColor;
  FStyle = Source.FStyle;
  FCharset = Source.FCharset;
  FPitch = Source.FPitch;
  FQuality = Source.FQuality;
  FOrientation = Source.FOrientation;
  FPixelsPerInch = Source.FPixelsPerInch;
  Changed();
}
bool operator==(const TFont& A, const TFont& B) {
  return A.FName == B.FName && A.FHeight == B.FHeight && A.FColor == B.FColor && A.FStyle == B.FStyle &&
         A.FCharset == B.FCharset && A.FPitch == B.FPitch && A.FQuality == B.FQuality &&
         A.FOrientation == B.FOrientation;
}

// ---------------------------------------------------------------- device

void TCanvas::SetVerticalFlip(bool Value) { FState->FlipY = Value; }
bool TCanvas::VerticalFlip() const { return FState->FlipY; }

namespace qvgfx {

TDevice::TDevice(TCanvas* C) : S(C ? C->Bitmap() : nullptr), St(TCanvasAccess::State(C)) {
  if (!S.Valid()) return;
  if (St.FlipY) {
    S.Top = S.Row(S.Height - 1);
    S.Stride = -S.Stride;
  }
  Bounds = TRect(0, 0, S.Width, S.Height);
  OrgX = St.ViewportOrg.X - St.WindowOrg.X;
  OrgY = St.ViewportOrg.Y - St.WindowOrg.Y;
  if (!St.HasClip) {
    Clip.push_back(Bounds);
  } else {
    TRect T;
    for (const TRect& R : St.Clip.Rects())
      if (IntersectRect(T, R, Bounds)) Clip.push_back(T);
    ClipBottomsSorted = std::is_sorted(Clip.begin(), Clip.end(),
                                       [](const TRect& A, const TRect& B) { return A.Bottom < B.Bottom; });
  }
}

void TDevice::FillSpan(int32_t Y, int32_t X1, int32_t X2, uint32_t P, int Rop2, bool Stream) const {
  Span(Y, X1, X2, [&](int32_t Yy, int32_t A, int32_t B) {
    if (Rop2 == R2_NOP) return;
    if (S.Bpp == 32 && Rop2 == R2_COPYPEN) {
      FillRow32(reinterpret_cast<uint32_t*>(S.Row(Yy)) + A, B - A, P, Stream);
      return;
    }
    uint32_t M = S.Mask();
    for (int32_t X = A; X < B; ++X) S.Set(X, Yy, ApplyRop2(Rop2 - 1, P, S.Get(X, Yy)) & M);
  });
}

static bool HatchBit(int Style, int X, int Y) {
  switch (Style) {
    case 0: return Y == 7;                    // horizontal
    case 1: return X == 7;                    // vertical
    case 2: return X == Y;                    // forward diagonal
    case 3: return X + Y == 7;                // backward diagonal
    case 4: return X == 7 || Y == 7;          // cross
    default: return X == Y || X + Y == 7;     // diagonal cross
  }
}

TBrushSource::TBrushSource(const TDevice& D, const TBrush& B) {
  if (!D.S.Valid()) return;
  FOrgX = D.St.BrushOrg.X;
  FOrgY = D.St.BrushOrg.Y;
  if (TBitmap* Pat = B.Bitmap(); Pat && !Pat->Empty()) {
    FKind = 3;
    FPW = Pat->Width();
    FPH = Pat->Height();
    FPattern.resize(static_cast<size_t>(FPW) * FPH);
    TSurface PS(Pat);
    bool Mono = Pat->BitsPerPixel() == 1;
    uint32_t Fore = D.Native(D.St.TextColor), Back = D.Native(D.St.BkColor);
    for (int32_t Y = 0; Y < FPH; ++Y)
      for (int32_t X = 0; X < FPW; ++X) {
        uint32_t V = PS.Get(X, Y);
        FPattern[static_cast<size_t>(Y) * FPW + X] = Mono ? (V ? Back : Fore) : D.Native(NativeToColor(*Pat, V));
      }
    return;
  }
  switch (B.Style()) {
    case TBrushStyle::bsClear: FKind = 0; return;
    case TBrushStyle::bsSolid:
      FKind = 1;
      FSolid = D.Native(static_cast<COLORREF>(ColorToRGB(B.Color())));
      return;
    default:
      FKind = 2;
      FHatch = static_cast<int>(B.Style()) - 2;
      FSolid = D.Native(static_cast<COLORREF>(ColorToRGB(B.Color())));
      FBack = D.Native(D.St.BkColor);
      FOpaque = D.St.BkMode != TRANSPARENT;
      return;
  }
}

bool TBrushSource::At(int32_t X, int32_t Y, uint32_t& P) const {
  switch (FKind) {
    case 1: P = FSolid; return true;
    case 2:
      if (HatchBit(FHatch, (X - FOrgX) & 7, (Y - FOrgY) & 7)) {
        P = FSolid;
        return true;
      }
      P = FBack;
      return FOpaque;
    case 3: {
      int32_t PX = (X - FOrgX) % FPW, PY = (Y - FOrgY) % FPH;
      if (PX < 0) PX += FPW;
      if (PY < 0) PY += FPH;
      P = FPattern[static_cast<size_t>(PY) * FPW + PX];
      return true;
    }
    default: return false;
  }
}

void FillShapeWithBrush(const TDevice& D, const TShape& Sh, const TBrushSource& B, int Rop2) {
  if (B.Empty()) return;
  if (B.Solid()) {
    D.FillShape(Sh, B.SolidValue(), Rop2);
    return;
  }
  uint32_t M = D.S.Mask();
  for (size_t I = 0; I < Sh.Rows.size(); ++I)
    for (auto [A0, B0] : Sh.Rows[I])
      D.Span(Sh.Top + static_cast<int32_t>(I), A0, B0, [&](int32_t Y, int32_t A, int32_t Bb) {
        for (int32_t X = A; X < Bb; ++X) {
          uint32_t P;
          if (B.At(X, Y, P)) D.S.Set(X, Y, ApplyRop2(Rop2 - 1, P, D.S.Get(X, Y)) & M);
        }
      });
}

}  // namespace qvgfx

// ---------------------------------------------------------------- line stepping and pens

namespace {

// Steps a line from (X1, Y1) towards (X2, Y2), leaving out the end pixel, and calls Fn(X, Y, K) for the
// K-th pixel. With a window, only the steps whose major coordinate lies in it are taken, starting
// mid-line with the exact error term, so lines far longer than the bitmap cost nothing extra.
template <typename F>
void StepLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, F&& Fn, const TRect* Window = nullptr) {
  int64_t DX = std::llabs(static_cast<int64_t>(X2) - X1), DY = std::llabs(static_cast<int64_t>(Y2) - Y1);
  int SX = X1 < X2 ? 1 : -1, SY = Y1 < Y2 ? 1 : -1;
  bool XMajor = DX >= DY;
  int64_t Major = XMajor ? DX : DY, Minor = XMajor ? DY : DX;
  int64_t M0 = XMajor ? X1 : Y1, N0 = XMajor ? Y1 : X1;
  int SM = XMajor ? SX : SY, SN = XMajor ? SY : SX;
  int64_t KStart = 0, KEnd = Major;
  if (Window) {
    int64_t Lo = XMajor ? Window->Left : Window->Top, Hi = (XMajor ? Window->Right : Window->Bottom) - 1;
    // steps K with Lo <= M0 + SM K <= Hi
    int64_t A = SM > 0 ? Lo - M0 : M0 - Hi, B = SM > 0 ? Hi - M0 : M0 - Lo;
    KStart = std::max<int64_t>(KStart, A);
    KEnd = std::min<int64_t>(KEnd, B + 1);
  }
  if (KStart >= KEnd) return;
  // minor steps taken before step K: max(0, ceil((2 Minor K - Major) / (2 Major)))
  // (products of two 33-bit extents need more than 64 bits)
  auto MinorAt = [&](int64_t K) -> int64_t {
    __int128 Num = static_cast<__int128>(2 * Minor) * K - Major, Den = 2 * static_cast<__int128>(Major);
    return Num <= 0 ? 0 : static_cast<int64_t>((Num + Den - 1) / Den);
  };
  int64_t Mn = MinorAt(KStart);
  int64_t Err = static_cast<int64_t>(static_cast<__int128>(2 * Minor) * (KStart + 1) - Major -
                                     static_cast<__int128>(2 * Major) * Mn);
  for (int64_t K = KStart; K < KEnd; ++K) {
    int64_t M = M0 + SM * K, N = N0 + SN * Mn;
    if (XMajor) Fn(static_cast<int32_t>(M), static_cast<int32_t>(N), K);
    else Fn(static_cast<int32_t>(N), static_cast<int32_t>(M), K);
    if (Err > 0) {
      ++Mn;
      Err -= 2 * Major;
    }
    Err += 2 * Minor;
  }
}

// On/off run lengths of the cosmetic pen styles; empty for solid.
std::vector<int> DashOf(TPenStyle S) {
  switch (S) {
    case TPenStyle::psDash: return {18, 6};
    case TPenStyle::psDot: return {3, 3};
    case TPenStyle::psDashDot: return {9, 6, 3, 6};
    case TPenStyle::psDashDotDot: return {9, 3, 3, 3, 3, 3};
    case TPenStyle::psAlternate: return {1, 1};
    default: return {};
  }
}

// Row spans of a set of round-capped thick segments, merged.
class TStrokeBuilder {
 public:
  TStrokeBuilder(int32_t Width, const TRect& Window)
      : FR(Width / 2.0), FShift(Width % 2 == 0 ? -0.5 : 0.0), FWindow(Window) {}
  void Segment(double AX, double AY, double BX, double BY) {
    AX += FShift;
    AY += FShift;
    BX += FShift;
    BY += FShift;
    int64_t Y0 = std::max<int64_t>(FWindow.Top, static_cast<int64_t>(std::ceil(std::min(AY, BY) - FR - 1e-9)));
    int64_t Y1 = std::min<int64_t>(FWindow.Bottom - 1, static_cast<int64_t>(std::floor(std::max(AY, BY) + FR + 1e-9)));
    double LX = BX - AX, LY = BY - AY, L = std::hypot(LX, LY);
    double NX = L > 0 ? -LY / L * FR : 0, NY = L > 0 ? LX / L * FR : 0;
    double Q[4][2] = {{AX + NX, AY + NY}, {BX + NX, BY + NY}, {BX - NX, BY - NY}, {AX - NX, AY - NY}};
    for (int64_t Y = Y0; Y <= Y1; ++Y) {
      double Lo = 1e300, Hi = -1e300;
      auto Disk = [&](double CX, double CY) {
        double D = FR * FR - (Y - CY) * (Y - CY);
        if (D < -1e-9) return;
        double H = std::sqrt(std::max(0.0, D));
        Lo = std::min(Lo, CX - H);
        Hi = std::max(Hi, CX + H);
      };
      Disk(AX, AY);
      Disk(BX, BY);
      if (L > 0) {
        for (int E = 0; E < 4; ++E) {
          const double* P = Q[E];
          const double* R = Q[(E + 1) % 4];
          double YA = P[1], YB = R[1];
          if ((Y < std::min(YA, YB) - 1e-9) || (Y > std::max(YA, YB) + 1e-9)) continue;
          if (std::fabs(YB - YA) < 1e-12) {
            Lo = std::min({Lo, P[0], R[0]});
            Hi = std::max({Hi, P[0], R[0]});
          } else {
            double X = P[0] + (Y - YA) * (R[0] - P[0]) / (YB - YA);
            Lo = std::min(Lo, X);
            Hi = std::max(Hi, X);
          }
        }
      }
      if (Lo > Hi) continue;
      int64_t XL = std::max<int64_t>(FWindow.Left, static_cast<int64_t>(std::ceil(std::max(Lo, -4e9) - 1e-9)));
      int64_t XR = std::min<int64_t>(FWindow.Right - 1, static_cast<int64_t>(std::floor(std::min(Hi, 4e9) + 1e-9)));
      if (XL <= XR) FRows[static_cast<int32_t>(Y)].push_back({static_cast<int32_t>(XL), static_cast<int32_t>(XR + 1)});
    }
  }
  TShape Build() {
    TShape S;
    if (FRows.empty()) return S;
    S.Top = FRows.begin()->first;
    S.Rows.resize(static_cast<size_t>(FRows.rbegin()->first - S.Top + 1));
    for (auto& [Y, Spans] : FRows) {
      std::sort(Spans.begin(), Spans.end());
      qvgfx::TSpans& Out = S.Rows[static_cast<size_t>(Y - S.Top)];
      for (auto Sp : Spans) {
        if (!Out.empty() && Sp.first <= Out.back().second) Out.back().second = std::max(Out.back().second, Sp.second);
        else Out.push_back(Sp);
      }
    }
    return S;
  }

 private:
  double FR, FShift;
  TRect FWindow;
  std::map<int32_t, qvgfx::TSpans> FRows;
};


}  // namespace

namespace {

// Collected pixels or spans per row, as a shape with sorted, merged spans.
TShape RowsToShape(std::map<int32_t, qvgfx::TSpans>& Rows) {
  TShape S;
  if (Rows.empty()) return S;
  S.Top = Rows.begin()->first;
  S.Rows.resize(static_cast<size_t>(Rows.rbegin()->first - S.Top + 1));
  for (auto& [Y, Spans] : Rows) {
    std::sort(Spans.begin(), Spans.end());
    qvgfx::TSpans& Out = S.Rows[static_cast<size_t>(Y - S.Top)];
    for (auto Sp : Spans) {
      if (!Out.empty() && Sp.first <= Out.back().second) Out.back().second = std::max(Out.back().second, Sp.second);
      else Out.push_back(Sp);
    }
  }
  return S;
}

}  // namespace

// ---------------------------------------------------------------- TCanvas

TCanvas::TCanvas(TBitmap* Bitmap) : FBitmap(Bitmap), FState(std::make_unique<TCanvasState>()) {
  FPen.OnChange = [this](TGraphicsObject*) { FPenValid = false; };
  FBrush.OnChange = [this](TGraphicsObject*) { FBrushValid = false; };
  FFont.OnChange = [this](TGraphicsObject*) { FFontValid = false; };
}

TCanvas::~TCanvas() = default;

void TCanvas::SetBitmap(TBitmap* Value) {
  FBitmap = Value;
  *FState = TCanvasState();
  FSaved.clear();
  FPenValid = FBrushValid = FFontValid = false;
}

void TCanvas::RequiredState() {
  if (!FPenValid) {
    FState->Rop2 = PenModeToROP2(FPen.Mode());
    FPenValid = true;
  }
  if (!FBrushValid) {
    FState->BkColor = static_cast<COLORREF>(ColorToRGB(FBrush.Color())) & 0xFFFFFF;
    FState->BkMode = FBrush.Style() == TBrushStyle::bsClear ? TRANSPARENT : OPAQUE;
    FBrushValid = true;
  }
  if (!FFontValid) {
    FState->TextColor = static_cast<COLORREF>(ColorToRGB(FFont.Color())) & 0xFFFFFF;
    FFontValid = true;
  }
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}
void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

int TCanvas::SaveState() {
  FSaved.push_back(std::make_unique<TCanvasState>(*FState));
  return static_cast<int>(FSaved.size());
}

bool TCanvas::RestoreState(int Index) {
  int N = static_cast<int>(FSaved.size());
  if (Index < 0) Index = N + 1 + Index;
  if (Index < 1 || Index > N) return false;
  *FState = *FSaved[static_cast<size_t>(Index - 1)];
  FSaved.resize(static_cast<size_t>(Index - 1));
  return true;
}

namespace {

// Draws an open or closed path of logical points with the canvas pen.
void StrokePath(TCanvas* C, const TPoint* P, int Count, bool Closed) {
  TDevice D(C);
  if (!D.Valid() || Count < 2) return;
  TPen* Pen = C->Pen();
  if (Pen->Style() == TPenStyle::psClear) return;
  int Rop = D.St.Rop2;
  uint32_t PV = D.Native(static_cast<COLORREF>(ColorToRGB(Pen->Color())));
  int N = Closed ? Count : Count - 1;
  if (Pen->Width() <= 1) {
    std::vector<int> Dash = DashOf(Pen->Style());
    uint32_t BV = D.Native(D.St.BkColor);
    bool Opaque = D.St.BkMode != TRANSPARENT;
    // The dash pattern runs on along the whole path.
    int64_t Period = 0;
    for (int L : Dash) Period += L;
    auto IsOn = [&](int64_t Pos) {
      int64_t R = Pos % Period;
      for (size_t I = 0; I < Dash.size(); ++I) {
        if (R < Dash[I]) return I % 2 == 0;
        R -= Dash[I];
      }
      return true;
    };
    TRect Win = D.Window();
    int64_t Offset = 0;
    for (int I = 0; I < N; ++I) {
      TPoint A = P[I], B = P[(I + 1) % Count];
      int32_t AX = D.DX(A.X), AY = D.DY(A.Y), BX = D.DX(B.X), BY = D.DY(B.Y);
      StepLine(AX, AY, BX, BY, [&](int32_t X, int32_t Y, int64_t K) {
        if (Dash.empty() || IsOn(Offset + K)) D.Plot(X, Y, PV, Rop);
        else if (Opaque) D.Plot(X, Y, BV, Rop);
      }, &Win);
      Offset += std::max(std::llabs(static_cast<int64_t>(BX) - AX), std::llabs(static_cast<int64_t>(BY) - AY));
    }
    return;
  }
  TStrokeBuilder SB(Pen->Width(), D.Window());
  for (int I = 0; I < N; ++I) {
    TPoint A = P[I], B = P[(I + 1) % Count];
    SB.Segment(D.DX(A.X), D.DY(A.Y), D.DX(B.X), D.DY(B.Y));
  }
  D.FillShape(SB.Build(), PV, Rop);
}

// Normalised box and the pen geometry of a closed figure: the outline ring and the area inside it.
struct TFigure {
  TShape Outline;
  TShape Inside;
};

bool PenVisible(TCanvas* C) { return C->Pen()->Style() != TPenStyle::psClear; }

// The outer box a pen of width W covers around (X1, Y1, X2, Y2).
TRect OuterBox(TCanvas* C, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  int32_t W = std::max(1, C->Pen()->Width());
  if (!PenVisible(C) || W <= 1 || C->Pen()->Style() == TPenStyle::psInsideFrame) return TRect(X1, Y1, X2, Y2);
  return TRect(X1 - W / 2, Y1 - W / 2, X2 + (W - 1) / 2, Y2 + (W - 1) / 2);
}

// Draws a one-pixel outline of a convex figure with a styled pen: its pixels taken in turn round the
// centre, counter-clockwise from the right, so that the dash pattern runs along the curve.
void StyledOutline(TCanvas* C, TDevice& D, const TShape& Outline, const std::vector<int>& Dash) {
  std::vector<TPoint> Px;
  int64_t SX = 0, SY = 0;
  for (size_t I = 0; I < Outline.Rows.size(); ++I)
    for (auto [A, B] : Outline.Rows[I])
      for (int32_t X = A; X < B; ++X) {
        Px.push_back(TPoint(X, Outline.Top + static_cast<int32_t>(I)));
        SX += X;
        SY += Px.back().Y;
      }
  if (Px.empty()) return;
  double CX = static_cast<double>(SX) / Px.size(), CY = static_cast<double>(SY) / Px.size();
  auto Angle = [&](const TPoint& P) {
    double T = std::atan2(CY - P.Y, P.X - CX);
    return T < 0 ? T + 2 * M_PI : T;
  };
  std::sort(Px.begin(), Px.end(), [&](const TPoint& A, const TPoint& B) { return Angle(A) < Angle(B); });
  int64_t Period = 0;
  for (int L : Dash) Period += L;
  uint32_t PV = D.Native(static_cast<COLORREF>(ColorToRGB(C->Pen()->Color()))), BV = D.Native(D.St.BkColor);
  bool Opaque = D.St.BkMode != TRANSPARENT;
  for (size_t K = 0; K < Px.size(); ++K) {
    int64_t R = static_cast<int64_t>(K) % Period;
    bool On = true;
    for (size_t I = 0; I < Dash.size(); ++I) {
      if (R < Dash[I]) {
        On = I % 2 == 0;
        break;
      }
      R -= Dash[I];
    }
    if (On) D.Plot(Px[K].X, Px[K].Y, PV, D.St.Rop2);
    else if (Opaque) D.Plot(Px[K].X, Px[K].Y, BV, D.St.Rop2);
  }
}

// Styled thin outlines of rectangles are stroked as a path by the caller.
void PaintFigure(TCanvas* C, TDevice& D, const TShape& Outline, const TShape& Fill, bool OutlineByCaller) {
  TBrushSource BS(D, *C->Brush());
  qvgfx::FillShapeWithBrush(D, Fill, BS, D.St.Rop2);
  if (PenVisible(C) && !OutlineByCaller) {
    std::vector<int> Dash = C->Pen()->Width() <= 1 ? DashOf(C->Pen()->Style()) : std::vector<int>();
    if (!Dash.empty()) {
      StyledOutline(C, D, Outline, Dash);
      return;
    }
    uint32_t PV = D.Native(static_cast<COLORREF>(ColorToRGB(C->Pen()->Color())));
    D.FillShape(Outline, PV, D.St.Rop2);
  }
}

template <typename MakeShape>
void DrawClosedShape(TCanvas* C, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, MakeShape&& Make,
                     bool OutlineByCaller = false) {
  C->RequiredState();
  TDevice D(C);
  if (!D.Valid()) return;
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  X1 = D.DX(X1);
  X2 = D.DX(X2);
  Y1 = D.DY(Y1);
  Y2 = D.DY(Y2);
  TShape Full, Outline, Fill;
  if (!PenVisible(C)) {
    // Without a pen the figure is one pixel smaller on the right and bottom, as on the platform.
    Fill = Make(X1, Y1, X2 - 1, Y2 - 1, D.Window());
  } else {
    int32_t W = std::max(1, C->Pen()->Width());
    TRect O = OuterBox(C, X1, Y1, X2, Y2);
    Full = Make(O.Left, O.Top, O.Right, O.Bottom, D.Window());
    if (W <= 1) {
      Outline = qvgfx::BoundaryOf(Full);
      Fill = qvgfx::Subtract(Full, Outline);
    } else {
      TShape Inner = Make(O.Left + W, O.Top + W, O.Right - W, O.Bottom - W, D.Window());
      Outline = qvgfx::Subtract(Full, Inner);
      Fill = Inner;
    }
  }
  PaintFigure(C, D, Outline, Fill, OutlineByCaller);
}

}  // namespace

void TCanvas::MoveTo(int32_t X, int32_t Y) { FPenPos = TPoint(X, Y); }

void TCanvas::LineTo(int32_t X, int32_t Y) {
  Changing();
  RequiredState();
  TPoint P[2] = {FPenPos, TPoint(X, Y)};
  StrokePath(this, P, 2, false);
  FPenPos = TPoint(X, Y);
  Changed();
}

void TCanvas::Polyline(const TPoint* Points, int Count) {
  if (!Points || Count < 2) return;
  Changing();
  RequiredState();
  StrokePath(this, Points, Count, false);
  Changed();
}

void TCanvas::Polygon(const TPoint* Points, int Count) {
  if (!Points || Count < 2) return;
  Changing();
  RequiredState();
  TDevice D(this);
  if (D.Valid()) {
    std::vector<TPoint> Dev(Points, Points + Count);
    for (TPoint& P : Dev) P = TPoint(D.DX(P.X), D.DY(P.Y));
    TShape Fill = qvgfx::PolygonShape(Dev.data(), &Count, 1, D.St.PolyFillMode, D.Window());
    TBrushSource BS(D, FBrush);
    if (PenVisible(this)) {
      // The outline's pixels are drawn by the pen alone.
      TRect Win = D.Window();
      TStrokeBuilder SB(std::max(1, FPen.Width()), Win);
      if (FPen.Width() <= 1) {
        std::map<int32_t, qvgfx::TSpans> Rows;
        for (int I = 0; I < Count; ++I) {
          TPoint A = Dev[I], B = Dev[(I + 1) % Count];
          StepLine(A.X, A.Y, B.X, B.Y, [&](int32_t X, int32_t Y, int64_t) { Rows[Y].push_back({X, X + 1}); }, &Win);
        }
        Fill = qvgfx::Subtract(Fill, RowsToShape(Rows));
      } else {
        for (int I = 0; I < Count; ++I) SB.Segment(Dev[I].X, Dev[I].Y, Dev[(I + 1) % Count].X, Dev[(I + 1) % Count].Y);
        Fill = qvgfx::Subtract(Fill, SB.Build());
      }
    }
    qvgfx::FillShapeWithBrush(D, Fill, BS, D.St.Rop2);
    StrokePath(this, Points, Count, true);
  }
  Changed();
}

void TCanvas::PolyBezier(const TPoint* Points, int Count) {
  if (!Points || Count < 4) return;
  std::vector<TPoint> Flat{Points[0]};
  for (int I = 0; I + 3 < Count; I += 3) {
    const TPoint &A = Points[I], &B = Points[I + 1], &Cc = Points[I + 2], &E = Points[I + 3];
    double Len = std::hypot(B.X - A.X, B.Y - A.Y) + std::hypot(Cc.X - B.X, Cc.Y - B.Y) + std::hypot(E.X - Cc.X, E.Y - Cc.Y);
    int Steps = std::max(1, static_cast<int>(Len / 2));
    for (int S = 1; S <= Steps; ++S) {
      double T = static_cast<double>(S) / Steps, U = 1 - T;
      double X = U * U * U * A.X + 3 * U * U * T * B.X + 3 * U * T * T * Cc.X + T * T * T * E.X;
      double Y = U * U * U * A.Y + 3 * U * U * T * B.Y + 3 * U * T * T * Cc.Y + T * T * T * E.Y;
      TPoint P(static_cast<int32_t>(std::lround(X)), static_cast<int32_t>(std::lround(Y)));
      if (!(P == Flat.back())) Flat.push_back(P);
    }
  }
  Polyline(Flat);
  // The last point is part of a Bézier curve.
  TDevice D(this);
  if (D.Valid() && PenVisible(this) && FPen.Width() <= 1)
    D.Plot(D.DX(Flat.back().X), D.DY(Flat.back().Y), D.Native(static_cast<COLORREF>(ColorToRGB(FPen.Color()))), D.St.Rop2);
}

void TCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Changing();
  bool Styled = PenVisible(this) && FPen.Width() <= 1 && !DashOf(FPen.Style()).empty();
  DrawClosedShape(
      this, X1, Y1, X2, Y2,
      [](int32_t A, int32_t B, int32_t Cc, int32_t D, const TRect& Wn) { return qvgfx::RectShape(A, B, Cc, D, Wn); },
      Styled);
  if (Styled) {
    if (X2 < X1) std::swap(X1, X2);
    if (Y2 < Y1) std::swap(Y1, Y2);
    TPoint P[4] = {{X1, Y1}, {X2 - 1, Y1}, {X2 - 1, Y2 - 1}, {X1, Y2 - 1}};
    StrokePath(this, P, 4, true);
  }
  Changed();
}

void TCanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
  Changing();
  DrawClosedShape(this, X1, Y1, X2, Y2,
                  [&](int32_t A, int32_t B, int32_t Cc, int32_t D, const TRect& Wn) {
                    return qvgfx::RoundRectShape(A, B, Cc, D, X3, Y3, Wn);
                  });
  Changed();
}

void TCanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Changing();
  DrawClosedShape(this, X1, Y1, X2, Y2,
                  [](int32_t A, int32_t B, int32_t Cc, int32_t D, const TRect& Wn) {
                    return qvgfx::EllipseShape(A, B, Cc, D, Wn);
                  });
  Changed();
}

namespace {

// 0 arc, 1 pie, 2 chord.
void DrawArcFigure(TCanvas* C, int Kind, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3,
                   int32_t X4, int32_t Y4) {
  C->RequiredState();
  TDevice D(C);
  if (!D.Valid()) return;
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  int32_t OX = D.OrgX, OY = D.OrgY;
  X1 += OX, X2 += OX, Y1 += OY, Y2 += OY, X3 += OX, X4 += OX, Y3 += OY, Y4 += OY;
  if (X2 - X1 < 2 || Y2 - Y1 < 2) return;
  double CX = (X1 + X2 - 1) / 2.0, CY = (Y1 + Y2 - 1) / 2.0;
  double A = (X2 - X1 - 1) / 2.0, B = (Y2 - Y1 - 1) / 2.0;
  const double TwoPi = 2 * M_PI;
  auto Ang = [&](double X, double Y) {
    double T = std::atan2(CY - Y, X - CX);
    return T < 0 ? T + TwoPi : T;
  };
  double AS = Ang(X3, Y3), AE = Ang(X4, Y4);
  double Sweep = AE - AS;
  if (Sweep <= 1e-12) Sweep += TwoPi;
  auto InArc = [&](double X, double Y) {
    if (X == CX && Y == CY) return true;
    double T = Ang(X, Y) - AS;
    if (T < 0) T += TwoPi;
    return T <= Sweep + 1e-9;
  };
  auto OnEllipse = [&](double T) {
    return TPoint(static_cast<int32_t>(std::lround(CX + A * std::cos(T))), static_cast<int32_t>(std::lround(CY - B * std::sin(T))));
  };
  TPoint PS = OnEllipse(AS), PE = OnEllipse(AS + Sweep);
  TRect O = OuterBox(C, X1, Y1, X2, Y2);
  int32_t W = std::max(1, C->Pen()->Width());
  TRect Win = D.Window();
  TShape Full = qvgfx::EllipseShape(O.Left, O.Top, O.Right, O.Bottom, Win);
  TShape Ring = W <= 1 ? qvgfx::BoundaryOf(Full)
                       : qvgfx::Subtract(Full, qvgfx::EllipseShape(O.Left + W, O.Top + W, O.Right - W, O.Bottom - W, Win));
  TShape Arc = qvgfx::Filter(Ring, [&](int32_t X, int32_t Y) { return InArc(X, Y); });
  uint32_t PV = D.Native(static_cast<COLORREF>(ColorToRGB(C->Pen()->Color())));
  bool Pen = PenVisible(C);
  if (Kind == 0) {
    if (Pen) D.FillShape(Arc, PV, D.St.Rop2);
    return;
  }
  // The straight edges of the figure, as pen pixels and as a cut through the fill.
  TStrokeBuilder SB(W, Win);
  std::vector<std::pair<TPoint, TPoint>> Edges;
  TPoint Ctr(static_cast<int32_t>(std::lround(CX)), static_cast<int32_t>(std::lround(CY)));
  if (Kind == 1) Edges = {{PE, Ctr}, {Ctr, PS}};
  else Edges = {{PE, PS}};
  std::map<int32_t, qvgfx::TSpans> Rows;
  for (auto& [P, Q] : Edges) {
    if (W <= 1) StepLine(P.X, P.Y, Q.X, Q.Y, [&](int32_t X, int32_t Y, int64_t) { Rows[Y].push_back({X, X + 1}); }, &Win);
    else SB.Segment(P.X, P.Y, Q.X, Q.Y);
  }
  TShape Lines = W <= 1 ? RowsToShape(Rows) : SB.Build();
  double EX = PE.X - PS.X, EY = PE.Y - PS.Y;
  double MidT = AS + Sweep / 2;
  double MX = CX + A * std::cos(MidT) - PS.X, MY = CY - B * std::sin(MidT) - PS.Y;
  double MSide = EX * MY - EY * MX;
  TShape Inside =
      W <= 1 ? qvgfx::Subtract(Full, Ring) : qvgfx::EllipseShape(O.Left + W, O.Top + W, O.Right - W, O.Bottom - W, Win);
  TShape Fill = qvgfx::Filter(Inside, [&](int32_t X, int32_t Y) {
    if (Kind == 1) return InArc(X, Y);
    double S = EX * (Y - PS.Y) - EY * (X - PS.X);
    return S == 0 || (S > 0) == (MSide > 0);
  });
  if (Pen) Fill = qvgfx::Subtract(qvgfx::Subtract(Fill, Lines), Arc);
  TBrushSource BS(D, *C->Brush());
  qvgfx::FillShapeWithBrush(D, Fill, BS, D.St.Rop2);
  if (Pen) {
    D.FillShape(qvgfx::Subtract(Arc, Lines), PV, D.St.Rop2);
    D.FillShape(Lines, PV, D.St.Rop2);
  }
}

}  // namespace

void TCanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
  Changing();
  DrawArcFigure(this, 0, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}
void TCanvas::Pie(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
  Changing();
  DrawArcFigure(this, 1, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}
void TCanvas::Chord(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
  Changing();
  DrawArcFigure(this, 2, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}

void TCanvas::FillRect(const TRect& R) {
  Changing();
  RequiredState();
  ::FillRect(this, R, FBrush);
  Changed();
}

void TCanvas::FrameRect(const TRect& R) {
  Changing();
  RequiredState();
  ::FrameRect(this, R, FBrush);
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& R) {
  Changing();
  RequiredState();
  ::DrawFocusRect(this, R);
  Changed();
}

void TCanvas::FloodFill(int32_t X, int32_t Y, TColor Color, TFillStyle FillStyle) {
  Changing();
  RequiredState();
  TDevice D(this);
  X = D.DX(X);
  Y = D.DY(Y);
  if (D.Valid() && D.Visible(X, Y)) {
    uint32_t Key = D.Native(static_cast<COLORREF>(ColorToRGB(Color)));
    auto Inside = [&](int32_t Px, int32_t Py) {
      uint32_t V = D.S.Get(Px, Py);
      return FillStyle == TFillStyle::fsSurface ? V == Key : V != Key;
    };
    if (Inside(X, Y)) {
      // Collect the area first, then paint it, so the brush colour cannot stop the search.
      std::vector<uint8_t> Seen(static_cast<size_t>(D.S.Width) * D.S.Height, 0);
      std::map<int32_t, qvgfx::TSpans> Rows;
      std::vector<TPoint> Stack{TPoint(X, Y)};
      while (!Stack.empty()) {
        TPoint P = Stack.back();
        Stack.pop_back();
        size_t Idx = static_cast<size_t>(P.Y) * D.S.Width + P.X;
        if (Seen[Idx]) continue;
        int32_t L = P.X, Rt = P.X;
        while (L - 1 >= 0 && !Seen[Idx - (P.X - L) - 1] && D.Visible(L - 1, P.Y) && Inside(L - 1, P.Y)) --L;
        while (Rt + 1 < D.S.Width && !Seen[Idx + (Rt - P.X) + 1] && D.Visible(Rt + 1, P.Y) && Inside(Rt + 1, P.Y)) ++Rt;
        for (int32_t I = L; I <= Rt; ++I) Seen[static_cast<size_t>(P.Y) * D.S.Width + I] = 1;
        Rows[P.Y].push_back({L, Rt + 1});
        for (int Dy : {-1, 1}) {
          int32_t NY = P.Y + Dy;
          if (NY < 0 || NY >= D.S.Height) continue;
          for (int32_t I = L; I <= Rt; ++I)
            if (!Seen[static_cast<size_t>(NY) * D.S.Width + I] && D.Visible(I, NY) && Inside(I, NY)) Stack.push_back(TPoint(I, NY));
        }
      }
      TShape Sh;
      Sh.Top = Rows.begin()->first;
      Sh.Rows.resize(static_cast<size_t>(Rows.rbegin()->first - Sh.Top + 1));
      for (auto& [Ry, Sp] : Rows) Sh.Rows[static_cast<size_t>(Ry - Sh.Top)] = Sp;
      TBrushSource BS(D, FBrush);
      qvgfx::FillShapeWithBrush(D, Sh, BS, R2_COPYPEN);
    }
  }
  Changed();
}

TColor TCanvas::Pixels(int32_t X, int32_t Y) { return static_cast<TColor>(::GetPixel(this, X, Y)); }

void TCanvas::SetPixels(int32_t X, int32_t Y, TColor Value) {
  Changing();
  ::SetPixel(this, X, Y, Value);
  Changed();
}

TRect TCanvas::ClipRect() {
  TRect R;
  ::GetClipBox(this, &R);
  return R;
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Source, const TRect& SourceRect) {
  Changing();
  RequiredState();
  if (Source) Source->RequiredState();
  StretchBlt(this, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), Source, SourceRect.Left, SourceRect.Top,
             SourceRect.Width(), SourceRect.Height(), FCopyMode);
  Changed();
}

void TCanvas::Draw(int32_t X, int32_t Y, const TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState();
  Graphic->Draw(this, TRect(X, Y, X + Graphic->Width(), Y + Graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& R, const TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState();
  Graphic->Draw(this, R);
  Changed();
}

void TCanvas::BrushCopy(const TRect& Dest, TBitmap* Source, const TRect& SourceRect, TColor AColor) {
  if (!Source || Source->Empty()) return;
  Changing();
  RequiredState();
  // Source through a mask of AColor: masked pixels take the brush, the rest the source.
  TBitmap Part(SourceRect.Width(), SourceRect.Height(), TPixelFormat::pf32bit);
  BitBlt(Part.Canvas(), 0, 0, Part.Width(), Part.Height(), Source->Canvas(), SourceRect.Left, SourceRect.Top, SRCCOPY);
  auto Mask = Part.CreateMask(AColor);
  TBrushSource BS(TDevice(this), FBrush);
  TDevice D(this);
  if (D.Valid()) {
    COLORREF Key = static_cast<COLORREF>(ColorToRGB(AColor)) & 0xFFFFFF;
    (void)Key;
    int32_t W = Dest.Width(), H = Dest.Height();
    for (int32_t Y = 0; Y < H; ++Y) {
      int32_t SY = static_cast<int32_t>(static_cast<int64_t>(Y) * Part.Height() / std::max(1, H));
      int32_t DY = D.DY(Dest.Top + Y);
      D.Span(DY, D.DX(Dest.Left), D.DX(Dest.Left) + W, [&](int32_t Yy, int32_t A, int32_t B) {
        for (int32_t X = A; X < B; ++X) {
          int32_t SX = static_cast<int32_t>(static_cast<int64_t>(X - D.DX(Dest.Left)) * Part.Width() / std::max(1, W));
          uint32_t V;
          if (Mask->GetPixel(SX, SY) != 0) {
            if (BS.At(X, Yy, V)) D.S.Set(X, Yy, V);
          } else {
            D.S.Set(X, Yy, D.Native(Part.GetPixel(SX, SY)));
          }
        }
      });
    }
  }
  Changed();
}

// ---------------------------------------------------------------- device-context calls

COLORREF SetBkColor(HDC DC, TColor Color) {
  if (!DC) return 0xFFFFFFFF;
  DC->RequiredState();
  COLORREF Old = TCanvasAccess::State(DC).BkColor;
  TCanvasAccess::State(DC).BkColor = static_cast<COLORREF>(ColorToRGB(Color)) & 0xFFFFFF;
  return Old;
}
COLORREF GetBkColor(HDC DC) { return DC ? (DC->RequiredState(), TCanvasAccess::State(DC).BkColor) : 0xFFFFFFFF; }
COLORREF SetTextColor(HDC DC, TColor Color) {
  if (!DC) return 0xFFFFFFFF;
  DC->RequiredState();
  COLORREF Old = TCanvasAccess::State(DC).TextColor;
  TCanvasAccess::State(DC).TextColor = static_cast<COLORREF>(ColorToRGB(Color)) & 0xFFFFFF;
  return Old;
}
COLORREF GetTextColor(HDC DC) { return DC ? (DC->RequiredState(), TCanvasAccess::State(DC).TextColor) : 0xFFFFFFFF; }
int SetBkMode(HDC DC, int Mode) {
  if (!DC || (Mode != TRANSPARENT && Mode != OPAQUE)) return 0;
  DC->RequiredState();
  int Old = TCanvasAccess::State(DC).BkMode;
  TCanvasAccess::State(DC).BkMode = Mode;
  return Old;
}
int GetBkMode(HDC DC) { return DC ? (DC->RequiredState(), TCanvasAccess::State(DC).BkMode) : 0; }
int SetROP2(HDC DC, int Rop2) {
  if (!DC || Rop2 < R2_BLACK || Rop2 > R2_WHITE) return 0;
  DC->RequiredState();
  int Old = TCanvasAccess::State(DC).Rop2;
  TCanvasAccess::State(DC).Rop2 = Rop2;
  return Old;
}
int GetROP2(HDC DC) { return DC ? (DC->RequiredState(), TCanvasAccess::State(DC).Rop2) : 0; }
int SetPolyFillMode(HDC DC, int Mode) {
  if (!DC || (Mode != ALTERNATE && Mode != WINDING)) return 0;
  int Old = TCanvasAccess::State(DC).PolyFillMode;
  TCanvasAccess::State(DC).PolyFillMode = Mode;
  return Old;
}
int GetPolyFillMode(HDC DC) { return DC ? TCanvasAccess::State(DC).PolyFillMode : 0; }
int SetStretchBltMode(HDC DC, int Mode) {
  if (!DC || Mode < BLACKONWHITE || Mode > HALFTONE) return 0;
  int Old = TCanvasAccess::State(DC).StretchMode;
  TCanvasAccess::State(DC).StretchMode = Mode;
  return Old;
}
int GetStretchBltMode(HDC DC) { return DC ? TCanvasAccess::State(DC).StretchMode : 0; }
int GetDeviceCaps(HDC DC, int Index) {
  if (!DC) return 0;
  switch (Index) {
    case BITSPIXEL: return DC->Bitmap() ? DC->Bitmap()->BitsPerPixel() : 0;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    default: return 0;
  }
}
uint32_t SetTextAlign(HDC DC, uint32_t Align) {
  if (!DC) return 0xFFFFFFFF;
  uint32_t Old = TCanvasAccess::State(DC).TextAlign;
  TCanvasAccess::State(DC).TextAlign = Align;
  return Old;
}
uint32_t GetTextAlign(HDC DC) { return DC ? TCanvasAccess::State(DC).TextAlign : 0xFFFFFFFF; }
bool SetBrushOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old) {
  if (!DC) return false;
  if (Old) *Old = TCanvasAccess::State(DC).BrushOrg;
  TCanvasAccess::State(DC).BrushOrg = TPoint(X, Y);
  return true;
}
bool SetViewportOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old) {
  if (!DC) return false;
  if (Old) *Old = TCanvasAccess::State(DC).ViewportOrg;
  TCanvasAccess::State(DC).ViewportOrg = TPoint(X, Y);
  return true;
}
bool GetViewportOrgEx(HDC DC, TPoint* Origin) {
  if (!DC || !Origin) return false;
  *Origin = TCanvasAccess::State(DC).ViewportOrg;
  return true;
}
bool OffsetViewportOrgEx(HDC DC, int32_t DX, int32_t DY, TPoint* Old) {
  if (!DC) return false;
  TPoint& O = TCanvasAccess::State(DC).ViewportOrg;
  if (Old) *Old = O;
  O = TPoint(O.X + DX, O.Y + DY);
  return true;
}
bool SetWindowOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old) {
  if (!DC) return false;
  if (Old) *Old = TCanvasAccess::State(DC).WindowOrg;
  TCanvasAccess::State(DC).WindowOrg = TPoint(X, Y);
  return true;
}
bool GetWindowOrgEx(HDC DC, TPoint* Origin) {
  if (!DC || !Origin) return false;
  *Origin = TCanvasAccess::State(DC).WindowOrg;
  return true;
}
int SaveDC(HDC DC) { return DC ? (DC->RequiredState(), DC->SaveState()) : 0; }
bool RestoreDC(HDC DC, int SavedDC) { return DC && DC->RestoreState(SavedDC); }

static TRect DeviceBounds(HDC DC) {
  TBitmap* B = DC->Bitmap();
  return B ? TRect(0, 0, B->Width(), B->Height()) : TRect();
}

static int ClipKind(HDC DC) {
  TCanvasState& S = TCanvasAccess::State(DC);
  if (!S.HasClip) return SIMPLEREGION;
  // A clip inside the bitmap keeps its own kind; only one reaching outside needs cutting to learn it.
  const TRect Box = S.Clip.Bounds(), Dev = DeviceBounds(DC);
  if (S.Clip.Kind() == NULLREGION ||
      (Box.Left >= Dev.Left && Box.Top >= Dev.Top && Box.Right <= Dev.Right && Box.Bottom <= Dev.Bottom))
    return S.Clip.Kind();
  return TRegion::Combine(S.Clip, TRegion(DeviceBounds(DC)), RGN_AND).Kind();
}

int SelectClipRgn(HDC DC, const TRegion* Rgn) {
  if (!DC) return RGN_ERROR;
  TCanvasState& S = TCanvasAccess::State(DC);
  if (!Rgn) {
    S.HasClip = false;
    S.Clip = TRegion();
    return SIMPLEREGION;
  }
  S.HasClip = true;
  S.Clip = *Rgn;
  return ClipKind(DC);
}

int ExtSelectClipRgn(HDC DC, const TRegion* Rgn, int Mode) {
  if (!DC) return RGN_ERROR;
  if (Mode == RGN_COPY) return SelectClipRgn(DC, Rgn);
  if (!Rgn) return RGN_ERROR;
  TCanvasState& S = TCanvasAccess::State(DC);
  TRegion Cur = S.HasClip ? S.Clip : TRegion(DeviceBounds(DC));
  S.Clip = TRegion::Combine(Cur, *Rgn, Mode);
  S.HasClip = true;
  return ClipKind(DC);
}

int IntersectClipRect(HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!DC) return RGN_ERROR;
  TCanvasState& S = TCanvasAccess::State(DC);
  int32_t OX = S.ViewportOrg.X - S.WindowOrg.X, OY = S.ViewportOrg.Y - S.WindowOrg.Y;
  TRegion R(TRect(X1 + OX, Y1 + OY, X2 + OX, Y2 + OY));
  return ExtSelectClipRgn(DC, &R, RGN_AND);
}

int ExcludeClipRect(HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!DC) return RGN_ERROR;
  TCanvasState& S = TCanvasAccess::State(DC);
  int32_t OX = S.ViewportOrg.X - S.WindowOrg.X, OY = S.ViewportOrg.Y - S.WindowOrg.Y;
  TRegion R(TRect(X1 + OX, Y1 + OY, X2 + OX, Y2 + OY));
  return ExtSelectClipRgn(DC, &R, RGN_DIFF);
}

int GetClipBox(HDC DC, TRect* R) {
  if (!DC || !R) return RGN_ERROR;
  TCanvasState& S = TCanvasAccess::State(DC);
  TRegion Vis = S.HasClip ? TRegion::Combine(S.Clip, TRegion(DeviceBounds(DC)), RGN_AND) : TRegion(DeviceBounds(DC));
  *R = Vis.Bounds();
  if (!IsRectEmpty(*R)) OffsetRect(*R, -(S.ViewportOrg.X - S.WindowOrg.X), -(S.ViewportOrg.Y - S.WindowOrg.Y));
  return Vis.Kind();
}

int GetClipRgn(HDC DC, TRegion& Rgn) {
  if (!DC) return -1;
  TCanvasState& S = TCanvasAccess::State(DC);
  if (!S.HasClip) return 0;
  Rgn = S.Clip;
  return 1;
}

bool PtVisible(HDC DC, int32_t X, int32_t Y) {
  if (!DC) return false;
  TDevice D(DC);
  return D.Valid() && D.Visible(D.DX(X), D.DY(Y));
}

bool RectVisible(HDC DC, const TRect& R) {
  if (!DC) return false;
  TDevice D(DC);
  TRect Dev(D.DX(R.Left), D.DY(R.Top), D.DX(R.Right), D.DY(R.Bottom)), T;
  for (const TRect& C : D.Clip)
    if (IntersectRect(T, C, Dev)) return true;
  return false;
}

static TShape ShapeOfRegion(const TRegion& Rgn) {
  TShape S;
  if (Rgn.IsEmpty()) return S;
  TRect B = Rgn.Bounds();
  S.Top = B.Top;
  S.Rows.resize(static_cast<size_t>(B.Height()));
  for (const TRect& R : Rgn.Rects())
    for (int32_t Y = R.Top; Y < R.Bottom; ++Y) S.Rows[static_cast<size_t>(Y - B.Top)].push_back({R.Left, R.Right});
  return S;
}

bool FillRgn(HDC DC, const TRegion& Rgn, const TBrush& Brush) {
  if (!DC) return false;
  DC->RequiredState();
  TDevice D(DC);
  if (!D.Valid()) return true;
  TBrushSource BS(D, Brush);
  qvgfx::FillShapeWithBrush(D, ShapeOfRegion(Rgn), BS, R2_COPYPEN);
  return true;
}

bool PaintRgn(HDC DC, const TRegion& Rgn) { return DC && FillRgn(DC, Rgn, *DC->Brush()); }

bool FrameRgn(HDC DC, const TRegion& Rgn, const TBrush& Brush, int32_t W, int32_t H) {
  if (!DC) return false;
  DC->RequiredState();
  TDevice D(DC);
  if (!D.Valid()) return true;
  // The frame is the part of the region within W x H of its outside.
  TShape S = ShapeOfRegion(Rgn);
  TShape F = qvgfx::Filter(S, [&](int32_t X, int32_t Y) {
    for (int32_t I = -W; I <= W; ++I)
      if (!Rgn.Contains(X + I, Y)) return true;
    for (int32_t I = -H; I <= H; ++I)
      if (!Rgn.Contains(X, Y + I)) return true;
    return false;
  });
  TBrushSource BS(D, Brush);
  qvgfx::FillShapeWithBrush(D, F, BS, R2_COPYPEN);
  return true;
}

bool InvertRgn(HDC DC, const TRegion& Rgn) {
  if (!DC) return false;
  TDevice D(DC);
  if (D.Valid()) D.FillShape(ShapeOfRegion(Rgn), 0, R2_NOT);
  return true;
}

bool InvertRect(HDC DC, const TRect& R) { return PatBlt(DC, R.Left, R.Top, R.Width(), R.Height(), DSTINVERT); }

COLORREF SetPixel(HDC DC, int32_t X, int32_t Y, TColor Color) {
  if (!DC) return 0xFFFFFFFF;
  TDevice D(DC);
  X = D.DX(X);
  Y = D.DY(Y);
  if (!D.Valid() || !D.Visible(X, Y)) return 0xFFFFFFFF;
  uint32_t V = D.Native(static_cast<COLORREF>(ColorToRGB(Color)));
  D.S.Set(X, Y, V);
  return D.Color(V);
}

COLORREF GetPixel(HDC DC, int32_t X, int32_t Y) {
  if (!DC) return 0xFFFFFFFF;
  TDevice D(DC);
  X = D.DX(X);
  Y = D.DY(Y);
  if (!D.Valid() || !D.Visible(X, Y)) return 0xFFFFFFFF;
  return D.Color(D.S.Get(X, Y));
}

bool MoveToEx(HDC DC, int32_t X, int32_t Y, TPoint* Old) {
  if (!DC) return false;
  if (Old) *Old = DC->PenPos();
  DC->MoveTo(X, Y);
  return true;
}

bool LineTo(HDC DC, int32_t X, int32_t Y) {
  if (!DC) return false;
  DC->LineTo(X, Y);
  return true;
}

void LineDDA(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const std::function<void(int32_t X, int32_t Y)>& Proc) {
  if (Proc) StepLine(X1, Y1, X2, Y2, [&](int32_t X, int32_t Y, int64_t) { Proc(X, Y); });
}

static void FillLogical(HDC DC, const TRect& R, COLORREF Color) {
  TDevice D(DC);
  if (!D.Valid() || IsRectEmpty(R)) return;
  uint32_t V = D.Native(Color);
  for (int32_t Y = D.RowFrom(R.Top); Y < D.RowTo(R.Bottom); ++Y) D.FillSpan(D.DY(Y), D.DX(R.Left), D.DX(R.Right), V, R2_COPYPEN);
}

bool DrawEdge(HDC DC, TRect& R, uint32_t Edge, uint32_t Flags) {
  if (!DC) return false;
  // Outer then inner ring; each side takes the light or dark colour of its kind.
  struct Ring {
    uint32_t Raised, Sunken;
    COLORREF TL_R, BR_R, TL_S, BR_S;
  };
  COLORREF Hi = GetSysColor(COLOR_BTNHIGHLIGHT), Lt = GetSysColor(COLOR_3DLIGHT), Sh = GetSysColor(COLOR_BTNSHADOW),
           Dk = GetSysColor(COLOR_3DDKSHADOW);
  if (Flags & BF_MONO) Hi = Lt = Sh = Dk = GetSysColor(COLOR_WINDOWFRAME);
  if (Flags & BF_FLAT) {
    Hi = Lt = Sh = GetSysColor(COLOR_BTNSHADOW);
    Dk = Sh;
  }
  Ring Rings[2] = {{BDR_RAISEDOUTER, BDR_SUNKENOUTER, Lt, Dk, Sh, Hi}, {BDR_RAISEDINNER, BDR_SUNKENINNER, Hi, Sh, Dk, Lt}};
  if (Flags & BF_SOFT) {
    Rings[0].TL_R = Hi;
    Rings[1].TL_R = Lt;
  }
  TRect Cur = R;
  for (const Ring& G : Rings) {
    bool Raised = Edge & G.Raised, Sunken = Edge & G.Sunken;
    if (!Raised && !Sunken) continue;
    COLORREF TL = Raised ? G.TL_R : G.TL_S, BR = Raised ? G.BR_R : G.BR_S;
    if (Flags & BF_LEFT) FillLogical(DC, TRect(Cur.Left, Cur.Top, Cur.Left + 1, Cur.Bottom), TL);
    if (Flags & BF_TOP) FillLogical(DC, TRect(Cur.Left, Cur.Top, Cur.Right, Cur.Top + 1), TL);
    if (Flags & BF_RIGHT) FillLogical(DC, TRect(Cur.Right - 1, Cur.Top, Cur.Right, Cur.Bottom), BR);
    if (Flags & BF_BOTTOM) FillLogical(DC, TRect(Cur.Left, Cur.Bottom - 1, Cur.Right, Cur.Bottom), BR);
    if (Flags & BF_LEFT) ++Cur.Left;
    if (Flags & BF_TOP) ++Cur.Top;
    if (Flags & BF_RIGHT) --Cur.Right;
    if (Flags & BF_BOTTOM) --Cur.Bottom;
  }
  if (Flags & BF_MIDDLE) FillLogical(DC, Cur, GetSysColor(COLOR_BTNFACE));
  if (Flags & BF_ADJUST) R = Cur;
  return true;
}

bool DrawFocusRect(HDC DC, const TRect& R) {
  if (!DC) return false;
  TDevice D(DC);
  if (!D.Valid() || IsRectEmpty(R)) return true;
  // Every other pixel of the frame, on a checkerboard, inverted.
  uint32_t M = D.S.Mask();
  auto Flip = [&](int32_t X, int32_t Y) {
    int32_t DXp = D.DX(X), DYp = D.DY(Y);
    if (((X + Y) & 1) == 0 && D.Visible(DXp, DYp)) D.S.Set(DXp, DYp, ~D.S.Get(DXp, DYp) & M);
  };
  for (int32_t X = D.ColFrom(R.Left); X < D.ColTo(R.Right); ++X) {
    Flip(X, R.Top);
    if (R.Bottom - 1 > R.Top) Flip(X, R.Bottom - 1);
  }
  for (int32_t Y = D.RowFrom(R.Top + 1); Y < D.RowTo(R.Bottom - 1); ++Y) {
    Flip(R.Left, Y);
    if (R.Right - 1 > R.Left) Flip(R.Right - 1, Y);
  }
  return true;
}

int FillRect(HDC DC, const TRect& R, const TBrush& Brush) {
  if (!DC) return 0;
  DC->RequiredState();
  TDevice D(DC);
  if (!D.Valid() || IsRectEmpty(R)) return 1;
  TBrushSource BS(D, Brush);
  TShape S = qvgfx::RectShape(D.DX(R.Left), D.DY(R.Top), D.DX(R.Right), D.DY(R.Bottom), D.Window());
  qvgfx::FillShapeWithBrush(D, S, BS, R2_COPYPEN);
  return 1;
}

int FrameRect(HDC DC, const TRect& R, const TBrush& Brush) {
  if (!DC) return 0;
  DC->RequiredState();
  TDevice D(DC);
  if (!D.Valid() || IsRectEmpty(R)) return 1;
  TRect Dv(D.DX(R.Left), D.DY(R.Top), D.DX(R.Right), D.DY(R.Bottom));
  TShape Full = qvgfx::RectShape(Dv.Left, Dv.Top, Dv.Right, Dv.Bottom, D.Window());
  TShape Frame = qvgfx::Subtract(Full, qvgfx::RectShape(Dv.Left + 1, Dv.Top + 1, Dv.Right - 1, Dv.Bottom - 1, D.Window()));
  TBrushSource BS(D, Brush);
  qvgfx::FillShapeWithBrush(D, Frame, BS, R2_COPYPEN);
  return 1;
}
