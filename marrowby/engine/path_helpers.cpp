#include "marrowby/engine/path_helpers.h"

#include <string.h>
#include <windows.h>

namespace {

const size_t kFolderCopyCapacity = 264;  // 263 bytes and a terminator

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Length of the character at text: 2 for a lead byte with its trail byte.
size_t CharLength(const char* text) {
    if (IsSjisLeadByte((unsigned char)text[0]) && IsSjisTrailByte((unsigned char)text[1])) return 2;
    return 1;
}

void CopyBounded(char* dest, size_t capacity, const char* src) {
    if (capacity == 0) return;
    size_t len = strlen(src);
    if (len >= capacity) len = capacity - 1;
    memmove(dest, src, len);
    dest[len] = '\0';
}

}  // namespace

bool IsSjisLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool IsSjisTrailByte(unsigned char b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

int AppendFolderSeparator(char* path, size_t capacity) {
    size_t len = strlen(path);
    while (len > 0 && IsSeparator(path[len - 1])) {
        if (len >= 2 && IsSjisLeadByte((unsigned char)path[len - 2])) break;
        path[--len] = '\0';
    }
    if (len + 2 > capacity) return 1;
    path[len] = '\\';
    path[len + 1] = '\0';
    return 0;
}

int CreateFolderPath(const char* path) {
    char copy[kFolderCopyCapacity];
    CopyBounded(copy, sizeof copy, path);
    size_t len = strlen(copy);
    if (len <= 3 || CreateDirectoryA(copy, nullptr)) return 0;
    for (size_t i = 0; i <= len;) {
        if (copy[i] == '\0' || IsSeparator(copy[i])) {
            char saved = copy[i];
            copy[i] = '\0';
            if (i > 0) CreateDirectoryA(copy, nullptr);
            copy[i] = saved;
            i++;
        } else {
            i += CharLength(copy + i);
        }
    }
    return 0;
}

void CutAtLineEnd(char* text) {
    for (size_t i = 0; text[i] != '\0'; i += CharLength(text + i)) {
        if (text[i] == '\r' || text[i] == '\n') {
            text[i] = '\0';
            return;
        }
    }
}
