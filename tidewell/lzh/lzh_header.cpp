// Reading one entry header of level 0, 1 or 2 and its extended headers.
#include <cstring>

#include "tidewell/lzh/lzh_archive.h"
#include "tidewell/lzh/lzh_path.h"

namespace {

enum {
    kMaxCommonName = 101,   // name bytes a level-0 or level-1 header may carry
    kMaxExtendedText = 240  // data bytes of an extended name or directory
};

enum { kExtName = 0x01, kExtDirectory = 0x02, kExtWindowsTimes = 0x41 };

unsigned Read16(LzhFile* f)
{
    unsigned low = unsigned(LzhFileByte(f)) & 0xFF;
    return low | (unsigned(LzhFileByte(f)) & 0xFF) << 8;
}

uint32_t Read32(LzhFile* f)
{
    uint32_t low = Read16(f);
    return low | uint32_t(Read16(f)) << 16;
}

uint64_t Read64(LzhFile* f)
{
    uint64_t low = Read32(f);
    return low | uint64_t(Read32(f)) << 32;
}

char UpperAscii(int c)
{
    return char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// The header fields as read, before they go into the entry.
struct HeaderFields {
    char name[LZH_TEXT_SIZE];
    char directory[LZH_TEXT_SIZE];
    char method[LZH_METHOD_SIZE];
    uint32_t packedSize;
    uint32_t originalSize;
    uint16_t dataCrc;
    uint64_t times[3];  // creation, last access, last write
};

// Extended text of `length` bytes; directories get 0xFF turned into '\\'.
int ReadExtendedText(LzhFile* f, unsigned length, bool directory, char* out)
{
    if (length > kMaxExtendedText) return 2;
    for (unsigned i = 0; i < length; i++) {
        int c = LzhFileByte(f);
        out[i] = char(directory && c == 0xFF ? '\\' : c);
    }
    out[length] = '\0';
    return 0;
}

// Walks the chain of extended headers from `origin`; *sum receives the
// total of their sizes.
int ReadExtendedHeaders(LzhFile* f, uint32_t origin, HeaderFields* h, uint32_t* sum)
{
    uint32_t total = 0;
    for (;;) {
        if (LzhFileSeek(f, uint64_t(origin) + total) != 0) return 2;
        unsigned size = Read16(f);
        if (f->eof) return 2;
        if (size == 0) break;
        // The sizes must leave room for the type byte, and their total must
        // stay 16-bit: both keep the walk finite and its positions sound.
        if (size < 3 || total + size > 0xFFFF) return 2;
        total += size;
        int type = LzhFileByte(f);
        unsigned length = size - 3;
        int result = 0;
        if (type == kExtName)
            result = ReadExtendedText(f, length, false, h->name);
        else if (type == kExtDirectory)
            result = ReadExtendedText(f, length, true, h->directory);
        else if (type == kExtWindowsTimes && length >= 24) {
            h->times[0] = Read64(f);  // creation
            h->times[2] = Read64(f);  // last write
            h->times[1] = Read64(f);  // last access
        }
        if (result != 0 || f->eof) return 2;
    }
    *sum = total;
    return 0;
}

// Name of a level-0 or level-1 common part: upper-cased ASCII letters; on
// level 0 a backslash drops everything before it. The second byte of a
// Shift-JIS character is neither: it may be 0x5C or fall in a-z, and
// changing it would name another file.
int ReadCommonName(LzhFile* f, int level, char* out)
{
    unsigned nameLength = unsigned(LzhFileByte(f)) & 0xFF;
    unsigned used = 0;
    bool secondByte = false;
    for (unsigned i = 0; i < nameLength; i++) {
        int c = LzhFileByte(f);
        bool keep = secondByte;
        secondByte = !keep && LzhIsLeadByte(static_cast<unsigned char>(c));
        if (!keep && level == 0 && c == '\\') {
            used = 0;
            continue;
        }
        if (used >= kMaxCommonName) return 2;
        out[used++] = keep ? char(c) : UpperAscii(c);
    }
    out[used] = '\0';
    return 0;
}

void StoreEntry(LzhEntry* entry, const HeaderFields& h, uint32_t dataPosition, uint32_t packedLength)
{
    std::memcpy(entry->name, h.name, sizeof entry->name);
    std::memcpy(entry->directory, h.directory, sizeof entry->directory);
    std::memcpy(entry->method, h.method, sizeof entry->method);
    entry->originalSize = h.originalSize;
    entry->dataCrc = h.dataCrc;
    entry->dataPosition = dataPosition;
    entry->packedLength = packedLength;
    entry->creationTime = h.times[0];
    entry->lastAccessTime = h.times[1];
    entry->lastWriteTime = h.times[2];
}

}  // namespace

int LzhReadHeader(LzhArchive* archive)
{
    LzhFile* f = &archive->file;
    const uint32_t start = LzhFileTell(f);
    f->eof = false;

    // Offset 0: header size (levels 0/1) or low byte of the total length
    // (level 2); 0 is the end mark either way.
    const int first = LzhFileByte(f);
    if (first == 0) return 3;
    // Several archivers end the archive with the file instead of an end
    // mark: a file that ends exactly here has lost nothing. A header
    // position beyond the end means the previous entry was cut short.
    if (first < 0) {
        f->eof = false;
        return LzhFileLength(f) == int64_t(start) ? 3 : 2;
    }
    const unsigned headerSize = unsigned(first);

    HeaderFields h;
    std::memset(&h, 0, sizeof h);
    // Checksum (levels 0 and 1, not checked) or the high byte of the total
    // length (level 2).
    const unsigned second = unsigned(LzhFileByte(f)) & 0xFF;
    for (int i = 0; i < 5; i++) h.method[i] = char(LzhFileByte(f));
    h.packedSize = Read32(f);
    h.originalSize = Read32(f);
    Read32(f);       // time stamp, not used
    LzhFileByte(f);  // attribute or reserved
    const int level = LzhFileByte(f);

    uint32_t origin;  // position of the first extended-header size field
    if (level == 2) {
        h.dataCrc = uint16_t(Read16(f));
        LzhFileByte(f);  // operating-system id
        origin = start + 24;
    } else {
        if (ReadCommonName(f, level, h.name) != 0) return 2;
        h.dataCrc = uint16_t(Read16(f));
        // The CRC ends the common part of level 0 (H counts from offset 2)
        // and precedes the first size field of level 1 (at offset H).
        const uint32_t headerEnd = start + headerSize + (level == 0 ? 2 : 0);
        if (LzhFileTell(f) > headerEnd) return 2;
        origin = start + headerSize;
        if (LzhFileSeek(f, origin) != 0) return 2;
    }

    uint32_t extendedSum = 0;
    int result = 0;
    if (level != 0 && !f->eof) result = ReadExtendedHeaders(f, origin, &h, &extendedSum);
    if (result != 0 || f->eof) {
        f->eof = false;
        return 2;
    }

    uint32_t packedLength = h.packedSize;
    if (level == 1) {
        // Level 1 counts the extended headers in the packed size.
        if (extendedSum > packedLength) return 2;
        packedLength -= extendedSum;
    }
    uint64_t dataPosition = uint64_t(origin) + 2 + extendedSum;
    if (level == 2) {
        // Some archivers pad a level-2 header: its total length, not the end
        // of its extended headers, says where the data begin.
        const uint64_t totalEnd = uint64_t(start) + (headerSize | second << 8);
        if (totalEnd < dataPosition) return 2;
        dataPosition = totalEnd;
    }
    if (dataPosition > LZH_FILE_MAX_POSITION) return 2;
    if (LzhFileSeek(f, dataPosition + packedLength) != 0) return 2;
    StoreEntry(archive->current, h, uint32_t(dataPosition), packedLength);
    return 0;
}
