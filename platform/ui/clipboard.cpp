// The clipboard: text through the back end, private formats inside the process.
#include "platform/ui/clipboard.h"

#include <map>
#include <mutex>

#include "platform/base/exceptions.h"
#include "platform/ui/backend.h"

namespace {
struct TClipState {
  std::map<std::string, uint32_t> Names;
  uint32_t NextFormat = 0xC000;
  std::map<uint32_t, std::vector<uint8_t>> Data;
  bool Open = false;
  // The process put the text itself, so the bytes of CF_TEXT are its own.
  std::string OwnText;
  bool OwnsText = false;
};
TClipState& State() {
  static auto* s = new TClipState();
  return *s;
}

// CF_TEXT bytes (CR LF lines, NUL-terminated) to the UTF-8 text other programs see.
std::string BytesToText(const std::vector<uint8_t>& B) {
  std::string s;
  for (uint8_t c : B) {
    if (c == 0) break;
    if (c == '\r') continue;
    s += static_cast<char>(c);
  }
  return s;
}

std::vector<uint8_t> TextToBytes(const std::string& T) {
  std::vector<uint8_t> b;
  for (size_t i = 0; i < T.size(); ++i) {
    if (T[i] == '\n' && (i == 0 || T[i - 1] != '\r')) b.push_back('\r');
    b.push_back(static_cast<uint8_t>(T[i]));
  }
  b.push_back(0);
  return b;
}

TUiBackend* Be() { return Application ? Application->Backend() : nullptr; }
}  // namespace

uint32_t RegisterClipboardFormat(const std::string& Name) {
  auto& s = State();
  auto it = s.Names.find(Name);
  if (it != s.Names.end()) return it->second;
  uint32_t f = s.NextFormat++;
  s.Names[Name] = f;
  return f;
}

bool OpenClipboard(uintptr_t) {
  auto& s = State();
  if (s.Open) return false;
  s.Open = true;
  return true;
}

bool CloseClipboard() {
  auto& s = State();
  if (!s.Open) return false;
  s.Open = false;
  return true;
}

bool EmptyClipboard() {
  auto& s = State();
  if (!s.Open) return false;
  s.Data.clear();
  s.OwnsText = false;
  return true;
}

bool IsClipboardFormatAvailable(uint32_t Format) {
  auto& s = State();
  if (Format == CF_TEXT || Format == CF_UNICODETEXT) {
    if (s.Data.count(CF_TEXT)) return true;
    return Be() && Be()->HasClipboardText();
  }
  return s.Data.count(Format) != 0;
}

bool SetClipboardData(uint32_t Format, const std::vector<uint8_t>& Data) {
  auto& s = State();
  if (!s.Open) return false;
  s.Data[Format] = Data;
  if (Format == CF_TEXT && Be()) {
    s.OwnText = BytesToText(Data);
    s.OwnsText = true;
    Be()->SetClipboardText(s.OwnText);
  }
  return true;
}

bool GetClipboardData(uint32_t Format, std::vector<uint8_t>& Data) {
  auto& s = State();
  if (Format == CF_TEXT) {
    std::string t;
    // Text another program put there since takes the place of ours.
    if (Be() && Be()->GetClipboardText(t) && !(s.OwnsText && t == s.OwnText)) {
      s.Data.clear();
      s.OwnsText = false;
      Data = TextToBytes(t);
      return true;
    }
  }
  auto it = s.Data.find(Format);
  if (it == s.Data.end()) return false;
  Data = it->second;
  return true;
}

void TClipboard::Open() {
  if (FOpenCount++ == 0 && !OpenClipboard()) {
    FOpenCount = 0;
    throw Exception("Cannot open clipboard");
  }
}

void TClipboard::Close() {
  if (FOpenCount == 0) return;
  if (--FOpenCount == 0) CloseClipboard();
}

void TClipboard::Clear() {
  Open();
  EmptyClipboard();
  Close();
}

bool TClipboard::HasFormat(uint32_t Format) const { return IsClipboardFormatAvailable(Format); }

std::string TClipboard::AsText() const {
  std::vector<uint8_t> b;
  if (!GetClipboardData(CF_TEXT, b)) return {};
  return BytesToText(b);
}

void TClipboard::SetAsText(const std::string& Text) {
  Open();
  EmptyClipboard();
  SetClipboardData(CF_TEXT, TextToBytes(Text));
  Close();
}

void TClipboard::SetBuffer(uint32_t Format, const std::vector<uint8_t>& Data) {
  Open();
  SetClipboardData(Format, Data);
  Close();
}

bool TClipboard::GetBuffer(uint32_t Format, std::vector<uint8_t>& Data) const { return GetClipboardData(Format, Data); }

TClipboard* Clipboard() {
  static auto* c = new TClipboard();
  return c;
}
