#pragma once
// The link a panel, label, glyph button or status pane keeps to its frame controller: registration,
// the settings it accepts and the freeing notice.

#include <string>

#include "controls/kv_utils.h"
#include "platform/ui/controls.h"

class TKvFrameControllerLink {
 public:
  explicit TKvFrameControllerLink(TControl* Owner) : FOwner(Owner) {}
  ~TKvFrameControllerLink();
  TKvFrameControllerLink(const TKvFrameControllerLink&) = delete;
  TKvFrameControllerLink& operator=(const TKvFrameControllerLink&) = delete;

  TKvFrameController* Controller() const { return FController; }
  // Leaves the old controller and joins the new one, which pushes its settings at once.
  void SetController(TKvFrameController* Value);
  TKvFrameControllerNotifications Notifications() const { return FNotifications; }
  void SetNotifications(TKvFrameControllerNotifications Value) { FNotifications = Value; }
  // The owner's Notification: a freed controller is forgotten.
  void Removed(TComponent* AComponent);
  // Accepts the setting: a controller is linked, shows frames and the setting is in the notifications.
  bool Takes(TKvFrameControllerProperty P) const;

 private:
  TControl* FOwner;
  TKvFrameController* FController = nullptr;
  TKvFrameControllerNotifications FNotifications = KvAllFrameNotifications;
};

// The fields of a control framed by layered borders (panels, labels) that a controller sets.
struct TKvLayeredBorderFields {
  TFrameStyleEx& Outer;
  TSides& Sides;
  TColor& FlatColor;
  int32_t& FlatColorAdjustment;
  TColor& Highlight;
  TColor& Shadow;
};

// Frame style into the outer border, sides, frame colour into the flat colour (unadjusted), colour and
// parent colour, and with the colour a highlight and a shadow derived from it; nothing while the
// controller shows no frames.
void KvApplyLayeredBorderSettings(TControl* Control, const TKvFrameControllerLink& Link, TKvLayeredBorderFields F);

// Publishes FrameControllerNotifications of class T (reached through its FrameLink()), so that the
// controller reads which settings a control accepts.
template <class T>
void KvRegisterFrameLinkProperty() {
  KvRegisterOrdProperty<T>(
      "FrameControllerNotifications", TTypeKind::tkSet,
      [](T* c, int64_t v) { c->FrameLink().SetNotifications(TKvFrameControllerNotifications::FromBits(uint64_t(v))); },
      [](const T* c) { return int64_t(c->FrameLink().Notifications().bits()); });
}
