#include "common/text_helpers.h"

#include "common/sjis.h"

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

void CutAtLineEnd(char* text)
{
    for (size_t i = 0; text[i] != '\0'; i += SjisCharLength(text + i)) {
        if (text[i] == '\r' || text[i] == '\n') {
            text[i] = '\0';
            return;
        }
    }
}
