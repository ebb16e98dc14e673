#pragma once
// TOpenQuillotDialog: the library's open dialog over the platform's chooser, with the type list built from
// the format registry and a preview pane showing the chosen picture (or its frames) and its facts.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/dialogs/common_dialog.h"
#include "imaging/foundation/types.h"
#include "platform/base/strings.h"

class TQxPanel;
class TKvLabel;
class TKvButton;
class TKvCheckBox;
class TQxComboBox;
class TQxSpeedButton;
class TQxProgressBar;
class TQuillotMView;
class TQuillotView;
class TQuillotVect;
class TIOParamsVals;

enum class TOpenOption : uint8_t {
  ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofShowHelp, ofNoValidate, ofAllowMultiSelect,
  ofExtensionDifferent, ofPathMustExist, ofFileMustExist, ofCreatePrompt, ofShareAware, ofNoReadOnlyReturn,
  ofNoTestFileCreate, ofNoNetworkButton, ofNoLongNames, ofOldStyleDialog, ofNoDereferenceLinks,
  ofEnableIncludeNotify, ofEnableSizing, ofDontAddToRecent, ofForceShowHidden
};
using TOpenOptions = TSetOf<TOpenOption>;

enum class TQxDBorderStyle : uint8_t { qxpsDefault, qxpsCropped, qxpsCropShadow, qxpsSoftShadow };

using TQxFileDlgPreviewEvent =
    std::function<void(TObject* Sender, TObject* Viewer, const std::string& FileName, bool ParamsOnly)>;
using TQxCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// Which list a filter is built for.
enum class TQxFilterKind : uint8_t { fkOpen, fkSave };
// The type list of the registry: the open kind leads with the common entry and "All Files".
std::string QxBuildFilter(TQxFilterKind Kind, TMsgLanguage Language);
// The 1-based entry of Filter whose text holds the extension of FileName (1 when none does).
int32_t QxFilterIndexOfName(const std::string& Filter, const std::string& FileName);
// The pattern ("*.tif;*.tiff") of the 1-based entry of Filter (empty when there is none).
std::string QxFilterPattern(const std::string& Filter, int32_t Index);

class TOpenQuillotDialog : public TQxCommonDialog {
 public:
  explicit TOpenQuillotDialog(TComponent* AOwner);
  ~TOpenQuillotDialog() override;
  std::string ClassName() const override { return "TOpenQuillotDialog"; }

  bool ShowDialog() override;
  void HandleDialogMessage(TMessage& Message) override;

  // ---- published
  bool AutoSetFilter = true;
  bool AlwaysAnimate() const { return FAlwaysAnimate; }
  void SetAlwaysAnimate(bool Value);
  bool AutoAdjustDPI = false;
  bool FilteredAdjustDPI = false;
  TOpenOptions Options{TOpenOption::ofHideReadOnly};
  std::string Filter;
  int32_t FilterIndex() const;
  void SetFilterIndex(int32_t Value) { FFilterIndex = Value; }
  const std::string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& Value);
  std::string Title;
  std::string DefaultExt;
  std::string FileName() const;
  void SetFileName(const std::string& Value) { FFileName = Value; }
  // The name part the chooser shows now (the stored name's part once it has closed).
  std::string FileSpec() const;
  TStringList* Files() const { return FFiles.get(); }
  TQxDBorderStyle PreviewBorderStyle() const { return FPreviewBorderStyle; }
  void SetPreviewBorderStyle(TQxDBorderStyle Value);
  bool ShowAllFrames = true;
  TResampleFilter ZoomFilter() const;
  void SetZoomFilter(TResampleFilter Value);
  int32_t PreviewFrameIndex = 0;
  // The function that shows the chooser (QxFileDialogFunction when empty).
  TQxFileDialogFunction DialogFunction;

  TNotifyEvent OnSelectionChange, OnFolderChange, OnTypeChange;
  TQxCloseQueryEvent OnCanClose;
  TNotifyEvent OnCreateCustomControls, OnDestroyCustomControls;
  TQxFileDlgPreviewEvent OnPreviewFile;

  // ---- the pane (public: the program sets the fonts of the panels and the check box)
  TQxPanel* InfoPanel = nullptr;
  TQxPanel* PicturePanel = nullptr;
  TKvCheckBox* PreviewCheck = nullptr;
  TKvLabel* InfoLabel1 = nullptr;
  TKvLabel* InfoLabel2 = nullptr;
  TKvLabel* PicLabel1 = nullptr;
  TKvLabel* PicLabel2 = nullptr;
  TKvLabel* PicLabel3 = nullptr;
  TKvButton* AdvancedButton = nullptr;
  TQxComboBox* ZoomCombo = nullptr;
  TQxSpeedButton* PreviewButton = nullptr;
  TQxSpeedButton* PlayButton = nullptr;
  TQxProgressBar* ProgressBar = nullptr;
  TQuillotVect* PreviewView() const { return FPreview; }
  TQuillotMView* ThumbnailView() const { return FThumbs; }
  int32_t FrameCount() const { return FFrameCount; }
  int64_t SelectedFileSize() const { return FFileSize; }

  // ---- pane operations
  virtual void PreviewHostRect(TRect& Rect);
  virtual void ApplyZoomChoice();
  void ShowFileInfo(TIOParamsVals* Params);
  // Opens the chosen picture in a window of its own (the preview button).
  void ShowPreviewWindow();

 protected:
  virtual bool CanClose();
  virtual void DoSelectionChange();
  virtual void DoFolderChange();
  virtual void DoTypeChange();
  void DoShow() override;
  void DoClose() override;
  // Runs the chooser with the dialog's settings; Save picks the save kind of chooser.
  bool RunFileDialog(bool Save);
  void SetPaneTexts();
  // Collects the names of the chooser's answer into FileName and both lists.
  void CollectNames(const std::string& Buffer);
  std::string EditTextWithFolder() const;
  std::string FirstQuotedName() const;
  void PreviewSwitch();
  void FramePicked(int32_t Index);
  // The parameters a frame of the thumbnail view was read with (nil when unknown).
  TIOParamsVals* FrameParamsOf(int32_t Index);

  bool FShowPreview = true;
  std::string FCurrentPattern;
  int32_t FCurrentIndex = 1;
  bool FSaveKind = false;

 private:
  void ClearPane();
  bool FInSelection = false;
  int64_t FFileSize = 0;
  int32_t FFrameCount = 0;
  bool FAlwaysAnimate = false;
  int32_t FFilterIndex = 1;
  std::string FInitialDir;
  std::string FFileName;
  std::unique_ptr<TStringList> FFiles;
  std::vector<std::string> FWideFiles;
  TQxDBorderStyle FPreviewBorderStyle = TQxDBorderStyle::qxpsDefault;
  TQuillotVect* FPreview = nullptr;
  TQuillotMView* FThumbs = nullptr;
};
