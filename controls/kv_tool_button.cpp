#include "controls/kv_tool_button.h"

#include <algorithm>

#include "controls/kv_action_links.h"
#include "controls/kv_text.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"
#include "platform/ui/timer.h"

namespace {

// Settings messages a toolbar container answers (none does here).
constexpr uint32_t kToolbarShowCaptionMsg = 46058;
constexpr uint32_t kToolbarLayoutMsg = 46059;
constexpr uint32_t kToolbarSizeMsg = 46060;
constexpr uint32_t kToolbarVisualStyleMsg = 46061;
// A press this soon after the menu closed is the press that closed it.
constexpr uint64_t kMenuReopenGuardMs = 100;

// The widest top-level caption of the menu in the menu font, plus room for check and submenu marks.
int32_t KvMenuDropWidth(TPopupMenu* Menu) {
  int32_t widest = 0;
  TMenuItem* items = Menu->Items();
  for (int32_t i = 0; i < items->Count(); ++i)
    widest = std::max(widest, KvTextExtentOf(*Screen->MenuFont(), items->Items(i)->Caption()).cx);
  return widest + 56;
}

}  // namespace

TKvToolButton::TKvToolButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  RegisterKvToolButtonProperties();
  FControlStyle = TControlStyle{csCaptureMouse};
  SetBounds(0, 0, 25, 25);
  FUseToolbarButtonSize = true;
  SetColor(clBtnFace);
  FImageChangeLink.OnChange = [this](TObject*) {
    FitToImages();
    Invalidate();
  };
}

TKvToolButton::~TKvToolButton() {
  if (FImages) FImages->UnRegisterChanges(&FImageChangeLink);
}

#define KV_TOOL_SETTER(Name, Type, Field, After) \
  void TKvToolButton::Set##Name(Type v) {        \
    if (Field == v) return;                      \
    Field = v;                                   \
    After;                                       \
  }

KV_TOOL_SETTER(HotIndex, int32_t, FHotIndex, Invalidate())
KV_TOOL_SETTER(ImageIndex, int32_t, FImageIndex, Invalidate())
KV_TOOL_SETTER(DownIndex, int32_t, FDownIndex, Invalidate())
KV_TOOL_SETTER(DisabledIndex, int32_t, FDisabledIndex, Invalidate())
KV_TOOL_SETTER(GradientColorStyle, TKvGradientColorStyle, FGradientColorStyle, Invalidate())
KV_TOOL_SETTER(SelectionColorStart, TColor, FSelectionColorStart, Invalidate())
KV_TOOL_SETTER(SelectionColorStop, TColor, FSelectionColorStop, Invalidate())
KV_TOOL_SETTER(SelectionFrameColor, TColor, FSelectionFrameColor, Invalidate())
KV_TOOL_SETTER(Transparent, bool, FTransparent, Invalidate())
KV_TOOL_SETTER(Flat, bool, FFlat, Repaint())
KV_TOOL_SETTER(AllowAllUp, bool, FAllowAllUp, NotifyGroup())
KV_TOOL_SETTER(ShowCaption, bool, FShowCaption, FUseToolbarShowCaption = false; Invalidate())
KV_TOOL_SETTER(VisualStyle, TKvVisualStyle, FVisualStyle, FUseToolbarVisualStyle = false; Invalidate())
KV_TOOL_SETTER(Layout, TButtonLayout, FLayout, FUseToolbarButtonLayout = false; RequestToolbarSettings(); Invalidate())

#undef KV_TOOL_SETTER

#define KV_TOOLBAR_FLAG(Name, Field, Msg)                                                       \
  void TKvToolButton::Set##Name(bool v) {                                                       \
    if (Field == v) return;                                                                     \
    Field = v;                                                                                  \
    if (Parent() && !ComponentState().Contains(csReading)) Perform(Msg, 0, 0);                  \
    Invalidate();                                                                               \
  }

KV_TOOLBAR_FLAG(UseToolbarShowCaption, FUseToolbarShowCaption, kToolbarShowCaptionMsg)
KV_TOOLBAR_FLAG(UseToolbarButtonLayout, FUseToolbarButtonLayout, kToolbarLayoutMsg)
KV_TOOLBAR_FLAG(UseToolbarButtonSize, FUseToolbarButtonSize, kToolbarSizeMsg)
KV_TOOLBAR_FLAG(UseToolbarVisualStyle, FUseToolbarVisualStyle, kToolbarVisualStyleMsg)

#undef KV_TOOLBAR_FLAG

void TKvToolButton::SetDown(bool v) {
  if (FGroupIndex == 0) v = false;
  if (v == FDown) return;
  if (!v && !FAllowAllUp) return;
  FDown = v;
  if (v) {
    if (FLook == lookUp) Invalidate();
    FLook = lookStayDown;
    NotifyGroup();
  } else {
    FLook = lookUp;
    Repaint();
  }
}

void TKvToolButton::SetGroupIndex(int32_t v) {
  if (IsDropDown()) v = 0;
  if (FGroupIndex == v) return;
  FGroupIndex = v;
  NotifyGroup();
}

void TKvToolButton::SetToolStyle(TKvToolStyle v) {
  if (FToolStyle == v) return;
  FToolStyle = v;
  FGroupIndex = 0;
  if (!ComponentState().Contains(csLoading)) {
    bool keep = FUseToolbarButtonSize;
    SetWidth(Width() + (v == TKvToolStyle::tsDropDown ? kKvToolArrowWidth : -kKvToolArrowWidth));
    FUseToolbarButtonSize = keep;
  }
  Invalidate();
}

void TKvToolButton::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  bool sized = AWidth != Width() || AHeight != Height();
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (sized && !ComponentState().Contains(csLoading)) FUseToolbarButtonSize = false;
  Invalidate();
}

void TKvToolButton::SetImages(TCustomImageList* v) {
  if (FImages == v) return;
  if (FImages) {
    FImages->UnRegisterChanges(&FImageChangeLink);
    FImages->RemoveFreeNotification(this);
  }
  FImages = v;
  if (FImages) {
    FImages->RegisterChanges(&FImageChangeLink);
    FImages->FreeNotification(this);
    FitToImages();
  }
  Invalidate();
}

void TKvToolButton::SetDropDownMenu(TPopupMenu* v) {
  if (FDropDownMenu == v) return;
  if (FDropDownMenu) FDropDownMenu->RemoveFreeNotification(this);
  FDropDownMenu = v;
  if (v) v->FreeNotification(this);
}

void TKvToolButton::FitToImages() {
  if (!FImages) return;
  int32_t w = std::max(Width(), FImages->Width()), h = std::max(Height(), FImages->Height());
  if (w != Width() || h != Height()) SetBounds(Left(), Top(), w, h);
}

void TKvToolButton::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  // The list is already past its own destructor here: forget it without unregistering.
  if (AComponent == FImages) {
    FImages = nullptr;
    Invalidate();
  }
  if (AComponent == FDropDownMenu) FDropDownMenu = nullptr;
}

void TKvToolButton::RequestToolbarSettings() {
  for (uint32_t m : {kToolbarShowCaptionMsg, kToolbarLayoutMsg, kToolbarSizeMsg, kToolbarVisualStyleMsg})
    Perform(m, 0, 0);
}

void TKvToolButton::SetParent(TWinControl* AParent) {
  TGraphicControl::SetParent(AParent);
  if (AParent) RequestToolbarSettings();
}

void TKvToolButton::Loaded() {
  TGraphicControl::Loaded();
  RequestToolbarSettings();
}

void TKvToolButton::NotifyGroup() {
  if (FGroupIndex == 0 || !Parent()) return;
  TMessage m;
  m.Msg = CM_BUTTONPRESSED;
  m.WParam = static_cast<uintptr_t>(FGroupIndex);
  m.LParam = reinterpret_cast<intptr_t>(static_cast<TControl*>(this));
  Parent()->Broadcast(m);
}

TPoint TKvToolButton::ImageSize() const { return FImages ? Point(FImages->Width(), FImages->Height()) : Point(0, 0); }

bool TKvToolButton::HotTrackingLook() const {
  return FVisualStyle != TKvVisualStyle::vsClassic || FFlat;
}

void TKvToolButton::SelectionColors(TColor& Frame, TColor& Start, TColor& Stop) const {
  if (FGradientColorStyle == TKvGradientColorStyle::gcsCustom) {
    Frame = FSelectionFrameColor;
    Start = FSelectionColorStart;
    Stop = FSelectionColorStop;
  } else {
    KvSelectionColors(FGradientColorStyle, Frame, Start, Stop);
  }
}

void TKvToolButton::Paint() {
  if (!Enabled()) {
    FLook = lookDisabled;
    FPressing = false;
  } else if (FLook == lookDisabled) {
    FLook = FDown && FGroupIndex != 0 ? lookStayDown : lookUp;
  }
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  PaintFace(r);
  if (!FTransparent) {
    C->Brush()->SetStyle(TBrushStyle::bsSolid);
    C->Brush()->SetColor(Color());
    C->FillRect(r);
  }
  bool classicLike = FVisualStyle == TKvVisualStyle::vsClassic || (FVisualStyle == TKvVisualStyle::vsWinXP && !Themed());
  if (FLook == lookStayDown && classicLike && !(FFlat && FMouseInControl)) {
    TColor a = FTransparent ? clBtnFace : Color();
    TColor b = FTransparent ? clBtnHighlight : KvLighten(Color(), 20);
    TBitmap pattern(8, 8, TPixelFormat::pf24bit);
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 8; ++x) pattern.Canvas()->SetPixels(x, y, (x + y) % 2 ? b : a);
    C->Brush()->SetBitmap(&pattern);
    C->FillRect(r);
    C->Brush()->SetBitmap(nullptr);
  }
  if (IsDropDown()) PaintArrowPart();
  TRect ir, tr;
  ArrangeImageAndCaption(ir, tr);
  PaintImage(ir);
  PaintCaption(tr);
}

void TKvToolButton::PaintFace(TRect& R) {
  TCanvas* C = Canvas();
  bool designing = ComponentState().Contains(csDesigning);
  bool downLook = FLook == lookPressed || FLook == lookStayDown;
  if (HotTrackingLook()) {
    if (!downLook && !(FMouseInControl && FLook != lookDisabled) && FLook != lookMenu && !designing) return;
    if (FVisualStyle == TKvVisualStyle::vsGradient) {
      TColor frame, start, stop;
      SelectionColors(frame, start, stop);
      if (designing) {
        InflateRect(R, -1, -1);
        KvPaintCornerMarks(C, R, frame, 4);
        return;
      }
      R = KvPaintRectOutline(C, R, frame);
      TColor top = start, bottom = stop;
      if (FLook == lookPressed || FLook == lookMenu) {
        top = stop;
        bottom = start;
      } else if (FLook == lookStayDown && FMouseInControl) {
        if (FDown) {
          top = stop;
          bottom = start;
        }
      } else if (FLook == lookStayDown) {
        top = KvDarken(stop, 40);
        bottom = start;
      }
      KvDrawGradient(C, R, TGradientDirection::gdHorizontalEnd, top, bottom, 1);
    } else {
      R = KvPaintStyledFrame(C, R, downLook ? TFrameStyleEx::fsStatus : TFrameStyleEx::fsPopup);
    }
  } else {
    R = KvPaintStyledFrame(C, R, downLook ? TFrameStyleEx::fsLowered : TFrameStyleEx::fsButtonUp);
  }
}

void TKvToolButton::ArrangeImageAndCaption(TRect& ImageRect, TRect& TextRect) {
  TRect a = ClientRect();
  if (IsDropDown()) a.Right -= kKvToolArrowWidth;
  InflateRect(a, -2, -2);
  TPoint i = ImageSize();
  constexpr int32_t G = 4;
  if (FShowCaption && !Caption().empty()) {
    TRect t = a;
    switch (FLayout) {
      case TButtonLayout::blGlyphLeft: t.Left += i.X; break;
      case TButtonLayout::blGlyphRight: t.Right -= i.X; break;
      case TButtonLayout::blGlyphTop: t.Top += i.Y; break;
      case TButtonLayout::blGlyphBottom: t.Bottom -= i.Y; break;
    }
    KvCalcTextRect(*Font(), Caption(), t, DT_WORDBREAK | DT_EXPANDTABS | DT_CENTER);
    int32_t sw = t.Width(), sh = t.Height();
    int32_t ix = 0, iy = 0, tx = 0, ty = 0;
    // Image and caption one after the other along the layout's axis, centred as a pair.
    auto along = [](int32_t Start, int32_t End, int32_t Image, int32_t Text, bool ImageFirst, int32_t& I, int32_t& T) {
      int32_t q = (End - Start - (Image + G + Text)) / 2;
      I = ImageFirst ? Start + q : End - Image - q;
      T = ImageFirst ? I + Image + G : I - Text - G;
    };
    if (FLayout == TButtonLayout::blGlyphLeft || FLayout == TButtonLayout::blGlyphRight) {
      along(a.Left, a.Right, i.X, sw, FLayout == TButtonLayout::blGlyphLeft, ix, tx);
      iy = a.Top + (a.Height() - i.Y) / 2;
      ty = a.Top + (a.Height() - sh) / 2;
    } else {
      along(a.Top, a.Bottom, i.Y, sh, FLayout == TButtonLayout::blGlyphTop, iy, ty);
      ix = a.Left + (a.Width() - i.X) / 2;
      tx = a.Left + (a.Width() - sw) / 2;
    }
    ImageRect = Bounds(ix, iy, i.X, i.Y);
    TextRect = Bounds(tx, ty, sw, sh);
  } else {
    ImageRect = KvCenteredRect(a, i.X, i.Y);
    TextRect = TRect();
  }
  bool shifted = FLook == lookPressed || FLook == lookStayDown || (FLook == lookMenu && !DropDownClicks());
  if (shifted && FVisualStyle != TKvVisualStyle::vsGradient) {
    int32_t dy = Themed() ? 0 : 1;
    OffsetRect(ImageRect, 1, dy);
    OffsetRect(TextRect, 1, dy);
  }
}

void TKvToolButton::PaintImage(const TRect& R) {
  if (!FImages || FImageIndex == -1) return;
  bool downLook = FLook == lookPressed || FLook == lookStayDown || (FLook == lookMenu && IsDropDown() && !DropDownClicks());
  bool hot = FHotIndex != -1 && FMouseInControl && Enabled();
  int32_t index = FImageIndex;
  bool enabled = true;
  if (downLook && FDownIndex != -1) {
    index = FDownIndex;
  } else if (FDisabledIndex == -1) {
    index = hot ? FHotIndex : FImageIndex;
    enabled = Enabled();
  } else {
    index = !Enabled() ? FDisabledIndex : hot ? FHotIndex : FImageIndex;
  }
  if (index < 0 || index >= FImages->Count()) return;
  FImages->Draw(Canvas(), R.Left, R.Top, index, enabled);
}

void TKvToolButton::PaintCaption(const TRect& R) {
  if (!FShowCaption) return;
  TCanvas* C = Canvas();
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  C->Font()->Assign(*Font());
  TColor color = Font()->Color();
  if (FLook == lookPressed && FVisualStyle != TKvVisualStyle::vsGradient) color = clHighlightText;
  if (!Enabled()) color = clBtnShadow;
  KvDrawTextColored(C, Caption(), R, DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_EXPANDTABS, color);
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
}

void TKvToolButton::PaintArrowPart() {
  TCanvas* C = Canvas();
  int32_t x = Width() - kKvToolArrowWidth;
  bool gradient = FVisualStyle == TKvVisualStyle::vsGradient;
  bool clicks = DropDownClicks();
  TColor frame, start, stop;
  KvSelectionColors(FGradientColorStyle, frame, start, stop);
  C->Pen()->SetWidth(1);
  if (FLook == lookMenu) {
    TRect part = clicks ? Rect(x - 1, 0, Width(), Height()) : ClientRect();
    if (gradient) {
      TRect in = KvPaintRectOutline(C, part, frame);
      KvDrawGradient(C, in, TGradientDirection::gdHorizontalEnd, stop, start, 1);
    } else {
      KvPaintStyledFrame(C, clicks ? Rect(x, 0, Width(), Height()) : ClientRect(), TFrameStyleEx::fsStatus);
    }
  } else if ((HotTrackingLook() && FMouseInControl && Enabled()) || (!HotTrackingLook() && Enabled())) {
    if (FLook == lookPressed && !gradient) ++x;
    if (clicks) {
      if (gradient) {
        C->Pen()->SetColor(frame);
        KvLine(C, x - 1, 0, x - 1, Height());
      } else if (FLook != lookPressed) {
        C->Pen()->SetColor(clBtnHighlight);
        KvLine(C, x, 0, x, Height());
        C->Pen()->SetColor(clBtnShadow);
        KvLine(C, x - 1, 0, x - 1, Height());
      }
    }
  }
  int32_t cx = Width() - 8, cy = Height() / 2 + 2;
  if ((FLook == lookPressed || FLook == lookMenu) && !gradient) {
    ++cx;
    ++cy;
  }
  TColor arrow = Enabled() ? clWindowText : clBtnShadow;
  C->Pen()->SetColor(arrow);
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(arrow);
  TPoint tri[] = {Point(cx, cy), Point(cx - 2, cy - 2), Point(cx + 2, cy - 2)};
  C->Polygon(tri, 3);
}

void TKvToolButton::DoDropDown() {
  if (OnDropDown) OnDropDown(FDropDownMenu);
}

void TKvToolButton::ShowDropDownMenu() {
  FMenuShowing = true;
  struct TClear {
    bool& Flag;
    ~TClear() { Flag = false; }
  } clear{FMenuShowing};
  DoDropDown();
  if (!FDropDownMenu) return;
  TPoint p = ClientToScreen(Point(0, Height()));
  int32_t menuWidth = KvMenuDropWidth(FDropDownMenu);
  TKvMonitor monitor = KvMonitorAtPoint(p);
  int32_t right = monitor != KvNoMonitor ? KvWorkAreaOfMonitor(monitor).Right
                                         : (Parent() ? KvWorkAreaWidthOfWindow(Parent()) : Screen->Width());
  if (right < p.X + menuWidth) p.X += Width() - menuWidth;
  FDropDownMenu->SetPopupComponent(this);
  FDropDownMenu->Popup(p.X, p.Y);
}

void TKvToolButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  bool left = Button == TMouseButton::mbLeft;
  if (!IsDropDown()) {
    if (left && Enabled()) {
      if (!(FDown && FLook != lookStayDown)) {
        FLook = lookPressed;
        Invalidate();
      }
      FPressing = true;
    }
    return;
  }
  bool onlyLeft = Shift.Contains(ssLeft) && !Shift.Contains(ssShift) && !Shift.Contains(ssCtrl) &&
                  !Shift.Contains(ssAlt) && !Shift.Contains(ssRight) && !Shift.Contains(ssMiddle);
  bool menuPress = FDropDownMenu && onlyLeft && (InArrowPart(X) || !DropDownClicks());
  if (!menuPress) {
    if (!FClickArmed) {
      FClickArmed = true;
    } else if (left && Enabled()) {
      if (!FDown) FLook = lookPressed;
      FPressing = true;
      Invalidate();
    }
    return;
  }
  if (FDropDownMenu->Items()->Count() == 0) return;
  uint64_t now = UiTickCount();
  if (FLastDropDownTime != 0 && now - FLastDropDownTime < kMenuReopenGuardMs) {
    FClickArmed = true;
    FLastDropDownTime = 0;
    ReleaseCapture();
  } else {
    FLook = lookMenu;
    Repaint();
    ShowDropDownMenu();
    FClickArmed = false;
    FLastDropDownTime = UiTickCount();
  }
  MouseUp(Button, Shift, X, Y);
}

void TKvToolButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (FPressing) {
    bool inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight();
    uint8_t look = FDown ? lookStayDown : inside ? lookPressed : lookUp;
    if (look != FLook) {
      FLook = look;
      Invalidate();
    }
  } else if (!FMouseInControl) {
    SyncHover();
  }
}

void TKvToolButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (FPressing) {
    FPressing = false;
    bool inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight();
    bool refused = false;
    if (FGroupIndex == 0) {
      FLook = lookUp;
      FMouseInControl = false;
      if (inside) Repaint();
    } else if (inside) {
      bool was = FDown;
      SetDown(!FDown);
      refused = FDown == was;
      if (FDown) {
        FLook = lookStayDown;
        Repaint();
      }
    } else {
      if (FDown) FLook = lookStayDown;
      Repaint();
    }
    if (inside && !refused) Click();
    SyncHover();
  }
  if (IsDropDown()) {
    if (!PtInRect(ClientRect(), ScreenToClient(GetCursorPos()))) FClickArmed = true;
    FLook = FDown ? lookStayDown : lookUp;
    Repaint();
    SyncHover();
  }
}

void TKvToolButton::SyncHover() {
  if (!HotTrackingLook() || !Enabled() || !Parent() || ComponentState().Contains(csDestroying)) return;
  TPoint p = Parent()->ScreenToClient(GetCursorPos());
  bool under = Parent()->ControlAtPos(p, true) == this;
  if (under != FMouseInControl) Perform(under ? CM_MOUSEENTER : CM_MOUSELEAVE, 0, 0);
}

void TKvToolButton::Click() {
  if (IsDropDown() && !FClickArmed) return;
  TGraphicControl::Click();
}

void TKvToolButton::CMMouseEnter(TMessage& Message) {
  if (ComponentState().Contains(csDesigning)) return;
  FMouseInControl = true;
  TGraphicControl::CMMouseEnter(Message);
  if (OnMouseEnter) OnMouseEnter(this);
  if (HotTrackingLook()) Repaint();
}

void TKvToolButton::CMMouseLeave(TMessage& Message) {
  if (ComponentState().Contains(csDesigning)) return;
  if (!FMenuShowing) FMouseInControl = false;
  TGraphicControl::CMMouseLeave(Message);
  if (OnMouseLeave) OnMouseLeave(this);
  if (HotTrackingLook()) Repaint();
}

void TKvToolButton::CMTextChanged(TMessage& Message) {
  TGraphicControl::CMTextChanged(Message);
  if (Parent()) RequestToolbarSettings();
  Invalidate();
}

void TKvToolButton::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<uint32_t>(M.WParam), Caption()) && Enabled() && Visible() && Parent() &&
          Parent()->Showing()) {
        if (!IsDropDown() || DropDownClicks()) Click();
        else ShowDropDownMenu();
        M.Result = 1;
        return;
      }
      break;
    case CM_BUTTONPRESSED: {
      auto* sender = dynamic_cast<TKvToolButton*>(reinterpret_cast<TControl*>(M.LParam));
      if (sender && sender != this && static_cast<int32_t>(M.WParam) == FGroupIndex) {
        if (sender->FDown && FDown) {
          FDown = false;
          FLook = lookUp;
          Invalidate();
        }
        FAllowAllUp = sender->FAllowAllUp;
      }
      return;
    }
    case kToolbarShowCaptionMsg:
    case kToolbarLayoutMsg:
    case kToolbarSizeMsg:
    case kToolbarVisualStyleMsg:
      // Only a toolbar container would hand settings down; no parent here is one.
      return;
  }
  TGraphicControl::Dispatch(M);
}

// ---- Published properties ---------------------------------------------------------------------------

void RegisterKvToolButtonProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterIntegerProperty<TKvToolButton>("ImageIndex", [](TKvToolButton* c, int64_t v) { c->SetImageIndex(int32_t(v)); },
                                         [](const TKvToolButton* c) { return int64_t(c->ImageIndex()); });
  RegisterIntegerProperty<TKvToolButton>("GroupIndex", [](TKvToolButton* c, int64_t v) { c->SetGroupIndex(int32_t(v)); },
                                         [](const TKvToolButton* c) { return int64_t(c->GroupIndex()); });
  RegisterIntegerProperty<TKvToolButton>(
      "DisabledIndex", [](TKvToolButton* c, int64_t v) { c->SetDisabledIndex(int32_t(v)); },
      [](const TKvToolButton* c) { return int64_t(c->DisabledIndex()); });
  for (const char* n : {"AllowAllUp", "Down", "Flat", "Layout", "ToolStyle", "ShowCaption",
                        "VisualStyle", "GradientColorStyle", "UseToolbarButtonLayout", "UseToolbarButtonSize",
                        "UseToolbarShowCaption", "UseToolbarVisualStyle"})
    RegisterOtherProperty<TKvToolButton>(n, TTypeKind::tkEnumeration);
  KvRegisterTransparentProperty<TKvToolButton>();
  // Older forms: the gradient colours had other names, UseGradients meant the gradient look.
  using T = TKvToolButton;
  for (const char* old : {"GradientColorDefault", "ThemeAware"})
    KvRegisterObsoleteProperty<T>(old, [](T*, const std::string&) {});
  auto colour = [](const char* Old, void (T::*Set)(TColor)) {
    KvRegisterObsoleteProperty<T>(Old, [Set](T* c, const std::string& v) {
      TColor col;
      if (KvStringToColor(v, col)) (c->*Set)(col);
    });
  };
  colour("GradientColorStart", &T::SetSelectionColorStart);
  colour("GradientColorStop", &T::SetSelectionColorStop);
  colour("FrameColor", &T::SetSelectionFrameColor);
  KvRegisterObsoleteProperty<T>("UseGradients", [](T* c, const std::string& v) {
    if (KvTextIsTrue(v)) c->SetVisualStyle(TKvVisualStyle::vsGradient);
  });
}

std::unique_ptr<TControlActionLink> TKvToolButton::CreateActionLink() {
  return std::make_unique<TKvToolButtonActionLink>(this);
}

void TKvToolButton::ActionChange(TObject* Sender, bool CheckDefaults) {
  TGraphicControl::ActionChange(Sender, CheckDefaults);
  auto* a = dynamic_cast<TCustomAction*>(Sender);
  if (!a) return;
  if (!CheckDefaults || !Down()) SetDown(a->Checked());
  if (!CheckDefaults || ImageIndex() == -1) SetImageIndex(a->ImageIndex());
}

void TKvToolButton::AssignTo(TPersistent* Dest) {
  if (auto* a = dynamic_cast<TCustomAction*>(Dest)) {
    a->SetCaption(Caption());
    a->SetEnabled(Enabled());
    a->SetHint(Hint());
    a->SetVisible(Visible());
    a->SetChecked(Down());
    a->SetImageIndex(ImageIndex());
    return;
  }
  TGraphicControl::AssignTo(Dest);
}
