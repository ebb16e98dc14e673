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
