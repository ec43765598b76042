#include "common/file_hash.h"

#include <windows.h>

#include <bcrypt.h>

namespace {

constexpr DWORD kPieceSize = 1 << 20;

bool HashOpenFile(HANDLE file, BCRYPT_HASH_HANDLE hash, uint8_t* buffer)
{
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, kPieceSize, &got, nullptr)) return false;
        if (got == 0) return true;
        if (BCryptHashData(hash, buffer, got, 0) < 0) return false;
    }
}

}  // namespace

bool HashFileWithCng(const char* path, const wchar_t* algorithmName, uint8_t* digest, size_t digestSize)
{
    if (algorithmName == nullptr) return false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    uint8_t* buffer = static_cast<uint8_t*>(VirtualAlloc(nullptr, kPieceSize, MEM_COMMIT, PAGE_READWRITE));
    bool good = buffer && BCryptOpenAlgorithmProvider(&algorithm, algorithmName, nullptr, 0) >= 0 &&
                BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0 &&
                HashOpenFile(file, hash, buffer) &&
                BCryptFinishHash(hash, digest, static_cast<ULONG>(digestSize), 0) >= 0;
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    if (buffer) VirtualFree(buffer, 0, MEM_RELEASE);
    CloseHandle(file);
    return good;
}
