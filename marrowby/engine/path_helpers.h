// Path helpers shared by the engine and the application (the line helper
// CutAtLineEnd is with the platform-free text helpers).
// All of them treat text as Shift-JIS: a lead byte and its trail byte are
// one character, so the trail byte 0x5C of a double-byte character is never
// taken for a backslash.
#pragma once

#include <stddef.h>

#include "common/sjis.h"

// Removes trailing backslashes, slashes and lead bytes cut from their trail
// bytes, then appends one backslash.
// Returns 0, or 1 when the separator did not fit (path left without it).
int AppendFolderSeparator(char* path, size_t capacity);

// Creates every missing folder of path. Always returns 0: the caller learns
// the outcome from its next attempt to create a file there.
int CreateFolderPath(const char* path);
