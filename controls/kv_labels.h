#pragma once
// Labels and the URL label.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

// Opens an address with the desktop's default handler (xdg-open, started with an argument vector).
// Returns false when nothing could be started.
bool KvOpenURL(const std::string& Address);
// Tests replace the launcher; a set hook is called instead of starting a process.
extern std::function<bool(const std::string& Address)> KvOpenURLHook;

class TKvLabel : public TGraphicControl {
 public:
  explicit TKvLabel(TComponent* AOwner);
  std::string ClassName() const override { return "TKvLabel"; }
  uint32_t Alignment() const { return FAlignment; }  // DT_LEFT, DT_CENTER or DT_RIGHT
  void SetAlignment(uint32_t v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  void SetText(const std::string& Value) override;

 protected:
  void Paint() override;
  void AdjustSize();
  uint32_t FAlignment = 0;
  bool FTransparent = true;
};

// A link: a click opens URL.
class TKvURLLabel : public TKvLabel {
 public:
  explicit TKvURLLabel(TComponent* AOwner);
  std::string ClassName() const override { return "TKvURLLabel"; }
  const std::string& URL() const { return FURL; }
  void SetURL(const std::string& v) { FURL = v; }
  TColor HighlightColor() const { return FHighlightColor; }
  void SetHighlightColor(TColor v) { FHighlightColor = v; }
  void Click() override;

 protected:
  void Paint() override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  std::string FURL;
  TColor FHighlightColor = clHighlight;
  bool FHot = false;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvLabelsProperties();
