// The Windows implementation of the signing calls, on the system's CNG.
#include <windows.h>

#include <bcrypt.h>

#include <cstring>

#include "tidewell/updater/signing.h"

namespace {

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

// A key blob: the CNG header followed by X, Y and, for a private key, d.
struct KeyBlob {
    BCRYPT_ECCKEY_BLOB header;
    uint8_t numbers[3 * kEcCoordinateSize];
};

struct Algorithm {
    BCRYPT_ALG_HANDLE handle = nullptr;
    explicit Algorithm(LPCWSTR name)
    {
        if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0))) handle = nullptr;
    }
    ~Algorithm()
    {
        if (handle) BCryptCloseAlgorithmProvider(handle, 0);
    }
};

struct Key {
    BCRYPT_KEY_HANDLE handle = nullptr;
    ~Key()
    {
        if (handle) BCryptDestroyKey(handle);
    }
};

bool ImportKey(const Algorithm& algorithm, const EcPublicKey& publicKey, const uint8_t* d, Key* key)
{
    KeyBlob blob = {};
    blob.header.dwMagic = d ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    blob.header.cbKey = kEcCoordinateSize;
    std::memcpy(blob.numbers, publicKey.xy, kEcPublicKeySize);
    ULONG size = sizeof(blob.header) + kEcPublicKeySize;
    if (d) {
        std::memcpy(blob.numbers + kEcPublicKeySize, d, kEcCoordinateSize);
        size += kEcCoordinateSize;
    }
    bool good = algorithm.handle && Succeeded(BCryptImportKeyPair(
                                        algorithm.handle, nullptr, d ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB,
                                        &key->handle, reinterpret_cast<PUCHAR>(&blob), size, 0));
    SecureZeroMemory(&blob, sizeof(blob));
    return good;
}

}  // namespace

bool Sha256(const uint8_t* data, size_t size, uint8_t digest[kSha256Size])
{
    Algorithm algorithm(BCRYPT_SHA256_ALGORITHM);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!algorithm.handle || !Succeeded(BCryptCreateHash(algorithm.handle, &hash, nullptr, 0, nullptr, 0, 0)))
        return false;
    bool good = true;
    while (good && size > 0) {
        ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        good = Succeeded(BCryptHashData(hash, const_cast<PUCHAR>(data), piece, 0));
        data += piece;
        size -= piece;
    }
    good = good && Succeeded(BCryptFinishHash(hash, digest, kSha256Size, 0));
    BCryptDestroyHash(hash);
    return good;
}

bool EcVerify(const EcPublicKey& key, const uint8_t digest[kSha256Size], const uint8_t signature[kEcSignatureSize])
{
    Algorithm algorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    Key imported;
    if (!ImportKey(algorithm, key, nullptr, &imported)) return false;
    return Succeeded(BCryptVerifySignature(imported.handle, nullptr, const_cast<PUCHAR>(digest), kSha256Size,
                                           const_cast<PUCHAR>(signature), kEcSignatureSize, 0));
}

bool EcSign(const EcPrivateKey& key, const uint8_t digest[kSha256Size], uint8_t signature[kEcSignatureSize])
{
    Algorithm algorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    Key imported;
    if (!ImportKey(algorithm, key.publicKey, key.d, &imported)) return false;
    ULONG written = 0;
    return Succeeded(BCryptSignHash(imported.handle, nullptr, const_cast<PUCHAR>(digest), kSha256Size, signature,
                                    kEcSignatureSize, &written, 0)) &&
           written == kEcSignatureSize;
}

bool EcGenerate(EcPrivateKey* key)
{
    Algorithm algorithm(BCRYPT_ECDSA_P256_ALGORITHM);
    Key generated;
    if (!algorithm.handle || !Succeeded(BCryptGenerateKeyPair(algorithm.handle, &generated.handle, 256, 0)) ||
        !Succeeded(BCryptFinalizeKeyPair(generated.handle, 0)))
        return false;
    KeyBlob blob = {};
    ULONG written = 0;
    bool good = Succeeded(BCryptExportKey(generated.handle, nullptr, BCRYPT_ECCPRIVATE_BLOB,
                                          reinterpret_cast<PUCHAR>(&blob), sizeof(blob), &written, 0)) &&
                written == sizeof(blob.header) + 3 * kEcCoordinateSize && blob.header.cbKey == kEcCoordinateSize;
    if (good) {
        std::memcpy(key->publicKey.xy, blob.numbers, kEcPublicKeySize);
        std::memcpy(key->d, blob.numbers + kEcPublicKeySize, kEcCoordinateSize);
    }
    SecureZeroMemory(&blob, sizeof(blob));
    return good;
}
