#pragma once
// TfIOPreviews: the save-parameters dialog. The user picks the options of one of eight formats while the
// picture is shown as it is (source) and as the options would make it (result), with both sizes.
#include <cstdint>
#include <string>

#include "imaging/foundation/types.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/params.h"
#include "platform/ui/forms.h"

class TKvLabel;
class TKvButton;
class TKvCheckBox;
class TKvTrackBar;
class TQxUpDown;
class TKvGroupBox;
class TEdit;
class TImage;
class TColorDialog;
class TQuillotView;
class TQxComboBox;
class TQxPageControl;
class TQxTabSheet;
class TQxColorField;
class TQxProgressBar;
class TQuillotIO;

class TfIOPreviews : public TForm {
 public:
  explicit TfIOPreviews(TComponent* AOwner);
  ~TfIOPreviews() override;
  std::string ClassName() const override { return "TfIOPreviews"; }

  // ---- what the callers set
  TIOParamsVals* Params = nullptr;
  bool LockPreviewDefault = false;
  bool SimplifiedPages = false;
  uint8_t BilevelMode = 1;
  std::string CancelCaption = "&Cancel";
  TQxPreviewPages PageFlags = 0;
  bool Activated = false;
  bool ControlsReady = false;
  int32_t ProgressOffset = 0;
  int32_t ProgressDivisor = 1;

  void UpdateLanguage(TMsgLanguage Language);
  bool SelectPages(TQxPreviewPages Pages);
  void LoadWorkingCopy();
  void ShowWorkingCopy();
  void UpdatePreview();

  // ---- TIFF compression list
  static bool TiffLzwAvailable();
  static int32_t TiffCompressionToIndex(int32_t Compression);
  static int32_t TiffIndexToCompression(int32_t Index);

  // ---- handlers
  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void FormResize(TObject* Sender);
  void Button1Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void Button4Click(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);
  void PageControl1Change(TObject* Sender);
  void PageControl1Changing(TObject* Sender, bool& AllowChange);
  void TrackBar13Change(TObject* Sender);
  void Edit22Change(TObject* Sender);
  void Edit16Change(TObject* Sender);
  void TrackBar2Change(TObject* Sender);
  void Edit15Change(TObject* Sender);
  void TrackBar1Change(TObject* Sender);
  void ComboBox2Click(TObject* Sender);
  void ComboBox16Change(TObject* Sender);
  void ComboBox5Click(TObject* Sender);
  void ComboBox18Change(TObject* Sender);
  void ComboBox6Change(TObject* Sender);
  void ComboBox8Change(TObject* Sender);
  void ComboBox10Change(TObject* Sender);
  void ComboBox14Click(TObject* Sender);
  void Panel3Click(TObject* Sender);
  void Panel4Click(TObject* Sender);
  void Panel1Click(TObject* Sender);
  void Panel5Click(TObject* Sender);
  void Quillot1ViewChange(TObject* Sender);
  void Quillot1Progress(TObject* Sender, int32_t Percent);

  // ---- the working copy
  struct TWorking {
    int32_t Quality = 0, ColorSpace = 0, DCTMethod = 0, Smooth = 0;
    bool OptimalHuffman = false, Progressive = false;
    double Rate = 1.0;
    int32_t J2kColorSpace = 0;
    int32_t TiffCompression = 0, TiffImageIndex = 0, TiffPhotometric = 0, TiffXPos = 0, TiffYPos = 0;
    std::string DocumentName, ImageDescription, PageName;
    int32_t PageNumber = 0, PageCount = 0;
    int32_t Samples = 3, Bits = 8;
    TQxLzwHook TiffLzwDecompress = nullptr, TiffLzwCompress = nullptr;
    int32_t GifImageIndex = 0, GifXPos = 0, GifYPos = 0, GifDelay = 0, GifBits = 8;
    bool GifTransparent = false, GifInterlaced = false;
    TQxRGB GifTranspColor{0, 0, 0}, GifBackground{0, 0, 0};
    TQxLzwHook GifLzwDecompress = nullptr, GifLzwCompress = nullptr;
    int32_t BmpCompression = 0, BmpColors = 0;
    int32_t PcxCompression = 0, PcxColors = 0;
    int32_t PngColors = 0, PngFilter = 0, PngCompression = 0;
    bool PngInterlaced = false;
    TQxRGB PngBackground{0, 0, 0};
    int32_t TgaColors = 0;
    bool TgaCompressed = false;
    TQxRGB TgaBackground{0, 0, 0};
    std::string TgaName, TgaDescription;
  };
  TWorking W;

  // ---- controls (as placed on the form)
  TImage* Image1;
  TKvLabel *Label1, *Label2;
  TQuillotView *Quillot1, *Quillot2;
  TQxProgressBar* ProgressBar1;
  TQxPageControl* PageControl1;
  TKvButton *Button1, *Button2, *Button3, *Button4;
  TKvCheckBox* chkLockPreview;
  TColorDialog* ColorDialog1;
  TQxTabSheet *TabSheetJPEG1, *TabSheetJPEG2, *TabSheetTIFF1, *TabSheetTIFF2, *TabSheetGIF1, *TabSheetGIF2,
      *TabSheetBMP1, *TabSheetPCX1, *TabSheetPNG1, *TabSheetTGA1, *TabSheetJ20001;
  // JPEG
  TKvLabel *Label23, *Label26, *Label27, *Label57, *Label3, *Label4, *Label24, *Label25;
  TEdit *Edit22, *Edit23;
  TQxUpDown *UpDown11, *UpDown1, *UpDown2;
  TKvTrackBar* TrackBar13;
  TKvGroupBox* GroupBox5;
  TQxComboBox *ComboBox1, *ComboBox13;
  TKvCheckBox *CheckBox2, *CheckBox3;
  TKvLabel *Label72, *Label73, *Label74, *Label75, *Label76;
  TEdit* Edit16;
  TKvTrackBar* TrackBar2;
  // TIFF
  TKvLabel *Label5, *Label6, *Label7, *Label19, *Label12, *Label13, *Label14, *Label15, *Label16, *Label8, *Label10,
      *Label9, *Label11, *Label17, *Label18;
  TQxComboBox *ComboBox2, *ComboBox3, *ComboBox4;
  TEdit *Edit1, *Edit2, *Edit3, *Edit4, *Edit5, *Edit6, *Edit7, *Edit8;
  TKvGroupBox* GroupBox1;
  TKvLabel *Label81, *Label82, *Label77, *Label78, *Label79, *Label80;
  TQxComboBox *ComboBox16, *ComboBox17;
  // GIF
  TKvLabel *Label21, *Label20, *Label34, *Label35, *Label31, *Label32, *Label33, *Label36, *Label22, *Label28, *Label29,
      *Label30;
  TQxComboBox* ComboBox5;
  TEdit *Edit9, *Edit10, *Edit11, *Edit12;
  TKvCheckBox *CheckBox4, *CheckBox5;
  TQxColorField *Panel3, *Panel4;
  TKvGroupBox* GroupBox2;
  TKvLabel *Label87, *Label83, *Label84, *Label85, *Label86;
  TQxComboBox* ComboBox18;
  // BMP, PCX
  TKvLabel *Label37, *Label38, *Label39, *Label40, *Label41, *Label42;
  TQxComboBox *ComboBox6, *ComboBox7;
  TKvLabel *Label43, *Label44, *Label45, *Label46, *Label47, *Label48;
  TQxComboBox *ComboBox8, *ComboBox9;
  // PNG
  TKvLabel *Label49, *Label54, *Label55, *Label56, *Label50, *Label51, *Label52, *Label53;
  TQxComboBox *ComboBox10, *ComboBox11, *ComboBox12;
  TQxColorField* Panel1;
  TKvGroupBox* GroupBox3;
  TKvCheckBox* CheckBox6;
  // TGA
  TKvLabel *Label62, *Label63, *Label64, *Label65, *Label58, *Label59, *Label60, *Label61;
  TQxComboBox* ComboBox14;
  TQxColorField* Panel5;
  TKvCheckBox* CheckBox1;
  TEdit *Edit13, *Edit14;
  // JPEG 2000
  TKvLabel *Label66, *Label71, *Label67, *Label68, *Label69, *Label70;
  TEdit* Edit15;
  TKvTrackBar* TrackBar1;
  TQxComboBox* ComboBox15;

 private:
  void BuildControls();
  void PreviewWhenLocked();
  void ApplyOn();
  void ResultCopy(TQuillotIO* S, TQuillotIO* R);
  void PaletteReduction(TQuillotIO* R);
  void FollowSource();
  bool PickFromPalette(TQxColorField* Field, int32_t Entries);
  TQxTabSheet* ActiveSheet() const;
  int32_t PixelsPerInchScreen() const;
};

// Runs the dialog for the I/O component's own parameters (the body of TQuillotIO::DoPreviews).
bool QxRunPreviewsDialog(TQuillotIO& IO, uint16_t PageSet);
