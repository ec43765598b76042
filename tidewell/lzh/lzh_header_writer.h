// Level-2 entry headers as the packer writes them: the common part, then
// extended headers for the header CRC, the name, the directory (0xFF
// between components) and the three Windows file times.
#pragma once

#include <cstddef>
#include <cstdint>

enum {
    LZH_HEADER_MAX_TEXT = 240,  // name or directory bytes a reader takes
    // Common part, the header CRC, name and directory at their limits, the
    // times, the closing size field and one byte of padding.
    LZH_HEADER_CAPACITY = 26 + 5 + (3 + LZH_HEADER_MAX_TEXT) * 2 + 27 + 1
};

struct LzhHeaderInfo {
    char method[6];  // "-lh5-", "-lh0-" or "-lhd-"
    uint32_t packedSize;
    uint32_t originalSize;
    uint16_t dataCrc;
    const char* name;       // "" for a directory entry
    const char* directory;  // as stored: every component followed by 0xFF; or ""
    // Windows file times; all three 0 leaves the time headers out.
    uint64_t creationTime;
    uint64_t lastAccessTime;
    uint64_t lastWriteTime;
};

// Writes the header into `out` (LZH_HEADER_CAPACITY bytes) and returns its
// length, or 0 when the name or the directory is longer than a reader
// takes. The length depends on the name, directory and times alone.
size_t LzhComposeHeader(const LzhHeaderInfo* info, uint8_t* out);

// Seconds since 1970 for a Windows file time, kept within 32 bits.
uint32_t LzhUnixTime(uint64_t fileTime);
