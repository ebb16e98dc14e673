// Window tree, painting, mouse, keyboard, focus, timers and modal loops on the headless back end.
#include <gtest/gtest.h>

#include "platform/ui/ui_internal.h"
#include "tests/platform/ui/ui_fixture.h"

namespace {

using Log = std::vector<std::string>;

TEST_F(UiTest, ShownFormPaintsChildrenOverBackgroundAndClipsThem) {
  TForm f(nullptr);
  f.SetColor(clBlue);
  auto* a = new TProbe(&f, clRed);
  a->SetParent(&f);
  a->SetBounds(10, 10, 50, 40);
  auto* b = new TProbe(a, clLime);  // child of a, partly outside it
  b->SetParent(a);
  b->SetBounds(30, 20, 50, 50);
  ShowAt(&f, 200, 150);
  EXPECT_EQ(Headless::PixelAt(&f, 5, 5), clBlue);
  EXPECT_EQ(Headless::PixelAt(&f, 15, 15), clRed);
  EXPECT_EQ(Headless::PixelAt(&f, 45, 35), clLime);
  // b's part outside a is clipped away: the form shows there.
  EXPECT_EQ(Headless::PixelAt(&f, 70, 35), clBlue);
  EXPECT_EQ(Headless::PixelAt(&f, 45, 55), clBlue);

  // Invalidating b repaints b alone, clipped to its visible part.
  int pa = a->Paints, pb = b->Paints;
  b->Invalidate();
  Application->ProcessMessages();
  EXPECT_EQ(b->Paints, pb + 1);
  EXPECT_EQ(a->Paints, pa + 1);  // a's area under b is part of the bounding update
  EXPECT_EQ(b->LastClip, Rect(0, 0, 20, 20));
}

TEST_F(UiTest, ControlWithoutWindowHasNoHandleAndIgnoresInvalidate) {
  TProbe p(nullptr);
  p.SetBounds(0, 0, 30, 30);
  EXPECT_FALSE(p.HandleAllocated());
  EXPECT_FALSE(p.Showing());
  p.Invalidate();
  p.Update();
  EXPECT_EQ(p.Paints, 0);
  // Drawing on its canvas goes to a scratch bitmap of its size.
  p.Canvas()->SetPixels(5, 5, clRed);
  EXPECT_EQ(p.Canvas()->Pixels(5, 5), clRed);
  EXPECT_FALSE(p.HandleAllocated());
  HWND h = p.Handle();
  EXPECT_NE(h, 0u);
  EXPECT_EQ(FindControl(h), &p);
}

TEST_F(UiTest, PostMessageFromAnotherThreadArrivesInOrderAndDeadWindowsRefuse) {
  struct TSink : TCustomControl {
    using TCustomControl::TCustomControl;
    std::vector<uintptr_t> Got;
    void Dispatch(TMessage& M) override {
      if (M.Msg == WM_USER + 7) Got.push_back(M.WParam);
      else TCustomControl::Dispatch(M);
    }
  };
  auto* s = new TSink(nullptr);
  HWND h = s->Handle();
  std::thread t([h] {
    for (uintptr_t i = 0; i < 100; ++i) PostMessage(h, WM_USER + 7, i, 0);
  });
  t.join();
  Application->ProcessMessages();
  ASSERT_EQ(s->Got.size(), 100u);
  for (uintptr_t i = 0; i < 100; ++i) EXPECT_EQ(s->Got[i], i);
  delete s;
  EXPECT_FALSE(PostMessage(h, WM_USER + 7, 0, 0));
  EXPECT_FALSE(IsWindow(h));
}

TEST_F(UiTest, MouseClickCaptureEnterLeaveAndDoubleClick) {
  TForm f(nullptr);
  Log log;
  auto* a = new TProbe(&f);
  a->SetParent(&f);
  a->SetBounds(10, 10, 40, 40);
  a->Log = &log;
  a->Tag = "a";
  auto* b = new TProbe(&f);
  b->SetParent(&f);
  b->SetBounds(100, 10, 40, 40);
  b->Log = &log;
  b->Tag = "b";
  int clicks = 0, dbl = 0;
  a->OnClick = [&](TObject*) { ++clicks; };
  a->OnDblClick = [&](TObject*) { ++dbl; };
  b->SetTabOrder(0);
  ShowAt(&f, 200, 100);
  EXPECT_TRUE(b->Focused());
  log.clear();

  Headless::MouseMove(&f, 20, 20);
  Headless::MouseDown(&f, 20, 20);
  // Dragging onto b keeps the capture on a: b hears nothing.
  Headless::MouseMove(&f, 110, 20, {ssLeft});
  Headless::MouseUp(&f, 110, 20);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 0);  // released outside a
  Log want = {"a:mouseenter", "b:killfocus", "b:exit", "a:setfocus", "a:enter", "a:ldown", "a:lup"};
  EXPECT_EQ(log, want);
  log.clear();
  Headless::MouseMove(&f, 111, 20);
  Application->ProcessMessages();
  EXPECT_EQ(log, (Log{"a:mouseleave", "b:mouseenter"}));

  // Two presses close in time and place make a click and a double click.
  log.clear();
  Headless::Click(&f, 20, 20);
  AdvanceUiClock(100);
  Headless::Click(&f, 21, 21);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(dbl, 1);
  EXPECT_NE(std::find(log.begin(), log.end(), "a:ldbl"), log.end());
  // Too late for a double click: a second click.
  AdvanceUiClock(1000);
  Headless::Click(&f, 20, 20);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(dbl, 1);
}

TEST_F(UiTest, TabOrderAndDialogKeysMoveTheFocus) {
  TForm f(nullptr);
  Log log;
  TProbe* p[3];
  for (int i = 0; i < 3; ++i) {
    p[i] = new TProbe(&f);
    p[i]->SetParent(&f);
    p[i]->SetBounds(10 + 50 * i, 10, 40, 40);
    p[i]->Tag = std::to_string(i);
  }
  p[2]->SetTabOrder(0);  // order: 2, 0, 1
  p[1]->SetTabStop(false);
  ShowAt(&f, 200, 100);
  EXPECT_EQ(f.ActiveControl(), p[2]);
  EXPECT_TRUE(p[2]->Focused());
  for (auto* q : p) q->Log = &log;
  Headless::Key(&f, VK_TAB);
  Application->ProcessMessages();
  EXPECT_TRUE(p[0]->Focused());
  EXPECT_EQ(log, (Log{"2:killfocus", "2:exit", "0:setfocus", "0:enter"}));
  Headless::Key(&f, VK_TAB);  // 1 has no tab stop: back to 2
  Application->ProcessMessages();
  EXPECT_TRUE(p[2]->Focused());
  Headless::Key(&f, VK_TAB, {ssShift});
  Application->ProcessMessages();
  EXPECT_TRUE(p[0]->Focused());
  // Arrow keys move among siblings, tab stop or not, unless the control wants them.
  Headless::Key(&f, VK_RIGHT);
  Application->ProcessMessages();
  EXPECT_TRUE(p[1]->Focused());
  p[1]->DlgCode = DLGC_WANTARROWS;
  log.clear();
  Headless::Key(&f, VK_RIGHT);
  Application->ProcessMessages();
  EXPECT_TRUE(p[1]->Focused());
  EXPECT_NE(std::find(log.begin(), log.end(), "1:keydown 39"), log.end());
  // Letters reach the focused control as key and character.
  log.clear();
  Headless::Key(&f, 'A');
  Application->ProcessMessages();
  EXPECT_EQ(log, (Log{"1:keydown 65", "1:char 97"}));
}

TEST_F(UiTest, KeyPreviewSeesKeysFirstAndMaySwallowThem) {
  TForm f(nullptr);
  Log log;
  auto* p = new TProbe(&f);
  p->SetParent(&f);
  p->SetBounds(0, 0, 20, 20);
  p->Log = &log;
  f.SetKeyPreview(true);
  f.OnKeyDown = [&](TObject*, uint16_t& Key, TShiftState) {
    log.push_back("form:" + std::to_string(Key));
    if (Key == 'Q') Key = 0;
  };
  ShowAt(&f, 100, 100);
  log.clear();
  Headless::KeyDown(&f, 'Q');
  Headless::KeyDown(&f, 'W');
  Application->ProcessMessages();
  EXPECT_EQ(log, (Log{"form:81", "form:87", ":keydown 87"}));
}

TEST_F(UiTest, TimersFireOnTheTestClock) {
  TTimer t(nullptr);
  int ticks = 0;
  t.SetInterval(100);
  t.SetOnTimer([&](TObject*) { ++ticks; });
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 0);
  AdvanceUiClock(99);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 0);
  AdvanceUiClock(1);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 1);
  // A late timer fires once, not once per missed interval.
  AdvanceUiClock(550);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 2);
  t.SetEnabled(false);
  AdvanceUiClock(1000);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 2);
}

TEST_F(UiTest, ModalLoopRunsUntilModalResultAndDisablesOtherForms) {
  TForm main(nullptr);
  ShowAt(&main, 200, 200);
  TForm dlg(nullptr);
  bool mainEnabledInside = true;
  TTimer t(nullptr);
  t.SetInterval(50);
  t.SetOnTimer([&](TObject*) {
    mainEnabledInside = main.Enabled();
    dlg.SetModalResult(mrOk);
  });
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_FALSE(mainEnabledInside);
  EXPECT_TRUE(main.Enabled());
  EXPECT_FALSE(dlg.Visible());
  EXPECT_TRUE(main.Active());

  // Escape closes through a queued key; OnCloseQuery may refuse once.
  t.SetEnabled(false);
  int asked = 0;
  dlg.OnCloseQuery = [&](TObject*, bool& Can) { Can = ++asked > 1; };
  dlg.OnKeyDown = [&](TObject*, uint16_t& Key, TShiftState) {
    if (Key == VK_ESCAPE) dlg.Close();
  };
  Headless::KeyToTop(VK_ESCAPE);
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(asked, 2);
}

TEST_F(UiTest, ScrollBarsShrinkTheClientAndSendScrollCodes) {
  struct TScroller : TCustomControl {
    using TCustomControl::TCustomControl;
    std::vector<std::pair<int, int>> Codes;
    int Sizes = 0;
    void Dispatch(TMessage& M) override {
      if (M.Msg == WM_VSCROLL) Codes.emplace_back(M.WParamLo(), static_cast<int16_t>(M.WParamHi()));
      if (M.Msg == WM_SIZE) ++Sizes;
      TCustomControl::Dispatch(M);
    }
  };
  TForm f(nullptr);
  auto* s = new TScroller(&f);
  s->SetParent(&f);
  s->SetBounds(0, 0, 100, 100);
  ShowAt(&f, 200, 200);
  EXPECT_EQ(s->ClientWidth(), 100);
  TScrollInfo si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = 199;
  si.nPage = 100;
  si.nPos = 500;  // clamped to the last page
  EXPECT_EQ(s->SetScrollInfo(SB_VERT, si, true), 100);
  EXPECT_TRUE(s->ScrollBarVisible(SB_VERT));
  EXPECT_EQ(s->ClientWidth(), 100 - GetSystemMetrics(SM_CXVSCROLL));
  EXPECT_GE(s->Sizes, 1);
  Application->ProcessMessages();
  int bx = 100 - GetSystemMetrics(SM_CXVSCROLL) / 2;
  Headless::Click(&f, bx, 2);    // up arrow
  Headless::Click(&f, bx, 97);   // down arrow
  Headless::Click(&f, bx, 25);   // track above the thumb
  Application->ProcessMessages();
  std::vector<std::pair<int, int>> want = {{SB_LINEUP, 0}, {SB_ENDSCROLL, 0}, {SB_LINEDOWN, 0},
                                           {SB_ENDSCROLL, 0}, {SB_PAGEUP, 0}, {SB_ENDSCROLL, 0}};
  EXPECT_EQ(s->Codes, want);
  // A page that covers the range hides the bar again.
  si.fMask = SIF_PAGE;
  si.nPage = 200;
  s->SetScrollInfo(SB_VERT, si, true);
  EXPECT_FALSE(s->ScrollBarVisible(SB_VERT));
  EXPECT_EQ(s->ClientWidth(), 100);
}

TEST_F(UiTest, AlignmentAndAnchorsFollowTheParent) {
  TForm f(nullptr);
  auto* top = new TProbe(&f);
  top->SetParent(&f);
  top->SetHeight(20);
  top->SetAlign(alTop);
  auto* right = new TProbe(&f);
  right->SetParent(&f);
  right->SetWidth(30);
  right->SetAlign(alRight);
  auto* client = new TProbe(&f);
  client->SetParent(&f);
  client->SetAlign(alClient);
  auto* anchored = new TProbe(&f);
  anchored->SetParent(&f);
  f.SetBounds(0, 0, 200, 200);
  anchored->SetBounds(150, 150, 10, 10);
  anchored->SetAnchors({akRight, akBottom});
  EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 200, 20));
  EXPECT_EQ(right->BoundsRect(), Rect(170, 20, 200, 200));
  EXPECT_EQ(client->BoundsRect(), Rect(0, 20, 170, 200));
  f.SetBounds(0, 0, 300, 250);
  EXPECT_EQ(client->BoundsRect(), Rect(0, 20, 270, 250));
  EXPECT_EQ(anchored->BoundsRect(), Rect(250, 200, 260, 210));
}

TEST_F(UiTest, ExceptionInAHandlerIsReportedAndTheLoopGoesOn) {
  TForm f(nullptr);
  auto* p = new TProbe(&f);
  p->SetParent(&f);
  p->SetBounds(0, 0, 50, 50);
  p->OnClick = [](TObject*) { throw Exception("boom"); };
  std::string reported;
  Application->OnException = [&](TObject*, const std::exception& E) { reported = E.what(); };
  ShowAt(&f, 100, 100);
  Headless::Click(&f, 10, 10);
  Application->ProcessMessages();
  Application->OnException = nullptr;
  EXPECT_EQ(reported, "boom");
}

}  // namespace

namespace {
struct TSettingsForm : TForm {
  explicit TSettingsForm(TComponent* O) : TForm(O) {
    OnDestroy = [this](TObject*) { Saved = *Setting; };
  }
  std::unique_ptr<std::string> Setting = std::make_unique<std::string>("kept");
  static inline std::string Saved;
};

TEST_F(UiTest, OwnerRunsOnDestroyWhileTheFormIsWhole) {
  TSettingsForm::Saved.clear();
  auto* owner = new TComponent(nullptr);
  auto* f = new TSettingsForm(owner);
  ShowAt(f, 100, 100);
  int32_t before = Screen->FormCount();
  delete owner;
  EXPECT_EQ(TSettingsForm::Saved, "kept");
  EXPECT_EQ(Screen->FormCount(), before - 1);
}
}  // namespace
