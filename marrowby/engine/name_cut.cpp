#include "marrowby/engine/name_cut.h"

#include <cstring>

#include "common/sjis.h"

namespace {

// Bytes of the whole characters at the start of text[0, length) that fit
// into budget bytes.
size_t WholeCharacters(const char* text, size_t length, size_t budget)
{
    size_t n = 0;
    while (n < length) {
        size_t step = SjisCharLength(text + n);
        if (n + step > length || n + step > budget) break;
        n += step;
    }
    return n;
}

// Position of the last dot that begins a character, or length when none.
size_t LastDot(const char* text, size_t length)
{
    size_t dot = length;
    for (size_t n = 0; n < length;) {
        if (text[n] == '.') dot = n;
        n += SjisCharLength(text + n);
    }
    return dot;
}

}  // namespace

size_t CopyNameKeepingExtension(char* out, size_t capacity, const char* name, size_t length)
{
    if (capacity == 0) return 0;
    if (name == nullptr) name = "";
    const void* nul = std::memchr(name, '\0', length);
    if (nul != nullptr) length = static_cast<size_t>(static_cast<const char*>(nul) - name);

    const size_t room = capacity - 1;
    size_t written;
    if (length <= room) {
        written = length;
        std::memcpy(out, name, written);
    } else {
        const size_t dot = LastDot(name, length);
        const size_t extension = length - dot;
        if (dot == length || dot == 0 || extension > room / 2) {
            written = WholeCharacters(name, length, room);
            std::memcpy(out, name, written);
        } else {
            const size_t stem = WholeCharacters(name, dot, room - extension);
            std::memcpy(out, name, stem);
            std::memcpy(out + stem, name + dot, extension);
            written = stem + extension;
        }
    }
    out[written] = '\0';
    return written;
}
