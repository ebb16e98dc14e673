// TCustomEdit: a single-line edit with caret, selection, clipboard and one-level undo.
#include "platform/ui/std_ctrls.h"

#include <algorithm>

#include "platform/ui/clipboard.h"
#include "platform/ui/forms.h"

namespace {
std::u32string ToU32(const std::string& s) {
  std::u32string r;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    size_t n;
    if (c < 0x80) cp = c, n = 1;
    else if ((c & 0xE0) == 0xC0) cp = c & 0x1F, n = 2;
    else if ((c & 0xF0) == 0xE0) cp = c & 0x0F, n = 3;
    else cp = c & 0x07, n = 4;
    if (i + n > s.size()) break;  // a cut sequence at the end is dropped
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    r += cp;
    i += n;
  }
  return r;
}

std::string ToU8(const std::u32string& s) {
  std::string r;
  for (char32_t cp : s) {
    if (cp < 0x80) {
      r += static_cast<char>(cp);
    } else if (cp < 0x800) {
      r += static_cast<char>(0xC0 | (cp >> 6));
      r += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      r += static_cast<char>(0xE0 | (cp >> 12));
      r += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      r += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      r += static_cast<char>(0xF0 | (cp >> 18));
      r += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      r += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      r += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return r;
}

bool IsWordChar(char32_t c) { return c > 0x7F || std::isalnum(static_cast<int>(c)) || c == '_'; }
constexpr int32_t kPad = 2;
}  // namespace

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = TControlStyle{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  SetTabStop(true);
  SetColor(clWindow);
  SetCursor(crIBeam);
  SetBounds(Left(), Top(), 121, 21);
}

TCustomEdit::~TCustomEdit() = default;

void TCustomEdit::CreateParams(TCreateParams& P) {
  TWinControl::CreateParams(P);
  if (FBorderStyle == TBorderStyle::bsSingle) {
    if (Ctl3D()) P.ExStyle |= WS_EX_CLIENTEDGE;
    else P.Style |= WS_BORDER;
  }
}

void TCustomEdit::SetBorderStyle(TBorderStyle v) {
  if (v == FBorderStyle) return;
  FBorderStyle = v;
  RecreateWnd();
}

int32_t TCustomEdit::GetTextLen() const { return static_cast<int32_t>(ToU32(Text()).size()); }

void TCustomEdit::SetText(const std::string& Value) {
  if (Value == Text()) return;
  TWinControl::SetText(Value);
  int32_t n = GetTextLen();
  FSelStart = std::min(FSelStart, n);
  FSelLength = 0;
  FAnchor = FSelStart;
  FCanUndo = false;
  Change();
}

void TCustomEdit::Change() {
  Invalidate();
  if (OnChange) OnChange(this);
}

void TCustomEdit::SetSelStart(int32_t Value) {
  FSelStart = std::clamp(Value, 0, GetTextLen());
  FSelLength = 0;
  FAnchor = FSelStart;
  EnsureCaretVisible();
  Invalidate();
}

void TCustomEdit::SetSelLength(int32_t Value) {
  FSelLength = std::clamp(Value, -FSelStart, GetTextLen() - FSelStart);
  if (FSelLength < 0) {
    FSelStart += FSelLength;
    FSelLength = -FSelLength;
  }
  FAnchor = FSelStart;
  Invalidate();
}

std::string TCustomEdit::SelText() const {
  std::u32string t = ToU32(Text());
  return ToU8(t.substr(static_cast<size_t>(FSelStart), static_cast<size_t>(FSelLength)));
}

void TCustomEdit::SetSelText(const std::string& Value) { ReplaceSelection(Value); }

void TCustomEdit::SelectAll() {
  FSelStart = 0;
  FSelLength = GetTextLen();
  FAnchor = 0;
  Invalidate();
}

void TCustomEdit::ClearSelection() {
  if (FSelLength > 0) ReplaceSelection("");
}

void TCustomEdit::CopyToClipboard() {
  if (FSelLength > 0) Clipboard()->SetAsText(SelText());
}

void TCustomEdit::CutToClipboard() {
  if (FSelLength == 0 || FReadOnly) return;
  CopyToClipboard();
  ReplaceSelection("");
}

void TCustomEdit::PasteFromClipboard() {
  if (FReadOnly) return;
  std::string t = Clipboard()->AsText();
  // One line only: the paste stops at the first line break.
  size_t nl = t.find_first_of("\r\n");
  if (nl != std::string::npos) t.resize(nl);
  ReplaceSelection(t);
}

void TCustomEdit::Undo() {
  if (!FCanUndo) return;
  std::string cur = Text();
  int32_t curSel = FSelStart;
  TWinControl::SetText(FUndoText);
  FSelStart = std::min(FUndoSelStart, GetTextLen());
  FSelLength = 0;
  FAnchor = FSelStart;
  // Undo of an undo redoes: one level, swapped.
  FUndoText = cur;
  FUndoSelStart = curSel;
  FModified = true;
  Change();
}

void TCustomEdit::ReplaceSelection(const std::string& Text, bool KeepUndo) {
  std::u32string t = ToU32(this->Text());
  std::u32string ins = ToU32(Text);
  if (FCharCase == TEditCharCase::ecUpperCase)
    for (auto& c : ins) c = c < 0x80 ? static_cast<char32_t>(std::toupper(static_cast<int>(c))) : c;
  if (FCharCase == TEditCharCase::ecLowerCase)
    for (auto& c : ins) c = c < 0x80 ? static_cast<char32_t>(std::tolower(static_cast<int>(c))) : c;
  if (FMaxLength > 0) {
    int64_t room = int64_t(FMaxLength) - (int64_t(t.size()) - FSelLength);
    if (room < int64_t(ins.size())) ins.resize(static_cast<size_t>(std::max<int64_t>(0, room)));
  }
  if (ins.empty() && FSelLength == 0) return;
  if (KeepUndo) {
    FUndoText = this->Text();
    FUndoSelStart = FSelStart;
    FCanUndo = true;
  }
  t.replace(static_cast<size_t>(FSelStart), static_cast<size_t>(FSelLength), ins);
  TWinControl::SetText(ToU8(t));
  FSelStart += static_cast<int32_t>(ins.size());
  FSelLength = 0;
  FAnchor = FSelStart;
  FModified = true;
  EnsureCaretVisible();
  Change();
}

void TCustomEdit::SetMargins(int32_t Left, int32_t Right) {
  FLeftMargin = std::max(0, Left);
  FRightMargin = std::max(0, Right);
  EnsureCaretVisible();
  Invalidate();
}

void TCustomEdit::SetRightAligned(bool Value) {
  if (FRightAligned == Value) return;
  FRightAligned = Value;
  FScrollX = 0;
  Invalidate();
}

int32_t TCustomEdit::TextOriginX() const {
  if (FRightAligned) {
    TCanvas* c = const_cast<TCustomEdit*>(this)->ControlCanvas();
    c->Font()->Assign(*Font());
    int32_t room = ClientWidth() - FRightMargin - FLeftMargin - 2 * kPad;
    int32_t w = c->TextWidth(Text());
    if (w <= room) return ClientWidth() - FRightMargin - kPad - w;
  }
  return FLeftMargin + kPad - FScrollX;
}

int32_t TCustomEdit::CaretX() const {
  TCanvas* c = const_cast<TCustomEdit*>(this)->ControlCanvas();
  c->Font()->Assign(*Font());
  std::u32string t = ToU32(Text());
  int32_t pos = FSelLength > 0 && FAnchor == FSelStart ? FSelStart + FSelLength : FSelStart;
  return TextOriginX() + c->TextWidth(ToU8(t.substr(0, static_cast<size_t>(pos))));
}

int32_t TCustomEdit::CharAtX(int32_t X) const {
  TCanvas* c = const_cast<TCustomEdit*>(this)->ControlCanvas();
  c->Font()->Assign(*Font());
  std::u32string t = ToU32(Text());
  int32_t x = X - TextOriginX();
  int32_t prev = 0;
  for (size_t i = 1; i <= t.size(); ++i) {
    int32_t w = c->TextWidth(ToU8(t.substr(0, i)));
    if (x < (prev + w) / 2) return static_cast<int32_t>(i - 1);
    prev = w;
  }
  return static_cast<int32_t>(t.size());
}

void TCustomEdit::EnsureCaretVisible() {
  int32_t x = CaretX();
  int32_t lo = FLeftMargin + kPad, hi = ClientWidth() - FRightMargin - kPad;
  if (x < lo) FScrollX -= lo - x;
  else if (x > hi) FScrollX += x - hi;
  if (FScrollX < 0) FScrollX = 0;
}

void TCustomEdit::MoveCaret(int32_t Pos, bool Extend) {
  Pos = std::clamp(Pos, 0, GetTextLen());
  if (Extend) {
    FSelStart = std::min(FAnchor, Pos);
    FSelLength = std::abs(Pos - FAnchor);
  } else {
    FSelStart = Pos;
    FSelLength = 0;
    FAnchor = Pos;
  }
  EnsureCaretVisible();
  Invalidate();
}

void TCustomEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TWinControl::KeyDown(Key, Shift);
  if (Key == 0) return;
  bool ext = Shift.Contains(ssShift), ctrl = Shift.Contains(ssCtrl);
  int32_t caret = FSelLength > 0 && FAnchor == FSelStart ? FSelStart + FSelLength : FSelStart;
  std::u32string t = ToU32(Text());
  auto wordLeft = [&](int32_t p) {
    while (p > 0 && !IsWordChar(t[static_cast<size_t>(p - 1)])) --p;
    while (p > 0 && IsWordChar(t[static_cast<size_t>(p - 1)])) --p;
    return p;
  };
  auto wordRight = [&](int32_t p) {
    int32_t n = static_cast<int32_t>(t.size());
    while (p < n && IsWordChar(t[static_cast<size_t>(p)])) ++p;
    while (p < n && !IsWordChar(t[static_cast<size_t>(p)])) ++p;
    return p;
  };
  switch (Key) {
    case VK_LEFT:
      if (!ext && FSelLength > 0) MoveCaret(FSelStart, false);
      else MoveCaret(ctrl ? wordLeft(caret) : caret - 1, ext);
      break;
    case VK_RIGHT:
      if (!ext && FSelLength > 0) MoveCaret(FSelStart + FSelLength, false);
      else MoveCaret(ctrl ? wordRight(caret) : caret + 1, ext);
      break;
    case VK_HOME: MoveCaret(0, ext); break;
    case VK_END: MoveCaret(GetTextLen(), ext); break;
    case VK_DELETE:
      if (FReadOnly) break;
      if (ext) {
        CutToClipboard();
      } else if (FSelLength == 0 && caret < GetTextLen()) {
        FSelStart = caret;
        FSelLength = 1;
        ReplaceSelection("");
      } else {
        ReplaceSelection("");
      }
      break;
    case VK_INSERT:
      if (ctrl) CopyToClipboard();
      else if (ext) PasteFromClipboard();
      break;
    case 'A':
    case 'C':
    case 'V':
    case 'X':
    case 'Z':
      if (!ctrl || Shift.Contains(ssAlt)) return;
      if (Key == 'A') SelectAll();
      else if (Key == 'C') CopyToClipboard();
      else if (Key == 'V') PasteFromClipboard();
      else if (Key == 'X') CutToClipboard();
      else Undo();
      break;
    default: return;
  }
  Key = 0;
}

void TCustomEdit::KeyPress(std::string& Key) {
  TWinControl::KeyPress(Key);
  if (Key.empty()) return;
  unsigned char c = static_cast<unsigned char>(Key[0]);
  switch (c) {
    case 1: SelectAll(); break;             // Ctrl+A
    case 3: CopyToClipboard(); break;       // Ctrl+C
    case 22: PasteFromClipboard(); break;   // Ctrl+V
    case 24: CutToClipboard(); break;       // Ctrl+X
    case 26: Undo(); break;                 // Ctrl+Z
    case 8:
      if (FReadOnly) break;
      if (FSelLength == 0 && FSelStart > 0) {
        --FSelStart;
        FSelLength = 1;
      }
      ReplaceSelection("");
      break;
    default:
      if (c < 32 || FReadOnly) return;
      ReplaceSelection(Key);
      break;
  }
  Key.clear();
}

void TCustomEdit::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TWinControl::MouseDown(Button, Shift, X, Y);
  if (Button != TMouseButton::mbLeft) return;
  if (Shift.Contains(ssDouble)) {
    std::u32string t = ToU32(Text());
    int32_t p = CharAtX(X), a = p, b = p;
    while (a > 0 && IsWordChar(t[static_cast<size_t>(a - 1)])) --a;
    while (b < static_cast<int32_t>(t.size()) && IsWordChar(t[static_cast<size_t>(b)])) ++b;
    FSelStart = a;
    FSelLength = b - a;
    FAnchor = a;
    Invalidate();
    return;
  }
  MoveCaret(CharAtX(X), Shift.Contains(ssShift));
}

void TCustomEdit::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TWinControl::MouseMove(Shift, X, Y);
  if (Shift.Contains(ssLeft) && MouseCapture()) MoveCaret(CharAtX(X), true);
}

void TCustomEdit::DoEnter() {
  if (FAutoSelect && !ControlState().Contains(csLButtonDown)) SelectAll();
  TWinControl::DoEnter();
}

void TCustomEdit::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL; return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TWinControl::Dispatch(M);
      Invalidate();
      return;
    case WM_CUT: CutToClipboard(); return;
    case WM_COPY: CopyToClipboard(); return;
    case WM_PASTE: PasteFromClipboard(); return;
    case WM_CLEAR: ClearSelection(); return;
    case WM_UNDO: Undo(); M.Result = 1; return;
    default: TWinControl::Dispatch(M); return;
  }
}

void TCustomEdit::PaintWindow(HDC DC) {
  TRect r = ClientRect();
  TBrush b;
  b.SetColor(FaceColor());
  FillRect(DC, r, b);
  DC->Font()->Assign(*Font());
  std::u32string t = ToU32(Text());
  int32_t th = DC->TextHeight("Wg");
  int32_t y = (r.Height() - th) / 2;
  int32_t x0 = TextOriginX();
  // The margins stay blank: other parts of a composed edit lie there.
  int saved = SaveDC(DC);
  IntersectClipRect(DC, FLeftMargin, 0, r.Right - FRightMargin, r.Bottom);
  SetBkMode(DC, TRANSPARENT);
  bool showSel = FSelLength > 0 && (Focused() || !FHideSelection);
  int32_t a = FSelStart, e = FSelStart + FSelLength;
  std::string before = ToU8(t.substr(0, static_cast<size_t>(showSel ? a : t.size())));
  SetTextColor(DC, Enabled() ? Font()->Color() : clGrayText);
  TextOut(DC, x0, y, before);
  if (showSel) {
    std::string sel = ToU8(t.substr(static_cast<size_t>(a), static_cast<size_t>(e - a)));
    std::string after = ToU8(t.substr(static_cast<size_t>(e)));
    int32_t xs = x0 + DC->TextWidth(before);
    int32_t xe = xs + DC->TextWidth(sel);
    TBrush hb;
    hb.SetColor(clHighlight);
    FillRect(DC, Rect(xs, y, xe, y + th), hb);
    SetTextColor(DC, clHighlightText);
    TextOut(DC, xs, y, sel);
    SetTextColor(DC, Enabled() ? Font()->Color() : clGrayText);
    TextOut(DC, xe, y, after);
  }
  if (Focused()) {
    int32_t cx = CaretX();
    TRect caret = Rect(cx, y, cx + 1, y + th);
    InvertRect(DC, caret);
  }
  RestoreDC(DC, saved);
}
