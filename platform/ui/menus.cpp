// Menus: items, the menu bar, popups and the loop that tracks an open menu.
#include "platform/ui/menus.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <set>

#include "platform/ui/actions.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus_internal.h"
#include "platform/ui/ui_internal.h"

// ---- shortcuts ------------------------------------------------------------------------------

TShortCut ShortCut(uint16_t Key, TShiftState Shift) {
  if (Key & 0xFF00) return 0;
  TShortCut s = Key;
  if (Shift.Contains(ssShift)) s |= scShift;
  if (Shift.Contains(ssCtrl)) s |= scCtrl;
  if (Shift.Contains(ssAlt)) s |= scAlt;
  return s;
}

void ShortCutToKey(TShortCut ShortCut, uint16_t& Key, TShiftState& Shift) {
  Key = ShortCut & 0xFF;
  Shift = {};
  if (ShortCut & scShift) Shift.Include(ssShift);
  if (ShortCut & scCtrl) Shift.Include(ssCtrl);
  if (ShortCut & scAlt) Shift.Include(ssAlt);
}

namespace {
struct TKeyName {
  uint16_t Key;
  const char* Name;
};
const TKeyName kKeyNames[] = {
    {VK_BACK, "BkSp"},  {VK_TAB, "Tab"},    {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"},  {VK_SPACE, "Space"},
    {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"},  {VK_END, "End"},      {VK_HOME, "Home"},   {VK_LEFT, "Left"},
    {VK_UP, "Up"},      {VK_RIGHT, "Right"}, {VK_DOWN, "Down"},   {VK_INSERT, "Ins"},  {VK_DELETE, "Del"},
};

std::string KeyName(uint16_t Key) {
  if ((Key >= 'A' && Key <= 'Z') || (Key >= '0' && Key <= '9')) return std::string(1, static_cast<char>(Key));
  if (Key >= VK_F1 && Key <= VK_F12) {
    std::string f(1, 'F');
    f += std::to_string(Key - VK_F1 + 1);
    return f;
  }
  for (auto& k : kKeyNames)
    if (k.Key == Key) return k.Name;
  switch (Key) {
    case VK_ADD: return "Num +";
    case VK_SUBTRACT: return "Num -";
    case VK_MULTIPLY: return "Num *";
    case VK_DIVIDE: return "Num /";
    case VK_OEM_PLUS: return "+";
    case VK_OEM_MINUS: return "-";
  }
  return {};
}

bool SameTextCI(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}
}  // namespace

std::string ShortCutToText(TShortCut S) {
  if (S == 0) return {};
  std::string name = KeyName(S & 0xFF);
  if (name.empty()) return {};
  std::string t;
  if (S & scShift) t += "Shift+";
  if (S & scCtrl) t += "Ctrl+";
  if (S & scAlt) t += "Alt+";
  return t + name;
}

TShortCut TextToShortCut(const std::string& Text) {
  std::string rest = Text;
  TShortCut mods = 0;
  for (;;) {
    if (rest.size() > 6 && SameTextCI(rest.substr(0, 6), "Shift+")) mods |= scShift, rest = rest.substr(6);
    else if (rest.size() > 5 && SameTextCI(rest.substr(0, 5), "Ctrl+")) mods |= scCtrl, rest = rest.substr(5);
    else if (rest.size() > 4 && SameTextCI(rest.substr(0, 4), "Alt+")) mods |= scAlt, rest = rest.substr(4);
    else break;
  }
  for (uint16_t k = 1; k < 256; ++k) {
    std::string n = KeyName(k);
    if (!n.empty() && SameTextCI(n, rest)) return static_cast<TShortCut>(mods | k);
  }
  return 0;
}

char32_t GetHotkey(const std::string& Caption) {
  for (size_t i = 0; i + 1 < Caption.size(); ++i) {
    if (Caption[i] != '&') continue;
    if (Caption[i + 1] == '&') {
      ++i;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(Caption[i + 1]);
    if (c < 0x80) return static_cast<char32_t>(std::tolower(c));
    return c;
  }
  return 0;
}

bool IsAccel(uint32_t Key, const std::string& Caption) {
  char32_t h = GetHotkey(Caption);
  if (!h) return false;
  uint32_t k = Key < 0x80 ? static_cast<uint32_t>(std::tolower(static_cast<int>(Key))) : Key;
  return h == k;
}

std::string StripHotkey(const std::string& Caption) {
  std::string s;
  for (size_t i = 0; i < Caption.size(); ++i) {
    if (Caption[i] == '&') {
      if (i + 1 < Caption.size() && Caption[i + 1] == '&') {
        s += '&';
        ++i;
      }
      continue;
    }
    s += Caption[i];
  }
  return s;
}

// ---- the popup window and the tracking loop --------------------------------------------------

namespace {

uint32_t gNextCommand = 100;
constexpr int32_t kFrame = 3;

class TPopupWindow;
TPopupWindow* gPainting = nullptr;
std::set<TPopupWindow*>& LivePopups() {
  static std::set<TPopupWindow*> s;
  return s;
}

intptr_t DefaultPopupProc(TMenuPopupWindow*, uint32_t Msg, uintptr_t WParam, intptr_t) {
  if (Msg != WM_ERASEBKGND) return 0;
  auto* c = reinterpret_cast<TCanvas*>(WParam);
  TRect r = c->ClipRect();
  TBrush b;
  b.SetColor(clMenu);
  FillRect(c, r, b);
  return 1;
}

class TPopupWindow : public TCustomForm, public TMenuPopupWindow {
 public:
  TPopupWindow(TMenuItem* Parent, int32_t Level) : TCustomForm(nullptr), FItem(Parent), FLevel(Level) {
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetColor(clMenu);
    MenuWindowProc = DefaultPopupProc;
    LivePopups().insert(this);
  }
  ~TPopupWindow() override { LivePopups().erase(this); }
  std::string ClassName() const override { return "TPopupWindow"; }
  TMenuItem* FItem;
  int32_t FLevel;
  std::vector<TMenuItem*> FItems;  // visible items
  std::vector<TRect> FRects;       // whole-window coordinates
  int32_t FSelected = -1;
  TRect FWin;                      // the whole window on the screen
  TRect FRegion;                   // the part that shows (window coordinates)
  bool FHasRegion = false;
  bool FInPaint = false, FGeometryPending = false;
  TPoint FBaseOrg;

  // Whole-window coordinates of a pixel of the shown part.
  TPoint ToWindow(const TPoint& P) const {
    return FHasRegion ? TPoint(P.X + FRegion.Left, P.Y + FRegion.Top) : P;
  }
  int32_t ItemAt(const TPoint& FormPt) const {
    TPoint P = ToWindow(FormPt);
    for (size_t i = 0; i < FRects.size(); ++i)
      if (PtInRect(FRects[i], P)) return static_cast<int32_t>(i);
    return -1;
  }
  void Place(const TRect& Win) {
    FWin = Win;
    ApplyGeometry();
  }
  void ApplyGeometry() {
    if (FHasRegion)
      SetBounds(FWin.Left + FRegion.Left, FWin.Top + FRegion.Top, FRegion.Width(), FRegion.Height());
    else
      SetBounds(FWin.Left, FWin.Top, FWin.Width(), FWin.Height());
  }
  void GeometryChanged() {
    if (!FInPaint) {
      ApplyGeometry();
      Invalidate();
      return;
    }
    if (FGeometryPending) return;
    FGeometryPending = true;
    TPopupWindow* self = this;
    TUiCore::QueueFn([self] {
      if (!LivePopups().count(self)) return;
      self->FGeometryPending = false;
      self->ApplyGeometry();
      self->Invalidate();
    });
  }

  // TMenuPopupWindow
  TRect WindowRect() const override { return FWin; }
  void SetWindowRegion(const TRect* Region) override {
    if (Region) FRegion = *Region;
    FHasRegion = Region != nullptr;
    GeometryChanged();
  }
  bool HasWindowRegion() const override { return FHasRegion; }
  void MoveWindow(int32_t X, int32_t Y) override {
    FWin = Rect(X, Y, X + FWin.Width(), Y + FWin.Height());
    GeometryChanged();
  }
  using TCustomForm::PaintWindow;
  void PaintWindow(const std::function<void(TCanvas*)>& Fn) override {
    TCanvas* c = Canvas();
    TPoint base = FInPaint ? FBaseOrg : TPoint(0, 0);
    if (!FInPaint) GetViewportOrgEx(c, &base);
    SaveDC(c);
    TPoint o = ToWindow(Point(0, 0));
    SetViewportOrgEx(c, base.X - o.X, base.Y - o.Y, nullptr);
    Fn(c);
    RestoreDC(c, -1);
  }
  TMenuItem* ParentItem() const override { return FItem; }
  intptr_t Send(uint32_t Msg, uintptr_t WParam = 0) { return MenuWindowProc ? MenuWindowProc(this, Msg, WParam, 0) : 0; }

 protected:
  void Activate() override {}
  void Paint() override {
    TCanvas* c = Canvas();
    GetViewportOrgEx(c, &FBaseOrg);
    FInPaint = true;
    gPainting = this;
    struct TPaintEnd {
      TPopupWindow* W;
      ~TPaintEnd() {
        gPainting = nullptr;
        W->FInPaint = false;
      }
    } end{this};
    PaintWindow([this](TCanvas* w) { Send(WM_ERASEBKGND, reinterpret_cast<uintptr_t>(w)); });
    for (size_t i = 0; i < FItems.size(); ++i) {
      TOwnerDrawState st;
      if (static_cast<int32_t>(i) == FSelected) st.Include(odSelected);
      if (!FItems[i]->Enabled()) st += TOwnerDrawState{odDisabled, odGrayed};
      if (FItems[i]->Checked()) st.Include(odChecked);
      if (FItems[i]->Default()) st.Include(odDefault);
      c->Font()->Assign(*Screen->MenuFont());
      SaveDC(c);
      TPoint o = ToWindow(Point(0, 0));
      OffsetViewportOrgEx(c, kFrame - o.X, kFrame - o.Y, nullptr);
      TRect r = FRects[i];
      OffsetRect(r, -kFrame, -kFrame);
      FItems[i]->AdvancedDrawItem(c, r, st, false);
      RestoreDC(c, -1);
    }
  }
};

struct TLevel {
  TPopupWindow* Win = nullptr;
};

// The menu-bar item under the mouse while no menu is open.
struct THot {
  TCustomForm* Form = nullptr;
  int32_t Index = -1;
} gHot;

void InvalidateBar(TCustomForm* F) {
  if (F) F->InvalidateWindowRect(Rect(0, 0, F->Width(), F->MenuBarHeight()));
}

}  // namespace

TMenuPopupWindow* MenuPopupOfCanvas(TCanvas* Canvas) {
  return gPainting && Canvas && static_cast<TCanvas*>(gPainting->Canvas()) == Canvas ? gPainting : nullptr;
}

class TUiMenuLoopImpl {
 public:
  TCustomForm* BarForm = nullptr;
  int32_t BarIndex = -1;
  std::vector<TLevel> Levels;
  TMenuItem* Chosen = nullptr;
  bool Active = true;
  TUiMenuLoop* Prev = nullptr;

  ~TUiMenuLoopImpl() { CloseFrom(0); }

  void CloseFrom(size_t L) {
    while (Levels.size() > L) {
      TPopupWindow* w = Levels.back().Win;
      Levels.pop_back();
      w->Hide();
      w->Send(WM_SHOWWINDOW, 0);
      w->Send(WM_DESTROY);
      delete w;
    }
  }

  static std::vector<TMenuItem*> VisibleItems(TMenuItem* Parent) {
    std::vector<TMenuItem*> v;
    for (int32_t i = 0; i < Parent->Count(); ++i)
      if (Parent->Items(i)->Visible()) v.push_back(Parent->Items(i));
    return v;
  }

  static bool Selectable(TMenuItem* I) { return I->Visible() && !I->IsLine(); }

  // Opens the sub-items of Parent as a new level at screen point (X, Y); a sub-menu that does not
  // fit on the right of its parent (whose window starts at LeftEdge) opens on its left.
  void Open(TMenuItem* Parent, int32_t X, int32_t Y, bool SelectFirst, int32_t LeftEdge = INT32_MIN) {
    Parent->Click();  // the parent hears that its items are about to show
    auto items = VisibleItems(Parent);
    if (items.empty()) return;
    auto* w = new TPopupWindow(Parent, static_cast<int32_t>(Levels.size()));
    TCanvas* c = w->Canvas();
    c->Font()->Assign(*Screen->MenuFont());
    int32_t width = 0, y = kFrame;
    std::vector<std::pair<int32_t, int32_t>> sizes;
    for (TMenuItem* it : items) {
      int32_t iw = 0, ih = 0;
      it->MeasureItem(c, iw, ih);
      sizes.emplace_back(iw, ih);
      width = std::max(width, iw);
    }
    for (size_t i = 0; i < items.size(); ++i) {
      w->FItems.push_back(items[i]);
      w->FRects.push_back(Rect(kFrame, y, kFrame + width, y + sizes[i].second));
      y += sizes[i].second;
    }
    int32_t W = width + 2 * kFrame, H = y + kFrame;
    TRect scr = Application->Backend()->ScreenRect();
    if (X + W > scr.Right) X = LeftEdge != INT32_MIN ? LeftEdge - W + kFrame : scr.Right - W;
    X = std::max(scr.Left, X);
    if (Y + H > scr.Bottom) Y = std::max(scr.Top, scr.Bottom - H);
    w->Place(Rect(X, Y, X + W, Y + H));
    Levels.push_back({w});
    if (SelectFirst) Select(w, Next(w, -1, +1));
    w->Show();
  }

  int32_t Next(TPopupWindow* w, int32_t From, int32_t Dir) {
    int32_t n = static_cast<int32_t>(w->FItems.size());
    if (n == 0) return -1;
    int32_t i = From;
    for (int32_t k = 0; k < n; ++k) {
      i = (i + Dir + n) % n;
      if (Selectable(w->FItems[static_cast<size_t>(i)])) return i;
    }
    return -1;
  }

  void Select(TPopupWindow* w, int32_t Index) {
    if (w->FSelected == Index) return;
    w->FSelected = Index;
    w->Invalidate();
  }

  // Opens the sub-menu of the selected item of level L.
  void OpenSub(size_t L, bool SelectFirst) {
    TPopupWindow* w = Levels[L].Win;
    if (w->FSelected < 0) return;
    TMenuItem* it = w->FItems[static_cast<size_t>(w->FSelected)];
    CloseFrom(L + 1);
    if (it->Count() == 0 || !it->Enabled()) return;
    TRect r = w->FRects[static_cast<size_t>(w->FSelected)];
    Open(it, w->FWin.Right - kFrame, w->FWin.Top + r.Top - kFrame, SelectFirst, w->FWin.Left);
  }

  void SetBarIndex(int32_t Index) {
    if (Index == BarIndex) return;
    BarIndex = Index;
    InvalidateBar(BarForm);
  }

  int32_t BarCount() const { return static_cast<int32_t>(VisibleItems(BarForm->Menu()->Items()).size()); }

  void OpenBarItem(int32_t Index, bool SelectFirst) {
    CloseFrom(0);
    BarIndex = Index;
    InvalidateBar(BarForm);
    TMenuItem* root = BarForm->Menu()->Items();
    auto items = VisibleItems(root);
    if (Index < 0 || Index >= static_cast<int32_t>(items.size())) return;
    TRect r;
    TUiMenuLoop::BarItemRect(BarForm, Index, r);
    TMenuItem* it = items[static_cast<size_t>(Index)];
    if (it->Count() == 0) {
      Chosen = it->Enabled() ? it : nullptr;
      Active = false;
      return;
    }
    if (!it->Enabled()) return;
    Open(it, BarForm->Left() + r.Left, BarForm->Top() + r.Bottom, SelectFirst);
  }

  void Choose(TMenuItem* It) {
    if (!It->Enabled() || It->IsLine()) return;
    if (It->Count() > 0) return;
    Chosen = It;
    Active = false;
  }

  int32_t LevelOf(TCustomForm* F) const {
    for (size_t i = 0; i < Levels.size(); ++i)
      if (Levels[i].Win == F) return static_cast<int32_t>(i);
    return -1;
  }
};

namespace {
TUiMenuLoopImpl* Loop() { return reinterpret_cast<TUiMenuLoopImpl*>(TUiCore::MenuLoop); }

void SetHot(TCustomForm* F, int32_t Index) {
  if (gHot.Form == F && gHot.Index == Index) return;
  TCustomForm* old = gHot.Form;
  gHot = {Index >= 0 ? F : nullptr, Index};
  InvalidateBar(old);
  if (F != old) InvalidateBar(F);
}

// Runs a loop until the menu closes, then runs the chosen item.
void RunLoop(TUiMenuLoopImpl& L) {
  SetHot(nullptr, -1);
  L.Prev = TUiCore::MenuLoop;
  TUiCore::MenuLoop = reinterpret_cast<TUiMenuLoop*>(&L);
  TMenuItem* chosen = nullptr;
  try {
    while (L.Active && !Application->Terminated()) Application->HandleMessage();
  } catch (...) {
    TUiCore::MenuLoop = L.Prev;
    L.CloseFrom(0);
    throw;
  }
  chosen = L.Chosen;
  TUiCore::MenuLoop = L.Prev;
  TCustomForm* bar = L.BarForm;
  L.CloseFrom(0);
  InvalidateBar(bar);
  if (chosen) chosen->Click();
}

int32_t BarItemAt(TCustomForm* F, const TPoint& P) {
  TMenuItem* root = F->Menu()->Items();
  int32_t n = 0;
  for (int32_t i = 0; i < root->Count(); ++i)
    if (root->Items(i)->Visible()) ++n;
  for (int32_t i = 0; i < n; ++i) {
    TRect r;
    if (TUiMenuLoop::BarItemRect(F, i, r) && PtInRect(r, P)) return i;
  }
  return -1;
}

// Keys while the bar is active and no drop-down shows (after Alt): arrows walk the bar, Down,
// Up, Enter or an accelerator open a drop-down, Esc and Alt leave.
void BarKey(TUiMenuLoopImpl* L, const TUiEvent& E) {
  int32_t n = L->BarCount();
  if (E.Type == TUiEvent::Kind::Char) {
    uint32_t code = static_cast<unsigned char>(E.Text.empty() ? 0 : E.Text[0]);
    auto items = TUiMenuLoopImpl::VisibleItems(L->BarForm->Menu()->Items());
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i]->Enabled() && IsAccel(code, items[i]->Caption())) {
        L->OpenBarItem(static_cast<int32_t>(i), true);
        break;
      }
    return;
  }
  if (E.Type != TUiEvent::Kind::KeyDown) return;
  switch (E.Key) {
    case VK_ESCAPE:
    case VK_MENU:
    case VK_F10: L->Active = false; break;
    case VK_LEFT:
      if (n > 0) L->SetBarIndex((L->BarIndex - 1 + n) % n);
      break;
    case VK_RIGHT:
      if (n > 0) L->SetBarIndex((L->BarIndex + 1) % n);
      break;
    case VK_DOWN:
    case VK_UP:
    case VK_RETURN:
    case VK_SPACE: L->OpenBarItem(L->BarIndex, true); break;
    default: break;
  }
}
}  // namespace

bool TUiMenuLoop::HandleMouse(TCustomForm* F, const TUiEvent& E) {
  TUiMenuLoopImpl* L = Loop();
  if (!L) return false;
  int32_t lv = L->LevelOf(F);
  TPoint p(E.X, E.Y);
  if (lv >= 0) {
    TPopupWindow* w = L->Levels[static_cast<size_t>(lv)].Win;
    int32_t i = w->ItemAt(p);
    if (E.Type == TUiEvent::Kind::MouseMove || E.Type == TUiEvent::Kind::MouseDown) {
      if (i >= 0 && TUiMenuLoopImpl::Selectable(w->FItems[static_cast<size_t>(i)])) {
        if (w->FSelected != i) {
          L->Select(w, i);
          L->CloseFrom(static_cast<size_t>(lv) + 1);
          if (w->FItems[static_cast<size_t>(i)]->Count() > 0) L->OpenSub(static_cast<size_t>(lv), false);
        }
      }
    } else if (E.Type == TUiEvent::Kind::MouseUp && i >= 0) {
      L->Choose(w->FItems[static_cast<size_t>(i)]);
    }
    return true;
  }
  if (F == L->BarForm && E.Y >= 0 && E.Y < F->MenuBarHeight()) {
    int32_t b = BarItemAt(F, p);
    if (E.Type == TUiEvent::Kind::MouseMove && b >= 0 && b != L->BarIndex) {
      if (L->Levels.empty()) L->SetBarIndex(b);
      else L->OpenBarItem(b, false);
    }
    if (E.Type == TUiEvent::Kind::MouseDown) {
      if (b < 0 || (b == L->BarIndex && !L->Levels.empty())) L->Active = false;
      else L->OpenBarItem(b, false);
    }
    return true;
  }
  if (E.Type == TUiEvent::Kind::MouseDown) L->Active = false;
  return true;
}

bool TUiMenuLoop::HandleKey(TCustomForm*, const TUiEvent& E) {
  TUiMenuLoopImpl* L = Loop();
  if (!L) return false;
  if (E.Type == TUiEvent::Kind::KeyUp) return true;
  if (L->Levels.empty()) {
    if (L->BarForm && L->BarIndex >= 0) BarKey(L, E);
    else if (E.Type == TUiEvent::Kind::KeyDown && E.Key == VK_ESCAPE) L->Active = false;
    return true;
  }
  size_t last = L->Levels.size() - 1;
  TPopupWindow* w = L->Levels[last].Win;
  if (E.Type == TUiEvent::Kind::Char) {
    uint32_t code = static_cast<unsigned char>(E.Text.empty() ? 0 : E.Text[0]);
    for (size_t i = 0; i < w->FItems.size(); ++i) {
      TMenuItem* it = w->FItems[i];
      if (TUiMenuLoopImpl::Selectable(it) && IsAccel(code, it->Caption())) {
        L->Select(w, static_cast<int32_t>(i));
        if (it->Count() > 0) L->OpenSub(last, true);
        else L->Choose(it);
        break;
      }
    }
    return true;
  }
  if (E.Type != TUiEvent::Kind::KeyDown) return true;
  switch (E.Key) {
    case VK_ESCAPE:
      if (last > 0) L->CloseFrom(last);
      else L->Active = false;
      break;
    case VK_MENU: L->Active = false; break;
    case VK_UP: L->Select(w, L->Next(w, w->FSelected < 0 ? 0 : w->FSelected, -1)); break;
    case VK_DOWN: L->Select(w, L->Next(w, w->FSelected, +1)); break;
    case VK_RIGHT:
      if (w->FSelected >= 0 && w->FItems[static_cast<size_t>(w->FSelected)]->Count() > 0) {
        L->OpenSub(last, true);
      } else if (L->BarForm) {
        int32_t n = L->BarCount();
        if (n > 0) L->OpenBarItem((L->BarIndex + 1) % n, true);
      }
      break;
    case VK_LEFT:
      if (last > 0) {
        L->CloseFrom(last);
      } else if (L->BarForm) {
        int32_t n = L->BarCount();
        if (n > 0) L->OpenBarItem((L->BarIndex - 1 + n) % n, true);
      }
      break;
    case VK_RETURN:
    case VK_SPACE:
      if (w->FSelected >= 0) {
        TMenuItem* it = w->FItems[static_cast<size_t>(w->FSelected)];
        if (it->Count() > 0) L->OpenSub(last, true);
        else L->Choose(it);
      }
      break;
    default: break;
  }
  return true;
}

void TUiMenuLoop::BarMouseDown(TCustomForm* F, const TPoint& P) {
  int32_t b = BarItemAt(F, P);
  if (b < 0) return;
  OpenBar(F, b, false);
}

void TUiMenuLoop::BarMouseMove(TCustomForm* F, const TPoint& P) {
  if (TUiCore::MenuLoop) return;
  bool onBar = F && F->Menu() && P.Y >= 0 && P.Y < F->MenuBarHeight();
  SetHot(F, onBar ? BarItemAt(F, P) : -1);
}

void TUiMenuLoop::OpenBar(TCustomForm* F, int32_t Index, bool Keyboard) {
  if (!F->Menu() || TUiCore::MenuLoop) return;
  TUiMenuLoopImpl L;
  L.BarForm = F;
  L.OpenBarItem(Index, Keyboard);
  if (!L.Active) {
    // A bar item without sub-items is a command of its own.
    TMenuItem* c = L.Chosen;
    L.BarIndex = -1;
    InvalidateBar(F);
    if (c) c->Click();
    return;
  }
  RunLoop(L);
}

void TUiMenuLoop::ActivateBar(TCustomForm* F) {
  if (!F->Menu() || TUiCore::MenuLoop) return;
  TUiMenuLoopImpl L;
  L.BarForm = F;
  if (L.BarCount() == 0) return;
  L.SetBarIndex(0);
  RunLoop(L);
}

bool TUiMenuLoop::BarAccelerator(TCustomForm* F, uint32_t Code) {
  auto items = TUiMenuLoopImpl::VisibleItems(F->Menu()->Items());
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i]->Enabled() && IsAccel(Code, items[i]->Caption())) {
      OpenBar(F, static_cast<int32_t>(i), true);
      return true;
    }
  return false;
}

void TUiMenuLoop::CloseAll() {
  if (TUiMenuLoopImpl* L = Loop()) {
    L->Active = false;
    L->Chosen = nullptr;
  }
}

bool TUiMenuLoop::OwnsWindow(TCustomForm* F) {
  TUiMenuLoopImpl* L = Loop();
  return L && (L->LevelOf(F) >= 0 || L->BarForm == F);
}

void TUiMenuLoop::FormGone(TCustomForm* F) {
  if (gHot.Form == F) gHot = {};
}

bool TUiMenuLoop::BarItemRect(TCustomForm* F, int32_t Index, TRect& R) {
  if (!F->Menu()) return false;
  TCanvas* c = F->BackBuffer() ? F->BackBuffer()->Canvas() : nullptr;
  TBitmap scratch(1, 1, TPixelFormat::pf32bit);
  if (!c) c = scratch.Canvas();
  c->Font()->Assign(*Screen->MenuFont());
  int32_t h = F->MenuBarHeight(), x = 0, k = 0;
  TMenuItem* root = F->Menu()->Items();
  for (int32_t i = 0; i < root->Count(); ++i) {
    TMenuItem* it = root->Items(i);
    if (!it->Visible()) continue;
    int32_t w = 0, ih = h;
    it->MeasureItem(c, w, ih);
    if (k == Index) {
      R = Rect(x, 0, x + w, h);
      return true;
    }
    x += w;
    ++k;
  }
  return false;
}

void TUiMenuLoop::PaintBar(TCustomForm* F, HDC DC) {
  TMenuItem* root = F->Menu()->Items();
  int32_t h = F->MenuBarHeight();
  // Owner-drawn bars paint their own background. Right of the last item the bar colour goes down
  // only while that item is plain: a lit or open last item leaves what its plain look painted.
  TBrush b;
  b.SetColor(clMenuBar);
  if (!F->Menu()->OwnerDraw()) FillRect(DC, Rect(0, 0, F->Width(), h), b);
  TUiMenuLoopImpl* L = Loop();
  int32_t k = 0;
  for (int32_t i = 0; i < root->Count(); ++i) {
    TMenuItem* it = root->Items(i);
    if (!it->Visible()) continue;
    TRect r;
    if (!BarItemRect(F, k, r)) break;
    TOwnerDrawState st;
    bool looping = L && L->BarForm == F;
    if (looping && L->BarIndex == k) st.Include(L->Levels.empty() ? odHotLight : odSelected);
    if (!looping && gHot.Form == F && gHot.Index == k) st.Include(odHotLight);
    if (!it->Enabled()) st += TOwnerDrawState{odDisabled, odGrayed};
    bool last = true;
    for (int32_t j = i + 1; j < root->Count(); ++j) last = last && !root->Items(j)->Visible();
    if (F->Menu()->OwnerDraw() && last && !st.Contains(odSelected) && !st.Contains(odHotLight))
      FillRect(DC, Rect(r.Right, 0, F->Width(), h), b);
    DC->Font()->Assign(*Screen->MenuFont());
    SaveDC(DC);
    it->AdvancedDrawItem(DC, r, st, true);
    RestoreDC(DC, -1);
    ++k;
  }
}

// ---- TMenuItem ------------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), FCommand(++gNextCommand) {}

TMenuItem::~TMenuItem() {
  while (!FItems.empty()) {
    TMenuItem* c = FItems.back();
    FItems.pop_back();
    c->FParent = nullptr;
    delete c;
  }
  if (FParent) FParent->Remove(this);
}

void TMenuItem::SetCaption(const std::string& Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  MenuChanged(true);
}

void TMenuItem::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  if (Value && FRadioItem) TurnSiblingsOff();
  MenuChanged(false);
}

void TMenuItem::TurnSiblingsOff() {
  if (!FParent) return;
  for (TMenuItem* s : FParent->FItems)
    if (s != this && s->FRadioItem && s->FGroupIndex == FGroupIndex && s->FChecked) {
      s->FChecked = false;
      s->MenuChanged(false);
    }
}

void TMenuItem::SetRadioItem(bool Value) {
  if (Value == FRadioItem) return;
  FRadioItem = Value;
  if (FChecked && Value) TurnSiblingsOff();
  MenuChanged(false);
}

void TMenuItem::SetGroupIndex(uint8_t Value) {
  if (Value == FGroupIndex) return;
  FGroupIndex = Value;
  if (FChecked && FRadioItem) TurnSiblingsOff();
}

void TMenuItem::SetShortCut(TShortCut Value) {
  FShortCut = Value;
  MenuChanged(true);
}

void TMenuItem::SetImageIndex(int32_t Value) {
  if (Value == FImageIndex) return;
  FImageIndex = Value;
  MenuChanged(true);
}

TBitmap* TMenuItem::Bitmap() {
  if (!FBitmap) FBitmap = std::make_unique<TBitmap>();
  return FBitmap.get();
}

void TMenuItem::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  MenuChanged(true);
}

void TMenuItem::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  MenuChanged(false);
}

void TMenuItem::SetBreak(bool Value) {
  FBreak = Value;
  MenuChanged(true);
}

void TMenuItem::SetDefault(bool Value) {
  FDefault = Value;
  MenuChanged(false);
}

void TMenuItem::SetSubMenuImages(TImageList* v) {
  if (FSubMenuImages) FSubMenuImages->RemoveFreeNotification(this);
  FSubMenuImages = v;
  if (v) v->FreeNotification(this);
  MenuChanged(true);
}

void TMenuItem::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FSubMenuImages) FSubMenuImages = nullptr;
}

int32_t TMenuItem::MenuIndex() const { return FParent ? FParent->IndexOf(this) : -1; }

void TMenuItem::SetMenuIndex(int32_t Value) {
  if (!FParent) return;
  TMenuItem* p = FParent;
  auto& v = p->FItems;
  v.erase(std::find(v.begin(), v.end(), this));
  Value = std::clamp<int32_t>(Value, 0, static_cast<int32_t>(v.size()));
  v.insert(v.begin() + Value, this);
  MenuChanged(true);
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int32_t Index, TMenuItem* Item) {
  if (!Item) return;
  if (Item->FParent) throw EInvalidOperation("Menu inserted twice");
  Index = std::clamp<int32_t>(Index, 0, Count());
  FItems.insert(FItems.begin() + Index, Item);
  Item->FParent = this;
  if (Item->FChecked && Item->FRadioItem) Item->TurnSiblingsOff();
  MenuChanged(true);
}

void TMenuItem::Delete(int32_t Index) {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  TMenuItem* it = FItems[static_cast<size_t>(Index)];
  FItems.erase(FItems.begin() + Index);
  it->FParent = nullptr;
  MenuChanged(true);
}

void TMenuItem::Remove(TMenuItem* Item) {
  int32_t i = IndexOf(Item);
  if (i >= 0) Delete(i);
}

void TMenuItem::Clear() {
  while (!FItems.empty()) {
    TMenuItem* c = FItems.back();
    FItems.pop_back();
    c->FParent = nullptr;
    delete c;
  }
  MenuChanged(true);
}

int32_t TMenuItem::IndexOf(const TMenuItem* Item) const {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : static_cast<int32_t>(it - FItems.begin());
}

TMenuItem* TMenuItem::Find(const std::string& ACaption) const {
  std::string want = StripHotkey(ACaption);
  for (TMenuItem* i : FItems)
    if (SameTextCI(StripHotkey(i->FCaption), want)) return i;
  return nullptr;
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* i = this;
  while (i->FParent) i = i->FParent;
  return i->FMenu;
}

TImageList* TMenuItem::GetImageList() const {
  for (const TMenuItem* p = FParent; p; p = p->FParent)
    if (p->FSubMenuImages) return p->FSubMenuImages;
  TMenu* m = GetParentMenu();
  return m ? m->Images() : nullptr;
}

bool TMenuItem::ItemRect(TRect& R) const {
  TUiMenuLoopImpl* L = Loop();
  if (FParent && FParent->FMenu && dynamic_cast<TMainMenu*>(FParent->FMenu)) {
    TWinControl* w = FParent->FMenu->WindowHandleControl();
    auto* f = dynamic_cast<TCustomForm*>(w);
    if (!f) return false;
    int32_t k = 0;
    for (TMenuItem* s : FParent->FItems) {
      if (!s->Visible()) continue;
      if (s == this) return TUiMenuLoop::BarItemRect(f, k, R);
      ++k;
    }
    return false;
  }
  if (!L) return false;
  for (auto& lv : L->Levels)
    for (size_t i = 0; i < lv.Win->FItems.size(); ++i)
      if (lv.Win->FItems[i] == this) {
        R = lv.Win->FRects[i];
        return true;
      }
  return false;
}

bool TMenuItem::PopupWindowRect(TRect& R) const {
  TUiMenuLoopImpl* L = Loop();
  if (!L) return false;
  for (auto& lv : L->Levels)
    if (lv.Win->FItem == this) {
      R = lv.Win->BoundsRect();
      return true;
    }
  return false;
}

bool TMenuItem::ScreenRect(TRect& R) const {
  if (!ItemRect(R)) return false;
  if (FParent && FParent->FMenu && dynamic_cast<TMainMenu*>(FParent->FMenu)) {
    auto* f = dynamic_cast<TCustomForm*>(FParent->FMenu->WindowHandleControl());
    if (!f) return false;
    OffsetRect(R, f->Left(), f->Top());
    return true;
  }
  for (auto& lv : Loop()->Levels)
    if (std::find(lv.Win->FItems.begin(), lv.Win->FItems.end(), this) != lv.Win->FItems.end()) {
      OffsetRect(R, lv.Win->FWin.Left, lv.Win->FWin.Top);
      return true;
    }
  return false;
}

void TMenuItem::Click() {
  if (FAutoCheck && FItems.empty()) SetChecked(FRadioItem ? true : !FChecked);
  if (OnClick)
    OnClick(this);
  else if (FActionLink)
    FActionLink->Execute(this);
}

void TMenuItem::MenuChanged(bool Rebuild) {
  TMenu* m = GetParentMenu();
  if (m) m->MenuChanged(this, this, Rebuild);
}

namespace {
bool IsBarItem(const TMenuItem* I) {
  return I->Parent() && I->Parent()->GetParentMenu() && I->Parent()->Parent() == nullptr &&
         dynamic_cast<TMainMenu*>(I->Parent()->GetParentMenu());
}
}  // namespace

void TMenuItem::MeasureItem(TCanvas* ACanvas, int32_t& Width, int32_t& Height) {
  bool bar = IsBarItem(this);
  TMenu* m = GetParentMenu();
  TImageList* il = GetImageList();
  if (m && m->OwnerDraw()) {
    if (bar) {
      Width = 19;
      Height = GetSystemMetrics(SM_CYMENU);
    } else {
      Width = 0;
      Height = il ? il->Height() + 3 : (FBitmap && !FBitmap->Empty() ? 16 + 3 : 16 + 3);
    }
    if (OnMeasureItem) {
      OnMeasureItem(this, ACanvas, Width, Height);
      return;
    }
  }
  std::string text = StripHotkey(FCaption);
  if (bar) {
    Width = ACanvas->TextWidth(text) + 12;
    Height = GetSystemMetrics(SM_CYMENU);
    return;
  }
  if (IsLine()) {
    Width = 0;
    Height = 8;
    return;
  }
  int32_t th = ACanvas->TextHeight(text.empty() ? std::string("W") : text);
  Height = std::max(th + 6, 19);
  if (il) Height = std::max(Height, il->Height() + 3);
  int32_t sc = FShortCut ? ACanvas->TextWidth(ShortCutToText(FShortCut)) + 24 : 0;
  int32_t imgW = il ? il->Width() + 6 : 22;
  Width = imgW + ACanvas->TextWidth(text) + sc + 24;
}

void TMenuItem::AdvancedDrawItem(TCanvas* C, const TRect& R, TOwnerDrawState State, bool TopLevel) {
  TMenu* m = GetParentMenu();
  if (m && m->OwnerDraw()) {
    if (OnAdvancedDrawItem) {
      OnAdvancedDrawItem(this, C, R, State);
      return;
    }
    if (OnDrawItem) {
      OnDrawItem(this, C, R, State.Contains(odSelected));
      return;
    }
  }
  bool sel = State.Contains(odSelected);
  TBrush b;
  b.SetColor(sel ? clHighlight : (TopLevel ? clMenuBar : clMenu));
  FillRect(C, R, b);
  TColor text = !FEnabled ? clGrayText : sel ? clHighlightText : clMenuText;
  SetBkMode(C, TRANSPARENT);
  SetTextColor(C, text);
  std::string caption = StripHotkey(FCaption);
  if (TopLevel) {
    TRect r = R;
    DrawText(C, caption, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    return;
  }
  if (IsLine()) {
    int32_t y = (R.Top + R.Bottom) / 2 - 1;
    TRect line = Rect(R.Left + 2, y, R.Right - 2, y + 2);
    DrawEdge(C, line, EDGE_ETCHED, BF_TOP);
    return;
  }
  TImageList* il = GetImageList();
  int32_t imgW = il ? il->Width() + 6 : 22;
  if (il && FImageIndex >= 0 && FImageIndex < il->Count()) {
    il->Draw(C, R.Left + 3, R.Top + (R.Height() - il->Height()) / 2, FImageIndex, FEnabled);
  } else if (FChecked) {
    TBrush mark;
    mark.SetColor(text);
    int32_t cx = R.Left + imgW / 2, cy = (R.Top + R.Bottom) / 2;
    if (FRadioItem) {
      TRect dot = Rect(cx - 3, cy - 3, cx + 3, cy + 3);
      FillRect(C, Rect(dot.Left + 1, dot.Top, dot.Right - 1, dot.Bottom), mark);
      FillRect(C, Rect(dot.Left, dot.Top + 1, dot.Right, dot.Bottom - 1), mark);
    } else {
      for (int i = 0; i < 7; ++i) {
        int32_t y = i < 3 ? cy - 1 + i : cy + 1 - (i - 3);
        FillRect(C, Rect(cx - 3 + i, y, cx - 2 + i, y + 3), mark);
      }
    }
  }
  TRect tr = Rect(R.Left + imgW, R.Top, R.Right - 16, R.Bottom);
  DrawText(C, caption, tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  if (FShortCut) {
    TRect sr = tr;
    DrawText(C, ShortCutToText(FShortCut), sr, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  }
  if (!FItems.empty()) {
    TBrush a;
    a.SetColor(text);
    int32_t x = R.Right - 10, cy = (R.Top + R.Bottom) / 2;
    for (int i = 0; i < 4; ++i) FillRect(C, Rect(x + i, cy - 3 + i, x + i + 1, cy + 4 - i), a);
  }
}

// ---- TMenu, TMainMenu, TPopupMenu ------------------------------------------------------------

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), FItems(std::make_unique<TMenuItem>(nullptr)) {
  FItems->FMenu = this;
}

TMenu::~TMenu() {
  if (TUiCore::MenuLoop) TUiMenuLoop::CloseAll();
  FItems.reset();
}

void TMenu::SetImages(TImageList* Value) {
  if (FImages) FImages->RemoveFreeNotification(this);
  FImages = Value;
  if (Value) Value->FreeNotification(this);
  MenuChanged(this, nullptr, true);
}

void TMenu::SetOwnerDraw(bool Value) {
  if (Value == FOwnerDraw) return;
  FOwnerDraw = Value;
  MenuChanged(this, nullptr, true);
}

void TMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FImages) FImages = nullptr;
}

namespace {
bool RunShortCut(TMenuItem* Parent, TShortCut S) {
  for (int32_t i = 0; i < Parent->Count(); ++i) {
    TMenuItem* it = Parent->Items(i);
    if (!it->Visible() || !it->Enabled()) continue;
    if (it->ShortCut() == S && it->Count() == 0) {
      it->Click();
      return true;
    }
    if (it->Count() > 0 && RunShortCut(it, S)) return true;
  }
  return false;
}
TMenuItem* FindCommand(TMenuItem* Parent, uint32_t Command) {
  for (int32_t i = 0; i < Parent->Count(); ++i) {
    TMenuItem* it = Parent->Items(i);
    if (it->Command() == Command) return it;
    if (TMenuItem* f = FindCommand(it, Command)) return f;
  }
  return nullptr;
}
}  // namespace

bool TMenu::IsShortCut(uint16_t Key, TShiftState Shift) {
  TShortCut s = ShortCut(Key, Shift);
  if (s == 0) return false;
  return RunShortCut(FItems.get(), s);
}

TMenuItem* TMenu::FindItem(uint32_t Command) const { return FindCommand(FItems.get(), Command); }

void TMenu::MenuChanged(TObject* Sender, TMenuItem* Source, bool Rebuild) {
  if (TWinControl* w = WindowHandleControl()) {
    if (auto* f = dynamic_cast<TCustomForm*>(w)) {
      // The bar may have appeared or gone: the client area follows.
      f->Realign();
      f->Invalidate();
    }
  }
  if (TUiMenuLoopImpl* L = Loop())
    for (auto& lv : L->Levels) lv.Win->Invalidate();
  if (OnChange) OnChange(this);
}

TMainMenu::TMainMenu(TComponent* AOwner) : TMenu(AOwner) {}

TWinControl* TMainMenu::WindowHandleControl() const {
  auto* f = dynamic_cast<TCustomForm*>(Owner());
  if (f && f->Menu() == this) return f;
  for (TCustomForm* g : TUiCore::Forms())
    if (g->Menu() == this) return g;
  return nullptr;
}

void TMainMenu::OpenBarItem(int32_t Index) {
  if (auto* f = dynamic_cast<TCustomForm*>(WindowHandleControl())) TUiMenuLoop::OpenBar(f, Index, true);
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}
TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::Popup(int32_t X, int32_t Y) {
  if (TUiCore::MenuLoop) return;
  if (OnPopup) OnPopup(this);
  TUiMenuLoopImpl L;
  auto items = TUiMenuLoopImpl::VisibleItems(Items());
  if (items.empty()) return;
  // The root item of a popup menu is not clicked when it opens.
  auto saved = Items()->OnClick;
  Items()->OnClick = nullptr;
  L.Open(Items(), X, Y, false);
  Items()->OnClick = saved;
  RunLoop(L);
}

bool MenuIsTracking() { return TUiCore::MenuLoop != nullptr; }

std::vector<TCustomForm*> MenuPopupForms() {
  std::vector<TCustomForm*> v;
  if (TUiMenuLoopImpl* L = Loop())
    for (auto& lv : L->Levels) v.push_back(lv.Win);
  return v;
}

void CloseMenus() { TUiMenuLoop::CloseAll(); }
