// The -lh5-/-lh7- block writer: gathers the literals and matches of one block,
// then sends the block head (its Huffman code lengths, themselves coded)
// and the coded items, exactly as the static-Huffman decoder reads them.
#pragma once

#include <cstdint>

#include "tidewell/lzh/lzh_bit_writer.h"

enum {
    LZH_BLOCK_SYMBOLS = 510,     // 256 literals, then match lengths 3 to 256
    LZH_BLOCK_POSITIONS = 17,    // position codes of a 64 KB dictionary (8 KB: 14)
    LZH_BLOCK_MAX_ITEMS = 65535  // the block head counts items in 16 bits
};

struct LzhBlockWriter {
    LzhBitWriter bits;
    uint32_t itemLimit;      // items per block, at most LZH_BLOCK_MAX_ITEMS
    unsigned positionCodes;  // 14 for -lh5-, 17 for -lh7-
    uint32_t count;          // items gathered
    uint32_t symbolFreq[LZH_BLOCK_SYMBOLS];
    uint32_t positionFreq[LZH_BLOCK_POSITIONS];
    uint16_t symbols[LZH_BLOCK_MAX_ITEMS];
    uint16_t distances[LZH_BLOCK_MAX_ITEMS];  // distance - 1, for matches
};

void LzhBlockStart(LzhBlockWriter* w, LzhByteSink sink, uint32_t itemLimit, unsigned positionCodes);

// Sends the items gathered so far as one block.
void LzhBlockFlush(LzhBlockWriter* w);

// Sends the last block and pads the stream to a whole byte.
void LzhBlockFinish(LzhBlockWriter* w);

// Position code of distance - 1: its bit length (0 for 0).
inline unsigned LzhPositionCode(uint32_t p)
{
    return p == 0 ? 0 : 32 - unsigned(__builtin_clz(p));
}

inline void LzhBlockLiteral(LzhBlockWriter* w, uint8_t byte)
{
    w->symbols[w->count] = byte;
    w->symbolFreq[byte]++;
    if (++w->count == w->itemLimit) LzhBlockFlush(w);
}

// A match of length 3 to 256 at a distance within the dictionary.
inline void LzhBlockMatch(LzhBlockWriter* w, unsigned length, unsigned distance)
{
    const unsigned symbol = length + 253;
    w->symbols[w->count] = uint16_t(symbol);
    w->distances[w->count] = uint16_t(distance - 1);
    w->symbolFreq[symbol]++;
    w->positionFreq[LzhPositionCode(distance - 1)]++;
    if (++w->count == w->itemLimit) LzhBlockFlush(w);
}
