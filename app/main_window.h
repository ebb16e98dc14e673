#pragma once
// The main window: open a picture, build its reflection in QuillotDis, adjust it, save it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/reflection.h"
#include "controls/kv_controls.h"
#include "controls/menu/sty_fantasy.h"
#include "controls/menu/sty_main_menu.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/ext_ctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"

class TQuillot;
class TOpenQuillotDialog;
class TSaveQuillotDialog;

// Directory of the executable with a trailing delimiter; Options.ini and Languages/ live there.
extern std::string AppDir;
// The applied language index (0..5, 7 for none).
extern int32_t Lang;
// Caption of error boxes and the text shown when a picture cannot be opened.
extern std::string MsError;
extern std::string MsOpenError;
// Shown when no program could be started to open an address (the home page).
inline constexpr const char* kNoOpenerEnglish = "No program is installed that can open this address:";
extern std::string MsNoOpener;

inline constexpr const char* QuorvelAppTitle = "Quorvel Image 2.3.3 Free version";
inline constexpr const char* QuorvelHomePage = "https://quorvel.example.com/";
inline constexpr const char* QuorvelEmail = "mailto:support@quorvel.example.com";

// Runs the open and save dialogs; tests replace it to answer with a file name.
extern std::function<bool(TOpenFileNameData& Data)> RunFileDialog;

// The language file of an index ("" for none); paths are relative to AppDir.
std::string LanguageFileOf(int32_t Index);
// The message texts from the section Messages of a language file (English where it has none).
void LoadMessageTexts(const std::string& FileName);

class TFrmQuorvel : public TForm {
 public:
  explicit TFrmQuorvel(TComponent* AOwner);
  ~TFrmQuorvel() override;
  std::string ClassName() const override { return "TFrmQuorvel"; }

  // Components, in the order the form builds them.
  TImageList* ImageListBar = nullptr;
  TImageList* ImageListBtn = nullptr;
  TKvPanel* KvPanel1 = nullptr;
  TImage* Image1 = nullptr;
  TKvToolButton* BtnOpen = nullptr;
  TKvToolButton* BtnSaveAs = nullptr;
  TKvToolButton* BtnNewVer = nullptr;
  TKvStatusBar* KvStatusBar1 = nullptr;
  TKvStatusPane* KvStatusPane1 = nullptr;
  TKvPanel* KvPanel2 = nullptr;
  TKvPageControl* KvPageControl1 = nullptr;
  TKvTabSheet* TabSheet1 = nullptr;
  TKvPanel* KvPanel3 = nullptr;
  TKvGroupBox* KvGroupBox1 = nullptr;
  TKvLabel* Label6 = nullptr;
  TKvBmpButton* BtnLeft = nullptr;
  TKvBmpButton* BtnTop = nullptr;
  TKvBmpButton* BtnRight = nullptr;
  TKvBmpButton* BtnBottom = nullptr;
  TImage* Image2 = nullptr;
  TKvLabel* Label8 = nullptr;
  TKvSpinEdit* SpinEditSpc = nullptr;
  TKvGroupBox* KvGroupBox2 = nullptr;
  TKvLabel* Label7 = nullptr;
  TKvTrackBar* TrackBarSize = nullptr;
  TKvLabel* Label9 = nullptr;
  TKvGroupBox* KvGroupBox4 = nullptr;
  TKvLabel* Label10 = nullptr;
  TKvTrackBar* TrackBarTranBegin = nullptr;
  TKvLabel* Label1 = nullptr;
  TKvTrackBar* TrackBarTranEnd = nullptr;
  TKvLabel* Label2 = nullptr;
  TKvGroupBox* KvGroupBox5 = nullptr;
  TKvLabel* Label12 = nullptr;
  TKvRadioButton* RadioButtonColor = nullptr;
  TKvRadioButton* RadioButtonH = nullptr;
  TKvRadioButton* RadioButtonBW = nullptr;
  TKvTabSheet* TabSheet2 = nullptr;
  TKvPanel* KvPanel7 = nullptr;
  TKvGroupBox* KvGroupBox6 = nullptr;
  TKvLabel* Label14 = nullptr;
  TKvCheckBox* CheckBoxRemoveAlpa = nullptr;
  TKvPanel* PanelBkColor = nullptr;
  TKvLabel* Label11 = nullptr;
  TKvGroupBox* KvGroupBox3 = nullptr;
  TKvCheckBox* CheckBoxWave = nullptr;
  TKvLabel* Label3 = nullptr;
  TKvSpinEdit* SpinEditZF = nullptr;
  TKvLabel* Label4 = nullptr;
  TKvSpinEdit* SpinEditBC = nullptr;
  TKvLabel* Label5 = nullptr;
  TKvSpinEdit* SpinEditXW = nullptr;
  TKvPanel* KvPanel8 = nullptr;
  TKvPanel* KvPanel4 = nullptr;
  TKvPanel* KvPanel5 = nullptr;
  TKvPanel* KvPanel6 = nullptr;
  TKvToolButton* BtnFit = nullptr;
  TKvToolButton* BtnReal = nullptr;
  TKvToolButton* BtnZoomOut = nullptr;
  TKvToolButton* BtnZoomIn = nullptr;
  TQuillot* QuillotDis = nullptr;
  StyMenus::TStyMenuFantasyStyler* StyMenuFantasyStyler1 = nullptr;
  StyMenus::TStyMainMenu* StyMainMenu1 = nullptr;
  TMenuItem* M_Files = nullptr;
  TMenuItem* M_Open = nullptr;
  TMenuItem* M_SaveAs = nullptr;
  TMenuItem* N4 = nullptr;
  TMenuItem* M_Close = nullptr;
  TMenuItem* M_Language = nullptr;
  TMenuItem* M_English = nullptr;
  TMenuItem* M_German = nullptr;
  TMenuItem* M_Spanish = nullptr;
  TMenuItem* M_French = nullptr;
  TMenuItem* M_Italian = nullptr;
  TMenuItem* M_Dutch = nullptr;
  TMenuItem* M_Help = nullptr;
  TMenuItem* M_HomePage = nullptr;
  TMenuItem* N1 = nullptr;
  TMenuItem* M_About = nullptr;
  TColorDialog* ColorDialog1 = nullptr;
  TOpenQuillotDialog* OpenQuillotDialog1 = nullptr;
  TSaveQuillotDialog* SaveQuillotDialog1 = nullptr;

  // Fields.
  TQuillot* Source = nullptr;
  std::string LastOpenDir;
  bool ImageLoaded = false;
  int32_t ReflectionLayer = -1;
  // Rebuilds the settings handlers have run.
  int32_t Rebuilds = 0;

  // Handlers.
  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void M_OpenClick(TObject* Sender);
  void M_SaveAsClick(TObject* Sender);
  void BtnLeftClick(TObject* Sender);
  void TrackBarTranBeginChange(TObject* Sender);
  void SpinEditSpcChange(TObject* Sender);
  void CheckBoxRemoveAlpaClick(TObject* Sender);
  void PanelBkColorClick(TObject* Sender);
  void BtnFitClick(TObject* Sender);
  void BtnRealClick(TObject* Sender);
  void BtnZoomOutClick(TObject* Sender);
  void BtnZoomInClick(TObject* Sender);
  void M_FilesClick(TObject* Sender);
  void M_CloseClick(TObject* Sender);
  void M_HomePageClick(TObject* Sender);
  void M_AboutClick(TObject* Sender);
  void M_EnglishClick(TObject* Sender);

  // Opens FileName as the open dialog's choice does (the dialog itself aside).
  void OpenFile(const std::string& FileName);
  // Side of the first side button that is down, 0 when none.
  int32_t SelectedSide() const;
  int32_t ColorMode() const;
  TReflectionSettings Settings() const;
  void OpenUrl(const std::string& Address);
  // Runs a rebuild that a burst of input left waiting (see RequestRebuild).
  void FlushRebuild();

  void LoadOptions();
  void SaveOptions();
  void ApplyLanguage(int32_t Index);

 private:
  // What a setting change asks to be redone.
  // rdReflection: the reflection layer; rdSpace: the base layer and the placement; rdBoth: both layers
  // without the placement; rdWhole: everything.
  enum : uint8_t { rdReflection = 1, rdSpace = 2, rdBoth = 4, rdWhole = 8 };
  // Rebuilds at once, or, while input is handled, once the queued input is: the repeats of a held key
  // or the steps of a drag then cost one rebuild with the latest settings instead of one each.
  void RequestRebuild(uint8_t What);
  uint8_t FPendingRebuild = 0;
  bool FRebuildQueued = false;
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);

  void BuildComponents();
  void BindEvents();
  void UpdatePercentLabels();
  // Shows "Name  N%" in the status bar as long work reports its progress, at most 20 times a second.
  std::function<void(int32_t)> StatusProgress(const std::string& Name);
  void MakeMenuStyler();
  void MakeArtwork();
  void DrawBanner();
};

void ShowAboutBox();
