#include "platform/ui/component.h"

#include <algorithm>
#include <cctype>

namespace {
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}
}  // namespace

void TPersistent::Assign(TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  AssignTo(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) {
  std::string from = ClassName();
  std::string to = Dest ? Dest->ClassName() : std::string("nil");
  throw EComponentError("Cannot assign a " + from + " to a " + to);
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Everyone who asked hears that this component goes, before its owned ones are freed.
  while (!free_notifies_.empty()) {
    TComponent* c = free_notifies_.back();
    free_notifies_.pop_back();
    c->RemoveNotification(this);
    c->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int32_t Index) const {
  if (Index < 0 || Index >= ComponentCount()) throw EComponentError("List index out of bounds (" + std::to_string(Index) + ")");
  return components_[static_cast<size_t>(Index)];
}

int32_t TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  auto& v = owner_->components_;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int32_t>(it - v.begin());
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameName(c->name_, AName)) return c;
  return nullptr;
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == name_) return;
  if (!NewName.empty() && owner_) {
    TComponent* other = owner_->FindComponent(NewName);
    if (other && other != this) throw EComponentError("A component named " + NewName + " already exists");
  }
  name_ = NewName;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->owner_ == this) return;
  if (!AComponent->name_.empty()) {
    TComponent* other = FindComponent(AComponent->name_);
    if (other) throw EComponentError("A component named " + AComponent->name_ + " already exists");
  }
  if (AComponent->owner_) AComponent->owner_->RemoveComponent(AComponent);
  InsertInto(AComponent);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->owner_ != this) return;
  Notification(AComponent, opRemove);
  RemoveFrom(AComponent);
}

void TComponent::InsertInto(TComponent* AComponent) {
  components_.push_back(AComponent);
  AComponent->owner_ = this;
}

void TComponent::RemoveFrom(TComponent* AComponent) {
  auto it = std::find(components_.begin(), components_.end(), AComponent);
  if (it != components_.end()) components_.erase(it);
  AComponent->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* c = components_.back();
    c->BeforeDestruction();
    RemoveFrom(c);
    delete c;
  }
}

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  state_.Include(TComponentStateItem::csFreeNotification);
  if (std::find(free_notifies_.begin(), free_notifies_.end(), AComponent) == free_notifies_.end())
    free_notifies_.push_back(AComponent);
  if (std::find(AComponent->free_notifies_.begin(), AComponent->free_notifies_.end(), this) ==
      AComponent->free_notifies_.end())
    AComponent->free_notifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  RemoveNotification(AComponent);
  AComponent->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* AComponent) {
  auto it = std::find(free_notifies_.begin(), free_notifies_.end(), AComponent);
  if (it != free_notifies_.end()) free_notifies_.erase(it);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // Owned components hear about their siblings (copy: handlers may change the list).
  std::vector<TComponent*> copy = components_;
  for (TComponent* c : copy) {
    if (c != AComponent && std::find(components_.begin(), components_.end(), c) != components_.end())
      c->Notification(AComponent, Operation);
  }
}

void TComponent::SetDesigning(bool Value) {
  if (Value) state_.Include(csDesigning);
  else state_.Exclude(csDesigning);
  for (TComponent* c : components_) c->SetDesigning(Value);
}

void TComponent::BeginLoading() {
  state_.Include(csLoading);
  state_.Include(csReading);
}

void TComponent::EndLoading() {
  state_.Exclude(csReading);
  if (state_.Contains(csLoading)) Loaded();
}

void TComponent::Loaded() { state_.Exclude(csLoading); }

TComponentLoader::~TComponentLoader() {
  // Nothing may leave a destructor: a failing Loaded during unwinding is dropped.
  try {
    Finish();
  } catch (...) {
  }
}

void TComponentLoader::AddComponent(TComponent* c) {
  if (!c) return;
  c->BeginLoading();
  items_.push_back(c);
}

void TComponentLoader::Finish() {
  if (finished_) return;
  finished_ = true;
  for (TComponent* c : items_) c->ExcludeState(csReading);
  for (TComponent* c : items_)
    if (c->ComponentState().Contains(csLoading)) c->Loaded();
}
