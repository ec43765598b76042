// Reading one entry header of level 0, 1, 2 or 3 and its extended headers.
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

// Whether the text's last character is a separator; the second byte of a
// double-byte character is not one even when it is 0x5C.
bool EndsWithSeparator(const char* text, unsigned length)
{
    bool separator = false;
    for (unsigned i = 0; i < length; i++) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        separator = c == '\\' || c == '/';
        if (LzhIsLeadByte(c) && i + 1 < length) {
            separator = false;
            i++;
        }
    }
    return separator;
}

// Extended text of `length` bytes; directories get 0xFF turned into '\\'
// and a trailing separator where the archiver left it out, so that the
// name does not run into the last directory.
int ReadExtendedText(LzhFile* f, unsigned length, bool directory, char* out)
{
    if (length > kMaxExtendedText) return 2;
    for (unsigned i = 0; i < length; i++) {
        int c = LzhFileByte(f);
        out[i] = char(directory && c == 0xFF ? '\\' : c);
    }
    if (directory && length > 0 && !EndsWithSeparator(out, length)) out[length++] = '\\';
    out[length] = '\0';
    return 0;
}

// How a level writes its extended headers: the width of each size field
// (the type byte and the next size field are part of the size) and the
// most the sizes may add up to.
struct ChainFormat {
    unsigned sizeBytes;
    uint32_t maxTotal;
};

// Levels 1 and 2 keep the total 16-bit; level 3 only keeps positions in
// range. Either way the walk is finite and its positions sound.
const ChainFormat kChain16 = {2, 0xFFFF};
const ChainFormat kChain32 = {4, LZH_FILE_MAX_POSITION};

// Walks the chain of extended headers from `origin`; *sum receives the
// total of their sizes.
int ReadExtendedHeaders(LzhFile* f, uint32_t origin, const ChainFormat& chain, HeaderFields* h, uint32_t* sum)
{
    uint64_t total = 0;
    for (;;) {
        if (LzhFileSeek(f, uint64_t(origin) + total) != 0) return 2;
        const uint32_t size = chain.sizeBytes == 4 ? Read32(f) : Read16(f);
        if (f->eof) return 2;
        if (size == 0) break;
        // Each size must leave room for the type byte and the next size.
        if (size < chain.sizeBytes + 1 || total + size > chain.maxTotal) return 2;
        total += size;
        int type = LzhFileByte(f);
        const uint32_t length = size - chain.sizeBytes - 1;
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
    *sum = uint32_t(total);
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

// Where the data of a level-2 or level-3 header begin, given the end of
// its extended headers in *position and the end of its stated total
// length. Some archivers pad the header: the data then begin at the stated
// end. OS-9/68k LHa states a level-2 total 2 bytes short of the chain's
// end: the data then follow the chain. Anything else is malformed.
int DataAfterStatedTotal(int level, uint64_t statedEnd, uint64_t* position)
{
    if (statedEnd >= *position) {
        *position = statedEnd;
        return 0;
    }
    return level == 2 && statedEnd + 2 == *position ? 0 : 2;
}

}  // namespace

int LzhReadHeader(LzhArchive* archive)
{
    LzhFile* f = &archive->file;
    const uint32_t start = LzhFileTell(f);
    f->eof = false;

    // Offset 0: header size (levels 0/1), low byte of the total length
    // (level 2) or of the size-field width (level 3); 0 is the end mark.
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
    // Checksum (levels 0 and 1, not checked) or the high byte of the 16-bit
    // field at offset 0 (levels 2 and 3).
    const unsigned second = unsigned(LzhFileByte(f)) & 0xFF;
    const uint32_t firstWord = headerSize | second << 8;
    for (int i = 0; i < 5; i++) h.method[i] = char(LzhFileByte(f));
    h.packedSize = Read32(f);
    h.originalSize = Read32(f);
    Read32(f);       // time stamp, not used
    LzhFileByte(f);  // attribute or reserved
    const int level = LzhFileByte(f);

    uint32_t origin;       // position of the first extended-header size field
    uint32_t totalLength;  // levels 2 and 3: the whole header as stated
    ChainFormat chain = kChain16;
    if (level == 2 || level == 3) {
        h.dataCrc = uint16_t(Read16(f));
        LzhFileByte(f);  // operating-system id
        totalLength = firstWord;
        origin = start + 24;
        if (level == 3) {
            // Offset 0 gives the width of the size fields, always 4.
            if (firstWord != 4) return 2;
            totalLength = Read32(f);
            origin = start + 28;
            chain = kChain32;
        }
    } else {
        if (ReadCommonName(f, level, h.name) != 0) return 2;
        h.dataCrc = uint16_t(Read16(f));
        // The CRC ends the common part of level 0 (H counts from offset 2)
        // and precedes the first size field of level 1 (at offset H).
        const uint32_t headerEnd = start + headerSize + (level == 0 ? 2 : 0);
        if (LzhFileTell(f) > headerEnd) return 2;
        origin = start + headerSize;
        totalLength = 0;
        if (LzhFileSeek(f, origin) != 0) return 2;
    }

    uint32_t extendedSum = 0;
    int result = 0;
    if (level != 0 && !f->eof) result = ReadExtendedHeaders(f, origin, chain, &h, &extendedSum);
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
    uint64_t dataPosition = uint64_t(origin) + chain.sizeBytes + extendedSum;
    if (level == 2 || level == 3) {
        if (DataAfterStatedTotal(level, uint64_t(start) + totalLength, &dataPosition) != 0) return 2;
    }
    if (dataPosition > LZH_FILE_MAX_POSITION) return 2;
    if (LzhFileSeek(f, dataPosition + packedLength) != 0) return 2;
    StoreEntry(archive->current, h, uint32_t(dataPosition), packedLength);
    return 0;
}
