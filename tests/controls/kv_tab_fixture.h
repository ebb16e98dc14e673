#pragma once
// A form on the headless back end with tab controls on it, for the tab and page control tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/kv_controls.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

class KvTabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    SetTestFontMode(true);
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(0, 0, 640, 480);
  }
  void TearDown() override {
    Form.reset();
    SetTestFontMode(false);
    UseTestUiClock(false);
  }
  // A bare tab control with the given captions.
  TKvCustomTabControl* AddTabs(const std::vector<std::string>& Captions, int32_t W = 300, int32_t H = 100) {
    auto* T = new TKvCustomTabControl(Form.get());
    T->SetParent(Form.get());
    T->SetBounds(10, 10, W, H);
    for (const std::string& c : Captions) {
      auto* d = new TKvTabData;
      d->Caption = c;
      T->Tabs()->Add(d);
    }
    T->TabsChanged();
    return T;
  }
  void ShowForm() {
    Form->Show();
    Application->ProcessMessages();
  }
  // A window point of a client point of Control.
  TPoint At(TControl* Control, int32_t X, int32_t Y) {
    TPoint p = Control->ClientToParent(TPoint(X, Y), Form.get());
    return TPoint(p.X, p.Y + Form->MenuBarHeight());
  }
  TPoint TabCentre(TKvCustomTabControl* T, int32_t Index) {
    TRect r = T->TabClientRect(Index);
    return At(T, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  }
  void Click(TPoint P) {
    Headless::Click(Form.get(), P.X, P.Y);
    Application->ProcessMessages();
  }
  std::unique_ptr<TForm> Form;
};
