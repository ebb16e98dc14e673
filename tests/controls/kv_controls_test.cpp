// The themed controls: values, groups and events as the main window relies on them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/kv_controls.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"

namespace {

class KvControls : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    Form = std::make_unique<TForm>(nullptr);
  }
  void TearDown() override { KvOpenURLHook = nullptr; }
  template <class T>
  T* Add(TWinControl* Parent = nullptr) {
    T* c = new T(Form.get());
    c->SetParent(Parent ? Parent : Form.get());
    return c;
  }
  std::unique_ptr<TForm> Form;
};

TEST_F(KvControls, TrackBarClampsAndAnnouncesOnlyChanges) {
  auto* T = Add<TKvTrackBar>();
  T->SetMax(100);
  std::vector<int32_t> seen;
  T->OnChange = [&](TObject*) { seen.push_back(T->Position()); };
  struct {
    int32_t Set, Expect;
  } cases[] = {{0, 0}, {40, 40}, {40, 40}, {150, 100}, {200, 100}, {-5, 0}};
  for (auto c : cases) {
    T->SetPosition(c.Set);
    EXPECT_EQ(T->Position(), c.Expect) << c.Set;
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{40, 100, 0}));
  T->SetMax(30);  // shrinking the range pulls the position along
  T->SetPosition(50);
  EXPECT_EQ(T->Position(), 30);
}

TEST_F(KvControls, SpinEditRangeAndChanges) {
  auto* S = Add<TKvSpinEdit>();
  EXPECT_EQ(S->Min(), 0);
  EXPECT_EQ(S->Max(), 100);
  int changes = 0;
  S->OnChange = [&](TObject*) { ++changes; };
  S->SetValue(250);
  EXPECT_EQ(S->Value(), 100);
  S->SetValue(100);
  EXPECT_EQ(changes, 1);
  S->SetMin(-500);
  S->SetValue(-20);
  EXPECT_EQ(S->Value(), -20);
  EXPECT_EQ(S->Text(), "-20");
  EXPECT_EQ(changes, 2);
}

TEST_F(KvControls, RadioButtonsAreExclusivePerParent) {
  auto* P1 = Add<TKvPanel>();
  auto* P2 = Add<TKvPanel>();
  auto* A = Add<TKvRadioButton>(P1);
  auto* B = Add<TKvRadioButton>(P1);
  auto* C = Add<TKvRadioButton>(P2);
  std::vector<std::string> clicks;
  A->OnClick = [&](TObject*) { clicks.push_back("A"); };
  B->OnClick = [&](TObject*) { clicks.push_back("B"); };
  A->SetChecked(true);
  C->SetChecked(true);
  B->Click();
  EXPECT_FALSE(A->Checked());
  EXPECT_TRUE(B->Checked());
  EXPECT_TRUE(C->Checked());
  B->Click();  // already checked: no change, no event
  EXPECT_EQ(clicks, (std::vector<std::string>{"A", "B"}));
}

TEST_F(KvControls, CheckBoxTogglesAndAnnounces) {
  auto* X = Add<TKvCheckBox>();
  int clicks = 0;
  X->OnClick = [&](TObject*) { ++clicks; };
  X->Click();
  EXPECT_TRUE(X->Checked());
  X->SetChecked(true);
  X->SetChecked(false);
  EXPECT_EQ(clicks, 2);
}

TEST_F(KvControls, BmpButtonsOfOneGroupReleaseEachOther) {
  auto* A = Add<TKvBmpButton>();
  auto* B = Add<TKvBmpButton>();
  auto* Other = Add<TKvBmpButton>();
  A->SetGroupIndex(2);
  B->SetGroupIndex(2);
  Other->SetGroupIndex(3);
  Other->SetDown(true);
  A->SetDown(true);
  int clicks = 0;
  B->OnClick = [&](TObject*) { ++clicks; };
  B->Click();
  EXPECT_TRUE(B->Down());
  EXPECT_FALSE(A->Down());
  EXPECT_TRUE(Other->Down());
  EXPECT_EQ(clicks, 1);
}

TEST_F(KvControls, ButtonModalResultAndLinkClick) {
  auto* B = Add<TKvButton>();
  B->SetModalResult(mrOk);
  B->Click();
  EXPECT_EQ(Form->ModalResult(), mrOk);

  std::vector<std::string> opened;
  KvOpenURLHook = [&](const std::string& A) {
    opened.push_back(A);
    return true;
  };
  auto* L = Add<TKvURLLabel>();
  L->SetURL("  https://example.org/a b  ");
  L->Click();
  L->SetURL("   ");
  L->Click();
  EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/a b"}));
}

}  // namespace
