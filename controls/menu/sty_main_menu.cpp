#include "controls/menu/sty_main_menu.h"

#include <algorithm>
#include <map>
#include <vector>

#include "controls/menu/sty_fantasy.h"
#include "controls/menu/sty_menu_draw.h"
#include "platform/ui/forms.h"
#include "platform/ui/mdi.h"
#include "platform/ui/messages.h"
#include "platform/ui/published.h"

namespace StyMenus {

namespace {

constexpr TShortCut kWindowListMarker = 0xABCD;
constexpr uint8_t kWindowListGroup = 205;

using TDrawFn = void (*)(TObject*, TCanvas*, const TRect&, TOwnerDrawState);
using TMeasureFn = void (*)(TObject*, TCanvas*, int32_t&, int32_t&);

bool IsStyledDraw(const TAdvancedMenuDrawItemEvent& E) {
  const TDrawFn* F = E.target<TDrawFn>();
  return F && *F == &StyledDrawItem;
}

// The procedure each hooked client window had before (its "user data").
std::map<TWinControl*, std::function<void(TMessage&)>>& SavedProcs() {
  static std::map<TWinControl*, std::function<void(TMessage&)>> m;
  return m;
}

void RestoreClient(TWinControl* Client) {
  auto& m = SavedProcs();
  auto it = m.find(Client);
  if (it == m.end()) return;
  Client->WindowProc = std::move(it->second);
  m.erase(it);
}

intptr_t RebuildWindowListOf(TWinControl* Client) {
  auto* Form = dynamic_cast<TMDIForm*>(Client->Parent());
  if (!Form || !Form->WindowMenu()) return 0;
  auto* Menu = dynamic_cast<TStyMainMenu*>(Form->Menu());
  if (!Menu) return 0;
  return Menu->RebuildWindowList();
}

void MdiClientWindowProc(TWinControl* Client, TMessage& M) {
  if (M.Msg == WM_MDIREFRESHMENU) {
    M.Result = RebuildWindowListOf(Client);
    return;
  }
  auto it = SavedProcs().find(Client);
  if (it != SavedProcs().end() && it->second) it->second(M);
  else Client->WndProc(M);
}

TMenuItem* FindByShortCut(TMenuItem* Parent, TShortCut S) {
  for (int32_t i = 0; i < Parent->Count(); ++i) {
    TMenuItem* It = Parent->Items(i);
    if (It->ShortCut() == S) return It;
    if (TMenuItem* F = FindByShortCut(It, S)) return F;
  }
  return nullptr;
}

int CompareText(const std::string& A, const std::string& B) {
  size_t N = std::min(A.size(), B.size());
  for (size_t i = 0; i < N; ++i) {
    int a = std::tolower(static_cast<unsigned char>(A[i])), b = std::tolower(static_cast<unsigned char>(B[i]));
    if (a != b) return a - b;
  }
  return static_cast<int>(A.size()) - static_cast<int>(B.size());
}

}  // namespace

// The published properties of the menu and its stylers, as language and form files name them.
void RegisterStyMenuProperties() {
  static bool Done = false;
  if (Done) return;
  Done = true;
  RegisterStringProperty<TStyMainMenu>("Version", [](TStyMainMenu* M, const std::string& V) { M->SetVersion(V); },
                                       [](const TStyMainMenu* M) { return M->Version(); });
  RegisterOtherProperty<TStyMainMenu>("OwnerDraw", TTypeKind::tkEnumeration);
  RegisterOtherProperty<TStyMainMenu>("MenuStyler", TTypeKind::tkClass);
  RegisterIntegerProperty<TCustomStyMenuStyler>(
      "MenuBorderColor", [](TCustomStyMenuStyler* S, int64_t V) { S->SetMenuBorderColor(static_cast<TColor>(V)); },
      [](const TCustomStyMenuStyler* S) { return int64_t(S->MenuBorderColor()); });
  RegisterOtherProperty<TCustomStyMenuStyler>("UseSystemFont", TTypeKind::tkEnumeration);
  for (const char* Part : {"Background", "IconBar", "SelectedItem", "RootItem", "Glyphs", "SideBar", "Separator", "Font"})
    RegisterOtherProperty<TCustomStyMenuStyler>(Part, TTypeKind::tkClass);
  RegisterOtherProperty<TStyMenuFantasyStyler>("Style", TTypeKind::tkEnumeration);
}

IStyMenuHost* GetMenuHost(const TMenuItem* Item) {
  if (!Item) return nullptr;
  TMenu* M = Item->GetParentMenu();
  if (!M) M = dynamic_cast<TMenu*>(Item->Owner());
  return dynamic_cast<TStyMainMenu*>(M);
}

void RefreshStyledMenu(TStyMainMenu* Menu, bool Relayout) {
  if (Menu) Menu->Refresh(Relayout);
}

void RedrawStyledMenuBar(TStyMainMenu* Menu) {
  if (Menu) Menu->RedrawBar();
}

TStyMainMenu::TStyMainMenu(TComponent* AOwner) : TMainMenu(AOwner) {
  RegisterStyMenuProperties();
  SetOwnerDraw(true);
  CreateInternalStyler();
}

TStyMainMenu::~TStyMainMenu() {
  Unhook();
  if (FMenuStyler && FMenuStyler != FInternalStyler) {
    FMenuStyler->RemoveFreeNotification(this);
    // A styler that outlives the menu must not reach back into it.
    FMenuStyler->OnFontChange = nullptr;
    FMenuStyler->AttachMenu(nullptr);
  }
  FMenuStyler = nullptr;
  FActiveStyler = nullptr;
  delete FInternalStyler;
  FInternalStyler = nullptr;
}

void TStyMainMenu::CreateInternalStyler() {
  FMenuStyler = nullptr;
  FInternalStyler = new TStyMenuStyler(this);
  FInternalStyler->SetName("InternalMenuStyler");
  FActiveStyler = FInternalStyler;
}

void TStyMainMenu::SetMenuStyler(TCustomStyMenuStyler* Value) {
  if (Value == FMenuStyler) return;
  if (FMenuStyler && FMenuStyler != FInternalStyler) {
    FMenuStyler->RemoveFreeNotification(this);
    FMenuStyler->OnFontChange = nullptr;
    FMenuStyler->AttachMenu(nullptr);
  }
  if (!Value) {
    CreateInternalStyler();
  } else {
    if (FInternalStyler && !FInternalStyler->ComponentState().Contains(csLoading)) {
      delete FInternalStyler;
      FInternalStyler = nullptr;
    }
    FMenuStyler = Value;
    FActiveStyler = Value;
    Value->FreeNotification(this);
  }
  FActiveStyler->AttachMenu(this);
  FActiveStyler->OnFontChange = [this](TObject*) { StylerFontChanged(); };
}

void TStyMainMenu::StylerFontChanged() { Refresh(false); }

std::string TStyMainMenu::Version() const {
  uint32_t V = GetVersionNumber();
  return std::to_string(V >> 24) + "." + std::to_string((V >> 16) & 0xFF) + "." + std::to_string((V >> 8) & 0xFF) +
         "." + std::to_string(V & 0xFF);
}

void TStyMainMenu::Loaded() {
  TMainMenu::Loaded();
  SetOwnerDraw(true);
  HookItems(nullptr, true, true);
  if (FInternalStyler && FInternalStyler != FActiveStyler) {
    delete FInternalStyler;
    FInternalStyler = nullptr;
  }
  UpdateItems();
  Refresh(false);
}

void TStyMainMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TMainMenu::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FInternalStyler) {
    FInternalStyler = nullptr;
    if (FActiveStyler == AComponent) FActiveStyler = nullptr;
  }
  if (AComponent == FMenuStyler && AComponent->Owner() != this) {
    FMenuStyler = nullptr;
    FActiveStyler = nullptr;
    if (!ComponentState().Contains(csDestroying)) CreateInternalStyler();
  }
}

void TStyMainMenu::MenuChanged(TObject* Sender, TMenuItem* Source, bool Rebuild) {
  if (FUpdating) HookItems(Source, Source == nullptr, true);
  else Refresh(false);
  TMainMenu::MenuChanged(Sender, Source, true);
}

void TStyMainMenu::HookItems(TMenuItem* Item, bool Recursive, bool Forced) {
  if (ComponentState().Contains(csLoading)) return;
  auto Hook = [Forced](TMenuItem* It) {
    if (IsStyledDraw(It->OnAdvancedDrawItem)) return;
    if (!It->OnMeasureItem || Forced) It->OnMeasureItem = TMeasureFn(&StyledMeasureItem);
    if ((!It->OnDrawItem && !It->OnAdvancedDrawItem) || Forced) It->OnAdvancedDrawItem = TDrawFn(&StyledDrawItem);
  };
  if (Item) {
    Hook(Item);
    return;
  }
  std::function<void(TMenuItem*)> Walk = [&](TMenuItem* Parent) {
    for (int32_t i = 0; i < Parent->Count(); ++i) {
      Hook(Parent->Items(i));
      if (Recursive) Walk(Parent->Items(i));
    }
  };
  Walk(Items());
}

void TStyMainMenu::BeginItemUpdate() {
  FUpdating = true;
  ++FUpdateCount;
}

void TStyMainMenu::EndItemUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
  if (FUpdateCount != 0) return;
  HookItems(nullptr, true, true);
  RedrawBar();
  FUpdating = false;
}

void TStyMainMenu::UpdateItems() { TMainMenu::MenuChanged(this, nullptr, true); }

void TStyMainMenu::RedrawBar() {
  if (auto* F = dynamic_cast<TCustomForm*>(WindowHandleControl()))
    F->InvalidateWindowRect(Rect(0, 0, F->Width(), F->MenuBarHeight()));
}

void TStyMainMenu::Refresh(bool Relayout) {
  if (Relayout) UpdateItems();
  TWinControl* Client = MdiClientWindow();
  if (!Client || SavedProcs().count(Client)) return;
  Unhook();
  FHookedClient = Client;
  SavedProcs()[Client] = Client->WindowProc;
  Client->WindowProc = [Client](TMessage& M) { MdiClientWindowProc(Client, M); };
}

void TStyMainMenu::Unhook() {
  if (FHookedClient) RestoreClient(FHookedClient);
  FHookedClient = nullptr;
}

TWinControl* TStyMainMenu::MdiClientWindow() {
  if (ComponentState().Contains(csDestroying)) return nullptr;
  auto* Form = dynamic_cast<TCustomForm*>(Owner());
  if (!Form) return nullptr;
  switch (FormStyleOf(Form)) {
    case TFormStyle::fsMDIChild: return Form->Parent();
    case TFormStyle::fsMDIForm: return static_cast<TMDIForm*>(Form)->ClientWindow();
    default: return nullptr;
  }
}

intptr_t TStyMainMenu::RebuildWindowList() {
  auto* Form = dynamic_cast<TMDIForm*>(Owner());
  if (!Form || Form->Menu() != this || !Form->WindowMenu()) return 0;
  TMenuItem* Window = Form->WindowMenu();
  BeginItemUpdate();
  TMenuItem* Marker = FindByShortCut(Items(), kWindowListMarker);
  if (!Marker || Marker->Caption() != "-") {
    Marker = new TMenuItem(Window);
    Marker->SetCaption("-");
    Marker->SetShortCut(kWindowListMarker);
    Marker->SetVisible(Form->MDIChildCount() > 0);
    Window->Add(Marker);
  } else {
    int32_t At = Window->IndexOf(Marker);
    while (Window->Count() > At + 1) delete Window->Items(Window->Count() - 1);
  }
  std::vector<std::pair<std::string, HWND>> List;
  for (int32_t i = 0; i < Form->MDIChildCount(); ++i) {
    TMDIChildForm* C = Form->MDIChildren(i);
    if (C->ComponentState().Contains(csDestroying)) continue;
    std::pair<std::string, HWND> E{C->Caption(), C->Handle()};
    auto Pos = std::upper_bound(List.begin(), List.end(), E,
                                [](const auto& A, const auto& B) { return CompareText(A.first, B.first) < 0; });
    List.insert(Pos, E);
  }
  TMDIChildForm* Active = Form->ActiveMDIChild();
  for (size_t i = 0; i < List.size(); ++i) {
    auto* It = new TMenuItem(Window);
    It->SetCaption(std::to_string(i + 1) + " " + List[i].first);
    It->SetTag(static_cast<int32_t>(List[i].second));
    It->OnClick = [this](TObject* S) { WindowListClick(S); };
    It->SetRadioItem(true);
    It->SetGroupIndex(kWindowListGroup);
    Window->Add(It);
    if (Active && Active->Handle() == List[i].second) It->SetChecked(true);
  }
  EndItemUpdate();
  return static_cast<intptr_t>(Items()->Command());
}

void TStyMainMenu::WindowListClick(TObject* Sender) {
  auto* It = dynamic_cast<TMenuItem*>(Sender);
  if (!It || It->Tag() == 0) return;
  auto* M = dynamic_cast<TStyMainMenu*>(It->GetParentMenu());
  TWinControl* Client = M ? M->MdiClientWindow() : nullptr;
  if (!Client) return;
  if (Client->Perform(WM_MDIACTIVATE, static_cast<uintptr_t>(It->Tag()), 0) == 0) It->SetChecked(true);
}

// ---- the handlers every item carries ---------------------------------------------------------

void StyledMeasureItem(TObject* Sender, TCanvas* Canvas, int32_t& Width, int32_t& Height) {
  if (auto* It = dynamic_cast<TMenuItem*>(Sender)) MeasureStyledItem(It, Canvas, Width, Height, SideBarShown(It));
}

void StyledDrawItem(TObject* Sender, TCanvas* Canvas, const TRect& Rect, TOwnerDrawState State) {
  auto* It = dynamic_cast<TMenuItem*>(Sender);
  if (!It) return;
  TRect R = Rect;
  // Popup items leave the strip on their right to the window's frame.
  if (!IsRootItem(It)) R.Right -= 17;
  DrawStyledItem(It, Canvas, R, SideBarShown(It), State);
}

}  // namespace StyMenus
