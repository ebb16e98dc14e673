#include "imaging/dialogs/common_dialog.h"

#include <cfenv>
#include <exception>

#include "imaging/foundation/helpers.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

TQxFileDialogFunction QxFileDialogFunction = [](TOpenFileNameData& Data) { return RunFileChooser(Data); };
std::function<void(int32_t)> QxShowHelpTopic;

namespace {
// Only one chooser can be opening at a time; the hook binds its first window to this component.
TQxCommonDialog* GCreating = nullptr;
}  // namespace

TQxCommonDialog::TQxCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}

TQxCommonDialog::~TQxCommonDialog() {
  if (GCreating == this) GCreating = nullptr;
}

void TQxCommonDialog::HandleDialogMessage(TMessage& M) {
  switch (M.Msg) {
    case WM_DESTROY: HandleDestroy(M); return;
    case WM_INITDIALOG: HandleInitDialog(M); return;
    case WM_NCDESTROY: HandleNcDestroy(M); return;
    default: DefaultHandler(M); return;
  }
}

void TQxCommonDialog::DefaultHandler(TMessage&) {
  // The chooser's own handling runs once the hook returns.
  FPassOn = true;
}

void TQxCommonDialog::HandleDestroy(TMessage& M) {
  DefaultHandler(M);
  DoClose();
}

void TQxCommonDialog::HandleInitDialog(TMessage& M) {
  DoShow();
  M.Result = 0;
}

void TQxCommonDialog::HandleNcDestroy(TMessage& M) {
  DefaultHandler(M);
  FHandle = nullptr;
}

void TQxCommonDialog::DoClose() {
  if (OnClose) OnClose(this);
}

void TQxCommonDialog::DoShow() {
  if (OnShow) OnShow(this);
}

bool TQxCommonDialog::HandleHelpMessage(TMessage& M) {
  if (M.Msg != QX_COMMDLG_HELP || HelpContext == 0) return false;
  if (QxShowHelpTopic) QxShowHelpTopic(HelpContext);
  return true;
}

namespace {
// The library's centring, on the chooser's window; a chooser without its window yet centres when shown.
void CenterChooser(TFileChooser* Dlg) {
  if (Dlg->HandleAllocated()) QxCenterWindow(static_cast<uintptr_t>(Dlg->Handle()));
  else Dlg->SetPosition(TPosition::poScreenCenter);
}
}  // namespace

std::function<bool(TFileChooser*, TMessage&)> TQxCommonDialog::MakeHook(bool Explorer) {
  return [this, Explorer](TFileChooser* Dlg, TMessage& M) -> bool {
    if (M.Msg == WM_INITDIALOG && GCreating == this) {
      if (!Explorer) CenterChooser(Dlg);
      FHandle = Dlg;
      GCreating = nullptr;
    }
    if (Dlg != FHandle) return false;
    // An explorer-style chooser is whole only once it says so: it is centred then.
    if (Explorer && M.Msg == WM_NOTIFY)
      if (auto* n = reinterpret_cast<TOFNotify*>(M.LParam); n && n->Code == CDN_INITDONE) CenterChooser(Dlg);
    if (M.Msg == QX_COMMDLG_HELP && HandleHelpMessage(M)) return true;
    FPassOn = false;
    try {
      HandleDialogMessage(M);
    } catch (const std::exception& e) {
      // A failing handler is reported; the chooser stays open.
      if (Application) Application->HandleException(this, e);
      return true;
    }
    return !FPassOn;
  };
}

bool TQxCommonDialog::RunModal(const TQxFileDialogFunction& Func, TOpenFileNameData& Data) {
  TCustomForm* active = Screen ? Screen->ActiveForm() : nullptr;
  std::fenv_t env;
  std::fegetenv(&env);
  struct TRestore {
    TQxCommonDialog* Self;
    TCustomForm* Active;
    std::fenv_t* Env;
    ~TRestore() {
      std::feclearexcept(FE_ALL_EXCEPT);
      std::fesetenv(Env);
      if (GCreating == Self) GCreating = nullptr;
      Self->FHandle = nullptr;
      if (Active && Active->Visible() && Active->CanFocus()) Active->SetFocus();
    }
  } restore{this, active, &env};
  GCreating = this;
  return Func ? Func(Data) : false;
}
