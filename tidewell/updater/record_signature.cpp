#include "tidewell/updater/record_signature.h"

#include <cstdio>
#include <cstring>

bool SignedDigest(RecordView record, const SignatureBlock& block, uint8_t digest[kSha256Size])
{
    return Sha256(record.bytes, block.signedLength, digest);
}

SignatureVerdict CheckRecordSignature(RecordView record, const EcPublicKey* keys, size_t keyCount,
                                      SignatureBlock* block)
{
    switch (FindSignatureBlock(record, block)) {
    case kBlockAbsent: return kSignatureMissing;
    case kBlockMalformed: return kSignatureMalformed;
    case kBlockPresent: break;
    }
    uint8_t digest[kSha256Size];
    if (!SignedDigest(record, *block, digest)) return kSignatureBad;
    bool named = false;
    for (size_t i = 0; i < keyCount; ++i) {
        if (EcVerify(keys[i], digest, block->signature)) return kSignatureGood;
        if (std::memcmp(keys[i].xy, block->publicKey, kEcPublicKeySize) == 0) named = true;
    }
    return named ? kSignatureBad : kSignatureOtherKey;
}

void KeyFingerprint(const EcPublicKey& key, char out[kFingerprintSize])
{
    uint8_t digest[kSha256Size] = {};
    Sha256(key.xy, kEcPublicKeySize, digest);
    for (int i = 0; i < 8; ++i) std::snprintf(out + 2 * i, 3, "%02x", digest[i]);
}
