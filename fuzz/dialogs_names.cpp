// The dialogs' readers of text from outside: POSIX locale names (environment) and type lists with file
// names (language files and forms may set a dialog's Filter).
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/dialogs/message_table.h"
#include "imaging/dialogs/open_dialog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string s(reinterpret_cast<const char*>(Data), Size);
  QxSystemMessageLanguage(QxLocaleFromPosixName(s));
  size_t cut = s.find('\n');
  std::string filter = s.substr(0, cut), name = cut == std::string::npos ? std::string() : s.substr(cut + 1);
  int32_t index = QxFilterIndexOfName(filter, name);
  QxFilterPattern(filter, index);
  QxFilterPattern(filter, static_cast<int32_t>(Size % 64) - 2);
  return 0;
}
