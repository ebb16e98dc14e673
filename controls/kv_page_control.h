#pragma once
// The page control: a tab control whose tabs are the pages it holds; choosing a tab shows its page.

#include <cstdint>
#include <string>
#include <vector>

#include "controls/kv_tab_control.h"

class TKvPageControl;

// One page of a page control. The page control shows and hides pages itself; writing Visible is
// refused.
class TKvTabSheet : public TCustomControl {
 public:
  explicit TKvTabSheet(TComponent* AOwner);
  ~TKvTabSheet() override;
  std::string ClassName() const override { return "TKvTabSheet"; }

  TKvPageControl* PageControl() const { return FPageControl; }
  virtual void SetPageControl(TKvPageControl* v);
  void SetColor(TColor Value) override;
  int32_t DisabledIndex() const { return FDisabledIndex; }
  virtual void SetDisabledIndex(int32_t v);
  int32_t ImageIndex() const { return FImageIndex; }
  virtual void SetImageIndex(int32_t v);
  virtual int32_t PageIndex() const;
  virtual void SetPageIndex(int32_t v);
  bool TabEnabled() const { return FTabEnabled; }
  virtual void SetTabEnabled(bool v);
  // Index of the page's tab among the visible tabs; -1 while its tab is hidden.
  virtual int32_t TabIndex() const;
  bool TabVisible() const { return FTabVisible; }
  virtual void SetTabVisible(bool v);
  void SetVisible(bool Value) override;
  void TabsChangedNotify();

  TKvPaintBackgroundEvent OnPaintBackground;

 protected:
  friend class TKvPageControl;
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void CMTextChanged(TMessage& Message) override;
  // The page control shows and hides pages through this.
  void SetShown(bool Value) { TCustomControl::SetVisible(Value); }
  // SaveResources: a hidden page lets its window go.
  void ReleaseWindow() { DestroyHandle(); }

  TKvPageControl* FPageControl = nullptr;
  int32_t FDisabledIndex = -1;
  int32_t FImageIndex = -1;
  bool FTabEnabled = true;
  bool FTabVisible = true;
};

class TKvPageControl : public TKvCustomTabControl {
 public:
  explicit TKvPageControl(TComponent* AOwner);
  ~TKvPageControl() override;
  std::string ClassName() const override { return "TKvPageControl"; }

  virtual TKvTabSheet* Pages(int32_t Index) const;
  virtual int32_t PageCount() const { return static_cast<int32_t>(FPages.size()); }
  TKvTabSheet* ActivePage() const { return FActivePage; }
  virtual void SetActivePage(TKvTabSheet* Page);
  TKvTabSheet* ActivePageDefault() const { return FActivePageDefault; }
  void SetActivePageDefault(TKvTabSheet* Page);
  virtual int32_t ActivePageIndex() const;
  virtual void SetActivePageIndex(int32_t Index);
  bool SaveResources() const { return FSaveResources; }
  // On: every page but the active one gives up its window until it is shown again.
  virtual void SetSaveResources(bool v);
  bool DblClickUndocks() const { return FDblClickUndocks; }
  void SetDblClickUndocks(bool v) { FDblClickUndocks = v; }

  void InsertPage(TKvTabSheet* Page);
  void RemovePage(TKvTabSheet* Page);
  TKvTabSheet* PageForTabIndex(int32_t Index) const;
  TKvTabSheet* FindNextPage(TKvTabSheet* Current, bool GoForward, bool CheckTabVisible) const;
  void SelectNextPage(bool GoForward);
  void ShowPage(TKvTabSheet* Page);

  void TabsChanged() override;
  void SetUseColoredTabs(bool v) override;
  void HideAllTabs() override;
  void ShowAllTabs() override;

 protected:
  friend class TKvTabSheet;
  void DoChanging(int32_t NewIndex, bool& AllowChange) override;
  void DoPaintCardBackground(TCanvas* ACanvas, int32_t Row, bool& Handled, const TRect& R) override;
  void CloseActiveTab() override;
  void MoveActiveTab(int32_t Index) override;
  // A sheet dragged by its tab from another page control of the same form moves here.
  void DragOver(TControl* Source, int32_t X, int32_t Y, TDragState State, bool& Accept) override;
  void DragDrop(TControl* Source, int32_t X, int32_t Y) override;
  void Change() override;
  void DoPageChange() override;
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Dispatch(TMessage& Message) override;

 private:
  std::vector<TKvTabSheet*> FPages;
  TKvTabSheet* FActivePage = nullptr;
  TKvTabSheet* FActivePageDefault = nullptr;
  bool FSaveResources = false;
  bool FDblClickUndocks = true;
  bool FLoading = false;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvPageControlProperties();
