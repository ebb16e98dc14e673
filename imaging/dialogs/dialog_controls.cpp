#include "imaging/dialogs/dialog_controls.h"

#include <algorithm>
#include <exception>
#include <string>

#include "platform/graphics/canvas.h"
#include "platform/ui/forms.h"
#include "platform/ui/item_list.h"

namespace {
void Fill(TCanvas* C, const TRect& R, TColor Color) {
  TBrush b;
  b.SetColor(Color);
  FillRect(C, R, b);
}
void DrawCaption(TCanvas* C, const std::string& S, TRect R, TColor Color, uint32_t Fmt) {
  SetBkMode(C, TRANSPARENT);
  SetTextColor(C, Color);
  DrawText(C, S, R, Fmt | DT_SINGLELINE | DT_NOPREFIX);
}
}  // namespace

// ---- TQxComboBox ----

TQxComboBox::TQxComboBox(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(true);
  SetColor(clWindow);
  SetBounds(0, 0, 121, 21);
}

void TQxComboBox::SetItems(std::vector<std::string> Items) {
  FItems = std::move(Items);
  FValues.assign(FItems.size(), 0);
  if (FItemIndex >= static_cast<int32_t>(FItems.size())) FItemIndex = -1;
  Invalidate();
}

void TQxComboBox::SetItemIndex(int32_t Index) {
  if (Index < -1 || Index >= static_cast<int32_t>(FItems.size())) Index = -1;
  if (Index == FItemIndex) return;
  FItemIndex = Index;
  Invalidate();
}

std::string TQxComboBox::Text() const {
  return FItemIndex >= 0 ? FItems[static_cast<size_t>(FItemIndex)] : std::string();
}

void TQxComboBox::Choose(int32_t Index) {
  if (Index < 0 || Index >= static_cast<int32_t>(FItems.size()) || Index == FItemIndex) return;
  FItemIndex = Index;
  Invalidate();
  if (OnChange) OnChange(this);
}

TQxComboBox::~TQxComboBox() {
  if (FList) {
    FList->OnCloseUp = nullptr;
    FList->CloseUp();
    delete FList;
  }
}

void TQxComboBox::SetDroppedDown(bool Value) {
  if (Value == FDropped || (Value && (FItems.empty() || !Showing()))) return;
  FDropped = Value;
  if (Value) {
    if (!FList) {
      FList = new TDropDownList();
      FList->OnPick = [this](int32_t I) { Choose(I); };
      FList->OnCloseUp = [this] {
        FDropped = false;
        Invalidate();
      };
    }
    FList->Open(this, FItems, FItemIndex);
  } else if (FList) {
    FList->CloseUp();
  }
  Invalidate();
}

void TQxComboBox::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  TRect box = Rect(0, 0, Width(), Height());
  Fill(c, box, Enabled() ? clWindow : clBtnFace);
  TRect e = box;
  DrawEdge(c, e, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  // The arrow button at the right.
  TRect btn = Rect(e.Right - 16, e.Top, e.Right, e.Bottom);
  Fill(c, btn, clBtnFace);
  TRect be = btn;
  DrawEdge(c, be, FDropped ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  int32_t cx = (btn.Left + btn.Right) / 2, cy = (btn.Top + btn.Bottom) / 2 - 1;
  c->Pen()->SetColor(Enabled() ? clBtnText : clGrayText);
  for (int32_t i = 0; i < 4; ++i) {
    c->MoveTo(cx - 3 + i, cy + i);
    c->LineTo(cx + 4 - i, cy + i);
  }
  TRect tr = Rect(e.Left, e.Top, btn.Left, e.Bottom);
  bool focus = Focused() && !FDropped;
  if (focus) {
    TRect hr = tr;
    InflateRect(hr, -1, -1);
    Fill(c, hr, clHighlight);
  }
  TRect txt = tr;
  txt.Left += 3;
  DrawCaption(c, Text(), txt, !Enabled() ? clGrayText : focus ? clHighlightText : clWindowText, DT_LEFT | DT_VCENTER);
}

void TQxComboBox::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  int32_t n = static_cast<int32_t>(FItems.size());
  if (n == 0 || Key == 0) return;
  if ((Key == VK_DOWN && Shift.Contains(ssAlt)) || Key == VK_F4) {
    SetDroppedDown(true);
    Key = 0;
    return;
  }
  int32_t i = FItemIndex;
  switch (Key) {
    case VK_UP:
    case VK_LEFT: i = std::max(0, i - 1); break;
    case VK_DOWN:
    case VK_RIGHT: i = std::min(n - 1, i + 1); break;
    case VK_HOME: i = 0; break;
    case VK_END: i = n - 1; break;
    default: return;
  }
  Key = 0;
  Choose(i);
}

void TQxComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (CanFocus() && !Focused()) SetFocus();
  if (Button == TMouseButton::mbLeft) SetDroppedDown(!FDropped);
}

void TQxComboBox::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS | (FDropped ? DLGC_WANTALLKEYS : 0); return;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN:
      // An open list takes its keys before the form sees them: Escape closes the list, not the dialog.
      if (FDropped && FList) {
        uint16_t key = static_cast<uint16_t>(M.WParam);
        if ((key == VK_UP || key == VK_DOWN) && M.Msg == CN_SYSKEYDOWN) key = VK_ESCAPE;
        if (key == VK_F4) key = VK_ESCAPE;
        if (FList->HandleKey(key)) {
          M.Result = 1;
          return;
        }
      }
      break;
    case WM_KILLFOCUS:
      SetDroppedDown(false);
      Invalidate();
      break;
    case WM_SETFOCUS: Invalidate(); break;
    case CM_ENABLEDCHANGED:
    case CM_VISIBLECHANGED:
      if (!Enabled() || !Visible()) SetDroppedDown(false);
      Invalidate();
      break;
  }
  TCustomControl::Dispatch(M);
}

// ---- pages ----

TQxTabSheet::TQxTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  SetVisible(false);
  SetColor(clBtnFace);
}

void TQxTabSheet::SetPageControl(TQxPageControl* Value) {
  if (Value == FPageControl) return;
  if (FPageControl) {
    auto& p = FPageControl->FPages;
    p.erase(std::remove(p.begin(), p.end(), this), p.end());
    if (FPageControl->FActive == this) FPageControl->FActive = nullptr;
  }
  FPageControl = Value;
  if (!Value) {
    SetParent(nullptr);
    return;
  }
  Value->FPages.push_back(this);
  SetParent(Value);
  Value->Place(this);
  SetVisible(false);
  if (!Value->FActive && FTabVisible) Value->SetActivePage(this);
  Value->Invalidate();
}

void TQxTabSheet::SetTabVisible(bool Value) {
  if (Value == FTabVisible) return;
  FTabVisible = Value;
  if (FPageControl) {
    if (!Value && FPageControl->FActive == this) {
      FPageControl->FActive = nullptr;
      auto tabs = FPageControl->VisibleTabs();
      if (!tabs.empty()) FPageControl->FActive = tabs.front();
    } else if (Value && !FPageControl->FActive) {
      FPageControl->FActive = this;
    }
    FPageControl->Reshow();
  }
}

TQxPageControl::TQxPageControl(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(true);
  SetColor(clBtnFace);
}

void TQxPageControl::Place(TQxTabSheet* Page) { Page->SetBounds(4, 24, std::max(0, Width() - 8), std::max(0, Height() - 28)); }

void TQxPageControl::Resize() {
  TCustomControl::Resize();
  for (auto* p : FPages) Place(p);
}

void TQxPageControl::Reshow() {
  for (auto* p : FPages) p->SetVisible(p == FActive && p->FTabVisible);
  Invalidate();
}

std::vector<TQxTabSheet*> TQxPageControl::VisibleTabs() const {
  std::vector<TQxTabSheet*> v;
  for (auto* p : FPages)
    if (p->FTabVisible) v.push_back(p);
  return v;
}

void TQxPageControl::SetActivePage(TQxTabSheet* Page) {
  if (Page && (Page->FPageControl != this || !Page->FTabVisible)) return;
  FActive = Page;
  Reshow();
}

bool TQxPageControl::SelectByUser(TQxTabSheet* Page) {
  if (!Page || Page == FActive || Page->FPageControl != this || !Page->FTabVisible) return false;
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) return false;
  SetActivePage(Page);
  if (OnChange) OnChange(this);
  return true;
}

TRect TQxPageControl::TabRect(int32_t VisibleIndex) {
  auto tabs = VisibleTabs();
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  int32_t x = 2;
  for (int32_t i = 0; i < static_cast<int32_t>(tabs.size()); ++i) {
    int32_t w = c->TextWidth(tabs[static_cast<size_t>(i)]->Caption()) + 16;
    if (i == VisibleIndex) return Rect(x, 2, x + w, 22);
    x += w;
  }
  return Rect(0, 0, 0, 0);
}

void TQxPageControl::Paint() {
  TCanvas* c = Canvas();
  Fill(c, ClientRect(), clBtnFace);
  TRect body = Rect(0, 22, Width(), Height());
  TRect be = body;
  DrawEdge(c, be, EDGE_RAISED, BF_RECT);
  auto tabs = VisibleTabs();
  c->Font()->Assign(*Font());
  for (int32_t i = 0; i < static_cast<int32_t>(tabs.size()); ++i) {
    TRect r = TabRect(i);
    bool active = tabs[static_cast<size_t>(i)] == FActive;
    if (active) InflateRect(r, 2, 2), r.Bottom -= 1;
    Fill(c, Rect(r.Left, r.Top, r.Right, r.Bottom + (active ? 1 : 0)), clBtnFace);
    TRect e = r;
    DrawEdge(c, e, EDGE_RAISED, BF_LEFT | BF_TOP | BF_RIGHT);
    const bool hot = HotTrack && i == FHotTab && !active;
    DrawCaption(c, tabs[static_cast<size_t>(i)]->Caption(), r, hot ? clHotLight : clBtnText, DT_CENTER | DT_VCENTER);
    if (active && Focused()) {
      TRect f = r;
      InflateRect(f, -3, -3);
      DrawFocusRect(c, f);
    }
  }
}

void TQxPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  auto tabs = VisibleTabs();
  for (int32_t i = 0; i < static_cast<int32_t>(tabs.size()); ++i)
    if (PtInRect(TabRect(i), Point(X, Y))) {
      if (CanFocus()) SetFocus();
      SelectByUser(tabs[static_cast<size_t>(i)]);
      return;
    }
}

void TQxPageControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!HotTrack) return;
  int32_t hot = -1;
  const int32_t n = static_cast<int32_t>(VisibleTabs().size());
  for (int32_t i = 0; i < n && hot < 0; ++i)
    if (PtInRect(TabRect(i), Point(X, Y))) hot = i;
  if (hot == FHotTab) return;
  FHotTab = hot;
  Invalidate();
}

void TQxPageControl::CMMouseLeave(TMessage& Message) {
  TCustomControl::CMMouseLeave(Message);
  if (FHotTab < 0) return;
  FHotTab = -1;
  Invalidate();
}

void TQxPageControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  auto tabs = VisibleTabs();
  if (tabs.empty() || (Key != VK_LEFT && Key != VK_RIGHT)) return;
  auto it = std::find(tabs.begin(), tabs.end(), FActive);
  int32_t i = it == tabs.end() ? 0 : static_cast<int32_t>(it - tabs.begin());
  i = std::clamp(i + (Key == VK_RIGHT ? 1 : -1), 0, static_cast<int32_t>(tabs.size()) - 1);
  SelectByUser(tabs[static_cast<size_t>(i)]);
  Key = 0;
}

void TQxPageControl::Dispatch(TMessage& M) {
  if (M.Msg == WM_GETDLGCODE) {
    M.Result = DLGC_WANTARROWS;
    return;
  }
  if (M.Msg == WM_SETFOCUS || M.Msg == WM_KILLFOCUS) Invalidate();
  TCustomControl::Dispatch(M);
}

// ---- up-down ----

TQxUpDown::TQxUpDown(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 15, 21);
  SetTabStop(false);
}

void TQxUpDown::SetAssociate(TWinControl* Edit) {
  FAssociate = Edit;
  if (!Edit) return;
  SetParent(Edit->Parent());
  // The edit gives up the room the arrows take.
  Edit->SetWidth(std::max(8, Edit->Width() - Width()));
  SetBounds(Edit->Left() + Edit->Width(), Edit->Top(), Width(), Edit->Height());
}

int32_t TQxUpDown::Position() const {
  if (!FAssociate) return Min;
  std::string t = FAssociate->Text();
  t.erase(std::remove(t.begin(), t.end(), ','), t.end());
  try {
    return std::clamp(static_cast<int32_t>(std::stol(t)), Min, Max);
  } catch (const std::exception&) {
    return Min;
  }
}

void TQxUpDown::SetPosition(int32_t Value) {
  Value = std::clamp(Value, Min, Max);
  if (!FAssociate) return;
  std::string t = std::to_string(Value);
  if (Thousands)
    for (int i = static_cast<int>(t.size()) - 3; i > (t[0] == '-' ? 1 : 0); i -= 3) t.insert(static_cast<size_t>(i), ",");
  FAssociate->SetText(t);
}

void TQxUpDown::Step(bool Up) {
  const int32_t before = Position();
  SetPosition(before + (Up ? Increment : -Increment));
  if (OnClick) OnClick(this);
}

void TQxUpDown::Paint() {
  TCanvas* c = Canvas();
  const int32_t h = Height() / 2;
  for (int half = 0; half < 2; ++half) {
    TRect r = Rect(0, half * h, Width(), half ? Height() : h);
    Fill(c, r, clBtnFace);
    TRect e = r;
    DrawEdge(c, e, EDGE_RAISED, BF_RECT);
    // A small triangle pointing the way the arrow steps.
    const int32_t cx = Width() / 2, cy = (r.Top + r.Bottom) / 2;
    const TColor col = Enabled() ? clBtnText : clGrayText;
    for (int k = 0; k < 3; ++k) {
      const int32_t y = half ? cy - 1 + k : cy + 1 - k;
      for (int32_t x = cx - 2 + k; x <= cx + 2 - k; ++x) c->SetPixels(x, y, col);
    }
  }
}

void TQxUpDown::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button == TMouseButton::mbLeft && Enabled()) Step(Y < Height() / 2);
}

// ---- panel, colour field and progress bar ----

TQxPanel::TQxPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  SetColor(clBtnFace);
  SetControlStyle(ControlStyle() + TControlStyle{csAcceptsControls});
}

void TQxPanel::Paint() { Fill(Canvas(), ClientRect(), Color()); }

TQxColorField::TQxColorField(TComponent* AOwner) : TCustomControl(AOwner) { SetBounds(0, 0, 34, 17); }

void TQxColorField::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  DrawEdge(c, r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  Fill(c, r, Enabled() ? Color() : clBtnFace);
}

TQxProgressBar::TQxProgressBar(TComponent* AOwner) : TGraphicControl(AOwner) { SetBounds(0, 0, 150, 16); }

void TQxProgressBar::SetPosition(int32_t Value) {
  Value = std::clamp(Value, 0, FMax);
  if (Value == FPosition) return;
  FPosition = Value;
  Invalidate();
}

void TQxProgressBar::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  DrawEdge(c, r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  Fill(c, r, clBtnFace);
  TRect done = r;
  done.Right = r.Left + static_cast<int32_t>(int64_t(r.Right - r.Left) * FPosition / FMax);
  Fill(c, done, clHighlight);
}

// ---- speed button ----

TQxSpeedButton::TQxSpeedButton(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 23, 22);
  SetColor(clBtnFace);
}

void TQxSpeedButton::SetDown(bool Value) {
  if (Value == FDown) return;
  FDown = Value;
  Invalidate();
}

void TQxSpeedButton::Click() {
  if (GroupIndex != 0) FDown = !FDown;
  Invalidate();
  TCustomControl::Click();
}

void TQxSpeedButton::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  Fill(c, r, clBtnFace);
  if (FDown || FPressed) DrawEdge(c, r, BDR_SUNKENOUTER, BF_RECT);
  TColor ink = Enabled() ? clBtnText : clGrayText;
  int32_t ox = (Width() - 16) / 2 + (FDown || FPressed ? 1 : 0), oy = (Height() - 16) / 2 + (FDown || FPressed ? 1 : 0);
  c->Pen()->SetColor(ink);
  c->Brush()->SetColor(ink);
  if (Glyph == TQxGlyphKind::gkPlay) {
    TPoint tri[3] = {Point(ox + 5, oy + 3), Point(ox + 12, oy + 8), Point(ox + 5, oy + 13)};
    c->Polygon(tri, 3);
  } else {
    // A magnifier: a ring and its handle.
    c->Brush()->SetStyle(TBrushStyle::bsClear);
    c->Ellipse(ox + 2, oy + 2, ox + 11, oy + 11);
    c->Pen()->SetWidth(2);
    c->MoveTo(ox + 10, oy + 10);
    c->LineTo(ox + 14, oy + 14);
    c->Pen()->SetWidth(1);
    c->Brush()->SetStyle(TBrushStyle::bsSolid);
  }
}

void TQxSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != TMouseButton::mbLeft || !Enabled()) return;
  FPressed = true;
  Invalidate();
}

void TQxSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (!FPressed) return;
  FPressed = false;
  Invalidate();
}

void TQxSpeedButton::Dispatch(TMessage& M) {
  if (M.Msg == CM_ENABLEDCHANGED) Invalidate();
  TCustomControl::Dispatch(M);
}
