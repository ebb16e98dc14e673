// Blinking list, frame controller and the small shared routines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/kv_checks.h"
#include "controls/kv_labels.h"
#include "controls/kv_panels.h"
#include "controls/kv_status.h"
#include "controls/kv_tool_button.h"
#include "controls/kv_trackbar.h"
#include "controls/kv_utils.h"
#include "kv_fixture.h"

namespace {

// A control that publishes a few framed-control properties and counts what it is given.
class TFramed : public TGraphicControl {
 public:
  explicit TFramed(TComponent* O) : TGraphicControl(O) {
    static bool done = false;
    if (!done) {
      done = true;
      KvRegisterOrdProperty<TFramed>("FrameStyle", TTypeKind::tkEnumeration,
                                     [](TFramed* c, int64_t v) { c->Set("FrameStyle", c->Style, v); },
                                     [](const TFramed* c) { return c->Style; });
      KvRegisterOrdProperty<TFramed>("FrameColor", TTypeKind::tkInteger,
                                     [](TFramed* c, int64_t v) { c->Set("FrameColor", c->FrameColor, v); },
                                     [](const TFramed* c) { return c->FrameColor; });
      KvRegisterOrdProperty<TFramed>("FocusColor", TTypeKind::tkInteger,
                                     [](TFramed* c, int64_t v) { c->Set("FocusColor", c->Focus, v); },
                                     [](const TFramed* c) { return c->Focus; });
      KvRegisterOrdProperty<TFramed>("FrameControllerNotifications", TTypeKind::tkSet,
                                     [](TFramed* c, int64_t v) { c->Notify = v; },
                                     [](const TFramed* c) { return c->Notify; });
    }
  }
  void Set(const char* Name, int64_t& Field, int64_t V) {
    Field = V;
    Writes.push_back(Name);
  }
  int64_t Style = 0, FrameColor = 0, Focus = 0;
  int64_t Notify = 0xFFFF;
  std::vector<std::string> Writes;
};

// Applies the settings itself.
class TClient : public TGraphicControl, public IKvFrameControllerClient {
 public:
  using TGraphicControl::TGraphicControl;
  void ApplyFrameController() override { ++Applied; }
  int Applied = 0;
};

TEST(KvUtils, FrameControllerPushesWhatEachControlAccepts) {
  TKvFrameController fc(nullptr);
  TFramed a(nullptr), b(nullptr);
  b.Notify = KvAllFrameNotifications.bits() & ~(1u << int(TKvFrameControllerProperty::fcpFrameStyle));
  fc.RegisterControl(&a);
  fc.RegisterControl(&a);  // twice: one push
  EXPECT_EQ(a.Writes, (std::vector<std::string>{"FocusColor", "FrameColor", "FrameStyle"}));
  fc.RegisterControl(&b);
  EXPECT_EQ(fc.ControlCount(), 2);
  b.Style = int64_t(fsBump);
  a.Writes.clear();
  fc.SetFrameStyle(fsGroove);
  EXPECT_EQ(a.Style, int64_t(fsGroove));
  EXPECT_EQ(b.Style, int64_t(fsBump));  // it does not take the frame style
  EXPECT_EQ(a.Writes, std::vector<std::string>{"FrameStyle"});
  fc.SetFrameStyle(fsGroove);  // unchanged: no push
  EXPECT_EQ(a.Writes.size(), 1u);

  // Held pushes end in one complete push per control.
  a.Writes.clear();
  fc.HoldPushes();
  fc.SetFrameColor(0x112233);
  fc.SetFocusColor(0x445566);
  fc.SetFrameStyle(fsRaised);
  fc.SetFrameHotColor(1);
  fc.SetDisabledColor(2);
  fc.SetReadOnlyColor(3);
  EXPECT_TRUE(a.Writes.empty());
  fc.ReleasePushes();
  EXPECT_EQ(a.Writes, (std::vector<std::string>{"FocusColor", "FrameColor", "FrameStyle"}));
  EXPECT_EQ(a.FrameColor, 0x112233);

  TClient c(nullptr);
  fc.RegisterControl(&c);
  fc.SetFrameColor(7);
  EXPECT_EQ(c.Applied, 2);
  fc.UnregisterControl(&a);
  fc.UnregisterControl(&b);
  fc.UnregisterControl(&c);
  EXPECT_EQ(fc.ControlCount(), 0);
}

TEST(KvUtils, FrameControllerColourRulesAndCopies) {
  TKvFrameController fc(nullptr);
  fc.SetParentColor(true);
  fc.SetColor(0x00FFFF);
  EXPECT_EQ(fc.FocusColor(), 0x00FFFF);  // it was equal to the old colour: it follows
  EXPECT_FALSE(fc.ParentColor());
  fc.SetFocusColor(0x123456);
  fc.SetColor(0x00FF00);
  EXPECT_EQ(fc.FocusColor(), 0x123456);
  fc.SetFrameSides(TSides{sdLeft});
  fc.SetFrameHotTrack(true);
  EXPECT_TRUE(fc.FrameVisible());
  EXPECT_EQ(fc.FrameSides(), KvAllSides);

  TKvFrameController copy(nullptr);
  TFramed a(nullptr);
  copy.RegisterControl(&a);
  a.Writes.clear();
  copy.AssignFrom(&fc);
  EXPECT_EQ(copy.Color(), 0x00FF00);
  EXPECT_EQ(copy.FocusColor(), 0x123456);
  EXPECT_TRUE(copy.FrameHotTrack());
  EXPECT_EQ(a.Writes, (std::vector<std::string>{"FocusColor", "FrameColor", "FrameStyle"}));

  // The settings component: configuration only, reopened after each change.
  TKvRegIniFile ini(nullptr);
  EXPECT_EQ(ini.PathType(), TKvPathType::ptIniFile);
  EXPECT_EQ(ini.RegKey(), TKvRegKey::hkeyCurrentUser);
  EXPECT_TRUE(ini.RegAccess().Contains(TKvRegAccessKey::keyAllAccess));
  fc.SetRegIniFile(&ini);
  EXPECT_EQ(fc.RegIniFile(), &ini);
}

TEST(KvUtils, RegIniFileLinkIsClearedWhenItGoes) {
  TKvFrameController fc(nullptr);
  auto* ini = new TKvRegIniFile(nullptr);
  fc.SetRegIniFile(ini);
  delete ini;
  EXPECT_EQ(fc.RegIniFile(), nullptr);
}

TEST(KvUtils, SmallRoutines) {
  struct {
    const char* In;
    const char* Out;
  } acc[] = {{"&File", "File"}, {"Save && Quit", "Save & Quit"}, {"Tom&", "Tom&"}, {"&&", "&&"}, {"Tom&&", "Tom&&"}, {"", ""},
             {"a&b&&c", "ab&c"}};
  for (auto& t : acc) EXPECT_EQ(KvStripAccelerators(t.In), t.Out) << t.In;
  EXPECT_EQ(KvCenteredRect(TRect(0, 0, 17, 21), 8, 8), TRect(4, 6, 12, 14));
  EXPECT_EQ(KvCenteredRect(TRect(-5, -5, 0, 0), 2, 2), TRect(-3, -3, -1, -1));
  EXPECT_EQ(KvMinInt(3, -4), -4);
  EXPECT_EQ(KvMaxInt(3, -4), 3);
  EXPECT_FALSE(KvIsWindowsVersion(5));
  EXPECT_EQ(KvColorNames[13].Color, 0xFF0000);
  EXPECT_STREQ(KvColorNames[13].Name, "Blue");
  EXPECT_EQ(KvColorNames[69].Color, clMenuBar);
  EXPECT_EQ(KvColorNames[64].Color, clInfoBk);
}

// A control that blinks when asked and logs when.
class TBlinker : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  std::vector<std::pair<uint64_t, int>> Log;
  bool Wants = true;

 protected:
  void Dispatch(TMessage& M) override {
    if (M.Msg == KV_BLINK_QUERY) {
      M.Result = Wants ? 1 : 0;
      return;
    }
    if (M.Msg == KV_BLINK) {
      Log.push_back({UiTickCount(), int(M.WParam)});
      return;
    }
    TGraphicControl::Dispatch(M);
  }
};

using KvUtilsOnClock = KvTest;

TEST_F(KvUtilsOnClock, BlinkingListKeepsItsIntervals) {
  TBlinker a(nullptr), b(nullptr);
  b.Wants = false;
  KvNeedBlinkingList()->RegisterControl(&a);
  KvBlinkingList->RegisterControl(&b);
  KvBlinkingList->SetIntervalOn(800);
  KvBlinkingList->SetIntervalOff(200);
  uint64_t t0 = UiTickCount();
  for (int i = 0; i < 34; ++i) Wait(50);
  // The first switch comes after the off interval the timer started with (500 ms); then the
  // blink shows for 800 ms and the normal look for 200 ms.
  ASSERT_EQ(a.Log.size(), 4u);
  EXPECT_EQ(a.Log[0], std::make_pair(t0 + 500, 0));
  EXPECT_EQ(a.Log[1], std::make_pair(t0 + 700, 1));
  EXPECT_EQ(a.Log[2], std::make_pair(t0 + 1500, 0));
  EXPECT_EQ(a.Log[3], std::make_pair(t0 + 1700, 1));
  EXPECT_TRUE(b.Log.empty());
  KvReleaseBlinkingList();
  EXPECT_NE(KvBlinkingList, nullptr);  // still in use
  KvBlinkingList->UnregisterControl(&a);
  KvBlinkingList->UnregisterControl(&b);
  KvReleaseBlinkingList();
  EXPECT_EQ(KvBlinkingList, nullptr);
}

TEST_F(KvUtilsOnClock, MonitorsOfTheScreen) {
  EXPECT_EQ(KvMonitorAtPoint(TPoint(10, 10)), 0);
  EXPECT_EQ(KvMonitorAtPoint(TPoint(-50, 10)), KvNoMonitor);
  EXPECT_EQ(KvBoundsOfMonitor(0).Width(), Screen->Width());
  EXPECT_EQ(KvWorkAreaWidthOfWindow(Form.get()), Screen->WorkAreaRect().Width());
  EXPECT_EQ(KvBoundsOfMonitor(3), TRect(0, 0, 0, 0));
}

}  // namespace

namespace {

TEST_F(KvTest, TransparentChildrenOfEveryKindAreFound) {
  auto* pane = new TKvStatusPane(Form.get());
  pane->SetParent(Form.get());
  pane->SetBounds(200, 200, 60, 20);
  std::vector<TControl*> kids = {Add<TKvPanel>(10, 10, 60, 40), Add<TKvLabel>(80, 10, 60, 20),
                                 Add<TKvCheckBox>(10, 60, 80, 20), Add<TKvToolButton>(100, 60, 25, 25), pane,
                                 Add<TKvTrackBar>(10, 100, 150, 40)};
  ShowForm();
  // Tool buttons start transparent: every child starts opaque here.
  for (TControl* c : kids)
    if (const TPropInfo* p = GetPropInfo(c, "Transparent"); p && p->SetOrd) p->SetOrd(c, 0);
  for (TControl* c : kids) {
    const TPropInfo* p = GetPropInfo(c, "Transparent");
    ASSERT_TRUE(p && p->GetOrd && p->SetOrd) << c->ClassName();
    for (int64_t on : {0, 1}) {
      p->SetOrd(c, on);
      EXPECT_EQ(p->GetOrd(c), on) << c->ClassName();
      Application->ProcessMessages();
      KvInvalidateTransparentChildren(Form.get());
      EXPECT_EQ(Form->NeedsPaint(), on == 1) << c->ClassName();
    }
    p->SetOrd(c, 0);
  }
}

TEST(KvOldFormValues, AreReadIntoTheirPresentProperties) {
  TKvFrameController fc(nullptr);
  EXPECT_TRUE(SetPropertyFromText(&fc, "FrameFlat", "True"));
  EXPECT_TRUE(fc.FrameHotTrack());
  EXPECT_EQ(fc.FrameStyle(), fsStatus);
  EXPECT_EQ(fc.FrameHotStyle(), fsLowered);
  EXPECT_TRUE(SetPropertyFromText(&fc, "FrameFocusStyle", "fsBump"));
  EXPECT_EQ(fc.FrameHotStyle(), fsBump);
  EXPECT_TRUE(SetPropertyFromText(&fc, "FrameFlatStyle", "fsGroove"));  // dropped
  EXPECT_EQ(fc.FrameHotStyle(), fsBump);
  // The controller's own settings are published.
  const TPropInfo* c = GetPropInfo(&fc, "FocusColor");
  ASSERT_TRUE(c && c->SetOrd && c->GetOrd);
  c->SetOrd(&fc, 0x123456);
  EXPECT_EQ(fc.FocusColor(), 0x123456);
  ASSERT_TRUE(GetPropInfo(&fc, "FrameSides"));

  TKvPanel panel(nullptr);
  EXPECT_TRUE(SetPropertyFromText(&panel, "ThemeAware", "True"));
  EXPECT_TRUE(SetPropertyFromText(&panel, "FrameSides", "[sdLeft]"));
  EXPECT_NE(panel.VisualStyle(), vsGradient);
  EXPECT_TRUE(SetPropertyFromText(&panel, "UseGradients", "True"));
  EXPECT_EQ(panel.VisualStyle(), vsGradient);

  TKvToolButton tool(nullptr);
  EXPECT_TRUE(SetPropertyFromText(&tool, "GradientColorStart", "clRed"));
  EXPECT_TRUE(SetPropertyFromText(&tool, "GradientColorStop", "$00FF00"));
  EXPECT_TRUE(SetPropertyFromText(&tool, "FrameColor", "255"));
  EXPECT_TRUE(SetPropertyFromText(&tool, "GradientColorDefault", "False"));
  EXPECT_EQ(tool.SelectionColorStart(), clRed);
  EXPECT_EQ(tool.SelectionColorStop(), 0x00FF00);
  EXPECT_EQ(tool.SelectionFrameColor(), 255);
  EXPECT_TRUE(SetPropertyFromText(&tool, "UseGradients", "True"));
  EXPECT_EQ(tool.VisualStyle(), vsGradient);
  // A colour text that is neither name nor number leaves the colour alone.
  EXPECT_TRUE(SetPropertyFromText(&tool, "FrameColor", "clNoSuchColour"));
  EXPECT_EQ(tool.SelectionFrameColor(), 255);

  TKvCheckBox box(nullptr);
  EXPECT_TRUE(SetPropertyFromText(&box, "Flat", "True"));
  EXPECT_TRUE(box.HotTrack());
}

}  // namespace
