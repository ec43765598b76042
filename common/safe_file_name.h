// Turning a file name chosen by the server into a local file name.
#pragma once

#include <cstddef>

// Name used when nothing usable is left of the received one.
constexpr char kDefaultLocalFileName[] = "index.html";

// Longest name written, in bytes: a Shift-JIS byte count never falls below
// the UTF-16 count that NTFS limits to 255.
constexpr size_t kLocalFileNameMax = 255;

// Writes into out (capacity bytes including the terminator) a base name that
// is safe to join to the download folder, from a received name such as a
// Content-Disposition file name (quoted or not) or a URL's last segment.
// Shift-JIS aware: a double-byte character is never split, and its trail
// byte (which may be 0x5C) is never taken for a backslash.
//   - a value in quotation marks is reduced to the text between them;
//   - everything up to the last "/", "\" or ":" is dropped;
//   - control characters, < > " | ? * and bytes that cannot start a
//     character (a lead byte without a valid trail byte) become "_";
//   - the name is cut to fit, then trailing dots and spaces are removed
//     (Windows drops them, so "." and ".." vanish);
//   - an empty result becomes "index.html";
//   - device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$),
//     also with an extension, get a "_" in front.
// Returns 0 when out equals received, 1 when the name had to change, 2 when
// out is null or capacity is 0 (nothing written). A null received counts as
// an empty name.
int SafeLocalFileName(const char* received, char* out, size_t capacity);

// The same rules with another name for the case that nothing usable is left
// (fallback must itself be a safe name).
int SafeLocalFileNameOr(const char* received, const char* fallback, char* out, size_t capacity);
