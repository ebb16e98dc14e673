// Message boxes, the colour dialog and the file chooser.
#include "platform/ui/dialogs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/ui/item_list.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_ctrls.h"
#include "platform/ui/ui_internal.h"

std::function<int32_t(const std::string&, const std::string&, uint32_t)> MessageBoxHook;

namespace {

// A push button for the layer's own dialogs.
class TDlgButton : public TCustomControl {
 public:
  explicit TDlgButton(TComponent* AOwner) : TCustomControl(AOwner) {
    SetTabStop(true);
    SetBounds(0, 0, 75, 23);
    SetColor(clBtnFace);
  }
  std::string ClassName() const override { return "TDlgButton"; }
  TModalResult ModalResult = mrNone;
  bool Default = false;
  bool Cancel = false;
  // A tool button (the parent folder's) leaves the keyboard where it was.
  bool TakesFocus = true;
  bool FocusOnClick() const override { return TakesFocus; }

  void Click() override {
    TCustomControl::Click();
    if (ModalResult != mrNone)
      if (TCustomForm* f = GetParentForm(this)) f->SetModalResult(ModalResult);
  }

 protected:
  bool Active() const {
    if (Focused()) return true;
    return Default && !dynamic_cast<TDlgButton*>(TUiCore::Focus);
  }
  void Paint() override {
    TCanvas* c = Canvas();
    TRect r = ClientRect();
    bool down = FDown && MouseCapture();
    if (Active()) {
      TBrush frame;
      frame.SetColor(clWindowFrame);
      FrameRect(c, r, frame);
      InflateRect(r, -1, -1);
    }
    DrawButtonFace(c, r, down, Enabled());
    c->Font()->Assign(*Font());
    SetBkMode(c, TRANSPARENT);
    SetTextColor(c, Enabled() ? clBtnText : clGrayText);
    TRect tr = r;
    if (down) OffsetRect(tr, 1, 1);
    DrawText(c, Caption(), tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (Focused()) {
      TRect fr = r;
      InflateRect(fr, -3, -3);
      DrawFocusRect(c, fr);
    }
  }
  void MouseDown(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    if (B == TMouseButton::mbLeft) {
      FDown = true;
      Invalidate();
    }
    TCustomControl::MouseDown(B, S, X, Y);
  }
  void MouseUp(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    FDown = false;
    Invalidate();
    TCustomControl::MouseUp(B, S, X, Y);
  }
  void KeyDown(uint16_t& Key, TShiftState Shift) override {
    TCustomControl::KeyDown(Key, Shift);
    if (Key == VK_SPACE) {
      Key = 0;
      Click();
    }
  }
  void Dispatch(TMessage& M) override {
    switch (M.Msg) {
      case WM_GETDLGCODE:
        M.Result = DLGC_BUTTON | (Active() ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        return;
      case CM_DIALOGKEY:
        if (((M.WParam == VK_RETURN && Active()) || (M.WParam == VK_ESCAPE && Cancel)) && CanFocus()) {
          Click();
          M.Result = 1;
          return;
        }
        break;
      case CM_DIALOGCHAR:
        if (IsAccel(static_cast<uint32_t>(M.WParam), Caption()) && CanFocus()) {
          Click();
          M.Result = 1;
          return;
        }
        break;
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
      case CM_FOCUSCHANGED: Invalidate(); break;
    }
    TCustomControl::Dispatch(M);
  }

 private:
  bool FDown = false;
};

// ---- message box ----

struct TButtonSpec {
  const char* Caption;
  TModalResult Result;
};

class TMessageForm : public TForm {
 public:
  TMessageForm(const std::string& Text, const std::string& Title, uint32_t Icon, std::vector<TButtonSpec> Buttons,
               int32_t DefaultIndex)
      : TForm(nullptr), FText(Text), FIcon(Icon) {
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetCaption(Title);
    TCanvas* c = Canvas();
    c->Font()->Assign(*Font());
    TRect tr = Rect(0, 0, 360, 0);
    DrawText(c, FText, tr, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    int32_t iconW = FIcon ? 32 + 12 : 0;
    int32_t textW = std::max<int32_t>(tr.Width(), 60), textH = std::max<int32_t>(tr.Height(), FIcon ? 32 : 13);
    int32_t n = static_cast<int32_t>(Buttons.size());
    int32_t buttonsW = n * 75 + (n - 1) * 8;
    int32_t w = std::max(12 + iconW + textW + 12, buttonsW + 24);
    int32_t h = 12 + textH + 16 + 23 + 12;
    SetClientSize(w, h);
    FTextRect = Bounds(12 + iconW, 12, textW, textH);
    int32_t x = (w - buttonsW) / 2;
    bool hasCancel = false;
    for (auto& b : Buttons) hasCancel = hasCancel || b.Result == mrCancel;
    for (int32_t i = 0; i < n; ++i) {
      auto* b = new TDlgButton(this);
      b->SetParent(this);
      b->SetCaption(Buttons[static_cast<size_t>(i)].Caption);
      b->ModalResult = Buttons[static_cast<size_t>(i)].Result;
      b->SetBounds(x, h - 12 - 23, 75, 23);
      b->Default = i == DefaultIndex;
      // Escape answers Cancel, or the only button there is.
      b->Cancel = Buttons[static_cast<size_t>(i)].Result == mrCancel || (!hasCancel && n == 1);
      if (b->Default) SetActiveControl(b);
      x += 75 + 8;
    }
  }

 protected:
  void Paint() override {
    TCanvas* c = Canvas();
    c->Font()->Assign(*Font());
    SetBkMode(c, TRANSPARENT);
    SetTextColor(c, clWindowText);
    TRect tr = FTextRect;
    DrawText(c, FText, tr, DT_WORDBREAK | DT_NOPREFIX);
    if (!FIcon) return;
    TRect ir = Bounds(12, 12, 32, 32);
    TColor col = FIcon == MB_ICONERROR ? clRed : FIcon == MB_ICONWARNING ? clYellow : clBlue;
    c->Brush()->SetColor(col);
    c->Pen()->SetColor(clBlack);
    if (FIcon == MB_ICONWARNING) {
      TPoint tri[3] = {Point(28, 12), Point(43, 42), Point(13, 42)};
      c->Polygon(tri, 3);
    } else {
      c->Ellipse(ir.Left, ir.Top, ir.Right, ir.Bottom);
    }
    const char* glyph = FIcon == MB_ICONERROR ? "X" : FIcon == MB_ICONQUESTION ? "?" : FIcon == MB_ICONWARNING ? "!" : "i";
    SetTextColor(c, FIcon == MB_ICONWARNING ? clBlack : clWhite);
    TRect gr = ir;
    if (FIcon == MB_ICONWARNING) OffsetRect(gr, 0, 4);
    DrawText(c, glyph, gr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }

 private:
  std::string FText;
  uint32_t FIcon;
  TRect FTextRect;
};

int32_t RunMessageForm(const std::string& Text, const std::string& Title, uint32_t Icon, std::vector<TButtonSpec> B,
                       int32_t Def) {
  TMessageForm f(Text, Title, Icon, std::move(B), Def);
  return f.ShowModal();
}

int32_t IdOf(TModalResult R) {
  switch (R) {
    case mrOk: return IDOK;
    case mrCancel: return IDCANCEL;
    case mrAbort: return IDABORT;
    case mrRetry: return IDRETRY;
    case mrIgnore: return IDIGNORE;
    case mrYes: return IDYES;
    case mrNo: return IDNO;
    default: return IDCANCEL;
  }
}

}  // namespace

int32_t MessageBox(HWND, const std::string& Text, const std::string& Caption, uint32_t Flags) {
  if (MessageBoxHook) {
    int32_t r = MessageBoxHook(Text, Caption, Flags);
    if (r != 0) return r;
  }
  std::vector<TButtonSpec> b;
  switch (Flags & 0xF) {
    case MB_OKCANCEL: b = {{"OK", mrOk}, {"Cancel", mrCancel}}; break;
    case MB_ABORTRETRYIGNORE: b = {{"&Abort", mrAbort}, {"&Retry", mrRetry}, {"&Ignore", mrIgnore}}; break;
    case MB_YESNOCANCEL: b = {{"&Yes", mrYes}, {"&No", mrNo}, {"Cancel", mrCancel}}; break;
    case MB_YESNO: b = {{"&Yes", mrYes}, {"&No", mrNo}}; break;
    case MB_RETRYCANCEL: b = {{"&Retry", mrRetry}, {"Cancel", mrCancel}}; break;
    default: b = {{"OK", mrOk}}; break;
  }
  int32_t def = (Flags & MB_DEFBUTTON3) ? 2 : (Flags & MB_DEFBUTTON2) ? 1 : 0;
  def = std::min<int32_t>(def, static_cast<int32_t>(b.size()) - 1);
  TModalResult r = RunMessageForm(Text, Caption, Flags & 0xF0, std::move(b), def);
  return IdOf(r);
}

int32_t MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t) {
  static const char* kTitles[] = {"Warning", "Error", "Information", "Confirm", ""};
  static const uint32_t kIcons[] = {MB_ICONWARNING, MB_ICONERROR, MB_ICONINFORMATION, MB_ICONQUESTION, 0};
  static const TButtonSpec kSpecs[] = {{"&Yes", mrYes},       {"&No", mrNo},          {"OK", mrOk},
                                       {"Cancel", mrCancel},  {"&Abort", mrAbort},    {"&Retry", mrRetry},
                                       {"&Ignore", mrIgnore}, {"&All", mrAll},        {"N&o to All", mrNoToAll},
                                       {"Yes to &All", mrYesToAll}, {"&Help", mrNone}};
  std::string title = Application && !Application->Title().empty() && DlgType == TMsgDlgType::mtCustom
                          ? Application->Title()
                          : kTitles[static_cast<int>(DlgType)];
  uint32_t icon = kIcons[static_cast<int>(DlgType)];
  if (MessageBoxHook) {
    int32_t r = MessageBoxHook(Msg, title, icon);
    if (r != 0) return r;
  }
  std::vector<TButtonSpec> b;
  for (int i = 0; i <= static_cast<int>(TMsgDlgBtn::mbHelp); ++i)
    if (Buttons.Contains(static_cast<TMsgDlgBtn>(i))) b.push_back(kSpecs[i]);
  if (b.empty()) b.push_back({"OK", mrOk});
  int32_t def = 0;
  for (size_t i = 0; i < b.size(); ++i)
    if (b[i].Result == mrOk || b[i].Result == mrYes) {
      def = static_cast<int32_t>(i);
      break;
    }
  return RunMessageForm(Msg, title, icon, std::move(b), def);
}

void ShowMessage(const std::string& Msg) {
  MessageBox(0, Msg, Application && !Application->Title().empty() ? Application->Title() : "Message", MB_OK);
}

// ---- colour dialog --------------------------------------------------------------------------

namespace {
// 48 basic colours, eight to a row.
const TColor kBasic[48] = {
    0x8080FF, 0x80FFFF, 0x80FF80, 0x80FF00, 0xFFFF80, 0xFF8000, 0xC080FF, 0xFF80FF, 0x0000FF, 0x00FFFF, 0x00FF80,
    0x40FF00, 0xFFFF00, 0xC08000, 0xC08080, 0xFF00FF, 0x404080, 0x4080FF, 0x00FF00, 0x808000, 0x804000, 0xFF8080,
    0x400080, 0x8000FF, 0x000080, 0x0080FF, 0x008000, 0x408000, 0xFF0000, 0xA00000, 0x800080, 0xFF0080, 0x000040,
    0x004080, 0x004000, 0x404000, 0x800000, 0x400000, 0x400040, 0x800040, 0x000000, 0x008080, 0x408080, 0x808080,
    0x808040, 0xC0C0C0, 0x400040, 0xFFFFFF};

class TColorGrid : public TCustomControl {
 public:
  explicit TColorGrid(TComponent* O) : TCustomControl(O) {
    SetTabStop(true);
    SetBounds(8, 8, 8 * 24, 6 * 20);
  }
  int32_t Index = 0;
  TNotifyEvent OnChoose;

 protected:
  void Paint() override {
    TCanvas* c = Canvas();
    TBrush bg;
    bg.SetColor(clBtnFace);
    FillRect(c, ClientRect(), bg);
    for (int i = 0; i < 48; ++i) {
      TRect r = Cell(i);
      TRect e = r;
      InflateRect(e, -2, -2);
      DrawEdge(c, e, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
      TBrush b;
      b.SetColor(kBasic[i]);
      FillRect(c, e, b);
      if (i == Index) {
        TBrush f;
        f.SetColor(clBlack);
        FrameRect(c, r, f);
        if (Focused()) {
          TRect fr = r;
          InflateRect(fr, -1, -1);
          DrawFocusRect(c, fr);
        }
      }
    }
  }
  void KeyDown(uint16_t& Key, TShiftState S) override {
    TCustomControl::KeyDown(Key, S);
    int32_t i = Index;
    switch (Key) {
      case VK_LEFT: i = (i + 47) % 48; break;
      case VK_RIGHT: i = (i + 1) % 48; break;
      case VK_UP: i = (i + 40) % 48; break;
      case VK_DOWN: i = (i + 8) % 48; break;
      default: return;
    }
    Key = 0;
    Index = i;
    Invalidate();
    Click();
  }
  void MouseDown(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    TCustomControl::MouseDown(B, S, X, Y);
    for (int i = 0; i < 48; ++i)
      if (PtInRect(Cell(i), Point(X, Y))) {
        Index = i;
        Invalidate();
        Click();
        if (S.Contains(ssDouble) && OnChoose) OnChoose(this);
      }
  }
  void Dispatch(TMessage& M) override {
    if (M.Msg == WM_GETDLGCODE) {
      M.Result = DLGC_WANTARROWS;
      return;
    }
    if (M.Msg == WM_SETFOCUS || M.Msg == WM_KILLFOCUS) Invalidate();
    TCustomControl::Dispatch(M);
  }

 private:
  TRect Cell(int i) const { return Bounds((i % 8) * 24, (i / 8) * 20, 24, 20); }
};

class TColorForm : public TForm {
 public:
  explicit TColorForm(TColor Initial) : TForm(nullptr) {
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetCaption("Color");
    SetClientSize(8 * 24 + 16, 6 * 20 + 8 + 40 + 8 + 23 + 8);
    Grid = new TColorGrid(this);
    Grid->SetParent(this);
    for (int i = 0; i < 48; ++i)
      if (kBasic[i] == ColorToRGB(Initial)) Grid->Index = i;
    Chosen = ColorToRGB(Initial);
    Grid->OnClick = [this](TObject*) {
      Chosen = kBasic[Grid->Index];
      Invalidate();
    };
    Grid->OnChoose = [this](TObject*) { SetModalResult(mrOk); };
    auto* ok = new TDlgButton(this);
    ok->SetParent(this);
    ok->SetCaption("OK");
    ok->ModalResult = mrOk;
    ok->Default = true;
    ok->SetBounds(ClientWidth() - 8 - 75 - 8 - 75, ClientHeight() - 8 - 23, 75, 23);
    auto* cancel = new TDlgButton(this);
    cancel->SetParent(this);
    cancel->SetCaption("Cancel");
    cancel->ModalResult = mrCancel;
    cancel->Cancel = true;
    cancel->SetBounds(ClientWidth() - 8 - 75, ClientHeight() - 8 - 23, 75, 23);
    SetActiveControl(Grid);
  }
  TColorGrid* Grid;
  TColor Chosen;

 protected:
  void Paint() override {
    TBrush b;
    b.SetColor(Chosen);
    TRect r = Bounds(8, 8 + 6 * 20 + 8, 60, 40);
    DrawEdge(Canvas(), r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    FillRect(Canvas(), r, b);
  }
};
}  // namespace

TColorDialog::TColorDialog(TComponent* AOwner) : TComponent(AOwner) {}

bool TColorDialog::Execute() {
  TColorForm f(FColor);
  if (OnShow) OnShow(this);
  TModalResult r = f.ShowModal();
  if (OnClose) OnClose(this);
  if (r != mrOk) return false;
  FColor = f.Chosen;
  return true;
}

// ---- file chooser ---------------------------------------------------------------------------

namespace fs = std::filesystem;

namespace {
bool WildMatch(const char* p, const char* s) {
  while (*p) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      for (; *s; ++s)
        if (WildMatch(p, s)) return true;
      return false;
    }
    if (!*s) return false;
    if (*p != '?' && std::tolower(static_cast<unsigned char>(*p)) != std::tolower(static_cast<unsigned char>(*s)))
      return false;
    ++p;
    ++s;
  }
  return *s == 0;
}

TFileChooser* gActiveChooser = nullptr;
}  // namespace

class TFileChooserList : public TItemList {
 public:
  TFileChooserList(TComponent* O, TFileChooser* C) : TItemList(O), FChooser(C) { SetTabStop(true); }
  int32_t ItemCount() const override { return static_cast<int32_t>(FChooser->Entries().size()); }
  std::string ItemText(int32_t I) const override { return FChooser->Entries()[static_cast<size_t>(I)]; }
  int32_t Highlighted() const override { return FChooser->SelectedIndex(); }

 protected:
  void CreateParams(TCreateParams& P) override {
    TItemList::CreateParams(P);
    P.ExStyle |= WS_EX_CLIENTEDGE;
  }
  void MouseDown(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    TItemList::MouseDown(B, S, X, Y);
    int32_t i = ItemAt(Y);
    if (i < 0) return;
    FChooser->SelectIndex(i);
    if (S.Contains(ssDouble)) FChooser->Accept();
  }
  void Dispatch(TMessage& M) override {
    if (M.Msg == WM_GETDLGCODE) {
      M.Result = DLGC_WANTARROWS;
      return;
    }
    if (M.Msg == WM_SETFOCUS || M.Msg == WM_KILLFOCUS) Invalidate();
    TItemList::Dispatch(M);
  }

 private:
  TFileChooser* FChooser;
};

namespace {
// "Files of type": a box that drops its list down in a window of its own.
class TTypeBox : public TCustomControl {
 public:
  TTypeBox(TComponent* O, TFileChooser* C) : TCustomControl(O), FChooser(C) {
    SetTabStop(true);
    SetColor(clWindow);
  }
  ~TTypeBox() override {
    if (FList) {
      FList->OnCloseUp = nullptr;
      FList->CloseUp();
      delete FList;
    }
  }
  std::vector<std::string> Items;
  bool DroppedDown() const { return FList && FList->IsOpen(); }
  void SetDroppedDown(bool Value) {
    if (Value == DroppedDown() || (Value && (Items.empty() || !Showing()))) return;
    if (!Value) {
      FList->CloseUp();
      return;
    }
    if (!FList) {
      FList = new TDropDownList();
      FList->OnPick = [this](int32_t I) { FChooser->SetTypeIndex(I + 1); };
      FList->OnCloseUp = [this] { Invalidate(); };
    }
    FList->Open(this, Items, FChooser->TypeIndex() - 1);
    Invalidate();
  }

 protected:
  void CreateParams(TCreateParams& P) override {
    TCustomControl::CreateParams(P);
    P.ExStyle |= WS_EX_CLIENTEDGE;
  }
  void Paint() override {
    TCanvas* c = Canvas();
    TRect box = ClientRect();
    TRect btn = Rect(box.Right - 16, box.Top, box.Right, box.Bottom);
    TRect txt = Rect(box.Left, box.Top, btn.Left, box.Bottom);
    bool focus = Focused() && !DroppedDown();
    TBrush bg;
    bg.SetColor(clWindow);
    FillRect(c, box, bg);
    if (focus) {
      TRect hr = txt;
      InflateRect(hr, -1, -1);
      TBrush hb;
      hb.SetColor(clHighlight);
      FillRect(c, hr, hb);
    }
    TBrush face;
    face.SetColor(clBtnFace);
    FillRect(c, btn, face);
    TRect be = btn;
    DrawEdge(c, be, DroppedDown() ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    int32_t cx = (btn.Left + btn.Right) / 2, cy = (btn.Top + btn.Bottom) / 2 - 1;
    c->Pen()->SetColor(clBtnText);
    for (int32_t i = 0; i < 4; ++i) {
      c->MoveTo(cx - 3 + i, cy + i);
      c->LineTo(cx + 4 - i, cy + i);
    }
    c->Font()->Assign(*Font());
    SetBkMode(c, TRANSPARENT);
    SetTextColor(c, focus ? clHighlightText : clWindowText);
    int32_t i = FChooser->TypeIndex() - 1;
    if (i >= 0 && i < static_cast<int32_t>(Items.size())) {
      txt.Left += 3;
      DrawText(c, Items[static_cast<size_t>(i)], txt,
               DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
  }
  void KeyDown(uint16_t& Key, TShiftState S) override {
    TCustomControl::KeyDown(Key, S);
    int32_t n = static_cast<int32_t>(Items.size());
    if (n == 0 || Key == 0) return;
    if ((Key == VK_DOWN && S.Contains(ssAlt)) || Key == VK_F4) {
      SetDroppedDown(true);
      Key = 0;
    } else if (Key == VK_DOWN || Key == VK_UP) {
      int32_t i = FChooser->TypeIndex() + (Key == VK_DOWN ? 1 : -1);
      FChooser->SetTypeIndex(std::clamp(i, 1, n));
      Key = 0;
    }
  }
  void MouseDown(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    TCustomControl::MouseDown(B, S, X, Y);
    if (CanFocus() && !Focused()) SetFocus();
    if (B == TMouseButton::mbLeft) SetDroppedDown(!DroppedDown());
  }
  void Dispatch(TMessage& M) override {
    switch (M.Msg) {
      case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS | (DroppedDown() ? DLGC_WANTALLKEYS : 0); return;
      case CN_KEYDOWN:
      case CN_SYSKEYDOWN:
        // The open list's keys are its own: Escape closes it, not the chooser.
        if (DroppedDown()) {
          uint16_t key = static_cast<uint16_t>(M.WParam);
          if (key == VK_F4 || (M.Msg == CN_SYSKEYDOWN && (key == VK_UP || key == VK_DOWN))) key = VK_ESCAPE;
          if (FList->HandleKey(key)) {
            M.Result = 1;
            return;
          }
        }
        break;
      case WM_KILLFOCUS: SetDroppedDown(false); Invalidate(); break;
      case WM_SETFOCUS: Invalidate(); break;
    }
    TCustomControl::Dispatch(M);
  }

 private:
  TFileChooser* FChooser;
  TDropDownList* FList = nullptr;
};
}  // namespace

TFileChooserTexts FileChooserTexts;

TFileChooser::TFileChooser(TComponent* AOwner, TOpenFileNameData& Data) : TForm(AOwner), FData(Data) {
  SetBorderStyle(TFormBorderStyle::bsSizeable);
  SetPosition(TPosition::poScreenCenter);
  SetCaption(!Data.Title.empty() ? Data.Title : Data.Save ? "Save As" : "Open");
  SetKeyPreview(true);
  // Filter: description|masks pairs.
  std::vector<std::string> parts;
  std::string cur;
  for (char ch : Data.Filter) {
    if (ch == '|') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += ch;
    }
  }
  if (!cur.empty() || !parts.empty()) parts.push_back(cur);
  for (size_t i = 0; i + 1 < parts.size(); i += 2) FTypes.emplace_back(parts[i], parts[i + 1]);
  if (FTypes.empty()) FTypes.emplace_back("All files (*.*)", "*");
  FTypeIndex = std::clamp<int32_t>(Data.FilterIndex, 1, static_cast<int32_t>(FTypes.size()));

  FList = new TFileChooserList(this, this);
  FList->SetParent(this);
  FNameEdit = new TCustomEdit(this);
  FNameEdit->SetParent(this);
  auto* types = new TTypeBox(this, this);
  types->SetParent(this);
  for (auto& t : FTypes) types->Items.push_back(t.first);
  FTemplate = new TCustomControl(this);
  FTemplate->SetParent(this);
  FTemplate->SetVisible(Data.TemplateWidth > 0 || Data.TemplateHeight > 0);
  auto* ok = new TDlgButton(this);
  ok->SetParent(this);
  ok->SetCaption(Data.Save ? FileChooserTexts.Save : FileChooserTexts.Open);
  ok->Default = true;
  ok->OnClick = [this](TObject*) { Accept(); };
  auto* cancel = new TDlgButton(this);
  cancel->SetParent(this);
  cancel->SetCaption(FileChooserTexts.Cancel);
  cancel->ModalResult = mrCancel;
  cancel->Cancel = true;
  // The way to the parent folder with the mouse (Backspace in the list does the same).
  auto* up = new TDlgButton(this);
  FUpButton = up;
  up->SetParent(this);
  up->SetCaption("\xE2\x86\x91");
  up->SetHint(FileChooserTexts.UpOneLevel);
  up->SetShowHint(true);
  up->SetTabStop(false);
  up->TakesFocus = false;
  up->OnClick = [this](TObject*) { ChangeDirectory(fs::path(FDirectory).parent_path().string()); };
  FNameEdit->SetTabOrder(0);
  ok->SetTabOrder(1);
  cancel->SetTabOrder(2);
  types->SetTabOrder(3);
  FList->SetTabOrder(4);
  int32_t w = 520 + std::max(0, Data.TemplateWidth), h = 340 + std::max(0, Data.TemplateHeight);
  SetClientSize(w, h);
  Layout();

  std::string initial = Data.FileName;
  std::string dir = Data.InitialDir;
  if (!initial.empty() && initial.find('/') != std::string::npos) {
    fs::path p(initial);
    if (dir.empty()) dir = p.parent_path().string();
    initial = p.filename().string();
  }
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) dir = fs::current_path(ec).string();
  FDirectory = dir;
  Reload();
  FNameEdit->SetText(initial);
  // A typed name of a file in the listed folder selects it, as a click on it would.
  FNameEdit->OnChange = [this](TObject*) { SelectTyped(); };
  SetActiveControl(FNameEdit);
  OnResize = [this](TObject*) { Layout(); };
}

TFileChooser::~TFileChooser() {
  if (gActiveChooser == this) gActiveChooser = nullptr;
}

void TFileChooser::Layout() {
  int32_t w = ClientWidth(), h = ClientHeight();
  TRect host = HostRect();
  int32_t lw = host.Right, hostBottom = host.Bottom;
  int32_t listBottom = hostBottom - 8 - 23 - 6 - 23 - 8;
  FList->SetBounds(8, 28, std::max(40, lw - 16), std::max(40, listBottom - 28));
  FUpButton->SetBounds(std::max(8, lw - 8 - 24), 3, 24, 22);
  if (FData.TemplateWidth > 0) FTemplate->SetBounds(lw, 28, std::max(0, w - 8 - lw), std::max(40, listBottom - 28));
  else if (FData.TemplateHeight > 0) FTemplate->SetBounds(8, hostBottom, w - 16, std::max(0, h - hostBottom));
  int32_t y1 = listBottom + 8, y2 = y1 + 23 + 6;
  FNameEdit->SetBounds(100, y1, std::max(40, lw - 100 - 8 - 75 - 8), 23);
  for (int32_t i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (c == FUpButton) continue;
    if (auto* b = dynamic_cast<TDlgButton*>(c)) b->SetBounds(lw - 8 - 75, b->Cancel ? y2 : y1, 75, 23);
    if (dynamic_cast<TTypeBox*>(c)) c->SetBounds(100, y2, std::max(40, lw - 100 - 8 - 75 - 8), 23);
  }
  Invalidate();
}

TRect TFileChooser::HostRect() const {
  int32_t w = ClientWidth(), h = ClientHeight();
  int32_t tw = FTemplate && FData.TemplateWidth > 0 ? FData.TemplateWidth + 8 : 0;
  int32_t th = FData.TemplateHeight > 0 ? FData.TemplateHeight : 0;
  return Rect(0, 0, std::max(200, w - tw), std::max(120, h - th));
}

void TFileChooser::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  SetBkMode(c, TRANSPARENT);
  SetTextColor(c, clWindowText);
  TRect r = Rect(8, 6, HostRect().Right - 8 - 24 - 6, 24);
  DrawText(c, FDirectory, r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
  TRect l1 = Rect(8, FNameEdit->Top(), 96, FNameEdit->Top() + 23);
  DrawText(c, FNameLabel, l1, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  TRect l2 = Rect(8, FNameEdit->Top() + 29, 96, FNameEdit->Top() + 29 + 23);
  DrawText(c, FTypeLabel, l2, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

std::vector<std::string> TFileChooser::Masks() const {
  std::vector<std::string> m;
  std::string masks = FTypes[static_cast<size_t>(FTypeIndex - 1)].second, cur;
  for (char ch : masks) {
    if (ch == ';') {
      if (!cur.empty()) m.push_back(cur);
      cur.clear();
    } else if (ch != ' ') {
      cur += ch;
    }
  }
  if (!cur.empty()) m.push_back(cur);
  for (auto& s : m)
    if (s == "*.*") s = "*";
  return m;
}

void TFileChooser::Reload() {
  FEntries.clear();
  std::vector<std::string> dirs, files;
  std::error_code ec;
  auto masks = Masks();
  for (fs::directory_iterator it(FDirectory, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code e2;
    if (it->is_directory(e2)) {
      dirs.push_back(name + "/");
    } else {
      for (auto& m : masks)
        if (WildMatch(m.c_str(), name.c_str())) {
          files.push_back(name);
          break;
        }
    }
  }
  std::sort(dirs.begin(), dirs.end());
  std::sort(files.begin(), files.end());
  FEntries = dirs;
  FEntries.insert(FEntries.end(), files.begin(), files.end());
  FSelected = -1;
  if (FList) {
    FList->SetTopIndex(0);
    FList->ItemsChanged();
  }
  Invalidate();
}

void TFileChooser::ChangeDirectory(const std::string& Dir) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::path(Dir), ec);
  if (ec || !fs::is_directory(p, ec)) return;
  FDirectory = p.string();
  Reload();
  Notify(CDN_FOLDERCHANGE);
}

void TFileChooser::SelectIndex(int32_t Index) {
  if (Index < -1 || Index >= static_cast<int32_t>(FEntries.size()) || Index == FSelected) return;
  FSelected = Index;
  if (Index >= 0) {
    FList->EnsureVisible(Index);
    const std::string& e = FEntries[static_cast<size_t>(Index)];
    if (e.empty() || e.back() != '/') FNameEdit->SetText(e);
  }
  FList->Invalidate();
  Notify(CDN_SELCHANGE);
}

void TFileChooser::SelectTyped() {
  std::string spec = Spec();
  if (spec.empty()) return;
  fs::path p = spec[0] == '/' ? fs::path(spec) : fs::path(FDirectory) / spec;
  std::error_code ec;
  if (!fs::is_regular_file(p, ec) || p.parent_path() != fs::path(FDirectory)) return;
  std::string name = p.filename().string();
  for (int32_t i = 0; i < static_cast<int32_t>(FEntries.size()); ++i)
    if (FEntries[static_cast<size_t>(i)] == name && i != FSelected) {
      FSelected = i;
      FList->EnsureVisible(i);
      FList->Invalidate();
      Notify(CDN_SELCHANGE);
      return;
    }
}

std::string TFileChooser::Spec() const { return FNameEdit->Text(); }
void TFileChooser::SetSpec(const std::string& Text) { FNameEdit->SetText(Text); }

std::string TFileChooser::FilePath() const {
  std::string spec = Spec();
  if (spec.empty() && FSelected >= 0) spec = FEntries[static_cast<size_t>(FSelected)];
  if (spec.empty()) return {};
  if (spec[0] == '/') return spec;
  return (fs::path(FDirectory) / spec).string();
}

void TFileChooser::SetTypeIndex(int32_t Index) {
  if (Index < 1 || Index > static_cast<int32_t>(FTypes.size()) || Index == FTypeIndex) return;
  FTypeIndex = Index;
  Reload();
  for (int32_t i = 0; i < ControlCount(); ++i)
    if (dynamic_cast<TTypeBox*>(Controls(i))) Controls(i)->Invalidate();
  Notify(CDN_TYPECHANGE);
}

bool TFileChooser::CallHook(TMessage& M) {
  if (!FData.Hook) return false;
  try {
    return FData.Hook(this, M);
  } catch (const std::exception& e) {
    // A failing hook is reported; the chooser goes on.
    Application->HandleException(this, e);
    return true;
  }
}

intptr_t TFileChooser::Notify(int32_t Code) {
  TOFNotify n;
  n.Chooser = this;
  n.Code = Code;
  TMessage m;
  m.Msg = WM_NOTIFY;
  m.LParam = reinterpret_cast<intptr_t>(&n);
  CallHook(m);
  return m.Result;
}

bool TFileChooser::Accept() {
  std::string spec = Spec();
  if (spec.empty() && FSelected >= 0) {
    const std::string& e = FEntries[static_cast<size_t>(FSelected)];
    if (!e.empty() && e.back() == '/') {
      ChangeDirectory((fs::path(FDirectory) / e).string());
      return false;
    }
    spec = e;
  }
  if (spec.empty()) return false;
  fs::path p = spec[0] == '/' ? fs::path(spec) : fs::path(FDirectory) / spec;
  std::error_code ec;
  if (fs::is_directory(p, ec)) {
    ChangeDirectory(p.string());
    FNameEdit->SetText("");
    return false;
  }
  if (!FData.DefaultExt.empty() && !p.has_extension()) p += "." + FData.DefaultExt;
  std::string path = p.string();
  if ((FData.Flags & OFN_PATHMUSTEXIST) || (FData.Flags & OFN_FILEMUSTEXIST) || FData.Save) {
    if (!fs::is_directory(p.parent_path(), ec)) {
      MessageBox(0, path + "\n" + FileChooserTexts.PathNotFound, Caption(), MB_OK | MB_ICONWARNING);
      return false;
    }
  }
  if (!FData.Save && (FData.Flags & OFN_FILEMUSTEXIST) && !fs::exists(p, ec)) {
    MessageBox(0, path + "\n" + FileChooserTexts.FileNotFound, Caption(), MB_OK | MB_ICONWARNING);
    return false;
  }
  if (FData.Save && (FData.Flags & OFN_OVERWRITEPROMPT) && fs::exists(p, ec)) {
    if (MessageBox(0, path + " " + FileChooserTexts.Replace, Caption(), MB_YESNO | MB_ICONWARNING) !=
        IDYES)
      return false;
  }
  std::string keep = FNameEdit->Text();
  FNameEdit->SetText(path);
  if (Notify(CDN_FILEOK) != 0) {
    FNameEdit->SetText(keep);
    return false;
  }
  FData.FileName = path;
  FData.FilterIndex = FTypeIndex;
  SetModalResult(mrOk);
  return true;
}

void TFileChooser::KeyDown(uint16_t& Key, TShiftState Shift) {
  TForm::KeyDown(Key, Shift);
  if (Key == 0) return;
  bool inList = ActiveControl() == FList;
  bool inName = ActiveControl() == FNameEdit;
  if (!inList && !inName) return;
  int32_t n = static_cast<int32_t>(FEntries.size());
  switch (Key) {
    case VK_UP:
    case VK_DOWN:
      if (n > 0) SelectIndex(std::clamp(FSelected + (Key == VK_DOWN ? 1 : -1), 0, n - 1));
      Key = 0;
      break;
    case VK_BACK:
      if (inList || Spec().empty()) {
        ChangeDirectory(fs::path(FDirectory).parent_path().string());
        Key = 0;
      }
      break;
    case VK_RETURN:
      if (inList) {
        FNameEdit->SetText(FSelected >= 0 && FEntries[static_cast<size_t>(FSelected)].back() != '/'
                               ? FEntries[static_cast<size_t>(FSelected)]
                               : std::string());
        Accept();
        Key = 0;
      }
      break;
    default: break;
  }
}

void TFileChooser::Dispatch(TMessage& M) {
  if (CallHook(M)) return;
  std::string* out = reinterpret_cast<std::string*>(M.LParam);
  switch (M.Msg) {
    case CDM_GETFILEPATH:
      if (out) *out = FilePath();
      M.Result = static_cast<intptr_t>(FilePath().size() + 1);
      return;
    case CDM_GETSPEC:
      if (out) *out = Spec();
      M.Result = static_cast<intptr_t>(Spec().size() + 1);
      return;
    case CDM_GETFOLDERPATH:
      if (out) *out = FDirectory;
      M.Result = static_cast<intptr_t>(FDirectory.size() + 1);
      return;
    case CDM_SETCONTROLTEXT:
      if (out) {
        switch (static_cast<int32_t>(M.WParam)) {
          case IDC_FILENAME_LABEL: FNameLabel = *out; break;
          case IDC_FILETYPE_LABEL: FTypeLabel = *out; break;
          case IDC_FILENAME_EDIT:
          case IDC_FILENAME_COMBO: FNameEdit->SetText(*out); break;
          default:
            for (int32_t i = 0; i < ControlCount(); ++i)
              if (auto* b = dynamic_cast<TDlgButton*>(Controls(i)))
                if ((M.WParam == IDOK && !b->Cancel) || (M.WParam == IDCANCEL && b->Cancel)) b->SetCaption(*out);
        }
        Invalidate();
      }
      M.Result = 1;
      return;
    case CDM_SETDEFEXT:
      // The extension a typed name without one takes.
      if (out) FData.DefaultExt = !out->empty() && (*out)[0] == '.' ? out->substr(1) : *out;
      M.Result = 1;
      return;
    case CDM_HIDECONTROL: M.Result = 1; return;
    case CM_DIALOGCHAR:
      // The labels' Alt keys reach the fields they name.
      if (IsAccel(static_cast<uint32_t>(M.WParam), FNameLabel) && FNameEdit->CanFocus()) {
        FNameEdit->SetFocus();
        M.Result = 1;
        return;
      }
      if (IsAccel(static_cast<uint32_t>(M.WParam), FTypeLabel))
        for (int32_t i = 0; i < ControlCount(); ++i)
          if (auto* t = dynamic_cast<TTypeBox*>(Controls(i)); t && t->CanFocus()) {
            t->SetFocus();
            M.Result = 1;
            return;
          }
      TForm::Dispatch(M);
      return;
    default: TForm::Dispatch(M); return;
  }
}

bool RunFileChooser(TOpenFileNameData& Data) {
  auto* f = new TFileChooser(nullptr, Data);
  TFileChooser* prev = gActiveChooser;
  gActiveChooser = f;
  struct TFree {
    TFileChooser* F;
    TFileChooser* Prev;
    ~TFree() {
      F->Perform(WM_DESTROY, 0, 0);
      F->Perform(WM_NCDESTROY, 0, 0);
      gActiveChooser = Prev;
      F->BeforeDestruction();
      delete F;
    }
  } guard{f, prev};
  f->OnShow = [f](TObject*) { f->Perform(WM_INITDIALOG, 0, 0); };
  // Done once the window is up with the name field focused.
  f->OnActivate = [f](TObject*) {
    if (f->FInitDone) return;
    f->FInitDone = true;
    f->Notify(CDN_INITDONE);
  };
  return f->ShowModal() == mrOk;
}

TFileChooser* ActiveFileChooser() { return gActiveChooser; }
