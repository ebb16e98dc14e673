// The formatted text editor: its records, characters, keys, mouse and clipboard.
#include "imaging/vector/text_control.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/foundation/helpers.h"
#include "imaging/foundation/services.h"
#include "imaging/vector/text_font_dialog.h"
#include "platform/base/codepage.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/dialogs.h"

// ---- records ------------------------------------------------------------------------------------

bool QxSameCharFormat(const TQxCharFormat& A, const TQxCharFormat& B) {
  return std::memcmp(reinterpret_cast<const uint8_t*>(&A) + 4, reinterpret_cast<const uint8_t*>(&B) + 4,
                     sizeof(TQxCharFormat) - 4) == 0;
}

std::string QxCharFormatFontName(const TQxCharFormat& F) {
  return CodePageToUtf8(std::string_view(reinterpret_cast<const char*>(F.FontName + 1), F.FontName[0]));
}

void QxSetCharFormatFontName(TQxCharFormat& F, const std::string& Name) {
  std::string B = Utf8ToCodePage(Name);
  if (B.size() > 255) B.resize(255);
  std::memset(F.FontName, 0, sizeof F.FontName);
  F.FontName[0] = static_cast<uint8_t>(B.size());
  std::memcpy(F.FontName + 1, B.data(), B.size());
}

TFontStyles QxCharFormatStyles(uint8_t Bits) {
  TFontStyles S;
  if (Bits & QxFmtBold) S.Include(TFontStyle::fsBold);
  if (Bits & QxFmtItalic) S.Include(TFontStyle::fsItalic);
  if (Bits & QxFmtUnderline) S.Include(TFontStyle::fsUnderline);
  if (Bits & QxFmtStrikeOut) S.Include(TFontStyle::fsStrikeOut);
  return S;
}

uint8_t QxCharFormatStyleBits(TFontStyles S) {
  return static_cast<uint8_t>((S.Contains(TFontStyle::fsBold) ? QxFmtBold : 0) |
                              (S.Contains(TFontStyle::fsItalic) ? QxFmtItalic : 0) |
                              (S.Contains(TFontStyle::fsUnderline) ? QxFmtUnderline : 0) |
                              (S.Contains(TFontStyle::fsStrikeOut) ? QxFmtStrikeOut : 0));
}

// ---- process-wide tables ------------------------------------------------------------------------

std::array<TQxTextShortcut, QxTextShortcutCount> QxTextShortcuts;
uint32_t QxTextMemoClipboardFormat = 0;

void QxFillTextShortcuts() {
  static const char kKeys[QxTextShortcutCount] = {'L', 'E', 'R', 'J', 'C', 'X', 'V', 'F', 'B', 'I', 'U', 'G'};
  for (int I = 0; I < QxTextShortcutCount; ++I) QxTextShortcuts[I] = {static_cast<uint16_t>(kKeys[I]), TShiftState{ssCtrl}};
}

void QxTextControlInit() { QxTextMemoClipboardFormat = RegisterClipboardFormat("QUILLOT TEXTMEMO"); }
void QxTextControlFinal() {}

namespace {
// The editor works before the vector unit's start step ran (tests, the drawing control); the
// start step fills the same defaults again.
const bool kShortcutsFilled = [] {
  QxFillTextShortcuts();
  QxRegisterStartStep(TQxStartStep::qxsTextControl, &QxTextControlInit, &QxTextControlFinal);
  return true;
}();

constexpr int kCut = 5, kCopy = 4, kPaste = 6;

TShiftState KeyShift(TShiftState S) {
  TShiftState R;
  for (TShiftStateItem I : {ssShift, ssAlt, ssCtrl})
    if (S.Contains(I)) R.Include(I);
  return R;
}

// One typed code point as a character of the 8-bit text; 0 when the code page lacks it.
char ToTextChar(const std::string& Utf8) {
  if (Utf8.size() == 1) return Utf8[0];
  std::string B = Utf8ToCodePage(Utf8);
  return B.size() == 1 && B[0] != '?' ? B[0] : 0;
}

std::string Utf8OfCode(uint32_t C) {
  std::string S;
  if (C < 0x80) {
    S += static_cast<char>(C);
  } else if (C < 0x800) {
    S += static_cast<char>(0xC0 | (C >> 6));
    S += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    S += static_cast<char>(0xE0 | (C >> 12));
    S += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    S += static_cast<char>(0x80 | (C & 0x3F));
  }
  return S;
}
}  // namespace

// ---- life cycle ---------------------------------------------------------------------------------

TQxTextControl::TQxTextControl(TComponent* AOwner)
    : TCustomControl(AOwner), OffscreenBitmap(std::make_unique<TBitmap>(1, 1, TPixelFormat::pf24bit)) {
  TControlStyle S = ControlStyle();
  S.Include(csOpaque);
  S.Include(csDoubleClicks);
  S.Include(csCaptureMouse);
  SetControlStyle(S);
  SetTabStop(true);
  DefaultFont.SetColor(clBlack);
  DefaultBrush.SetColor(clWhite);
  FillBrush.SetColor(clWhite);
  if (AOwner) SetCursor(crIBeam);
  ResetCaches(0, 0);
}

TQxTextControl::~TQxTextControl() = default;

void TQxTextControl::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.WindowClassStyle &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TQxTextControl::BeginEdit() {
  ClearSelection();
  CaretIndex = 0;
  // Anything after an embedded NUL is not part of the text.
  TextBuffer.resize(std::strlen(TextBuffer.c_str()));
  TextLength = static_cast<int32_t>(TextBuffer.size());
  if (static_cast<int32_t>(CharFormatIndexes.size()) != TextLength) CharFormatIndexes.resize(TextLength, 0);
  TQxCharFormat Def;
  QxSetCharFormatFontName(Def, DefaultFont.Name());
  Def.FontHeight = DefaultFont.Height();
  Def.FontStyle = QxCharFormatStyleBits(DefaultFont.Style());
  Def.FontColor = DefaultFont.Color();
  Def.BackColor = DefaultBrush.Color();
  Def.BrushStyle = static_cast<uint8_t>(DefaultBrush.Style());
  Def.Alignment = Alignment;
  if (CharFormats.empty() && TextLength > 0) {
    CharFormats.push_back(Def);
    CharFormats.back().UseCount = TextLength;
  }
  // Indexes come from stored memos: one that points nowhere falls back to the first format.
  const int32_t Count = static_cast<int32_t>(CharFormats.size());
  for (int32_t& I : CharFormatIndexes)
    if (I < 0 || I >= Count) I = 0;
  CacheHeight.clear();
  CacheWidth.clear();
  CacheLeading.clear();
  CacheDescent.clear();
  CacheX.clear();
  CacheY.clear();
  GrowCaches();
  ResetCaches(0, TextLength + 1);
  TypingFormat = Def;
  Invalidate();
}

void TQxTextControl::GrowCaches() {
  const size_t N = static_cast<size_t>(TextLength) + 1;
  CacheHeight.resize(N, 0);
  CacheWidth.resize(N, 0);
  CacheLeading.resize(N, 0);
  CacheDescent.resize(N, 0);
  CacheX.resize(N, -1);
  CacheY.resize(N, -1);
}

void TQxTextControl::PurgeUnusedFormats() {
  std::vector<int32_t> NewIndex(CharFormats.size(), 0);
  size_t Kept = 0;
  for (size_t I = 0; I < CharFormats.size(); ++I) {
    NewIndex[I] = static_cast<int32_t>(Kept);
    if (CharFormats[I].UseCount != 0) CharFormats[Kept++] = CharFormats[I];
  }
  CharFormats.resize(Kept);
  for (int32_t& I : CharFormatIndexes)
    if (I >= 0 && static_cast<size_t>(I) < NewIndex.size()) I = NewIndex[I];
}

void TQxTextControl::SetUniformFormat(bool Value) {
  UniformFormat = Value;
  UpdateView();
}

void TQxTextControl::UpdateView() {
  ResetCaches(0, TextLength + 1);
  Invalidate();
}

// ---- characters ---------------------------------------------------------------------------------

void TQxTextControl::ResetCaches(int32_t Index, int32_t Count) {
  GrowCaches();
  const int32_t Size = static_cast<int32_t>(CacheX.size());
  const int32_t From = std::clamp(Index, 0, Size), To = std::clamp(Index + std::max(Count, 0), From, Size);
  std::fill(CacheHeight.begin() + From, CacheHeight.begin() + To, 0);
  std::fill(CacheWidth.begin() + From, CacheWidth.begin() + To, 0);
  std::fill(CacheLeading.begin() + From, CacheLeading.begin() + To, 0);
  std::fill(CacheDescent.begin() + From, CacheDescent.begin() + To, 0);
  std::fill(CacheX.begin() + From, CacheX.begin() + To, -1);
  std::fill(CacheY.begin() + From, CacheY.begin() + To, -1);
}

int32_t TQxTextControl::FindFormat(const TQxCharFormat& Format) const {
  for (size_t I = 0; I < CharFormats.size(); ++I)
    if (QxSameCharFormat(CharFormats[I], Format)) return static_cast<int32_t>(I);
  return -1;
}

void TQxTextControl::SetCharFormat(int32_t Index, const TQxCharFormat& Format) {
  if (TextLength <= 0) return;
  Index = std::clamp(Index, 0, TextLength - 1);
  int32_t F = FindFormat(Format);
  if (F < 0) {
    CharFormats.push_back(Format);
    CharFormats.back().UseCount = 0;
    F = static_cast<int32_t>(CharFormats.size()) - 1;
  }
  ++CharFormats[F].UseCount;
  CharFormatIndexes[Index] = F;
}

void TQxTextControl::GetCharFormat(int32_t Index, TQxCharFormat& Format) const {
  if (TextLength <= 0 || CharFormats.empty()) return;
  Index = std::clamp(Index, 0, TextLength - 1);
  Format = CharFormats[CharFormatIndexes[Index]];
}

void TQxTextControl::InsertChar(char C) {
  CaretIndex = std::clamp(CaretIndex, 0, TextLength);
  TextBuffer.insert(TextBuffer.begin() + CaretIndex, C);
  CharFormatIndexes.insert(CharFormatIndexes.begin() + CaretIndex, 0);
  ++TextLength;
  SetCharFormat(CaretIndex, TypingFormat);
  CacheHeight.insert(CacheHeight.begin() + CaretIndex, 0);
  CacheWidth.insert(CacheWidth.begin() + CaretIndex, 0);
  CacheLeading.insert(CacheLeading.begin() + CaretIndex, 0);
  CacheDescent.insert(CacheDescent.begin() + CaretIndex, 0);
  CacheX.insert(CacheX.begin() + CaretIndex, -1);
  CacheY.insert(CacheY.begin() + CaretIndex, -1);
  ResetCaches(CaretIndex, TextLength + 1 - CaretIndex);
  ++CaretIndex;
}

int32_t TQxTextControl::DeleteChar(int32_t Index) {
  if (Index < 0 || Index >= TextLength) return Index;
  int32_t& Count = CharFormats[CharFormatIndexes[Index]].UseCount;
  if (Count > 0) --Count;
  TextBuffer.erase(TextBuffer.begin() + Index);
  CharFormatIndexes.erase(CharFormatIndexes.begin() + Index);
  CacheHeight.erase(CacheHeight.begin() + Index);
  CacheWidth.erase(CacheWidth.begin() + Index);
  CacheLeading.erase(CacheLeading.begin() + Index);
  CacheDescent.erase(CacheDescent.begin() + Index);
  CacheX.erase(CacheX.begin() + Index);
  CacheY.erase(CacheY.begin() + Index);
  --TextLength;
  ResetCaches(Index, TextLength + 1 - Index);
  return Index;
}

void TQxTextControl::DeleteSelection() {
  if (!HasSelection()) return;
  const int32_t From = std::clamp(SelStart, 0, TextLength), To = std::clamp(SelEnd, From, TextLength);
  // Closes the gap once instead of once per character; the use counts drop as one by one would.
  for (int32_t I = From; I < To; ++I) {
    int32_t& Count = CharFormats[CharFormatIndexes[I]].UseCount;
    if (Count > 0) --Count;
  }
  auto EraseRange = [&](auto& V) { V.erase(V.begin() + From, V.begin() + To); };
  EraseRange(TextBuffer);
  EraseRange(CharFormatIndexes);
  EraseRange(CacheHeight);
  EraseRange(CacheWidth);
  EraseRange(CacheLeading);
  EraseRange(CacheDescent);
  EraseRange(CacheX);
  EraseRange(CacheY);
  TextLength -= To - From;
  ResetCaches(From, TextLength + 1 - From);
  CaretIndex = SelStart;
  ClearSelection();
  CaretIndex = std::clamp(CaretIndex, 0, TextLength);
}

void TQxTextControl::ClearSelection() { SelStart = SelEnd = 0; }

void TQxTextControl::ExtendSelection(int32_t OldCaret, TShiftState Shift) {
  if (!Shift.Contains(ssShift)) {
    ClearSelection();
    return;
  }
  if (SelEnd == 0) {
    SelStart = OldCaret;
    SelEnd = CaretIndex;
  } else if (OldCaret < CaretIndex) {
    if (SelEnd < CaretIndex)
      SelEnd = CaretIndex;
    else
      SelStart = CaretIndex;
  } else {
    if (CaretIndex < SelStart)
      SelStart = CaretIndex;
    else
      SelEnd = CaretIndex;
  }
  if (SelEnd < SelStart) std::swap(SelStart, SelEnd);
}

void TQxTextControl::DoCursorMoved() {
  if (OnCursorMoved) OnCursorMoved(this);
}

// ---- caret moves --------------------------------------------------------------------------------

namespace {
// The character at I as an unsigned code; the terminating NUL (and anything outside) is 0.
inline int CodeAt(const std::string& T, int32_t I) {
  return I >= 0 && static_cast<size_t>(I) < T.size() ? static_cast<uint8_t>(T[I]) : 0;
}
}  // namespace

void TQxTextControl::CaretToLineStart() {
  int32_t C = CaretIndex;
  while (C > 0 && CacheY[C] >= CaretY) --C;
  if (C > 0) ++C;
  CaretIndex = C;
}

void TQxTextControl::CaretToLineEnd() {
  int32_t C = CaretIndex;
  while (C < TextLength && CacheY[C] == CaretY) ++C;
  if (C < TextLength) --C;
  CaretIndex = C;
}

void TQxTextControl::CaretWordLeft() {
  int32_t C = CaretIndex - 1;
  while (C > 1 && CodeAt(TextBuffer, C) < 33) --C;
  while (C > 0 && CodeAt(TextBuffer, C) > 32) --C;
  if (CodeAt(TextBuffer, C) <= 32) ++C;
  CaretIndex = std::clamp(C, 0, std::max(TextLength - 1, 0));
}

void TQxTextControl::CaretWordRight() {
  int32_t C = CaretIndex + 1;
  while (C < TextLength && CodeAt(TextBuffer, C) < 33) ++C;
  while (C < TextLength && CodeAt(TextBuffer, C) > 32) ++C;
  CaretIndex = std::clamp(C, 0, std::max(TextLength - 1, 0));
}

void TQxTextControl::CaretLineUp() {
  int32_t I = CaretIndex;
  while (I > 0 && CacheY[I] >= CaretY) --I;
  if (CacheY[I] == CacheY[CaretIndex]) return;
  int32_t C = I;
  while (C > 0 && CacheX[C] > CaretX) --C;
  if (C + 1 <= TextLength && CacheY[C + 1] == CacheY[C] && std::abs(CacheX[C + 1] - CaretX) < std::abs(CacheX[C] - CaretX)) ++C;
  if (CacheY[C] != CacheY[I]) C = I;
  CaretIndex = C;
}

void TQxTextControl::CaretLineDown() {
  int32_t I = CaretIndex;
  while (I < TextLength && CacheY[I] == CaretY) ++I;
  if (CacheY[I] == CacheY[CaretIndex]) return;
  int32_t C = I;
  while (C < TextLength && CacheX[C] < CaretX) ++C;
  if (C > 0 && CacheY[C - 1] == CacheY[C] && std::abs(CacheX[C - 1] - CaretX) < std::abs(CacheX[C] - CaretX)) --C;
  if (CacheY[C] != CacheY[I]) C = I;
  CaretIndex = C;
}

void TQxTextControl::CaretFromPoint(int32_t X, int32_t Y) {
  GrowCaches();
  int32_t C = 0;
  while (C < TextLength && Y > CacheY[C]) ++C;
  if (Y <= CacheY[C]) --C;
  while (C >= 0 && X < CacheX[C] - 1) --C;
  if (C < 0) C = 0;
  CaretIndex = C;
  GetCharFormat(CaretIndex - 1, TypingFormat);
}

// ---- format commands ----------------------------------------------------------------------------

void TQxTextControl::ChangeSelectedFormats(void (*Change)(TQxCharFormat&, const void*), const void* Arg, bool AlsoTyping) {
  if (HasSelection()) {
    const int32_t To = std::min(SelEnd, TextLength);
    for (int32_t I = std::max(SelStart, 0); I < To; ++I) {
      TQxCharFormat F;
      GetCharFormat(I, F);
      // The character leaves its old record, so that purging can drop records nobody uses.
      int32_t& Count = CharFormats[CharFormatIndexes[I]].UseCount;
      if (Count > 0) --Count;
      Change(F, Arg);
      SetCharFormat(I, F);
    }
    ResetCaches(SelStart, TextLength + 1 - SelStart);
  }
  if (AlsoTyping) Change(TypingFormat, Arg);
}

void TQxTextControl::GrowFont() {
  ChangeSelectedFormats(
      [](TQxCharFormat& F, const void*) {
        F.FontHeight = F.FontHeight < 0 ? F.FontHeight - 1 : F.FontHeight + 1;
        if (F.FontHeight == 0) F.FontHeight = 1;
      },
      nullptr, true);
}

void TQxTextControl::ShrinkFont() {
  ChangeSelectedFormats(
      [](TQxCharFormat& F, const void*) {
        F.FontHeight = F.FontHeight < 0 ? F.FontHeight + 1 : F.FontHeight - 1;
        if (F.FontHeight == 0) F.FontHeight = 1;
      },
      nullptr, true);
}

void TQxTextControl::ApplyFont(const TFont& Font) {
  ChangeSelectedFormats(
      [](TQxCharFormat& F, const void* A) {
        const TFont& Fn = *static_cast<const TFont*>(A);
        QxSetCharFormatFontName(F, Fn.Name());
        F.FontHeight = Fn.Height();
        F.FontStyle = QxCharFormatStyleBits(Fn.Style());
        F.FontColor = Fn.Color();
      },
      &Font, true);
}

void TQxTextControl::ApplyBackgroundColor(TColor Color) {
  ChangeSelectedFormats([](TQxCharFormat& F, const void* A) { F.BackColor = *static_cast<const TColor*>(A); }, &Color,
                        true);
}

void TQxTextControl::ToggleStyle(int Bit) {
  const uint8_t Mask = static_cast<uint8_t>(1u << Bit);
  if (!HasSelection()) {
    TypingFormat.FontStyle ^= Mask;
    return;
  }
  TQxCharFormat First;
  GetCharFormat(SelStart, First);
  const uint8_t Style = First.FontStyle ^ Mask;
  ChangeSelectedFormats([](TQxCharFormat& F, const void* A) { F.FontStyle = *static_cast<const uint8_t*>(A); }, &Style,
                        false);
}

void TQxTextControl::SetParagraphAlignment(uint8_t Value) {
  int32_t Start = CaretIndex - 1;
  while (Start >= 0 && TextBuffer[Start] != '\n') --Start;
  ++Start;
  int32_t End = std::max(Start, CaretIndex);
  while (End < TextLength && TextBuffer[End] != '\n') ++End;
  // The LF closing the paragraph carries its alignment to the line it ends.
  if (End < TextLength) ++End;
  for (int32_t I = Start; I < End; ++I) {
    TQxCharFormat F;
    GetCharFormat(I, F);
    int32_t& Count = CharFormats[CharFormatIndexes[I]].UseCount;
    if (Count > 0) --Count;
    F.Alignment = Value;
    SetCharFormat(I, F);
  }
  TypingFormat.Alignment = Value;
}

// ---- clipboard ----------------------------------------------------------------------------------

bool TQxTextControl::CopyToClipboard() {
  if (!HasSelection()) return false;
  const int32_t From = std::max(SelStart, 0), To = std::min(SelEnd, TextLength);
  if (To <= From) return false;
  if (!QxOpenClipboardRetry()) return false;
  EmptyClipboard();
  std::string Plain;
  Plain.reserve(static_cast<size_t>(To - From) * 2);
  for (int32_t I = From; I < To; ++I) {
    if (TextBuffer[I] == '\n') Plain += '\r';
    Plain += TextBuffer[I];
  }
  // Other programs read the platform's text as UTF-8.
  std::string Utf8 = CodePageToUtf8(Plain);
  std::vector<uint8_t> Text(Utf8.begin(), Utf8.end());
  Text.push_back(0);
  SetClipboardData(CF_TEXT, Text);
  std::vector<uint8_t> Memo(static_cast<size_t>(To - From) * (sizeof(TQxCharFormat) + 1) + 1);
  std::memcpy(Memo.data(), TextBuffer.data() + From, static_cast<size_t>(To - From));
  uint8_t* P = Memo.data() + (To - From) + 1;
  for (int32_t I = From; I < To; ++I, P += sizeof(TQxCharFormat)) {
    TQxCharFormat F;
    GetCharFormat(I, F);
    std::memcpy(P, &F, sizeof F);
  }
  SetClipboardData(QxTextMemoClipboardFormat, Memo);
  CloseClipboard();
  return true;
}

bool QxParseTextMemoClip(const std::vector<uint8_t>& Data, std::string& Text, std::vector<TQxCharFormat>& Formats) {
  Text.clear();
  Formats.clear();
  auto Nul = std::find(Data.begin(), Data.end(), uint8_t{0});
  if (Nul == Data.end()) return false;
  const size_t N = static_cast<size_t>(Nul - Data.begin());
  // Every character needs its record; a short block is not trusted for any of them.
  if ((Data.size() - N - 1) / sizeof(TQxCharFormat) < N) return false;
  Text.assign(Data.begin(), Nul);
  Formats.resize(N);
  for (size_t I = 0; I < N; ++I) std::memcpy(&Formats[I], Data.data() + N + 1 + I * sizeof(TQxCharFormat), sizeof(TQxCharFormat));
  return N > 0;
}

void TQxTextControl::PasteFromClipboard() { Paste(false); }

void TQxTextControl::Paste(bool ReplaceSelection) {
  if (!QxOpenClipboardRetry()) return;
  std::vector<uint8_t> Data;
  std::string Text;
  std::vector<TQxCharFormat> Formats;
  // The selection goes only once there is something to put in its place.
  const bool HasMemo = QxTextMemoClipboardFormat != 0 && IsClipboardFormatAvailable(QxTextMemoClipboardFormat) &&
                       GetClipboardData(QxTextMemoClipboardFormat, Data) && QxParseTextMemoClip(Data, Text, Formats);
  if (ReplaceSelection && (HasMemo || IsClipboardFormatAvailable(CF_TEXT))) DeleteSelection();
  if (HasMemo) {
    for (size_t I = 0; I < Text.size(); ++I) {
      TypingFormat = Formats[I];
      InsertChar(Text[I]);
    }
  } else if (IsClipboardFormatAvailable(CF_TEXT) && GetClipboardData(CF_TEXT, Data)) {
    auto Nul = std::find(Data.begin(), Data.end(), uint8_t{0});
    std::string Bytes = Utf8ToCodePage(std::string_view(reinterpret_cast<const char*>(Data.data()), Nul - Data.begin()));
    for (char C : Bytes)
      if (C != '\r' && C != 0) InsertChar(C);
  }
  CloseClipboard();
}

// ---- keys ---------------------------------------------------------------------------------------

void TQxTextControl::HandleKeyDown(uint16_t Key, TShiftState Shift) {
  const bool Ctrl = Shift.Contains(ssCtrl);
  const int32_t Old = CaretIndex;
  bool Move = false;
  switch (Key) {
    case VK_BACK:
      if (HasSelection()) {
        DeleteSelection();
        UpdateView();
      } else if (CaretIndex > 0) {
        --CaretIndex;
        DeleteChar(CaretIndex);
        UpdateView();
      }
      break;
    case VK_RETURN:
      InsertChar('\n');
      UpdateView();
      break;
    case VK_END:
      if (Ctrl)
        CaretIndex = TextLength;
      else
        CaretToLineEnd();
      Move = true;
      break;
    case VK_HOME:
      if (Ctrl)
        CaretIndex = 0;
      else
        CaretToLineStart();
      Move = true;
      break;
    case VK_LEFT:
      if (Ctrl)
        CaretWordLeft();
      else
        CaretIndex = std::max(CaretIndex - 1, 0);
      Move = true;
      break;
    case VK_RIGHT:
      if (Ctrl)
        CaretWordRight();
      else
        CaretIndex = std::min(CaretIndex + 1, TextLength);
      Move = true;
      break;
    case VK_UP:
      CaretLineUp();
      Move = true;
      break;
    case VK_DOWN:
      CaretLineDown();
      Move = true;
      break;
    case VK_INSERT: InsertMode = !InsertMode; break;
    case VK_DELETE:
      if (HasSelection())
        DeleteSelection();
      else
        DeleteChar(CaretIndex);
      UpdateView();
      break;
    case VK_F1:
      if (Shift.Contains(ssShift)) {
        ShrinkFont();
        UpdateView();
      }
      break;
    case VK_F2:
      if (Shift.Contains(ssShift)) {
        GrowFont();
        UpdateView();
      }
      break;
  }
  if (Move && CaretIndex != Old) {
    GetCharFormat(CaretIndex - 1, TypingFormat);
    ExtendSelection(Old, Shift);
    UpdateView();
  }

  const TShiftState S = KeyShift(Shift);
  for (int E = 0; E < QxTextShortcutCount; ++E) {
    if (QxTextShortcuts[E].Key != Key || KeyShift(QxTextShortcuts[E].Shift) != S) continue;
    switch (E) {
      case 0: SetParagraphAlignment(0); break;
      case 1: SetParagraphAlignment(2); break;
      case 2: SetParagraphAlignment(1); break;
      case 3: SetParagraphAlignment(3); break;
      case kCopy: CopyToClipboard(); break;
      case kCut:
        // A cut whose copy did not reach the clipboard would lose the text.
        if (CopyToClipboard()) DeleteSelection();
        break;
      case kPaste: Paste(true); break;
      case 7:
        if (!UniformFormat) RunFontDialog();
        break;
      case 8: ToggleStyle(0); break;
      case 9: ToggleStyle(1); break;
      case 10: ToggleStyle(2); break;
      case 11:
        if (!UniformFormat) RunColorDialog();
        break;
    }
    if (E != kCopy) UpdateView();
    break;
  }
}

void TQxTextControl::HandleChar(char C) {
  const uint8_t Code = static_cast<uint8_t>(C);
  if (Code >= 32 && Code != 127) {
    DeleteSelection();
    if (!InsertMode) DeleteChar(CaretIndex);
    InsertChar(C);
  }
  Invalidate();
  Update();
}

void TQxTextControl::RunFontDialog() {
  TQxFontDialog D(nullptr);
  D.Font().SetName(QxCharFormatFontName(TypingFormat));
  D.Font().SetHeight(TypingFormat.FontHeight);
  D.Font().SetStyle(QxCharFormatStyles(TypingFormat.FontStyle));
  D.Font().SetColor(TypingFormat.FontColor);
  if (D.Execute()) ApplyFont(D.Font());
}

void TQxTextControl::RunColorDialog() {
  TColorDialog D(nullptr);
  D.SetColor(TypingFormat.BackColor);
  if (D.Execute()) ApplyBackgroundColor(D.Color());
}

void TQxTextControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  HandleKeyDown(Key, Shift);
  TCustomControl::KeyDown(Key, Shift);
}

void TQxTextControl::KeyPress(std::string& Key) {
  TCustomControl::KeyPress(Key);
  if (Key.empty()) return;
  if (char C = ToTextChar(Key))
    HandleChar(C);
  else
    HandleChar('\0');
}

// ---- mouse --------------------------------------------------------------------------------------

void TQxTextControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (!Focused() && CanFocus()) SetFocus();
  if (Button != TMouseButton::mbLeft) return;
  if (Shift.Contains(ssShift)) {
    CaretFromPoint(PressX, PressY);
    const int32_t Remembered = CaretIndex;
    CaretFromPoint(X, Y);
    if (CaretIndex != Remembered) {
      ExtendSelection(Remembered, TShiftState{ssShift});
      UpdateView();
    }
    PressX = X;
    PressY = Y;
  } else {
    PressX = X;
    PressY = Y;
    ClearSelection();
    CaretFromPoint(X, Y);
  }
  UpdateView();
  DoCursorMoved();
}

void TQxTextControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!MouseCapture()) return;
  ClearSelection();
  CaretFromPoint(PressX, PressY);
  const int32_t Remembered = CaretIndex;
  CaretFromPoint(X, Y);
  if (CaretIndex != Remembered) {
    ExtendSelection(Remembered, TShiftState{ssShift});
    UpdateView();
  }
  DoCursorMoved();
}

void TQxTextControl::WordSelect() {
  if (TextLength == 0) return;
  ClearSelection();
  CaretWordLeft();
  const int32_t From = CaretIndex;
  CaretWordRight();
  int32_t C = CaretIndex;
  while (C > 0 && CodeAt(TextBuffer, C) <= 32) --C;
  GetCharFormat(C, TypingFormat);
  CaretIndex = std::min(C + 1, TextLength);
  SelStart = From;
  SelEnd = CaretIndex;
  UpdateView();
}

// ---- messages -----------------------------------------------------------------------------------

void TQxTextControl::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_SIZE:
      TCustomControl::Dispatch(M);
      UpdateView();
      return;
    case WM_ERASEBKGND: M.Result = 0; return;
    case CM_WANTSPECIALKEY: {
      TCustomControl::Dispatch(M);
      uint16_t Key = static_cast<uint16_t>(M.WParam);
      if (Key == VK_TAB || (Key >= 33 && Key <= 40)) {
        M.Result = 1;
        TCustomControl::KeyUp(Key, KeyDataToShiftState(M.LParam));
      }
      return;
    }
    case CN_CHAR: {
      std::string Key = Utf8OfCode(static_cast<uint32_t>(M.WParam));
      KeyPress(Key);
      M.Result = 1;
      return;
    }
    case WM_SETFOCUS:
      // The caret is made by painting.
      TCustomControl::Dispatch(M);
      Invalidate();
      return;
    case WM_KILLFOCUS:
      TCustomControl::Dispatch(M);
      if (FCaretShown) {
        HideCaret(Handle());
        DestroyCaret();
        FCaretShown = false;
      }
      return;
    case WM_LBUTTONDBLCLK: WordSelect(); return;
    case WM_CUT:
    case WM_COPY:
    case WM_PASTE: {
      const TQxTextShortcut& S = QxTextShortcuts[M.Msg == WM_CUT ? kCut : M.Msg == WM_COPY ? kCopy : kPaste];
      uint16_t Key = S.Key;
      KeyDown(Key, S.Shift);
      return;
    }
  }
  TCustomControl::Dispatch(M);
}

// ---- the single-line editor ---------------------------------------------------------------------

void TQxEdit::Dispatch(TMessage& M) {
  if (M.Msg == CM_WANTSPECIALKEY) {
    TEdit::Dispatch(M);
    uint16_t Key = static_cast<uint16_t>(M.WParam);
    if (Key == VK_TAB || (Key >= 33 && Key <= 40)) {
      M.Result = 1;
      KeyUp(Key, KeyDataToShiftState(M.LParam));
    }
    return;
  }
  TEdit::Dispatch(M);
}

void TQxEdit::KeyPress(std::string& Key) {
  if (Key == "\t") {
    Key.clear();
    return;
  }
  TEdit::KeyPress(Key);
}
