#pragma once
// The formatted text editor: a multi-line text in which every character carries its own format
// (font, colours, paragraph alignment), edited in place over memo objects and used, without a
// window, to draw them. TQxEdit is the single-line editor of text objects.
//
// The text, the per-character format indexes and the format list belong to the memo that lends
// them: the owner moves them into TextBuffer, CharFormatIndexes and CharFormats, calls BeginEdit,
// and moves them back out when editing ends (the control may have grown them meanwhile).
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/canvas.h"
#include "platform/ui/controls.h"
#include "platform/ui/std_ctrls.h"

class TQxCanvas;
class TBitmap;

// ---- the character format record ----------------------------------------------------------------
// The same 280 bytes in memory, on the clipboard and in the vector-objects stream.
#pragma pack(push, 1)
struct TQxCharFormat {
  int32_t UseCount = 0;       // characters using the record; meaningful only in CharFormats
  uint8_t FontName[256] = {};  // length byte, then up to 255 characters (code page 1252)
  int32_t FontHeight = 0;     // negative: character height, positive: cell height (pixels)
  uint8_t FontStyle = 0;      // bit 0 bold, 1 italic, 2 underline, 3 strike-out
  uint8_t Unused1[3] = {};
  TColor FontColor = 0;
  TColor BackColor = 0;
  uint8_t BrushStyle = 0;     // TBrushStyle
  uint8_t Alignment = 0;      // 0 left, 1 right, 2 centred, 3 justified
  uint8_t Unused2[2] = {};
};
#pragma pack(pop)
static_assert(sizeof(TQxCharFormat) == 280, "the character format record is stored as 280 bytes");

inline constexpr uint8_t QxFmtBold = 1, QxFmtItalic = 2, QxFmtUnderline = 4, QxFmtStrikeOut = 8;

// Two records are the same format when everything after the use count is equal.
bool QxSameCharFormat(const TQxCharFormat& A, const TQxCharFormat& B);
std::string QxCharFormatFontName(const TQxCharFormat& F);
void QxSetCharFormatFontName(TQxCharFormat& F, const std::string& Name);
TFontStyles QxCharFormatStyles(uint8_t Bits);
uint8_t QxCharFormatStyleBits(TFontStyles Styles);

// ---- process-wide tables ------------------------------------------------------------------------
struct TQxTextShortcut {
  uint16_t Key = 0;
  TShiftState Shift;
};
inline constexpr int QxTextShortcutCount = 12;
// Align left, centre, right, justify, copy, cut, paste, font, bold, italic, underline, background.
extern std::array<TQxTextShortcut, QxTextShortcutCount> QxTextShortcuts;
// Ctrl+L, E, R, J, C, X, V, F, B, I, U, G: the vector unit's start step fills the table with these.
void QxFillTextShortcuts();
// The "QUILLOT TEXTMEMO" clipboard format (0 before the start step ran).
extern uint32_t QxTextMemoClipboardFormat;
// Splits a "QUILLOT TEXTMEMO" block into its text and one record per character; false when the
// block is empty or too short for the records its text needs.
bool QxParseTextMemoClip(const std::vector<uint8_t>& Data, std::string& Text, std::vector<TQxCharFormat>& Formats);
void QxTextControlInit();
void QxTextControlFinal();

// ---- text measuring -----------------------------------------------------------------------------
// What the layout needs to know of a font: real fonts measure through the canvas, tests put in
// fixed metrics so that breaks and positions can be asserted exactly.
class TQxTextMeasurer {
 public:
  virtual ~TQxTextMeasurer() = default;
  // Advance of one 8-bit character in the canvas's current font.
  virtual int32_t CharWidth(TCanvas* Canvas, char C) = 0;
  // Cell height, internal leading and descent (absolute values) of the canvas's current font.
  virtual void FontMetrics(TCanvas* Canvas, int32_t& Height, int32_t& InternalLeading, int32_t& Descent) = 0;
};
// Measures with the canvas's own text functions.
TQxTextMeasurer* QxCanvasTextMeasurer();

// ---- the formatted text control -----------------------------------------------------------------
class TQxTextControl : public TCustomControl {
 public:
  // A nil owner makes the windowless drawing control (no I-beam cursor).
  explicit TQxTextControl(TComponent* AOwner);
  ~TQxTextControl() override;
  std::string ClassName() const override { return "TQxTextControl"; }

  // ---- the lent text and formats ----
  std::string TextBuffer;                  // 8-bit text, LF separates paragraphs
  int32_t TextLength = 0;
  int32_t CaretIndex = 0;
  std::vector<TQxCharFormat> CharFormats;  // empty: no list yet
  std::vector<int32_t> CharFormatIndexes;  // one entry per character; empty: none yet

  // ---- display settings ----
  std::unique_ptr<TBitmap> OffscreenBitmap;
  int32_t CaretX = 0, CaretY = 0, CaretHeight = 0;
  TFont DefaultFont;
  TBrush DefaultBrush;
  TPen FramePen;
  TBrush FillBrush;
  bool InsertMode = true;
  uint8_t Alignment = 0;
  double Zoom = 1.0;
  int32_t SelStart = 0, SelEnd = 0;
  int32_t PressX = 0, PressY = 0;
  TQxCharFormat TypingFormat;
  bool KeepColors = false;
  bool UniformFormat = false;
  bool AutoHeight = false;
  int32_t LineSpacing = 0;
  int32_t FixedCharHeight = 0;
  bool CollectText = false;
  std::string CollectedText;
  TNotifyEvent OnCursorMoved;
  TBitmap* BackgroundBitmap = nullptr;  // not owned; parent coordinates
  double Margins[4] = {0, 0, 0, 0};     // left, top, right, bottom, percent
  // Measuring of characters; nil uses the canvas.
  TQxTextMeasurer* Measurer = nullptr;

  // ---- character caches (TextLength + 1 entries) ----
  std::vector<uint16_t> CacheHeight, CacheWidth;
  std::vector<uint8_t> CacheLeading, CacheDescent;
  std::vector<int32_t> CacheX, CacheY;

  // ---- life cycle ----
  void BeginEdit();
  void PurgeUnusedFormats();
  void SetUniformFormat(bool Value);
  void UpdateView();

  // ---- characters ----
  void ResetCaches(int32_t Index, int32_t Count);
  int32_t FindFormat(const TQxCharFormat& Format) const;
  void SetCharFormat(int32_t Index, const TQxCharFormat& Format);
  void GetCharFormat(int32_t Index, TQxCharFormat& Format) const;
  void InsertChar(char C);
  int32_t DeleteChar(int32_t Index);
  void DeleteSelection();
  void ClearSelection();
  void ExtendSelection(int32_t OldCaret, TShiftState Shift);
  void DoCursorMoved();
  bool HasSelection() const { return SelStart < SelEnd; }

  // ---- caret moves (they read the position caches of the last layout) ----
  void CaretToLineStart();
  void CaretToLineEnd();
  void CaretWordLeft();
  void CaretWordRight();
  void CaretLineUp();
  void CaretLineDown();
  void CaretFromPoint(int32_t X, int32_t Y);

  // ---- format commands ----
  void GrowFont();
  void ShrinkFont();
  void ApplyFont(const TFont& Font);
  void ApplyBackgroundColor(TColor Color);
  void ToggleStyle(int Bit);
  void SetParagraphAlignment(uint8_t Value);

  // ---- clipboard ----
  // True when the selection reached the clipboard.
  bool CopyToClipboard();
  void PasteFromClipboard();

  // ---- keys (the handlers the messages reach) ----
  void HandleKeyDown(uint16_t Key, TShiftState Shift);
  void HandleChar(char C);

  // ---- layout and painting ----
  void PaintView();
  void PaintBackground();
  void LayoutAndDraw(TQxCanvas* Canvas, int32_t X, int32_t Y, int32_t W, int32_t H);
  void LayoutAndDraw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t W, int32_t H);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(std::string& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;

 private:
  struct TLayoutRun;
  void GrowCaches();
  void FormatOf(int32_t Index, TQxCharFormat& Format) const;
  void ChangeSelectedFormats(void (*Change)(TQxCharFormat&, const void*), const void* Arg, bool AlsoTyping);
  void WordSelect();
  void Paste(bool ReplaceSelection);
  void RunFontDialog();
  void RunColorDialog();
  bool FCaretShown = false;
  int32_t FCaretX = 0, FCaretY = 0, FCaretH = 0;  // where the caret was last put
};

// ---- the single-line editor of text objects ------------------------------------------------------
class TQxEdit : public TEdit {
 public:
  explicit TQxEdit(TComponent* AOwner) : TEdit(AOwner) {}
  std::string ClassName() const override { return "TQxEdit"; }

 protected:
  void Dispatch(TMessage& Message) override;
  void KeyPress(std::string& Key) override;
};
