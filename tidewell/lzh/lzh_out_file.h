// Buffered writing of an archive file through stdio, with the seeks the
// packer needs to fill in a header once its entry's data are written.
// Archives stay below 2 GB, the limit of the reader's positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum { LZH_OUT_BUFFER_SIZE = 65536 };

struct LzhOutFile {
    FILE* handle;
    uint32_t bufferStart;  // file position of buffer[0]
    uint32_t used;         // bytes in the buffer
    uint32_t end;          // highest position ever written
    bool failed;           // a write, seek or flush failed
    bool tooLarge;         // a write would pass the 2 GB limit
    uint8_t buffer[LZH_OUT_BUFFER_SIZE];
};

// 0 opened (created or emptied), 1 it cannot be opened.
int LzhOutOpen(LzhOutFile* out, const char* path);

// Current position.
inline uint32_t LzhOutTell(const LzhOutFile* out)
{
    return out->bufferStart + out->used;
}

bool LzhOutWrite(LzhOutFile* out, const uint8_t* data, size_t length);
bool LzhOutSeek(LzhOutFile* out, uint32_t position);

// Cuts the file at `length` (when a rewrite left it longer).
bool LzhOutTruncate(LzhOutFile* out, uint32_t length);

// Writes what is buffered and closes; 0 when every byte reached the file.
int LzhOutClose(LzhOutFile* out);
