#pragma once
// Actions: one command (caption, checked state, enabled state, hint, image, what it does) that
// several controls and menu items show and run alike. A link ties each client to its action and
// keeps the client in step whenever the action changes.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/component.h"

class TBasicActionLink;
class TCustomActionList;
class TCustomImageList;
class TControl;
class TMenuItem;

class TBasicAction : public TComponent {
 public:
  explicit TBasicAction(TComponent* AOwner);
  ~TBasicAction() override;
  std::string ClassName() const override { return "TBasicAction"; }

  // Runs the action: OnExecute when assigned; true when something handled it.
  virtual bool Execute();
  // Asks OnUpdate to refresh the action's state; true when it is assigned.
  virtual bool Update();
  // A control offered the action asks this whether it is a target (the hint action's status bar).
  virtual bool HandlesTarget(TObject* Target) { return false; }
  virtual void ExecuteTarget(TObject* Target) {}

  void RegisterChanges(TBasicActionLink* Link);
  void UnRegisterChanges(TBasicActionLink* Link);
  int32_t ClientCount() const { return static_cast<int32_t>(FClients.size()); }
  TBasicActionLink* Clients(int32_t Index) const { return FClients.at(static_cast<size_t>(Index)); }

  TNotifyEvent OnExecute;
  TNotifyEvent OnUpdate;
  TNotifyEvent OnChange;

 protected:
  // Tells every link (and OnChange) that the action's properties changed.
  virtual void Change();
  std::vector<TBasicActionLink*> FClients;
};

// An action with the properties a client shows.
class TCustomAction : public TBasicAction {
 public:
  explicit TCustomAction(TComponent* AOwner);
  ~TCustomAction() override;
  std::string ClassName() const override { return "TCustomAction"; }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value);
  int32_t ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int32_t Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  // A click of a client toggles Checked before OnExecute runs.
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool Value) { FAutoCheck = Value; }

  TCustomActionList* ActionList() const { return FActionList; }
  void SetActionList(TCustomActionList* Value);
  // The list's image list, or nil.
  TCustomImageList* Images() const;

  // A disabled action does nothing; with AutoCheck the click toggles Checked first; then the
  // list's OnExecute may handle it, else the action's own OnExecute runs.
  bool Execute() override;

 private:
  friend class TCustomActionList;
  std::string FCaption;
  bool FChecked = false;
  bool FEnabled = true;
  std::string FHint;
  int32_t FImageIndex = -1;
  bool FVisible = true;
  bool FAutoCheck = false;
  TCustomActionList* FActionList = nullptr;
};

class TAction : public TCustomAction {
 public:
  explicit TAction(TComponent* AOwner) : TCustomAction(AOwner) {}
  std::string ClassName() const override { return "TAction"; }
};

using TActionEvent = std::function<void(TBasicAction* Action, bool& Handled)>;

class TCustomActionList : public TComponent {
 public:
  explicit TCustomActionList(TComponent* AOwner);
  ~TCustomActionList() override;
  std::string ClassName() const override { return "TCustomActionList"; }

  int32_t ActionCount() const { return static_cast<int32_t>(FActions.size()); }
  TCustomAction* Actions(int32_t Index) const { return FActions.at(static_cast<size_t>(Index)); }
  TCustomImageList* Images() const { return FImages; }
  void SetImages(TCustomImageList* Value);
  // Gives OnExecute a first say; true when it handled the action.
  bool ExecuteAction(TBasicAction* Action);

  TActionEvent OnExecute;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TCustomAction;
  std::vector<TCustomAction*> FActions;
  TCustomImageList* FImages = nullptr;
};

class TActionList : public TCustomActionList {
 public:
  explicit TActionList(TComponent* AOwner) : TCustomActionList(AOwner) {}
  std::string ClassName() const override { return "TActionList"; }
};

// Carries the application's hint to whatever shows hints (a status bar with AutoHint).
class THintAction : public TCustomAction {
 public:
  explicit THintAction(TComponent* AOwner) : TCustomAction(AOwner) {}
  std::string ClassName() const override { return "THintAction"; }
};

// Offers Action to the controls of every form, the active form first; true when one took it.
bool DispatchActionToForms(TBasicAction* Action);
// Runs a hint action with Hint; true when a control showed it.
bool DispatchHint(const std::string& Hint);

class TBasicActionLink : public TObject {
 public:
  explicit TBasicActionLink(TObject* AClient) : FClient(AClient) {}
  ~TBasicActionLink() override;
  TBasicAction* Action() const { return FAction; }
  void SetAction(TBasicAction* Value);
  TObject* Client() const { return FClient; }
  // Runs the action for the client; true when something handled it.
  virtual bool Execute(TComponent* Target = nullptr);
  virtual bool Update();

  // Fired after every change of the action (the client's action-change handler).
  TNotifyEvent OnChange;

 protected:
  friend class TBasicAction;
  virtual void Change() {
    if (OnChange) OnChange(FAction);
  }
  TObject* FClient;
  TBasicAction* FAction = nullptr;
};

// A link that also forwards single property changes while the client still shows the action's
// old value (a client set apart by the program is left alone).
class TActionLink : public TBasicActionLink {
 public:
  using TBasicActionLink::TBasicActionLink;
  TCustomAction* CustomAction() const { return dynamic_cast<TCustomAction*>(FAction); }
  virtual bool IsCaptionLinked() { return CustomAction() != nullptr; }
  virtual bool IsCheckedLinked() { return CustomAction() != nullptr; }
  virtual bool IsEnabledLinked() { return CustomAction() != nullptr; }
  virtual bool IsHintLinked() { return CustomAction() != nullptr; }
  virtual bool IsImageIndexLinked() { return CustomAction() != nullptr; }
  virtual bool IsVisibleLinked() { return CustomAction() != nullptr; }
  virtual void SetCaption(const std::string& Value) {}
  virtual void SetChecked(bool Value) {}
  virtual void SetEnabled(bool Value) {}
  virtual void SetHint(const std::string& Value) {}
  virtual void SetImageIndex(int32_t Value) {}
  virtual void SetVisible(bool Value) {}
};

// Keeps a control's caption, enabled state, hint and visibility with its action.
class TControlActionLink : public TActionLink {
 public:
  explicit TControlActionLink(TControl* AClient);
  TControl* Control() const { return FControl; }
  bool IsCaptionLinked() override;
  bool IsEnabledLinked() override;
  bool IsHintLinked() override;
  bool IsVisibleLinked() override;
  void SetCaption(const std::string& Value) override;
  void SetEnabled(bool Value) override;
  void SetHint(const std::string& Value) override;
  void SetVisible(bool Value) override;

 protected:
  TControl* FControl;
};

// Keeps a menu item with its action: caption, checked, enabled, hint, image index, visibility.
class TMenuActionLink : public TActionLink {
 public:
  explicit TMenuActionLink(TMenuItem* AClient);
  TMenuItem* MenuItem() const { return FItem; }
  bool IsCaptionLinked() override;
  bool IsCheckedLinked() override;
  bool IsEnabledLinked() override;
  bool IsHintLinked() override;
  bool IsImageIndexLinked() override;
  bool IsVisibleLinked() override;
  void SetCaption(const std::string& Value) override;
  void SetChecked(bool Value) override;
  void SetEnabled(bool Value) override;
  void SetHint(const std::string& Value) override;
  void SetImageIndex(int32_t Value) override;
  void SetVisible(bool Value) override;

 private:
  TMenuItem* FItem;
};
