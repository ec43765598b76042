// A download's expected checksum as a person pastes it from a web page:
// SHA-256, SHA-1 or MD5 in hexadecimal, told apart by length, spaces
// ignored, optionally led by "sha256:", "sha1:" or "md5:" (any letter case).
// Stored in one normal form, "sha256:" and lower-case digits.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum ChecksumKind : int32_t { kChecksumNone = 0, kChecksumMd5 = 1, kChecksumSha1 = 2, kChecksumSha256 = 3 };

constexpr size_t kChecksumMaxBytes = 32;
// "sha256:" and 64 digits and the terminator.
constexpr size_t kChecksumTextSize = 72;

struct Checksum {
    ChecksumKind kind;
    uint8_t bytes[kChecksumMaxBytes];
};

// The digest size of a kind (16, 20, 32), 0 for none.
size_t ChecksumSize(ChecksumKind kind);

enum ChecksumParse : int32_t {
    kChecksumParsed = 0,
    kChecksumEmpty = 1,       // nothing but spaces: no checksum
    kChecksumNotHex = 2,      // a character that is not a hexadecimal digit
    kChecksumBadLength = 3,   // not 32, 40 or 64 digits
    kChecksumWrongPrefix = 4  // a prefix naming a kind its length is not
};

ChecksumParse ParseChecksum(const char* text, Checksum* out);
// "sha256:<64 digits>" and so on; empty for none.
void FormatChecksum(const Checksum& checksum, char* out, size_t capacity);
// Parses text and writes its stored form, or empty when it holds no
// checksum (or capacity is below kChecksumTextSize).
ChecksumParse StoreChecksumText(const char* text, char* out, size_t capacity);
