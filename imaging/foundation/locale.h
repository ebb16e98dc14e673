#pragma once
// The locale the program started in, as the library's texts and fonts follow it.
#include <cstdint>
#include <string>

// The locale: the low 10 bits are the primary language, the rest the sub-language. Recorded from the
// POSIX locale (LC_ALL, LC_MESSAGES, LANG) at first use; tests set it.
uint32_t QxThreadLocale();
void QxSetThreadLocale(uint32_t Locale);
// The locale identifier of a POSIX locale name such as "de_DE.UTF-8" or "zh_TW" (0 when unknown).
uint32_t QxLocaleFromPosixName(const std::string& Name);
// The character set texts typed and measured in the system's language need: 161 for Greek, 204 for
// Russian, 0 (default) otherwise.
uint8_t QxCharsetOfSystemLanguage();
