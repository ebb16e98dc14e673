#include "app/about_box.h"

#include "app/main_window.h"
#include "app/ml_functions.h"
#include "platform/base/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/dialogs.h"

namespace {

// The banner: a soft gradient with the program's name.
void DrawBanner(TImage* Image, TColor Ink, const std::string& Text) {
  TBitmap* b = Image->Picture()->Bitmap();
  b->SetPixelFormat(TPixelFormat::pf24bit);
  b->SetWidth(360);
  b->SetHeight(66);
  TCanvas* c = b->Canvas();
  for (int32_t x = 0; x < 360; ++x) {
    int32_t t = x * 60 / 359;
    c->Brush()->SetColor(RGB(uint8_t(0xE2 - t), uint8_t(0xF0 - t / 2), 0xF6));
    c->FillRect(Rect(x, 0, x + 1, 66));
  }
  c->Brush()->SetStyle(TBrushStyle::bsClear);
  c->Font()->SetName("Tahoma");
  c->Font()->SetHeight(-24);
  c->Font()->SetColor(Ink);
  c->TextOut(20, 18, Text);
}

TKvLabel* NewLabel(TFrmAbout* F, const char* Name, const char* Caption, int32_t L, int32_t T, int32_t W) {
  auto* l = new TKvLabel(F);
  l->SetName(Name);
  // Fixed boxes, so that right-aligned texts end at the same edge whatever the language makes of them.
  l->SetAutoSize(false);
  l->SetBounds(L, T, W, 14);
  l->SetCaption(Caption);
  l->SetParent(F);
  return l;
}

}  // namespace

namespace {
// A link of the box: without a program to open it the user is told so, as the toolbar and the Help menu do.
class TAboutLink : public TKvURLLabel {
 public:
  using TKvURLLabel::TKvURLLabel;
  void Click() override {
    TKvLabel::Click();
    const std::string Target = Trim(URL()).empty() ? Caption() : URL();
    if (Trim(Target).empty()) return;
    if (KvOpenURL(Target)) SetVisited(true);
    else Application->MessageBox(MsNoOpener + "\n" + Target, MsError, MB_ICONERROR);
  }
};
}  // namespace

TFrmAbout::TFrmAbout(TComponent* AOwner) : TForm(AOwner) {
  SetName("FrmAbout");
  SetCaption("About");
  SetBorderStyle(TFormBorderStyle::bsDialog);
  SetClientSize(360, 226);
  SetPosition(TPosition::poScreenCenter);
  SetScaled(false);
  SetParentColor(false);
  SetColor(0xF6F0E2);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-11);

  TImage** images[] = {&Image1, &Image2, &Image3};
  const char* names[] = {"Image1", "Image2", "Image3"};
  for (int32_t i = 0; i < 3; ++i) {
    auto* im = new TImage(this);
    im->SetName(names[i]);
    im->SetBounds(0, 0, 360, 66);
    im->SetStretch(true);
    im->SetParent(this);
    *images[i] = im;
  }
  DrawBanner(Image1, 0x804010, "Quorvel Image");
  DrawBanner(Image2, 0x604020, "Quorvel Image");
  DrawBanner(Image3, 0x404040, "Quorvel");
  Image3->SetVisible(false);

  LabelHomepage = NewLabel(this, "LabelHomepage", "Homepage:", 10, 92, 90);
  LabelEmail = NewLabel(this, "LabelEmail", "Email:", 10, 114, 90);
  for (TKvLabel* l : {LabelHomepage, LabelEmail}) {
    l->SetAlignment(taRightJustify);
    l->Font()->SetName("Arial");
  }
  KvURLLabel1 = new TAboutLink(this);
  KvURLLabel1->SetName("KvURLLabel1");
  KvURLLabel1->SetBounds(106, 92, 240, 14);
  KvURLLabel1->SetParent(this);
  KvURLLabel2 = new TAboutLink(this);
  KvURLLabel2->SetName("KvURLLabel2");
  KvURLLabel2->SetBounds(106, 114, 240, 14);
  KvURLLabel2->SetCaption("support@quorvel.example.com");
  KvURLLabel2->SetURL(QuorvelEmail);
  KvURLLabel2->SetParent(this);
  LabelCopyright = NewLabel(this, "LabelCopyright", "Copyright (C) The Quorvel developers", 10, 144, 340);
  LabelCopyright->SetAlignment(taRightJustify);
  LabelCopyright->Font()->SetHeight(-10);
  KvSeparator1 = new TKvSeparator(this);
  KvSeparator1->SetName("KvSeparator1");
  KvSeparator1->SetBounds(10, 176, 340, 2);
  KvSeparator1->SetParent(this);
  BtnOk = new TKvButton(this);
  BtnOk->SetName("BtnOk");
  BtnOk->SetBounds(270, 190, 80, 26);
  BtnOk->SetCaption("&Ok");
  BtnOk->SetDefault(true);
  BtnOk->SetModalResult(mrOk);
  // Escape closes the box as the button does.
  BtnOk->SetCancel(true);
  BtnOk->SetHotTrack(true);
  BtnOk->SetParent(this);

  OnCreate = [this](TObject* S) { FormCreate(S); };
}

void TFrmAbout::FormCreate(TObject*) { ApplyLanguage(Lang); }

void TFrmAbout::ApplyLanguage(int32_t Index) {
  Font()->SetName("Tahoma");
  Font()->SetSize(8);
  Image2->SetVisible(true);
  Image1->SetVisible(false);
  KvURLLabel1->SetCaption(QuorvelHomePage);
  KvURLLabel1->SetURL(QuorvelHomePage);
  std::string file = LanguageFileOf(Index);
  if (file.empty()) file = LanguageFileOf(0);
  ApplyLanguageSection(this, AppDir + file);
  SetCaption(Caption() + " - " + "Quorvel Image");
}

void ShowAboutBox() {
  auto* f = new TFrmAbout(Application);
  try {
    // A bad line in the language file is reported; the box still shows.
    try {
      f->DoCreate();
    } catch (const std::exception& e) {
      Application->HandleException(f, e);
    }
    f->ShowModal();
  } catch (...) {
    delete f;
    throw;
  }
  delete f;
}
