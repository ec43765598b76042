#include "tidewell/updater/version_compare.h"

#include <cstdio>
#include <cstring>

#include "common/sjis.h"

namespace {

constexpr size_t kProgramPathMax = 515;
constexpr size_t kInstallFolderMax = 259;

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// A fetched record must hold the fixed part its format is read with before
// anything past the head is looked at.
bool FetchedLongEnough(RecordView fetched)
{
    int32_t format = RecordFormat(fetched);
    if (format < 0) return false;
    uint32_t fixed = format == 1 ? kRecord1FixedSize : kRecord2FixedSize;
    return fetched.size >= fixed;
}

Comparison CompareFormat2(RecordView installed, RecordView fetched)
{
    Comparison c = {kCompareOffered,
                    (RecordFlags(fetched) & kRecordFlagTempFolder) ? kInstallFolderTemp : kInstallFolderOwn};
    if (std::memcmp(RecordProductId(installed), RecordProductId(fetched), kRecordProductIdSize) != 0) {
        c.result = kCompareOtherProduct;
        return c;
    }
    uint32_t have = RecordVersion(installed);
    uint32_t offered = RecordVersion(fetched);
    if (offered == have)
        c.result = kCompareSameVersion;
    else if (offered < have)
        c.result = kCompareOlderVersion;
    return c;
}

// Length of text cut to at most max bytes without splitting a double-byte
// character; *lastSeparator receives the index of the last single-byte
// '\' or '/' after index 0 within that length (or 0 for none).
size_t ScanPath(const char* text, size_t max, size_t* lastSeparator)
{
    size_t n = 0;
    *lastSeparator = 0;
    while (text[n] != '\0') {
        size_t length = SjisCharLength(text + n);
        if (n + length > max) break;
        if (length == 1 && n > 0 && IsSeparator(text[n])) *lastSeparator = n;
        n += length;
    }
    return n;
}

}  // namespace

Comparison CompareRecords(RecordView installed, RecordView fetched)
{
    Comparison none = {kCompareUnusable, kInstallFolderUnset};
    if (!RecordHasMagic(fetched)) return none;
    if (!FetchedLongEnough(fetched)) {
        none.result = kCompareInvalid;
        return none;
    }
    if (!RecordPresent(installed) || !RecordHasMagic(installed)) {
        none.result = kCompareOffered;
        return none;
    }
    if (RecordFormat(installed) != 2 || installed.size < kRecord2FixedSize) {
        none.result = kCompareInvalid;  // start-up admits no other installed record
        return none;
    }
    int32_t format = RecordFormat(fetched);
    if (format == 1) return none;
    if (format != 2) {
        none.result = kCompareInvalid;
        return none;
    }
    return CompareFormat2(installed, fetched);
}

void FormatVersion(uint32_t version, char* out, size_t capacity)
{
    std::snprintf(out, capacity, "%u.%u.%u.%u", version >> 24, (version >> 16) & 0xFF, (version >> 8) & 0xFF,
                  version & 0xFF);
}

int InstallFolderFromProgramPath(const char* programPath, char* out, size_t capacity)
{
    if (capacity == 0) return 1;
    size_t separator = 0;
    size_t length = ScanPath(programPath, kProgramPathMax, &separator);
    if (separator > 0) length = separator;
    // At most 259 characters of the folder, never half a double-byte one.
    size_t keep = 0;
    while (keep < length) {
        size_t n = SjisCharLength(programPath + keep);
        if (keep + n > length || keep + n > kInstallFolderMax) break;
        keep += n;
    }
    char folder[kInstallFolderMax + 2];
    std::memcpy(folder, programPath, keep);
    folder[keep] = '\0';
    length = ScanPath(folder, kInstallFolderMax, &separator);
    // Trailing separators go (never the first two characters), then exactly
    // one backslash follows. A program in a drive's root leaves "C:", which
    // gets its backslash too: alone it would mean the drive's current folder.
    if (length >= 3) {
        while (length > 2 && separator == length - 1) {
            folder[--length] = '\0';
            ScanPath(folder, kInstallFolderMax, &separator);
        }
        folder[length++] = '\\';
        // NOLINTNEXTLINE(clang-analyzer-core.UndefinedBinaryOperatorResult): ScanPath counted two bytes of folder
    } else if (length == 2 && folder[1] == ':') {
        folder[length++] = '\\';
    }
    folder[length] = '\0';
    if (length >= capacity) {
        out[0] = '\0';  // a cut folder would be another folder
        return 1;
    }
    std::memcpy(out, folder, length + 1);
    return 0;
}
