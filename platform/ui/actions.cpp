#include "platform/ui/actions.h"

#include <algorithm>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"

// ---- actions ----------------------------------------------------------------------------------

TBasicAction::TBasicAction(TComponent* AOwner) : TComponent(AOwner) {}

TBasicAction::~TBasicAction() {
  // Clients outlive their action: their links stay, linked to nothing.
  for (TBasicActionLink* l : FClients) l->FAction = nullptr;
  FClients.clear();
}

bool TBasicAction::Execute() {
  if (!OnExecute) return false;
  OnExecute(this);
  return true;
}

bool TBasicAction::Update() {
  if (!OnUpdate) return false;
  OnUpdate(this);
  return true;
}

void TBasicAction::RegisterChanges(TBasicActionLink* Link) {
  if (std::find(FClients.begin(), FClients.end(), Link) == FClients.end()) FClients.push_back(Link);
}

void TBasicAction::UnRegisterChanges(TBasicActionLink* Link) {
  FClients.erase(std::remove(FClients.begin(), FClients.end(), Link), FClients.end());
}

void TBasicAction::Change() {
  if (OnChange) OnChange(this);
  // A client's change handler may drop its link: walk a copy.
  std::vector<TBasicActionLink*> clients = FClients;
  for (TBasicActionLink* l : clients)
    if (std::find(FClients.begin(), FClients.end(), l) != FClients.end()) l->Change();
}

TCustomAction::TCustomAction(TComponent* AOwner) : TBasicAction(AOwner) {}

TCustomAction::~TCustomAction() { SetActionList(nullptr); }

namespace {
// Each link sees the new value while its client still shows the old one, then the action stores
// it and tells everyone that it changed.
template <class F>
void ForEachLink(const std::vector<TBasicActionLink*>& Clients, F Fn) {
  std::vector<TBasicActionLink*> copy = Clients;
  for (TBasicActionLink* l : copy)
    if (auto* al = dynamic_cast<TActionLink*>(l)) Fn(al);
}
}  // namespace

void TCustomAction::SetCaption(const std::string& Value) {
  if (Value == FCaption) return;
  ForEachLink(FClients, [&](TActionLink* l) { l->SetCaption(Value); });
  FCaption = Value;
  Change();
}

void TCustomAction::SetChecked(bool Value) {
  if (Value == FChecked) return;
  ForEachLink(FClients, [&](TActionLink* l) { l->SetChecked(Value); });
  FChecked = Value;
  Change();
}

void TCustomAction::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  ForEachLink(FClients, [&](TActionLink* l) { l->SetEnabled(Value); });
  FEnabled = Value;
  Change();
}

void TCustomAction::SetHint(const std::string& Value) {
  if (Value == FHint) return;
  ForEachLink(FClients, [&](TActionLink* l) { l->SetHint(Value); });
  FHint = Value;
  Change();
}

void TCustomAction::SetImageIndex(int32_t Value) {
  if (Value == FImageIndex) return;
  ForEachLink(FClients, [&](TActionLink* l) { l->SetImageIndex(Value); });
  FImageIndex = Value;
  Change();
}

void TCustomAction::SetVisible(bool Value) {
  if (Value == FVisible) return;
  ForEachLink(FClients, [&](TActionLink* l) { l->SetVisible(Value); });
  FVisible = Value;
  Change();
}

void TCustomAction::SetActionList(TCustomActionList* Value) {
  if (Value == FActionList) return;
  if (FActionList) {
    auto& v = FActionList->FActions;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  FActionList = Value;
  if (FActionList) FActionList->FActions.push_back(this);
}

TCustomImageList* TCustomAction::Images() const { return FActionList ? FActionList->Images() : nullptr; }

bool TCustomAction::Execute() {
  if (!FEnabled) return false;
  if (FAutoCheck) SetChecked(!FChecked);
  if (FActionList && FActionList->ExecuteAction(this)) return true;
  return TBasicAction::Execute();
}

TCustomActionList::TCustomActionList(TComponent* AOwner) : TComponent(AOwner) {}

TCustomActionList::~TCustomActionList() {
  std::vector<TCustomAction*> actions = FActions;
  for (TCustomAction* a : actions) a->FActionList = nullptr;
  FActions.clear();
  SetImages(nullptr);
}

void TCustomActionList::SetImages(TCustomImageList* Value) {
  if (Value == FImages) return;
  if (FImages) FImages->RemoveFreeNotification(this);
  FImages = Value;
  if (FImages) FImages->FreeNotification(this);
  // Clients that draw the list's images follow the new list.
  std::vector<TCustomAction*> actions = FActions;
  for (TCustomAction* a : actions)
    for (int32_t i = 0; i < a->ClientCount(); ++i)
      if (a->Clients(i)->OnChange) a->Clients(i)->OnChange(a);
}

bool TCustomActionList::ExecuteAction(TBasicAction* Action) {
  bool handled = false;
  if (OnExecute) OnExecute(Action, handled);
  return handled;
}

void TCustomActionList::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FImages) FImages = nullptr;
}

// ---- dispatching to the forms -------------------------------------------------------------------

namespace {
bool OfferToTree(TControl* C, TBasicAction* Action) {
  if (!C->Visible()) return false;
  if (C->ExecuteAction(Action)) return true;
  if (auto* w = dynamic_cast<TWinControl*>(C))
    for (int32_t i = 0; i < w->ControlCount(); ++i)
      if (OfferToTree(w->Controls(i), Action)) return true;
  return false;
}
}  // namespace

bool DispatchActionToForms(TBasicAction* Action) {
  if (!Screen) return false;
  std::vector<TCustomForm*> forms;
  if (TCustomForm* a = Screen->ActiveForm()) forms.push_back(a);
  for (int32_t i = 0; i < Screen->FormCount(); ++i)
    if (std::find(forms.begin(), forms.end(), Screen->Forms(i)) == forms.end()) forms.push_back(Screen->Forms(i));
  for (TCustomForm* f : forms)
    if (OfferToTree(f, Action)) return true;
  return false;
}

bool DispatchHint(const std::string& Hint) {
  THintAction action(nullptr);
  action.SetHint(Hint);
  return DispatchActionToForms(&action);
}

// ---- links -------------------------------------------------------------------------------------

TBasicActionLink::~TBasicActionLink() { SetAction(nullptr); }

void TBasicActionLink::SetAction(TBasicAction* Value) {
  if (Value == FAction) return;
  if (FAction) FAction->UnRegisterChanges(this);
  FAction = Value;
  if (FAction) FAction->RegisterChanges(this);
}

bool TBasicActionLink::Execute(TComponent*) { return FAction && FAction->Execute(); }

bool TBasicActionLink::Update() { return FAction && FAction->Update(); }

TControlActionLink::TControlActionLink(TControl* AClient) : TActionLink(AClient), FControl(AClient) {}

bool TControlActionLink::IsCaptionLinked() {
  return TActionLink::IsCaptionLinked() && FControl->Caption() == CustomAction()->Caption();
}
bool TControlActionLink::IsEnabledLinked() {
  return TActionLink::IsEnabledLinked() && FControl->Enabled() == CustomAction()->Enabled();
}
bool TControlActionLink::IsHintLinked() {
  return TActionLink::IsHintLinked() && FControl->Hint() == CustomAction()->Hint();
}
bool TControlActionLink::IsVisibleLinked() {
  return TActionLink::IsVisibleLinked() && FControl->Visible() == CustomAction()->Visible();
}
void TControlActionLink::SetCaption(const std::string& Value) {
  if (IsCaptionLinked()) FControl->SetCaption(Value);
}
void TControlActionLink::SetEnabled(bool Value) {
  if (IsEnabledLinked()) FControl->SetEnabled(Value);
}
void TControlActionLink::SetHint(const std::string& Value) {
  if (IsHintLinked()) FControl->SetHint(Value);
}
void TControlActionLink::SetVisible(bool Value) {
  if (IsVisibleLinked()) FControl->SetVisible(Value);
}

TMenuActionLink::TMenuActionLink(TMenuItem* AClient) : TActionLink(AClient), FItem(AClient) {}

bool TMenuActionLink::IsCaptionLinked() {
  return TActionLink::IsCaptionLinked() && FItem->Caption() == CustomAction()->Caption();
}
bool TMenuActionLink::IsCheckedLinked() {
  return TActionLink::IsCheckedLinked() && FItem->Checked() == CustomAction()->Checked();
}
bool TMenuActionLink::IsEnabledLinked() {
  return TActionLink::IsEnabledLinked() && FItem->Enabled() == CustomAction()->Enabled();
}
bool TMenuActionLink::IsHintLinked() {
  return TActionLink::IsHintLinked() && FItem->Hint() == CustomAction()->Hint();
}
bool TMenuActionLink::IsImageIndexLinked() {
  return TActionLink::IsImageIndexLinked() && FItem->ImageIndex() == CustomAction()->ImageIndex();
}
bool TMenuActionLink::IsVisibleLinked() {
  return TActionLink::IsVisibleLinked() && FItem->Visible() == CustomAction()->Visible();
}
void TMenuActionLink::SetCaption(const std::string& Value) {
  if (IsCaptionLinked()) FItem->SetCaption(Value);
}
void TMenuActionLink::SetChecked(bool Value) {
  if (IsCheckedLinked()) FItem->SetChecked(Value);
}
void TMenuActionLink::SetEnabled(bool Value) {
  if (IsEnabledLinked()) FItem->SetEnabled(Value);
}
void TMenuActionLink::SetHint(const std::string& Value) {
  if (IsHintLinked()) FItem->SetHint(Value);
}
void TMenuActionLink::SetImageIndex(int32_t Value) {
  if (IsImageIndexLinked()) FItem->SetImageIndex(Value);
}
void TMenuActionLink::SetVisible(bool Value) {
  if (IsVisibleLinked()) FItem->SetVisible(Value);
}

// ---- the clients' side -------------------------------------------------------------------------

TBasicAction* TControl::Action() const { return FActionLink ? FActionLink->Action() : nullptr; }

void TControl::SetAction(TBasicAction* Value) {
  if (!Value) {
    FActionLink.reset();
    FControlStyle.Exclude(TControlStyleItem::csActionClient);
    return;
  }
  if (Value == Action()) return;
  FControlStyle.Include(TControlStyleItem::csActionClient);
  if (!FActionLink) {
    FActionLink = CreateActionLink();
    FActionLink->OnChange = [this](TObject* Sender) {
      if (Sender && Sender == Action()) ActionChange(Sender, false);
    };
  }
  FActionLink->SetAction(Value);
  ActionChange(Value, ComponentState().Contains(csLoading));
}

std::unique_ptr<TControlActionLink> TControl::CreateActionLink() {
  return std::make_unique<TControlActionLink>(this);
}

void TControl::ActionChange(TObject* Sender, bool CheckDefaults) {
  auto* a = dynamic_cast<TCustomAction*>(Sender);
  if (!a) return;
  if (!CheckDefaults || Caption().empty()) SetCaption(a->Caption());
  if (!CheckDefaults || Enabled()) SetEnabled(a->Enabled());
  if (!CheckDefaults || Hint().empty()) SetHint(a->Hint());
  if (!CheckDefaults || Visible()) SetVisible(a->Visible());
}

TBasicAction* TMenuItem::Action() const { return FActionLink ? FActionLink->Action() : nullptr; }

void TMenuItem::SetAction(TBasicAction* Value) {
  if (!Value) {
    FActionLink.reset();
    return;
  }
  if (Value == Action()) return;
  if (!FActionLink) {
    FActionLink = std::make_unique<TMenuActionLink>(this);
    FActionLink->OnChange = [this](TObject* Sender) {
      if (Sender && Sender == Action()) ActionChange(Sender, false);
    };
  }
  FActionLink->SetAction(Value);
  ActionChange(Value, ComponentState().Contains(csLoading));
}

TCustomImageList* TMenuItem::ActionImages() const {
  auto* a = dynamic_cast<TCustomAction*>(Action());
  return a ? a->Images() : nullptr;
}

void TMenuItem::ActionChange(TObject* Sender, bool CheckDefaults) {
  auto* a = dynamic_cast<TCustomAction*>(Sender);
  if (!a) return;
  if (!CheckDefaults || Caption().empty()) SetCaption(a->Caption());
  if (!CheckDefaults || !Checked()) SetChecked(a->Checked());
  if (!CheckDefaults || Enabled()) SetEnabled(a->Enabled());
  if (!CheckDefaults || Hint().empty()) SetHint(a->Hint());
  if (!CheckDefaults || ImageIndex() == -1) SetImageIndex(a->ImageIndex());
  if (!CheckDefaults || Visible()) SetVisible(a->Visible());
  // The picture may now come from the action's list.
  MenuChanged(false);
}
