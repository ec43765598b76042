// Decoding one archive entry at a time: select it, then read its original
// bytes in pieces of the caller's choosing. The decoder state, dictionary
// and tables are single process-wide instances (one entry at a time).
#pragma once

#include <cstdint>

#include "tidewell/lzh/lzh_archive.h"

// 0 ready to read, -1 there is no entry n, -2 its method is not supported or
// its data cannot be reached. Abandons whatever entry was being read.
int LzhSelectEntry(LzhArchive* archive, int32_t n);

// Starts decoding the archive's current entry: 0 ready, 1 the data position
// cannot be reached, 2 the method id is not supported, 3 no memory for its
// dictionary.
int LzhStartDecoder(LzhArchive* archive);

// Copies up to `length` decoded bytes; fewer only at the end of the entry,
// 0 once the entry is complete (or none is started).
uint32_t LzhRead(uint8_t* buffer, uint32_t length);

// Drops the entry being decoded, and the large dictionary, when it belongs
// to `archive` or to no archive (on close).
void LzhDecoderForget(const LzhArchive* archive);
