#include "controls/kv_tab_buttons.h"

#include <algorithm>

namespace {

constexpr uint32_t kFirstRepeat = 400;
constexpr uint32_t kRepeat = 100;

// Arrow directions of the glyph painter.
constexpr int kArrowUp = 0, kArrowDown = 1, kArrowLeft = 2, kArrowRight = 3;

}  // namespace

void KvPaintButtonFace(TCanvas* Canvas, const TRect& R, TKvCustomTabControl* TabControl, TColor FrameColor,
                       bool Pressed) {
  TKvTabColors* colors = TabControl->TabColors();
  if (TabControl->UseGradients()) {
    TRect inner = R;
    InflateRect(inner, -1, -1);
    TColor a = colors->Unselected(), b = colors->Shadow();
    if (Pressed) std::swap(a, b);
    KvDrawGradient(Canvas, inner, TGradientDirection::gdHorizontalEnd, a, b, 1);
    Canvas->Brush()->SetStyle(TBrushStyle::bsClear);
    Canvas->Pen()->SetColor(FrameColor);
    Canvas->Pen()->SetStyle(TPenStyle::psSolid);
    Canvas->Rectangle(R);
    Canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
    return;
  }
  Canvas->Pen()->SetColor(FrameColor);
  Canvas->Pen()->SetStyle(TPenStyle::psSolid);
  Canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
  Canvas->Brush()->SetColor(colors->Unselected());
  Canvas->Rectangle(R);
}

// ---- shared press tracking ---------------------------------------------------------------------

TKvTabButtonBase::TKvTabButtonBase(TComponent* AOwner)
    : TCustomControl(AOwner), FTabControl(dynamic_cast<TKvCustomTabControl*>(AOwner)) {
  FControlStyle.Include(csNoDesignVisible);
  // The buttons act on their own release; the library's click would act a second time.
  FControlStyle.Exclude(csClickEvents);
  FControlStyle.Include(csOpaque);
  SetTabStop(false);
}

void TKvTabButtonBase::SetFrameColor(TColor v) {
  if (FFrameColor == v) return;
  FFrameColor = v;
  Invalidate();
}

void TKvTabButtonBase::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  Pressed(X, Y);
  FMouseDown = true;
  FPressedInside = true;
  Invalidate();
  SetMouseCapture(true);
}

void TKvTabButtonBase::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!FMouseDown) return;
  const bool inside = PtInRect(PressedArea(), TPoint(X, Y));
  if (inside == FPressedInside) return;
  FPressedInside = inside;
  Invalidate();
}

void TKvTabButtonBase::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  Released();
  SetMouseCapture(false);
  FMouseDown = false;
  if (!FPressedInside) return;
  FPressedInside = false;
  Clicked();
  Invalidate();
}

// ---- scroller ----------------------------------------------------------------------------------

TKvTabScroller::TKvTabScroller(TComponent* AOwner) : TKvTabButtonBase(AOwner) {}

TKvTabScroller::~TKvTabScroller() { delete FTimer; }

void TKvTabScroller::SetOrientation(TOrientation v) {
  if (FOrientation == v) return;
  FOrientation = v;
  Invalidate();
}

void TKvTabScroller::Pressed(int32_t X, int32_t Y) {
  FUpRight = FOrientation == TOrientation::orHorizontal ? X >= Width() / 2 : Y <= Height() / 2;
}

TRect TKvTabScroller::PressedArea() const {
  const int32_t w = Width(), h = Height();
  if (FOrientation == TOrientation::orHorizontal)
    return FUpRight ? TRect(w / 2, 0, w, h) : TRect(0, 0, w / 2, h);
  return FUpRight ? TRect(0, 0, w, h / 2 + 1) : TRect(0, h / 2 + 1, w, h);
}

void TKvTabScroller::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TKvTabButtonBase::MouseDown(Button, Shift, X, Y);
  if (!FTimer) {
    FTimer = new TTimer(nullptr);
    FTimer->SetEnabled(false);
    FTimer->SetOnTimer([this](TObject*) { RepeatTick(); });
  }
  FTimer->SetInterval(kFirstRepeat);
  FTimer->SetEnabled(true);
}

void TKvTabScroller::Released() {
  if (FTimer) FTimer->SetEnabled(false);
}

void TKvTabScroller::Clicked() {
  if (FUpRight) UpRightClick();
  else DownLeftClick();
}

void TKvTabScroller::DownLeftClick() {
  if (OnDownLeftClick) OnDownLeftClick(this);
}

void TKvTabScroller::UpRightClick() {
  if (OnUpRightClick) OnUpRightClick(this);
}

void TKvTabScroller::RepeatTick() {
  FTimer->SetInterval(kRepeat);
  if (!FPressedInside || !MouseCapture()) return;
  try {
    Clicked();
  } catch (...) {
    FTimer->SetEnabled(false);
    throw;
  }
}

void TKvTabScroller::Paint() {
  TCanvas* C = Canvas();
  TKvCustomTabControl* tc = FTabControl;
  if (!tc) return;
  const int32_t w = Width(), h = Height();
  const bool horizontal = FOrientation == TOrientation::orHorizontal;
  const bool std = tc->TabSequence() == TKvTabSequence::tsStandard;
  // Does the down/left half scroll back?
  bool downLeftBack;
  if (horizontal) downLeftBack = std;
  else {
    const bool left = tc->TabOrientation() == TKvTabOrientation::toLeft;
    const bool right = tc->TabOrientation() == TKvTabOrientation::toRight;
    downLeftBack = (left && std) || (right && !std);
  }
  const bool backDisabled = tc->FirstShownTab() == 0;
  const bool forwardDisabled = tc->TabShown(tc->LastVisibleTab());
  const bool downLeftEnabled = !(downLeftBack ? backDisabled : forwardDisabled);
  const bool upRightEnabled = !(downLeftBack ? forwardDisabled : backDisabled);
  TRect downLeft, upRight;
  if (horizontal) {
    downLeft = TRect(0, 0, w / 2 + 1, h);
    upRight = TRect(w - w / 2 - 1, 0, w, h);
  } else {
    downLeft = TRect(0, h - h / 2 - 1, w, h);
    upRight = TRect(0, 0, w, h / 2 + 1);
  }
  const bool dlPressed = FPressedInside && !FUpRight, urPressed = FPressedInside && FUpRight;
  KvPaintButtonFace(C, downLeft, tc, FFrameColor, dlPressed);
  KvPaintArrowGlyph(C, downLeft, 0, horizontal ? kArrowLeft : kArrowDown, dlPressed, downLeftEnabled);
  KvPaintButtonFace(C, upRight, tc, FFrameColor, urPressed);
  KvPaintArrowGlyph(C, upRight, 0, horizontal ? kArrowRight : kArrowUp, urPressed, upRightEnabled);
}

// ---- close button ------------------------------------------------------------------------------

void TKvTabCloseButton::Click() {
  if (OnClose) OnClose(this);
}

void TKvTabCloseButton::Paint() {
  if (!FTabControl) return;
  TCanvas* C = Canvas();
  KvPaintButtonFace(C, ClientRect(), FTabControl, FFrameColor, FPressedInside);
  KvPaintCloseGlyph(C, ClientRect(), 0, FPressedInside, true);
}

// ---- menu button -------------------------------------------------------------------------------

TKvTabMenuButton::TKvTabMenuButton(TComponent* AOwner) : TKvTabButtonBase(AOwner), FMenu(new TPopupMenu(this)) {}

TKvTabMenuButton::~TKvTabMenuButton() {
  TMenuItem* root = FMenu->Items();
  while (root->Count() > 0) delete root->Items(root->Count() - 1);
}

namespace {

int ArrowTowardsCard(TKvTabOrientation O) {
  switch (O) {
    case TKvTabOrientation::toTop: return kArrowDown;
    case TKvTabOrientation::toBottom: return kArrowUp;
    case TKvTabOrientation::toLeft: return kArrowRight;
    case TKvTabOrientation::toRight: return kArrowLeft;
  }
  return kArrowDown;
}

}  // namespace

void TKvTabMenuButton::Paint() {
  if (!FTabControl) return;
  TCanvas* C = Canvas();
  KvPaintButtonFace(C, ClientRect(), FTabControl, FFrameColor, FPressedInside);
  KvPaintArrowGlyph(C, ClientRect(), 0, ArrowTowardsCard(FTabControl->TabOrientation()), FPressedInside, true);
}

void TKvTabMenuButton::BuildMenu() {
  TMenuItem* root = FMenu->Items();
  while (root->Count() > 0) delete root->Items(root->Count() - 1);
  if (!FTabControl) return;
  FMenu->SetImages(dynamic_cast<TImageList*>(FTabControl->Images()));
  TKvTabDataList* tabs = FTabControl->Tabs();
  for (int32_t i = 0; i < tabs->Count(); ++i) {
    TKvTabData* T = tabs->Items(i);
    if (!T->Visible) continue;
    auto* item = new TMenuItem(FTabControl->Owner());
    item->SetCaption(T->Caption);
    item->SetEnabled(T->Enabled);
    item->SetChecked(i == FTabControl->TabIndex());
    item->SetImageIndex(!T->Enabled && T->DisabledIndex != -1 ? T->DisabledIndex : T->ImageIndex);
    item->SetTag(i);
    item->OnClick = [this](TObject* Sender) { MenuItemClick(Sender); };
    root->Add(item);
  }
}

void TKvTabMenuButton::DisplayMenu() {
  BuildMenu();
  if (!FTabControl) return;
  const bool std = FTabControl->TabSequence() == TKvTabSequence::tsStandard;
  TPoint p;
  TPopupAlignment a = TPopupAlignment::paLeft;
  switch (FTabControl->TabOrientation()) {
    case TKvTabOrientation::toTop:
      p = std ? TPoint(Width(), Height()) : TPoint(0, Height());
      a = std ? TPopupAlignment::paRight : TPopupAlignment::paLeft;
      break;
    case TKvTabOrientation::toLeft:
      p = TPoint(Width(), 0);
      a = TPopupAlignment::paLeft;
      break;
    case TKvTabOrientation::toBottom:
      p = std ? TPoint(Width(), 0) : TPoint(0, 0);
      a = std ? TPopupAlignment::paRight : TPopupAlignment::paLeft;
      break;
    case TKvTabOrientation::toRight:
      p = TPoint(0, 0);
      a = TPopupAlignment::paRight;
      break;
  }
  p = ClientToScreen(p);
  FMenu->SetAlignment(a);
  FMenu->Popup(p.X, p.Y);
}

void TKvTabMenuButton::MenuItemClick(TObject* Sender) {
  auto* item = dynamic_cast<TMenuItem*>(Sender);
  if (item && FTabControl) FTabControl->SetTabIndex(item->Tag());
}
