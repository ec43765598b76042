#include "tidewell/updater/signature_block.h"

uint32_t RecordNotesEnd(RecordView record)
{
    uint32_t units = 0;
    if (!RecordNotes(record, kRecord2NotesOffset, &units)) return 0;
    return kRecord2NotesOffset + 2 * (units + 1);
}

SignatureBlockState FindSignatureBlock(RecordView record, SignatureBlock* block)
{
    if (RecordFormat(record) != 2 || CheckRecordLength(record) != kRecordLengthOk) return kBlockAbsent;
    uint32_t start = RecordNotesEnd(record);
    if (start == 0 || start >= record.size) return kBlockAbsent;
    const uint8_t* bytes = record.bytes + start;
    if (record.size - start != kSignatureBlockSize || ReadLe32(bytes) != kSignatureMagic ||
        ReadLe16(bytes + 4) != kSignatureBlockVersion || ReadLe16(bytes + 6) != kSignatureBlockSize)
        return kBlockMalformed;
    block->offset = start;
    block->archiveDigest = bytes + kSignatureDigestOffset;
    block->publicKey = bytes + kSignatureKeyOffset;
    block->signature = bytes + kSignatureValueOffset;
    block->signedLength = start + kSignatureValueOffset;
    return kBlockPresent;
}
