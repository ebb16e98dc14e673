#include "imaging/foundation/canvas.h"
#include "imaging/foundation/geometry_helpers.h"

#include <cmath>
#include <mutex>

#include "imaging/foundation/utils.h"
#include "platform/base/exceptions.h"
#include "platform/base/numeric.h"

// ---------------------------------------------------------------- process-wide state

namespace {
bool GSwitch = true;
bool GLoaded = false;
bool GAvailable = true;
int32_t GUseCount = 0;
}  // namespace

void GdiPlusInitDefaults() {
  GSwitch = true;
  GLoaded = false;
  GUseCount = 0;
}

void GdiPlusLoad() {
  ++GUseCount;
  // A missing library is no error: drawing then goes through the canvas alone.
  if (!GLoaded && GSwitch && GAvailable) GLoaded = true;
}

void GdiPlusUnload() {
  --GUseCount;
  if (GLoaded && GUseCount == 0) GLoaded = false;
}

bool GdiPlusLoaded() { return GLoaded; }
bool GdiPlusEnabled() { return GSwitch && GLoaded; }
int32_t GdiPlusUseCount() { return GUseCount; }
void GdiPlusSetLibraryAvailable(bool Available) { GAvailable = Available; }

// ---------------------------------------------------------------- TQxPen

TQxPen::TQxPen(TPen* APen)
    : FPen(APen), FColor(APen->Color()), FWidth(static_cast<float>(APen->Width())), FStyle(APen->Style()),
      FMode(APen->Mode()) {
  if (GdiPlusEnabled()) RecreateGdiPlusPen();
}

TQxPen::~TQxPen() = default;

TARGB TQxPen::GdiPlusColor() const {
  return QxTColorToARGB(FColor, FStyle == TPenStyle::psClear ? 0 : static_cast<uint8_t>(std::clamp(FTransparency, 0, 255)));
}

static int DashOfStyle(TPenStyle S) {
  int V = static_cast<int>(S);
  return V <= static_cast<int>(TPenStyle::psDashDotDot) ? V : AADashSolid;
}

void TQxPen::RecreateGdiPlusPen() {
  FGdiPen = std::make_unique<TAAPen>();
  FGdiPen->Color = GdiPlusColor();
  FGdiPen->Width = FWidth;
  FGdiPen->DashStyle = FStyle == TPenStyle::psClear || FStyle == TPenStyle::psInsideFrame ? AADashSolid : DashOfStyle(FStyle);
  FGdiPen->LineJoin = FLineJoin;
  FGdiPen->LineCap = FLineCap;
}

void TQxPen::SetColor(TColor Value) {
  FColor = Value;
  if (FGdiPen) FGdiPen->Color = GdiPlusColor();
  FPen->SetColor(Value);
}

void TQxPen::SetTransparency(int32_t Value) {
  FTransparency = Value;
  if (FGdiPen) FGdiPen->Color = GdiPlusColor();
}

void TQxPen::SetWidth(float Value) {
  FWidth = Value;
  // The anti-aliased pen takes the fractional width too.
  if (FGdiPen) FGdiPen->Width = Value;
  FPen->SetWidth(static_cast<int32_t>(Trunc(Value)));
}

void TQxPen::SetStyle(TPenStyle Value) {
  FStyle = Value;
  if (FGdiPen) {
    // The colour follows the style both ways, so that a pen leaving psClear is visible again.
    FGdiPen->Color = GdiPlusColor();
    FGdiPen->DashStyle =
        Value == TPenStyle::psClear || Value == TPenStyle::psInsideFrame ? AADashSolid : DashOfStyle(Value);
  }
  FPen->SetStyle(Value);
}

void TQxPen::SetMode(TPenMode Value) {
  FMode = Value;
  FPen->SetMode(Value);
}

void TQxPen::SetLineCap(uint8_t Value) {
  FLineCap = Value;
  if (FGdiPen) FGdiPen->LineCap = Value;
}

void TQxPen::SetLineJoin(uint8_t Value) {
  FLineJoin = Value;
  if (FGdiPen) FGdiPen->LineJoin = Value;
}

// ---------------------------------------------------------------- TQxBrush

TQxBrush::TQxBrush(TBrush* ABrush) : FBrush(ABrush), FColor(ABrush->Color()), FStyle(ABrush->Style()) {
  if (GdiPlusEnabled()) RecreateGdiPlusBrush();
}

TQxBrush::~TQxBrush() = default;

TARGB TQxBrush::GdiPlusColor() const {
  return QxTColorToARGB(FColor, FStyle == TBrushStyle::bsClear ? 0 : static_cast<uint8_t>(std::clamp(FTransparency, 0, 255)));
}

void TQxBrush::RecreateGdiPlusBrush() {
  FGdiBrush = std::make_unique<TAABrush>();
  FGdiBrush->Color = GdiPlusColor();
  if (FStyle != TBrushStyle::bsSolid && FStyle != TBrushStyle::bsClear) {
    FGdiBrush->Hatched = true;
    FGdiBrush->HatchStyle = static_cast<int>(FStyle) - 2;
    FGdiBrush->HatchBack =
        QxTColorToARGB(FHatchBackground, static_cast<uint8_t>(std::clamp(FHatchBackgroundTransparency, 0, 255)));
  }
}

void TQxBrush::SetColor(TColor Value) {
  FColor = Value;
  if (GdiPlusEnabled()) RecreateGdiPlusBrush();
  FBrush->SetColor(Value);
}

void TQxBrush::SetTransparency(int32_t Value) {
  FTransparency = Value;
  if (GdiPlusEnabled()) RecreateGdiPlusBrush();
}

void TQxBrush::SetStyle(TBrushStyle Value) {
  FStyle = Value;
  if (GdiPlusEnabled()) RecreateGdiPlusBrush();
  FBrush->SetStyle(Value);
}

void TQxBrush::SetHatchBackground(TColor Value) {
  FHatchBackground = Value;
  if (GdiPlusEnabled()) RecreateGdiPlusBrush();
}

void TQxBrush::SetHatchBackgroundTransparency(int32_t Value) {
  FHatchBackgroundTransparency = Value;
  if (GdiPlusEnabled()) RecreateGdiPlusBrush();
}

// ---------------------------------------------------------------- TQxCanvas

TQxCanvas::TQxCanvas(TCanvas* ACanvas, bool AntiAlias, bool UseGdiPlus) : FCanvas(ACanvas) {
  FPen = std::make_unique<TQxPen>(ACanvas->Pen());
  FBrush = std::make_unique<TQxBrush>(ACanvas->Brush());
  FUseGdiPlus = UseGdiPlus && GdiPlusEnabled();
  if (FUseGdiPlus) {
    if (!ACanvas->HandleAllocated()) {
      FBrush.reset();
      FPen.reset();
      throw Exception("Cannot create TQxCanvas. GdipCreateFromHDC failed.");
    }
    FGraphics = std::make_unique<TAAGraphics>(ACanvas);
  }
  SetSmoothingMode(AntiAlias ? 5 : 2);
}

TQxCanvas::~TQxCanvas() = default;

void TQxCanvas::SetSmoothingMode(int32_t Value) {
  if (FUseGdiPlus) FGraphics->SetSmoothingMode(Value - 1);
}

void TQxCanvas::MoveTo(int32_t X, int32_t Y) {
  FX = X;
  FY = Y;
  if (!FUseGdiPlus) FCanvas->MoveTo(X, Y);
}

void TQxCanvas::SetPenPos(const TPoint& Value) {
  FX = Value.X;
  FY = Value.Y;
  if (!FUseGdiPlus) FCanvas->SetPenPos(Value);
}

void TQxCanvas::LineTo(int32_t X, int32_t Y) {
  if (FUseGdiPlus) {
    FGraphics->DrawLine(*FPen->GdiPlusPen(), static_cast<float>(FX), static_cast<float>(FY), static_cast<float>(X),
                        static_cast<float>(Y));
    FX = X;
    FY = Y;
  } else {
    FCanvas->LineTo(X, Y);
  }
}

void TQxCanvas::DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (FUseGdiPlus) {
    FGraphics->DrawLine(*FPen->GdiPlusPen(), static_cast<float>(X1), static_cast<float>(Y1), static_cast<float>(X2),
                        static_cast<float>(Y2));
  } else {
    TPoint P[2] = {{X1, Y1}, {X2, Y2}};
    FCanvas->Polygon(P, 2);
  }
}

void TQxCanvas::FillRect(const TRect& Rect) {
  if (!FUseGdiPlus) {
    FCanvas->FillRect(Rect);
    return;
  }
  int32_t X1 = Rect.Left, Y1 = Rect.Top, X2 = Rect.Right, Y2 = Rect.Bottom;
  QxOrderCorners(X1, Y1, X2, Y2);
  FGraphics->FillRectangle(*FBrush->GdiPlusBrush(), static_cast<float>(X1), static_cast<float>(Y1),
                           static_cast<float>(X2 - X1 - 1), static_cast<float>(Y2 - Y1 - 1));
}

void TQxCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!FUseGdiPlus) {
    FCanvas->Rectangle(X1, Y1, X2, Y2);
    return;
  }
  QxOrderCorners(X1, Y1, X2, Y2);
  float X = static_cast<float>(X1), Y = static_cast<float>(Y1), W = static_cast<float>(X2 - X1 - 1),
        H = static_cast<float>(Y2 - Y1 - 1);
  FGraphics->FillRectangle(*FBrush->GdiPlusBrush(), X, Y, W, H);
  FGraphics->DrawRectangle(*FPen->GdiPlusPen(), X, Y, W, H);
}

void TQxCanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!FUseGdiPlus) {
    FCanvas->Ellipse(X1, Y1, X2, Y2);
    return;
  }
  if (FPen->Width() != 1) {
    // Very small boxes grow so that a wide outline stays visible.
    int32_t E = static_cast<int32_t>(Round(FPen->Width() / 2.0));
    if (X2 < X1) X1 += E;
    if (X1 <= X2 && X2 - X1 - 1 <= E) X2 = X1 + E;
    if (X2 < X1 && X1 - X2 - 1 <= E) X2 = X1 - E;
    if (Y2 < Y1) Y1 += E;
    if (Y1 <= Y2 && Y2 - Y1 - 1 <= E) Y2 = Y1 + E;
    if (Y2 < Y1 && Y1 - Y2 - 1 <= E) Y2 = Y1 - E;
    if (X1 == X2 - E) X1 -= E;
    if (Y1 == Y2 - E) Y1 -= E;
    if (X1 == X2) {
      X1 -= E + 1;
      Y2 -= E + 1;
    }
    if (Y1 == Y2) {
      Y1 -= E + 1;
      Y2 -= E + 1;
    }
    if (X2 < X1) {
      X1 -= E;
      X2 -= E - 1;
    }
  }
  float X = static_cast<float>(X1), Y = static_cast<float>(Y1), W = static_cast<float>(X2 - X1 - 1),
        H = static_cast<float>(Y2 - Y1 - 1);
  FGraphics->FillEllipse(*FBrush->GdiPlusBrush(), X, Y, W, H);
  FGraphics->DrawEllipse(*FPen->GdiPlusPen(), X, Y, W, H);
}

void TQxCanvas::Polygon(const TPoint* Points, int32_t High) {
  if (!Points || High < 0) return;
  std::vector<TPoint> Local(Points, Points + High + 1);
  if (!FUseGdiPlus) {
    FCanvas->Polygon(Local);
    return;
  }
  FGraphics->DrawPolygon(*FPen->GdiPlusPen(), Local.data(), High + 1);
  FGraphics->FillPolygon(*FBrush->GdiPlusBrush(), Local.data(), High + 1, ALTERNATE);
}

void TQxCanvas::Polyline(const TPoint* Points, int32_t High) {
  if (!Points || High < 0) return;
  std::vector<TPoint> Local(Points, Points + High + 1);
  if (!FUseGdiPlus) {
    FCanvas->Polyline(Local);
    return;
  }
  FGraphics->DrawLines(*FPen->GdiPlusPen(), Local.data(), High + 1);
}

void TQxCanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4) {
  if (!FUseGdiPlus) {
    FCanvas->Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
    return;
  }
  int32_t CX = (X1 + X2) / 2, CY = (Y1 + Y2) / 2;
  const long double ToDeg = 180.0L / M_PIl;
  long double Start = -QxPointAngle(CX, CY, X4, Y4) * ToDeg;
  long double Sweep = QxAngleAtVertex(X3, Y3, CX, CY, X4, Y4) * ToDeg;
  FGraphics->DrawArc(*FPen->GdiPlusPen(), static_cast<float>(X1), static_cast<float>(Y1), static_cast<float>(X2 - X1 + 1),
                     static_cast<float>(Y2 - Y1 + 1), static_cast<float>(Start), static_cast<float>(Sweep));
}

void TQxCanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t W, int32_t H) {
  if (!FUseGdiPlus) {
    FCanvas->RoundRect(X1, Y1, X2, Y2, W, H);
    return;
  }
  QxOrderCorners(X1, Y1, X2, Y2);
  int32_t Wd = X2 - X1, Ht = Y2 - Y1;
  if (W > Wd) W = Wd;
  if (H > Ht) H = Ht;
  float FW = static_cast<float>(W), FH = static_cast<float>(H);
  TAAPath P;
  P.AddArc(static_cast<float>(X1), static_cast<float>(Y1), FW, FH, 180, 90);
  P.AddArc(static_cast<float>(X1 + Wd - W), static_cast<float>(Y1), FW, FH, 270, 90);
  P.AddArc(static_cast<float>(X1 + Wd - W), static_cast<float>(Y1 + Ht - H), FW, FH, 0, 90);
  P.AddArc(static_cast<float>(X1), static_cast<float>(Y1 + Ht - H), FW, FH, 90, 90);
  P.AddLine(static_cast<float>(X1), static_cast<float>(Y1 + Ht - H), static_cast<float>(X1), Y1 + FH / 2);
  FGraphics->FillPath(*FBrush->GdiPlusBrush(), P);
  FGraphics->DrawPath(*FPen->GdiPlusPen(), P);
}

void TQxCanvas::ClippedTextOut(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text) {
  FCanvas->RequiredState();
  ExtTextOut(FCanvas, X, Y, FCanvas->TextFlags() | ETO_CLIPPED, &Rect, Text);
}

// ---------------------------------------------------------------- preset images

namespace {
#include "imaging/foundation/presets/preset_images.inc"

std::mutex GPresetLock;
std::vector<std::unique_ptr<TQxPresetImage>>& PresetList() {
  static auto* L = new std::vector<std::unique_ptr<TQxPresetImage>>();
  return *L;
}
}  // namespace

void PresetImagesInit() {
  std::lock_guard<std::mutex> G(GPresetLock);
  auto& L = PresetList();
  if (!L.empty()) return;
  auto Add = [&L](const uint8_t* Data, size_t Size, TRect R) {
    auto P = std::make_unique<TQxPresetImage>();
    P->DataSize = static_cast<int32_t>(Size);
    P->Data = Data;
    P->FileFormat = qxffPNG;
    P->Rect = R;
    L.push_back(std::move(P));
  };
  Add(kPreset1, sizeof kPreset1, TRect(18, 29, 140, 119));
  Add(kPreset2, sizeof kPreset2, TRect(13, 1, 95, 98));
  Add(kPreset3, sizeof kPreset3, TRect(30, 14, 147, 92));
  Add(kPreset4, sizeof kPreset4, TRect(17, 17, 131, 131));
}

void PresetImagesFree() {
  std::lock_guard<std::mutex> G(GPresetLock);
  PresetList().clear();
}

const std::vector<std::unique_ptr<TQxPresetImage>>& PresetImages() { return PresetList(); }
