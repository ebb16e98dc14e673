// Measuring, rows, placing, mapping and scrolling of tab strips.
#include "tests/controls/kv_tab_fixture.h"

namespace {

TEST_F(KvTabTest, Explore) {
  auto* T = AddTabs({"A", "BB", "CCC"});
  T->UpdateLayout();
  TCanvas* c = T->OffscreenBitmap()->Canvas();
  c->Font()->Assign(*T->Font());
  printf("font h %d extent A %d x %d FD %d BS %d\n", T->Font()->Height(), c->TextExtent("A").cx, c->TextExtent("A").cy,
         T->FixedDimension(), T->ButtonSize());
  for (int i = 0; i < 3; ++i) {
    TRect r = T->Tabs()->Items(i)->RawRect, q = T->TabClientRect(i);
    printf("%d raw %d %d %d %d client %d %d %d %d\n", i, r.Left, r.Top, r.Right, r.Bottom, q.Left, q.Top, q.Right, q.Bottom);
  }
  TRect a = T->TabAreaRect(), k = T->CardRect(0), d = T->DisplayRect();
  printf("area %d %d %d %d card %d %d %d %d disp %d %d %d %d\n", a.Left, a.Top, a.Right, a.Bottom, k.Left, k.Top, k.Right,
         k.Bottom, d.Left, d.Top, d.Right, d.Bottom);
}

}  // namespace
