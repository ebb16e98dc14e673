#pragma once
// The dock manager of a panel that is a dock site: it keeps the controls docked into the panel,
// lays them out side by side with a grabber strip beside each, and paints captioned grabbers.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics/canvas.h"
#include "platform/ui/controls.h"

class TKvCustomPanel;

class TKvPanelDockManager : public TObject {
 public:
  static constexpr int32_t kGrabberSize = 14;

  explicit TKvPanelDockManager(TKvCustomPanel* Site);
  ~TKvPanelDockManager() override;

  TKvCustomPanel* DockSite() const { return FSite; }
  // Docks Control into the panel (it becomes the panel's child) and lays the docked controls out.
  void InsertControl(TControl* Control);
  // Takes Control out of the layout (it stays where it is).
  void RemoveControl(TControl* Control);
  int32_t DockedCount() const { return static_cast<int32_t>(FDocked.size()); }
  TControl* Docked(int32_t Index) const { return FDocked.at(static_cast<size_t>(Index)); }
  // Places the docked controls in the panel's client area, each behind its grabber.
  void ResetBounds();
  // The dock rectangle without the grabber: the left edge moves right for a panel aligned to the
  // top or the bottom (the grabber is a vertical strip), else the top edge moves down.
  void AdjustDockRect(TControl* Control, TRect& ARect) const;
  // The grabber strip and its close mark of a docked control (panel client coordinates).
  TRect GrabberRect(TControl* Control) const;
  TRect CloseMarkRect(TControl* Control) const;
  // Paints the grabbers of every docked control.
  void PaintSite(TCanvas* Canvas);

  const TFont& CaptionFont() const { return FCaptionFont; }

 private:
  bool VerticalGrabbers() const;
  TRect DockRectOf(TControl* Control) const;
  void PaintGrabber(TCanvas* Canvas, TControl* Control);

  TKvCustomPanel* FSite;
  std::vector<TControl*> FDocked;
  TFont FCaptionFont;
  TFont FCloseFont;
  std::function<void(TMessage&)> FOldWndProc;
  bool FHooked = false;
};
