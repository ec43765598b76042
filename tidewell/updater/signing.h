// ECDSA P-256 signatures over SHA-256 digests, for the publisher's update
// records. The same calls have two implementations: the system's CNG on
// Windows, OpenSSL's libcrypto on the host where the publisher's tool and
// the tests also run. Keys and signatures are raw big-endian numbers, the
// layout CNG itself uses.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kSha256Size = 32;
constexpr size_t kEcCoordinateSize = 32;
constexpr size_t kEcPublicKeySize = 2 * kEcCoordinateSize;  // X then Y
constexpr size_t kEcSignatureSize = 2 * kEcCoordinateSize;  // r then s

struct EcPublicKey {
    uint8_t xy[kEcPublicKeySize];
};

struct EcPrivateKey {
    uint8_t d[kEcCoordinateSize];
    EcPublicKey publicKey;
};

bool Sha256(const uint8_t* data, size_t size, uint8_t digest[kSha256Size]);
// False for a bad signature and for a key that is not a point of the curve.
bool EcVerify(const EcPublicKey& key, const uint8_t digest[kSha256Size], const uint8_t signature[kEcSignatureSize]);
bool EcSign(const EcPrivateKey& key, const uint8_t digest[kSha256Size], uint8_t signature[kEcSignatureSize]);
bool EcGenerate(EcPrivateKey* key);
