// Text helpers shared by both programs: comparing without letter case and
// cutting a line at its end. No platform calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

// 0 when a and b are equal with A-Z folded to lower case, else 1. Only ASCII
// letters fold, byte by byte. A null text counts as empty.
int32_t SameTextIgnoringCase(const char* a, const char* b);

// The same for the first length bytes of text (fewer when a NUL ends it
// sooner) against the whole of other: a counted word inside a larger text.
int32_t SameTextIgnoringCase(const char* text, size_t length, const char* other);

// Terminates text at its first carriage return or line feed; none is ever
// the second byte of a Shift-JIS character.
void CutAtLineEnd(char* text);

// Removes the spaces and tabs at both ends of text, in place. Neither is
// ever the second byte of a Shift-JIS character.
void TrimBlanks(char* text);
