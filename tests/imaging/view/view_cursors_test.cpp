// The view's cursors come from the pictures embedded by the build: one for every id, black and white on
// clear, with its hot spot.
#include <gtest/gtest.h>

#include <set>

#include "imaging/view/view_cursors.h"

TEST(ViewCursors, EveryIdHasItsPicture) {
  std::set<uint32_t> Seen;
  for (int32_t Id = QxFirstViewCursor; Id <= QxLastViewCursor; ++Id) {
    const HCURSOR C = QxLoadViewCursor(QxViewCursorResourceName(Id));
    ASSERT_TRUE(C) << Id;
    ASSERT_EQ(C->Width, QxViewCursorSize);
    ASSERT_EQ(C->Height, QxViewCursorSize);
    ASSERT_EQ(C->Pixels.size(), size_t(QxViewCursorSize * QxViewCursorSize));
    EXPECT_TRUE(C->HotX >= 0 && C->HotX < QxViewCursorSize && C->HotY >= 0 && C->HotY < QxViewCursorSize) << Id;
    bool Black = false;
    for (uint32_t P : C->Pixels) {
      ASSERT_TRUE(P == 0u || P == 0xFF000000u || P == 0xFFFFFFFFu) << Id << ": " << std::hex << P;
      Black = Black || P == 0xFF000000u;
    }
    EXPECT_TRUE(Black) << Id;
  }
  // The magnifier: its hot spot at the glass's centre, its rim black inside a white edge.
  const HCURSOR Zoom = QxLoadViewCursor("ZOOMMENO");
  ASSERT_TRUE(Zoom);
  EXPECT_EQ(Zoom->HotX, 12);
  EXPECT_EQ(Zoom->HotY, 12);
  EXPECT_EQ(Zoom->Pixels[4 * 32 + 9], 0xFF000000u);
  EXPECT_EQ(Zoom->Pixels[4 * 32 + 7], 0xFFFFFFFFu);
  EXPECT_EQ(Zoom->Pixels[4 * 32 + 0], 0u);
  EXPECT_FALSE(QxLoadViewCursor("NOSUCH"));
  EXPECT_FALSE(QxLoadViewCursor(nullptr));
  EXPECT_EQ(QxViewCursorResourceName(QxFirstViewCursor - 1), nullptr);
}
