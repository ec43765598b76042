// Canonical Huffman decoding tables of the static-Huffman methods: a direct
// lookup table for codes up to its width and a small tree for longer codes.
#pragma once

#include <cstdint>

#include "tidewell/lzh/lzh_bits.h"

enum {
    LZH_MAX_SYMBOLS = 510,    // symbol alphabet of -lh4-/-lh5-
    LZH_SYMBOL_BITS = 12,     // width of the symbol lookup table
    LZH_POSITION_BITS = 8,    // width of the position / code-length table
    LZH_MAX_POSITIONS = 128,  // position codes of -lh3- (the largest set)
    LZH_MAX_CODE_LENGTH = 16,
    LZH_TREE_NODES = 1024  // every table value and tree link is below this
};

// Links for codes longer than the table width; node numbers start at the
// symbol count. Every stored value stays below LZH_TREE_NODES, so damaged
// input can make a walk wrong but never make it leave these arrays.
struct LzhTree {
    uint16_t left[LZH_TREE_NODES];   // followed on a 0 bit
    uint16_t right[LZH_TREE_NODES];  // followed on a 1 bit
};

// The shared static-Huffman tables.
struct LzhTables {
    uint8_t symbolLengths[LZH_MAX_SYMBOLS];
    uint16_t symbolTable[1 << LZH_SYMBOL_BITS];
    LzhTree symbolTree;
    uint8_t positionLengths[LZH_MAX_POSITIONS];  // also the code-length code
    uint16_t positionTable[1 << LZH_POSITION_BITS];
    LzhTree positionTree;
};

extern LzhTables g_lzhTables;

// Builds `table` (2^tableBits entries) for n symbols with the given code
// lengths. Lengths above 16 count as unused. Returns 0, or 1 when the lengths
// over-fill the code space (the table is then only partly meaningful).
int LzhBuildTable(unsigned n, const uint8_t* lengths, unsigned tableBits, uint16_t* table, LzhTree* tree);

// Walks the tree for a code longer than the table (value is the table entry).
unsigned LzhLookupLong(unsigned value, unsigned tableBits, unsigned n, const uint8_t* lengths, const LzhTree* tree);

// Decodes one symbol from the bit reader's window (n symbols, table of width
// tableBits). Always returns a value below n.
inline unsigned LzhLookup(const uint16_t* table, unsigned tableBits, unsigned n, const uint8_t* lengths,
                          const LzhTree* tree)
{
    unsigned value = table[LzhBitsWindow() >> (16 - tableBits)];
    if (value < n) {
        LzhBitsAdvance(lengths[value]);
        return value;
    }
    return LzhLookupLong(value, tableBits, n, lengths, tree);
}

// Fills the whole table with one value: the single-symbol blocks that
// consume no code bits.
void LzhFillTable(uint16_t* table, unsigned tableBits, unsigned value);

// A block that uses one value alone: clears the n lengths and fills the
// table with the value.
void LzhUseSingleCode(uint8_t* lengths, unsigned n, uint16_t* table, unsigned tableBits, unsigned value);
