#include "platform/ui/mdi.h"

#include <algorithm>

#include "platform/ui/messages.h"

TMDIClient::TMDIClient(TComponent* AOwner) : TWinControl(AOwner) {}

TMDIClient::~TMDIClient() {
  for (TMDIChildForm* C : FChildren) C->FClient = nullptr;
}

void TMDIClient::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_MDIACTIVATE: {
      Message.Result = 1;
      for (TMDIChildForm* C : FChildren)
        if (C->Handle() == static_cast<HWND>(Message.WParam)) {
          FActive = C;
          Message.Result = 0;
        }
      return;
    }
    case WM_MDIGETACTIVE:
      if (Message.LParam) *reinterpret_cast<bool*>(Message.LParam) = FActive && FActive->Maximized();
      Message.Result = FActive ? static_cast<intptr_t>(FActive->Handle()) : 0;
      return;
    case WM_MDIREFRESHMENU: Message.Result = 0; return;
    default: TWinControl::WndProc(Message);
  }
}

TMDIForm::TMDIForm(TComponent* AOwner) : TForm(AOwner), FClient(new TMDIClient(this)) {
  FClient->SetParent(this);
  FClient->SetAlign(alClient);
}

TMDIChildForm::TMDIChildForm(TComponent* AOwner, TMDIForm* Frame)
    : TForm(AOwner), FClient(Frame->ClientWindow()) {
  SetParent(FClient);
  FClient->FChildren.push_back(this);
  FClient->FActive = this;
}

TMDIChildForm::~TMDIChildForm() {
  TMDIClient* C = FClient;
  if (!C) return;
  auto& V = C->FChildren;
  V.erase(std::remove(V.begin(), V.end(), this), V.end());
  if (C->FActive == this) C->FActive = V.empty() ? nullptr : V.back();
}

TFormStyle FormStyleOf(const TCustomForm* Form) {
  if (dynamic_cast<const TMDIForm*>(Form)) return TFormStyle::fsMDIForm;
  if (dynamic_cast<const TMDIChildForm*>(Form)) return TFormStyle::fsMDIChild;
  return TFormStyle::fsNormal;
}
