#include "imaging/view/view_cursors.h"

#include <cstring>
#include <memory>
#include <vector>

#include "platform/graphics/bitmap.h"

namespace {
// Two pairs of ids share their artwork (1795/1796 and 1805/1806).
const char* const kCursorNames[QxLastViewCursor - QxFirstViewCursor + 1] = {
    "ZOOMMENO", "ZOOMPIU", "CROCE",   "GOMMA",   "MANO",    "PENNA",   "CROCE1",  "CROCE3",
    "MOVE2",    "MOVEY",   "MOVE1",   "MOVEX",   "MOVE",    "CROCE3+", "CROCE3-", "CROCE2",
    "CROCE2+",  "CROCE2-", "CROCE2-", "1795",    "1796",    "1797",    "1798",    "1799",
    "1800",     "1801",    "1802",    "1803",    "1803",    "1805",    "1806",    "1807",
    "1808",     "ROT1",    "ROT2",    "ROT3",    "ROT4",
};

// The hot spot of each picture.
struct THotSpot {
  const char* Name;
  int32_t X, Y;
};
const THotSpot kHotSpots[] = {
    {"ZOOMMENO", 12, 12},
    {"ZOOMPIU", 12, 12},
    {"CROCE", 15, 15},
    {"GOMMA", 7, 20},
    {"MANO", 15, 8},
    {"PENNA", 2, 30},
    {"CROCE1", 15, 15},
    {"CROCE3", 15, 15},
    {"MOVE2", 15, 15},
    {"MOVEY", 15, 15},
    {"MOVE1", 15, 15},
    {"MOVEX", 15, 15},
    {"MOVE", 15, 15},
    {"CROCE3+", 15, 15},
    {"CROCE3-", 15, 15},
    {"CROCE2", 15, 15},
    {"CROCE2+", 15, 15},
    {"CROCE2-", 15, 15},
    {"1795", 1, 1},
    {"1796", 1, 1},
    {"1797", 1, 1},
    {"1798", 1, 1},
    {"1799", 1, 1},
    {"1800", 1, 1},
    {"1801", 1, 1},
    {"1802", 1, 1},
    {"1803", 1, 1},
    {"1805", 1, 1},
    {"1806", 1, 1},
    {"1807", 1, 1},
    {"1808", 1, 1},
    {"ROT1", 15, 15},
    {"ROT2", 15, 15},
    {"ROT3", 15, 15},
    {"ROT4", 15, 15},
};

}  // namespace

const char* QxViewCursorResourceName(int32_t Id) {
  if (Id < QxFirstViewCursor || Id > QxLastViewCursor) return nullptr;
  return kCursorNames[Id - QxFirstViewCursor];
}

HCURSOR QxLoadViewCursor(const char* Name) {
  if (!Name) return nullptr;
  const TQxCursorPng* Png = QxViewCursorPngs;
  while (Png->Name && std::strcmp(Png->Name, Name) != 0) ++Png;
  if (!Png->Name) return nullptr;
  auto Img = std::make_shared<TCursorImage>();
  if (!DecodePngPixels(Png->Data, Png->Size, Img->Width, Img->Height, Img->Pixels)) return nullptr;
  for (const THotSpot& H : kHotSpots)
    if (std::strcmp(H.Name, Name) == 0) Img->HotX = H.X, Img->HotY = H.Y;
  return Img;
}
