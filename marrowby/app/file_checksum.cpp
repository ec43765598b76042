#include "marrowby/app/file_checksum.h"

#include <windows.h>

#include <bcrypt.h>
#include <string.h>

#include "marrowby/app/checksum_text.h"

namespace {

constexpr DWORD kPieceSize = 1 << 20;

LPCWSTR AlgorithmOf(ChecksumKind kind)
{
    switch (kind) {
    case kChecksumMd5: return BCRYPT_MD5_ALGORITHM;
    case kChecksumSha1: return BCRYPT_SHA1_ALGORITHM;
    case kChecksumSha256: return BCRYPT_SHA256_ALGORITHM;
    default: return nullptr;
    }
}

bool HashFile(HANDLE file, BCRYPT_HASH_HANDLE hash, uint8_t* buffer)
{
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, kPieceSize, &got, nullptr)) return false;
        if (got == 0) return true;
        if (BCryptHashData(hash, buffer, got, 0) < 0) return false;
    }
}

bool Digest(const char* path, ChecksumKind kind, uint8_t* out)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    uint8_t* buffer = static_cast<uint8_t*>(VirtualAlloc(nullptr, kPieceSize, MEM_COMMIT, PAGE_READWRITE));
    bool good = buffer && BCryptOpenAlgorithmProvider(&algorithm, AlgorithmOf(kind), nullptr, 0) >= 0 &&
                BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0 && HashFile(file, hash, buffer) &&
                BCryptFinishHash(hash, out, static_cast<ULONG>(ChecksumSize(kind)), 0) >= 0;
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    if (buffer) VirtualFree(buffer, 0, MEM_RELEASE);
    CloseHandle(file);
    return good;
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
