// The open dialog: its type list, the entry chosen from a name, the names it returns, and the preview pane
// driven through the chooser by keys and clicks.
#include <gtest/gtest.h>

#include <functional>

#include "controls/kv_checks.h"
#include "controls/kv_labels.h"
#include "imaging/dialogs/dialog_controls.h"
#include "imaging/view/mview.h"
#include "imaging/dialogs/message_table.h"
#include "imaging/dialogs/open_dialog.h"
#include "imaging/foundation/services.h"
#include "imaging/vector/vect.h"
#include "imaging/view/view.h"
#include "platform/base/streams.h"
#include "platform/ui/std_ctrls.h"
#include "dialogs_fixture.h"

namespace {

using namespace qvdlg;

std::string HdpPattern() {
  auto& cs = QxCodecServices;
  return cs.WicAvailable && cs.WicAvailable() ? "*.wdp;*.hdp" : "";
}

class OpenDialogTest : public DialogsTest {};

TEST_F(OpenDialogTest, TypeListsComeFromTheRegistry) {
  const std::string hdp = HdpPattern();
  const std::string common =
      "*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif;*.gif;*.jpg;*.jpeg;*.jpe;*.jif;*.pcx;*.bmp;*.dib;*.rle;*.ico;*.cur;*.png;"
      "*.dcm;*.dic;*.dicom;*.v2;*.wmf;*.emf;*.tga;*.targa;*.vda;*.icb;*.vst;*.pix;*.pxm;*.ppm;*.pgm;*.pbm;*.wbmp;"
      "*.jp2;*.j2k;*.jpc;*.j2c;*.dcx;*.crw;*.cr2;*.nef;*.raw;*.pef;*.raf;*.x3f;*.bay;*.orf;*.srf;*.mrw;*.dcr;*.sr2;"
      "*.psd;*.qxv;*.lyr;*.all" +
      (hdp.empty() ? "" : ";" + hdp) + ";*.avi;*.mpg;*.wmv";
  const std::string open =
      "Common Graphic Files (" + common + ")|" + common +
      "|All Files (*.*)|*.*"
      "|TIFF Bitmap (*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif)|*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif"
      "|CompuServe Bitmap (*.gif)|*.gif|JPEG Bitmap (*.jpg;*.jpeg;*.jpe;*.jif)|*.jpg;*.jpeg;*.jpe;*.jif"
      "|PaintBrush (*.pcx)|*.pcx|Windows Bitmap (*.bmp;*.dib;*.rle)|*.bmp;*.dib;*.rle|Windows Icon (*.ico)|*.ico"
      "|Windows Cursor (*.cur)|*.cur|Portable Network Graphics (*.png)|*.png"
      "|DICOM Bitmap (*.dcm;*.dic;*.dicom;*.v2)|*.dcm;*.dic;*.dicom;*.v2|Windows Metafile (*.wmf)|*.wmf"
      "|Enhanced Windows Metafile (*.emf)|*.emf"
      "|Targa Bitmap (*.tga;*.targa;*.vda;*.icb;*.vst;*.pix)|*.tga;*.targa;*.vda;*.icb;*.vst;*.pix"
      "|Portable Pixmap, GrayMap, BitMap (*.pxm;*.ppm;*.pgm;*.pbm)|*.pxm;*.ppm;*.pgm;*.pbm"
      "|Wireless Bitmap (*.wbmp)|*.wbmp|JPEG2000 (*.jp2)|*.jp2|JPEG2000 Code Stream (*.j2k;*.jpc;*.j2c)|*.j2k;*.jpc;*.j2c"
      "|Multipage PCX (*.dcx)|*.dcx"
      "|Camera RAW (*.crw;*.cr2;*.nef;*.raw;*.pef;*.raf;*.x3f;*.bay;*.orf;*.srf;*.mrw;*.dcr;*.sr2)|"
      "*.crw;*.cr2;*.nef;*.raw;*.pef;*.raf;*.x3f;*.bay;*.orf;*.srf;*.mrw;*.dcr;*.sr2"
      "|Photoshop PSD (*.psd)|*.psd|Vectorial objects (*.qxv)|*.qxv|Layers (*.lyr)|*.lyr"
      "|Layers and objects (*.all)|*.all" +
      (hdp.empty() ? "" : "|Microsoft HD Photo (" + hdp + ")|" + hdp) +
      "|Video for Windows (*.avi)|*.avi|Mpeg (*.mpeg;*.mpg)|*.mpeg;*.mpg|Windows Media Video (*.wmv)|*.wmv";
  EXPECT_EQ(QxBuildFilter(TQxFilterKind::fkOpen, TMsgLanguage::msEnglish), open);

  const std::string save =
      "TIFF Bitmap (*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif)|*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.xif"
      "|CompuServe Bitmap (*.gif)|*.gif|JPEG Bitmap (*.jpg;*.jpeg;*.jpe;*.jif)|*.jpg;*.jpeg;*.jpe;*.jif"
      "|PaintBrush (*.pcx)|*.pcx|Windows Bitmap (*.bmp;*.dib;*.rle)|*.bmp;*.dib;*.rle|Windows Icon (*.ico)|*.ico"
      "|Portable Network Graphics (*.png)|*.png"
      "|Targa Bitmap (*.tga;*.targa;*.vda;*.icb;*.vst;*.pix)|*.tga;*.targa;*.vda;*.icb;*.vst;*.pix"
      "|Portable Pixmap, GrayMap, BitMap (*.pxm;*.ppm;*.pgm;*.pbm)|*.pxm;*.ppm;*.pgm;*.pbm"
      "|Wireless Bitmap (*.wbmp)|*.wbmp|JPEG2000 (*.jp2)|*.jp2|JPEG2000 Code Stream (*.j2k;*.jpc;*.j2c)|*.j2k;*.jpc;*.j2c"
      "|PostScript Level 2 (*.ps;*.eps)|*.ps;*.eps|Adobe PDF (*.pdf)|*.pdf|Multipage PCX (*.dcx)|*.dcx"
      "|Photoshop PSD (*.psd)|*.psd|Vectorial objects (*.qxv)|*.qxv|Layers (*.lyr)|*.lyr"
      "|Layers and objects (*.all)|*.all" +
      (hdp.empty() ? "" : "|Microsoft HD Photo (" + hdp + ")|" + hdp) + "|Video for Windows (*.avi)|*.avi";
  EXPECT_EQ(QxBuildFilter(TQxFilterKind::fkSave, TMsgLanguage::msEnglish), save);

  // The common entry and "All Files" speak the dialog's language.
  std::string de = QxBuildFilter(TQxFilterKind::fkOpen, TMsgLanguage::msGerman);
  EXPECT_EQ(de.rfind("Allgemeine Bilddateien (*.tif;", 0), 0u);
  EXPECT_NE(de.find("|Alle Dateien (*.*)|*.*|TIFF Bitmap"), std::string::npos);
  EXPECT_NE(de.find("|Video für Windows (*.avi)|*.avi|"), std::string::npos);
}

TEST_F(OpenDialogTest, FilterIndexComesFromTheName) {
  const std::string open = QxBuildFilter(TQxFilterKind::fkOpen, TMsgLanguage::msEnglish);
  const std::string save = QxBuildFilter(TQxFilterKind::fkSave, TMsgLanguage::msEnglish);
  struct Case {
    const std::string* Filter;
    const char* Name;
    int32_t Index;
  };
  const Case cases[] = {
      {&open, "photo.PNG", 1},  // the common entry lists it first
      {&open, "noext", 1},      {&save, "a.tif", 1},  {&save, "/x/y.z/a.TIFF", 1}, {&save, "a.gif", 2},
      {&save, "a.jpg", 3},      {&save, "a.pcx", 4},  {&save, "a.png", 7},          {&save, "a.j2k", 12},
      {&save, "a.psd", 16},     {&save, "a.xyz", 1},  {&save, ".png", 1}};
  for (const Case& c : cases) EXPECT_EQ(QxFilterIndexOfName(*c.Filter, c.Name), c.Index) << c.Name;
  // Video comes last, after HD Photo where that is registered.
  EXPECT_EQ(QxFilterIndexOfName(save, "a.avi"), HdpPattern().empty() ? 20 : 21);
  EXPECT_EQ(QxFilterPattern(save, 7), "*.png");
  EXPECT_EQ(QxFilterPattern(save, 99), "");

  // A dialog with FilterIndex 0 opens on that entry.
  TOpenQuillotDialog d(nullptr);
  d.SetFilterIndex(0);
  d.SetFileName((Dir / "PICTURE.PNG").string());
  int32_t shown = -1;
  d.DialogFunction = [&](TOpenFileNameData& D) {
    shown = D.FilterIndex;
    return false;
  };
  EXPECT_FALSE(d.ShowDialog());
  EXPECT_EQ(shown, 1);
}

TEST_F(OpenDialogTest, InitialDirLosesATrailingDelimiter) {
  TOpenQuillotDialog d(nullptr);
  const std::pair<const char*, const char*> cases[] = {
      {"/tmp/pictures/", "/tmp/pictures"}, {"/", "/"},   {"C:\\", "C:\\"}, {"C:\\Photos\\", "C:\\Photos"},
      {"x", "x"},                           {"", ""}};
  for (auto& c : cases) {
    d.SetInitialDir(c.first);
    EXPECT_EQ(d.InitialDir(), c.second) << c.first;
  }
}

TEST_F(OpenDialogTest, MultiSelectionGivesEveryNameInOrder) {
  TOpenQuillotDialog d(nullptr);
  d.Options.Include(TOpenOption::ofAllowMultiSelect);
  d.DialogFunction = [](TOpenFileNameData& D) {
    D.FileName = std::string("/pics\0b.png\0a.png\0/elsewhere/c.png", 34);
    return true;
  };
  ASSERT_TRUE(d.ShowDialog());
  ASSERT_EQ(d.Files()->Count(), 3);
  EXPECT_EQ(d.Files()->Strings(0), "/pics/b.png");
  EXPECT_EQ(d.Files()->Strings(1), "/pics/a.png");
  EXPECT_EQ(d.Files()->Strings(2), "/elsewhere/c.png");
  EXPECT_EQ(d.FileName(), "/pics/b.png");
  // One name in that mode is the whole path.
  d.DialogFunction = [](TOpenFileNameData& D) {
    D.FileName = "/pics/only.png";
    return true;
  };
  ASSERT_TRUE(d.ShowDialog());
  ASSERT_EQ(d.Files()->Count(), 1);
  EXPECT_EQ(d.FileName(), "/pics/only.png");
}

TEST_F(OpenDialogTest, RefusedCloseKeepsTheChooserOpenAndCancelChangesNothing) {
  std::string a = WritePicture("a.png", 20, 10);
  TOpenQuillotDialog d(nullptr);
  d.SetInitialDir(Dir.string());
  int asked = 0;
  std::string seen;
  d.OnCanClose = [&](TObject* S, bool& Can) {
    auto* dlg = static_cast<TOpenQuillotDialog*>(S);
    if (dlg->Files()->Count() > 0) seen = dlg->Files()->Strings(0);
    Can = ++asked > 1;
  };
  Headless::TypeToTop(a);
  Headless::KeyToTop(VK_RETURN);  // refused
  Headless::KeyToTop(VK_RETURN);  // accepted
  ASSERT_TRUE(d.ShowDialog());
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(seen, a);
  EXPECT_EQ(d.FileName(), a);
  EXPECT_EQ(d.Files()->Count(), 1);
  // Escape: no change to the name or the entry.
  d.SetFilterIndex(5);
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_FALSE(d.ShowDialog());
  EXPECT_EQ(d.FileName(), a);
  EXPECT_EQ(d.FilterIndex(), 5);
}

// What the pane showed when a selection had been previewed.
struct TPaneState {
  std::string Pic1, Pic2, Pic3, Info1, Info2;
  bool PreviewShown = false, FramesShown = false, PreviewEnabled = false, ZoomEnabled = false, PlayEnabled = false;
  bool ProgressShown = false;
  int32_t Frames = 0;
};
TPaneState StateOf(TOpenQuillotDialog& D) {
  TPaneState s;
  s.Pic1 = D.PicLabel1->Caption();
  s.Pic2 = D.PicLabel2->Caption();
  s.Pic3 = D.PicLabel3->Caption();
  s.Info1 = D.InfoLabel1->Caption();
  s.Info2 = D.InfoLabel2->Caption();
  s.PreviewShown = D.PreviewView()->Visible();
  s.FramesShown = D.ThumbnailView()->Visible();
  s.PreviewEnabled = D.PreviewButton->Enabled();
  s.ZoomEnabled = D.ZoomCombo->Enabled();
  s.PlayEnabled = D.PlayButton->Enabled();
  s.Frames = D.FrameCount();
  s.ProgressShown = D.ProgressBar->Visible();
  return s;
}

class PaneTest : public DialogsTest {
 protected:
  // Runs the dialog, types Path, and hands the pane's state after the preview to Check; Then runs on the
  // chooser window once the first preview is in (to queue more input).
  bool Run(TOpenQuillotDialog& D, const std::string& Path, std::function<void(TFileChooser*)> Then = nullptr) {
    D.SetInitialDir(Dir.string());
    bool first = true;
    D.OnSelectionChange = [&, Then](TObject*) {
      States.push_back(StateOf(D));
      if (first && Then) Then(D.DialogWindow());
      first = false;
    };
    Headless::TypeToTop(Path);
    if (!Then) Headless::KeyToTop(VK_RETURN);
    bool ok = D.ShowDialog();
    D.OnSelectionChange = nullptr;  // it refers to this call's locals
    return ok;
  }
  std::vector<TPaneState> States;
};

TEST_F(PaneTest, APictureShowsItsFactsInTheDialogsLanguage) {
  // 640 x 480, 24 bit, exactly 100 000 bytes on disk (padding after the picture's end).
  std::string path = WritePicture("photo.png", 640, 480, -1);
  ASSERT_LT(fs::file_size(path), 100000u);
  fs::resize_file(path, 100000);
  struct Case {
    TMsgLanguage Lang;
    const char* Pic1;
    const char* Pic2;
    const char* Info2;
    const char* Shot;
  };
  const Case cases[] = {
      {TMsgLanguage::msEnglish, "640 x 480 pixel", "16777216 Colors (24 bit)", "File: 97 KB   Mem: 900 KB",
       "open_dialog_en.png"},
      {TMsgLanguage::msGerman, "640 x 480 Pixel", "16777216 Farben (24 Bit)", "Datei: 97 KB   Speicher: 900 KB",
       "open_dialog_de.png"}};
  for (const Case& c : cases) {
    States.clear();
    TOpenQuillotDialog d(nullptr);
    d.MsgLanguage = c.Lang;
    bool shot = false;
    ASSERT_TRUE(Run(d, path, [&](TFileChooser* W) {
      W->Repaint();
      shot = Headless::SaveWindowPng(W, ShotPath(c.Shot));
      Headless::Key(W, VK_RETURN);
    }));
    EXPECT_TRUE(shot);
    ASSERT_FALSE(States.empty());
    const TPaneState& s = States.back();
    EXPECT_EQ(s.Pic1, c.Pic1);
    EXPECT_EQ(s.Pic2, c.Pic2);
    EXPECT_EQ(s.Info2, c.Info2);
    EXPECT_EQ(s.Info1, "Portable Network Graphics (PNG)");
    EXPECT_TRUE(s.PreviewShown);
    EXPECT_FALSE(s.FramesShown);
    EXPECT_TRUE(s.PreviewEnabled && s.ZoomEnabled);
    EXPECT_FALSE(s.PlayEnabled);
    EXPECT_EQ(d.FileName(), path);
    EXPECT_EQ(d.PreviewFrameIndex, 0);
  }
}

TEST_F(PaneTest, FactsOfSmallAndHugePictures) {
  TOpenQuillotDialog d(nullptr);
  d.MsgLanguage = TMsgLanguage::msEnglish;
  TIOParamsVals p;
  // A 1-bit picture of 100 x 10: rows of 16 bytes, 160 bytes in all; sizes below 1024 read as bytes.
  p.OriginalWidth = 100, p.OriginalHeight = 10, p.SamplesPerPixel = 1, p.BitsPerSample = 1, p.DpiX = 300, p.DpiY = 150;
  d.ShowFileInfo(&p);
  EXPECT_EQ(d.PicLabel1->Caption(), "100 x 10 pixel");
  EXPECT_EQ(d.PicLabel2->Caption(), "2 Colors (1 bit)");
  EXPECT_EQ(d.PicLabel3->Caption(), "300 x 150 dpi");
  EXPECT_EQ(d.InfoLabel2->Caption(), "File: 0 byte   Mem: 160 byte");
  // 100 000 x 100 000 at 24 bit is 30 GB: counted in 64 bits, not wrapped.
  p.OriginalWidth = p.OriginalHeight = 100000, p.SamplesPerPixel = 3, p.BitsPerSample = 8;
  d.ShowFileInfo(&p);
  EXPECT_EQ(d.InfoLabel2->Caption(), "File: 0 byte   Mem: 29296875 KB");
  // 48 bit and CMYK have words of their own; 32 bit is counted out.
  p.BitsPerSample = 16;
  d.ShowFileInfo(&p);
  EXPECT_EQ(d.PicLabel2->Caption(), "2^48 Colors (48 bit)");
  p.SamplesPerPixel = 4, p.BitsPerSample = 8;
  d.ShowFileInfo(&p);
  EXPECT_EQ(d.PicLabel2->Caption(), "16777216 Colors (32 bit)");
  p.SamplesPerPixel = 1, p.BitsPerSample = 32;
  d.ShowFileInfo(&p);
  EXPECT_EQ(d.PicLabel2->Caption(), "4294967296 Colors (32 bit)");
  d.ShowFileInfo(nullptr);
  EXPECT_EQ(d.PicLabel1->Caption(), "");
  EXPECT_EQ(d.InfoLabel2->Caption(), "");
}

// Three frames of different colours through Pillow (an outside writer).
std::string WriteFrames(const fs::path& Dir, const char* Name, const char* Format) {
  std::string path = (Dir / Name).string();
  std::string py = "from PIL import Image\n"
                   "fr=[Image.new('RGB',(60,40),c) for c in ((255,0,0),(0,255,0),(0,0,255))]\n"
                   "fr[0].save('" + path + "',format='" + Format + "',save_all=True,append_images=fr[1:])\n";
  std::ofstream((Dir / "frames.py").string()) << py;
  Shell("/usr/bin/python3 " + (Dir / "frames.py").string());
  return path;
}

TEST_F(PaneTest, FramesOfAGifAndATiffArePickedInThePreview) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow is not installed";
  for (auto [name, format] : {std::pair{"anim.gif", "GIF"}, std::pair{"pages.tif", "TIFF"}}) {
    std::string path = WriteFrames(Dir, name, format);
    ASSERT_TRUE(fs::exists(path));
    States.clear();
    TOpenQuillotDialog d(nullptr);
    d.MsgLanguage = TMsgLanguage::msEnglish;
    ASSERT_TRUE(Run(d, path, [&](TFileChooser* W) {
      // A click on the second thumbnail, the right arrow to the third, Enter.
      TPoint p = FormPos(d.ThumbnailView());
      Headless::Click(W, p.X + d.ThumbnailView()->ThumbWidth() + 20, p.Y + 40);
      Headless::Key(W, VK_RIGHT);
      W->Repaint();
      Headless::SaveWindowPng(W, ShotPath(std::string("open_dialog_frames_") + format + ".png"));
      Headless::Key(W, VK_RETURN);
    })) << name;
    ASSERT_FALSE(States.empty());
    const TPaneState& s = States.front();
    EXPECT_TRUE(s.FramesShown) << name;
    EXPECT_FALSE(s.PreviewShown);
    EXPECT_EQ(s.Frames, 3);
    EXPECT_EQ(s.Pic1, "60 x 40 pixel   3 frames");
    EXPECT_TRUE(s.PlayEnabled);
    EXPECT_FALSE(s.ZoomEnabled);
    EXPECT_EQ(d.PreviewFrameIndex, 2) << name;
    EXPECT_EQ(d.FileName(), path);
  }
}

TEST_F(PaneTest, AllFramesOffShowsTheFirstWithItsCount) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow is not installed";
  std::string path = WriteFrames(Dir, "anim.gif", "GIF");
  TOpenQuillotDialog d(nullptr);
  d.MsgLanguage = TMsgLanguage::msEnglish;
  d.ShowAllFrames = false;
  ASSERT_TRUE(Run(d, path));
  ASSERT_FALSE(States.empty());
  EXPECT_TRUE(States.back().PreviewShown);
  EXPECT_EQ(States.back().Pic1, "60 x 40 pixel   3 frames");
}

TEST_F(PaneTest, AFolderOrABadFileEmptiesThePane) {
  fs::create_directories(Dir / "sub.png");
  std::ofstream((Dir / "bad.png").string()) << "not a picture at all";
  std::string good = WritePicture("good.png", 30, 20);
  TOpenQuillotDialog d(nullptr);
  d.MsgLanguage = TMsgLanguage::msEnglish;
  // The good picture first, then a bad one: the pane forgets the good one.
  ASSERT_TRUE(Run(d, good, [&](TFileChooser* W) {
    for (size_t i = 0; i < good.size(); ++i) Headless::Key(W, VK_BACK);
    Headless::Type(W, (Dir / "bad.png").string());
    Headless::Key(W, VK_ESCAPE);
  }) == false);
  ASSERT_GE(States.size(), 2u);
  EXPECT_EQ(States.front().Pic1, "30 x 20 pixel");
  const TPaneState& bad = States.back();
  EXPECT_EQ(bad.Pic1, "");
  EXPECT_EQ(bad.Info1, "");
  EXPECT_EQ(bad.Info2, "");
  EXPECT_FALSE(bad.PreviewEnabled || bad.ZoomEnabled || bad.PlayEnabled);
  EXPECT_FALSE(bad.ProgressShown);
  // Closed after a good picture, the dialog keeps nothing of it for the next opening.
  States.clear();
  ASSERT_TRUE(Run(d, good));
  ASSERT_FALSE(States.empty());
  EXPECT_EQ(States.back().Pic1, "30 x 20 pixel");
  const TPaneState closed = StateOf(d);
  EXPECT_EQ(closed.Pic1 + closed.Info1 + closed.Info2, "");
}

TEST_F(PaneTest, PreviewOffReadsOnlyTheFacts) {
  std::string path = WritePicture("facts.bmp", 33, 22);
  TOpenQuillotDialog d(nullptr);
  d.MsgLanguage = TMsgLanguage::msEnglish;
  d.PreviewCheck->SetChecked(false);
  ASSERT_TRUE(Run(d, path));
  ASSERT_FALSE(States.empty());
  EXPECT_EQ(States.back().Pic1, "33 x 22 pixel");
  EXPECT_TRUE(d.PreviewView()->IsImageEmpty() || d.PreviewView()->GetQxBitmap()->Width() <= 1);
  d.PreviewCheck->SetChecked(true);
}

}  // namespace

// A vector-objects file previews as its objects, in a vector view, over a picture of their extent.
TEST_F(PaneTest, AVectorObjectsFilePreviewsAsItsObjects) {
  TQuillotVect src(nullptr);
  TQxVObject box;
  box.Kind = TQxVObjectKind::qvkBox;
  box.x1 = 10, box.y1 = 10, box.x2 = 150, box.y2 = 100;
  box.PenColor = 0x0000FF;
  box.PenWidth = 3;
  box.BrushColor = 0x00C000;
  box.BrushStyle = TBrushStyle::bsSolid;
  src.AddObjectCopy(box);
  TQxVObject line;
  line.Kind = TQxVObjectKind::qvkLine;
  line.x1 = 0, line.y1 = 130, line.x2 = 200, line.y2 = 20;
  line.PenColor = 0xFF0000;
  line.PenWidth = 4;
  src.AddObjectCopy(line);
  TMemoryStream s;
  src.SaveObjectsToStream(&s);
  const std::string path = (Dir / "drawing.qxv").string();
  s.SaveToFile(path);

  TOpenQuillotDialog d(nullptr);
  d.MsgLanguage = TMsgLanguage::msEnglish;
  int32_t objects = -1;
  TColor centre = clNone;
  bool shot = false;
  ASSERT_TRUE(Run(d, path, [&](TFileChooser* W) {
    TQuillotVect* v = d.PreviewView();
    objects = v->ObjectCount();
    W->Repaint();
    const TPoint at = FormPos(v);
    centre = ColorToRGB(Headless::PixelAt(W, at.X + v->BitmapToScreenX(80), at.Y + v->BitmapToScreenY(55)));
    shot = Headless::SaveWindowPng(W, ShotPath("open_dialog_qxv.png"));
    Headless::Key(W, VK_RETURN);
  }));
  EXPECT_EQ(objects, 2);
  EXPECT_EQ(centre, TColor(0x00C000));
  EXPECT_TRUE(shot);
  ASSERT_FALSE(States.empty());
  EXPECT_TRUE(States.back().PreviewShown);
}

// The pane's buttons and zoom list where they belong, and the thumbnails over a chessboard.
TEST_F(PaneTest, PaneControlsAndThumbnailGround) {
  TOpenQuillotDialog d(nullptr);
  const TRect zoom = d.ZoomCombo->BoundsRect(), play = d.PlayButton->BoundsRect(),
              preview = d.PreviewButton->BoundsRect();
  EXPECT_EQ(zoom, Rect(6, 5, 76, 26));
  EXPECT_EQ(play, Rect(85, 5, 108, 27));
  EXPECT_EQ(preview, Rect(110, 5, 133, 27));
  EXPECT_EQ(d.ThumbnailView()->BackgroundStyle(), TQxBackgroundStyle::qxbsChessboard);
  EXPECT_EQ(d.PreviewView()->BoundsRect(), Rect(6, 36, 239, 253));
}

