#pragma once
// The clipboard: text shared with other programs (through the back end) and private formats
// kept inside the process.

#include <cstdint>
#include <string>
#include <vector>

inline constexpr uint32_t CF_TEXT = 1;
inline constexpr uint32_t CF_BITMAP = 2;
inline constexpr uint32_t CF_DIB = 8;
inline constexpr uint32_t CF_UNICODETEXT = 13;

// A number for a named private format; the same name gives the same number (0xC000 and up).
uint32_t RegisterClipboardFormat(const std::string& Name);
// Opening is per process: a second open before CloseClipboard fails, as the platform's does.
bool OpenClipboard(uintptr_t Owner = 0);
bool CloseClipboard();
bool EmptyClipboard();
bool IsClipboardFormatAvailable(uint32_t Format);
// Puts a block of bytes under a format (the clipboard must be open). CF_TEXT is 8-bit text
// with CR LF line ends and a NUL; it also reaches other programs as UTF-8 text.
bool SetClipboardData(uint32_t Format, const std::vector<uint8_t>& Data);
// The bytes under a format; false when absent.
bool GetClipboardData(uint32_t Format, std::vector<uint8_t>& Data);

class TClipboard {
 public:
  void Open();
  void Close();
  void Clear();
  bool HasFormat(uint32_t Format) const;
  std::string AsText() const;
  void SetAsText(const std::string& Text);
  void SetBuffer(uint32_t Format, const std::vector<uint8_t>& Data);
  bool GetBuffer(uint32_t Format, std::vector<uint8_t>& Data) const;

 private:
  int32_t FOpenCount = 0;
};

// The process's clipboard object.
TClipboard* Clipboard();
