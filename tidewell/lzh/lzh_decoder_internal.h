// State shared by the decoding frame and the per-method decoders.
#pragma once

#include <cstdint>

#include "tidewell/lzh/lzh_archive.h"
#include "tidewell/lzh/lzh_fixed_positions.h"

enum {
    LZH_SMALL_DICTIONARY = 8192,  // every method up to -lh5-
    LZH_LARGE_DICTIONARY = 65536  // -lh6- and -lh7-, allocated when one starts
};

// The three operations each method supplies. A symbol 0-255 is a literal
// byte; 256 and above is a match of (symbol - length bias) bytes, whose
// position code p says it copies from (fill position - p - 1) & mask.
// A method may also supply `run`, which decodes until the dictionary is
// full or the entry complete in place of the frame's symbol-by-symbol loop.
struct LzhMethodOps {
    void (*start)();
    unsigned (*nextSymbol)();
    unsigned (*nextPosition)();
    void (*run)();
};

struct LzhDecoderState {
    const LzhArchive* archive;  // owner of the entry being decoded, or none
    LzhFile* file;
    int method;  // index in the method table
    bool stored;
    LzhMethodOps ops;
    uint32_t dictionarySize;
    unsigned positionCodes;      // -lh4- to -lh7-: size of the position code
    unsigned positionCountBits;  // width of its count field
    uint32_t mask;
    uint32_t fillPosition;  // bytes written since the last hand-out
    uint32_t readPosition;  // next byte LzhRead hands out
    uint32_t available;     // written but not yet handed out
    uint64_t decodedCount;  // 64-bit: a last match may run past a 4 GB size
    uint32_t originalSize;
    unsigned lengthBias;
    bool pending;  // a match cut by the end of the dictionary
    uint32_t pendingLength;
    uint32_t pendingSource;
    bool finished;
    uint8_t* dictionary;  // smallDictionary, or largeDictionary for -lh6-/-lh7-
    uint8_t* largeDictionary;
    uint8_t smallDictionary[LZH_SMALL_DICTIONARY];
};

extern LzhDecoderState g_lzhDecoder;

// Stored methods: fills the dictionary straight from the file.
void LzhFillStored();

// Copies a match at the fill position byte by byte (source and target may
// overlap) until it is complete or the dictionary is full; a cut match is
// left pending. Returns whether the dictionary has room left.
bool LzhCopyMatch(uint32_t source, uint32_t length);

// Method operations, one set per decoder file.
void LzhStaticStart();  // -lh4- to -lh7-
unsigned LzhStaticNextSymbol();
unsigned LzhStaticNextPosition();
void LzhStaticRun();
void LzhLh3Start();
unsigned LzhLh3NextSymbol();
void LzhLh1Start();
void LzhLh2Start();
unsigned LzhDynamicNextSymbol();  // -lh1-, -lh2-
unsigned LzhLh2NextPosition();
void LzhLzsStart();
unsigned LzhLzsNextSymbol();
unsigned LzhLzsNextPosition();
void LzhLz5Start();
unsigned LzhLz5NextSymbol();
unsigned LzhLz5NextPosition();
