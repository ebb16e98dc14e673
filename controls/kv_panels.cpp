#include "controls/kv_panels.h"

#include <algorithm>

#include "controls/kv_text.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

namespace {

TColor ParentColorOf(const TControl* C) { return C->Parent() ? C->Parent()->Color() : C->Color(); }

}  // namespace

int32_t KvFrameStyleWidth(TFrameStyleEx Style, int32_t BevelWidth) {
  switch (Style) {
    case TFrameStyleEx::fsNone: return 0;
    case TFrameStyleEx::fsFlat: return 1;
    case TFrameStyleEx::fsStatus:
    case TFrameStyleEx::fsPopup: return BevelWidth;
    default: return 2;  // the etched, 3D and button frames, and both bold flat ones
  }
}

TRect KvShrinkByFrame(TRect R, TFrameStyleEx Outer, TFrameStyleEx Inner, TSides Sides, int32_t BevelWidth) {
  int32_t w = KvFrameStyleWidth(Outer, BevelWidth) + KvFrameStyleWidth(Inner, BevelWidth);
  if (Sides.Contains(TSide::sdLeft)) R.Left += w;
  if (Sides.Contains(TSide::sdTop)) R.Top += w;
  if (Sides.Contains(TSide::sdRight)) R.Right -= w;
  if (Sides.Contains(TSide::sdBottom)) R.Bottom -= w;
  return R;
}

// ---- Panel --------------------------------------------------------------------------------------------

TKvCustomPanel::TKvCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvPanelsProperties();
  // No caption from the component name, opaque unless Transparent.
  FControlStyle = TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csOpaque, csDoubleClicks,
                                csReplicatable};
  SetBounds(0, 0, 185, 41);
  SetColor(clBtnFace);
}

TKvCustomPanel::~TKvCustomPanel() = default;

void TKvCustomPanel::SetBiDiMode(TBiDiMode v) {
  if (v == FBiDiMode) return;
  FBiDiMode = v;
  Realign();
  Invalidate();
}

uint32_t TKvCustomPanel::CaptionTextFlags() const {
  TAlignment a = FAlignment;
  if (FBiDiMode == TBiDiMode::bdRightToLeft && a != taCenter)
    a = a == taLeftJustify ? taRightJustify : taLeftJustify;
  return KvAlignmentFlag(a) | (UseRightToLeftReading() ? DT_RTLREADING : 0);
}

void TKvCustomPanel::SetDockSite(bool v) {
  if (v == FDockSite) return;
  FDockSite = v;
  UpdateDockManager();
}

void TKvCustomPanel::SetUseDockManager(bool v) {
  if (v == FUseDockManager) return;
  FUseDockManager = v;
  UpdateDockManager();
}

void TKvCustomPanel::UpdateDockManager() {
  if (FDockSite && FUseDockManager) {
    if (!FDockManager) FDockManager = std::make_unique<TKvPanelDockManager>(this);
  } else {
    FDockManager.reset();
  }
  // The grabbers are painted with the face in one go.
  if (FDockManager) SetDoubleBuffered(true);
  Invalidate();
}

#define KV_PANEL_SETTER(Name, Type, Field, After) \
  void TKvCustomPanel::Set##Name(Type v) {        \
    if (Field == v) return;                       \
    Field = v;                                    \
    After;                                        \
  }

KV_PANEL_SETTER(Alignment, TAlignment, FAlignment, Invalidate())
KV_PANEL_SETTER(AlignmentVertical, TAlignmentVertical, FAlignmentVertical, Invalidate())
KV_PANEL_SETTER(BevelWidth, int32_t, FBevelWidth, FrameChanged())
KV_PANEL_SETTER(BorderWidth, int32_t, FPanelBorderWidth, FrameChanged())
KV_PANEL_SETTER(BorderInner, TFrameStyleEx, FBorderInner, FrameChanged())
KV_PANEL_SETTER(BorderOuter, TFrameStyleEx, FBorderOuter, FrameChanged())
KV_PANEL_SETTER(BorderSides, TSides, FBorderSides, FrameChanged())
KV_PANEL_SETTER(BorderColor, TColor, FBorderColor, Invalidate())
KV_PANEL_SETTER(BorderHighlight, TColor, FBorderHighlight, Invalidate())
KV_PANEL_SETTER(BorderShadow, TColor, FBorderShadow, Invalidate())
KV_PANEL_SETTER(FlatColor, TColor, FFlatColor, Invalidate())
KV_PANEL_SETTER(FlatColorAdjustment, int32_t, FFlatColorAdjustment, Invalidate())
KV_PANEL_SETTER(GradientColorStyle, TKvGradientColorStyle, FGradientColorStyle, Invalidate())
KV_PANEL_SETTER(GradientColorStart, TColor, FGradientColorStart, GradientChanged())
KV_PANEL_SETTER(GradientColorStop, TColor, FGradientColorStop, GradientChanged())
KV_PANEL_SETTER(GradientDirection, TGradientDirection, FGradientDirection, GradientChanged())
KV_PANEL_SETTER(GridColor, TColor, FGridColor, Invalidate())
KV_PANEL_SETTER(GridStyle, TKvGridStyle, FGridStyle, Invalidate())
KV_PANEL_SETTER(GridXSize, uint16_t, FGridXSize, Invalidate())
KV_PANEL_SETTER(GridYSize, uint16_t, FGridYSize, Invalidate())
KV_PANEL_SETTER(ShowGrid, bool, FShowGrid, Invalidate())
KV_PANEL_SETTER(TextMargin, int32_t, FTextMargin, Invalidate())
KV_PANEL_SETTER(VisualStyle, TKvVisualStyle, FVisualStyle, Invalidate())
KV_PANEL_SETTER(WordWrap, bool, FWordWrap, Invalidate())

#undef KV_PANEL_SETTER

void TKvCustomPanel::SetTransparent(bool v) {
  if (FTransparent == v) return;
  FTransparent = v;
  if (v) FControlStyle.Exclude(csOpaque);
  else FControlStyle.Include(csOpaque);
  Invalidate();
  for (int32_t i = 0; i < ControlCount(); ++i) Controls(i)->Invalidate();
}

void TKvCustomPanel::FrameChanged() {
  Realign();
  Invalidate();
}

void TKvCustomPanel::GradientChanged() {
  Invalidate();
  KvInvalidateTransparentChildren(this);
}

TRect TKvCustomPanel::FrameInterior(TRect R, bool WithBorderWidth) const {
  if (WithBorderWidth) InflateRect(R, -FPanelBorderWidth, -FPanelBorderWidth);
  return KvShrinkByFrame(R, FBorderOuter, FBorderInner, FBorderSides, FBevelWidth);
}

void TKvCustomPanel::AdjustClientRect(TRect& Rect) {
  InflateRect(Rect, -FPanelBorderWidth, -FPanelBorderWidth);
  Rect = FrameInterior(Rect, false);
}

void TKvCustomPanel::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (Align() == alBottom && AHeight != Height()) ATop -= AHeight - Height();
  if (Align() == alRight && AWidth != Width()) ALeft -= AWidth - Width();
  TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (FDockManager) FDockManager->ResetBounds();
}

TPoint TKvCustomPanel::CursorPosition() const { return ScreenToClient(GetCursorPos()); }

void TKvCustomPanel::GradientColors(TColor& Start, TColor& Stop) const {
  if (FGradientColorStyle == TKvGradientColorStyle::gcsCustom) {
    Start = FGradientColorStart;
    Stop = FGradientColorStop;
  } else {
    KvPanelGradientColors(FGradientColorStyle, Start, Stop);
  }
}

void TKvCustomPanel::Paint() {
  TCanvas* C = Canvas();
  TRect r = KvPaintLayeredBorders(C, PaintBounds(), FBorderOuter, FBorderInner, FPanelBorderWidth, FBorderSides,
                                  FBevelWidth, FBorderColor, FBorderHighlight, FBorderShadow, FFlatColor,
                                  FFlatColorAdjustment, Color(), ParentColorOf(this), FTransparent);
  if (!FTransparent) {
    if (FVisualStyle == TKvVisualStyle::vsGradient) {
      TColor start, stop;
      GradientColors(start, stop);
      KvDrawGradient(C, r, FGradientDirection, start, stop, 1);
    } else {
      C->Brush()->SetStyle(TBrushStyle::bsSolid);
      C->Brush()->SetColor(Color());
      C->FillRect(r);
    }
  }
  if (FShowGrid) DrawGrid(r);
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  DrawCaption(r);
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  if (FDockManager) FDockManager->PaintSite(Canvas());
  if (OnPaint) OnPaint(this);
}

void TKvCustomPanel::DrawGrid(TRect R) {
  TCanvas* C = Canvas();
  int32_t cols = FGridXSize ? R.Width() / FGridXSize : 0;
  int32_t rows = FGridYSize ? R.Height() / FGridYSize : 0;
  C->Pen()->SetColor(FGridColor);
  C->Pen()->SetStyle(TPenStyle::psSolid);
  if (FGridStyle == TKvGridStyle::gsDots) {
    for (int32_t i = 1; i <= cols; ++i)
      for (int32_t j = 1; j <= rows; ++j)
        C->SetPixels(R.Left + i * FGridXSize - 1, R.Top + j * FGridYSize - 1, FGridColor);
    return;
  }
  bool dotted = FGridStyle == TKvGridStyle::gsDottedLines;
  auto line = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!dotted) {
      C->MoveTo(x1, y1);
      C->LineTo(x2, y2);
      return;
    }
    if (x1 == x2)
      for (int32_t y = y1 + 1; y < y2; y += 2) C->SetPixels(x1, y, FGridColor);
    else
      for (int32_t x = x1 + 1; x < x2; x += 2) C->SetPixels(x, y1, FGridColor);
  };
  for (int32_t i = 1; i <= cols; ++i) line(R.Left + i * FGridXSize - 1, R.Top, R.Left + i * FGridXSize - 1, R.Bottom);
  for (int32_t j = 1; j <= rows; ++j) line(R.Left, R.Top + j * FGridYSize - 1, R.Right, R.Top + j * FGridYSize - 1);
}

void TKvCustomPanel::DrawCaption(TRect R) {
  if (Caption().empty()) return;
  TCanvas* C = Canvas();
  C->Font()->Assign(*Font());
  InflateRect(R, -FTextMargin, -FTextMargin);
  uint32_t flags = (FWordWrap ? DT_WORDBREAK : 0) | CaptionTextFlags() | DT_EXPANDTABS | DT_VCENTER;
  TRect calc = R;
  int32_t h = DrawText(C, Caption(), calc, flags | DT_CALCRECT);
  switch (FAlignmentVertical) {
    case TAlignmentVertical::avTop: R.Bottom = std::min(R.Bottom, R.Top + h); break;
    case TAlignmentVertical::avCenter:
      R.Top = (R.Top + R.Bottom - h) / 2;
      R.Bottom = std::min(R.Bottom, R.Top + h);
      break;
    case TAlignmentVertical::avBottom: R.Top = std::max(R.Top, R.Bottom - h - 1); break;
  }
  if (!Enabled()) {
    TRect r1 = R;
    OffsetRect(r1, 1, 1);
    KvDrawTextColored(C, Caption(), r1, flags, clBtnHighlight);
    KvDrawTextColored(C, Caption(), R, flags, clBtnShadow);
  } else {
    KvDrawTextColored(C, Caption(), R, flags, Font()->Color());
  }
}

void TKvCustomPanel::Dispatch(TMessage& M) {
  TCustomControl::Dispatch(M);
  // A desktop scheme change shows at the next repaint.
  if (M.Msg == WM_THEMECHANGED) KvXPColorScheme = KvDetectXPColorScheme();
}

void TKvCustomPanel::CMMouseEnter(TMessage& Message) {
  TCustomControl::CMMouseEnter(Message);
  if (!ComponentState().Contains(csDesigning) && OnMouseEnter) OnMouseEnter(this);
}

void TKvCustomPanel::CMMouseLeave(TMessage& Message) {
  TCustomControl::CMMouseLeave(Message);
  if (OnMouseLeave) OnMouseLeave(this);
}

void TKvCustomPanel::CMEnabledChanged(TMessage& Message) {
  TCustomControl::CMEnabledChanged(Message);
  Repaint();
  if (!Enabled()) {
    FSavedEnabled.clear();
    for (int32_t i = 0; i < ControlCount(); ++i) FSavedEnabled.emplace_back(Controls(i), Controls(i)->Enabled());
    for (int32_t i = 0; i < ControlCount(); ++i) Controls(i)->SetEnabled(false);
  } else {
    for (int32_t i = 0; i < ControlCount(); ++i) {
      TControl* c = Controls(i);
      auto it = std::find_if(FSavedEnabled.begin(), FSavedEnabled.end(), [c](auto& e) { return e.first == c; });
      c->SetEnabled(it == FSavedEnabled.end() || it->second);
    }
  }
}

void TKvCustomPanel::WMEraseBkgnd(TMessage& Message) {
  if (!FTransparent) {
    TCustomControl::WMEraseBkgnd(Message);
    return;
  }
  if (FFullRepaint) KvPaintParentBackground(this, reinterpret_cast<HDC>(Message.WParam), true);
  Message.Result = 1;
}

// ---- Group box ---------------------------------------------------------------------------------------

TKvCustomGroupBox::TKvCustomGroupBox(TComponent* AOwner) : TKvCustomPanel(AOwner) {
  FControlStyle.Include(csSetCaption);
  FControlStyle.Include(csDoubleClicks);
  FBorderOuter = TFrameStyleEx::fsNone;
  FBorderInner = TFrameStyleEx::fsNone;
  FAlignment = taLeftJustify;
  FAlignmentVertical = TAlignmentVertical::avTop;
  SetHeight(105);
}

void TKvCustomGroupBox::SetGroupStyle(TKvGroupBoxStyle v) {
  if (FGroupStyle == v) return;
  FGroupStyle = v;
  Realign();
  Invalidate();
}

void TKvCustomGroupBox::AdjustClientRect(TRect& Rect) {
  TKvCustomPanel::AdjustClientRect(Rect);
  int32_t h = KvTextExtentOf(*Font(), "Yy").cy;
  switch (FGroupStyle) {
    case TKvGroupBoxStyle::gsStandard:
    case TKvGroupBoxStyle::gsFlat: {
      int32_t a = h / 2 - 1;
      Rect.Top += a < FPanelBorderWidth ? a : h - FPanelBorderWidth;
      int32_t d = FGroupStyle == TKvGroupBoxStyle::gsStandard ? 2 : 1;
      InflateRect(Rect, -d, -d);
      break;
    }
    case TKvGroupBoxStyle::gsCustom:
      if (!Caption().empty()) Rect.Top += h;
      InflateRect(Rect, -2, -2);
      break;
    case TKvGroupBoxStyle::gsTopLine: Rect.Top += h; break;
    case TKvGroupBoxStyle::gsBanner: Rect.Top += h + 8; break;
    case TKvGroupBoxStyle::gsUnderline: Rect.Top += h + 4; break;
  }
}

TRect TKvCustomGroupBox::CaptionRect() {
  if (Caption().empty() || FGroupStyle == TKvGroupBoxStyle::gsCustom) return TRect();
  TSize s = KvTextExtentOf(*Font(), KvStripAccelerators(Caption()));
  switch (FGroupStyle) {
    case TKvGroupBoxStyle::gsTopLine:
      return UseRightToLeftReading() ? Rect(Width() - s.cx - 4, 0, Width() - 4, s.cy) : Rect(0, 0, s.cx + 4, s.cy);
    case TKvGroupBoxStyle::gsBanner: return Rect(0, 0, Width(), s.cy + 6);
    case TKvGroupBoxStyle::gsUnderline: return Rect(0, 0, Width(), s.cy + 2);
    default:
      return UseRightToLeftReading() ? Rect(Width() - s.cx - 8, 0, Width() - 8, s.cy) : Rect(8, 0, 8 + s.cx, s.cy);
  }
}

void TKvCustomGroupBox::Paint() {
  if (FGroupStyle == TKvGroupBoxStyle::gsCustom) {
    TKvCustomPanel::Paint();
    return;
  }
  TCanvas* C = Canvas();
  C->Font()->Assign(*Font());
  int32_t h = C->TextHeight("Pp");
  TRect cr = CaptionRect();
  TRect f = Rect(0, h / 2 - 1, Width(), Height());
  int saved = SaveDC(C);
  if (!FTransparent) {
    C->Brush()->SetStyle(TBrushStyle::bsSolid);
    C->Brush()->SetColor(Color());
    C->FillRect(Rect(0, 0, Width(), Height()));
  } else if (FGroupStyle != TKvGroupBoxStyle::gsBanner && !IsRectEmpty(cr)) {
    ExcludeClipRect(C, cr.Left, cr.Top, cr.Right, cr.Bottom);
  }
  TColor k = KvShiftLightness(FFlatColor, FFlatColorAdjustment);
  C->Pen()->SetStyle(TPenStyle::psSolid);
  C->Pen()->SetWidth(1);
  auto line = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    C->MoveTo(x1, y1);
    C->LineTo(x2, y2);
  };
  switch (FGroupStyle) {
    case TKvGroupBoxStyle::gsStandard:
      switch (FBorderOuter) {
        case TFrameStyleEx::fsNone: KvPaintStyledFrameSides(C, f, TFrameStyleEx::fsGroove, KvAllSides); break;
        case TFrameStyleEx::fsFlat: KvPaintRectOutline(C, f, k); break;
        case TFrameStyleEx::fsFlatBold: KvPaintSideBands(C, f, k, k, 2, KvAllSides); break;
        default: KvPaintStyledFrameSides(C, f, FBorderOuter, KvAllSides); break;
      }
      break;
    case TKvGroupBoxStyle::gsTopLine:
      switch (FBorderOuter) {
        case TFrameStyleEx::fsNone: KvPaintStyledFrameSides(C, f, TFrameStyleEx::fsGroove, TSides{TSide::sdTop}); break;
        case TFrameStyleEx::fsFlat:
        case TFrameStyleEx::fsFlatBold:
          C->Pen()->SetColor(k);
          line(f.Left + 2, f.Top, f.Right - 2, f.Top);
          if (FBorderOuter == TFrameStyleEx::fsFlatBold) line(f.Left + 2, f.Top + 1, f.Right - 2, f.Top + 1);
          break;
        default: KvPaintStyledFrameSides(C, f, FBorderOuter, TSides{TSide::sdTop}); break;
      }
      break;
    case TKvGroupBoxStyle::gsFlat:
      C->Pen()->SetColor(k);
      line(f.Left, f.Top + 2, f.Left, f.Bottom - 2);
      line(f.Left + 2, f.Top, f.Right - 2, f.Top);
      line(f.Right - 1, f.Top + 2, f.Right - 1, f.Bottom - 2);
      line(f.Left + 2, f.Bottom - 1, f.Right - 2, f.Bottom - 1);
      C->SetPixels(f.Left + 1, f.Top + 1, k);
      C->SetPixels(f.Right - 2, f.Top + 1, k);
      C->SetPixels(f.Right - 2, f.Bottom - 2, k);
      C->SetPixels(f.Left + 1, f.Bottom - 2, k);
      break;
    case TKvGroupBoxStyle::gsBanner:
      if (!IsRectEmpty(cr)) {
        TColor start, stop, outline;
        if (FGradientColorStyle == TKvGradientColorStyle::gcsCustom) {
          start = FGradientColorStart;
          stop = FGradientColorStop;
          outline = k;
        } else {
          KvBarGradientColors(FGradientColorStyle, stop, start, outline);
        }
        C->Pen()->SetColor(outline);
        line(cr.Left, cr.Top + 1, cr.Left, cr.Bottom - 1);
        line(cr.Left + 1, cr.Top, cr.Right - 1, cr.Top);
        line(cr.Right - 1, cr.Top + 1, cr.Right - 1, cr.Bottom - 1);
        line(cr.Left + 1, cr.Bottom - 1, cr.Right - 1, cr.Bottom - 1);
        TRect g = cr;
        InflateRect(g, -1, -1);
        KvDrawGradient(C, g, TGradientDirection::gdHorizontalEnd, start, stop, 1);
      }
      break;
    case TKvGroupBoxStyle::gsUnderline:
      C->Pen()->SetColor(k);
      line(cr.Left, cr.Bottom, cr.Right, cr.Bottom);
      break;
    case TKvGroupBoxStyle::gsCustom: break;
  }
  RestoreDC(C, saved);
  if (Caption().empty()) return;
  if (!FTransparent && FGroupStyle != TKvGroupBoxStyle::gsBanner) {
    C->Brush()->SetStyle(TBrushStyle::bsSolid);
    C->Brush()->SetColor(Color());
    C->FillRect(cr);
  }
  if (FGroupStyle == TKvGroupBoxStyle::gsBanner) {
    cr.Left += 4;
    cr.Right -= 4;
    cr.Top += 1;
    cr.Bottom -= 1;
  }
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  uint32_t flags = CaptionTextFlags() | DT_SINGLELINE;
  TColor color = Font()->Color();
  if (!Enabled()) {
    TRect r1 = cr;
    OffsetRect(r1, 1, 1);
    KvDrawTextColored(C, Caption(), r1, flags, clBtnHighlight);
    color = clBtnShadow;
  }
  KvDrawTextColored(C, Caption(), cr, flags, color);
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
}

void TKvCustomGroupBox::WMEraseBkgnd(TMessage& Message) {
  if (!FTransparent) {
    TKvCustomPanel::WMEraseBkgnd(Message);
    return;
  }
  KvPaintParentBackground(this, reinterpret_cast<HDC>(Message.WParam), true);
  Message.Result = 1;
}

void TKvCustomGroupBox::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case CM_FONTCHANGED:
      TKvCustomPanel::Dispatch(M);
      Realign();
      Invalidate();
      return;
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<uint32_t>(M.WParam), Caption()) && CanFocus()) {
        SelectNext(nullptr, true, true);
        M.Result = 1;
        return;
      }
      break;
  }
  TKvCustomPanel::Dispatch(M);
}

// ---- Published properties ---------------------------------------------------------------------------

void RegisterKvPanelsProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  KvRegisterFrameLinkProperty<TKvCustomPanel>();
  RegisterIntegerProperty<TKvCustomPanel>("BevelWidth", [](TKvCustomPanel* c, int64_t v) { c->SetBevelWidth(int32_t(v)); },
                                          [](const TKvCustomPanel* c) { return int64_t(c->BevelWidth()); });
  RegisterIntegerProperty<TKvCustomPanel>("BorderWidth", [](TKvCustomPanel* c, int64_t v) { c->SetBorderWidth(int32_t(v)); },
                                          [](const TKvCustomPanel* c) { return int64_t(c->BorderWidth()); });
  RegisterIntegerProperty<TKvCustomPanel>("TextMargin", [](TKvCustomPanel* c, int64_t v) { c->SetTextMargin(int32_t(v)); },
                                          [](const TKvCustomPanel* c) { return int64_t(c->TextMargin()); });
  RegisterIntegerProperty<TKvCustomPanel>(
      "FlatColorAdjustment", [](TKvCustomPanel* c, int64_t v) { c->SetFlatColorAdjustment(int32_t(v)); },
      [](const TKvCustomPanel* c) { return int64_t(c->FlatColorAdjustment()); });
  for (const char* n : {"Alignment", "AlignmentVertical", "BorderInner", "BorderOuter", "GradientColorStyle",
                        "GradientDirection", "GridStyle", "VisualStyle", "ShowGrid", "WordWrap",
                        "FullRepaint", "Locked", "ShowDockClientCaptions"})
    RegisterOtherProperty<TKvCustomPanel>(n, TTypeKind::tkEnumeration);
  KvRegisterTransparentProperty<TKvCustomPanel>();
  KvRegisterOrdProperty<TKvCustomPanel>("BiDiMode", TTypeKind::tkEnumeration,
                                        [](TKvCustomPanel* c, int64_t v) { c->SetBiDiMode(static_cast<TBiDiMode>(v)); },
                                        [](const TKvCustomPanel* c) { return int64_t(c->BiDiMode()); });
  KvRegisterOrdProperty<TKvCustomPanel>("DockSite", TTypeKind::tkEnumeration,
                                        [](TKvCustomPanel* c, int64_t v) { c->SetDockSite(v != 0); },
                                        [](const TKvCustomPanel* c) { return int64_t(c->DockSite()); });
  KvRegisterOrdProperty<TKvCustomPanel>("UseDockManager", TTypeKind::tkEnumeration,
                                        [](TKvCustomPanel* c, int64_t v) { c->SetUseDockManager(v != 0); },
                                        [](const TKvCustomPanel* c) { return int64_t(c->UseDockManager()); });
  // Older forms: FrameSides and ThemeAware are dropped; UseGradients True means the gradient look.
  for (const char* old : {"FrameSides", "ThemeAware"})
    KvRegisterObsoleteProperty<TKvCustomPanel>(old, [](TKvCustomPanel*, const std::string&) {});
  KvRegisterObsoleteProperty<TKvCustomPanel>("UseGradients", [](TKvCustomPanel* c, const std::string& v) {
    if (KvTextIsTrue(v)) c->SetVisualStyle(TKvVisualStyle::vsGradient);
  });
  RegisterOtherProperty<TKvCustomPanel>("BorderSides", TTypeKind::tkSet);
  RegisterOtherProperty<TKvCustomGroupBox>("GroupStyle", TTypeKind::tkEnumeration);
}

// ---- Frame controller -------------------------------------------------------------------------------

void TKvCustomPanel::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove) FFrameLink.Removed(AComponent);
}

void TKvCustomPanel::ApplyFrameController() {
  // A group box follows the controller only when it draws as a panel.
  if (auto* g = dynamic_cast<TKvCustomGroupBox*>(this); g && g->GroupStyle() != TKvGroupBoxStyle::gsCustom) return;
  KvApplyLayeredBorderSettings(this, FFrameLink,
                               {FBorderOuter, FBorderSides, FFlatColor, FFlatColorAdjustment, FBorderHighlight,
                                FBorderShadow});
}
