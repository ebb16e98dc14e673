#pragma once
// TQxCommonDialog: runs the platform's file chooser modally and routes the chooser window's messages and
// notifications to overridable members of the component.
#include <cstdint>
#include <functional>
#include <string>

#include "imaging/foundation/types.h"
#include "platform/ui/component.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/messages.h"

class TTimer;

// The function that shows a chooser; RunFileChooser unless the program or a test puts its own.
using TQxFileDialogFunction = std::function<bool(TOpenFileNameData& Data)>;
extern TQxFileDialogFunction QxFileDialogFunction;

// The common-dialog help message and the routine that shows a help topic (nothing shows help until one is set).
inline constexpr uint32_t QX_COMMDLG_HELP = 0xC00F;
extern std::function<void(int32_t HelpContext)> QxShowHelpTopic;

class TQxCommonDialog : public TComponent {
 public:
  explicit TQxCommonDialog(TComponent* AOwner);
  ~TQxCommonDialog() override;
  std::string ClassName() const override { return "TQxCommonDialog"; }

  TMsgLanguage MsgLanguage = TMsgLanguage::msSystem;
  bool Ctl3D = true;
  int32_t HelpContext = 0;
  bool ShowPlacesBar = true;
  bool ExtendedDialog = true;
  TNotifyEvent OnClose;
  TNotifyEvent OnShow;

  // The chooser window while the dialog runs, else nil.
  TFileChooser* DialogWindow() const { return FHandle; }
  TTimer* Timer() const { return FTimer; }

  // Dispatches one message of the chooser window to the handlers below; unhandled ones end in
  // DefaultHandler.
  virtual void HandleDialogMessage(TMessage& Message);
  virtual bool HandleHelpMessage(TMessage& Message);
  // Runs Func modally with Data; the chooser's messages reach this component while it runs.
  virtual bool RunModal(const TQxFileDialogFunction& Func, TOpenFileNameData& Data);
  virtual bool ShowDialog() = 0;

  // The hook the chooser is given: the classic one centres the window, the explorer one waits for
  // the chooser's own initialisation before doing so.
  std::function<bool(TFileChooser*, TMessage&)> MakeHook(bool Explorer);

 protected:
  // Passes the message on to the chooser's own handling (marked for the hook to return "not handled").
  virtual void DefaultHandler(TMessage& Message);
  virtual void DoClose();
  virtual void DoShow();
  void HandleDestroy(TMessage& Message);
  void HandleInitDialog(TMessage& Message);
  void HandleNcDestroy(TMessage& Message);

  TFileChooser* FHandle = nullptr;
  TTimer* FTimer = nullptr;
  std::string FTemplateName;

 private:
  bool FPassOn = false;
};
