#include "marrowby/app/address_scan.h"

#include <string.h>

namespace {

const char* const kSchemes[] = {"http://", "https://"};

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The length of the scheme and "//" starting at text[at], or 0.
size_t SchemeAt(const char* text, size_t length, size_t at)
{
    for (const char* scheme : kSchemes) {
        size_t size = strlen(scheme);
        if (length - at < size) continue;
        size_t same = 0;
        while (same < size && LowerAscii(text[at + same]) == scheme[same]) ++same;
        if (same == size) return size;
    }
    return 0;
}

bool EndsAddress(char c)
{
    unsigned char byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == '`';
}

size_t CountOf(const char* text, size_t length, char c)
{
    size_t found = 0;
    for (size_t i = 0; i < length; ++i) found += text[i] == c ? 1 : 0;
    return found;
}

// Punctuation that closes the sentence or the brackets around the address
// rather than belonging to it.
size_t TrimmedLength(const char* address, size_t length, size_t schemeLength)
{
    while (length > schemeLength) {
        char last = address[length - 1];
        bool unopened = (last == ')' && CountOf(address, length, '(') < CountOf(address, length, ')')) ||
                        (last == ']' && CountOf(address, length, '[') < CountOf(address, length, ']'));
        if (!unopened && strchr(".,;:!?'", last) == nullptr) break;
        --length;
    }
    return length;
}

}  // namespace

bool NextAddress(const char* text, size_t length, size_t from, size_t* start, size_t* count)
{
    for (size_t at = from; at < length; ++at) {
        size_t schemeLength = SchemeAt(text, length, at);
        if (schemeLength == 0) continue;
        size_t end = at + schemeLength;
        while (end < length && !EndsAddress(text[end])) ++end;
        size_t kept = TrimmedLength(text + at, end - at, schemeLength);
        if (kept == schemeLength) {
            at = end - 1;
            continue;
        }
        *start = at;
        *count = kept;
        return true;
    }
    return false;
}
