#include "controls/kv_page_control.h"

#include <algorithm>
#include <cstdio>

#include "platform/base/exceptions.h"
#include "platform/ui/forms.h"
#include "platform/ui/published.h"

// ---- tab sheet ---------------------------------------------------------------------------------

TKvTabSheet::TKvTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  SetShown(false);
  FControlStyle.Include(csAcceptsControls);
  FControlStyle.Include(csOpaque);
  SetAlign(alClient);
  SetParentColor(false);
  TCustomControl::SetColor(clBtnFace);
}

TKvTabSheet::~TKvTabSheet() {
  if (FPageControl) FPageControl->RemovePage(this);
}

void TKvTabSheet::SetPageControl(TKvPageControl* v) {
  if (FPageControl == v) return;
  if (FPageControl) FPageControl->RemovePage(this);
  SetParent(v);
  if (v) v->InsertPage(this);
}

void TKvTabSheet::TabsChangedNotify() {
  if (FPageControl) FPageControl->TabsChanged();
}

void TKvTabSheet::SetColor(TColor Value) {
  if (Value == Color()) return;
  if (FPageControl && !FPageControl->UseColoredTabs() && Value != FPageControl->Color())
    FPageControl->SetUseColoredTabs(true);
  TCustomControl::SetColor(Value);
  TabsChangedNotify();
}

void TKvTabSheet::SetDisabledIndex(int32_t v) {
  if (v == FDisabledIndex) return;
  FDisabledIndex = v;
  TabsChangedNotify();
}

void TKvTabSheet::SetImageIndex(int32_t v) {
  if (v == FImageIndex) return;
  FImageIndex = v;
  TabsChangedNotify();
}

void TKvTabSheet::SetTabEnabled(bool v) {
  if (v == FTabEnabled) return;
  FTabEnabled = v;
  TabsChangedNotify();
}

void TKvTabSheet::SetTabVisible(bool v) {
  if (v == FTabVisible) return;
  FTabVisible = v;
  TabsChangedNotify();
}

int32_t TKvTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  const auto& p = FPageControl->FPages;
  auto it = std::find(p.begin(), p.end(), this);
  return it == p.end() ? -1 : static_cast<int32_t>(it - p.begin());
}

void TKvTabSheet::SetPageIndex(int32_t v) {
  if (!FPageControl) return;
  const int32_t count = FPageControl->PageCount();
  if (v < 0 || v > count - 1) {
    char msg[160];
    std::snprintf(msg, sizeof msg, "%d is an invalid PageIndex value. PageIndex must be between 0 and %d", v,
                  count - 1);
    throw Exception(msg);
  }
  const int32_t old = PageIndex();
  auto& p = FPageControl->FPages;
  p.erase(p.begin() + old);
  p.insert(p.begin() + v, this);
  TabsChangedNotify();
  FPageControl->DoTabOrderChange(old, v);
}

int32_t TKvTabSheet::TabIndex() const {
  if (!FTabVisible) return -1;
  if (!FPageControl) return 0;
  int32_t n = 0;
  for (TKvTabSheet* s : FPageControl->FPages) {
    if (s == this) break;
    if (s->FTabVisible) ++n;
  }
  return n;
}

void TKvTabSheet::SetVisible(bool) { throw Exception("You cannot change the Visible property of a page"); }

void TKvTabSheet::CMTextChanged(TMessage& Message) {
  TCustomControl::CMTextChanged(Message);
  TabsChangedNotify();
}

void TKvTabSheet::Paint() {
  TCanvas* C = Canvas();
  const TRect r(0, 0, Width(), Height());
  bool handled = false;
  if (OnPaintBackground) OnPaintBackground(this, C, r, handled);
  if (handled) return;
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(ColorToRGB(Color()));
  C->FillRect(r);
}

void TKvTabSheet::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_ERASEBKGND) {
    Message.Result = 1;
    return;
  }
  TCustomControl::Dispatch(Message);
}

// ---- page control ------------------------------------------------------------------------------

TKvPageControl::TKvPageControl(TComponent* AOwner) : TKvCustomTabControl(AOwner) {
  RegisterKvPageControlProperties();
  FControlStyle.Exclude(csAcceptsControls);
  FControlStyle.Include(csOpaque);
  SetHeight(150);
  SetUseColoredTabs(false);
}

TKvPageControl::~TKvPageControl() {
  // The pages go later with their owner; they must not call back into this control.
  for (TKvTabSheet* p : FPages) p->FPageControl = nullptr;
  FPages.clear();
  FActivePage = nullptr;
}

TKvTabSheet* TKvPageControl::Pages(int32_t Index) const {
  if (Index < 0 || Index >= PageCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FPages[static_cast<size_t>(Index)];
}

void TKvPageControl::InsertPage(TKvTabSheet* Page) {
  HandleNeeded();
  FPages.push_back(Page);
  Page->FPageControl = this;
  TabsChanged();
}

void TKvPageControl::RemovePage(TKvTabSheet* Page) {
  auto it = std::find(FPages.begin(), FPages.end(), Page);
  if (it == FPages.end()) return;
  // While the form goes, pages leave without announcing anything to handlers that may be gone.
  if (ComponentState().Contains(csDestroying)) {
    FPages.erase(it);
    if (Page == FActivePage) FActivePage = nullptr;
    Page->FPageControl = nullptr;
    return;
  }
  if (Page == FActivePage) SetActivePage(nullptr);
  FPages.erase(std::find(FPages.begin(), FPages.end(), Page));
  TabsChanged();
  Page->FPageControl = nullptr;
}

TKvTabSheet* TKvPageControl::PageForTabIndex(int32_t Index) const {
  if (Index < 0) return nullptr;
  for (TKvTabSheet* p : FPages)
    if (p->TabIndex() == Index) return p;
  return nullptr;
}

void TKvPageControl::TabsChanged() {
  TKvTabDataList* tabs = Tabs();
  tabs->Clear();
  for (TKvTabSheet* p : FPages) {
    if (!p->TabVisible()) continue;
    auto* t = new TKvTabData;
    t->Caption = p->Caption();
    t->Color = p->Color();
    t->Enabled = p->TabEnabled();
    t->Visible = p->TabVisible();
    t->Hint = p->Hint();
    t->ImageIndex = p->ImageIndex();
    t->DisabledIndex = p->DisabledIndex();
    tabs->Add(t);
  }
  if (FActivePage) {
    const int32_t t = FActivePage->TabIndex();
    if (FActivePage->TabVisible()) {
      if (t != TabIndex()) SetTabIndex(t);
    } else {
      SetTabIndex(-1);
    }
  }
  TKvCustomTabControl::TabsChanged();
}

void TKvPageControl::SetActivePage(TKvTabSheet* Page) {
  if (Page && Page->FPageControl != this) return;
  if (Page) Page->SetShown(true);
  if (ComponentState().Contains(csLoading) || ComponentState().Contains(csReading)) {
    FActivePage = Page;
    return;
  }
  const int32_t t = Page ? Page->TabIndex() : -1;
  if (t < 0) {
    ShowPage(Page);
    DoPageChange();
  }
  SetTabIndex(t);
  // After a veto the page asked for must not show behind the current one.
  if (Page && Page != FActivePage) Page->SetShown(false);
}

void TKvPageControl::SetActivePageDefault(TKvTabSheet* Page) {
  if (Page == FActivePageDefault) return;
  if (FActivePageDefault) FActivePageDefault->RemoveFreeNotification(this);
  FActivePageDefault = Page;
  if (Page) Page->FreeNotification(this);
}

int32_t TKvPageControl::ActivePageIndex() const { return FActivePage ? FActivePage->PageIndex() : -1; }

void TKvPageControl::SetActivePageIndex(int32_t Index) {
  if (Index < 0 || Index >= PageCount()) SetTabIndex(-1);
  else SetActivePage(Pages(Index));
}

TKvTabSheet* TKvPageControl::FindNextPage(TKvTabSheet* Current, bool GoForward, bool CheckTabVisible) const {
  const int32_t n = PageCount();
  if (n == 0) return nullptr;
  auto it = std::find(FPages.begin(), FPages.end(), Current);
  int32_t i = it != FPages.end() ? static_cast<int32_t>(it - FPages.begin()) : (GoForward ? n - 1 : 0);
  for (int32_t k = 0; k < n; ++k) {
    i = GoForward ? (i + 1) % n : (i + n - 1) % n;
    TKvTabSheet* p = FPages[static_cast<size_t>(i)];
    if (!CheckTabVisible || p->TabVisible()) return p;
  }
  return nullptr;
}

void TKvPageControl::SelectNextPage(bool GoForward) {
  if (TKvTabSheet* p = FindNextPage(FActivePage, GoForward, true)) SetActivePage(p);
}

void TKvPageControl::ShowPage(TKvTabSheet* Page) {
  if (Page == FActivePage) return;
  TKvTabSheet* old = FActivePage;
  TCustomForm* f = GetParentForm(this);
  const bool focusInOld = f && old && f->ActiveControl() && old->ContainsControl(f->ActiveControl());
  if (Page) {
    Page->BringToFront();
    Page->SetShown(true);
    Page->HandleNeeded();
  }
  // The focus leaves the page that goes, for the new page when it can take it.
  bool focusToNew = false;
  if (focusInOld) {
    if (Page && Page->CanFocus()) {
      f->SetActiveControl(Page);
      focusToNew = true;
    } else if (CanFocus()) {
      f->SetActiveControl(this);
    }
  }
  if (old) {
    old->SetShown(false);
    if (FSaveResources && !ComponentState().Contains(csDesigning)) old->ReleaseWindow();
  }
  FActivePage = Page;
  if (focusToNew && f->ActiveControl() == Page) Page->SelectNext(nullptr, true, true);
}

void TKvPageControl::DoChanging(int32_t NewIndex, bool& AllowChange) {
  if (!FLoading) TKvCustomTabControl::DoChanging(NewIndex, AllowChange);
  if (AllowChange) ShowPage(PageForTabIndex(NewIndex));
}

void TKvPageControl::Change() {
  if (!FLoading) TKvCustomTabControl::Change();
}

void TKvPageControl::DoPageChange() {
  if (!FLoading) TKvCustomTabControl::DoPageChange();
}

void TKvPageControl::DoPaintCardBackground(TCanvas* ACanvas, int32_t Row, bool& Handled, const TRect& R) {
  TKvCustomTabControl::DoPaintCardBackground(ACanvas, Row, Handled, R);
  if (Handled || Row != 0 || TabIndex() < 0 || !FActivePage) return;
  ACanvas->Brush()->SetStyle(TBrushStyle::bsSolid);
  ACanvas->Brush()->SetColor(ColorToRGB(FActivePage->Color()));
  ACanvas->FillRect(R);
  Handled = true;
}

void TKvPageControl::CloseActiveTab() {
  if (!FActivePage) return;
  const int32_t t = TabIndex();
  delete FActivePage;
  SetTabIndex(t > 0 ? t - 1 : 0);
}

void TKvPageControl::MoveActiveTab(int32_t Index) {
  if (FActivePage) FActivePage->SetPageIndex(Index);
}

void TKvPageControl::SetSaveResources(bool v) {
  if (v == FSaveResources) return;
  FSaveResources = v;
  if (!v || ComponentState().Contains(csDesigning)) return;
  for (TKvTabSheet* p : FPages)
    if (p != FActivePage) p->ReleaseWindow();
}

void TKvPageControl::DragOver(TControl* Source, int32_t X, int32_t Y, TDragState State, bool& Accept) {
  auto* from = dynamic_cast<TKvPageControl*>(Source);
  if (!from || from == this) {
    TKvCustomTabControl::DragOver(Source, X, Y, State, Accept);
    return;
  }
  Accept = State != TDragState::dsDragLeave && from->ActivePage() && GetParentForm(from) == GetParentForm(this);
}

void TKvPageControl::DragDrop(TControl* Source, int32_t X, int32_t Y) {
  auto* from = dynamic_cast<TKvPageControl*>(Source);
  if (!from || from == this) {
    TKvCustomTabControl::DragDrop(Source, X, Y);
    return;
  }
  TKvTabSheet* sheet = from->ActivePage();
  if (!sheet) return;
  // The sheet goes before the tab it was dropped on, or last.
  const int32_t t = TabAtPoint(X, Y);
  TKvTabSheet* at = t >= 0 ? PageForTabIndex(t) : nullptr;
  TKvTabSheet* next = from->FindNextPage(sheet, true, true);
  sheet->SetPageControl(this);
  if (at) sheet->SetPageIndex(at->PageIndex());
  SetActivePage(sheet);
  if (next && next != sheet) from->SetActivePage(next);
}

void TKvPageControl::HideAllTabs() {
  for (TKvTabSheet* p : std::vector<TKvTabSheet*>(FPages)) p->SetTabVisible(false);
}

void TKvPageControl::ShowAllTabs() {
  for (TKvTabSheet* p : std::vector<TKvTabSheet*>(FPages)) p->SetTabVisible(true);
}

void TKvPageControl::SetUseColoredTabs(bool v) {
  if (v == UseColoredTabs()) return;
  TKvCustomTabControl::SetUseColoredTabs(v);
  if (Parent() && !UseColoredTabs()) Perform(CM_COLORCHANGED, 0, 0);
}

void TKvPageControl::Loaded() {
  // The inherited loading already tells the tabs about fonts and colours; none of it is a change.
  FLoading = true;
  try {
    TKvCustomTabControl::Loaded();
    CalcTabLayout();
    SetTabIndex(-1);
    TKvTabSheet* page = FActivePage;
    if (FActivePageDefault && FActivePageDefault != page) {
      if (page) page->SetShown(false);
      page = FActivePageDefault;
    }
    FActivePage = nullptr;
    TabsChanged();
    SetActivePage(page);
  } catch (...) {
    FLoading = false;
    throw;
  }
  FLoading = false;
}

void TKvPageControl::Notification(TComponent* AComponent, TOperation Operation) {
  TKvCustomTabControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FActivePageDefault) FActivePageDefault = nullptr;
}

void TKvPageControl::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case CM_DIALOGKEY: {
      TKvCustomTabControl::Dispatch(M);
      if (M.Result != 0 || M.WParam != VK_TAB) return;
      const TShiftState s = KeyDataToShiftState(M.LParam);
      TCustomForm* f = GetParentForm(this);
      // Only the page control that holds the focus switches pages.
      if (!s.Contains(ssCtrl) || !f || !f->ActiveControl() || !ContainsControl(f->ActiveControl())) return;
      SelectNextPage(!s.Contains(ssShift));
      M.Result = 1;
      return;
    }
    case CM_COLORCHANGED:
      if (!UseColoredTabs())
        for (TKvTabSheet* p : FPages) p->SetColor(Color());
      break;
    case WM_SETFOCUS:
      TKvCustomTabControl::Dispatch(M);
      if (FActivePage && !FActivePage->TabVisible()) {
        for (int32_t i = 0; i < FActivePage->ControlCount(); ++i) {
          auto* w = dynamic_cast<TWinControl*>(FActivePage->Controls(i));
          if (w && w->CanFocus()) {
            w->SetFocus();
            break;
          }
        }
      }
      return;
  }
  TKvCustomTabControl::Dispatch(M);
}

void RegisterKvPageControlProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterIntegerProperty<TKvPageControl>(
      "TabIndex", [](TKvPageControl* c, int64_t v) { c->SetTabIndex(int32_t(v)); },
      [](const TKvPageControl* c) { return int64_t(c->TabIndex()); });
  RegisterIntegerProperty<TKvPageControl>(
      "FixedDimension", [](TKvPageControl* c, int64_t v) { c->SetFixedDimension(int32_t(v)); },
      [](const TKvPageControl* c) { return int64_t(c->FixedDimension()); });
  RegisterIntegerProperty<TKvPageControl>(
      "ActivePageIndex", [](TKvPageControl* c, int64_t v) { c->SetActivePageIndex(int32_t(v)); },
      [](const TKvPageControl* c) { return int64_t(c->ActivePageIndex()); });
  RegisterIntegerProperty<TKvTabSheet>(
      "PageIndex", [](TKvTabSheet* c, int64_t v) { c->SetPageIndex(int32_t(v)); },
      [](const TKvTabSheet* c) { return int64_t(c->PageIndex()); });
  RegisterIntegerProperty<TKvTabSheet>(
      "ImageIndex", [](TKvTabSheet* c, int64_t v) { c->SetImageIndex(int32_t(v)); },
      [](const TKvTabSheet* c) { return int64_t(c->ImageIndex()); });
}
