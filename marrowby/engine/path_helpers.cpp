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

bool IsForbiddenInName(unsigned char c) {
    return c < 0x20 || strchr("<>:\"|?*", c) != nullptr;
}

bool EqualsIgnoringCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; i++) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = (char)(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = (char)(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices whatever their
// extension, so "nul.txt" would never reach the disk.
bool IsDeviceName(const char* name) {
    size_t stem = strcspn(name, ".");
    static const char* const kThree[] = {"CON", "PRN", "AUX", "NUL"};
    if (stem == 3) {
        for (const char* device : kThree)
            if (EqualsIgnoringCase(name, device, 3)) return true;
    }
    if (stem == 4 && name[3] >= '1' && name[3] <= '9')
        return EqualsIgnoringCase(name, "COM", 3) || EqualsIgnoringCase(name, "LPT", 3);
    return false;
}

// Keeps the text inside the first pair of quotes, or the text before the
// first ';' when the value is not quoted.
void StripQuotesAndParameters(char* name) {
    if (name[0] == '"') {
        char* close = strchr(name + 1, '"');
        size_t len = close ? (size_t)(close - name - 1) : strlen(name + 1);
        memmove(name, name + 1, len);
        name[len] = '\0';
        return;
    }
    char* semicolon = strchr(name, ';');
    if (semicolon) *semicolon = '\0';
}

// Drops everything up to and including the last separator.
void KeepLastComponent(char* name) {
    size_t start = 0;
    for (size_t i = 0; name[i] != '\0'; i += CharLength(name + i)) {
        if (IsSeparator(name[i])) start = i + 1;
    }
    memmove(name, name + start, strlen(name + start) + 1);
}

// Removes leading spaces and trailing spaces and dots, which Windows drops
// from names itself ("." and ".." thus become empty).
void TrimName(char* name) {
    size_t lead = strspn(name, " ");
    memmove(name, name + lead, strlen(name + lead) + 1);
    size_t len = strlen(name);
    while (len > 0 && (name[len - 1] == ' ' || name[len - 1] == '.')) name[--len] = '\0';
}

void ReplaceForbidden(char* name) {
    for (size_t i = 0; name[i] != '\0';) {
        size_t n = CharLength(name + i);
        if (n == 1 && IsForbiddenInName((unsigned char)name[i])) name[i] = '_';
        i += n;
    }
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

int MakeSafeFileName(char* name, size_t capacity) {
    if (capacity == 0) return 1;
    char original[260];
    CopyBounded(original, sizeof original, name);
    StripQuotesAndParameters(name);
    KeepLastComponent(name);
    TrimName(name);
    ReplaceForbidden(name);
    if (name[0] == '\0') {
        CopyBounded(name, capacity, "index.html");
    } else if (IsDeviceName(name)) {
        char prefixed[260] = "_";
        CopyBounded(prefixed + 1, sizeof prefixed - 1, name);
        CopyBounded(name, capacity, prefixed);
    }
    return strcmp(original, name) == 0 ? 0 : 1;
}
