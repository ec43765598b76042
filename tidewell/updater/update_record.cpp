#include "tidewell/updater/update_record.h"

#include <cstring>

#include "common/sjis.h"

namespace {

// The two layouts spelled out byte for byte: the named offsets above must
// agree with them, so a slip in either shows up when the code is compiled.
struct Record2Layout {
    uint8_t magic[4];
    uint8_t format[2];
    uint8_t unused6[2];
    uint8_t flags[4];
    uint8_t version[4];
    uint8_t unused16[4];
    uint8_t productId[kRecordProductIdSize];
    uint8_t unused36[8];
    uint8_t productName[kRecord2ProductNameField];
    uint8_t program[kRecord2ProgramField];
    uint8_t infoUrl[kRecord2InfoUrlField];
    uint8_t archiveUrl[kRecord2ArchiveUrlField];
    uint8_t crc[2];
    uint8_t unused366[2];
    uint8_t notesTerminator[2];
};

struct Record1Layout {
    uint8_t magic[4];
    uint8_t format[2];
    uint8_t unused6[2];
    uint8_t version[4];
    uint8_t unused12[4];
    uint8_t productId[kRecordProductIdSize];
    uint8_t unused32[4];
    uint8_t archiveUrl[kRecord1ArchiveUrlField];
    uint8_t notesTerminator[2];
};

static_assert(offsetof(Record2Layout, magic) == kRecordMagicOffset, "magic");
static_assert(offsetof(Record2Layout, format) == kRecordFormatOffset, "format");
static_assert(offsetof(Record2Layout, flags) == kRecordHeadSize, "head size");
static_assert(offsetof(Record2Layout, flags) == kRecord2FlagsOffset, "flags");
static_assert(offsetof(Record2Layout, version) == kRecord2VersionOffset, "version 2");
static_assert(offsetof(Record2Layout, productId) == kRecord2ProductIdOffset, "product id 2");
static_assert(offsetof(Record2Layout, productName) == kRecord2ProductNameOffset, "product name");
static_assert(offsetof(Record2Layout, program) == kRecord2ProgramOffset, "program");
static_assert(offsetof(Record2Layout, infoUrl) == kRecord2InfoUrlOffset, "info URL");
static_assert(offsetof(Record2Layout, archiveUrl) == kRecord2ArchiveUrlOffset, "archive URL 2");
static_assert(offsetof(Record2Layout, crc) == kRecord2CrcOffset, "CRC");
static_assert(offsetof(Record2Layout, notesTerminator) == kRecord2NotesOffset, "notes 2");
static_assert(sizeof(Record2Layout) == kRecord2FixedSize, "format 2 fixed part");

static_assert(offsetof(Record1Layout, version) == kRecord1VersionOffset, "version 1");
static_assert(offsetof(Record1Layout, productId) == kRecord1ProductIdOffset, "product id 1");
static_assert(offsetof(Record1Layout, archiveUrl) == kRecord1ArchiveUrlOffset, "archive URL 1");
static_assert(offsetof(Record1Layout, notesTerminator) == kRecord1NotesOffset, "notes 1");
static_assert(sizeof(Record1Layout) == kRecord1FixedSize, "format 1 fixed part");

bool IsFormat1(RecordView record)
{
    return RecordFormat(record) == 1;
}

}  // namespace

uint16_t ReadLe16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t ReadLe32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

bool RecordPresent(RecordView record)
{
    return record.bytes != nullptr;
}

bool RecordHasMagic(RecordView record)
{
    return record.bytes && record.size >= 4 && ReadLe32(record.bytes + kRecordMagicOffset) == kRecordMagic;
}

int32_t RecordFormat(RecordView record)
{
    if (!record.bytes || record.size < kRecordHeadSize) return -1;
    return ReadLe16(record.bytes + kRecordFormatOffset);
}

uint32_t RecordFixedSize(int32_t format)
{
    if (format == 2) return kRecord2FixedSize;
    if (format == 1) return kRecord1FixedSize;
    return 0;
}

RecordLength CheckRecordLength(RecordView record)
{
    int32_t format = RecordFormat(record);
    if (format < 0) return kRecordNoHead;
    uint32_t fixed = RecordFixedSize(format);
    if (fixed == 0) return kRecordFormatUnknown;
    return record.size < fixed ? kRecordShort : kRecordLengthOk;
}

uint32_t RecordVersion(RecordView record)
{
    return ReadLe32(record.bytes + (IsFormat1(record) ? kRecord1VersionOffset : kRecord2VersionOffset));
}

uint32_t RecordFlags(RecordView record)
{
    return IsFormat1(record) ? 0 : ReadLe32(record.bytes + kRecord2FlagsOffset);
}

uint16_t RecordArchiveCrc(RecordView record)
{
    return IsFormat1(record) ? 0 : ReadLe16(record.bytes + kRecord2CrcOffset);
}

const uint8_t* RecordProductId(RecordView record)
{
    return record.bytes + (IsFormat1(record) ? kRecord1ProductIdOffset : kRecord2ProductIdOffset);
}

uint32_t RecordArchiveUrlOffset(RecordView record)
{
    return IsFormat1(record) ? kRecord1ArchiveUrlOffset : kRecord2ArchiveUrlOffset;
}

uint32_t RecordNotesOffset(RecordView record)
{
    return IsFormat1(record) ? kRecord1NotesOffset : kRecord2NotesOffset;
}

size_t RecordText(RecordView record, uint32_t offset, char* out, size_t capacity, bool* cut)
{
    if (cut) *cut = false;
    if (capacity == 0) return 0;
    size_t n = 0;
    uint32_t at = offset;
    bool ended = false;
    while (record.bytes && at < record.size) {
        const char* p = reinterpret_cast<const char*>(record.bytes + at);
        if (*p == '\0') {
            ended = true;
            break;
        }
        // A lead byte whose trail byte lies past the record's end stands alone.
        size_t length = at + 1 < record.size ? SjisCharLength(p) : 1;
        if (n + length >= capacity) break;
        std::memcpy(out + n, p, length);
        n += length;
        at += static_cast<uint32_t>(length);
    }
    out[n] = '\0';
    if (cut) *cut = !ended;
    return n;
}

bool RecordNotes(RecordView record, uint32_t offset, uint32_t* units)
{
    *units = 0;
    if (!record.bytes || offset >= record.size) return false;
    uint32_t available = (record.size - offset) / 2;
    for (uint32_t i = 0; i < available; ++i) {
        if (ReadLe16(record.bytes + offset + 2 * i) == 0) {
            *units = i;
            return true;
        }
    }
    *units = available;
    return false;
}
