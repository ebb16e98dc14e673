// The live half of the save-parameters dialog: what each control changes in the working copy, and the
// preview of the result computed from it.
#include <algorithm>
#include <cmath>
#include <exception>

#include "controls/kv_buttons.h"
#include "controls/kv_checks.h"
#include "controls/kv_labels.h"
#include "controls/kv_panels.h"
#include "controls/kv_trackbar.h"
#include "imaging/dialogs/dialog_controls.h"
#include "imaging/dialogs/io_previews.h"
#include "imaging/dialogs/palette_dialog.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/utils.h"
#include "imaging/io/quillot_io.h"
#include "imaging/processing/proc.h"
#include "imaging/view/view.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"
#include "platform/base/strings.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/std_ctrls.h"

namespace {
int32_t IntOf(TEdit* E, int32_t Default) { return StrToIntDef(E->Text(), Default); }

// TIFF colours list rows as (samples, bits).
const int32_t kTiffColors[5][2] = {{1, 1}, {1, 4}, {1, 8}, {1, 16}, {3, 8}};
const int32_t kTiffColorsSimple[4][2] = {{1, 1}, {1, 4}, {1, 8}, {3, 8}};

std::string Bytes(int64_t N) { return std::to_string(N) + " bytes"; }

// 2 to the power Bits x Samples, capped where a palette can no longer hold it.
int64_t ColorCount(int32_t Bits, int32_t Samples) {
  int64_t n = 1;
  for (int64_t i = 0; i < int64_t(Bits) * Samples && n <= (int64_t(1) << 32); ++i) n *= 2;
  return n;
}
}  // namespace

void TfIOPreviews::PreviewWhenLocked() {
  if (!chkLockPreview->Checked()) return;
  UpdatePreview();
  Quillot2->Repaint();
}

void TfIOPreviews::ApplyOn() { Button4->SetEnabled(true); }

// ---- JPEG ----

void TfIOPreviews::TrackBar13Change(TObject*) {
  if (!ControlsReady) return;
  int32_t smooth = IntOf(Edit23, 0);
  if (TrackBar13->Position() == W.Quality && ComboBox13->ItemIndex() == W.ColorSpace &&
      ComboBox1->ItemIndex() == W.DCTMethod && CheckBox2->Checked() == W.OptimalHuffman &&
      CheckBox3->Checked() == W.Progressive && smooth == W.Smooth)
    return;
  W.Quality = TrackBar13->Position();
  ControlsReady = false;
  Edit22->SetText(std::to_string(W.Quality));
  ControlsReady = true;
  W.ColorSpace = ComboBox13->ItemIndex();
  W.DCTMethod = ComboBox1->ItemIndex();
  W.OptimalHuffman = CheckBox2->Checked();
  W.Progressive = CheckBox3->Checked();
  W.Smooth = smooth;
  PreviewWhenLocked();
  ApplyOn();
}

void TfIOPreviews::Edit22Change(TObject* Sender) {
  if (!ControlsReady) return;
  int32_t q = IntOf(Edit22, 50), smooth = IntOf(Edit23, 0);
  if (q != W.Quality || smooth != W.Smooth) {
    TrackBar13->SetPosition(q);
    TrackBar13Change(Sender);
  }
  ApplyOn();
}

void TfIOPreviews::Edit16Change(TObject* Sender) {
  if (!ControlsReady) return;
  int32_t v = IntOf(Edit16, 50);
  if (v != W.Quality) {
    TrackBar2->SetPosition(v);
    TrackBar2Change(Sender);
  }
  ApplyOn();
}

void TfIOPreviews::TrackBar2Change(TObject*) {
  if (!ControlsReady || TrackBar2->Position() == W.Quality) return;
  W.Quality = TrackBar2->Position();
  ControlsReady = false;
  Edit16->SetText(std::to_string(W.Quality));
  ControlsReady = true;
  PreviewWhenLocked();
  ApplyOn();
}

// ---- JPEG 2000 ----

void TfIOPreviews::Edit15Change(TObject* Sender) {
  if (!ControlsReady) return;
  double x = IntOf(Edit15, 1000) / 1000.0;
  if (x != W.Rate) {
    TrackBar1->SetPosition(static_cast<int32_t>(Trunc(x * 1000)));
    TrackBar1Change(Sender);
  }
  ApplyOn();
}

void TfIOPreviews::TrackBar1Change(TObject*) {
  if (!ControlsReady) return;
  if (Round(W.Rate * 1000) == TrackBar1->Position() && W.J2kColorSpace == ComboBox15->ItemIndex()) return;
  W.Rate = TrackBar1->Position() / 1000.0;
  W.J2kColorSpace = ComboBox15->ItemIndex();
  ControlsReady = false;
  Edit15->SetText(std::to_string(static_cast<int64_t>(Round(W.Rate * 1000))));
  ControlsReady = true;
  PreviewWhenLocked();
  ApplyOn();
}

// ---- TIFF ----

void TfIOPreviews::ComboBox2Click(TObject* Sender) {
  if (!ControlsReady) return;
  if (Sender == ComboBox3) {
    int32_t ph = ComboBox3->ItemIndex();
    if ((ph == 0 || ph == 1) && ComboBox4->ItemIndex() != 0) ComboBox4->SetItemIndex(2);
    else if (ph == 2 || (ph >= 5 && ph <= 7)) ComboBox4->SetItemIndex(4);
    else if (ph == 3) ComboBox4->SetItemIndex(2);
  } else if (Sender == ComboBox4) {
    int32_t c = ComboBox4->ItemIndex(), ph = ComboBox3->ItemIndex();
    if (c == 0 && ph > 1) ComboBox3->SetItemIndex(1);
    else if (c == 1) ComboBox3->SetItemIndex(3);
    else if (c == 2 && (ph == 2 || ph > 3)) ComboBox3->SetItemIndex(3);
  }
  int32_t comp = TiffIndexToCompression(ComboBox2->ItemIndex());
  int32_t ph = ComboBox3->ItemIndex();
  int32_t samples = W.Samples, bits = W.Bits;
  int32_t c = ComboBox4->ItemIndex();
  // A list with no row chosen (an unusual sample layout) keeps the working values.
  if (ph == 5) samples = 4, bits = 8;
  else if (c >= 0 && c < 5) samples = kTiffColors[c][0], bits = kTiffColors[c][1];
  if (comp != W.TiffCompression || ph != W.TiffPhotometric || bits != W.Bits || samples != W.Samples) {
    W.TiffCompression = comp, W.TiffPhotometric = ph, W.Bits = bits, W.Samples = samples;
    PreviewWhenLocked();
  }
  W.TiffImageIndex = IntOf(Edit1, 0);
  W.TiffXPos = IntOf(Edit2, 0);
  W.TiffYPos = IntOf(Edit3, 0);
  W.PageNumber = IntOf(Edit7, 0);
  W.PageCount = IntOf(Edit8, 0);
  W.DocumentName = Edit4->Text();
  W.ImageDescription = Edit5->Text();
  W.PageName = Edit6->Text();
  ApplyOn();
}

void TfIOPreviews::ComboBox16Change(TObject* Sender) {
  if (!ControlsReady) return;
  int32_t comp = W.TiffCompression, ph = W.TiffPhotometric, samples = W.Samples, bits = W.Bits;
  if (Sender == ComboBox16) {
    comp = TiffIndexToCompression(ComboBox16->ItemIndex());
    if (comp >= 1 && comp <= 4) ComboBox17->SetItemIndex(0), samples = 1, bits = 1, ph = 1;
    else if (comp == 7) ComboBox17->SetItemIndex(3), samples = 3, bits = 8, ph = 6;
  } else if (Sender == ComboBox17) {
    int32_t c = ComboBox17->ItemIndex();
    if (c >= 0 && c < 4) samples = kTiffColorsSimple[c][0], bits = kTiffColorsSimple[c][1];
    if (bits > 1 && comp >= 1 && comp <= 4) comp = 0, ComboBox16->SetItemIndex(0);
    if (comp == 7 && (bits != 8 || samples != 3)) comp = 0, ComboBox16->SetItemIndex(0);
  }
  if (comp != W.TiffCompression || ph != W.TiffPhotometric || bits != W.Bits || samples != W.Samples) {
    W.TiffCompression = comp, W.TiffPhotometric = ph, W.Bits = bits, W.Samples = samples;
    PreviewWhenLocked();
  }
  ApplyOn();
}

// ---- GIF ----

void TfIOPreviews::ComboBox5Click(TObject*) {
  if (!ControlsReady) return;
  int32_t bits = ComboBox5->ItemIndex() + 1;
  bool interlaced = CheckBox5->Checked();
  if (bits != W.GifBits || interlaced != W.GifInterlaced) {
    W.GifBits = bits, W.GifInterlaced = interlaced;
    PreviewWhenLocked();
  }
  W.GifImageIndex = IntOf(Edit9, 0);
  W.GifXPos = IntOf(Edit10, 0);
  W.GifYPos = IntOf(Edit11, 0);
  W.GifDelay = IntOf(Edit12, 0);
  W.GifTransparent = CheckBox4->Checked();
  Label34->SetEnabled(W.GifTransparent);
  Panel3->SetEnabled(W.GifTransparent);
  W.GifInterlaced = interlaced;
  ApplyOn();
}

void TfIOPreviews::ComboBox18Change(TObject*) {
  if (!ControlsReady) return;
  int32_t bits = ComboBox18->ItemIndex() + 1;
  if (bits != W.GifBits) {
    W.GifBits = bits;
    PreviewWhenLocked();
  }
  ApplyOn();
}

// ---- BMP, PCX, PNG, TGA ----

void TfIOPreviews::ComboBox6Change(TObject*) {
  if (!ControlsReady) return;
  int32_t colors = ComboBox7->ItemIndex(), comp = ComboBox6->ItemIndex() != 0 ? 1 : 0;
  if (colors != W.BmpColors || comp != W.BmpCompression) {
    W.BmpColors = colors, W.BmpCompression = comp;
    PreviewWhenLocked();
  }
  ApplyOn();
}

void TfIOPreviews::ComboBox8Change(TObject*) {
  if (!ControlsReady) return;
  int32_t colors = ComboBox9->ItemIndex(), comp = ComboBox8->ItemIndex() != 0 ? 1 : 0;
  if (colors != W.PcxColors || comp != W.PcxCompression) {
    W.PcxColors = colors, W.PcxCompression = comp;
    PreviewWhenLocked();
  }
  ApplyOn();
}

void TfIOPreviews::ComboBox10Change(TObject*) {
  if (!ControlsReady) return;
  int32_t colors = ComboBox10->ItemIndex(), filter = ComboBox11->ItemIndex(), comp = ComboBox12->ItemIndex();
  bool interlaced = CheckBox6->Checked();
  if (colors != W.PngColors || filter != W.PngFilter || comp != W.PngCompression || interlaced != W.PngInterlaced) {
    W.PngColors = colors, W.PngFilter = filter, W.PngCompression = comp, W.PngInterlaced = interlaced;
    PreviewWhenLocked();
  }
  ApplyOn();
}

void TfIOPreviews::ComboBox14Click(TObject*) {
  if (!ControlsReady) return;
  int32_t colors = ComboBox14->ItemIndex();
  bool compressed = CheckBox1->Checked();
  if (colors != W.TgaColors || compressed != W.TgaCompressed) {
    W.TgaColors = colors, W.TgaCompressed = compressed;
    PreviewWhenLocked();
  }
  W.TgaName = Edit13->Text();
  W.TgaDescription = Edit14->Text();
  ApplyOn();
}

// ---- pages, lock, buttons ----

void TfIOPreviews::PageControl1Changing(TObject*, bool&) { ControlsReady = false; }

void TfIOPreviews::PageControl1Change(TObject*) {
  ControlsReady = true;
  LoadWorkingCopy();
  ShowWorkingCopy();
  if (chkLockPreview->Checked()) UpdatePreview();
  Button4->SetEnabled(false);
}

void TfIOPreviews::SpeedButton1Click(TObject*) {
  if (chkLockPreview->Checked()) UpdatePreview();
  Button3->SetEnabled(!chkLockPreview->Checked());
}

void TfIOPreviews::Button3Click(TObject*) { UpdatePreview(); }

void TfIOPreviews::Quillot1Progress(TObject*, int32_t Percent) {
  ProgressBar1->SetPosition(static_cast<int32_t>(Percent / std::max(1, ProgressDivisor)) + ProgressOffset);
}

void TfIOPreviews::Quillot1ViewChange(TObject*) { FollowSource(); }

void TfIOPreviews::FollowSource() {
  Quillot2->IncPaintLock();
  Quillot2->SetZoom(Quillot1->ZoomX());
  Quillot2->SetViewOrigin(Quillot1->ViewOriginX(), Quillot1->ViewOriginY());
  Quillot2->DecPaintLockAndUpdate();
}

// ---- the preview ----

void TfIOPreviews::ResultCopy(TQuillotIO* S, TQuillotIO* R) {
  try {
    Quillot2->AssignFrom(Quillot1);
  } catch (const std::exception&) {
    SetCaption("Result can not be shown but parameters may be entered");
  }
  R->Params->AssignParams(*S->Params);
}

void TfIOPreviews::PaletteReduction(TQuillotIO* R) {
  TIOParamsVals& p = *R->Params;
  int64_t n = ColorCount(p.BitsPerSample, p.SamplesPerPixel);
  if (n > 256) {
    p.FreeColorMap();
    return;
  }
  p.FreeColorMap();
  p.ColorMap.assign(static_cast<size_t>(std::max<int64_t>(n, 2)), TQxRGB{0, 0, 0});
  p.ColorMapCount = static_cast<int32_t>(n);
  Quillot2->GetProc()->ConvertToPalette(static_cast<int32_t>(n), p.ColorMap.data(), BilevelMode != 0);
}

void TfIOPreviews::UpdatePreview() {
  if (!Activated) return;
  TQxTabSheet* a = ActiveSheet();
  TCursor saved = Screen ? Screen->Cursor() : crDefault;
  if (Screen) Screen->SetCursor(crHourGlass);
  struct TRestore {
    TCursor C;
    ~TRestore() {
      if (Screen) Screen->SetCursor(C);
    }
  } restore{saved};
  TMemoryStream mem;
  TNulStream nul;
  TQuillotIO* S = Quillot1->GetIO();
  TQuillotIO* R = Quillot2->GetIO();
  S->SetBilevelConversion(BilevelMode);
  ProgressOffset = 0;
  TIOParamsVals& sp = *S->Params;
  auto sizeLabels = [](std::initializer_list<TKvLabel*> Ls, int64_t N) {
    for (TKvLabel* l : Ls) l->SetCaption(Bytes(N));
  };
  if (a == TabSheetJPEG1 || a == TabSheetJPEG2) {
    ProgressDivisor = 2;
    sp.JpegQuality = W.Quality;
    sp.JpegColorSpace = static_cast<uint8_t>(W.ColorSpace);
    if (W.DCTMethod >= 0 && W.DCTMethod <= 2) sp.JpegDCTMethod = static_cast<uint8_t>(W.DCTMethod);
    sp.JpegOptimalHuffman = W.OptimalHuffman;
    sp.JpegSmooth = W.Smooth;
    sp.JpegProgressive = W.Progressive;
    S->SaveJpegStream(mem);
    sizeLabels({Label25, Label76}, mem.Size());
    mem.SetPosition(0);
    ProgressOffset = 50;
    R->LoadJpegStream(mem);
  } else if (a == TabSheetJ20001) {
    ProgressDivisor = 2;
    sp.J2000Rate = W.Rate;
    sp.J2000ColorSpace = static_cast<uint8_t>(W.J2kColorSpace);
    sp.BitsPerSample = 8;
    sp.SamplesPerPixel = 3;
    S->SaveJ2kStream(mem);
    sizeLabels({Label70}, mem.Size());
    mem.SetPosition(0);
    ProgressOffset = 50;
    R->LoadJ2kStream(mem);
  } else if (a == TabSheetTIFF1 || a == TabSheetTIFF2) {
    ProgressDivisor = 1;
    sp.TiffLzwDecompress = W.TiffLzwDecompress;
    sp.TiffLzwCompress = W.TiffLzwCompress;
    sp.TiffCompression = static_cast<uint8_t>(W.TiffCompression);
    sp.TiffPhotometric = static_cast<uint8_t>(W.TiffPhotometric);
    sp.SamplesPerPixel = W.Samples;
    sp.BitsPerSample = W.Bits;
    S->SaveTiffStream(nul);
    sizeLabels({Label18, Label80}, nul.Size());
    ResultCopy(S, R);
    if ((W.TiffPhotometric == 0 || W.TiffPhotometric == 1) && W.Bits == 8 && W.Samples == 1) {
      Quillot2->GetProc()->ConvertToGray();
      R->Params->FreeColorMap();
    } else if (W.TiffPhotometric < 5) {
      PaletteReduction(R);
    }
  } else if (a == TabSheetGIF1 || a == TabSheetGIF2) {
    ProgressDivisor = 1;
    sp.BitsPerSample = std::max(1, W.GifBits);
    sp.SamplesPerPixel = 1;
    sp.GifInterlaced = W.GifInterlaced;
    S->SaveGifStream(nul);
    sizeLabels({Label30, Label86}, nul.Size());
    ResultCopy(S, R);
    PaletteReduction(R);
  } else if (a == TabSheetBMP1 || a == TabSheetPCX1) {
    ProgressDivisor = 1;
    const bool bmp = a == TabSheetBMP1;
    static const int32_t b[] = {1, 4, 8, 8, 8}, s[] = {1, 1, 1, 3, 3};
    int32_t c = std::clamp(bmp ? W.BmpColors : W.PcxColors, 0, bmp ? 4 : 3);
    sp.BitsPerSample = b[c];
    sp.SamplesPerPixel = s[c];
    if (bmp) {
      sp.BmpCompression = static_cast<uint8_t>(W.BmpCompression);
      S->SaveBmpStream(nul);
      sizeLabels({Label42}, nul.Size());
    } else {
      sp.PcxCompression = static_cast<uint8_t>(W.PcxCompression);
      S->SavePcxStream(nul);
      sizeLabels({Label48}, nul.Size());
    }
    ResultCopy(S, R);
    int64_t n = ColorCount(R->Params->BitsPerSample, R->Params->SamplesPerPixel);
    if (n <= 256) Quillot2->GetProc()->ConvertTo(static_cast<int32_t>(n), BilevelMode != 0);
  } else if (a == TabSheetPNG1 || a == TabSheetTGA1) {
    ProgressDivisor = 1;
    static const int32_t b[] = {1, 8, 8}, s[] = {1, 1, 3};
    const bool png = a == TabSheetPNG1;
    int32_t c = std::clamp(png ? W.PngColors : W.TgaColors, 0, 2);
    sp.BitsPerSample = b[c];
    sp.SamplesPerPixel = s[c];
    if (png) {
      sp.PngInterlaced = W.PngInterlaced;
      sp.PngFilter = static_cast<uint8_t>(W.PngFilter);
      sp.PngCompression = W.PngCompression;
      S->SavePngStream(nul);
      sizeLabels({Label53}, nul.Size());
    } else {
      sp.TgaCompressed = W.TgaCompressed;
      S->SaveTgaStream(nul);
      sizeLabels({Label61}, nul.Size());
    }
    ResultCopy(S, R);
    PaletteReduction(R);
  }
  ProgressBar1->SetPosition(0);
  FollowSource();
}

// ---- colour fields ----

bool TfIOPreviews::PickFromPalette(TQxColorField* Field, int32_t Entries) {
  TQuillotIO* R = Quillot2->GetIO();
  TQuillotPaletteDialog d(this);
  d.SetPalette(R->Params->ColorMap.data(), std::min<int32_t>(Entries, static_cast<int32_t>(R->Params->ColorMap.size())));
  d.CancelButton->SetCaption(CancelCaption);
  if (!d.Execute()) return false;
  Field->SetColor(d.Color);
  return true;
}

void TfIOPreviews::Panel3Click(TObject*) {
  TQuillotIO* R = Quillot2->GetIO();
  if (R->Params->ColorMapCount == 0) UpdatePreview();
  // The bits may have changed since the last preview: never more cells than the map holds, nor than 256.
  int32_t n = std::min<int32_t>(static_cast<int32_t>(std::min<int64_t>(ColorCount(W.GifBits, 1), 256)),
                                R->Params->ColorMapCount);
  PickFromPalette(Panel3, n);
  W.GifTranspColor = QxTColorToRGB(Panel3->Color());
  ApplyOn();
}

void TfIOPreviews::Panel4Click(TObject*) {
  TQuillotIO* R = Quillot2->GetIO();
  if (R->Params->ColorMapCount == 0) UpdatePreview();
  int32_t n = std::min<int32_t>(static_cast<int32_t>(std::min<int64_t>(ColorCount(W.GifBits, 1), 256)),
                                R->Params->ColorMapCount);
  PickFromPalette(Panel4, n);
  W.GifBackground = QxTColorToRGB(Panel4->Color());
  ApplyOn();
}

void TfIOPreviews::Panel1Click(TObject*) {
  TQuillotIO* R = Quillot2->GetIO();
  if (R->Params->ColorMapCount > 0) {
    int64_t n = ColorCount(R->Params->BitsPerSample, R->Params->SamplesPerPixel);
    PickFromPalette(Panel1, static_cast<int32_t>(std::min<int64_t>(n, 256)));
  } else {
    ColorDialog1->SetColor(Panel1->Color());
    if (ColorDialog1->Execute()) Panel1->SetColor(ColorDialog1->Color());
  }
  W.PngBackground = QxTColorToRGB(Panel1->Color());
  ApplyOn();
}

void TfIOPreviews::Panel5Click(TObject*) {
  TQuillotIO* R = Quillot2->GetIO();
  if (R->Params->ColorMapCount > 0) {
    int64_t n = ColorCount(R->Params->BitsPerSample, R->Params->SamplesPerPixel);
    PickFromPalette(Panel5, static_cast<int32_t>(std::min<int64_t>(n, 256)));
  } else {
    ColorDialog1->SetColor(Panel5->Color());
    if (ColorDialog1->Execute()) Panel5->SetColor(ColorDialog1->Color());
  }
  W.TgaBackground = QxTColorToRGB(Panel5->Color());
  ApplyOn();
}
