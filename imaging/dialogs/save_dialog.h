#pragma once
// TSaveQuillotDialog: the save dialog; lists the writable formats, keeps the name's extension in step with
// the chosen type and opens the save-parameters dialog of the chosen format for the attached component.
#include <cstdint>
#include <memory>
#include <string>

#include "imaging/dialogs/open_dialog.h"
#include "imaging/io/file_formats.h"

class TIOParamsVals;
class TQuillotIO;
class TQuillotMIO;

enum class TQxSaveDlgOptItem : uint8_t { sdShowPreview, sdShowAdvanced };
using TQxSaveDlgOpt = TSetOf<TQxSaveDlgOptItem>;

class TSaveQuillotDialog : public TOpenQuillotDialog {
 public:
  explicit TSaveQuillotDialog(TComponent* AOwner);
  ~TSaveQuillotDialog() override;
  std::string ClassName() const override { return "TSaveQuillotDialog"; }

  TQxSaveDlgOpt ExOptions{TQxSaveDlgOptItem::sdShowPreview, TQxSaveDlgOptItem::sdShowAdvanced};
  TComponent* AttachedQuillotIO() const { return FAttached; }
  // Takes a TQuillotIO, TQuillotMIO, TQuillotMView or TQuillotView; anything else (nil included) leaves the
  // attachment as it was.
  void SetAttachedQuillotIO(TComponent* Value);

  bool ShowDialog() override;
  // The format of the current name (live while the chooser runs): its parameter pages and id.
  void FormatOfName(TQxPreviewPages& Pages, TQxFileFormatId& Id);
  void UpdateAdvanced();
  virtual void UpdateFileNameExt();
  // The advanced button's action: the save-parameters dialog of the current format.
  void AdvancedClick();

 protected:
  void DoTypeChange() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TIOParamsVals* AttachedParams();
  TQuillotIO* AttachedIO();
  TQuillotMIO* AttachedMIO();
  TComponent* FAttached = nullptr;
  std::unique_ptr<TIOParamsVals> FSaved;
};
