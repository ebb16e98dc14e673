// The preview pane of the open and save dialogs: a picture of the selected file (or its frames) and its facts.
#include <algorithm>
#include <exception>

#include "controls/kv_buttons.h"
#include "controls/kv_checks.h"
#include "controls/kv_labels.h"
#include "imaging/dialogs/dialog_controls.h"
#include "imaging/dialogs/multi_io.h"
#include "imaging/view/mview.h"
#include "imaging/dialogs/message_table.h"
#include "imaging/dialogs/open_dialog.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/icc.h"
#include "imaging/foundation/services.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "imaging/vector/vect.h"
#include "imaging/view/view.h"
#include "platform/base/exceptions.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

namespace {

template <class T>
T* Make(TComponent* Owner, TWinControl* Parent, const char* Name, int32_t L, int32_t T_, int32_t W, int32_t H) {
  T* c = new T(Owner);
  c->SetName(Name);
  c->SetBounds(L, T_, W, H);
  if (Parent) c->SetParent(Parent);
  return c;
}


// 2 to the power Bits in decimal (exact for every total up to 63 bits).
std::string PowerOfTwo(int64_t Bits) {
  if (Bits < 0) return "0";
  if (Bits < 63) return std::to_string(int64_t(1) << Bits);
  return "2^" + std::to_string(Bits);
}

// The video extensions shown as frames.
const char* const kVideoExtensions[] = {"mpg", "mpeg", "wmv", "avi"};

}  // namespace

TOpenQuillotDialog::TOpenQuillotDialog(TComponent* AOwner) : TQxCommonDialog(AOwner) {
  FFiles = std::make_unique<TStringList>();
  QxUpdateGifFormatCapability();
  Filter = QxBuildFilter(TQxFilterKind::fkOpen, MsgLanguage);

  InfoPanel = Make<TQxPanel>(this, nullptr, "InfoPanel", 204, 5, 169, 200);
  InfoPanel->SetCaption("");
  InfoPanel->SetTabOrder(1);
  InfoLabel1 = Make<TKvLabel>(this, InfoPanel, "InfoLabel1", 6, 6, 157, 23);
  InfoLabel2 = Make<TKvLabel>(this, InfoPanel, "InfoLabel2", 6, 29, 157, 23);
  InfoLabel1->SetCaption("");
  InfoLabel2->SetCaption("");
  AdvancedButton = Make<TKvButton>(this, InfoPanel, "AdvancedButton", ShowPlacesBar ? 474 : 333, 0, 75, 23);
  AdvancedButton->SetVisible(false);
  PreviewCheck = Make<TKvCheckBox>(this, InfoPanel, "PreviewCheck", 195, 24, 130, 23);
  PreviewCheck->SetChecked(true);
  PreviewCheck->SetVisible(false);
  PreviewCheck->OnClick = [this](TObject*) { PreviewSwitch(); };

  PicturePanel = Make<TQxPanel>(this, nullptr, "PicturePanel", 204, 5, 169, 200);
  PicturePanel->SetCaption("");
  PicturePanel->SetTabOrder(1);
  PicLabel1 = Make<TKvLabel>(this, PicturePanel, "PicLabel1", 6, 260, 157, 23);
  PicLabel2 = Make<TKvLabel>(this, PicturePanel, "PicLabel2", 6, 283, 157, 23);
  PicLabel3 = Make<TKvLabel>(this, PicturePanel, "PicLabel3", 6, 306, 157, 23);
  for (TKvLabel* l : {PicLabel1, PicLabel2, PicLabel3}) l->SetCaption("");
  ZoomCombo = Make<TQxComboBox>(this, PicturePanel, "ZoomCombo", 6, 5, 70, 21);
  ZoomCombo->SetHint("Zoom");
  ZoomCombo->SetShowHint(true);
  ZoomCombo->OnChange = [this](TObject*) { ApplyZoomChoice(); };
  PreviewButton = Make<TQxSpeedButton>(this, PicturePanel, "PreviewButton", 110, 5, 23, 22);
  PreviewButton->Glyph = TQxGlyphKind::gkPreview;
  PreviewButton->SetEnabled(false);
  PreviewButton->SetShowHint(true);
  PreviewButton->OnClick = [this](TObject*) { ShowPreviewWindow(); };
  PlayButton = Make<TQxSpeedButton>(this, PicturePanel, "PlayButton", 85, 5, 23, 22);
  PlayButton->Glyph = TQxGlyphKind::gkPlay;
  PlayButton->GroupIndex = 1;
  PlayButton->SetEnabled(false);
  PlayButton->SetShowHint(true);
  PlayButton->OnClick = [this](TObject*) {
    bool down = PlayButton->Down();
    if (down) {
      FThumbs->SetThumbWidth(FThumbs->Width() - 2 * GetSystemMetrics(SM_CXEDGE));
      FThumbs->SetThumbHeight(FThumbs->Height() - 2 * GetSystemMetrics(SM_CYEDGE));
      FThumbs->SetHorizBorder(0);
      FThumbs->SetVertBorder(0);
    }
    FThumbs->SetPlaying(down);
    PreviewButton->SetEnabled(!down);
  };

  // A vector view, so that vector-object files preview as their objects.
  FPreview = Make<TQuillotVect>(this, nullptr, "QuillotView", 6, 36, 233, 217);
  FPreview->SetLegacyBitmap(false);
  FPreview->SetTabOrder(0);
  FPreview->SetMouseInteract(TQxMouseInteract{TQxMouseInteractItems::miScroll});
  FPreview->SetBackground(clBtnFace);
  FPreview->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
  FPreview->SetChessboardStyle(12, TBrushStyle::bsSolid);
  FPreview->SetBorderStyle(TBorderStyle::bsSingle);
  FPreview->SetCenter(true);
  FPreview->SetZoomFilter(TResampleFilter::rfFastLinear);
  FPreview->SetDelayZoomFilter(false);
  FPreview->SetEnableAlphaChannel(true);
  FPreview->SetOnProgress([this](TObject*, int32_t Per) { ProgressBar->SetPosition(Per); });
  FPreview->OnDblClick = [this](TObject*) { ShowPreviewWindow(); };
  // Previews are not colour-managed.
  if (TQxICC* icc = FPreview->GetIO()->Params->GetDefaultICC()) icc->Clear();

  // The view keeps its frames' parameters in a multi-image I/O component of this library.
  if (!QxMViewHooks().CreateMIO) TQuillotMIO::Register();
  FThumbs = Make<TQuillotMView>(this, nullptr, "QuillotMView", 6, 36, 233, 217);
  FThumbs->SetTabOrder(0);
  FThumbs->SetVisible(false);
  FThumbs->SetScrollBars(TScrollStyle::ssHorizontal);
  FThumbs->SetMouseInteract(TQxMMouseInteract{TQxMMouseInteractItems::mmiScroll, TQxMMouseInteractItems::mmiSelect});
  FThumbs->SetKeyInteract(TQxMKeyInteract{TQxMKeyInteractItems::mkiMoveSelected});
  FThumbs->SetBackground(clBtnFace);
  FThumbs->SetEnableAlphaChannel(true);
  FThumbs->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
  FThumbs->SetFillThumbnail(false);
  FThumbs->SetStyle(TQxMStyle::qxmsFlat);
  FThumbs->SetChessboardStyle(12, TBrushStyle::bsSolid);
  FThumbs->SoftShadow()->Enabled = true;
  FThumbs->OnImageSelect = [this](TObject*, int32_t Index) { FramePicked(Index); };
  FThumbs->SetOnProgress([this](TObject*, int32_t Per) { ProgressBar->SetPosition(Per); });
  FThumbs->OnAllDisplayed = [this](TObject*) {
    if (FThumbs->SelectedImage() >= 0) ShowFileInfo(FrameParamsOf(FThumbs->SelectedImage()));
  };

  ProgressBar = Make<TQxProgressBar>(this, nullptr, "ProgressBar", 0, 90, 227, 19);
  ProgressBar->SetVisible(false);
  SetPaneTexts();
}

TOpenQuillotDialog::~TOpenQuillotDialog() {
  // The pane's controls go before the lists; the owned components follow with the base.
  DestroyComponents();
}

void TOpenQuillotDialog::SetPaneTexts() {
  PreviewButton->SetHint(QxMessageText(0, MsgLanguage));
  PreviewCheck->SetCaption(QxMessageText(0, MsgLanguage));
  AdvancedButton->SetCaption(QxMessageText(45, MsgLanguage) + "...");
  PlayButton->SetHint(QxMessageText(87, MsgLanguage));
}

void TOpenQuillotDialog::SetPreviewBorderStyle(TQxDBorderStyle Value) {
  FPreviewBorderStyle = Value;
  static const TQxBackgroundStyle kStyles[] = {TQxBackgroundStyle::qxbsSolid, TQxBackgroundStyle::qxbsCropped,
                                               TQxBackgroundStyle::qxbsCropShadow, TQxBackgroundStyle::qxbsSoftShadow};
  FPreview->SetBackgroundStyle(kStyles[static_cast<int>(Value)]);
  FPreview->SetBorderStyle(Value == TQxDBorderStyle::qxpsDefault ? TBorderStyle::bsSingle : TBorderStyle::bsNone);
}

TResampleFilter TOpenQuillotDialog::ZoomFilter() const { return FPreview->ZoomFilter(); }
void TOpenQuillotDialog::SetZoomFilter(TResampleFilter Value) { FPreview->SetZoomFilter(Value); }

void TOpenQuillotDialog::PreviewHostRect(TRect& R) {
  if (!FHandle) {
    R = Rect(0, 0, 0, 0);
    return;
  }
  R = Options.Contains(TOpenOption::ofOldStyleDialog) ? FHandle->ClientRect() : FHandle->HostRect();
}

void TOpenQuillotDialog::DoShow() {
  if (FHandle) {
    TRect client = FHandle->ClientRect(), host;
    PreviewHostRect(host);
    if (FHandle->TemplateArea()) FHandle->TemplateArea()->SetVisible(false);
    if (FShowPreview) {
      PicturePanel->SetBounds(host.Right, host.Top, client.Right - host.Right, host.Bottom - host.Top);
      PicturePanel->SetParent(FHandle);
      // The keyboard reaches the chooser's own fields first, the pane after them.
      PicturePanel->SetTabOrder(FHandle->ControlCount());
      FThumbs->SetParent(PicturePanel);
      FPreview->SetParent(PicturePanel);
      // The labels take the panel's width.
      for (TKvLabel* l : {PicLabel1, PicLabel2, PicLabel3}) l->SetWidth(std::max(60, PicturePanel->Width() - 12));
      ZoomCombo->SetItems({QxMessageText(145, MsgLanguage), "25%", "50%", "75%", "100%", "125%", "150%", "175%",
                           "200%", "300%", "400%"});
      ZoomCombo->Values() = {0, 25, 50, 75, 100, 125, 150, 175, 200, 300, 400};
      ZoomCombo->SetItemIndex(0);
      FPreview->SetBackground(clBtnFace);
      FPreview->SetCenter(true);
      PlayButton->SetDown(false);
      PlayButton->SetEnabled(false);
      FThumbs->SetPlaying(false);
    }
    if (ExtendedDialog) {
      InfoPanel->SetBounds(host.Left, host.Bottom, client.Right, client.Bottom - host.Bottom);
      InfoPanel->SetParent(FHandle);
      InfoPanel->SetTabOrder(FHandle->ControlCount());
      int32_t w = InfoPanel->Width();
      int32_t right = std::max(200, w - 8);
      AdvancedButton->SetBounds(right - 120, 6, 120, 23);
      PreviewCheck->SetBounds(right - 120 - 8 - 130, 6, 130, 23);
      InfoLabel1->SetBounds(6, 6, std::max(60, right - 120 - 8 - 130 - 12), 23);
      InfoLabel2->SetBounds(6, 29, std::max(60, right - 12), 23);
    } else {
      for (TControl* c : std::initializer_list<TControl*>{PicLabel1, PicLabel2, PicLabel3, ZoomCombo})
        c->SetVisible(false);
    }
  }
  TQxCommonDialog::DoShow();
}

void TOpenQuillotDialog::ClearPane() {
  InfoLabel1->SetCaption("");
  InfoLabel2->SetCaption("");
  PreviewButton->SetEnabled(false);
  ZoomCombo->SetEnabled(false);
  FPreview->ResetToBlank();
  for (TKvLabel* l : {PicLabel1, PicLabel2, PicLabel3}) l->SetCaption("");
  FThumbs->ClearImages();
  PlayButton->SetEnabled(false);
  // A read that failed part way leaves no progress behind.
  ProgressBar->SetVisible(false);
}

void TOpenQuillotDialog::DoSelectionChange() {
  if (FInSelection) return;
  if (!FShowPreview) {
    if (OnSelectionChange) OnSelectionChange(this);
    return;
  }
  FInSelection = true;
  struct TGuard {
    bool& Flag;
    ~TGuard() { Flag = false; }
  } guard{FInSelection};

  std::string name;
  if (Options.Contains(TOpenOption::ofAllowMultiSelect)) name = FirstQuotedName();
  if (name.empty()) name = FHandle ? FHandle->FilePath() : FFileName;
  bool valid = QxFileExistsW(name);
  if (valid) {
    TCursor saved = Screen ? Screen->Cursor() : crDefault;
    try {
      FFileSize = QxFileSizeByName(name);
      if (!PreviewCheck->Checked()) {
        TQuillotIO* io = FPreview->GetIO();
        io->Aborting = false;
        if (OnPreviewFile) OnPreviewFile(this, FPreview, name, true);
        else io->ReadParamsFromFile(name);
        // A reader reports bad data through the abort flag: the facts of an earlier file must not stay.
        if (io->Aborting) throw EInOutError("unreadable");
        FFrameCount = 1;
        ShowFileInfo(io->Params->FileType != 0 ? io->Params.get() : nullptr);
      } else {
        if (Screen) Screen->SetCursor(crHourGlass);
        FPreview->SetBackground(clBtnFace);
        FPreview->ResetToBlank();
        FThumbs->ClearImages();
        PlayButton->SetDown(false);
        TQxFileFormatId id = QxFindFileFormat(name, false);
        std::string ext = QxLowerFileExtW(name, false);
        bool video = std::any_of(std::begin(kVideoExtensions), std::end(kVideoExtensions),
                                 [&](const char* v) { return ext == v; });
        TQxFileFormatInfo* gif = QxFileFormatByType(qxffGIF);
        bool gifReads = gif && gif->ReadRoutine;
        auto& cs = QxCodecServices;
        bool multi = id == qxffAVI || (id == qxffGIF && gifReads && QxGifFileFrameCount(name) > 1) ||
                     (id == qxffTIFF && QxTiffFilePageCount(name) > 1) || id == qxffDCX || video ||
                     (id == qxffDICOM && QxImageCount(name) > 1) ||
                     (id == qxffHDP && cs.WicAvailable && cs.WicAvailable() && QxImageCount(name) > 1);
        if (multi && ShowAllFrames) {
          FThumbs->IncPaintLock();
          FThumbs->SetThumbWidth(175);
          FThumbs->SetThumbHeight(189);
          FThumbs->SetHorizBorder(4);
          FThumbs->SetVertBorder(4);
          FThumbs->DecPaintLock();
          PlayButton->SetEnabled(true);
          ZoomCombo->SetEnabled(false);
          FThumbs->SetVisible(true);
          FPreview->SetVisible(false);
          ProgressBar->SetParent(FThumbs);
          ProgressBar->SetPosition(0);
          ProgressBar->SetVisible(true);
          ProgressBar->Repaint();
          if (TQuillotMIO* mio = FThumbs->GetMIO()) {
            mio->AutoAdjustDPI = AutoAdjustDPI;
            mio->FilteredAdjustDPI = FilteredAdjustDPI;
          }
          if (OnPreviewFile) OnPreviewFile(this, FThumbs, name, false);
          else FThumbs->FillFromMultiImageFile(name);
          FFrameCount = FThumbs->GetMIO() ? FThumbs->GetMIO()->ImageCount() : FThumbs->ImageCount();
          FThumbs->MoveSelection(4);
          PreviewButton->SetEnabled(true);
          // Frames load when their cells are painted; the first one is read now for its facts.
          if (FFrameCount > 0) {
            FThumbs->LoadImageNow(0);
            ShowFileInfo(FrameParamsOf(0));
          }
          if (FAlwaysAnimate && (ext == "avi" || (ext == "gif" && gifReads))) {
            PlayButton->SetDown(true);
            PlayButton->OnClick(PlayButton);
          }
        } else {
          PlayButton->SetEnabled(false);
          ZoomCombo->SetEnabled(true);
          FPreview->SetVisible(true);
          FThumbs->SetVisible(false);
          ProgressBar->SetParent(FPreview);
          ProgressBar->SetPosition(0);
          ProgressBar->SetVisible(true);
          ProgressBar->Repaint();
          TQuillotIO* io = FPreview->GetIO();
          TIOParamsVals* p = io->Params.get();
          p->Width = FPreview->Width();
          p->Height = FPreview->Height();
          p->JpegScale = 0;
          p->RawHalfSize = 1;
          p->SetRawUseExifThumbnail(1);
          p->SetUseExifThumbnail(1);
          io->AutoAdjustDPI = AutoAdjustDPI;
          io->FilteredAdjustDPI = FilteredAdjustDPI;
          FPreview->ClearAllObjects();
          FPreview->ClearLayers();
          io->Aborting = false;
          if (OnPreviewFile) OnPreviewFile(this, FPreview, name, false);
          else io->LoadFromFileDetected(name);
          if (io->Aborting) throw EInOutError("unreadable");
          switch (p->FileType) {
            case qxffAVI: FFrameCount = p->AviFrameCount; break;
            case qxffGIF: FFrameCount = QxGifFileFrameCount(name); break;
            case qxffTIFF: FFrameCount = QxTiffFilePageCount(name); break;
            case qxffICO: FFrameCount = QxIcoFileImageCount(name); break;
            case qxffDCX: FFrameCount = QxDcxFilePageCount(name); break;
            case qxffDICOM:
            case qxffHDP: FFrameCount = QxImageCount(name); break;
            default: FFrameCount = 1; break;
          }
          ShowFileInfo(p);
          PreviewButton->SetEnabled(true);
          ZoomCombo->SetEnabled(true);
        }
        ProgressBar->SetVisible(false);
        ApplyZoomChoice();
      }
    } catch (const std::exception&) {
      valid = false;
    }
    if (Screen) Screen->SetCursor(saved);
  }
  if (!valid) ClearPane();
  if (OnSelectionChange) OnSelectionChange(this);
}

void TOpenQuillotDialog::ShowFileInfo(TIOParamsVals* P) {
  if (!P) {
    for (TKvLabel* l : {PicLabel1, PicLabel2, PicLabel3, InfoLabel1, InfoLabel2}) l->SetCaption("");
    return;
  }
  auto T = [this](uint8_t i) { return QxMessageText(i, MsgLanguage); };
  const int64_t W = P->OriginalWidth, H = P->OriginalHeight, S = P->SamplesPerPixel, B = P->BitsPerSample;
  std::string dims;
  if (W > 0 && H > 0) dims = std::to_string(W) + " x " + std::to_string(H) + " " + T(139);
  if (FFrameCount > 1) dims += "   " + std::to_string(FFrameCount) + " " + T(140);
  size_t a = dims.find_first_not_of(' '), b = dims.find_last_not_of(' ');
  PicLabel1->SetCaption(a == std::string::npos ? std::string() : dims.substr(a, b - a + 1));
  PicLabel3->SetCaption(std::to_string(P->DpiX) + " x " + std::to_string(P->DpiY) + " " + T(143));
  std::string colors;
  if (S == 4 && B == 8) colors = "16777216";
  else if (S == 3 && B == 16) colors = "2^48";
  else colors = PowerOfTwo(S * B);
  PicLabel2->SetCaption(colors + " " + T(58) + " (" + std::to_string(S * B) + " " + T(141) + ")");
  // Sizes in 64 bits: files and pictures of several gigabytes are common.
  const int64_t size = FFileSize;
  std::string info = size >= 1024 ? T(126) + ": " + std::to_string(size / 1024) + " " + T(144)
                                   : T(126) + ": " + std::to_string(size) + " " + T(142);
  const int64_t K = (S == 1 && B == 1) ? 1 : 24;
  const int64_t M = H * (((W * K + 31) / 32) * 4);
  info += "   ";
  info += M >= 1024 ? T(127) + ": " + std::to_string(M / 1024) + " " + T(144)
                    : T(127) + ": " + std::to_string(M) + " " + T(142);
  InfoLabel2->SetCaption(info);
  InfoLabel1->SetCaption(P->FileTypeStr());
}

void TOpenQuillotDialog::ApplyZoomChoice() {
  if (!ZoomCombo || !FPreview || ZoomCombo->ItemIndex() < 0) return;
  int32_t i = ZoomCombo->ItemIndex();
  int32_t v = i < static_cast<int32_t>(ZoomCombo->Values().size()) ? ZoomCombo->Values()[static_cast<size_t>(i)] : 0;
  if (v == 0) {
    FPreview->SetAutoFit(true);
    FPreview->UpdateView();
  } else {
    FPreview->SetAutoFit(false);
    FPreview->SetZoom(v);
  }
}

TIOParamsVals* TOpenQuillotDialog::FrameParamsOf(int32_t Index) {
  TQuillotMIO* mio = FThumbs->GetMIO();
  return mio ? mio->FrameParams(Index) : nullptr;
}

void TOpenQuillotDialog::FramePicked(int32_t Index) {
  PreviewFrameIndex = Index < 0 ? 0 : Index;
  if (Index < FThumbs->ImageCount()) ShowFileInfo(Index < 0 ? nullptr : FrameParamsOf(Index));
}

void TOpenQuillotDialog::PreviewSwitch() {
  if (PreviewCheck->Checked()) {
    DoSelectionChange();
    return;
  }
  ShowFileInfo(nullptr);
  FPreview->ResetToBlank();
  FPreview->SetBackground(clBtnFace);
  FPreview->SetZoom(100);
  FThumbs->ClearImages();
  FThumbs->SetVisible(false);
  PreviewButton->SetEnabled(false);
  ZoomCombo->SetEnabled(false);
}

void TOpenQuillotDialog::DoClose() {
  TQxCommonDialog::DoClose();
  // The save dialog's state timer has nothing to follow once the chooser is gone.
  if (FTimer) FTimer->SetEnabled(false);
  FThumbs->SetPlaying(false);
  // Opened again, the pane shows nothing of the file chosen this time.
  ClearPane();
  if (Application) Application->CancelHint();
  // The pane's controls leave the closing chooser window; they live on with the dialog.
  PicturePanel->SetParent(nullptr);
  InfoPanel->SetParent(nullptr);
}

void TOpenQuillotDialog::ShowPreviewWindow() {
  TForm f(nullptr);
  f.SetName("PreviewForm");
  f.SetCaption(FHandle ? FHandle->FilePath() : FFileName);
  f.SetBorderStyle(TFormBorderStyle::bsSizeToolWin);
  f.SetKeyPreview(true);
  f.SetPosition(TPosition::poScreenCenter);
  f.OnKeyPress = [&f](TObject*, std::string& Key) {
    if (Key == "\x1b") f.SetModalResult(mrCancel);
  };
  auto* v = new TQuillotVect(&f);
  v->SetName("QuillotView");
  v->SetParent(&f);
  v->SetAlign(TAlign::alClient);
  v->SetMouseInteract(TQxMouseInteract{TQxMouseInteractItems::miZoom, TQxMouseInteractItems::miScroll});
  TQxBitmap* pic = FPreview->Visible() ? FPreview->GetQxBitmap() : FThumbs->GetQxBitmap();
  // A vector-object file's picture is only the ground its objects stand on: they come along.
  if (FPreview->Visible()) v->AssignFrom(FPreview);
  else if (pic) v->GetQxBitmap()->AssignFrom(pic);
  v->SetBackground(clBtnFace);
  v->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
  v->SetChessboardStyle(12, TBrushStyle::bsSolid);
  v->SetEnableAlphaChannel(true);
  v->SetCenter(true);
  v->SetScrollBars(TScrollStyle::ssBoth);
  int32_t pw = pic ? pic->Width() : 0, ph = pic ? pic->Height() : 0;
  int32_t sw = Screen ? Screen->Width() : 1024, sh = Screen ? Screen->Height() : 768;
  int32_t cw = pw <= 100 ? 100 : pw < sw ? pw : sw;
  int32_t ch = ph <= 100 ? 100 : ph < sh ? ph : sh;
  f.SetClientSize(cw, ch);
  v->UpdateView();
  f.ShowModal();
}
