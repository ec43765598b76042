#include "common/safe_file_name.h"

#include <cstring>

#include "common/bounded_text.h"
#include "common/sjis.h"
#include "common/text_helpers.h"

namespace {

bool IsFolderSeparator(char c)
{
    return c == '/' || c == '\\' || c == ':';
}

bool IsForbiddenSingleByte(unsigned char c)
{
    if (c < 0x20 || c == 0x7F) return true;
    // A lead byte without a valid trail byte stands alone, so the byte after
    // it is read as a character of its own, separators included.
    if (IsSjisLeadByte(c)) return true;
    return std::strchr("<>:\"/\\|?*", c) != nullptr;
}

// The received text without surrounding quotation marks: [begin, end).
// Anything after the closing mark (such as further parameters) is dropped;
// a missing closing mark takes the rest.
void Unquote(const char* received, const char*& begin, const char*& end)
{
    const char* p = received;
    while (*p == ' ') ++p;
    if (*p != '"') {
        begin = received;
        end = received + std::strlen(received);
        return;
    }
    begin = ++p;
    while (*p != '\0' && *p != '"') p += SjisCharLength(p);
    end = p;
}

// Moves begin past the last folder separator in [begin, end).
void DropFolderPart(const char*& begin, const char* end)
{
    const char* p = begin;
    while (p < end) {
        const size_t length = SjisCharLength(p);
        if (length == 1 && IsFolderSeparator(*p)) begin = p + 1;
        p += length;
    }
}

// Copies [begin, end) into out with room for budget bytes (terminator not
// counted), replacing forbidden bytes, cutting only between characters and
// removing trailing dots and spaces. Returns the length written.
size_t CopyCleaned(const char* begin, const char* end, char* out, size_t budget)
{
    size_t n = 0;
    for (const char* p = begin; p < end;) {
        const size_t length = SjisCharLength(p);
        if (p + length > end || n + length > budget) break;
        if (length == 2) {
            out[n] = p[0];
            out[n + 1] = p[1];
        } else {
            out[n] = IsForbiddenSingleByte(static_cast<unsigned char>(*p)) ? '_' : *p;
        }
        n += length;
        p += length;
    }
    // Neither byte can be the trail of a double-byte character.
    while (n > 0 && (out[n - 1] == '.' || out[n - 1] == ' ')) --n;
    out[n] = '\0';
    return n;
}

// Windows opens a device for these names whatever extension follows, and
// ignores spaces before the extension.
bool IsDeviceName(const char* name)
{
    size_t base = std::strcspn(name, ".");
    while (base > 0 && name[base - 1] == ' ') --base;
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (SameTextIgnoringCase(name, base, device) == 0) return true;
    }
    bool numbered = SameTextIgnoringCase(name, 3, "COM") == 0 || SameTextIgnoringCase(name, 3, "LPT") == 0;
    if (base == 4 && numbered) {
        return name[3] >= '1' && name[3] <= '9';
    }
    return false;
}

}  // namespace

int SafeLocalFileName(const char* received, char* out, size_t capacity)
{
    return SafeLocalFileNameOr(received, kDefaultLocalFileName, out, capacity);
}

int SafeLocalFileNameOr(const char* received, const char* fallback, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return 2;
    if (received == nullptr) received = "";

    const char* begin;
    const char* end;
    Unquote(received, begin, end);
    DropFolderPart(begin, end);

    size_t budget = capacity - 1;
    if (budget > kLocalFileNameMax) budget = kLocalFileNameMax;
    if (CopyCleaned(begin, end, out, budget) == 0) {
        mw_text::Copy(out, capacity, fallback);
    } else if (IsDeviceName(out) && budget > 1) {
        out[0] = '_';
        CopyCleaned(begin, end, out + 1, budget - 1);
    }
    return std::strcmp(out, received) == 0 ? 0 : 1;
}
