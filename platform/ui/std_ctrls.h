#pragma once
// The single-line edit base: text, caret, selection, clipboard and one-level undo.

#include <cstdint>
#include <string>

#include "platform/ui/controls.h"

enum class TEditCharCase : uint8_t { ecNormal, ecUpperCase, ecLowerCase };

// The state of a check box.
enum class TCheckBoxState : uint8_t { cbUnchecked, cbChecked, cbGrayed };
inline constexpr TCheckBoxState cbUnchecked = TCheckBoxState::cbUnchecked;
inline constexpr TCheckBoxState cbChecked = TCheckBoxState::cbChecked;
inline constexpr TCheckBoxState cbGrayed = TCheckBoxState::cbGrayed;

class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* AOwner);
  ~TCustomEdit() override;
  std::string ClassName() const override { return "TCustomEdit"; }

  void SetText(const std::string& Value) override;
  // Selection in characters (code points).
  int32_t SelStart() const { return FSelStart; }
  void SetSelStart(int32_t Value);
  int32_t SelLength() const { return FSelLength; }
  void SetSelLength(int32_t Value);
  std::string SelText() const;
  void SetSelText(const std::string& Value);
  void SelectAll();
  void ClearSelection();
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  bool CanUndo() const { return FCanUndo; }
  void Undo();
  void ClearUndo() { FCanUndo = false; }
  bool Modified() const { return FModified; }
  void SetModified(bool v) { FModified = v; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool v) { FReadOnly = v; }
  int32_t MaxLength() const { return FMaxLength; }
  void SetMaxLength(int32_t v) { FMaxLength = v; }
  TEditCharCase CharCase() const { return FCharCase; }
  void SetCharCase(TEditCharCase v) { FCharCase = v; }
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle v);
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool v) { FAutoSelect = v; }
  bool HideSelection() const { return FHideSelection; }
  void SetHideSelection(bool v) { FHideSelection = v; }
  // Blank space kept inside the client area left and right of the text (the edit margins).
  void SetMargins(int32_t Left, int32_t Right);
  int32_t LeftMargin() const { return FLeftMargin; }
  int32_t RightMargin() const { return FRightMargin; }
  // Text that fits is laid against the right margin instead of the left one.
  bool RightAligned() const { return FRightAligned; }
  void SetRightAligned(bool Value);
  // Characters in the text.
  int32_t GetTextLen() const;
  // Client x of the caret.
  int32_t CaretX() const;

  TNotifyEvent OnChange;

 protected:
  virtual void Change();
  // The colour the text lies on (the button face while disabled).
  virtual TColor FaceColor() const { return Enabled() ? Color() : clBtnFace; }
  void CreateParams(TCreateParams& Params) override;
  void PaintWindow(HDC DC) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(std::string& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void Dispatch(TMessage& Message) override;
  void DoEnter() override;

 private:
  void ReplaceSelection(const std::string& Text, bool KeepUndo = true);
  int32_t CharAtX(int32_t X) const;
  void MoveCaret(int32_t Pos, bool Extend);
  void EnsureCaretVisible();
  // Client x where the text begins.
  int32_t TextOriginX() const;
  int32_t FLeftMargin = 0, FRightMargin = 0;
  bool FRightAligned = false;
  int32_t FSelStart = 0;
  int32_t FSelLength = 0;
  int32_t FAnchor = 0;
  int32_t FScrollX = 0;
  bool FCanUndo = false;
  std::string FUndoText;
  int32_t FUndoSelStart = 0;
  bool FModified = false;
  bool FReadOnly = false;
  int32_t FMaxLength = 0;
  TEditCharCase FCharCase = TEditCharCase::ecNormal;
  TBorderStyle FBorderStyle = TBorderStyle::bsSingle;
  bool FAutoSelect = true;
  bool FHideSelection = true;
};

class TEdit : public TCustomEdit {
 public:
  explicit TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}
  std::string ClassName() const override { return "TEdit"; }
};
