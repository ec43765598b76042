// Buffered binary reading of an archive file through stdio, one byte at a
// time on the hot path. Positions are 32-bit: archives stay below 2 GB.
#pragma once

#include <cstdint>
#include <cstdio>

enum { LZH_FILE_BUFFER_SIZE = 8192 };

// Highest file position a seek may reach.
const uint32_t LZH_FILE_MAX_POSITION = 0x7FFFFFFFu;

struct LzhFile {
    FILE* handle;          // none when the archive is not open
    uint32_t bufferStart;  // file position of buffer[0]
    uint32_t bufferPos;    // next byte to hand out
    uint32_t bufferLen;    // valid bytes in the buffer
    bool eof;              // set by any read that met the end of the file
    uint8_t buffer[LZH_FILE_BUFFER_SIZE];
};

// 0 opened, 1 the file cannot be opened.
int LzhFileOpen(LzhFile* file, const char* path);
void LzhFileClose(LzhFile* file);

// 0 positioned, 1 the position is out of range or the seek failed.
int LzhFileSeek(LzhFile* file, uint64_t position);
uint32_t LzhFileTell(const LzhFile* file);

// Length of the file in bytes, or -1 when it cannot be told.
int64_t LzhFileLength(LzhFile* file);

// Refills the buffer and returns its first byte, or -1 (and sets eof).
int LzhFileRefill(LzhFile* file);

// Next byte 0-255, or -1 at the end of the file (and eof is set).
inline int LzhFileByte(LzhFile* file)
{
    if (file->bufferPos < file->bufferLen) return file->buffer[file->bufferPos++];
    return LzhFileRefill(file);
}

// Reads up to count bytes; fewer only at the end of the file (eof is set).
uint32_t LzhFileRead(LzhFile* file, uint8_t* out, uint32_t count);
