#pragma once
// A small font chooser for the text editor: face, size, styles and colour, with a sample.
#include "platform/graphics/canvas.h"
#include "platform/ui/component.h"

class TQxFontDialog : public TComponent {
 public:
  explicit TQxFontDialog(TComponent* AOwner) : TComponent(AOwner) {}
  std::string ClassName() const override { return "TQxFontDialog"; }
  // Preset before Execute; holds the choice after OK.
  TFont& Font() { return FFont; }
  // Runs the dialog modally; true when the user chose OK.
  bool Execute();
  // Called once the dialog form exists and before it runs (tests and screenshots).
  TNotifyEvent OnShow;

 private:
  TFont FFont;
};
