// Judging a record's signature against the publisher keys an updater holds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tidewell/updater/signature_block.h"
#include "tidewell/updater/signing.h"

enum SignatureVerdict {
    kSignatureGood = 0,
    kSignatureMissing = 1,    // no block after the notes (or not format 2)
    kSignatureMalformed = 2,  // bytes after the notes that are not a block
    kSignatureOtherKey = 3,   // signed by a key none of the held ones
    kSignatureBad = 4         // names a held key, but does not verify
};

// The signature must verify with one of the keys; *block is filled when a
// block was found.
SignatureVerdict CheckRecordSignature(RecordView record, const EcPublicKey* keys, size_t keyCount,
                                      SignatureBlock* block);
// The digest the signature covers: SHA-256 of the block's signed bytes.
bool SignedDigest(RecordView record, const SignatureBlock& block, uint8_t digest[kSha256Size]);

constexpr size_t kFingerprintSize = 17;  // 16 hexadecimal digits and the terminator
// A short name for a key: the first eight bytes of SHA-256 of X and Y, in
// hexadecimal.
void KeyFingerprint(const EcPublicKey& key, char out[kFingerprintSize]);
