#include "marrowby/app/checksum_text.h"

#include <stdio.h>
#include <string.h>

namespace {

struct KindName {
    ChecksumKind kind;
    const char* prefix;
    size_t size;
};

const KindName kKinds[] = {{kChecksumMd5, "md5", 16}, {kChecksumSha1, "sha1", 20}, {kChecksumSha256, "sha256", 32}};

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The kind a "name:" prefix names, skipping it; kChecksumNone without one.
ChecksumKind TakePrefix(const char** text)
{
    const char* at = *text;
    while (IsSpace(*at)) ++at;
    for (const KindName& kind : kKinds) {
        size_t length = strlen(kind.prefix);
        size_t i = 0;
        while (i < length && Lower(at[i]) == kind.prefix[i]) ++i;
        if (i == length && at[i] == ':') {
            *text = at + i + 1;
            return kind.kind;
        }
    }
    return kChecksumNone;
}

}  // namespace

size_t ChecksumSize(ChecksumKind kind)
{
    for (const KindName& entry : kKinds)
        if (entry.kind == kind) return entry.size;
    return 0;
}

ChecksumParse ParseChecksum(const char* text, Checksum* out)
{
    out->kind = kChecksumNone;
    ChecksumKind named = TakePrefix(&text);
    uint8_t bytes[kChecksumMaxBytes] = {};
    size_t digits = 0;
    for (; *text != '\0'; ++text) {
        if (IsSpace(*text)) continue;
        int value = HexValue(*text);
        if (value < 0) return kChecksumNotHex;
        if (digits >= 2 * kChecksumMaxBytes) return kChecksumBadLength;
        bytes[digits / 2] = static_cast<uint8_t>(bytes[digits / 2] << 4 | value);
        ++digits;
    }
    if (digits == 0 && named == kChecksumNone) return kChecksumEmpty;
    ChecksumKind kind = kChecksumNone;
    for (const KindName& entry : kKinds)
        if (digits == 2 * entry.size) kind = entry.kind;
    if (kind == kChecksumNone) return kChecksumBadLength;
    if (named != kChecksumNone && named != kind) return kChecksumWrongPrefix;
    out->kind = kind;
    memcpy(out->bytes, bytes, sizeof(bytes));
    return kChecksumParsed;
}

void FormatChecksum(const Checksum& checksum, char* out, size_t capacity)
{
    if (capacity == 0) return;
    out[0] = '\0';
    for (const KindName& kind : kKinds) {
        if (kind.kind != checksum.kind) continue;
        if (capacity < strlen(kind.prefix) + 1 + 2 * kind.size + 1) return;
        size_t at = static_cast<size_t>(snprintf(out, capacity, "%s:", kind.prefix));
        for (size_t i = 0; i < kind.size; ++i, at += 2) snprintf(out + at, capacity - at, "%02x", checksum.bytes[i]);
    }
}

ChecksumParse StoreChecksumText(const char* text, char* out, size_t capacity)
{
    Checksum checksum = {};
    ChecksumParse parsed = ParseChecksum(text, &checksum);
    if (parsed != kChecksumParsed) checksum.kind = kChecksumNone;
    FormatChecksum(checksum, out, capacity);
    return parsed;
}
