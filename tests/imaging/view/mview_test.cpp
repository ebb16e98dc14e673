// The thumbnail view: layout and scrolling values, hit testing, selection by mouse and keys, entries,
// storing pictures and frame playing.
#include <algorithm>

#include "imaging/foundation/geometry_helpers.h"
#include "mview_fixture.h"
#include "platform/base/numeric.h"

// ---------------------------------------------------------------- layout and scrolling

TEST_F(MViewWindow, LayoutPlacesCellsAndSizesTheContent) {
  // No entries: one cell and its border.
  view->UpdateView();
  EXPECT_EQ(view->ContentWidth(), 104);
  EXPECT_EQ(view->ContentHeight(), 104);
  AddEntries(7, false);
  view->SetGridWidth(3);
  EXPECT_EQ(view->ContentWidth(), 3 * 104 + 4);
  EXPECT_EQ(view->ContentHeight(), 3 * 104 + 4);
  struct {
    int32_t I, X, Y, Row, Col;
  } cells[] = {{0, 4, 4, 0, 0}, {2, 212, 4, 0, 2}, {3, 4, 108, 1, 0}, {6, 4, 212, 2, 0}};
  for (auto& c : cells) {
    EXPECT_EQ(view->Entry(c.I)->X, c.X) << c.I;
    EXPECT_EQ(view->Entry(c.I)->Y, c.Y) << c.I;
    EXPECT_EQ(view->ImageRow(c.I), c.Row) << c.I;
    EXPECT_EQ(view->ImageColumn(c.I), c.Col) << c.I;
  }
  EXPECT_EQ(view->ImageRow(99), 0);
  // GridWidth 0: one row. -1: as many as fit; a client narrower than a cell gives 0 columns, one row.
  view->SetGridWidth(0);
  EXPECT_EQ(view->Entry(6)->Y, 4);
  EXPECT_EQ(view->ContentWidth(), 7 * 104 + 4);
  view->SetGridWidth(-1);
  EXPECT_EQ(view->ColumnCount(), (view->ViewClientWidth() - 4) / 104);
  view->SetBounds(0, 0, 100, 300);
  view->UpdateView();
  EXPECT_EQ(view->ColumnCount(), 0);
  EXPECT_EQ(view->Entry(6)->Row, 0);
  // Single mode: every cell at the origin, and the point is always the played entry.
  view->SetDisplayMode(TQxMDisplayMode::mdSingle);
  EXPECT_EQ(view->Entry(5)->X, 0);
  EXPECT_EQ(view->Entry(5)->Y, 0);
  EXPECT_EQ(view->ImageAt(390, 290), view->PlayIndex());
}

TEST_F(MViewWindow, ScrollBarValuesFollowTheContent) {
  // Content 1000 high in a client 400 high: only the vertical bar shows.
  view->SetScrollBars(TScrollStyle::ssVertical);
  view->SetBounds(0, 0, 400 + GetSystemMetrics(SM_CXVSCROLL), 400);
  view->SetThumbHeight(96);  // rows of 100
  view->SetGridWidth(1);
  AddEntries(10, false);     // 10 x 100 + 4 - 4 = 1000 with the border of the last row
  view->SetVertBorder(4);
  ASSERT_EQ(view->ContentHeight(), 10 * 100 + 4);
  ASSERT_EQ(view->ViewClientHeight(), 400);
  int32_t mx = 0, my = 0;
  view->GetMaxViewPos(mx, my);
  EXPECT_EQ(my, 604);
  const double f = (400.0 + 604 - 1) / 65536;
  EXPECT_DOUBLE_EQ(view->VScrollFactor(), f);
  TScrollInfo si;
  si.fMask = SIF_ALL;
  ASSERT_TRUE(view->GetScrollInfo(SB_VERT, si));
  EXPECT_EQ(int32_t(si.nPage), int32_t(Trunc(400 / f)));
  EXPECT_EQ(si.nMax, 65535);
  view->SetViewY(600);
  EXPECT_EQ(view->GetScrollPos(SB_VERT), int32_t(Trunc(600 / f)));
  // Positions are clamped; a relayout only lowers them.
  view->SetViewY(5000);
  EXPECT_EQ(view->ViewY(), 604);
  view->SetThumbHeight(46);
  EXPECT_LE(view->ViewY(), view->ContentHeight() - 400);
}

TEST_F(MViewWindow, ScrollMessagesAndTheWheel) {
  view->SetGridWidth(2);
  AddEntries(20, false);
  int changes = 0;
  view->OnViewChange = [&](TObject*, int32_t) { ++changes; };
  auto vscroll = [&](int code, int pos = 0) {
    SendMessage(view->Handle(), WM_VSCROLL, uintptr_t(code) | (uintptr_t(pos) << 16), 0);
  };
  vscroll(SB_LINEDOWN);
  EXPECT_EQ(view->ViewY(), 104);
  vscroll(SB_PAGEDOWN);
  EXPECT_EQ(view->ViewY(), 104 + view->ViewClientHeight());
  vscroll(SB_TOP);
  EXPECT_EQ(view->ViewY(), 0);
  view->VertScrollParams()->LineAmount = 7;
  vscroll(SB_LINEDOWN);
  EXPECT_EQ(view->ViewY(), 7);
  // Thumb tracking without live tracking changes nothing and reports nothing; the final position scrolls.
  view->VertScrollParams()->LiveTracking = false;
  const int before = changes;
  vscroll(SB_THUMBTRACK, 3000);
  EXPECT_EQ(view->ViewY(), 7);
  EXPECT_EQ(changes, before);
  vscroll(SB_THUMBPOSITION, 3000);
  EXPECT_EQ(view->ViewY(), int32_t(Trunc(3000 * view->VScrollFactor())));
  EXPECT_EQ(changes, before + 1);
  vscroll(SB_TOP);
  // The wheel moves one row whatever the delta; a delta of 0 moves down.
  SendMessage(view->Handle(), WM_MOUSEWHEEL, 0, 0);
  EXPECT_EQ(view->ViewY(), 104);
  SendMessage(view->Handle(), WM_MOUSEWHEEL, uintptr_t(uint16_t(int16_t(-720))) << 16, 0);
  EXPECT_EQ(view->ViewY(), 208);
  SendMessage(view->Handle(), WM_MOUSEWHEEL, uintptr_t(120) << 16, 0);
  EXPECT_EQ(view->ViewY(), 104);
}

TEST_F(MViewWindow, HitTestingAndVisibility) {
  view->SetGridWidth(3);
  AddEntries(8, false);
  EXPECT_EQ(view->ImageAt(4, 4), 0);
  EXPECT_EQ(view->ImageAt(103, 103), 0);
  EXPECT_EQ(view->ImageAt(104, 104), -1);  // already the next row and column of the grid
  EXPECT_EQ(view->ImageAt(2, 50), -1);     // the border
  EXPECT_EQ(view->ImageAt(110, 110), 4);
  EXPECT_EQ(view->ImageAt(320, 10), -1);  // beyond the last column's cell
  EXPECT_EQ(view->ImageAt(250, 250), -1); // index 8 does not exist
  EXPECT_EQ(view->EntryVisibility(0), 2);
  EXPECT_EQ(view->EntryVisibility(6), 1);  // y 212..311 crosses the bottom at 300
  EXPECT_EQ(view->EntryVisibility(42), 0);
  AddEntries(22, false);
  view->SetViewY(250);
  EXPECT_EQ(view->EntryVisibility(0), 0);
  EXPECT_FALSE(view->IsEntryVisible(0));
  EXPECT_TRUE(view->IsEntryVisible(7));
  EXPECT_EQ(view->ImageAt(10, 10), 6);
}

// ---------------------------------------------------------------- selection

TEST_F(MViewWindow, KeysMoveTheSelectionThroughTheGrid) {
  view->SetGridWidth(4);
  AddEntries(30, false);
  view->MoveSelection(0);
  EXPECT_EQ(view->SelectedImage(), -1);
  view->MoveSelection(1);
  EXPECT_EQ(view->SelectedImage(), 0);
  view->SetFocus();
  struct {
    uint16_t Key;
    int32_t Expected;
  } steps[] = {{VK_RIGHT, 1}, {VK_DOWN, 5}, {VK_DOWN, 9}, {VK_LEFT, 8}, {VK_UP, 4}, {VK_END, 29},
               {VK_HOME, 0},  {VK_UP, 0},   {VK_NEXT, 8}, {VK_PRIOR, 0}};
  // A page is the rows that fit wholly: (300 - 4) / 104 = 2 rows of 4.
  for (auto& s : steps) {
    Headless::KeyDown(form.get(), s.Key);
    Application->ProcessMessages();
    EXPECT_EQ(view->SelectedImage(), s.Expected) << s.Key;
  }
  // The selected cell is scrolled into view.
  Headless::KeyDown(form.get(), VK_END);
  Application->ProcessMessages();
  EXPECT_EQ(view->EntryVisibility(29), 2);
  // Without mkiMoveSelected the keys do nothing.
  view->SetKeyInteract({});
  Headless::KeyDown(form.get(), VK_HOME);
  Application->ProcessMessages();
  EXPECT_EQ(view->SelectedImage(), 29);
}

TEST_F(MViewWindow, SingleSelectionEventsComeFromTheUserOnly) {
  view->SetGridWidth(3);
  AddEntries(6, false);
  std::vector<int32_t> selected, deselected;
  view->OnImageSelect = [&](TObject*, int32_t i) { selected.push_back(i); };
  view->OnImageDeselect = [&](TObject*, int32_t i) { deselected.push_back(i); };
  view->SelectImage(2);
  EXPECT_EQ(view->SelectedImage(), 2);
  EXPECT_TRUE(selected.empty());
  Click(4);
  Click(1);
  EXPECT_EQ(view->SelectedImage(), 1);
  EXPECT_EQ(selected, (std::vector<int32_t>{4, 1}));
  EXPECT_TRUE(deselected.empty());
  // Outside every cell nothing is selected.
  Headless::Click(form.get(), 1, 1);
  Application->ProcessMessages();
  EXPECT_EQ(view->SelectedImage(), 1);
}

TEST_F(MViewWindow, MultiSelectionWithCtrlAndShift) {
  view->SetGridWidth(4);
  view->SetThumbWidth(40);
  view->SetThumbHeight(40);
  view->SetEnableMultiSelect(true);
  AddEntries(16, false);
  auto sorted = [&] {
    std::vector<int32_t> v = view->MultiSelection();
    std::sort(v.begin(), v.end());
    return v;
  };
  Click(1);
  Click(3, TShiftState{ssCtrl});
  Click(6, TShiftState{ssCtrl});
  EXPECT_EQ(sorted(), (std::vector<int32_t>{1, 3, 6}));
  EXPECT_EQ(view->SelectedImage(), 6);
  // Ctrl on a selected entry takes it out.
  Click(3, TShiftState{ssCtrl});
  EXPECT_EQ(sorted(), (std::vector<int32_t>{1, 6}));
  // A plain press on a selected entry changes nothing until the release, which selects it alone.
  const TPoint p = CellPoint(6);
  Headless::MouseDown(form.get(), p.X, p.Y);
  Application->ProcessMessages();
  EXPECT_EQ(sorted(), (std::vector<int32_t>{1, 6}));
  Headless::MouseUp(form.get(), p.X, p.Y);
  Application->ProcessMessages();
  EXPECT_EQ(sorted(), (std::vector<int32_t>{6}));
  // Shift selects the run from the anchor.
  Click(1);
  Click(5, TShiftState{ssShift});
  EXPECT_EQ(sorted(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
  // With qxmoRegion the rectangle of rows and columns between them: 1..10 on 4 columns.
  view->MultiSelectionOptions = TQxMultiSelectionOptions{TQxMultiSelectionOptionsItems::qxmoRegion};
  Click(1);
  Click(10, TShiftState{ssShift});
  EXPECT_EQ(sorted(), (std::vector<int32_t>{1, 2, 5, 6, 9, 10}));
  // Ctrl on the only selected entry: deselected, unless one must stay.
  Click(7);
  Click(7, TShiftState{ssCtrl});
  EXPECT_TRUE(view->MultiSelection().empty());
  EXPECT_EQ(view->SelectedImage(), -1);
  view->MultiSelectionOptions = TQxMultiSelectionOptions{TQxMultiSelectionOptionsItems::qxmoLeaveOneSelected};
  Click(7);
  Click(7, TShiftState{ssCtrl});
  EXPECT_EQ(sorted(), (std::vector<int32_t>{7}));
  EXPECT_EQ(view->SelectedImage(), 7);
  // Dragging with the button held selects the range from the press.
  const TPoint a = CellPoint(0), b = CellPoint(2);
  Headless::MouseDown(form.get(), a.X, a.Y);
  Headless::MouseMove(form.get(), b.X, b.Y, TShiftState{TShiftStateItem::ssLeft});
  Headless::MouseUp(form.get(), b.X, b.Y);
  Application->ProcessMessages();
  EXPECT_EQ(sorted(), (std::vector<int32_t>{0, 1, 2}));
}

TEST_F(MViewWindow, DraggingScrollsWhenOnlyScrollingIsAllowed) {
  view->SetGridWidth(2);
  AddEntries(20, false);
  view->SetMouseInteract(TQxMMouseInteract{TQxMMouseInteractItems::mmiScroll});
  Headless::MouseDown(form.get(), 50, 200);
  Headless::MouseMove(form.get(), 50, 150, TShiftState{TShiftStateItem::ssLeft});
  Headless::MouseUp(form.get(), 50, 120);
  Application->ProcessMessages();
  EXPECT_EQ(view->ViewY(), 80);
  EXPECT_EQ(view->SelectedImage(), -1);
}

// ---------------------------------------------------------------- entries and pictures

TEST_F(MViewWindow, InsertingAndDeletingKeepTheSelectedPicture) {
  std::vector<std::pair<int32_t, int32_t>> changes;
  void* handle = view->AddBitmapChangeCallback(
      [&](void*, TQxView*, bool Destroying) {
        if (!Destroying && view->LastChangeKind != 0) changes.emplace_back(view->LastChangeKind, view->LastChangeIndex);
      },
      nullptr);
  AddEntries(3, false);
  view->InsertImage(10);
  EXPECT_EQ(view->ImageCount(), 4);
  EXPECT_EQ(changes.back(), std::make_pair(1, 3));
  EXPECT_EQ(view->LastChangeKind, 0);  // cleared after the notification
  view->SetImageFileName(2, "two.png");
  view->SelectImage(2);
  EXPECT_TRUE(view->DeleteImage(0));
  EXPECT_EQ(changes.back(), std::make_pair(2, 0));
  EXPECT_EQ(view->SelectedImage(), 1);
  EXPECT_EQ(view->GetImageFileName(1), "two.png");
  view->SelectImage(2);
  EXPECT_TRUE(view->DeleteImage(2));  // the selected one, and the last
  EXPECT_EQ(view->SelectedImage(), 1);
  EXPECT_FALSE(view->DeleteImage(2));
  EXPECT_FALSE(view->DeleteImage(-1));
  EXPECT_EQ(view->GetImageFileName(7), "");
  view->RemoveBitmapChangeCallback(handle);
}

TEST_F(MViewWindow, StoringReducesToTheThumbnailBox) {
  AddEntries(4, false);
  view->StoreType = TQxStoreType::qxtThumb;
  auto wide = SolidPicture(400, 200, {0, 0, 255});
  view->SetImageBitmap(0, wide.get());
  TQxVirtualImageInfo* i = view->Entry(0)->StoreImage;
  ASSERT_NE(i, nullptr);
  EXPECT_EQ(i->Width, 100);
  EXPECT_EQ(i->Height, 50);
  EXPECT_EQ(i->SourceWidth, 400);
  EXPECT_EQ(i->SourceHeight, 200);
  // A 1-bit picture becomes gray 24-bit; fully transparent pixels become gray (128, 128, 128).
  auto bw = std::make_unique<TQxBitmap>(300, 300, TQxPixelFormat::qx1g);
  bw->Fill(1);
  view->SetImageBitmap(1, bw.get());
  EXPECT_EQ(view->Entry(1)->StoreImage->PixelFormat, TQxPixelFormat::qx24RGB);
  auto clear = SolidPicture(200, 200, {0, 0, 255});
  clear->GetAlphaChannel()->Fill(0);
  clear->GetAlphaChannel()->Opaque = false;
  view->SetImageBitmap(2, clear.get());
  TQxBitmap back;
  view->ImageStore()->ReadImage(view->Entry(2)->StoreImage, &back);
  EXPECT_EQ(back.GetPixel24(50, 50).r, 128);
  EXPECT_EQ(back.GetPixel24(50, 50).b, 128);
  // Small pictures stay as they are without enlarging; qxtNormal stores everything whole.
  view->EnlargeSmallImages = false;
  view->SetImageBitmap(3, SolidPicture(30, 20, {1, 2, 3}).get());
  EXPECT_EQ(view->Entry(3)->StoreImage->Width, 30);
  view->StoreType = TQxStoreType::qxtNormal;
  view->SetImageBitmap(3, wide.get());
  EXPECT_EQ(view->Entry(3)->StoreImage->Width, 400);
  // The selected picture is handed out locked and written back when the selection moves.
  view->SelectImage(3);
  TQxBitmap* sel = view->GetQxBitmap();
  ASSERT_NE(sel, nullptr);
  sel->SetPixel24(5, 5, TQxRGB{9, 8, 7});
  view->SelectImage(0);
  view->ImageStore()->ReadImage(view->Entry(3)->StoreImage, &back);
  EXPECT_EQ(back.GetPixel24(5, 5).r, 7);
  view->SetImageBitmap(99, wide.get());  // outside: nothing
  view->SetImageBitmap(0, nullptr);
}

TEST_F(MViewWindow, PlayingShowsEachEntryInTurn) {
  view->SetGridWidth(3);
  AddEntries(3);
  std::vector<int32_t> frames;
  view->OnPlayFrame = [&](TObject*, int32_t i) { frames.push_back(i); };
  view->SetFrameDelay(1, 40);
  view->SelectImage(2);
  view->SetPlaying(true);
  EXPECT_TRUE(view->Playing());
  EXPECT_EQ(view->DisplayMode(), TQxMDisplayMode::mdSingle);
  EXPECT_EQ(view->SelectedImage(), -1);
  // Frame delay 0 plays at 10 ms; entry 1 waits 40 ms.
  AdvanceUiClock(10);
  Application->ProcessMessages();
  AdvanceUiClock(40);
  Application->ProcessMessages();
  AdvanceUiClock(10);
  Application->ProcessMessages();
  EXPECT_EQ(frames, (std::vector<int32_t>{0, 1, 2, 0}));
  // A write to the display mode while playing is kept for later.
  view->SetDisplayMode(TQxMDisplayMode::mdGrid);
  EXPECT_EQ(view->DisplayMode(), TQxMDisplayMode::mdSingle);
  view->SetPlaying(false);
  EXPECT_EQ(view->DisplayMode(), TQxMDisplayMode::mdGrid);
  EXPECT_EQ(view->SelectedImage(), 2);
  // Without looping the play stops after the last entry and stays in single mode.
  view->PlayLoop = false;
  view->SetPlaying(true);
  for (int i = 0; i < 5; ++i) {
    AdvanceUiClock(10);
    Application->ProcessMessages();
  }
  EXPECT_FALSE(view->Playing());
  EXPECT_EQ(view->DisplayMode(), TQxMDisplayMode::mdSingle);
}

TEST_F(MViewWindow, PlayingAnEmptyViewEndsWithTheNextInsertion) {
  view->SetPlaying(true);
  EXPECT_TRUE(view->Playing());
  view->InsertImage(0);
  EXPECT_FALSE(view->Playing());
  EXPECT_EQ(view->DisplayMode(), TQxMDisplayMode::mdGrid);
  // A single entry without looping: the first step ends it and the saved state returns at once.
  view->PlayLoop = false;
  view->SelectImage(0);
  view->SetPlaying(true);
  EXPECT_FALSE(view->Playing());
  EXPECT_EQ(view->DisplayMode(), TQxMDisplayMode::mdGrid);
  EXPECT_EQ(view->SelectedImage(), 0);
}
