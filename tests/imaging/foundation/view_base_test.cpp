// The view base: bitmap-change callbacks, resolution, border style and the settings objects.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "imaging/foundation/view_base.h"

TEST(ViewBase, DestroyingTellsEveryCallbackOnceInOrder) {
  std::vector<std::string> calls;
  auto view = std::make_unique<TQxView>(nullptr);
  const char* names[] = {"a", "b", "c"};
  for (const char* n : names)
    view->AddBitmapChangeCallback(
        [&calls](void* data, TQxView*, bool destroying) {
          calls.push_back(std::string(static_cast<const char*>(data)) + (destroying ? "!" : "?"));
        },
        const_cast<char*>(n));
  view->NotifyBitmapChange();
  view.reset();
  EXPECT_EQ(calls, (std::vector<std::string>{"a?", "b?", "c?", "a!", "b!", "c!"}));
}

TEST(ViewBase, RemovingCallbacksIsSafeAnywhere) {
  TQxView a(nullptr), b(nullptr);
  int hits = 0;
  void* ha = a.AddBitmapChangeCallback([&](void*, TQxView*, bool) { ++hits; }, nullptr);
  b.RemoveBitmapChangeCallback(ha);  // a handle of another view
  EXPECT_EQ(a.BitmapChangeCallbackCount(), 1);
  a.RemoveBitmapChangeCallback(ha);
  a.RemoveBitmapChangeCallback(ha);  // twice: nothing more
  a.RemoveBitmapChangeCallback(nullptr);
  EXPECT_EQ(a.BitmapChangeCallbackCount(), 0);

  // A callback that removes itself (and the next one) during the walk.
  void* self = nullptr;
  void* next = nullptr;
  std::vector<int> order;
  self = a.AddBitmapChangeCallback(
      [&](void*, TQxView* v, bool) {
        order.push_back(1);
        v->RemoveBitmapChangeCallback(self);
        v->RemoveBitmapChangeCallback(next);
      },
      nullptr);
  next = a.AddBitmapChangeCallback([&](void*, TQxView*, bool) { order.push_back(2); }, nullptr);
  a.AddBitmapChangeCallback(
      [&](void*, TQxView*, bool destroying) {
        if (!destroying) order.push_back(3);  // the view outlives `order`
      },
      nullptr);
  a.NotifyBitmapChange();
  EXPECT_EQ(order, (std::vector<int>{1, 3}));
  EXPECT_EQ(a.BitmapChangeCallbackCount(), 1);
}

TEST(ViewBase, DefaultsDpiAndBorder) {
  TQxView v(nullptr);
  EXPECT_EQ(v.Background(), clBtnFace);
  EXPECT_EQ(v.BorderStyle(), TBorderStyle::bsSingle);
  EXPECT_TRUE(v.Ctl3D());
  EXPECT_TRUE(v.ControlStyle().Contains(csOpaque));
  v.SetDpi(120, 96);
  v.SetDpi(0, 150);
  EXPECT_EQ(v.DpiX(), 120);
  EXPECT_EQ(v.DpiY(), 150);
  EXPECT_THROW(v.IncPaintLock(), Exception);

  v.HandleNeeded();
  const int32_t created = v.WindowCreateCount();
  EXPECT_TRUE(v.Params().ExStyle & WS_EX_CLIENTEDGE);
  EXPECT_FALSE(v.Params().WindowClassStyle & CS_HREDRAW);
  v.SetBorderStyle(TBorderStyle::bsSingle);
  EXPECT_EQ(v.WindowCreateCount(), created);
  v.SetBorderStyle(TBorderStyle::bsNone);
  EXPECT_EQ(v.WindowCreateCount(), created + 1);

  const TQxScrollBarParams sb;
  EXPECT_EQ(sb.LineAmount, -1);
  EXPECT_TRUE(sb.LiveTracking);
  const TQxMouseWheelParams wp;
  EXPECT_EQ(wp.WheelAction, 2);
  EXPECT_EQ(wp.StepKind, 1);
  EXPECT_EQ(wp.StepSize, 8);
}
