// Tab polygons, their regions, outlines, card frames and the look of every style and side.
#include <filesystem>

#include "tests/controls/kv_tab_fixture.h"

namespace {

using TS = TKvTabStyle;
using TO = TKvTabOrientation;

TEST_F(KvTabTest, ScreenshotsOfEveryStyleAndSide) {
  SetTestFontMode(false);
  std::filesystem::create_directories("screenshots");
  Form->SetBounds(0, 0, 4 * 200 + 10, 5 * 175 + 10);
  const TS styles[] = {TS::tsSingleSlant, TS::tsDoubleSlant, TS::tsCutCorner, TS::tsRoundCorners, TS::tsBackSlant};
  const TO sides[] = {TO::toTop, TO::toLeft, TO::toBottom, TO::toRight};
  for (int s = 0; s < 5; ++s) {
    for (int o = 0; o < 4; ++o) {
      auto* T = AddTabs({"One", "Two", "&Three"});
      T->SetBounds(5 + o * 200, 5 + s * 175, 190, 165);
      T->SetTabStyle(styles[s]);
      T->SetTabOrientation(sides[o]);
      T->SetTextOrientation(o % 2 ? TOrientation::orVertical : TOrientation::orHorizontal);
      T->SetTabIndex(1);
      T->SetColor(0xF6F0E2);
      T->Tabs()->Items(2)->Enabled = o != 3;
    }
  }
  ShowForm();
  ASSERT_TRUE(Headless::SaveWindowPng(Form.get(), "screenshots/tabs_styles.png"));
}

}  // namespace
