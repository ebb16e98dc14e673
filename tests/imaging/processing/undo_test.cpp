#include <gtest/gtest.h>

#include "imaging/foundation/mask.h"
#include "imaging/foundation/view_base.h"
#include "imaging/processing/proc.h"
#include "platform/base/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/ext_ctrls.h"
#include "tests/imaging/processing/proc_test_util.h"

using namespace proctest;
using F = TQxPixelFormat;

namespace {

// A layered view reduced to what the component asks of one.
class FakeView : public TQxView, public TQxProcViewHost {
 public:
  FakeView() : TQxView(nullptr) {
    AddLayer();
    mask.Allocate(1, 1, 8);
  }
  ~FakeView() override = default;

  struct Layer {
    std::unique_ptr<TQxBitmap> bitmap = std::make_unique<TQxBitmap>();
    uint8_t id[16] = {};
    int32_t x = 0;  // a property restored from the layer records
  };
  std::vector<Layer> layers;
  int32_t current = 0;
  int updates = 0, imageChanges = 0;
  TQxMask mask;
  bool selected = false;

  void AddLayer() {
    Layer l;
    l.id[0] = uint8_t(layers.size() + 1);
    l.id[15] = 0xAB;
    layers.push_back(std::move(l));
  }
  void SetCurrent(int32_t i) {
    current = i;
    NotifyBitmapChange();
  }

  TQxBitmap* GetQxBitmap() override { return layers[current].bitmap.get(); }
  TQxBitmap* GetAlphaChannel() override { return GetQxBitmap()->GetAlphaChannel(); }
  bool HasAlphaChannel() override { return GetQxBitmap()->HasAlphaChannel(); }
  void RemoveAlphaChannel(bool Merge) override { GetQxBitmap()->RemoveAlphaChannel(Merge); }
  void IncPaintLock() override {}
  int32_t DecPaintLockAndUpdate() override { return 0; }
  int32_t DecPaintLock() override { return 0; }
  void Update() override { ++updates; }
  void DoImageChange() override { ++imageChanges; }

  int32_t ProcLayerCount() override { return int32_t(layers.size()); }
  int32_t ProcCurrentLayer() override { return current; }
  TQxBitmap* ProcLayerBitmap(int32_t i) override { return layers[i].bitmap.get(); }
  void ProcLayerId(int32_t i, uint8_t Id[16]) override { std::memcpy(Id, layers[i].id, 16); }
  void ProcWriteLayer(int32_t i, TStream* S, bool WithBitmap) override {
    const int64_t start = S->Position();
    int32_t len = 0;
    S->WriteBuffer(&len, 4);
    S->WriteBuffer(layers[i].id, 16);
    S->WriteBuffer(&layers[i].x, 4);
    uint8_t has = WithBitmap;
    S->WriteBuffer(&has, 1);
    if (WithBitmap) layers[i].bitmap->SaveRawToStream(S);
    const int64_t end = S->Position();
    len = int32_t(end - start);
    S->SetPosition(start);
    S->WriteBuffer(&len, 4);
    S->SetPosition(end);
  }
  void ProcReadLayer(int32_t i, TStream* S) override {
    int32_t len;
    uint8_t id[16], has;
    S->ReadBuffer(&len, 4);
    S->ReadBuffer(id, 16);
    S->ReadBuffer(&layers[i].x, 4);
    S->ReadBuffer(&has, 1);
    if (has) layers[i].bitmap->LoadRawFromStream(S);
  }
  void ProcSaveLayers(TStream*) override {}
  void ProcLoadLayers(TStream*) override {}
  void ProcSaveSelection(TStream* S) override { S->WriteBuffer(&selected, 1); }
  void ProcLoadSelection(TStream* S, int32_t) override { S->ReadBuffer(&selected, 1); }
  TQxMask* ProcSelectionMask() override { return &mask; }
  bool ProcSelected() override { return selected; }
  const TPoint* ProcPolySelPoints() override { return nullptr; }
  int32_t ProcPolySelCount() override { return 0; }
};

class UndoLocations : public testing::TestWithParam<TQxLocation> {};

TEST_P(UndoLocations, UndoAndRedoRestoreExactly) {
  auto b = Pattern(37, 23, F::qx24RGB, 11);
  b->GetAlphaChannel()->Fill(0);
  b->SetAlpha(3, 4, 99);
  const auto original = Pixels(b.get());
  const auto originalAlpha = Pixels(b->GetAlphaChannel());
  TQuillotProc p(nullptr);
  p.SetAutoUndo(true);
  p.SetUndoLimit(5);
  p.SetSnapshotLocation(GetParam());
  p.AttachBitmap(b.get());
  p.Flip(0);
  const auto flipped = Pixels(b.get());
  p.ConvertToGray();
  const auto gray = Pixels(b.get());
  ASSERT_EQ(p.UndoCount(), 2);
  std::string c0, c1;
  p.UndoCaption(0, c0);
  p.UndoCaption(1, c1);
  EXPECT_EQ(c0, "ConvertToGray");
  EXPECT_EQ(c1, "Flip");

  p.Undo(true);
  EXPECT_EQ(Pixels(b.get()), flipped);
  EXPECT_EQ(p.UndoCount(), 2);  // the entry stays until it is cleared
  EXPECT_TRUE(p.CanUndo());
  ASSERT_EQ(p.RedoCount(), 1);
  p.Redo();
  EXPECT_EQ(Pixels(b.get()), gray);
  p.UndoAt(1);
  EXPECT_EQ(Pixels(b.get()), original);
  EXPECT_EQ(Pixels(b->GetAlphaChannel()), originalAlpha);
  p.ClearLastUndo();
  p.ClearLastUndo();
  EXPECT_FALSE(p.CanUndo());
  p.Undo();  // empty: nothing
  EXPECT_EQ(Pixels(b.get()), original);
}

INSTANTIATE_TEST_SUITE_P(Snapshots, UndoLocations, testing::Values(TQxLocation::qxFile, TQxLocation::qxMemory));

TEST(Undo, LimitsAndSizes) {
  auto b = Pattern(10, 10, F::qx24RGB);
  TQuillotProc p(nullptr);
  p.SetAutoUndo(true);
  p.AttachBitmap(b.get());
  int events = 0;
  p.OnSaveUndo = [&](TObject*, TQxUndoSource s) {
    EXPECT_EQ(s, TQxUndoSource::qxuImage);
    ++events;
  };
  p.Flip(0);
  p.Flip(1);
  EXPECT_EQ(p.UndoCount(), 1);  // the default limit of 1 replaces the entry
  std::string caption = "untouched";
  p.UndoCaption(1, caption);
  p.RedoCaption(0, caption);
  EXPECT_EQ(caption, "untouched");
  EXPECT_EQ(events, 2);

  p.SetUndoLimit(3);
  for (int i = 0; i < 5; ++i) p.Crop(0, 0, 8 - i, 8 - i);
  EXPECT_EQ(p.UndoCount(), 3);
  p.UndoCaption(2, caption);
  EXPECT_EQ(caption, "Crop 0, 0, 6, 6");
  EXPECT_EQ(p.UndoSourceOf(0), TQxUndoSource::qxuImage);
  EXPECT_EQ(p.UndoSourceOf(3), TQxUndoSource::qxuUnknown);
  p.DiscardUndo(0);
  p.UndoCaption(0, caption);
  EXPECT_EQ(caption, "Crop 0, 0, 5, 5");
  EXPECT_EQ(p.UndoCount(), 2);

  for (int32_t limit : {0, -3}) {
    SCOPED_TRACE(limit);
    p.ClearUndo();
    events = 0;
    p.SetUndoLimit(limit);
    p.Flip(0);
    p.SaveUndo(TQxUndoSource::qxuImage);
    p.Undo(true);
    EXPECT_EQ(p.UndoCount(), 0);
    EXPECT_EQ(p.RedoCount(), 0);
    EXPECT_EQ(events, 0);
  }

  TQxBitmap tiny(1, 1, F::qx24RGB);
  p.SetUndoLimit(2);
  p.AttachBitmap(&tiny);
  p.Flip(0);
  p.SaveUndo();
  EXPECT_EQ(p.UndoCount(), 0);
}

TEST(Undo, FollowsTheViewAndItsLayers) {
  auto view = std::make_unique<FakeView>();
  view->AddLayer();
  view->AddLayer();
  for (auto& l : view->layers) l.bitmap->Allocate(8, 6, F::qx24RGB);
  view->layers[2].bitmap->Fill(0x0000FF);
  view->SetBackground(0x00FF00);
  TQuillotProc p(view.get());  // an owner switches AutoUndo on
  EXPECT_TRUE(p.AutoUndo());
  p.SetUndoLimit(4);
  p.SetAttachedQuillot(view.get());
  EXPECT_EQ(p.Background(), 0x00FF00);
  view->SetCurrent(2);
  EXPECT_EQ(p.WorkBitmap(), view->layers[2].bitmap.get());
  p.Flip(0);
  EXPECT_GT(view->updates, 0);
  EXPECT_GT(view->imageChanges, 0);
  p.Fill(TQxRGB{1, 2, 3});
  view->SetCurrent(0);
  // The snapshot taken on layer 2 goes back to layer 2, whichever layer is current now.
  p.Undo();
  EXPECT_EQ(view->layers[2].bitmap->GetPixel24(0, 0), (TQxRGB{0, 0, 255}));
  // With fewer layers it goes to the last one.
  view->layers.pop_back();
  view->layers[1].bitmap->Fill(0);
  p.UndoAt(0);
  EXPECT_EQ(view->layers[1].bitmap->GetPixel24(0, 0), (TQxRGB{0, 0, 255}));

  // Layer records come back by identifier; the full kind carries the current layer's pixels.
  view->layers[1].x = 5;
  view->SetCurrent(1);
  p.SaveUndoCaptioned("Layers", TQxUndoSource::qxuFullLayer);
  view->layers[1].x = 9;
  view->layers[1].bitmap->Fill(0xFFFFFF);
  std::swap(view->layers[0], view->layers[1]);  // order changed: the identifier finds the layer
  view->SetCurrent(0);
  p.Undo();
  EXPECT_EQ(view->layers[0].x, 5);
  EXPECT_EQ(view->layers[0].bitmap->GetPixel24(0, 0), (TQxRGB{0, 0, 255}));

  view->selected = true;
  p.SaveUndo(TQxUndoSource::qxuSelection);
  view->selected = false;
  p.Undo();
  EXPECT_TRUE(view->selected);
  // Object entries need a vector view: nothing is pushed.
  const int32_t n = p.UndoCount();
  p.SaveUndo(TQxUndoSource::qxuObject);
  EXPECT_EQ(p.UndoCount(), n);
}

TEST(Undo, SelectionLimitsTheChange) {
  FakeView view;
  view.layers[0].bitmap->Allocate(10, 10, F::qx24RGB);
  TQxBitmap* b = view.layers[0].bitmap.get();
  b->Fill(0x0000FF);
  view.mask.Allocate(10, 10, 1);
  for (int32_t y = 2; y <= 4; ++y)
    for (int32_t x = 3; x <= 6; ++x) view.mask.SetPixel(x, y, 255);
  view.mask.SyncBoundingBox();
  view.selected = true;
  TQuillotProc p(&view);
  p.SetAttachedQuillot(&view);
  p.ConvertToGray();
  const uint8_t g = uint8_t(255 * 21 / 100);
  EXPECT_EQ(b->GetPixel24(3, 2), (TQxRGB{g, g, g}));
  EXPECT_EQ(b->GetPixel24(6, 4), (TQxRGB{g, g, g}));
  EXPECT_EQ(b->GetPixel24(2, 2), (TQxRGB{0, 0, 255}));
  EXPECT_EQ(b->GetPixel24(3, 5), (TQxRGB{0, 0, 255}));
  // An empty mask works on the whole picture.
  view.mask.Clear();
  p.Fill(TQxRGB{9, 9, 9});
  EXPECT_EQ(b->GetPixel24(0, 9), (TQxRGB{9, 9, 9}));
}

TEST(Undo, ViewGoingAwayLeavesNoPointer) {
  TQuillotProc p(nullptr);
  {
    FakeView view;
    view.layers[0].bitmap->Allocate(4, 4, F::qx24RGB);
    p.SetAttachedQuillot(&view);
    EXPECT_EQ(p.WorkBitmap(), view.layers[0].bitmap.get());
  }
  EXPECT_EQ(p.AttachedQuillot(), nullptr);
  ASSERT_NE(p.WorkBitmap(), nullptr);
  p.Flip(0);  // works on a bitmap of its own
  p.Background();

  // Attaching and detaching repeatedly frees the component's own bitmaps.
  FakeView view;
  for (int i = 0; i < 3; ++i) {
    p.SetAttachedQuillot(&view);
    p.SetAttachedQuillot(nullptr);
  }
  EXPECT_TRUE(p.WorkBitmap()->IsEmpty());
  TQxBitmap mine(3, 3, F::qx8g);
  p.AttachBitmap(&mine);
  p.AttachBitmap(nullptr);
  EXPECT_EQ(p.WorkBitmap(), nullptr);
  p.Flip(0);  // no bitmap: nothing
}

TEST(Undo, FinishWorkReportsHundred) {
  auto b = Pattern(6, 6, F::qx24RGB);
  auto p = TQuillotProc::CreateForBitmap(b.get());
  EXPECT_FALSE(p->AutoUndo());
  std::vector<int32_t> per;
  int finished = 0;
  p->OnProgress = [&](TObject* s, int32_t v) {
    EXPECT_EQ(s, p.get());
    per.push_back(v);
  };
  p->OnFinishWork = [&](TObject*) { ++finished; };
  p->Flip(1);
  ASSERT_FALSE(per.empty());
  EXPECT_EQ(per.back(), 100);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(p->UndoCount(), 0);
}

}  // namespace

namespace {

TEST(Undo, WorksOnAnImageControlsBitmap) {
  TImage image(nullptr);
  TBitmap* bmp = image.Picture()->Bitmap();
  bmp->SetPixelFormat(TPixelFormat::pf24bit);
  bmp->SetSize(4, 2);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 4; ++x) static_cast<uint8_t*>(bmp->ScanLine(y))[x * 3] = uint8_t(10 * x + y);
  {
    TQuillotProc p(nullptr);
    p.SetAttachedTImage(&image);
    EXPECT_EQ(p.AttachedTImage(), &image);
    p.Flip(0);
    EXPECT_EQ(static_cast<uint8_t*>(bmp->ScanLine(1))[0], 31);
    // A change of the bitmap's size by its owner is seen by the next operation.
    bmp->SetSize(6, 2);
    p.Flip(1);
    EXPECT_EQ(p.WorkBitmap()->Width(), 6);
    p.SetAttachedTImage(nullptr);
    EXPECT_EQ(p.AttachedTImage(), nullptr);
    EXPECT_EQ(bmp->Width(), 6);  // the image keeps its picture
  }
  TQuillotProc q(nullptr);
  {
    TImage gone(nullptr);
    gone.Picture()->Bitmap()->SetSize(3, 3);
    q.SetAttachedTImage(&gone);
  }
  EXPECT_EQ(q.AttachedTImage(), nullptr);
  q.Flip(0);  // nothing left to point into
}

}  // namespace
