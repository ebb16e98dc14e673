// The multi-image I/O component: frame parameters that follow the thumbnail view, the parameters dialog
// for every frame, acquired pictures, and the view's loader filling the frame parameters.
#include <chrono>
#include <type_traits>
#include <thread>

#include "dialogs_fixture.h"
#include "imaging/dialogs/multi_io.h"
#include "imaging/dialogs/save_dialog.h"
#include "imaging/io/scanner.h"
#include "imaging/vector/vect.h"
#include "imaging/view/mview.h"

namespace {

using namespace qvdlg;

class MultiIO : public DialogsTest {
 protected:
  void SetUp() override {
    DialogsTest::SetUp();
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(20, 20, 600, 400);
    view = new TQuillotMView(form.get());
    view->SetParent(form.get());
    view->SetBounds(0, 0, 500, 300);
    form->Show();
    Application->ProcessMessages();
  }
  void TearDown() override {
    form.reset();
    DialogsTest::TearDown();
  }
  std::unique_ptr<TForm> form;
  TQuillotMView* view = nullptr;
};

}  // namespace

TEST_F(MultiIO, FrameParametersFollowTheView) {
  for (int i = 0; i < 5; ++i) view->InsertImage(i);
  TQuillotMIO mio(nullptr);
  mio.SetAttachedMView(view);
  ASSERT_EQ(mio.ImageCount(), 5);
  mio.FrameParams(0)->JpegQuality = 33;
  mio.FrameParams(2)->JpegQuality = 44;
  view->DeleteImage(2);
  EXPECT_EQ(mio.ImageCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_NE(mio.FrameParams(i)->JpegQuality, 44);
  // An insertion at 0 carries the save options of the former first entry.
  view->InsertImage(0);
  EXPECT_EQ(mio.ImageCount(), 5);
  EXPECT_EQ(mio.FrameParams(0)->JpegQuality, 33);
  EXPECT_NE(mio.FrameParams(0), mio.FrameParams(1));
  EXPECT_EQ(mio.FrameParams(-1), nullptr);
  EXPECT_EQ(mio.FrameParams(5), nullptr);
  // Moves and swaps; a swap outside the list raises.
  TIOParamsVals* p1 = mio.FrameParams(1);
  mio.MoveFrameParams(1, 3);
  EXPECT_EQ(mio.FrameParams(3), p1);
  mio.MoveFrameParams(3, 99);
  EXPECT_EQ(mio.FrameParams(4), p1);
  mio.SwapFrameParams(0, 4);
  EXPECT_EQ(mio.FrameParams(0), p1);
  EXPECT_THROW(mio.SwapFrameParams(0, 5), EListError);
  // Detached with the view's end.
  form.reset();
  view = nullptr;
  EXPECT_EQ(mio.AttachedMView(), nullptr);
}

TEST_F(MultiIO, TheViewCreatesItsOwnComponent) {
  view->InsertImage(0);
  TQuillotMIO* mio = view->GetMIO();
  ASSERT_NE(mio, nullptr);
  EXPECT_EQ(mio, view->GetMIO());
  EXPECT_EQ(mio->AttachedMView(), view);
  EXPECT_EQ(mio->ImageCount(), 1);
  int finished = 0;
  view->SetOnFinishWork([&](TObject*) { ++finished; });
  mio->DoFinishWork();
  EXPECT_EQ(finished, 1);
}

TEST_F(MultiIO, PreviewsForAllFramesCopyTheFirstFramesOptions) {
  for (int i = 0; i < 3; ++i) {
    view->InsertImage(i);
    TQxBitmap b;
    FillPicture(b, 40, 30, i);
    view->SetImageBitmap(i, &b);
  }
  TQuillotMIO* mio = view->GetMIO();
  bool handled = true;
  mio->OnDoPreviews = [&](TObject*, bool& H) { H = handled; };
  EXPECT_TRUE(mio->DoPreviews(0, 1));
  mio->OnDoPreviews = nullptr;
  mio->FrameParams(0)->JpegQuality = 61;
  Headless::KeyToTop(VK_ESCAPE);  // the dialog is cancelled
  EXPECT_FALSE(mio->DoPreviews(-1, QxFileFormatByType(qxffJPEG)->PreviewPages));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(mio->FrameParams(i)->JpegQuality, 61) << i;
  EXPECT_EQ(view->SelectedImage(), 0);
  // Without a picture there is no dialog.
  TQuillotMIO lone(nullptr);
  EXPECT_FALSE(lone.DoPreviews(0, 1));
}

TEST_F(MultiIO, AcquiredPicturesBecomeEntries) {
  view->InsertImage(0);
  TQuillotMIO* mio = view->GetMIO();
  std::vector<int32_t> after;
  mio->OnAfterAcquireBitmap = [&](TObject*, int32_t i) { after.push_back(i); };
  TQxBitmap b;
  FillPicture(b, 30, 20);
  TIOParamsVals* params = nullptr;
  mio->DoAcquireBitmap(&b, params);
  mio->DoAcquireBitmap(&b, params);
  EXPECT_EQ(after, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(view->ImageCount(), 3);
  EXPECT_EQ(mio->ImageCount(), 3);
  EXPECT_EQ(params, mio->FrameParams(1));
  EXPECT_EQ(view->Entry(0)->FrameDelay, 100);
  ASSERT_NE(view->Entry(1)->StoreImage, nullptr);
}

TEST_F(MultiIO, LoadedPicturesLeaveTheirParametersWhileEntriesChange) {
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) names.push_back(WritePicture("f" + std::to_string(i) + ".png", 64 + i, 48));
  view->SetThumbWidth(40);
  view->SetThumbHeight(40);
  view->SetGridWidth(-1);
  view->LookAhead = 40;
  view->ReleaseDistance = -1;
  for (int i = 0; i < 40; ++i) {
    view->InsertImage(i);
    view->SetImageFileName(i, names[size_t(i)]);
  }
  TQuillotMIO* mio = view->GetMIO();
  view->PaintView();
  // Entries inserted and deleted while the loads run: the parameters stay one per entry, each with its own
  // picture's size.
  for (int k = 0; k < 10; ++k) {
    view->InsertImage(0);
    view->DeleteImage(0);
    Application->ProcessMessages();
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (view->LoadsInFlight() > 0 && std::chrono::steady_clock::now() < end) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Application->ProcessMessages();
  ASSERT_EQ(mio->ImageCount(), view->ImageCount());
  for (int i = 0; i < 40; ++i) {
    ASSERT_NE(view->Entry(i)->StoreImage, nullptr) << i;
    EXPECT_EQ(mio->FrameParams(i)->Width, 64 + i) << i;
    EXPECT_EQ(view->Entry(i)->StoreImage->SourceWidth, 64 + i);
  }
}

// The save dialog works for a thumbnail view or its component on the first frame's parameters, and
// without frames it has nothing to save.
TEST_F(MultiIO, TheSaveDialogEditsTheFramesOfAThumbnailView) {
  TSaveQuillotDialog d(nullptr);
  d.SetAttachedQuillotIO(view);
  EXPECT_EQ(d.AttachedQuillotIO(), view);
  EXPECT_FALSE(d.ShowDialog());  // no frames: no chooser at all, so nothing waits for input here
  for (int i = 0; i < 2; ++i) {
    view->InsertImage(i);
    TQxBitmap b;
    FillPicture(b, 40, 30, i);
    view->SetImageBitmap(i, &b);
  }
  TQuillotMIO* mio = view->GetMIO();
  mio->MsgLanguage = TMsgLanguage::msGerman;
  int32_t asked = 0;
  mio->OnDoPreviews = [&](TObject*, bool& H) {
    ++asked;
    mio->FrameParams(0)->JpegQuality = 33;
    H = true;
  };
  d.SetFileName((Dir / "frames.jpg").string());
  d.AdvancedClick();
  EXPECT_EQ(asked, 1);
  d.SetAttachedQuillotIO(mio);
  EXPECT_EQ(d.AttachedQuillotIO(), mio);
  EXPECT_EQ(d.MsgLanguage, TMsgLanguage::msGerman);
  d.AdvancedClick();
  EXPECT_EQ(asked, 2);
  // A name without parameter pages asks nothing.
  d.SetFileName((Dir / "frames.psd").string());
  d.AdvancedClick();
  EXPECT_EQ(asked, 2);
}

// The scanner object is made once; its transfers report through the component and stop when asked.
TEST_F(MultiIO, ScannerProgressGoesThroughTheComponent) {
  TQuillotMIO mio(nullptr);
  ASSERT_NE(mio.TWainParams(), nullptr);
  ASSERT_NE(mio.PrintPreviewParams(), nullptr);
  TQxWia* w = mio.GetWIAParams();
  EXPECT_EQ(mio.GetWIAParams(), w);
  std::vector<int32_t> seen;
  mio.OnProgress = [&](TObject* S, int32_t P) {
    EXPECT_EQ(S, &mio);
    seen.push_back(P);
  };
  ASSERT_TRUE(w->OnTransferProgress);
  EXPECT_TRUE(w->OnTransferProgress(40));
  mio.Aborting = true;
  EXPECT_FALSE(w->OnTransferProgress(60));
  EXPECT_EQ(seen, (std::vector<int32_t>{40, 60}));
}

// The thumbnails' shadow and the objects' shadow are one type; each keeps its own offsets.
TEST_F(MultiIO, ThumbnailAndObjectShadowsShareTheirType) {
  static_assert(std::is_same_v<std::remove_pointer_t<decltype(view->SoftShadow())>, decltype(TQxVObject::SoftShadow)>);
  EXPECT_EQ(view->SoftShadow()->OffsetX, 3);
  EXPECT_EQ(view->SoftShadow()->OffsetY, 3);
  const TQxVObject o;
  EXPECT_EQ(o.SoftShadow.OffsetX, 0);
  EXPECT_EQ(o.SoftShadow.OffsetY, 0);
}


// The multi-image component's scanner settings start with the feeder on and memory transfers; a single
// picture's I/O component starts without them.
TEST_F(MultiIO, ScannerSettingsOfTheMultiImageComponentUseTheFeeder) {
  TQuillotMIO M(nullptr);
  TQuillotIO One(static_cast<TComponent*>(nullptr));
  for (auto [P, Multi] : {std::pair{M.TWainParams(), uint8_t(1)}, std::pair{One.TWainParams(), uint8_t(0)}}) {
    EXPECT_EQ(P->FeederEnabled, Multi);
    EXPECT_EQ(P->FeederEnabledDefault, Multi == 1);
    EXPECT_EQ(P->UseMemoryTransfer, Multi);
  }
}
