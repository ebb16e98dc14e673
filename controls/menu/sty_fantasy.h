#pragma once
// A menu styler that fills its parts with one of ten ready-made looks.

#include <cstdint>

#include "controls/menu/sty_styler.h"

namespace StyMenus {

enum class TFantasyStyle : uint8_t {
  fsArctic,
  fsAquaBlue,
  fsChocolate,
  fsMacOS,
  fsSilverFox,
  fsSoftSand,
  fsTerminalGreen,
  fsTextured,
  fsWindowsClassic,
  fsWhidbey,
  fsCustom
};

class TStyMenuFantasyStyler : public TCustomStyMenuStyler {
 public:
  explicit TStyMenuFantasyStyler(TComponent* AOwner);
  std::string ClassName() const override { return "TStyMenuFantasyStyler"; }
  TFantasyStyle Style() const { return FStyle; }
  // Every write resets the mirror colours, then applies the look (fsCustom has none).
  void SetStyle(TFantasyStyle Value);

 private:
  TFantasyStyle FStyle = TFantasyStyle::fsArctic;
};

}  // namespace StyMenus
