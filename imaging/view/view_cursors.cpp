#include "imaging/view/view_cursors.h"

#include <cstring>

namespace {
// Two pairs of ids share their artwork (1795/1796 and 1805/1806).
const char* const kCursorNames[QxLastViewCursor - QxFirstViewCursor + 1] = {
    "ZOOMMENO", "ZOOMPIU", "CROCE",   "GOMMA",   "MANO",    "PENNA",   "CROCE1",  "CROCE3",
    "MOVE2",    "MOVEY",   "MOVE1",   "MOVEX",   "MOVE",    "CROCE3+", "CROCE3-", "CROCE2",
    "CROCE2+",  "CROCE2-", "CROCE2-", "1795",    "1796",    "1797",    "1798",    "1799",
    "1800",     "1801",    "1802",    "1803",    "1803",    "1805",    "1806",    "1807",
    "1808",     "ROT1",    "ROT2",    "ROT3",    "ROT4",
};
}  // namespace

const char* QxViewCursorResourceName(int32_t Id) {
  if (Id < QxFirstViewCursor || Id > QxLastViewCursor) return nullptr;
  return kCursorNames[Id - QxFirstViewCursor];
}

const TQxCursorArt* QxFindViewCursorArt(const char* Name) {
  if (!Name) return nullptr;
  for (const TQxCursorArt& a : QxViewCursorArt)
    if (std::strcmp(a.Name, Name) == 0) return &a;
  return nullptr;
}
