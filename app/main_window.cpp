#include "app/main_window.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "app/about_box.h"
#include "app/app_art.h"
#include "app/ml_functions.h"
#include "platform/ui/dialogs.h"
#include "controls/kv_art.h"
#include "imaging/codecs/codecs.h"
#include "imaging/dialogs/dialog_controls.h"
#include "imaging/dialogs/dialogs_init.h"
#include "imaging/dialogs/open_dialog.h"
#include "imaging/dialogs/save_dialog.h"
#include "imaging/io/quillot_io.h"
#include "imaging/vector/vect.h"
#include "imaging/view/view.h"
#include "platform/base/clock.h"
#include "platform/base/inifiles.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/graphics/bitmap.h"

std::string AppDir;
int32_t Lang = 0;
std::string MsError = "Error";
std::string MsOpenError = "Can not open file";
std::string MsNoOpener = kNoOpenerEnglish;
std::string MsPictureFiles = "Picture files";
std::string MsAllFiles = "All files";
std::string MsVideo = "Windows Video";

std::function<bool(TOpenFileNameData& Data)> RunFileDialog = [](TOpenFileNameData& Data) {
  return RunFileChooser(Data);
};

namespace {

const TColor kFormColor = 0xF6F0E2;

const char* const kLanguageFiles[] = {"Languages/English.isl", "Languages/German.isl", "Languages/Spanish.isl",
                                      "Languages/French.isl",  "Languages/Italian.isl", "Languages/Dutch.isl"};

const char* const kSaveFilter =
    "TIFF Bitmap (*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif)|*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif|"
    "CompuServe Bitmap (*.gif)|*.gif|"
    "JPEG Bitmap (*.jpg;*.jpeg;*.jpe;*.jif)|*.jpg;*.jpeg;*.jpe;*.jif|"
    "PaintBrush (*.pcx)|*.pcx|"
    "Windows Bitmap (*.bmp;*.dib;*.rle)|*.bmp;*.dib;*.rle|"
    "Windows Icon (*.ico)|*.ico|"
    "Portable Network Graphics (*.png)|*.png|"
    "Targa Bitmap (*.tga;*.targa;*.vda;*.icb;*.vst;*.pix)|*.tga;*.targa;*.vda;*.icb;*.vst;*.pix|"
    "Portable Pixmap, GrayMap, BitMap (*.pxm;*.ppm;*.pgm;*.pbm)|*.pxm;*.ppm;*.pgm;*.pbm|"
    "Wireless Bitmap (*.wbmp)|*.wbmp|"
    "JPEG2000 (*.jp2)|*.jp2|"
    "JPEG2000 Code Stream (*.j2k;*.jpc;*.j2c)|*.j2k;*.jpc;*.j2c|"
    "PostScript Level 2 (*.ps;*.eps)|*.ps;*.eps|"
    "Adobe PDF (*.pdf)|*.pdf|"
    "Multipage PCX (*.dcx)|*.dcx|"
    "Photoshop PSD (*.psd)|*.psd";

// The open dialog's types; the names of the first two and of the video type come from the language file.
std::string OpenFilter(const std::string& Pictures, const std::string& All, const std::string& Video) {
  return Pictures + " ("
    "*.tif;*.gif;*.jpg;*.pcx;*.bmp;*.ico;*.cur;*.png;*.dcm;*.wmf;*.emf;*.tga;*.pxm;*.wbmp;*.jp2;"
    "*.j2k;*.dcx;*.crw;*.psd;*.qxv;*.lyr;*.all;*.avi;*.mpg;*.wmv)|"
    "*.tif;*.gif;*.jpg;*.pcx;*.bmp;*.ico;*.cur;*.png;*.dcm;*.wmf;*.emf;*.tga;*.pxm;*.wbmp;*.jp2;"
    "*.j2k;*.dcx;*.crw;*.psd;*.qxv;*.lyr;*.all;*.avi;*.mpg;*.wmv|" +
    All + " (*.*)|*.*|"
    "TIFF Bitmap (*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif)|*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif|"
    "CompuServe Bitmap (*.gif)|*.gif|"
    "JPEG Bitmap (*.jpg;*.jpeg;*.jpe;*.jif)|*.jpg;*.jpeg;*.jpe;*.jif|"
    "PaintBrush (*.pcx)|*.pcx|"
    "Windows Bitmap (*.bmp;*.dib;*.rle)|*.bmp;*.dib;*.rle|"
    "Windows Icon (*.ico)|*.ico|"
    "Windows Cursor (*.cur)|*.cur|"
    "Portable Network Graphics (*.png)|*.png|"
    "DICOM Bitmap (*.dcm;*.dic;*.dicom)|*.dcm;*.dic;*.dicom|"
    "Windows Metafile (*.wmf)|*.wmf|"
    "Enhanced Windows Metafile (*.emf)|*.emf|"
    "Targa Bitmap (*.tga;*.targa;*.vda;*.icb;*.vst;*.pix)|*.tga;*.targa;*.vda;*.icb;*.vst;*.pix|"
    "Portable Pixmap, GrayMap, BitMap (*.pxm;*.ppm;*.pgm;*.pbm)|*.pxm;*.ppm;*.pgm;*.pbm|"
    "Wireless Bitmap (*.wbmp)|*.wbmp|"
    "JPEG2000 (*.jp2)|*.jp2|"
    "JPEG2000 Code Stream (*.j2k;*.jpc;*.j2c)|*.j2k;*.jpc;*.j2c|"
    "Multipage PCX (*.dcx)|*.dcx|"
    "Camera RAW (*.crw;*.cr2;*.nef;*.raw;*.pef;*.raf;*.x3f;*.bay;*.orf;*.srf;*.mrw;*.dcr;*.sr2)|"
    "*.crw;*.cr2;*.nef;*.raw;*.pef;*.raf;*.x3f;*.bay;*.orf;*.srf;*.mrw;*.dcr;*.sr2|"
    "Photoshop PSD (*.psd)|*.psd|"
    "Vectorial objects (*.qxv)|*.qxv|"
    "Layers (*.lyr)|*.lyr|"
    "Layers and objects (*.all)|*.all|" +
    Video + " (*.avi)|*.avi|"
    "Mpeg (*.mpeg;*.mpg)|*.mpeg;*.mpg|"
    "Windows Media Video (*.wmv)|*.wmv";
}

template <class T>
T* Make(TComponent* Owner, TWinControl* Parent, const char* Name, int32_t L, int32_t T_, int32_t W, int32_t H) {
  T* c = new T(Owner);
  c->SetName(Name);
  c->SetBounds(L, T_, W, H);
  if (Parent) c->SetParent(Parent);
  return c;
}

// The look the main window's group boxes share: a caption underlined, the face of the panel behind.
void StyleGroupBox(TKvGroupBox* G) {
  G->SetGroupStyle(TKvGroupBoxStyle::gsUnderline);
  G->SetVisualStyle(TKvVisualStyle::vsGradient);
  G->SetParentColor(true);
}

// The tool buttons' gradient selection; the bar's buttons show their captions under the picture.
void StyleToolButton(TKvToolButton* B, bool WithCaption) {
  B->SetVisualStyle(TKvVisualStyle::vsGradient);
  B->SetGradientColorStyle(TKvGradientColorStyle::gcsCustom);
  B->SetSelectionColorStart(15979149);
  B->SetSelectionColorStop(14789433);
  B->SetSelectionFrameColor(13664560);
  B->SetUseToolbarButtonLayout(false);
  B->SetUseToolbarButtonSize(false);
  B->SetUseToolbarShowCaption(false);
  B->SetUseToolbarVisualStyle(false);
  if (!WithCaption) return;
  B->SetLayout(TButtonLayout::blGlyphTop);
  B->SetShowCaption(true);
}

// The look every track bar of the window shares, set as a form would stream it.
void PlaceTrackBar(TKvTrackBar* T) {
  T->BeginLoading();
  T->SetMax(100);
  T->SetPosition(0);
  T->SetThumbStyle(tsCustom);
  T->SetCustomThumb(KvLoadArt("TRACKBAR_ROUND_THUMB").get());
  T->SetShowTicks(false);
  T->SetTrackColor(16183522);
  T->SetTrackOffset(10);
  T->SetTrackFrame(fsFlat);
  T->SetTrackFrameColor(13408306);
  T->SetTrackWidth(4);
  T->EndLoading();
}

// A spin edit of the window: limits and value set as a form would stream them.
void PlaceSpinEdit(TKvSpinEdit* E, int32_t Min, int32_t Max, int32_t Value) {
  E->BeginLoading();
  E->SetMin(Min);
  E->SetMax(Max);
  E->SetValue(Value);
  E->SetAllowBlank(true);
  E->SetAllowKeyEdit(true);
  E->SetFlatButtons(true);
  E->SetFrameVisible(true);
  E->EndLoading();
}

TMenuItem* MenuItem(TComponent* Owner, TMenuItem* Parent, const char* Name, const std::string& Caption) {
  auto* m = new TMenuItem(Owner);
  m->SetName(Name);
  m->SetCaption(Caption);
  Parent->Add(m);
  return m;
}

std::unique_ptr<TBitmap> NewBitmap(int32_t W, int32_t H, TColor Fill) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(TPixelFormat::pf24bit);
  b->SetWidth(W);
  b->SetHeight(H);
  TCanvas* c = b->Canvas();
  c->Brush()->SetColor(Fill);
  c->FillRect(Rect(0, 0, W, H));
  return b;
}

// Glyph of a side button: the picture and, paler, its mirror on that side, over Fill.
std::unique_ptr<TBitmap> SideGlyph(int32_t Side, TColor Fill = clFuchsia) {
  static const char* const kNames[] = {"side_left", "side_top", "side_right", "side_bottom"};
  const int32_t i = Side >= qxSideLeft && Side <= qxSideBottom ? Side - qxSideLeft : 3;
  if (auto g = AppArtOver(kNames[i], Fill)) return g;
  return NewBitmap(24, 24, Fill);
}

// A side button's picture: 33 x 23 on olive (drawn transparent), raised, hot or pressed in.
const TColor kChosenSideFace = TColor(0x8CDCFF);   // light amber
const TColor kChosenSideFrame = TColor(0x0068D8);  // deep orange

std::unique_ptr<TBitmap> SideButtonPicture(int32_t Side, int32_t State) {
  auto b = NewBitmap(33, 23, clOlive);
  TCanvas* c = b->Canvas();
  TRect face = Rect(0, 0, 33, 23);
  // The chosen side must stand out from the three others at a glance: a warm face inside a strong
  // two-pixel frame, where the others are plain raised buttons.
  c->Brush()->SetColor(State == 2 ? kChosenSideFace : clBtnFace);
  c->FillRect(face);
  if (State == 2)
    KvPaintSideBands(c, face, kChosenSideFrame, kChosenSideFrame, 2, KvAllSides);
  else
    KvPaintSideBands(c, face, clBtnHighlight, State == 1 ? TColor(0xC08040) : clBtnShadow, 1, KvAllSides);
  auto g = SideGlyph(Side, clOlive);
  int32_t d = State == 2 ? 1 : 0;
  KvBlitTransparent(c, g.get(), Bounds(4 + d, d, 24, 24), Rect(0, 0, 24, 24), clOlive);
  // The olive corners let the parent show round the face.
  for (TPoint p : {Point(0, 0), Point(32, 0), Point(0, 22), Point(32, 22)}) c->SetPixels(p.X, p.Y, clOlive);
  return b;
}

}  // namespace

std::string LanguageFileOf(int32_t Index) {
  if (Index < 0 || Index > 5) return "";
  return kLanguageFiles[Index];
}

void LoadMessageTexts(const std::string& FileName) {
  TMemIniFile ini(FileName);
  // A text the file lacks (or no file at all) stays English rather than empty.
  MsError = ExpandLineBreaks(ini.ReadString("Messages", "Ms_Error", "Error"));
  MsOpenError = ExpandLineBreaks(ini.ReadString("Messages", "Ms_OpenError", "Can not open file"));
  MsNoOpener = ExpandLineBreaks(ini.ReadString("Messages", "Ms_NoOpener", kNoOpenerEnglish));
  MsPictureFiles = ini.ReadString("Messages", "Ms_PictureFiles", "Picture files");
  MsAllFiles = ini.ReadString("Messages", "Ms_AllFiles", "All files");
  MsVideo = ini.ReadString("Messages", "Ms_Video", "Windows Video");
  // The file chooser's own texts; line breaks are written #13#10 as in the other messages.
  const TFileChooserTexts English;
  auto Text = [&ini](const char* Key, const std::string& Default) {
    const std::string T = ini.ReadString("FileDialog", Key, "");
    return T.empty() ? Default : StringReplace(ExpandLineBreaks(T), "\r\n", "\n", rfReplaceAll);
  };
  FileChooserTexts.FileName = Text("FileName", English.FileName);
  FileChooserTexts.FilesOfType = Text("FilesOfType", English.FilesOfType);
  FileChooserTexts.Open = Text("Open", English.Open);
  FileChooserTexts.Save = Text("Save", English.Save);
  FileChooserTexts.Cancel = Text("Cancel", English.Cancel);
  FileChooserTexts.UpOneLevel = Text("UpOneLevel", English.UpOneLevel);
  FileChooserTexts.PathNotFound = Text("PathNotFound", English.PathNotFound);
  FileChooserTexts.FileNotFound = Text("FileNotFound", English.FileNotFound);
  FileChooserTexts.Replace = Text("Replace", English.Replace);
}

void TFrmQuorvel::DrawBanner() {
  const int32_t w = std::max(1, Image1->Width()), h = std::max(1, Image1->Height());
  TBitmap* b = Image1->Picture()->Bitmap();
  if (b->Width() == w && b->Height() == h) return;
  b->SetPixelFormat(TPixelFormat::pf24bit);
  b->SetWidth(w);
  b->SetHeight(h);
  TCanvas* c = b->Canvas();
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  for (int32_t y = 0; y < h; ++y) {
    int32_t t = y * 255 / std::max(1, h - 1);
    c->Brush()->SetColor(RGB(uint8_t(0xE2 - t / 8), uint8_t(0xF0 - t / 12), uint8_t(0xF6 - t / 20)));
    c->FillRect(Rect(0, y, w, y + 1));
  }
  c->Brush()->SetStyle(TBrushStyle::bsClear);
  c->Font()->SetName("Tahoma");
  c->Font()->SetHeight(-22);
  c->Font()->SetColor(0x804010);
  c->TextOut(std::max(340, w - 270), 22, "Quorvel Image");
  Image1->Invalidate();
}

TFrmQuorvel::TFrmQuorvel(TComponent* AOwner) : TForm(AOwner) {
  // Before the first view exists, so that the library's start-up sees every codec's steps.
  QxRegisterFurtherCodecs();
  QxRegisterDialogs();
  QxVectInstallFileHooks();
  SetName("FrmQuorvel");
  BuildComponents();
  BindEvents();
}

TFrmQuorvel::~TFrmQuorvel() {
  // OnDestroy runs while the form is whole, also when its creator deletes it directly.
  BeforeDestruction();
  delete Source;
  Source = nullptr;
}

void TFrmQuorvel::BuildComponents() {
  SetCaption("Quorvel");
  SetBounds(0, 0, 740, 540);
  Constraints().MinWidth = 600;
  Constraints().MinHeight = 512;
  SetPosition(TPosition::poScreenCenter);
  SetScaled(false);
  SetParentColor(false);
  SetColor(kFormColor);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-11);

  ImageListBar = new TImageList(this);
  ImageListBar->SetName("ImageListBar");
  ImageListBar->SetWidth(40);
  ImageListBar->SetHeight(40);
  ImageListBtn = new TImageList(this);
  ImageListBtn->SetName("ImageListBtn");
  ImageListBtn->SetWidth(16);
  ImageListBtn->SetHeight(16);
  MakeArtwork();

  KvPanel1 = Make<TKvPanel>(this, this, "KvPanel1", 0, 0, 740, 75);
  KvPanel1->SetAlign(alTop);
  KvPanel1->SetBorderOuter(TFrameStyleEx::fsNone);
  KvPanel1->SetParentColor(true);
  Image1 = Make<TImage>(this, KvPanel1, "Image1", 0, 0, 740, 75);
  Image1->SetAlign(alClient);
  Image1->SetStretch(true);
  // The banner is drawn again at each size the panel takes, so its lettering keeps its shape.
  Image1->OnResize = [this](TObject*) { DrawBanner(); };
  DrawBanner();
  BtnOpen = Make<TKvToolButton>(this, KvPanel1, "BtnOpen", 8, 6, 80, 64);
  StyleToolButton(BtnOpen, true);
  BtnOpen->SetCaption("&Open");
  BtnOpen->SetImages(ImageListBar);
  BtnOpen->SetImageIndex(0);
  BtnSaveAs = Make<TKvToolButton>(this, KvPanel1, "BtnSaveAs", 92, 6, 110, 64);
  StyleToolButton(BtnSaveAs, true);
  BtnSaveAs->SetCaption("&Save As");
  BtnSaveAs->SetImages(ImageListBar);
  BtnSaveAs->SetImageIndex(1);
  BtnSaveAs->SetDisabledIndex(2);
  BtnSaveAs->SetEnabled(false);
  BtnNewVer = Make<TKvToolButton>(this, KvPanel1, "BtnNewVer", 206, 6, 120, 64);
  StyleToolButton(BtnNewVer, true);
  BtnNewVer->SetCaption("The latest version");
  BtnNewVer->SetImages(ImageListBar);
  BtnNewVer->SetImageIndex(3);

  KvStatusBar1 = Make<TKvStatusBar>(this, this, "KvStatusBar1", 0, 500, 740, 23);
  KvStatusBar1->SetAlign(alBottom);
  KvStatusPane1 = Make<TKvStatusPane>(this, KvStatusBar1, "KvStatusPane1", 0, 0, 400, 19);
  KvStatusPane1->SetAlign(alClient);

  KvPanel2 = Make<TKvPanel>(this, this, "KvPanel2", 0, 75, 740, 425);
  KvPanel2->SetAlign(alClient);
  KvPanel2->SetBorderOuter(TFrameStyleEx::fsNone);
  KvPanel2->SetParentColor(true);
  KvPanel2->SetBorderWidth(5);

  KvPageControl1 = Make<TKvPageControl>(this, KvPanel2, "KvPageControl1", 480, 5, 250, 415);
  KvPageControl1->SetAlign(alRight);
  KvPageControl1->SetTabStyle(TKvTabStyle::tsRoundCorners);
  KvPageControl1->SetShowShadow(false);
  KvPageControl1->SetFlatColor(13408306);
  KvPageControl1->SetFlatColorAdjustment(30);
  KvPageControl1->SetFixedDimension(19);
  TabSheet1 = new TKvTabSheet(this);
  TabSheet1->SetName("TabSheet1");
  TabSheet1->SetColor(16183522);
  TabSheet1->SetPageControl(KvPageControl1);
  TabSheet1->SetCaption("Standard");
  KvPanel3 = Make<TKvPanel>(this, TabSheet1, "KvPanel3", 0, 0, 246, 390);
  KvPanel3->SetAlign(alClient);
  KvPanel3->SetBorderOuter(TFrameStyleEx::fsNone);
  KvPanel3->SetParentColor(true);

  KvGroupBox1 = Make<TKvGroupBox>(this, KvPanel3, "KvGroupBox1", 6, 4, 234, 100);
  StyleGroupBox(KvGroupBox1);
  Label6 = Make<TKvLabel>(this, KvGroupBox1, "Label6", 10, 6, 120, 14);
  Label6->SetCaption("Position");
  BtnLeft = Make<TKvBmpButton>(this, KvGroupBox1, "BtnLeft", 10, 28, 33, 23);
  BtnTop = Make<TKvBmpButton>(this, KvGroupBox1, "BtnTop", 46, 28, 33, 23);
  BtnRight = Make<TKvBmpButton>(this, KvGroupBox1, "BtnRight", 82, 28, 33, 23);
  BtnBottom = Make<TKvBmpButton>(this, KvGroupBox1, "BtnBottom", 118, 28, 33, 23);
  {
    TKvBmpButton* sides[] = {BtnLeft, BtnTop, BtnRight, BtnBottom};
    for (int32_t i = 0; i < 4; ++i) {
      TKvBmpButton* b = sides[i];
      b->BeginLoading();
      b->SetGroupIndex(2);
      b->SetTag(i + 1);
      b->Bitmaps()->SetUp(SideButtonPicture(i + 1, 0).get());
      b->Bitmaps()->SetHot(SideButtonPicture(i + 1, 1).get());
      b->Bitmaps()->SetDown(SideButtonPicture(i + 1, 2).get());
      b->Bitmaps()->SetTransparentColor(clOlive);
      b->SetColor(clBtnFace);
      b->SetTabStop(false);
      if (b == BtnBottom) b->SetDown(true);
      b->EndLoading();
    }
  }
  Image2 = Make<TImage>(this, KvGroupBox1, "Image2", 176, 20, 40, 40);
  Image2->SetStretch(true);
  Image2->Picture()->Bitmap()->Assign(*SideGlyph(qxSideBottom, kFormColor));
  Label8 = Make<TKvLabel>(this, KvGroupBox1, "Label8", 10, 70, 80, 14);
  Label8->SetCaption("Space");
  SpinEditSpc = Make<TKvSpinEdit>(this, KvGroupBox1, "SpinEditSpc", 96, 66, 70, 21);
  PlaceSpinEdit(SpinEditSpc, -500, 500, 0);

  KvGroupBox2 = Make<TKvGroupBox>(this, KvPanel3, "KvGroupBox2", 6, 108, 234, 60);
  StyleGroupBox(KvGroupBox2);
  Label7 = Make<TKvLabel>(this, KvGroupBox2, "Label7", 10, 6, 120, 14);
  Label7->SetCaption("Size");
  TrackBarSize = Make<TKvTrackBar>(this, KvGroupBox2, "TrackBarSize", 4, 26, 181, 24);
  PlaceTrackBar(TrackBarSize);
  Label9 = Make<TKvLabel>(this, KvGroupBox2, "Label9", 186, 31, 40, 14);
  Label9->SetCaption("100%");

  KvGroupBox4 = Make<TKvGroupBox>(this, KvPanel3, "KvGroupBox4", 6, 172, 234, 90);
  StyleGroupBox(KvGroupBox4);
  Label10 = Make<TKvLabel>(this, KvGroupBox4, "Label10", 10, 6, 120, 14);
  Label10->SetCaption("Transparency");
  TrackBarTranBegin = Make<TKvTrackBar>(this, KvGroupBox4, "TrackBarTranBegin", 4, 26, 181, 24);
  PlaceTrackBar(TrackBarTranBegin);
  Label1 = Make<TKvLabel>(this, KvGroupBox4, "Label1", 186, 31, 40, 14);
  Label1->SetCaption("0%");
  TrackBarTranEnd = Make<TKvTrackBar>(this, KvGroupBox4, "TrackBarTranEnd", 4, 56, 181, 24);
  PlaceTrackBar(TrackBarTranEnd);
  Label2 = Make<TKvLabel>(this, KvGroupBox4, "Label2", 186, 61, 40, 14);
  Label2->SetCaption("100%");

  KvGroupBox5 = Make<TKvGroupBox>(this, KvPanel3, "KvGroupBox5", 6, 266, 234, 90);
  StyleGroupBox(KvGroupBox5);
  Label12 = Make<TKvLabel>(this, KvGroupBox5, "Label12", 10, 6, 120, 14);
  Label12->SetCaption("Color");
  RadioButtonColor = Make<TKvRadioButton>(this, KvGroupBox5, "RadioButtonColor", 14, 26, 200, 17);
  RadioButtonColor->SetHotTrack(true);
  RadioButtonColor->SetCaption("Colorful");
  RadioButtonH = Make<TKvRadioButton>(this, KvGroupBox5, "RadioButtonH", 14, 46, 200, 17);
  RadioButtonH->SetHotTrack(true);
  RadioButtonH->SetCaption("Gray");
  RadioButtonBW = Make<TKvRadioButton>(this, KvGroupBox5, "RadioButtonBW", 14, 66, 200, 17);
  RadioButtonBW->SetHotTrack(true);
  RadioButtonBW->SetCaption("Black && White");
  RadioButtonColor->SetChecked(true);

  TabSheet2 = new TKvTabSheet(this);
  TabSheet2->SetName("TabSheet2");
  TabSheet2->SetColor(16183522);
  TabSheet2->SetPageControl(KvPageControl1);
  TabSheet2->SetCaption("Additional");
  KvPanel7 = Make<TKvPanel>(this, TabSheet2, "KvPanel7", 0, 0, 246, 390);
  KvPanel7->SetAlign(alClient);
  KvPanel7->SetBorderOuter(TFrameStyleEx::fsNone);
  KvPanel7->SetParentColor(true);

  KvGroupBox6 = Make<TKvGroupBox>(this, KvPanel7, "KvGroupBox6", 6, 4, 234, 86);
  StyleGroupBox(KvGroupBox6);
  Label14 = Make<TKvLabel>(this, KvGroupBox6, "Label14", 10, 6, 150, 14);
  Label14->SetCaption("Alpha Channel");
  CheckBoxRemoveAlpa = Make<TKvCheckBox>(this, KvGroupBox6, "CheckBoxRemoveAlpa", 14, 26, 210, 17);
  CheckBoxRemoveAlpa->SetHotTrack(true);
  CheckBoxRemoveAlpa->SetCaption("Remove Alpha Channel");
  PanelBkColor = Make<TKvPanel>(this, KvGroupBox6, "PanelBkColor", 14, 54, 41, 17);
  PanelBkColor->SetBorderOuter(TFrameStyleEx::fsFlat);
  PanelBkColor->SetColor(clWhite);
  PanelBkColor->SetCursor(crHandPoint);
  Label11 = Make<TKvLabel>(this, KvGroupBox6, "Label11", 62, 56, 160, 14);
  Label11->SetCaption("Background fill color");

  KvGroupBox3 = Make<TKvGroupBox>(this, KvPanel7, "KvGroupBox3", 6, 96, 234, 126);
  StyleGroupBox(KvGroupBox3);
  CheckBoxWave = Make<TKvCheckBox>(this, KvGroupBox3, "CheckBoxWave", 14, 6, 200, 17);
  CheckBoxWave->SetHotTrack(true);
  CheckBoxWave->SetCaption("Wave");
  Label3 = Make<TKvLabel>(this, KvGroupBox3, "Label3", 14, 36, 90, 14);
  Label3->SetCaption("Amplitude");
  SpinEditZF = Make<TKvSpinEdit>(this, KvGroupBox3, "SpinEditZF", 120, 32, 70, 21);
  PlaceSpinEdit(SpinEditZF, 0, 100, 10);
  Label4 = Make<TKvLabel>(this, KvGroupBox3, "Label4", 14, 66, 90, 14);
  Label4->SetCaption("Wave Length");
  SpinEditBC = Make<TKvSpinEdit>(this, KvGroupBox3, "SpinEditBC", 120, 62, 70, 21);
  PlaceSpinEdit(SpinEditBC, 0, 100, 30);
  Label5 = Make<TKvLabel>(this, KvGroupBox3, "Label5", 14, 96, 90, 14);
  Label5->SetCaption("Phase");
  SpinEditXW = Make<TKvSpinEdit>(this, KvGroupBox3, "SpinEditXW", 120, 92, 70, 21);
  PlaceSpinEdit(SpinEditXW, 0, 359, 0);
  KvPageControl1->SetActivePage(TabSheet1);

  KvPanel8 = Make<TKvPanel>(this, KvPanel2, "KvPanel8", 475, 5, 5, 415);
  KvPanel8->SetAlign(alRight);
  KvPanel8->SetBorderOuter(TFrameStyleEx::fsNone);
  KvPanel8->SetParentColor(true);

  KvPanel4 = Make<TKvPanel>(this, KvPanel2, "KvPanel4", 5, 5, 470, 415);
  KvPanel4->SetAlign(alClient);
  KvPanel4->SetBorderOuter(TFrameStyleEx::fsFlat);
  KvPanel4->SetParentColor(true);
  KvPanel5 = Make<TKvPanel>(this, KvPanel4, "KvPanel5", 0, 377, 468, 36);
  KvPanel5->SetAlign(alBottom);
  KvPanel5->SetBorderOuter(TFrameStyleEx::fsNone);
  KvPanel5->SetParentColor(true);
  KvPanel6 = Make<TKvPanel>(this, KvPanel5, "KvPanel6", 0, 0, 140, 36);
  KvPanel6->SetAlign(alLeft);
  KvPanel6->SetBorderOuter(TFrameStyleEx::fsNone);
  KvPanel6->SetParentColor(true);
  {
    struct {
      TKvToolButton** Btn;
      const char* Name;
      const char* Hint;
      int32_t Image;
    } zoom[] = {{&BtnFit, "BtnFit", "Fit", 3},
                {&BtnReal, "BtnReal", "Real size", 4},
                {&BtnZoomOut, "BtnZoomOut", "Zoom in", 5},
                {&BtnZoomIn, "BtnZoomIn", "Zoom out", 6}};
    for (int32_t i = 0; i < 4; ++i) {
      TKvToolButton* b = Make<TKvToolButton>(this, KvPanel6, zoom[i].Name, 6 + i * 32, 5, 26, 26);
      StyleToolButton(b, false);
      b->SetHint(zoom[i].Hint);
      b->SetShowHint(true);
      b->SetImages(ImageListBtn);
      b->SetImageIndex(zoom[i].Image);
      *zoom[i].Btn = b;
    }
  }
  QuillotDis = Make<TQuillot>(this, KvPanel4, "QuillotDis", 1, 1, 468, 376);
  QuillotDis->SetAlign(alClient);
  QuillotDis->SetBorderStyle(TBorderStyle::bsNone);
  QuillotDis->SetZoomFilter(TResampleFilter::rfFastLinear);
  QuillotDis->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
  QuillotDis->EnableInteractionHints = true;

  MakeMenuStyler();
  StyMainMenu1 = new StyMenus::TStyMainMenu(this);
  StyMainMenu1->BeginLoading();
  StyMainMenu1->SetName("StyMainMenu1");
  StyMainMenu1->SetAutoHotkeys(TMenuAutoFlag::maManual);
  StyMainMenu1->SetImages(ImageListBtn);
  StyMainMenu1->SetMenuStyler(StyMenuFantasyStyler1);
  TMenuItem* root = StyMainMenu1->Items();
  M_Files = MenuItem(this, root, "M_Files", "  &File  ");
  M_Open = MenuItem(this, M_Files, "M_Open", "&Open...");
  M_Open->SetImageIndex(0);
  M_SaveAs = MenuItem(this, M_Files, "M_SaveAs", "&Save As...");
  M_SaveAs->SetImageIndex(1);
  N4 = MenuItem(this, M_Files, "N4", "-");
  M_Close = MenuItem(this, M_Files, "M_Close", "E&xit");
  M_Close->SetShortCut(TShortCut(scAlt | VK_F4));
  M_Language = MenuItem(this, root, "M_Language", "  &Languages  ");
  TMenuItem** langs[] = {&M_English, &M_German, &M_Spanish, &M_French, &M_Italian, &M_Dutch};
  const char* langNames[] = {"M_English", "M_German", "M_Spanish", "M_French", "M_Italian", "M_Dutch"};
  const char* langCaptions[] = {"English", "German", "Spanish", "French", "Italian", "Dutch"};
  for (int32_t i = 0; i < 6; ++i) {
    TMenuItem* m = MenuItem(this, M_Language, langNames[i], langCaptions[i]);
    m->SetRadioItem(true);
    m->SetGroupIndex(1);
    m->SetTag(i);
    *langs[i] = m;
  }
  M_English->SetChecked(true);
  M_Help = MenuItem(this, root, "M_Help", "  &Help  ");
  M_HomePage = MenuItem(this, M_Help, "M_HomePage", "Home&page");
  M_HomePage->SetImageIndex(2);
  N1 = MenuItem(this, M_Help, "N1", "-");
  M_About = MenuItem(this, M_Help, "M_About", "&About...");
  StyMainMenu1->EndLoading();
  SetMenu(StyMainMenu1);

  ColorDialog1 = new TColorDialog(this);
  ColorDialog1->SetName("ColorDialog1");

  // The library's dialogs, shown through RunFileDialog so that tests can answer them.
  auto runner = [](TOpenFileNameData& D) { return RunFileDialog(D); };
  OpenQuillotDialog1 = new TOpenQuillotDialog(this);
  OpenQuillotDialog1->SetName("OpenQuillotDialog1");
  OpenQuillotDialog1->AutoSetFilter = false;
  OpenQuillotDialog1->Filter = OpenFilter(MsPictureFiles, MsAllFiles, MsVideo);
  OpenQuillotDialog1->Title = "Open Picture";
  OpenQuillotDialog1->Options.Include(TOpenOption::ofFileMustExist);
  OpenQuillotDialog1->DialogFunction = runner;
  SaveQuillotDialog1 = new TSaveQuillotDialog(this);
  SaveQuillotDialog1->SetName("SaveQuillotDialog1");
  SaveQuillotDialog1->Options = TOpenOptions{TOpenOption::ofOverwritePrompt, TOpenOption::ofHideReadOnly};
  SaveQuillotDialog1->AutoSetFilter = false;
  SaveQuillotDialog1->ExOptions = TQxSaveDlgOpt{TQxSaveDlgOptItem::sdShowPreview, TQxSaveDlgOptItem::sdShowAdvanced};
  SaveQuillotDialog1->Title = "Save As";
  SaveQuillotDialog1->Filter = kSaveFilter;
  SaveQuillotDialog1->DialogFunction = runner;
}

void TFrmQuorvel::MakeMenuStyler() {
  using namespace StyMenus;
  auto* S = new TStyMenuFantasyStyler(this);
  StyMenuFantasyStyler1 = S;
  S->BeginLoading();
  S->SetName("StyMenuFantasyStyler1");
  S->SetStyle(TFantasyStyle::fsCustom);
  auto Tahoma = [](TFont* F, int32_t Height, TColor Color, TFontStyles Style) {
    F->SetName("Tahoma");
    F->SetHeight(Height);
    F->SetColor(Color);
    F->SetStyle(Style);
  };
  const auto gdV = StyMenus::TGradientDirection::gdVertical, gdH = StyMenus::TGradientDirection::gdHorizontal;
  TBackground* B = S->Background();
  B->SetPosition(TBackgroundPosition::bpCenter);
  B->SetColor(clWhite);
  B->SetColorTo(clWhite);
  B->SetGradientDirection(gdH);
  TIconBar* I = S->IconBar();
  I->SetColor(clWhite);
  I->SetColorTo(0xF3D28D);
  I->SetGradientDirection(gdV);
  I->SetCheckColor(0, 0xA7EDFF);
  I->SetCheckColor(1, clWhite);
  I->SetCheckBorder(clNone);
  I->SetCheckGradientDirection(gdH);
  I->SetRadioColor(0, 0xA7EDFF);
  I->SetRadioColor(1, clWhite);
  I->SetRadioBorder(clNone);
  I->SetRadioGradientDirection(gdH);
  TSelectedItem* Sel = S->SelectedItem();
  Sel->SetColor(0xF3D28D);
  Sel->SetColorTo(0xE1AB39);
  Sel->SetBorderColor(0xD08130);
  Tahoma(Sel->Font(), -11, clWhite, {});
  Sel->SetUseSystemFont(false);
  Sel->SetCheckColor(0, clNone);
  Sel->SetCheckBorder(0xD08130);
  Sel->SetCheckGradientDirection(gdH);
  Sel->SetRadioColor(0, clNone);
  Sel->SetRadioBorder(0xD08130);
  TRootItem* R = S->RootItem();
  R->SetColor(0xF3D28D);
  R->SetColorTo(0xE1AB39);
  R->SetGradientDirection(gdV);
  Tahoma(R->Font(), -11, clWhite, {});
  R->SetSelectedColor(0, 0xF3D28D);
  R->SetSelectedColor(1, clWhite);
  R->SetSelectedBorderColor(0xD08130);
  R->SetSelectedTextColor(clBlack);
  R->SetHoverColor(0, 0xF3D28D);
  R->SetHoverColor(1, 0xF3D28D);
  R->SetHoverBorderColor(0xD08130);
  R->SetHoverTextColor(clBlack);
  TSideBar* SB = S->SideBar();
  Tahoma(SB->Font(), -19, clWhite, {TFontStyle::fsBold, TFontStyle::fsItalic});
  SB->Image()->SetPosition(TBackgroundPosition::bpCenter);
  SB->Background()->SetPosition(TBackgroundPosition::bpCenter);
  SB->SetSplitterColorTo(clBlack);
  S->Separator()->SetColor(0xE6E0B0);
  S->Separator()->SetColorTo(0xE6E0B0);
  S->Separator()->SetGradientType(TGradientType::gtBoth);
  Tahoma(S->Font(), -11, 0x26B0FB, {});
  S->SetMenuBorderColor(clNone);
  S->EndLoading();
}

void TFrmQuorvel::MakeArtwork() {
  // Tool-bar pictures: open, save, save (disabled), latest version.
  auto bar = NewBitmap(160, 40, clFuchsia);
  TCanvas* c = bar->Canvas();
  c->Pen()->SetColor(0x2070A0);
  c->Brush()->SetColor(0x60C8F0);
  c->Rectangle(4, 12, 36, 34);
  c->Rectangle(4, 8, 18, 13);
  for (int32_t k = 0; k < 2; ++k) {
    int32_t x = 40 + k * 40;
    c->Pen()->SetColor(k ? 0x808080 : 0x804010);
    c->Brush()->SetColor(k ? 0xC0C0C0 : 0xD08040);
    c->Rectangle(x + 6, 6, x + 34, 34);
    c->Brush()->SetColor(clWhite);
    c->Rectangle(x + 11, 6, x + 29, 17);
    c->Brush()->SetColor(k ? 0xA0A0A0 : 0x603010);
    c->Rectangle(x + 12, 23, x + 28, 34);
  }
  c->Pen()->SetColor(0x206020);
  c->Brush()->SetColor(0x50B050);
  c->Ellipse(126, 6, 154, 34);
  c->MoveTo(126, 20);
  c->LineTo(154, 20);
  c->MoveTo(140, 6);
  c->LineTo(140, 34);
  ImageListBar->AddMasked(bar.get(), clFuchsia);

  // Menu and zoom pictures: open, save, home page, fit, real size, zoom in, zoom out.
  auto btn = NewBitmap(112, 16, clFuchsia);
  c = btn->Canvas();
  c->Pen()->SetColor(0x2070A0);
  c->Brush()->SetColor(0x60C8F0);
  c->Rectangle(1, 4, 15, 14);
  c->Pen()->SetColor(0x804010);
  c->Brush()->SetColor(0xD08040);
  c->Rectangle(17, 1, 31, 15);
  c->Pen()->SetColor(0x206020);
  c->Brush()->SetColor(0x50B050);
  c->Ellipse(33, 1, 47, 15);
  c->Pen()->SetColor(0x404040);
  c->Brush()->SetStyle(TBrushStyle::bsClear);
  c->Rectangle(49, 2, 63, 14);
  c->Rectangle(52, 5, 60, 11);
  c->Font()->SetName("Tahoma");
  c->Font()->SetHeight(-10);
  c->Font()->SetColor(0x404040);
  c->TextOut(66, 2, "1:1");
  for (int32_t k = 0; k < 2; ++k) {
    int32_t x = 80 + k * 16;
    c->Ellipse(x + 1, 1, x + 12, 12);
    c->MoveTo(x + 10, 10);
    c->LineTo(x + 15, 15);
    c->MoveTo(x + 4, 6);
    c->LineTo(x + 9, 6);
    if (k == 0) {
      c->MoveTo(x + 6, 4);
      c->LineTo(x + 6, 9);
    }
  }
  ImageListBtn->AddMasked(btn.get(), clFuchsia);
}

void TFrmQuorvel::BindEvents() {
  using namespace std::placeholders;
  auto bind = [this](void (TFrmQuorvel::*H)(TObject*)) { return [this, H](TObject* S) { (this->*H)(S); }; };
  OnCreate = bind(&TFrmQuorvel::FormCreate);
  OnDestroy = bind(&TFrmQuorvel::FormDestroy);
  BtnOpen->OnClick = M_Open->OnClick = bind(&TFrmQuorvel::M_OpenClick);
  BtnSaveAs->OnClick = M_SaveAs->OnClick = bind(&TFrmQuorvel::M_SaveAsClick);
  for (TKvBmpButton* b : {BtnLeft, BtnTop, BtnRight, BtnBottom}) b->OnClick = bind(&TFrmQuorvel::BtnLeftClick);
  auto change = bind(&TFrmQuorvel::TrackBarTranBeginChange);
  TrackBarSize->OnChange = TrackBarTranBegin->OnChange = TrackBarTranEnd->OnChange = change;
  SpinEditZF->OnChange = SpinEditBC->OnChange = SpinEditXW->OnChange = change;
  RadioButtonColor->OnClick = RadioButtonH->OnClick = RadioButtonBW->OnClick = CheckBoxWave->OnClick = change;
  SpinEditSpc->OnChange = bind(&TFrmQuorvel::SpinEditSpcChange);
  CheckBoxRemoveAlpa->OnClick = bind(&TFrmQuorvel::CheckBoxRemoveAlpaClick);
  PanelBkColor->OnClick = bind(&TFrmQuorvel::PanelBkColorClick);
  BtnFit->OnClick = bind(&TFrmQuorvel::BtnFitClick);
  BtnReal->OnClick = bind(&TFrmQuorvel::BtnRealClick);
  BtnZoomOut->OnClick = bind(&TFrmQuorvel::BtnZoomOutClick);
  BtnZoomIn->OnClick = bind(&TFrmQuorvel::BtnZoomInClick);
  M_Files->OnClick = bind(&TFrmQuorvel::M_FilesClick);
  M_Close->OnClick = bind(&TFrmQuorvel::M_CloseClick);
  BtnNewVer->OnClick = M_HomePage->OnClick = bind(&TFrmQuorvel::M_HomePageClick);
  M_About->OnClick = bind(&TFrmQuorvel::M_AboutClick);
  for (TMenuItem* m : {M_English, M_German, M_Spanish, M_French, M_Italian, M_Dutch})
    m->OnClick = bind(&TFrmQuorvel::M_EnglishClick);
}

// ---- Start-up and shutdown ---------------------------------------------------------------------------

void TFrmQuorvel::FormCreate(TObject*) {
  Application->SetTitle(QuorvelAppTitle);
  SetCaption(QuorvelAppTitle);
  MsError = "Error";
  MsOpenError = "Can not open file";
  MsNoOpener = kNoOpenerEnglish;
  AppDir = GetAppDir();
  Source = new TQuillot(nullptr);
  // The window offers no undo: snapshots before every pipeline step would only cost time and disk.
  Source->GetProc()->SetAutoUndo(false);
  QuillotDis->GetProc()->SetAutoUndo(false);
  QuillotDis->ResetToBlank();
  QuillotDis->GetIO()->SetPreviewFont(Font());
  ImageLoaded = false;
  ReflectionLayer = -1;
  LoadOptions();
  Lang = (Tag() >= 0 && Tag() <= 5) ? Tag() : DetectSystemLanguage();
  ApplyLanguage(Lang);
}

void TFrmQuorvel::FormDestroy(TObject*) {
  delete Source;
  Source = nullptr;
  SaveOptions();
}

// ---- Settings ----------------------------------------------------------------------------------------

int32_t TFrmQuorvel::SelectedSide() const {
  for (TKvBmpButton* b : {BtnLeft, BtnTop, BtnRight, BtnBottom})
    if (b->Down()) return b->Tag();
  return 0;
}

int32_t TFrmQuorvel::ColorMode() const {
  if (RadioButtonH->Checked()) return qxGray;
  if (RadioButtonBW->Checked()) return qxBlackWhite;
  return qxColorful;
}

TReflectionSettings TFrmQuorvel::Settings() const {
  TReflectionSettings S;
  S.Side = SelectedSide();
  S.Space = SpinEditSpc->IntValue();
  S.SizePercent = 100 - TrackBarSize->Position();
  S.TranBegin = TrackBarTranBegin->Position();
  S.TranEnd = 100 - TrackBarTranEnd->Position();
  S.ColorMode = ColorMode();
  S.WaveOn = CheckBoxWave->Checked();
  S.Amplitude = SpinEditZF->IntValue();
  S.WaveLength = SpinEditBC->IntValue();
  S.Phase = SpinEditXW->IntValue();
  S.RemoveAlpha = CheckBoxRemoveAlpa->Checked();
  S.Background = PanelBkColor->Color();
  return S;
}

void TFrmQuorvel::UpdatePercentLabels() {
  Label9->SetCaption(std::to_string(100 - TrackBarSize->Position()) + "%");
  Label1->SetCaption(std::to_string(TrackBarTranBegin->Position()) + "%");
  Label2->SetCaption(std::to_string(100 - TrackBarTranEnd->Position()) + "%");
}

// ---- Opening and saving ------------------------------------------------------------------------------

void TFrmQuorvel::M_OpenClick(TObject*) {
  Application->ProcessMessages();
  OpenQuillotDialog1->SetInitialDir(LastOpenDir);
  if (!OpenQuillotDialog1->ShowDialog()) return;
  Application->ProcessMessages();
  // A multi-frame file opens at the frame picked in the preview.
  if (OpenQuillotDialog1->PreviewFrameIndex >= 0)
    Source->GetIO()->Params->SetAllImageIndexes(OpenQuillotDialog1->PreviewFrameIndex);
  OpenFile(OpenQuillotDialog1->FileName());
}

std::function<void(int32_t)> TFrmQuorvel::StatusProgress(const std::string& Name) {
  // Each showing repaints the window, which shown more often would slow the work down by a third; the
  // start is not shown, so a quick job shows no progress at all.
  auto Shown = std::make_shared<int32_t>(-1);
  auto ShownAt = std::make_shared<uint64_t>(GetTickCount64());
  return [this, Name, Shown, ShownAt](int32_t Per) {
    const uint64_t Now = GetTickCount64();
    // Nothing done yet is not worth a repaint ("0%" would only flash by).
    if (Per <= 0 || Per == *Shown || Now - *ShownAt < 50) return;
    *Shown = Per;
    *ShownAt = Now;
    KvStatusPane1->SetCaption(Name + "  " + std::to_string(Per) + "%");
    KvStatusBar1->Update();
  };
}

void TFrmQuorvel::OpenFile(const std::string& FileName) {
  LastOpenDir = ExtractFileDir(FileName);
  // A large picture takes a while: the status bar shows how far the reading is.
  const std::string Before = KvStatusPane1->Caption();
  auto Progress = StatusProgress(FileName);
  Source->GetIO()->OnProgress = [&](TObject*, int32_t Per) { Progress(Per); };
  ImageLoaded = LoadSourceImage(Source, FileName);
  Source->GetIO()->OnProgress = nullptr;
  KvStatusPane1->SetCaption(Before);
  BtnSaveAs->SetEnabled(ImageLoaded);
  if (!ImageLoaded) {
    Application->MessageBox(MsOpenError, MsError, MB_ICONERROR);
    return;
  }
  KvStatusPane1->SetCaption(FileName);
  // The view leaves out layers of one pixel (its blank state); a 1 x 1 picture's reflection is one.
  QuillotDis->MinLayerSize = 1;
  ResetLayers(QuillotDis);
  ReflectionLayer = -1;
  ReflectionLayer = AddReflectionLayer(QuillotDis);
  // The whole build covers any change still waiting.
  FPendingRebuild = 0;
  BuildReflection(QuillotDis, Source, Settings(), ReflectionLayer);
  FitOrActualSize(QuillotDis);
}

void TFrmQuorvel::M_SaveAsClick(TObject*) {
  if (!ImageLoaded) return;
  // A change still waiting for the input to settle is in the file too.
  FlushRebuild();
  std::string opened = KvStatusPane1->Caption();
  SaveQuillotDialog1->SetAttachedQuillotIO(QuillotDis->GetIO());
  SaveQuillotDialog1->SetFilterIndex(SaveFilterIndexOf(opened));
  SaveQuillotDialog1->SetInitialDir(ExtractFileDir(opened));
  if (!SaveQuillotDialog1->ShowDialog()) return;
  // The place where the dialog was is painted again before a long save starts; the pointer and the status
  // bar show the work going on.
  Invalidate();
  Update();
  const std::string Name = SaveQuillotDialog1->FileName();
  const TCursor Cursor = Screen->Cursor();
  Screen->SetCursor(crHourGlass);
  struct TRestore {
    TFrmQuorvel* F;
    std::string Caption;
    TCursor Cursor;
    ~TRestore() {
      F->KvStatusPane1->SetCaption(Caption);
      Screen->SetCursor(Cursor);
    }
  } Restore{this, opened, Cursor};
  // Errors reach the application's exception handler, which shows their message. The view's I/O
  // parameters carry the format options chosen with the dialog's advanced button.
  SaveReflection(QuillotDis, Name, Settings(), StatusProgress(Name));
}

// ---- Setting handlers --------------------------------------------------------------------------------

void TFrmQuorvel::RequestRebuild(uint8_t What) {
  if (!ImageLoaded) return;
  FPendingRebuild |= What;
  if (!Application || !Application->HandlingInput()) {
    FlushRebuild();
    return;
  }
  if (FRebuildQueued) return;
  FRebuildQueued = true;
  std::weak_ptr<bool> Alive = FAlive;
  Application->QueueAfterInput([this, Alive] {
    if (!Alive.lock()) return;
    FRebuildQueued = false;
    FlushRebuild();
  });
}

void TFrmQuorvel::FlushRebuild() {
  const uint8_t What = FPendingRebuild;
  FPendingRebuild = 0;
  if (!What || !ImageLoaded) return;
  const TReflectionSettings S = Settings();
  // Changes of several kinds waiting together (space and size) take the least that covers them all.
  if (What == rdReflection)
    RedoReflectionLayer(QuillotDis, Source, S, ReflectionLayer);
  else if (What == rdSpace)
    RedoBaseLayer(QuillotDis, Source, S, ReflectionLayer);
  else if ((What & ~(rdBoth | rdReflection)) == 0)
    RedoBothLayers(QuillotDis, Source, S, ReflectionLayer);
  else
    BuildReflection(QuillotDis, Source, S, ReflectionLayer);
  ++Rebuilds;
}

void TFrmQuorvel::BtnLeftClick(TObject*) { RequestRebuild(rdWhole); }

void TFrmQuorvel::TrackBarTranBeginChange(TObject*) {
  UpdatePercentLabels();
  RequestRebuild(rdReflection);
}

void TFrmQuorvel::SpinEditSpcChange(TObject*) { RequestRebuild(rdSpace); }

void TFrmQuorvel::CheckBoxRemoveAlpaClick(TObject*) { RequestRebuild(rdBoth); }

void TFrmQuorvel::PanelBkColorClick(TObject*) {
  ColorDialog1->SetColor(PanelBkColor->Color());
  if (!ColorDialog1->Execute()) return;
  PanelBkColor->SetColor(ColorDialog1->Color());
  CheckBoxRemoveAlpaClick(nullptr);
}

void TFrmQuorvel::BtnFitClick(TObject*) {
  if (ImageLoaded) FitOrActualSize(QuillotDis);
}

void TFrmQuorvel::BtnRealClick(TObject*) {
  if (ImageLoaded) QuillotDis->SetZoom(100);
}

void TFrmQuorvel::BtnZoomOutClick(TObject*) {
  if (ImageLoaded) QuillotDis->SetZoom(QuillotDis->ZoomX() * 1.2);
}

void TFrmQuorvel::BtnZoomInClick(TObject*) {
  if (ImageLoaded) QuillotDis->SetZoom(QuillotDis->ZoomX() * 0.8);
}

// ---- Menu --------------------------------------------------------------------------------------------

void TFrmQuorvel::M_FilesClick(TObject*) { M_SaveAs->SetEnabled(ImageLoaded); }

void TFrmQuorvel::M_CloseClick(TObject*) { Close(); }

void TFrmQuorvel::M_HomePageClick(TObject*) { OpenUrl(QuorvelHomePage); }

void TFrmQuorvel::M_AboutClick(TObject*) { ShowAboutBox(); }

void TFrmQuorvel::M_EnglishClick(TObject* Sender) {
  if (auto* c = dynamic_cast<TComponent*>(Sender)) ApplyLanguage(c->Tag());
}

void TFrmQuorvel::OpenUrl(const std::string& Address) {
  // Without a desktop opener the click would otherwise do nothing at all.
  if (!KvOpenURL(Address)) Application->MessageBox(MsNoOpener + "\n" + Address, MsError, MB_ICONERROR);
}

// ---- Options and language ----------------------------------------------------------------------------

void TFrmQuorvel::LoadOptions() {
  TMemIniFile ini(AppDir + "Options.ini");
  const char* S = "OPTIONS";
  int32_t pos = ini.ReadInteger(S, "Pos", 4);
  TKvBmpButton* sides[] = {BtnLeft, BtnTop, BtnRight, BtnBottom};
  if (pos >= 1 && pos <= 4) sides[pos - 1]->SetDown(true);
  SpinEditSpc->SetValue(ini.ReadInteger(S, "Dis", 0));
  TrackBarSize->SetPosition(100 - ini.ReadInteger(S, "Size", 100));
  TrackBarTranBegin->SetPosition(ini.ReadInteger(S, "TranB", 0));
  TrackBarTranEnd->SetPosition(100 - ini.ReadInteger(S, "TranE", 100));
  CheckBoxWave->SetChecked(ini.ReadBool(S, "Wave", false));
  SpinEditZF->SetValue(ini.ReadInteger(S, "Amplitude", 10));
  SpinEditBC->SetValue(ini.ReadInteger(S, "WaveLength", 30));
  SpinEditXW->SetValue(ini.ReadInteger(S, "Phase", 0));
  switch (ini.ReadInteger(S, "Color", 0)) {
    case 1: RadioButtonH->SetChecked(true); break;
    case 2: RadioButtonBW->SetChecked(true); break;
    default: RadioButtonColor->SetChecked(true); break;
  }
  CheckBoxRemoveAlpa->SetChecked(ini.ReadBool(S, "RemoveAlpa", false));
  PanelBkColor->SetColor(static_cast<TColor>(ini.ReadInteger(S, "BkColor", 16777215)));
  int32_t lang = ini.ReadInteger("LANGUAGE", "Default", -1);
  SetTag(lang > 7 ? 7 : lang);
}

void TFrmQuorvel::SaveOptions() {
  TMemIniFile ini(AppDir + "Options.ini");
  const char* S = "OPTIONS";
  ini.WriteInteger(S, "Pos", SelectedSide());
  ini.WriteInteger(S, "Dis", SpinEditSpc->IntValue());
  ini.WriteInteger(S, "Size", 100 - TrackBarSize->Position());
  ini.WriteInteger(S, "TranB", TrackBarTranBegin->Position());
  ini.WriteInteger(S, "TranE", 100 - TrackBarTranEnd->Position());
  ini.WriteBool(S, "Wave", CheckBoxWave->Checked());
  ini.WriteInteger(S, "Amplitude", SpinEditZF->IntValue());
  ini.WriteInteger(S, "WaveLength", SpinEditBC->IntValue());
  ini.WriteInteger(S, "Phase", SpinEditXW->IntValue());
  ini.WriteInteger(S, "Color", ColorMode());
  ini.WriteBool(S, "RemoveAlpa", CheckBoxRemoveAlpa->Checked());
  ini.WriteInteger(S, "BkColor", static_cast<int32_t>(PanelBkColor->Color()));
  ini.WriteInteger("LANGUAGE", "Default", Tag());
  ini.UpdateFile();
}

void TFrmQuorvel::ApplyLanguage(int32_t Index) {
  if (Index < 0 || Index > 5) return;  // 7: no language of ours, the form keeps its texts
  Application->SetTitle(QuorvelAppTitle);
  SetCaption(QuorvelAppTitle);
  Font()->SetName("Tahoma");
  Font()->SetSize(8);
  std::string file = LanguageFileOf(Index);
  TMenuItem* items[] = {M_English, M_German, M_Spanish, M_French, M_Italian, M_Dutch};
  items[Index]->SetChecked(true);
  for (TOpenQuillotDialog* d : {static_cast<TOpenQuillotDialog*>(SaveQuillotDialog1), OpenQuillotDialog1})
    for (TControl* c : std::initializer_list<TControl*>{d->InfoPanel, d->PicturePanel, d->PreviewCheck})
      c->Font()->Assign(*Font());
  for (TFont* f : {StyMenuFantasyStyler1->Font(), StyMenuFantasyStyler1->SelectedItem()->Font(),
                   StyMenuFantasyStyler1->RootItem()->Font()}) {
    f->SetName(Font()->Name());
    f->SetSize(Font()->Size());
  }
  ApplyLanguageSection(this, AppDir + file);
  LoadMessageTexts(AppDir + file);
  // The library's dialogs speak the chosen language too: their own labels from the library's table,
  // their titles (above) and the open dialog's type names from the language file.
  const TMsgLanguage MsgLanguages[] = {TMsgLanguage::msEnglish, TMsgLanguage::msGerman, TMsgLanguage::msSpanish,
                                       TMsgLanguage::msFrench,  TMsgLanguage::msItalian, TMsgLanguage::msDutch};
  OpenQuillotDialog1->MsgLanguage = SaveQuillotDialog1->MsgLanguage = MsgLanguages[Index];
  QuillotDis->GetIO()->MsgLanguage = MsgLanguages[Index];
  OpenQuillotDialog1->Filter = OpenFilter(MsPictureFiles, MsAllFiles, MsVideo);
  for (TMenuItem* m : {M_Files, M_Language, M_Help}) m->SetCaption("  " + m->Caption() + "  ");
  SetTag(Index);
  Lang = Index;
}
