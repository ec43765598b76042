#include "tidewell/lzh/lzh_path.h"

#include <cstring>
#include <initializer_list>

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool SameUpper(const char* text, size_t length, const char* upper)
{
    if (std::strlen(upper) != length) return false;
    for (size_t i = 0; i < length; i++)
        if (UpperAscii(text[i]) != upper[i]) return false;
    return true;
}

// Windows drops trailing dots and spaces from a component, so "..", "...",
// ". ." all climb or vanish; a lone "." is harmless.
bool ClimbsOrVanishes(const char* part, size_t length)
{
    if (length == 0 || (length == 1 && part[0] == '.')) return false;
    for (size_t i = 0; i < length; i++)
        if (part[i] != '.' && part[i] != ' ') return false;
    return true;
}

// Device names are reserved in every folder, with or without an extension.
bool IsDeviceName(const char* part, size_t length)
{
    size_t base = 0;
    while (base < length && part[base] != '.' && part[base] != ' ') base++;
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (SameUpper(part, base, device)) return true;
    if (base == 4 && (SameUpper(part, 3, "COM") || SameUpper(part, 3, "LPT"))) return part[3] >= '0' && part[3] <= '9';
    return false;
}

LzhPathResult CheckComponent(const char* part, size_t length)
{
    if (ClimbsOrVanishes(part, length)) return LZH_PATH_PARENT;
    if (IsDeviceName(part, length)) return LZH_PATH_DEVICE;
    return LZH_PATH_OK;
}

// Checks one text whose components continue those already seen.
LzhPathResult CheckText(const char* text)
{
    const char* part = text;
    for (const char* p = text;; p++) {
        if (*p == ':') return LZH_PATH_DRIVE;
        if (*p == '\0' || IsSeparator(*p)) {
            LzhPathResult result = CheckComponent(part, size_t(p - part));
            if (result != LZH_PATH_OK) return result;
            if (*p == '\0') return LZH_PATH_OK;
            part = p + 1;
        }
    }
}

}  // namespace

LzhPathResult LzhCheckEntryPath(const char* directory, const char* name)
{
    // Joined directly, a directory without a trailing separator runs into
    // the name: check the joined text, byte by byte. Treating every 0x5C as
    // a separator (even a double-byte character's second byte) can only
    // find more components, never hide one.
    char joined[2 * 256 + 1];
    size_t dirLength = std::strlen(directory);
    size_t nameLength = std::strlen(name);
    if (dirLength + nameLength >= sizeof joined) return LZH_PATH_TOO_LONG;
    std::memcpy(joined, directory, dirLength);
    std::memcpy(joined + dirLength, name, nameLength + 1);
    if (joined[0] == '\0') return LZH_PATH_EMPTY;
    if (IsSeparator(joined[0])) return LZH_PATH_ABSOLUTE;
    return CheckText(joined);
}

LzhPathResult LzhJoinEntryPath(const char* folder, const char* directory, const char* name, char separator, char* out,
                               size_t capacity)
{
    LzhPathResult result = LzhCheckEntryPath(directory, name);
    if (result != LZH_PATH_OK) return result;
    size_t folderLength = std::strlen(folder);
    size_t dirLength = std::strlen(directory);
    size_t nameLength = std::strlen(name);
    if (capacity == 0 || folderLength + dirLength + nameLength >= capacity) return LZH_PATH_TOO_LONG;
    std::memcpy(out, folder, folderLength);
    char* p = out + folderLength;
    for (const char* text : {directory, name}) {
        for (; *text; text++) {
            if (LzhIsLeadByte((unsigned char)*text) && text[1]) {
                *p++ = *text++;
                *p++ = *text;
            } else {
                *p++ = *text == '\\' ? separator : *text;
            }
        }
    }
    *p = '\0';
    return LZH_PATH_OK;
}

const char* LzhPathResultText(LzhPathResult result)
{
    switch (result) {
    case LZH_PATH_OK: return "ok";
    case LZH_PATH_PARENT: return "a '..' component would leave the destination folder";
    case LZH_PATH_ABSOLUTE: return "an absolute path would leave the destination folder";
    case LZH_PATH_DRIVE: return "a drive letter or ':' would leave the destination folder";
    case LZH_PATH_DEVICE: return "a component names a device";
    case LZH_PATH_TOO_LONG: return "the joined path is too long";
    case LZH_PATH_EMPTY: return "the entry has no name";
    }
    return "unknown path problem";
}
