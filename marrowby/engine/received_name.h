// The names a server suggests for a saved file -- the last segment of the
// URL, or Content-Disposition -- decoded as a browser decodes them, and the
// numbered variants that keep two downloads out of one file.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Longest name kept from a response; the saved name is shorter still.
constexpr size_t kReceivedNameMax = 512;

enum NameCharset : int32_t {
    kNameCodePage = 0,  // ASCII, or bytes in the program's code page
    kNameUtf8 = 1,      // UTF-8 with at least one character beyond ASCII
};

// Converts UTF-8 text of length bytes into the program's code page (out:
// capacity bytes with the terminator). False when a character has no exact
// counterpart there or the result does not fit.
typedef bool (*Utf8ToCodePageFn)(const char* utf8, size_t length, char* out, size_t capacity);

// Decodes every %XX escape of [text, text + length); a "%" not followed by
// two hex digits stays. Writes into out, cut to fit; returns the length.
size_t PercentDecode(const char* text, size_t length, char* out, size_t capacity);

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates) and at least one is beyond ASCII.
bool IsUtf8BeyondAscii(const char* text, size_t length);

// The last segment of a URL path (before any query or fragment), decoded.
// Writes an empty name for a path ending in "/". Returns the charset.
NameCharset NameFromUrlPath(const char* path, char* out, size_t capacity);

// Reads a Content-Disposition of any type: filename*= (RFC 5987 with
// UTF-8 or ISO-8859-1) wins over filename=, which may be a token or quoted
// (escapes: a backslash before a quotation mark or a backslash); both are
// percent-decoded; an empty name counts as none. Returns 0 with the name and
// its charset, or 1 when the value names no file (out then unchanged).
int32_t NameFromDisposition(const char* value, char* out, size_t capacity, NameCharset& charset);

// The name in the program's code page: UTF-8 is converted when every
// character can be (convert may be null: nothing can), else kept in the
// escaped form, every byte beyond ASCII as %XX. Not yet a safe file name.
void NameInCodePage(const char* name, NameCharset charset, Utf8ToCodePageFn convert, char* out, size_t capacity);

// "name (n).ext" for n >= 2 ("name (n)" without an extension; a leading dot
// does not start one). The base is cut between characters so that the
// result fits capacity and maxLength bytes.
void NumberedFileName(const char* name, int32_t n, char* out, size_t capacity, size_t maxLength);

// Whether two file names (or paths) name one file on Windows: equal when
// ASCII letters are folded; the trail byte of a Shift-JIS character is
// never folded.
bool SameFileName(const char* a, const char* b);
