// The save-parameters dialog: its form, pages, texts, working copy and the contract with its callers.
#include "imaging/dialogs/io_previews.h"

#include <cmath>

#include "controls/kv_buttons.h"
#include "controls/kv_checks.h"
#include "controls/kv_labels.h"
#include "controls/kv_panels.h"
#include "controls/kv_trackbar.h"
#include "imaging/dialogs/dialog_controls.h"
#include "imaging/dialogs/message_table.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/utils.h"
#include "imaging/io/io_init.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/view.h"
#include "platform/base/numeric.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/ext_ctrls.h"
#include "platform/ui/std_ctrls.h"

namespace {

template <class T>
T* Make(TComponent* Owner, TWinControl* Parent, const char* Name, int32_t L, int32_t Tp, int32_t W, int32_t H) {
  T* c = new T(Owner);
  c->SetName(Name);
  c->SetBounds(L, Tp, W, H);
  c->SetParent(Parent);
  return c;
}

std::string Colon(const std::string& S) { return S + ":"; }
std::string Spaced(const std::string& S) { return " " + S + " "; }

TColor ColorOf(TQxRGB C) { return static_cast<TColor>(C.r | (C.g << 8) | (C.b << 16)); }

const std::vector<std::string> kGifColors = {"B/W", "4", "8", "16", "32", "64", "128", "256"};

}  // namespace

TfIOPreviews::TfIOPreviews(TComponent* AOwner) : TForm(AOwner) {
  SetName("fIOPreviews");
  SetCaption("Parameters preview");
  SetBorderStyle(TFormBorderStyle::bsDialog);
  SetClientSize(527, 425);
  SetPosition(TPosition::poScreenCenter);
  SetColor(clBtnFace);
  Font()->SetName("MS Sans Serif");
  Font()->SetHeight(-11);
  SetKeyPreview(true);
  BuildControls();
  OnActivate = [this](TObject* S) { FormActivate(S); };
  OnResize = [this](TObject* S) { FormResize(S); };
  OnKeyDown = [this](TObject*, uint16_t& Key, TShiftState) {
    if (Key == VK_ESCAPE) {
      Key = 0;
      SetModalResult(mrCancel);
    }
  };
  FormCreate(this);
}

TfIOPreviews::~TfIOPreviews() {
  // The controls go while the form is whole; none of them may stay the form's focus as it goes.
  SetActiveControl(nullptr);
  DestroyComponents();
}

void TfIOPreviews::BuildControls() {
  auto L = [this](TWinControl* P, const char* N, const char* Cap, int32_t X, int32_t Y, int32_t Wd = 90) {
    auto* l = Make<TKvLabel>(this, P, N, X, Y, Wd, 15);
    l->SetCaption(Cap);
    return l;
  };
  auto E = [this](TWinControl* P, const char* N, int32_t X, int32_t Y, int32_t Wd, const char* Text = "0") {
    auto* e = Make<TEdit>(this, P, N, X, Y, Wd, 21);
    e->SetText(Text);
    return e;
  };
  auto C = [this](TWinControl* P, const char* N, int32_t X, int32_t Y, int32_t Wd, std::vector<std::string> Items) {
    auto* c = Make<TQxComboBox>(this, P, N, X, Y, Wd, 21);
    c->SetItems(std::move(Items));
    return c;
  };
  auto K = [this](TWinControl* P, const char* N, const char* Cap, int32_t X, int32_t Y, int32_t Wd = 160) {
    auto* k = Make<TKvCheckBox>(this, P, N, X, Y, Wd, 17);
    k->SetCaption(Cap);
    return k;
  };
  auto G = [this](TWinControl* P, const char* N, const char* Cap, int32_t X, int32_t Y, int32_t Wd, int32_t H) {
    auto* g = Make<TKvGroupBox>(this, P, N, X, Y, Wd, H);
    g->SetCaption(Cap);
    return g;
  };
  auto Sizes = [&](TWinControl* P, TKvLabel*& A, TKvLabel*& AV, TKvLabel*& B, TKvLabel*& BV, const char* NA,
                   const char* NAV, const char* NB, const char* NBV, int32_t Top) {
    A = L(P, NA, "Original size:", 16, Top, 180);
    AV = L(P, NAV, "---", 16, Top + 16, 180);
    B = L(P, NB, "Compressed size:", 208, Top, 180);
    BV = L(P, NBV, "---", 208, Top + 16, 180);
  };

  auto UpDown = [this](TEdit* Edit, const char* N, int32_t Max, bool Thousands) {
    auto* u = new TQxUpDown(this);
    u->SetName(N);
    u->Min = 0;
    u->Max = Max;
    u->Thousands = Thousands;
    u->SetAssociate(Edit);
    return u;
  };

  Image1 = Make<TImage>(this, this, "Image1", 0, 0, 527, 425);
  Image1->SetAlign(TAlign::alClient);
  Label1 = L(this, "Label1", "Source:", 5, 1);
  Label2 = L(this, "Label2", "Result:", 227, 1);
  Quillot1 = Make<TQuillotView>(this, this, "Quillot1", 6, 17, 191, 135);
  Quillot1->SetBackground(clWhite);
  Quillot1->SetCursor(1782);
  Quillot1->EnableInteractionHints = true;
  Quillot1->SetMouseInteract(TQxMouseInteract{TQxMouseInteractItems::miZoom, TQxMouseInteractItems::miScroll});
  Quillot1->OnViewChange = [this](TObject* S, int32_t) { Quillot1ViewChange(S); };
  Quillot1->SetOnProgress([this](TObject* S, int32_t P) { Quillot1Progress(S, P); });
  Quillot2 = Make<TQuillotView>(this, this, "Quillot2", 227, 17, 191, 135);
  Quillot2->SetBackground(clWhite);
  Quillot2->SetCursor(1780);
  Quillot2->EnableInteractionHints = true;
  Quillot2->SetOnProgress([this](TObject* S, int32_t P) { Quillot1Progress(S, P); });
  ProgressBar1 = Make<TQxProgressBar>(this, this, "ProgressBar1", 6, 157, 412, 10);
  PageControl1 = Make<TQxPageControl>(this, this, "PageControl1", 8, 172, 417, 217);
  PageControl1->OnChange = [this](TObject* S) { PageControl1Change(S); };
  PageControl1->OnChanging = [this](TObject* S, bool& A) { PageControl1Changing(S, A); };
  Button1 = Make<TKvButton>(this, this, "Button1", 432, 15, 87, 23);
  Button1->SetCaption("OK");
  Button1->SetDefault(true);
  Button1->SetModalResult(mrOk);
  Button1->OnClick = [this](TObject* S) { Button1Click(S); };
  Button2 = Make<TKvButton>(this, this, "Button2", 432, 43, 87, 23);
  Button2->SetCaption("Cancel");
  Button2->SetModalResult(mrCancel);
  Button3 = Make<TKvButton>(this, this, "Button3", 432, 76, 87, 23);
  Button3->SetCaption("&Preview");
  Button3->OnClick = [this](TObject* S) { Button3Click(S); };
  Button4 = Make<TKvButton>(this, this, "Button4", 432, 106, 87, 23);
  Button4->SetCaption("&Apply");
  Button4->OnClick = [this](TObject* S) { Button4Click(S); };
  chkLockPreview = K(this, "chkLockPreview", "Lock Preview", 12, 398, 365);
  chkLockPreview->SetHint("Automatically updates your preview with the changes you have selected");
  chkLockPreview->OnClick = [this](TObject* S) { SpeedButton1Click(S); };
  ColorDialog1 = new TColorDialog(this);
  ColorDialog1->SetName("ColorDialog1");

  auto Sheet = [this](const char* N, const char* Cap) {
    auto* s = new TQxTabSheet(this);
    s->SetName(N);
    s->SetCaption(Cap);
    s->SetPageControl(PageControl1);
    return s;
  };
  TabSheetJPEG1 = Sheet("TabSheetJPEG1", "JPEG");
  TabSheetJPEG2 = Sheet("TabSheetJPEG2", "JPEG");
  TabSheetTIFF1 = Sheet("TabSheetTIFF1", "TIFF");
  TabSheetTIFF2 = Sheet("TabSheetTIFF2", "TIFF");
  TabSheetGIF1 = Sheet("TabSheetGIF1", "GIF");
  TabSheetGIF2 = Sheet("TabSheetGIF2", "GIF");
  TabSheetBMP1 = Sheet("TabSheetBMP1", "BMP");
  TabSheetPCX1 = Sheet("TabSheetPCX1", "PCX");
  TabSheetPNG1 = Sheet("TabSheetPNG1", "PNG");
  TabSheetTGA1 = Sheet("TabSheetTGA1", "TGA");
  TabSheetJ20001 = Sheet("TabSheetJ20001", "JPEG2000");

  // JPEG
  TQxTabSheet* s = TabSheetJPEG1;
  Label23 = L(s, "Label23", "&Quality:", 16, 8, 60);
  Edit22 = E(s, "Edit22", 77, 5, 33);
  TrackBar13 = Make<TKvTrackBar>(this, s, "TrackBar13", 128, 6, 275, 19);
  TrackBar13->SetMin(0);
  TrackBar13->SetMax(100);
  TrackBar13->SetTickStep(5);
  GroupBox5 = G(s, "GroupBox5", " Advanced ", 8, 43, 388, 84);
  Label26 = L(GroupBox5, "Label26", "&DCT method:", 8, 20, 104);
  ComboBox1 = C(GroupBox5, "ComboBox1", 114, 17, 80, {"ISLOW", "IFAST", "FLOAT"});
  Label27 = L(GroupBox5, "Label27", "&Smoothing factor:", 8, 48, 104);
  Edit23 = E(GroupBox5, "Edit23", 114, 45, 40);
  UpDown11 = UpDown(Edit23, "UpDown11", 100, true);
  Label57 = L(GroupBox5, "Label57", "P&hotometric:", 204, 20, 80);
  ComboBox13 = C(GroupBox5, "ComboBox13", 290, 17, 90, {"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"});
  CheckBox2 = K(GroupBox5, "CheckBox2", "&Optimal Huffman", 204, 42, 176);
  CheckBox3 = K(GroupBox5, "CheckBox3", "P&rogressive", 204, 60, 176);
  Sizes(s, Label3, Label4, Label24, Label25, "Label3", "Label4", "Label24", "Label25", 141);
  s = TabSheetJPEG2;
  Label72 = L(s, "Label72", "&Quality:", 16, 8, 60);
  Edit16 = E(s, "Edit16", 77, 5, 33);
  TrackBar2 = Make<TKvTrackBar>(this, s, "TrackBar2", 128, 6, 275, 19);
  TrackBar2->SetMin(0);
  TrackBar2->SetMax(100);
  TrackBar2->SetTickStep(5);
  Sizes(s, Label73, Label74, Label75, Label76, "Label73", "Label74", "Label75", "Label76", 61);

  // TIFF. The fields beside "Compression:" leave room for its longest translation (German).
  s = TabSheetTIFF1;
  Label5 = L(s, "Label5", "&Compression:", 8, 8, 86);
  ComboBox2 = C(s, "ComboBox2", 101, 5, 121, {});
  Label6 = L(s, "Label6", "&Image index:", 230, 8, 92);
  Edit1 = E(s, "Edit1", 324, 5, 50);
  UpDown1 = UpDown(Edit1, "UpDown1", 1000, false);
  Label7 = L(s, "Label7", "P&hotometric:", 8, 33, 86);
  ComboBox3 = C(s, "ComboBox3", 101, 30, 121,
                {"WHITEISZERO/Gray", "BLACKISZERO/Gray", "RGB", "RGBPALETTE", "TRANSPMASK", "CMYK", "YCBCR", "CIELAB"});
  Label19 = L(s, "Label19", "C&olors:", 230, 33, 92);
  ComboBox4 = C(s, "ComboBox4", 324, 30, 70, {"B/W", "16", "256", "65536", "16M"});
  GroupBox1 = G(s, "GroupBox1", " Scanned document info ", 8, 55, 401, 86);
  Label12 = L(GroupBox1, "Label12", "&Name:", 8, 18, 70);
  Edit4 = E(GroupBox1, "Edit4", 80, 15, 110, "");
  Label13 = L(GroupBox1, "Label13", "&Description:", 8, 40, 70);
  Edit5 = E(GroupBox1, "Edit5", 80, 37, 110, "");
  Label14 = L(GroupBox1, "Label14", "P&age name:", 8, 62, 70);
  Edit6 = E(GroupBox1, "Edit6", 80, 59, 110, "");
  Label15 = L(GroupBox1, "Label15", "Page N&umber:", 198, 18, 86);
  Edit7 = E(GroupBox1, "Edit7", 286, 15, 40);
  Label16 = L(GroupBox1, "Label16", "o&f", 330, 18, 20);
  Edit8 = E(GroupBox1, "Edit8", 352, 15, 40);
  Label8 = L(GroupBox1, "Label8", "H&oriz. Position (inch):", 198, 40, 150);
  Edit2 = E(GroupBox1, "Edit2", 352, 37, 40);
  Label10 = L(GroupBox1, "Label10", "&Vert. Position (inch):", 198, 62, 150);
  Edit3 = E(GroupBox1, "Edit3", 352, 59, 40);
  Sizes(s, Label9, Label11, Label17, Label18, "Label9", "Label11", "Label17", "Label18", 149);
  s = TabSheetTIFF2;
  Label81 = L(s, "Label81", "&Compression:", 16, 9, 78);
  ComboBox16 = C(s, "ComboBox16", 109, 6, 127, {});
  Label82 = L(s, "Label82", "C&olors:", 16, 35, 78);
  ComboBox17 = C(s, "ComboBox17", 109, 32, 100, {"2", "16", "256", "16777216"});
  Sizes(s, Label77, Label78, Label79, Label80, "Label77", "Label78", "Label79", "Label80", 61);

  // GIF
  s = TabSheetGIF1;
  Label21 = L(s, "Label21", "&Colors:", 16, 9, 84);
  ComboBox5 = C(s, "ComboBox5", 101, 6, 80, kGifColors);
  Label20 = L(s, "Label20", "&Image index:", 200, 9, 116);
  Edit9 = E(s, "Edit9", 319, 5, 50);
  UpDown2 = UpDown(Edit9, "UpDown2", 1000, true);
  CheckBox4 = K(s, "CheckBox4", "&Transparent:", 28, 32, 160);
  Label34 = L(s, "Label34", "T&ransparent color:", 200, 33, 116);
  Panel3 = Make<TQxColorField>(this, s, "Panel3", 319, 31, 34, 17);
  CheckBox5 = K(s, "CheckBox5", "I&nterlaced:", 28, 53, 160);
  Label35 = L(s, "Label35", "&Background:", 200, 55, 116);
  Panel4 = Make<TQxColorField>(this, s, "Panel4", 319, 53, 34, 17);
  GroupBox2 = G(s, "GroupBox2", " Advanced ", 8, 75, 395, 70);
  Label31 = L(GroupBox2, "Label31", "&Horiz. Position:", 8, 20, 100);
  Edit10 = E(GroupBox2, "Edit10", 110, 17, 40);
  Label32 = L(GroupBox2, "Label32", "&Vert. Position:", 8, 44, 100);
  Edit11 = E(GroupBox2, "Edit11", 110, 41, 40);
  Label33 = L(GroupBox2, "Label33", "&Delay time:", 200, 20, 96);
  Edit12 = E(GroupBox2, "Edit12", 298, 17, 40);
  Label36 = L(GroupBox2, "Label36", "1/100 s", 342, 20, 48);
  Sizes(s, Label22, Label28, Label29, Label30, "Label22", "Label28", "Label29", "Label30", 150);
  s = TabSheetGIF2;
  Label87 = L(s, "Label87", "&Colors:", 16, 9, 84);
  ComboBox18 = C(s, "ComboBox18", 101, 6, 80, kGifColors);
  Sizes(s, Label83, Label84, Label85, Label86, "Label83", "Label84", "Label85", "Label86", 61);

  // BMP, PCX
  s = TabSheetBMP1;
  Label37 = L(s, "Label37", "&Compression:", 16, 9, 84);
  ComboBox6 = C(s, "ComboBox6", 109, 6, 120, {"UNCOMPRESSED", "RLE"});
  Label38 = L(s, "Label38", "C&olors:", 16, 37, 84);
  ComboBox7 = C(s, "ComboBox7", 109, 34, 120, {"B/W", "16", "256", "16M", "16M (32bit)"});
  Sizes(s, Label39, Label40, Label41, Label42, "Label39", "Label40", "Label41", "Label42", 141);
  s = TabSheetPCX1;
  Label43 = L(s, "Label43", "&Compression:", 16, 9, 84);
  ComboBox8 = C(s, "ComboBox8", 109, 6, 120, {"UNCOMPRESSED", "RLE"});
  Label44 = L(s, "Label44", "C&olors:", 16, 37, 84);
  ComboBox9 = C(s, "ComboBox9", 109, 34, 120, {"B/W", "16", "256", "16M"});
  Sizes(s, Label45, Label46, Label47, Label48, "Label45", "Label46", "Label47", "Label48", 141);

  // PNG
  s = TabSheetPNG1;
  Label49 = L(s, "Label49", "C&olors:", 16, 9, 84);
  ComboBox10 = C(s, "ComboBox10", 101, 6, 80, {"B/W", "256", "16M"});
  Label54 = L(s, "Label54", "&Background:", 200, 9, 108);
  Panel1 = Make<TQxColorField>(this, s, "Panel1", 311, 7, 34, 17);
  GroupBox3 = G(s, "GroupBox3", " Advanced ", 8, 42, 388, 74);
  Label55 = L(GroupBox3, "Label55", "&Filter", 8, 20, 80);
  ComboBox11 = C(GroupBox3, "ComboBox11", 90, 17, 80, {"None", "Sub", "Paeth"});
  Label56 = L(GroupBox3, "Label56", "Co&mpression", 8, 46, 80);
  ComboBox12 = C(GroupBox3, "ComboBox12", 90, 43, 80, {"None", "1", "2", "3", "4", "5", "6", "7", "8", "Max"});
  CheckBox6 = K(GroupBox3, "CheckBox6", "I&nterlaced:", 200, 20, 170);
  Sizes(s, Label50, Label51, Label52, Label53, "Label50", "Label51", "Label52", "Label53", 141);

  // TGA
  s = TabSheetTGA1;
  Label62 = L(s, "Label62", "C&olors:", 16, 9, 78);
  ComboBox14 = C(s, "ComboBox14", 95, 6, 80, {"B/W", "256", "16M"});
  Label63 = L(s, "Label63", "&Background:", 200, 9, 108);
  Panel5 = Make<TQxColorField>(this, s, "Panel5", 311, 7, 34, 17);
  CheckBox1 = K(s, "CheckBox1", "Compression:", 14, 32, 180);
  Label64 = L(s, "Label64", "&Name:", 16, 59, 78);
  Edit13 = E(s, "Edit13", 95, 56, 298, "");
  Label65 = L(s, "Label65", "&Description:", 16, 90, 78);
  Edit14 = E(s, "Edit14", 95, 87, 298, "");
  Sizes(s, Label58, Label59, Label60, Label61, "Label58", "Label59", "Label60", "Label61", 141);

  // JPEG 2000
  s = TabSheetJ20001;
  Label66 = L(s, "Label66", "&Rate:", 16, 8, 60);
  Edit15 = E(s, "Edit15", 77, 5, 45);
  TrackBar1 = Make<TKvTrackBar>(this, s, "TrackBar1", 128, 6, 275, 19);
  TrackBar1->SetMin(0);
  TrackBar1->SetMax(1000);
  TrackBar1->SetTickStep(20);
  Label71 = L(s, "Label71", "P&hotometric:", 16, 44, 60);
  ComboBox15 = C(s, "ComboBox15", 77, 41, 100, {"GrayScale", "RGB", "YCbCr"});
  Sizes(s, Label67, Label68, Label69, Label70, "Label67", "Label68", "Label69", "Label70", 141);

  PageControl1->SetActivePage(TabSheetTIFF1);

  // Events, attached last as a streamed form gets them.
  TrackBar13->OnChange = [this](TObject* S) { TrackBar13Change(S); };
  CheckBox2->OnClick = CheckBox3->OnClick = [this](TObject* S) { TrackBar13Change(S); };
  ComboBox1->OnChange = ComboBox13->OnChange = [this](TObject* S) { TrackBar13Change(S); };
  Edit22->OnChange = Edit23->OnChange = [this](TObject* S) { Edit22Change(S); };
  Edit16->OnChange = [this](TObject* S) { Edit16Change(S); };
  TrackBar2->OnChange = [this](TObject* S) { TrackBar2Change(S); };
  Edit15->OnChange = [this](TObject* S) { Edit15Change(S); };
  TrackBar1->OnChange = ComboBox15->OnChange = [this](TObject* S) { TrackBar1Change(S); };
  for (TQxComboBox* c : {ComboBox2, ComboBox3, ComboBox4}) c->OnChange = [this](TObject* S) { ComboBox2Click(S); };
  for (TEdit* e : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8})
    e->OnChange = [this](TObject* S) { ComboBox2Click(S); };
  ComboBox16->OnChange = ComboBox17->OnChange = [this](TObject* S) { ComboBox16Change(S); };
  ComboBox5->OnChange = [this](TObject* S) { ComboBox5Click(S); };
  for (TEdit* e : {Edit9, Edit10, Edit11, Edit12}) e->OnChange = [this](TObject* S) { ComboBox5Click(S); };
  CheckBox4->OnClick = CheckBox5->OnClick = [this](TObject* S) { ComboBox5Click(S); };
  ComboBox18->OnChange = [this](TObject* S) { ComboBox18Change(S); };
  ComboBox6->OnChange = ComboBox7->OnChange = [this](TObject* S) { ComboBox6Change(S); };
  ComboBox8->OnChange = ComboBox9->OnChange = [this](TObject* S) { ComboBox8Change(S); };
  ComboBox10->OnChange = ComboBox11->OnChange = ComboBox12->OnChange = [this](TObject* S) { ComboBox10Change(S); };
  CheckBox6->OnClick = [this](TObject* S) { ComboBox10Change(S); };
  ComboBox14->OnChange = [this](TObject* S) { ComboBox14Click(S); };
  CheckBox1->OnClick = [this](TObject* S) { ComboBox14Click(S); };
  Edit13->OnChange = Edit14->OnChange = [this](TObject* S) { ComboBox14Click(S); };
  Panel3->OnClick = [this](TObject* S) { Panel3Click(S); };
  Panel4->OnClick = [this](TObject* S) { Panel4Click(S); };
  Panel1->OnClick = [this](TObject* S) { Panel1Click(S); };
  Panel5->OnClick = [this](TObject* S) { Panel5Click(S); };
}

void TfIOPreviews::FormCreate(TObject*) {
  Activated = false;
  BilevelMode = 1;
  for (TQuillotView* v : {Quillot1, Quillot2}) {
    TFont* f = v->GetIO()->PreviewFont();
    f->SetColor(clWindowText);
    f->SetHeight(-11);
    f->SetName("MS Sans Serif");
    f->SetStyle({});
  }
  CancelCaption = "&Cancel";
  for (TKvTrackBar* t : {TrackBar13, TrackBar2, TrackBar1}) t->SetThumbLength(10);
  Button4->SetEnabled(false);
}

void TfIOPreviews::FormResize(TObject*) {
  // The library-wide dialog background: 0 (the start-up value) leaves the picture empty.
  TBitmap* b = nullptr;
  if (QxDialogsBackground == 1 || QxDialogsBackground == 2) b = Image1->Picture()->Bitmap();
  if (!b) return;
  if (QxDialogsBackground == 1) QxMakeStripedBitmap(b, Image1->Width(), Image1->Height());
  else QxMakeGradientBitmap(b, Image1->Width(), Image1->Height());
  Image1->Invalidate();
}

void TfIOPreviews::UpdateLanguage(TMsgLanguage Lang) {
  auto T = [Lang](uint8_t i) { return QxMessageText(i, Lang); };
  SetCaption(T(37));
  Label1->SetCaption(Colon(T(1)));
  Label2->SetCaption(Colon(T(2)));
  Button2->SetCaption(T(4));
  Button1->SetCaption(T(3));
  Button3->SetCaption(T(0));
  chkLockPreview->SetCaption(T(5));
  Button4->SetCaption(T(120));
  // JPEG
  Label23->SetCaption(Colon(T(38)));
  Label26->SetCaption(Colon(T(39)));
  Label27->SetCaption(Colon(T(40)));
  Label57->SetCaption(Colon(T(49)));
  CheckBox2->SetCaption(T(42));
  Label3->SetCaption(Colon(T(43)));
  Label24->SetCaption(Colon(T(44)));
  GroupBox5->SetCaption(Spaced(T(45)));
  CheckBox3->SetCaption(T(46));
  Label72->SetCaption(Colon(T(38)));
  Label73->SetCaption(Colon(T(43)));
  Label75->SetCaption(Colon(T(44)));
  // JPEG 2000
  Label66->SetCaption(Colon(T(123)));
  Label71->SetCaption(Colon(T(49)));
  Label67->SetCaption(Colon(T(43)));
  Label69->SetCaption(Colon(T(44)));
  // TIFF
  Label5->SetCaption(Colon(T(47)));
  Label6->SetCaption(Colon(T(48)));
  Label7->SetCaption(Colon(T(49)));
  GroupBox1->SetCaption(Spaced(T(50)));
  Label12->SetCaption(Colon(T(51)));
  Label13->SetCaption(Colon(T(52)));
  Label14->SetCaption(Colon(T(53)));
  Label15->SetCaption(Colon(T(54)));
  Label16->SetCaption(T(55));
  Label8->SetCaption(Colon(T(56)));
  Label10->SetCaption(Colon(T(57)));
  Label9->SetCaption(Colon(T(43)));
  Label17->SetCaption(Colon(T(44)));
  Label19->SetCaption(Colon(T(58)));
  Label81->SetCaption(Colon(T(47)));
  Label77->SetCaption(Colon(T(43)));
  Label79->SetCaption(Colon(T(44)));
  Label82->SetCaption(Colon(T(58)));
  // GIF
  Label21->SetCaption(Colon(T(58)));
  Label20->SetCaption(Colon(T(48)));
  CheckBox4->SetCaption(Colon(T(59)));
  Label34->SetCaption(Colon(T(60)));
  CheckBox5->SetCaption(Colon(T(61)));
  Label35->SetCaption(Colon(T(62)));
  GroupBox2->SetCaption(Spaced(T(45)));
  Label31->SetCaption(Colon(T(63)));
  Label32->SetCaption(Colon(T(64)));
  Label33->SetCaption(Colon(T(65)));
  Label22->SetCaption(Colon(T(43)));
  Label29->SetCaption(Colon(T(44)));
  Label87->SetCaption(Colon(T(58)));
  Label83->SetCaption(Colon(T(43)));
  Label85->SetCaption(Colon(T(44)));
  // BMP, PCX
  Label37->SetCaption(Colon(T(47)));
  Label38->SetCaption(Colon(T(58)));
  Label39->SetCaption(Colon(T(43)));
  Label41->SetCaption(Colon(T(44)));
  Label43->SetCaption(Colon(T(47)));
  Label44->SetCaption(Colon(T(58)));
  Label45->SetCaption(Colon(T(43)));
  Label47->SetCaption(Colon(T(44)));
  // PNG
  Label49->SetCaption(Colon(T(58)));
  CheckBox6->SetCaption(T(61));
  Label54->SetCaption(Colon(T(62)));
  Label50->SetCaption(Colon(T(43)));
  Label52->SetCaption(Colon(T(44)));
  GroupBox3->SetCaption(Spaced(T(45)));
  Label55->SetCaption(Colon(T(66)));
  Label56->SetCaption(Colon(T(47)));
  // TGA
  Label62->SetCaption(Colon(T(58)));
  Label63->SetCaption(Colon(T(62)));
  CheckBox1->SetCaption(Colon(T(47)));
  Label64->SetCaption(Colon(T(51)));
  Label65->SetCaption(Colon(T(52)));
  Label58->SetCaption(Colon(T(43)));
  Label60->SetCaption(Colon(T(44)));
  CancelCaption = "&" + T(4);
}

bool TfIOPreviews::SelectPages(TQxPreviewPages Pages) {
  PageFlags = Pages;
  if ((Pages & 2) && Params) {
    switch (Params->FileType) {
      case qxffTIFF: PageFlags |= 8; break;
      case qxffGIF: PageFlags |= 16; break;
      case qxffJPEG: PageFlags |= 4; break;
      case qxffPCX: PageFlags |= 64; break;
      case qxffBMP: PageFlags |= 32; break;
      case qxffPNG: PageFlags |= 128; break;
      case qxffTGA: PageFlags |= 256; break;
      case qxffJP2:
      case qxffJ2K: PageFlags |= 512; break;
      default: break;
    }
  }
  return PageFlags != 2;
}

bool TfIOPreviews::TiffLzwAvailable() { return QxTiffLzwEncodeHook != nullptr; }

int32_t TfIOPreviews::TiffIndexToCompression(int32_t Index) {
  static const int32_t withLzw[] = {0, 1, 2, 3, 4, 5, 7, 8, 9};
  static const int32_t without[] = {0, 1, 2, 3, 4, 7, 8, 9};
  if (TiffLzwAvailable()) return Index >= 0 && Index < 9 ? withLzw[Index] : 0;
  return Index >= 0 && Index < 8 ? without[Index] : 0;
}

int32_t TfIOPreviews::TiffCompressionToIndex(int32_t C) {
  const bool lzw = TiffLzwAvailable();
  if (C >= 0 && C <= 4) return C;
  if (C == 5) return lzw ? 5 : 6;
  if (C >= 7 && C <= 9) return lzw ? C - 1 : C - 2;
  return 0;
}

int32_t TfIOPreviews::PixelsPerInchScreen() const { return Screen ? Screen->PixelsPerInch() : 96; }

TQxTabSheet* TfIOPreviews::ActiveSheet() const { return PageControl1->ActivePage(); }

void TfIOPreviews::FormActivate(TObject*) {
  if (Activated) return;
  ControlsReady = true;
  chkLockPreview->SetChecked(LockPreviewDefault);
  Button3->SetEnabled(!chkLockPreview->Checked());
  PageControl1->SetVisible(false);
  for (int32_t i = 0; i < PageControl1->PageCount(); ++i) PageControl1->Pages(i)->SetTabVisible(false);
  TQxFileFormatInfo* entry = Params ? QxFileFormatByType(Params->FileType) : nullptr;
  const int32_t ppi = PixelsPerInchScreen();
  struct TPage {
    TQxTabSheet* Sheet;
    uint16_t Bit;
  };
  const TPage pages[] = {{SimplifiedPages ? TabSheetJPEG2 : TabSheetJPEG1, 4},
                         {SimplifiedPages ? TabSheetTIFF2 : TabSheetTIFF1, 8},
                         {SimplifiedPages ? TabSheetGIF2 : TabSheetGIF1, 16},
                         {TabSheetBMP1, 32},
                         {TabSheetPCX1, 64},
                         {TabSheetPNG1, 128},
                         {TabSheetTGA1, 256},
                         {TabSheetJ20001, 512}};
  TQxTabSheet* active = nullptr;
  for (const TPage& p : pages) {
    bool visible = (PageFlags & 1) || (PageFlags & p.Bit);
    p.Sheet->SetTabVisible(visible);
    if (entry && (entry->PreviewPages & p.Bit) && visible) active = p.Sheet;
    if (!SimplifiedPages) continue;
    auto moveSizes = [](TKvLabel* A, TKvLabel* AV, TKvLabel* B, TKvLabel* BV) {
      A->SetTop(61), AV->SetTop(77), B->SetTop(61), BV->SetTop(77);
    };
    if (p.Sheet == TabSheetBMP1) moveSizes(Label39, Label40, Label41, Label42);
    if (p.Sheet == TabSheetPCX1) moveSizes(Label45, Label46, Label47, Label48);
    if (p.Sheet == TabSheetPNG1) {
      Label54->SetVisible(false), Panel1->SetVisible(false), GroupBox3->SetVisible(false);
      moveSizes(Label50, Label51, Label52, Label53);
    }
    if (p.Sheet == TabSheetTGA1) {
      for (TControl* c : std::initializer_list<TControl*>{Label63, Panel5, Label64, Edit13, Label65, Edit14})
        c->SetVisible(false);
      moveSizes(Label58, Label59, Label60, Label61);
    }
    if (p.Sheet == TabSheetJ20001) {
      Label71->SetVisible(false), ComboBox15->SetVisible(false);
      moveSizes(Label67, Label68, Label69, Label70);
    }
  }
  if (SimplifiedPages) chkLockPreview->SetTop(static_cast<int32_t>(Trunc(ppi * 3.1458333)));
  std::vector<std::string> comp = {"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX"};
  if (TiffLzwAvailable()) comp.push_back("LZW");
  for (const char* c : {"JPEG", "PACKBITS", "ZIP"}) comp.push_back(c);
  ComboBox2->SetItems(comp);
  ComboBox16->SetItems(comp);
  Quillot1->SetChessboardStyle(12, TBrushStyle::bsSolid);
  Quillot2->SetChessboardStyle(12, TBrushStyle::bsSolid);
  PageControl1->SetActivePage(active);
  PageControl1->SetVisible(true);
  LoadWorkingCopy();
  ShowWorkingCopy();
  Quillot1->ZoomToFit();
  // Paint what is set so far; input waiting in the queue stays there for the page that is about to show.
  Update();
  PageControl1Change(PageControl1);
  Activated = true;
  UpdatePreview();
  // The keyboard starts on the first field of the page shown.
  const std::pair<TQxTabSheet*, TWinControl*> first[] = {
      {TabSheetJPEG1, Edit22}, {TabSheetJPEG2, Edit16}, {TabSheetTIFF1, ComboBox2},  {TabSheetTIFF2, ComboBox16},
      {TabSheetGIF1, ComboBox5}, {TabSheetGIF2, ComboBox18}, {TabSheetBMP1, ComboBox6}, {TabSheetPCX1, ComboBox8},
      {TabSheetPNG1, ComboBox10}, {TabSheetTGA1, ComboBox14}, {TabSheetJ20001, Edit15}};
  for (const auto& f : first)
    if (f.first == active && f.second->CanFocus()) SetActiveControl(f.second);
}

void TfIOPreviews::LoadWorkingCopy() {
  if (!Params) return;
  const TIOParamsVals& P = *Params;
  W.Quality = P.JpegQuality;
  W.ColorSpace = P.JpegColorSpace;
  if (P.JpegDCTMethod <= 2) W.DCTMethod = P.JpegDCTMethod;
  W.OptimalHuffman = P.JpegOptimalHuffman != 0;
  W.Smooth = P.JpegSmooth;
  W.Progressive = P.JpegProgressive != 0;
  W.Rate = P.J2000Rate;
  W.J2kColorSpace = P.J2000ColorSpace;
  W.TiffCompression = P.TiffCompression;
  W.TiffImageIndex = P.TiffImageIndex;
  W.TiffPhotometric = P.TiffPhotometric;
  W.TiffXPos = P.TiffXPos;
  W.TiffYPos = P.TiffYPos;
  W.DocumentName = P.TiffDocumentName;
  W.ImageDescription = P.TiffImageDescription;
  W.PageName = P.TiffPageName;
  W.PageNumber = P.TiffPageNumber;
  W.PageCount = P.TiffPageCount;
  W.Samples = P.SamplesPerPixel;
  W.Bits = P.BitsPerSample;
  W.TiffLzwDecompress = P.TiffLzwDecompress;
  W.TiffLzwCompress = P.TiffLzwCompress;
  W.GifImageIndex = P.GifImageIndex;
  W.GifXPos = P.GifXPos;
  W.GifYPos = P.GifYPos;
  W.GifDelay = P.GifDelayTime;
  W.GifTransparent = P.GifTransparent != 0;
  W.GifTranspColor = P.GifTranspColor;
  W.GifInterlaced = P.GifInterlaced != 0;
  W.GifBackground = P.GifBackground;
  W.GifBits = P.BitsPerSample;
  W.GifLzwDecompress = P.GifLzwDecompress;
  W.GifLzwCompress = P.GifLzwCompress;
  const int32_t S = P.SamplesPerPixel, B = P.BitsPerSample;
  W.BmpCompression = P.BmpCompression;
  if (S == 1 && B == 1) W.BmpColors = 0;
  else if (S == 1 && B == 4) W.BmpColors = 1;
  else if (S == 1 && B == 8) W.BmpColors = 2;
  else if (S == 3 && (B == 5 || B == 8)) W.BmpColors = 3;
  W.PcxCompression = P.PcxCompression;
  if (S == 1 && B == 1) W.PcxColors = 0;
  else if (S == 1 && B == 4) W.PcxColors = 1;
  else if (S == 1 && B == 8) W.PcxColors = 2;
  else if (S == 3) W.PcxColors = 3;
  W.PngColors = S == 1 ? (B == 1 ? 0 : 1) : 2;
  W.PngInterlaced = P.PngInterlaced != 0;
  W.PngBackground = P.PngBackground;
  W.PngFilter = P.PngFilter;
  W.PngCompression = P.PngCompression;
  W.TgaColors = W.PngColors;
  W.TgaBackground = P.TgaBackground;
  W.TgaCompressed = P.TgaCompressed != 0;
  W.TgaName = P.TgaJobName;
  W.TgaDescription = P.TgaImageId;
}

namespace {
int32_t TiffColorsIndex(int32_t S, int32_t B) {
  if (S == 1) {
    if (B == 1) return 0;
    if (B >= 2 && B <= 4) return 1;
    if (B >= 5 && B <= 8) return 2;
    if (B == 16) return 3;
  }
  if (S == 3 && B == 8) return 4;
  return -1;
}
}  // namespace

void TfIOPreviews::ShowWorkingCopy() {
  TQxTabSheet* a = ActiveSheet();
  if (!a) return;
  ControlsReady = false;
  TQxBitmap* src = Quillot1->GetQxBitmap();
  const int64_t original = src ? int64_t(src->RowLen()) * src->Height() : 0;
  const std::string originalText = std::to_string(original) + " bytes";
  if (a == TabSheetJPEG1) {
    Edit22->SetText(std::to_string(W.Quality));
    TrackBar13->SetPosition(W.Quality);
    ComboBox13->SetItemIndex(W.ColorSpace);
    ComboBox1->SetItemIndex(W.DCTMethod);
    CheckBox2->SetChecked(W.OptimalHuffman);
    CheckBox3->SetChecked(W.Progressive);
    Edit23->SetText(std::to_string(W.Smooth));
    Label4->SetCaption(originalText);
  } else if (a == TabSheetJPEG2) {
    Edit16->SetText(std::to_string(W.Quality));
    TrackBar2->SetPosition(W.Quality);
    Label74->SetCaption(originalText);
  } else if (a == TabSheetJ20001) {
    int32_t r = static_cast<int32_t>(Round(W.Rate * 1000));
    Edit15->SetText(std::to_string(r));
    TrackBar1->SetPosition(r);
    ComboBox15->SetItemIndex(W.J2kColorSpace);
    Label68->SetCaption(originalText);
  } else if (a == TabSheetTIFF1) {
    ComboBox4->SetItemIndex(TiffColorsIndex(W.Samples, W.Bits));
    ComboBox2->SetItemIndex(TiffCompressionToIndex(W.TiffCompression));
    Edit1->SetText(std::to_string(W.TiffImageIndex));
    ComboBox3->SetItemIndex(W.TiffPhotometric);
    int32_t ph = ComboBox3->ItemIndex();
    if (ph >= 5 && ph <= 7) ComboBox4->SetItemIndex(4);
    else if (ph == 0 || ph == 1) ComboBox4->SetItemIndex(W.Bits == 1 ? 0 : 2);
    else if (ComboBox4->ItemIndex() == 0) ComboBox4->SetItemIndex(4);
    Edit4->SetText(W.DocumentName);
    Edit5->SetText(W.ImageDescription);
    Edit6->SetText(W.PageName);
    Edit7->SetText(std::to_string(W.PageNumber));
    Edit8->SetText(std::to_string(W.PageCount));
    Edit2->SetText(std::to_string(W.TiffXPos));
    Edit3->SetText(std::to_string(W.TiffYPos));
    Label11->SetCaption(originalText);
  } else if (a == TabSheetTIFF2) {
    ComboBox16->SetItemIndex(TiffCompressionToIndex(W.TiffCompression));
    if (W.TiffCompression >= 1 && W.TiffCompression <= 4) W.Bits = 1, W.Samples = 1;
    else if (W.TiffCompression == 7) W.Bits = 8, W.Samples = 3;
    int32_t i = TiffColorsIndex(W.Samples, W.Bits);
    ComboBox17->SetItemIndex(i == 4 ? 3 : i == 3 ? -1 : i);
    Label78->SetCaption(originalText);
  } else if (a == TabSheetGIF1) {
    ComboBox5->SetItemIndex(W.GifBits - 1);
    Edit9->SetText(std::to_string(W.GifImageIndex));
    CheckBox4->SetChecked(W.GifTransparent);
    Label34->SetEnabled(W.GifTransparent);
    Panel3->SetEnabled(W.GifTransparent);
    Panel3->SetColor(ColorOf(W.GifTranspColor));
    CheckBox5->SetChecked(W.GifInterlaced);
    Edit10->SetText(std::to_string(W.GifXPos));
    Edit11->SetText(std::to_string(W.GifYPos));
    Edit12->SetText(std::to_string(W.GifDelay));
    Panel4->SetColor(ColorOf(W.GifBackground));
    Label28->SetCaption(originalText);
  } else if (a == TabSheetGIF2) {
    ComboBox18->SetItemIndex(W.GifBits - 1);
    Label84->SetCaption(originalText);
  } else if (a == TabSheetBMP1) {
    ComboBox6->SetItemIndex(W.BmpCompression);
    ComboBox7->SetItemIndex(W.BmpColors);
    Label40->SetCaption(originalText);
  } else if (a == TabSheetPCX1) {
    ComboBox8->SetItemIndex(W.PcxCompression);
    ComboBox9->SetItemIndex(W.PcxColors);
    Label46->SetCaption(originalText);
  } else if (a == TabSheetPNG1) {
    ComboBox10->SetItemIndex(W.PngColors);
    CheckBox6->SetChecked(W.PngInterlaced);
    Panel1->SetColor(ColorOf(W.PngBackground));
    ComboBox11->SetItemIndex(W.PngFilter);
    ComboBox12->SetItemIndex(W.PngCompression);
    Label51->SetCaption(originalText);
  } else if (a == TabSheetTGA1) {
    ComboBox14->SetItemIndex(W.TgaColors);
    Panel5->SetColor(ColorOf(W.TgaBackground));
    CheckBox1->SetChecked(W.TgaCompressed);
    Edit13->SetText(W.TgaName);
    Edit14->SetText(W.TgaDescription);
    Label59->SetCaption(originalText);
  }
  ControlsReady = true;
}

void TfIOPreviews::Button1Click(TObject*) {
  TQxTabSheet* a = ActiveSheet();
  if (!a || !Params) return;
  TIOParamsVals& P = *Params;
  auto BS = [&P](int32_t B, int32_t S) { P.BitsPerSample = B, P.SamplesPerPixel = S; };
  if (a == TabSheetJPEG1 || a == TabSheetJPEG2) {
    P.JpegQuality = W.Quality;
    P.JpegColorSpace = static_cast<uint8_t>(W.ColorSpace);
    if (W.DCTMethod >= 0 && W.DCTMethod <= 2) P.JpegDCTMethod = static_cast<uint8_t>(W.DCTMethod);
    P.JpegOptimalHuffman = W.OptimalHuffman;
    P.JpegSmooth = W.Smooth;
    P.JpegProgressive = W.Progressive;
    P.FileType = qxffJPEG;
  } else if (a == TabSheetTIFF1 || a == TabSheetTIFF2) {
    P.TiffCompression = static_cast<uint8_t>(W.TiffCompression);
    P.SetAllImageIndexes(W.TiffImageIndex);
    P.TiffPhotometric = static_cast<uint8_t>(W.TiffPhotometric);
    P.TiffXPos = W.TiffXPos;
    P.TiffYPos = W.TiffYPos;
    P.TiffDocumentName = W.DocumentName;
    P.TiffImageDescription = W.ImageDescription;
    P.TiffPageName = W.PageName;
    P.TiffPageNumber = W.PageNumber;
    P.TiffPageCount = W.PageCount;
    BS(W.Bits, W.Samples);
    P.FileType = qxffTIFF;
  } else if (a == TabSheetGIF1 || a == TabSheetGIF2) {
    P.SetAllImageIndexes(W.GifImageIndex);
    P.GifXPos = W.GifXPos;
    P.GifYPos = W.GifYPos;
    P.GifDelayTime = W.GifDelay;
    P.GifTransparent = W.GifTransparent;
    P.GifTranspColor = W.GifTranspColor;
    P.GifInterlaced = W.GifInterlaced;
    P.GifBackground = W.GifBackground;
    P.BitsPerSample = W.GifBits;
    P.FileType = qxffGIF;
  } else if (a == TabSheetBMP1) {
    static const int32_t b[] = {1, 4, 8, 8, 8}, sp[] = {1, 1, 1, 3, 3};
    P.BmpCompression = static_cast<uint8_t>(W.BmpCompression);
    if (W.BmpColors >= 0 && W.BmpColors < 5) BS(b[W.BmpColors], sp[W.BmpColors]);
    P.FileType = qxffBMP;
  } else if (a == TabSheetPCX1) {
    static const int32_t b[] = {1, 4, 8, 8}, sp[] = {1, 1, 1, 3};
    P.PcxCompression = static_cast<uint8_t>(W.PcxCompression);
    if (W.PcxColors >= 0 && W.PcxColors < 4) BS(b[W.PcxColors], sp[W.PcxColors]);
    P.FileType = qxffPCX;
  } else if (a == TabSheetPNG1 || a == TabSheetTGA1) {
    static const int32_t b[] = {1, 8, 8}, sp[] = {1, 1, 3};
    int32_t c = a == TabSheetPNG1 ? W.PngColors : W.TgaColors;
    if (c >= 0 && c < 3) BS(b[c], sp[c]);
    if (a == TabSheetPNG1) {
      P.PngBackground = W.PngBackground;
      P.PngInterlaced = W.PngInterlaced;
      P.PngFilter = static_cast<uint8_t>(W.PngFilter);
      P.PngCompression = W.PngCompression;
      P.FileType = qxffPNG;
    } else {
      P.TgaBackground = W.TgaBackground;
      P.TgaCompressed = W.TgaCompressed;
      P.TgaJobName = W.TgaName;
      P.TgaImageId = W.TgaDescription;
      P.FileType = qxffTGA;
    }
  } else if (a == TabSheetJ20001) {
    static const int32_t sp[] = {1, 3, 3};
    int32_t c = std::clamp(W.J2kColorSpace, 0, 2);
    BS(8, sp[c]);
    P.J2000ColorSpace = static_cast<uint8_t>(c);
    P.J2000Rate = W.Rate;
    P.FileType = qxffJ2K;
  }
}

void TfIOPreviews::Button4Click(TObject* Sender) {
  Button1Click(Sender);
  Button4->SetEnabled(false);
}

// ---- the caller's side ----

bool QxRunPreviewsDialog(TQuillotIO& IO, uint16_t PageSet) {
  TQxBitmap* bmp = IO.WorkBitmap();
  if (!bmp || bmp->IsEmpty()) return false;
  if (bmp->PixelFormat() != TQxPixelFormat::qx24RGB && bmp->PixelFormat() != TQxPixelFormat::qx1g)
    bmp->SetPixelFormat(TQxPixelFormat::qx24RGB);
  auto* f = new TfIOPreviews(&IO);
  struct TFree {
    TfIOPreviews* F;
    ~TFree() {
      F->Quillot1->AttachExternalBitmap(nullptr);
      delete F;
    }
  } release{f};
  f->LockPreviewDefault = IO.PreviewsParams.Contains(TIOPreviewsParamsItems::ioppDefaultLockPreview);
  f->Button4->SetVisible(IO.PreviewsParams.Contains(TIOPreviewsParamsItems::ioppApplyButton));
  f->Params = IO.Params.get();
  f->SimplifiedPages = IO.SimplifiedParamsDialogs;
  if (f->SimplifiedPages) {
    const int32_t ppi = Screen ? Screen->PixelsPerInch() : 96;
    f->PageControl1->SetHeight(static_cast<int32_t>(Trunc(ppi * 1.2708333333333333)));
    f->SetHeight(static_cast<int32_t>(Trunc(ppi * 3.75)));
  }
  f->BilevelMode = IO.BilevelMode;
  f->UpdateLanguage(IO.MsgLanguage);
  f->Font()->Assign(*IO.PreviewFont());
  f->Quillot1->AttachExternalBitmap(bmp);
  f->Quillot2->ResetToBlank();
  f->Quillot1->UpdateView();
  if (!f->SelectPages(PageSet)) return false;
  if (IO.OnIOPreview) IO.OnIOPreview(&IO, f);
  bool ok = f->ShowModal() == mrOk;
  return ok;
}
