// Text between the program's code page (Shift-JIS) and UTF-8, through the
// system's conversions.
#pragma once

#include <stddef.h>

// UTF-8 into the ANSI code page. False when a character has no exact
// counterpart (no best-fit substitutes, no default character) or the result
// does not fit capacity bytes with the terminator. Matches Utf8ToCodePageFn.
bool Utf8ToProgramCodePage(const char* utf8, size_t length, char* out, size_t capacity);

// Text in the ANSI code page into UTF-8; false when it does not fit.
bool ProgramCodePageToUtf8(const char* text, char* out, size_t capacity);
