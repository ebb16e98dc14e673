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

TEST_F(KvControls, PageControlShowsOnlyItsActivePage) {
  auto* PC = Add<TKvPageControl>();
  auto* S1 = new TKvTabSheet(Form.get());
  S1->SetPageControl(PC);
  auto* S2 = new TKvTabSheet(Form.get());
  S2->SetPageControl(PC);
  EXPECT_EQ(PC->ActivePage(), S1);
  EXPECT_TRUE(S1->Visible());
  EXPECT_FALSE(S2->Visible());
  PC->SelectNextPage(true);
  EXPECT_EQ(PC->ActivePage(), S2);
  EXPECT_FALSE(S1->Visible());
  delete S2;  // the page leaves its control, which falls back to another
  EXPECT_EQ(PC->PageCount(), 1);
  EXPECT_EQ(PC->ActivePage(), S1);
  EXPECT_TRUE(S1->Visible());
}

}  // namespace
