// The -lh5-/-lh7- packer: turns a byte stream into LZSS literals and matches
// (hash-chain search with one step of lazy evaluation) and codes them in
// static-Huffman blocks. Input is pushed in pieces of any size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tidewell/lzh/lzh_block_writer.h"
#include "tidewell/lzh/lzh_match_finder.h"

struct LzhEncoder {
    LzhMatchFinder finder;
    LzhBlockWriter blocks;
    uint32_t position;       // next window position to code
    bool pendingLiteral;     // the byte before `position` still waits
    unsigned pendingLength;  // best match found there (0 none)
    unsigned pendingDistance;
    unsigned lazyLimit;  // a pending match this long is taken at once
};

// Allocated on the heap (several hundred KB); nullptr when memory is short.
LzhEncoder* LzhEncoderCreate();
void LzhEncoderDestroy(LzhEncoder* e);

// Starts a new stream into `sink` for a dictionary of 2^dictionaryBits
// bytes (13 for -lh5-, 16 for -lh7-); the encoder can be started again and
// again.
void LzhEncoderStart(LzhEncoder* e, LzhByteSink sink, unsigned dictionaryBits);
void LzhEncoderWrite(LzhEncoder* e, const uint8_t* data, size_t length);
// Codes what is left, sends the last block and pads the last byte.
void LzhEncoderFinish(LzhEncoder* e);

// Bytes of packed output so far, and whether the sink refused any.
uint64_t LzhEncoderOutput(const LzhEncoder* e);
bool LzhEncoderFailed(const LzhEncoder* e);
