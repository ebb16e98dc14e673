#include "platform/base/exceptions.h"

#include <cstring>

std::string SysErrorMessage(int32_t ErrorCode) {
  char Buf[256];
  // GNU strerror_r may return a static string instead of filling Buf.
  const char* Text = strerror_r(ErrorCode, Buf, sizeof Buf);
  return Text ? std::string(Text) : std::string();
}
