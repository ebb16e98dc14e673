#pragma once
// 8-bit Windows code pages 1250..1254 and UTF-16, converted to and from the program's UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

constexpr uint32_t CP_DEFAULT = 1252;

// True for the code pages this layer knows (1250, 1251, 1252, 1253, 1254).
bool IsSupportedCodePage(uint32_t CodePage);

// Bytes in CodePage to UTF-8; an unknown code page is treated as 1252. Unassigned bytes become the
// control character of the same value.
std::string CodePageToUtf8(std::string_view Text, uint32_t CodePage = CP_DEFAULT);
// UTF-8 to bytes in CodePage; characters the code page lacks (and broken UTF-8) become Replacement.
std::string Utf8ToCodePage(std::string_view Text, uint32_t CodePage = CP_DEFAULT, char Replacement = '?');

// UTF-8 <-> UTF-16. Broken sequences become U+FFFD; unpaired surrogates too.
std::u16string Utf8ToUtf16(std::string_view Text);
std::string Utf16ToUtf8(std::u16string_view Text);
// Decodes UTF-16 stored as bytes (little- or big-endian); an odd last byte is dropped.
std::string Utf16BytesToUtf8(const void* Data, size_t ByteCount, bool BigEndian = false);

// True when Text is well-formed UTF-8.
bool IsValidUtf8(std::string_view Text);
