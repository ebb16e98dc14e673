#pragma once
// The page control and its tab sheets.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

class TKvPageControl;

class TKvTabSheet : public TCustomControl {
 public:
  explicit TKvTabSheet(TComponent* AOwner);
  ~TKvTabSheet() override;
  std::string ClassName() const override { return "TKvTabSheet"; }
  TKvPageControl* PageControl() const { return FPageControl; }
  void SetPageControl(TKvPageControl* v);
  int32_t PageIndex() const;
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool v);
  void SetText(const std::string& Value) override;

 protected:
  friend class TKvPageControl;
  void Paint() override;
  TKvPageControl* FPageControl = nullptr;
  bool FTabVisible = true;
};

class TKvPageControl : public TCustomControl {
 public:
  explicit TKvPageControl(TComponent* AOwner);
  ~TKvPageControl() override;
  std::string ClassName() const override { return "TKvPageControl"; }
  int32_t PageCount() const { return static_cast<int32_t>(FPages.size()); }
  TKvTabSheet* Pages(int32_t Index) const { return FPages.at(static_cast<size_t>(Index)); }
  TKvTabSheet* ActivePage() const { return FActivePage; }
  void SetActivePage(TKvTabSheet* Page);
  int32_t ActivePageIndex() const;
  void SetActivePageIndex(int32_t Index);
  int32_t TabHeight() const { return FTabHeight; }
  void SetTabHeight(int32_t v);
  // Tab rectangle of a page in client coordinates (empty when its tab is hidden).
  TRect TabRect(int32_t Index);
  void SelectNextPage(bool GoForward);
  TNotifyEvent OnChange;
  void TabsChanged();

 protected:
  friend class TKvTabSheet;
  void InsertPage(TKvTabSheet* Page);
  void RemovePage(TKvTabSheet* Page);
  void Paint() override;
  void AdjustClientRect(TRect& Rect) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  std::vector<TKvTabSheet*> FPages;
  TKvTabSheet* FActivePage = nullptr;
  int32_t FTabHeight = 22;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvPageControlProperties();
