#pragma once
// The texts of the message table: 21 rows (English first, Hungarian last), each 146 texts joined by '|'.
const char* const* QxMessageRowData();
