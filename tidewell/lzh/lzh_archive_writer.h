// Writing an LZH archive: level-2 headers, -lh5- or -lh7- data (-lh0- for
// an entry that does not shrink), each entry's CRC-16, and the end mark. The archive
// is written beside its final name and takes that name when it is complete,
// so a failure leaves whatever was there before.
#pragma once

#include <cstdint>
#include <cstdio>

#include "tidewell/lzh/lzh_encoder.h"
#include "tidewell/lzh/lzh_out_file.h"

enum LzhWriteResult {
    LZH_WRITE_OK = 0,
    LZH_WRITE_SOURCE = 1,     // the file to pack cannot be read
    LZH_WRITE_OUTPUT = 2,     // the archive cannot be written
    LZH_WRITE_TOO_LARGE = 3,  // an entry of 4 GB or more, or an archive past 2 GB
    LZH_WRITE_NAME = 4,       // a name or directory longer than a header holds
    LZH_WRITE_CHANGED = 5,    // the file changed while it was being packed
    LZH_WRITE_MEMORY = 6
};

// How an entry is stored: name and directory as the archive keeps them.
struct LzhPackEntry {
    const char* name;       // no separators; "" for a directory entry
    const char* directory;  // as stored: every component followed by 0xFF; or ""
    uint64_t creationTime;  // Windows file times, 0 when unknown
    uint64_t lastAccessTime;
    uint64_t lastWriteTime;
};

enum { LZH_WRITER_PATH_SIZE = 520, LZH_WRITER_CHUNK = 65536 };

struct LzhArchiveWriter {
    char path[LZH_WRITER_PATH_SIZE];      // the archive being made
    char partPath[LZH_WRITER_PATH_SIZE];  // where it is written until complete
    LzhOutFile out;
    LzhEncoder* encoder;
    // -lh5- (13, set by LzhWriterOpen) or -lh7- (16): the caller may change
    // it between entries.
    unsigned dictionaryBits;
    // The entry last added, for the caller's report.
    char lastMethod[6];
    uint32_t lastOriginalSize;
    uint32_t lastPackedSize;
    uint8_t chunk[LZH_WRITER_CHUNK];
};

// Starts a new archive to be named `path`: 0, LZH_WRITE_NAME (path too
// long), LZH_WRITE_OUTPUT or LZH_WRITE_MEMORY. After any result other
// than 0 nothing is left to close.
int LzhWriterOpen(LzhArchiveWriter* w, const char* path);

// Packs the file at sourcePath as one entry.
int LzhWriterAddFile(LzhArchiveWriter* w, const LzhPackEntry* entry, const char* sourcePath);

// Adds a directory entry ("-lhd-") for entry->directory.
int LzhWriterAddDirectory(LzhArchiveWriter* w, const LzhPackEntry* entry);

// Writes the end mark and gives the archive its name: 0 or LZH_WRITE_OUTPUT.
// The writer is closed afterwards either way.
int LzhWriterClose(LzhArchiveWriter* w);

// Closes after a failure and removes the unfinished archive.
void LzhWriterAbandon(LzhArchiveWriter* w);

// A short English description of a result, for messages.
const char* LzhWriteResultText(int result);
