#pragma once
// Multiple-document forms: a frame whose client window holds child forms.

#include <cstdint>
#include <vector>

#include "platform/ui/forms.h"

enum class TFormStyle : uint8_t { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };

class TMDIChildForm;
class TMenuItem;

// The client window of a frame: it keeps the children and which one is active. It answers
// WM_MDIACTIVATE (wparam: the child's handle; 0 when activated), WM_MDIGETACTIVE (the active
// child's handle; lparam, when given, a bool* that receives whether it is maximized) and
// WM_MDIREFRESHMENU (0 here; a menu may hook it).
class TMDIClient : public TWinControl {
 public:
  explicit TMDIClient(TComponent* AOwner);
  ~TMDIClient() override;
  std::string ClassName() const override { return "TMDIClient"; }
  TMDIChildForm* ActiveChild() const { return FActive; }
  int32_t ChildCount() const { return static_cast<int32_t>(FChildren.size()); }
  TMDIChildForm* Children(int32_t Index) const { return FChildren.at(static_cast<size_t>(Index)); }

 protected:
  void WndProc(TMessage& Message) override;

 private:
  friend class TMDIChildForm;
  std::vector<TMDIChildForm*> FChildren;
  TMDIChildForm* FActive = nullptr;
};

class TMDIForm : public TForm {
 public:
  explicit TMDIForm(TComponent* AOwner);
  std::string ClassName() const override { return "TMDIForm"; }
  TMDIClient* ClientWindow() const { return FClient; }
  int32_t MDIChildCount() const { return FClient->ChildCount(); }
  TMDIChildForm* MDIChildren(int32_t Index) const { return FClient->Children(Index); }
  TMDIChildForm* ActiveMDIChild() const { return FClient->ActiveChild(); }
  // The menu item whose sub-menu lists the open children (nil: none).
  TMenuItem* WindowMenu() const { return FWindowMenu; }
  void SetWindowMenu(TMenuItem* Value) { FWindowMenu = Value; }

 private:
  TMDIClient* FClient;
  TMenuItem* FWindowMenu = nullptr;
};

class TMDIChildForm : public TForm {
 public:
  // The child lives in Frame's client window and becomes its active child.
  TMDIChildForm(TComponent* AOwner, TMDIForm* Frame);
  ~TMDIChildForm() override;
  std::string ClassName() const override { return "TMDIChildForm"; }
  bool Maximized() const { return FMaximized; }
  void SetMaximized(bool Value) { FMaximized = Value; }

 private:
  friend class TMDIClient;
  TMDIClient* FClient;  // nil once the client has gone
  bool FMaximized = false;
};

TFormStyle FormStyleOf(const TCustomForm* Form);
