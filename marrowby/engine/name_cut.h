// Fitting a file name into a fixed field without losing what it is.
#pragma once

#include <cstddef>

// Copies the first length bytes of name (stopping at a NUL) into out, which
// holds capacity bytes including the terminator. A name that does not fit
// loses the end of its stem, never its extension ("a-long-name.zip" becomes
// "a-long.zip"): the extension is the text from the last dot on, kept when
// it takes at most half the field. Shift-JIS aware: a double-byte character
// is never split, and a dot that is a trail byte is no extension dot.
// Returns the length written.
size_t CopyNameKeepingExtension(char* out, size_t capacity, const char* name, size_t length);
