// Drawing of vector objects: on the view's back buffer after the layers, permanently into a bitmap, and
// the rubber bands and grips of mouse work.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/canvas.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/utils.h"
#include "imaging/processing/blur.h"
#include "imaging/foundation/locale.h"
#include "imaging/vector/vect.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

void Grow(TRect& E, int32_t X, int32_t Y) {
  E.Left = std::min(E.Left, X);
  E.Top = std::min(E.Top, Y);
  E.Right = std::max(E.Right, X);
  E.Bottom = std::max(E.Bottom, Y);
}

const TRect kEmptyExtent(2000000000, 2000000000, -2000000000, -2000000000);

bool IsLineKind(TQxVObjectKind K) {
  return K == TQxVObjectKind::qvkLine || K == TQxVObjectKind::qvkRuler || K == TQxVObjectKind::qvkLabelledLine;
}

void SetFontFrom(TFont& F, const TQxLogFont& L, int32_t Height, TColor Color, uint8_t Quality) {
  QxApplyLogFont(L, F);
  F.SetHeight(Height);
  F.SetColor(Color);
  static const TFontQuality kQ[7] = {TFontQuality::fqAntialiased,   TFontQuality::fqClearType,
                                     TFontQuality::fqClearTypeNatural, TFontQuality::fqDefault,
                                     TFontQuality::fqDraft,           TFontQuality::fqNonAntialiased,
                                     TFontQuality::fqProof};
  F.SetQuality(Quality < 7 ? kQ[Quality] : TFontQuality::fqDefault);
}

// Measurements read in Greek on a Greek system: its letters need their own character set.
void SetGreekCharset(TFont& F) {
  if (QxCharsetOfSystemLanguage() == 161) F.SetCharset(161);
}
}  // namespace

// ---------------------------------------------------------------- free helpers

void QxAndFillRect(TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color) {
  if (!Bitmap) return;
  QxOrderCorners(X1, Y1, X2, Y2);
  X1 = std::max(0, X1), Y1 = std::max(0, Y1);
  X2 = std::min(Bitmap->Width() - 1, X2), Y2 = std::min(Bitmap->Height() - 1, Y2);
  const TQxRGB c = QxTColorToRGB(Color);
  for (int32_t y = Y1; y <= Y2; ++y) {
    uint8_t* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    if (Bitmap->PixelFormat() == TPixelFormat::pf24bit) {
      for (int32_t x = X1; x <= X2; ++x) {
        row[x * 3] &= c.b;
        row[x * 3 + 1] &= c.g;
        row[x * 3 + 2] &= c.r;
      }
    } else if (Bitmap->PixelFormat() == TPixelFormat::pf8bit) {
      for (int32_t x = X1; x <= X2; ++x) row[x] = c.r;
    }
  }
}

void QxDrawBitmapFrame(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Width,
                       TColor Color) {
  if (!Bitmap || Bitmap->Width() <= 0 || Bitmap->Height() <= 0) return;
  const TQxRGB c = QxTColorToRGB(Color);
  const bool alpha = Bitmap->HasAlphaChannel();
  auto put = [&](int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= Bitmap->Width() || y >= Bitmap->Height()) return;
    Bitmap->SetPixel24(x, y, c);
    if (alpha) Bitmap->SetAlpha(x, y, 255);
  };
  for (int32_t i = 0; i < Width && X1 <= X2 && Y1 <= Y2; ++i, ++X1, ++Y1, --X2, --Y2) {
    for (int32_t x = X1; x <= X2; ++x) put(x, Y1), put(x, Y2);
    for (int32_t y = Y1; y <= Y2; ++y) put(X1, y), put(X2, y);
  }
}

void QxGlyphBox(TCanvas* Canvas, char C, int32_t& Height, int32_t& Width) {
  // The cell of the character stands for its black box: the platform has no glyph outlines.
  const TSize s = Canvas->TextExtent(std::string(1, C));
  Width = s.cx;
  Height = s.cy;
}

// ---------------------------------------------------------------- coordinates and pens

void TQuillotVect::OutputPoint(bool ToScreen, int32_t Scale, int32_t X, int32_t Y, int32_t& OX, int32_t& OY) const {
  OX = (ToScreen ? BitmapToScreenX(X) : X) * Scale;
  OY = (ToScreen ? BitmapToScreenY(Y) : Y) * Scale;
}

int32_t TQuillotVect::ObjPenWidth(const TQxVObject& Rec, double ZX, double ZY) const {
  if (!FZoomObjectsWidth) return Rec.PenWidth;
  return QxRoundUp(std::max(std::min(ZX, ZY) * Rec.PenWidth, 1.0));
}

TRect TQuillotVect::ObjectClientRect(const TQxVObject& Rec) {
  int32_t x1, y1, x2, y2;
  OutputPoint(true, 1, Rec.x1, Rec.y1, x1, y1);
  OutputPoint(true, 1, Rec.x2, Rec.y2, x2, y2);
  if (Rec.Kind == TQxVObjectKind::qvkBitmap) {
    if (ZoomX() != 100) x2 = BitmapToScreenX(Rec.x2 + 1) - 1;
    if (ZoomY() != 100) y2 = BitmapToScreenY(Rec.y2 + 1) - 1;
  }
  return TRect(x1, y1, x2, y2);
}

// ---------------------------------------------------------------- all objects

void TQuillotVect::PaintObjects(TBitmap* BackBuffer) {
  if (!FOrder.empty()) DrawObjectsTo(false, QxHandleNone, FObjAntialias, BackBuffer);
  TCanvas* c = BackBuffer->Canvas();
  DrawSelectionGripsOn(c);
  if (FObjectInteract.Contains(TQxObjectInteractItems::oiPolylinePoints)) DrawPolylineHandles(c);
}

void TQuillotVect::EnsureWork(int32_t W, int32_t H) {
  if (!FWork) FWork = std::make_unique<TQxBitmap>();
  if (!FWorkTBitmap || FWorkTBitmap->Width() != W || FWorkTBitmap->Height() != H) {
    FWorkTBitmap = std::make_unique<TBitmap>(W, H, TPixelFormat::pf24bit);
    FWorkAlphaTBitmap = std::make_unique<TBitmap>(W, H, TPixelFormat::pf24bit);
    FWork->AttachTBitmap(FWorkTBitmap.get(), false);
    FWork->SetAlphaChannel(std::make_unique<TQxBitmap>(W, H, TQxPixelFormat::qx8g));
    FWorkDirty = TRect(0, 0, W, H);
  }
}

namespace {
TRect Union(const TRect& A, const TRect& B) {
  if (A.Right <= A.Left || A.Bottom <= A.Top) return B;
  if (B.Right <= B.Left || B.Bottom <= B.Top) return A;
  return TRect(std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right), std::max(A.Bottom, B.Bottom));
}
TRect ClipTo(const TRect& R, int32_t W, int32_t H) {
  return TRect(std::clamp(R.Left, 0, W), std::clamp(R.Top, 0, H), std::clamp(R.Right, 0, W), std::clamp(R.Bottom, 0, H));
}
}  // namespace

void TQuillotVect::DrawComposited(TQxVObject& Rec, int32_t Handle, TBitmap* Dest, bool ToScreen, int32_t Scale) {
  const int32_t W = Dest->Width() * Scale, H = Dest->Height() * Scale;
  if (W <= 0 || H <= 0) return;
  EnsureWork(W, H);
  if (FWorkDirty.Right > W || FWorkDirty.Bottom > H) FWorkDirty = TRect(0, 0, W, H);
  // Only the part the object can reach is prepared: the object's output box with room for its pen, end
  // shapes, captions and shadow. When the drawing turns out larger, the whole work bitmap is used.
  TRect est;
  {
    int32_t x1, y1, x2, y2;
    OutputPoint(ToScreen, Scale, Rec.x1, Rec.y1, x1, y1);
    OutputPoint(ToScreen, Scale, Rec.x2, Rec.y2, x2, y2);
    QxOrderCorners(x1, y1, x2, y2);
    const double z = (ToScreen ? std::max(ZoomX(), ZoomY()) / 100.0 : 1.0) * Scale;
    int32_t g = int32_t((Rec.PenWidth + 4 + std::max(Rec.EndShapeWidth, Rec.EndShapeLength)) * z) + 4;
    const auto k = Rec.Kind;
    if (k == TQxVObjectKind::qvkRuler || k == TQxVObjectKind::qvkAngle || k == TQxVObjectKind::qvkLabelledLine ||
        k == TQxVObjectKind::qvkText || k == TQxVObjectKind::qvkCustom)
      g += int32_t(240 * z);
    if (k == TQxVObjectKind::qvkAngle)
      for (const TPoint& p : Rec.AnglePoints)
        if (p.X != QxAngleUnset) {
          int32_t ax, ay;
          OutputPoint(ToScreen, Scale, p.X, p.Y, ax, ay);
          x1 = std::min(x1, ax), y1 = std::min(y1, ay), x2 = std::max(x2, ax), y2 = std::max(y2, ay);
        }
    if (Rec.SoftShadow.Enabled)
      g += int32_t((Rec.SoftShadow.Radius * 3 + std::abs(Rec.SoftShadow.OffsetX) + std::abs(Rec.SoftShadow.OffsetY)) * Scale) + 8;
    est = ClipTo(TRect(x1 - g, y1 - g, x2 + g + 1, y2 + g + 1), W, H);
  }
  TQxBitmap* alpha = FWork->GetAlphaChannel();
  const bool bitmapObject = Rec.Kind == TQxVObjectKind::qvkBitmap && SharedBitmap(Rec.BitmapIndex);
  auto drawInto = [&](const TRect& Area) -> bool {
    TCanvas* wc = FWorkTBitmap->Canvas();
    wc->Brush()->SetStyle(TBrushStyle::bsSolid);
    wc->Brush()->SetColor(Rec.PenColor);
    wc->FillRect(Area);
    for (int32_t y = Area.Top; y < Area.Bottom; ++y) std::memset(alpha->Scanline(y) + Area.Left, 0, size_t(Area.Right - Area.Left));
    if (Rec.Highlight) {
      // The picture under the object, so that the highlight works on it.
      if (Scale == 1)
        BitBlt(wc, Area.Left, Area.Top, Area.Right - Area.Left, Area.Bottom - Area.Top, Dest->Canvas(), Area.Left,
               Area.Top, SRCCOPY);
      else
        StretchBlt(wc, 0, 0, W, H, Dest->Canvas(), 0, 0, Dest->Width(), Dest->Height(), SRCCOPY);
    }
    FWork->SyncFromTBitmap();
    if (!DrawObject(Rec, Handle, false, Scale, FWork.get(), ToScreen, false, FWorkTBitmap.get())) return false;
    if (!bitmapObject) {
      TCanvas* ac = FWorkAlphaTBitmap->Canvas();
      ac->Brush()->SetStyle(TBrushStyle::bsSolid);
      ac->Brush()->SetColor(clBlack);
      ac->FillRect(Area);
      // The alpha pass draws the shape in the gray of its opacity.
      const TColor gray = TColor(Rec.Transparency * 0x010101);
      const TColor pen = Rec.PenColor, brush = Rec.BrushColor, label = Rec.LabelColor, frame = Rec.MemoFrameColor;
      const TRect extent = Rec.DrawnExtent;
      Rec.PenColor = Rec.BrushColor = Rec.LabelColor = Rec.MemoFrameColor = gray;
      const int32_t t = Rec.Transparency;
      Rec.Transparency = 255;
      DrawObject(Rec, Handle, true, Scale, nullptr, ToScreen, false, FWorkAlphaTBitmap.get());
      Rec.Transparency = t;
      Rec.PenColor = pen, Rec.BrushColor = brush, Rec.LabelColor = label, Rec.MemoFrameColor = frame;
      Rec.DrawnExtent = Union(extent, Rec.DrawnExtent);
      for (int32_t y = Area.Top; y < Area.Bottom; ++y) {
        const uint8_t* s = static_cast<const uint8_t*>(FWorkAlphaTBitmap->ScanLine(y));
        uint8_t* d = alpha->Scanline(y);
        for (int32_t x = Area.Left; x < Area.Right; ++x) d[x] = s[x * 3 + 2];
      }
    } else {
      for (int32_t y = Area.Top; y < Area.Bottom; ++y) std::memset(alpha->Scanline(y) + Area.Left, 0, size_t(Area.Right - Area.Left));
      DrawObject(Rec, Handle, false, Scale, FWork.get(), ToScreen, false, FWorkTBitmap.get());
    }
    return true;
  };
  // What an earlier object left in the work bitmap is cleared with the new area.
  TRect area = ClipTo(Union(est, FWorkDirty), W, H);
  if (!drawInto(area)) {
    FWorkDirty = area;
    return;
  }
  const int32_t m = Rec.DrawnMargin + 1;
  const TRect drawn(Rec.DrawnExtent.Left - m, Rec.DrawnExtent.Top - m, Rec.DrawnExtent.Right + m, Rec.DrawnExtent.Bottom + m);
  const TRect need = ClipTo(drawn, W, H);
  if (need.Left < est.Left || need.Top < est.Top || need.Right > est.Right || need.Bottom > est.Bottom) {
    area = TRect(0, 0, W, H);
    drawInto(area);
  }
  FWorkDirty = area;
  FWork->SyncFromTBitmap();
  TRect r = Rec.DrawnExtent;
  r.Left -= Rec.DrawnMargin, r.Top -= Rec.DrawnMargin, r.Right += Rec.DrawnMargin, r.Bottom += Rec.DrawnMargin;
  r.Left = QxClampInt(r.Left, 0, W - 1), r.Right = QxClampInt(r.Right, 0, W - 1);
  r.Top = QxClampInt(r.Top, 0, H - 1), r.Bottom = QxClampInt(r.Bottom, 0, H - 1);
  QxOrderCorners(r.Left, r.Top, r.Right, r.Bottom);
  int32_t rw = std::min(W, r.Right - r.Left + 1), rh = std::min(H, r.Bottom - r.Top + 1);
  if (Rec.SoftShadow.Enabled) {
    const TQxRGB sc = Rec.SoftShadow.ShadowColor;
    const uint32_t colour = (uint32_t(sc.r) << 16) | (uint32_t(sc.g) << 8) | sc.b;
    const int32_t m = QxObjectSoftShadow(FWork.get(), Rec.SoftShadow.OffsetX * Scale, Rec.SoftShadow.OffsetY * Scale,
                                         Rec.SoftShadow.Radius * Scale, Rec.SoftShadow.Intensity, colour, r.Left,
                                         r.Top, r.Left + rw - 1, r.Top + rh - 1);
    rw = std::min(W, rw + 2 * m);
    rh = std::min(H, rh + 2 * m);
    r.Left = std::max(0, r.Left - m);
    r.Top = std::max(0, r.Top - m);
    rw = std::min(rw, W - r.Left);
    rh = std::min(rh, H - r.Top);
    FWorkDirty = Union(FWorkDirty, TRect(r.Left, r.Top, r.Left + rw, r.Top + rh));
  }
  if (Scale == 2) {
    r.Left = std::max(0, r.Left - 2), r.Top = std::max(0, r.Top - 2);
    rw = std::min(W - r.Left, rw + 4), rh = std::min(H - r.Top, rh + 4);
  }
  if (rw <= 0 || rh <= 0) return;
  std::vector<uint8_t*> rows;
  std::vector<int32_t> xt, yt;
  TQxBitmap dest;
  dest.AttachTBitmap(Dest, false);
  if (Scale == 1)
    FWork->DrawScaledEx(&dest, rows, xt, yt, nullptr, r.Left, r.Top, rw, rh, r.Left, r.Top, rw, rh, true, false, 255,
                        TResampleFilter::rfNone, true, Rec.BlendOperation);
  else
    FWork->DrawScaledEx(&dest, rows, xt, yt, nullptr, r.Left / 2, r.Top / 2, rw / 2, rh / 2, r.Left, r.Top, rw, rh,
                        true, false, 255, TResampleFilter::rfTriangle, true, Rec.BlendOperation);
  dest.AttachTBitmap(nullptr, false);
}

void TQuillotVect::DrawObjectsTo(bool BitmapCoords, int32_t Handle, bool Supersample, TBitmap* Dest) {
  if (LockObjectDrawing || !Dest) return;
  std::vector<int32_t> order;
  if (Handle == QxHandleNone)
    order = FOrder;
  else if (ObjectRecord(Handle) && Handle >= 0)
    order.push_back(Handle);
  const bool toScreen = !BitmapCoords;
  const bool super = FForceAntialias && !order.empty();
  const int32_t scale = super && Supersample ? 2 : 1;
  for (int32_t h : order) {
    TQxVObject& r = FObjects[size_t(h)];
    if (!(r.Flags & qvoVisible)) continue;
    const bool textual = r.Kind == TQxVObjectKind::qvkText || r.Kind == TQxVObjectKind::qvkMemo;
    const bool composite = r.SoftShadow.Enabled || r.Highlight || r.BlendOperation != 0 ||
                           (textual && r.Transparency < 255);
    if (super) {
      DrawComposited(r, h, Dest, toScreen, scale);
    } else if (composite && !FFastDrawing) {
      DrawComposited(r, h, Dest, toScreen, 1);
    } else {
      DrawObject(r, h, false, 1, nullptr, toScreen, toScreen, Dest);
    }
  }
}

bool TQuillotVect::DrawObject(TQxVObject& Rec, int32_t Handle, bool AlphaPass, int32_t Scale, TQxBitmap* Work,
                              bool ToScreen, bool Clip, TBitmap* Dest) {
  if (LockObjectDrawing || !Dest) return false;
  if (Rec.Highlight) Rec.PenWidth = 1;
  int32_t x1, y1, x2, y2;
  OutputPoint(ToScreen, Scale, Rec.x1, Rec.y1, x1, y1);
  OutputPoint(ToScreen, Scale, Rec.x2, Rec.y2, x2, y2);
  const double zx = (ToScreen ? ZoomX() / 100.0 : 1.0) * Scale, zy = (ToScreen ? ZoomY() / 100.0 : 1.0) * Scale;
  const int32_t penW = ObjPenWidth(Rec, zx, zy);
  if (Rec.Kind == TQxVObjectKind::qvkBitmap) {
    int32_t d;
    if (zx != 1) OutputPoint(ToScreen, Scale, Rec.x2 + 1, Rec.y2, x2, d), x2 -= 1;
    if (zy != 1) OutputPoint(ToScreen, Scale, Rec.x2, Rec.y2 + 1, d, y2), y2 -= 1;
  }
  TQxCanvas q(Dest->Canvas(), FObjAntialias && !FFastDrawing, true);
  q.Pen()->SetStyle(Rec.PenStyle);
  q.Pen()->SetWidth(float(penW));
  q.Pen()->SetMode(TPenMode::pmCopy);
  q.Pen()->SetColor(Rec.PenColor);
  q.Pen()->SetTransparency(Rec.Transparency);
  q.Brush()->SetTransparency(Rec.Transparency);
  Rec.DrawnExtent = kEmptyExtent;
  Rec.DrawnMargin = penW;
  if (!(Rec.Flags & qvoVisible)) return false;
  if (Clip) {
    const int32_t l = ImageLeft() * Scale, t = ImageTop() * Scale;
    const int32_t r = (ImageLeft() + ZoomedWidth()) * Scale, b = (ImageTop() + ZoomedHeight()) * Scale;
    if (!QxRectsOverlap(x1, y1, x2, y2, l, t, r, b)) return false;
  }
  bool handled = false;
  const TRect dr(x1, y1, x2, y2);
  if (OnBeforeDrawObject) {
    OnBeforeDrawObject(this, Handle, Dest, dr, AlphaPass, handled);
    Grow(Rec.DrawnExtent, x1, y1), Grow(Rec.DrawnExtent, x2, y2);
  }
  if (!handled) DrawKind(Rec, Handle, q, Dest, Work, AlphaPass, Scale, ToScreen, zx, zy, x1, y1, x2, y2, penW);
  if (OnAfterDrawObject) {
    bool h2 = false;
    OnAfterDrawObject(this, Handle, Dest, dr, AlphaPass, h2);
    Grow(Rec.DrawnExtent, x1, y1), Grow(Rec.DrawnExtent, x2, y2);
  }
  return true;
}

void TQuillotVect::DrawKind(TQxVObject& Rec, int32_t Handle, TQxCanvas& Q, TBitmap* Dest, TQxBitmap* Work,
                            bool AlphaPass, int32_t Scale, bool ToScreen, double ZX, double ZY, int32_t X1,
                            int32_t Y1, int32_t X2, int32_t Y2, int32_t PenW) {
  TRect& ext = Rec.DrawnExtent;
  Grow(ext, X1, Y1), Grow(ext, X2, Y2);
  auto brush = [&] {
    Q.Brush()->SetColor(Rec.BrushColor);
    Q.Brush()->SetStyle(Rec.BrushStyle);
  };
  switch (Rec.Kind) {
    case TQxVObjectKind::qvkLine:
    case TQxVObjectKind::qvkLabelledLine: {
      // A wide line is a solid pen with rounded ends and joins.
      const bool wide = PenW > 1;
      if (wide) Q.Pen()->SetStyle(TPenStyle::psSolid), Q.Pen()->SetLineCap(1);
      Q.Pen()->SetLineJoin(2);
      Q.DrawLine(X1, Y1, X2, Y2);
      Q.Pen()->SetLineCap(0);
      const int32_t w = int32_t(std::trunc(Rec.EndShapeWidth * ZX)), l = int32_t(std::trunc(Rec.EndShapeLength * ZY));
      brush();
      Q.Pen()->SetLineJoin(0);
      DrawLineEnd(Q, Rec, X1, Y1, X2, Y2, Rec.StartShape, w, l);
      DrawLineEnd(Q, Rec, X2, Y2, X1, Y1, Rec.EndShape, w, l);
      if (Rec.Kind == TQxVObjectKind::qvkLabelledLine) DrawLineLabel(Q, Rec, X1, Y1, X2, Y2, ZY, Scale, ToScreen);
      break;
    }
    case TQxVObjectKind::qvkBox:
      brush();
      Q.Pen()->SetLineJoin(0);
      if (Rec.Highlight) {
        if (AlphaPass) {
          // The alpha pass covers the whole box in the gray of its opacity.
          Dest->Canvas()->Brush()->SetStyle(TBrushStyle::bsSolid);
          Dest->Canvas()->Brush()->SetColor(Rec.BrushColor);
          Dest->Canvas()->FillRect(TRect(std::min(X1, X2), std::min(Y1, Y2), std::max(X1, X2) + 1, std::max(Y1, Y2) + 1));
        } else {
          QxAndFillRect(Dest, X1, Y1, X2, Y2, Rec.BrushColor);
        }
        Q.Brush()->SetStyle(TBrushStyle::bsClear);
        Q.Rectangle(X1, Y1, X2 + 1, Y2 + 1);
      } else {
        Q.Rectangle(X1, Y1, X2 + 1, Y2 + 1);
      }
      break;
    case TQxVObjectKind::qvkEllipse:
      brush();
      Q.Ellipse(X1, Y1, X2 + 1, Y2 + 1);
      break;
    case TQxVObjectKind::qvkArc: {
      const double rx = (X2 - X1) / 2.0, ry = (Y2 - Y1) / 2.0;
      const int32_t sx = X1 + int32_t(std::trunc(rx + std::cos(Rec.StartAngle) * rx));
      const int32_t sy = Y1 + int32_t(std::trunc(ry + std::sin(Rec.StartAngle) * ry));
      const int32_t ex = X1 + int32_t(std::trunc(rx + std::cos(Rec.EndAngle) * rx));
      const int32_t ey = Y1 + int32_t(std::trunc(ry + std::sin(Rec.EndAngle) * ry));
      Q.Brush()->SetStyle(TBrushStyle::bsClear);
      Q.Arc(X1, Y1, X2 + 1, Y2 + 1, sx, sy, ex, ey);
      break;
    }
    case TQxVObjectKind::qvkBitmap:
      brush();
      DrawBitmapObject(Q, Rec, Dest, Work, X1, Y1, X2, Y2, PenW);
      break;
    case TQxVObjectKind::qvkText:
    case TQxVObjectKind::qvkMemo:
      Q.Pen()->SetLineJoin(0);
      brush();
      if (Rec.Kind == TQxVObjectKind::qvkMemo && Rec.MemoBitmap && !AlphaPass)
        DrawBitmapObject(Q, Rec, Dest, Work, X1, Y1, X2, Y2, PenW);
      DrawTextObject(Q, Rec, Handle, X1, Y1, X2, Y2, ZX, ZY, AlphaPass);
      break;
    case TQxVObjectKind::qvkRuler: {
      Q.Pen()->SetLineJoin(0);
      brush();
      double ux, uy;
      UnitScale(ux, uy, Rec.RulerUnit);
      const double dx = std::abs(Rec.x2 - Rec.x1) * ux, dy = std::abs(Rec.y2 - Rec.y1) * uy;
      DrawRuler(Q, X1, Y1, X2, Y2, Rec.Font.value_or(TQxLogFont{}), &ext, 1.0 / ZY, 1.0 / ZX, Rec.RulerStyle,
                Rec.PenWidth, Rec.PenColor, Rec.RulerUnit, std::sqrt(dx * dx + dy * dy));
      break;
    }
    case TQxVObjectKind::qvkPolyline: {
      brush();
      Q.Pen()->SetLineJoin(2);
      if (Rec.Points.empty()) break;
      double sx, sy;
      PolylineScale(Rec, sx, sy);
      Rec.ScreenPoints.resize(Rec.Points.size());
      for (size_t i = 0; i < Rec.Points.size(); ++i) {
        const int32_t bx = Rec.x1 + int32_t(Round((Rec.Points[i].X - Rec.PointBounds.Left) * sx));
        const int32_t by = Rec.y1 + int32_t(Round((Rec.Points[i].Y - Rec.PointBounds.Top) * sy));
        OutputPoint(ToScreen, Scale, bx, by, Rec.ScreenPoints[i].X, Rec.ScreenPoints[i].Y);
        Grow(ext, Rec.ScreenPoints[i].X, Rec.ScreenPoints[i].Y);
      }
      const int32_t high = int32_t(Rec.ScreenPoints.size()) - 1;
      if (Rec.Closed)
        Q.Polygon(Rec.ScreenPoints.data(), high);
      else
        Q.Polyline(Rec.ScreenPoints.data(), high);
      if (Scale > 1)
        for (auto& p : Rec.ScreenPoints) p.X /= Scale, p.Y /= Scale;
      break;
    }
    case TQxVObjectKind::qvkAngle: {
      Q.Pen()->SetLineJoin(0);
      brush();
      TPoint out[3];
      for (int i = 0; i < 3; ++i) {
        if (Rec.AnglePoints[i].X == QxAngleUnset)
          out[i] = Rec.AnglePoints[i];
        else
          OutputPoint(ToScreen, Scale, Rec.AnglePoints[i].X, Rec.AnglePoints[i].Y, out[i].X, out[i].Y);
      }
      // The angle is measured on the stored points, not on the zoomed ones.
      DrawAngle(Q, out, Rec.Font.value_or(TQxLogFont{}), 1.0 / ZY, 1.0 / ZX, Scale, ToScreen, &ext, Rec.PenWidth,
                Rec.PenColor);
      break;
    }
    case TQxVObjectKind::qvkCustom:
      brush();
      if (Rec.Custom) Rec.Custom->Paint(Dest, X1, Y1, X2, Y2, ZX, ZY, AlphaPass);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- pieces

void TQuillotVect::DrawLineEnd(TQxCanvas& Q, TQxVObject& Rec, int32_t EX, int32_t EY, int32_t OX, int32_t OY,
                               uint8_t Shape, int32_t W, int32_t L) {
  if (Shape != 1 && Shape != 2) return;
  double a;
  if (EX == OX)
    a = OY > EY ? kPi / 2 : -kPi / 2;
  else
    a = std::atan2(double(OY - EY), double(OX - EX));
  const double bx = EX + std::cos(a) * L, by = EY + std::sin(a) * L;
  const double px = -std::sin(a) * W / 2.0, py = std::cos(a) * W / 2.0;
  TPoint p[3];
  if (Shape == 1) {
    p[0] = TPoint(EX + int32_t(std::trunc(px)), EY + int32_t(std::trunc(py)));
    p[1] = TPoint(EX - int32_t(std::trunc(px)), EY - int32_t(std::trunc(py)));
    p[2] = TPoint(int32_t(std::trunc(bx)), int32_t(std::trunc(by)));
  } else {
    p[0] = TPoint(int32_t(std::trunc(bx + px)), int32_t(std::trunc(by + py)));
    p[1] = TPoint(int32_t(std::trunc(bx - px)), int32_t(std::trunc(by - py)));
    p[2] = TPoint(EX, EY);
  }
  Q.Polygon(p, 2);
  for (auto& pt : p) Grow(Rec.DrawnExtent, pt.X, pt.Y);
}

void TQuillotVect::DrawRuler(TQxCanvas& Q, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TQxLogFont& Font,
                             TRect* Extent, double InvZY, double InvZX, uint8_t Style, int32_t PenWidth,
                             TColor Color, TQxUnits Unit, double Length) {
  if (X1 == X2 && Y1 == Y2) return;
  const double zx = 1.0 / InvZX, zy = 1.0 / InvZY;
  Q.Pen()->SetMode(TPenMode::pmCopy);
  Q.Pen()->SetWidth(float(PenWidth));
  Q.Pen()->SetStyle(TPenStyle::psSolid);
  Q.Pen()->SetColor(Color);
  Q.Brush()->SetStyle(TBrushStyle::bsClear);
  TFont* f = Q.GetFont();
  SetFontFrom(*f, Font, std::max(3, int32_t(std::trunc(std::abs(Font.Height) * zy))), Color, 0);
  SetGreekCharset(*f);
  f->SetOrientation(0);
  // The perpendicular r, from the line's angle with the horizontal through its end.
  const bool together = (X2 > X1 && Y2 > Y1) || (X2 < X1 && Y2 < Y1);
  double a;
  if (X1 == X2) a = Y1 < Y2 ? -kPi / 2 : kPi / 2;
  else a = double(QxAngleBetweenSegments(X1, Y1, X2, Y2, X1, Y2));
  const double r = together ? 2 * kPi - a + kPi / 2 : a + kPi / 2;
  Q.DrawLine(X1, Y1, X2, Y2);
  const double B = std::sqrt(double(X2 - X1) * (X2 - X1) + double(Y2 - Y1) * (Y2 - Y1));
  double ux, uy;
  UnitScale(ux, uy, Unit);
  auto grow = [&](int32_t x, int32_t y) {
    if (Extent) Grow(*Extent, x, y);
  };
  if (Style == 0) {
    // Horizontal lines take their ticks straight up.
    const double cr = Y1 == Y2 ? 0.0 : std::cos(r), sr = Y1 == Y2 ? -1.0 : std::sin(r);
    const int32_t minor = int32_t(std::trunc(6 * zy)), middle = int32_t(std::trunc(8 * zy)),
                  major = int32_t(std::trunc(12 * zy));
    // One tenth of a unit in output pixels, along x and along y.
    if (ux == 0 || uy == 0) return;
    const double stepX = 1.0 / (ux * InvZX * 10), stepY = 1.0 / (uy * InvZY * 10);
    if (!std::isfinite(stepX) || !std::isfinite(stepY)) return;
    const double dirX = (X2 - X1) / B, dirY = (Y2 - Y1) / B;
    const int32_t bx1 = std::min(X1, X2), bx2 = std::max(X1, X2), by1 = std::min(Y1, Y2), by2 = std::max(Y1, Y2);
    for (int64_t k = 0; k < 1000000; ++k) {
      const double ox = k * stepX * dirX, oy = k * stepY * dirY;
      if (std::sqrt(ox * ox + oy * oy) >= B) break;
      const double px = X1 + ox, py = Y1 + oy;
      if (px < bx1 - 0.5 || px > bx2 + 0.5 || py < by1 - 0.5 || py > by2 + 0.5) continue;
      const int32_t hl = k % 10 == 0 ? major : k % 5 == 0 ? middle : minor;
      const int32_t tx = int32_t(std::trunc(px + cr * hl)), ty = int32_t(std::trunc(py + sr * hl));
      const int32_t ex = int32_t(std::trunc(px - cr * hl)), ey = int32_t(std::trunc(py - sr * hl));
      Q.DrawLine(tx, ty, ex, ey);
      grow(tx, ty), grow(ex, ey);
      if (k % 10 != 0) continue;
      const std::string num = std::to_string(k / 10);
      const double hw = Q.TextWidth(num) / 2, hh = 2.0 * Q.TextHeight(num) + 1;
      int32_t nx, ny;
      if (!together) {
        nx = int32_t(std::trunc(hh * cr + tx + hw * sr));
        ny = int32_t(std::trunc(hh * sr + ty + hw * cr)) + 20;
      } else {
        nx = int32_t(std::trunc(hh * cr + tx - 2 * hw * cr + hw * sr));
        ny = int32_t(std::trunc(hh * sr + ty - hw * cr)) + 20;
      }
      Q.TextOut(nx, ny, num);
      grow(nx - 15, ny - 15), grow(nx + 15, ny + 15);
    }
    return;
  }
  // End bars across both ends.
  const int32_t ox = int32_t(std::trunc(9 * zx * std::cos(r))), oy = int32_t(std::trunc(9 * zy * std::sin(r)));
  Q.DrawLine(X1 + ox, Y1 + oy, X1 - ox, Y1 - oy);
  Q.DrawLine(X2 + ox, Y2 + oy, X2 - ox, Y2 - oy);
  grow(X1 - ox, Y1 - oy), grow(X1 + ox, Y1 + oy), grow(X2 - ox, Y2 - oy), grow(X2 + ox, Y2 + oy);
  double value = Length;
  if (Length == -1) {
    const double dx = std::abs(X2 - X1) * InvZX * ux, dy = std::abs(Y2 - Y1) * InvZY * uy;
    value = std::sqrt(dx * dx + dy * dy);
  }
  std::string text = QxFloatToTextF(value, TQxFloatFormat::ffFixed, FFloatPrecision, FFloatDigits) + " " +
                     QxUnitName(Unit);
  if (OnPresentMeasure) OnPresentMeasure(this, text, value, TQxVValType::qxvtLENGTH);
  // The text runs along the line; upright text is turned half a circle instead of reading upside down.
  const double slope = double(QxPointAngle(X1, Y1, X2, Y2));
  double t = 2 * kPi - slope;
  if (RulerTextUpright && t > kPi / 2 && t <= 3 * kPi / 2) t -= kPi;
  const bool turned = RulerTextUpright && slope >= kPi / 2 - 0.000001 && slope <= 3 * kPi / 2;
  f->SetOrientation(int32_t(std::trunc(-t * 180 / kPi * 10)));
  if (Style == 1) text = " " + text;
  if (Style == 3) text += " ";
  const int32_t W = Q.TextWidth(text), H = Q.TextHeight(text);
  const double ct = std::cos(t), st = std::sin(t);
  int32_t sx = X1, sy = Y1;
  switch (Style) {
    case 1:
      if (turned) sx = X2, sy = Y2;
      break;
    case 2:
      if (!turned) {
        sx = X1 + int32_t(std::trunc(ct * (B - W) / 2)), sy = Y1 + int32_t(std::trunc(st * (B - W) / 2));
      } else {
        sx = X1 - int32_t(std::trunc(ct * (W + B) / 2)), sy = Y1 - int32_t(std::trunc(st * (W + B) / 2));
      }
      break;
    default: {
      const int32_t fx = turned ? X2 : X1, fy = turned ? Y2 : Y1;
      sx = fx + int32_t(std::trunc(ct * (B - W))), sy = fy + int32_t(std::trunc(st * (B - W)));
      break;
    }
  }
  Q.TextOut(sx, sy, text);
  // The anchor and the text's far corner.
  grow(sx - 15, sy - 15), grow(sx + 15, sy + 15);
  const int32_t fx = int32_t(std::trunc(sx + ct * W - st * H)), fy = int32_t(std::trunc(sy + st * W + ct * H));
  grow(fx - 15, fy - 15), grow(fx + 15, fy + 15);
  f->SetOrientation(0);
}

void TQuillotVect::DrawAngle(TQxCanvas& Q, const TPoint P[3], const TQxLogFont& Font, double InvZY, double InvZX,
                             int32_t Scale, bool ToScreen, TRect* Extent, int32_t PenWidth, TColor Color) {
  if (P[0].X == QxAngleUnset) return;
  (void)InvZX;
  const double zy = 1.0 / InvZY;
  Q.Pen()->SetMode(TPenMode::pmCopy);
  Q.Pen()->SetWidth(float(PenWidth));
  Q.Pen()->SetStyle(TPenStyle::psSolid);
  Q.Pen()->SetColor(Color);
  Q.Brush()->SetStyle(TBrushStyle::bsClear);
  TFont* f = Q.GetFont();
  SetFontFrom(*f, Font, std::max(3, int32_t(std::trunc(std::abs(Font.Height) * zy))), Color, 0);
  SetGreekCharset(*f);
  f->SetOrientation(0);
  auto grow = [&](int32_t x, int32_t y) {
    if (Extent) Grow(*Extent, x, y);
  };
  int32_t n = 1;
  grow(P[0].X, P[0].Y);
  for (int i = 1; i < 3 && P[i].X != QxAngleUnset; ++i, ++n) {
    Q.DrawLine(P[i - 1].X, P[i - 1].Y, P[i].X, P[i].Y);
    grow(P[i].X, P[i].Y);
  }
  if (n < 3) return;
  // The angle is measured on bitmap coordinates.
  auto back = [&](const TPoint& p) {
    return ToScreen ? TPoint(ScreenToBitmapX(p.X / Scale), ScreenToBitmapY(p.Y / Scale)) : TPoint(p.X / Scale, p.Y / Scale);
  };
  const TPoint a = back(P[0]), v = back(P[1]), c = back(P[2]);
  const double d = double(QxAngleAtVertex(a.X, a.Y, v.X, v.Y, c.X, c.Y)) * 180 / kPi;
  const bool below = AngleBelow180 && d >= 180;
  const double shown = below ? 360 - d : d;
  const std::string text = QxFloatToTextF(shown, TQxFloatFormat::ffFixed, FFloatPrecision, FFloatDigits) + "\xC2\xB0";
  Q.TextOut(P[1].X, P[1].Y, text);
  grow(P[1].X + Q.TextWidth(text), P[1].Y + Q.TextHeight(text));
  const int32_t R = std::min(int32_t(QxDistance(P[1].X, P[1].Y, P[2].X, P[2].Y)) / 4,
                             int32_t(QxDistance(P[1].X, P[1].Y, P[0].X, P[0].Y)) / 4);
  if (R <= 0) return;
  TPoint s = P[0], e = P[2];
  if (below) std::swap(s, e);
  Q.Arc(P[1].X - R, P[1].Y - R, P[1].X + R, P[1].Y + R, s.X, s.Y, e.X, e.Y);
  grow(P[1].X - R, P[1].Y - R), grow(P[1].X + R, P[1].Y + R);
}

void TQuillotVect::DrawLineLabel(TQxCanvas& Q, TQxVObject& Rec, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                 double ZY, int32_t Scale, bool ToScreen) {
  if (!Rec.Text || Rec.Text->empty()) return;
  const bool atEnd = Rec.LabelAtEnd == 1;
  const TPoint A = atEnd ? TPoint(X2, Y2) : TPoint(X1, Y1), O = atEnd ? TPoint(X1, Y1) : TPoint(X2, Y2);
  const TQxLogFont lf = Rec.Font.value_or(TQxLogFont{});
  TFont* f = Q.GetFont();
  SetFontFrom(*f, lf, int32_t(std::trunc((lf.Height ? lf.Height : -12) * ZY)), Rec.PenColor, Rec.TextQuality);
  const double q = lf.Escapement / 10.0 * kPi / 180;
  const int32_t W = Q.TextWidth(*Rec.Text), H = Q.TextHeight(*Rec.Text);
  const int32_t left = A.X < O.X ? A.X - W : A.X, top = A.Y < O.Y ? A.Y - H : A.Y;
  const int32_t right = left + W, bottom = top + H;
  const int32_t v = int32_t(std::trunc(std::sin(q) * W + (bottom - top - std::cos(q) * H))) / 2;
  int32_t h = 0;
  switch (Rec.TextAlign) {
    case 0: h = std::abs(int32_t(std::trunc(std::sin(q) * H))); break;
    case 1: h = int32_t(std::trunc(right - left - std::cos(q) * W)); break;
    case 2:
    case 3: h = int32_t(std::trunc(right - left - std::cos(q) * W - std::sin(q) * H)) / 2; break;
    default: break;
  }
  Q.Brush()->SetColor(Rec.LabelColor);
  Q.Brush()->SetStyle(Rec.LabelBrushStyle);
  Q.Pen()->SetStyle(Rec.LabelFrame != 0 ? TPenStyle::psSolid : TPenStyle::psClear);
  Q.Pen()->SetColor(Rec.PenColor);
  if (Rec.LabelFrame == 2)
    Q.RoundRect(left, top, right, bottom, 10, 10);
  else if (Rec.LabelFrame == 3)
    Q.Ellipse(left, top - H, right + 1, bottom + H + 1);
  else
    Q.Rectangle(left, top, right + 1, bottom + 1);
  Q.Brush()->SetStyle(TBrushStyle::bsClear);
  Q.Canvas()->Brush()->SetStyle(TBrushStyle::bsClear);
  Q.TextRect(TRect(left, top, right, bottom), left + h, top + v, *Rec.Text);
  Grow(Rec.DrawnExtent, left, Rec.LabelFrame == 3 ? top - H : top);
  Grow(Rec.DrawnExtent, right + 1, Rec.LabelFrame == 3 ? bottom + H + 1 : bottom + 1);
  auto back = [&](int32_t x, int32_t y) {
    return ToScreen ? TPoint(ScreenToBitmapX(x / Scale), ScreenToBitmapY(y / Scale)) : TPoint(x / Scale, y / Scale);
  };
  const TPoint a = back(left, top), b = back(right, bottom);
  Rec.LabelBox = TRect(a.X, a.Y, b.X, b.Y);
}

void TQuillotVect::DrawTextObject(TQxCanvas& Q, TQxVObject& Rec, int32_t Handle, int32_t X1, int32_t Y1, int32_t X2,
                                  int32_t Y2, double ZX, double ZY, bool AlphaPass) {
  const bool memo = Rec.Kind == TQxVObjectKind::qvkMemo;
  if (Handle == FEditHandle && Handle >= 0) {
    // The editor shows the text; the object keeps only its frame.
    Q.Brush()->SetStyle(TBrushStyle::bsClear);
    Q.Rectangle(X1 - 1, Y1 - 1, X2 + 1, Y2 + 1);
    return;
  }
  const TQxLogFont lf = Rec.Font.value_or(TQxLogFont{});
  if (memo) {
    TQxTextControl tc(nullptr);
    tc.TextBuffer = Rec.Text.value_or("");
    tc.TextLength = int32_t(tc.TextBuffer.size());
    if (Rec.CharFormats) tc.CharFormats = std::move(*Rec.CharFormats);
    if (Rec.CharFormatIndexes) tc.CharFormatIndexes = std::move(*Rec.CharFormatIndexes);
    tc.Zoom = ZY;
    std::copy(Rec.MemoMargins, Rec.MemoMargins + 4, tc.Margins);
    QxApplyLogFont(lf, tc.DefaultFont);
    tc.DefaultFont.SetOrientation(0);
    tc.DefaultFont.SetColor(Rec.PenColor);
    tc.DefaultBrush.SetColor(Rec.BrushColor);
    tc.DefaultBrush.SetStyle(Rec.CharBackStyle);
    tc.Alignment = Rec.TextAlign;
    tc.FillBrush.SetColor(Rec.BrushColor);
    tc.FillBrush.SetStyle(Rec.BrushStyle);
    tc.KeepColors = AlphaPass;
    tc.SetUniformFormat(Rec.UniformFormat);
    tc.AutoHeight = Rec.AutoSize;
    tc.LineSpacing = Rec.LineSpacing;
    tc.FramePen.SetColor(Rec.MemoFrameColor);
    tc.FramePen.SetStyle(Rec.MemoFrameStyle);
    tc.FixedCharHeight = Rec.FixedCharHeight;
    tc.BackgroundBitmap = nullptr;
    tc.BeginEdit();
    tc.LayoutAndDraw(&Q, X1, Y1, std::abs(X2 - X1) + 1, std::abs(Y2 - Y1) + 1);
    // The lent arrays come back (the control may have grown them).
    if (Rec.CharFormats || !tc.CharFormats.empty()) Rec.CharFormats = std::move(tc.CharFormats);
    if (Rec.CharFormatIndexes || !tc.CharFormatIndexes.empty()) Rec.CharFormatIndexes = std::move(tc.CharFormatIndexes);
    return;
  }
  if (!Rec.Text) return;
  const std::string& text = *Rec.Text;
  TFont* f = Q.GetFont();
  const int32_t boxH = Y2 - Y1;
  // A stored height of 0 takes the box's height, as a cell height like any positive one.
  SetFontFrom(*f, lf, lf.Height != 0 ? int32_t(std::trunc(ZY * lf.Height)) : boxH, Rec.PenColor, Rec.TextQuality);
  const double q = lf.Escapement / 10.0 * kPi / 180;
  if (Rec.TextPath.empty()) {
    const int32_t W = Q.TextWidth(text), H = Q.TextHeight(text);
    const int32_t boxW = X2 - X1;
    const int32_t v = int32_t(std::trunc(std::sin(q) * W + (boxH - std::cos(q) * H))) / 2;
    const int32_t pad = Rec.PenStyle != TPenStyle::psClear ? int32_t(Round(ZX * (Rec.PenWidth + 1))) : 0;
    int32_t h = 0;
    switch (Rec.TextAlign) {
      case 0: h = std::abs(int32_t(std::trunc(std::sin(q) * H))) + pad; break;
      case 1: h = int32_t(std::trunc(boxW - std::cos(q) * W)) - pad; break;
      case 2:
      case 3: h = int32_t(std::trunc(boxW - std::cos(q) * W - std::sin(q) * H)) / 2; break;
      default: break;
    }
    Q.Rectangle(X1, Y1, X2 + 1, Y2 + 1);
    Q.Canvas()->Brush()->SetStyle(TBrushStyle::bsClear);
    Q.TextRect(TRect(X1, Y1, X2 + 1, Y2 + 1), X1 + h, Y1 + v, text);
    return;
  }
  // Text along a path: characters spaced evenly along its length, each turned with the path.
  const double bw = X2 - X1, bh = Y2 - Y1;
  double L = 0;
  for (size_t i = 1; i < Rec.TextPath.size(); ++i) {
    const double dx = std::abs(Rec.TextPath[i].X - Rec.TextPath[i - 1].X) * bw;
    const double dy = std::abs(Rec.TextPath[i].Y - Rec.TextPath[i - 1].Y) * bh;
    L += std::sqrt(dx * dx + dy * dy);
  }
  if (text.empty()) return;
  const double s = std::trunc(L / double(text.size()));
  if (s <= 0) return;
  TCanvas* c = Q.Canvas();
  const uint32_t oldAlign = SetTextAlign(c, TA_BASELINE | TA_CENTER);
  const int32_t oldOrient = f->Orientation();
  size_t next = 0;
  double cx = Rec.TextPath[0].X * bw, cy = Rec.TextPath[0].Y * bh, remainder = 0;
  for (size_t i = 1; i < Rec.TextPath.size() && next < text.size(); ++i) {
    const double ex = Rec.TextPath[i].X * bw, ey = Rec.TextPath[i].Y * bh;
    remainder += std::sqrt((ex - cx) * (ex - cx) + (ey - cy) * (ey - cy));
    while (remainder >= s && next < text.size()) {
      const double frac = s / remainder;
      const double nx = cx + (ex - cx) * frac, ny = cy + (ey - cy) * frac;
      const double dx = nx - cx, dy = ny - cy;
      int32_t esc;
      if (Rec.CharAngle != -10) {
        esc = Rec.CharAngle;
      } else if (std::abs(dx) < 0.01) {
        esc = dy > 0 ? 2700 : 900;
      } else {
        double a = std::atan(-dy / dx);
        if (dx < 0) a += kPi;
        esc = int32_t(std::trunc(a * 1800 / kPi + 0.5));
      }
      if (f->Orientation() != esc) f->SetOrientation(esc);
      const int32_t tx = X1 + int32_t(cx), ty = Y1 + int32_t(cy);
      Q.TextOut(tx, ty, std::string(1, text[next]));
      int32_t gh, gw;
      QxGlyphBox(c, text[next], gh, gw);
      Grow(Rec.DrawnExtent, tx - gw - gh, ty - gw - gh);
      Grow(Rec.DrawnExtent, tx + gw + gh, ty + gw + gh);
      ++next;
      cx = nx, cy = ny;
      remainder -= s;
    }
    cx = ex, cy = ey;
  }
  SetTextAlign(c, oldAlign);
  f->SetOrientation(oldOrient);
}

void TQuillotVect::DrawBitmapObject(TQxCanvas& Q, TQxVObject& Rec, TBitmap* Dest, TQxBitmap* Work, int32_t X1,
                                    int32_t Y1, int32_t X2, int32_t Y2, int32_t PenW) {
  TQxBitmap* b = SharedBitmap(Rec.BitmapIndex);
  if (!b || b->Width() <= 0 || b->Height() <= 0) {
    TCanvas* c = Dest->Canvas();
    c->Pen()->SetColor(Rec.PenColor);
    c->Pen()->SetStyle(TPenStyle::psSolid);
    c->Brush()->SetStyle(TBrushStyle::bsClear);
    c->MoveTo(X1, Y1), c->LineTo(X2, Y2);
    c->MoveTo(X2, Y1), c->LineTo(X1, Y2);
    c->Rectangle(X1, Y1, X2 + 1, Y2 + 1);
    return;
  }
  QxOrderCorners(X1, Y1, X2, Y2);
  const TResampleFilter filter = FDraggingObjects ? TResampleFilter::rfNone : FBitmapResampleFilter;
  if (Work) {
    if (Rec.BitmapFrame) QxDrawBitmapFrame(Work, X1, Y1, X2, Y2, PenW, Rec.PenColor);
    b->StretchCopyRect(Work, X1, Y1, X2 - X1 + 1, Y2 - Y1 + 1, 0, 0, b->Width(), b->Height(), filter,
                       Rec.Transparency);
    if (TBitmap* tb = Work->GetTBitmap()) (void)tb;
    return;
  }
  TQxBitmap dest;
  dest.AttachTBitmap(Dest, false);
  if (Rec.BitmapFrame) QxDrawBitmapFrame(&dest, X1, Y1, X2, Y2, PenW, Rec.PenColor);
  std::vector<uint8_t*> rows;
  std::vector<int32_t> xt, yt;
  b->DrawScaledEx(&dest, rows, xt, yt, nullptr, X1, Y1, X2 - X1 + 1, Y2 - Y1 + 1, 0, 0, b->Width(), b->Height(), true,
                  false, Rec.Transparency, filter, true, Rec.BlendOperation);
  dest.AttachTBitmap(nullptr, false);
  (void)Q;
}

// ---------------------------------------------------------------- into the picture

void TQuillotVect::DrawObjectsIntoImage(bool Antialias) {
  DrawObjectsIntoBitmap(GetQxBitmap(), Antialias, QxHandleNone);
  UpdateView();
  DoImageChange();
}

void TQuillotVect::DrawObjectsIntoBitmap(TQxBitmap* Bitmap, bool Antialias, int32_t Handle) {
  if (!Bitmap || Bitmap->Width() <= 0 || Bitmap->Height() <= 0) return;
  const bool savedForce = FForceAntialias, savedFast = FFastDrawing;
  FForceAntialias = Antialias;
  FFastDrawing = false;
  TQxBitmap tmp;
  tmp.AssignFrom(Bitmap);
  const TQxPixelFormat fmt = tmp.PixelFormat();
  if (fmt != TQxPixelFormat::qx24RGB) tmp.SetPixelFormat(TQxPixelFormat::qx24RGB);
  // The alpha channel stays aside: objects drawn on the colours only.
  std::unique_ptr<TQxBitmap> alpha;
  if (tmp.HasAlphaChannel()) alpha = tmp.SetAlphaChannel(nullptr);
  if (TBitmap* tb = tmp.GetTBitmap()) {
    DrawObjectsTo(true, Handle, true, tb);
    tmp.SyncFromTBitmap();
  }
  tmp.SetLocation(TQxLocation::qxMemory);
  if (alpha) CoverAlpha(tmp, *alpha, Handle);
  if (fmt != TQxPixelFormat::qx24RGB) tmp.SetPixelFormat(fmt);
  if (alpha) tmp.SetAlphaChannel(std::move(alpha));
  Bitmap->AssignFrom(&tmp);
  FForceAntialias = savedForce;
  FFastDrawing = savedFast;
}

// What the objects cover becomes opaque. Drawn once over black and once over white, a pixel the objects
// cover by a shows a*C and a*C + (1 - a)*255, which gives its coverage a and its own colour C; the
// coverage goes over the picture's alpha, and where the picture was fully transparent the pixel takes
// the objects' colour (the colour under it was never meant to be seen).
void TQuillotVect::CoverAlpha(TQxBitmap& Colors, TQxBitmap& Alpha, int32_t Handle) {
  const int32_t w = Colors.Width(), h = Colors.Height();
  if (Alpha.Width() != w || Alpha.Height() != h) return;
  TBitmap black(w, h, TPixelFormat::pf24bit), white(w, h, TPixelFormat::pf24bit);
  black.Canvas()->Brush()->SetColor(clBlack);
  black.Canvas()->FillRect(TRect(0, 0, w, h));
  white.Canvas()->Brush()->SetColor(clWhite);
  white.Canvas()->FillRect(TRect(0, 0, w, h));
  DrawObjectsTo(true, Handle, true, &black);
  DrawObjectsTo(true, Handle, true, &white);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* b = static_cast<const uint8_t*>(black.ScanLine(y));
    const uint8_t* wr = static_cast<const uint8_t*>(white.ScanLine(y));
    uint8_t* c = Colors.Scanline(y);
    uint8_t* a = Alpha.Scanline(y);
    for (int32_t x = 0; x < w; ++x, b += 3, wr += 3, c += 3) {
      int cover = 0;
      for (int k = 0; k < 3; ++k) cover = std::max(cover, 255 - (int(wr[k]) - int(b[k])));
      cover = std::clamp(cover, 0, 255);
      if (cover == 0) continue;
      if (a[x] == 0)
        for (int k = 0; k < 3; ++k) c[k] = uint8_t(std::min(255, (int(b[k]) * 255 + cover / 2) / cover));
      a[x] = uint8_t(cover + (a[x] * (255 - cover) + 127) / 255);
    }
  }
}

// ---------------------------------------------------------------- grips

void TQuillotVect::DrawGrip(TQxCanvas& Q, int32_t X, int32_t Y, bool CenterKind) {
  if (TGraphic* g = FGripImage->Graphic(); g && !g->Empty()) {
    GripSize = std::max(g->Width(), g->Height()) / 2;
    Q.Canvas()->Draw(X - g->Width() / 2, Y - g->Height() / 2, g);
    return;
  }
  const int32_t s = GripSize;
  Q.Pen()->SetWidth(float(GripPen.Width()));
  Q.Pen()->SetColor(GripPen.Color());
  Q.Pen()->SetStyle(GripPen.Style());
  Q.Pen()->SetMode(GripPen.Mode());
  Q.Brush()->SetColor(GripBrush.Color());
  Q.Brush()->SetStyle(GripBrush.Style());
  Q.Pen()->SetTransparency(180);
  Q.Brush()->SetTransparency(180);
  if (CenterKind) {
    Q.Pen()->SetWidth(1);
    TPoint p[4] = {{X, Y - s}, {X + s, Y}, {X, Y + s}, {X - s, Y}};
    Q.Polygon(p, 3);
  } else if (GripShape == 0) {
    Q.Rectangle(X - s, Y - s, X + s, Y + s);
  } else {
    Q.Ellipse(X - s, Y - s, X + s, Y + s);
  }
}

bool TQuillotVect::PointInGrip(int32_t PX, int32_t PY, int32_t X, int32_t Y) const {
  const int32_t s = GripSize;
  return PX >= X - s && PX < X + s && PY >= Y - s && PY < Y + s;
}

void TQuillotVect::DrawObjectGrips(TQxCanvas& Q, int32_t Handle) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r || !(r->Flags & qvoSelectable)) return;
  TRect o = ObjectClientRect(*r);
  if (!QxRectsOverlap(o.Left, o.Top, o.Right, o.Bottom, ImageLeft(), ImageTop(), ImageLeft() + ZoomedWidth(),
                      ImageTop() + ZoomedHeight()))
    return;
  if (r->Kind == TQxVObjectKind::qvkAngle) {
    for (const auto& p : r->AnglePoints)
      if (p.X != QxAngleUnset) DrawGrip(Q, BitmapToScreenX(p.X), BitmapToScreenY(p.Y), false);
    return;
  }
  const int32_t x1 = o.Left, y1 = o.Top, x2 = o.Right, y2 = o.Bottom;
  DrawGrip(Q, x1, y1, false);
  DrawGrip(Q, x2, y2, false);
  if (!IsLineKind(r->Kind)) {
    const int32_t mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
    DrawGrip(Q, x2, y1, false), DrawGrip(Q, x1, y2, false);
    DrawGrip(Q, x1, my, false), DrawGrip(Q, x2, my, false);
    DrawGrip(Q, mx, y1, false), DrawGrip(Q, mx, y2, false);
  }
  if (CenterGrip) {
    int32_t a = x1, b = y1, c = x2, d = y2;
    QxOrderCorners(a, b, c, d);
    DrawGrip(Q, a + (c - a + 1) / 2, b + (d - b + 1) / 2, true);
  }
}

void TQuillotVect::DrawSelectionGripsOn(TCanvas* Canvas) {
  if (FSelection.empty() || !Canvas) return;
  TQxCanvas q(Canvas, true, true);
  for (int32_t h : FSelection) DrawObjectGrips(q, h);
}

void TQuillotVect::DrawSelectionGrips() {
  // Grips are part of every composed picture: a change of the selection only needs a new one.
  if (!FDestroying) UpdateView();
}

void TQuillotVect::DrawPolylineHandles(TCanvas* Canvas) {
  if (FSelection.size() != 1) return;
  const TQxVObject& r = FObjects[size_t(FSelection.front())];
  if (r.Kind != TQxVObjectKind::qvkPolyline) return;
  Canvas->Brush()->SetColor(clRed);
  Canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
  Canvas->Pen()->SetColor(clBlack);
  Canvas->Pen()->SetStyle(TPenStyle::psSolid);
  Canvas->Pen()->SetMode(TPenMode::pmCopy);
  Canvas->Pen()->SetWidth(1);
  for (const TPoint& p : r.ScreenPoints) Canvas->Ellipse(p.X - 3, p.Y - 3, p.X + 3, p.Y + 3);
}

// ---------------------------------------------------------------- rubber bands

// Bands go over the frame the window already shows and are taken off by sending that frame's pixels
// again: a drag step costs a copy of the band's box, not a new composition of every layer.
void TQuillotVect::DrawLineFeedback(bool Erase) {
  if (Erase) return HideBand();
  // A polyline being built stretches its open segment from its last point.
  const bool open = FCreating == TQxVObjectKind::qvkPolyline && !FButtonDown;
  ShowBand(TBand::Line, open ? FLastPolyPoint : FDragStart, FCurrent);
}
void TQuillotVect::DrawBoxFeedback(bool Erase) {
  if (Erase) return HideBand();
  ShowBand(TBand::Box, FDragStart, FCurrent);
}
void TQuillotVect::DrawEllipseFeedback(bool Erase) {
  if (Erase) return HideBand();
  ShowBand(TBand::Ellipse, FDragStart, FCurrent);
}
void TQuillotVect::DrawShapeFeedback() { ShowBand(TBand::Ruler, FDragStart, FCurrent); }
void TQuillotVect::DrawPointsFeedback() { ShowBand(TBand::Angle, FDragStart, FCurrent); }

bool TQuillotVect::InZoomDelay() const { return DelayZoomTicks() > 0; }

TRect TQuillotVect::BandRect() const {
  // Rulers and angles write texts and ticks around their points: the whole client.
  if (FBand == TBand::Ruler || FBand == TBand::Angle) return TRect(0, 0, ViewClientWidth(), ViewClientHeight());
  int32_t a = FBandA.X, b = FBandA.Y, c = FBandB.X, d = FBandB.Y;
  QxOrderCorners(a, b, c, d);
  const int32_t grow = std::max(1, RubberBandPen.Width());
  return TRect(a - grow, b - grow, c + 1 + grow, d + 1 + grow);
}

void TQuillotVect::ShowBand(TBand Kind, TPoint A, TPoint B) {
  HideBand();
  TCanvas* c = ViewCanvas();
  if (!c) return;
  FBand = Kind;
  FBandA = A;
  FBandB = B;
  DrawBand(c);
}

void TQuillotVect::HideBand() {
  if (FBand == TBand::None) return;
  const TRect r = BandRect();
  FBand = TBand::None;
  if (ViewCanvas()) PaintClientRect(r);
}

void TQuillotVect::RedrawBand() {
  TCanvas* c = ViewCanvas();
  // A band outlives nothing it stood for: the creation or the held button.
  if (!c || (FCreating == TQxVObjectKind::qvkNone && !FButtonDown)) {
    FBand = TBand::None;
    return;
  }
  // Under a paint's clip the band may be only partly gone: its box gets the bare frame first.
  const TRect r = BandRect();
  const TBand kind = FBand;
  FBand = TBand::None;
  PaintClientRect(r);
  FBand = kind;
  DrawBand(c);
}

void TQuillotVect::DrawBand(TCanvas* c) {
  const int32_t sx = FBandA.X, sy = FBandA.Y, cx = FBandB.X, cy = FBandB.Y;
  c->SetPen(RubberBandPen);
  c->Brush()->SetStyle(TBrushStyle::bsClear);
  switch (FBand) {
    case TBand::Line:
      c->MoveTo(sx, sy);
      c->LineTo(cx, cy);
      break;
    case TBand::Box: {
      TPoint p[5] = {{sx, sy}, {cx, sy}, {cx, cy}, {sx, cy}, {sx, sy}};
      c->Polyline(p, 5);
      break;
    }
    case TBand::Ellipse: {
      int32_t a = sx, b = sy, d = cx, e = cy;
      QxOrderCorners(a, b, d, e);
      c->Ellipse(a, b, d + 1, e + 1);
      break;
    }
    case TBand::Ruler: {
      TQxCanvas q(c, false, true);
      DrawRuler(q, sx, sy, cx, cy, FTemplate.Font.value_or(TQxLogFont{}), nullptr, 100.0 / ZoomY(), 100.0 / ZoomX(),
                FTemplate.RulerStyle, FTemplate.PenWidth, FTemplate.PenColor, FTemplate.RulerUnit, -1);
      break;
    }
    case TBand::Angle:
      if (TQxVObject* r = ObjectRecord(FAngleHandle)) {
        TPoint pts[3] = {r->AnglePoints[0], r->AnglePoints[1], r->AnglePoints[2]};
        const int32_t n = AnglePointCount(pts);
        if (n < 3 && n > 0) {
          pts[n] = TPoint(ScreenToBitmapX(cx), ScreenToBitmapY(cy));
          TPoint out[3];
          for (int i = 0; i < 3; ++i)
            if (pts[i].X != QxAngleUnset) OutputPoint(true, 1, pts[i].X, pts[i].Y, out[i].X, out[i].Y);
            else out[i] = pts[i];
          TQxCanvas q(c, false, true);
          DrawAngle(q, out, r->Font.value_or(TQxLogFont{}), 100.0 / ZoomY(), 100.0 / ZoomX(), 1, true, nullptr,
                    r->PenWidth, r->PenColor);
        }
      }
      break;
    case TBand::None:
      break;
  }
  c->Pen()->SetMode(TPenMode::pmCopy);
}
