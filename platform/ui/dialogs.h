#pragma once
// Message boxes, the colour dialog and the file chooser window behind open and save dialogs.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/forms.h"

// Message-box flags and answers.
inline constexpr uint32_t MB_OK = 0x0000;
inline constexpr uint32_t MB_OKCANCEL = 0x0001;
inline constexpr uint32_t MB_ABORTRETRYIGNORE = 0x0002;
inline constexpr uint32_t MB_YESNOCANCEL = 0x0003;
inline constexpr uint32_t MB_YESNO = 0x0004;
inline constexpr uint32_t MB_RETRYCANCEL = 0x0005;
inline constexpr uint32_t MB_ICONHAND = 0x0010;
inline constexpr uint32_t MB_ICONERROR = 0x0010;
inline constexpr uint32_t MB_ICONSTOP = 0x0010;
inline constexpr uint32_t MB_ICONQUESTION = 0x0020;
inline constexpr uint32_t MB_ICONEXCLAMATION = 0x0030;
inline constexpr uint32_t MB_ICONWARNING = 0x0030;
inline constexpr uint32_t MB_ICONASTERISK = 0x0040;
inline constexpr uint32_t MB_ICONINFORMATION = 0x0040;
inline constexpr uint32_t MB_DEFBUTTON2 = 0x0100;
inline constexpr uint32_t MB_DEFBUTTON3 = 0x0200;
inline constexpr int32_t IDOK = 1;
inline constexpr int32_t IDCANCEL = 2;
inline constexpr int32_t IDABORT = 3;
inline constexpr int32_t IDRETRY = 4;
inline constexpr int32_t IDIGNORE = 5;
inline constexpr int32_t IDYES = 6;
inline constexpr int32_t IDNO = 7;

enum class TMsgDlgType : uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum class TMsgDlgBtn : uint8_t { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = TSetOf<TMsgDlgBtn>;

// Shows a modal message box with an icon and buttons; returns the mr* of the button chosen
// (Escape gives mrCancel when there is a Cancel button, else the last button's result).
int32_t MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t HelpCtx = 0);
// Platform-style box: Flags are MB_*; returns ID*.
int32_t MessageBox(HWND Owner, const std::string& Text, const std::string& Caption, uint32_t Flags);
void ShowMessage(const std::string& Msg);

// Every message box shown goes through this hook first when set (tests answer boxes with it);
// a return value other than 0 is taken as the answer without showing the box.
extern std::function<int32_t(const std::string& Text, const std::string& Caption, uint32_t Flags)> MessageBoxHook;

enum class TColorDialogOption : uint8_t { cdFullOpen, cdPreventFullOpen, cdShowHelp, cdSolidColor, cdAnyColor };
using TColorDialogOptions = TSetOf<TColorDialogOption>;

class TColorDialog : public TComponent {
 public:
  explicit TColorDialog(TComponent* AOwner);
  std::string ClassName() const override { return "TColorDialog"; }
  TColor Color() const { return FColor; }
  void SetColor(TColor v) { FColor = v; }
  TColorDialogOptions Options() const { return FOptions; }
  void SetOptions(TColorDialogOptions v) { FOptions = v; }
  // Sixteen custom colours as "ColorA=RRGGBB" lines, as the dialog keeps them.
  std::vector<std::string>& CustomColors() { return FCustomColors; }
  // Runs the dialog modally; true and Color set when the user chose OK.
  virtual bool Execute();
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

 private:
  TColor FColor = clBlack;
  TColorDialogOptions FOptions;
  std::vector<std::string> FCustomColors;
};

// ---- File chooser -------------------------------------------------------------------------

// Notification codes of the chooser (WM_NOTIFY to the hook, code in TOFNotify::Code).
inline constexpr int32_t CDN_FIRST = -601;
inline constexpr int32_t CDN_INITDONE = -601;
inline constexpr int32_t CDN_SELCHANGE = -602;
inline constexpr int32_t CDN_FOLDERCHANGE = -603;
inline constexpr int32_t CDN_SHAREVIOLATION = -604;
inline constexpr int32_t CDN_HELP = -605;
inline constexpr int32_t CDN_FILEOK = -606;
inline constexpr int32_t CDN_TYPECHANGE = -607;
// Messages the hook may send to the chooser.
inline constexpr uint32_t CDM_FIRST = WM_USER + 100;
inline constexpr uint32_t CDM_GETSPEC = CDM_FIRST + 0;
inline constexpr uint32_t CDM_GETFILEPATH = CDM_FIRST + 1;
inline constexpr uint32_t CDM_GETFOLDERPATH = CDM_FIRST + 2;
inline constexpr uint32_t CDM_SETCONTROLTEXT = CDM_FIRST + 4;
inline constexpr uint32_t CDM_HIDECONTROL = CDM_FIRST + 5;
inline constexpr uint32_t CDM_SETDEFEXT = CDM_FIRST + 6;
// Control ids for CDM_SETCONTROLTEXT.
inline constexpr int32_t IDC_FILENAME_LABEL = 1090;
inline constexpr int32_t IDC_FILETYPE_LABEL = 1089;
// The name field: its text is read with CDM_GETSPEC and set with CDM_SETCONTROLTEXT (either id).
inline constexpr int32_t IDC_FILENAME_EDIT = 1152;
inline constexpr int32_t IDC_FILENAME_COMBO = 1148;
inline constexpr int32_t IDC_OK_BUTTON = IDOK;
inline constexpr int32_t IDC_CANCEL_BUTTON = IDCANCEL;

inline constexpr uint32_t OFN_READONLY = 0x00000001;
inline constexpr uint32_t OFN_OVERWRITEPROMPT = 0x00000002;
inline constexpr uint32_t OFN_HIDEREADONLY = 0x00000004;
inline constexpr uint32_t OFN_NOCHANGEDIR = 0x00000008;
inline constexpr uint32_t OFN_ENABLEHOOK = 0x00000020;
inline constexpr uint32_t OFN_ENABLETEMPLATE = 0x00000040;
inline constexpr uint32_t OFN_ALLOWMULTISELECT = 0x00000200;
inline constexpr uint32_t OFN_EXTENSIONDIFFERENT = 0x00000400;
inline constexpr uint32_t OFN_PATHMUSTEXIST = 0x00000800;
inline constexpr uint32_t OFN_FILEMUSTEXIST = 0x00001000;
inline constexpr uint32_t OFN_CREATEPROMPT = 0x00002000;
inline constexpr uint32_t OFN_EXPLORER = 0x00080000;
inline constexpr uint32_t OFN_ENABLESIZING = 0x00800000;
inline constexpr uint32_t OFN_EX_NOPLACESBAR = 0x00000001;

// The WM_NOTIFY record (LParam points at it). For CDN_FILEOK, a hook that sets the message
// Result to nonzero keeps the chooser open.
struct TOFNotify {
  class TFileChooser* Chooser = nullptr;
  int32_t Code = 0;
};

// What the chooser is run with and what it gives back.
struct TOpenFileNameData {
  bool Save = false;
  std::string Title;
  std::string InitialDir;
  // Pairs "Description|Mask;Mask|Description|Mask" as file dialogs take them.
  std::string Filter;
  int32_t FilterIndex = 1;  // 1-based, updated on return
  std::string FileName;     // in: proposed name; out: full path chosen
  std::string DefaultExt;   // without the dot
  uint32_t Flags = 0;
  uint32_t FlagsEx = 0;
  // Room for the hook's own controls: a column of TemplateWidth at the right and a band of
  // TemplateHeight along the bottom (0: none). The chooser's controls keep HostRect.
  int32_t TemplateHeight = 0;
  int32_t TemplateWidth = 0;
  // Every message of the chooser window reaches the hook first (WM_INITDIALOG, WM_NOTIFY,
  // WM_DESTROY, WM_NCDESTROY ...). Returning true marks it handled.
  std::function<bool(class TFileChooser* Dlg, TMessage& Message)> Hook;
};

// The chooser's own texts, in the program's language: the desktop gives them in its own language, here
// the program sets them (English until it does). "&" marks the keyboard letter.
struct TFileChooserTexts {
  std::string FileName = "File &name:";
  std::string FilesOfType = "Files of &type:";
  std::string Open = "&Open";
  std::string Save = "&Save";
  std::string Cancel = "Cancel";
  std::string UpOneLevel = "Up one level";
  std::string PathNotFound = "Path does not exist.";
  std::string FileNotFound = "File not found.\nCheck the file name and try again.";
  std::string Replace = "already exists.\nDo you want to replace it?";
};
extern TFileChooserTexts FileChooserTexts;

// The chooser window: folders and files of the current directory, a type filter and a name field.
class TFileChooser : public TForm {
 public:
  TFileChooser(TComponent* AOwner, TOpenFileNameData& Data);
  ~TFileChooser() override;
  std::string ClassName() const override { return "TFileChooser"; }

  const std::string& Directory() const { return FDirectory; }
  void ChangeDirectory(const std::string& Dir);
  // Entries shown: folders first ("name/"), then files matching the type.
  const std::vector<std::string>& Entries() const { return FEntries; }
  int32_t SelectedIndex() const { return FSelected; }
  void SelectIndex(int32_t Index);
  // Full path of the selected or typed file.
  std::string FilePath() const;
  // The name field's text.
  std::string Spec() const;
  void SetSpec(const std::string& Text);
  int32_t TypeIndex() const { return FTypeIndex; }
  void SetTypeIndex(int32_t Index);
  // Area offered to the hook's own controls (the right column, else the bottom band).
  TWinControl* TemplateArea() const { return FTemplate; }
  // Where the chooser's own controls are, in client coordinates.
  TRect HostRect() const;
  class TCustomEdit* NameEdit() const { return FNameEdit; }
  // Accepts the name field as Enter does; false when vetoed or invalid.
  bool Accept();

 protected:
  void Dispatch(TMessage& Message) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Paint() override;

 private:
  friend class TFileChooserList;
  friend bool RunFileChooser(TOpenFileNameData& Data);
  void Reload();
  void SelectTyped();
  intptr_t Notify(int32_t Code);
  bool CallHook(TMessage& M);
  void Layout();
  std::vector<std::string> Masks() const;

  TOpenFileNameData& FData;
  std::string FDirectory;
  std::vector<std::string> FEntries;
  int32_t FSelected = -1;
  int32_t FTypeIndex = 1;
  class TCustomEdit* FNameEdit = nullptr;
  class TFileChooserList* FList = nullptr;
  TWinControl* FTemplate = nullptr;
  class TControl* FUpButton = nullptr;
  std::vector<std::pair<std::string, std::string>> FTypes;  // description, masks
  bool FInitDone = false;
  std::string FNameLabel = FileChooserTexts.FileName;
  std::string FTypeLabel = FileChooserTexts.FilesOfType;
};

// Runs the chooser modally; true with Data.FileName and Data.FilterIndex set when accepted.
bool RunFileChooser(TOpenFileNameData& Data);
// The chooser being shown now (nil when none).
TFileChooser* ActiveFileChooser();
