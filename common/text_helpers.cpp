#include "common/text_helpers.h"

#include <string.h>

namespace {

char FoldCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

int32_t SameTextIgnoringCase(const char* a, const char* b)
{
    return SameTextIgnoringCase(a, static_cast<size_t>(-1), b);
}

int32_t SameTextIgnoringCase(const char* text, size_t length, const char* other)
{
    if (text == nullptr) text = "";
    if (other == nullptr) other = "";
    for (size_t i = 0;; ++i) {
        char a = i < length ? text[i] : '\0';
        if (FoldCase(a) != FoldCase(other[i])) return 1;
        if (a == '\0') return 0;
    }
}

// No trail byte of a double-byte character is a CR or LF (they are 0x40 and
// above), so the first of either byte is the line end: the whole line of a
// long list is not walked character by character.
void CutAtLineEnd(char* text)
{
    text[strcspn(text, "\r\n")] = '\0';
}

void TrimBlanks(char* text)
{
    size_t first = strspn(text, " \t");
    size_t end = strlen(text);
    while (end > first && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    memmove(text, text + first, end - first);
    text[end - first] = '\0';
}
