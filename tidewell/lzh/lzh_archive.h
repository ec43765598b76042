// LZH archive reader: finds the first header, reads every entry header
// (levels 0 to 3 with their extended headers) into an ordered list and
// hands entries out by number. Decoding an entry's data is in lzh_decoder.h.
#pragma once

#include <cstdint>

#include "tidewell/lzh/lzh_file.h"

enum { LZH_TEXT_SIZE = 256, LZH_METHOD_SIZE = 8 };

struct LzhEntry {
    char name[LZH_TEXT_SIZE];       // file name without directory
    char directory[LZH_TEXT_SIZE];  // '\\'-separated, trailing '\\' as stored; may be empty
    char method[LZH_METHOD_SIZE];   // five-character id such as "-lh5-"
    uint32_t originalSize;
    uint16_t dataCrc;       // CRC-16 of the original data, as stored
    uint32_t dataPosition;  // file offset of the packed data
    uint32_t packedLength;  // packed data alone, extended headers excluded
    // Windows file times (100 ns since 1601-01-01 UTC); 0 when absent. Kept
    // in the order the platform call that sets a file's times takes them.
    uint64_t creationTime;
    uint64_t lastAccessTime;
    uint64_t lastWriteTime;
    LzhEntry* previous;
    LzhEntry* next;
};

// One open archive. Start from a zero-initialised record ("LzhArchive a = {};").
struct LzhArchive {
    char path[LZH_TEXT_SIZE];  // "closed" after LzhClose
    LzhEntry* first;
    LzhEntry* current;
    LzhEntry* last;
    int32_t count;
    LzhFile file;
};

// 0 positioned at the first header, 1 the file cannot be opened, 2 no header
// found. Call LzhClose after any result.
int LzhOpen(const char* path, LzhArchive* archive);

// 0 all headers read up to the end mark, 2 a header is malformed or cut
// short, 4 no memory for an entry. After a non-zero result only close.
int LzhReadHeaders(LzhArchive* archive);

// Entry n counting from 1, or nullptr outside 1..count.
LzhEntry* LzhGetEntry(LzhArchive* archive, int32_t n);

// Frees the entries and closes the file; safe to repeat.
void LzhClose(LzhArchive* archive);

// True for the "-lhd-" entries that stand for a directory and carry no data.
bool LzhIsDirectoryEntry(const LzhEntry* entry);

// True for an entry that names no file and holds nothing although it is no
// directory entry: some archivers store a directory so. Extraction skips
// it with a warning and goes on.
bool LzhIsNamelessEntry(const LzhEntry* entry);

// Reads one header at the current position into the current entry:
// 0 read, 2 malformed or cut short, 3 end mark reached.
int LzhReadHeader(LzhArchive* archive);
