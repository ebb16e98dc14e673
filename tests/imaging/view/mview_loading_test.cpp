// Loading the thumbnail view's pictures: a folder of 2,000 files browsed while input keeps being handled,
// a view destroyed in the middle of its loads, failures, the queue, synchronous loads and picture IDs.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "mview_fixture.h"
#include "platform/graphics/bitmap.h"

namespace {

std::string MakeTempDir() {
  std::string t = (std::filesystem::temp_directory_path() / "qv_mview_XXXXXX").string();
  return mkdtemp(t.data()) ? t : std::string();
}

TQxRGB ColourOf(int I) { return TQxRGB{uint8_t(I % 251), uint8_t((I / 251) * 29 % 256), uint8_t(I * 7 % 256)}; }

// A binary PPM written here byte by byte, so the reader is checked against an independent writer.
void WritePpm(const std::string& Path, int32_t W, int32_t H, TQxRGB C) {
  std::ofstream f(Path, std::ios::binary);
  f << "P6\n" << W << " " << H << "\n255\n";
  std::string row;
  for (int32_t x = 0; x < W; ++x) row += {char(C.r), char(C.g), char(C.b)};
  for (int32_t y = 0; y < H; ++y) f.write(row.data(), std::streamsize(row.size()));
}

class MViewLoading : public MViewWindow {
 protected:
  void TearDown() override {
    MViewWindow::TearDown();
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
  void MakeFolder(int32_t N, int32_t W, int32_t H) {
    dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    for (int32_t i = 0; i < N; ++i) WritePpm(Name(i), W, H, ColourOf(i));
  }
  std::string Name(int32_t I) const { return dir + "/p" + std::to_string(I) + ".ppm"; }
  void Fill(int32_t N) {
    view->IncPaintLock();
    for (int32_t i = 0; i < N; ++i) {
      view->InsertImage(i);
      view->SetImageFileName(i, Name(i));
    }
    view->DecPaintLockAndUpdate();
  }
  bool WaitLoads(double Seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    while (view->LoadsInFlight() > 0 && std::chrono::steady_clock::now() < end) {
      Application->ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Application->ProcessMessages();
    return view->LoadsInFlight() == 0;
  }
  std::string dir;
};

}  // namespace

TEST_F(MViewLoading, TwoThousandPicturesLoadInTheBackgroundWhileKeysAreHandledInOrder) {
  constexpr int32_t kCount = 2000;
  MakeFolder(kCount, 48, 32);
  view->SetBounds(0, 0, 640, 480);
  view->SetThumbWidth(40);
  view->SetThumbHeight(40);
  view->SetGridWidth(-1);
  view->StoreType = TQxStoreType::qxtThumb;
  view->LookAhead = kCount;
  view->ReleaseDistance = -1;
  Fill(kCount);
  view->SetFocus();
  view->SelectImage(0);
  view->PaintView();  // the first paint queues every picture; nothing is collected before the first key
  ASSERT_GT(view->LoadsInFlight(), 0);

  int32_t keys = 0, handledWhileLoading = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(240);
  while (std::chrono::steady_clock::now() < end) {
    const bool loading = view->LoadsInFlight() > 0;
    if (!loading && keys > 20) break;
    Headless::KeyDown(form.get(), VK_RIGHT);
    ++keys;
    Application->ProcessMessages();
    // Each key is handled before the next, in order, whatever the loads are doing.
    ASSERT_EQ(view->SelectedImage(), std::min(keys, kCount - 1));
    if (loading) ++handledWhileLoading;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(WaitLoads(60));
  // A key handles every picture that has arrived before it, so on an idle machine few keys fall inside.
  EXPECT_GE(handledWhileLoading, 1);
  // Every picture arrived, reduced to the box, at its own entry.
  for (int32_t i = 0; i < kCount; ++i) {
    TQxMViewEntry* e = view->Entry(i);
    ASSERT_NE(e->StoreImage, nullptr) << i;
    EXPECT_EQ(e->StoreImage->Width, 40);
    EXPECT_EQ(e->StoreImage->Height, 26);
    EXPECT_EQ(e->StoreImage->SourceWidth, 48);
  }
  for (int32_t i : {1, 777, 1999}) {
    TQxBitmap b;
    view->ImageStore()->ReadImage(view->Entry(i)->StoreImage, &b);
    const TQxRGB want = ColourOf(i), got = b.GetPixel24(20, 13);
    EXPECT_EQ(got.r, want.r) << i;
    EXPECT_EQ(got.g, want.g) << i;
    EXPECT_EQ(got.b, want.b) << i;
  }
  Headless::SaveWindowPng(form.get(), "mview_folder.png");
}

TEST_F(MViewLoading, AViewDestroyedMidLoadReceivesNothing) {
  MakeFolder(400, 900, 700);
  view->SetBounds(0, 0, 640, 480);
  view->LookAhead = 400;
  view->ReleaseDistance = -1;
  Fill(400);
  Application->ProcessMessages();
  ASSERT_GT(view->LoadsInFlight(), 0);
  int wrong = 0;
  view->OnWrongImage = [&](TObject*, TQxBitmap*, int32_t, bool&) { ++wrong; };
  form.reset();  // frees the view with loads running
  view = nullptr;
  // Messages the workers posted find no window.
  for (int i = 0; i < 20; ++i) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(MViewLoading, AFailedBackgroundLoadShowsTheFileIconAndKeepsTheEntry) {
  MakeFolder(3, 20, 20);
  { std::ofstream(dir + "/broken.ppm") << "P6\n20 20\n255\nshort"; }
  view->SetRemoveCorrupted(true);
  view->SetGridWidth(3);
  Fill(3);
  view->InsertImage(3);
  view->SetImageFileName(3, dir + "/broken.ppm");
  std::thread::id where;
  int calls = 0;
  view->OnWrongImage = [&](TObject*, TQxBitmap* B, int32_t idx, bool& Handled) {
    where = std::this_thread::get_id();
    ++calls;
    EXPECT_EQ(idx, 3);
    EXPECT_EQ(B->Width(), 100);
  };
  Application->ProcessMessages();
  ASSERT_TRUE(WaitLoads(30));
  EXPECT_EQ(view->ImageCount(), 4);
  ASSERT_EQ(calls, 1);
  EXPECT_EQ(where, std::this_thread::get_id());  // the GUI thread
  ASSERT_NE(view->Entry(3)->StoreImage, nullptr);
  EXPECT_EQ(view->Entry(3)->StoreImage->Width, 100);
  // Loaded synchronously, the same file is removed with RemoveCorrupted.
  view->OnWrongImage = nullptr;
  view->ThreadPoolSize = 0;
  view->InsertImage(4);
  view->SetImageFileName(4, dir + "/broken.ppm");
  view->PaintView();
  EXPECT_EQ(view->ImageCount(), 4);
}

TEST_F(MViewLoading, WithoutAPoolEveryVisiblePictureLoadsDuringThePaint) {
  MakeFolder(6, 30, 30);
  view->ThreadPoolSize = 0;
  view->SetGridWidth(3);
  Fill(6);
  view->PaintView();
  for (int32_t i = 0; i < 6; ++i) EXPECT_NE(view->Entry(i)->StoreImage, nullptr) << i;
  EXPECT_EQ(view->LoadsInFlight(), 0);
}

TEST_F(MViewLoading, TheQueueTakesPositions) {
  MakeFolder(6, 10, 10);
  view->SetGridWidth(3);
  view->ReleaseDistance = -1;
  Fill(6);
  view->ThreadPoolSize = 0;  // nothing starts: the queue stays as it is
  EXPECT_TRUE(view->QueueBackgroundLoad(4, 0));
  EXPECT_EQ(view->PendingLoadIndex(4), 0);
  for (int32_t i : {0, 1, 2}) view->QueueBackgroundLoad(i, -1);
  EXPECT_TRUE(view->QueueBackgroundLoad(5, 0));
  EXPECT_EQ(view->PendingLoadIndex(5), 0);
  EXPECT_EQ(view->PendingLoadIndex(4), 1);
  view->QueueBackgroundLoad(2, 0);  // already queued: moves to the front
  EXPECT_EQ(view->PendingLoadIndex(2), 0);
  view->CancelLoad(2);
  EXPECT_EQ(view->PendingLoadIndex(2), -1);
  // Frames of multi-image files are never queued.
  view->SetImageFileName(3, Name(3) + "::1");
  EXPECT_FALSE(view->QueueBackgroundLoad(3, -1));
  view->StopLoading();
  EXPECT_EQ(view->PendingLoadIndex(5), -1);
  view->ThreadPoolSize = 5;
}

TEST_F(MViewLoading, PicturesByIdComeFromTheRequestEvents) {
  view->SetGridWidth(2);
  view->InsertImage(0);
  view->InsertImage(1);
  view->SetImageID(0, 7);
  view->SetImageID(1, 8);
  std::vector<int32_t> ex, plain;
  auto pic = SolidPicture(10, 10, {1, 2, 3});
  view->OnImageIDRequestEx = [&](TObject*, int32_t id, TQxBitmap*& B) {
    ex.push_back(id);
    B = pic.get();
  };
  view->PaintView();
  EXPECT_EQ(ex, (std::vector<int32_t>{7, 8}));
  ASSERT_NE(view->Entry(1)->StoreImage, nullptr);
  TBitmap tb(5, 5);
  view->OnImageIDRequest = [&](TObject*, int32_t id, TBitmap*& B) {
    plain.push_back(id);
    B = &tb;
  };
  EXPECT_TRUE(view->LoadImageNow(0));
  EXPECT_EQ(plain, (std::vector<int32_t>{7}));
  EXPECT_EQ(ex.size(), 2u);
  EXPECT_EQ(view->Entry(0)->StoreImage->Width, 5);
}

// A file no reader takes shows the desktop's icon for its type (a text page for ".txt") in its cell;
// the screenshot goes beside the test binary.
TEST_F(MViewLoading, AnUnreadableFileShowsItsDesktopIcon) {
  MakeFolder(2, 60, 40);
  { std::ofstream(dir + "/notes.txt") << "shopping list\nmilk\n"; }
  view->ThreadPoolSize = 0;
  view->SetGridWidth(3);
  view->SetBackground(0x00E0E0E0);
  Fill(2);
  view->InsertImage(2);
  view->SetImageFileName(2, dir + "/notes.txt");
  view->PaintView();
  Application->ProcessMessages();
  ASSERT_EQ(view->ImageCount(), 3);
  ASSERT_NE(view->Entry(2)->StoreImage, nullptr);
  ASSERT_TRUE(Headless::SaveWindowPng(form.get(), "mview_unreadable_icon.png"));
  // The icon (a pale page with gray lines) lies in the middle of an otherwise white cell.
  TQxMViewEntry* e = view->Entry(2);
  const int32_t cx = e->X - view->ViewX() + view->ThumbWidth() / 2, cy = e->Y - view->ViewY() + view->ThumbHeight() / 2;
  int Dark = 0, White = 0;
  for (int32_t y = cy - 20; y < cy + 20; ++y)
    for (int32_t x = cx - 20; x < cx + 20; ++x) {
      const TColor c = Headless::PixelAt(form.get(), x, y);
      const int g = (c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF);
      if (g < 3 * 240) ++Dark;
      if (c == TColor(0xFFFFFF)) ++White;
    }
  EXPECT_GT(Dark, 20);
  EXPECT_GT(White, 100);
}
