#include "controls/kv_dock.h"

#include <algorithm>

#include "controls/kv_fonts.h"
#include "controls/kv_painters.h"
#include "controls/kv_panels.h"
#include "platform/ui/forms.h"

TKvPanelDockManager::TKvPanelDockManager(TKvCustomPanel* Site) : FSite(Site) {
  FCaptionFont.SetName("Verdana");
  FCaptionFont.SetSize(8);
  FCloseFont.SetName("Marlett");
  FCloseFont.SetSize(8);
  if (FSite->ComponentState().Contains(csDesigning)) return;
  // Clicks and commands on the site repaint it, so the grabbers show the focus as it moves.
  FOldWndProc = FSite->WindowProc;
  FSite->WindowProc = [this](TMessage& M) {
    if (M.Msg == WM_COMMAND || M.Msg == WM_MOUSEACTIVATE) FSite->Invalidate();
    if (FOldWndProc)
      FOldWndProc(M);
    else
      FSite->WndProc(M);
  };
  FHooked = true;
}

TKvPanelDockManager::~TKvPanelDockManager() {
  if (FHooked) FSite->WindowProc = FOldWndProc;
}

void TKvPanelDockManager::InsertControl(TControl* Control) {
  if (!Control || Control == FSite) return;
  if (std::find(FDocked.begin(), FDocked.end(), Control) == FDocked.end()) FDocked.push_back(Control);
  Control->SetAlign(TAlign::alNone);
  Control->SetParent(FSite);
  ResetBounds();
}

void TKvPanelDockManager::RemoveControl(TControl* Control) {
  FDocked.erase(std::remove(FDocked.begin(), FDocked.end(), Control), FDocked.end());
  ResetBounds();
  FSite->Invalidate();
}

bool TKvPanelDockManager::VerticalGrabbers() const {
  return FSite->Align() == TAlign::alTop || FSite->Align() == TAlign::alBottom;
}

TRect TKvPanelDockManager::DockRectOf(TControl* Control) const {
  // Controls freed since they docked are no longer the site's children: they hold no place.
  std::vector<TControl*> live;
  for (TControl* c : FDocked)
    if (FSite->ContainsControl(c)) live.push_back(c);
  auto it = std::find(live.begin(), live.end(), Control);
  if (it == live.end()) return TRect();
  const int32_t n = static_cast<int32_t>(live.size()), i = static_cast<int32_t>(it - live.begin());
  TRect a = FSite->FrameInterior(FSite->ClientRect(), true);
  // Side by side across a top or bottom panel, stacked in any other.
  if (VerticalGrabbers()) {
    const int32_t w = a.Right - a.Left;
    return TRect(a.Left + w * i / n, a.Top, a.Left + w * (i + 1) / n, a.Bottom);
  }
  const int32_t h = a.Bottom - a.Top;
  return TRect(a.Left, a.Top + h * i / n, a.Right, a.Top + h * (i + 1) / n);
}

void TKvPanelDockManager::ResetBounds() {
  for (TControl* c : FDocked) {
    if (!FSite->ContainsControl(c)) continue;
    TRect r = DockRectOf(c);
    AdjustDockRect(c, r);
    c->SetBoundsRect(r);
  }
}

void TKvPanelDockManager::AdjustDockRect(TControl*, TRect& ARect) const {
  if (VerticalGrabbers())
    ARect.Left += kGrabberSize;
  else
    ARect.Top += kGrabberSize;
}

TRect TKvPanelDockManager::GrabberRect(TControl* Control) const {
  TRect r = DockRectOf(Control);
  if (IsRectEmpty(r)) return r;
  if (VerticalGrabbers()) return TRect(r.Left, r.Top, r.Left + kGrabberSize, r.Bottom);
  return TRect(r.Left, r.Top, r.Right, r.Top + kGrabberSize);
}

TRect TKvPanelDockManager::CloseMarkRect(TControl* Control) const {
  TRect g = GrabberRect(Control);
  if (IsRectEmpty(g)) return g;
  if (VerticalGrabbers()) return TRect(g.Left + 1, g.Top + 1, g.Left + 12, g.Top + 12);
  return TRect(g.Right - 15, g.Top + 1, g.Right - 2, g.Top + 12);
}

void TKvPanelDockManager::PaintSite(TCanvas* Canvas) {
  for (TControl* c : std::vector<TControl*>(FDocked))
    if (FSite->ContainsControl(c) && c->Visible()) PaintGrabber(Canvas, c);
}

void TKvPanelDockManager::PaintGrabber(TCanvas* C, TControl* Control) {
  const TRect g = GrabberRect(Control);
  if (IsRectEmpty(g)) return;
  if (!FSite->ShowDockClientCaptions()) {
    // The plain grabber: two raised ridges along the strip.
    for (int32_t k = 0; k < 2; ++k) {
      TRect ridge = VerticalGrabbers() ? TRect(g.Left + 3 + 4 * k, g.Top + 2, g.Left + 6 + 4 * k, g.Bottom - 2)
                                       : TRect(g.Left + 2, g.Top + 3 + 4 * k, g.Right - 2, g.Top + 6 + 4 * k);
      KvPaintButtonFrame(C, ridge, false);
    }
    return;
  }
  auto* w = dynamic_cast<TWinControl*>(Control);
  TWinControl* focus = Screen ? Screen->ActiveControl() : nullptr;
  const bool active = !w || w->Focused() || (focus && w->ContainsControl(focus));
  C->Brush()->SetColor(active ? clActiveCaption : clInactiveCaption);
  C->FillRect(g);
  C->Font()->Assign(FCaptionFont);
  C->Font()->SetColor(active ? clCaptionText : clInactiveCaptionText);
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  if (VerticalGrabbers()) {
    std::unique_ptr<TFont> turned = KvCreateRotatedFont(FCaptionFont, 90);
    turned->SetColor(C->Font()->Color());
    C->Font()->Assign(*turned);
    uint32_t old = SetTextAlign(C, TA_BASELINE);
    C->TextOut(g.Right - 2, g.Bottom - 3, Control->Caption());
    SetTextAlign(C, old);
  } else {
    C->TextOut(g.Left + 2, g.Top, Control->Caption());
  }
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  // The close mark: the cross of the caption buttons, in the caption's text colour.
  KvPaintCloseGlyph(C, CloseMarkRect(Control), 0, false, true);
}
