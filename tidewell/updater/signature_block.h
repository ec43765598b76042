// The publisher's signature of a format-2 record travels in a block right
// after the notes' terminating zero, where readers that do not know it
// never look; a record without it is exactly the record it always was.
//
// Block layout (little-endian numbers):
//   0    4  magic "TWSG"
//   4    2  block version, 1
//   6    2  block size, 168
//   8   32  SHA-256 of the archive the record names (zero when none)
//  40   64  the signer's public key, X then Y, big-endian
// 104   64  ECDSA P-256 signature r then s, big-endian, over the SHA-256 of
//           the record's bytes from offset 0 up to this field
// The record ends with the block: anything after it, or a block of another
// size, makes the record malformed.
#pragma once

#include <cstdint>

#include "tidewell/updater/update_record.h"

constexpr uint32_t kSignatureMagic = 0x47535754u;  // the bytes 54 57 53 47 read little-endian
constexpr uint16_t kSignatureBlockVersion = 1;
constexpr uint32_t kSignatureBlockSize = 168;
constexpr uint32_t kSignatureDigestOffset = 8;
constexpr uint32_t kSignatureKeyOffset = 40;
constexpr uint32_t kSignatureValueOffset = 104;

enum SignatureBlockState {
    kBlockAbsent = 0,    // nothing follows the notes
    kBlockPresent = 1,   // a block of the right shape
    kBlockMalformed = 2  // something follows the notes, but not a block
};

// Where a block lies; pointers into the record's bytes.
struct SignatureBlock {
    uint32_t offset;
    const uint8_t* archiveDigest;
    const uint8_t* publicKey;
    const uint8_t* signature;
    uint32_t signedLength;  // the bytes the signature covers: offset + 104
};

// The offset just past the notes' terminator of a format-2 record that
// passed CheckRecordLength, or 0 when the notes have no terminator.
uint32_t RecordNotesEnd(RecordView record);
SignatureBlockState FindSignatureBlock(RecordView record, SignatureBlock* block);
