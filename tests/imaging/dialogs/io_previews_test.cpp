// The save-parameters dialog: which pages show, what each page shows and writes back, the TIFF list with
// and without the LZW coder, the live preview, and the files its choices make.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "controls/kv_buttons.h"
#include "controls/kv_checks.h"
#include "controls/kv_labels.h"
#include "controls/kv_panels.h"
#include "controls/kv_trackbar.h"
#include "imaging/dialogs/dialog_controls.h"
#include "imaging/dialogs/io_previews.h"
#include "imaging/dialogs/message_table.h"
#include "imaging/dialogs/palette_dialog.h"
#include "imaging/io/io_init.h"
#include "imaging/view/view.h"
#include "platform/ui/item_list.h"
#include "platform/ui/std_ctrls.h"
#include "dialogs_fixture.h"

namespace {

using namespace qvdlg;

class PreviewsTest : public DialogsTest {
 protected:
  void SetUp() override {
    DialogsTest::SetUp();
    Picture = std::make_unique<TQxBitmap>();
    FillPicture(*Picture, 64, 48);
    IO = std::make_unique<TQuillotIO>(Picture.get());
    IO->MsgLanguage = TMsgLanguage::msEnglish;
  }
  // A dialog set up as the I/O component sets it up, activated but not shown.
  std::unique_ptr<TfIOPreviews> Open(uint16_t Pages, bool Simplified) {
    auto f = std::make_unique<TfIOPreviews>(nullptr);
    f->Params = IO->Params.get();
    f->SimplifiedPages = Simplified;
    f->UpdateLanguage(TMsgLanguage::msEnglish);
    f->Quillot1->AttachExternalBitmap(Picture.get());
    if (!f->SelectPages(Pages)) return nullptr;
    f->FormActivate(f.get());
    return f;
  }
  void Close(std::unique_ptr<TfIOPreviews>& F) {
    F->Quillot1->AttachExternalBitmap(nullptr);
    F.reset();
  }
  std::unique_ptr<TQxBitmap> Picture;
  std::unique_ptr<TQuillotIO> IO;
};

TEST_F(PreviewsTest, PagesFollowTheSetAndTheFileType) {
  IO->Params->FileType = qxffPSD;
  {
    TfIOPreviews f(nullptr);
    f.Params = IO->Params.get();
    EXPECT_FALSE(f.SelectPages(2));  // a format without a page: nothing to show
  }
  IO->Params->FileType = qxffPNG;
  auto f = Open(1, false);
  ASSERT_TRUE(f);
  auto tabs = f->PageControl1->VisibleTabs();
  EXPECT_EQ(tabs.size(), 8u);
  EXPECT_EQ(f->PageControl1->ActivePage(), f->TabSheetPNG1);
  Close(f);
  f = Open(1, true);
  EXPECT_EQ(f->PageControl1->VisibleTabs().front(), f->TabSheetJPEG2);
  Close(f);
  // The empty set opens with no tab at all (and OK then writes nothing).
  f = Open(0, true);
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->PageControl1->VisibleTabs().empty());
  EXPECT_EQ(f->PageControl1->ActivePage(), nullptr);
  IO->Params->JpegQuality = 61;
  f->Button1Click(nullptr);
  EXPECT_EQ(IO->Params->JpegQuality, 61);
  Close(f);
  // {2} with a TIFF file type: the TIFF page.
  IO->Params->FileType = qxffTIFF;
  f = Open(2, true);
  ASSERT_TRUE(f);
  ASSERT_EQ(f->PageControl1->VisibleTabs().size(), 1u);
  EXPECT_EQ(f->PageControl1->ActivePage(), f->TabSheetTIFF2);
  Close(f);
}

TEST_F(PreviewsTest, LzwIsListedOnlyWithItsCoder) {
  IO->Params->FileType = qxffTIFF;
  IO->Params->TiffCompression = 5;  // LZW
  auto f = Open(8, false);
  EXPECT_EQ(f->ComboBox2->Items(), (std::vector<std::string>{"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX",
                                                             "LZW", "JPEG", "PACKBITS", "ZIP"}));
  EXPECT_EQ(f->ComboBox2->Text(), "LZW");
  Close(f);
  TQxLzwHook saved = QxTiffLzwEncodeHook;
  QxTiffLzwEncodeHook = nullptr;
  f = Open(8, false);
  EXPECT_EQ(f->ComboBox2->Items(), (std::vector<std::string>{"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX",
                                                             "JPEG", "PACKBITS", "ZIP"}));
  EXPECT_EQ(f->ComboBox2->Text(), "PACKBITS");
  // Without the coder, the list maps back to the values that exist.
  const std::pair<int32_t, int32_t> toIndex[] = {{0, 0}, {4, 4}, {5, 6}, {6, 0}, {7, 5}, {8, 6}, {9, 7}, {10, 0}};
  for (auto& c : toIndex) EXPECT_EQ(TfIOPreviews::TiffCompressionToIndex(c.first), c.second) << c.first;
  EXPECT_EQ(TfIOPreviews::TiffIndexToCompression(8), 0);
  Close(f);
  QxTiffLzwEncodeHook = saved;
  const std::pair<int32_t, int32_t> withLzw[] = {{5, 5}, {7, 6}, {8, 7}, {9, 8}, {6, 0}};
  for (auto& c : withLzw) EXPECT_EQ(TfIOPreviews::TiffCompressionToIndex(c.first), c.second) << c.first;
  EXPECT_EQ(TfIOPreviews::TiffIndexToCompression(8), 9);
}

// Every page shows the parameters it was given and writes back what it shows, then what the user changed.
TEST_F(PreviewsTest, EveryPageWritesBackWhatItShows) {
  TIOParamsVals& p = *IO->Params;
  // JPEG (full page)
  p.FileType = qxffJPEG, p.JpegQuality = 42, p.JpegColorSpace = 1, p.JpegDCTMethod = 2, p.JpegSmooth = 7;
  p.JpegOptimalHuffman = 1, p.JpegProgressive = 1;
  auto f = Open(4, false);
  EXPECT_EQ(f->Edit22->Text(), "42");
  EXPECT_EQ(f->TrackBar13->Position(), 42);
  EXPECT_EQ(f->ComboBox13->Text(), "GrayScale");
  EXPECT_EQ(f->ComboBox1->Text(), "FLOAT");
  EXPECT_TRUE(f->CheckBox2->Checked() && f->CheckBox3->Checked());
  f->Edit22->SetText("150");  // above the range: the track bar stops at 100 and the edit follows
  EXPECT_EQ(f->TrackBar13->Position(), 100);
  EXPECT_EQ(f->Edit22->Text(), "100");
  EXPECT_TRUE(f->Button4->Enabled());
  f->Button1Click(nullptr);
  EXPECT_EQ(p.JpegQuality, 100);
  EXPECT_EQ(p.JpegColorSpace, 1);
  EXPECT_EQ(p.JpegDCTMethod, 2);
  EXPECT_EQ(p.JpegSmooth, 7);
  Close(f);

  // JPEG 2000
  p.FileType = qxffJP2, p.J2000Rate = 0.5, p.J2000ColorSpace = 2;
  f = Open(512, false);
  EXPECT_EQ(f->Edit15->Text(), "500");
  EXPECT_EQ(f->ComboBox15->Text(), "YCbCr");
  f->Edit15->SetText("250");
  EXPECT_EQ(f->TrackBar1->Position(), 250);
  f->Button1Click(nullptr);
  EXPECT_DOUBLE_EQ(p.J2000Rate, 0.25);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_EQ(p.FileType, qxffJ2K);
  f->Edit15->SetText("abc");
  f->Button1Click(nullptr);
  EXPECT_DOUBLE_EQ(p.J2000Rate, 1.0);
  Close(f);

  // TIFF (full): CMYK photometric gives 4 samples of 8 bits whatever the colours list shows.
  p.FileType = qxffTIFF, p.TiffCompression = 8, p.TiffPhotometric = 2, p.SamplesPerPixel = 3, p.BitsPerSample = 8;
  p.TiffDocumentName = "doc", p.TiffPageNumber = 2, p.TiffPageCount = 9, p.TiffXPos = 3;
  f = Open(8, false);
  EXPECT_EQ(f->ComboBox2->Text(), "PACKBITS");
  EXPECT_EQ(f->ComboBox3->Text(), "RGB");
  EXPECT_EQ(f->ComboBox4->Text(), "16M");
  EXPECT_EQ(f->Edit4->Text(), "doc");
  EXPECT_EQ(f->Edit7->Text(), "2");
  EXPECT_EQ(f->Edit8->Text(), "9");
  f->ComboBox3->SetItemIndex(5);
  f->ComboBox2Click(f->ComboBox3);
  f->Edit5->SetText("described");
  f->Button1Click(nullptr);
  EXPECT_EQ(p.TiffPhotometric, 5);
  EXPECT_EQ(p.SamplesPerPixel, 4);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.TiffCompression, 8);
  EXPECT_EQ(p.TiffImageDescription, "described");
  EXPECT_EQ(p.TiffPageCount, 9);
  // "256" with WHITEISZERO/Gray: gray, not a palette.
  f->ComboBox3->SetItemIndex(0);
  f->ComboBox2Click(f->ComboBox3);
  EXPECT_EQ(f->ComboBox4->Text(), "256");
  f->Button1Click(nullptr);
  EXPECT_EQ(p.SamplesPerPixel, 1);
  EXPECT_EQ(p.BitsPerSample, 8);
  Close(f);

  // Simplified TIFF: G4 sets two colours and black-is-zero; then "256" resets the compression.
  p.TiffCompression = 0;
  f = Open(8, true);
  f->ComboBox16->SetItemIndex(4);
  f->ComboBox16Change(f->ComboBox16);
  EXPECT_EQ(f->ComboBox17->Text(), "2");
  f->ComboBox17->SetItemIndex(2);
  f->ComboBox16Change(f->ComboBox17);
  EXPECT_EQ(f->ComboBox16->Text(), "UNCOMPRESSED");
  f->Button1Click(nullptr);
  EXPECT_EQ(p.TiffCompression, 0);
  EXPECT_EQ(p.TiffPhotometric, 1);
  EXPECT_EQ(p.BitsPerSample, 8);
  Close(f);

  // GIF
  p.FileType = qxffGIF, p.BitsPerSample = 4, p.GifTransparent = 1, p.GifDelayTime = 12, p.GifInterlaced = 0;
  p.GifTranspColor = TQxRGB{1, 2, 3};
  f = Open(16, false);
  EXPECT_EQ(f->ComboBox5->Text(), "16");
  EXPECT_EQ(f->Edit12->Text(), "12");
  EXPECT_TRUE(f->Panel3->Enabled());
  EXPECT_EQ(f->Panel3->Color(), static_cast<TColor>(0x010203));
  f->CheckBox5->SetChecked(true);
  f->ComboBox5Click(f->CheckBox5);
  f->Edit9->SetText("2");
  f->Button1Click(nullptr);
  EXPECT_EQ(p.GifInterlaced, 1);
  EXPECT_EQ(p.GifImageIndex, 2);
  EXPECT_EQ(p.TiffImageIndex, 2);  // every image index follows
  EXPECT_EQ(p.BitsPerSample, 4);
  EXPECT_EQ(p.GifDelayTime, 12);
  EXPECT_EQ(p.GifTranspColor.r, 3);
  Close(f);

  // BMP: 4 samples keep the previous colours index (B/W after construction); "16M (32bit)" writes 16M.
  p.FileType = qxffBMP, p.SamplesPerPixel = 4, p.BitsPerSample = 8, p.BmpCompression = 1;
  f = Open(32, false);
  EXPECT_EQ(f->ComboBox7->Text(), "B/W");
  EXPECT_EQ(f->ComboBox6->Text(), "RLE");
  f->ComboBox7->SetItemIndex(4);
  f->ComboBox6Change(f->ComboBox7);
  f->Button1Click(nullptr);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_EQ(p.BmpCompression, 1);
  Close(f);

  // PCX
  p.FileType = qxffPCX, p.SamplesPerPixel = 1, p.BitsPerSample = 4, p.PcxCompression = 0;
  f = Open(64, false);
  EXPECT_EQ(f->ComboBox9->Text(), "16");
  EXPECT_EQ(f->ComboBox8->Text(), "UNCOMPRESSED");
  f->Button1Click(nullptr);
  EXPECT_EQ(p.BitsPerSample, 4);
  EXPECT_EQ(p.SamplesPerPixel, 1);
  EXPECT_EQ(p.FileType, qxffPCX);
  Close(f);

  // PNG
  p.FileType = qxffPNG, p.SamplesPerPixel = 1, p.BitsPerSample = 8, p.PngFilter = 2, p.PngCompression = 9;
  p.PngInterlaced = 1;
  f = Open(128, false);
  EXPECT_EQ(f->ComboBox10->Text(), "256");
  EXPECT_EQ(f->ComboBox11->Text(), "Paeth");
  EXPECT_EQ(f->ComboBox12->Text(), "Max");
  EXPECT_TRUE(f->CheckBox6->Checked());
  f->ComboBox12->SetItemIndex(3);
  f->ComboBox10Change(f->ComboBox12);
  f->Button1Click(nullptr);
  EXPECT_EQ(p.PngCompression, 3);
  EXPECT_EQ(p.PngFilter, 2);
  EXPECT_EQ(p.PngInterlaced, 1);
  Close(f);

  // TGA
  p.FileType = qxffTGA, p.SamplesPerPixel = 3, p.TgaCompressed = 0, p.TgaJobName = "job", p.TgaImageId = "id";
  f = Open(256, false);
  EXPECT_EQ(f->ComboBox14->Text(), "16M");
  EXPECT_EQ(f->Edit13->Text(), "job");
  EXPECT_EQ(f->Edit14->Text(), "id");
  f->Edit14->SetText("new id");
  f->Button1Click(nullptr);
  EXPECT_EQ(p.TgaImageId, "new id");
  EXPECT_EQ(p.TgaJobName, "job");
  EXPECT_EQ(p.TgaCompressed, 0);
  Close(f);
}

TEST_F(PreviewsTest, ChangesOnAnotherPageAreDroppedWithoutApply) {
  IO->Params->FileType = qxffJPEG;
  IO->Params->JpegQuality = 70;
  auto f = Open(1, false);
  f->Edit22->SetText("20");
  EXPECT_EQ(f->W.Quality, 20);
  f->PageControl1->SelectByUser(f->TabSheetTIFF1);
  f->PageControl1->SelectByUser(f->TabSheetJPEG1);
  EXPECT_EQ(f->Edit22->Text(), "70");
  EXPECT_FALSE(f->Button4->Enabled());
  Close(f);
}

TEST_F(PreviewsTest, ThePreviewShowsSizesAndReducedColours) {
  IO->Params->FileType = qxffGIF;
  IO->Params->BitsPerSample = 1;
  auto f = Open(16, true);
  // The first activation computed a preview: sizes shown, the result reduced to two colours.
  EXPECT_EQ(f->Label84->Caption(), std::to_string(int64_t(Picture->RowLen()) * 48) + " bytes");
  EXPECT_NE(f->Label86->Caption(), "---");
  TIOParamsVals& r = *f->Quillot2->GetIO()->Params;
  EXPECT_EQ(r.ColorMapCount, 2);
  // JPEG through memory: the size label is the stream's size.
  Close(f);
  IO->Params->FileType = qxffJPEG;
  IO->Params->JpegQuality = 10;
  f = Open(4, true);
  std::string small = f->Label76->Caption();
  f->chkLockPreview->SetChecked(true);
  f->SpeedButton1Click(nullptr);
  EXPECT_FALSE(f->Button3->Enabled());
  f->Edit16->SetText("95");  // locked: the preview follows at once
  EXPECT_GT(std::stoll(f->Label76->Caption()), std::stoll(small));
  EXPECT_EQ(f->Quillot2->GetQxBitmap()->Width(), 64);
  Close(f);
}

// Shown through the I/O component in German, full pages, and left with Escape: nothing is written.
TEST_F(PreviewsTest, EscapeLeavesTheParametersAlone) {
  IO->MsgLanguage = TMsgLanguage::msGerman;
  IO->SimplifiedParamsDialogs = false;
  IO->Params->FileType = qxffJPEG;
  IO->Params->JpegQuality = 33;
  std::string caption;
  IO->OnIOPreview = [&](TObject*, TObject* Form) {
    auto* f = static_cast<TfIOPreviews*>(Form);
    TNotifyEvent activate = f->OnActivate;
    f->OnActivate = [f, activate, &caption](TObject* S) {
      activate(S);
      caption = f->Caption();
      f->Repaint();
      Headless::SaveWindowPng(f, ShotPath("previews_jpeg_de.png"));
    };
  };
  Headless::TypeToTop("77");
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_FALSE(IO->DoPreviews(1));
  EXPECT_EQ(caption, "Parameter-Vorschau");
  EXPECT_EQ(IO->Params->JpegQuality, 33);
  // OK after the same typing writes it.
  IO->OnIOPreview = nullptr;
  Headless::TypeToTop("77");
  Headless::KeyToTop(VK_RETURN);
  EXPECT_TRUE(IO->DoPreviews(1));
  EXPECT_EQ(IO->Params->JpegQuality, 77);
}

// A drop-down list of the options is a window of its own, not clipped by the tab page it sits on, and
// Escape closes it before it closes the dialog.
TEST_F(PreviewsTest, OpenListIsItsOwnWindowAndTakesEscape) {
  IO->Params->FileType = qxffTIFF;
  auto f = Open(8, false);
  ASSERT_TRUE(f);
  f->SetBounds(100, 100, f->Width(), f->Height());
  f->Show();
  Application->ProcessMessages();
  f->ComboBox2->SetFocus();
  Headless::Key(f.get(), VK_DOWN, TShiftState(ssAlt));
  Application->ProcessMessages();
  ASSERT_TRUE(f->ComboBox2->DroppedDown());
  TDropDownList* l = TDropDownList::Current();
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->Items(), f->ComboBox2->Items());
  EXPECT_EQ(l->Height(), static_cast<int32_t>(f->ComboBox2->Items().size()) * TItemList::kRowHeight + 2);
  // A window of its own, not a part of the tab page that would cut it.
  EXPECT_EQ(l->Parent(), nullptr);
  EXPECT_TRUE(l->Showing());
  // Down to LZW and Enter picks it; open again, Escape closes only the list.
  const int32_t before = f->ComboBox2->ItemIndex();
  Headless::Key(f.get(), VK_DOWN);
  Headless::Key(f.get(), VK_RETURN);
  Application->ProcessMessages();
  EXPECT_FALSE(f->ComboBox2->DroppedDown());
  EXPECT_EQ(f->ComboBox2->ItemIndex(), before + 1);
  EXPECT_EQ(f->ModalResult(), mrNone);
  Headless::Key(f.get(), VK_F4);
  Headless::Key(f.get(), VK_ESCAPE);
  Application->ProcessMessages();
  EXPECT_FALSE(f->ComboBox2->DroppedDown());
  EXPECT_EQ(f->ModalResult(), mrNone);
  EXPECT_TRUE(f->Showing());
  Headless::Key(f.get(), VK_ESCAPE);
  Application->ProcessMessages();
  EXPECT_EQ(f->ModalResult(), mrCancel);
  f->Hide();
  Close(f);
}

TEST_F(PreviewsTest, TextsFollowTheLanguage) {
  TfIOPreviews f(nullptr);
  f.UpdateLanguage(TMsgLanguage::msPolish);
  EXPECT_EQ(f.Label66->Caption(), "Rate:");  // no Polish text: English
  EXPECT_EQ(f.CancelCaption, "&Anuluj");
  f.UpdateLanguage(TMsgLanguage::msGerman);
  EXPECT_EQ(f.Caption(), "Parameter-Vorschau");
  EXPECT_EQ(f.GroupBox5->Caption(), " Erweitert ");
  EXPECT_EQ(f.Label23->Caption(), "Qualität:");
  EXPECT_EQ(f.Button2->Caption(), "Abbrechen");
}

// Labels that stand before a field must hold their text whole in every language the program offers
// ("Komprimierung:" was cut off in German).
TEST_F(PreviewsTest, CompressionLabelsHoldTheirTextInEveryLanguage) {
  TfIOPreviews f(nullptr);
  TBitmap probe(4, 4, TPixelFormat::pf24bit);
  for (TMsgLanguage lang : {TMsgLanguage::msEnglish, TMsgLanguage::msGerman, TMsgLanguage::msFrench,
                            TMsgLanguage::msItalian, TMsgLanguage::msSpanish, TMsgLanguage::msDutch}) {
    f.UpdateLanguage(lang);
    const std::pair<TKvLabel*, TControl*> pairs[] = {
        {f.Label5, f.ComboBox2}, {f.Label81, f.ComboBox16}, {f.Label37, f.ComboBox6}, {f.Label43, f.ComboBox8}};
    for (auto [l, field] : pairs) {
      std::string text = l->Caption();
      text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
      probe.Canvas()->Font()->Assign(*l->Font());
      SCOPED_TRACE(text);
      EXPECT_LE(probe.Canvas()->TextWidth(text), l->Width());
      EXPECT_LE(l->Left() + l->Width(), field->Left());
    }
  }
}

// The dialog driven by keys through the I/O component, for every compression the simplified TIFF page
// offers; each file must open in libtiff's own tool with that compression.
TEST_F(PreviewsTest, EveryTiffCompressionReachesTheFile) {
  if (!HaveTool("tiffinfo")) GTEST_SKIP() << "tiffinfo is not installed";
  const char* names[] = {"None", "CCITT RLE", "CCITT Group 3", "CCITT Group 3", "CCITT Group 4",
                         "LZW", "JPEG", "PackBits", "Deflate"};
  const int32_t values[] = {0, 1, 2, 3, 4, 5, 7, 8, 9};
  for (int i = 0; i < 9; ++i) {
    IO->Params->FileType = qxffTIFF;
    IO->Params->TiffCompression = 0;
    IO->Params->SamplesPerPixel = 3, IO->Params->BitsPerSample = 8, IO->Params->TiffPhotometric = 2;
    FillPicture(*Picture, 64, 48);
    for (int k = 0; k < i; ++k) Headless::KeyToTop(VK_DOWN);
    if (i == 0) {
      IO->OnIOPreview = [&](TObject*, TObject* Form) {
        auto* f = static_cast<TfIOPreviews*>(Form);
        TNotifyEvent activate = f->OnActivate;
        f->OnActivate = [f, activate](TObject* S) {
          activate(S);
          f->Repaint();
          Headless::SaveWindowPng(f, ShotPath("previews_tiff_en.png"));
        };
      };
    } else {
      IO->OnIOPreview = nullptr;
    }
    Headless::KeyToTop(VK_RETURN);
    ASSERT_TRUE(IO->DoPreviews(8)) << i;
    EXPECT_EQ(IO->Params->TiffCompression, values[i]);
    std::string path = (Dir / ("c" + std::to_string(i) + ".tif")).string();
    IO->Aborting = false;
    IO->SaveToFile(path);
    ASSERT_FALSE(IO->Aborting) << i;
    std::string info = Output("tiffinfo '" + path + "' 2>&1");
    EXPECT_NE(info.find(std::string("Compression Scheme: ") + names[i]), std::string::npos) << i << "\n" << info;
  }
}

TEST_F(PreviewsTest, PalettePickerPicksTheHighlightedCell) {
  TQxRGB pal[40];  // blue, green, red
  for (int i = 0; i < 40; ++i) pal[i] = TQxRGB{uint8_t(i), uint8_t(i * 2), uint8_t(i * 3)};
  TQuillotPaletteDialog d(nullptr);
  d.SetPalette(pal, 2);
  // Nothing highlighted: a click picks nothing.
  d.ChooseCell();
  EXPECT_EQ(d.ModalResult(), mrNone);
  d.TrackCell(20, 5);  // the second cell
  EXPECT_EQ(d.Selected, 1);
  d.TrackCell(20, 40);  // below the two cells: the highlight stays
  EXPECT_EQ(d.Selected, 1);
  d.ChooseCell();
  EXPECT_EQ(d.ModalResult(), mrOk);
  EXPECT_EQ(d.Color, static_cast<TColor>(0x010203));  // entry 1: red 3, green 2, blue 1
  // Further right than 32 columns is the next row, taken while it is below the count.
  d.SetPalette(pal, 40);
  d.TrackCell(16 * 33 + 5, 5);
  EXPECT_EQ(d.Selected, 33);
  EXPECT_EQ(TQuillotPaletteDialog::CellRect(33), Rect(17, 17, 32, 32));
  // Shown and driven by the mouse and Escape.
  d.SetModalResult(mrNone);
  d.Selected = -1;
  d.OnShow = [&](TObject*) {
    d.Repaint();
    Headless::SaveWindowPng(&d, ShotPath("palette_picker.png"));
    Headless::MouseMove(&d, 40, 8);
    Headless::Click(&d, 300, 100);
  };
  EXPECT_TRUE(d.Execute());
  EXPECT_EQ(d.Selected, 2);
  d.OnShow = nullptr;
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_FALSE(d.Execute());
}

TEST_F(PreviewsTest, GifColourFieldPreviewsFirstAndKeepsItsColourOnEscape) {
  IO->Params->FileType = qxffGIF;
  IO->Params->BitsPerSample = 1;
  IO->Params->GifTransparent = 1;
  IO->Params->GifTranspColor = TQxRGB{10, 20, 30};
  auto f = Open(16, false);
  // No map yet: the field computes the preview (two colours for "B/W") before the picker opens.
  f->Quillot2->GetIO()->Params->FreeColorMap();
  Headless::KeyToTop(VK_ESCAPE);
  f->Panel3Click(nullptr);
  EXPECT_EQ(f->Quillot2->GetIO()->Params->ColorMapCount, 2);
  EXPECT_EQ(f->W.GifTranspColor.r, 30);
  EXPECT_TRUE(f->Button4->Enabled());
  Close(f);
}

}  // namespace

// The pages' controls as placed: arrows beside the number fields, ticks of the track bars, the views'
// cursors, tabs that light up under the pointer, and the simplified layout's lock box and height.
TEST_F(PreviewsTest, PagesCarryTheirArrowsTicksCursorsAndHotTabs) {
  IO->Params->FileType = qxffJPEG;
  auto f = Open(1, false);
  ASSERT_TRUE(f);
  struct Arrow {
    TQxUpDown* U;
    TEdit* E;
    int32_t Max;
    const char* Top;
  };
  for (const Arrow& a : {Arrow{f->UpDown11, f->Edit23, 100, "100"}, Arrow{f->UpDown1, f->Edit1, 1000, "1000"},
                         Arrow{f->UpDown2, f->Edit9, 1000, "1,000"}}) {
    SCOPED_TRACE(a.U->Name());
    EXPECT_EQ(a.U->Associate(), a.E);
    EXPECT_EQ(a.U->Parent(), a.E->Parent());
    EXPECT_EQ(a.U->Left(), a.E->Left() + a.E->Width());
    a.E->SetText("0");
    a.U->Step(false);
    EXPECT_EQ(a.E->Text(), "0");  // not below the range
    a.U->Step(true);
    EXPECT_EQ(a.E->Text(), "1");
    a.U->SetPosition(a.Max + 5);
    EXPECT_EQ(a.E->Text(), a.Top);
  }
  EXPECT_EQ(f->TrackBar13->TickStep(), 5);
  EXPECT_EQ(f->TrackBar2->TickStep(), 5);
  EXPECT_EQ(f->TrackBar1->TickStep(), 20);
  for (TKvTrackBar* t : {f->TrackBar13, f->TrackBar2, f->TrackBar1}) EXPECT_EQ(t->ThumbLength(), 10);
  EXPECT_EQ(f->Quillot1->Cursor(), 1782);
  EXPECT_EQ(f->Quillot2->Cursor(), 1780);
  EXPECT_TRUE(f->Quillot1->EnableInteractionHints && f->Quillot2->EnableInteractionHints);

  f->Show();
  Application->ProcessMessages();
  TQxPageControl* pc = f->PageControl1;
  const TRect tab = pc->TabRect(1);
  const TPoint at = FormPos(pc);
  Headless::MouseMove(f.get(), at.X + (tab.Left + tab.Right) / 2, at.Y + (tab.Top + tab.Bottom) / 2);
  Application->ProcessMessages();
  EXPECT_EQ(pc->HotTab(), 1);
  EXPECT_TRUE(Headless::SaveWindowPng(f.get(), ShotPath("previews_jpeg_controls.png")));
  for (TQxTabSheet* page : {f->TabSheetTIFF1, f->TabSheetGIF1}) {
    pc->SetActivePage(page);
    f->Repaint();
    Application->ProcessMessages();
    EXPECT_TRUE(Headless::SaveWindowPng(f.get(), ShotPath("previews_" + page->Name() + ".png")));
  }
  Headless::MouseMove(f.get(), 2, 2);
  Application->ProcessMessages();
  EXPECT_EQ(pc->HotTab(), -1);
  f->Hide();
  Close(f);

  // The simplified dialog as the I/O component opens it: the lock box under the shorter pages.
  IO->SimplifiedParamsDialogs = true;
  int32_t lockTop = -1, height = -1;
  IO->OnIOPreview = [&](TObject*, TObject* Form) {
    auto* p = static_cast<TfIOPreviews*>(Form);
    height = p->Height();
    TNotifyEvent activate = p->OnActivate;
    p->OnActivate = [p, activate, &lockTop](TObject* S) {
      activate(S);
      lockTop = p->chkLockPreview->Top();
      p->Repaint();
      Headless::SaveWindowPng(p, ShotPath("previews_simplified.png"));
    };
  };
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_FALSE(IO->DoPreviews(1));
  const int32_t ppi = Screen ? Screen->PixelsPerInch() : 96;
  EXPECT_EQ(height, int32_t(ppi * 3.75));
  EXPECT_EQ(lockTop, int32_t(ppi * 3.1458333));
}

