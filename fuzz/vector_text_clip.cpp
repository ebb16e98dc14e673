// Reads arbitrary bytes as a pasted "QUILLOT TEXTMEMO" block and lays out what it gave.
#include "imaging/vector/text_control.h"
#include "platform/graphics/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> block(data, data + size);
  std::string text;
  std::vector<TQxCharFormat> formats;
  if (!QxParseTextMemoClip(block, text, formats)) return 0;
  TQxTextControl c(nullptr);
  c.BeginEdit();
  for (size_t i = 0; i < text.size() && i < 512; ++i) {
    c.TypingFormat = formats[i];
    c.InsertChar(text[i]);
  }
  TBitmap b(64, 64, TPixelFormat::pf24bit);
  c.LayoutAndDraw(b.Canvas(), 0, 0, 64, 64);
  c.Zoom = 1.5;
  c.LayoutAndDraw(b.Canvas(), 0, 0, 40, 40);
  c.PurgeUnusedFormats();
  return 0;
}
