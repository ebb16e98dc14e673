#include "controls/kv_fonts.h"

std::unique_ptr<TFont> KvCreateRotatedFont(const TFont& Font, int32_t AngleDegrees,
                                           std::optional<uint8_t> Charset) {
  auto F = std::make_unique<TFont>();
  F->Assign(Font);
  F->SetOrientation(AngleDegrees * 10);
  F->SetQuality(TFontQuality::fqDefault);
  if (Charset) F->SetCharset(*Charset);
  return F;
}
