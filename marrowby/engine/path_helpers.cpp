#include "marrowby/engine/path_helpers.h"

#include <string.h>
#include <windows.h>

#include "common/bounded_text.h"

namespace {

const size_t kFolderCopyCapacity = 264;  // 263 bytes and a terminator

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

}  // namespace

int AppendFolderSeparator(char* path, size_t capacity)
{
    // Walk forward: only a scan from the start knows where characters begin,
    // so a trail byte 0x5C is kept even when the byte before it could also
    // be a lead byte, and a trailing separator after such a character goes.
    // A lead byte left without its trail byte at the end (a text cut to fit)
    // goes too: the backslash would become its trail byte.
    size_t len = 0;
    for (size_t i = 0; path[i] != '\0';) {
        size_t charLength = SjisCharLength(path + i);
        bool cutCharacter = charLength == 1 && IsSjisLeadByte(static_cast<unsigned char>(path[i]));
        if (charLength == 2 || !(IsSeparator(path[i]) || cutCharacter)) len = i + charLength;
        i += charLength;
    }
    path[len] = '\0';
    if (len + 2 > capacity) return 1;
    path[len] = '\\';
    path[len + 1] = '\0';
    return 0;
}

int CreateFolderPath(const char* path)
{
    char copy[kFolderCopyCapacity];
    size_t len = mw_text::Copy(copy, path);
    if (len <= 3 || CreateDirectoryA(copy, nullptr)) return 0;
    for (size_t i = 0; i <= len;) {
        if (copy[i] == '\0' || IsSeparator(copy[i])) {
            char saved = copy[i];
            copy[i] = '\0';
            if (i > 0) CreateDirectoryA(copy, nullptr);
            copy[i] = saved;
            i++;
        } else {
            i += SjisCharLength(copy + i);
        }
    }
    return 0;
}
