#include "tidewell/updater/fetch_names.h"

#include <cstring>

#include "common/safe_file_name.h"
#include "common/sjis.h"

const char kDefaultDownloadName[] = "dlfile";

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// Length of the folder as used: cut at its last separator when nothing but
// spaces follows it (that separator at index 1 or later).
size_t UsedFolderLength(const char* folder, size_t length)
{
    size_t lastNonSpace = 0;
    bool found = false;
    for (size_t i = 0; i < length;) {
        size_t n = SjisCharLength(folder + i);
        if (n == 2 || folder[i] != ' ') {
            lastNonSpace = i;
            found = n == 1;
        }
        i += n;
    }
    if (found && lastNonSpace >= 1 && IsSeparator(folder[lastNonSpace])) return lastNonSpace;
    return length;
}

}  // namespace

int DownloadFileName(const char* urlPath, char* out, size_t capacity)
{
    // A cracked path starts with '/'; index 0 is not searched.
    const char* raw = urlPath[0] == '/' ? urlPath + 1 : urlPath;
    for (size_t i = std::strlen(urlPath); i > 1; --i) {
        if (urlPath[i - 1] == '/') {
            raw = urlPath + i;
            break;
        }
    }
    if (*raw == '\0') raw = kDefaultDownloadName;
    return SafeLocalFileNameOr(raw, kDefaultDownloadName, out, capacity);
}

int BuildOutputPath(const char* folder, const char* name, char* out, size_t capacity)
{
    if (capacity == 0) return 1;
    out[0] = '\0';
    size_t nameLength = std::strlen(name);
    size_t folderLength = folder ? std::strlen(folder) : 0;
    if (folderLength > kOutputFolderMax) return 1;
    size_t used = folderLength ? UsedFolderLength(folder, folderLength) : 0;
    size_t total = used + (folderLength ? 1 : 0) + nameLength;
    if (total >= capacity || total >= kOutputPathSize) return 1;
    char* p = out;
    if (folderLength) {
        std::memcpy(p, folder, used);
        p += used;
        *p++ = '\\';
    }
    std::memcpy(p, name, nameLength);
    p[nameLength] = '\0';
    return 0;
}

uint32_t DownloadPercent(uint32_t received, uint32_t total)
{
    if (total == 0) return 0;
    uint64_t percent = static_cast<uint64_t>(received) * 100u / total;
    return percent > 100 ? 100 : static_cast<uint32_t>(percent);
}
