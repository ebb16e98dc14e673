#pragma once
// The library's message table: one row of dialog texts per language, filled once at library start-up.
#include <cstdint>
#include <string>

#include "imaging/foundation/locale.h"
#include "imaging/foundation/types.h"

inline constexpr int32_t QxMessageRows = 23;
inline constexpr int32_t QxMessageCount = 146;

// Stores a copy of Text (UTF-8) at (Row, Index); out-of-range places are ignored.
void QxStoreMessage(uint8_t Row, uint8_t Index, const std::string& Text);
// The text of message Index in Language. An empty entry of a named language falls back to English;
// msSystem takes the row of the locale recorded at start and, where that row is empty, English too.
std::string QxMessageText(uint8_t Index, TMsgLanguage Language);
// Fills rows 1 to 21 once per process (later calls leave the table as it is).
void QxFillMessageTables();
// Empties every entry (library end).
void QxClearMessageTables();
// The stored entry itself, without any fallback (empty when none).
std::string QxStoredMessage(uint8_t Row, uint8_t Index);

// The row msSystem stands for under Locale.
TMsgLanguage QxSystemMessageLanguage(uint32_t Locale);
