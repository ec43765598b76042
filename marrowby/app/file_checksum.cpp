#include "marrowby/app/file_checksum.h"

#include <windows.h>

#include <bcrypt.h>
#include <string.h>

#include "common/file_hash.h"
#include "marrowby/app/checksum_text.h"

namespace {

LPCWSTR AlgorithmOf(ChecksumKind kind)
{
    switch (kind) {
    case kChecksumMd5: return BCRYPT_MD5_ALGORITHM;
    case kChecksumSha1: return BCRYPT_SHA1_ALGORITHM;
    case kChecksumSha256: return BCRYPT_SHA256_ALGORITHM;
    default: return nullptr;
    }
}

bool Digest(const char* path, ChecksumKind kind, uint8_t* out)
{
    return HashFileWithCng(path, AlgorithmOf(kind), out, ChecksumSize(kind));
}

}  // namespace

ChecksumResult CheckFileChecksum(const char* path, const char* expected)
{
    Checksum wanted;
    if (ParseChecksum(expected, &wanted) != kChecksumParsed) return kChecksumUnreadable;
    uint8_t digest[kChecksumMaxBytes];
    if (!Digest(path, wanted.kind, digest)) return kChecksumUnreadable;
    return memcmp(digest, wanted.bytes, ChecksumSize(wanted.kind)) == 0 ? kChecksumMatched : kChecksumMismatched;
}
