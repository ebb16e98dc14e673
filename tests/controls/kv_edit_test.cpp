// The framed edit's drop button in its frame: where it sits, what the mouse and keys do with it,
// the order of its events, and how it looks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/kv_edit.h"
#include "kv_fixture.h"

namespace {

class KvDropEditTest : public KvTest {
 protected:
  TKvCustomEdit* Edit(int32_t Top) {
    auto* e = Add<TKvCustomEdit>(20, Top, 120, 22);
    e->SetShowDropButton(true);
    e->OnEnter = [this](TObject*) { Log.push_back("enter"); };
    e->OnDropDown = [this, e](TObject*) {
      Log.push_back(std::string("dropdown") + (e->DroppedDown() ? " dropped" : "") + (e->DropButtonState() ? " down" : ""));
    };
    e->OnCloseUp = [this](TObject*) { Log.push_back("closeup"); };
    return e;
  }
  // Window point of the middle of E's drop button.
  TPoint ButtonCentre(TKvCustomEdit* E) {
    TRect r = E->DropButtonRect();
    return TPoint(E->Left() + (r.Left + r.Right) / 2, E->Top() + (r.Top + r.Bottom) / 2);
  }
  std::vector<std::string> Log;
};

TEST_F(KvDropEditTest, ButtonWidensTheFrameAndNarrowsTheClient) {
  auto* plain = Add<TKvCustomEdit>(20, 10, 120, 22);
  auto* e = Edit(40);
  const int32_t w = GetSystemMetrics(SM_CXVSCROLL);
  EXPECT_EQ(e->ClientWidth(), plain->ClientWidth() - w);
  TRect r = e->DropButtonRect();
  EXPECT_EQ(r.Right - r.Left, w);
  EXPECT_EQ(r.Right, e->Width() - plain->NonClientInsets().Right);
  EXPECT_EQ(plain->DropButtonRect(), TRect());
  e->SetShowDropButton(false);
  EXPECT_EQ(e->ClientWidth(), plain->ClientWidth());
}

TEST_F(KvDropEditTest, PressFocusesThenDropsAndClosesInOrder) {
  auto* e = Edit(40);
  ShowForm();
  TPoint p = ButtonCentre(e);
  Headless::MouseMove(Form.get(), p.X, p.Y);
  Application->ProcessMessages();
  EXPECT_TRUE(e->OverDropButton());
  Headless::MouseDown(Form.get(), p.X, p.Y);
  Application->ProcessMessages();
  EXPECT_EQ(Log, (std::vector<std::string>{"enter", "dropdown dropped down", "closeup"}));
  EXPECT_TRUE(e->MouseCapture());
  EXPECT_FALSE(e->DroppedDown());
  Headless::MouseUp(Form.get(), p.X, p.Y);
  Application->ProcessMessages();
  EXPECT_FALSE(e->MouseCapture());
  EXPECT_FALSE(e->DropButtonState());

  // A right press on the button and a left press on the text do not open it; Alt+Down does.
  Log.clear();
  Headless::Click(Form.get(), p.X, p.Y, TMouseButton::mbRight);
  Headless::Click(Form.get(), e->Left() + 10, p.Y);
  Application->ProcessMessages();
  EXPECT_TRUE(Log.empty());
  EXPECT_FALSE(e->OverDropButton());
  Headless::Key(Form.get(), VK_DOWN, {ssAlt});
  Application->ProcessMessages();
  EXPECT_EQ(Log, (std::vector<std::string>{"dropdown dropped down", "closeup"}));
}

TEST_F(KvDropEditTest, Screenshot) {
  auto* idle = Edit(10);
  idle->SetText("classic");
  auto* flat = Edit(40);
  flat->SetFlatButtons(true);
  flat->SetText("flat, idle");
  auto* hot = Edit(70);
  hot->SetFlatButtons(true);
  hot->SetText("flat, focused");
  auto* off = Edit(100);
  off->SetText("disabled");
  off->SetEnabled(false);
  ShowForm();
  hot->SetFocus();
  Application->ProcessMessages();
  // The classic button's face and arrow sit right of the text, inside the frame.
  TRect r = idle->DropButtonRect();
  EXPECT_EQ(Headless::PixelAt(Form.get(), idle->Left() + r.Left + 2, idle->Top() + r.Top + 2), ColorToRGB(clBtnFace));
  std::string path = Screenshot("kv_edit_drop_button");
  EXPECT_FALSE(path.empty());
}

}  // namespace
