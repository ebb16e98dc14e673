#include "imaging/dialogs/save_dialog.h"

#include "controls/kv_buttons.h"
#include "controls/kv_checks.h"
#include "imaging/foundation/helpers.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/dialogs/multi_io.h"
#include "imaging/view/mview.h"
#include "imaging/view/view.h"
#include "platform/base/exceptions.h"
#include "platform/ui/timer.h"

namespace {
// The extension a pattern stands for: from its first '.' up to its first ';' (".tif" of "*.tif;*.tiff").
std::string PatternDotExtension(const std::string& Pattern) {
  size_t dot = Pattern.find('.');
  if (dot == std::string::npos) return {};
  size_t semi = Pattern.find(';', dot);
  return Pattern.substr(dot, semi == std::string::npos ? std::string::npos : semi - dot);
}
}  // namespace

TSaveQuillotDialog::TSaveQuillotDialog(TComponent* AOwner) : TOpenQuillotDialog(AOwner) {
  FShowPreview = true;
  Filter = "JPEG Bitmap (JPG)|*.jpg";
  TQxFileFormatInfo* gif = QxFileFormatByType(qxffGIF);
  if (gif && gif->WriteRoutine) Filter += "|CompuServe Bitmap (GIF)|*.gif";
  Filter +=
      "|TIFF Bitmap (TIF)|*.tif|PaintBrush (PCX)|*.pcx|Portable Network Graphics (PNG)|*.png|Windows Bitmap "
      "(BMP)|*.bmp|OS/2 Bitmap (BMP)|*.bmp|Targa Bitmap (TGA)|*.tga|Portable PixMap (PXM)|*.pxm|Portable PixMap "
      "(PPM)|*.ppm|Portable GreyMap (PGM)|*.pgm|Portable Bitmap (PBM)|*.pbm|JPEG2000 (JP2)|*.jp2|JPEG2000 Code "
      "Stream (J2K)|*.j2k|Multipage PCX (DCX)|*.dcx";
  FSaved = std::make_unique<TIOParamsVals>();
  FTimer = new TTimer(this);
  FTimer->SetInterval(100);
  FTimer->SetEnabled(false);
  FTimer->SetOnTimer([this](TObject*) { UpdateAdvanced(); });
  FTimer->SetEnabled(false);
  AdvancedButton->OnClick = [this](TObject*) { AdvancedClick(); };
}

TSaveQuillotDialog::~TSaveQuillotDialog() {
  if (FAttached) FAttached->RemoveFreeNotification(this);
  DestroyComponents();
}

void TSaveQuillotDialog::SetAttachedQuillotIO(TComponent* Value) {
  if (!Value || (!dynamic_cast<TQuillotIO*>(Value) && !dynamic_cast<TQuillotMIO*>(Value) &&
                 !dynamic_cast<TQuillotMView*>(Value) && !dynamic_cast<TQuillotView*>(Value)))
    return;
  if (FAttached) FAttached->RemoveFreeNotification(this);
  FAttached = Value;
  Value->FreeNotification(this);
  if (auto* io = dynamic_cast<TQuillotIO*>(Value)) MsgLanguage = io->MsgLanguage;
  if (auto* mio = dynamic_cast<TQuillotMIO*>(Value)) MsgLanguage = mio->MsgLanguage;
}

void TSaveQuillotDialog::Notification(TComponent* AComponent, TOperation Operation) {
  TOpenQuillotDialog::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FAttached) FAttached = nullptr;
}

TQuillotIO* TSaveQuillotDialog::AttachedIO() {
  if (auto* io = dynamic_cast<TQuillotIO*>(FAttached)) return io;
  // A thumbnail view is a view too, but its parameters are its frames'.
  if (dynamic_cast<TQuillotMView*>(FAttached)) return nullptr;
  if (auto* v = dynamic_cast<TQuillotView*>(FAttached)) return v->GetIO();
  return nullptr;
}

TQuillotMIO* TSaveQuillotDialog::AttachedMIO() {
  if (auto* mio = dynamic_cast<TQuillotMIO*>(FAttached)) return mio;
  if (auto* mv = dynamic_cast<TQuillotMView*>(FAttached)) return mv->GetMIO();
  return nullptr;
}

TIOParamsVals* TSaveQuillotDialog::AttachedParams() {
  if (TQuillotMIO* mio = AttachedMIO()) return mio->FrameParams(0);
  TQuillotIO* io = AttachedIO();
  return io ? io->Params.get() : nullptr;
}

bool TSaveQuillotDialog::ShowDialog() {
  if (!FAttached) throw EInOutError("Cannot execute TSaveQuillotDialog with AttachedQuillotIO empty.");
  if (OnCreateCustomControls) OnCreateCustomControls(this);
  struct TDone {
    TSaveQuillotDialog* D;
    ~TDone() {
      if (D->OnDestroyCustomControls) D->OnDestroyCustomControls(D);
    }
  } done{this};
  FShowPreview = ExOptions.Contains(TQxSaveDlgOptItem::sdShowPreview);
  FTemplateName = FShowPreview ? "IDD_QXTEMPLATE" : "IDD_QXTEMPLATE1";
  if (AutoSetFilter) Filter = QxBuildFilter(TQxFilterKind::fkSave, MsgLanguage);
  SetPaneTexts();
  AdvancedButton->SetVisible(ExOptions.Contains(TQxSaveDlgOptItem::sdShowAdvanced));
  AdvancedButton->SetBounds(ShowPlacesBar ? 474 : 333, 0, 75, 23);
  PreviewCheck->SetVisible(FShowPreview);
  // A multi-image component without frames has nothing to save.
  TIOParamsVals* params = AttachedParams();
  if (!params) return false;
  FSaved->AssignParams(*params);
  FCurrentPattern = QxFilterPattern(Filter, FilterIndex() == 0 ? QxFilterIndexOfName(Filter, FileName()) : FilterIndex());
  UpdateAdvanced();
  bool ok = RunFileDialog(true);
  // A cancelled dialog takes back what the advanced button changed.
  if (!ok && FAttached)
    if (TIOParamsVals* p = AttachedParams()) p->AssignParams(*FSaved);
  if (!FileName().empty() && QxLowerFileExtW(FileName(), true).empty())
    SetFileName(FileName() + PatternDotExtension(FCurrentPattern));
  return ok;
}

void TSaveQuillotDialog::FormatOfName(TQxPreviewPages& Pages, TQxFileFormatId& Id) {
  Pages = 0;
  Id = 0;
  TQxFileFormatInfo* e = nullptr;
  std::string ext = QxLowerFileExtW(FileName(), false);
  if (!ext.empty()) e = QxFileFormatByExtension(ext);
  else e = QxFileFormatByExtension(DefaultExt);
  if (!e && !FCurrentPattern.empty()) {
    size_t dot = FCurrentPattern.rfind('.');
    if (dot != std::string::npos) e = QxFileFormatByExtension(FCurrentPattern.substr(dot + 1));
  }
  if (e) Pages = e->PreviewPages, Id = e->FormatId;
}

void TSaveQuillotDialog::UpdateAdvanced() {
  TQxPreviewPages pages;
  TQxFileFormatId id;
  FormatOfName(pages, id);
  if (auto* io = dynamic_cast<TQuillotIO*>(FAttached)) io->Params->FileType = id;
  AdvancedButton->SetEnabled(pages != 0);
}

void TSaveQuillotDialog::AdvancedClick() {
  TQxPreviewPages pages;
  TQxFileFormatId id;
  FormatOfName(pages, id);
  if (pages == 0) return;
  // Frame 0 is edited; its save options then go to every frame.
  if (TQuillotMIO* mio = AttachedMIO()) {
    mio->DoPreviews(-1, pages);
    return;
  }
  TQuillotIO* io = AttachedIO();
  if (!io) return;
  io->Params->FileType = id;
  io->DoPreviews(pages);
}

void TSaveQuillotDialog::UpdateFileNameExt() {
  if (!FHandle) return;
  std::string name = QxExtractFileNameW(FileSpec());
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.erase(dot);
  name += PatternDotExtension(FCurrentPattern);
  FHandle->Perform(CDM_SETCONTROLTEXT, IDC_FILENAME_EDIT, reinterpret_cast<intptr_t>(&name));
}

void TSaveQuillotDialog::DoTypeChange() {
  UpdateFileNameExt();
  UpdateAdvanced();
  TOpenQuillotDialog::DoTypeChange();
}
