// The update information record: the local "*.qvn" file and the server's
// reply share this little-endian layout. Two formats exist; the local file
// is always format 2. Every field is read through the bounded readers below,
// which never look past the record's size.
#pragma once

#include <cstddef>
#include <cstdint>

// Common head of both formats.
constexpr uint32_t kRecordMagicOffset = 0;   // "TDWL", compared as one 32-bit value
constexpr uint32_t kRecordFormatOffset = 4;  // unsigned 16-bit: 1 or 2
constexpr uint32_t kRecordHeadSize = 8;
constexpr uint32_t kRecordMagic = 0x4C574454u;  // the bytes 54 44 57 4C read little-endian

constexpr uint32_t kRecordProductIdSize = 16;

// Format 2: the local file and the usual server reply.
constexpr uint32_t kRecord2FlagsOffset = 8;
constexpr uint32_t kRecord2VersionOffset = 12;
constexpr uint32_t kRecord2ProductIdOffset = 20;
constexpr uint32_t kRecord2ProductNameOffset = 44;
constexpr uint32_t kRecord2ProductNameField = 32;
constexpr uint32_t kRecord2ProgramOffset = 76;
constexpr uint32_t kRecord2ProgramField = 32;
constexpr uint32_t kRecord2InfoUrlOffset = 108;
constexpr uint32_t kRecord2InfoUrlField = 128;
constexpr uint32_t kRecord2ArchiveUrlOffset = 236;
constexpr uint32_t kRecord2ArchiveUrlField = 128;
constexpr uint32_t kRecord2CrcOffset = 364;
constexpr uint32_t kRecord2NotesOffset = 368;
constexpr uint32_t kRecord2FixedSize = 370;  // with an empty notes text (its terminator)

// Format 1: accepted only as a server reply.
constexpr uint32_t kRecord1VersionOffset = 8;
constexpr uint32_t kRecord1ProductIdOffset = 16;
constexpr uint32_t kRecord1ArchiveUrlOffset = 36;
constexpr uint32_t kRecord1ArchiveUrlField = 258;
constexpr uint32_t kRecord1NotesOffset = 294;
constexpr uint32_t kRecord1FixedSize = 296;

// Flags of format 2 (other bits are not read).
constexpr uint32_t kRecordFlagCheckCrc = 0x08;
constexpr uint32_t kRecordFlagStartProgram = 0x40;
constexpr uint32_t kRecordFlagTempFolder = 0x80;

// At most this many characters of the update-information URL are used.
constexpr size_t kInfoUrlMax = 127;

// A record as held in memory: its bytes and their count. No bytes means no
// record.
struct RecordView {
    const uint8_t* bytes;
    uint32_t size;
};

enum RecordLength {
    kRecordLengthOk = 0,
    kRecordNoHead = 1,  // fewer than the 8 bytes of the common head
    kRecordShort = 2,   // shorter than the fixed part of its format
    kRecordFormatUnknown = 3
};

uint16_t ReadLe16(const uint8_t* bytes);
uint32_t ReadLe32(const uint8_t* bytes);

bool RecordPresent(RecordView record);
// True when the record holds at least four bytes and they are "TDWL".
bool RecordHasMagic(RecordView record);
// The format version, or -1 when the head is incomplete.
int32_t RecordFormat(RecordView record);
// 370 for format 2, 296 for format 1, 0 for any other format.
uint32_t RecordFixedSize(int32_t format);
// Whether the fixed part of the record's format lies within its bytes.
RecordLength CheckRecordLength(RecordView record);

// Fields of a record that passed CheckRecordLength. A format other than 1
// is read with the format-2 layout, as the dialog shows it.
uint32_t RecordVersion(RecordView record);
uint32_t RecordFlags(RecordView record);       // 0 for format 1
uint16_t RecordArchiveCrc(RecordView record);  // 0 for format 1
const uint8_t* RecordProductId(RecordView record);
uint32_t RecordArchiveUrlOffset(RecordView record);
uint32_t RecordNotesOffset(RecordView record);

// Copies the NUL-terminated text at offset into out (capacity bytes with the
// terminator). The text may run past its field; it ends at its terminator,
// at the record's end or where out is full, whichever comes first, and is
// never cut inside a double-byte character. Returns the bytes copied; sets
// *cut (when given) if the record ended or out filled before the terminator.
size_t RecordText(RecordView record, uint32_t offset, char* out, size_t capacity, bool* cut = nullptr);

// The UTF-16LE notes at offset: *units counts the code units before the
// terminator or before the record's end (an odd last byte is dropped).
// Returns false when the terminator is missing.
bool RecordNotes(RecordView record, uint32_t offset, uint32_t* units);
