// TControl, TWinControl, TGraphicControl, TCustomControl: geometry, messages, painting, focus.
#include "platform/ui/controls.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "platform/ui/actions.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/ui_internal.h"

namespace {

// Controls whose canvas is bound for the paint pass in progress.
std::vector<const TControl*>& PaintingControls() {
  static std::vector<const TControl*> v;
  return v;
}
bool IsPainting(const TControl* C) {
  auto& v = PaintingControls();
  return std::find(v.begin(), v.end(), C) != v.end();
}

// Scratch pixels for a control that is not on a showing form.
struct TScratch {
  std::unique_ptr<TBitmap> Bitmap;
};
std::map<const TControlCanvas*, TScratch>& Scratches() {
  static std::map<const TControlCanvas*, TScratch> m;
  return m;
}

TCustomForm* RootForm(const TControl* C) {
  const TControl* c = C;
  while (c->Parent()) c = c->Parent();
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

std::string Utf8Of(uint32_t cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18));
    s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

uint32_t CodeOf(const std::string& s) {
  if (s.empty()) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  if (p[0] < 0x80) return p[0];
  if ((p[0] & 0xE0) == 0xC0 && s.size() >= 2) return ((p[0] & 0x1F) << 6) | (p[1] & 0x3F);
  if ((p[0] & 0xF0) == 0xE0 && s.size() >= 3) return ((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
  if (s.size() >= 4) return ((p[0] & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
  return 0;
}

}  // namespace

// ---- geometry helpers shared with forms and menus --------------------------------------------

bool ControlWindowRect(const TControl* C, TRect& R) {
  if (!C) return false;
  if (!RootForm(C)) return false;
  int32_t x = C->Left(), y = C->Top();
  if (!C->Parent()) {
    R = Rect(0, 0, C->Width(), C->Height());
    return true;
  }
  for (const TWinControl* p = C->Parent(); p; p = p->Parent()) {
    TRect in = p->NonClientInsets();
    x += in.Left;
    y += in.Top;
    if (p->Parent()) {
      x += p->Left();
      y += p->Top();
    }
  }
  R = Bounds(x, y, C->Width(), C->Height());
  return true;
}

bool ControlClientOrigin(const TControl* C, TPoint& P) {
  TRect r;
  if (!ControlWindowRect(C, r)) return false;
  P = r.TopLeft();
  if (auto* w = dynamic_cast<const TWinControl*>(C)) {
    TRect in = w->NonClientInsets();
    P.X += in.Left;
    P.Y += in.Top;
  }
  return true;
}

// Visible part of a control's client area in window coordinates (clipped by every parent).
static bool VisibleClientInWindow(const TControl* C, TRect& R) {
  TPoint o;
  if (!ControlClientOrigin(C, o)) return false;
  TRect cr = C->ClientRect();
  R = Bounds(o.X, o.Y, cr.Width(), cr.Height());
  for (const TWinControl* p = C->Parent(); p; p = p->Parent()) {
    TPoint po;
    ControlClientOrigin(p, po);
    TRect pr = p->ClientRect();
    if (!IntersectRect(R, R, Bounds(po.X, po.Y, pr.Width(), pr.Height()))) return false;
  }
  return !IsRectEmpty(R);
}

void BindControlCanvas(TControl* C, TControlCanvas* Canvas, bool ForPaint) {
  TCustomForm* f = RootForm(C);
  TRect vis;
  if (f && f->Showing() && f->BackBuffer() && C->Showing() && VisibleClientInWindow(C, vis)) {
    TPoint o;
    ControlClientOrigin(C, o);
    if (Canvas->Bitmap() != f->BackBuffer()) Canvas->SetBitmap(f->BackBuffer());
    SelectClipRgn(Canvas, nullptr);
    SetViewportOrgEx(Canvas, o.X, o.Y, nullptr);
    IntersectClipRect(Canvas, vis.Left - o.X, vis.Top - o.Y, vis.Right - o.X, vis.Bottom - o.Y);
    // Windowed children paint themselves.
    if (auto* w = dynamic_cast<TWinControl*>(C))
      for (int32_t i = 0; i < w->ControlCount(); ++i) {
        auto* cw = dynamic_cast<TWinControl*>(w->Controls(i));
        if (cw && cw->Visible()) {
          TRect b = cw->BoundsRect();
          ExcludeClipRect(Canvas, b.Left, b.Top, b.Right, b.Bottom);
        }
      }
    if (!ForPaint) f->MarkDirty(vis);
    return;
  }
  auto& sc = Scratches()[Canvas];
  int32_t w = std::max(1, C->ClientWidth()), h = std::max(1, C->ClientHeight());
  if (!sc.Bitmap) sc.Bitmap = std::make_unique<TBitmap>(w, h, TPixelFormat::pf32bit);
  else if (sc.Bitmap->Width() != w || sc.Bitmap->Height() != h) sc.Bitmap->SetSize(w, h);
  if (Canvas->Bitmap() != sc.Bitmap.get()) Canvas->SetBitmap(sc.Bitmap.get());
  SelectClipRgn(Canvas, nullptr);
  SetViewportOrgEx(Canvas, 0, 0, nullptr);
}

TCustomForm* GetParentForm(const TControl* Control) {
  for (const TControl* c = Control; c; c = c->Parent())
    if (auto* f = dynamic_cast<const TCustomForm*>(c)) return const_cast<TCustomForm*>(f);
  return nullptr;
}

int32_t GetSystemMetrics(int32_t Index) {
  switch (Index) {
    case SM_CXSCREEN: return Screen ? Screen->Width() : 1280;
    case SM_CYSCREEN: return Screen ? Screen->Height() : 1024;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 17;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CYMENU: return 20;
    case SM_CXMENUCHECK:
    case SM_CYMENUCHECK: return 13;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_SWAPBUTTON: return 0;
    case SM_REMOTESESSION: return 0;
    default: return 0;
  }
}

uint32_t GetDoubleClickTime() { return 500; }

// ---- TControl -------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), FFont(std::make_unique<TFont>()) {
  FControlStyle = TControlStyle{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  FFont->OnChange = [this](TGraphicsObject*) { FontChanged(); };
}

TControl::~TControl() {
  TUiCore::ControlDestroyed(this);
  if (FParent) FParent->RemoveControl(this);
  if (FControlCanvas) Scratches().erase(FControlCanvas.get());
}

void TControl::FontChanged() {
  if (!FFontFromParent) FParentFont = false;
  Perform(CM_FONTCHANGED, 0, 0);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (FParent) FParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (FConstraints.MinWidth > 0 && AWidth < FConstraints.MinWidth) AWidth = FConstraints.MinWidth;
  if (FConstraints.MaxWidth > 0 && AWidth > FConstraints.MaxWidth) AWidth = FConstraints.MaxWidth;
  if (FConstraints.MinHeight > 0 && AHeight < FConstraints.MinHeight) AHeight = FConstraints.MinHeight;
  if (FConstraints.MaxHeight > 0 && AHeight > FConstraints.MaxHeight) AHeight = FConstraints.MaxHeight;
  if (AWidth < 0) AWidth = 0;
  if (AHeight < 0) AHeight = 0;
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  if (FParent) Invalidate();  // old place
  bool sized = AWidth != FWidth || AHeight != FHeight;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  BoundsChanged();
  Invalidate();
  bool loading = ComponentState().Contains(csLoading);
  if (sized && !loading) {
    if (dynamic_cast<TWinControl*>(this))
      Perform(WM_SIZE, 0, MakeLParam(ClientWidth(), ClientHeight()));
    else
      Resize();
  }
  if (FParent && FAlign != TAlign::alNone && !FParent->FAligning) FParent->Realign();
}

TRect TControl::ClientRect() const { return Rect(0, 0, FWidth, FHeight); }

void TControl::SetClientWidth(int32_t v) { SetWidth(v + (FWidth - ClientWidth())); }
void TControl::SetClientHeight(int32_t v) { SetHeight(v + (FHeight - ClientHeight())); }
void TControl::SetClientSize(int32_t w, int32_t h) {
  SetBounds(FLeft, FTop, w + (FWidth - ClientWidth()), h + (FHeight - ClientHeight()));
}

TPoint TControl::ClientOrigin() const {
  TPoint o;
  if (ControlClientOrigin(this, o)) {
    TCustomForm* f = RootForm(this);
    return Point(o.X + f->Left(), o.Y + f->Top());
  }
  // Not on a form: the parents' offsets alone.
  int32_t x = FLeft, y = FTop;
  if (auto* w = dynamic_cast<const TWinControl*>(this)) {
    TRect in = w->NonClientInsets();
    x += in.Left;
    y += in.Top;
  }
  for (const TWinControl* p = FParent; p; p = p->Parent()) {
    TRect in = p->NonClientInsets();
    x += p->Left() + in.Left;
    y += p->Top() + in.Top;
  }
  return Point(x, y);
}

TPoint TControl::ClientToScreen(const TPoint& P) const {
  TPoint o = ClientOrigin();
  return Point(P.X + o.X, P.Y + o.Y);
}

TPoint TControl::ScreenToClient(const TPoint& P) const {
  TPoint o = ClientOrigin();
  return Point(P.X - o.X, P.Y - o.Y);
}

TPoint TControl::ClientToParent(const TPoint& P, TWinControl* AParent) const {
  TPoint s = ClientToScreen(P);
  TWinControl* p = AParent ? AParent : FParent;
  return p ? p->ScreenToClient(s) : s;
}

TPoint TControl::ParentToClient(const TPoint& P, TWinControl* AParent) const {
  TWinControl* p = AParent ? AParent : FParent;
  TPoint s = p ? p->ClientToScreen(P) : P;
  return ScreenToClient(s);
}

void TControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  VisibleChanging();
  if (!Value) Invalidate();
  FVisible = Value;
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
  if (Value) Invalidate();
  if (FParent && !FParent->FAligning) FParent->Realign();
}

void TControl::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

bool TControl::Showing() const { return FVisible && FParent && FParent->Showing(); }

void TControl::SetAlign(TAlign Value) {
  if (Value == FAlign) return;
  FAlign = Value;
  if (FParent) FParent->Realign();
}

void TControl::SetColor(TColor Value) {
  if (Value == FColor) {
    FParentColor = false;
    return;
  }
  FColor = Value;
  FParentColor = false;
  Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentColor(bool Value) {
  if (Value == FParentColor) return;
  FParentColor = Value;
  if (Value && FParent) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TControl::SetFont(const TFont& Value) { FFont->Assign(Value); }

void TControl::SetParentFont(bool Value) {
  if (Value == FParentFont) return;
  FParentFont = Value;
  if (Value && FParent) Perform(CM_PARENTFONTCHANGED, 0, 0);
}

void TControl::ParentFontChanged() {
  if (!FParentFont || !FParent) return;
  FFontFromParent = true;
  FFont->Assign(*FParent->Font());
  FFontFromParent = false;
  FParentFont = true;
}

void TControl::ParentColorChanged() {
  if (!FParentColor || !FParent) return;
  if (FColor != FParent->Color()) {
    FColor = FParent->Color();
    Perform(CM_COLORCHANGED, 0, 0);
  }
  FParentColor = true;
}

void TControl::SetText(const std::string& Value) {
  if (Value == FText) return;
  FText = Value;
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetShowHint(bool Value) {
  FShowHint = Value;
  FParentShowHint = false;
  Perform(CM_SHOWHINTCHANGED, 0, 0);
}

void TControl::SetParentShowHint(bool Value) {
  FParentShowHint = Value;
  if (Value && FParent) FShowHint = FParent->ShowHint();
}

void TControl::SetCursor(TCursor Value) {
  if (Value == FCursor) return;
  FCursor = Value;
  Perform(CM_CURSORCHANGED, 0, 0);
  if (TUiCore::MouseControl == this) TUiCore::UpdateCursor(this);
}

void TControl::SetPopupMenu(TPopupMenu* Value) {
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  FPopupMenu = Value;
  if (Value) Value->FreeNotification(this);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupMenu) FPopupMenu = nullptr;
}

void TControl::Loaded() {
  TComponent::Loaded();
  if (FParent) {
    if (FParentColor) ParentColorChanged();
    if (FParentFont) ParentFontChanged();
  }
}

void TControl::Invalidate() {
  if (!Showing()) return;
  TRect r;
  if (!ControlWindowRect(this, r)) return;
  RootForm(this)->InvalidateWindowRect(r);
}

void TControl::Update() {
  if (FParent) FParent->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::BringToFront() {
  if (!FParent) return;
  auto& v = FParent->FControls;
  v.erase(std::find(v.begin(), v.end(), this));
  v.push_back(this);
  Invalidate();
}

void TControl::SendToBack() {
  if (!FParent) return;
  auto& v = FParent->FControls;
  v.erase(std::find(v.begin(), v.end(), this));
  v.insert(v.begin(), this);
  Invalidate();
}

intptr_t TControl::Perform(uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  TMessage m;
  m.Msg = Msg;
  m.WParam = WParam;
  m.LParam = LParam;
  if (WindowProc) WindowProc(m);
  else WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& Message) { Dispatch(Message); }

void TControl::DefaultHandler(TMessage& Message) {}

void TControl::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_MOUSEMOVE: WMMouseMove(M); break;
    case WM_LBUTTONDOWN: WMLButtonDown(M); break;
    case WM_LBUTTONUP: WMLButtonUp(M); break;
    case WM_LBUTTONDBLCLK: WMLButtonDblClk(M); break;
    case WM_RBUTTONDOWN: WMRButtonDown(M); break;
    case WM_RBUTTONUP: WMRButtonUp(M); break;
    case WM_RBUTTONDBLCLK: WMRButtonDblClk(M); break;
    case WM_MBUTTONDOWN: WMMButtonDown(M); break;
    case WM_MBUTTONUP: WMMButtonUp(M); break;
    case WM_MBUTTONDBLCLK: WMMButtonDblClk(M); break;
    case WM_MOUSEWHEEL: WMMouseWheel(M); break;
    case WM_CONTEXTMENU: WMContextMenu(M); break;
    case WM_CANCELMODE: WMCancelMode(M); break;
    case WM_SIZE: WMSize(M); break;
    case CM_MOUSEENTER: CMMouseEnter(M); break;
    case CM_MOUSELEAVE: CMMouseLeave(M); break;
    case CM_ENABLEDCHANGED: CMEnabledChanged(M); break;
    case CM_VISIBLECHANGED: CMVisibleChanged(M); break;
    case CM_TEXTCHANGED: CMTextChanged(M); break;
    case CM_FONTCHANGED: CMFontChanged(M); break;
    case CM_COLORCHANGED: CMColorChanged(M); break;
    case CM_PARENTCOLORCHANGED: CMParentColorChanged(M); break;
    case CM_PARENTFONTCHANGED: CMParentFontChanged(M); break;
    case CM_PARENTSHOWHINTCHANGED: CMParentShowHintChanged(M); break;
    case CM_HITTEST: CMHitTest(M); break;
    case CM_DESIGNHITTEST: CMDesignHitTest(M); break;
    case CM_DIALOGCHAR: CMDialogChar(M); break;
    case CM_HINTSHOW: CMHintShow(M); break;
    case CM_SYSCOLORCHANGE: CMSysColorChange(M); break;
    default: DefaultHandler(M); break;
  }
}

void TControl::DoMouseDownMsg(TMessage& M, TMouseButton Button, TShiftState Extra) {
  if (FControlStyle.Contains(csNoStdEvents)) return;
  MouseDown(Button, KeysToShiftState(static_cast<uint32_t>(M.WParam)) + Extra, M.XPos(), M.YPos());
}

void TControl::DoMouseUpMsg(TMessage& M, TMouseButton Button) {
  if (FControlStyle.Contains(csNoStdEvents)) return;
  MouseUp(Button, KeysToShiftState(static_cast<uint32_t>(M.WParam)), M.XPos(), M.YPos());
}

void TControl::WMMouseMove(TMessage& M) {
  if (!FControlStyle.Contains(csNoStdEvents))
    MouseMove(KeysToShiftState(static_cast<uint32_t>(M.WParam)), M.XPos(), M.YPos());
}

void TControl::WMLButtonDown(TMessage& M) {
  if (FControlStyle.Contains(csCaptureMouse)) SetMouseCapture(true);
  if (FControlStyle.Contains(csClickEvents)) FControlState.Include(csClicked);
  FControlState.Include(csLButtonDown);
  DoMouseDownMsg(M, TMouseButton::mbLeft, {});
}

void TControl::WMLButtonDblClk(TMessage& M) {
  if (FControlStyle.Contains(csCaptureMouse)) SetMouseCapture(true);
  if (FControlStyle.Contains(csClickEvents)) DblClick();
  FControlState.Include(csLButtonDown);
  DoMouseDownMsg(M, TMouseButton::mbLeft, TShiftState(ssDouble));
}

void TControl::WMLButtonUp(TMessage& M) {
  if (FControlStyle.Contains(csCaptureMouse)) SetMouseCapture(false);
  FControlState.Exclude(csLButtonDown);
  if (FControlState.Contains(csClicked)) {
    FControlState.Exclude(csClicked);
    if (PtInRect(ClientRect(), Point(M.XPos(), M.YPos()))) Click();
  }
  DoMouseUpMsg(M, TMouseButton::mbLeft);
}

void TControl::WMRButtonDown(TMessage& M) { DoMouseDownMsg(M, TMouseButton::mbRight, {}); }
void TControl::WMRButtonUp(TMessage& M) { DoMouseUpMsg(M, TMouseButton::mbRight); }
void TControl::WMRButtonDblClk(TMessage& M) { DoMouseDownMsg(M, TMouseButton::mbRight, TShiftState(ssDouble)); }
void TControl::WMMButtonDown(TMessage& M) { DoMouseDownMsg(M, TMouseButton::mbMiddle, {}); }
void TControl::WMMButtonUp(TMessage& M) { DoMouseUpMsg(M, TMouseButton::mbMiddle); }
void TControl::WMMButtonDblClk(TMessage& M) { DoMouseDownMsg(M, TMouseButton::mbMiddle, TShiftState(ssDouble)); }

void TControl::WMMouseWheel(TMessage& M) {
  int16_t delta = static_cast<int16_t>(M.WParamHi());
  TShiftState s = KeysToShiftState(M.WParamLo());
  M.Result = DoMouseWheel(s, delta, Point(M.XPos(), M.YPos())) ? 1 : 0;
}

void TControl::WMContextMenu(TMessage& M) {
  TPoint p(M.XPos(), M.YPos());
  bool handled = false;
  if (OnContextPopup) OnContextPopup(this, ScreenToClient(p), handled);
  if (handled) {
    M.Result = 1;
    return;
  }
  if (FPopupMenu && FPopupMenu->AutoPopup()) {
    FPopupMenu->SetPopupComponent(this);
    FPopupMenu->Popup(p.X, p.Y);
    M.Result = 1;
  }
}

void TControl::WMCancelMode(TMessage&) { SetMouseCapture(false); }

void TControl::WMSize(TMessage&) {
  if (!ComponentState().Contains(csLoading)) Resize();
}

void TControl::CMMouseEnter(TMessage&) {}
void TControl::CMMouseLeave(TMessage&) {}
void TControl::CMEnabledChanged(TMessage&) { Invalidate(); }
void TControl::CMVisibleChanged(TMessage&) {}
void TControl::CMTextChanged(TMessage&) { Invalidate(); }
void TControl::CMFontChanged(TMessage&) { Invalidate(); }
void TControl::CMColorChanged(TMessage&) { Invalidate(); }
void TControl::CMParentColorChanged(TMessage&) { ParentColorChanged(); }
void TControl::CMParentFontChanged(TMessage&) { ParentFontChanged(); }
void TControl::CMParentShowHintChanged(TMessage&) {
  if (FParentShowHint && FParent) FShowHint = FParent->ShowHint();
}
void TControl::CMHitTest(TMessage& M) { M.Result = HTCLIENT; }
void TControl::CMDesignHitTest(TMessage& M) { M.Result = 0; }
void TControl::CMDialogChar(TMessage& M) { M.Result = 0; }
void TControl::CMHintShow(TMessage& M) { M.Result = 0; }
void TControl::CMSysColorChange(TMessage&) { Invalidate(); }

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

bool TControl::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
  if (!handled) {
    if (WheelDelta < 0) handled = DoMouseWheelDown(Shift, MousePos);
    else if (WheelDelta > 0) handled = DoMouseWheelUp(Shift, MousePos);
  }
  return handled;
}

bool TControl::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
  bool handled = false;
  if (OnMouseWheelDown) OnMouseWheelDown(this, Shift, MousePos, handled);
  return handled;
}

bool TControl::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
  bool handled = false;
  if (OnMouseWheelUp) OnMouseWheelUp(this, Shift, MousePos, handled);
  return handled;
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::Click() {
  if (OnClick)
    OnClick(this);
  else if (FActionLink)
    FActionLink->Execute(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

bool TControl::MouseCapture() const { return TUiCore::Capture == this; }

void TControl::SetMouseCapture(bool Value) {
  if (Value) {
    TUiCore::Capture = this;
    if (Application && Application->Backend()) Application->Backend()->CaptureMouse(true);
  } else if (TUiCore::Capture == this) {
    TUiCore::Capture = nullptr;
    if (Application && Application->Backend()) Application->Backend()->CaptureMouse(false);
  }
}

TCustomForm* TControl::ParentForm() const { return GetParentForm(this); }

bool TControl::WindowRectInForm(TRect& R) const { return ControlWindowRect(this, R); }

TControlCanvas* TControl::ControlCanvas() const {
  if (!FControlCanvas) FControlCanvas = std::make_unique<TControlCanvas>(const_cast<TControl*>(this));
  if (!IsPainting(this)) BindControlCanvas(const_cast<TControl*>(this), FControlCanvas.get(), false);
  return FControlCanvas.get();
}

// ---- TWinControl ----------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner), FBrush(std::make_unique<TBrush>()) {
  FBrush->SetColor(Color());
}

TWinControl::~TWinControl() {
  // Children go with their parent, last first.
  while (!FControls.empty()) {
    TControl* c = FControls.back();
    RemoveControl(c);
    c->BeforeDestruction();
    delete c;
  }
  DestroyHandle();
}

void TWinControl::InsertControl(TControl* AControl) {
  if (!AControl || AControl->FParent == this) return;
  if (AControl->FParent) AControl->FParent->RemoveControl(AControl);
  FControls.push_back(AControl);
  AControl->FParent = this;
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
    int32_t at = w->FTabOrderHint;
    if (at >= 0 && at < static_cast<int32_t>(FTabList.size())) FTabList.insert(FTabList.begin() + at, w);
    else FTabList.push_back(w);
    w->FTabOrderHint = -1;
    if (HandleAllocated()) w->HandleNeeded();
  }
  if (!AControl->ComponentState().Contains(csLoading)) {
    if (AControl->FParentColor) AControl->ParentColorChanged();
    if (AControl->FParentFont) AControl->ParentFontChanged();
    if (AControl->FParentShowHint) AControl->FShowHint = ShowHint();
  }
  Perform(CM_CONTROLCHANGE, reinterpret_cast<uintptr_t>(AControl), 1);
  if (AControl->Align() != TAlign::alNone) Realign();
  AControl->Invalidate();
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(FControls.begin(), FControls.end(), AControl);
  if (it == FControls.end()) return;
  AControl->Invalidate();
  // Focus inside the control moves back to its form.
  if (TCustomForm* f = GetParentForm(this)) {
    for (TWinControl* a = f->FActiveControl; a; a = a->Parent())
      if (a == AControl) {
        f->FActiveControl = nullptr;
        if (TUiCore::Focus && (TUiCore::Focus == AControl || static_cast<TWinControl*>(AControl)->ContainsControl(TUiCore::Focus)))
          TUiCore::Focus = f->Showing() ? f : nullptr;
        break;
      }
  }
  FControls.erase(it);
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
    auto t = std::find(FTabList.begin(), FTabList.end(), w);
    if (t != FTabList.end()) FTabList.erase(t);
  }
  AControl->FParent = nullptr;
  Perform(CM_CONTROLCHANGE, reinterpret_cast<uintptr_t>(AControl), 0);
  if (AControl->Align() != TAlign::alNone) Realign();
}

bool TWinControl::ContainsControl(const TControl* Control) const {
  for (const TControl* c = Control; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

TControl* TWinControl::ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls) const {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    TControl* c = *it;
    bool win = dynamic_cast<TWinControl*>(c) != nullptr;
    if (win && !AllowWinControls) continue;
    if (!c->Visible() || (!AllowDisabled && !c->Enabled())) continue;
    TPoint p(Pos.X - c->Left(), Pos.Y - c->Top());
    if (!PtInRect(Rect(0, 0, c->Width(), c->Height()), p)) continue;
    if (c->Perform(CM_HITTEST, 0, MakeLParam(p.X, p.Y)) == HTTRANSPARENT) continue;
    return c;
  }
  // Graphic controls lie under windowed siblings: a second pass only when windowed were skipped.
  return nullptr;
}

HWND TWinControl::Handle() {
  HandleNeeded();
  return FHandle;
}

void TWinControl::HandleNeeded() {
  if (FHandle == 0) CreateHandle();
}

const TCreateParams& TWinControl::Params() const {
  if (!FParamsValid) {
    auto* self = const_cast<TWinControl*>(this);
    TCreateParams p;
    self->CreateParams(p);
    self->FParams = p;
    self->FParamsValid = true;
    if (p.Style & WS_HSCROLL) self->FScroll[SB_HORZ].Visible = true;
    if (p.Style & WS_VSCROLL) self->FScroll[SB_VERT].Visible = true;
  }
  return FParams;
}

void TWinControl::CreateParams(TCreateParams& P) {
  P.Caption = Text();
  P.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (Parent() == nullptr) P.Style = WS_POPUP;
  if (Visible()) P.Style |= WS_VISIBLE;
  if (!Enabled()) P.Style |= WS_DISABLED;
  if (FTabStop) P.Style |= WS_TABSTOP;
  P.X = Left();
  P.Y = Top();
  P.Width = Width();
  P.Height = Height();
  P.WindowClassStyle = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
}

void TWinControl::CreateHandle() {
  if (FHandle) return;
  // Styles are read again now that the whole object exists; a changed frame resizes the client.
  TRect before = NonClientInsets();
  FParamsValid = false;
  Params();
  FHandle = TUiCore::NewHandle(this, nullptr);
  ++FCreateCount;
  CreateWnd();
  if (!(NonClientInsets() == before) && !ComponentState().Contains(csLoading)) {
    AlignAll();
    Perform(WM_SIZE, 0, MakeLParam(ClientWidth(), ClientHeight()));
  }
  for (TWinControl* w : FTabList) w->HandleNeeded();
}

void TWinControl::Loaded() {
  TControl::Loaded();
  FParamsValid = false;
  FLastClientW = ClientWidth();
  FLastClientH = ClientHeight();
  AlignAll();
}

void TWinControl::CreateWnd() { Perform(WM_CREATE, 0, 0); }

void TWinControl::DestroyWnd() {}

void TWinControl::DestroyHandle() {
  if (!FHandle) return;
  DestroyWnd();
  TUiCore::FreeHandle(FHandle);
  FHandle = 0;
}

void TWinControl::RecreateWnd() {
  TRect before = NonClientInsets();
  if (FHandle) {
    DestroyHandle();
    CreateHandle();
  } else {
    FParamsValid = false;
  }
  TRect after = NonClientInsets();
  Invalidate();
  if (!(before == after) && !ComponentState().Contains(csLoading)) {
    AlignAll();
    Perform(WM_SIZE, 0, MakeLParam(ClientWidth(), ClientHeight()));
  }
}

bool TWinControl::Showing() const { return Visible() && Parent() && Parent()->Showing(); }

bool TWinControl::CanFocus() const {
  TCustomForm* f = GetParentForm(this);
  if (!f) return false;
  for (const TControl* c = this; c && c != f; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

void TWinControl::SetFocus() {
  TCustomForm* f = GetParentForm(this);
  if (f) f->FocusControl(this);
}

bool TWinControl::Focused() const { return TUiCore::Focus == this; }

int32_t TWinControl::TabOrder() const {
  if (!Parent()) return FTabOrderHint;
  auto& v = Parent()->FTabList;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int32_t>(it - v.begin());
}

void TWinControl::SetTabOrder(int32_t Value) {
  if (!Parent()) {
    FTabOrderHint = Value;
    return;
  }
  auto& v = Parent()->FTabList;
  auto it = std::find(v.begin(), v.end(), this);
  if (it != v.end()) v.erase(it);
  if (Value < 0 || Value > static_cast<int32_t>(v.size())) Value = static_cast<int32_t>(v.size());
  v.insert(v.begin() + Value, this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& List) const {
  for (TWinControl* w : FTabList) {
    List.push_back(w);
    w->GetTabOrderList(List);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop,
                                          bool CheckParent) const {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  int32_t n = static_cast<int32_t>(list.size());
  auto it = std::find(list.begin(), list.end(), CurControl);
  int32_t start = it == list.end() ? (GoForward ? n - 1 : 0) : static_cast<int32_t>(it - list.begin());
  int32_t i = start;
  do {
    if (GoForward) {
      if (++i == n) i = 0;
    } else {
      if (i == 0) i = n;
      --i;
    }
    TWinControl* c = list[static_cast<size_t>(i)];
    if (c->CanFocus() && (!CheckTabStop || c->TabStop()) && (!CheckParent || c->Parent() == this)) return c;
  } while (i != start);
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
  TWinControl* c = FindNextControl(CurControl, GoForward, CheckTabStop, !CheckTabStop);
  if (c) c->SetFocus();
}

void TWinControl::SetCtl3D(bool Value) {
  if (Value == FCtl3D) return;
  FCtl3D = Value;
  FParentCtl3D = false;
  Perform(CM_CTL3DCHANGED, 0, 0);
}

void TWinControl::SetParentBackground(bool v) {
  if (v) FControlStyle.Include(csParentBackground);
  else FControlStyle.Exclude(csParentBackground);
  Invalidate();
}

void TWinControl::SetBorderWidth(int32_t v) {
  if (v == FBorderWidth) return;
  FBorderWidth = v;
  RecreateWnd();
}

void TWinControl::SetColor(TColor Value) { TControl::SetColor(Value); }

TRect TWinControl::NonClientInsets() const {
  const TCreateParams& p = Params();
  int32_t b = 0;
  if (p.ExStyle & WS_EX_CLIENTEDGE) b += GetSystemMetrics(SM_CXEDGE);
  if (p.ExStyle & WS_EX_STATICEDGE) b += GetSystemMetrics(SM_CXBORDER);
  if (p.Style & WS_BORDER) b += GetSystemMetrics(SM_CXBORDER);
  b += FBorderWidth;
  TRect r(b, b, b, b);
  if (FScroll[SB_VERT].Visible) r.Right += GetSystemMetrics(SM_CXVSCROLL);
  if (FScroll[SB_HORZ].Visible) r.Bottom += GetSystemMetrics(SM_CYHSCROLL);
  if (!Parent())
    if (auto* f = dynamic_cast<const TCustomForm*>(this)) r.Top += f->MenuBarHeight();
  AdjustNonClientInsets(r);
  return r;
}

TRect TWinControl::ClientRect() const {
  TRect in = NonClientInsets();
  return Rect(0, 0, std::max(0, Width() - in.Left - in.Right), std::max(0, Height() - in.Top - in.Bottom));
}

void TWinControl::Invalidate() { TControl::Invalidate(); }

void TWinControl::InvalidateRect(const TRect& R, bool) {
  if (!Showing()) return;
  TPoint o;
  if (!ControlClientOrigin(this, o)) return;
  TRect r = R;
  OffsetRect(r, o.X, o.Y);
  TRect cr = ClientRect();
  OffsetRect(cr, o.X, o.Y);
  if (IntersectRect(r, r, cr)) GetParentForm(this)->InvalidateWindowRect(r);
}

void TWinControl::InvalidateFrame() { TControl::Invalidate(); }

void TWinControl::Update() {
  TCustomForm* f = dynamic_cast<TCustomForm*>(this);
  if (f && !Parent()) {
    if (f->Showing() && f->NeedsPaint()) f->PaintNow();
    return;
  }
  TControl* c = this;
  while (c->Parent()) c = c->Parent();
  f = dynamic_cast<TCustomForm*>(c);
  if (!f || !f->Showing() || !f->NeedsPaint()) return;
  // Like a window's own update: only this control's area is painted now, never a sibling that happens
  // to be invalid too (a view halfway through a rebuild, say).
  TRect vis;
  if (VisibleClientInWindow(this, vis)) f->PaintNowIn(vis);
}

void TWinControl::Repaint() {
  Invalidate();
  Update();
}

void TWinControl::RedrawWindow(const TRect* R, uint32_t Flags) {
  if (Flags & (RDW_INVALIDATE | RDW_FRAME)) {
    if (R && !(Flags & RDW_FRAME)) InvalidateRect(*R);
    else TControl::Invalidate();
  }
  if (Flags & (RDW_UPDATENOW | RDW_ERASENOW)) Update();
}

void TWinControl::ScrollBy(int32_t DeltaX, int32_t DeltaY) {
  for (TControl* c : FControls) {
    c->FLeft += DeltaX;
    c->FTop += DeltaY;
  }
  Invalidate();
}

// ---- scroll bars ----------------------------------------------------------------------------

namespace {
int32_t MaxPos(int32_t Min, int32_t Max, uint32_t Page) {
  int32_t m = Max - (Page > 0 ? static_cast<int32_t>(Page) - 1 : 0);
  return std::max(Min, m);
}
}  // namespace

int32_t TWinControl::SetScrollInfo(int32_t Bar, const TScrollInfo& Info, bool Redraw) {
  if (Bar != SB_HORZ && Bar != SB_VERT) return 0;
  Params();
  TScrollBarState& s = FScroll[Bar];
  if (Info.fMask & SIF_RANGE) {
    s.Min = Info.nMin;
    s.Max = Info.nMax;
  }
  if (Info.fMask & SIF_PAGE) {
    int64_t range = int64_t(s.Max) - s.Min + 1;
    s.Page = static_cast<uint32_t>(std::clamp<int64_t>(Info.nPage, 0, std::max<int64_t>(range, 0)));
  }
  if (Info.fMask & SIF_POS) s.Pos = Info.nPos;
  s.Pos = std::clamp(s.Pos, s.Min, MaxPos(s.Min, s.Max, s.Page));
  if (Info.fMask & (SIF_RANGE | SIF_PAGE)) {
    // A range the page covers needs no bar.
    bool needed = s.Max > s.Min && (s.Page == 0 || int64_t(s.Page) <= int64_t(s.Max) - s.Min);
    if (Info.fMask & SIF_DISABLENOSCROLL) {
      if (!needed) s.Disabled = ESB_DISABLE_BOTH;
      else s.Disabled = ESB_ENABLE_BOTH;
      if (!s.Visible) ShowScrollBar(Bar, true);
    } else if (needed != s.Visible) {
      ShowScrollBar(Bar, needed);
    }
  }
  if (Redraw) InvalidateFrame();
  return s.Pos;
}

bool TWinControl::GetScrollInfo(int32_t Bar, TScrollInfo& Info) const {
  if (Bar != SB_HORZ && Bar != SB_VERT) return false;
  const TScrollBarState& s = FScroll[Bar];
  if (Info.fMask & SIF_RANGE) {
    Info.nMin = s.Min;
    Info.nMax = s.Max;
  }
  if (Info.fMask & SIF_PAGE) Info.nPage = s.Page;
  if (Info.fMask & SIF_POS) Info.nPos = s.Pos;
  if (Info.fMask & SIF_TRACKPOS) Info.nTrackPos = s.TrackPos;
  return true;
}

int32_t TWinControl::SetScrollPos(int32_t Bar, int32_t Pos, bool Redraw) {
  if (Bar != SB_HORZ && Bar != SB_VERT) return 0;
  int32_t old = FScroll[Bar].Pos;
  TScrollInfo si;
  si.fMask = SIF_POS;
  si.nPos = Pos;
  SetScrollInfo(Bar, si, Redraw);
  return old;
}

int32_t TWinControl::GetScrollPos(int32_t Bar) const {
  if (Bar != SB_HORZ && Bar != SB_VERT) return 0;
  return FScroll[Bar].Pos;
}

bool TWinControl::SetScrollRange(int32_t Bar, int32_t Min, int32_t Max, bool Redraw) {
  TScrollInfo si;
  si.fMask = SIF_RANGE;
  si.nMin = Min;
  si.nMax = Max;
  SetScrollInfo(Bar, si, Redraw);
  return true;
}

bool TWinControl::ShowScrollBar(int32_t Bar, bool Show) {
  Params();
  bool changed = false;
  for (int b = 0; b < 2; ++b) {
    if (Bar != b && Bar != SB_BOTH) continue;
    if (FScroll[b].Visible != Show) {
      FScroll[b].Visible = Show;
      changed = true;
    }
  }
  if (changed) {
    Invalidate();
    // The client area changed size, as when the platform adds or removes a bar.
    if (!ComponentState().Contains(csLoading)) {
      AlignAll();
      Perform(WM_SIZE, 0, MakeLParam(ClientWidth(), ClientHeight()));
    }
  }
  return true;
}

bool TWinControl::EnableScrollBar(int32_t Bar, uint32_t Arrows) {
  for (int b = 0; b < 2; ++b)
    if (Bar == b || Bar == SB_BOTH) FScroll[b].Disabled = Arrows;
  InvalidateFrame();
  return true;
}

bool TWinControl::ScrollBarVisible(int32_t Bar) const {
  Params();
  return (Bar == SB_HORZ || Bar == SB_VERT) && FScroll[Bar].Visible;
}

TRect TWinControl::ScrollBarRect(int32_t Bar) const {
  TRect in = NonClientInsets();
  int32_t b = in.Left;  // border thickness (same on every side)
  int32_t cx = GetSystemMetrics(SM_CXVSCROLL), cy = GetSystemMetrics(SM_CYHSCROLL);
  int32_t top = b;
  if (!Parent())
    if (auto* f = dynamic_cast<const TCustomForm*>(this)) top += f->MenuBarHeight();
  if (Bar == SB_VERT) {
    if (!FScroll[SB_VERT].Visible) return {};
    return Rect(Width() - b - cx, top, Width() - b, Height() - b - (FScroll[SB_HORZ].Visible ? cy : 0));
  }
  if (!FScroll[SB_HORZ].Visible) return {};
  return Rect(b, Height() - b - cy, Width() - b - (FScroll[SB_VERT].Visible ? cx : 0), Height() - b);
}

namespace {
struct TBarGeometry {
  int32_t Length = 0, Arrow = 0, ThumbStart = 0, ThumbLen = 0;
};
TBarGeometry BarGeometry(int32_t Length, int32_t Thickness, int32_t Min, int32_t Max, uint32_t Page, int32_t Pos) {
  TBarGeometry g;
  g.Length = Length;
  g.Arrow = std::min(Thickness, Length / 2);
  int32_t track = Length - 2 * g.Arrow;
  int64_t range = int64_t(Max) - Min + 1;
  if (track <= 0 || range <= 0) return g;
  int64_t len = Page > 0 ? track * int64_t(Page) / range : Thickness;
  len = std::clamp<int64_t>(len, std::min(8, track), track);
  g.ThumbLen = static_cast<int32_t>(len);
  int64_t maxPos = MaxPos(Min, Max, Page);
  int64_t span = maxPos - Min;
  g.ThumbStart = g.Arrow + (span > 0 ? static_cast<int32_t>((track - len) * (int64_t(Pos) - Min) / span) : 0);
  return g;
}
}  // namespace

void TWinControl::PaintScrollBar(HDC DC, int32_t Bar, const TRect& R) {
  const TScrollBarState& s = FScroll[Bar];
  bool vert = Bar == SB_VERT;
  int32_t len = vert ? R.Height() : R.Width();
  int32_t thick = vert ? R.Width() : R.Height();
  TBrush track;
  track.SetColor(clScrollBar);
  FillRect(DC, R, track);
  TBarGeometry g = BarGeometry(len, thick, s.Min, s.Max, s.Page, s.Pos);
  auto part = [&](int32_t a, int32_t b) {
    return vert ? Rect(R.Left, R.Top + a, R.Right, R.Top + b) : Rect(R.Left + a, R.Top, R.Left + b, R.Bottom);
  };
  bool disabled = s.Disabled == ESB_DISABLE_BOTH;
  TRect a1 = part(0, g.Arrow), a2 = part(len - g.Arrow, len);
  DrawButtonFace(DC, a1, false, !disabled && !(s.Disabled & ESB_DISABLE_LTUP));
  DrawButtonFace(DC, a2, false, !disabled && !(s.Disabled & ESB_DISABLE_RTDN));
  // Arrow glyphs: small triangles.
  TBrush glyph;
  glyph.SetColor(disabled ? clGrayText : clBtnText);
  for (int k = 0; k < 2; ++k) {
    TRect a = k == 0 ? a1 : a2;
    int32_t cx = (a.Left + a.Right) / 2, cy = (a.Top + a.Bottom) / 2;
    for (int i = 0; i < 4; ++i) {
      int32_t w = k == 0 ? i : 3 - i;
      TRect line = vert ? Rect(cx - w, cy - 2 + i, cx + w + 1, cy - 1 + i) : Rect(cx - 2 + i, cy - w, cx - 1 + i, cy + w + 1);
      FillRect(DC, line, glyph);
    }
  }
  if (!disabled && g.ThumbLen > 0) DrawButtonFace(DC, part(g.ThumbStart, g.ThumbStart + g.ThumbLen), false, true);
}

bool TWinControl::ScrollBarMouse(uint32_t Msg, const TPoint& P) {
  for (int32_t bar = 0; bar < 2; ++bar) {
    TScrollBarState& s = FScroll[bar];
    if (!s.Visible) continue;
    TRect r = ScrollBarRect(bar);
    bool vert = bar == SB_VERT;
    uint32_t sm = vert ? WM_VSCROLL : WM_HSCROLL;
    if (FScrollDrag == bar) {
      int32_t len = vert ? r.Height() : r.Width();
      TBarGeometry g = BarGeometry(len, vert ? r.Width() : r.Height(), s.Min, s.Max, s.Page, s.Pos);
      int32_t at = (vert ? P.Y - r.Top : P.X - r.Left) - FScrollDragOffset;
      int32_t track = len - 2 * g.Arrow - g.ThumbLen;
      int32_t maxPos = MaxPos(s.Min, s.Max, s.Page);
      int32_t pos = track > 0 ? s.Min + static_cast<int32_t>(int64_t(at - g.Arrow) * (maxPos - s.Min) / track) : s.Min;
      pos = std::clamp(pos, s.Min, maxPos);
      s.TrackPos = pos;
      if (Msg == WM_MOUSEMOVE) {
        Perform(sm, MakeWParam(SB_THUMBTRACK, pos), 0);
      } else if (Msg == WM_LBUTTONUP) {
        FScrollDrag = -1;
        Perform(sm, MakeWParam(SB_THUMBPOSITION, pos), 0);
        Perform(sm, MakeWParam(SB_ENDSCROLL, 0), 0);
      }
      return true;
    }
    if (Msg == WM_LBUTTONUP && FScrollRepeatCode >= 0) {
      FScrollRepeatCode = -1;
      Perform(sm, MakeWParam(SB_ENDSCROLL, 0), 0);
      return true;
    }
    if (Msg != WM_LBUTTONDOWN || !PtInRect(r, P)) continue;
    if (s.Disabled == ESB_DISABLE_BOTH) return true;
    int32_t len = vert ? r.Height() : r.Width();
    int32_t at = vert ? P.Y - r.Top : P.X - r.Left;
    TBarGeometry g = BarGeometry(len, vert ? r.Width() : r.Height(), s.Min, s.Max, s.Page, s.Pos);
    int32_t code;
    if (at < g.Arrow) code = SB_LINEUP;
    else if (at >= len - g.Arrow) code = SB_LINEDOWN;
    else if (at < g.ThumbStart) code = SB_PAGEUP;
    else if (at >= g.ThumbStart + g.ThumbLen) code = SB_PAGEDOWN;
    else {
      FScrollDrag = bar;
      FScrollDragOffset = at - g.ThumbStart;
      s.TrackPos = s.Pos;
      return true;
    }
    FScrollRepeatCode = code;
    Perform(sm, MakeWParam(code, 0), 0);
    return true;
  }
  return false;
}

void TWinControl::PaintNonClient(HDC DC, const TRect& W) {
  const TCreateParams& p = Params();
  TRect r = Rect(0, 0, W.Width(), W.Height());
  if (!Parent())
    if (auto* f = dynamic_cast<TCustomForm*>(this)) r.Top += f->MenuBarHeight();
  if (p.ExStyle & WS_EX_CLIENTEDGE) DrawEdge(DC, r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  if (p.ExStyle & WS_EX_STATICEDGE) DrawEdge(DC, r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  if (p.Style & WS_BORDER) {
    TBrush b;
    b.SetColor(clWindowFrame);
    FrameRect(DC, r, b);
    InflateRect(r, -1, -1);
  }
  if (FBorderWidth > 0) {
    TRect inner = r;
    InflateRect(inner, -FBorderWidth, -FBorderWidth);
    SaveDC(DC);
    ExcludeClipRect(DC, inner.Left, inner.Top, inner.Right, inner.Bottom);
    FillRect(DC, r, *FBrush);
    RestoreDC(DC, -1);
  }
  for (int32_t bar = 0; bar < 2; ++bar)
    if (FScroll[bar].Visible) PaintScrollBar(DC, bar, ScrollBarRect(bar));
  if (FScroll[0].Visible && FScroll[1].Visible) {
    TRect v = ScrollBarRect(SB_VERT), h = ScrollBarRect(SB_HORZ);
    TBrush face;
    face.SetColor(clBtnFace);
    FillRect(DC, Rect(v.Left, h.Top, v.Right, h.Bottom), face);
  }
}

// ---- alignment ------------------------------------------------------------------------------

void TWinControl::EnableAlign() {
  if (FAlignLevel > 0 && --FAlignLevel == 0) Realign();
}

void TWinControl::Realign() { AlignAll(); }

void TWinControl::AlignAll() {
  if (FAlignLevel > 0 || FAligning || ComponentState().Contains(csLoading)) return;
  TRect r = ClientRect();
  AdjustClientRect(r);
  FAligning = true;
  AlignControls(nullptr, r);
  FAligning = false;
}

void TWinControl::AlignControls(TControl*, TRect& R) {
  auto take = [&](TAlign a) {
    std::vector<TControl*> v;
    for (TControl* c : FControls)
      if (c->Align() == a && c->Visible()) v.push_back(c);
    std::stable_sort(v.begin(), v.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case TAlign::alTop: return x->Top() < y->Top();
        case TAlign::alBottom: return x->Top() + x->Height() > y->Top() + y->Height();
        case TAlign::alLeft: return x->Left() < y->Left();
        case TAlign::alRight: return x->Left() + x->Width() > y->Left() + y->Width();
        default: return false;
      }
    });
    return v;
  };
  for (TControl* c : take(TAlign::alTop)) {
    c->SetBounds(R.Left, R.Top, R.Width(), c->Height());
    R.Top += c->Height();
  }
  for (TControl* c : take(TAlign::alBottom)) {
    c->SetBounds(R.Left, R.Bottom - c->Height(), R.Width(), c->Height());
    R.Bottom -= c->Height();
  }
  for (TControl* c : take(TAlign::alLeft)) {
    c->SetBounds(R.Left, R.Top, c->Width(), R.Height());
    R.Left += c->Width();
  }
  for (TControl* c : take(TAlign::alRight)) {
    c->SetBounds(R.Right - c->Width(), R.Top, c->Width(), R.Height());
    R.Right -= c->Width();
  }
  for (TControl* c : take(TAlign::alClient)) c->SetBounds(R.Left, R.Top, std::max(0, R.Width()), std::max(0, R.Height()));
}

void TWinControl::BoundsChanged() {
  int32_t cw = ClientWidth(), ch = ClientHeight();
  if (FLastClientW >= 0 && !ComponentState().Contains(csLoading)) {
    int32_t dw = cw - FLastClientW, dh = ch - FLastClientH;
    if (dw || dh) {
      FAligning = true;
      for (TControl* c : FControls) {
        if (c->Align() != TAlign::alNone) continue;
        TAnchors a = c->Anchors();
        int32_t l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
        if (a.Contains(akRight)) {
          if (a.Contains(akLeft)) w += dw;
          else l += dw;
        }
        if (a.Contains(akBottom)) {
          if (a.Contains(akTop)) h += dh;
          else t += dh;
        }
        c->SetBounds(l, t, w, h);
      }
      FAligning = false;
    }
  }
  FLastClientW = cw;
  FLastClientH = ch;
  AlignAll();
}

void TWinControl::Broadcast(TMessage& Message) {
  std::vector<TControl*> copy = FControls;
  for (TControl* c : copy) {
    if (std::find(FControls.begin(), FControls.end(), c) == FControls.end()) continue;
    if (c->WindowProc) c->WindowProc(Message);
    else c->WndProc(Message);
    if (Message.Result != 0) return;
  }
}

void TWinControl::NotifyControls(uint32_t Msg) {
  TMessage m;
  m.Msg = Msg;
  Broadcast(m);
}

// ---- painting -------------------------------------------------------------------------------

void TWinControl::PaintHandler(TMessage& Message) {
  HDC dc = reinterpret_cast<HDC>(Message.WParam);
  if (!dc) dc = ControlCanvas();
  if (dc != FControlCanvas.get()) {
    // A paint message that brings another device context (a child drawing its parent's image
    // under itself) paints there: the control's own canvas is pointed at it for the while.
    if (!FControlCanvas) FControlCanvas = std::make_unique<TControlCanvas>(this);
    TControlCanvas* c = FControlCanvas.get();
    TBitmap* oldBitmap = c->Bitmap();
    TPoint oldOrg, org;
    GetViewportOrgEx(c, &oldOrg);
    TRegion oldClip, clip;
    bool hadClip = GetClipRgn(c, oldClip) == 1;
    c->SetBitmap(dc->Bitmap());
    GetViewportOrgEx(dc, &org);
    SetViewportOrgEx(c, org.X, org.Y, nullptr);
    if (GetClipRgn(dc, clip) == 1) SelectClipRgn(c, &clip);
    bool pushed = !IsPainting(this);
    if (pushed) PaintingControls().push_back(this);
    struct TRestore {
      TControlCanvas* C;
      TBitmap* B;
      TPoint O;
      TRegion* R;
      bool Pop;
      ~TRestore() {
        if (Pop) PaintingControls().pop_back();
        C->SetBitmap(B);
        SetViewportOrgEx(C, O.X, O.Y, nullptr);
        SelectClipRgn(C, R);
      }
    } restore{c, oldBitmap, oldOrg, hadClip ? &oldClip : nullptr, pushed};
    PaintWindow(dc);
    PaintControls(dc, nullptr);
    return;
  }
  PaintWindow(dc);
  PaintControls(dc, nullptr);
}

void TWinControl::PaintControls(HDC DC, TControl* First) {
  TRect clip;
  GetClipBox(DC, &clip);
  TPoint vo;
  GetViewportOrgEx(DC, &vo);
  OffsetRect(clip, vo.X, vo.Y);  // window coordinates
  bool started = First == nullptr;
  for (TControl* c : FControls) {
    if (!started) {
      if (c != First) continue;
      started = true;
    }
    // A control already painting (drawing its parent's image under itself) is not painted again.
    if (dynamic_cast<TWinControl*>(c) || !c->Visible() || IsPainting(c)) continue;
    TRect r = c->BoundsRect();
    OffsetRect(r, vo.X, vo.Y);
    TRect vis;
    if (!IntersectRect(vis, r, clip)) continue;
    auto* canvas = c->FControlCanvas ? c->FControlCanvas.get() : nullptr;
    if (!canvas) {
      c->FControlCanvas = std::make_unique<TControlCanvas>(c);
      canvas = c->FControlCanvas.get();
    }
    if (canvas->Bitmap() != DC->Bitmap()) canvas->SetBitmap(DC->Bitmap());
    SelectClipRgn(canvas, nullptr);
    SetViewportOrgEx(canvas, r.Left, r.Top, nullptr);
    IntersectClipRect(canvas, vis.Left - r.Left, vis.Top - r.Top, vis.Right - r.Left, vis.Bottom - r.Top);
    for (TControl* s : FControls) {
      auto* w = dynamic_cast<TWinControl*>(s);
      if (w && w->Visible()) {
        TRect b = w->BoundsRect();
        ExcludeClipRect(canvas, b.Left - c->Left(), b.Top - c->Top(), b.Right - c->Left(), b.Bottom - c->Top());
      }
    }
    PaintingControls().push_back(c);
    try {
      c->Perform(WM_PAINT, reinterpret_cast<uintptr_t>(static_cast<TCanvas*>(canvas)), 0);
    } catch (...) {
      PaintingControls().pop_back();
      throw;
    }
    PaintingControls().pop_back();
  }
}

// Paints W (frame, background, client, graphic children) and then its windowed children,
// each clipped to U (window coordinates) and to its parents' client areas.
void PaintControlTree(TWinControl* W, const TRect& U) {
  TRect outer;
  if (!ControlWindowRect(W, outer)) return;
  TRect vis;
  if (!IntersectRect(vis, outer, U)) return;
  TControlCanvas* dc = W->ControlCanvas();
  TCustomForm* f = GetParentForm(W);
  while (f && f->Parent()) f = GetParentForm(f->Parent());
  if (!f || !f->BackBuffer()) return;
  auto& painting = PaintingControls();
  painting.push_back(W);
  struct TPop {
    ~TPop() { PaintingControls().pop_back(); }
  } pop;
  if (dc->Bitmap() != f->BackBuffer()) dc->SetBitmap(f->BackBuffer());
  TRect in = W->NonClientInsets();
  if (in.Left || in.Top || in.Right || in.Bottom) {
    SelectClipRgn(dc, nullptr);
    SetViewportOrgEx(dc, outer.Left, outer.Top, nullptr);
    IntersectClipRect(dc, vis.Left - outer.Left, vis.Top - outer.Top, vis.Right - outer.Left, vis.Bottom - outer.Top);
    W->Perform(WM_NCPAINT, reinterpret_cast<uintptr_t>(static_cast<TCanvas*>(dc)), 0);
  }
  TPoint co(outer.Left + in.Left, outer.Top + in.Top);
  TRect cr = W->ClientRect();
  TRect clientW = Bounds(co.X, co.Y, cr.Width(), cr.Height());
  TRect paintR;
  if (!IntersectRect(paintR, clientW, vis)) return;
  SelectClipRgn(dc, nullptr);
  SetViewportOrgEx(dc, co.X, co.Y, nullptr);
  IntersectClipRect(dc, paintR.Left - co.X, paintR.Top - co.Y, paintR.Right - co.X, paintR.Bottom - co.Y);
  for (int32_t i = 0; i < W->ControlCount(); ++i) {
    auto* cw = dynamic_cast<TWinControl*>(W->Controls(i));
    if (cw && cw->Visible()) {
      TRect b = cw->BoundsRect();
      ExcludeClipRect(dc, b.Left, b.Top, b.Right, b.Bottom);
    }
  }
  W->Perform(WM_ERASEBKGND, reinterpret_cast<uintptr_t>(static_cast<TCanvas*>(dc)), 0);
  W->Perform(WM_PAINT, reinterpret_cast<uintptr_t>(static_cast<TCanvas*>(dc)), 0);
  TRect caret;
  if (W->HandleAllocated() && CaretRect(W->Handle(), caret)) {
    SelectClipRgn(dc, nullptr);
    SetViewportOrgEx(dc, co.X, co.Y, nullptr);
    IntersectClipRect(dc, paintR.Left - co.X, paintR.Top - co.Y, paintR.Right - co.X, paintR.Bottom - co.Y);
    InvertRect(dc, caret);
  }
  for (int32_t i = 0; i < W->ControlCount(); ++i) {
    auto* cw = dynamic_cast<TWinControl*>(W->Controls(i));
    if (cw && cw->Visible()) PaintControlTree(cw, paintR);
  }
}

void TWinControl::WMPaint(TMessage& Message) { PaintHandler(Message); }

void TWinControl::WMEraseBkgnd(TMessage& Message) {
  HDC dc = reinterpret_cast<HDC>(Message.WParam);
  if (!dc) return;
  FBrush->SetColor(Color());
  FillRect(dc, ClientRect(), *FBrush);
  Message.Result = 1;
}

void TWinControl::WMNCPaint(TMessage& Message) {
  HDC dc = reinterpret_cast<HDC>(Message.WParam);
  if (!dc) return;
  TRect outer;
  if (ControlWindowRect(this, outer)) PaintNonClient(dc, outer);
}

void TWinControl::WMNCHitTest(TMessage& Message) { Message.Result = HTCLIENT; }

// ---- keyboard and focus ---------------------------------------------------------------------

void TWinControl::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_PAINT: WMPaint(M); break;
    case WM_ERASEBKGND: WMEraseBkgnd(M); break;
    case WM_NCPAINT: WMNCPaint(M); break;
    case WM_NCHITTEST: WMNCHitTest(M); break;
    case WM_SETFOCUS: WMSetFocus(M); break;
    case WM_KILLFOCUS: WMKillFocus(M); break;
    case WM_KEYDOWN: WMKeyDown(M); break;
    case WM_KEYUP: WMKeyUp(M); break;
    case WM_CHAR: WMChar(M); break;
    case WM_SYSKEYDOWN: WMSysKeyDown(M); break;
    case WM_SYSKEYUP: WMSysKeyUp(M); break;
    case WM_SYSCHAR: WMSysChar(M); break;
    case WM_GETDLGCODE: WMGetDlgCode(M); break;
    case WM_HSCROLL: WMHScroll(M); break;
    case WM_VSCROLL: WMVScroll(M); break;
    case WM_TIMER: WMTimer(M); break;
    case WM_SETCURSOR: WMSetCursor(M); break;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: CNKeyDown(M); break;
    case CN_KEYUP: CNKeyUp(M); break;
    case CN_CHAR:
    case CN_SYSCHAR: CNChar(M); break;
    case CM_WANTSPECIALKEY: CMWantSpecialKey(M); break;
    case CM_DIALOGKEY: CMDialogKey(M); break;
    case CM_DIALOGCHAR: Broadcast(M); break;
    case CM_ENTER: CMEnter(M); break;
    case CM_EXIT: CMExit(M); break;
    case CM_FOCUSCHANGED: CMFocusChanged(M); break;
    case CM_COLORCHANGED: CMColorChanged(M); break;
    case CM_VISIBLECHANGED: CMVisibleChanged(M); break;
    case CM_ENABLEDCHANGED: CMEnabledChanged(M); break;
    case CM_FONTCHANGED:
      TControl::Dispatch(M);
      NotifyControls(CM_PARENTFONTCHANGED);
      break;
    case CM_SHOWHINTCHANGED: NotifyControls(CM_PARENTSHOWHINTCHANGED); break;
    default: TControl::Dispatch(M); break;
  }
}

void TWinControl::WMSetFocus(TMessage&) {}
void TWinControl::WMKillFocus(TMessage&) {}

bool TWinControl::DoKeyDown(TMessage& M) {
  TCustomForm* f = GetParentForm(this);
  if (f && f != this && f->KeyPreview() && static_cast<TWinControl*>(f)->DoKeyDown(M)) return true;
  uint16_t key = static_cast<uint16_t>(M.WParam);
  if (!FControlStyle.Contains(csNoStdEvents)) {
    KeyDown(key, KeyDataToShiftState(M.LParam));
    M.WParam = key;
    if (key == 0) return true;
  }
  return false;
}

bool TWinControl::DoKeyUp(TMessage& M) {
  TCustomForm* f = GetParentForm(this);
  if (f && f != this && f->KeyPreview() && static_cast<TWinControl*>(f)->DoKeyUp(M)) return true;
  uint16_t key = static_cast<uint16_t>(M.WParam);
  if (!FControlStyle.Contains(csNoStdEvents)) {
    KeyUp(key, KeyDataToShiftState(M.LParam));
    M.WParam = key;
    if (key == 0) return true;
  }
  return false;
}

bool TWinControl::DoKeyPress(TMessage& M) {
  TCustomForm* f = GetParentForm(this);
  if (f && f != this && f->KeyPreview() && static_cast<TWinControl*>(f)->DoKeyPress(M)) return true;
  if (!FControlStyle.Contains(csNoStdEvents)) {
    std::string key = Utf8Of(static_cast<uint32_t>(M.WParam));
    KeyPress(key);
    M.WParam = CodeOf(key);
    if (key.empty()) return true;
  }
  return false;
}

void TWinControl::WMKeyDown(TMessage& M) {
  if (DoKeyDown(M)) M.Result = 1;
}
void TWinControl::WMKeyUp(TMessage& M) {
  if (DoKeyUp(M)) M.Result = 1;
}
void TWinControl::WMChar(TMessage& M) {
  if (DoKeyPress(M)) M.Result = 1;
}
void TWinControl::WMSysKeyDown(TMessage& M) {
  if (DoKeyDown(M)) M.Result = 1;
}
void TWinControl::WMSysKeyUp(TMessage& M) {
  if (DoKeyUp(M)) M.Result = 1;
}
void TWinControl::WMSysChar(TMessage& M) { M.Result = 0; }
void TWinControl::WMGetDlgCode(TMessage& M) { M.Result = 0; }
void TWinControl::WMHScroll(TMessage&) {}
void TWinControl::WMVScroll(TMessage&) {}
void TWinControl::WMTimer(TMessage&) {}
void TWinControl::WMSetCursor(TMessage& M) { M.Result = 0; }

void TWinControl::CNKeyDown(TMessage& M) {
  M.Result = 1;
  uint16_t key = static_cast<uint16_t>(M.WParam);
  TShiftState shift = KeyDataToShiftState(M.LParam);
  TCustomForm* f = GetParentForm(this);
  if (f && f->IsShortCut(key, shift)) return;
  if (!ComponentState().Contains(csDesigning)) {
    intptr_t mask = 0;
    switch (key) {
      case VK_TAB: mask = DLGC_WANTTAB; break;
      case VK_LEFT:
      case VK_RIGHT:
      case VK_UP:
      case VK_DOWN: mask = DLGC_WANTARROWS; break;
      case VK_RETURN:
      case VK_ESCAPE:
      case VK_CANCEL: mask = DLGC_WANTALLKEYS; break;
    }
    if (mask != 0 && Perform(CM_WANTSPECIALKEY, key, M.LParam) == 0 && (Perform(WM_GETDLGCODE, 0, 0) & mask) == 0 &&
        f && f->Perform(CM_DIALOGKEY, key, M.LParam) != 0)
      return;
  }
  M.Result = 0;
}

void TWinControl::CNKeyUp(TMessage& M) { M.Result = 0; }
void TWinControl::CNChar(TMessage& M) { M.Result = 0; }
void TWinControl::CMWantSpecialKey(TMessage& M) { M.Result = 0; }
void TWinControl::CMDialogKey(TMessage& M) { Broadcast(M); }
void TWinControl::CMEnter(TMessage&) { DoEnter(); }
void TWinControl::CMExit(TMessage&) { DoExit(); }
void TWinControl::CMFocusChanged(TMessage& M) { Broadcast(M); }

void TWinControl::CMColorChanged(TMessage& M) {
  FBrush->SetColor(Color());
  TControl::CMColorChanged(M);
  NotifyControls(CM_PARENTCOLORCHANGED);
}

void TWinControl::CMVisibleChanged(TMessage& M) {
  TControl::CMVisibleChanged(M);
  if (!Visible()) {
    TCustomForm* f = GetParentForm(this);
    if (f && f != this && TUiCore::Focus && ContainsControl(TUiCore::Focus)) f->FocusControl(nullptr);
  }
}

void TWinControl::CMEnabledChanged(TMessage& M) {
  TControl::CMEnabledChanged(M);
  if (!Enabled()) {
    TCustomForm* f = GetParentForm(this);
    if (f && f != this && TUiCore::Focus && ContainsControl(TUiCore::Focus)) f->FocusControl(nullptr);
  }
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}
void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}
void TWinControl::KeyPress(std::string& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}
void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

// ---- TGraphicControl, TCustomControl --------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {}
TGraphicControl::~TGraphicControl() = default;

TCanvas* TGraphicControl::Canvas() const { return ControlCanvas(); }

void TGraphicControl::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_PAINT) {
    TCanvas* c = ControlCanvas();
    c->Lock();
    try {
      Paint();
    } catch (...) {
      c->Unlock();
      throw;
    }
    c->Unlock();
    return;
  }
  TControl::Dispatch(Message);
}

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {}
TCustomControl::~TCustomControl() = default;

TCanvas* TCustomControl::Canvas() const { return ControlCanvas(); }

void TCustomControl::PaintWindow(HDC) {
  TCanvas* c = ControlCanvas();
  c->Lock();
  try {
    Paint();
  } catch (...) {
    c->Unlock();
    throw;
  }
  c->Unlock();
}

void DrawButtonFace(HDC DC, const TRect& R, bool Down, bool Enabled) {
  TBrush face;
  face.SetColor(clBtnFace);
  FillRect(DC, R, face);
  TRect e = R;
  DrawEdge(DC, e, Down ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  (void)Enabled;
}

namespace {
uint32_t gBeeps = 0;
}  // namespace

void MessageBeep(uint32_t) { ++gBeeps; }
uint32_t MessageBeepCount() { return gBeeps; }
